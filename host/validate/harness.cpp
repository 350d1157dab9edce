#include "harness.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <map>
#include <set>

#include "command_line.h"
#include "emulated_host.h"
#include "emulated_link.h"
#include "ini_files.h"
#include "scenario_parser.h"
#include "scenario_runner.h"
#include "vesk_script_export.h"

#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 33))
#include <malloc.h>
#define VESK_VALIDATE_MALLINFO2 1
#endif

namespace fs = std::filesystem;

namespace vesk_host {

namespace {

// Parameters the script names in its "_commands" answer: one "name=value" a line.
void commandsAnswered(const std::string& answer,
                      std::vector<std::pair<std::string, std::string>>& named) {
    std::size_t start = 0;
    while (start <= answer.size()) {
        std::size_t end = answer.find('\n', start);
        std::string line =
            answer.substr(start, end == std::string::npos ? std::string::npos : end - start);
        std::size_t equals = line.find('=');
        std::string name = line.substr(0, equals);
        name.erase(std::remove_if(name.begin(), name.end(),
                                  [](char c) { return c == ' ' || c == '\t' || c == '\r'; }),
                   name.end());
        // A name goes into a scenario line as one word.
        bool word = !name.empty() && name.find_first_of("\"'") == std::string::npos;
        if (word) {
            std::string value =
                equals == std::string::npos ? std::string() : line.substr(equals + 1);
            // "a | b | c" offers choices; "[value]" stands for anything.
            std::string first = value.substr(0, value.find(" | "));
            if (first.empty() || first[0] == '[' || first.find('\n') != std::string::npos) {
                first = "1";
            }
            named.emplace_back(name, first);
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
}

} // namespace

const char* callName(int kind) {
    switch (kind) {
#define VESK_EVENT_KIND(name, value, handler, words)                                               \
    case value:                                                                                    \
        return "callback (" words ", kind " #value ")";
#include "vesk_event_kinds.def"
    default:
        return "callback (a kind the host never sends)";
    }
}

int validation::scaled(int atFive) const {
    long long value = static_cast<long long>(atFive) * strictness / 5;
    return value < 1 ? 1 : static_cast<int>(value);
}

watch_link::watch_link(vesk_client_callback* forward, const call_record& record)
    : m_forward(forward), m_record(record), m_hostThread(std::this_thread::get_id()) {}

char* watch_link::callback(char* argument, int kind) {
    ++m_calls;
    if (std::this_thread::get_id() != m_hostThread) {
        ++m_foreignThread;
        return nullptr;
    }
    if (!m_record.inCall.load(std::memory_order_relaxed)) {
        if (m_outside++ == 0 && kind == 0 && argument != nullptr) {
            m_firstLine = argument;
        }
        return nullptr;
    }
    return m_forward != nullptr ? m_forward->callback(argument, kind) : nullptr;
}

std::string watch_link::misuse() const {
    std::string text;
    if (m_foreignThread.load() > 0) {
        text = std::to_string(m_foreignThread.load()) +
               " call(s) of the host link from a thread other than the host's";
    }
    if (m_outside.load() > 0) {
        text +=
            (text.empty() ? "" : "; ") + std::to_string(m_outside.load()) +
            " call(s) of the host link outside any host call" +
            (m_firstLine.empty() ? std::string() : ", the first sending \"" + m_firstLine + "\"");
    }
    return text;
}

harness::harness(const validation& v, call_record& record, const std::string& slotName)
    : m_v(v), m_record(record), m_system(v.system), m_host(m_system, m_out),
      m_slotName(slotName.empty() ? v.name : slotName) {
    m_host.keepRecord(&m_record);
    m_host.forceLayout(v.layout);
}

harness::~harness() {
    // Its last line goes through the watch link, which goes first.
    destroy();
    m_host.keepRecord(nullptr);
}

bool harness::load(std::string& error) {
    if (!m_host.addScript(m_slotName, m_v.library, m_v.startup, error)) {
        return false;
    }
    m_slot = m_host.slot(m_slotName);
    m_watch.reset(new watch_link(m_slot->link.get(), m_record));
    return true;
}

bool harness::create(const char* startup, std::string& why) {
    script_slot& s = *m_slot;
    s.state = script_state();
    m_record.enter("load_vesk_client_script");
    // The host link carries out what the script sends only while the host calls it.
    s.link->enter();
    std::string refusal;
    try {
        s.script = s.library->create(m_watch.get(), startup, &refusal);
    } catch (...) {
        s.link->leave();
        m_record.leave();
        why = "load_vesk_client_script let an exception escape: " + currentExceptionText();
        return false;
    }
    s.link->leave();
    m_record.leave();
    if (s.script == nullptr) {
        why = refusal.empty() ? "load_vesk_client_script returned null" : refusal;
        return false;
    }
    return true;
}

void harness::destroy() {
    if (m_slot != nullptr && m_slot->script != nullptr) {
        m_host.destroy(*m_slot);
    }
}

char* harness::raw(char* argument, int kind) {
    char* result = nullptr;
    m_record.enter(callName(kind));
    m_slot->link->enter();
    try {
        result = m_slot->script->callback(argument, kind);
    } catch (...) {
        m_escaped.push_back("kind " + std::to_string(kind) + ": " + currentExceptionText());
        result = nullptr;
    }
    m_slot->link->leave();
    m_record.leave();
    return result;
}

std::vector<std::string> harness::problems() const {
    std::vector<std::string> found;
    for (const auto& p : m_host.problems()) {
        if (!p.warning) {
            found.push_back(p.what);
        }
    }
    return found;
}

std::string failureSignature(const std::string& why) {
    std::string kept;
    bool quoted = false;
    for (char c : why) {
        if (c == '"') {
            quoted = !quoted;
            kept += c;
        } else if (!quoted && (c < '0' || c > '9')) {
            kept += c;
        }
    }
    return kept;
}

steps_outcome runSteps(const validation& v, call_record& record,
                       const std::vector<std::string>& steps) {
    steps_outcome outcome;
    harness h(v, record);
    h.host().setLocation("the start");
    std::string error;
    if (!h.load(error) || !h.create(error)) {
        outcome.failed = true;
        outcome.why = "was not created: " + error;
        outcome.signature = failureSignature(outcome.why);
        outcome.at = 0;
        return outcome;
    }
    auto failAt = [&](int at, const std::string& why) {
        if (!outcome.failed) {
            outcome.failed = true;
            outcome.at = at;
            outcome.why = why;
            outcome.signature = failureSignature(why);
        }
    };
    scenario_runner runner(h.host(), h.out(), "validate");
    using clock = std::chrono::steady_clock;
    for (std::size_t i = 0; i < steps.size() && !outcome.failed; ++i) {
        step s;
        if (!parseStep(steps[i], s, error)) {
            continue;
        }
        s.line = static_cast<int>(i) + 1;
        clock::time_point began = clock::now();
        runner.run(s);
        outcome.stepMs.push_back(
            std::chrono::duration<double, std::milli>(clock::now() - began).count());
        std::vector<std::string> problems = h.problems();
        if (!problems.empty()) {
            failAt(static_cast<int>(i), problems.front());
            break;
        }
        for (const auto& held : h.slot().link->ledger().unreleasedReplies()) {
            std::string what = held.what;
            std::string never = "never released";
            if (what.compare(0, never.size(), never) == 0) {
                what = "kept" + what.substr(never.size()) + " past the event that asked for it";
            }
            failAt(static_cast<int>(i), v.name + " " + what);
        }
    }
    if (!outcome.failed) {
        h.host().setLocation("the end");
        h.destroy();
        std::vector<std::string> problems = h.problems();
        if (!problems.empty()) {
            failAt(static_cast<int>(steps.size()), problems.front() + " (at its destruction)");
        }
    }
    outcome.sent = h.sent();
    for (const auto& w : h.host().warnings()) {
        outcome.warnings.push_back(w.what);
    }
    return outcome;
}

script_surface learnSurface(const validation& v, call_record& record) {
    script_surface surface;
    harness h(v, record);
    std::string error;
    h.host().setLocation("asking the script what it takes");
    if (!h.load(error) || !h.create(error)) {
        return surface;
    }
    emulated_host& host = h.host();
    host.setLocation("asking the script what it takes");
    script_slot& s = h.slot();
    host.parent(s, "_commands");
    std::vector<std::pair<std::string, std::string>> named;
    if (s.script != nullptr && s.record.answered) {
        commandsAnswered(s.record.answer, named);
    }
    for (const char* query : {"_events", "return=all"}) {
        if (s.script != nullptr) {
            host.parent(s, query);
        }
    }
    // What a parent panel would give a script on this system: each panel layout, each
    // instance, then the parameters the script named. The panels each opened are kept.
    std::vector<std::string> given;
    std::error_code failed;
    std::vector<std::string> layouts;
    for (fs::directory_iterator e(fs::path(v.system) / "panels", failed), end; !failed && e != end;
         e.increment(failed)) {
        if (e->path().extension() == ".ini") {
            layouts.push_back(e->path().stem().string());
        }
    }
    std::sort(layouts.begin(), layouts.end());
    for (const std::string& layout : layouts) {
        given.push_back("panel=" + layout);
    }
    for (const auto& instance : iniSection(
             (fs::path(v.system) / "config" / "system" / "host.ini").string(), "Instances")) {
        given.push_back("instance=" + instance.first);
    }
    for (const auto& p : named) {
        surface.parameters.push_back(p.first);
        given.push_back(p.first + "=" + p.second);
    }
    std::map<std::string, std::set<std::string>> opened;
    auto keepPanels = [&] {
        for (const auto& p : s.state.panels) {
            for (const control& c : p.second.controls) {
                opened[p.first].insert(c.id);
            }
        }
    };
    for (const std::string& text : given) {
        if (s.script != nullptr && text.find_first_of("\r\n") == std::string::npos) {
            host.parent(s, text);
            keepPanels();
        }
    }
    // One press on every control it shows, for the panels and timers that presses open.
    std::vector<std::pair<std::string, std::string>> controls;
    for (const auto& p : s.state.panels) {
        for (const control& c : p.second.controls) {
            controls.emplace_back(p.first, c.id);
        }
    }
    for (const auto& c : controls) {
        if (s.script != nullptr) {
            host.press(s, c.first, c.second, nullptr);
        }
    }
    keepPanels();
    for (const auto& p : opened) {
        script_surface::panel panel;
        panel.name = p.first;
        panel.controls.assign(p.second.begin(), p.second.end());
        surface.panels.push_back(panel);
    }
    std::set<std::pair<int, int>> watched;
    for (const auto& r : s.state.registrations) {
        for (const auto& range : r.second) {
            watched.insert({r.first.second, range.first});
            watched.insert({r.first.second, range.second});
        }
    }
    // And the indices it polled: the first and the last of each range asked for.
    for (const std::string& line : s.record.sent) {
        command_line c = parseCommandLine(line);
        bool poll = c.verb.size() == 2 && std::string("RIG").find(c.verb[0]) != std::string::npos &&
                    (c.verb[1] == 'P' || c.verb[1] == 'Q');
        if (poll && c.matches("nnn")) {
            watched.insert({c.number(0), c.number(1)});
            watched.insert({c.number(0), c.number(2)});
        }
    }
    surface.watched.assign(watched.begin(), watched.end());
    for (const auto& t : s.state.timers) {
        surface.timers.push_back(t.first);
    }
    host.system().findAll();
    for (const auto& d : host.system().devices()) {
        if (d.second) {
            surface.devices.push_back(d.first);
        }
    }
    return surface;
}

std::vector<std::string> soundSteps(const script_surface& surface) {
    std::vector<std::string> steps = {"parent _commands", "parent _events", "parent return=all"};
    for (const std::string& p : surface.parameters) {
        steps.push_back("parent " + p + "=1");
    }
    for (const auto& p : surface.panels) {
        for (const std::string& c : p.controls) {
            steps.push_back("press " + p.name + " " + c);
        }
    }
    for (const auto& w : surface.watched) {
        steps.push_back("revertive " + std::to_string(w.first) + " " + std::to_string(w.second));
        steps.push_back("secondary " + std::to_string(w.first) + " " + std::to_string(w.second));
    }
    for (int t : surface.timers) {
        steps.push_back("timer " + std::to_string(t));
    }
    steps.push_back("advance 1000");
    steps.push_back("hostevent");
    steps.push_back("parent return=all");
    return steps;
}

bool heapInUse(std::size_t& bytes) {
#if defined(VESK_VALIDATE_MALLINFO2)
    auto measure = [] {
        struct mallinfo2 info = mallinfo2();
        return info.uordblks + info.hblkhd;
    };
    // Under a sanitizer or valgrind another allocator serves the program and the C library's
    // figures stand still: a block of our own must show in them, or nothing is measured.
    static const bool measurable = [&measure] {
        const std::size_t size = 256 * 1024;
        std::size_t before = measure();
        // Through a volatile pointer, so that the compiler cannot leave the block out.
        void* volatile probe = std::malloc(size);
        bool seen = probe != nullptr && measure() >= before + size;
        std::free(probe);
        return seen;
    }();
    bytes = measure();
    return measurable;
#else
    bytes = 0;
    return false;
#endif
}

} // namespace vesk_host
