// The follow script, driven through its real library as the panel host drives it.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "debug_capture.h"
#include "env_guard.h"
#include "platform.h"
#include "recording_host_link.h"
#include "temp_system_tree.h"
#include "vesk_host_structs.h"

namespace {

using vesk_host::script_library;

using texts = std::vector<std::string>;

// A workstation whose monitor output is destination 7, and a host that knows router1 as
// device 3.
class FollowScript : public ::testing::Test {
protected:
    FollowScript() : library(VIEWTRAIL_LIBRARY) {
        tree.writeConfigDb("[workstation_settings.12]\nmonitor=7\npanel=main\n");
        tree.activate(env);
        env.set("CC_WORKSTATION", "12");
        host.answer("SD 'router1'", "3 0");
        host.answer("SD 'router2'", "4 0");
    }

    void SetUp() override {
        ASSERT_TRUE(library.loaded()) << library.error();
        script.reset(library.create(&host, startup));
        ASSERT_NE(script, nullptr);
    }

    // Gives the parent text and returns the answer (copied, then handed back with
    // VESK_EVENT_RELEASE).
    std::string parent(const char* text) {
        std::string copy = text;
        char* answer = script->callback(&copy[0], VESK_EVENT_PARENT);
        if (answer == nullptr) {
            return "(none)";
        }
        std::string result = answer;
        script->callback(answer, VESK_EVENT_RELEASE);
        return result;
    }

    void press(const char* panel, const char* id, const char* caption = "press=1") {
        decodeCaptionString decoded(caption);
        vesk_host_button button{0, 0, panel, id, &decoded};
        script->callback(reinterpret_cast<char*>(&button), VESK_EVENT_BUTTON);
    }

    void revertive(int device, int index, const char* text, int kind = VESK_EVENT_REVERTIVE) {
        vesk_host_revertive event{device, 0, index, 0, text};
        script->callback(reinterpret_cast<char*>(&event), kind);
    }

    void timer(int id) {
        script->callback(reinterpret_cast<char*>(static_cast<std::intptr_t>(id)), VESK_EVENT_TIMER);
    }

    texts sent() { return host.takeLines(); }

