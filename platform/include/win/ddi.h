// The records and constants of the graphics-driver interface: what the GDI
// engine hands a printer graphics driver (surfaces, brushes, clips, paths,
// strings, fonts, transforms, colour translations) and what the driver
// hands back (its function table, device capabilities, font metrics, glyph
// sets). The engine services that work on these records are declared in
// win/ddi_engine.h.
//
// Layouts: the records live only inside one process. Pointers keep their
// 64-bit size; the offset fields of the font records (dp...) are 32-bit
// offsets inside their block, so an IFIMETRICS is 184 bytes and the face
// name a driver places right after it begins at byte 184. GDIINFO and
// DEVINFO carry every member a driver fills within their first 304 and 300
// bytes, as drivers copy them.
#pragma once

#include <cstddef>

#include "win/gdi_types.h"
#include "win/types.h"

// ---- scalars ----------------------------------------------------------------

using FIX = LONG;  // 28.4 fixed point
using FLOATL = FLOAT;
using FLONG = ULONG;
using FSHORT = USHORT;
using FWORD = SHORT;
using HGLYPH = ULONG;
using PTRDIFF = LONG;  // offset inside the record's block
using IDENT = ULONG;
using LDECI4 = LONG;
using PFN = INT_PTR (*)();

struct DHPDEV__;
using DHPDEV = DHPDEV__*;
struct DHSURF__;
using DHSURF = DHSURF__*;
struct HSURF__;
using HSURF = HSURF__*;
struct HDEV__;
using HDEV = HDEV__*;

#define HGLYPH_INVALID (static_cast<HGLYPH>(-1))
#define FD_ERROR 0xFFFFFFFFu
#define DDI_ERROR 0xFFFFFFFFu

struct POINTFIX {
  FIX x;
  FIX y;
};
struct RECTFX {
  FIX xLeft;
  FIX yTop;
  FIX xRight;
  FIX yBottom;
};
struct POINTE {
  FLOATL x;
  FLOATL y;
};
struct POINTQF {
  LARGE_INTEGER x;
  LARGE_INTEGER y;
};
struct XFORML {
  FLOATL eM11, eM12, eM21, eM22, eDx, eDy;
};
struct FD_XFORM {
  FLOATL eXX, eXY, eYX, eYY;
};
union FLOAT_LONG {
  FLOATL e;
  LONG l;
};

// ---- driver enable ----------------------------------------------------------

struct DRVFN {
  ULONG iFunc;
  PFN pfn;
};
struct DRVENABLEDATA {
  ULONG iDriverVersion;
  ULONG c;
  DRVFN* pdrvfn;
};

#define DDI_DRIVER_VERSION_NT4 0x00020000u
#define DDI_DRIVER_VERSION_NT5 0x00030000u
#define DDI_DRIVER_VERSION_NT5_01 0x00030100u
#define DRVQUERY_USERMODE 1

// Function indexes of the DRVFN table.
#define INDEX_DrvEnablePDEV 0
#define INDEX_DrvCompletePDEV 1
#define INDEX_DrvDisablePDEV 2
#define INDEX_DrvEnableSurface 3
#define INDEX_DrvDisableSurface 4
#define INDEX_DrvAssertMode 5
#define INDEX_DrvResetPDEV 7
#define INDEX_DrvCreateDeviceBitmap 10
#define INDEX_DrvDeleteDeviceBitmap 11
#define INDEX_DrvRealizeBrush 12
#define INDEX_DrvDitherColor 13
#define INDEX_DrvStrokePath 14
#define INDEX_DrvFillPath 15
#define INDEX_DrvStrokeAndFillPath 16
#define INDEX_DrvPaint 17
#define INDEX_DrvBitBlt 18
#define INDEX_DrvCopyBits 19
#define INDEX_DrvStretchBlt 20
#define INDEX_DrvSetPalette 22
#define INDEX_DrvTextOut 23
#define INDEX_DrvEscape 24
#define INDEX_DrvDrawEscape 25
#define INDEX_DrvQueryFont 26
#define INDEX_DrvQueryFontTree 27
#define INDEX_DrvQueryFontData 28
#define INDEX_DrvSetPointerShape 29
#define INDEX_DrvMovePointer 30
#define INDEX_DrvLineTo 31
#define INDEX_DrvSendPage 32
#define INDEX_DrvStartPage 33
#define INDEX_DrvEndDoc 34
#define INDEX_DrvStartDoc 35
#define INDEX_DrvGetGlyphMode 37
#define INDEX_DrvSynchronize 38
#define INDEX_DrvQueryAdvanceWidths 53
#define INDEX_DrvStretchBltROP 69
#define INDEX_LAST 89

