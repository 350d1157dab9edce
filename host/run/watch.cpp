// The supervisor's side of a run: it starts the run apart, offers the page for it, and reports
// the run if it dies.
#include <csignal>
#include <cstdlib>
#include <exception>
#include <functional>
#include <iostream>
#include <memory>
#include <new>

#include "broken_report.h"
#include "isolation.h"
#include "page.h"
#include "run.h"

namespace vesk_host {

namespace {

// The run, with vesk-host's own failures said to be its own: an exception that reaches here
// left no call into the script (those are caught at the host link), so it is not the script's.
int runOwned(const options& o, const std::string& dir, const std::vector<step>& steps,
             call_record* record, const std::function<void(const std::string&)>& mirror,
             host_page& page, bool supervised) {
    std::string failure;
    try {
        return runScenario(o, dir, steps, record, mirror, page, supervised);
    } catch (const std::bad_alloc&) {
        failure = "vesk-host ran out of memory";
    } catch (const std::exception& e) {
        failure = std::string("vesk-host failed: ") + e.what();
    }
    std::string where = record != nullptr && record->location[0] != '\0'
                            ? std::string(", at ") + record->location
                            : std::string();
    return unusable(o, {"vesk-host: " + failure + where + " (a fault of vesk-host, not of " +
                        o.scriptName() + ")"});
}

// An unwatched run that ends the process itself (a script's exit or quick_exit) still ends
// as a failure with a report, never with the status the script chose.
const options* unwatchedOptions = nullptr;
call_record* unwatchedRecord = nullptr;

extern "C" void endedDuringRun() {
    call_record* record = unwatchedRecord;
    if (record == nullptr || record->finished.load()) {
        return;
    }
    unwatchedRecord = nullptr;
    broken_run broken;
    broken.takeFrom(*record);
    broken.what = "ended the process during the run (it called exit)";
    std::cout.flush();
    std::string shown;
    reportBroken(*unwatchedOptions, broken, shown);
    std::cerr.flush();
    std::_Exit(exitFailed);
}

int runUnwatched(const options& o, const std::string& dir, const std::vector<step>& steps,
                 host_page& page) {
    call_record record;
    unwatchedOptions = &o;
    unwatchedRecord = &record;
    static bool guarded = false;
    if (!guarded) {
        guarded = true;
        std::atexit(endedDuringRun);
#if defined(__GLIBC__) || defined(_MSC_VER)
        std::at_quick_exit(endedDuringRun);
#endif
    }
#if !defined(_WIN32)
    // As a watched run: a reader that has gone ends what is printed, not the run.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    int status = runOwned(o, dir, steps, &record, nullptr, page, false);
    record.finished.store(true);
    unwatchedRecord = nullptr;
    return status;
}

} // namespace

int runWatched(const options& o, const std::string& dir, const std::vector<step>& steps) {
    std::string error;
    // The page outlives the run: the supervisor serves it and keeps the run's last state, so
    // that a run that dies still shows how it ended, on the page and in the --html file.
    std::unique_ptr<host_page> page = makePage(o);
    if (o.inProcess || !isolationAvailable()) {
        return runUnwatched(o, dir, steps, *page);
    }
    if (!page->open(error)) {
        return unusable(o, {"vesk-host: " + error});
    }
    auto run = [&](call_record& record, const std::function<void(const std::string&)>& mirror) {
        return runOwned(o, dir, steps, &record, mirror, *page, true);
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
    if (broken.stoppedBy != 0) {
        failedStatus = exitStopped + broken.stoppedBy;
    }
    // A served page would wait for another signal; vesk-host was asked to end, and does.
    if ((broken.stoppedBy == 0 || o.serve.empty()) && !page->showBroken(broken, report)) {
        failedStatus = exitUnusable;
    }
    // The process ends without unwinding: the server stops first.
    page->stop();
    endBrokenRun(failedStatus);
}

} // namespace vesk_host
