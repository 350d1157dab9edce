// vesk_string: the text type of the system's string library.
//
// A value type: copies are independent. The text is always NUL-terminated; a null const char*
// is taken as the empty text. Short texts live inside the object, so composing a typical
// command line allocates nothing.
#pragma once

#include "vesk_platform_export.h"

class VESK_STRINGDB_API vesk_string {
public:
    vesk_string() noexcept;
    // Caller-owned; copied before the constructor returns. Null gives the empty text.
    vesk_string(const char* text);
    // The first `length` characters of `text` (which must hold that many).
    vesk_string(const char* text, int length);
    // Text of a number: digits in `radix` (2 to 36; anything else is taken as 10), with a
    // minus sign when negative, padded on the left to `width` characters with `fill` (a blank
    // when fill is 0). Fill 0, width 0, radix 10 give the plain decimal form.
    explicit vesk_string(int number, char fill = 0, unsigned int width = 0, int radix = 10);
    vesk_string(const vesk_string& other);
    vesk_string(vesk_string&& other) noexcept;
    virtual ~vesk_string();

    vesk_string& operator=(const char* text);
    vesk_string& operator=(const vesk_string& other);
    vesk_string& operator=(vesk_string&& other) noexcept;
    vesk_string& operator+=(const vesk_string& other);
    vesk_string& operator+=(const char* text);

    // A copy in which every occurrence of the lowest-numbered placeholder still present
    // ("%1" to "%9") is replaced by the argument. Text inserted by an earlier arg() is never
    // searched for placeholders, so a "%1" inside an argument reaches the result literally.
    // Nor does a placeholder form across a join: "%" + "1" is literal text. Without a
    // placeholder the copy is unchanged.
    vesk_string arg(const vesk_string& value) const;
    vesk_string arg(const char* value) const;
    vesk_string arg(int number, char fill = 0, unsigned int width = 0, int radix = 10) const;

    int length() const noexcept { return m_length; }
    bool isEmpty() const noexcept { return m_length == 0; }

    // The number at the start of the text, as atoi reads it (blanks, sign, digits); 0 when
    // there is none. Values beyond the int range saturate instead of overflowing.
    int toInt() const noexcept;
    operator int() const noexcept { return toInt(); }
    // The NUL-terminated text; valid while this string lives unchanged.
    operator const char*() const noexcept { return m_text; }
    const char* c_str() const noexcept { return m_text; }

    // Divides the text at the first `separator`: left gets what precedes it, right what
    // follows. Without a separator, left is the whole text and right is empty. Returns the
    // position of the separator, or -1.
    int split(char separator, vesk_string& left, vesk_string& right) const;

private:
    struct inserted_spans;

    void assign(const char* text, int length);
    void reserve(int capacity);
    void append(const char* text, int length);
    void appendSpans(const vesk_string& other, int offset);
    void clearSpans() noexcept;
    bool isInserted(int position) const noexcept;
    vesk_string substitute(const char* value, int valueLength) const;

    static const int inlineCapacity = 63;

    char* m_text;
    int m_length;
    int m_capacity;
    // Where earlier arg() calls inserted text that could look like a placeholder; null for
    // the common case of none.
    inserted_spans* m_spans;
    char m_inline[inlineCapacity + 1];
};

VESK_STRINGDB_API vesk_string operator+(const vesk_string& left, const char* right);
VESK_STRINGDB_API vesk_string operator+(const char* left, const vesk_string& right);
VESK_STRINGDB_API vesk_string operator+(const vesk_string& left, const vesk_string& right);
// The number is appended in decimal.
VESK_STRINGDB_API vesk_string operator+(const vesk_string& left, int right);

VESK_STRINGDB_API bool operator==(const vesk_string& left, const char* right);
VESK_STRINGDB_API bool operator==(const vesk_string& left, const vesk_string& right);
// True when the text is exactly the number's decimal form: "1" == 1, but not "01" or " 1".
VESK_STRINGDB_API bool operator==(const vesk_string& left, int right);
VESK_STRINGDB_API bool operator!=(const vesk_string& left, const vesk_string& right);
VESK_STRINGDB_API bool operator!=(const vesk_string& left, const char* right);
VESK_STRINGDB_API bool operator!=(const vesk_string& left, int right);
// Mirrored forms, so that "text" == s never falls back to comparing pointers.
VESK_STRINGDB_API bool operator==(const char* left, const vesk_string& right);
VESK_STRINGDB_API bool operator!=(const char* left, const vesk_string& right);
