// text_line: the two ways a command line with text operands is composed.
//
// A quoted line joins its fields; a filled line puts its values in place of "%1", "%2", ...
// exactly as chained arg() calls would, since arg() never substitutes into text an earlier
// arg() inserted. Either way a "%1" inside an operand reaches the host as it was given.
//
// Both compose the whole line in one pass on the stack and make it a vesk_string once: a
// tally or crosspoint line is built for every event that shows one, so the successive copies
// that chained arg() calls make would dominate the cost of the event.
#pragma once

#include <charconv>
#include <cstring>
#include <string>

#include "vesk_string.h"

namespace vesk_detail {

// One operand as text: a string as it stands, an integer in plain decimal, a flag as 1 or 0.
// Built in place (its text may point into itself), never copied.
class line_piece {
public:
    line_piece(const vesk_string& text) noexcept : m_text(text.c_str()), m_length(text.length()) {}
    line_piece(const char* text) noexcept
        : m_text(text ? text : ""), m_length(static_cast<int>(std::strlen(m_text))) {}
    line_piece(int number) noexcept
        : m_text(m_digits),
          m_length(static_cast<int>(
              std::to_chars(m_digits, m_digits + sizeof m_digits, number).ptr - m_digits)) {}
    line_piece(bool flag) noexcept : m_text(flag ? "1" : "0"), m_length(1) {}
    line_piece(const line_piece&) = delete;
    line_piece& operator=(const line_piece&) = delete;

    int length() const noexcept { return m_length; }
    char* copyTo(char* out) const noexcept {
        std::memcpy(out, m_text, static_cast<std::size_t>(m_length));
        return out + m_length;
    }

private:
    char m_digits[12];
    const char* m_text;
    int m_length;
};

// Runs `write(out)` on a buffer of `room` characters and makes what it wrote a vesk_string;
// `write` returns how much that is, at most `room`. Typical lines fit the stack; a long
// operand takes the heap.
template <class Write> vesk_string composedLine(std::size_t room, Write write) {
    char onStack[256];
    std::string onHeap;
    char* out = onStack;
    if (room > sizeof onStack) {
        onHeap.resize(room);
        out = &onHeap[0];
    }
    std::size_t length = write(out);
    return vesk_string(out, static_cast<int>(length));
}

// The verb followed by each field quoted: "CE 'panel' 'control'". Fields are verbatim: the
// host has no escapes.
template <class... Fields> vesk_string quotedLine(const char* verb, const Fields&... fields) {
    const line_piece pieces[] = {line_piece(verb), line_piece(fields)...};
    std::size_t length = 0;
    for (const line_piece& piece : pieces) {
        length += static_cast<std::size_t>(piece.length()) + 3;
    }
    return composedLine(length - 3, [&pieces, length](char* out) {
        out = pieces[0].copyTo(out);
        for (std::size_t i = 1; i < sizeof...(Fields) + 1; ++i) {
            *out++ = ' ';
            *out++ = '\'';
            out = pieces[i].copyTo(out);
            *out++ = '\'';
        }
        return length - 3;
    });
}

// The format with "%1", "%2", ... replaced by the values in order, which is what chained arg()
// calls give for a format of our own, where each placeholder stands once. Any other '%' is
// literal.
template <class... Values> vesk_string filledLine(const char* format, const Values&... values) {
    const line_piece pieces[] = {line_piece(values)...};
    const int count = static_cast<int>(sizeof...(Values));
    std::size_t room = 0;
    for (const char* at = format; *at != '\0'; ++at) {
        int index = *at == '%' ? at[1] - '1' : -1;
        room += index >= 0 && index < count ? static_cast<std::size_t>(pieces[index].length()) : 1;
    }
    return composedLine(room, [&](char* out) {
        char* begin = out;
        for (const char* at = format; *at != '\0'; ++at) {
            int index = *at == '%' ? at[1] - '1' : -1;
            if (index >= 0 && index < count) {
                out = pieces[index].copyTo(out);
                ++at;
            } else {
                *out++ = *at;
            }
        }
        return static_cast<std::size_t>(out - begin);
    });
}

// The pieces one after another: "TP '", property, "=", value, "' '", ...
template <class... Parts> vesk_string joinedLine(const Parts&... parts) {
    const line_piece pieces[] = {line_piece(parts)...};
    std::size_t length = 0;
    for (const line_piece& piece : pieces) {
        length += static_cast<std::size_t>(piece.length());
    }
    return composedLine(length, [&pieces, length](char* out) {
        for (const line_piece& piece : pieces) {
            out = piece.copyTo(out);
        }
        return length;
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
