// The graphics driver's exports: DrvEnableDriver with its function table,
// the traced entry points, the argument checks of each drawing entry and
// the document and page entries that keep the PDEV's call state.
#include <cstring>

#include "output/document_control.h"
#include "render/drawing_core.h"
#include "render/escape_receiver.h"
#include "render/pdev.h"
#include "render/text_output.h"
#include "settings/common/trace_log.h"
#include "settings/gfx/graphics_module.h"
#include "win/ddi_engine.h"
#include "win/errors.h"
#include "win/memory.h"
#include "win/modules.h"

using namespace morva::gfx;

namespace {

CRITICAL_SECTION g_font_lock;
bool g_font_lock_live = false;
FD_GLYPHSET* g_default_glyphs = nullptr;

}  // namespace

// ---- the exported workers ----------------------------------------------------

extern "C" {
DHPDEV DrvEnablePDEV(DEVMODEW*, LPWSTR, ULONG, HSURF*, ULONG, ULONG*, ULONG, DEVINFO*, HDEV, LPWSTR, HANDLE);
void DrvCompletePDEV(DHPDEV, HDEV);
BOOL DrvResetPDEV(DHPDEV, DHPDEV);
void DrvDisablePDEV(DHPDEV);
HSURF DrvEnableSurface(DHPDEV);
void DrvDisableSurface(DHPDEV);
}

