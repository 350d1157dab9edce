// recording_host_link: a host link for tests.
//
// It records every line a script sends, answers from scripted replies, and keeps the books on
// every reply it hands out in the emulated host's ledger: each must come back with kind 5
// exactly once, and nothing else may come back.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "reply_ledger.h"
#include "vesk_client_callback.h"

class recording_host_link : public vesk_client_callback {
public:
    recording_host_link() = default;
    ~recording_host_link() override;
    recording_host_link(const recording_host_link&) = delete;
    recording_host_link& operator=(const recording_host_link&) = delete;

    char* callback(char* argument, int kind) override;

    // Every line sent with kind 0 since the last takeLines(), in order.
    const std::vector<std::string>& lines() const { return m_lines; }
    // Returns the lines and forgets them.
    std::vector<std::string> takeLines();

    // Every line whose text starts with `prefix` is answered with a fresh copy of `reply`
    // (null answers null). Later rules win over earlier ones for the same line.
    void answer(const std::string& prefix, const char* reply);
    // Every line whose text starts with `prefix` is answered with a non-null acknowledgement
    // that is not reply text: the commands that only test their answer never release it, and
    // releasing it counts as releasing a foreign pointer.
    void acknowledge(const std::string& prefix);

    // Every call the script made, kind and text, in order (releases show the reply's text as
    // it was when handed out, or "(null)").
    const std::vector<std::pair<int, std::string>>& calls() const { return m_calls; }

    int releasesOfNull() const { return m_nullReleases; }
    // Every non-null reply was released exactly once, nothing else was released, and no kind
    // but sends and releases was used.
    ::testing::AssertionResult eachReplyReleasedOnce();

private:
    enum class answerKind { text, null, acknowledgement };
    struct rule {
        std::string prefix;
        answerKind kind;
        std::string reply;
    };

    std::vector<std::string> m_lines;
    std::vector<std::pair<int, std::string>> m_calls;
    std::vector<rule> m_rules;
    vesk_host::reply_ledger m_ledger;
    std::vector<std::string> m_problems;
    int m_nullReleases = 0;
};
