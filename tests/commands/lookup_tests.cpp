#include <gtest/gtest.h>

#include <string>

#include "command_rows.h"

namespace {

using call_t = std::function<std::string(test_script&)>;
using std::to_string;

// Outputs start out as junk, so that clearing them shows; a cleared type letter reads "NUL".
call_t slot(const char* instance, const char* name) {
    return [=](test_script& s) {
        vesk_string altId("old");
        int device = -9;
        int index = -9;
        char type = '?';
        bool found = s.slotLookup(instance, name, altId, &device, &index, &type);
        return show(found) + " " + to_string(device) + " " + to_string(index) + " " +
               (type ? std::string(1, type) : "NUL") + " " + show(altId);
    };
}

call_t instance(const char* name) {
    return [=](test_script& s) {
        int device = -9;
        int offset = -9;
        bool found = s.instanceLookup(name, &device, &offset);
        return show(found) + " " + to_string(device) + " " + to_string(offset);
    };
}

std::string controls(test_script& s) {
    vesk_stringlist ids = s.controlList("p 1", "%1");
    return to_string(ids.count()) + " [" + ids.toString('|').c_str() + "]";
}

TEST(Commands, Lookups) {
    const std::vector<std::string> ss = {"SS 'r%2' '%1 x'"};
    const std::vector<std::string> sd = {"SD 'r%1'"};
    const std::vector<std::string> xi = {"XI 'p 1' '%1'"};
    const std::string notFound = "false 0 0 NUL 'old'";
    const auto reply = host_answer::with;
    const call_t rtrOut1 = slot("r%2", "%1 x");
    const call_t router1 = instance("r%1");
    runCommandTable({
        gives("slot", rtrOut1, ss, "true 12 105 G 'main out'", reply("12 100 5 2 'main out'"),
              notFound),
        gives("router type", rtrOut1, ss, "true 7 3 R ''", reply("7 0 3 3"), notFound),
        gives("other type", rtrOut1, ss, "true 1 2 I 'x'", reply("1 1 1 4 x"), notFound),
        gives("short reply", rtrOut1, ss, "true 5 0 I ''", reply("5"), notFound),
        gives("empty reply", rtrOut1, ss, "true 0 0 I ''", reply(""), notFound),
        gives("no reply", rtrOut1, ss, notFound, host_answer::nothing(), notFound),
        gives("quoted empty token", rtrOut1, ss, "true 3 9 R 'a b'", reply("3 '' 9 3x 'a b'"),
              notFound),
        // The index sums two reply numbers; it stays in range instead of overflowing.
        gives("beyond range", rtrOut1, ss, "true 2147483647 2147483647 I ''",
              reply("99999999999 2147483647 1"), notFound),
        gives(
            "no outputs",
            [](test_script& s) {
                vesk_string altId("old");
                bool found = s.slotLookup("r%2", "%1 x", altId, nullptr, nullptr, nullptr);
                return show(found) + " " + show(altId);
            },
            ss, "true 'a'", reply("1 2 3 2 a"), "false 'old'"),
        gives(
            "without alternative id",
            [](test_script& s) {
                int device = -9;
                char type = '?';
                bool found = s.slotLookup("r%2", "%1 x", &device, nullptr, &type);
                return show(found) + " " + to_string(device) + " " + to_string(type);
            },
            ss, "true 12 71", reply("12 100 5 2"), "false 0 0"),
        gives("instance", router1, sd, "true 7 40", reply("7 40"), "false 0 0"),
        gives("instance short reply", router1, sd, "true 7 0", reply("7"), "false 0 0"),
        gives("instance no reply", router1, sd, "false 0 0", host_answer::nothing(), "false 0 0"),
        gives("instance extremes", router1, sd, "true 2147483647 -2147483648",
              reply("2147483648 -2147483649"), "false 0 0"),
        gives(
            "instance without offset",
            [](test_script& s) {
                int device = -9;
                bool found = s.instanceLookup("r%1", &device, nullptr);
                return show(found) + " " + to_string(device);
            },
            sd, "true 7", reply("7 40"), "false 0"),
        gives("controls", controls, xi, "4 [alm_1||a b|]", reply("alm_1,,a b,"), "0 []"),
        gives("controls, empty reply", controls, xi, "0 []", reply(""), "0 []"),
        gives("controls, no reply", controls, xi, "0 []", host_answer::nothing(), "0 []"),
    });
}

} // namespace
