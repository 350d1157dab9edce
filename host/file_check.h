// A file of the system folder read for its check: its sections and keys with their lines, and
// the findings about it. The device kinds check their own files through it.
#pragma once

#include <cctype>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "system_check.h"
#include "text.h"

namespace vesk_host {

struct ini_line {
    int number;
    std::string key;
    std::string value;
};

struct ini_section {
    std::string name;
    int line = 0;
    std::vector<ini_line> entries;
};

inline std::string lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

class file_check {
public:
    file_check(std::string shown, std::vector<system_finding>& findings)
        : m_shown(std::move(shown)), m_findings(findings) {}

    void finding(int line, const std::string& message) {
        m_findings.push_back({m_shown, line, message});
    }

    // Reads the file as the private-profile calls do, reporting lines they would skip.
    bool read(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            finding(0, "cannot be read");
            return false;
        }
        std::string raw;
        int number = 0;
        while (std::getline(in, raw)) {
            ++number;
            std::string line = trimmed(raw);
            if (line.empty() || line[0] == ';' || line[0] == '#') {
                continue;
            }
            if (line[0] == '[') {
                std::size_t close = line.find(']');
                std::string name = trimmed(
                    line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
                if (close == std::string::npos) {
                    finding(number, "section header " + line + " is never closed with ]");
                } else if (const ini_section* first = section(name)) {
                    // The private-profile calls stop at the first section of a name.
                    finding(number, "[" + name + "] again: only the first, at line " +
                                        std::to_string(first->line) + ", is read");
                }
                m_sections.push_back({name, number, {}});
                continue;
            }
            std::size_t equals = line.find('=');
            if (equals == std::string::npos) {
                finding(number, "'" + line + "' is neither a section nor key=value");
                continue;
            }
            if (m_sections.empty()) {
                finding(number,
                        "key '" + trimmed(line.substr(0, equals)) + "' comes before any [section]");
                continue;
            }
            m_sections.back().entries.push_back({number, trimmed(line.substr(0, equals)),
                                                 unquoted(trimmed(line.substr(equals + 1)))});
        }
        return true;
    }

    const std::vector<ini_section>& sections() const { return m_sections; }
    const ini_section* section(const std::string& name) const {
        for (const ini_section& s : m_sections) {
            if (lower(s.name) == lower(name)) {
                return &s;
            }
        }
        return nullptr;
    }

    // Sections outside `known` are reported, with the known one they most resemble.
    void onlySections(const std::vector<std::string>& known) {
        for (const ini_section& s : m_sections) {
            bool found = false;
            std::string near;
            for (const std::string& k : known) {
                std::string a = lower(s.name);
                std::string b = lower(k);
                found = found || a == b;
                bool resembles = !a.empty() &&
                                 (b.compare(0, a.size(), a) == 0 || a.compare(0, b.size(), b) == 0);
                if (resembles && near.empty()) {
                    near = k;
                }
            }
            if (!found) {
                finding(s.line, "unknown section [" + s.name + "]" +
                                    (near.empty() ? "" : "; did you mean [" + near + "]?"));
            }
        }
    }
    void required(const std::string& name) {
        if (section(name) == nullptr) {
            finding(0, "has no [" + name + "] section");
        }
    }
    void onlyKeys(const ini_section& s, const std::vector<std::string>& known) {
        for (const ini_line& e : s.entries) {
            bool found = false;
            for (const std::string& k : known) {
                found = found || lower(e.key) == lower(k);
            }
            if (!found) {
                finding(e.number, "unknown key '" + e.key + "' in [" + s.name + "]");
            }
        }
    }

private:
    std::string m_shown;
    std::vector<system_finding>& m_findings;
    std::vector<ini_section> m_sections;
};

// The first entry of `name` in the section; null when there is none or no section.
inline const ini_line* key(const ini_section* s, const char* name) {
    if (s != nullptr) {
        for (const ini_line& e : s->entries) {
            if (lower(e.key) == lower(name)) {
                return &e;
            }
        }
    }
    return nullptr;
}

} // namespace vesk_host
