#include "web_message.h"

#include <nlohmann/json.hpp>

#include "scenario_parser.h"

namespace vesk_host {

namespace {

using json = nlohmann::json;

const std::size_t wordLimit = 256;

bool isControlCharacter(char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
}

bool stringMember(const json& message, const char* name, std::string& out, std::string& error) {
    auto found = message.find(name);
    if (found == message.end()) {
        error = std::string("\"") + name + "\" is missing";
        return false;
    }
    if (!found->is_string()) {
        error = std::string("\"") + name + "\" must be a string";
        return false;
    }
    out = found->get<std::string>();
    return true;
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
    if (!stringMember(parsed, "do", verb, error)) {
        return false;
    }
    if (verb == "recording") {
        out.what = web_request::kind::recording;
        return true;
    }
    if (verb != "command") {
        error = "unknown request \"" + verb + "\"";
        return false;
    }
    if (!stringMember(parsed, "line", out.line, error)) {
        return false;
    }
    for (char c : out.line) {
        if (isControlCharacter(c) && c != '\t') {
            error = "a command is one line";
            return false;
        }
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
