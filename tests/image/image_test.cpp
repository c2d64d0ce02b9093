// The attribute accessors of the image record, where they do more than
// store a value or where the application depends on how they store it.
#include <gtest/gtest.h>

#include <tuple>

#include "image/image.h"

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
    const std::vector<int> flags = {image.IsBlankUsed(),       image.IsSigned(),    image.HasOwnLevel(),
                                    image.IsSITypeRGB(),       image.IsSaveableFormat(), image.IsSaveableFile(),
                                    image.IsOverwriteAllowed(), image.UsedNorrinPC(), image.UsedPC(), image.UsedCD()};
    EXPECT_EQ(flags, (std::vector<int>{5, -3, 7, 9, 11, 13, -1, 2, 4, 6}));
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
    name[0] = 'X';
    EXPECT_STREQ(image.GetOrgFileName(), "C:\\sky\\m31.bmp");
    image.SetUndoDialogName(CString("Levels"));
    CString copy = image.GetUndoDialogName();
    copy += " changed";
    EXPECT_STREQ(image.GetUndoDialogName(), "Levels");
    image.SetType(CString("LIGHT"), 2);  // text first, index second
    EXPECT_STREQ(image.Type[2], "LIGHT");
    EXPECT_TRUE(image.Type[1].IsEmpty());
}

}  // namespace
