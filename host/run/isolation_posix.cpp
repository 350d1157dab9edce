// POSIX: the run is a child process. It keeps its call record in memory shared with the
// supervisor and writes its transcript and, when it crashes, its backtrace to files the
// supervisor reads once it is gone.
#include "isolation.h"

#include "kept_text.h"
#include "transcript.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <new>

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/prctl.h>
#endif
#if __has_include(<execinfo.h>)
#include <execinfo.h>
#define VESK_HOST_BACKTRACE 1
#endif

namespace vesk_host {

namespace {

// The parent asks a hung child where it is with this signal before it kills it.
const int whereAreYou = SIGUSR2;
const int crashSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGSYS, whereAreYou};

int backtraceFd = -1;
volatile sig_atomic_t runningChild = 0;
// The first signal that asked vesk-host to end while a run ran; 0 when none came.
volatile sig_atomic_t stopReceived = 0;

// The signals that ask vesk-host to end: passed on, they ask the run to stop after its step; a
// second one kills it.
const int stopSignals[] = {SIGTERM, SIGINT, SIGHUP};

extern "C" void passStopOn(int signal) {
    bool again = stopReceived != 0;
    if (!again) {
        stopReceived = signal;
    }
    if (runningChild > 0) {
        kill(static_cast<pid_t>(runningChild), again ? SIGKILL : signal);
    }
}

bool isStopSignal(int signal) {
    for (int s : stopSignals) {
        if (s == signal) {
            return true;
        }
    }
    return false;
}
char alternateStack[64 * 1024];

// Runs on the crashed thread, perhaps on a broken heap: only calls that are safe there.
extern "C" void onCrash(int signal) {
#if defined(VESK_HOST_BACKTRACE)
    if (backtraceFd >= 0) {
        void* frames[64];
        int depth = backtrace(frames, 64);
        backtrace_symbols_fd(frames, depth, backtraceFd);
    }
#endif
    // The report follows what the run printed, held back from the call that broke included.
    printHeldTranscript();
    if (signal == whereAreYou) {
        signal = SIGKILL;
    }
    std::signal(signal, SIG_DFL);
    raise(signal);
}

void installCrashHandlers(int fd) {
    backtraceFd = fd;
#if defined(VESK_HOST_BACKTRACE)
    // The first call loads the unwinder, which must not happen inside the handler.
    void* warmUp[1];
    backtrace(warmUp, 1);
#endif
    // A stack of its own, so that a script that recursed until its stack ran out is reported.
    stack_t stack{};
    stack.ss_sp = alternateStack;
    stack.ss_size = sizeof alternateStack;
    sigaltstack(&stack, nullptr);
    struct sigaction action {};
    action.sa_handler = onCrash;
    action.sa_flags = SA_ONSTACK | SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int s : crashSignals) {
        sigaction(s, &action, nullptr);
    }
}

const char* signalName(int signal) {
    static const struct {
        int number;
        const char* name;
    } names[] = {{SIGSEGV, "SIGSEGV"}, {SIGBUS, "SIGBUS"},   {SIGFPE, "SIGFPE"},
                 {SIGILL, "SIGILL"},   {SIGABRT, "SIGABRT"}, {SIGTRAP, "SIGTRAP"},
                 {SIGSYS, "SIGSYS"},   {SIGKILL, "SIGKILL"}, {SIGTERM, "SIGTERM"},
                 {SIGINT, "SIGINT"},   {SIGPIPE, "SIGPIPE"}, {SIGQUIT, "SIGQUIT"},
                 {SIGHUP, "SIGHUP"},   {SIGUSR1, "SIGUSR1"}, {SIGUSR2, "SIGUSR2"}};
    for (const auto& n : names) {
        if (n.number == signal) {
            return n.name;
        }
    }
    return nullptr;
}

std::string describeSignal(int signal) {
    const char* name = signalName(signal);
    std::string text = name != nullptr ? name : "signal " + std::to_string(signal);
    const char* meaning = strsignal(signal);
    return meaning != nullptr ? text + " (" + meaning + ")" : text;
}

