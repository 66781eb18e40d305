// INI files come from disk in any state: every read of one must stay inside
// its buffers, whatever the bytes and encoding.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz_machine_root.h"
#include "win/profile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (!morva::fuzz::write_drive_c_file("f.ini", {reinterpret_cast<const char*>(data), size})) return 0;
  const char16_t* name = u"C:\\f.ini";
  WCHAR sections[512], keys[512], value[16], lines[64];
  DWORD n = GetPrivateProfileStringW(nullptr, nullptr, u"", sections, 512, name);
  // Read every listed section, its keys and their values, with small
  // buffers so that truncation paths run too.
  for (DWORD i = 0; i < n && sections[i];) {
    const WCHAR* section = sections + i;
    DWORD k = GetPrivateProfileStringW(section, nullptr, u"", keys, 512, name);
    for (DWORD j = 0; j < k && keys[j];) {
      GetPrivateProfileStringW(section, keys + j, u"default", value, 16, name);
      GetPrivateProfileIntW(section, keys + j, 7, name);
      while (j < k && keys[j]) ++j;
      ++j;
    }
    GetPrivateProfileSectionW(section, lines, 64, name);
    while (i < n && sections[i]) ++i;
    ++i;
  }
  GetPrivateProfileStringW(u"A", u"B", u"", value, 1, name);
  return 0;
}
