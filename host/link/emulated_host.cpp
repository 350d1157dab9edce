#include "emulated_host.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>
#include <vector>

#include "decodeCaptionString.h"
#include "emulated_link.h"
#include "vesk_host_structs.h"
#include "vesk_script_export.h"

namespace vesk_host {

namespace {

// A step that sets off more than this many events is taken to loop (a script that switches
// in answer to its own revertive, say); the rest are dropped and the run fails.
const std::size_t eventLimit = 10000;
const long long timerFiringLimit = 100000;

// What the host hands with a host event; the script never reads it.
struct host_structure {
    std::int32_t words[8];
};

// The handler the script base calls for each kind, as reports name it.
const char* handlerOf(int kind) {
    switch (kind) {
#define VESK_EVENT_KIND(name, value, handler, words)                                               \
    case value:                                                                                    \
        return handler[0] != '\0' ? handler : "callback (" words ", kind " #value ")";
#include "vesk_event_kinds.def"
    default:
        return "callback";
    }
}

// How the transcript starts an event of the kind: its number in brackets, then its name.
std::string eventHeading(int kind) {
    switch (kind) {
#define VESK_EVENT_KIND(name, value, handler, words)                                               \
    case value:                                                                                    \
        return "[" #value "] " words;
#include "vesk_event_kinds.def"
    default:
        return "[" + std::to_string(kind) + "] event";
    }
}

// The host hands texts over as char*; scripts only read them.
std::vector<char> writable(const std::string& text) {
    return std::vector<char>(text.c_str(), text.c_str() + text.size() + 1);
}

} // namespace

std::string currentExceptionText() {
    try {
        throw;
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown exception";
    }
}

script_slot::script_slot() = default;
script_slot::~script_slot() = default;

emulated_host::emulated_host(system_model& system, transcript& out) : m_system(system), m_out(out) {
    m_debugCaptured = captureDebugOutput(&emulated_host::debugWritten, this);
    m_system.listen(this);
}

emulated_host::~emulated_host() {
    unload();
    if (m_debugCaptured) {
        captureDebugOutput(nullptr, nullptr);
    }
    m_system.listen(nullptr);
}

void emulated_host::unload() {
    for (auto& s : m_slots) {
        if (s->script != nullptr) {
            vesk_client_callback* script = s->script;
            s->script = nullptr;
            s->link->enter();
            try {
                delete script;
            } catch (...) {
            }
            s->link->leave();
        }
    }
    // A thread of a script may outlive the run: the links it can hold stay, closed, for the
    // life of the process (a few words each).
    static std::mutex closedLock;
    static std::vector<std::unique_ptr<emulated_link>>* const closedLinks =
        new std::vector<std::unique_ptr<emulated_link>>();
    auto keep = [](std::unique_ptr<emulated_link>& link) {
        if (!link) {
            return;
        }
        link->close();
        std::lock_guard<std::mutex> hold(closedLock);
        try {
            closedLinks->push_back(std::move(link));
        } catch (const std::bad_alloc&) {
            (void)link.release(); // kept all the same, unlisted
        }
    };
    for (auto& s : m_slots) {
        keep(s->link);
        for (auto& link : s->retired) {
            keep(link);
        }
        s->retired.clear();
    }
    // Unloading runs the libraries' static destructors, watched as a handler is: one that
    // hangs or crashes is reported as such, never as a run that ended well.
    for (auto& s : m_slots) {
        s->library.reset();
    }
    for (auto& l : m_libraries) {
        if (m_record != nullptr) {
            m_record->enter(unloadingLibrary);
        }
        l.second.reset();
        if (m_record != nullptr) {
            m_record->leave();
        }
    }
    m_libraries.clear();
}

void emulated_host::debugWritten(const char* text, void* context) {
    auto* host = static_cast<emulated_host*>(context);
    std::string written = text != nullptr ? text : "";
    if (host->m_current != nullptr) {
        script_slot& slot = *host->m_current;
        slot.record.debugText.append(written);
        host->m_out.entry("debug", host->who(slot), written);
        // The script base dropped an event whose handler threw: the run must not pass.
        const std::size_t prefix = std::strlen(VESK_HANDLER_EXCEPTION_PREFIX);
        if (written.compare(0, prefix, VESK_HANDLER_EXCEPTION_PREFIX) == 0) {
            std::string rest = written.substr(prefix);
            if (!rest.empty() && rest.back() == '\n') {
                rest.pop_back();
            }
            std::size_t colon = rest.find(": ");
            std::string handler = rest.substr(0, colon);
            std::string what = colon == std::string::npos ? std::string() : rest.substr(colon + 2);
            host->reportProblem(slot, "threw out of " + handler + ": " + what +
                                          " (the script base dropped the event)");
        }
    } else {
        host->m_out.entry("debug", std::string(), written);
    }
}

bool emulated_host::addScript(const std::string& name, const std::string& path,
                              const std::string& startup, std::string& error) {
    std::shared_ptr<script_library>& library = m_libraries[path];
    if (!library) {
        // Loading runs the library's static initializers: watched as a handler is.
        entering(loadingLibrary);
        try {
            library = std::make_shared<script_library>(path, m_layout);
        } catch (...) {
            leaving();
            m_libraries.erase(path);
            throw;
        }
        leaving();
    }
    if (library->factory() == nullptr) {
        error = library->error();
        m_libraries.erase(path);
        return false;
    }
    std::unique_ptr<script_slot> s(new script_slot);
    s->name = name;
    s->path = path;
    s->startup = startup;
    s->library = library;
    s->link.reset(new emulated_link(*this, *s));
    s->link->ledger().at(m_location);
    m_slots.push_back(std::move(s));
    return true;
}

script_slot* emulated_host::slot(const std::string& name) {
    for (auto& s : m_slots) {
        if (name.empty() || s->name == name) {
            return s.get();
        }
    }
    return nullptr;
}

bool script_state::registeredFor(verb_family family, int device, int index) const {
    auto found = registrations.find({family, device});
    if (found == registrations.end()) {
        return false;
    }
    for (const auto& range : found->second) {
        if (index >= range.first && index <= range.second) {
            return true;
        }
    }
    return false;
}

std::string emulated_host::who(const script_slot& s) const {
    return m_slots.size() > 1 ? s.name : std::string();
}

void emulated_host::note(const script_slot& s, const char* tag, const std::string& text) {
    if (m_record != nullptr && std::strcmp(tag, "out") == 0) {
        m_record->lineSent(text);
    }
    m_out.entry(tag, who(s), text);
}

void emulated_host::warn(const std::string& what) {
    m_warned.push_back({m_location, what, true});
    if (m_strict) {
        m_problems.push_back({m_location, what + " (--strict)", true});
        m_out.entry("PROBLEM", std::string(), what + " (--strict)");
    } else {
        m_out.entry("warning", std::string(), what);
    }
}

void emulated_host::warn(const script_slot& s, const std::string& what) {
    m_warned.push_back({m_location, s.name + " " + what, true});
    if (m_strict) {
        m_problems.push_back({m_location, s.name + " " + what + " (--strict)", true});
        m_out.entry("PROBLEM", who(s), what + " (--strict)");
    } else {
        m_out.entry("warning", who(s), what);
    }
}

bool emulated_host::expectWarning(std::size_t from, const std::string& text) {
    for (std::size_t i = from; i < m_warned.size(); ++i) {
        problem& w = m_warned[i];
        if (w.expected || w.what.find(text) == std::string::npos) {
            continue;
        }
        w.expected = true;
        std::string failed = w.what + " (--strict)";
        for (auto p = m_problems.begin(); p != m_problems.end(); ++p) {
            if (p->warning && p->where == w.where && p->what == failed) {
                m_problems.erase(p);
                break;
            }
        }
        return true;
    }
    return false;
}

void emulated_host::setLocation(const std::string& where) {
    m_location = where;
    for (auto& s : m_slots) {
        s->link->ledger().at(where);
    }
    if (m_record != nullptr) {
        m_record->at(where);
    }
}

void emulated_host::entering(const char* handler) {
    if (m_record != nullptr) {
        m_record->enter(handler);
    }
    m_out.enterCall();
}

void emulated_host::leaving() {
    if (m_record != nullptr) {
        m_record->leave();
    }
    noticeRefused();
    // Once the call is over: printing may wait for the reader now.
    m_out.leaveCall();
}

void emulated_host::noticeRefused() {
    for (auto& s : m_slots) {
        auto notice = [&](emulated_link& link) {
            for (const std::string& what : link.takeRefused()) {
                reportProblem(*s, "made a call to the host link that was refused: " + what +
                                      " (noticed here; not made by this step)");
            }
        };
        if (s->link) {
            notice(*s->link);
        }
        for (auto& link : s->retired) {
            notice(*link);
        }
    }
}

void emulated_host::reportProblem(const script_slot& s, const std::string& what) {
    m_problems.push_back({m_location, s.name + " " + what});
    m_out.entry("PROBLEM", who(s), s.name + " " + what);
}

char* emulated_host::call(script_slot& s, char* argument, int kind) {
    script_slot* outer = m_current;
    m_current = &s;
    char* result = nullptr;
    entering(handlerOf(kind));
    s.link->enter();
    try {
        result = s.script->callback(argument, kind);
    } catch (...) {
        reportProblem(s, "let an exception escape its callback (kind " + std::to_string(kind) +
                             "): " + currentExceptionText());
    }
    s.link->leave();
    leaving();
    m_current = outer;
    return result;
}

void emulated_host::create(script_slot& s) {
    if (!s.link || !s.library) {
        reportProblem(s, "was not created: its library was unloaded at the end of the run");
        return;
    }
    s.state = script_state();
    m_out.entry("create", who(s),
                s.name + " from " + s.path +
                    (s.startup.empty() ? "" : ", start-up text '" + s.startup + "'"));
    m_current = &s;
    bool thrown = false;
    std::string refusal;
    entering("load_vesk_client_script");
    s.link->enter();
    try {
        s.script = s.library->create(s.link.get(), s.startup.c_str(), &refusal);
    } catch (...) {
        // One report, with the message: the script was not created either way.
        reportProblem(s, "was not created: load_vesk_client_script let an exception "
                         "escape: " +
                             currentExceptionText());
        s.script = nullptr;
        thrown = true;
    }
    s.link->leave();
    leaving();
    m_current = nullptr;
    if (s.script == nullptr) {
        if (!thrown) {
            reportProblem(s, "was not created: " + (refusal.empty()
                                                        ? "load_vesk_client_script returned null"
                                                        : refusal));
        }
        s.state = script_state();
        return;
    }
    drain();
}

void emulated_host::destroy(script_slot& s) {
    vesk_client_callback* script = s.script;
    s.script = nullptr;
    m_out.entry("destroy", who(s), s.name);
    m_current = &s;
    entering("the destructor");
    s.link->enter();
    try {
        delete script;
    } catch (...) {
        reportProblem(s, "let an exception escape its destructor: " + currentExceptionText());
    }
    s.link->leave();
    leaving();
    m_current = nullptr;
    s.state = script_state();
    for (const reply_ledger::unreleased_reply& leak : s.link->ledger().unreleasedReplies()) {
        std::string at = leak.where.empty() ? m_location : leak.where;
        m_problems.push_back({at, s.name + " " + leak.what});
        m_out.entry("PROBLEM", who(s), s.name + " " + leak.what + " (asked for at " + at + ")");
    }
    // The next life gets a link of its own; this one stays, refusing whatever still calls it.
    s.link->retire();
    s.retired.push_back(std::move(s.link));
    s.link.reset(new emulated_link(*this, s));
    s.link->ledger().at(m_location);
    drain();
}

void emulated_host::finish() {
    for (auto& s : m_slots) {
        if (s->script != nullptr) {
            destroy(*s);
        }
    }
    noticeRefused();
}

void emulated_host::parent(script_slot& s, const std::string& text) {
    m_out.entry("in", who(s), eventHeading(VESK_EVENT_PARENT) + " \"" + text + "\"");
    std::vector<char> argument = writable(text);
    char* answer = call(s, argument.data(), VESK_EVENT_PARENT);
    script_record& r = s.record;
    r.parentGiven = true;
    r.answered = answer != nullptr;
    // Copied at once and handed back: the script owns the block until then.
    r.answer = answer != nullptr ? std::string(answer) : std::string();
    m_out.entry("answer", who(s), answer != nullptr ? r.answer : "(none)");
    if (answer != nullptr && s.script != nullptr) {
        call(s, answer, VESK_EVENT_RELEASE);
    }
    drain();
}

void emulated_host::press(script_slot& s, const std::string& panel, const std::string& id,
                          const std::string* caption) {
    const auto& panels = s.state.panels;
    auto open = panels.find(panel);
    if (open == panels.end()) {
        warn(s, "press on panel " + panel + ", which is not open; pressed all the same");
    } else if (open->second.find(id) == nullptr) {
        warn(s, "press on control '" + id + "', which panel " + panel + " (" + open->second.file +
                    ") does not have; pressed all the same");
    }
    decodeCaptionString decoded(caption != nullptr ? caption->c_str() : nullptr);
    vesk_host_button* button = m_events.fresh(
        vesk_host_button{0, 0, panel.c_str(), id.c_str(), caption != nullptr ? &decoded : nullptr});
    m_out.entry("in", who(s),
                eventHeading(VESK_EVENT_BUTTON) + " " + panel + ":" + id +
                    (caption != nullptr ? " caption \"" + *caption + "\"" : ""));
    call(s, reinterpret_cast<char*>(button), VESK_EVENT_BUTTON);
    m_events.retire(button);
    drain();
}

void emulated_host::revertive(script_slot& s, int kind, int device, int index,
                              const std::string& text) {
    if (m_system.find(device) == nullptr) {
        warn(s, "revertive from device " + std::to_string(device) +
                    ", which the system does not have; delivered all the same");
    }
    revertive(s, kind, device, index, text, true);
}

void emulated_host::revertive(script_slot& s, int kind, int device, int index,
                              const std::string& text, bool thenDrain) {
    vesk_host_revertive* event =
        m_events.fresh(vesk_host_revertive{device, 0, index, 0, text.c_str()});
    m_out.entry("in", who(s),
                eventHeading(kind) + " " + std::to_string(device) + ":" + std::to_string(index) +
                    " \"" + text + "\"");
    call(s, reinterpret_cast<char*>(event), kind);
    m_events.retire(event);
    if (thenDrain) {
        drain();
    }
}

void emulated_host::hostEvent(script_slot& s) {
    // The script never reads this structure; it gets one all the same.
    host_structure* structure = m_events.fresh(host_structure{});
    m_out.entry("in", who(s), eventHeading(VESK_EVENT_HOST));
    call(s, reinterpret_cast<char*>(structure), VESK_EVENT_HOST);
    m_events.retire(structure);
    drain();
}

void emulated_host::timer(script_slot& s, int id) {
    m_out.entry("in", who(s), eventHeading(VESK_EVENT_TIMER) + " " + std::to_string(id));
    call(s, reinterpret_cast<char*>(static_cast<std::intptr_t>(id)), VESK_EVENT_TIMER);
    drain();
}

void emulated_host::queueRevertive(script_slot& target, const device& from, int index,
                                   const std::string& text) {
    m_queue.push_back({&target, from.type().revertive, from.number(), index, text});
}

void emulated_host::deviceChanged(const device& changed, int index, const std::string& said) {
    m_out.entry(changed.type().tag, std::string(), said);
    std::string text;
    changed.report(index, text);
    for (auto& s : m_slots) {
        if (s->script != nullptr &&
            s->state.registeredFor(changed.type().family, changed.number(), index)) {
            queueRevertive(*s, changed, index, text);
        }
    }
}

void emulated_host::deviceSays(const device& from, const std::string& what, bool isProblem) {
    if (isProblem) {
        m_problems.push_back({m_location, what});
        m_out.entry("PROBLEM", std::string(), what);
    } else {
        m_out.entry(from.type().tag, std::string(), what);
    }
}

int emulated_host::takeArrived() {
    int awaiting = 0;
    // Never inside a call into a script: what arrives waits for the call to return.
    if (m_current != nullptr) {
        return 0;
    }
    for (const auto& entry : m_system.devices()) {
        if (entry.second) {
            awaiting += entry.second->takeArrived();
        }
    }
    drain();
    return awaiting;
}

bool emulated_host::waitFor(const std::function<bool()>& done, long long milliseconds) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        unsigned long long seen = newsCount();
        takeArrived();
        if (done()) {
            return true;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        until - std::chrono::steady_clock::now())
                        .count();
        if (left <= 0) {
            return false;
        }
        waitForNews(seen, static_cast<int>(std::min<long long>(left, 1000)));
    }
}

