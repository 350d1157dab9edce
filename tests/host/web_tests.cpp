// The reader of the page's socket messages: every request becomes one scenario line, and
// anything else is refused with a reason.
#include <gtest/gtest.h>

#include <string>

#include "host_view.h"
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
