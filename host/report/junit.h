// A JUnit report of one run, for CI.
#pragma once

#include <string>
#include <vector>

namespace vesk_host {

struct junit_case {
    std::string name;
    bool failed = false;
    std::string message;
};

// Writes one test suite; `output` goes to its system-out. False when the file cannot be
// written.
bool writeJUnit(const std::string& path, const std::string& suite,
                const std::vector<junit_case>& cases, const std::string& output);

} // namespace vesk_host
