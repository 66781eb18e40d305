// The printer's PrinterData block: reading it with the user's settings
// merged in, initialising the stored block, and the driver-name
// registration.
#include "settings/stores/printer_settings.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "ddm/ddmid.h"
#include "fax/fax_blob.h"
#include "settings/database/ddd_file.h"
#include "settings/database/ddd_queries.h"
#include "settings/items/default_settings.h"
#include "settings/items/item_access.h"
#include "settings/database/model_config.h"
#include "settings/stores/printer_data_kinds.h"
#include "settings/stores/printer_identity.h"
#include "settings/stores/private_blobs.h"
#include "settings/stores/settings_migration.h"
#include "settings/stores/user_setting_info.h"
#include "win/endian.h"
#include "win/errors.h"
#include "win/memory.h"
#include "win/registry.h"
#include "win/spooler.h"

namespace {

constexpr DWORD kBlockSize = kPrinterDataBlockSize;
static_assert(kBlockSize == morva::ddm::kPrinterDataSize);
constexpr WORD kVersionId = 8204;
constexpr WORD kLayoutId = 8203;
constexpr WORD kAccountModeId = 5163;
constexpr WORD kDriverNameString = 2;
constexpr char16_t kDefaultsPrinterName[] = u"DummyName";
constexpr char16_t kUserModeDriverValue[] = u"SPLUserModePrinterDriver";

DWORD setting(void* block, WORD ddmid) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue value{};
  if (GetItemValue(ddmid, nullptr, block, &type, &size, &value) != morva::ddm::kDdmOk) return 0;
  return value.dw;
}

// The printer opened again by its own name with full access; null when
// that fails (`denied` tells whether it failed for lack of rights).
HANDLE reopen_with_full_access(HANDLE printer, bool* denied) {
  *denied = false;
  BYTE* info = AllocGetPrinter(printer, 1);
  if (info == nullptr) return nullptr;
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
  HANDLE reopened = nullptr;
  if (!OpenPrinterW(reinterpret_cast<PRINTER_INFO_1W*>(info)->pName, &reopened, &defaults)) {
    *denied = GetLastError() == ERROR_ACCESS_DENIED;
    reopened = nullptr;
  }
  GlobalFree(info);
  return reopened;
}

// The user's record into the block (all three sections).
INT merge_user_record(HANDLE printer, DddHandle* database, void* block, BOOL convert) {
  std::vector<BYTE> record(kUserRecordSize);
  if (!ReadUserSettingInfo(printer, database, record.data(), kUserSectionsAll, convert)) return 0;
  return ApplyUserSettingInfo(block, record.data(), kUserSectionsAll);
}

// The block's own per-user sections stored as the user's record.
void store_block_as_user_record(HANDLE printer, DddHandle* database, void* block) {
  std::vector<BYTE> record(kUserRecordSize);
  if (FillUserSettingInfoFromSettings(printer, database, block, record.data())) {
    WriteUserSettingInfo(printer, database, record.data(), kUserSectionsAll);
  }
}

INT merge_user_settings(HANDLE writer, bool may_write, DddHandle* database, void* block) {
  const DWORD version = setting(block, kVersionId);
  const BOOL convert = version == kPrinterDataCurrentVersion && setting(block, kAccountModeId) == 1;
  BYTE id[kPrinterIdBytes];
  if (version >= kPrinterDataUserRecordVersion) {
    if (!ReadPrinterId(writer, id) && may_write && CreatePrinterId(writer, id)) WritePrinterId(writer, id);
    return merge_user_record(writer, database, block, convert);
  }
  // An older block: its per-user values become the user's record unless
  // the user kept one from an earlier generation.
  if (ReadPrinterId(writer, id) && ReadLegacyUserSettingInfo(writer, database)) {
    merge_user_record(writer, database, block, convert);
  } else {
    store_block_as_user_record(writer, database, block);
  }
  return 1;
}

BOOL fill_defaults(DddHandle* database, void* destination) {
  std::vector<BYTE> devmode(morva::ddm::kPrivateDevmodeSize);
  return FillDefaultSettings(database, devmode.data(), destination, kDefaultsPrinterName) == 1;
}

void apply_forced(DddHandle* database, void* destination) {
  if (database->config != nullptr) ApplyForcedSettings(database->config, nullptr, destination, 1);
}

}  // namespace

INT ConvertPrinterDataBlock(HANDLE, const BYTE* stored, DWORD size, void* destination, DddHandle* database) {
  if (stored == nullptr || destination == nullptr || database == nullptr) return -1;
  return ConvertPrinterDataBlock(static_cast<const void*>(stored), size, destination, database);
}

