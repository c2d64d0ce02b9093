// Version resources: reading a module's version block.
#pragma once

#include "windef.h"

#define VS_FFI_SIGNATURE 0xFEEF04BDL
#define VOS__WINDOWS32 0x00000004L
#define VOS_NT_WINDOWS32 0x00040004L
#define VFT_APP 0x00000001L
#define VFT_DLL 0x00000002L

typedef struct tagVS_FIXEDFILEINFO {
    DWORD dwSignature;
    DWORD dwStrucVersion;
    DWORD dwFileVersionMS;
    DWORD dwFileVersionLS;
    DWORD dwProductVersionMS;
    DWORD dwProductVersionLS;
    DWORD dwFileFlagsMask;
    DWORD dwFileFlags;
    DWORD dwFileOS;
    DWORD dwFileType;
    DWORD dwFileSubtype;
    DWORD dwFileDateMS;
    DWORD dwFileDateLS;
} VS_FIXEDFILEINFO;

static_assert(sizeof(VS_FIXEDFILEINFO) == 52, "VS_FIXEDFILEINFO layout");

extern "C" {

WIN32_STANDIN_API DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR fileName, LPDWORD handle);
WIN32_STANDIN_API BOOL WINAPI GetFileVersionInfoA(LPCSTR fileName, DWORD handle, DWORD length, LPVOID data);
WIN32_STANDIN_API BOOL WINAPI VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID *buffer, UINT *length);

} // extern "C"
