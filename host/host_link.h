// The host link one script talks through: it answers the command lines of the verb index from
// the simulated system, records every line for the scenario's expectations, and keeps the books
// on every reply.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "command_line.h"
#include "reply_ledger.h"
#include "system_model.h"
#include "vesk_client_callback.h"

namespace vesk_host {

class emulated_host;

// What a scenario checks about one script: lines sent and debug text written since the last
// block of expectations about it, and the answer to the last parent text.
struct script_record {
    std::vector<std::string> sent;
    std::size_t sentChecked = 0;
    std::string debugText;
    bool expected = false; // an expectation looked at this script since its last event
    bool parentGiven = false;
    bool answered = false;
    std::string answer;
};

class host_link : public vesk_client_callback {
public:
    // `record` is the script slot's and outlives the link.
    host_link(emulated_host& host, std::string name, script_record& record);

    // Kind 0 carries out one line and answers null, an acknowledgement or reply text; kind 5
    // takes reply text back. `argument` is the script's, read only during the call. Never
    // throws into the script.
    char* callback(char* argument, int kind) override;

    const std::string& name() const { return m_name; }

    // A new script object starts on this link with nothing open, started or registered. The
    // record of lines and debug output and the books on earlier replies carry on.
    void beginLife();
    void endLife();
    bool alive() const { return m_alive; }

    struct timer {
        int interval = 0;
        long long due = 0;
        long long order = 0; // start order, to fire timers due together in a stable order
    };
    std::map<int, timer>& timers() { return m_timers; }
    const std::map<std::string, panel_layout>& panels() const { return m_panels; }
    bool registeredFor(int device, int destination) const;

    reply_ledger& ledger() { return m_ledger; }

private:
    using handler = char* (host_link::*)(const command_line& c, const std::string& line);

    char* carryOut(const std::string& line);
    void note(const std::string& text);
    // The panel and control a line names; null, with a note, when there is none.
    panel_layout* openPanel(const std::string& panel);
    control* findControl(const std::string& panel, const std::string& id);
    router* findRouter(int device);

    char* showPanel(const command_line& c, const std::string& line);
    char* panelLine(const command_line& c, const std::string& line);
    char* destroyPanel(const command_line& c, const std::string& line);
    char* putText(const command_line& c, const std::string& line);
    char* getText(const command_line& c, const std::string& line);
    char* controlState(const command_line& c, const std::string& line);
    char* moveControl(const command_line& c, const std::string& line);
    char* controlPosition(const command_line& c, const std::string& line);
    char* createControl(const command_line& c, const std::string& line);
    char* controlExists(const command_line& c, const std::string& line);
    char* listControls(const command_line& c, const std::string& line);
    char* routerName(const command_line& c, const std::string& line);
    char* routerIndex(const command_line& c, const std::string& line);
    char* crosspoint(const command_line& c, const std::string& line);
    char* registerRouter(const command_line& c, const std::string& line);
    char* unregisterRouter(const command_line& c, const std::string& line);
    char* pollRouter(const command_line& c, const std::string& line);
    char* instanceLookup(const command_line& c, const std::string& line);
    char* slotLookup(const command_line& c, const std::string& line);
    char* hostInfo(const command_line& c, const std::string& line);
    char* networkLookup(const command_line& c, const std::string& line);
    char* timerLine(const command_line& c, const std::string& line);

    struct verb {
        const char* name;
        const char* shape; // operands, as command_line::matches reads them
        const char* usage;
        handler run; // null: recorded, answered null
    };
    static const verb verbs[];

    emulated_host& m_host;
    std::string m_name;
    script_record& m_record;
    bool m_alive = false;
    reply_ledger m_ledger;
    std::map<std::string, panel_layout> m_panels;
    std::map<int, timer> m_timers;
    std::map<int, std::vector<std::pair<int, int>>> m_registrations;
};

} // namespace vesk_host
