// Fax address records for the outside fax components, the block that tells
// them how to reach the device, and the validation of device address-book
// entries.
//
// Beyond what the components ask: the record array has room for every
// record the validator is told about, and the list changes only when the
// validator ran and every record it returned converts back.
#include "fax/fax_address_records.h"

#include <cstring>
#include <string>
#include <vector>

#include "pi/scramble.h"
#include "settings/common/common_utils.h"
#include "settings/common/module_state.h"
#include "settings/common/system_utils.h"
#include "settings/constraints/conflict_messages.h"
#include "settings/database/ddd_queries.h"
#include "settings/items/item_access.h"
#include "win/win.h"
#include "fax_text.h"

namespace morva::fax {
namespace {

using fax_text::text_of;
using fax_text::ansi_of;
using fax_text::to_ansi;


constexpr DWORD kAccountCapability = 0x2000000;
constexpr UINT kCaptionString = 265;
constexpr UINT kMsgAllRejected = 5252;
constexpr UINT kMsgRejected = 5246;
constexpr UINT kMsgMoreRejected = 5250;
constexpr DWORD kUserChars = 32;
constexpr DWORD kPasswordChars = 128;

constexpr WORD kCommToRecord[] = {0, 2, 1};  // and back: the same table

bool to_wide(const std::string& text, std::u16string* out) {
  out->clear();
  if (text.empty()) return true;
  const int chars = MultiByteToWideChar(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
  if (chars <= 0) return false;
  out->resize(static_cast<size_t>(chars));
  return MultiByteToWideChar(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), out->data(), chars) == chars;
}

// The text in the ANSI field, cut before the first character that would
// not fit with the terminator.
bool put_ansi(char* field, size_t size, const std::u16string& text) {
  std::memset(field, 0, size);
  std::u16string cut = text;
  std::string bytes;
  for (;;) {
    if (!to_ansi(cut, &bytes)) return false;
    if (bytes.size() < size) break;
    cut.pop_back();
    if (!cut.empty() && cut.back() >= 0xD800 && cut.back() < 0xDC00) cut.pop_back();
  }
  std::memcpy(field, bytes.data(), bytes.size());
  return true;
}

bool put_wide(WCHAR* field, size_t chars, const std::string& text) {
  std::u16string wide;
  if (!to_wide(text, &wide)) return false;
  if (wide.size() > chars - 1) wide.resize(chars - 1);
  std::memset(field, 0, chars * sizeof(WCHAR));
  std::memcpy(field, wide.data(), wide.size() * sizeof(WCHAR));
  return true;
}

template <size_t A, size_t W>
bool put_ansi(char (&field)[A], const WCHAR (&wide)[W]) {
  return put_ansi(field, A, text_of(wide));
}
template <size_t W, size_t A>
bool put_wide(WCHAR (&field)[W], const char (&ansi)[A]) {
  return put_wide(field, W, ansi_of(ansi));
}

bool read_number(void* dm, void* pd, WORD ddmid, LONG* out) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (ReadEffectiveItemValue(ddmid, dm, pd, &type, &size, &v) != 0) return false;
  *out = GetTypedValue(type, &v);
  return true;
}

bool read_text(void* dm, void* pd, WORD ddmid, std::u16string* out) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (GetItemValue(ddmid, dm, pd, &type, &size, &v) != 0 || type != 6) return false;
  *out = ItemText(v, size);
  return true;
}

void put_text(LPWSTR out, DWORD chars, const std::u16string& text) {
  const size_t n = std::min<size_t>(text.size(), chars);
  std::memcpy(out, text.data(), n * sizeof(WCHAR));
  out[n] = 0;
}

