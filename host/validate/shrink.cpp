// Shrinking a failing run: first the steps, then the values inside the steps left.
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

// Delta debugging over a sequence (the steps, or the bytes of one text). First the shortest
// beginning that still fails, by halving: what follows a failure seldom matters to it. Then
// chunks removed while the rest still fails, from half the sequence down to single elements;
// a chunk that cannot go is passed over, never tried again at that size. With k elements that
// matter among n, about 2k log n tries. `fails` is never asked about the whole of `items`.
template <typename Sequence, typename Test>
Sequence minimised(Sequence items, Test&& fails, const budgeted_check& budget) {
    if (items.empty() || fails(Sequence())) {
        return Sequence();
    }
    std::size_t passes = 0; // a beginning this long does not fail; the whole does
    std::size_t failing = items.size();
    while (failing - passes > 1 && !budget.spent()) {
        std::size_t middle = passes + (failing - passes) / 2;
        if (fails(Sequence(items.begin(), items.begin() + static_cast<std::ptrdiff_t>(middle)))) {
            failing = middle;
        } else {
            passes = middle;
        }
    }
    items.resize(failing);
    for (std::size_t size = items.size() / 2; size >= 1 && !budget.spent(); size /= 2) {
        for (std::size_t at = 0; at < items.size() && items.size() > 1 && !budget.spent();) {
            std::size_t end = std::min(at + size, items.size());
            Sequence rest(items.begin(), items.begin() + static_cast<std::ptrdiff_t>(at));
            rest.insert(rest.end(), items.begin() + static_cast<std::ptrdiff_t>(end), items.end());
            if (fails(rest)) {
                items = rest;
            } else {
                at = end;
            }
        }
    }
    return items;
}

// The values of one step made plainer while the run still fails: its numbers towards 0, its
// text shorter, the numbers in its text 0 or 1. Returns the step's line as it ends.
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
        minimised(s.text, failsWithText, check);
        // The text as written now: the line may have dropped blanks at its ends.
        if (!parseStep(steps[at], s, error) || !s.hasText) {
            return steps[at];
        }
        // Each number left in it as 0, or else 1: "source=-1" rather than "source=-2147483648".
        for (std::size_t i = 0; i < s.text.size() && !check.spent();) {
            if (s.text[i] < '0' || s.text[i] > '9') {
                ++i;
                continue;
            }
            std::size_t end = i;
            while (end < s.text.size() && s.text[end] >= '0' && s.text[end] <= '9') {
                ++end;
            }
            for (const char* plain : {"0", "1"}) {
                std::string text = s.text.substr(0, i) + plain + s.text.substr(end);
                if (text != s.text && failsWithText(text)) {
                    s.text = text;
                    end = i + 1;
                    break;
                }
            }
            i = end;
        }
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
