// The PJL job header framework: size bound, entry loop, entry filter, entry
// conditions, the line of one entry, the generic value formats, the
// printing-instruction block and the trailer.
#include "pi/pjl_header.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "ddm/ddmid.h"
#include "pi/pjl_settings.h"
#include "settings/constraints/constraint_rules.h"
#include "settings/database/ddd_file.h"
#include "settings/database/ddd_queries.h"
#include "settings/items/item_access.h"
#include "settings/common/module_state.h"
#include "settings/devmode/paper_size_list.h"
#include "win/win.h"

using namespace morva::ddm;

namespace {

constexpr char kUel[] = "\x1B%-12345X";
constexpr DWORD kUelLength = 9;
constexpr WCHAR kJobAttrCommand[] = u"@PJL SET JOBATTR=";

// Global fields read by the header.
constexpr WORD kFieldEntryBound = 2;
constexpr WORD kFieldCapabilities = 26;
// Database string naming the printing-instruction maker library.
constexpr WORD kQpifLibraryString = 25;

DWORD capability_word(DddHandle* database) {
  return database ? DddGetFieldValue(&database->main, kFieldCapabilities, 4, 0) : 0;
}

size_t wlen(const WCHAR* s) { return s ? std::char_traits<WCHAR>::length(s) : 0; }

}  // namespace

// ---------------------------------------------------------------- output

INT PjlAppendAnsi(PjlOutput* out, const char* text, size_t length) {
  if (!out || !out->data) return kPjlNoRoom;
  if (!text) length = 0;
  if (length >= out->capacity || out->used > out->capacity - 1 - length) return kPjlNoRoom;
  if (length) std::memcpy(out->data + out->used, text, length);
  out->used += static_cast<DWORD>(length);
  out->data[out->used] = 0;
  return static_cast<INT>(length);
}

INT PjlAppendAnsi(PjlOutput* out, const char* text) { return PjlAppendAnsi(out, text, text ? std::strlen(text) : 0); }

INT PjlAppendUtf8(PjlOutput* out, const WCHAR* text, size_t length) {
  if (!out || !out->data) return kPjlNoRoom;
  if (!text || !length) return PjlAppendAnsi(out, "", 0);
  if (length > 0x3FFFFFFF) return kPjlLengthFailed;
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return kPjlConversionFailed;
  if (static_cast<DWORD>(bytes) >= out->capacity || out->used > out->capacity - 1 - static_cast<DWORD>(bytes))
    return kPjlNoRoom;
  const int done = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length),
                                       reinterpret_cast<LPSTR>(out->data + out->used), bytes, nullptr, nullptr);
  if (done != bytes) {
    out->data[out->used] = 0;
    return kPjlConversionFailed;
  }
  out->used += static_cast<DWORD>(bytes);
  out->data[out->used] = 0;
  return bytes;
}

INT PjlAppendUtf8(PjlOutput* out, const WCHAR* text) { return PjlAppendUtf8(out, text, wlen(text)); }

void PjlTruncate(PjlOutput* out, DWORD used) {
  if (!out || !out->data || used >= out->capacity) return;
  out->used = used;
  out->data[used] = 0;
}

const WCHAR* GetPjlLineEnd() { return u"\n"; }

INT WriteUel(PjlOutput* out) { return PjlAppendAnsi(out, kUel, kUelLength); }
INT GetUelSize() { return 14; }

// ---------------------------------------------------------------- settings

INT PjlReadSetting(void* settings, void* printer_data, WORD ddmid, PjlSetting* out) {
  *out = PjlSetting{};
  const WORD status = GetItemValue(ddmid, settings, printer_data, &out->type, &out->size, &out->value);
  if (status == kDdmOk) return 0;
  return status == kDdmNoRange ? kPjlSettingUndefined : kPjlSettingUnreadable;
}

INT PjlReadNumber(void* settings, void* printer_data, WORD ddmid, LONG* value) {
  PjlSetting s;
  const INT r = PjlReadSetting(settings, printer_data, ddmid, &s);
  if (r) return r;
  if (s.type == kTypeString || s.type == kTypeLogFont || s.type == kTypeInvalid) return kPjlUnsupportedType;
  *value = GetTypedValue(s.type, &s.value);
  return 0;
}

// ---------------------------------------------------------------- filter

