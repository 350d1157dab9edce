// The system's devices as an Ember+ tree: what a consumer reads of it, the scenario lines its
// requests become, and the updates the devices' changes make.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ember_bridge.h"
#include "glow.h"
#include "provider.h"
#include "s101.h"
#include "scenario_parser.h"
#include "system_model.h"
#include "temp_system_tree.h"

using namespace vesk_ember;
using vesk_host::ember_bridge;

namespace {

class refusing_model : public provider_model {
public:
    void connectRequested(const path&, std::int32_t, const std::vector<std::int32_t>&,
                          connection_operation) override {}
    void valueRequested(const path&, const glow_value&) override {}
};

// A system of two routers of one name, a text device and a state device, served through a
// provider that a consumer session reads in memory.
struct served_system {
    temp_system_tree tree;
    std::unique_ptr<vesk_host::system_model> system;
    refusing_model model;
    provider served{model};
    std::unique_ptr<ember_bridge> bridge;
    provider::session_id session = -1;
    bytes heard;

    served_system() {
        tree.writeFile("dev_003.ini", "[Device]\nname=Studio Router\n[Sources]\n1=CAM 1\n2=CAM 2\n"
                                      "3=VT\n[Destinations]\n1=TX\n2=PVW\n[Crosspoints]\n2=3\n");
        tree.writeFile("dev_004.ini", "[Device]\nname=studio router\n[Sources]\n1=A\n"
                                      "[Destinations]\n1=B\n");
        tree.writeFile("dev_020.ini", "[Device]\nkind=text\nname=captions\n[Database]\n"
                                      "DatabaseSize_0=2\n[Slots]\n1=ON AIR\n");
        tree.writeFile("dev_030.ini", "[Device]\nkind=state\nname=tallies\n[Database]\n"
                                      "DatabaseSize_0=3\n[States]\n2=on\n");
        system.reset(new vesk_host::system_model(tree.root() + "/" + tree.system()));
        bridge.reset(new ember_bridge(*system, served));
        session = served.openSession(
            [this](const bytes& b) { heard.insert(heard.end(), b.begin(), b.end()); });
    }

    // Sends a request and returns the elements of every message the provider sent back.
    std::vector<glow_element> ask(glow_element::kind what, const path& where, command_type c) {
        bytes request = encodeMessage(encodeGlow(makeRequest(what, where, c)));
        served.receive(session, request.data(), request.size());
        return answers();
    }
    std::vector<glow_element> answers() {
        s101_decoder decoder;
        std::vector<s101_event> events;
        decoder.feed(heard.data(), heard.size(), events);
        heard.clear();
        std::vector<glow_element> out;
        for (const s101_event& e : events) {
            glow_root root;
            std::string why;
            if (e.what == s101_event::kind::message &&
                decodeGlow(e.data.data(), e.data.size(), root, why)) {
                out.insert(out.end(), root.elements.begin(), root.elements.end());
            }
        }
        return out;
    }
};

path at(std::initializer_list<std::uint32_t> p) {
    return path(p);
}

TEST(EmberBridge, ServesEveryDeviceUnderItsNumber) {
    served_system s;
    EXPECT_EQ(s.bridge->devicesServed(), 4u);
    EXPECT_TRUE(s.bridge->leftOut().empty());

    std::vector<glow_element> top =
        s.ask(glow_element::kind::node, at({0}), command_type::get_directory);
    ASSERT_EQ(top.size(), 1u);
    struct expected {
        std::uint32_t number;
        std::string identifier;
        std::string description;
    };
    // Names that make the same identifier are told apart by the device's number.
    const expected devices[] = {{3, "studio-router", "Studio Router"},
                                {4, "studio-router-4", "studio router"},
                                {20, "captions", "captions"},
                                {30, "tallies", "tallies"}};
    ASSERT_EQ(top[0].children.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(top[0].children[i].number, devices[i].number);
        EXPECT_EQ(top[0].children[i].identifier.value_or(""), devices[i].identifier);
        EXPECT_EQ(top[0].children[i].description.value_or(""), devices[i].description);
    }

    std::vector<glow_element> m =
        s.ask(glow_element::kind::matrix, at({0, 3, 0}), command_type::get_directory);
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].targetCount.value_or(0), 2);
    EXPECT_EQ(m[0].sourceCount.value_or(0), 3);
    EXPECT_EQ(m[0].matrixType.value_or(matrix_type::n_to_n), matrix_type::one_to_n);
    ASSERT_EQ(m[0].labels.size(), 1u);
    ASSERT_TRUE(m[0].connections.has_value());
    // Destination 1 starts on source 1, destination 2 on source 3: Ember+ numbers are ours - 1.
    ASSERT_EQ(m[0].connections->size(), 2u);
    EXPECT_EQ((*m[0].connections)[0].sources, std::vector<std::int32_t>{0});
    EXPECT_EQ((*m[0].connections)[1].sources, std::vector<std::int32_t>{2});

    struct labels {
        std::uint32_t which;
        std::vector<std::string> texts;
    };
    for (const labels& l : {labels{1, {"TX", "PVW"}}, labels{2, {"CAM 1", "CAM 2", "VT"}}}) {
        path where = m[0].labels[0].basePath;
        where.push_back(l.which);
        std::vector<glow_element> node =
            s.ask(glow_element::kind::node, where, command_type::get_directory);
        ASSERT_EQ(node.size(), 1u);
        std::vector<std::string> got;
        for (const glow_element& p : node[0].children) {
            got.push_back(p.value ? p.value->text : "?");
        }
        EXPECT_EQ(got, l.texts) << "labels " << l.which;
    }

    struct parameter {
        std::uint32_t device;
        std::vector<std::string> identifiers;
        std::vector<glow_value> values;
    };
    const parameter parameters[] = {
        {20, {"slot-1", "slot-2"}, {glow_value::ofString("ON AIR"), glow_value::ofString("")}},
        {30,
         {"index-1", "index-2", "index-3"},
         {glow_value::ofBoolean(false), glow_value::ofBoolean(true), glow_value::ofBoolean(false)}},
    };
    for (const parameter& p : parameters) {
        std::vector<glow_element> node =
            s.ask(glow_element::kind::node, at({0, p.device}), command_type::get_directory);
        ASSERT_EQ(node.size(), 1u);
        ASSERT_EQ(node[0].children.size(), p.values.size()) << "device " << p.device;
        for (std::size_t i = 0; i < p.values.size(); ++i) {
            const glow_element& e = node[0].children[i];
            EXPECT_EQ(e.number, i);
            EXPECT_EQ(e.identifier.value_or(""), p.identifiers[i]);
            EXPECT_TRUE(e.value && *e.value == p.values[i]) << "device " << p.device << " " << i;
            EXPECT_EQ(e.paramAccess.value_or(access::none), access::read_write);
        }
    }
}

