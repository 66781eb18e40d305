// The software GDI of screen and memory DCs: DCs, bitmaps and DIBs, blits
// with the ternary raster operations, pens, brushes, shapes, regions and
// clipping, palettes, icons and text. Everything draws into bitmaps held in
// memory; the screen is one bitmap of fixed size at 96 dpi. Any bitmap or
// DC can be written as a PNG picture (morva::platform::write_png).
#pragma once

#include <string>

#include "win/fonts.h"
#include "win/gdi_types.h"
#include "win/types.h"

using LPRECT = RECT*;
using LPCRECT = const RECT*;
using LPPOINT = POINT*;
using LPSIZE = SIZE*;

#define RGB(r, g, b) (static_cast<COLORREF>(static_cast<BYTE>(r) | (static_cast<WORD>(static_cast<BYTE>(g)) << 8) | (static_cast<DWORD>(static_cast<BYTE>(b)) << 16)))
#define PALETTERGB(r, g, b) (0x02000000u | RGB(r, g, b))
#define PALETTEINDEX(i) (static_cast<COLORREF>(0x01000000u | static_cast<DWORD>(static_cast<WORD>(i))))
#define GetRValue(c) (static_cast<BYTE>(c))
#define GetGValue(c) (static_cast<BYTE>(static_cast<WORD>(c) >> 8))
#define GetBValue(c) (static_cast<BYTE>((c) >> 16))
#define CLR_INVALID 0xFFFFFFFFu
#define GDI_ERROR 0xFFFFFFFFu
#define HGDI_ERROR (reinterpret_cast<HGDIOBJ>(static_cast<LONG_PTR>(-1)))

// Object types (GetObjectType, GetCurrentObject)
#define OBJ_PEN 1
#define OBJ_BRUSH 2
#define OBJ_DC 3
#define OBJ_PAL 5
#define OBJ_FONT 6
#define OBJ_BITMAP 7
#define OBJ_REGION 8
#define OBJ_MEMDC 10

// Stock objects
#define WHITE_BRUSH 0
#define LTGRAY_BRUSH 1
#define GRAY_BRUSH 2
#define DKGRAY_BRUSH 3
#define BLACK_BRUSH 4
#define NULL_BRUSH 5
#define HOLLOW_BRUSH NULL_BRUSH
#define WHITE_PEN 6
#define BLACK_PEN 7
#define NULL_PEN 8
#define OEM_FIXED_FONT 10
#define ANSI_FIXED_FONT 11
#define ANSI_VAR_FONT 12
#define SYSTEM_FONT 13
#define DEVICE_DEFAULT_FONT 14
#define DEFAULT_PALETTE 15
#define SYSTEM_FIXED_FONT 16
#define DEFAULT_GUI_FONT 17
#define DC_BRUSH 18
#define DC_PEN 19

// Ternary raster operations
#define SRCCOPY 0x00CC0020u
#define SRCPAINT 0x00EE0086u
#define SRCAND 0x008800C6u
#define SRCINVERT 0x00660046u
#define SRCERASE 0x00440328u
#define NOTSRCCOPY 0x00330008u
#define NOTSRCERASE 0x001100A6u
#define MERGECOPY 0x00C000CAu
#define MERGEPAINT 0x00BB0226u
#define PATCOPY 0x00F00021u
#define PATPAINT 0x00FB0A09u
#define PATINVERT 0x005A0049u
#define DSTINVERT 0x00550009u
#define BLACKNESS 0x00000042u
#define WHITENESS 0x00FF0062u
#define NOMIRRORBITMAP 0x80000000u
#define CAPTUREBLT 0x40000000u
#define MAKEROP4(fore, back) (static_cast<DWORD>((((back) << 8) & 0xFF000000u) | (fore)))

// Background modes, stretch modes, fill modes
#define TRANSPARENT 1
#define OPAQUE 2
#define BLACKONWHITE 1
#define WHITEONBLACK 2
#define COLORONCOLOR 3
#define HALFTONE 4
#define STRETCH_ANDSCANS BLACKONWHITE
#define STRETCH_ORSCANS WHITEONBLACK
#define STRETCH_DELETESCANS COLORONCOLOR
#define STRETCH_HALFTONE HALFTONE
#define ALTERNATE 1
#define WINDING 2

