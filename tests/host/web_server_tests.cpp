// The page's server over real sockets on 127.0.0.1: who may reach it, how many, what it does
// with a browser that stops reading, and with frames and messages that are not requests. Every
// wait is bounded by a socket timeout or a counted loop; nothing here measures time.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "web_server.h"

using vesk_host::inbound;
using vesk_host::web_request;
using vesk_host::web_server;

namespace {

const int opText = 0x1;
const int opBinary = 0x2;
const int opClose = 0x8;
const int opPing = 0x9;
const int opPong = 0xa;

// One TCP connection to the server, as a browser would hold it.
class peer {
public:
    // `address`: a numeric IPv4 or IPv6 address.
    explicit peer(int port, const std::string& address = "127.0.0.1") {
        addrinfo hints{};
        hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        if (getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
            return;
        }
        m_fd = socket(found->ai_family, SOCK_STREAM, 0);
        timeval wait{5, 0};
        setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        setsockopt(m_fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
        m_connected = connect(m_fd, found->ai_addr, found->ai_addrlen) == 0;
        freeaddrinfo(found);
    }
    ~peer() {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    peer(const peer&) = delete;
    peer& operator=(const peer&) = delete;

    bool connected() const { return m_connected; }

    bool write(const std::string& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            ssize_t sent = send(m_fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (sent <= 0) {
                return false;
            }
            done += static_cast<std::size_t>(sent);
        }
        return true;
    }

    bool read(std::size_t count, std::string& out) {
        out.clear();
        char buffer[65536];
        while (out.size() < count) {
            std::size_t want = std::min(sizeof buffer, count - out.size());
            ssize_t got = recv(m_fd, buffer, want, 0);
            if (got <= 0) {
                return false;
            }
            out.append(buffer, static_cast<std::size_t>(got));
        }
        return true;
    }

    // The status of an HTTP answer (0 when none came), with its head and body up to the close.
    int httpStatus(const std::string& request, std::string* body = nullptr) {
        if (!write(request)) {
            return 0;
        }
        std::string head;
        std::string byte;
        while (head.size() < 65536 && head.find("\r\n\r\n") == std::string::npos) {
            if (!read(1, byte)) {
                break;
            }
            head += byte;
        }
        if (body != nullptr) {
            while (body->size() < 65536 && read(1, byte)) {
                *body += byte;
            }
        }
        int status = 0;
        return std::sscanf(head.c_str(), "HTTP/1.%*d %d", &status) == 1 ? status : 0;
    }

    // A client frame: always masked, as a browser sends it.
    bool sendFrame(int opcode, const std::string& payload, bool final = true) {
        std::string frame(1, static_cast<char>((final ? 0x80 : 0) | opcode));
        std::size_t size = payload.size();
        if (size < 126) {
            frame += static_cast<char>(0x80 | size);
        } else if (size < 65536) {
            frame += static_cast<char>(0x80 | 126);
            frame += static_cast<char>(size >> 8);
            frame += static_cast<char>(size & 0xff);
        } else {
            frame += static_cast<char>(0x80 | 127);
            for (int shift = 56; shift >= 0; shift -= 8) {
                frame += static_cast<char>((static_cast<std::uint64_t>(size) >> shift) & 0xff);
            }
        }
        const char mask[4] = {0x11, 0x22, 0x33, 0x44};
        frame.append(mask, 4);
        for (std::size_t i = 0; i < size; ++i) {
            frame += static_cast<char>(payload[i] ^ mask[i % 4]);
        }
        return write(frame);
    }

    // The next server frame; false at the end of the connection or when none comes in time.
    bool readFrame(int& opcode, std::string& payload) {
        std::string head;
        if (!read(2, head)) {
            return false;
        }
        opcode = head[0] & 0x0f;
        std::uint64_t size = static_cast<unsigned char>(head[1]) & 0x7f;
        std::string extended;
        if (size >= 126) {
            if (!read(size == 126 ? 2 : 8, extended)) {
                return false;
            }
            size = 0;
            for (char c : extended) {
                size = size << 8 | static_cast<unsigned char>(c);
            }
        }
        return size <= (64u << 20) && read(static_cast<std::size_t>(size), payload);
    }

    // The next text message, skipping control frames; empty at the end of the connection.
    std::string nextText() {
        int opcode = 0;
        std::string payload;
        for (int frames = 0; frames < 100 && readFrame(opcode, payload); ++frames) {
            if (opcode == opText) {
                return payload;
            }
            if (opcode == opClose) {
                break;
            }
        }
        return "";
    }

private:
    int m_fd = -1;
    bool m_connected = false;
};

std::string upgrade(const std::string& host, const std::string& origin,
                    const std::string& query = "") {
    return "GET /ws" + query + " HTTP/1.1\r\nHost: " + host +
           "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
           "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n" +
           (origin.empty() ? "" : "Origin: " + origin + "\r\n") + "\r\n";
}

class WebServer : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(server.start("127.0.0.1", 0, error)) << error;
        ASSERT_GT(server.port(), 0);
        self = "127.0.0.1:" + std::to_string(server.port());
    }

