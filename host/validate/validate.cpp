#include "validate.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>

#include "builtin_system.h"
#include "checks.h"
#include "explore.h"
#include "harness.h"
#include "isolation.h"
#include "junit.h"
#include "run.h"
#include "system_check.h"
#include "text.h"

namespace fs = std::filesystem;

namespace vesk_host {

namespace {

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool writeText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    return static_cast<bool>(out);
}

std::vector<std::string> readLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    return lines;
}

// A library given by a path is found again whatever folder a script moves to.
std::string loadablePath(const std::string& given) {
    std::error_code failed;
    if (!fs::is_regular_file(fs::path(given), failed)) {
        return given; // for the loader's own search
    }
    fs::path absolute = fs::absolute(fs::path(given), failed);
    return failed ? given : absolute.lexically_normal().string();
}

std::uint64_t pickSeed() {
    std::random_device device;
    std::uint64_t seed = (std::uint64_t(device()) << 32) ^ device() ^
                         std::uint64_t(std::chrono::steady_clock::now().time_since_epoch().count());
    // Short enough to type again.
    return seed % 1000000000ull;
}

// The folder for this validation's own files, removed at its end.
class scratch_folder {
public:
    explicit scratch_folder(std::uint64_t seed) {
        std::random_device device;
        std::error_code failed;
        fs::path base = fs::temp_directory_path(failed);
        if (failed) {
            base = fs::current_path();
        }
        for (int attempt = 0; attempt < 16 && m_path.empty(); ++attempt) {
            fs::path candidate = base / ("vesk-validate-" + std::to_string(seed) + "-" +
                                         std::to_string(device() % 1000000u));
            if (fs::create_directory(candidate, failed) && !failed) {
                m_path = candidate.string();
            }
        }
    }
    ~scratch_folder() {
        if (!m_path.empty()) {
            std::error_code ignored;
            fs::remove_all(m_path, ignored);
        }
    }
    scratch_folder(const scratch_folder&) = delete;
    scratch_folder& operator=(const scratch_folder&) = delete;
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

// How one check ended, as the validator reports it.
struct check_result {
    std::string name;
    std::string word; // PASS, WARN, FAIL, CRASH
    std::string why;
    std::string scenario; // the reproducing scenario written, if any
    bool unusable = false;
};

// Runs `steps` in a run of their own: the failure's signature, empty when they pass; a crash
// or a hang is a failure too.
std::string outcomeOf(const validation& v, const std::vector<std::string>& steps) {
    std::string file = v.scratch + "/candidate.outcome";
    std::remove(file.c_str());
    int status = 0;
    broken_run broken;
    bool finished = runIsolated(
        [&](call_record& record, const std::function<void(const std::string&)>&) {
            steps_outcome o = runSteps(v, record, steps);
            writeText(file, o.failed ? o.signature : std::string());
            return 0;
        },
        v.timeoutSeconds, status, broken);
    if (!finished) {
        return failureSignature(broken.what + " in " + broken.handler);
    }
    return readText(file);
}

// The options that replay a scenario on the same script and system in plain vesk-host.
std::string replayCommand(const validation& v, const std::string& system, const std::string& file) {
    std::string line = "vesk-host --script " + v.shownLibrary;
    if (!system.empty()) {
        line += " --system " + system;
    }
    if (!v.workstation.empty()) {
        line += " --workstation " + v.workstation;
    }
    if (!v.startup.empty()) {
        line += " --startup '" + v.startup + "'";
    }
    if (v.timeoutSeconds != 10) {
        line += " --timeout " + std::to_string(v.timeoutSeconds);
    }
    if (v.layout != object_abi::unknown) {
        line += std::string(" --abi ") + objectAbiName(v.layout);
    }
    return line + " " + file;
}

// Shrinks a failing run of steps and writes it as a scenario under `outDir`; the path, or
// empty text when nothing could be written.
std::string writeScenario(const validation& v, const std::string& check, const std::string& why,
                          std::vector<std::string> steps, const std::string& signature, bool shrink,
                          const std::string& outDir) {
    if (shrink && !signature.empty()) {
        still_fails fails = [&](const std::vector<std::string>& candidate) {
            return outcomeOf(v, candidate) == signature;
        };
        steps = shrinkSteps(steps, fails, v.scaled(200));
    }
    std::error_code failed;
    fs::create_directories(outDir, failed);
    std::string system = v.givenSystem;
    if (system.empty()) {
        // The built-in system goes with the scenario: the validation's own copy is removed.
        system = (fs::path(outDir) / "builtin-system").string();
        std::string error;
        if (!writeBuiltinSystem(system, v.workstation, error)) {
            return std::string();
        }
    }
    std::string file =
        (fs::path(outDir) / (check + "-seed" + std::to_string(v.seed) + ".scenario")).string();
    std::vector<std::string> about = {
        "vesk-host --validate, check " + check + ", seed " + std::to_string(v.seed) + ":",
        "  " + why, "Replay: " + replayCommand(v, system, file),
        "The run fails as the check did: a problem of the host link, a crash or a hang."};
    if (!writeText(file, scenarioText(about, steps, {}))) {
        return std::string();
    }
    return file;
}

check_result runOne(const validation& base, const validate_check& c, const std::string& outDir) {
    validation v = base;
    v.check = c.name;
    check_result result;
    result.name = c.name;
    std::string file = v.scratch + "/" + c.name + ".verdict";
    std::remove(stepsFile(v, c.name).c_str());
    int status = 0;
    broken_run broken;
    isolated_run run = [&](call_record& record, const std::function<void(const std::string&)>&) {
        check_verdict verdict;
        try {
            verdict = c.run(v, record);
        } catch (const std::exception& e) {
            verdict.kind = verdict_kind::fail;
            verdict.why = std::string("vesk-host's own fault: ") + e.what();
        }
        writeText(file, verdictText(verdict));
        return 0;
    };
    bool finished = true;
    if (v.inProcess) {
        // For a debugger: a crash ends vesk-host.
        call_record record;
        status = run(record, nullptr);
    } else {
        finished = runIsolated(run, v.timeoutSeconds, status, broken);
    }
    check_verdict verdict;
    if (!finished) {
        result.word = "CRASH";
        std::vector<std::string> steps = readLines(stepsFile(v, c.name));
        result.why = "the script " + broken.what +
                     (broken.handler.empty() ? std::string() : " in " + broken.handler);
        // The runner's location is "validate:N", step N of those the check noted.
        const std::string prefix = "validate:";
        int at = 0;
        if (broken.location.compare(0, prefix.size(), prefix) == 0 &&
            parseInt(broken.location.substr(prefix.size()), at) && at >= 1 &&
            std::size_t(at) <= steps.size()) {
            result.why +=
                " at step " + std::to_string(at) + " (" + steps[std::size_t(at) - 1] + ")";
            // What came after the step that broke never ran.
            steps.resize(std::size_t(at));
        }
        bool hung = broken.what.compare(0, 4, "hung") == 0;
        std::string signature = failureSignature(broken.what + " in " + broken.handler);
        if (steps.empty()) {
            return result;
        }
        if (hung) {
            // Not shrunk, nor tried again: every attempt would wait for the time-out.
            result.scenario = writeScenario(v, c.name, result.why, steps, signature, false, outDir);
        } else if (outcomeOf(v, steps) == signature) {
            result.scenario = writeScenario(v, c.name, result.why, steps, signature, true, outDir);
        }
        return result;
    }
    if (!parseVerdict(readText(file), verdict)) {
        result.word = "CRASH";
        result.why = "the check ended without a verdict (status " + std::to_string(status) + ")";
        return result;
    }
    result.why = verdict.why;
    switch (verdict.kind) {
    case verdict_kind::pass:
        result.word = "PASS";
        break;
    case verdict_kind::warn:
        result.word = "WARN";
        break;
    case verdict_kind::unusable:
        result.unusable = true;
        result.word = "FAIL";
        break;
    case verdict_kind::fail:
        result.word = "FAIL";
        if (!verdict.steps.empty()) {
            result.scenario = writeScenario(v, c.name, verdict.why, verdict.steps,
                                            verdict.signature, true, outDir);
        }
        break;
    }
    return result;
}

std::string resultLine(const check_result& r) {
    std::string line = r.word + " " + r.name;
    if (r.word != "PASS") {
        line += ": " + r.why;
        if (!r.scenario.empty()) {
            line += "; replay: " + r.scenario;
        }
    }
    return line;
}

bool parseSeed(const std::string& text, std::uint64_t& seed) {
    if (text.empty() || text.size() > 19 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    seed = std::stoull(text);
    return true;
}

} // namespace

std::string validateHelp() {
    return "Validation: vesk-host --validate --script LIBRARY [options]\n"
           "\n"
           "Puts the library through the host's whole contract with no scenario: one line per\n"
           "check, PASS, WARN (counts as passed), FAIL or CRASH, then 'validate: N passed, N\n"
           "failed'. Exit status 0 when nothing failed, 1 when something did, 2 when the\n"
           "library cannot be used. Each check runs in a run of its own.\n"
           "\n"
           "  --validate           validate the library instead of running a scenario\n"
           "  --seed N             the seed of the random steps (default: picked and printed);\n"
           "                       the same seed gives the same verdicts\n"
           "  --events N           steps of exploration (default 400 x the strictness)\n"
           "  --strictness 1-10    fewer checks and events below 5 (the default), more above\n"
           "  --strict             a warning fails, as FAIL\n"
           "  --checks a,b         only these checks, whatever their level\n"
           "  --skip a,b           not these checks\n"
           "  --out DIR            where reproducing scenarios go (default ./vesk-validate),\n"
           "                       named after check and seed\n"
           "  --junit FILE         one testcase per check\n"
           "  --system, --workstation, --startup, --abi, --timeout, --in-process\n"
           "                       as for a run; with no --system, a built-in system: one\n"
           "                       router, lookups that answer\n"
           "\n" +
           checksHelp();
}

int runValidation(const options& o) {
    validation v;
    v.shownLibrary = o.script;
    v.library = loadablePath(o.script);
    v.name = o.scriptName();
    v.startup = o.startup;
    parseObjectAbi(o.abi, v.layout);
    v.workstation = o.workstation;
    v.strict = o.strict;
    v.timeoutSeconds = o.timeoutSeconds();
    v.inProcess = o.inProcess;
    parseInt(o.strictness, v.strictness);
    if (o.seed.empty() || !parseSeed(o.seed, v.seed)) {
        v.seed = pickSeed();
    }
    v.events = 400 * v.strictness;
    if (!o.events.empty()) {
        parseInt(o.events, v.events);
    }
    std::cout << "validate: " << o.script << ", seed " << v.seed << " (strictness " << v.strictness
              << ", " << v.events << " events)" << std::endl;

    scratch_folder scratch(v.seed);
    if (scratch.path().empty()) {
        return unusable(o, {"vesk-host: cannot make a folder for the validation"});
    }
    v.scratch = scratch.path();
    options prepared = o;
    std::string error;
    if (o.system.empty()) {
        prepared.system = (fs::path(v.scratch) / "system").string();
        if (!writeBuiltinSystem(prepared.system, o.workstation, error)) {
            return unusable(o, {"vesk-host: " + error});
        }
    } else {
        v.givenSystem = o.system;
        for (const system_finding& f : checkSystem(o.system, o.workstation)) {
            if (f.refused) {
                return unusable(o, {"vesk-host: system: " + f.text(),
                                    "vesk-host: the validation refuses this system"});
            }
        }
    }
    std::string dir;
    if (!prepareSystem(prepared, dir, error)) {
        return unusable(o, {"vesk-host: " + error});
    }
    v.system = dir;
    std::string outDir = o.out.empty() ? "vesk-validate" : o.out;

    std::vector<std::string> only = checkNames(o.checks);
    std::vector<std::string> skipped = checkNames(o.skip);
    auto listed = [](const std::vector<std::string>& names, const char* name) {
        for (const std::string& n : names) {
            if (n == name) {
                return true;
            }
        }
        return false;
    };
    std::vector<check_result> results;
    std::vector<junit_case> cases;
    std::string printed;
    int passed = 0;
    int failedCount = 0;
    bool unusableLibrary = false;
    auto report = [&](check_result r) {
        // Under --strict a warning is a failure, and its line says so.
        if (r.word == "WARN" && v.strict) {
            r.word = "FAIL";
        }
        std::string line = resultLine(r);
        std::cout << line << std::endl;
        printed += line + "\n";
        bool fails = r.word == "FAIL" || r.word == "CRASH";
        (fails ? failedCount : passed) += 1;
        cases.push_back({r.name, fails, r.word == "PASS" ? std::string() : line});
    };
    for (const validate_check& c : validateChecks()) {
        bool chosen = only.empty() ? c.level <= v.strictness : listed(only, c.name);
        bool isLoad = std::string(c.name) == "load";
        if (listed(skipped, c.name) || !chosen) {
            if (!isLoad) {
                continue;
            }
            // Whether the library can be used at all is always found out, quietly.
            check_result r = runOne(v, c, outDir);
            if (r.unusable) {
                report(r);
                unusableLibrary = true;
                break;
            }
            continue;
        }
        check_result r = runOne(v, c, outDir);
        report(r);
        if (r.unusable) {
            unusableLibrary = true;
            break;
        }
    }
    std::string last = "validate: " + std::to_string(passed) + " passed, " +
                       std::to_string(failedCount) + " failed" +
                       (unusableLibrary ? " (the library cannot be used)" : "");
    std::cout << last << std::endl;
    printed += last + "\n";
    if (!o.junit.empty() &&
        !writeJUnit(o.junit, "vesk-host --validate " + o.script, cases, printed)) {
        std::cerr << "vesk-host: cannot write " << o.junit << "\n";
        return exitUnusable;
    }
    if (unusableLibrary) {
        return exitUnusable;
    }
    return failedCount == 0 ? exitPassed : exitFailed;
}

} // namespace vesk_host
