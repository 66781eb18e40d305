// INI files come from disk in any state: every read of one must stay inside
// its buffers, whatever the bytes and encoding.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "win/machine_root.h"
#include "win/profile.h"

namespace {
// One machine root for the whole run, removed at exit. The path is never
// destroyed, so the exit handler can still read it, and a root that could
// not be made is never removed.
const std::string& root() {
  static const std::string* path = [] {
    char templ[] = "/tmp/morva-fuzz-profile-XXXXXX";
    auto* p = new std::string(mkdtemp(templ) ? templ : "/tmp");
    mkdir((*p + "/drive_c").c_str(), 0700);
    morva::platform::set_machine_root(*p);
    std::atexit([] {
      if (*path != "/tmp") std::filesystem::remove_all(*path);
    });
    return p;
  }();
  return *path;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string file = root() + "/drive_c/f.ini";
  FILE* f = std::fopen(file.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
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
