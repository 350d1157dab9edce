// What the handler of one command line works with: the line read by its verb's shape, the
// script's slot, the simulated system, and the ledger its replies go through.
#pragma once

#include <string>

#include "command_line.h"
#include "devices/router.h"
#include "host_verbs.h"
#include "reply_ledger.h"
#include "system_model.h"

namespace vesk_host {

class emulated_host;
struct script_slot;

struct line_call {
    emulated_host& host;
    script_slot& slot;
    reply_ledger& ledger;
    const host_verb& verb;
    const command_line& c;
    const std::string& line;

    // A note of the host in the transcript, under the line.
    void note(const std::string& text) const;
    // A line the host refuses that points at a fault of the script or of the system (a panel
    // file that is not there, an index outside a device): a warning at the line, a failure
    // under --strict.
    void refuse(const std::string& text) const;
    char* handOut(const std::string& text) const { return ledger.handOut(text, line); }
    char* acknowledge() const { return ledger.acknowledge(line); }

    // What the line names; null, with a note, when there is none.
    panel_layout* openPanel(const std::string& panel) const;
    control* findControl(const std::string& panel, const std::string& id) const;
    // A device the line's family addresses, or the family given.
    device* findDevice(int number) const { return findDevice(number, verb.family); }
    device* findDevice(int number, verb_family family) const;
    router* findRouter(int number) const;
    // The range the line's second and third numbers give, in either order, within 1 to
    // `size`. Any part outside is refused, naming `what` ("router 3: destination");
    // false when nothing of it is left.
    bool polledRange(int size, const std::string& what, int& first, int& last) const;
};

using line_handler = char* (*)(const line_call& call);

// One handler per family of lines, defined in lines/<family>.cpp; recordOnly keeps the line in
// the record and answers null.
#define VESK_VERB(verb, family, shape, usage, answer, handler) char* handler(const line_call& call);
#include "host_verbs.def"
#undef VESK_VERB

} // namespace vesk_host
