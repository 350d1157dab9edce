// What a script can make grow is kept within bounds, and what vesk-host writes of it stays
// readable: the kept head and tail of texts, the JUnit report, the transcript on a reader that
// pauses, and scenario files that are not plain text.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "junit.h"
#include "kept_text.h"
#include "scenario_parser.h"
#include "transcript.h"

#if !defined(_WIN32)
#include <chrono>
#include <csignal>
#include <future>
#include <thread>

#include <unistd.h>
#endif

using namespace vesk_host;
namespace fs = std::filesystem;

namespace {

std::string readWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

fs::path scratch(const std::string& name) {
    return fs::temp_directory_path() /
           ("vesk_bounds_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "_" + name);
}

std::string between(const std::string& text, const std::string& open, const std::string& close) {
    std::size_t from = text.find(open);
    std::size_t to = from == std::string::npos ? from : text.find(close, from + open.size());
    if (to == std::string::npos) {
        return "(missing " + open + ")";
    }
    return text.substr(from + open.size(), to - from - open.size());
}

} // namespace

TEST(KeptText, HeadAndTailWithWhatWasCut) {
    const struct {
        std::size_t head;
        std::size_t tail;
        std::vector<std::string> appends;
        std::string kept;
    } rows[] = {
        {8, 4, {"abc", "def\n"}, "abcdef\n"},
        {4, 4, {"abcdefghij"}, "abcdefghij"}, // within head + 2 * tail: nothing cut
        {4, 2, {"0123", "456789"}, "0123\n[vesk-host cut 4 bytes here]\n89"},
        {3, 2, {"ab\n", "cdefg", "hijk"}, "ab\n[vesk-host cut 7 bytes here]\njk"},
        {2, 1, {"x", "y", "z", "w", "v", "u"}, "xy\n[vesk-host cut 2 bytes here]\nvu"},
        {0, 3, {"abcdefghijklmnop"}, "[vesk-host cut 13 bytes here]\nnop"},
    };
    for (const auto& row : rows) {
        kept_text kept(row.head, row.tail);
        std::uint64_t written = 0;
        for (const std::string& a : row.appends) {
            kept.append(a);
            written += a.size();
            EXPECT_LE(kept.held(), row.head + 2 * row.tail);
        }
        EXPECT_EQ(kept.text(), row.kept) << row.appends[0];
        EXPECT_EQ(kept.written(), written);
    }
}

TEST(KeptText, MemoryStaysFlatAndFollowersSeeWhatWasCut) {
    kept_text kept(1000, 1000);
    std::uint64_t follower = 0;
    std::string line(99, '.');
    line += '\n';
    std::string seen;
    for (int i = 0; i < 100000; ++i) {
        kept.append(line);
        ASSERT_LE(kept.held(), 3000u);
        if (i == 5 || i == 99990) {
            seen += kept.since(follower);
        }
    }
    seen += kept.since(follower);
    EXPECT_EQ(follower, kept.written());
    EXPECT_EQ(kept.since(follower), "") << "nothing new";
    // The head whole, one note, the end; every byte written is either shown or counted.
    std::string head;
    for (int i = 0; i < 10; ++i) {
        head += line;
    }
    ASSERT_EQ(seen.compare(0, head.size(), head), 0);
    const std::string noteStart = "[vesk-host cut ";
    std::size_t note = seen.find(noteStart);
    ASSERT_EQ(note, head.size());
    std::size_t noteEnd = seen.find(" bytes here]\n", note);
    std::uint64_t cut = std::stoull(seen.substr(note + noteStart.size()));
    std::size_t after = seen.size() - (noteEnd + 13);
    EXPECT_EQ(head.size() + cut + after, kept.written());
    EXPECT_LE(after, 2000u + 900u) << "the tail when last followed, and what came since";
    EXPECT_EQ(seen.substr(seen.size() - 100), line);
    kept.clear();
    EXPECT_TRUE(kept.empty());
    EXPECT_EQ(kept.text(), "");
}

#if !defined(_WIN32)
TEST(KeptText, TheFileForASupervisorHoldsWhatMemoryHolds) {
    const struct {
        std::size_t head;
        std::size_t tail;
        std::size_t pieces;
        std::size_t pieceSize;
    } rows[] = {{16, 8, 3, 5}, {16, 8, 50, 7}, {10, 10, 1000, 3}, {64, 32, 200, 64}};
    for (const auto& row : rows) {
        std::FILE* file = std::tmpfile();
        ASSERT_NE(file, nullptr);
        kept_file onDisk(fileno(file), row.head, row.tail);
        kept_text inMemory(row.head, row.tail);
        for (std::size_t i = 0; i < row.pieces; ++i) {
            std::string piece(row.pieceSize, static_cast<char>('a' + i % 26));
            piece.back() = i % 3 == 0 ? '\n' : piece.back();
            onDisk.append(piece);
            inMemory.append(piece);
        }
        std::string content;
        char buffer[4096];
        std::size_t got = 0;
        std::rewind(file);
        while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
            content.append(buffer, got);
        }
        std::fclose(file);
        EXPECT_EQ(content, inMemory.text()) << row.pieces << " pieces of " << row.pieceSize;
        EXPECT_LE(content.size(), row.head + 2 * row.tail + 64);
    }
}
#endif

