// The workstation's user and access level, followed through the configuration database.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "env_guard.h"
#include "temp_system_tree.h"
#include "test_script.h"

namespace {

class users : public ::testing::Test {
protected:
    users() { m_tree.activate(m_env); }

    env_guard m_env;
    temp_system_tree m_tree;
    test_script m_script{nullptr};
};

TEST_F(users, LevelNamesAreComparedExactly) {
    const std::pair<const char*, int> table[] = {
        {"User", 1},
        {"Supervisor", 2},
        {"Administrator", 3},
        {"Developer", 4},
        {"supervisor", 0},
        {"\" Supervisor\"", 0}, // quoted to keep the blank
        {"\"Supervisor \"", 0},
        {"Super", 0},
        {"Supervisors", 0},
        {"Operator", 0},
        {"", 0},
    };
    m_env.set("CC_WORKSTATION", "4");
    for (const auto& row : table) {
        SCOPED_TRACE(row.first);
        m_tree.writeConfigDb(std::string("[workstations.4]\nuser=op1\n[users.op1]\nlevel=") +
                             row.first + "\n");
        EXPECT_EQ(m_script.workstationUser(), "op1");
        EXPECT_EQ(m_script.userLevel(), row.second);
    }
}

TEST_F(users, FollowsWorkstationToUserToLevel) {
    m_tree.writeConfigDb("[workstations.4]\n"
                         "user=op1\n"
                         "[workstations.5]\n"
                         "name=desk five\n" // no user
                         "[workstations.6]\n"
                         "user=ghost\n" // no entry for the user
                         "[workstations.7]\n"
                         "user=op2\n"
                         "[workstations.0]\n"
                         "user=dev\n"
                         "[workstations.-2147483648]\n"
                         "user=admin\n"
                         "[users.op1]\n"
                         "level=Supervisor\n"
                         "[users.op2]\n"
                         "rank=Developer\n" // no level
                         "[users.dev]\n"
                         "level=Developer\n"
                         "[users.admin]\n"
                         "level=Administrator\n");
    struct row {
        const char* workstation; // CC_WORKSTATION; null: unset
        const char* user;
        const char* levelText;
        int level;
    };
    const row table[] = {
        {"4", "op1", "Supervisor", 2},
        {"5", "", "", 0},
        {"6", "ghost", "", 0},
        {"7", "op2", "", 0},
        {"8", "", "", 0}, // no workstation entry
        {nullptr, "dev", "Developer", 4},
        {"-99999999999", "admin", "Administrator", 3},
    };
    for (const row& r : table) {
        SCOPED_TRACE(r.workstation ? r.workstation : "(unset)");
        if (r.workstation) {
            m_env.set("CC_WORKSTATION", r.workstation);
        } else {
            m_env.unset("CC_WORKSTATION");
        }
        EXPECT_EQ(m_script.workstationUser(), r.user);
        EXPECT_EQ(m_script.userLevelText(), r.levelText);
        EXPECT_EQ(m_script.userLevel(), r.level);
    }
}

TEST_F(users, NoUserReadsTheUsersNodeWithNothingAfterTheDot) {
    m_tree.writeConfigDb("[workstations.5]\nname=desk five\n[users.]\nlevel=User\n");
    m_env.set("CC_WORKSTATION", "5");
    EXPECT_EQ(m_script.workstationUser(), "");
    EXPECT_EQ(m_script.userLevel(), 1);
}

} // namespace
