// vesk-host: runs panel scripts in an emulated panel host, from a scenario file or from
// commands typed in.
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "command_line.h"
#include "emulated_host.h"
#include "junit.h"
#include "platform.h"
#include "scenario.h"
#include "system_model.h"
#include "text.h"
#include "transcript.h"
#if defined(VESK_HOST_WEB)
#include <fstream>

#include "host_view.h"
#endif
#if defined(VESK_HOST_SERVE)
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
    "\n"
    "Loads LIBRARY as the panel host does, creates its script and runs SCENARIO against it,\n"
    "or, without SCENARIO, reads the same commands from standard input.\n"
    "\n"
    "  --script LIBRARY     the script library (exports load_vesk_client_script)\n"
    "  --name NAME          the script's name in scenarios (default: from the file name)\n"
    "  --startup TEXT       the start-up text the script is created with (default: empty)\n"
    "  --system DIR         the system folder <root>/<system>: sets CC_ROOT and CC_SYSTEM\n"
    "  --workstation N      sets CC_WORKSTATION\n"
    "  --junit FILE         also write a JUnit report\n"
    "  --quiet              print only failures and the result, not the transcript\n"
    "  --serve PORT         after SCENARIO (if any), serve the live page of the panels, devices\n"
    "                       and transcript on 127.0.0.1:PORT (0: a free port) until SIGINT or\n"
    "                       SIGTERM; commands typed on standard input still work\n"
    "  --listen ADDR        serve on ADDR instead of 127.0.0.1 (the only way beyond loopback)\n"
    "  --record FILE        save every step run as a scenario, with what the scripts sent and\n"
    "                       what the host showed after each as its expectations\n"
    "  --html FILE          at the end, write the final state and transcript as one HTML file\n"
    "\n"
    "Exit status: 0 when every expectation held, 1 when one failed or a script broke the\n"
    "rules of the host link, 2 when the run could not start.\n";

struct options {
    std::string script;
    std::string name;
    std::string startup;
    std::string system;
    std::string workstation;
    std::string junit;
    std::string scenario;
    std::string serve;
    std::string listen;
    std::string record;
    std::string html;
    bool quiet = false;
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
        std::string suite = o.scenario.empty() ? "stdin" : fs::path(o.scenario).filename().string();
        writeJUnit(o.junit, suite, cases, std::string());
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
                  {"--system", &options::system},
                  {"--workstation", &options::workstation},
                  {"--junit", &options::junit},
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
    if (o.script.empty()) {
        error = "--script is required";
        return false;
    }
    int ignored = 0;
    if (!o.workstation.empty() && !parseInt(o.workstation, ignored)) {
        error = "--workstation takes a number";
        return false;
    }
    long long port = 0;
    if (!o.serve.empty() && !parseNumber(o.serve, 0, 65535, port)) {
        error = "--serve takes a port number from 0 to 65535";
        return false;
    }
    if (!o.listen.empty() && o.serve.empty()) {
        error = "--listen goes with --serve";
        return false;
    }
#if !defined(VESK_HOST_SERVE)
    if (!o.serve.empty()) {
        error = "this vesk-host was built without its page (civetweb): no --serve";
        return false;
    }
#endif
#if !defined(VESK_HOST_WEB)
    if (!o.record.empty() || !o.html.empty()) {
        error = "this vesk-host was built without its page: no --record or --html";
        return false;
    }
#endif
    return true;
}

// Where the steps go: through the page's view of the host when there is one, so that every
// step is recorded and shown, or straight to the runner.
struct step_runner {
    scenario_runner& runner;
#if defined(VESK_HOST_WEB)
    host_view* view = nullptr;
#endif
    void run(const step& s) {
#if defined(VESK_HOST_WEB)
        if (view != nullptr) {
            view->run(s);
            return;
        }
#endif
        runner.run(s);
    }
};