INT ReadPrinterSettings(HANDLE printer, void* destination, DddHandle* database) {
  if (printer == nullptr || destination == nullptr || database == nullptr) return 0;
  std::vector<BYTE> block;
  DWORD stored = 0;
  if (ReadPrinterDataKind(printer, kPrinterDataPrinterData, nullptr, &stored) && stored != 0) {
    block.assign(std::max(stored, kBlockSize), 0);
    DWORD capacity = static_cast<DWORD>(block.size());
    if (!ReadPrinterDataKind(printer, kPrinterDataPrinterData, block.data(), &capacity)) block.clear();
  }

  if (!block.empty()) {
    bool denied = false;
    HANDLE reopened = reopen_with_full_access(printer, &denied);
    merge_user_settings(reopened ? reopened : printer, !denied, database, block.data());
    if (reopened) ClosePrinter(reopened);

    bool done = false;
    if (setting(block.data(), kLayoutId) == kPrinterDataCurrentLayout) {
      std::memcpy(destination, block.data(), kBlockSize);
      done = true;
    } else {
      // A failed conversion may leave the destination half-written: only
      // the defaults below can stand for the block then.
      done = ConvertPrinterDataBlock(printer, block.data(), std::max(stored, kBlockSize), destination, database) != -1;
    }
    if (done) {
      apply_forced(database, destination);
      return 1;
    }
  }

  if (!fill_defaults(database, destination)) return 0;
  apply_forced(database, destination);
  return 1;
}

WCHAR* GetDriverNameForSpooler(HANDLE printer) {
  DddHandle* database = DddOpen(printer);
  if (database == nullptr) return nullptr;
  WCHAR* name = nullptr;
  if (DddGetDatabaseString(&database->main, kDriverNameString, &name) != DDD_OK && name != nullptr) {
    GlobalFree(name);
    name = nullptr;
  }
  DddClose(database);
  return name;
}

INT RegisterUserModeDriver(HANDLE printer) {
  if (printer == nullptr) return 0;
  WCHAR* name = GetDriverNameForSpooler(printer);
  if (name == nullptr) return 0;
  INT result = 0;
  bool denied = false;
  if (HANDLE reopened = reopen_with_full_access(printer, &denied)) {
    const DWORD bytes = static_cast<DWORD>(2 * (std::char_traits<char16_t>::length(name) + 1));
    result = SetPrinterDataW(reopened, const_cast<LPWSTR>(kUserModeDriverValue), REG_SZ, reinterpret_cast<LPBYTE>(name),
                             bytes) == ERROR_SUCCESS
                 ? 1
                 : 0;
    ClosePrinter(reopened);
  }
  GlobalFree(name);
  return result;
}

INT InitializePrinterSettings(HANDLE printer, void* block, DddHandle* database, BOOL store) {
  if (printer == nullptr || block == nullptr || database == nullptr) return 0;
  RegisterUserModeDriver(printer);
  if (!store) return 0;
  std::vector<BYTE> users(kUserRecordSize), defaults(kUserRecordSize);
  if (!FillUserSettingInfoFromSettings(printer, database, block, users.data())) return 0;
  morva::store_le16(defaults.data(), kUserRecordVersion);
  if (!FillUserSettingInfoFromDatabase(printer, database, defaults.data())) return 0;
  if (!ApplyUserSettingInfo(block, defaults.data(), kUserSectionsAll)) {
    ApplyUserSettingInfo(block, users.data(), kUserSectionsAll);
    return 0;
  }
  const INT stored = WritePrinterDataKind(printer, block, kBlockSize, kPrinterDataPrinterData);
  // The caller's values come back whether or not the store succeeded.
  const INT restored = ApplyUserSettingInfo(block, users.data(), kUserSectionsAll);
  return stored && restored ? 1 : 0;
}

INT StoreUserPrivateBlobs(HANDLE printer) {
  DddHandle* database = DddOpen(printer);
  if (database == nullptr) return 0;
  auto* extension = static_cast<BYTE*>(GlobalAlloc(GPTR, morva::ddm::kExtensionSize));
  if (extension == nullptr) {
    DddClose(database);
    return 0;
  }
  BYTE *fax = nullptr, *wpk = nullptr, *sp = nullptr;
  DWORD wpk_size = 0, sp_size = 0;
  INT result = 1;
  if (LoadPrivateSettings(printer, database, nullptr, morva::settings::kPrivateStoreUserRegistry, &fax, extension, &wpk,
                          &wpk_size, &sp, &sp_size)) {
    const DWORD fax_size =
        fax ? morva::fax::kFaxBookHeaderSize + morva::fax::kFaxEntrySize * morva::fax::FaxBook_GetCount(fax) : 0;
    result = SavePrivateSettings(printer, database, nullptr, morva::settings::kPrivateStoreUserRegistry, fax, fax_size,
                                 extension, wpk, wpk_size, sp, sp_size)
                 ? 1
                 : 0;
  }
  for (BYTE* block : {fax, wpk, sp}) {
    if (block) GlobalFree(block);
  }
  GlobalFree(extension);
  DddClose(database);
  return result;
}

INT QueryPropertySheetExtension(HANDLE, HANDLE, void*, void*) { return 0; }
INT ApplyPropertySheetExtension(HANDLE, void*) { return 1; }
