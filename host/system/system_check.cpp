#include "system_check.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <set>

#include "devices/device.h"
#include "file_check.h"
#include "text.h"

namespace fs = std::filesystem;

namespace vesk_host {

namespace {

void checkHost(file_check& f, const std::set<int>& devices) {
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

std::vector<system_finding> missingFromSystem(const std::string& dir) {
    std::vector<system_finding> missing;
    std::error_code failed;
    fs::path root(dir);
    fs::path config = root / "config" / "system";
    if (!fs::is_directory(config, failed)) {
        return missing;
    }
    std::string shown = dir;
    while (shown.size() > 1 && (shown.back() == '/' || shown.back() == '\\')) {
        shown.pop_back();
    }
    // The names the host opens; one spelt otherwise is a fault checkSystem reports.
    if (!fs::exists(config / "host.ini", failed)) {
        missing.push_back({shown + "/config/system", 0,
                           "has no host.ini: no device has an instance name, so a script "
                           "that looks one up by name finds none"});
    }
    if (!fs::exists(config / "configdb.ini", failed)) {
        missing.push_back({shown + "/config/system", 0,
                           "has no configdb.ini: no workstation settings, object settings or "
                           "users, so scripts read only their defaults"});
    }
    bool anyPanel = false;
    for (const auto& entry : fs::recursive_directory_iterator(root / "panels", failed)) {
        if (entry.is_regular_file(failed) && lower(entry.path().extension().string()) == ".ini") {
            anyPanel = true;
            break;
        }
    }
    if (!anyPanel) {
        missing.push_back({shown, 0,
                           std::string(fs::is_directory(root / "panels", failed)
                                           ? "has no panel files in its panels folder"
                                           : "has no panels folder") +
                               ": a panel a script loads has no file and no controls"});
    }
    return missing;
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
    std::set<int> devices;
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
                checkDevice(f);
                devices.insert(device);
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