TEST(EmberBridge, ConsumerRequestsBecomeScenarioLines) {
    served_system s;
    const path matrix = at({0, 3, 0});
    struct row {
        path where;
        std::int32_t target;
        std::vector<std::int32_t> sources;
        connection_operation operation;
        std::vector<std::int32_t> current;
        std::string line; // empty: refused
    };
    const row rows[] = {
        {matrix, 1, {0}, connection_operation::connect, {2}, "route 3 1 2"},
        {matrix, 0, {0, 2}, connection_operation::absolute, {0}, "route 3 3 1"},
        // The same crosspoint again is still a route: scripts hear it again, as on a router.
        {matrix, 0, {0}, connection_operation::absolute, {0}, "route 3 1 1"},
        {matrix, 0, {0}, connection_operation::disconnect, {0}, ""},
        {matrix, 0, {}, connection_operation::absolute, {0}, ""},
        {matrix, 0, {1}, connection_operation::disconnect, {0}, ""},
        {matrix, 0, {3}, connection_operation::connect, {0}, ""},
        {matrix, 0, {-1}, connection_operation::connect, {0}, ""},
        {at({0, 3, 1}), 0, {1}, connection_operation::connect, {0}, ""},
        {at({0, 20, 0}), 0, {1}, connection_operation::connect, {0}, ""},
    };
    for (const row& r : rows) {
        std::string why;
        std::string line =
            s.bridge->connectLine(r.where, r.target, r.sources, r.operation, r.current, why);
        EXPECT_EQ(line, r.line) << pathText(r.where) << " target " << r.target;
        EXPECT_EQ(why.empty(), !r.line.empty()) << line;
    }

    struct value_row {
        path where;
        glow_value value;
        std::string line;
    };
    const value_row values[] = {
        {at({0, 20, 0}), glow_value::ofString("ON AIR"), "write 20 1 ON AIR"},
        {at({0, 20, 1}), glow_value::ofString(""), "write 20 2"},
        {at({0, 20, 1}), glow_value::ofString("a\\b\nc\td"), "write 20 2 a\\\\b\\nc\\td"},
        {at({0, 20, 1}), glow_value::ofString(" padded"), ""},
        {at({0, 20, 1}), glow_value::ofString("bell\a"), ""},
        {at({0, 20, 1}), glow_value::ofBoolean(true), ""},
        {at({0, 30, 1}), glow_value::ofBoolean(true), "state 30 2 on"},
        {at({0, 30, 2}), glow_value::ofInteger(0), "state 30 3 off"},
        {at({0, 30, 2}), glow_value::ofString("on"), ""},
        {at({0, 3, 0}), glow_value::ofString("x"), ""},
        {at({0, 20, 9}), glow_value::ofString("x"), ""},
    };
    for (const value_row& v : values) {
        std::string why;
        EXPECT_EQ(s.bridge->valueLine(v.where, v.value, why), v.line) << pathText(v.where);
    }
}

