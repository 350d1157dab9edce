// Host and network lines: "NIX" and "NIA" are answered (not with reply text) for the names of
// the system's network; "HI" hands out the host information. The others are kept in the
// record only.
#include "emulated_host.h"
#include "line_call.h"

namespace vesk_host {

char* networkLookup(const line_call& call) {
    if (!call.host.system().networkKnows(call.c.text(0))) {
        call.note("the network has no '" + call.c.text(0) + "'");
        return nullptr;
    }
    return call.acknowledge();
}

char* hostInfo(const line_call& call) {
    return call.handOut(call.host.system().hostInfo());
}

} // namespace vesk_host
