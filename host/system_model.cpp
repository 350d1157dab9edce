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

const char* deviceKindName(device_kind kind) {
    switch (kind) {
    case device_kind::text:
        return "text";
    case device_kind::state:
        return "state";
    default:
        return "router";
    }
}

std::string text_device::text(int index) const {
    auto found = texts.find(index);
    return found != texts.end() ? found->second : std::string();
}

bool state_device::on(int index) const {
    auto found = states.find(index);
    return found != states.end() && found->second;
}

system_model::loaded_device* system_model::load(int device) {
    auto known = m_devices.find(device);
    if (known != m_devices.end()) {
        return &known->second;
    }
    loaded_device& entry = m_devices[device];
    if (m_dir.empty() || device < 0) {
        return &entry;
    }
    char file[32];
    std::snprintf(file, sizeof file, "dev_%03d.ini", device);
    std::string path = configFile(file);
    if (iniSections(path).empty()) {
        return &entry;
    }
    std::string name = iniValue(path, "Device", "name", "device " + std::to_string(device));
    std::string kind = iniValue(path, "Device", "kind", "router");
    if (kind == "text") {
        entry.kind = device_kind::text;
        entry.asText.reset(new text_device);
        text_device& t = *entry.asText;
        t.device = device;
        t.name = name;
        t.slots = readNames(path, "Slots", "DatabaseSize_0", t.texts);
        t.texts.erase(t.texts.upper_bound(t.slots), t.texts.end());
        return &entry;
    }
    if (kind == "state") {
        entry.kind = device_kind::state;
        entry.asState.reset(new state_device);
        state_device& g = *entry.asState;
        g.device = device;
        g.name = name;
        std::map<int, std::string> states;
        g.indices = readNames(path, "States", "DatabaseSize_0", states);
        for (const auto& each : states) {
            if (g.validIndex(each.first)) {
                g.states[each.first] = each.second == "1" || each.second == "on";
            }
        }
        return &entry;
    }
    entry.asRouter.reset(new router);
    router& r = *entry.asRouter;
    r.device = device;
    r.name = name;
    r.sources = readNames(path, "Sources", "DatabaseSize_0", r.sourceNames);
    r.destinations = readNames(path, "Destinations", "DatabaseSize_1", r.destinationNames);
    for (int d = 1; d <= r.destinations && r.sources > 0; ++d) {
        r.crosspoints[d] = 1;
    }
    for (const auto& each : iniSection(path, "Crosspoints")) {
        int destination = numberOr(each.first, 0);
        int source = numberOr(each.second, 0);
        if (r.validDestination(destination) && r.validSource(source)) {
            r.crosspoints[destination] = source;
        }
    }
    return &entry;
}

router* system_model::findRouter(int device) {
    return load(device)->asRouter.get();
}

text_device* system_model::findTextDevice(int device) {
    return load(device)->asText.get();
}

state_device* system_model::findStateDevice(int device) {
    return load(device)->asState.get();
}

bool system_model::kindOf(int device, device_kind& kind) {
    loaded_device* entry = load(device);
    kind = entry->kind;
    return entry->asRouter || entry->asText || entry->asState;
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
