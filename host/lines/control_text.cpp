// Control text lines: "name=value" sets a property of a control, anything else its text.
#include "emulated_host.h"
#include "line_call.h"

namespace vesk_host {

namespace {

bool isPropertyName(const std::string& name) {
    return !name.empty() && name.find(' ') == std::string::npos;
}

} // namespace

char* putText(const line_call& call) {
    control* target = call.findControl(call.c.text(1), call.c.text(2));
    if (target == nullptr) {
        return nullptr;
    }
    const std::string& text = call.c.text(0);
    std::size_t equals = text.find('=');
    if (equals != std::string::npos && isPropertyName(text.substr(0, equals))) {
        target->set(text.substr(0, equals), text.substr(equals + 1));
    } else {
        target->set("text", text);
    }
    return nullptr;
}

char* getText(const line_call& call) {
    const control* source = call.findControl(call.c.text(0), call.c.text(1));
    if (source == nullptr) {
        return nullptr;
    }
    const std::string& name = call.c.text(2);
    if (name == "all") {
        std::string all;
        for (const auto& p : source->properties) {
            all += (all.empty() ? "" : "\n") + p.first + "=" + p.second;
        }
        return call.handOut(all);
    }
    const std::string* value = source->property(name);
    return call.handOut(name + "=" + (value != nullptr ? *value : std::string()));
}

} // namespace vesk_host
