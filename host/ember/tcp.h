// A small TCP transport for the two roles: POSIX sockets and poll(), one thread per loop.
// Neither role's core knows of it; it only moves bytes between sockets and the cores.
#pragma once

#include "consumer.h"
#include "provider.h"
#include "s101.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace vesk_ember {
namespace tcp {

// One connected socket with what is queued for it; closed on destruction.
class connection {
public:
    connection() = default;
    explicit connection(int fd) : m_fd(fd) {}
    connection(const connection&) = delete;
    connection& operator=(const connection&) = delete;
    connection(connection&& o) noexcept;
    connection& operator=(connection&& o) noexcept;
    ~connection();

    bool open() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    // Queues bytes; false (and the connection should be closed) past kMaxQueuedBytes.
    bool queue(const bytes& data);
    bool wantsToWrite() const { return m_sent < m_out.size(); }
    // Writes what the socket takes now; false on a broken connection.
    bool flush();
    // Reads what is there into `buffer`; false on end of stream or error.
    bool read(bytes& buffer);
    void close();

private:
    int m_fd = -1;
    bytes m_out;
    std::size_t m_sent = 0;
};

// Connects to host:port within `timeoutMs`.
bool connectTo(const std::string& host, std::uint16_t port, int timeoutMs, connection& out,
               std::string& why);

// Serves a provider on host:port (0 picks a free port). poll() runs one round of the loop;
// post() hands work to the loop from any thread and wakes it.
class provider_server {
public:
    explicit provider_server(provider& served) : m_provider(served) {}
    ~provider_server();
    provider_server(const provider_server&) = delete;
    provider_server& operator=(const provider_server&) = delete;

    bool listen(const std::string& host, std::uint16_t port, std::string& why);
    std::uint16_t port() const { return m_port; }
    // Waits at most `timeoutMs` for sockets or posted work, then handles what came.
    void poll(int timeoutMs);
    void post(std::function<void()> work);
    std::size_t connections() const { return m_clients.size(); }

private:
    void accept();
    void drop(provider::session_id id);

    provider& m_provider;
    int m_listener = -1;
    int m_wake[2] = {-1, -1};
    std::uint16_t m_port = 0;
    std::map<provider::session_id, connection> m_clients;
    std::vector<provider::session_id> m_broken;
    std::mutex m_lock;
    std::vector<std::function<void()>> m_posted;
};

// When a quiet provider is asked whether it is there, and when it is given up for lost.
struct liveness {
    int idleMs = 5000;
    int deadMs = 15000;
};

// Carries one consumer's bytes over one connection, and notices a provider that has gone
// quiet: after `idleMs` without a byte it sends a keep-alive, after `deadMs` it gives up.
class consumer_client {
public:
    explicit consumer_client(liveness l = liveness()) : m_liveness(l) {}
    // The send function to give the consumer.
    consumer::send_function sender();
    bool connect(const std::string& host, std::uint16_t port, int timeoutMs, std::string& why);
    // Waits at most `timeoutMs`, then reads into `into` and writes what is queued. False when
    // the connection is closed, broken or given up; closedBecause() says which.
    bool poll(consumer& into, int timeoutMs);
    bool open() const { return m_connection.open(); }
    void close() { m_connection.close(); }
    // A descriptor whose readability ends a poll() early (another thread's wake pipe); what
    // it holds is read and dropped. -1 for none.
    void wakeWith(int fd) { m_wake = fd; }
    const std::string& closedBecause() const { return m_why; }

private:
    bool lost(const std::string& why);

    liveness m_liveness;
    connection m_connection;
    bool m_broken = false;
    bool m_asked = false;
    int m_wake = -1;
    std::chrono::steady_clock::time_point m_lastHeard;
    std::string m_why;
};

} // namespace tcp
} // namespace vesk_ember
