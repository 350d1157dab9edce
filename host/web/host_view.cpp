#include "host_view.h"

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

// Writes a device's state into the JSON object it is given, records into lists.
class json_page_writer : public page_writer {
public:
    explicit json_page_writer(json& object) : m_open{&object} {}

    void number(const char* key, int value) override { put(key, value); }
    void flag(const char* key, bool value) override { put(key, value); }
    void text(const char* key, const std::string& value) override { put(key, value); }
    void list(const char* key) override {
        json& open = *m_open.back();
        open[key] = json::array();
        m_open.push_back(&open[key]);
    }
    void item(const std::string& value) override { m_open.back()->push_back(value); }
    void record() override {
        json& open = *m_open.back();
        open.push_back(json::object());
        m_open.push_back(&open.back());
    }
    void end() override {
        if (m_open.size() > 1) {
            m_open.pop_back();
        }
    }

private:
    template <class value> void put(const char* key, const value& v) { (*m_open.back())[key] = v; }

    std::vector<json*> m_open;
};

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
    m_host.system().findAll();
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
        if (entry.second) {
            now.devices[entry.first] = entry.second->recorded();
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
    // Kind by kind, each device's indices that changed, left or entered what it records.
    for (const device_type* type : deviceTypes()) {
        for (const auto& entry : m_host.system().devices()) {
            const device* d = entry.second.get();
            if (d == nullptr || &d->type() != type) {
                continue;
            }
            static const std::map<int, std::string> none;
            auto was = before.devices.find(entry.first);
            const auto& old = was != before.devices.end() ? was->second : none;
            const auto& now = after.devices[entry.first];
            std::set<int> indices;
            for (const auto& held : old) {
                indices.insert(held.first);
            }
            for (const auto& held : now) {
                indices.insert(held.first);
            }
            for (int index : indices) {
                auto a = old.find(index);
                auto b = now.find(index);
                if ((a == old.end()) == (b == now.end()) &&
                    (a == old.end() || a->second == b->second)) {
                    continue;
                }
                scenario_check check = d->expectation(index);
                std::string text;
                if (!check.hasText) {
                    write(check.line);
                } else if (scenarioText(check.text, text) && !hasEdgeBlank(text)) {
                    write(check.line + (text.empty() ? "" : " " + text));
                }
            }
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
        if (const device* d = entry.second.get()) {
            json one = {{"device", d->number()}, {"kind", d->type().name}, {"name", d->name()}};
            json_page_writer writer(one);
            d->page(writer);
            devices.push_back(one);
        }
    }
    json problems = json::array();
    for (const auto& p : m_host.problems()) {
        problems.push_back({{"where", p.where}, {"what", p.what}});
    }
    return stateMessage(m_host.now(), scripts, devices, problems, m_runner.failures(),
                        m_recordedSteps);
}

json stateMessage(long long clock, json scripts, json devices, json problems, int failedChecks,
                  std::size_t recordedSteps) {
    return {{"type", "state"},
            {"clock", clock},
            {"scripts", std::move(scripts)},
            {"devices", std::move(devices)},
            {"problems", std::move(problems)},
            {"failedChecks", failedChecks},
            {"recordedSteps", recordedSteps}};
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
