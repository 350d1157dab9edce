// A file of the system folder read for its check: its sections and keys with their lines, and
// the findings about it. The device kinds check their own files through it.
#pragma once

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "ini_reader.h"
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
    // A finding that a run refuses to start with, not only warns of.
    void refusal(int line, const std::string& message) {
        m_findings.push_back({m_shown, line, message, true});
    }

    // Reads the file with the reader behind the private-profile calls, and reports every line
    // that the host will not read as its writer meant it: lines no call sees, a key read a
    // second time, a '#' line (only ';' starts a comment). What the check goes on to look at
    // is what the host reads: the first section of a name, the first of a key, values
    // without their quotes.
    bool read(const std::filesystem::path& path) {
        vesk_ini::document doc;
        if (!vesk_ini::parseFile(path.string().c_str(), doc)) {
            finding(0, "cannot be read");
            return false;
        }
        std::vector<system_finding> found;
        auto add = [&](int line, const std::string& message) {
            found.push_back({m_shown, line, message});
        };
        for (const vesk_ini::unread_line& u : doc.unread) {
            if (u.reason == vesk_ini::unread_line::repeatedSection) {
                std::string name = trimmed(u.text.substr(1, u.text.find(']') - 1));
                // The private-profile calls stop at the first section of a name.
                add(u.line, "[" + name + "] again: only the first, at line " +
                                std::to_string(u.firstLine) + ", is read");
            } else if (u.reason == vesk_ini::unread_line::beforeAnySection && u.text[0] != '#') {
                std::size_t equals = u.text.find('=');
                add(u.line, equals == std::string::npos
                                ? "'" + u.text + "' is neither a section nor key=value"
                                : "key '" + trimmed(u.text.substr(0, equals)) +
                                      "' comes before any [section]");
            }
        }
        for (const vesk_ini::section& s : doc.sections) {
            if (!s.closed) {
                add(s.line, "section header [" + s.name + " is never closed with ]");
            }
            ini_section read{s.name, s.line, {}};
            for (const vesk_ini::entry& e : s.entries) {
                const vesk_ini::entry* first = vesk_ini::findKey(s, e.key.c_str());
                if (e.key[0] == '#') {
                    add(e.line, "'" + e.key + (e.isKey ? "=" + e.value : std::string()) +
                                    "' is read as " +
                                    (e.isKey ? "key '" + e.key + "'" : std::string("a line")) +
                                    " of [" + s.name + "]: only ';' starts a comment");
                } else if (!e.isKey) {
                    add(e.line, "'" + e.key + "' is neither a section nor key=value");
                } else if (first != &e) {
                    add(e.line, "key '" + e.key + "' again in [" + s.name +
                                    "]: only the first, at line " + std::to_string(first->line) +
                                    ", is read");
                } else {
                    read.entries.push_back({e.line, e.key, unquoted(e.value)});
                    // A value has no comment after it: "CAM 1 ; studio" is all read. A quoted
                    // value says its writer meant it.
                    std::string value = e.value;
                    bool quoted = unquoted(value) != value;
                    if (!quoted && (value.find(" ;") != std::string::npos ||
                                    value.find("\t;") != std::string::npos)) {
                        add(e.line, "the value of '" + e.key + "' in [" + s.name + "] is all of '" +
                                        value +
                                        "': ';' starts a comment only at the head of a line");
                    }
                }
            }
            m_sections.push_back(std::move(read));
        }
        std::stable_sort(
            found.begin(), found.end(),
            [](const system_finding& a, const system_finding& b) { return a.line < b.line; });
        m_findings.insert(m_findings.end(), found.begin(), found.end());
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
