#include "host_view.h"

#include "serve.h"
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

// Appends `value` to `out` as a JSON string. Bytes that are not UTF-8 become U+FFFD, as
// jsonText() replaces them.
void appendString(std::string& out, const std::string& value) {
    out += '"';
    const unsigned char* at = reinterpret_cast<const unsigned char*>(value.data());
    const unsigned char* end = at + value.size();
    while (at < end) {
        unsigned char c = *at;
        if (c >= 0x80) {
            // The length of a well-formed sequence starting here; 0 when there is none.
            std::size_t length = 0;
            unsigned char low = 0x80;
            unsigned char high = 0xbf;
            if (c >= 0xc2 && c <= 0xdf) {
                length = 2;
            } else if (c >= 0xe0 && c <= 0xef) {
                length = 3;
                low = c == 0xe0 ? 0xa0 : 0x80;
                high = c == 0xed ? 0x9f : 0xbf;
            } else if (c >= 0xf0 && c <= 0xf4) {
                length = 4;
                low = c == 0xf0 ? 0x90 : 0x80;
                high = c == 0xf4 ? 0x8f : 0xbf;
            }
            bool whole = length != 0 && static_cast<std::size_t>(end - at) >= length &&
                         at[1] >= low && at[1] <= high;
            for (std::size_t i = 2; whole && i < length; ++i) {
                whole = at[i] >= 0x80 && at[i] <= 0xbf;
            }
            if (whole) {
                out.append(reinterpret_cast<const char*>(at), length);
                at += length;
            } else {
                out += "\xef\xbf\xbd";
                ++at;
            }
            continue;
        }
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            if (c < 0x20 || c == 0x7f) {
                static const char digits[] = "0123456789abcdef";
                out += "\\u00";
                out += digits[c >> 4];
                out += digits[c & 15];
            } else {
                out += static_cast<char>(c);
            }
        }
        ++at;
    }
    out += '"';
}

} // namespace

// JSON text written straight into a string, without a document in between: the state is
// written after every step, and building and freeing a document was most of its cost.
class json_text {
public:
    explicit json_text(std::string& out) : m_out(out) {}

    void open(char bracket) {
        next();
        m_out += bracket;
        m_closers.push_back(bracket == '{' ? '}' : ']');
        m_first.push_back(true);
    }
    void close() {
        m_out += m_closers.back();
        m_closers.pop_back();
        m_first.pop_back();
    }
    void key(const char* name) {
        next();
        appendString(m_out, name);
        m_out += ':';
        m_afterKey = true;
    }
    void value(const std::string& v) {
        next();
        appendString(m_out, v);
    }
    void value(const char* v) { value(std::string(v)); }
    void value(long long v) {
        next();
        m_out += std::to_string(v);
    }
    void value(bool v) {
        next();
        m_out += v ? "true" : "false";
    }
    template <class type> void field(const char* name, const type& v) {
        key(name);
        value(v);
    }
    void field(const char* name, int v) { field(name, static_cast<long long>(v)); }
    void field(const char* name, std::size_t v) { field(name, static_cast<long long>(v)); }

private:
    // A comma before every element but the first; none after a key.
    void next() {
        if (m_afterKey) {
            m_afterKey = false;
            return;
        }
        if (!m_first.empty()) {
            if (!m_first.back()) {
                m_out += ',';
            }
            m_first.back() = false;
        }
    }

    std::string& m_out;
    std::vector<char> m_closers;
    std::vector<bool> m_first;
    bool m_afterKey = false;
};

namespace {

// Writes a device's state into the open JSON object, records into lists.
class json_page_writer : public page_writer {
public:
    explicit json_page_writer(json_text& out) : m_out(out) {}

