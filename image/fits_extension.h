// CFitsExtension: the keywords of one FITS extension header (XTENSION,
// BITPIX, NAXIS/NAXISn, EXTNAME, TFIELDS and the TTYPEn, TBCOLn, TFORMn,
// TUNITn columns). Every indexed accessor tests its index and throws the
// framework's invalid-argument exception before anything changes.
#pragma once

#include <afx.h>
#include <afxcoll.h>
#include <afxtempl.h>

#include "image/image_api.h"

class DIRIRA_CLASS CFitsExtension : public CObject {
public:
    // Construction belongs to the application's FITS code, not to this
    // library (here the image library stands in for it): an empty record
    // whose column arrays the builder sizes.
    CFitsExtension();
    virtual ~CFitsExtension();

    CString GetXtension();
    void SetXtension(CString xtension);
    int GetBitPix();
    void SetBitPix(int bitPix);
    int GetNAxis();
    void SetNAxis(int n);
    int GetNAxes(int index);
    void SetNAxes(int index, int value);
    CString GetExtName();
    void SetExtName(CString extName);
    int GetTFields();
    void SetTFields(int fields);
    CString GetTType(int index);
    void SetTType(CString text, int index);
    int GetTBCol(int index);
    void SetTBCol(int value, int index);
    CString GetTForm(int index);
    void SetTForm(CString text, int index);
    CString GetTUnit(int index);
    void SetTUnit(CString text, int index);

    CString Xtension;
    int BitPix;
    int NAxis;
    CArray<int, int> NAxes;
    CString ExtName;
    int TFields;
    CStringArray TType;
    CArray<int, int> TBCol;
    CStringArray TForm;
    CStringArray TUnit;
};
