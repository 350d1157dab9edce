// The provider role over an abstract model: it serves a tree of nodes, parameters and matrices
// to any number of consumer sessions, answers GetDirectory, Subscribe, Unsubscribe and
// keep-alives, hands a consumer's connect or value change to the model, and pushes the
// model's changes to the sessions that watch them. No sockets here: a session is a function
// that takes outgoing bytes, and the transport feeds incoming bytes to receive().
#pragma once

#include "glow.h"
#include "s101.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace vesk_ember {

class provider_model {
public:
    virtual ~provider_model() = default;
    // A consumer asks to change the crosspoints of `target`. The model applies what it
    // accepts through provider::setConnection, during this call or later.
    virtual void connectRequested(const path& matrix, std::int32_t target,
                                  const std::vector<std::int32_t>& sources,
                                  connection_operation operation) = 0;
    // A consumer writes a parameter; the model applies it through provider::setValue.
    virtual void valueRequested(const path& parameter, const glow_value& value) = 0;
};

// The sources a oneToN target has after `operation` with `requested` on `current`.
std::vector<std::int32_t> oneToNResult(const std::vector<std::int32_t>& current,
                                       const std::vector<std::int32_t>& requested,
                                       connection_operation operation);

// Not thread-safe: build the tree, change it and feed it bytes from one thread (the
// transport's loop; see tcp::provider_server::post).
class provider {
public:
    using send_function = std::function<void(const bytes&)>;
    using session_id = int;

    // The model must outlive the provider.
    explicit provider(provider_model& model) : m_model(model) {}

    // Building the tree; each returns the new element's path (empty when `parent` is not a
    // node or a limit is reached). Children are numbered from 0 in the order they are added,
    // or from `number` on, which must be past the numbers already given.
    path addNode(const path& parent, const std::string& identifier,
                 const std::string& description = std::string(),
                 std::optional<std::uint32_t> number = std::nullopt);
    path addParameter(const path& parent, const std::string& identifier, const glow_value& value,
                      access parameterAccess = access::read);
    // A oneToN, linear matrix with one target and one source per label, followed by its label
    // node "<identifier>-labels" holding "targets" (1) and "sources" (2), one string parameter
    // per signal numbered as the signal is.
    path addMatrix(const path& parent, const std::string& identifier,
                   const std::vector<std::string>& targetLabels,
                   const std::vector<std::string>& sourceLabels);

    // Changes the model's state and tells every session that watches it. False for an
    // unknown matrix or parameter, or a signal out of range.
    bool setConnection(const path& matrix, std::int32_t target,
                       const std::vector<std::int32_t>& sources);
    bool setValue(const path& parameter, const glow_value& value);
    // The sources of `target`, or null for an unknown matrix or target.
    const std::vector<std::int32_t>* connection(const path& matrix, std::int32_t target) const;

    // A new consumer; -1 when kMaxSessions are open. `send` is called with whole frames while
    // the session lives, from within receive(), setConnection() and setValue().
    session_id openSession(send_function send);
    // Bytes from the session's socket. False when the session sent so much that was not
    // Ember+ that it should be closed.
    bool receive(session_id session, const std::uint8_t* data, std::size_t size);
    void closeSession(session_id session);
    std::size_t sessionCount() const { return m_sessions.size(); }

    struct counters {
        std::size_t messages = 0;
        std::size_t errors = 0;
        std::size_t keepAlives = 0;
    };
    const counters& stats() const { return m_stats; }

private:
    struct entry {
        glow_element::kind what = glow_element::kind::node;
        std::uint32_t number = 0;
        std::string identifier;
        std::string description;
        glow_value value;
        access parameterAccess = access::read;
        std::int32_t targetCount = 0;
        std::int32_t sourceCount = 0;
        path labelBase;
        std::vector<std::vector<std::int32_t>> connections;
        std::vector<std::unique_ptr<entry>> children;
    };
    struct session {
        send_function send;
        s101_decoder decoder;
        std::set<path> watched;
        std::size_t errors = 0;
    };

    entry* find(const path& where) const;
    entry* add(const path& parent, glow_element::kind what, const std::string& identifier,
               path& where, std::optional<std::uint32_t> number = std::nullopt);
    glow_element describe(const entry& e, bool withChildren) const;
    glow_element matrixConnections(const path& where, const entry& e,
                                   const std::vector<std::int32_t>& targets) const;
    void handle(session_id id, const glow_element& e, const path& parent);
    void command(session_id id, const path& where, command_type c);
    void sendTo(session_id id, const glow_root& root);
    // Sends to every session watching `where` or its parent; returns whether `requester`
    // was among them.
    bool push(const path& where, const glow_root& root, session_id requester = -1);

    provider_model& m_model;
    entry m_root;
    std::map<session_id, session> m_sessions;
    session_id m_nextSession = 0;
    // The session whose request is being handled, to know whether a push reached it.
    session_id m_requester = -1;
    bool m_requesterAnswered = false;
    counters m_stats;
};

} // namespace vesk_ember
