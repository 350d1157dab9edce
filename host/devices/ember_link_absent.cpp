// Where the Ember+ transport has no sockets yet (Windows builds): a router in a provider is
// refused with a reason, by the system check and by a run.
#include "ember_router.h"

namespace vesk_host {

std::unique_ptr<ember_link> openEmberLink(const ember_address&, ember_news&, std::string& why) {
    why = "Ember+ routers need a POSIX build of vesk-host (Linux, macOS); this build has no "
          "Ember+ transport";
    return nullptr;
}

} // namespace vesk_host