std::string readAll(std::FILE* file) {
    std::string text;
    if (file == nullptr) {
        return text;
    }
    int fd = fileno(file);
    char buffer[8192];
    off_t offset = 0;
    for (;;) {
        ssize_t got = pread(fd, buffer, sizeof buffer, offset);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return text;
        }
        text.append(buffer, static_cast<std::size_t>(got));
        offset += got;
    }
}

// The shared record and the two files the child leaves behind, released however the run ends.
class child_traces {
public:
    child_traces() {
        void* shared = mmap(nullptr, sizeof(call_record), PROT_READ | PROT_WRITE,
                            MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        if (shared != MAP_FAILED) {
            record = new (shared) call_record;
        }
        transcript = std::tmpfile();
        backtrace = std::tmpfile();
    }
    ~child_traces() {
        if (record != nullptr) {
            record->~call_record();
            munmap(record, sizeof(call_record));
        }
        if (transcript != nullptr) {
            std::fclose(transcript);
        }
        if (backtrace != nullptr) {
            std::fclose(backtrace);
        }
    }
    child_traces(const child_traces&) = delete;
    child_traces& operator=(const child_traces&) = delete;

    bool ready() const {
        return record != nullptr && transcript != nullptr && backtrace != nullptr;
    }

    call_record* record = nullptr;
    std::FILE* transcript = nullptr;
    std::FILE* backtrace = nullptr;
};

[[noreturn]] void runChild(const isolated_run& run, child_traces& traces, int alive) {
#if defined(__linux__)
    // A supervisor killed from outside takes its run with it.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
    fcntl(alive, F_SETFD, FD_CLOEXEC);
    for (int s : stopSignals) {
        std::signal(s, SIG_DFL);
    }
    // A reader that has gone (`| head -1`) ends what the run prints, not the run: its status
    // and report stand.
    std::signal(SIGPIPE, SIG_IGN);
    installCrashHandlers(fileno(traces.backtrace));
    // Bounded as the transcript is, however much the run writes.
    kept_file transcriptFile(fileno(traces.transcript), transcript::keptHead, transcript::keptTail);
    int status = 2;
    try {
        status = run(*traces.record,
                     [&transcriptFile](const std::string& text) { transcriptFile.append(text); });
        traces.record->status.store(status);
        traces.record->finished.store(true);
    } catch (const std::exception& e) {
        std::cerr << "vesk-host: " << e.what() << "\n";
    }
    std::cout.flush();
    std::cerr.flush();
    std::exit(status);
}

} // namespace

bool isolationAvailable() {
    return true;
}

