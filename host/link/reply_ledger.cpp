#include "reply_ledger.h"

#include <cstring>

namespace vesk_host {

namespace {
const char ackText[] = "(acknowledged)";
}

char* reply_ledger::keep(const std::string& text, const std::string& line, bool isReply) {
    block b;
    b.data.reset(new char[text.size() + 1]);
    std::memcpy(b.data.get(), text.c_str(), text.size() + 1);
    b.address = b.data.get();
    b.text = text;
    b.line = line;
    b.where = m_where;
    b.isReply = isReply;
    m_blocks.push_back(std::move(b));
    return m_blocks.back().data.get();
}

char* reply_ledger::handOut(const std::string& text, const std::string& line) {
    return keep(text, line, true);
}

char* reply_ledger::acknowledge(const std::string& line) {
    return keep(ackText, line, false);
}

// Latest first: a block freed at its release may give its address to a later one.
const reply_ledger::block* reply_ledger::find(const char* pointer) const {
    for (auto b = m_blocks.rbegin(); b != m_blocks.rend(); ++b) {
        if (b->address == pointer) {
            return &*b;
        }
    }
    return nullptr;
}

const std::string* reply_ledger::handedOutText(const char* pointer) const {
    const block* b = pointer != nullptr ? find(pointer) : nullptr;
    return b != nullptr ? &b->text : nullptr;
}

std::string reply_ledger::takeBack(const char* pointer) {
    if (pointer == nullptr) {
        return std::string();
    }
    block* b = const_cast<block*>(find(pointer));
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
    if (m_released == on_release::free) {
        b->data.reset();
    } else {
        std::memset(b->data.get(), '#', b->text.size());
    }
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
