#include "replay_command.h"

#include <filesystem>
#include <system_error>

#include "options.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace vesk_host {

namespace {

bool plainWord(const std::string& word) {
    if (word.empty()) {
        return false;
    }
    for (char c : word) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
#if defined(_WIN32)
        plain = plain || std::string("_./\\:=@+,-").find(c) != std::string::npos;
#else
        plain = plain || std::string("_./:=@%+,-").find(c) != std::string::npos;
#endif
        if (!plain) {
            return false;
        }
    }
    return true;
}

std::string absolutePath(const std::string& path) {
    std::error_code failed;
    fs::path full = fs::absolute(fs::path(path), failed);
    return failed ? path : full.lexically_normal().string();
}

} // namespace

std::string shellWord(const std::string& word) {
    if (plainWord(word)) {
        return word;
    }
#if defined(_WIN32)
    // A Windows path holds no double quote; cmd takes everything between them as one word.
    return "\"" + word + "\"";
#else
    std::string quoted = "'";
    for (char c : word) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
#endif
}

std::string libraryForReplay(const std::string& given) {
    std::error_code failed;
    bool named = given.find_first_of("/\\:") != std::string::npos;
    if (named || fs::is_regular_file(fs::path(given), failed)) {
        return absolutePath(given);
    }
    return given;
}

std::string hostProgram() {
#if defined(_WIN32)
    char path[MAX_PATH + 1] = {};
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        return std::string(path, length);
    }
#elif defined(__linux__)
    std::error_code failed;
    fs::path self = fs::read_symlink("/proc/self/exe", failed);
    if (!failed && !self.empty()) {
        return self.string();
    }
#endif
    return "vesk-host";
}

std::string replayCommand(const options& o, const std::string& program,
                          const std::string& systemDir, const std::string& recording) {
    std::string command = shellWord(program) + " --script " + shellWord(libraryForReplay(o.script));
    auto add = [&command](const char* option, const std::string& value) {
        if (!value.empty()) {
            command += std::string(" ") + option + " " + shellWord(value);
        }
    };
    add("--name", o.name);
    add("--startup", o.startup);
    add("--abi", o.abi);
    add("--system", systemDir);
    add("--workstation", o.workstation);
    add("--timeout", o.timeout == options().timeout ? std::string() : o.timeout);
    return command + " " + shellWord(recording);
}

} // namespace vesk_host
