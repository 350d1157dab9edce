// The Windows calls stand-in: debugger output and the private-profile reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "debug_capture.h"
#include "temp_system_tree.h"
#include "vesk_winapi.h"

using namespace std::string_literals;

namespace {

const char* const fallbackText = "(default)";

struct call_result {
    DWORD count;
    std::string bytes; // the whole buffer after the call
};

// Runs one call on a buffer of `size` characters filled with '#', followed by a guard that
// must come back untouched.
template <typename Call> call_result run(DWORD size, Call call) {
    std::string store(size + 16, '#');
    DWORD count = call(&store[0], size);
    EXPECT_EQ(store.substr(size), std::string(16, '#')) << "written past the buffer";
    store.resize(size);
    return {count, store};
}

// The text of a string result; checks that it is terminated right after `count` characters.
std::string textOf(const call_result& r) {
    EXPECT_LT(r.count, r.bytes.size());
    if (r.count >= r.bytes.size()) {
        return std::string();
    }
    EXPECT_EQ(r.bytes[r.count], '\0');
    EXPECT_EQ(std::strlen(r.bytes.c_str()), r.count);
    return r.bytes.substr(0, r.count);
}

// The items of a list result; checks that the list ends in two NULs inside the buffer.
std::vector<std::string> itemsOf(const call_result& r) {
    std::vector<std::string> items;
    std::size_t pos = 0;
    while (pos < r.bytes.size() && r.bytes[pos] != '\0') {
        std::size_t nul = r.bytes.find('\0', pos);
        if (nul == std::string::npos) {
            ADD_FAILURE() << "item not terminated";
            return items;
        }
        items.push_back(r.bytes.substr(pos, nul - pos));
        pos = nul + 1;
    }
    EXPECT_LT(pos, r.bytes.size()) << "list not closed";
    // A list cut inside an item counts the characters before the two closing NULs.
    const bool cutInItem = r.count + 2 == r.bytes.size() && pos == r.count + 1;
    if (!items.empty() && !cutInItem) {
        EXPECT_EQ(pos, r.count);
    }
    return items;
}

DWORD fullListCount(const std::vector<std::string>& items) {
    std::size_t count = 0;
    for (const std::string& item : items) {
        count += item.size() + 1;
    }
    return static_cast<DWORD>(count);
}

class ini_test : public ::testing::Test {
protected:
    std::string write(const std::string& content, const std::string& name = "test.ini") const {
        m_tree.writeFile(name, content);
        return m_tree.configDir() + "/" + name;
    }

    static call_result value(const std::string& path, const char* section, const char* key,
                             const char* fallback = fallbackText, DWORD size = 256) {
        return run(size, [&](LPSTR buffer, DWORD n) {
            return GetPrivateProfileStringA(section, key, fallback, buffer, n, path.c_str());
        });
    }
    static std::string text(const std::string& path, const char* section, const char* key,
                            const char* fallback = fallbackText) {
        return textOf(value(path, section, key, fallback));
    }
    static call_result names(const std::string& path, DWORD size = 256) {
        return run(size, [&](LPSTR buffer, DWORD n) {
            return GetPrivateProfileSectionNamesA(buffer, n, path.c_str());
        });
    }
    static call_result keys(const std::string& path, const char* section, DWORD size = 256) {
        return value(path, section, nullptr, fallbackText, size);
    }
    static call_result lines(const std::string& path, const char* section, DWORD size = 256) {
        return run(size, [&](LPSTR buffer, DWORD n) {
            return GetPrivateProfileSectionA(section, buffer, n, path.c_str());
        });
    }

