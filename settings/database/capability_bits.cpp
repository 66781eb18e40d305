// The device model's capability words, read from the device database.
#include "settings/common/common_utils.h"
#include "settings/database/ddd_file.h"
#include "settings/items/item_access.h"

namespace {

constexpr WORD kCapabilityField = 26;
constexpr WORD kExtraCapabilityField = 39;
constexpr DWORD kExtraCapabilityLevel = 5631;  // field 39 is read above this level
constexpr WORD kDeviceClassField = 23;

// Element `index` of a DWORD global field; the caller's cursor is kept by
// reading through a copy of the file record.
bool read_field_dword(const DddFile& file, WORD field, WORD index, DWORD* out) {
  DddFile copy = file;
  WORD size = 0;
  return DddSeekFieldElement(&copy, field, index, &size) == DDD_OK && size == 4 && DddReadDword(&copy, out) == DDD_OK;
}

}  // namespace

BOOL LoadCapabilityBits(DddHandle* database, DeviceCapabilityBits* bits) {
  if (!bits) return FALSE;
  *bits = {};
  if (!database || !database->main.open) return FALSE;
  read_field_dword(database->main, kCapabilityField, 0, &bits->words[0]);
  if (database->main.level > kExtraCapabilityLevel) {
    DWORD w1 = 0, w2 = 0;
    // Both elements must be present; a field holding one gives neither.
    if (read_field_dword(database->main, kExtraCapabilityField, 0, &w1) &&
        read_field_dword(database->main, kExtraCapabilityField, 1, &w2)) {
      bits->words[1] = w1;
      bits->words[2] = w2;
    }
  }
  return TRUE;
}

BOOL HasDeviceCapability(DddHandle* database, DWORD id) {
  DeviceCapabilityBits bits;
  if (!LoadCapabilityBits(database, &bits)) return FALSE;
  return TestCapabilityBit(&bits, id);
}

INT GetDeviceClass(DddHandle* database) {
  if (!database || !database->main.open) return 0;
  DddFile copy = database->main;
  WORD size = 0;
  BYTE stored = 0;
  if (DddSeekFieldElement(&copy, kDeviceClassField, 0, &size) != DDD_OK || DddReadByte(&copy, &stored) != DDD_OK)
    return 0;
  return stored <= 3 ? stored + 1 : 0;
}

BOOL IsDeviceClass3or4(DddHandle* database) {
  INT c = GetDeviceClass(database);
  return c == 3 || c == 4;
}

BOOL IsDeviceColorCapable(DddHandle* database, void* devmode) {
  INT c = GetDeviceClass(database);
  if (c == 2) return TRUE;
  return c == 4 && devmode && GetItemNumber(devmode, nullptr, 334, 3) == 5;
}
