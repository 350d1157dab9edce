#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "vesk_string.h"

namespace {

std::string str(const vesk_string& s) {
    return std::string(s.c_str(), static_cast<std::size_t>(s.length()));
}

TEST(String, ConstructionAndCopiesAreIndependent) {
    EXPECT_EQ(str(vesk_string()), "");
    EXPECT_EQ(str(vesk_string(static_cast<const char*>(nullptr))), "");
    EXPECT_EQ(str(vesk_string("abc")), "abc");

    char host[] = "panels";
    vesk_string copy(host);
    host[0] = 'X';
    EXPECT_EQ(str(copy), "panels");

    std::string longText(500, 'q');
    vesk_string a(longText.c_str());
    vesk_string b(a);
    b += "!";
    EXPECT_EQ(str(a), longText);
    EXPECT_EQ(str(b), longText + "!");

    vesk_string moved(static_cast<vesk_string&&>(b));
    EXPECT_EQ(str(moved), longText + "!");
    EXPECT_EQ(b.length(), 0);

    vesk_string self("x");
    vesk_string& alias = self;
    self = alias;
    self += self;
    self += self;
    EXPECT_EQ(str(self), "xxxx");
    self = static_cast<const char*>(nullptr);
    EXPECT_EQ(str(self), "");
}

TEST(String, NumberForms) {
    struct row {
        int number;
        char fill;
        unsigned width;
        int radix;
        const char* text;
    };
    const row rows[] = {
        {1, 0, 0, 10, "1"},
        {4, 0, 0, 10, "4"},
        {-17, 0, 0, 10, "-17"},
        {INT_MIN, 0, 0, 10, "-2147483648"},
        {INT_MAX, 0, 0, 10, "2147483647"},
        {255, 0, 0, 16, "ff"},
        {-255, 0, 0, 16, "-ff"},
        {INT_MIN, 0, 0, 2, "-10000000000000000000000000000000"},
        {5, 0, 3, 10, "  5"},
        {5, '0', 3, 10, "005"},
        {-5, '0', 4, 10, "-005"},
        {-5, '*', 4, 10, "**-5"},
        {12345, '0', 2, 10, "12345"},
        {7, 0, 0, 99, "7"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.text);
        EXPECT_EQ(str(vesk_string(r.number, r.fill, r.width, r.radix)), r.text);
        EXPECT_EQ(str(vesk_string("<%1>").arg(r.number, r.fill, r.width, r.radix)),
                  std::string("<") + r.text + ">");
    }
    // A silly width is clamped rather than allocating without end.
    EXPECT_EQ(vesk_string(1, 0, 4000000000u, 10).length(), 1024);
}

TEST(String, ArgFillsLowestPlaceholderInOrder) {
    EXPECT_EQ(str(vesk_string("RN %1 %2 %3").arg(1).arg(2).arg(3)), "RN 1 2 3");
    EXPECT_EQ(str(vesk_string("%2 then %1").arg("a").arg("b")), "b then a");
    EXPECT_EQ(str(vesk_string("%1 and %1").arg("x")), "x and x");
    EXPECT_EQ(str(vesk_string("no places").arg("x")), "no places");
    EXPECT_EQ(str(vesk_string("'%1'").arg(static_cast<const char*>(nullptr))), "''");
    EXPECT_EQ(str(vesk_string("%0 %1 %10").arg("a")), "%0 a a0");
    EXPECT_EQ(str(vesk_string("100% %1").arg("sure")), "100% sure");
    EXPECT_EQ(str(vesk_string("%").arg("x")), "%");
    EXPECT_EQ(str(vesk_string("%1%2").arg("a").arg("b")), "ab");
}

TEST(String, ArgNeverSubstitutesIntoInsertedText) {
    EXPECT_EQ(str(vesk_string("SS '%1' '%2'").arg("a%1").arg("b")), "SS 'a%1' 'b'");
    EXPECT_EQ(str(vesk_string("SS '%1' '%2'").arg("%2").arg("b")), "SS '%2' 'b'");
    EXPECT_EQ(str(vesk_string("%1 %2").arg("%1%2%3").arg("x").arg("y")), "%1%2%3 x");
    // A trailing '%' of an argument does not pair with the format's next digit...
    EXPECT_EQ(str(vesk_string("%13 %2").arg("50%").arg("z")), "50%3 z");
    // ...nor a format '%' with a digit the argument brings or with the digit after an empty one.
    EXPECT_EQ(str(vesk_string("%%1 %2").arg("2").arg("z")), "%2 z");
    EXPECT_EQ(str(vesk_string("%%12 %3").arg("").arg("z")), "%2 z");

    // The marks survive copies, concatenation and splitting.
    vesk_string step = vesk_string("%1=%2").arg("k%2");
    vesk_string copy = step;
    EXPECT_EQ(str(copy.arg("v")), "k%2=v");
    vesk_string joined = vesk_string("[") + step;
    EXPECT_EQ(str(joined.arg("v")), "[k%2=v");
    vesk_string left, right;
    EXPECT_EQ(step.split('=', left, right), 3);
    EXPECT_EQ(str(left.arg("v")), "k%2");
    EXPECT_EQ(str(right.arg("v")), "v");
    // Plain assignment of text starts afresh.
    copy = "k%2";
    EXPECT_EQ(str(copy.arg("v")), "kv");

    // A digit that arg() inserted stays literal when a join puts a '%' before it.
    vesk_string number = vesk_string("%1").arg(1);
    EXPECT_EQ(str((vesk_string("%") + number).arg("q")), "%1");
    vesk_string percent("50%");
    percent += number;
    EXPECT_EQ(str(percent.arg("q")), "50%1");
}

TEST(String, ArgOnLongTextsAndMany) {
    std::string big(1000, 'a');
    vesk_string line = vesk_string("TP '%1' '%2' '%3'").arg(big.c_str()).arg("1").arg("tally");
    EXPECT_EQ(str(line), "TP '" + big + "' '1' 'tally'");
    vesk_string format("%1%2%3%4%5%6%7%8%9");
    for (int i = 1; i <= 9; ++i) {
        format = format.arg(vesk_string("<%") + i + ">");
    }
    EXPECT_EQ(str(format), "<%1><%2><%3><%4><%5><%6><%7><%8><%9>");
}

TEST(String, ToIntFollowsAtoiAndSaturates) {
    const std::pair<const char*, int> rows[] = {
        {"12", 12},
        {"7x", 7},
        {"x7", 0},
        {"", 0},
        {"  -42", -42},
        {"+3", 3},
        {"\t\n 9", 9},
        {"- 1", 0},
        {"12abc", 12},
        {"2147483647", INT_MAX},
        {"2147483648", INT_MAX},
        {"-2147483648", INT_MIN},
        {"-99999999999999999999", INT_MIN},
        {"00012", 12},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.first);
        EXPECT_EQ(vesk_string(row.first).toInt(), row.second);
        EXPECT_EQ(static_cast<int>(vesk_string(row.first)), row.second);
    }
}

