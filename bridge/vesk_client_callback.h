// The one interface between the panel host and a script.
//
// The host drives the script object through callback(); the script talks back through the host
// link, another object of this interface that the host hands over at creation.
#pragma once

#include "vesk_script_export.h"

class vesk_client_callback {
public:
    virtual ~vesk_client_callback() {}

    // Script object: `kind` is a vesk_event_kind and says what `argument` is; other kinds are
    // ignored. Host link: `kind` is a vesk_link_kind; VESK_LINK_SEND hands over the
    // NUL-terminated command line `argument` and returns null or host-owned reply text,
    // VESK_LINK_RELEASE hands such reply text back, null included.
    virtual char* callback(char* argument, int kind) = 0;
};
