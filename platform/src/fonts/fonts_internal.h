// Shared by the font sources: the one FreeType library of the process and
// its lock, the character-set table, and metrics computed from a face's
// tables without opening it.
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H

#include <mutex>

#include "win/fonts.h"

namespace morva::platform::fonts {

// Every FreeType call of the layer runs under this lock: faces are opened
// and used from any thread, and FreeType objects are not safe to share.
std::mutex& freetype_lock();
// The library; call with freetype_lock() held. Null when FreeType failed.
FT_Library freetype_library();

// One character set with its code page and its bit in a font signature's
// code-page field.
struct CharsetEntry {
  BYTE charset;
  UINT code_page;
  int signature_bit;
  const char16_t* script;  // elfScript
};
const CharsetEntry* charset_entries(size_t* count);
const CharsetEntry* charset_by_value(BYTE charset);
const CharsetEntry* charset_by_code_page(UINT code_page);

// The character set a face is realised in when the request leaves it open:
// the system code page's when the face has it, else the face's first.
BYTE default_charset(const FaceInfo& face);
bool face_has_charset(const FaceInfo& face, BYTE charset);

// Metrics of a match at a scale, from the face's tables (no rendering).
TEXTMETRICW text_metrics_for(const FontMatch& match, const FontScale& scale, LONG dpi = 96);

// Strength of simulated emboldening in 1/64 pixel for an em height.
inline long embolden_strength(double em_height) { return static_cast<long>(em_height * 64 / 24 + 0.5); }

}  // namespace morva::platform::fonts
