// Workstation and object settings read from the configuration database.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "env_guard.h"
#include "temp_system_tree.h"
#include "test_script.h"

namespace {

std::vector<std::string> itemsOf(const vesk_stringlist& list) {
    std::vector<std::string> items;
    for (const vesk_string& item : list) {
        items.emplace_back(item.c_str());
    }
    return items;
}

class settings : public ::testing::Test {
protected:
    settings() {
        m_tree.activate(m_env);
        m_tree.writeConfigDb("[workstation_settings.12]\n"
                             "monitor=34\n"
                             "panel=main\n"
                             "monitor=99\n"
                             "=orphan\n"
                             "empty=\n"
                             "[workstation_settings.0]\n"
                             "monitor=3\n"
                             "[object_settings.]\n"
                             "colour=red\n"
                             "[object_settings.desk]\n"
                             "colour=blue\n"
                             "colour=green\n");
    }

    void workstation(const char* number) {
        if (number) {
            m_env.set("CC_WORKSTATION", number);
        } else {
            m_env.unset("CC_WORKSTATION");
        }
    }

    env_guard m_env;
    temp_system_tree m_tree;
    test_script m_script{nullptr};
};

TEST_F(settings, WorkstationSettingTakesTheFirstChildWithTheName) {
    struct row {
        const char* what;
        const char* workstation; // CC_WORKSTATION; null: unset
        const char* name;
        const char* expected;
    };
    const row table[] = {
        {"first of two", "12", "monitor", "34"},
        {"another setting", "12", "panel", "main"},
        {"no such setting", "12", "size", ""},
        {"other letter case", "12", "Monitor", ""},
        {"an empty value", "12", "empty", ""},
        {"a leading zero", "012", "monitor", "34"},
        {"text after the number", "12x", "monitor", "34"},
        {"workstation 0", nullptr, "monitor", "3"},
        {"no node", "5", "monitor", ""},
    };
    for (const row& r : table) {
        SCOPED_TRACE(r.what);
        workstation(r.workstation);
        EXPECT_EQ(m_script.workstationSetting(r.name), r.expected);
    }
}

TEST_F(settings, WorkstationSettingsListsEveryChildInOrder) {
    workstation("12");
    EXPECT_EQ(
        itemsOf(m_script.workstationSettings()),
        (std::vector<std::string>{"monitor=34", "panel=main", "monitor=99", "=orphan", "empty="}));
    workstation(nullptr);
    EXPECT_EQ(itemsOf(m_script.workstationSettings()), std::vector<std::string>{"monitor=3"});
    workstation("5");
    EXPECT_TRUE(m_script.workstationSettings().isEmpty());
}

TEST_F(settings, ObjectSettingReadsTheNamedObject) {
    struct row {
        const char* object;
        const char* name;
        const char* expected;
    };
    const row table[] = {
        {"desk", "colour", "blue"},
        {"", "colour", "red"}, // the node "object_settings."
        {"desk", "size", ""},
        {"nowhere", "colour", ""},
    };
    workstation("12");
    for (const row& r : table) {
        SCOPED_TRACE(testing::Message() << "'" << r.object << "' " << r.name);
        EXPECT_EQ(m_script.objectSetting(r.object, r.name), r.expected);
    }
}

TEST_F(settings, ReadAfreshOnEveryCall) {
    workstation("12");
    EXPECT_EQ(m_script.workstationSetting("monitor"), "34");
    m_tree.writeConfigDb("[workstation_settings.12]\nmonitor=8\n"
                         "[object_settings.desk]\ncolour=grey\n");
    EXPECT_EQ(m_script.workstationSetting("monitor"), "8");
    EXPECT_EQ(m_script.objectSetting("desk", "colour"), "grey");
    workstation("0");
    EXPECT_EQ(m_script.workstationSetting("monitor"), "");
}

} // namespace
