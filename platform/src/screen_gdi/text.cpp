// Text: logical fonts realised through the platform's font layer
// (win/fonts.h), text metrics and extents, TextOutW, ExtTextOutW and
// DrawTextW.
//
// Rules of the real platform kept here:
// - A logical font is realised when text is measured or drawn, at the DC's
//   device size: a negative lfHeight is the em height, a positive one the
//   cell height, 0 the default 12 points. Metrics come back in logical
//   units.
// - The extent of a string is the sum of its characters' advances rounded
//   to whole pixels, and the font's height.
// - The text alignment places the reference point: TA_LEFT, TA_RIGHT or
//   TA_CENTER of the string's extent, TA_TOP, TA_BASELINE or TA_BOTTOM of
//   its cell. TA_UPDATECP draws at the current position and moves it to
//   the end of the text.
// - In OPAQUE background mode the text cell is filled with the background
//   colour first; ETO_OPAQUE fills the given rectangle, ETO_CLIPPED clips
//   to it.
// - DrawTextW: "&" underlines the next character and "&&" is one "&"
//   unless DT_NOPREFIX (DT_HIDEPREFIX hides the underline); lines break at
//   CR/LF, and at spaces with DT_WORDBREAK; DT_SINGLELINE keeps one line
//   and alone honours DT_VCENTER and DT_BOTTOM; DT_CALCRECT only measures
//   (the rectangle's right and bottom are set); the ellipsis flags shorten
//   a line that does not fit with "..." (DT_MODIFYSTRING writes it back).
//   The answer is the height of the text, or with DT_VCENTER / DT_BOTTOM
//   the offset from the rectangle's top to the bottom of the text.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "screen_gdi/gdi_internal.h"
#include "win/printer_dc.h"
#include "win/fonts.h"

