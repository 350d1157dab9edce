#include "debug_capture.h"

#include "debug_output.h"

namespace {
void captureSink(const char* text, void* context) {
    static_cast<debug_capture*>(context)->add(text);
}
} // namespace

debug_capture::debug_capture() {
    vesk_platform::captureDebugOutput(captureSink, this);
}

debug_capture::~debug_capture() {
    vesk_platform::captureDebugOutput(nullptr, nullptr);
}

std::string debug_capture::text() const {
    std::string all;
    for (const std::string& write : m_writes) {
        all += write;
    }
    return all;
}
