// The smallest script library an author writes: it answers the parent with what it was
// created with and shows a press on its panel.
#include "vesk_script_helper.h"

namespace {

class outside_panel : public vesk_script_helper {
public:
    outside_panel(vesk_client_callback* hostLink, const char* startupText)
        : vesk_script_helper(hostLink, startupText) {}

    vesk_string parentCallback(parentNotify* notify) override {
        if (notify->command() == "return") {
            return vesk_string("workstation=%1 startup=%2")
                .arg(workstationNumber(), 0, 0, 10)
                .arg(startup);
        }
        return vesk_string();
    }
    void buttonCallback(buttonNotify* notify) override {
        textPut("pressed", notify->id(), "1", "tally");
    }
    void revertiveCallback(revertiveNotify*) override {}
    void timerCallback(int) override {}
};

} // namespace

VESK_SCRIPT_ENTRY(outside_panel);
