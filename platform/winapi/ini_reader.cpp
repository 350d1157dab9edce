#include "ini_reader.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <unordered_set>

namespace vesk_ini {

namespace {

bool isBlank(char c) noexcept {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

char lowerAscii(char c) noexcept {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// [begin, end) without the blanks at either side.
void trim(const char*& begin, const char*& end) noexcept {
    while (begin < end && isBlank(*begin)) {
        ++begin;
    }
    while (end > begin && isBlank(end[-1])) {
        --end;
    }
}

std::string trimmed(const char* begin, const char* end) {
    trim(begin, end);
    return std::string(begin, end);
}

std::string lowered(const std::string& text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), lowerAscii);
    return result;
}

class parser {
public:
    void line(const char* begin, const char* end) {
        // Everything from a NUL on is dropped, so no text handed out can hold one.
        if (const void* nul = std::memchr(begin, '\0', static_cast<std::size_t>(end - begin))) {
            end = static_cast<const char*>(nul);
        }
        trim(begin, end);
        if (begin == end || *begin == ';') {
            return;
        }
        if (*begin == '[') {
            header(begin + 1, end);
            return;
        }
        if (m_current == nullptr) {
            return;
        }
        const char* equals = std::find(begin, end, '=');
        if (equals == end) {
            m_current->entries.push_back(entry{std::string(begin, end), std::string(), false});
        } else {
            m_current->entries.push_back(
                entry{trimmed(begin, equals), trimmed(equals + 1, end), true});
        }
    }

    document take() { return std::move(m_doc); }

private:
    void header(const char* begin, const char* end) {
        std::string name = trimmed(begin, std::find(begin, end, ']'));
        // A repeated name starts a section that nothing sees: its lines go nowhere.
        if (!m_seen.insert(lowered(name)).second) {
            m_current = nullptr;
            return;
        }
        m_doc.sections.push_back(section{std::move(name), {}});
        m_current = &m_doc.sections.back();
    }

    document m_doc;
    section* m_current = nullptr; // only the last section is ever appended to
    std::unordered_set<std::string> m_seen;
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

bool equalNoCase(const std::string& left, const char* right) noexcept {
    if (right == nullptr) {
        return false;
    }
    std::size_t i = 0;
    for (; i < left.size() && right[i] != '\0'; ++i) {
        if (lowerAscii(left[i]) != lowerAscii(right[i])) {
            return false;
        }
    }
    return i == left.size() && right[i] == '\0';
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

std::string unquote(const std::string& value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

} // namespace vesk_ini
