#include <gtest/gtest.h>

#include "command_families.h"
#include "command_rows.h"

namespace {

using script = test_script;

} // namespace

std::vector<command_row> hostNetworkRows() {
    return {
        sends("HN ''", [](script& s) { s.sendHN(""); }),
        sends("HG 'a b' 'c'", [](script& s) { s.sendHG("a b", "c"); }),
        sends("HH 'x'", [](script& s) { s.sendHH("x"); }),
        sends("HP 'a' ''", [](script& s) { s.sendHP("a", ""); }),
        sends("HQ '%2' '%1'", [](script& s) { s.sendHQ("%2", "%1"); }),
        sends("NA 'it's'", [](script& s) { s.sendNA("it's"); }),
        sends("NX '%1'", [](script& s) { s.sendNX("%1"); }),
    };
}

namespace {

TEST(HostNetworkCommands, Lines) {
    runCommandTable(hostNetworkRows());
}

// The answer to NIX and NIA is a yes or no, never reply text to hand back; false without a
// link.
} // namespace

std::vector<command_row> networkTestRows() {
    const auto nix = [](script& s) { return show(s.sendNIX("%1 b")); };
    const auto nia = [](script& s) { return show(s.sendNIA("")); };
    const std::string yes = show(true);
    const std::string no = show(false);
    return {
        reads("NIX '%1 b'", nix, host_answer::ack(), yes, no),
        reads("NIX '%1 b'", nix, host_answer::nothing(), no, no),
        reads("NIA ''", nia, host_answer::ack(), yes, no),
        reads("NIA ''", nia, host_answer::nothing(), no, no),
    };
}

namespace {

TEST(HostNetworkCommands, NixAndNiaTestTheAnswer) {
    runCommandTable(networkTestRows());
}

} // namespace