namespace {

// The workers of the document and page entries.

// The PDEV of a document or page call's surface; null when the surface is
// missing, and null with ERROR_INVALID_PARAMETER when its PDEV is not one.
PDEV* DocumentPdevOf(SURFOBJ* pso) {
  if (!pso) return nullptr;
  PDEV* pdev = PdevOf(pso);
  if (!IsValidPdev(pdev)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return pdev;
}

BOOL start_doc(SURFOBJ* pso, LPWSTR name, DWORD job_id) {
  PDEV* pdev = DocumentPdevOf(pso);
  if (!pdev) return FALSE;
  if (GetTraceFlags() & kTraceCategoryStartDoc)
    TraceDumpItemRange(kTraceCategoryStartDoc, u"<INPUT  DEVMODE>", pdev->settings, pdev->printer_data);
  pdev->flags |= kPdevDocStarted;
  if (job_id) pdev->job_id = job_id;
  if (pdev->flags & kPdevCarriedOver) return TRUE;
  INT r = BeginDocument(pdev, pdev->printer);
  r |= OpenDocumentOutput(pdev, name);
  r |= InitJobMonitorContext(pdev, job_id);
  pdev->flags &= ~(kPdevPageBeforeOutput | kPdevPageOpen);
  if (r != 0) {
    pdev->flags |= kPdevDocFailed;
    return FALSE;
  }
  return TRUE;
}

BOOL start_page(SURFOBJ* pso) {
  PDEV* pdev = DocumentPdevOf(pso);
  if (!pdev) return FALSE;
  if (GetTraceFlags() & kTraceCategoryStartPage)
    TraceDumpItemRange(kTraceCategoryStartPage, u"<INPUT  DEVMODE>", pdev->settings, pdev->printer_data);
  if (pdev->flags & kPdevDocFailed) return FALSE;
  if (pdev->flags & kPdevPageOpen) return TRUE;
  if (!IsJobOutputBegun(pdev)) {
    ResetDeviceFontPageState(pdev);
    pdev->flags |= kPdevPageBeforeOutput;
  }
  ResetPageDrawingState(pdev);
  pdev->flags |= kPdevPageOpen;
  pdev->flags &= ~kPdevCarriedOver;
  return TRUE;
}

BOOL send_page(SURFOBJ* pso) {
  PDEV* pdev = DocumentPdevOf(pso);
  if (!pdev) return FALSE;
  INT r = 0;
  if (!IsDocumentAborted(pdev) && IsJobOutputBegun(pdev)) r |= FlushQueuedImages(pdev, TRUE);
  r |= EndPage(pdev);
  pdev->flags &= ~kPdevPageOpen;
  return r == 0;
}

BOOL end_doc(SURFOBJ* pso, FLONG fl) {
  PDEV* pdev = DocumentPdevOf(pso);
  if (!pdev) return FALSE;
  INT r = 0;
  if (fl & ED_ABORTDOC)
    AbortDocument(pdev);
  else if (pdev->flags & kPdevPageBeforeOutput)
    r = EndDocument(pdev);
  EndDocumentCleanup(pdev);
  pdev->flags &= ~(kPdevDocStarted | kPdevPageBeforeOutput | kPdevCarriedOver);
  // A job whose end, flush or playback failed did not print: the caller
  // must learn it.
  return r == 0;
}

BOOL invalid() {
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}

}  // namespace

// ---- exports -----------------------------------------------------------------

#define TRACED(name, fmt, call)  \
  TraceEnter(u"" #name);         \
  auto result_ = (call);         \
  TraceLeave(fmt, result_);      \
  return result_

MORVA_EXPORT BOOL DrvCopyBits(SURFOBJ* psoDst, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclDst,
                              POINTL* pptlSrc) {
  TraceEnter(u"DrvCopyBits");
  BOOL r;
  if (!psoDst || !psoSrc || !prclDst) {
    r = invalid();
  } else if (psoSrc->iType != STYPE_BITMAP) {
    // GDI reading the device back: the device keeps no pixels, so the
    // destination becomes white.
    r = EngEraseSurface(psoDst, prclDst, 0xFFFFFFFF);
  } else if (psoDst->iType == STYPE_DEVICE) {
    RECTL src = *prclDst;
    r = RenderBlt(psoDst, psoSrc, nullptr, pco, pxlo, prclDst, &src, pptlSrc, nullptr, nullptr, nullptr, 0xCCCC,
                  0);
  } else {
    r = invalid();
  }
  TraceLeave(u"DrvCopyBits RetValue = %d", r);
  return r;
}

MORVA_EXPORT BOOL DrvBitBlt(SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo,
                            RECTL* prclTrg, POINTL* pptlSrc, POINTL* pptlMask, BRUSHOBJ* pbo, POINTL* pptlBrush,
                            ROP4 rop4) {
  TraceEnter(u"DrvBitBlt");
  BOOL r;
  if (!psoTrg || !prclTrg) {
    r = invalid();
  } else {
    RECTL src = *prclTrg;
    r = RenderBlt(psoTrg, psoSrc, psoMask, pco, pxlo, prclTrg, &src, pptlSrc, pptlMask, pbo, pptlBrush, rop4, 2);
  }
  TraceLeave(u"DrvBitBlt RetValue = %d", r);
  return r;
}

MORVA_EXPORT BOOL DrvStretchBlt(SURFOBJ* psoDest, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo,
                                COLORADJUSTMENT*, POINTL*, RECTL* prclDest, RECTL* prclSrc, POINTL* pptlMask,
                                ULONG) {
  TraceEnter(u"DrvStretchBlt");
  BOOL r;
  if (!psoDest || !prclSrc) {
    r = invalid();
  } else {
    POINTL origin{prclSrc->left, prclSrc->top};
    r = RenderBlt(psoDest, psoSrc, psoMask, pco, pxlo, prclDest, prclSrc, &origin, pptlMask, nullptr, nullptr,
                  0xCCCC, 1);
  }
  TraceLeave(u"DrvStretchBlt RetValue = %d", r);
  return r;
}

MORVA_EXPORT BOOL DrvStretchBltROP(SURFOBJ* psoDest, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco,
                                   XLATEOBJ* pxlo, COLORADJUSTMENT*, POINTL* pptlHTOrg, RECTL* prclDest,
                                   RECTL* prclSrc, POINTL* pptlMask, ULONG, BRUSHOBJ* pbo, ROP4 rop4) {
  TraceEnter(u"DrvStretchBltROP");
  BOOL r;
  if (!psoDest || !prclSrc) {
    r = invalid();
  } else {
    POINTL origin{prclSrc->left, prclSrc->top};
    r = RenderBlt(psoDest, psoSrc, psoMask, pco, pxlo, prclDest, prclSrc, &origin, pptlMask, pbo, pptlHTOrg, rop4,
                  3);
  }
  TraceLeave(u"DrvStretchBltROP RetValue = %d", r);
  return r;
}

MORVA_EXPORT BOOL DrvStrokePath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pbo,
                                POINTL* pptlBrushOrg, LINEATTRS* plineattrs, MIX mix) {
  TraceEnter(u"DrvStrokePath");
  BOOL r;
  if (!pso || !ppo || !plineattrs || ((plineattrs->fl & LA_GEOMETRIC) && !pxo))
    r = invalid();
  else
    r = RenderPath(pso, ppo, pco, pxo, pbo, plineattrs, nullptr, pptlBrushOrg, mix, 0, kPathStroke) == 1;
  TraceLeave(u"DrvStrokePath RetValue = %d", r);
  return r;
}

MORVA_EXPORT BOOL DrvFillPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL* pptlBrushOrg,
                              MIX mix, FLONG flOptions) {
  TraceEnter(u"DrvFillPath");
  BOOL r;
  if (!pso || !ppo)
    r = invalid();
  else
    r = RenderPath(pso, ppo, pco, nullptr, nullptr, nullptr, pbo, pptlBrushOrg, mix, flOptions, kPathFill) == 1;
  TraceLeave(u"DrvFillPath RetValue = %d", r);
  return r;
}