#define ED_ABORTDOC 1

// ---- device capabilities ----------------------------------------------------

struct CIECHROMA {
  LDECI4 x;
  LDECI4 y;
  LDECI4 Y;
};
struct COLORINFO {
  CIECHROMA Red, Green, Blue, Cyan, Magenta, Yellow, AlignmentWhite;
  LDECI4 RedGamma, GreenGamma, BlueGamma;
  LDECI4 MagentaInCyanDye, YellowInCyanDye, CyanInMagentaDye;
  LDECI4 YellowInMagentaDye, CyanInYellowDye, MagentaInYellowDye;
};
static_assert(sizeof(COLORINFO) == 120);

struct GDIINFO {
  ULONG ulVersion;
  ULONG ulTechnology;
  ULONG ulHorzSize;
  ULONG ulVertSize;
  ULONG ulHorzRes;
  ULONG ulVertRes;
  ULONG cBitsPixel;
  ULONG cPlanes;
  ULONG ulNumColors;
  ULONG flRaster;
  ULONG ulLogPixelsX;
  ULONG ulLogPixelsY;
  ULONG flTextCaps;
  ULONG ulDACRed;
  ULONG ulDACGreen;
  ULONG ulDACBlue;
  ULONG ulAspectX;
  ULONG ulAspectY;
  ULONG ulAspectXY;
  LONG xStyleStep;
  LONG yStyleStep;
  LONG denStyleStep;
  POINTL ptlPhysOffset;
  SIZEL szlPhysSize;
  ULONG ulNumPalReg;
  COLORINFO ciDevice;
  ULONG ulDevicePelsDPI;
  ULONG ulPrimaryOrder;
  ULONG ulHTPatternSize;
  ULONG ulHTOutputFormat;
  ULONG flHTFlags;
  ULONG ulVRefresh;
  ULONG ulBltAlignment;
  ULONG ulPanningHorzRes;
  ULONG ulPanningVertRes;
  ULONG xPanningAlignment;
  ULONG yPanningAlignment;
  ULONG cxHTPat;
  ULONG cyHTPat;
  LPBYTE pHTPatA;
  LPBYTE pHTPatB;
  LPBYTE pHTPatC;
  // Members of later engine versions, past the 304 bytes a driver fills.
  ULONG flShadeBlend;
  ULONG ulPhysicalPixelCharacteristics;
  ULONG ulPhysicalPixelGamma;
};
static_assert(offsetof(GDIINFO, ciDevice) == 108);
static_assert(offsetof(GDIINFO, ulHTPatternSize) == 236);
static_assert(offsetof(GDIINFO, flShadeBlend) == 304);

// Packed to 4 so that the palette handle, widened to 64 bits, still ends
// within the first 300 bytes.
#pragma pack(push, 4)
struct DEVINFO {
  FLONG flGraphicsCaps;
  LOGFONTW lfDefaultFont;
  LOGFONTW lfAnsiVarFont;
  LOGFONTW lfAnsiFixFont;
  ULONG cFonts;
  ULONG iDitherFormat;
  USHORT cxDither;
  USHORT cyDither;
  HPALETTE hpalDefault;
  // Member of later engine versions, past the 300 bytes a driver fills.
  FLONG flGraphicsCaps2;
};
#pragma pack(pop)
static_assert(offsetof(DEVINFO, cFonts) == 280);
static_assert(offsetof(DEVINFO, hpalDefault) == 292);
static_assert(offsetof(DEVINFO, flGraphicsCaps2) == 300);

#define DT_PLOTTER 0
#define DT_RASDISPLAY 1
#define DT_RASPRINTER 2

#define GCAPS_BEZIERS 0x00000001u
#define GCAPS_GEOMETRICWIDE 0x00000002u
#define GCAPS_ALTERNATEFILL 0x00000004u
#define GCAPS_WINDINGFILL 0x00000008u
#define GCAPS_HALFTONE 0x00000010u
#define GCAPS_COLOR_DITHER 0x00000020u
#define GCAPS_HORIZSTRIKE 0x00000040u
#define GCAPS_VERTSTRIKE 0x00000080u
#define GCAPS_OPAQUERECT 0x00000100u
#define GCAPS_VECTORFONT 0x00000200u
#define GCAPS_MONO_DITHER 0x00000400u
#define GCAPS_ASYNCCHANGE 0x00000800u
#define GCAPS_ASYNCMOVE 0x00001000u
#define GCAPS_DONTJOURNAL 0x00002000u
#define GCAPS_DIRECTDRAW 0x00004000u
#define GCAPS_ARBRUSHOPAQUE 0x00008000u
#define GCAPS_PANNING 0x00010000u
#define GCAPS_HIGHRESTEXT 0x00040000u
#define GCAPS_PALMANAGED 0x00080000u
#define GCAPS_DITHERONREALIZE 0x00200000u
#define GCAPS_NO64BITMEMACCESS 0x00400000u
#define GCAPS_FORCEDITHER 0x00800000u
#define GCAPS_GRAY16 0x01000000u
#define GCAPS_ICM 0x02000000u
#define GCAPS_CMYKCOLOR 0x04000000u
#define GCAPS_LAYERED 0x08000000u
#define GCAPS_ARBRUSHTEXT 0x10000000u
#define GCAPS_SCREENPRECISION 0x20000000u
#define GCAPS_FONT_RASTERIZER 0x40000000u
#define GCAPS_NUP 0x80000000u