bool runIsolated(const isolated_run& run, int timeoutSeconds, int& status, broken_run& broken,
                 const supervisor_start& started) {
    child_traces traces;
    int alive[2];
    if (!traces.ready() || pipe(alive) != 0) {
        // No way to watch a child: run here rather than not at all.
        call_record record;
        status = run(record, nullptr);
        return true;
    }
    std::cout.flush();
    std::cerr.flush();
    // Ctrl-C in an interactive run is meant for the run; its supervisor stays to report it.
    const std::size_t stopCount = sizeof stopSignals / sizeof stopSignals[0];
    struct sigaction previousStop[stopCount];
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    for (std::size_t i = 0; i < stopCount; ++i) {
        sigaction(stopSignals[i], &ignore, &previousStop[i]);
    }
    auto restoreSignals = [&] {
        runningChild = 0;
        for (std::size_t i = 0; i < stopCount; ++i) {
            sigaction(stopSignals[i], &previousStop[i], nullptr);
        }
    };
    pid_t child = fork();
    if (child == 0) {
        close(alive[0]);
        runChild(run, traces, alive[1]);
    }
    close(alive[1]);
    if (child < 0) {
        close(alive[0]);
        restoreSignals();
        call_record record;
        status = run(record, nullptr);
        return true;
    }
    // A run asked to end ends its own way (a serving run writes what it was asked to).
    runningChild = child;
    stopReceived = 0;
    struct sigaction passOn {};
    passOn.sa_handler = passStopOn;
    sigemptyset(&passOn.sa_mask);
    for (int s : stopSignals) {
        sigaction(s, &passOn, nullptr);
    }
    if (started && !started()) {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        close(alive[0]);
        restoreSignals();
        status = 2;
        return true;
    }

    using clock = std::chrono::steady_clock;
    call_record& record = *traces.record;
    unsigned seen = record.sequence.load(std::memory_order_acquire);
    clock::time_point since = clock::now();
    bool hung = false;
    int wait = 0;
    for (;;) {
        // The pipe closes when the child ends, which wakes the poll at once.
        pollfd end{alive[0], POLLIN, 0};
        poll(&end, 1, alive[0] >= 0 ? 100 : 2);
        pid_t done = waitpid(child, &wait, WNOHANG);
        if (done == child) {
            break;
        }
        if ((end.revents & (POLLHUP | POLLIN)) != 0) {
            // The child ended and is about to be reaped, or a grandchild holds the pipe: from
            // here on, the clock alone paces the wait.
            char sink[64];
            if (read(alive[0], sink, sizeof sink) <= 0) {
                close(alive[0]);
                alive[0] = -1;
            }
        }
        unsigned now = record.sequence.load(std::memory_order_acquire);
        if (now != seen || !record.inCall.load(std::memory_order_relaxed)) {
            seen = now;
            since = clock::now();
            continue;
        }
        if (clock::now() - since >= std::chrono::seconds(timeoutSeconds)) {
            hung = true;
            kill(child, whereAreYou);
            // A second for the backtrace; a child that blocks the signal is killed outright.
            for (int i = 0; i < 10 && waitpid(child, &wait, WNOHANG) != child; ++i) {
                usleep(100 * 1000);
            }
            kill(child, SIGKILL);
            waitpid(child, &wait, 0);
            break;
        }
    }
    if (alive[0] >= 0) {
        close(alive[0]);
    }
    restoreSignals();

    if (!hung && WIFEXITED(wait) && record.finished.load()) {
        // The run said how it ended; what the process did after that (a script library's
        // destructor that calls _exit at unload) does not turn a failed run into a passed one.
        status = record.status.load();
        if (WEXITSTATUS(wait) != status) {
            std::cerr << "vesk-host: after the run, a library ended the process with exit status "
                      << WEXITSTATUS(wait) << " as it was unloaded; the run's status " << status
                      << " stands\n";
        }
        return true;
    }
    broken.takeFrom(record);
    broken.backtrace = readAll(traces.backtrace);
    broken.transcript = readAll(traces.transcript);
    if (hung) {
        broken.hung(timeoutSeconds);
    } else if (stopReceived != 0) {
        // Not a crash: vesk-host was asked to end, and the run ended with it.
        broken.stoppedBy = stopReceived;
        broken.what = std::string("was stopped: vesk-host received ") + signalName(stopReceived);
    } else if (WIFSIGNALED(wait) && isStopSignal(WTERMSIG(wait))) {
        broken.stoppedBy = WTERMSIG(wait);
        broken.what = "was stopped from outside vesk-host: " + describeSignal(WTERMSIG(wait));
    } else if (WIFSIGNALED(wait)) {
        broken.what = "crashed" + broken.during() + ": " + describeSignal(WTERMSIG(wait));
    } else {
        broken.what = "ended the run early" + broken.during() + " with exit status " +
                      std::to_string(WIFEXITED(wait) ? WEXITSTATUS(wait) : -1) +
                      " (the script called exit, or a sanitizer stopped it)";
    }
    return false;
}

void endBrokenRun(int status) {
    // The broken run was a child process: this one is sound and ends as usual.
    std::exit(status);
}

} // namespace vesk_host
