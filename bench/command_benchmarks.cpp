// Command operations called directly on a script base, one typical line per family and every
// numeric line, each against the same line composed by hand.
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench_support.h"
#include "host_verbs.h"
#include "vesk_script_helper.h"

namespace bench {
namespace {

// A script that does nothing with events; the benchmarks call its command operations.
class bench_script final : public vesk_script_helper {
public:
    explicit bench_script(vesk_client_callback* hostLink) : vesk_script_helper(hostLink, "") {}
    void buttonCallback(buttonNotify*) override {}
    void revertiveCallback(revertiveNotify*) override {}
    vesk_string parentCallback(parentNotify*) override { return vesk_string(); }
    void timerCallback(int) override {}
};

// A text operand for the floor: where it is and how long, as a vesk_string knows it.
struct piece {
    const char* text;
    std::size_t length;
};
template <std::size_t N> piece operand(const char (&text)[N]) {
    return opaque(piece{text, N - 1});
}

// The verb and each field quoted, handed to the link: the floor of every quoted line.
template <std::size_t N, class... Fields>
char* sendQuotedFloor(minimal_link& link, const char (&verb)[N], Fields... fields) {
    char line[256];
    floor_line at = floor_line(line).text(verb);
    ((at = at.quoted(fields.text, fields.length)), ...);
    return at.sendTo(link, line);
}

// The benchmark's name from the host's verb index: "<family>/<verb>", then "_<variant>" when
// a verb has more than one benchmark. A verb the index does not know stops the program.
std::string commandName(const char* verb, const char* variant) {
    const vesk_host::host_verb* entry = vesk_host::findVerb(verb);
    if (entry == nullptr || std::strcmp(entry->verb, verb) != 0) {
        std::fprintf(stderr, "%s is not in the host's verb index\n", verb);
        std::abort();
    }
    std::string name = std::string(vesk_host::familyName(entry->family)) + "/" + verb;
    return *variant != '\0' ? name + "_" + variant : name;
}

// `call(script)` against `floor(link)`, both on a link that answers `reply`. Both must send
// the same lines, the first starting with `verb`.
template <class Call, class Floor>
void addCommand(const char* verb, const char* variant, Call call, Floor floor,
                const char* reply = nullptr) {
    const std::string name = commandName(verb, variant);
    const std::size_t verbLength = std::strlen(verb);
    addPair(
        "command/" + name,
        [call, floor, reply, verb, verbLength](benchmark::State& state) {
            minimal_link link;
            link.answer(reply);
            bench_script script(&link);
            minimal_link floorLink;
            floorLink.answer(reply);
            const std::string measured = link.linesOf([&] { call(script); });
            if (measured.compare(0, verbLength, verb) != 0 || measured.size() <= verbLength ||
                (measured[verbLength] != ' ' && measured[verbLength] != '\n')) {
                state.SkipWithError(("not a " + std::string(verb) + " line: " + measured).c_str());
                return;
            }
            if (sameLines(state, measured, floorLink.linesOf([&] { floor(floorLink); }))) {
                measure(state, [&] { call(script); });
            }
        },
        [floor, reply](benchmark::State& state) {
            minimal_link link;
            link.answer(reply);
            measure(state, [&] { floor(link); });
        });
}

// Operands as a script holds them: texts already made, numbers in variables.
const vesk_string sPanel("1");
const vesk_string sMain("main");
const vesk_string sEmpty("");
const vesk_string sButton("button");
const vesk_string sTally("tally");
const vesk_string sText("text");
const vesk_string sCam("CAM 12");
const vesk_string sTrailing("stylesheet=view_trailing");
const vesk_string sRouter("router1");
const vesk_string sSlot("out1");
const vesk_string sAlarm("fire");
const vesk_string sValue("value");
const vesk_string sAlarmPattern("alm_");

void addPanelAndTextLines() {
    addCommand(
        "PS", "", [](bench_script& s) { s.panelShow(sPanel, sMain, sEmpty); },
        [](minimal_link& link) {
            piece panel = operand("1");
            piece name = operand("main");
            sendQuotedFloor(link, "PS", panel, name);
        });
    addCommand(
        "TP", "", [](bench_script& s) { s.textPut(sTrailing, sPanel, sButton); },
        [](minimal_link& link) {
            piece text = operand("stylesheet=view_trailing");
            piece panel = operand("1");
            piece control = operand("button");
            sendQuotedFloor(link, "TP", text, panel, control);
        });
    // The tally line: property and value joined.
    addCommand(
        "TP", "tally", [](bench_script& s) { s.textPut(sText, sCam, sPanel, sTally); },
        [](minimal_link& link) {
            char line[128];
            piece property = operand("text");
            piece value = operand("CAM 12");
            piece panel = operand("1");
            piece control = operand("tally");
            floor_line(line)
                .text("TP '")
                .text(property.text, property.length)
                .text("=")
                .text(value.text, value.length)
                .text("'")
                .quoted(panel.text, panel.length)
                .quoted(control.text, control.length)
                .sendTo(link, line);
        });
    addCommand(
        "CE", "", [](bench_script& s) { s.sendCE(sPanel, sButton); },
        [](minimal_link& link) {
            piece panel = operand("1");
            piece control = operand("button");
            sendQuotedFloor(link, "CE", panel, control);
        });
    addCommand(
        "CM", "", [](bench_script& s) { s.sendCM(sPanel, sButton, opaque(10), opaque(20)); },
        [](minimal_link& link) {
            char line[128];
            piece panel = operand("1");
            piece control = operand("button");
            floor_line(line)
                .text("CM")
                .quoted(panel.text, panel.length)
                .quoted(control.text, control.length)
                .number(opaque(10))
                .number(opaque(20))
                .sendTo(link, line);
        });
}

void addCrosspointLine() {
    // The crosspoint line, as the follow script makes it.
    addCommand(
        "RC", "",
        [](bench_script& s) {
            s.routerCrosspoint(opaque(3), opaque(12), opaque(7), sEmpty, opaque(false));
        },
        [](minimal_link& link) {
            char line[128];
            piece text = operand("");
            floor_line(line)
                .text("RC")
                .number(opaque(3))
                .number(opaque(12))
                .number(opaque(7))
                .text(" ',")
                .text(text.text, text.length)
                .text("'")
                .number(opaque(false) ? 1 : 0)
                .sendTo(link, line);
        });
}

// The I- and G-family lines share the router's shapes; "IW" and "GS" are their own.
// The numeric shapes that the router, I- and G-families share: a device alone, a device with
// two indices, and registration in its two forms. The operation is a template argument, so
// that it is called directly, as a script calls it.
template <void (vesk_script_helper::*send)(int)>
void addDeviceLine(const char* verb, const char* variant = "") {
    addCommand(
        verb, variant, [](bench_script& s) { (s.*send)(opaque(3)); },
        [verb](minimal_link& link) {
            char line[64];
            floor_line(line).text(verb, 2).number(opaque(3)).sendTo(link, line);
        });
}

template <void (vesk_script_helper::*send)(int, int, int)> void addIndexLine(const char* verb) {
    addCommand(
        verb, "", [](bench_script& s) { (s.*send)(opaque(3), opaque(7), opaque(7)); },
        [verb](minimal_link& link) {
            char line[64];
            floor_line(line)
                .text(verb, 2)
                .number(opaque(3))
                .number(opaque(7))
                .number(opaque(7))
                .sendTo(link, line);
        });
}

template <void (vesk_script_helper::*send)(int, int, int, bool)>
void addRegisterLine(const char* verb, bool add) {
    addCommand(
        verb, add ? "add" : "",
        [add](bench_script& s) { (s.*send)(opaque(3), opaque(7), opaque(7), add); },
        [verb, add](minimal_link& link) {
            char line[64];
            floor_line at =
                floor_line(line).text(verb, 2).number(opaque(3)).number(opaque(7)).number(
                    opaque(7));
            (add ? at.text(" 'ADD'") : at).sendTo(link, line);
        });
}

void addNumericLines() {
    using script = vesk_script_helper;
    addRegisterLine<&script::routerRegister>("RR", false);
    addRegisterLine<&script::routerRegister>("RR", true);
    addDeviceLine<&script::sendRU>("RU");
    addIndexLine<&script::routerPoll>("RP");
    addIndexLine<&script::sendRQ>("RQ");
    addRegisterLine<&script::sendIR>("IR", false);
    addDeviceLine<&script::sendIU>("IU");
    addIndexLine<&script::sendIP>("IP");
    addIndexLine<&script::sendIQ>("IQ");
    addRegisterLine<&script::sendGR>("GR", false);
    addDeviceLine<&script::sendGU>("GU");
    addIndexLine<&script::sendGP>("GP");
    addIndexLine<&script::sendGQ>("GQ");
    addDeviceLine<&script::timerStop>("ET", "stop");
}

// "IW" and "GS" are the I- and G-families' own shapes.
void addDeviceFamilyLines() {
    addCommand(
        "IW", "", [](bench_script& s) { s.sendIW(opaque(5), sCam, opaque(2), opaque(true)); },
        [](minimal_link& link) {
            char line[128];
            piece text = operand("CAM 12");
            floor_line(line)
                .text("IW")
                .number(opaque(5))
                .text(" '")
                .text(text.text, text.length)
                .text("'")
                .number(opaque(2))
                .number(opaque(true) ? 1 : 0)
                .sendTo(link, line);
        });
    addCommand(
        "GS", "",
        [](bench_script& s) { s.sendGS(opaque(6), opaque(true), opaque(4), opaque(false)); },
        [](minimal_link& link) {
            char line[128];
            floor_line(line)
                .text("GS")
                .number(opaque(6))
                .number(opaque(4))
                .number(opaque(true) ? 1 : 0)
                .number(opaque(false) ? 1 : 0)
                .sendTo(link, line);
        });
}

void addTimerAndEventLines() {
    addCommand(
        "ET", "start", [](bench_script& s) { s.timerStart(opaque(1), opaque(500)); },
        [](minimal_link& link) {
            char line[128];
            floor_line(line).text("ET").number(opaque(1)).number(opaque(500)).sendTo(link, line);
        });
    addCommand(
        "ES", "", [](bench_script& s) { s.sendES(opaque(7), opaque(9)); },
        [](minimal_link& link) {
            char line[128];
            floor_line(line).text("ES").number(opaque(7)).number(opaque(9)).sendTo(link, line);
        });
    addCommand(
        "EG", "", [](bench_script& s) { s.sendEG(opaque(1), opaque(2), opaque(3), opaque(-4)); },
        [](minimal_link& link) {
            char line[128];
            floor_line(line)
                .text("EG")
                .number(opaque(1))
                .number(opaque(2))
                .number(opaque(3))
                .number(opaque(-4))
                .sendTo(link, line);
        });
    addCommand(
        "EC", "", [](bench_script& s) { s.sendEC(opaque(true), sMain, sButton); },
        [](minimal_link& link) {
            char line[128];
            piece first = operand("main");
            piece second = operand("button");
            floor_line(line)
                .text("EC")
                .number(opaque(true) ? 1 : 0)
                .quoted(first.text, first.length)
                .quoted(second.text, second.length)
                .sendTo(link, line);
        });
}

void addHostAndAlarmLines() {
    addCommand(
        "HG", "", [](bench_script& s) { s.sendHG(sMain, sButton); },
        [](minimal_link& link) {
            piece first = operand("main");
            piece second = operand("button");
            sendQuotedFloor(link, "HG", first, second);
        });
    addCommand(
        "AP", "", [](bench_script& s) { s.sendAP(sAlarm, opaque(2)); },
        [](minimal_link& link) {
            char line[128];
            piece name = operand("fire");
            floor_line(line)
                .text("AP")
                .quoted(name.text, name.length)
                .number(opaque(2))
                .sendTo(link, line);
        });
}

// The reply is the host's text: handed back with VESK_LINK_RELEASE once read, as the operations do.
void releaseFloor(minimal_link& link, const char* reply) {
    opaque<vesk_client_callback*>(&link)->callback(const_cast<char*>(reply), VESK_LINK_RELEASE);
}

// Lines the host answers, with the reply read the way each operation reads it.
void addLookups() {
    addCommand(
        "SD", "",
        [](bench_script& s) {
            int device = 0;
            s.instanceLookup(sRouter, &device, nullptr);
            benchmark::DoNotOptimize(device);
        },
        [](minimal_link& link) {
            piece instance = operand("router1");
            const char* reply = sendQuotedFloor(link, "SD", instance);
            int device = 0;
            std::from_chars(reply, reply + std::strlen(reply), device);
            benchmark::DoNotOptimize(device);
            releaseFloor(link, reply);
        },
        "3 0");
    addCommand(
        "SS", "",
        [](bench_script& s) {
            vesk_string altId;
            int device = 0;
            int index = 0;
            char type = 0;
            s.slotLookup(sRouter, sSlot, altId, &device, &index, &type);
            benchmark::DoNotOptimize(device);
            benchmark::DoNotOptimize(altId);
        },
        [](minimal_link& link) {
            piece instance = operand("router1");
            piece name = operand("out1");
            const char* reply = sendQuotedFloor(link, "SS", instance, name);
            // Four numbers, then the quoted alternative id copied out.
            const char* end = reply + std::strlen(reply);
            int numbers[4] = {};
            const char* at = reply;
            for (int& number : numbers) {
                at = std::from_chars(at, end, number).ptr + 1;
            }
            const char* close = std::strchr(at + 1, '\'');
            char altId[64];
            std::size_t length = static_cast<std::size_t>(close - at - 1);
            std::memcpy(altId, at + 1, length);
            altId[length] = '\0';
            benchmark::DoNotOptimize(numbers);
            benchmark::DoNotOptimize(altId);
            releaseFloor(link, reply);
        },
        "12 100 5 2 'main out'");
    // The list is made of vesk_strings in both: a script receives it as one.
    addCommand(
        "XI", "",
        [](bench_script& s) {
            vesk_stringlist lControls = s.controlList(sPanel, sAlarmPattern);
            benchmark::DoNotOptimize(lControls);
        },
        [](minimal_link& link) {
            piece panel = operand("1");
            piece pattern = operand("alm_");
            const char* reply = sendQuotedFloor(link, "XI", panel, pattern);
            vesk_stringlist lControls;
            for (const char* at = reply;;) {
                const char* comma = std::strchr(at, ',');
                lControls.append(vesk_string(at, comma ? static_cast<int>(comma - at)
                                                       : static_cast<int>(std::strlen(at))));
                if (comma == nullptr) {
                    break;
                }
                at = comma + 1;
            }
            benchmark::DoNotOptimize(lControls);
            releaseFloor(link, reply);
        },
        "alm_1,alm_2,alm_3");
    addCommand(
        "TG", "",
        [](bench_script& s) {
            vesk_string sVal;
            s.textGet(sValue, sPanel, sButton, sVal);
            benchmark::DoNotOptimize(sVal);
        },
        [](minimal_link& link) {
            piece panel = operand("1");
            piece control = operand("button");
            piece property = operand("value");
            const char* reply = sendQuotedFloor(link, "TG", panel, control, property);
            const char* equals = std::strchr(reply, '=');
            char value[64];
            bool same = static_cast<std::size_t>(equals - reply) == property.length &&
                        std::memcmp(reply, property.text, property.length) == 0;
            std::strcpy(value, same ? equals + 1 : "");
            benchmark::DoNotOptimize(value);
            releaseFloor(link, reply);
        },
        "value=1");
}

} // namespace

void addCommandBenchmarks() {
    addPanelAndTextLines();
    addCrosspointLine();
    addNumericLines();
    addDeviceFamilyLines();
    addTimerAndEventLines();
    addHostAndAlarmLines();
    addLookups();
}

} // namespace bench
