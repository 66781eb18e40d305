#include "settings/items/item_database.h"

#include <cstring>
#include <string>

#include "ddm/ddmid.h"
#include "settings/database/ddd_queries.h"
#include "settings/database/ddd_records.h"
#include "settings/database/model_config.h"
#include "win/memory.h"

using namespace morva::ddm;

namespace {

bool is_block(WORD type) { return type == kTypeString || type == kTypeLogFont; }

// A scalar of the database's type as the setting's stored type.
void store_as(WORD type, LONG number, ItemValue* value) {
  value->raw = 0;
  switch (type) {
    case kTypeShort: case kTypeWord: value->w = static_cast<WORD>(number); break;
    case kTypeByte: value->b = static_cast<BYTE>(number); break;
    default: value->l = number; break;
  }
}

}  // namespace

BOOL ItemDbHasValue(DddHandle* database, WORD ddmid, WORD type, DWORD size, const ItemValue* value) {
  if (!database || !value) return FALSE;
  if (type == kTypeString) {
    // Stored texts may lie at odd offsets: compare an aligned copy.
    std::u16string text = ItemText(*value, size);
    return DddHasItemValue(database, ddmid, text.c_str());
  }
  if (type == kTypeLogFont) return FALSE;
  return DddHasItemValue(database, ddmid, value);
}

INT ItemDbDefault(DddHandle* database, WORD ddmid, ItemValue* value, WORD* type, DWORD* size) {
  if (!value || !type || !size) return -1;
  value->raw = 0;
  if (!database) return 2;
  const DdmidDescriptor* d = dma_Descriptor(ddmid);
  if (!d) return -1;
  void* data = nullptr;
  WORD db_type = 0, bytes = 0;
  DddStatus s = DddGetItemDefault(&database->main, &database->linked, ddmid, &data, &db_type, &bytes);
  if (s == DDD_NOT_FOUND) return 2;
  if (s != DDD_OK || !data) return -1;
  const WORD stored = d->type;
  INT result = 1;
  if (is_block(stored)) {
    if (db_type != stored) {
      GlobalFree(data);
      return -1;
    }
    value->ptr = data;  // handed over; ReleaseItemDefault frees it
    *type = stored;
    *size = bytes;
    return result;
  }
  if (is_block(db_type) || bytes == 0 || bytes > 4) {
    result = -1;
  } else {
    LONG number = 0;
    switch (bytes) {
      case 1: number = *static_cast<const BYTE*>(data); break;
      case 2: {
        WORD w;
        std::memcpy(&w, data, 2);
        number = db_type == kTypeShort ? static_cast<SHORT>(w) : w;
        break;
      }
      default: std::memcpy(&number, data, 4); break;
    }
    store_as(stored, number, value);
    *type = stored;
    *size = dma_TypeSize(stored);
  }
  GlobalFree(data);
  return result;
}

INT ItemDbMaxCopies(DddHandle* database) { return database ? DddGetMaxCopies(database) : 0; }

INT ItemDbFeatureFlagByte(DddHandle* database) { return database ? DddGetFeatureFlagByte(database) : -1; }

BOOL ItemDbSignatureText(DddHandle* database, LPWSTR buffer, DWORD chars) {
  if (!database || !buffer || chars == 0) return FALSE;
  DddStatus status = 0;
  WCHAR* model = DddGetModelName(database, &status);
  if (!model) return FALSE;
  DWORD i = 0;
  for (; i + 1 < chars && model[i]; ++i) buffer[i] = model[i];
  buffer[i] = 0;
  GlobalFree(model);
  return TRUE;
}

BOOL ItemDbA4Size(DddHandle* database, WORD* width, WORD* length) {
  if (!database || !width || !length) return FALSE;
  const WORD a4 = 9;  // DMPAPER_A4
  DddValue* target = nullptr;
  if (DddLoadItemValueTarget(database, 8, &a4, &target) != DDD_OK || !target) return FALSE;
  DddPair size{};
  BOOL ok = target->kind == DDD_KIND_PAPER && DddGetPaperSize(target, &size) == DDD_OK;
  DddFreeValue(&target, 0xFFFF);
  if (!ok) return FALSE;
  *width = size.first;
  *length = size.second;
  return TRUE;
}

BOOL ItemDbDefaultPaper(DddHandle* database, WORD* width, WORD* length, LPWSTR name, DWORD chars) {
  if (!database || !width || !length || !name || chars == 0) return FALSE;
  void* data = nullptr;
  WORD type = 0, bytes = 0;
  if (DddGetItemDefault(&database->main, &database->linked, 8, &data, &type, &bytes) != DDD_OK || !data)
    return FALSE;
  WORD code = 0;
  if (bytes >= 2) std::memcpy(&code, data, 2);
  GlobalFree(data);
  DddValue* target = nullptr;
  if (bytes < 2 || DddLoadItemValueTarget(database, 8, &code, &target) != DDD_OK || !target) return FALSE;
  DddPair size{};
  BOOL ok = target->kind == DDD_KIND_PAPER && DddGetPaperSize(target, &size) == DDD_OK;
  if (ok) {
    *width = size.first;
    *length = size.second;
    const WCHAR* text = static_cast<const DddPaper*>(target)->name;
    DWORD i = 0;
    for (; text && i + 1 < chars && text[i]; ++i) name[i] = text[i];
    name[i] = 0;
  }
  DddFreeValue(&target, 0xFFFF);
  return ok;
}

BOOL ItemDbApplyForcedSettings(DddHandle* database, void* devmode, void* printer_data) {
  if (!database || !database->config) return TRUE;
  return ApplyForcedSettings(database->config, devmode, printer_data, 1);
}

BOOL ItemDbConfiguredValue(DddHandle* database, WORD ddmid, WORD type, ItemValue* value) {
  if (!database || !database->config || !value) return FALSE;
  return GetConfiguredItemValue(ddmid, database->config, value, type);
}
