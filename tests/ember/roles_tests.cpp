#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "consumer.h"
#include "glow.h"
#include "provider.h"
#include "s101.h"

using namespace vesk_ember;

namespace {

// A model that applies every request, or none, and remembers what it was asked.
class model : public provider_model {
public:
    provider* served = nullptr;
    bool accept = true;
    std::vector<std::string> asked;
    void connectRequested(const path& matrix, std::int32_t target,
                          const std::vector<std::int32_t>& sources,
                          connection_operation operation) override {
        asked.push_back(pathText(matrix) + " " + std::to_string(target) + " <- " +
                        std::to_string(sources.empty() ? -1 : sources[0]));
        const std::vector<std::int32_t>* now = served->connection(matrix, target);
        if (accept && now) {
            served->setConnection(matrix, target, oneToNResult(*now, sources, operation));
        }
    }
    void valueRequested(const path& parameter, const glow_value& value) override {
        asked.push_back(pathText(parameter) + " = " + value.text);
        served->setValue(parameter, value);
    }
};

class recorder : public consumer_listener {
public:
    std::vector<std::string> heard;
    bool isReady = false;
    std::string failure;
    void ready(const matrix_state&) override { isReady = true; }
    void crosspoint(std::int32_t target, const std::vector<std::int32_t>& sources) override {
        heard.push_back(std::to_string(target) + " <- " +
                        (sources.empty() ? std::string("-") : std::to_string(sources[0])));
    }
    void label(bool isTarget, std::int32_t number, const std::string& text) override {
        heard.push_back(std::string(isTarget ? "target " : "source ") + std::to_string(number) +
                        " " + text);
    }
    void failed(const std::string& why) override { failure = why; }
};

// A provider with a demo tree and consumers wired to it in memory.
struct bench {
    model m;
    provider p{m};
    path matrix;
    path labels;
    bytes toProvider;
    bytes toConsumer;
    recorder heard;
    consumer c{[this](const bytes& b) { toProvider.insert(toProvider.end(), b.begin(), b.end()); },
               heard};
    provider::session_id session;

    bench() {
        m.served = &p;
        path top = p.addNode({}, "studio");
        p.addParameter(top, "name", glow_value::ofString("A"), access::read_write);
        path router = p.addNode(top, "router");
        matrix = p.addMatrix(router, "video", {"MON 1", "MON 2", "MON 3"}, {"CAM 1", "CAM 2"});
        labels = {0, 1, 1};
        p.setConnection(matrix, 2, {1});
        session = p.openSession(
            [this](const bytes& b) { toConsumer.insert(toConsumer.end(), b.begin(), b.end()); });
    }

    // Carries bytes both ways until both sides are quiet, in small pieces.
    void pump() {
        for (int round = 0; round < 100 && (!toProvider.empty() || !toConsumer.empty()); ++round) {
            bytes up;
            up.swap(toProvider);
            for (std::size_t at = 0; at < up.size(); at += 5) {
                p.receive(session, up.data() + at, std::min<std::size_t>(5, up.size() - at));
            }
            bytes down;
            down.swap(toConsumer);
            c.receive(down.data(), down.size());
        }
    }
};

} // namespace

TEST(EmberRoles, TheConsumerReadsTheMatrixByNumbersOrNames) {
    for (const char* where : {"0.1.0", "studio/router/video"}) {
        SCOPED_TRACE(where);
        bench b;
        std::string why;
        ASSERT_TRUE(b.c.start(where, why)) << why;
        b.pump();
        ASSERT_TRUE(b.heard.isReady) << b.heard.failure;
        const matrix_state& m = b.c.matrix();
        EXPECT_EQ(m.where, b.matrix);
        EXPECT_EQ(m.targetCount, 3);
        EXPECT_EQ(m.sourceCount, 2);
        EXPECT_EQ(m.targetLabels, (std::vector<std::string>{"MON 1", "MON 2", "MON 3"}));
        EXPECT_EQ(m.sourceLabels, (std::vector<std::string>{"CAM 1", "CAM 2"}));
        EXPECT_EQ(m.connections, (std::vector<std::vector<std::int32_t>>{{}, {}, {1}}));
    }
}