    // A browser of our own page, its greeting taken from the host's queue; null when refused.
    std::unique_ptr<peer> browser(long* id = nullptr) {
        std::unique_ptr<peer> p(new peer(server.port()));
        if (!p->connected() || p->httpStatus(upgrade(self, "http://" + self)) != 101) {
            return nullptr;
        }
        inbound hello;
        if (!server.next(hello, 5000) || hello.what != inbound::kind::greeting) {
            return nullptr;
        }
        if (id != nullptr) {
            *id = hello.client;
        }
        return p;
    }

    web_server server{"<!DOCTYPE html><p>the page</p>"};
    std::string self;
};

} // namespace

TEST_F(WebServer, OnlyLoopbackNamesAndOurOwnPageGetIn) {
    const std::string port = std::to_string(server.port());
    const struct {
        std::string request;
        int status;
    } rows[] = {
        {"GET / HTTP/1.1\r\nHost: 127.0.0.1:" + port + "\r\n\r\n", 200},
        {"GET / HTTP/1.1\r\nHost: localhost:" + port + "\r\n\r\n", 200},
        {"GET / HTTP/1.1\r\nHost: [::1]:" + port + "\r\n\r\n", 200},
        {"HEAD / HTTP/1.1\r\nHost: 127.0.0.1:" + port + "\r\n\r\n", 200},
        // A name that resolves to 127.0.0.1 in another site's page, or the wrong port.
        {"GET / HTTP/1.1\r\nHost: evil.example:" + port + "\r\n\r\n", 403},
        {"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 403},
        {"GET / HTTP/1.1\r\nHost: 127.0.0.1:1" + port + "\r\n\r\n", 403},
        {"GET / HTTP/1.0\r\n\r\n", 403},
        {"GET /other HTTP/1.1\r\nHost: 127.0.0.1:" + port + "\r\n\r\n", 404},
        {"GET /../etc/passwd HTTP/1.1\r\nHost: 127.0.0.1:" + port + "\r\n\r\n", 404},
        {"POST / HTTP/1.1\r\nHost: 127.0.0.1:" + port + "\r\nContent-Length: 0\r\n\r\n", 405},
        // The socket: our page, or a program that names no page; never another page.
        {upgrade("127.0.0.1:" + port, "http://127.0.0.1:" + port), 101},
        {upgrade("localhost:" + port, "http://localhost:" + port), 101},
        {upgrade("127.0.0.1:" + port, ""), 101},
        {upgrade("127.0.0.1:" + port, "http://evil.example"), 0},
        {upgrade("127.0.0.1:" + port, "null"), 0},
        {upgrade("127.0.0.1:" + port, "http://localhost:" + port), 0},
        {upgrade("evil.example:" + port, "http://evil.example:" + port), 0},
    };
    for (const auto& row : rows) {
        peer p(server.port());
        ASSERT_TRUE(p.connected());
        int status = p.httpStatus(row.request);
        if (row.status == 0) {
            EXPECT_NE(status, 101) << row.request;
        } else {
            EXPECT_EQ(status, row.status) << row.request;
        }
    }
    // Only the three sockets let in greeted the host.
    int greetings = 0;
    inbound item;
    while (server.next(item, 200)) {
        greetings += item.what == inbound::kind::greeting ? 1 : 0;
    }
    EXPECT_EQ(greetings, 3);

    peer p(server.port());
    std::string body;
    ASSERT_EQ(p.httpStatus("GET / HTTP/1.1\r\nHost: " + self + "\r\n\r\n", &body), 200);
    EXPECT_EQ(body, "<!DOCTYPE html><p>the page</p>");
}

TEST_F(WebServer, AtMostEightBrowsersAndALeavingOneMakesRoom) {
    std::vector<std::unique_ptr<peer>> open;
    for (int i = 0; i < 8; ++i) {
        open.push_back(browser());
        ASSERT_NE(open.back(), nullptr) << "browser " << i + 1;
    }
    EXPECT_EQ(browser(), nullptr) << "a ninth browser got in";

    open[3]->sendFrame(opClose, std::string("\x03\xe8", 2));
    open[3].reset();
    // The server notices the close on its own thread; try again a bounded number of times.
    std::unique_ptr<peer> again;
    for (int attempt = 0; attempt < 100 && !again; ++attempt) {
        again = browser();
        if (!again) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    EXPECT_NE(again, nullptr) << "the place of a browser that left was never freed";
}

TEST_F(WebServer, ABrowserThatStopsReadingIsDroppedAndHoldsUpNoOther) {
    long slowId = 0;
    std::unique_ptr<peer> slow = browser(&slowId);
    std::unique_ptr<peer> reader = browser();
    ASSERT_TRUE(slow && reader);

    // Far more than the sockets' buffers and the per-browser queue together hold; sending
    // never waits for the browser.
    const std::string big(64 * 1024, 'x');
    const int sent = 2000;
    for (int i = 0; i < sent; ++i) {
        server.send(slowId, big);
    }
    server.broadcast("after");
    EXPECT_EQ(reader->nextText(), "after");

    // What the slow one still gets: what was on its way when it was dropped (perhaps nothing),
    // then the close that says why.
    int got = 0;
    int opcode = 0;
    std::string payload;
    bool closed = false;
    for (int frames = 0; frames <= sent + 1 && slow->readFrame(opcode, payload); ++frames) {
        if (opcode == opText && payload == big) {
            ++got;
        } else if (opcode == opClose) {
            closed = true;
            EXPECT_EQ(payload, std::string("\x03\xf0too slow", 10));
            break;
        }
    }
    EXPECT_TRUE(closed);
    EXPECT_LT(got, sent);

    // The reader stays served.
    server.broadcast("still here");
    EXPECT_EQ(reader->nextText(), "still here");
}

TEST_F(WebServer, FramesAndMessagesThatAreNotRequestsAreAnsweredWithAReason) {
    std::unique_ptr<peer> p = browser();
    ASSERT_TRUE(p);
    const struct {
        int opcode;
        bool final;
        std::string payload;
        const char* reason;
    } rows[] = {
        {opBinary, true, R"({"do":"recording"})", "only whole text messages are read"},
        {opText, false, R"({"do":"rec)", "only whole text messages are read"},
        {0x0, true, R"(ording"})", "only whole text messages are read"},
        {opText, true, "not json", "not a JSON object"},
        {opText, true, std::string("\xff\xfe\x00", 3), "not a JSON object"},
        {opText, true, R"({"do":"command","line":"launch rockets"})", "unknown command"},
        {opText, true, R"({"do":"command","line":"quit"})", "cannot end the run"},
        {opText, true, std::string(vesk_host::webMessageLimit + 1, ' '), "longer than 16384"},
        {opText, true, R"({"do":"command","line":"parent \"quoted\" \\ back"})", nullptr},
    };
    for (const auto& row : rows) {
        ASSERT_TRUE(p->sendFrame(row.opcode, row.payload, row.final));
        if (row.reason == nullptr) {
            continue;
        }
        std::string answer = p->nextText();
        EXPECT_NE(answer.find("\"type\":\"error\""), std::string::npos) << answer;
        EXPECT_NE(answer.find(row.reason), std::string::npos) << row.reason << ": " << answer;
    }
    // The one request that was sound reached the host, as it was sent.
    inbound item;
    ASSERT_TRUE(server.next(item, 5000));
    EXPECT_EQ(item.what, inbound::kind::request);
    EXPECT_EQ(item.request.what, web_request::kind::perform);
    EXPECT_EQ(item.request.line, R"(parent "quoted" \ back)");
    EXPECT_FALSE(server.next(item, 100));

    // A ping is answered; the connection goes on.
    ASSERT_TRUE(p->sendFrame(opPing, "are you there"));
    int opcode = 0;
    std::string payload;
    ASSERT_TRUE(p->readFrame(opcode, payload));
    EXPECT_EQ(opcode, opPong);
    EXPECT_EQ(payload, "are you there");
    server.broadcast("on");
    EXPECT_EQ(p->nextText(), "on");
}

