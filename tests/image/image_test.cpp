// The image record: raw samples against a decoder written from the sample table, the store reached through the image
// and its bookkeeping records; accessors, reference points, copies and the FITS extension record in tables of rows.
#include <gtest/gtest.h>

#include <afx_standin.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <iterator>
#include <random>
#include <sstream>

#include "image/fits_extension.h"
#include "image/stl_image.h"
#include "image/vm_store.h"
#include "siblings/zircim/vm_seams.h"
#include "support/framework_exceptions.h"

namespace {

template <typename... T> std::string seen(const T &...values) {
    std::ostringstream out;
    ((out << values << ' '), ...);
    return out.str();
}

// The sample table: the raw type by BITPIX and Signed (8 bits are unsigned whatever the flag; unsigned 32 bits are
// 0..2^32-1), then the product rounded to double before BZERO is added. Other BITPIX values give 0.
template <typename T> double as(const unsigned char *at) {
    T value;
    return std::memcpy(&value, at, sizeof value), double(value);
}
double decoded(const unsigned char *at, int bitsPixel, int isSigned, double bscale, double bzero) {
    const double raw = bitsPixel == 8     ? at[0]
                       : bitsPixel == 16  ? (isSigned ? as<std::int16_t>(at) : as<std::uint16_t>(at))
                       : bitsPixel == 32  ? (isSigned ? as<std::int32_t>(at) : as<std::uint32_t>(at))
                       : bitsPixel == -32 ? as<float>(at)
                       : bitsPixel == -64 ? as<double>(at)
                                          : 0.0;
    volatile double product = raw * bscale;
    return bitsPixel == 8 || bitsPixel == 16 || bitsPixel == 32 || bitsPixel == -32 || bitsPixel == -64
               ? product + bzero
               : 0.0;
}

// Seeded bytes (all ones, sign bits alone, anything) and scalings whose last bits show the order of the operations
// and the precision used. Sample size and address steps are |BITPIX| / 8, remainder dropped, INT_MIN included.
TEST(RawPixels, DecodeAgreesWithTheSampleTable) {
    std::mt19937 rng(2212);
    const int bitpix[] = {8, 16, 32, -32, -64, 24, 64, 0, -16, -12, 15, 7, -7, INT_MIN};
    for (int i = 0; i < 4000; ++i) {
        unsigned char bytes[24];
        for (unsigned char &b : bytes)
            b = static_cast<unsigned char>(rng());
        if (i % 5 == 0)
            std::memset(bytes, i % 2 ? 0xFF : 0x00, 8), bytes[i % 8] ^= i % 3 ? 0x80 : 0;
        const int bitsPixel = bitpix[rng() % std::size(bitpix)], isSigned = int(rng() % 3) - 1;
        const double bscale = i % 7 == 0 ? 1 : std::ldexp(double(rng()) / 0xFFFFFFFFu, int(rng() % 40) - 20) - 0.3;
        const double bzero = i % 11 == 0 ? 32768 : (double(rng()) - 2147483648.0) / 3;
        CImage image;
        image.SetBitsPixel(bitsPixel), image.SetSigned(isSigned), image.SetBscale(bscale), image.SetBzero(bzero);
        const double want = decoded(bytes, bitsPixel, isSigned, bscale, bzero), have = image.GetPixel(bytes);
        const long long size = std::llabs(bitsPixel) / 8;
        ASSERT_TRUE((std::memcmp(&want, &have, 8) == 0 || (std::isnan(want) && std::isnan(have))) &&
                    image.GetBytesPixel() == size &&
                    (size > 8 || (image.GetNextAdr(bytes + 8) == bytes + 8 + size &&
                                  image.GetPrevAdr(bytes + 8) == bytes + 8 - size)))
            << "BITPIX " << bitsPixel << " Signed " << isSigned << ": want " << want << ", have " << have;
    }
}

// What reaches the store's full lookup: each member's first lookup in a block that is not in memory asks for reading
// (1) or writing (0) with second flag 0, the address members pass their mode's bits; a second lookup in the same
// block is answered inline. Rows 600 and 601 lie in a plane's second block, which a budget of one block pages out.
// Locks go back through the image with the store's own results (locks left, then -1 for a spent token).
TEST(RawPixels, LookupsAndLocksReachTheStore) {
#define MEMBER(call, readOnly, secondFlag)                                                                             \
    {                                                                                                                  \
#call, [](CStlImage & i, int x, int y) { call; }, readOnly, secondFlag                                         \
    }
    const struct {
        const char *name;
        void (*call)(CStlImage &, int x, int y);
        int readOnly, secondFlag;
    } members[] = {MEMBER(i.GetPixel(x, y, 1), 1, 0),
                   MEMBER(i.GetPixelGrayRaw(x, y, 1), 1, 0),
                   MEMBER(i.GetPixelGray256(x, y, 1), 1, 0),
                   MEMBER(i.GetPixelGrayRaw(x + 0.5, y + 0.5, 1), 1, 0),
                   MEMBER(i.SetPixelGrayRaw(x, y, 2.0f, 1), 0, 0),
                   MEMBER(i.SetPixelGray256f(x, y, 2.0f, 1), 0, 0),
                   MEMBER(i.GetImageAdr(x, y, 1, 3, NULL), 1, 2),
                   MEMBER(static_cast<CImage &>(i).GetImageAdr(x, y, 1, 6, NULL), 0, 2)};
    CVmImage::SetMemoryBudget(SIZE_T{2} << 20);
    CStlImage image;
    ASSERT_NE(image.Create(1024, 1100, 2), 0);
    for (const auto &m : members) {
        for (auto [row, plane] :
             {std::pair{0, 1}, {0, 0}, {600, 0}}) // the other three blocks: out goes plane 1's second
            image.Store->GetImageAdr(0, row, plane, 1, 0, NULL);
        std::vector<zircim::FullLookup> log;
        zircim::WatchFullLookups(&log), m.call(image, 7, 600), m.call(image, 8, 601), zircim::WatchFullLookups(NULL);
        EXPECT_EQ(log.size(), 1u) << m.name;
        for (const auto &l : log)
            EXPECT_EQ((std::vector<int>{l.x, l.y, l.plane, l.readOnly, l.secondFlag}),
                      (std::vector<int>{7, 600, 1, m.readOnly, m.secondFlag}))
                << m.name;
    }
    void *first = nullptr, *second = nullptr;
    image.GetImageAdr(0, 1, 1, 0, &first), image.GetImageAdr(1, 1, 1, 1, &second);
    EXPECT_EQ((std::vector<int>{image.Unlock(first), image.Unlock(second), image.Unlock(second)}),
              (std::vector<int>{1, 0, -1}));
    image.GetImageAdr(2, 0, 0, 1, &first), image.UnlockAll();
    EXPECT_EQ(image.Unlock(first), -1) << "UnlockAll released it";
    CVmImage::SetMemoryBudget(0);
}

// Records start empty (a slot holds no block of no plane; a table's blocks type 0, no slot). A table that cannot exist
// in 32 bits (never wrapped short) or finds no memory throws, leaving nothing; delete through the root class works.
TEST(VmRecords, DefaultsTablesAndFailures) {
    const CVmMemory s;
    CVmHandle h(3);
    h.Set(1, 5, 7);
    EXPECT_EQ(seen(s.LockCount, s.Block, s.Plane, s.FirstRow, s.Newer, s.Older, s.Dirty, s.Loads, h.GetBlockCount(),
                   h.GetType(0), h.GetSlotIndex(0), h.GetType(1), h.GetSlotIndex(1), h.GetType(2), h.GetSlotIndex(2),
                   CVmManager{-5}.GetBlockSize()),
              "0 -1 -1 0 -1 -1 0 0 3 0 -1 5 7 0 -1 -5 ");
    const long live = afx_standin::LiveAllocations();
    for (const auto &[count, outOfMemory] : {std::pair<int, bool>{-1, false}, {INT_MAX / 8, false}, {4, true}}) {
        afx_standin::FailNthAllocation(outOfMemory ? 1 : 0);
        const bool thrown = THROWS(CMemoryException, [count = count] { CVmHandle table(count); });
        afx_standin::ClearFaults();
        EXPECT_TRUE(thrown && afx_standin::LiveAllocations() == live) << count;
    }
    CStlImage *image = new CStlImage;
    ASSERT_NE(image->Create(5, 4, 3), 0);
    for (CObject *record : {static_cast<CObject *>(new CVmHandle(4)), static_cast<CObject *>(new CVmBlock),
                            static_cast<CObject *>(image)})
        delete record;
    EXPECT_EQ(afx_standin::LiveAllocations(), live);
}

// Every setter stores its argument exactly (flags are never normalised) where its own getter, and no other, reads it.
#define ACCESSOR(Get, Set)                                                                                             \
    {                                                                                                                  \
#Set, [](CImage & i, int v) { i.Set(v); }, [](CImage & i) { return double(i.Get()); }                          \
    }
#define GET_SET(Name) ACCESSOR(Get##Name, Set##Name)
const struct {
    const char *name;
    void (*set)(CImage &, int);
    double (*get)(CImage &);
} kAccessors[] = {GET_SET(BitsPixel),
                  ACCESSOR(IsSigned, SetSigned),
                  GET_SET(Width),
                  GET_SET(Height),
                  GET_SET(Bscale),
                  GET_SET(Bzero),
                  GET_SET(Blank),
                  ACCESSOR(IsBlankUsed, SetBlankUsed),
                  GET_SET(Extend),
                  ACCESSOR(HasOwnLevel, SetOwnLevel),
                  ACCESSOR(IsSITypeRGB, SetSITypeRGB),
                  ACCESSOR(IsSaveableFormat, SetSaveableFormat),
                  ACCESSOR(IsSaveableFile, SetSaveableFile),
                  ACCESSOR(IsOverwriteAllowed, SetOverwriteAllowed),
                  GET_SET(OrgBitsPixel),
                  GET_SET(OrgPlanes),
                  GET_SET(OrgWidth),
                  GET_SET(OrgHeight),
                  GET_SET(UndoMode),
                  GET_SET(ContourMap),
                  GET_SET(FirstFitsHeight),
                  GET_SET(FirstFits),
                  ACCESSOR(UsedNorrinPC, SetNorrinPC),
                  ACCESSOR(UsedPC, SetPC),
                  ACCESSOR(UsedCD, SetCD),
                  GET_SET(LogScale)};

TEST(ImageRecord, EachSetterReachesItsOwnGetter) {
    const auto all = [](CImage &image) {
        std::vector<double> v;
        for (const auto &a : kAccessors)
            v.push_back(a.get(image));
        return v;
    };
    for (std::size_t row = 0; row < std::size(kAccessors); ++row) {
        CImage image;
        std::vector<double> want = all(image);
        kAccessors[row].set(image, int(want[row] = -7 - 3 * int(row)));
        EXPECT_EQ(all(image), want) << kAccessors[row].name;
    }
}

std::string point(const CfPoint &p) { return seen(p.x, p.y, p.fx, p.fy); }

// The rest, each on a 2 x 2 image of three planes. Counts wrap in 32 bits; IsColor reads Dimension alone; points keep
// both pairs even where they disagree, a pair goes to the image library's CfPoint::Set; a copy is the CStlImage part;
// other modules compile against the extremes (three doubles each), the two points and the centre.
const struct {
    const char *name;
    std::string (*run)(CImgPixelInfo &);
    const char *want;
} kRecord[] = {
    {"counts",
     [](CImgPixelInfo &i) {
         return i.SetWidth(65536), i.SetHeight(16385), i.SetPlanes(3), seen(i.GetPixelCount(), i.GetImageSize());
     },
     "-1073545216 786432 "},
    {"planes and colour",
     [](CImgPixelInfo &i) {
         std::string s;
         for (int planes : {1, 2, 0, -1})
             i.SetPlanes(planes), s += seen(i.GetPlanes(), i.GetDimension(), i.IsColor());
         return i.Dimension = 7, s + seen(i.IsColor());
     },
     "1 2 0 2 3 1 0 2 0 -1 2 0 1 "},
    {"texts",
     [](CImgPixelInfo &i) {
         i.SetOrgFileName("m31.bmp"), i.SetUndoDialogName(CString("Levels")), i.SetType(CString("LIGHT"), 2);
         return seen(i.GetOrgFileName() == i.OrgFileName.GetString(), i.GetUndoDialogName().GetString(),
                     i.Type[2].GetString());
     },
     "1 Levels LIGHT "},
    {"points",
     [](CImgPixelInfo &i) {
         CfPoint odd, assigned;
         odd.x = 3, odd.y = -4, odd.fx = 10.5, odd.fy = 20.25, assigned = odd, i.SetStdCtr(odd), i.StdPt[1] = odd,
         i.SetProgressHandle(HWND(&odd));
         return point(assigned) + point(i.GetStdCtr()) + point(i.GetStdPt(1)) + seen(i.ProgressHandle == HWND(&odd));
     },
     "3 -4 10.5 20.25 3 -4 10.5 20.25 3 -4 10.5 20.25 1 "},
    {"fractional pair",
     [](CImgPixelInfo &i) {
         CfPoint a;
         return a.Set(2.75, -0.5), i.SetStdCtr(2.75, -0.5), seen(point(i.GetStdCtr()) == point(a));
     },
     "1 "},
    {"copies",
     [](CImgPixelInfo &i) {
         CfPoint pair;
         pair.Set(12, -3), i.SetStdCtr(12, -3), i.SetOrgFileName("m42.bmp"), *i.GetImageAdr(1, 1, 0, 0, NULL) = 42.0f;
         CImgPixelInfo copied(i), assigned;
         assigned = i, *i.GetImageAdr(1, 1, 0, 0, NULL) = 1.0f;
         std::string s;
         for (CImgPixelInfo *c : {&copied, &assigned})
             s += seen(*c->GetImageAdr(1, 1, 0, 1, NULL), point(c->GetStdCtr()) == point(pair), c->GetOrgFileName());
         return s;
     },
     "42 1 m42.bmp 42 1 m42.bmp "},
    {"addresses outside",
     [](CImgPixelInfo &i) { // passed to the store unclamped, the blocks in memory: NULL
         std::string s = seen(i.GetImageAdr(0, 0, 0, 0, NULL) != nullptr);
         for (const auto &[x, y, plane] : {std::tuple{2, 0, 0}, {0, 2, 0}, {1, 1, 3}, {-1, 0, 0}})
             s += seen(i.CImage::GetImageAdr(x, y, plane, 1, NULL) == nullptr);
         return s;
     },
     "1 1 1 1 1 "},
    {"extremes and points",
     [](CImgPixelInfo &i) {
         const auto at = [&i](const void *field) {
             return static_cast<const char *>(field) - reinterpret_cast<const char *>(&i.MinPixel);
         };
         return seen(at(&i.MaxPixel), at(&i.StdPt), at(&i.StdCtr));
     },
     "24 48 112 "}};

TEST(ImageRecord, NamedBehaviours) {
    for (const auto &row : kRecord) {
        CImgPixelInfo image;
        ASSERT_NE(image.Create(2, 2, 3), 0);
        EXPECT_EQ(row.run(image), row.want) << row.name;
    }
}

std::string describe(const CFitsExtension &r) {
    std::string text = std::string(r.Xtension) + "|" + r.ExtName.GetString() + "|" + std::to_string(r.NAxis) + "|";
    for (INT_PTR i = 0; i < r.NAxes.GetSize(); ++i)
        text += std::to_string(r.NAxes[i]) + ",";
    for (INT_PTR i = 0; i < r.TType.GetSize(); ++i)
        text += std::string("|") + r.TType[i].GetString() + ";" + std::to_string(r.TBCol[i]) + ";" +
                r.TForm[i].GetString() + ";" + r.TUnit[i].GetString();
    return text + "|" + std::to_string(r.TFields);
}

// A table extension of axes 100 and 200 and two columns (the application's FITS code sizes the column arrays).
void two_axes_two_columns(CFitsExtension &r) {
    r.SetXtension("BINTABLE");
    r.SetNAxis(2);
    r.SetNAxes(0, 100);
    r.SetNAxes(1, 200);
    r.TBCol.SetSize(2);
    for (CStringArray *column : {&r.TType, &r.TForm, &r.TUnit})
        column->SetSize(2);
}

// The whole record after each row, on that table extension. SetNAxis stores the count before it resizes, so a negative
// one is kept though the resize throws. SetNAxes takes the index first, the column setters the value first. TFIELDS
// sizes no array.
TEST(FitsExtension, AccessorsAgainstTheWholeRecord) {
    const struct {
        const char *name;
        void (*call)(CFitsExtension &);
        bool throws;
        const char *after;
    } cases[] = {{"SetNAxis(3) zero-fills", [](CFitsExtension &r) { r.SetNAxis(3); }, false,
                  "BINTABLE||3|100,200,0,|;0;;|;0;;|0"},
                 {"SetNAxis(-1) stores, then throws", [](CFitsExtension &r) { r.SetNAxis(-1); }, true,
                  "BINTABLE||-1|100,200,|;0;;|;0;;|0"},
                 {"GetTType(2) after SetTFields(5)", [](CFitsExtension &r) { r.SetTFields(5), r.GetTType(2); }, true,
                  "BINTABLE||2|100,200,|;0;;|;0;;|5"},
                 {"orders and copies",
                  [](CFitsExtension &r) {
                      CString text("FLUX");
                      r.SetNAxis(4), r.SetNAxes(3, 9), r.SetTBCol(7, 0), r.SetTType(text, 1), r.SetTForm("1E", 1),
                          r.SetTUnit("Jy", 1);
                      r.SetExtName(text), r.SetBitPix(-32), text.GetBuffer(0)[0] = 'X', text.ReleaseBuffer();
                      EXPECT_TRUE(r.GetTType(1) == "FLUX" && r.GetTForm(1) == "1E" && r.GetTUnit(1) == "Jy" &&
                                  r.GetExtName() == "FLUX" && r.GetTBCol(0) == 7 && r.GetNAxes(3) == 9 &&
                                  r.GetBitPix() == -32 && r.GetXtension() == "BINTABLE");
                  },
                  false, "BINTABLE|FLUX|4|100,200,0,9,|;7;;|FLUX;0;1E;Jy|0"}};
    for (const auto &c : cases) {
        CFitsExtension r;
        two_axes_two_columns(r);
        const bool thrown = THROWS(CInvalidArgException, [&] { c.call(r); });
        EXPECT_EQ(std::make_pair(thrown, describe(r)), std::make_pair(c.throws, std::string(c.after))) << c.name;
    }
}

// Each indexed accessor tests the index against its own array, below 0 and at its size, before touching anything.
TEST(FitsExtension, EveryIndexedAccessorThrowsOutOfRange) {
    const struct {
        const char *name;
        void (*call)(CFitsExtension &, int);
    } accessors[] = {{"GetNAxes", [](CFitsExtension &r, int i) { r.GetNAxes(i); }},
                     {"SetNAxes", [](CFitsExtension &r, int i) { r.SetNAxes(i, 1); }},
                     {"GetTType", [](CFitsExtension &r, int i) { r.GetTType(i); }},
                     {"SetTType", [](CFitsExtension &r, int i) { r.SetTType("X", i); }},
                     {"GetTBCol", [](CFitsExtension &r, int i) { r.GetTBCol(i); }},
                     {"SetTBCol", [](CFitsExtension &r, int i) { r.SetTBCol(1, i); }},
                     {"GetTForm", [](CFitsExtension &r, int i) { r.GetTForm(i); }},
                     {"SetTForm", [](CFitsExtension &r, int i) { r.SetTForm("X", i); }},
                     {"GetTUnit", [](CFitsExtension &r, int i) { r.GetTUnit(i); }},
                     {"SetTUnit", [](CFitsExtension &r, int i) { r.SetTUnit("X", i); }}};
    for (const auto &a : accessors)
        for (int index : {-1, 2}) {
            CFitsExtension r;
            two_axes_two_columns(r);
            const std::string before = describe(r);
            EXPECT_TRUE(THROWS(CInvalidArgException, [&] { a.call(r, index); })) << a.name << "(" << index << ")";
            EXPECT_EQ(describe(r), before) << a.name << "(" << index << ")";
        }
}

} // namespace
