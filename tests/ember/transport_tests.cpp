#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "consumer.h"
#include "provider.h"
#include "tcp.h"

using namespace vesk_ember;
using clock_type = std::chrono::steady_clock;

namespace {

class applying_model : public provider_model {
public:
    provider* served = nullptr;
    void connectRequested(const path& matrix, std::int32_t target,
                          const std::vector<std::int32_t>& sources,
                          connection_operation operation) override {
        served->setConnection(
            matrix, target, oneToNResult(*served->connection(matrix, target), sources, operation));
    }
    void valueRequested(const path&, const glow_value&) override {}
};

class recorder : public consumer_listener {
public:
    std::atomic<bool> isReady{false};
    std::vector<std::string> heard;
    void ready(const matrix_state&) override { isReady = true; }
    void crosspoint(std::int32_t target, const std::vector<std::int32_t>& sources) override {
        heard.push_back(std::to_string(target) + " <- " + std::to_string(sources.at(0)));
    }
    void failed(const std::string& why) override { heard.push_back("failed: " + why); }
};

// A provider with one 2 x 2 matrix at 0.0, served on a free port by a thread of its own.
struct served_provider {
    applying_model model;
    provider p{model};
    tcp::provider_server server{p};
    path matrix;
    std::atomic<bool> stop{false};
    std::thread loop;

    served_provider() {
        model.served = &p;
        path top = p.addNode({}, "top");
        matrix = p.addMatrix(top, "m", {"T1", "T2"}, {"S1", "S2"});
        std::string why;
        EXPECT_TRUE(server.listen("127.0.0.1", 0, why)) << why;
        loop = std::thread([this] {
            while (!stop) {
                server.poll(10);
            }
        });
    }
    ~served_provider() {
        stop = true;
        server.post([] {});
        loop.join();
    }
};

// Polls until `done` or the time is up; false when the client gave up first.
template <typename F>
bool pollUntil(tcp::consumer_client& client, consumer& c, F done, int ms = 5000) {
    auto end = clock_type::now() + std::chrono::milliseconds(ms);
    while (!done() && clock_type::now() < end) {
        if (!client.poll(c, 5)) {
            return false;
        }
    }
    return done();
}

} // namespace

TEST(EmberTransport, AConsumerAndAProviderOverLoopback) {
    served_provider served;
    recorder heard;
    tcp::consumer_client client;
    consumer c(client.sender(), heard);
    std::string why;
    ASSERT_TRUE(client.connect("127.0.0.1", served.server.port(), 2000, why)) << why;
    ASSERT_TRUE(c.start("top/m", why));
    ASSERT_TRUE(pollUntil(client, c, [&] { return heard.isReady.load(); }));

    ASSERT_TRUE(c.connect(0, 1));
    ASSERT_TRUE(pollUntil(client, c, [&] { return heard.heard.size() == 1; }));
    path matrix = served.matrix;
    served.server.post([&served, matrix] { served.p.setConnection(matrix, 1, {0}); });
    ASSERT_TRUE(pollUntil(client, c, [&] { return heard.heard.size() == 2; }));
    EXPECT_EQ(heard.heard, (std::vector<std::string>{"0 <- 1", "1 <- 0"}));
}

TEST(EmberTransport, AQuietProviderIsAskedThenGivenUp) {
    // A listener that accepts and never says a word.
    int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    socklen_t size = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);

    recorder heard;
    tcp::consumer_client client(tcp::liveness{50, 300});
    consumer c(client.sender(), heard);
    std::string why;
    ASSERT_TRUE(client.connect("127.0.0.1", ntohs(address.sin_port), 2000, why)) << why;
    int accepted = ::accept(listener, nullptr, nullptr);
    ASSERT_GE(accepted, 0);
    auto start = clock_type::now();
    EXPECT_FALSE(pollUntil(
        client, c, [] { return false; }, 3000));
    auto took = std::chrono::duration_cast<std::chrono::milliseconds>(clock_type::now() - start);
    EXPECT_NE(client.closedBecause().find("no word from the provider"), std::string::npos)
        << client.closedBecause();
    EXPECT_GE(took.count(), 250);
    EXPECT_LT(took.count(), 2000);

    // What reached the quiet side: the first request, then one keep-alive request.
    bytes got(4096);
    ssize_t n = ::recv(accepted, got.data(), got.size(), 0);
    ASSERT_GT(n, 0);
    got.resize(static_cast<std::size_t>(n));
    bytes ping = encodeKeepAliveRequest();
    ASSERT_GE(got.size(), ping.size());
    EXPECT_TRUE(
        std::equal(ping.begin(), ping.end(), got.end() - static_cast<std::ptrdiff_t>(ping.size())));
    ::close(accepted);
    ::close(listener);
}

TEST(EmberTransport, AProviderThatAnswersKeepAlivesIsKept) {
    served_provider served;
    recorder heard;
    tcp::consumer_client client(tcp::liveness{40, 500});
    consumer c(client.sender(), heard);
    std::string why;
    ASSERT_TRUE(client.connect("127.0.0.1", served.server.port(), 2000, why)) << why;
    ASSERT_TRUE(c.start("0.0", why));
    ASSERT_TRUE(pollUntil(client, c, [&] { return heard.isReady.load(); }));
    auto end = clock_type::now() + std::chrono::milliseconds(1000);
    while (clock_type::now() < end) {
        ASSERT_TRUE(client.poll(c, 5)) << client.closedBecause();
    }
    EXPECT_GE(c.keepAliveResponses(), 2u);
}

TEST(EmberTransport, NobodyThere) {
    applying_model m;
    provider p(m);
    std::uint16_t port = 0;
    std::string why;
    // A port nothing listens on: one just used, once its server has gone.
    {
        tcp::provider_server gone(p);
        ASSERT_TRUE(gone.listen("127.0.0.1", 0, why)) << why;
        port = gone.port();
    }
    tcp::connection c;
    EXPECT_FALSE(tcp::connectTo("127.0.0.1", port, 1000, c, why));
    EXPECT_NE(why.find("cannot connect"), std::string::npos) << why;
}
