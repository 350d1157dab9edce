#include "page_relay.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <vector>

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

} // namespace

std::string busyMessage(const std::string& what) {
    return jsonText({{"type", "error"}, {"message", "the host is busy; " + what}});
}

bool encodeFrame(const relay_frame& frame, std::string& line) {
    using kind = relay_frame::kind;
    std::string client = std::to_string(frame.client);
    if (frame.client < 0) {
        return false;
    }
    const std::string& text = frame.text;
    if (text.find('\n') != std::string::npos) {
        return false;
    }
    line = std::string(1, static_cast<char>(frame.what)) + " ";
    switch (frame.what) {
    case kind::greeting:
    case kind::recording:
        line += client;
        break;
    case kind::step:
    case kind::toClient:
        line += client + " " + text;
        break;
    case kind::toEvery:
    case kind::state:
        line += text;
        break;
    case kind::serving:
        if (!text.empty()) {
            return false;
        }
        break;
    default:
        return false;
    }
    line += "\n";
    return true;
}

bool decodeFrame(const std::string& line, relay_frame& frame) {
    using kind = relay_frame::kind;
    if (line.size() < 2 || line[1] != ' ') {
        return false;
    }
    frame = relay_frame();
    frame.what = static_cast<kind>(line[0]);
    switch (frame.what) {
    case kind::greeting:
    case kind::recording:
    case kind::step:
    case kind::toClient: {
        // "X client rest" or "X client": the client number and what follows it.
        std::size_t end = line.find(' ', 2);
        std::string number = line.substr(2, end == std::string::npos ? std::string::npos : end - 2);
        if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos ||
            number.size() > 12) {
            return false;
        }
        frame.client = std::atol(number.c_str());
        frame.text = end == std::string::npos ? std::string() : line.substr(end + 1);
        return true;
    }
    case kind::toEvery:
    case kind::state:
        frame.text = line.substr(2);
        return true;
    case kind::serving:
        return line.size() == 2;
    }
    return false;
}

void frame_reader::add(const char* data, std::size_t size,
                       const std::function<void(const std::string&)>& take) {
    const char* end = data + size;
    while (data < end) {
        const char* newline = static_cast<const char*>(std::memchr(data, '\n', end - data));
        const char* stop = newline != nullptr ? newline : end;
        if (!m_skipping) {
            m_pending.append(data, static_cast<std::size_t>(stop - data));
            if (m_pending.size() > m_limit) {
                m_pending.clear();
                m_skipping = true;
                ++m_skipped;
            }
        }
        if (newline == nullptr) {
            return;
        }
        if (!m_skipping) {
            take(m_pending);
        }
        m_pending.clear();
        m_skipping = false;
        data = newline + 1;
    }
}

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
    frame_reader reader;
    char buffer[8192];
    for (;;) {
        ssize_t got = ::recv(m_socket, buffer, sizeof buffer, 0);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return;
        }
        reader.add(buffer, static_cast<std::size_t>(got), [this](const std::string& line) {
            relay_frame frame;
            if (!decodeFrame(line, frame)) {
                return;
            }
            inbound item;
            item.client = frame.client;
            switch (frame.what) {
            case relay_frame::kind::greeting:
                item.what = inbound::kind::greeting;
                break;
            case relay_frame::kind::recording:
                item.what = inbound::kind::request;
                item.request.what = web_request::kind::recording;
                break;
            case relay_frame::kind::step:
                item.what = inbound::kind::request;
                item.request.line = frame.text;
                break;
            default:
                // Frames from the run have no business here.
                return;
            }
            // Past the queue's bound a request is refused, and the browser told so: what a
            // browser asked is either carried out or answered, never lost.
            long client = item.client;
            bool greeting = item.what == inbound::kind::greeting;
            if (!m_inbox.post(std::move(item))) {
                write(relay_frame::kind::toClient, client,
                      busyMessage(greeting ? "greeting not answered; reload the page"
                                           : "request dropped"));
            }
        });
    }
}

void relayed_page::write(relay_frame::kind what, long client, const std::string& text) {
    relay_frame frame;
    frame.what = what;
    frame.client = client;
    frame.text = text;
    std::string line;
    if (encodeFrame(frame, line)) {
        std::lock_guard<std::mutex> hold(m_writeLock);
        writeFrame(m_socket, line);
    }
}

bool relayed_page::post(inbound item) {
    return m_inbox.post(std::move(item));
}

bool relayed_page::next(inbound& item, int milliseconds) {
    return m_inbox.next(item, milliseconds);
}

void relayed_page::send(long client, const std::string& message) {
    write(relay_frame::kind::toClient, client, message);
}

void relayed_page::broadcast(const std::string& message) {
    write(relay_frame::kind::toEvery, 0, message);
}

void relayed_page::broadcastState(const std::string& message) {
    write(relay_frame::kind::state, 0, message);
}

void relayed_page::servingBegins() {
    write(relay_frame::kind::serving, 0, std::string());
}

page_supervisor::page_supervisor(serve_settings settings, bool serving)
    : m_settings(std::move(settings)), m_serving(serving), m_server(webPage()) {}

page_supervisor::~page_supervisor() {
    stop();
}

