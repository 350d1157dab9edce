// The Windows calls stand-in: debugger output and the private-profile reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "debug_capture.h"
#include "ini_reader.h"
#include "temp_system_tree.h"
#include "vesk_winapi.h"

using namespace std::string_literals;
using list = std::vector<std::string>;

namespace {

// On Windows these tests run against kernel32's own calls. What the stand-in settles where
// Windows reads a file otherwise, or leaves a case open, is checked against the stand-in only.
#if defined(_WIN32)
constexpr bool standIn = false;
#else
constexpr bool standIn = true;
#endif

struct call_result {
    DWORD count;
    std::string bytes; // the whole buffer after the call
};

// Runs a call on a buffer of `size` characters followed by a guard that must stay untouched.
template <typename Call> call_result run(DWORD size, Call call) {
    std::string store(size + 16, '#');
    DWORD count = call(&store[0], size);
    EXPECT_EQ(store.substr(size), std::string(16, '#')) << "written past the buffer";
    store.resize(size);
    return {count, store};
}

// A text result, checked to end right after the characters counted.
std::string textOf(const call_result& r) {
    EXPECT_TRUE(r.count < r.bytes.size() && std::strlen(r.bytes.c_str()) == r.count);
    return r.bytes.c_str();
}

// A list result, checked to be closed by two NULs within the buffer and counted right (a list
// cut inside an item counts the characters before the two closing NULs).
list itemsOf(const call_result& r) {
    list items;
    std::size_t pos = 0;
    while (pos < r.bytes.size() && r.bytes[pos] != '\0') {
        items.push_back(r.bytes.c_str() + pos);
        pos += items.back().size() + 1;
    }
    EXPECT_LT(pos, r.bytes.size()) << "list not closed";
    EXPECT_TRUE(items.empty() || pos == r.count ||
                (pos == r.count + 1 && pos + 1 == r.bytes.size()));
    return items;
}

class ini_test : public ::testing::Test {
protected:
    std::string write(const std::string& content, const std::string& name = "test.ini") const {
        m_tree.writeFile(name, content);
        return m_tree.configDir() + "/" + name;
    }
    static call_result value(const std::string& path, const char* section, const char* key,
                             const char* fallback = "(default)", DWORD size = 256) {
        return run(size, [&](LPSTR buffer, DWORD n) {
            return GetPrivateProfileStringA(section, key, fallback, buffer, n, path.c_str());
        });
    }
    static call_result names(const std::string& path, DWORD size = 256) {
        return run(size, [&](LPSTR b, DWORD n) {
            return GetPrivateProfileSectionNamesA(b, n, path.c_str());
        });
    }
    static call_result keys(const std::string& path, const char* section, DWORD size = 256) {
        return value(path, section, nullptr, "(default)", size);
    }
    static call_result lines(const std::string& path, const char* section, DWORD size = 256) {
        return run(size, [&](LPSTR b, DWORD n) {
            return GetPrivateProfileSectionA(section, b, n, path.c_str());
        });
    }

