// Exploration's steps, read back by the scenario parser the host runs them with, and the
// shrinking of a failing run.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <fstream>
#include <set>
#include <string>

#include "explore.h"
#include "scenario_parser.h"

using namespace vesk_host;

namespace {

script_surface sampleSurface() {
    script_surface surface;
    surface.panels = {{"1", {"button", "tally", "big red"}}, {"main", {"it's on", "take"}}};
    surface.parameters = {"source", "destination", "_debug"};
    surface.watched = {{3, 7}, {20, 1}};
    surface.devices = {3, 20, 30};
    surface.timers = {1, 9};
    return surface;
}

step parsed(const std::string& line) {
    step s;
    std::string error;
    EXPECT_TRUE(parseStep(line, s, error)) << line.substr(0, 200) << ": " << error;
    return s;
}

std::string name(const step& s) {
    return s.command == nullptr ? std::string() : std::string(s.command->name);
}

} // namespace

TEST(ExploreWriting, AwkwardValuesReadBackExactly) {
    const std::string long_text(10000, 'x');
    for (const std::string& value :
         {std::string("plain"), std::string("a b  c"), std::string("'"), std::string("it's"),
          std::string("\"a b\""), std::string("%1"), std::string("....."), std::string("=="),
          std::string("a\nb"), std::string("\ttab first"), std::string("last\t"),
          std::string("back\\slash"), std::string("\\n"), std::string("ends\\"),
          std::string("\xC3\xA9\xFF\x80"), std::string("#not a comment"), long_text}) {
        SCOPED_TRACE(value.substr(0, 40));
        EXPECT_EQ(parsed("parent " + stepText(value)).text, value);
        EXPECT_EQ(parsed("revertive 3 4 " + stepText(value)).text, value);
        step press = parsed("press 1 button " + stepText(value));
        EXPECT_EQ(press.text, value);
        EXPECT_TRUE(press.hasText);
    }
    // Blanks at the ends of a line are not part of it; a NUL cannot be in one.
    EXPECT_EQ(stepText("  padded  "), "padded");
    EXPECT_EQ(stepText(std::string("a\0b", 3)), "ab");

    std::string written;
    for (const std::string& word :
         {std::string("button"), std::string("big red"), std::string(""), std::string("x'y"),
          std::string("a\tb"), std::string("\xC3\xA9"), std::string("#1")}) {
        SCOPED_TRACE(word);
        ASSERT_TRUE(stepWord(word, written));
        step s = parsed("press " + written + " " + written + " caption");
        ASSERT_EQ(s.words.size(), 2u);
        EXPECT_EQ(s.words[0], word);
        EXPECT_EQ(s.words[1], word);
        EXPECT_EQ(s.text, "caption");
    }
    for (const std::string& word :
         {std::string("it's on"), std::string("'lead"), std::string("a\nb"), std::string("a\rb")}) {
        EXPECT_FALSE(stepWord(word, written)) << word;
    }
}

TEST(ExploreDrawing, ThousandsOfStepsParseAndCoverTheSurface) {
    const script_surface surface = sampleSurface();
    std::set<std::string> commands;
    std::set<std::string> parents;
    std::set<std::string> pressed;
    std::set<long long> timers;
    bool longValue = false, intMin = false, nonAscii = false, lineFeed = false, percent = false;
    bool noSubs = false, manySubs = false, missingControl = false, missingPanel = false;
    bool watched = false, unwatched = false;
    for (std::uint64_t seed : {1u, 2u, 3u, 0xFFFFFFFFu}) {
        std::vector<std::string> steps = drawSteps(surface, seed, 2500);
        ASSERT_EQ(steps.size(), 2500u);
        for (const std::string& line : steps) {
            step s = parsed(line);
            ASSERT_NE(s.command, nullptr) << line;
            EXPECT_TRUE(s.command->role == scenario_role::event ||
                        s.command->role == scenario_role::system)
                << line;
            EXPECT_TRUE(s.target.empty()) << line;
            // Written as the shrinker writes it back, so that its candidates compare.
            EXPECT_EQ(stepLine(s), line);
            commands.insert(name(s));
            const std::string& text = s.text;
            longValue = longValue || text.find(std::string(10000, 'x')) != std::string::npos ||
                        text.find("0123456789", 9900) != std::string::npos;
            intMin = intMin || text.find("-2147483648") != std::string::npos;
            nonAscii = nonAscii || std::any_of(text.begin(), text.end(),
                                               [](char c) { return (c & 0x80) != 0; });
            lineFeed = lineFeed || text.find('\n') != std::string::npos;
            percent = percent || text.find("%1") != std::string::npos;
            if (name(s) == "parent") {
                parents.insert(text.substr(0, text.find('=')));
            } else if (name(s) == "press") {
                pressed.insert(s.words[0] + "/" + s.words[1]);
                bool known = false;
                for (const auto& panel : surface.panels) {
                    if (panel.name == s.words[0]) {
                        missingControl = missingControl ||
                                         std::find(panel.controls.begin(), panel.controls.end(),
                                                   s.words[1]) == panel.controls.end();
                        known = true;
                    }
                }
                missingPanel = missingPanel || !known;
                auto dots = std::count(text.begin(), text.end(), '.');
                noSubs = noSubs || (s.hasText && dots == 0);
                manySubs = manySubs || dots > 32;
            } else if (name(s) == "revertive" || name(s) == "secondary") {
                bool pair = std::find(surface.watched.begin(), surface.watched.end(),
                                      std::make_pair(static_cast<int>(s.numbers[0]),
                                                     static_cast<int>(s.numbers[1]))) !=
                            surface.watched.end();
                watched = watched || pair;
                unwatched = unwatched || !pair;
            } else if (name(s) == "timer") {
                timers.insert(s.numbers[0]);
            }
        }
    }
    for (const char* command :
         {"press", "parent", "revertive", "secondary", "advance", "timer", "hostevent"}) {
        EXPECT_EQ(commands.count(command), 1u) << command;
    }
    for (const char* parent : {"return", "_events", "_commands", "source", "destination", "_debug",
                               "no_such_parameter", ""}) {
        EXPECT_EQ(parents.count(parent), 1u) << parent;
    }
    // Every control, the one with a blank too; "it's on" cannot be written, so never.
    for (const char* control : {"1/button", "1/tally", "1/big red", "main/take"}) {
        EXPECT_EQ(pressed.count(control), 1u) << control;
    }
    EXPECT_EQ(pressed.count("main/it's on"), 0u);
    for (long long timer : {1LL, 9LL, 0LL, -1LL, 2147483647LL, -2147483648LL}) {
        EXPECT_EQ(timers.count(timer), 1u) << timer;
    }
    EXPECT_TRUE(longValue && intMin && nonAscii && lineFeed && percent);
    EXPECT_TRUE(noSubs && manySubs);
    EXPECT_TRUE(missingControl && missingPanel);
    EXPECT_TRUE(watched && unwatched);
}