// Mapping modes
#define MM_TEXT 1
#define MM_LOMETRIC 2
#define MM_HIMETRIC 3
#define MM_LOENGLISH 4
#define MM_HIENGLISH 5
#define MM_TWIPS 6
#define MM_ISOTROPIC 7
#define MM_ANISOTROPIC 8

// Pens
#define PS_SOLID 0
#define PS_DASH 1
#define PS_DOT 2
#define PS_DASHDOT 3
#define PS_DASHDOTDOT 4
#define PS_NULL 5
#define PS_INSIDEFRAME 6
#define PS_STYLE_MASK 0x0000000F

// Brushes
#define BS_SOLID 0
#define BS_NULL 1
#define BS_HOLLOW BS_NULL
#define BS_HATCHED 2
#define BS_PATTERN 3
#define BS_DIBPATTERN 5
#define BS_DIBPATTERNPT 6
#define HS_HORIZONTAL 0
#define HS_VERTICAL 1
#define HS_FDIAGONAL 2
#define HS_BDIAGONAL 3
#define HS_CROSS 4
#define HS_DIAGCROSS 5

// Regions
#define ERROR 0
#define NULLREGION 1
#define SIMPLEREGION 2
#define COMPLEXREGION 3
#define RGN_AND 1
#define RGN_OR 2
#define RGN_XOR 3
#define RGN_DIFF 4
#define RGN_COPY 5

// DIBs
#define BI_RGB 0u
#define BI_RLE8 1u
#define BI_RLE4 2u
#define BI_BITFIELDS 3u
#define DIB_RGB_COLORS 0u
#define DIB_PAL_COLORS 1u
#define CBM_INIT 0x04u

// Palettes
#define PC_RESERVED 0x01
#define PC_EXPLICIT 0x02
#define PC_NOCOLLAPSE 0x04

// GetDeviceCaps
#define DRIVERVERSION 0
#define TECHNOLOGY 2
#define HORZSIZE 4
#define VERTSIZE 6
#define HORZRES 8
#define VERTRES 10
#define BITSPIXEL 12
#define PLANES 14
#define NUMBRUSHES 16
#define NUMPENS 18
#define NUMFONTS 22
#define NUMCOLORS 24
#define RASTERCAPS 38
#define ASPECTX 40
#define ASPECTY 42
#define ASPECTXY 44
#define LOGPIXELSX 88
#define LOGPIXELSY 90
#define SIZEPALETTE 104
#define NUMRESERVED 106
#define COLORRES 108
#define PHYSICALWIDTH 110
#define PHYSICALHEIGHT 111
#define PHYSICALOFFSETX 112
#define PHYSICALOFFSETY 113
#define VREFRESH 116
#define DESKTOPVERTRES 117
#define DESKTOPHORZRES 118
#define DT_RASDISPLAY 1
#define RC_BITBLT 0x0001
#define RC_BITMAP64 0x0008
#define RC_DI_BITMAP 0x0080
#define RC_PALETTE 0x0100
#define RC_DIBTODEV 0x0200
#define RC_STRETCHBLT 0x0800
#define RC_STRETCHDIB 0x2000

// Text
#define TA_NOUPDATECP 0
#define TA_UPDATECP 1
#define TA_LEFT 0
#define TA_RIGHT 2
#define TA_CENTER 6
#define TA_TOP 0
#define TA_BOTTOM 8
#define TA_BASELINE 24
#define ETO_OPAQUE 0x0002u
#define ETO_CLIPPED 0x0004u
#define DT_TOP 0x00000000u
#define DT_LEFT 0x00000000u
#define DT_CENTER 0x00000001u
#define DT_RIGHT 0x00000002u
#define DT_VCENTER 0x00000004u
#define DT_BOTTOM 0x00000008u
#define DT_WORDBREAK 0x00000010u
#define DT_SINGLELINE 0x00000020u
#define DT_EXPANDTABS 0x00000040u
#define DT_NOCLIP 0x00000100u
#define DT_CALCRECT 0x00000400u
#define DT_NOPREFIX 0x00000800u
#define DT_HIDEPREFIX 0x00100000u
#define DT_END_ELLIPSIS 0x00008000u
#define DT_PATH_ELLIPSIS 0x00004000u
#define DT_WORD_ELLIPSIS 0x00040000u
#define DT_MODIFYSTRING 0x00010000u
#define DT_EDITCONTROL 0x00002000u

