// viewTrail: makes the workstation's monitor output on a router follow a source chosen by the
// parent panel.
//
// The parent gives the router ("instance"), the panel layout ("panel") and the source
// ("source"). The "button" control of the layout switches following on and off, "m" makes the
// crosspoint again, and "tally" shows the router's tally text for the monitor.
#pragma once

#include "vesk_script_helper.h"

class viewTrail : public vesk_script_helper {
public:
    // Reads the workstation setting "monitor"; sends nothing.
    viewTrail(vesk_client_callback* hostLink, const char* startupText);
    ~viewTrail() override;

    void buttonCallback(buttonNotify* notify) override;
    void revertiveCallback(revertiveNotify* notify) override;
    vesk_string parentCallback(parentNotify* notify) override;
    void timerCallback(int id) override;
    void secondaryRevertiveCallback(revertiveNotify* notify) override;

protected:
    vesk_string panelName;
    int routerDevice;
    // Never changes after construction: a changed setting takes effect in a new script.
    int monitorDest;
    int sourceIndex;
    bool following;
    vesk_string instanceName;

private:
    void makeCrosspoint();
    // Kept apart from revertiveCallback, so that a revertive for another destination does
    // not pay for the frame the tally's texts need.
    void showTally(revertiveNotify* notify);
};