MORVA_EXPORT BOOL DrvStrokeAndFillPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pboStroke,
                                       LINEATTRS* plineattrs, BRUSHOBJ* pboFill, POINTL* pptlBrushOrg, MIX mixFill,
                                       FLONG flOptions) {
  TraceEnter(u"DrvStrokeAndFillPath");
  BOOL r;
  if (!pso || !ppo || !plineattrs || ((plineattrs->fl & LA_GEOMETRIC) && !pxo))
    r = invalid();
  else
    r = RenderPath(pso, ppo, pco, pxo, pboStroke, plineattrs, pboFill, pptlBrushOrg, mixFill, flOptions,
                   kPathBoth) == 1;
  TraceLeave(u"DrvStrokeAndFillPath RetValue = %d", r);
  return r;
}

MORVA_EXPORT BOOL DrvTextOut(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* prclExtra,
                             RECTL* prclOpaque, BRUSHOBJ* pboFore, BRUSHOBJ* pboOpaque, POINTL* pptlOrg, MIX mix) {
  TRACED(DrvTextOut, u"DrvTextOut RetValue = %d",
         TextOutImpl(pso, pstro, pfo, pco, prclExtra, prclOpaque, pboFore, pboOpaque, pptlOrg, mix));
}

MORVA_EXPORT BOOL DrvRealizeBrush(BRUSHOBJ* pbo, SURFOBJ* psoTarget, SURFOBJ* psoPattern, SURFOBJ*, XLATEOBJ* pxlo,
                                  ULONG iHatch) {
  TraceEnter(u"DrvRealizeBrush");
  BOOL r = (!pbo || !psoTarget || !psoPattern || !pxlo || !IsValidPdev(PdevOf(psoTarget)))
               ? invalid()
               : RealizeBrush(pbo, psoPattern, pxlo, iHatch);
  TraceLeave(u"DrvRealizeBrush RetValue = %d", r);
  return r;
}

MORVA_EXPORT IFIMETRICS* DrvQueryFont(DHPDEV dhpdev, ULONG_PTR, ULONG iFace, ULONG_PTR* pid) {
  TraceEnter(u"DrvQueryFont");
  IFIMETRICS* r = QueryDeviceFont(reinterpret_cast<PDEV*>(dhpdev), iFace, pid);
  TraceLeave(u"DrvQueryFont RetValue = 0x%08X", static_cast<unsigned>(reinterpret_cast<UINT_PTR>(r)));
  return r;
}

MORVA_EXPORT PVOID DrvQueryFontTree(DHPDEV dhpdev, ULONG_PTR, ULONG iFace, ULONG iMode, ULONG_PTR* pid) {
  TraceEnter(u"DrvQueryFontTree");
  PVOID r = QueryDeviceFontTree(reinterpret_cast<PDEV*>(dhpdev), iFace, iMode, pid);
  TraceLeave(u"DrvQueryFontTree RetValue = 0x%08X", static_cast<unsigned>(reinterpret_cast<UINT_PTR>(r)));
  return r;
}

