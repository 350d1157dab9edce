// The emulated panel host: it loads script libraries, creates each script on a host link of
// its own, delivers events to it, runs the virtual clock and keeps the list of problems that
// make a run fail.
//
// Events that a script's own lines cause (the revertive after a switch, the state after a
// poll) are queued and delivered after the call into the script returns, never inside it;
// every public event operation drains the queue before it returns.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "call_record.h"
#include "devices/device.h"
#include "event_memory.h"
#include "kept_text.h"
#include "platform.h"
#include "system_model.h"
#include "transcript.h"

namespace vesk_host {

class emulated_link;

// What a scenario checks about one script: lines sent and debug text written since the last
// block of expectations about it, and the answer to the last parent text.
struct script_record {
    static const std::size_t debugKept = 64 * 1024;
    std::vector<std::string> sent;
    // Beside `sent`: the lines an expectation that held has accounted for.
    std::vector<bool> accounted;
    kept_text debugText{debugKept, debugKept}; // head and tail, when a script writes on and on
    bool expected = false; // an expectation looked at this script since its last event
    bool parentGiven = false;
    bool answered = false;
    std::string answer;
};

struct script_timer {
    int interval = 0;
    long long due = 0;
    long long order = 0; // start order, to fire timers due together in a stable order
};

// What the host keeps for one life of a script: its open panels, running timers and the
// device indices it registered for.
struct script_state {
    std::map<std::string, panel_layout> panels;
    std::map<int, script_timer> timers;
    // (family of the lines, device) to the ranges of indices registered, first to last.
    std::map<std::pair<verb_family, int>, std::vector<std::pair<int, int>>> registrations;

    bool registeredFor(verb_family family, int device, int index) const;
};

struct script_slot {
    script_slot();
    ~script_slot();
    script_slot(const script_slot&) = delete;
    script_slot& operator=(const script_slot&) = delete;

    std::string name;
    std::string path;
    std::string startup;
    std::shared_ptr<script_library> library;
    script_record record;
    script_state state;
    std::unique_ptr<emulated_link> link; // the link of the script's present life
    // The links of its earlier lives, kept so that a thread of the script that outlived its
    // life still reaches a link, which refuses it.
    std::vector<std::unique_ptr<emulated_link>> retired;
    vesk_client_callback* script = nullptr; // the live object, owned by the host
};

// What the exception being handled says, for a report: call only inside a catch block.
std::string currentExceptionText();

class emulated_host : public device_listener {
public:
    emulated_host(system_model& system, transcript& out);
    // Unloads, if that was not done; call finish() first.
    ~emulated_host();
    emulated_host(const emulated_host&) = delete;
    emulated_host& operator=(const emulated_host&) = delete;

    // Loads the library for a new script slot; the script itself is created by create().
    bool addScript(const std::string& name, const std::string& path, const std::string& startup,
                   std::string& error);
    // The object layout assumed for scripts without RTTI (--abi); by default it is recognised.
    void forceLayout(object_abi layout) { m_layout = layout; }
    // The slot with this name; the first slot for an empty name; null when there is none.
    script_slot* slot(const std::string& name);
    const std::vector<std::unique_ptr<script_slot>>& slots() const { return m_slots; }

    void create(script_slot& s);
    // Deletes the script through its virtual destructor and checks that every reply it was
    // given came back.
    void destroy(script_slot& s);
    // Destroys every live script; the end of a run.
    void finish();
    // Deletes the scripts still alive without further checks, closes their links and unloads
    // their libraries, which runs their static destructors, watched as a handler is. The end
    // of a run, after finish(): nothing can be created after it.
    void unload();

    // Events into one script. The slot's script must be alive.
    void parent(script_slot& s, const std::string& text);
    void press(script_slot& s, const std::string& panel, const std::string& control,
               const std::string* caption);
    void revertive(script_slot& s, int kind, int device, int index, const std::string& text);
    void hostEvent(script_slot& s);
    void timer(script_slot& s, int id);

