// The device kinds behind the one interface: read from their files, changed and reported,
// polled, shown to the page and to a recording.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devices/device.h"
#include "devices/router.h"
#include "emulated_host.h"
#include "scenario_parser.h"
#include "system_check.h"
#include "system_model.h"
#include "temp_system_tree.h"
#include "transcript.h"

using namespace vesk_host;

namespace {

const char* const routerFile = "[Device]\nname=mcr\n[Sources]\n1=CAM 1\n2=CAM 2\n"
                               "[Destinations]\n1=MON\n2=TX\n[Crosspoints]\n2=2\n";
const char* const textFile = "[Device]\nkind=text\nname=captions\n[Database]\n"
                             "DatabaseSize_0=3\n[Slots]\n1=hello\n";
const char* const stateFile = "[Device]\nkind=state\nname=tallies\n[Database]\n"
                              "DatabaseSize_0=4\n[States]\n2=on\n3=off\n";

// A system of one device of each kind: router 3, text device 20, state device 30.
struct three_devices {
    temp_system_tree tree{"studio"};
    system_model system{tree.root() + "/studio"};

    three_devices() {
        tree.writeFile("dev_003.ini", routerFile);
        tree.writeFile("dev_020.ini", textFile);
        tree.writeFile("dev_030.ini", stateFile);
    }
};

struct heard_change {
    int device;
    int index;
    std::string said;
    std::string report;
};

struct recording_listener : device_listener {
    std::vector<heard_change> heard;
    std::vector<std::string> notes;
    void deviceChanged(const device& changed, int index, const std::string& said) override {
        std::string text;
        changed.report(index, text);
        heard.push_back({changed.number(), index, said, text});
    }
    void deviceNoted(const device&, const std::string& said) override { notes.push_back(said); }
};

} // namespace

TEST(DeviceKinds, ChangesAreAskedForThenReported) {
    const struct {
        const char* what;
        int device;
        device_change change;
        const char* refused; // null: accepted
        const char* said;
        const char* report;
    } rows[] = {
        {"switch", 3, {1, 2, ""}, nullptr, "3: MON (1) now on CAM 2 (2)", "CAM 2"},
        {"switch to no source",
         3,
         {1, 3, ""},
         "router 3 has sources 1 to 2 and destinations 1 to 2; "
         "no switch of source 3 to destination 1",
         "",
         ""},
        {"switch of no destination",
         3,
         {0, 1, ""},
         "no switch of source 1 to destination 0",
         "",
         ""},
        {"write", 20, {3, 0, "cue A"}, nullptr, "20: slot 3 now \"cue A\"", "cue A"},
        {"write nothing", 20, {1, 0, ""}, nullptr, "20: slot 1 now \"\"", ""},
        {"write past the end",
         20,
         {4, 0, "x"},
         "text device 20 has slots 1 to 3; no slot 4",
         "",
         ""},
        {"set on", 30, {1, 1, ""}, nullptr, "30: index 1 now on", "1"},
        {"any number but 0 is on", 30, {4, -7, ""}, nullptr, "30: index 4 now on", "1"},
        {"set off", 30, {2, 0, ""}, nullptr, "30: index 2 now off", "0"},
        {"set before the first",
         30,
         {0, 1, ""},
         "state device 30 has indices 1 to 4; no index 0",
         "",
         ""},
    };
    for (const auto& row : rows) {
        three_devices s;
        recording_listener listener;
        s.system.listen(&listener);
        device* d = s.system.find(row.device);
        ASSERT_NE(d, nullptr) << row.what;
        std::string why;
        EXPECT_EQ(d->request(row.change, why), row.refused == nullptr) << row.what;
        if (row.refused != nullptr) {
            EXPECT_NE(why.find(row.refused), std::string::npos) << row.what << ": " << why;
            EXPECT_TRUE(listener.heard.empty()) << row.what << ": a refused change is not heard";
            continue;
        }
        ASSERT_EQ(listener.heard.size(), 1u) << row.what;
        EXPECT_EQ(listener.heard[0].device, row.device) << row.what;
        EXPECT_EQ(listener.heard[0].index, row.change.index) << row.what;
        EXPECT_EQ(listener.heard[0].said, row.said) << row.what;
        EXPECT_EQ(listener.heard[0].report, row.report) << row.what;
    }
}

