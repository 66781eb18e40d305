// The fax page's destination checks: speed-dial numbers, destination units,
// the limits on adding, the single-destination restriction, broadcast
// options and the clean-up of a stored list after the device changed.
#include "fax/fax_destination_checks.h"

#include <cstring>
#include <string>

#include "fax/fax_registry_lists.h"
#include "settings/common/module_state.h"
#include "settings/database/ddd_queries.h"
#include "settings/items/item_access.h"
#include "win/win.h"
#include "fax_text.h"

namespace morva::fax {
namespace {

using fax_text::text_of;


constexpr DWORD kDefaultMaxDestinations = 50;
constexpr DWORD kMaxUnits = 600;
constexpr DWORD kMode1UnitsBeforeAdd = 12;
constexpr DWORD kMode1UnitsOnLeave = 13;
constexpr UINT kCaptionString = 265;

bool all_digits(const std::string& s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

bool read_number(void* dm, void* pd, WORD ddmid, DWORD* out) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (GetItemValue(ddmid, dm, pd, &type, &size, &v) != 0) return false;
  *out = GetTypedValueUnsigned(type, &v);
  return true;
}

std::string ansi(const std::u16string& text) {
  if (text.empty()) return {};
  const int bytes =
      WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), out.data(), bytes, nullptr, nullptr);
  return out;
}

std::string padded(const FaxDeviceRules& rules, std::string number) {
  if (IsFourDigitMode(rules) && number.size() < 4) number.insert(0, 4 - number.size(), '0');
  return number;
}

DWORD speed_dial_units(const FaxDeviceRules& rules, const std::u16string& number16) {
  if (!IsFourDigitMode(rules)) return rules.Mode == 0 ? 1 : 0;
  const std::string n = padded(rules, ansi(number16));
  if (all_digits(n)) return 1;
  if (n.size() != 4 || n[3] != '*') return 0;
  if (n[2] == '*') return n == "00**" ? 99 : n == "20**" ? 1 : 100;
  return n == "000*" ? 9 : n == "200*" ? 1 : 10;
}

bool mode1_limit_applies(const FaxDeviceRules& rules) {
  return rules.Mode == 1 && !(rules.CoverSheet && !rules.OneJobForAll);
}

std::u16string load_string(HMODULE module, UINT id) {
  WCHAR buffer[1024] = {};
  const int n = module ? LoadStringW(module, id, buffer, 1024) : 0;
  return std::u16string(buffer, static_cast<size_t>(n > 0 ? n : 0));
}

}  // namespace

bool IsFourDigitMode(const FaxDeviceRules& rules) { return rules.Mode == 2 || rules.SipFax; }

INT LoadFaxDeviceRules(BOOL faxUnitOption, void* devmode, void* printerData, DddHandle* database,
                       FaxDeviceRules* rules) {
  if (!rules) return 0;
  FaxDeviceRules r{};
  DWORD sip = 0, max = 0, cover = 0, one_job = 0, single = 0, no_numbers = 0, keep = 0;
  if (!GetDirectFaxMode(faxUnitOption, devmode, printerData, &r.Mode) ||
      !read_number(devmode, printerData, 4142, &sip) || !read_number(devmode, printerData, 8207, &max) ||
      !read_number(devmode, printerData, 376, &cover) || !read_number(devmode, printerData, 379, &one_job) ||
      !read_number(devmode, printerData, 5212, &single) || !read_number(devmode, printerData, 5211, &no_numbers) ||
      !read_number(devmode, printerData, 4112, &keep))
    return 0;
  r.SipFax = sip != 0;
  r.MaxSpeedDial = max;
  r.MaxDestinations = database ? static_cast<WORD>(DddGetFieldValue(&database->main, 25, 2, 0)) : 0;
  r.CoverSheet = cover == 1;
  r.OneJobForAll = one_job == 1;
  r.SingleDestination = single != 0;
  r.NoNumbers = no_numbers == 1;
  r.KeepCommMode2 = keep == 1;
  *rules = r;
  return 1;
}

BYTE ListModeFromRules(const FaxDeviceRules& rules) {
  if (IsFourDigitMode(rules)) return 1;
  switch (rules.Mode) {
    case 0: return 2;
    case 1: return 3;
    default: return 0;
  }
}

WORD PageModeFromListMode(BYTE listMode) {
  switch (listMode) {
    case 0: return 3;
    case 1: return 4;
    case 2: return 0;
    case 3: return 1;
    default: return 0xFFFF;
  }
}

