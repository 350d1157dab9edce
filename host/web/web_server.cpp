#include "web_server.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <civetweb.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <random>
#include <thread>
#include <vector>

namespace vesk_host {

namespace {

// A browser that lets this much pile up is not reading: it is dropped.
const std::size_t queuedMessageLimit = 512;
const std::size_t queuedByteLimit = 32u * 1024 * 1024;
const std::size_t clientLimit = 8;

std::string header(const mg_connection* conn, const char* name) {
    const char* value = mg_get_header(conn, name);
    return value != nullptr ? value : "";
}

// A token no page of another site can guess: 192 random bits, in hexadecimal.
std::string newToken() {
    std::random_device random;
    const char digits[] = "0123456789abcdef";
    std::string token;
    for (int i = 0; i < 6; ++i) {
        std::uint32_t bits = random();
        for (int nibble = 0; nibble < 8; ++nibble) {
            token += digits[(bits >> (nibble * 4)) & 0xf];
        }
    }
    return token;
}

// Compares in a time that does not tell how much of a guess was right.
bool sameToken(const std::string& given, const std::string& token) {
    if (given.size() != token.size()) {
        return false;
    }
    unsigned char differ = 0;
    for (std::size_t i = 0; i < token.size(); ++i) {
        differ |= static_cast<unsigned char>(given[i] ^ token[i]);
    }
    return differ == 0;
}

// The value of `name` in the request's query; empty when it has none.
std::string queryValue(const mg_connection* conn, const std::string& name) {
    const mg_request_info* request = mg_get_request_info(conn);
    std::string query = request->query_string != nullptr ? request->query_string : "";
    std::size_t at = 0;
    while (at <= query.size()) {
        std::size_t end = query.find('&', at);
        std::string pair =
            query.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (pair.compare(0, name.size() + 1, name + "=") == 0) {
            return pair.substr(name.size() + 1);
        }
        if (end == std::string::npos) {
            break;
        }
        at = end + 1;
    }
    return "";
}

} // namespace

bool resolveListenAddress(const std::string& address, bool withSix, std::string& numeric,
                          bool& loopback, std::string& error) {
    addrinfo hints{};
    hints.ai_family = withSix ? AF_UNSPEC : AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    if (address.empty() || getaddrinfo(address.c_str(), nullptr, &hints, &found) != 0 ||
        found == nullptr) {
        error = "cannot listen on " + address + ": it names no " +
                (withSix ? "address" : "IPv4 address (this build's server has no IPv6)");
        return false;
    }
    char text[INET6_ADDRSTRLEN] = {0};
    bool done = false;
    if (found->ai_family == AF_INET) {
        const in_addr& four = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
        loopback = (ntohl(four.s_addr) >> 24) == 127;
        done = inet_ntop(AF_INET, &four, text, sizeof text) != nullptr;
    } else if (found->ai_family == AF_INET6) {
        const in6_addr& six = reinterpret_cast<const sockaddr_in6*>(found->ai_addr)->sin6_addr;
        if (IN6_IS_ADDR_V4MAPPED(&six)) {
            // An IPv4 address written as IPv6 is listened on as the IPv4 one it is.
            in_addr four;
            std::memcpy(&four, six.s6_addr + 12, sizeof four);
            loopback = six.s6_addr[12] == 127;
            done = inet_ntop(AF_INET, &four, text, sizeof text) != nullptr;
        } else {
            loopback = IN6_IS_ADDR_LOOPBACK(&six);
            done = inet_ntop(AF_INET6, &six, text, sizeof text) != nullptr;
        }
    }
    freeaddrinfo(found);
    if (!done) {
        error = "cannot listen on " + address + ": it is neither an IPv4 nor an IPv6 address";
        return false;
    }
    numeric = text;
    return true;
}

struct web_server::client {
    long id = 0;
    mg_connection* conn = nullptr;
    std::mutex lock;
    std::condition_variable wake;
    std::deque<std::string> queue;
    std::size_t bytes = 0;
    bool closing = false;
    bool dropped = false;
    std::thread writer;

