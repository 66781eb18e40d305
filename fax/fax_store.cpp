// Loading and storing destination lists: printer data, the fax address
// file and the fax section of the private settings.
#include "fax/fax_store.h"

#include <cstring>

#include "settings/stores/private_blobs.h"
#include "win/files.h"
#include "win/handles.h"
#include "win/memory.h"

namespace morva::fax {
namespace {

bool is_whole_dfax002(const BYTE* blob, DWORD size) {
  FaxBookView view;
  return FaxBook_Parse(blob, size, &view) && view.kind == FaxBookKind::kDfax002;
}

int write_file(LPCWSTR fileName, const BYTE* blob, DWORD size) {
  HANDLE file = CreateFileW(fileName, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  DWORD written = 0;
  const BOOL wrote = WriteFile(file, blob, size, &written, nullptr);
  const BOOL closed = CloseHandle(file);
  return wrote && written == size && closed ? 1 : 0;
}

void free_block(BYTE** block) {
  if (*block != nullptr) GlobalFree(*block);
  *block = nullptr;
}

}  // namespace

BYTE* LoadFaxSendList(HANDLE printer, LPCWSTR /*deviceName*/, DWORD size, const BYTE* copy, WORD* count) {
  BYTE* blob = nullptr;
  if (copy != nullptr) {
    if (size == 0) return nullptr;
    blob = static_cast<BYTE*>(GlobalAlloc(GPTR, size));
    if (blob == nullptr) return nullptr;
    std::memcpy(blob, copy, size);
  } else if (!ReadFaxSendList(printer, &blob, &size)) {
    return nullptr;
  }
  FaxBookView view;
  if (!FaxBook_Parse(blob, size, &view) || view.kind != FaxBookKind::kDfax002) {
    free_block(&blob);
    return nullptr;
  }
  if (count != nullptr) *count = view.count;
  return blob;
}

int FreeFaxSendList(BYTE* blob) {
  free_block(&blob);
  return 1;
}

int WriteFaxSendListData(HANDLE printer, LPCWSTR fileName, const BYTE* blob, DWORD size) {
  if (!is_whole_dfax002(blob, size)) return 0;
  if (fileName == nullptr) return WriteFaxSendList(printer, blob, size) ? 1 : 0;
  return write_file(fileName, blob, size);
}

int FaxList_WriteFile(HANDLE printer, void* /*reserved*/, LPCWSTR fileName, const FaxDestinationList* list) {
  BYTE* blob = nullptr;
  DWORD size = 0;
  if (!FaxList_Pack(list, &blob, &size)) return 0;
  const int written = WriteFaxSendListData(printer, fileName, blob, size);
  free_block(&blob);
  return written;
}

int SaveSettingsWithFaxList(HANDLE printer, DddHandle* database, LPCWSTR fileName, WORD storeKind,
                            const FaxDestinationList* list, const BYTE* extension, const BYTE* wpk, DWORD wpkSize,
                            const BYTE* sp, DWORD spSize) {
  if ((printer == nullptr && fileName == nullptr) || extension == nullptr) return 0;
  BYTE* blob = nullptr;
  DWORD size = 0;
  if (list != nullptr && !FaxList_Pack(list, &blob, &size)) return 0;
  const BOOL saved =
      SavePrivateSettings(printer, database, fileName, storeKind, blob, size, extension, wpk, wpkSize, sp, spSize);
  free_block(&blob);
  return saved;
}

int LoadSettingsWithFaxList(HANDLE printer, DddHandle* database, LPCWSTR fileName, WORD storeKind,
                            FaxDestinationList* list, BYTE* extension, BYTE** wpk, DWORD* wpkSize, BYTE** sp,
                            DWORD* spSize) {
  if ((printer == nullptr && fileName == nullptr) || extension == nullptr) return 0;
  // Kept to put back when the fax section turns out unusable, so that a
  // failed load changes nothing.
  BYTE saved[kFaxExtensionBlockSize];
  std::memcpy(saved, extension, sizeof(saved));
  BYTE* fax = nullptr;
  if (!LoadPrivateSettings(printer, database, fileName, storeKind, list != nullptr ? &fax : nullptr, extension, wpk,
                           wpkSize, sp, spSize)) {
    return 0;
  }
  if (fax == nullptr) return 1;
  // The section is a global block of the settings reader: its size is the
  // block's.
  const int unpacked = UnpackFaxSendList(list, fax, static_cast<DWORD>(GlobalSize(fax)));
  free_block(&fax);
  if (unpacked) return 1;
  std::memcpy(extension, saved, sizeof(saved));
  if (wpk != nullptr) free_block(wpk);
  if (wpkSize != nullptr) *wpkSize = 0;
  if (sp != nullptr) free_block(sp);
  if (spSize != nullptr) *spSize = 0;
  return 0;
}

}  // namespace morva::fax
