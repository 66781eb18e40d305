#include "settings/item_database.h"

#include "settings/ddd_file.h"
#include "win/codepage.h"

// Answers of a database without items. The feature byte is read from the
// open main file, which the file layer already offers.

BOOL ItemDbHasValue(DddHandle*, WORD, WORD, const ItemValue*) { return FALSE; }

INT ItemDbDefault(DddHandle*, WORD, ItemValue* value, WORD*, DWORD*) {
  if (value) value->raw = 0;
  return 2;
}

INT ItemDbMaxCopies(DddHandle*) { return 0; }

INT ItemDbFeatureFlagByte(DddHandle* database) {
  if (!database || !database->main.open) return -1;
  if (DddSeekGlobalField(&database->main, 7) != DDD_OK) return -1;
  BYTE b = 0;
  if (DddReadByte(&database->main, &b) != DDD_OK) return -1;
  return b;
}

// The model name of the main file's header: the identity the driver's own
// DEVMODE carries.
BOOL ItemDbSignatureText(DddHandle* database, LPWSTR buffer, DWORD chars) {
  if (!database || !buffer || chars == 0 || !database->main.open || !database->main.image ||
      database->main.size < DDD_HEADER_SIZE)
    return FALSE;
  const auto* model = reinterpret_cast<const char*>(database->main.image + DDD_HEADER_MODEL);
  int n = 0;
  while (n < static_cast<int>(DDD_HEADER_TEXT_SIZE) && model[n]) ++n;
  int written = n ? MultiByteToWideChar(CP_ACP, 0, model, n, buffer, static_cast<int>(chars) - 1) : 0;
  if (n && written <= 0) return FALSE;
  buffer[written] = 0;
  return TRUE;
}

BOOL ItemDbA4Size(DddHandle*, WORD*, WORD*) { return FALSE; }

BOOL ItemDbApplyForcedSettings(DddHandle*, void*, void*) { return TRUE; }

BOOL ItemDbConfiguredValue(DddHandle*, WORD, WORD, ItemValue*) { return FALSE; }
