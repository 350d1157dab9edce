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

    // Listens on `address` (a name such as localhost, or an IPv4 or IPv6 address however
    // spelt) and `port` (0: any free port). The name is resolved first: on a loopback address
    // only loopback host names are served; beyond loopback, only a request that carries the
    // token made here.
    bool start(const std::string& address, int port, std::string& error);
    int port() const { return m_port; }
    // The address listened on, in numeric form; empty before start.
    const std::string& address() const { return m_address; }
    // The token every request must carry beyond loopback; empty on loopback.
    const std::string& token() const;
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
    std::string m_address;
};

// `address` resolved to one numeric address (an IPv4 one unless `withSix`), and whether it is a
// loopback one. False, with `error`, when it names none.
bool resolveListenAddress(const std::string& address, bool withSix, std::string& numeric,
                          bool& loopback, std::string& error);

} // namespace vesk_host
