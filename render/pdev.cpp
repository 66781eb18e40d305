// The PDEV: its private heap, the settings copy from the DC DEVMODE, the
// paper geometry, the device capabilities reported to GDI and the device
// surface whose hooks route all drawing to the driver.
#include "render/pdev.h"

#include "settings/common/common_utils.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "output/document_control.h"
#include "output/fax_jobs.h"
#include "render/paper_select.h"
#include "render/drawing_core.h"
#include "render/text_output.h"
#include "render/escape_receiver.h"
#include "settings/common/module_state.h"
#include "settings/common/trace_log.h"
#include "settings/database/ddd_queries.h"
#include "settings/gfx/graphics_module.h"
#include "settings/items/item_access.h"
#include "settings/stores/printer_settings.h"
#include "win/ddi_engine.h"
#include "win/errors.h"
#include "win/memory.h"

namespace morva::gfx {

namespace {

constexpr SIZE_T kHeapInitial = 8192;
constexpr WORD kDdmidFields = 6;
constexpr WORD kDdmidOrientation = 7;
constexpr WORD kDdmidPaperSize = 8;
constexpr WORD kDdmidPaperLength = 9;
constexpr WORD kDdmidPaperWidth = 10;
constexpr WORD kDdmidScale = 11;
constexpr WORD kDdmidCopies = 12;
constexpr WORD kDdmidColour = 15;
constexpr WORD kDdmidResolution = 20;
constexpr WORD kDdmidEdgeToEdge = 383;
constexpr WORD kDdmidMarginRecord = 387;
constexpr DWORD kHookAll = 0x24EB;

WORD units_to_tenths(LONG units) {
  ULONGLONG micrometres = static_cast<ULONGLONG>(static_cast<DWORD>(units)) * 25400 / 18432;
  return static_cast<WORD>((micrometres + 50) / 100);
}

void free_paper(PaperRecord* record) {
  if (record->paper) DddFreeValue(&record->paper, 0xFFFF);
  record->paper = nullptr;
}

void rotate_landscape(PaperRecord* r) {
  LONG left = r->top, top = r->width - r->right, right = r->bottom, bottom = r->width - r->left;
  r->left = left;
  r->top = top;
  r->right = right;
  r->bottom = bottom;
  std::swap(r->width, r->height);
  r->rotated = 1;
}

void release_pdev(PDEV* pdev) {
  if (!pdev) return;
  FreeEscapeReceiver(pdev);
  if (pdev->palette) EngDeletePalette(pdev->palette);
  FreeDeviceFonts(pdev);
  free_paper(&pdev->page_paper);
  free_paper(&pdev->output_paper);
  if (pdev->database) {
    LockSlotGuard lock(kSlotDatabase);
    DddClose(pdev->database);
  }
  HANDLE heap = pdev->heap;
  pdev->signature = pdev->signature_end = 0;
  HeapDestroy(heap);
}

bool is_dc_devmode(const DEVMODEW* dm) {
  if (dm->dmDriverExtra != kDcDevmodeExtra) return false;
  WORD mark;
  std::memcpy(&mark, reinterpret_cast<const BYTE*>(dm) + kDriverDevmodeBytes, 2);
  return mark == kDcTailMark;
}

const LONG kChromaticity[][2] = {{6380, 3350}, {2345, 6075}, {1410, 932}, {2000, 2450},
                                 {5210, 2100}, {4750, 5100}, {3127, 3290}};

ULONG halftone_pattern(LONG dpi) {
  if (dpi >= 2400) return HT_PATSIZE_16x16_M;
  if (dpi >= 1800) return HT_PATSIZE_14x14_M;
  if (dpi >= 1200) return HT_PATSIZE_12x12_M;
  if (dpi >= 900) return HT_PATSIZE_10x10_M;
  if (dpi >= 400) return HT_PATSIZE_8x8_M;
  if (dpi >= 180) return HT_PATSIZE_6x6_M;
  return HT_PATSIZE_4x4_M;
}

// The scale in percent: the DEVMODE's when it names one, else 100; a scale
// of 0 would make every logical length zero.
LONG logical_scale(PDEV* pdev) {
  LONG scale = (PdevGetNumber(pdev, kDdmidFields) & DM_SCALE) ? PdevGetNumber(pdev, kDdmidScale) : 100;
  return scale > 0 ? scale : 100;
}

bool fill_gdi_info(PDEV* pdev, ULONG cj, ULONG* caps) {
  PrintableArea area{};
  if (!ComputePrintableArea(pdev, FALSE, &area)) return false;
  LONG dpi = PdevResolution(pdev);
  LONG scale = logical_scale(pdev);
  bool colour = PdevGetNumber(pdev, kDdmidColour) == 2;
  GDIINFO g{};
  g.ulVersion = 0x400;
  g.ulTechnology = DT_RASPRINTER;
  g.ulHorzSize = static_cast<ULONG>(MulDivHalfUp(area.width, 10, scale));
  g.ulVertSize = static_cast<ULONG>(MulDivHalfUp(area.height, 10, scale));
  g.ulHorzRes = static_cast<ULONG>(MulDivHalfUp(area.width, dpi, 254));
  g.ulVertRes = static_cast<ULONG>(MulDivHalfUp(area.height, dpi, 254));
  g.cBitsPixel = colour ? 24 : 1;
  g.cPlanes = 1;
  g.ulNumColors = colour ? (PdevGetEffective(pdev, 464) == 1 ? 0xFFFFFF : 16) : 2;
  g.ulLogPixelsX = g.ulLogPixelsY = static_cast<ULONG>(pdev->logical_dpi);
  g.flTextCaps = 0x19F7;
  g.ulAspectX = g.ulAspectY = static_cast<ULONG>(dpi);
  g.ulAspectXY = static_cast<ULONG>(dpi * 1414 / 1000);
  g.xStyleStep = g.yStyleStep = 1;
  g.denStyleStep = static_cast<ULONG>(dpi / 25);
  g.ptlPhysOffset = {MulDivHalfUp(area.left, dpi, 254), MulDivHalfUp(area.top, dpi, 254)};
  g.szlPhysSize = {MulDivHalfUp(area.phys_width, dpi, 254), MulDivHalfUp(area.phys_height, dpi, 254)};
  CIECHROMA* chroma[] = {&g.ciDevice.Red, &g.ciDevice.Green, &g.ciDevice.Blue, &g.ciDevice.Cyan,
                         &g.ciDevice.Magenta, &g.ciDevice.Yellow, &g.ciDevice.AlignmentWhite};
  for (int i = 0; i < 7; ++i) *chroma[i] = {kChromaticity[i][0], kChromaticity[i][1], 0};
  g.ciDevice.RedGamma = g.ciDevice.GreenGamma = g.ciDevice.BlueGamma = 12500;
  g.ciDevice.MagentaInCyanDye = 585;
  g.ciDevice.YellowInCyanDye = 120;
  g.ciDevice.MagentaInYellowDye = 10000;
  g.ulPrimaryOrder = 0;
  g.ulHTPatternSize = halftone_pattern(dpi);
  g.ulHTOutputFormat = colour && PdevGetNumber(pdev, 270) != 1 ? HT_FORMAT_4BPP : HT_FORMAT_1BPP;
  g.flHTFlags = HT_FLAG_HAS_BLACK_DYE;
  std::memcpy(caps, &g, std::min<std::size_t>(cj, std::min<std::size_t>(304, sizeof g)));
  return true;
}

bool fill_dev_info(PDEV* pdev, ULONG cj, DEVINFO* out) {
  DEVINFO d{};
  d.flGraphicsCaps = 0x11F;
  if (PdevGetNumber(pdev, 1333) == 0) d.flGraphicsCaps |= GCAPS_DONTJOURNAL;
  d.cFonts = pdev->device_fonts ? pdev->device_fonts->reported : 0;
  DefaultDeviceFontLogfont(pdev, &d);
  d.iDitherFormat = BMF_24BPP;
  if (pdev->palette) EngDeletePalette(pdev->palette);
  pdev->palette = EngCreatePalette(PAL_BGR, 0, nullptr, 0, 0, 0);
  if (!pdev->palette) return false;
  // The palette field is not pointer-aligned in the record.
  std::memcpy(reinterpret_cast<BYTE*>(&d) + offsetof(DEVINFO, hpalDefault), &pdev->palette, sizeof pdev->palette);
  std::memcpy(out, &d, std::min<std::size_t>(cj, std::min<std::size_t>(300, sizeof d)));
  return true;
}

}  // namespace

BOOL IsValidPdev(const PDEV* pdev) {
  return pdev && pdev->signature == kPdevSignature && pdev->signature_end == kPdevSignature;
}

PDEV* PdevOf(SURFOBJ* pso) { return pso ? reinterpret_cast<PDEV*>(pso->dhpdev) : nullptr; }

LONG PdevGetNumber(PDEV* pdev, WORD ddmid) {
  WORD type = 0;
  DWORD size = 0;
  DWORD_PTR value = 0;
  if (GetDdmValue(ddmid, pdev->settings, pdev->printer_data, &type, &size, &value) != 0) return 0;
  switch (type) {
    case 2: return static_cast<SHORT>(value);
    case 3: return static_cast<WORD>(value);
    case 8: return static_cast<BYTE>(value);
    default: return static_cast<LONG>(value);
  }
}

LONG PdevGetEffective(PDEV* pdev, WORD ddmid) {
  return GetEffectiveItemValue(pdev->settings, pdev->printer_data, ddmid);
}

const WCHAR* PdevGetString(PDEV* pdev, WORD ddmid) {
  WORD type = 0;
  DWORD size = 0;
  DWORD_PTR value = 0;
  if (GetDdmValue(ddmid, pdev->settings, pdev->printer_data, &type, &size, &value) != 0 || type != 6) return nullptr;
  return reinterpret_cast<const WCHAR*>(value);
}

LONG PdevResolution(PDEV* pdev) {
  LONG dpi = PdevGetNumber(pdev, kDdmidResolution);
  return dpi > 0 ? dpi : 600;
}

LONG MulDivHalfUp(LONG a, LONG b, LONG c) {
  if (c == 0) return 0;
  LONGLONG p = static_cast<LONGLONG>(a) * b;
  LONGLONG q = p / c;
  if ((p % c) * 10 / c > 4) ++q;
  return static_cast<LONG>(q);
}

BOOL ComputePrintableArea(PDEV* pdev, BOOL use_second, PrintableArea* out) {
  const PaperRecord& r = pdev->page_paper;
  if (r.width <= 0 || r.height <= 0) return FALSE;
  out->phys_width = units_to_tenths(r.width);
  out->phys_height = units_to_tenths(r.height);
  out->width = units_to_tenths(r.right - r.left);
  out->height = units_to_tenths(r.bottom - r.top);
  out->left = units_to_tenths(r.left);
  out->top = units_to_tenths(r.top);
  if (!r.paper) return TRUE;
  if (PdevGetEffective(pdev, kDdmidEdgeToEdge) == 1) {
    out->width = out->phys_width;
    out->height = out->phys_height;
    out->left = out->top = 0;
    return TRUE;
  }
  // Margins the printer interface stored for this paper win.
  const DcPaperRecord& m = use_second && pdev->margins[1].paper_size ? pdev->margins[1] : pdev->margins[0];
  if (PdevGetNumber(pdev, kDdmidMarginRecord) == 1 && m.paper_size == PdevGetNumber(pdev, kDdmidPaperSize)) {
    if (PdevGetNumber(pdev, kDdmidOrientation) == 1) {
      out->width = static_cast<WORD>(out->phys_width - m.left - m.right);
      out->height = static_cast<WORD>(out->phys_height - m.top - m.bottom);
      out->left = m.left;
      out->top = m.top;
    } else {
      out->width = static_cast<WORD>(out->phys_width - m.top - m.bottom);
      out->height = static_cast<WORD>(out->phys_height - m.left - m.right);
      out->left = m.bottom;
      out->top = m.left;
    }
  }
  return TRUE;
}

}  // namespace morva::gfx

