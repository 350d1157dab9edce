#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "debug_capture.h"
#include "decodeCaptionString.h"
#include "decodeVESKString.h"

namespace {

using texts = std::vector<std::string>;

texts subsOf(const decodeCaptionString& d) {
    texts out;
    for (int i = 0; i < d.subCount; ++i) {
        out.emplace_back(d.subs[i]);
    }
    return out;
}

texts tokensOf(const decodeVESKString& d) {
    texts out;
    for (int i = 0; i < d.count; ++i) {
        out.emplace_back(d.tokens[i]);
    }
    return out;
}

std::string words(int n, const char* separator) {
    std::string out;
    for (int i = 1; i <= n; ++i) {
        out += (i > 1 ? separator : "") + std::string("w") + std::to_string(i);
    }
    return out;
}

TEST(CaptionDecoder, FieldsOfCaptions) {
    struct row {
        const char* caption;
        const char* command;
        texts subs;
        const char* value;
        bool hasValue;
    };
    const row rows[] = {
        {"panel=viewTrail", "panel", {}, "viewTrail", true},
        {"instance", "instance", {}, "", false},
        {"a.b.c=v", "a", {"b", "c"}, "v", true},
        {"x=y=z.w", "x", {}, "y=z.w", true},
        {".y", "", {"y"}, "", false},
        {"=", "", {}, "", true},
        {"a.", "a", {""}, "", false},
        {"a..=", "a", {"", ""}, "", true},
        {"...", "", {"", "", ""}, "", false},
        {"==..", "", {}, "=..", true},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.caption);
        decodeCaptionString d(r.caption);
        EXPECT_STREQ(d.command, r.command);
        EXPECT_EQ(subsOf(d), r.subs);
        EXPECT_STREQ(d.value, r.value);
        EXPECT_EQ(d.hasValue, r.hasValue);
        for (int i = d.subCount; i < decodeCaptionString::maxSubs; ++i) {
            ASSERT_NE(d.subs[i], nullptr);
            EXPECT_STREQ(d.subs[i], "");
        }
    }
}

TEST(CaptionDecoder, EmptyInputAllocatesNothing) {
    for (const char* caption : {static_cast<const char*>(nullptr), ""}) {
        decodeCaptionString d(caption);
        EXPECT_EQ(d.text, nullptr);
        EXPECT_STREQ(d.command, "");
        EXPECT_STREQ(d.value, "");
        EXPECT_EQ(d.subCount, 0);
        EXPECT_FALSE(d.hasValue);
    }
}

TEST(CaptionDecoder, StopsAtThirtyTwoSubs) {
    for (int subs : {0, 31, 32, 33, 200}) {
        SCOPED_TRACE(subs);
        std::string caption = "cmd" + (subs ? "." + words(subs, ".") : std::string()) + "=v";
        decodeCaptionString d(caption.c_str());
        EXPECT_EQ(d.subCount, subs < 32 ? subs : 32);
        EXPECT_STREQ(d.command, "cmd");
        if (subs <= 31) {
            EXPECT_STREQ(d.value, "v");
            EXPECT_TRUE(d.hasValue);
        } else {
            // The rest, "=" included, stays in the 32nd sub.
            std::string rest = words(subs, ".").substr(words(31, ".").size() + 1) + "=v";
            EXPECT_STREQ(d.subs[31], rest.c_str());
            EXPECT_FALSE(d.hasValue);
            EXPECT_STREQ(d.value, "");
        }
    }
}

TEST(CaptionDecoder, CopiesOwnTheirText) {
    for (const char* caption : {"a.b.c=v", "panel", "", "x=", ".", "c.d=e.f=g"}) {
        SCOPED_TRACE(caption);
        auto original = std::make_unique<decodeCaptionString>(caption);
        decodeCaptionString copy(*original);
        decodeCaptionString assigned("other.thing=1");
        assigned = *original;
        original.reset();
        decodeCaptionString fresh(caption);
        for (const decodeCaptionString* d : {&copy, &assigned}) {
            EXPECT_STREQ(d->command, fresh.command);
            EXPECT_EQ(subsOf(*d), subsOf(fresh));
            EXPECT_STREQ(d->value, fresh.value);
            EXPECT_EQ(d->hasValue, fresh.hasValue);
        }
    }
    std::string many = "c." + words(40, ".") + "=v";
    decodeCaptionString full(many.c_str());
    decodeCaptionString copy(full);
    EXPECT_EQ(subsOf(copy), subsOf(full));
    EXPECT_NE(copy.text, full.text);
}

