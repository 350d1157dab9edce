// vesk_stringlist: an ordered list of texts, and its iterator.
#pragma once

#include "vesk_platform_export.h"
#include "vesk_string.h"

class VESK_STRINGDB_API vesk_stringlistIterator {
public:
    // Points into a list's items; valid while the list lives unchanged.
    explicit vesk_stringlistIterator(vesk_string* item = nullptr) noexcept : m_item(item) {}
    virtual ~vesk_stringlistIterator();

    vesk_stringlistIterator& operator++() noexcept {
        ++m_item;
        return *this;
    }
    vesk_string& operator*() const noexcept { return *m_item; }
    bool operator!=(const vesk_stringlistIterator& other) const noexcept {
        return m_item != other.m_item;
    }
    bool operator==(const vesk_stringlistIterator& other) const noexcept {
        return m_item == other.m_item;
    }

private:
    vesk_string* m_item;
};

class VESK_STRINGDB_API vesk_stringlist {
public:
    vesk_stringlist() noexcept;
    // Splits text at every separator, keeping empty items, in order. The empty text gives
    // the empty list.
    vesk_stringlist(const vesk_string& text, char separator);
    vesk_stringlist(const vesk_stringlist& other);
    vesk_stringlist(vesk_stringlist&& other) noexcept;
    virtual ~vesk_stringlist();

    vesk_stringlist& operator=(const vesk_stringlist& other);
    vesk_stringlist& operator=(vesk_stringlist&& other) noexcept;

    void append(const vesk_string& item);
    vesk_stringlist& operator<<(const vesk_string& item);

    // The items joined with the separator between them; the empty list gives the empty text.
    vesk_string toString(char separator) const;

    int count() const noexcept { return m_count; }
    bool isEmpty() const noexcept { return m_count == 0; }
    // Item `index`, 0 <= index < count().
    const vesk_string& at(int index) const noexcept { return m_items[index]; }

    vesk_stringlistIterator begin() const noexcept { return vesk_stringlistIterator(m_items); }
    vesk_stringlistIterator end() const noexcept {
        return vesk_stringlistIterator(m_items + m_count);
    }

private:
    void grow(int capacity);

    vesk_string* m_items;
    int m_count;
    int m_capacity;
};
