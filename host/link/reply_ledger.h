// The books on every pointer a host hands a script through its link: the emulated host's, and
// the test and fuzz links', which keep them the same way.
//
// Reply text must come back with kind 5 exactly once. Acknowledgements (the non-null answer to
// the lines whose answer is only tested) must never come back. By default blocks stay allocated
// until the ledger goes, so a second release is recognised as such and never mistaken for a new
// block at a reused address; a released block is overwritten, so a script that reads it
// afterwards shows garbage instead of passing by luck. Under AddressSanitizer a block freed at
// its release catches the read itself, which is what the fuzz link asks for.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace vesk_host {

class reply_ledger {
public:
    enum class on_release {
        poison, // overwrite the text, keep the block until the ledger goes
        free,   // free the block at once
    };
    explicit reply_ledger(on_release released = on_release::poison) : m_released(released) {}

    // A fresh copy of `text`, answering `line`; owned by the ledger.
    char* handOut(const std::string& text, const std::string& line);
    // A non-null answer to `line` that is not reply text.
    char* acknowledge(const std::string& line);

    // Takes a pointer back. Returns the problem, or empty text when the release is sound
    // (a reply's first release, or null).
    std::string takeBack(const char* pointer);

    // The text `pointer` was handed out with, or null when the ledger never handed it out.
    const std::string* handedOutText(const char* pointer) const;

    // Every reply not yet taken back, described; each is reported only once.
    std::vector<std::string> unreleased();

    // Where the blocks handed out from now on were asked for ("file:line"), so that a reply
    // never taken back is reported at the request rather than where the script went.
    void at(const std::string& where) { m_where = where; }
    struct unreleased_reply {
        std::string where; // as given to at() when the reply was handed out
        std::string what;
    };
    // unreleased(), with where each reply was asked for.
    std::vector<unreleased_reply> unreleasedReplies();

private:
    struct block {
        std::unique_ptr<char[]> data; // null once freed at its release
        const char* address = nullptr;
        std::string text;
        std::string line;
        std::string where;
        bool isReply = false;
        int releases = 0;
        bool reported = false;
    };
    char* keep(const std::string& text, const std::string& line, bool isReply);
    const block* find(const char* pointer) const;

    on_release m_released;
    std::vector<block> m_blocks;
    std::string m_where;
};

} // namespace vesk_host
