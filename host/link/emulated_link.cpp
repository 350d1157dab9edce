#include "emulated_link.h"

#include <algorithm>

#include "emulated_host.h"
#include "line_call.h"
#include "vesk_script_export.h"

namespace vesk_host {

namespace {

// The handler of every verb, in the order of the verb index.
const line_handler handlers[] = {
#define VESK_VERB(verb, family, shape, usage, answer, handler) &handler,
#include "host_verbs.def"
#undef VESK_VERB
};
static_assert(sizeof handlers / sizeof handlers[0] == hostVerbCount, "one handler per verb");

} // namespace

char* recordOnly(const line_call&) {
    return nullptr;
}

void line_call::note(const std::string& text) const {
    host.note(slot, "host", text);
}

void line_call::refuse(const std::string& text) const {
    host.warn(slot, c.verb + ": " + text);
}

panel_layout* line_call::openPanel(const std::string& panel) const {
    auto found = slot.state.panels.find(panel);
    if (found == slot.state.panels.end()) {
        note("panel " + panel + " is not open");
        return nullptr;
    }
    return &found->second;
}

control* line_call::findControl(const std::string& panel, const std::string& id) const {
    panel_layout* layout = openPanel(panel);
    if (layout == nullptr) {
        return nullptr;
    }
    control* found = layout->find(id);
    if (found == nullptr) {
        note("panel " + panel + " has no control '" + id + "'");
    }
    return found;
}

bool line_call::polledRange(int size, const std::string& what, int& first, int& last) const {
    int low = std::min(c.number(1), c.number(2));
    int high = std::max(c.number(1), c.number(2));
    first = std::max(1, low);
    last = std::min(size, high);
    if (low < 1 || high > size) {
        std::string range =
            std::to_string(low) + (low == high ? "" : " to " + std::to_string(high));
        refuse(what + " " + range + (first > last ? " is outside " : " is partly outside ") +
               "1 to " + std::to_string(size));
    }
    return first <= last;
}

device* line_call::findDevice(int number, verb_family family) const {
    device* found = host.system().find(number);
    if (found == nullptr) {
        note("the system has no device " + std::to_string(number));
    } else if (found->type().family != family) {
        note("device " + std::to_string(number) + " is a " + found->type().name + " device; " +
             c.verb + " addresses " + familyDevices(family) + " devices");
        found = nullptr;
    }
    return found;
}

router* line_call::findRouter(int number) const {
    return dynamic_cast<router*>(findDevice(number, verb_family::router));
}

emulated_link::emulated_link(emulated_host& host, script_slot& slot) : m_host(host), m_slot(slot) {}

const std::string& emulated_link::name() const {
    return m_slot.name;
}

void emulated_link::enter() {
    m_caller.store(std::this_thread::get_id());
    m_calls.fetch_add(1);
}

void emulated_link::leave() {
    m_calls.fetch_sub(1);
}

void emulated_link::retire() {
    m_life.store(life::destroyed);
}

void emulated_link::close() {
    m_life.store(life::closed);
    m_ledger = reply_ledger();
}

std::vector<std::string> emulated_link::takeRefused() {
    std::lock_guard<std::mutex> hold(m_refusedLock);
    std::vector<std::string> taken;
    taken.swap(m_refused);
    if (m_refusedMore > 0) {
        taken.push_back("and " + std::to_string(m_refusedMore) + " more such calls");
        m_refusedMore = 0;
    }
    return taken;
}

// On whatever thread called: nothing here touches the host, the slot or the ledger.
void emulated_link::refuse(const char* argument, int kind) {
    life now = m_life.load();
    if (now == life::closed) {
        return; // the run is over; there is nobody left to tell
    }
    try {
        std::string what;
        if (kind == VESK_LINK_SEND) {
            const std::size_t shown = 120;
            std::string line = argument != nullptr ? std::string(argument) : "(null)";
            what = "send '" + (line.size() > shown ? line.substr(0, shown) + "..." : line) + "'";
        } else if (kind == VESK_LINK_RELEASE) {
            what = "release of a reply";
        } else {
            what = "call of kind " + std::to_string(kind);
        }
        bool hostThread = m_caller.load() == std::this_thread::get_id();
        if (now == life::destroyed) {
            what += hostThread ? " after the script was destroyed"
                               : " from a thread of its own, after the script was destroyed";
        } else if (m_calls.load() == 0) {
            what += hostThread ? " outside any call of the host into it"
                               : " from a thread of its own, outside any call of the host "
                                 "into it";
        } else {
            what += " from a thread of its own, while the host was calling it on another";
        }
        std::lock_guard<std::mutex> hold(m_refusedLock);
        if (m_refused.size() < refusedKept) {
            m_refused.push_back(what);
        } else {
            ++m_refusedMore;
        }
    } catch (...) {
        // Out of memory: refused all the same, unrecorded.
    }
}

char* emulated_link::callback(char* argument, int kind) {
    // The books, the transcript and the simulated system belong to the host's thread, and to
    // a script only while the host is calling it there.
    if (m_life.load() != life::live || m_calls.load() == 0 ||
        m_caller.load() != std::this_thread::get_id()) {
        refuse(argument, kind);
        return nullptr;
    }
    try {
        if (kind == VESK_LINK_SEND) {
            if (argument == nullptr) {
                m_host.reportProblem(m_slot, "sent a null command line");
                return nullptr;
            }
            std::string line(argument);
            m_slot.record.sent.push_back(line);
            m_host.note(m_slot, "out", line);
            return carryOut(line);
        }
        if (kind == VESK_LINK_RELEASE) {
            std::string problem = m_ledger.takeBack(argument);
            if (!problem.empty()) {
                m_host.reportProblem(m_slot, problem);
            }
            return nullptr;
        }
        m_host.reportProblem(m_slot, "called the host link with kind " + std::to_string(kind) +
                                         "; the host takes only 0 (send) and 5 (release)");
    } catch (...) {
        // Out of memory while keeping the record: the script must not see an exception.
    }
    return nullptr;
}

char* emulated_link::carryOut(const std::string& line) {
    command_line c = parseCommandLine(line);
    const host_verb* verb = findVerb(line.c_str());
    if (verb == nullptr) {
        m_host.warn(m_slot, "sent a line the host cannot read: unknown verb '" + c.verb + "'");
        return nullptr;
    }
    line_handler handler = handlers[verb - hostVerbs];
    if (handler == &recordOnly) {
        return nullptr;
    }
    if (!c.matches(verb->shape)) {
        m_host.warn(m_slot,
                    "sent a line the host cannot read; its form is " + std::string(verb->usage));
        return nullptr;
    }
    char* reply = handler(line_call{m_host, m_slot, m_ledger, *verb, c, line});
    if (reply != nullptr) {
        m_host.note(m_slot, "reply", reply);
    }
    return reply;
}

} // namespace vesk_host
