// Running out of memory at every allocation in turn: once (the Nth allocation fails and later
// ones succeed) and for good (the Nth and every later one fail). Whatever fails, the export
// gives a script or null and sends nothing for null, no exception reaches the host, every host
// reply goes back exactly once, and every block is freed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <iostream>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "env_guard.h"
#include "failing_allocator.h"
#include "platform.h"
#include "recording_host_link.h"
#include "temp_system_tree.h"
#include "test_script.h"
#include "vesk_host_structs.h"
#include "vesk_winapi.h"

namespace {

using vesk_host::script_library;

using failing_allocator::mode;

// The host's side never runs out: its allocations are neither counted nor failed.
class reliable_host : public vesk_client_callback {
public:
    char* callback(char* argument, int kind) override {
        failing_allocator::host_scope hostSide;
        return link.callback(argument, kind);
    }
    recording_host_link link;
};

struct outcome {
    bool created = false;
    bool escaped = false;
    long long counted = 0;
    long long injected = 0;
};

// One script's life with the allocator armed throughout: creation, events, destruction.
// Every call the host makes is guarded, so an escaping exception is seen, not fatal.
class life {
public:
    explicit life(reliable_host& h) : host(h) {}

    bool call(char* argument, int kind, char** answer = nullptr) {
        try {
            char* result = script->callback(argument, kind);
            if (answer != nullptr) {
                *answer = result;
            } else if (result != nullptr) {
                script->callback(result, VESK_EVENT_RELEASE);
            }
            return true;
        } catch (...) {
            escaped = true;
            return false;
        }
    }
    void parent(const char* text) {
        std::string copy;
        {
            // The host's own copy of the text; only the script's allocations fail.
            failing_allocator::host_scope hostSide;
            copy = text;
        }
        call(&copy[0], VESK_EVENT_PARENT);
    }
    void press(const char* panel, const char* id, const decodeCaptionString* caption) {
        vesk_host_button button{0, 0, panel, id, caption};
        call(reinterpret_cast<char*>(&button), VESK_EVENT_BUTTON);
    }
    void revertive(int device, int index, const char* text, int kind) {
        vesk_host_revertive event{device, 0, index, 0, text};
        call(reinterpret_cast<char*>(&event), kind);
    }
    void timer(int id) {
        call(reinterpret_cast<char*>(static_cast<std::intptr_t>(id)), VESK_EVENT_TIMER);
    }

    void destroy() {
        try {
            script.reset();
        } catch (...) {
            escaped = true;
        }
    }

    // From here on the script must switch as an unfailed one would: the steps after the mark
    // set every parameter again.
    void mark() {
        marked = host.link.lines().size();
        failedBeforeMark = failing_allocator::injected() > 0;
    }
    // The first crosspoint line after the mark, or null.
    const std::string* crosspointAfterMark() const {
        const std::vector<std::string>& lines = host.link.lines();
        for (std::size_t i = marked; i < lines.size(); ++i) {
            if (lines[i].compare(0, 3, "RC ") == 0) {
                return &lines[i];
            }
        }
        return nullptr;
    }