namespace {

enum class KeyKind { kCommand, kValue, kAttribute, kNone };

void remember(WCHAR (&slot)[128], const WCHAR* text, size_t length) {
  if (length > 127) length = 127;
  std::memcpy(slot, text, length * sizeof(WCHAR));
  slot[length] = 0;
}

bool contains(const WCHAR* haystack, const WCHAR* needle, size_t length) {
  const std::u16string_view h(haystack), n(needle, length);
  return h.find(n) != std::u16string_view::npos;
}

}  // namespace

INT FilterPjlEntry(PjlHeaderFilterState* state, DWORD caps, const DddPjlEntry* entry) {
  const WCHAR* command = entry->command ? entry->command : u"";
  const WCHAR* value = entry->text;
  KeyKind kind = KeyKind::kCommand;
  const WCHAR* key = command;
  size_t key_length = wlen(command);
  if ((caps & kPjlCapFullForm) && value) {
    if (entry->ddmid) {
      kind = KeyKind::kValue;
      key = value;
      key_length = wlen(value);
    } else if (std::u16string_view(command) == kJobAttrCommand) {
      const WCHAR* start = value[0] == u'"' ? value + 1 : value;
      const WCHAR* equals = std::char_traits<WCHAR>::find(start, wlen(start), u'=');
      if (!equals) return 0;  // no attribute key: written without further test
      kind = KeyKind::kAttribute;
      key = start;
      key_length = static_cast<size_t>(equals - start) + 1;
    }
  }
  // Truncated as remembered, so that a long key still matches itself.
  const size_t compared = key_length > 127 ? 127 : key_length;
  if (state->armed) {
    switch (kind) {
      case KeyKind::kCommand:
        if (std::u16string_view(state->last_command) == std::u16string_view(key, compared)) return 1;
        break;
      case KeyKind::kValue:
        if (std::u16string_view(state->last_key) == std::u16string_view(key, compared)) return 1;
        break;
      case KeyKind::kAttribute:
        if (contains(state->last_key, key, compared)) return 1;
        break;
      case KeyKind::kNone: break;
    }
  }
  if (!(state->options & 1)) return 0;
  WORD flags = 0;
  if (DddGetLevelWord(entry, &flags) == DDD_OK && (flags & 1)) return 0;
  remember(kind == KeyKind::kCommand ? state->last_command : state->last_key, key, key_length);
  state->armed = 1;
  return 1;
}

// ---------------------------------------------------------------- conditions

INT ComparePjlConditionValue(BYTE op, WORD listed_type, const void* listed, WORD setting_type, DWORD setting_size,
                             const void* setting) {
  if (setting_type != listed_type) return kPjlTypesDiffer;
  WORD width = 0;
  switch (setting_type) {
    case kTypeLong: case kTypeLong4: case kTypeDword: case kTypeLong10: width = 4; break;
    case kTypeShort: case kTypeWord: width = 2; break;
    case kTypeByte: width = 1; break;
    case kTypeString: break;
    case kTypeInvalid: case kTypeLogFont: return kPjlUnsupportedType;
    default: return kPjlUnsupportedType;
  }
  if (width && setting_size < width) return kPjlSizeMismatch;
  if (op == 0 || op == 9 || op >= 13) return kPjlBadOperator;
  if ((setting_type == kTypeLong || setting_type == kTypeString) && op != 1 && op != 2) return kPjlOperatorNotAllowed;
  if (!listed || !setting) return 0;
  // The rule engine compares the setting S with the rule's value; L op V
  // here is the same relation read from the other side.
  const INT r = CompareRuleValue(op, listed_type, listed, setting_type, setting);
  if (r == kCompareTrue) return 1;
  if (r == kCompareFalse) return 0;
  return kPjlUnsupportedType;
}

namespace {

// A condition's value list with a table reference resolved.
struct ConditionValues {
  DddTypedValue values{};
  bool loaded = false;
  ~ConditionValues() {
    if (loaded) DddReleaseTypedValue(&values);
  }
};

WORD value_width(WORD type) {
  switch (type) {
    case kTypeLong: case kTypeLong4: case kTypeDword: case kTypeLong10: return 4;
    case kTypeShort: case kTypeWord: return 2;
    case kTypeByte: return 1;
    default: return 0;
  }
}

const void* listed_value(const DddTypedValue& values, WORD i) {
  if (!values.data || i >= values.count) return nullptr;
  if (values.type == kTypeString) return i == 0 ? values.data : nullptr;
  const WORD width = value_width(values.type);
  if (width && values.element_size < width) return nullptr;
  return static_cast<const BYTE*>(values.data) + static_cast<size_t>(i) * values.element_size;
}

}  // namespace

