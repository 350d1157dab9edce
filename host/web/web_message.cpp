#include "web_message.h"

#include <climits>

#include <nlohmann/json.hpp>

#include "scenario_parser.h"

namespace vesk_host {

namespace {

using json = nlohmann::json;

const std::size_t wordLimit = 256;

bool isControlCharacter(char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
}

// A string member; `optional` lets it be absent (left empty).
bool stringField(const json& message, const char* name, bool optional, std::string& out,
                 std::string& error) {
    auto found = message.find(name);
    if (found == message.end()) {
        if (!optional) {
            error = std::string("\"") + name + "\" is missing";
        }
        return optional;
    }
    if (!found->is_string()) {
        error = std::string("\"") + name + "\" must be a string";
        return false;
    }
    out = found->get<std::string>();
    return true;
}

bool numberField(const json& message, const char* name, long long low, long long high,
                 long long& out, std::string& error) {
    auto found = message.find(name);
    if (found == message.end()) {
        error = std::string("\"") + name + "\" is missing";
        return false;
    }
    if (!found->is_number_integer()) {
        error = std::string("\"") + name + "\" must be a whole number";
        return false;
    }
    // Positive numbers arrive unsigned; anything past `high` must not wrap on the way.
    bool inRange = false;
    if (found->is_number_unsigned()) {
        unsigned long long value = found->get<unsigned long long>();
        inRange = value <= static_cast<unsigned long long>(high);
        out = inRange ? static_cast<long long>(value) : 0;
    } else {
        long long value = found->get<long long>();
        inRange = value >= low && value <= high;
        out = value;
    }
    if (!inRange) {
        error = std::string("\"") + name + "\" is out of range";
    }
    return inRange;
}

bool wordField(const json& message, const char* name, std::string& word, std::string& error) {
    std::string text;
    if (!stringField(message, name, false, text, error)) {
        return false;
    }
    if (!scenarioWord(text, word)) {
        error = std::string("\"") + name + "\" must be 1 to 256 characters, no quote or control";
        return false;
    }
    return true;
}

// "@name " when the message names a script.
bool targetPrefix(const json& message, std::string& prefix, std::string& error) {
    std::string name;
    if (!stringField(message, "script", true, name, error)) {
        return false;
    }
    prefix.clear();
    if (name.empty()) {
        return true;
    }
    std::string word;
    if (!scenarioWord(name, word) || word != name) {
        error = "\"script\" must be a script name without blanks";
        return false;
    }
    prefix = "@" + name + " ";
    return true;
}

bool textField(const json& message, const char* name, bool optional, std::string& escaped,
               std::string& error) {
    std::string text;
    if (!stringField(message, name, optional, text, error)) {
        return false;
    }
    if (!scenarioText(text, escaped)) {
        error = std::string("\"") + name + "\" holds control characters";
        return false;
    }
    return true;
}

bool buildLine(const json& message, const std::string& verb, std::string& line,
               std::string& error) {
    std::string prefix;
    if (!targetPrefix(message, prefix, error)) {
        return false;
    }
    if (verb == "press") {
        std::string panel;
        std::string control;
        std::string caption;
        if (!wordField(message, "panel", panel, error) ||
            !wordField(message, "control", control, error) ||
            !textField(message, "caption", true, caption, error)) {
            return false;
        }
        line = prefix + "press " + panel + " " + control + (caption.empty() ? "" : " " + caption);
        return true;
    }
    if (verb == "route") {
        long long device = 0;
        long long source = 0;
        long long destination = 0;
        if (!numberField(message, "device", INT_MIN, INT_MAX, device, error) ||
            !numberField(message, "source", INT_MIN, INT_MAX, source, error) ||
            !numberField(message, "destination", INT_MIN, INT_MAX, destination, error)) {
            return false;
        }
        line = prefix + "route " + std::to_string(device) + " " + std::to_string(source) + " " +
               std::to_string(destination);
        return true;
    }
    if (verb == "write") {
        long long device = 0;
        long long index = 0;
        std::string text;
        if (!numberField(message, "device", INT_MIN, INT_MAX, device, error) ||
            !numberField(message, "slot", INT_MIN, INT_MAX, index, error) ||
            !textField(message, "text", true, text, error)) {
            return false;
        }
        line = prefix + "write " + std::to_string(device) + " " + std::to_string(index) +
               (text.empty() ? "" : " " + text);
        return true;
    }
    if (verb == "state") {
        long long device = 0;
        long long index = 0;
        auto on = message.find("on");
        if (!numberField(message, "device", INT_MIN, INT_MAX, device, error) ||
            !numberField(message, "index", INT_MIN, INT_MAX, index, error)) {
            return false;
        }
        if (on == message.end() || !on->is_boolean()) {
            error = "\"on\" must be true or false";
            return false;
        }
        line = prefix + "state " + std::to_string(device) + " " + std::to_string(index) +
               (on->get<bool>() ? " on" : " off");
        return true;
    }
    if (verb == "parent") {
        std::string text;
        if (!textField(message, "text", false, text, error)) {
            return false;
        }
        line = prefix + "parent" + (text.empty() ? "" : " " + text);
        return true;
    }
    if (verb == "advance") {
        long long ms = 0;
        if (!numberField(message, "ms", 0, 1000000000000LL, ms, error)) {
            return false;
        }
        line = prefix + "advance " + std::to_string(ms);
        return true;
    }
    if (verb == "command") {
        if (!stringField(message, "line", false, line, error)) {
            return false;
        }
        for (char c : line) {
            if (isControlCharacter(c) && c != '\t') {
                error = "a command is one line";
                return false;
            }
        }
        return true;
    }
    error = "unknown request \"" + verb + "\"";
    return false;
}

} // namespace

bool scenarioWord(const std::string& text, std::string& word) {
    if (text.empty() || text.size() > wordLimit) {
        return false;
    }
    bool blank = false;
    for (char c : text) {
        if (c == '\'' || isControlCharacter(c)) {
            return false;
        }
        blank = blank || c == ' ';
    }
    word = blank ? "'" + text + "'" : text;
    return true;
}

bool scenarioText(const std::string& text, std::string& escaped) {
    escaped.clear();
    for (char c : text) {
        if (c == '\\') {
            escaped += "\\\\";
        } else if (c == '\n') {
            escaped += "\\n";
        } else if (c == '\t') {
            escaped += "\\t";
        } else if (isControlCharacter(c)) {
            return false;
        } else {
            escaped += c;
        }
    }
    return true;
}

bool readWebMessage(const std::string& message, web_request& out, std::string& error) {
    out = web_request();
    error.clear();
    if (message.size() > webMessageLimit) {
        error = "message longer than " + std::to_string(webMessageLimit) + " bytes";
        return false;
    }
    json parsed = json::parse(message, nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object()) {
        error = "not a JSON object";
        return false;
    }
    std::string verb;
    if (!stringField(parsed, "do", false, verb, error)) {
        return false;
    }
    if (verb == "recording") {
        out.what = web_request::kind::recording;
        return true;
    }
    if (!buildLine(parsed, verb, out.line, error)) {
        return false;
    }
    // The line must be one step the runner takes; ending the run is not the page's to ask.
    step s;
    std::string why;
    if (!parseStep(out.line, s, why)) {
        error = why.empty() ? "an empty command" : why;
        return false;
    }
    if (s.isComment()) {
        error = "a comment does nothing";
        return false;
    }
    if (std::string(s.command->name) == "quit") {
        error = "the page cannot end the run";
        return false;
    }
    return true;
}

} // namespace vesk_host
