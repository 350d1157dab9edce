// A router whose state lives in an Ember+ provider, over a link that the test plays the
// provider's side of; and the [Ember] keys of its device file. Against a real provider:
// tests/ember/lab.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devices/ember_router.h"
#include "file_check.h"
#include "scenario_parser.h"
#include "system_check.h"
#include "temp_system_tree.h"

using namespace vesk_host;

namespace {

// The provider's side: what the router asked, and news for it to take.
struct fake_link : ember_link {
    std::vector<std::pair<std::int32_t, std::int32_t>>* asked;
    std::deque<ember_news>* news;
    void connect(std::int32_t target, std::int32_t source) override {
        asked->emplace_back(target, source);
    }
    void take(std::deque<ember_news>& into, std::size_t& dropped) override {
        into.swap(*news);
        news->clear();
        dropped = 0;
    }
};

ember_news matrix(std::vector<std::int32_t> connected, std::vector<std::string> sourceLabels) {
    ember_news n;
    n.what = ember_news::kind::ready;
    n.targets = static_cast<std::int32_t>(connected.size());
    n.sources = static_cast<std::int32_t>(sourceLabels.size());
    n.connected = std::move(connected);
    n.targetLabels.assign(static_cast<std::size_t>(n.targets), std::string());
    n.targetLabels[0] = "PGM";
    n.sourceLabels = std::move(sourceLabels);
    return n;
}

ember_news crosspoint(std::int32_t target, std::int32_t source) {
    ember_news n;
    n.what = ember_news::kind::crosspoint;
    n.number = target;
    n.source = source;
    return n;
}

ember_news lost(const std::string& why) {
    ember_news n;
    n.what = ember_news::kind::lost;
    n.text = why;
    return n;
}

struct heard : device_listener {
    std::vector<std::string> changes; // "index: report"
    std::vector<std::string> said;    // "PROBLEM ..." or "note ..."
    void deviceChanged(const device& d, int index, const std::string&) override {
        std::string text;
        d.report(index, text);
        changes.push_back(std::to_string(index) + ": " + text);
    }
    void deviceSays(const device&, const std::string& what, bool problem) override {
        said.push_back((problem ? "PROBLEM " : "note ") + what);
    }
};

// Router 5 on a 3 x 4 matrix: targets 0..2 on sources 1, none, 3.
struct lab_router {
    std::vector<std::pair<std::int32_t, std::int32_t>> asked;
    std::deque<ember_news> news;
    heard listener;
    ember_router router{5, "lab", "dev_005.ini", ember_address{"127.0.0.1", 9000, "0.1"}};

    lab_router() {
        std::unique_ptr<fake_link> link(new fake_link);
        link->asked = &asked;
        link->news = &news;
        router.attach(std::move(link), matrix({1, -1, 3}, {"BARS", "CAM 1", "", "VT"}));
        router.listen(&listener);
    }
};

} // namespace

TEST(EmberRouter, TheMatrixIsReadWithOurIndicesOneAboveTheProvidersNumbers) {
    lab_router lab;
    EXPECT_EQ(lab.router.sources, 4);
    EXPECT_EQ(lab.router.destinations, 3);
    EXPECT_EQ(lab.router.sourceOf(1), 2);
    EXPECT_EQ(lab.router.sourceOf(2), 0) << "a target on no source holds nothing";
    EXPECT_FALSE(lab.router.holds(2));
    EXPECT_EQ(lab.router.sourceOf(3), 4);
    EXPECT_EQ(lab.router.destinationName(1), "PGM");
    EXPECT_EQ(lab.router.sourceName(2), "CAM 1");
    EXPECT_EQ(lab.router.sourceName(3), "Source 3") << "no label: the name any router gives";
    EXPECT_EQ(lab.router.takeArrived(), 0);
}

TEST(EmberRouter, AChangeIsAskedOfTheProviderAndReportedWhenItAnswers) {
    lab_router lab;
    std::string why;
    ASSERT_TRUE(lab.router.request(device_change{2, 3, ""}, why)) << why;
    ASSERT_EQ(lab.asked.size(), 1u);
    EXPECT_EQ(lab.asked[0], std::make_pair(1, 2));
    EXPECT_TRUE(lab.listener.changes.empty()) << "nothing is reported before the provider answers";
    EXPECT_EQ(lab.router.sourceOf(2), 0);
    EXPECT_EQ(lab.router.takeArrived(), 1) << "one change awaits its answer";

    // The answer, then a change someone else made; and a source beyond the matrix reads as none.
    lab.news = {crosspoint(1, 2), crosspoint(0, 3), crosspoint(2, 99)};
    EXPECT_EQ(lab.router.takeArrived(), 0);
    EXPECT_EQ(lab.listener.changes, (std::vector<std::string>{"2: Source 3", "1: VT", "3: "}));
    EXPECT_EQ(lab.router.sourceOf(1), 4);
    EXPECT_FALSE(lab.router.holds(3));

    for (device_change refused :
         {device_change{4, 1, ""}, device_change{1, 5, ""}, device_change{0, 1, ""}}) {
        EXPECT_FALSE(lab.router.request(refused, why));
        EXPECT_NE(why.find("router 5 has sources 1 to 4 and destinations 1 to 3"),
                  std::string::npos)
            << why;
    }
    EXPECT_EQ(lab.asked.size(), 1u) << "a refused change never reaches the provider";
}