std::string defaultName(const std::string& path) {
    std::string stem = fs::path(path).stem().string();
#if !defined(_WIN32)
    if (stem.size() > 3 && stem.compare(0, 3, "lib") == 0) {
        stem = stem.substr(3);
    }
#endif
    return stem.empty() ? "script" : stem;
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

void readInteractively(step_runner& steps, emulated_host& host) {
    scenario_runner& runner = steps.runner;
    bool prompt = inputIsTerminal();
    if (prompt) {
        std::cout << "Type \"help\" for the commands, \"quit\" to end.\n";
    }
    std::string line;
    int number = 0;
    while ((prompt ? std::cout << "vesk> " << std::flush : std::cout) &&
           std::getline(std::cin, line)) {
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
    host.setLocation("stdin: at the end");
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

    std::string dir;
    if (!prepareSystem(o, dir, error)) {
        return unusable(o, {"vesk-host: " + error});
    }

    transcript out(o.quiet ? nullptr : &std::cout);
    system_model system(dir);
    emulated_host host(system, out);
    std::string name = o.name.empty() ? defaultName(o.script) : o.name;
    if (!host.addScript(name, o.script, o.startup, error)) {
        return unusable(o, {"vesk-host: " + error});
    }
    std::string file = o.scenario.empty() ? "stdin" : fs::path(o.scenario).filename().string();
    out.plain("vesk-host: " + name + " from " + o.script +
              (dir.empty() ? std::string() : ", system " + dir) +
              (o.workstation.empty() ? std::string() : ", workstation " + o.workstation));

    host.setLocation(file + ": at the start");
    host.create(*host.slot(name));
    scenario_runner runner(host, out, file);
    step_runner stepper{runner};
#if defined(VESK_HOST_WEB)
    host_view view(host, runner, out);
    view.begin("# Recorded by vesk-host with " + name + " from " + o.script +
               (dir.empty() ? std::string() : ", system " + dir) +
               (o.workstation.empty() ? std::string() : ", workstation " + o.workstation) + ".");
    stepper.view = &view;
#endif
    if (o.scenario.empty() && o.serve.empty()) {
        readInteractively(stepper, host);
    } else {
        for (const step& s : steps) {
            stepper.run(s);
        }
        host.setLocation(file + ": at the end");
    }
#if defined(VESK_HOST_SERVE)
    if (!o.serve.empty()) {
        serve_settings settings;
        settings.address = o.listen.empty() ? settings.address : o.listen;
        settings.port = std::stoi(o.serve);
        if (!serve(view, settings, error)) {
            std::cerr << "vesk-host: " << error << "\n";
            return exitUnusable;
        }
        host.setLocation("serving: at the end");
    }
#endif
    runner.finish();
#if defined(VESK_HOST_WEB)
    // The state before the scripts are destroyed is what the run ended with.
    nlohmann::json finalState = view.state();
    if (!o.record.empty()) {
        std::ofstream recorded(o.record, std::ios::binary);
        recorded << view.recording();
        if (!recorded) {
            std::cerr << "vesk-host: cannot write " << o.record << "\n";
            return exitUnusable;
        }
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
    std::string result = failed == 0 && problems == 0
                             ? "vesk-host: every expectation held (" +
                                   std::to_string(runner.checks().size()) +
                                   "), every reply came back"
                             : "vesk-host: FAILED: " + std::to_string(failed) + " of " +
                                   std::to_string(runner.checks().size()) + " checks, " +
                                   std::to_string(problems) + " host link problems";
    out.plain(result);
    if (o.quiet || failed != 0 || problems != 0) {
        std::cerr << result << "\n";
    }
#if defined(VESK_HOST_WEB)
    if (!o.html.empty()) {
        std::size_t from = 0;
        std::ofstream page(o.html, std::ios::binary);
        page << staticPage(finalState, view.transcriptSince(from));
        if (!page) {
            std::cerr << "vesk-host: cannot write " << o.html << "\n";
            return exitUnusable;
        }
    }
#endif
    if (!o.junit.empty() && !writeJUnit(o.junit, file, cases, out.text())) {
        std::cerr << "vesk-host: cannot write " << o.junit << "\n";
        return exitUnusable;
    }
    return failed == 0 && problems == 0 ? exitPassed : exitFailed;
}
