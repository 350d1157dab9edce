// Host events through the loaded component, as the panel host delivers them: the library is
// opened by path and every event enters through the script object's callback().
//
// Each script has monitor destination 7 (from the workstation settings main() provides), the
// panel "main", router device 3 and source 12. The floors make the same lines and debugger
// text from the same host data by hand.
#include <charconv>
#include <cstdint>
#include <cstring>
#include <memory>

#include "bench_support.h"
#include "decodeCaptionString.h"
#include "platform.h"
#include "vesk_host_structs.h"
#include "vesk_winapi.h"

namespace bench {
namespace {

using vesk_host::script_library;

const int routerDevice = 3;
const int monitorDest = 7;
const int sourceIndex = 12;

const script_library& component() {
    static const script_library library(VIEWTRAIL_LIBRARY);
    return library;
}

// Parent texts are host-owned char*; the script only reads them.
char* hostText(const char* text) {
    return const_cast<char*>(text);
}

// A button event as the host lays it out, its caption decoded by the host.
struct host_button {
    explicit host_button(const char* id) : caption("press=1"), event{0, 0, "1", id, &caption} {}
    char* argument() { return reinterpret_cast<char*>(&event); }

    decodeCaptionString caption;
    vesk_host_button event;
};

// A script given its panel, router and source, and following when asked, so that every event
// below does its full work; null, with the benchmark skipped, when the component cannot be
// loaded.
std::unique_ptr<vesk_client_callback> newScript(benchmark::State& state, minimal_link& link,
                                                bool following) {
    if (!component().loaded()) {
        state.SkipWithError(component().error().c_str());
        return nullptr;
    }
    std::unique_ptr<vesk_client_callback> script(component().create(&link, ""));
    if (script == nullptr) {
        state.SkipWithError("the component made no script");
        return nullptr;
    }
    link.answer("3 0");
    script->callback(hostText("panel=main"), VESK_EVENT_PARENT);
    script->callback(hostText("instance=router1"), VESK_EVENT_PARENT);
    script->callback(hostText("source=12"), VESK_EVENT_PARENT);
    if (following) {
        host_button button("button");
        script->callback(button.argument(), VESK_EVENT_BUTTON);
    }
    link.answer(nullptr);
    return script;
}

floor_line appendText(floor_line line, const char* text) {
    return line.text(text, std::strlen(text));
}

// The debugger line of a press: "barf: panel:id: command=value".
void buttonDumpFloor(const vesk_host_button& event) {
    char dump[256];
    floor_line at = appendText(floor_line(dump).text("barf: "), event.panel).text(":");
    at = appendText(at, event.id).text(": ");
    at = appendText(at, event.caption->command).text("=");
    appendText(at, event.caption->value).end(dump);
    OutputDebugStringA(dump);
}

// The debugger line of a parent text, "barf: command=value" (the "=" always), and the
// text's value.
const char* parentDumpFloor(const char* text) {
    char dump[256];
    floor_line at = appendText(floor_line(dump).text("barf: "), text);
    const char* equals = std::strchr(text, '=');
    if (equals == nullptr) {
        at = at.text("=");
    }
    at.end(dump);
    OutputDebugStringA(dump);
    return equals ? equals + 1 : "";
}

void crosspointFloor(minimal_link& link, int source) {
    char line[64];
    floor_line(line)
        .text("RC")
        .number(opaque(routerDevice))
        .number(source)
        .number(opaque(monitorDest))
        .text(" ',' 0")
        .sendTo(link, line);
}

// The answer block the host receives and hands back with VESK_EVENT_RELEASE.
void answerFloor(const char* text, std::size_t length) {
    char* block = new char[length + 1];
    std::memcpy(block, text, length + 1);
    benchmark::DoNotOptimize(block);
    delete[] block;
}

// `event(script)` through the component against `floor(link)`. The first run checks that both
// send the same lines; later runs go on from where the first left events that alternate.
template <class Event, class Floor>
void addEvent(const std::string& name, Event event, Floor floor, bool following = false) {
    addPair(
        "event/" + name,
        [event, floor, following, checked = false](benchmark::State& state) mutable {
            minimal_link link;
            std::unique_ptr<vesk_client_callback> script = newScript(state, link, following);
            if (script == nullptr) {
                return;
            }
            if (!checked) {
                minimal_link floorLink;
                if (!sameLines(state, link.linesOf([&] { event(*script, link); }),
                               floorLink.linesOf([&] { floor(floorLink); }))) {
                    return;
                }
                checked = true;
            }
            measure(state, [&] { event(*script, link); });
        },
        [floor](benchmark::State& state) {
            minimal_link link;
            measure(state, [&] { floor(link); });
        });
}

// Does nothing, through a virtual call the compiler cannot resolve: the least any event costs.
class no_script final : public vesk_client_callback {
public:
    char* callback(char*, int) override { return nullptr; }
};

void addRevertives() {
    // The common case of a salvo: the router reports another destination.
    addEvent(
        "revertive_other",
        [](vesk_client_callback& script, minimal_link&) {
            vesk_host_revertive event{opaque(routerDevice), 0, opaque(monitorDest + 1), 0,
                                      "CAM 12"};
            script.callback(reinterpret_cast<char*>(&event), VESK_EVENT_REVERTIVE);
        },
        [](minimal_link&) {
            static no_script nothing;
            vesk_host_revertive event{opaque(routerDevice), 0, opaque(monitorDest + 1), 0,
                                      "CAM 12"};
            opaque<vesk_client_callback*>(&nothing)->callback(reinterpret_cast<char*>(&event),
                                                              VESK_EVENT_REVERTIVE);
        });
    // The tally line.
    addEvent(
        "revertive_monitor",
        [](vesk_client_callback& script, minimal_link&) {
            vesk_host_revertive event{opaque(routerDevice), 0, opaque(monitorDest), 0, "CAM 12"};
            script.callback(reinterpret_cast<char*>(&event), VESK_EVENT_REVERTIVE);
        },
        [](minimal_link& link) {
            vesk_host_revertive event{opaque(routerDevice), 0, opaque(monitorDest), 0, "CAM 12"};
            if (event.device == routerDevice && event.index == monitorDest) {
                char line[256];
                appendText(floor_line(line).text("TP 'text="), event.text)
                    .text("' '1' 'tally'")
                    .sendTo(link, line);
            }
        });
}

void addButtons() {
    // Two presses: following on (crosspoint and stylesheet), then off (stylesheet).
    addEvent(
        "button_on_off",
        [](vesk_client_callback& script, minimal_link&) {
            static host_button button("button");
            script.callback(button.argument(), VESK_EVENT_BUTTON);
            script.callback(button.argument(), VESK_EVENT_BUTTON);
        },
        [](minimal_link& link) {
            static host_button button("button");
            const vesk_host_button& event = button.event;
            for (int press = 0; press < 2; ++press) {
                buttonDumpFloor(event);
                if (std::strcmp(event.panel, "1") != 0 || std::strcmp(event.id, "button") != 0) {
                    continue;
                }
                if (press == 0) {
                    crosspointFloor(link, opaque(sourceIndex));
                    char line[] = "TP 'stylesheet=view_trailing' '1' 'button'";
                    opaque<vesk_client_callback*>(&link)->callback(line, VESK_LINK_SEND);
                } else {
                    char line[] = "TP 'stylesheet=view_nottrailing' '1' 'button'";
                    opaque<vesk_client_callback*>(&link)->callback(line, VESK_LINK_SEND);
                }
            }
        });
    addEvent(
        "m",
        [](vesk_client_callback& script, minimal_link&) {
            static host_button button("m");
            script.callback(button.argument(), VESK_EVENT_BUTTON);
        },
        [](minimal_link& link) {
            static host_button button("m");
            buttonDumpFloor(button.event);
            if (std::strcmp(button.event.panel, "1") == 0 &&
                std::strcmp(button.event.id, "m") == 0) {
                crosspointFloor(link, opaque(sourceIndex));
            }
        });
}

void addParentTexts() {
    // A new router each time, so that every call looks up, registers and polls.
    addEvent(
        "parent_instance",
        [](vesk_client_callback& script, minimal_link& link) {
            static bool second = false;
            link.answer("3 0");
            second = !second;
            script.callback(hostText(second ? "instance=router2" : "instance=router1"),
                            VESK_EVENT_PARENT);
        },
        [](minimal_link& link) {
            static bool second = false;
            static char stored[64] = "router1";
            link.answer("3 0");
            second = !second;
            const char* value = parentDumpFloor(second ? "instance=router2" : "instance=router1");
            std::size_t length = std::strlen(value);
            if (std::strcmp(value, stored) == 0) {
                return;
            }
            std::memcpy(stored, value, length + 1);
            char line[128];
            const char* reply =
                floor_line(line).text("SD").quoted(value, length).sendTo(link, line);
            int device = 0;
            std::from_chars(reply, reply + std::strlen(reply), device);
            opaque<vesk_client_callback*>(&link)->callback(const_cast<char*>(reply),
                                                           VESK_LINK_RELEASE);
            int monitor = opaque(monitorDest);
            floor_line(line).text("RR").number(device).number(monitor).number(monitor).sendTo(link,
                                                                                              line);
            floor_line(line).text("RP").number(device).number(monitor).number(monitor).sendTo(link,
                                                                                              line);
        });
    addEvent(
        "parent_source",
        [](vesk_client_callback& script, minimal_link&) {
            script.callback(hostText("source=12"), VESK_EVENT_PARENT);
        },
        [](minimal_link& link) {
            const char* value = parentDumpFloor(opaque("source=12"));
            int source = 0;
            std::from_chars(value, value + std::strlen(value), source);
            crosspointFloor(link, source);
        },
        true);
    addEvent(
        "parent_return_all",
        [](vesk_client_callback& script, minimal_link&) {
            script.callback(script.callback(hostText("return=all"), VESK_EVENT_PARENT),
                            VESK_EVENT_RELEASE);
        },
        [](minimal_link&) {
            parentDumpFloor(opaque("return=all"));
            char answer[64];
            std::size_t length = appendText(floor_line(answer).text("panel="), opaque("main"))
                                     .text("\nsource=")
                                     .digits(opaque(sourceIndex))
                                     .end(answer);
            answerFloor(answer, length);
        });
    addEvent(
        "parent_commands",
        [](vesk_client_callback& script, minimal_link&) {
            script.callback(script.callback(hostText("_commands"), VESK_EVENT_PARENT),
                            VESK_EVENT_RELEASE);
        },
        [](minimal_link&) {
            parentDumpFloor(opaque("_commands"));
            static const char answer[] = "panel=viewTrail | m | tally\nsource=[value]";
            answerFloor(answer, sizeof answer - 1);
        });
}

void addTimer() {
    addEvent(
        "timer",
        [](vesk_client_callback& script, minimal_link&) {
            script.callback(reinterpret_cast<char*>(static_cast<std::intptr_t>(opaque(1))),
                            VESK_EVENT_TIMER);
        },
        [](minimal_link& link) {
            char line[32];
            floor_line(line).text("ET").number(opaque(1)).sendTo(link, line);
        });
}

} // namespace

void addEventBenchmarks() {
    addRevertives();
    addButtons();
    addParentTexts();
    addTimer();
}

} // namespace bench
