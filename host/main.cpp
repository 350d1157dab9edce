// vesk-host: runs panel scripts in an emulated panel host, from a scenario file or from
// commands typed in.
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "command_line.h"
#include "emulated_host.h"
#include "isolation.h"
#include "junit.h"
#include "line_input.h"
#include "platform.h"
#include "scenario_parser.h"
#include "scenario_runner.h"
#include "system_check.h"
#include "system_model.h"
#include "text.h"
#include "transcript.h"
#if defined(VESK_HOST_WEB)
#include <fstream>
#include <memory>

#include "host_view.h"
#include "page_relay.h"
#include "serve.h"
#endif

namespace fs = std::filesystem;
using namespace vesk_host;

namespace {

// Exit status: every expectation held / something failed / the run could not start.
const int exitPassed = 0;
const int exitFailed = 1;
const int exitUnusable = 2;

const char usageText[] =
    "usage: vesk-host --script LIBRARY [options] [SCENARIO]\n"
    "       vesk-host --check-system DIR [--workstation N]\n"
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
    "  --quiet              print only failures and the result, not the transcript\n"
    "  --timeout SECONDS    a call into the script that lasts longer fails the run (default 10)\n"
    "  --in-process         run the script unwatched, for a debugger; a crash then ends\n"
    "                       vesk-host (by default the run has a process of its own, on\n"
    "                       Windows a thread, and a crash or a hang is reported)\n"
    "  --strict             fail the run on what is otherwise a warning: faults in the\n"
    "                       system folder, presses on controls the panel lacks, events for\n"
    "                       devices that do not exist, lines the host cannot read, an empty\n"
    "                       scenario\n"
    "  --check-system DIR   check the system folder's files and exit: 0 when sound, 1 with\n"
    "                       each fault at its file and line\n"
    "  --version            print vesk-host's version\n"
    "  --serve PORT         after SCENARIO (if any), serve the live page of the panels, devices\n"
    "                       and transcript on 127.0.0.1:PORT (0: a free port) until SIGINT or\n"
    "                       SIGTERM; commands typed on standard input still work\n"
    "  --listen ADDR        serve on ADDR instead of 127.0.0.1 (the only way beyond loopback)\n"
    "  --record FILE        save every step run as a scenario, with what the scripts sent and\n"
    "                       what the host showed after each as its expectations\n"
    "  --html FILE          at the end, write the final state and transcript as one HTML file\n"
    "\n"
    "Exit status: 0 when every expectation held, 1 when one failed, a script broke the rules\n"
    "of the host link, crashed or hung, 2 when the run could not start.\n";

const char versionText[] = "vesk-host 1.1";

struct options {
    std::string script;
    std::string name;
    std::string startup;
    std::string abi;
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
    bool quiet = false;
    bool strict = false;
    bool inProcess = false;
};

// A run that cannot start still leaves a report for CI when one was asked for.
int unusable(const options& o, const std::vector<std::string>& errors) {
    for (const std::string& e : errors) {
        std::cerr << e << "\n";
    }
    if (!o.junit.empty()) {
        std::vector<junit_case> cases;
        for (const std::string& e : errors) {
            cases.push_back({"vesk-host", true, e});
        }
        writeJUnit(o.junit, o.scenario.empty() ? "stdin" : o.scenario, cases, std::string());
    }
    return exitUnusable;
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
                  {"--record", &options::record},
                  {"--html", &options::html}};
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
    if (!o.listen.empty() && o.serve.empty()) {
        error = "--listen goes with --serve";
        return false;
    }
#if !defined(VESK_HOST_WEB)
    if (!o.serve.empty() || !o.record.empty() || !o.html.empty()) {
        error = "this vesk-host was built without its page: no --serve, --record or --html";
        return false;
    }
#endif
    return true;
}

std::string defaultName(const std::string& path) {
    std::string stem = fs::path(path).stem().string();
#if !defined(_WIN32)
    if (stem.size() > 3 && stem.compare(0, 3, "lib") == 0) {
        stem = stem.substr(3);
    }
#endif
    return stem.empty() ? "script" : stem;
}

