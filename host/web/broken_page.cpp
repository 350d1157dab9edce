#include "broken_page.h"

#include <iostream>

#include "host_view.h"
#include "isolation.h"
#include "options.h"

namespace vesk_host {

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
                                  " at the step above.\n") &&
        !o.record.empty()) {
        std::cerr << "vesk-host: cannot write " << o.record << "\n";
        written = false;
    }
    supervisor.showEnd(state, transcriptText);
    return written;
}

} // namespace vesk_host