#define PRIMARY_ORDER_ABC 0
#define HT_PATSIZE_2x2 0
#define HT_PATSIZE_2x2_M 1
#define HT_PATSIZE_4x4 2
#define HT_PATSIZE_4x4_M 3
#define HT_PATSIZE_6x6 4
#define HT_PATSIZE_6x6_M 5
#define HT_PATSIZE_8x8 6
#define HT_PATSIZE_8x8_M 7
#define HT_PATSIZE_10x10 8
#define HT_PATSIZE_10x10_M 9
#define HT_PATSIZE_12x12 10
#define HT_PATSIZE_12x12_M 11
#define HT_PATSIZE_14x14 12
#define HT_PATSIZE_14x14_M 13
#define HT_PATSIZE_16x16 14
#define HT_PATSIZE_16x16_M 15
#define HT_FORMAT_1BPP 0
#define HT_FORMAT_4BPP 2
#define HT_FORMAT_4BPP_IRGB 3
#define HT_FORMAT_8BPP 4
#define HT_FORMAT_16BPP 5
#define HT_FORMAT_24BPP 6
#define HT_FORMAT_32BPP 7
#define HT_FLAG_SQUARE_DEVICE_PEL 0x00000001u
#define HT_FLAG_HAS_BLACK_DYE 0x00000002u

// ---- surfaces ---------------------------------------------------------------

struct SURFOBJ {
  DHSURF dhsurf;
  HSURF hsurf;
  DHPDEV dhpdev;
  HDEV hdev;
  SIZEL sizlBitmap;
  ULONG cjBits;
  PVOID pvBits;
  PVOID pvScan0;  // first scan line (the top one for BMF_TOPDOWN)
  LONG lDelta;    // bytes from one scan line to the next, negative bottom-up
  ULONG iUniq;
  ULONG iBitmapFormat;
  USHORT iType;
  USHORT fjBitmap;
};

#define STYPE_BITMAP 0
#define STYPE_DEVICE 1
#define STYPE_DEVBITMAP 3

#define BMF_1BPP 1
#define BMF_4BPP 2
#define BMF_8BPP 3
#define BMF_16BPP 4
#define BMF_24BPP 5
#define BMF_32BPP 6
#define BMF_4RLE 7
#define BMF_8RLE 8
#define BMF_JPEG 9
#define BMF_PNG 10

#define BMF_TOPDOWN 0x0001
#define BMF_NOZEROINIT 0x0002
#define BMF_DONTCACHE 0x0004
#define BMF_USERMEM 0x0008
#define BMF_KMSECTION 0x0010
#define BMF_NOTSYSMEM 0x0020
#define BMF_WINDOW_BLT 0x0040

#define HOOK_BITBLT 0x00000001u
#define HOOK_STRETCHBLT 0x00000002u
#define HOOK_PLGBLT 0x00000004u
#define HOOK_TEXTOUT 0x00000008u
#define HOOK_PAINT 0x00000010u
#define HOOK_STROKEPATH 0x00000020u
#define HOOK_FILLPATH 0x00000040u
#define HOOK_STROKEANDFILLPATH 0x00000080u
#define HOOK_LINETO 0x00000100u
#define HOOK_COPYBITS 0x00000400u
#define HOOK_MOVEPANNING 0x00000800u
#define HOOK_SYNCHRONIZE 0x00001000u
#define HOOK_STRETCHBLTROP 0x00002000u
#define HOOK_SYNCHRONIZEACCESS 0x00004000u
#define HOOK_TRANSPARENTBLT 0x00008000u
#define HOOK_ALPHABLEND 0x00010000u
#define HOOK_GRADIENTFILL 0x00020000u
#define HOOK_FLAGS 0x0003B5FFu

// ---- palettes and colour translation ---------------------------------------

#define PAL_INDEXED 0x00000001u
#define PAL_BITFIELDS 0x00000002u
#define PAL_RGB 0x00000004u
#define PAL_BGR 0x00000008u
#define PAL_CMYK 0x00000010u

