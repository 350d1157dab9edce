// vesk-host's command line: what a run is asked to do, the --help text, and the exit statuses
// that text promises.
#pragma once

#include <string>

namespace vesk_host {

// Exit status: every expectation held / something failed / the run could not start.
const int exitPassed = 0;
const int exitFailed = 1;
const int exitUnusable = 2;
// A run ended by a signal that asks vesk-host to end exits with this plus the signal's number,
// as a shell reports it (130 for SIGINT, 143 for SIGTERM, 129 for SIGHUP).
const int exitStopped = 128;

struct options {
    std::string script;
    std::string name;
    std::string startup;
    std::string abi; // --abi: "msvc", "itanium", or empty to recognise the layout
    std::string system;
    std::string workstation;
    std::string junit;
    std::string scenario;
    std::string timeout = "10";
    std::string checkSystem;
    // The page: served live, recorded from, saved at the end.
    std::string serve;
    std::string listen;
    std::string record;
    std::string html;
    // --validate: the library put through the host's contract, no scenario.
    bool validate = false;
    std::string seed;
    std::string events;
    std::string strictness = "5";
    std::string checks;
    std::string skip;
    std::string out;
    // Ember+: the system's devices served to consumers on this port.
    std::string ember;
    bool quiet = false;
    bool strict = false;
    bool inProcess = false;

    // The script's name in scenarios: --name, or the library's file name.
    std::string scriptName() const;
    // The scenario as reports name it: its path, or "stdin".
    std::string scenarioFile() const;
    int timeoutSeconds() const;
    bool wantsPage() const { return !serve.empty() || !record.empty() || !html.empty(); }
};

extern const char usageText[];

// --help or --version anywhere on the line, whichever comes first: true with what to print.
bool informationAsked(int argc, char** argv, std::string& text);

// False, with `error`, when the line is not a run vesk-host can start.
bool parseOptions(int argc, char** argv, options& o, std::string& error);

} // namespace vesk_host
