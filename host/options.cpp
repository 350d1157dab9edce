#include "options.h"

#include <filesystem>

#include "checks.h"
#include "load/object_layout.h"
#include "scenario_parser.h"
#include "text.h"
#include "validate.h"

namespace fs = std::filesystem;

namespace vesk_host {

const char usageText[] =
    "usage: vesk-host --script LIBRARY [options] [SCENARIO]\n"
    "       vesk-host --check-system DIR [--workstation N]\n"
    "       vesk-host --validate --script LIBRARY [options] (see Validation below)\n"
    "\n"
    "Loads LIBRARY as the panel host does, creates its script and runs SCENARIO against it,\n"
    "or, without SCENARIO, reads the same commands from standard input.\n"
    "\n"
    "  --script LIBRARY     the script library (exports load_vesk_client_script)\n"
    "  --name NAME          the script's name in scenarios (default: from the file name)\n"
    "  --startup TEXT       the start-up text the script is created with (default: empty)\n"
    "  --abi msvc|itanium   the C++ object layout of a script built without RTTI: msvc for\n"
    "                       Visual Studio, itanium for MinGW, GCC, clang (default: recognised\n"
    "                       from the RTTI; an object of neither is refused, never called)\n"
    "  --system DIR         the system folder <root>/<system>: sets CC_ROOT and CC_SYSTEM\n"
    "  --workstation N      sets CC_WORKSTATION\n"
    "  --junit FILE         also write a JUnit report\n"
    "  --quiet              leave out the transcript; print warnings, failures, result\n"
    "  --timeout SECONDS    a call into the script that lasts longer fails the run (default 10)\n"
    "  --in-process         run the script unwatched, for a debugger; a crash then ends\n"
    "                       vesk-host (by default the run has a process of its own, on\n"
    "                       Windows a thread, and a crash or a hang is reported)\n"
    "  --strict             fail the run on what is otherwise a warning: faults in the\n"
    "                       system folder, presses on controls the panel lacks, events for\n"
    "                       devices that do not exist, lines the host cannot read, an empty\n"
    "                       scenario\n"
    "  --check-system DIR   check the system folder's files and exit: 0 when sound, 1 with\n"
    "                       each fault at its file and line; a device database beyond 65536\n"
    "                       indices is one, and a run refuses such a system; a missing\n"
    "                       host.ini, configdb.ini or panels folder is a warning\n"
    "  --version            print vesk-host's version\n"
    "  --serve PORT         after SCENARIO (if any), serve the live page of the panels, devices\n"
    "                       and transcript on 127.0.0.1:PORT (0: a free port) until SIGINT or\n"
    "                       SIGTERM; commands typed on standard input still work\n"
    "  --listen ADDR        serve on ADDR instead of 127.0.0.1 (the only way beyond loopback;\n"
    "                       beyond it the page and its socket need the token that the\n"
    "                       serving line prints in its URL; Ember+ has no such token)\n"
    "  --ember PORT         serve the system's devices as an Ember+ provider on\n"
    "                       127.0.0.1:PORT (0: a free port): routers as matrices, text\n"
    "                       devices as string parameters, state devices as booleans. A\n"
    "                       consumer's connect is a route made elsewhere. After SCENARIO (if\n"
    "                       any) it serves until SIGINT or SIGTERM, running commands typed on\n"
    "                       standard input; with --serve, the page serves beside it\n"
    "  --record FILE        save every step run as a scenario, with what the scripts sent and\n"
    "                       what the host showed after each as its expectations; says where\n"
    "                       it wrote and how many steps, and its first lines hold the command\n"
    "                       that replays it\n"
    "  --html FILE          at the end, write the final state and transcript as one HTML file\n"
    "\n"
    "Exit status: 0 when every expectation held, 1 when one failed, a script broke the rules\n"
    "of the host link, crashed, hung or ended the process, 2 when the run could not start.\n"
    "SIGTERM, SIGINT (Ctrl-C) or SIGHUP during a scenario lets the step under way finish,\n"
    "runs no other, reports where the run stopped and exits with 128 + the signal's number\n"
    "(143, 130, 129); a second one ends the run at once. While serving, either ends serving.\n"
    "A reader that stops reading (| head) ends what is printed, not the run.\n";

namespace {

const char versionText[] = "vesk-host 1.1";

#if defined(VESK_HOST_NO_PAGE)
const char pageNote[] =
    "\nThis vesk-host was built without its page (civetweb or nlohmann-json was missing when\n"
    "it was built): --serve, --listen, --record and --html are refused.\n";
#else
const char pageNote[] = "";
#endif

std::string defaultName(const std::string& path) {
    std::string stem = fs::path(path).stem().string();
#if !defined(_WIN32)
    if (stem.size() > 3 && stem.compare(0, 3, "lib") == 0) {
        stem = stem.substr(3);
    }
#endif
    return stem.empty() ? "script" : stem;
}

// The options of --validate, which take effect only with it.
bool validationAccepted(const options& o, std::string& error) {
    bool validating[] = {!o.seed.empty(),   !o.events.empty(), o.strictness != "5",
                         !o.checks.empty(), !o.skip.empty(),   !o.out.empty()};
    for (bool given : validating) {
        if (given && !o.validate) {
            error = "--seed, --events, --strictness, --checks, --skip and --out go with --validate";
            return false;
        }
    }
    if (!o.validate) {
        return true;
    }
    long long number = 0;
    if (!o.scenario.empty() || !o.checkSystem.empty() || o.wantsPage() || !o.serve.empty() ||
        !o.ember.empty()) {
        error = "--validate takes no scenario, --check-system, page or --ember options";
        return false;
    }
    if (!o.seed.empty() &&
        (o.seed.size() > 19 || !parseNumber(o.seed, 0, 999999999999999999LL, number))) {
        error = "--seed takes a number, 0 or more";
        return false;
    }
    if (!o.events.empty() && !parseNumber(o.events, 1, 1000000, number)) {
        error = "--events takes a number from 1 to 1000000";
        return false;
    }
    if (!parseNumber(o.strictness, 1, 10, number)) {
        error = "--strictness takes a level from 1 to 10";
        return false;
    }
    return knownCheckNames(o.checks, error) && knownCheckNames(o.skip, error);
}

} // namespace

std::string options::scriptName() const {
    return name.empty() ? defaultName(script) : name;
}

std::string options::scenarioFile() const {
    return scenario.empty() ? "stdin" : scenario;
}

int options::timeoutSeconds() const {
    int seconds = 10;
    parseInt(timeout, seconds);
    return seconds;
}

bool informationAsked(int argc, char** argv, std::string& text) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            text = std::string(usageText) + pageNote + "\n" + validateHelp() +
                   "\nScenario commands\n\n" + scenarioHelp();
            return true;
        }
        if (arg == "--version") {
            text = std::string(versionText) + "\n";
            return true;
        }
    }
    return false;
}