// A library named without a folder is the one in the current folder when there is one there:
// the loader would otherwise look only in the system's library path.
std::string libraryPath(const std::string& given) {
    if (given.find_first_of("/\\:") != std::string::npos) {
        return given;
    }
    std::error_code failed;
    if (!fs::is_regular_file(fs::path(given), failed)) {
        return given;
    }
#if defined(_WIN32)
    return ".\\" + given;
#else
    return "./" + given;
#endif
}

std::string counted(int n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The run's one summary line; its counts mean the same whether the run passed or failed.
std::string summaryLine(const scenario_runner::tally& t, std::size_t problems) {
    bool passed = t.expectationsFailed == 0 && t.eventsFailed == 0 && problems == 0;
    return std::string("vesk-host: ") + (passed ? "passed: " : "FAILED: ") +
           std::to_string(t.expectations - t.expectationsFailed) + " of " +
           counted(t.expectations, "expectation", "expectations") + " held, " +
           counted(t.eventsFailed, "event", "events") + " failed, " +
           counted(static_cast<int>(problems), "host link problem", "host link problems");
}

std::string scriptName(const options& o) {
    return o.name.empty() ? defaultName(o.script) : o.name;
}

// The scripts read their system from the environment, so it is set before any is loaded.
bool prepareSystem(const options& o, std::string& dir, std::string& error) {
    if (!o.workstation.empty()) {
        setEnvironment("CC_WORKSTATION", o.workstation);
    }
    if (o.system.empty()) {
        return true;
    }
    std::error_code failed;
    fs::path path = fs::absolute(fs::path(o.system), failed).lexically_normal();
    if (!path.has_filename()) {
        path = path.parent_path();
    }
    if (failed || !fs::is_directory(path, failed)) {
        error = "no system folder " + o.system;
        return false;
    }
    dir = path.generic_string();
    setEnvironment("CC_ROOT", path.parent_path().string());
    setEnvironment("CC_SYSTEM", path.filename().string());
    return true;
}

// Where the steps go: through the page's view of the host when there is one, so that every
// step is recorded and shown, or straight to the runner.
struct step_runner {
    scenario_runner& runner;
#if defined(VESK_HOST_WEB)
    host_view* view = nullptr;
    // A supervisor that shows the page keeps the state after each step, to show it if the
    // run dies.
    page_link* supervisor = nullptr;
#endif
    void run(const step& s) {
#if defined(VESK_HOST_WEB)
        if (view != nullptr) {
            view->run(s);
            if (supervisor != nullptr) {
                supervisor->broadcastState(jsonText(view->state()));
            }
            return;
        }
#endif
        runner.run(s);
    }
};

void readInteractively(step_runner& steps) {
    scenario_runner& runner = steps.runner;
    line_input input;
    if (input.interactive()) {
        std::cout << "Type \"help\" for the commands, \"quit\" to end"
                  << (line_input::editing() ? "; the arrows recall earlier lines" : "") << ".\n";
    }
    std::string line;
    int number = 0;
    while (input.read(line)) {
        ++number;
        step s;
        std::string error;
        if (!parseStep(line, s, error)) {
            if (!error.empty()) {
                std::cerr << "stdin:" << number << ": " << error << "\n";
            }
            continue;
        }
        s.line = number;
        steps.run(s);
        if (runner.quitRequested()) {
            break;
        }
    }
}

#if defined(VESK_HOST_WEB)
serve_settings serveSettings(const options& o) {
    serve_settings settings;
    settings.address = o.listen.empty() ? settings.address : o.listen;
    parseInt(o.serve, settings.port);
    return settings;
}

bool writeFile(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary);
    file << text;
    file.close();
    if (!file) {
        std::cerr << "vesk-host: cannot write " << path << "\n";
        return false;
    }
    return true;
}
#else
struct page_link;
#endif

