// A script's host link used where the host is not calling the script: from a thread of the
// script, outside any call, after the script's end, after the host's. Every such call is
// refused without touching the host, and the host reports it as what it was.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "emulated_host.h"
#include "emulated_link.h"
#include "system_model.h"
#include "transcript.h"
#include "vesk_script_export.h"

namespace {

std::string brokenLibrary(const char* kind) {
    return std::string(BROKEN_LIBRARY_DIR) + "/" + BROKEN_LIBRARY_PREFIX + "broken_" + kind +
           BROKEN_LIBRARY_SUFFIX;
}

// The problems raised since `from`, one text.
std::string problemsSince(const vesk_host::emulated_host& host, std::size_t from) {
    std::string all;
    for (std::size_t i = from; i < host.problems().size(); ++i) {
        all += host.problems()[i].what + "\n";
    }
    return all;
}

TEST(LinkThreads, CallsTheHostDidNotAskForAreRefusedAndNamed) {
    vesk_host::system_model system("");
    vesk_host::transcript out(nullptr);
    vesk_host::emulated_link* firstLife = nullptr;
    {
        vesk_host::emulated_host host(system, out);
        std::string error;
        ASSERT_TRUE(host.addScript("broken", brokenLibrary("throw"), "", error)) << error;
        vesk_host::script_slot& s = *host.slot("broken");
        host.create(s);
        ASSERT_NE(s.script, nullptr);
        firstLife = s.link.get();

        struct row {
            const char* name;
            bool ownThread;
            bool afterDestroy;
            int kind;
            const char* said;
        } rows[] = {
            {"a thread between calls", true, false, VESK_LINK_SEND,
             "send 'PS '1' 'x'' from a thread of its own, outside any call of the host into it"},
            {"the host's thread between calls", false, false, VESK_LINK_SEND,
             "send 'PS '1' 'x'' outside any call of the host into it"},
            {"a release from a thread", true, false, VESK_LINK_RELEASE,
             "release of a reply from a thread of its own, outside any call"},
            {"a thread after destroy", true, true, VESK_LINK_SEND,
             "send 'PS '1' 'x'' from a thread of its own, after the script was destroyed"},
            {"the host's thread after destroy", false, true, VESK_LINK_SEND,
             "send 'PS '1' 'x'' after the script was destroyed"},
        };
        for (const row& r : rows) {
            SCOPED_TRACE(r.name);
            if (r.afterDestroy && s.script != nullptr) {
                host.destroy(s);
            }
            std::size_t sent = s.record.sent.size();
            std::size_t from = host.problems().size();
            char* answer = reinterpret_cast<char*>(1);
            auto call = [&] {
                char line[] = "PS '1' 'x'";
                answer = firstLife->callback(r.kind == VESK_LINK_SEND ? line : nullptr, r.kind);
            };
            if (r.ownThread) {
                std::thread(call).join();
            } else {
                call();
            }
            EXPECT_EQ(answer, nullptr);
            // Noticed at the next call into a script, or at the end: never carried out.
            if (s.script != nullptr) {
                host.timer(s, 1);
            } else {
                host.finish();
            }
            EXPECT_EQ(s.record.sent.size(), sent);
            std::string problems = problemsSince(host, from);
            EXPECT_NE(problems.find("broken made a call to the host link that was refused: " +
                                    std::string(r.said)),
                      std::string::npos)
                << problems;
            EXPECT_NE(problems.find("not made by this step"), std::string::npos) << problems;
        }

        // A thread that goes on and on: a few are named, the rest counted.
        std::size_t from = host.problems().size();
        std::thread([&] {
            for (int i = 0; i < 12; ++i) {
                char line[] = "PS '1' 'again'";
                firstLife->callback(line, VESK_LINK_SEND);
            }
        }).join();
        host.finish();
        std::string problems = problemsSince(host, from);
        EXPECT_NE(problems.find("and 7 more such calls"), std::string::npos) << problems;

        // The next life has a link of its own, which the host's calls reach as usual.
        host.create(s);
        ASSERT_NE(s.script, nullptr);
        EXPECT_NE(s.link.get(), firstLife);
        host.finish();
    }
    // The host is gone; the link a thread may still hold answers, and touches nothing else.
    char line[] = "PS '1' 'after the run'";
    EXPECT_EQ(firstLife->callback(line, VESK_LINK_SEND), nullptr);
    std::thread([&] { EXPECT_EQ(firstLife->callback(line, VESK_LINK_SEND), nullptr); }).join();
}

} // namespace