TEST_F(WebServer, AFloodOfRequestsIsRefusedNotQueuedWithoutBound) {
    std::unique_ptr<peer> p = browser();
    ASSERT_TRUE(p);
    // Nothing takes requests from the queue: past its bound, each is refused.
    const std::size_t limit = vesk_host::inbound_queue::limit;
    const std::size_t flood = limit + 10;
    for (std::size_t i = 0; i < flood; ++i) {
        ASSERT_TRUE(p->sendFrame(opText, R"({"do":"command","line":"advance 1"})"));
    }
    std::string answer = p->nextText();
    EXPECT_NE(answer.find("the host is busy"), std::string::npos) << answer;
    std::size_t queued = 0;
    inbound item;
    while (queued <= flood && server.next(item, 200)) {
        ++queued;
    }
    EXPECT_EQ(queued, limit);
}

namespace {

// Whether this machine takes a socket on the IPv6 loopback at all.
bool machineHasIpv6Loopback() {
    int fd = socket(AF_INET6, SOCK_STREAM, 0);
    if (fd < 0) {
        return false;
    }
    sockaddr_in6 where{};
    where.sin6_family = AF_INET6;
    where.sin6_addr = in6addr_loopback;
    bool bound = bind(fd, reinterpret_cast<sockaddr*>(&where), sizeof where) == 0;
    close(fd);
    return bound;
}

} // namespace