    temp_system_tree m_tree;
};

TEST_F(ini_test, LookupFollowsNamesBlanksCommentsAndQuotes) {
    const std::string path = write("; leading comment\n"
                                   "orphan=before any section\n"
                                   "[Main]\n"
                                   "Key=first\n"
                                   "key=second\n"
                                   "  spaced key   =   spaced value   \n"
                                   "\tquoted = \"  keep blanks  \"\n"
                                   "half=\"open\n"
                                   "single='x'\n"
                                   "inner=a \"b\" c\n"
                                   "onequote=\"\n"
                                   "empty=\n"
                                   "equals=a=b\n"
                                   "semicolon=a;b\n"
                                   "   ;hidden=comment\n"
                                   "bare line\n"
                                   "[ padded name ]   trailing text\n"
                                   "p=1\n"
                                   "[open section\n"
                                   "k=v\n"
                                   "[main]\n"
                                   "Key=duplicate section\n"
                                   "extra=not seen\n"
                                   "[other]\n"
                                   "Key=other\n");
    struct lookup {
        const char* section;
        const char* key;
        std::string expected;
    };
    const lookup table[] = {
        {"Main", "Key", "first"},
        {"MAIN", "KEY", "first"},
        {"main", "key", "first"},
        {"Main", "spaced key", "spaced value"},
        {"Main", "quoted", "  keep blanks  "},
        {"Main", "half", "\"open"},
        {"Main", "single", "'x'"},
        {"Main", "inner", "a \"b\" c"},
        {"Main", "onequote", "\""},
        {"Main", "empty", ""},
        {"Main", "equals", "a=b"},
        {"Main", "semicolon", "a;b"},
        {"Main", ";hidden", fallbackText},
        {"Main", "bare line", fallbackText},
        {"Main", "extra", fallbackText},
        {"padded name", "p", "1"},
        {"open section", "k", "v"},
        {"Other", "key", "other"},
        {"", "orphan", fallbackText},
    };
    for (const lookup& l : table) {
        SCOPED_TRACE(std::string(l.section) + "/" + l.key);
        EXPECT_EQ(text(path, l.section, l.key), l.expected);
    }
}

TEST_F(ini_test, LineEndsAndByteOrderMark) {
    struct file_case {
        const char* what;
        std::string content;
        std::string expected; // of section s, key k
    };
    const file_case table[] = {
        {"CR LF", "[s]\r\nk = v \r\nx=y\r\n", "v"},
        {"CR LF, quoted", "[s]\r\nk=\"q \"\r\n", "q "},
        {"CR LF, header last", "[t]\r\nk=no\r\n[s]\r\nk=v\r\n", "v"},
        {"BOM", "\xEF\xBB\xBF[s]\nk=v\n", "v"},
        {"BOM and CR LF", "\xEF\xBB\xBF[s]\r\nk=v\r\n", "v"},
        {"no final line end", "[s]\nk=v", "v"},
        {"comment with CR LF", "[s]\r\n;k=no\r\nk=v\r\n", "v"},
    };
    for (const file_case& c : table) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(text(write(c.content), "s", "k"), c.expected);
    }
}

TEST_F(ini_test, MissingFileSectionOrKeyGivesTheDefault) {
    const std::string path = write("[s]\nk=v\nblank=\n");
    const std::string missingFile = m_tree.configDir() + "/absent.ini";
    struct fallback_case {
        std::string path;
        const char* section;
        const char* key;
        const char* fallback;
        std::string expected;
    };
    const fallback_case table[] = {
        {missingFile, "s", "k", "d", "d"},
        {path, "t", "k", "d", "d"},
        {path, "s", "x", "d", "d"},
        {path, "s", "x", nullptr, ""},
        {path, "s", "x", "d  \t ", "d"},
        {path, "s", "x", "  d", "  d"},
        {path, "s", "blank", "d", ""},
        {m_tree.configDir(), "s", "k", "d", "d"}, // a folder, not a file
    };
    for (const fallback_case& c : table) {
        SCOPED_TRACE(c.path + " " + c.section + "/" + c.key);
        EXPECT_EQ(text(c.path, c.section, c.key, c.fallback), c.expected);
    }
}