// Every text a consumer may write reaches the slot as it was sent, through the scenario line.
TEST(EmberBridge, WrittenTextsSurviveTheScenarioLine) {
    served_system s;
    for (const std::string text : {"ON AIR", "C:\\clips\\a.mov", "two\nlines", "tab\there", "\\n",
                                   "ends in \\", "quote ' and \" marks", "#not a comment"}) {
        std::string why;
        std::string line = s.bridge->valueLine(at({0, 20, 0}), glow_value::ofString(text), why);
        vesk_host::step parsed;
        std::string error;
        ASSERT_TRUE(vesk_host::parseStep(line, parsed, error)) << line << ": " << error;
        EXPECT_EQ(std::string(parsed.command->name), "write");
        EXPECT_EQ(parsed.text, text) << line;
    }
}

TEST(EmberBridge, DeviceChangesUpdateTheTreeAndReachWatchers) {
    served_system s;
    // A consumer that read the matrix and the text device watches them.
    s.ask(glow_element::kind::matrix, at({0, 3, 0}), command_type::get_directory);
    s.ask(glow_element::kind::node, at({0, 20}), command_type::get_directory);

    struct row {
        int device;
        int index;
        vesk_host::device_change change;
    };
    const row rows[] = {{3, 1, {1, 2, ""}}, {20, 2, {2, 0, "BREAKING"}}, {30, 3, {3, 1, ""}}};
    for (const row& r : rows) {
        vesk_host::device* d = s.system->find(r.device);
        ASSERT_NE(d, nullptr);
        std::string why;
        ASSERT_TRUE(d->request(r.change, why)) << why;
        auto update = s.bridge->update(*d, r.index);
        ASSERT_TRUE(update) << "device " << r.device;
        update(s.served);
    }
    ASSERT_NE(s.served.connection(at({0, 3, 0}), 0), nullptr);
    EXPECT_EQ(*s.served.connection(at({0, 3, 0}), 0), std::vector<std::int32_t>{1});

    std::vector<glow_element> pushed = s.answers();
    // The state device's node was never read: its change goes to no one.
    ASSERT_EQ(pushed.size(), 2u);
    EXPECT_EQ(pushed[0].where, at({0, 3, 0}));
    ASSERT_TRUE(pushed[0].connections && pushed[0].connections->size() == 1);
    EXPECT_EQ((*pushed[0].connections)[0].target, 0);
    EXPECT_EQ((*pushed[0].connections)[0].sources, std::vector<std::int32_t>{1});
    EXPECT_EQ(pushed[1].where, at({0, 20, 1}));
    EXPECT_TRUE(pushed[1].value && *pushed[1].value == glow_value::ofString("BREAKING"));

    std::vector<glow_element> states =
        s.ask(glow_element::kind::node, at({0, 30}), command_type::get_directory);
    ASSERT_EQ(states.size(), 1u);
    ASSERT_EQ(states[0].children.size(), 3u);
    EXPECT_TRUE(states[0].children[2].value &&
                *states[0].children[2].value == glow_value::ofBoolean(true));

    // An index beyond the device updates nothing.
    vesk_host::device* router = s.system->find(3);
    EXPECT_FALSE(s.bridge->update(*router, 3));
    EXPECT_FALSE(s.bridge->update(*router, 0));
}

TEST(EmberBridge, IdentifiersFromNames) {
    const std::pair<std::string, std::string> rows[] = {
        {"studio router", "studio-router"},
        {"  Jo's Desk! ", "jo-s-desk"},
        {"CAM_12", "cam-12"},
        {"***", "fallback"},
        {"", "fallback"},
        {"caf\xc3\xa9", "caf"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(vesk_host::emberIdentifier(r.first, "fallback"), r.second) << r.first;
    }
}

} // namespace

namespace {

class heard_list : public vesk_host::device_listener {
public:
    heard_list(std::vector<std::string>& into, std::string who)
        : m_into(into), m_who(std::move(who)) {}
    void deviceChanged(const vesk_host::device& changed, int index, const std::string&) override {
        m_into.push_back(m_who + " " + std::to_string(changed.number()) + ":" +
                         std::to_string(index));
    }

private:
    std::vector<std::string>& m_into;
    std::string m_who;
};

// The host and the provider beside it both hear every change, the host first (its revertives
// are queued before the provider reads the device), however the device was read.
TEST(EmberBridge, TheHostAndTheProviderBothHearEveryChange) {
    served_system s;
    std::vector<std::string> heard;
    heard_list host(heard, "host");
    heard_list provider(heard, "provider");
    s.system->listen(&host);
    s.system->listenAlso(&provider);
    std::string why;
    ASSERT_TRUE(s.system->find(3)->request({2, 1, ""}, why));
    ASSERT_TRUE(s.system->find(20)->request({1, 0, "x"}, why));
    s.system->listen(nullptr);
    ASSERT_TRUE(s.system->find(30)->request({1, 1, ""}, why));
    s.system->listenAlso(nullptr);
    ASSERT_TRUE(s.system->find(30)->request({1, 0, ""}, why));
    const std::vector<std::string> expected = {"host 3:2", "provider 3:2", "host 20:1",
                                               "provider 20:1", "provider 30:1"};
    EXPECT_EQ(heard, expected);
}

} // namespace
