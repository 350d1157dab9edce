#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "debug_capture.h"
#include "recording_host_link.h"
#include "test_script.h"

namespace {

using texts = std::vector<std::string>;

char* asArgument(const void* structure) {
    return const_cast<char*>(static_cast<const char*>(structure));
}

char* parentText(const char* text) {
    return const_cast<char*>(text);
}

TEST(Lifetime, DestructorSendsAsLastWithLinkOnly) {
    recording_host_link host;
    {
        test_script script(&host, "panels");
        EXPECT_TRUE(host.lines().empty());
        sendCommand(&script, "RP 1 2 3");
    }
    EXPECT_EQ(host.lines(), (texts{"RP 1 2 3", "AS"}));
    EXPECT_TRUE(host.eachReplyReleasedOnce());

    // No link: nothing to send to, and nothing breaks.
    { test_script script(nullptr, "panels"); }

    // Destruction through the host's view of the object.
    recording_host_link other;
    std::unique_ptr<vesk_client_callback> asHostSeesIt(new test_script(&other));
    asHostSeesIt.reset();
    EXPECT_EQ(other.lines(), texts{"AS"});
}

TEST(Lifetime, StartupIsCopiedAndAlarmHandlingOff) {
    recording_host_link host;
    char startup[] = "panels\\main";
    test_script script(&host, startup);
    std::strcpy(startup, "changed");
    EXPECT_STREQ(script.startup.c_str(), "panels\\main");
    EXPECT_FALSE(script.alarmHandling);
    EXPECT_EQ(script.link, &host);

    test_script noStartup(&host, nullptr);
    EXPECT_STREQ(noStartup.startup.c_str(), "");
}

TEST(Dispatch, EveryKindReachesItsHandler) {
    recording_host_link host;
    test_script script(&host);

    vesk_host_revertive revertive{3, 0, 7, 0, "CAM 12"};
    decodeCaptionString caption("c=v");
    vesk_host_button button{0, 0, "1", "button", &caption};
    int hostStructure = 42;

    EXPECT_EQ(script.callback(asArgument(&revertive), VESK_EVENT_REVERTIVE), nullptr);
    EXPECT_EQ(script.callback(asArgument(&button), VESK_EVENT_BUTTON), nullptr);
    EXPECT_EQ(script.callback(parentText("instance=router1"), VESK_EVENT_PARENT), nullptr);
    EXPECT_EQ(script.callback(reinterpret_cast<char*>(std::intptr_t{1}), VESK_EVENT_TIMER),
              nullptr);
    EXPECT_EQ(script.callback(reinterpret_cast<char*>(std::intptr_t{-9}), VESK_EVENT_TIMER),
              nullptr);
    EXPECT_EQ(script.callback(asArgument(&revertive), VESK_EVENT_SECONDARY_REVERTIVE), nullptr);
    EXPECT_EQ(script.callback(asArgument(&hostStructure), VESK_EVENT_HOST), nullptr);

    const texts expected = {
        "revertive 3:7:CAM 12",
        "button 1:button:c=v",
        "parent instance=router1",
        "timer 1",
        "timer -9",
        "secondary 3:7:CAM 12",
        "host",
    };
    EXPECT_EQ(script.events, expected);
    EXPECT_TRUE(host.lines().empty());
}

TEST(Dispatch, UnknownKindsAndNullArgumentsAreHarmless) {
    test_script script(nullptr);
    // Outside the event kinds: 0 is what a script sends its link, not an event.
    for (int kind : {0, VESK_EVENT_HOST + 1, 9, 100, -1, -5, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(script.callback(parentText("x=y"), kind), nullptr);
    }
    EXPECT_TRUE(script.events.empty());

    for (int kind : {VESK_EVENT_REVERTIVE, VESK_EVENT_BUTTON, VESK_EVENT_PARENT, VESK_EVENT_RELEASE,
                     VESK_EVENT_SECONDARY_REVERTIVE, VESK_EVENT_HOST}) {
        EXPECT_EQ(script.callback(nullptr, kind), nullptr);
    }
    const texts expected = {"revertive 0:0:", "button ::=", "parent =", "secondary 0:0:", "host"};
    EXPECT_EQ(script.events, expected);
}

TEST(Dispatch, ParentAnswersAreFreshBlocksFreedOnRelease) {
    test_script script(nullptr);
    script.onParent = [](parentNotify* notify) {
        return notify->command() == "return" ? vesk_string("panel=main\nsrc1") : vesk_string();
    };
    char* answer = script.callback(parentText("return=all"), VESK_EVENT_PARENT);
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(std::strlen(answer), 15u);
    EXPECT_STREQ(answer, "panel=main\nsrc1");
    char* second = script.callback(parentText("return=all"), VESK_EVENT_PARENT);
    EXPECT_NE(second, answer);
    EXPECT_EQ(script.callback(answer, VESK_EVENT_RELEASE), nullptr);
    EXPECT_EQ(script.callback(second, VESK_EVENT_RELEASE), nullptr);

    EXPECT_EQ(script.callback(parentText("_events"), VESK_EVENT_PARENT), nullptr);
    EXPECT_EQ(script.callback(parentText(""), VESK_EVENT_PARENT), nullptr);
    EXPECT_EQ(script.callback(nullptr, VESK_EVENT_RELEASE), nullptr);
}

TEST(Dispatch, NothingThrownByAHandlerEscapes) {
    recording_host_link host;
    test_script script(&host);
    script.onAnyEvent = [] { throw std::runtime_error("handler failed"); };
    vesk_host_revertive revertive{3, 0, 7, 0, "x"};
    decodeCaptionString caption("c=v");
    vesk_host_button button{0, 0, "1", "button", &caption};
    EXPECT_EQ(script.callback(asArgument(&revertive), VESK_EVENT_REVERTIVE), nullptr);
    EXPECT_EQ(script.callback(asArgument(&button), VESK_EVENT_BUTTON), nullptr);
    EXPECT_EQ(script.callback(parentText("a=b"), VESK_EVENT_PARENT), nullptr);
    EXPECT_EQ(script.callback(reinterpret_cast<char*>(std::intptr_t{3}), VESK_EVENT_TIMER),
              nullptr);
    EXPECT_EQ(script.callback(asArgument(&revertive), VESK_EVENT_SECONDARY_REVERTIVE), nullptr);
    EXPECT_EQ(script.callback(nullptr, VESK_EVENT_HOST), nullptr);

    script.onAnyEvent = [] { throw std::bad_alloc(); };
    EXPECT_EQ(script.callback(parentText("a=b"), VESK_EVENT_PARENT), nullptr);
    EXPECT_TRUE(script.events.empty());
}

// A dropped event says so: one debugger line naming the handler and the exception.
TEST(Dispatch, AThrowingHandlerIsReportedOnce) {
    recording_host_link host;
    test_script script(&host);
    vesk_host_revertive revertive{3, 0, 7, 0, "x"};
    vesk_host_button button{0, 0, "1", "button", nullptr};
    const std::string prefix = VESK_HANDLER_EXCEPTION_PREFIX;
    const struct {
        int kind;
        char* argument;
        std::function<void()> fault;
        std::string line;
    } cases[] = {
        {VESK_EVENT_REVERTIVE, asArgument(&revertive),
         [] { throw std::runtime_error("no router"); }, prefix + "revertiveCallback: no router\n"},
        {VESK_EVENT_BUTTON, asArgument(&button), [] { throw 42; },
         prefix + "buttonCallback: unknown exception\n"},
        {VESK_EVENT_PARENT, parentText("a=b"), [] { throw std::bad_alloc(); },
         prefix + "parentCallback: " + std::bad_alloc().what() + "\n"},
        {VESK_EVENT_TIMER, nullptr, [] { throw std::logic_error(""); },
         prefix + "timerCallback: \n"},
        {VESK_EVENT_SECONDARY_REVERTIVE, asArgument(&revertive),
         [] { throw std::runtime_error("x"); }, prefix + "secondaryRevertiveCallback: x\n"},
        {VESK_EVENT_HOST, nullptr, [] { throw std::runtime_error("y"); },
         prefix + "hostCallback: y\n"},
    };
    for (const auto& c : cases) {
        debug_capture debug;
        script.onAnyEvent = c.fault;
        EXPECT_EQ(script.callback(c.argument, c.kind), nullptr);
        EXPECT_EQ(debug.writes(), texts{c.line}) << "kind " << c.kind;
    }

    // A long what() is cut; the line still ends.
    debug_capture debug;
    std::string longText(2000, 'w');
    script.onAnyEvent = [&] { throw std::runtime_error(longText); };
    script.callback(nullptr, VESK_EVENT_TIMER);
    ASSERT_EQ(debug.writes().size(), 1u);
    EXPECT_EQ(debug.writes()[0].size(), 511u);
    EXPECT_EQ(debug.writes()[0].back(), '\n');
    EXPECT_TRUE(host.lines().empty());
}

TEST(Dispatch, AlarmButtonsGoToTheScriptWhileHandlingIsOff) {
    test_script script(nullptr);
    decodeCaptionString alarm("alarm=ack");
    decodeCaptionString other("press=1");
    vesk_host_button actionAll{0, 0, "1", "ActionAll", &alarm};
    vesk_host_button actionOther{0, 0, "1", "ActionAll", &other};
    vesk_host_button ackAll{0, 0, "1", "AckAll", nullptr};
    for (vesk_host_button* b : {&actionAll, &actionOther, &ackAll}) {
        script.callback(asArgument(b), VESK_EVENT_BUTTON);
    }
    const texts expected = {"button 1:ActionAll:alarm=ack", "button 1:ActionAll:press=1",
                            "button 1:AckAll:="};
    EXPECT_EQ(script.events, expected);
}

TEST(Channel, SendReadReleasesExactlyOnce) {
    recording_host_link host;
    host.answer("Q", "reply");
    test_script script(&host);
    {
        auto reply = script.sendRead("Q 1");
        EXPECT_STREQ(reply.text(), "reply");
    }
    {
        auto reply = script.sendRead("Q 2");
        reply.release();
        EXPECT_EQ(reply.text(), nullptr);
        reply.release();
    }
    {
        auto nothing = script.sendRead("none", true);
        EXPECT_EQ(nothing.text(), nullptr);
    }
    EXPECT_EQ(host.releasesOfNull(), 1);
    { auto nullNotReleased = script.sendRead("none"); }
    EXPECT_EQ(host.releasesOfNull(), 1);
    EXPECT_TRUE(host.eachReplyReleasedOnce());

    host.acknowledge("T");
    EXPECT_TRUE(script.sendTested("T", false));
    EXPECT_FALSE(script.sendTested("none", true));
    test_script unlinked(nullptr);
    EXPECT_TRUE(unlinked.sendTested("T", true));
    EXPECT_FALSE(unlinked.sendTested("T", false));
    EXPECT_EQ(unlinked.sendRead("Q", true).text(), nullptr);

    sendCommand(&script, "XX 'a%1'");
    sendCommand(&unlinked, "XX");
    sendCommand(nullptr, "XX");
    EXPECT_EQ(host.lines().back(), "XX 'a%1'");
    EXPECT_TRUE(host.eachReplyReleasedOnce());
}

} // namespace