    temp_system_tree m_tree;
};

// What the stand-in settles and kernel32 implementations disagree on.
class ini_stand_in_test : public ini_test {
protected:
    void SetUp() override {
        if constexpr (!standIn) {
            GTEST_SKIP() << "the stand-in's own rule";
        }
    }
};

TEST_F(ini_test, LookupFollowsNamesBlanksCommentsAndQuotes) {
    const std::string path = write("\xEF\xBB\xBF[Main]\r\n"
                                   "Key=first\r\n"
                                   "key=second\n"
                                   "  spaced key   =   spaced value   \r\n"
                                   "\tquoted = \"  keep blanks  \"\r\n"
                                   "half=\"open\n"
                                   "inner=a \"b\" c\n"
                                   "onequote=\"\n"
                                   "empty=\n"
                                   "equals=a=b;c\n"
                                   "   ;hidden=comment\n"
                                   "bare line\n"
                                   "[ padded name ]   trailing text\n"
                                   "p=1\n"
                                   "[open section\n"
                                   "k=v\n"
                                   "[main]\n"
                                   "extra=duplicate section, never seen\n"
                                   "[last]\n"
                                   "k=no final line end");
    const struct {
        const char* section;
        const char* key;
        const char* expected;
        bool standInOnly = false; // Windows has no comments and takes "[open" for no section
    } table[] = {
        {"Main", "Key", "first"},
        {"MAIN", "KEY", "first"},
        {"Main", "spaced key", "spaced value"},
        {"Main", "quoted", "  keep blanks  "},
        {"Main", "half", "\"open"},
        {"Main", "inner", "a \"b\" c"},
        {"Main", "onequote", "\""},
        {"Main", "empty", ""},
        {"Main", "equals", "a=b;c"},
        {"Main", ";hidden", "(default)", true},
        {"Main", "bare line", "(default)"},
        {"Main", "extra", "(default)"},
        {"Main", "missing", "(default)"},
        {"missing", "k", "(default)"},
        {"padded name", "p", "1"},
        {"open section", "k", "v", true},
        {"last", "k", "no final line end"},
    };
    for (const auto& l : table) {
        if (l.standInOnly && !standIn) {
            continue;
        }
        SCOPED_TRACE(std::string(l.section) + "/" + l.key);
        EXPECT_EQ(textOf(value(path, l.section, l.key)), l.expected);
    }
}

TEST_F(ini_test, DefaultsAndCutTexts) {
    const std::string path = write("[s]\nk=abcdef\n");
    const std::string folder = m_tree.configDir(); // a folder, not a file
    EXPECT_EQ(textOf(value(path + ".absent", "s", "k", "d")), "d");
    EXPECT_EQ(textOf(value(folder, "s", "k", "d")), "d");
    EXPECT_EQ(textOf(value(path, "s", "x", nullptr)), "");
    EXPECT_EQ(textOf(value(path, "s", "x", "  d  ")), "  d");
    if constexpr (standIn) { // Windows drops trailing spaces only
        EXPECT_EQ(textOf(value(path, "s", "x", "  d \t ")), "  d");
    }

    // The value found and a default of the same text are cut alike.
    const struct {
        DWORD size;
        DWORD count;
        std::string written;
    } table[] = {{0, 0, ""},         {1, 0, "\0"s},       {2, 1, "a\0"s},
                 {6, 5, "abcde\0"s}, {7, 6, "abcdef\0"s}, {8, 6, "abcdef\0"s}};
    for (const auto& c : table) {
        for (const char* key : {"k", "missing"}) {
            SCOPED_TRACE(std::string(key) + " size " + std::to_string(c.size));
            call_result r = value(path, "s", key, "abcdef  ", c.size);
            EXPECT_EQ(r.count, c.count);
            EXPECT_EQ(r.bytes.substr(0, c.written.size()), c.written);
        }
    }
}

TEST_F(ini_test, ListingsGiveNamesKeysAndLinesInFileOrder) {
    const std::string path = write("top=ignored\n[First]\na=1\n b = \"two\" \n; comment\n\n"
                                   "  bare  \nA=again\n[second]\n[FIRST]\nc=3\n");
    // An empty name would end a list early, so it is left out.
    const std::string emptyNames = write("[]\nk=v\n=x\n[z]\n", "empty.ini");
    const struct {
        const char* what;
        call_result result;
        list expected;
        // Windows lists a repeated section twice, answers a keyless section with the
        // default, reads lines before any section as a section without name, and closes
        // an empty list with one NUL.
        bool standInOnly = false;
    } table[] = {
        {"names", names(path), {"First", "second"}, true},
        {"keys", keys(path, "first"), {"a", "b", "A"}},
        {"lines", lines(path, "FIRST"), {"a=1", "b=\"two\"", "bare", "A=again"}},
        {"keys, empty section", keys(path, "second"), {}, true},
        {"lines before any section", lines(path, ""), {}, true},
        {"lines, missing section", lines(path, "third"), {}},
        {"names, missing file", names(path + ".absent"), {}, true},
        {"empty names", names(emptyNames), {"z"}},
        {"empty keys", keys(emptyNames, ""), {"k"}, true},
        {"lines, empty section name", lines(emptyNames, ""), {"k=v", "=x"}, true},
    };
    for (const auto& c : table) {
        if (c.standInOnly && !standIn) {
            continue;
        }
        SCOPED_TRACE(c.what);
        EXPECT_EQ(itemsOf(c.result), c.expected);
        DWORD count = 0;
        for (const std::string& item : c.expected) {
            count += static_cast<DWORD>(item.size() + 1);
        }
        EXPECT_EQ(c.result.count, count);
        if (count == 0) {
            EXPECT_EQ(c.result.bytes.substr(0, 2), "\0\0"s);
        }
    }
}

TEST_F(ini_stand_in_test, ListsAreCutWithTwoTerminators) {
    // Each call lists a, bb, ccc: nine characters, ten with the closing NUL.
    const std::string namesFile = write("[a]\n[bb]\n[ccc]\n", "names.ini");
    const std::string keysFile = write("[s]\na=1\nbb=2\nccc=3\n", "keys.ini");
    const std::string linesFile = write("[s]\na\nbb\nccc\n", "lines.ini");
    const struct {
        DWORD size;
        DWORD count;
        std::string written;
    } table[] = {{0, 0, ""},
                 {1, 0, "\0"s},
                 {2, 0, "\0\0"s},
                 {3, 1, "a\0\0"s},
                 {9, 7, "a\0bb\0cc\0\0"s},
                 {10, 9, "a\0bb\0ccc\0\0"s}};
    for (const auto& c : table) {
        SCOPED_TRACE("size " + std::to_string(c.size));
        for (const call_result& r : {names(namesFile, c.size), keys(keysFile, "s", c.size),
                                     lines(linesFile, "s", c.size)}) {
            EXPECT_EQ(r.count, c.count);
            EXPECT_EQ(r.bytes.substr(0, c.written.size()), c.written);
        }
    }
}

TEST_F(ini_test, PathsWithBackslashesAndFreshReads) {
    std::string path = write("[s]\nk=old\n");
    std::replace(path.begin(), path.end(), '/', '\\');
    EXPECT_EQ(textOf(value(path, "s", "k")), "old");
    write("[s]\nk=new\n");
    EXPECT_EQ(itemsOf(lines(path, "s")), list{"k=new"});
}

TEST_F(ini_test, NulBytesAndLongLines) {
    // A NUL ends its line.
    std::string path = write("[s]\nk=ab\0cd\n[t\0u]\n\0[hidden]\ny=2\n"s);
    EXPECT_EQ(textOf(value(path, "s", "k")), "ab");
    EXPECT_EQ(textOf(value(path, "t", "y")), "2");
    EXPECT_EQ(itemsOf(names(path)), (list{"s", "t"}));

    const std::string longValue(1 << 20, 'v');
    const std::string longName(100000, 'n');
    path =
        write("[s]\nk=" + longValue + "\n[" + longName + "]\n" + std::string(70000, ' ') + "x=1\n");
    EXPECT_EQ(textOf(value(path, "s", "k", nullptr, (1 << 20) + 1)), longValue);
    EXPECT_EQ(textOf(value(path, "s", "k", nullptr, 256)), longValue.substr(0, 255));
    EXPECT_EQ(itemsOf(names(path, 200000)), (list{"s", longName}));
    if constexpr (standIn) { // Wine's reader faults on a section name this long
        EXPECT_EQ(textOf(value(path, longName.c_str(), "x")), "1");
    }
}

// Random bytes, mostly those that mean something to the parser: every call keeps to its buffer
// and gives well-formed results.
TEST_F(ini_stand_in_test, GarbageIsReadWithoutHarm) {
    const char alphabet[] = "[]=;\"\r\n\t \0\xEF\xBB\xBF"
                            "aA";
    std::mt19937 random(20240611u);
    for (int round = 0; round < 200; ++round) {
        std::string content(random() % 400, ' ');
        for (char& c : content) {
            c = (random() % 7 == 0) ? static_cast<char>(random()) : alphabet[random() % 16];
        }
        const std::string path = write(content);
        for (const std::string& section : itemsOf(names(path, 4096))) {
            itemsOf(lines(path, section.c_str(), 3));
            for (const std::string& key : itemsOf(keys(path, section.c_str(), 4096))) {
                textOf(value(path, section.c_str(), key.c_str(), nullptr, 7));
            }
        }
    }
}

// The reader numbers what it reads, and keeps apart, with its number and why, every line it
// leaves unread, for a check to point at.
TEST(ini_reader, LineNumbersAndUnreadLines) {
    const std::string text = "\xEF\xBB\xBF; comment\r\n"
                             "early=1\n"
                             "# early\n"
                             "\n"
                             "[One]\r\n"
                             "  a = \"x\"  \n"
                             "#b=2\n"
                             "plain\n"
                             "[Two\n"
                             "[one]\n"
                             "a=again\n"
                             "[Three]\n";
    vesk_ini::document doc = vesk_ini::parse(text.data(), text.size());
    ASSERT_EQ(doc.sections.size(), 3u);
    const vesk_ini::section& one = doc.sections[0];
    EXPECT_EQ(one.name, "One");
    EXPECT_EQ(one.line, 5);
    EXPECT_TRUE(one.closed);
    ASSERT_EQ(one.entries.size(), 3u);
    const struct {
        const char* key;
        const char* value;
        bool isKey;
        int line;
    } entries[] = {{"a", "\"x\"", true, 6}, {"#b", "2", true, 7}, {"plain", "", false, 8}};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(one.entries[i].key, entries[i].key) << i;
        EXPECT_EQ(one.entries[i].value, entries[i].value) << i;
        EXPECT_EQ(one.entries[i].isKey, entries[i].isKey) << i;
        EXPECT_EQ(one.entries[i].line, entries[i].line) << i;
    }
    EXPECT_EQ(doc.sections[1].name, "Two");
    EXPECT_EQ(doc.sections[1].line, 9);
    EXPECT_FALSE(doc.sections[1].closed);
    EXPECT_EQ(doc.sections[2].line, 12);

