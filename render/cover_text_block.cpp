// The cover page's text block and the document-name block. The block is
// sized from exactly what is written, so that a double-byte character
// (one advance, two text bytes) never leaves unwritten bytes behind.
#include "render/cover_text_block.h"

#include <cstring>

#include "win/codepage.h"

namespace morva::gfx {

namespace {

constexpr std::size_t kMaxItemBytes = 258;
constexpr std::size_t kHeadBytes = 19;  // AR, AK, AL, AM
constexpr std::size_t kFontBytes = 4;   // DA
constexpr std::size_t kMatrixBytes = 26;  // Db

struct Prepared {
  WORD font_id = 0;
  std::vector<float> advances;
  std::string ansi;
  std::vector<WORD> codes;  // one per character: a byte, or a double-byte pair
  float x = 0, y = 0;
};

// Big-endian values into a byte string.
struct Out {
  std::string b;
  void byte(DWORD v) { b += static_cast<char>(v & 0xFF); }
  void w(DWORD v) { byte(v >> 8), byte(v); }
  void d(DWORD v) { w(v >> 16), w(v & 0xFFFF); }
  void f(float v) {
    DWORD bits;
    std::memcpy(&bits, &v, 4);
    d(bits);
  }
  void op(const char name[3]) { b.append(name, 2); }
};

std::string to_ansi(const std::u16string& text, std::size_t max_bytes) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  if (out.size() > max_bytes) {
    // Never cut a double-byte character in two.
    std::size_t keep = 0;
    while (keep < max_bytes) {
      const std::size_t step = IsDBCSLeadByteEx(CP_ACP, static_cast<BYTE>(out[keep])) ? 2 : 1;
      if (keep + step > max_bytes) break;
      keep += step;
    }
    out.resize(keep);
  }
  return out;
}

bool PrepareCoverItem(const CoverTextContext& c, const CoverTextItem& item, Prepared* out) {
  const DeviceFontMetrics* font = c.font ? c.font(item.font_kind, &out->font_id) : nullptr;
  if (!font) return false;
  out->ansi = to_ansi(item.text, kMaxItemBytes);
  const double scale = static_cast<double>(c.xres) * item.size / 720000.0;
  for (std::size_t i = 0; i < out->ansi.size();) {
    const BYTE lead = static_cast<BYTE>(out->ansi[i]);
    WORD code = lead;
    std::size_t step = 1;
    if (IsDBCSLeadByteEx(CP_ACP, lead) && i + 1 < out->ansi.size()) {
      code = static_cast<WORD>((lead << 8) | static_cast<BYTE>(out->ansi[i + 1]));
      step = 2;
    }
    const int width = LookupDeviceFontGlyph(font, code);
    if (width < 0) return false;
    out->advances.push_back(static_cast<float>(width * scale));
    out->codes.push_back(code);
    i += step;
  }
  out->x = static_cast<float>(item.x * c.xres / 254 - c.left_offset);
  out->y = static_cast<float>(item.y * c.yres / 254);
  return true;
}

// The text operator's codes are 16-bit with a byte count, as every text
// run has them: one code per character, so an odd number of ANSI bytes
// cannot break the stream.
std::size_t text_bytes(const Prepared& p) { return 15 + 4 * p.advances.size() + 2 * p.codes.size(); }

}  // namespace

INT CoverTextBlockSize(const CoverTextContext& c, const std::vector<CoverTextItem>& items) {
  std::size_t size = kHeadBytes;
  LONG kind = -1, text_size = -1;
  for (const CoverTextItem& item : items) {
    Prepared p;
    if (!PrepareCoverItem(c, item, &p)) return -1;
    if (item.font_kind != kind) size += kFontBytes;
    if (item.size != text_size) size += kMatrixBytes;
    size += text_bytes(p);
    kind = item.font_kind;
    text_size = item.size;
  }
  return static_cast<INT>(size);
}

INT BuildCoverTextBlock(const CoverTextContext& c, const std::vector<CoverTextItem>& items, std::vector<BYTE>* out) {
  if (!out) return -1;
  Out o;
  o.op("AR");
  o.op("AK"), o.byte(2);
  o.op("AL"), o.byte(1), o.d(13);
  o.op("AM"), o.byte(2), o.byte(4), o.byte(0), o.byte(0), o.byte(0);
  LONG kind = -1, text_size = -1;
  for (const CoverTextItem& item : items) {
    Prepared p;
    if (!PrepareCoverItem(c, item, &p)) return -1;
    if (item.font_kind != kind) o.op("DA"), o.w(p.font_id | 2);
    if (item.size != text_size) {
      o.op("Db");
      o.f(static_cast<float>(item.size * c.xres) / 720.0f), o.f(0), o.f(0);
      o.f(-static_cast<float>(item.size * c.yres) / 720.0f), o.f(0), o.f(0);
    }
    o.op("Dd"), o.f(p.x), o.f(p.y), o.byte(2), o.w(static_cast<DWORD>(p.advances.size()));
    for (float a : p.advances) o.f(a);
    o.w(static_cast<DWORD>(2 * p.codes.size()));
    for (WORD code : p.codes) o.w(code);
    kind = item.font_kind;
    text_size = item.size;
  }
  const std::size_t at = out->size();
  out->resize(at + o.b.size());
  std::memcpy(out->data() + at, o.b.data(), o.b.size());
  return static_cast<INT>(o.b.size());
}

std::vector<BYTE> DocumentNameBlock(const std::u16string& path) {
  std::u16string name = path;
  const std::size_t slash = name.find_last_of(u"\\/");
  if (slash != std::u16string::npos) name.erase(0, slash + 1);
  const std::size_t dot = name.find_last_of(u'.');
  if (dot != std::u16string::npos) name.erase(dot);
  const std::string ansi = to_ansi(name, 255);
  if (ansi.empty()) return {};
  Out o;
  o.op("Eg"), o.w(static_cast<DWORD>(ansi.size()));
  o.b += ansi;
  for (float v : {1.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f}) o.f(v);
  o.byte(0);
  std::vector<BYTE> block(o.b.size());
  std::memcpy(block.data(), o.b.data(), o.b.size());
  return block;
}

}  // namespace morva::gfx
