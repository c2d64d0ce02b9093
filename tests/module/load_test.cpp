// Loading the built library as a host does (this program does not link it).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <sstream>
#include <tuple>

#include <afx_standin.h>
#include <afxwin.h>

#include "support/win32_seams.h"

namespace {

// What a load may change: the state's class and factory lists, each chain entry's module, resources, flag and lists.
using Entry = std::tuple<HMODULE, HMODULE, BOOL, CRuntimeClass *, void *>;
std::vector<Entry> framework_state() {
    AFX_MODULE_STATE *s = AfxGetModuleState();
    std::vector<Entry> entries{{nullptr, nullptr, FALSE, s->m_classList.m_pHead, s->m_factoryList.m_pHead}};
    for (CDynLinkLibrary *l = s->m_libraryList.GetHead(); l != nullptr; l = s->m_libraryList.GetNext(l))
        entries.emplace_back(l->m_hModule, l->m_hResource, l->m_bSystem, l->m_classList.m_pHead, l->m_factoryList.m_pHead);
    return entries;
}

// The host has a class, a factory, another module in the chain and a table of its own: a load adds one entry ahead
// of the others and finds the names, an unload takes only it out, a failed load links nothing. The whole version block.
TEST(ModuleLoad, RegistersBesideTheHostWithItsResources) {
    SKIP_WITHOUT_WIN32_SEAMS("module-resource registration");
    static const char anchors[2] = {};  // two modules' addresses
    const auto host = HMODULE(&anchors[0]), other = HMODULE(&anchors[1]);
    static const win32_standin::StringResource strings[] = {{0x0409, 7000, u"host 7000"}, {0x0409, 7003, u"host 7003"}};
    static const win32_standin::ModuleResources resources = {strings, 2, nullptr};
    win32_standin::AttachModuleResources(host, &resources), AfxSetResourceHandle(host);
    static CRuntimeClass hostClass = {"CHostThing", 8, 0xFFFF, nullptr, nullptr};
    AfxClassInit(&hostClass), AfxGetModuleState()->m_factoryList.m_pHead = &hostClass;
    AFX_EXTENSION_MODULE otherRecord = {TRUE, other, other, &hostClass, nullptr};
    new CDynLinkLibrary(otherRecord, TRUE);
    const std::vector<Entry> before = framework_state();
    auto load = [](UINT id) { CString text; text.LoadString(id); return std::string(text); };
    const HMODULE library = LoadLibraryA(DIRIRA_LIBRARY_PATH);
    std::vector<Entry> state = before;
    state.insert(state.begin() + 1, Entry{library, library, FALSE, nullptr, nullptr});
    EXPECT_EQ(framework_state(), state);
    EXPECT_EQ(load(7001) + load(7002) + load(7003), "BMP (無圧縮)BMP (RLE圧縮)host 7003");
    std::vector<BYTE> block(GetFileVersionInfoSizeA(DIRIRA_LIBRARY_PATH, NULL));
    ASSERT_TRUE(GetFileVersionInfoA(DIRIRA_LIBRARY_PATH, 0, DWORD(block.size()), block.data()));
    // Signature, layout version, file and product versions 2.0.1.1, flag mask, flags, 32-bit Windows, a DLL.
    const DWORD fixed[13] = {0xFEEF04BD, 0x10000, 0x20000, 0x10001, 0x20000, 0x10001, 0x3F, 0, 4, 2, 0, 0, 0};
    const WORD translation[2] = {0x0411, 1200};  // Japanese, UTF-16
    const std::pair<const char *, std::string> values[] = {{"\\", std::string(LPCSTR(fixed), sizeof fixed)},
        {"\\VarFileInfo\\Translation", std::string(LPCSTR(translation), sizeof translation)},
        {"FileDescription", "BITMAP I/O DLL"}, {"FileVersion", "2.0.1.1"}, {"InternalName", "DIRIRA"},
        {"OriginalFilename", "DIRIRA.DLL"}, {"ProductName", "DIRIRA"}, {"ProductVersion", "2.1"}};
    for (const auto &[key, want] : values) {
        LPSTR value = nullptr;
        UINT size = 0;
        const std::string path = key[0] == '\\' ? key : std::string("\\StringFileInfo\\041104b0\\") + key;
        ASSERT_TRUE(VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void **>(&value), &size)) << key;
        EXPECT_EQ(key[0] == '\\' ? std::string(value, size) : std::string(value), want) << key;
    }
    FreeLibrary(library);
    EXPECT_EQ(framework_state(), before);
    WCHAR text[8];
    EXPECT_TRUE(load(7001).empty() && LoadStringW(library, 7001, text, 8) == 0);  // its resources left with it
    afx_standin::FailNextExtensionInit();  // the raw entry sets the host's lists aside: compare the chain
    EXPECT_TRUE(LoadLibraryA(DIRIRA_LIBRARY_PATH) == nullptr && GetLastError() == DWORD(ERROR_DLL_INIT_FAILED));
    state = framework_state();
    EXPECT_TRUE(std::equal(state.begin() + 1, state.end(), before.begin() + 1, before.end()));
    AfxTermExtensionModule(otherRecord), AfxSetResourceHandle(NULL), win32_standin::DetachModuleResources(host);
    AfxGetModuleState()->m_classList.m_pHead = hostClass.m_pNextClass, AfxGetModuleState()->m_factoryList.m_pHead = nullptr;
}

