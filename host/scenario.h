// Scenarios: a line-based script of events into the scripts and expectations about what they
// did. The same lines drive the interactive mode.
#pragma once

#include <string>
#include <vector>

#include "emulated_host.h"
#include "transcript.h"

namespace vesk_host {

enum class action {
    comment,
    create,
    destroy,
    parent,
    press,
    revertive,
    secondary,
    hostEvent,
    route,
    advance,
    timer,
    show,
    help,
    quit,
    expectSent,
    expectNothingSent,
    expectAnswer,
    expectNoAnswer,
    expectControl,
    expectPanelOpen,
    expectPanelClosed,
    expectCrosspoint,
    expectDebug,
    expectNoDebug,
    expectTimer,
};

struct step {
    int line = 0;
    std::string source; // the line as written, blanks trimmed
    action what = action::comment;
    std::string target; // the script named with "@name", or empty for the first
    std::vector<std::string> words;
    std::vector<long long> numbers;
    std::string text; // the rest of the line, where the command takes one
    bool hasText = false;
    bool flag = false;       // "running" for a timer expectation
    bool afterBlank = false; // a blank line comes before it in the file

    bool isExpectation() const { return what >= action::expectSent; }
};

// Parses one line. Returns false for a blank line, and false with `error` set for a malformed
// one.
bool parseStep(const std::string& line, step& out, std::string& error);

// Reads and parses a whole scenario file; every malformed line is reported as
// "file:line: what is wrong".
bool loadScenario(const std::string& path, std::vector<step>& steps,
                  std::vector<std::string>& errors);

// The command reference that `help` and `--help` print.
std::string scenarioHelp();

class scenario_runner {
public:
    scenario_runner(emulated_host& host, transcript& out, std::string file);

    void run(const step& s);
    // Closes the checks still open; call once after the last step.
    void finish();

    struct check {
        std::string where; // file:line
        std::string what;  // the scenario line
        bool held = true;
        std::string message;
    };
    const std::vector<check>& checks() const { return m_checks; }
    int failures() const;
    bool quitRequested() const { return m_quit; }

private:
    void perform(const step& s, script_slot& target);
    void expect(const step& s, script_slot& target);
    script_slot* resolve(const step& s);
    void record(const step& s, bool held, const std::string& message);
    void fail(const std::string& where, const std::string& what, const std::string& message);
    void closeSentCheck();

    emulated_host& m_host;
    transcript& m_out;
    std::string m_file;
    std::vector<check> m_checks;
    bool m_quit = false;
    // The expectations that follow events look at what a script did since the block of
    // expectations before them. A run of "expect sent" lines takes the lines sent in order;
    // when the run ends, no line may be left over.
    host_link* m_sentOpen = nullptr;
    std::string m_sentWhere;
    std::string m_sentWhat;
};

} // namespace vesk_host
