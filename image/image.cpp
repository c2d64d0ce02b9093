// The attribute accessors of CImage. Getters return the member as stored and
// setters store their argument unchanged: flags keep whatever value they were
// given (5 stays 5), and indexes are not tested, as every module of the
// application relies on.
#include "image/image.h"

int CImage::GetBitsPixel() const { return BitsPixel; }
void CImage::SetBitsPixel(int bitsPixel) { BitsPixel = bitsPixel; }
int CImage::IsSigned() const { return Signed; }
void CImage::SetSigned(int isSigned) { Signed = isSigned; }
int CImage::GetDimension() const { return Dimension; }

// The one flag normalised to 0 or 1; it looks at Dimension, not Planes.
int CImage::IsColor() const { return Dimension > 2 ? 1 : 0; }

int CImage::GetWidth() const { return Width; }
void CImage::SetWidth(int width) { Width = width; }
int CImage::GetHeight() const { return Height; }
void CImage::SetHeight(int height) { Height = height; }
int CImage::GetPlanes() const { return Planes; }

// Dimension has no setter of its own: two or more planes make a stack of
// planes, anything else (0 and negative counts included) a single plane.
void CImage::SetPlanes(int planes) {
    Planes = planes;
    Dimension = planes > 1 ? 3 : 2;
}

// Samples over all planes, in 32-bit arithmetic that wraps like the
// original's; unsigned multiplication keeps the wrap well defined.
int CImage::GetPixelCount() const {
    return static_cast<int>(static_cast<unsigned>(Planes) * static_cast<unsigned>(Height) *
                            static_cast<unsigned>(Width));
}

double CImage::GetBscale() const { return Bscale; }
void CImage::SetBscale(double bscale) { Bscale = bscale; }
double CImage::GetBzero() const { return Bzero; }
void CImage::SetBzero(double bzero) { Bzero = bzero; }
int CImage::GetBlank() const { return Blank; }
void CImage::SetBlank(int blank) { Blank = blank; }
int CImage::IsBlankUsed() const { return BlankUsed; }
void CImage::SetBlankUsed(int blankUsed) { BlankUsed = blankUsed; }
int CImage::GetExtend() const { return Extend; }
void CImage::SetExtend(int extend) { Extend = extend; }

// Text first, index second, unlike most indexed setters of the application.
void CImage::SetType(CString text, int index) { Type[index] = text; }

double CImage::GetLevelMin(int plane) const { return LevelMin[plane]; }
double CImage::GetLevelMax(int plane) const { return LevelMax[plane]; }
double CImage::GetLevelRange(int plane) const { return LevelRange[plane]; }
double CImage::GetOrgDefaultLevelMin(int plane) const { return OrgDefaultLevelMin[plane]; }
double CImage::GetOrgDefaultLevelMax(int plane) const { return OrgDefaultLevelMax[plane]; }

int CImage::HasOwnLevel() const { return OwnLevel; }
void CImage::SetOwnLevel(int ownLevel) { OwnLevel = ownLevel; }
int CImage::IsSITypeRGB() const { return SITypeRGB; }
void CImage::SetSITypeRGB(int siTypeRgb) { SITypeRGB = siTypeRgb; }
int CImage::IsSaveableFormat() const { return SaveableFormat; }
void CImage::SetSaveableFormat(int saveable) { SaveableFormat = saveable; }
int CImage::IsSaveableFile() const { return SaveableFile; }
void CImage::SetSaveableFile(int saveable) { SaveableFile = saveable; }
int CImage::IsOverwriteAllowed() const { return OverwriteAllowed; }
void CImage::SetOverwriteAllowed(int allowed) { OverwriteAllowed = allowed; }

// The pointer stays valid until the member is next set: it is the member's
// own text, not a copy. A null name stores the empty string.
const char *CImage::GetOrgFileName() { return OrgFileName; }
void CImage::SetOrgFileName(const char *name) { OrgFileName = name; }
const char *CImage::GetOrgFileFormat() { return OrgFileFormat; }
void CImage::SetOrgFileFormat(const char *format) { OrgFileFormat = format; }

int CImage::GetOrgBitsPixel() { return OrgBitsPixel; }
void CImage::SetOrgBitsPixel(int bitsPixel) { OrgBitsPixel = bitsPixel; }
int CImage::GetOrgPlanes() { return OrgPlanes; }
void CImage::SetOrgPlanes(int planes) { OrgPlanes = planes; }
int CImage::GetOrgWidth() { return OrgWidth; }
void CImage::SetOrgWidth(int width) { OrgWidth = width; }
int CImage::GetOrgHeight() { return OrgHeight; }
void CImage::SetOrgHeight(int height) { OrgHeight = height; }

CString CImage::GetUndoDialogName() { return UndoDialogName; }
void CImage::SetUndoDialogName(CString name) { UndoDialogName = name; }

int CImage::GetUndoMode() { return UndoMode; }
void CImage::SetUndoMode(int mode) { UndoMode = mode; }
int CImage::GetContourMap() { return ContourMap; }
void CImage::SetContourMap(int contourMap) { ContourMap = contourMap; }
int CImage::GetFirstFitsHeight() { return FirstFitsHeight; }
void CImage::SetFirstFitsHeight(int height) { FirstFitsHeight = height; }
int CImage::GetFirstFits() { return FirstFits; }
void CImage::SetFirstFits(int firstFits) { FirstFits = firstFits; }
int CImage::UsedNorrinPC() { return NorrinPC; }
void CImage::SetNorrinPC(int used) { NorrinPC = used; }
int CImage::UsedPC() { return PC; }
void CImage::SetPC(int used) { PC = used; }
int CImage::UsedCD() { return CD; }
void CImage::SetCD(int used) { CD = used; }
int CImage::GetLogScale() { return LogScale; }
void CImage::SetLogScale(int logScale) { LogScale = logScale; }
