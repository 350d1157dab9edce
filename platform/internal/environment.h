// Reading an environment variable, for the SDK and the configuration database. Header only and
// internal; not installed.
#pragma once

#include <cstdlib>
#include <string>

namespace vesk_env {

// Copies the variable's value. An empty value counts as unset, as on Windows, where a variable
// cannot be empty; otherwise an empty CC_ROOT would point a path at the filesystem root.
inline bool environment(const char* name, std::string& value) {
#if defined(_MSC_VER)
    char* text = nullptr;
    std::size_t length = 0;
    if (_dupenv_s(&text, &length, name) != 0 || text == nullptr) {
        return false;
    }
    value.assign(text);
    std::free(text);
#else
    const char* text = std::getenv(name);
    if (text == nullptr) {
        return false;
    }
    value.assign(text);
#endif
    return !value.empty();
}

} // namespace vesk_env
