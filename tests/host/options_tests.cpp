// vesk-host's command line: what it refuses, and why, before anything runs.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "options.h"
#include "page.h"

namespace {

bool parse(std::vector<std::string> words, vesk_host::options& o, std::string& error) {
    words.insert(words.begin(), "vesk-host");
    std::vector<char*> argv;
    for (std::string& w : words) {
        argv.push_back(&w[0]);
    }
    return vesk_host::parseOptions(static_cast<int>(argv.size()), argv.data(), o, error);
}

} // namespace

TEST(Options, LinesThatCannotStartARunSayWhy) {
    const struct {
        std::vector<std::string> words;
        const char* error; // empty: accepted
    } rows[] = {
        {{"--script", "a.so", "s.scenario"}, ""},
        {{"--check-system", "dir"}, ""},
        {{"--script", "a.so", "--serve", "0", "--listen", "::1"}, ""},
        {{}, "--script is required"},
        {{"--script"}, "--script needs a value"},
        {{"--script", "a.so", "--timeout"}, "--timeout needs a value"},
        {{"--script", "a.so", "--bogus"}, "unknown option --bogus"},
        {{"--script", "a.so", "one", "two"}, "only one scenario per run"},
        {{"--script", "a.so", "--workstation", "twelve"}, "--workstation takes a number"},
        {{"--script", "a.so", "--timeout", "0"}, "--timeout takes a number of seconds, 1 or more"},
        {{"--script", "a.so", "--serve", "65536"}, "--serve takes a port number from 0 to 65535"},
        {{"--script", "a.so", "--serve", "-1"}, "--serve takes a port number from 0 to 65535"},
        {{"--script", "a.so", "--listen", "::1"}, "--listen goes with --serve or --ember"},
        {{"--script", "a.so", "--ember", "0", "--listen", "0.0.0.0"}, ""},
        {{"--script", "a.so", "--ember", "0", "--serve", "0"}, ""},
        {{"--script", "a.so", "--ember", "65536"}, "--ember takes a port number from 0 to 65535"},
        {{"--script", "a.so", "--ember", "x"}, "--ember takes a port number from 0 to 65535"},
    };
    for (const auto& row : rows) {
        vesk_host::options o;
        std::string error;
        bool accepted = parse(row.words, o, error);
        EXPECT_EQ(accepted, row.error[0] == '\0') << error;
        EXPECT_EQ(error, row.error);
    }
}

TEST(Options, TheScriptsNameAndTheScenariosName) {
    vesk_host::options o;
    std::string error;
    ASSERT_TRUE(parse({"--script", "/x/libviewTrail.so", "--timeout", "3"}, o, error));
    EXPECT_EQ(o.scenarioFile(), "stdin");
    EXPECT_EQ(o.timeoutSeconds(), 3);
#if defined(_WIN32)
    EXPECT_EQ(o.scriptName(), "libviewTrail");
#else
    EXPECT_EQ(o.scriptName(), "viewTrail");
#endif
    o.name = "follow";
    EXPECT_EQ(o.scriptName(), "follow");
}

TEST(Options, HelpOrVersionWhicheverComesFirst) {
    std::vector<std::string> words = {"vesk-host", "--bogus", "--version", "--help"};
    std::vector<char*> argv;
    for (std::string& w : words) {
        argv.push_back(&w[0]);
    }
    std::string text;
    ASSERT_TRUE(vesk_host::informationAsked(4, argv.data(), text));
    EXPECT_EQ(text, "vesk-host 1.1\n");
    EXPECT_FALSE(vesk_host::informationAsked(2, argv.data(), text));
    words[2] = "-h";
    argv[2] = &words[2][0];
    ASSERT_TRUE(vesk_host::informationAsked(4, argv.data(), text));
    EXPECT_EQ(text.rfind(vesk_host::usageText, 0), 0u);
    EXPECT_NE(text.find("\nScenario commands\n\n"), std::string::npos);
}

TEST(Options, HelpSaysSoWhenThePageIsMissing) {
    // Whichever way vesk-host was built, --help agrees with what a run accepts.
    vesk_host::options o;
    o.serve = "0";
    std::string error;
    bool hasPage = vesk_host::pageAccepts(o, error);
    std::vector<std::string> words = {"vesk-host", "--help"};
    std::vector<char*> argv = {&words[0][0], &words[1][0]};
    std::string text;
    ASSERT_TRUE(vesk_host::informationAsked(2, argv.data(), text));
    EXPECT_EQ(text.find("built without its page") == std::string::npos, hasPage) << error;
}

TEST(Options, FilesWrittenAtTheEndAreFixedAtTheStart) {
    // A script may change the current folder; what the run writes stays where it was asked.
    vesk_host::options o;
    std::string error;
    ASSERT_TRUE(parse({"--script", "a.so", "--junit", "out/r.xml", "--record", "r.scenario",
                       "--html", "../page.html", "s.scenario"},
                      o, error))
        << error;
    for (const std::string* written : {&o.junit, &o.record, &o.html}) {
        EXPECT_TRUE(std::filesystem::path(*written).is_absolute()) << *written;
    }
    EXPECT_EQ(std::filesystem::path(o.junit),
              (std::filesystem::current_path() / "out" / "r.xml").lexically_normal());
    EXPECT_EQ(o.scenario, "s.scenario");
}
