// The reader of the page's socket messages: a scenario line passes when the scenario parser
// reads it as one step, and anything else is refused with a reason.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "host_view.h"
#include "page_relay.h"
#include "scenario_parser.h"
#include "web_message.h"

using vesk_host::readWebMessage;
using vesk_host::web_request;

TEST(WebMessages, ScenarioLinesPassAsTheyWereSent) {
    const char* lines[] = {
        "press 1 button",
        "@b press 'main panel' m alarm.1=on",
        "route -1 2147483647 -2147483648",
        R"(parent a\nb\\c\td)",
        "parent",
        "advance 1000000000000",
        "write 20 3 cue A",
        "@b state 30 5 off",
        "expect crosspoint 3 1 7",
        "press\t1 button",
    };
    for (const char* line : lines) {
        web_request request;
        std::string error;
        nlohmann::json message = {{"do", "command"}, {"line", line}};
        EXPECT_TRUE(readWebMessage(message.dump(), request, error)) << line << ": " << error;
        EXPECT_EQ(request.what, web_request::kind::perform) << line;
        EXPECT_EQ(request.line, line);
    }
    web_request request;
    std::string error;
    EXPECT_TRUE(readWebMessage(R"({"do":"recording"})", request, error));
    EXPECT_EQ(request.what, web_request::kind::recording);
}

