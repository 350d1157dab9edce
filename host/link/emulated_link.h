// The host link one script talks through: it reads each line by the verb index, has the
// line's family carry it out against the simulated system and the script's slot, records
// every line for the scenario's expectations, and keeps the books on every reply.
#pragma once

#include <string>

#include "reply_ledger.h"
#include "vesk_client_callback.h"

namespace vesk_host {

class emulated_host;
struct script_slot;

class emulated_link : public vesk_client_callback {
public:
    // `slot` owns the link and outlives it.
    emulated_link(emulated_host& host, script_slot& slot);

    // Kind 0 carries out one line and answers null, an acknowledgement or reply text; kind 5
    // takes reply text back. `argument` is the script's, read only during the call. Never
    // throws into the script.
    char* callback(char* argument, int kind) override;

    const std::string& name() const;
    reply_ledger& ledger() { return m_ledger; }

private:
    char* carryOut(const std::string& line);

    emulated_host& m_host;
    script_slot& m_slot;
    reply_ledger m_ledger;
};

} // namespace vesk_host
