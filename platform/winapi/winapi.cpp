#include "vesk_winapi.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include "ini_reader.h"
#include "plain_text.h"

namespace {

void writeToStderr(const char* text, void*) {
    std::fputs(text, stderr);
}

// The lock is held while the sink runs, so once vesk_set_debug_sink returns the old sink is
// never called again and its context may go. Recursive, so a sink may write debug text itself.
std::recursive_mutex sinkLock;
thread_local DWORD lastError = 0;
vesk_debug_sink currentSink = writeToStderr;
void* currentContext = nullptr;

// Cuts `text` to what the buffer holds and terminates it.
DWORD copyText(const char* text, std::size_t length, LPSTR buffer, DWORD size) noexcept {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    std::size_t copied = std::min<std::size_t>(length, size - 1);
    std::memcpy(buffer, text, copied);
    buffer[copied] = '\0';
    return static_cast<DWORD>(copied);
}

// `list` holds every item followed by its NUL; the closing second NUL is added here. A list
// that does not fit is cut and still closed by two NULs, and the result is then size - 2,
// which is how callers learn that they need a larger buffer.
DWORD copyList(const std::string& list, LPSTR buffer, DWORD size) noexcept {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    if (size == 1) {
        buffer[0] = '\0';
        return 0;
    }
    if (list.size() < size) {
        std::memcpy(buffer, list.data(), list.size());
        buffer[list.size()] = '\0';
        if (list.empty()) {
            buffer[1] = '\0';
        }
        return static_cast<DWORD>(list.size());
    }
    std::memcpy(buffer, list.data(), size - 2);
    buffer[size - 2] = '\0';
    buffer[size - 1] = '\0';
    return size - 2;
}

DWORD copyFallback(LPCSTR fallback, LPSTR buffer, DWORD size) noexcept {
    if (fallback == nullptr) {
        fallback = "";
    }
    // Windows drops the trailing blanks of the default.
    std::size_t length = std::strlen(fallback);
    while (length > 0 && (fallback[length - 1] == ' ' || fallback[length - 1] == '\t')) {
        --length;
    }
    return copyText(fallback, length, buffer, size);
}

// An empty item would read as the end of the list and hide every item after it, so empty
// names are left out.
void appendItem(std::string& list, const std::string& item) {
    if (item.empty()) {
        return;
    }
    list += item;
    list += '\0';
}

std::string sectionNames(const vesk_ini::document& doc) {
    std::string list;
    for (const vesk_ini::section& s : doc.sections) {
        appendItem(list, s.name);
    }
    return list;
}

std::string keyNames(const vesk_ini::document& doc, LPCSTR section) {
    std::string list;
    if (const vesk_ini::section* s = vesk_ini::findSection(doc, section)) {
        for (const vesk_ini::entry& e : s->entries) {
            if (e.isKey) {
                appendItem(list, e.key);
            }
        }
    }
    return list;
}

std::string sectionLines(const vesk_ini::document& doc, LPCSTR section) {
    std::string list;
    if (const vesk_ini::section* s = vesk_ini::findSection(doc, section)) {
        for (const vesk_ini::entry& e : s->entries) {
            appendItem(list, e.isKey ? e.key + '=' + e.value : e.key);
        }
    }
    return list;
}

} // namespace

extern "C" {

void OutputDebugStringA(LPCSTR text) {
    std::lock_guard<std::recursive_mutex> hold(sinkLock);
    try {
        currentSink(text ? text : "", currentContext);
    } catch (...) {
        // Debug output is best effort; a failing sink must not take its caller down.
    }
}

void vesk_set_debug_sink(vesk_debug_sink sink, void* context) {
    std::lock_guard<std::recursive_mutex> hold(sinkLock);
    currentSink = sink ? sink : writeToStderr;
    currentContext = sink ? context : nullptr;
}

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR fallback, LPSTR buffer,
                               DWORD size, LPCSTR path) {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    try {
        vesk_ini::document doc;
        vesk_ini::parseFile(path, doc);
        if (section == nullptr) {
            return copyList(sectionNames(doc), buffer, size);
        }
        if (key == nullptr) {
            return copyList(keyNames(doc, section), buffer, size);
        }
        const vesk_ini::section* s = vesk_ini::findSection(doc, section);
        const vesk_ini::entry* e = s ? vesk_ini::findKey(*s, key) : nullptr;
        if (e == nullptr) {
            return copyFallback(fallback, buffer, size);
        }
        std::string value = vesk_text::unquoted(e->value);
        return copyText(value.data(), value.size(), buffer, size);
    } catch (...) {
        // Out of memory: answer as for a file that cannot be read, and say why.
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        if (section == nullptr || key == nullptr) {
            return copyList(std::string(), buffer, size);
        }
        return copyFallback(fallback, buffer, size);
    }
}

DWORD GetPrivateProfileSectionA(LPCSTR section, LPSTR buffer, DWORD size, LPCSTR path) {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    try {
        vesk_ini::document doc;
        vesk_ini::parseFile(path, doc);
        return copyList(sectionLines(doc, section), buffer, size);
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return copyList(std::string(), buffer, size);
    }
}

DWORD GetPrivateProfileSectionNamesA(LPSTR buffer, DWORD size, LPCSTR path) {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    try {
        vesk_ini::document doc;
        vesk_ini::parseFile(path, doc);
        return copyList(sectionNames(doc), buffer, size);
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return copyList(std::string(), buffer, size);
    }
}

DWORD GetLastError(void) {
    return lastError;
}

void SetLastError(DWORD code) {
    lastError = code;
}

} // extern "C"
