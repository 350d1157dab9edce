// The scenario parser of the emulated host over any text: a line parses or says why not, and a
// parsed step carries exactly the words and numbers its command takes, in range, so the runner
// can index them without looking.
#include <unistd.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "scenario.h"
#include "text.h"

namespace {

using vesk_host::action;

struct shape {
    std::size_t words;
    std::size_t numbers;
    long long low;
    long long high;
};

// What each command leaves in a step; for "expect control" the name of the property is the
// third word.
shape shapeOf(action what) {
    const long long intLow = INT_MIN;
    const long long intHigh = INT_MAX;
    switch (what) {
    case action::press:
        return {2, 0, 0, 0};
    case action::revertive:
    case action::secondary:
        return {0, 2, intLow, intHigh};
    case action::route:
    case action::expectCrosspoint:
        return {0, 3, intLow, intHigh};
    case action::advance:
        return {0, 1, 0, 1000000000000LL};
    case action::timer:
        return {0, 1, intLow, intHigh};
    case action::expectControl:
        return {3, 0, 0, 0};
    case action::expectPanelOpen:
        return {2, 0, 0, 0};
    case action::expectPanelClosed:
        return {1, 0, 0, 0};
    case action::expectTimer:
        return {1, 1, intLow, intHigh};
    default:
        return {0, 0, 0, 0};
    }
}

void checkLine(const std::string& line) {
    vesk_host::step s;
    std::string error;
    bool parsed = vesk_host::parseStep(line, s, error);
    FUZZ_CHECK(s.source == vesk_host::trimmed(line), "source is not the trimmed line");
    if (!parsed) {
        FUZZ_CHECK(error.empty() == s.source.empty(), "[" + line + "] failed without a reason");
        return;
    }
    FUZZ_CHECK(error.empty(), "parsed with an error: " + error);
    if (s.what == action::comment) {
        return;
    }
    shape want = shapeOf(s.what);
    FUZZ_CHECK(s.words.size() == want.words && s.numbers.size() == want.numbers,
               "[" + line + "] gave " + std::to_string(s.words.size()) + " words and " +
                   std::to_string(s.numbers.size()) + " numbers");
    for (long long n : s.numbers) {
        FUZZ_CHECK(n >= want.low && n <= want.high, "[" + line + "] number out of range");
    }
    FUZZ_CHECK(!s.hasText || !s.text.empty() || s.what == action::expectControl,
               "text said to be there but empty");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz_input in(data, size);
    std::string whole;
    while (!in.empty()) {
        std::string line = in.text(1024);
        checkLine(line);
        whole += line + "\n";
    }

    // The whole text as a file: every complaint names its file and line.
    static const std::string path = [] {
        const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        return std::string(dir) + "/vesk-scenario-fuzz-" + std::to_string(getpid());
    }();
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(whole.data(), 1, whole.size(), f);
        std::fclose(f);
        std::vector<vesk_host::step> steps;
        std::vector<std::string> errors;
        bool loaded = vesk_host::loadScenario(path, steps, errors);
        FUZZ_CHECK(loaded == errors.empty(), "load result and complaints disagree");
        for (const std::string& e : errors) {
            FUZZ_CHECK(e.compare(0, path.size() + 1, path + ":") == 0, "complaint without place");
        }
        std::remove(path.c_str());
    }
    return 0;
}