struct XLATEOBJ {
  ULONG iUniq;
  FLONG flXlate;
  USHORT iSrcType;  // unused, kept for layout
  USHORT iDstType;  // unused, kept for layout
  ULONG cEntries;   // entries of pulXlate (with XO_TABLE)
  ULONG* pulXlate;  // source index -> destination colour
};

#define XO_TRIVIAL 0x00000001u
#define XO_TABLE 0x00000002u
#define XO_TO_MONO 0x00000004u
#define XO_FROM_CMYK 0x00000008u
#define XO_DEVICE_ICM 0x00000010u
#define XO_HOST_ICM 0x00000020u

#define XO_SRCPALETTE 1
#define XO_DESTPALETTE 2
#define XO_DESTDCPALETTE 3
#define XO_SRCBITFIELDS 4
#define XO_DESTBITFIELDS 5

// ---- brushes ----------------------------------------------------------------

struct BRUSHOBJ {
  ULONG iSolidColor;  // the colour of a solid brush, 0xFFFFFFFF for a pattern
  PVOID pvRbrush;     // the driver's realisation, once made
  FLONG flColorType;
};

#define BR_DEVICE_ICM 0x01u
#define BR_HOST_ICM 0x02u
#define BR_CMYKCOLOR 0x04u
#define BR_ORIGCOLOR 0x08u

#define HS_HORIZONTAL 0
#define HS_VERTICAL 1
#define HS_FDIAGONAL 2
#define HS_BDIAGONAL 3
#define HS_CROSS 4
#define HS_DIAGCROSS 5
#define HS_DDI_MAX 6

// Mix modes: foreground in bits 0-7, background in bits 8-15, each one of
// the binary raster operations R2_* (win/gdi_types.h).

using ROP4 = ULONG;
using MIX = ULONG;

// ---- clipping ---------------------------------------------------------------

struct CLIPOBJ {
  ULONG iUniq;
  RECTL rclBounds;
  BYTE iDComplexity;
  BYTE iFComplexity;
  BYTE iMode;
  BYTE fjOptions;
};

#define DC_TRIVIAL 0
#define DC_RECT 1
#define DC_COMPLEX 3
#define FC_RECT 1
#define FC_RECT4 2
#define FC_COMPLEX 3
#define TC_RECTANGLES 0
#define TC_PATHOBJ 2
#define OC_BANK_CLIP 1

#define CT_RECTANGLES 0u
#define CD_RIGHTDOWN 0u
#define CD_LEFTDOWN 1u
#define CD_RIGHTUP 2u
#define CD_LEFTUP 3u
#define CD_ANY 4u

struct ENUMRECTS {
  ULONG c;
  RECTL arcl[1];
};

// ---- paths ------------------------------------------------------------------

struct PATHOBJ {
  FLONG fl;
  ULONG cCurves;
};
struct PATHDATA {
  FLONG flags;
  ULONG count;
  POINTFIX* pptfx;
};

#define PO_BEZIERS 0x00000001u
#define PO_ELLIPSE 0x00000002u
#define PO_ALL_INTEGERS 0x00000004u
#define PO_ENUM_AS_INTEGERS 0x00000008u

#define PD_BEGINSUBPATH 0x00000001u
#define PD_ENDSUBPATH 0x00000002u
#define PD_RESETSTYLE 0x00000004u
#define PD_CLOSEFIGURE 0x00000008u
#define PD_BEZIERS 0x00000010u
#define PD_ALL (PD_BEGINSUBPATH | PD_ENDSUBPATH | PD_RESETSTYLE | PD_CLOSEFIGURE | PD_BEZIERS)

#define FP_ALTERNATEMODE 1
#define FP_WINDINGMODE 2

struct LINEATTRS {
  FLONG fl;
  ULONG iJoin;
  ULONG iEndCap;
  FLOAT_LONG elWidth;  // LONG for a cosmetic pen, FLOATL for a geometric one
  FLOATL eMiterLimit;
  ULONG cstyle;
  FLOAT_LONG* pstyle;
  FLOAT_LONG elStyleState;
};

#define LA_GEOMETRIC 0x00000001u
#define LA_ALTERNATE 0x00000002u
#define LA_STARTGAP 0x00000004u
#define LA_STYLED 0x00000008u

#define JOIN_ROUND 0
#define JOIN_BEVEL 1
#define JOIN_MITER 2
#define ENDCAP_ROUND 0
#define ENDCAP_SQUARE 1
#define ENDCAP_BUTT 2

// ---- transforms -------------------------------------------------------------

struct XFORMOBJ {
  ULONG ulReserved;
};

