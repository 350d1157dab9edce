// The event dispatcher: every host event enters the script here.
#include <cstdint>
#include <cstring>
#include <exception>
#include <new>

#include "vesk_script_helper.h"
#include "vesk_winapi.h"

namespace {

const char* handlerOf(int kind) noexcept {
    switch (kind) {
#define VESK_EVENT_KIND(name, value, handler, words)                                               \
    case value:                                                                                    \
        return handler[0] != '\0' ? handler : "callback";
#include "vesk_event_kinds.def"
    default:
        return "callback";
    }
}

// The event is dropped, but never silently: one line says which handler failed and why. Built
// on the stack, so that it works when memory has run out; a long what() is cut, the line end
// kept.
void reportFailure(int kind, const char* what) noexcept {
    const char* parts[] = {VESK_HANDLER_EXCEPTION_PREFIX, handlerOf(kind), ": ", what};
    char line[512];
    const std::size_t textRoom = sizeof line - 2;
    std::size_t used = 0;
    for (const char* part : parts) {
        std::size_t length = std::strlen(part);
        length = length < textRoom - used ? length : textRoom - used;
        std::memcpy(line + used, part, length);
        used += length;
    }
    line[used++] = '\n';
    line[used] = '\0';
    OutputDebugStringA(line);
}

void reportCurrentException(int kind) noexcept {
    try {
        throw;
    } catch (const std::exception& e) {
        reportFailure(kind, e.what() != nullptr ? e.what() : "");
    } catch (...) {
        reportFailure(kind, "unknown exception");
    }
}

// A fresh block for the host, freed when the host hands it back with VESK_EVENT_RELEASE; null when
// there is nothing to answer or no memory to answer with.
char* answerBlock(const vesk_string& answer) {
    if (answer.length() == 0) {
        return nullptr;
    }
    std::size_t size = static_cast<std::size_t>(answer.length()) + 1;
    char* block = new (std::nothrow) char[size];
    if (block != nullptr) {
        std::memcpy(block, answer.c_str(), size);
    }
    return block;
}

} // namespace

char* vesk_script_helper::callback(char* argument, int kind) {
    // Revertives arrive in storms of thousands, mostly for destinations the script does not
    // show: they take the shortest way to the handler.
    if (kind == VESK_EVENT_REVERTIVE) {
        return dispatchRevertive(argument);
    }
    return dispatchEvent(argument, kind);
}

char* vesk_script_helper::dispatchEvent(char* argument, int kind) noexcept {
    // Nothing may escape to the host: a failed event is dropped and answers nothing.
    try {
        switch (kind) {
        case VESK_EVENT_BUTTON: {
            buttonNotify notify(reinterpret_cast<const vesk_host_button*>(argument));
            dispatchButton(&notify);
            return nullptr;
        }
        case VESK_EVENT_PARENT: {
            decodeCaptionString decoded(argument);
            parentNotify notify(&decoded);
            return answerBlock(parentCallback(&notify));
        }
        case VESK_EVENT_TIMER:
            // The id travels in the pointer-sized argument itself.
            timerCallback(static_cast<int>(reinterpret_cast<std::intptr_t>(argument)));
            return nullptr;
        case VESK_EVENT_RELEASE:
            delete[] argument;
            return nullptr;
        case VESK_EVENT_SECONDARY_REVERTIVE: {
            revertiveNotify notify(reinterpret_cast<const vesk_host_revertive*>(argument));
            secondaryRevertiveCallback(&notify);
            return nullptr;
        }
        case VESK_EVENT_HOST: {
            hostNotify notify(argument);
            hostCallback(&notify);
            return nullptr;
        }
        default:
            return nullptr;
        }
    } catch (...) {
        reportCurrentException(kind);
        return nullptr;
    }
}

char* vesk_script_helper::dispatchRevertive(char* argument) noexcept {
    try {
        revertiveNotify notify(reinterpret_cast<const vesk_host_revertive*>(argument));
        revertiveCallback(&notify);
    } catch (...) {
        reportCurrentException(VESK_EVENT_REVERTIVE);
    }
    return nullptr;
}

void vesk_script_helper::dispatchButton(buttonNotify* notify) {
    if (alarmHandling && divertAlarmButton(notify)) {
        return;
    }
    buttonCallback(notify);
}