TEST(EmberRouter, ALostProviderIsAProblemAndItsReturnReportsOnlyWhatChanged) {
    lab_router lab;
    std::string why;
    ASSERT_TRUE(lab.router.request(device_change{1, 1, ""}, why));
    lab.news = {lost("the provider closed the connection")};
    EXPECT_EQ(lab.router.takeArrived(), 0) << "what was asked of a lost provider awaits nothing";
    ASSERT_EQ(lab.listener.said.size(), 1u);
    EXPECT_EQ(lab.listener.said[0],
              "PROBLEM router 5 lost its Ember+ provider 127.0.0.1:9000, matrix 0.1: the "
              "provider closed the connection; connecting again");
    EXPECT_FALSE(lab.router.request(device_change{1, 2, ""}, why));
    EXPECT_NE(why.find("until it is connected again"), std::string::npos) << why;
    EXPECT_EQ(lab.asked.size(), 1u);

    // Back, with target 1 moved and a source renamed while it was away.
    lab.news = {matrix({1, 0, 3}, {"BARS", "CAM ONE", "", "VT"})};
    lab.router.takeArrived();
    ASSERT_EQ(lab.listener.said.size(), 2u);
    EXPECT_EQ(lab.listener.said[1].find("note router 5 is connected again to"), 0u)
        << lab.listener.said[1];
    EXPECT_EQ(lab.listener.changes, (std::vector<std::string>{"2: BARS"}));
    EXPECT_EQ(lab.router.sourceName(2), "CAM ONE");
    EXPECT_TRUE(lab.router.request(device_change{1, 2, ""}, why)) << why;
}

TEST(EmberRouter, TheProviderIsHostAndPort) {
    const struct {
        const char* text;
        bool valid;
        const char* host;
        int port;
    } rows[] = {
        {"127.0.0.1:9000", true, "127.0.0.1", 9000},
        {"router.lab:65535", true, "router.lab", 65535},
        {"127.0.0.1", false, "", 0},
        {":9000", false, "", 0},
        {"127.0.0.1:0", false, "", 0},
        {"127.0.0.1:65536", false, "", 0},
        {"127.0.0.1:90x", false, "", 0},
        {"", false, "", 0},
    };
    for (const auto& row : rows) {
        ember_address where;
        std::string why;
        EXPECT_EQ(parseProvider(row.text, where, why), row.valid) << row.text;
        if (row.valid) {
            EXPECT_EQ(where.host, row.host);
            EXPECT_EQ(where.port, row.port);
        } else {
            EXPECT_NE(why.find("is not HOST:PORT"), std::string::npos) << row.text << ": " << why;
        }
    }
}

TEST(EmberRouter, TheSystemCheckReadsTheEmberKeysAndTriesTheProvider) {
    const struct {
        const char* ember;
        const char* finding; // in one finding; null: none but the refusal
        bool refused;
    } rows[] = {
        {"provider=127.0.0.1\nmatrix=0.0.0\n", "is not HOST:PORT", false},
        {"matrix=0.0.0\n", "has no provider=HOST:PORT", false},
        {"provider=127.0.0.1:1\n", "has no matrix=", false},
        {"provider=127.0.0.1:1\nmatrix=0.0.0\nmatirx=1\n", "unknown key 'matirx'", true},
        // Nothing listens on port 1: the run would refuse it, and the check says why.
        {"provider=127.0.0.1:1\nmatrix=lab/router\n",
         "cannot use the Ember+ provider 127.0.0.1:1, matrix lab/router", true},
    };
    for (const auto& row : rows) {
        temp_system_tree tree("lab");
        tree.writeFile("host.ini", "[Host]\ninfo=lab\n");
        tree.writeFile("dev_005.ini",
                       std::string("[Device]\nname=lab\n[Sources]\n1=A\n[Ember]\n") + row.ember);
        std::vector<system_finding> findings = checkSystem(tree.root() + "/lab", "");
        bool found = false;
        bool refused = false;
        std::string all;
        for (const system_finding& f : findings) {
            all += f.text() + "\n";
            found = found || f.text().find(row.finding) != std::string::npos;
            refused = refused || f.refused;
        }
        EXPECT_TRUE(found) << row.ember << all;
        EXPECT_EQ(refused, row.refused) << row.ember << all;
        EXPECT_NE(all.find("unknown section [Sources]"), std::string::npos)
            << "names come from the provider: " << all;
    }
}

TEST(EmberRouter, WaitCrosspointTakesOptionalMilliseconds) {
    const struct {
        const char* line;
        bool parsed;
        std::size_t numbers;
    } rows[] = {
        {"wait crosspoint 3 12 7", true, 3},        {"wait crosspoint 3 12 7 250", true, 4},
        {"wait crosspoint 3 12 7 -1", false, 0},    {"wait crosspoint 3 12 7 soon", false, 0},
        {"wait crosspoint 3 12 7 250 9", false, 0}, {"wait crosspoint 3 12", false, 0},
    };
    for (const auto& row : rows) {
        step s;
        std::string error;
        EXPECT_EQ(parseStep(row.line, s, error), row.parsed) << row.line << ": " << error;
        if (row.parsed) {
            EXPECT_EQ(s.numbers.size(), row.numbers) << row.line;
        }
    }
}
