#include "kept_text.h"

#include <algorithm>
#include <vector>

#if !defined(_WIN32)
#include <cerrno>

#include <unistd.h>
#endif

namespace vesk_host {

std::string cutNote(std::uint64_t bytes) {
    return "[vesk-host cut " + std::to_string(bytes) + " bytes here]\n";
}

std::uint64_t bytesStoodFor(const std::string& kept, std::size_t from, std::size_t to) {
    static const std::string open = "[vesk-host cut ";
    static const std::string close = " bytes here]\n";
    std::uint64_t bytes = to - from;
    for (std::size_t at = kept.find(open, from); at != std::string::npos && at < to;
         at = kept.find(open, at + 1)) {
        std::size_t digits = at + open.size();
        std::size_t end = digits;
        std::uint64_t cut = 0;
        while (end < to && end - digits < 20 && kept[end] >= '0' && kept[end] <= '9') {
            cut = cut * 10 + static_cast<std::uint64_t>(kept[end] - '0');
            ++end;
        }
        if (end > digits && kept.compare(end, close.size(), close) == 0 &&
            end + close.size() <= to) {
            bytes = bytes - (end + close.size() - at) + cut;
        }
    }
    return bytes;
}

namespace {

// A note starts on a line of its own.
std::string noteAfter(const std::string& before, std::uint64_t bytes) {
    bool midLine = !before.empty() && before.back() != '\n';
    return (midLine ? "\n" : "") + cutNote(bytes);
}

} // namespace

void kept_text::append(const std::string& text) {
    std::size_t into = std::min(text.size(), m_headLimit - m_head.size());
    m_head.append(text, 0, into);
    if (m_tail.empty()) {
        m_tailStart = m_written + into;
    }
    m_written += text.size();
    if (into == text.size()) {
        return;
    }
    m_tail.append(text, into, std::string::npos);
    // The tail holds between tail and 2 * tail bytes: each byte is moved at most once.
    if (m_tail.size() > 2 * m_tailLimit) {
        std::size_t drop = m_tail.size() - m_tailLimit;
        m_tail.erase(0, drop);
        m_tailStart += drop;
    }
}

void kept_text::clear() {
    m_head.clear();
    m_tail.clear();
    m_tailStart = 0;
    m_written = 0;
}

std::string kept_text::text() const {
    std::uint64_t from = 0;
    return since(from);
}

std::string kept_text::since(std::uint64_t& from) const {
    std::string out;
    if (from < m_head.size()) {
        out = m_head.substr(static_cast<std::size_t>(from));
        from = m_head.size();
    }
    if (from < m_tailStart) {
        out += noteAfter(out, m_tailStart - from);
        from = m_tailStart;
    }
    if (from < m_written) {
        out.append(m_tail, static_cast<std::size_t>(from - m_tailStart), std::string::npos);
    }
    from = m_written;
    return out;
}

#if !defined(_WIN32)

bool kept_file::writeAt(std::uint64_t offset, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t written = ::pwrite(m_fd, data, size, static_cast<off_t>(offset));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
        offset += static_cast<std::uint64_t>(written);
    }
    return true;
}

void kept_file::append(const std::string& text) {
    std::uint64_t before = m_written;
    m_written += text.size();
    char lastBefore = m_lastByte;
    if (!text.empty()) {
        m_lastByte = text.back();
    }
    if (!writeAt(m_fileEnd, text.data(), text.size())) {
        return;
    }
    m_fileEnd += text.size();
    if (m_tailAt == 0) {
        // Until the head is full the file is the text as written.
        if (m_fileEnd <= m_headLimit) {
            return;
        }
        m_tailAt = m_headLimit;
        char last = before < m_headLimit ? text[m_headLimit - 1 - before] : lastBefore;
        m_headEndsLine = m_headLimit == 0 || last == '\n';
    }
    if (m_fileEnd - m_tailAt <= 2 * m_tailLimit) {
        return;
    }
    // Keep the last `tail` bytes: they move down behind a new note.
    std::vector<char> kept(m_tailLimit);
    std::uint64_t keptFrom = m_fileEnd - m_tailLimit;
    std::size_t got = 0;
    while (got < kept.size()) {
        ssize_t n =
            ::pread(m_fd, kept.data() + got, kept.size() - got, static_cast<off_t>(keptFrom + got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        got += static_cast<std::size_t>(n);
    }
    std::uint64_t keptSince = m_written - m_tailLimit;
    std::string note = (m_headEndsLine ? "" : "\n") + cutNote(keptSince - m_headLimit);
    if (!writeAt(m_headLimit, note.data(), note.size()) ||
        !writeAt(m_headLimit + note.size(), kept.data(), kept.size())) {
        return;
    }
    m_tailAt = m_headLimit + note.size();
    m_fileEnd = m_tailAt + kept.size();
    while (::ftruncate(m_fd, static_cast<off_t>(m_fileEnd)) != 0 && errno == EINTR) {
    }
}

#endif

} // namespace vesk_host