#define XF_LTOL 0
#define XF_INV_LTOL 1
#define XF_LTOFX 2
#define XF_INV_FXTOL 3

#define GX_IDENTITY 0
#define GX_OFFSET 1
#define GX_SCALE 2
#define GX_GENERAL 3

// ---- fonts and text ---------------------------------------------------------

struct FONTOBJ {
  ULONG iUniq;
  ULONG iFace;  // a device font's number (1-based), 0 for a TrueType font
  ULONG cxMax;
  FLONG flFontType;
  ULONG_PTR iTTUniq;
  ULONG_PTR iFile;
  SIZE sizLogResPpi;
  ULONG ulStyleSize;
  PVOID pvConsumer;
  PVOID pvProducer;
};

#define FO_TYPE_RASTER 0x00000001u
#define FO_TYPE_DEVICE 0x00000002u
#define FO_TYPE_TRUETYPE 0x00000004u
#define FO_TYPE_OPENTYPE 0x00000008u
#define FO_SIM_BOLD 0x00002000u
#define FO_SIM_ITALIC 0x00004000u
#define FO_EM_HEIGHT 0x00008000u
#define FO_GRAY16 0x00010000u
#define FO_NOGRAY16 0x00020000u
#define FO_NOHINTS 0x00040000u
#define FO_NO_CHOICE 0x00080000u
#define FO_CFF 0x00100000u
#define FO_POSTSCRIPT 0x00200000u
#define FO_MULTIPLEMASTER 0x00400000u
#define FO_VERT_FACE 0x00800000u
#define FO_DBCS_FONT 0x01000000u
#define FO_NOCLEARTYPE 0x02000000u
#define FO_CLEARTYPE_X 0x10000000u
#define FO_CLEARTYPE_Y 0x20000000u

// FONTOBJ_cGetGlyphs modes; DrvGetGlyphMode answers FO_GLYPHBITS or FO_PATHOBJ.
#define FO_HGLYPHS 0
#define FO_GLYPHBITS 1
#define FO_PATHOBJ 2

struct GLYPHBITS {
  POINTL ptlOrigin;  // top-left pixel relative to the character origin
  SIZEL sizlBitmap;
  BYTE aj[1];  // rows top down, 1 bit per pixel, each row (cx + 7) / 8 bytes
};

union GLYPHDEF {
  GLYPHBITS* pgb;
  PATHOBJ* ppo;
};

struct GLYPHPOS {
  HGLYPH hg;
  GLYPHDEF* pgdf;
  POINTL ptl;  // the character origin in device space
};

struct GLYPHDATA {
  GLYPHDEF gdf;
  HGLYPH hg;
  FIX fxD;
  FIX fxA;
  FIX fxAB;
  FIX fxInkTop;
  FIX fxInkBottom;
  RECTL rclInk;
  POINTQF ptqD;
};

struct STROBJ {
  ULONG cGlyphs;
  FLONG flAccel;
  ULONG ulCharInc;
  RECTL rclBkGround;
  GLYPHPOS* pgp;  // null: the glyphs come from STROBJ_bEnum
  LPWSTR pwszOrg;
};

#define SO_FLAG_DEFAULT_PLACEMENT 0x00000001u
#define SO_HORIZONTAL 0x00000002u
#define SO_VERTICAL 0x00000004u
#define SO_REVERSED 0x00000008u
#define SO_ZERO_BEARINGS 0x00000010u
#define SO_CHAR_INC_EQUAL_BM_BASE 0x00000020u
#define SO_MAXEXT_EQUAL_BM_SIDE 0x00000040u
#define SO_DO_NOT_SUBSTITUTE_DEVICE_FONT 0x00000080u
#define SO_GLYPHINDEX_TEXTOUT 0x00000100u
#define SO_ESC_NOT_ORIENT 0x00000200u
#define SO_DXDY 0x00000400u
#define SO_CHARACTER_EXTRA 0x00000800u
#define SO_BREAK_EXTRA 0x00001000u

struct WCRUN {
  WCHAR wcLow;
  USHORT cGlyphs;
  HGLYPH* phg;  // null: the handles are wcLow .. wcLow + cGlyphs - 1
};

struct FD_GLYPHSET {
  ULONG cjThis;
  FLONG flAccel;
  ULONG cGlyphsSupported;
  ULONG cRuns;
  WCRUN awcrun[1];
};

#define GS_UNICODE_HANDLES 0x00000001u
#define GS_8BIT_HANDLES 0x00000002u
#define GS_16BIT_HANDLES 0x00000004u

struct FD_KERNINGPAIR {
  WCHAR wcFirst;
  WCHAR wcSecond;
  FWORD fwdKern;
};
static_assert(sizeof(FD_KERNINGPAIR) == 6);