bool parseOptions(int argc, char** argv, options& o, std::string& error) {
    const struct {
        const char* name;
        std::string options::*value;
    } valued[] = {{"--script", &options::script},
                  {"--name", &options::name},
                  {"--startup", &options::startup},
                  {"--abi", &options::abi},
                  {"--system", &options::system},
                  {"--workstation", &options::workstation},
                  {"--junit", &options::junit},
                  {"--timeout", &options::timeout},
                  {"--check-system", &options::checkSystem},
                  {"--serve", &options::serve},
                  {"--listen", &options::listen},
                  {"--ember", &options::ember},
                  {"--record", &options::record},
                  {"--html", &options::html},
                  {"--seed", &options::seed},
                  {"--events", &options::events},
                  {"--strictness", &options::strictness},
                  {"--checks", &options::checks},
                  {"--skip", &options::skip},
                  {"--out", &options::out}};
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string* value = nullptr;
        for (const auto& option : valued) {
            if (arg == option.name) {
                value = &(o.*option.value);
            }
        }
        if (value != nullptr) {
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            *value = argv[++i];
        } else if (arg == "--quiet") {
            o.quiet = true;
        } else if (arg == "--in-process") {
            o.inProcess = true;
        } else if (arg == "--validate") {
            o.validate = true;
        } else if (arg == "--strict") {
            o.strict = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + arg;
            return false;
        } else if (o.scenario.empty()) {
            o.scenario = arg;
        } else {
            error = "only one scenario per run";
            return false;
        }
    }
    if (o.script.empty() && o.checkSystem.empty()) {
        error = "--script is required";
        return false;
    }
    if (!validationAccepted(o, error)) {
        return false;
    }
    object_abi layout = object_abi::unknown;
    if (!o.abi.empty() && !parseObjectAbi(o.abi, layout)) {
        error = "--abi takes msvc or itanium";
        return false;
    }
    int ignored = 0;
    if (!o.workstation.empty() && !parseInt(o.workstation, ignored)) {
        error = "--workstation takes a number";
        return false;
    }
    int seconds = 0;
    if (!parseInt(o.timeout, seconds) || seconds < 1) {
        error = "--timeout takes a number of seconds, 1 or more";
        return false;
    }
    int port = 0;
    if (!o.serve.empty() && (!parseInt(o.serve, port) || port < 0 || port > 65535)) {
        error = "--serve takes a port number from 0 to 65535";
        return false;
    }
    if (!o.ember.empty() && (!parseInt(o.ember, port) || port < 0 || port > 65535)) {
        error = "--ember takes a port number from 0 to 65535";
        return false;
    }
    if (!o.listen.empty() && o.serve.empty() && o.ember.empty()) {
        error = "--listen goes with --serve or --ember";
        return false;
    }
    // Written at the end, perhaps after a script changed the current folder: fixed now.
    for (std::string* written : {&o.junit, &o.record, &o.html}) {
        std::error_code failed;
        fs::path absolute = fs::absolute(fs::path(*written), failed);
        if (!written->empty() && !failed) {
            *written = absolute.lexically_normal().string();
        }
    }
    return true;
}

} // namespace vesk_host
