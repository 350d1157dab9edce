#include "ini_files.h"

#include <algorithm>
#include <unordered_set>
#include <vector>

#include "text.h"
#include "vesk_winapi.h"

namespace vesk_host {

namespace {

// Far beyond any file of a demo system; a list that still does not fit is taken as cut.
const DWORD largestBuffer = 1u << 20;

// Calls `read` with growing buffers until the NUL-separated list fits, then splits it.
template <typename Read> std::vector<std::string> readList(Read read) {
    std::vector<char> buffer(4096);
    for (;;) {
        DWORD size = static_cast<DWORD>(buffer.size());
        DWORD got = read(buffer.data(), size);
        if (got + 2 < size || size >= largestBuffer) {
            std::vector<std::string> items;
            const char* p = buffer.data();
            const char* end = buffer.data() + got;
            while (p < end && *p != '\0') {
                std::string item(p);
                p += item.size() + 1;
                items.push_back(item);
            }
            return items;
        }
        buffer.resize(buffer.size() * 4);
    }
}

} // namespace

std::vector<std::string> iniSections(const std::string& path) {
    return readList([&](char* buffer, DWORD size) {
        return GetPrivateProfileSectionNamesA(buffer, size, path.c_str());
    });
}

ini_entries iniSection(const std::string& path, const std::string& section) {
    std::vector<std::string> lines = readList([&](char* buffer, DWORD size) {
        return GetPrivateProfileSectionA(section.c_str(), buffer, size, path.c_str());
    });
    ini_entries entries;
    std::unordered_set<std::string> keys; // lower case
    for (const std::string& line : lines) {
        std::size_t equals = line.find('=');
        if (equals == std::string::npos) {
            entries.emplace_back(trimmed(line), std::string());
            continue;
        }
        std::string key = trimmed(line.substr(0, equals));
        // A key read once more would answer otherwise than a lookup of it, which takes the first.
        std::string lowered = key;
        std::transform(lowered.begin(), lowered.end(), lowered.begin(), vesk_text::lowerAscii);
        if (keys.insert(lowered).second) {
            entries.emplace_back(key, unquoted(trimmed(line.substr(equals + 1))));
        }
    }
    return entries;
}

std::string iniValue(const std::string& path, const std::string& section, const std::string& key,
                     const std::string& fallback) {
    std::vector<char> buffer(4096);
    DWORD got =
        GetPrivateProfileStringA(section.c_str(), key.c_str(), fallback.c_str(), buffer.data(),
                                 static_cast<DWORD>(buffer.size()), path.c_str());
    return std::string(buffer.data(), got);
}

} // namespace vesk_host