INT EvaluatePjlCondition(HANDLE printer, DddHandle* database, void* settings, void* printer_data,
                         const DddCondition* condition) {
  const DddOperand& operand = condition->operand;
  if (!operand.value.data && operand.value.type != DDD_TYPE_TABLE_REF) return 0;
  PjlSetting setting;
  const INT read = PjlReadSetting(settings, printer_data, operand.ddmid, &setting);
  if (read) return read;
  if (operand.ddmid == 8 && setting.type != kTypeString) {
    LONG resolved = 0;
    if (FindPaperByFormName(printer, settings, printer_data, static_cast<WORD>(setting.value.w), &resolved) ==
        kFormPaperFound) {
      setting.value.raw = 0;
      if (setting.type == kTypeLong || setting.type == kTypeLong4 || setting.type == kTypeDword ||
          setting.type == kTypeLong10)
        setting.value.dw = static_cast<DWORD>(resolved);
      else
        setting.value.w = static_cast<WORD>(resolved);
    }
  }
  ConditionValues list;
  const DddTypedValue* values = &operand.value;
  if (operand.value.type == DDD_TYPE_TABLE_REF) {
    // An unresolvable list cannot hold: the condition is false.
    if (!operand.value.data || operand.value.element_size < 2 || !database) return 0;
    DddFile* file = condition->file ? condition->file : &database->main;
    if (DddLoadRecordTable(file, &database->main, &database->linked, static_cast<const BYTE*>(operand.value.data),
                           operand.value.element_size, &list.values) != DDD_OK)
      return 0;
    list.loaded = true;
    values = &list.values;
  }
  std::u16string text;
  const void* setting_data = &setting.value;
  if (setting.type == kTypeString) {
    text = ItemText(setting.value, setting.size);
    setting_data = text.c_str();
  }
  const WORD count = !values->data ? 0 : values->type == kTypeString ? 1 : values->count;
  if (count == 0) {
    if (operand.op == 2) return 1;
    return 0;  // operator 1, and any other on an empty list: nothing matches
  }
  const bool all = operand.op == 2;
  for (WORD i = 0; i < count; ++i) {
    const INT r = ComparePjlConditionValue(operand.op, values->type, listed_value(*values, i), setting.type,
                                           setting.size, setting_data);
    if (r < 0) return r;
    if (all && r == 0) return 0;
    if (!all && r == 1) return 1;
  }
  return all ? 1 : 0;
}

namespace {

// The end scan after a decided AND (a false, s 0) or OR (a true, s 1):
// walks from condition *i and leaves *i where it stopped.
INT end_scan(const DddList<DddCondition>& conditions, WORD* i, bool a, BYTE s) {
  for (; *i < conditions.count; ++*i) {
    const BYTE c = conditions.items[*i].connector;
    if (c == 3 || c == 4) return a ? 1 : 0;
    if (c == 5) {
      if (a) {
        while (*i < conditions.count) {
          const BYTE n = conditions.items[*i].connector;
          if (n == 4 || n == 6 || n == 3) break;
          ++*i;
        }
      }
      return 0;
    }
    if (c == 6) return a ? 0 : 1;
    if (c == s) return 0;
  }
  if (*i >= conditions.count) *i = static_cast<WORD>(conditions.count - 1);
  return a ? 1 : 0;
}

}  // namespace

INT EvaluatePjlEntryConditions(HANDLE printer, DddHandle* database, void* settings, void* printer_data,
                               const DddList<DddCondition>& conditions) {
  if (conditions.count == 0 || !conditions.items) return 1;
  INT result = 0;
  for (WORD i = 0; i < conditions.count; ++i) {
    const DddCondition& condition = conditions.items[i];
    bool v;
    if (condition.operand.op == 9) {
      SettingsTarget target{database, settings, printer_data};
      v = CheckPaperRangeRule(printer, &target, &condition) == 1;
    } else {
      const INT r = EvaluatePjlCondition(printer, database, settings, printer_data, &condition);
      if (r < 0) return r;
      v = r == 1;
    }
    const BYTE c = condition.connector;
    if (c == 5 || c == 6) v = !v;
    if (c == 4 || c == 6) return v ? 1 : 0;
    switch (c) {
      case 1:
        if (!v) result = end_scan(conditions, &i, false, 0);
        break;
      case 2:
        if (v) result = end_scan(conditions, &i, true, 1);
        break;
      case 3:
        if (v) result = 1;
        break;
      case 5:
        if (!v) {
          while (i < conditions.count) {
            const BYTE n = conditions.items[i].connector;
            if (n == 3 || n == 4 || n == 6) break;
            ++i;
          }
          result = 0;
        }
        break;
      default: return kPjlBadConnector;
    }
    if (result) return result;
  }
  return result;
}

