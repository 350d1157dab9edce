// The report of a run that died or hung: what the supervisor saw, as the user reads it and as
// CI records it.
#pragma once

#include <string>

#include "isolation.h"
#include "options.h"

namespace vesk_host {

// Prints the report and writes it to --junit. Returns the exit status; `shown` receives the
// report as the transcript's end.
int reportBroken(const options& o, const broken_run& broken, std::string& shown);

// The frames of a backtrace, one a line, each after `indent`. A runaway recursion repeats one
// frame for pages: it is shown once, with how often it repeats.
std::string foldedBacktrace(const std::string& frames, const std::string& indent);

} // namespace vesk_host
