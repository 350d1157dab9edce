// Scenarios: a line-based script of events into the scripts and expectations about what they
// did. The same lines drive the interactive mode. This reads them; scenario_runner carries
// them out; scenario_commands.cpp holds the one table of commands both go by.
#pragma once

#include <string>
#include <vector>

namespace vesk_host {

class scenario_runner;
struct script_slot;
struct step;

// What the runner asks of the target before it calls the command's handler.
enum class scenario_role {
    event,       // into a live script
    creation,    // a script that is not alive
    system,      // the system or the clock; the script named only sets the round
    session,     // the run itself (help, quit); needs no script
    expectation, // looks at what a script did
};

// `target` is null only for the session role.
using scenario_handler = void (*)(scenario_runner& runner, const step& s, script_slot* target);

struct scenario_command {
    // The words that name the command ("press", "expect nothing sent").
    const char* name;
    // The arguments after the name, blank-separated: w a word, i an int, m milliseconds (0 and
    // up), t the rest as text, l the rest verbatim, o optional text for the rest, p the rest
    // as NAME=VALUE (name into the words); any other token is a keyword that must be there.
    // Commands of one name differ at a keyword.
    const char* form;
    const char* usage;
    const char* help;
    scenario_role role;
    scenario_handler run;
};

// Every scenario command, in the order help lists them.
const std::vector<scenario_command>& scenarioCommands();

struct step {
    int line = 0;
    std::string source;                        // the line as written, blanks trimmed
    const scenario_command* command = nullptr; // null for a comment
    std::string target; // the script named with "@name", or empty for the first
    std::vector<std::string> words;
    std::vector<long long> numbers;
    std::string text; // the rest of the line, where the command takes one
    bool hasText = false;
    bool afterBlank = false; // a blank line comes before it in the file

    bool isComment() const { return command == nullptr; }
    bool isExpectation() const {
        return command != nullptr && command->role == scenario_role::expectation;
    }
};

// Parses one line. Returns false for a blank line, and false with `error` set for a malformed
// one.
bool parseStep(const std::string& line, step& out, std::string& error);

// Reads and parses a whole scenario file; every malformed line is reported as
// "file:line: what is wrong".
bool loadScenario(const std::string& path, std::vector<step>& steps,
                  std::vector<std::string>& errors);

// The command reference that `help` and `--help` print.
std::string scenarioHelp();

// "; did you mean 'press'?" when one of `choices` is a slip of a letter or two from `word`;
// empty text otherwise.
std::string didYouMean(const std::string& word, const std::vector<std::string>& choices);

// The blank-separated tokens of a command's form or name.
std::vector<std::string> formTokens(const char* form);
// Whether a form token is an argument rather than a keyword.
bool isArgumentToken(const std::string& token);

} // namespace vesk_host
