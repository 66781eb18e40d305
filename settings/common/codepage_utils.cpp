// Code-page conversions of the settings model, over the platform's
// MultiByteToWideChar / WideCharToMultiByte.
#include <string>

#include "settings/common/common_utils.h"
#include "win/codepage.h"
#include "win/memory.h"
#include "win/strings.h"

namespace {

// The multibyte form of one character (one unit, or a surrogate pair).
std::string encode_one(UINT cp, const WCHAR* ch, int units) {
  char bytes[8];
  int n = WideCharToMultiByte(cp, 0, ch, units, bytes, sizeof(bytes), nullptr, nullptr);
  return n > 0 ? std::string(bytes, static_cast<size_t>(n)) : std::string();
}

int units_of(const WCHAR* p) {
  return (p[0] >= 0xD800 && p[0] <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) ? 2 : 1;
}

template <typename T>
T* global_copy(const T* data, size_t count) {
  auto* block = static_cast<T*>(GlobalAlloc(GPTR, (count + 1) * sizeof(T)));
  if (!block) return nullptr;
  for (size_t i = 0; i < count; ++i) block[i] = data[i];
  return block;
}

}  // namespace

UINT ResolveCodePage(UINT cp) {
  CPINFO info;
  return GetCPInfo(cp, &info) ? cp : GetACP();
}

BOOL WideToMultiByteAlloc(LPCWSTR text, LPSTR* out, INT* length, UINT cp) {
  if (!text || !out) return FALSE;
  *out = nullptr;
  std::string bytes = morva::u16_to_ansi(morva::u16view(text), ResolveCodePage(cp));
  *out = global_copy(bytes.data(), bytes.size());
  if (!*out) return FALSE;
  if (length) *length = static_cast<INT>(bytes.size());
  return TRUE;
}

BOOL MultiByteToWideAlloc(LPCSTR text, LPWSTR* out, INT* length, UINT cp) {
  if (!text || !out) return FALSE;
  *out = nullptr;
  std::u16string wide = morva::ansi_to_u16(text, ResolveCodePage(cp));
  *out = global_copy(wide.data(), wide.size());
  if (!*out) return FALSE;
  if (length) *length = static_cast<INT>(wide.size() + 1);
  return TRUE;
}

INT CountMultiByteChars(UINT cp, LPWSTR out, LPCSTR text, INT size) {
  if (!text) return 0;
  UINT page = cp == 0 ? GetACP() : cp;
  INT chars = 0;
  INT written = 0;
  for (const char* p = text; *p;) {
    // A lead byte takes its trail byte along, unless the text ends first.
    int len = (IsDBCSLeadByteEx(page, static_cast<BYTE>(*p)) && p[1]) ? 2 : 1;
    if (out && size > 0) {
      WCHAR wide[2];
      int n = MultiByteToWideChar(page, 0, p, len, wide, 2);
      if (n > 0 && written + n < size) {
        for (int i = 0; i < n; ++i) out[written++] = wide[i];
      } else {
        size = -size;  // full: stop converting, keep counting
      }
    }
    ++chars;
    p += len;
  }
  if (out && size != 0) out[written] = 0;
  return chars;
}

INT WideToMultiByteCounted(UINT cp, LPCWSTR text, LPSTR out, INT size) {
  if (!text) return 0;
  UINT page = ResolveCodePage(cp);
  if (size <= 0) {
    INT bytes = 0;
    for (const WCHAR* p = text; *p;) {
      int units = units_of(p);
      std::string one = encode_one(page, p, units);
      bytes += static_cast<INT>(one.empty() ? 1 : one.size());
      p += units;
    }
    return bytes + 1;
  }
  if (!out) return 0;
  INT written = 0;
  for (const WCHAR* p = text; *p;) {
    int units = units_of(p);
    std::string one = encode_one(page, p, units);
    if (one.empty()) one = "?";
    if (written + static_cast<INT>(one.size()) >= size) break;  // never cut a character
    for (char c : one) out[written++] = c;
    p += units;
  }
  out[written] = 0;
  return written;
}

BOOL WideToMultiByteAllocCP(UINT cp, LPCWSTR text, LPSTR* out) {
  if (!text || !out) return FALSE;
  INT need = WideToMultiByteCounted(cp, text, nullptr, 0);
  *out = static_cast<LPSTR>(GlobalAlloc(GPTR, static_cast<SIZE_T>(need)));
  if (!*out) return FALSE;
  WideToMultiByteCounted(cp, text, *out, need);
  return TRUE;
}

BOOL MultiByteToWideAllocCP(UINT cp, LPCSTR text, LPWSTR* out) {
  if (!text || !out) return FALSE;
  INT chars = CountMultiByteChars(cp, nullptr, text, 0);
  // A character may take two UTF-16 units.
  SIZE_T units = static_cast<SIZE_T>(chars) * 2 + 1;
  *out = static_cast<LPWSTR>(GlobalAlloc(GPTR, units * sizeof(WCHAR)));
  if (!*out) return FALSE;
  CountMultiByteChars(cp, *out, text, static_cast<INT>(units));
  return TRUE;
}
