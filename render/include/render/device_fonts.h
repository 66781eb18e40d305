// The printer's resident fonts: the reader of a device font's metric data
// (its character widths by code), the blocks the driver builds from each
// device-font record of the database (IFIMETRICS, widths, kerning pairs),
// and the glyph set of the double-byte device fonts, read from a resource.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "win/ddi.h"
#include "win/types.h"

namespace morva::gfx {

// Reader over the metric data of one device-font record (the record's
// blob from byte 6 on). Offsets are counted from the start of the data;
// a read at or beyond the size fails and clears `valid`.
struct DeviceFontMetrics {
  const BYTE* data = nullptr;
  DWORD size = 0;
  bool valid = false;
  BYTE variable_pitch = 0;  // bit 0 of byte 24
  WORD average_width = 0;   // the 16-bit value at 25
  BYTE first = 0, last = 0;  // the direct range
  WORD code_page = 0xFFFF;   // the font id text, parsed
  DWORD widths = 0;          // direct width table, 0 = none
  DWORD extension = 0;       // extension header, 0 = none
  DWORD range_values = 0;    // tables of the extension, 0 = none
  DWORD range_offsets = 0;
  DWORD pairs = 0;
};

// 0, or -1 when the data is too short or an offset points outside it.
int ParseDeviceFontHeader(const BYTE* data, DeviceFontMetrics* m, DWORD size);
// The advance width of a character code in font units, or -1 when the
// font has no such character. Every table entry of the pair table is
// searched, the last one included.
int LookupDeviceFontGlyph(const DeviceFontMetrics* m, WORD code);
// A hexadecimal text of up to four digits; 0xFFFF for anything else.
WORD ParseHexWord(const char* text, std::size_t n);

// The glyph set of a resource: a head (size, accelerators, glyph count, run
// count: 4 DWORDs), the runs (WORD first character, WORD glyph count, a
// DWORD that is not read) and then the DWORD glyph handles of all runs.
// The copy goes into `area` of `area_bytes` bytes as an FD_GLYPHSET whose
// runs point at its handles. Null when the resource is malformed, its runs
// ask for more handles than it holds, or the copy would not fit the area:
// nothing is ever written beyond it.
FD_GLYPHSET* CopyResourceGlyphSet(const BYTE* resource, std::size_t size, void* area, std::size_t area_bytes);
// The fixed area of the process-wide copy.
inline constexpr std::size_t kResourceGlyphSetArea = 63928;
inline constexpr int kGlyphSetResourceType = 260;
inline constexpr int kGlyphSetResourceId = 6;

// What the driver keeps of one device-font record.
struct DeviceFontBlock {
  DWORD font_id = 0;        // the id text of the record, hexadecimal
  DWORD metrics[13] = {};   // the 52-byte metrics block
  bool lookup_ok = false;   // the glyph tables are usable
  DeviceFontMetrics lookup;
  WORD widths[256] = {};    // advance width by character code
  std::vector<BYTE> ifi;    // IFIMETRICS with names and simulations
  std::vector<FD_KERNINGPAIR> pairs;  // ended by an all-zero pair when any
  std::vector<BYTE> blob;   // copy of the record's data
  IFIMETRICS* metrics_record() { return reinterpret_cast<IFIMETRICS*>(ifi.data()); }
};

struct DeviceFontNameRecord {
  WCHAR face[32] = {};  // the font's name (UTF-16)
  BYTE pitch_family = 0;  // as stored: bit 0 set for variable pitch
  BYTE charset = 0;
  WORD weight = 400;
  BYTE flag = 0;          // non-zero for an italic font
  WORD code = 0;          // the record's device font code
};

// Builds the block of one record's blob; null when the blob is too short,
// its names or tables lie outside it, or memory runs out.
std::unique_ptr<DeviceFontBlock> BuildDeviceFontBlock(const BYTE* blob, DWORD size);
// The name record of one blob; false when the blob is too short.
bool BuildDeviceFontNameRecord(const BYTE* blob, DWORD size, WORD code, DeviceFontNameRecord* out);

// The device fonts of one PDEV: the reported fonts first, in record order,
// then the other records' blocks; the name records of all records.
struct DeviceFontSet {
  ULONG reported = 0;
  std::vector<std::unique_ptr<DeviceFontBlock>> blocks;
  std::vector<DeviceFontNameRecord> names;
  std::vector<WORD> records;  // record numbers, in order
  WCHAR* substitution = nullptr;  // the font substitution list (GlobalAlloc'ed), or null
  ~DeviceFontSet();
};

// Font substitution (render/font_substitution.cpp): the index of the
// device font record that stands in for a TrueType face.
inline constexpr int kSubstFound = 2;
inline constexpr int kSubstNotApplicable = 1;
inline constexpr int kSubstNoMemory = 3;
inline constexpr int kSubstNoMetrics = 4;
inline constexpr int kSubstBadArgument = 5;
// The built-in name-group tables: all 15 groups, or only the 7 Latin ones.
inline constexpr UINT kSubstTableFull = 0;
inline constexpr UINT kSubstTableLatin = 1;
struct SubstituteRequest {
  const WCHAR* list;   // the substitution list
  const WCHAR* face;   // the TrueType face name
  const IFIMETRICS* ifi;
  bool simulated_italic;
  const DeviceFontNameRecord* records;
  std::size_t count;
  UINT table = kSubstTableFull;  // the current name-group table
};
int FindSubstituteFont(const SubstituteRequest& r, std::size_t* index);
int SelectSubstituteFont(const SubstituteRequest& r, std::size_t* index);
// Face names are compared over the shorter of the two, ignoring case.
bool NamePrefixCompare(const WCHAR* a, const WCHAR* b);

// The default glyph set (codes 0-255), built by DrvEnableDriver, and the
// lock over it and the resource glyph set (the FontLock).
FD_GLYPHSET* DefaultGlyphSet();
void EnterFontLock();
void LeaveFontLock();
// The glyph set of a device font with this character set (the resource
// glyph set for SHIFTJIS_CHARSET, read once, else the default glyph set);
// the caller holds the FontLock. Null when the resource set is refused.
FD_GLYPHSET* GetFontGlyphSet(BYTE charset);
// Forgets the resource glyph set (DrvDisableDriver, under the FontLock).
void ForgetResourceGlyphSet();

}  // namespace morva::gfx