// ---------------------------------------------------------------- values

INT FormatSettingValue(PjlHeaderContext* context, const WCHAR* prefix, WORD ddmid, PjlOutput* out) {
  JobHeaderRequest* request = context->request;
  PjlSetting s;
  const INT read = PjlReadSetting(request->settings, request->printer_data, ddmid, &s);
  if (read) return read;
  const DWORD start = out->used;
  INT r = PjlAppendUtf8(out, prefix);
  if (r < 0) return r;
  char number[24];
  auto fail = [&](INT code) {
    PjlTruncate(out, start);
    return code;
  };
  switch (s.type) {
    case kTypeLong:
      if (s.size != 4) return fail(kPjlSizeMismatch);
      r = PjlAppendAnsi(out, s.value.l == 1 ? "ON" : "OFF");
      break;
    case kTypeShort:
      if (s.size != 2) return fail(kPjlSizeMismatch);
      std::snprintf(number, sizeof(number), "%hd", s.value.s);
      r = PjlAppendAnsi(out, number);
      break;
    case kTypeWord:
      if (s.size != 2) return fail(kPjlSizeMismatch);
      std::snprintf(number, sizeof(number), "%hu", s.value.w);
      r = PjlAppendAnsi(out, number);
      break;
    case kTypeLong4:
    case kTypeLong10:  // written as a signed decimal number like type 4
      if (s.size != 4) return fail(kPjlSizeMismatch);
      std::snprintf(number, sizeof(number), "%ld", static_cast<long>(s.value.l));
      r = PjlAppendAnsi(out, number);
      break;
    case kTypeDword:
      if (s.size != 4) return fail(kPjlSizeMismatch);
      std::snprintf(number, sizeof(number), "%lu", static_cast<unsigned long>(s.value.dw));
      r = PjlAppendAnsi(out, number);
      break;
    case kTypeString: {
      const std::u16string text = ItemText(s.value, s.size);
      r = PjlAppendUtf8(out, text.c_str());
      break;
    }
    case kTypeByte:
      if (s.size != 1) return fail(kPjlSizeMismatch);
      std::snprintf(number, sizeof(number), "%hd", static_cast<short>(s.value.b));
      r = PjlAppendAnsi(out, number);
      break;
    case kTypeInvalid:
    case kTypeLogFont: return fail(kPjlUnsupportedType);
    default: return fail(kPjlUnknownType);
  }
  if (r < 0) return fail(r);
  return static_cast<INT>(out->used - start);
}

INT WritePjlEntryLine(PjlHeaderContext* context, const DddPjlEntry* entry, PjlOutput* out) {
  if (!entry->command) return kPjlNoCommand;
  const DWORD start = out->used;
  auto fail = [&](INT code) {
    PjlTruncate(out, start);
    return code;
  };
  if (!entry->ddmid) {
    if (!entry->text) return kPjlNoValue;
    INT r = PjlAppendUtf8(out, entry->command);
    if (r >= 0) r = PjlAppendUtf8(out, entry->text);
    if (r < 0) return fail(r);
    return static_cast<INT>(out->used - start);
  }
  const bool full = (context->caps & kPjlCapFullForm) != 0;
  std::u16string prefix(entry->command);
  bool quoted = false;
  if (full) {
    if (entry->text) {
      prefix += u'"';
      prefix += entry->text;
      quoted = true;
    } else if (entry->ddmid != 435) {
      const DdmidDescriptor* d = dma_Descriptor(entry->ddmid);
      if (d && d->type == kTypeString) {
        prefix += u'"';
        quoted = true;
      }
    }
  }
  const INT r = FormatPjlEntryValue(context, prefix.c_str(), entry->ddmid, out);
  if (!full) return r;
  // In the full form an entry whose value cannot be written is left out;
  // a full buffer still ends the header.
  if (r == kPjlNoRoom) return fail(r);
  if (r <= 0) {
    PjlTruncate(out, start);
    return 0;
  }
  if (quoted) {
    const INT q = PjlAppendAnsi(out, "\"", 1);
    if (q < 0) return fail(q);
  }
  return static_cast<INT>(out->used - start);
}

// ---------------------------------------------------------------- QPIF

