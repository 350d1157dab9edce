// Lines that reach a run from beside its scenario and its standard input.
#pragma once

#include <functional>
#include <string>

namespace vesk_host {

// Scenario lines that arrive from elsewhere while a run goes on (an Ember+ consumer's route),
// taken on the host's thread between steps and while serving, and run as typed lines are.
class line_feed {
public:
    virtual ~line_feed() = default;
    // The next line waiting; false when none is. Taking a line says that the one taken before
    // it has run.
    virtual bool next(std::string& line) = 0;
    // `arrived` is called, from any thread, when a line comes; null for no call.
    virtual void onArrival(std::function<void()> arrived) = 0;
};

} // namespace vesk_host
