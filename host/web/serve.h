// vesk-host's serving mode: the page and its socket alongside commands typed on standard input,
// until SIGINT, SIGTERM or "quit".
#pragma once

#include <signal.h>

#include <string>

#include "host_view.h"
#include "line_feed.h"
#include "page_link.h"

namespace vesk_host {

struct serve_settings {
    std::string address = "127.0.0.1";
    int port = 0;
};

// SIGINT and SIGTERM end serving while one of these lives; the previous handlers come back
// after.
class stop_signals {
public:
    stop_signals();
    ~stop_signals();
    stop_signals(const stop_signals&) = delete;
    stop_signals& operator=(const stop_signals&) = delete;
    bool requested() const;

private:
    struct sigaction m_oldInterrupt;
    struct sigaction m_oldTerminate;
};

// Serves the page from this process. False, with `error`, when the server cannot listen.
bool serveHere(host_view& view, const serve_settings& settings, std::string& error,
               line_feed* feed = nullptr);
// The serving loop itself, over a server of this process or one the supervisor runs. Lines
// typed on `input` (standard input unless told) run as steps, and so do the lines of `feed`.
void serve(host_view& view, page_link& page, int input = 0, line_feed* feed = nullptr);

// A transcript message: `lines` to add, or, with `reset`, to replace what the page shows.
nlohmann::json transcriptMessage(const nlohmann::json& lines, bool reset);
// What of the transcript a browser that just connected gets: its end, if it is long.
nlohmann::json greetingTranscript(nlohmann::json lines);

// The line that says where the page is: the address listened on and, beyond loopback, the
// token the page needs.
std::string servingLine(const std::string& address, int port, const std::string& token = "");

} // namespace vesk_host
