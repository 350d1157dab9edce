// ini_reader: the one INI parser. The private-profile stand-in answers from it, and vesk-host's
// system check reads with it, so that a file that checks sound reads the same at run time.
// Internal; not installed.
//
// Parses from memory so that any byte sequence can be fed to it; the only failure it can have
// is running out of memory (std::bad_alloc). Rules, as Windows applies them:
// - Lines end with LF or CR LF; a UTF-8 byte order mark at the very start is skipped.
// - A NUL byte ends the text of its line: names and values never hold a NUL, so they can be
//   handed out as C texts and NUL-separated lists without changing their meaning.
// - Blanks (vesk_text::isBlank) around lines, names, keys and values are trimmed.
// - A line whose first non-blank is ';' is a comment; blank lines and comments are dropped.
//   Nothing else starts a comment: a '#' line is a key or a line like any other.
// - "[name]" starts a section: the name is the trimmed text between '[' and the first ']', or
//   the rest of the line when there is no ']'; anything after the ']' is ignored.
// - Lines before the first section belong to none and are ignored.
// - A line with '=' is a key: the trimmed text before the first '=' is the key, the trimmed
//   text after it the value (quotes kept; see vesk_text::unquoted). A line without '=' stays in its
//   section's listing but is never a key.
// - Names are compared without regard to ASCII case. When a section name comes again, the
//   later section is ignored entirely, lines and name alike, so the first one is the only
//   one any call sees. Within a section, every line is kept; key lookups take the first.
// Lines are numbered from 1 as a text editor counts them; what the reader leaves unread is
// kept apart with its number, so that a check can say where and why.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace vesk_ini {

struct entry {
    std::string key;   // the key, or the whole trimmed line when the line has no '='
    std::string value; // trimmed, quotes kept; empty when the line has no '='
    bool isKey;        // whether the line has '='
    int line;          // its line number
};

struct section {
    std::string name;
    std::vector<entry> entries; // in file order
    int line;                   // the header's line number
    bool closed;                // whether the header has its ']'
};

// A line that holds something (not blank, not a comment) but that no call ever sees.
struct unread_line {
    enum reason_kind {
        beforeAnySection, // the line comes before the first section header
        repeatedSection,  // the header names a section that came before
        inRepeatedSection // the line belongs to such a section
    };
    int line;
    reason_kind reason;
    std::string text; // the trimmed line
    int firstLine;    // for repeatedSection: the line of the section it repeats
};

struct document {
    std::vector<section> sections;   // in file order, each name once
    std::vector<unread_line> unread; // in file order
};

// `data` may be null when `size` is 0.
document parse(const char* data, std::size_t size);

// Reads and parses the file at `path`, whose backslashes are taken as directory separators.
// Returns false, leaving `out` empty, when the file cannot be read.
bool parseFile(const char* path, document& out);

// The first section named `name`, or null.
const section* findSection(const document& doc, const char* name) noexcept;
// The first key `key` of the section, or null. Lines without '=' never match.
const entry* findKey(const section& sect, const char* key) noexcept;

} // namespace vesk_ini