    void number(const char* key, int value) override { m_out.field(key, value); }
    void flag(const char* key, bool value) override { m_out.field(key, value); }
    void text(const char* key, const std::string& value) override { m_out.field(key, value); }
    void list(const char* key) override {
        m_out.key(key);
        m_out.open('[');
        ++m_depth;
    }
    void item(const std::string& value) override { m_out.value(value); }
    void record() override {
        m_out.open('{');
        ++m_depth;
    }
    void end() override {
        if (m_depth > 0) {
            m_out.close();
            --m_depth;
        }
    }
    // Closes what the device left open.
    void finish() {
        while (m_depth > 0) {
            end();
        }
    }

private:
    json_text& m_out;
    int m_depth = 0;
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

host_view::~host_view() {
    if (m_recording != nullptr) {
        std::fclose(m_recording);
    }
}

void host_view::write(const std::string& text) {
    if (m_recording != nullptr &&
        (std::fwrite(text.data(), 1, text.size(), m_recording) != text.size() ||
         std::fputc('\n', m_recording) == EOF)) {
        m_recordingFailed = true;
    }
}

void host_view::flushRecording() {
    if (m_recording != nullptr && std::fflush(m_recording) != 0) {
        m_recordingFailed = true;
    }
}

bool host_view::endRecording() {
    if (m_recording == nullptr) {
        return !m_recordingFailed;
    }
    flushRecording();
    if (!m_recordingPath.empty()) {
        if (std::fclose(m_recording) != 0) {
            m_recordingFailed = true;
        }
        m_recording = nullptr;
    }
    return !m_recordingFailed;
}

bool host_view::recording(std::string& text, std::string& why) {
    if (m_recording == nullptr && m_recordingPath.empty()) {
        why = "nothing was recorded";
        return false;
    }
    flushRecording();
    if (!m_recordingPath.empty()) {
        return readRecording(m_recordingPath, recordingSendLimit, text, why);
    }
    // A file of its own has no name: it is read where it is.
    long size = std::ftell(m_recording);
    if (size < 0 || std::fseek(m_recording, 0, SEEK_SET) != 0) {
        why = "the recording cannot be read back";
        return false;
    }
    bool read = false;
    if (static_cast<unsigned long>(size) > recordingSendLimit) {
        why = "the recording is " + std::to_string(size / (1024 * 1024)) +
              " MiB, more than a browser is sent: record it with --record FILE";
    } else {
        text.resize(static_cast<std::size_t>(size));
        read = std::fread(&text[0], 1, text.size(), m_recording) == text.size();
        if (!read) {
            why = "the recording cannot be read back";
        }
    }
    std::fseek(m_recording, 0, SEEK_END);
    return read;
}

bool readRecording(const std::string& path, std::size_t limit, std::string& text,
                   std::string& why) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        why = "the recording cannot be read from " + path;
        return false;
    }
    text.clear();
    char buffer[65536];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        if (text.size() + got > limit) {
            std::fclose(file);
            text.clear();
            why = "the recording is more than " + std::to_string(limit / (1024 * 1024)) +
                  " MiB, more than a browser is sent; it is in " + path;
            return false;
        }
        text.append(buffer, got);
    }
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        why = "the recording cannot be read from " + path;
    }
    return !failed;
}

std::string host_view::prefixFor(const script_slot& slot) const {
    return m_host.slots().front().get() == &slot ? std::string() : "@" + slot.name + " ";
}

