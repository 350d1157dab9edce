// source_selector: a panel of source buttons that route to one destination of a router.
//
// The parent panel configures it:
//   panel=NAME         opens the layout NAME as panel "1"
//   instance=NAME      the router, looked up with SD: device and offset. The instance is a
//                      window onto its router: local number n is router index offset + n
//   destination=N      the local destination the buttons route to
//   sources=A,B,...    the local sources of the buttons source_1, source_2, ... (default 1 to 4)
//   return=all         answers destination, lit button and lock state
//
// A press of a source button makes the crosspoint; it does not light the button. The router's
// revertive for the destination lights the button of the source it reports, so the panel shows
// what the router did, also when someone else switched it or the switch failed. The button
// "lock" toggles a lock under which source presses are refused. The text control "tally" shows
// the destination's current source.
#include <climits>

#include "vesk_script_helper.h"

namespace {

const char* const ownPanel = "1";
const int buttonCount = 4;

const char* const litStyle = "stylesheet=source_lit";
const char* const unlitStyle = "stylesheet=source_unlit";

// Texts go into command lines verbatim between single quotes; a quote inside one would end its
// field early. Names from the router are shown with the quote replaced.
vesk_string withoutQuotes(const vesk_string& text) {
    vesk_string shown;
    const char* from = text;
    int start = 0;
    for (int i = 0; i < text.length(); ++i) {
        if (from[i] == '\'') {
            shown += vesk_string(from + start, i - start);
            shown += "`";
            start = i + 1;
        }
    }
    shown += vesk_string(from + start, text.length() - start);
    return shown;
}

vesk_string buttonId(int button) {
    return vesk_string("source_%1").arg(button + 1);
}

class source_selector : public vesk_script_helper {
public:
    source_selector(vesk_client_callback* hostLink, const char* startupText)
        : vesk_script_helper(hostLink, startupText) {
        for (int b = 0; b < buttonCount; ++b) {
            m_sources[b] = b + 1;
        }
    }

    vesk_string parentCallback(parentNotify* notify) override {
        vesk_string command = notify->command();
        vesk_string value = notify->value();
        if (command == "panel") {
            panelDestroy(ownPanel);
            panelShow(ownPanel, value, "");
            m_lit = -1;
            showLock();
            connect();
        } else if (command == "instance") {
            // An unknown instance leaves device 0: nothing is routed until a good one comes.
            instanceLookup(value, &m_device, &m_offset);
            connect();
        } else if (command == "destination") {
            m_destination = value.toInt();
            connect();
        } else if (command == "sources") {
            vesk_stringlist lSources(value, ',');
            for (int b = 0; b < buttonCount && b < lSources.count(); ++b) {
                m_sources[b] = lSources.at(b).toInt();
            }
            connect();
        } else if (command == "return" && value == "all") {
            return vesk_string("destination=%1 lit=%2 locked=%3")
                .arg(m_destination)
                .arg(m_lit < 0 ? vesk_string("none") : buttonId(m_lit))
                .arg(m_locked ? 1 : 0);
        }
        return vesk_string();
    }

    void buttonCallback(buttonNotify* notify) override {
        if (notify->panel() != ownPanel) {
            return;
        }
        vesk_string id = notify->id();
        if (id == "lock") {
            m_locked = !m_locked;
            showLock();
            return;
        }
        for (int b = 0; b < buttonCount; ++b) {
            if (id == buttonId(b)) {
                press(b);
                return;
            }
        }
    }

    void revertiveCallback(revertiveNotify* notify) override {
        if (!connected() || notify->device() != m_device ||
            notify->index() != routerIndex(m_destination)) {
            return;
        }
        // The revertive names the source now on the destination.
        vesk_string source = notify->info();
        textPut("text", withoutQuotes(source), ownPanel, "tally");
        int lit = -1;
        for (int b = 0; b < buttonCount; ++b) {
            if (!m_names[b].isEmpty() && source == m_names[b]) {
                lit = b;
                break;
            }
        }
        light(lit);
    }

    // This script starts no timers.
    void timerCallback(int id) override { timerStop(id); }

private:
    bool connected() const { return m_device > 0 && routerIndex(m_destination) > 0; }

    // The router's index of a local number, or 0 when there is none: the numbers come from
    // the parent and the offset from the host, and their sum must not overflow.
    int routerIndex(int local) const {
        long long index = static_cast<long long>(m_offset) + local;
        return local > 0 && index > 0 && index <= INT_MAX ? static_cast<int>(index) : 0;
    }

    // Registers for the destination, labels the buttons with their sources' names and asks
    // for the destination's state, whose revertive lights the right button.
    void connect() {
        if (!connected()) {
            return;
        }
        int destination = routerIndex(m_destination);
        routerRegister(m_device, destination, destination, false);
        for (int b = 0; b < buttonCount; ++b) {
            m_names[b] = vesk_string();
            int source = routerIndex(m_sources[b]);
            if (source > 0) {
                sendRN(m_device, 0, source, m_names[b]);
            }
            textPut("text", withoutQuotes(m_names[b]), ownPanel, buttonId(b));
        }
        light(-1);
        routerPoll(m_device, destination, destination);
    }

    void press(int button) {
        if (m_locked) {
            debug("source_selector: locked; %1 not routed\n", buttonId(button));
            return;
        }
        if (!connected()) {
            debug("source_selector: no router or destination yet; %1 not routed\n",
                  buttonId(button));
            return;
        }
        int source = routerIndex(m_sources[button]);
        if (source == 0) {
            debug("source_selector: %1 has no source\n", buttonId(button));
            return;
        }
        routerCrosspoint(m_device, source, routerIndex(m_destination), "", false);
    }

    // Only the buttons whose state changes are sent.
    void light(int button) {
        if (button == m_lit) {
            return;
        }
        if (m_lit >= 0) {
            textPut(unlitStyle, ownPanel, buttonId(m_lit));
        }
        if (button >= 0) {
            textPut(litStyle, ownPanel, buttonId(button));
        }
        m_lit = button;
    }

    void showLock() {
        textPut(m_locked ? "stylesheet=lock_on" : "stylesheet=lock_off", ownPanel, "lock");
    }

    int m_device = 0;
    int m_offset = 0;
    int m_destination = 0;
    int m_sources[buttonCount];
    vesk_string m_names[buttonCount];
    int m_lit = -1;
    bool m_locked = false;
};

} // namespace

VESK_SCRIPT_ENTRY(source_selector);