// A library of the driver's directory named by a database string.
std::u16string driver_library(DddHandle* database, WORD string) {
  WCHAR* name = nullptr;
  if (!database || DddGetDatabaseString(&database->main, string, &name) != DDD_OK || !name) return {};
  std::u16string file = name;
  GlobalFree(name);
  WCHAR dir[MAX_PATH + 1] = {};
  if (file.empty() || !GetModuleDirectory(dir, sizeof(dir))) return {};
  return std::u16string(dir) + file;
}

std::u16string load_string(HMODULE module, UINT id) {
  WCHAR buffer[1024] = {};
  const int n = module ? LoadStringW(module, id, buffer, 1024) : 0;
  return std::u16string(buffer, static_cast<size_t>(n > 0 ? n : 0));
}

struct FreeOnExit {
  void* block;
  ~FreeOnExit() {
    if (block) GlobalFree(block);
  }
};

}  // namespace

INT ToFaxAddressRecord(FaxAddressRecord* r, const FaxDestination* d) {
  if (!r || !d || d->CommMode > 2) return 0;
  std::memset(r, 0, sizeof(*r));
  r->Kind = d->Kind;
  r->Line = d->Line;
  r->CommMode = kCommToRecord[d->CommMode];
  r->BoxMode = d->BoxMode;
  r->MailboxId = d->MailboxId;
  r->RelayId = d->RelayId;
  r->RelayPrint = d->RelayPrint;
  r->SourceKind = d->SourceKind;
  r->SourceValue = d->SourceValue;
  if (!put_ansi(r->Number, d->Number) || !put_ansi(r->Name, d->Name) || !put_ansi(r->Company, d->Company) ||
      !put_ansi(r->MailboxPassword, d->MailboxPassword) || !put_ansi(r->RelayNumbers, d->RelayNumbers) ||
      !put_ansi(r->FCode, d->FCode) || !put_ansi(r->FCodePassword, d->FCodePassword))
    return 0;
  std::string id;
  if (!to_ansi(text_of(d->SourceId), &id)) return 0;
  if (!id.empty()) {
    BYTE bytes[3 * ((sizeof(d->SourceId) / 2 + 3) / 4) + 3] = {};
    int written = 0;
    if (morva::pi::Base64Decode(id.c_str(), static_cast<int>(id.size()), bytes, &written,
                                static_cast<int>(sizeof(bytes))) != 0 ||
        written > 16)
      return 0;
    std::memcpy(r->SourceId, bytes, static_cast<size_t>(written));
  }
  return 1;
}

INT FromFaxAddressRecord(FaxDestination* d, const FaxAddressRecord* r) {
  if (!d || !r || r->CommMode > 2) return 0;
  FaxDestination out = *d;
  out.Kind = r->Kind;
  out.Line = r->Line;
  out.CommMode = kCommToRecord[r->CommMode];
  out.BoxMode = r->BoxMode;
  out.MailboxId = r->MailboxId;
  out.RelayId = r->RelayId;
  out.RelayPrint = r->RelayPrint;
  out.SourceKind = r->SourceKind;
  out.SourceValue = r->SourceValue;
  if (!put_wide(out.Number, r->Number) || !put_wide(out.Name, r->Name) || !put_wide(out.Company, r->Company) ||
      !put_wide(out.MailboxPassword, r->MailboxPassword) || !put_wide(out.RelayNumbers, r->RelayNumbers) ||
      !put_wide(out.FCode, r->FCode) || !put_wide(out.FCodePassword, r->FCodePassword))
    return 0;
  std::memset(out.SourceId, 0, sizeof(out.SourceId));
  static constexpr BYTE kZero[16] = {};
  if (std::memcmp(r->SourceId, kZero, 16) != 0) {
    char text[32] = {};
    int written = 0;
    if (morva::pi::Base64Encode(r->SourceId, 16, text, &written, static_cast<int>(sizeof(text))) != 0) return 0;
    for (int i = 0; i < written && i < 24; ++i) out.SourceId[i] = static_cast<WCHAR>(text[i]);
  }
  *d = out;
  return 1;
}

