// What the serving loop talks to: the page's server itself, or, when the run has a process of
// its own, the supervisor's end of a socket that carries the same items and messages to the
// server it runs.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>

#include "web_message.h"

namespace vesk_host {

struct inbound {
    enum class kind {
        typed,      // a line from standard input
        request,    // a request from a browser
        greeting,   // a browser just connected and wants the whole state
        endOfInput, // standard input is finished
        fed         // a line waits in the serving loop's feed
    };
    kind what = kind::typed;
    long client = 0; // the browser, for request and greeting
    std::string line;
    web_request request;
};

// Items for the host's thread, from any thread; bounded, so a flood is dropped, not queued.
class inbound_queue {
public:
    static const std::size_t limit = 1024;

    // False when the queue is full; the item is dropped.
    bool post(inbound item);
    // The next item, waiting at most `milliseconds`; false when none came.
    bool next(inbound& item, int milliseconds);

private:
    std::mutex m_lock;
    std::condition_variable m_ready;
    std::deque<inbound> m_items;
};

class page_link {
public:
    virtual ~page_link() = default;
    virtual bool post(inbound item) = 0;
    virtual bool next(inbound& item, int milliseconds) = 0;
    // Queue a message for one browser, or for all. Never waits for a browser.
    virtual void send(long client, const std::string& message) = 0;
    virtual void broadcast(const std::string& message) = 0;
    // The whole state: a supervisor keeps the last one to show if the run dies.
    virtual void broadcastState(const std::string& message) { broadcast(message); }
    // The steps are done and serving begins: a supervisor then says where the page is.
    virtual void servingBegins() {}
};

} // namespace vesk_host
