#include "host_view.h"

#include <cstdlib>
#include <filesystem>

#include "text.h"
#include "web_message.h"

namespace vesk_host {

namespace {

using json = nlohmann::json;

// The blanks a scenario line loses at its ends are those of the scenario parser.
bool hasEdgeBlank(const std::string& text) {
    return !text.empty() && (isBlank(text.front()) || isBlank(text.back()));
}

// A scenario line ends at its line end and loses blanks at both ends; such texts cannot be
// checked by a line of the recording.
bool fitsOneLine(const std::string& text) {
    return !text.empty() && text.find_first_of("\r\n") == std::string::npos && !hasEdgeBlank(text);
}

json routerState(const router& r) {
    json sources = json::array();
    for (int i = 1; i <= r.sources; ++i) {
        sources.push_back(r.sourceName(i));
    }
    json destinations = json::array();
    for (int d = 1; d <= r.destinations; ++d) {
        auto on = r.crosspoints.find(d);
        int source = on != r.crosspoints.end() ? on->second : 0;
        destinations.push_back({{"index", d},
                                {"name", r.destinationName(d)},
                                {"source", source},
                                {"sourceName", source > 0 ? r.sourceName(source) : ""}});
    }
    return {{"device", r.device},
            {"kind", "router"},
            {"name", r.name},
            {"sources", sources},
            {"destinations", destinations}};
}

} // namespace

bool isProblemLine(const std::string& line) {
    // How a run that died is reported; a script whose name holds "crash" is no problem.
    static const char* const marks[] = {
        "PROBLEM",    "FAILED",  "the host cannot read", "unknown verb",
        " crashed: ", " hung: ", " was stopped: ",       " ended the run early"};
    for (const char* mark : marks) {
        if (line.find(mark) != std::string::npos) {
            return true;
        }
    }
    return false;
}

host_view::host_view(emulated_host& host, scenario_runner& runner, const transcript& out)
    : m_host(host), m_runner(runner), m_out(out) {}

void host_view::loadDevices() {
    const std::string& dir = m_host.system().dir();
    if (dir.empty()) {
        return;
    }
    std::error_code failed;
    std::filesystem::directory_iterator files(dir + "/config/system", failed);
    if (failed) {
        return;
    }
    for (const auto& file : files) {
        std::string name = file.path().filename().string();
        // dev_NNN.ini: the device number is the digits between.
        if (name.size() > 8 && name.compare(0, 4, "dev_") == 0 &&
            name.compare(name.size() - 4, 4, ".ini") == 0) {
            std::string digits = name.substr(4, name.size() - 8);
            device_kind kind = device_kind::router;
            if (digits.find_first_not_of("0123456789") == std::string::npos && digits.size() < 6) {
                m_host.system().kindOf(std::atoi(digits.c_str()), kind);
            }
        }
    }
}

void host_view::write(const std::string& text) {
    m_recording += text + "\n";
    if (m_recordingMirror) {
        m_recordingMirror(text + "\n");
    }
}

std::string host_view::prefixFor(const script_slot& slot) const {
    return m_host.slots().front().get() == &slot ? std::string() : "@" + slot.name + " ";
}

void host_view::begin(const std::string& header) {
    loadDevices();
    m_recording.clear();
    write(header);
    recordSent({});
}

void host_view::recordSent(const std::map<const script_slot*, std::size_t>& from) {
    for (const auto& slot : m_host.slots()) {
        const std::vector<std::string>& sentLines = slot->record.sent;
        auto start = from.find(slot.get());
        std::size_t first = start != from.end() ? start->second : 0;
        std::string prefix = prefixFor(*slot);
        if (first >= sentLines.size()) {
            write(prefix + "expect nothing sent");
        }
        for (std::size_t i = first; i < sentLines.size(); ++i) {
            const std::string& sent = sentLines[i];
            write(fitsOneLine(sent) ? prefix + "expect sent " + sent
                                    : "# a line that no scenario line can hold was sent here");
        }
    }
}

host_view::shown host_view::capture() {
    shown now;
    for (const auto& slot : m_host.slots()) {
        for (const auto& p : slot->state.panels) {
            now.panels[{slot->name, p.first}] = p.second.file;
            for (const control& c : p.second.controls) {
                for (const auto& property : c.properties) {
                    now.properties[std::make_tuple(slot->name, p.first, c.id, property.first)] =
                        property.second;
                }
            }
        }
        for (const auto& t : slot->state.timers) {
            now.timers.insert({slot->name, t.first});
        }
    }
    for (const auto& entry : m_host.system().devices()) {
        const system_model::loaded_device& d = entry.second;
        if (d.asRouter) {
            for (const auto& x : d.asRouter->crosspoints) {
                now.crosspoints[{entry.first, x.first}] = x.second;
            }
        }
        if (d.asText) {
            for (const auto& t : d.asText->texts) {
                now.texts[{entry.first, t.first}] = t.second;
            }
        }
        if (d.asState) {
            for (const auto& on : d.asState->states) {
                now.states[{entry.first, on.first}] = on.second;
            }
        }
    }
    return now;
}

bool host_view::changesState(const step& s) {
    return !s.isComment() && !s.isExpectation() && s.command->role != scenario_role::session &&
           std::string(s.command->name) != "show";
}

void host_view::run(const step& s) {
    if (!changesState(s)) {
        m_runner.run(s);
        return;
    }
    shown before = capture();
    // Where this step's lines will start: the runner starts a script's record afresh at an
    // event when expectations looked at it since its last one.
    std::map<const script_slot*, std::size_t> from;
    for (const auto& slot : m_host.slots()) {
        from[slot.get()] = slot->record.expected ? 0 : slot->record.sent.size();
    }
    // The step goes into the recording before it runs: a run that dies in it still has it.
    ++m_recordedSteps;
    write("");
    write(s.source);
    m_runner.run(s);
    recordOutcome(s, before, from);
}

bool host_view::perform(const std::string& text, std::string& error) {
    step s;
    if (!parseStep(text, s, error)) {
        if (error.empty()) {
            error = "an empty command";
        }
        return false;
    }
    run(s);
    return true;
}

void host_view::recordOutcome(const step& s, const shown& before,
                              const std::map<const script_slot*, std::size_t>& from) {
    recordSent(from);
    script_slot* target = m_host.slot(s.target);
    if (std::string(s.command->name) == "parent" && target != nullptr &&
        target->record.parentGiven) {
        const script_record& record = target->record;
        std::string answer;
        if (!record.answered) {
            write(prefixFor(*target) + "expect no answer");
        } else if (scenarioText(record.answer, answer) && fitsOneLine(answer)) {
            write(prefixFor(*target) + "expect answer " + answer);
        }
    }
    shown after = capture();
    auto slotPrefix = [this](const std::string& name) {
        script_slot* slot = m_host.slot(name);
        return slot != nullptr ? prefixFor(*slot) : std::string();
    };
    for (const auto& p : before.panels) {
        if (after.panels.count(p.first) == 0) {
            std::string panel;
            if (scenarioWord(p.first.second, panel)) {
                write(slotPrefix(p.first.first) + "expect panel " + panel + " closed");
            }
        }
    }
    for (const auto& p : after.panels) {
        auto was = before.panels.find(p.first);
        std::string panel;
        std::string file;
        if ((was == before.panels.end() || was->second != p.second) &&
            scenarioWord(p.first.second, panel) && scenarioWord(p.second, file)) {
            write(slotPrefix(p.first.first) + "expect panel " + panel + " open " + file);
        }
    }
    for (const auto& p : after.properties) {
        auto was = before.properties.find(p.first);
        if (was != before.properties.end() && was->second == p.second) {
            continue;
        }
        std::string panel;
        std::string id;
        std::string value;
        const std::string& name = std::get<3>(p.first);
        if (scenarioWord(std::get<1>(p.first), panel) && scenarioWord(std::get<2>(p.first), id) &&
            !name.empty() && name.find_first_of("= \t'") == std::string::npos &&
            scenarioText(p.second, value) && !hasEdgeBlank(value)) {
            write(slotPrefix(std::get<0>(p.first)) + "expect control " + panel + " " + id + " " +
                  name + "=" + value);
        }
    }
    for (const auto& x : after.crosspoints) {
        auto was = before.crosspoints.find(x.first);
        if (was == before.crosspoints.end() || was->second != x.second) {
            write("expect crosspoint " + std::to_string(x.first.first) + " " +
                  std::to_string(x.second) + " " + std::to_string(x.first.second));
        }
    }
    for (const auto& t : after.texts) {
        auto was = before.texts.find(t.first);
        std::string text;
        if ((was == before.texts.end() || was->second != t.second) &&
            scenarioText(t.second, text) && !hasEdgeBlank(text)) {
            write("expect slot " + std::to_string(t.first.first) + " " +
                  std::to_string(t.first.second) + (text.empty() ? "" : " " + text));
        }
    }
    for (const auto& on : after.states) {
        auto was = before.states.find(on.first);
        if (was == before.states.end() ? on.second : was->second != on.second) {
            write("expect state " + std::to_string(on.first.first) + " " +
                  std::to_string(on.first.second) + (on.second ? " on" : " off"));
        }
    }
    for (const auto& t : before.timers) {
        if (after.timers.count(t) == 0) {
            write(slotPrefix(t.first) + "expect timer " + std::to_string(t.second) + " stopped");
        }
    }
    for (const auto& t : after.timers) {
        if (before.timers.count(t) == 0) {
            write(slotPrefix(t.first) + "expect timer " + std::to_string(t.second) + " running");
        }
    }
}

json host_view::state() {
    json scripts = json::array();
    for (const auto& slot : m_host.slots()) {
        const script_record& record = slot->record;
        json panels = json::array();
        for (const auto& p : slot->state.panels) {
            json controls = json::array();
            for (const control& c : p.second.controls) {
                json properties = json::array();
                for (const auto& property : c.properties) {
                    properties.push_back({property.first, property.second});
                }
                controls.push_back({{"id", c.id}, {"properties", properties}});
            }
            panels.push_back({{"panel", p.first}, {"file", p.second.file}, {"controls", controls}});
        }
        json timers = json::array();
        for (const auto& t : slot->state.timers) {
            timers.push_back(
                {{"id", t.first}, {"interval", t.second.interval}, {"due", t.second.due}});
        }
        scripts.push_back({{"name", slot->name},
                           {"alive", slot->script != nullptr},
                           {"parentGiven", record.parentGiven},
                           {"answered", record.answered},
                           {"answer", record.answer},
                           {"panels", panels},
                           {"timers", timers}});
    }
    json devices = json::array();
    for (const auto& entry : m_host.system().devices()) {
        const system_model::loaded_device& d = entry.second;
        if (d.asRouter) {
            devices.push_back(routerState(*d.asRouter));
        } else if (d.asText) {
            const text_device& t = *d.asText;
            json slots = json::array();
            for (int i = 1; i <= t.slots; ++i) {
                slots.push_back({{"index", i}, {"text", t.text(i)}});
            }
            devices.push_back(
                {{"device", t.device}, {"kind", "text"}, {"name", t.name}, {"slots", slots}});
        } else if (d.asState) {
            const state_device& g = *d.asState;
            json indices = json::array();
            for (int i = 1; i <= g.indices; ++i) {
                indices.push_back({{"index", i}, {"on", g.on(i)}});
            }
            devices.push_back(
                {{"device", g.device}, {"kind", "state"}, {"name", g.name}, {"indices", indices}});
        }
    }
    json problems = json::array();
    for (const auto& p : m_host.problems()) {
        problems.push_back({{"where", p.where}, {"what", p.what}});
    }
    return {{"type", "state"},
            {"clock", m_host.now()},
            {"scripts", scripts},
            {"devices", devices},
            {"problems", problems},
            {"failedChecks", m_runner.failures()},
            {"recordedSteps", m_recordedSteps}};
}

json host_view::transcriptSince(std::size_t& offset) const {
    return transcriptLines(m_out.text(), offset);
}

json transcriptLines(const std::string& text, std::size_t& offset) {
    json lines = json::array();
    if (offset > text.size()) {
        offset = 0;
    }
    std::size_t end = text.rfind('\n');
    if (end == std::string::npos || end < offset) {
        return lines;
    }
    std::size_t start = offset;
    while (start <= end) {
        std::size_t newline = text.find('\n', start);
        std::string one = text.substr(start, newline - start);
        lines.push_back({{"text", one}, {"problem", isProblemLine(one)}});
        start = newline + 1;
    }
    offset = end + 1;
    return lines;
}

} // namespace vesk_host
