// A printer device context played on the host: GDI's side of a printer
// driver. It opens an installed printer, loads the interface DLL and the
// graphics DLL by the file names the driver registered, sends the document
// events around the DC's life, enables driver, PDEV and surface, queries
// the device fonts, and turns GDI-style drawing calls into the driver's
// DDI calls with the objects GDI builds. Coordinates are device pixels.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "images.h"
#include "win/ddi_engine.h"
#include "win/printer_dc.h"

namespace morva::print_host {

#define PS_SOLID 0
#define PS_DASH 1
#define PS_DOT 2
#define PS_DASHDOT 3
#define PS_DASHDOTDOT 4
#define PS_NULL 5

struct Pen {
  int style = PS_SOLID;
  double width = 0;        // 0 or 1 and not geometric: a cosmetic pen
  COLORREF color = 0;      // 0x00BBGGRR
  bool geometric = false;
  ULONG join = JOIN_ROUND;
  ULONG cap = ENDCAP_ROUND;
};

struct Brush {
  enum Kind { kNull, kSolid, kHatch, kPattern } kind = kSolid;
  COLORREF color = 0xFFFFFF;
  int hatch = HS_HORIZONTAL;
  Image pattern;         // kPattern
  int pattern_bpp = 24;  // the pattern bitmap's format
};

struct Font {
  std::u16string face = u"DejaVu Sans";
  double size_pt = 12;
  LONG weight = FW_NORMAL;
  bool italic = false;
  bool underline = false;
  bool strikeout = false;
  BYTE charset = DEFAULT_CHARSET;
  LONG escapement = 0;  // tenths of a degree
};

struct Point {
  double x = 0, y = 0;
};

// Steps of a path in GDI terms.
struct PathStep {
  enum Kind { kMove, kLine, kBezier, kClose } kind = kMove;
  std::vector<Point> points;  // one for move and line (several lines allowed), multiples of 3 for Beziers
};

class PrinterDc final : public platform::PrinterDcTarget {
 public:
  ~PrinterDc() override;

  // Opens the printer and enables the driver for a DC. settings_devmode is
  // applied over the printer's default DEVMODE (null: the default). Null
  // with *error saying what failed.
  // With `event_printer` the document events receive that open printer
  // handle (the caller's, left open, possibly shared by several DCs)
  // instead of the DC's own.
  static std::unique_ptr<PrinterDc> create(const std::u16string& printer, const DEVMODEW* devmode,
                                           std::string* error, HANDLE event_printer = nullptr);

  HDC hdc() const { return hdc_; }
  LONG dpi_x() const { return static_cast<LONG>(gdi_info_.ulLogPixelsX); }
  LONG dpi_y() const { return static_cast<LONG>(gdi_info_.ulLogPixelsY); }
  SIZEL page_size() const { return {static_cast<LONG>(gdi_info_.ulHorzRes), static_cast<LONG>(gdi_info_.ulVertRes)}; }
  const GDIINFO& gdi_info() const { return gdi_info_; }
  const DEVINFO& dev_info() const { return dev_info_; }
  // The device fonts' family names, in the driver's order.
  std::vector<std::u16string> device_fonts() const;
  // The enabled device: the driver's function table and its PDEV.
  const platform::engine::Device* device() const { return device_.get(); }

  // ExtEscape on this DC.
  int escape(int code, int in_size, const void* in, int out_size, void* out) override;
  // StartPage and EndPage called on the DC by the interface DLL itself.
  int start_page_call() override;
  int end_page_call() override;
  // StartDocW, EndDoc and AbortDoc called on the DC.
  int start_doc_call(LPCWSTR name, LPCWSTR output) override;
  int end_doc_call() override;
  int abort_doc_call() override;
  BOOL draw_text(POINT at, const LOGFONTW& font, COLORREF colour, LPCWSTR text, UINT count) override;
  BOOL draw_shape(int kind, const POINT* points, int count, const LOGPEN& pen, BOOL hollow, COLORREF fill) override;

  // Document and pages. After a failure the driver entry that failed (or
  // the step) is in failed_entry(), and the document was aborted.
  bool start_doc(const std::u16string& name);
  bool start_page();
  bool end_page();
  bool end_doc();
  void abort_doc();
  // ResetDC between pages: a new PDEV for the DEVMODE takes over the
  // document from the old one (DrvResetPDEV), with its own surface.
  bool reset_dc(const std::vector<BYTE>& devmode);
  bool document_open() const { return doc_open_; }
  DWORD job_id() const { return job_id_; }
  const std::string& failed_entry() const { return failed_entry_; }

  // State.
  void select_pen(const Pen& pen) { pen_ = pen; }
  void select_brush(const Brush& brush);
  void select_font(const Font& font) { font_ = font; }
  void set_text_color(COLORREF color) { text_color_ = color; }
  void set_bk_color(COLORREF color) { bk_color_ = color; }
  void set_bk_mode_opaque(bool opaque) { bk_opaque_ = opaque; }
  void set_rop2(int rop2) { rop2_ = rop2; }
  void set_poly_fill_winding(bool winding) { winding_ = winding; }
  void set_brush_origin(POINTL origin) { brush_origin_ = origin; }
  // How many points one path record and how many glyphs one string batch
  // carry (0: the engine's default, all glyphs at once).
  void set_batches(ULONG path_points, ULONG glyphs) {
    path_batch_ = path_points;
    glyph_batch_ = glyphs;
  }
  // Clips: none, rectangles (their union), or the inside of a path.
  void clip_none();
  void clip_rects(const std::vector<RECTL>& rects);
  void clip_path(const std::vector<PathStep>& steps, bool winding);

