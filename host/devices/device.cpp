#include "device.h"

#include <algorithm>
#include <vector>

#include "file_check.h"
#include "ini_files.h"
#include "text.h"

namespace vesk_host {

// The kinds, each defined in its own file. A new kind adds its line here.
extern const device_type routerType;
extern const device_type textDeviceType;
extern const device_type stateDeviceType;

namespace {

const device_type* const types[] = {&routerType, &textDeviceType, &stateDeviceType};

} // namespace

int numberOr(const std::string& text, int fallback) {
    int value = fallback;
    return parseInt(text, value) ? value : fallback;
}

const device_type* const* device_types::begin() const {
    return std::begin(types);
}

const device_type* const* device_types::end() const {
    return std::end(types);
}

device_types deviceTypes() {
    return device_types();
}

const device_type* deviceTypeNamed(const std::string& name) {
    for (const device_type* type : types) {
        if (name == type->name) {
            return type;
        }
    }
    return nullptr;
}

std::string deviceTypeNames() {
    std::string names;
    const std::size_t count = sizeof types / sizeof types[0];
    for (std::size_t i = 0; i < count; ++i) {
        names += (i == 0 ? "" : i + 1 == count ? " or " : ", ") + std::string(types[i]->name);
    }
    return names;
}

const char* familyDevices(verb_family family) {
    for (const device_type* type : types) {
        if (type->family == family) {
            return type->name;
        }
    }
    return familyName(family);
}

std::unique_ptr<device> readDevice(const std::string& path, int number) {
    if (iniSections(path).empty()) {
        return nullptr;
    }
    std::string name = iniValue(path, "Device", "name", "device " + std::to_string(number));
    const device_type* type = deviceTypeNamed(iniValue(path, "Device", "kind", types[0]->name));
    return (type != nullptr ? type : types[0])->load(path, number, name);
}

void checkDevice(file_check& f) {
    const ini_line* kind = key(f.section("Device"), "kind");
    // Written in lower case, as the host compares them.
    const device_type* type = kind != nullptr ? deviceTypeNamed(kind->value) : types[0];
    if (type == nullptr) {
        f.finding(kind->number, "kind '" + kind->value + "' is not " + deviceTypeNames() +
                                    " (it is read as a " + types[0]->name + ")");
        type = types[0];
    }
    if (const ini_section* s = f.section("Device")) {
        std::vector<std::string> known = {"name", "kind"};
        for (const char* const* k = type->deviceKeys; k != nullptr && *k != nullptr; ++k) {
            known.push_back(*k);
        }
        f.onlyKeys(*s, known);
    }
    type->check(f);
}

std::string beyondLimit(const std::string& what) {
    return what + " is beyond vesk-host's limit of " + std::to_string(maxDatabaseSize) +
           " indices per database";
}

int checkDatabaseSize(file_check& f, const ini_line& e) {
    int size = numberOr(e.value, -1);
    if (size < 0) {
        f.finding(e.number, e.key + " '" + e.value + "' is not a size");
        return 0;
    }
    if (size > maxDatabaseSize) {
        f.refusal(e.number, beyondLimit(e.key + "=" + e.value));
        return 0;
    }
    return size;
}

int readNumbered(const std::string& path, const char* section, const char* sizeKey,
                 std::map<int, std::string>& entries) {
    int largest = 0;
    for (const auto& entry : iniSection(path, section)) {
        int index = numberOr(entry.first, 0);
        // A run refuses such a system; this keeps every reader within the limit all the same.
        if (index >= 1 && index <= maxDatabaseSize) {
            entries[index] = entry.second;
            largest = std::max(largest, index);
        }
    }
    int size = numberOr(iniValue(path, "Database", sizeKey, ""), 0);
    return size > 0 ? std::min(size, maxDatabaseSize) : largest;
}

int checkNumbered(file_check& f, const ini_section* entries, int size, const char* what) {
    int largest = 0;
    if (entries == nullptr) {
        return size;
    }
    for (const ini_line& e : entries->entries) {
        int index = numberOr(e.key, 0);
        if (index < 1) {
            f.finding(e.number, std::string(what) + " '" + e.key + "' is not a number from 1");
            continue;
        } else if (index > maxDatabaseSize) {
            f.refusal(e.number, beyondLimit(std::string(what) + " " + e.key));
            continue;
        } else if (size > 0 && index > size) {
            f.finding(e.number, std::string(what) + " " + e.key + " is beyond the database size " +
                                    std::to_string(size));
        }
        largest = std::max(largest, index);
    }
    return size > 0 ? size : largest;
}

const ini_section* checkOneDatabase(file_check& f, const char* section, const char* what) {
    f.onlySections({"Device", "Database", section});
    int size = 0;
    if (const ini_section* s = f.section("Database")) {
        f.onlyKeys(*s, {"DatabaseSize_0"});
        if (const ini_line* e = key(s, "DatabaseSize_0")) {
            size = checkDatabaseSize(f, *e);
        }
    }
    const ini_section* s = f.section(section);
    checkNumbered(f, s, size, what);
    return s;
}

} // namespace vesk_host
