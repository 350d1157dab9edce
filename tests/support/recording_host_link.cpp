#include "recording_host_link.h"

recording_host_link::~recording_host_link() = default;

std::vector<std::string> recording_host_link::takeLines() {
    std::vector<std::string> taken;
    taken.swap(m_lines);
    return taken;
}

void recording_host_link::answer(const std::string& prefix, const char* reply) {
    m_rules.push_back({prefix, reply ? answerKind::text : answerKind::null, reply ? reply : ""});
}

void recording_host_link::acknowledge(const std::string& prefix) {
    m_rules.push_back({prefix, answerKind::acknowledgement, std::string()});
}

char* recording_host_link::callback(char* argument, int kind) {
    if (kind == VESK_LINK_SEND) {
        std::string line = argument ? argument : "(null)";
        m_lines.push_back(line);
        m_calls.emplace_back(VESK_LINK_SEND, line);
        for (std::size_t i = m_rules.size(); i-- > 0;) {
            const rule& r = m_rules[i];
            if (line.compare(0, r.prefix.size(), r.prefix) == 0) {
                switch (r.kind) {
                case answerKind::null:
                    return nullptr;
                case answerKind::acknowledgement:
                    return m_ledger.acknowledge(line);
                case answerKind::text:
                    return m_ledger.handOut(r.reply, line);
                }
            }
        }
        return nullptr;
    }
    if (kind == VESK_LINK_RELEASE) {
        if (argument == nullptr) {
            ++m_nullReleases;
        }
        const std::string* text = m_ledger.handedOutText(argument);
        m_calls.emplace_back(VESK_LINK_RELEASE, argument == nullptr ? "(null)"
                                                : text              ? *text
                                                                    : "(foreign)");
        std::string problem = m_ledger.takeBack(argument);
        if (!problem.empty()) {
            m_problems.push_back(problem);
        }
        return nullptr;
    }
    m_calls.emplace_back(kind, "(unexpected kind)");
    m_problems.push_back("unexpected kind " + std::to_string(kind));
    return nullptr;
}

::testing::AssertionResult recording_host_link::eachReplyReleasedOnce() {
    for (std::string& leak : m_ledger.unreleased()) {
        m_problems.push_back(std::move(leak));
    }
    if (m_problems.empty()) {
        return ::testing::AssertionSuccess();
    }
    std::string all;
    for (const std::string& problem : m_problems) {
        all += problem + "; ";
    }
    return ::testing::AssertionFailure() << all;
}
