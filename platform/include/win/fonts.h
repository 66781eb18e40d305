// The machine's TrueType fonts, read through FreeType: one list of
// installed faces shared by font enumeration, the GDI engine and the
// screen GDI; faces found by a LOGFONTW request; metrics, glyph bitmaps
// and glyph outlines of a face at a pixel size.
//
// The installed faces are the system fonts of the platform (the Latin and
// Japanese families it ships with) and every font file in the machine's
// C:\Windows\Fonts folder. The list is read once per machine root.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "win/gdi_types.h"
#include "win/types.h"

#define LF_FULLFACESIZE 64

using LPLOGFONTW = LOGFONTW*;

// Character sets (lfCharSet, tmCharSet)
#define ANSI_CHARSET 0
#define DEFAULT_CHARSET 1
#define SYMBOL_CHARSET 2
#define MAC_CHARSET 77
#define SHIFTJIS_CHARSET 128
#define HANGUL_CHARSET 129
#define JOHAB_CHARSET 130
#define GB2312_CHARSET 134
#define CHINESEBIG5_CHARSET 136
#define GREEK_CHARSET 161
#define TURKISH_CHARSET 162
#define VIETNAMESE_CHARSET 163
#define HEBREW_CHARSET 177
#define ARABIC_CHARSET 178
#define BALTIC_CHARSET 186
#define RUSSIAN_CHARSET 204
#define THAI_CHARSET 222
#define EASTEUROPE_CHARSET 238
#define OEM_CHARSET 255

// lfPitchAndFamily: pitch in the low bits, family in the high nibble
#define DEFAULT_PITCH 0
#define FIXED_PITCH 1
#define VARIABLE_PITCH 2
#define FF_DONTCARE 0x00
#define FF_ROMAN 0x10
#define FF_SWISS 0x20
#define FF_MODERN 0x30
#define FF_SCRIPT 0x40
#define FF_DECORATIVE 0x50

#define FW_DONTCARE 0
#define FW_THIN 100
#define FW_EXTRALIGHT 200
#define FW_LIGHT 300
#define FW_NORMAL 400
#define FW_MEDIUM 500
#define FW_SEMIBOLD 600
#define FW_BOLD 700
#define FW_EXTRABOLD 800
#define FW_HEAVY 900

#define OUT_DEFAULT_PRECIS 0
#define OUT_STROKE_PRECIS 3
#define OUT_TT_PRECIS 4
#define OUT_TT_ONLY_PRECIS 7
#define CLIP_DEFAULT_PRECIS 0
#define CLIP_STROKE_PRECIS 2
#define DEFAULT_QUALITY 0
#define DRAFT_QUALITY 1
#define PROOF_QUALITY 2
#define NONANTIALIASED_QUALITY 3
#define ANTIALIASED_QUALITY 4

// tmPitchAndFamily bits (TMPF_FIXED_PITCH set means a variable-pitch font)
#define TMPF_FIXED_PITCH 0x01
#define TMPF_VECTOR 0x02
#define TMPF_TRUETYPE 0x04
#define TMPF_DEVICE 0x08

// FontType of the enumeration callback
#define RASTER_FONTTYPE 0x0001
#define DEVICE_FONTTYPE 0x0002
#define TRUETYPE_FONTTYPE 0x0004

// ntmFlags
#define NTM_ITALIC 0x00000001
#define NTM_BOLD 0x00000020
#define NTM_REGULAR 0x00000040

#define TCI_SRCCHARSET 1
#define TCI_SRCCODEPAGE 2
#define TCI_SRCFONTSIG 3

struct TEXTMETRICW {
  LONG tmHeight;
  LONG tmAscent;
  LONG tmDescent;
  LONG tmInternalLeading;
  LONG tmExternalLeading;
  LONG tmAveCharWidth;
  LONG tmMaxCharWidth;
  LONG tmWeight;
  LONG tmOverhang;
  LONG tmDigitizedAspectX;
  LONG tmDigitizedAspectY;
  WCHAR tmFirstChar;
  WCHAR tmLastChar;
  WCHAR tmDefaultChar;
  WCHAR tmBreakChar;
  BYTE tmItalic;
  BYTE tmUnderlined;
  BYTE tmStruckOut;
  BYTE tmPitchAndFamily;
  BYTE tmCharSet;
};
using LPTEXTMETRICW = TEXTMETRICW*;

