// A script that breaks the rules of the host link in one way, chosen when it is built:
// VESK_FAULT_LEAK keeps a reply, VESK_FAULT_TWICE hands one back twice, VESK_FAULT_FOREIGN
// hands back a pointer the host never gave it, VESK_FAULT_THROW lets an exception out of its
// entry. It commits its fault when its parent gives it any text, with the line "SD 'rtr'".
#include <stdexcept>

#include "vesk_script_helper.h"

namespace {

class faulty_script : public vesk_script_helper {
public:
    faulty_script(vesk_client_callback* hostLink, const char* startupText)
        : vesk_script_helper(hostLink, startupText) {}

    void buttonCallback(buttonNotify*) override {}
    void revertiveCallback(revertiveNotify*) override {}
    void timerCallback(int) override {}

#if defined(VESK_FAULT_THROW)
    // Past the dispatcher, which would catch it.
    char* callback(char* argument, int kind) override {
        if (kind == VESK_EVENT_PARENT) {
            throw std::runtime_error("out of the entry");
        }
        return vesk_script_helper::callback(argument, kind);
    }
#endif

    vesk_string parentCallback(parentNotify*) override {
        char line[] = "SD 'rtr'";
        char* reply = link->callback(line, VESK_LINK_SEND);
#if defined(VESK_FAULT_TWICE)
        link->callback(reply, VESK_LINK_RELEASE);
        link->callback(reply, VESK_LINK_RELEASE);
#elif defined(VESK_FAULT_FOREIGN)
        static char notFromTheHost[] = "3 0";
        link->callback(reply, VESK_LINK_RELEASE);
        link->callback(notFromTheHost, VESK_LINK_RELEASE);
#else
        (void)reply;
#endif
        return vesk_string();
    }
};

} // namespace

VESK_SCRIPT_ENTRY(faulty_script);
