// The string library driven by a program of operations on a few strings, each checked against
// a model kept on std::string. The model holds the rule that matters most for command lines:
// text inserted by arg() reaches the result literally and is never substituted into later.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "vesk_string.h"
#include "vesk_stringlist.h"

namespace {

const std::size_t maxModelLength = 2048;

// A string as the model sees it: each character knows whether arg() inserted it, and whether
// an insertion point or a join lies right after it (which parts it from its next character).
struct model {
    std::string text;
    std::vector<bool> inserted;
    std::vector<bool> partedFromNext;

    static model literal(const std::string& t) {
        return model{t, std::vector<bool>(t.size(), false), std::vector<bool>(t.size(), false)};
    }

    bool placeholderAt(std::size_t i) const {
        return i + 1 < text.size() && text[i] == '%' && text[i + 1] >= '1' && text[i + 1] <= '9' &&
               !inserted[i] && !inserted[i + 1] && !partedFromNext[i];
    }

    model arg(const std::string& value) const {
        char lowest = 0;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (placeholderAt(i) && (lowest == 0 || text[i + 1] < lowest)) {
                lowest = text[i + 1];
            }
        }
        if (lowest == 0) {
            return *this;
        }
        model out;
        for (std::size_t i = 0; i < text.size();) {
            if (placeholderAt(i) && text[i + 1] == lowest) {
                if (!out.text.empty()) {
                    out.partedFromNext.back() = true;
                }
                out.text += value;
                out.inserted.insert(out.inserted.end(), value.size(), true);
                out.partedFromNext.insert(out.partedFromNext.end(), value.size(), false);
                i += 2;
            } else {
                out.text += text[i];
                out.inserted.push_back(inserted[i]);
                out.partedFromNext.push_back(partedFromNext[i]);
                ++i;
            }
        }
        return out;
    }

    // A join parts its two sides as an insertion point does.
    model operator+(const model& right) const {
        model out = *this;
        if (!out.text.empty()) {
            out.partedFromNext.back() = true;
        }
        out.text += right.text;
        out.inserted.insert(out.inserted.end(), right.inserted.begin(), right.inserted.end());
        out.partedFromNext.insert(out.partedFromNext.end(), right.partedFromNext.begin(),
                                  right.partedFromNext.end());
        return out;
    }

    model part(std::size_t begin, std::size_t end) const {
        model out;
        out.text = text.substr(begin, end - begin);
        out.inserted.assign(inserted.begin() + static_cast<std::ptrdiff_t>(begin),
                            inserted.begin() + static_cast<std::ptrdiff_t>(end));
        out.partedFromNext.assign(partedFromNext.begin() + static_cast<std::ptrdiff_t>(begin),
                                  partedFromNext.begin() + static_cast<std::ptrdiff_t>(end));
        return out;
    }
};

std::string textOf(const vesk_string& s) {
    return std::string(s.c_str(), static_cast<std::size_t>(s.length()));
}

std::string shown(const std::string& s) {
    std::string out;
    for (char c : s) {
        out += (c >= ' ' && c < 0x7f) ? std::string(1, c)
                                      : "\\x" + std::to_string(static_cast<unsigned char>(c));
    }
    return "\"" + out + "\"";
}

void same(const vesk_string& s, const model& m, const char* step) {
    FUZZ_CHECK(s.c_str()[s.length()] == '\0', step);
    FUZZ_CHECK(textOf(s) == m.text,
               std::string(step) + ": got " + shown(textOf(s)) + ", expected " + shown(m.text));
}

