// The command a recording names to replay itself: each word reaches vesk-host as it was, and
// the command means the same run from any folder.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "options.h"
#include "replay_command.h"

using namespace vesk_host;

#if !defined(_WIN32)
// What the shell makes of `word`: printf gets it as its one argument.
std::string throughTheShell(const std::string& word) {
    std::string command = "printf '%s' " + shellWord(word);
    FILE* shell = popen(command.c_str(), "r");
    EXPECT_NE(shell, nullptr);
    std::string out;
    char buffer[256];
    for (std::size_t n; shell != nullptr && (n = fread(buffer, 1, sizeof buffer, shell)) > 0;) {
        out.append(buffer, n);
    }
    if (shell != nullptr) {
        pclose(shell);
    }
    return out;
}

TEST(ReplayCommand, EveryWordReachesTheProgramAsItWas) {
    const char* words[] = {"/plain/path/libviewTrail.so",
                           "/with space/demo system",
                           "it's",
                           "'",
                           "$HOME",
                           "`id`",
                           "$(id)",
                           "a;b|c&d",
                           "*",
                           "~user",
                           "back\\slash",
                           "tab\there",
                           "\"double\"",
                           "-leading-dash",
                           "%1=x,y+z@host:path"};
    for (const char* word : words) {
        EXPECT_EQ(throughTheShell(word), word) << shellWord(word);
    }
}
#endif

TEST(ReplayCommand, PlainWordsAreLeftAsTheyAre) {
    EXPECT_EQ(shellWord("/opt/vesk/bin/vesk-host"), "/opt/vesk/bin/vesk-host");
    EXPECT_EQ(shellWord("12"), "12");
    EXPECT_NE(shellWord(""), "") << "an empty word must stay a word";
    EXPECT_NE(shellWord("a b"), "a b");
}

TEST(ReplayCommand, TheRunsOwnOptionsAndNothingElse) {
    namespace fs = std::filesystem;
    options o;
    o.script = "libnowhere-to-be-found.so"; // bare: left to the system's loader
    o.system = "relative/system";
    o.workstation = "12";
    o.quiet = true;
    o.strict = true;
    o.junit = "/tmp/report.xml";
    o.serve = "8080";
    EXPECT_EQ(replayCommand(o, "/bin/vesk-host", "/abs/system", "/abs/rec.scenario"),
              "/bin/vesk-host --script libnowhere-to-be-found.so --system /abs/system "
              "--workstation 12 /abs/rec.scenario");

    o.script = "lib/libx.so";
    o.name = "two words";
    o.abi = "msvc";
    o.timeout = "30";
    o.workstation.clear();
    std::string command = replayCommand(o, "vesk-host", "", "/abs/rec.scenario");
    std::string library = (fs::current_path() / "lib" / "libx.so").lexically_normal().string();
    EXPECT_EQ(command, "vesk-host --script " + shellWord(library) + " --name " +
                           shellWord("two words") + " --abi msvc --timeout 30 /abs/rec.scenario");
}