bool emulated_host::settle(long long milliseconds) {
    int awaiting = takeArrived();
    if (awaiting == 0) {
        return true;
    }
    return waitFor([this] { return takeArrived() == 0; }, milliseconds);
}

void emulated_host::deviceNoted(const device& noted, const std::string& said) {
    m_out.entry(noted.type().tag, std::string(), said);
}

void emulated_host::drain() {
    std::size_t delivered = 0;
    while (!m_queue.empty()) {
        pending_event next = m_queue.front();
        m_queue.pop_front();
        script_slot& s = *next.target;
        if (s.script == nullptr) {
            continue;
        }
        if (++delivered > eventLimit) {
            reportProblem(s, "set off more than " + std::to_string(eventLimit) +
                                 " events in one step; the rest were dropped");
            m_queue.clear();
            return;
        }
        revertive(s, next.kind, next.device, next.index, next.text, false);
    }
}

bool emulated_host::change(int number, verb_family family, const device_change& change,
                           std::string& why) {
    device* d = m_system.find(number);
    if (d == nullptr) {
        why = "the system has no device " + std::to_string(number);
        return false;
    }
    if (d->type().family != family) {
        why = "device " + std::to_string(number) + " is a " + d->type().name + " device, not a " +
              familyDevices(family) + " device";
        return false;
    }
    device_change asked = change;
    asked.byScript = m_current != nullptr;
    asked.now = m_now;
    bool accepted = d->request(asked, why);
    // Inside a call into a script the queue waits for the call to return.
    if (m_current == nullptr) {
        drain();
    }
    return accepted;
}

