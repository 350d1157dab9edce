// What every benchmark shares: the allocation count, the least host link, the floor line and
// the pairing of each measurement with its floor.
//
// Every measurement "x" is registered with its floor "x/floor": the least work that gives the
// same result, measured in the same run. scripts/run-benchmarks.sh pairs them by name.
#pragma once

#include <benchmark/benchmark.h>
#include <type_traits>

#include <charconv>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "vesk_client_callback.h"

namespace bench {

// Calls of the global operator new (every form) so far, in this program and in every library
// it has loaded.
long long allocationCount() noexcept;

// A value the optimizer cannot see through: measured and floor code read their operands
// through this, so neither folds the line at compile time.
//
// Not benchmark::DoNotOptimize: GCC 12 miscompiles its two-alternative "+m,r" operand on a
// local that is otherwise a constant, folding the constant into the call and reading the
// "opaque" copy from a stack slot that was never written. One alternative is sound: a scalar
// passes through a register, anything else through memory.
template <class T> T opaque(T value) {
#if defined(__GNUC__) || defined(__clang__)
    if constexpr (std::is_scalar<T>::value) {
        asm volatile("" : "+r"(value));
    } else {
        asm volatile("" : "+m"(value));
    }
#else
    benchmark::DoNotOptimize(value);
#endif
    return value;
}

// The least a host link can do: count the lines, answer every one with one fixed reply (null
// unless a benchmark sets it), and take releases back without looking at them. The reply is
// the link's own text, so a release has nothing to free. Not final, and reached through
// opaque pointers, so that no call of it is resolved at compile time.
class minimal_link : public vesk_client_callback {
public:
    char* callback(char* argument, int kind) override {
        if (kind == VESK_LINK_SEND) {
            ++m_lines;
            if (m_recording) {
                m_recorded.append(argument).append("\n");
            }
            return m_reply;
        }
        benchmark::DoNotOptimize(argument);
        return nullptr;
    }

    // `reply` must outlive the link's use; null answers null.
    void answer(const char* reply) { m_reply = const_cast<char*>(reply); }
    long long lines() const { return m_lines; }

    // The lines `op` sends, each followed by a line end: how a benchmark checks that its floor
    // sends what the measured code sends.
    template <class Op> std::string linesOf(Op&& op) {
        m_recorded.clear();
        m_recording = true;
        op();
        m_recording = false;
        return m_recorded;
    }

private:
    long long m_lines = 0;
    char* m_reply = nullptr;
    bool m_recording = false;
    std::string m_recorded;
};

// Skips the benchmark, with both texts, when a floor does not send what the measured code
// sends; true when they agree.
inline bool sameLines(benchmark::State& state, const std::string& measured,
                      const std::string& floor) {
    if (measured != floor) {
        state.SkipWithError(
            ("the floor sends other lines:\n" + measured + "against\n" + floor).c_str());
        return false;
    }
    return true;
}

// A line composed the cheapest way there is: std::to_chars and memcpy into the caller's stack
// buffer. Each step returns a new cursor by value, so the position stays in a register and
// never takes a round trip through memory.
class floor_line {
public:
    explicit floor_line(char* at) : m_at(at) {}

    floor_line text(const char* piece, std::size_t length) const {
        std::memcpy(m_at, piece, length);
        return floor_line(m_at + length);
    }
    template <std::size_t N> floor_line text(const char (&piece)[N]) const {
        return text(piece, N - 1);
    }
    // The number in decimal; lines never come near the buffer's end.
    floor_line digits(int value) const {
        return floor_line(std::to_chars(m_at, m_at + 12, value).ptr);
    }
    // A blank and the number in decimal.
    floor_line number(int value) const { return text(" ").digits(value); }
    // A blank and the text between single quotes.
    floor_line quoted(const char* piece, std::size_t length) const {
        return text(" '").text(piece, length).text("'");
    }

    // Terminates the line that starts at `line`; returns its length.
    std::size_t end(const char* line) const {
        *m_at = '\0';
        return static_cast<std::size_t>(m_at - line);
    }
    // Terminates the line and hands it to the link through its interface, as a command
    // operation does.
    char* sendTo(vesk_client_callback& link, char* line) const {
        end(line);
        return opaque<vesk_client_callback*>(&link)->callback(line, VESK_LINK_SEND);
    }

private:
    char* m_at;
};

// Runs `op` once per iteration and reports the allocations per operation as "allocs".
template <class Op> void measure(benchmark::State& state, Op&& op) {
    long long before = allocationCount();
    for (auto _ : state) {
        op();
    }
    state.counters["allocs"] = benchmark::Counter(static_cast<double>(allocationCount() - before),
                                                  benchmark::Counter::kAvgIterations);
}

// Registers `name` and `name/floor`; each is a function of benchmark::State& that sets up and
// then calls measure().
// VESK_BENCH_ITERATIONS fixes the iterations of every run, for counting instructions under
// callgrind, where timing means nothing.
template <class Measured, class Floor>
void addPair(const std::string& name, Measured measured, Floor floor) {
    benchmark::internal::Benchmark* runs[] = {
        benchmark::RegisterBenchmark(name.c_str(), std::move(measured)),
        benchmark::RegisterBenchmark((name + "/floor").c_str(), std::move(floor))};
    if (const char* iterations = std::getenv("VESK_BENCH_ITERATIONS")) {
        for (benchmark::internal::Benchmark* run : runs) {
            run->Iterations(std::atoll(iterations));
        }
    }
}

// Registration of each group; main() calls them all.
void addCommandBenchmarks();
void addDecoderBenchmarks();
void addEventBenchmarks();

} // namespace bench