TEST(EmberRoles, ConnectsAndChangesReachTheOtherSide) {
    bench b;
    std::string why;
    ASSERT_TRUE(b.c.start("0.1.0", why));
    b.pump();
    ASSERT_TRUE(b.heard.isReady);

    // Ours, through the model; then the model's own; then a label; then a refused one, which
    // is answered with the state as it is.
    ASSERT_TRUE(b.c.connect(0, 1));
    b.pump();
    b.p.setConnection(b.matrix, 1, {0});
    path label = b.labels;
    label.push_back(2);
    label.push_back(1);
    b.p.setValue(label, glow_value::ofString("CAM 2 wide"));
    b.pump();
    b.m.accept = false;
    ASSERT_TRUE(b.c.connect(2, 0));
    b.pump();
    EXPECT_EQ(b.m.asked, (std::vector<std::string>{"0.1.0 0 <- 1", "0.1.0 2 <- 0"}));
    EXPECT_EQ(b.heard.heard,
              (std::vector<std::string>{"0 <- 1", "1 <- 0", "source 1 CAM 2 wide", "2 <- 1"}));
    EXPECT_EQ(b.c.matrix().connections[0], (std::vector<std::int32_t>{1}));

    // Keep-alives both ways.
    b.toProvider.clear();
    bytes ping = encodeKeepAliveRequest();
    b.c.receive(ping.data(), ping.size());
    EXPECT_EQ(b.toProvider, encodeKeepAliveResponse());
    b.c.sendKeepAlive();
    b.pump();
    EXPECT_EQ(b.c.keepAliveResponses(), 1u);

    // Out of range or before the walk is done: refused here, nothing sent.
    b.toProvider.clear();
    EXPECT_FALSE(b.c.connect(3, 0));
    EXPECT_FALSE(b.c.connect(0, 2));
    EXPECT_FALSE(b.c.connect(-1, 0));
    EXPECT_TRUE(b.toProvider.empty());
}

TEST(EmberRoles, TheWalkFailsWithAReason) {
    struct row {
        const char* where;
        const char* why;
    } rows[] = {
        {"studio/router/audio", "no element 'audio' under '0.1'"},
        {"0.7", "no element 7 under '0'"},
        {"studio/name", "'0.0' is not a matrix"},
        {"0.0.0", "'0.0' is not a node"},
    };
    for (const row& r : rows) {
        bench b;
        std::string why;
        ASSERT_TRUE(b.c.start(r.where, why));
        b.pump();
        EXPECT_FALSE(b.heard.isReady) << r.where;
        EXPECT_EQ(b.heard.failure, r.why) << r.where;
    }
    bench b;
    std::string why;
    EXPECT_FALSE(b.c.start("0..1", why));
    EXPECT_FALSE(b.c.start("a//b", why));
    EXPECT_NE(why.find("a//b"), std::string::npos);
}

TEST(EmberRoles, TheProviderAnswersOnlyWhoWatches) {
    bench b;
    std::string why;
    ASSERT_TRUE(b.c.start("0.1.0", why));
    b.pump();
    bytes idle;
    provider::session_id quiet =
        b.p.openSession([&idle](const bytes& x) { idle.insert(idle.end(), x.begin(), x.end()); });
    b.p.setConnection(b.matrix, 0, {0});
    b.pump();
    EXPECT_TRUE(idle.empty());
    EXPECT_EQ(b.heard.heard.back(), "0 <- 0");

    // Unsubscribed from the matrix and its parent, the consumer hears no more.
    bytes stop = encodeMessage(
        encodeGlow(makeRequest(glow_element::kind::matrix, b.matrix, command_type::unsubscribe)));
    bytes stopParent = encodeMessage(
        encodeGlow(makeRequest(glow_element::kind::node, {0, 1}, command_type::unsubscribe)));
    b.p.receive(b.session, stop.data(), stop.size());
    b.p.receive(b.session, stopParent.data(), stopParent.size());
    std::size_t before = b.heard.heard.size();
    b.p.setConnection(b.matrix, 0, {1});
    b.pump();
    EXPECT_EQ(b.heard.heard.size(), before);

    // A keep-alive is answered; noise closes the session.
    bytes ping = encodeKeepAliveRequest();
    ASSERT_TRUE(b.p.receive(quiet, ping.data(), ping.size()));
    EXPECT_EQ(idle, encodeKeepAliveResponse());
    bytes noise(64 * 1024, 0x42);
    EXPECT_FALSE(b.p.receive(quiet, noise.data(), noise.size()));
}