struct FD_DEVICEMETRICS {
  FLONG flRealizedType;
  POINTE pteBase;
  POINTE pteSide;
  LONG lD;
  FIX fxMaxAscender;
  FIX fxMaxDescender;
  POINTL ptlUnderline1;
  POINTL ptlStrikeOut;
  POINTL ptlULThickness;
  POINTL ptlSOThickness;
  ULONG cxMax;
  ULONG cyMax;
  ULONG cjGlyphMax;
  FD_XFORM fdxQuantized;
  LONG lNonLinearExtLeading;
  LONG lNonLinearIntLeading;
  LONG lNonLinearMaxCharWidth;
  LONG lNonLinearAvgCharWidth;
  LONG lMinA;
  LONG lMinC;
  LONG lMinD;
  LONG alReserved[1];
};
static_assert(sizeof(FD_DEVICEMETRICS) == 124);

struct PANOSE {
  BYTE bFamilyType;
  BYTE bSerifStyle;
  BYTE bWeight;
  BYTE bProportion;
  BYTE bContrast;
  BYTE bStrokeVariation;
  BYTE bArmStyle;
  BYTE bLetterform;
  BYTE bMidline;
  BYTE bXHeight;
};

struct IFIMETRICS {
  ULONG cjThis;  // the whole block: the record, its names and simulations
  ULONG cjIfiExtra;
  PTRDIFF dpwszFamilyName;
  PTRDIFF dpwszStyleName;
  PTRDIFF dpwszFaceName;
  PTRDIFF dpwszUniqueName;
  PTRDIFF dpFontSim;
  LONG lEmbedId;
  LONG lItalicAngle;
  LONG lCharBias;
  PTRDIFF dpCharSets;
  BYTE jWinCharSet;
  BYTE jWinPitchAndFamily;
  USHORT usWinWeight;
  ULONG flInfo;
  USHORT fsSelection;
  USHORT fsType;
  FWORD fwdUnitsPerEm;
  FWORD fwdLowestPPEm;
  FWORD fwdWinAscender;
  FWORD fwdWinDescender;
  FWORD fwdMacAscender;
  FWORD fwdMacDescender;
  FWORD fwdMacLineGap;
  FWORD fwdTypoAscender;
  FWORD fwdTypoDescender;
  FWORD fwdTypoLineGap;
  FWORD fwdAveCharWidth;
  FWORD fwdMaxCharInc;
  FWORD fwdCapHeight;
  FWORD fwdXHeight;
  FWORD fwdSubscriptXSize;
  FWORD fwdSubscriptYSize;
  FWORD fwdSubscriptXOffset;
  FWORD fwdSubscriptYOffset;
  FWORD fwdSuperscriptXSize;
  FWORD fwdSuperscriptYSize;
  FWORD fwdSuperscriptXOffset;
  FWORD fwdSuperscriptYOffset;
  FWORD fwdUnderscoreSize;
  FWORD fwdUnderscorePosition;
  FWORD fwdStrikeoutSize;
  FWORD fwdStrikeoutPosition;
  BYTE chFirstChar;
  BYTE chLastChar;
  BYTE chDefaultChar;
  BYTE chBreakChar;
  WCHAR wcFirstChar;
  WCHAR wcLastChar;
  WCHAR wcDefaultChar;
  WCHAR wcBreakChar;
  POINTL ptlBaseline;
  POINTL ptlAspect;
  POINTL ptlCaret;
  RECTL rclFontBox;
  BYTE achVendId[4];
  ULONG cKerningPairs;
  ULONG ulPanoseCulture;
  PANOSE panose;
};
static_assert(sizeof(IFIMETRICS) == 184);
static_assert(offsetof(IFIMETRICS, jWinCharSet) == 44);
static_assert(offsetof(IFIMETRICS, fwdUnitsPerEm) == 56);
static_assert(offsetof(IFIMETRICS, chFirstChar) == 108);
static_assert(offsetof(IFIMETRICS, ptlBaseline) == 120);
static_assert(offsetof(IFIMETRICS, rclFontBox) == 144);
static_assert(offsetof(IFIMETRICS, panose) == 172);

struct FONTSIM {
  PTRDIFF dpBold;
  PTRDIFF dpItalic;
  PTRDIFF dpBoldItalic;
};
struct FONTDIFF {
  BYTE jReserved1;
  BYTE jReserved2;
  BYTE jReserved3;
  BYTE bWeight;
  USHORT usWinWeight;
  FSHORT fsSelection;
  FWORD fwdAveCharWidth;
  FWORD fwdMaxCharInc;
  POINTL ptlCaret;
};
static_assert(sizeof(FONTSIM) == 12 && sizeof(FONTDIFF) == 20);