namespace {

using QpifInitialize = HANDLE (*)(HANDLE printer);
using QpifSetSpSetting = BOOL (*)(HANDLE maker, const BYTE* sp, DWORD size, const DWORD* options);
using QpifGetQpif = BOOL (*)(HANDLE maker, BYTE* buffer, DWORD size, DWORD* needed);
using QpifFinalize = BOOL (*)(HANDLE maker);

// Module directory + a database string: the path of an outside library.
bool library_path(DddHandle* database, WORD string_number, std::u16string* path) {
  WCHAR directory[MAX_PATH] = {};
  if (!GetModuleDirectory(directory, sizeof(directory))) return false;
  WCHAR* name = nullptr;
  if (DddGetDatabaseString(&database->main, string_number, &name) != DDD_OK || !name) return false;
  const bool ok = name[0] != 0;
  *path = std::u16string(directory) + name;
  GlobalFree(name);
  return ok && directory[0];
}

}  // namespace

INT AppendQpifBlock(DddHandle* database, HANDLE printer, void* settings, void* printer_data, const BYTE* sp_block,
                    DWORD sp_size, PjlOutput* out) {
  if (!database || !printer) return kPjlNoPrinterOrClock;
  if (!sp_block || !sp_size) return 0;
  DeviceCapabilityBits bits{};
  if (!LoadCapabilityBits(database, &bits)) return kPjlNoCapabilities;
  if (!TestCapabilityBit(&bits, 0xFFFF003D)) return 0;
  std::u16string path;
  if (!library_path(database, kQpifLibraryString, &path)) return kPjlMissing;
  HMODULE library = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!library) return kPjlMissing;
  auto initialize = morva_proc_as<QpifInitialize>(GetProcAddress(library, "QPIFMaker_Initialize"));
  auto set_sp = morva_proc_as<QpifSetSpSetting>(GetProcAddress(library, "QPIFMaker_SetSPSetting"));
  auto get_qpif = morva_proc_as<QpifGetQpif>(GetProcAddress(library, "QPIFMaker_GetQpif"));
  auto finalize = morva_proc_as<QpifFinalize>(GetProcAddress(library, "QPIFMaker_finalize"));
  if (!initialize || !set_sp || !get_qpif || !finalize) {
    FreeLibrary(library);
    return 0;
  }
  HANDLE maker = initialize(printer);
  if (!maker) {
    FreeLibrary(library);
    return 0;
  }
  INT result = 0;
  LONG layout = 0;
  if (PjlReadNumber(settings, printer_data, 321, &layout)) {
    result = kPjlQpifOptionsFailed;
  } else {
    const DWORD options[2] = {1, layout == 2 ? 1u : 0u};
    DWORD size = 0;
    if (set_sp(maker, sp_block, sp_size, options)) {
      const BOOL answered = get_qpif(maker, nullptr, 0, &size);
      if (size == 0) {
        result = answered ? 0 : kPjlQpifOptionsFailed;
      } else if (!out) {
        result = size > 0x7FFFFFFF ? kPjlQpifOptionsFailed : static_cast<INT>(size);
      } else {
        BYTE* block = static_cast<BYTE*>(GlobalAlloc(GPTR, size + 1));
        if (!block) {
          result = kPjlNoMemory;
        } else {
          DWORD got = size;
          if (!get_qpif(maker, block, size, &got)) {
            result = kPjlQpifFailed;
          } else {
            // Up to the first zero byte, never past what was allocated.
            const void* zero = std::memchr(block, 0, size);
            const size_t length = zero ? static_cast<size_t>(static_cast<const BYTE*>(zero) - block) : size;
            result = PjlAppendAnsi(out, reinterpret_cast<const char*>(block), length);
          }
          GlobalFree(block);
        }
      }
    }
  }
  finalize(maker);
  FreeLibrary(library);
  return result;
}

// ---------------------------------------------------------------- header

INT GetPjlHeaderSize(HANDLE printer, void* settings, void* printer_data, DddHandle* database, const BYTE* sp_block,
                     DWORD sp_size) {
  if (!database) return kPjlNoSizeRecords;
  const DWORD w = capability_word(database);
  const bool full = (w & kPjlCapFullForm) != 0;
  const LONG n = static_cast<LONG>(DddGetFieldValue(&database->main, kFieldEntryBound, 4, 0));
  if (n <= 0) return kPjlNoSizeRecords;
  const INT q = AppendQpifBlock(database, printer, settings, printer_data, sp_block, sp_size, nullptr);
  if (q < 0) return q;
  long long size = static_cast<long long>(n) + q + 9;
  if (full) size += 20;
  size += 84;
  if (w & kPjlCapBktp) size += full ? 41 : 23;
  if (w & kPjlCapNup) size += full ? 37 : 18;
  if (w & kPjlCapHostAddress) size += full ? 67 : 48;
  if (w & kPjlCapHostName) size += full ? 130 : 111;
  size += full ? 130 : 111;
  size += 178;
  if (GetDeviceClass(database) == 2) {
    const INT fax = GetFaxAttributesSize(database);
    if (fax < 0) return fax;
    size += fax;
  }
  size += 5;
  if (size > 0x7FFFFFFF) return kPjlNoSizeRecords;
  return static_cast<INT>(size);
}

