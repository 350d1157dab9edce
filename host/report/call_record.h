// What the run is doing right now, kept where a supervising process can read it after the run
// has died: the scenario line, the handler being called and the last lines sent. Plain
// characters in fixed arrays, so that it can live in memory shared across fork and be read
// without the writer's help.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

namespace vesk_host {

// The "handlers" of loading and unloading a script library: the loader runs the library's
// static initializers and destructors, which can hang or crash as any handler can.
extern const char loadingLibrary[];
extern const char unloadingLibrary[];

struct call_record {
    static const std::size_t textSize = 256;
    static const std::size_t sentKept = 5;

    // Moves on at every call into the script and every return from one; a supervisor that
    // sees it stand still inside a call for too long knows that the call hangs.
    std::atomic<unsigned> sequence{0};
    std::atomic<bool> inCall{false};
    // Set once the run has written its report: an end before it is an end the run did not
    // choose.
    std::atomic<bool> finished{false};
    // The run's exit status, once `finished`: what decides how vesk-host ends, whatever the
    // process's own exit status says (a library's destructor can end it with another).
    std::atomic<int> status{0};
    char handler[64] = {};
    char location[textSize] = {};
    char sent[sentKept][textSize] = {};
    unsigned sentCount = 0;

    void enter(const char* handlerName);
    void leave();
    void at(const std::string& where);
    void lineSent(const std::string& line);

    // The lines in `sent`, oldest first.
    std::vector<std::string> lastSent() const;
};

} // namespace vesk_host
