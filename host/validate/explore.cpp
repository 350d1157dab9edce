#include "explore.h"

#include <climits>

#include "scenario_parser.h"
#include "text.h"

namespace vesk_host {

namespace {

// splitmix64: a few lines of integer arithmetic, so that a seed draws the same steps with every
// compiler and standard library (the standard distributions are free to differ).
class draw_source {
public:
    explicit draw_source(std::uint64_t seed) : m_state(seed) {}

    std::uint64_t next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // 0 to n - 1; n is small, so the bias of the remainder is far below anything a run sees.
    std::size_t below(std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(next() % n); }
    // One time in `n`.
    bool oneIn(std::size_t n) { return below(n) == 0; }
    int between(int low, int high) {
        return low + static_cast<int>(below(static_cast<std::size_t>(high - low) + 1));
    }
    template <typename T> const T& pick(const std::vector<T>& items) {
        return items[below(items.size())];
    }

private:
    std::uint64_t m_state;
};

// Numbers that break scripts that trust them: the ends of int, a sign, zero.
const std::vector<int>& awkwardNumbers() {
    static const std::vector<int> numbers = {0, -1, 1, INT_MAX, INT_MIN, 65535, 65536};
    return numbers;
}

std::string repeated(const std::string& unit, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i) {
        out += unit;
    }
    return out;
}

// A value for a parent parameter, a caption or a revertive's text.
std::string drawValue(draw_source& d) {
    switch (d.below(16)) {
    case 0:
        return std::string();
    case 1:
        return "0";
    case 2:
        return "-1";
    case 3:
        return "2147483647";
    case 4:
        return "-2147483648";
    case 5:
        return std::to_string(d.between(1, 64));
    case 6:
        return std::to_string(d.between(0, 9999));
    case 7:
        return d.oneIn(2) ? repeated("x", 10000) : repeated("0123456789", 1000);
    case 8: {
        static const std::vector<std::string> quotes = {"'",  "''",      "it's", "'quoted'",
                                                        "\"", "\"a b\"", "'a b", "a b'"};
        return d.pick(quotes);
    }
    case 9: {
        static const std::vector<std::string> placeholders = {"%1", "%1%2%9", "a%1b", "%", "%%1"};
        return d.pick(placeholders);
    }
    case 10:
        return repeated(".", static_cast<std::size_t>(d.between(2, 80)));
    case 11:
        return repeated("=", static_cast<std::size_t>(d.between(2, 80)));
    case 12: {
        // UTF-8, Latin-1 that is not UTF-8, a lone continuation byte, bytes above 0xF4.
        static const std::vector<std::string> bytes = {"\xC3\xA9t\xC3\xA9", "caf\xE9", "\x80",
                                                       "\xFF\xFE", "\xF0\x9F\x8E\xA5"};
        return d.pick(bytes);
    }
    case 13: {
        static const std::vector<std::string> lines = {"a\nb", "tab\there", "back\\slash", "\\n",
                                                       "a;b",  "a,b",       "a b c"};
        return d.pick(lines);
    }
    case 14:
        return std::to_string(d.pick(awkwardNumbers()));
    default:
        return "CAM " + std::to_string(d.between(1, 16));
    }
}

// A name that the script never gave, for presses on controls and panels that are not there.
std::string drawMissingName(draw_source& d) {
    static const std::vector<std::string> names = {
        "no_such_control", "0", "-1", "2147483647", "\xC3\xA9", "a.b", "a=b", "%1", "x'y", "a b",
    };
    if (d.oneIn(10)) {
        return repeated("n", 300);
    }
    return d.pick(names);
}

// A caption: none, the plain forms, and more subs than the decoder holds.
std::string drawCaption(draw_source& d) {
    switch (d.below(6)) {
    case 0:
        return "state";
    case 1:
        return "state=" + drawValue(d);
    case 2:
        return "state.on=" + drawValue(d);
    case 3: {
        // One draw a statement: the operands of + are evaluated in an order each compiler
        // chooses, and a seed must draw the same steps under all of them.
        int sub = d.between(1, 8);
        return "text." + std::to_string(sub) + "=" + drawValue(d);
    }
    case 4: {
        std::string caption = "state";
        int subs = d.between(33, 40);
        for (int i = 1; i <= subs; ++i) {
            caption += "." + std::to_string(i);
        }
        return caption + (d.oneIn(2) ? "=" + drawValue(d) : std::string());
    }
    default:
        return drawValue(d);
    }
}

std::string drawPress(const script_surface& surface, draw_source& d) {
    std::string panel;
    std::string control;
    bool real = !surface.panels.empty() && !d.oneIn(5);
    if (real) {
        const script_surface::panel& p = d.pick(surface.panels);
        panel = p.name;
        control = p.controls.empty() || d.oneIn(8) ? drawMissingName(d) : d.pick(p.controls);
    } else {
        panel =
            surface.panels.empty() || d.oneIn(2) ? drawMissingName(d) : d.pick(surface.panels).name;
        control = drawMissingName(d);
    }
    std::string line = "press ";
    std::string word;
    // A name that cannot be written is pressed as one the panel lacks.
    line += stepWord(panel, word) ? word : "no_such_panel";
    line += " ";
    line += stepWord(control, word) ? word : "no_such_control";
    if (!d.oneIn(3)) {
        std::string caption = stepText(drawCaption(d));
        if (!caption.empty()) {
            line += " " + caption;
        }
    }
    return line;
}

std::string drawParent(const script_surface& surface, draw_source& d) {
    static const std::vector<std::string> own = {"return=all", "_events", "_commands"};
    std::string text;
    switch (d.below(8)) {
    case 0:
    case 1:
        text = d.pick(own);
        break;
    case 2:
        text = drawValue(d); // a value with no name
        break;
    case 3:
        text = "no_such_parameter=" + drawValue(d);
        break;
    default: {
        std::string name =
            surface.parameters.empty() ? std::string("source") : d.pick(surface.parameters);
        text = d.oneIn(10) ? name : name + "=" + drawValue(d);
    }
    }
    std::string written = stepText(text);
    return written.empty() ? "parent" : "parent " + written;
}

std::string drawRevertive(const script_surface& surface, draw_source& d) {
    int device = 0;
    int index = 0;
    if (!surface.watched.empty() && !d.oneIn(4)) {
        const std::pair<int, int>& w = d.pick(surface.watched);
        device = w.first;
        index = d.oneIn(8) ? w.second + 1 : w.second;
    } else {
        device = !surface.devices.empty() && d.oneIn(2) ? d.pick(surface.devices)
                 : d.oneIn(2)                           ? d.pick(awkwardNumbers())
                                                        : d.between(1, 999);
        index = d.oneIn(3) ? d.pick(awkwardNumbers()) : d.between(0, 4095);
    }
    std::string line = (d.oneIn(3) ? "secondary " : "revertive ") + std::to_string(device) + " " +
                       std::to_string(index);
    if (!d.oneIn(4)) {
        std::string text = stepText(drawValue(d));
        if (!text.empty()) {
            line += " " + text;
        }
    }
    return line;
}

std::string drawTimer(const script_surface& surface, draw_source& d) {
    // Moving the clock fires the timers that run, at their own pace.
    if (d.oneIn(2)) {
        static const std::vector<int> waits = {1, 10, 50, 100, 250, 500, 1000, 2000, 5000, 60000};
        return "advance " + std::to_string(d.pick(waits));
    }
    int id = !surface.timers.empty() && !d.oneIn(3) ? d.pick(surface.timers)
             : d.oneIn(2)                           ? d.pick(awkwardNumbers())
                                                    : d.between(2, 100);
    return "timer " + std::to_string(id);
}

} // namespace

