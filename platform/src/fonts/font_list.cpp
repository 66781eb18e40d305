// The list of installed faces: each font file is opened once with FreeType
// and its names and tables are kept in a FaceInfo.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SFNT_NAMES_H
#include FT_TRUETYPE_IDS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "fonts/fonts_internal.h"
#include "win/codepage.h"
#include "win/machine_root.h"
#include "win/paths.h"
#include "win/strings.h"

namespace morva::platform::fonts {

namespace {

// The platform's own fonts, from the Debian font packages the project
// installs: a Latin family in three designs and a Japanese one.
constexpr const char* kSystemFontFiles[] = {
    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSerif-Bold.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf",
    "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf",
    "/usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf",
};

constexpr CharsetEntry kCharsets[] = {
    {ANSI_CHARSET, 1252, 0, u"Western"},
    {EASTEUROPE_CHARSET, 1250, 1, u"Central European"},
    {RUSSIAN_CHARSET, 1251, 2, u"Cyrillic"},
    {GREEK_CHARSET, 1253, 3, u"Greek"},
    {TURKISH_CHARSET, 1254, 4, u"Turkish"},
    {HEBREW_CHARSET, 1255, 5, u"Hebrew"},
    {ARABIC_CHARSET, 1256, 6, u"Arabic"},
    {BALTIC_CHARSET, 1257, 7, u"Baltic"},
    {VIETNAMESE_CHARSET, 1258, 8, u"Vietnamese"},
    {THAI_CHARSET, 874, 16, u"Thai"},
    {SHIFTJIS_CHARSET, 932, 17, u"Japanese"},
    {GB2312_CHARSET, 936, 18, u"CHINESE_GB2312"},
    {HANGUL_CHARSET, 949, 19, u"Hangul"},
    {CHINESEBIG5_CHARSET, 950, 20, u"CHINESE_BIG5"},
    {JOHAB_CHARSET, 1361, 21, u"Johab"},
    {SYMBOL_CHARSET, CP_SYMBOL, 31, u"Symbol"},
};

// Decodes a UTF-16BE name record; names of other encodings are skipped.
bool name_text(const FT_SfntName& name, std::u16string* out) {
  if (name.platform_id != TT_PLATFORM_MICROSOFT) return false;
  if (name.encoding_id != TT_MS_ID_UNICODE_CS && name.encoding_id != TT_MS_ID_UCS_4 &&
      name.encoding_id != TT_MS_ID_SYMBOL_CS)
    return false;
  out->clear();
  for (FT_UInt i = 0; i + 1 < name.string_len; i += 2)
    out->push_back(static_cast<char16_t>((name.string[i] << 8) | name.string[i + 1]));
  return !out->empty();
}

BYTE family_class_of(const TT_OS2* os2, bool fixed) {
  if (fixed) return FF_MODERN;
  if (!os2) return FF_DONTCARE;
  const BYTE kind = os2->panose[0], serif = os2->panose[1];
  if (kind == 2) return serif >= 11 && serif <= 13 ? FF_SWISS : FF_ROMAN;
  if (kind == 3) return FF_SCRIPT;
  if (kind == 4 || kind == 5) return FF_DECORATIVE;
  switch (os2->sFamilyClass >> 8) {
    case 8: return FF_SWISS;
    case 1: case 2: case 3: case 4: case 5: case 7: return FF_ROMAN;
    case 10: return FF_SCRIPT;
    case 9: case 12: return FF_DECORATIVE;
    default: return FF_DONTCARE;
  }
}

std::shared_ptr<FaceInfo> read_face(FT_Face face, const std::string& file, int index) {
  auto info = std::make_shared<FaceInfo>();
  info->file = file;
  info->index = index;
  // Names: the English record names the face; the family's other
  // languages become aliases.
  std::u16string text;
  const FT_UInt count = FT_Get_Sfnt_Name_Count(face);
  for (FT_UInt i = 0; i < count; ++i) {
    FT_SfntName name;
    if (FT_Get_Sfnt_Name(face, i, &name) != 0 || !name_text(name, &text)) continue;
    const bool english = name.language_id == TT_MS_LANGID_ENGLISH_UNITED_STATES;
    if (name.name_id == TT_NAME_ID_FONT_FAMILY) {
      if (english) info->family = text;
      else if (std::find(info->aliases.begin(), info->aliases.end(), text) == info->aliases.end())
        info->aliases.push_back(text);
    } else if (name.name_id == TT_NAME_ID_FONT_SUBFAMILY && english) {
      info->style = text;
    } else if (name.name_id == TT_NAME_ID_FULL_NAME && english) {
      info->full_name = text;
    }
  }
  if (info->family.empty() && face->family_name) info->family = utf8_to_u16(face->family_name);
  if (info->family.empty()) return nullptr;
  std::erase(info->aliases, info->family);
  if (info->style.empty()) info->style = face->style_name ? utf8_to_u16(face->style_name) : u"Regular";
  if (info->full_name.empty()) info->full_name = info->family + u" " + info->style;

  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  const auto* hhea = static_cast<const TT_HoriHeader*>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
  const auto* post = static_cast<const TT_Postscript*>(FT_Get_Sfnt_Table(face, FT_SFNT_POST));
  info->units_per_em = face->units_per_EM ? face->units_per_EM : 2048;
  info->italic = (face->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
  info->weight = (face->style_flags & FT_STYLE_FLAG_BOLD) ? FW_BOLD : FW_NORMAL;
  info->fixed_pitch = FT_IS_FIXED_WIDTH(face) || (os2 && os2->version != 0xFFFF && os2->panose[3] == 9);
  info->x_min = static_cast<SHORT>(face->bbox.xMin);
  info->y_min = static_cast<SHORT>(face->bbox.yMin);
  info->x_max = static_cast<SHORT>(face->bbox.xMax);
  info->y_max = static_cast<SHORT>(face->bbox.yMax);
  info->max_advance = static_cast<SHORT>(face->max_advance_width);
  info->underline_position = static_cast<SHORT>(face->underline_position);
  info->underline_thickness = static_cast<SHORT>(face->underline_thickness);
  if (hhea) {
    info->hhea_ascender = hhea->Ascender;
    info->hhea_descender = hhea->Descender;
    info->hhea_line_gap = hhea->Line_Gap;
  }
  if (post && post->underlinePosition) info->underline_position = static_cast<SHORT>(post->underlinePosition);
  DWORD code_pages = 0;
  if (os2 && os2->version != 0xFFFF) {
    if (os2->usWeightClass) info->weight = os2->usWeightClass < 10 ? os2->usWeightClass * 100 : os2->usWeightClass;
    info->italic = info->italic || (os2->fsSelection & 1);
    info->win_ascent = static_cast<SHORT>(os2->usWinAscent);
    info->win_descent = static_cast<SHORT>(os2->usWinDescent);
    info->typo_ascender = os2->sTypoAscender;
    info->typo_descender = os2->sTypoDescender;
    info->typo_line_gap = os2->sTypoLineGap;
    info->avg_char_width = os2->xAvgCharWidth;
    info->x_height = os2->version >= 2 ? os2->sxHeight : 0;
    info->cap_height = os2->version >= 2 ? os2->sCapHeight : 0;
    info->strikeout_position = os2->yStrikeoutPosition;
    info->strikeout_size = os2->yStrikeoutSize;
    info->subscript_x_size = os2->ySubscriptXSize;
    info->subscript_y_size = os2->ySubscriptYSize;
    info->subscript_x_offset = os2->ySubscriptXOffset;
    info->subscript_y_offset = os2->ySubscriptYOffset;
    info->superscript_x_size = os2->ySuperscriptXSize;
    info->superscript_y_size = os2->ySuperscriptYSize;
    info->superscript_x_offset = os2->ySuperscriptXOffset;
    info->superscript_y_offset = os2->ySuperscriptYOffset;
    info->fs_selection = os2->fsSelection;
    info->fs_type = os2->fsType;
    std::memcpy(info->panose, os2->panose, sizeof(info->panose));
    std::memcpy(info->vendor, os2->achVendID, sizeof(info->vendor));
    info->first_char = os2->usFirstCharIndex;
    info->last_char = os2->usLastCharIndex;
    info->signature.fsUsb[0] = static_cast<DWORD>(os2->ulUnicodeRange1);
    info->signature.fsUsb[1] = static_cast<DWORD>(os2->ulUnicodeRange2);
    info->signature.fsUsb[2] = static_cast<DWORD>(os2->ulUnicodeRange3);
    info->signature.fsUsb[3] = static_cast<DWORD>(os2->ulUnicodeRange4);
    if (os2->version >= 1) {
      info->signature.fsCsb[0] = static_cast<DWORD>(os2->ulCodePageRange1);
      info->signature.fsCsb[1] = static_cast<DWORD>(os2->ulCodePageRange2);
    }
    code_pages = info->signature.fsCsb[0];
  }
  if (info->win_ascent == 0 && info->win_descent == 0) {
    info->win_ascent = info->hhea_ascender;
    info->win_descent = static_cast<SHORT>(-info->hhea_descender);
  }
  if (info->avg_char_width == 0) info->avg_char_width = static_cast<SHORT>(info->units_per_em / 2);
  if (info->strikeout_size == 0) info->strikeout_size = info->underline_thickness;
  if (info->strikeout_position == 0) info->strikeout_position = static_cast<SHORT>(info->units_per_em / 4);
  for (int i = 0; i < face->num_charmaps; ++i)
    if (face->charmaps[i]->encoding == FT_ENCODING_MS_SYMBOL) info->symbol = true;
  info->family_class = family_class_of(os2 && os2->version != 0xFFFF ? os2 : nullptr, info->fixed_pitch);

  for (const CharsetEntry& entry : kCharsets)
    if (code_pages & (1u << entry.signature_bit)) info->charsets.push_back(entry.charset);
  if (info->symbol && std::find(info->charsets.begin(), info->charsets.end(), SYMBOL_CHARSET) == info->charsets.end())
    info->charsets.insert(info->charsets.begin(), SYMBOL_CHARSET);
  if (info->charsets.empty()) info->charsets.push_back(ANSI_CHARSET);
  return info;
}

void read_file_faces(const std::string& file, std::vector<Face>* out) {
  std::lock_guard lock(freetype_lock());
  FT_Library library = freetype_library();
  if (!library) return;
  FT_Long faces = 1;
  for (FT_Long i = 0; i < faces; ++i) {
    FT_Face face = nullptr;
    if (FT_New_Face(library, file.c_str(), i, &face) != 0) return;
    faces = face->num_faces;
    if (FT_IS_SCALABLE(face)) {
      if (auto info = read_face(face, file, static_cast<int>(i))) out->push_back(std::move(info));
    }
    FT_Done_Face(face);
  }
}

bool face_order(const Face& a, const Face& b) {
  if (int c = u16_icompare(a->family, b->family)) return c < 0;
  if (a->italic != b->italic) return !a->italic;
  if (a->weight != b->weight) return a->weight < b->weight;
  return a->file < b->file;
}

std::vector<Face> scan_faces() {
  std::vector<Face> system, machine;
  for (const char* file : kSystemFontFiles)
    if (std::filesystem::exists(file)) read_file_faces(file, &system);
  std::string folder;
  std::error_code error;
  if (native_path(u"C:\\Windows\\Fonts", &folder) && std::filesystem::is_directory(folder, error)) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
      std::string ext = entry.path().extension().string();
      std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
      if (ext == ".ttf" || ext == ".otf" || ext == ".ttc") files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    for (const std::string& file : files) read_file_faces(file, &machine);
  }
  std::stable_sort(system.begin(), system.end(), face_order);
  std::stable_sort(machine.begin(), machine.end(), face_order);
  system.insert(system.end(), machine.begin(), machine.end());
  return system;
}

struct FaceList {
  std::mutex lock;
  bool loaded = false;
  std::string root;
  std::vector<Face> faces;
};

FaceList& face_list() {
  static FaceList* list = new FaceList;  // kept to process exit
  return *list;
}

}  // namespace

std::mutex& freetype_lock() {
  static std::mutex* lock = new std::mutex;
  return *lock;
}

FT_Library freetype_library() {
  static FT_Library library = [] {
    FT_Library lib = nullptr;
    return FT_Init_FreeType(&lib) == 0 ? lib : nullptr;
  }();
  return library;
}

const CharsetEntry* charset_entries(size_t* count) {
  *count = std::size(kCharsets);
  return kCharsets;
}

const CharsetEntry* charset_by_value(BYTE charset) {
  for (const CharsetEntry& entry : kCharsets)
    if (entry.charset == charset) return &entry;
  return nullptr;
}

const CharsetEntry* charset_by_code_page(UINT code_page) {
  for (const CharsetEntry& entry : kCharsets)
    if (entry.code_page == code_page) return &entry;
  return nullptr;
}

bool face_has_charset(const FaceInfo& face, BYTE charset) {
  return std::find(face.charsets.begin(), face.charsets.end(), charset) != face.charsets.end();
}

BYTE default_charset(const FaceInfo& face) {
  const CharsetEntry* system = charset_by_code_page(GetACP());
  if (system && face_has_charset(face, system->charset)) return system->charset;
  return face.charsets.front();
}

std::vector<Face> installed_faces() {
  FaceList& list = face_list();
  std::lock_guard lock(list.lock);
  const std::string root = machine_root();
  if (!list.loaded || list.root != root) {
    list.faces = scan_faces();
    list.root = root;
    list.loaded = true;
  }
  return list.faces;
}

void reload_installed_faces() {
  FaceList& list = face_list();
  std::lock_guard lock(list.lock);
  list.loaded = false;
}

std::vector<Face> family_faces(std::u16string_view family) {
  std::vector<Face> out;
  for (const Face& face : installed_faces()) {
    bool match = u16_iequal(face->family, family);
    for (const auto& alias : face->aliases) match = match || u16_iequal(alias, family);
    if (match) out.push_back(face);
  }
  return out;
}

}  // namespace morva::platform::fonts