TEST_F(ini_test, StringResultIsCutAndTerminated) {
    const std::string path = write("[s]\nk=abcdef\n");
    struct cut_case {
        DWORD size;
        DWORD count;
        std::string written;
    };
    const cut_case table[] = {
        {0, 0, ""},         {1, 0, "\0"s},       {2, 1, "a\0"s},
        {6, 5, "abcde\0"s}, {7, 6, "abcdef\0"s}, {8, 6, "abcdef\0"s},
    };
    // The value found and a default of the same text are cut alike.
    const char* const keysAndDefaults[][2] = {{"k", "zzz"}, {"missing", "abcdef   "}};
    for (const auto& kd : keysAndDefaults) {
        for (const cut_case& c : table) {
            SCOPED_TRACE(std::string(kd[0]) + " size " + std::to_string(c.size));
            call_result r = value(path, "s", kd[0], kd[1], c.size);
            EXPECT_EQ(r.count, c.count);
            EXPECT_EQ(r.bytes.substr(0, c.written.size()), c.written);
        }
    }
}

TEST_F(ini_test, ListingsGiveNamesKeysAndLinesInFileOrder) {
    const std::string path = write("top=ignored\n"
                                   "[First]\n"
                                   "a=1\n"
                                   " b = \"two\" \n"
                                   "; comment\n"
                                   "\n"
                                   "  bare  \n"
                                   "A=again\n"
                                   "[second]\n"
                                   "[FIRST]\n"
                                   "c=3\n");
    const std::string emptyNames = write("[]\nk=v\n=x\nb=1\n[z]\n", "empty.ini");
    const std::string missingFile = m_tree.configDir() + "/absent.ini";
    using list = std::vector<std::string>;
    struct listing_case {
        const char* what;
        call_result result;
        list expected;
    };
    const listing_case table[] = {
        {"section names", names(path), {"First", "second"}},
        {"keys", keys(path, "first"), {"a", "b", "A"}},
        {"lines", lines(path, "FIRST"), {"a=1", "b=\"two\"", "bare", "A=again"}},
        {"keys of an empty section", keys(path, "second"), {}},
        {"lines of an empty section", lines(path, "second"), {}},
        {"keys of a missing section", keys(path, "third"), {}},
        {"lines of a missing section", lines(path, "third"), {}},
        {"empty names left out", names(emptyNames), {"z"}},
        {"empty keys left out", keys(emptyNames, ""), {"k", "b"}},
        {"lines of a section without name", lines(emptyNames, ""), {"k=v", "=x", "b=1"}},
        {"names of a missing file", names(missingFile), {}},
        {"lines of a missing file", lines(missingFile, "First"), {}},
        {"keys of a missing file", keys(missingFile, "First"), {}},
    };
    for (const listing_case& c : table) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(itemsOf(c.result), c.expected);
        EXPECT_EQ(c.result.count, fullListCount(c.expected));
        if (c.expected.empty()) {
            EXPECT_EQ(c.result.bytes.substr(0, 2), "\0\0"s);
        }
    }
}

TEST_F(ini_test, ListsAreCutWithTwoTerminators) {
    // Each call lists a, bb, ccc: nine characters, ten with the closing NUL.
    const std::string namesFile = write("[a]\n[bb]\n[ccc]\n", "names.ini");
    const std::string keysFile = write("[s]\na=1\nbb=2\nccc=3\n", "keys.ini");
    const std::string linesFile = write("[s]\na\nbb\nccc\n", "lines.ini");
    struct cut_case {
        DWORD size;
        DWORD count;
        std::string written;
    };
    const cut_case table[] = {
        {0, 0, ""},
        {1, 0, "\0"s},
        {2, 0, "\0\0"s},
        {3, 1, "a\0\0"s},
        {5, 3, "a\0b\0\0"s},
        {9, 7, "a\0bb\0cc\0\0"s},
        {10, 9, "a\0bb\0ccc\0\0"s},
        {11, 9, "a\0bb\0ccc\0\0"s},
    };
    for (const cut_case& c : table) {
        SCOPED_TRACE("size " + std::to_string(c.size));
        const call_result results[] = {names(namesFile, c.size), keys(keysFile, "s", c.size),
                                       lines(linesFile, "s", c.size)};
        for (const call_result& r : results) {
            EXPECT_EQ(r.count, c.count);
            EXPECT_EQ(r.bytes.substr(0, c.written.size()), c.written);
        }
    }
}

