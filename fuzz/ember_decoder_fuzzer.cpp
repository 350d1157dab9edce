// The Ember+ decoder over any bytes, as a socket would deliver them. The stream decoder must
// find the same frames whatever pieces the bytes come in; every message it finds that decodes
// as Glow must encode to bytes that decode to the same encoding; and both roles' cores must take
// the bytes as one of their sessions would, without crashing or growing past their limits.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "consumer.h"
#include "fuzz_input.h"
#include "glow.h"
#include "provider.h"
#include "s101.h"

using namespace vesk_ember;

namespace {

std::string describe(const std::vector<s101_event>& events) {
    std::string out;
    for (const s101_event& e : events) {
        out += std::to_string(static_cast<int>(e.what)) + ":" + std::to_string(e.data.size()) +
               ":" + e.why + " ";
    }
    return out;
}

void checkRoundTrip(const std::uint8_t* data, std::size_t size) {
    glow_root root;
    std::string why;
    if (!decodeGlow(data, size, root, why)) {
        FUZZ_CHECK(!why.empty(), "refused without a reason");
        return;
    }
    bytes once = encodeGlow(root);
    glow_root again;
    FUZZ_CHECK(decodeGlow(once.data(), once.size(), again, why),
               "our own encoding refused: " + why);
    FUZZ_CHECK(encodeGlow(again) == once, "the encoding changed on a second round");
}

class accepting_model : public provider_model {
public:
    provider* served = nullptr;
    void connectRequested(const path& matrix, std::int32_t target,
                          const std::vector<std::int32_t>& sources,
                          connection_operation operation) override {
        const std::vector<std::int32_t>* now = served->connection(matrix, target);
        if (now) {
            served->setConnection(matrix, target, oneToNResult(*now, sources, operation));
        }
    }
    void valueRequested(const path& parameter, const glow_value& value) override {
        served->setValue(parameter, value);
    }
};

class quiet_listener : public consumer_listener {
public:
    void ready(const matrix_state&) override {}
    void crosspoint(std::int32_t, const std::vector<std::int32_t>&) override {}
    void failed(const std::string&) override {}
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The whole input at once, then in pieces whose sizes the first byte picks.
    std::vector<s101_event> whole;
    s101_decoder one;
    one.feed(data, size, whole);

    fuzz_input in(data, size);
    std::size_t piece = 1 + in.below(17);
    std::vector<s101_event> pieces;
    s101_decoder other;
    for (std::size_t at = 0; at < size; at += piece) {
        other.feed(data + at, std::min(piece, size - at), pieces);
    }
    FUZZ_CHECK(describe(whole) == describe(pieces), "pieces of " + std::to_string(piece) +
                                                        " gave " + describe(pieces) +
                                                        " but the whole gave " + describe(whole));
    for (const s101_event& e : whole) {
        if (e.what == s101_event::kind::message) {
            checkRoundTrip(e.data.data(), e.data.size());
            // The message framed again comes back whole.
            std::vector<s101_event> reframed;
            s101_decoder third;
            bytes frames = encodeMessage(e.data);
            third.feed(frames.data(), frames.size(), reframed);
            FUZZ_CHECK(reframed.size() == 1 && reframed[0].data == e.data, "reframing lost bytes");
        }
    }
    // The bytes as a bare Glow message, for inputs that skip the framing.
    checkRoundTrip(data, size);

    // Both roles take the bytes as a session's.
    accepting_model model;
    provider p(model);
    model.served = &p;
    path top = p.addNode({}, "vesk");
    p.addParameter(top, "name", glow_value::ofString("x"), access::read_write);
    path matrix = p.addMatrix(top, "matrix", {"a", "b"}, {"c", "d", "e"});
    std::size_t sent = 0;
    provider::session_id id = p.openSession([&sent](const bytes& b) { sent += b.size(); });
    p.receive(id, data, size);
    FUZZ_CHECK(p.connection(matrix, 0) && p.connection(matrix, 0)->size() <= 1,
               "a oneToN target holds more than one source");

    quiet_listener listener;
    consumer c([&sent](const bytes& b) { sent += b.size(); }, listener);
    std::string why;
    c.start("0.1", why);
    c.receive(data, size);
    if (c.isReady()) {
        const matrix_state& m = c.matrix();
        FUZZ_CHECK(m.connections.size() == static_cast<std::size_t>(m.targetCount),
                   "connections do not match the target count");
    }
    return 0;
}
