// The driver's model of the printer's glyph memory: a fixed capacity cut
// into blocks of whole 64-byte units that tile the addresses 0 .. capacity,
// kept in most-recently-used order. Glyphs are placed at the top end of the
// least recently used block that is large enough, or in a run of
// neighbouring blocks merged for them; what was there is forgotten.
#pragma once

#include <list>

#include "win/types.h"

namespace morva::gfx {

// Glyph kinds of the cache key.
inline constexpr BYTE kGlyphKindBitmap = 33;
inline constexpr BYTE kGlyphKindOutline = 17;
inline constexpr BYTE kGlyphKindOutlineThin = 18;

struct GlyphBlock {
  DWORD address;
  DWORD size;
  WORD font_id;
  WORD code;
  BYTE kind;  // 0: free
};

struct GlyphCache {
  DWORD capacity;
  std::list<GlyphBlock> blocks;  // front: most recently used
};

// Results of the cache calls.
inline constexpr int kCacheOk = 0;
inline constexpr int kCacheNoCache = 1;
inline constexpr int kCacheNoMemory = 2;
inline constexpr int kCacheNoRoom = 4;
inline constexpr int kCacheAbsent = 5;

int CreateDownloadCache(GlyphCache** out, DWORD capacity);
int DestroyDownloadCache(GlyphCache* cache);
int LookupDownloadCache(GlyphCache* cache, WORD code, WORD font_id, BYTE kind, DWORD* address);
// commit 0 only tells where the glyph would go (the model does not change,
// *flag = 0); commit 1 places it there.
int AllocateDownloadCache(GlyphCache* cache, WORD code, WORD font_id, BYTE kind, DWORD* address, DWORD* flag,
                          DWORD bytes, int commit);

}  // namespace morva::gfx
