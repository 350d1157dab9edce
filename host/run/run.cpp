#include "run.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>

#include "ember_serving.h"
#include "emulated_host.h"
#include "junit.h"
#include "page.h"
#include "platform.h"
#include "replay_command.h"
#include "scenario_runner.h"
#include "system_check.h"
#include "system_model.h"
#include "text.h"
#include "transcript.h"

namespace fs = std::filesystem;

namespace vesk_host {

namespace {

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

// A comment line of the recording stays one line whatever a path holds.
std::string oneLine(std::string text) {
    for (char& c : text) {
        c = c == '\n' || c == '\r' ? '?' : c;
    }
    return text;
}

std::string counted(int n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The run's one summary line; its counts mean the same whether the run passed or failed.
// Host link problems are the broken rules of the link; warnings are counted apart, and fail
// the run only under --strict.
std::string summaryLine(const scenario_runner::tally& t, int linkProblems, int warnings,
                        bool strict) {
    bool passed = t.expectationsFailed == 0 && t.eventsFailed == 0 && linkProblems == 0 &&
                  (!strict || warnings == 0);
    return std::string("vesk-host: ") + (passed ? "passed: " : "FAILED: ") +
           std::to_string(t.expectations - t.expectationsFailed) + " of " +
           counted(t.expectations, "expectation", "expectations") + " held, " +
           counted(t.eventsFailed, "event", "events") + " failed, " +
           counted(linkProblems, "host link problem", "host link problems") + ", " +
           counted(warnings, "warning", "warnings") + (strict && warnings > 0 ? " (--strict)" : "");
}

// A signal that asks vesk-host to end (SIGTERM, SIGINT, SIGHUP) while a scenario runs: the
// step under way finishes, no other starts, and the run reports how far it got. A second
// one ends the process at once.
volatile std::sig_atomic_t stopSignal = 0;
// Unwatched, the run ends itself at a second signal; watched, its supervisor does (Ctrl-C
// reaches both, and the supervisor passes it on: one press arrives twice).
volatile std::sig_atomic_t secondSignalEnds = 0;

extern "C" void onRunStopSignal(int signal) {
    if (stopSignal != 0 && secondSignalEnds != 0) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    stopSignal = signal;
}

const int stopSignals[] = {
    SIGTERM,
    SIGINT,
#if defined(SIGHUP)
    SIGHUP,
#endif
};

// Handles the stop signals while it lives; the previous handlers come back after.
class stop_while_running {
public:
    explicit stop_while_running(bool supervised) {
        stopSignal = 0;
        secondSignalEnds = supervised ? 0 : 1;
        for (std::size_t i = 0; i < count; ++i) {
            m_previous[i] = std::signal(stopSignals[i], onRunStopSignal);
        }
    }
    ~stop_while_running() {
        for (std::size_t i = 0; i < count; ++i) {
            std::signal(stopSignals[i], m_previous[i]);
        }
    }
    stop_while_running(const stop_while_running&) = delete;
    stop_while_running& operator=(const stop_while_running&) = delete;

private:
    static const std::size_t count = sizeof stopSignals / sizeof stopSignals[0];
    void (*m_previous[count])(int);
};

} // namespace

std::string stopSignalName(int signal) {
    switch (signal) {
    case SIGTERM:
        return "SIGTERM";
    case SIGINT:
        return "SIGINT";
#if defined(SIGHUP)
    case SIGHUP:
        return "SIGHUP";
#endif
    default:
        return "signal " + std::to_string(signal);
    }
}

int unusable(const options& o, const std::vector<std::string>& errors) {
    for (const std::string& e : errors) {
        std::cerr << e << "\n";
    }
    if (!o.junit.empty()) {
        std::vector<junit_case> cases;
        for (const std::string& e : errors) {
            cases.push_back({"vesk-host", true, e});
        }
        writeJUnit(o.junit, o.scenarioFile(), cases, std::string());
    }
    return exitUnusable;
}

int checkOnly(const options& o) {
    std::vector<system_finding> findings = checkSystem(o.checkSystem, o.workstation);
    for (const system_finding& f : findings) {
        std::cout << f.text() << "\n";
    }
    // What the system lacks is no fault, but a sound system says what it runs without.
    std::vector<system_finding> missing = missingFromSystem(o.checkSystem);
    for (const system_finding& m : missing) {
        std::cout << "warning: " << m.text() << "\n";
    }
    std::string warned = missing.empty() ? std::string()
                                         : ", with " + std::to_string(missing.size()) +
                                               (missing.size() == 1 ? " warning" : " warnings");
    std::cout << "vesk-host: " << o.checkSystem
              << (findings.empty() ? " is sound" + warned
                                   : ": " + std::to_string(findings.size()) +
                                         (findings.size() == 1 ? " fault" : " faults") + warned)
              << "\n";
    return findings.empty() ? exitPassed : exitFailed;
}

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

int runScenario(const options& o, const std::string& dir, const std::vector<step>& steps,
                call_record* record, const std::function<void(const std::string&)>& mirror,
                host_page& page, bool supervised) {
    std::string error;
    // Before any library is loaded: what the script does may change the current folder, and
    // the command must name the files this command line meant.
    std::string replay =
        replayCommand(o, hostProgram(), dir, o.record.empty() ? std::string("FILE") : o.record);
    transcript out(o.quiet ? nullptr : &std::cout);
    if (mirror) {
        out.mirrorTo(mirror);
    }
    // The system is checked before every run: its faults would otherwise surface later, as
    // odd replies far from their cause. One beyond vesk-host's own limits stops the run here,
    // before anything is read into memory from it.
    std::vector<system_finding> findings;
    if (!dir.empty()) {
        findings = checkSystem(o.system, o.workstation);
        std::vector<std::string> refused;
        for (const system_finding& f : findings) {
            if (f.refused) {
                refused.push_back("vesk-host: system: " + f.text());
            }
        }
        if (!refused.empty()) {
            refused.push_back("vesk-host: the run refuses this system (see --check-system)");
            return unusable(o, refused);
        }
    }
    system_model system(dir);
    // Routers in Ember+ providers connect before the first step; one that cannot ends the run.
    system.findElsewhere();
    for (const auto& d : system.devices()) {
        if (d.second && !d.second->unusable().empty()) {
            return unusable(o, {"vesk-host: " + d.second->unusable()});
        }
    }
    emulated_host host(system, out);
    host.keepRecord(record);
    host.setStrict(o.strict);
    object_abi layout = object_abi::unknown;
    parseObjectAbi(o.abi, layout);
    host.forceLayout(layout);
    std::string name = o.scriptName();
    if (!host.addScript(name, libraryPath(o.script), o.startup, error)) {
        return unusable(o, {"vesk-host: " + error});
    }
    std::string file = o.scenarioFile();
    std::string described =
        name + " from " + o.script + (dir.empty() ? std::string() : ", system " + dir) +
        (o.workstation.empty() ? std::string() : ", workstation " + o.workstation);
    out.plain("vesk-host: " + described);

    host.setLocation(file + ": at the start");
    for (const system_finding& f : findings) {
        host.warn("system: " + f.text());
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
    std::string header = "# Recorded by vesk-host with " + oneLine(described) + ".\n";
    if (oneLine(replay) == replay) {
        header += std::string("# To replay it, from any folder") +
                  (o.record.empty() ? ", with this file's path for FILE" : "") + ":\n#   " + replay;
    } else {
        header += "# A path of this run holds a line break: no command line can replay it.";
    }
    std::unique_ptr<run_page> shown = page.forRun(host, runner, out, header, supervised);
    // Ember+ consumers see the system from before the first step; what they ask for runs
    // between steps and while serving.
    std::unique_ptr<ember_serving> ember;
    if (!o.ember.empty()) {
        ember.reset(new ember_serving(system));
        int port = 0;
        parseInt(o.ember, port);
        if (!ember->start(o.listen.empty() ? "127.0.0.1" : o.listen, port, error)) {
            return unusable(o, {"vesk-host: " + error});
        }
        for (const std::string& left : ember->leftOut()) {
            host.warn("Ember+ leaves out " + left);
        }
        std::cout << ember->servingLine() << std::endl;
    }
    int stoppedBy = 0;
    std::string stopped;
    if (o.scenario.empty() && o.serve.empty() && !ember) {
        readInteractively(*shown, runner);
    } else {
        stop_while_running stoppable(supervised);
        std::string at = "the start";
        for (const step& s : steps) {
            if (stopSignal != 0) {
                break;
            }
            at = file + ":" + std::to_string(s.line);
            shown->run(s);
            if (ember) {
                ember->runWaiting(*shown);
            }
        }
        stoppedBy = stopSignal;
        stopped = "vesk-host: stopped by " + stopSignalName(stoppedBy) + " at " + at +
                  "; the steps after it did not run";
    }
    if (stoppedBy != 0) {
        host.warn(stopped.substr(std::string("vesk-host: ").size()));
    }
    host.setLocation(file + ": at the end");
    if (!o.serve.empty() && stoppedBy == 0) {
        if (!shown->serve(ember.get(), error)) {
            return unusable(o, {"vesk-host: " + error});
        }
        host.setLocation("serving: at the end");
    } else if (ember && stoppedBy == 0 && !runner.quitRequested()) {
        ember->serve(*shown, runner, supervised);
        host.setLocation("serving: at the end");
    }
    // Consumers are let go before the scripts are destroyed.
    ember.reset();
    runner.finish();
    if (!shown->stepsDone()) {
        return exitUnusable;
    }
    out.plain("end of run");
    host.finish();
    // Before the result: a library that hangs or crashes as it is unloaded fails the run.
    host.unload();

    // --quiet drops the transcript, never what explains a failure: the warnings come first.
    // Under --strict they are among the problems below.
    if (o.quiet && !o.strict) {
        for (const auto& w : host.warnings()) {
            if (!w.expected) {
                std::cerr << w.where << ": warning: " << w.what << "\n";
            }
        }
    }
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
    std::string warned;
    for (const auto& p : host.problems()) {
        std::cerr << p.where << ": " << p.what << "\n";
        std::string& into = p.warning ? warned : accounting;
        into += (into.empty() ? "" : "\n") + p.where + ": " + p.what;
    }
    cases.push_back({"host link rules (release accounting)", !accounting.empty(), accounting});
    if (o.strict) {
        cases.push_back({"warnings (--strict)", !warned.empty(), warned});
    }
    if (stoppedBy != 0) {
        cases.push_back({"the whole scenario ran", true, stopped});
    }

    std::size_t problems = host.problems().size();
    int linkProblems = 0;
    for (const auto& p : host.problems()) {
        linkProblems += p.warning ? 0 : 1;
    }
    // Once: in the transcript, or on its own where the transcript is not printed.
    int warnings = 0;
    for (const auto& w : host.warnings()) {
        warnings += w.expected ? 0 : 1;
    }
    std::string result = summaryLine(runner.counts(), linkProblems, warnings, o.strict);
    if (stoppedBy != 0) {
        result = "vesk-host: FAILED: stopped by " + stopSignalName(stoppedBy) + "; " +
                 result.substr(result.find(": ", std::string("vesk-host: ").size()) + 2);
    }
    out.plain(result);
    if (o.quiet) {
        std::cerr << (stoppedBy != 0 ? stopped + "\n" : std::string()) << result << "\n";
    }
    if (!shown->reportDone()) {
        return exitUnusable;
    }
    if (!o.junit.empty() && !writeJUnit(o.junit, file, cases, out.text())) {
        std::cerr << "vesk-host: cannot write " << o.junit << "\n";
        return exitUnusable;
    }
    if (stoppedBy != 0) {
        return exitStopped + stoppedBy;
    }
    return failed == 0 && problems == 0 ? exitPassed : exitFailed;
}

} // namespace vesk_host