struct NEWTEXTMETRICW {
  TEXTMETRICW tm;  // the TEXTMETRICW members, in their order
  DWORD ntmFlags;
  UINT ntmSizeEM;
  UINT ntmCellHeight;
  UINT ntmAvgWidth;
};

struct FONTSIGNATURE {
  DWORD fsUsb[4];  // Unicode subranges (OS/2 ulUnicodeRange1-4)
  DWORD fsCsb[2];  // code pages (OS/2 ulCodePageRange1-2)
};

struct NEWTEXTMETRICEXW {
  NEWTEXTMETRICW ntmTm;
  FONTSIGNATURE ntmFontSig;
};

struct ENUMLOGFONTW {
  LOGFONTW elfLogFont;
  WCHAR elfFullName[LF_FULLFACESIZE];
  WCHAR elfStyle[LF_FACESIZE];
};

struct ENUMLOGFONTEXW {
  LOGFONTW elfLogFont;
  WCHAR elfFullName[LF_FULLFACESIZE];
  WCHAR elfStyle[LF_FACESIZE];
  WCHAR elfScript[LF_FACESIZE];
};

struct CHARSETINFO {
  UINT ciCharset;
  UINT ciACP;
  FONTSIGNATURE fs;
};

static_assert(sizeof(TEXTMETRICW) == 60);
static_assert(offsetof(TEXTMETRICW, tmFirstChar) == 44);
static_assert(offsetof(TEXTMETRICW, tmItalic) == 52);
static_assert(offsetof(TEXTMETRICW, tmCharSet) == 56);
static_assert(sizeof(NEWTEXTMETRICW) == 76);
static_assert(sizeof(FONTSIGNATURE) == 24);
static_assert(sizeof(NEWTEXTMETRICEXW) == 100);
static_assert(sizeof(ENUMLOGFONTW) == 284);
static_assert(sizeof(ENUMLOGFONTEXW) == 348);
static_assert(sizeof(CHARSETINFO) == 32);

// Called once per enumerated font; TrueType fonts pass an ENUMLOGFONTEXW
// and a NEWTEXTMETRICEXW behind the two pointers. Return 0 to stop.
using FONTENUMPROCW = int(CALLBACK*)(const LOGFONTW* logfont, const TEXTMETRICW* metrics, DWORD fontType,
                                     LPARAM lParam);

extern "C" {
// With family NULL one call per family (its regular face, in the character
// set of the system code page when the family has it); with a family name
// one call per face of that family. The device context may be NULL.
// Answers the callback's last result, 1 when nothing was enumerated.
MORVA_WIN_API int EnumFontFamiliesW(HDC dc, LPCWSTR family, FONTENUMPROCW proc, LPARAM lParam);
// lfCharSet DEFAULT_CHARSET enumerates every character set of a face,
// another value only that one; an empty lfFaceName gives one call per
// family and character set, a face name every face of that family.
MORVA_WIN_API int EnumFontFamiliesExW(HDC dc, LPLOGFONTW logfont, FONTENUMPROCW proc, LPARAM lParam, DWORD flags);
// Character set <-> code page <-> font signature; src is the charset, code
// page or FONTSIGNATURE* as the flag says.
MORVA_WIN_API BOOL TranslateCharsetInfo(DWORD* src, CHARSETINFO* cs, DWORD flags);
}

