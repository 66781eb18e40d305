// The spooler's upgrade callback of the printer-interface library.
#include "settings/common/export_shape.h"
#include "settings/database/ddd_file.h"
#include "settings/stores/printer_settings.h"

MORVA_EXPORT BOOL GetUpgradedPrinterData(HANDLE printer, BYTE* buffer, DWORD* size) {
  const BOOL result = RunExport(u"GetUpgradedPrinterData", [&]() -> BOOL {
    if (size == nullptr) return FALSE;
    if (buffer == nullptr) {
      if (*size != 0) return FALSE;
      *size = kPrinterDataBlockSize;
      return TRUE;
    }
    if (*size < kPrinterDataBlockSize) return FALSE;
    DddHandle* database = DddOpen(printer);
    if (database == nullptr) return FALSE;
    const BOOL read = ReadPrinterSettings(printer, buffer, database) ? TRUE : FALSE;
    DddClose(database);
    return read;
  });
  // The user's private blobs are brought to the current format on every
  // upgrade, whatever the answer.
  StoreUserPrivateBlobs(printer);
  return result;
}
