// A script that does what its parent tells it, so that scenarios can drive the host link one
// line at a time and read what came back:
//   send=LINE   sends LINE and ignores the answer
//   read=LINE   sends LINE, answers the parent with the reply (or "(null)") and releases it
//   test=LINE   sends LINE and answers "non-null" or "null"; never releases
//   echo=LINE   from now on sends LINE whenever a revertive arrives
// Every event it receives is written to the debugger output, marked when it arrives while the
// script is still inside a call of its own.
#include <cstring>
#include <string>

#include "vesk_script_helper.h"

namespace {

class probe_script : public vesk_script_helper {
public:
    probe_script(vesk_client_callback* hostLink, const char* startupText)
        : vesk_script_helper(hostLink, startupText) {}

    void buttonCallback(buttonNotify* notify) override {
        report("button " + text(notify->panel()) + ":" + text(notify->id()) + " " +
               text(notify->command()) + "=" + text(notify->value()));
    }
    void revertiveCallback(revertiveNotify* notify) override {
        report("revertive " + std::to_string(notify->device()) + ":" +
               std::to_string(notify->index()) + " " + text(notify->info()));
        if (!m_echo.empty()) {
            sendCommand(this, m_echo.c_str());
        }
    }
    void secondaryRevertiveCallback(revertiveNotify* notify) override {
        report("secondary " + std::to_string(notify->device()) + ":" +
               std::to_string(notify->index()) + " " + text(notify->info()));
    }
    void hostCallback(hostNotify*) override { report("host event"); }
    void timerCallback(int id) override { report("timer " + std::to_string(id)); }

    vesk_string parentCallback(parentNotify* notify) override {
        std::string command = text(notify->command());
        std::string line = text(notify->value());
        m_busy = true;
        std::string answer;
        if (command == "send") {
            sendCommand(this, line.c_str());
        } else if (command == "read" && link != nullptr) {
            char* reply = link->callback(&line[0], VESK_LINK_SEND);
            answer = reply != nullptr ? reply : "(null)";
            link->callback(reply, VESK_LINK_RELEASE);
        } else if (command == "test" && link != nullptr) {
            answer = link->callback(&line[0], VESK_LINK_SEND) != nullptr ? "non-null" : "null";
        } else if (command == "echo") {
            m_echo = line;
        }
        m_busy = false;
        return answer.c_str();
    }

private:
    static std::string text(const vesk_string& s) { return std::string(s.c_str()); }
    void report(const std::string& what) {
        debug((what + (m_busy ? " (inside a call)" : "") + ";").c_str());
    }

    bool m_busy = false;
    std::string m_echo;
};

} // namespace

VESK_SCRIPT_ENTRY(probe_script);