    using u = vesk_ini::unread_line;
    const struct {
        int line;
        u::reason_kind reason;
        const char* text;
        int firstLine;
    } unread[] = {{2, u::beforeAnySection, "early=1", 0},
                  {3, u::beforeAnySection, "# early", 0},
                  {10, u::repeatedSection, "[one]", 5},
                  {11, u::inRepeatedSection, "a=again", 0}};
    ASSERT_EQ(doc.unread.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(doc.unread[i].line, unread[i].line) << i;
        EXPECT_EQ(doc.unread[i].reason, unread[i].reason) << i;
        EXPECT_EQ(doc.unread[i].text, unread[i].text) << i;
        if (unread[i].reason == u::repeatedSection) {
            EXPECT_EQ(doc.unread[i].firstLine, unread[i].firstLine) << i;
        }
    }
}

TEST(debug_output, TextReachesTheDebuggerOutputUnchanged) {
    debug_capture capture;
    OutputDebugStringA("line\n");
    OutputDebugStringA("");
    OutputDebugStringA("no line end");
    EXPECT_EQ(capture.writes(), (list{"line\n", "", "no line end"}));
}

#if !defined(_WIN32)
TEST(debug_output, StandInSink) {
    {
        debug_capture capture;
        OutputDebugStringA(nullptr);
        EXPECT_EQ(capture.writes(), list{""});
    }
    // Removing the sink restores standard error.
    ::testing::internal::CaptureStderr();
    OutputDebugStringA("to stderr");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "to stderr");

    // A failing sink must not take the caller down.
    vesk_set_debug_sink([](const char*, void*) { throw std::runtime_error("sink"); }, nullptr);
    EXPECT_NO_THROW(OutputDebugStringA("text"));
    vesk_set_debug_sink(nullptr, nullptr);
}
#endif

} // namespace
