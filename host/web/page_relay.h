// A run with a process of its own serves its page through its supervisor: the supervisor runs
// the server and outlives the run, so a run that crashes still shows on the page how it ended.
// The two talk over a socket pair, one line per frame:
//   to the run     "G client" (a greeting), "P client LINE" (a step), "R client" (the recording)
//   from the run   "S client MESSAGE", "B MESSAGE" (to every browser), "T MESSAGE" (the state),
//                  "C TEXT" (a piece of the recording, as a JSON string)
// Messages are JSON texts and hold no line feed. A frame the run died while writing has no line
// feed either, and is never taken.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

#include "page_link.h"
#include "serve.h"
#include "web_server.h"

namespace vesk_host {

struct relay_frame {
    enum class kind : char {
        greeting = 'G',
        step = 'P',
        recording = 'R',
        toClient = 'S',
        toEvery = 'B',
        state = 'T',
        serving = 'L'
    };
    kind what = kind::greeting;
    long client = 0;  // greeting, step, recording, toClient
    std::string text; // step: the line; toClient, toEvery, state: the message
};

// The error a browser gets for what the host's queue had no room for.
std::string busyMessage(const std::string& what);

// The frame as one line, line feed included. False when it cannot be one: a line or a message
// with a line break in it.
bool encodeFrame(const relay_frame& frame, std::string& line);
// One line, without its line feed. False when it is not a frame: an unknown kind, a client
// that is not a number, a serving frame with something after it.
bool decodeFrame(const std::string& line, relay_frame& frame);

// Cuts what arrives from the socket into lines. A line longer than `limit` is not kept: it is
// skipped to its end and counted.
class frame_reader {
public:
    static const std::size_t defaultLimit = 64u * 1024 * 1024;
    explicit frame_reader(std::size_t limit = defaultLimit) : m_limit(limit) {}
    // Adds what arrived and hands each complete line, in order, to `take`.
    void add(const char* data, std::size_t size,
             const std::function<void(const std::string&)>& take);
    std::size_t skipped() const { return m_skipped; }

private:
    std::size_t m_limit;
    std::string m_pending;
    bool m_skipping = false;
    std::size_t m_skipped = 0;
};

// The run's end.
class relayed_page : public page_link {
public:
    // Takes `socket`.
    explicit relayed_page(int socket);
    ~relayed_page() override;
    relayed_page(const relayed_page&) = delete;
    relayed_page& operator=(const relayed_page&) = delete;

    bool post(inbound item) override;
    bool next(inbound& item, int milliseconds) override;
    void send(long client, const std::string& message) override;
    void broadcast(const std::string& message) override;
    void broadcastState(const std::string& message) override;
    void servingBegins() override;

private:
    void read();
    void write(relay_frame::kind what, long client, const std::string& text);

    int m_socket;
    std::mutex m_writeLock;
    inbound_queue m_inbox;
    std::thread m_reader;
};

// The supervisor's end.
class page_supervisor {
public:
    // `serving`: run the page's server; otherwise only keep the state the run sends.
    page_supervisor(serve_settings settings, bool serving);
    ~page_supervisor();
    page_supervisor(const page_supervisor&) = delete;
    page_supervisor& operator=(const page_supervisor&) = delete;

    // Before the run's process starts: the socket pair.
    bool open(std::string& error);
    // In the run's process: its end of the pair.
    std::unique_ptr<relayed_page> runEnd();
    // In the supervisor once the run's process has started: the server and the threads that
    // carry between it and the run. False, with `error`, when the server cannot listen.
    bool started(std::string& error);
    // The run's process has ended: what it sent is read to the end, then carrying stops.
    void ended();

    // Before open(): the file the run writes its recording to, read from here if the run
    // dies. With no path, a temporary file of the supervisor's own. False, with `error`, when
    // that cannot be made.
    bool keepRecording(const std::string& path, std::string& error);
    const std::string& recordingPath() const { return m_recordingPath; }

    // The last state the run sent; null when it sent none.
    nlohmann::json lastState();
    // The recording as far as the run wrote it, for a browser: false, with `why`, when it
    // cannot be read or is too large to send.
    bool recording(std::string& text, std::string& why) const;
    // Adds `note` at the recording's end (after a run that died); false when it cannot.
    bool recordingEnds(const std::string& note);
    // After a run that died: every browser is shown `state` and `transcript` (the text of
    // the whole transcript), and can save the recording, until SIGINT or SIGTERM.
    void showEnd(const nlohmann::json& state, const std::string& transcript);
    // Closes the server and the socket; the destructor does it too.
    void stop();

private:
    void toRun();
    void fromRun();
    // Prints the line that says where the page is.
    void announce();

    serve_settings m_settings;
    bool m_serving;
    int m_socket = -1;    // the supervisor's end
    int m_runSocket = -1; // the run's end, closed here once the run has it
    web_server m_server;
    std::atomic<bool> m_runEnded{false};
    std::thread m_toRun;
    std::thread m_fromRun;
    std::mutex m_stateLock;
    std::string m_lastState;
    std::string m_recordingPath;
    std::string m_ownRecording; // a temporary file, removed by the process that made it
    pid_t m_owner = 0;
};

} // namespace vesk_host
