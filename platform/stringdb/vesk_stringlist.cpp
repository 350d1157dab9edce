#include "vesk_stringlist.h"

#include <cstring>

vesk_stringlistIterator::~vesk_stringlistIterator() = default;

vesk_stringlist::vesk_stringlist() noexcept : m_items(nullptr), m_count(0), m_capacity(0) {}

vesk_stringlist::vesk_stringlist(const vesk_string& text, char separator) : vesk_stringlist() {
    if (text.length() == 0) {
        return;
    }
    const char* begin = text.c_str();
    const char* end = begin + text.length();
    for (;;) {
        const char* at = static_cast<const char*>(
            std::memchr(begin, separator, static_cast<std::size_t>(end - begin)));
        const char* itemEnd = at ? at : end;
        append(vesk_string(begin, static_cast<int>(itemEnd - begin)));
        if (at == nullptr) {
            break;
        }
        begin = at + 1;
    }
}

vesk_stringlist::vesk_stringlist(const vesk_stringlist& other) : vesk_stringlist() {
    *this = other;
}

vesk_stringlist::vesk_stringlist(vesk_stringlist&& other) noexcept
    : m_items(other.m_items), m_count(other.m_count), m_capacity(other.m_capacity) {
    other.m_items = nullptr;
    other.m_count = 0;
    other.m_capacity = 0;
}

vesk_stringlist::~vesk_stringlist() {
    delete[] m_items;
}

vesk_stringlist& vesk_stringlist::operator=(const vesk_stringlist& other) {
    if (this == &other) {
        return *this;
    }
    // Build the copy aside, so that a failed allocation leaves this list as it was.
    vesk_string* items =
        other.m_count ? new vesk_string[static_cast<std::size_t>(other.m_count)] : nullptr;
    try {
        for (int i = 0; i < other.m_count; ++i) {
            items[i] = other.m_items[i];
        }
    } catch (...) {
        delete[] items;
        throw;
    }
    delete[] m_items;
    m_items = items;
    m_count = other.m_count;
    m_capacity = other.m_count;
    return *this;
}

vesk_stringlist& vesk_stringlist::operator=(vesk_stringlist&& other) noexcept {
    if (this != &other) {
        delete[] m_items;
        m_items = other.m_items;
        m_count = other.m_count;
        m_capacity = other.m_capacity;
        other.m_items = nullptr;
        other.m_count = 0;
        other.m_capacity = 0;
    }
    return *this;
}

void vesk_stringlist::grow(int capacity) {
    vesk_string* items = new vesk_string[static_cast<std::size_t>(capacity)];
    for (int i = 0; i < m_count; ++i) {
        items[i] = static_cast<vesk_string&&>(m_items[i]);
    }
    delete[] m_items;
    m_items = items;
    m_capacity = capacity;
}

void vesk_stringlist::append(const vesk_string& item) {
    if (m_count == m_capacity) {
        // The item may live in this list: copy it before the storage moves.
        vesk_string copy(item);
        grow(m_capacity == 0 ? 4 : m_capacity * 2);
        m_items[m_count++] = static_cast<vesk_string&&>(copy);
        return;
    }
    m_items[m_count] = item;
    ++m_count;
}

vesk_stringlist& vesk_stringlist::operator<<(const vesk_string& item) {
    append(item);
    return *this;
}

vesk_string vesk_stringlist::toString(char separator) const {
    vesk_string joined;
    const char glue[2] = {separator, '\0'};
    for (int i = 0; i < m_count; ++i) {
        if (i > 0) {
            joined += vesk_string(glue, 1);
        }
        joined += m_items[i];
    }
    return joined;
}
