#include "tcp.h"

#include "ember_limits.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vesk_ember {
namespace tcp {

namespace {

constexpr std::size_t kReadChunk = 16 * 1024;

bool nonBlocking(int fd) {
    int flags = fcntl(fd, F_GETFL, 0);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

void noDelay(int fd) {
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

bool resolve(const std::string& host, std::uint16_t port, sockaddr_in& out, std::string& why) {
    std::memset(&out, 0, sizeof out);
    out.sin_family = AF_INET;
    out.sin_port = htons(port);
    if (inet_pton(AF_INET, host.c_str(), &out.sin_addr) == 1) {
        return true;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) {
        why = "cannot resolve '" + host + "'";
        return false;
    }
    out.sin_addr = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
    return true;
}

} // namespace

connection::connection(connection&& o) noexcept
    : m_fd(o.m_fd), m_out(std::move(o.m_out)), m_sent(o.m_sent) {
    o.m_fd = -1;
}

connection& connection::operator=(connection&& o) noexcept {
    if (this != &o) {
        close();
        m_fd = o.m_fd;
        m_out = std::move(o.m_out);
        m_sent = o.m_sent;
        o.m_fd = -1;
    }
    return *this;
}

connection::~connection() {
    close();
}

void connection::close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    m_out.clear();
    m_sent = 0;
}

bool connection::queue(const bytes& data) {
    if (m_out.size() - m_sent + data.size() > kMaxQueuedBytes) {
        return false;
    }
    if (m_sent > 0 && m_sent == m_out.size()) {
        m_out.clear();
        m_sent = 0;
    }
    m_out.insert(m_out.end(), data.begin(), data.end());
    return true;
}

bool connection::flush() {
    while (m_fd >= 0 && m_sent < m_out.size()) {
        ssize_t n = ::send(m_fd, m_out.data() + m_sent, m_out.size() - m_sent, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno == EAGAIN || errno == EWOULDBLOCK;
        }
        m_sent += static_cast<std::size_t>(n);
    }
    if (m_sent == m_out.size()) {
        m_out.clear();
        m_sent = 0;
    }
    return m_fd >= 0;
}

bool connection::read(bytes& buffer) {
    buffer.resize(kReadChunk);
    while (true) {
        ssize_t n = ::recv(m_fd, buffer.data(), buffer.size(), 0);
        if (n > 0) {
            buffer.resize(static_cast<std::size_t>(n));
            return true;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        buffer.clear();
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

bool connectTo(const std::string& host, std::uint16_t port, int timeoutMs, connection& out,
               std::string& why) {
    sockaddr_in address;
    if (!resolve(host, port, address, why)) {
        return false;
    }
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0 || !nonBlocking(fd)) {
        why = std::string("cannot open a socket: ") + std::strerror(errno);
        if (fd >= 0) {
            ::close(fd);
        }
        return false;
    }
    connection c(fd);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (errno != EINPROGRESS) {
            why = std::string("cannot connect: ") + std::strerror(errno);
            return false;
        }
        pollfd p{fd, POLLOUT, 0};
        int ready = ::poll(&p, 1, timeoutMs);
        int error = 0;
        socklen_t size = sizeof error;
        if (ready <= 0) {
            why = "no answer within " + std::to_string(timeoutMs) + " ms";
            return false;
        }
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) {
            why = std::string("cannot connect: ") + std::strerror(error);
            return false;
        }
    }
    noDelay(fd);
    out = std::move(c);
    return true;
}

provider_server::~provider_server() {
    for (auto& [id, c] : m_clients) {
        m_provider.closeSession(id);
    }
    m_clients.clear();
    for (int fd : {m_listener, m_wake[0], m_wake[1]}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

bool provider_server::listen(const std::string& host, std::uint16_t port, std::string& why) {
    sockaddr_in address;
    if (!resolve(host, port, address, why)) {
        return false;
    }
    if (::pipe(m_wake) != 0 || !nonBlocking(m_wake[0]) || !nonBlocking(m_wake[1])) {
        why = std::string("cannot make a pipe: ") + std::strerror(errno);
        return false;
    }
    m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    if (m_listener < 0 || setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listener, 16) != 0 || !nonBlocking(m_listener)) {
        why = "cannot listen on " + host + ":" + std::to_string(port) + ": " + std::strerror(errno);
        return false;
    }
    socklen_t size = sizeof address;
    getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &size);
    m_port = ntohs(address.sin_port);
    return true;
}

void provider_server::post(std::function<void()> work) {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_posted.push_back(std::move(work));
    }
    char b = 1;
    // A full pipe already holds a wake-up.
    (void)!::write(m_wake[1], &b, 1);
}

void provider_server::accept() {
    while (true) {
        int fd = ::accept(m_listener, nullptr, nullptr);
        if (fd < 0) {
            return;
        }
        if (!nonBlocking(fd)) {
            ::close(fd);
            continue;
        }
        noDelay(fd);
        // The session's bytes queue on its connection; a consumer that stops reading is
        // dropped when the queue is full rather than held in memory.
        provider::session_id id = m_provider.openSession([this, fd](const bytes& data) {
            for (auto& [sid, c] : m_clients) {
                if (c.fd() == fd) {
                    if (!c.queue(data)) {
                        m_broken.push_back(sid);
                    }
                    return;
                }
            }
        });
        if (id < 0) {
            ::close(fd);
            continue;
        }
        m_clients.emplace(id, connection(fd));
    }
}

void provider_server::drop(provider::session_id id) {
    m_provider.closeSession(id);
    m_clients.erase(id);
}

void provider_server::poll(int timeoutMs) {
    std::vector<pollfd> fds;
    std::vector<provider::session_id> ids;
    fds.push_back({m_listener, POLLIN, 0});
    fds.push_back({m_wake[0], POLLIN, 0});
    for (auto& [id, c] : m_clients) {
        short events = POLLIN;
        if (c.wantsToWrite()) {
            events = static_cast<short>(events | POLLOUT);
        }
        fds.push_back({c.fd(), events, 0});
        ids.push_back(id);
    }
    int ready = ::poll(fds.data(), static_cast<nfds_t>(fds.size()), timeoutMs);
    if (ready < 0) {
        return;
    }
    if (fds[1].revents & POLLIN) {
        char drain[64];
        while (::read(m_wake[0], drain, sizeof drain) > 0) {
        }
    }
    std::vector<std::function<void()>> work;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        work.swap(m_posted);
    }
    for (auto& w : work) {
        w();
    }
    bytes buffer;
    for (std::size_t i = 2; i < fds.size(); ++i) {
        provider::session_id id = ids[i - 2];
        auto it = m_clients.find(id);
        if (it == m_clients.end()) {
            continue;
        }
        if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) {
            if (!it->second.read(buffer) || !m_provider.receive(id, buffer.data(), buffer.size())) {
                m_broken.push_back(id);
                continue;
            }
        }
    }
    for (auto& [id, c] : m_clients) {
        if (c.wantsToWrite() && !c.flush()) {
            m_broken.push_back(id);
        }
    }
    for (provider::session_id id : m_broken) {
        drop(id);
    }
    m_broken.clear();
    if (fds[0].revents & POLLIN) {
        accept();
    }
}