TEST(DeviceKinds, ListenersHearDevicesReadBeforeAndAfterThemAndStopHearing) {
    three_devices s;
    ASSERT_NE(s.system.find(3), nullptr);
    recording_listener listener;
    s.system.listen(&listener);
    std::string why;
    ASSERT_TRUE(s.system.find(3)->request({1, 2, ""}, why));
    ASSERT_TRUE(s.system.find(20)->request({1, 0, "x"}, why));
    EXPECT_EQ(listener.heard.size(), 2u);
    s.system.listen(nullptr);
    ASSERT_TRUE(s.system.find(30)->request({1, 1, ""}, why));
    ASSERT_TRUE(s.system.find(3)->request({2, 1, ""}, why));
    EXPECT_EQ(listener.heard.size(), 2u) << "nobody hears once the listener is gone";
}

TEST(DeviceKinds, PollsReportWhatEachIndexHolds) {
    three_devices s;
    const struct {
        int device;
        int index;
        bool reported;
        const char* text;
        bool holds;
    } rows[] = {
        {3, 1, true, "CAM 1", true}, // every destination starts on source 1
        {3, 2, true, "CAM 2", true}, {20, 1, true, "hello", true},
        {20, 2, true, "", false}, // reported empty by IP, left out by IQ
        {30, 2, true, "1", true},    {30, 3, true, "0", false},
        {30, 4, true, "0", false},
    };
    for (const auto& row : rows) {
        const device* d = s.system.find(row.device);
        ASSERT_NE(d, nullptr);
        std::string text;
        EXPECT_EQ(d->report(row.index, text), row.reported) << row.device << ":" << row.index;
        EXPECT_EQ(text, row.text) << row.device << ":" << row.index;
        EXPECT_EQ(d->holds(row.index), row.holds) << row.device << ":" << row.index;
    }
    EXPECT_EQ(s.system.find(3)->size(), 2);
    EXPECT_EQ(s.system.find(20)->size(), 3);
    EXPECT_EQ(s.system.find(30)->size(), 4);
}

TEST(DeviceKinds, ARouterWithoutSourcesHasNothingToReport) {
    temp_system_tree tree("studio");
    tree.writeFile("dev_005.ini", "[Destinations]\n1=MON\n");
    system_model system(tree.root() + "/studio");
    const router* r = system.findAs<router>(5);
    ASSERT_NE(r, nullptr);
    std::string text = "unchanged";
    EXPECT_FALSE(r->report(1, text));
    EXPECT_FALSE(r->holds(1));
    EXPECT_EQ(r->sourceOf(1), 0);
    EXPECT_TRUE(r->recorded().empty()) << "looking at a destination puts it on no source";
}

TEST(DeviceKinds, ShownToThePageAndInShow) {
    three_devices s;
    struct writer : page_writer {
        std::string out;
        void number(const char* key, int value) override {
            out += std::string(key) + "=" + std::to_string(value) + " ";
        }
        void flag(const char* key, bool value) override {
            out += std::string(key) + "=" + (value ? "true " : "false ");
        }
        void text(const char* key, const std::string& value) override {
            out += std::string(key) + "='" + value + "' ";
        }
        void list(const char* key) override { out += std::string(key) + "=[ "; }
        void item(const std::string& value) override { out += "'" + value + "' "; }
        void record() override { out += "{ "; }
        void end() override { out += "} "; }
    };
    const struct {
        int device;
        const char* page;
        const char* tag;
        const char* shown;
    } rows[] = {
        {3,
         "sources=[ 'CAM 1' 'CAM 2' } destinations=[ { index=1 name='MON' source=1 "
         "sourceName='CAM 1' } { index=2 name='TX' source=2 sourceName='CAM 2' } } "
         "locked=[ } pending=[ } ",
         "router", "3 mcr:\nMON (1) <- CAM 1 (1)\nTX (2) <- CAM 2 (2)"},
        {20, "slots=[ { index=1 text='hello' } { index=2 text='' } { index=3 text='' } } ",
         "device", "20 captions (3 slots):\nslot 1 \"hello\""},
        {30,
         "indices=[ { index=1 on=false } { index=2 on=true } { index=3 on=false } "
         "{ index=4 on=false } } ",
         "device", "30 tallies (4 indices) on: 2"},
    };
    for (const auto& row : rows) {
        const device* d = s.system.find(row.device);
        ASSERT_NE(d, nullptr);
        writer w;
        d->page(w);
        EXPECT_EQ(w.out, row.page) << row.device;
        EXPECT_STREQ(d->type().tag, row.tag) << row.device;
        EXPECT_EQ(d->shown(), row.shown) << row.device;
    }
    // A router's locks and the switches it has still to make.
    router* r = s.system.findAs<router>(3);
    ASSERT_NE(r, nullptr);
    r->switchDelay = 250;
    r->lock(2, true);
    std::string why;
    device_change asked{1, 2, ""};
    asked.byScript = true;
    asked.now = 1000;
    ASSERT_TRUE(r->request(asked, why)) << why;
    writer w;
    r->page(w);
    std::string page = w.out;
    EXPECT_NE(page.find("locked=[ '2' } pending=[ { destination=1 source=2 due=1250 } } "),
              std::string::npos)
        << page;
    EXPECT_EQ(r->shown(), "3 mcr:\nMON (1) <- CAM 1 (1)\nTX (2) <- CAM 2 (2), locked\n"
                          "MON (1) pending: CAM 2 (2) at 1250 ms");
}