// Icons (DrawIconEx)
#define DI_MASK 0x0001u
#define DI_IMAGE 0x0002u
#define DI_NORMAL 0x0003u
#define DI_COMPAT 0x0004u
#define DI_DEFAULTSIZE 0x0008u

// DrawEdge
#define BDR_RAISEDOUTER 0x0001u
#define BDR_SUNKENOUTER 0x0002u
#define BDR_RAISEDINNER 0x0004u
#define BDR_SUNKENINNER 0x0008u
#define EDGE_RAISED (BDR_RAISEDOUTER | BDR_RAISEDINNER)
#define EDGE_SUNKEN (BDR_SUNKENOUTER | BDR_SUNKENINNER)
#define EDGE_ETCHED (BDR_SUNKENOUTER | BDR_RAISEDINNER)
#define EDGE_BUMP (BDR_RAISEDOUTER | BDR_SUNKENINNER)
#define BF_LEFT 0x0001u
#define BF_TOP 0x0002u
#define BF_RIGHT 0x0004u
#define BF_BOTTOM 0x0008u
#define BF_RECT (BF_LEFT | BF_TOP | BF_RIGHT | BF_BOTTOM)
#define BF_MIDDLE 0x0800u
#define BF_FLAT 0x4000u
#define BF_MONO 0x8000u
#define BF_ADJUST 0x2000u

// System colours that drawing code asks for (GetSysColor, brushes of the
// form (HBRUSH)(COLOR_x + 1))
#ifndef COLOR_SCROLLBAR
#define COLOR_SCROLLBAR 0
#define COLOR_BACKGROUND 1
#define COLOR_ACTIVECAPTION 2
#define COLOR_INACTIVECAPTION 3
#define COLOR_MENU 4
#define COLOR_WINDOW 5
#define COLOR_WINDOWFRAME 6
#define COLOR_MENUTEXT 7
#define COLOR_WINDOWTEXT 8
#define COLOR_CAPTIONTEXT 9
#define COLOR_ACTIVEBORDER 10
#define COLOR_INACTIVEBORDER 11
#define COLOR_APPWORKSPACE 12
#define COLOR_HIGHLIGHT 13
#define COLOR_HIGHLIGHTTEXT 14
#define COLOR_BTNFACE 15
#define COLOR_BTNSHADOW 16
#define COLOR_GRAYTEXT 17
#define COLOR_BTNTEXT 18
#define COLOR_INACTIVECAPTIONTEXT 19
#define COLOR_BTNHIGHLIGHT 20
#define COLOR_3DDKSHADOW 21
#define COLOR_3DLIGHT 22
#define COLOR_INFOTEXT 23
#define COLOR_INFOBK 24
#define COLOR_HOTLIGHT 26
#define COLOR_3DFACE COLOR_BTNFACE
#define COLOR_3DSHADOW COLOR_BTNSHADOW
#define COLOR_3DHIGHLIGHT COLOR_BTNHIGHLIGHT
#endif

struct BITMAP {
  LONG bmType;
  LONG bmWidth;
  LONG bmHeight;
  LONG bmWidthBytes;
  WORD bmPlanes;
  WORD bmBitsPixel;
  LPVOID bmBits;
};
struct DIBSECTION {
  BITMAP dsBm;
  BITMAPINFOHEADER dsBmih;
  DWORD dsBitfields[3];
  HANDLE dshSection;
  DWORD dsOffset;
};
struct LOGPEN {
  UINT lopnStyle;
  POINT lopnWidth;
  COLORREF lopnColor;
};
struct LOGBRUSH {
  UINT lbStyle;
  COLORREF lbColor;
  ULONG_PTR lbHatch;
};
struct ICONINFO {
  BOOL fIcon;
  DWORD xHotspot;
  DWORD yHotspot;
  HBITMAP hbmMask;
  HBITMAP hbmColor;
};

