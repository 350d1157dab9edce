// The validator's checks: one row each, with the name results are compared by across
// versions, the lowest strictness that runs it, and what it does.
#pragma once

#include <string>
#include <vector>

#include "call_record.h"
#include "harness.h"

namespace vesk_host {

enum class verdict_kind { pass, warn, fail, unusable };

struct check_verdict {
    verdict_kind kind = verdict_kind::pass;
    std::string why;
    // Steps that showed the failure, replayable as a scenario; empty when it has none.
    std::vector<std::string> steps;
    std::string signature; // the failure without its texts and numbers, to compare reruns
};

// Runs in a process (or thread) of its own; `record` is watched for a call that hangs.
using check_run = check_verdict (*)(const validation& v, call_record& record);

struct validate_check {
    const char* name;
    int level; // the lowest --strictness that runs it
    const char* about;
    check_run run;
};

// Every check, in the order they run and are reported.
const std::vector<validate_check>& validateChecks();
const validate_check* findCheck(const std::string& name);

// The checks, their levels and what they do, for --help.
std::string checksHelp();

// False, with `error` (and a did-you-mean), when a comma-separated list names a check that
// does not exist.
bool knownCheckNames(const std::string& list, std::string& error);
std::vector<std::string> checkNames(const std::string& list);

// A verdict as one check's process hands it to the validator, and back.
std::string verdictText(const check_verdict& v);
bool parseVerdict(const std::string& text, check_verdict& v);

// The steps a check is about to run, kept where the validator finds them if the check dies.
void noteSteps(const validation& v, const std::vector<std::string>& steps);
std::string stepsFile(const validation& v, const std::string& check);

} // namespace vesk_host
