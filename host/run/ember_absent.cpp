// --ember where the Ember+ transport is not built (Windows for now): refused at the start.
#include "ember_serving.h"

#include "options.h"

namespace vesk_host {

struct ember_serving::impl {};

bool emberAccepts(const options& o, std::string& error) {
    if (o.ember.empty()) {
        return true;
    }
    error = "this vesk-host cannot serve Ember+ (--ember): its network transport is built "
            "only where POSIX sockets are";
    return false;
}

ember_serving::ember_serving(system_model&) : m(new impl) {}

ember_serving::~ember_serving() = default;

bool ember_serving::start(const std::string&, int, std::string& error) {
    error = "this vesk-host cannot serve Ember+";
    return false;
}

std::string ember_serving::servingLine() const {
    return std::string();
}

std::vector<std::string> ember_serving::leftOut() const {
    return {};
}

bool ember_serving::next(std::string&) {
    return false;
}

void ember_serving::onArrival(std::function<void()>) {}

void ember_serving::runWaiting(run_page&) {}

void ember_serving::serve(run_page&, const scenario_runner&, bool) {}

} // namespace vesk_host
