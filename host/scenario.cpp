#include "scenario.h"

#include <fstream>

#include "text.h"

namespace vesk_host {

namespace {

struct command_info {
    const char* name;
    const char* usage;
    const char* help;
};

const command_info actions[] = {
    {"create", "create", "create the script again after destroy (\"@name create\" adds one)"},
    {"destroy", "destroy", "delete the script; every reply it was given must be back"},
    {"parent", "parent TEXT", "parent parameter or query (kind 3); \\n is a line feed"},
    {"press", "press PANEL CONTROL [CAPTION]", "button press (kind 2), caption decoded"},
    {"revertive", "revertive DEVICE INDEX [TEXT]", "revertive (kind 1)"},
    {"secondary", "secondary DEVICE INDEX [TEXT]", "secondary revertive (kind 6)"},
    {"hostevent", "hostevent", "host event (kind 7)"},
    {"route", "route DEVICE SOURCE DESTINATION", "switch made elsewhere; registered scripts hear"},
    {"advance", "advance MILLISECONDS", "move the virtual clock; due timers fire (kind 4)"},
    {"timer", "timer ID", "timer event (kind 4) now, whether or not the timer runs"},
    {"show", "show", "print panels, routers, timers and the clock"},
    {"help", "help", "print this reference"},
    {"quit", "quit", "end the run (interactive)"},
};

const command_info expectations[] = {
    {"sent", "expect sent LINE",
     "the next line sent since the last expectations; a run of them must match them all"},
    {"nothing", "expect nothing sent", "no line sent since the last expectations"},
    {"answer", "expect answer TEXT", "the answer to the last parent text"},
    {"no", "expect no answer | expect no debug", "no answer to the last parent text; no debug"},
    {"control", "expect control PANEL CONTROL NAME=VALUE", "a property of a control"},
    {"panel", "expect panel PANEL open FILE | expect panel PANEL closed", "a panel's state"},
    {"crosspoint", "expect crosspoint DEVICE SOURCE DESTINATION",
     "the destination is on the source"},
    {"debug", "expect debug TEXT", "debug output since the last expectations contains TEXT"},
    {"timer", "expect timer ID running | expect timer ID stopped", "a timer's state"},
};

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// \n, \t and \\ in texts; any other backslash stays, so Windows paths need no doubling.
std::string unescaped(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            char next = text[i + 1];
            if (next == 'n' || next == 't' || next == '\\') {
                out += next == 'n' ? '\n' : next == 't' ? '\t' : '\\';
                ++i;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

std::string shown(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        out += c == '\n' ? std::string("\\n") : c == '\t' ? std::string("\\t") : std::string(1, c);
    }
    return out + "\"";
}

class line_reader {
public:
    explicit line_reader(const std::string& text) : m_text(text) {}

    bool atEnd() {
        skipBlanks();
        return m_pos >= m_text.size();
    }
    // The next word; a word in single quotes may hold blanks.
    bool word(std::string& out, std::string& error) {
        skipBlanks();
        if (m_pos >= m_text.size()) {
            return false;
        }
        if (m_text[m_pos] == '\'') {
            std::size_t close = m_text.find('\'', m_pos + 1);
            if (close == std::string::npos) {
                error = "a quote is never closed";
                return false;
            }
            out = m_text.substr(m_pos + 1, close - m_pos - 1);
            m_pos = close + 1;
            return true;
        }
        std::size_t end = m_pos;
        while (end < m_text.size() && !isBlank(m_text[end])) {
            ++end;
        }
        out = m_text.substr(m_pos, end - m_pos);
        m_pos = end;
        return true;
    }
    std::string rest() {
        skipBlanks();
        std::string out = m_text.substr(m_pos);
        m_pos = m_text.size();
        return out;
    }

private:
    void skipBlanks() {
        while (m_pos < m_text.size() && isBlank(m_text[m_pos])) {
            ++m_pos;
        }
    }
    const std::string& m_text;
    std::size_t m_pos = 0;
};

// Reads the step's arguments as `form` says: 'w' a word, 'i' an int, 'm' milliseconds (0 and
// up), 't' the rest of the line as text, 'l' the rest verbatim and not empty, 'o' optional
// text for the rest. Anything left over is an error.
bool readArguments(line_reader& in, const char* form, step& out, std::string& error) {
    for (const char* f = form; *f != '\0'; ++f) {
        if (*f == 't' || *f == 'o' || *f == 'l') {
            std::string rest = in.rest();
            if (rest.empty() && *f != 'o') {
                error = "text missing";
                return false;
            }
            out.hasText = !rest.empty();
            out.text = *f == 'l' ? rest : unescaped(rest);
            return true;
        }
        std::string w;
        if (!in.word(w, error)) {
            if (error.empty()) {
                error = "too few arguments";
            }
            return false;
        }
        if (*f == 'w') {
            out.words.push_back(w);
            continue;
        }
        long long value = 0;
        bool ms = *f == 'm';
        if (!parseNumber(w, ms ? 0 : -2147483647LL - 1, ms ? 1000000000000LL : 2147483647LL,
                         value)) {
            error = "'" + w + "' is not " + (ms ? "a number of milliseconds" : "a whole number");
            return false;
        }
        out.numbers.push_back(value);
    }
    std::string extra;
    if (in.word(extra, error)) {
        error = "unexpected '" + extra + "' at the end";
        return false;
    }
    return error.empty();
}

bool parseExpectation(line_reader& in, step& out, std::string& error, const char*& usage) {
    std::string kind;
    in.word(kind, error);
    for (const command_info& e : expectations) {
        if (kind == e.name) {
            usage = e.usage;
        }
    }
    if (kind == "sent") {
        out.what = action::expectSent;
        return readArguments(in, "l", out, error);
    }
    if (kind == "nothing") {
        std::string w;
        out.what = action::expectNothingSent;
        if (!in.word(w, error) || w != "sent") {
            error = "'nothing' goes with 'sent'";
            return false;
        }
        return readArguments(in, "", out, error);
    }
    if (kind == "answer") {
        out.what = action::expectAnswer;
        return readArguments(in, "t", out, error);
    }
    if (kind == "no") {
        std::string w;
        in.word(w, error);
        if (w != "answer" && w != "debug") {
            error = "'no' goes with 'answer' or 'debug'";
            return false;
        }
        out.what = w == "answer" ? action::expectNoAnswer : action::expectNoDebug;
        return readArguments(in, "", out, error);
    }
    if (kind == "control") {
        out.what = action::expectControl;
        if (!readArguments(in, "wwl", out, error)) {
            return false;
        }
        std::size_t equals = out.text.find('=');
        if (equals == std::string::npos || equals == 0) {
            error = "the property is written NAME=VALUE";
            return false;
        }
        out.words.push_back(out.text.substr(0, equals));
        out.text = unescaped(out.text.substr(equals + 1));
        return true;
    }
    if (kind == "panel") {
        std::string panel;
        std::string state;
        if (!in.word(panel, error) || !in.word(state, error)) {
            error = error.empty() ? "too few arguments" : error;
            return false;
        }
        out.words.push_back(panel);
        if (state == "closed") {
            out.what = action::expectPanelClosed;
            return readArguments(in, "", out, error);
        }
        if (state == "open") {
            out.what = action::expectPanelOpen;
            return readArguments(in, "w", out, error);
        }
        error = "a panel is 'open FILE' or 'closed'";
        return false;
    }
    if (kind == "crosspoint") {
        out.what = action::expectCrosspoint;
        return readArguments(in, "iii", out, error);
    }
    if (kind == "debug") {
        out.what = action::expectDebug;
        return readArguments(in, "t", out, error);
    }
    if (kind == "timer") {
        out.what = action::expectTimer;
        if (!readArguments(in, "iw", out, error)) {
            return false;
        }
        if (out.words[0] != "running" && out.words[0] != "stopped") {
            error = "a timer is 'running' or 'stopped'";
            return false;
        }
        out.flag = out.words[0] == "running";
        return true;
    }
    usage = nullptr;
    error = kind.empty() ? "expect what?" : "unknown expectation '" + kind + "'";
    return false;
}

} // namespace

bool parseStep(const std::string& raw, step& out, std::string& error) {
    out = step();
    error.clear();
    out.source = trimmed(raw);
    if (out.source.empty()) {
        return false;
    }
    if (out.source[0] == '#') {
        out.what = action::comment;
        return true;
    }
    line_reader in(out.source);
    std::string command;
    in.word(command, error);
    if (!command.empty() && command[0] == '@') {
        out.target = command.substr(1);
        if (out.target.empty()) {
            error = "'@' needs a script name";
            return false;
        }
        command.clear();
        in.word(command, error);
    }
    if (!error.empty()) {
        return false;
    }
    const char* usage = nullptr;
    bool parsed = false;
    if (command == "expect") {
        parsed = parseExpectation(in, out, error, usage);
    } else {
        static const struct {
            const char* name;
            action what;
            const char* form;
        } forms[] = {
            {"create", action::create, ""},
            {"destroy", action::destroy, ""},
            {"parent", action::parent, "o"},
            {"press", action::press, "wwo"},
            {"revertive", action::revertive, "iio"},
            {"secondary", action::secondary, "iio"},
            {"hostevent", action::hostEvent, ""},
            {"route", action::route, "iii"},
            {"advance", action::advance, "m"},
            {"timer", action::timer, "i"},
            {"show", action::show, ""},
            {"help", action::help, ""},
            {"quit", action::quit, ""},
        };
        for (const auto& f : forms) {
            if (command == f.name) {
                out.what = f.what;
                parsed = readArguments(in, f.form, out, error);
                for (const command_info& a : actions) {
                    if (command == a.name) {
                        usage = a.usage;
                    }
                }
                break;
            }
        }
        if (usage == nullptr) {
            error = "unknown command '" + command + "' (\"help\" lists the commands)";
            return false;
        }
    }
    if (!parsed && usage != nullptr) {
        error += " (" + std::string(usage) + ")";
    }
    return parsed;
}

bool loadScenario(const std::string& path, std::vector<step>& steps,
                  std::vector<std::string>& errors) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        errors.push_back(path + ": cannot read the scenario");
        return false;
    }
    std::string line;
    int number = 0;
    bool blank = false;
    while (std::getline(in, line)) {
        ++number;
        step s;
        std::string error;
        if (parseStep(line, s, error)) {
            s.line = number;
            s.afterBlank = blank;
            steps.push_back(s);
        } else if (!error.empty()) {
            errors.push_back(path + ":" + std::to_string(number) + ": " + error);
        } else if (line.find('\0') != std::string::npos) {
            errors.push_back(path + ":" + std::to_string(number) + ": not a text line");
        }
        blank = s.source.empty();
    }
    return errors.empty();
}