FaxNumberRule GetFaxNumberRule(const FaxDeviceRules& rules, WORD kind) {
  static constexpr FaxNumberRule kNumberMode1{59, {9285, 0}, 9233, 0, 5099, true};
  static constexpr FaxNumberRule kNumber{128, {9235, 9220}, 9233, 9238, 5242, true};
  static constexpr FaxNumberRule kIpFax{128, {9235, 9220}, 9233, 0, 5208, true};
  static constexpr FaxNumberRule kSpeedDialMode0{3, {9226, 9219}, 9233, 0, 5042, true};
  static constexpr FaxNumberRule kSpeedDialMode1{3, {9219, 0}, 9233, 0, 5101, true};
  static constexpr FaxNumberRule kSpeedDialFourDigit{4, {9226, 9219}, 9233, 0, 5194, true};
  static constexpr FaxNumberRule kSpeedDialUnchecked{4, {0, 0}, 0, 0, 0, false};
  if (kind == kFaxKindIpAddress) return kIpFax;
  if (kind != kFaxKindSpeedDial) return rules.Mode == 1 ? kNumberMode1 : kNumber;
  if (IsFourDigitMode(rules)) return kSpeedDialFourDigit;
  switch (rules.Mode) {
    case 0: return kSpeedDialMode0;
    case 1: return kSpeedDialMode1;
    default: return kSpeedDialUnchecked;
  }
}

INT ValidateSpeedDialNumber(const FaxDeviceRules& rules, LPCSTR number, DWORD* message) {
  if (!number || !message) return 0;
  const bool four = IsFourDigitMode(rules);
  *message = 0;
  if (!four && rules.Mode == 3) return 1;  // no speed-dial check without SIP fax
  const std::string n = padded(rules, number);
  const DWORD max = rules.MaxSpeedDial;
  if (all_digits(n)) {
    const unsigned long v = n.size() > 9 ? 0xFFFFFFFFul : std::stoul(n);
    if (v == 0) *message = four ? kMsgSpeedDialFourDigit : rules.Mode == 1 ? kMsgSpeedDialMode1 : kMsgSpeedDialMode0;
    else if (v > max)
      *message = four ? kMsgSpeedDialFourDigit : rules.Mode == 1 ? kMsgSpeedDialAboveMaxMode1 : kMsgSpeedDialAboveMaxMode0;
    return 1;
  }
  if (!four) {
    if (n == "***") return 1;
    if (n.size() < 2 || !all_digits(n.substr(0, 2))) {
      *message = kMsgSpeedDialMode0;
      return 1;
    }
    if (std::stoul(n.substr(0, 2)) * 10 > max) *message = kMsgSpeedDialAboveMaxMode0;
    return 1;
  }
  unsigned long value = 0;
  if (n.size() >= 3 && all_digits(n.substr(0, 3))) {
    value = std::stoul(n.substr(0, 3)) * 10;
  } else if (n.size() >= 4 && n[2] == '*' && n[3] == '*' && all_digits(n.substr(0, 2))) {
    value = std::stoul(n.substr(0, 2)) * 100;
  } else {
    *message = kMsgSpeedDialFourDigit;
    return 1;
  }
  if (value > max) *message = kMsgSpeedDialFourDigit;
  return 1;
}

INT CountDestinationUnits(const FaxDeviceRules& rules, const FaxDestination* destination, DWORD* units) {
  if (!destination || !units) return 0;
  *units = destination->Kind == kFaxKindSpeedDial ? speed_dial_units(rules, text_of(destination->Number)) : 1;
  return 1;
}

INT SumDestinationUnits(const FaxDeviceRules& rules, const FaxDestinationList* list, DWORD* sum) {
  if (!sum || FaxList_Count(list) < 0) return 0;
  const bool numbers_only = !IsFourDigitMode(rules) && rules.Mode <= 1;
  DWORD total = 0;
  for (INT i = 0; i < FaxList_Count(list); ++i) {
    const FaxDestination* d = FaxList_GetAt(list, i);
    if (numbers_only && d->Kind != kFaxKindNumber) continue;
    DWORD units = 0;
    CountDestinationUnits(rules, d, &units);
    total += units;
  }
  *sum = total;
  return 1;
}

