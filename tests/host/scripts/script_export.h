// The export every test script library has.
#pragma once

#if defined(_WIN32)
#define TEST_SCRIPT_EXPORT extern "C" __declspec(dllexport)
#else
#define TEST_SCRIPT_EXPORT extern "C" __attribute__((visibility("default")))
#endif
