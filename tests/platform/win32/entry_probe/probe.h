// The probe library's entry, which each platform's loader reaches its own way.
#pragma once

#include <windows.h>

#ifdef _WIN32
#define PROBE_EXPORT __declspec(dllexport)
#else
#define PROBE_EXPORT __attribute__((visibility("default")))
#endif

BOOL WINAPI ProbeEntry(HINSTANCE module, DWORD reason, LPVOID reserved);
