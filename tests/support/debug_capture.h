// debug_capture: collects everything written to the debugger output while it lives.
#pragma once

#include <string>
#include <vector>

class debug_capture {
public:
    debug_capture();
    ~debug_capture();
    debug_capture(const debug_capture&) = delete;
    debug_capture& operator=(const debug_capture&) = delete;

    // Each OutputDebugStringA call's text, in order.
    const std::vector<std::string>& writes() const { return m_writes; }
    // All writes joined.
    std::string text() const;
    void clear() { m_writes.clear(); }

    // Used by the platform's capture hook.
    void add(const char* text) { m_writes.push_back(text ? text : ""); }

private:
    std::vector<std::string> m_writes;
};
