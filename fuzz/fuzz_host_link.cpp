#include "fuzz_host_link.h"

#include <cstring>

namespace {

// Not reply text: what a host answers to a line whose answer is only tested or ignored.
char acknowledgement[] = "(acknowledged)";

// Verbs whose answer the script copies and hands back.
const char* const readVerbs[] = {"RN", "RI", "TG", "CP", "CC", "SS", "SD", "XI", "HI"};

// Replies the host might really give, so the fuzzer reaches past the decoders' first cases.
const char* const plausibleReplies[] = {
    "3 0",   "3 7 R 'alt id'", "12 'two words' 3", "text=shown", "all=1,2", "4 5", "a,b,,c", "",
    "'x' 5", "1 2 G",          "9 9 I ''",         "%1 %2",      "=",
};

std::string verbOf(const char* line) {
    const char* end = std::strchr(line, ' ');
    return end ? std::string(line, static_cast<std::size_t>(end - line)) : std::string(line);
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
    std::unique_ptr<char[]> copy(new char[text.size() + 1]);
    std::memcpy(copy.get(), text.c_str(), text.size() + 1);
    char* handed = copy.get();
    m_replies.push_back(reply{std::move(copy), handed, 0, m_lastLine});
    return handed;
}

char* fuzz_host_link::callback(char* argument, int kind) {
    if (kind == 0) {
        FUZZ_CHECK(argument != nullptr, "a null line was sent");
        m_lastLine = argument;
        ++m_lines;
        std::string verb = verbOf(argument);
        bool ignored = m_nextIgnored;
        m_nextIgnored = false;
        for (const char* read : readVerbs) {
            if (ignored) {
                break;
            }
            if (verb == read) {
                return answerWithText();
            }
        }
        return m_in.flag() ? acknowledgement : nullptr;
    }
    FUZZ_CHECK(kind == 5, "the script used kind " + std::to_string(kind) + " towards the host");
    if (argument == nullptr) {
        return nullptr;
    }
    FUZZ_CHECK(argument != acknowledgement, "an acknowledgement was released as reply text");
    // Latest first: a freed address may come back for a later reply.
    for (auto r = m_replies.rbegin(); r != m_replies.rend(); ++r) {
        if (r->address == argument) {
            ++r->releases;
            FUZZ_CHECK(r->releases == 1, "the reply to [" + r->line + "] was released twice");
            r->text.reset();
            return nullptr;
        }
    }
    fuzz_fail("a pointer that was never a reply was released");
}

void fuzz_host_link::checkBooks() const {
    for (const reply& r : m_replies) {
        FUZZ_CHECK(r.releases == 1, "the reply to [" + r.line + "] was never released");
    }
}
