// Loading the built library as a host does (this program does not link it).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <sstream>
#include <tuple>

#include <afx_standin.h>
#include <afxwin.h>

#include "support/win32_seams.h"

#ifndef _WIN32
#include <dlfcn.h>

static std::map<HMODULE, const win32_standin::ModuleResources *> attachedResources; // as each library loads

// In place of the stand-in's export: each library's table is noted, then handed on.
void win32_standin::AttachModuleResources(HMODULE module, const ModuleResources *resources) {
    using Attach = void (*)(HMODULE, const ModuleResources *);
    static const auto next = reinterpret_cast<Attach>(
        dlsym(RTLD_NEXT, "_ZN13win32_standin21AttachModuleResourcesEP11HINSTANCE__PKNS_15ModuleResourcesE"));
    attachedResources[module] = resources;
    next(module, resources);
}
#endif

namespace {

// What a load may change: the state's class and factory lists, each chain entry's module, resources, flag and lists.
using Entry = std::tuple<HMODULE, HMODULE, BOOL, CRuntimeClass *, void *>;
std::vector<Entry> framework_state() {
    AFX_MODULE_STATE *s = AfxGetModuleState();
    std::vector<Entry> entries{{nullptr, nullptr, FALSE, s->m_classList.m_pHead, s->m_factoryList.m_pHead}};
    for (CDynLinkLibrary *l = s->m_libraryList.GetHead(); l != nullptr; l = s->m_libraryList.GetNext(l))
        entries.emplace_back(l->m_hModule, l->m_hResource, l->m_bSystem, l->m_classList.m_pHead,
                             l->m_factoryList.m_pHead);
    return entries;
}

// A load adds the library's entry (its classes on lists of its own) and finds its names; an unload takes only it out,
// with its resources. (The program's "about" prints the version block.)
TEST(ModuleLoad, RegistersBesideTheHostWithItsResources) {
    SKIP_WITHOUT_WIN32_SEAMS("module-resource registration");
    const std::vector<Entry> before = framework_state();
    auto load = [](UINT id) {
        CString text;
        text.LoadString(id);
        return std::string(text);
    };
    const HMODULE library = LoadLibraryA(DIRIRA_LIBRARY_PATH);
    std::vector<Entry> state = before;
    state.insert(state.begin() + 1, Entry{library, library, FALSE, nullptr, nullptr});
    EXPECT_EQ(framework_state(), state);
    EXPECT_EQ(load(7001) + load(7002), "BMP (無圧縮)BMP (RLE圧縮)");
    FreeLibrary(library);
    EXPECT_EQ(framework_state(), before);
    WCHAR text[8];
    EXPECT_TRUE(load(7001).empty() && LoadStringW(library, 7001, text, 8) == 0);
}

// The version block's numbers and the string table's language, stated here apart from module/dirira.rc. The
// stand-in's LoadString takes any language, so the table the library hands it as it loads is looked at whole.
TEST(ModuleLoad, ResourcesAreJapaneseVersion2011) {
    const HMODULE library = LoadLibraryA(DIRIRA_LIBRARY_PATH);
    DWORD ignored = 0;
    std::vector<char> block(GetFileVersionInfoSizeA(DIRIRA_LIBRARY_PATH, &ignored));
    ASSERT_TRUE(GetFileVersionInfoA(DIRIRA_LIBRARY_PATH, 0, DWORD(block.size()), block.data()));
    VS_FIXEDFILEINFO *fixed = nullptr;
    WORD *translation = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void **>(&fixed), &length));
    EXPECT_EQ(std::make_tuple(fixed->dwProductVersionMS, fixed->dwProductVersionLS, fixed->dwFileVersionMS,
                              fixed->dwFileVersionLS, fixed->dwFileOS, fixed->dwFileType),
              std::make_tuple(0x20000u, 0x10001u, 0x20000u, 0x10001u, DWORD{VOS__WINDOWS32}, DWORD{VFT_DLL}));
    ASSERT_TRUE(
        VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void **>(&translation), &length));
    EXPECT_EQ(std::make_pair(translation[0], translation[1]), std::make_pair(WORD{1041}, WORD{1200}));
#ifndef _WIN32
    const win32_standin::ModuleResources *table = attachedResources[library];
    ASSERT_NE(table, nullptr);
    for (std::size_t i = 0; i < table->stringCount; ++i)
        EXPECT_EQ(table->strings[i].language, 1041) << table->strings[i].id;
#endif
    FreeLibrary(library);
}

#ifndef _WIN32
// The interface the application calls, stated on its own (not made from module/exports.txt): "Class:count" opens a
// class; "Name*k" is k overloads.
const char kInterface[] =
    R"(CBmp:13 CBmp ~CBmp Read ReadHeader Write ReadDIB ReadDibBitmapInfo DibInfo GetOrgWidthAndHeight WriteDIB
