// Reads of the system folder's INI files through the private-profile calls, as the rest of the
// system reads them: kernel32's on Windows, the stand-in elsewhere. Files are read afresh on
// every call.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace vesk_host {

using ini_entries = std::vector<std::pair<std::string, std::string>>;

// Section names in file order; empty when the file is missing.
std::vector<std::string> iniSections(const std::string& path);
// The section's keys and values in file order, blanks trimmed and enclosing double quotes
// removed; empty when the file or section is missing. A key that comes again (in any case) is
// left out, so that every key reads as iniValue reads it: the first. A line without '=' is
// kept, with an empty value.
ini_entries iniSection(const std::string& path, const std::string& section);
// One value, or `fallback` when the file, section or key is missing.
std::string iniValue(const std::string& path, const std::string& section, const std::string& key,
                     const std::string& fallback);

} // namespace vesk_host
