// Resource containers come from files: the reader (and the dialog-template
// parser over what it finds) must refuse or read any bytes without leaving
// them. The same bytes are also opened as files by path: as a container,
// and as a bitmap file loaded by name.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_machine_root.h"
#include "win/dialog_template.h"
#include "win/resources.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<BYTE> bytes(data, data + size);
  const std::string_view file(reinterpret_cast<const char*>(data), size);
  if (morva::fuzz::write_drive_c_file("x.xrs", file)) {
    if (HMODULE by_path = morva::platform::open_resource_container(morva::fuzz::machine_root() + "/drive_c/x.xrs")) {
      WCHAR first[16];
      LoadStringW(by_path, 1, first, 16);
      morva::platform::close_resource_container(by_path);
    }
    if (HANDLE b = LoadImageW(nullptr, u"C:\\x.xrs", IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE))
      morva::platform::release_resource_image(b);
  }
  HMODULE m = morva::platform::open_resource_container(bytes);
  if (!m) return 0;
  WCHAR text[64];
  for (UINT id = 0; id < 48; ++id) LoadStringW(m, id, text, 64);
  for (WORD id = 1; id < 8; ++id) {
    if (HBITMAP b = LoadBitmapW(m, MAKEINTRESOURCEW(id))) morva::platform::release_resource_image(b);
    if (HICON i = LoadIconW(m, MAKEINTRESOURCEW(id))) DestroyIcon(i);
    for (WORD type : {5, 10, 260}) {
      HRSRC r = FindResourceW(m, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(type));
      if (!r) continue;
      const auto* p = static_cast<const volatile BYTE*>(LockResource(LoadResource(m, r)));
      DWORD n = SizeofResource(m, r);
      if (p && n) (void)p[n - 1];
      morva::platform::DialogTemplate t;
      if (type == 5 && p) morva::platform::parse_dialog_template(const_cast<const BYTE*>(p), n, t);
    }
  }
  morva::platform::close_resource_container(m);
  return 0;
}
