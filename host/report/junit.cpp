#include "junit.h"

#include <cstdint>
#include <fstream>
#include <utility>
#include <vector>

#include "kept_text.h"

namespace vesk_host {

namespace {

// Escaped bytes kept of each text, first and last each: the report stays a few megabytes,
// under what XML readers take in one text node, however much a script wrote.
const std::size_t outputKept = 1024 * 1024;
const std::size_t messageKept = 8 * 1024;
const std::size_t nameKept = 1024;

const char replacement[] = "\xEF\xBF\xBD"; // U+FFFD

// The length of the UTF-8 sequence at `i` when it encodes a character that XML 1.0 allows;
// 0 for a byte that is no UTF-8 (a stray or overlong sequence, a surrogate) or a character
// XML forbids (control characters, U+FFFE, U+FFFF).
std::size_t xmlCharacterAt(const std::string& text, std::size_t i) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
        return c >= 0x20 || c == '\t' || c == '\n' || c == '\r' ? 1 : 0;
    }
    std::size_t length = 0;
    std::uint32_t code = 0;
    std::uint32_t least = 0;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
        code = c & 0x1Fu;
        least = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        code = c & 0x0Fu;
        least = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        code = c & 0x07u;
        least = 0x10000;
    } else {
        return 0;
    }
    if (text.size() - i < length) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (next & 0x3Fu);
    }
    bool allowed = code >= least && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF) &&
                   code != 0xFFFE && code != 0xFFFF;
    return allowed ? length : 0;
}

// Appends the character at `i` escaped; returns how many bytes of `text` it took.
std::size_t escapeOne(const std::string& text, std::size_t i, bool attribute, std::string& out) {
    std::size_t length = xmlCharacterAt(text, i);
    if (length == 0) {
        out += replacement;
        return 1;
    }
    if (length > 1) {
        out.append(text, i, length);
        return length;
    }
    switch (text[i]) {
    case '&':
        out += "&amp;";
        break;
    case '<':
        out += "&lt;";
        break;
    case '>':
        out += "&gt;";
        break;
    case '\r':
        out += "&#13;";
        break;
    case '"':
        out += attribute ? "&quot;" : "\"";
        break;
    case '\'':
        out += attribute ? "&apos;" : "'";
        break;
    case '\n':
        out += attribute ? "&#10;" : "\n";
        break;
    case '\t':
        out += attribute ? "&#9;" : "\t";
        break;
    default:
        out += text[i];
    }
    return 1;
}

// `text` escaped for XML, every byte that is no character of it replaced by U+FFFD. When the
// escaped text would pass 2 * `each` bytes, the head and the tail within `each` bytes each
// are kept, and a note between them says how many bytes of `text` were cut.
std::string xmlText(const std::string& text, std::size_t each, bool attribute) {
    std::string head;
    std::size_t at = 0;
    while (at < text.size()) {
        std::string one;
        std::size_t took = escapeOne(text, at, attribute, one);
        if (head.size() + one.size() > each) {
            break;
        }
        head += one;
        at += took;
    }
    if (at == text.size()) {
        return head;
    }
    // The tail starts on a character: never on a continuation byte of one.
    std::size_t from = text.size() - at > each ? text.size() - each : at;
    for (int k = 0;
         k < 3 && from < text.size() && (static_cast<unsigned char>(text[from]) & 0xC0) == 0x80;
         ++k) {
        ++from;
    }
    std::string tail;
    std::vector<std::pair<std::size_t, std::size_t>> starts; // (in text, in tail)
    for (std::size_t i = from; i < text.size();) {
        starts.emplace_back(i, tail.size());
        i += escapeOne(text, i, attribute, tail);
    }
    std::size_t first = 0;
    while (first < starts.size() && tail.size() - starts[first].second > each) {
        ++first;
    }
    if (first < starts.size()) {
        from = starts[first].first;
        tail.erase(0, starts[first].second);
    } else {
        from = text.size();
        tail.clear();
    }
    if (from == at) {
        return head + tail;
    }
    std::string note = cutNote(bytesStoodFor(text, at, from));
    if (attribute) {
        note.pop_back();
        return head + " " + note + " " + tail;
    }
    bool midLine = !head.empty() && head.back() != '\n';
    return head + (midLine ? "\n" : "") + note + tail;
}

} // namespace

bool writeJUnit(const std::string& path, const std::string& suite,
                const std::vector<junit_case>& cases, const std::string& output) {
    std::size_t failures = 0;
    for (const junit_case& c : cases) {
        failures += c.failed ? 1 : 0;
    }
    std::string suiteName = xmlText(suite, nameKept, true);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<testsuites tests=\"" << cases.size() << "\" failures=\"" << failures << "\">\n"
        << "  <testsuite name=\"" << suiteName << "\" tests=\"" << cases.size() << "\" failures=\""
        << failures << "\" errors=\"0\" skipped=\"0\">\n";
    for (const junit_case& c : cases) {
        out << "    <testcase classname=\"" << suiteName << "\" name=\""
            << xmlText(c.name, nameKept, true) << "\"";
        if (c.failed) {
            out << ">\n      <failure message=\"" << xmlText(c.message, messageKept, true) << "\">"
                << xmlText(c.message, messageKept, false) << "</failure>\n    </testcase>\n";
        } else {
            out << "/>\n";
        }
    }
    out << "    <system-out>" << xmlText(output, outputKept, false) << "</system-out>\n"
        << "  </testsuite>\n</testsuites>\n";
    out.close();
    return static_cast<bool>(out);
}

} // namespace vesk_host