bool stepWord(const std::string& text, std::string& written) {
    bool blank = false;
    for (char c : text) {
        if (c == '\n' || c == '\r' || c == '\0') {
            return false;
        }
        blank = blank || isBlank(c);
    }
    if (!text.empty() && !blank && text[0] != '\'') {
        written = text;
        return true;
    }
    if (text.find('\'') != std::string::npos) {
        return false;
    }
    written = "'" + text + "'";
    return true;
}

std::string stepText(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c != '\0') {
            out += c;
        }
    }
    return trimmed(out);
}

std::string stepLine(const step& s) {
    if (s.command == nullptr) {
        return s.source;
    }
    std::string line = s.target.empty() ? std::string() : "@" + s.target + " ";
    line += s.command->name;
    std::size_t word = 0;
    std::size_t number = 0;
    std::string written;
    for (const std::string& token : formTokens(s.command->form)) {
        if (!isArgumentToken(token)) {
            line += " " + token;
            continue;
        }
        switch (token[0]) {
        case 'w':
            line += " " + (stepWord(s.words[word], written) ? written : s.words[word]);
            ++word;
            break;
        case 'i':
        case 'm':
            line += " " + std::to_string(s.numbers[number++]);
            break;
        case 'l':
            line += " " + s.text;
            break;
        case 'p':
            line += " " + s.words[word] + "=" + stepText(s.text);
            break;
        default: // t, o: the rest as text
            if (s.hasText || token[0] == 't') {
                written = stepText(s.text);
                line += written.empty() ? std::string() : " " + written;
            }
        }
    }
    return line;
}

std::vector<std::string> drawSteps(const script_surface& surface, std::uint64_t seed, int count) {
    draw_source d(seed);
    std::vector<std::string> steps;
    for (int i = 0; i < count; ++i) {
        std::size_t kind = d.below(100);
        if (kind < 30) {
            steps.push_back(drawPress(surface, d));
        } else if (kind < 60) {
            steps.push_back(drawParent(surface, d));
        } else if (kind < 82) {
            steps.push_back(drawRevertive(surface, d));
        } else if (kind < 95) {
            steps.push_back(drawTimer(surface, d));
        } else {
            steps.push_back("hostevent");
        }
    }
    return steps;
}

std::string scenarioText(const std::vector<std::string>& about,
                         const std::vector<std::string>& steps,
                         const std::vector<std::string>& closing) {
    std::string text;
    for (const std::string& line : about) {
        // A line end in what is said about the run would start a line of the scenario.
        std::size_t from = 0;
        for (;;) {
            std::size_t end = line.find_first_of("\r\n", from);
            text += "# " + line.substr(from, end == std::string::npos ? end : end - from) + "\n";
            if (end == std::string::npos) {
                break;
            }
            from = end + 1;
        }
    }
    if (!about.empty()) {
        text += "\n";
    }
    for (const std::string& line : steps) {
        text += line + "\n";
    }
    for (const std::string& line : closing) {
        text += line + "\n";
    }
    return text;
}

} // namespace vesk_host