INT BuildPjlJobHeader(DddHandle* database, JobHeaderRequest* request, const BYTE* sp_block, DWORD sp_size,
                      PjlOutput* out) {
  if (!database || !request || !out || !out->data) return kPjlNoPrinterOrClock;
  PjlHeaderContext context{request, database, nullptr, capability_word(database), {}};
  LoadCapabilityBits(database, &context.bits);
  PjlHeaderFilterState filter{};
  LONG option = 0;
  if (!PjlReadNumber(request->settings, request->printer_data, 336, &option) && option == 1) filter.options |= 1;
  const WCHAR* line_end = GetPjlLineEnd();
  out->used = 0;
  if (out->capacity) out->data[0] = 0;

  INT result = AppendQpifBlock(database, request->printer, request->settings, request->printer_data, sp_block,
                               sp_size, out);
  if (result >= 0) result = WriteUel(out);
  for (WORD n = 1; result >= 0; ++n) {
    DddValue* value = nullptr;
    const DddStatus status = DddLoadValue(DDD_LOAD_FULL, &database->main, &database->linked, DDD_KIND_PJL, n, &value);
    if (status == DDD_NOT_FOUND) break;
    if (status != DDD_OK || !value) {
      result = kPjlEntryLoadFailed;
      break;
    }
    const auto* entry = static_cast<const DddPjlEntry*>(value);
    bool written_line = false;
    if (!FilterPjlEntry(&filter, context.caps, entry)) {
      const INT condition = EvaluatePjlEntryConditions(request->printer, database, request->settings,
                                                       request->printer_data, entry->conditions);
      if (condition < 0) {
        result = condition;
      } else if (condition) {
        if (entry->command && entry->command[0] == u'%') {
          result = WritePjlJobAttrBlock(&context, out, line_end);
        } else {
          const INT r = WritePjlEntryLine(&context, entry, out);
          if (r < 0) result = r;
          else if (r > 0 && (result = PjlAppendUtf8(out, line_end)) >= 0) result = 0;
          written_line = true;
        }
      }
    }
    const WORD freed = DddFreeValue(&value, 0xFFFF);
    if (written_line && freed != 0 && result >= 0) result = kPjlEntryLoadFailed;
  }
  if (context.qjcl) FreeLibrary(context.qjcl);
  if (result < 0) return result;
  return static_cast<INT>(out->used);
}

// ---------------------------------------------------------------- trailer

namespace {
const char* eoj_text(DddHandle* database) {
  return (capability_word(database) & kPjlCapFullForm) ? "@PJL EOJ" : "@EOJO";
}
}  // namespace

INT GetPjlTrailerSize(DddHandle* database) {
  return static_cast<INT>(1 + kUelLength + std::strlen(eoj_text(database)) + 5);
}

INT WritePjlTrailer(DddHandle* database, PjlOutput* out) {
  const DWORD start = out ? out->used : 0;
  INT r = WriteUel(out);
  if (r >= 0) r = PjlAppendAnsi(out, eoj_text(database));
  if (r >= 0) r = PjlAppendAnsi(out, "\n", 1);
  if (r < 0) {
    PjlTruncate(out, start);
    return r;
  }
  return static_cast<INT>(out->used - start);
}

INT WriteTrailerUel(PjlOutput* out) { return WriteUel(out); }

INT GetEojLineSize(DddHandle* database) { return static_cast<INT>(std::strlen(eoj_text(database)) + 1 + 5); }

INT WriteEojLine(DddHandle* database, PjlOutput* out) {
  const DWORD start = out ? out->used : 0;
  INT r = PjlAppendAnsi(out, eoj_text(database));
  if (r >= 0) r = PjlAppendAnsi(out, "\n", 1);
  if (r < 0) {
    PjlTruncate(out, start);
    return r;
  }
  return static_cast<INT>(out->used - start);
}
