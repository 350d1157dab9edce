// The books on every pointer the host hands a script through its link.
//
// Reply text must come back with kind 5 exactly once. Acknowledgements (the non-null answer to
// the lines whose answer is only tested) must never come back. Blocks stay allocated until the
// ledger goes, so a second release is recognised as such and never mistaken for a new block at
// a reused address; a released block is overwritten, so a script that reads it afterwards
// shows garbage instead of passing by luck.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace vesk_host {

class reply_ledger {
public:
    // A fresh copy of `text`, answering `line`; owned by the ledger.
    char* handOut(const std::string& text, const std::string& line);
    // A non-null answer to `line` that is not reply text.
    char* acknowledge(const std::string& line);

    // Takes a pointer back. Returns the problem, or empty text when the release is sound
    // (a reply's first release, or null).
    std::string takeBack(const char* pointer);

    // Every reply not yet taken back, described; each is reported only once.
    std::vector<std::string> unreleased();

private:
    struct block {
        std::unique_ptr<char[]> data;
        std::string text;
        std::string line;
        bool isReply = false;
        int releases = 0;
        bool reported = false;
    };
    block* find(const char* pointer);

    std::vector<block> m_blocks;
};

} // namespace vesk_host