extern "C" {
// DCs. GetDC(NULL) gives a DC on the screen; a window's DC comes from the
// window system (see set_window_dc_source). ReleaseDC frees a DC from
// GetDC; DeleteDC frees one from CreateCompatibleDC.
MORVA_WIN_API HDC GetDC(HWND window);
MORVA_WIN_API INT ReleaseDC(HWND window, HDC dc);
MORVA_WIN_API HDC CreateCompatibleDC(HDC dc);
MORVA_WIN_API BOOL DeleteDC(HDC dc);
MORVA_WIN_API INT SaveDC(HDC dc);
MORVA_WIN_API BOOL RestoreDC(HDC dc, INT saved);
MORVA_WIN_API INT GetDeviceCaps(HDC dc, INT index);

// Objects
MORVA_WIN_API HGDIOBJ GetStockObject(INT index);
MORVA_WIN_API HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
MORVA_WIN_API BOOL DeleteObject(HGDIOBJ object);
MORVA_WIN_API INT GetObjectW(HGDIOBJ object, INT size, LPVOID out);
MORVA_WIN_API DWORD GetObjectType(HGDIOBJ object);
MORVA_WIN_API HGDIOBJ GetCurrentObject(HDC dc, UINT type);

// Attributes
MORVA_WIN_API COLORREF SetTextColor(HDC dc, COLORREF colour);
MORVA_WIN_API COLORREF GetTextColor(HDC dc);
MORVA_WIN_API COLORREF SetBkColor(HDC dc, COLORREF colour);
MORVA_WIN_API COLORREF GetBkColor(HDC dc);
MORVA_WIN_API INT SetBkMode(HDC dc, INT mode);
MORVA_WIN_API INT GetBkMode(HDC dc);
MORVA_WIN_API INT SetROP2(HDC dc, INT rop2);
MORVA_WIN_API INT GetROP2(HDC dc);
MORVA_WIN_API INT SetStretchBltMode(HDC dc, INT mode);
MORVA_WIN_API INT GetStretchBltMode(HDC dc);
MORVA_WIN_API INT SetPolyFillMode(HDC dc, INT mode);
MORVA_WIN_API INT GetPolyFillMode(HDC dc);
MORVA_WIN_API UINT SetTextAlign(HDC dc, UINT align);
MORVA_WIN_API UINT GetTextAlign(HDC dc);
MORVA_WIN_API BOOL SetBrushOrgEx(HDC dc, INT x, INT y, LPPOINT old);
MORVA_WIN_API COLORREF SetDCBrushColor(HDC dc, COLORREF colour);
MORVA_WIN_API COLORREF SetDCPenColor(HDC dc, COLORREF colour);

// Coordinates
MORVA_WIN_API INT SetMapMode(HDC dc, INT mode);
MORVA_WIN_API INT GetMapMode(HDC dc);
MORVA_WIN_API BOOL SetWindowOrgEx(HDC dc, INT x, INT y, LPPOINT old);
MORVA_WIN_API BOOL SetViewportOrgEx(HDC dc, INT x, INT y, LPPOINT old);
MORVA_WIN_API BOOL OffsetViewportOrgEx(HDC dc, INT dx, INT dy, LPPOINT old);
MORVA_WIN_API BOOL SetWindowExtEx(HDC dc, INT x, INT y, LPSIZE old);
MORVA_WIN_API BOOL SetViewportExtEx(HDC dc, INT x, INT y, LPSIZE old);
MORVA_WIN_API BOOL GetWindowOrgEx(HDC dc, LPPOINT out);
MORVA_WIN_API BOOL GetViewportOrgEx(HDC dc, LPPOINT out);
MORVA_WIN_API BOOL GetWindowExtEx(HDC dc, LPSIZE out);
MORVA_WIN_API BOOL GetViewportExtEx(HDC dc, LPSIZE out);
MORVA_WIN_API BOOL LPtoDP(HDC dc, LPPOINT points, INT count);
MORVA_WIN_API BOOL DPtoLP(HDC dc, LPPOINT points, INT count);

// Bitmaps and DIBs
MORVA_WIN_API HBITMAP CreateBitmap(INT width, INT height, UINT planes, UINT bits_per_pixel, LPCVOID bits);
MORVA_WIN_API HBITMAP CreateCompatibleBitmap(HDC dc, INT width, INT height);
MORVA_WIN_API HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, LPVOID* bits, HANDLE section, DWORD offset);
MORVA_WIN_API HBITMAP CreateDIBitmap(HDC dc, const BITMAPINFOHEADER* header, DWORD init, LPCVOID bits, const BITMAPINFO* info, UINT usage);
MORVA_WIN_API INT GetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT lines, LPVOID bits, BITMAPINFO* info, UINT usage);
MORVA_WIN_API INT SetDIBits(HDC dc, HBITMAP bitmap, UINT start, UINT lines, LPCVOID bits, const BITMAPINFO* info, UINT usage);
MORVA_WIN_API INT StretchDIBits(HDC dc, INT x, INT y, INT width, INT height, INT src_x, INT src_y, INT src_width, INT src_height, LPCVOID bits, const BITMAPINFO* info, UINT usage, DWORD rop);
MORVA_WIN_API INT SetDIBitsToDevice(HDC dc, INT x, INT y, DWORD width, DWORD height, INT src_x, INT src_y, UINT start, UINT lines, LPCVOID bits, const BITMAPINFO* info, UINT usage);
MORVA_WIN_API COLORREF GetPixel(HDC dc, INT x, INT y);
MORVA_WIN_API COLORREF SetPixel(HDC dc, INT x, INT y, COLORREF colour);
MORVA_WIN_API BOOL GdiFlush();

