// The emulated host's verb index against the SDK: every line the command tables expect is read
// by the host as its verb, and every verb of the index is sent by some operation. A verb on
// one side only fails here.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "command_families.h"
#include "command_line.h"
#include "host_verbs.h"
#include "recording_host_link.h"

namespace {

using vesk_host::host_verb;
using vesk_host::hostVerbs;

struct verb_seen {
    bool inShape = false;   // one of its lines has the index's shape
    bool repliedTo = false; // a table answers one of its lines with reply text
};

TEST(VerbIndex, EveryLineOfTheSdkIsReadAsItsVerbAndEveryVerbIsSent) {
    std::vector<command_row> rows;
    for (auto family :
         {panelRows, controlTextRows, controlRows, routerRows, iFamilyRows, gFamilyRows,
          timerEventRows, hostNetworkRows, networkTestRows, lookupRows, alarmRows}) {
        std::vector<command_row> more = family();
        rows.insert(rows.end(), more.begin(), more.end());
    }
    // Lines sent outside the command tables: the host information, a script's last line, and
    // plain forms of the verbs whose table rows only carry quotes that break the line.
    {
        recording_host_link host;
        host.answer("HI", "host");
        test_script script(&host);
        script.hostInfo();
        command_row hostInfo;
        hostInfo.lines = host.lines();
        hostInfo.answer = host_answer::with("host");
        rows.push_back(hostInfo);
    }
    {
        recording_host_link host;
        {
            test_script script(&host);
            script.sendCS("1", "m");
            script.sendNA("studio");
        }
        command_row plain;
        plain.lines = host.lines();
        rows.push_back(plain);
    }

    std::map<std::string, verb_seen> seen;
    for (const command_row& row : rows) {
        for (const std::string& line : row.lines) {
            const host_verb* verb = vesk_host::findVerb(line.c_str());
            EXPECT_NE(verb, nullptr) << "the host's verb index has no verb for " << line;
            if (verb == nullptr) {
                continue;
            }
            verb_seen& v = seen[verb->verb];
            v.inShape = v.inShape || vesk_host::parseCommandLine(line).matches(verb->shape);
            v.repliedTo = v.repliedTo || row.answer.kind == host_answer::text;
            if (row.answer.kind == host_answer::text) {
                EXPECT_EQ(verb->answer, vesk_host::verb_answer::reply)
                    << line << " is read for its reply; the index says it is not";
            }
        }
    }
    for (const host_verb& verb : hostVerbs) {
        auto found = seen.find(verb.verb);
        ASSERT_NE(found, seen.end())
            << verb.verb << " is in the verb index, but no operation sends it";
        EXPECT_TRUE(found->second.inShape)
            << "no line of " << verb.verb << " has the index's shape " << verb.shape;
        if (verb.answer == vesk_host::verb_answer::reply) {
            EXPECT_TRUE(found->second.repliedTo)
                << verb.verb << " answers with reply text, but no table reads one";
        }
    }
}

} // namespace
