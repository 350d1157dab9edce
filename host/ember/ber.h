// BER as Glow uses it: tags of every class, definite and indefinite lengths, INTEGER, BOOLEAN,
// UTF8String, RELATIVE-OID. The reader works on a bounded buffer and never recurses deeper
// than kMaxBerDepth; the writer always emits definite lengths.
#pragma once

#include "s101.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vesk_ember {
namespace ber {

enum class tag_class : std::uint8_t { universal = 0, application = 1, context = 2, priv = 3 };

struct tag {
    tag_class cls = tag_class::universal;
    std::uint32_t number = 0;
    bool operator==(const tag& o) const { return cls == o.cls && number == o.number; }
    bool operator!=(const tag& o) const { return !(*this == o); }
};

inline tag universal(std::uint32_t n) {
    return {tag_class::universal, n};
}
inline tag application(std::uint32_t n) {
    return {tag_class::application, n};
}
inline tag context(std::uint32_t n) {
    return {tag_class::context, n};
}

namespace type {
constexpr std::uint32_t kBoolean = 1;
constexpr std::uint32_t kInteger = 2;
constexpr std::uint32_t kOctetString = 4;
constexpr std::uint32_t kNull = 5;
constexpr std::uint32_t kReal = 9;
constexpr std::uint32_t kUtf8String = 12;
constexpr std::uint32_t kRelativeOid = 13;
constexpr std::uint32_t kSequence = 16;
constexpr std::uint32_t kSet = 17;
} // namespace type

// One TLV within a buffer that outlives it. For an indefinite length, `content` excludes the
// end-of-contents octets.
struct tlv {
    tag t;
    bool constructed = false;
    const std::uint8_t* content = nullptr;
    std::size_t size = 0;
};

// Reads the TLVs of one level, in order.
class reader {
public:
    reader(const std::uint8_t* data, std::size_t size, int depth = 0)
        : m_at(data), m_end(data + size), m_depth(depth) {}
    // The TLVs inside `parent`, one level deeper.
    reader(const tlv& parent, int depth) : reader(parent.content, parent.size, depth) {}

    bool atEnd() const { return m_at == m_end; }
    // The next TLV; false at the end or on malformed input (then `failed()` says so).
    bool next(tlv& out);
    bool failed() const { return m_failed; }
    int depth() const { return m_depth; }

private:
    const std::uint8_t* m_at;
    const std::uint8_t* m_end;
    int m_depth;
    bool m_failed = false;
};

// Primitive values; each returns false when the TLV does not hold one that fits.
bool readInteger(const tlv& v, std::int64_t& out);
bool readBoolean(const tlv& v, bool& out);
bool readString(const tlv& v, std::string& out);
bool readRelativeOid(const tlv& v, std::vector<std::uint32_t>& out);

class writer {
public:
    // A constructed TLV; close it with end().
    void begin(tag t, bool constructed = true);
    void end();

    void integer(std::int64_t value);
    void boolean(bool value);
    void string(const std::string& value);
    void relativeOid(const std::vector<std::uint32_t>& value);
    // [n] holding one primitive: the explicit context tags Glow wraps every field in.
    void contextInteger(std::uint32_t n, std::int64_t value);
    void contextBoolean(std::uint32_t n, bool value);
    void contextString(std::uint32_t n, const std::string& value);
    void contextRelativeOid(std::uint32_t n, const std::vector<std::uint32_t>& value);

    const bytes& data() const { return m_out; }
    bytes take() { return std::move(m_out); }

private:
    void header(tag t, bool constructed);
    void primitive(std::uint32_t type, const std::uint8_t* data, std::size_t size);
    bytes m_out;
    std::vector<std::size_t> m_open;
};

} // namespace ber
} // namespace vesk_ember
