// What the driver does when the spooler tells it about a printer: a new
// printer or connection, a deleted one, and a driver upgrade, which brings
// the printer's stored settings, private blobs and fax list into the
// current layout while keeping the user's values. Also the printer forms
// the device database's papers need.
#include <cstring>

#include "ddm/ddmid.h"
#include "fax/fax_blob.h"
#include "pi/printer_level.h"
#include "settings/common/common_utils.h"
#include "settings/common/export_shape.h"
#include "settings/common/module_state.h"
#include "settings/database/ddd_queries.h"
#include "settings/items/item_access.h"
#include "settings/stores/font_substitution.h"
#include "settings/stores/printer_identity.h"
#include "settings/stores/printer_settings.h"
#include "settings/stores/private_blobs.h"
#include "settings/stores/user_registry_values.h"
#include "win/errors.h"
#include "win/memory.h"
#include "win/registry.h"
#include "win/strings.h"

namespace {

constexpr WORD kCustomPaper = 256;
constexpr DWORD kPromptComponent = 0xFFFF002B;
constexpr char16_t kJobOwnerToolValue[] = u"SupportJobOwnerTool";

// A printer opened for the duration of a scope.
struct OpenedPrinter {
  HANDLE handle = nullptr;
  OpenedPrinter(LPWSTR name, ACCESS_MASK access) {
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, access};
    if (!OpenPrinterW(name, &handle, access ? &defaults : nullptr)) handle = nullptr;
  }
  ~OpenedPrinter() {
    if (handle) {
      const DWORD error = GetLastError();
      ClosePrinter(handle);
      SetLastError(error);
    }
  }
  OpenedPrinter(const OpenedPrinter&) = delete;
  OpenedPrinter& operator=(const OpenedPrinter&) = delete;
};

struct OpenedDatabase {
  DddHandle* handle;
  explicit OpenedDatabase(HANDLE printer) : handle(printer ? DddOpen(printer) : nullptr) {}
  ~OpenedDatabase() {
    if (handle) DddClose(handle);
  }
  OpenedDatabase(const OpenedDatabase&) = delete;
  OpenedDatabase& operator=(const OpenedDatabase&) = delete;
};

// Adds the printer form for one paper; sizes in thousandths of a millimetre.
bool add_paper_form(HANDLE printer, LPCWSTR name, const SIZEL& size, const RECTL& area) {
  FORM_INFO_1W form{};
  form.Flags = FORM_PRINTER;
  form.pName = const_cast<LPWSTR>(name);
  form.Size = size;
  form.ImageableArea = area;
  return AddFormW(printer, 1, reinterpret_cast<LPBYTE>(&form)) != FALSE;
}

bool form_exists(HANDLE printer, LPCWSTR name) {
  DWORD needed = 0;
  if (GetFormW(printer, const_cast<LPWSTR>(name), 1, nullptr, 0, &needed)) return true;
  return GetLastError() == ERROR_INSUFFICIENT_BUFFER;
}

}  // namespace

INT AddMissingPaperForms(HANDLE printer, DddHandle* database) {
  if (!printer || !database) return 0;
  INT result = 1;
  for (WORD n = 1;; ++n) {
    DddValue* value = nullptr;
    const DddStatus s = DddLoadValue(DDD_LOAD_HEADER, &database->main, &database->linked, DDD_KIND_PAPER, n, &value);
    if (s != DDD_OK) {
      if (s != DDD_NOT_FOUND) result = 0;
      break;
    }
    const auto* paper = static_cast<const DddPaper*>(value);
    if (paper->id != kCustomPaper) {
      WCHAR name[64] = {};
      SIZEL size{};
      RECTL area{};
      if (IsUserPaperCode(paper->id)) {
        FormatUserPaperName(UserPaperSlotOfCode(paper->id), name, 64);
        size = {210000, 297000};
        area = {0, 0, 210000, 297000};
      } else if (const WCHAR* own = DddGetValueName(value)) {
        lstrcpynW(name, own, 64);
        DddPair extent{}, left_bottom{}, right_top{};
        DddGetPaperSize(value, &extent);
        DddGetPaperMarginPairs(value, &left_bottom, &right_top);
        size = {extent.first * 100, extent.second * 100};
        area = {left_bottom.first * 100, right_top.second * 100, (extent.first - right_top.first) * 100,
                (extent.second - left_bottom.second) * 100};
      }
      if (name[0] && !form_exists(printer, name) && !add_paper_form(printer, name, size, area)) result = 0;
    }
    DddFreeValue(&value, 0xFFFF);
  }
  return result;
}

INT EnsurePrinterIdentity(HANDLE printer) {
  BYTE id[kPrinterIdBytes] = {};
  if (ReadPrinterId(printer, id)) return 1;
  return CreatePrinterId(printer, id) && WritePrinterId(printer, id) ? 1 : 0;
}