INT IsDifferentDestination(const FaxDeviceRules& rules, const FaxDestination* a, const FaxDestination* b) {
  if (!a || !b) return 1;
  std::u16string na = text_of(a->Number), nb = text_of(b->Number);
  if (a->Kind == kFaxKindSpeedDial && b->Kind == kFaxKindSpeedDial) {
    if (IsFourDigitMode(rules)) {
      na.erase(0, na.find_first_not_of(u'0') == std::u16string::npos ? na.size() : na.find_first_not_of(u'0'));
      nb.erase(0, nb.find_first_not_of(u'0') == std::u16string::npos ? nb.size() : nb.find_first_not_of(u'0'));
    }
    return na != nb || text_of(a->Name) != text_of(b->Name) || text_of(a->Company) != text_of(b->Company);
  }
  if (na != nb || text_of(a->Name) != text_of(b->Name) || text_of(a->Company) != text_of(b->Company) ||
      text_of(a->FCode) != text_of(b->FCode) || text_of(a->FCodePassword) != text_of(b->FCodePassword) ||
      a->Kind != b->Kind || a->Line != b->Line || a->CommMode != b->CommMode || a->BoxMode != b->BoxMode)
    return 1;
  if (a->BoxMode == 1)
    return text_of(a->MailboxPassword) != text_of(b->MailboxPassword) || a->MailboxId != b->MailboxId;
  if (a->BoxMode == 2)
    return text_of(a->RelayNumbers) != text_of(b->RelayNumbers) || a->RelayId != b->RelayId ||
           a->RelayPrint != b->RelayPrint;
  return 0;
}

INT CheckUnitLimitBeforeAdd(const FaxDeviceRules& rules, const FaxDestinationList* list,
                            const FaxDestination* destination, WORD* code) {
  if (!code || !destination) return 0;
  if (destination->Kind == kFaxKindSpeedDial || !mode1_limit_applies(rules)) return 1;
  DWORD sum = 0;
  if (!SumDestinationUnits(rules, list, &sum)) return 0;
  if (sum < kMode1UnitsBeforeAdd) return 1;
  *code = kFaxAddUnitLimit;
  return 0;
}

INT CheckUnitLimit(const FaxDeviceRules& rules, const FaxDestinationList* list, WORD* code) {
  if (!code) return 0;
  if (!mode1_limit_applies(rules)) return 1;
  DWORD sum = 0;
  if (!SumDestinationUnits(rules, list, &sum)) return 0;
  if (sum < kMode1UnitsOnLeave) return 1;
  *code = kFaxAddUnitLimit;
  return 0;
}

INT CheckNewDestination(const FaxDeviceRules& rules, const FaxDestinationList* list,
                        const FaxDestination* destination, const FaxLineSettings* line, WORD* code) {
  if (!code) return 0;
  *code = kFaxAddOk;
  const INT count = FaxList_Count(list);
  if (!destination || !line || count < 0) return 0;
  if (destination->Kind != kFaxKindIpAddress) {
    LONG length = 0;
    if (!BuildFaxJobAttr(1, destination, line, 0, FALSE, nullptr, nullptr, &length, 0)) {
      if (length == -1) *code = kFaxAddTooLong;
      return 0;
    }
  }
  const bool four = IsFourDigitMode(rules);
  const DWORD limit = four ? rules.MaxDestinations : kDefaultMaxDestinations;
  if (static_cast<DWORD>(count) >= limit) {
    *code = four ? kFaxAddDeviceListFull : kFaxAddListFull;
    return 0;
  }
  DWORD sum = 0, units = 0;
  SumDestinationUnits(rules, list, &sum);
  CountDestinationUnits(rules, destination, &units);
  if (sum + units > kMaxUnits) {
    *code = kFaxAddTooManyUnits;
    return 0;
  }
  if (count == 0) return 1;
  for (INT i = 0; i < count; ++i) {
    if (!IsDifferentDestination(rules, FaxList_GetAt(list, i), destination)) {
      *code = kFaxAddDuplicate;
      return 0;
    }
  }
  return CheckUnitLimitBeforeAdd(rules, list, destination, code);
}

INT CheckRestrictedDestination(INT rows, const FaxDestination* destination, WORD* code) {
  if (!destination || !code) return 0;
  if (rows > 0) *code = kFaxRestrictSecond;
  else if (destination->BoxMode == 2 && destination->Kind != kFaxKindSpeedDial) *code = kFaxRestrictRelay;
  else if (destination->Kind == kFaxKindSpeedDial && text_of(destination->Number).find(u'*') != std::u16string::npos)
    *code = kFaxRestrictWildcard;
  else return 1;
  return 0;
}