// Where the machine has IPv6, a refusal of "::1" can only be the build's: it says so.
TEST(WebServerAddress, AnIPv6AddressInABuildWithoutIPv6SaysSo) {
    if (!machineHasIpv6Loopback()) {
        GTEST_SKIP() << "no IPv6 loopback on this machine";
    }
    web_server server{"<p>x</p>"};
    std::string error;
    if (server.start("::1", 0, error)) {
        EXPECT_GT(server.port(), 0);
        server.stop();
        return;
    }
    EXPECT_NE(error.find("this build has no IPv6"), std::string::npos) << error;
}

// What --listen names, resolved: the numeric address listened on, and whether it is loopback.
TEST(WebServerListen, AddressesResolveToOneNumericAddress) {
    const struct {
        const char* listen;
        bool six;
        const char* numeric; // null: refused
        bool loopback;
    } rows[] = {
        {"127.0.0.1", false, "127.0.0.1", true},
        {"127.255.0.9", false, "127.255.0.9", true},
        {"0177.0.0.1", false, "127.0.0.1", true},
        {"0x7f000001", false, "127.0.0.1", true},
        {"localhost", false, "127.0.0.1", true},
        {"::1", true, "::1", true},
        {"0:0:0:0:0:0:0:1", true, "::1", true},
        {"::ffff:127.0.0.3", true, "127.0.0.3", true},
        {"::1", false, nullptr, false},
        {"0.0.0.0", false, "0.0.0.0", false},
        {"192.0.2.7", false, "192.0.2.7", false},
        {"128.0.0.1", false, "128.0.0.1", false},
        {"::", true, "::", false},
        {"::ffff:192.0.2.7", true, "192.0.2.7", false},
        {"", false, nullptr, false},
        {"no-such-host.invalid", false, nullptr, false},
    };
    for (const auto& row : rows) {
        std::string numeric;
        bool loopback = !row.loopback;
        std::string error;
        bool resolved =
            vesk_host::resolveListenAddress(row.listen, row.six, numeric, loopback, error);
        if (row.numeric == nullptr) {
            EXPECT_FALSE(resolved) << row.listen;
            EXPECT_NE(error, "") << row.listen;
            continue;
        }
        ASSERT_TRUE(resolved) << row.listen << ": " << error;
        EXPECT_EQ(numeric, row.numeric) << row.listen;
        EXPECT_EQ(loopback, row.loopback) << row.listen;
    }
}