#define FM_INFO_TECH_TRUETYPE 0x00000001u
#define FM_INFO_TECH_BITMAP 0x00000002u
#define FM_INFO_TECH_STROKE 0x00000004u
#define FM_INFO_TECH_OUTLINE_NOT_TRUETYPE 0x00000008u
#define FM_INFO_ARB_XFORMS 0x00000010u
#define FM_INFO_1BPP 0x00000020u
#define FM_INFO_4BPP 0x00000040u
#define FM_INFO_8BPP 0x00000080u
#define FM_INFO_16BPP 0x00000100u
#define FM_INFO_24BPP 0x00000200u
#define FM_INFO_32BPP 0x00000400u
#define FM_INFO_INTEGER_WIDTH 0x00000800u
#define FM_INFO_CONSTANT_WIDTH 0x00001000u
#define FM_INFO_NOT_CONTIGUOUS 0x00002000u
#define FM_INFO_TECH_MM 0x00004000u
#define FM_INFO_RETURNS_OUTLINES 0x00008000u
#define FM_INFO_RETURNS_STROKES 0x00010000u
#define FM_INFO_RETURNS_BITMAPS 0x00020000u
#define FM_INFO_DSIG 0x00040000u
#define FM_INFO_RIGHT_HANDED 0x00080000u
#define FM_INFO_INTEGRAL_SCALING 0x00100000u
#define FM_INFO_90DEGREE_ROTATIONS 0x00200000u
#define FM_INFO_OPTICALLY_FIXED_PITCH 0x00400000u
#define FM_INFO_DO_NOT_ENUMERATE 0x00800000u
#define FM_INFO_ISOTROPIC_SCALING_ONLY 0x01000000u
#define FM_INFO_ANISOTROPIC_SCALING_ONLY 0x02000000u
#define FM_INFO_TECH_CFF 0x04000000u
#define FM_INFO_FAMILY_EQUIV 0x08000000u
#define FM_INFO_DBCS_FIXED_PITCH 0x10000000u
#define FM_INFO_NONNEGATIVE_AC 0x20000000u
#define FM_INFO_IGNORE_TC_RA_ABLE 0x40000000u
#define FM_INFO_TECH_TYPE1 0x80000000u

#define FM_SEL_ITALIC 0x0001
#define FM_SEL_UNDERSCORE 0x0002
#define FM_SEL_NEGATIVE 0x0004
#define FM_SEL_OUTLINED 0x0008
#define FM_SEL_STRIKEOUT 0x0010
#define FM_SEL_BOLD 0x0020
#define FM_SEL_REGULAR 0x0040

#define FM_TYPE_LICENSED 0x2
#define FM_READONLY_EMBED 0x4
#define FM_EDITABLE_EMBED 0x8
#define FM_NO_EMBEDDING FM_TYPE_LICENSED

#define QFD_GLYPHANDBITMAP 1
#define QFD_GLYPHANDOUTLINE 2
#define QFD_MAXEXTENTS 3
#define QFD_TT_GLYPHANDBITMAP 4
#define QFD_TT_GRAY1_BITMAP 5
#define QFD_TT_GRAY2_BITMAP 6
#define QFD_TT_GRAY4_BITMAP 8
#define QFD_TT_GRAY8_BITMAP 9

#define QFT_LIGATURES 1
#define QFT_KERNPAIRS 2
#define QFT_GLYPHSET 3

#define QAW_GETWIDTHS 0
#define QAW_GETEASYWIDTHS 1

#define QC_OUTLINES 0x00000001u
#define QC_1BIT 0x00000002u
#define QC_4BIT 0x00000004u

// ---- driver entry points ----------------------------------------------------

using PFN_DrvEnableDriver = BOOL (*)(ULONG iEngineVersion, ULONG cj, DRVENABLEDATA* pded);
using PFN_DrvDisableDriver = void (*)();
using PFN_DrvQueryDriverInfo = BOOL (*)(DWORD dwMode, PVOID pBuffer, DWORD cbBuf, DWORD* pcbNeeded);
using PFN_DrvEnablePDEV = DHPDEV (*)(DEVMODEW* pdm, LPWSTR pwszLogAddress, ULONG cPat, HSURF* phsurfPatterns,
                                     ULONG cjCaps, ULONG* pdevcaps, ULONG cjDevInfo, DEVINFO* pdi, HDEV hdev,
                                     LPWSTR pwszDeviceName, HANDLE hDriver);
