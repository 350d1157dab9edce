#include "env_guard.h"

#include <cstdlib>

namespace {
void setVariable(const std::string& name, const std::string& value) {
#if defined(_WIN32)
    _putenv_s(name.c_str(), value.c_str());
#else
    setenv(name.c_str(), value.c_str(), 1);
#endif
}

void unsetVariable(const std::string& name) {
#if defined(_WIN32)
    _putenv_s(name.c_str(), "");
#else
    unsetenv(name.c_str());
#endif
}
} // namespace

env_guard::~env_guard() {
    for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
        if (it->wasSet) {
            setVariable(it->name, it->value);
        } else {
            unsetVariable(it->name);
        }
    }
}

void env_guard::remember(const char* name) {
    for (const saved& s : m_saved) {
        if (s.name == name) {
            return;
        }
    }
    const char* current = std::getenv(name);
    m_saved.push_back(saved{name, current != nullptr, current ? current : ""});
}

void env_guard::set(const char* name, const std::string& value) {
    remember(name);
    setVariable(name, value);
}

void env_guard::unset(const char* name) {
    remember(name);
    unsetVariable(name);
}