    reliable_host& host;
    std::unique_ptr<vesk_client_callback> script;
    bool escaped = false;
    std::size_t marked = static_cast<std::size_t>(-1);
    bool failedBeforeMark = false;
};

// Runs `drive` with the allocator failing at `failAt`; problems are added to `problems`, which
// is only touched once the allocator is disarmed again.
// A run without failures captures its lines in `capture`; with `baseline`, a script made
// although an allocation failed during its creation must send the lines a run without failures
// sends.
outcome runOnce(long long failAt, mode how,
                const std::function<vesk_client_callback*(vesk_client_callback*)>& create,
                const std::function<void(life&)>& drive, std::vector<std::string>& problems,
                const std::vector<std::string>* baseline = nullptr,
                std::vector<std::string>* capture = nullptr) {
    // Room for every note made below, so that taking notes allocates nothing.
    std::string trouble;
    trouble.reserve(1024);
    auto note = [&trouble](const std::string& text) {
        trouble.append(text, 0, trouble.capacity() - trouble.size());
    };
    const long long liveBefore = failing_allocator::live();
    outcome result;
    {
        reliable_host host;
        host.link.answer("SD 'router1'", "3 0");
        host.link.answer("TG", "text=shown");
        host.link.answer("CP", "4 5");
        host.link.answer("CC", "value");
        host.link.answer("RN", "router one");
        host.link.answer("RI", "info");
        host.link.answer("HI", "host 1");
        life l(host);
        {
            const std::string caption = "press.sub=1";
            decodeCaptionString decoded(caption.c_str());

            failing_allocator::arm(failAt, how);
            try {
                l.script.reset(create(&host));
            } catch (...) {
                l.escaped = true;
            }
            const bool created = l.script != nullptr;
            const bool failedWhileCreating = failing_allocator::injected() > 0;
            const bool sentWhileCreating = !host.link.lines().empty();
            if (created) {
                drive(l);
                l.press("1", "button", &decoded);
                l.press("1", "m", nullptr);
                l.destroy();
            }
            result.counted = failing_allocator::counted();
            result.injected = failing_allocator::injected();
            failing_allocator::disarm();

            result.created = created;
            result.escaped = l.escaped;
            if (!created && sentWhileCreating) {
                note("sent lines though creation failed; ");
            }
            if (created && (host.link.lines().empty() || host.link.lines().back() != "AS")) {
                note("\"AS\" was not the last line; ");
            }
            if (created && failedWhileCreating && how == mode::once && baseline != nullptr &&
                !std::equal(host.link.lines().begin(), host.link.lines().end(), baseline->begin(),
                            baseline->end() - 1)) {
                note("a script made despite a failed allocation behaves differently; ");
            }
            if (created && how == mode::once && l.failedBeforeMark && baseline != nullptr) {
                const std::string* made = l.crosspointAfterMark();
                if (made == nullptr || *made != baseline->back()) {
                    note("after a failed event, setting the parameters again switches another "
                         "crosspoint; ");
                }
            }
            if (capture != nullptr) {
                *capture = host.link.lines();
                // The crosspoint after the mark goes last, for the check above.
                const std::string* made = l.crosspointAfterMark();
                capture->push_back(made ? *made : std::string());
            }
            if (l.escaped) {
                note("an exception reached the host; ");
            }
            ::testing::AssertionResult released = host.link.eachReplyReleasedOnce();
            if (!released) {
                note(released.message());
            }
        }
    }
    // Captured lines are still held; that run is not checked for leaks.
    const long long leaked = capture ? 0 : failing_allocator::live() - liveBefore;
    if (leaked != 0) {
        note(std::to_string(leaked) + " blocks leaked; ");
    }
    if (!trouble.empty() && problems.size() < 20) {
        problems.push_back(std::string(how == mode::once ? "once" : "always") + " at " +
                           std::to_string(failAt) + ": " + trouble);
    }
    return result;
}

struct sweep {
    long long runs = 0;
    long long nullScripts = 0;
    long long allocationsInALife = 0;
};

// Fails each allocation in turn, from the first, until a life runs without any failure.
sweep failEachInTurn(mode how,
                     const std::function<vesk_client_callback*(vesk_client_callback*)>& create,
                     const std::function<void(life&)>& drive, std::vector<std::string>& problems) {
    sweep s;
    // A first, unfailed life lets every lazily made static come to be before anything is counted.
    std::vector<std::string> unfailed;
    runOnce(0, how, create, drive, problems, nullptr, &unfailed);
    for (long long n = 1; n < 1000000; ++n) {
        outcome o = runOnce(n, how, create, drive, problems, &unfailed);
        ++s.runs;
        s.nullScripts += o.created ? 0 : 1;
        if (o.injected == 0) {
            s.allocationsInALife = o.counted;
            break;
        }
    }
    return s;
}

// Workstation 12 with monitor 7, a user and a level; debug output goes nowhere.
class SystemUnderFailure : public ::testing::Test {
protected:
    SystemUnderFailure() {
        tree.writeConfigDb("[workstation_settings.12]\nmonitor=7\npanel=main\n\n"
                           "[workstations.12]\nuser=op1\n\n[users.op1]\nlevel=Supervisor\n");
        tree.activate(env);
        env.set("CC_WORKSTATION", "12");
        vesk_set_debug_sink(discard, nullptr);
    }
    ~SystemUnderFailure() override { vesk_set_debug_sink(nullptr, nullptr); }

    static void discard(const char*, void*) {}

