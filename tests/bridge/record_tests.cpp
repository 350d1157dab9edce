#include <gtest/gtest.h>

#include <string>

#include "buttonNotify.h"
#include "debug_capture.h"
#include "parentNotify.h"
#include "revertiveNotify.h"

namespace {

std::string s(const vesk_string& text) {
    return text.c_str();
}

TEST(Records, ButtonAccessorsCopy) {
    char panel[] = "1";
    decodeCaptionString caption("c=v");
    vesk_host_button event{7, 8, panel, "button", &caption};
    buttonNotify notify(&event);
    vesk_string first = notify.panel();
    panel[0] = '2';
    EXPECT_EQ(s(first), "1");
    EXPECT_EQ(s(notify.panel()), "2");
    EXPECT_EQ(s(notify.id()), "button");
    EXPECT_EQ(s(notify.command()), "c");
    EXPECT_EQ(s(notify.value()), "v");

    vesk_host_button bare{0, 0, "1", "m", nullptr};
    buttonNotify noCaption(&bare);
    EXPECT_EQ(s(noCaption.command()), "");
    EXPECT_EQ(s(noCaption.value()), "");

    vesk_host_button nullTexts{0, 0, nullptr, nullptr, nullptr};
    EXPECT_EQ(s(buttonNotify(&nullTexts).panel()), "");
    EXPECT_EQ(s(buttonNotify(&nullTexts).id()), "");

    buttonNotify none(nullptr);
    EXPECT_EQ(s(none.panel()), "");
    EXPECT_EQ(s(none.id()), "");
    EXPECT_EQ(s(none.command()), "");
    EXPECT_EQ(s(none.value()), "");
}

TEST(Records, RevertiveAccessors) {
    vesk_host_revertive event{5, 99, 12, 98, "7"};
    revertiveNotify notify(&event);
    EXPECT_EQ(notify.device(), 5);
    EXPECT_EQ(notify.index(), 12);
    EXPECT_EQ(s(notify.info()), "7");
    EXPECT_EQ(s(notify.info()), "7");

    vesk_host_revertive noText{-1, 0, -2, 0, nullptr};
    EXPECT_EQ(revertiveNotify(&noText).device(), -1);
    EXPECT_EQ(s(revertiveNotify(&noText).info()), "");

    revertiveNotify none(nullptr);
    EXPECT_EQ(none.device(), 0);
    EXPECT_EQ(none.index(), 0);
    EXPECT_EQ(s(none.info()), "");
}

TEST(Records, ParentAccessors) {
    decodeCaptionString caption("instance=router1");
    parentNotify notify(&caption);
    EXPECT_EQ(s(notify.command()), "instance");
    EXPECT_EQ(s(notify.value()), "router1");
    parentNotify none(nullptr);
    EXPECT_EQ(s(none.command()), "");
    EXPECT_EQ(s(none.value()), "");
}

TEST(Records, DumpLines) {
    debug_capture debug;
    decodeCaptionString plain("c=v");
    vesk_host_button press{0, 0, "1", "button", &plain};
    buttonNotify(&press).dump("barf");
    buttonNotify(&press).dump(nullptr);

    decodeCaptionString subs("x.a.b=y");
    parentNotify(&subs).dump("t");
    parentNotify(&subs).dump(nullptr);

    // Placeholder-like text in any part is written as it stands.
    decodeCaptionString odd("%1.%2=%1");
    vesk_host_button oddPress{0, 0, "%2", "%1", &odd};
    buttonNotify(&oddPress).dump("%1");

    // Nothing to describe: nothing written.
    vesk_host_button noCaption{0, 0, "1", "button", nullptr};
    buttonNotify(&noCaption).dump("barf");
    buttonNotify(nullptr).dump("barf");
    parentNotify(nullptr).dump("barf");

    const std::vector<std::string> expected = {
        "barf: 1:button: c=v", "1:button: c=v", "t: x.a.b=y", "x.a.b=y", "%1: %2:%1: %1.%2=%1",
    };
    EXPECT_EQ(debug.writes(), expected);
}

} // namespace
