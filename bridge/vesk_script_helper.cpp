// Life of a script object, and its diagnostics.
#include "vesk_script_helper.h"

#include "vesk_winapi.h"

// The script base's signature, carried in the static data of every component built on it.
// Nothing reads it at run time; tools that inspect a component's file do.
#if defined(_MSC_VER)
#if defined(_M_IX86)
#pragma comment(linker, "/include:_vesk_script_helper_signature")
#else
#pragma comment(linker, "/include:vesk_script_helper_signature")
#endif
#define VESK_KEEP
#else
#define VESK_KEEP __attribute__((used))
#endif

extern "C" VESK_KEEP const char vesk_script_helper_signature[] =
    "VESK_SIG,name=vesk_script_helper,type=LIB,version=1.0.0,date=2026-12-08,author=vesk";

vesk_script_helper::vesk_script_helper(vesk_client_callback* hostLink, const char* startupText)
    : vesk_client_callback(), link(nullptr), startup(), alarmHandling(false) {
    link = hostLink;
    startup = startupText;
    alarmHandling = false;
}

vesk_script_helper::~vesk_script_helper() {
    try {
        sendAS();
    } catch (...) {
        // A destructor has no one to report to; the host link failed its own call.
    }
}

void vesk_script_helper::sendAS() {
    char line[] = "AS";
    sendLine(line);
}

void vesk_script_helper::debug(const vesk_string& text) {
    OutputDebugStringA(text);
}

void vesk_script_helper::debug(const vesk_string& format, const vesk_string& a1,
                               const vesk_string& a2, const vesk_string& a3, const vesk_string& a4,
                               const vesk_string& a5, const vesk_string& a6, const vesk_string& a7,
                               const vesk_string& a8, const vesk_string& a9) {
    OutputDebugStringA(
        format.arg(a1).arg(a2).arg(a3).arg(a4).arg(a5).arg(a6).arg(a7).arg(a8).arg(a9));
}

void vesk_script_helper::hostCallback(hostNotify*) {}

void vesk_script_helper::secondaryRevertiveCallback(revertiveNotify*) {}
