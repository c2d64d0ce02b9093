// CImage: the application's image record. One object per image: its
// description in FITS terms, the display levels of each plane, where it came
// from, flags the application's modules keep on it, and its pixel store.
#pragma once

#include <afx.h>

#include "image/image_api.h"
#include "siblings/zirdib/dibapi.h"

class CVmImage;

class DIRIRA_CLASS CImage : public CObject {
public:
    // Number of entries of the type table (SetType).
    static constexpr int kTypeCount = 8;

    // ---- Construction, copying and filling (image library, libzircim) ----
    // An empty image: no store, no planes, empty strings, ready for CBmp::Read.
    CImage();
    // A copy made from the source alone: the three-argument form without
    // progress. This form is libdirira's; the three-argument one, whose
    // caption stays optional, is the image library's.
    CImage(const CImage &src);
    CImage(const CImage &src, HWND progressWnd, const char *caption = NULL);
    virtual ~CImage();
    CImage &operator=(const CImage &src);

    // Makes this image `width` x `height` x `planes` samples of BITPIX
    // `bitsPixel`, all zero, with display levels 0..255. Returns non-zero on
    // success; on failure (sizes not representable, memory) the image is
    // unchanged.
    int Create(int width, int height, int planes, int bitsPixel = -32);

    // Builds the image from a packed DIB (40-byte header, colour table, rows).
    // Returns non-zero on success; 0 leaves the image as it was. The DIB stays
    // the caller's.
    int AttachDIB(HDIB dib, HWND progressWnd, const char *caption);

    // ---- Attributes ----
    int GetBitsPixel() const;
    void SetBitsPixel(int bitsPixel);
    int IsSigned() const;
    void SetSigned(int isSigned);
    int GetDimension() const;
    int IsColor() const;
    int GetWidth() const;
    void SetWidth(int width);
    int GetHeight() const;
    void SetHeight(int height);
    int GetPlanes() const;
    void SetPlanes(int planes);
    int GetPixelCount() const;
    double GetBscale() const;
    void SetBscale(double bscale);
    double GetBzero() const;
    void SetBzero(double bzero);
    int GetBlank() const;
    void SetBlank(int blank);
    int IsBlankUsed() const;
    void SetBlankUsed(int blankUsed);
    int GetExtend() const;
    void SetExtend(int extend);
    void SetType(CString text, int index);
    double GetLevelMin(int plane) const;
    double GetLevelMax(int plane) const;
    double GetLevelRange(int plane) const;
    double GetOrgDefaultLevelMin(int plane) const;
    double GetOrgDefaultLevelMax(int plane) const;
    int HasOwnLevel() const;
    void SetOwnLevel(int ownLevel);
    int IsSITypeRGB() const;
    void SetSITypeRGB(int siTypeRgb);
    int IsSaveableFormat() const;
    void SetSaveableFormat(int saveable);
    int IsSaveableFile() const;
    void SetSaveableFile(int saveable);
    int IsOverwriteAllowed() const;
    void SetOverwriteAllowed(int allowed);
    const char *GetOrgFileName();
    void SetOrgFileName(const char *name);
    const char *GetOrgFileFormat();
    void SetOrgFileFormat(const char *format);
    int GetOrgBitsPixel();
    void SetOrgBitsPixel(int bitsPixel);
    int GetOrgPlanes();
    void SetOrgPlanes(int planes);
    int GetOrgWidth();
    void SetOrgWidth(int width);
    int GetOrgHeight();
    void SetOrgHeight(int height);
    CString GetUndoDialogName();
    void SetUndoDialogName(CString name);
    int GetUndoMode();
    void SetUndoMode(int mode);
    int GetContourMap();
    void SetContourMap(int contourMap);
    int GetFirstFitsHeight();
    void SetFirstFitsHeight(int height);
    int GetFirstFits();
    void SetFirstFits(int firstFits);
    int UsedNorrinPC();
    void SetNorrinPC(int used);
    int UsedPC();
    void SetPC(int used);
    int UsedCD();
    void SetCD(int used);
    int GetLogScale();
    void SetLogScale(int logScale);

    // ---- Raw pixels ----
    unsigned int GetImageSize() const;
    int GetBytesPixel() const;
    unsigned char *GetImageAdr(int x, int y, int plane, unsigned int mode, void **lock) const;
    int Unlock(void *lock);
    void UnlockAll();
    unsigned char *GetNextAdr(void *address) const;
    unsigned char *GetPrevAdr(void *address) const;
    double GetPixel(unsigned char *address) const;
    double GetPixel(int x, int y, int plane) const;

    // ---- The record, in declaration order ----
    // The fields are public as in the application's headers: its modules
    // and the image library read them directly.
    CVmImage *Store; // the paged pixel store, owned by the image library
    int BitsPixel;   // FITS BITPIX: 8, 16, 32, -32, -64
    int Signed;      // 16/32-bit integer samples are signed
    int Dimension;   // 2 for one plane, 3 for a stack of planes
    int Width;
    int Height;
    int Planes;
    double Bscale;
    double Bzero;
    int BlankUsed;
    int Blank;
    int Extend;
    CString Type[kTypeCount];
    double *LevelMin; // per plane, allocated by the image library
    double *LevelMax;
    double *LevelRange;
    double *OrgDefaultLevelMin;
    double *OrgDefaultLevelMax;
    int OwnLevel;
    int SaveableFormat;
    int SaveableFile;
    int OverwriteAllowed;
    int SITypeRGB;
    CString OrgFileName;
    CString OrgFileFormat;
    int OrgBitsPixel;
    int OrgPlanes;
    int OrgWidth;
    int OrgHeight;
    CString UndoDialogName;
    int UndoMode;
    int ContourMap;
    int FirstFitsHeight;
    int FirstFits;
    int NorrinPC;
    int PC;
    int CD;
    int LogScale;
};