TEST(ExploreDrawing, SameSeedSameStepsEverywhere) {
    const script_surface surface = sampleSurface();
    EXPECT_EQ(drawSteps(surface, 42, 300), drawSteps(surface, 42, 300));
    EXPECT_NE(drawSteps(surface, 42, 300), drawSteps(surface, 43, 300));
    std::vector<std::string> longer = drawSteps(surface, 42, 400);
    EXPECT_EQ(std::vector<std::string>(longer.begin(), longer.begin() + 300),
              drawSteps(surface, 42, 300))
        << "more events extend a run rather than change it";

    // A digest of one run, the same under every compiler and standard library: a change here
    // means a seed printed by one build no longer reproduces under another.
    std::uint64_t digest = 14695981039346656037ULL;
    for (const std::string& line : drawSteps(surface, 7, 200)) {
        for (char c : line + "\n") {
            digest = (digest ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
        }
    }
    EXPECT_EQ(digest, 16549487353714002452ULL);

    // A script that showed nothing of itself is still explored.
    std::vector<std::string> bare = drawSteps(script_surface(), 5, 500);
    ASSERT_EQ(bare.size(), 500u);
    for (const std::string& line : bare) {
        parsed(line);
    }
    EXPECT_TRUE(drawSteps(surface, 1, 0).empty());
}

TEST(ExploreShrinking, KeepsExactlyTheStepsThatFail) {
    std::vector<std::string> steps = drawSteps(sampleSurface(), 11, 300);
    const std::string first = "parent source=12";
    const std::string second = "press 1 take state.on=1";
    steps.insert(steps.begin() + 40, first);
    steps.insert(steps.begin() + 250, second);
    int calls = 0;
    still_fails inOrder = [&](const std::vector<std::string>& run) {
        ++calls;
        auto a = std::find(run.begin(), run.end(), first);
        return a != run.end() && std::find(a, run.end(), second) != run.end();
    };
    std::vector<std::string> shrunk = shrinkSteps(steps, inOrder, 1000);
    EXPECT_EQ(shrunk, (std::vector<std::string>{first, second}));
    EXPECT_LE(calls, 1000);

    // Deterministic: the same calls, the same result.
    std::vector<std::vector<std::string>> asked[2];
    for (auto& log : asked) {
        shrinkSteps(
            steps,
            [&](const std::vector<std::string>& run) {
                log.push_back(run);
                return inOrder(run);
            },
            1000);
    }
    EXPECT_EQ(asked[0], asked[1]);

    // Whatever the budget, it is kept, and what comes back still fails.
    for (int budget : {0, 1, 5, 20, 60}) {
        calls = 0;
        std::vector<std::string> part = shrinkSteps(steps, inOrder, budget);
        EXPECT_LE(calls, budget);
        calls = 0;
        EXPECT_TRUE(inOrder(part)) << budget;
        EXPECT_LE(part.size(), steps.size());
    }

    // A failure with no steps at all (the life itself) shrinks to none.
    EXPECT_TRUE(shrinkSteps(
                    steps, [](const std::vector<std::string>&) { return true; }, 10)
                    .empty());
}

TEST(ExploreShrinking, ValuesBecomePlainer) {
    std::vector<std::string> steps = drawSteps(sampleSurface(), 3, 100);
    steps.push_back("parent " + std::string(4000, 'x') + "Z" + std::string(6000, 'y'));
    steps.push_back("revertive 1000 -2147483648 " + std::string(500, 'q'));
    steps.push_back("parent source=-2147483648");
    still_fails needsBoth = [](const std::vector<std::string>& run) {
        bool z = false, device = false, negative = false;
        for (const std::string& line : run) {
            step s;
            std::string error;
            if (!parseStep(line, s, error) || s.command == nullptr) {
                continue;
            }
            std::string command = s.command->name;
            z = z || (command == "parent" && s.text.find('Z') != std::string::npos);
            device = device || (command == "revertive" && s.numbers[0] >= 10);
            // As atoi reads it: "source=-" and "source=-0" are not negative.
            negative = negative || (command == "parent" && s.text.rfind("source=-", 0) == 0 &&
                                    s.text.size() > 8 && s.text.find("-0") == std::string::npos);
        }
        return z && device && negative;
    };
    std::vector<std::string> shrunk = shrinkSteps(steps, needsBoth, 2000);
    ASSERT_EQ(shrunk.size(), 3u);
    // Which steps are kept is the shrinker's choice; their values are not.
    std::vector<std::string> parents;
    std::string revertive;
    for (const std::string& line : shrunk) {
        if (line.rfind("parent", 0) == 0) {
            parents.push_back(line);
        } else {
            revertive = line;
        }
    }
    std::sort(parents.begin(), parents.end());
    EXPECT_EQ(parents, (std::vector<std::string>{"parent Z", "parent source=-1"}))
        << "the text shortened, the number in it made plain";
    step r = parsed(revertive);
    EXPECT_EQ(name(r), "revertive");
    EXPECT_GE(r.numbers[0], 10);
    EXPECT_LT(r.numbers[0], 20) << "the device number halved towards 0 while it still fails";
    EXPECT_EQ(r.numbers[1], 0);
    EXPECT_FALSE(r.hasText);
}

TEST(ExploreShrinking, AnOrderedSequenceWithinABudget) {
    // A fault that needs four parent texts in order, among hundreds of drawn steps, as a
    // script's state machine would: the shrinking a validation can afford must find them.
    script_surface surface = sampleSurface();
    surface.parameters = {"source", "destination"};
    auto crashesAt = [](const std::vector<std::string>& run) {
        int stage = 0;
        for (std::size_t i = 0; i < run.size(); ++i) {
            step s;
            std::string error;
            if (!parseStep(run[i], s, error) || name(s) != "parent") {
                continue;
            }
            std::size_t equals = s.text.find('=');
            std::string parameter = s.text.substr(0, equals);
            bool negative = equals != std::string::npos && s.text.compare(equals + 1, 1, "-") == 0;
            if (negative && parameter == (stage % 2 == 1 ? "destination" : "source") &&
                ++stage == 4) {
                return static_cast<long long>(i);
            }
        }
        return -1LL;
    };
    int found = 0;
    for (std::uint64_t seed = 1; seed <= 12; ++seed) {
        std::vector<std::string> steps = drawSteps(surface, seed, 500);
        long long at = crashesAt(steps);
        if (at < 0) {
            continue;
        }
        ++found;
        int calls = 0;
        std::vector<std::string> shrunk = shrinkSteps(
            steps,
            [&](const std::vector<std::string>& run) {
                ++calls;
                return crashesAt(run) >= 0;
            },
            200);
        EXPECT_LE(calls, 200);
        ASSERT_EQ(shrunk.size(), 4u) << "seed " << seed;
        EXPECT_EQ(shrunk, (std::vector<std::string>{"parent source=-", "parent destination=-",
                                                    "parent source=-", "parent destination=-"}))
            << "seed " << seed;
    }
    EXPECT_GE(found, 6);
}

TEST(ExploreScenario, WrittenFileParsesAndReplaysTheSteps) {
    std::vector<std::string> steps = drawSteps(sampleSurface(), 9, 200);
    std::string text =
        scenarioText({"validate: explore, seed 9", "replay: vesk-host --script lib x.scenario",
                      "why: a line\nthat breaks"},
                     steps, {"expect nothing sent"});
    EXPECT_EQ(text.rfind("# validate: explore, seed 9\n", 0), 0u);

    std::string path = ::testing::TempDir() + "explore_written.scenario";
    {
        std::ofstream out(path, std::ios::binary);
        out << text;
    }
    std::vector<step> read;
    std::vector<std::string> errors;
    ASSERT_TRUE(loadScenario(path, read, errors)) << (errors.empty() ? "" : errors[0]);
    std::remove(path.c_str());
    std::vector<std::string> replayed;
    std::size_t comments = 0;
    for (const step& s : read) {
        if (s.isComment()) {
            ++comments;
        } else if (!s.isExpectation()) {
            replayed.push_back(stepLine(s));
        }
    }
    EXPECT_EQ(comments, 4u) << "the line end inside the reason starts a comment of its own";
    EXPECT_EQ(replayed, steps);
    ASSERT_FALSE(read.empty());
    EXPECT_TRUE(read.back().isExpectation());
}
