#include "vesk_string.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstring>
#include <new>
#include <stdexcept>
#include <vector>

// Where arg() put text into a string. A '%' or digit inside such a span never starts or
// completes a placeholder, so an argument holding "%1" is never substituted into by a later
// arg(). Spans are kept sorted and disjoint.
struct vesk_string::inserted_spans {
    struct span {
        int begin;
        int end;
    };
    std::vector<span> items;

    void add(int begin, int end) {
        if (!items.empty() && items.back().end >= begin) {
            items.back().end = std::max(items.back().end, end);
        } else {
            items.push_back(span{begin, end});
        }
    }
};

namespace {

const int maxLength = INT_MAX / 2;
// A wider number field than this is clamped: nobody formats a number a kilobyte wide, and an
// unchecked width would let one call allocate gigabytes.
const unsigned int maxFieldWidth = 1024;

int checkedLength(std::size_t length) {
    if (length > static_cast<std::size_t>(maxLength)) {
        throw std::length_error("vesk_string: text too long");
    }
    return static_cast<int>(length);
}

// Digits of `number` in `radix`, sign first, into `out` (room for 34 characters); returns the
// count written.
int formatNumber(int number, int radix, char* out) {
    if (radix == 10 || radix < 2 || radix > 36) {
        return static_cast<int>(std::to_chars(out, out + 34, number).ptr - out);
    }
    static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    char reversed[34];
    int count = 0;
    unsigned int magnitude =
        number < 0 ? 0u - static_cast<unsigned int>(number) : static_cast<unsigned int>(number);
    do {
        reversed[count++] = digits[magnitude % static_cast<unsigned int>(radix)];
        magnitude /= static_cast<unsigned int>(radix);
    } while (magnitude != 0);
    int written = 0;
    if (number < 0) {
        out[written++] = '-';
    }
    while (count > 0) {
        out[written++] = reversed[--count];
    }
    return written;
}

// The number's text with its field width applied. Zero padding goes after the sign.
vesk_string numberText(int number, char fill, unsigned int width, int radix) {
    char digits[34];
    int length = formatNumber(number, radix, digits);
    unsigned int field = std::min(width, maxFieldWidth);
    if (field <= static_cast<unsigned int>(length)) {
        return vesk_string(digits, length);
    }
    char padded[maxFieldWidth];
    int pad = static_cast<int>(field) - length;
    char padChar = fill == 0 ? ' ' : fill;
    int signLength = (padChar == '0' && digits[0] == '-') ? 1 : 0;
    std::memcpy(padded, digits, static_cast<std::size_t>(signLength));
    std::memset(padded + signLength, padChar, static_cast<std::size_t>(pad));
    std::memcpy(padded + signLength + pad, digits + signLength,
                static_cast<std::size_t>(length - signLength));
    return vesk_string(padded, static_cast<int>(field));
}

bool isPlaceholderDigit(char c) {
    return c >= '1' && c <= '9';
}

} // namespace

vesk_string::vesk_string() noexcept
    : m_text(m_inline), m_length(0), m_capacity(inlineCapacity), m_spans(nullptr) {
    m_inline[0] = '\0';
}

vesk_string::vesk_string(const char* text) : vesk_string() {
    if (text != nullptr) {
        assign(text, checkedLength(std::strlen(text)));
    }
}

vesk_string::vesk_string(const char* text, int length) : vesk_string() {
    if (text != nullptr && length > 0) {
        assign(text, length);
    }
}

vesk_string::vesk_string(int number, char fill, unsigned int width, int radix) : vesk_string() {
    if (fill == 0 && width == 0 && (radix == 10 || radix < 2 || radix > 36)) {
        // The plain decimal form, written in place.
        m_length = static_cast<int>(std::to_chars(m_inline, m_inline + 16, number).ptr - m_inline);
        m_inline[m_length] = '\0';
        return;
    }
    *this = numberText(number, fill, width, radix);
}

vesk_string::vesk_string(const vesk_string& other) : vesk_string() {
    *this = other;
}

vesk_string::vesk_string(vesk_string&& other) noexcept
    : m_text(m_inline), m_length(other.m_length), m_capacity(inlineCapacity),
      m_spans(other.m_spans) {
    if (other.m_text != other.m_inline) {
        m_text = other.m_text;
        m_capacity = other.m_capacity;
    } else {
        std::memcpy(m_inline, other.m_inline, static_cast<std::size_t>(other.m_length) + 1);
    }
    other.m_text = other.m_inline;
    other.m_capacity = inlineCapacity;
    other.m_length = 0;
    other.m_inline[0] = '\0';
    other.m_spans = nullptr;
}

