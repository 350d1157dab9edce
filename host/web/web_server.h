// The page's server: one HTTP listener that serves the page at "/" and its WebSocket at "/ws",
// and nothing else. Its threads never touch the emulated host: requests wait in a bounded queue
// for the host's own thread, and replies leave through one bounded queue per browser, so a slow
// or vanished browser is dropped and never holds up a script.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "page_link.h"

struct mg_context;
struct mg_connection;

namespace vesk_host {

class web_server : public page_link {
public:
    explicit web_server(std::string page);
    ~web_server() override;
    web_server(const web_server&) = delete;
    web_server& operator=(const web_server&) = delete;

    // Listens on `address` (an IPv4 address, or an IPv6 one) and `port` (0: any free port).
    bool start(const std::string& address, int port, std::string& error);
    int port() const { return m_port; }
    // Closes every connection and the listener; waits for the server's threads.
    void stop();

    // From any thread. False when the queue is full; the item is dropped.
    bool post(inbound item) override;
    // The next item, waiting at most `milliseconds`; false when none came.
    bool next(inbound& item, int milliseconds) override;

    // Queue a message for one browser, or for all. Never waits for a browser.
    void send(long client, const std::string& message) override;
    void broadcast(const std::string& message) override;

    // For the server's callbacks.
    struct client;
    struct hub;

private:
    std::string m_page;
    std::unique_ptr<hub> m_hub;
    mg_context* m_context = nullptr;
    int m_port = 0;
};

} // namespace vesk_host
