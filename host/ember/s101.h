// S101 framing: the byte stream under Ember+. Each frame runs from BOF to EOF; bytes from 0xF8
// up inside it are escaped; a CRC-16 closes it. A frame carries a keep-alive request or
// response, or one packet of a Glow message; a message longer than a packet spans several
// frames marked first, middle and last.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vesk_ember {

using bytes = std::vector<std::uint8_t>;

namespace s101 {
constexpr std::uint8_t kBof = 0xFE;
constexpr std::uint8_t kEof = 0xFF;
constexpr std::uint8_t kEscape = 0xFD;
constexpr std::uint8_t kEscapeXor = 0x20;
constexpr std::uint8_t kFirstEscaped = 0xF8;

constexpr std::uint8_t kSlot = 0x00;
constexpr std::uint8_t kMessageEmber = 0x0E;
constexpr std::uint8_t kCommandEmber = 0x00;
constexpr std::uint8_t kCommandKeepAliveRequest = 0x01;
constexpr std::uint8_t kCommandKeepAliveResponse = 0x02;
constexpr std::uint8_t kVersion = 0x01;
constexpr std::uint8_t kFlagFirst = 0x80;
constexpr std::uint8_t kFlagLast = 0x40;
constexpr std::uint8_t kFlagEmpty = 0x20;
constexpr std::uint8_t kDtdGlow = 0x01;
// The Glow version we announce: 2.31.
constexpr std::uint8_t kGlowMinor = 0x1F;
constexpr std::uint8_t kGlowMajor = 0x02;
// What the CRC of a frame's bytes followed by their own CRC comes to.
constexpr std::uint16_t kCrcResidue = 0xF0B8;
} // namespace s101

// CCITT CRC-16 as S101 uses it (reflected, 0xFFFF start), not yet inverted.
std::uint16_t crc16(const std::uint8_t* data, std::size_t size, std::uint16_t crc = 0xFFFF);

// Whole frames, ready for the socket.
bytes encodeKeepAliveRequest();
bytes encodeKeepAliveResponse();
// A Glow message as one frame, or several when it is longer than a packet.
bytes encodeMessage(const bytes& glow);

// One thing a stream decoder found.
struct s101_event {
    enum class kind {
        message,             // a whole Glow message, in `data`
        keep_alive_request,  // answer with encodeKeepAliveResponse()
        keep_alive_response, //
        error,               // a frame or message was dropped; `what` says why
    };
    kind what;
    bytes data;
    std::string why;
};

// Takes the stream in whatever pieces the socket returns: a frame may be split across reads
// and a read may hold several frames. Memory stays within one frame and one joined message.
class s101_decoder {
public:
    // Decodes `size` bytes and appends what they complete to `out`.
    void feed(const std::uint8_t* data, std::size_t size, std::vector<s101_event>& out);
    void reset();

    std::size_t framesDecoded() const { return m_frames; }
    std::size_t errors() const { return m_errors; }

private:
    void endFrame(std::vector<s101_event>& out);
    void fail(std::vector<s101_event>& out, std::string why);

    enum class state { outside, inside, escaped, overlong };
    state m_state = state::outside;
    bytes m_frame;
    bytes m_message;
    bool m_joining = false;
    std::size_t m_garbage = 0;
    std::size_t m_frames = 0;
    std::size_t m_errors = 0;
};

} // namespace vesk_ember