TEST(WebMessages, MalformedOrHostileMessagesAreRefusedWithAReason) {
    const struct {
        std::string message;
        const char* reason;
    } rows[] = {
        {"", "not a JSON object"},
        {"garbage", "not a JSON object"},
        {"[1,2]", "not a JSON object"},
        {R"({"do":"command","line":"press 1 b")", "not a JSON object"},
        {R"({"line":"press 1 b"})", "\"do\" is missing"},
        {R"({"do":7})", "\"do\" must be a string"},
        {R"({"do":"reboot"})", "unknown request"},
        // The page's own verbs of old are gone: a line says what it means.
        {R"({"do":"press","panel":"1","control":"button"})", "unknown request \"press\""},
        {R"({"do":"command"})", "\"line\" is missing"},
        {R"({"do":"command","line":["press 1 b"]})", "\"line\" must be a string"},
        // Refused by the scenario parser, with its own words.
        {R"({"do":"command","line":"launch rockets"})", "unknown command"},
        {R"({"do":"command","line":"press 1"})", "too few arguments"},
        {R"({"do":"command","line":"press 'main panel m"})", "a quote is never closed"},
        {R"({"do":"command","line":"route 3 2147483648 7"})", "not a whole number"},
        {R"({"do":"command","line":"route 3 1.5 7"})", "not a whole number"},
        {R"({"do":"command","line":"advance -1"})", "not a number of milliseconds"},
        {R"({"do":"command","line":"state 30 5 yes"})", "a state is"},
        {R"({"do":"command","line":"route 3 1 7 8"})", "unexpected '8'"},
        {R"({"do":"command","line":"@ press 1 b"})", "needs a script name"},
        // One step, that the runner takes, and never the end of the run.
        {R"({"do":"command","line":"quit"})", "cannot end the run"},
        {R"({"do":"command","line":"@b quit"})", "cannot end the run"},
        {R"({"do":"command","line":"# only a comment"})", "a comment"},
        {R"({"do":"command","line":"parent a\nquit"})", "one line"},
        {R"({"do":"command","line":"parent a\rb"})", "one line"},
        {R"({"do":"command","line":"parent a\u0000b"})", "one line"},
        {R"({"do":"command","line":"   "})", "an empty command"},
        {R"({"do":"command","line":""})", "an empty command"},
        {std::string(vesk_host::webMessageLimit + 1, ' '), "longer than"},
        {std::string(5000, '[') + std::string(5000, ']'), "not a JSON object"},
    };
    for (const auto& row : rows) {
        web_request request;
        std::string error;
        EXPECT_FALSE(readWebMessage(row.message, request, error)) << row.message;
        EXPECT_NE(error.find(row.reason), std::string::npos)
            << row.message.substr(0, 80) << " gave: " << error;
    }
}

TEST(WebMessages, WordsReachTheScriptAsTheyWere) {
    const char* words[] = {"1", "main panel", "a\"b", "über", "x=y", "@b", "#c"};
    for (const char* text : words) {
        std::string word;
        ASSERT_TRUE(vesk_host::scenarioWord(text, word)) << text;
        vesk_host::step s;
        std::string error;
        ASSERT_TRUE(vesk_host::parseStep("press " + word + " x", s, error)) << word << error;
        EXPECT_EQ(s.words[0], text);
    }
    std::string word;
    EXPECT_FALSE(vesk_host::scenarioWord("", word));
    EXPECT_FALSE(vesk_host::scenarioWord(std::string(257, 'a'), word));
    EXPECT_FALSE(vesk_host::scenarioWord("tab\there", word));
}

TEST(WebPage, SavedPageKeepsScriptTextInsideItsData) {
    nlohmann::json state = {{"note", "</script><script>alert(1)</script>"}};
    nlohmann::json lines = nlohmann::json::array({{{"text", "\xff\xfe not UTF-8"}}});
    std::string page = vesk_host::staticPage(state, lines);
    EXPECT_EQ(page.find("</script><script>alert"), std::string::npos);
    EXPECT_NE(page.find("\\u003c/script>"), std::string::npos);
    EXPECT_NE(page.find("window.veskSnapshot = "), std::string::npos);
    // The live page has no state in it and asks nothing of any other host.
    std::string live = vesk_host::webPage();
    EXPECT_EQ(live.find("veskSnapshot = "), std::string::npos);
    EXPECT_EQ(live.find("http://"), std::string::npos);
    EXPECT_EQ(live.find("https://"), std::string::npos);
}

// What crosses between a run and its supervisor: items in, messages out, one line each.
TEST(PageRelay, FramesBecomeItemsAndMessagesBecomeFrames) {
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    using vesk_host::inbound;
    {
        vesk_host::relayed_page run(pair[1]);
        // Split across writes, with frames the run must skip: unknown, without a client, or
        // with one that is not a number.
        const std::string in = "G 4\nP 7 press 1 b\nX 1\nP\nP x y\nR 12\nP 3 parent a b\n";
        ASSERT_EQ(write(pair[0], in.data(), 9), 9);
        ASSERT_EQ(write(pair[0], in.data() + 9, in.size() - 9),
                  static_cast<ssize_t>(in.size() - 9));
        const struct {
            inbound::kind what;
            long client;
            web_request::kind request;
            const char* line;
        } wanted[] = {
            {inbound::kind::greeting, 4, web_request::kind::perform, ""},
            {inbound::kind::request, 7, web_request::kind::perform, "press 1 b"},
            {inbound::kind::request, 12, web_request::kind::recording, ""},
            {inbound::kind::request, 3, web_request::kind::perform, "parent a b"},
        };
        for (const auto& w : wanted) {
            inbound item;
            ASSERT_TRUE(run.next(item, 2000)) << w.line;
            EXPECT_EQ(item.what, w.what) << w.line;
            EXPECT_EQ(item.client, w.client) << w.line;
            EXPECT_EQ(item.request.what, w.request) << w.line;
            EXPECT_EQ(item.request.line, w.line);
        }
        inbound none;
        EXPECT_FALSE(run.next(none, 50));

        run.send(4, R"({"type":"error"})");
        run.broadcast(R"({"type":"transcript"})");
        run.broadcastState(R"({"type":"state"})");
    }
    std::string out;
    char buffer[256];
    ssize_t got = 0;
    while ((got = read(pair[0], buffer, sizeof buffer)) > 0) {
        out.append(buffer, static_cast<std::size_t>(got));
    }
    close(pair[0]);
    EXPECT_EQ(out,
              "S 4 {\"type\":\"error\"}\nB {\"type\":\"transcript\"}\nT {\"type\":\"state\"}\n");
}

// The page marks what makes a run fail or what the author must hear of, and nothing else.
TEST(WebPage, ProblemLinesAreTheHostsOwnWords) {
    const struct {
        const char* line;
        bool problem;
    } rows[] = {
        {"        PROBLEM reply 2 was never released", true},
        {"vesk-host: FAILED: the run stopped at a.scenario:3", true},
        {"        warning sent a line the host cannot read: unknown verb 'ZZ'", true},
        {"vesk-host: broken_crash crashed: SIGSEGV (Segmentation fault)", true},
        {"vesk-host: s hung: the call did not return within 10 s (--timeout)", true},
        {"vesk-host: s was stopped: vesk-host received SIGTERM", true},
        {"vesk-host: s ended the run early with exit status 3", true},
        {"        ./libbroken_crash.so(+0x2de6)[0x7f0826279de6]", false},
        {"vesk-host: broken_crash from libbroken_crash.so", false},
        {"        out     TP 'text=CAM 12' '1' 'tally'", false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(vesk_host::isProblemLine(row.line), row.problem) << row.line;
    }
}

// The transcript written straight as JSON text reads back as the lines it holds: quotes,
// backslashes and control characters escaped, well-formed UTF-8 kept, and every byte that
// starts no well-formed sequence replaced, so that the page and a saved file always parse.
TEST(WebPage, TranscriptLinesWrittenAsTextParseBackToTheirLines) {
    const std::string replaced = "\xef\xbf\xbd";
    const struct {
        const char* line;
        std::string shown;
    } rows[] = {
        {"plain", "plain"},
        {"say \"hi\" \\ there", "say \"hi\" \\ there"},
        {"tab\tcr\r bell\x07 del\x7f", "tab\tcr\r bell\x07 del\x7f"},
        {"CAM \xc3\xa9 \xe2\x82\xac \xf0\x9f\x8e\xa5",
         "CAM \xc3\xa9 \xe2\x82\xac \xf0\x9f\x8e\xa5"},
        {"lone \xff end", "lone " + replaced + " end"},
        {"cut \xe2\x82", "cut " + replaced + replaced},
        {"overlong \xc0\xaf", "overlong " + replaced + replaced},
        {"surrogate \xed\xa0\x80", "surrogate " + replaced + replaced + replaced},
        {"beyond \xf4\x90\x80\x80", "beyond " + replaced + replaced + replaced + replaced},
        {"viewTrail FAILED here", "viewTrail FAILED here"},
    };
    std::string text;
    for (const auto& row : rows) {
        text += std::string(row.line) + "\n";
    }
    text += "no line feed yet";
    nlohmann::json lines = nlohmann::json::parse(vesk_host::transcriptLinesText(text));
    ASSERT_EQ(lines.size(), sizeof rows / sizeof rows[0]) << "only whole lines";
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i]["text"], rows[i].shown) << rows[i].line;
        EXPECT_EQ(lines[i]["problem"], vesk_host::isProblemLine(rows[i].line)) << rows[i].line;
    }
}
