// A run watched from outside: however it ends inside a call into the script, the supervisor
// says how, in which handler, at which step and after which lines, and lives on to say it.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "broken_report.h"
#include "emulated_host.h"
#include "isolation.h"
#include "scenario_parser.h"
#include "scenario_runner.h"
#include "system_model.h"
#include "transcript.h"

#if !defined(_WIN32)
#include <signal.h>
#include <unistd.h>
#endif

using vesk_host::broken_run;
using vesk_host::call_record;
using vesk_host::runIsolated;

namespace {

enum class ending { returns, crashes, aborts, exits, hangs, sleeps };

// What a script's handler does, in a run that says where it is as vesk-host's runs do.
int runThat(ending how, call_record& record,
            const std::function<void(const std::string&)>& mirror) {
    if (mirror) {
        mirror("vesk-host: probe from a test\n");
    }
    record.at("broken.scenario:3");
    record.lineSent("PL '1' 'main'");
    record.lineSent("PS '1' 'broken'");
    record.enter("buttonCallback");
    switch (how) {
    case ending::crashes: {
        volatile int* nowhere = nullptr;
        *nowhere = 1;
        break;
    }
    case ending::aborts:
        std::abort();
    case ending::exits:
        std::exit(3);
    case ending::hangs:
        for (volatile bool forever = true; forever;) {
        }
        break;
    case ending::sleeps:
        // Outside any call: no hang, however long.
        record.leave();
        std::this_thread::sleep_for(std::chrono::seconds(5));
        return 0;
    case ending::returns:
        break;
    }
    record.leave();
    return 1;
}

#if defined(_WIN32)
const char* const crashWords = "crashed: EXCEPTION_ACCESS_VIOLATION";
const char* const exitWords = "ended the run early";
// On Windows a run that called exit holds the C runtime's exit lock for good, and the next
// library loaded or the process's own end waits for it: vesk-host ends at once after a broken
// run, and so does the test of one (AnExitEndsTheRunAndVeskHostAtOnce).
const bool exitsHere = false;
#else
const char* const crashWords = "crashed: SIGSEGV";
const char* const exitWords = "ended the run early with exit status 3";
const bool exitsHere = true;
#endif

} // namespace

// The last row runs after the broken ones: a watcher that has seen runs die still watches
// the next one soundly.
TEST(Isolation, EveryEndInsideAHandlerIsReportedWithItsPlace) {
    const struct {
        ending how;
        const char* what; // empty: the run finishes by itself
    } rows[] = {
        {ending::crashes, crashWords},
        {ending::aborts, "crashed: SIGABRT"},
        {ending::exits, exitWords},
        {ending::hangs, "hung: the call did not return within 1 s (--timeout)"},
        {ending::returns, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.how == ending::exits && !exitsHere) {
            continue;
        }
        int status = -1;
        broken_run broken;
        bool finished = runIsolated(
            [&](call_record& record, const std::function<void(const std::string&)>& mirror) {
                return runThat(row.how, record, mirror);
            },
            1, status, broken);
        if (row.what[0] == '\0') {
            EXPECT_TRUE(finished);
            EXPECT_EQ(status, 1);
            continue;
        }
        ASSERT_FALSE(finished);
        EXPECT_EQ(broken.what.rfind(row.what, 0), 0u) << broken.what;
        EXPECT_EQ(broken.handler, "buttonCallback");
        EXPECT_EQ(broken.where(), "broken.scenario:3");
        EXPECT_EQ(broken.lastSent, (std::vector<std::string>{"PL '1' 'main'", "PS '1' 'broken'"}));
        EXPECT_EQ(broken.transcript, "vesk-host: probe from a test\n");
    }
}

