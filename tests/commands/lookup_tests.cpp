#include <gtest/gtest.h>

#include <string>

#include "command_families.h"
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

std::string slotWithoutOutputs(test_script& s) {
    vesk_string altId("old");
    bool found = s.slotLookup("r%2", "%1 x", altId, nullptr, nullptr, nullptr);
    return show(found) + " " + show(altId);
}

std::string slotWithoutAltId(test_script& s) {
    int device = -9;
    char type = '?';
    bool found = s.slotLookup("r%2", "%1 x", &device, nullptr, &type);
    return show(found) + " " + to_string(device) + " " + to_string(type);
}

std::string instanceWithoutOffset(test_script& s) {
    int device = -9;
    bool found = s.instanceLookup("r%1", &device, nullptr);
    return show(found) + " " + to_string(device);
}

} // namespace

std::vector<command_row> lookupRows() {
    const char* ss = "SS 'r%2' '%1 x'";
    const char* sd = "SD 'r%1'";
    const char* xi = "XI 'p 1' '%1'";
    const std::string notFound = "false 0 0 NUL 'old'";
    const auto reply = host_answer::with;
    const auto none = host_answer::nothing();
    const call_t rtrOut1 = slot("r%2", "%1 x");
    const call_t router1 = instance("r%1");
    return {
        reads(ss, rtrOut1, reply("12 100 5 2 'main out'"), "true 12 105 G 'main out'", notFound),
        reads(ss, rtrOut1, reply("7 0 3 3"), "true 7 3 R ''", notFound),
        reads(ss, rtrOut1, reply("1 1 1 4 x"), "true 1 2 I 'x'", notFound),
        reads(ss, rtrOut1, reply("5"), "true 5 0 I ''", notFound),
        reads(ss, rtrOut1, reply(""), "true 0 0 I ''", notFound),
        reads(ss, rtrOut1, none, notFound, notFound),
        reads(ss, rtrOut1, reply("3 '' 9 3x 'a b'"), "true 3 9 R 'a b'", notFound),
        // The index sums two reply numbers; it stays in range instead of overflowing.
        reads(ss, rtrOut1, reply("99999999999 2147483647 1"), "true 2147483647 2147483647 I ''",
              notFound),
        reads(ss, slotWithoutOutputs, reply("1 2 3 2 a"), "true 'a'", "false 'old'"),
        reads(ss, slotWithoutAltId, reply("12 100 5 2"), "true 12 71", "false 0 0"),

        reads(sd, router1, reply("7 40"), "true 7 40", "false 0 0"),
        reads(sd, router1, reply("7"), "true 7 0", "false 0 0"),
        reads(sd, router1, none, "false 0 0", "false 0 0"),
        reads(sd, router1, reply("2147483648 -2147483649"), "true 2147483647 -2147483648",
              "false 0 0"),
        reads(sd, instanceWithoutOffset, reply("7 40"), "true 7", "false 0"),

        reads(xi, controls, reply("alm_1,,a b,"), "4 [alm_1||a b|]", "0 []"),
        reads(xi, controls, reply(""), "0 []", "0 []"),
        reads(xi, controls, none, "0 []", "0 []"),
    };
}

namespace {

TEST(LookupCommands, Replies) {
    runCommandTable(lookupRows());
}

} // namespace
