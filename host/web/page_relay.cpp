#include "page_relay.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <iostream>

namespace vesk_host {

namespace {

// Whole frames only; the peer ending mid-write is not ours to die of (no SIGPIPE).
bool writeFrame(int socket, const std::string& frame) {
    const char* at = frame.data();
    std::size_t left = frame.size();
    while (left > 0) {
        ssize_t written = ::send(socket, at, left, MSG_NOSIGNAL);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        at += written;
        left -= static_cast<std::size_t>(written);
    }
    return true;
}

// Splits what arrived into lines, handing each complete one to `take`.
template <typename Take> void takeLines(std::string& pending, Take take) {
    std::size_t start = 0;
    std::size_t newline = 0;
    while ((newline = pending.find('\n', start)) != std::string::npos) {
        take(pending.substr(start, newline - start));
        start = newline + 1;
    }
    pending.erase(0, start);
}

// "X client rest" or "X client": the client number and what follows it.
bool clientOf(const std::string& frame, long& client, std::string& rest) {
    if (frame.size() < 3) {
        return false;
    }
    std::size_t end = frame.find(' ', 2);
    std::string number = frame.substr(2, end == std::string::npos ? std::string::npos : end - 2);
    if (frame[1] != ' ' || number.empty() ||
        number.find_first_not_of("0123456789") != std::string::npos || number.size() > 12) {
        return false;
    }
    client = std::atol(number.c_str());
    rest = end == std::string::npos ? std::string() : frame.substr(end + 1);
    return true;
}

} // namespace

relayed_page::relayed_page(int socket) : m_socket(socket) {
    m_reader = std::thread(&relayed_page::read, this);
}

relayed_page::~relayed_page() {
    // Wakes the reader, which then sees the end.
    shutdown(m_socket, SHUT_RDWR);
    m_reader.join();
    close(m_socket);
}

void relayed_page::read() {
    std::string pending;
    char buffer[8192];
    for (;;) {
        ssize_t got = ::recv(m_socket, buffer, sizeof buffer, 0);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return;
        }
        pending.append(buffer, static_cast<std::size_t>(got));
        takeLines(pending, [this](const std::string& frame) {
            inbound item;
            std::string rest;
            if (frame.empty() || !clientOf(frame, item.client, rest)) {
                return;
            }
            if (frame[0] == 'G') {
                item.what = inbound::kind::greeting;
            } else if (frame[0] == 'R') {
                item.what = inbound::kind::request;
                item.request.what = web_request::kind::recording;
            } else if (frame[0] == 'P') {
                item.what = inbound::kind::request;
                item.request.line = rest;
            } else {
                return;
            }
            m_inbox.post(std::move(item));
        });
    }
}

void relayed_page::write(const std::string& frame) {
    std::lock_guard<std::mutex> hold(m_writeLock);
    writeFrame(m_socket, frame);
}

bool relayed_page::post(inbound item) {
    return m_inbox.post(std::move(item));
}

bool relayed_page::next(inbound& item, int milliseconds) {
    return m_inbox.next(item, milliseconds);
}

// Messages are JSON texts, which hold no line feed.
void relayed_page::send(long client, const std::string& message) {
    write("S " + std::to_string(client) + " " + message + "\n");
}

void relayed_page::broadcast(const std::string& message) {
    write("B " + message + "\n");
}

void relayed_page::broadcastState(const std::string& message) {
    write("T " + message + "\n");
}

void relayed_page::recordingWritten(const std::string& text) {
    write("C " + jsonText(text) + "\n");
}

page_supervisor::page_supervisor(serve_settings settings, bool serving)
    : m_settings(std::move(settings)), m_serving(serving), m_server(webPage()) {}

page_supervisor::~page_supervisor() {
    stop();
}

void page_supervisor::stop() {
    m_runEnded = true;
    if (m_toRun.joinable()) {
        m_toRun.join();
    }
    if (m_fromRun.joinable()) {
        m_fromRun.join();
    }
    m_server.stop();
    for (int* fd : {&m_socket, &m_runSocket}) {
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
    }
}

bool page_supervisor::open(std::string& error) {
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) {
        error = "cannot make a socket pair for the page";
        return false;
    }
    m_socket = pair[0];
    m_runSocket = pair[1];
    return true;
}

std::unique_ptr<relayed_page> page_supervisor::runEnd() {
    close(m_socket);
    m_socket = -1;
    int socket = m_runSocket;
    m_runSocket = -1;
    return std::unique_ptr<relayed_page>(new relayed_page(socket));
}

