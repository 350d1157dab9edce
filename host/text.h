// Small text helpers shared by the host's readers of command lines, scenarios and INI files.
#pragma once

#include <cstring>
#include <string>

namespace vesk_host {

// Spaces, tabs and line ends: what separates words in scenarios and pads INI lines.
constexpr char blanks[] = " \t\r\n";
inline bool isBlank(char c) {
    return c != '\0' && std::strchr(blanks, c) != nullptr;
}

// Blanks removed from both ends.
std::string trimmed(const std::string& text);

// An INI value without its surrounding double quotes when it has a matching pair, as the
// private-profile calls read it.
std::string unquoted(const std::string& text);

// A whole decimal number from low to high: an optional minus sign and digits, nothing else.
bool parseNumber(const std::string& text, long long low, long long high, long long& value);
bool parseInt(const std::string& text, int& value);

} // namespace vesk_host
