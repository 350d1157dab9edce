// test_script: a concrete script for tests. It records every handler call and exposes the
// script base's protected fields and channel, so tests can drive any operation directly.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "vesk_script_helper.h"

class test_script : public vesk_script_helper {
public:
    explicit test_script(vesk_client_callback* hostLink, const char* startupText = "")
        : vesk_script_helper(hostLink, startupText) {}

    // What each handler saw, one entry per call: "button panel:id:command=value",
    // "revertive device:index:info", "secondary ...", "parent command=value", "timer id",
    // "host".
    std::vector<std::string> events;
    // What parentCallback answers; by default empty text.
    std::function<vesk_string(parentNotify*)> onParent;
    // Called first in every handler; tests make it throw.
    std::function<void()> onAnyEvent;

    void buttonCallback(buttonNotify* notify) override;
    void revertiveCallback(revertiveNotify* notify) override;
    vesk_string parentCallback(parentNotify* notify) override;
    void timerCallback(int id) override;
    void hostCallback(hostNotify* notify) override;
    void secondaryRevertiveCallback(revertiveNotify* notify) override;

    using vesk_script_helper::alarmHandling;
    using vesk_script_helper::link;
    using vesk_script_helper::sendLine;
    using vesk_script_helper::sendRead;
    using vesk_script_helper::sendTested;
    using vesk_script_helper::startup;
};