bool page_supervisor::keepRecording(const std::string& path, std::string& error) {
    if (!path.empty()) {
        // Emptied now: a run that dies before it records anything must not leave an older
        // recording there under the note of how it ended.
        std::FILE* file = std::fopen(path.c_str(), "wb");
        if (file == nullptr || std::fclose(file) != 0) {
            error = "cannot write " + path;
            return false;
        }
        m_recordingPath = path;
        return true;
    }
    const char* dir = std::getenv("TMPDIR");
    std::string pattern =
        std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/vesk-host-recording-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = mkstemp(name.data());
    if (fd < 0) {
        error = "cannot make a file for the recording in " + pattern.substr(0, pattern.rfind('/'));
        return false;
    }
    close(fd);
    m_recordingPath = m_ownRecording = name.data();
    m_owner = getpid();
    return true;
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
    // A recording file of the supervisor's own goes with it; a forked run leaves it alone.
    if (!m_ownRecording.empty() && getpid() == m_owner) {
        unlink(m_ownRecording.c_str());
        m_ownRecording.clear();
    }
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
        // The line that says where is printed once the steps are done (see fromRun), so that
        // it is the last thing said before serving.
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
        relay_frame frame;
        frame.client = item.client;
        if (item.what == inbound::kind::greeting) {
            frame.what = relay_frame::kind::greeting;
        } else if (item.what == inbound::kind::request) {
            bool recording = item.request.what == web_request::kind::recording;
            frame.what = recording ? relay_frame::kind::recording : relay_frame::kind::step;
            frame.text = recording ? std::string() : item.request.line;
        } else {
            continue;
        }
        std::string line;
        if (!encodeFrame(frame, line)) {
            m_server.send(item.client,
                          jsonText({{"type", "error"}, {"message", "a command is one line"}}));
            continue;
        }
        if (!writeFrame(m_socket, line) && item.what == inbound::kind::request) {
            m_server.send(item.client,
                          jsonText({{"type", "error"},
                                    {"message", "the run has ended: nothing runs any more"}}));
        }
    }
}

void page_supervisor::fromRun() {
    frame_reader reader;
    std::size_t skipped = 0;
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
        reader.add(buffer, static_cast<std::size_t>(got), [this](const std::string& line) {
            relay_frame frame;
            if (!decodeFrame(line, frame)) {
                return;
            }
            switch (frame.what) {
            case relay_frame::kind::state: {
                std::lock_guard<std::mutex> hold(m_stateLock);
                m_lastState = frame.text;
                break;
            }
            case relay_frame::kind::serving:
                if (m_serving) {
                    announce();
                }
                return;
            case relay_frame::kind::toEvery:
            case relay_frame::kind::toClient:
                break;
            default:
                // Frames to the run have no business here.
                return;
            }
            if (!m_serving) {
                return;
            }
            if (frame.what == relay_frame::kind::toClient) {
                m_server.send(frame.client, frame.text);
            } else {
                m_server.broadcast(frame.text);
            }
        });
        if (reader.skipped() > skipped) {
            skipped = reader.skipped();
            std::cerr << "vesk-host: a message of the run longer than "
                      << frame_reader::defaultLimit / (1024 * 1024)
                      << " MiB was not passed on to the page\n";
        }
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

void page_supervisor::announce() {
    std::cerr.flush();
    std::cout << servingLine(m_server.address(), m_server.port(), m_server.token()) << std::endl;
}

bool page_supervisor::recording(std::string& text, std::string& why) const {
    if (m_recordingPath.empty()) {
        why = "nothing was recorded";
        return false;
    }
    return readRecording(m_recordingPath, recordingSendLimit, text, why);
}

bool page_supervisor::recordingEnds(const std::string& note) {
    if (m_recordingPath.empty()) {
        return true;
    }
    std::FILE* file = std::fopen(m_recordingPath.c_str(), "ab");
    if (file == nullptr) {
        return false;
    }
    bool written = std::fwrite(note.data(), 1, note.size(), file) == note.size();
    return std::fclose(file) == 0 && written;
}

nlohmann::json page_supervisor::lastState() {
    std::lock_guard<std::mutex> hold(m_stateLock);
    if (m_lastState.empty()) {
        return nullptr;
    }
    return nlohmann::json::parse(m_lastState, nullptr, false);
}

void page_supervisor::showEnd(const nlohmann::json& state, const std::string& transcript) {
    if (!m_serving) {
        return;
    }
    // What was done up to the end still saves: replayed, it ends the same way.
    std::string recorded;
    std::string why;
    const std::string recordingMessage =
        recording(recorded, why) ? jsonText({{"type", "recording"},
                                             {"text", recorded},
                                             {"steps", state.value("recordedSteps", 0)}})
                                 : jsonText({{"type", "error"}, {"message", why}});
    recorded.clear();
    std::string lines = jsonText(transcriptMessage(greetingTranscript(transcript), true));
    std::string shownState = jsonText(state);
    m_server.broadcast(lines);
    m_server.broadcast(shownState);
    std::cerr << "vesk-host: the page shows how the run ended until SIGINT or SIGTERM (Ctrl-C)"
              << std::endl;
    announce();
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
