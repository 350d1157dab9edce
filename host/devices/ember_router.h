// A router whose state lives in an Ember+ provider: a device file with an [Ember] section,
//
//   [Ember]
//   provider=127.0.0.1:9000
//   matrix=0.0.0            ; a numeric path, or identifiers: lab/router/matrix
//
// Its sizes, names and crosspoints are the matrix's, read when the run starts; our indices are
// the provider's signal numbers + 1. A change is a connect asked of the provider, reported when
// the provider reports the connection; a change made by anyone else on the provider is
// reported the same way. The connection is kept on a thread of its own, which hands what it
// hears to the host's thread through a queue (takeArrived()).
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "router.h"

namespace vesk_host {

class file_check;

// Where a router's provider is and which matrix it is.
struct ember_address {
    std::string host;
    std::uint16_t port = 0;
    std::string matrix;

    // "127.0.0.1:9000, matrix lab/router/matrix", for messages.
    std::string shown() const;
};

// What the connection's thread hears, in the order it heard it.
struct ember_news {
    enum class kind { ready, crosspoint, label, lost };
    kind what = kind::ready;
    // ready: the whole matrix, after a (re)connection.
    std::int32_t targets = 0;
    std::int32_t sources = 0;
    std::vector<std::int32_t> connected; // per target, its first source; -1 for none
    std::vector<std::string> targetLabels;
    std::vector<std::string> sourceLabels;
    // crosspoint: `number` is the target, `source` its first source (-1 for none);
    // label: `number` is the signal, `isTarget` which side.
    std::int32_t number = 0;
    std::int32_t source = -1;
    bool isTarget = false;
    std::string text; // the label; for lost, why
};

// The connection to one provider, as the device sees it; the network side is per platform.
class ember_link {
public:
    virtual ~ember_link() = default;
    // Asks the provider to connect (Ember+ numbers). Called on the host's thread.
    virtual void connect(std::int32_t target, std::int32_t source) = 0;
    // Moves what has arrived into `into`; `dropped` counts news lost to the queue's bound.
    virtual void take(std::deque<ember_news>& into, std::size_t& dropped) = 0;
};

// How long reaching a provider and reading its matrix may take.
const int emberConnectMs = 3000;
const int emberReadMs = 5000;

// Connects to the provider and reads the matrix; null, with `why`, when the provider cannot
// be reached or has no such matrix within the times above. `first` is the matrix as read.
std::unique_ptr<ember_link> openEmberLink(const ember_address& where, ember_news& first,
                                          std::string& why);

class ember_router : public router {
public:
    ember_router(int number, std::string name, std::string file, ember_address where);

    // Connects and reads the matrix; on failure the router is unusable().
    void open();
    // Takes a link already open, with the matrix it read.
    void attach(std::unique_ptr<ember_link> link, const ember_news& first);
    // Makes the router unusable() for `why` without trying the provider.
    void refuse(const std::string& why) { m_unusable = why; }

    bool request(const device_change& change, std::string& why) override;
    int takeArrived() override;
    std::string unusable() const override { return m_unusable; }

private:
    void apply(const ember_news& news);
    void takeMatrix(const ember_news& news);

    std::string m_file;
    ember_address m_where;
    std::unique_ptr<ember_link> m_link;
    std::string m_unusable;
    bool m_connected = false;
    // Destination to the connects asked of it that the provider has not yet answered.
    std::map<int, int> m_awaiting;
};

// Whether the device file at `path` has an [Ember] section.
bool livesInEmberProvider(const std::string& path);
// Reads and connects the router of the device file at `path`.
std::unique_ptr<device> loadEmberRouter(const std::string& path, int number,
                                        const std::string& name);
// Checks the [Ember] keys of a router's device file, and tries the connection.
void checkEmberRouter(file_check& file);
// Reads "HOST:PORT"; false, with `why`, when it is not that.
bool parseProvider(const std::string& text, ember_address& where, std::string& why);

} // namespace vesk_host
