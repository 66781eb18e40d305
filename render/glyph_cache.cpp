// The glyph memory model. Probe and commit run the same search, so that a
// glyph written at the probed address lands exactly where the commit puts
// it.
#include "render/glyph_cache.h"

#include <iterator>
#include <new>
#include <vector>

namespace morva::gfx {

namespace {

using Iter = std::list<GlyphBlock>::iterator;

DWORD units(DWORD bytes) { return (bytes + 63) / 64 * 64; }

void forget(GlyphBlock* b) {
  b->kind = 0;
  b->font_id = 0;
  b->code = 0;
}

// From the back, the first block at least n large.
Iter large_enough(GlyphCache* c, DWORD n) {
  for (auto it = c->blocks.end(); it != c->blocks.begin();) {
    --it;
    if (it->size >= n) return it;
  }
  return c->blocks.end();
}

// Neighbours of the back block merged until the range holds n bytes: the
// blocks taken (the back block first) and the range start; empty when the
// neighbours run out first.
std::vector<Iter> merge_run(GlyphCache* c, DWORD n, DWORD* start) {
  std::vector<Iter> taken;
  if (c->blocks.empty()) return taken;
  Iter back = std::prev(c->blocks.end());
  DWORD b = back->address, e = back->address + back->size;
  taken.push_back(back);
  while (e - b < n) {
    bool found = false;
    for (Iter it = c->blocks.begin(); it != c->blocks.end(); ++it) {
      bool in = false;
      for (const Iter& t : taken) in = in || t == it;
      if (in) continue;
      if (it->address == e) {
        e += it->size;
      } else if (it->address + it->size == b) {
        b = it->address;
      } else {
        continue;
      }
      taken.push_back(it);
      found = true;
      if (e - b >= n) break;
    }
    if (!found) return {};
  }
  *start = b;
  return taken;
}

}  // namespace

int CreateDownloadCache(GlyphCache** out, DWORD capacity) {
  if (!out) return kCacheNoCache;
  auto* c = new (std::nothrow) GlyphCache;
  if (!c) return kCacheNoMemory;
  c->capacity = capacity / 64 * 64;
  if (c->capacity) c->blocks.push_back({0, c->capacity, 0, 0, 0});
  *out = c;
  return kCacheOk;
}

int DestroyDownloadCache(GlyphCache* cache) {
  if (!cache) return kCacheNoRoom;
  delete cache;
  return kCacheOk;
}

int LookupDownloadCache(GlyphCache* cache, WORD code, WORD font_id, BYTE kind, DWORD* address) {
  if (!cache) return kCacheNoCache;
  for (Iter it = cache->blocks.begin(); it != cache->blocks.end(); ++it) {
    if (it->kind == kind && it->code == code && it->font_id == font_id && kind != 0) {
      cache->blocks.splice(cache->blocks.begin(), cache->blocks, it);
      if (address) *address = it->address;
      return kCacheOk;
    }
  }
  return kCacheAbsent;
}

int AllocateDownloadCache(GlyphCache* cache, WORD code, WORD font_id, BYTE kind, DWORD* address, DWORD* flag,
                          DWORD bytes, int commit) {
  if (!cache || !address) return kCacheNoRoom;
  if (flag) *flag = 0;
  const DWORD n = units(bytes);
  if (n == 0 || n >= cache->capacity) return kCacheNoRoom;
  Iter fit = large_enough(cache, n);
  if (fit != cache->blocks.end()) {
    const DWORD at = fit->address + fit->size - n;
    if (commit) {
      if (fit->size > n) {
        try {
          cache->blocks.push_front({at, n, font_id, code, kind});
        } catch (const std::bad_alloc&) {
          return kCacheNoMemory;
        }
        fit->size -= n;
        forget(&*fit);
        cache->blocks.splice(cache->blocks.end(), cache->blocks, fit);
      } else {
        fit->font_id = font_id;
        fit->code = code;
        fit->kind = kind;
        cache->blocks.splice(cache->blocks.begin(), cache->blocks, fit);
      }
      if (flag) *flag = 1;
    }
    *address = at;
    return kCacheOk;
  }
  DWORD start = 0;
  std::vector<Iter> run = merge_run(cache, n, &start);
  if (run.empty()) return kCacheNoRoom;
  if (commit) {
    DWORD total = 0;
    for (const Iter& t : run) total += t->size;
    // The first block taken becomes the glyph; the rest go, and a surplus
    // above n stays free at the back.
    Iter glyph = run.front();
    for (std::size_t i = 1; i < run.size(); ++i) cache->blocks.erase(run[i]);
    *glyph = {start, n, font_id, code, kind};
    cache->blocks.splice(cache->blocks.begin(), cache->blocks, glyph);
    if (total > n) {
      try {
        cache->blocks.push_back({start + n, total - n, 0, 0, 0});
      } catch (const std::bad_alloc&) {
        return kCacheNoMemory;
      }
    }
    if (flag) *flag = 1;
  }
  *address = start;
  return kCacheOk;
}

}  // namespace morva::gfx
