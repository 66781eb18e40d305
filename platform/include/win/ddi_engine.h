// The GDI engine's services to a graphics driver (Eng... and the object
// functions), and the engine side that builds those objects for a printer
// device context: devices (one per enabled PDEV), paths, clips, brushes,
// colour translations, transforms, fonts and strings.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "win/ddi.h"
#include "win/fonts.h"

extern "C" {
// Surfaces. Handles name engine objects until EngDeleteSurface.
MORVA_WIN_API HSURF EngCreateDeviceSurface(DHSURF dhsurf, SIZEL sizl, ULONG iFormatCompat);
MORVA_WIN_API HBITMAP EngCreateBitmap(SIZEL sizl, LONG lWidth, ULONG iFormat, FLONG fl, PVOID pvBits);
MORVA_WIN_API BOOL EngAssociateSurface(HSURF hsurf, HDEV hdev, FLONG flHooks);
MORVA_WIN_API BOOL EngDeleteSurface(HSURF hsurf);
MORVA_WIN_API SURFOBJ* EngLockSurface(HSURF hsurf);
MORVA_WIN_API void EngUnlockSurface(SURFOBJ* pso);
// Fills a rectangle of a bitmap surface with a colour of its format.
MORVA_WIN_API BOOL EngEraseSurface(SURFOBJ* pso, RECTL* prcl, ULONG iColor);
// Raster operations on bitmap surfaces; a device destination is read back
// through the driver's DrvCopyBits, combined in a bitmap and copied back.
MORVA_WIN_API BOOL EngBitBlt(SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo,
                             RECTL* prclTrg, POINTL* pptlSrc, POINTL* pptlMask, BRUSHOBJ* pbo, POINTL* pptlBrush,
                             ROP4 rop4);
MORVA_WIN_API BOOL EngCopyBits(SURFOBJ* psoDst, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclDst,
                               POINTL* pptlSrc);

// Palettes.
MORVA_WIN_API HPALETTE EngCreatePalette(ULONG iMode, ULONG cColors, ULONG* pulColors, FLONG flRed, FLONG flGreen,
                                        FLONG flBlue);
MORVA_WIN_API BOOL EngDeletePalette(HPALETTE hpal);

// The glyph set of cChars single-byte codes from nFirstChar in a code page
// (0: the system's ANSI code page), handles being the codes. One block,
// freed with GlobalFree (or EngFreeMem).
MORVA_WIN_API FD_GLYPHSET* EngComputeGlyphSet(INT nCodePage, INT nFirstChar, INT cChars);
MORVA_WIN_API void EngFreeMem(PVOID pv);
// A resource of a loaded module by numeric name and type; its bytes stay
// valid while the module is loaded.
MORVA_WIN_API PVOID EngFindResource(HANDLE h, int iName, int iType, ULONG* pulSize);

// Paths.
MORVA_WIN_API PATHOBJ* EngCreatePath();
MORVA_WIN_API void EngDeletePath(PATHOBJ* ppo);
MORVA_WIN_API BOOL PATHOBJ_bMoveTo(PATHOBJ* ppo, POINTFIX ptfx);
MORVA_WIN_API BOOL PATHOBJ_bPolyLineTo(PATHOBJ* ppo, POINTFIX* pptfx, ULONG cptfx);
MORVA_WIN_API BOOL PATHOBJ_bPolyBezierTo(PATHOBJ* ppo, POINTFIX* pptfx, ULONG cptfx);
MORVA_WIN_API BOOL PATHOBJ_bCloseFigure(PATHOBJ* ppo);
MORVA_WIN_API void PATHOBJ_vEnumStart(PATHOBJ* ppo);
MORVA_WIN_API BOOL PATHOBJ_bEnum(PATHOBJ* ppo, PATHDATA* ppd);
MORVA_WIN_API void PATHOBJ_vGetBounds(PATHOBJ* ppo, RECTFX* prectfx);

// Clips.
MORVA_WIN_API ULONG CLIPOBJ_cEnumStart(CLIPOBJ* pco, BOOL bAll, ULONG iType, ULONG iDirection, ULONG cLimit);
MORVA_WIN_API BOOL CLIPOBJ_bEnum(CLIPOBJ* pco, ULONG cj, ULONG* pul);
MORVA_WIN_API PATHOBJ* CLIPOBJ_ppoGetPath(CLIPOBJ* pco);

// Brushes.
MORVA_WIN_API PVOID BRUSHOBJ_pvAllocRbrush(BRUSHOBJ* pbo, ULONG cj);
MORVA_WIN_API PVOID BRUSHOBJ_pvGetRbrush(BRUSHOBJ* pbo);
MORVA_WIN_API ULONG BRUSHOBJ_ulGetBrushColor(BRUSHOBJ* pbo);

// Colour translation.
MORVA_WIN_API ULONG XLATEOBJ_iXlate(XLATEOBJ* pxlo, ULONG iColor);
MORVA_WIN_API ULONG XLATEOBJ_cGetPalette(XLATEOBJ* pxlo, ULONG iPal, ULONG cPal, ULONG* pPal);

// Transforms.
MORVA_WIN_API ULONG XFORMOBJ_iGetXform(XFORMOBJ* pxo, XFORML* pxform);
MORVA_WIN_API BOOL XFORMOBJ_bApplyXform(XFORMOBJ* pxo, ULONG iMode, ULONG cPoints, PVOID pvIn, PVOID pvOut);

// Fonts and strings.
MORVA_WIN_API XFORMOBJ* FONTOBJ_pxoGetXform(FONTOBJ* pfo);
MORVA_WIN_API ULONG FONTOBJ_cGetGlyphs(FONTOBJ* pfo, ULONG iMode, ULONG cGlyph, HGLYPH* phg, PVOID* ppvGlyph);
MORVA_WIN_API IFIMETRICS* FONTOBJ_pifi(FONTOBJ* pfo);
MORVA_WIN_API void STROBJ_vEnumStart(STROBJ* pstro);
MORVA_WIN_API BOOL STROBJ_bEnum(STROBJ* pstro, ULONG* pc, GLYPHPOS** ppgpos);
}

