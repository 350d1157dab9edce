#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vesk_stringlist.h"

namespace {

std::vector<std::string> items(const vesk_stringlist& list) {
    std::vector<std::string> out;
    for (vesk_stringlistIterator it = list.begin(); it != list.end(); ++it) {
        out.emplace_back((*it).c_str());
    }
    return out;
}

using texts = std::vector<std::string>;

TEST(StringList, SplitKeepsEveryItemInOrder) {
    EXPECT_EQ(items(vesk_stringlist("alm_1,alm_2", ',')), (texts{"alm_1", "alm_2"}));
    EXPECT_EQ(items(vesk_stringlist("", ',')), texts{});
    EXPECT_EQ(items(vesk_stringlist(",", ',')), (texts{"", ""}));
    EXPECT_EQ(items(vesk_stringlist("a,,b,", ',')), (texts{"a", "", "b", ""}));
    EXPECT_EQ(items(vesk_stringlist("single", ',')), texts{"single"});
}

TEST(StringList, AppendJoinAndCopy) {
    vesk_stringlist list;
    EXPECT_EQ(std::string(list.toString('\n').c_str()), "");
    list << "panel=main"
         << "source=12";
    list.append("x");
    EXPECT_EQ(std::string(list.toString('\n').c_str()), "panel=main\nsource=12\nx");

    vesk_stringlist copy(list);
    copy.append("y");
    EXPECT_EQ(list.count(), 3);
    EXPECT_EQ(items(copy), (texts{"panel=main", "source=12", "x", "y"}));

    // Growing past the first storage, including appending an item of the list itself.
    vesk_stringlist many;
    for (int i = 0; i < 100; ++i) {
        many.append(vesk_string(i));
    }
    many.append(many.at(0));
    EXPECT_EQ(many.count(), 101);
    EXPECT_EQ(std::string(many.at(100).c_str()), "0");
    EXPECT_EQ(std::string(many.at(99).c_str()), "99");

    vesk_stringlist moved(static_cast<vesk_stringlist&&>(many));
    EXPECT_EQ(moved.count(), 101);
    EXPECT_EQ(many.count(), 0);
    copy = moved;
    EXPECT_EQ(copy.count(), 101);
    vesk_stringlist& alias = copy;
    copy = alias;
    EXPECT_EQ(copy.count(), 101);
}

} // namespace
