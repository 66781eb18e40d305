// Stamp and print-header drawing on the application's printer DC.
#include "pi/stamp_drawing.h"

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "settings/common/module_state.h"
#include "settings/devmode/placement_colour.h"
#include "settings/items/item_access.h"
#include "win/format.h"
#include "win/gdi.h"
#include "win/printer_dc.h"
#include "win/resources.h"
#include "win/strings.h"

namespace morva::pi {
namespace {

LONG number(void* devmode, void* printer_data, WORD ddmid) { return ReadItemNumber(devmode, printer_data, ddmid); }

std::u16string text_setting(void* devmode, void* printer_data, WORD ddmid) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue value{};
  if (GetItemValue(ddmid, devmode, printer_data, &type, &size, &value) != 0 || type != 6) return {};
  return ItemText(value, size);
}

bool font_setting(void* devmode, void* printer_data, WORD ddmid, LOGFONTW* out) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue value{};
  if (GetItemValue(ddmid, devmode, printer_data, &type, &size, &value) != 0 || !value.ptr ||
      size < sizeof(LOGFONTW))
    return false;
  std::memcpy(out, value.ptr, sizeof(LOGFONTW));
  return true;
}

INT send(HDC dc, WORD code, DWORD in_size, const void* in, DWORD out_size, void* out) {
  return ExtEscape(dc, code, static_cast<int>(in_size), static_cast<LPCSTR>(in), static_cast<int>(out_size),
                   static_cast<LPSTR>(out));
}

INT draw_mode(HDC dc, WORD code, DWORD on) {
  BYTE in[4], out[4];
  WriteEscapeDword(in, on);
  return send(dc, code, 4, in, 4, out);
}

// The stamp text's extent; italic text leans out by tan 15 degrees of its
// height.
void measure_stamp_text(HDC dc, LPCWSTR text, BOOL italic, LONG* width, LONG* height) {
  RECT r{0, 0, 0, 0};
  DrawTextW(dc, text, -1, &r, DT_CALCRECT | DT_NOCLIP);
  *width = r.right - r.left;
  *height = r.bottom - r.top;
  if (italic) *width += static_cast<LONG>(*height * 0.2679492);
}

}  // namespace