// The run itself: loads the script, runs every step, reports. `record`, when given, is kept
// up to date for a supervisor; `mirror` receives the transcript as it is written; `page`,
// when given, is the supervisor's page, to serve through and to keep the state in.
int runScenario(const options& o, const std::string& dir, const std::vector<step>& steps,
                call_record* record, const std::function<void(const std::string&)>& mirror,
                page_link* page) {
    std::string error;
    transcript out(o.quiet ? nullptr : &std::cout);
    if (mirror) {
        out.mirrorTo(mirror);
    }
    system_model system(dir);
    emulated_host host(system, out);
    host.keepRecord(record);
    host.setStrict(o.strict);
    object_abi layout = object_abi::unknown;
    parseObjectAbi(o.abi, layout);
    host.forceLayout(layout);
    std::string name = scriptName(o);
    if (!host.addScript(name, libraryPath(o.script), o.startup, error)) {
        return unusable(o, {"vesk-host: " + error});
    }
    std::string file = o.scenario.empty() ? "stdin" : o.scenario;
    out.plain("vesk-host: " + name + " from " + o.script +
              (dir.empty() ? std::string() : ", system " + dir) +
              (o.workstation.empty() ? std::string() : ", workstation " + o.workstation));

    host.setLocation(file + ": at the start");
    // The system is checked before every run: its faults would otherwise surface later, as
    // odd replies far from their cause.
    if (!dir.empty()) {
        for (const system_finding& f : checkSystem(o.system, o.workstation)) {
            host.warn("system: " + f.text());
        }
    }
    if (o.workstation.empty() && std::getenv("CC_WORKSTATION") == nullptr) {
        host.warn("the workstation number is unset (no --workstation, no CC_WORKSTATION): "
                  "scripts read their settings for workstation 0");
    }
    bool anyStep = false;
    for (const step& s : steps) {
        anyStep = anyStep || !s.isComment();
    }
    if (!o.scenario.empty() && !anyStep) {
        host.warn("the scenario " + file + " has no steps: the run checks nothing");
    }
    host.create(*host.slot(name));
    scenario_runner runner(host, out, file);
    step_runner stepper{runner};
#if defined(VESK_HOST_WEB)
    host_view view(host, runner, out);
    stepper.view = &view;
    stepper.supervisor = page;
    if (page != nullptr) {
        view.mirrorRecording([page](const std::string& text) { page->recordingWritten(text); });
    }
    view.begin("# Recorded by vesk-host with " + name + " from " + o.script +
               (dir.empty() ? std::string() : ", system " + dir) +
               (o.workstation.empty() ? std::string() : ", workstation " + o.workstation) + ".");
    if (page != nullptr) {
        page->broadcastState(jsonText(view.state()));
    }
#else
    (void)page;
#endif
    if (o.scenario.empty() && o.serve.empty()) {
        readInteractively(stepper);
    } else {
        for (const step& s : steps) {
            stepper.run(s);
        }
    }
    host.setLocation(file + ": at the end");
#if defined(VESK_HOST_WEB)
    if (!o.serve.empty()) {
        if (page != nullptr) {
            serve(view, *page);
        } else if (!serveHere(view, serveSettings(o), error)) {
            return unusable(o, {"vesk-host: " + error});
        }
        host.setLocation("serving: at the end");
    }
#endif
    runner.finish();
#if defined(VESK_HOST_WEB)
    // The state before the scripts are destroyed is what the run ended with.
    nlohmann::json finalState = view.state();
    if (!o.record.empty() && !writeFile(o.record, view.recording())) {
        return exitUnusable;
    }
#endif
    out.plain("end of run");
    host.finish();

    std::vector<junit_case> cases;
    int failed = 0;
    for (const auto& c : runner.checks()) {
        cases.push_back({c.where + ": " + c.what, !c.held, c.message});
        if (!c.held) {
            ++failed;
            std::cerr << c.message << "\n";
        }
    }
    std::string accounting;
    for (const auto& p : host.problems()) {
        std::cerr << p.where << ": " << p.what << "\n";
        accounting += (accounting.empty() ? "" : "\n") + p.where + ": " + p.what;
    }
    cases.push_back({"host link rules (release accounting)", !accounting.empty(), accounting});

    std::size_t problems = host.problems().size();
    // Once: in the transcript, or on its own where the transcript is not printed.
    std::string result = summaryLine(runner.counts(), problems);
    out.plain(result);
    if (o.quiet) {
        std::cerr << result << "\n";
    }
#if defined(VESK_HOST_WEB)
    std::size_t from = 0;
    if (!o.html.empty() && !writeFile(o.html, staticPage(finalState, view.transcriptSince(from)))) {
        return exitUnusable;
    }
#endif
    if (!o.junit.empty() && !writeJUnit(o.junit, file, cases, out.text())) {
        std::cerr << "vesk-host: cannot write " << o.junit << "\n";
        return exitUnusable;
    }
    return failed == 0 && problems == 0 ? exitPassed : exitFailed;
}

