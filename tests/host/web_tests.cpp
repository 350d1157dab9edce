// The reader of the page's socket messages: every request becomes one scenario line, and
// anything else is refused with a reason.
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

TEST(WebMessages, RequestsBecomeScenarioLines) {
    const struct {
        const char* message;
        const char* line;
    } rows[] = {
        {R"({"do":"press","panel":"1","control":"button"})", "press 1 button"},
        {R"({"do":"press","panel":"main panel","control":"m","caption":"alarm.1=on"})",
         "press 'main panel' m alarm.1=on"},
        {R"({"do":"press","script":"b","panel":"1","control":"m"})", "@b press 1 m"},
        {R"({"do":"press","script":"","panel":"1","control":"m"})", "press 1 m"},
        {R"({"do":"route","device":3,"source":12,"destination":7})", "route 3 12 7"},
        {R"({"do":"route","device":-1,"source":2147483647,"destination":-2147483648})",
         "route -1 2147483647 -2147483648"},
        {R"({"do":"parent","text":"source=12"})", "parent source=12"},
        {R"({"do":"parent","text":"a\nb\\c\td"})", R"(parent a\nb\\c\td)"},
        {R"({"do":"parent","text":""})", "parent"},
        {R"({"do":"advance","ms":0})", "advance 0"},
        {R"({"do":"advance","ms":1000000000000})", "advance 1000000000000"},
        {R"({"do":"write","device":20,"slot":3,"text":"cue A"})", "write 20 3 cue A"},
        {R"({"do":"write","device":20,"slot":3,"text":""})", "write 20 3"},
        {R"({"do":"write","device":20,"slot":3})", "write 20 3"},
        {R"({"do":"write","device":20,"slot":1,"text":"a\\b\nc"})", R"(write 20 1 a\\b\nc)"},
        {R"({"do":"state","device":30,"index":5,"on":true})", "state 30 5 on"},
        {R"({"do":"state","script":"b","device":30,"index":5,"on":false})", "@b state 30 5 off"},
        {R"({"do":"command","line":"route 3 1 7"})", "route 3 1 7"},
        {R"({"do":"command","line":"expect crosspoint 3 1 7"})", "expect crosspoint 3 1 7"},
    };
    for (const auto& row : rows) {
        web_request request;
        std::string error;
        EXPECT_TRUE(readWebMessage(row.message, request, error)) << row.message << ": " << error;
        EXPECT_EQ(request.what, web_request::kind::perform) << row.message;
        EXPECT_EQ(request.line, row.line) << row.message;
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
        {R"({"do":"press","panel":"1","control":"button")", "not a JSON object"},
        {R"({"panel":"1"})", "\"do\" is missing"},
        {R"({"do":7})", "\"do\" must be a string"},
        {R"({"do":"reboot"})", "unknown request"},
        {R"({"do":"press","control":"button"})", "\"panel\" is missing"},
        {R"({"do":"press","panel":1,"control":"button"})", "\"panel\" must be a string"},
        {R"({"do":"press","panel":"","control":"button"})", "\"panel\" must be"},
        // A quote would end the word early, a line feed would start a second step.
        {R"({"do":"press","panel":"1'","control":"button"})", "\"panel\" must be"},
        {R"({"do":"press","panel":"1\nquit","control":"button"})", "\"panel\" must be"},
        {R"({"do":"press","panel":"1","control":"b","script":"a b"})", "\"script\" must be"},
        {R"({"do":"press","panel":"1","control":"b","caption":"x\u0001"})", "control characters"},
        {R"({"do":"route","device":3,"source":12})", "\"destination\" is missing"},
        {R"({"do":"route","device":3,"source":12.5,"destination":7})", "whole number"},
        {R"({"do":"route","device":3,"source":"12","destination":7})", "whole number"},
        {R"({"do":"route","device":2147483648,"source":1,"destination":7})", "out of range"},
        {R"({"do":"route","device":18446744073709551615,"source":1,"destination":7})",
         "out of range"},
        {R"({"do":"route","device":-2147483649,"source":1,"destination":7})", "out of range"},
        {R"({"do":"advance","ms":-1})", "out of range"},
        {R"({"do":"write","device":20,"text":"x"})", "\"slot\" is missing"},
        {R"({"do":"write","device":20,"slot":1,"text":"x\u0007"})", "control characters"},
        {R"({"do":"state","device":30,"index":5})", "\"on\" must be true or false"},
        {R"({"do":"state","device":30,"index":5,"on":1})", "\"on\" must be true or false"},
        {R"({"do":"state","device":30,"index":5,"on":"on"})", "\"on\" must be true or false"},
        {R"({"do":"parent","text":"a\rb"})", "control characters"},
        {R"({"do":"command","line":"quit"})", "cannot end the run"},
        {R"({"do":"command","line":"# only a comment"})", "a comment"},
        {R"({"do":"command","line":"parent a\nquit"})", "one line"},
        {R"({"do":"command","line":"   "})", "an empty command"},
        {R"({"do":"command","line":"launch rockets"})", "unknown command"},
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