    // A change asked of the device `number`, which the lines of `family` address; false, with
    // `why`, when there is no such device or it refuses. Asked for by a script's line, the
    // revertives wait until the call into the script returns; asked for from elsewhere in the
    // system, they are delivered before this returns.
    bool change(int number, verb_family family, const device_change& change, std::string& why);
    // Devices whose state lives elsewhere (routers in Ember+ providers): what they have heard
    // is reported, and its revertives delivered, on this thread only, when one of these is
    // called between steps. takeArrived() returns how many changes asked of them still await
    // their provider's answer. waitFor() waits in real time, at most `milliseconds`, until
    // `done` holds, delivering what arrives meanwhile; false when the time ran out.
    int takeArrived();
    bool waitFor(const std::function<bool()>& done, long long milliseconds);
    // Waits, at most `milliseconds`, until no change asked awaits its answer.
    bool settle(long long milliseconds);
    // Moves the virtual clock on, firing due timers in order.
    void advance(long long milliseconds);
    long long now() const { return m_now; }
    // Writes the state of panels, devices and timers to the transcript.
    void show();

    // Where the run is, for the problems raised from now on ("file:line").
    void setLocation(const std::string& where);
    // Keeps `record` up to date with the calls into scripts, the location and the lines sent,
    // for a supervisor to read if the run dies. Null: nothing kept.
    void keepRecord(call_record* record) { m_record = record; }
    struct problem {
        std::string where;
        std::string what;
        bool warning = false;  // a warning that --strict made a failure, not a host link problem
        bool expected = false; // a warning a scenario expected: no failure, even under --strict
    };
    const std::vector<problem>& problems() const { return m_problems; }
    // Every warning the run gave, with --strict or without.
    const std::vector<problem>& warnings() const { return m_warned; }
    // Marks the first warning from `from` on that contains `text` and is not yet expected as
    // expected, and withdraws it from the problems; false when there is none.
    bool expectWarning(std::size_t from, const std::string& text);
    // Under --strict, what the host would only warn about fails the run.
    void setStrict(bool strict) { m_strict = strict; }
    // Something the host can go on with but the author should hear of; a problem under
    // --strict. Never silent.
    void warn(const std::string& what);
    // The same about what one script did.
    void warn(const script_slot& s, const std::string& what);

    // For the host links.
    system_model& system() { return m_system; }
    void note(const script_slot& s, const char* tag, const std::string& text);
    void reportProblem(const script_slot& s, const std::string& what);
    // A revertive for one script from the device, of the event kind its type reports with,
    // delivered once the call into the script has returned.
    void queueRevertive(script_slot& target, const device& from, int index,
                        const std::string& text);
    // The change goes into the transcript, and every live script registered for the index
    // hears of it.
    void deviceChanged(const device& changed, int index, const std::string& said) override;
    // A problem (a lost connection) fails the run; a note goes into the transcript.
    void deviceSays(const device& from, const std::string& what, bool isProblem) override;
    void deviceNoted(const device& noted, const std::string& said) override;
    long long nextTimerOrder() { return ++m_timerOrder; }

private:
    struct pending_event {
        script_slot* target;
        int kind;
        int device;
        int index;
        std::string text;
    };

    // Calls into the script with the debug output attributed to it; a thrown exception is
    // reported, never passed on.
    char* call(script_slot& s, char* argument, int kind);
    void entering(const char* handler);
    void leaving();
    // Reports the calls the scripts' links refused since the last time.
    void noticeRefused();
    void drain();
    void revertive(script_slot& s, int kind, int device, int index, const std::string& text,
                   bool thenDrain);
    // The script's name in the transcript, when several run side by side.
    std::string who(const script_slot& s) const;
    static void debugWritten(const char* text, void* context);

    system_model& m_system;
    transcript& m_out;
    std::vector<std::unique_ptr<script_slot>> m_slots;
    std::map<std::string, std::shared_ptr<script_library>> m_libraries;
    object_abi m_layout = object_abi::unknown;
    std::deque<pending_event> m_queue;
    script_slot* m_current = nullptr; // the script the host is calling into
    bool m_debugCaptured = false;
    long long m_now = 0;
    long long m_timerOrder = 0;
    std::string m_location;
    std::vector<problem> m_problems;
    call_record* m_record = nullptr;
    event_memory m_events;
    bool m_strict = false;
    std::vector<problem> m_warned;
};

} // namespace vesk_host
