#include "system_model.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>

#include "ini_files.h"
#include "text.h"

namespace vesk_host {

namespace {

bool endsWithIni(const std::string& text) {
    if (text.size() < 4) {
        return false;
    }
    std::string tail = text.substr(text.size() - 4);
    for (char& c : tail) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return tail == ".ini";
}

} // namespace

const std::string* control::property(const std::string& name) const {
    for (const auto& p : properties) {
        if (p.first == name) {
            return &p.second;
        }
    }
    return nullptr;
}

void control::set(const std::string& name, const std::string& value) {
    for (auto& p : properties) {
        if (p.first == name) {
            p.second = value;
            return;
        }
    }
    properties.emplace_back(name, value);
}

control* panel_layout::find(const std::string& id) {
    for (control& c : controls) {
        if (c.id == id) {
            return &c;
        }
    }
    return nullptr;
}

const control* panel_layout::find(const std::string& id) const {
    return const_cast<panel_layout*>(this)->find(id);
}

system_model::system_model(std::string dir) : m_dir(std::move(dir)) {}

std::string system_model::configFile(const std::string& name) const {
    return m_dir + "/config/system/" + name;
}

device* system_model::find(int number) {
    auto known = m_devices.find(number);
    if (known != m_devices.end()) {
        return known->second.get();
    }
    std::unique_ptr<device>& entry = m_devices[number];
    if (!m_dir.empty() && number >= 0) {
        char file[32];
        std::snprintf(file, sizeof file, "dev_%03d.ini", number);
        entry = readDevice(configFile(file), number);
    }
    if (entry) {
        entry->listen(&m_listeners);
    }
    return entry.get();
}

template <class filter> void system_model::findEach(filter wanted) {
    if (m_dir.empty()) {
        return;
    }
    std::error_code failed;
    std::filesystem::directory_iterator files(m_dir + "/config/system", failed);
    if (failed) {
        return;
    }
    for (const auto& file : files) {
        std::string name = file.path().filename().string();
        // dev_NNN.ini: the device number is the digits between.
        if (name.size() > 8 && name.compare(0, 4, "dev_") == 0 &&
            name.compare(name.size() - 4, 4, ".ini") == 0) {
            std::string digits = name.substr(4, name.size() - 8);
            if (digits.find_first_not_of("0123456789") == std::string::npos && digits.size() < 6 &&
                wanted(file.path().string())) {
                find(std::atoi(digits.c_str()));
            }
        }
    }
}

void system_model::findAll() {
    findEach([](const std::string&) { return true; });
}

void system_model::findElsewhere() {
    findEach([](const std::string& path) { return livesElsewhere(path); });
}

void system_model::listen(device_listener* listener) {
    m_listeners.first = listener;
}

std::string system_model::instance(const std::string& name) const {
    if (m_dir.empty() || name.empty()) {
        return std::string();
    }
    return iniValue(configFile("host.ini"), "Instances", name, "");
}

std::vector<std::pair<std::string, std::string>> system_model::instances() const {
    std::vector<std::pair<std::string, std::string>> table;
    if (!m_dir.empty()) {
        // The first of a name counts, as for a lookup; names are compared without case.
        std::set<std::string> seen;
        for (const auto& entry : iniSection(configFile("host.ini"), "Instances")) {
            std::string folded = entry.first;
            for (char& c : folded) {
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
            if (seen.insert(folded).second) {
                table.emplace_back(entry.first, entry.second);
            }
        }
    }
    return table;
}

std::string system_model::hostInfo() const {
    std::string fallback = "vesk-host";
    return m_dir.empty() ? fallback : iniValue(configFile("host.ini"), "Host", "info", fallback);
}

bool system_model::networkKnows(const std::string& name) const {
    if (m_dir.empty() || name.empty()) {
        return false;
    }
    for (const auto& entry : iniSection(configFile("host.ini"), "Network")) {
        if (entry.first == name) {
            return true;
        }
    }
    return false;
}

bool system_model::loadPanel(const std::string& field, panel_layout& layout,
                             std::string& why) const {
    if (m_dir.empty()) {
        why = "no system folder was given";
        return false;
    }
    // The field comes from the script: it may name a file below the panels folder only.
    std::string relative = field;
    for (char& c : relative) {
        if (c == '\\') {
            c = '/';
        }
    }
    bool absolute =
        !relative.empty() && (relative[0] == '/' || relative.find(':') != std::string::npos);
    bool climbs = ("/" + relative + "/").find("/../") != std::string::npos;
    if (relative.empty() || absolute || climbs) {
        why = "'" + field + "' does not name a panel file below the panels folder";
        return false;
    }
    if (!endsWithIni(relative)) {
        relative += ".ini";
    }
    std::string path = m_dir + "/panels/" + relative;
    std::vector<std::string> sections = iniSections(path);
    if (sections.empty()) {
        why = "no panel file panels/" + relative;
        return false;
    }
    layout = panel_layout();
    layout.file = field;
    for (const std::string& id : sections) {
        control c;
        c.id = id;
        c.properties = iniSection(path, id);
        layout.controls.push_back(c);
    }
    return true;
}

} // namespace vesk_host
