// recording_host_link: a host link for tests.
//
// It records every line a script sends, answers from scripted replies, and keeps the books on
// every reply it hands out: each must come back with kind 5 exactly once, and nothing else may
// come back. Replies stay allocated until the link goes, so a double release is seen as such
// and never confused with a reused address; a released reply is overwritten, so a script that
// reads it afterwards reads garbage and fails its test.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "vesk_client_callback.h"

class recording_host_link : public vesk_client_callback {
public:
    recording_host_link() = default;
    ~recording_host_link() override;
    recording_host_link(const recording_host_link&) = delete;
    recording_host_link& operator=(const recording_host_link&) = delete;

    char* callback(char* argument, int kind) override;

    // Every line sent with kind 0 since the last clearLines(), in order.
    const std::vector<std::string>& lines() const { return m_lines; }
    // Returns the lines and forgets them.
    std::vector<std::string> takeLines();
    void clearLines() { m_lines.clear(); }

    // Every line whose text starts with `prefix` is answered with a fresh copy of `reply`
    // (null answers null). Later rules win over earlier ones for the same line.
    void answer(const std::string& prefix, const char* reply);
    // Every line whose text starts with `prefix` is answered with a non-null acknowledgement
    // that is not reply text: the commands that only test their answer never release it, and
    // releasing it counts as releasing a foreign pointer.
    void acknowledge(const std::string& prefix);
    // The next send, whatever its line, is answered with `reply`; queued answers come before
    // the rules.
    void answerNext(const char* reply);

    // Every call the script made, kind and text, in order (releases show the reply's text as
    // it was when handed out, or "(null)").
    const std::vector<std::pair<int, std::string>>& calls() const { return m_calls; }

    int repliesHandedOut() const { return static_cast<int>(m_replies.size()); }
    int releasesOfNull() const { return m_nullReleases; }
    // Every non-null reply was released exactly once and nothing else was released.
    ::testing::AssertionResult eachReplyReleasedOnce() const;

private:
    struct handedOut {
        std::unique_ptr<char[]> text;
        std::string original;
        int releases = 0;
    };

    char* handOut(const char* text);

    std::vector<std::string> m_lines;
    std::vector<std::pair<int, std::string>> m_calls;
    std::vector<std::pair<std::string, std::string>> m_rules;
    enum class answerKind { text, null, acknowledgement };
    std::vector<answerKind> m_ruleKinds;
    std::vector<std::pair<bool, std::string>> m_queue; // (is null, text)
    std::vector<handedOut> m_replies;
    std::vector<std::string> m_foreign;
    int m_nullReleases = 0;
};
