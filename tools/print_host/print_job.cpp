#include "print_job.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

#include "win/files.h"
#include "win/handles.h"
#include "win/modules.h"
#include "win/spooler.h"
#include "win/strings.h"

namespace morva::print_host {

namespace {

// DEVMODE fields a document may set, with their dmFields bits.
struct FieldInfo {
  const char* name;
  DWORD bit;
  size_t offset;
  bool text;
};
const FieldInfo kFields[] = {
    {"dmOrientation", DM_ORIENTATION, offsetof(DEVMODEW, dmOrientation), false},
    {"dmPaperSize", DM_PAPERSIZE, offsetof(DEVMODEW, dmPaperSize), false},
    {"dmPaperLength", DM_PAPERLENGTH, offsetof(DEVMODEW, dmPaperLength), false},
    {"dmPaperWidth", DM_PAPERWIDTH, offsetof(DEVMODEW, dmPaperWidth), false},
    {"dmScale", DM_SCALE, offsetof(DEVMODEW, dmScale), false},
    {"dmCopies", DM_COPIES, offsetof(DEVMODEW, dmCopies), false},
    {"dmDefaultSource", DM_DEFAULTSOURCE, offsetof(DEVMODEW, dmDefaultSource), false},
    {"dmPrintQuality", DM_PRINTQUALITY, offsetof(DEVMODEW, dmPrintQuality), false},
    {"dmColor", DM_COLOR, offsetof(DEVMODEW, dmColor), false},
    {"dmDuplex", DM_DUPLEX, offsetof(DEVMODEW, dmDuplex), false},
    {"dmYResolution", DM_YRESOLUTION, offsetof(DEVMODEW, dmYResolution), false},
    {"dmTTOption", DM_TTOPTION, offsetof(DEVMODEW, dmTTOption), false},
    {"dmCollate", DM_COLLATE, offsetof(DEVMODEW, dmCollate), false},
    {"dmFormName", DM_FORMNAME, offsetof(DEVMODEW, dmFormName), true},
};

using GetValue = WORD (*)(WORD, void*, void*, WORD*, DWORD*, void*, WORD*);
using SetValue = WORD (*)(WORD, void*, void*, WORD, DWORD, const void*);
constexpr WORD kTypeString = 6;
constexpr WORD kTypeLogFont = 9;
constexpr size_t kDriverDevmodeSize = 5988;
constexpr size_t kPrinterDataSize = 7972;
// The DEVMODE's extension block, whose home is the settings store the
// driver reloads at the start of a document; the document-property file
// names it in setting 374.
constexpr size_t kExtensionOffset = 1604;
constexpr size_t kExtensionSize = 4384;
constexpr WORD kSettingsFileId = 374;
constexpr DWORD kExtensionLayout = 21072;

void put_section(std::vector<BYTE>* out, const char16_t* tag, const BYTE* data, DWORD size, bool versioned) {
  const size_t at = out->size();
  out->resize(at + 16, 0);
  for (size_t i = 0; i < 8 && tag[i]; ++i) {
    (*out)[at + 2 * i] = static_cast<BYTE>(tag[i] & 0xFF);
    (*out)[at + 2 * i + 1] = static_cast<BYTE>(tag[i] >> 8);
  }
  auto put_dword = [out](DWORD v) {
    for (int i = 0; i < 4; ++i) out->push_back(static_cast<BYTE>(v >> (8 * i)));
  };
  if (versioned) put_dword(kExtensionLayout);
  put_dword(size);
  if (size) out->insert(out->end(), data, data + size);
}

// Writes the extension block to a new document-property file, as the
// document sheet does when its settings are accepted; the file's name.
bool write_settings_file(const BYTE* extension, std::u16string* name) {
  WCHAR folder[MAX_PATH] = {};
  WCHAR file[MAX_PATH] = {};
  if (!GetTempPathW(MAX_PATH, folder) || !GetTempFileNameW(folder, u"MPH", 0, file)) return false;
  std::vector<BYTE> image;
  put_section(&image, u"NDEV001", extension, static_cast<DWORD>(kExtensionSize), true);
  put_section(&image, u"WPKINFO", nullptr, 0, false);
  put_section(&image, u"SPINFO", nullptr, 0, false);
  HANDLE h = CreateFileW(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFile(h, image.data(), static_cast<DWORD>(image.size()), &written, nullptr) &&
                  written == image.size();
  if (!CloseHandle(h) || !ok) return false;
  *name = file;
  return true;
}

double document_unit(const Document& doc, LONG dpi) {
  if (doc.units == "px") return 1;
  if (doc.units == "mm") return dpi / 25.4;
  return dpi / 72.0;
}

RECTL device_rect(const std::array<double, 4>& r, double unit) {
  return {static_cast<LONG>(std::lround(r[0] * unit)), static_cast<LONG>(std::lround(r[1] * unit)),
          static_cast<LONG>(std::lround(r[2] * unit)), static_cast<LONG>(std::lround(r[3] * unit))};
}

std::vector<Point> device_points(const std::vector<Point>& points, double unit) {
  std::vector<Point> out;
  for (const Point& p : points) out.push_back({p.x * unit, p.y * unit});
  return out;
}

std::vector<PathStep> device_steps(const std::vector<PathStep>& steps, double unit) {
  std::vector<PathStep> out = steps;
  for (PathStep& s : out) s.points = device_points(s.points, unit);
  return out;
}

bool play(PrinterDc& dc, const Op& op, double unit) {
  switch (op.kind) {
    case Op::kPen: {
      Pen pen = op.pen;
      pen.width *= unit;
      if (!pen.geometric && pen.width <= 1) pen.width = 0;
      dc.select_pen(pen);
      return true;
    }
    case Op::kBrush: dc.select_brush(op.brush); return true;
    case Op::kFont: dc.select_font(op.font); return true;
    case Op::kTextColor: dc.set_text_color(op.color); return true;
    case Op::kBkColor: dc.set_bk_color(op.color); return true;
    case Op::kBkMode: dc.set_bk_mode_opaque(op.flag); return true;
    case Op::kRop2: dc.set_rop2(op.value); return true;
    case Op::kFillMode: dc.set_poly_fill_winding(op.flag); return true;
    case Op::kBrushOrigin:
      dc.set_brush_origin({static_cast<LONG>(std::lround(op.points[0].x * unit)),
                           static_cast<LONG>(std::lround(op.points[0].y * unit))});
      return true;
    case Op::kText: return dc.text_out(device_points(op.points, unit)[0], op.text, op.flag);
    case Op::kLine: {
      auto pts = device_points(op.points, unit);
      return dc.move_to(pts[0]) && dc.line_to(pts[1]);
    }
    case Op::kPolyline: return dc.polyline(device_points(op.points, unit));
    case Op::kBezier: return dc.poly_bezier(device_points(op.points, unit));
    case Op::kPolygon: return dc.polygon(device_points(op.points, unit));
    case Op::kRectangle: return dc.rectangle(device_rect(op.rects[0], unit));
    case Op::kEllipse: return dc.ellipse(device_rect(op.rects[0], unit));
    case Op::kFill: return dc.fill_rect(device_rect(op.rects[0], unit));
    case Op::kPath: return dc.draw_path(device_steps(op.steps, unit), op.stroke, op.fill);
    case Op::kImage: return dc.draw_image(*op.image, device_rect(op.rects[0], unit), op.bpp, op.rop, op.mask);
    case Op::kClipNone: dc.clip_none(); return true;
    case Op::kClipRects: {
      std::vector<RECTL> rects;
      for (const auto& r : op.rects) rects.push_back(device_rect(r, unit));
      dc.clip_rects(rects);
      return true;
    }
    case Op::kClipPath: dc.clip_path(device_steps(op.steps, unit), op.flag); return true;
    case Op::kEscape: {
      std::vector<BYTE> out(256);
      dc.escape(op.value, static_cast<int>(op.data.size()), op.data.data(), static_cast<int>(out.size()), out.data());
      return true;
    }
  }
  return true;
}

PrintResult failed(const PrinterDc& dc, const std::string& where) {
  PrintResult r;
  r.failed_entry = dc.failed_entry();
  r.error = where + ": " + (r.failed_entry.empty() ? std::string("the call failed") : r.failed_entry + " failed") +
            "; the job was aborted";
  return r;
}

}  // namespace

bool build_devmode(const std::u16string& printer, const std::map<std::string, std::string>& fields,
                   const std::map<WORD, std::string>& ddmid, std::vector<BYTE>* out, std::string* error) {
  std::u16string name = printer;
  HANDLE handle = nullptr;
  if (!OpenPrinterW(name.data(), &handle, nullptr)) {
    *error = "printer \"" + u16_to_utf8(printer) + "\" cannot be opened";
    return false;
  }
  DWORD needed = 0;
  GetPrinterW(handle, 2, nullptr, 0, &needed);
  std::vector<BYTE> info(needed);
  const bool got = needed && GetPrinterW(handle, 2, info.data(), needed, &needed);
  ClosePrinter(handle);
  const auto* pi = got ? reinterpret_cast<const PRINTER_INFO_2W*>(info.data()) : nullptr;
  if (pi && pi->pDevMode) {
    const auto* bytes = reinterpret_cast<const BYTE*>(pi->pDevMode);
    out->assign(bytes, bytes + pi->pDevMode->dmSize + pi->pDevMode->dmDriverExtra);
  } else {
    out->assign(sizeof(DEVMODEW), 0);
    auto* dm = reinterpret_cast<DEVMODEW*>(out->data());
    dm->dmSpecVersion = DM_SPECVERSION;
    dm->dmSize = sizeof(DEVMODEW);
  }
  auto* dm = reinterpret_cast<DEVMODEW*>(out->data());
  for (const auto& [key, value] : fields) {
    const FieldInfo* f = nullptr;
    for (const FieldInfo& candidate : kFields)
      if (key == candidate.name) f = &candidate;
    if (!f) {
      *error = "unknown DEVMODE field " + key;
      return false;
    }
    if (f->text) {
      std::u16string text = utf8_to_u16(value).substr(0, CCHFORMNAME - 1);
      std::memset(out->data() + f->offset, 0, CCHFORMNAME * 2);
      std::memcpy(out->data() + f->offset, text.data(), text.size() * 2);
    } else {
      const SHORT v = static_cast<SHORT>(std::stol(value));
      std::memcpy(out->data() + f->offset, &v, sizeof(v));
    }
    dm->dmFields |= f->bit;
  }
  if (ddmid.empty()) return true;
  // Settings by DDMID go through the data manager's value engine.
  if (out->size() < kDriverDevmodeSize) {
    *error = "the printer's DEVMODE has no driver part for DDMID settings";
    return false;
  }
  HMODULE dat = LoadLibraryW(u"morvadat.dll");
  auto get = dat ? morva_proc_as<GetValue>(GetProcAddress(dat, "dma_GetValue")) : nullptr;
  auto set = dat ? morva_proc_as<SetValue>(GetProcAddress(dat, "dma_SetValue")) : nullptr;
  if (!get || !set) {
    if (dat) FreeLibrary(dat);
    *error = "settings by DDMID need morvadat.dll";
    return false;
  }
  std::vector<BYTE> printer_data(kPrinterDataSize, 0);
  const std::vector<BYTE> extension_before(out->begin() + kExtensionOffset,
                                           out->begin() + kExtensionOffset + kExtensionSize);
  bool ok = true;
  for (const auto& [id, value] : ddmid) {
    WORD type = 0, selector = 0;
    DWORD size = 0, slot = 0;
    if (get(id, out->data(), printer_data.data(), &type, &size, &slot, &selector) != 0) {
      *error = "setting " + std::to_string(id) + " is not known";
      ok = false;
      break;
    }
    WORD rc;
    if (type == kTypeString) {
      std::u16string text = utf8_to_u16(value);
      const char16_t* pointer = text.c_str();
      rc = set(id, out->data(), printer_data.data(), type, static_cast<DWORD>((text.size() + 1) * 2), &pointer);
    } else if (type == kTypeLogFont) {
      *error = "setting " + std::to_string(id) + " is a LOGFONT block";
      ok = false;
      break;
    } else {
      // Numbers go in at the setting's own width (little-endian).
      const DWORD v = static_cast<DWORD>(std::stol(value, nullptr, 0));
      rc = set(id, out->data(), printer_data.data(), type, size && size < sizeof(v) ? size : sizeof(v), &v);
    }
    if (rc != 0) {
      *error = "setting " + std::to_string(id) + " does not take " + value;
      ok = false;
      break;
    }
  }
  // Settings of the extension block reach the job the way the document
  // sheet's do: through a document-property file the driver reloads at the
  // start of the document (unless the document names one itself).
  if (ok && !ddmid.count(kSettingsFileId) &&
      !std::equal(extension_before.begin(), extension_before.end(), out->begin() + kExtensionOffset)) {
    std::u16string file;
    if (!write_settings_file(out->data() + kExtensionOffset, &file)) {
      *error = "the document-property file for the extension settings cannot be written";
      ok = false;
    } else {
      const char16_t* pointer = file.c_str();
      if (set(kSettingsFileId, out->data(), printer_data.data(), kTypeString,
              static_cast<DWORD>((file.size() + 1) * 2), &pointer) != 0) {
        *error = "setting 374 does not take " + u16_to_utf8(file);
        ok = false;
      }
    }
  }
  FreeLibrary(dat);
  return ok;
}

PrintResult print_document(const Document& doc) {
  PrintResult result;
  std::vector<BYTE> devmode;
  if (!build_devmode(doc.printer, doc.devmode, doc.ddmid, &devmode, &result.error)) {
    result.error = doc.file + ": " + result.error;
    return result;
  }
  auto dc = PrinterDc::create(doc.printer, reinterpret_cast<const DEVMODEW*>(devmode.data()), &result.error);
  if (!dc) {
    result.error = doc.file + ": " + result.error;
    return result;
  }
  dc->set_batches(doc.path_batch, doc.glyph_batch);
  const double unit = document_unit(doc, dc->dpi_y());
  if (!dc->start_doc(doc.name)) return failed(*dc, doc.file);
  for (size_t page = 0; page < doc.pages.size(); ++page) {
    if (!doc.pages[page].devmode.empty()) {
      // The page's own settings: the document's with the page's fields over them.
      std::map<std::string, std::string> fields = doc.devmode;
      for (const auto& [key, value] : doc.pages[page].devmode) fields[key] = value;
      std::vector<BYTE> page_devmode;
      if (!build_devmode(doc.printer, fields, doc.ddmid, &page_devmode, &result.error)) {
        dc->abort_doc();
        result.error = doc.file + ":" + std::to_string(doc.pages[page].line) + ": " + result.error;
        return result;
      }
      if (!dc->reset_dc(page_devmode)) return failed(*dc, doc.file + ":" + std::to_string(doc.pages[page].line));
    }
    if (!dc->start_page()) return failed(*dc, doc.file + ": page " + std::to_string(page + 1));
    for (const Op& op : doc.pages[page].ops)
      if (!play(*dc, op, unit)) return failed(*dc, doc.file + ":" + std::to_string(op.line));
    if (!dc->end_page()) return failed(*dc, doc.file + ": page " + std::to_string(page + 1));
  }
  if (!dc->end_doc()) return failed(*dc, doc.file);
  result.ok = true;
  result.job_id = dc->job_id();
  return result;
}

PrintResult print_text_file(const std::string& path, const TextOptions& options) {
  PrintResult result;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    result.error = path + ": cannot be read";
    return result;
  }
  std::ostringstream raw;
  raw << in.rdbuf();
  const std::u16string text = utf8_to_u16(raw.str());
  std::vector<BYTE> devmode;
  if (!build_devmode(options.printer, options.devmode, {}, &devmode, &result.error)) return result;
  auto dc = PrinterDc::create(options.printer, reinterpret_cast<const DEVMODEW*>(devmode.data()), &result.error);
  if (!dc) return result;
  Font font;
  font.face = options.face;
  font.size_pt = options.size_pt;
  dc->select_font(font);
  const double margin = options.margin_mm * dc->dpi_x() / 25.4;
  const SIZEL page = dc->page_size();
  const double width = page.cx - 2 * margin, bottom = page.cy - margin;
  const double line_height = dc->line_height();
  const size_t slash = path.find_last_of('/');
  std::u16string name = options.document.empty() ? utf8_to_u16(slash == std::string::npos ? path : path.substr(slash + 1))
                                                 : options.document;
  if (!dc->start_doc(name)) return failed(*dc, path);
  double y = margin;
  bool page_has_text = false;
  auto new_page = [&]() {
    if (!dc->end_page()) return false;
    y = margin;
    page_has_text = false;
    return true;
  };
  auto put_line = [&](const std::u16string& line) {
    if (y + line_height > bottom && page_has_text && !new_page()) return false;
    if (!line.empty() && !dc->text_out({margin, y}, line)) return false;
    y += line_height;
    page_has_text = true;
    return true;
  };
  // Split into paragraphs at newlines and pages at form feeds; wrap words.
  std::u16string line;
  auto flush_paragraph = [&](std::u16string paragraph) {
    // Tabs to the next multiple of 8 columns.
    std::u16string expanded;
    for (char16_t c : paragraph) {
      if (c == u'\t') expanded.append(8 - expanded.size() % 8, u' ');
      else if (c != u'\r') expanded.push_back(c);
    }
    if (expanded.empty()) return put_line(u"");
    size_t start = 0;
    while (start < expanded.size()) {
      size_t end = expanded.size();
      while (end > start && dc->text_width(expanded.substr(start, end - start)) > width) {
        const size_t space = expanded.rfind(u' ', end - 1);
        end = space != std::u16string::npos && space > start ? space : end - 1;
      }
      if (end == start) end = start + 1;  // a character wider than the line
      if (!put_line(expanded.substr(start, end - start))) return false;
      start = end;
      while (start < expanded.size() && expanded[start] == u' ') ++start;
    }
    return true;
  };
  for (char16_t c : text) {
    if (c == u'\n' || c == u'\f') {
      if (!flush_paragraph(line)) return failed(*dc, path);
      line.clear();
      if (c == u'\f' && !new_page()) return failed(*dc, path);
    } else {
      line.push_back(c);
    }
  }
  if (!line.empty() && !flush_paragraph(line)) return failed(*dc, path);
  if (!dc->end_doc()) return failed(*dc, path);
  result.ok = true;
  result.job_id = dc->job_id();
  return result;
}

}  // namespace morva::print_host
