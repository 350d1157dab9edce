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
using list = std::vector<std::string>;

namespace {

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
    const char* const table[][3] = {
        {"Main", "Key", "first"},
        {"MAIN", "KEY", "first"},
        {"Main", "spaced key", "spaced value"},
        {"Main", "quoted", "  keep blanks  "},
        {"Main", "half", "\"open"},
        {"Main", "inner", "a \"b\" c"},
        {"Main", "onequote", "\""},
        {"Main", "empty", ""},
        {"Main", "equals", "a=b;c"},
        {"Main", ";hidden", "(default)"},
        {"Main", "bare line", "(default)"},
        {"Main", "extra", "(default)"},
        {"Main", "missing", "(default)"},
        {"missing", "k", "(default)"},
        {"padded name", "p", "1"},
        {"open section", "k", "v"},
        {"last", "k", "no final line end"},
    };
    for (const auto& l : table) {
        SCOPED_TRACE(std::string(l[0]) + "/" + l[1]);
        EXPECT_EQ(textOf(value(path, l[0], l[1])), l[2]);
    }
}

TEST_F(ini_test, DefaultsAndCutTexts) {
    const std::string path = write("[s]\nk=abcdef\n");
    const std::string folder = m_tree.configDir(); // a folder, not a file
    EXPECT_EQ(textOf(value(path + ".absent", "s", "k", "d")), "d");
    EXPECT_EQ(textOf(value(folder, "s", "k", "d")), "d");
    EXPECT_EQ(textOf(value(path, "s", "x", nullptr)), "");
    EXPECT_EQ(textOf(value(path, "s", "x", "  d \t ")), "  d");

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
    } table[] = {
        {"names", names(path), {"First", "second"}},
        {"keys", keys(path, "first"), {"a", "b", "A"}},
        {"lines", lines(path, "FIRST"), {"a=1", "b=\"two\"", "bare", "A=again"}},
        {"keys, empty section", keys(path, "second"), {}},
        {"lines before any section", lines(path, ""), {}},
        {"lines, missing section", lines(path, "third"), {}},
        {"names, missing file", names(path + ".absent"), {}},
        {"empty names", names(emptyNames), {"z"}},
        {"empty keys", keys(emptyNames, ""), {"k"}},
        {"lines, empty section name", lines(emptyNames, ""), {"k=v", "=x"}},
    };
    for (const auto& c : table) {
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

TEST_F(ini_test, ListsAreCutWithTwoTerminators) {
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

TEST_F(ini_test, NulBytesGarbageAndLongLines) {
    // A NUL ends its line.
    std::string path = write("[s]\nk=ab\0cd\n[t\0u]\n\0[hidden]\ny=2\n"s);
    EXPECT_EQ(textOf(value(path, "s", "k")), "ab");
    EXPECT_EQ(textOf(value(path, "t", "y")), "2");
    EXPECT_EQ(itemsOf(names(path)), (list{"s", "t"}));

    // Random bytes, mostly those that mean something to the parser: every call keeps to its
    // buffer and gives well-formed results.
    const char alphabet[] = "[]=;\"\r\n\t \0\xEF\xBB\xBF"
                            "aA";
    std::mt19937 random(20240611u);
    for (int round = 0; round < 200; ++round) {
        std::string content(random() % 400, ' ');
        for (char& c : content) {
            c = (random() % 7 == 0) ? static_cast<char>(random()) : alphabet[random() % 16];
        }
        path = write(content);
        for (const std::string& section : itemsOf(names(path, 4096))) {
            itemsOf(lines(path, section.c_str(), 3));
            for (const std::string& key : itemsOf(keys(path, section.c_str(), 4096))) {
                textOf(value(path, section.c_str(), key.c_str(), nullptr, 7));
            }
        }
    }

    const std::string longValue(1 << 20, 'v');
    const std::string longName(100000, 'n');
    path =
        write("[s]\nk=" + longValue + "\n[" + longName + "]\n" + std::string(70000, ' ') + "x=1\n");
    EXPECT_EQ(textOf(value(path, "s", "k", nullptr, (1 << 20) + 1)), longValue);
    EXPECT_EQ(textOf(value(path, "s", "k", nullptr, 256)), longValue.substr(0, 255));
    EXPECT_EQ(itemsOf(names(path, 200000)), (list{"s", longName}));
    EXPECT_EQ(textOf(value(path, longName.c_str(), "x")), "1");
}

TEST(debug_output, TextReachesTheSinkUnchanged) {
    {
        debug_capture capture;
        OutputDebugStringA("line\n");
        OutputDebugStringA(nullptr);
        OutputDebugStringA("no line end");
        EXPECT_EQ(capture.writes(), (list{"line\n", "", "no line end"}));
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

} // namespace