using namespace morva::gfx;

extern "C" {

namespace {

DHPDEV enable_pdev(DEVMODEW* pdm, ULONG cPat, HSURF* phsurfPatterns, ULONG cjCaps, ULONG* pdevcaps, ULONG cjDevInfo,
                   DEVINFO* pdi, HDEV hdev, HANDLE hDriver) {
  if (!pdevcaps || !pdi || !hdev || !hDriver || !pdm) return nullptr;
  HANDLE heap = HeapCreate(0, kHeapInitial, 0);
  if (!heap) return nullptr;
  auto* pdev = static_cast<PDEV*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, sizeof(PDEV)));
  if (!pdev) {
    HeapDestroy(heap);
    return nullptr;
  }
  pdev->heap = heap;
  pdev->printer = hDriver;
  pdev->hdev = hdev;
  if (!LoadDataManager(GetDriverModuleHandle())) {
    HeapDestroy(heap);
    return nullptr;
  }
  LoadResourceModule();
  auto fail = [&]() -> DHPDEV {
    release_pdev(pdev);
    ReleaseResourceModule();
    ReleaseDataManager();
    return nullptr;
  };
  // Only the DC DEVMODE of the printer-interface library carries what the
  // page geometry needs.
  if (!is_dc_devmode(pdm)) return fail();
  const BYTE* tail = reinterpret_cast<const BYTE*>(pdm) + kDriverDevmodeBytes;
  std::memcpy(pdev->settings, pdm, kDriverDevmodeBytes);
  reinterpret_cast<DEVMODEW*>(pdev->settings)->dmDriverExtra = kDriverDevmodeExtra;
  std::memcpy(&pdev->margins[0], tail + 2, sizeof(DcPaperRecord));
  std::memcpy(&pdev->paper_list_mode, tail + 16, 4);
  std::memcpy(&pdev->colour_enforced, tail + 20, 4);
  {
    LockSlotGuard lock(kSlotDatabase);
    pdev->database = DddOpen(hDriver);
  }
  if (!pdev->database) return fail();
  pdev->signature = pdev->signature_end = kPdevSignature;
  pdev->printer_data = static_cast<BYTE*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, kPrinterDataBytes));
  if (!pdev->printer_data || ReadPrinterSettings(hDriver, pdev->printer_data, pdev->database) != 1) return fail();
  if (!SelectPaperRecord(pdev, &pdev->page_paper)) return fail();
  if (!SelectOutputPaperRecord(pdev, pdev->page_paper, &pdev->output_paper)) return fail();
  if ((PdevGetNumber(pdev, kDdmidFields) & DM_ORIENTATION) && PdevGetNumber(pdev, kDdmidOrientation) == 2)
    rotate_landscape(&pdev->page_paper);
  pdev->logical_dpi = logical_scale(pdev) * PdevResolution(pdev) / 100;
  pdev->copies = PdevGetNumber(pdev, kDdmidCopies);
  pdev->announced = 0;
  pdev->device_class_flag = GetDeviceClass(pdev->database) == 2 ? 1 : 0;  // a fax device
  LoadDeviceFonts(pdev);
  LoadFontSubstitutionList(pdev);
  if (!fill_gdi_info(pdev, cjCaps, pdevcaps) || !fill_dev_info(pdev, cjDevInfo, pdi)) return fail();
  for (ULONG i = 0; phsurfPatterns && i < cPat; ++i) phsurfPatterns[i] = nullptr;
  if (GetTraceFlags() & 0x10000) {
    TraceDumpItemRange(0x10000, u"<INPUT  DEVMODE>", pdm, pdev->printer_data);
    TraceDumpItemRange(0x10000, u"<OUTPUT DEVMODE>", pdev->settings, pdev->printer_data);
  }
  return reinterpret_cast<DHPDEV>(pdev);
}