bool page_supervisor::started(std::string& error) {
    close(m_runSocket);
    m_runSocket = -1;
    if (m_serving) {
        if (!m_server.start(m_settings.address, m_settings.port, error)) {
            return false;
        }
        std::cout << servingLine(m_settings.address, m_server.port()) << std::endl;
        m_toRun = std::thread(&page_supervisor::toRun, this);
    }
    m_fromRun = std::thread(&page_supervisor::fromRun, this);
    return true;
}

void page_supervisor::toRun() {
    while (!m_runEnded) {
        inbound item;
        if (!m_server.next(item, 100)) {
            continue;
        }
        std::string client = std::to_string(item.client);
        if (item.what == inbound::kind::greeting) {
            writeFrame(m_socket, "G " + client + "\n");
        } else if (item.what == inbound::kind::request) {
            writeFrame(m_socket, item.request.what == web_request::kind::recording
                                     ? "R " + client + "\n"
                                     : "P " + client + " " + item.request.line + "\n");
        }
    }
}

void page_supervisor::fromRun() {
    std::string pending;
    char buffer[65536];
    for (;;) {
        // Once the run's process has ended, what is left is read, and then the reading ends,
        // even if something the run started still holds its end open.
        pollfd ready{m_socket, POLLIN, 0};
        int polled = poll(&ready, 1, 100);
        if (polled < 0 && errno == EINTR) {
            continue;
        }
        if (polled == 0) {
            if (m_runEnded) {
                return;
            }
            continue;
        }
        ssize_t got = ::recv(m_socket, buffer, sizeof buffer, 0);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return;
        }
        pending.append(buffer, static_cast<std::size_t>(got));
        takeLines(pending, [this](const std::string& frame) {
            if (frame.size() < 2 || frame[1] != ' ') {
                return;
            }
            if (frame[0] == 'T') {
                std::lock_guard<std::mutex> hold(m_stateLock);
                m_lastState = frame.substr(2);
            }
            if (frame[0] == 'C') {
                nlohmann::json text = nlohmann::json::parse(frame.substr(2), nullptr, false);
                if (text.is_string()) {
                    std::lock_guard<std::mutex> hold(m_stateLock);
                    m_recording += text.get<std::string>();
                }
                return;
            }
            if (!m_serving) {
                return;
            }
            long client = 0;
            std::string message;
            if (frame[0] == 'B' || frame[0] == 'T') {
                m_server.broadcast(frame.substr(2));
            } else if (frame[0] == 'S' && clientOf(frame, client, message)) {
                m_server.send(client, message);
            }
        });
    }
}

void page_supervisor::ended() {
    m_runEnded = true;
    if (m_fromRun.joinable()) {
        m_fromRun.join();
    }
    if (m_toRun.joinable()) {
        m_toRun.join();
    }
}

std::string page_supervisor::recording() {
    std::lock_guard<std::mutex> hold(m_stateLock);
    return m_recording;
}

nlohmann::json page_supervisor::lastState() {
    std::lock_guard<std::mutex> hold(m_stateLock);
    if (m_lastState.empty()) {
        return nullptr;
    }
    return nlohmann::json::parse(m_lastState, nullptr, false);
}

void page_supervisor::showEnd(const nlohmann::json& state, const std::string& transcript,
                              const std::string& recorded) {
    if (!m_serving) {
        return;
    }
    // What was done up to the end still saves: replayed, it ends the same way.
    const std::string recordingMessage = jsonText(
        {{"type", "recording"}, {"text", recorded}, {"steps", state.value("recordedSteps", 0)}});
    std::size_t from = 0;
    std::string lines =
        jsonText(transcriptMessage(greetingTranscript(transcriptLines(transcript, from)), true));
    std::string shownState = jsonText(state);
    m_server.broadcast(lines);
    m_server.broadcast(shownState);
    std::cerr << "vesk-host: the page shows how the run ended until SIGINT or SIGTERM (Ctrl-C)"
              << std::endl;
    stop_signals signals;
    const std::string ended =
        jsonText({{"type", "error"}, {"message", "the run has ended: nothing runs any more"}});
    while (!signals.requested()) {
        inbound item;
        if (!m_server.next(item, 200)) {
            continue;
        }
        if (item.what == inbound::kind::greeting) {
            m_server.send(item.client, lines);
            m_server.send(item.client, shownState);
        } else if (item.what == inbound::kind::request) {
            m_server.send(item.client, item.request.what == web_request::kind::recording
                                           ? recordingMessage
                                           : ended);
        }
    }
}

} // namespace vesk_host
