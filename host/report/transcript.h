// The readable record of a run: scenario lines, then, indented beneath each, what crossed the
// host link in order (events in, lines out, replies, debug output, the host's own notes and
// release problems). It is printed as it is written, and its head and tail are kept for the
// JUnit report and the page.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <utility>

#include "kept_text.h"

namespace vesk_host {

class transcript {
public:
    // What is kept of a run: the first and the last this many bytes.
    static const std::size_t keptHead = 1024 * 1024;
    static const std::size_t keptTail = 1024 * 1024;
    // What waits, while a call into a script runs, for a reader that does not keep up.
    static const std::size_t heldLimit = 8 * 1024 * 1024;

    // `out` null: keep the record without printing it.
    explicit transcript(std::ostream* out);
    ~transcript();
    transcript(const transcript&) = delete;
    transcript& operator=(const transcript&) = delete;

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

    // A call into a script runs between these. Meanwhile printing never waits for the reader
    // of the output, since a watchdog would count the wait against the script: what the
    // reader does not take at once is held, in order, and printed once the call returns.
    // Beyond heldLimit it is not printed, and a line says how much was left out.
    void enterCall();
    void leaveCall();

    // What is kept: the head and the tail, with a note of what was cut between them.
    std::string text() const { return m_kept.text(); }
    // What was written from byte `from` on, as kept; `from` moves on to the end.
    std::string since(std::uint64_t& from) const { return m_kept.since(from); }
    // Every byte written so far, kept or cut.
    std::uint64_t written() const { return m_kept.written(); }
    // Also hands everything written from now on to `mirror`, as it is written: a supervisor
    // keeps the record of a run that dies.
    void mirrorTo(std::function<void(const std::string&)> mirror) { m_mirror = std::move(mirror); }

    // Held output, for a process that ends in the middle of a call.
    struct held_output {
        std::unique_ptr<char[]> data;
        std::atomic<std::size_t> begin{0};
        std::atomic<std::size_t> end{0};
        std::atomic<std::uint64_t> dropped{0};
    };

private:
    void write(const std::string& text);
    void print(const std::string& text);
    void hold(const char* data, std::size_t size);
    // Prints what is held as far as the reader takes it without waiting; true when all was.
    bool printHeldNow();
    void printHeld();

    std::ostream* m_out;
    int m_fd = -1;           // the descriptor behind m_out when it is standard output
    std::size_t m_chunk = 0; // what one write to m_fd takes without waiting; 0: none
    kept_text m_kept{keptHead, keptTail};
    std::function<void(const std::string&)> m_mirror;
    held_output m_held;
    int m_calls = 0;
    bool m_inComment = false;
};

// Prints what the transcript on standard output holds back from a call that has not
// returned, and a line for what it left out. Async-signal-safe: for a crash handler, before
// the run's report.
void printHeldTranscript() noexcept;

} // namespace vesk_host