namespace morva::platform::engine {

// One enabled PDEV: the driver's function table, its PDEV and surface. Its
// HDEV is what the engine hands the driver.
class MORVA_WIN_API Device {
 public:
  Device();
  ~Device();
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  HDEV hdev() const { return reinterpret_cast<HDEV>(const_cast<Device*>(this)); }
  static Device* from_hdev(HDEV hdev);  // null for an unknown handle

  // Keeps the table of DrvEnableDriver; false when it names no function.
  bool set_functions(const DRVENABLEDATA& data);
  PFN function(ULONG index) const { return index <= INDEX_LAST ? functions_[index] : nullptr; }
  template <class F>
  F get(ULONG index) const {
    return reinterpret_cast<F>(reinterpret_cast<void*>(function(index)));
  }

  DHPDEV dhpdev = nullptr;
  HSURF surface = nullptr;  // set by EngAssociateSurface
  FLONG hooks = 0;
  // The device surface locked for the driver's calls (null until associated).
  SURFOBJ* surface_object() const;

 private:
  PFN functions_[INDEX_LAST + 1]{};
};

// Path building beyond the documented calls: how many points one
// PATHOBJ_bEnum record carries at most (a long figure comes in several
// records), and the ellipse mark.
MORVA_WIN_API void set_path_batch_limit(PATHOBJ* ppo, ULONG points);
MORVA_WIN_API void mark_path_ellipse(PATHOBJ* ppo);
// Figures of a path in the order built: points and PD_ flags per figure.
struct PathFigure {
  std::vector<POINTFIX> points;  // the start point first
  std::vector<bool> bezier;      // per segment point after the start: part of a Bezier
  bool closed = false;
};
MORVA_WIN_API std::vector<PathFigure> path_figures(PATHOBJ* ppo);

// Clips: the whole surface (trivial), one rectangle, a union of rectangles
// (complex when it is not one rectangle) or the inside of a path.
MORVA_WIN_API CLIPOBJ* create_clip_trivial(const RECTL& surface);
MORVA_WIN_API CLIPOBJ* create_clip_rects(const std::vector<RECTL>& rects);
MORVA_WIN_API CLIPOBJ* create_clip_path(PATHOBJ* path, bool winding);
MORVA_WIN_API void delete_clip(CLIPOBJ* pco);
// The disjoint rectangles of a clip, top to bottom, left to right.
MORVA_WIN_API std::vector<RECTL> clip_rects(CLIPOBJ* pco);

// Colour translations from a source to the device's 0x00RRGGBB colours.
MORVA_WIN_API XLATEOBJ* create_xlate_trivial();
MORVA_WIN_API XLATEOBJ* create_xlate_table(const std::vector<ULONG>& entries);
// Packed pixels of 16 or 32 bits with the given colour masks.
MORVA_WIN_API XLATEOBJ* create_xlate_bitfields(ULONG red, ULONG green, ULONG blue);
MORVA_WIN_API void delete_xlate(XLATEOBJ* pxlo);

// Brushes. A solid brush has its device colour; a pattern or hatch brush
// is realised by the device's DrvRealizeBrush on first use, once, and its
// realisation is freed with it. The pattern surface, mask and translation
// are the brush's own and deleted with it.
MORVA_WIN_API BRUSHOBJ* create_brush_solid(ULONG color);
MORVA_WIN_API BRUSHOBJ* create_brush_pattern(Device* device, HSURF pattern, HSURF mask, XLATEOBJ* xlate, ULONG hatch);
MORVA_WIN_API void delete_brush(BRUSHOBJ* pbo);
// Realisations made and not yet freed, in the process (for tests).
MORVA_WIN_API long live_brush_realizations();

MORVA_WIN_API XFORMOBJ* create_xform(const XFORML& xform);
MORVA_WIN_API void delete_xform(XFORMOBJ* pxo);

// Font objects: a TrueType font realised by the engine through the font
// layer, or a device font of the driver (its 1-based face number, its
// IFIMETRICS, the notional-to-device transform and the bold and italic
// simulations the engine applies to it).
MORVA_WIN_API FONTOBJ* create_font_truetype(std::shared_ptr<fonts::FontInstance> font, LONG dpi);
MORVA_WIN_API FONTOBJ* create_font_device(ULONG face, IFIMETRICS* ifi, const XFORML& xform, LONG dpi,
                                          FLONG simulations = 0);
MORVA_WIN_API void delete_font(FONTOBJ* pfo);
MORVA_WIN_API fonts::FontInstance* font_instance(FONTOBJ* pfo);

// A string of glyphs at device positions; batch 0 hands all positions in
// pgp, else STROBJ_bEnum gives them batch glyphs at a time. Glyph bits are
// filled for TrueType fonts.
MORVA_WIN_API STROBJ* create_string(FONTOBJ* pfo, const std::vector<GLYPHPOS>& glyphs, const std::u16string& text,
                                    FLONG accel, ULONG char_inc, const RECTL& background, ULONG batch);
MORVA_WIN_API void delete_string(STROBJ* pstro);

}  // namespace morva::platform::engine
