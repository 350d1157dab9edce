// fuzz_host_link: a host link whose answers come from the fuzzer's input, with its books kept
// in the emulated host's ledger.
//
// Lines whose answer the script reads get a fresh reply or null; all other lines get null or
// an acknowledgement that is not reply text, since a host may answer anything. Which lines are
// read comes from the host's verb index. Every reply must come back with kind 5 exactly once
// and nothing else may come back. A released reply is freed at once, so that under
// AddressSanitizer reading it afterwards is caught.
#pragma once

#include <string>

#include "fuzz_input.h"
#include "reply_ledger.h"
#include "vesk_client_callback.h"

class fuzz_host_link : public vesk_client_callback {
public:
    explicit fuzz_host_link(fuzz_input& in)
        : m_in(in), m_ledger(vesk_host::reply_ledger::on_release::free) {}
    ~fuzz_host_link() override;
    fuzz_host_link(const fuzz_host_link&) = delete;
    fuzz_host_link& operator=(const fuzz_host_link&) = delete;

    char* callback(char* argument, int kind) override;

    // The next line is answered as one whose answer is ignored, whatever its verb: a script
    // may send any text as a line, and then never reads or releases the answer.
    void nextAnswerIgnored() { m_nextIgnored = true; }

    // The last line sent, and how many lines there were.
    const std::string& lastLine() const { return m_lastLine; }
    long lines() const { return m_lines; }
    // Stops the fuzzer unless every reply went back exactly once.
    void checkBooks();

private:
    char* answerWithText();

    fuzz_input& m_in;
    vesk_host::reply_ledger m_ledger;
    std::string m_lastLine;
    long m_lines = 0;
    bool m_nextIgnored = false;
};
