// vesk-host's serving mode: the page and its socket alongside commands typed on standard input,
// until SIGINT, SIGTERM or "quit".
#pragma once

#include <string>

#include "host_view.h"

namespace vesk_host {

struct serve_settings {
    std::string address = "127.0.0.1";
    int port = 0;
};

// False, with `error`, when the server cannot listen.
bool serve(host_view& view, const serve_settings& settings, std::string& error);

} // namespace vesk_host