consumer::send_function consumer_client::sender() {
    return [this](const bytes& data) {
        if (!m_connection.queue(data)) {
            m_broken = true;
        }
    };
}

bool consumer_client::connect(const std::string& host, std::uint16_t port, int timeoutMs,
                              std::string& why) {
    m_broken = false;
    m_asked = false;
    m_why.clear();
    m_lastHeard = std::chrono::steady_clock::now();
    return connectTo(host, port, timeoutMs, m_connection, why);
}

bool consumer_client::lost(const std::string& why) {
    if (m_why.empty()) {
        m_why = why;
    }
    m_connection.close();
    return false;
}

bool consumer_client::poll(consumer& into, int timeoutMs) {
    if (!m_connection.open()) {
        return lost("not connected");
    }
    if (m_broken) {
        return lost("more unsent than " + std::to_string(kMaxQueuedBytes) + " bytes");
    }
    if (m_connection.wantsToWrite() && !m_connection.flush()) {
        return lost("the connection broke");
    }
    short events = POLLIN;
    if (m_connection.wantsToWrite()) {
        events = static_cast<short>(events | POLLOUT);
    }
    pollfd fds[2] = {{m_connection.fd(), events, 0}, {m_wake, POLLIN, 0}};
    int ready = ::poll(fds, m_wake >= 0 ? 2 : 1, timeoutMs);
    const pollfd& p = fds[0];
    if (ready > 0 && m_wake >= 0 && (fds[1].revents & POLLIN)) {
        char drain[64];
        while (::read(m_wake, drain, sizeof drain) > 0) {
        }
    }
    auto now = std::chrono::steady_clock::now();
    if (ready > 0 && (p.revents & (POLLIN | POLLHUP | POLLERR))) {
        bytes buffer;
        if (!m_connection.read(buffer)) {
            return lost("the provider closed the connection");
        }
        if (!buffer.empty()) {
            m_lastHeard = now;
            m_asked = false;
            into.receive(buffer.data(), buffer.size());
        }
    }
    auto quiet = std::chrono::duration_cast<std::chrono::milliseconds>(now - m_lastHeard).count();
    if (quiet >= m_liveness.deadMs) {
        return lost("no word from the provider for " + std::to_string(quiet) + " ms");
    }
    if (quiet >= m_liveness.idleMs && !m_asked) {
        into.sendKeepAlive();
        m_asked = true;
    }
    if (m_connection.wantsToWrite() && !m_connection.flush()) {
        return lost("the connection broke");
    }
    return !m_broken || lost("more unsent than " + std::to_string(kMaxQueuedBytes) + " bytes");
}

} // namespace tcp
} // namespace vesk_ember
