// The user of this workstation and that user's access level, read from the configuration
// database on every call.
#include "vesk_script_helper.h"

namespace {

struct accessLevel {
    const char* name;
    int number;
};

// Compared exactly: other letter case or surrounding blanks are no known level.
const accessLevel levels[] = {
    {"User", 1},
    {"Supervisor", 2},
    {"Administrator", 3},
    {"Developer", 4},
};

} // namespace

vesk_string vesk_script_helper::workstationUser() const {
    vesk_config conf(vesk_string("workstations.") + workstationNumber());
    if (!conf.isValid()) {
        return vesk_string();
    }
    return conf.attr("user");
}

vesk_string vesk_script_helper::userLevelText() const {
    // With no user this opens "users." and takes whatever it holds.
    vesk_config conf(vesk_string("users.") + workstationUser());
    if (!conf.isValid()) {
        return vesk_string();
    }
    return conf.attr("level");
}

int vesk_script_helper::userLevel() const {
    const vesk_string sLevel = userLevelText();
    for (const accessLevel& level : levels) {
        if (sLevel == level.name) {
            return level.number;
        }
    }
    return 0;
}