INT MigratePrinterSettings(HANDLE printer, DddHandle* database, BOOL migrate) {
  if (!migrate) {
    EnsureFontSubstitutionTable(printer, database);
    return 1;
  }
  if (!printer || !database) return 0;
  void* block = GlobalAlloc(GPTR, morva::ddm::kPrinterDataSize);
  if (!block) return 0;
  bool ok = ReadPrinterSettings(printer, block, database) == 1 &&
            InitializePrinterSettings(printer, block, database, TRUE) == 1;
  GlobalFree(block);
  if (!ok) return 0;

  // The private blobs and the fax list, read in whatever format they were
  // stored and written back in the current one.
  BYTE extension[morva::ddm::kPrivateDevmodeSize - morva::ddm::kShortDevmodeSize] = {};
  BYTE* fax = nullptr;
  BYTE* wpk = nullptr;
  BYTE* sp = nullptr;
  DWORD wpk_size = 0, sp_size = 0;
  if (!LoadPrivateSettings(printer, database, nullptr, morva::settings::kPrivateStorePrinterData, &fax, extension, &wpk, &wpk_size,
                           &sp, &sp_size))
    ok = GetCurrentDevmodeExtension(printer, extension) != FALSE;
  if (ok) {
    DWORD fax_size = 0;
    if (fax) {
      WORD count = 0;
      std::memcpy(&count, fax + morva::fax::kFaxCountOffset, sizeof count);
      fax_size = count * morva::fax::kFaxEntrySize + morva::fax::kFaxBookHeaderSize;
    }
    ok = SavePrivateSettings(printer, database, nullptr, morva::settings::kPrivateStorePrinterData, fax, fax_size, extension,
                             wpk_size ? wpk : nullptr, wpk_size, sp_size ? sp : nullptr, sp_size) != FALSE;
  }
  if (fax) GlobalFree(fax);
  if (wpk) GlobalFree(wpk);
  if (sp) GlobalFree(sp);
  if (!ok) return 0;

  DWORD prompt = HasDeviceCapability(database, kPromptComponent) ? 1 : 0;
  if (SetPrinterDataW(printer, const_cast<LPWSTR>(kJobOwnerToolValue), REG_DWORD, reinterpret_cast<LPBYTE>(&prompt),
                      sizeof prompt) != ERROR_SUCCESS)
    return 0;
  EnsureFontSubstitutionTable(printer, database);
  return 1;
}

INT OpenPrinterAsShellUser(LPCWSTR, HANDLE* printer, PRINTER_DEFAULTSW*) {
  if (printer) *printer = nullptr;
  // Opening as the interactive user takes the token of that user's shell
  // process. This machine runs no user sessions, so there is no token to
  // borrow: nothing is opened, and the caller keeps the error of its own
  // open.
  return 0;
}

MORVA_EXPORT BOOL DrvPrinterEvent(LPWSTR printer_name, INT event, DWORD, LPARAM) {
  return RunExportFormatted(u"DrvPrinterEvent", u"%s", [&]() -> BOOL {
    switch (event) {
      case PRINTER_EVENT_ADD_CONNECTION: {
        OpenedPrinter printer(printer_name, PRINTER_ALL_ACCESS);
        if (printer.handle) RegisterUserModeDriver(printer.handle);
        break;
      }
      case PRINTER_EVENT_DELETE_CONNECTION:
      case PRINTER_EVENT_DELETE: {
        OpenedPrinter printer(printer_name, 0);
        OpenedDatabase database(printer.handle);
        if (database.handle) DeleteUserRegistryKeys(printer.handle, database.handle);
        break;
      }
      case PRINTER_EVENT_INITIALIZE: {
        OpenedPrinter printer(printer_name, PRINTER_ALL_ACCESS);
        if (!printer.handle) break;
        OpenedDatabase database(printer.handle);
        RegisterUserModeDriver(printer.handle);
        EnsurePrinterIdentity(printer.handle);
        if (database.handle) {
          MigratePrinterSettings(printer.handle, database.handle, TRUE);
          AddMissingPaperForms(printer.handle, database.handle);
        }
        break;
      }
      default:
        break;
    }
    // Printer events never fail towards the spooler.
    return TRUE;
  });
}

MORVA_EXPORT BOOL DrvUpgradePrinter(DWORD level, LPBYTE info) {
  return RunExportFormatted(u"DrvUpgradePrinter", u"%s RetValue = %d", [&]() -> BOOL {
    const auto* upgrade = reinterpret_cast<const DRIVER_UPGRADE_INFO_1W*>(info);
    if (level != 1 || !upgrade || !upgrade->pPrinterName) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    OpenedPrinter printer(upgrade->pPrinterName, PRINTER_ALL_ACCESS);
    if (!printer.handle) {
      const DWORD error = GetLastError();
      PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
      if (error != ERROR_ACCESS_DENIED || !OpenPrinterAsShellUser(upgrade->pPrinterName, &printer.handle, &defaults)) {
        printer.handle = nullptr;
        SetLastError(error);
        return FALSE;
      }
    }
    OpenedDatabase database(printer.handle);
    if (!database.handle) return FALSE;
    EnsurePrinterIdentity(printer.handle);
    AddMissingPaperForms(printer.handle, database.handle);
    return MigratePrinterSettings(printer.handle, database.handle, TRUE) ? TRUE : FALSE;
  });
}
