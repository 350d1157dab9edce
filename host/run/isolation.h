// Runs a whole run apart and watches it, so that a script that crashes, aborts, exits or hangs
// ends its run with a report instead of ending vesk-host silently. On POSIX the run is a child
// process that does all the work (loading the script included); the parent only waits, and
// reads what the child left in shared memory when it died (isolation_posix.cpp). On Windows it
// is a thread, watched by the one that started it (isolation_windows.cpp).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "call_record.h"

namespace vesk_host {

// How a supervised run ended when it did not end by itself.
struct broken_run {
    std::string what;     // "crashed: SIGSEGV (segmentation fault)", "hung: ..."
    std::string handler;  // the call into the script it was in; empty outside any
    std::string location; // "file:line" of the scenario step
    std::vector<std::string> lastSent;
    std::string backtrace;  // where the platform gives one; may be empty
    std::string transcript; // everything the run wrote before it died
    int stoppedBy = 0;      // the signal that asked vesk-host to end it; 0 when none did

    // The scenario step it stopped at, in words.
    std::string where() const;
    // Takes the handler, the step and the last lines sent from what the run kept.
    void takeFrom(const call_record& record);
    // A call that did not return in time.
    void hung(int timeoutSeconds);
    // " while loading the library" or " while unloading the library" when it broke there, for
    // what it did ("crashed while loading the library: ..."); empty in a handler.
    std::string during() const;
};

// False where runs cannot be isolated; they then run in the process itself.
bool isolationAvailable();

// The run: it keeps `record` up to date, hands its transcript to `mirror` as it writes it, and
// returns its exit status.
using isolated_run =
    std::function<int(call_record& record, const std::function<void(const std::string&)>& mirror)>;

// Called in the supervisor once the child runs; false stops the child (status 2).
using supervisor_start = std::function<bool()>;

// Runs `run` in a child. Returns true with the child's exit status when the run finished by
// itself, and false with `broken` filled in when it crashed, ended early or had a call into the
// script last longer than `timeoutSeconds`. SIGTERM, SIGINT and SIGHUP to the supervisor are passed
// on to the run (a second one kills it).
bool runIsolated(const isolated_run& run, int timeoutSeconds, int& status, broken_run& broken,
                 const supervisor_start& started = nullptr);

// Ends vesk-host after a broken run has been reported. On POSIX the run died in its own
// process and this is an ordinary exit; on Windows the broken run is a thread of this process,
// stopped where it broke, and the process ends without unwinding anything of it.
[[noreturn]] void endBrokenRun(int status);

} // namespace vesk_host
