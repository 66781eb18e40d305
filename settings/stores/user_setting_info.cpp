// The per-user settings record: built from settings or database defaults,
// written back into settings, and kept per user or machine-wide.
#include "settings/stores/user_setting_info.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "ddm/ddmid.h"
#include "ddm/dma.h"
#include "settings/database/ddd_file.h"
#include "settings/database/ddd_queries.h"
#include "settings/items/item_access.h"
#include "settings/stores/printer_data_kinds.h"
#include "settings/stores/printer_settings.h"
#include "settings/stores/user_registry_values.h"
#include "win/endian.h"
#include "win/memory.h"
#include "win/registry.h"

using morva::ddm::DmaFieldDescriptor;
using morva::ddm::dma_ConvertUserSettingInfo;
using morva::ddm::dma_UserSettingInfoFields;

static_assert(kUserRecordSize == kUserSettingInfoSize);

namespace {

constexpr char16_t kRecordValue[] = u"UserSettingInfo";
constexpr char16_t kLegacyRecordValue[] = u" UserSettingInfo";
constexpr DWORD kHeaderList = 0;

using Record = std::vector<BYTE>;

// Version 4, the section sizes and mask 7 over whatever the record holds.
void set_record_frame(BYTE* record) {
  morva::store_le16(record + kUserRecordVersionOffset, kUserRecordVersion);
  for (const UserRecordSection& s : kUserRecordSections) morva::store_le16(record + s.size_offset, s.size);
  morva::store_le16(record + kUserRecordMaskOffset, kUserSectionsAll);
}

void set_mask(BYTE* record, DWORD mask) { morva::store_le16(record + kUserRecordMaskOffset, static_cast<WORD>(mask)); }

// Number of characters of the text in a record field, leaving room for its
// terminator whatever the field holds.
DWORD field_chars(const BYTE* field, DWORD bytes) {
  const DWORD limit = bytes / 2 ? bytes / 2 - 1 : 0;
  DWORD n = 0;
  while (n < limit && morva::load_le16(field + 2 * n) != 0) ++n;
  return n;
}

void store_text(BYTE* field, DWORD bytes, const std::u16string& text) {
  std::memset(field, 0, bytes);
  const DWORD chars = std::min<DWORD>(static_cast<DWORD>(text.size()), bytes / 2 ? bytes / 2 - 1 : 0);
  for (DWORD i = 0; i < chars; ++i) morva::store_le16(field + 2 * i, text[i]);
}

void store_number(BYTE* field, DWORD bytes, DWORD value) {
  if (bytes == 4) morva::store_le32(field, value);
  else if (bytes == 2) morva::store_le16(field, static_cast<WORD>(value));
  else if (bytes == 1) field[0] = static_cast<BYTE>(value);
}

DWORD load_number(const BYTE* field, DWORD bytes) {
  if (bytes == 4) return morva::load_le32(field);
  if (bytes == 2) return morva::load_le16(field);
  return bytes == 1 ? field[0] : 0;
}

bool is_scalar(WORD type) {
  return type == morva::ddm::kTypeLong || type == morva::ddm::kTypeWord || type == morva::ddm::kTypeByte;
}

// One setting of the block into its record field.
bool read_field(void* settings, const DmaFieldDescriptor& f, BYTE* record) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue value{};
  if (GetItemValue(f.ddmid, nullptr, settings, &type, &size, &value) != morva::ddm::kDdmOk) return false;
  BYTE* field = record + f.offset;
  if (f.type == morva::ddm::kTypeString) {
    if (type != morva::ddm::kTypeString) return false;
    store_text(field, f.size, ItemText(value, size));
    return true;
  }
  if (!is_scalar(f.type)) return false;
  store_number(field, f.size, value.dw);
  return true;
}

