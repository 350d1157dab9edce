// The lines typed in interactive mode. At a terminal, and where vesk-host was built with
// libedit, they can be edited and recalled (the arrows, ^R); otherwise they are read as they
// come, which is also what a pipe gets.
#pragma once

#include <string>

namespace vesk_host {

struct step;

class line_input {
public:
    line_input();
    line_input(const line_input&) = delete;
    line_input& operator=(const line_input&) = delete;

    // The next line, the prompt shown first at a terminal; false at the end of the input.
    bool read(std::string& line);
    // Whether the input is a terminal, where a prompt and a greeting make sense.
    bool interactive() const { return m_terminal; }
    // Whether the lines can be edited and recalled.
    static bool editing();

private:
    bool m_terminal = false;
};

// The `number`th line typed, read as a step. A line that is no step is said on standard error
// as "stdin:N: why" and gives false; so does a blank line, silently.
bool typedStep(const std::string& line, int number, step& s);

} // namespace vesk_host