namespace morva::platform::gdi {
namespace {

using fonts::FontInstance;

std::u32string to_u32(const WCHAR* s, int n) {
  std::u32string out;
  for (int i = 0; i < n; ++i) {
    char32_t c = s[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    }
    out.push_back(c);
  }
  return out;
}

// The font of a DC realised at its device size.
std::shared_ptr<FontInstance> realise(const Dc& dc) {
  Font& f = *dc.s.font;
  LONG height = f.log.lfHeight;
  LONG dev_h = height < 0 ? -scale_y(dc.s, -height) : scale_y(dc.s, height);
  LONG dev_w = scale_x(dc.s, std::abs(f.log.lfWidth));
  if (f.inst && f.inst_height == dev_h && f.inst_width == dev_w) return f.inst;
  fonts::FontMatch match = fonts::match_font(f.log);
  fonts::FontScale scale;
  scale.em_height = fonts::em_height_for(*match.face, dev_h, kScreenDpi);
  if (dev_w > 0 && match.face->avg_char_width > 0)
    scale.em_width = static_cast<double>(dev_w) * match.face->units_per_em / match.face->avg_char_width;
  scale.angle = f.log.lfEscapement;
  f.inst = fonts::open_font(match, scale);
  f.inst_height = dev_h;
  f.inst_width = dev_w;
  return f.inst;
}

struct Glyph {
  UINT index = 0;
  LONG ax = 0, ay = 0;  // advance in whole device pixels
};

std::vector<Glyph> shape(const FontInstance& font, const std::u32string& text) {
  std::vector<Glyph> out;
  for (char32_t c : text) {
    Glyph g;
    g.index = font.glyph_index(c);
    fonts::GlyphMetrics m;
    if (font.glyph_metrics(g.index, &m)) {
      g.ax = static_cast<LONG>(std::lround(m.advance_x / 64.0));
      g.ay = static_cast<LONG>(std::lround(m.advance_y / 64.0));
    }
    out.push_back(g);
  }
  return out;
}

LONG extent(const std::vector<Glyph>& glyphs) {
  LONG w = 0;
  for (const Glyph& g : glyphs) w += g.ax;
  return w;
}

// Draws glyphs from a baseline origin (device pixels), blending coverage
// into the target in the text colour.
void draw_glyphs(const Dc& dc, Target& t, const FontInstance& font, const std::vector<Glyph>& glyphs, double ox,
                 double oy, const Region& clip, const INT* dx, bool mono) {
  COLORREF text = resolve(dc, dc.s.text);
  RawOf raw(*t.bm);
  double angle = font.scale().angle * M_PI / 1800.0;
  double x = ox, y = oy;
  for (std::size_t i = 0; i < glyphs.size(); ++i) {
    fonts::GlyphBitmap gb;
    if (font.render(glyphs[i].index, mono, &gb)) {
      int left = static_cast<int>(std::lround(x)) + gb.left, top = static_cast<int>(std::lround(y)) - gb.top;
      for (LONG r = 0; r < gb.height; ++r)
        for (LONG c = 0; c < gb.width; ++c) {
          unsigned cov = gb.one_bit ? ((gb.bits[static_cast<std::size_t>(r * gb.pitch + c / 8)] >> (7 - c % 8)) & 1) * 255
                                    : gb.bits[static_cast<std::size_t>(r * gb.pitch + c)];
          if (!cov) continue;
          int px = left + c + t.ox, py = top + r + t.oy;
          if (!clip.contains(px, py)) continue;
          if (cov >= 255) {
            t.bm->put(px, py, raw(text));
            continue;
          }
          COLORREF under = t.bm->colour_of(t.bm->get(px, py));
          auto mix = [cov](unsigned a, unsigned b) { return (a * cov + b * (255 - cov) + 127) / 255; };
          t.bm->put(px, py, raw(RGB(mix(GetRValue(text), GetRValue(under)), mix(GetGValue(text), GetGValue(under)),
                                    mix(GetBValue(text), GetBValue(under)))));
        }
    }
    if (dx) {
      LONG step = scale_x(dc.s, dx[i]);
      x += step * std::cos(angle);
      y -= step * std::sin(angle);
    } else {
      x += glyphs[i].ax;
      y += glyphs[i].ay;
    }
  }
}

// ExtTextOutW on a realised font; `underline_at` marks one character (for
// DrawTextW prefixes), -1 none.
BOOL text_out(Dc& dc, INT x, INT y, UINT options, const RECT* rect, const WCHAR* str, UINT n, const INT* dx,
              int underline_at) {
  Target t;
  if (!target_of(dc, t)) return FALSE;
  auto font = realise(dc);
  if (!font) return FALSE;
  TEXTMETRICW tm = font->text_metrics();
  std::u32string text = to_u32(str ? str : u"", static_cast<int>(n));
  auto glyphs = shape(*font, text);
  LONG width = 0;
  if (dx) {
    for (UINT i = 0; i < glyphs.size(); ++i) width += scale_x(dc.s, dx[i]);
  } else {
    width = extent(glyphs);
  }
  const UINT align = dc.s.align;
  POINT ref = (align & TA_UPDATECP) ? dc.s.pos : POINT{x, y};
  POINT origin = to_device(dc.s, ref);
  double angle = font->scale().angle * M_PI / 1800.0;
  double ca = std::cos(angle), sa = std::sin(angle);
  // Offsets of the baseline start from the reference point, along the text
  // direction (u) and down across it (v).
  double u = 0, v = 0;
  if ((align & TA_CENTER) == TA_CENTER) u = -width / 2.0;
  else if (align & TA_RIGHT) u = -width;
  if ((align & TA_BASELINE) == TA_BASELINE) v = 0;
  else if (align & TA_BOTTOM) v = -tm.tmDescent;
  else v = tm.tmAscent;
  double bx = origin.x + u * ca + v * sa, by = origin.y - u * sa + v * ca;

  Region clip = t.clip;
  if (rect) {
    RECT r = to_device(dc.s, *rect);
    if (options & ETO_OPAQUE) {
      Brush bk;
      bk.colour = dc.s.bk;
      auto keep = dc.s.rop2;
      dc.s.rop2 = R2_COPYPEN;
      fill_area(dc, t, Region(r), &bk);
      dc.s.rop2 = keep;
    }
    if (options & ETO_CLIPPED) clip.intersect(Region(RECT{r.left + t.ox, r.top + t.oy, r.right + t.ox, r.bottom + t.oy}));
  }
  if (dc.s.bk_mode == OPAQUE && font->scale().angle == 0 && width > 0) {
    RECT cell{static_cast<LONG>(std::lround(bx)), static_cast<LONG>(std::lround(by)) - tm.tmAscent,
              static_cast<LONG>(std::lround(bx)) + width, static_cast<LONG>(std::lround(by)) + tm.tmDescent};
    Region cr(RECT{cell.left + t.ox, cell.top + t.oy, cell.right + t.ox, cell.bottom + t.oy});
    cr.intersect(clip);
    cr.offset(-t.ox, -t.oy);
    paint_area(t, cr, t.bm->raw_of(resolve(dc, dc.s.bk)), R2_COPYPEN);
  }
  const bool mono = dc.s.font->log.lfQuality == NONANTIALIASED_QUALITY || t.bm->bpp == 1;
  draw_glyphs(dc, t, *font, glyphs, bx, by, clip, dx, mono);

  // Underline and strike-out lines (only for unrotated text).
  if (font->scale().angle == 0) {
    const auto& face = *font->match().face;
    double px_per_unit = font->scale().em_height / face.units_per_em;
    LONG thick = std::max<LONG>(1, std::lround(face.underline_thickness * px_per_unit));
    auto line = [&](LONG from, LONG to, LONG yoff) {
      Region band(RECT{static_cast<LONG>(std::lround(bx)) + from + t.ox, static_cast<LONG>(std::lround(by)) + yoff + t.oy,
                       static_cast<LONG>(std::lround(bx)) + to + t.ox, static_cast<LONG>(std::lround(by)) + yoff + thick + t.oy});
      band.intersect(clip);
      band.offset(-t.ox, -t.oy);
      paint_area(t, band, t.bm->raw_of(resolve(dc, dc.s.text)), R2_COPYPEN);
    };
    LONG under_y = std::max<LONG>(1, std::lround(-face.underline_position * px_per_unit));
    if (dc.s.font->log.lfUnderline) line(0, width, under_y);
    if (dc.s.font->log.lfStrikeOut) line(0, width, -std::lround(face.strikeout_position * px_per_unit));
    if (underline_at >= 0 && static_cast<std::size_t>(underline_at) < glyphs.size()) {
      LONG from = 0;
      for (int i = 0; i < underline_at; ++i) from += glyphs[static_cast<std::size_t>(i)].ax;
      line(from, from + glyphs[static_cast<std::size_t>(underline_at)].ax, under_y);
    }
  }
  if (align & TA_UPDATECP) dc.s.pos = POINT{dc.s.pos.x + (dc.s.map_mode == MM_TEXT ? width : width * dc.s.win_ext.cx / dc.s.vp_ext.cx), dc.s.pos.y};
  return TRUE;
}

// Logical width of a text on the DC's font.
LONG text_width(const Dc& dc, const FontInstance& font, const std::u16string& s) {
  LONG w = extent(shape(font, to_u32(s.data(), static_cast<int>(s.size()))));
  if (dc.s.map_mode == MM_TEXT) return w;
  return static_cast<LONG>(std::lround(static_cast<double>(w) * dc.s.win_ext.cx / dc.s.vp_ext.cx));
}

}  // namespace
}  // namespace morva::platform::gdi