// One record field into the block.
bool write_field(void* settings, const DmaFieldDescriptor& f, const BYTE* record) {
  const BYTE* field = record + f.offset;
  if (f.type == morva::ddm::kTypeString) {
    const DWORD chars = field_chars(field, f.size);
    std::u16string text(chars, u'\0');
    for (DWORD i = 0; i < chars; ++i) text[i] = morva::load_le16(field + 2 * i);
    const char16_t* p = text.c_str();
    return SetItemValueRaw(f.ddmid, nullptr, settings, f.type, 2 * chars + 2, &p) == morva::ddm::kDdmOk;
  }
  if (!is_scalar(f.type)) return false;
  const DWORD number = load_number(field, f.size);
  return SetItemValueRaw(f.ddmid, nullptr, settings, f.type, f.size, &number) == morva::ddm::kDdmOk;
}

// The database default of one setting into its record field: true when
// written or when the database has none.
bool default_field(DddHandle* database, const DmaFieldDescriptor& f, BYTE* record) {
  WORD type = 0;
  DWORD_PTR value = 0;
  INT error = 0;
  if (!DddGetItemDefaultValue(database, f.ddmid, &type, &value, &error)) return error == 2;
  BYTE* field = record + f.offset;
  if (f.type == morva::ddm::kTypeString) {
    if (type == morva::ddm::kTypeString && value != 0) {
      store_text(field, f.size, std::u16string(reinterpret_cast<const char16_t*>(value)));
    }
  } else if (is_scalar(f.type) && type != morva::ddm::kTypeString) {
    store_number(field, f.size, static_cast<DWORD>(value));
  }
  DddFreeItemDefaultValue(type, value);
  return true;
}

void copy_section(BYTE* to, const BYTE* from, const UserRecordSection& s) {
  std::memcpy(to + s.offset, from + s.offset, s.size);
}

// A record filled with the database defaults over zeros.
bool defaults_record(HANDLE printer, DddHandle* database, BYTE* record) {
  std::memset(record, 0, kUserRecordSize);
  morva::store_le16(record + kUserRecordVersionOffset, kUserRecordVersion);
  return FillUserSettingInfoFromDatabase(printer, database, record) == 1;
}

// The stored bytes converted over a defaults record; the defaults alone
// when the stored bytes are not a record this reader knows.
bool converted_record(const Record& stored, const Record& defaults, BOOL convert, BYTE* record) {
  std::memcpy(record, defaults.data(), kUserRecordSize);
  if (dma_ConvertUserSettingInfo(stored.data(), static_cast<DWORD>(stored.size()), record, convert) == 1) {
    // Whatever the stored header said, the record is version 4 now.
    morva::store_le16(record + kUserRecordVersionOffset, kUserRecordVersion);
    for (const UserRecordSection& s : kUserRecordSections) morva::store_le16(record + s.size_offset, s.size);
    return true;
  }
  std::memcpy(record, defaults.data(), kUserRecordSize);
  return false;
}

// The user's stored record: 0 read, 1 not there, -1 error.
INT read_user_value(HANDLE printer, DddHandle* database, LPCWSTR name, Record* out) {
  BYTE* block = nullptr;
  DWORD size = 0;
  const INT got = ReadUserRegistryValueAlloc(printer, &block, &size, REG_BINARY, nullptr, name, database);
  if (got == 0) {
    out->assign(block, block + size);
    GlobalFree(block);
  }
  return got;
}

// The machine-wide copy in printer data; false when there is none.
bool read_machine_copy(HANDLE printer, Record* out) {
  DWORD size = 0;
  if (!ReadPrinterDataKind(printer, kPrinterDataUserSettingInfo, nullptr, &size) || size == 0) return false;
  out->assign(std::max(size, kUserRecordSize), 0);
  DWORD capacity = static_cast<DWORD>(out->size());
  if (!ReadPrinterDataKind(printer, kPrinterDataUserSettingInfo, out->data(), &capacity)) return false;
  out->resize(size);  // what was stored, not the padding
  return true;
}

