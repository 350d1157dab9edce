// script_library: loads a script library as the panel host does, by file and by the name of
// its one export, and creates scripts through it.
#pragma once

#include <string>

#include "vesk_client_callback.h"

class script_library {
public:
    typedef vesk_client_callback* (*factory)(vesk_client_callback* link, const char* startup);

    // Loads the library at `path`; loaded() tells whether it worked, error() why not.
    explicit script_library(const std::string& path);
    ~script_library();
    script_library(const script_library&) = delete;
    script_library& operator=(const script_library&) = delete;

    bool loaded() const { return m_factory != nullptr; }
    const std::string& error() const { return m_error; }

    // The host owns the result and deletes it through the virtual destructor.
    vesk_client_callback* create(vesk_client_callback* link, const char* startup) const {
        return m_factory ? m_factory(link, startup) : nullptr;
    }

private:
    void* m_handle = nullptr;
    factory m_factory = nullptr;
    std::string m_error;
};
