#include "consumer.h"

#include "ember_limits.h"

#include <algorithm>

namespace vesk_ember {

namespace {

// Elements of the provider's tree remembered during the walk.
constexpr std::size_t kMaxKnown = 4 * kMaxElements;

path parentOf(const path& p) {
    return p.empty() ? p : path(p.begin(), p.end() - 1);
}

bool isNumber(const std::string& s) {
    return !s.empty() && s.size() <= 9 &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

bool consumer::start(const std::string& matrixPath, std::string& why) {
    m_steps.clear();
    bool numeric = matrixPath.find('/') == std::string::npos;
    char separator = numeric ? '.' : '/';
    std::size_t from = 0;
    while (from <= matrixPath.size()) {
        std::size_t to = matrixPath.find(separator, from);
        std::string part = matrixPath.substr(from, to == std::string::npos ? to : to - from);
        step s;
        if (numeric) {
            if (!isNumber(part)) {
                // A single identifier without slashes is a path of one identifier.
                if (matrixPath.find('.') != std::string::npos || part.empty()) {
                    why = "the matrix path '" + matrixPath + "' is neither numbers nor names";
                    return false;
                }
                s.identifier = part;
            } else {
                s.numeric = true;
                s.number = static_cast<std::uint32_t>(std::stoul(part));
            }
        } else {
            if (part.empty()) {
                why = "the matrix path '" + matrixPath + "' has an empty name";
                return false;
            }
            s.identifier = part;
        }
        m_steps.push_back(s);
        if (m_steps.size() > kMaxPathLength) {
            why = "the matrix path '" + matrixPath + "' is too long";
            return false;
        }
        if (to == std::string::npos) {
            break;
        }
        from = to + 1;
    }
    m_phase = phase::walking;
    m_at.clear();
    request(glow_element::kind::node, m_at, command_type::get_directory);
    return true;
}

void consumer::request(glow_element::kind what, const path& where, command_type c) {
    m_send(encodeMessage(encodeGlow(makeRequest(what, where, c))));
}

void consumer::sendKeepAlive() {
    m_send(encodeKeepAliveRequest());
}

bool consumer::connect(std::int32_t target, std::int32_t source) {
    if (m_phase != phase::ready || target < 0 || target >= m_matrix.targetCount || source < 0 ||
        source >= m_matrix.sourceCount) {
        return false;
    }
    glow_element m;
    m.what = glow_element::kind::matrix;
    m.qualified = true;
    m.where = m_matrix.where;
    glow_connection c;
    c.target = target;
    c.sources = {source};
    c.operation = connection_operation::absolute;
    m.connections.emplace();
    m.connections->push_back(c);
    glow_root root;
    root.elements.push_back(std::move(m));
    m_send(encodeMessage(encodeGlow(root)));
    return true;
}

void consumer::fail(const std::string& why) {
    if (m_phase == phase::failed) {
        return;
    }
    m_phase = phase::failed;
    m_listener.failed(why);
}

void consumer::receive(const std::uint8_t* data, std::size_t size) {
    std::vector<s101_event> events;
    m_decoder.feed(data, size, events);
    for (const s101_event& ev : events) {
        if (m_phase == phase::failed) {
            return;
        }
        switch (ev.what) {
        case s101_event::kind::keep_alive_request:
            m_send(encodeKeepAliveResponse());
            break;
        case s101_event::kind::keep_alive_response:
            ++m_keepAliveResponses;
            break;
        case s101_event::kind::error:
            fail("the provider sent what is not Ember+: " + ev.why);
            break;
        case s101_event::kind::message: {
            glow_root root;
            std::string why;
            if (!decodeGlow(ev.data.data(), ev.data.size(), root, why)) {
                fail("the provider sent a message we cannot read: " + why);
                break;
            }
            if (m_phase == phase::walking && m_at.empty()) {
                // Whatever the root holds answers the first request.
                m_answered.insert(path());
            }
            for (const glow_element& e : root.elements) {
                absorb(e, path());
            }
            advance();
            break;
        }
        }
    }
}

void consumer::absorb(const glow_element& e, const path& parent) {
    if (e.what == glow_element::kind::command) {
        return;
    }
    path where = e.pathUnder(parent);
    if (where.size() > kMaxPathLength) {
        return;
    }
    // The tree is remembered only while the walk needs it, and only so much of it; what is
    // not remembered still reaches the matrix and its labels below.
    if (m_phase != phase::ready && (m_known.size() < kMaxKnown || m_known.count(where))) {
        known& k = m_known[where];
        k.what = e.what;
        if (e.identifier) {
            k.identifier = *e.identifier;
        }
        // An element in an answer, or a child of it, answers the request for that element.
        m_answered.insert(where);
        if (!where.empty()) {
            m_answered.insert(parentOf(where));
        }
    }
    for (const glow_element& child : e.children) {
        absorb(child, where);
    }

    if (e.what == glow_element::kind::matrix && where == m_matrix.where && !where.empty() &&
        (m_phase == phase::matrix || m_phase == phase::label_node || m_phase == phase::labels ||
         m_phase == phase::ready)) {
        if (e.addressingMode == addressing::non_linear) {
            // Signals numbered at will need the target and source lists; this consumer
            // addresses signals by position.
            fail("'" + pathText(where) + "' is a non-linear matrix, which is not supported");
            return;
        }
        if (e.targetCount && e.sourceCount) {
            m_matrix.targetCount = *e.targetCount;
            m_matrix.sourceCount = *e.sourceCount;
            m_matrix.connections.resize(static_cast<std::size_t>(*e.targetCount));
            m_matrix.targetLabels.resize(static_cast<std::size_t>(*e.targetCount));
            m_matrix.sourceLabels.resize(static_cast<std::size_t>(*e.sourceCount));
            if (!e.labels.empty()) {
                m_labelBase = e.labels.front().basePath;
            }
            m_matrixRead = true;
        }
        if (e.connections && m_matrixRead) {
            for (const glow_connection& c : *e.connections) {
                if (c.target < 0 || c.target >= m_matrix.targetCount) {
                    continue;
                }
                std::vector<std::int32_t> sources;
                for (std::int32_t s : c.sources) {
                    if (s >= 0 && s < m_matrix.sourceCount) {
                        sources.push_back(s);
                    }
                }
                auto& slot = m_matrix.connections[static_cast<std::size_t>(c.target)];
                // A pending change is not a crosspoint yet.
                if (c.disposition == connection_disposition::pending) {
                    continue;
                }
                slot = sources;
                if (m_phase == phase::ready) {
                    m_listener.crosspoint(c.target, slot);
                }
            }
        }
    }
    if (e.what == glow_element::kind::parameter && e.value &&
        e.value->what == glow_value::kind::string && where.size() >= 2 && !m_labelBase.empty()) {
        path node = parentOf(where);
        if (parentOf(node) == m_labelBase && (node.back() == 1 || node.back() == 2)) {
            bool isTarget = node.back() == 1;
            auto& labels = isTarget ? m_matrix.targetLabels : m_matrix.sourceLabels;
            std::uint32_t n = where.back();
            if (n < labels.size() && labels[n] != e.value->text) {
                labels[n] = e.value->text;
                if (m_phase == phase::ready) {
                    m_listener.label(isTarget, static_cast<std::int32_t>(n), labels[n]);
                }
            }
        }
    }
}

void consumer::advance() {
    if (m_phase == phase::walking) {
        while (answered(m_at)) {
            const step& s = m_steps[m_at.size()];
            const known* found = nullptr;
            std::uint32_t number = 0;
            for (auto it = m_known.lower_bound(m_at); it != m_known.end(); ++it) {
                const path& p = it->first;
                if (p.size() < m_at.size() || !std::equal(m_at.begin(), m_at.end(), p.begin())) {
                    break;
                }
                if (p.size() != m_at.size() + 1) {
                    continue;
                }
                if (s.numeric ? p.back() == s.number : it->second.identifier == s.identifier) {
                    found = &it->second;
                    number = p.back();
                    break;
                }
            }
            std::string name = s.numeric ? std::to_string(s.number) : "'" + s.identifier + "'";
            if (!found) {
                fail("no element " + name + " under '" + pathText(m_at) + "'");
                return;
            }
            m_at.push_back(number);
            if (m_at.size() == m_steps.size()) {
                if (found->what != glow_element::kind::matrix) {
                    fail("'" + pathText(m_at) + "' is not a matrix");
                    return;
                }
                m_matrix.where = m_at;
                m_matrix.identifier = found->identifier;
                m_phase = phase::matrix;
                request(glow_element::kind::matrix, m_at, command_type::get_directory);
                return;
            }
            if (found->what != glow_element::kind::node) {
                fail("'" + pathText(m_at) + "' is not a node");
                return;
            }
            // The listing that named this node does not list its children: ask.
            m_answered.erase(m_at);
            request(glow_element::kind::node, m_at, command_type::get_directory);
        }
        return;
    }
    if (m_phase == phase::matrix && m_matrixRead) {
        if (m_labelBase.empty()) {
            m_phase = phase::labels;
        } else {
            m_phase = phase::label_node;
            m_answered.erase(m_labelBase);
            request(glow_element::kind::node, m_labelBase, command_type::get_directory);
            return;
        }
    }
    if (m_phase == phase::label_node && answered(m_labelBase)) {
        m_phase = phase::labels;
        for (std::uint32_t n : {1u, 2u}) {
            path p = m_labelBase;
            p.push_back(n);
            auto it = m_known.find(p);
            if (it != m_known.end() && it->second.what == glow_element::kind::node) {
                m_answered.erase(p);
                m_labelNodes.push_back(p);
                request(glow_element::kind::node, p, command_type::get_directory);
            }
        }
    }
    if (m_phase == phase::labels) {
        for (const path& p : m_labelNodes) {
            if (!answered(p)) {
                return;
            }
        }
        m_phase = phase::ready;
        request(glow_element::kind::matrix, m_matrix.where, command_type::subscribe);
        m_listener.ready(m_matrix);
    }
}

} // namespace vesk_ember
