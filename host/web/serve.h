// vesk-host's serving mode: the page and its socket alongside commands typed on standard input,
// until SIGINT, SIGTERM or "quit".
#pragma once

#include <signal.h>

#include <cstdint>
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
// What of the transcript a browser that just connected gets: at most this many of its last
// bytes, so that a long run does not make a new browser slow to follow.
const std::size_t greetingLimit = 1024 * 1024;
// The lines of `text`, the transcript's end, that a new browser gets: within greetingLimit of
// its end and from a line's start. When `earlier` bytes came before `text`, or some of it is
// left out, the first line says how many.
nlohmann::json greetingTranscript(const std::string& text, std::uint64_t earlier = 0);

// The line that says where the page is: the address listened on and, beyond loopback, the
// token the page needs.
std::string servingLine(const std::string& address, int port, const std::string& token = "");

} // namespace vesk_host
