// What the page may ask of vesk-host over its socket: {"do":"command","line":LINE}, one scenario
// line as a scenario file holds it, or {"do":"recording"}. A press on the page and a line typed
// in are the same step, read by the same parser and recorded the same way.
#pragma once

#include <string>

namespace vesk_host {

struct web_request {
    enum class kind {
        perform,   // run `line`, one scenario step
        recording, // send back the scenario recorded so far
    };
    kind what = kind::perform;
    std::string line;
};

// Messages longer than this are refused unread.
const std::size_t webMessageLimit = 16 * 1024;

// Reads one message from the page. False, with `error` saying why, for anything that is not a
// well-formed request; the text comes from an untrusted peer and is never trusted further.
bool readWebMessage(const std::string& message, web_request& out, std::string& error);

// A scenario word for `text`: quoted when it holds blanks. False when no word can carry it.
bool scenarioWord(const std::string& text, std::string& word);
// `text` as the text operand of a scenario line: \, line feeds and tabs escaped. False when it
// holds other control characters.
bool scenarioText(const std::string& text, std::string& escaped);

} // namespace vesk_host
