#include "line_input.h"

#include <cstdlib>
#include <iostream>

#include "platform.h"
#include "scenario_parser.h"

#if defined(VESK_HOST_LIBEDIT)
#include <editline/readline.h>
#endif

namespace vesk_host {

namespace {
const char prompt[] = "vesk> ";
}

line_input::line_input() : m_terminal(inputIsTerminal()) {}

bool line_input::editing() {
#if defined(VESK_HOST_LIBEDIT)
    return true;
#else
    return false;
#endif
}

bool line_input::read(std::string& line) {
#if defined(VESK_HOST_LIBEDIT)
    if (m_terminal) {
        std::cout << std::flush;
        char* typed = readline(prompt);
        if (typed == nullptr) {
            return false;
        }
        line = typed;
        if (!line.empty()) {
            add_history(typed);
        }
        std::free(typed);
        return true;
    }
#endif
    if (m_terminal) {
        std::cout << prompt << std::flush;
    }
    return static_cast<bool>(std::getline(std::cin, line));
}

bool typedStep(const std::string& line, int number, step& s) {
    std::string error;
    if (!parseStep(line, s, error)) {
        if (!error.empty()) {
            std::cerr << "stdin:" << number << ": " << error << "\n";
        }
        return false;
    }
    s.line = number;
    return true;
}

} // namespace vesk_host
