#include "broken_report.h"

#include <iostream>
#include <vector>

#include "junit.h"

namespace vesk_host {

std::string foldedBacktrace(const std::string& frames, const std::string& indent) {
    std::string folded;
    std::string previous;
    int repeats = 0;
    auto flushRepeats = [&]() {
        if (repeats > 0) {
            folded += indent + "(the frame above " + std::to_string(repeats) + " times more)\n";
        }
        repeats = 0;
    };
    std::size_t start = 0;
    while (start < frames.size()) {
        std::size_t end = frames.find('\n', start);
        end = end == std::string::npos ? frames.size() : end;
        std::string frame = frames.substr(start, end - start);
        start = end + 1;
        if (frame.empty()) {
            continue;
        }
        if (frame == previous) {
            ++repeats;
            continue;
        }
        flushRepeats();
        folded += indent + frame + "\n";
        previous = frame;
    }
    flushRepeats();
    return folded;
}

int reportBroken(const options& o, const broken_run& broken, std::string& shown) {
    std::string where = broken.where();
    std::string report = "vesk-host: " + o.scriptName() + " " + broken.what + "\n    in " +
                         (broken.handler.empty() ? "no call into the script" : broken.handler) +
                         ", at " + where + "\n";
    if (!broken.lastSent.empty()) {
        report += "    last lines sent:\n";
        for (const std::string& line : broken.lastSent) {
            report += "        " + line + "\n";
        }
    }
    if (!broken.backtrace.empty()) {
        report += "    backtrace:\n" + foldedBacktrace(broken.backtrace, "        ");
    }
    std::string result = "vesk-host: FAILED: the run stopped at " + where;
    std::cerr << report << result << "\n";
    shown = report + result + "\n";
    if (!o.junit.empty()) {
        std::vector<junit_case> cases{
            {where + ": " + o.scriptName() + " " + broken.what, true, report}};
        if (!writeJUnit(o.junit, o.scenarioFile(), cases,
                        broken.transcript + report + result + "\n")) {
            std::cerr << "vesk-host: cannot write " << o.junit << "\n";
        }
    }
    return exitFailed;
}

} // namespace vesk_host