    void enqueue(const std::string& message) {
        std::lock_guard<std::mutex> hold(lock);
        if (closing || dropped) {
            return;
        }
        if (queue.size() >= queuedMessageLimit || bytes + message.size() > queuedByteLimit) {
            dropped = true;
            queue.clear();
            bytes = 0;
        } else {
            queue.push_back(message);
            bytes += message.size();
        }
        wake.notify_one();
    }

    // The writer: the one thread that writes to this browser, so only it waits on a slow one.
    void write() {
        for (;;) {
            std::string message;
            {
                std::unique_lock<std::mutex> hold(lock);
                wake.wait(hold, [this] { return closing || dropped || !queue.empty(); });
                if (closing) {
                    return;
                }
                if (dropped) {
                    break;
                }
                message.swap(queue.front());
                queue.pop_front();
                bytes -= message.size();
            }
            if (mg_websocket_write(conn, MG_WEBSOCKET_OPCODE_TEXT, message.data(),
                                   message.size()) <= 0) {
                std::lock_guard<std::mutex> hold(lock);
                dropped = true;
                return;
            }
        }
        // Asked to go: the browser answers the close, and the server then ends the connection.
        const char reason[] = "\x03\xf0too slow";
        mg_websocket_write(conn, MG_WEBSOCKET_OPCODE_CONNECTION_CLOSE, reason, sizeof reason - 1);
    }
};

struct web_server::hub {
    std::string page;
    bool loopback = true;
    std::string address; // numeric, as listened on
    std::string token;   // beyond loopback
    std::atomic<int> port{0};

    std::mutex lock;
    std::map<long, std::shared_ptr<client>> clients;
    long lastId = 0;

    inbound_queue inbox;

    bool post(inbound item) { return inbox.post(std::move(item)); }

    std::shared_ptr<client> find(long id) {
        std::lock_guard<std::mutex> hold(lock);
        auto found = clients.find(id);
        return found != clients.end() ? found->second : nullptr;
    }

    // On a loopback address only loopback names are accepted, so that a page of another site
    // cannot reach the server through a name of its own that resolves to a loopback address.
    // Beyond loopback any name may reach the server, and only the token lets a request in.
    bool hostAllowed(const mg_connection* conn) const {
        if (!loopback) {
            return sameToken(queryValue(conn, "token"), token);
        }
        std::string host = header(conn, "Host");
        std::string suffix = ":" + std::to_string(port.load());
        bool six = address.find(':') != std::string::npos;
        std::string self = six ? "[" + address + "]" : address;
        for (const std::string& name :
             {std::string("127.0.0.1"), std::string("localhost"), std::string("[::1]"), self}) {
            if (host == name + suffix) {
                return true;
            }
        }
        return false;
    }

