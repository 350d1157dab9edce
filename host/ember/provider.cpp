#include "provider.h"

#include "ember_limits.h"

#include <algorithm>

namespace vesk_ember {

namespace {

// A session that sends this many frames or messages we cannot read is not speaking Ember+.
constexpr std::size_t kMaxSessionErrors = 16;
// Children one node may have, as the tree is built.
constexpr std::size_t kMaxChildren = 65536;

path parentOf(const path& p) {
    return p.empty() ? p : path(p.begin(), p.end() - 1);
}

bool validSignal(std::int32_t n, std::int32_t count) {
    return n >= 0 && n < count;
}

} // namespace

std::vector<std::int32_t> oneToNResult(const std::vector<std::int32_t>& current,
                                       const std::vector<std::int32_t>& requested,
                                       connection_operation operation) {
    switch (operation) {
    case connection_operation::disconnect: {
        std::vector<std::int32_t> left;
        for (std::int32_t s : current) {
            if (std::find(requested.begin(), requested.end(), s) == requested.end()) {
                left.push_back(s);
            }
        }
        return left;
    }
    case connection_operation::absolute:
    case connection_operation::connect:
        break;
    }
    // One source per target: the last one asked for wins.
    if (requested.empty()) {
        return operation == connection_operation::absolute ? requested : current;
    }
    return {requested.back()};
}

provider::entry* provider::find(const path& where) const {
    const entry* e = &m_root;
    for (std::uint32_t n : where) {
        // Children are numbered by position, except where a number was given.
        if (n < e->children.size() && e->children[n]->number == n) {
            e = e->children[n].get();
            continue;
        }
        auto it = std::find_if(e->children.begin(), e->children.end(),
                               [n](const std::unique_ptr<entry>& c) { return c->number == n; });
        if (it == e->children.end()) {
            return nullptr;
        }
        e = it->get();
    }
    return const_cast<entry*>(e);
}

provider::entry* provider::add(const path& parent, glow_element::kind what,
                               const std::string& identifier, path& where,
                               std::optional<std::uint32_t> number) {
    entry* p = find(parent);
    where.clear();
    if (!p || p->what != glow_element::kind::node || p->children.size() >= kMaxChildren ||
        parent.size() >= kMaxPathLength) {
        return nullptr;
    }
    auto e = std::make_unique<entry>();
    e->what = what;
    e->number = p->children.empty() ? 0 : p->children.back()->number + 1;
    if (number) {
        if (*number < e->number) {
            return nullptr;
        }
        e->number = *number;
    }
    e->identifier = identifier;
    where = parent;
    where.push_back(e->number);
    p->children.push_back(std::move(e));
    return p->children.back().get();
}

path provider::addNode(const path& parent, const std::string& identifier,
                       const std::string& description, std::optional<std::uint32_t> number) {
    path where;
    if (entry* e = add(parent, glow_element::kind::node, identifier, where, number)) {
        e->description = description;
    }
    return where;
}

path provider::addParameter(const path& parent, const std::string& identifier,
                            const glow_value& value, access parameterAccess) {
    path where;
    if (entry* e = add(parent, glow_element::kind::parameter, identifier, where)) {
        e->value = value;
        e->parameterAccess = parameterAccess;
    }
    return where;
}

path provider::addMatrix(const path& parent, const std::string& identifier,
                         const std::vector<std::string>& targetLabels,
                         const std::vector<std::string>& sourceLabels) {
    if (targetLabels.size() > static_cast<std::size_t>(kMaxSignals) ||
        sourceLabels.size() > static_cast<std::size_t>(kMaxSignals)) {
        return {};
    }
    path where;
    entry* m = add(parent, glow_element::kind::matrix, identifier, where);
    if (!m) {
        return {};
    }
    m->targetCount = static_cast<std::int32_t>(targetLabels.size());
    m->sourceCount = static_cast<std::int32_t>(sourceLabels.size());
    m->connections.resize(targetLabels.size());
    path labels = addNode(parent, identifier + "-labels", "labels of " + identifier);
    if (labels.empty()) {
        return where;
    }
    m->labelBase = labels;
    // Consumers look for the targets' labels under 1 and the sources' under 2.
    path targets = addNode(labels, "targets", std::string(), 1);
    path sources = addNode(labels, "sources", std::string(), 2);
    for (const std::string& l : targetLabels) {
        addParameter(targets, "t-" + std::to_string(find(targets)->children.size()),
                     glow_value::ofString(l));
    }
    for (const std::string& l : sourceLabels) {
        addParameter(sources, "s-" + std::to_string(find(sources)->children.size()),
                     glow_value::ofString(l));
    }
    return where;
}

const std::vector<std::int32_t>* provider::connection(const path& matrix,
                                                      std::int32_t target) const {
    const entry* m = find(matrix);
    if (!m || m->what != glow_element::kind::matrix || !validSignal(target, m->targetCount)) {
        return nullptr;
    }
    return &m->connections[static_cast<std::size_t>(target)];
}

glow_element provider::describe(const entry& e, bool withChildren) const {
    glow_element out;
    out.what = e.what;
    out.number = e.number;
    out.hasContents = true;
    out.identifier = e.identifier;
    if (!e.description.empty()) {
        out.description = e.description;
    }
    switch (e.what) {
    case glow_element::kind::node:
        out.isOnline = true;
        break;
    case glow_element::kind::parameter:
        out.value = e.value;
        out.paramAccess = e.parameterAccess;
        switch (e.value.what) {
        case glow_value::kind::integer:
            out.type = parameter_type::integer;
            break;
        case glow_value::kind::string:
            out.type = parameter_type::string;
            break;
        case glow_value::kind::boolean:
            out.type = parameter_type::boolean;
            break;
        case glow_value::kind::none:
            break;
        }
        break;
    case glow_element::kind::matrix:
        out.matrixType = matrix_type::one_to_n;
        out.addressingMode = addressing::linear;
        out.targetCount = e.targetCount;
        out.sourceCount = e.sourceCount;
        if (!e.labelBase.empty()) {
            out.labels.push_back({e.labelBase, "Primary"});
        }
        break;
    case glow_element::kind::command:
        break;
    }
    if (withChildren && e.what == glow_element::kind::node) {
        out.hasChildren = true;
        for (const auto& child : e.children) {
            out.children.push_back(describe(*child, false));
        }
    }
    return out;
}

glow_element provider::matrixConnections(const path& where, const entry& e,
                                         const std::vector<std::int32_t>& targets) const {
    glow_element out;
    out.what = glow_element::kind::matrix;
    out.qualified = true;
    out.where = where;
    out.connections.emplace();
    for (std::int32_t t : targets) {
        glow_connection c;
        c.target = t;
        c.sources = e.connections[static_cast<std::size_t>(t)];
        c.disposition = connection_disposition::tally;
        out.connections->push_back(std::move(c));
    }
    return out;
}

bool provider::setConnection(const path& matrix, std::int32_t target,
                             const std::vector<std::int32_t>& sources) {
    entry* m = find(matrix);
    if (!m || m->what != glow_element::kind::matrix || !validSignal(target, m->targetCount) ||
        sources.size() > kMaxConnectionSources) {
        return false;
    }
    for (std::int32_t s : sources) {
        if (!validSignal(s, m->sourceCount)) {
            return false;
        }
    }
    m->connections[static_cast<std::size_t>(target)] = sources;
    glow_root root;
    root.elements.push_back(matrixConnections(matrix, *m, {target}));
    push(matrix, root, m_requester);
    return true;
}

bool provider::setValue(const path& parameter, const glow_value& value) {
    entry* p = find(parameter);
    if (!p || p->what != glow_element::kind::parameter) {
        return false;
    }
    p->value = value;
    glow_element e;
    e.what = glow_element::kind::parameter;
    e.qualified = true;
    e.where = parameter;
    e.hasContents = true;
    e.value = value;
    glow_root root;
    root.elements.push_back(std::move(e));
    push(parameter, root, m_requester);
    return true;
}

provider::session_id provider::openSession(send_function send) {
    if (m_sessions.size() >= kMaxSessions) {
        return -1;
    }
    session_id id = m_nextSession++;
    m_sessions[id].send = std::move(send);
    return id;
}

void provider::closeSession(session_id id) {
    m_sessions.erase(id);
}

void provider::sendTo(session_id id, const glow_root& root) {
    auto it = m_sessions.find(id);
    if (it != m_sessions.end()) {
        it->second.send(encodeMessage(encodeGlow(root)));
    }
}

bool provider::push(const path& where, const glow_root& root, session_id requester) {
    path parent = parentOf(where);
    bytes frames;
    bool reached = false;
    for (auto& [id, s] : m_sessions) {
        if (s.watched.count(where) || s.watched.count(parent)) {
            if (frames.empty()) {
                frames = encodeMessage(encodeGlow(root));
            }
            s.send(frames);
            reached = reached || id == requester;
        }
    }
    if (reached && requester == m_requester) {
        m_requesterAnswered = true;
    }
    return reached;
}

bool provider::receive(session_id id, const std::uint8_t* data, std::size_t size) {
    auto it = m_sessions.find(id);
    if (it == m_sessions.end()) {
        return false;
    }
    std::vector<s101_event> events;
    it->second.decoder.feed(data, size, events);
    for (s101_event& ev : events) {
        switch (ev.what) {
        case s101_event::kind::keep_alive_request:
            ++m_stats.keepAlives;
            it->second.send(encodeKeepAliveResponse());
            break;
        case s101_event::kind::keep_alive_response:
            break;
        case s101_event::kind::error:
            ++m_stats.errors;
            ++it->second.errors;
            break;
        case s101_event::kind::message: {
            glow_root root;
            std::string why;
            if (!decodeGlow(ev.data.data(), ev.data.size(), root, why)) {
                ++m_stats.errors;
                ++it->second.errors;
                break;
            }
            ++m_stats.messages;
            for (const glow_element& e : root.elements) {
                handle(id, e, path());
            }
            break;
        }
        }
        // Handling a message may have closed the session (a model's callback may).
        it = m_sessions.find(id);
        if (it == m_sessions.end() || it->second.errors >= kMaxSessionErrors) {
            return false;
        }
    }
    return true;
}

void provider::handle(session_id id, const glow_element& e, const path& parent) {
    if (e.what == glow_element::kind::command) {
        command(id, parent, e.command);
        return;
    }
    path where = e.pathUnder(parent);
    if (where.size() > kMaxPathLength) {
        return;
    }
    for (const glow_element& child : e.children) {
        handle(id, child, where);
    }
    entry* target = find(where);
    if (!target || target->what != e.what) {
        return;
    }
    if (e.what == glow_element::kind::matrix && e.connections) {
        std::vector<std::int32_t> touched;
        for (const glow_connection& c : *e.connections) {
            if (!validSignal(c.target, target->targetCount)) {
                continue;
            }
            m_requester = id;
            m_requesterAnswered = false;
            m_model.connectRequested(where, c.target, c.sources,
                                     c.operation.value_or(connection_operation::absolute));
            if (!m_requesterAnswered) {
                touched.push_back(c.target);
            }
            m_requester = -1;
            // The model may have closed the session.
            target = find(where);
            if (!target || target->what != glow_element::kind::matrix || !m_sessions.count(id)) {
                return;
            }
        }
        if (!touched.empty()) {
            // What was refused or is still pending: the requester hears the state as it is.
            glow_root root;
            root.elements.push_back(matrixConnections(where, *target, touched));
            sendTo(id, root);
        }
    } else if (e.what == glow_element::kind::parameter && e.value &&
               e.value->what != glow_value::kind::none) {
        m_requesterAnswered = false;
        if (target->parameterAccess == access::write ||
            target->parameterAccess == access::read_write) {
            m_requester = id;
            m_model.valueRequested(where, *e.value);
            m_requester = -1;
            target = find(where);
            if (!target || target->what != glow_element::kind::parameter || !m_sessions.count(id)) {
                return;
            }
        }
        if (!m_requesterAnswered) {
            // Refused, read-only or not yet applied: the requester hears the value as it is.
            glow_element out;
            out.what = glow_element::kind::parameter;
            out.qualified = true;
            out.where = where;
            out.hasContents = true;
            out.value = target->value;
            glow_root root;
            root.elements.push_back(std::move(out));
            sendTo(id, root);
        }
    }
}

void provider::command(session_id id, const path& where, command_type c) {
    auto it = m_sessions.find(id);
    entry* e = find(where);
    if (it == m_sessions.end()) {
        return;
    }
    switch (c) {
    case command_type::subscribe:
        if (e && it->second.watched.size() < kMaxWatchedPaths) {
            it->second.watched.insert(where);
        }
        return;
    case command_type::unsubscribe:
        it->second.watched.erase(where);
        return;
    case command_type::get_directory:
        break;
    default:
        return;
    }
    glow_root root;
    if (!e) {
        // Nothing there: an empty answer, so that the consumer is not left waiting.
        sendTo(id, root);
        return;
    }
    if (it->second.watched.size() < kMaxWatchedPaths) {
        it->second.watched.insert(where);
    }
    if (where.empty()) {
        for (const auto& child : e->children) {
            root.elements.push_back(describe(*child, false));
        }
    } else {
        glow_element out = describe(*e, true);
        out.qualified = true;
        out.where = where;
        // A children collection, even an empty one, tells a consumer that the directory it
        // asked for is complete (emberplus-connection waits for one on matrices and nodes).
        out.hasChildren = e->what != glow_element::kind::parameter;
        if (e->what == glow_element::kind::matrix) {
            std::vector<std::int32_t> all;
            for (std::int32_t t = 0; t < e->targetCount; ++t) {
                all.push_back(t);
            }
            glow_element connections = matrixConnections(where, *e, all);
            out.connections = std::move(connections.connections);
        }
        root.elements.push_back(std::move(out));
    }
    sendTo(id, root);
}

} // namespace vesk_ember
