// The readable record of a run: scenario lines, then, indented beneath each, what crossed the
// host link in order (events in, lines out, replies, debug output, the host's own notes and
// release problems). Everything written is also kept for the JUnit report.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <utility>

namespace vesk_host {

class transcript {
public:
    // `out` null: keep the record without printing it.
    explicit transcript(std::ostream* out) : m_out(out) {}

    // A comment of the scenario; `newBlock` sets it apart from the comment before it.
    void comment(const std::string& text, bool newBlock);
    // A scenario line, with its number (0 for lines from no file).
    void step(int line, const std::string& text);
    // One thing under the current step: `tag` says what ("in", "out", "reply", "debug",
    // "host", "answer", "PROBLEM"), `who` names the script when several run side by side.
    // Multi-line text is continued under itself.
    void entry(const char* tag, const std::string& who, const std::string& text);
    // An expectation and whether it held; `message` explains a failure.
    void verdict(int line, const std::string& text, bool held, const std::string& message);
    void plain(const std::string& text);

    const std::string& text() const { return m_text; }
    // Also hands everything written from now on to `mirror`, as it is written: a supervisor
    // keeps the record of a run that dies.
    void mirrorTo(std::function<void(const std::string&)> mirror) { m_mirror = std::move(mirror); }

private:
    void write(const std::string& text);

    std::ostream* m_out;
    std::string m_text;
    std::function<void(const std::string&)> m_mirror;
    bool m_inComment = false;
};

} // namespace vesk_host
