// One command line as a script sends it: a verb, then operands separated by blanks, texts
// between single quotes. Quotes are not escaped on the script's side, so a quote inside a text
// ends it early; such lines simply fail to match the shape their verb needs.
#pragma once

#include <string>
#include <vector>

namespace vesk_host {

struct command_line {
    struct operand {
        std::string text;
        bool quoted = false;
    };
    std::string verb;
    std::vector<operand> operands;
    bool wellFormed = true; // false when a quote is never closed

    // Whether the operands have the shape: 't' a quoted text, 'n' a bare integer, after '?'
    // everything is optional (but what is there must fit), '|' parts alternatives, '*' takes
    // anything from there on.
    bool matches(const char* shape) const;
    const std::string& text(std::size_t i) const { return operands[i].text; }
    // The operand as an integer; only valid after matches() said 'n' here.
    int number(std::size_t i) const;

private:
    bool matchesOne(const char* shape, const char* end) const;
};

command_line parseCommandLine(const std::string& line);

} // namespace vesk_host