// atoi's reading, saturated to the int range.
int expectedInt(const char* text) {
    errno = 0;
    long long value = std::strtoll(text, nullptr, 10);
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

void checkNumbers(const vesk_string& s) {
    int value = s.toInt();
    FUZZ_CHECK(value == expectedInt(s.c_str()),
               shown(textOf(s)) + " read as " + std::to_string(value));
    FUZZ_CHECK(static_cast<int>(s) == value, "operator int differs from toInt");
    int probe = value;
    bool exact = textOf(s) == std::to_string(probe);
    FUZZ_CHECK((s == probe) == exact, shown(textOf(s)) + " == " + std::to_string(probe));
    FUZZ_CHECK((s != probe) == !exact, "operator!= (int) is not the negation of ==");
}

void checkList(const vesk_string& s, char separator) {
    vesk_stringlist list(s, separator);
    std::string t = textOf(s);
    std::vector<std::string> pieces;
    if (!t.empty()) {
        std::size_t begin = 0;
        for (;;) {
            std::size_t at = t.find(separator, begin);
            pieces.push_back(t.substr(begin, at == std::string::npos ? at : at - begin));
            if (at == std::string::npos) {
                break;
            }
            begin = at + 1;
        }
    }
    FUZZ_CHECK(list.count() == static_cast<int>(pieces.size()),
               shown(t) + " split into " + std::to_string(list.count()));
    int i = 0;
    for (vesk_stringlistIterator it = list.begin(); it != list.end(); ++it, ++i) {
        FUZZ_CHECK(textOf(*it) == pieces[static_cast<std::size_t>(i)], "item " + std::to_string(i));
    }
    FUZZ_CHECK(textOf(list.toString(separator)) == t, "join does not give back " + shown(t));

    // Items appended from the list itself survive the list's growth.
    vesk_stringlist copy(list);
    for (int n = 0; n < list.count() && n < 9; ++n) {
        copy.append(copy.at(n));
    }
    copy << vesk_string();
    FUZZ_CHECK(copy.count() == list.count() + std::min(list.count(), 9) + 1, "appends lost");
    for (int n = 0; n < list.count() && n < 9; ++n) {
        FUZZ_CHECK(copy.at(list.count() + n) == list.at(n), "self-append corrupted an item");
    }
    vesk_stringlist assigned;
    assigned = copy;
    assigned = static_cast<vesk_stringlist&&>(copy);
    FUZZ_CHECK(assigned.count() == list.count() + std::min(list.count(), 9) + 1, "move lost");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz_input in(data, size);
    const std::size_t slots = 3;
    vesk_string strings[slots];
    model models[slots];

    for (int step = 0; step < 64 && !in.empty(); ++step) {
        std::size_t a = in.below(slots);
        std::size_t b = in.below(slots);
        vesk_string& s = strings[a];
        model& m = models[a];
        switch (in.below(12)) {
        case 0: {
            std::string t = in.text(256);
            t.resize(std::strlen(t.c_str()));
            s = t.c_str();
            m = model::literal(t);
            same(s, m, "assign");
            break;
        }
        case 1: {
            // A counted text may hold NULs; arg inserts every byte of it.
            std::string t = in.text(64);
            vesk_string value(t.data(), static_cast<int>(t.size()));
            s = s.arg(value);
            m = m.arg(t);
            same(s, m, "arg(text)");
            break;
        }
        case 2: {
            std::string t = in.text(64);
            s = s.arg(t.c_str());
            m = m.arg(std::string(t.c_str()));
            same(s, m, "arg(const char*)");
            break;
        }
        case 3: {
            int number = in.number();
            s = s.arg(number, 0, 0, 10);
            m = m.arg(std::to_string(number));
            same(s, m, "arg(int)");
            break;
        }
        case 4: {
            int number = in.number();
            char fill = static_cast<char>(in.byte());
            unsigned int width = in.byte();
            if (in.flag()) {
                width = static_cast<unsigned int>(in.number());
            }
            int radix = static_cast<int>(in.below(40));
            vesk_string digits(number, fill, width, radix);
            FUZZ_CHECK(digits.length() <= 1024 || digits.length() <= 33, "number field too wide");
            if (fill == 0 && width == 0 && (radix == 10 || radix < 2 || radix > 36)) {
                FUZZ_CHECK(textOf(digits) == std::to_string(number), textOf(digits));
            }
            s = s.arg(number, fill, width, radix);
            m = m.arg(textOf(digits));
            same(s, m, "arg(int, fill, width, radix)");
            break;
        }
        case 5: {
            // The other string, or this one, inserted whole.
            vesk_string value = strings[b];
            std::string t = models[b].text;
            s = s.arg(value);
            m = m.arg(t);
            same(s, m, "arg(own string)");
            break;
        }
        case 6: {
            std::string t = in.text(64);
            t.resize(std::strlen(t.c_str()));
            switch (in.below(5)) {
            case 0:
                s += strings[b];
                m = m + models[b];
                break;
            case 1:
                s = strings[b] + s;
                m = models[b] + m;
                break;
            case 2:
                s = s + t.c_str();
                m = m + model::literal(t);
                break;
            case 3:
                s = t.c_str() + s;
                m = model::literal(t) + m;
                break;
            default: {
                int number = in.number();
                s = s + number;
                m = m + model::literal(std::to_string(number));
                break;
            }
            }
            same(s, m, "concatenation");
            break;
        }
        case 7: {
            // Left and right may be the string itself or each other.
            char separator = static_cast<char>(in.byte());
            std::size_t l = in.below(slots);
            std::size_t r = in.below(slots);
            model whole = m;
            std::size_t at = whole.text.find(separator);
            int position = s.split(separator, strings[l], strings[r]);
            if (at == std::string::npos) {
                FUZZ_CHECK(position == -1, "split found a missing separator");
                models[l] = whole;
                if (r != l) {
                    models[r] = model::literal("");
                }
                if (r == l) {
                    models[l] = model::literal("");
                }
            } else {
                FUZZ_CHECK(position == static_cast<int>(at), "split at the wrong place");
                models[l] = whole.part(0, at);
                models[r] = whole.part(at + 1, whole.text.size());
            }
            same(strings[l], models[l], "split left");
            same(strings[r], models[r], "split right");
            break;
        }
        case 8: {
            if (in.flag()) {
                s = strings[b];
            } else {
                vesk_string moved(strings[b]);
                s = static_cast<vesk_string&&>(moved);
            }
            m = models[b];
            same(s, m, "copy");
            same(strings[b], models[b], "copy source");
            break;
        }
        case 9:
            checkNumbers(s);
            break;
        case 10:
            checkList(s, static_cast<char>(in.byte()));
            break;
        default: {
            const vesk_string& other = strings[b];
            bool equal = m.text == models[b].text;
            FUZZ_CHECK((s == other) == equal && (s != other) == !equal, "string comparison");
            bool equalText = m.text == std::string(other.c_str());
            FUZZ_CHECK((s == other.c_str()) == equalText, "comparison with const char*");
            FUZZ_CHECK((other.c_str() == s) == equalText, "mirrored comparison");
            break;
        }
        }
        // Keep every string short enough that a long program stays fast.
        for (std::size_t i = 0; i < slots; ++i) {
            if (models[i].text.size() > maxModelLength) {
                strings[i] = "";
                models[i] = model::literal("");
            }
        }
    }
    return 0;
}
