// CImage copies: deep copies of the whole record are pinned on CStlImage
// (zirime); here, what a failed one leaves.
#include <gtest/gtest.h>

#include <afx_standin.h>

#include "dib_fixture.h"

namespace {

// A copy that cannot be completed throws the framework's memory exception
// and leaves nothing allocated; assignment then leaves its target empty.
TEST(Image, FailedCopyThrowsAndLeavesNothing) {
    CImage source;
    ASSERT_NE(source.Create(2, 2, 3), 0);
    CImage target;
    const long live = afx_standin::LiveAllocations();
    const SIZE_T mapped = CVmImage::GetMappedBytesTotal();
    for (int nth = 1; nth <= 4; ++nth) {
        afx_standin::FailNthAllocation(nth);
        bool thrown = false;
        try {
            target = source;
        } catch (CMemoryException *e) {
            e->Delete();
            thrown = true;
        }
        afx_standin::ClearFaults();
        ASSERT_TRUE(thrown) << nth;
        EXPECT_EQ(target.Store, nullptr) << nth;
        EXPECT_EQ(afx_standin::LiveAllocations(), live) << nth;
        EXPECT_EQ(CVmImage::GetMappedBytesTotal(), mapped) << nth;
    }
}

}  // namespace
