#include <iostream>
#include <string>

#include "line_input.h"
#include "page.h"
#include "run.h"
#include "scenario_runner.h"

namespace vesk_host {

void readInteractively(run_page& steps, const scenario_runner& runner) {
    line_input input;
    if (input.interactive()) {
        std::cout << "Type \"help\" for the commands, \"quit\" to end"
                  << (line_input::editing() ? "; the arrows recall earlier lines" : "") << ".\n";
    }
    std::string line;
    int number = 0;
    while (input.read(line)) {
        ++number;
        step s;
        if (!typedStep(line, number, s)) {
            continue;
        }
        steps.run(s);
        if (runner.quitRequested()) {
            break;
        }
    }
}

} // namespace vesk_host
