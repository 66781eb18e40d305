// The printer's resident fonts as GDI sees them: built from the device
// database's font records at PDEV enable, reported with DrvQueryFont and
// DrvQueryFontTree, measured with DrvQueryFontData and
// DrvQueryAdvanceWidths.
#include "render/device_fonts.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "render/text_output.h"
#include "render/pdev.h"
#include "settings/common/module_state.h"
#include "settings/common/trace_log.h"
#include "settings/database/ddd_queries.h"
#include "settings/gfx/graphics_module.h"
#include "settings/stores/font_substitution.h"
#include "win/codepage.h"
#include "win/ddi_engine.h"
#include "win/errors.h"
#include "win/fonts.h"
#include "win/gdi.h"
#include "win/memory.h"

namespace morva::gfx {

namespace {

// Positions in a device font's blob; offsets stored there count from byte 6.
constexpr DWORD kBlobData = 6;
constexpr DWORD kBlobMinimum = 87;

WORD u16(const BYTE* b, DWORD at) { return static_cast<WORD>(b[at] | (b[at + 1] << 8)); }
DWORD u32(const BYTE* b, DWORD at) {
  return static_cast<DWORD>(b[at]) | (static_cast<DWORD>(b[at + 1]) << 8) | (static_cast<DWORD>(b[at + 2]) << 16) |
         (static_cast<DWORD>(b[at + 3]) << 24);
}

// A zero-terminated ANSI string at a stored offset; false when it does not
// end inside the blob.
bool blob_string(const BYTE* blob, DWORD size, DWORD at, std::string* out) {
  if (at >= size) return false;
  const BYTE* p = blob + at;
  const BYTE* end = static_cast<const BYTE*>(std::memchr(p, 0, size - at));
  if (!end) return false;
  out->assign(reinterpret_cast<const char*>(p), reinterpret_cast<const char*>(end));
  return true;
}

std::u16string to_wide(const std::string& s, UINT code_page, std::size_t max_chars) {
  if (s.empty()) return {};
  std::u16string out(s.size(), u'\0');
  int n = MultiByteToWideChar(code_page, 0, s.data(), static_cast<int>(s.size()), out.data(), static_cast<int>(out.size()));
  out.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  if (out.size() > max_chars) out.resize(max_chars);
  return out;
}

bool double_byte_charset(BYTE cs) {
  return cs == SHIFTJIS_CHARSET || cs == HANGUL_CHARSET || cs == GB2312_CHARSET || cs == CHINESEBIG5_CHARSET;
}

SHORT high(DWORD v) { return static_cast<SHORT>(v >> 16); }
SHORT low(DWORD v) { return static_cast<SHORT>(v & 0xFFFF); }

WCHAR ansi_char(BYTE c) {
  const char ch = static_cast<char>(c);
  WCHAR wc = 0;
  return MultiByteToWideChar(1252, 0, &ch, 1, &wc, 1) == 1 ? wc : static_cast<WCHAR>(c);
}

void fill_widths(DeviceFontBlock* b, const BYTE* blob, DWORD size) {
  const BYTE charset = blob[25], first = blob[35], last = blob[36];
  const WORD max_width = u16(blob, 33);
  const DWORD table = u32(blob, 63);
  auto width_at = [&](DWORD i, WORD* w) {
    const DWORD at = kBlobData + table + 2 * i;
    if (at + 2 > size) return false;
    const WORD v = u16(blob, at);
    *w = (v & 0x8000) ? 0 : v;
    return true;
  };
  if (table) {
    WORD dflt = 0;
    width_at(blob[37], &dflt);
    std::fill(std::begin(b->widths), std::end(b->widths), dflt);
    for (DWORD c = first; c <= last && c < 256; ++c) width_at(c - first, &b->widths[c]);
  } else {
    const WORD w = double_byte_charset(charset) ? static_cast<WORD>(max_width / 2) : max_width;
    std::fill(std::begin(b->widths), std::end(b->widths), w);
  }
}

template <typename T>
void put(std::vector<BYTE>* block, std::size_t at, const T& v) {
  std::memcpy(block->data() + at, &v, sizeof v);
}

std::size_t append_name(std::vector<BYTE>* block, const std::u16string& name) {
  while (block->size() % 4) block->push_back(0);
  const std::size_t at = block->size();
  block->resize(at + (name.size() + 1) * 2, 0);
  std::memcpy(block->data() + at, name.data(), name.size() * 2);
  return at;
}

void build_ifimetrics(DeviceFontBlock* b, const BYTE* blob, const std::string& face, const std::string& family) {
  IFIMETRICS ifi{};
  const BYTE charset = blob[25];
  const BYTE pf = blob[30];
  const bool fixed = (pf & 0x0F) == 0;
  const WORD weight = u16(blob, 23);
  const DWORD* m = b->metrics;
  ifi.jWinCharSet = charset;
  ifi.jWinPitchAndFamily = static_cast<BYTE>((pf & 0xF0) | (fixed ? FIXED_PITCH : VARIABLE_PITCH));
  ifi.usWinWeight = weight >= 1 && weight <= 1000 ? weight : 400;
  if (blob[21]) ifi.fsSelection |= FM_SEL_UNDERSCORE;
  if (blob[22]) ifi.fsSelection |= FM_SEL_STRIKEOUT;
  ifi.fsType = 2;
  ifi.fwdUnitsPerEm = 1000;
  ifi.flInfo = FM_INFO_ARB_XFORMS | FM_INFO_NOT_CONTIGUOUS | FM_INFO_RIGHT_HANDED;
  if (fixed)
    ifi.flInfo |= double_byte_charset(charset) ? FM_INFO_OPTICALLY_FIXED_PITCH | FM_INFO_DBCS_FIXED_PITCH
                                               : FM_INFO_CONSTANT_WIDTH | FM_INFO_OPTICALLY_FIXED_PITCH;
  const SHORT ascender = static_cast<SHORT>(u16(blob, 14)), base_a = static_cast<SHORT>(u16(blob, 16)),
              base_c = static_cast<SHORT>(u16(blob, 18));
  ifi.fwdWinAscender = ifi.fwdMacAscender = ifi.fwdTypoAscender = ascender;
  ifi.fwdWinDescender = static_cast<FWORD>(base_a - ascender + 1000);
  ifi.fwdMacDescender = ifi.fwdTypoDescender = static_cast<FWORD>(-ifi.fwdWinDescender);
  ifi.fwdMacLineGap = ifi.fwdTypoLineGap = static_cast<FWORD>(std::max(0, base_c - base_a));
  ifi.fwdMaxCharInc = static_cast<FWORD>(u16(blob, 33));
  FWORD average = static_cast<FWORD>(u16(blob, 31));
  const BYTE first = blob[35], last = blob[36];
  if (average == 0 && last >= first) {
    long sum = 0;
    const long count = last - first + 1;
    for (int c = first; c <= last; ++c) sum += b->widths[c];
    average = static_cast<FWORD>((sum + count / 2) / count);
  }
  ifi.fwdAveCharWidth = average;
  if (ifi.fwdMaxCharInc < average) ifi.fwdMaxCharInc = average;
  ifi.fwdLowestPPEm = low(m[2]);
  ifi.fwdCapHeight = high(m[3]);
  ifi.fwdXHeight = low(m[4]);
  ifi.lItalicAngle = high(m[5]);
  ifi.fwdSubscriptYSize = high(m[7]);
  ifi.fwdSubscriptYOffset = high(m[6]);
  ifi.fwdSuperscriptYSize = low(m[7]);
  ifi.fwdSuperscriptYOffset = low(m[6]);
  ifi.fwdUnderscoreSize = high(m[8]);
  ifi.fwdUnderscorePosition = static_cast<FWORD>(-high(m[8]) / 2);
  ifi.fwdStrikeoutSize = high(m[11]);
  ifi.fwdStrikeoutPosition = static_cast<FWORD>(m[4] > 0x370FFFF ? high(m[4]) / 4 : high(m[4]) / 2);
  ifi.chFirstChar = first;
  ifi.chLastChar = last;
  if (charset == SHIFTJIS_CHARSET) {
    ifi.chBreakChar = ' ';
    ifi.wcBreakChar = 0x20;
    ifi.chDefaultChar = 0xA5;
    ifi.wcDefaultChar = 0xFF65;
    ifi.wcFirstChar = 0;
    ifi.wcLastChar = 0xFFE5;
  } else {
    ifi.chDefaultChar = static_cast<BYTE>(first + blob[37]);
    ifi.chBreakChar = static_cast<BYTE>(first + blob[38]);
    ifi.wcDefaultChar = ansi_char(ifi.chDefaultChar);
    ifi.wcBreakChar = ansi_char(ifi.chBreakChar);
    WCHAR lo = 0xFFFF, hi = 0;
    for (int c = 0; c < 256; ++c) {
      const WCHAR wc = ansi_char(static_cast<BYTE>(c));
      lo = std::min(lo, wc);
      hi = std::max(hi, wc);
    }
    ifi.wcFirstChar = lo;
    ifi.wcLastChar = hi;
  }
  ifi.ptlBaseline = {1, 0};
  ifi.ptlAspect = {static_cast<SHORT>(u16(blob, 12)), static_cast<SHORT>(u16(blob, 10))};
  ifi.ptlCaret = ifi.lItalicAngle ? POINTL{1, 2} : POINTL{0, 1};
  ifi.rclFontBox = {0, ascender, ifi.fwdMaxCharInc, ifi.fwdTypoDescender};
  std::memcpy(ifi.achVendId, "Unkn", 4);
  ifi.panose.bFamilyType = ifi.panose.bSerifStyle = (pf & 0xF0) ? 1 : 0;
  ifi.panose.bWeight = static_cast<BYTE>(ifi.usWinWeight / 100 + 1);
  ifi.panose.bProportion = fixed ? 9 : 0;

  std::vector<BYTE>& block = b->ifi;
  block.assign(sizeof(IFIMETRICS), 0);
  ifi.dpwszFaceName = static_cast<PTRDIFF>(append_name(&block, to_wide(face, CP_ACP, 32)));
  const std::u16string fam = to_wide(family, CP_ACP, 32);
  ifi.dpwszFamilyName = static_cast<PTRDIFF>(append_name(&block, fam));
  ifi.dpwszStyleName = ifi.dpwszUniqueName = static_cast<PTRDIFF>(ifi.dpwszFamilyName + fam.size() * 2);
  while (block.size() % 4) block.push_back(0);
  ifi.dpFontSim = static_cast<PTRDIFF>(block.size());
  const FONTSIM sim{12, 32, 52};
  FONTDIFF plain{};
  plain.bWeight = static_cast<BYTE>(ifi.panose.bWeight);
  plain.usWinWeight = ifi.usWinWeight;
  plain.fsSelection = static_cast<FSHORT>(ifi.fsSelection);
  plain.fwdAveCharWidth = ifi.fwdAveCharWidth;
  plain.fwdMaxCharInc = ifi.fwdMaxCharInc;
  plain.ptlCaret = ifi.ptlCaret;
  FONTDIFF bold = plain, italic = plain, both = plain;
  bold.bWeight = both.bWeight = static_cast<BYTE>(plain.bWeight + 1);
  bold.fsSelection = static_cast<FSHORT>(plain.fsSelection | FM_SEL_BOLD);
  bold.usWinWeight = both.usWinWeight = static_cast<USHORT>(plain.usWinWeight + 300);
  bold.fwdAveCharWidth = both.fwdAveCharWidth = static_cast<FWORD>(plain.fwdAveCharWidth + 1);
  bold.fwdMaxCharInc = both.fwdMaxCharInc = static_cast<FWORD>(plain.fwdMaxCharInc + 1);
  italic.fsSelection = static_cast<FSHORT>(plain.fsSelection | FM_SEL_ITALIC);
  both.fsSelection = static_cast<FSHORT>(plain.fsSelection | FM_SEL_ITALIC | FM_SEL_BOLD);
  italic.ptlCaret = both.ptlCaret = {1, 3};
  const std::size_t at = block.size();
  block.resize(at + sizeof sim + 3 * sizeof(FONTDIFF), 0);
  put(&block, at, sim);
  put(&block, at + 12, bold);
  put(&block, at + 32, italic);
  put(&block, at + 52, both);
  ifi.cjThis = static_cast<ULONG>(block.size());
  ifi.cKerningPairs = static_cast<ULONG>(b->pairs.empty() ? 0 : b->pairs.size() - 1);
  put(&block, 0, ifi);
}

bool build_pairs(DeviceFontBlock* b, const BYTE* blob, DWORD size) {
  const DWORD table = u32(blob, 71);
  if (!table) return true;
  const DWORD at = kBlobData + table;
  if (at + 2 > size) return false;
  const WORD count = u16(blob, at);
  if (at + 2 + 4ull * count > size) return false;
  BYTE charset = blob[25];
  if (charset == 1 || charset == 2) charset = 0;
  CHARSETINFO info{};
  DWORD cs = charset;
  const UINT cp = TranslateCharsetInfo(reinterpret_cast<DWORD*>(static_cast<UINT_PTR>(cs)), &info, TCI_SRCCHARSET)
                      ? info.ciACP
                      : CP_ACP;
  for (WORD i = 0; i < count; ++i) {
    const BYTE* e = blob + at + 2 + 4 * i;
    const char two[2] = {static_cast<char>(e[0]), static_cast<char>(e[1])};
    WCHAR wc[2] = {0, 0};
    if (MultiByteToWideChar(cp, 0, two, 2, wc, 2) != 2) continue;
    b->pairs.push_back({wc[0], wc[1], static_cast<FWORD>(u16(e, 2))});
  }
  if (!b->pairs.empty()) b->pairs.push_back({0, 0, 0});
  return true;
}

}  // namespace

std::unique_ptr<DeviceFontBlock> BuildDeviceFontBlock(const BYTE* blob, DWORD size) {
  if (!blob || size < kBlobMinimum) return nullptr;
  auto b = std::make_unique<DeviceFontBlock>();
  b->blob.assign(blob, blob + size);
  const BYTE* copy = b->blob.data();
  std::string id, face, family;
  if (u32(copy, 79) && blob_string(copy, size, kBlobData + u32(copy, 79), &id))
    b->font_id = ParseHexWord(id.data(), id.size());
  const DWORD metrics = u32(copy, 59);
  if (metrics) {
    if (kBlobData + metrics + 52ull > size) return nullptr;
    for (int i = 0; i < 13; ++i) b->metrics[i] = u32(copy, kBlobData + metrics + 4 * i);
  }
  const DWORD names = kBlobData + u32(copy, 45);
  if (!blob_string(copy, size, names, &face) || !blob_string(copy, size, names + static_cast<DWORD>(face.size()) + 1, &family))
    return nullptr;
  fill_widths(b.get(), copy, size);
  if (!build_pairs(b.get(), copy, size)) return nullptr;
  build_ifimetrics(b.get(), copy, face, family);
  b->lookup_ok = ParseDeviceFontHeader(copy + kBlobData, &b->lookup, size - kBlobData) == 0;
  return b;
}

bool BuildDeviceFontNameRecord(const BYTE* blob, DWORD size, WORD code, DeviceFontNameRecord* out) {
  if (!blob || size < kBlobMinimum || !out) return false;
  *out = DeviceFontNameRecord{};
  std::string face;
  if (!blob_string(blob, size, kBlobData + u32(blob, 45), &face)) return false;
  const std::u16string wide = to_wide(face, CP_ACP, 31);
  std::copy(wide.begin(), wide.end(), out->face);
  out->pitch_family = blob[30];
  out->charset = blob[25];
  const WORD weight = u16(blob, 23);
  out->weight = weight >= 1 && weight <= 1000 ? weight : 400;
  out->flag = blob[20];
  out->code = code;
  return true;
}

DeviceFontSet::~DeviceFontSet() {
  if (substitution) GlobalFree(substitution);
}

// ---- loading at PDEV enable ---------------------------------------------------

namespace {

int CALLBACK collect_face(const LOGFONTW* lf, const TEXTMETRICW*, DWORD type, LPARAM param) {
  if (type & TRUETYPE_FONTTYPE) reinterpret_cast<std::vector<std::u16string>*>(param)->push_back(lf->lfFaceName);
  return 1;
}

// The installed TrueType face names.
std::vector<std::u16string> EnumInstalledFontNames() {
  std::vector<std::u16string> names;
  EnumFontFamiliesW(nullptr, nullptr, collect_face, reinterpret_cast<LPARAM>(&names));
  return names;
}

}  // namespace

BOOL LoadDeviceFonts(PDEV* pdev) {
  if (!pdev || !pdev->database) return FALSE;
  auto set = std::make_unique<DeviceFontSet>();
  const std::vector<std::u16string> installed = EnumInstalledFontNames();
  struct Record {
    WORD number;
    bool reported;
    std::vector<BYTE> blob;
    WORD code;
  };
  std::vector<Record> records;
  {
    LockSlotGuard lock(kSlotDatabase);
    std::u16string previous_family;
    for (WORD position = 1; position != 0; ++position) {
      DddValue* value = nullptr;
      const DddStatus status = DddLoadValue(DDD_LOAD_FULL, &pdev->database->main, &pdev->database->linked,
                                            DDD_KIND_DEVICE_FONT, position, &value);
      if (status == DDD_NOT_FOUND) break;
      if (status != DDD_OK || !value) {
        DddFreeValue(&value, 0xFFFF);
        return FALSE;
      }
      const auto* font = static_cast<const DddDeviceFont*>(value);
      const std::u16string name = font->name ? std::u16string(font->name) : std::u16string();
      std::u16string family = font->family ? std::u16string(font->family) : std::u16string();
      if (family.size() > 40) family.resize(40);
      const bool same_family = position > 1 && family == previous_family;
      const bool installed_face = std::find(installed.begin(), installed.end(), name) != installed.end();
      Record r{position, !same_family && !installed_face, {}, font->word};
      if (font->data && font->data_size) r.blob.assign(font->data, font->data + font->data_size);
      previous_family = family;
      DddFreeValue(&value, 0xFFFF);
      records.push_back(std::move(r));
    }
  }
  if (records.empty()) return FALSE;
  for (int pass = 0; pass < 2; ++pass)
    for (const Record& r : records) {
      if (r.reported != (pass == 0)) continue;
      auto block = BuildDeviceFontBlock(r.blob.data(), static_cast<DWORD>(r.blob.size()));
      if (!block) return FALSE;
      set->blocks.push_back(std::move(block));
      if (pass == 0) ++set->reported;
    }
  for (const Record& r : records) {
    DeviceFontNameRecord name;
    if (!BuildDeviceFontNameRecord(r.blob.data(), static_cast<DWORD>(r.blob.size()), r.code, &name)) return FALSE;
    set->names.push_back(name);
    set->records.push_back(r.number);
  }
  pdev->device_fonts = set.release();
  return TRUE;
}

void FreeDeviceFonts(PDEV* pdev) {
  if (!pdev) return;
  delete pdev->device_fonts;
  pdev->device_fonts = nullptr;
}

void LoadFontSubstitutionList(PDEV* pdev) {
  if (!pdev) return;
  if (!pdev->device_fonts) pdev->device_fonts = new DeviceFontSet;
  if (!pdev->device_fonts->substitution) pdev->device_fonts->substitution = GetFontSubstitutionTable(pdev->printer);
}

BOOL DefaultDeviceFontLogfont(PDEV* pdev, DEVINFO* devinfo) {
  DeviceFontSet* set = pdev ? pdev->device_fonts : nullptr;
  if (!set || !devinfo) return FALSE;
  const DWORD id = static_cast<DWORD>(PdevGetNumber(pdev, 384));
  for (std::size_t i = 0; i < set->blocks.size(); ++i) {
    if (set->blocks[i]->font_id != id) continue;
    // The name record of the same record: reported blocks first, then the others.
    const IFIMETRICS* ifi = set->blocks[i]->metrics_record();
    LOGFONTW lf{};
    const auto* face = reinterpret_cast<const WCHAR*>(set->blocks[i]->ifi.data() + ifi->dpwszFaceName);
    for (int k = 0; k < LF_FACESIZE - 1 && face[k]; ++k) lf.lfFaceName[k] = face[k];
    lf.lfCharSet = ifi->jWinCharSet;
    lf.lfPitchAndFamily = set->blocks[i]->blob[30];
    lf.lfHeight = DeviceResolution(pdev, 20) * 10 / -72;
    lf.lfWeight = 400;
    devinfo->lfDefaultFont = lf;
    return TRUE;
  }
  return FALSE;
}

// ---- glyph sets -------------------------------------------------------------------

namespace {
alignas(8) BYTE g_resource_area[kResourceGlyphSetArea];
FD_GLYPHSET* g_resource_glyphs = nullptr;
}  // namespace

FD_GLYPHSET* GetFontGlyphSet(BYTE charset) {
  if (charset != SHIFTJIS_CHARSET) return DefaultGlyphSet();
  if (!g_resource_glyphs) {
    ULONG size = 0;
    const auto* bytes =
        static_cast<const BYTE*>(EngFindResource(GetResourceModule(), kGlyphSetResourceId, kGlyphSetResourceType, &size));
    if (bytes) g_resource_glyphs = CopyResourceGlyphSet(bytes, size, g_resource_area, sizeof g_resource_area);
  }
  return g_resource_glyphs;
}

void ForgetResourceGlyphSet() { g_resource_glyphs = nullptr; }

// ---- the query entries ------------------------------------------------------------

namespace {

DeviceFontBlock* reported_block(PDEV* pdev, ULONG face) {
  if (!IsValidPdev(pdev) || !pdev->device_fonts || face == 0 || face > pdev->device_fonts->reported) return nullptr;
  return pdev->device_fonts->blocks[face - 1].get();
}

LONG snap(LONG v) { return (v + 8) & ~15L; }

POINTFIX apply(XFORMOBJ* pxo, LONG x, LONG y) {
  POINTL in{x, y};
  POINTFIX out{0, 0};
  XFORMOBJ_bApplyXform(pxo, XF_LTOFX, 1, &in, &out);
  return out;
}

double length(POINTFIX p) { return std::hypot(static_cast<double>(p.x), static_cast<double>(p.y)); }

LONG glyph_width(DeviceFontBlock* b, HGLYPH hg) {
  if (b->lookup_ok) {
    const int w = LookupDeviceFontGlyph(&b->lookup, static_cast<WORD>(hg));
    if (w >= 0) return w;
  }
  return b->metrics_record()->fwdAveCharWidth;
}

}  // namespace

LONG DeviceResolution(PDEV* pdev, WORD id) {
  const LONG dpi = PdevGetNumber(pdev, id);
  return dpi > 0 ? dpi : PdevResolution(pdev);
}

LONG VectorLength(LONG a, LONG b) {
  if (b == 0) return std::abs(a);
  if (a == 0) return std::abs(b);
  const long long aa = static_cast<long long>(a) * a + static_cast<long long>(b) * b;
  long long r = std::max(std::llabs(a), std::llabs(b));
  while (r * r < aa) ++r;
  return static_cast<LONG>(r);
}

IFIMETRICS* QueryDeviceFont(PDEV* pdev, ULONG face, ULONG_PTR* pid) {
  if (pid) *pid = 0;
  DeviceFontBlock* b = reported_block(pdev, face);
  if (!b) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return b->metrics_record();
}

PVOID QueryDeviceFontTree(PDEV* pdev, ULONG face, ULONG mode, ULONG_PTR* pid) {
  if (pid) *pid = 0;
  DeviceFontBlock* b = reported_block(pdev, face);
  if (!b || (mode != QFT_KERNPAIRS && mode != QFT_GLYPHSET)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (mode == QFT_KERNPAIRS) return b->pairs.empty() ? nullptr : b->pairs.data();
  EnterFontLock();
  FD_GLYPHSET* set = GetFontGlyphSet(b->metrics_record()->jWinCharSet);
  LeaveFontLock();
  return set;
}

LONG QueryDeviceFontData(PDEV* pdev, FONTOBJ* pfo, ULONG mode, HGLYPH hg, GLYPHDATA* pgd, PVOID pv, ULONG) {
  if (!pfo) return static_cast<LONG>(FD_ERROR);
  DeviceFontBlock* b = reported_block(pdev, pfo->iFace);
  XFORMOBJ* pxo = FONTOBJ_pxoGetXform(pfo);
  if (!b || !pxo) return static_cast<LONG>(FD_ERROR);
  const IFIMETRICS* ifi = b->metrics_record();
  if (mode == QFD_GLYPHANDBITMAP) {
    if (!pgd) return 0;
    const LONG w = glyph_width(b, hg);
    auto signed_length = [&](LONG v) {
      const LONG l = static_cast<LONG>(length(apply(pxo, 0, v)));
      return snap(v < 0 ? -l : l);
    };
    *pgd = GLYPHDATA{};
    pgd->hg = hg;
    pgd->fxInkTop = signed_length(ifi->rclFontBox.top);
    pgd->fxInkBottom = signed_length(ifi->rclFontBox.bottom);
    const POINTFIX unit = apply(pxo, 4096, 0);
    const double l = length(unit);
    pgd->fxD = pgd->fxAB = snap(static_cast<LONG>(w * l / 4096));
    pgd->ptqD.x.u.HighPart = snap(static_cast<LONG>(static_cast<double>(w) * unit.x / 4096));
    pgd->ptqD.y.u.HighPart = snap(static_cast<LONG>(static_cast<double>(w) * unit.y / 4096));
    return 0;
  }
  if (mode != QFD_MAXEXTENTS) return static_cast<LONG>(FD_ERROR);
  if (!pv) return sizeof(FD_DEVICEMETRICS);
  auto* dm = static_cast<FD_DEVICEMETRICS*>(pv);
  *dm = FD_DEVICEMETRICS{};
  const POINTFIX base = apply(pxo, 1000, 0), side = apply(pxo, 0, -1000);
  const double lb = std::max(length(base), 1.0), ls = std::max(length(side), 1.0);
  dm->pteBase = {static_cast<FLOATL>(base.x / lb), static_cast<FLOATL>(base.y / lb)};
  dm->pteSide = {static_cast<FLOATL>(side.x / ls), static_cast<FLOATL>(side.y / ls)};
  const LONG h = static_cast<LONG>(ls) / 16;
  const LONG yres = DeviceResolution(pdev, 21);
  const LONG pt = MulDiv(h, 72, yres);
  const BYTE family = ifi->jWinPitchAndFamily & 0xF0;
  LONG leading;
  if (family == FF_ROMAN) leading = 2;
  else if (family == FF_SWISS) leading = pt <= 12 ? 2 : pt < 14 ? 3 : 4;
  else leading = MulDiv(pt, 196, 1000);
  const LONG top = ifi->rclFontBox.top, bottom = ifi->rclFontBox.bottom;
  const LONG m = std::max<LONG>(0, MulDiv(top - 1000 - bottom, h, 1000));
  const LONG e = MulDiv(leading, yres, 72);
  const bool fixed = (ifi->jWinPitchAndFamily & 0x0F) == FIXED_PITCH;
  const bool dbcs = (ifi->flInfo & FM_INFO_DBCS_FIXED_PITCH) != 0;
  dm->lNonLinearExtLeading = (e - m < 0 || fixed || dbcs) ? 0 : (e - m) * 16;
  dm->lNonLinearIntLeading = (fixed || dbcs) ? 0 : m * 16;
  dm->lNonLinearMaxCharWidth = static_cast<LONG>(length(apply(pxo, ifi->fwdMaxCharInc, 0)));
  dm->lD = (ifi->flInfo & FM_INFO_CONSTANT_WIDTH) ? dm->lNonLinearMaxCharWidth : 0;
  dm->fxMaxAscender = snap(static_cast<LONG>(length(apply(pxo, 0, top))));
  LONG descender = std::abs(bottom);
  if (fixed && !dbcs) descender = std::max<LONG>(0, 1000 + bottom + std::abs(bottom) - top);
  dm->fxMaxDescender = snap(static_cast<LONG>(length(apply(pxo, 0, descender))));
  auto whole = [](POINTFIX p) { return POINTL{p.x, p.y}; };
  dm->ptlUnderline1 = whole(apply(pxo, 0, -ifi->fwdUnderscorePosition));
  dm->ptlStrikeOut = whole(apply(pxo, 0, -ifi->fwdStrikeoutPosition));
  dm->ptlULThickness = dm->ptlSOThickness = whole(apply(pxo, 0, ifi->fwdUnderscoreSize));
  return sizeof(FD_DEVICEMETRICS);
}

BOOL QueryDeviceAdvanceWidths(PDEV* pdev, FONTOBJ* pfo, ULONG mode, HGLYPH* phg, PVOID pv, ULONG count) {
  if (count == 0) return TRUE;
  if (!pfo || !phg || !pv || (mode != QAW_GETWIDTHS && mode != QAW_GETEASYWIDTHS)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DeviceFontBlock* b = reported_block(pdev, pfo->iFace);
  XFORMOBJ* pxo = FONTOBJ_pxoGetXform(pfo);
  if (!b || !pxo) return FALSE;
  const double l = length(apply(pxo, 4096, 0));
  auto* out = static_cast<USHORT*>(pv);
  for (ULONG i = 0; i < count; ++i)
    out[i] = static_cast<USHORT>((static_cast<LONG>(l * glyph_width(b, phg[i]) / 4096) + 8) & ~15L);
  return TRUE;
}

}  // namespace morva::gfx