void disable_pdev(PDEV* pdev) {
  if (IsValidPdev(pdev)) {
    if ((pdev->flags & kPdevDocStarted) && !(pdev->flags & kPdevSuperseded)) EndDocumentCleanup(pdev);
    FreeClipPathCache(pdev);
    release_pdev(pdev);
  } else {
    SetLastError(ERROR_INVALID_PARAMETER);
  }
  ReleaseResourceModule();
  ReleaseDataManager();
}

BOOL reset_pdev(PDEV* old_pdev, PDEV* new_pdev) {
  if (!IsValidPdev(old_pdev) || !IsValidPdev(new_pdev)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (old_pdev->flags & kPdevDocStarted) std::memcpy(new_pdev->font_page_state, old_pdev->font_page_state, 8);
  // The document is marked for new page geometry at its next page; an
  // aborted document or an open logical page refuses the reset.
  INT marked = MarkPdevReset(old_pdev, new_pdev);
  if ((old_pdev->flags & kPdevDocStarted) || old_pdev->announced) {
    new_pdev->job_id = old_pdev->job_id;
    new_pdev->margins[1] = new_pdev->margins[0];
    new_pdev->margins[0] = old_pdev->margins[0];
    // The document moves with its objects; the old PDEV forgets them.
    new_pdev->document = old_pdev->document;
    new_pdev->writer = old_pdev->writer;
    new_pdev->stream = old_pdev->stream;
    old_pdev->document = nullptr;
    old_pdev->writer = nullptr;
    old_pdev->stream = nullptr;
    if (new_pdev->document) new_pdev->document->owner = new_pdev;
    new_pdev->job_info = old_pdev->job_info;
    old_pdev->job_info = nullptr;
    new_pdev->images = old_pdev->images;
    old_pdev->images = nullptr;
  }
  if (new_pdev->document && (new_pdev->document->state & kDocOutputBegun)) {
    // The job keeps the settings it began with, except the page's paper
    // and orientation.
    static constexpr WORD kCarried[] = {kDdmidOrientation, kDdmidPaperSize, kDdmidPaperLength, kDdmidPaperWidth,
                                        19, 13};
    BYTE fresh[kDriverDevmodeBytes];
    std::memcpy(fresh, new_pdev->settings, sizeof fresh);
    std::memcpy(new_pdev->settings, old_pdev->settings, sizeof fresh);
    for (WORD id : kCarried) CopySettingValue(id, new_pdev->settings, fresh, new_pdev->printer_data);
    if (PdevGetNumber(old_pdev, 1350)) {
      DWORD duplex = static_cast<DWORD>(PdevGetNumber(new_pdev, 16));
      WORD type = 0;
      DWORD size = 0;
      DWORD_PTR value = 0;
      if (GetDdmValue(16, fresh, new_pdev->printer_data, &type, &size, &value) == 0) duplex = static_cast<DWORD>(value);
      SetDdmValueByType(16, new_pdev->settings, new_pdev->printer_data, type, duplex);
    }
    // The sheet stays the job's unless page state is kept or the sheet
    // follows the page.
    const DocumentControl* d = new_pdev->document;
    if (!d->keep_page_state && !d->job.output_follows_page) {
      free_paper(&new_pdev->output_paper);
      new_pdev->output_paper = old_pdev->output_paper;
      old_pdev->output_paper.paper = nullptr;
    }
  } else if (new_pdev->document) {
    CopyDevmodeExtension(new_pdev->settings, old_pdev->settings);
    if (old_pdev->device_class_flag)
      CarryOverJobFileSettings(new_pdev->settings, old_pdev->settings, new_pdev->printer_data);
    SetDdmValueByType(334, new_pdev->settings, new_pdev->printer_data, 1,
                      static_cast<DWORD>(PdevGetNumber(old_pdev, 334)));
  }
  new_pdev->flags |= kPdevCarriedOver | (old_pdev->flags & (kPdevDocStarted | kPdevPageBeforeOutput));
  old_pdev->flags |= kPdevSuperseded;
  new_pdev->announced = old_pdev->announced;
  CarryEscapeReceiver(old_pdev, new_pdev);
  if (marked != 0) return FALSE;
  std::memcpy(new_pdev->snapshot, old_pdev->snapshot, kDriverDevmodeBytes);
  if (GetTraceFlags() & 0x20000) {
    TraceDumpItemRange(0x20000, u"<OLD DEVMODE>", old_pdev->settings, old_pdev->printer_data);
    TraceDumpItemRange(0x20000, u"<NEW DEVMODE>", new_pdev->settings, new_pdev->printer_data);
  }
  return TRUE;
}

HSURF enable_surface(PDEV* pdev) {
  if (!IsValidPdev(pdev)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  PrintableArea area{};
  if (!ComputePrintableArea(pdev, TRUE, &area)) return nullptr;
  LONG dpi = PdevResolution(pdev);
  SIZEL size{MulDivHalfUp(area.width, dpi, 254), MulDivHalfUp(area.height, dpi, 254)};
  HSURF surface = EngCreateDeviceSurface(reinterpret_cast<DHSURF>(pdev), size, BMF_24BPP);
  if (!surface) return nullptr;
  if (!EngAssociateSurface(surface, pdev->hdev, kHookAll)) {
    EngDeleteSurface(surface);
    return nullptr;
  }
  pdev->surface = surface;
  return surface;
}

}  // namespace

MORVA_EXPORT DHPDEV DrvEnablePDEV(DEVMODEW* pdm, LPWSTR, ULONG cPat, HSURF* phsurfPatterns, ULONG cjCaps,
                                  ULONG* pdevcaps, ULONG cjDevInfo, DEVINFO* pdi, HDEV hdev, LPWSTR,
                                  HANDLE hDriver) {
  TraceEnter(u"DrvEnablePDEV");
  ReloadTraceSettings();
  DHPDEV r = enable_pdev(pdm, cPat, phsurfPatterns, cjCaps, pdevcaps, cjDevInfo, pdi, hdev, hDriver);
  TraceLeave(u"DrvEnablePDEV RetValue = 0x%08X", static_cast<unsigned>(reinterpret_cast<UINT_PTR>(r)));
  return r;
}

MORVA_EXPORT void DrvCompletePDEV(DHPDEV dhpdev, HDEV hdev) {
  TraceEnter(u"DrvCompletePDEV");
  auto* pdev = reinterpret_cast<PDEV*>(dhpdev);
  if (IsValidPdev(pdev))
    pdev->hdev = hdev;
  else
    SetLastError(ERROR_INVALID_PARAMETER);
  TraceLeave(u"DrvCompletePDEV");
}

MORVA_EXPORT BOOL DrvResetPDEV(DHPDEV dhpdevOld, DHPDEV dhpdevNew) {
  TraceEnter(u"DrvResetPDEV");
  BOOL r = reset_pdev(reinterpret_cast<PDEV*>(dhpdevOld), reinterpret_cast<PDEV*>(dhpdevNew));
  TraceLeave(u"DrvResetPDEV RetValue = %d", r);
  return r;
}

MORVA_EXPORT void DrvDisablePDEV(DHPDEV dhpdev) {
  TraceEnter(u"DrvDisablePDEV");
  disable_pdev(reinterpret_cast<PDEV*>(dhpdev));
  TraceLeave(u"DrvDisablePDEV");
}

MORVA_EXPORT HSURF DrvEnableSurface(DHPDEV dhpdev) {
  TraceEnter(u"DrvEnableSurface");
  HSURF r = enable_surface(reinterpret_cast<PDEV*>(dhpdev));
  TraceLeave(u"DrvEnableSurface RetValue = 0x%08X", static_cast<unsigned>(reinterpret_cast<UINT_PTR>(r)));
  return r;
}

MORVA_EXPORT void DrvDisableSurface(DHPDEV dhpdev) {
  TraceEnter(u"DrvDisableSurface");
  auto* pdev = reinterpret_cast<PDEV*>(dhpdev);
  if (IsValidPdev(pdev)) {
    if (pdev->surface) EngDeleteSurface(pdev->surface);
    pdev->surface = nullptr;
  } else {
    SetLastError(ERROR_INVALID_PARAMETER);
  }
  TraceLeave(u"DrvDisableSurface");
}

}  // extern "C"
