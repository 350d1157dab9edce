// A script of its own, with a host link of its own, using nothing but the installed SDK.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "vesk_script_helper.h"

namespace {

int failures = 0;

void check(bool ok, const std::string& what) {
    if (!ok) {
        std::fprintf(stderr, "FAILED: %s\n", what.c_str());
        ++failures;
    }
}

class host_link : public vesk_client_callback {
public:
    std::vector<std::string> lines;
    int releases = 0;
    char* callback(char* argument, int kind) override {
        if (kind == VESK_LINK_SEND) {
            lines.push_back(argument);
        } else if (kind == VESK_LINK_RELEASE) {
            ++releases;
        }
        return nullptr;
    }
};

class echo_script : public vesk_script_helper {
public:
    echo_script(vesk_client_callback* hostLink, const char* startupText)
        : vesk_script_helper(hostLink, startupText) {}
    std::string seen;

    void buttonCallback(buttonNotify* notify) override {
        seen = std::string(notify->panel()) + ":" + std::string(notify->id()) + ":" +
               std::string(notify->value());
    }
    void revertiveCallback(revertiveNotify* notify) override {
        seen = std::to_string(notify->device()) + "/" + std::to_string(notify->index()) + "/" +
               std::string(notify->info());
    }
    vesk_string parentCallback(parentNotify* notify) override {
        return vesk_string("%1 -> %2").arg(notify->command()).arg(notify->value());
    }
    void timerCallback(int id) override { seen = "timer " + std::to_string(id); }
};

} // namespace

int main() {
    host_link host;
    {
        echo_script script(&host, "panels");
        vesk_client_callback* asHost = &script;

        char parent[] = "instance.a.b=router1";
        char* answer = asHost->callback(parent, VESK_EVENT_PARENT);
        check(answer && std::strcmp(answer, "instance -> router1") == 0, "parent answer");
        asHost->callback(answer, VESK_EVENT_RELEASE);

        decodeCaptionString caption("press=on");
        vesk_host_button button{0, 0, "1", "button", &caption};
        asHost->callback(reinterpret_cast<char*>(&button), VESK_EVENT_BUTTON);
        check(script.seen == "1:button:on", "button record");

        vesk_host_revertive revertive{3, 0, 7, 0, "CAM 12"};
        asHost->callback(reinterpret_cast<char*>(&revertive), VESK_EVENT_REVERTIVE);
        check(script.seen == "3/7/CAM 12", "revertive record");

        asHost->callback(reinterpret_cast<char*>(static_cast<std::intptr_t>(9)), VESK_EVENT_TIMER);
        check(script.seen == "timer 9", "timer");
        check(asHost->callback(parent, VESK_EVENT_HOST + 1) == nullptr, "unknown kind");

        decodeVESKString reply("12 'two words' 3", '\'');
        check(reply.count == 3 && std::strcmp(reply.tokens[1], "two words") == 0, "reply");

        vesk_string line = vesk_string("SS '%1' '%2'").arg("a%1").arg("b");
        check(std::strcmp(line, "SS 'a%1' 'b'") == 0, "arg keeps inserted text");
        sendCommand(&script, line);
    }
    check(host.lines.size() == 2 && host.lines.back() == "AS", "AS is the last line");
    check(host.releases == 0, "nothing released to the host");
    if (failures == 0) {
        std::printf("outside script: all checks passed\n");
    }
    return failures == 0 ? 0 : 1;
}