using namespace morva::platform::gdi;

extern "C" {

HFONT CreateFontIndirectW(const LOGFONTW* log) {
  if (!log) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto f = std::make_shared<Font>();
  f->log = *log;
  return static_cast<HFONT>(insert(f));
}

HFONT CreateFontW(INT height, INT width, INT escapement, INT orientation, INT weight, DWORD italic, DWORD underline,
                  DWORD strikeout, DWORD charset, DWORD out_precision, DWORD clip_precision, DWORD quality,
                  DWORD pitch_and_family, LPCWSTR face) {
  LOGFONTW lf{};
  lf.lfHeight = height;
  lf.lfWidth = width;
  lf.lfEscapement = escapement;
  lf.lfOrientation = orientation;
  lf.lfWeight = weight;
  lf.lfItalic = static_cast<BYTE>(italic);
  lf.lfUnderline = static_cast<BYTE>(underline);
  lf.lfStrikeOut = static_cast<BYTE>(strikeout);
  lf.lfCharSet = static_cast<BYTE>(charset);
  lf.lfOutPrecision = static_cast<BYTE>(out_precision);
  lf.lfClipPrecision = static_cast<BYTE>(clip_precision);
  lf.lfQuality = static_cast<BYTE>(quality);
  lf.lfPitchAndFamily = static_cast<BYTE>(pitch_and_family);
  if (face)
    for (int i = 0; i < LF_FACESIZE - 1 && face[i]; ++i) lf.lfFaceName[i] = face[i];
  return CreateFontIndirectW(&lf);
}

BOOL GetTextMetricsW(HDC hdc, LPTEXTMETRICW out) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto dc = find_dc(hdc);
  if (!dc || !out) return FALSE;
  auto font = realise(*dc);
  if (!font) return FALSE;
  *out = font->text_metrics();
  if (dc->s.map_mode != MM_TEXT) {
    auto lx = [&](LONG v) { return static_cast<LONG>(std::lround(static_cast<double>(v) * dc->s.win_ext.cx / dc->s.vp_ext.cx)); };
    auto ly = [&](LONG v) { return static_cast<LONG>(std::lround(std::abs(static_cast<double>(v) * dc->s.win_ext.cy / dc->s.vp_ext.cy))); };
    out->tmHeight = ly(out->tmHeight);
    out->tmAscent = ly(out->tmAscent);
    out->tmDescent = ly(out->tmDescent);
    out->tmInternalLeading = ly(out->tmInternalLeading);
    out->tmExternalLeading = ly(out->tmExternalLeading);
    out->tmAveCharWidth = lx(out->tmAveCharWidth);
    out->tmMaxCharWidth = lx(out->tmMaxCharWidth);
  }
  return TRUE;
}

