// Text that a script can make grow without end (its debug output, the transcript of a run),
// kept within a bound: the first bytes and the last bytes, and how many were cut between
// them. Memory stays flat however much is written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vesk_host {

// The line that stands where bytes were cut.
std::string cutNote(std::uint64_t bytes);
// How many bytes the part [from, to) of a kept text stands for: its own, with each cut note
// wholly inside counted as the bytes it replaced. For cutting again what was cut before.
std::uint64_t bytesStoodFor(const std::string& kept, std::size_t from, std::size_t to);

class kept_text {
public:
    // Keeps the first `head` and at least the last `tail` bytes; holds at most head + 2 * tail.
    kept_text(std::size_t head, std::size_t tail) : m_headLimit(head), m_tailLimit(tail) {}

    void append(const std::string& text);
    void clear();
    bool empty() const { return m_written == 0; }
    // Every byte ever appended, kept or cut.
    std::uint64_t written() const { return m_written; }
    // Bytes held in memory.
    std::size_t held() const { return m_head.size() + m_tail.size(); }

    // The head, the cut note where bytes were cut, the tail. Nothing cut: the text as written.
    std::string text() const;
    // What was written from byte `from` on (`from` counts every byte written, cut or kept),
    // as kept: a part that was cut is a cut note. `from` moves on to the end.
    std::string since(std::uint64_t& from) const;

private:
    std::size_t m_headLimit;
    std::size_t m_tailLimit;
    std::string m_head;
    std::string m_tail; // the bytes from m_tailStart on
    std::uint64_t m_tailStart = 0;
    std::uint64_t m_written = 0;
};

#if !defined(_WIN32)
// The same bound for a file that a process keeps for its supervisor, who reads it after the
// process died: the head, then (once bytes were cut) the cut note and the tail. The file never
// holds more than head + 2 * tail bytes and a note. Writes at explicit offsets, so the file's
// own position is left alone.
class kept_file {
public:
    kept_file(int fd, std::size_t head, std::size_t tail)
        : m_fd(fd), m_headLimit(head), m_tailLimit(tail) {}

    void append(const std::string& text);

private:
    bool writeAt(std::uint64_t offset, const char* data, std::size_t size);

    int m_fd;
    std::size_t m_headLimit;
    std::size_t m_tailLimit;
    std::uint64_t m_written = 0;
    std::uint64_t m_tailAt = 0;  // where the tail begins in the file
    std::uint64_t m_fileEnd = 0; // the file's length
    bool m_headEndsLine = true;
    char m_lastByte = '\n';
};
#endif

} // namespace vesk_host