bool same_setting(WORD ddmid, void* a, void* b, bool* same) {
  WORD type_a = 0, type_b = 0;
  DWORD size_a = 0, size_b = 0;
  ItemValue va{}, vb{};
  if (GetItemValue(ddmid, nullptr, a, &type_a, &size_a, &va) != morva::ddm::kDdmOk ||
      GetItemValue(ddmid, nullptr, b, &type_b, &size_b, &vb) != morva::ddm::kDdmOk) {
    return false;
  }
  *same = type_a == morva::ddm::kTypeString ? ItemText(va, size_a) == ItemText(vb, size_b) : va.dw == vb.dw;
  return true;
}

}  // namespace

INT IsUserSettingItem(WORD ddmid) {
  for (const UserRecordSection& s : kUserRecordSections) {
    for (const DmaFieldDescriptor* f = dma_UserSettingInfoFields(s.list); f->ddmid != 0; ++f) {
      if (f->ddmid == ddmid) return 1;
    }
  }
  return 0;
}

WORD UserRecordMask(const BYTE* record) { return record ? morva::load_le16(record + kUserRecordMaskOffset) : 0; }

INT FillUserSettingInfoFromSettings(HANDLE, DddHandle* database, void* settings, BYTE* record) {
  if (settings == nullptr || record == nullptr) return 0;
  std::memset(record, 0, kUserRecordSize);
  set_record_frame(record);
  for (const DmaFieldDescriptor* f = dma_UserSettingInfoFields(kHeaderList); f->ddmid != 0; ++f) {
    if (!read_field(settings, *f, record)) return 0;
  }
  for (const UserRecordSection& s : kUserRecordSections) {
    for (const DmaFieldDescriptor* f = dma_UserSettingInfoFields(s.list); f->ddmid != 0; ++f) {
      if (!read_field(settings, *f, record)) return 0;
    }
  }
  if (database != nullptr) {
    if (WCHAR* model = DddGetModelName(database, nullptr)) {
      const std::u16string name(model);
      GlobalFree(model);
      const DWORD chars = std::min<DWORD>(static_cast<DWORD>(name.size()), kUserRecordModelChars);
      for (DWORD i = 0; i < chars; ++i) morva::store_le16(record + kUserRecordModelOffset + 2 * i, name[i]);
    }
  }
  return 1;
}

INT FillUserSettingInfoFromDatabase(HANDLE, DddHandle* database, BYTE* record) {
  if (database == nullptr || record == nullptr) return 0;
  for (const UserRecordSection& s : kUserRecordSections) morva::store_le16(record + s.size_offset, s.size);
  set_mask(record, kUserSectionsAll);
  for (const UserRecordSection& s : kUserRecordSections) {
    for (const DmaFieldDescriptor* f = dma_UserSettingInfoFields(s.list); f->ddmid != 0; ++f) {
      if (!default_field(database, *f, record)) return 0;
    }
  }
  return 1;
}

INT ApplyUserSettingInfo(void* settings, const BYTE* record, DWORD mask) {
  if (settings == nullptr || record == nullptr) return 0;
  for (const UserRecordSection& s : kUserRecordSections) {
    if ((mask & s.mask) == 0) continue;
    for (const DmaFieldDescriptor* f = dma_UserSettingInfoFields(s.list); f->ddmid != 0; ++f) {
      if (!write_field(settings, *f, record)) return 0;
    }
  }
  return 1;
}

INT LoadUserSettingInfo(HANDLE printer, DddHandle* database, BYTE* record, DWORD flags, BOOL convert) {
  if (printer == nullptr || database == nullptr || record == nullptr) return 0;
  Record stored;
  bool have = false, machine_wide = false;
  if ((flags & kUserRecordMachineWide) == 0) {
    const INT got = read_user_value(printer, database, kRecordValue, &stored);
    if (got < 0) return 0;
    have = got == 0;
  }
  if (!have) have = machine_wide = read_machine_copy(printer, &stored);

  Record defaults(kUserRecordSize);
  if (!defaults_record(printer, database, defaults.data())) return 0;
  std::memcpy(record, defaults.data(), kUserRecordSize);
  if (have && converted_record(stored, defaults, convert, record)) {
    if (machine_wide) set_mask(record, 2);
    const WORD mask = UserRecordMask(record);
    for (const UserRecordSection& s : kUserRecordSections) {
      if ((mask & s.mask) == 0) copy_section(record, defaults.data(), s);
    }
  }
  return 1;
}

