// text_line: command lines with text operands, composed in one pass where they are sent.
//
// A line is made of pieces: literals of our own ("RC ", "' '"), the caller's texts, numbers and
// flags. Every piece knows beforehand the most room it takes, so the whole line is measured,
// then written once into a buffer on the stack (the heap only for long texts) and handed to the
// host from there. A tally or crosspoint line goes out for every event that shows one, so the
// line is neither parsed from a format nor made a vesk_string on the way.
//
// Texts go in as they stand: the host has no escapes, and a "%1" inside an operand reaches the
// host as it was given.
#pragma once

#include <climits>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>

#include "decimal.h"
#include "vesk_string.h"

namespace vesk_detail {

// A finished line. It lives where it was composed (it is neither copied nor moved) until the
// end of the statement that sends it.
class composed_line {
public:
    // Runs `write(out)` on a buffer with room for `room` characters; `write` returns the end
    // of what it wrote, never more than `room` characters on.
    template <class Write> composed_line(unsigned long long room, Write write) : m_text(m_onStack) {
        if (room > static_cast<unsigned long long>(INT_MAX) - 1) {
            throw std::bad_alloc(); // no vesk_string could hold it either
        }
        if (room >= sizeof m_onStack) {
            m_onHeap.reset(new char[static_cast<std::size_t>(room) + 1]);
            m_text = m_onHeap.get();
        }
        char* end = write(m_text);
        *end = '\0';
        m_length = static_cast<int>(end - m_text);
    }
    composed_line(const composed_line&) = delete;
    composed_line& operator=(const composed_line&) = delete;

    operator const char*() const noexcept { return m_text; }
    operator vesk_string() const { return vesk_string(m_text, m_length); }

private:
    char m_onStack[256];
    std::unique_ptr<char[]> m_onHeap;
    char* m_text;
    int m_length = 0;
};

// The room each kind of piece takes, and how it is written.
template <std::size_t N> constexpr unsigned long long pieceRoom(const char (&)[N]) noexcept {
    return N - 1;
}
template <std::size_t N> char* putPiece(char* out, const char (&literal)[N]) noexcept {
    std::memcpy(out, literal, N - 1);
    return out + (N - 1);
}

inline unsigned long long pieceRoom(const vesk_string& text) noexcept {
    return static_cast<unsigned long long>(text.length());
}
inline char* putPiece(char* out, const vesk_string& text) noexcept {
    const std::size_t length = static_cast<std::size_t>(text.length());
    std::memcpy(out, text.c_str(), length);
    return out + length;
}

// A text known only at run time; null is empty. A template, so that a literal picks the
// overload above, which knows its length where the line is composed.
template <class Text>
using if_c_text =
    std::enable_if_t<std::is_same<Text, const char*>::value || std::is_same<Text, char*>::value,
                     int>;
template <class Text, if_c_text<Text> = 0> unsigned long long pieceRoom(const Text& text) noexcept {
    return text != nullptr ? std::strlen(text) : 0u;
}
template <class Text, if_c_text<Text> = 0> char* putPiece(char* out, const Text& text) noexcept {
    const std::size_t length = text != nullptr ? std::strlen(text) : 0u;
    std::memcpy(out, text, length);
    return out + length;
}

inline constexpr unsigned long long pieceRoom(int) noexcept {
    return decimalRoom;
}
inline char* putPiece(char* out, int number) noexcept {
    return putDecimal(out, number);
}

// A flag goes out as 1 or 0.
inline constexpr unsigned long long pieceRoom(bool) noexcept {
    return 1;
}
inline char* putPiece(char* out, bool flag) noexcept {
    *out = flag ? '1' : '0';
    return out + 1;
}

// The pieces one after another: joinedLine("RC ", device, " ", source, ...).
template <class... Pieces> composed_line joinedLine(const Pieces&... pieces) {
    return composed_line((pieceRoom(pieces) + ... + 0ull), [&](char* out) {
        ((out = putPiece(out, pieces)), ...);
        return out;
    });
}

// A field in quotes after a blank: " 'panel'".
template <class Field> char* putQuoted(char* out, const Field& field) noexcept {
    out = putPiece(putPiece(out, " '"), field);
    *out = '\'';
    return out + 1;
}

// The verb followed by each field quoted: "CE 'panel' 'control'".
template <class Verb, class... Fields>
composed_line quotedLine(const Verb& verb, const Fields&... fields) {
    return composed_line(pieceRoom(verb) + ((pieceRoom(fields) + 3) + ... + 0ull), [&](char* out) {
        out = putPiece(out, verb);
        ((out = putQuoted(out, fields)), ...);
        return out;
    });
}

// Copies a read reply and hands it back at once, so nothing refers to host text afterwards.
// False, with `copy` untouched, when the host did not answer.
template <class Reply> bool copyReply(Reply&& reply, vesk_string& copy) {
    if (reply.text() == nullptr) {
        return false;
    }
    copy = reply.text();
    reply.release();
    return true;
}

} // namespace vesk_detail
