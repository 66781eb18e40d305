// Text on the page: the PDEV's device fonts and the font entries GDI calls,
// the choice of a device font for a TrueType face, and DrvTextOut, which
// cuts each string into runs of device-font characters and runs of
// TrueType glyphs (downloaded into the printer's glyph memory or drawn
// inline).
#pragma once

#include "render/device_fonts.h"
#include "render/pdev.h"

namespace morva::gfx {

// Device fonts of a PDEV (render/device_fonts.cpp). False when the
// database has no font records or one cannot be built; the PDEV then has
// no device fonts.
BOOL LoadDeviceFonts(PDEV* pdev);
void FreeDeviceFonts(PDEV* pdev);
// The printer's font substitution list, kept with the device fonts.
void LoadFontSubstitutionList(PDEV* pdev);
// The device font whose id is setting 384 as the default font.
BOOL DefaultDeviceFontLogfont(PDEV* pdev, DEVINFO* devinfo);

IFIMETRICS* QueryDeviceFont(PDEV* pdev, ULONG face, ULONG_PTR* pid);
PVOID QueryDeviceFontTree(PDEV* pdev, ULONG face, ULONG mode, ULONG_PTR* pid);
LONG QueryDeviceFontData(PDEV* pdev, FONTOBJ* pfo, ULONG mode, HGLYPH hg, GLYPHDATA* pgd, PVOID pv, ULONG cj);
BOOL QueryDeviceAdvanceWidths(PDEV* pdev, FONTOBJ* pfo, ULONG mode, HGLYPH* phg, PVOID pv, ULONG count);

// The device's resolution across (setting 20) or down (setting 21), in
// dots per inch; the PDEV's resolution when the setting has no value.
LONG DeviceResolution(PDEV* pdev, WORD id);

// |(a, b)| rounded up to a whole number.
LONG VectorLength(LONG a, LONG b);

BOOL TextOutImpl(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* prclExtra, RECTL* prclOpaque,
                 BRUSHOBJ* pboFore, BRUSHOBJ* pboOpaque, POINTL* pptlOrg, MIX mix);

}  // namespace morva::gfx
