// numeric_line: a command line of numbers composed on the stack.
//
// The buffer fits the longest line any int values can make: a verb of three letters, four
// numbers of eleven characters each with their blanks, and the six characters of " 'ADD'"
// come to 57 characters. Nothing is ever cut or written past the end.
#pragma once

#include <charconv>
#include <cstring>

namespace vesk_detail {

class numeric_line {
public:
    static const int capacity = 64;

    explicit numeric_line(const char* verb) noexcept { literal(verb); }

    // Appends a blank and the number in decimal, with its sign when negative.
    numeric_line& number(int value) noexcept {
        // The position is kept in a local: a member would be reloaded after every character
        // stored, since a char store may alias anything.
        char* at = m_text + m_length;
        if (m_length + 12 < capacity) {
            *at++ = ' ';
            at = std::to_chars(at, m_text + capacity - 1, value).ptr;
        }
        *at = '\0';
        m_length = static_cast<int>(at - m_text);
        return *this;
    }
    // Appends a blank and 1 or 0.
    numeric_line& flag(bool value) noexcept {
        char* at = m_text + m_length;
        if (m_length + 2 < capacity) {
            *at++ = ' ';
            *at++ = value ? '1' : '0';
        }
        *at = '\0';
        m_length = static_cast<int>(at - m_text);
        return *this;
    }
    // Appends fixed text as it stands, " 'ADD'" for instance.
    numeric_line& literal(const char* text) noexcept {
        int length = static_cast<int>(std::strlen(text));
        if (m_length + length < capacity) {
            std::memcpy(m_text + m_length, text, static_cast<std::size_t>(length));
            m_length += length;
        }
        m_text[m_length] = '\0';
        return *this;
    }

    const char* c_str() const noexcept { return m_text; }
    int length() const noexcept { return m_length; }

private:
    // Always terminated at m_length; nothing beyond is ever read.
    char m_text[capacity];
    int m_length = 0;
};

} // namespace vesk_detail