// The test scripts that break, each run through the host as vesk-host runs them: the report
// names the handler the host was in and the scenario line that called it.
TEST(Isolation, BrokenScriptsAreReportedAtTheStepThatBrokeThem) {
    const struct {
        const char* script;
        const char* what;
        const char* handler;
        int line;
    } rows[] = {
        {"crash", crashWords, "buttonCallback", 3},
        {"exit", exitWords, "parentCallback", 2},
        {"abort", "crashed: SIGABRT", "timerCallback", 4},
        {"hang", "hung: the call did not return within 1 s", "buttonCallback", 3},
    };
    std::vector<vesk_host::step> steps;
    std::vector<std::string> errors;
    ASSERT_TRUE(vesk_host::loadScenario(BROKEN_SCENARIO, steps, errors));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.script);
        if (std::string(row.script) == "exit" && !exitsHere) {
            continue;
        }
        std::string library = std::string(BROKEN_LIBRARY_DIR) + "/" + BROKEN_LIBRARY_PREFIX +
                              "broken_" + row.script + BROKEN_LIBRARY_SUFFIX;
        auto run = [&](call_record& record, const std::function<void(const std::string&)>& mirror) {
            vesk_host::system_model system("");
            vesk_host::transcript out(nullptr);
            if (mirror) {
                out.mirrorTo(mirror);
            }
            vesk_host::emulated_host host(system, out);
            host.keepRecord(&record);
            std::string error;
            if (!host.addScript("broken", library, "", error)) {
                return 2;
            }
            host.create(*host.slot("broken"));
            vesk_host::scenario_runner runner(host, out, BROKEN_SCENARIO);
            for (const vesk_host::step& s : steps) {
                runner.run(s);
            }
            runner.finish();
            host.finish();
            return 0;
        };
        int status = -1;
        broken_run broken;
        ASSERT_FALSE(runIsolated(run, 1, status, broken)) << status;
        EXPECT_EQ(broken.what.rfind(row.what, 0), 0u) << broken.what;
        EXPECT_EQ(broken.handler, row.handler);
        EXPECT_EQ(broken.where(), std::string(BROKEN_SCENARIO) + ":" + std::to_string(row.line));
        if (row.line == 3) {
            ASSERT_FALSE(broken.lastSent.empty());
            EXPECT_EQ(broken.lastSent.back(), "PS '1' 'broken'");
        }
        EXPECT_NE(broken.transcript.find("parent instance=rtr"), std::string::npos);
    }
}

#if defined(_WIN32)
TEST(Isolation, AnExitEndsTheRunAndVeskHostAtOnce) {
    EXPECT_EXIT(
        {
            int status = -1;
            broken_run broken;
            bool finished = runIsolated(
                [](call_record& record, const std::function<void(const std::string&)>& mirror) {
                    return runThat(ending::exits, record, mirror);
                },
                1, status, broken);
            std::fprintf(stderr, "%s in %s at %s\n", broken.what.c_str(), broken.handler.c_str(),
                         broken.where().c_str());
            vesk_host::endBrokenRun(finished ? 0 : 7);
        },
        ::testing::ExitedWithCode(7),
        "ended the run early \\(the script called exit\\) in buttonCallback at broken.scenario:3");
}
#else
// A supervisor that cannot offer what the run needs stops the run before it does anything.
TEST(Isolation, ASupervisorThatCannotStartStopsTheRun) {
    int status = -1;
    broken_run broken;
    bool finished = runIsolated(
        [](call_record& record, const std::function<void(const std::string&)>& mirror) {
            return runThat(ending::sleeps, record, mirror);
        },
        10, status, broken, [] { return false; });
    EXPECT_TRUE(finished);
    EXPECT_EQ(status, 2);
}

// SIGTERM to vesk-host ends the run too, and is said to be no crash. A run between calls,
// however long, is not hung.
TEST(Isolation, TerminationIsPassedOnAndNamed) {
    std::thread asker([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        kill(getpid(), SIGTERM);
    });
    int status = -1;
    broken_run broken;
    bool finished = runIsolated(
        [](call_record& record, const std::function<void(const std::string&)>& mirror) {
            return runThat(ending::sleeps, record, mirror);
        },
        1, status, broken);
    asker.join();
    ASSERT_FALSE(finished);
    EXPECT_EQ(broken.what, "was stopped: vesk-host received SIGTERM");
    EXPECT_EQ(broken.handler, "");
    // The supervisor's own handling of SIGTERM is back as it was.
    struct sigaction now {};
    sigaction(SIGTERM, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
}
#endif

TEST(BrokenReport, RepeatedFramesFoldIntoOneWithTheirCount) {
    const struct {
        const char* frames;
        const char* folded;
    } rows[] = {
        {"", ""},
        {"a\nb\nc\n", "  a\n  b\n  c\n"},
        {"a\nb\nb\nb\nc", "  a\n  b\n  (the frame above 2 times more)\n  c\n"},
        {"r\nr\nr\n", "  r\n  (the frame above 2 times more)\n"},
        {"a\nb\na\nb\n", "  a\n  b\n  a\n  b\n"},
        // An empty line is no frame, and no repeat of one.
        {"\na\n\na\n", "  a\n  (the frame above 1 times more)\n"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(vesk_host::foldedBacktrace(row.frames, "  "), row.folded) << row.frames;
    }
}
