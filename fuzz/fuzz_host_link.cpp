#include "fuzz_host_link.h"

#include <cstring>

#include "host_verbs.h"

namespace {

// Replies the host might really give, so the fuzzer reaches past the decoders' first cases.
const char* const plausibleReplies[] = {
    "3 0",   "3 7 R 'alt id'", "12 'two words' 3", "text=shown", "all=1,2", "4 5", "a,b,,c", "",
    "'x' 5", "1 2 G",          "9 9 I ''",         "%1 %2",      "=",
};

// Whether the script copies the answer to `line` and hands it back.
bool answerIsRead(const char* line) {
    const vesk_host::host_verb* verb = vesk_host::findVerb(line);
    return verb != nullptr && verb->answer == vesk_host::verb_answer::reply;
}

} // namespace

fuzz_host_link::~fuzz_host_link() = default;

char* fuzz_host_link::answerWithText() {
    std::string text;
    switch (m_in.below(3)) {
    case 0:
        return nullptr;
    case 1:
        text = plausibleReplies[m_in.below(sizeof plausibleReplies / sizeof plausibleReplies[0])];
        break;
    default:
        text = m_in.text(512);
        break;
    }
    // Host text is a C text: a NUL in the input ends it.
    text.resize(std::strlen(text.c_str()));
    return m_ledger.handOut(text, m_lastLine);
}

char* fuzz_host_link::callback(char* argument, int kind) {
    if (kind == VESK_LINK_SEND) {
        FUZZ_CHECK(argument != nullptr, "a null line was sent");
        m_lastLine = argument;
        ++m_lines;
        bool ignored = m_nextIgnored;
        m_nextIgnored = false;
        if (!ignored && answerIsRead(argument)) {
            return answerWithText();
        }
        return m_in.flag() ? m_ledger.acknowledge(m_lastLine) : nullptr;
    }
    FUZZ_CHECK(kind == VESK_LINK_RELEASE,
               "the script used kind " + std::to_string(kind) + " towards the host");
    std::string problem = m_ledger.takeBack(argument);
    FUZZ_CHECK(problem.empty(), problem);
    return nullptr;
}

void fuzz_host_link::checkBooks() {
    for (const std::string& leak : m_ledger.unreleased()) {
        fuzz_fail("a reply was never released", leak);
    }
}
