// Checks a system folder before anything runs on it, so that a misspelt section or a crosspoint
// to nowhere is named at its file and line instead of surfacing later as an odd reply.
#pragma once

#include <string>
#include <vector>

namespace vesk_host {

struct system_finding {
    std::string file; // as the folder was given, then the path below it; empty for the folder
    int line = 0;     // 0 when the finding is about a whole file
    std::string message;
    // A limit of vesk-host's own: a run refuses to start on a system with such a finding.
    bool refused = false;

    // "file:line: message"
    std::string text() const;
};

// Every INI file of the folder `dir` (<root>/<system>) read line by line. `workstation`, when
// not empty, must have settings in the configuration database.
std::vector<system_finding> checkSystem(const std::string& dir, const std::string& workstation);

// What the folder `dir` lacks that a system normally has: host.ini, configdb.ini, panels/. A
// script runs without them, but finds no instances, no settings or no panel files, which
// --check-system says rather than calling such a folder sound without a word. Empty when the
// folder has no config/system folder at all (checkSystem says so).
std::vector<system_finding> missingFromSystem(const std::string& dir);

} // namespace vesk_host
