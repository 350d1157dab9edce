#include "builtin_system.h"

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace vesk_host {

namespace {

const char hostIni[] = "; The validator's built-in system.\n"
                       "[Host]\n"
                       "info=vesk-host validation system\n"
                       "\n"
                       "[Instances]\n"
                       "router1=1 0\n"
                       "router=1 0\n"
                       "rtr=1 0\n"
                       "\n"
                       "[Network]\n"
                       "studio=\n";

const char routerIni[] = "[Device]\n"
                         "name=validation router\n"
                         "\n"
                         "[Database]\n"
                         "DatabaseSize_0=16\n"
                         "DatabaseSize_1=8\n"
                         "\n"
                         "[Sources]\n"
                         "1=SRC 1\n"
                         "2=SRC 2\n"
                         "3=SRC 3\n"
                         "4=SRC 4\n"
                         "\n"
                         "[Destinations]\n"
                         "1=DST 1\n"
                         "2=DST 2\n";

bool writeFile(const fs::path& path, const std::string& text, std::string& error) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    out.close();
    if (!out) {
        error = "cannot write " + path.string();
        return false;
    }
    return true;
}

} // namespace

bool writeBuiltinSystem(const std::string& dir, const std::string& workstation,
                        std::string& error) {
    fs::path config = fs::path(dir) / "config" / "system";
    std::error_code failed;
    fs::create_directories(config, failed);
    fs::create_directories(fs::path(dir) / "panels", failed);
    if (failed) {
        error = "cannot make " + config.string() + ": " + failed.message();
        return false;
    }
    std::string n = workstation.empty() ? "0" : workstation;
    std::string configdb = "[workstation_settings." + n +
                           "]\n"
                           "monitor=1\n"
                           "panel=main\n"
                           "\n"
                           "[workstations." +
                           n +
                           "]\n"
                           "user=operator\n"
                           "\n"
                           "[users.operator]\n"
                           "level=Supervisor\n";
    return writeFile(config / "host.ini", hostIni, error) &&
           writeFile(config / "dev_001.ini", routerIni, error) &&
           writeFile(config / "configdb.ini", configdb, error);
}

} // namespace vesk_host
