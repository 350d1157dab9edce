#include "ember_bridge.h"

#include <set>

#include "devices/router.h"
#include "system_model.h"

namespace vesk_host {

using vesk_ember::connection_operation;
using vesk_ember::glow_value;
using vesk_ember::path;
using vesk_ember::provider;

namespace {

// `text` as the text operand of a scenario line; false when no line can carry it: the line's
// blanks at either end are trimmed, and other control characters have no escape.
bool lineText(const std::string& text, std::string& out) {
    out.clear();
    if (!text.empty() && (text.front() == ' ' || text.back() == ' ')) {
        return false;
    }
    for (char c : text) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            return false;
        } else {
            out += c;
        }
    }
    return true;
}

} // namespace

std::string emberIdentifier(const std::string& name, const std::string& fallback) {
    std::string out;
    for (char c : name) {
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
            out += c;
        } else if (c >= 'A' && c <= 'Z') {
            out += static_cast<char>(c - 'A' + 'a');
        } else if (!out.empty() && out.back() != '-') {
            out += '-';
        }
    }
    while (!out.empty() && out.back() == '-') {
        out.pop_back();
    }
    return out.empty() ? fallback : out;
}

ember_bridge::ember_bridge(system_model& system, provider& served) {
    system.findAll();
    path root = served.addNode({}, "vesk-host", "the devices of vesk-host's system");
    std::set<std::string> identifiers;
    for (const auto& entry : system.devices()) {
        if (!entry.second) {
            continue;
        }
        const device& d = *entry.second;
        std::string fallback = "device-" + std::to_string(d.number());
        std::string identifier = emberIdentifier(d.name(), fallback);
        // Siblings need identifiers of their own.
        if (!identifiers.insert(identifier).second) {
            identifier += "-" + std::to_string(d.number());
            identifiers.insert(identifier);
        }
        path node = d.number() >= 0 ? served.addNode(root, identifier, d.name(),
                                                     static_cast<std::uint32_t>(d.number()))
                                    : path();
        if (node.empty()) {
            m_leftOut.push_back(fallback + ": the tree has no room for it");
            continue;
        }
        served_device s;
        s.node = node;
        if (d.type().family == verb_family::router) {
            const router* r = dynamic_cast<const router*>(&d);
            if (r == nullptr) {
                m_leftOut.push_back(fallback + ": a router whose names this host cannot read");
                continue;
            }
            std::vector<std::string> targets;
            std::vector<std::string> sources;
            for (int i = 1; i <= r->destinations; ++i) {
                targets.push_back(r->destinationName(i));
            }
            for (int i = 1; i <= r->sources; ++i) {
                sources.push_back(r->sourceName(i));
            }
            path matrix = served.addMatrix(node, "matrix", targets, sources);
            if (matrix.empty()) {
                m_leftOut.push_back(fallback + ": a matrix of this size is beyond the tree");
                continue;
            }
            for (int i = 1; i <= r->destinations; ++i) {
                int source = r->sourceOf(i);
                if (source >= 1) {
                    served.setConnection(matrix, i - 1, {source - 1});
                }
            }
            s.what = kind::matrix;
            s.sources = r->sources;
            m_elements[matrix] = {d.number(), 0};
        } else if (d.type().family == verb_family::i_family ||
                   d.type().family == verb_family::g_family) {
            bool text = d.type().family == verb_family::i_family;
            s.what = text ? kind::text : kind::state;
            for (int i = 1; i <= d.size(); ++i) {
                std::string now;
                d.report(i, now);
                path p = served.addParameter(
                    node, std::string(d.type().indexWord) + "-" + std::to_string(i),
                    text ? glow_value::ofString(now) : glow_value::ofBoolean(now == "1"),
                    vesk_ember::access::read_write);
                m_elements[p] = {d.number(), i};
            }
        } else {
            m_leftOut.push_back(fallback + ": a " + d.type().name + " device has no Ember+ form");
            continue;
        }
        m_devices[d.number()] = s;
        ++m_served;
    }
}

path ember_bridge::pathOf(int device) const {
    auto found = m_devices.find(device);
    return found != m_devices.end() ? found->second.node : path();
}

std::string ember_bridge::connectLine(const path& matrix, std::int32_t target,
                                      const std::vector<std::int32_t>& sources,
                                      connection_operation operation,
                                      const std::vector<std::int32_t>& current,
                                      std::string& why) const {
    auto element = m_elements.find(matrix);
    if (element == m_elements.end()) {
        why = "no matrix at " + vesk_ember::pathText(matrix);
        return std::string();
    }
    const served_device& d = m_devices.at(element->second.device);
    if (d.what != kind::matrix) {
        why = "no matrix at " + vesk_ember::pathText(matrix);
        return std::string();
    }
    std::vector<std::int32_t> next = vesk_ember::oneToNResult(current, sources, operation);
    if (next.empty()) {
        why = "a destination is always on one source: it cannot be disconnected";
        return std::string();
    }
    if (next == current && operation == connection_operation::disconnect) {
        why = "nothing to disconnect";
        return std::string();
    }
    std::int32_t source = next.front();
    if (source < 0 || source >= d.sources || target < 0) {
        why = "router " + std::to_string(element->second.device) + " has no source " +
              std::to_string(source);
        return std::string();
    }
    return "route " + std::to_string(element->second.device) + " " + std::to_string(source + 1) +
           " " + std::to_string(target + 1);
}

std::string ember_bridge::valueLine(const path& parameter, const glow_value& value,
                                    std::string& why) const {
    auto element = m_elements.find(parameter);
    auto d = element != m_elements.end() ? m_devices.find(element->second.device) : m_devices.end();
    if (d == m_devices.end() || d->second.what == kind::matrix) {
        why = "no writable parameter at " + vesk_ember::pathText(parameter);
        return std::string();
    }
    std::string head =
        std::to_string(element->second.device) + " " + std::to_string(element->second.index);
    if (d->second.what == kind::state) {
        if (value.what != glow_value::kind::boolean && value.what != glow_value::kind::integer) {
            why = "a state is a boolean";
            return std::string();
        }
        bool on = value.what == glow_value::kind::boolean ? value.boolean : value.integer != 0;
        return "state " + head + (on ? " on" : " off");
    }
    std::string text;
    if (value.what != glow_value::kind::string) {
        why = "a slot holds a string";
        return std::string();
    }
    if (!lineText(value.text, text)) {
        why = "a slot's text cannot start or end with a blank or hold control characters";
        return std::string();
    }
    return "write " + head + (text.empty() ? std::string() : " " + text);
}

std::function<void(provider&)> ember_bridge::update(const device& changed, int index) const {
    auto found = m_devices.find(changed.number());
    if (found == m_devices.end() || !changed.validIndex(index)) {
        return nullptr;
    }
    const served_device& d = found->second;
    if (d.what == kind::matrix) {
        const router* r = dynamic_cast<const router*>(&changed);
        if (r == nullptr) {
            return nullptr;
        }
        path matrix = d.node;
        matrix.push_back(0);
        int source = r->sourceOf(index);
        std::vector<std::int32_t> sources;
        if (source >= 1) {
            sources.push_back(source - 1);
        }
        return
            [matrix, index, sources](provider& p) { p.setConnection(matrix, index - 1, sources); };
    }
    path parameter = d.node;
    parameter.push_back(static_cast<std::uint32_t>(index - 1));
    std::string now;
    changed.report(index, now);
    glow_value value =
        d.what == kind::text ? glow_value::ofString(now) : glow_value::ofBoolean(now == "1");
    return [parameter, value](provider& p) { p.setValue(parameter, value); };
}

} // namespace vesk_host
