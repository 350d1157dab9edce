// command_table: the shape of every command-line test. A row calls one operation on a fresh
// script over a fresh recording host link, and states the lines that must reach the host, the
// operation's result, and how the host answers. The runner checks the lines byte for byte, the
// result, and that every reply was released exactly once and nothing else was; then it runs
// the same call on a script without a link and checks that nothing breaks and the result is the
// one given for that case.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "test_script.h"

// How the host answers the row's lines.
struct host_answer {
    enum kind_t { none, acknowledgement, text };
    kind_t kind = none;
    std::string reply;

    static host_answer nothing() { return {}; }
    // Non-null, but not reply text: for the lines whose answer is only tested.
    static host_answer ack() { return {acknowledgement, ""}; }
    static host_answer with(const std::string& replyText) { return {text, replyText}; }
};

struct command_row {
    std::string what;
    // Calls the operation and renders its result as text (see show()); "" for none.
    std::function<std::string(test_script&)> call;
    std::vector<std::string> lines;
    std::string result;
    host_answer answer;
    // Releases of a null reply the operation must make (the commands that always release).
    int nullReleases = 0;
    // The result without a host link.
    std::string resultWithoutLink;
    // The start-up text the script is created with.
    std::string startup;
};

void runCommandTable(const std::vector<command_row>& rows);

// Results rendered for rows.
std::string show(bool value);
std::string show(const vesk_string& value);
std::string show(const char* value);