TEST(JUnitReport, EveryByteBecomesWellFormedXml) {
    const std::string bad = "\xEF\xBF\xBD"; // U+FFFD
    const struct {
        const char* what;
        std::string output;
        std::string written;
    } rows[] = {
        {"markup", "a & b < c > d ]]> \"q\" 'a'", "a &amp; b &lt; c &gt; d ]]&gt; \"q\" 'a'"},
        {"text of every length", "caf\xC3\xA9 \xE6\xBC\xA2 \xF0\x9F\x98\x80",
         "caf\xC3\xA9 \xE6\xBC\xA2 \xF0\x9F\x98\x80"},
        {"line ends and tabs", "a\tb\r\nc\n", "a\tb&#13;\nc\n"},
        {"a byte that is no UTF-8", "x\xFFy\x80z", "x" + bad + "y" + bad + "z"},
        {"control characters", std::string("a\x01\x1B[31m\x7F", 8), "a" + bad + bad + "[31m\x7F"},
        {"NUL", std::string("a\0b", 3), "a" + bad + "b"},
        {"a sequence cut short", "\xE6\xBC", bad + bad},
        {"an overlong sequence", "\xC0\xAF", bad + bad},
        {"a surrogate", "\xED\xA0\x80", bad + bad + bad},
        {"characters XML forbids", "\xEF\xBF\xBE\xEF\xBF\xBF", bad + bad + bad + bad + bad + bad},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", bad + bad + bad + bad},
    };
    fs::path path = scratch("escaping.xml");
    for (const auto& row : rows) {
        std::vector<junit_case> cases{
            {"case " + row.output, true, "said \"" + row.output + "\"\n"}};
        ASSERT_TRUE(writeJUnit(path.string(), "suite\xFF", cases, row.output));
        std::string report = readWhole(path);
        EXPECT_EQ(between(report, "<system-out>", "</system-out>"), row.written) << row.what;
        std::string failure = between(report, "<failure message=\"", "</failure>");
        std::string attribute = failure.substr(0, failure.find("\">"));
        EXPECT_EQ(failure.substr(attribute.size() + 2), "said \"" + row.written + "\"\n")
            << row.what;
        EXPECT_EQ(attribute.find_first_of("<\"\n"), std::string::npos)
            << row.what << ": " << attribute;
        EXPECT_EQ(between(report, "<testsuite name=\"", "\""), "suite" + bad);
    }
    fs::remove(path);
}

TEST(JUnitReport, StaysSmallAndSaysHowMuchWasCut) {
    // Ampersands grow five times when escaped: the worst case for the bound.
    const std::size_t size = 50u * 1024 * 1024;
    std::string output(size, '&');
    output.replace(0, 5, "first");
    output.replace(size - 4, 4, "last");
    std::vector<junit_case> cases{{"flood", true, std::string(1024 * 1024, '<')}};
    fs::path path = scratch("bounded.xml");
    ASSERT_TRUE(writeJUnit(path.string(), "bounded", cases, output));
    EXPECT_LT(fs::file_size(path), 2.5 * 1024 * 1024);
    std::string report = readWhole(path);
    std::string kept = between(report, "<system-out>", "</system-out>");
    EXPECT_EQ(kept.compare(0, 5, "first"), 0);
    EXPECT_EQ(kept.substr(kept.size() - 4), "last");
    // 1 MB of escaped text each side: 5 + 209714 ampersands at the head, 4 + 209714 at the
    // tail (1048575 and 1048574 bytes).
    std::uint64_t cut = size - (5 + 209714) - (4 + 209714);
    EXPECT_NE(kept.find("\n[vesk-host cut " + std::to_string(cut) + " bytes here]\n"),
              std::string::npos);
    std::string failure = between(report, "<failure message=\"", "</failure>");
    std::string message = failure.substr(failure.find("\">") + 2);
    EXPECT_LT(message.size(), 17u * 1024);
    EXPECT_NE(message.find("bytes here]"), std::string::npos);
    fs::remove(path);
}

