#include "isolation.h"

#include "kept_text.h"
#include "transcript.h"

#if defined(_WIN32)

// Windows has no fork, and a child process would have to rebuild the run from the command
// line. The run goes to a thread of its own instead, watched by the thread that started it: a
// structured exception the script does not handle (access violation, stack overflow), an
// abort or an exit stops that thread in its tracks, and the watcher reports from a sound
// stack. The process then ends at once (endBrokenRun): nothing of the broken run is unwound.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <string>

namespace vesk_host {

namespace {

const DWORD runStack = 8 * 1024 * 1024;
// Room for the exception filter once the stack has overflowed.
const ULONG overflowReserve = 64 * 1024;
const std::size_t framesKept = 48;
const std::size_t keptHead = transcript::keptHead;
const std::size_t keptTail = transcript::keptTail;

struct watched_run {
    const isolated_run* run = nullptr;
    call_record record;
    int status = 2;
    HANDLE broken = nullptr; // set when the run stopped where it broke
    std::atomic<DWORD> exception{0};
    std::atomic<int> signal{0};
    std::atomic<bool> exited{false};
    void* frames[framesKept] = {};
    unsigned short frameCount = 0;
    std::timed_mutex transcriptLock;
    kept_text transcript{keptHead, keptTail};
};

std::atomic<watched_run*> current{nullptr};

// On the broken thread: note what happened, wake the watcher, and never return.
[[noreturn]] void stopHere(watched_run& w) {
    SetEvent(w.broken);
    for (;;) {
        Sleep(INFINITE);
    }
}

LONG WINAPI onException(EXCEPTION_POINTERS* e) {
    watched_run* w = current.load();
    if (w == nullptr) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    DWORD code = e->ExceptionRecord->ExceptionCode;
    void* faulted = e->ExceptionRecord->ExceptionAddress;
    w->frames[0] = faulted;
    w->frameCount = 1;
    // An overflowed stack has no room for the walk.
    if (code != EXCEPTION_STACK_OVERFLOW) {
        // The walk starts in this filter and the system's dispatch; the script's frames
        // begin where the fault was.
        void* walked[framesKept];
        USHORT depth = CaptureStackBackTrace(0, framesKept, walked, nullptr);
        USHORT from = 0;
        while (from < depth && walked[from] != faulted) {
            ++from;
        }
        if (from < depth) {
            w->frameCount = 0;
            for (USHORT i = from; i < depth; ++i) {
                w->frames[w->frameCount++] = walked[i];
            }
        }
    }
    w->exception.store(code);
    stopHere(*w);
}

extern "C" void onAbort(int signal) {
    watched_run* w = current.load();
    if (w != nullptr) {
        w->signal.store(signal);
        stopHere(*w);
    }
}

extern "C" void onExit() {
    watched_run* w = current.load();
    if (w != nullptr) {
        w->exited.store(true);
        stopHere(*w);
    }
}

DWORD WINAPI runThread(void* context) {
    auto& w = *static_cast<watched_run*>(context);
    ULONG reserve = overflowReserve;
    SetThreadStackGuarantee(&reserve);
    try {
        w.status = (*w.run)(w.record, [&w](const std::string& text) {
            std::lock_guard<std::timed_mutex> hold(w.transcriptLock);
            w.transcript.append(text);
        });
        w.record.finished.store(true);
    } catch (const std::exception& e) {
        std::cerr << "vesk-host: " << e.what() << "\n";
    }
    return 0;
}

std::string exceptionName(DWORD code) {
    static const struct {
        DWORD code;
        const char* name;
        const char* meaning;
    } names[] = {
        {EXCEPTION_ACCESS_VIOLATION, "EXCEPTION_ACCESS_VIOLATION", "access violation"},
        {EXCEPTION_STACK_OVERFLOW, "EXCEPTION_STACK_OVERFLOW", "stack overflow"},
        {EXCEPTION_INT_DIVIDE_BY_ZERO, "EXCEPTION_INT_DIVIDE_BY_ZERO", "division by zero"},
        {EXCEPTION_ILLEGAL_INSTRUCTION, "EXCEPTION_ILLEGAL_INSTRUCTION", "illegal instruction"},
        {EXCEPTION_PRIV_INSTRUCTION, "EXCEPTION_PRIV_INSTRUCTION", "privileged instruction"},
        {EXCEPTION_BREAKPOINT, "EXCEPTION_BREAKPOINT", "breakpoint"},
        {EXCEPTION_IN_PAGE_ERROR, "EXCEPTION_IN_PAGE_ERROR", "page not readable"},
        {EXCEPTION_DATATYPE_MISALIGNMENT, "EXCEPTION_DATATYPE_MISALIGNMENT", "misaligned data"},
    };
    char code16[16];
    std::snprintf(code16, sizeof code16, "0x%08lX", static_cast<unsigned long>(code));
    for (const auto& n : names) {
        if (n.code == code) {
            return std::string(n.name) + " (" + n.meaning + ", " + code16 + ")";
        }
    }
    return std::string("exception ") + code16;
}

// module+offset for each frame: the module's symbols turn it into a line.
std::string describeFrames(void* const* frames, unsigned count) {
    std::string text;
    for (unsigned i = 0; i < count; ++i) {
        HMODULE module = nullptr;
        char path[MAX_PATH] = "?";
        auto address = reinterpret_cast<std::uintptr_t>(frames[i]);
        if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                   GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                               static_cast<LPCSTR>(frames[i]), &module)) {
            GetModuleFileNameA(module, path, sizeof path);
            address -= reinterpret_cast<std::uintptr_t>(module);
        }
        std::string name = path;
        std::size_t slash = name.find_last_of("\\/");
        char offset[32];
        std::snprintf(offset, sizeof offset, "+0x%llx", static_cast<unsigned long long>(address));
        text += (slash == std::string::npos ? name : name.substr(slash + 1)) + offset + "\n";
    }
    return text;
}

} // namespace

