// Every scenario command: one row of the table and, above it, the function that carries it out.
#include "devices/device.h"
#include "scenario_parser.h"
#include "scenario_runner.h"
#include "vesk_script_export.h"

namespace vesk_host {

namespace {

int number(const step& s, std::size_t i) {
    return static_cast<int>(s.numbers[i]);
}

// ---- Events ----

void create(scenario_runner& r, const step&, script_slot* target) {
    r.host().create(*target);
}

void destroy(scenario_runner& r, const step&, script_slot* target) {
    r.host().destroy(*target);
}

void parent(scenario_runner& r, const step& s, script_slot* target) {
    r.host().parent(*target, s.text);
}

void press(scenario_runner& r, const step& s, script_slot* target) {
    r.host().press(*target, s.words[0], s.words[1], s.hasText ? &s.text : nullptr);
}

void revertive(scenario_runner& r, const step& s, script_slot* target) {
    r.host().revertive(*target, VESK_EVENT_REVERTIVE, number(s, 0), number(s, 1), s.text);
}

void secondary(scenario_runner& r, const step& s, script_slot* target) {
    r.host().revertive(*target, VESK_EVENT_SECONDARY_REVERTIVE, number(s, 0), number(s, 1), s.text);
}

void hostEvent(scenario_runner& r, const step&, script_slot* target) {
    r.host().hostEvent(*target);
}

void timer(scenario_runner& r, const step& s, script_slot* target) {
    r.host().timer(*target, number(s, 0));
}

void advance(scenario_runner& r, const step& s, script_slot*) {
    r.host().advance(s.numbers[0]);
}

void show(scenario_runner& r, const step&, script_slot*) {
    r.host().show();
}

void help(scenario_runner& r, const step&, script_slot*) {
    r.out().plain(scenarioHelp());
}

void quit(scenario_runner& r, const step&, script_slot*) {
    r.requestQuit();
}

// ---- Expectations ----

void expectSent(scenario_runner& r, const step& s, script_slot* target) {
    r.sentLineExpected(s, *target);
}

void expectSentAnyOrder(scenario_runner& r, const step& s, script_slot* target) {
    r.sentLineExpectedAnyOrder(s, *target);
}

// Whether the line is among those sent since the last expectations; claims none of them.
void checkAmongSent(scenario_runner& r, const step& s, const script_record& rec, bool wanted) {
    bool found = false;
    std::string got;
    for (const std::string& line : rec.sent) {
        found = found || line == s.text;
        got += (got.empty() ? "" : ", ") + shown(line);
    }
    r.record(s, found == wanted,
             "expected " + shown(s.text) + (wanted ? " among" : " not among") +
                 " the lines sent, got " + (got.empty() ? std::string("none") : got));
}

void expectAmongSent(scenario_runner& r, const step& s, script_slot* target) {
    checkAmongSent(r, s, target->record, true);
}

void expectNotSent(scenario_runner& r, const step& s, script_slot* target) {
    checkAmongSent(r, s, target->record, false);
}

// No line of the round left unaccounted for by the expectations before it; accounts for none.
void expectNothingSent(scenario_runner& r, const step& s, script_slot* target) {
    std::vector<std::string> left = unaccounted(target->record);
    r.record(s, left.empty(), "expected nothing sent, got " + shownList(left, std::string()));
}

// The answer to the last parent text; `wanted` null for none.
void checkAnswer(scenario_runner& r, const step& s, const script_record& rec,
                 const std::string* wanted) {
    if (!rec.parentGiven) {
        r.record(s, false, "expected an answer, got no parent text yet");
        return;
    }
    std::string got = rec.answered ? shown(rec.answer) : "no answer";
    bool held = wanted != nullptr ? rec.answered && rec.answer == *wanted : !rec.answered;
    r.record(s, held,
             "expected " + (wanted != nullptr ? shown(*wanted) : "no answer") + ", got " + got);
}

void expectAnswer(scenario_runner& r, const step& s, script_slot* target) {
    checkAnswer(r, s, target->record, &s.text);
}

void expectNoAnswer(scenario_runner& r, const step& s, script_slot* target) {
    checkAnswer(r, s, target->record, nullptr);
}

void expectControl(scenario_runner& r, const step& s, script_slot* target) {
    const std::string& panel = s.words[0];
    const std::string& id = s.words[1];
    const std::string& name = s.words[2];
    std::string wanted = "expected " + name + "=" + shown(s.text) + " on control " + id +
                         " of panel " + panel + ", got ";
    const auto& panels = target->state.panels;
    auto open = panels.find(panel);
    if (open == panels.end()) {
        r.record(s, false, wanted + "panel " + panel + " not open");
        return;
    }
    const control* c = open->second.find(id);
    const std::string* value = c != nullptr ? c->property(name) : nullptr;
    if (value == nullptr) {
        r.record(s, false, wanted + (c == nullptr ? "no such control" : "no such property"));
        return;
    }
    r.record(s, *value == s.text, wanted + shown(*value));
}

// "closed" when `file` is null.
void checkPanel(scenario_runner& r, const step& s, script_slot& target, const std::string* file) {
    const auto& panels = target.state.panels;
    auto open = panels.find(s.words[0]);
    std::string got = open == panels.end() ? "closed" : "open " + open->second.file;
    std::string wanted = file == nullptr ? "closed" : "open " + *file;
    r.record(s, got == wanted, "expected panel " + s.words[0] + " " + wanted + ", got " + got);
}

void expectPanelOpen(scenario_runner& r, const step& s, script_slot* target) {
    checkPanel(r, s, *target, &s.words[1]);
}

void expectPanelClosed(scenario_runner& r, const step& s, script_slot* target) {
    checkPanel(r, s, *target, nullptr);
}

// Debug output since the last expectations; `wanted` null for none at all.
void checkDebug(scenario_runner& r, const step& s, const script_record& rec,
                const std::string* wanted) {
    std::string debug = rec.debugText.text();
    bool held = wanted != nullptr ? debug.find(*wanted) != std::string::npos : debug.empty();
    std::string what =
        wanted != nullptr ? "debug output containing " + shown(*wanted) : "no debug output";
    r.record(s, held, "expected " + what + ", got " + (debug.empty() ? "none" : shown(debug)));
}

void expectDebug(scenario_runner& r, const step& s, script_slot* target) {
    checkDebug(r, s, target->record, &s.text);
}

void expectNoDebug(scenario_runner& r, const step& s, script_slot* target) {
    checkDebug(r, s, target->record, nullptr);
}

// A warning of the host since the last expectations, which then fails nothing, even under
// --strict: a scenario that stages a fault says so.
void expectWarning(scenario_runner& r, const step& s, script_slot*) {
    const auto& given = r.host().warnings();
    std::string got;
    for (std::size_t i = r.roundWarnings(); i < given.size(); ++i) {
        if (!given[i].expected) {
            got += (got.empty() ? "" : ", ") + shown(given[i].what);
        }
    }
    bool held = r.host().expectWarning(r.roundWarnings(), s.text);
    r.record(s, held,
             "expected a warning containing " + shown(s.text) + ", got " +
                 (got.empty() ? std::string("none") : got));
}

void checkTimer(scenario_runner& r, const step& s, script_slot& target, bool wanted) {
    int id = number(s, 0);
    const auto& timers = target.state.timers;
    bool running = timers.find(id) != timers.end();
    r.record(s, running == wanted,
             "expected timer " + std::to_string(id) + (wanted ? " running" : " stopped") +
                 ", got " + (running ? "running" : "stopped"));
}

void expectTimerRunning(scenario_runner& r, const step& s, script_slot* target) {
    checkTimer(r, s, *target, true);
}

void expectTimerStopped(scenario_runner& r, const step& s, script_slot* target) {
    checkTimer(r, s, *target, false);
}

using role = scenario_role;

// The device kinds' own commands go after the row named `after`: their changes after the
// events, their expectations after those about panels.
std::vector<scenario_command> withDeviceCommands(std::vector<scenario_command> commands) {
    for (scenario_role wanted : {role::system, role::expectation}) {
        const char* after = wanted == role::system ? "hostevent" : "expect panel";
        auto at = commands.begin();
        while (at != commands.end() && std::string(at->name) != after) {
            ++at;
        }
        while (at != commands.end() && std::string(at->name) == after) {
            ++at;
        }
        for (const device_type* type : deviceTypes()) {
            for (std::size_t i = 0; i < type->commandCount; ++i) {
                if (type->commands[i].role == wanted) {
                    at = commands.insert(at, type->commands[i]) + 1;
                }
            }
        }
    }
    return commands;
}

} // namespace

const std::vector<scenario_command>& scenarioCommands() {
    static const std::vector<scenario_command> commands = withDeviceCommands({
        {"create", "", "create",
         "create the script again after destroy (\"@name create\" adds one)", role::creation,
         create},
        {"destroy", "", "destroy", "delete the script; every reply it was given must be back",
         role::event, destroy},
        {"parent", "o", "parent TEXT", "parent parameter or query (kind 3); \\n is a line feed",
         role::event, parent},
        {"press", "w w o", "press PANEL CONTROL [CAPTION]",
         "button press (kind 2), caption decoded", role::event, press},
        {"revertive", "i i o", "revertive DEVICE INDEX [TEXT]", "revertive (kind 1)", role::event,
         revertive},
        {"secondary", "i i o", "secondary DEVICE INDEX [TEXT]", "secondary revertive (kind 6)",
         role::event, secondary},
        {"hostevent", "", "hostevent", "host event (kind 7)", role::event, hostEvent},
        {"advance", "m", "advance MILLISECONDS",
         "move the virtual clock; due timers fire (kind 4), delayed switches are made",
         role::system, advance},
        {"timer", "i", "timer ID", "timer event (kind 4) now, whether or not the timer runs",
         role::event, timer},
        {"show", "", "show", "print panels, devices, timers and the clock", role::system, show},
        {"help", "", "help", "print this reference", role::session, help},
        {"quit", "", "quit", "end the run (interactive)", role::session, quit},

        {"expect sent", "l", "expect sent LINE",
         "the next line sent not yet accounted for; a run of them must match them all; one "
         "that fails accounts for nothing",
         role::expectation, expectSent},
        {"expect unordered sent", "l", "expect unordered sent LINE",
         "a line sent since the last expectations, in any order; a run of them must match them "
         "all",
         role::expectation, expectSentAnyOrder},
        {"expect among sent", "l", "expect among sent LINE",
         "LINE is one of the lines sent since the last expectations; the others go unchecked",
         role::expectation, expectAmongSent},
        {"expect not sent", "l", "expect not sent LINE",
         "LINE is not one of the lines sent since the last expectations", role::expectation,
         expectNotSent},
        {"expect nothing sent", "", "expect nothing sent",
         "no line sent since the last event is left unaccounted for", role::expectation,
         expectNothingSent},
        {"expect answer", "t", "expect answer TEXT", "the answer to the last parent text",
         role::expectation, expectAnswer},
        {"expect no answer", "", "expect no answer", "no answer to the last parent text",
         role::expectation, expectNoAnswer},
        {"expect no debug", "", "expect no debug", "no debug output since the last expectations",
         role::expectation, expectNoDebug},
        {"expect control", "w w p", "expect control PANEL CONTROL NAME=VALUE",
         "a property of a control", role::expectation, expectControl},
        {"expect panel", "w open w", "expect panel PANEL open FILE", "the panel shows FILE",
         role::expectation, expectPanelOpen},
        {"expect panel", "w closed", "expect panel PANEL closed", "the panel is not open",
         role::expectation, expectPanelClosed},
        {"expect debug", "t", "expect debug TEXT",
         "debug output since the last expectations contains TEXT", role::expectation, expectDebug},
        {"expect warning", "t", "expect warning TEXT",
         "a warning of the host since the last expectations contains TEXT; it fails nothing, "
         "even under --strict",
         role::expectation, expectWarning},
        {"expect timer", "i running", "expect timer ID running", "the timer runs",
         role::expectation, expectTimerRunning},
        {"expect timer", "i stopped", "expect timer ID stopped", "the timer does not run",
         role::expectation, expectTimerStopped},
    });
    return commands;
}

} // namespace vesk_host
