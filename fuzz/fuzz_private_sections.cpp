// The readers of stored private settings on arbitrary bytes: the sections of
// a document-property file, the extension blob of a store and a stored font
// substitution list.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "ddm/ddmid.h"
#include "settings/stores/font_substitution.h"
#include "settings/stores/private_blobs.h"
#include "win/memory.h"

using namespace morva::settings;

namespace {

// Stands in for the database's defaults, so that older sections parse.
BOOL fill_defaults(HANDLE, BYTE* extension) {
  std::memset(extension, 0x5A, morva::ddm::kExtensionSize);
  return TRUE;
}

void release(BYTE* p) {
  if (p) GlobalFree(p);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exact-size copy, so that any read past the input is caught.
  std::vector<BYTE> image(data, data + size);
  const DWORD n = static_cast<DWORD>(size);
  std::vector<BYTE> extension(morva::ddm::kExtensionSize);

  BYTE *fax = nullptr, *wpk = nullptr, *sp = nullptr;
  DWORD wpk_size = 0, sp_size = 0;
  PrivateSectionOutputs out{extension.data(), &fax, &wpk, &wpk_size, &sp, &sp_size};
  if (ParseDocPropImage(image.data(), n, out, nullptr, fill_defaults)) {
    if (wpk) std::memcpy(extension.data(), wpk, wpk_size < 16 ? wpk_size : 16);
    if (sp) std::memcpy(extension.data(), sp, sp_size < 16 ? sp_size : 16);
  }
  release(fax);
  release(wpk);
  release(sp);

  fax = nullptr;
  ParseExtensionBlob(image.data(), n, extension.data(), &fax, nullptr, fill_defaults);
  release(fax);

  const DWORD chars = static_cast<DWORD>(size / sizeof(WCHAR));
  std::vector<WCHAR> list(chars);
  if (chars) std::memcpy(list.data(), data, chars * sizeof(WCHAR));
  if (MultiSzPairListChars(list.data(), chars) != 0) {
    FindMultiSzPairValue(list.data(), u"Arial");
    if (WCHAR* edited = EditMultiSzPairList(list.data(), u"Arial", u"Font")) GlobalFree(edited);
  }
  return 0;
}