MORVA_EXPORT LONG DrvQueryFontData(DHPDEV dhpdev, FONTOBJ* pfo, ULONG iMode, HGLYPH hg, GLYPHDATA* pgd, PVOID pv,
                                   ULONG cjSize) {
  TraceEnter(u"DrvQueryFontData");
  LONG r = QueryDeviceFontData(reinterpret_cast<PDEV*>(dhpdev), pfo, iMode, hg, pgd, pv, cjSize);
  TraceLeave(u"DrvQueryFontData RetValue = %ld", r);
  return r;
}

MORVA_EXPORT BOOL DrvQueryAdvanceWidths(DHPDEV dhpdev, FONTOBJ* pfo, ULONG iMode, HGLYPH* phg, PVOID pvWidths,
                                        ULONG cGlyphs) {
  TraceEnter(u"DrvQueryAdvanceWidths");
  BOOL r = QueryDeviceAdvanceWidths(reinterpret_cast<PDEV*>(dhpdev), pfo, iMode, phg, pvWidths, cGlyphs);
  TraceLeave(u"DrvQueryAdvanceWidths RetValue = %d", r);
  return r;
}

MORVA_EXPORT ULONG DrvEscape(SURFOBJ* pso, ULONG iEsc, ULONG cjIn, PVOID pvIn, ULONG cjOut, PVOID pvOut) {
  TraceEnter(u"DrvEscape");
  ULONG r = ReceiveEscape(pso, iEsc, cjIn, pvIn, cjOut, pvOut);
  TraceLeave(u"DrvEscape RetValue = %ld", static_cast<long>(r));
  return r;
}

MORVA_EXPORT ULONG DrvGetGlyphMode(DHPDEV, FONTOBJ*) {
  TraceEnter(u"DrvGetGlyphMode");
  ULONG r = FO_GLYPHBITS;
  TraceLeave(u"DrvGetGlyphMode RetValue = %ld", static_cast<long>(r));
  return r;
}

MORVA_EXPORT BOOL DrvStartDoc(SURFOBJ* pso, LPWSTR pwszDocName, DWORD dwJobId) {
  TRACED(DrvStartDoc, u"DrvStartDoc RetValue = %d", start_doc(pso, pwszDocName, dwJobId));
}
MORVA_EXPORT BOOL DrvStartPage(SURFOBJ* pso) { TRACED(DrvStartPage, u"DrvStartPage RetValue = %d", start_page(pso)); }
MORVA_EXPORT BOOL DrvSendPage(SURFOBJ* pso) { TRACED(DrvSendPage, u"DrvSendPage RetValue = %d", send_page(pso)); }
MORVA_EXPORT BOOL DrvEndDoc(SURFOBJ* pso, FLONG fl) { TRACED(DrvEndDoc, u"DrvEndDoc RetValue = %d", end_doc(pso, fl)); }

