#include "printer_dc.h"

#include <cmath>
#include <cstring>

#include "win/errors.h"
#include "win/memory.h"
#include "win/modules.h"
#include "win/spooler.h"
#include "win/strings.h"

namespace morva::print_host {

namespace engine = platform::engine;

namespace {

// Bezier control distance of a quarter ellipse.
constexpr double kKappa = 0.5522847498;

POINTFIX fix(Point p) { return {static_cast<FIX>(std::lround(p.x * 16)), static_cast<FIX>(std::lround(p.y * 16))}; }

std::vector<BYTE> printer_info(HANDLE printer, DWORD level) {
  DWORD needed = 0;
  GetPrinterW(printer, level, nullptr, 0, &needed);
  std::vector<BYTE> buffer(needed);
  if (!needed || !GetPrinterW(printer, level, buffer.data(), needed, &needed)) buffer.clear();
  return buffer;
}

std::vector<BYTE> driver_info(HANDLE printer) {
  DWORD needed = 0;
  GetPrinterDriverW(printer, nullptr, 3, nullptr, 0, &needed);
  std::vector<BYTE> buffer(needed);
  if (!needed || !GetPrinterDriverW(printer, nullptr, 3, buffer.data(), needed, &needed)) buffer.clear();
  return buffer;
}

// The 8 x 8 hatch patterns, 1 bit a pixel, 1 where the hatch line is.
constexpr BYTE kHatches[HS_DDI_MAX][8] = {
    {0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00},  // horizontal
    {0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08},  // vertical
    {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01},  // forward diagonal
    {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80},  // backward diagonal
    {0x08, 0x08, 0x08, 0xFF, 0x08, 0x08, 0x08, 0x08},  // cross
    {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81},  // diagonal cross
};

HSURF hatch_surface(int hatch) {
  HSURF surface = reinterpret_cast<HSURF>(EngCreateBitmap({8, 8}, 0, BMF_1BPP, BMF_TOPDOWN, nullptr));
  SURFOBJ* so = EngLockSurface(surface);
  for (int y = 0; y < 8; ++y) static_cast<BYTE*>(so->pvScan0)[y * so->lDelta] = kHatches[hatch][y];
  return surface;
}

}  // namespace

std::unique_ptr<PrinterDc> PrinterDc::create(const std::u16string& printer, const DEVMODEW* devmode,
                                             std::string* error, HANDLE event_printer) {
  std::unique_ptr<PrinterDc> dc(new PrinterDc);
  dc->printer_name_ = printer;
  std::u16string name = printer;
  if (!OpenPrinterW(name.data(), &dc->printer_, nullptr)) {
    *error = "printer \"" + u16_to_utf8(printer) + "\" cannot be opened";
    return nullptr;
  }
  dc->event_printer_ = event_printer ? event_printer : dc->printer_;
  auto info = driver_info(dc->printer_);
  if (info.empty()) {
    *error = "the driver of printer \"" + u16_to_utf8(printer) + "\" is not installed";
    return nullptr;
  }
  const auto* driver = reinterpret_cast<const DRIVER_INFO_3W*>(info.data());
  // The interface DLL is optional for drawing; its document events are
  // sent only when it exports them.
  if (driver->pConfigFile && *driver->pConfigFile) {
    dc->interface_dll_ = LoadLibraryW(driver->pConfigFile);
    if (dc->interface_dll_)
      dc->document_event_ =
          morva_proc_as<PFN_DrvDocumentEvent>(GetProcAddress(dc->interface_dll_, "DrvDocumentEvent"));
  }
  dc->graphics_dll_ = driver->pDriverPath ? LoadLibraryW(driver->pDriverPath) : nullptr;
  if (!dc->graphics_dll_) {
    *error = "the graphics DLL " + u16_to_utf8(u16view(driver->pDriverPath)) + " cannot be loaded";
    return nullptr;
  }
  auto enable_driver =
      morva_proc_as<PFN_DrvEnableDriver>(GetProcAddress(dc->graphics_dll_, "DrvEnableDriver"));
  if (!enable_driver) {
    *error = "the graphics DLL does not export DrvEnableDriver";
    return nullptr;
  }

  // The application's DEVMODE: the one given, else the printer's default.
  if (devmode) {
    dc->devmode_.assign(reinterpret_cast<const BYTE*>(devmode),
                        reinterpret_cast<const BYTE*>(devmode) + devmode->dmSize + devmode->dmDriverExtra);
  } else {
    auto p2 = printer_info(dc->printer_, 2);
    const auto* pi = p2.empty() ? nullptr : reinterpret_cast<const PRINTER_INFO_2W*>(p2.data());
    if (pi && pi->pDevMode)
      dc->devmode_.assign(reinterpret_cast<const BYTE*>(pi->pDevMode),
                          reinterpret_cast<const BYTE*>(pi->pDevMode) + pi->pDevMode->dmSize +
                              pi->pDevMode->dmDriverExtra);
  }
  DEVMODEW* app_devmode = dc->devmode_.empty() ? nullptr : reinterpret_cast<DEVMODEW*>(dc->devmode_.data());

  // CREATEDCPRE may hand back a DEVMODE of the driver's own to use instead.
  DEVMODEW* replacement = nullptr;
  std::u16string driver_name(u16view(driver->pName));
  DOCEVENT_CREATEDCPRE pre{driver_name.data(), name.data(), app_devmode, FALSE};
  if (dc->document_event(DOCUMENTEVENT_CREATEDCPRE, sizeof(pre), &pre, sizeof(replacement), &replacement) ==
      DOCUMENTEVENT_FAILURE) {
    *error = "DrvDocumentEvent(CREATEDCPRE) failed";
    return nullptr;
  }
  DEVMODEW* enable_devmode = replacement ? replacement : app_devmode;
  if (replacement)
    dc->devmode_.assign(reinterpret_cast<const BYTE*>(replacement),
                        reinterpret_cast<const BYTE*>(replacement) + replacement->dmSize + replacement->dmDriverExtra);

  DRVENABLEDATA ded{};
  if (!enable_driver(DDI_DRIVER_VERSION_NT5, sizeof(ded), &ded)) {
    *error = "DrvEnableDriver failed";
    return nullptr;
  }
  dc->driver_enabled_ = true;
  dc->device_ = std::make_unique<engine::Device>();
  if (!dc->device_->set_functions(ded)) {
    *error = "DrvEnableDriver named no function";
    return nullptr;
  }
  if (!dc->device_->function(INDEX_DrvEnablePDEV) || !dc->device_->function(INDEX_DrvCompletePDEV) ||
      !dc->device_->function(INDEX_DrvEnableSurface)) {
    *error = "the driver lacks DrvEnablePDEV, DrvCompletePDEV or DrvEnableSurface";
    return nullptr;
  }
  for (int i = 0; i < HS_DDI_MAX; ++i) dc->patterns_[i] = hatch_surface(i);
  DHPDEV pdev = dc->enable_pdev(enable_devmode, &dc->gdi_info_, &dc->dev_info_);
  if (pdev) {
    dc->device_->dhpdev = pdev;
    dc->surface_ = dc->device_->get<PFN_DrvEnableSurface>(INDEX_DrvEnableSurface)(pdev);
  }
  const bool made = pdev && dc->surface_ && dc->device_->surface;
  if (made) {
    dc->query_device_fonts();
    dc->hdc_ = platform::register_printer_dc(dc.get());
  }
  // CREATEDCPOST always follows a CREATEDCPRE that succeeded: with the new
  // DC, or with none when the DC could not be made, and with the DEVMODE
  // handed out at CREATEDCPRE for the interface DLL to free.
  DEVMODEW* freed = replacement;
  dc->document_event(DOCUMENTEVENT_CREATEDCPOST, sizeof(freed), &freed, 0, nullptr);
  if (!pdev) {
    *error = "DrvEnablePDEV failed";
    return nullptr;
  }
  if (!made) {
    *error = "DrvEnableSurface gave no surface associated with the device";
    return nullptr;
  }
  return dc;
}

DHPDEV PrinterDc::enable_pdev(DEVMODEW* devmode, GDIINFO* gdi, DEVINFO* info) {
  HSURF patterns[HS_DDI_MAX];
  std::copy(patterns_, patterns_ + HS_DDI_MAX, patterns);
  std::u16string name = printer_name_;
  DHPDEV pdev = device_->get<PFN_DrvEnablePDEV>(INDEX_DrvEnablePDEV)(
      devmode, nullptr, HS_DDI_MAX, patterns, sizeof(GDIINFO), reinterpret_cast<ULONG*>(gdi), sizeof(DEVINFO), info,
      device_->hdev(), name.data(), printer_);
  if (!pdev) return nullptr;
  device_->get<PFN_DrvCompletePDEV>(INDEX_DrvCompletePDEV)(pdev, device_->hdev());
  if (gdi->ulLogPixelsX == 0) gdi->ulLogPixelsX = gdi->ulLogPixelsY = 300;
  return pdev;
}

void PrinterDc::query_device_fonts() {
  device_fonts_.clear();
  auto query_font = device_->get<PFN_DrvQueryFont>(INDEX_DrvQueryFont);
  auto query_tree = device_->get<PFN_DrvQueryFontTree>(INDEX_DrvQueryFontTree);
  for (ULONG face = 1; query_font && face <= dev_info_.cFonts; ++face) {
    ULONG_PTR id = 0;
    IFIMETRICS* ifi = query_font(device_->dhpdev, 0, face, &id);
    if (!ifi) continue;
    auto* glyphs =
        query_tree ? static_cast<FD_GLYPHSET*>(query_tree(device_->dhpdev, 0, face, QFT_GLYPHSET, &id)) : nullptr;
    std::u16string family(
        u16view(reinterpret_cast<const char16_t*>(reinterpret_cast<BYTE*>(ifi) + ifi->dpwszFamilyName)));
    device_fonts_.push_back({face, ifi, glyphs, family});
  }
}

// The PDEV and its surface go; brushes realised for it and the trivial
// clip of its page go with them.
void PrinterDc::disable_pdev() {
  if (brush_object_) engine::delete_brush(brush_object_);
  brush_object_ = nullptr;
  if (trivial_clip_) engine::delete_clip(trivial_clip_);
  trivial_clip_ = nullptr;
  if (!device_) return;
  if (surface_)
    if (auto disable = device_->get<PFN_DrvDisableSurface>(INDEX_DrvDisableSurface)) disable(device_->dhpdev);
  surface_ = nullptr;
  device_->surface = nullptr;
  if (device_->dhpdev)
    if (auto disable = device_->get<PFN_DrvDisablePDEV>(INDEX_DrvDisablePDEV)) disable(device_->dhpdev);
  device_->dhpdev = nullptr;
}

bool PrinterDc::reset_dc(const std::vector<BYTE>& devmode) {
  if (page_open_ || devmode.size() < sizeof(DEVMODEW)) return false;
  std::vector<BYTE> app = devmode;
  DEVMODEW* in = reinterpret_cast<DEVMODEW*>(app.data());
  DEVMODEW* replacement = nullptr;
  if (document_event(DOCUMENTEVENT_RESETDCPRE, sizeof(in), &in, sizeof(replacement), &replacement) ==
      DOCUMENTEVENT_FAILURE)
    return fail("DrvDocumentEvent(RESETDCPRE)");
  DEVMODEW* use = replacement ? replacement : in;
  GDIINFO gdi{};
  DEVINFO info{};
  DHPDEV fresh = enable_pdev(use, &gdi, &info);
  if (fresh) {
    const auto* bytes = reinterpret_cast<const BYTE*>(use);
    devmode_.assign(bytes, bytes + use->dmSize + use->dmDriverExtra);
  }
  DEVMODEW* freed = replacement;
  if (!fresh) {
    document_event(DOCUMENTEVENT_RESETDCPOST, sizeof(freed), &freed, 0, nullptr);
    return fail("DrvEnablePDEV");
  }
  const DHPDEV old = device_->dhpdev;
  auto reset = device_->get<PFN_DrvResetPDEV>(INDEX_DrvResetPDEV);
  if (reset && !reset(old, fresh)) {
    if (auto disable = device_->get<PFN_DrvDisablePDEV>(INDEX_DrvDisablePDEV)) disable(fresh);
    document_event(DOCUMENTEVENT_RESETDCPOST, sizeof(freed), &freed, 0, nullptr);
    return fail("DrvResetPDEV");
  }
  disable_pdev();
  device_->dhpdev = fresh;
  gdi_info_ = gdi;
  dev_info_ = info;
  surface_ = device_->get<PFN_DrvEnableSurface>(INDEX_DrvEnableSurface)(fresh);
  query_device_fonts();
  if (document_event(DOCUMENTEVENT_RESETDCPOST, sizeof(freed), &freed, 0, nullptr) == DOCUMENTEVENT_FAILURE)
    return fail("DrvDocumentEvent(RESETDCPOST)");
  if (!surface_ || !device_->surface) return fail("DrvEnableSurface");
  return true;
}

PrinterDc::~PrinterDc() {
  if (doc_open_) abort_doc();
  if (hdc_) document_event(DOCUMENTEVENT_DELETEDC, 0, nullptr, 0, nullptr);
  if (clip_) engine::delete_clip(clip_);
  for (const RealizedFont& f : realized_fonts_) engine::delete_font(f.fo);
  disable_pdev();
  if (driver_enabled_ && graphics_dll_)
    if (auto disable = morva_proc_as<PFN_DrvDisableDriver>(GetProcAddress(graphics_dll_, "DrvDisableDriver")))
      disable();
  for (HSURF pattern : patterns_)
    if (pattern) EngDeleteSurface(pattern);
  if (hdc_) platform::unregister_printer_dc(hdc_);
  device_.reset();
  if (graphics_dll_) FreeLibrary(graphics_dll_);
  if (interface_dll_) FreeLibrary(interface_dll_);
  if (printer_) ClosePrinter(printer_);
}

std::vector<std::u16string> PrinterDc::device_fonts() const {
  std::vector<std::u16string> out;
  for (const auto& f : device_fonts_) out.push_back(f.family);
  return out;
}

int PrinterDc::document_event(int event, ULONG in_size, void* in, ULONG out_size, void* out) {
  if (!document_event_) return DOCUMENTEVENT_UNSUPPORTED;
  return document_event_(event_printer_, hdc_, event, in_size, in, out_size, out);
}

// GDI drawing of the interface DLL on this DC (stamps, print header): the
// DC's state at the call becomes the pen, brush and font of the drawing,
// and the host's own selections come back afterwards.
BOOL PrinterDc::draw_text(POINT at, const LOGFONTW& lf, COLORREF colour, LPCWSTR text, UINT count) {
  const Font saved_font = font_;
  const COLORREF saved_colour = text_color_;
  Font f;
  f.face = std::u16string(lf.lfFaceName, std::char_traits<char16_t>::length(lf.lfFaceName));
  if (f.face.empty()) f.face = saved_font.face;
  f.size_pt = std::abs(lf.lfHeight) * 72.0 / (dpi_y() > 0 ? dpi_y() : 300);
  f.weight = lf.lfWeight ? lf.lfWeight : FW_NORMAL;
  f.italic = lf.lfItalic != 0;
  f.escapement = lf.lfEscapement;
  font_ = f;
  text_color_ = colour;
  const bool ok = text_out({static_cast<double>(at.x), static_cast<double>(at.y)}, std::u16string(text, count));
  font_ = saved_font;
  text_color_ = saved_colour;
  return ok ? TRUE : FALSE;
}

BOOL PrinterDc::draw_shape(int kind, const POINT* points, int count, const LOGPEN& pen, BOOL hollow, COLORREF fill) {
  if (!points || count < 2) return FALSE;
  const Pen saved_pen = pen_;
  const Brush saved_brush = brush_;
  Pen p;
  p.style = pen.lopnStyle == PS_NULL ? PS_NULL : PS_SOLID;
  p.width = pen.lopnWidth.x;
  p.geometric = pen.lopnWidth.x > 1;
  p.color = pen.lopnColor;
  pen_ = p;
  Brush b;
  b.kind = hollow ? Brush::kNull : Brush::kSolid;
  b.color = fill;
  select_brush(b);
  bool ok;
  if (kind == 0) {
    std::vector<Point> corners;
    for (int i = 0; i < count; ++i) corners.push_back({static_cast<double>(points[i].x), static_cast<double>(points[i].y)});
    ok = polygon(corners);
  } else {
    ok = ellipse(RECTL{points[0].x, points[0].y, points[1].x, points[1].y});
  }
  pen_ = saved_pen;
  select_brush(saved_brush);
  return ok ? TRUE : FALSE;
}

int PrinterDc::start_page_call() { return start_page() ? 1 : 0; }
int PrinterDc::end_page_call() { return end_page() ? 1 : 0; }

int PrinterDc::start_doc_call(LPCWSTR name, LPCWSTR) {
  return start_doc(name ? name : u"") ? static_cast<int>(job_id_) : 0;
}
int PrinterDc::end_doc_call() { return end_doc() ? 1 : 0; }
int PrinterDc::abort_doc_call() {
  if (!doc_open_) return 0;
  abort_doc();
  return 1;
}

namespace {

platform::PrinterDcTarget* make_printer_dc(LPCWSTR device, const DEVMODEW* devmode, HDC* hdc) {
  std::string error;
  std::unique_ptr<PrinterDc> dc = PrinterDc::create(device, devmode, &error);
  if (!dc) return nullptr;
  *hdc = dc->hdc();
  return dc.release();
}

}  // namespace

void install_printer_dc_maker() { platform::set_printer_dc_maker(&make_printer_dc); }

int PrinterDc::escape(int code, int in_size, const void* in, int out_size, void* out) {
  auto drv_escape = device_->get<PFN_DrvEscape>(INDEX_DrvEscape);
  if (!drv_escape) return 0;
  return static_cast<int>(drv_escape(surface(), static_cast<ULONG>(code), static_cast<ULONG>(in_size),
                                     const_cast<void*>(in), static_cast<ULONG>(out_size), out));
}

SURFOBJ* PrinterDc::surface() const { return device_->surface_object(); }

bool PrinterDc::fail(const std::string& entry) {
  if (failed_entry_.empty()) failed_entry_ = entry;
  if (doc_open_) abort_doc();
  return false;
}

bool PrinterDc::start_doc(const std::u16string& name) {
  failed_entry_.clear();
  std::u16string doc_name = name;
  DOCINFOW info{sizeof(DOCINFOW), doc_name.c_str(), nullptr, nullptr, 0};
  DOCINFOW* info_pointer = &info;
  if (document_event(DOCUMENTEVENT_STARTDOCPRE, sizeof(info_pointer), &info_pointer, 0, nullptr) ==
      DOCUMENTEVENT_FAILURE) {
    failed_entry_ = "DrvDocumentEvent(STARTDOCPRE)";
    return false;
  }
  std::u16string datatype = u"RAW";
  DOC_INFO_1W job{doc_name.data(), nullptr, datatype.data()};
  job_id_ = StartDocPrinterW(printer_, 1, reinterpret_cast<LPBYTE>(&job));
  if (!job_id_) {
    failed_entry_ = "StartDocPrinter";
    return false;
  }
  doc_open_ = true;
  auto start = device_->get<PFN_DrvStartDoc>(INDEX_DrvStartDoc);
  if (!start || !start(surface(), doc_name.data(), job_id_)) return fail("DrvStartDoc");
  DWORD id = job_id_;
  if (document_event(DOCUMENTEVENT_STARTDOCPOST, sizeof(id), &id, 0, nullptr) == DOCUMENTEVENT_FAILURE)
    return fail("DrvDocumentEvent(STARTDOCPOST)");
  return true;
}

bool PrinterDc::start_page() {
  if (!doc_open_) return false;
  if (document_event(DOCUMENTEVENT_STARTPAGE, 0, nullptr, 0, nullptr) == DOCUMENTEVENT_FAILURE)
    return fail("DrvDocumentEvent(STARTPAGE)");
  StartPagePrinter(printer_);
  auto start = device_->get<PFN_DrvStartPage>(INDEX_DrvStartPage);
  if (!start || !start(surface())) return fail("DrvStartPage");
  page_open_ = true;
  return true;
}

bool PrinterDc::ensure_page() { return page_open_ || start_page(); }

bool PrinterDc::end_page() {
  if (!doc_open_) return false;
  if (!page_open_ && !start_page()) return false;
  // The interface DLL may still draw on the page (stamps, headers).
  if (document_event(DOCUMENTEVENT_ENDPAGE, 0, nullptr, 0, nullptr) == DOCUMENTEVENT_FAILURE)
    return fail("DrvDocumentEvent(ENDPAGE)");
  auto send = device_->get<PFN_DrvSendPage>(INDEX_DrvSendPage);
  if (!send || !send(surface())) return fail("DrvSendPage");
  EndPagePrinter(printer_);
  page_open_ = false;
  return true;
}

bool PrinterDc::end_doc() {
  if (!doc_open_) return false;
  if (page_open_ && !end_page()) return false;
  if (document_event(DOCUMENTEVENT_ENDDOCPRE, 0, nullptr, 0, nullptr) == DOCUMENTEVENT_FAILURE)
    return fail("DrvDocumentEvent(ENDDOCPRE)");
  auto end = device_->get<PFN_DrvEndDoc>(INDEX_DrvEndDoc);
  if (!end || !end(surface(), 0)) return fail("DrvEndDoc");
  EndDocPrinter(printer_);
  doc_open_ = false;
  document_event(DOCUMENTEVENT_ENDDOCPOST, 0, nullptr, 0, nullptr);
  return true;
}

void PrinterDc::abort_doc() {
  if (!doc_open_) return;
  doc_open_ = false;
  page_open_ = false;
  document_event(DOCUMENTEVENT_ABORTDOC, 0, nullptr, 0, nullptr);
  if (auto end = device_->get<PFN_DrvEndDoc>(INDEX_DrvEndDoc)) end(surface(), ED_ABORTDOC);
  AbortPrinter(printer_);
}

// ---- state -------------------------------------------------------------------

void PrinterDc::select_brush(const Brush& brush) {
  brush_ = brush;
  if (brush_object_) engine::delete_brush(brush_object_);
  brush_object_ = nullptr;
}

BRUSHOBJ* PrinterDc::realize_brush_object() {
  if (brush_object_ || brush_.kind == Brush::kNull) return brush_object_;
  if (brush_.kind == Brush::kSolid) {
    brush_object_ = engine::create_brush_solid(device_color(brush_.color));
  } else if (brush_.kind == Brush::kHatch) {
    const int hatch = brush_.hatch >= 0 && brush_.hatch < HS_DDI_MAX ? brush_.hatch : HS_HORIZONTAL;
    // Entry 0 is the background, entry 1 the hatch lines.
    XLATEOBJ* xlate = engine::create_xlate_table({device_color(bk_color_), device_color(brush_.color)});
    brush_object_ = engine::create_brush_pattern(device_.get(), hatch_surface(hatch), nullptr, xlate,
                                                 static_cast<ULONG>(hatch));
  } else {
    ImageBitmap bitmap;
    if (!make_bitmap(brush_.pattern, brush_.pattern_bpp, false, &bitmap)) return nullptr;
    XLATEOBJ* xlate = bitmap.xlate;
    if (brush_.pattern_bpp == 1)  // a monochrome pattern takes the text and background colours
      xlate = engine::create_xlate_table({device_color(text_color_), device_color(bk_color_)});
    else
      bitmap.xlate = nullptr;
    brush_object_ = engine::create_brush_pattern(device_.get(), bitmap.surface, nullptr, xlate, HS_DDI_MAX);
    bitmap.surface = nullptr;
  }
  return brush_object_;
}

void PrinterDc::clip_none() {
  if (clip_) engine::delete_clip(clip_);
  clip_ = nullptr;
}

void PrinterDc::clip_rects(const std::vector<RECTL>& rects) {
  clip_none();
  const SIZEL page = page_size();
  std::vector<RECTL> inside;
  for (RECTL r : rects) {
    r.left = std::max<LONG>(r.left, 0);
    r.top = std::max<LONG>(r.top, 0);
    r.right = std::min<LONG>(r.right, page.cx);
    r.bottom = std::min<LONG>(r.bottom, page.cy);
    inside.push_back(r);
  }
  clip_ = engine::create_clip_rects(inside);
}

void PrinterDc::clip_path(const std::vector<PathStep>& steps, bool winding) {
  clip_none();
  PATHOBJ* path = build_path(steps);
  CLIPOBJ* inside = engine::create_clip_path(path, winding);
  EngDeletePath(path);
  clip_rects(engine::clip_rects(inside));
  engine::delete_clip(inside);
}

CLIPOBJ* PrinterDc::clip_for_call() {
  if (clip_) return clip_;
  if (!trivial_clip_) {
    const SIZEL page = page_size();
    trivial_clip_ = engine::create_clip_trivial({0, 0, page.cx, page.cy});
  }
  return trivial_clip_;
}

// ---- paths -------------------------------------------------------------------

PATHOBJ* PrinterDc::build_path(const std::vector<PathStep>& steps) const {
  PATHOBJ* path = EngCreatePath();
  if (path_batch_) engine::set_path_batch_limit(path, path_batch_);
  for (const PathStep& step : steps) {
    std::vector<POINTFIX> points;
    for (const Point& p : step.points) points.push_back(fix(p));
    switch (step.kind) {
      case PathStep::kMove:
        if (!points.empty()) PATHOBJ_bMoveTo(path, points.front());
        break;
      case PathStep::kLine: PATHOBJ_bPolyLineTo(path, points.data(), static_cast<ULONG>(points.size())); break;
      case PathStep::kBezier:
        PATHOBJ_bPolyBezierTo(path, points.data(), static_cast<ULONG>(points.size() - points.size() % 3));
        break;
      case PathStep::kClose: PATHOBJ_bCloseFigure(path); break;
    }
  }
  return path;
}

bool PrinterDc::stroke_fill(PATHOBJ* path, bool stroke, bool fill) {
  stroke = stroke && pen_.style != PS_NULL;
  fill = fill && brush_.kind != Brush::kNull;
  if (!stroke && !fill) return true;
  if (!ensure_page()) return false;
  CLIPOBJ* clip = clip_for_call();
  const MIX mix = static_cast<MIX>(rop2_ | (rop2_ << 8));
  POINTL origin = brush_origin_;
  // The pen: cosmetic (one pixel, integer styles in style steps) or
  // geometric (a width in device units, styles in device units).
  const bool geometric = pen_.geometric || pen_.width > 1;
  const double w = std::max(pen_.width, 1.0);
  std::vector<double> dashes;
  switch (pen_.style) {
    case PS_DASH: dashes = {6, 2}; break;
    case PS_DOT: dashes = {1, 1}; break;
    case PS_DASHDOT: dashes = {3, 1, 1, 1}; break;
    case PS_DASHDOTDOT: dashes = {3, 1, 1, 1, 1, 1}; break;
    default: break;
  }
  std::vector<FLOAT_LONG> style(dashes.size());
  LINEATTRS la{};
  if (geometric) {
    la.fl = LA_GEOMETRIC;
    la.elWidth.e = static_cast<FLOATL>(w);
    la.iJoin = pen_.join;
    la.iEndCap = pen_.cap;
    la.eMiterLimit = 10;
    for (size_t i = 0; i < dashes.size(); ++i) style[i].e = static_cast<FLOATL>(dashes[i] * w);
  } else {
    la.elWidth.l = 1;
    for (size_t i = 0; i < dashes.size(); ++i) style[i].l = static_cast<LONG>(dashes[i]);
  }
  if (!style.empty()) {
    la.fl |= LA_STYLED;
    la.cstyle = static_cast<ULONG>(style.size());
    la.pstyle = style.data();
  }
  XFORMOBJ* world = engine::create_xform({1, 0, 0, 1, 0, 0});
  BRUSHOBJ* pen_brush = engine::create_brush_solid(device_color(pen_.color));
  BRUSHOBJ* fill_brush = fill ? realize_brush_object() : nullptr;
  const FLONG fill_mode = winding_ ? FP_WINDINGMODE : FP_ALTERNATEMODE;
  bool ok = true;
  std::string entry;
  if (stroke && fill) {
    auto call = device_->get<PFN_DrvStrokeAndFillPath>(INDEX_DrvStrokeAndFillPath);
    entry = "DrvStrokeAndFillPath";
    ok = call && call(surface(), path, clip, world, pen_brush, &la, fill_brush, &origin, mix, fill_mode);
  } else if (stroke) {
    auto call = device_->get<PFN_DrvStrokePath>(INDEX_DrvStrokePath);
    entry = "DrvStrokePath";
    ok = call && call(surface(), path, clip, world, pen_brush, &origin, &la, mix);
  } else {
    auto call = device_->get<PFN_DrvFillPath>(INDEX_DrvFillPath);
    entry = "DrvFillPath";
    ok = call && call(surface(), path, clip, fill_brush, &origin, mix, fill_mode);
  }
  engine::delete_brush(pen_brush);
  engine::delete_xform(world);
  return ok ? true : fail(entry);
}

bool PrinterDc::draw_path(const std::vector<PathStep>& steps, bool stroke, bool fill) {
  PATHOBJ* path = build_path(steps);
  const bool ok = stroke_fill(path, stroke, fill);
  EngDeletePath(path);
  return ok;
}

bool PrinterDc::move_to(Point p) {
  position_ = p;
  return true;
}

bool PrinterDc::line_to(Point p) {
  const bool ok = draw_path({{PathStep::kMove, {position_}}, {PathStep::kLine, {p}}}, true, false);
  position_ = p;
  return ok;
}

bool PrinterDc::polyline(const std::vector<Point>& points) {
  if (points.size() < 2) return true;
  return draw_path({{PathStep::kMove, {points[0]}}, {PathStep::kLine, {points.begin() + 1, points.end()}}}, true,
                   false);
}

bool PrinterDc::poly_bezier(const std::vector<Point>& points) {
  if (points.size() < 4) return true;
  return draw_path({{PathStep::kMove, {points[0]}}, {PathStep::kBezier, {points.begin() + 1, points.end()}}}, true,
                   false);
}

bool PrinterDc::polygon(const std::vector<Point>& points) {
  if (points.size() < 2) return true;
  return draw_path({{PathStep::kMove, {points[0]}},
                    {PathStep::kLine, {points.begin() + 1, points.end()}},
                    {PathStep::kClose, {}}},
                   true, true);
}

bool PrinterDc::rectangle(const RECTL& r) {
  return polygon({{double(r.left), double(r.top)},
                  {double(r.right), double(r.top)},
                  {double(r.right), double(r.bottom)},
                  {double(r.left), double(r.bottom)}});
}

bool PrinterDc::ellipse(const RECTL& r) {
  const double cx = (r.left + r.right) / 2.0, cy = (r.top + r.bottom) / 2.0;
  const double rx = (r.right - r.left) / 2.0, ry = (r.bottom - r.top) / 2.0;
  const double kx = rx * kKappa, ky = ry * kKappa;
  std::vector<PathStep> steps{{PathStep::kMove, {{cx + rx, cy}}},
                              {PathStep::kBezier,
                               {{cx + rx, cy + ky}, {cx + kx, cy + ry}, {cx, cy + ry},
                                {cx - kx, cy + ry}, {cx - rx, cy + ky}, {cx - rx, cy},
                                {cx - rx, cy - ky}, {cx - kx, cy - ry}, {cx, cy - ry},
                                {cx + kx, cy - ry}, {cx + rx, cy - ky}, {cx + rx, cy}}},
                              {PathStep::kClose, {}}};
  PATHOBJ* path = build_path(steps);
  engine::mark_path_ellipse(path);
  const bool ok = stroke_fill(path, true, true);
  EngDeletePath(path);
  return ok;
}

// ---- blits -------------------------------------------------------------------

bool PrinterDc::fill_rect(const RECTL& rect) { return pat_blt(rect, 0xF0F0); }

bool PrinterDc::pat_blt(const RECTL& rect, ROP4 rop4) {
  if (!ensure_page()) return false;
  RECTL target = rect;
  POINTL origin = brush_origin_;
  BRUSHOBJ* brush = realize_brush_object();
  auto blt = device_->get<PFN_DrvBitBlt>(INDEX_DrvBitBlt);
  if (!blt || !blt(surface(), nullptr, nullptr, clip_for_call(), nullptr, &target, nullptr, nullptr, brush, &origin,
                   rop4))
    return fail("DrvBitBlt");
  return true;
}

bool PrinterDc::draw_image(const Image& image, const RECTL& rect, int bpp, ROP4 rop4, bool use_mask) {
  if (!ensure_page()) return false;
  ImageBitmap bitmap;
  if (!make_bitmap(image, bpp, use_mask, &bitmap)) return fail("image bitmap");
  return draw_bitmap(bitmap, rect, rop4);
}

bool PrinterDc::draw_bitmap(const ImageBitmap& bitmap, const RECTL& rect, ROP4 rop4) {
  if (!ensure_page()) return false;
  SURFOBJ* src = EngLockSurface(bitmap.surface);
  SURFOBJ* mask = bitmap.mask ? EngLockSurface(bitmap.mask) : nullptr;
  if (mask) rop4 = (rop4 & 0xFF) | 0xAA00;  // the destination stays where the mask is clear
  RECTL target = rect;
  const LONG width = src ? src->sizlBitmap.cx : 0, height = src ? src->sizlBitmap.cy : 0;
  RECTL source{0, 0, width, height};
  POINTL zero{0, 0}, origin = brush_origin_;
  BRUSHOBJ* brush = ((rop4 ^ (rop4 >> 4)) & 0x0F0F) ? realize_brush_object() : nullptr;
  const bool same_size = rect.right - rect.left == width && rect.bottom - rect.top == height;
  if (same_size) {
    auto blt = device_->get<PFN_DrvBitBlt>(INDEX_DrvBitBlt);
    if (!blt || !blt(surface(), src, mask, clip_for_call(), bitmap.xlate, &target, &zero, mask ? &zero : nullptr,
                     brush, &origin, rop4))
      return fail("DrvBitBlt");
    return true;
  }
  COLORADJUSTMENT ca{sizeof(COLORADJUSTMENT), 0, 0, 10000, 10000, 10000, 0, 10000, 0, 0, 0, 0};
  if (rop4 == 0xCCCC && !mask) {
    auto stretch = device_->get<PFN_DrvStretchBlt>(INDEX_DrvStretchBlt);
    if (!stretch || !stretch(surface(), src, nullptr, clip_for_call(), bitmap.xlate, &ca, &zero, &target, &source,
                             nullptr, HALFTONE))
      return fail("DrvStretchBlt");
    return true;
  }
  auto stretch = device_->get<PFN_DrvStretchBltROP>(INDEX_DrvStretchBltROP);
  if (!stretch || !stretch(surface(), src, mask, clip_for_call(), bitmap.xlate, &ca, &zero, &target, &source,
                           mask ? &zero : nullptr, HALFTONE, brush, rop4))
    return fail("DrvStretchBltROP");
  return true;
}

// ---- text --------------------------------------------------------------------

namespace {

struct TextLayout {
  std::vector<GLYPHPOS> glyphs;
  std::u16string text;
  RECTL box{};
  LONG ascent = 0;
  bool equal_advances = true;
  LONG advance = 0;
};

}  // namespace

double PrinterDc::line_height() {
  LOGFONTW lf{};
  lf.lfHeight = -static_cast<LONG>(std::lround(font_.size_pt * dpi_y() / 72.0));
  auto match = platform::fonts::match_font(lf);
  if (!match.face) return -lf.lfHeight;
  auto font = platform::fonts::open_font(match, {-static_cast<double>(lf.lfHeight), 0, 0});
  if (!font) return -lf.lfHeight;
  TEXTMETRICW tm = font->text_metrics();
  return tm.tmHeight + tm.tmExternalLeading;
}

double PrinterDc::text_width(const std::u16string& text) {
  LOGFONTW lf{};
  lf.lfHeight = -static_cast<LONG>(std::lround(font_.size_pt * dpi_y() / 72.0));
  lf.lfWeight = font_.weight;
  lf.lfItalic = font_.italic;
  lf.lfCharSet = font_.charset;
  font_.face.copy(lf.lfFaceName, LF_FACESIZE - 1);
  auto font = platform::fonts::open_font(platform::fonts::match_font(lf), {-static_cast<double>(lf.lfHeight), 0, 0});
  if (!font) return 0;
  double width = 0;
  for (char16_t ch : text) {
    platform::fonts::GlyphMetrics gm;
    if (font->glyph_metrics(font->glyph_index(ch), &gm)) width += std::lround(gm.advance_x / 64.0);
  }
  return width;
}

FONTOBJ* PrinterDc::realize_truetype(const LOGFONTW& lf, double em) {
  const std::u16string face(lf.lfFaceName, std::char_traits<char16_t>::length(lf.lfFaceName));
  for (const RealizedFont& f : realized_fonts_)
    if (f.face == face && f.em == em && f.weight == lf.lfWeight && f.escapement == lf.lfEscapement &&
        f.italic == (lf.lfItalic != 0) && f.charset == lf.lfCharSet)
      return f.fo;
  auto font = platform::fonts::open_font(platform::fonts::match_font(lf), {em, 0, lf.lfEscapement});
  FONTOBJ* fo = font ? engine::create_font_truetype(std::move(font), dpi_y()) : nullptr;
  if (fo)
    realized_fonts_.push_back(
        {face, em, lf.lfWeight, lf.lfEscapement, lf.lfItalic != 0, lf.lfCharSet, fo});
  return fo;
}

bool PrinterDc::text_out(Point p, const std::u16string& text, bool glyph_index) {
  if (text.empty()) return true;
  if (!ensure_page()) return false;
  const double em = font_.size_pt * dpi_y() / 72.0;
  const double angle = font_.escapement / 10.0 * 3.14159265358979323846 / 180.0;
  const double dir_x = std::cos(angle), dir_y = -std::sin(angle);
  TextLayout layout;
  FONTOBJ* fo = nullptr;
  FLONG accel = SO_FLAG_DEFAULT_PLACEMENT | (font_.escapement == 0 ? SO_HORIZONTAL : 0) |
                (glyph_index ? SO_GLYPHINDEX_TEXTOUT : 0);
  LONG descent = 0;
  // A device font when the face names one, else a TrueType font.
  const DeviceFont* device_font = nullptr;
  for (const auto& f : device_fonts_)
    if (u16_iequal(f.family, font_.face)) device_font = &f;
  std::vector<LONG> advances;  // pixels
  std::vector<HGLYPH> handles;
  if (device_font) {
    const IFIMETRICS* ifi = device_font->ifi;
    const double s = em / (ifi->fwdUnitsPerEm ? ifi->fwdUnitsPerEm : 1000);
    XFORML m{static_cast<FLOATL>(s * std::cos(angle)), static_cast<FLOATL>(-s * std::sin(angle)),
             static_cast<FLOATL>(s * std::sin(angle)), static_cast<FLOATL>(s * std::cos(angle)), 0, 0};
    // Bold and italic the font lacks are simulated when it offers them.
    FLONG sim = 0;
    if (ifi->dpFontSim) {
      if (font_.weight >= FW_SEMIBOLD && ifi->usWinWeight < FW_SEMIBOLD) sim |= FO_SIM_BOLD;
      if (font_.italic && !(ifi->fsSelection & FM_SEL_ITALIC)) sim |= FO_SIM_ITALIC;
    }
    fo = engine::create_font_device(device_font->face, device_font->ifi, m, dpi_y(), sim);
    for (char16_t ch : text) {
      HGLYPH hg = HGLYPH_INVALID;
      for (ULONG r = 0; device_font->glyphs && r < device_font->glyphs->cRuns; ++r) {
        const WCRUN& run = device_font->glyphs->awcrun[r];
        if (ch >= run.wcLow && ch < run.wcLow + run.cGlyphs)
          hg = run.phg ? run.phg[ch - run.wcLow] : static_cast<HGLYPH>(ch);
      }
      handles.push_back(hg == HGLYPH_INVALID ? 0 : hg);
    }
    std::vector<USHORT> widths(handles.size(), 0);
    auto query = device_->get<PFN_DrvQueryAdvanceWidths>(INDEX_DrvQueryAdvanceWidths);
    if (query && !query(device_->dhpdev, fo, QAW_GETWIDTHS, handles.data(), widths.data(),
                        static_cast<ULONG>(handles.size()))) {
      engine::delete_font(fo);
      return fail("DrvQueryAdvanceWidths");
    }
    for (USHORT w : widths) advances.push_back((w + 8) / 16);
    layout.ascent = static_cast<LONG>(std::lround(ifi->fwdWinAscender * s));
    descent = static_cast<LONG>(std::lround(ifi->fwdWinDescender * s));
  } else {
    LOGFONTW lf{};
    lf.lfHeight = -static_cast<LONG>(std::lround(em));
    lf.lfWeight = font_.weight;
    lf.lfItalic = font_.italic;
    lf.lfCharSet = font_.charset;
    lf.lfEscapement = font_.escapement;
    font_.face.copy(lf.lfFaceName, LF_FACESIZE - 1);
    fo = realize_truetype(lf, em);
    platform::fonts::FontInstance* font = fo ? engine::font_instance(fo) : nullptr;
    if (!font) return fail("font " + u16_to_utf8(font_.face));
    TEXTMETRICW tm = font->text_metrics();
    layout.ascent = tm.tmAscent;
    descent = tm.tmDescent;
    for (char16_t ch : text) {
      const UINT glyph = font->glyph_index(ch);
      platform::fonts::GlyphMetrics gm;
      font->glyph_metrics(glyph, &gm);
      handles.push_back(glyph);
      advances.push_back(static_cast<LONG>(std::lround(std::hypot(gm.advance_x, gm.advance_y) / 64.0)));
    }
  }
  // Glyph origins on the baseline, GDI's default alignment putting the
  // given point at the top left of the cell.
  double x = p.x + layout.ascent * std::sin(angle), y = p.y + layout.ascent * std::cos(angle);
  double pen_x = x, pen_y = y;
  for (size_t i = 0; i < handles.size(); ++i) {
    layout.glyphs.push_back({handles[i], nullptr, {static_cast<LONG>(std::lround(pen_x)), static_cast<LONG>(std::lround(pen_y))}});
    pen_x += advances[i] * dir_x;
    pen_y += advances[i] * dir_y;
    if (i && advances[i] != advances[0]) layout.equal_advances = false;
  }
  const LONG x0 = static_cast<LONG>(std::lround(p.x)), y0 = static_cast<LONG>(std::lround(p.y));
  layout.box = {x0, y0, static_cast<LONG>(std::lround(std::max(pen_x, p.x))), y0 + layout.ascent + descent};
  STROBJ* str = engine::create_string(fo, layout.glyphs, glyph_index ? std::u16string() : text, accel,
                                      layout.equal_advances && font_.escapement == 0 ? static_cast<ULONG>(advances[0]) : 0,
                                      layout.box, glyph_batch_);
  BRUSHOBJ* fore = engine::create_brush_solid(device_color(text_color_));
  BRUSHOBJ* back = bk_opaque_ ? engine::create_brush_solid(device_color(bk_color_)) : nullptr;
  RECTL opaque = layout.box;
  // Underline and strikeout as extra rectangles, ended by an empty one.
  std::vector<RECTL> extra;
  const LONG thickness = std::max<LONG>(1, static_cast<LONG>(std::lround(em / 20)));
  if (font_.underline) extra.push_back({x0, static_cast<LONG>(y) + thickness, layout.box.right, static_cast<LONG>(y) + 2 * thickness});
  if (font_.strikeout)
    extra.push_back({x0, static_cast<LONG>(y) - layout.ascent / 3, layout.box.right,
                     static_cast<LONG>(y) - layout.ascent / 3 + thickness});
  if (!extra.empty()) extra.push_back({0, 0, 0, 0});
  POINTL org{0, 0};
  auto call = device_->get<PFN_DrvTextOut>(INDEX_DrvTextOut);
  const bool ok = call && call(surface(), str, fo, clip_for_call(), extra.empty() ? nullptr : extra.data(),
                               back ? &opaque : nullptr, fore, back, &org, R2_COPYPEN | (R2_COPYPEN << 8));
  engine::delete_string(str);
  if (device_font) engine::delete_font(fo);
  engine::delete_brush(fore);
  if (back) engine::delete_brush(back);
  return ok ? true : fail("DrvTextOut");
}

}  // namespace morva::print_host
