// Delta debugging over a failing run: first the steps, then the values inside the steps left.
#include <algorithm>

#include "explore.h"
#include "scenario_parser.h"

namespace vesk_host {

namespace {

// The predicate, called at most `attempts` times; once they are spent every run "passes", so
// that each stage keeps what it has.
class budgeted_check {
public:
    budgeted_check(const still_fails& fails, int attempts) : m_fails(fails), m_left(attempts) {}

    bool operator()(const std::vector<std::string>& steps) {
        if (m_left <= 0) {
            return false;
        }
        --m_left;
        return m_fails(steps);
    }
    bool spent() const { return m_left <= 0; }

private:
    const still_fails& m_fails;
    int m_left;
};

// ddmin over a sequence (the steps, or the bytes of one text): the smallest part or the
// largest complement that still fails, at ever finer grain, until no single element can go.
// `fails(candidate)` is never asked about the whole of `items`.
template <typename Sequence, typename Test>
Sequence minimised(Sequence items, Test&& fails, const budgeted_check& budget) {
    if (items.empty()) {
        return items;
    }
    if (fails(Sequence())) {
        return Sequence();
    }
    std::size_t parts = 2;
    while (items.size() >= 2 && !budget.spent()) {
        parts = std::min(parts, items.size());
        std::size_t size = items.size();
        auto cut = [&](std::size_t i) { return i * size / parts; };
        bool reduced = false;
        for (std::size_t i = 0; i < parts && !reduced; ++i) {
            Sequence part(items.begin() + static_cast<std::ptrdiff_t>(cut(i)),
                          items.begin() + static_cast<std::ptrdiff_t>(cut(i + 1)));
            if (fails(part)) {
                items = part;
                parts = 2;
                reduced = true;
            }
        }
        // With two parts each complement is the other part, already tried.
        for (std::size_t i = 0; i < parts && !reduced && parts > 2; ++i) {
            Sequence rest(items.begin(), items.begin() + static_cast<std::ptrdiff_t>(cut(i)));
            rest.insert(rest.end(), items.begin() + static_cast<std::ptrdiff_t>(cut(i + 1)),
                        items.end());
            if (fails(rest)) {
                items = rest;
                parts = std::max<std::size_t>(parts - 1, 2);
                reduced = true;
            }
        }
        if (!reduced) {
            if (parts >= items.size()) {
                break;
            }
            parts = std::min(parts * 2, items.size());
        }
    }
    return items;
}

// The values of one step made plainer while the run still fails: its numbers towards 0, its
// text shorter. Returns the step's line as it ends.
std::string simplified(std::vector<std::string>& steps, std::size_t at, budgeted_check& check) {
    step s;
    std::string error;
    if (!parseStep(steps[at], s, error) || s.command == nullptr) {
        return steps[at];
    }
    auto failsWith = [&](const step& candidate) {
        std::string line = stepLine(candidate);
        if (line == steps[at]) {
            return false; // the same run again tells nothing
        }
        std::vector<std::string> tried = steps;
        tried[at] = line;
        if (!check(tried)) {
            return false;
        }
        steps = tried;
        return true;
    };
    for (std::size_t k = 0; k < s.numbers.size() && !check.spent(); ++k) {
        long long& value = s.numbers[k];
        long long was = value;
        value = 0;
        if (was == 0 || failsWith(s)) {
            continue;
        }
        value = was;
        while (value / 2 != 0 && !check.spent()) {
            value /= 2;
            if (!failsWith(s)) {
                value = was;
                break;
            }
            was = value;
        }
    }
    if (s.hasText && s.command->form != std::string("l") && !check.spent()) {
        auto failsWithText = [&](const std::string& text) {
            step candidate = s;
            candidate.text = text;
            candidate.hasText = !text.empty();
            return failsWith(candidate);
        };
        s.text = minimised(s.text, failsWithText, check);
        s.hasText = !s.text.empty();
    }
    return steps[at];
}

} // namespace

std::vector<std::string> shrinkSteps(std::vector<std::string> steps, const still_fails& fails,
                                     int attempts) {
    budgeted_check check(fails, attempts);
    steps = minimised(steps, check, check);
    for (std::size_t at = 0; at < steps.size() && !check.spent(); ++at) {
        simplified(steps, at, check);
    }
    return steps;
}

} // namespace vesk_host
