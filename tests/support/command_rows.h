// command_rows: short forms of the rows most command tables hold.
#pragma once

#include <functional>
#include <string>
#include <utility>

#include "command_table.h"

// An operation that returns nothing and ignores its answer. The host acknowledges the line,
// so a release of what it answered is reported as a release of an acknowledgement.
inline command_row sends(const std::string& line, std::function<void(test_script&)> call) {
    command_row row;
    row.what = line;
    row.call = [call = std::move(call)](test_script& script) {
        call(script);
        return std::string();
    };
    row.lines = {line};
    row.answer = host_answer::ack();
    return row;
}

// An operation whose answer is only tested: true without a link, otherwise whether the host
// answered. The script starts with `startup`.
inline command_row tested(const std::string& line, bool answered, const std::string& startup,
                          std::function<bool(test_script&)> call) {
    command_row row;
    row.what = line + (answered ? " answered" : " not answered") + " from '" + startup + "'";
    row.call = [call = std::move(call)](test_script& script) { return show(call(script)); };
    row.lines = {line};
    row.result = show(answered);
    row.answer = answered ? host_answer::ack() : host_answer::nothing();
    row.resultWithoutLink = show(true);
    row.startup = startup;
    return row;
}

// An operation that reads the host's answer; `call` renders what it gives the caller.
inline command_row reads(const std::string& line, std::function<std::string(test_script&)> call,
                         const host_answer& answer, const std::string& result,
                         const std::string& resultWithoutLink, int nullReleases = 0) {
    command_row row;
    row.what = line + " answered " + (answer.kind == host_answer::text ? answer.reply : "null");
    row.call = std::move(call);
    row.lines = {line};
    row.result = result;
    row.answer = answer;
    row.nullReleases = nullReleases;
    row.resultWithoutLink = resultWithoutLink;
    return row;
}
