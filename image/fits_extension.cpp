// The accessors of CFitsExtension. Every indexed accessor goes through the
// framework's array, whose index test throws the invalid-argument exception
// before anything is read or written; the record is unchanged then.
#include "image/fits_extension.h"

CString CFitsExtension::GetXtension() { return Xtension; }
void CFitsExtension::SetXtension(CString xtension) { Xtension = xtension; }
int CFitsExtension::GetBitPix() { return BitPix; }
void CFitsExtension::SetBitPix(int bitPix) { BitPix = bitPix; }
int CFitsExtension::GetNAxis() { return NAxis; }

// The count is stored first: a negative count is kept even though the
// resize then throws and leaves the axis lengths as they were. The growth
// step of the array stays what it was.
void CFitsExtension::SetNAxis(int n) {
    NAxis = n;
    NAxes.SetSize(n);
}

int CFitsExtension::GetNAxes(int index) { return NAxes.GetAt(index); }

// Index first, value second: unlike the column setters below.
void CFitsExtension::SetNAxes(int index, int value) { NAxes.SetAt(index, value); }

CString CFitsExtension::GetExtName() { return ExtName; }
void CFitsExtension::SetExtName(CString extName) { ExtName = extName; }
int CFitsExtension::GetTFields() { return TFields; }

// Only the count: whatever builds the record sizes the column arrays.
void CFitsExtension::SetTFields(int fields) { TFields = fields; }

// The column setters take the value first and the index second.
CString CFitsExtension::GetTType(int index) { return TType.GetAt(index); }
void CFitsExtension::SetTType(CString text, int index) { TType.SetAt(index, text); }
int CFitsExtension::GetTBCol(int index) { return TBCol.GetAt(index); }
void CFitsExtension::SetTBCol(int value, int index) { TBCol.SetAt(index, value); }
CString CFitsExtension::GetTForm(int index) { return TForm.GetAt(index); }
void CFitsExtension::SetTForm(CString text, int index) { TForm.SetAt(index, text); }
CString CFitsExtension::GetTUnit(int index) { return TUnit.GetAt(index); }
void CFitsExtension::SetTUnit(CString text, int index) { TUnit.SetAt(index, text); }
