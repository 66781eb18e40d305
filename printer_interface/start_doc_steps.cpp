// Steps of a document's start: protected-mode clean-up, the job's private
// settings, the security-marking count and the secure-code check.
#include "pi/start_doc_steps.h"

#include <string>
#include <vector>

#include "pi/security_marking.h"
#include "settings/common/common_utils.h"
#include "settings/common/module_state.h"
#include "settings/database/ddd_file.h"
#include "settings/database/ddd_queries.h"
#include "settings/items/item_access.h"
#include "settings/stores/private_blobs.h"
#include "settings/stores/user_registry_values.h"
#include "win/errors.h"
#include "win/memory.h"
#include "win/msgbox.h"
#include "win/registry.h"
#include "win/resources.h"
#include "win/spooler.h"
#include "win/strings.h"
#include "win/window.h"

namespace morva::pi {
namespace {

constexpr DWORD kShortDevmode = 1604;
constexpr WORD kSettingsFile = 374, kPerUserSettings = 439, kMarkingText = 259;
constexpr WORD kSecurePrint = 334;

LONG number(void* devmode, void* printer_data, WORD ddmid) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (GetItemValue(ddmid, devmode, printer_data, &type, &size, &v)) return 0;
  return GetTypedValue(type, &v);
}

bool text(void* devmode, void* printer_data, WORD ddmid, std::u16string* out) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (GetItemValue(ddmid, devmode, printer_data, &type, &size, &v) || type != 6) return false;
  *out = ItemText(v, size);
  return true;
}

std::u16string resource_string(UINT id) {
  WCHAR buffer[512] = {};
  const int n = LoadStringW(GetResourceModule(), id, buffer, 512);
  return n > 0 ? std::u16string(buffer, static_cast<std::size_t>(n)) : std::u16string();
}

// Deletes sub-keys of HKEY_CURRENT_USER\<global field>DirectFax.
void delete_direct_fax_keys(DddHandle* database, WORD field, std::initializer_list<LPCWSTR> sub_keys) {
  WCHAR* base = DddGetFieldString(&database->main, field, 0);
  if (!base) return;
  const std::u16string path = std::u16string(base) + u"DirectFax";
  GlobalFree(base);
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
  for (LPCWSTR sub : sub_keys) RegDeleteTreeW(key, sub);
  RegCloseKey(key);
}

std::u16string printer_name(HANDLE printer) {
  DWORD needed = 0;
  GetPrinterW(printer, 1, nullptr, 0, &needed);
  std::vector<BYTE> buffer(needed);
  if (!needed || !GetPrinterW(printer, 1, buffer.data(), needed, &needed)) return {};
  const WCHAR* name = reinterpret_cast<PRINTER_INFO_1W*>(buffer.data())->pName;
  return name ? std::u16string(name) : std::u16string();
}

}  // namespace

bool IsUsableFileName(LPCWSTR name) {
  if (!name || !name[0]) return false;
  static constexpr char16_t kPipe[] = u"\\\\.\\pipe\\";
  const std::u16string text(name);
  const std::size_t n = std::char_traits<char16_t>::length(kPipe);
  return !(text.size() >= n && lstrcmpiW(text.substr(0, n).c_str(), kPipe) == 0);
}

void CleanUpProtectedModeSettings(HANDLE printer, DddHandle* database) {
  if (!database || !IsIEProtectedModeProcess()) return;
  delete_direct_fax_keys(database, 33, {u"AddressBookFiles", u"CoverSheetForms"});
  delete_direct_fax_keys(database, 30, {u"SenderInfo"});
  DeleteUserSettingInfoValue(printer, database);
}

void ReloadJobPrivateSettings(HANDLE printer, DddHandle* database, void* devmode, void* printer_data,
                              bool marking_wanted, BYTE** marking, DWORD* marking_size, BYTE** spinfo,
                              DWORD* spinfo_size) {
  *marking = *spinfo = nullptr;
  *marking_size = *spinfo_size = 0;
  BYTE* extension = static_cast<BYTE*>(devmode) + kShortDevmode;
  BYTE** wanted_marking = marking_wanted ? marking : nullptr;
  DWORD* wanted_marking_size = marking_wanted ? marking_size : nullptr;
  std::u16string file;
  bool loaded = false;
  if (text(devmode, printer_data, kSettingsFile, &file) && IsUsableFileName(file.c_str()))
    loaded = LoadPrivateSettings(printer, database, file.c_str(), morva::settings::kPrivateStorePrinterData, nullptr, extension,
                                 wanted_marking, wanted_marking_size, spinfo, spinfo_size);
  if (!loaded) {
    const WORD kind = number(devmode, printer_data, kPerUserSettings) == 1 ? morva::settings::kPrivateStoreUserRegistry
                                                                         : morva::settings::kPrivateStorePrinterData;
    loaded = LoadPrivateSettings(printer, database, nullptr, kind, nullptr, extension, wanted_marking,
                                 wanted_marking_size, spinfo, spinfo_size);
  }
  if (!loaded) GetCurrentDevmodeExtension(printer, extension);
}

INT PrepareSealmarkCounts(HANDLE printer, DddHandle* database, void* devmode, void* printer_data,
                          const BYTE* settings, DWORD settings_size, const BYTE* extra, DWORD extra_size,
                          DWORD* active, INT* outputs) {
  std::u16string marking_text;
  if (!database || !database->main.open || !text(devmode, printer_data, kMarkingText, &marking_text)) return -1;
  DeviceCapabilityBits bits{};
  LoadCapabilityBits(database, &bits);
  const std::u16string name = printer_name(printer);
  if (name.empty() || Sealmark_IsAvailable(&bits, name.c_str()) != 1) return 1;
  SealmarkSession* session = nullptr;
  if (Sealmark_OpenSession(marking_text.c_str(), name.c_str(), kSealmarkPdlVantiq, &session) != kSealmarkOk ||
      !session)
    return -1;
  SealmarkSettings blob{settings_size, const_cast<BYTE*>(settings), extra_size, const_cast<BYTE*>(extra)};
  DWORD count = 0;
  if (Sealmark_GetOutputCount(session, &blob, &count) == kSealmarkOk) {
    *active = 1;
    *outputs = static_cast<INT>(count);
  }
  Sealmark_CloseSession(session);
  return 1;
}

INT CheckSecureCodeBeforePrint(void* devmode, void* printer_data, DddHandle* database) {
  if (number(devmode, printer_data, kSecurePrint) != 1) return 1;
  if (CheckCodeLength(devmode, printer_data, HasDeviceCapability(database, 0x40000000), nullptr, nullptr)) return 1;
  const std::u16string message = resource_string(9390);
  const std::u16string caption = resource_string(265);
  if (MessageBoxW(GetActiveWindow(), message.c_str(), caption.c_str(), MB_OKCANCEL | MB_ICONEXCLAMATION) != IDOK)
    return 0;
  const DWORD off = 0;
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (GetItemValue(kSecurePrint, devmode, printer_data, &type, &size, &v) == 0)
    SetItemValue(kSecurePrint, devmode, printer_data, static_cast<DWORD>(-1), type, &off);
  return 1;
}

}  // namespace morva::pi
