// The one place the page meets the emulated host: it reads a snapshot of the host's state
// (panels, devices, parent answers, timers, problems, transcript) and runs the steps the page or
// standard input asks for, recording each with what the scripts sent and what the host showed
// after it, so that the recording replays as a passing scenario.
#pragma once

#include <cstdio>
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

class json_text;

class host_view {
public:
    host_view(emulated_host& host, scenario_runner& runner, const transcript& out);
    ~host_view();
    host_view(const host_view&) = delete;
    host_view& operator=(const host_view&) = delete;

    // Starts the recording with `header` (comment lines) and what the scripts did at creation
    // as its first expectations. Call once, after the scripts are created, before any step.
    // The recording goes to the file at `path` as it is written, never kept whole in memory;
    // with no path, to a file of its own that goes when the view does.
    void begin(const std::string& header, const std::string& path = std::string());
    // Runs one parsed step and records it. Expectations run without being recorded: the
    // recording makes its own.
    void run(const step& s);
    // Parses and runs one line; false, with `error`, when it does not parse.
    bool perform(const std::string& line, std::string& error);
    // Delivers what routers in Ember+ providers heard while nothing else happened.
    void takeArrived() { m_host.takeArrived(); }

    // The whole visible state, for the page: as JSON text, written straight from the host,
    // and parsed.
    std::string stateText() const;
    nlohmann::json state();
    // Transcript lines written since `offset` (a byte offset into the transcript, moved on);
    // each with whether it reports a problem.
    nlohmann::json transcriptSince(std::size_t& offset) const;
    // The transcript as kept: its head and tail.
    std::string transcriptText() const { return m_out.text(); }
    // What of the transcript a browser that just connected gets: its end.
    nlohmann::json greetingTranscript() const;
    // The scenario recorded so far, for a browser to save: false, with `why`, when it cannot be
    // read back or is larger than a message to a browser may be.
    bool recording(std::string& text, std::string& why);
    // Writes what is held of the recording to its file and closes it; false when it could
    // not be written.
    bool endRecording();
    const std::string& recordingPath() const { return m_recordingPath; }
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
    void recordOutcome(const step& s, const shown& before, const shown& after,
                       const std::map<const script_slot*, std::size_t>& from);
    // The lines each script sent from `from` on (from its first when not given).
    void recordSent(const std::map<const script_slot*, std::size_t>& from);
    std::string prefixFor(const script_slot& slot) const;
    // The instance names that lead to the device `number`, with their offsets.
    void instancesOf(json_text& out, int number) const;
    // The index ranges that scripts registered for on `d`.
    void registeredFor(json_text& out, const device& d) const;
    void write(const std::string& text);

    emulated_host& m_host;
    scenario_runner& m_runner;
    const transcript& m_out;
    // The step's recorded lines reach the file before it runs and once its outcome is
    // written, so that a run that dies in a step leaves that step in the file.
    void flushRecording();

    shown m_shown; // after the last recorded step
    std::FILE* m_recording = nullptr;
    std::string m_recordingPath;
    bool m_recordingFailed = false;
    std::size_t m_recordedSteps = 0;
    std::vector<std::pair<std::string, std::string>> m_instances; // read once, at begin()
    std::map<std::string, std::string> m_parentTexts;             // the last, by script
};

// The transcript's own words for a line that reports a problem: a failed check, a rule the
// script broke, a line the host could not read, a crash.
bool isProblemLine(const std::string& line);

// The complete lines of `text` from `offset` (a byte offset, moved on past them), each with
// whether it reports a problem.
nlohmann::json transcriptLines(const std::string& text, std::size_t& offset);

// The most problems a state carries: the first and the last half of this many, with
// "problemCount" saying how many there are.
const std::size_t problemsShown = 200;

// The page's state message, the one place its fields are named. `scripts`, `devices` and
// `problems` are arrays.
nlohmann::json stateMessage(long long clock, nlohmann::json scripts, nlohmann::json devices,
                            nlohmann::json problems, int failedChecks, std::size_t recordedSteps);

// The most of a recording that a browser is sent to save; a longer one is in its file.
const std::size_t recordingSendLimit = 16u * 1024 * 1024;
// Reads the recording at `path` back, up to `limit` bytes: false, with `why`, beyond it or when
// the file cannot be read.
bool readRecording(const std::string& path, std::size_t limit, std::string& text, std::string& why);

// The page, self-contained: everything it needs is in the one text.
std::string webPage();
// The page with a fixed state and transcript in it, for a file that needs no server.
std::string staticPage(const nlohmann::json& state, const nlohmann::json& transcript);
// The same from the state's JSON text and the transcript's text, with no document in between:
// a long run's page is written at its end without holding the transcript several times over.
std::string staticPage(const std::string& stateText, const std::string& transcriptText);
// The complete lines of `text` as the JSON text of transcriptLines().
std::string transcriptLinesText(const std::string& text);
// JSON as text; bytes that are not UTF-8 are replaced, never thrown about.
std::string jsonText(const nlohmann::json& value);

} // namespace vesk_host