    // Browsers send the page's origin with a WebSocket request; only our own page may connect.
    static bool originAllowed(const mg_connection* conn) {
        const char* origin = mg_get_header(conn, "Origin");
        return origin == nullptr || std::string(origin) == "http://" + header(conn, "Host");
    }
};

namespace {

using hub = web_server::hub;
using client = web_server::client;

int servePage(mg_connection* conn, void* data) {
    hub& h = *static_cast<hub*>(data);
    const mg_request_info* request = mg_get_request_info(conn);
    std::string method = request->request_method != nullptr ? request->request_method : "";
    std::string uri = request->local_uri != nullptr ? request->local_uri : "";
    if (!h.hostAllowed(conn)) {
        mg_send_http_error(conn, 403, "%s",
                           h.loopback ? "Forbidden"
                                      : "Forbidden: open the address vesk-host printed, with "
                                        "its token");
        return 403;
    }
    if (uri != "/") {
        mg_send_http_error(conn, 404, "%s", "Not Found");
        return 404;
    }
    if (method != "GET" && method != "HEAD") {
        mg_send_http_error(conn, 405, "%s", "Method Not Allowed");
        return 405;
    }
    mg_printf(conn,
              "HTTP/1.1 200 OK\r\n"
              "Content-Type: text/html; charset=utf-8\r\n"
              "Content-Length: %zu\r\n"
              "Cache-Control: no-store\r\n"
              "X-Content-Type-Options: nosniff\r\n"
              "Content-Security-Policy: default-src 'none'; script-src 'unsafe-inline'; "
              "style-src 'unsafe-inline'; img-src data:; connect-src 'self'; "
              "frame-ancestors 'none'; form-action 'none'\r\n"
              "Connection: close\r\n\r\n",
              h.page.size());
    if (method == "GET") {
        mg_write(conn, h.page.data(), h.page.size());
    }
    return 200;
}

int acceptSocket(const mg_connection* conn, void* data) {
    hub& h = *static_cast<hub*>(data);
    if (!h.hostAllowed(conn) || !hub::originAllowed(conn)) {
        return 1;
    }
    std::lock_guard<std::mutex> hold(h.lock);
    return h.clients.size() < clientLimit ? 0 : 1;
}

std::string errorMessage(const std::string& why) {
    std::string escaped;
    for (char ch : why) {
        if (ch == '"' || ch == '\\') {
            escaped += '\\';
            escaped += ch;
        } else if (static_cast<unsigned char>(ch) < 0x20) {
            escaped += ' ';
        } else {
            escaped += ch;
        }
    }
    return "{\"type\":\"error\",\"message\":\"" + escaped + "\"}";
}

void socketReady(mg_connection* conn, void* data) {
    hub& h = *static_cast<hub*>(data);
    auto c = std::make_shared<client>();
    c->conn = conn;
    {
        std::lock_guard<std::mutex> hold(h.lock);
        c->id = ++h.lastId;
        h.clients[c->id] = c;
    }
    mg_set_user_connection_data(conn, reinterpret_cast<void*>(static_cast<std::intptr_t>(c->id)));
    c->writer = std::thread(&client::write, c.get());
    inbound hello;
    hello.what = inbound::kind::greeting;
    hello.client = c->id;
    if (!h.post(hello)) {
        c->enqueue(errorMessage("the host is busy; greeting not answered; reload the page"));
    }
}

long clientOf(const mg_connection* conn) {
    return static_cast<long>(reinterpret_cast<std::intptr_t>(mg_get_user_connection_data(conn)));
}

int socketData(mg_connection* conn, int flags, char* data, std::size_t size, void* cbdata) {
    hub& h = *static_cast<hub*>(cbdata);
    std::shared_ptr<client> c = h.find(clientOf(conn));
    if (!c) {
        return 0;
    }
    int opcode = flags & 0x0f;
    if (opcode == MG_WEBSOCKET_OPCODE_CONNECTION_CLOSE) {
        return 0;
    }
    if (opcode == MG_WEBSOCKET_OPCODE_PING) {
        mg_websocket_write(conn, MG_WEBSOCKET_OPCODE_PONG, data, size);
        return 1;
    }
    if (opcode == MG_WEBSOCKET_OPCODE_PONG) {
        return 1;
    }
    if (opcode != MG_WEBSOCKET_OPCODE_TEXT || (flags & 0x80) == 0) {
        c->enqueue(errorMessage("only whole text messages are read"));
        return 1;
    }
    inbound item;
    item.what = inbound::kind::request;
    item.client = c->id;
    std::string why;
    std::string text(data != nullptr ? data : "", data != nullptr ? size : 0);
    if (!readWebMessage(text, item.request, why)) {
        c->enqueue(errorMessage(why));
    } else if (!h.post(std::move(item))) {
        c->enqueue(errorMessage("the host is busy; request dropped"));
    }
    return 1;
}

void socketClosed(const mg_connection* conn, void* data) {
    hub& h = *static_cast<hub*>(data);
    std::shared_ptr<client> c;
    {
        std::lock_guard<std::mutex> hold(h.lock);
        auto found = h.clients.find(clientOf(conn));
        if (found == h.clients.end()) {
            return;
        }
        c = found->second;
        h.clients.erase(found);
    }
    {
        std::lock_guard<std::mutex> hold(c->lock);
        c->closing = true;
        c->wake.notify_one();
    }
    if (c->writer.joinable()) {
        c->writer.join();
    }
}

} // namespace

web_server::web_server(std::string page) : m_page(std::move(page)), m_hub(new hub) {
    m_hub->page = m_page;
}

web_server::~web_server() {
    stop();
}

bool web_server::start(const std::string& address, int port, std::string& error) {
    mg_init_library(MG_FEATURES_WEBSOCKET);
    if (mg_check_feature(MG_FEATURES_WEBSOCKET) == 0) {
        error = "this civetweb has no WebSocket support";
        return false;
    }
    if (address.find(':') != std::string::npos && mg_check_feature(MG_FEATURES_IPV6) == 0) {
        error = "this build has no IPv6 (its civetweb was built without it): cannot listen on " +
                address + "; give an IPv4 address, such as 127.0.0.1";
        return false;
    }
    std::string numeric;
    bool loopback = true;
    if (!resolveListenAddress(address, mg_check_feature(MG_FEATURES_IPV6) != 0, numeric, loopback,
                              error)) {
        return false;
    }
    bool six = numeric.find(':') != std::string::npos;
    std::string ports = (six ? "[" + numeric + "]" : numeric) + ":" + std::to_string(port);
    m_hub->loopback = loopback;
    m_hub->address = numeric;
    m_hub->token = loopback ? std::string() : newToken();
    m_address = numeric;
    const char* options[] = {"listening_ports",
                             ports.c_str(),
                             "num_threads",
                             "12",
                             "request_timeout_ms",
                             "10000",
                             "websocket_timeout_ms",
                             "3600000",
                             "enable_directory_listing",
                             "no",
                             nullptr};
    mg_callbacks callbacks;
    std::memset(&callbacks, 0, sizeof callbacks);
    m_context = mg_start(&callbacks, m_hub.get(), options);
    if (m_context == nullptr) {
        error = "cannot listen on " + ports;
        return false;
    }
    mg_server_port listening[4];
    std::memset(listening, 0, sizeof listening);
    int count = mg_get_server_ports(m_context, 4, listening);
    m_port = count > 0 ? listening[0].port : port;
    m_hub->port = m_port;
    mg_set_request_handler(m_context, "/", &servePage, m_hub.get());
    mg_set_websocket_handler(m_context, "/ws", &acceptSocket, &socketReady, &socketData,
                             &socketClosed, m_hub.get());
    return true;
}

void web_server::stop() {
    if (m_context != nullptr) {
        mg_stop(m_context);
        m_context = nullptr;
        mg_exit_library();
    }
}

const std::string& web_server::token() const {
    return m_hub->token;
}

bool web_server::post(inbound item) {
    return m_hub->post(std::move(item));
}

bool web_server::next(inbound& item, int milliseconds) {
    return m_hub->inbox.next(item, milliseconds);
}

bool inbound_queue::post(inbound item) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_items.size() >= limit) {
        return false;
    }
    m_items.push_back(std::move(item));
    m_ready.notify_one();
    return true;
}

bool inbound_queue::next(inbound& item, int milliseconds) {
    std::unique_lock<std::mutex> hold(m_lock);
    if (!m_ready.wait_for(hold, std::chrono::milliseconds(milliseconds),
                          [this] { return !m_items.empty(); })) {
        return false;
    }
    item = std::move(m_items.front());
    m_items.pop_front();
    return true;
}

void web_server::send(long id, const std::string& message) {
    std::shared_ptr<client> c = m_hub->find(id);
    if (c) {
        c->enqueue(message);
    }
}

void web_server::broadcast(const std::string& message) {
    std::vector<std::shared_ptr<client>> all;
    {
        std::lock_guard<std::mutex> hold(m_hub->lock);
        for (const auto& entry : m_hub->clients) {
            all.push_back(entry.second);
        }
    }
    for (const auto& c : all) {
        c->enqueue(message);
    }
}

} // namespace vesk_host
