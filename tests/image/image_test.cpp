// The image record's accessors, where they do more than store a value or
// where the application depends on how they store it; reference points and
// the copies of CfPoint and CImgPixelInfo.
#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "image/stl_image.h"

namespace {

// Every integer and double member with its getter and setter: the setter
// stores its argument exactly (flags are never normalised to 0 or 1) into
// its own member and no other, the getter reads that member.
#define INT_ACCESSOR(Get, Set, F) {#F, [](CImage &i, int v) { i.Set(v); }, [](CImage &i) { return double(i.Get()); }, &CImage::F, nullptr}
#define DOUBLE_ACCESSOR(Get, Set, F) {#F, [](CImage &i, int v) { i.Set(v + 0.25); }, [](CImage &i) { return i.Get(); }, nullptr, &CImage::F}
const struct Accessor {
    const char *field;
    void (*set)(CImage &, int);
    double (*get)(CImage &);
    int CImage::*intField;
    double CImage::*doubleField;
} kAccessors[] = {
    INT_ACCESSOR(GetBitsPixel, SetBitsPixel, BitsPixel),     INT_ACCESSOR(IsSigned, SetSigned, Signed),
    INT_ACCESSOR(GetWidth, SetWidth, Width),                 INT_ACCESSOR(GetHeight, SetHeight, Height),
    DOUBLE_ACCESSOR(GetBscale, SetBscale, Bscale),           DOUBLE_ACCESSOR(GetBzero, SetBzero, Bzero),
    INT_ACCESSOR(GetBlank, SetBlank, Blank),                 INT_ACCESSOR(IsBlankUsed, SetBlankUsed, BlankUsed),
    INT_ACCESSOR(GetExtend, SetExtend, Extend),              INT_ACCESSOR(HasOwnLevel, SetOwnLevel, OwnLevel),
    INT_ACCESSOR(IsSITypeRGB, SetSITypeRGB, SITypeRGB),      INT_ACCESSOR(IsSaveableFormat, SetSaveableFormat, SaveableFormat),
    INT_ACCESSOR(IsSaveableFile, SetSaveableFile, SaveableFile), INT_ACCESSOR(IsOverwriteAllowed, SetOverwriteAllowed, OverwriteAllowed),
    INT_ACCESSOR(GetOrgBitsPixel, SetOrgBitsPixel, OrgBitsPixel), INT_ACCESSOR(GetOrgPlanes, SetOrgPlanes, OrgPlanes),
    INT_ACCESSOR(GetOrgWidth, SetOrgWidth, OrgWidth),        INT_ACCESSOR(GetOrgHeight, SetOrgHeight, OrgHeight),
    INT_ACCESSOR(GetUndoMode, SetUndoMode, UndoMode),        INT_ACCESSOR(GetContourMap, SetContourMap, ContourMap),
    INT_ACCESSOR(GetFirstFitsHeight, SetFirstFitsHeight, FirstFitsHeight), INT_ACCESSOR(GetFirstFits, SetFirstFits, FirstFits),
    INT_ACCESSOR(UsedNorrinPC, SetNorrinPC, NorrinPC),       INT_ACCESSOR(UsedPC, SetPC, PC),
    INT_ACCESSOR(UsedCD, SetCD, CD),                         INT_ACCESSOR(GetLogScale, SetLogScale, LogScale),
};

// Then the five level getters, each reading its own array at the plane
// asked for; the sample count over all planes, wrapping in 32 bits; the
// dimension that SetPlanes gives and IsColor reads. Setters of text copy,
// getters of CString return copies, a null name is empty; the type's text
// comes first, its index second.
TEST(ImageAttributes, EachAccessorReachesItsOwnMember) {
    const auto snapshot = [](const CImage &image) {
        std::vector<double> fields;
        for (const Accessor &a : kAccessors) fields.push_back(a.intField ? image.*a.intField : image.*a.doubleField);
        return fields;
    };
    for (std::size_t row = 0; row < std::size(kAccessors); ++row) {
        const Accessor &a = kAccessors[row];
        CImage image;
        std::vector<double> expected = snapshot(image);
        const int value = -7 - 3 * static_cast<int>(row);
        expected[row] = a.intField ? value : value + 0.25;
        a.set(image, value);
        EXPECT_EQ(snapshot(image), expected) << a.field;
        EXPECT_EQ(a.get(image), expected[row]) << a.field;
    }
    CImage image;
    ASSERT_NE(image.Create(2, 2, 3), 0);
    EXPECT_EQ(image.GetBitsPixel(), -32) << "a new image holds floats unless told otherwise";
    double *const arrays[] = {image.LevelMin, image.LevelMax, image.LevelRange, image.OrgDefaultLevelMin, image.OrgDefaultLevelMax};
    for (int a = 0; a < 5; ++a)
        for (int plane = 0; plane < 3; ++plane) arrays[a][plane] = a * 10 + plane + 0.5;
    for (int plane = 0; plane < 3; ++plane)
        EXPECT_EQ((std::vector<double>{image.GetLevelMin(plane), image.GetLevelMax(plane), image.GetLevelRange(plane),
                                       image.GetOrgDefaultLevelMin(plane), image.GetOrgDefaultLevelMax(plane)}),
                  (std::vector<double>{plane + 0.5, 10 + plane + 0.5, 20 + plane + 0.5, 30 + plane + 0.5, 40 + plane + 0.5}));
    image.SetWidth(65536), image.SetHeight(16385), image.SetPlanes(3);
    EXPECT_EQ(image.GetPixelCount(), -1073545216);
    for (const auto &[planes, dimension, colour] : {std::tuple{1, 2, 0}, {2, 3, 1}, {0, 2, 0}, {-1, 2, 0}}) {
        image.SetPlanes(planes);
        EXPECT_EQ(std::make_tuple(image.GetPlanes(), image.GetDimension(), image.IsColor()), std::make_tuple(planes, dimension, colour));
    }
    image.Dimension = 7;  // IsColor reads Dimension alone, and answers 0 or 1
    EXPECT_EQ(image.IsColor(), 1);
    char name[] = "C:\\sky\\m31.bmp";
    image.SetOrgFileFormat(nullptr);
    EXPECT_STREQ(image.GetOrgFileFormat(), "");
    image.SetOrgFileName(name), image.SetOrgFileFormat("BMP"), image.SetUndoDialogName(CString("Levels")), image.SetType(CString("LIGHT"), 2);
    name[0] = 'X', image.GetUndoDialogName() += " changed";
    EXPECT_TRUE(image.GetOrgFileName() == image.OrgFileName.GetString() && image.GetOrgFileFormat() == image.OrgFileFormat.GetString());
    EXPECT_EQ(std::string(image.GetOrgFileName()) + "|" + image.GetOrgFileFormat() + "|" + image.GetUndoDialogName().GetString() +
                  "|" + image.Type[1].GetString() + "|" + image.Type[2].GetString(), "C:\\sky\\m31.bmp|BMP|Levels||LIGHT");
}

std::tuple<int, int, double, double> coordinates(const CfPoint &p) { return {p.x, p.y, p.fx, p.fy}; }

// Points keep both pairs even where they disagree and travel as copies; a
// pair goes to the image library's CfPoint::Set unchanged. Copying a
// CImgPixelInfo copies its CStlImage part. Other modules compile against
// the extremes and points: three doubles each, two points, then the centre.
TEST(ReferencePoints, PointsAndPixelInfoCopies) {
    CImgPixelInfo source;
    ASSERT_NE(source.Create(2, 2, 1), 0);
    CfPoint odd, assigned, viaSet;
    odd.x = 3, odd.y = -4, odd.fx = 10.5, odd.fy = 20.25;
    source.SetStdCtr(odd), source.StdPt[1] = odd, source.SetProgressHandle(HWND(&odd));
    CfPoint centre = source.GetStdCtr(), standard = source.GetStdPt(1);
    assigned = standard, centre.fy = standard.fx = -1;
    EXPECT_TRUE(coordinates(assigned) == coordinates(odd) && coordinates(source.GetStdCtr()) == coordinates(odd) &&
                coordinates(source.GetStdPt(1)) == coordinates(odd) && source.ProgressHandle == HWND(&odd));
    viaSet.Set(2.75, -0.5), source.SetStdCtr(2.75, -0.5);
    EXPECT_EQ(coordinates(source.GetStdCtr()), coordinates(viaSet));
    viaSet.Set(12, -3), source.SetStdCtr(12, -3), source.SetOrgFileName("m42.bmp");
    *source.GetImageAdr(1, 1, 0, 0, NULL) = 42.0f;
    CImgPixelInfo copied(source), assignedInfo;
    assignedInfo = source, *source.GetImageAdr(1, 1, 0, 0, NULL) = 1.0f;
    for (CImgPixelInfo *image : {&copied, &assignedInfo})
        EXPECT_TRUE(*image->GetImageAdr(1, 1, 0, 1, NULL) == 42.0f && coordinates(image->GetStdCtr()) == coordinates(viaSet) &&
                    std::string(image->GetOrgFileName()) == "m42.bmp");
    const auto at = [&source](const void *field) { return static_cast<const char *>(field) - reinterpret_cast<const char *>(&source.MinPixel); };
    EXPECT_EQ(std::vector<std::ptrdiff_t>({at(&source.MaxPixel), at(&source.StdPt), at(&source.StdCtr)}),
              std::vector<std::ptrdiff_t>({24, 48, 48 + 2 * std::ptrdiff_t(sizeof(CfPoint))}));
}

}  // namespace
