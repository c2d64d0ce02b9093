// String resources: LoadStringW, LoadStringA.
//
// Windows stores strings in blocks of 16 ids (block id >> 4), one block per
// language, and picks a block's language before looking at the string:
// an id missing from an existing block is an empty string, an id whose
// block is missing is "not found". The tables registered with
// AttachModuleResources are searched the same way.
#include "standin/internal.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

using win32_standin::ModuleResources;
using win32_standin::StringResource;

struct FoundString {
    const char16_t *text = u"";
    std::size_t length = 0;
};

bool SameBlock(const StringResource &s, UINT id) { return (s.id >> 4) == (id >> 4); }

// The language of the block holding `id`. The stand-in has no user
// interface language: a neutral block wins, else the first in the table.
bool BlockLanguage(const ModuleResources &resources, UINT id, WORD *language) {
    bool found = false;
    for (std::size_t i = 0; i < resources.stringCount; ++i) {
        const StringResource &s = resources.strings[i];
        if (!SameBlock(s, id))
            continue;
        if (!found || s.language == 0)
            *language = s.language;
        found = true;
    }
    return found;
}

// The string `id` of `instance`, or the error FindResource would report.
DWORD FindString(HINSTANCE instance, UINT id, FoundString *found) {
    using win32_standin::internal::MainModule;
    using win32_standin::internal::ResourcesOf;
    const ModuleResources *resources = ResourcesOf(instance ? instance : MainModule());
    if (!resources)
        return ERROR_RESOURCE_DATA_NOT_FOUND;
    if (resources->stringCount == 0)
        return ERROR_RESOURCE_TYPE_NOT_FOUND;
    WORD language = 0;
    if (!BlockLanguage(*resources, id, &language))
        return ERROR_RESOURCE_NAME_NOT_FOUND;
    for (std::size_t i = 0; i < resources->stringCount; ++i) {
        const StringResource &s = resources->strings[i];
        if (s.id == id && s.language == language) {
            found->text = s.text;
            found->length = std::char_traits<char16_t>::length(s.text);
        }
    }
    return ERROR_SUCCESS;
}

} // namespace

// LoadStringW (user32.@)
// bufferMax 0 hands out a read-only pointer to the string itself (through
// `buffer`, which then points to an LPCWSTR) and returns its length.
extern "C" int WINAPI LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int bufferMax) {
    if (!buffer || bufferMax < 0)
        return 0;
    FoundString found;
    const DWORD error = FindString(instance, id, &found);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        if (bufferMax > 0)
            buffer[0] = 0;
        return 0;
    }
    if (bufferMax == 0) {
        *reinterpret_cast<LPCWSTR *>(buffer) = found.text;
        return static_cast<int>(found.length);
    }
    const std::size_t copied = std::min(found.length, static_cast<std::size_t>(bufferMax - 1));
    std::memcpy(buffer, found.text, copied * sizeof(WCHAR));
    buffer[copied] = 0;
    return static_cast<int>(copied);
}

// LoadStringA (user32.@)
// Converts to the ANSI code page, which is UTF-8 here; truncation never
// cuts a character in two. bufferMax 0 answers -1, as Windows does.
extern "C" int WINAPI LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int bufferMax) {
    if (bufferMax == 0)
        return -1;
    if (!buffer || bufferMax < 0)
        return 0;
    FoundString found;
    const DWORD error = FindString(instance, id, &found);
    if (error != ERROR_SUCCESS)
        SetLastError(error);
    const std::string ansi = win32_standin::internal::Utf16ToAnsi(found.text, found.length);
    const std::size_t copied =
        win32_standin::internal::AnsiPrefixFitting(ansi, static_cast<std::size_t>(bufferMax - 1));
    std::memcpy(buffer, ansi.data(), copied);
    buffer[copied] = 0;
    return static_cast<int>(copied);
}