INT DrawStamp(HDC dc, const PageDrawInfo& info, LONG resolution, WORD placement, const LOGFONTW& font_block,
              LPCWSTR text, COLORREF colour, DWORD frame, DWORD area_flag) {
  if (!dc || !text) return -1;
  const INT saved = SaveDC(dc);
  if (saved <= 0) return -1;
  SetMapMode(dc, MM_TEXT);
  SetTextAlign(dc, TA_TOP);
  SetViewportOrgEx(dc, 0, 0, nullptr);
  SetBkMode(dc, TRANSPARENT);
  SelectClipRgn(dc, nullptr);
  LOGFONTW lf = font_block;
  const LONG size_pt = lf.lfHeight;
  lf.lfHeight = -MulDiv(size_pt, resolution, 72);
  lf.lfWidth = -MulDiv(lf.lfWidth, resolution, 72);
  HFONT font = CreateFontIndirectW(&lf);
  HGDIOBJ old_font = font ? SelectObject(dc, font) : nullptr;
  HPEN pen = nullptr;
  HGDIOBJ old_pen = nullptr, old_brush = nullptr;
  INT result = font ? 1 : -1;
  LONG text_w = 0, text_h = 0;
  if (result == 1) measure_stamp_text(dc, text, lf.lfItalic, &text_w, &text_h);
  const float* rect = info.rects + (area_flag ? 0 : 4);
  PlacementSize area{std::fabs(rect[2] - rect[0]), std::fabs(rect[3] - rect[1])};
  POINT window{0, 0};
  GetWindowOrgEx(dc, &window);
  float box_w = static_cast<float>(text_w), box_h = static_cast<float>(text_h);
  float offset_x = 0, offset_y = 0;
  LONG pen_width = 0;
  if (result == 1 && (frame == 1 || frame == 2)) {
    const double base = MulDiv(size_pt, resolution, 72);
    pen_width = static_cast<LONG>(base * (font_block.lfWeight == 700 ? 0.07 : 0.06));
    pen = CreatePen(PS_SOLID, pen_width, colour);
    if (!pen) result = -1;
    if (pen) old_pen = SelectObject(dc, pen);
    old_brush = SelectObject(dc, GetStockObject(HOLLOW_BRUSH));
    if (frame == 1) {
      box_w = static_cast<float>(text_w * 1.2 + pen_width);
      box_h = static_cast<float>(text_h * 1.2 + pen_width);
    } else {
      box_w = box_h = static_cast<float>(std::sqrt(double(text_w) * text_w + double(text_h) * text_h) + 2 * pen_width);
    }
    offset_x = (box_w - static_cast<float>(text_w)) / 2;
    offset_y = (box_h - static_cast<float>(text_h)) / 2;
  }
  PlacementTransform place{};
  PlacementSize box{box_w, box_h};
  INT n = -1;
  if (result == 1)
    n = ComputeRotatedPlacement(&area, &box, static_cast<SHORT>(font_block.lfEscapement / 10),
                                static_cast<WORD>(frame), placement, &place);
  if (n <= 0) result = -1;
  place.offsetX += static_cast<float>(window.x);
  place.offsetY += static_cast<float>(window.y);
  SetROP2(dc, R2_COPYPEN);
  SetTextColor(dc, colour);
  PlacementPoint origin{offset_x, offset_y}, first{};
  const int length = static_cast<int>(std::u16string(text).size());
  for (INT i = 0; result == 1 && i < n; ++i) {
    PlacementPoint p{};
    if (TransformPlacementPoint(&place, &origin, static_cast<DWORD>(i), &p) != 0) {
      result = -1;
      break;
    }
    if (i == 0) first = p;
    StampOffset sent{0, 0};
    bool did_send = false;
    if (placement == 0) {
      sent = {static_cast<std::int32_t>(p.x - first.x), static_cast<std::int32_t>(p.y - first.y)};
      did_send = true;
    } else if (!area_flag) {
      sent = {static_cast<std::int32_t>(first.x), static_cast<std::int32_t>(first.y)};
      did_send = true;
    }
    if (did_send) {
      BYTE payload[kStampOffsetSize];
      PackStampOffset(sent, payload);
      if (send(dc, DRVESC_STAMP_OFFSET, kStampOffsetSize, payload, 0, nullptr) <= 0) {
        result = -1;
        break;
      }
    }
    LONG x = static_cast<LONG>(p.x), y = static_cast<LONG>(p.y);
    if (did_send) {
      x -= sent.x;
      y -= sent.y;
    }
    if (!TextOutW(dc, x, y, text, length)) {
      result = -1;
      break;
    }
    if (frame == 1 || frame == 2) {
      const float h = static_cast<float>(pen_width / 2);
      const LONG dx = did_send ? sent.x : 0, dy = did_send ? sent.y : 0;
      auto corner = [&](float cx, float cy) {
        PlacementPoint in{cx, cy}, out{};
        TransformPlacementPoint(&place, &in, static_cast<DWORD>(i), &out);
        return POINT{static_cast<LONG>(out.x) - dx, static_cast<LONG>(out.y) - dy};
      };
      BOOL ok;
      if (frame == 1) {
        POINT pts[4] = {corner(h, h), corner(box_w - h, h), corner(box_w - h, box_h - h), corner(h, box_h - h)};
        ok = Polygon(dc, pts, 4);
      } else {
        POINT c = corner(box_w / 2, box_h / 2);
        const LONG rx = static_cast<LONG>(box_w / 2 - h), ry = static_cast<LONG>(box_h / 2 - h);
        ok = Ellipse(dc, c.x - rx, c.y - ry, c.x + rx, c.y + ry);
      }
      if (!ok) result = -1;
    }
  }
  if (old_font) SelectObject(dc, old_font);
  if (old_pen) SelectObject(dc, old_pen);
  if (old_brush) SelectObject(dc, old_brush);
  if (font) DeleteObject(font);
  if (pen) DeleteObject(pen);
  RestoreDC(dc, saved);
  return result;
}

