// A router: sources and destinations numbered from 1, every destination on one source. The
// router lines ("RN", "RI", the instance lookup) read its names; everything else goes through
// the device interface. A router whose state lives in another provider keeps here what it was
// last told, and its request() asks the provider: the change is reported when it comes back.
//
// A simulated router may take time: with a switch delay, a switch a script asks for is made
// that much later on the virtual clock, and is reported (its revertive sent) then. A later
// request for the same destination before then replaces the pending one and is due a whole
// delay after it. A switch made elsewhere in the system is made at once and leaves a pending
// one in place. A locked destination refuses every switch, at the request or when a pending
// one falls due: nothing changes and no revertive is sent.
#pragma once

#include <map>
#include <set>
#include <string>

#include "device.h"

namespace vesk_host {

extern const device_type routerType;

class router : public device {
public:
    router(int number, std::string name) : device(routerType, number, std::move(name)) {}

    int sources = 0;
    int destinations = 0;
    std::map<int, std::string> sourceNames;
    std::map<int, std::string> destinationNames;
    // Destination to source; every destination is on a source (source 1 unless the device
    // file says otherwise).
    std::map<int, int> crosspoints;
    // [Device] switch_delay: how long, in ms of the virtual clock, a script's switch takes.
    int switchDelay = 0;
    // A switch asked for and not yet made.
    struct pending_switch {
        int source = 0;
        long long due = 0;
        long long order = 0; // the order asked in, for switches due together
    };
    // Destination to the switch pending on it.
    std::map<int, pending_switch> pending;
    std::set<int> locked;

    bool validSource(int index) const { return index >= 1 && index <= sources; }
    bool validDestination(int index) const { return index >= 1 && index <= destinations; }
    // Whether a switch of `source` to `destination` falls outside the router, with `why`.
    bool outOfRange(int source, int destination, std::string& why) const;
    std::string sourceName(int index) const;
    std::string destinationName(int index) const;
    // The source the destination is on; 0 when none.
    int sourceOf(int destination) const;
    // The index whose name is `name` in the sources (database 0) or destinations (1); 0 when
    // none.
    int indexOf(int database, const std::string& name) const;

    // Destinations are its indices; a change puts the destination `index` on the source
    // `number`.
    int size() const override { return destinations; }
    bool report(int index, std::string& text) const override;
    bool holds(int index) const override { return sourceOf(index) != 0; }
    bool request(const device_change& change, std::string& why) override;
    std::string shown() const override;
    void page(page_writer& out) const override;
    std::map<int, std::string> recorded() const override;
    scenario_check expectation(int index) const override;
    long long nextDue() const override;
    void makeDue(long long now) override;

    // Locks or unlocks a valid destination, and notes it.
    void lock(int destination, bool on);

private:
    // "3: MON 2 (2)"
    std::string destinationSaid(int destination) const;
    std::string sourceSaid(int source) const;
    void make(int destination, int source);

    long long m_asked = 0;
};

} // namespace vesk_host
