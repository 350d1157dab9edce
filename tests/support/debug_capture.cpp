#include "debug_capture.h"

#include "vesk_winapi.h"

#if defined(_WIN32)

// OutputDebugStringA raises a debug-print exception that a vectored handler sees before
// anything else; the handler takes the text and lets the program go on.
namespace {
debug_capture* active = nullptr;
PVOID handlerHandle = nullptr;

#ifndef DBG_PRINTEXCEPTION_WIDE_C
#define DBG_PRINTEXCEPTION_WIDE_C 0x4001000AL
#endif

LONG CALLBACK captureDebugPrint(PEXCEPTION_POINTERS info) {
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    if (active == nullptr) {
        return EXCEPTION_CONTINUE_SEARCH;
    }
    if (record->ExceptionCode == DBG_PRINTEXCEPTION_C && record->NumberParameters >= 2) {
        active->add(reinterpret_cast<const char*>(record->ExceptionInformation[1]));
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    if (record->ExceptionCode == static_cast<DWORD>(DBG_PRINTEXCEPTION_WIDE_C) &&
        record->NumberParameters >= 4) {
        active->add(reinterpret_cast<const char*>(record->ExceptionInformation[3]));
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    return EXCEPTION_CONTINUE_SEARCH;
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
