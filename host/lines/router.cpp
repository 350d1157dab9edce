// Router lines: names and indices of sources (database 0) and destinations (1), and switches.
// A switch is heard by every script registered for the destination, after the call.
// Registration and polls are in devices.cpp.
#include "emulated_host.h"
#include "line_call.h"

namespace vesk_host {

char* routerName(const line_call& call) {
    const router* r = call.findRouter(call.c.number(0));
    int database = call.c.number(1);
    int index = call.c.number(2);
    if (r == nullptr) {
        return nullptr;
    }
    if (database == 0 && r->validSource(index)) {
        return call.handOut(r->sourceName(index));
    }
    if (database == 1 && r->validDestination(index)) {
        return call.handOut(r->destinationName(index));
    }
    call.refuse("router " + std::to_string(r->number()) + " has no index " + std::to_string(index) +
                " in database " + std::to_string(database) + " (0 sources, 1 destinations)");
    return nullptr;
}

char* routerIndex(const line_call& call) {
    const router* r = call.findRouter(call.c.number(0));
    if (r == nullptr) {
        return nullptr;
    }
    int index = r->indexOf(call.c.number(1), call.c.text(2));
    if (index == 0) {
        call.note("router " + std::to_string(r->number()) + " has no '" + call.c.text(2) +
                  "' in database " + std::to_string(call.c.number(1)));
        return nullptr;
    }
    return call.handOut(std::to_string(index));
}

char* crosspoint(const line_call& call) {
    std::string why;
    // RC device source destination: the destination goes on the source.
    device_change change{call.c.number(2), call.c.number(1), std::string()};
    if (call.findRouter(call.c.number(0)) != nullptr &&
        !call.host.change(call.c.number(0), verb_family::router, change, why)) {
        call.refuse(why);
    }
    return nullptr;
}

} // namespace vesk_host
