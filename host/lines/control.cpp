// Control lines: state, position and creation of the controls of an open panel.
#include "emulated_host.h"
#include "line_call.h"

namespace vesk_host {

namespace {

std::string propertyOr(const control& c, const char* name, const char* fallback) {
    const std::string* value = c.property(name);
    return value != nullptr ? *value : fallback;
}

} // namespace

char* controlState(const line_call& call) {
    control* target = call.findControl(call.c.text(0), call.c.text(1));
    if (target != nullptr) {
        const std::string& verb = call.c.verb;
        bool enable = verb == "CE" || verb == "CS";
        target->set(verb == "CE" || verb == "CD" ? "enabled" : "visible", enable ? "1" : "0");
    }
    return nullptr;
}

char* moveControl(const line_call& call) {
    control* target = call.findControl(call.c.text(0), call.c.text(1));
    if (target != nullptr) {
        target->set("x", call.c.text(2));
        target->set("y", call.c.text(3));
    }
    return nullptr;
}

char* controlPosition(const line_call& call) {
    const control* source = call.findControl(call.c.text(0), call.c.text(1));
    if (source == nullptr) {
        return nullptr;
    }
    return call.handOut(propertyOr(*source, "x", "0") + "." + propertyOr(*source, "y", "0"));
}

char* createControl(const line_call& call) {
    const command_line& c = call.c;
    panel_layout* layout = call.openPanel(c.text(0));
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
    return call.handOut(made.id);
}

char* controlExists(const line_call& call) {
    const auto& panels = call.slot.state.panels;
    auto found = panels.find(call.c.text(0));
    if (found == panels.end() || found->second.find(call.c.text(1)) == nullptr) {
        return nullptr;
    }
    return call.acknowledge();
}

} // namespace vesk_host
