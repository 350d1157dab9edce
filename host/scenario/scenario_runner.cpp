#include "scenario_runner.h"

namespace vesk_host {

std::string shown(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        out += c == '\n' ? std::string("\\n") : c == '\t' ? std::string("\\t") : std::string(1, c);
    }
    return out + "\"";
}

scenario_runner::scenario_runner(emulated_host& host, transcript& out, std::string file)
    : m_host(host), m_out(out), m_file(std::move(file)) {}

int scenario_runner::failures() const {
    return m_failures;
}

std::string scenario_runner::where(const step& s) const {
    return m_file + ":" + std::to_string(s.line);
}

scenario_runner::tally scenario_runner::counts() const {
    tally t;
    // A line's checks come one after another: a block's left-over lines fail its last line
    // once more, and that is still one expectation.
    const std::string* line = nullptr;
    bool lineFailed = false;
    for (const check& c : m_checks) {
        if (!c.expectation) {
            t.eventsFailed += c.held ? 0 : 1;
            continue;
        }
        if (line == nullptr || *line != c.where) {
            line = &c.where;
            lineFailed = false;
            ++t.expectations;
        }
        if (!c.held && !lineFailed) {
            lineFailed = true;
            ++t.expectationsFailed;
        }
    }
    return t;
}

void scenario_runner::failAt(const std::string& at, const std::string& what,
                             const std::string& message, bool expectation) {
    m_checks.push_back({at, what, false, at + ": " + message, expectation});
    ++m_failures;
    m_out.entry("FAILED", std::string(), at + ": " + message);
}

void scenario_runner::fail(const step& s, const std::string& message) {
    failAt(where(s), s.source, message, false);
}

void scenario_runner::record(const step& s, bool held, const std::string& message) {
    std::string at = where(s);
    m_checks.push_back({at, s.source, held, held ? std::string() : at + ": " + message});
    m_failures += held ? 0 : 1;
    m_out.verdict(s.line, s.source, held, held ? std::string() : at + ": " + message);
}

void scenario_runner::openSentRun(const step& s, script_slot& target) {
    if (m_sentOpen == nullptr) {
        m_sentNext = 0;
    }
    m_sentOpen = &target;
    m_sentRun = s.command;
    m_sentWhere = where(s);
    m_sentWhat = s.source;
    target.record.accounted.resize(target.record.sent.size(), false);
}

std::vector<std::string> unaccounted(const script_record& r) {
    std::vector<std::string> left;
    for (std::size_t i = 0; i < r.sent.size(); ++i) {
        if (i >= r.accounted.size() || !r.accounted[i]) {
            left.push_back(r.sent[i]);
        }
    }
    return left;
}

std::string shownList(const std::vector<std::string>& lines, const std::string& none) {
    std::string out;
    for (const std::string& line : lines) {
        out += (out.empty() ? "" : ", ") + shown(line);
    }
    return out.empty() ? none : out;
}

void scenario_runner::sentLineExpected(const step& s, script_slot& target) {
    openSentRun(s, target);
    script_record& r = target.record;
    std::size_t next = m_sentNext;
    while (next < r.sent.size() && r.accounted[next]) {
        ++next;
    }
    if (next >= r.sent.size()) {
        record(s, false, "expected " + shown(s.text) + " sent, got no further line");
        return;
    }
    // A line that does not match stays where it is, for the next expectation to look at.
    bool held = r.sent[next] == s.text;
    if (held) {
        r.accounted[next] = true;
        m_sentNext = next + 1;
    }
    record(s, held, "expected " + shown(s.text) + " sent, got " + shown(r.sent[next]));
}

void scenario_runner::sentLineExpectedAnyOrder(const step& s, script_slot& target) {
    openSentRun(s, target);
    script_record& r = target.record;
    for (std::size_t i = 0; i < r.sent.size(); ++i) {
        if (!r.accounted[i] && r.sent[i] == s.text) {
            r.accounted[i] = true;
            record(s, true, std::string());
            return;
        }
    }
    record(s, false,
           "expected " + shown(s.text) + " among the lines sent, got " +
               shownList(unaccounted(r), "no further line"));
}

void scenario_runner::closeSentCheck() {
    script_slot* open = m_sentOpen;
    m_sentOpen = nullptr;
    m_sentRun = nullptr;
    if (open == nullptr) {
        return;
    }
    // The lines left over stay unaccounted for: a later "expect nothing sent" sees them too.
    std::vector<std::string> extra = unaccounted(open->record);
    if (!extra.empty()) {
        failAt(m_sentWhere, m_sentWhat,
               "expected no further line sent, got " + shownList(extra, std::string()), true);
    }
}

void scenario_runner::finish() {
    closeSentCheck();
}

script_slot* scenario_runner::resolve(const step& s) {
    script_slot* target = m_host.slot(s.target);
    if (target == nullptr && s.command->role == scenario_role::creation && !s.target.empty() &&
        !m_host.slots().empty()) {
        // A new name is another script object from the first script's library.
        const script_slot& first = *m_host.slots().front();
        std::string error;
        if (m_host.addScript(s.target, first.path, first.startup, error)) {
            target = m_host.slot(s.target);
        }
    }
    return target;
}

void scenario_runner::run(const step& s) {
    m_host.setLocation(where(s));
    if (s.isComment()) {
        m_out.comment(s.source, s.afterBlank);
        return;
    }
    script_slot* target = resolve(s);
    // Only a run of one kind of sent-line check on one script stays open from step to step.
    if (s.isComment() || s.command != m_sentRun || target != m_sentOpen) {
        closeSentCheck();
    }
    scenario_role role = s.command->role;
    if (role == scenario_role::expectation) {
        m_afterExpectations = true;
    } else if (m_afterExpectations) {
        m_afterExpectations = false;
        m_roundWarnings = m_host.warnings().size();
    }
    if (role != scenario_role::expectation) {
        // Events start a new round: what was looked at before is done with.
        for (const auto& each : m_host.slots()) {
            script_record& r = each->record;
            if (r.expected) {
                r.expected = false;
                r.sent.clear();
                r.accounted.clear();
                r.debugText.clear();
            }
        }
    }
    if (role == scenario_role::session) {
        s.command->run(*this, s, target);
        return;
    }
    if (role != scenario_role::expectation) {
        // What devices whose state lives elsewhere heard since the last step reaches scripts
        // now, in this round.
        m_host.takeArrived();
    }
    if (target == nullptr) {
        m_out.step(s.line, s.source);
        fail(s, s.target.empty() ? "no script is loaded" : "no script named '" + s.target + "'");
        return;
    }
    if (role == scenario_role::expectation) {
        target->record.expected = true;
        s.command->run(*this, s, target);
        return;
    }
    m_out.step(s.line, s.source);
    bool wantsAlive = role != scenario_role::creation;
    if (role != scenario_role::system && (target->script != nullptr) != wantsAlive) {
        fail(s, target->name +
                    (wantsAlive ? " is not alive; \"create\" it first" : " is alive already"));
        return;
    }
    s.command->run(*this, s, target);
    // The expectations after an event see what it caused, answers from providers included.
    if (!m_host.settle(providerAnswerMs)) {
        m_host.warn("a provider did not answer every change this step asked of it within " +
                    std::to_string(providerAnswerMs) + " ms");
    }
}

} // namespace vesk_host
