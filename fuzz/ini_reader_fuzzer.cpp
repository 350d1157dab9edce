// The INI parser over any bytes, and the private-profile calls over the same bytes as a file,
// read into buffers of every size: names and values clean and trimmed, first match wins, and
// nothing written past a buffer or left unterminated.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "ini_reader.h"
#include "plain_text.h"
#include "vesk_winapi.h"

namespace {

using vesk_text::isBlank;

void checkClean(const std::string& text, const char* what) {
    FUZZ_CHECK(text.find('\0') == std::string::npos, std::string(what) + " holds a NUL");
    FUZZ_CHECK(text.find('\n') == std::string::npos, std::string(what) + " holds a line end");
    FUZZ_CHECK(text.empty() || (!isBlank(text.front()) && !isBlank(text.back())),
               std::string(what) + " not trimmed: [" + text + "]");
}

void checkDocument(const vesk_ini::document& doc) {
    int lastLine = 0;
    for (const vesk_ini::section& s : doc.sections) {
        checkClean(s.name, "section name");
        FUZZ_CHECK(s.line > lastLine, "section [" + s.name + "] numbered out of order");
        lastLine = s.line;
        FUZZ_CHECK(vesk_ini::findSection(doc, s.name.c_str()) == &s,
                   "section [" + s.name + "] shadowed by another of the same name");
        for (const vesk_ini::entry& e : s.entries) {
            checkClean(e.key, "key");
            checkClean(e.value, "value");
            FUZZ_CHECK(!e.key.empty() || e.isKey, "an empty line was kept");
            FUZZ_CHECK(e.isKey || e.value.empty(), "a line without '=' has a value");
            FUZZ_CHECK(e.key.empty() || e.key[0] != ';', "a comment was kept");
            FUZZ_CHECK(e.line > lastLine, "line of key " + e.key + " numbered out of order");
            lastLine = e.line;
            if (e.isKey) {
                const vesk_ini::entry* first = vesk_ini::findKey(s, e.key.c_str());
                FUZZ_CHECK(first != nullptr && first <= &e, "key " + e.key + " not found first");
                std::string plain = vesk_text::unquoted(e.value);
                FUZZ_CHECK(plain.size() <= e.value.size(), "unquote grew the value");
            }
        }
    }
}

// A scratch file for the private-profile calls, made once per process.
const std::string& scratchFile() {
    static const std::string path = [] {
        // Memory-backed when the system has it: the calls read the file several times a run.
        const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::getenv("TMPDIR");
        std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/vesk-ini-fuzz-XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        int fd = mkstemp(name.data());
        if (fd < 0) {
            fuzz_fail("cannot make a scratch file");
        }
        close(fd);
        std::string made(name.data());
        static std::string removeAtExit;
        removeAtExit = made;
        std::atexit([] { std::remove(removeAtExit.c_str()); });
        return made;
    }();
    return path;
}

// A buffer of exactly `size` characters on the heap, so a write past it is caught.
struct exactBuffer {
    explicit exactBuffer(DWORD n) : size(n), bytes(new char[n ? n : 1]) {
        std::memset(bytes, '\x7f', n ? n : 1);
    }
    ~exactBuffer() { delete[] bytes; }
    exactBuffer(const exactBuffer&) = delete;
    exactBuffer& operator=(const exactBuffer&) = delete;
    DWORD size;
    char* bytes;
};

void checkText(const exactBuffer& b, DWORD result) {
    if (b.size == 0) {
        FUZZ_CHECK(result == 0, "wrote into an empty buffer");
        return;
    }
    FUZZ_CHECK(result < b.size, "result past the buffer");
    FUZZ_CHECK(b.bytes[result] == '\0', "text not terminated at its length");
    FUZZ_CHECK(std::strlen(b.bytes) == result, "length differs from the result");
}

void checkList(const exactBuffer& b, DWORD result) {
    if (b.size == 0) {
        FUZZ_CHECK(result == 0, "wrote into an empty buffer");
        return;
    }
    if (b.size == 1) {
        FUZZ_CHECK(result == 0 && b.bytes[0] == '\0', "one-character list buffer");
        return;
    }
    FUZZ_CHECK(result < b.size, "list result past the buffer");
    FUZZ_CHECK(b.bytes[result] == '\0', "list not terminated at its length");
    // A caller walks item by item up to an empty item; the walk must end inside the buffer.
    DWORD at = 0;
    while (b.bytes[at] != '\0') {
        const void* end = std::memchr(b.bytes + at, '\0', b.size - at);
        FUZZ_CHECK(end != nullptr, "list item runs past the buffer");
        at = static_cast<DWORD>(static_cast<const char*>(end) - b.bytes) + 1;
        FUZZ_CHECK(at < b.size, "list not closed inside the buffer");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz_input in(data, size);
    DWORD bufferSize = in.byte();
    std::string section = in.text(64);
    std::string key = in.text(64);
    std::string content = in.rest();

    vesk_ini::document doc = vesk_ini::parse(content.data(), content.size());
    checkDocument(doc);

    const std::string& path = scratchFile();
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(content.data(), 1, content.size(), f);
        std::fclose(f);
    }
    {
        exactBuffer b(bufferSize);
        checkText(b, GetPrivateProfileStringA(section.c_str(), key.c_str(), "fallback  ", b.bytes,
                                              b.size, path.c_str()));
        // What the parser says the value is, cut to the buffer.
        const vesk_ini::section* s = vesk_ini::findSection(doc, section.c_str());
        const vesk_ini::entry* e = s ? vesk_ini::findKey(*s, key.c_str()) : nullptr;
        std::string want = e ? vesk_text::unquoted(e->value) : std::string("fallback");
        if (b.size > 0) {
            want.resize(std::min<std::size_t>(want.size(), b.size - 1));
            FUZZ_CHECK(want == b.bytes,
                       "read [" + std::string(b.bytes) + "], expected [" + want + "]");
        }
    }
    {
        exactBuffer b(bufferSize);
        checkList(b, GetPrivateProfileStringA(section.c_str(), nullptr, nullptr, b.bytes, b.size,
                                              path.c_str()));
    }
    {
        exactBuffer b(bufferSize);
        checkList(
            b, GetPrivateProfileStringA(nullptr, nullptr, nullptr, b.bytes, b.size, path.c_str()));
    }
    {
        exactBuffer b(bufferSize);
        checkList(b, GetPrivateProfileSectionA(section.c_str(), b.bytes, b.size, path.c_str()));
    }
    {
        exactBuffer b(bufferSize);
        checkList(b, GetPrivateProfileSectionNamesA(b.bytes, b.size, path.c_str()));
    }
    return 0;
}
