// The configuration database stand-in: one INI file whose sections are the nodes.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "env_guard.h"
#include "temp_system_tree.h"
#include "vesk_config.h"

namespace {

using pairs = std::vector<std::pair<std::string, std::string>>;

// Id and value of every child from the current one to the end.
pairs childrenOf(vesk_config& cfg) {
    pairs result;
    for (; cfg.isChildValid(); cfg.nextChild()) {
        result.emplace_back(cfg.childAttr("id").c_str(), cfg.childAttr("value").c_str());
    }
    return result;
}

class config_test : public ::testing::Test {
protected:
    config_test() {
        m_tree.activate(m_env);
        m_tree.writeConfigDb("[workstation_settings.12]\nmonitor=34\nPanel = \"main panel\" \n"
                             "; comment\n\nmonitor=99\nbare line\nMONITOR=\"\"\nbare line=keyed\n"
                             "[users.op1]\nLevel=Supervisor\n[empty]\n");
    }

    env_guard m_env;
    temp_system_tree m_tree;
};

TEST_F(config_test, ValidityAndAttributes) {
    const char* const table[][4] = {
        // path, attribute, expected value, valid
        {"workstation_settings.12", "monitor", "34", "1"},
        {"WORKSTATION_SETTINGS.12", "MONITOR", "34", "1"},
        {"workstation_settings.12", "panel", "main panel", "1"},
        {"workstation_settings.12", "bare line", "keyed", "1"},
        {"workstation_settings.12", "size", "", "1"},
        {"users.op1", "level", "Supervisor", "1"},
        {"empty", "level", "", "1"},
        {"workstation_settings.1", "monitor", "", "0"},
        {"users", "level", "", "0"},
        {"", "level", "", "0"},
    };
    for (const auto& c : table) {
        SCOPED_TRACE(std::string(c[0]) + " " + c[1]);
        vesk_config cfg(c[0]);
        EXPECT_EQ(cfg.isValid(), c[3][0] == '1');
        EXPECT_EQ(cfg.attr(c[1]), c[2]);
    }
}

TEST_F(config_test, ChildrenAreTheLinesInFileOrder) {
    vesk_config cfg("workstation_settings.12");
    EXPECT_EQ(cfg.childAttr("name"), "");
    EXPECT_EQ(childrenOf(cfg), (pairs{{"monitor", "34"},
                                      {"Panel", "main panel"},
                                      {"monitor", "99"},
                                      {"bare line", ""},
                                      {"MONITOR", ""},
                                      {"bare line", "keyed"}}));
    EXPECT_FALSE(cfg.nextChild());
    EXPECT_EQ(cfg.childAttr("id"), "");

    for (const char* path : {"empty", "missing"}) {
        vesk_config none(path);
        EXPECT_FALSE(none.isChildValid());
        EXPECT_FALSE(none.nextChild());
    }
}

TEST_F(config_test, NoNodeWithoutRootOrSystem) {
    // Where an empty CC_SYSTEM would lead: <root>, then two separators, then config.
    temp_system_tree noSystem("");
    noSystem.writeConfigDb("[users.op1]\nlevel=Operator\n");
    const std::pair<const temp_system_tree*, const char*> table[] = {
        {&m_tree, "CC_ROOT"}, {&m_tree, "CC_SYSTEM"}, {&noSystem, "CC_SYSTEM empty"}};
    for (const auto& c : table) {
        SCOPED_TRACE(c.second);
        env_guard env;
        c.first->activate(env);
        if (c.first == &m_tree) {
            env.unset(c.second);
        }
        vesk_config cfg("users.op1");
        EXPECT_FALSE(cfg.isValid());
        EXPECT_EQ(cfg.attr("level"), "");
    }
}

TEST_F(config_test, LongRootAndLargeSection) {
    // "/." names the same folder again: a root of over 300 characters that exists.
    std::string longRoot = m_tree.root();
    while (longRoot.size() < 320) {
        longRoot += "/.";
    }
    env_guard env;
    env.set("CC_ROOT", longRoot);
    std::string content = "[big]\n";
    pairs expected;
    for (int i = 0; i < 3000; ++i) {
        expected.emplace_back("setting" + std::to_string(i), std::string(20, 'v'));
        content += expected.back().first + "=" + expected.back().second + "\n";
    }
    m_tree.writeConfigDb(content);
    vesk_config cfg("big");
    EXPECT_EQ(cfg.attr("setting2999"), expected.back().second.c_str());
    EXPECT_EQ(childrenOf(cfg), expected);
}

TEST_F(config_test, CopiesAreIndependentAndReadsAreFresh) {
    vesk_config original("workstation_settings.12");
    original.nextChild();
    vesk_config copy(original);
    copy.nextChild();
    vesk_config assigned("users.op1");
    assigned = copy;
    const vesk_config& same = assigned;
    assigned = same;
    assigned.nextChild();
    EXPECT_EQ(original.childAttr("value"), "main panel");
    EXPECT_EQ(copy.childAttr("value"), "99");
    EXPECT_EQ(assigned.childAttr("id"), "bare line");

    // A node keeps what it read; a node opened later sees the file as it is then.
    m_tree.writeConfigDb("[users.op1]\nlevel=Operator\n");
    EXPECT_EQ(vesk_config("users.op1").attr("level"), "Operator");
    EXPECT_FALSE(vesk_config("workstation_settings.12").isValid());
    EXPECT_EQ(original.childAttr("value"), "main panel");
}

} // namespace
