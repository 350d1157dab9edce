// State devices, addressed by the G-family lines: indices each on or off (off until set). Its
// file has [Device] kind=state, [Database] DatabaseSize_0 indices and [States] index=on|off|1|0
// for its start state. Changes and polls reach scripts as secondary revertives (kind 6), "1"
// for on, "0" for off.
#include "emulated_host.h"
#include "file_check.h"
#include "scenario_parser.h"
#include "scenario_runner.h"
#include "vesk_script_export.h"

namespace vesk_host {

extern const device_type stateDeviceType;

namespace {

class state_device : public device {
public:
    state_device(int number, std::string name) : device(stateDeviceType, number, std::move(name)) {}

    int indices = 0;
    std::map<int, bool> states;

    bool on(int index) const {
        auto found = states.find(index);
        return found != states.end() && found->second;
    }

    int size() const override { return indices; }
    bool report(int index, std::string& text) const override {
        text = on(index) ? "1" : "0";
        return true;
    }
    bool holds(int index) const override { return on(index); }

    // The index `index` goes on for a `number` other than 0, off for 0.
    bool request(const device_change& change, std::string& why) override {
        if (!validIndex(change.index)) {
            why = "state device " + std::to_string(number()) + " has indices 1 to " +
                  std::to_string(indices) + "; no index " + std::to_string(change.index);
            return false;
        }
        bool set = change.number != 0;
        states[change.index] = set;
        changed(change.index, std::to_string(number()) + ": index " + std::to_string(change.index) +
                                  " now " + (set ? "on" : "off"));
        return true;
    }

    std::string shown() const override {
        std::string state = std::to_string(number()) + " " + name() + " (" +
                            std::to_string(indices) + " indices) on:";
        for (const auto& index : states) {
            if (index.second) {
                state += " " + std::to_string(index.first);
            }
        }
        return state;
    }

    void page(page_writer& out) const override {
        out.list("indices");
        for (int i = 1; i <= indices; ++i) {
            out.record();
            out.number("index", i);
            out.flag("on", on(i));
            out.end();
        }
        out.end();
    }

    // Only the indices that are on: one going on or off is a change, one set off that was
    // never on is none.
    std::map<int, std::string> recorded() const override {
        std::map<int, std::string> held;
        for (const auto& index : states) {
            if (index.second) {
                held[index.first] = "on";
            }
        }
        return held;
    }

    scenario_check expectation(int index) const override {
        scenario_check check;
        check.line = "expect state " + std::to_string(number()) + " " + std::to_string(index) +
                     (on(index) ? " on" : " off");
        return check;
    }
};

std::unique_ptr<device> load(const std::string& path, int number, const std::string& name) {
    std::unique_ptr<state_device> g(new state_device(number, name));
    std::map<int, std::string> states;
    g->indices = readNumbered(path, "States", "DatabaseSize_0", states);
    for (const auto& each : states) {
        if (g->validIndex(each.first)) {
            g->states[each.first] = each.second == "1" || each.second == "on";
        }
    }
    return std::unique_ptr<device>(g.release());
}

void check(file_check& f) {
    if (const ini_section* s = checkOneDatabase(f, "States", "index")) {
        for (const ini_line& e : s->entries) {
            const std::string& v = e.value;
            if (v != "on" && v != "off" && v != "1" && v != "0") {
                f.finding(e.number, "state " + e.key + "=" + e.value +
                                        " is not on, off, 1 or 0 (it is read as off)");
            }
        }
    }
}

int number(const step& s, std::size_t i) {
    return static_cast<int>(s.numbers[i]);
}

void set(scenario_runner& r, const step& s, bool on) {
    std::string why;
    if (!r.host().change(number(s, 0), verb_family::g_family,
                         device_change{number(s, 1), on ? 1 : 0, std::string()}, why)) {
        r.fail(s, why);
    }
}

void stateOn(scenario_runner& r, const step& s, script_slot*) {
    set(r, s, true);
}

void stateOff(scenario_runner& r, const step& s, script_slot*) {
    set(r, s, false);
}

void checkState(scenario_runner& r, const step& s, bool on) {
    int device = number(s, 0);
    int index = number(s, 1);
    std::string wanted = "expected state device " + std::to_string(device) + " index " +
                         std::to_string(index) + (on ? " on" : " off") + ", got ";
    // Any device of the G-family lines answers.
    const vesk_host::device* found = r.host().system().findFor(verb_family::g_family, device);
    if (found == nullptr || !found->validIndex(index)) {
        r.record(s, false, wanted + (found == nullptr ? "no such state device" : "no such index"));
        return;
    }
    r.record(s, found->holds(index) == on, wanted + (found->holds(index) ? "on" : "off"));
}

void expectOn(scenario_runner& r, const step& s, script_slot*) {
    checkState(r, s, true);
}

void expectOff(scenario_runner& r, const step& s, script_slot*) {
    checkState(r, s, false);
}

const scenario_command commands[] = {
    {"state", "i i on", "state DEVICE INDEX on",
     "a state device's index set elsewhere; registered scripts hear (kind 6)",
     scenario_role::system, stateOn},
    {"state", "i i off", "state DEVICE INDEX off", "the same, set off", scenario_role::system,
     stateOff},
    {"expect state", "i i on", "expect state DEVICE INDEX on",
     "the index of the state device is on", scenario_role::expectation, expectOn},
    {"expect state", "i i off", "expect state DEVICE INDEX off",
     "the index of the state device is off", scenario_role::expectation, expectOff},
};

} // namespace

const device_type stateDeviceType = {"state",
                                     "state device",
                                     "index",
                                     "device",
                                     verb_family::g_family,
                                     VESK_EVENT_SECONDARY_REVERTIVE,
                                     load,
                                     check,
                                     commands,
                                     sizeof commands / sizeof commands[0]};

} // namespace vesk_host
