#include "debug_output.h"

#include "vesk_winapi.h"

namespace vesk_platform {

#if defined(_WIN32)

namespace {

// OutputDebugStringA raises a debug-print exception; a vectored handler sees it before
// anything else unless a debugger is attached, which takes it first. The ANSI form carries
// (length, text); the wide form, which OutputDebugStringW raises on newer systems, carries
// (length, wide text, length, text). Not every SDK names the codes.
const DWORD debugPrintAnsi = 0x40010006;
const DWORD debugPrintWide = 0x4001000A;

debug_sink capturedSink = nullptr;
void* capturedContext = nullptr;
PVOID captureHandler = nullptr;

LONG CALLBACK takeDebugPrint(PEXCEPTION_POINTERS info) {
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    const char* text = nullptr;
    if (record->ExceptionCode == debugPrintAnsi && record->NumberParameters >= 2) {
        text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
    } else if (record->ExceptionCode == debugPrintWide && record->NumberParameters >= 4) {
        text = reinterpret_cast<const char*>(record->ExceptionInformation[3]);
    } else {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    if (capturedSink != nullptr) {
        try {
            capturedSink(text, capturedContext);
        } catch (...) {
            // Nothing may unwind through the system's exception dispatch.
        }
    }
    return EXCEPTION_CONTINUE_EXECUTION;
}

} // namespace

bool captureDebugOutput(debug_sink sink, void* context) {
    if (sink == nullptr) {
        if (captureHandler != nullptr) {
            RemoveVectoredExceptionHandler(captureHandler);
            captureHandler = nullptr;
        }
        capturedSink = nullptr;
        capturedContext = nullptr;
        return true;
    }
    capturedSink = sink;
    capturedContext = context;
    if (captureHandler == nullptr) {
        captureHandler = AddVectoredExceptionHandler(1, takeDebugPrint);
    }
    return captureHandler != nullptr;
}

#else

bool captureDebugOutput(debug_sink sink, void* context) {
    vesk_set_debug_sink(sink, context);
    return true;
}

#endif

} // namespace vesk_platform
