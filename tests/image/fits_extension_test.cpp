// CFitsExtension: the resizing of NAxes by SetNAxis, index tests, the
// argument orders of the indexed setters and the copies the getters return.
#include <gtest/gtest.h>

#include <afx_standin.h>

#include <functional>
#include <string>
#include <tuple>

#include "image/fits_extension.h"

namespace {

// Every member the accessors reach, so that "the record is unchanged" is one comparison.
std::string describe(const CFitsExtension &r) {
    std::string text = std::string(r.Xtension) + "|" + r.ExtName.GetString() + "|" + std::to_string(r.NAxis) + "|";
    for (INT_PTR i = 0; i < r.NAxes.GetSize(); ++i) text += std::to_string(r.NAxes[i]) + ",";
    for (INT_PTR i = 0; i < r.TType.GetSize(); ++i)
        text += std::string("|") + r.TType[i].GetString() + ";" + std::to_string(r.TBCol[i]) + ";" + r.TForm[i].GetString() + ";" + r.TUnit[i].GetString();
    return text + "|" + std::to_string(r.TFields);
}

// Each row runs on a table extension of two axes, 100 and 200, and two
// columns, as the application's FITS code builds one (it sizes the column
// arrays). A bad index throws the invalid-argument exception before anything
// changes; SetNAxis stores the count before it resizes, so a negative one is
// kept though the resize throws. SetNAxes takes the index first, the column
// setters the value first; strings go in and come out as copies. TFIELDS is
// a count only: no column array is sized by it.
TEST(FitsExtension, AccessorsAgainstTheWholeRecord) {
    const char *const kTable = "BINTABLE||2|100,200,|;0;;|;0;;|0";
    const struct { const char *name; std::function<void(CFitsExtension &)> call; bool throws; const char *after; } cases[] = {
        {"SetNAxis(3) zero-fills", [](CFitsExtension &r) { r.SetNAxis(3); }, false, "BINTABLE||3|100,200,0,|;0;;|;0;;|0"},
        {"SetNAxis(1) drops the tail", [](CFitsExtension &r) { r.SetNAxis(1); }, false, "BINTABLE||1|100,|;0;;|;0;;|0"},
        {"SetNAxis(-1) stores, then throws", [](CFitsExtension &r) { r.SetNAxis(-1); }, true, "BINTABLE||-1|100,200,|;0;;|;0;;|0"},
        {"GetNAxes(2)", [](CFitsExtension &r) { r.GetNAxes(2); }, true, kTable},
        {"SetNAxes(-1)", [](CFitsExtension &r) { r.SetNAxes(-1, 512); }, true, kTable},
        {"GetTType(2)", [](CFitsExtension &r) { r.GetTType(2); }, true, kTable},
        {"GetTBCol(-1)", [](CFitsExtension &r) { r.GetTBCol(-1); }, true, kTable},
        {"SetTBCol(7, 2)", [](CFitsExtension &r) { r.SetTBCol(7, 2); }, true, kTable},
        {"SetTForm(E, 2)", [](CFitsExtension &r) { r.SetTForm("E", 2); }, true, kTable},
        {"SetTUnit(Jy, -1)", [](CFitsExtension &r) { r.SetTUnit("Jy", -1); }, true, kTable},
        {"GetTType(2) after SetTFields(5)", [](CFitsExtension &r) { r.SetTFields(5), r.GetTType(2); }, true, "BINTABLE||2|100,200,|;0;;|;0;;|5"},
        {"orders and copies", [](CFitsExtension &r) {
             CString text("FLUX");
             r.SetNAxis(4), r.SetNAxes(3, 9), r.SetTBCol(7, 0), r.SetTType(text, 1), r.SetTForm("1E", 1), r.SetTUnit("Jy", 1);
             r.SetExtName(text), r.SetBitPix(-32), text.GetBuffer(0)[0] = 'X', text.ReleaseBuffer();
             CString copy = r.GetTType(1);
             copy.GetBuffer(0)[0] = 'X', copy.ReleaseBuffer();
             EXPECT_TRUE(r.GetTType(1) == "FLUX" && r.GetTForm(1) == "1E" && r.GetTUnit(1) == "Jy" && r.GetExtName() == "FLUX" &&
                         r.GetTBCol(0) == 7 && r.GetNAxes(3) == 9 && r.GetBitPix() == -32 && r.GetXtension() == "BINTABLE");
         }, false, "BINTABLE|FLUX|4|100,200,0,9,|;7;;|FLUX;0;1E;Jy|0"}};
    for (const auto &c : cases) {
        CFitsExtension r;
        r.SetXtension("BINTABLE"), r.SetNAxis(2), r.SetNAxes(0, 100), r.SetNAxes(1, 200), r.TBCol.SetSize(2);
        for (CStringArray *column : {&r.TType, &r.TForm, &r.TUnit}) column->SetSize(2);
        const long live = afx_standin::LiveAllocations();
        bool thrown = false;
        try {
            c.call(r);
        } catch (CInvalidArgException *e) {
            e->Delete(), thrown = true;
        }
        EXPECT_EQ(std::make_tuple(thrown, describe(r)), std::make_tuple(c.throws, std::string(c.after))) << c.name;
        EXPECT_TRUE(!c.throws || afx_standin::LiveAllocations() == live) << c.name;
    }
}

}  // namespace
