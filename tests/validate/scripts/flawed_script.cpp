// A script that is sound but for one flaw, chosen when it is built, each of which one check of
// `vesk-host --validate` names:
//   VESK_FLAW_LOAD            the factory throws out of the export when given a null link
//   VESK_FLAW_NULL_LINK       uses its link on every event without asking whether it has one
//   VESK_FLAW_LIFETIME        forgets its link as it is destroyed, so that no "AS" ends its life
//   VESK_FLAW_EVENT_KINDS     answers a revertive (kind 1), which has nothing to answer
//   VESK_FLAW_STARTUP_COPIED  keeps the host's start-up text pointer instead of a copy
//   VESK_FLAW_REPLIES         hands a reply back twice
//   VESK_FLAW_ANSWERS         answers its parent from a static buffer, rewritten by each answer
//   VESK_FLAW_LINES           sends a line whose quote is never closed
//   VESK_FLAW_INSTANCES       counts presses in a static, shared by every instance
//   VESK_FLAW_HOST_THREAD     calls its link from a thread of its own, inside a host call
//   VESK_FLAW_TIMING          sleeps 300 ms in the first event of each life
//   VESK_FLAW_MEMORY          keeps 1 KB more with every event, for as long as it lives
//   VESK_FLAW_DETERMINISM     puts the clock into a line
//   VESK_FLAW_EXPLORE         crashes when "source", "destination", "source" and
//                             "destination" are given negative numbers, in that order: a
//                             sequence that takes long runs of drawn steps to find
// Soundly, it lights a tally when pressed, routes its source on parent "source=N", and lists
// its parameters in its "_commands" answer.
#include <chrono>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "vesk_script_helper.h"

namespace {

class flawed_script : public vesk_script_helper {
public:
    flawed_script(vesk_client_callback* hostLink, const char* startupText)
        : vesk_script_helper(hostLink, startupText) {
#if defined(VESK_FLAW_STARTUP_COPIED)
        m_startup = startupText;
#endif
    }
#if defined(VESK_FLAW_LIFETIME)
    ~flawed_script() override {
        link = nullptr;
    }
#endif

    char* callback(char* argument, int kind) override {
#if defined(VESK_FLAW_NULL_LINK)
        char line[] = "PT '1' 'busy'";
        link->callback(line, VESK_LINK_SEND);
#elif defined(VESK_FLAW_EVENT_KINDS)
        if (kind == VESK_EVENT_REVERTIVE) {
            vesk_script_helper::callback(argument, kind);
            char* answer = new char[9];
            std::memcpy(answer, "answered", 9);
            return answer;
        }
#elif defined(VESK_FLAW_ANSWERS)
        static char shared[64];
        if (kind == VESK_EVENT_PARENT) {
            ++m_answers;
            std::strcpy(shared, m_answers % 2 == 0 ? "even answer" : "odd");
            return shared;
        }
        if (kind == VESK_EVENT_RELEASE && argument == shared) {
            return nullptr;
        }
#elif defined(VESK_FLAW_TIMING)
        if (!m_slept && kind != VESK_EVENT_RELEASE) {
            m_slept = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
#elif defined(VESK_FLAW_MEMORY)
        if (kind != VESK_EVENT_RELEASE) {
            m_kept.emplace_back(new char[1024]);
            std::memset(m_kept.back().get(), kind, 1024);
        }
#endif
        return vesk_script_helper::callback(argument, kind);
    }

    void buttonCallback(buttonNotify*) override {
#if defined(VESK_FLAW_STARTUP_COPIED)
        textPut(vesk_string("text=") + m_startup, "1", "tally");
#elif defined(VESK_FLAW_INSTANCES)
        static int presses = 0;
        textPut("text", vesk_string(++presses), "1", "tally");
#else
        textPut("text=on", "1", "tally");
#endif
    }
    void revertiveCallback(revertiveNotify*) override {}
    void timerCallback(int) override {}

    vesk_string parentCallback(parentNotify* notify) override {
        vesk_string command = notify->command();
        if (command == "_commands") {
            return "source=[value]\ndestination=[value]";
        }
        if (command == "_events") {
            return vesk_string();
        }
        int value = notify->value().toInt();
#if defined(VESK_FLAW_REPLIES)
        char query[] = "HI"; // the host always answers
        char* reply = link != nullptr ? link->callback(query, VESK_LINK_SEND) : nullptr;
        if (link != nullptr) {
            link->callback(reply, VESK_LINK_RELEASE);
            link->callback(reply, VESK_LINK_RELEASE);
        }
#elif defined(VESK_FLAW_LINES)
        sendCommand(this, "PT '1' 'unclosed");
#elif defined(VESK_FLAW_HOST_THREAD)
        if (link != nullptr) {
            std::thread elsewhere([this] {
                char line[] = "PT '1' 'elsewhere'";
                link->callback(line, VESK_LINK_SEND);
            });
            elsewhere.join();
        }
#elif defined(VESK_FLAW_DETERMINISM)
        long long now = std::chrono::steady_clock::now().time_since_epoch().count();
        textPut("text", vesk_string(static_cast<int>(now % 1000000)), "1", "tally");
#elif defined(VESK_FLAW_EXPLORE)
        // source < 0, destination < 0, source < 0, destination < 0, in that order in one life.
        if (value < 0 && command == (m_stage % 2 == 1 ? "destination" : "source") &&
            ++m_stage == 4) {
            volatile int* nowhere = nullptr;
            *nowhere = value;
        }
#endif
        if (command == "source") {
            routerCrosspoint(3, value, 7, ",", false);
        }
        return vesk_string();
    }

private:
#if defined(VESK_FLAW_EXPLORE)
    int m_stage = 0;
#elif defined(VESK_FLAW_STARTUP_COPIED)
    const char* m_startup = nullptr; // the host's, not ours
#elif defined(VESK_FLAW_ANSWERS)
    int m_answers = 0;
#elif defined(VESK_FLAW_TIMING)
    bool m_slept = false;
#elif defined(VESK_FLAW_MEMORY)
    std::vector<std::unique_ptr<char[]>> m_kept;
#endif
};

} // namespace

#if defined(VESK_FLAW_LOAD)
namespace {

// Sound with a link; a host that tries it without one gets an exception. Thrown from here
// rather than from the export, which MSVC takes to throw nothing.
vesk_client_callback* made(vesk_client_callback* link, const char* startup) {
    if (link == nullptr) {
        throw std::runtime_error("no host link");
    }
    return new flawed_script(link, startup);
}

} // namespace

VESK_SCRIPT_EXPORT vesk_client_callback* VESK_SCRIPT_CALL
load_vesk_client_script(vesk_client_callback* link, const char* startup) {
    return made(link, startup);
}
#else
VESK_SCRIPT_ENTRY(flawed_script);
#endif
