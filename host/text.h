// Small text helpers shared by the host's readers of command lines, scenarios and INI files.
#pragma once

#include <string>

namespace vesk_host {

// Blanks (spaces, tabs, line ends) removed from both ends.
std::string trimmed(const std::string& text);

// A whole decimal number from low to high: an optional minus sign and digits, nothing else.
bool parseNumber(const std::string& text, long long low, long long high, long long& value);
bool parseInt(const std::string& text, int& value);

} // namespace vesk_host
