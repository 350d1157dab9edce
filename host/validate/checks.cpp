#include "checks.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <exception>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "emulated_host.h"
#include "emulated_link.h"
#include "host_verbs.h"
#include "scenario_parser.h"
#include "scenario_runner.h"
#include "text.h"
#include "vesk_host_structs.h"
#include "vesk_script_export.h"

namespace vesk_host {

namespace {

const std::size_t lineLimit = 4096;
// Growth of the heap that the host's own noise cannot reach; beyond it a script keeps what
// it should have given back.
const std::size_t memoryBound = 64 * 1024;
const double warnMs = 20.0;
const double failMs = 250.0;

check_verdict pass() {
    return check_verdict();
}

check_verdict verdict(verdict_kind kind, const std::string& why) {
    check_verdict v;
    v.kind = kind;
    v.why = why;
    return v;
}

check_verdict failed(const std::string& why) {
    return verdict(verdict_kind::fail, why);
}

// A failure of a run of steps, with the steps that replay it (those up to the one that
// showed it).
check_verdict failedSteps(const std::vector<std::string>& steps, const steps_outcome& o) {
    check_verdict v = failed(o.why);
    std::size_t upTo = o.at < 0 ? steps.size() : std::min(steps.size(), std::size_t(o.at) + 1);
    if (o.at >= 0 && std::size_t(o.at) < steps.size()) {
        v.why += " (at step " + std::to_string(o.at + 1) + ", " + steps[std::size_t(o.at)] + ")";
    }
    v.steps.assign(steps.begin(), steps.begin() + static_cast<std::ptrdiff_t>(upTo));
    v.signature = o.signature;
    return v;
}

std::string bytes(long long n) {
    return std::to_string(n) + (n == 1 || n == -1 ? " byte" : " bytes");
}

// Calls into a script as the host makes them.
using caller = char* (*)(void* context, char* argument, int kind);

struct event_answer {
    int kind;
    const char* with; // the argument, in words
    char* result;
};

// Every event kind once, each with a sound argument; a parent answer goes back with kind 5.
std::vector<event_answer> soundEvents(void* context, caller call) {
    std::vector<event_answer> answers;
    decodeCaptionString caption("text=validate");
    vesk_host_button button{0, 0, "1", "validate", &caption};
    vesk_host_revertive revertive{1, 0, 1, 0, "SRC 1"};
    std::vector<char> parent = {'_', 'c', 'o', 'm', 'm', 'a', 'n', 'd', 's', '\0'};
    std::int32_t host[8] = {};
    answers.push_back({VESK_EVENT_REVERTIVE, "a revertive",
                       call(context, reinterpret_cast<char*>(&revertive), VESK_EVENT_REVERTIVE)});
    answers.push_back({VESK_EVENT_BUTTON, "a press",
                       call(context, reinterpret_cast<char*>(&button), VESK_EVENT_BUTTON)});
    char* answer = call(context, parent.data(), VESK_EVENT_PARENT);
    answers.push_back({VESK_EVENT_PARENT, "\"_commands\"", answer});
    if (answer != nullptr) {
        answers.push_back(
            {VESK_EVENT_RELEASE, "its answer", call(context, answer, VESK_EVENT_RELEASE)});
    }
    answers.push_back({VESK_EVENT_TIMER, "timer 1",
                       call(context, reinterpret_cast<char*>(std::intptr_t(1)), VESK_EVENT_TIMER)});
    answers.push_back(
        {VESK_EVENT_SECONDARY_REVERTIVE, "a secondary revertive",
         call(context, reinterpret_cast<char*>(&revertive), VESK_EVENT_SECONDARY_REVERTIVE)});
    answers.push_back({VESK_EVENT_HOST, "a host event",
                       call(context, reinterpret_cast<char*>(host), VESK_EVENT_HOST)});
    return answers;
}

char* harnessCall(void* context, char* argument, int kind) {
    return static_cast<harness*>(context)->raw(argument, kind);
}

// An answer to anything but a parent text: the host would never give it back.
std::string unaskedAnswers(const std::vector<event_answer>& answers) {
    for (const event_answer& a : answers) {
        if (a.kind != VESK_EVENT_PARENT && a.result != nullptr) {
            return "answered " + std::string(a.with) + " (kind " + std::to_string(a.kind) +
                   "): only kind 3 may answer";
        }
    }
    return std::string();
}

// The steps most checks run: the sound ones, then some drawn from the seed.
std::vector<std::string> checkSteps(const validation& v, call_record& record, int drawn) {
    script_surface surface = learnSurface(v, record);
    std::vector<std::string> steps = soundSteps(surface);
    std::vector<std::string> more = drawSteps(surface, v.seed, v.scaled(drawn));
    steps.insert(steps.end(), more.begin(), more.end());
    return steps;
}

// Steps on a script already created, with no checks between them.
void play(harness& h, const std::vector<std::string>& steps) {
    scenario_runner runner(h.host(), h.out(), "validate");
    for (std::size_t i = 0; i < steps.size() && h.slot().script != nullptr; ++i) {
        step s;
        std::string error;
        if (parseStep(steps[i], s, error)) {
            s.line = static_cast<int>(i) + 1;
            runner.run(s);
        }
    }
}

// The first line where two runs' lines part, in words; empty when they are the same.
std::string firstDifference(const std::vector<std::string>& got,
                            const std::vector<std::string>& wanted, const char* gotName,
                            const char* wantedName) {
    std::size_t n = std::min(got.size(), wanted.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (got[i] != wanted[i]) {
            return "line " + std::to_string(i + 1) + " is " + shown(got[i]) + " " + gotName + ", " +
                   shown(wanted[i]) + " " + wantedName;
        }
    }
    if (got.size() != wanted.size()) {
        return std::to_string(got.size()) + " lines " + gotName + ", " +
               std::to_string(wanted.size()) + " " + wantedName;
    }
    return std::string();
}

check_verdict checkLoad(const validation& v, call_record& record) {
    script_library library(v.library, v.layout);
    if (!library.loaded()) {
        return verdict(verdict_kind::unusable, library.error());
    }
    harness h(v, record);
    std::string why;
    if (!h.load(why) || !h.create(why)) {
        return failed("with a host link: " + why);
    }
    h.destroy();
    std::vector<std::string> problems = h.problems();
    if (!problems.empty()) {
        return failed(problems.front());
    }
    vesk_client_callback* alone = nullptr;
    std::string refusal;
    record.enter("load_vesk_client_script");
    try {
        alone = library.create(nullptr, v.startup.c_str(), &refusal);
    } catch (...) {
        record.leave();
        return failed("with a null link, load_vesk_client_script let an exception escape: " +
                      currentExceptionText());
    }
    record.leave();
    if (alone == nullptr) {
        return failed("with a null link: " +
                      (refusal.empty() ? "load_vesk_client_script returned null" : refusal));
    }
    record.enter("the destructor");
    try {
        delete alone;
    } catch (...) {
        record.leave();
        return failed("with a null link, the destructor let an exception escape: " +
                      currentExceptionText());
    }
    record.leave();
    return pass();
}

void discardDebug(const char*, void*) {}

// A script made on a null link, called directly. No host hears its debug output.
struct unlinked {
    unlinked() { captureDebugOutput(&discardDebug, nullptr); }
    ~unlinked() { captureDebugOutput(nullptr, nullptr); }
    unlinked(const unlinked&) = delete;
    unlinked& operator=(const unlinked&) = delete;