INT DrawPageStamps(HDC dc, const PageDrawInfo& info, void* devmode, void* printer_data) {
  if (draw_mode(dc, DRVESC_STAMP_DRAW_MODE, 1) <= 0) return -1;
  const bool whole_area = number(devmode, printer_data, 1288) != 0;
  const WORD position = whole_area ? 0 : static_cast<WORD>(number(devmode, printer_data, 303));
  LOGFONTW font{};
  INT result = -1;
  const std::u16string text = text_setting(devmode, printer_data, 299);
  if (font_setting(devmode, printer_data, 304, &font))
    result = DrawStamp(dc, info, number(devmode, printer_data, 20), position, font, text.c_str(),
                       static_cast<COLORREF>(number(devmode, printer_data, 301)),
                       static_cast<DWORD>(number(devmode, printer_data, 302)), whole_area ? 0 : 1);
  draw_mode(dc, DRVESC_STAMP_DRAW_MODE, 0);
  return result;
}

INT DrawPrintHeader(HDC dc, const PageDrawInfo& info, void* devmode, void* printer_data, DWORD end_of_document,
                    const BYTE* prepared) {
  INT result = -1;
  BYTE raw[kPrintHeaderInfoSize] = {};
  PrintHeaderInfo header{};
  bool have = send(dc, DRVESC_GET_HEADER_INFO, 0, nullptr, kPrintHeaderInfoSize, raw) > 0;
  if (!have && prepared) {
    // The record prepared at STARTDOC, with the number as it is now.
    std::memcpy(raw, prepared, kPrintHeaderInfoSize);
    BYTE word[4] = {};
    if (send(dc, DRVESC_GET_HEADER_WORD, 0, nullptr, 4, word) > 0) std::memcpy(raw + 730, word, 2);
    have = true;
  }
  if (have && UnpackPrintHeaderInfo(raw, kPrintHeaderInfoSize, &header)) {
    if (header.anyItemOn == 0) {
      result = 1;
    } else if (draw_mode(dc, DRVESC_HEADER_DRAW_MODE, 1) > 0) {
      const bool per_sheet = number(devmode, printer_data, 321) == 2 && number(devmode, printer_data, 295) == 1;
      WCHAR number_format[11] = {};
      if (LoadStringW(GetResourceModule(), 5145, number_format, 11) <= 0) std::memcpy(number_format, u"%d", 6);
      WCHAR number_text[16] = {};
      wsprintfW(number_text, number_format, header.headerNumber);
      const std::u16string items[6] = {header.userName,     header.jobOwner, header.documentName,
                                       number_text,          header.date,     header.time};
      LOGFONTW font{};
      const bool has_font = font_setting(devmode, printer_data, 357, &font);
      PageDrawInfo current = info;
      result = has_font ? 1 : -1;
      for (int i = 0; has_font && i < 6; ++i) {
        if (header.positions[i] == kHeaderItemHidden) continue;
        std::u16string line = items[i];
        for (int j = i + 1; j < 6; ++j) {
          if (header.positions[j] != header.positions[i]) continue;
          if (!(j == 1 && items[j].empty())) line += u" : " + items[j];
          header.positions[j] = kHeaderItemHidden;
        }
        if (number(devmode, printer_data, 321) == 2 && number(devmode, printer_data, 295) != 1) {
          BYTE flag[4], answer[kPageDrawInfoSize];
          WriteEscapeDword(flag, end_of_document);
          if (send(dc, DRVESC_GET_PAGE_INFO, 4, flag, kPageDrawInfoSize, answer) <= 0) break;
          UnpackPageDrawInfo(answer, kPageDrawInfoSize, &current);
        }
        result = DrawStamp(dc, current, number(devmode, printer_data, 20), header.positions[i], font, line.c_str(),
                           static_cast<COLORREF>(number(devmode, printer_data, 373)), 0, per_sheet ? 1 : 0);
        if (result == -1) break;
      }
    }
  }
  draw_mode(dc, DRVESC_HEADER_DRAW_MODE, 0);
  return result;
}

}  // namespace morva::pi
