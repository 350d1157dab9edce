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
        if (m_length + 12 < capacity) {
            m_text[m_length++] = ' ';
            m_length = static_cast<int>(
                std::to_chars(m_text + m_length, m_text + capacity - 1, value).ptr - m_text);
        }
        m_text[m_length] = '\0';
        return *this;
    }
    // Appends a blank and 1 or 0.
    numeric_line& flag(bool value) noexcept {
        if (m_length + 2 < capacity) {
            m_text[m_length++] = ' ';
            m_text[m_length++] = value ? '1' : '0';
        }
        m_text[m_length] = '\0';
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
    char m_text[capacity] = {};
    int m_length = 0;
};

} // namespace vesk_detail