DWORD CollectBroadcastOptions(const FaxDeviceRules& rules, const FaxDestinationList* list) {
  if ((rules.CoverSheet && !rules.OneJobForAll) || FaxList_Count(list) <= 1) return 0;
  DWORD options = 0;
  for (INT i = 0; i < FaxList_Count(list); ++i) {
    const FaxDestination* d = FaxList_GetAt(list, i);
    if (d->BoxMode == 1) options |= kFaxOptMailbox;
    if (d->FCode[0]) options |= kFaxOptFCode;
    if (d->FCodePassword[0]) options |= kFaxOptFCodePassword;
  }
  return options;
}

INT CheckBroadcastOptions(HWND owner, HMODULE resources, const FaxDeviceRules& rules,
                          const FaxDestinationList* list) {
  const DWORD options = CollectBroadcastOptions(rules, list);
  if (options == 0) return 1;
  std::u16string text = load_string(resources, 4631);
  if (options & kFaxOptMailbox) text += load_string(resources, 4633);
  if (options & kFaxOptFCode) text += load_string(resources, 4634);
  if (options & kFaxOptFCodePassword) text += load_string(resources, 4635);
  const std::u16string caption = load_string(resources, kCaptionString);
  if (rules.Mode == 1) {
    text += load_string(resources, 5199);
    MessageBoxW(owner, text.c_str(), caption.c_str(), MB_OK | MB_ICONWARNING);
    return 0;
  }
  text += load_string(resources, 4632);
  return MessageBoxW(owner, text.c_str(), caption.c_str(), MB_OKCANCEL | MB_ICONWARNING) == IDOK ? 1 : 0;
}

void TrimSpeedDialNumber(const FaxDeviceRules& rules, FaxDestination* destination) {
  if (!destination) return;
  const size_t keep = IsFourDigitMode(rules) ? 4 : 3;
  std::u16string n = text_of(destination->Number);
  if (n.size() <= keep) return;
  n = n.substr(n.size() - keep);
  std::memset(destination->Number, 0, sizeof(destination->Number));
  std::memcpy(destination->Number, n.data(), n.size() * sizeof(WCHAR));
}

WORD FilterStoredDestinations(const FaxDeviceRules& rules, FaxDestinationList* list, BOOL marked, BYTE listMode) {
  WORD flags = 0;
  if (FaxList_Count(list) <= 0) return flags;
  auto remove_all = [&](WORD flag) {
    while (FaxList_Count(list) > 0) FaxList_RemoveAt(list, 0);
    flags |= flag;
  };
  const bool four = IsFourDigitMode(rules);
  if (marked) {
    const WORD stored = PageModeFromListMode(listMode);
    if ((four && stored == 0) || (!four && rules.Mode == 0 && stored == 4)) {
      remove_all(kFaxPendingDigitsChanged);
      return flags;
    }
  }
  if (!rules.KeepCommMode2) {
    for (INT i = 0; i < FaxList_Count(list); ++i)
      if (FaxList_GetAt(list, i)->CommMode == 2) FaxList_GetAt(list, i)->CommMode = 0;
  }
  if (rules.SingleDestination) {
    const FaxDestination* first = FaxList_GetAt(list, 0);
    const bool wildcard =
        first->Kind == kFaxKindSpeedDial && text_of(first->Number).find(u'*') != std::u16string::npos;
    if (wildcard || FaxList_Count(list) > 1 || first->BoxMode == 2) remove_all(kFaxPendingSingle);
    return flags;
  }
  for (INT i = FaxList_Count(list) - 1; i >= 0; --i) {  // newest first
    FaxDestination* d = FaxList_GetAt(list, i);
    bool remove = false;
    if (d->Kind == kFaxKindNumber || d->Kind == kFaxKindIpAddress) {
      if (d->Kind == kFaxKindNumber && rules.Mode == 3) {
        remove = true;
        if (marked) flags |= kFaxPendingNumbersRemoved;
      } else if (d->Kind == kFaxKindIpAddress && !rules.SipFax) {
        remove = true;
        if (marked) flags |= kFaxPendingIpRemoved;
      } else if (rules.NoNumbers) {
        remove_all(kFaxPendingNoNumbers);
        return flags;
      }
    } else if (!four && rules.Mode == 3) {
      remove = true;
    } else {
      DWORD message = 0;
      ValidateSpeedDialNumber(rules, ansi(text_of(d->Number)).c_str(), &message);
      if (message != 0) remove = true;
      else TrimSpeedDialNumber(rules, d);
    }
    if (remove) FaxList_RemoveAt(list, i);
  }
  return flags;
}

}  // namespace morva::fax