INT GetTextFaceW(HDC hdc, INT count, LPWSTR out) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto dc = find_dc(hdc);
  if (!dc) return 0;
  auto font = realise(*dc);
  if (!font) return 0;
  const std::u16string& name = font->match().face->family;
  if (!out) return static_cast<INT>(name.size() + 1);
  if (count <= 0) return 0;
  INT n = std::min<INT>(count - 1, static_cast<INT>(name.size()));
  std::memcpy(out, name.data(), static_cast<std::size_t>(n) * sizeof(WCHAR));
  out[n] = 0;
  return n + 1;
}

BOOL GetTextExtentPoint32W(HDC hdc, LPCWSTR str, INT n, LPSIZE out) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto dc = find_dc(hdc);
  if (!dc || !out || n < 0 || (n > 0 && !str)) return FALSE;
  auto font = realise(*dc);
  if (!font) return FALSE;
  TEXTMETRICW tm;
  GetTextMetricsW(hdc, &tm);
  out->cx = text_width(*dc, *font, std::u16string(str ? str : u"", static_cast<std::size_t>(n)));
  out->cy = tm.tmHeight;
  return TRUE;
}

BOOL TextOutW(HDC hdc, INT x, INT y, LPCWSTR str, INT n) {
  if (n < 0) return FALSE;
  return ExtTextOutW(hdc, x, y, 0, nullptr, str, static_cast<UINT>(n), nullptr);
}

BOOL ExtTextOutW(HDC hdc, INT x, INT y, UINT options, const RECT* rect, LPCWSTR str, UINT n, const INT* dx) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto dc = find_dc(hdc);
  if (!dc || (n > 0 && !str)) return FALSE;
  if (dc->type == Dc::Type::printer) {
    if (!dc->printer) return FALSE;
    LOGFONTW font = dc->s.font->log;
    const LONG h = font.lfHeight;
    font.lfHeight = h < 0 ? -scale_y(dc->s, -h) : scale_y(dc->s, h);
    return dc->printer->draw_text(to_device(dc->s, POINT{x, y}), font, resolve(*dc, dc->s.text), str, n);
  }
  return text_out(*dc, x, y, options, rect, str, n, dx, -1);
}

