#include "transcript.h"

namespace vesk_host {

namespace {

std::string numbered(int line) {
    std::string number = line > 0 ? std::to_string(line) : std::string();
    while (number.size() < 4) {
        number.insert(number.begin(), ' ');
    }
    return number + "  ";
}

} // namespace

void transcript::write(const std::string& text) {
    m_inComment = false;
    m_text += text;
    if (m_mirror) {
        m_mirror(text);
    }
    if (m_out != nullptr) {
        *m_out << text << std::flush;
    }
}

void transcript::comment(const std::string& text, bool newBlock) {
    // A blank line sets each commented block apart.
    bool opensBlock = (newBlock || !m_inComment) && !m_text.empty();
    write((opensBlock ? "\n" : "") + text + "\n");
    m_inComment = true;
}

void transcript::step(int line, const std::string& text) {
    write(numbered(line) + text + "\n");
}

void transcript::entry(const char* tag, const std::string& who, const std::string& text) {
    std::string head = "        " + std::string(tag);
    while (head.size() < 16) {
        head += ' ';
    }
    if (!who.empty()) {
        head += "[" + who + "] ";
    }
    std::string indent(head.size(), ' ');
    std::string out;
    std::size_t start = 0;
    bool first = true;
    // A trailing line end is how debug output usually ends; it adds no empty line.
    std::size_t end = text.size();
    if (end > 0 && text[end - 1] == '\n') {
        --end;
    }
    do {
        std::size_t newline = text.find('\n', start);
        if (newline == std::string::npos || newline > end) {
            newline = end;
        }
        out += (first ? head : indent) + text.substr(start, newline - start) + "\n";
        first = false;
        start = newline + 1;
    } while (start <= end);
    write(out);
}

void transcript::verdict(int line, const std::string& text, bool held, const std::string& message) {
    write(numbered(line) + text + (held ? "   [ok]\n" : "   [FAILED]\n"));
    if (!held) {
        write("        " + message + "\n");
    }
}

void transcript::plain(const std::string& text) {
    write(text + "\n");
}

} // namespace vesk_host
