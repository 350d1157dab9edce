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
    int count = 0;
    for (const check& c : m_checks) {
        count += c.held ? 0 : 1;
    }
    return count;
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
    m_out.entry("FAILED", std::string(), at + ": " + message);
}

void scenario_runner::fail(const step& s, const std::string& message) {
    failAt(where(s), s.source, message, false);
}

void scenario_runner::record(const step& s, bool held, const std::string& message) {
    std::string at = where(s);
    m_checks.push_back({at, s.source, held, held ? std::string() : at + ": " + message});
    m_out.verdict(s.line, s.source, held, held ? std::string() : at + ": " + message);
}

void scenario_runner::openSentRun(const step& s, script_slot& target) {
    if (m_sentOpen == nullptr) {
        m_taken.assign(target.record.sent.size(), false);
    }
    m_sentOpen = &target;
    m_sentRun = s.command;
    m_sentWhere = where(s);
    m_sentWhat = s.source;
}

void scenario_runner::sentLineExpected(const step& s, script_slot& target) {
    openSentRun(s, target);
    script_record& r = target.record;
    if (r.sentChecked >= r.sent.size()) {
        record(s, false, "expected " + shown(s.text) + " sent, got no further line");
        return;
    }
    const std::string& got = r.sent[r.sentChecked++];
    record(s, got == s.text, "expected " + shown(s.text) + " sent, got " + shown(got));
}

void scenario_runner::sentLineExpectedAnyOrder(const step& s, script_slot& target) {
    openSentRun(s, target);
    script_record& r = target.record;
    std::string left;
    for (std::size_t i = r.sentChecked; i < r.sent.size(); ++i) {
        if (m_taken[i]) {
            continue;
        }
        if (r.sent[i] == s.text) {
            m_taken[i] = true;
            record(s, true, std::string());
            return;
        }
        left += (left.empty() ? "" : ", ") + shown(r.sent[i]);
    }
    record(s, false,
           "expected " + shown(s.text) + " among the lines sent, got " +
               (left.empty() ? std::string("no further line") : left));
}

void scenario_runner::closeSentCheck() {
    script_slot* open = m_sentOpen;
    m_sentOpen = nullptr;
    m_sentRun = nullptr;
    if (open == nullptr) {
        return;
    }
    script_record& r = open->record;
    std::string extra;
    for (std::size_t i = r.sentChecked; i < r.sent.size(); ++i) {
        if (i >= m_taken.size() || !m_taken[i]) {
            extra += (extra.empty() ? "" : ", ") + shown(r.sent[i]);
        }
    }
    if (!extra.empty()) {
        failAt(m_sentWhere, m_sentWhat, "expected no further line sent, got " + extra, true);
    }
    r.sentChecked = r.sent.size();
    m_taken.clear();
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
    if (role != scenario_role::expectation) {
        // Events start a new round: what was looked at before is done with.
        for (const auto& each : m_host.slots()) {
            script_record& r = each->record;
            if (r.expected) {
                r.expected = false;
                r.sent.clear();
                r.sentChecked = 0;
                r.debugText.clear();
            }
        }
    }
    if (role == scenario_role::session) {
        s.command->run(*this, s, target);
        return;
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
}

} // namespace vesk_host
