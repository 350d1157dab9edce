// --ember on POSIX: the provider's loop runs on a thread of its own (tcp::provider_server); the
// host's thread runs the scenario lines consumers cause and reports every device change.
#include "ember_serving.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <iostream>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

#include "devices/device.h"
#include "ember_bridge.h"
#include "line_input.h"
#include "options.h"
#include "scenario_parser.h"
#include "scenario_runner.h"
#include "system_model.h"
#include "tcp.h"

namespace vesk_host {

namespace {

// How long a consumer's request waits for the host to run its line, so that the consumer's
// answer is the state it made; past it, the change reaches the consumer when it is made.
const auto answerWait = std::chrono::milliseconds(500);
// Consumers' lines waiting for the host; a request beyond it is refused, not queued.
const std::size_t waitingLinesLimit = 1024;

volatile sig_atomic_t stopAsked = 0;

extern "C" void onEmberStop(int) {
    stopAsked = 1;
}

// SIGINT and SIGTERM end serving while one of these lives. A supervised run hears each request
// twice (Ctrl-C reaches both processes, and the supervisor passes it on), so once one came
// the handler stays: the second must not end the run as it writes its report. The supervisor
// ends it at a second request of its own.
class stop_requests {
public:
    explicit stop_requests(bool supervised) : m_supervised(supervised) {
        stopAsked = 0;
        struct sigaction stop;
        std::memset(&stop, 0, sizeof stop);
        stop.sa_handler = &onEmberStop;
        sigemptyset(&stop.sa_mask);
        sigaction(SIGINT, &stop, &m_interrupt);
        sigaction(SIGTERM, &stop, &m_terminate);
    }
    ~stop_requests() {
        if (m_supervised && asked()) {
            return;
        }
        sigaction(SIGINT, &m_interrupt, nullptr);
        sigaction(SIGTERM, &m_terminate, nullptr);
    }
    stop_requests(const stop_requests&) = delete;
    stop_requests& operator=(const stop_requests&) = delete;
    bool asked() const { return stopAsked != 0; }

private:
    bool m_supervised;
    struct sigaction m_interrupt;
    struct sigaction m_terminate;
};

// Lines typed on standard input, read on a thread of their own so that the host's thread can
// wait for them and for consumers at once.
class typed_lines {
public:
    explicit typed_lines(int input) : m_input(input), m_reader([this] { read(); }) {}
    ~typed_lines() {
        m_stopping = true;
        m_reader.join();
    }
    typed_lines(const typed_lines&) = delete;
    typed_lines& operator=(const typed_lines&) = delete;

    // Waits at most `milliseconds` for a line or a wake-up.
    void wait(int milliseconds) {
        std::unique_lock<std::mutex> hold(m_lock);
        m_ready.wait_for(hold, std::chrono::milliseconds(milliseconds),
                         [this] { return !m_lines.empty() || m_woken; });
        m_woken = false;
    }
    void wake() {
        std::lock_guard<std::mutex> hold(m_lock);
        m_woken = true;
        m_ready.notify_all();
    }
    bool take(std::string& line) {
        std::lock_guard<std::mutex> hold(m_lock);
        if (m_lines.empty()) {
            return false;
        }
        line = std::move(m_lines.front());
        m_lines.pop_front();
        return true;
    }

private:
    void read() {
        std::string pending;
        char buffer[4096];
        while (!m_stopping) {
            pollfd in{m_input, POLLIN, 0};
            int ready = ::poll(&in, 1, 200);
            if (ready < 0 && errno == EINTR) {
                continue;
            }
            if (ready < 0) {
                break;
            }
            if (ready == 0) {
                continue;
            }
            ssize_t got = ::read(m_input, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got <= 0) {
                break;
            }
            pending.append(buffer, static_cast<std::size_t>(got));
            std::size_t newline = 0;
            while ((newline = pending.find('\n')) != std::string::npos) {
                push(pending.substr(0, newline));
                pending.erase(0, newline + 1);
            }
        }
        // Serving goes on without standard input; a signal ends it.
        if (!pending.empty()) {
            push(pending);
        }
    }
    void push(std::string line) {
        std::lock_guard<std::mutex> hold(m_lock);
        m_lines.push_back(std::move(line));
        m_ready.notify_all();
    }

    int m_input;
    std::atomic<bool> m_stopping{false};
    std::mutex m_lock;
    std::condition_variable m_ready;
    std::deque<std::string> m_lines;
    bool m_woken = false;
    std::thread m_reader;
};

} // namespace

bool emberAccepts(const options&, std::string&) {
    return true;
}

struct ember_serving::impl : vesk_ember::provider_model, device_listener {
    explicit impl(system_model& s) : system(s), bridge(s, provider) { system.listenAlso(this); }

    ~impl() override {
        system.listenAlso(nullptr);
        {
            std::lock_guard<std::mutex> hold(lock);
            stopping = true;
            answered.notify_all();
        }
        if (loop.joinable()) {
            looping = false;
            server.post([] {});
            loop.join();
        }
    }