#ifndef _WIN32
// The interface the application calls, stated on its own (not made from
// module/exports.txt): "Class:count" opens a class; "Name*k" is k overloads.
const char kInterface[] = R"(CBmp:13 CBmp ~CBmp Read ReadHeader Write ReadDIB ReadDibBitmapInfo DibInfo GetOrgWidthAndHeight WriteDIB DibFromBitmap
BitmapFromDib vtable CImage:79 CImage GetBitsPixel SetBitsPixel IsSigned SetSigned GetDimension IsColor GetWidth
SetWidth GetHeight SetHeight GetPlanes SetPlanes GetPixelCount GetBscale SetBscale GetBzero SetBzero GetBlank SetBlank
IsBlankUsed SetBlankUsed GetExtend SetExtend SetType GetLevelMin GetLevelMax GetLevelRange GetOrgDefaultLevelMin
GetOrgDefaultLevelMax HasOwnLevel SetOwnLevel IsSITypeRGB SetSITypeRGB IsSaveableFormat SetSaveableFormat
IsSaveableFile SetSaveableFile IsOverwriteAllowed SetOverwriteAllowed GetOrgFileName SetOrgFileName GetOrgFileFormat
SetOrgFileFormat GetOrgBitsPixel SetOrgBitsPixel GetOrgPlanes SetOrgPlanes GetOrgWidth SetOrgWidth GetOrgHeight
SetOrgHeight GetUndoDialogName SetUndoDialogName GetUndoMode SetUndoMode GetContourMap SetContourMap
GetFirstFitsHeight SetFirstFitsHeight GetFirstFits SetFirstFits UsedNorrinPC SetNorrinPC UsedPC SetPC UsedCD SetCD
GetLogScale SetLogScale GetImageSize GetBytesPixel GetImageAdr Unlock UnlockAll GetNextAdr GetPrevAdr GetPixel*2
CStlImage:44 CStlImage GetImageAdr GetPixelGrayRaw*3 SetPixelGrayRaw*2 GetPixelGray*3 SetPixelGray*2
GetPixelGray256f*4 SetPixelGray256f*2 GetPixelGray256*4 To256*2 ToRaw*2 GetMinPixel GetMaxPixel CalcBright*2
GetPixelBrightRaw*3 GetPixelBright256f*3 GetPixelBright*2 GetStdPt GetStdCtr SetStdCtr*3 SetProgressHandle
CFitsExtension:20 GetXtension SetXtension GetBitPix SetBitPix GetNAxis SetNAxis GetNAxes SetNAxes GetExtName
SetExtName GetTFields SetTFields GetTType SetTType GetTBCol SetTBCol GetTForm SetTForm GetTUnit SetTUnit CVmHandle:7
CVmHandle ~CVmHandle Set GetType GetSlotIndex GetBlockCount vtable CfPoint:3 CfPoint operator= vtable CImgPixelInfo:3
CImgPixelInfo operator= vtable CVmBlock:3 CVmBlock ~CVmBlock vtable CVmMemory:3 CVmMemory ~CVmMemory vtable
CVmManager:1 GetBlockSize CVmImage:1 CVmImage)";

// ELF differs from the Windows DLL by construction: the tables of CfPoint and
// CImgPixelInfo are libzirime's, and each exported table brings its type
// information and its name. A constructor's or destructor's variants print alike.
TEST(ModuleLoad, ExportsAreTheApplicationsInterface) {
    std::vector<std::string> want, have;
    std::istringstream words(kInterface);
    std::string type;
    int left = 0;
    for (std::string w; words >> w;) {
        const std::size_t colon = w.find(':'), star = w.find('*');
        EXPECT_TRUE(colon == std::string::npos || left == 0) << type;
        if (colon != std::string::npos) type = w.substr(0, colon), left = std::stoi(w.substr(colon + 1));
        for (int k = star == std::string::npos ? 1 : std::stoi(w.substr(star + 1)); colon == std::string::npos && k > 0; --k, --left)
            want.push_back(type + "::" + w.substr(0, star));
    }
    EXPECT_EQ(left, 0) << type;
    for (std::string c : {"CfPoint", "CImgPixelInfo"}) want.erase(std::find(want.begin(), want.end(), c + "::vtable"));
    for (std::string c : {"CBmp", "CVmBlock", "CVmHandle", "CVmMemory"}) want.insert(want.end(), {c + "::typeinfo", c + "::typeinfo name"});
    std::set<std::string> names;
    FILE *nm = popen((std::string(DIRIRA_NM) + " -D --defined-only -C " + DIRIRA_LIBRARY_PATH).c_str(), "r");
    for (char line[512]; nm != nullptr && std::fgets(line, sizeof line, nm) != nullptr;)
        names.insert(std::strtok(std::strchr(std::strchr(line, ' ') + 1, ' ') + 1, "\n"));  // past address and kind
    pclose(nm);
    for (const std::string &n : names) {
        const std::size_t table = n.find(" for ");  // "vtable for C", "typeinfo name for C"
        have.push_back(table != std::string::npos ? n.substr(table + 5) + "::" + n.substr(0, table) : n.substr(0, n.find('(')));
    }
    std::sort(want.begin(), want.end()), std::sort(have.begin(), have.end());
    EXPECT_EQ(have, want);
}
#endif

}  // namespace
