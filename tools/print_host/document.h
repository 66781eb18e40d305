// Print documents for the host: a JSON description (the printer, the
// settings to print with, pages of drawing calls in GDI terms) read and
// checked whole before anything is printed, and the calls played on a
// printer DC.
#pragma once

#include <array>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "images.h"
#include "printer_dc.h"

namespace morva::print_host {

struct Op {
  enum Kind {
    kPen, kBrush, kFont, kTextColor, kBkColor, kBkMode, kRop2, kFillMode, kBrushOrigin,
    kText, kLine, kPolyline, kBezier, kPolygon, kRectangle, kEllipse, kFill, kPath, kImage,
    kClipNone, kClipRects, kClipPath, kEscape,
  } kind = kPen;
  int line = 0;  // in the document file
  Pen pen;
  Brush brush;
  Font font;
  COLORREF color = 0;
  int value = 0;
  bool flag = false;  // text: a string of glyph indices without its text
  std::vector<Point> points;  // in document units
  std::vector<std::array<double, 4>> rects;
  std::vector<PathStep> steps;
  bool stroke = true, fill = false;
  std::u16string text;
  std::shared_ptr<Image> image;
  int bpp = 24;
  ROP4 rop = 0xCCCC;
  bool mask = false;
  std::vector<BYTE> data;
};

struct Page {
  std::vector<Op> ops;
  // DEVMODE fields that change before this page (a ResetDC), or none.
  std::map<std::string, std::string> devmode;
  int line = 0;
};

struct Document {
  std::string file;
  std::u16string printer;
  std::u16string name;
  double unit = 0;  // device pixels per document unit: 0 = points (dpi / 72)
  std::string units = "pt";
  std::map<std::string, std::string> devmode;  // DEVMODE field -> value (text)
  std::map<WORD, std::string> ddmid;           // DDMID -> value (number or text)
  ULONG path_batch = 0, glyph_batch = 0;
  std::vector<Page> pages;
};

// Reads a document. False with "file:line: reason" in *error.
bool read_document(const std::string& path, Document* out, std::string* error);
bool parse_document(const std::string& text, const std::string& file, const std::string& base_folder, Document* out,
                    std::string* error);

}  // namespace morva::print_host