TEST(CaptionDecoder, DumpAndRebuild) {
    debug_capture debug;
    decodeCaptionString("a.b.c.d.e.f=v").dump();
    decodeCaptionString("x").dump();
    decodeCaptionString broken("x");
    broken.subs[2] = nullptr;
    broken.dump();
    ASSERT_EQ(debug.writes().size(), 3u);
    EXPECT_EQ(debug.writes()[0], "Command: a\nSub 0: b\nSub 1: c\nSub 2: d\nSub 3: e\nValue: v\n");
    EXPECT_EQ(debug.writes()[1], "Command: x\nSub 0: \nSub 1: \nSub 2: \nSub 3: \nValue: \n");
    EXPECT_EQ(debug.writes()[2], "decodeCaptionString not valid");
    broken.subs[2] = broken.subs[3];

    // An overlong dump is cut at its buffer, never written past it.
    std::string huge(5000, 'h');
    decodeCaptionString(("c=" + huge).c_str()).dump();
    EXPECT_EQ(debug.writes()[3].size(), 1023u);

    char buffer[64];
    EXPECT_STREQ(decodeCaptionString("a.b.c=v").rebuild(buffer), "a.b.c=v");
    EXPECT_STREQ(decodeCaptionString("instance").rebuild(buffer), "instance=");
    EXPECT_STREQ(decodeCaptionString("").rebuild(buffer), "=");
}

TEST(ReplyDecoder, TokensOfReplies) {
    struct row {
        const char* reply;
        texts tokens;
    };
    const row rows[] = {
        {"12 'two words' 3", {"12", "two words", "3"}},
        {"a  b", {"a", "b"}},
        {"a '' b", {"a", "", "b"}},
        {"'x' 5", {"", "x", "5"}},
        {" a", {"", "a"}},
        {"'a'b", {"", "a", "b"}},
        {"7 40", {"7", "40"}},
        {"7", {"7"}},
        {"12 100 5 2 'main out'", {"12", "100", "5", "2", "main out"}},
        {"'unclosed quote", {"", "unclosed quote"}},
        {"a 'b c", {"a", "b c"}},
        {"''", {"", ""}},
        {"a ", {"a"}},
        {"x''y", {"x", "", "y"}},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.reply);
        decodeVESKString d(r.reply, '\'');
        EXPECT_EQ(tokensOf(d), r.tokens);
        for (int i = d.count; i < decodeVESKString::maxTokens; ++i) {
            ASSERT_NE(d.tokens[i], nullptr);
            EXPECT_STREQ(d.tokens[i], "");
        }
    }
}

TEST(ReplyDecoder, EmptyAndLimits) {
    for (const char* reply : {static_cast<const char*>(nullptr), ""}) {
        decodeVESKString d(reply, '\'');
        EXPECT_EQ(d.count, 0);
        EXPECT_EQ(d.text, nullptr);
        EXPECT_STREQ(d.tokens[0], "");
    }
    for (int n : {31, 32, 33, 100}) {
        SCOPED_TRACE(n);
        decodeVESKString d(words(n, " ").c_str(), '\'');
        EXPECT_EQ(d.count, n < 32 ? n : 32);
        EXPECT_STREQ(d.tokens[d.count - 1], ("w" + std::to_string(d.count)).c_str());
    }
}

TEST(ReplyDecoder, CopiesOwnTheirTextAndSayItOnce) {
    debug_capture debug;
    auto original = std::make_unique<decodeVESKString>("12 'two words' 3", '\'');
    decodeVESKString copy(*original);
    EXPECT_EQ(debug.text(), "copy con VESKstr");
    decodeVESKString assigned("z", '"');
    assigned = *original;
    original.reset();
    EXPECT_EQ(tokensOf(copy), (texts{"12", "two words", "3"}));
    EXPECT_EQ(tokensOf(assigned), (texts{"12", "two words", "3"}));
    EXPECT_EQ(assigned.quote, '\'');

    decodeVESKString empty(nullptr, '\'');
    decodeVESKString emptyCopy(empty);
    EXPECT_EQ(emptyCopy.count, 0);
    EXPECT_EQ(emptyCopy.text, nullptr);

    decodeVESKString full(words(40, " ").c_str(), '\'');
    decodeVESKString fullCopy(full);
    EXPECT_EQ(tokensOf(fullCopy), tokensOf(full));
}

} // namespace