    temp_system_tree tree;
    env_guard env;
    recording_host_link host;
    script_library library;
    const char* startup = "";
    std::unique_ptr<vesk_client_callback> script;
};

TEST_F(FollowScript, WholeLifeByteForByte) {
    debug_capture debug;
    EXPECT_EQ(sent(), texts{});

    EXPECT_EQ(parent("panel=main"), "(none)");
    EXPECT_EQ(sent(), (texts{"PD '1'", "PS '1' 'main'"}));

    EXPECT_EQ(parent("instance=router1"), "(none)");
    EXPECT_EQ(sent(), (texts{"SD 'router1'", "RR 3 7 7", "RP 3 7 7"}));

    parent("source=12");
    EXPECT_EQ(sent(), texts{});

    press("1", "button");
    EXPECT_EQ(sent(), (texts{"RC 3 12 7 ',' 0", "TP 'stylesheet=view_trailing' '1' 'button'"}));

    revertive(3, 7, "CAM 12");
    EXPECT_EQ(sent(), texts{"TP 'text=CAM 12' '1' 'tally'"});

    parent("source=5");
    EXPECT_EQ(sent(), texts{"RC 3 5 7 ',' 0"});

    press("1", "m");
    EXPECT_EQ(sent(), texts{"RC 3 5 7 ',' 0"});

    press("1", "button");
    EXPECT_EQ(sent(), texts{"TP 'stylesheet=view_nottrailing' '1' 'button'"});

    script.reset();
    EXPECT_EQ(sent(), texts{"AS"});
    EXPECT_TRUE(host.eachReplyReleasedOnce());

    const texts expectedDebug = {
        "barf: panel=main",        "barf: instance=router1", "barf: source=12",
        "barf: 1:button: press=1", "barf: source=5",         "barf: 1:m: press=1",
        "barf: 1:button: press=1",
    };
    EXPECT_EQ(debug.writes(), expectedDebug);
}

TEST_F(FollowScript, ParentQueriesAndParameters) {
    EXPECT_EQ(parent("return=all"), "panel=\nsource=0");
    EXPECT_EQ(parent("return=panel"), "(none)");
    EXPECT_EQ(parent("return"), "(none)");
    parent("panel=main");
    parent("source=12");
    EXPECT_EQ(parent("return=all"), "panel=main\nsource=12");
    EXPECT_EQ(parent("_commands"), "panel=viewTrail | m | tally\nsource=[value]");
    EXPECT_EQ(parent("_events"), "(none)");
    EXPECT_EQ(parent("size=3"), "(none)");
    EXPECT_EQ(parent(""), "(none)");
    sent();

    // An empty instance on a fresh script equals the stored (empty) name: nothing happens.
    parent("instance");
    parent("instance=");
    EXPECT_EQ(sent(), texts{});

    parent("instance=router1");
    parent("instance=router1");
    EXPECT_EQ(sent(), (texts{"SD 'router1'", "RR 3 7 7", "RP 3 7 7"}));
    // A new instance registers again; the old registration stays.
    parent("instance=router2");
    EXPECT_EQ(sent(), (texts{"SD 'router2'", "RR 4 7 7", "RP 4 7 7"}));
    // An instance the host does not know: device 0, lines sent all the same.
    parent("instance=nowhere");
    EXPECT_EQ(sent(), (texts{"SD 'nowhere'", "RR 0 7 7", "RP 0 7 7"}));

    // Every "panel" closes and reopens panel 1, even with the same or an empty name.
    parent("panel=main");
    parent("panel=main");
    parent("panel");
    EXPECT_EQ(sent(),
              (texts{"PD '1'", "PS '1' 'main'", "PD '1'", "PS '1' 'main'", "PD '1'", "PS '1' ''"}));
    EXPECT_TRUE(host.eachReplyReleasedOnce());
}

TEST_F(FollowScript, SourceAndButtons) {
    parent("instance=router1");
    sent();
    parent("source=5");
    EXPECT_EQ(sent(), texts{});
    press("1", "m");
    EXPECT_EQ(sent(), texts{"RC 3 5 7 ',' 0"});
    press("1", "button");
    EXPECT_EQ(sent(), (texts{"RC 3 5 7 ',' 0", "TP 'stylesheet=view_trailing' '1' 'button'"}));
    parent("source=-2");
    EXPECT_EQ(sent(), texts{"RC 3 -2 7 ',' 0"});
    parent("source=abc");
    EXPECT_EQ(sent(), texts{"RC 3 0 7 ',' 0"});

    debug_capture debug;
    press("2", "button");
    press("2", "m");
    press("01", "button");
    EXPECT_EQ(sent(), texts{});
    EXPECT_EQ(debug.writes(),
              (texts{"barf: 2:button: press=1", "barf: 2:m: press=1", "barf: 01:button: press=1"}));
    press("1", "other");
    press("1", "Button");
    EXPECT_EQ(sent(), texts{});

    // A press without a caption is handled like any other; only its debug line is missing.
    debug.clear();
    vesk_host_button bare{0, 0, "1", "button", nullptr};
    script->callback(reinterpret_cast<char*>(&bare), VESK_EVENT_BUTTON);
    EXPECT_EQ(sent(), texts{"TP 'stylesheet=view_nottrailing' '1' 'button'"});
    EXPECT_EQ(debug.writes(), texts{});
}

TEST_F(FollowScript, ButtonsBeforeAnyParameter) {
    press("1", "button");
    EXPECT_EQ(sent(), (texts{"RC 0 0 7 ',' 0", "TP 'stylesheet=view_trailing' '1' 'button'"}));
    press("1", "button");
    EXPECT_EQ(sent(), texts{"TP 'stylesheet=view_nottrailing' '1' 'button'"});
}

TEST_F(FollowScript, TallyShowsOnlyTheMonitor) {
    // Before any instance the router is device 0.
    revertive(0, 7, "early");
    EXPECT_EQ(sent(), texts{"TP 'text=early' '1' 'tally'"});
    parent("instance=router1");
    sent();
    revertive(3, 7, "CAM 2");
    revertive(3, 8, "CAM 3");
    revertive(4, 7, "CAM 4");
    revertive(3, 7, "");
    revertive(3, 7, "it's %1");
    revertive(3, 7, "CAM 9", VESK_EVENT_SECONDARY_REVERTIVE);
    EXPECT_EQ(sent(), (texts{"TP 'text=CAM 2' '1' 'tally'", "TP 'text=' '1' 'tally'",
                             "TP 'text=it's %1' '1' 'tally'"}));
}

TEST_F(FollowScript, TimersAreStoppedAndOtherEventsIgnored) {
    timer(1);
    timer(9);
    timer(-1);
    int hostEvent = 0;
    script->callback(reinterpret_cast<char*>(&hostEvent), VESK_EVENT_HOST);
    script->callback(nullptr, VESK_EVENT_HOST);
    script->callback(nullptr, 0); // not an event kind
    script->callback(nullptr, VESK_EVENT_HOST + 1);
    EXPECT_EQ(sent(), (texts{"ET 1", "ET 9", "ET -1"}));
}

TEST_F(FollowScript, NullArgumentsNeverCrash) {
    for (int kind : {VESK_EVENT_REVERTIVE, VESK_EVENT_BUTTON, VESK_EVENT_PARENT, VESK_EVENT_RELEASE,
                     VESK_EVENT_SECONDARY_REVERTIVE, VESK_EVENT_HOST}) {
        EXPECT_EQ(script->callback(nullptr, kind), nullptr);
    }
    // A null revertive reads as device 0, index 0: not the monitor.
    EXPECT_EQ(sent(), texts{});
}

TEST(FollowScriptWithout, LinkOrSettings) {
    temp_system_tree tree;
    env_guard env;
    tree.activate(env);
    env.unset("CC_WORKSTATION");
    script_library library(VIEWTRAIL_LIBRARY);
    ASSERT_TRUE(library.loaded()) << library.error();

    // Without a link everything works and nothing is sent anywhere.
    std::unique_ptr<vesk_client_callback> unlinked(library.create(nullptr, nullptr));
    ASSERT_NE(unlinked, nullptr);
    std::string text = "instance=router1";
    unlinked->callback(&text[0], VESK_EVENT_PARENT);
    decodeCaptionString caption("p=1");
    vesk_host_button button{0, 0, "1", "button", &caption};
    unlinked->callback(reinterpret_cast<char*>(&button), VESK_EVENT_BUTTON);
    unlinked.reset();

    // No monitor setting: the monitor is destination 0.
    recording_host_link host;
    std::unique_ptr<vesk_client_callback> script(library.create(&host, "panels"));
    text = "panel=main";
    script->callback(&text[0], VESK_EVENT_PARENT);
    text = "instance=x";
    script->callback(&text[0], VESK_EVENT_PARENT);
    script.reset();
    EXPECT_EQ(host.lines(),
              (texts{"PD '1'", "PS '1' 'panels/main'", "SD 'x'", "RR 0 0 0", "RP 0 0 0", "AS"}));
}

TEST(FollowScriptLibrary, StartupIsCopiedAndScriptsAreIndependent) {
    temp_system_tree tree;
    env_guard env;
    tree.activate(env);
    script_library library(VIEWTRAIL_LIBRARY);
    ASSERT_TRUE(library.loaded()) << library.error();
    recording_host_link first, second;
    char startup[] = "panels";
    std::unique_ptr<vesk_client_callback> a(library.create(&first, startup));
    std::strcpy(startup, "other!");
    std::unique_ptr<vesk_client_callback> b(library.create(&second, startup));
    std::string text = "panel=main";
    a->callback(&text[0], VESK_EVENT_PARENT);
    b->callback(&text[0], VESK_EVENT_PARENT);
    EXPECT_EQ(first.lines(), (texts{"PD '1'", "PS '1' 'panels/main'"}));
    EXPECT_EQ(second.lines(), (texts{"PD '1'", "PS '1' 'other!/main'"}));
}

} // namespace