bool isolationAvailable() {
    return true;
}

bool runIsolated(const isolated_run& run, int timeoutSeconds, int& status, broken_run& broken,
                 const supervisor_start& started) {
    // Nothing on Windows runs beside the run yet (the page is built on POSIX only).
    (void)started;
    static watched_run w; // outlives a broken run's thread, which is never unwound
    w.run = &run;
    w.broken = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    static bool exitWatched = std::atexit(onExit) == 0;
    (void)exitWatched;
    current.store(&w);
    LPTOP_LEVEL_EXCEPTION_FILTER previousFilter = SetUnhandledExceptionFilter(onException);
    void (*previousAbort)(int) = std::signal(SIGABRT, onAbort);
    HANDLE thread = w.broken == nullptr ? nullptr
                                        : CreateThread(nullptr, runStack, runThread, &w,
                                                       STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (thread == nullptr) {
        // No way to watch a thread: run here rather than not at all.
        current.store(nullptr);
        call_record record;
        status = run(record, nullptr);
        return true;
    }

    using clock = std::chrono::steady_clock;
    unsigned seen = w.record.sequence.load(std::memory_order_acquire);
    clock::time_point since = clock::now();
    bool hung = false;
    bool stopped = false;
    HANDLE ends[] = {thread, w.broken};
    for (;;) {
        DWORD woke = WaitForMultipleObjects(2, ends, FALSE, 100);
        if (woke == WAIT_OBJECT_0) {
            break;
        }
        if (woke == WAIT_OBJECT_0 + 1) {
            stopped = true;
            break;
        }
        unsigned now = w.record.sequence.load(std::memory_order_acquire);
        if (now != seen || !w.record.inCall.load(std::memory_order_relaxed)) {
            seen = now;
            since = clock::now();
            continue;
        }
        if (clock::now() - since >= std::chrono::seconds(timeoutSeconds)) {
            hung = true;
            SuspendThread(thread);
            break;
        }
    }
    if (!hung && !stopped) {
        current.store(nullptr);
        SetUnhandledExceptionFilter(previousFilter);
        std::signal(SIGABRT, previousAbort);
        CloseHandle(thread);
        CloseHandle(w.broken);
        status = w.status;
        return true;
    }
    broken.handler = w.record.inCall.load() ? w.record.handler : "";
    broken.location = w.record.location;
    broken.lastSent = w.record.lastSent();
    if (w.frameCount > 0) {
        broken.backtrace = describeFrames(w.frames, w.frameCount);
    }
    // The broken thread may have stopped inside an append; then the transcript stays out.
    if (w.transcriptLock.try_lock_for(std::chrono::milliseconds(200))) {
        broken.transcript = w.transcript.text();
        w.transcriptLock.unlock();
    }
    // What the run printed in its last call and still held back comes before the report.
    printHeldTranscript();
    if (hung) {
        broken.what = "hung: the call did not return within " + std::to_string(timeoutSeconds) +
                      " s (--timeout)";
    } else if (w.exception.load() != 0) {
        broken.what = "crashed: " + exceptionName(w.exception.load());
    } else if (w.signal.load() == SIGABRT) {
        broken.what = "crashed: SIGABRT (abort)";
    } else {
        broken.what = "ended the run early (the script called exit)";
    }
    return false;
}

void endBrokenRun(int status) {
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    // The broken thread still holds whatever it held: no destructor, no atexit, no unloading.
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
    for (;;) {
        Sleep(INFINITE);
    }
}

} // namespace vesk_host