INT BuildFaxAddressRecords(const FaxDestinationList* list, WORD maxCount, FaxAddressRecord** records, INT* count) {
  if (!records || !count) return 0;
  *records = nullptr;
  *count = 0;
  const INT n = FaxList_Count(list);
  if (n < 0 || maxCount == 0) return 0;
  const size_t room = std::max<size_t>(maxCount, static_cast<size_t>(n));
  auto* array = static_cast<FaxAddressRecord*>(GlobalAlloc(GPTR, room * sizeof(FaxAddressRecord)));
  if (!array) return 0;
  for (INT i = 0; i < n; ++i) {
    if (!ToFaxAddressRecord(&array[i], FaxList_GetAt(list, i))) {
      GlobalFree(array);
      return 0;
    }
  }
  *records = array;
  *count = n;
  return 1;
}

INT StoreFaxAddressRecords(FaxDestinationList* list, const FaxAddressRecord* records, INT count) {
  const INT n = FaxList_Count(list);
  if (n < 0 || count < 0 || (count > 0 && !records)) return 0;
  // Converted aside in full first, so that a record that does not convert
  // leaves the list as it was.
  FaxDestinationList* fresh = FaxList_Create();
  if (!fresh) return 0;
  for (INT i = 0; i < count; ++i) {
    FaxDestination d{};
    if (i < n) d = *FaxList_GetAt(list, i);
    if (!FromFaxAddressRecord(&d, &records[i]) || !FaxList_Append(fresh, d)) {
      FaxList_Destroy(fresh);
      return 0;
    }
  }
  std::memcpy(fresh->Subject, list->Subject, sizeof(list->Subject));
  std::memcpy(fresh->Comment, list->Comment, sizeof(list->Comment));
  const INT copied = FaxList_Copy(list, fresh);
  FaxList_Destroy(fresh);
  return copied;
}

INT GetAccountCredentials(DddHandle* database, void* dm, void* pd, LPWSTR user, LPWSTR password) {
  if (!user || !password) return 0;
  LONG mode = 0, s5127 = 0, s5178 = 0, s5164 = 0, s5165 = 0;
  if (!read_number(dm, pd, 5163, &mode) || !read_number(dm, pd, 5127, &s5127) || !read_number(dm, pd, 5178, &s5178) ||
      !read_number(dm, pd, 5164, &s5164) || !read_number(dm, pd, 5165, &s5165))
    return 0;
  WORD user_id = 0, password_id = 0;
  if (!HasDeviceCapability(database, kAccountCapability)) {
    if (mode == 0 && s5127 == 7) user_id = 5121, password_id = 5160;
    else if (mode == 1 && s5178 == 7) user_id = 5150, password_id = 5161;
  } else {
    user_id = 5174, password_id = 5175;
    if (mode != 0 && s5165 != 1) {
      if (s5178 == 7) user_id = 5150, password_id = 5161;
    } else if (mode == 0 && s5164 != 1) {
      if (s5127 == 7) user_id = 5121, password_id = 5160;
    }
  }
  std::u16string name;
  if (user_id == 0 || !read_text(dm, pd, user_id, &name) || name.empty()) {
    WCHAR logon[kUserChars + 1] = {};
    DWORD size = kUserChars + 1;
    GetLogonUserName(logon, &size);
    name = logon;
    password_id = mode != 0 ? 5161 : 5160;
  }
  std::u16string stored;
  if (!read_text(dm, pd, password_id, &stored)) return 0;
  std::u16string plain;
  if (!stored.empty()) {
    LPWSTR decoded = nullptr;
    if (!ConvertProtectedString(2, stored.c_str(), &decoded) || !decoded) return 0;
    plain = decoded;
    GlobalFree(decoded);
  }
  put_text(user, kUserChars, name);
  put_text(password, kPasswordChars, plain);
  return 1;
}