// A router with a switch delay makes a script's switches later, in the order they fall due;
// a locked destination refuses every switch. Each row is one thing done to router 3 (delay
// 500 ms), then what the router holds.
TEST(DeviceKinds, ARouterTakesTimeAndLockedDestinationsRefuse) {
    enum action { script, elsewhere, lock, unlock, tick };
    const struct {
        action act;
        long long now;   // when asked, or the clock of a tick
        int destination; // 0 for a tick
        int source;
        int onOne, onTwo;       // the sources of destinations 1 and 2 afterwards
        long long due;          // nextDue() afterwards
        const char* said;       // what the step's change or note says; null: none
        std::size_t revertives; // changes heard so far
    } steps[] = {
        {script, 0, 1, 2, 1, 2, 500, "MON (1) to go on CAM 2 (2) at 500 ms", 0},
        {tick, 499, 0, 0, 1, 2, 500, nullptr, 0},
        {script, 100, 2, 1, 1, 2, 500, "TX (2) to go on CAM 1 (1) at 600 ms", 0},
        // A later request for the destination replaces the one pending, due from now.
        {script, 200, 1, 1, 1, 2, 600, "in place of the switch to CAM 2 (2) due at 500 ms", 0},
        // A switch made elsewhere is made at once; the one pending stays.
        {elsewhere, 300, 1, 2, 2, 2, 600, "MON (1) now on CAM 2 (2)", 1},
        // Both fall due by then, and are made in that order: TX then MON.
        {tick, 700, 0, 0, 1, 1, -1, "MON (1) now on CAM 1 (1)", 3},
        {lock, 0, 1, 0, 1, 1, -1, "MON (1) now locked", 3},
        {script, 800, 1, 2, 1, 1, -1, "MON (1) is locked: the switch to CAM 2 (2) is refused", 3},
        {elsewhere, 800, 1, 2, 1, 1, -1, "is locked: the switch to CAM 2 (2) is refused", 3},
        // Locked after it was asked for: refused when it falls due.
        {script, 900, 2, 2, 1, 1, 1400, "TX (2) to go on CAM 2 (2) at 1400 ms", 3},
        {lock, 0, 2, 0, 1, 1, 1400, "TX (2) now locked", 3},
        {tick, 1400, 0, 0, 1, 1, -1, "TX (2) is locked: the switch to CAM 2 (2) is refused", 3},
        {lock, 0, 2, 0, 1, 1, -1, "TX (2) stays locked", 3},
        {unlock, 0, 1, 0, 1, 1, -1, "MON (1) now unlocked", 3},
        {elsewhere, 1500, 1, 2, 2, 1, -1, "MON (1) now on CAM 2 (2)", 4},
    };
    three_devices s;
    recording_listener listener;
    s.system.listen(&listener);
    router* r = s.system.findAs<router>(3);
    ASSERT_NE(r, nullptr);
    r->switchDelay = 500;
    int n = 0;
    for (const auto& step : steps) {
        SCOPED_TRACE("step " + std::to_string(++n));
        std::size_t heardBefore = listener.heard.size();
        std::size_t notesBefore = listener.notes.size();
        if (step.act == script || step.act == elsewhere) {
            device_change asked{step.destination, step.source, ""};
            asked.byScript = step.act == script;
            asked.now = step.now;
            std::string why;
            EXPECT_TRUE(r->request(asked, why)) << why;
        } else if (step.act == tick) {
            r->makeDue(step.now);
        } else {
            r->lock(step.destination, step.act == lock);
        }
        EXPECT_EQ(r->sourceOf(1), step.onOne);
        EXPECT_EQ(r->sourceOf(2), step.onTwo);
        EXPECT_EQ(r->nextDue(), step.due);
        EXPECT_EQ(listener.heard.size(), step.revertives);
        std::string said;
        for (std::size_t i = heardBefore; i < listener.heard.size(); ++i) {
            said += listener.heard[i].said + "\n";
        }
        for (std::size_t i = notesBefore; i < listener.notes.size(); ++i) {
            said += listener.notes[i] + "\n";
        }
        if (step.said == nullptr) {
            EXPECT_EQ(said, "");
        } else {
            EXPECT_NE(said.find(step.said), std::string::npos) << said;
        }
    }
    EXPECT_EQ(listener.heard[1].said, "3: TX (2) now on CAM 1 (1)") << "the earlier due first";
    // Without a delay a script's switch is made at once.
    r->switchDelay = 0;
    r->lock(2, false);
    device_change asked{2, 2, ""};
    asked.byScript = true;
    std::string why;
    ASSERT_TRUE(r->request(asked, why));
    EXPECT_EQ(r->sourceOf(2), 2);
    EXPECT_EQ(r->nextDue(), -1);
}