    vesk_client_callback* script = nullptr;
    call_record* record = nullptr;
    std::vector<std::string> escaped;
};

char* unlinkedCall(void* context, char* argument, int kind) {
    auto* u = static_cast<unlinked*>(context);
    char* result = nullptr;
    u->record->enter(callName(kind));
    try {
        result = u->script->callback(argument, kind);
    } catch (...) {
        // The first is kept: a record of each would grow the heap that memory measures.
        if (u->escaped.empty()) {
            u->escaped.push_back("kind " + std::to_string(kind) + ": " + currentExceptionText());
        }
    }
    u->record->leave();
    return result;
}

check_verdict checkNullLink(const validation& v, call_record& record) {
    script_library library(v.library, v.layout);
    unlinked u;
    u.record = &record;
    record.enter("load_vesk_client_script");
    try {
        u.script = library.create(nullptr, v.startup.c_str());
    } catch (...) {
        record.leave();
        return failed("load_vesk_client_script let an exception escape: " + currentExceptionText());
    }
    record.leave();
    if (u.script == nullptr) {
        return failed("load_vesk_client_script gave no script for a null link");
    }
    for (int round = 0; round < v.scaled(20); ++round) {
        soundEvents(&u, unlinkedCall);
    }
    record.enter("the destructor");
    try {
        delete u.script;
    } catch (...) {
        u.escaped.push_back("the destructor: " + currentExceptionText());
    }
    record.leave();
    if (!u.escaped.empty()) {
        return failed("an exception escaped: " + u.escaped.front());
    }
    return pass();
}

check_verdict checkEventKinds(const validation& v, call_record& record) {
    harness h(v, record);
    std::string why;
    if (!h.load(why) || !h.create(why)) {
        return failed(why);
    }
    std::vector<event_answer> answers = soundEvents(&h, harnessCall);
    std::string wrong = unaskedAnswers(answers);
    // Kinds the host does not send, with a zeroed block, then every kind with null.
    std::int32_t zeroes[16] = {};
    const int unknown[] = {0, 8, -1, 1000, INT_MIN};
    for (int kind : unknown) {
        char* result = h.raw(reinterpret_cast<char*>(zeroes), kind);
        if (result != nullptr && wrong.empty()) {
            wrong =
                "answered the unknown kind " + std::to_string(kind) + ": only kind 3 may answer";
        }
    }
    for (int kind = 1; kind <= 7; ++kind) {
        char* result = h.raw(nullptr, kind);
        if (kind == VESK_EVENT_PARENT && result != nullptr) {
            h.raw(result, VESK_EVENT_RELEASE);
        } else if (result != nullptr && wrong.empty()) {
            wrong = "answered kind " + std::to_string(kind) +
                    " with a null argument: only kind 3 may answer";
        }
    }
    h.destroy();
    if (!h.escaped().empty()) {
        return failed("an exception escaped callback, " + h.escaped().front());
    }
    if (!wrong.empty()) {
        return failed(wrong);
    }
    std::vector<std::string> problems = h.problems();
    return problems.empty() ? pass() : failed(problems.front());
}

check_verdict checkLifetime(const validation& v, call_record& record) {
    // Held across the lives, so that the library is not unloaded and loaded between them.
    script_library keep(v.library, v.layout);
    std::vector<std::string> steps = checkSteps(v, record, 20);
    noteSteps(v, steps);
    int lives = v.scaled(8) + 2;
    std::size_t settled = 0;
    std::size_t now = 0;
    bool measured = false;
    for (int life = 0; life < lives; ++life) {
        steps_outcome o = runSteps(v, record, steps);
        if (o.failed) {
            check_verdict f = failedSteps(steps, o);
            f.why = "life " + std::to_string(life + 1) + ": " + f.why;
            return f;
        }
        if (o.sent.empty() || o.sent.back() != "AS") {
            return failed("life " + std::to_string(life + 1) + ": the last line was " +
                          (o.sent.empty() ? std::string("none") : shown(o.sent.back())) +
                          ", not \"AS\"");
        }
        o = steps_outcome();
        // The first two lives settle what is made once; from there the heap stays put.
        if (life == 1) {
            measured = heapInUse(settled);
        }
        heapInUse(now);
    }
    if (!measured) {
        return verdict(verdict_kind::warn,
                       "every life ended with \"AS\"; memory across lives is not measured on "
                       "this platform or under this allocator");
    }
    long long growth = static_cast<long long>(now) - static_cast<long long>(settled);
    if (growth > static_cast<long long>(memoryBound)) {
        return failed("the heap grew by " + bytes(growth) + " over " + std::to_string(lives - 2) +
                      " lives (" + bytes(growth / (lives - 2)) + " a life)");
    }
    return pass();
}

check_verdict checkStartupCopied(const validation& v, call_record& record) {
    std::vector<std::string> steps = checkSteps(v, record, 20);
    noteSteps(v, steps);
    std::string startup = v.startup.empty() ? "panels\\validate" : v.startup;
    std::vector<std::string> lines[2];
    for (int pass = 0; pass < 2; ++pass) {
        harness h(v, record);
        std::string why;
        std::vector<char> text(startup.begin(), startup.end());
        text.push_back('\0');
        if (!h.load(why) || !h.create(text.data(), why)) {
            return failed(why);
        }
        if (pass == 0) {
            // The host's copy is gone once the factory returns.
            std::fill(text.begin(), text.end() - 1, '#');
        }
        play(h, steps);
        h.destroy();
        lines[pass] = h.sent();
    }
    std::string differs =
        firstDifference(lines[0], lines[1], "with the start-up text overwritten", "with it intact");
    if (!differs.empty()) {
        return failed("the script reads the start-up text after its creation: " + differs);
    }
    return pass();
}

check_verdict checkReplies(const validation& v, call_record& record) {
    std::vector<std::string> steps = checkSteps(v, record, 200);
    noteSteps(v, steps);
    steps_outcome o = runSteps(v, record, steps);
    return o.failed ? failedSteps(steps, o) : pass();
}

check_verdict checkAnswers(const validation& v, call_record& record) {
    script_surface surface = learnSurface(v, record);
    std::vector<std::string> texts = {"_commands", "_events", "return=all"};
    for (const std::string& p : surface.parameters) {
        texts.push_back(p + "=1");
        texts.push_back("return=" + p);
    }
    harness h(v, record);
    std::string why;
    if (!h.load(why) || !h.create(why)) {
        return failed(why);
    }
    struct kept {
        char* block;
        std::string text;
        std::string askedBy;
    };
    std::vector<kept> answers;
    std::vector<std::vector<char>> arguments;
    std::string wrong;
    for (const std::string& t : texts) {
        arguments.emplace_back(t.begin(), t.end());
        arguments.back().push_back('\0');
        char* answer = h.raw(arguments.back().data(), VESK_EVENT_PARENT);
        if (answer == nullptr) {
            continue;
        }
        for (const auto& a : arguments) {
            if (answer == a.data() && wrong.empty()) {
                wrong = "answered \"" + t + "\" with the host's own parent text";
            }
        }
        if (h.slot().link->ledger().handedOutText(answer) != nullptr && wrong.empty()) {
            wrong = "answered \"" + t + "\" with a reply the host handed out";
        }
        for (const kept& k : answers) {
            if (k.block == answer && wrong.empty()) {
                wrong = "answered \"" + t + "\" and \"" + k.askedBy +
                        "\" with the same block: an answer must be fresh";
            }
        }
        if (!wrong.empty()) {
            break;
        }
        answers.push_back({answer, std::string(answer), t});
    }
    if (wrong.empty()) {
        // Other calls go by before the host reads its answers.
        std::int32_t host[8] = {};
        h.raw(reinterpret_cast<char*>(host), VESK_EVENT_HOST);
        play(h, {"hostevent", "parent _events"});
        for (const kept& k : answers) {
            if (std::string(k.block) != k.text) {
                wrong = "the answer to \"" + k.askedBy + "\" changed after other calls, from " +
                        shown(k.text) + " to " + shown(k.block);
                break;
            }
        }
    }
    if (wrong.empty()) {
        for (const kept& k : answers) {
            h.raw(k.block, VESK_EVENT_RELEASE);
        }
    }
    h.destroy();
    if (!wrong.empty()) {
        return failed(wrong);
    }
    if (!h.escaped().empty()) {
        return failed("an exception escaped callback, " + h.escaped().front());
    }
    std::vector<std::string> problems = h.problems();
    return problems.empty() ? pass() : failed(problems.front());
}

check_verdict checkExplore(const validation& v, call_record& record) {
    script_surface surface = learnSurface(v, record);
    const int chunk = 500;
    int total = v.events;
    int drawnAtAll = 0;
    for (int done = 0, round = 0; done < total; done += chunk, ++round) {
        int count = std::min(chunk, total - done);
        // Each round a life of its own, from a seed of its own.
        std::uint64_t seed = v.seed + 0x9E3779B97F4A7C15ull * static_cast<std::uint64_t>(round);
        std::vector<std::string> steps = drawSteps(surface, seed, count);
        drawnAtAll += static_cast<int>(steps.size());
        noteSteps(v, steps);
        steps_outcome o = runSteps(v, record, steps);
        if (o.failed) {
            return failedSteps(steps, o);
        }
    }
    if (drawnAtAll == 0) {
        return verdict(verdict_kind::warn, "exploration drew no steps in this build");
    }
    return pass();
}

check_verdict checkLines(const validation& v, call_record& record) {
    std::vector<std::string> steps = checkSteps(v, record, 200);
    steps_outcome o = runSteps(v, record, steps);
    for (const std::string& line : o.sent) {
        std::string why;
        if (findVerb(line.c_str()) == nullptr) {
            why = "an unknown verb";
        } else if (line.find_first_of("\r\n") != std::string::npos) {
            why = "a line end inside";
        } else if (std::count(line.begin(), line.end(), '\'') % 2 != 0) {
            why = "unbalanced quotes";
        } else if (line.size() > lineLimit) {
            why = std::to_string(line.size()) + " characters, beyond " + std::to_string(lineLimit);
        }
        if (!why.empty()) {
            std::string head = line.size() > 80 ? line.substr(0, 80) + "..." : line;
            return verdict(verdict_kind::warn,
                           "sent " + shown(head) + ": " + why + " (texts are inserted verbatim)");
        }
    }
    for (const std::string& w : o.warnings) {
        if (w.find("cannot read") != std::string::npos) {
            return verdict(verdict_kind::warn, w);
        }
    }
    return pass();
}

check_verdict checkInstances(const validation& v, call_record& record) {
    std::vector<std::string> steps = checkSteps(v, record, 100);
    noteSteps(v, steps);
    std::vector<std::string> alone;
    {
        harness h(v, record);
        std::string why;
        if (!h.load(why) || !h.create(why)) {
            return failed(why);
        }
        play(h, steps);
        h.destroy();
        alone = h.sent();
    }
    // Two instances, each on a host and system of its own, called in turn: whatever one
    // hears of the other went through something they share inside the library.
    harness a(v, record, "first");
    harness b(v, record, "second");
    std::string why;
    if (!a.load(why) || !b.load(why) || !a.create(why) || !b.create(why)) {
        return failed(why);
    }
    for (const std::string& s : steps) {
        play(a, {s});
        play(b, {s});
    }
    a.destroy();
    b.destroy();
    std::string differs = firstDifference(a.sent(), alone, "for the first of two", "alone");
    if (differs.empty()) {
        differs = firstDifference(b.sent(), alone, "for the second of two", "alone");
    }
    if (!differs.empty()) {
        return failed("two instances share state: " + differs);
    }
    return pass();
}

check_verdict checkHostThread(const validation& v, call_record& record) {
    std::vector<std::string> steps = checkSteps(v, record, 100);
    noteSteps(v, steps);
    harness h(v, record);
    std::string why;
    if (!h.load(why) || !h.create(why)) {
        return failed(why);
    }
    play(h, steps);
    // A thread of the script's own would go on calling between the host's calls.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    h.destroy();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::string misuse = h.watch().misuse();
    return misuse.empty() ? pass() : failed(misuse);
}

check_verdict checkTiming(const validation& v, call_record& record) {
    script_surface surface = learnSurface(v, record);
    std::vector<std::string> steps;
    std::vector<std::string> sound = soundSteps(surface);
    for (int round = 0; round < v.scaled(5); ++round) {
        steps.insert(steps.end(), sound.begin(), sound.end());
    }
    std::vector<std::string> drawn = drawSteps(surface, v.seed, v.scaled(300));
    steps.insert(steps.end(), drawn.begin(), drawn.end());
    noteSteps(v, steps);
    steps_outcome o = runSteps(v, record, steps);
    if (o.stepMs.empty()) {
        return pass();
    }
    std::vector<double> sorted = o.stepMs;
    std::sort(sorted.begin(), sorted.end());
    std::size_t slowestAt = static_cast<std::size_t>(
        std::max_element(o.stepMs.begin(), o.stepMs.end()) - o.stepMs.begin());
    double slowest = sorted.back();
    double p99 = sorted[std::min(sorted.size() - 1, sorted.size() * 99 / 100)];
    std::ostringstream said;
    said.precision(3);
    said << "the slowest event took " << slowest << " ms ("
         << (slowestAt < steps.size() ? steps[slowestAt] : std::string("?"))
         << "), the 99th percentile " << p99 << " ms";
    if (slowest > failMs) {
        return failed(said.str() + "; above " + std::to_string(int(failMs)) +
                      " ms a blocked host freezes every panel");
    }
    if (slowest > warnMs) {
        return verdict(verdict_kind::warn,
                       said.str() + "; above " + std::to_string(int(warnMs)) + " ms");
    }
    return pass();
}

// A host link that takes every line and answers none, keeping nothing: the heap it leaves
// alone is the script's.
class silent_link : public vesk_client_callback {
public:
    char* callback(char*, int) override { return nullptr; }
};

check_verdict checkMemory(const validation& v, call_record& record) {
    std::size_t before = 0;
    if (!heapInUse(before)) {
        return verdict(verdict_kind::warn,
                       "the heap in use is not measured on this platform or under this allocator");
    }
    script_library library(v.library, v.layout);
    silent_link link;
    unlinked u;
    u.record = &record;
    record.enter("load_vesk_client_script");
    try {
        u.script = library.create(&link, v.startup.c_str());
    } catch (...) {
        u.script = nullptr;
    }
    record.leave();
    if (u.script == nullptr) {
        return failed("load_vesk_client_script gave no script");
    }
    // Events on a script of its own, on a link that keeps nothing: nothing the host keeps
    // grows.
    int warmUp = 50;
    int rounds = v.scaled(2000);
    int perRound = 0;
    for (int i = 0; i < warmUp; ++i) {
        soundEvents(&u, unlinkedCall);
    }
    heapInUse(before);
    for (int i = 0; i < rounds; ++i) {
        perRound = static_cast<int>(soundEvents(&u, unlinkedCall).size());
    }
    std::size_t after = 0;
    heapInUse(after);
    record.enter("the destructor");
    try {
        delete u.script;
    } catch (...) {
    }
    record.leave();
    long long growth = static_cast<long long>(after) - static_cast<long long>(before);
    long long events = static_cast<long long>(rounds) * perRound;
    if (growth > static_cast<long long>(memoryBound)) {
        return failed("the heap grew by " + bytes(growth) + " over " + std::to_string(events) +
                      " events (" + bytes(growth / (events > 0 ? events : 1)) + " an event)");
    }
    return pass();
}

check_verdict checkDeterminism(const validation& v, call_record& record) {
    std::vector<std::string> steps = checkSteps(v, record, 300);
    noteSteps(v, steps);
    steps_outcome first = runSteps(v, record, steps);
    steps_outcome second = runSteps(v, record, steps);
    std::string differs = firstDifference(second.sent, first.sent, "the second time", "the first");
    if (!differs.empty()) {
        return verdict(verdict_kind::warn, "the same steps gave other lines: " + differs);
    }
    return pass();
}

const char* verdictWord(verdict_kind k) {
    switch (k) {
    case verdict_kind::pass:
        return "pass";
    case verdict_kind::warn:
        return "warn";
    case verdict_kind::fail:
        return "fail";
    case verdict_kind::unusable:
        return "unusable";
    }
    return "fail";
}

} // namespace

const std::vector<validate_check>& validateChecks() {
    static const std::vector<validate_check> checks = {
        {"load", 1, "the library loads; its factory makes a script on a link and on a null link",
         checkLoad},
        {"null-link", 1, "on a null link, every event kind, then destroyed", checkNullLink},
        {"event-kinds", 1, "kinds 1-7, unknown kinds, null arguments: only kind 3 answers",
         checkEventKinds},
        {"replies", 1, "each reply released once, during the event that asked", checkReplies},
        {"lifetime", 2, "lives again and again: \"AS\" ends each, memory comes back",
         checkLifetime},
        {"answers", 2, "each parent answer a fresh block, readable after calls", checkAnswers},
        {"startup-copied", 3, "the start-up text overwritten at once changes nothing",
         checkStartupCopied},
        {"lines", 3, "every line sent is one the host can read (WARN)", checkLines},
        {"host-thread", 3, "the link is called only inside host calls, on its thread",
         checkHostThread},
        {"explore", 4, "seeded random steps (--events), each checked; a failure shrunk",
         checkExplore},
        {"instances", 4, "two instances, interleaved: each sends what it sends alone",
         checkInstances},
        {"timing", 5, "slowest event, 99th percentile: WARN > 20 ms, FAIL > 250 ms", checkTiming},
        {"memory", 5, "heap growth over many events beyond 64 KB", checkMemory},
        {"determinism", 7, "the same steps twice give the same lines (WARN)", checkDeterminism},
    };
    return checks;
}

const validate_check* findCheck(const std::string& name) {
    for (const validate_check& c : validateChecks()) {
        if (name == c.name) {
            return &c;
        }
    }
    return nullptr;
}

std::string checksHelp() {
    std::string text = "Checks of --validate (the lowest --strictness that runs each):\n\n";
    for (const validate_check& c : validateChecks()) {
        std::string name = c.name;
        name.resize(16, ' ');
        text +=
            "  " + name + std::to_string(c.level) + (c.level < 10 ? "   " : "  ") + c.about + "\n";
    }
    return text;
}

std::vector<std::string> checkNames(const std::string& list) {
    std::vector<std::string> names;
    std::string current;
    for (std::size_t i = 0; i <= list.size(); ++i) {
        if (i == list.size() || list[i] == ',') {
            if (!current.empty()) {
                names.push_back(current);
            }
            current.clear();
        } else if (list[i] != ' ') {
            current += list[i];
        }
    }
    return names;
}

bool knownCheckNames(const std::string& list, std::string& error) {
    std::vector<std::string> all;
    for (const validate_check& c : validateChecks()) {
        all.push_back(c.name);
    }
    for (const std::string& name : checkNames(list)) {
        if (findCheck(name) == nullptr) {
            error = "no check named '" + name + "'" + didYouMean(name, all) +
                    " (the checks are listed in --help)";
            return false;
        }
    }
    return true;
}

std::string verdictText(const check_verdict& v) {
    std::string text = std::string(verdictWord(v.kind)) + "\n" + std::to_string(v.steps.size()) +
                       "\n" + v.signature + "\n";
    for (const std::string& s : v.steps) {
        text += s + "\n";
    }
    return text + v.why;
}

bool parseVerdict(const std::string& text, check_verdict& v) {
    std::istringstream in(text);
    std::string word;
    std::string count;
    if (!std::getline(in, word) || !std::getline(in, count) || !std::getline(in, v.signature)) {
        return false;
    }
    v.kind = verdict_kind::fail;
    for (verdict_kind k :
         {verdict_kind::pass, verdict_kind::warn, verdict_kind::fail, verdict_kind::unusable}) {
        if (word == verdictWord(k)) {
            v.kind = k;
        }
    }
    int n = 0;
    if (!parseInt(count, n) || n < 0) {
        return false;
    }
    v.steps.clear();
    for (int i = 0; i < n; ++i) {
        std::string s;
        if (!std::getline(in, s)) {
            return false;
        }
        v.steps.push_back(s);
    }
    std::string rest((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    v.why = rest;
    return true;
}

std::string stepsFile(const validation& v, const std::string& check) {
    return v.scratch + "/" + check + ".steps";
}

void noteSteps(const validation& v, const std::vector<std::string>& steps) {
    if (v.scratch.empty() || v.check.empty()) {
        return;
    }
    std::ofstream out(stepsFile(v, v.check), std::ios::binary | std::ios::trunc);
    for (const std::string& s : steps) {
        out << s << "\n";
    }
}

} // namespace vesk_host
