// The attribute accessors of the image record.
#include <gtest/gtest.h>

#include "image/image.h"

namespace {

struct PlanesCase {
    int planes;
    int dimension;
    int isColor;
};

TEST(ImageAttributes, SetPlanesDecidesDimensionAndColour) {
    const PlanesCase cases[] = {{1, 2, 0}, {2, 3, 1}, {3, 3, 1}, {0, 2, 0}, {-1, 2, 0}};
    for (const PlanesCase &c : cases) {
        SCOPED_TRACE(c.planes);
        CImage image;
        image.SetPlanes(c.planes);
        EXPECT_EQ(image.GetPlanes(), c.planes);
        EXPECT_EQ(image.GetDimension(), c.dimension);
        EXPECT_EQ(image.IsColor(), c.isColor);
    }
}

// Flags come back exactly as given, never normalised to 0 or 1.
TEST(ImageAttributes, FlagsAreStoredAsPassed) {
    CImage image;
    image.SetBlankUsed(5);
    image.SetSigned(-3);
    image.SetOwnLevel(7);
    image.SetSITypeRGB(9);
    image.SetSaveableFormat(11);
    image.SetSaveableFile(13);
    image.SetOverwriteAllowed(-1);
    image.SetNorrinPC(2);
    image.SetPC(4);
    image.SetCD(6);
    EXPECT_EQ(image.IsBlankUsed(), 5);
    EXPECT_EQ(image.IsSigned(), -3);
    EXPECT_EQ(image.HasOwnLevel(), 7);
    EXPECT_EQ(image.IsSITypeRGB(), 9);
    EXPECT_EQ(image.IsSaveableFormat(), 11);
    EXPECT_EQ(image.IsSaveableFile(), 13);
    EXPECT_EQ(image.IsOverwriteAllowed(), -1);
    EXPECT_EQ(image.UsedNorrinPC(), 2);
    EXPECT_EQ(image.UsedPC(), 4);
    EXPECT_EQ(image.UsedCD(), 6);
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

TEST(ImageAttributes, StringMembers) {
    CImage image;
    image.SetOrgFileName(nullptr);
    ASSERT_NE(image.GetOrgFileName(), nullptr);
    EXPECT_STREQ(image.GetOrgFileName(), "");

    char name[] = "C:\\sky\\m31.bmp";
    image.SetOrgFileName(name);
    name[0] = 'X';
    EXPECT_STREQ(image.GetOrgFileName(), "C:\\sky\\m31.bmp") << "the setter copies";

    image.SetUndoDialogName(CString("Levels"));
    CString copy = image.GetUndoDialogName();
    copy += " changed";
    EXPECT_STREQ(image.GetUndoDialogName(), "Levels") << "the getter returns a copy";
    image.SetUndoDialogName(CString());
    EXPECT_TRUE(image.GetUndoDialogName().IsEmpty());

    image.SetType(CString("LIGHT"), 2);
    EXPECT_STREQ(image.Type[2], "LIGHT");
    EXPECT_TRUE(image.Type[1].IsEmpty());
}

TEST(ImageAttributes, NewImageHasEmptyStrings) {
    CImage image;
    EXPECT_STREQ(image.GetOrgFileName(), "");
    EXPECT_STREQ(image.GetOrgFileFormat(), "");
    EXPECT_TRUE(image.GetUndoDialogName().IsEmpty());
}

TEST(ImageAttributes, LevelGettersReadThePlaneEntry) {
    CImage image;
    ASSERT_NE(image.Create(2, 2, 3), 0);
    image.LevelMin[1] = -4.5;
    image.LevelMax[1] = 1000.25;
    image.LevelRange[1] = 1004.75;
    image.OrgDefaultLevelMin[2] = 3;
    image.OrgDefaultLevelMax[2] = 4;
    EXPECT_EQ(image.GetLevelMin(1), -4.5);
    EXPECT_EQ(image.GetLevelMax(1), 1000.25);
    EXPECT_EQ(image.GetLevelRange(1), 1004.75);
    EXPECT_EQ(image.GetOrgDefaultLevelMin(2), 3);
    EXPECT_EQ(image.GetOrgDefaultLevelMax(2), 4);
}

}  // namespace
