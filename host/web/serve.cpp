#include "serve.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <iostream>
#include <thread>

#include "web_server.h"

namespace vesk_host {

namespace {

volatile sig_atomic_t stopRequested = 0;

extern "C" void onStopSignal(int) {
    stopRequested = 1;
}

// A typed line waits for room in the host's queue: what is typed is never dropped.
void postTyped(page_link& server, const inbound& item, const std::atomic<bool>& stopping) {
    while (!server.post(item) && !stopping) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// Standard input, read without blocking the host: lines are posted like the page's requests.
void readInput(page_link& server, const std::atomic<bool>& stopping, int input) {
    std::string pending;
    char buffer[4096];
    while (!stopping) {
        pollfd in{input, POLLIN, 0};
        int ready = poll(&in, 1, 200);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            if (ready < 0) {
                break;
            }
            continue;
        }
        ssize_t got = read(input, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        pending.append(buffer, static_cast<std::size_t>(got));
        std::size_t newline = 0;
        while ((newline = pending.find('\n')) != std::string::npos) {
            inbound item;
            item.what = inbound::kind::typed;
            item.line = pending.substr(0, newline);
            pending.erase(0, newline + 1);
            postTyped(server, item, stopping);
        }
    }
    if (!pending.empty()) {
        inbound item;
        item.line = pending;
        postTyped(server, item, stopping);
    }
    inbound end;
    end.what = inbound::kind::endOfInput;
    postTyped(server, end, stopping);
}

} // namespace

nlohmann::json transcriptMessage(const nlohmann::json& lines, bool reset) {
    return {{"type", "transcript"}, {"reset", reset}, {"lines", lines}};
}

nlohmann::json greetingTranscript(nlohmann::json lines) {
    // A new browser gets at most this much of the transcript's end: a long run must not make
    // it too slow to follow.
    const std::size_t limit = 4u * 1024 * 1024;
    while (lines.size() > 1 && jsonText(lines).size() > limit) {
        lines.erase(lines.begin(), lines.begin() + static_cast<long>(lines.size() / 2));
    }
    return lines;
}

std::string servingLine(const std::string& address, int port, const std::string& token) {
    bool six = address.find(':') != std::string::npos;
    return "serving http://" + (six ? "[" + address + "]" : address) + ":" + std::to_string(port) +
           "/" + (token.empty() ? "" : "?token=" + token);
}

bool serveHere(host_view& view, const serve_settings& settings, std::string& error,
               line_feed* feed) {
    web_server server(webPage());
    if (!server.start(settings.address, settings.port, error)) {
        return false;
    }
    std::cout << servingLine(server.address(), server.port(), server.token()) << std::endl;
    serve(view, server, 0, feed);
    server.stop();
    return true;
}

stop_signals::stop_signals() {
    stopRequested = 0;
    struct sigaction stop;
    std::memset(&stop, 0, sizeof stop);
    stop.sa_handler = &onStopSignal;
    sigemptyset(&stop.sa_mask);
    sigaction(SIGINT, &stop, &m_oldInterrupt);
    sigaction(SIGTERM, &stop, &m_oldTerminate);
}

stop_signals::~stop_signals() {
    sigaction(SIGINT, &m_oldInterrupt, nullptr);
    sigaction(SIGTERM, &m_oldTerminate, nullptr);
}

bool stop_signals::requested() const {
    return stopRequested != 0;
}

void serve(host_view& view, page_link& server, int input, line_feed* feed) {
    stop_signals signals;

    std::atomic<bool> stopping(false);
    std::thread reader(readInput, std::ref(server), std::cref(stopping), input);
    // A browser's greeting carries what came before; broadcasts carry what is new.
    std::size_t broadcastFrom = 0;
    view.transcriptSince(broadcastFrom);
    auto flush = [&] {
        nlohmann::json lines = view.transcriptSince(broadcastFrom);
        if (!lines.empty()) {
            server.broadcast(jsonText(transcriptMessage(lines, false)));
        }
        server.broadcastState(jsonText(view.state()));
    };
    if (feed != nullptr) {
        // A full queue drops the wake-up, not the line: the loop takes it at its next turn.
        feed->onArrival([&server] {
            inbound item;
            item.what = inbound::kind::fed;
            server.post(item);
        });
    }
    int typedLine = 0;
    bool quit = false;
    while (!quit && !signals.requested()) {
        inbound item;
        bool got = server.next(item, 200);
        std::string fed;
        bool anyFed = false;
        while (feed != nullptr && feed->next(fed)) {
            std::string why;
            if (!view.perform(fed, why)) {
                std::cerr << "vesk-host: " << fed << ": " << why << "\n";
            }
            anyFed = true;
        }
        if (anyFed) {
            flush();
        }
        if (!got) {
            continue;
        }
        switch (item.what) {
        case inbound::kind::greeting: {
            flush();
            std::size_t from = 0;
            nlohmann::json lines = greetingTranscript(view.transcriptSince(from));
            server.send(item.client, jsonText(transcriptMessage(lines, true)));
            server.send(item.client, jsonText(view.state()));
            break;
        }
        case inbound::kind::request:
            if (item.request.what == web_request::kind::recording) {
                server.send(item.client, jsonText({{"type", "recording"},
                                                   {"text", view.recording()},
                                                   {"steps", view.recordedSteps()}}));
            } else {
                std::string why;
                if (!view.perform(item.request.line, why)) {
                    server.send(item.client, jsonText({{"type", "error"}, {"message", why}}));
                }
                flush();
            }
            break;
        case inbound::kind::typed: {
            ++typedLine;
            step s;
            std::string why;
            if (!parseStep(item.line, s, why)) {
                if (!why.empty()) {
                    std::cerr << "stdin:" << typedLine << ": " << why << "\n";
                }
                break;
            }
            s.line = typedLine;
            if (std::string(s.command->name) == "quit") {
                quit = true;
                break;
            }
            view.run(s);
            flush();
            break;
        }
        case inbound::kind::endOfInput:
            // Serving goes on without standard input; a signal ends it.
            break;
        case inbound::kind::fed:
            break;
        }
    }
    if (feed != nullptr) {
        feed->onArrival(nullptr);
    }
    stopping = true;
    reader.join();
}

} // namespace vesk_host