    // The provider's thread: a consumer's request becomes a line for the host, and the
    // consumer waits (a little) for the host to have run it.
    void connectRequested(const vesk_ember::path& matrix, std::int32_t target,
                          const std::vector<std::int32_t>& sources,
                          vesk_ember::connection_operation operation) override {
        const std::vector<std::int32_t>* now = provider.connection(matrix, target);
        std::string why;
        std::string line =
            now != nullptr ? bridge.connectLine(matrix, target, sources, operation, *now, why) : "";
        ask(line);
    }

    void valueRequested(const vesk_ember::path& parameter,
                        const vesk_ember::glow_value& value) override {
        std::string why;
        ask(bridge.valueLine(parameter, value, why));
    }

    void ask(const std::string& line) {
        if (line.empty()) {
            // Refused: the provider answers the requester with the state as it is.
            return;
        }
        {
            std::unique_lock<std::mutex> hold(lock);
            if (stopping || waiting.size() >= waitingLinesLimit) {
                return;
            }
            long id = ++queued;
            waiting.push_back({id, line});
            if (arrived) {
                arrived();
            }
            answered.wait_for(hold, answerWait, [this, id] { return done >= id || stopping; });
        }
        applyUpdates();
    }

    // The provider's thread: the changes the host reported, applied to the tree and pushed.
    void applyUpdates() {
        std::map<std::pair<int, int>, std::function<void(vesk_ember::provider&)>> due;
        {
            std::lock_guard<std::mutex> hold(lock);
            due.swap(updates);
        }
        for (auto& u : due) {
            u.second(provider);
        }
    }

    // The host's thread: the device's state is read now, applied on the provider's thread.
    // Changes not yet applied to one index are joined: the consumers get its latest state,
    // and what waits stays bounded by the system's size. One wake-up is posted for all that
    // wait, however many changes a step makes.
    void deviceChanged(const device& changed, int index, const std::string&) override {
        std::function<void(vesk_ember::provider&)> u = bridge.update(changed, index);
        if (!u) {
            return;
        }
        bool first = false;
        {
            std::lock_guard<std::mutex> hold(lock);
            first = updates.empty();
            updates[{changed.number(), index}] = std::move(u);
        }
        if (first) {
            server.post([this] { applyUpdates(); });
        }
    }

    system_model& system;
    vesk_ember::provider provider{*this};
    ember_bridge bridge;
    vesk_ember::tcp::provider_server server{provider};
    std::string address;
    std::thread loop;
    std::atomic<bool> looping{true};

    std::mutex lock;
    std::condition_variable answered;
    bool stopping = false;
    std::deque<std::pair<long, std::string>> waiting;
    long queued = 0; // the last line queued
    long taken = 0;  // the last line the host took
    long done = 0;   // the lines up to this one have run
    std::function<void()> arrived;
    std::map<std::pair<int, int>, std::function<void(vesk_ember::provider&)>> updates;
};

ember_serving::ember_serving(system_model& system) : m(new impl(system)) {}

ember_serving::~ember_serving() = default;

bool ember_serving::start(const std::string& address, int port, std::string& error) {
    std::string why;
    if (port < 0 || port > 65535 ||
        !m->server.listen(address, static_cast<std::uint16_t>(port), why)) {
        error = "cannot serve Ember+: " + why;
        return false;
    }
    m->address = address;
    impl* served = m.get();
    m->loop = std::thread([served] {
        while (served->looping) {
            served->server.poll(200);
        }
    });
    return true;
}

std::string ember_serving::servingLine() const {
    return "vesk-host: Ember+ provider on " + m->address + ":" + std::to_string(m->server.port());
}

std::vector<std::string> ember_serving::leftOut() const {
    return m->bridge.leftOut();
}

bool ember_serving::next(std::string& line) {
    std::lock_guard<std::mutex> hold(m->lock);
    m->done = m->taken;
    m->answered.notify_all();
    if (m->waiting.empty()) {
        return false;
    }
    m->taken = m->waiting.front().first;
    line = std::move(m->waiting.front().second);
    m->waiting.pop_front();
    return true;
}

void ember_serving::onArrival(std::function<void()> arrived) {
    std::lock_guard<std::mutex> hold(m->lock);
    m->arrived = std::move(arrived);
}

void ember_serving::runWaiting(run_page& steps) {
    std::string line;
    while (next(line)) {
        // Unnumbered, as the page's own steps are: no file or input has the line.
        step s;
        std::string error;
        if (parseStep(line, s, error)) {
            steps.run(s);
        }
    }
}

void ember_serving::serve(run_page& steps, const scenario_runner& runner, bool supervised) {
    stop_requests signals(supervised);
    typed_lines typed(STDIN_FILENO);
    onArrival([&typed] { typed.wake(); });
    int number = 0;
    while (!signals.asked() && !runner.quitRequested()) {
        typed.wait(200);
        std::string line;
        while (!runner.quitRequested() && typed.take(line)) {
            ++number;
            step s;
            if (!typedStep(line, number, s)) {
                continue;
            }
            steps.run(s);
        }
        runWaiting(steps);
    }
    onArrival(nullptr);
}

} // namespace vesk_host