std::string scenarioHelp() {
    std::string text = "Events (\"@name COMMAND\" sends one to the script named name):\n";
    for (const command_info& a : actions) {
        std::string usage = a.usage;
        usage.resize(usage.size() < 34 ? 34 : usage.size(), ' ');
        text += "  " + usage + "  " + a.help + "\n";
    }
    text += "Expectations:\n";
    for (const command_info& e : expectations) {
        text += "  " + std::string(e.usage) + "\n      " + e.help + "\n";
    }
    text += "Lines starting with # are comments and appear in the transcript.\n";
    return text;
}

scenario_runner::scenario_runner(emulated_host& host, transcript& out, std::string file)
    : m_host(host), m_out(out), m_file(std::move(file)) {}

int scenario_runner::failures() const {
    int count = 0;
    for (const check& c : m_checks) {
        count += c.held ? 0 : 1;
    }
    return count;
}

void scenario_runner::fail(const std::string& where, const std::string& what,
                           const std::string& message) {
    m_checks.push_back({where, what, false, where + ": " + message});
}

void scenario_runner::record(const step& s, bool held, const std::string& message) {
    std::string where = m_file + ":" + std::to_string(s.line);
    m_checks.push_back({where, s.source, held, held ? std::string() : where + ": " + message});
    m_out.verdict(s.line, s.source, held, held ? std::string() : where + ": " + message);
}

