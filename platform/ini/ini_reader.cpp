#include "ini_reader.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <unordered_map>

#include "plain_text.h"

namespace vesk_ini {

namespace {

using vesk_text::equalNoCase;
using vesk_text::lowerAscii;
using vesk_text::trim;
using vesk_text::trimmed;

std::string lowered(const std::string& text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), lowerAscii);
    return result;
}

class parser {
public:
    void line(const char* begin, const char* end) {
        ++m_number;
        // Everything from a NUL on is dropped, so no text handed out can hold one.
        if (const void* nul = std::memchr(begin, '\0', static_cast<std::size_t>(end - begin))) {
            end = static_cast<const char*>(nul);
        }
        trim(begin, end);
        if (begin == end || *begin == ';') {
            return;
        }
        if (*begin == '[') {
            header(begin, end);
            return;
        }
        if (m_current == nullptr) {
            unread(m_seen.empty() ? unread_line::beforeAnySection : unread_line::inRepeatedSection,
                   begin, end, 0);
            return;
        }
        const char* equals = std::find(begin, end, '=');
        if (equals == end) {
            m_current->entries.push_back(
                entry{std::string(begin, end), std::string(), false, m_number});
        } else {
            m_current->entries.push_back(
                entry{trimmed(begin, equals), trimmed(equals + 1, end), true, m_number});
        }
    }

    document take() { return std::move(m_doc); }

private:
    void header(const char* begin, const char* end) {
        const char* close = std::find(begin + 1, end, ']');
        std::string name = trimmed(begin + 1, close);
        // A repeated name starts a section that nothing sees: its lines go nowhere.
        auto first = m_seen.emplace(lowered(name), m_number);
        if (!first.second) {
            unread(unread_line::repeatedSection, begin, end, first.first->second);
            m_current = nullptr;
            return;
        }
        m_doc.sections.push_back(section{std::move(name), {}, m_number, close != end});
        m_current = &m_doc.sections.back();
    }

    void unread(unread_line::reason_kind reason, const char* begin, const char* end,
                int firstLine) {
        m_doc.unread.push_back(unread_line{m_number, reason, std::string(begin, end), firstLine});
    }

    document m_doc;
    section* m_current = nullptr;                // only the last section is ever appended to
    std::unordered_map<std::string, int> m_seen; // lowered names and their header lines
    int m_number = 0;
};

} // namespace

document parse(const char* data, std::size_t size) {
    parser p;
    if (data == nullptr) {
        return p.take();
    }
    const char* pos = data;
    const char* const end = data + size;
    if (size >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0) {
        pos += 3;
    }
    while (pos < end) {
        const void* newline = std::memchr(pos, '\n', static_cast<std::size_t>(end - pos));
        const char* lineEnd = newline ? static_cast<const char*>(newline) : end;
        p.line(pos, lineEnd);
        pos = newline ? lineEnd + 1 : end;
    }
    return p.take();
}

bool parseFile(const char* path, document& out) {
    out = document();
    if (path == nullptr) {
        return false;
    }
    std::string nativePath(path);
    std::replace(nativePath.begin(), nativePath.end(), '\\', '/');

    std::ifstream in(nativePath, std::ios::binary);
    if (!in) {
        return false;
    }
    std::string content;
    char chunk[16384];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        content.append(chunk, static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) {
        return false;
    }
    out = parse(content.data(), content.size());
    return true;
}

const section* findSection(const document& doc, const char* name) noexcept {
    for (const section& s : doc.sections) {
        if (equalNoCase(s.name, name)) {
            return &s;
        }
    }
    return nullptr;
}

const entry* findKey(const section& sect, const char* key) noexcept {
    for (const entry& e : sect.entries) {
        if (e.isKey && equalNoCase(e.key, key)) {
            return &e;
        }
    }
    return nullptr;
}

} // namespace vesk_ini
