// command_rows: short ways to write the rows of a command table.
#pragma once

#include <functional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "command_table.h"

// The call of one operation as a row's `call`: its result rendered with show(), taken as it
// is when it is already text, or "" when the operation returns nothing.
template <class Operation> std::function<std::string(test_script&)> calling(Operation operation) {
    return [operation](test_script& script) -> std::string {
        using result_t = decltype(operation(script));
        if constexpr (std::is_void_v<result_t>) {
            operation(script);
            return "";
        } else if constexpr (std::is_same_v<result_t, std::string>) {
            return operation(script);
        } else {
            return show(operation(script));
        }
    };
}

// A row for an operation without a result: only the lines it sends count.
template <class Operation>
command_row sends(std::string what, Operation operation, std::vector<std::string> lines,
                  host_answer answer = host_answer::nothing(), std::string startup = "") {
    return {std::move(what),   calling(operation), std::move(lines), "", std::move(answer), 0, "",
            std::move(startup)};
}

// A row for an operation with a result, with a link that answers as given and without one.
template <class Operation>
command_row gives(std::string what, Operation operation, std::vector<std::string> lines,
                  std::string result, host_answer answer, std::string resultWithoutLink) {
    return {std::move(what),
            calling(operation),
            std::move(lines),
            std::move(result),
            std::move(answer),
            0,
            std::move(resultWithoutLink),
            ""};
}