INT ReadFaxLineSettingsAnsi(void* dm, void* pd, FaxLineSettingsAnsi* out) {
  if (!out) return 0;
  FaxLineSettingsAnsi s{};
  LONG w4111 = 0, w5142 = 0, w5144 = 0, w5145 = 0;
  std::u16string outside, extension;
  if (!read_number(dm, pd, 4111, &w4111) || !read_number(dm, pd, 5142, &w5142) ||
      !read_number(dm, pd, 5144, &w5144) || !read_number(dm, pd, 5145, &w5145) ||
      !read_text(dm, pd, 5141, &outside) || !read_text(dm, pd, 5143, &extension) ||
      !put_ansi(s.OutsideLinePrefix, sizeof(s.OutsideLinePrefix), outside) ||
      !put_ansi(s.ExtensionPrefix, sizeof(s.ExtensionPrefix), extension))
    return 0;
  s.Word4111 = static_cast<WORD>(w4111);
  s.OutsideLineDial = static_cast<WORD>(w5142);
  s.ExtensionDial = static_cast<WORD>(w5144);
  s.DirectDial = static_cast<WORD>(w5145);
  *out = s;
  return 1;
}

INT BuildPortAddressBlock(const FaxValidationContext& c, PortAddressBlock** block) {
  if (!block) return 0;
  *block = nullptr;
  auto* b = static_cast<PortAddressBlock*>(GlobalAlloc(GPTR, sizeof(PortAddressBlock)));
  if (!b) return 0;
  FreeOnExit guard{b};
  const WCHAR* selection = c.database ? DddGetFieldString(&c.database->main, 37, 0) : nullptr;
  std::u16string selection_text = selection ? selection : u"";
  if (selection) GlobalFree(const_cast<WCHAR*>(selection));
  if (!selection || !put_ansi(b->DeviceSelection, sizeof(b->DeviceSelection), selection_text)) return 0;
  std::string port;
  if (!c.portName || !to_ansi(c.portName, &port)) return 0;

  bool found = false;
  const std::u16string helper = driver_library(c.database, kPortHelperDatabaseString);
  HMODULE lib = helper.empty() ? nullptr : LoadLibraryExW(helper.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (lib) {
    auto get = morva_proc_as<GetIPAddressFromPortFn>(GetProcAddress(lib, "GetIPAddressFromPort"));
    auto wait = morva_proc_as<WaitForRunningThreadsFn>(GetProcAddress(lib, "WaitForRunningThreads"));
    if (get && wait) {
      char address[44] = {};
      const int rc = get(port.c_str(), address);
      wait();
      if (rc == 0) {
        // The helper's answer, cut to the block's field with its terminator.
        const size_t length = strnlen(address, sizeof(b->DeviceAddress) - 1);
        std::memcpy(b->DeviceAddress, address, length);
        found = true;
      }
    }
    FreeLibrary(lib);
  }
  if (!found) {
    HMODULE resources = GetResourceModule();
    const std::u16string text = load_string(resources, kMsgNoPortAddress);
    const std::u16string caption = load_string(resources, kCaptionString);
    MessageBoxW(c.owner, text.c_str(), caption.c_str(), MB_OK | MB_ICONWARNING);
    return 0;
  }
  WCHAR user[kUserChars + 1] = {};
  WCHAR password[kPasswordChars + 1] = {};
  if (!GetAccountCredentials(c.database, c.devmode, c.printerData, user, password) ||
      !put_ansi(b->UserName, sizeof(b->UserName), user) || !put_ansi(b->Password, sizeof(b->Password), password))
    return 0;
  guard.block = nullptr;
  *block = b;
  return 1;
}

INT ValidateFaxAddresses(const FaxValidationContext& c, FaxAddressRecord** out_records, INT* out_count) {
  if (out_records) *out_records = nullptr;
  if (out_count) *out_count = 0;
  if (!c.list || !c.database) return -1;
  const std::u16string validator = driver_library(c.database, kValidatorDatabaseString);
  if (validator.empty()) return -1;
  FaxAddressRecord* records = nullptr;
  INT count = 0;
  const WORD max = static_cast<WORD>(DddGetFieldValue(&c.database->main, 25, 2, 0));
  if (!BuildFaxAddressRecords(c.list, max, &records, &count)) return -1;
  FreeOnExit records_guard{records};
  PortAddressBlock* block = nullptr;
  if (!BuildPortAddressBlock(c, &block)) return -1;
  FreeOnExit block_guard{block};
  HMODULE lib = LoadLibraryExW(validator.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!lib) return -1;
  auto validate = morva_proc_as<FaxAddressValidationFn>(GetProcAddress(lib, kValidatorExport));
  const INT result = validate ? validate(c.owner, records, count, block) : -1;
  FreeLibrary(lib);
  if (!validate) return -1;
  StoreFaxAddressRecords(c.list, records, count);
  if (out_records && out_count) {
    *out_records = records;
    *out_count = count;
    records_guard.block = nullptr;
  }
  return result;
}

INT CheckDeviceDestinations(const FaxValidationContext& c, HMODULE resources) {
  FaxAddressRecord* records = nullptr;
  INT count = 0;
  const INT result = ValidateFaxAddresses(c, &records, &count);
  if (result == kValidationSomeRejected) ShowRejectedDestinations(c.owner, resources, records, count);
  if (records) GlobalFree(records);
  return result == kValidationAccepted ? 0 : 1;
}

std::u16string RejectedDestinationsText(HMODULE resources, const FaxAddressRecord* records, INT count) {
  if (!records || count <= 0) return {};
  std::vector<std::u16string> numbers;
  for (INT i = 0; i < count; ++i) {
    if (records[i].SourceValue != 0) continue;
    std::u16string number;
    to_wide(ansi_of(records[i].Number), &number);
    numbers.push_back(number);
  }
  const INT rejected = static_cast<INT>(numbers.size());
  if (rejected == 0) return {};
  if (!resources) resources = GetResourceModule();
  if (rejected == count) return load_string(resources, kMsgAllRejected);
  std::u16string more;
  if (rejected > 3) {
    LPWSTR text = nullptr;
    if (FormatResourceString(resources, &text, 0, kMsgMoreRejected, rejected - 3) && text) {
      more = text;
      GlobalFree(text);
    }
  }
  numbers.resize(std::max<size_t>(numbers.size(), 3));
  LPWSTR formatted = nullptr;
  if (!FormatResourceString(resources, &formatted, 0, kMsgRejected, numbers[0].c_str(), numbers[1].c_str(),
                            numbers[2].c_str(), more.c_str()) ||
      !formatted)
    return {};
  const std::u16string text = formatted;
  GlobalFree(formatted);
  auto without_cr = [](std::u16string s) {
    std::erase(s, u'\r');
    return s;
  };
  if (rejected > 3) return without_cr(text);
  // Lines after the kept numbers are dropped: the text up to the n-th CR,
  // then what follows the fourth.
  size_t cut = 0, fourth = std::u16string::npos;
  INT seen = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'\r') continue;
    ++seen;
    if (seen == rejected) cut = i;
    if (seen == 4) {
      fourth = i;
      break;
    }
  }
  if (seen < rejected) cut = text.size();
  return without_cr(text.substr(0, cut)) + (fourth == std::u16string::npos ? u"" : text.substr(fourth + 1));
}

void ShowRejectedDestinations(HWND owner, HMODULE resources, const FaxAddressRecord* records, INT count) {
  if (!resources) resources = GetResourceModule();
  const std::u16string text = RejectedDestinationsText(resources, records, count);
  if (text.empty()) return;
  const std::u16string caption = load_string(resources, kCaptionString);
  MessageBoxW(owner, text.c_str(), caption.c_str(), MB_OK | MB_ICONWARNING);
}

}  // namespace morva::fax
