#include "reply_ledger.h"

#include <cstring>

namespace vesk_host {

namespace {
const char ackText[] = "(acknowledged)";
}

char* reply_ledger::handOut(const std::string& text, const std::string& line) {
    block b;
    b.data.reset(new char[text.size() + 1]);
    std::memcpy(b.data.get(), text.c_str(), text.size() + 1);
    b.text = text;
    b.line = line;
    b.where = m_where;
    b.isReply = true;
    m_blocks.push_back(std::move(b));
    return m_blocks.back().data.get();
}

char* reply_ledger::acknowledge(const std::string& line) {
    block b;
    b.data.reset(new char[sizeof ackText]);
    std::memcpy(b.data.get(), ackText, sizeof ackText);
    b.text = ackText;
    b.line = line;
    b.where = m_where;
    m_blocks.push_back(std::move(b));
    return m_blocks.back().data.get();
}

reply_ledger::block* reply_ledger::find(const char* pointer) {
    for (block& b : m_blocks) {
        if (b.data.get() == pointer) {
            return &b;
        }
    }
    return nullptr;
}

std::string reply_ledger::takeBack(const char* pointer) {
    if (pointer == nullptr) {
        return std::string();
    }
    block* b = find(pointer);
    if (b == nullptr) {
        return "released a pointer the host never handed out";
    }
    ++b->releases;
    if (!b->isReply) {
        return "released the acknowledgement of \"" + b->line +
               "\", which is not reply text and must not come back";
    }
    if (b->releases > 1) {
        return "released the reply \"" + b->text + "\" to \"" + b->line + "\" " +
               std::to_string(b->releases) + " times";
    }
    std::memset(b->data.get(), '#', b->text.size());
    return std::string();
}

std::vector<reply_ledger::unreleased_reply> reply_ledger::unreleasedReplies() {
    std::vector<unreleased_reply> replies;
    for (block& b : m_blocks) {
        if (b.isReply && b.releases == 0 && !b.reported) {
            b.reported = true;
            replies.push_back(
                {b.where, "never released the reply \"" + b.text + "\" to \"" + b.line + "\""});
        }
    }
    return replies;
}

std::vector<std::string> reply_ledger::unreleased() {
    std::vector<std::string> problems;
    for (const unreleased_reply& r : unreleasedReplies()) {
        problems.push_back(r.what);
    }
    return problems;
}

} // namespace vesk_host
