// Blanks, trimming and quotes, as every reader of our text files applies them: the INI reader
// behind the private-profile calls, the configuration database, and the emulated host's
// scenarios and command lines. Header only and internal; not installed.
#pragma once

#include <cstddef>
#include <string>

namespace vesk_text {

// The one blank set: space, tab, line feed, carriage return, vertical tab, form feed (the C
// locale's white space). A line end is a blank, so a CR LF file reads as an LF file.
inline bool isBlank(char c) noexcept {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// [begin, end) without the blanks at either side.
inline void trim(const char*& begin, const char*& end) noexcept {
    while (begin < end && isBlank(*begin)) {
        ++begin;
    }
    while (end > begin && isBlank(end[-1])) {
        --end;
    }
}

inline std::string trimmed(const char* begin, const char* end) {
    trim(begin, end);
    return std::string(begin, end);
}

inline std::string trimmed(const std::string& text) {
    return trimmed(text.data(), text.data() + text.size());
}

// The value without its surrounding double quotes when it has a matching pair, as the
// private-profile calls hand a value out.
inline std::string unquoted(const std::string& value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

inline char lowerAscii(char c) noexcept {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whether the names are equal without regard to ASCII case, as section and key names compare.
// A null `right` equals nothing.
inline bool equalNoCase(const std::string& left, const char* right) noexcept {
    if (right == nullptr) {
        return false;
    }
    std::size_t i = 0;
    for (; i < left.size() && right[i] != '\0'; ++i) {
        if (lowerAscii(left[i]) != lowerAscii(right[i])) {
            return false;
        }
    }
    return i == left.size() && right[i] == '\0';
}

} // namespace vesk_text
