#include "scenario_parser.h"

#include <algorithm>
#include <fstream>

#include "text.h"

namespace vesk_host {

namespace {

// \n, \t and \\ in texts; any other backslash stays, so Windows paths need no doubling.
std::string unescaped(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            char next = text[i + 1];
            if (next == 'n' || next == 't' || next == '\\') {
                out += next == 'n' ? '\n' : next == 't' ? '\t' : '\\';
                ++i;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

class line_reader {
public:
    explicit line_reader(const std::string& text) : m_text(text) {}

    // The next word; a word in single quotes may hold blanks. False at the end, and false
    // with `error` set for an unclosed quote.
    bool word(std::string& out, std::string& error) {
        skipBlanks();
        if (m_pos >= m_text.size()) {
            return false;
        }
        if (m_text[m_pos] == '\'') {
            std::size_t close = m_text.find('\'', m_pos + 1);
            if (close == std::string::npos) {
                error = "a quote is never closed";
                return false;
            }
            out = m_text.substr(m_pos + 1, close - m_pos - 1);
            m_pos = close + 1;
            return true;
        }
        std::size_t end = m_pos;
        while (end < m_text.size() && !isBlank(m_text[end])) {
            ++end;
        }
        out = m_text.substr(m_pos, end - m_pos);
        m_pos = end;
        return true;
    }
    std::string rest() {
        skipBlanks();
        std::string out = m_text.substr(m_pos);
        m_pos = m_text.size();
        return out;
    }

private:
    void skipBlanks() {
        while (m_pos < m_text.size() && isBlank(m_text[m_pos])) {
            ++m_pos;
        }
    }
    const std::string& m_text;
    std::size_t m_pos = 0;
};

std::string tokenAt(const char* words, std::size_t i) {
    std::vector<std::string> tokens = formTokens(words);
    return i < tokens.size() ? tokens[i] : std::string();
}

std::string usages(const std::vector<const scenario_command*>& commands) {
    std::string text;
    for (const scenario_command* c : commands) {
        text += (text.empty() ? "" : " | ") + std::string(c->usage);
    }
    return text;
}

// One argument of the form. Text tokens take the rest of the line.
bool readArgument(line_reader& in, const std::string& token, step& out, std::string& error) {
    char kind = token[0];
    if (kind == 't' || kind == 'o' || kind == 'l' || kind == 'p') {
        std::string rest = in.rest();
        if (rest.empty() && kind != 'o') {
            error = "text missing";
            return false;
        }
        out.hasText = !rest.empty();
        out.text = kind == 'l' || kind == 'p' ? rest : unescaped(rest);
        if (kind == 'p') {
            std::size_t equals = out.text.find('=');
            if (equals == std::string::npos || equals == 0) {
                error = "the property is written NAME=VALUE";
                return false;
            }
            out.words.push_back(out.text.substr(0, equals));
            out.text = unescaped(out.text.substr(equals + 1));
        }
        return true;
    }
    std::string w;
    if (!in.word(w, error)) {
        if (error.empty()) {
            error = "too few arguments";
        }
        return false;
    }
    if (kind == 'w') {
        out.words.push_back(w);
        return true;
    }
    long long value = 0;
    bool ms = kind == 'm';
    if (!parseNumber(w, ms ? 0 : -2147483647LL - 1, ms ? 1000000000000LL : 2147483647LL, value)) {
        error = "'" + w + "' is not " + (ms ? "a number of milliseconds" : "a whole number");
        return false;
    }
    out.numbers.push_back(value);
    return true;
}

// The command's name, word by word: `word` is the first, already read.
bool readName(line_reader& in, std::string word, std::vector<const scenario_command*>& candidates,
              std::string& error) {
    std::vector<std::string> said;
    for (std::size_t depth = 0;; ++depth) {
        std::vector<const scenario_command*> named;
        std::vector<std::string> choices;
        for (const scenario_command* c : candidates) {
            std::string expected = tokenAt(c->name, depth);
            if (expected == word) {
                named.push_back(c);
            }
            if (std::find(choices.begin(), choices.end(), expected) == choices.end()) {
                choices.push_back(expected);
            }
        }
        if (named.empty()) {
            if (depth == 0) {
                error = "unknown command '" + word + "'" + didYouMean(word, choices) +
                        " (\"help\" lists the commands)";
            } else if (depth == 1) {
                error = word.empty() ? said[0] + " what?"
                                     : "unknown " +
                                           (said[0] == "expect" ? std::string("expectation")
                                                                : said[0] + " command") +
                                           " '" + word + "'" + didYouMean(word, choices);
            } else {
                error = "'" + said.back() + "' goes with ";
                for (std::size_t i = 0; i < choices.size(); ++i) {
                    error += (i == 0 ? "'" : " or '") + choices[i] + "'";
                }
                error += " (" + usages(candidates) + ")";
            }
            return false;
        }
        candidates = named;
        said.push_back(word);
        bool longer = false;
        for (const scenario_command* c : candidates) {
            longer = longer || !tokenAt(c->name, depth + 1).empty();
        }
        if (!longer) {
            return true;
        }
        word.clear();
        if (!in.word(word, error) && !error.empty()) {
            return false;
        }
    }
}

// The arguments; where the commands of one name part, the keyword there chooses.
const scenario_command* readForm(line_reader& in, std::vector<const scenario_command*> candidates,
                                 step& out, std::string& error) {
    for (std::size_t k = 0;; ++k) {
        std::string token = tokenAt(candidates[0]->form, k);
        if (token.empty()) {
            std::string extra;
            if (in.word(extra, error)) {
                error = "unexpected '" + extra + "' at the end";
            }
            return error.empty() ? candidates[0] : nullptr;
        }
        if (isArgumentToken(token)) {
            if (!readArgument(in, token, out, error)) {
                return nullptr;
            }
            if (token != "w" && token != "i" && token != "m") {
                return candidates[0]; // the rest of the line is taken
            }
            continue;
        }
        std::string word;
        if (!in.word(word, error) && !error.empty()) {
            return nullptr;
        }
        std::vector<const scenario_command*> chosen;
        for (const scenario_command* c : candidates) {
            if (tokenAt(c->form, k) == word) {
                chosen.push_back(c);
            }
        }
        if (chosen.empty()) {
            std::vector<std::string> name = formTokens(candidates[0]->name);
            error = "a " + name.back() + " is ";
            for (std::size_t i = 0; i < candidates.size(); ++i) {
                std::string usage = candidates[i]->usage;
                std::string keyword = tokenAt(candidates[i]->form, k);
                std::size_t at = usage.find(" " + keyword);
                std::string shown = at == std::string::npos ? keyword : usage.substr(at + 1);
                error += (i == 0 ? "'" : " or '") + shown + "'";
            }
            return nullptr;
        }
        candidates = chosen;
    }
}

} // namespace

// The number of letters to change, add or drop to make `a` into `b`.
namespace {

std::size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) {
        row[j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            std::size_t above = row[j];
            std::size_t changed = diagonal + (a[i - 1] == b[j - 1] ? 0 : 1);
            row[j] = std::min({changed, row[j] + 1, row[j - 1] + 1});
            diagonal = above;
        }
    }
    return row[b.size()];
}

} // namespace

std::string didYouMean(const std::string& word, const std::vector<std::string>& choices) {
    std::string best;
    std::size_t bestDistance = 0;
    for (const std::string& c : choices) {
        std::size_t d = editDistance(word, c);
        // A slip of a letter or two, never a guess at a word of another length altogether.
        std::size_t allowed = c.size() <= 3 ? 1 : 2;
        if (!c.empty() && d <= allowed && (best.empty() || d < bestDistance)) {
            best = c;
            bestDistance = d;
        }
    }
    return best.empty() ? std::string() : "; did you mean '" + best + "'?";
}

std::vector<std::string> formTokens(const char* form) {
    std::vector<std::string> tokens;
    std::string current;
    for (const char* c = form;; ++c) {
        if (*c == ' ' || *c == '\0') {
            if (!current.empty()) {
                tokens.push_back(current);
            }
            current.clear();
            if (*c == '\0') {
                return tokens;
            }
        } else {
            current += *c;
        }
    }
}

bool isArgumentToken(const std::string& token) {
    return token.size() == 1 && std::string("wimtlop").find(token[0]) != std::string::npos;
}

bool parseStep(const std::string& raw, step& out, std::string& error) {
    out = step();
    error.clear();
    out.source = trimmed(raw);
    // The script would see its text end at the NUL.
    if (raw.find('\0') != std::string::npos) {
        error = "a NUL byte in the line: not a text line";
        return false;
    }
    if (out.source.empty()) {
        return false;
    }
    if (out.source[0] == '#') {
        return true;
    }
    line_reader in(out.source);
    std::string word;
    in.word(word, error);
    if (!word.empty() && word[0] == '@') {
        out.target = word.substr(1);
        if (out.target.empty()) {
            error = "'@' needs a script name";
            return false;
        }
        word.clear();
        in.word(word, error);
    }
    if (!error.empty()) {
        return false;
    }
    std::vector<const scenario_command*> candidates;
    for (const scenario_command& c : scenarioCommands()) {
        candidates.push_back(&c);
    }
    if (!readName(in, word, candidates, error)) {
        return false;
    }
    out.command = readForm(in, candidates, out, error);
    if (out.command == nullptr) {
        error += " (" + usages(candidates) + ")";
        return false;
    }
    return true;
}

bool loadScenario(const std::string& path, std::vector<step>& steps,
                  std::vector<std::string>& errors) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        errors.push_back(path + ": cannot read the scenario");
        return false;
    }
    std::string line;
    int number = 0;
    bool blank = false;
    while (std::getline(in, line)) {
        ++number;
        // A byte order mark, as editors on Windows write, is no part of the first line.
        if (number == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) {
            line.erase(0, 3);
        }
        step s;
        std::string error;
        if (parseStep(line, s, error)) {
            s.line = number;
            s.afterBlank = blank;
            steps.push_back(s);
        } else if (!error.empty()) {
            errors.push_back(path + ":" + std::to_string(number) + ": " + error);
        }
        blank = s.source.empty();
    }
    return errors.empty();
}

std::string scenarioHelp() {
    std::string events;
    std::string expectations;
    for (const scenario_command& c : scenarioCommands()) {
        std::string usage = c.usage;
        if (c.role == scenario_role::expectation) {
            expectations += "  " + usage + "\n      " + c.help + "\n";
        } else {
            usage.resize(usage.size() < 34 ? 34 : usage.size(), ' ');
            events += "  " + usage + "  " + c.help + "\n";
        }
    }
    return "Events (\"@name COMMAND\" sends one to the script named name):\n" + events +
           "Expectations:\n" + expectations +
           "Lines starting with # are comments and appear in the transcript.\n";
}

} // namespace vesk_host
