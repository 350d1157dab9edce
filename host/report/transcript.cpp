#include "transcript.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <limits>

#if !defined(_WIN32)
#include <cerrno>

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vesk_host {

namespace {

std::string numbered(int line) {
    std::string number = line > 0 ? std::to_string(line) : std::string();
    while (number.size() < 4) {
        number.insert(number.begin(), ' ');
    }
    return number + "  ";
}

// The transcript that prints to standard output, for printHeldTranscript.
std::atomic<transcript::held_output*> onStandardOutput{nullptr};

const char leftOutHead[] = "[vesk-host did not print ";
const char leftOutTail[] = " bytes here: the output was not read while the call ran]\n";

std::string leftOutNote(std::uint64_t bytes) {
    return leftOutHead + std::to_string(bytes) + leftOutTail;
}

#if !defined(_WIN32)
// How much one write may carry and still not wait once poll says the descriptor is writable:
// a pipe takes PIPE_BUF bytes, a terminal a little, a file anything. 0: never write directly.
std::size_t writableChunk(int fd) {
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0) {
        return 0;
    }
    if (S_ISREG(st.st_mode)) {
        return std::numeric_limits<std::size_t>::max();
    }
    return isatty(fd) ? 256 : 4096;
}

// Writes as much as `fd` takes without waiting. Async-signal-safe.
std::size_t writeWithoutWaiting(int fd, std::size_t chunk, const char* data, std::size_t size) {
    std::size_t done = 0;
    while (chunk > 0 && done < size) {
        pollfd ready{fd, POLLOUT, 0};
        int woke = ::poll(&ready, 1, 0);
        if (woke < 0 && errno == EINTR) {
            continue;
        }
        if (woke <= 0 || (ready.revents & POLLOUT) == 0) {
            break;
        }
        ssize_t n = ::write(fd, data + done, std::min(chunk, size - done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

// Async-signal-safe: write(2) alone.
void writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}
#endif

// A script that calls exit in the middle of a call still has its output printed.
extern "C" void printHeldAtExit() {
    std::fflush(stdout);
    printHeldTranscript();
}

} // namespace

void printHeldTranscript() noexcept {
    transcript::held_output* held = onStandardOutput.load();
    if (held == nullptr || !held->data) {
        return;
    }
    std::size_t begin = held->begin.exchange(held->end.load());
    std::size_t end = held->end.load();
    std::uint64_t dropped = held->dropped.exchange(0);
#if defined(_WIN32)
    if (begin < end) {
        std::fwrite(held->data.get() + begin, 1, end - begin, stdout);
    }
    if (dropped > 0) {
        std::fputs(leftOutNote(dropped).c_str(), stdout);
    }
    std::fflush(stdout);
#else
    if (begin < end) {
        writeAll(1, held->data.get() + begin, end - begin);
    }
    if (dropped > 0) {
        char digits[24];
        std::size_t at = sizeof digits;
        do {
            digits[--at] = static_cast<char>('0' + dropped % 10);
            dropped /= 10;
        } while (dropped > 0 && at > 0);
        writeAll(1, leftOutHead, sizeof leftOutHead - 1);
        writeAll(1, digits + at, sizeof digits - at);
        writeAll(1, leftOutTail, sizeof leftOutTail - 1);
    }
#endif
}

transcript::transcript(std::ostream* out) : m_out(out) {
    if (out == &std::cout) {
#if !defined(_WIN32)
        m_fd = 1;
        m_chunk = writableChunk(m_fd);
#endif
        onStandardOutput.store(&m_held);
        static bool atExit = std::atexit(printHeldAtExit) == 0;
        (void)atExit;
    }
}

transcript::~transcript() {
    try {
        printHeld();
    } catch (...) {
    }
    transcript::held_output* mine = &m_held;
    onStandardOutput.compare_exchange_strong(mine, nullptr);
}

void transcript::enterCall() {
    ++m_calls;
}

void transcript::leaveCall() {
    if (m_calls > 0 && --m_calls == 0) {
        printHeld();
    }
}

void transcript::hold(const char* data, std::size_t size) {
    if (m_held.dropped.load() > 0) {
        // Left out from here until what is held is printed: the note stands in its place.
        m_held.dropped += size;
        return;
    }
    if (!m_held.data) {
        m_held.data.reset(new char[heldLimit]);
    }
    std::size_t begin = m_held.begin.load();
    std::size_t end = m_held.end.load();
    if (end + size > heldLimit && begin > 0) {
        std::memmove(m_held.data.get(), m_held.data.get() + begin, end - begin);
        end -= begin;
        begin = 0;
        m_held.end.store(end);
        m_held.begin.store(0);
    }
    if (end + size > heldLimit) {
        m_held.dropped += size;
        return;
    }
    std::memcpy(m_held.data.get() + end, data, size);
    m_held.end.store(end + size);
}

bool transcript::printHeldNow() {
#if defined(_WIN32)
    (void)m_fd;
    (void)m_chunk;
    return m_held.begin.load() == m_held.end.load() && m_held.dropped.load() == 0;
#else
    for (;;) {
        std::size_t begin = m_held.begin.load();
        std::size_t end = m_held.end.load();
        if (begin < end) {
            m_out->flush();
            begin += writeWithoutWaiting(m_fd, m_chunk, m_held.data.get() + begin, end - begin);
            m_held.begin.store(begin);
            if (begin < end) {
                return false;
            }
        }
        m_held.begin.store(0);
        m_held.end.store(0);
        std::uint64_t dropped = m_held.dropped.exchange(0);
        if (dropped == 0) {
            return true;
        }
        std::string note = leftOutNote(dropped);
        hold(note.data(), note.size());
    }
#endif
}

void transcript::printHeld() {
    if (m_out == nullptr) {
        return;
    }
    std::size_t begin = m_held.begin.load();
    std::size_t end = m_held.end.load();
    if (begin < end) {
        m_out->write(m_held.data.get() + begin, static_cast<std::streamsize>(end - begin));
    }
    m_held.begin.store(0);
    m_held.end.store(0);
    std::uint64_t dropped = m_held.dropped.exchange(0);
    if (dropped > 0) {
        *m_out << leftOutNote(dropped);
    }
    m_out->flush();
}

void transcript::print(const std::string& text) {
    if (m_out == nullptr) {
        return;
    }
    if (m_calls == 0) {
        printHeld();
        *m_out << text << std::flush;
        return;
    }
    std::size_t done = 0;
#if !defined(_WIN32)
    if (printHeldNow() && m_fd >= 0) {
        m_out->flush();
        done = writeWithoutWaiting(m_fd, m_chunk, text.data(), text.size());
    }
#endif
    if (done < text.size()) {
        hold(text.data() + done, text.size() - done);
    }
}

void transcript::write(const std::string& text) {
    m_inComment = false;
    m_kept.append(text);
    if (m_mirror) {
        m_mirror(text);
    }
    print(text);
}

void transcript::comment(const std::string& text, bool newBlock) {
    // A blank line sets each commented block apart.
    bool opensBlock = (newBlock || !m_inComment) && !m_kept.empty();
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
