// The attribute accessors of the image record, where they do more than
// store a value or where the application depends on how they store it.
#include <gtest/gtest.h>

#include <iterator>
#include <tuple>
#include <vector>

#include "image/stl_image.h"

namespace {

TEST(ImageAttributes, SetPlanesDecidesDimensionAndColour) {
    const struct { int planes, dimension, isColor; } cases[] = {{1, 2, 0}, {2, 3, 1}, {3, 3, 1}, {0, 2, 0}, {-1, 2, 0}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.planes);
        CImage image;
        image.SetPlanes(c.planes);
        EXPECT_EQ(std::make_tuple(image.GetPlanes(), image.GetDimension(), image.IsColor()),
                  std::make_tuple(c.planes, c.dimension, c.isColor));
    }
}

// Every integer and double member with its getter and setter.
#define INT_ACCESSOR(Get, Set, Field) \
    {#Field, [](CImage &i, int v) { i.Set(v); }, [](CImage &i) { return double(i.Get()); }, &CImage::Field, nullptr}
#define DOUBLE_ACCESSOR(Get, Set, Field) \
    {#Field, [](CImage &i, int v) { i.Set(v + 0.25); }, [](CImage &i) { return i.Get(); }, nullptr, &CImage::Field}
struct Accessor {
    const char *field;
    void (*set)(CImage &, int);
    double (*get)(CImage &);
    int CImage::*intField;
    double CImage::*doubleField;
};
const Accessor kAccessors[] = {
    INT_ACCESSOR(GetBitsPixel, SetBitsPixel, BitsPixel),     INT_ACCESSOR(IsSigned, SetSigned, Signed),
    INT_ACCESSOR(GetWidth, SetWidth, Width),                 INT_ACCESSOR(GetHeight, SetHeight, Height),
    DOUBLE_ACCESSOR(GetBscale, SetBscale, Bscale),           DOUBLE_ACCESSOR(GetBzero, SetBzero, Bzero),
    INT_ACCESSOR(GetBlank, SetBlank, Blank),                 INT_ACCESSOR(IsBlankUsed, SetBlankUsed, BlankUsed),
    INT_ACCESSOR(GetExtend, SetExtend, Extend),              INT_ACCESSOR(HasOwnLevel, SetOwnLevel, OwnLevel),
    INT_ACCESSOR(IsSITypeRGB, SetSITypeRGB, SITypeRGB),      INT_ACCESSOR(IsSaveableFormat, SetSaveableFormat, SaveableFormat),
    INT_ACCESSOR(IsSaveableFile, SetSaveableFile, SaveableFile),
    INT_ACCESSOR(IsOverwriteAllowed, SetOverwriteAllowed, OverwriteAllowed),
    INT_ACCESSOR(GetOrgBitsPixel, SetOrgBitsPixel, OrgBitsPixel), INT_ACCESSOR(GetOrgPlanes, SetOrgPlanes, OrgPlanes),
    INT_ACCESSOR(GetOrgWidth, SetOrgWidth, OrgWidth),        INT_ACCESSOR(GetOrgHeight, SetOrgHeight, OrgHeight),
    INT_ACCESSOR(GetUndoMode, SetUndoMode, UndoMode),        INT_ACCESSOR(GetContourMap, SetContourMap, ContourMap),
    INT_ACCESSOR(GetFirstFitsHeight, SetFirstFitsHeight, FirstFitsHeight),
    INT_ACCESSOR(GetFirstFits, SetFirstFits, FirstFits),     INT_ACCESSOR(UsedNorrinPC, SetNorrinPC, NorrinPC),
    INT_ACCESSOR(UsedPC, SetPC, PC),                         INT_ACCESSOR(UsedCD, SetCD, CD),
    INT_ACCESSOR(GetLogScale, SetLogScale, LogScale),
};

std::vector<double> snapshot(const CImage &image) {
    std::vector<double> fields;
    for (const Accessor &a : kAccessors)
        fields.push_back(a.intField ? image.*a.intField : image.*a.doubleField);
    return fields;
}

// Each setter stores its argument exactly (flags are never normalised to
// 0 or 1) into its own member and no other; its getter reads that member.
TEST(ImageAttributes, EachAccessorReachesItsOwnMember) {
    for (std::size_t row = 0; row < std::size(kAccessors); ++row) {
        const Accessor &a = kAccessors[row];
        SCOPED_TRACE(a.field);
        CImage image;
        std::vector<double> expected = snapshot(image);
        const int value = -7 - 3 * static_cast<int>(row);
        expected[row] = a.intField ? value : value + 0.25;
        a.set(image, value);
        EXPECT_EQ(snapshot(image), expected);
        EXPECT_EQ(a.get(image), expected[row]);
    }
}

// The five level getters read their own array at the plane asked for.
TEST(ImageAttributes, LevelGettersReadTheirOwnArrays) {
    CImage image;
    ASSERT_NE(image.Create(2, 2, 3), 0);
    double *const arrays[] = {image.LevelMin, image.LevelMax, image.LevelRange, image.OrgDefaultLevelMin,
                              image.OrgDefaultLevelMax};
    for (int a = 0; a < 5; ++a)
        for (int plane = 0; plane < 3; ++plane)
            arrays[a][plane] = a * 10 + plane + 0.5;
    for (int plane = 0; plane < 3; ++plane) {
        const std::vector<double> levels = {image.GetLevelMin(plane), image.GetLevelMax(plane),
                                            image.GetLevelRange(plane), image.GetOrgDefaultLevelMin(plane),
                                            image.GetOrgDefaultLevelMax(plane)};
        EXPECT_EQ(levels, (std::vector<double>{plane + 0.5, 10 + plane + 0.5, 20 + plane + 0.5, 30 + plane + 0.5,
                                               40 + plane + 0.5}));
    }
}

TEST(ImageAttributes, PixelCountCountsSamplesOverAllPlanesAndWraps) {
    CImage image;
    image.SetWidth(100);
    image.SetHeight(200);
    image.SetPlanes(3);
    EXPECT_EQ(image.GetPixelCount(), 60000);
    image.SetWidth(65536);
    image.SetHeight(65536);
    image.SetPlanes(1);
    EXPECT_EQ(image.GetPixelCount(), 0) << "2^32 wraps in 32 bits";
}

// Setters copy, getters of CString return copies, a null name is empty.
TEST(ImageAttributes, StringMembers) {
    CImage image;
    image.SetOrgFileName(nullptr);
    ASSERT_NE(image.GetOrgFileName(), nullptr);
    EXPECT_STREQ(image.GetOrgFileName(), "");
    char name[] = "C:\\sky\\m31.bmp";
    image.SetOrgFileName(name);
    image.SetOrgFileFormat("BMP");
    name[0] = 'X';
    EXPECT_STREQ(image.GetOrgFileName(), "C:\\sky\\m31.bmp");
    EXPECT_EQ(image.GetOrgFileName(), image.OrgFileName.GetString()) << "the member itself, not a copy";
    EXPECT_EQ(image.GetOrgFileFormat(), image.OrgFileFormat.GetString());
    EXPECT_STREQ(image.GetOrgFileFormat(), "BMP");
    image.SetUndoDialogName(CString("Levels"));
    CString copy = image.GetUndoDialogName();
    copy += " changed";
    EXPECT_STREQ(image.GetUndoDialogName(), "Levels");
    image.SetType(CString("LIGHT"), 2);  // text first, index second
    EXPECT_STREQ(image.Type[2], "LIGHT");
    EXPECT_TRUE(image.Type[1].IsEmpty());
}

// Other modules compile against these fields: three doubles of statistics
// per array, two reference points, then the centre, in declaration order.
TEST(ImageAttributes, FloatImageFieldsKeepTheirLayout) {
    const CStlImage image;
    const auto at = [&image](const void *field) {
        return static_cast<const char *>(field) - reinterpret_cast<const char *>(&image.MinPixel);
    };
    const std::ptrdiff_t point = sizeof(CfPoint);
    EXPECT_EQ(std::vector<std::ptrdiff_t>({at(&image.MaxPixel), at(&image.StdPt), at(&image.StdCtr)}),
              std::vector<std::ptrdiff_t>({24, 48, 48 + 2 * point}));
}

}  // namespace
