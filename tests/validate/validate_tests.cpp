// The validator's parts: its command line, its table of checks, the verdicts its check runs
// hand back, the built-in system and the run of steps every check stands on.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "builtin_system.h"
#include "checks.h"
#include "env_guard.h"
#include "harness.h"
#include "options.h"
#include "system_check.h"
#include "system_model.h"
#include "validate.h"

namespace fs = std::filesystem;
using namespace vesk_host;

namespace {

bool parse(std::vector<std::string> words, options& o, std::string& error) {
    words.insert(words.begin(), "vesk-host");
    std::vector<char*> argv;
    for (std::string& w : words) {
        argv.push_back(&w[0]);
    }
    return parseOptions(static_cast<int>(argv.size()), argv.data(), o, error);
}

// A folder of the test's own, removed with it.
class temp_folder {
public:
    explicit temp_folder(const char* name)
        : m_path(
              (fs::temp_directory_path() /
               (std::string(name) + "_" + std::to_string(reinterpret_cast<std::uintptr_t>(this))))
                  .string()) {
        fs::create_directories(m_path);
    }
    ~temp_folder() {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

} // namespace

TEST(ValidateOptions, WhatTheValidatorRefusesAndWhy) {
    const struct {
        std::vector<std::string> words;
        const char* error; // empty: accepted
    } rows[] = {
        {{"--validate", "--script", "a.so"}, ""},
        {{"--validate", "--script", "a.so", "--seed", "42", "--events", "10", "--strictness", "10",
          "--checks", "load, replies", "--skip", "memory", "--out", "d"},
         ""},
        {{"--script", "a.so", "--seed", "3"},
         "--seed, --events, --strictness, --checks, --skip and --out go with --validate"},
        {{"--script", "a.so", "--checks", "load"},
         "--seed, --events, --strictness, --checks, --skip and --out go with --validate"},
        {{"--validate", "--script", "a.so", "s.scenario"},
         "--validate takes no scenario, --check-system, page or --ember options"},
        {{"--validate", "--script", "a.so", "--html", "x.html"},
         "--validate takes no scenario, --check-system, page or --ember options"},
        {{"--validate", "--script", "a.so", "--ember", "9000"},
         "--validate takes no scenario, --check-system, page or --ember options"},
        {{"--validate", "--script", "a.so", "--strictness", "0"},
         "--strictness takes a level from 1 to 10"},
        {{"--validate", "--script", "a.so", "--strictness", "11"},
         "--strictness takes a level from 1 to 10"},
        {{"--validate", "--script", "a.so", "--strictness", "five"},
         "--strictness takes a level from 1 to 10"},
        {{"--validate", "--script", "a.so", "--events", "0"},
         "--events takes a number from 1 to 1000000"},
        {{"--validate", "--script", "a.so", "--seed", "-1"}, "--seed takes a number, 0 or more"},
        {{"--validate", "--script", "a.so", "--seed", "12345678901234567890"},
         "--seed takes a number, 0 or more"},
        {{"--validate", "--script", "a.so", "--checks", "replys"},
         "no check named 'replys'; did you mean 'replies'? (the checks are listed in --help)"},
        {{"--validate", "--script", "a.so", "--skip", "load,memroy"},
         "no check named 'memroy'; did you mean 'memory'? (the checks are listed in --help)"},
        {{"--validate", "--script", "a.so", "--checks", "everything"},
         "no check named 'everything' (the checks are listed in --help)"},
        {{"--validate"}, "--script is required"},
    };
    for (const auto& row : rows) {
        options o;
        std::string error;
        bool accepted = parse(row.words, o, error);
        EXPECT_EQ(accepted, row.error[0] == '\0') << error;
        EXPECT_EQ(error, row.error);
    }
}

// Results are compared across versions by these names; --help gives each its level.
TEST(ValidateChecks, TheNamesResultsAreComparedByEachWithALevel) {
    const std::set<std::string> named = {
        "load",        "null-link", "lifetime", "event-kinds", "startup-copied",
        "replies",     "answers",   "explore",  "lines",       "instances",
        "host-thread", "timing",    "memory",   "determinism"};
    std::set<std::string> listed;
    std::string help = validateHelp();
    for (const validate_check& c : validateChecks()) {
        EXPECT_TRUE(listed.insert(c.name).second) << c.name << " twice";
        EXPECT_GE(c.level, 1) << c.name;
        EXPECT_LE(c.level, 10) << c.name;
        EXPECT_NE(c.run, nullptr) << c.name;
        EXPECT_EQ(findCheck(c.name), &c);
        std::string row = std::string(c.name);
        row.resize(16, ' ');
        EXPECT_NE(help.find("  " + row + std::to_string(c.level) + " "), std::string::npos)
            << "--help gives no level for " << c.name;
    }
    EXPECT_EQ(listed, named);
    // Whether the library can be used at all decides the rest: it runs first.
    EXPECT_EQ(std::string(validateChecks().front().name), "load");
    EXPECT_EQ(findCheck("Load"), nullptr);
    EXPECT_EQ(checkNames(" load,,replies , "), (std::vector<std::string>{"load", "replies"}));
}

// A check's process hands its verdict over as text: nothing of it may be lost on the way,
// however odd the steps and the reason.
TEST(ValidateChecks, VerdictsSurviveTheWayBack) {
    check_verdict failing;
    failing.kind = verdict_kind::fail;
    failing.why = "released \"x\" twice\nand more: 100%";
    failing.steps = {"parent a=''", "press 1 m", "", "parent \xC3\xA9\\n"};
    failing.signature = "released \"\" twice";
    check_verdict warned;
    warned.kind = verdict_kind::warn;
    warned.why = "slow";
    check_verdict unusable;
    unusable.kind = verdict_kind::unusable;
    for (const check_verdict& sent : {failing, warned, unusable, check_verdict()}) {
        check_verdict got;
        got.steps = {"left over"};
        ASSERT_TRUE(parseVerdict(verdictText(sent), got));
        EXPECT_EQ(got.kind, sent.kind);
        EXPECT_EQ(got.why, sent.why);
        EXPECT_EQ(got.steps, sent.steps);
        EXPECT_EQ(got.signature, sent.signature);
    }
    check_verdict got;
    EXPECT_FALSE(parseVerdict("", got));
    EXPECT_FALSE(parseVerdict("fail\n3\nsig\nonly one step\n", got));
    EXPECT_FALSE(parseVerdict("fail\nmany\nsig\n", got));
}

// Shrinking asks whether a smaller run fails the same way: the same fault with other texts
// and numbers is the same failure, another fault is not.
TEST(ValidateChecks, FailuresCompareWithoutTheirTextsAndNumbers) {
    const struct {
        const char* a;
        const char* b;
        bool same;
    } rows[] = {
        {"s released the reply \"1 0\" to \"SD 'rtr'\" 2 times",
         "s released the reply \"\" to \"SD 'x y'\" 3 times", true},
        {"crashed: SIGSEGV (segmentation fault) in callback (button, kind 2)",
         "crashed: SIGSEGV (segmentation fault) in callback (button, kind 2)", true},
        {"s released the reply \"1\" to \"SD 'a'\" 2 times",
         "s never released the reply \"1\" to \"SD 'a'\"", false},
        {"crashed: SIGSEGV (segmentation fault) in callback (button, kind 2)",
         "crashed: SIGSEGV (segmentation fault) in callback (parent text, kind 3)", false},
        {"crashed: SIGSEGV in buttonCallback", "crashed: SIGABRT in buttonCallback", false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(failureSignature(row.a) == failureSignature(row.b), row.same)
            << row.a << " / " << row.b;
    }
}

// The system a validation runs on when none is given is one the host accepts, and its
// lookups answer.
TEST(ValidateSystem, TheBuiltInSystemIsSoundAndAnswers) {
    temp_folder folder("vesk_validate_system");
    std::string dir = (fs::path(folder.path()) / "builtin").string();
    std::string error;
    ASSERT_TRUE(writeBuiltinSystem(dir, "12", error)) << error;
    for (const system_finding& f : checkSystem(dir, "12")) {
        ADD_FAILURE() << f.text();
    }
    system_model system(dir);
    EXPECT_NE(system.find(1), nullptr);
    EXPECT_FALSE(system.instance("rtr").empty());
    EXPECT_FALSE(system.hostInfo().empty());
    // Written again over itself, as a second scenario under --out does.
    EXPECT_TRUE(writeBuiltinSystem(dir, "", error)) << error;
}

class ValidateSteps : public ::testing::Test {
protected:
    ValidateSteps() : folder("vesk_validate_steps") {
        std::string error;
        v.system = (fs::path(folder.path()) / "builtin").string();
        EXPECT_TRUE(writeBuiltinSystem(v.system, "", error)) << error;
        v.seed = 1;
        v.scratch = folder.path();
        // The scripts read their settings from the system, as the validator's checks see it.
        env.set("CC_ROOT", folder.path());
        env.set("CC_SYSTEM", "builtin");
        env.unset("CC_WORKSTATION");
    }
    temp_folder folder;
    env_guard env;
    validation v;
    call_record record;
};

// A script that gives a reply back twice fails at the step that made it, the same way at
// every run.
TEST_F(ValidateSteps, AFaultIsFoundAtItsStepTheSameWayEachTime) {
    const struct {
        const char* library;
        const char* fault;
    } rows[] = {{FAULTY_TWICE_LIBRARY, "2 times"},
                {FAULTY_LEAK_LIBRARY, "past the event that asked for it"}};
    for (const auto& row : rows) {
        v.library = row.library;
        std::vector<std::string> steps = {"hostevent", "parent anything", "hostevent"};
        steps_outcome first = runSteps(v, record, steps);
        ASSERT_TRUE(first.failed) << row.library;
        EXPECT_EQ(first.at, 1);
        EXPECT_NE(first.why.find(row.fault), std::string::npos) << first.why;
        steps_outcome again = runSteps(v, record, {"parent other text"});
        EXPECT_TRUE(again.failed);
        EXPECT_EQ(again.at, 0);
        EXPECT_EQ(again.signature, first.signature);
        EXPECT_FALSE(runSteps(v, record, {"hostevent"}).failed) << row.library;
    }
}

// The follow script, given what a parent would give it on this system, names its parameters
// and watches its monitor; its sound steps pass and its life ends with "AS".
TEST_F(ValidateSteps, TheFollowScriptsSurfaceAndASoundLife) {
    v.library = VIEWTRAIL_LIBRARY;
    script_surface surface = learnSurface(v, record);
    std::set<std::string> parameters(surface.parameters.begin(), surface.parameters.end());
    EXPECT_EQ(parameters, (std::set<std::string>{"panel", "source"}));
    EXPECT_EQ(surface.devices, std::vector<int>{1});
    // Given the system's instance, it watches its monitor's destination, 1 on this system.
    EXPECT_EQ(surface.watched, (std::vector<std::pair<int, int>>{{1, 1}}));
    std::vector<std::string> steps = soundSteps(surface);
    steps_outcome o = runSteps(v, record, steps);
    EXPECT_FALSE(o.failed) << o.why;
    ASSERT_FALSE(o.sent.empty());
    EXPECT_EQ(o.sent.back(), "AS");
    EXPECT_EQ(o.stepMs.size(), steps.size());
    EXPECT_FALSE(record.inCall.load());
}

// The memory checks trust this measurement: an allocation the size of a leak shows in it.
TEST(ValidateMemory, AnAllocationShowsInTheHeap) {
    std::size_t before = 0;
    if (!heapInUse(before)) {
        GTEST_SKIP() << "this platform does not say how much heap is in use";
    }
    std::unique_ptr<char[]> held(new char[256 * 1024]);
    held[0] = 1;
    std::size_t after = 0;
    ASSERT_TRUE(heapInUse(after));
    EXPECT_GE(after, before + 256 * 1024);
}

namespace {

// A host link that counts what reaches it.
class counting_link : public vesk_client_callback {
public:
    char* callback(char*, int) override {
        ++calls;
        return nullptr;
    }
    int calls = 0;
};

} // namespace

// The host link is called only inside a host call, on the host's thread: anything else is
// noted and kept from the host, whose link is not made for it.
TEST(ValidateHostThread, CallsOutsideACallOrFromAnotherThreadAreNotedNotPassedOn) {
    counting_link host;
    call_record record;
    watch_link watch(&host, record);
    char line[] = "HI";
    watch.callback(line, 0);
    EXPECT_EQ(host.calls, 0);
    record.enter("buttonCallback");
    watch.callback(line, 0);
    EXPECT_EQ(host.calls, 1);
    EXPECT_EQ(watch.misuse().find("thread"), std::string::npos);
    std::thread other([&] { watch.callback(line, 0); });
    other.join();
    record.leave();
    EXPECT_EQ(host.calls, 1);
    EXPECT_EQ(watch.calls(), 3);
    std::string misuse = watch.misuse();
    EXPECT_NE(misuse.find("1 call(s) of the host link from a thread other than the host's"),
              std::string::npos)
        << misuse;
    EXPECT_NE(misuse.find("1 call(s) of the host link outside any host call, the first sending "
                          "\"HI\""),
              std::string::npos)
        << misuse;
    counting_link quiet;
    call_record idle;
    EXPECT_EQ(watch_link(&quiet, idle).misuse(), "");
}