    temp_system_tree tree;
    env_guard env;
};

class AllocationFailure : public SystemUnderFailure, public ::testing::WithParamInterface<mode> {};

TEST_P(AllocationFailure, FollowScriptWholeLife) {
    script_library library(VIEWTRAIL_LIBRARY);
    ASSERT_TRUE(library.loaded()) << library.error();
    std::vector<std::string> problems;
    sweep s = failEachInTurn(
        GetParam(), [&](vesk_client_callback* link) { return library.create(link, "panels"); },
        [](life& l) {
            l.parent("panel=main");
            l.parent("instance=router1");
            l.parent("source=12");
            l.parent("return=all");
            l.parent("_commands");
            l.revertive(3, 7, "CAM 12", VESK_EVENT_REVERTIVE);
            l.revertive(3, 7, "CAM 13", VESK_EVENT_SECONDARY_REVERTIVE);
            l.timer(4);
            int hostEvent = 0;
            l.call(reinterpret_cast<char*>(&hostEvent), VESK_EVENT_HOST);
            // An answer the host keeps for a while and hands back after later events.
            char query[] = "return=all";
            char* kept = nullptr;
            l.call(query, VESK_EVENT_PARENT, &kept);
            l.parent("source=5");
            l.call(kept, VESK_EVENT_RELEASE);
            l.mark();
            l.parent("instance=router1");
            l.parent("source=12");
            l.press("1", "m", nullptr);
        },
        problems);
    EXPECT_TRUE(problems.empty()) << ::testing::PrintToString(problems);
    EXPECT_GT(s.nullScripts, 0);
    EXPECT_GT(s.allocationsInALife, 10);
    std::cout << "follow script: " << s.allocationsInALife << " allocations in a life, " << s.runs
              << " runs, " << s.nullScripts << " creations gave null\n";
}

// Every operation that reads a host reply, in the handlers of a plain script.
TEST_P(AllocationFailure, ReplyReadingOperations) {
    std::vector<std::string> problems;
    sweep s = failEachInTurn(
        GetParam(),
        [](vesk_client_callback* link) -> vesk_client_callback* {
            // The script object is this test's own: its allocation failing is not news.
            std::unique_ptr<test_script> made(new (std::nothrow) test_script(link, "panels"));
            if (made == nullptr) {
                return nullptr;
            }
            test_script* script = made.get();
            script->onParent = [script](parentNotify*) {
                vesk_string sValue;
                script->textGet("text", "1", "tally", sValue);
                vesk_string first, second;
                script->sendCP("1", "m", first, second);
                vesk_string sCC = script->sendCC("1", "m", "x", 1, 2, 3, 4, "y");
                vesk_string sName("unchanged");
                script->sendRN(1, 2, 3, sName);
                const char* info = script->sendRI(1, 2, "text");
                if (info != nullptr) {
                    script->link->callback(const_cast<char*>(info), VESK_LINK_RELEASE);
                }
                vesk_string sHost = script->hostInfo();
                vesk_stringlist lSettings = script->workstationSettings();
                return sValue + first + second + sCC + sName + sHost + lSettings.toString(',') +
                       script->userLevelText();
            };
            return made.release();
        },
        [](life& l) {
            l.parent("query=1");
            l.parent("query=2");
        },
        problems);
    EXPECT_TRUE(problems.empty()) << ::testing::PrintToString(problems);
    std::cout << "reply readers: " << s.allocationsInALife << " allocations in a life, " << s.runs
              << " runs\n";
}

// A configuration node read while memory runs out is either read whole or not made at all:
// never a node that seems missing, which would give the follow script monitor 0.
TEST_F(SystemUnderFailure, ConfigurationNodeIsWholeOrThrows) {
    long long seenFailures = 0;
    std::vector<std::string> problems;
    for (long long n = 1; n < 100000; ++n) {
        bool threw = false;
        bool valid = false;
        vesk_string monitor;
        failing_allocator::arm(n, mode::once);
        try {
            vesk_config cfgSettings("workstation_settings.12");
            valid = cfgSettings.isValid();
            monitor = cfgSettings.attr("monitor");
        } catch (const std::bad_alloc&) {
            threw = true;
        }
        const long long injected = failing_allocator::injected();
        failing_allocator::disarm();
        if (injected == 0) {
            break;
        }
        ++seenFailures;
        if (!threw && (!valid || monitor != "7")) {
            problems.push_back("failure at " + std::to_string(n) + " read as a missing node");
        }
    }
    EXPECT_GT(seenFailures, 5);
    EXPECT_TRUE(problems.empty()) << ::testing::PrintToString(problems);
}

INSTANTIATE_TEST_SUITE_P(Modes, AllocationFailure, ::testing::Values(mode::once, mode::always),
                         [](const ::testing::TestParamInfo<mode>& param) {
                             return param.param == mode::once ? std::string("Once")
                                                              : std::string("Always");
                         });

} // namespace
