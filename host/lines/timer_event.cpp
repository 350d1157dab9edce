// Timer lines: "ET id interval" starts or restarts a timer of the script on the virtual clock,
// "ET id" stops it. The event lines are kept in the record only.
#include "emulated_host.h"
#include "line_call.h"

namespace vesk_host {

char* timerLine(const line_call& call) {
    int id = call.c.number(0);
    auto& timers = call.slot.state.timers;
    if (call.c.operands.size() == 1) {
        if (timers.erase(id) == 0) {
            call.note("timer " + std::to_string(id) + " was not running");
        }
        return nullptr;
    }
    int interval = call.c.number(1);
    if (interval <= 0) {
        call.note("timer " + std::to_string(id) + " not started: the interval must be positive");
        return nullptr;
    }
    script_timer& t = timers[id];
    t.interval = interval;
    t.due = call.host.now() + interval;
    t.order = call.host.nextTimerOrder();
    return nullptr;
}

} // namespace vesk_host
