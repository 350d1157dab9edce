// Command operations called directly on a script base, one typical line per family and every
// numeric line, each against the same line composed by hand.
#include "bench_support.h"
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

// `call(script)` against `floor(link)`, both on a link that answers `reply`.
template <class Call, class Floor>
void addCommand(const std::string& name, Call call, Floor floor, const char* reply = nullptr) {
    addPair(
        "command/" + name,
        [call, reply](benchmark::State& state) {
            host_link link;
            link.answer(reply);
            bench_script script(&link);
            measure(state, [&] { call(script); });
        },
        [floor, reply](benchmark::State& state) {
            host_link link;
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

void addPanelAndTextLines() {
    addCommand(
        "panel/PS", [](bench_script& s) { s.panelShow(sPanel, sMain, sEmpty); },
        [](host_link& link) {
            char line[128];
            piece panel = operand("1");
            piece name = operand("main");
            floor_line(line)
                .text("PS")
                .quoted(panel.text, panel.length)
                .quoted(name.text, name.length)
                .sendTo(link, line);
        });
    addCommand(
        "control_text/TP", [](bench_script& s) { s.textPut(sTrailing, sPanel, sButton); },
        [](host_link& link) {
            char line[128];
            piece text = operand("stylesheet=view_trailing");
            piece panel = operand("1");
            piece control = operand("button");
            floor_line(line)
                .text("TP")
                .quoted(text.text, text.length)
                .quoted(panel.text, panel.length)
                .quoted(control.text, control.length)
                .sendTo(link, line);
        });
    // The tally line: property and value joined.
    addCommand(
        "control_text/TP_tally", [](bench_script& s) { s.textPut(sText, sCam, sPanel, sTally); },
        [](host_link& link) {
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
        "control/CE", [](bench_script& s) { s.sendCE(sPanel, sButton); },
        [](host_link& link) {
            char line[128];
            piece panel = operand("1");
            piece control = operand("button");
            floor_line(line)
                .text("CE")
                .quoted(panel.text, panel.length)
                .quoted(control.text, control.length)
                .sendTo(link, line);
        });
    addCommand(
        "control/CM", [](bench_script& s) { s.sendCM(sPanel, sButton, opaque(10), opaque(20)); },
        [](host_link& link) {
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

void addRouterLines() {
    // The crosspoint line, as the follow script makes it.
    addCommand(
        "router/RC",
        [](bench_script& s) {
            s.routerCrosspoint(opaque(3), opaque(12), opaque(7), sEmpty, opaque(false));
        },
        [](host_link& link) {
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
    addCommand(
        "router/RR",
        [](bench_script& s) { s.routerRegister(opaque(3), opaque(7), opaque(7), false); },
        [](host_link& link) {
            char line[128];
            floor_line(line)
                .text("RR")
                .number(opaque(3))
                .number(opaque(7))
                .number(opaque(7))
                .sendTo(link, line);
        });
    addCommand(
        "router/RR_add",
        [](bench_script& s) { s.routerRegister(opaque(3), opaque(7), opaque(7), true); },
        [](host_link& link) {
            char line[128];
            floor_line(line)
                .text("RR")
                .number(opaque(3))
                .number(opaque(7))
                .number(opaque(7))
                .text(" 'ADD'")
                .sendTo(link, line);
        });
    addCommand(
        "router/RU", [](bench_script& s) { s.sendRU(opaque(3)); },
        [](host_link& link) {
            char line[128];
            floor_line(line).text("RU").number(opaque(3)).sendTo(link, line);
        });
    addCommand(
        "router/RP", [](bench_script& s) { s.routerPoll(opaque(3), opaque(7), opaque(7)); },
        [](host_link& link) {
            char line[128];
            floor_line(line)
                .text("RP")
                .number(opaque(3))
                .number(opaque(7))
                .number(opaque(7))
                .sendTo(link, line);
        });
    addCommand(
        "router/RQ", [](bench_script& s) { s.sendRQ(opaque(3), opaque(7), opaque(7)); },
        [](host_link& link) {
            char line[128];
            floor_line(line)
                .text("RQ")
                .number(opaque(3))
                .number(opaque(7))
                .number(opaque(7))
                .sendTo(link, line);
        });
}

// The I- and G-family lines share the router's shapes; "IW" and "GS" are their own.
void addDeviceFamilyLines() {
    addCommand(
        "i_family/IR", [](bench_script& s) { s.sendIR(opaque(5), opaque(1), opaque(16), false); },
        [](host_link& link) {
            char line[128];
            floor_line(line)
                .text("IR")
                .number(opaque(5))
                .number(opaque(1))
                .number(opaque(16))
                .sendTo(link, line);
        });
    addCommand(
        "i_family/IU", [](bench_script& s) { s.sendIU(opaque(5)); },
        [](host_link& link) {
            char line[128];
            floor_line(line).text("IU").number(opaque(5)).sendTo(link, line);
        });
    addCommand(
        "i_family/IP", [](bench_script& s) { s.sendIP(opaque(5), opaque(1), opaque(16)); },
        [](host_link& link) {
            char line[128];
            floor_line(line)
                .text("IP")
                .number(opaque(5))
                .number(opaque(1))
                .number(opaque(16))
                .sendTo(link, line);
        });
    addCommand(
        "i_family/IQ", [](bench_script& s) { s.sendIQ(opaque(5), opaque(1), opaque(16)); },
        [](host_link& link) {
            char line[128];
            floor_line(line)
                .text("IQ")
                .number(opaque(5))
                .number(opaque(1))
                .number(opaque(16))
                .sendTo(link, line);
        });
    addCommand(
        "i_family/IW", [](bench_script& s) { s.sendIW(opaque(5), sCam, opaque(2), opaque(true)); },
        [](host_link& link) {
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
        "g_family/GR", [](bench_script& s) { s.sendGR(opaque(6), opaque(1), opaque(16), false); },
        [](host_link& link) {
            char line[128];
            floor_line(line)
                .text("GR")
                .number(opaque(6))
                .number(opaque(1))
                .number(opaque(16))
                .sendTo(link, line);
        });
    addCommand(
        "g_family/GU", [](bench_script& s) { s.sendGU(opaque(6)); },
        [](host_link& link) {
            char line[128];
            floor_line(line).text("GU").number(opaque(6)).sendTo(link, line);
        });
    addCommand(
        "g_family/GP", [](bench_script& s) { s.sendGP(opaque(6), opaque(1), opaque(16)); },
        [](host_link& link) {
            char line[128];
            floor_line(line)
                .text("GP")
                .number(opaque(6))
                .number(opaque(1))
                .number(opaque(16))
                .sendTo(link, line);
        });
    addCommand(
        "g_family/GQ", [](bench_script& s) { s.sendGQ(opaque(6), opaque(1), opaque(16)); },
        [](host_link& link) {
            char line[128];
            floor_line(line)
                .text("GQ")
                .number(opaque(6))
                .number(opaque(1))
                .number(opaque(16))
                .sendTo(link, line);
        });
    addCommand(
        "g_family/GS",
        [](bench_script& s) { s.sendGS(opaque(6), opaque(true), opaque(4), opaque(false)); },
        [](host_link& link) {
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

} // namespace

void addCommandBenchmarks() {
    addPanelAndTextLines();
    addRouterLines();
    addDeviceFamilyLines();
}

} // namespace bench
