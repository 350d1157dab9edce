// The page of a run that died: its last state, marked with how it ended, shown until vesk-host
// is asked to stop, and saved to --html and --record.
#pragma once

#include <cstddef>
#include <string>

#include "page_relay.h"

namespace vesk_host {

struct broken_run;
struct options;

// False when a file cannot be written.
bool showBrokenRun(page_supervisor& supervisor, const options& o, const broken_run& broken,
                   const std::string& report);

// Writes `text` to `path`, saying so when it cannot.
bool writeFile(const std::string& path, const std::string& text);

// Says where the recording of `steps` steps went (--record, absolute), and how much, so that
// the file is found without knowing where vesk-host was started. The run writes the file as it
// goes.
void recordingSaid(const std::string& path, std::size_t steps);

} // namespace vesk_host
