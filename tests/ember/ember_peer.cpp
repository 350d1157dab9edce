// Our side of the peer tests, driven over standard input and output by peers.js.
//
//   ember_peer serve [TARGETS SOURCES]
//       Serves a demo tree (a 4 x 6 matrix unless told otherwise) on 127.0.0.1 (a free port),
//       prints "listening PORT", then reads "route T S" (a change made here, pushed to subscribers)
//       and "quit". Prints "connect T S" when a consumer's connect reaches the model.
//   ember_peer consume HOST PORT PATH
//       Walks to the matrix at PATH, prints "ready TARGETS SOURCES", one "target N LABEL" and
//       "source N LABEL" per label, one "xp T S" per connection, then "done"; reads "route T S"
//       and "quit", and prints "xp T S" for each crosspoint the provider reports.
#include "consumer.h"
#include "provider.h"
#include "tcp.h"

#include <atomic>
#include <cstdio>
#include <functional>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace vesk_ember;

namespace {

std::mutex g_lock;
std::vector<std::string> g_lines;
std::atomic<bool> g_inputDone{false};

// Reads standard input on its own thread; `wake` interrupts the loop's wait.
void readInput(const std::function<void()>& wake) {
    std::string line;
    while (std::getline(std::cin, line)) {
        {
            std::lock_guard<std::mutex> hold(g_lock);
            g_lines.push_back(line);
        }
        wake();
    }
    g_inputDone = true;
    wake();
}

std::vector<std::string> takeLines() {
    std::lock_guard<std::mutex> hold(g_lock);
    std::vector<std::string> out;
    out.swap(g_lines);
    return out;
}

void say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

// Carries out the lines typed since the last call, either role's: "route T S" is asked of
// `route`, whose answer is printed. False once the program is to end: "quit", or the input
// has ended and every line of it is done.
bool followInput(const std::function<const char*(int target, int source)>& route) {
    // Input ends after its last line: read the flag first, so no line is left behind.
    bool last = g_inputDone;
    for (const std::string& line : takeLines()) {
        std::istringstream words(line);
        std::string verb;
        words >> verb;
        if (verb == "quit") {
            return false;
        }
        int t = -1;
        int s = -1;
        if (verb == "route" && (words >> t >> s)) {
            say(route(t, s));
        }
    }
    return !last;
}

std::string sourcesText(const std::vector<std::int32_t>& sources) {
    std::string out;
    for (std::int32_t s : sources) {
        out += " " + std::to_string(s);
    }
    return out.empty() ? " -" : out;
}

class demo_model : public provider_model {
public:
    provider* served = nullptr;
    void connectRequested(const path& matrix, std::int32_t target,
                          const std::vector<std::int32_t>& sources,
                          connection_operation operation) override {
        const std::vector<std::int32_t>* now = served->connection(matrix, target);
        if (!now) {
            return;
        }
        std::vector<std::int32_t> next = oneToNResult(*now, sources, operation);
        if (served->setConnection(matrix, target, next)) {
            say("connect " + std::to_string(target) + sourcesText(next));
        }
    }
    void valueRequested(const path& parameter, const glow_value& value) override {
        served->setValue(parameter, value);
    }
};

int serve(int targetCount, int sourceCount) {
    demo_model model;
    provider p(model);
    model.served = &p;
    path top = p.addNode({}, "vesk", "vesk-host demo");
    path identity = p.addNode(top, "identity");
    p.addParameter(identity, "product", glow_value::ofString("vesk-host"));
    p.addParameter(identity, "online", glow_value::ofBoolean(true), access::read_write);
    p.addParameter(identity, "channels", glow_value::ofInteger(8), access::read_write);
    path router = p.addNode(top, "router");
    std::vector<std::string> targets;
    std::vector<std::string> sources;
    for (int t = 1; t <= targetCount; ++t) {
        targets.push_back("MON " + std::to_string(t));
    }
    for (int s = 1; s <= sourceCount; ++s) {
        sources.push_back("CAM " + std::to_string(s));
    }
    path matrix = p.addMatrix(router, "matrix", targets, sources);
    for (std::int32_t t = 0; t < targetCount && t < sourceCount; ++t) {
        p.setConnection(matrix, t, {t});
    }
    tcp::provider_server server(p);
    std::string why;
    if (!server.listen("127.0.0.1", 0, why)) {
        std::fprintf(stderr, "ember_peer: %s\n", why.c_str());
        return 2;
    }
    say("listening " + std::to_string(server.port()));
    std::thread input(readInput, [&server] { server.post([] {}); });
    input.detach();
    auto route = [&](int t, int s) {
        return p.setConnection(matrix, t, {s}) ? "routed" : "refused";
    };
    while (true) {
        server.poll(1000);
        if (!followInput(route)) {
            return 0;
        }
    }
}

class printer : public consumer_listener {
public:
    bool isReady = false;
    bool hasFailed = false;
    void ready(const matrix_state& m) override {
        say("ready " + std::to_string(m.targetCount) + " " + std::to_string(m.sourceCount));
        for (std::size_t i = 0; i < m.targetLabels.size(); ++i) {
            say("target " + std::to_string(i) + " " + m.targetLabels[i]);
        }
        for (std::size_t i = 0; i < m.sourceLabels.size(); ++i) {
            say("source " + std::to_string(i) + " " + m.sourceLabels[i]);
        }
        for (std::size_t t = 0; t < m.connections.size(); ++t) {
            say("xp " + std::to_string(t) + sourcesText(m.connections[t]));
        }
        say("done");
        isReady = true;
    }
    void crosspoint(std::int32_t target, const std::vector<std::int32_t>& sources) override {
        say("xp " + std::to_string(target) + sourcesText(sources));
    }
    void failed(const std::string& why) override {
        say("failed: " + why);
        hasFailed = true;
    }
};

int consume(const std::string& host, int port, const std::string& where) {
    printer out;
    tcp::consumer_client client;
    consumer c(client.sender(), out);
    std::string why;
    if (!client.connect(host, static_cast<std::uint16_t>(port), 2000, why)) {
        say("failed: " + why);
        return 2;
    }
    if (!c.start(where, why)) {
        say("failed: " + why);
        return 2;
    }
    std::thread input(readInput, [] {});
    input.detach();
    while (!out.hasFailed) {
        // A short wait: standard input has no way to wake this loop.
        if (!client.poll(c, 2)) {
            say("failed: connection closed: " + client.closedBecause());
            return 2;
        }
        if (!followInput([&c](int t, int s) { return c.connect(t, s) ? "asked" : "refused"; })) {
            return 0;
        }
    }
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && args[0] == "serve") {
        return serve(4, 6);
    }
    if (args.size() == 3 && args[0] == "serve") {
        return serve(std::stoi(args[1]), std::stoi(args[2]));
    }
    if (args.size() == 4 && args[0] == "consume") {
        return consume(args[1], std::stoi(args[2]), args[3]);
    }
    std::fprintf(stderr, "usage: ember_peer serve [TARGETS SOURCES] | consume HOST PORT PATH\n");
    return 2;
}
