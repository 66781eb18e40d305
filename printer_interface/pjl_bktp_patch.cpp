// The booklet sheet count written into the blank @BKTP slot of a job header
// that the printer-interface library built before the count was known.
#include <cstdio>
#include <cstring>

#include "pi/pjl_header.h"
#include "settings/database/ddd_queries.h"

INT PatchBktpSlot(DddHandle* database, WORD sheets, char* header, DWORD header_size, DWORD offset) {
  if (!header) return 1;
  const bool full = database && (DddGetFieldValue(&database->main, 26, 4, 0) & kPjlCapFullForm) != 0;
  char text[64];
  const int n = std::snprintf(text, sizeof text, "%s@BKTP=%u%s", full ? "@PJL SET JOBATTR=\"" : "",
                              static_cast<unsigned>(sheets), full ? "\"" : "");
  // The slot holds 38 blanks in the full form and 20 in the simple one; a
  // text that would not fit in it, or a slot outside the header, is left.
  const DWORD slot = full ? 38 : 20;
  if (n <= 0 || static_cast<DWORD>(n) > slot || offset > header_size || header_size - offset < slot) return 0;
  for (DWORD i = 0; i < slot; ++i)
    if (header[offset + i] != ' ') return 0;
  std::memcpy(header + offset, text, static_cast<std::size_t>(n));
  return 1;
}