  // Drawing; false after a failed driver call (see failed_entry()).
  bool move_to(Point p);
  bool line_to(Point p);
  bool polyline(const std::vector<Point>& points);
  bool poly_bezier(const std::vector<Point>& points);  // start point then 3n points
  bool polygon(const std::vector<Point>& points);
  bool rectangle(const RECTL& rect);
  bool ellipse(const RECTL& rect);
  // Any path, stroked with the pen, filled with the brush, or both.
  bool draw_path(const std::vector<PathStep>& steps, bool stroke, bool fill);
  bool fill_rect(const RECTL& rect);  // PatBlt with the brush
  bool pat_blt(const RECTL& rect, ROP4 rop4);
  // glyph_index: the string goes as glyph indices, without its text.
  bool text_out(Point p, const std::u16string& text, bool glyph_index = false);
  // The text's advance in device pixels in the selected font.
  double text_width(const std::u16string& text);
  double line_height();
  // An image drawn into rect at bpp bits per pixel (1, 4, 8, 16, 24, 32);
  // its alpha becomes a mask when use_mask is set.
  bool draw_image(const Image& image, const RECTL& rect, int bpp, ROP4 rop4, bool use_mask);
  // A bitmap made beforehand (make_bitmap) drawn into rect: the driver's
  // part of draw_image alone.
  bool draw_bitmap(const ImageBitmap& bitmap, const RECTL& rect, ROP4 rop4);

 private:
  PrinterDc() = default;
  bool fail(const std::string& entry);
  bool ensure_page();
  SURFOBJ* surface() const;
  CLIPOBJ* clip_for_call();
  PATHOBJ* build_path(const std::vector<PathStep>& steps) const;
  bool stroke_fill(PATHOBJ* path, bool stroke, bool fill);
  BRUSHOBJ* realize_brush_object();
  int document_event(int event, ULONG in_size, void* in, ULONG out_size, void* out);
  // DrvEnablePDEV and DrvCompletePDEV for a DEVMODE; null when it fails.
  DHPDEV enable_pdev(DEVMODEW* devmode, GDIINFO* gdi, DEVINFO* info);
  void query_device_fonts();
  void disable_pdev();

  HANDLE printer_ = nullptr;
  HANDLE event_printer_ = nullptr;  // what the document events receive
  std::u16string printer_name_;
  HMODULE interface_dll_ = nullptr;
  HMODULE graphics_dll_ = nullptr;
  PFN_DrvDocumentEvent document_event_ = nullptr;
  std::unique_ptr<platform::engine::Device> device_;
  bool driver_enabled_ = false;
  HSURF surface_ = nullptr;
  HDC hdc_ = nullptr;
  std::vector<BYTE> devmode_;
  GDIINFO gdi_info_{};
  DEVINFO dev_info_{};
  HSURF patterns_[HS_DDI_MAX]{};
  struct DeviceFont {
    ULONG face;
    IFIMETRICS* ifi;
    FD_GLYPHSET* glyphs;
    std::u16string family;
  };
  std::vector<DeviceFont> device_fonts_;
  // TrueType fonts realised for text, kept like GDI keeps a DC's font
  // realisations: the same font asked again is not opened again, and the
  // driver sees the same FONTOBJ for it.
  struct RealizedFont {
    std::u16string face;
    double em;
    LONG weight, escapement;
    bool italic;
    BYTE charset;
    FONTOBJ* fo;
  };
  std::vector<RealizedFont> realized_fonts_;
  FONTOBJ* realize_truetype(const LOGFONTW& lf, double em);

  bool doc_open_ = false;
  bool page_open_ = false;
  DWORD job_id_ = 0;
  std::string failed_entry_;

  Pen pen_;
  Brush brush_;
  BRUSHOBJ* brush_object_ = nullptr;  // realised once per selected brush
  Font font_;
  COLORREF text_color_ = 0;
  COLORREF bk_color_ = 0xFFFFFF;
  bool bk_opaque_ = false;
  int rop2_ = R2_COPYPEN;
  bool winding_ = false;
  POINTL brush_origin_{0, 0};
  ULONG path_batch_ = 0;
  ULONG glyph_batch_ = 0;
  CLIPOBJ* clip_ = nullptr;  // null: no clip
  CLIPOBJ* trivial_clip_ = nullptr;
  Point position_;
};

// Lets CreateDCW(u"WINSPOOL", printer, ...) of any library in this process
// make its printer DCs here, so that an application's own printing (a
// driver's test page) reaches the installed driver.
void install_printer_dc_maker();

// COLORREF (0x00BBGGRR) to the device's 0x00RRGGBB.
inline ULONG device_color(COLORREF c) { return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); }

}  // namespace morva::print_host