// Blits
MORVA_WIN_API BOOL BitBlt(HDC dest, INT x, INT y, INT width, INT height, HDC src, INT src_x, INT src_y, DWORD rop);
MORVA_WIN_API BOOL PatBlt(HDC dc, INT x, INT y, INT width, INT height, DWORD rop);
MORVA_WIN_API BOOL StretchBlt(HDC dest, INT x, INT y, INT width, INT height, HDC src, INT src_x, INT src_y, INT src_width, INT src_height, DWORD rop);
MORVA_WIN_API BOOL TransparentBlt(HDC dest, INT x, INT y, INT width, INT height, HDC src, INT src_x, INT src_y, INT src_width, INT src_height, UINT transparent);
MORVA_WIN_API BOOL MaskBlt(HDC dest, INT x, INT y, INT width, INT height, HDC src, INT src_x, INT src_y, HBITMAP mask, INT mask_x, INT mask_y, DWORD rop4);

// Pens and brushes
MORVA_WIN_API HPEN CreatePen(INT style, INT width, COLORREF colour);
MORVA_WIN_API HPEN CreatePenIndirect(const LOGPEN* pen);
MORVA_WIN_API HBRUSH CreateSolidBrush(COLORREF colour);
MORVA_WIN_API HBRUSH CreateHatchBrush(INT style, COLORREF colour);
MORVA_WIN_API HBRUSH CreatePatternBrush(HBITMAP bitmap);
MORVA_WIN_API HBRUSH CreateBrushIndirect(const LOGBRUSH* brush);

// Shapes
MORVA_WIN_API BOOL MoveToEx(HDC dc, INT x, INT y, LPPOINT old);
MORVA_WIN_API BOOL LineTo(HDC dc, INT x, INT y);
MORVA_WIN_API BOOL GetCurrentPositionEx(HDC dc, LPPOINT out);
MORVA_WIN_API BOOL Polyline(HDC dc, const POINT* points, INT count);
MORVA_WIN_API BOOL Polygon(HDC dc, const POINT* points, INT count);
MORVA_WIN_API BOOL Rectangle(HDC dc, INT left, INT top, INT right, INT bottom);
MORVA_WIN_API BOOL RoundRect(HDC dc, INT left, INT top, INT right, INT bottom, INT width, INT height);
MORVA_WIN_API BOOL Ellipse(HDC dc, INT left, INT top, INT right, INT bottom);
MORVA_WIN_API INT FillRect(HDC dc, const RECT* rect, HBRUSH brush);
MORVA_WIN_API INT FrameRect(HDC dc, const RECT* rect, HBRUSH brush);
MORVA_WIN_API BOOL InvertRect(HDC dc, const RECT* rect);
MORVA_WIN_API BOOL DrawFocusRect(HDC dc, const RECT* rect);
MORVA_WIN_API BOOL DrawEdge(HDC dc, RECT* rect, UINT edge, UINT flags);

