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

// Every child's id and value, walking from the node's current child to the end.
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
        m_tree.writeConfigDb("[workstation_settings.12]\n"
                             "monitor=34\n"
                             "Panel = \"main panel\" \n"
                             "; a comment\n"
                             "\n"
                             "monitor=99\n"
                             "bare line\n"
                             "MONITOR=\"\"\n"
                             "bare line=keyed\n"
                             "[workstations.12]\n"
                             "user=op1\n"
                             "[users.op1]\n"
                             "Level=Supervisor\n"
                             "[empty]\n");
    }

    env_guard m_env;
    temp_system_tree m_tree;
};

TEST_F(config_test, NodeIsValidWhenItsSectionExists) {
    const std::pair<const char*, bool> table[] = {
        {"workstation_settings.12", true},
        {"WORKSTATION_SETTINGS.12", true},
        {"users.op1", true},
        {"empty", true},
        {"workstation_settings.1", false},
        {"workstation_settings", false},
        {"", false},
    };
    for (const auto& c : table) {
        SCOPED_TRACE(c.first);
        vesk_config cfg(c.first);
        EXPECT_EQ(cfg.isValid(), c.second);
        if (!c.second) {
            EXPECT_FALSE(cfg.isChildValid());
            EXPECT_EQ(cfg.attr("user"), "");
        }
    }
}

TEST_F(config_test, AttributesTakeTheFirstKeyWithoutQuotes) {
    struct attr_case {
        const char* path;
        const char* name;
        const char* expected;
    };
    const attr_case table[] = {
        {"workstation_settings.12", "monitor", "34"},
        {"workstation_settings.12", "Monitor", "34"},
        {"workstation_settings.12", "panel", "main panel"},
        {"workstation_settings.12", "bare line", "keyed"},
        {"workstation_settings.12", "size", ""},
        {"workstations.12", "user", "op1"},
        {"users.op1", "level", "Supervisor"},
        {"empty", "level", ""},
        {"users.op2", "level", ""},
    };
    for (const attr_case& c : table) {
        SCOPED_TRACE(std::string(c.path) + " " + c.name);
        EXPECT_EQ(vesk_config(c.path).attr(c.name), c.expected);
    }
}

TEST_F(config_test, ChildrenAreTheLinesInFileOrder) {
    vesk_config cfg("workstation_settings.12");
    ASSERT_TRUE(cfg.isChildValid());
    EXPECT_EQ(cfg.childAttr("name"), "");
    EXPECT_EQ(cfg.childAttr(""), "");
    EXPECT_EQ(childrenOf(cfg), (pairs{{"monitor", "34"},
                                      {"Panel", "main panel"},
                                      {"monitor", "99"},
                                      {"bare line", ""},
                                      {"MONITOR", ""},
                                      {"bare line", "keyed"}}));
    // Past the end the walk stays there.
    EXPECT_FALSE(cfg.nextChild());
    EXPECT_FALSE(cfg.isChildValid());
    EXPECT_EQ(cfg.childAttr("id"), "");

    vesk_config empty("empty");
    EXPECT_TRUE(empty.isValid());
    EXPECT_FALSE(empty.isChildValid());
    EXPECT_FALSE(empty.nextChild());
}

TEST_F(config_test, NoNodeWithoutRootOrSystem) {
    // A database where an empty CC_SYSTEM would lead: <root>\\config\system\configdb.ini.
    temp_system_tree noSystem("");
    noSystem.writeConfigDb("[users.op1]\nlevel=Operator\n");
    struct env_case {
        const char* what;
        const char* variable;
        bool unset; // otherwise set to the empty text
    };
    const env_case table[] = {
        {"CC_ROOT unset", "CC_ROOT", true},
        {"CC_SYSTEM unset", "CC_SYSTEM", true},
        {"CC_SYSTEM empty", "CC_SYSTEM", false},
    };
    for (const env_case& c : table) {
        SCOPED_TRACE(c.what);
        env_guard env;
        noSystem.activate(env);
        if (c.unset) {
            env.unset(c.variable);
        }
        vesk_config cfg("users.op1");
        EXPECT_FALSE(cfg.isValid());
        EXPECT_FALSE(cfg.isChildValid());
        EXPECT_EQ(cfg.attr("level"), "");
    }
    EXPECT_TRUE(vesk_config("users.op1").isValid());
}

TEST_F(config_test, LongRootAndLargeSection) {
    // "/." names the same folder again: a root of over 300 characters that still exists.
    std::string longRoot = m_tree.root();
    while (longRoot.size() < 320) {
        longRoot += "/.";
    }
    std::string big = "[big]\n";
    pairs expected;
    for (int i = 0; i < 3000; ++i) {
        std::string id = "setting" + std::to_string(i);
        std::string value = std::string(20, 'v') + std::to_string(i);
        big += id + "=" + value + "\n";
        expected.emplace_back(id, value);
    }
    m_tree.writeConfigDb(big);
    env_guard env;
    env.set("CC_ROOT", longRoot);

    vesk_config cfg("big");
    ASSERT_TRUE(cfg.isValid());
    EXPECT_EQ(cfg.attr("setting2999"), expected.back().second.c_str());
    EXPECT_EQ(childrenOf(cfg), expected);
}

TEST_F(config_test, CopiesAreIndependentAndReadsAreFresh) {
    vesk_config original("workstation_settings.12");
    original.nextChild();
    vesk_config copy(original);
    copy.nextChild();
    EXPECT_EQ(original.childAttr("value"), "main panel");
    EXPECT_EQ(copy.childAttr("value"), "99");

    vesk_config assigned("users.op1");
    assigned = copy;
    EXPECT_EQ(assigned.childAttr("value"), "99");
    const vesk_config& same = assigned;
    assigned = same;
    EXPECT_EQ(assigned.childAttr("value"), "99");
    assigned.nextChild();
    EXPECT_EQ(copy.childAttr("value"), "99");

    // A node holds what it read; a node opened later sees the file as it is then.
    m_tree.writeConfigDb("[users.op1]\nlevel=Operator\n");
    EXPECT_EQ(vesk_config("users.op1").attr("level"), "Operator");
    EXPECT_FALSE(vesk_config("workstations.12").isValid());
    EXPECT_EQ(original.childAttr("value"), "main panel");
}

} // namespace