// The delay is read from the router's [Device] section; one that is not a whole number of
// milliseconds is named at its line by the check, and read as none.
TEST(DeviceKinds, TheSwitchDelayIsReadAndChecked) {
    const struct {
        const char* value;
        int delay;
        const char* finding; // null: sound
    } rows[] = {
        {"750", 750, nullptr},
        {"0", 0, nullptr},
        {"-5", 0, "dev_003.ini:3: switch_delay '-5' is not a whole number of milliseconds"},
        {"half", 0, "dev_003.ini:3: switch_delay 'half' is not a whole number"},
        {"1.5", 0, "dev_003.ini:3: switch_delay '1.5'"},
        {"99999999999", 0, "dev_003.ini:3: switch_delay '99999999999'"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.value);
        temp_system_tree tree("studio");
        tree.writeFile("dev_003.ini", std::string("[Device]\nname=r\nswitch_delay=") + row.value +
                                          "\n[Sources]\n1=a\n[Destinations]\n1=b\n");
        std::string all;
        for (const system_finding& f : checkSystem(tree.root() + "/studio", "")) {
            all += f.text() + "\n";
        }
        if (row.finding == nullptr) {
            EXPECT_EQ(all.find("dev_003"), std::string::npos) << all;
        } else {
            EXPECT_NE(all.find(row.finding), std::string::npos) << all;
        }
        system_model system(tree.root() + "/studio");
        const router* r = system.findAs<router>(3);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->switchDelay, row.delay);
    }
    // Only a router has the key.
    temp_system_tree tree("studio");
    tree.writeFile("dev_020.ini", "[Device]\nkind=text\nswitch_delay=5\n[Slots]\n1=x\n");
    std::string all;
    for (const system_finding& f : checkSystem(tree.root() + "/studio", "")) {
        all += f.text() + "\n";
    }
    EXPECT_NE(all.find("dev_020.ini:3: unknown key 'switch_delay' in [Device]"), std::string::npos)
        << all;
}

TEST(DeviceKinds, ARecordingChecksWhatChanged) {
    const struct {
        const char* what;
        int device;
        device_change change;
        int index;
        const char* before; // what the device records at the index; null: nothing
        const char* after;
        const char* line;
        bool hasText;
        const char* text;
    } rows[] = {
        {"switch", 3, {1, 2, ""}, 1, "1", "2", "expect crosspoint 3 2 1", false, ""},
        {"write", 20, {2, 0, "a b"}, 2, nullptr, "a b", "expect slot 20 2", true, "a b"},
        {"on", 30, {1, 1, ""}, 1, nullptr, "on", "expect state 30 1 on", false, ""},
        {"off", 30, {2, 0, ""}, 2, "on", nullptr, "expect state 30 2 off", false, ""},
        // Set off when it was: nothing for a recording to check.
        {"off again", 30, {3, 0, ""}, 3, nullptr, nullptr, "expect state 30 3 off", false, ""},
    };
    for (const auto& row : rows) {
        three_devices s;
        device* d = s.system.find(row.device);
        ASSERT_NE(d, nullptr);
        auto before = d->recorded();
        std::string why;
        ASSERT_TRUE(d->request(row.change, why)) << row.what << ": " << why;
        auto after = d->recorded();
        auto held = [&](const std::map<int, std::string>& m) {
            auto found = m.find(row.index);
            return found == m.end() ? std::string("(nothing)") : found->second;
        };
        EXPECT_EQ(held(before), row.before ? row.before : "(nothing)") << row.what;
        EXPECT_EQ(held(after), row.after ? row.after : "(nothing)") << row.what;
        scenario_check check = d->expectation(row.index);
        EXPECT_EQ(check.line, row.line) << row.what;
        EXPECT_EQ(check.hasText, row.hasText) << row.what;
        EXPECT_EQ(check.text, row.text) << row.what;
        // The line it gives must be one the scenario reader takes.
        step parsed;
        std::string error;
        EXPECT_TRUE(
            parseStep(check.line + (check.text.empty() ? "" : " " + check.text), parsed, error))
            << row.what << ": " << error;
    }
}

