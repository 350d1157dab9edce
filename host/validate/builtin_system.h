// The system a validation runs on when none is given: one router, and host lookups that
// answer (an instance of the router, host information, a network name, the workstation's
// settings and user).
#pragma once

#include <string>

namespace vesk_host {

// Writes the system as the folder `dir` (created, with its parents); false with `error`.
// `workstation` is the number whose settings it holds ("0" when none was given).
bool writeBuiltinSystem(const std::string& dir, const std::string& workstation, std::string& error);

} // namespace vesk_host