void host_view::begin(const std::string& header, const std::string& path) {
    m_host.system().findAll();
    m_instances = m_host.system().instances();
    m_recordingPath = path;
    m_recording = path.empty() ? std::tmpfile() : std::fopen(path.c_str(), "wb");
    m_recordingFailed = m_recording == nullptr;
    write(header);
    recordSent({});
    flushRecording();
    m_shown = capture();
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
    // What the page showed after the last step is what this one starts from: nothing that is
    // not a recorded step changes it.
    shown before = std::move(m_shown);
    // Where this step's lines will start: the runner starts a script's record afresh at an
    // event when expectations looked at it since its last one.
    std::map<const script_slot*, std::size_t> from;
    for (const auto& slot : m_host.slots()) {
        from[slot.get()] = slot->record.expected ? 0 : slot->record.sent.size();
    }
    // The step goes into the recording before it runs: a run that dies in it still has it.
    if (std::string(s.command->name) == "parent") {
        script_slot* target = m_host.slot(s.target);
        if (target != nullptr) {
            m_parentTexts[target->name] = s.text;
        }
    }
    ++m_recordedSteps;
    write("");
    write(s.source);
    flushRecording();
    m_runner.run(s);
    m_shown = capture();
    recordOutcome(s, before, m_shown, from);
    flushRecording();
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

void host_view::recordOutcome(const step& s, const shown& before, const shown& after,
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
            auto is = after.devices.find(entry.first);
            const auto& now = is != after.devices.end() ? is->second : none;
            if (old == now) {
                continue;
            }
            // Both are ordered by index: one walk finds what changed, left or entered.
            std::vector<int> changed;
            auto a = old.begin();
            auto b = now.begin();
            while (a != old.end() || b != now.end()) {
                if (b == now.end() || (a != old.end() && a->first < b->first)) {
                    changed.push_back((a++)->first);
                } else if (a == old.end() || b->first < a->first) {
                    changed.push_back((b++)->first);
                } else {
                    if (a->second != b->second) {
                        changed.push_back(a->first);
                    }
                    ++a;
                    ++b;
                }
            }
            for (int index : changed) {
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
    return json::parse(stateText(), nullptr, false);
}

std::string host_view::stateText() const {
    std::string text;
    json_text out(text);
    out.open('{');
    out.field("type", "state");
    out.field("clock", m_host.now());
    out.key("scripts");
    out.open('[');
    for (const auto& slot : m_host.slots()) {
        const script_record& record = slot->record;
        auto asked = m_parentTexts.find(slot->name);
        out.open('{');
        out.field("name", slot->name);
        out.field("alive", slot->script != nullptr);
        out.field("parentGiven", record.parentGiven);
        out.field("parentText", asked != m_parentTexts.end() ? asked->second : std::string());
        out.field("answered", record.answered);
        out.field("answer", record.answer);
        out.key("panels");
        out.open('[');
        for (const auto& p : slot->state.panels) {
            out.open('{');
            out.field("panel", p.first);
            out.field("file", p.second.file);
            out.key("controls");
            out.open('[');
            for (const control& c : p.second.controls) {
                out.open('{');
                out.field("id", c.id);
                out.key("properties");
                out.open('[');
                for (const auto& property : c.properties) {
                    out.open('[');
                    out.value(property.first);
                    out.value(property.second);
                    out.close();
                }
                out.close();
                out.close();
            }
            out.close();
            out.close();
        }
        out.close();
        out.key("timers");
        out.open('[');
        for (const auto& t : slot->state.timers) {
            out.open('{');
            out.field("id", t.first);
            out.field("interval", t.second.interval);
            out.field("due", t.second.due);
            out.close();
        }
        out.close();
        out.close();
    }
    out.close();
    out.key("devices");
    out.open('[');
    for (const auto& entry : m_host.system().devices()) {
        if (const device* d = entry.second.get()) {
            out.open('{');
            out.field("device", d->number());
            out.field("kind", d->type().name);
            out.field("name", d->name());
            json_page_writer writer(out);
            d->page(writer);
            writer.finish();
            instancesOf(out, d->number());
            registeredFor(out, *d);
            out.close();
        }
    }
    out.close();
    // The first and the last problems: a run that warns at every step must not make every
    // state grow.
    const auto& problems = m_host.problems();
    const std::size_t ends = problemsShown / 2;
    out.key("problems");
    out.open('[');
    for (std::size_t i = 0; i < problems.size(); ++i) {
        if (problems.size() > problemsShown && i == ends) {
            i = problems.size() - ends;
        }
        out.open('{');
        out.field("where", problems[i].where);
        out.field("what", problems[i].what);
        out.close();
    }
    out.close();
    out.field("problemCount", problems.size());
    out.field("failedChecks", m_runner.failures());
    out.field("recordedSteps", m_recordedSteps);
    out.close();
    return text;
}

void host_view::instancesOf(json_text& out, int number) const {
    out.key("instances");
    out.open('[');
    for (const auto& entry : m_instances) {
        // "device offset", as a lookup answers it.
        int device = 0;
        int offset = 0;
        std::string value = trimmed(entry.second);
        std::size_t blank = value.find_first_of(" \t");
        if (parseInt(value.substr(0, blank), device) && device == number) {
            if (blank != std::string::npos) {
                parseInt(trimmed(value.substr(blank)), offset);
            }
            out.open('{');
            out.field("name", entry.first);
            out.field("offset", offset);
            out.close();
        }
    }
    out.close();
}

void host_view::registeredFor(json_text& out, const device& d) const {
    out.key("registered");
    out.open('[');
    for (const auto& slot : m_host.slots()) {
        auto found = slot->state.registrations.find({d.type().family, d.number()});
        if (found == slot->state.registrations.end()) {
            continue;
        }
        for (const auto& range : found->second) {
            out.open('{');
            out.field("script", slot->name);
            out.field("first", range.first);
            out.field("last", range.second);
            out.close();
        }
    }
    out.close();
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
    // The transcript keeps its head and tail: what was cut comes as a line that says so.
    std::uint64_t from = offset;
    std::string written = m_out.since(from);
    offset = static_cast<std::size_t>(from);
    std::size_t start = 0;
    return transcriptLines(written, start);
}

json host_view::greetingTranscript() const {
    // Only the end is read: a new browser costs the same however long the run.
    std::uint64_t written = m_out.written();
    std::uint64_t from = written > greetingLimit ? written - greetingLimit : 0;
    std::uint64_t earlier = from;
    return vesk_host::greetingTranscript(m_out.since(from), earlier);
}

std::string transcriptLinesText(const std::string& text) {
    std::string lines;
    lines.reserve(text.size() + text.size() / 4);
    json_text out(lines);
    out.open('[');
    std::size_t start = 0;
    std::size_t newline = 0;
    while ((newline = text.find('\n', start)) != std::string::npos) {
        std::string one = text.substr(start, newline - start);
        out.open('{');
        out.field("text", one);
        out.field("problem", isProblemLine(one));
        out.close();
        start = newline + 1;
    }
    out.close();
    return lines;
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