void emulated_host::advance(long long milliseconds) {
    long long target = m_now + milliseconds;
    long long fired = 0;
    long long shownAt = -1; // the clock as the transcript last showed it
    auto showClock = [&]() {
        if (shownAt != m_now) {
            m_out.entry("clock", std::string(), std::to_string(m_now) + " ms");
            shownAt = m_now;
        }
    };
    for (;;) {
        script_slot* due = nullptr;
        int dueId = 0;
        const script_timer* best = nullptr;
        for (auto& s : m_slots) {
            if (s->script == nullptr) {
                continue;
            }
            for (const auto& t : s->state.timers) {
                const script_timer& candidate = t.second;
                bool earlier = best == nullptr || candidate.due < best->due ||
                               (candidate.due == best->due && candidate.order < best->order);
                if (candidate.due <= target && earlier) {
                    best = &candidate;
                    due = s.get();
                    dueId = t.first;
                }
            }
        }
        // A device's change due at the same moment as a timer comes first: the timer sees it.
        device* busy = nullptr;
        long long busyDue = -1;
        for (const auto& entry : m_system.devices()) {
            long long next = entry.second ? entry.second->nextDue() : -1;
            if (next >= 0 && next <= target && (busy == nullptr || next < busyDue)) {
                busy = entry.second.get();
                busyDue = next;
            }
        }
        if (due == nullptr && busy == nullptr) {
            break;
        }
        if (++fired > timerFiringLimit) {
            std::string what = " more than " + std::to_string(timerFiringLimit) +
                               " times in one advance; the clock stops here";
            if (due != nullptr) {
                reportProblem(*due, "has timers firing" + what);
            } else {
                what = "device " + std::to_string(busy->number()) + " has switches due" + what;
                m_problems.push_back({m_location, what});
                m_out.entry("PROBLEM", std::string(), what);
            }
            break;
        }
        if (busy != nullptr && (due == nullptr || busyDue <= best->due)) {
            m_now = busyDue > m_now ? busyDue : m_now;
            showClock();
            busy->makeDue(m_now);
            drain();
            continue;
        }
        script_timer& t = due->state.timers[dueId];
        m_now = t.due;
        t.due += t.interval;
        showClock();
        timer(*due, dueId);
    }
    m_now = target > m_now ? target : m_now;
    // Once for each moment: not again when the last timer fired at the end of the advance.
    showClock();
}

void emulated_host::show() {
    m_out.entry("clock", std::string(), std::to_string(m_now) + " ms");
    for (const auto& entry : m_system.devices()) {
        if (entry.second) {
            m_out.entry(entry.second->type().tag, std::string(), entry.second->shown());
        }
    }
    for (auto& s : m_slots) {
        std::string owner = s->name + (s->script != nullptr ? "" : " (destroyed)");
        for (const auto& p : s->state.panels) {
            std::string state = p.first + ": " + p.second.file;
            for (const control& c : p.second.controls) {
                state += "\n" + c.id + ":";
                for (const auto& property : c.properties) {
                    state += " " + property.first + "=" + property.second;
                }
            }
            m_out.entry("panel", owner, state);
        }
        for (const auto& t : s->state.timers) {
            m_out.entry("timer", owner,
                        std::to_string(t.first) + " every " + std::to_string(t.second.interval) +
                            " ms, next at " + std::to_string(t.second.due) + " ms");
        }
    }
}

} // namespace vesk_host
