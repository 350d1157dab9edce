// env_guard: sets and unsets environment variables for one test, and puts every variable it
// touched back as it was when the guard goes.
#pragma once

#include <string>
#include <vector>

class env_guard {
public:
    env_guard() = default;
    ~env_guard();
    env_guard(const env_guard&) = delete;
    env_guard& operator=(const env_guard&) = delete;

    void set(const char* name, const std::string& value);
    void unset(const char* name);

private:
    struct saved {
        std::string name;
        bool wasSet;
        std::string value;
    };
    void remember(const char* name);

    std::vector<saved> m_saved;
};