TEST(EmberRoles, OneSourcePerTarget) {
    using v = std::vector<std::int32_t>;
    struct row {
        v current;
        v requested;
        connection_operation operation;
        v result;
    } rows[] = {
        {{1}, {2}, connection_operation::absolute, {2}},
        {{1}, {2, 3}, connection_operation::connect, {3}},
        {{1}, {}, connection_operation::absolute, {}},
        {{1}, {}, connection_operation::connect, {1}},
        {{1}, {1}, connection_operation::disconnect, {}},
        {{1}, {2}, connection_operation::disconnect, {1}},
    };
    for (const row& r : rows) {
        EXPECT_EQ(oneToNResult(r.current, r.requested, r.operation), r.result);
    }
}

TEST(EmberRoles, WritesTheModelRefusesAreAnsweredWithTheValueAsItIs) {
    bench b;
    bytes answer;
    provider::session_id other = b.p.openSession(
        [&answer](const bytes& x) { answer.insert(answer.end(), x.begin(), x.end()); });
    path readOnly = b.p.addParameter({0}, "serial", glow_value::ofString("42"));
    struct row {
        path where;
        const char* expected;
        std::size_t asked;
    } rows[] = {
        {readOnly, "42", 0},  // read-only: the model is not asked
        {{0, 0}, "typed", 1}, // writable: applied and pushed back to the writer
    };
    for (const row& r : rows) {
        glow_element write;
        write.what = glow_element::kind::parameter;
        write.qualified = true;
        write.where = r.where;
        write.hasContents = true;
        write.value = glow_value::ofString("typed");
        glow_root root;
        root.elements.push_back(write);
        // The writer watches the parameter, as a consumer that read it does.
        bytes watch = encodeMessage(encodeGlow(
            makeRequest(glow_element::kind::parameter, r.where, command_type::subscribe)));
        b.p.receive(other, watch.data(), watch.size());
        b.m.asked.clear();
        answer.clear();
        bytes request = encodeMessage(encodeGlow(root));
        ASSERT_TRUE(b.p.receive(other, request.data(), request.size()));
        EXPECT_EQ(b.m.asked.size(), r.asked);
        s101_decoder d;
        std::vector<s101_event> events;
        d.feed(answer.data(), answer.size(), events);
        ASSERT_EQ(events.size(), 1u) << pathText(r.where);
        glow_root back;
        std::string why;
        ASSERT_TRUE(decodeGlow(events[0].data.data(), events[0].data.size(), back, why));
        EXPECT_EQ(back.elements.at(0).where, r.where);
        EXPECT_EQ(back.elements[0].value->text, r.expected);
    }
}

TEST(EmberRoles, TheConsumerRefusesANonLinearMatrix) {
    recorder heard;
    consumer c([](const bytes&) {}, heard);
    std::string why;
    ASSERT_TRUE(c.start("0", why));
    glow_element m;
    m.what = glow_element::kind::matrix;
    m.number = 0;
    m.hasContents = true;
    m.identifier = "sparse";
    glow_root listing;
    listing.elements.push_back(m);
    m.qualified = true;
    m.where = {0};
    m.addressingMode = addressing::non_linear;
    m.targetCount = 2;
    m.sourceCount = 2;
    glow_root directory;
    directory.elements.push_back(m);
    for (const glow_root* r : {&listing, &directory}) {
        bytes frames = encodeMessage(encodeGlow(*r));
        c.receive(frames.data(), frames.size());
    }
    EXPECT_FALSE(c.isReady());
    EXPECT_EQ(heard.failure, "'0' is a non-linear matrix, which is not supported");
}
