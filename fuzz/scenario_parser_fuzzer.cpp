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
#include "scenario_parser.h"
#include "text.h"

namespace {

struct shape {
    std::size_t words = 0;
    std::size_t numbers = 0;
    long long low = INT_MIN;
    long long high = INT_MAX;
};

// What a command's form leaves in a step; a NAME=VALUE property puts its name in the words.
shape shapeOf(const vesk_host::scenario_command& command) {
    shape want;
    for (const std::string& token : vesk_host::formTokens(command.form)) {
        if (token == "w" || token == "p") {
            ++want.words;
        } else if (token == "i" || token == "m") {
            ++want.numbers;
            if (token == "m") {
                want.low = 0;
                want.high = 1000000000000LL;
            }
        }
    }
    return want;
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
    if (s.isComment()) {
        return;
    }
    shape want = shapeOf(*s.command);
    FUZZ_CHECK(s.words.size() == want.words && s.numbers.size() == want.numbers,
               "[" + line + "] gave " + std::to_string(s.words.size()) + " words and " +
                   std::to_string(s.numbers.size()) + " numbers");
    for (long long n : s.numbers) {
        FUZZ_CHECK(n >= want.low && n <= want.high, "[" + line + "] number out of range");
    }
    bool property = std::string(s.command->form).find('p') != std::string::npos;
    FUZZ_CHECK(!s.hasText || !s.text.empty() || property, "text said to be there but empty");
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
