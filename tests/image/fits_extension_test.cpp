// CFitsExtension: the resizing of NAxes by SetNAxis, index tests, the
// argument orders of the indexed setters and the copies the getters return.
#include <gtest/gtest.h>

#include <afx_standin.h>

#include <functional>
#include <string>
#include <vector>

#include "image/fits_extension.h"

namespace {

// Every member the accessors reach, so that "the record is unchanged" is one comparison.
std::string describe(const CFitsExtension &r) {
    std::string text = std::string(r.Xtension) + "|" + r.ExtName.GetString() + "|" + std::to_string(r.NAxis) + "|";
    for (INT_PTR i = 0; i < r.NAxes.GetSize(); ++i)
        text += std::to_string(r.NAxes[i]) + ",";
    for (INT_PTR i = 0; i < r.TType.GetSize(); ++i)
        text += std::string(r.TType[i]) + ";" + std::to_string(r.TBCol[i]) + ";" + r.TForm[i].GetString() + ";" +
                r.TUnit[i].GetString() + ",";
    return text;
}

std::vector<int> axes(const CFitsExtension &r) {
    return std::vector<int>(r.NAxes.GetData(), r.NAxes.GetData() + r.NAxes.GetSize());
}

bool throws_invalid_argument(const std::function<void()> &fn) {
    try {
        fn();
    } catch (CInvalidArgException *e) {
        e->Delete();
        return true;
    }
    return false;
}

// Two axes, 100 and 200, and two columns, as the application's FITS code
// builds a table extension (it sizes the column arrays).
void make_two_column_table(CFitsExtension &r) {
    r.SetXtension("BINTABLE");
    r.SetNAxis(2);
    r.SetNAxes(0, 100);
    r.SetNAxes(1, 200);
    for (CStringArray *column : {&r.TType, &r.TForm, &r.TUnit})
        column->SetSize(2);
    r.TBCol.SetSize(2);
}

class FitsExtension : public testing::Test {
protected:
    void SetUp() override { make_two_column_table(record_); }
    void TearDown() override { afx_standin::ClearFaults(); }
    CFitsExtension record_;
};

// The count is stored before the resize, so a negative one is kept though the resize throws.
TEST_F(FitsExtension, SetNAxisStoresTheCountAndResizesTheAxes) {
    const struct { const char *name; int count; std::vector<int> axes; bool throws; } cases[] = {
        {"growth_zero_fills", 3, {100, 200, 0}, false},
        {"shrink_drops_the_tail", 1, {100}, false},
        {"negative_throws_after_storing", -1, {100, 200}, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        CFitsExtension r;
        make_two_column_table(r);
        EXPECT_EQ(throws_invalid_argument([&] { r.SetNAxis(c.count); }), c.throws);
        EXPECT_EQ(r.GetNAxis(), c.count);
        EXPECT_EQ(axes(r), c.axes);
    }
}

// With a growth step of 64 the first block holds 64 axes, so growing to 50
// needs no allocation and succeeds even when the next one would fail; had
// SetNAxis reset the step, growing would allocate.
TEST_F(FitsExtension, SetNAxisKeepsTheGrowthStep) {
    CFitsExtension r;
    r.NAxes.SetSize(0, 64);
    r.SetNAxis(1);
    afx_standin::FailNthAllocation(1);
    r.SetNAxis(50);
    EXPECT_EQ(r.NAxes.GetSize(), 50);
}

// Every indexed accessor tests its index first: a bad one throws the
// invalid-argument exception and leaves the record as it was.
TEST_F(FitsExtension, BadIndexThrowsBeforeAnythingChanges) {
    const struct { const char *name; std::function<void(CFitsExtension &)> call; } cases[] = {
        {"GetNAxes(2)", [](CFitsExtension &r) { r.GetNAxes(2); }},
        {"SetNAxes(-1)", [](CFitsExtension &r) { r.SetNAxes(-1, 512); }},
        {"GetTType(2)", [](CFitsExtension &r) { r.GetTType(2); }},
        {"GetTBCol(-1)", [](CFitsExtension &r) { r.GetTBCol(-1); }},
        {"SetTBCol(2)", [](CFitsExtension &r) { r.SetTBCol(7, 2); }},
        {"SetTForm(2)", [](CFitsExtension &r) { r.SetTForm("E", 2); }},
        {"SetTUnit(-1)", [](CFitsExtension &r) { r.SetTUnit("Jy", -1); }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string before = describe(record_);
        const long live = afx_standin::LiveAllocations();
        EXPECT_TRUE(throws_invalid_argument([&] { c.call(record_); }));
        EXPECT_EQ(describe(record_), before);
        EXPECT_EQ(afx_standin::LiveAllocations(), live);
    }
    CFitsExtension fresh;  // TFIELDS is a count only: no column array is sized
    fresh.SetTFields(5);
    EXPECT_EQ(fresh.GetTFields(), 5);
    EXPECT_TRUE(throws_invalid_argument([&] { fresh.GetTType(0); }));
}

// SetNAxes takes the index first; the column setters take the value first.
// Strings go in and come out as copies.
TEST_F(FitsExtension, IndexedSettersOrderAndStringCopies) {
    record_.SetNAxis(8);
    record_.SetNAxes(7, 0);
    record_.SetTBCol(7, 0);
    CString text("FLUX");
    record_.SetTType(text, 1);
    record_.SetTForm("1E", 1);
    record_.SetTUnit("Jy", 1);
    record_.SetExtName(text);
    text.GetBuffer(0)[0] = 'X';
    text.ReleaseBuffer();
    CString copy = record_.GetTType(1);
    copy.GetBuffer(0)[0] = 'X';
    copy.ReleaseBuffer();
    EXPECT_EQ(axes(record_), (std::vector<int>{100, 200, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(std::make_pair(record_.GetTBCol(0), record_.GetTBCol(1)), std::make_pair(7, 0));
    EXPECT_STREQ(record_.GetTType(1), "FLUX");
    EXPECT_STREQ(record_.GetTForm(1), "1E");
    EXPECT_STREQ(record_.GetTUnit(1), "Jy");
    EXPECT_STREQ(record_.GetExtName(), "FLUX");
    EXPECT_STREQ(record_.GetTType(0), "");
}

}  // namespace
