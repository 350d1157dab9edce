// Small text helpers shared by the host's readers of command lines, scenarios and INI files.
#pragma once

#include <string>

#include "plain_text.h"

namespace vesk_host {

// Blanks, trimming and INI quotes are those of every reader of our files: the INI reader
// behind the private-profile calls applies the same.
using vesk_text::isBlank;
using vesk_text::trimmed;
using vesk_text::unquoted;

// A whole decimal number from low to high: an optional minus sign and digits, nothing else.
bool parseNumber(const std::string& text, long long low, long long high, long long& value);
bool parseInt(const std::string& text, int& value);

} // namespace vesk_host
