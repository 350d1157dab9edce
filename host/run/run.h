// One run of vesk-host: the system prepared, the script loaded, every step run, the result
// reported; watched from outside unless --in-process says otherwise.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "options.h"
#include "scenario_parser.h"

namespace vesk_host {

struct call_record;
class host_page;
class run_page;
class scenario_runner;

// A run that cannot start still leaves a report for CI when one was asked for. Returns the
// exit status.
int unusable(const options& o, const std::vector<std::string>& errors);

// --check-system: the system folder's faults, one a line. Returns the exit status.
int checkOnly(const options& o);

// The scripts read their system from the environment, so it is set before any is loaded.
// `dir` receives the system folder, empty when none was given.
bool prepareSystem(const options& o, std::string& dir, std::string& error);

// Runs `steps` (or the lines typed in) and returns the exit status: watched from outside, so
// that a crash or a hang is reported, unless --in-process asks otherwise.
int runWatched(const options& o, const std::string& dir, const std::vector<step>& steps);

// The run itself: loads the script, runs every step, reports. `record`, when given, is kept up
// to date for a supervisor; `mirror` receives the transcript as it is written; `supervised`
// says that `page` is shown by a supervisor.
int runScenario(const options& o, const std::string& dir, const std::vector<step>& steps,
                call_record* record, const std::function<void(const std::string&)>& mirror,
                host_page& page, bool supervised);

// "SIGTERM", "SIGINT", "SIGHUP": the signals that ask vesk-host to end.
std::string stopSignalName(int signal);

// Steps typed on standard input, each run as it comes, until its end or "quit".
void readInteractively(run_page& steps, const scenario_runner& runner);

} // namespace vesk_host
