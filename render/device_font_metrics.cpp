// The reader of a device font's metric data and the copy of the resource
// glyph set. Every read is checked against the data's size.
#include <cstring>

#include "render/device_fonts.h"

namespace morva::gfx {

namespace {

bool read16(const DeviceFontMetrics* m, DWORD at, WORD* out) {
  if (static_cast<unsigned long long>(at) + 2 > m->size) return false;
  *out = static_cast<WORD>(m->data[at] | (m->data[at + 1] << 8));
  return true;
}

bool read32(const DeviceFontMetrics* m, DWORD at, DWORD* out) {
  if (static_cast<unsigned long long>(at) + 4 > m->size) return false;
  *out = static_cast<DWORD>(m->data[at]) | (static_cast<DWORD>(m->data[at + 1]) << 8) |
         (static_cast<DWORD>(m->data[at + 2]) << 16) | (static_cast<DWORD>(m->data[at + 3]) << 24);
  return true;
}

int checked(WORD w) { return (w & 0x8000) ? -1 : w; }

// Binary search of the pair table {WORD code, WORD width}, sorted by code,
// over all of its entries.
bool search_pairs(const DeviceFontMetrics* m, WORD code, WORD* width) {
  WORD count = 0;
  if (!read16(m, m->pairs, &count)) return false;
  long lo = 0, hi = static_cast<long>(count) - 1;
  while (lo <= hi) {
    const long mid = (lo + hi) / 2;
    WORD at = 0;
    const DWORD entry = m->pairs + 2 + static_cast<DWORD>(mid) * 4;
    if (!read16(m, entry, &at)) return false;
    if (at == code) return read16(m, entry + 2, width);
    if (at < code) lo = mid + 1;
    else hi = mid - 1;
  }
  return false;
}

bool search_range_values(const DeviceFontMetrics* m, WORD code, WORD* width) {
  WORD count = 0;
  if (!read16(m, m->range_values, &count)) return false;
  for (DWORD i = 0; i < count; ++i) {
    const DWORD entry = m->range_values + 2 + i * 6;
    WORD first = 0, last = 0;
    if (!read16(m, entry, &first) || !read16(m, entry + 2, &last)) return false;
    if (code >= first && code <= last) return read16(m, entry + 4, width);
  }
  return false;
}

bool search_range_offsets(const DeviceFontMetrics* m, WORD code, WORD* width) {
  WORD count = 0;
  if (!read16(m, m->range_offsets + 4, &count)) return false;
  for (DWORD i = 0; i < count; ++i) {
    const DWORD entry = m->range_offsets + 6 + i * 8;
    WORD first = 0, last = 0;
    DWORD array = 0;
    if (!read16(m, entry, &first) || !read16(m, entry + 2, &last) || !read32(m, entry + 4, &array)) return false;
    if (code >= first && code <= last) return read16(m, array + 2 * static_cast<DWORD>(code - first), width);
  }
  return false;
}

}  // namespace

WORD ParseHexWord(const char* text, std::size_t n) {
  if (!text || n == 0 || n > 4) return 0xFFFF;
  WORD v = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const char c = text[i];
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return 0xFFFF;
    v = static_cast<WORD>((v << 4) | d);
  }
  return v;
}

int ParseDeviceFontHeader(const BYTE* data, DeviceFontMetrics* m, DWORD size) {
  if (!m) return -1;
  *m = DeviceFontMetrics{};
  if (!data || size < 81) return -1;
  m->data = data;
  m->size = size;
  m->variable_pitch = data[24] & 1;
  m->first = data[29];
  m->last = data[30];
  DWORD id_at = 0;
  if (!read16(m, 25, &m->average_width) || !read32(m, 57, &m->widths) || !read32(m, 73, &id_at) ||
      !read32(m, 77, &m->extension))
    return -1;
  if (id_at) {
    std::size_t n = 0;
    while (id_at + n < size && data[id_at + n]) ++n;
    if (id_at + n >= size) return -1;
    m->code_page = ParseHexWord(reinterpret_cast<const char*>(data + id_at), n);
  }
  if (m->widths && static_cast<unsigned long long>(m->widths) + 2ull * (m->last >= m->first ? m->last - m->first + 1 : 0) > size)
    return -1;
  if (m->extension && (!read32(m, m->extension + 6, &m->range_values) ||
                       !read32(m, m->extension + 10, &m->range_offsets) || !read32(m, m->extension + 14, &m->pairs)))
    return -1;
  m->valid = true;
  return 0;
}

int LookupDeviceFontGlyph(const DeviceFontMetrics* m, WORD code) {
  if (!m || !m->valid) return -1;
  WORD width = 0;
  if (code >= m->first && code <= m->last) {
    if (!m->widths || !read16(m, m->widths + 2 * static_cast<DWORD>(code - m->first), &width)) return -1;
    return checked(width);
  }
  if (!m->extension) return -1;
  if ((m->pairs && search_pairs(m, code, &width)) || (m->range_values && search_range_values(m, code, &width)) ||
      (m->range_offsets && search_range_offsets(m, code, &width)))
    return checked(width);
  return -1;
}

FD_GLYPHSET* CopyResourceGlyphSet(const BYTE* resource, std::size_t size, void* area, std::size_t area_bytes) {
  if (!resource || !area || size < 16) return nullptr;
  auto dword = [resource](std::size_t at) {
    DWORD v;
    std::memcpy(&v, resource + at, 4);
    return v;
  };
  const DWORD runs = dword(12);
  if (runs == 0 || runs > (size - 16) / 8) return nullptr;
  const std::size_t handles_at = 16 + static_cast<std::size_t>(runs) * 8;
  std::size_t handles = 0;
  for (DWORD r = 0; r < runs; ++r) {
    WORD count;
    std::memcpy(&count, resource + 16 + r * 8 + 2, 2);
    handles += count;
  }
  if (handles > (size - handles_at) / 4) return nullptr;
  const std::size_t head = offsetof(FD_GLYPHSET, awcrun) + static_cast<std::size_t>(runs) * sizeof(WCRUN);
  const std::size_t need = head + handles * sizeof(HGLYPH);
  if (need > area_bytes) return nullptr;
  std::memset(area, 0, need);
  auto* set = static_cast<FD_GLYPHSET*>(area);
  set->cjThis = static_cast<ULONG>(need);
  set->flAccel = dword(4);
  set->cGlyphsSupported = static_cast<ULONG>(handles);
  set->cRuns = runs;
  auto* out = reinterpret_cast<HGLYPH*>(static_cast<BYTE*>(area) + head);
  std::size_t next = 0;
  for (DWORD r = 0; r < runs; ++r) {
    WORD first, count;
    std::memcpy(&first, resource + 16 + r * 8, 2);
    std::memcpy(&count, resource + 16 + r * 8 + 2, 2);
    set->awcrun[r].wcLow = first;
    set->awcrun[r].cGlyphs = count;
    set->awcrun[r].phg = out + next;
    for (WORD i = 0; i < count; ++i, ++next) out[next] = dword(handles_at + next * 4);
  }
  return set;
}

}  // namespace morva::gfx
