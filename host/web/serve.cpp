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

#include "line_input.h"
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

nlohmann::json greetingTranscript(const std::string& text, std::uint64_t earlier) {
    std::size_t start = 0;
    if (text.size() > greetingLimit) {
        start = text.size() - greetingLimit;
    }
    if (start > 0 || earlier > 0) {
        // From a whole line, unless one line is all there is.
        std::size_t newline = text.find('\n', start);
        if (newline != std::string::npos && newline + 1 < text.size()) {
            start = newline + 1;
        }
    }
    earlier += start;
    nlohmann::json lines = nlohmann::json::array();
    if (earlier > 0) {
        lines.push_back({{"text", "... " + std::to_string(earlier) +
                                      " bytes of the transcript before these are not shown here; "
                                      "vesk-host's output has them"},
                         {"problem", false}});
    }
    std::size_t from = start;
    nlohmann::json rest = transcriptLines(text, from);
    if (from < text.size()) {
        // A last line without its line feed yet.
        std::string last = text.substr(from);
        rest.push_back({{"text", last}, {"problem", isProblemLine(last)}});
    }
    for (auto& line : rest) {
        lines.push_back(std::move(line));
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
    // What the steps printed is out before the page's address, the last thing said.
    std::cout.flush();
    std::cerr.flush();
    server.servingBegins();

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
        server.broadcastState(view.stateText());
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
            // Changes made on providers by others reach scripts, and the page, meanwhile.
            std::size_t seen = broadcastFrom;
            view.takeArrived();
            if (!view.transcriptSince(seen).empty()) {
                flush();
            }
            continue;
        }
        switch (item.what) {
        case inbound::kind::greeting: {
            flush();
            server.send(item.client, jsonText(transcriptMessage(view.greetingTranscript(), true)));
            server.send(item.client, view.stateText());
            break;
        }
        case inbound::kind::request:
            if (item.request.what == web_request::kind::recording) {
                std::string text;
                std::string why;
                server.send(item.client, view.recording(text, why)
                                             ? jsonText({{"type", "recording"},
                                                         {"text", text},
                                                         {"steps", view.recordedSteps()}})
                                             : jsonText({{"type", "error"}, {"message", why}}));
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
            if (!typedStep(item.line, typedLine, s)) {
                break;
            }
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