void scenario_runner::closeSentCheck() {
    host_link* link = m_sentOpen;
    m_sentOpen = nullptr;
    if (link == nullptr) {
        return;
    }
    if (link->sentChecked < link->sent.size()) {
        std::string extra;
        for (std::size_t i = link->sentChecked; i < link->sent.size(); ++i) {
            extra += (extra.empty() ? "" : ", ") + shown(link->sent[i]);
        }
        std::string message = "expected no further line sent, got " + extra;
        fail(m_sentWhere, m_sentWhat, message);
        m_out.entry("FAILED", std::string(), m_sentWhere + ": " + message);
    }
    link->sentChecked = link->sent.size();
}

void scenario_runner::finish() {
    closeSentCheck();
}

script_slot* scenario_runner::resolve(const step& s) {
    script_slot* target = m_host.slot(s.target);
    if (target == nullptr && s.what == action::create && !s.target.empty() &&
        !m_host.slots().empty()) {
        // A new name is another script object from the first script's library.
        const script_slot& first = *m_host.slots().front();
        std::string error;
        if (m_host.addScript(s.target, first.path, first.startup, error)) {
            target = m_host.slot(s.target);
        }
    }
    return target;
}

void scenario_runner::run(const step& s) {
    m_host.setLocation(m_file + ":" + std::to_string(s.line));
    if (s.what == action::comment) {
        m_out.comment(s.source, s.afterBlank);
        return;
    }
    script_slot* target = resolve(s);
    host_link* link = target != nullptr ? target->link.get() : nullptr;
    if (s.what != action::expectSent || link != m_sentOpen) {
        closeSentCheck();
    }
    if (!s.isExpectation()) {
        // Events start a new round: what was looked at before is done with.
        for (const auto& each : m_host.slots()) {
            host_link& l = *each->link;
            if (l.expected) {
                l.expected = false;
                l.sent.clear();
                l.sentChecked = 0;
                l.debugText.clear();
            }
        }
    }
    std::string where = m_file + ":" + std::to_string(s.line);
    if (s.what == action::help) {
        m_out.plain(scenarioHelp());
        return;
    }
    if (s.what == action::quit) {
        m_quit = true;
        return;
    }
    if (target == nullptr) {
        std::string message =
            s.target.empty() ? "no script is loaded" : "no script named '" + s.target + "'";
        m_out.step(s.line, s.source);
        fail(where, s.source, message);
        m_out.entry("FAILED", std::string(), where + ": " + message);
        return;
    }
    if (s.isExpectation()) {
        link->expected = true;
        expect(s, *target);
        return;
    }
    m_out.step(s.line, s.source);
    bool global = s.what == action::route || s.what == action::advance || s.what == action::show;
    bool wantsAlive = s.what != action::create;
    if (!global && (target->script != nullptr) != wantsAlive) {
        std::string message = target->name + (wantsAlive ? " is not alive; \"create\" it first"
                                                         : " is alive already");
        fail(where, s.source, message);
        m_out.entry("FAILED", std::string(), where + ": " + message);
        return;
    }
    perform(s, *target);
}

