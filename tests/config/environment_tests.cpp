// Workstation number, device database sizes and the host's "HI" answer, against real files and
// a real environment.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "env_guard.h"
#include "recording_host_link.h"
#include "temp_system_tree.h"
#include "test_script.h"

namespace {

TEST(workstation_number, ReadsTheLeadingNumberAfreshOnEveryCall) {
    const std::pair<const char*, int> table[] = {
        {nullptr, 0}, // unset
        {"", 0},
        {"12", 12},
        {"7x", 7},
        {"x7", 0},
        {" +5", 5},
        {"-3", -3},
        {"99999999999999999999", INT_MAX},
        {"-99999999999999999999", INT_MIN},
    };
    env_guard env;
    test_script script(nullptr);
    for (const auto& row : table) {
        SCOPED_TRACE(row.first ? row.first : "(unset)");
        if (row.first) {
            env.set("CC_WORKSTATION", row.first);
        } else {
            env.unset("CC_WORKSTATION");
        }
        EXPECT_EQ(script.workstationNumber(), row.second);
    }
}

class database_size : public ::testing::Test {
protected:
    database_size() {
        m_tree.activate(m_env);
        m_tree.writeFile("dev_005.ini", "[Other]\n"
                                        "DatabaseSize_1=55\n"
                                        "[Database]\n"
                                        "DatabaseSize_0=16\n"
                                        "DatabaseSize_2=4096\n"
                                        "DatabaseSize_3=\n"
                                        "DatabaseSize_4=12abc\n"
                                        "DatabaseSize_5=-7\n"
                                        "DatabaseSize_6=abc\n"
                                        "DatabaseSize_12=99999999999\n");
        // Names a wrong file format would reach instead of dev_005.ini.
        m_tree.writeFile("dev_5.ini", "[Database]\nDatabaseSize_1=5\n");
        m_tree.writeFile("dev_05.ini", "[Database]\nDatabaseSize_1=5\n");
        m_tree.writeFile("dev_100.ini", "[Database]\nDatabaseSize_1=100\n");
        m_tree.writeFile("dev_1000.ini", "[Database]\nDatabaseSize_1=1000\n");
    }

    env_guard m_env;
    temp_system_tree m_tree;
    test_script m_script{nullptr};
};

TEST_F(database_size, ReadsTheDevicesKeyAsANumber) {
    struct row {
        const char* what;
        int device;
        int database;
        int expected;
    };
    const row table[] = {
        {"a number", 5, 2, 4096},
        {"database 0", 5, 0, 16},
        {"an empty value", 5, 3, 0},
        {"digits before text", 5, 4, 12},
        {"a negative number", 5, 5, -7},
        {"not a number", 5, 6, 0},
        {"beyond int", 5, 12, INT_MAX},
        {"only in another section or in dev_5.ini and dev_05.ini", 5, 1, 0},
        {"no such key", 5, 7, 0},
        {"three digits", 100, 1, 100},
        {"four digits", 1000, 1, 1000},
        {"no such file", 6, 1, 0},
    };
    for (const row& r : table) {
        SCOPED_TRACE(r.what);
        EXPECT_EQ(m_script.databaseSize(r.device, r.database), r.expected);
    }
}

TEST_F(database_size, ReadsTheFileAgainOnEveryCall) {
    EXPECT_EQ(m_script.databaseSize(5, 2), 4096);
    m_tree.writeFile("dev_005.ini", "[Database]\nDatabaseSize_2=8\n");
    EXPECT_EQ(m_script.databaseSize(5, 2), 8);
}

TEST_F(database_size, NeedsBothRootAndSystem) {
    for (const char* name : {"CC_ROOT", "CC_SYSTEM"}) {
        SCOPED_TRACE(name);
        env_guard env;
        env.unset(name);
        EXPECT_EQ(m_script.databaseSize(5, 2), 0);
        env.set(name, "");
        EXPECT_EQ(m_script.databaseSize(5, 2), 0);
    }
    EXPECT_EQ(m_script.databaseSize(5, 2), 4096);
}

TEST_F(database_size, PathLongerThan259CharactersIsNotRead) {
    // Extra separators lengthen CC_ROOT and still name the same folder, so the file is there
    // to be read whenever the path is composed whole; a path cut at 259 characters would name
    // dev_005.in instead.
    m_tree.writeFile("dev_005.in", "[Database]\nDatabaseSize_2=1\n");
    const std::string& root = m_tree.root();
    const std::size_t afterRoot =
        1 + m_tree.system().size() + std::strlen("\\config\\system\\dev_005.ini");
    ASSERT_LT(root.size() + 1 + afterRoot, 259u);
    struct row {
        const char* what;
        std::size_t rootLength;
        int expected;
    };
    const row table[] = {
        {"a trailing backslash", root.size() + 1, 4096},
        {"a path of 259 characters", 259 - afterRoot, 4096},
        {"a path of 260 characters", 260 - afterRoot, 0},
        {"a root of 300 characters", 300, 0},
        {"a root of 5000 characters", 5000, 0},
    };
    for (const row& r : table) {
        SCOPED_TRACE(r.what);
        env_guard env;
        env.set("CC_ROOT", root + std::string(r.rootLength - root.size(), '\\'));
        EXPECT_EQ(m_script.databaseSize(5, 2), r.expected);
    }
}

TEST(host_info, PassesTheAnswerOnAndAlwaysHandsItBack) {
    struct row {
        const char* answer; // null: the host does not answer
        const char* expected;
        std::vector<std::pair<int, std::string>> calls;
    };
    const row table[] = {
        {"host=alpha version=3", "host=alpha version=3", {{0, "HI"}, {5, "host=alpha version=3"}}},
        {"", "", {{0, "HI"}, {5, ""}}},
        {nullptr, "", {{0, "HI"}, {5, "(null)"}}},
    };
    for (const row& r : table) {
        SCOPED_TRACE(r.answer ? r.answer : "(null)");
        recording_host_link host;
        host.answer("HI", r.answer);
        test_script script(&host);
        EXPECT_EQ(script.hostInfo(), r.expected);
        EXPECT_EQ(host.calls(), r.calls);
        EXPECT_TRUE(host.eachReplyReleasedOnce());
    }

    test_script unlinked(nullptr);
    EXPECT_EQ(unlinked.hostInfo(), "");
}

} // namespace
