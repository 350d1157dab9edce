#include "debug_capture.h"

#include "vesk_winapi.h"

#if defined(_WIN32)

// OutputDebugStringA raises a debug-print exception that a vectored handler sees before
// anything else (unless a debugger is attached, which takes it first); the handler takes the
// text and lets the program go on.
namespace {
debug_capture* active = nullptr;
PVOID handlerHandle = nullptr;

// The ANSI form carries (length, text); the wide form, which OutputDebugStringW raises on
// newer systems, carries (length, wide text, length, text). Not every SDK names the codes.
const DWORD debugPrintAnsi = 0x40010006;
const DWORD debugPrintWide = 0x4001000A;

LONG CALLBACK captureDebugPrint(PEXCEPTION_POINTERS info) {
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    const char* text = nullptr;
    if (record->ExceptionCode == debugPrintAnsi && record->NumberParameters >= 2) {
        text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
    } else if (record->ExceptionCode == debugPrintWide && record->NumberParameters >= 4) {
        text = reinterpret_cast<const char*>(record->ExceptionInformation[3]);
    } else {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    if (active != nullptr) {
        try {
            active->add(text);
        } catch (...) {
            // Nothing may unwind through the system's exception dispatch.
        }
    }
    return EXCEPTION_CONTINUE_EXECUTION;
}
} // namespace

debug_capture::debug_capture() {
    active = this;
    handlerHandle = AddVectoredExceptionHandler(1, captureDebugPrint);
}

debug_capture::~debug_capture() {
    RemoveVectoredExceptionHandler(handlerHandle);
    active = nullptr;
}

#else

namespace {
void captureSink(const char* text, void* context) {
    static_cast<debug_capture*>(context)->add(text);
}
} // namespace

debug_capture::debug_capture() {
    vesk_set_debug_sink(captureSink, this);
}

debug_capture::~debug_capture() {
    vesk_set_debug_sink(nullptr, nullptr);
}

#endif

std::string debug_capture::text() const {
    std::string all;
    for (const std::string& write : m_writes) {
        all += write;
    }
    return all;
}
