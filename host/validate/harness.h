// What every check of the validator stands on: the settings of the validation, a host with one
// script on a link that watches how the script calls it, the steps a check runs and what a run
// of steps left behind.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "call_record.h"
#include "emulated_host.h"
#include "explore.h"
#include "object_layout.h"
#include "transcript.h"

namespace vesk_host {

// What a validation was asked to do; the same for every check.
struct validation {
    std::string library;      // as the loader takes it
    std::string shownLibrary; // as the user gave it
    std::string name = "script";
    std::string startup;
    object_abi layout = object_abi::unknown;
    std::string system;      // the system folder; the built-in one when none was given
    std::string givenSystem; // empty when the built-in system is used
    std::string workstation;
    std::uint64_t seed = 0;
    int events = 0;     // the steps of exploration
    int strictness = 5; // 1 to 10
    bool strict = false;
    int timeoutSeconds = 10;
    bool inProcess = false; // every check in vesk-host's own process, for a debugger
    std::string scratch;    // a folder of this validation's own, removed at its end
    std::string check;      // the check being run, in its own process

    // Scaled by the strictness: `atFive` at the default level.
    int scaled(int atFive) const;
};

// Stands between the script and its host link: forwards what the script sends while the host
// is calling it, on the host's thread, and notes every call that comes from elsewhere (which it
// does not forward: the host link is not made for it).
class watch_link : public vesk_client_callback {
public:
    watch_link(vesk_client_callback* forward, const call_record& record);
    char* callback(char* argument, int kind) override;

    // Calls outside any host call, and calls from another thread, described; empty when none.
    std::string misuse() const;
    int calls() const { return m_calls.load(); }

private:
    vesk_client_callback* m_forward;
    const call_record& m_record;
    std::thread::id m_hostThread;
    std::atomic<int> m_calls{0};
    std::atomic<int> m_outside{0};
    std::atomic<int> m_foreignThread{0};
    std::string m_firstLine; // written only on the host's thread, inside a call
};

// One host on the validation's system with one script slot, the script created on a
// watch_link. Nothing is printed; the host keeps its record in `record`, which a supervisor
// watches for a call that hangs.
class harness {
public:
    // The slot is named after the script unless `slotName` names it.
    harness(const validation& v, call_record& record, const std::string& slotName = std::string());
    ~harness();
    harness(const harness&) = delete;
    harness& operator=(const harness&) = delete;

    // Loads the library into the slot; false with `error`.
    bool load(std::string& error);
    // Creates the script with this start-up text (read during the factory only); false, with
    // `why`, when the factory gave nothing or threw.
    bool create(const char* startup, std::string& why);
    bool create(std::string& why) { return create(m_v.startup.c_str(), why); }
    // Destroys the script as the host does; its lines stay in the record.
    void destroy();

    // One call into the script outside the emulated host's event operations, as the host
    // makes it; an exception that escapes is noted and null returned.
    char* raw(char* argument, int kind);
    // The exceptions raw() saw, described.
    const std::vector<std::string>& escaped() const { return m_escaped; }

    emulated_host& host() { return m_host; }
    script_slot& slot() { return *m_slot; }
    const std::vector<std::string>& sent() const { return m_slot->record.sent; }
    watch_link& watch() { return *m_watch; }
    transcript& out() { return m_out; }
    // The host link problems so far (warnings left out), one a line.
    std::vector<std::string> problems() const;

private:
    const validation& m_v;
    call_record& m_record;
    transcript m_out{nullptr};
    system_model m_system;
    emulated_host m_host;
    script_slot* m_slot = nullptr;
    std::string m_slotName;
    std::unique_ptr<watch_link> m_watch;
    std::vector<std::string> m_escaped;
};

// What a run of scenario steps came to.
struct steps_outcome {
    bool failed = false;
    std::string why;       // the first failure, as a report says it
    std::string signature; // the same with its texts and numbers left out, to compare runs
    int at = -1;           // the step it showed at; the number of steps for the end of the life
    std::vector<std::string> sent; // every line the script sent
    std::vector<double> stepMs;    // how long each step took
    std::vector<std::string> warnings;
};

// Runs `steps` in one life of the script in a fresh host: after each step, a host link
// problem or a reply still held fails the run.
steps_outcome runSteps(const validation& v, call_record& record,
                       const std::vector<std::string>& steps);

// A failure's text with quoted texts and numbers left out.
std::string failureSignature(const std::string& why);

// The surface of the script, learnt from a first life that asks it what it takes.
script_surface learnSurface(const validation& v, call_record& record);

// Steps that an operator and a parent panel could sensibly take on this surface, each kind
// of event at least once.
std::vector<std::string> soundSteps(const script_surface& surface);

// A call into the script with this kind, as a crash report names it.
const char* callName(int kind);

// Bytes of the heap in use, where the platform says it; false where it does not.
bool heapInUse(std::size_t& bytes);

} // namespace vesk_host