void scenario_runner::perform(const step& s, script_slot& target) {
    int first = s.numbers.size() > 0 ? static_cast<int>(s.numbers[0]) : 0;
    int second = s.numbers.size() > 1 ? static_cast<int>(s.numbers[1]) : 0;
    switch (s.what) {
    case action::create:
        m_host.create(target);
        break;
    case action::destroy:
        m_host.destroy(target);
        break;
    case action::parent:
        m_host.parent(target, s.text);
        break;
    case action::press:
        m_host.press(target, s.words[0], s.words[1], s.hasText ? &s.text : nullptr);
        break;
    case action::revertive:
    case action::secondary:
        m_host.revertive(target, s.what == action::revertive ? 1 : 6, first, second, s.text);
        break;
    case action::hostEvent:
        m_host.hostEvent(target);
        break;
    case action::route: {
        std::string why;
        if (!m_host.route(first, second, static_cast<int>(s.numbers[2]), why)) {
            std::string where = m_file + ":" + std::to_string(s.line);
            fail(where, s.source, why);
            m_out.entry("FAILED", std::string(), where + ": " + why);
        }
        break;
    }
    case action::advance:
        m_host.advance(s.numbers[0]);
        break;
    case action::timer:
        m_host.timer(target, first);
        break;
    case action::show:
        m_host.show();
        break;
    default:
        break;
    }
}

