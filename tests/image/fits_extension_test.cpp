// CFitsExtension: index tests, the resizing of NAxes by SetNAxis, the
// argument orders of the indexed setters and the copies the getters return.
#include <gtest/gtest.h>

#include <afx_standin.h>

#include <functional>
#include <string>
#include <vector>

#include "image/fits_extension.h"

namespace {

// The record as text, every member that the accessors reach, so that "the
// record is unchanged" is one comparison.
std::string describe(const CFitsExtension &r) {
    std::string text = std::string(r.Xtension) + "|" + std::to_string(r.BitPix) + "|" + std::to_string(r.NAxis) + "|";
    for (INT_PTR i = 0; i < r.NAxes.GetSize(); ++i)
        text += std::to_string(r.NAxes[i]) + ",";
    text += std::string("|") + r.ExtName.GetString() + "|" + std::to_string(r.TFields) + "|";
    for (INT_PTR i = 0; i < r.TType.GetSize(); ++i)
        text += std::string(r.TType[i]) + ";" + std::to_string(r.TBCol[i]) + ";" + r.TForm[i].GetString() + ";" +
                r.TUnit[i].GetString() + ",";
    return text;
}

std::vector<int> axes(CFitsExtension &r) {
    std::vector<int> lengths;
    for (int i = 0; i < r.NAxes.GetSize(); ++i)
        lengths.push_back(r.GetNAxes(i));
    return lengths;
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

// A two-column table extension with two axes, 100 and 200, as the
// application's FITS code builds one (it sizes the column arrays).
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

TEST_F(FitsExtension, SetNAxisStoresTheCountAndResizesTheAxes) {
    struct Case {
        const char *name;
        int count;
        std::vector<int> axes;
        bool throws;
    } const cases[] = {
        {"growth zero-fills", 3, {100, 200, 0}, false},
        {"shrink drops the tail", 1, {100}, false},
        {"zero empties", 0, {}, false},
        {"negative throws after storing the count", -1, {100, 200}, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CFitsExtension r;
        make_two_column_table(r);
        EXPECT_EQ(throws_invalid_argument([&] { r.SetNAxis(c.count); }), c.throws);
        EXPECT_EQ(r.GetNAxis(), c.count);
        EXPECT_EQ(axes(r), c.axes);
    }
}

TEST_F(FitsExtension, NewAxesOfAnEmptyRecordAreZero) {
    CFitsExtension empty;
    empty.SetNAxis(2);
    EXPECT_EQ(axes(empty), (std::vector<int>{0, 0}));
}

// With a growth step of 64 the first block holds 64 axes, so growing to 50
// needs no allocation: it succeeds even when the next allocation would fail.
// Had SetNAxis reset the step, the block would hold 1 and growing would
// allocate.
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
    struct Case {
        const char *name;
        std::function<void(CFitsExtension &)> call;
    } const cases[] = {
        {"GetNAxes past the end", [](CFitsExtension &r) { r.GetNAxes(2); }},
        {"GetNAxes(-1)", [](CFitsExtension &r) { r.GetNAxes(-1); }},
        {"SetNAxes past the end", [](CFitsExtension &r) { r.SetNAxes(2, 512); }},
        {"SetNAxes(-1)", [](CFitsExtension &r) { r.SetNAxes(-1, 512); }},
        {"GetTType(-1)", [](CFitsExtension &r) { r.GetTType(-1); }},
        {"GetTBCol(-1)", [](CFitsExtension &r) { r.GetTBCol(-1); }},
        {"GetTForm(-1)", [](CFitsExtension &r) { r.GetTForm(-1); }},
        {"GetTUnit(-1)", [](CFitsExtension &r) { r.GetTUnit(-1); }},
        {"GetTType past the end", [](CFitsExtension &r) { r.GetTType(2); }},
        {"SetTType past the end", [](CFitsExtension &r) { r.SetTType("FLUX", 2); }},
        {"SetTBCol past the end", [](CFitsExtension &r) { r.SetTBCol(7, 2); }},
        {"SetTForm past the end", [](CFitsExtension &r) { r.SetTForm("E", 2); }},
        {"SetTUnit past the end", [](CFitsExtension &r) { r.SetTUnit("Jy", 2); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string before = describe(record_);
        const long live = afx_standin::LiveAllocations();
        EXPECT_TRUE(throws_invalid_argument([&] { c.call(record_); }));
        EXPECT_EQ(describe(record_), before);
        EXPECT_EQ(afx_standin::LiveAllocations(), live);
    }
}

// TFIELDS is a count only: the column arrays keep their number of entries.
TEST_F(FitsExtension, SetTFieldsSizesNoColumn) {
    CFitsExtension r;
    r.SetTFields(5);
    EXPECT_EQ(r.GetTFields(), 5);
    EXPECT_TRUE(throws_invalid_argument([&] { r.GetTType(0); }));
}

// SetNAxes takes the index first; the column setters take the value first.
TEST_F(FitsExtension, IndexedSettersTakeTheirArgumentsInTheirOwnOrder) {
    record_.SetNAxis(8);
    record_.SetNAxes(7, 0);
    record_.SetTBCol(7, 0);
    record_.SetTType("FLUX", 1);
    record_.SetTForm("1E", 1);
    record_.SetTUnit("Jy", 1);
    EXPECT_EQ(axes(record_), (std::vector<int>{100, 200, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(record_.GetTBCol(0), 7);
    EXPECT_EQ(record_.GetTBCol(1), 0);
    EXPECT_STREQ(record_.GetTType(1), "FLUX");
    EXPECT_STREQ(record_.GetTForm(1), "1E");
    EXPECT_STREQ(record_.GetTUnit(1), "Jy");
    EXPECT_STREQ(record_.GetTType(0), "");
}

// Writing into a returned string leaves the record alone, for every getter
// that returns one.
TEST_F(FitsExtension, ReturnedStringsAreIndependentCopies) {
    struct Case {
        const char *name;
        std::function<void(CFitsExtension &, CString)> set;
        std::function<CString(CFitsExtension &)> get;
    } const cases[] = {
        {"Xtension", [](CFitsExtension &r, CString s) { r.SetXtension(s); },
         [](CFitsExtension &r) { return r.GetXtension(); }},
        {"ExtName", [](CFitsExtension &r, CString s) { r.SetExtName(s); },
         [](CFitsExtension &r) { return r.GetExtName(); }},
        {"TType", [](CFitsExtension &r, CString s) { r.SetTType(s, 1); },
         [](CFitsExtension &r) { return r.GetTType(1); }},
        {"TForm", [](CFitsExtension &r, CString s) { r.SetTForm(s, 1); },
         [](CFitsExtension &r) { return r.GetTForm(1); }},
        {"TUnit", [](CFitsExtension &r, CString s) { r.SetTUnit(s, 1); },
         [](CFitsExtension &r) { return r.GetTUnit(1); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CString text("SCI");
        c.set(record_, text);
        text.GetBuffer(0)[0] = 'X'; // the argument was taken as a copy too
        text.ReleaseBuffer();
        CString copy = c.get(record_);
        copy.GetBuffer(0)[0] = 'X';
        copy.ReleaseBuffer();
        EXPECT_STREQ(c.get(record_), "SCI");
    }
}

}  // namespace
