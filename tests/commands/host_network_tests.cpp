#include <gtest/gtest.h>

#include "command_rows.h"

namespace {

using script = test_script;

TEST(Commands, HostsAndNetworks) {
    const std::string yes = show(true);
    const std::string no = show(false);
    runCommandTable({
        sends("HN", [](script& s) { s.sendHN(""); }, {"HN ''"}),
        sends("HG", [](script& s) { s.sendHG("a b", "c"); }, {"HG 'a b' 'c'"}),
        sends(
            "HH", [](script& s) { s.sendHH("x"); }, {"HH 'x'"}, host_answer::ack()),
        sends("HP", [](script& s) { s.sendHP("a", ""); }, {"HP 'a' ''"}),
        sends("HQ", [](script& s) { s.sendHQ("%2", "%1"); }, {"HQ '%2' '%1'"}),
        sends("NA", [](script& s) { s.sendNA("it's"); }, {"NA 'it's'"}),
        sends("NX", [](script& s) { s.sendNX("%1"); }, {"NX '%1'"}),
        // The answer to NIX and NIA is a yes or no, never reply text to hand back.
        gives(
            "NIX yes", [](script& s) { return s.sendNIX("a"); }, {"NIX 'a'"}, yes,
            host_answer::ack(), no),
        gives(
            "NIX no", [](script& s) { return s.sendNIX("a"); }, {"NIX 'a'"}, no,
            host_answer::nothing(), no),
        gives(
            "NIA yes", [](script& s) { return s.sendNIA("%1 b"); }, {"NIA '%1 b'"}, yes,
            host_answer::ack(), no),
        gives(
            "NIA no", [](script& s) { return s.sendNIA(""); }, {"NIA ''"}, no,
            host_answer::nothing(), no),
    });
}

} // namespace
