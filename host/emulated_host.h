// The emulated panel host: it loads script libraries, creates each script on a host link of
// its own, delivers events to it, runs the virtual clock and keeps the list of problems that
// make a run fail.
//
// Events that a script's own lines cause (the revertive after a switch, the state after a
// poll) are queued and delivered after the call into the script returns, never inside it;
// every public event operation drains the queue before it returns.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "call_record.h"
#include "event_memory.h"
#include "host_link.h"
#include "platform.h"
#include "system_model.h"
#include "transcript.h"

namespace vesk_host {

struct script_slot {
    std::string name;
    std::string path;
    std::string startup;
    std::shared_ptr<script_library> library;
    script_record record;
    std::unique_ptr<host_link> link;
    vesk_client_callback* script = nullptr; // the live object, owned by the host
};

class emulated_host {
public:
    emulated_host(system_model& system, transcript& out);
    // Destroys scripts still alive without further checks; call finish() first.
    ~emulated_host();
    emulated_host(const emulated_host&) = delete;
    emulated_host& operator=(const emulated_host&) = delete;

    // Loads the library for a new script slot; the script itself is created by create().
    bool addScript(const std::string& name, const std::string& path, const std::string& startup,
                   std::string& error);
    // The slot with this name; the first slot for an empty name; null when there is none.
    script_slot* slot(const std::string& name);
    const std::vector<std::unique_ptr<script_slot>>& slots() const { return m_slots; }

    void create(script_slot& s);
    // Deletes the script through its virtual destructor and checks that every reply it was
    // given came back.
    void destroy(script_slot& s);
    // Destroys every live script; the end of a run.
    void finish();

    // Events into one script. The slot's script must be alive.
    void parent(script_slot& s, const std::string& text);
    void press(script_slot& s, const std::string& panel, const std::string& control,
               const std::string* caption);
    void revertive(script_slot& s, int kind, int device, int index, const std::string& text);
    void hostEvent(script_slot& s);
    void timer(script_slot& s, int id);

    // A switch made elsewhere in the system; false, with `why`, when the router refuses it.
    bool route(int device, int source, int destination, std::string& why);
    // The same switch asked for by a script's line: its revertives wait in the queue.
    bool switchRouter(int device, int source, int destination, std::string& why);
    // Moves the virtual clock on, firing due timers in order.
    void advance(long long milliseconds);
    long long now() const { return m_now; }
    // Writes the state of panels, routers and timers to the transcript.
    void show();

    // Where the run is, for the problems raised from now on ("file:line").
    void setLocation(const std::string& where);
    // Keeps `record` up to date with the calls into scripts, the location and the lines sent,
    // for a supervisor to read if the run dies. Null: nothing kept.
    void keepRecord(call_record* record) { m_record = record; }
    struct problem {
        std::string where;
        std::string what;
    };
    const std::vector<problem>& problems() const { return m_problems; }
    // Under --strict, what the host would only warn about fails the run.
    void setStrict(bool strict) { m_strict = strict; }
    // Something the host can go on with but the author should hear of; a problem under
    // --strict. Never silent.
    void warn(const std::string& what);

    // For the host links.
    system_model& system() { return m_system; }
    void note(const host_link& link, const char* tag, const std::string& text);
    void reportProblem(const host_link& link, const std::string& what);
    void queueRevertive(host_link& target, int device, int index, const std::string& text);
    // Every live link registered for the destination hears of the switch.
    void crosspointChanged(const router& r, int destination);
    long long nextTimerOrder() { return ++m_timerOrder; }

private:
    struct pending_event {
        host_link* target;
        int device;
        int index;
        std::string text;
    };

    // Calls into the script with the debug output attributed to it; a thrown exception is
    // reported, never passed on.
    char* call(script_slot& s, char* argument, int kind);
    void entering(const char* handler);
    void leaving();
    void drain();
    script_slot* slotOf(const host_link* link);
    // The script's name in the transcript, when several run side by side.
    std::string who(const host_link& link) const;
    static void debugWritten(const char* text, void* context);

    system_model& m_system;
    transcript& m_out;
    std::vector<std::unique_ptr<script_slot>> m_slots;
    std::map<std::string, std::shared_ptr<script_library>> m_libraries;
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
};

} // namespace vesk_host
