// The host link one script talks through: it reads each line by the verb index, has the
// line's family carry it out against the simulated system and the script's slot, records
// every line for the scenario's expectations, and keeps the books on every reply.
#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "reply_ledger.h"
#include "vesk_client_callback.h"

namespace vesk_host {

class emulated_host;
struct script_slot;

// One life of a script: the host makes a link for each creation, and keeps it after the script
// is destroyed, so that a thread of the script that still holds it reaches a link that refuses
// it rather than freed memory.
class emulated_link : public vesk_client_callback {
public:
    // `slot` owns the link and outlives it until close().
    emulated_link(emulated_host& host, script_slot& slot);

    // Kind 0 carries out one line and answers null, an acknowledgement or reply text; kind 5
    // takes reply text back. `argument` is the script's, read only during the call. Never
    // throws into the script. Only on the thread the host calls the script on, while such a
    // call lasts: any other call is refused, touching nothing of the host, and kept for
    // takeRefused().
    char* callback(char* argument, int kind) override;

    const std::string& name() const;
    reply_ledger& ledger() { return m_ledger; }

    // Around each call of the host into the script (the factory, a handler, the destructor),
    // on the host's thread.
    void enter();
    void leave();
    // The script was destroyed: every later call is one after its end.
    void retire();
    // The host and the slot are going: later calls are refused without a word, and the replies
    // kept for the script are dropped.
    void close();
    // The calls refused since the last time, each described ("send 'PS ...' from a thread of
    // its own, outside any call of the host into it"); at most a few, then how many more.
    std::vector<std::string> takeRefused();

private:
    enum class life { live, destroyed, closed };
    static const std::size_t refusedKept = 5;

    char* carryOut(const std::string& line);
    void refuse(const char* argument, int kind);

    emulated_host& m_host;
    script_slot& m_slot;
    reply_ledger m_ledger;
    // Written on the host's thread, read on any.
    std::atomic<life> m_life{life::live};
    std::atomic<int> m_calls{0};
    std::atomic<std::thread::id> m_caller{std::thread::id()};
    std::mutex m_refusedLock;
    std::vector<std::string> m_refused;
    std::size_t m_refusedMore = 0;
};

} // namespace vesk_host
