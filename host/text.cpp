#include "text.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace vesk_host {

bool parseNumber(const std::string& text, long long low, long long high, long long& value) {
    // strtoll would also take leading blanks and a plus sign; a number here is written plainly.
    if (text.empty() || !(text[0] == '-' || (text[0] >= '0' && text[0] <= '9'))) {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    long long parsed = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || parsed < low || parsed > high) {
        return false;
    }
    value = parsed;
    return true;
}

bool parseInt(const std::string& text, int& value) {
    long long parsed = 0;
    if (!parseNumber(text, INT_MIN, INT_MAX, parsed)) {
        return false;
    }
    value = static_cast<int>(parsed);
    return true;
}

} // namespace vesk_host
