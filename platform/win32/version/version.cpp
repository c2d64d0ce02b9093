// Version information: GetFileVersionInfoSizeA, GetFileVersionInfoA,
// VerQueryValueA.
//
// The block is built from the VersionResource the module registered, in
// the binary VS_VERSIONINFO layout a resource compiler writes: nodes of
// {wLength, wValueLength, wType, UTF-16 key, DWORD padding, value,
// padding, children}. As on Windows the caller's buffer is twice the block
// plus 4 bytes: the block, the "FE2X" mark, then room where VerQueryValueA
// puts the narrow copies of strings.
#include "standin/internal.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using win32_standin::VersionResource;

constexpr WORD kBinary = 0;
constexpr WORD kText = 1;
constexpr DWORD kStructureVersion = 0x00010000;
constexpr char kConversionMark[4] = {'F', 'E', '2', 'X'};

// Writes the nodes of a version block depth first.
class BlockWriter {
public:
    // Starts a node; its value and children follow. Returns its offset.
    std::size_t Begin(const char *key, WORD valueLength, WORD type) {
        Align();
        const std::size_t start = bytes_.size();
        Put(WORD{0}); // wLength, filled in by End
        Put(valueLength);
        Put(type);
        for (const char *c = key; *c; ++c)
            Put(static_cast<WORD>(static_cast<unsigned char>(*c)));
        Put(WORD{0});
        Align();
        return start;
    }
    void Value(const void *data, std::size_t size) {
        const auto *first = static_cast<const BYTE *>(data);
        bytes_.insert(bytes_.end(), first, first + size);
    }
    // False when the node outgrew a WORD length.
    bool End(std::size_t start) {
        const std::size_t length = bytes_.size() - start;
        if (length > 0xFFFF)
            return false;
        const WORD word = static_cast<WORD>(length);
        std::memcpy(&bytes_[start], &word, sizeof word);
        return true;
    }
    std::vector<BYTE> Take() { return std::move(bytes_); }

private:
    template <typename T> void Put(T value) { Value(&value, sizeof value); }
    void Align() { bytes_.resize((bytes_.size() + 3) & ~std::size_t{3}); }
    std::vector<BYTE> bytes_;
};

DWORD HighLow(const WORD (&version)[4], int first) {
    return static_cast<DWORD>(version[first]) << 16 | version[first + 1];
}

VS_FIXEDFILEINFO FixedInfo(const VersionResource &v) {
    return VS_FIXEDFILEINFO{static_cast<DWORD>(VS_FFI_SIGNATURE),
                            kStructureVersion,
                            HighLow(v.fileVersion, 0),
                            HighLow(v.fileVersion, 2),
                            HighLow(v.productVersion, 0),
                            HighLow(v.productVersion, 2),
                            v.fileFlagsMask,
                            v.fileFlags,
                            v.fileOS,
                            v.fileType,
                            v.fileSubtype,
                            0,
                            0};
}

bool WriteStrings(BlockWriter &w, const VersionResource &v) {
    const std::size_t info = w.Begin("StringFileInfo", 0, kText);
    char tableKey[9];
    std::snprintf(tableKey, sizeof tableKey, "%04x%04x", v.language, v.codePage);
    const std::size_t table = w.Begin(tableKey, 0, kText);
    for (std::size_t i = 0; i < v.stringCount; ++i) {
        const std::size_t characters = std::char_traits<char16_t>::length(v.strings[i].value) + 1;
        if (characters > 0xFFFF)
            return false;
        const std::size_t entry = w.Begin(v.strings[i].key, static_cast<WORD>(characters), kText);
        w.Value(v.strings[i].value, characters * sizeof(char16_t));
        if (!w.End(entry))
            return false;
    }
    return w.End(table) && w.End(info);
}

bool WriteTranslation(BlockWriter &w, const VersionResource &v) {
    const std::size_t info = w.Begin("VarFileInfo", 0, kText);
    const DWORD translation = static_cast<DWORD>(v.codePage) << 16 | v.language;
    const std::size_t var = w.Begin("Translation", sizeof translation, kBinary);
    w.Value(&translation, sizeof translation);
    return w.End(var) && w.End(info);
}

// The version block of the module whose file `path` names, or the error.
DWORD BuildBlock(const char *path, std::vector<BYTE> *block) {
    using namespace win32_standin::internal;
    const HMODULE module = path ? RegisteredModuleOfFile(path) : nullptr;
    const win32_standin::ModuleResources *resources = module ? ResourcesOf(module) : nullptr;
    if (!resources) {
        if (!path || GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES)
            return path ? GetLastError() : ERROR_FILE_NOT_FOUND;
        return ERROR_RESOURCE_DATA_NOT_FOUND;
    }
    if (!resources->version)
        return ERROR_RESOURCE_TYPE_NOT_FOUND;
    BlockWriter w;
    const VS_FIXEDFILEINFO fixed = FixedInfo(*resources->version);
    const std::size_t root = w.Begin("VS_VERSION_INFO", sizeof fixed, kBinary);
    w.Value(&fixed, sizeof fixed);
    if (!WriteStrings(w, *resources->version) || !WriteTranslation(w, *resources->version) || !w.End(root))
        return ERROR_RESOURCE_DATA_NOT_FOUND;
    *block = w.Take();
    return ERROR_SUCCESS;
}

// ---- Reading a block ------------------------------------------------------

struct Node {
    const BYTE *start;
    WORD length;
    WORD valueLength;
    WORD type;
    const char16_t *key;
    const BYTE *value;    // after the key's padding
    const BYTE *children; // after the value's padding
};

