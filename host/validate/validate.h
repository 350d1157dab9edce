// vesk-host --validate: a script library put through the host's whole contract, one check at
// a time, each in a run of its own, with no scenario written.
#pragma once

#include "options.h"

namespace vesk_host {

// Runs the checks the options select and prints one line for each, between a first line
// that names the library and the seed and a last line that counts them. Returns the exit
// status: 0 when nothing failed, 1 when something did, 2 when the library cannot be used.
int runValidation(const options& o);

// The validator's part of --help: its options, its checks and their levels.
std::string validateHelp();

} // namespace vesk_host
