#include "viewTrail.h"

namespace {
// The script addresses the panel it opens itself as "1".
const int ownPanel = 1;
} // namespace

viewTrail::viewTrail(vesk_client_callback* hostLink, const char* startupText)
    : vesk_script_helper(hostLink, startupText), panelName(), routerDevice(0), monitorDest(0),
      sourceIndex(0), following(false), instanceName() {
    try {
        monitorDest = workstationSetting("monitor");
    } catch (...) {
        // A script that never came to be says nothing to the host, not even goodbye.
        link = nullptr;
        throw;
    }
}

viewTrail::~viewTrail() = default;

vesk_string viewTrail::parentCallback(parentNotify* notify) {
    notify->dump("barf");
    vesk_string command = notify->command();
    vesk_string value = notify->value();

    if (command == "return") {
        if (value == "all") {
            vesk_stringlist answer;
            answer << vesk_string("panel=%1").arg(panelName)
                   << vesk_string("source=%1").arg(sourceIndex, 0, 0, 10);
            return answer.toString('\n');
        }
        return vesk_string();
    }
    if (command == "instance" && value != instanceName) {
        // The name is kept only once the lookup has run: should it throw (memory ran out), the
        // parent giving the same name again looks it up again instead of being ignored. A host
        // that does not answer still gives device 0 and keeps the name.
        int device = 0;
        instanceLookup(value, &device, nullptr);
        routerDevice = device;
        instanceName = value;
        routerRegister(routerDevice, monitorDest, monitorDest, false);
        routerPoll(routerDevice, monitorDest, monitorDest);
        return vesk_string();
    }
    if (command == "panel") {
        vesk_string panel(ownPanel, 0, 0, 10);
        panelDestroy(panel);
        panelName = value;
        panelShow(panel, panelName, vesk_string());
        return vesk_string();
    }
    if (command == "source") {
        sourceIndex = value;
        if (following) {
            makeCrosspoint();
        }
        return vesk_string();
    }
    if (command == "_events") {
        return vesk_stringlist().toString('\n');
    }
    if (command == "_commands") {
        vesk_stringlist answer;
        answer << "panel=viewTrail | m | tally"
               << "source=[value]";
        return answer.toString('\n');
    }
    return vesk_string();
}

void viewTrail::buttonCallback(buttonNotify* notify) {
    notify->dump("barf");
    if (notify->panel() != ownPanel) {
        return;
    }
    vesk_string id = notify->id();
    vesk_string panel(ownPanel, 0, 0, 10);
    if (id == "button") {
        following = !following;
        if (following) {
            makeCrosspoint();
            textPut("stylesheet=view_trailing", panel, "button");
        } else {
            // Switching off leaves the monitor on its current source.
            textPut("stylesheet=view_nottrailing", panel, "button");
        }
    } else if (id == "m") {
        makeCrosspoint();
    }
}

void viewTrail::revertiveCallback(revertiveNotify* notify) {
    // Most revertives of a salvo are for other destinations: this test is all they cost.
    if (notify->device() != routerDevice || notify->index() != monitorDest) {
        return;
    }
    showTally(notify);
}

void viewTrail::showTally(revertiveNotify* notify) {
    textPut("text", notify->info(), vesk_string(ownPanel, 0, 0, 10), "tally");
}

void viewTrail::timerCallback(int id) {
    // The script starts no timer of its own: whatever fires is stopped.
    timerStop(id);
}

void viewTrail::secondaryRevertiveCallback(revertiveNotify*) {}

void viewTrail::makeCrosspoint() {
    routerCrosspoint(routerDevice, sourceIndex, monitorDest, vesk_string(), false);
}
