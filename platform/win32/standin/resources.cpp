// The loader hooks for module resources: what a PE image's resource
// section is on Windows, registered here by each library when it loads.
#include "standin/internal.h"

#include <climits>
#include <cstdlib>
#include <mutex>
#include <unordered_map>

namespace {

std::mutex registryMutex;
std::unordered_map<HMODULE, const win32_standin::ModuleResources *> registry;

std::string RealPath(const char *path) {
    char resolved[PATH_MAX];
    return realpath(path, resolved) ? resolved : "";
}

} // namespace

// AttachModuleResources (stand-in)
void win32_standin::AttachModuleResources(HMODULE module, const ModuleResources *resources) {
    std::lock_guard<std::mutex> hold(registryMutex);
    registry[module] = resources;
}

// DetachModuleResources (stand-in)
void win32_standin::DetachModuleResources(HMODULE module) {
    std::lock_guard<std::mutex> hold(registryMutex);
    registry.erase(module);
}

namespace win32_standin::internal {

const ModuleResources *ResourcesOf(HMODULE module) {
    std::lock_guard<std::mutex> hold(registryMutex);
    auto found = registry.find(module);
    return found == registry.end() ? nullptr : found->second;
}

HMODULE RegisteredModuleOfFile(const char *path) {
    const std::string wanted = RealPath(path);
    if (wanted.empty())
        return nullptr;
    std::lock_guard<std::mutex> hold(registryMutex);
    for (const auto &entry : registry)
        if (RealPath(ModuleFileName(entry.first).c_str()) == wanted)
            return entry.first;
    return nullptr;
}

namespace {

void AppendUtf8(std::string &out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
        return;
    }
    const int tail = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    static const unsigned char kLead[] = {0, 0xC0, 0xE0, 0xF0};
    out += static_cast<char>(kLead[tail] | (c >> (6 * tail)));
    for (int shift = 6 * (tail - 1); shift >= 0; shift -= 6)
        out += static_cast<char>(0x80 | ((c >> shift) & 0x3F));
}

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

} // namespace

std::string Utf16ToAnsi(const char16_t *text, std::size_t length) {
    std::string out;
    for (std::size_t i = 0; i < length; ++i) {
        char32_t c = text[i];
        if (IsHighSurrogate(c) && i + 1 < length && IsLowSurrogate(text[i + 1]))
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        else if (IsHighSurrogate(c) || IsLowSurrogate(c))
            c = 0xFFFD;
        AppendUtf8(out, c);
    }
    return out;
}

std::size_t AnsiPrefixFitting(const std::string &text, std::size_t room) {
    if (text.size() <= room)
        return text.size();
    std::size_t end = room;
    // Back off over continuation bytes to the start of the cut character.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return end;
}

} // namespace win32_standin::internal