namespace morva::platform::fonts {

// One installed face and its metrics in font units (y upward).
struct FaceInfo {
  std::u16string family;                // English family name (name id 1)
  std::u16string style;                 // "Regular", "Bold", ...
  std::u16string full_name;             // name id 4
  std::vector<std::u16string> aliases;  // the family's names in other languages
  std::string file;                     // native path
  int index = 0;                        // face index inside a collection
  LONG weight = FW_NORMAL;
  bool italic = false;
  bool fixed_pitch = false;
  BYTE family_class = FF_DONTCARE;      // FF_* nibble
  std::vector<BYTE> charsets;           // supported character sets, the default first
  FONTSIGNATURE signature{};
  WORD units_per_em = 2048;
  // Windows (OS/2) metrics; descent positive below the baseline.
  SHORT win_ascent = 0, win_descent = 0;
  SHORT typo_ascender = 0, typo_descender = 0, typo_line_gap = 0;
  SHORT hhea_ascender = 0, hhea_descender = 0, hhea_line_gap = 0;
  SHORT avg_char_width = 0, max_advance = 0;
  SHORT x_height = 0, cap_height = 0;
  SHORT underline_position = 0, underline_thickness = 0;
  SHORT strikeout_position = 0, strikeout_size = 0;
  SHORT subscript_x_size = 0, subscript_y_size = 0, subscript_x_offset = 0, subscript_y_offset = 0;
  SHORT superscript_x_size = 0, superscript_y_size = 0, superscript_x_offset = 0, superscript_y_offset = 0;
  SHORT x_min = 0, y_min = 0, x_max = 0, y_max = 0;  // font box
  USHORT fs_selection = 0, fs_type = 0;
  BYTE panose[10]{};
  char vendor[4]{};
  WCHAR first_char = 0x20, last_char = 0xFFFF;
  bool symbol = false;  // a symbol font (cmap of the private area)
};
using Face = std::shared_ptr<const FaceInfo>;

// Every installed face, in a stable order (system fonts first, then the
// machine's Fonts folder, each sorted by family and style).
MORVA_WIN_API std::vector<Face> installed_faces();
// Reads the list again (after a font file was added to the machine).
MORVA_WIN_API void reload_installed_faces();
// The faces of one family, matched ignoring case on its names and aliases.
MORVA_WIN_API std::vector<Face> family_faces(std::u16string_view family);

// The face GDI would pick for a request, with the simulations it needs.
struct FontMatch {
  Face face;
  bool simulate_bold = false;
  bool simulate_italic = false;
  BYTE charset = ANSI_CHARSET;  // the character set the font is realised in
};
// lfFaceName, lfWeight, lfItalic, lfCharSet and lfPitchAndFamily decide;
// an unknown name falls back to a known stand-in family, then by
// character set, pitch and family. Always answers a face.
MORVA_WIN_API FontMatch match_font(const LOGFONTW& request);

// A face at a size: the em box of em_height pixels (em_width pixels wide,
// 0 = as high), turned counter-clockwise by angle tenths of a degree.
struct FontScale {
  double em_height = 16;
  double em_width = 0;
  LONG angle = 0;
};
// The em height GDI realises for a LOGFONTW height: negative = em height,
// positive = cell height (ascent + descent), 0 = 12 points at dpi.
MORVA_WIN_API double em_height_for(const FaceInfo& face, LONG lfHeight, LONG dpi = 96);

// A rendered glyph. Rows run top down; the top-left pixel lies at
// (origin_x + left, origin_y - top) in device space (y downward).
struct GlyphBitmap {
  LONG width = 0, height = 0;
  LONG pitch = 0;  // bytes per row: (width + 7) / 8 for 1 bit, width for 8 bits
  LONG left = 0;   // from the origin to the left column
  LONG top = 0;    // from the baseline up to the top row
  bool one_bit = true;
  std::vector<BYTE> bits;  // 1 bit: most significant bit first; 8 bits: coverage 0-255
};

// A glyph's outline as figures in the PolyDraw manner: types PT_MOVETO,
// PT_LINETO and PT_BEZIERTO (three points each curve), PT_CLOSEFIGURE or'ed
// into the last point of a closed figure. Coordinates in 1/64 pixel
// relative to the origin, device orientation (y downward).
#define PT_CLOSEFIGURE 0x01
#define PT_LINETO 0x02
#define PT_BEZIERTO 0x04
#define PT_MOVETO 0x06
struct GlyphOutline {
  std::vector<POINT> points;
  std::vector<BYTE> types;
};

struct GlyphMetrics {
  LONG advance_x = 0, advance_y = 0;  // 1/64 pixel, device orientation
  RECT box{};                         // ink box in pixels relative to the origin (y downward)
};

class MORVA_WIN_API FontInstance {
 public:
  virtual ~FontInstance();
  virtual const FontMatch& match() const = 0;
  virtual const FontScale& scale() const = 0;
  // Metrics of the font as GetTextMetricsW reports them.
  virtual TEXTMETRICW text_metrics() const = 0;
  // The glyph of a character (a UTF-32 code point); 0 when the face lacks it.
  virtual UINT glyph_index(char32_t ch) const = 0;
  virtual bool glyph_metrics(UINT glyph, GlyphMetrics* out) const = 0;
  // The glyph as a 1-bit (hinted for black and white) or 8-bit coverage
  // bitmap; the advance of glyph_metrics goes with it.
  virtual bool render(UINT glyph, bool one_bit, GlyphBitmap* out) const = 0;
  virtual bool outline(UINT glyph, GlyphOutline* out) const = 0;
};

// Null when the face file cannot be opened.
MORVA_WIN_API std::shared_ptr<FontInstance> open_font(const FontMatch& match, const FontScale& scale);

}  // namespace morva::platform::fonts
