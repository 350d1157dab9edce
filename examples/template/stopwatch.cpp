// stopwatch: the template for a panel script of your own.
//
// The parent panel gives it a layout ("panel=stopwatch"); the operator starts and stops a clock
// with the buttons "start" and "stop", "reset" sets it back, and the text control "time" shows
// minutes and seconds. The parent reads the time back with "return=all".
//
// To start a script of your own: copy this folder, rename the class, the file and the library
// in CMakeLists.txt, and change the handlers.
#include <cstdio>

#include "vesk_script_helper.h"

namespace {

// A script addresses the panel it opens itself as "1".
const char* const ownPanel = "1";
// Timer ids are the script's own; the host hands the id back when the timer fires.
const int tickTimer = 1;

class stopwatch : public vesk_script_helper {
public:
    stopwatch(vesk_client_callback* hostLink, const char* startupText)
        : vesk_script_helper(hostLink, startupText) {}

    // Parameters ("name=value") and queries from the parent panel. Text returned goes back
    // to the parent; empty text answers nothing.
    vesk_string parentCallback(parentNotify* notify) override {
        if (notify->command() == "panel") {
            panelDestroy(ownPanel);
            panelShow(ownPanel, notify->value(), "");
            showTime();
        } else if (notify->command() == "return" && notify->value() == "all") {
            return vesk_string("seconds=%1").arg(seconds, 0, 0, 10);
        }
        return vesk_string();
    }

    void buttonCallback(buttonNotify* notify) override {
        if (notify->panel() != ownPanel) {
            return;
        }
        vesk_string id = notify->id();
        if (id == "start" && !running) {
            running = true;
            timerStart(tickTimer, 1000);
        } else if (id == "stop" && running) {
            running = false;
            timerStop(tickTimer);
        } else if (id == "reset") {
            seconds = 0;
            showTime();
        }
    }

    void timerCallback(int id) override {
        if (id != tickTimer) {
            timerStop(id);
            return;
        }
        ++seconds;
        showTime();
    }

    // This script watches no router.
    void revertiveCallback(revertiveNotify*) override {}

private:
    void showTime() {
        char text[16];
        std::snprintf(text, sizeof text, "%02d:%02d", seconds / 60 % 100, seconds % 60);
        textPut("text", text, ownPanel, "time");
    }

    int seconds = 0;
    bool running = false;
};

} // namespace

// The one export the panel host looks for, load_vesk_client_script, with C linkage and the
// calling convention VESK_SCRIPT_CALL. The host owns the script it returns. Nothing may be
// thrown out of it: a constructor that throws gives the host null instead.
VESK_SCRIPT_ENTRY(stopwatch);