const BYTE *AlignedFrom(const BYTE *base, const BYTE *p) {
    return base + ((static_cast<std::size_t>(p - base) + 3) & ~std::size_t{3});
}

Node ReadNode(const BYTE *base, const BYTE *start) {
    Node node{start, 0, 0, 0, nullptr, nullptr, nullptr};
    std::memcpy(&node.length, start, sizeof(WORD));
    std::memcpy(&node.valueLength, start + 2, sizeof(WORD));
    std::memcpy(&node.type, start + 4, sizeof(WORD));
    node.key = reinterpret_cast<const char16_t *>(start + 6);
    const std::size_t keyBytes = (std::char_traits<char16_t>::length(node.key) + 1) * sizeof(char16_t);
    node.value = AlignedFrom(base, start + 6 + keyBytes);
    const std::size_t valueBytes = node.type == kText ? node.valueLength * sizeof(char16_t) : node.valueLength;
    node.children = AlignedFrom(base, node.value + valueBytes);
    return node;
}

// Keys compare without regard to case, as VerQueryValue does.
bool KeyIs(const char16_t *key, const std::string &name) {
    std::size_t i = 0;
    for (; key[i] && i < name.size(); ++i) {
        const auto a = static_cast<char>(key[i] < 0x80 ? std::tolower(static_cast<int>(key[i])) : 0);
        if (a != std::tolower(static_cast<unsigned char>(name[i])))
            return false;
    }
    return !key[i] && i == name.size();
}

bool FindChild(const BYTE *base, const Node &parent, const std::string &name, Node *child) {
    const BYTE *end = parent.start + parent.length;
    for (const BYTE *p = parent.children; p + 6 <= end;) {
        const Node node = ReadNode(base, p);
        if (node.length == 0)
            return false;
        if (KeyIs(node.key, name)) {
            *child = node;
            return true;
        }
        p = AlignedFrom(base, p + node.length);
    }
    return false;
}

std::vector<std::string> PathParts(const char *subBlock) {
    std::vector<std::string> parts;
    std::string part;
    for (const char *c = subBlock;; ++c) {
        if (*c && *c != '\\') {
            part += *c;
            continue;
        }
        if (!part.empty())
            parts.push_back(part);
        part.clear();
        if (!*c)
            return parts;
    }
}

// A text value copied narrow into the room after the block, at the same
// offset as the wide value; false when it does not fit there.
bool NarrowCopy(const BYTE *block, const Node &root, const Node &node, char **text, UINT *length) {
    const auto *wide = reinterpret_cast<const char16_t *>(node.value);
    const std::size_t characters = node.valueLength ? node.valueLength - (wide[node.valueLength - 1] == 0) : 0;
    const std::string narrow = win32_standin::internal::Utf16ToAnsi(wide, characters);
    const std::size_t offset = static_cast<std::size_t>(node.value - block);
    if (narrow.size() + 1 > root.length - offset)
        return false;
    char *room =
        const_cast<char *>(reinterpret_cast<const char *>(block)) + root.length + sizeof kConversionMark + offset;
    std::memcpy(room, narrow.c_str(), narrow.size() + 1);
    *text = room;
    *length = static_cast<UINT>(narrow.size() + 1);
    return true;
}

} // namespace

// GetFileVersionInfoSizeA (version.@)
extern "C" DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR fileName, LPDWORD handle) {
    if (handle)
        *handle = 0;
    std::vector<BYTE> block;
    const DWORD error = BuildBlock(fileName, &block);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return 0;
    }
    return static_cast<DWORD>(block.size() * 2 + sizeof kConversionMark);
}

// GetFileVersionInfoA (version.@)
// Copies as much of the block as `length` allows, then the "FE2X" mark
// when there is room for it.
extern "C" BOOL WINAPI GetFileVersionInfoA(LPCSTR fileName, DWORD, DWORD length, LPVOID data) {
    std::vector<BYTE> block;
    const DWORD error = BuildBlock(fileName, &block);
    if (error != ERROR_SUCCESS || !data) {
        SetLastError(error != ERROR_SUCCESS ? error : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::memcpy(data, block.data(), std::min<std::size_t>(length, block.size()));
    if (length >= block.size() + sizeof kConversionMark)
        std::memcpy(static_cast<BYTE *>(data) + block.size(), kConversionMark, sizeof kConversionMark);
    return TRUE;
}

// VerQueryValueA (version.@)
// "\\" gives the VS_FIXEDFILEINFO, "\\VarFileInfo\\Translation" the
// language and code page pairs, "\\StringFileInfo\\<table>\\<name>" a
// string in the ANSI code page (UTF-8 here) with its length counting the
// terminator. An inner block answers TRUE with length 0.
extern "C" BOOL WINAPI VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID *buffer, UINT *length) {
    if (!block || !subBlock || !buffer) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto *base = static_cast<const BYTE *>(block);
    const Node root = ReadNode(base, base);
    Node node = root;
    for (const std::string &part : PathParts(subBlock)) {
        if (!FindChild(base, node, part, &node)) {
            if (length)
                *length = 0;
            SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
            return FALSE;
        }
    }
    UINT size = node.valueLength;
    char *text = nullptr;
    if (node.type == kText && node.valueLength && !NarrowCopy(base, root, node, &text, &size)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    *buffer = text ? static_cast<LPVOID>(text) : const_cast<BYTE *>(node.value);
    if (length)
        *length = size;
    return TRUE;
}
