// A run of the outside fax address-book library over the destination list.
#include "fax/fax_address_book.h"

#include <cstring>
#include <string>

#include "fax/fax_destination_checks.h"
#include "fax/fax_registry_lists.h"
#include "settings/common/module_state.h"
#include "settings/database/ddd_queries.h"
#include "settings/items/item_access.h"
#include "win/win.h"

namespace morva::fax {
namespace {

constexpr UINT kKeyTailString = 4639;
constexpr UINT kCaptionString = 265;
constexpr UINT kMsgFileRefused = 5007, kMsgFileUnreadable = 5008;

std::u16string load_string(HMODULE module, UINT id) {
  WCHAR buffer[1024] = {};
  const int n = module ? LoadStringW(module, id, buffer, 1024) : 0;
  return std::u16string(buffer, static_cast<size_t>(n > 0 ? n : 0));
}

bool put_ansi(char* out, size_t room, const std::u16string& text) {
  if (text.empty()) return true;
  const int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), out,
                                    static_cast<int>(room - 1), nullptr, nullptr);
  return n > 0;
}

std::u16string library_path(DddHandle* database) {
  WCHAR* name = nullptr;
  if (!database || DddGetDatabaseString(&database->main, kValidatorDatabaseString, &name) != DDD_OK || !name)
    return {};
  std::u16string file = name;
  GlobalFree(name);
  WCHAR dir[MAX_PATH + 1] = {};
  if (file.empty() || !GetModuleDirectory(dir, sizeof(dir))) return {};
  return std::u16string(dir) + file;
}

bool read_number(void* dm, void* pd, WORD ddmid, LONG* out) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (GetItemValue(ddmid, dm, pd, &type, &size, &v)) return false;
  *out = GetTypedValue(type, &v);
  return true;
}

void warn(HWND owner, HMODULE resources, UINT id) {
  const std::u16string caption = load_string(resources, kCaptionString);
  const std::u16string text = load_string(resources, id);
  if (!text.empty()) MessageBoxW(owner, text.c_str(), caption.c_str(), MB_ICONWARNING);
}

}  // namespace

DWORD AddressBookFlags(WORD mode, BOOL sip, BOOL keep, BOOL s4113, BOOL capability, BOOL single) {
  DWORD flags = 0;
  if (keep) flags |= 0x1;
  if (mode == 1) flags |= 0x2;
  if (mode == 2 || sip) {
    flags |= 0x4 | 0x8;
  }
  if (s4113) flags |= 0x8;
  if (mode != 3) flags |= 0x10;
  if (sip) flags |= 0x20;
  if (capability) flags |= 0x40;
  if (single) flags |= 0x80;
  return flags;
}

INT RunAddressBook(const AddressBookRequest& r, INT* closes) {
  INT dummy = 0;
  if (!closes) closes = &dummy;
  *closes = 1;
  const FaxValidationContext& c = r.context;
  HMODULE resources = r.resources ? r.resources : GetResourceModule();
  const bool device = r.file == nullptr;
  if (!c.list || !c.database) {
    *closes = 0;
    return 0;
  }
  // The parameter block.
  AddressBookParams params{};
  WCHAR base[kFaxUserKeyChars] = {};
  const std::u16string tail = load_string(resources, kKeyTailString);
  INT language = 0;
  if (!GetFaxUserKeyPath(c.database, 1, tail.c_str(), base, kFaxUserKeyChars) || tail.empty() ||
      !ReadResourceNumber(&language) || (!device && !put_ansi(params.File, sizeof params.File, r.file)) ||
      (r.helpFile && !put_ansi(params.HelpFile, sizeof params.HelpFile, r.helpFile)) ||
      !put_ansi(params.KeyPath, sizeof params.KeyPath, base)) {
    *closes = 0;
    return 0;
  }
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, base, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) == ERROR_SUCCESS)
    RegCloseKey(key);
  params.Language = static_cast<DWORD>(language);
  PortAddressBlock* port = nullptr;
  if (device && !BuildPortAddressBlock(c, &port)) {
    *closes = 0;
    return 0;
  }
  struct Free {
    void* p;
    ~Free() {
      if (p) GlobalFree(p);
    }
  } port_guard{port};
  // Flags, the record limit, the line and the current records.
  FaxDeviceRules rules{};
  LONG s4113 = 0, s8207 = 0;
  if (!LoadFaxDeviceRules(r.faxUnitOption, c.devmode, c.printerData, c.database, &rules) ||
      !read_number(c.devmode, c.printerData, 4113, &s4113)) {
    *closes = 0;
    return 0;
  }
  const DWORD flags = AddressBookFlags(rules.Mode, rules.SipFax, rules.KeepCommMode2, s4113 == 1, r.capability,
                                       rules.SingleDestination);
  const INT maximum = IsFourDigitMode(rules) ? rules.MaxDestinations : kAddressBookDefaultMax;
  FaxLineSettingsAnsi line{};
  FaxAddressRecord* records = nullptr;
  INT count = 0;
  if (maximum <= 0 || !ReadFaxLineSettingsAnsi(c.devmode, c.printerData, &line) ||
      !BuildFaxAddressRecords(c.list, static_cast<WORD>(maximum), &records, &count) ||
      (device && !read_number(c.devmode, c.printerData, 8207, &s8207))) {
    *closes = 0;
    return 0;
  }
  Free records_guard{records};
  // The library, for this call only.
  const std::u16string path = library_path(c.database);
  HMODULE lib = path.empty() ? nullptr : LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  INT result = 8001;
  if (lib) {
    if (device) {
      if (auto show = morva_proc_as<FaxDeviceRecipShowDialogFn>(GetProcAddress(lib, kDeviceAddressBookExport)))
        result = show(c.owner, &params, flags, &line, maximum, records, &count, port,
                      static_cast<DWORD>(s8207) & 0xFFFF);
    } else if (auto show = morva_proc_as<FaxRecipShowDialogFn>(GetProcAddress(lib, kFileAddressBookExport))) {
      result = show(c.owner, &params, flags, &line, maximum, records, &count, 0);
    }
    FreeLibrary(lib);
  }
  if (result == 0) {
    if (count < 0 || count > maximum || !StoreFaxAddressRecords(c.list, records, count)) {
      *closes = 0;
      return 0;
    }
    const DWORD n = static_cast<DWORD>(count);
    SetItemValueRaw(380, c.devmode, c.printerData, 3, 2, &n);
    if (device) {
      const DWORD zero = 0;
      SetItemValueRaw(1891, c.devmode, c.printerData, 1, 4, &zero);
    }
    return 1;
  }
  if (result == -1) return 1;
  if (!device && (result == 1 || result == 3)) {
    warn(c.owner, resources, result == 1 ? kMsgFileRefused : kMsgFileUnreadable);
    *closes = 0;
    return 1;
  }
  *closes = 0;
  return 0;
}

}  // namespace morva::fax
