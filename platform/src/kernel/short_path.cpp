// Short path names: the machine root has no 8.3 aliases, so an existing
// path is its own short form.
#include "win/errors.h"
#include "win/files.h"

DWORD GetShortPathNameW(LPCWSTR long_path, LPWSTR short_path, DWORD size) {
  if (!long_path) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (GetFileAttributesW(long_path) == INVALID_FILE_ATTRIBUTES) return 0;  // its error stays
  DWORD n = 0;
  while (long_path[n]) ++n;
  if (!short_path || size <= n) return n + 1;
  for (DWORD i = 0; i <= n; ++i) short_path[i] = long_path[i];
  return n;
}