// A run that died or hung: what the supervisor saw, as the user reads it and as CI records it.
// `shown` receives the report as the transcript's end.
int reportBroken(const options& o, const broken_run& broken, std::string& shown) {
    std::string where = broken.location.empty() ? "before the first step" : broken.location;
    std::string report = "vesk-host: " + scriptName(o) + " " + broken.what + "\n    in " +
                         (broken.handler.empty() ? "no call into the script" : broken.handler) +
                         ", at " + where + "\n";
    if (!broken.lastSent.empty()) {
        report += "    last lines sent:\n";
        for (const std::string& line : broken.lastSent) {
            report += "        " + line + "\n";
        }
    }
    if (!broken.backtrace.empty()) {
        report += "    backtrace:\n";
        // A runaway recursion repeats one frame for pages: once, and how often.
        std::string previous;
        int repeats = 0;
        auto flushRepeats = [&]() {
            if (repeats > 0) {
                report += "        (the frame above " + std::to_string(repeats) + " times more)\n";
            }
            repeats = 0;
        };
        std::size_t start = 0;
        while (start < broken.backtrace.size()) {
            std::size_t end = broken.backtrace.find('\n', start);
            end = end == std::string::npos ? broken.backtrace.size() : end;
            std::string frame = broken.backtrace.substr(start, end - start);
            start = end + 1;
            if (frame == previous) {
                ++repeats;
                continue;
            }
            flushRepeats();
            report += "        " + frame + "\n";
            previous = frame;
        }
        flushRepeats();
    }
    std::string result = "vesk-host: FAILED: the run stopped at " + where;
    std::cerr << report << result << "\n";
    shown = report + result + "\n";
    if (!o.junit.empty()) {
        std::string file = o.scenario.empty() ? "stdin" : o.scenario;
        std::vector<junit_case> cases{
            {where + ": " + scriptName(o) + " " + broken.what, true, report}};
        if (!writeJUnit(o.junit, file, cases, broken.transcript + report + result + "\n")) {
            std::cerr << "vesk-host: cannot write " << o.junit << "\n";
        }
    }
    return exitFailed;
}

} // namespace

