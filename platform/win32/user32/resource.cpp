// String resources: LoadStringW, LoadStringA.
//
// Windows stores strings in blocks of 16 ids (block id >> 4): an id missing
// from an existing block is an empty string, an id whose block is missing
// is "not found". The tables registered with AttachModuleResources are
// searched the same way. Each holds one language, as every .rc file of the
// project does, so there is no language to choose (Windows would pick one
// by the user-interface language).
//
// No caller passes a bufferMax of 0 (Windows' read-only pointer into the
// resource): it is refused with ERROR_NOT_SUPPORTED.
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

// The string `id` of `instance`, or the error FindResource would report.
DWORD FindString(HINSTANCE instance, UINT id, FoundString *found) {
    using win32_standin::internal::MainModule;
    using win32_standin::internal::ResourcesOf;
    const ModuleResources *resources = ResourcesOf(instance ? instance : MainModule());
    if (!resources)
        return ERROR_RESOURCE_DATA_NOT_FOUND;
    if (resources->stringCount == 0)
        return ERROR_RESOURCE_TYPE_NOT_FOUND;
    const StringResource *end = resources->strings + resources->stringCount;
    if (std::none_of(resources->strings, end, [id](const StringResource &s) { return SameBlock(s, id); }))
        return ERROR_RESOURCE_NAME_NOT_FOUND;
    const StringResource *match =
        std::find_if(resources->strings, end, [id](const StringResource &s) { return s.id == id; });
    if (match != end) {
        found->text = match->text;
        found->length = std::char_traits<char16_t>::length(match->text);
    }
    return ERROR_SUCCESS;
}

// No buffer answers 0; a bufferMax of 0 is refused (see above).
int RefuseBuffer(int bufferMax) {
    if (bufferMax == 0)
        SetLastError(ERROR_NOT_SUPPORTED);
    return 0;
}

} // namespace

// LoadStringW (user32.@)
extern "C" int WINAPI LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int bufferMax) {
    if (!buffer || bufferMax <= 0)
        return RefuseBuffer(bufferMax);
    FoundString found;
    const DWORD error = FindString(instance, id, &found);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        buffer[0] = 0;
        return 0;
    }
    const std::size_t copied = std::min(found.length, static_cast<std::size_t>(bufferMax - 1));
    std::memcpy(buffer, found.text, copied * sizeof(WCHAR));
    buffer[copied] = 0;
    return static_cast<int>(copied);
}

// LoadStringA (user32.@)
// Converts to the ANSI code page, which is UTF-8 here; truncation never
// cuts a character in two.
extern "C" int WINAPI LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int bufferMax) {
    if (!buffer || bufferMax <= 0)
        return RefuseBuffer(bufferMax);
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
