// The consumer role over an abstract transport: it walks a provider's tree to one matrix (by
// numeric path "0.1.0" or identifiers "studio/router/matrix"), reads its size, connections and
// labels (through the label node the matrix names), subscribes, asks for connects and reports
// the changes the provider pushes. No sockets here: outgoing bytes go to a function, and the
// transport feeds incoming bytes to receive().
#pragma once

#include "glow.h"
#include "s101.h"

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace vesk_ember {

struct matrix_state {
    path where;
    std::string identifier;
    std::int32_t targetCount = 0;
    std::int32_t sourceCount = 0;
    // Per target, by number.
    std::vector<std::vector<std::int32_t>> connections;
    // By signal number; empty where the provider has no label.
    std::vector<std::string> targetLabels;
    std::vector<std::string> sourceLabels;
};

class consumer_listener {
public:
    virtual ~consumer_listener() = default;
    // The matrix has been read and subscribed to.
    virtual void ready(const matrix_state& matrix) = 0;
    // After ready: the provider reports the sources of `target` (after anyone's change).
    virtual void crosspoint(std::int32_t target, const std::vector<std::int32_t>& sources) = 0;
    virtual void label(bool isTarget, std::int32_t number, const std::string& text) {
        (void)isTarget;
        (void)number;
        (void)text;
    }
    // The walk cannot go on: a missing element, something other than a matrix, or input that
    // is not Ember+. Nothing more is reported.
    virtual void failed(const std::string& why) = 0;
};

class consumer {
public:
    using send_function = std::function<void(const bytes&)>;

    // Both must outlive the consumer.
    consumer(send_function send, consumer_listener& listener)
        : m_send(std::move(send)), m_listener(listener) {}

    // Starts the walk to the matrix at `matrixPath`. False, with a reason, for a path that
    // is neither numbers nor identifiers.
    bool start(const std::string& matrixPath, std::string& why);
    // Bytes from the socket.
    void receive(const std::uint8_t* data, std::size_t size);
    // Asks the provider to connect `source` to `target` (Ember+ numbers). False when not
    // ready or out of range; the change is reported through crosspoint() once made.
    bool connect(std::int32_t target, std::int32_t source);
    void sendKeepAlive();

    bool isReady() const { return m_phase == phase::ready; }
    bool hasFailed() const { return m_phase == phase::failed; }
    const matrix_state& matrix() const { return m_matrix; }
    std::size_t keepAliveResponses() const { return m_keepAliveResponses; }

private:
    struct step {
        bool numeric = false;
        std::uint32_t number = 0;
        std::string identifier;
    };
    struct known {
        glow_element::kind what = glow_element::kind::node;
        std::string identifier;
    };
    enum class phase { idle, walking, matrix, label_node, labels, ready, failed };

    void request(glow_element::kind what, const path& where, command_type c);
    void absorb(const glow_element& e, const path& parent);
    void advance();
    void fail(const std::string& why);
    bool answered(const path& where) const { return m_answered.count(where) != 0; }

    send_function m_send;
    consumer_listener& m_listener;
    s101_decoder m_decoder;
    phase m_phase = phase::idle;
    std::vector<step> m_steps;
    path m_at;
    // What the provider has told us about, by path, and which requests it has answered.
    std::map<path, known> m_known;
    std::set<path> m_answered;
    bool m_matrixRead = false;
    path m_labelBase;
    std::vector<path> m_labelNodes;
    matrix_state m_matrix;
    std::size_t m_keepAliveResponses = 0;
};

} // namespace vesk_ember