namespace {

DRVFN kDriverFunctions[] = {
    {INDEX_DrvEnablePDEV, morva_proc(DrvEnablePDEV)},
    {INDEX_DrvResetPDEV, morva_proc(DrvResetPDEV)},
    {INDEX_DrvCompletePDEV, morva_proc(DrvCompletePDEV)},
    {INDEX_DrvDisablePDEV, morva_proc(DrvDisablePDEV)},
    {INDEX_DrvEnableSurface, morva_proc(DrvEnableSurface)},
    {INDEX_DrvDisableSurface, morva_proc(DrvDisableSurface)},
    {INDEX_DrvBitBlt, morva_proc(DrvBitBlt)},
    {INDEX_DrvStretchBlt, morva_proc(DrvStretchBlt)},
    {INDEX_DrvCopyBits, morva_proc(DrvCopyBits)},
    {INDEX_DrvTextOut, morva_proc(DrvTextOut)},
    {INDEX_DrvQueryFont, morva_proc(DrvQueryFont)},
    {INDEX_DrvQueryFontTree, morva_proc(DrvQueryFontTree)},
    {INDEX_DrvQueryFontData, morva_proc(DrvQueryFontData)},
    {INDEX_DrvQueryAdvanceWidths, morva_proc(DrvQueryAdvanceWidths)},
    {INDEX_DrvSendPage, morva_proc(DrvSendPage)},
    {INDEX_DrvStrokePath, morva_proc(DrvStrokePath)},
    {INDEX_DrvFillPath, morva_proc(DrvFillPath)},
    {INDEX_DrvStrokeAndFillPath, morva_proc(DrvStrokeAndFillPath)},
    {INDEX_DrvRealizeBrush, morva_proc(DrvRealizeBrush)},
    {INDEX_DrvStartPage, morva_proc(DrvStartPage)},
    {INDEX_DrvStartDoc, morva_proc(DrvStartDoc)},
    {INDEX_DrvEscape, morva_proc(DrvEscape)},
    {INDEX_DrvEndDoc, morva_proc(DrvEndDoc)},
    {INDEX_DrvGetGlyphMode, morva_proc(DrvGetGlyphMode)},
    {INDEX_DrvStretchBltROP, morva_proc(DrvStretchBltROP)},
};
static_assert(sizeof(kDriverFunctions) / sizeof(kDriverFunctions[0]) == 25);

constexpr ULONG kEngineVersionMin = 0x20000;
constexpr ULONG kDriverVersion = 0x20000;
constexpr DWORD kSpinCount = 4000;

BOOL enable_driver(ULONG version, ULONG cj, DRVENABLEDATA* pded) {
  if (version < kEngineVersionMin || cj < 12 || !pded) {
    SetLastError(ERROR_BAD_DRIVER_LEVEL);
    return FALSE;
  }
  pded->iDriverVersion = kDriverVersion;
  pded->c = static_cast<ULONG>(sizeof(kDriverFunctions) / sizeof(kDriverFunctions[0]));
  pded->pdrvfn = kDriverFunctions;
  for (UINT slot = 0; slot < kGraphicsLockCount; ++slot) InitLockSlot(slot);
  if (!g_font_lock_live) {
    InitializeCriticalSectionAndSpinCount(&g_font_lock, kSpinCount);
    g_font_lock_live = true;
  }
  EnterCriticalSection(&g_font_lock);
  if (!g_default_glyphs) g_default_glyphs = EngComputeGlyphSet(0, 0, 256);
  BOOL ok = g_default_glyphs != nullptr;
  LeaveCriticalSection(&g_font_lock);
  return ok;
}

void disable_driver() {
  if (!g_font_lock_live) return;
  EnterCriticalSection(&g_font_lock);
  ForgetResourceGlyphSet();
  if (g_default_glyphs) GlobalFree(g_default_glyphs);
  g_default_glyphs = nullptr;
  LeaveCriticalSection(&g_font_lock);
  DeleteCriticalSection(&g_font_lock);
  g_font_lock_live = false;
}

BOOL query_driver_info(DWORD mode, PVOID buffer, DWORD size, DWORD* needed) {
  if (mode != DRVQUERY_USERMODE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (needed) *needed = 4;
  if (!buffer || size < 4) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  *static_cast<DWORD*>(buffer) = 1;
  return TRUE;
}

}  // namespace

MORVA_EXPORT BOOL DrvEnableDriver(ULONG iEngineVersion, ULONG cj, DRVENABLEDATA* pded) {
  TRACED(DrvEnableDriver, u"DrvEnableDriver RetValue = %d", enable_driver(iEngineVersion, cj, pded));
}

MORVA_EXPORT void DrvDisableDriver() {
  TraceEnter(u"DrvDisableDriver");
  disable_driver();
  TraceLeave(u"DrvDisableDriver");
}

MORVA_EXPORT BOOL DrvQueryDriverInfo(DWORD dwMode, PVOID pBuffer, DWORD cbBuf, DWORD* pcbNeeded) {
  TRACED(DrvQueryDriverInfo, u"DrvQueryDriverInfo RetValue = %d", query_driver_info(dwMode, pBuffer, cbBuf, pcbNeeded));
}

namespace morva::gfx {
FD_GLYPHSET* DefaultGlyphSet() { return g_default_glyphs; }
void EnterFontLock() {
  if (g_font_lock_live) EnterCriticalSection(&g_font_lock);
}
void LeaveFontLock() {
  if (g_font_lock_live) LeaveCriticalSection(&g_font_lock);
}
}  // namespace morva::gfx