TEST(DeviceKinds, TheKindIsReadFromTheFileOnce) {
    const struct {
        const char* content;
        const char* kind; // null: no device
    } rows[] = {
        {"[Sources]\n1=a\n", "router"},
        {"[Device]\nkind=text\n", "text"},
        {"[Device]\nkind=state\n", "state"},
        {"[Device]\nkind=State\n", "router"}, // compared as written; the check says so
        {"[Device]\nkind=ember\n", "router"},
        {"", nullptr},
    };
    for (const auto& row : rows) {
        temp_system_tree tree("studio");
        tree.writeFile("dev_001.ini", row.content);
        std::unique_ptr<device> d = readDevice(tree.configDir() + "/dev_001.ini", 1);
        ASSERT_EQ(d != nullptr, row.kind != nullptr) << row.content;
        if (d) {
            EXPECT_STREQ(d->type().name, row.kind) << row.content;
            EXPECT_EQ(d->name(), "device 1") << "the name when the file gives none";
        }
    }
    EXPECT_EQ(readDevice("/no/such/folder/dev_001.ini", 1), nullptr);
    EXPECT_EQ(deviceTypeNames(), "router, text or state");
    EXPECT_STREQ(familyDevices(verb_family::router), "router");
    EXPECT_STREQ(familyDevices(verb_family::i_family), "text");
    EXPECT_STREQ(familyDevices(verb_family::g_family), "state");
    for (const device_type* type : deviceTypes()) {
        EXPECT_EQ(deviceTypeNamed(type->name), type);
    }
}

TEST(DeviceKinds, EveryDeviceOfTheFolderIsFoundOnce) {
    three_devices s;
    s.tree.writeFile("dev_7.ini", "[Sources]\n1=a\n");       // not dev_NNN.ini: read by nothing
    s.tree.writeFile("dev_x12.ini", "[Sources]\n1=a\n");     // not a number
    s.tree.writeFile("dev_1234567.ini", "[Sources]\n1=a\n"); // too long to be one
    s.system.findAll();
    std::vector<int> found;
    for (const auto& entry : s.system.devices()) {
        if (entry.second) {
            found.push_back(entry.first);
        }
    }
    EXPECT_EQ(found, (std::vector<int>{3, 20, 30}));
}

TEST(DeviceKinds, TheirScenarioCommandsSitWithTheirRoles) {
    // The reference lists a kind's changes after the events and its expectations after those
    // about panels, kind by kind in the table's order.
    std::vector<std::string> usages;
    for (const scenario_command& c : scenarioCommands()) {
        usages.push_back(c.usage);
    }
    auto at = [&](const char* usage) {
        for (std::size_t i = 0; i < usages.size(); ++i) {
            if (usages[i] == usage) {
                return static_cast<int>(i);
            }
        }
        return -1;
    };
    const char* const inOrder[][2] = {
        {"hostevent", "route DEVICE SOURCE DESTINATION"},
        {"route DEVICE SOURCE DESTINATION", "lock DEVICE DESTINATION"},
        {"lock DEVICE DESTINATION", "unlock DEVICE DESTINATION"},
        {"unlock DEVICE DESTINATION", "write DEVICE SLOT [TEXT]"},
        {"write DEVICE SLOT [TEXT]", "state DEVICE INDEX on"},
        {"state DEVICE INDEX on", "state DEVICE INDEX off"},
        {"state DEVICE INDEX off", "advance MILLISECONDS"},
        {"expect panel PANEL closed", "expect crosspoint DEVICE SOURCE DESTINATION"},
        {"expect crosspoint DEVICE SOURCE DESTINATION", "expect slot DEVICE SLOT [TEXT]"},
        {"expect slot DEVICE SLOT [TEXT]", "expect state DEVICE INDEX on"},
        {"expect state DEVICE INDEX on", "expect state DEVICE INDEX off"},
        {"expect state DEVICE INDEX off", "expect debug TEXT"},
    };
    for (const auto& pair : inOrder) {
        ASSERT_GE(at(pair[0]), 0) << pair[0];
        EXPECT_EQ(at(pair[1]), at(pair[0]) + 1) << pair[0] << " then " << pair[1];
    }
}

