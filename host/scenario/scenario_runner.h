// Carries out parsed scenario steps against the emulated host and keeps the verdicts.
#pragma once

#include <string>
#include <vector>

#include "emulated_host.h"
#include "scenario_parser.h"
#include "transcript.h"

namespace vesk_host {

// How long the runner waits after an event for the answers of devices whose state lives
// elsewhere (routers in Ember+ providers) to what the event asked of them.
const long long providerAnswerMs = 2000;

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
        bool expectation = true; // false for an event that could not be carried out
    };
    const std::vector<check>& checks() const { return m_checks; }
    int failures() const;
    // What the run's one summary line counts: expectation lines, and of them those with a
    // failed check, and events that could not be carried out.
    struct tally {
        int expectations = 0;
        int expectationsFailed = 0;
        int eventsFailed = 0;
    };
    tally counts() const;
    bool quitRequested() const { return m_quit; }
    // Where the warnings of the current round start, among the host's: the first event after
    // expectations starts a round.
    std::size_t roundWarnings() const { return m_roundWarnings; }

    // For the command handlers.
    emulated_host& host() { return m_host; }
    transcript& out() { return m_out; }
    void requestQuit() { m_quit = true; }
    // An expectation's verdict; `message` says what was found when it did not hold.
    void record(const step& s, bool held, const std::string& message);
    // An event that could not be carried out.
    void fail(const step& s, const std::string& message);
    // A run of "expect sent" lines takes the lines sent in order; when the run ends, no line
    // may be left over. Opens the run on the target or carries it on. Only an expectation
    // that holds accounts for a line: one that fails leaves the lines as they were.
    void sentLineExpected(const step& s, script_slot& target);
    // The same for a run of "expect unordered sent": each takes a matching line wherever it
    // is among those not yet taken.
    void sentLineExpectedAnyOrder(const step& s, script_slot& target);

private:
    script_slot* resolve(const step& s);
    std::string where(const step& s) const;
    void failAt(const std::string& where, const std::string& what, const std::string& message,
                bool expectation);
    void openSentRun(const step& s, script_slot& target);
    void closeSentCheck();

    emulated_host& m_host;
    transcript& m_out;
    std::string m_file;
    std::vector<check> m_checks;
    int m_failures = 0; // of m_checks: the page asks after every step
    bool m_quit = false;
    std::size_t m_roundWarnings = 0;
    bool m_afterExpectations = false;
    script_slot* m_sentOpen = nullptr;
    const scenario_command* m_sentRun = nullptr; // the command whose run is open
    std::string m_sentWhere;
    std::string m_sentWhat;
    // For a run in order: where the next line is looked for.
    std::size_t m_sentNext = 0;
};

// Quoted, with line feeds and tabs written as \n and \t, for messages.
std::string shown(const std::string& text);
// The lines sent in this round that no expectation has accounted for yet.
std::vector<std::string> unaccounted(const script_record& r);
// Shown and joined with commas; `none` when there are none.
std::string shownList(const std::vector<std::string>& lines, const std::string& none);

} // namespace vesk_host
