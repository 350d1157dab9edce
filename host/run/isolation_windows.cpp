// Windows has no fork, and a child process would have to rebuild the run from the command
// line. The run goes to a thread of its own instead, watched by the thread that started it: a
// structured exception the script does not handle (access violation, stack overflow), an
// abort or an exit stops that thread in its tracks, and the watcher reports from a sound
// stack. The process then ends at once (endBrokenRun): nothing of the broken run is unwound.
#include "isolation.h"

#include "kept_text.h"
#include "transcript.h"

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
    // A broken run's thread is never unwound and may still point at its record: the record
    // of a run that broke is left to it. Every run gets a record of its own.
    auto* w = new watched_run;
    w->run = &run;
    w->broken = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    static bool exitWatched = std::atexit(onExit) == 0;
    (void)exitWatched;
    current.store(w);
    LPTOP_LEVEL_EXCEPTION_FILTER previousFilter = SetUnhandledExceptionFilter(onException);
    void (*previousAbort)(int) = std::signal(SIGABRT, onAbort);
    auto stopWatching = [&] {
        current.store(nullptr);
        SetUnhandledExceptionFilter(previousFilter);
        std::signal(SIGABRT, previousAbort);
    };
    HANDLE thread = w->broken == nullptr ? nullptr
                                         : CreateThread(nullptr, runStack, runThread, w,
                                                        STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (thread == nullptr) {
        // No way to watch a thread: run here rather than not at all.
        stopWatching();
        if (w->broken != nullptr) {
            CloseHandle(w->broken);
        }
        delete w;
        call_record record;
        status = run(record, nullptr);
        return true;
    }

    using clock = std::chrono::steady_clock;
    unsigned seen = w->record.sequence.load(std::memory_order_acquire);
    clock::time_point since = clock::now();
    bool hung = false;
    bool stopped = false;
    HANDLE ends[] = {thread, w->broken};
    for (;;) {
        DWORD woke = WaitForMultipleObjects(2, ends, FALSE, 100);
        if (woke == WAIT_OBJECT_0) {
            break;
        }
        if (woke == WAIT_OBJECT_0 + 1) {
            stopped = true;
            break;
        }
        unsigned now = w->record.sequence.load(std::memory_order_acquire);
        if (now != seen || !w->record.inCall.load(std::memory_order_relaxed)) {
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
    // The broken thread is stopped for good: an exit or a fault after this one is not the
    // run's, and must not be taken for it.
    stopWatching();
    CloseHandle(thread);
    if (!hung && !stopped) {
        CloseHandle(w->broken);
        status = w->status;
        delete w;
        return true;
    }
    broken.takeFrom(w->record);
    if (w->frameCount > 0) {
        broken.backtrace = describeFrames(w->frames, w->frameCount);
    }
    // The broken thread may have stopped inside an append; then the transcript stays out.
    if (w->transcriptLock.try_lock_for(std::chrono::milliseconds(200))) {
        broken.transcript = w->transcript.text();
        w->transcriptLock.unlock();
    }
    // What the run printed in its last call and still held back comes before the report.
    printHeldTranscript();
    if (hung) {
        broken.hung(timeoutSeconds);
    } else if (w->exception.load() != 0) {
        broken.what = "crashed" + broken.during() + ": " + exceptionName(w->exception.load());
    } else if (w->signal.load() == SIGABRT) {
        broken.what = "crashed" + broken.during() + ": SIGABRT (abort)";
    } else {
        broken.what = "ended the run early" + broken.during() + " (the script called exit)";
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
