// fuzz_input: takes choices, numbers and texts off the front of a fuzzer's input.
//
// Texts end at a newline so that seeds stay readable and dictionary words land whole. Once the
// input runs out every read gives zero, false or empty text, so a target never needs to check.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

class fuzz_input {
public:
    fuzz_input(const std::uint8_t* data, std::size_t size) noexcept
        : m_data(data), m_size(data ? size : 0) {}

    bool empty() const noexcept { return m_used >= m_size; }

    std::uint8_t byte() noexcept { return empty() ? 0 : m_data[m_used++]; }
    bool flag() noexcept { return (byte() & 1) != 0; }
    // A choice in [0, n); n must be at least 1.
    std::size_t below(std::size_t n) noexcept { return byte() % n; }

    // Mostly the values that break things: limits, signs, small counts; otherwise 4 raw bytes.
    int number() noexcept {
        static const int edges[] = {0,       1,       -1,          2,          7,      12,
                                    31,      32,      33,          255,        999999, -999999,
                                    INT_MAX, INT_MIN, INT_MAX - 1, INT_MIN + 1};
        std::uint8_t pick = byte();
        if (pick < 0x80) {
            return edges[pick % (sizeof edges / sizeof edges[0])];
        }
        std::uint32_t raw = 0;
        for (int i = 0; i < 4; ++i) {
            raw = (raw << 8) | byte();
        }
        int value;
        std::memcpy(&value, &raw, sizeof value);
        return value;
    }

    // Bytes up to the next newline (dropped) or the end, at most `limit` of them. May hold NULs.
    std::string text(std::size_t limit = 4096) {
        std::string out;
        while (!empty() && out.size() < limit) {
            char c = static_cast<char>(m_data[m_used++]);
            if (c == '\n') {
                break;
            }
            out += c;
        }
        return out;
    }

    // Everything not read yet.
    std::string rest() {
        std::string out;
        if (!empty()) {
            out.assign(reinterpret_cast<const char*>(m_data + m_used), m_size - m_used);
            m_used = m_size;
        }
        return out;
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_used = 0;
};

// The fuzzed program broke a rule: say which, and stop the way a sanitizer does.
[[noreturn]] void fuzz_fail(const char* what, const std::string& detail = std::string());

#define FUZZ_CHECK(condition, detail)                                                              \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            fuzz_fail(#condition, (detail));                                                       \
        }                                                                                          \
    } while (false)