INT ReadUserSettingInfo(HANDLE printer, DddHandle* database, BYTE* record, DWORD flags, BOOL convert) {
  INT result = LoadUserSettingInfo(printer, database, record, flags, convert);
  if (result && (flags & 2) && (UserRecordMask(record) & 2) == 0) {
    Record machine(kUserRecordSize);
    result = LoadUserSettingInfo(printer, database, machine.data(), kUserRecordMachineWide | 2, convert);
    if (result) {
      copy_section(record, machine.data(), kUserRecordSections[0]);
      set_mask(record, UserRecordMask(record) | 2);
    }
  }
  return result;
}

INT WriteUserSettingInfo(HANDLE printer, DddHandle* database, BYTE* record, DWORD flags) {
  if (printer == nullptr || database == nullptr || record == nullptr) return 0;
  const DWORD named = flags & 0xFF;
  if (flags & kUserRecordMachineWide) {
    set_mask(record, named);
    return WritePrinterDataKind(printer, record, kUserRecordSize, kPrinterDataUserSettingInfo);
  }
  DWORD mask = named;
  if ((named & kUserSectionsAll) != kUserSectionsAll) {
    Record stored;
    const INT got = read_user_value(printer, database, kRecordValue, &stored);
    if (got < 0) return 0;
    if (got == 0) {
      Record kept(kUserRecordSize);
      if (stored.size() >= kUserRecordSize && morva::load_le16(stored.data()) == kUserRecordVersion) {
        std::memcpy(kept.data(), stored.data(), kUserRecordSize);
      } else {
        Record defaults(kUserRecordSize);
        if (!defaults_record(printer, database, defaults.data())) return 0;
        converted_record(stored, defaults, FALSE, kept.data());
      }
      for (const UserRecordSection& s : kUserRecordSections) {
        if ((named & s.mask) == 0) copy_section(record, kept.data(), s);
      }
      mask |= UserRecordMask(kept.data());
    }
  }
  morva::store_le16(record + kUserRecordVersionOffset, kUserRecordVersion);
  for (const UserRecordSection& s : kUserRecordSections) morva::store_le16(record + s.size_offset, s.size);
  set_mask(record, mask);
  return WriteUserRegistryValue(printer, database, record, kUserRecordSize, REG_BINARY, nullptr, kRecordValue);
}

INT ReadLegacyUserSettingInfo(HANDLE printer, DddHandle* database) {
  if (printer == nullptr || database == nullptr) return 0;
  Record stored;
  return read_user_value(printer, database, kLegacyRecordValue, &stored) == 0 ? 1 : 0;
}

INT SyncUserSettingsFromPrinter(HANDLE printer, DddHandle* database, void* settings, BOOL* changed) {
  if (changed) *changed = FALSE;
  if (printer == nullptr || database == nullptr || settings == nullptr) return 0;
  std::vector<BYTE> own(morva::ddm::kPrinterDataSize);
  if (!ReadPrinterSettings(printer, own.data(), database)) return 0;
  bool same_a = false, same_b = false;
  if (!same_setting(5168, settings, own.data(), &same_a) || !same_setting(5169, settings, own.data(), &same_b)) {
    return 0;
  }
  if (same_a && same_b) return 1;
  Record defaults(kUserRecordSize);
  if (!defaults_record(printer, database, defaults.data())) return 0;
  if (!ApplyUserSettingInfo(settings, defaults.data(), 4)) return 0;
  if (changed) *changed = TRUE;
  return 1;
}
