#include "recording_host_link.h"

#include <cstdint>
#include <cstring>

recording_host_link::~recording_host_link() = default;

std::vector<std::string> recording_host_link::takeLines() {
    std::vector<std::string> taken;
    taken.swap(m_lines);
    return taken;
}

void recording_host_link::answer(const std::string& prefix, const char* reply) {
    m_rules.emplace_back(prefix, reply ? reply : "");
    m_ruleKinds.push_back(reply ? answerKind::text : answerKind::null);
}

namespace {
char acknowledgement[] = "(acknowledged)";
}

void recording_host_link::acknowledge(const std::string& prefix) {
    m_rules.emplace_back(prefix, "");
    m_ruleKinds.push_back(answerKind::acknowledgement);
}

void recording_host_link::answerNext(const char* reply) {
    m_queue.emplace_back(reply == nullptr, reply ? reply : "");
}

char* recording_host_link::handOut(const char* text) {
    handedOut r;
    std::size_t size = std::strlen(text) + 1;
    r.text.reset(new char[size]);
    std::memcpy(r.text.get(), text, size);
    r.original = text;
    m_replies.push_back(std::move(r));
    return m_replies.back().text.get();
}

char* recording_host_link::callback(char* argument, int kind) {
    if (kind == 0) {
        std::string line = argument ? argument : "(null)";
        m_lines.push_back(line);
        m_calls.emplace_back(0, line);
        if (!m_queue.empty()) {
            std::pair<bool, std::string> next = m_queue.front();
            m_queue.erase(m_queue.begin());
            return next.first ? nullptr : handOut(next.second.c_str());
        }
        for (std::size_t i = m_rules.size(); i-- > 0;) {
            if (line.compare(0, m_rules[i].first.size(), m_rules[i].first) == 0) {
                switch (m_ruleKinds[i]) {
                case answerKind::null:
                    return nullptr;
                case answerKind::acknowledgement:
                    return acknowledgement;
                case answerKind::text:
                    break;
                }
                return handOut(m_rules[i].second.c_str());
            }
        }
        return nullptr;
    }
    if (kind == 5) {
        if (argument == nullptr) {
            ++m_nullReleases;
            m_calls.emplace_back(5, "(null)");
            return nullptr;
        }
        for (handedOut& r : m_replies) {
            if (r.text.get() == argument) {
                ++r.releases;
                m_calls.emplace_back(5, r.original);
                // Poison the text: a script that reads it after release sees this instead.
                std::memset(r.text.get(), '#', r.original.size());
                return nullptr;
            }
        }
        m_foreign.push_back(std::to_string(reinterpret_cast<std::uintptr_t>(argument)));
        m_calls.emplace_back(5, "(foreign)");
        return nullptr;
    }
    m_calls.emplace_back(kind, "(unexpected kind)");
    return nullptr;
}

::testing::AssertionResult recording_host_link::eachReplyReleasedOnce() const {
    std::string problems;
    for (const handedOut& r : m_replies) {
        if (r.releases != 1) {
            problems += "reply \"" + r.original + "\" released " + std::to_string(r.releases) +
                        " times; ";
        }
    }
    for (const std::string& foreign : m_foreign) {
        problems += "foreign pointer " + foreign + " released; ";
    }
    for (const auto& call : m_calls) {
        if (call.first != 0 && call.first != 5) {
            problems += "unexpected kind " + std::to_string(call.first) + "; ";
        }
    }
    if (problems.empty()) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << problems;
}