TEST(JUnitReport, ACutOfWhatWasCutCountsEveryByte) {
    // A transcript kept as head, note and tail, cut again for the report: one note for both.
    kept_text transcript(2 * 1024 * 1024, 2 * 1024 * 1024);
    std::string line = "<" + std::string(99, '.') + "\n";
    const std::uint64_t lines = 100000;
    for (std::uint64_t i = 0; i < lines; ++i) {
        transcript.append(line);
    }
    fs::path path = scratch("recut.xml");
    ASSERT_TRUE(writeJUnit(path.string(), "recut", {}, transcript.text()));
    std::string kept = between(readWhole(path), "<system-out>", "</system-out>");
    std::size_t note = kept.find("[vesk-host cut ");
    ASSERT_NE(note, std::string::npos);
    EXPECT_EQ(kept.find("[vesk-host cut ", note + 1), std::string::npos) << "one note";
    std::uint64_t cut = std::stoull(kept.substr(note + 15));
    // What is shown, unescaped, and what was cut make up everything written.
    std::string shown = kept.substr(0, note) + kept.substr(kept.find("]\n", note) + 2);
    std::uint64_t escapes = 0;
    for (std::size_t at = shown.find("&lt;"); at != std::string::npos;
         at = shown.find("&lt;", at + 1)) {
        ++escapes;
    }
    // Each note starts on a line of its own: a line end of its own where the cut was mid-line.
    EXPECT_NEAR(static_cast<double>(shown.size() - 3 * escapes + cut),
                static_cast<double>(lines * line.size()), 2);
    fs::remove(path);
}

TEST(ScenarioFiles, ByteOrderMarkAndNulBytes) {
    const struct {
        const char* what;
        std::string content;
        std::string first; // the first step's line, when the file loads
        std::string error; // empty: the file loads
    } rows[] = {
        {"a byte order mark", "\xEF\xBB\xBFpress 1 button\nexpect nothing sent\n", "press 1 button",
         ""},
        {"a byte order mark before a comment", "\xEF\xBB\xBF# the life\npress 1 b\n", "# the life",
         ""},
        {"a byte order mark on a later line", "press 1 b\n\xEF\xBB\xBFpress 1 c\n", "",
         ":2: unknown command"},
        {"NUL in a text", std::string("press 1 b\nparent text=ab\0cd\n", 28), "",
         ":2: a NUL byte in the line"},
        {"NUL in a comment", std::string("# a\0b\npress 1 b\n", 16), "",
         ":1: a NUL byte in the line"},
        {"a NUL line", std::string("\0\0\n", 3), "", ":1: a NUL byte in the line"},
    };
    fs::path path = scratch("file.scenario");
    for (const auto& row : rows) {
        {
            std::ofstream out(path, std::ios::binary);
            out << row.content;
        }
        std::vector<step> steps;
        std::vector<std::string> errors;
        bool loaded = loadScenario(path.string(), steps, errors);
        EXPECT_EQ(loaded, row.error.empty()) << row.what;
        if (row.error.empty()) {
            ASSERT_EQ(steps.size(), 2u) << row.what;
            EXPECT_EQ(steps[0].source, row.first) << row.what;
            EXPECT_EQ(steps[0].line, 1) << row.what;
        } else {
            ASSERT_EQ(errors.size(), 1u) << row.what;
            EXPECT_NE(errors[0].find(path.string() + row.error), std::string::npos)
                << row.what << ": " << errors[0];
        }
    }
    fs::remove(path);
}