TEST(String, SplitAtFirstSeparator) {
    struct row {
        const char* text;
        char sep;
        const char* left;
        const char* right;
        int position;
    };
    const row rows[] = {
        {"value=3", '=', "value", "3", 5},
        {"a=b=c", '=', "a", "b=c", 1},
        {"novalue", '=', "novalue", "", -1},
        {"=x", '=', "", "x", 0},
        {"x=", '=', "x", "", 1},
        {"", '=', "", "", -1},
        {"12.34", '.', "12", "34", 2},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.text);
        vesk_string left("old"), right("old");
        EXPECT_EQ(vesk_string(r.text).split(r.sep, left, right), r.position);
        EXPECT_EQ(str(left), r.left);
        EXPECT_EQ(str(right), r.right);
    }
    vesk_string both("k=v");
    vesk_string rest;
    both.split('=', both, rest);
    EXPECT_EQ(str(both), "k");
    EXPECT_EQ(str(rest), "v");
}

TEST(String, ConcatenationAndEquality) {
    vesk_string s("IW ");
    EXPECT_EQ(str(s + "x"), "IW x");
    EXPECT_EQ(str("x" + s), "xIW ");
    EXPECT_EQ(str(s + s), "IW IW ");
    EXPECT_EQ(str(vesk_string("workstations.") + 12), "workstations.12");
    EXPECT_EQ(str(vesk_string("n") + -3), "n-3");

    EXPECT_TRUE(vesk_string("all") == "all");
    EXPECT_TRUE("all" == vesk_string("all"));
    EXPECT_FALSE(vesk_string("All") == "all");
    EXPECT_FALSE(vesk_string("all ") == "all");
    EXPECT_TRUE(vesk_string("") == static_cast<const char*>(nullptr));
    EXPECT_TRUE(vesk_string("a") != vesk_string("b"));
    EXPECT_TRUE(vesk_string("a") != "b");

    EXPECT_TRUE(vesk_string("1") == 1);
    EXPECT_TRUE(vesk_string("-7") == -7);
    EXPECT_FALSE(vesk_string("01") == 1);
    EXPECT_FALSE(vesk_string(" 1") == 1);
    EXPECT_FALSE(vesk_string("1x") == 1);
    EXPECT_TRUE(vesk_string("2") != 1);
    EXPECT_FALSE(vesk_string("") == 0);
}

} // namespace
