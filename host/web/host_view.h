// The one place the page meets the emulated host: it reads a snapshot of the host's state
// (panels, devices, parent answers, timers, problems, transcript) and runs the steps the page or
// standard input asks for, recording each with what the scripts sent and what the host showed
// after it, so that the recording replays as a passing scenario.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <utility>

#include <nlohmann/json.hpp>

#include "emulated_host.h"
#include "scenario_parser.h"
#include "scenario_runner.h"
#include "transcript.h"

namespace vesk_host {

class host_view {
public:
    host_view(emulated_host& host, scenario_runner& runner, const transcript& out);

    // Starts the recording with `header` (comment lines) and what the scripts did at creation
    // as its first expectations. Call once, after the scripts are created, before any step.
    void begin(const std::string& header);
    // Runs one parsed step and records it. Expectations run without being recorded: the
    // recording makes its own.
    void run(const step& s);
    // Parses and runs one line; false, with `error`, when it does not parse.
    bool perform(const std::string& line, std::string& error);
    // Delivers what routers in Ember+ providers heard while nothing else happened.
    void takeArrived() { m_host.takeArrived(); }

    // The whole visible state, for the page.
    nlohmann::json state();
    // Transcript lines written since `offset` (a byte offset into the transcript, moved on);
    // each with whether it reports a problem.
    nlohmann::json transcriptSince(std::size_t& offset) const;
    // The scenario recorded so far.
    const std::string& recording() const { return m_recording; }
    // Also hands every piece of the recording to `mirror` as it is written: a supervisor keeps
    // the recording of a run that dies. Set before begin().
    void mirrorRecording(std::function<void(const std::string&)> mirror) {
        m_recordingMirror = std::move(mirror);
    }
    std::size_t recordedSteps() const { return m_recordedSteps; }

private:
    struct shown {
        std::map<std::tuple<std::string, std::string, std::string, std::string>, std::string>
            properties; // (script, panel, control, property)
        std::map<std::pair<std::string, std::string>, std::string>
            panels;                                        // file by (script, panel)
        std::map<int, std::map<int, std::string>> devices; // what each records, by number
        std::set<std::pair<std::string, int>> timers;
    };
    // Steps that may change what the page shows, and so are recorded.
    static bool changesState(const step& s);
    shown capture();
    void recordOutcome(const step& s, const shown& before,
                       const std::map<const script_slot*, std::size_t>& from);
    // The lines each script sent from `from` on (from its first when not given).
    void recordSent(const std::map<const script_slot*, std::size_t>& from);
    std::string prefixFor(const script_slot& slot) const;
    void write(const std::string& text);

    emulated_host& m_host;
    scenario_runner& m_runner;
    const transcript& m_out;
    std::string m_recording;
    std::function<void(const std::string&)> m_recordingMirror;
    std::size_t m_recordedSteps = 0;
};

// The transcript's own words for a line that reports a problem: a failed check, a rule the
// script broke, a line the host could not read, a crash.
bool isProblemLine(const std::string& line);

// The complete lines of `text` from `offset` (a byte offset, moved on past them), each with
// whether it reports a problem.
nlohmann::json transcriptLines(const std::string& text, std::size_t& offset);

// The page's state message, the one place its fields are named. `scripts`, `devices` and
// `problems` are arrays.
nlohmann::json stateMessage(long long clock, nlohmann::json scripts, nlohmann::json devices,
                            nlohmann::json problems, int failedChecks, std::size_t recordedSteps);

// The page, self-contained: everything it needs is in the one text.
std::string webPage();
// The page with a fixed state and transcript in it, for a file that needs no server.
std::string staticPage(const nlohmann::json& state, const nlohmann::json& transcript);
// JSON as text; bytes that are not UTF-8 are replaced, never thrown about.
std::string jsonText(const nlohmann::json& value);

} // namespace vesk_host