// Regions and clipping
MORVA_WIN_API HRGN CreateRectRgn(INT left, INT top, INT right, INT bottom);
MORVA_WIN_API HRGN CreateRectRgnIndirect(const RECT* rect);
MORVA_WIN_API INT CombineRgn(HRGN dest, HRGN a, HRGN b, INT mode);
MORVA_WIN_API BOOL SetRectRgn(HRGN region, INT left, INT top, INT right, INT bottom);
MORVA_WIN_API INT OffsetRgn(HRGN region, INT dx, INT dy);
MORVA_WIN_API BOOL PtInRegion(HRGN region, INT x, INT y);
MORVA_WIN_API BOOL RectInRegion(HRGN region, const RECT* rect);
MORVA_WIN_API BOOL EqualRgn(HRGN a, HRGN b);
MORVA_WIN_API INT GetRgnBox(HRGN region, LPRECT out);
MORVA_WIN_API BOOL FillRgn(HDC dc, HRGN region, HBRUSH brush);
MORVA_WIN_API BOOL FrameRgn(HDC dc, HRGN region, HBRUSH brush, INT width, INT height);
MORVA_WIN_API BOOL PaintRgn(HDC dc, HRGN region);
MORVA_WIN_API BOOL InvertRgn(HDC dc, HRGN region);
MORVA_WIN_API INT SelectClipRgn(HDC dc, HRGN region);
MORVA_WIN_API INT ExtSelectClipRgn(HDC dc, HRGN region, INT mode);
MORVA_WIN_API INT IntersectClipRect(HDC dc, INT left, INT top, INT right, INT bottom);
MORVA_WIN_API INT ExcludeClipRect(HDC dc, INT left, INT top, INT right, INT bottom);
MORVA_WIN_API INT OffsetClipRgn(HDC dc, INT dx, INT dy);
MORVA_WIN_API INT GetClipBox(HDC dc, LPRECT out);
MORVA_WIN_API INT GetClipRgn(HDC dc, HRGN out);
MORVA_WIN_API BOOL PtVisible(HDC dc, INT x, INT y);

// Palettes
MORVA_WIN_API HPALETTE CreatePalette(const LOGPALETTE* palette);
MORVA_WIN_API HPALETTE SelectPalette(HDC dc, HPALETTE palette, BOOL background);
MORVA_WIN_API UINT RealizePalette(HDC dc);
MORVA_WIN_API UINT GetPaletteEntries(HPALETTE palette, UINT start, UINT count, PALETTEENTRY* out);
MORVA_WIN_API UINT SetPaletteEntries(HPALETTE palette, UINT start, UINT count, const PALETTEENTRY* entries);
MORVA_WIN_API UINT GetNearestPaletteIndex(HPALETTE palette, COLORREF colour);
MORVA_WIN_API COLORREF GetNearestColor(HDC dc, COLORREF colour);

// Icons over the images of the resource reader (LoadIconW, LoadImageW)
MORVA_WIN_API BOOL DrawIconEx(HDC dc, INT x, INT y, HICON icon, INT width, INT height, UINT step, HBRUSH flicker_free, UINT flags);
MORVA_WIN_API BOOL DrawIcon(HDC dc, INT x, INT y, HICON icon);

// Fonts and text through the platform's font layer (win/fonts.h).
MORVA_WIN_API HFONT CreateFontIndirectW(const LOGFONTW* logfont);
MORVA_WIN_API HFONT CreateFontW(INT height, INT width, INT escapement, INT orientation, INT weight, DWORD italic,
                                DWORD underline, DWORD strikeout, DWORD charset, DWORD out_precision,
                                DWORD clip_precision, DWORD quality, DWORD pitch_and_family, LPCWSTR face);
