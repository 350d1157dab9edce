// The one interface between the panel host and a script.
//
// The host drives the script object through callback(); the script talks back through the host
// link, another object of this interface that the host hands over at creation.
#pragma once

class vesk_client_callback {
public:
    virtual ~vesk_client_callback() {}

    // Script object: `argument` depends on `kind` (1 revertive, 2 button, 3 parent text,
    // 4 timer id, 5 release of text this entry returned, 6 secondary revertive, 7 host event).
    // Host link: kind 0 sends the NUL-terminated command line `argument` and returns null or
    // host-owned reply text; kind 5 hands such reply text back, null included.
    virtual char* callback(char* argument, int kind) = 0;
};
