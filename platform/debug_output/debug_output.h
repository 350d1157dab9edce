// debug_output: capturing what the process writes to the debugger with OutputDebugStringA, for
// the emulated host's transcript and for the tests. On Windows a vectored exception handler
// takes the texts; elsewhere the Windows stand-in's sink does.
#pragma once

namespace vesk_platform {

using debug_sink = void (*)(const char* text, void* context);

// Routes every debugger-output text of the process to `sink` (null: back to the default).
// Returns false where capturing is not available.
bool captureDebugOutput(debug_sink sink, void* context);

} // namespace vesk_platform