int main(int argc, char** argv) {
    options o;
    std::string error;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--help" || std::string(argv[i]) == "-h") {
            std::cout << usageText << "\nScenario commands\n\n" << scenarioHelp();
            return exitPassed;
        }
        if (std::string(argv[i]) == "--version") {
            std::cout << versionText << "\n";
            return exitPassed;
        }
    }
    if (!parseOptions(argc, argv, o, error)) {
        std::cerr << "vesk-host: " << error << "\n\n" << usageText;
        return exitUnusable;
    }

    // A malformed scenario is refused before anything runs.
    std::vector<step> steps;
    std::vector<std::string> errors;
    if (!o.scenario.empty() && !loadScenario(o.scenario, steps, errors)) {
        return unusable(o, errors);
    }

    if (!o.checkSystem.empty()) {
        std::vector<system_finding> findings = checkSystem(o.checkSystem, o.workstation);
        for (const system_finding& f : findings) {
            std::cout << f.text() << "\n";
        }
        std::cout << "vesk-host: " << o.checkSystem
                  << (findings.empty() ? " is sound"
                                       : ": " + std::to_string(findings.size()) +
                                             (findings.size() == 1 ? " fault" : " faults"))
                  << "\n";
        return findings.empty() ? exitPassed : exitFailed;
    }

    std::string dir;
    if (!prepareSystem(o, dir, error)) {
        return unusable(o, {"vesk-host: " + error});
    }

    if (o.inProcess || !isolationAvailable()) {
        return runScenario(o, dir, steps, nullptr, nullptr, nullptr);
    }
    int seconds = 10;
    parseInt(o.timeout, seconds);
    int status = exitFailed;
    broken_run broken;
    std::string report;
#if defined(VESK_HOST_WEB)
    // The page outlives the run: the supervisor serves it and keeps the run's last state, so
    // that a run that dies still shows how it ended, on the page and in the --html file.
    bool withPage = !o.serve.empty() || !o.html.empty() || !o.record.empty();
    page_supervisor supervisor(serveSettings(o), !o.serve.empty());
    if (withPage && !supervisor.open(error)) {
        return unusable(o, {"vesk-host: " + error});
    }
    auto run = [&](call_record& record, const std::function<void(const std::string&)>& mirror) {
        std::unique_ptr<relayed_page> page = withPage ? supervisor.runEnd() : nullptr;
        return runScenario(o, dir, steps, &record, mirror, page.get());
    };
    std::string startError;
    supervisor_start started = [&] { return !withPage || supervisor.started(startError); };
    bool finished = runIsolated(run, seconds, status, broken, started);
    supervisor.ended();
    if (!startError.empty()) {
        return unusable(o, {"vesk-host: " + startError});
    }
    if (finished) {
        return status;
    }
    int failedStatus = reportBroken(o, broken, report);
    if (withPage) {
        nlohmann::json state = supervisor.lastState();
        if (!state.is_object()) {
            state = {{"type", "state"},
                     {"clock", 0},
                     {"scripts", nlohmann::json::array()},
                     {"devices", nlohmann::json::array()},
                     {"failedChecks", 0},
                     {"problems", nlohmann::json::array()},
                     {"recordedSteps", 0}};
        }
        std::string where = broken.location.empty() ? "before the first step" : broken.location;
        state["ended"] = scriptName(o) + " " + broken.what;
        state["problems"].push_back(
            {{"where", where}, {"what", scriptName(o) + " " + broken.what}});
        for (auto& script : state["scripts"]) {
            script["alive"] = false;
        }
        std::string transcriptText = broken.transcript + report;
        std::size_t from = 0;
        if (!o.html.empty() &&
            !writeFile(o.html, staticPage(state, transcriptLines(transcriptText, from)))) {
            failedStatus = exitUnusable;
        }
        // The recording up to the step the run died in: a scenario that ends the same way.
        std::string recorded = supervisor.recording() + "# The run " + broken.what +
                               (broken.handler.empty() ? "" : " in " + broken.handler) +
                               " at the step above.\n";
        if (!o.record.empty() && !writeFile(o.record, recorded)) {
            failedStatus = exitUnusable;
        }
        supervisor.showEnd(state, transcriptText, recorded);
    }
    // The process ends without unwinding: the server stops first.
    supervisor.stop();
    endBrokenRun(failedStatus);
#else
    auto run = [&](call_record& record, const std::function<void(const std::string&)>& mirror) {
        return runScenario(o, dir, steps, &record, mirror, nullptr);
    };
    if (runIsolated(run, seconds, status, broken)) {
        return status;
    }
    endBrokenRun(reportBroken(o, broken, report));
#endif
}