using PFN_DrvCompletePDEV = void (*)(DHPDEV dhpdev, HDEV hdev);
using PFN_DrvResetPDEV = BOOL (*)(DHPDEV dhpdevOld, DHPDEV dhpdevNew);
using PFN_DrvDisablePDEV = void (*)(DHPDEV dhpdev);
using PFN_DrvEnableSurface = HSURF (*)(DHPDEV dhpdev);
using PFN_DrvDisableSurface = void (*)(DHPDEV dhpdev);
using PFN_DrvStartDoc = BOOL (*)(SURFOBJ* pso, LPWSTR pwszDocName, DWORD dwJobId);
using PFN_DrvEndDoc = BOOL (*)(SURFOBJ* pso, FLONG fl);
using PFN_DrvStartPage = BOOL (*)(SURFOBJ* pso);
using PFN_DrvSendPage = BOOL (*)(SURFOBJ* pso);
using PFN_DrvEscape = ULONG (*)(SURFOBJ* pso, ULONG iEsc, ULONG cjIn, PVOID pvIn, ULONG cjOut, PVOID pvOut);
using PFN_DrvBitBlt = BOOL (*)(SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo,
                               RECTL* prclTrg, POINTL* pptlSrc, POINTL* pptlMask, BRUSHOBJ* pbo, POINTL* pptlBrush,
                               ROP4 rop4);
using PFN_DrvCopyBits = BOOL (*)(SURFOBJ* psoDst, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclDst,
                                 POINTL* pptlSrc);
struct COLORADJUSTMENT {
  WORD caSize;
  WORD caFlags;
  WORD caIlluminantIndex;
  WORD caRedGamma;
  WORD caGreenGamma;
  WORD caBlueGamma;
  WORD caReferenceBlack;
  WORD caReferenceWhite;
  SHORT caContrast;
  SHORT caBrightness;
  SHORT caColorfulness;
  SHORT caRedGreenTint;
};
#define HALFTONE 4
#define COLORONCOLOR 3
using PFN_DrvStretchBlt = BOOL (*)(SURFOBJ* psoDest, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco,
                                   XLATEOBJ* pxlo, COLORADJUSTMENT* pca, POINTL* pptlHTOrg, RECTL* prclDest,
                                   RECTL* prclSrc, POINTL* pptlMask, ULONG iMode);
using PFN_DrvStretchBltROP = BOOL (*)(SURFOBJ* psoDest, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco,
                                      XLATEOBJ* pxlo, COLORADJUSTMENT* pca, POINTL* pptlHTOrg, RECTL* prclDest,
                                      RECTL* prclSrc, POINTL* pptlMask, ULONG iMode, BRUSHOBJ* pbo, ROP4 rop4);
using PFN_DrvStrokePath = BOOL (*)(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pbo,
                                   POINTL* pptlBrushOrg, LINEATTRS* plineattrs, MIX mix);
using PFN_DrvFillPath = BOOL (*)(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL* pptlBrushOrg,
                                 MIX mix, FLONG flOptions);
using PFN_DrvStrokeAndFillPath = BOOL (*)(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo,
                                          BRUSHOBJ* pboStroke, LINEATTRS* plineattrs, BRUSHOBJ* pboFill,
                                          POINTL* pptlBrushOrg, MIX mixFill, FLONG flOptions);
using PFN_DrvRealizeBrush = BOOL (*)(BRUSHOBJ* pbo, SURFOBJ* psoTarget, SURFOBJ* psoPattern, SURFOBJ* psoMask,
                                     XLATEOBJ* pxlo, ULONG iHatch);
using PFN_DrvTextOut = BOOL (*)(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* prclExtra,
                                RECTL* prclOpaque, BRUSHOBJ* pboFore, BRUSHOBJ* pboOpaque, POINTL* pptlOrg, MIX mix);
using PFN_DrvQueryFont = IFIMETRICS* (*)(DHPDEV dhpdev, ULONG_PTR iFile, ULONG iFace, ULONG_PTR* pid);
using PFN_DrvQueryFontTree = PVOID (*)(DHPDEV dhpdev, ULONG_PTR iFile, ULONG iFace, ULONG iMode, ULONG_PTR* pid);
using PFN_DrvQueryFontData = LONG (*)(DHPDEV dhpdev, FONTOBJ* pfo, ULONG iMode, HGLYPH hg, GLYPHDATA* pgd, PVOID pv,
                                      ULONG cjSize);
using PFN_DrvQueryAdvanceWidths = BOOL (*)(DHPDEV dhpdev, FONTOBJ* pfo, ULONG iMode, HGLYPH* phg, PVOID pvWidths,
                                           ULONG cGlyphs);
using PFN_DrvGetGlyphMode = ULONG (*)(DHPDEV dhpdev, FONTOBJ* pfo);
