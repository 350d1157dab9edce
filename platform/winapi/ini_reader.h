// ini_reader: the INI parser behind the private-profile calls. Internal; not installed.
//
// Parses from memory so that any byte sequence can be fed to it; the only failure it can have
// is running out of memory (std::bad_alloc). Rules, as Windows applies them:
// - Lines end with LF or CR LF; a UTF-8 byte order mark at the very start is skipped.
// - A NUL byte ends the text of its line: names and values never hold a NUL, so they can be
//   handed out as C texts and NUL-separated lists without changing their meaning.
// - Blanks (space, tab, CR, VT, FF) around lines, names, keys and values are trimmed.
// - A line whose first non-blank is ';' is a comment; blank lines and comments are dropped.
// - "[name]" starts a section: the name is the trimmed text between '[' and the first ']', or
//   the rest of the line when there is no ']'; anything after the ']' is ignored.
// - Lines before the first section belong to none and are ignored.
// - A line with '=' is a key: the trimmed text before the first '=' is the key, the trimmed
//   text after it the value (quotes kept; see unquote). A line without '=' stays in its
//   section's listing but is never a key.
// - Names are compared without regard to ASCII case. When a section name comes again, the
//   later section is ignored entirely, lines and name alike, so the first one is the only
//   one any call sees. Within a section, every line is kept; key lookups take the first.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace vesk_ini {

struct entry {
    std::string key;   // the key, or the whole trimmed line when the line has no '='
    std::string value; // trimmed, quotes kept; empty when the line has no '='
    bool isKey;        // whether the line has '='
};

struct section {
    std::string name;
    std::vector<entry> entries; // in file order
};

struct document {
    std::vector<section> sections; // in file order, each name once
};

// `data` may be null when `size` is 0.
document parse(const char* data, std::size_t size);

// Reads and parses the file at `path`, whose backslashes are taken as directory separators.
// Returns false, leaving `out` empty, when the file cannot be read.
bool parseFile(const char* path, document& out);

bool equalNoCase(const std::string& left, const char* right) noexcept;

// The first section named `name`, or null.
const section* findSection(const document& doc, const char* name) noexcept;
// The first key `key` of the section, or null. Lines without '=' never match.
const entry* findKey(const section& sect, const char* key) noexcept;

// The value without its surrounding double quotes when it has a matching pair.
std::string unquote(const std::string& value);

} // namespace vesk_ini
