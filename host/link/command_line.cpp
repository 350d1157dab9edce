#include "command_line.h"

#include <cstring>

#include "text.h"

namespace vesk_host {

command_line parseCommandLine(const std::string& line) {
    command_line result;
    std::size_t i = 0;
    std::size_t n = line.size();
    while (i < n && line[i] != ' ') {
        result.verb += line[i++];
    }
    for (;;) {
        while (i < n && line[i] == ' ') {
            ++i;
        }
        if (i >= n) {
            break;
        }
        command_line::operand op;
        if (line[i] == '\'') {
            op.quoted = true;
            std::size_t close = line.find('\'', i + 1);
            if (close == std::string::npos) {
                result.wellFormed = false;
                close = n;
            }
            op.text = line.substr(i + 1, close - i - 1);
            i = close + 1;
        } else {
            std::size_t end = line.find(' ', i);
            end = end == std::string::npos ? n : end;
            op.text = line.substr(i, end - i);
            i = end;
        }
        result.operands.push_back(op);
    }
    return result;
}

bool command_line::matchesOne(const char* shape, const char* end) const {
    std::size_t i = 0;
    bool optional = false;
    for (const char* s = shape; s != end; ++s) {
        if (*s == '*') {
            return true;
        }
        if (*s == '?') {
            optional = true;
            continue;
        }
        if (i >= operands.size()) {
            return optional;
        }
        int ignored = 0;
        bool fits = *s == 't' ? operands[i].quoted
                              : !operands[i].quoted && parseInt(operands[i].text, ignored);
        if (!fits) {
            return false;
        }
        ++i;
    }
    return i == operands.size();
}

bool command_line::matches(const char* shape) const {
    if (!wellFormed) {
        return false;
    }
    for (const char* start = shape;;) {
        const char* end = std::strchr(start, '|');
        if (end == nullptr) {
            return matchesOne(start, start + std::strlen(start));
        }
        if (matchesOne(start, end)) {
            return true;
        }
        start = end + 1;
    }
}

int command_line::number(std::size_t i) const {
    int value = 0;
    parseInt(operands[i].text, value);
    return value;
}

} // namespace vesk_host
