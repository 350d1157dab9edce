// A script that writes far more debug output than anyone reads, chosen when it is built:
//   VESK_FLOOD_FOREVER  writes debug lines in a loop when a button is pressed, 64 KB at a
//                       time, and never returns (the watchdog stops it)
//   VESK_FLOOD_SOME     writes 512 KB of debug lines when a button is pressed, then returns;
//                       the lines hold bytes that are not text: a byte that is no UTF-8,
//                       control characters, the end of an XML section
#include <string>

#include "vesk_script_export.h"
#include "vesk_script_helper.h"

namespace {

class flood_script : public vesk_script_helper {
public:
    flood_script(vesk_client_callback* hostLink, const char* startupText)
        : vesk_script_helper(hostLink, startupText) {}

    void buttonCallback(buttonNotify*) override {
        panelShow("1", "flood", "");
        const char line[] = "flood line \xff\x01\x1b[31m ]]> & < caf\xc3\xa9 "
                            "................................................................"
                            "................................\n";
#if defined(VESK_FLOOD_FOREVER)
        // 64 KB a call: the flood is as fast as the host can take it.
        std::string block;
        for (int i = 0; i < 512; ++i) {
            block += line;
        }
        for (volatile bool forever = true; forever;) {
            debug(block.c_str());
        }
#else
        for (int i = 0; i < 4096; ++i) {
            debug(line);
        }
        debug("flood done\n");
#endif
    }
    void revertiveCallback(revertiveNotify*) override {}
    vesk_string parentCallback(parentNotify*) override {
        return vesk_string();
    }
    void timerCallback(int) override {}
};

} // namespace

VESK_SCRIPT_EXPORT vesk_client_callback* VESK_SCRIPT_CALL
load_vesk_client_script(vesk_client_callback* link, const char* startup) {
    try {
        return new flood_script(link, startup);
    } catch (...) {
        return nullptr;
    }
}
