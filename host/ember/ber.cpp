#include "ber.h"

#include "ember_limits.h"

namespace vesk_ember {
namespace ber {

namespace {

// Reads a tag and a length at `at`. `indefinite` is set for the 0x80 length form.
bool readHeader(const std::uint8_t*& at, const std::uint8_t* end, tlv& out, bool& indefinite) {
    if (at == end) {
        return false;
    }
    std::uint8_t first = *at++;
    out.t.cls = static_cast<tag_class>(first >> 6);
    out.constructed = (first & 0x20) != 0;
    if ((first & 0x1F) != 0x1F) {
        out.t.number = first & 0x1Fu;
    } else {
        std::uint32_t number = 0;
        for (int i = 0;; ++i) {
            // Tag numbers past 28 bits mean nothing in Glow.
            if (at == end || i == 4) {
                return false;
            }
            std::uint8_t b = *at++;
            number = (number << 7) | (b & 0x7Fu);
            if (!(b & 0x80)) {
                break;
            }
        }
        out.t.number = number;
    }
    if (at == end) {
        return false;
    }
    std::uint8_t len = *at++;
    indefinite = false;
    if (len < 0x80) {
        out.size = len;
    } else if (len == 0x80) {
        indefinite = true;
        out.size = 0;
        // Only constructed encodings may have an indefinite length.
        if (!out.constructed) {
            return false;
        }
    } else {
        std::size_t count = len & 0x7Fu;
        if (count > 4) {
            return false;
        }
        std::size_t size = 0;
        for (std::size_t i = 0; i < count; ++i) {
            if (at == end) {
                return false;
            }
            size = (size << 8) | *at++;
        }
        out.size = size;
    }
    return true;
}

// One whole TLV at `at`; `at` moves past it (and past its end-of-contents octets). An
// indefinite length is found by walking the children, each level counted against the depth.
bool readTlv(const std::uint8_t*& at, const std::uint8_t* end, int depth, tlv& out) {
    if (depth > kMaxBerDepth) {
        return false;
    }
    bool indefinite = false;
    if (!readHeader(at, end, out, indefinite)) {
        return false;
    }
    out.content = at;
    if (!indefinite) {
        if (out.size > static_cast<std::size_t>(end - at)) {
            return false;
        }
        at += out.size;
        return true;
    }
    const std::uint8_t* scan = at;
    while (true) {
        if (end - scan >= 2 && scan[0] == 0 && scan[1] == 0) {
            out.size = static_cast<std::size_t>(scan - at);
            at = scan + 2;
            return true;
        }
        tlv child;
        if (!readTlv(scan, end, depth + 1, child)) {
            return false;
        }
    }
}

} // namespace

bool reader::next(tlv& out) {
    if (m_failed || m_at == m_end) {
        return false;
    }
    if (!readTlv(m_at, m_end, m_depth, out) ||
        (out.t.number == 0 && out.t.cls == tag_class::universal)) {
        m_failed = true;
        return false;
    }
    return true;
}

bool readInteger(const tlv& v, std::int64_t& out) {
    if (v.constructed || v.t != universal(type::kInteger) || v.size == 0 || v.size > 8) {
        return false;
    }
    std::uint64_t value = (v.content[0] & 0x80) ? ~std::uint64_t{0} : 0;
    for (std::size_t i = 0; i < v.size; ++i) {
        value = (value << 8) | v.content[i];
    }
    out = static_cast<std::int64_t>(value);
    return true;
}

bool readBoolean(const tlv& v, bool& out) {
    if (v.constructed || v.t != universal(type::kBoolean) || v.size != 1) {
        return false;
    }
    out = v.content[0] != 0;
    return true;
}

bool readString(const tlv& v, std::string& out) {
    if (v.constructed || v.t != universal(type::kUtf8String) || v.size > kMaxStringBytes) {
        return false;
    }
    out.assign(reinterpret_cast<const char*>(v.content), v.size);
    return true;
}

bool readRelativeOid(const tlv& v, std::vector<std::uint32_t>& out) {
    if (v.constructed || v.t != universal(type::kRelativeOid)) {
        return false;
    }
    out.clear();
    std::uint32_t sub = 0;
    int bytesInSub = 0;
    for (std::size_t i = 0; i < v.size; ++i) {
        std::uint8_t b = v.content[i];
        if (++bytesInSub > 5 || (bytesInSub == 5 && (sub >> 25) != 0)) {
            return false;
        }
        sub = (sub << 7) | (b & 0x7Fu);
        if (!(b & 0x80)) {
            if (out.size() == kMaxConnectionSources) {
                return false;
            }
            out.push_back(sub);
            sub = 0;
            bytesInSub = 0;
        }
    }
    return bytesInSub == 0;
}

void writer::header(tag t, bool constructed) {
    std::uint8_t first =
        static_cast<std::uint8_t>((static_cast<unsigned>(t.cls) << 6) | (constructed ? 0x20u : 0u));
    if (t.number < 31) {
        m_out.push_back(static_cast<std::uint8_t>(first | t.number));
        return;
    }
    m_out.push_back(static_cast<std::uint8_t>(first | 0x1F));
    int shift = 28;
    while (shift > 0 && (t.number >> shift) == 0) {
        shift -= 7;
    }
    for (; shift > 0; shift -= 7) {
        m_out.push_back(static_cast<std::uint8_t>(0x80 | ((t.number >> shift) & 0x7F)));
    }
    m_out.push_back(static_cast<std::uint8_t>(t.number & 0x7F));
}

void writer::begin(tag t, bool constructed) {
    header(t, constructed);
    m_open.push_back(m_out.size());
}

void writer::end() {
    std::size_t start = m_open.back();
    m_open.pop_back();
    std::size_t size = m_out.size() - start;
    std::uint8_t len[5];
    std::size_t n = 0;
    if (size < 0x80) {
        len[n++] = static_cast<std::uint8_t>(size);
    } else {
        std::size_t count = 0;
        for (std::size_t s = size; s != 0; s >>= 8) {
            ++count;
        }
        len[n++] = static_cast<std::uint8_t>(0x80 | count);
        for (std::size_t i = count; i-- > 0;) {
            len[n++] = static_cast<std::uint8_t>(size >> (8 * i));
        }
    }
    m_out.insert(m_out.begin() + static_cast<std::ptrdiff_t>(start), len, len + n);
}

void writer::primitive(std::uint32_t t, const std::uint8_t* data, std::size_t size) {
    begin(universal(t), false);
    m_out.insert(m_out.end(), data, data + size);
    end();
}

void writer::integer(std::int64_t value) {
    std::uint8_t buf[8];
    std::size_t n = 8;
    auto raw = static_cast<std::uint64_t>(value);
    for (std::size_t i = 0; i < 8; ++i) {
        buf[7 - i] = static_cast<std::uint8_t>(raw >> (8 * i));
    }
    // The shortest two's complement form: drop leading bytes that only repeat the sign.
    std::size_t skip = 0;
    while (skip < 7 && ((buf[skip] == 0x00 && !(buf[skip + 1] & 0x80)) ||
                        (buf[skip] == 0xFF && (buf[skip + 1] & 0x80)))) {
        ++skip;
    }
    primitive(type::kInteger, buf + skip, n - skip);
}

void writer::boolean(bool value) {
    std::uint8_t b = value ? 0xFF : 0x00;
    primitive(type::kBoolean, &b, 1);
}

void writer::string(const std::string& value) {
    primitive(type::kUtf8String, reinterpret_cast<const std::uint8_t*>(value.data()), value.size());
}

void writer::relativeOid(const std::vector<std::uint32_t>& value) {
    bytes enc;
    for (std::uint32_t sub : value) {
        int shift = 28;
        while (shift > 0 && (sub >> shift) == 0) {
            shift -= 7;
        }
        for (; shift > 0; shift -= 7) {
            enc.push_back(static_cast<std::uint8_t>(0x80 | ((sub >> shift) & 0x7F)));
        }
        enc.push_back(static_cast<std::uint8_t>(sub & 0x7F));
    }
    primitive(type::kRelativeOid, enc.data(), enc.size());
}

void writer::contextInteger(std::uint32_t n, std::int64_t value) {
    begin(context(n));
    integer(value);
    end();
}

void writer::contextBoolean(std::uint32_t n, bool value) {
    begin(context(n));
    boolean(value);
    end();
}

void writer::contextString(std::uint32_t n, const std::string& value) {
    begin(context(n));
    string(value);
    end();
}

void writer::contextRelativeOid(std::uint32_t n, const std::vector<std::uint32_t>& value) {
    begin(context(n));
    relativeOid(value);
    end();
}

} // namespace ber
} // namespace vesk_ember