#else

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
volatile sig_atomic_t terminationPassedOn = 0;

extern "C" void passTerminationOn(int) {
    terminationPassedOn = 1;
    if (runningChild > 0) {
        kill(static_cast<pid_t>(runningChild), SIGTERM);
    }
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
    std::signal(SIGINT, SIG_DFL);
    installCrashHandlers(fileno(traces.backtrace));
    // Bounded as the transcript is, however much the run writes.
    kept_file transcriptFile(fileno(traces.transcript), transcript::keptHead, transcript::keptTail);
    int status = 2;
    try {
        status = run(*traces.record,
                     [&transcriptFile](const std::string& text) { transcriptFile.append(text); });
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
    void (*previousInterrupt)(int) = std::signal(SIGINT, SIG_IGN);
    pid_t child = fork();
    if (child == 0) {
        close(alive[0]);
        runChild(run, traces, alive[1]);
    }
    close(alive[1]);
    if (child < 0) {
        close(alive[0]);
        std::signal(SIGINT, previousInterrupt);
        call_record record;
        status = run(record, nullptr);
        return true;
    }
    // A run asked to end ends its own way (a serving run writes what it was asked to).
    runningChild = child;
    terminationPassedOn = 0;
    struct sigaction passOn {};
    struct sigaction previousTerminate {};
    passOn.sa_handler = passTerminationOn;
    sigemptyset(&passOn.sa_mask);
    sigaction(SIGTERM, &passOn, &previousTerminate);
    auto restoreSignals = [&] {
        sigaction(SIGTERM, &previousTerminate, nullptr);
        runningChild = 0;
        std::signal(SIGINT, previousInterrupt);
    };
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
        status = WEXITSTATUS(wait);
        return true;
    }
    broken.handler = record.inCall.load() ? record.handler : "";
    broken.location = record.location;
    broken.lastSent = record.lastSent();
    broken.backtrace = readAll(traces.backtrace);
    broken.transcript = readAll(traces.transcript);
    if (hung) {
        broken.what = "hung: the call did not return within " + std::to_string(timeoutSeconds) +
                      " s (--timeout)";
    } else if (WIFSIGNALED(wait) && WTERMSIG(wait) == SIGTERM && terminationPassedOn != 0) {
        // Not a crash: vesk-host was asked to end, and the run ended with it.
        broken.what = "was stopped: vesk-host received SIGTERM";
    } else if (WIFSIGNALED(wait)) {
        broken.what = "crashed: " + describeSignal(WTERMSIG(wait));
    } else {
        broken.what = "ended the run early with exit status " +
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

#endif