INT DrawTextW(HDC hdc, LPCWSTR str, INT n, LPRECT rect, UINT format) {
  std::lock_guard<std::recursive_mutex> g(gdi_lock());
  auto dc = find_dc(hdc);
  if (!dc || !rect || !str) return 0;
  auto font = realise(*dc);
  if (!font) return 0;
  TEXTMETRICW tm;
  GetTextMetricsW(hdc, &tm);
  std::u16string text(str, n < 0 ? std::char_traits<char16_t>::length(str) : static_cast<std::size_t>(n));
  const LONG line_h = tm.tmHeight;
  const LONG width = rect->right - rect->left;
  auto measure = [&](const std::u16string& s) { return text_width(*dc, *font, s); };

  // Lines: prefixes resolved, tabs expanded, broken as asked.
  struct Line {
    std::u16string text;
    int underline = -1;
  };
  std::vector<Line> lines;
  auto add_line = [&](std::u16string raw) {
    Line l;
    for (std::size_t i = 0; i < raw.size(); ++i) {
      char16_t c = raw[i];
      if (!(format & DT_NOPREFIX) && c == u'&') {
        if (i + 1 < raw.size() && raw[i + 1] == u'&') {
          l.text.push_back(u'&');
          ++i;
        } else if (i + 1 < raw.size()) {
          if (!(format & DT_HIDEPREFIX)) l.underline = static_cast<int>(l.text.size());
        }
        continue;
      }
      if (c == u'\t' && (format & DT_EXPANDTABS)) {
        // Spaces up to the next stop (every eight average characters); a
        // space's width need not divide the stop, so the stop is reached,
        // not met exactly.
        const LONG stop = 8 * std::max<LONG>(1, tm.tmAveCharWidth);
        const LONG next = (measure(l.text) / stop + 1) * stop;
        do l.text.push_back(u' ');
        while (measure(l.text) < next);
        continue;
      }
      l.text.push_back(c);
    }
    lines.push_back(std::move(l));
  };
  std::vector<std::u16string> paragraphs;
  if (format & DT_SINGLELINE) {
    std::u16string one;
    for (char16_t c : text)
      if (c != u'\r' && c != u'\n') one.push_back(c);
    paragraphs.push_back(one);
  } else {
    std::u16string cur;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == u'\r' || text[i] == u'\n') {
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
        paragraphs.push_back(cur);
        cur.clear();
      } else {
        cur.push_back(text[i]);
      }
    }
    paragraphs.push_back(cur);
  }
  for (const std::u16string& p : paragraphs) {
    if (!(format & DT_WORDBREAK) || (format & DT_SINGLELINE)) {
      add_line(p);
      continue;
    }
    // Break at spaces; a word longer than the line stays whole.
    std::size_t start = 0;
    while (true) {
      std::size_t end = start, fit = std::u16string::npos;
      while (end <= p.size()) {
        std::size_t next = p.find(u' ', end);
        if (next == std::u16string::npos) next = p.size();
        std::u16string probe = p.substr(start, next - start);
        std::u16string shown;
        for (std::size_t k = 0; k < probe.size(); ++k)
          if (format & DT_NOPREFIX || probe[k] != u'&') shown.push_back(probe[k]);
        if (measure(shown) > width && fit != std::u16string::npos) break;
        fit = next;
        if (next >= p.size()) break;
        end = next + 1;
      }
      add_line(p.substr(start, fit - start));
      if (fit >= p.size()) break;
      start = fit;
      while (start < p.size() && p[start] == u' ') ++start;
      if (start >= p.size()) break;
    }
  }

  // Ellipsis: shorten lines that do not fit.
  if (format & (DT_END_ELLIPSIS | DT_PATH_ELLIPSIS | DT_WORD_ELLIPSIS)) {
    for (Line& l : lines) {
      if (measure(l.text) <= width) continue;
      std::u16string base = l.text;
      if (format & DT_PATH_ELLIPSIS) {
        // Keep the last path component, drop characters before it.
        std::size_t slash = base.find_last_of(u"\\/");
        std::u16string tail = slash == std::u16string::npos ? u"" : base.substr(slash);
        std::u16string head = slash == std::u16string::npos ? base : base.substr(0, slash);
        while (!head.empty() && measure(head + u"..." + tail) > width) head.pop_back();
        l.text = head + u"..." + tail;
      } else {
        while (!base.empty() && measure(base + u"...") > width) base.pop_back();
        l.text = base + u"...";
      }
      if (l.underline >= static_cast<int>(l.text.size())) l.underline = -1;
    }
    if ((format & DT_MODIFYSTRING) && n != 0 && lines.size() == 1) {
      std::size_t cap = text.size();
      std::size_t c = std::min(cap, lines[0].text.size());
      std::memcpy(const_cast<LPWSTR>(str), lines[0].text.data(), c * sizeof(WCHAR));
      if (n < 0) const_cast<LPWSTR>(str)[c] = 0;
    }
  }

  const LONG total = line_h * static_cast<LONG>(lines.size());
  LONG widest = 0;
  for (const Line& l : lines) widest = std::max(widest, measure(l.text));
  if (format & DT_CALCRECT) {
    rect->right = rect->left + widest;
    rect->bottom = rect->top + total;
    return total;
  }
  LONG top = rect->top;
  if (format & DT_SINGLELINE) {
    if (format & DT_VCENTER) top = rect->top + (rect->bottom - rect->top - total) / 2;
    else if (format & DT_BOTTOM) top = rect->bottom - total;
  }
  UINT keep_align = dc->s.align;
  dc->s.align = TA_LEFT | TA_TOP;
  const RECT* clip = (format & DT_NOCLIP) ? nullptr : rect;
  LONG y = top;
  for (const Line& l : lines) {
    LONG w = measure(l.text);
    LONG x = rect->left;
    if (format & DT_CENTER) x = rect->left + (width - w) / 2;
    else if (format & DT_RIGHT) x = rect->right - w;
    text_out(*dc, x, y, clip ? ETO_CLIPPED : 0, clip, l.text.data(), static_cast<UINT>(l.text.size()), nullptr, l.underline);
    y += line_h;
  }
  dc->s.align = keep_align;
  if ((format & DT_SINGLELINE) && (format & (DT_VCENTER | DT_BOTTOM))) return top - rect->top + total;
  return total;
}

}  // extern "C"