void scenario_runner::expect(const step& s, script_slot& target) {
    host_link& link = *target.link;
    int first = s.numbers.size() > 0 ? static_cast<int>(s.numbers[0]) : 0;
    switch (s.what) {
    case action::expectSent: {
        m_sentOpen = &link;
        m_sentWhere = m_file + ":" + std::to_string(s.line);
        m_sentWhat = s.source;
        if (link.sentChecked >= link.sent.size()) {
            record(s, false, "expected " + shown(s.text) + " sent, got no further line");
            return;
        }
        const std::string& got = link.sent[link.sentChecked++];
        record(s, got == s.text, "expected " + shown(s.text) + " sent, got " + shown(got));
        return;
    }
    case action::expectNothingSent: {
        std::string got;
        for (std::size_t i = link.sentChecked; i < link.sent.size(); ++i) {
            got += (got.empty() ? "" : ", ") + shown(link.sent[i]);
        }
        link.sentChecked = link.sent.size();
        record(s, got.empty(), "expected nothing sent, got " + got);
        return;
    }
    case action::expectAnswer:
    case action::expectNoAnswer: {
        if (!link.parentGiven) {
            record(s, false, "expected an answer, got no parent text yet");
            return;
        }
        std::string got = link.answered ? shown(link.answer) : "no answer";
        bool held = s.what == action::expectAnswer ? link.answered && link.answer == s.text
                                                   : !link.answered;
        std::string wanted = s.what == action::expectAnswer ? shown(s.text) : "no answer";
        record(s, held, "expected " + wanted + ", got " + got);
        return;
    }
    case action::expectControl: {
        const std::string& panel = s.words[0];
        const std::string& id = s.words[1];
        const std::string& name = s.words[2];
        std::string wanted = "expected " + name + "=" + shown(s.text) + " on control " + id +
                             " of panel " + panel + ", got ";
        auto open = link.panels().find(panel);
        if (open == link.panels().end()) {
            record(s, false, wanted + "panel " + panel + " not open");
            return;
        }
        const control* c = open->second.find(id);
        const std::string* value = c != nullptr ? c->property(name) : nullptr;
        if (value == nullptr) {
            record(s, false, wanted + (c == nullptr ? "no such control" : "no such property"));
            return;
        }
        record(s, *value == s.text, wanted + shown(*value));
        return;
    }
    case action::expectPanelOpen:
    case action::expectPanelClosed: {
        auto open = link.panels().find(s.words[0]);
        std::string got = open == link.panels().end() ? "closed" : "open " + open->second.file;
        std::string wanted = s.what == action::expectPanelClosed ? "closed" : "open " + s.words[1];
        record(s, got == wanted, "expected panel " + s.words[0] + " " + wanted + ", got " + got);
        return;
    }
    case action::expectCrosspoint: {
        int source = static_cast<int>(s.numbers[1]);
        int destination = static_cast<int>(s.numbers[2]);
        std::string wanted = "expected router " + std::to_string(first) + " destination " +
                             std::to_string(destination) + " on source " + std::to_string(source) +
                             ", got ";
        router* r = m_host.system().findRouter(first);
        if (r == nullptr || !r->validDestination(destination)) {
            record(s, false, wanted + (r == nullptr ? "no such device" : "no such destination"));
            return;
        }
        int on = r->crosspoints[destination];
        record(s, on == source,
               wanted + "source " + std::to_string(on) + " (" + r->sourceName(on) + ")");
        return;
    }
    case action::expectDebug:
    case action::expectNoDebug: {
        bool held = s.what == action::expectDebug ? link.debugText.find(s.text) != std::string::npos
                                                  : link.debugText.empty();
        std::string wanted = s.what == action::expectDebug
                                 ? "debug output containing " + shown(s.text)
                                 : "no debug output";
        record(s, held,
               "expected " + wanted + ", got " +
                   (link.debugText.empty() ? "none" : shown(link.debugText)));
        return;
    }
    case action::expectTimer: {
        auto found = link.timers().find(first);
        bool running = found != link.timers().end();
        record(s, running == s.flag,
               "expected timer " + std::to_string(first) + (s.flag ? " running" : " stopped") +
                   ", got " + (running ? "running" : "stopped"));
        return;
    }
    default:
        return;
    }
}

} // namespace vesk_host
