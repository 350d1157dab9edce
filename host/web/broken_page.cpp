#include "broken_page.h"

#include <cstdio>
#include <iostream>

#include "host_view.h"
#include "isolation.h"
#include "options.h"

namespace vesk_host {

namespace {

// The steps in the recording at `path`: each has a blank line before it, the step the run died
// in too, which the last state shown may not count yet. Read in pieces, never whole.
std::size_t recordedSteps(const std::string& path) {
    std::size_t steps = 0;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return 0;
    }
    char buffer[65536];
    char last = 0;
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        for (std::size_t i = 0; i < got; ++i) {
            steps += last == '\n' && buffer[i] == '\n' ? 1 : 0;
            last = buffer[i];
        }
    }
    std::fclose(file);
    return steps;
}

} // namespace

bool showBrokenRun(page_supervisor& supervisor, const options& o, const broken_run& broken,
                   const std::string& report) {
    bool written = true;
    nlohmann::json state = supervisor.lastState();
    if (!state.is_object()) {
        // The run died before it showed anything.
        state = stateMessage(0, nlohmann::json::array(), nlohmann::json::array(),
                             nlohmann::json::array(), 0, 0);
    }
    std::string ended = o.scriptName() + " " + broken.what;
    state["ended"] = ended;
    state["problems"].push_back({{"where", broken.where()}, {"what", ended}});
    state["problemCount"] = state.value("problemCount", 0) + 1;
    for (auto& script : state["scripts"]) {
        script["alive"] = false;
    }
    std::string transcriptText = broken.transcript + report;
    if (!o.html.empty() && !writeFile(o.html, staticPage(jsonText(state), transcriptText))) {
        written = false;
    }
    // The recording up to the step the run died in: a scenario that ends the same way. The
    // run wrote it to its file step by step; the note of how it ended closes it.
    if (!supervisor.recordingEnds("# The run " + broken.what +
                                  (broken.handler.empty() ? "" : " in " + broken.handler) +
                                  " at the step above.\n")) {
        if (!o.record.empty()) {
            std::cerr << "vesk-host: cannot write " << o.record << "\n";
            written = false;
        }
    } else if (!o.record.empty()) {
        recordingSaid(o.record, recordedSteps(o.record));
    }
    supervisor.showEnd(state, transcriptText);
    return written;
}

} // namespace vesk_host
