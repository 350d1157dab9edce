// Routers: the kind a device file without a kind is. Its file has [Database] DatabaseSize_0
// sources and DatabaseSize_1 destinations (otherwise the highest numbers named), [Sources] and
// [Destinations] names, [Crosspoints] destination=source for its start state, and [Device]
// switch_delay. Switches and polls reach scripts as revertives (kind 1) with the source's name.
#include "router.h"

#include <algorithm>
#include <climits>
#include <utility>
#include <vector>

#include "emulated_host.h"
#include "file_check.h"
#include "ini_files.h"
#include "scenario_parser.h"
#include "scenario_runner.h"
#include "vesk_script_export.h"

namespace vesk_host {

std::string router::sourceName(int index) const {
    auto found = sourceNames.find(index);
    return found != sourceNames.end() ? found->second : "Source " + std::to_string(index);
}

std::string router::destinationName(int index) const {
    auto found = destinationNames.find(index);
    return found != destinationNames.end() ? found->second : "Destination " + std::to_string(index);
}

int router::sourceOf(int destination) const {
    auto on = crosspoints.find(destination);
    return on != crosspoints.end() ? on->second : 0;
}

int router::indexOf(int database, const std::string& wanted) const {
    int count = database == 0 ? sources : destinations;
    for (int i = 1; i <= count; ++i) {
        if ((database == 0 ? sourceName(i) : destinationName(i)) == wanted) {
            return i;
        }
    }
    return 0;
}

bool router::report(int index, std::string& text) const {
    int source = sourceOf(index);
    text = source != 0 ? sourceName(source) : std::string();
    return source != 0;
}

std::string router::destinationSaid(int destination) const {
    return std::to_string(number()) + ": " + destinationName(destination) + " (" +
           std::to_string(destination) + ")";
}

std::string router::sourceSaid(int source) const {
    return sourceName(source) + " (" + std::to_string(source) + ")";
}

void router::make(int destination, int source) {
    if (locked.count(destination) != 0) {
        noted(destinationSaid(destination) + " is locked: the switch to " + sourceSaid(source) +
              " is refused");
        return;
    }
    crosspoints[destination] = source;
    changed(destination, destinationSaid(destination) + " now on " + sourceSaid(source));
}

bool router::outOfRange(int source, int destination, std::string& why) const {
    if (validSource(source) && validDestination(destination)) {
        return false;
    }
    why = "router " + std::to_string(number()) + " has sources 1 to " + std::to_string(sources) +
          " and destinations 1 to " + std::to_string(destinations) + "; no switch of source " +
          std::to_string(source) + " to destination " + std::to_string(destination);
    return true;
}

bool router::request(const device_change& change, std::string& why) {
    int source = change.number;
    int destination = change.index;
    if (outOfRange(source, destination, why)) {
        return false;
    }
    if (change.byScript && switchDelay > 0 && locked.count(destination) == 0) {
        pending_switch next{source, change.now + switchDelay, ++m_asked};
        auto was = pending.find(destination);
        std::string instead =
            was == pending.end() ? std::string()
                                 : ", in place of the switch to " + sourceSaid(was->second.source) +
                                       " due at " + std::to_string(was->second.due) + " ms";
        pending[destination] = next;
        noted(destinationSaid(destination) + " to go on " + sourceSaid(source) + " at " +
              std::to_string(next.due) + " ms (switch_delay " + std::to_string(switchDelay) +
              " ms)" + instead);
        return true;
    }
    make(destination, source);
    return true;
}

long long router::nextDue() const {
    long long next = -1;
    for (const auto& p : pending) {
        if (next < 0 || p.second.due < next) {
            next = p.second.due;
        }
    }
    return next;
}

void router::makeDue(long long now) {
    // Taken out first, in the order they fall due (then the order asked in): making one asks
    // for nothing more, so none joins while they are made.
    std::vector<std::pair<int, pending_switch>> due;
    for (auto p = pending.begin(); p != pending.end();) {
        if (p->second.due <= now) {
            due.emplace_back(p->first, p->second);
            p = pending.erase(p);
        } else {
            ++p;
        }
    }
    std::sort(due.begin(), due.end(), [](const auto& a, const auto& b) {
        return a.second.due != b.second.due ? a.second.due < b.second.due
                                            : a.second.order < b.second.order;
    });
    for (const auto& d : due) {
        make(d.first, d.second.source);
    }
}

void router::lock(int destination, bool on) {
    bool was = locked.count(destination) != 0;
    if (on) {
        locked.insert(destination);
    } else {
        locked.erase(destination);
    }
    noted(destinationSaid(destination) + (was == on ? " stays " : " now ") +
          (on ? "locked" : "unlocked"));
}

std::string router::shown() const {
    std::string state = std::to_string(number()) + " " + name() + ":";
    for (const auto& x : crosspoints) {
        state += "\n" + destinationName(x.first) + " (" + std::to_string(x.first) + ") <- " +
                 sourceSaid(x.second) + (locked.count(x.first) != 0 ? ", locked" : "");
    }
    for (const auto& p : pending) {
        state += "\n" + destinationName(p.first) + " (" + std::to_string(p.first) +
                 ") pending: " + sourceSaid(p.second.source) + " at " +
                 std::to_string(p.second.due) + " ms";
    }
    for (int d : locked) {
        if (crosspoints.count(d) == 0) {
            state += "\n" + destinationName(d) + " (" + std::to_string(d) + "), locked";
        }
    }
    return state;
}

void router::page(page_writer& out) const {
    out.list("sources");
    for (int i = 1; i <= sources; ++i) {
        out.item(sourceName(i));
    }
    out.end();
    out.list("destinations");
    for (int d = 1; d <= destinations; ++d) {
        int source = sourceOf(d);
        out.record();
        out.number("index", d);
        out.text("name", destinationName(d));
        out.number("source", source);
        out.text("sourceName", source > 0 ? sourceName(source) : "");
        out.end();
    }
    out.end();
    out.list("locked");
    for (int d : locked) {
        out.item(std::to_string(d));
    }
    out.end();
    out.list("pending");
    for (const auto& p : pending) {
        out.record();
        out.number("destination", p.first);
        out.number("source", p.second.source);
        // Milliseconds of the virtual clock: within an int for any run of under 24 days.
        out.number("due", static_cast<int>(std::min<long long>(p.second.due, INT_MAX)));
        out.end();
    }
    out.end();
}

std::map<int, std::string> router::recorded() const {
    std::map<int, std::string> held;
    for (const auto& x : crosspoints) {
        held[x.first] = std::to_string(x.second);
    }
    return held;
}

scenario_check router::expectation(int index) const {
    scenario_check check;
    check.line = "expect crosspoint " + std::to_string(number()) + " " +
                 std::to_string(sourceOf(index)) + " " + std::to_string(index);
    return check;
}

namespace {

// A switch delay in ms; -1 when the text is not one.
int switchDelayOf(const std::string& text) {
    int delay = numberOr(text, -1);
    return delay >= 0 ? delay : -1;
}

std::unique_ptr<device> load(const std::string& path, int number, const std::string& name) {
    std::unique_ptr<router> r(new router(number, name));
    r->sources = readNumbered(path, "Sources", "DatabaseSize_0", r->sourceNames);
    r->destinations = readNumbered(path, "Destinations", "DatabaseSize_1", r->destinationNames);
    // One the check finds fault with switches at once.
    r->switchDelay = std::max(0, switchDelayOf(iniValue(path, "Device", "switch_delay", "0")));
    for (int d = 1; d <= r->destinations && r->sources > 0; ++d) {
        r->crosspoints[d] = 1;
    }
    for (const auto& each : iniSection(path, "Crosspoints")) {
        int destination = numberOr(each.first, 0);
        int source = numberOr(each.second, 0);
        if (r->validDestination(destination) && r->validSource(source)) {
            r->crosspoints[destination] = source;
        }
    }
    return std::unique_ptr<device>(r.release());
}

void check(file_check& f) {
    f.onlySections({"Device", "Database", "Sources", "Destinations", "Crosspoints"});
    f.required("Sources");
    f.required("Destinations");
    if (const ini_line* delay = key(f.section("Device"), "switch_delay")) {
        if (switchDelayOf(delay->value) < 0) {
            f.finding(delay->number, "switch_delay '" + delay->value +
                                         "' is not a whole number of milliseconds from 0 to " +
                                         std::to_string(INT_MAX) +
                                         " (the router switches at once)");
        }
    }
    int sourceSize = 0;
    int destinationSize = 0;
    if (const ini_section* s = f.section("Database")) {
        f.onlyKeys(*s, {"DatabaseSize_0", "DatabaseSize_1"});
        for (const ini_line& e : s->entries) {
            int size = checkDatabaseSize(f, e);
            (lower(e.key) == "databasesize_0" ? sourceSize : destinationSize) = size;
        }
    }
    int sources = checkNumbered(f, f.section("Sources"), sourceSize, "source");
    int destinations = checkNumbered(f, f.section("Destinations"), destinationSize, "destination");
    if (const ini_section* s = f.section("Crosspoints")) {
        for (const ini_line& e : s->entries) {
            int destination = numberOr(e.key, 0);
            int source = numberOr(e.value, 0);
            if (destination < 1 || destination > destinations) {
                f.finding(e.number, "crosspoint " + e.key + "=" + e.value +
                                        ": the router has destinations 1 to " +
                                        std::to_string(destinations));
            } else if (source < 1 || source > sources) {
                f.finding(e.number, "crosspoint " + e.key + "=" + e.value +
                                        ": the router has sources 1 to " + std::to_string(sources) +
                                        " (the destination would start on source 1)");
            }
        }
    }
}

int number(const step& s, std::size_t i) {
    return static_cast<int>(s.numbers[i]);
}

void route(scenario_runner& r, const step& s, script_slot*) {
    std::string why;
    if (!r.host().change(number(s, 0), verb_family::router,
                         device_change{number(s, 2), number(s, 1), std::string()}, why)) {
        r.fail(s, why);
    }
}

void expectCrosspoint(scenario_runner& r, const step& s, script_slot*) {
    int device = number(s, 0);
    int source = number(s, 1);
    int destination = number(s, 2);
    std::string wanted = "expected router " + std::to_string(device) + " destination " +
                         std::to_string(destination) + " on source " + std::to_string(source) +
                         ", got ";
    const router* found = r.host().system().findAs<router>(device);
    if (found == nullptr || !found->validDestination(destination)) {
        r.record(s, false, wanted + (found == nullptr ? "no such device" : "no such destination"));
        return;
    }
    int on = found->sourceOf(destination);
    // What explains a switch not made yet.
    std::string why;
    auto due = found->pending.find(destination);
    if (due != found->pending.end()) {
        why += "; a switch to source " + std::to_string(due->second.source) + " is due at " +
               std::to_string(due->second.due) + " ms";
    }
    if (found->locked.count(destination) != 0) {
        why += "; the destination is locked";
    }
    r.record(s, on == source,
             wanted + "source " + std::to_string(on) + " (" + found->sourceName(on) + ")" + why);
}

// The router and destination a lock names; null, with the step failed, when there is none.
router* lockable(scenario_runner& r, const step& s) {
    int device = number(s, 0);
    int destination = number(s, 1);
    router* found = r.host().system().findAs<router>(device);
    if (found == nullptr) {
        r.fail(s, "the system has no router " + std::to_string(device));
    } else if (!found->validDestination(destination)) {
        r.fail(s, "router " + std::to_string(device) + " has destinations 1 to " +
                      std::to_string(found->destinations) + "; no destination " +
                      std::to_string(destination));
        found = nullptr;
    }
    return found;
}

void lock(scenario_runner& r, const step& s, script_slot*) {
    if (router* found = lockable(r, s)) {
        found->lock(number(s, 1), true);
    }
}

void unlock(scenario_runner& r, const step& s, script_slot*) {
    if (router* found = lockable(r, s)) {
        found->lock(number(s, 1), false);
    }
}

const scenario_command commands[] = {
    {"route", "i i i", "route DEVICE SOURCE DESTINATION",
     "switch made elsewhere; registered scripts hear", scenario_role::system, route},
    {"expect crosspoint", "i i i", "expect crosspoint DEVICE SOURCE DESTINATION",
     "the destination is on the source", scenario_role::expectation, expectCrosspoint},
    {"lock", "i i", "lock DEVICE DESTINATION",
     "the destination refuses every switch until unlocked", scenario_role::system, lock},
    {"unlock", "i i", "unlock DEVICE DESTINATION", "the destination switches again",
     scenario_role::system, unlock},
};

const char* const deviceKeys[] = {"switch_delay", nullptr};

} // namespace

const device_type routerType = {"router",
                                "router",
                                "destination",
                                "router",
                                verb_family::router,
                                VESK_EVENT_REVERTIVE,
                                load,
                                check,
                                commands,
                                sizeof commands / sizeof commands[0],
                                deviceKeys};

} // namespace vesk_host