#if !defined(_WIN32)
namespace {

// Standard output goes into a pipe for as long as this lives; nobody reads it until read().
class stdout_pipe {
public:
    stdout_pipe() {
        std::cout.flush();
        if (::pipe(m_ends) == 0) {
            m_saved = ::dup(1);
            ::dup2(m_ends[1], 1);
        }
    }
    ~stdout_pipe() {
        restore();
        if (m_reader.joinable()) {
            m_reader.join();
        }
        ::close(m_ends[0]);
    }
    bool ready() const { return m_saved >= 0; }
    // Starts reading everything until the pipe is closed.
    void read() {
        m_reader = std::thread([this] {
            char buffer[65536];
            ssize_t n = 0;
            while ((n = ::read(m_ends[0], buffer, sizeof buffer)) > 0) {
                m_read.append(buffer, static_cast<std::size_t>(n));
            }
        });
    }
    // Puts standard output back and returns all that was read.
    std::string finish() {
        restore();
        if (m_reader.joinable()) {
            m_reader.join();
        }
        return m_read;
    }

private:
    void restore() {
        if (m_saved >= 0) {
            std::cout.flush();
            ::dup2(m_saved, 1);
            ::close(m_saved);
            ::close(m_ends[1]);
            m_saved = -1;
        }
    }
    int m_ends[2] = {-1, -1};
    int m_saved = -1;
    std::thread m_reader;
    std::string m_read;
};

} // namespace

TEST(TranscriptOnStandardOutput, AReaderThatPausesNeverHoldsUpACall) {
    std::signal(SIGPIPE, SIG_IGN);
    const struct {
        const char* what;
        std::size_t lines;
        bool leftOut; // more than is held while the reader pauses
    } rows[] = {
        {"more than a pipe holds", 4000, false},
        {"more than is held", transcript::heldLimit / 100 + 20000, true},
    };
    for (const auto& row : rows) {
        stdout_pipe pipe;
        ASSERT_TRUE(pipe.ready());
        std::string expected;
        {
            transcript out(&std::cout);
            out.step(1, "press 1 button");
            out.enterCall();
            // The call writes; nothing reads. It must return all the same.
            auto call = std::async(std::launch::async, [&out, &row] {
                for (std::size_t i = 0; i < row.lines; ++i) {
                    out.entry("debug", "", "line " + std::to_string(i) + std::string(80, '.'));
                }
            });
            bool returned = call.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
            pipe.read(); // whatever happened, the call must be able to end
            call.wait();
            ASSERT_TRUE(returned) << row.what << ": the call waited for the reader";
            out.leaveCall();
            out.plain("end of run");
            expected = out.text();
        }
        std::string printed = pipe.finish();
        if (!row.leftOut) {
            EXPECT_EQ(printed, expected) << row.what << ": all of it, in order";
            continue;
        }
        // Printed: the start, a line for what was left out, the end; in that order.
        std::size_t note = printed.find("[vesk-host did not print ");
        ASSERT_NE(note, std::string::npos) << row.what;
        EXPECT_EQ(printed.compare(0, 40, expected, 0, 40), 0);
        EXPECT_LT(printed.size(), transcript::heldLimit + 2 * 1024 * 1024);
        std::size_t last = printed.find("line " + std::to_string(row.lines - 1));
        EXPECT_TRUE(last == std::string::npos || last < note);
        EXPECT_EQ(printed.substr(printed.size() - 11), "end of run\n");
    }
}
#endif

TEST(GuideExamples, NoCommentAfterAValue) {
    // INI files have no comments after a value: one there becomes part of the value.
    std::ifstream guide(VESK_GUIDE);
    ASSERT_TRUE(guide) << VESK_GUIDE;
    std::string line;
    bool inIni = false;
    int number = 0;
    int values = 0;
    while (std::getline(guide, line)) {
        ++number;
        if (line.compare(0, 3, "```") == 0) {
            inIni = line == "```ini";
            continue;
        }
        std::size_t equals = line.find('=');
        if (!inIni || line.empty() || line[0] == ';' || line[0] == '[' ||
            equals == std::string::npos) {
            continue;
        }
        ++values;
        EXPECT_EQ(line.find(';', equals), std::string::npos)
            << "writing-a-script.md:" << number << ": " << line;
    }
    EXPECT_GT(values, 10);
}
