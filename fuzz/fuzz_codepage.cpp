// Text from files, the registry and the network goes through the code-page
// conversions: any bytes, in any code page, must convert without leaving
// the buffers, and UTF-8 must survive a round trip once decoded.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "win/codepage.h"
#include "win/paths.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > 1 << 16) return 0;
  const char* bytes = reinterpret_cast<const char*>(data);
  const int n = static_cast<int>(size);
  for (UINT cp : {1252u, 932u, 936u, 949u, 950u, 1251u, CP_UTF8}) {
    for (DWORD flags : {0u, static_cast<DWORD>(MB_ERR_INVALID_CHARS)}) {
      int need = MultiByteToWideChar(cp, flags, bytes, n, nullptr, 0);
      if (need <= 0) continue;
      std::vector<WCHAR> wide(static_cast<size_t>(need));
      if (MultiByteToWideChar(cp, flags, bytes, n, wide.data(), need) != need) __builtin_trap();
      BOOL used = FALSE;
      BOOL* used_ptr = cp == CP_UTF8 ? nullptr : &used;
      DWORD wflags = cp == CP_UTF8 ? 0u : static_cast<DWORD>(WC_NO_BEST_FIT_CHARS);
      int back = WideCharToMultiByte(cp, wflags, wide.data(), need, nullptr, 0, nullptr, used_ptr);
      std::vector<char> again(static_cast<size_t>(back > 0 ? back : 1));
      if (back > 0 && WideCharToMultiByte(cp, wflags, wide.data(), need, again.data(), back, nullptr, used_ptr) != back)
        __builtin_trap();
      // Valid UTF-8 comes back byte for byte.
      if (cp == CP_UTF8 && flags && (back != n || std::memcmp(again.data(), bytes, size) != 0)) __builtin_trap();
    }
  }
  // The same bytes as UTF-16 text, converted and mapped as a path.
  std::u16string text(size / 2, u'\0');
  std::memcpy(text.data(), data, text.size() * 2);
  if (!text.empty()) {
    for (UINT cp : {1252u, 932u, CP_UTF8}) {
      int need = WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
      if (need > 0) {
        std::vector<char> out(static_cast<size_t>(need));
        WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), out.data(), need, nullptr, nullptr);
      }
    }
    std::u16string full;
    morva::platform::full_windows_path(text, &full);
  }
  return 0;
}
