#include "system_check.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <set>

#include "ini_reader.h"
#include "text.h"

namespace fs = std::filesystem;

namespace vesk_host {

namespace {

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

std::string lower(std::string text) {
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

    // Reads the file with the reader behind the private-profile calls, and reports every line
    // that the host will not read as its writer meant it: lines no call sees, a key read a
    // second time, a '#' line (only ';' starts a comment). What the check goes on to look at
    // is what the host reads: the first section of a name, the first of a key, values
    // without their quotes.
    bool read(const fs::path& path) {
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

struct device_range {
    int sources = 0;
    int destinations = 0;
};

int number(const std::string& text, int fallback) {
    int value = fallback;
    return parseInt(text, value) ? value : fallback;
}

// Numbered names, each within the database's size when one is given.
int checkNames(file_check& f, const ini_section* names, int size, const char* what) {
    int largest = 0;
    if (names == nullptr) {
        return size;
    }
    for (const ini_line& e : names->entries) {
        int index = number(e.key, 0);
        if (index < 1) {
            f.finding(e.number, std::string(what) + " '" + e.key + "' is not a number from 1");
        } else if (size > 0 && index > size) {
            f.finding(e.number, std::string(what) + " " + e.key + " is beyond the database size " +
                                    std::to_string(size));
        }
        largest = std::max(largest, index);
    }
    return size > 0 ? size : largest;
}

const ini_line* key(const ini_section* s, const char* name) {
    if (s != nullptr) {
        for (const ini_line& e : s->entries) {
            if (lower(e.key) == lower(name)) {
                return &e;
            }
        }
    }
    return nullptr;
}

// A text device ([Slots], number=text) or a state device ([States], number=on|off|1|0): one
// database, its size DatabaseSize_0.
void checkSlotDevice(file_check& f, bool text) {
    const char* names = text ? "Slots" : "States";
    f.onlySections({"Device", "Database", names});
    int size = 0;
    if (const ini_section* s = f.section("Database")) {
        f.onlyKeys(*s, {"DatabaseSize_0"});
        if (const ini_line* e = key(s, "DatabaseSize_0")) {
            size = number(e->value, -1);
            if (size < 0) {
                f.finding(e->number, e->key + " '" + e->value + "' is not a size");
            }
        }
    }
    const ini_section* s = f.section(names);
    checkNames(f, s, std::max(size, 0), text ? "slot" : "index");
    if (!text && s != nullptr) {
        for (const ini_line& e : s->entries) {
            const std::string& v = e.value;
            if (v != "on" && v != "off" && v != "1" && v != "0") {
                f.finding(e.number, "state " + e.key + "=" + e.value +
                                        " is not on, off, 1 or 0 (it is read as off)");
            }
        }
    }
}

device_range checkDevice(file_check& f) {
    const ini_line* kind = key(f.section("Device"), "kind");
    if (const ini_section* s = f.section("Device")) {
        f.onlyKeys(*s, {"name", "kind"});
    }
    // Written in lower case, as the host compares them.
    if (kind != nullptr && (kind->value == "text" || kind->value == "state")) {
        checkSlotDevice(f, kind->value == "text");
        return device_range();
    }
    if (kind != nullptr && kind->value != "router") {
        f.finding(kind->number, "kind '" + kind->value +
                                    "' is not router, text or state (it is read as a router)");
    }
    f.onlySections({"Device", "Database", "Sources", "Destinations", "Crosspoints"});
    f.required("Sources");
    f.required("Destinations");
    int sourceSize = 0;
    int destinationSize = 0;
    if (const ini_section* s = f.section("Database")) {
        f.onlyKeys(*s, {"DatabaseSize_0", "DatabaseSize_1"});
        for (const ini_line& e : s->entries) {
            int size = number(e.value, -1);
            if (size < 0) {
                f.finding(e.number, e.key + " '" + e.value + "' is not a size");
            }
            (lower(e.key) == "databasesize_0" ? sourceSize : destinationSize) = std::max(size, 0);
        }
    }
    device_range range;
    range.sources = checkNames(f, f.section("Sources"), sourceSize, "source");
    range.destinations = checkNames(f, f.section("Destinations"), destinationSize, "destination");
    if (const ini_section* s = f.section("Crosspoints")) {
        for (const ini_line& e : s->entries) {
            int destination = number(e.key, 0);
            int source = number(e.value, 0);
            if (destination < 1 || destination > range.destinations) {
                f.finding(e.number, "crosspoint " + e.key + "=" + e.value +
                                        ": the router has destinations 1 to " +
                                        std::to_string(range.destinations));
            } else if (source < 1 || source > range.sources) {
                f.finding(e.number, "crosspoint " + e.key + "=" + e.value +
                                        ": the router has sources 1 to " +
                                        std::to_string(range.sources) +
                                        " (the destination would start on source 1)");
            }
        }
    }
    return range;
}

void checkHost(file_check& f, const std::map<int, device_range>& devices) {
    f.onlySections({"Host", "Instances", "Network"});
    if (const ini_section* s = f.section("Host")) {
        f.onlyKeys(*s, {"info"});
    }
    if (const ini_section* s = f.section("Instances")) {
        for (const ini_line& e : s->entries) {
            std::size_t blank = e.value.find(' ');
            int device = -1;
            int offset = -1;
            if (blank == std::string::npos || !parseInt(e.value.substr(0, blank), device) ||
                !parseInt(trimmed(e.value.substr(blank + 1)), offset)) {
                f.finding(e.number,
                          "instance " + e.key + "=" + e.value + " is not 'device offset'");
            } else if (devices.count(device) == 0) {
                f.finding(e.number, "instance " + e.key + " names device " +
                                        std::to_string(device) + ", which has no dev_" +
                                        (device < 10    ? "00"
                                         : device < 100 ? "0"
                                                        : "") +
                                        std::to_string(device) + ".ini");
            }
        }
    }
}

void checkConfigDb(file_check& f) {
    static const char* const nodes[] = {"workstation_settings.", "object_settings.",
                                        "workstations.", "users."};
    for (const ini_section& s : f.sections()) {
        bool known = false;
        for (const char* node : nodes) {
            known = known || lower(s.name).compare(0, std::string(node).size(), node) == 0;
        }
        if (!known) {
            f.finding(s.line, "unknown section [" + s.name +
                                  "]; nodes are workstation_settings.N, object_settings.NAME, "
                                  "workstations.N and users.NAME");
        }
    }
}

// Whether the host, opening the file by its lower-case name, reaches this file: always where
// file names have no case, only when the name is written so where they do.
bool hostOpens(const fs::path& folder, const fs::path& file, const std::string& lowerName) {
    std::error_code failed;
    return file.filename().string() == lowerName ||
           fs::equivalent(folder / lowerName, file, failed);
}

// A folder given one level too deep or too shallow, said as the user can fix it.
std::string whereTheSystemIs(const fs::path& dir) {
    std::error_code failed;
    for (fs::path up = dir.parent_path(); !up.empty() && up != up.parent_path();
         up = up.parent_path()) {
        if (fs::is_directory(up / "config" / "system", failed)) {
            return "; " + up.generic_string() + " has one: is that the system folder?";
        }
        break;
    }
    for (const auto& entry : fs::directory_iterator(dir, failed)) {
        if (entry.is_directory(failed) && fs::is_directory(entry.path() / "config" / "system")) {
            return "; " + entry.path().generic_string() + " has one: is that the system folder?";
        }
    }
    return std::string();
}

} // namespace

std::string system_finding::text() const {
    if (file.empty()) {
        return message;
    }
    return file + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": " + message;
}

std::vector<system_finding> checkSystem(const std::string& dir, const std::string& workstation) {
    std::vector<system_finding> findings;
    std::error_code failed;
    fs::path root(dir);
    if (!fs::is_directory(root, failed)) {
        findings.push_back({dir, 0, "is not a folder"});
        return findings;
    }
    fs::path config = root / "config" / "system";
    std::string shown = dir;
    while (shown.size() > 1 && (shown.back() == '/' || shown.back() == '\\')) {
        shown.pop_back();
    }
    if (!fs::is_directory(config, failed)) {
        findings.push_back({shown, 0,
                            "has no config/system folder" +
                                whereTheSystemIs(fs::absolute(root, failed).lexically_normal())});
        return findings;
    }

    // Devices first: the instance table names them.
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(config, failed)) {
        if (entry.is_regular_file(failed) && lower(entry.path().extension().string()) == ".ini") {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    if (files.empty()) {
        findings.push_back({shown + "/config/system", 0, "holds no INI files"});
    }
    std::map<int, device_range> devices;
    bool hasConfigDb = false;
    const fs::path* hostFile = nullptr;
    for (const fs::path& path : files) {
        std::string name = lower(path.filename().string());
        file_check f(shown + "/config/system/" + path.filename().string(), findings);
        int device = 0;
        bool isDevice = name.size() == 11 && name.compare(0, 4, "dev_") == 0 &&
                        parseInt(name.substr(4, 3), device);
        if ((isDevice || name == "host.ini" || name == "configdb.ini") &&
            !hostOpens(config, path, name)) {
            f.finding(0, "is not read: the host opens " + name +
                             ", which is another file where file names have case");
            continue;
        }
        if (isDevice) {
            if (f.read(path)) {
                devices[device] = checkDevice(f);
            }
        } else if (name == "host.ini") {
            hostFile = &path;
        } else if (name == "configdb.ini") {
            hasConfigDb = true;
            if (f.read(path)) {
                checkConfigDb(f);
            }
        } else {
            f.finding(0, "is not a file of a system (dev_NNN.ini, host.ini, configdb.ini)");
        }
    }
    if (hostFile != nullptr) {
        file_check f(shown + "/config/system/" + hostFile->filename().string(), findings);
        if (f.read(*hostFile)) {
            checkHost(f, devices);
        }
    }

    fs::path panels = root / "panels";
    for (const auto& entry : fs::directory_iterator(panels, failed)) {
        if (entry.is_regular_file(failed) && lower(entry.path().extension().string()) == ".ini") {
            file_check f(shown + "/panels/" + entry.path().filename().string(), findings);
            f.read(entry.path());
        }
    }

    if (!workstation.empty()) {
        int number = 0;
        std::string configDb = shown + "/config/system/configdb.ini";
        if (!parseInt(workstation, number) || number < 1) {
            findings.push_back(
                {std::string(), 0,
                 "workstation '" + workstation + "' is not a workstation number (1 and up)"});
        } else {
            bool found = false;
            if (hasConfigDb) {
                std::vector<system_finding> ignored;
                file_check f(configDb, ignored);
                f.read(config / "configdb.ini");
                found = f.section("workstation_settings." + workstation) != nullptr;
            }
            if (!found) {
                findings.push_back({configDb, 0,
                                    "workstation " + workstation +
                                        " has no settings ([workstation_settings." + workstation +
                                        "])"});
            }
        }
    }
    return findings;
}

} // namespace vesk_host
