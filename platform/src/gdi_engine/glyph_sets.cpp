// Glyph sets of single-byte code pages, engine memory and resource lookup.
#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "gdi_engine/engine_internal.h"
#include "win/codepage.h"
#include "win/errors.h"
#include "win/memory.h"
#include "win/resources.h"

extern "C" FD_GLYPHSET* EngComputeGlyphSet(INT nCodePage, INT nFirstChar, INT cChars) {
  if (nFirstChar < 0 || cChars <= 0 || nFirstChar + cChars > 256) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const UINT code_page = nCodePage == 0 ? CP_ACP : static_cast<UINT>(nCodePage);
  // Each code that the code page maps gives (character, handle = code).
  std::vector<std::pair<WCHAR, HGLYPH>> map;
  for (INT code = nFirstChar; code < nFirstChar + cChars; ++code) {
    const char byte = static_cast<char>(code);
    WCHAR wc = 0;
    if (MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, &byte, 1, &wc, 1) != 1) continue;
    map.emplace_back(wc, static_cast<HGLYPH>(code));
  }
  std::stable_sort(map.begin(), map.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  map.erase(std::unique(map.begin(), map.end(), [](const auto& a, const auto& b) { return a.first == b.first; }),
            map.end());
  // Runs of consecutive characters.
  std::vector<std::pair<size_t, size_t>> runs;  // first index, count
  for (size_t i = 0; i < map.size(); ++i) {
    if (!runs.empty() && map[i].first == map[i - 1].first + 1) ++runs.back().second;
    else runs.emplace_back(i, 1);
  }
  const size_t head = offsetof(FD_GLYPHSET, awcrun) + std::max<size_t>(runs.size(), 1) * sizeof(WCRUN);
  const size_t total = head + map.size() * sizeof(HGLYPH);
  auto* set = static_cast<FD_GLYPHSET*>(GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, total));
  if (!set) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  set->cjThis = static_cast<ULONG>(total);
  set->flAccel = GS_8BIT_HANDLES;
  set->cGlyphsSupported = static_cast<ULONG>(map.size());
  set->cRuns = static_cast<ULONG>(runs.size());
  auto* handles = reinterpret_cast<HGLYPH*>(reinterpret_cast<BYTE*>(set) + head);
  for (size_t i = 0; i < map.size(); ++i) handles[i] = map[i].second;
  for (size_t r = 0; r < runs.size(); ++r) {
    set->awcrun[r].wcLow = map[runs[r].first].first;
    set->awcrun[r].cGlyphs = static_cast<USHORT>(runs[r].second);
    set->awcrun[r].phg = handles + runs[r].first;
  }
  return set;
}

extern "C" void EngFreeMem(PVOID pv) {
  if (pv) GlobalFree(pv);
}

extern "C" PVOID EngFindResource(HANDLE h, int iName, int iType, ULONG* pulSize) {
  auto module = static_cast<HMODULE>(h);
  HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(iName), MAKEINTRESOURCEW(iType));
  if (!resource) return nullptr;
  HGLOBAL data = LoadResource(module, resource);
  PVOID bytes = data ? LockResource(data) : nullptr;
  if (bytes && pulSize) *pulSize = SizeofResource(module, resource);
  return bytes;
}