vesk_string::~vesk_string() {
    if (m_text != m_inline) {
        delete[] m_text;
    }
    delete m_spans;
}

vesk_string& vesk_string::operator=(const char* text) {
    int length = text ? checkedLength(std::strlen(text)) : 0;
    assign(text, length);
    return *this;
}

vesk_string& vesk_string::operator=(const vesk_string& other) {
    if (this != &other) {
        assign(other.m_text, other.m_length);
        appendSpans(other, 0);
    }
    return *this;
}

vesk_string& vesk_string::operator=(vesk_string&& other) noexcept {
    if (this == &other) {
        return *this;
    }
    if (m_text != m_inline) {
        delete[] m_text;
    }
    delete m_spans;
    if (other.m_text != other.m_inline) {
        m_text = other.m_text;
        m_capacity = other.m_capacity;
    } else {
        m_text = m_inline;
        m_capacity = inlineCapacity;
        std::memcpy(m_inline, other.m_inline, static_cast<std::size_t>(other.m_length) + 1);
    }
    m_length = other.m_length;
    m_spans = other.m_spans;
    other.m_text = other.m_inline;
    other.m_capacity = inlineCapacity;
    other.m_length = 0;
    other.m_inline[0] = '\0';
    other.m_spans = nullptr;
    return *this;
}

vesk_string& vesk_string::operator+=(const vesk_string& other) {
    int offset = m_length;
    if (this == &other) {
        vesk_string copy(other);
        append(copy.m_text, copy.m_length);
        appendSpans(copy, offset);
    } else {
        append(other.m_text, other.m_length);
        appendSpans(other, offset);
    }
    return *this;
}

vesk_string& vesk_string::operator+=(const char* text) {
    if (text != nullptr) {
        append(text, checkedLength(std::strlen(text)));
    }
    return *this;
}

void vesk_string::reserve(int capacity) {
    if (capacity <= m_capacity) {
        return;
    }
    int grown = m_capacity <= maxLength / 2 ? std::max(capacity, m_capacity * 2) : capacity;
    char* text = new char[static_cast<std::size_t>(grown) + 1];
    std::memcpy(text, m_text, static_cast<std::size_t>(m_length) + 1);
    if (m_text != m_inline) {
        delete[] m_text;
    }
    m_text = text;
    m_capacity = grown;
}

void vesk_string::assign(const char* text, int length) {
    clearSpans();
    if (length > m_capacity) {
        // Fresh storage first: text may point into our own.
        char* fresh = new char[static_cast<std::size_t>(length) + 1];
        std::memcpy(fresh, text, static_cast<std::size_t>(length));
        if (m_text != m_inline) {
            delete[] m_text;
        }
        m_text = fresh;
        m_capacity = length;
    } else if (length > 0) {
        std::memmove(m_text, text, static_cast<std::size_t>(length));
    }
    m_length = length;
    m_text[m_length] = '\0';
}

void vesk_string::append(const char* text, int length) {
    if (length <= 0) {
        return;
    }
    if (length > maxLength - m_length) {
        throw std::length_error("vesk_string: text too long");
    }
    // A placeholder never straddles a join: the digit may be text that arg() inserted, and
    // neither a split nor a join keeps any trace of that, so a '%' before a join stays literal.
    int joint = m_length;
    bool partJoint = joint > 0 && m_text[joint - 1] == '%' && isPlaceholderDigit(text[0]) &&
                     !isInserted(joint - 1);
    if (partJoint) {
        // Everything that can fail comes before the text changes.
        if (m_spans == nullptr) {
            m_spans = new inserted_spans;
        }
        m_spans->items.reserve(m_spans->items.size() + 1);
    }
    bool inside = text >= m_text && text <= m_text + m_length;
    std::ptrdiff_t offset = inside ? text - m_text : 0;
    reserve(m_length + length);
    if (inside) {
        text = m_text + offset;
    }
    std::memmove(m_text + m_length, text, static_cast<std::size_t>(length));
    m_length += length;
    m_text[m_length] = '\0';
    if (partJoint) {
        m_spans->add(joint - 1, joint);
    }
}