// However the loopback address is written, it is resolved and guarded: only loopback names
// (or the address itself) with our port reach the page and its socket, and no token is made.
TEST(WebServerListen, EveryLoopbackSpellingIsGuarded) {
    const struct {
        const char* listen;
        const char* address; // as listened on
    } rows[] = {
        {"localhost", "127.0.0.1"},
        {"127.0.0.2", "127.0.0.2"},
        {"127.000.000.001", "127.0.0.1"},
        {"::1", "::1"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.listen);
        web_server server("the page");
        std::string error;
        const std::string address = row.address;
        if (!server.start(row.listen, 0, error)) {
            // A server built without IPv6 refuses an IPv6 address, and says why.
            EXPECT_NE(address.find(':'), std::string::npos) << error;
            EXPECT_NE(error.find("no IPv6"), std::string::npos) << error;
            continue;
        }
        EXPECT_EQ(server.address(), row.address);
        EXPECT_EQ(server.token(), "");
        const std::string port = ":" + std::to_string(server.port());
        const std::string self =
            (address.find(':') != std::string::npos ? "[" + address + "]" : address) + port;
        const struct {
            std::string request;
            bool in;
        } requests[] = {
            {"GET / HTTP/1.1\r\nHost: " + self + "\r\n\r\n", true},
            {"GET / HTTP/1.1\r\nHost: attacker.example" + port + "\r\n\r\n", false},
            {upgrade(self, "http://" + self), true},
            {upgrade("attacker.example" + port, "http://attacker.example" + port), false},
        };
        for (const auto& request : requests) {
            peer p(server.port(), row.address);
            ASSERT_TRUE(p.connected());
            int status = p.httpStatus(request.request);
            bool socket = request.request.find("/ws") != std::string::npos;
            if (request.in) {
                EXPECT_EQ(status, socket ? 101 : 200) << request.request;
            } else {
                EXPECT_TRUE(status != 101 && status != 200) << request.request << status;
            }
        }
        server.stop();
    }
}

// Beyond loopback any name may reach the server, and only a request carrying the token made
// at start gets the page or the socket.
TEST(WebServerListen, BeyondLoopbackOnlyTheTokenLetsIn) {
    web_server server("the page");
    std::string error;
    ASSERT_TRUE(server.start("0.0.0.0", 0, error)) << error;
    const std::string token = server.token();
    ASSERT_EQ(token.size(), 48u);
    EXPECT_EQ(token.find_first_not_of("0123456789abcdef"), std::string::npos);
    web_server other("the page");
    ASSERT_TRUE(other.start("0.0.0.0", 0, error)) << error;
    EXPECT_NE(other.token(), token);

    const std::string host = "lan.example:" + std::to_string(server.port());
    const std::string wrong = std::string(token.rbegin(), token.rend());
    const struct {
        std::string request;
        int status; // 0: anything but 101
    } rows[] = {
        {"GET /?token=" + token + " HTTP/1.1\r\nHost: " + host + "\r\n\r\n", 200},
        {"GET /?x=1&token=" + token + " HTTP/1.1\r\nHost: " + host + "\r\n\r\n", 200},
        {"GET / HTTP/1.1\r\nHost: " + host + "\r\n\r\n", 403},
        {"GET /?token= HTTP/1.1\r\nHost: " + host + "\r\n\r\n", 403},
        {"GET /?token=" + wrong + " HTTP/1.1\r\nHost: " + host + "\r\n\r\n", 403},
        {"GET /?token=" + token.substr(0, 47) + " HTTP/1.1\r\nHost: " + host + "\r\n\r\n", 403},
        {"GET /?token=" + token + "0 HTTP/1.1\r\nHost: " + host + "\r\n\r\n", 403},
        {"GET /?xtoken=" + token + " HTTP/1.1\r\nHost: " + host + "\r\n\r\n", 403},
        {upgrade(host, "http://" + host, "?token=" + token), 101},
        {upgrade(host, "http://" + host), 0},
        {upgrade(host, "http://" + host, "?token=" + wrong), 0},
        {upgrade(host, "http://attacker.example", "?token=" + token), 0},
    };
    for (const auto& row : rows) {
        peer p(server.port());
        ASSERT_TRUE(p.connected());
        int status = p.httpStatus(row.request);
        if (row.status == 0) {
            EXPECT_NE(status, 101) << row.request;
        } else {
            EXPECT_EQ(status, row.status) << row.request;
        }
    }
}