TEST_F(ini_test, PathsWithBackslashesAndFreshReads) {
    std::string path = write("[s]\nk=old\n");
    std::string windowsPath = path;
    std::replace(windowsPath.begin(), windowsPath.end(), '/', '\\');
    EXPECT_EQ(text(windowsPath, "s", "k"), "old");

    write("[s]\nk=new\n");
    EXPECT_EQ(text(path, "s", "k"), "new");
    EXPECT_EQ(itemsOf(lines(windowsPath, "s")), std::vector<std::string>{"k=new"});
}

TEST_F(ini_test, NulBytesEndTheirLine) {
    const std::string path = write("[s]\nk=ab\0cd\n[t\0u]\nx=1\n\0[hidden]\ny=2\n"s);
    EXPECT_EQ(text(path, "s", "k"), "ab");
    EXPECT_EQ(text(path, "t", "x"), "1");
    EXPECT_EQ(text(path, "t", "y"), "2");
    EXPECT_EQ(itemsOf(names(path)), (std::vector<std::string>{"s", "t"}));
}

// Random bytes drawn mostly from the characters that mean something to the parser: every call
// must keep to its buffer and hand back well-formed results.
TEST_F(ini_test, GarbageIsReadWithoutHarm) {
    const char alphabet[] = "[]=;\"\r\n\t \0\xEF\xBB\xBF"
                            "abAB";
    std::mt19937 random(20240611u);
    std::uniform_int_distribution<std::size_t> pick(0, sizeof alphabet - 1);
    std::uniform_int_distribution<int> anyByte(0, 255);
    std::uniform_int_distribution<std::size_t> length(0, 400);
    for (int round = 0; round < 200; ++round) {
        std::string content;
        for (std::size_t i = length(random); i > 0; --i) {
            content += (i % 7 == 0) ? static_cast<char>(anyByte(random)) : alphabet[pick(random)];
        }
        const std::string path = write(content);
        SCOPED_TRACE("round " + std::to_string(round));
        for (const std::string& section : itemsOf(names(path, 4096))) {
            itemsOf(lines(path, section.c_str(), 4096));
            for (const std::string& key : itemsOf(keys(path, section.c_str(), 4096))) {
                textOf(value(path, section.c_str(), key.c_str(), nullptr, 7));
            }
        }
        for (DWORD size : {1u, 2u, 3u, 17u}) {
            itemsOf(names(path, size));
        }
    }
}

TEST_F(ini_test, VeryLongLines) {
    const std::string longValue(1 << 20, 'v');
    const std::string longName(100000, 'n');
    const std::string path =
        write("[s]\nk=" + longValue + "\n[" + longName + "]\n" + std::string(70000, ' ') + "x=1\n");
    call_result whole = value(path, "s", "k", nullptr, (1 << 20) + 1);
    EXPECT_EQ(whole.count, longValue.size());
    EXPECT_EQ(textOf(whole), longValue);

    call_result cut = value(path, "s", "k", nullptr, 256);
    EXPECT_EQ(textOf(cut), longValue.substr(0, 255));

    EXPECT_EQ(itemsOf(names(path, 200000)), (std::vector<std::string>{"s", longName}));
    EXPECT_EQ(text(path, longName.c_str(), "x"), "1");
}

TEST(debug_output, TextReachesTheSinkUnchanged) {
    debug_capture capture;
    OutputDebugStringA("first line\n");
    OutputDebugStringA("no line end");
    OutputDebugStringA(nullptr);
    OutputDebugStringA("");
    EXPECT_EQ(capture.writes(), (std::vector<std::string>{"first line\n", "no line end", "", ""}));
}

TEST(debug_output, NullSinkRestoresStandardError) {
    {
        debug_capture capture;
        OutputDebugStringA("captured");
    }
    ::testing::internal::CaptureStderr();
    OutputDebugStringA("to stderr");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "to stderr");
}

TEST(debug_output, FailingSinkDoesNotReachTheCaller) {
    vesk_set_debug_sink([](const char*, void*) { throw std::runtime_error("sink failed"); },
                        nullptr);
    EXPECT_NO_THROW(OutputDebugStringA("text"));
    vesk_set_debug_sink(nullptr, nullptr);
}

} // namespace