TEST(DeviceKinds, TheHostAsksTheDeviceTheLinesOfAFamilyAddress) {
    const struct {
        const char* what;
        int device;
        verb_family family;
        device_change change;
        const char* why; // null: made
        const char* entry;
    } rows[] = {
        {"switch",
         3,
         verb_family::router,
         {2, 1, ""},
         nullptr,
         "router  3: TX (2) now on CAM 1 (1)"},
        {"write", 20, verb_family::i_family, {1, 0, "x"}, nullptr, "device  20: slot 1 now \"x\""},
        {"set", 30, verb_family::g_family, {1, 1, ""}, nullptr, "device  30: index 1 now on"},
        {"no device", 9, verb_family::router, {1, 1, ""}, "the system has no device 9", ""},
        {"a text device for a switch",
         20,
         verb_family::router,
         {1, 1, ""},
         "device 20 is a text device, not a router device",
         ""},
        {"a router for a state",
         3,
         verb_family::g_family,
         {1, 1, ""},
         "device 3 is a router device, not a state device",
         ""},
        {"refused by the device",
         30,
         verb_family::g_family,
         {17, 1, ""},
         "state device 30 has indices 1 to 4; no index 17",
         ""},
    };
    for (const auto& row : rows) {
        three_devices s;
        transcript out(nullptr);
        std::string why;
        {
            emulated_host host(s.system, out);
            EXPECT_EQ(host.change(row.device, row.family, row.change, why), row.why == nullptr)
                << row.what;
        }
        if (row.why != nullptr) {
            EXPECT_EQ(why, row.why) << row.what;
            EXPECT_EQ(out.text().find("now"), std::string::npos) << row.what << ": " << out.text();
        } else {
            EXPECT_NE(out.text().find(row.entry), std::string::npos)
                << row.what << ": " << out.text();
        }
        // The host has gone: the devices no longer tell it anything.
        std::string ignored;
        s.system.find(3)->request({1, 2, ""}, ignored);
    }
}

TEST(DeviceKinds, SizesBeyondTheLimitAreRefusedAndNeverAllocated) {
    const std::string over = std::to_string(maxDatabaseSize + 1);
    const struct {
        const char* what;
        std::string file;
        int line; // of the refused entry; 0 when nothing is refused
    } rows[] = {
        {"router destinations",
         "[Database]\nDatabaseSize_0=2\nDatabaseSize_1=2000000000\n"
         "[Sources]\n1=a\n[Destinations]\n1=b\n",
         3},
        {"router sources by name", "[Sources]\n1=a\n" + over + "=z\n[Destinations]\n1=b\n", 3},
        {"text slots", "[Device]\nkind=text\n[Database]\nDatabaseSize_0=" + over + "\n", 4},
        {"state index", "[Device]\nkind=state\n[States]\n2147483647=on\n", 4},
        {"at the limit", "[Device]\nkind=text\n[Database]\nDatabaseSize_0=65536\n", 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        temp_system_tree tree("studio");
        tree.writeFile("dev_001.ini", row.file);
        std::vector<std::string> refused;
        for (const system_finding& f : checkSystem(tree.root() + "/studio", "")) {
            if (f.refused) {
                refused.push_back(f.text());
            }
        }
        if (row.line == 0) {
            EXPECT_TRUE(refused.empty());
        } else {
            ASSERT_EQ(refused.size(), 1u);
            EXPECT_NE(refused[0].find("dev_001.ini:" + std::to_string(row.line) + ": "),
                      std::string::npos)
                << refused[0];
            EXPECT_NE(refused[0].find("limit of 65536"), std::string::npos) << refused[0];
        }
        system_model system(tree.root() + "/studio");
        const device* d = system.find(1);
        ASSERT_NE(d, nullptr);
        EXPECT_LE(d->size(), maxDatabaseSize);
        const router* r = dynamic_cast<const router*>(d);
        EXPECT_LE(r != nullptr ? r->destinations : 0, maxDatabaseSize);
    }
}