DibFromBitmap BitmapFromDib vtable CImage:79 CImage GetBitsPixel SetBitsPixel IsSigned SetSigned GetDimension
IsColor GetWidth SetWidth GetHeight SetHeight GetPlanes SetPlanes GetPixelCount GetBscale SetBscale GetBzero
SetBzero GetBlank SetBlank IsBlankUsed SetBlankUsed GetExtend SetExtend SetType GetLevelMin GetLevelMax
GetLevelRange GetOrgDefaultLevelMin GetOrgDefaultLevelMax HasOwnLevel SetOwnLevel IsSITypeRGB SetSITypeRGB
IsSaveableFormat SetSaveableFormat IsSaveableFile SetSaveableFile IsOverwriteAllowed SetOverwriteAllowed
GetOrgFileName SetOrgFileName GetOrgFileFormat SetOrgFileFormat GetOrgBitsPixel SetOrgBitsPixel GetOrgPlanes
SetOrgPlanes GetOrgWidth SetOrgWidth GetOrgHeight SetOrgHeight GetUndoDialogName SetUndoDialogName GetUndoMode
SetUndoMode GetContourMap SetContourMap GetFirstFitsHeight SetFirstFitsHeight GetFirstFits SetFirstFits UsedNorrinPC
SetNorrinPC UsedPC SetPC UsedCD SetCD GetLogScale SetLogScale GetImageSize GetBytesPixel GetImageAdr Unlock
UnlockAll GetNextAdr GetPrevAdr GetPixel*2 CStlImage:44 CStlImage GetImageAdr GetPixelGrayRaw*3 SetPixelGrayRaw*2
GetPixelGray*3 SetPixelGray*2 GetPixelGray256f*4 SetPixelGray256f*2 GetPixelGray256*4 To256*2 ToRaw*2 GetMinPixel
GetMaxPixel CalcBright*2 GetPixelBrightRaw*3 GetPixelBright256f*3 GetPixelBright*2 GetStdPt GetStdCtr SetStdCtr*3
SetProgressHandle CFitsExtension:20 GetXtension SetXtension GetBitPix SetBitPix GetNAxis SetNAxis GetNAxes SetNAxes
GetExtName SetExtName GetTFields SetTFields GetTType SetTType GetTBCol SetTBCol GetTForm SetTForm GetTUnit SetTUnit
CVmHandle:7 CVmHandle ~CVmHandle Set GetType GetSlotIndex GetBlockCount vtable CfPoint:3 CfPoint operator= vtable
CImgPixelInfo:3 CImgPixelInfo operator= vtable CVmBlock:3 CVmBlock ~CVmBlock vtable CVmMemory:3 CVmMemory ~CVmMemory
vtable CVmManager:1 GetBlockSize CVmImage:1 CVmImage)";

// ELF differs from the Windows DLL by construction: the tables of CfPoint and CImgPixelInfo are libzirime's, and each
// exported table brings its type information and its name. A constructor's or destructor's variants print alike.
TEST(ModuleLoad, ExportsAreTheApplicationsInterface) {
    std::vector<std::string> want, have;
    std::istringstream words(kInterface);
    std::string type;
    int left = 0;
    for (std::string w; words >> w;) {
        const std::size_t colon = w.find(':'), star = w.find('*');
        EXPECT_TRUE(colon == std::string::npos || left == 0) << type;
        if (colon != std::string::npos)
            type = w.substr(0, colon), left = std::stoi(w.substr(colon + 1));
        for (int k = star == std::string::npos ? 1 : std::stoi(w.substr(star + 1)); colon == std::string::npos && k > 0;
             --k, --left)
            want.push_back(type + "::" + w.substr(0, star));
    }
    EXPECT_EQ(left, 0) << type;
    for (std::string c : {"CfPoint", "CImgPixelInfo"})
        want.erase(std::find(want.begin(), want.end(), c + "::vtable"));
    for (std::string c : {"CBmp", "CVmBlock", "CVmHandle", "CVmMemory"})
        want.insert(want.end(), {c + "::typeinfo", c + "::typeinfo name"});
    std::set<std::string> names;
    FILE *nm = popen((std::string(DIRIRA_NM) + " -D --defined-only -C " + DIRIRA_LIBRARY_PATH).c_str(), "r");
    for (char line[512]; nm != nullptr && std::fgets(line, sizeof line, nm) != nullptr;)
        names.insert(std::strtok(std::strchr(std::strchr(line, ' ') + 1, ' ') + 1, "\n")); // past address and kind
    pclose(nm);
    for (const std::string &n : names) {
        const std::size_t table = n.find(" for "); // "vtable for C", "typeinfo name for C"
        have.push_back(table != std::string::npos ? n.substr(table + 5) + "::" + n.substr(0, table)
                                                  : n.substr(0, n.find('(')));
    }
    std::sort(want.begin(), want.end()), std::sort(have.begin(), have.end());
    EXPECT_EQ(have, want);
}
#endif

} // namespace
