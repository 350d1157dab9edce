// The supervisor's side of a run: it starts the run apart, offers the page for it, and reports
// the run if it dies.
#include <memory>

#include "broken_report.h"
#include "isolation.h"
#include "page.h"
#include "run.h"

namespace vesk_host {

int runWatched(const options& o, const std::string& dir, const std::vector<step>& steps) {
    std::string error;
    // The page outlives the run: the supervisor serves it and keeps the run's last state, so
    // that a run that dies still shows how it ended, on the page and in the --html file.
    std::unique_ptr<host_page> page = makePage(o);
    if (o.inProcess || !isolationAvailable()) {
        return runScenario(o, dir, steps, nullptr, nullptr, *page, false);
    }
    if (!page->open(error)) {
        return unusable(o, {"vesk-host: " + error});
    }
    auto run = [&](call_record& record, const std::function<void(const std::string&)>& mirror) {
        return runScenario(o, dir, steps, &record, mirror, *page, true);
    };
    std::string startError;
    supervisor_start started = [&] { return page->started(startError); };
    int status = exitFailed;
    broken_run broken;
    bool finished = runIsolated(run, o.timeoutSeconds(), status, broken, started);
    page->ended();
    if (!startError.empty()) {
        return unusable(o, {"vesk-host: " + startError});
    }
    if (finished) {
        return status;
    }
    std::string report;
    int failedStatus = reportBroken(o, broken, report);
    if (!page->showBroken(broken, report)) {
        failedStatus = exitUnusable;
    }
    // The process ends without unwinding: the server stops first.
    page->stop();
    endBrokenRun(failedStatus);
}

} // namespace vesk_host
