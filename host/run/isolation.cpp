// What a watched run's end looks like on every operating system; each system's watching is in
// a file of its own.
#include "isolation.h"

namespace vesk_host {

std::string broken_run::where() const {
    return location.empty() ? "before the first step" : location;
}

void broken_run::takeFrom(const call_record& record) {
    handler = record.inCall.load() ? record.handler : "";
    location = record.location;
    lastSent = record.lastSent();
}

void broken_run::hung(int timeoutSeconds) {
    what = "hung" + during() + ": the call did not return within " +
           std::to_string(timeoutSeconds) + " s (--timeout)";
}

std::string broken_run::during() const {
    if (handler == loadingLibrary) {
        return " while loading the library";
    }
    if (handler == unloadingLibrary) {
        return " while unloading the library";
    }
    return std::string();
}

} // namespace vesk_host
