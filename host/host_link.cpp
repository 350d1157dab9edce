#include "host_link.h"

#include <algorithm>
#include <cstring>

#include "emulated_host.h"
#include "vesk_script_export.h"

namespace vesk_host {

namespace {

bool isPropertyName(const std::string& name) {
    return !name.empty() && name.find(' ') == std::string::npos;
}

std::string propertyOr(const control& c, const char* name, const char* fallback) {
    const std::string* value = c.property(name);
    return value != nullptr ? *value : fallback;
}

} // namespace

// Every verb of the index. Verbs without a handler are recorded and answered null.
const host_link::verb host_link::verbs[] = {
    {"PS", "tt?t", "PS 'panel' 'file' ['extra']", &host_link::showPanel},
    {"PI", "tt?t", "PI 'panel' 'file' ['extra']", &host_link::showPanel},
    {"PT", "tt", "PT 'panel' 'text'", &host_link::panelLine},
    {"PP", "ttnnt", "PP 'panel' 'file' x y 'text'", &host_link::panelLine},
    {"PR", "t", "PR 'panel'", &host_link::panelLine},
    {"PD", "t", "PD 'panel'", &host_link::destroyPanel},
    {"TP", "ttt", "TP 'text' 'panel' 'control'", &host_link::putText},
    {"TG", "ttt", "TG 'panel' 'control' 'property'", &host_link::getText},
    {"CE", "tt", "CE 'panel' 'control'", &host_link::controlState},
    {"CD", "tt", "CD 'panel' 'control'", &host_link::controlState},
    {"CS", "tt", "CS 'panel' 'control'", &host_link::controlState},
    {"CH", "tt", "CH 'panel' 'control'", &host_link::controlState},
    {"CM", "ttnn", "CM 'panel' 'control' x y", &host_link::moveControl},
    {"CP", "tt", "CP 'panel' 'control'", &host_link::controlPosition},
    {"CC", "tttnnnnt", "CC 'panel' 'control' 'kind' x y width height 'text'",
     &host_link::createControl},
    {"CX", "tt", "CX 'panel' 'control'", &host_link::controlExists},
    {"RN", "nnn", "RN device database index", &host_link::routerName},
    {"RI", "nnt", "RI device database 'name'", &host_link::routerIndex},
    {"RC", "nnn?tn", "RC device source destination ',text' flag", &host_link::crosspoint},
    {"RR", "nnn?t", "RR device first last ['ADD']", &host_link::registerRouter},
    {"RU", "n", "RU device", &host_link::unregisterRouter},
    {"RP", "nnn", "RP device first last", &host_link::pollRouter},
    {"RQ", nullptr, nullptr, nullptr},
    {"RM", nullptr, nullptr, nullptr},
    {"IR", nullptr, nullptr, nullptr},
    {"IU", nullptr, nullptr, nullptr},
    {"IP", nullptr, nullptr, nullptr},
    {"IQ", nullptr, nullptr, nullptr},
    {"IW", nullptr, nullptr, nullptr},
    {"GR", nullptr, nullptr, nullptr},
    {"GU", nullptr, nullptr, nullptr},
    {"GP", nullptr, nullptr, nullptr},
    {"GQ", nullptr, nullptr, nullptr},
    {"GS", nullptr, nullptr, nullptr},
    {"ET", "n?n", "ET id [interval]", &host_link::timerLine},
    {"ES", nullptr, nullptr, nullptr},
    {"EG", nullptr, nullptr, nullptr},
    {"EC", nullptr, nullptr, nullptr},
    {"HN", nullptr, nullptr, nullptr},
    {"HG", nullptr, nullptr, nullptr},
    {"HH", nullptr, nullptr, nullptr},
    {"HP", nullptr, nullptr, nullptr},
    {"HQ", nullptr, nullptr, nullptr},
    {"NA", nullptr, nullptr, nullptr},
    {"NX", nullptr, nullptr, nullptr},
    {"NIX", "t", "NIX 'name'", &host_link::networkLookup},
    {"NIA", "t", "NIA 'name'", &host_link::networkLookup},
    {"SS", "tt", "SS 'instance' 'name'", &host_link::slotLookup},
    {"SD", "t", "SD 'instance'", &host_link::instanceLookup},
    {"XI", "tt", "XI 'panel' 'prefix'", &host_link::listControls},
    {"AS", nullptr, nullptr, nullptr},
    {"AD", nullptr, nullptr, nullptr},
    {"AP", nullptr, nullptr, nullptr},
    {"HI", "", "HI", &host_link::hostInfo},
};

host_link::host_link(emulated_host& host, std::string name, script_record& record)
    : m_host(host), m_name(std::move(name)), m_record(record) {}

void host_link::beginLife() {
    m_alive = true;
    m_panels.clear();
    m_timers.clear();
    m_registrations.clear();
}

void host_link::endLife() {
    m_alive = false;
    m_panels.clear();
    m_timers.clear();
    m_registrations.clear();
}

char* host_link::callback(char* argument, int kind) {
    try {
        if (kind == VESK_LINK_SEND) {
            if (argument == nullptr) {
                m_host.reportProblem(*this, "sent a null command line");
                return nullptr;
            }
            std::string line(argument);
            m_record.sent.push_back(line);
            m_host.note(*this, "out", line);
            return carryOut(line);
        }
        if (kind == VESK_LINK_RELEASE) {
            std::string problem = m_ledger.takeBack(argument);
            if (!problem.empty()) {
                m_host.reportProblem(*this, problem);
            }
            return nullptr;
        }
        m_host.reportProblem(*this, "called the host link with kind " + std::to_string(kind) +
                                        "; the host takes only 0 (send) and 5 (release)");
    } catch (...) {
        // Out of memory while keeping the record: the script must not see an exception.
    }
    return nullptr;
}

char* host_link::carryOut(const std::string& line) {
    command_line c = parseCommandLine(line);
    for (const verb& v : verbs) {
        if (c.verb != v.name) {
            continue;
        }
        if (v.run == nullptr) {
            return nullptr;
        }
        if (!c.matches(v.shape)) {
            note("cannot read this line; its form is " + std::string(v.usage));
            return nullptr;
        }
        char* reply = (this->*v.run)(c, line);
        if (reply != nullptr) {
            m_host.note(*this, "reply", reply);
        }
        return reply;
    }
    note("unknown verb '" + c.verb + "'");
    return nullptr;
}

void host_link::note(const std::string& text) {
    m_host.note(*this, "host", text);
}

bool host_link::registeredFor(int device, int destination) const {
    auto found = m_registrations.find(device);
    if (found == m_registrations.end()) {
        return false;
    }
    for (const auto& range : found->second) {
        if (destination >= range.first && destination <= range.second) {
            return true;
        }
    }
    return false;
}

panel_layout* host_link::openPanel(const std::string& panel) {
    auto found = m_panels.find(panel);
    if (found == m_panels.end()) {
        note("panel " + panel + " is not open");
        return nullptr;
    }
    return &found->second;
}

control* host_link::findControl(const std::string& panel, const std::string& id) {
    panel_layout* layout = openPanel(panel);
    if (layout == nullptr) {
        return nullptr;
    }
    control* found = layout->find(id);
    if (found == nullptr) {
        note("panel " + panel + " has no control '" + id + "'");
    }
    return found;
}

router* host_link::findRouter(int device) {
    router* r = m_host.system().findRouter(device);
    if (r == nullptr) {
        note("the system has no device " + std::to_string(device));
    }
    return r;
}

// ---- Panels ----

char* host_link::showPanel(const command_line& c, const std::string& line) {
    panel_layout layout;
    std::string why;
    if (!m_host.system().loadPanel(c.text(1), layout, why)) {
        note(why);
        return nullptr;
    }
    std::string ids;
    for (const control& each : layout.controls) {
        ids += (ids.empty() ? "" : ", ") + each.id;
    }
    note("panel " + c.text(0) + " shows " + c.text(1) + " (" + ids + ")");
    m_panels[c.text(0)] = layout;
    return m_ledger.acknowledge(line);
}

char* host_link::panelLine(const command_line& c, const std::string& line) {
    panel_layout* layout = openPanel(c.text(0));
    if (layout == nullptr) {
        return nullptr;
    }
    if (c.verb == "PT") {
        layout->title = c.text(1);
    }
    return m_ledger.acknowledge(line);
}

char* host_link::destroyPanel(const command_line& c, const std::string& line) {
    if (openPanel(c.text(0)) == nullptr) {
        return nullptr;
    }
    m_panels.erase(c.text(0));
    note("panel " + c.text(0) + " closed");
    return m_ledger.acknowledge(line);
}

// ---- Controls ----

char* host_link::putText(const command_line& c, const std::string&) {
    control* target = findControl(c.text(1), c.text(2));
    if (target == nullptr) {
        return nullptr;
    }
    // "name=value" sets that property; anything else is the control's text.
    const std::string& text = c.text(0);
    std::size_t equals = text.find('=');
    if (equals != std::string::npos && isPropertyName(text.substr(0, equals))) {
        target->set(text.substr(0, equals), text.substr(equals + 1));
    } else {
        target->set("text", text);
    }
    return nullptr;
}

char* host_link::getText(const command_line& c, const std::string& line) {
    const control* source = findControl(c.text(0), c.text(1));
    if (source == nullptr) {
        return nullptr;
    }
    const std::string& name = c.text(2);
    if (name == "all") {
        std::string all;
        for (const auto& p : source->properties) {
            all += (all.empty() ? "" : "\n") + p.first + "=" + p.second;
        }
        return m_ledger.handOut(all, line);
    }
    const std::string* value = source->property(name);
    return m_ledger.handOut(name + "=" + (value != nullptr ? *value : std::string()), line);
}

char* host_link::controlState(const command_line& c, const std::string&) {
    control* target = findControl(c.text(0), c.text(1));
    if (target != nullptr) {
        bool enable = c.verb == "CE" || c.verb == "CS";
        target->set(c.verb == "CE" || c.verb == "CD" ? "enabled" : "visible", enable ? "1" : "0");
    }
    return nullptr;
}

char* host_link::moveControl(const command_line& c, const std::string&) {
    control* target = findControl(c.text(0), c.text(1));
    if (target != nullptr) {
        target->set("x", c.text(2));
        target->set("y", c.text(3));
    }
    return nullptr;
}

char* host_link::controlPosition(const command_line& c, const std::string& line) {
    const control* source = findControl(c.text(0), c.text(1));
    if (source == nullptr) {
        return nullptr;
    }
    return m_ledger.handOut(propertyOr(*source, "x", "0") + "." + propertyOr(*source, "y", "0"),
                            line);
}

char* host_link::createControl(const command_line& c, const std::string& line) {
    panel_layout* layout = openPanel(c.text(0));
    if (layout == nullptr) {
        return nullptr;
    }
    control made;
    made.id = c.text(1);
    made.properties = {{"kind", c.text(2)},  {"x", c.text(3)},      {"y", c.text(4)},
                       {"width", c.text(5)}, {"height", c.text(6)}, {"text", c.text(7)}};
    control* existing = layout->find(made.id);
    if (existing != nullptr) {
        *existing = made;
    } else {
        layout->controls.push_back(made);
    }
    return m_ledger.handOut(made.id, line);
}

char* host_link::controlExists(const command_line& c, const std::string& line) {
    auto found = m_panels.find(c.text(0));
    if (found == m_panels.end() || found->second.find(c.text(1)) == nullptr) {
        return nullptr;
    }
    return m_ledger.acknowledge(line);
}

char* host_link::listControls(const command_line& c, const std::string& line) {
    const panel_layout* layout = openPanel(c.text(0));
    if (layout == nullptr) {
        return nullptr;
    }
    std::string ids;
    bool first = true;
    for (const control& each : layout->controls) {
        if (each.id.compare(0, c.text(1).size(), c.text(1)) == 0) {
            ids += (first ? "" : ",") + each.id;
            first = false;
        }
    }
    return m_ledger.handOut(ids, line);
}

// ---- Routers ----

char* host_link::routerName(const command_line& c, const std::string& line) {
    const router* r = findRouter(c.number(0));
    int database = c.number(1);
    int index = c.number(2);
    if (r == nullptr) {
        return nullptr;
    }
    if (database == 0 && r->validSource(index)) {
        return m_ledger.handOut(r->sourceName(index), line);
    }
    if (database == 1 && r->validDestination(index)) {
        return m_ledger.handOut(r->destinationName(index), line);
    }
    note("router " + std::to_string(r->device) + " has no index " + std::to_string(index) +
         " in database " + std::to_string(database) + " (0 sources, 1 destinations)");
    return nullptr;
}

char* host_link::routerIndex(const command_line& c, const std::string& line) {
    const router* r = findRouter(c.number(0));
    if (r == nullptr) {
        return nullptr;
    }
    int index = r->indexOf(c.number(1), c.text(2));
    if (index == 0) {
        note("router " + std::to_string(r->device) + " has no '" + c.text(2) + "' in database " +
             std::to_string(c.number(1)));
        return nullptr;
    }
    return m_ledger.handOut(std::to_string(index), line);
}

char* host_link::crosspoint(const command_line& c, const std::string&) {
    std::string why;
    if (!m_host.switchRouter(c.number(0), c.number(1), c.number(2), why)) {
        note(why);
    }
    return nullptr;
}

char* host_link::registerRouter(const command_line& c, const std::string&) {
    bool add = c.operands.size() == 4;
    if (add && c.text(3) != "ADD") {
        note("the fourth operand of RR can only be 'ADD'");
        return nullptr;
    }
    if (findRouter(c.number(0)) == nullptr) {
        return nullptr;
    }
    auto& ranges = m_registrations[c.number(0)];
    if (!add) {
        ranges.clear();
    }
    ranges.emplace_back(std::min(c.number(1), c.number(2)), std::max(c.number(1), c.number(2)));
    return nullptr;
}

char* host_link::unregisterRouter(const command_line& c, const std::string&) {
    m_registrations.erase(c.number(0));
    return nullptr;
}

char* host_link::pollRouter(const command_line& c, const std::string&) {
    const router* r = findRouter(c.number(0));
    if (r == nullptr) {
        return nullptr;
    }
    int first = std::max(1, std::min(c.number(1), c.number(2)));
    int last = std::min(r->destinations, std::max(c.number(1), c.number(2)));
    if (first > last) {
        note("router " + std::to_string(r->device) + " has no destination in that range");
    }
    for (int d = first; d <= last; ++d) {
        auto on = r->crosspoints.find(d);
        if (on != r->crosspoints.end()) {
            m_host.queueRevertive(*this, r->device, d, r->sourceName(on->second));
        }
    }
    return nullptr;
}

// ---- Lookups, host and network ----

char* host_link::instanceLookup(const command_line& c, const std::string& line) {
    std::string entry = m_host.system().instance(c.text(0));
    if (entry.empty()) {
        note("no instance '" + c.text(0) + "'");
        return nullptr;
    }
    return m_ledger.handOut(entry, line);
}

char* host_link::slotLookup(const command_line& c, const std::string& line) {
    std::string entry = m_host.system().instance(c.text(0));
    command_line numbers = parseCommandLine("SD " + entry);
    if (entry.empty() || !numbers.matches("n?n")) {
        note("no instance '" + c.text(0) + "' with a device number");
        return nullptr;
    }
    int offset = numbers.operands.size() > 1 ? numbers.number(1) : 0;
    const router* r = findRouter(numbers.number(0));
    if (r == nullptr) {
        return nullptr;
    }
    int index = r->indexOf(1, c.text(1));
    if (index == 0) {
        index = r->indexOf(0, c.text(1));
    }
    if (index == 0) {
        note("router " + std::to_string(r->device) + " has no '" + c.text(1) + "'");
        return nullptr;
    }
    // Device, offset and index (the script adds the two), type 3 for a router, the name.
    return m_ledger.handOut(std::to_string(r->device) + " " + std::to_string(offset) + " " +
                                std::to_string(index) + " 3 '" + c.text(1) + "'",
                            line);
}

char* host_link::hostInfo(const command_line&, const std::string& line) {
    return m_ledger.handOut(m_host.system().hostInfo(), line);
}

char* host_link::networkLookup(const command_line& c, const std::string& line) {
    if (!m_host.system().networkKnows(c.text(0))) {
        note("the network has no '" + c.text(0) + "'");
        return nullptr;
    }
    return m_ledger.acknowledge(line);
}

// ---- Timers ----

char* host_link::timerLine(const command_line& c, const std::string&) {
    int id = c.number(0);
    if (c.operands.size() == 1) {
        if (m_timers.erase(id) == 0) {
            note("timer " + std::to_string(id) + " was not running");
        }
        return nullptr;
    }
    int interval = c.number(1);
    if (interval <= 0) {
        note("timer " + std::to_string(id) + " not started: the interval must be positive");
        return nullptr;
    }
    timer& t = m_timers[id];
    t.interval = interval;
    t.due = m_host.now() + interval;
    t.order = m_host.nextTimerOrder();
    return nullptr;
}

} // namespace vesk_host
