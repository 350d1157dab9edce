// The connection of an Ember+ router to its provider, on a thread of its own: the consumer
// role of host/ember over its TCP transport. What the consumer reports is queued for the
// host's thread; connects asked on the host's thread are queued for this one, which a pipe
// wakes. A connection lost after the matrix was read is reported and made again, with a
// growing pause between tries.
#include "ember_router.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <thread>
#include <unistd.h>
#include <utility>

#include "consumer.h"
#include "tcp.h"

namespace vesk_host {

namespace {

// News waiting for the host's thread, at most; beyond it the oldest are dropped and counted.
const std::size_t maxWaitingNews = 65536;
// Connects asked and not yet sent, at most (the host asks one per script line).
const std::size_t maxWaitingConnects = 65536;
const int firstPauseMs = 250;
const int longestPauseMs = 4000;

class posix_link : public ember_link, private vesk_ember::consumer_listener {
public:
    explicit posix_link(ember_address where) : m_where(std::move(where)) {}
    ~posix_link() override {
        m_stop = true;
        wake();
        if (m_thread.joinable()) {
            m_thread.join();
        }
        for (int fd : m_wake) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    posix_link(const posix_link&) = delete;
    posix_link& operator=(const posix_link&) = delete;

    // Starts the thread and waits for the matrix or the failure to read it.
    bool start(ember_news& first, std::string& why) {
        if (::pipe(m_wake) != 0) {
            why = "cannot make a pipe";
            return false;
        }
        for (int fd : m_wake) {
            int flags = fcntl(fd, F_GETFL, 0);
            fcntl(fd, F_SETFL, flags | O_NONBLOCK);
            fcntl(fd, F_SETFD, FD_CLOEXEC);
        }
        m_thread = std::thread([this] { run(); });
        std::unique_lock<std::mutex> hold(m_lock);
        m_started.wait(hold, [this] { return m_firstDone.load(); });
        if (!m_firstReady) {
            why = m_firstWhy;
            return false;
        }
        first = std::move(m_news.front());
        m_news.pop_front();
        return true;
    }

    void connect(std::int32_t target, std::int32_t source) override {
        {
            std::lock_guard<std::mutex> hold(m_lock);
            if (m_connects.size() < maxWaitingConnects) {
                m_connects.emplace_back(target, source);
            }
        }
        wake();
    }

    void take(std::deque<ember_news>& into, std::size_t& dropped) override {
        std::lock_guard<std::mutex> hold(m_lock);
        into.swap(m_news);
        m_news.clear();
        dropped = m_dropped;
        m_dropped = 0;
    }

private:
    void wake() {
        if (m_wake[1] >= 0) {
            char one = 1;
            // A full pipe already holds a wake-up.
            ssize_t written = ::write(m_wake[1], &one, 1);
            (void)written;
        }
    }

    void post(ember_news news) {
        {
            std::lock_guard<std::mutex> hold(m_lock);
            if (m_news.size() >= maxWaitingNews) {
                m_news.pop_front();
                ++m_dropped;
            }
            m_news.push_back(std::move(news));
        }
        if (m_firstDone) {
            deviceNews();
        }
    }

    void firstDone(bool ready, const std::string& why) {
        std::lock_guard<std::mutex> hold(m_lock);
        if (m_firstDone) {
            return;
        }
        m_firstDone = true;
        m_firstReady = ready;
        m_firstWhy = why;
        m_started.notify_all();
    }

    void run() {
        int pause = firstPauseMs;
        while (!m_stop) {
            std::string why;
            bool wasReady = session(why);
            if (!m_firstDone) {
                firstDone(false, why);
                return;
            }
            if (m_stop) {
                return;
            }
            if (wasReady) {
                ember_news lost;
                lost.what = ember_news::kind::lost;
                lost.text = why;
                post(std::move(lost));
                pause = firstPauseMs;
            }
            // A pause before trying again, which the destructor's wake-up ends.
            pollfd p{m_wake[0], POLLIN, 0};
            ::poll(&p, 1, pause);
            char drain[64];
            while (::read(m_wake[0], drain, sizeof drain) > 0) {
            }
            pause = std::min(pause * 2, longestPauseMs);
        }
    }

    // One connection, from connecting to its end; true when the matrix was read on it.
    bool session(std::string& why) {
        vesk_ember::tcp::consumer_client client;
        client.wakeWith(m_wake[0]);
        if (!client.connect(m_where.host, m_where.port, emberConnectMs, why)) {
            return false;
        }
        vesk_ember::consumer role(client.sender(), *this);
        m_ready = false;
        m_failed.clear();
        if (!role.start(m_where.matrix, why)) {
            return false;
        }
        auto readBy = std::chrono::steady_clock::now() + std::chrono::milliseconds(emberReadMs);
        while (!m_stop) {
            std::vector<std::pair<std::int32_t, std::int32_t>> connects;
            {
                std::lock_guard<std::mutex> hold(m_lock);
                connects.swap(m_connects);
            }
            for (const auto& c : connects) {
                role.connect(c.first, c.second);
            }
            bool open = client.poll(role, m_ready ? 1000 : 50);
            if (!m_failed.empty()) {
                why = m_failed;
                return m_ready;
            }
            if (!open) {
                why = client.closedBecause();
                return m_ready;
            }
            if (!m_ready && std::chrono::steady_clock::now() > readBy) {
                why = "the matrix was not read within " + std::to_string(emberReadMs) + " ms";
                return false;
            }
        }
        why = "closed";
        return m_ready;
    }

    void ready(const vesk_ember::matrix_state& matrix) override {
        ember_news n;
        n.what = ember_news::kind::ready;
        n.targets = matrix.targetCount;
        n.sources = matrix.sourceCount;
        for (const auto& sources : matrix.connections) {
            n.connected.push_back(sources.empty() ? -1 : sources.front());
        }
        n.targetLabels = matrix.targetLabels;
        n.sourceLabels = matrix.sourceLabels;
        m_ready = true;
        post(std::move(n));
        firstDone(true, std::string());
    }

    void crosspoint(std::int32_t target, const std::vector<std::int32_t>& sources) override {
        ember_news n;
        n.what = ember_news::kind::crosspoint;
        n.number = target;
        n.source = sources.empty() ? -1 : sources.front();
        post(std::move(n));
    }

    void label(bool isTarget, std::int32_t number, const std::string& text) override {
        ember_news n;
        n.what = ember_news::kind::label;
        n.isTarget = isTarget;
        n.number = number;
        n.text = text;
        post(std::move(n));
    }

    void failed(const std::string& why) override { m_failed = why; }

    ember_address m_where;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    int m_wake[2] = {-1, -1};
    // The thread's own, during a session.
    bool m_ready = false;
    std::string m_failed;

    std::mutex m_lock;
    std::condition_variable m_started;
    std::atomic<bool> m_firstDone{false};
    bool m_firstReady = false;
    std::string m_firstWhy;
    std::deque<ember_news> m_news;
    std::size_t m_dropped = 0;
    std::vector<std::pair<std::int32_t, std::int32_t>> m_connects;
};

} // namespace

std::unique_ptr<ember_link> openEmberLink(const ember_address& where, ember_news& first,
                                          std::string& why) {
    std::unique_ptr<posix_link> link(new posix_link(where));
    if (!link->start(first, why)) {
        return nullptr;
    }
    return std::unique_ptr<ember_link>(link.release());
}

} // namespace vesk_host