void vesk_string::appendSpans(const vesk_string& other, int offset) {
    if (other.m_spans == nullptr || other.m_spans->items.empty()) {
        return;
    }
    if (m_spans == nullptr) {
        m_spans = new inserted_spans;
    }
    for (const inserted_spans::span& s : other.m_spans->items) {
        m_spans->add(s.begin + offset, s.end + offset);
    }
}

void vesk_string::clearSpans() noexcept {
    delete m_spans;
    m_spans = nullptr;
}

bool vesk_string::isInserted(int position) const noexcept {
    if (m_spans == nullptr) {
        return false;
    }
    for (const inserted_spans::span& s : m_spans->items) {
        if (position < s.begin) {
            return false;
        }
        if (position < s.end) {
            return true;
        }
    }
    return false;
}

vesk_string vesk_string::substitute(const char* value, int valueLength) const {
    // Every return gives this one object, so that it is built in the caller's place.
    vesk_string result;
    // The lowest placeholder number whose '%' and digit both belong to the format.
    int lowest = 10;
    int occurrences = 0;
    for (const char* p = m_text;
         (p = static_cast<const char*>(
              std::memchr(p, '%', static_cast<std::size_t>(m_text + m_length - p)))) != nullptr;
         ++p) {
        int at = static_cast<int>(p - m_text);
        if (at + 1 >= m_length || !isPlaceholderDigit(p[1]) || isInserted(at) ||
            isInserted(at + 1)) {
            continue;
        }
        int number = p[1] - '0';
        if (number < lowest) {
            lowest = number;
            occurrences = 1;
        } else if (number == lowest) {
            ++occurrences;
        }
    }
    if (lowest == 10) {
        result = *this;
        return result;
    }

    bool valueHasPercent =
        std::memchr(value, '%', static_cast<std::size_t>(valueLength)) != nullptr;
    long long resultLength =
        static_cast<long long>(m_length) + static_cast<long long>(occurrences) * (valueLength - 2);
    if (resultLength > maxLength) {
        throw std::length_error("vesk_string: text too long");
    }
    result.reserve(static_cast<int>(resultLength));
    // Locals throughout: a member would be reloaded after every character stored.
    const char* text = m_text;
    const int length = m_length;
    char* out = result.m_text;
    int written = 0;
    int delta = 0; // how far format positions have moved so far
    std::size_t spanIndex = 0;
    const std::vector<inserted_spans::span>* spans = m_spans ? &m_spans->items : nullptr;
    // Earlier insertions that begin at or before `position` stay marked, moved to where they
    // now stand.
    auto moveSpans = [&](int position) {
        for (; spans && spanIndex < spans->size() && (*spans)[spanIndex].begin <= position;
             ++spanIndex) {
            if (result.m_spans == nullptr) {
                result.m_spans = new inserted_spans;
            }
            result.m_spans->add((*spans)[spanIndex].begin + delta, (*spans)[spanIndex].end + delta);
        }
    };
    // Whole runs of format text are copied at once, from one placeholder to the next.
    int from = 0;
    while (from < length) {
        const char* percent = static_cast<const char*>(
            std::memchr(text + from, '%', static_cast<std::size_t>(length - from)));
        int at = percent ? static_cast<int>(percent - text) : length;
        bool placeholder = percent && at + 1 < length && text[at + 1] - '0' == lowest &&
                           !isInserted(at) && !isInserted(at + 1);
        int run = placeholder || !percent ? at - from : at + 1 - from;
        std::memcpy(out + written, text + from, static_cast<std::size_t>(run));
        written += run;
        from += run;
        if (!placeholder) {
            continue;
        }
        moveSpans(at);
        // A '%' just before the argument must not pair with a digit it brings, nor with the
        // format's next digit when the argument is empty.
        bool afterPercent = written > 0 && out[written - 1] == '%';
        if (valueHasPercent || afterPercent) {
            if (result.m_spans == nullptr) {
                result.m_spans = new inserted_spans;
            }
            result.m_spans->add(afterPercent ? written - 1 : written, written + valueLength);
        }
        std::memcpy(out + written, value, static_cast<std::size_t>(valueLength));
        written += valueLength;
        delta += valueLength - 2;
        from = at + 2;
    }
    moveSpans(length);
    out[written] = '\0';
    result.m_length = written;
    return result;
}