MORVA_WIN_API BOOL GetTextMetricsW(HDC dc, LPTEXTMETRICW out);
MORVA_WIN_API INT GetTextFaceW(HDC dc, INT count, LPWSTR out);
MORVA_WIN_API BOOL GetTextExtentPoint32W(HDC dc, LPCWSTR text, INT count, LPSIZE out);
MORVA_WIN_API BOOL TextOutW(HDC dc, INT x, INT y, LPCWSTR text, INT count);
MORVA_WIN_API BOOL ExtTextOutW(HDC dc, INT x, INT y, UINT options, const RECT* rect, LPCWSTR text, UINT count, const INT* dx);
// count -1: the text ends with a null character.
MORVA_WIN_API INT DrawTextW(HDC dc, LPCWSTR text, INT count, LPRECT rect, UINT format);

// System colours (defaults of the classic scheme; the window system may
// define its own).
MORVA_WIN_API DWORD GetSysColor(INT index);
MORVA_WIN_API HBRUSH GetSysColorBrush(INT index);

// Rectangles
MORVA_WIN_API BOOL SetRect(LPRECT rect, INT left, INT top, INT right, INT bottom);
MORVA_WIN_API BOOL SetRectEmpty(LPRECT rect);
MORVA_WIN_API BOOL CopyRect(LPRECT dest, const RECT* src);
MORVA_WIN_API BOOL InflateRect(LPRECT rect, INT dx, INT dy);
MORVA_WIN_API BOOL OffsetRect(LPRECT rect, INT dx, INT dy);
MORVA_WIN_API BOOL IsRectEmpty(const RECT* rect);
MORVA_WIN_API BOOL PtInRect(const RECT* rect, POINT point);
MORVA_WIN_API BOOL IntersectRect(LPRECT dest, const RECT* a, const RECT* b);
MORVA_WIN_API BOOL UnionRect(LPRECT dest, const RECT* a, const RECT* b);
MORVA_WIN_API BOOL EqualRect(const RECT* a, const RECT* b);
MORVA_WIN_API INT MulDiv(INT number, INT numerator, INT denominator);

// Writes a bitmap, or the surface of a DC, as a PNG file (native path).
MORVA_WIN_API BOOL MorvaWriteBitmapPng(HGDIOBJ bitmap_or_dc, const char* native_path);
}

namespace morva::platform {

// Size of the screen surface that GetDC(NULL) draws on.
inline constexpr INT kScreenWidth = 1024;
inline constexpr INT kScreenHeight = 768;
inline constexpr INT kScreenDpi = 96;

// Live GDI objects by type (stock objects are not counted), so tests can
// find leaks: compare before and after.
struct GdiObjectCounts {
  int dcs = 0, bitmaps = 0, pens = 0, brushes = 0, fonts = 0, regions = 0, palettes = 0;
  int total() const { return dcs + bitmaps + pens + brushes + fonts + regions + palettes; }
  bool operator==(const GdiObjectCounts&) const = default;
};
MORVA_WIN_API GdiObjectCounts gdi_object_counts();

// A DC drawing on `surface` (a bitmap, for instance a window's backing
// bitmap) with its device origin at `origin` (surface pixels) and nothing
// drawn outside `visible` (surface pixels). Freed by DeleteDC or ReleaseDC.
// The surface may not be selected into a memory DC meanwhile.
MORVA_WIN_API HDC create_surface_dc(HBITMAP surface, POINT origin, const RECT& visible);
// The same with a visible region (surface pixels; copied), for windows
// whose children or siblings cover parts of them.
MORVA_WIN_API HDC create_surface_dc(HBITMAP surface, POINT origin, HRGN visible);
// The source of window DCs: GetDC(window) asks it for windows other than
// NULL (the window system sets it); without one GetDC(window) fails.
using WindowDcSource = HDC (*)(HWND window);
MORVA_WIN_API void set_window_dc_source(WindowDcSource source);
// The bitmap a DC draws on (the selected bitmap of a memory DC, the
// surface of any other DC).
MORVA_WIN_API HBITMAP dc_surface(HDC dc);

// PNG of a bitmap or of a DC's surface; false with the last error set when
// the handle is not one or the file cannot be written.
MORVA_WIN_API bool write_png(HGDIOBJ bitmap_or_dc, const std::string& native_path);

}  // namespace morva::platform
