// The system's devices as an Ember+ tree, for --ember. Under the root node "vesk-host", device N
// is the node numbered N, its identifier made from its name:
//   a router      the matrix "matrix" (0; oneToN, linear; its targets are the destinations,
//                 its sources the sources, both numbered from 0) and its label node (1)
//   a text device one string parameter per slot, "slot-1" numbered 0 and on
//   a state device one boolean parameter per index, "index-1" numbered 0 and on
// A consumer's request becomes the scenario line of a change made elsewhere, and a device's
// change becomes an update of the tree. Nothing here knows of threads or sockets: the caller
// runs the lines on the host's thread and the updates on the provider's.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "provider.h"

namespace vesk_host {

class device;
class system_model;

class ember_bridge {
public:
    // Builds the tree of every device of `system` into `served`, which holds nothing yet.
    ember_bridge(system_model& system, vesk_ember::provider& served);

    // The number of devices served, and those left out (a router the tree cannot hold).
    std::size_t devicesServed() const { return m_served; }
    const std::vector<std::string>& leftOut() const { return m_leftOut; }

    // The scenario line that makes what a consumer asked of a matrix, given the target's
    // sources now; empty, with `why`, when the system cannot make it (a router's destination
    // is always on one source, so it cannot be disconnected).
    std::string connectLine(const vesk_ember::path& matrix, std::int32_t target,
                            const std::vector<std::int32_t>& sources,
                            vesk_ember::connection_operation operation,
                            const std::vector<std::int32_t>& current, std::string& why) const;
    // The same for a value a consumer writes to a parameter.
    std::string valueLine(const vesk_ember::path& parameter, const vesk_ember::glow_value& value,
                          std::string& why) const;

    // On the host's thread: what the device's change at `index` does to the tree, read from
    // the device now and applied later. Null when the device is not served.
    std::function<void(vesk_ember::provider&)> update(const device& changed, int index) const;

    // Where a device is in the tree; empty when it is not served.
    vesk_ember::path pathOf(int device) const;

private:
    enum class kind { matrix, text, state };
    struct served_device {
        kind what = kind::matrix;
        vesk_ember::path node;
        int sources = 0; // a router's
    };
    // A matrix or parameter: its device, and the slot or index of a parameter.
    struct served_element {
        int device = 0;
        int index = 0;
    };

    std::map<int, served_device> m_devices;
    std::map<vesk_ember::path, served_element> m_elements;
    std::size_t m_served = 0;
    std::vector<std::string> m_leftOut;
};

// An Ember+ identifier made from a name: lower-case letters, digits and single dashes;
// `fallback` when nothing is left.
std::string emberIdentifier(const std::string& name, const std::string& fallback);

} // namespace vesk_host
