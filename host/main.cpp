// vesk-host: runs panel scripts in an emulated panel host, from a scenario file or from
// commands typed in.
#include <iostream>
#include <string>
#include <vector>

#include "ember_serving.h"
#include "options.h"
#include "page.h"
#include "run.h"
#include "scenario_parser.h"
#include "validate.h"

using namespace vesk_host;

int main(int argc, char** argv) {
    std::string text;
    if (informationAsked(argc, argv, text)) {
        std::cout << text;
        return exitPassed;
    }
    options o;
    std::string error;
    if (!parseOptions(argc, argv, o, error) || !pageAccepts(o, error) || !emberAccepts(o, error)) {
        std::cerr << "vesk-host: " << error << "\n\n" << usageText;
        return exitUnusable;
    }
    if (o.validate) {
        return runValidation(o);
    }
    // A malformed scenario is refused before anything runs.
    std::vector<step> steps;
    std::vector<std::string> errors;
    if (!o.scenario.empty() && !loadScenario(o.scenario, steps, errors)) {
        return unusable(o, errors);
    }
    if (!o.checkSystem.empty()) {
        return checkOnly(o);
    }
    std::string dir;
    if (!prepareSystem(o, dir, error)) {
        return unusable(o, {"vesk-host: " + error});
    }
    return runWatched(o, dir, steps);
}
