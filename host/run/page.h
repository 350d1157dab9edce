// vesk-host's page: what a run shows beyond its transcript, served live (--serve), recorded as
// a scenario (--record) and saved as one HTML file (--html). A build with the page's libraries
// shows it (web/page_shown.cpp); any other runs the steps alone and refuses the options that
// ask for the page (run/page_absent.cpp). CMake chooses which of the two is built.
#pragma once

#include <memory>
#include <string>

#include "line_feed.h"

namespace vesk_host {

struct broken_run;
struct options;
struct step;
class emulated_host;
class scenario_runner;
class transcript;

// A run's side of the page, in the run's own process.
class run_page {
public:
    virtual ~run_page() = default;
    // Runs one step; with the page, the step is recorded and shown.
    virtual void run(const step& s) = 0;
    // After the steps, for --serve: serves until asked to stop, running the lines of `feed`
    // (when given) as they come. False, with `error`, when the page cannot be served.
    virtual bool serve(line_feed* feed, std::string& error) = 0;
    // Before the scripts are destroyed: keeps the state they ended with and writes --record.
    // False when a file cannot be written.
    virtual bool stepsDone() = 0;
    // Once the run's report is written: writes --html. False when it cannot be written.
    virtual bool reportDone() = 0;
};

// The page across a run and its supervisor. The supervisor may outlive a run that dies; then
// it shows how the run ended.
class host_page {
public:
    virtual ~host_page() = default;
    // In the supervisor before the run starts. False, with `error`, when the page cannot be
    // offered.
    virtual bool open(std::string& error) = 0;
    // The run's side, once the scripts are created; `header` starts the recording.
    // `supervised`: the run has a supervisor, which shows the page for it.
    virtual std::unique_ptr<run_page> forRun(emulated_host& host, scenario_runner& runner,
                                             const transcript& out, const std::string& header,
                                             bool supervised) = 0;
    // In the supervisor once the run runs. False, with `error`, stops the run.
    virtual bool started(std::string& error) = 0;
    // In the supervisor once the run has ended, however it ended.
    virtual void ended() = 0;
    // After a run that died: the page, --html and --record show how it ended. `report` is the
    // report's text, the end of the transcript. False when a file cannot be written.
    virtual bool showBroken(const broken_run& broken, const std::string& report) = 0;
    // Stops serving; the destructor does it too.
    virtual void stop() = 0;
};

// False, with `error`, when `o` asks for a page this vesk-host does not have.
bool pageAccepts(const options& o, std::string& error);

std::unique_ptr<host_page> makePage(const options& o);

} // namespace vesk_host
