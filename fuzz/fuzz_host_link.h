// fuzz_host_link: a host link whose answers come from the fuzzer's input, and which keeps the
// books on every reply it hands out.
//
// Lines whose answer the script reads get a fresh reply or null; lines whose answer is only
// tested get null or an acknowledgement that is not reply text; all other lines get null or
// the acknowledgement too, since a host may answer anything. Every reply must come back with
// kind 5 exactly once and nothing else may come back. A released reply is freed at once, so
// that under AddressSanitizer reading it afterwards is caught.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "vesk_client_callback.h"

class fuzz_host_link : public vesk_client_callback {
public:
    explicit fuzz_host_link(fuzz_input& in) : m_in(in) {}
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
    void checkBooks() const;

private:
    struct reply {
        std::unique_ptr<char[]> text; // null once released
        const void* address;
        int releases;
        std::string line; // the line it answered
    };

    char* answerWithText();

    fuzz_input& m_in;
    std::string m_lastLine;
    long m_lines = 0;
    bool m_nextIgnored = false;
    std::vector<reply> m_replies;
};
