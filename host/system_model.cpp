#include "system_model.h"

#include <cstdio>

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

int numberOr(const std::string& text, int fallback) {
    int value = fallback;
    return parseInt(text, value) ? value : fallback;
}

// Numbered names of one section; the size is the database size when given, otherwise the
// highest number named.
int readNames(const std::string& path, const char* section, const std::string& sizeKey,
              std::map<int, std::string>& names) {
    int largest = 0;
    for (const auto& entry : iniSection(path, section)) {
        int index = numberOr(entry.first, 0);
        if (index >= 1) {
            names[index] = entry.second;
            largest = index > largest ? index : largest;
        }
    }
    int size = numberOr(iniValue(path, "Database", sizeKey, ""), 0);
    return size > 0 ? size : largest;
}

} // namespace

std::string router::sourceName(int index) const {
    auto found = sourceNames.find(index);
    return found != sourceNames.end() ? found->second : "Source " + std::to_string(index);
}

std::string router::destinationName(int index) const {
    auto found = destinationNames.find(index);
    return found != destinationNames.end() ? found->second : "Destination " + std::to_string(index);
}

int router::indexOf(int database, const std::string& wanted) const {
    int count = database == 0 ? sources : destinations;
    for (int i = 1; i <= count; ++i) {
        if ((database == 0 ? sourceName(i) : destinationName(i)) == wanted) {
            return i;
        }
    }
    return 0;
}

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

router* system_model::findRouter(int device) {
    auto known = m_routers.find(device);
    if (known != m_routers.end()) {
        return known->second.get();
    }
    std::unique_ptr<router> loaded;
    if (!m_dir.empty() && device >= 0) {
        char file[32];
        std::snprintf(file, sizeof file, "dev_%03d.ini", device);
        std::string path = configFile(file);
        if (!iniSections(path).empty()) {
            loaded.reset(new router);
            loaded->device = device;
            loaded->name = iniValue(path, "Device", "name", "device " + std::to_string(device));
            loaded->sources = readNames(path, "Sources", "DatabaseSize_0", loaded->sourceNames);
            loaded->destinations =
                readNames(path, "Destinations", "DatabaseSize_1", loaded->destinationNames);
            for (int d = 1; d <= loaded->destinations && loaded->sources > 0; ++d) {
                loaded->crosspoints[d] = 1;
            }
            for (const auto& entry : iniSection(path, "Crosspoints")) {
                int destination = numberOr(entry.first, 0);
                int source = numberOr(entry.second, 0);
                if (loaded->validDestination(destination) && loaded->validSource(source)) {
                    loaded->crosspoints[destination] = source;
                }
            }
        }
    }
    router* result = loaded.get();
    m_routers[device] = std::move(loaded);
    return result;
}

std::string system_model::instance(const std::string& name) const {
    if (m_dir.empty() || name.empty()) {
        return std::string();
    }
    return iniValue(configFile("host.ini"), "Instances", name, "");
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
