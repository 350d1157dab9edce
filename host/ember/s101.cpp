#include "s101.h"

#include "ember_limits.h"

#include <algorithm>
#include <array>

namespace vesk_ember {

namespace {

constexpr std::array<std::uint16_t, 256> makeCrcTable() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned crc = i;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) ? (crc >> 1) ^ 0x8408u : crc >> 1;
        }
        table[i] = static_cast<std::uint16_t>(crc);
    }
    return table;
}
constexpr std::array<std::uint16_t, 256> kCrcTable = makeCrcTable();

// Escapes `raw`, appends its CRC (escaped too) and wraps it in BOF ... EOF.
void appendFrame(bytes& out, const bytes& raw) {
    std::uint16_t crc = static_cast<std::uint16_t>(~crc16(raw.data(), raw.size()));
    out.push_back(s101::kBof);
    auto put = [&out](std::uint8_t b) {
        if (b >= s101::kFirstEscaped) {
            out.push_back(s101::kEscape);
            out.push_back(static_cast<std::uint8_t>(b ^ s101::kEscapeXor));
        } else {
            out.push_back(b);
        }
    };
    for (std::uint8_t b : raw) {
        put(b);
    }
    put(static_cast<std::uint8_t>(crc & 0xFF));
    put(static_cast<std::uint8_t>(crc >> 8));
    out.push_back(s101::kEof);
}

bytes keepAlive(std::uint8_t command) {
    bytes out;
    appendFrame(out, {s101::kSlot, s101::kMessageEmber, command, s101::kVersion});
    return out;
}

} // namespace

std::uint16_t crc16(const std::uint8_t* data, std::size_t size, std::uint16_t crc) {
    for (std::size_t i = 0; i < size; ++i) {
        crc = static_cast<std::uint16_t>((crc >> 8) ^ kCrcTable[(crc ^ data[i]) & 0xFF]);
    }
    return crc;
}

bytes encodeKeepAliveRequest() {
    return keepAlive(s101::kCommandKeepAliveRequest);
}
bytes encodeKeepAliveResponse() {
    return keepAlive(s101::kCommandKeepAliveResponse);
}

bytes encodeMessage(const bytes& glow) {
    bytes out;
    std::size_t offset = 0;
    bool first = true;
    do {
        std::size_t n = std::min(kPacketPayloadBytes, glow.size() - offset);
        bool last = offset + n == glow.size();
        std::uint8_t flags = static_cast<std::uint8_t>((first ? s101::kFlagFirst : 0) |
                                                       (last ? s101::kFlagLast : 0));
        bytes raw = {s101::kSlot,
                     s101::kMessageEmber,
                     s101::kCommandEmber,
                     s101::kVersion,
                     flags,
                     s101::kDtdGlow,
                     2,
                     s101::kGlowMinor,
                     s101::kGlowMajor};
        raw.insert(raw.end(), glow.begin() + static_cast<std::ptrdiff_t>(offset),
                   glow.begin() + static_cast<std::ptrdiff_t>(offset + n));
        appendFrame(out, raw);
        offset += n;
        first = false;
    } while (offset < glow.size());
    return out;
}

void s101_decoder::reset() {
    m_state = state::outside;
    m_frame.clear();
    m_message.clear();
    m_joining = false;
    m_garbage = 0;
}

void s101_decoder::fail(std::vector<s101_event>& out, std::string why) {
    ++m_errors;
    out.push_back({s101_event::kind::error, {}, std::move(why)});
}

void s101_decoder::feed(const std::uint8_t* data, std::size_t size, std::vector<s101_event>& out) {
    for (std::size_t i = 0; i < size; ++i) {
        std::uint8_t b = data[i];
        if (b == s101::kBof) {
            if (m_state == state::inside || m_state == state::escaped) {
                fail(out, "frame begun again before its end");
            }
            m_state = state::inside;
            m_frame.clear();
            continue;
        }
        switch (m_state) {
        case state::outside:
            // Between frames only BOF means anything; a peer that sends much else is not
            // speaking S101, and is told so once per run of noise.
            if (++m_garbage == kMaxGarbageBytes) {
                fail(out, "bytes outside any frame");
                m_garbage = 0;
            }
            break;
        case state::overlong:
            if (b == s101::kEof) {
                m_state = state::outside;
            }
            break;
        case state::inside:
        case state::escaped:
            if (b == s101::kEof) {
                if (m_state == state::escaped) {
                    fail(out, "frame ends in an escape");
                } else {
                    endFrame(out);
                }
                m_state = state::outside;
                m_frame.clear();
                m_garbage = 0;
                break;
            }
            if (m_state == state::inside && b == s101::kEscape) {
                m_state = state::escaped;
                break;
            }
            if (m_state == state::escaped) {
                b = static_cast<std::uint8_t>(b ^ s101::kEscapeXor);
                m_state = state::inside;
            } else if (b >= s101::kFirstEscaped) {
                fail(out, "unescaped reserved byte in a frame");
                m_state = state::overlong;
                m_frame.clear();
                break;
            }
            if (m_frame.size() == kMaxFrameBytes) {
                fail(out, "frame longer than " + std::to_string(kMaxFrameBytes) + " bytes");
                m_state = state::overlong;
                m_frame.clear();
                break;
            }
            m_frame.push_back(b);
            break;
        }
    }
}

void s101_decoder::endFrame(std::vector<s101_event>& out) {
    const bytes& f = m_frame;
    if (f.size() < 6) {
        fail(out, "frame too short");
        return;
    }
    if (crc16(f.data(), f.size()) != s101::kCrcResidue) {
        fail(out, "frame CRC mismatch");
        return;
    }
    ++m_frames;
    std::size_t end = f.size() - 2;
    if (f[1] != s101::kMessageEmber || f[3] != s101::kVersion) {
        fail(out, "frame is not an Ember+ frame of version 1");
        return;
    }
    switch (f[2]) {
    case s101::kCommandKeepAliveRequest:
        out.push_back({s101_event::kind::keep_alive_request, {}, {}});
        return;
    case s101::kCommandKeepAliveResponse:
        out.push_back({s101_event::kind::keep_alive_response, {}, {}});
        return;
    case s101::kCommandEmber:
        break;
    default:
        fail(out, "unknown frame command " + std::to_string(f[2]));
        return;
    }
    // slot, message, command, version, flags, dtd, app byte count, app bytes, payload.
    if (end < 7 || end < 7 + std::size_t{f[6]}) {
        fail(out, "packet header cut short");
        return;
    }
    std::uint8_t flags = f[4];
    if (f[5] != s101::kDtdGlow) {
        fail(out, "packet of another DTD than Glow");
        return;
    }
    if (flags & s101::kFlagEmpty) {
        return;
    }
    std::size_t payload = 7 + std::size_t{f[6]};
    if (flags & s101::kFlagFirst) {
        if (m_joining) {
            fail(out, "message begun again before its last packet");
        }
        m_message.clear();
        m_joining = true;
    } else if (!m_joining) {
        fail(out, "packet continues no message");
        return;
    }
    if (m_message.size() + (end - payload) > kMaxMessageBytes) {
        fail(out, "message longer than " + std::to_string(kMaxMessageBytes) + " bytes");
        m_message.clear();
        m_joining = false;
        return;
    }
    m_message.insert(m_message.end(), f.begin() + static_cast<std::ptrdiff_t>(payload),
                     f.begin() + static_cast<std::ptrdiff_t>(end));
    if (flags & s101::kFlagLast) {
        out.push_back({s101_event::kind::message, std::move(m_message), {}});
        m_message = bytes();
        m_joining = false;
    }
}

} // namespace vesk_ember
