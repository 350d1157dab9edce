#include "broken_page.h"

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
    for (auto& script : state["scripts"]) {
        script["alive"] = false;
    }
    std::string transcriptText = broken.transcript + report;
    std::size_t from = 0;
    if (!o.html.empty() &&
        !writeFile(o.html, staticPage(state, transcriptLines(transcriptText, from)))) {
        written = false;
    }
    // The recording up to the step the run died in: a scenario that ends the same way.
    std::string recorded = supervisor.recording() + "# The run " + broken.what +
                           (broken.handler.empty() ? "" : " in " + broken.handler) +
                           " at the step above.\n";
    // The recording gives each step a blank line before it, the step the run died in too,
    // which the last state shown may not count yet.
    std::size_t steps = 0;
    for (std::size_t at = recorded.find("\n\n"); at != std::string::npos;
         at = recorded.find("\n\n", at + 1)) {
        ++steps;
    }
    if (!o.record.empty() && !writeRecording(o.record, recorded, steps)) {
        written = false;
    }
    supervisor.showEnd(state, transcriptText, recorded);
    return written;
}

} // namespace vesk_host