vesk_string vesk_string::arg(const vesk_string& value) const {
    return substitute(value.m_text, value.m_length);
}

vesk_string vesk_string::arg(const char* value) const {
    if (value == nullptr) {
        return substitute("", 0);
    }
    return substitute(value, checkedLength(std::strlen(value)));
}

vesk_string vesk_string::arg(int number, char fill, unsigned int width, int radix) const {
    if (fill == 0 && width == 0 && (radix == 10 || radix < 2 || radix > 36)) {
        char digits[16];
        int length =
            static_cast<int>(std::to_chars(digits, digits + sizeof digits, number).ptr - digits);
        return substitute(digits, length);
    }
    vesk_string text = numberText(number, fill, width, radix);
    return substitute(text.m_text, text.m_length);
}

int vesk_string::toInt() const noexcept {
    const char* p = m_text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) {
        ++p;
    }
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    long long magnitude = 0;
    const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
    for (; *p >= '0' && *p <= '9'; ++p) {
        magnitude = std::min(magnitude * 10 + (*p - '0'), limit);
    }
    return static_cast<int>(negative ? -magnitude : magnitude);
}

int vesk_string::split(char separator, vesk_string& left, vesk_string& right) const {
    const char* at = static_cast<const char*>(
        std::memchr(m_text, separator, static_cast<std::size_t>(m_length)));
    if (at == nullptr) {
        // left may be this very string: copy before touching right.
        vesk_string whole(*this);
        left = static_cast<vesk_string&&>(whole);
        right = "";
        return -1;
    }
    int position = static_cast<int>(at - m_text);
    vesk_string before(m_text, position);
    vesk_string after(m_text + position + 1, m_length - position - 1);
    if (m_spans != nullptr) {
        for (const inserted_spans::span& s : m_spans->items) {
            int b = std::min(s.begin, position);
            int e = std::min(s.end, position);
            if (b < e) {
                if (before.m_spans == nullptr) {
                    before.m_spans = new inserted_spans;
                }
                before.m_spans->add(b, e);
            }
            b = std::max(s.begin, position + 1) - position - 1;
            e = s.end - position - 1;
            if (b < e) {
                if (after.m_spans == nullptr) {
                    after.m_spans = new inserted_spans;
                }
                after.m_spans->add(b, e);
            }
        }
    }
    left = static_cast<vesk_string&&>(before);
    right = static_cast<vesk_string&&>(after);
    return position;
}

vesk_string operator+(const vesk_string& left, const char* right) {
    vesk_string result(left);
    result += right;
    return result;
}

vesk_string operator+(const char* left, const vesk_string& right) {
    vesk_string result(left);
    result += right;
    return result;
}

vesk_string operator+(const vesk_string& left, const vesk_string& right) {
    vesk_string result(left);
    result += right;
    return result;
}

vesk_string operator+(const vesk_string& left, int right) {
    char digits[16];
    *std::to_chars(digits, digits + sizeof digits - 1, right).ptr = '\0';
    vesk_string result(left);
    result += digits;
    return result;
}

bool operator==(const vesk_string& left, const char* right) {
    const char* r = right ? right : "";
    std::size_t length = static_cast<std::size_t>(left.length());
    return std::strlen(r) == length && std::memcmp(left.c_str(), r, length) == 0;
}

bool operator==(const vesk_string& left, const vesk_string& right) {
    return left.length() == right.length() &&
           std::memcmp(left.c_str(), right.c_str(), static_cast<std::size_t>(left.length())) == 0;
}

bool operator==(const vesk_string& left, int right) {
    char digits[16];
    int length =
        static_cast<int>(std::to_chars(digits, digits + sizeof digits, right).ptr - digits);
    return left.length() == length &&
           std::memcmp(left.c_str(), digits, static_cast<std::size_t>(length)) == 0;
}

bool operator!=(const vesk_string& left, const vesk_string& right) {
    return !(left == right);
}

bool operator!=(const vesk_string& left, const char* right) {
    return !(left == right);
}

bool operator!=(const vesk_string& left, int right) {
    return !(left == right);
}

bool operator==(const char* left, const vesk_string& right) {
    return right == left;
}

bool operator!=(const char* left, const vesk_string& right) {
    return !(right == left);
}
