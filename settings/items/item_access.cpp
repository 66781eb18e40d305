#include "settings/items/item_access.h"

#include <atomic>
#include <cstring>

#include "ddm/ddmid.h"

using namespace morva::ddm;

namespace {

std::atomic<const SettingsFrontEnd*> g_front_end{nullptr};

WORD front_get(WORD ddmid, void* devmode, void* printer_data, WORD* type, DWORD* size, ItemValue* value) {
  const SettingsFrontEnd* f = g_front_end.load();
  return f ? f->get(ddmid, devmode, printer_data, type, size, value)
           : GetItemValue(ddmid, devmode, printer_data, type, size, value);
}

WORD front_set(WORD ddmid, void* devmode, void* printer_data, WORD type, DWORD size, const void* value) {
  const SettingsFrontEnd* f = g_front_end.load();
  return f ? f->set(ddmid, devmode, printer_data, type, size, value)
           : SetItemValueRaw(ddmid, devmode, printer_data, type, size, value);
}

constexpr DWORD kSizeFromType = 0xFFFFFFFFu;

// Where a setting that may be switched off takes its switch from. A rule
// switches its settings off when any of its conditions holds.
enum class Test : BYTE { Equals, Differs, NeitherTwoNorFour, LowByteDiffers };
struct Condition {
  WORD ddmid;
  Test test;
  DWORD value;
};
struct GoverningRule {
  Condition conditions[2];
  int count;
};
constexpr GoverningRule kRuleColourOrMode = {{{270, Test::Equals, 1}, {293, Test::NeitherTwoNorFour, 0}}, 2};
constexpr GoverningRule kRuleMode = {{{293, Test::NeitherTwoNorFour, 0}}, 1};
constexpr GoverningRule kRuleColourOne = {{{270, Test::Equals, 1}}, 1};
constexpr GoverningRule kRuleColourNotOne = {{{270, Test::Differs, 1}}, 1};
constexpr GoverningRule kRule271 = {{{271, Test::LowByteDiffers, 8}}, 1};

struct EffectiveRange {
  WORD low;
  WORD high;
  const GoverningRule* rule;
};
constexpr EffectiveRange kEffectiveRules[] = {
    {273, 277, &kRuleMode},          {278, 281, &kRuleColourOrMode}, {282, 288, &kRuleMode},
    {291, 291, &kRuleColourOrMode},  {392, 400, &kRuleColourOne},    {454, 454, &kRuleColourNotOne},
    {1303, 1304, &kRuleMode},        {1307, 1307, &kRule271},        {1308, 1308, &kRuleColourNotOne},
    {1311, 1311, &kRuleColourNotOne}, {1317, 1317, &kRuleColourOne}, {1318, 1318, &kRuleColourNotOne},
    {1832, 1833, &kRuleMode},
};

const GoverningRule* GetEffectiveRule(WORD ddmid) {
  for (const EffectiveRange& r : kEffectiveRules)
    if (ddmid >= r.low && ddmid <= r.high) return r.rule;
  return nullptr;
}

// Reads a governing setting as a number; false when it cannot be read.
bool read_number(WORD ddmid, void* devmode, void* printer_data, DWORD* out) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (front_get(ddmid, devmode, printer_data, &type, &size, &v) != kDdmOk) return false;
  *out = v.dw;
  return true;
}

// 1 switched off, 0 not, -1 a governing setting cannot be read.
int switched_off(const GoverningRule& rule, void* devmode, void* printer_data) {
  for (int i = 0; i < rule.count; ++i) {
    const Condition& c = rule.conditions[i];
    DWORD v = 0;
    if (!read_number(c.ddmid, devmode, printer_data, &v)) return -1;
    bool hit = false;
    switch (c.test) {
      case Test::Equals: hit = v == c.value; break;
      case Test::Differs: hit = v != c.value; break;
      case Test::NeitherTwoNorFour: hit = v != 2 && v != 4; break;
      case Test::LowByteDiffers: hit = (v & 0xFFu) != c.value; break;
    }
    if (hit) return 1;
  }
  return 0;
}

// Expected width of GetItemNumber's type; 0 for a type it refuses, -1 for
// any width (strings).
int expected_width(WORD type) {
  switch (type) {
    case kTypeLong: case kTypeLong4: case kTypeDword: return 4;
    case kTypeShort: case kTypeWord: return 2;
    case kTypeByte: return 1;
    case kTypeString: return -1;
    default: return 0;
  }
}

}  // namespace

WORD GetItemValue(WORD ddmid, void* devmode, void* printer_data, WORD* type, DWORD* size, ItemValue* value) {
  if (ddmid == kPseudoSettingId) {
    if (!type || !size || !value) return kDdmFailed;
    *type = kTypeLong;
    *size = 4;
    value->raw = 0;
    return kDdmOk;
  }
  if (value) value->raw = 0;  // the engine writes only the reported width
  WORD selector = 0;
  WORD status = dma_GetValue(ddmid, devmode, printer_data, type, size, value, &selector);
  if (status == kDdmOk && (*type == kTypeString || *type == kTypeLogFont)) {
    DWORD offset = value->dw;
    BYTE* base = nullptr;
    switch (selector) {
      case kStoreDevmode: base = static_cast<BYTE*>(devmode); break;
      case kStoreExtension: base = static_cast<BYTE*>(devmode) + kExtensionOffset; break;
      case kStorePrinterData: base = static_cast<BYTE*>(printer_data); break;
    }
    value->ptr = base ? base + offset : nullptr;
  }
  return status;
}

std::u16string ItemText(const ItemValue& value, DWORD size) {
  std::u16string text;
  if (!value.ptr) return text;
  const auto* p = static_cast<const BYTE*>(value.ptr);
  for (DWORD i = 0; i + 1 < size; i += 2) {
    char16_t c;
    std::memcpy(&c, p + i, 2);
    if (!c) break;
    text.push_back(c);
  }
  return text;
}

WORD SetItemValueRaw(WORD ddmid, void* devmode, void* printer_data, WORD type, DWORD size, const void* value) {
  return dma_SetValue(ddmid, devmode, printer_data, type, size, value);
}

BOOL SetItemValue(WORD ddmid, void* devmode, void* printer_data, DWORD size, WORD type, const void* value) {
  if (!value) return FALSE;
  if (size == kSizeFromType) {
    // Strings and blocks are passed as a pointer to their pointer.
    const void* data = value;
    if (type == kTypeString) std::memcpy(&data, value, sizeof(data));
    size = ValueSizeOfType(type, data, size);
  }
  return SetItemValueRaw(ddmid, devmode, printer_data, type, size, value) == kDdmOk;
}

DWORD ValueSizeOfType(WORD type, const void* value, DWORD size) {
  switch (type) {
    case kTypeLong: case kTypeLong4: case kTypeDword: case kTypeLong10: return 4;
    case kTypeShort: case kTypeWord: return 2;
    case kTypeByte: return 1;
    case kTypeLogFont: return kLogFontWSize;
    case kTypeString:
      if (size != kSizeFromType) return size;
      return value ? 2 * dma_WcsNLen(value, 0x7FFFFFFFu) + 2 : 0;
    default: return size;
  }
}

LONG GetTypedValue(WORD type, const void* value) {
  if (!value) return 0;
  switch (type) {
    case kTypeLong: case kTypeLong4: case kTypeDword: case kTypeLong10: {
      LONG v;
      std::memcpy(&v, value, 4);
      return v;
    }
    case kTypeShort: {
      SHORT v;
      std::memcpy(&v, value, 2);
      return v;
    }
    case kTypeWord: {
      WORD v;
      std::memcpy(&v, value, 2);
      return v;
    }
    case kTypeByte: return *static_cast<const BYTE*>(value);
    default: return 0;
  }
}

DWORD GetTypedValueUnsigned(WORD type, const void* value) { return static_cast<DWORD>(GetTypedValue(type, value)); }

BOOL StoreTypedValue(WORD type, ItemValue* slot, const void* value) {
  if (!slot || !value) return FALSE;
  switch (type) {
    case kTypeLong: case kTypeLong4: case kTypeDword: case kTypeLong10:
      std::memcpy(&slot->dw, value, 4);
      return TRUE;
    case kTypeShort: case kTypeWord:
      std::memcpy(&slot->w, value, 2);
      return TRUE;
    case kTypeByte:
      slot->b = *static_cast<const BYTE*>(value);
      return TRUE;
    case kTypeString:
      slot->ptr = value;
      return TRUE;
    default: return FALSE;
  }
}

void UseSettingsFrontEnd(const SettingsFrontEnd* front_end) { g_front_end.store(front_end); }

DWORD_PTR GetItemNumber(void* devmode, void* printer_data, WORD ddmid, WORD expected_type) {
  if (!devmode) return 0;
  int width = expected_width(expected_type);
  if (width == 0) return 0;
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (front_get(ddmid, devmode, printer_data, &type, &size, &v) != kDdmOk) return 0;
  if (width > 0 && size != static_cast<DWORD>(width)) return 0;
  return width < 0 ? reinterpret_cast<DWORD_PTR>(v.ptr) : v.dw;
}

LONG ReadItemNumber(void* devmode, void* printer_data, WORD ddmid) {
  if (!devmode) return 0;
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (front_get(ddmid, devmode, printer_data, &type, &size, &v) != kDdmOk) return 0;
  return GetTypedValue(type, &v);
}

INT SetItemNumber(void* devmode, void* printer_data, WORD ddmid, WORD type, DWORD size, DWORD value) {
  if (!devmode) return -1;
  front_set(ddmid, devmode, printer_data, type, size, &value);
  return 0;
}

WORD ReadEffectiveItemValue(WORD ddmid, void* devmode, void* printer_data, WORD* type, DWORD* size, ItemValue* value) {
  if (!type || !size || !value) return kEffectiveReadFailed;
  if (front_get(ddmid, devmode, printer_data, type, size, value) != kDdmOk) return kEffectiveReadFailed;
  DWORD other = 0;
  if (ddmid == 346) {
    // Only meaningful at 600 dpi.
    if (read_number(20, devmode, printer_data, &other) && static_cast<SHORT>(other) != 600) value->raw = 0;
    return 0;
  }
  if (ddmid == 8205) {
    if (read_number(336, devmode, printer_data, &other) && other == 1) value->raw = 0x01010802u;
    return 0;
  }
  const GoverningRule* rule = GetEffectiveRule(ddmid);
  if (!rule) return 0;
  int off = switched_off(*rule, devmode, printer_data);
  if (off < 0) return kEffectiveReadFailed;
  // Zero the value in its width; the slot beyond it is zero already, and a
  // string comes back as a null pointer.
  if (off) value->raw = 0;
  return 0;
}

LONG GetEffectiveItemValue(void* devmode, void* printer_data, WORD ddmid) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (ReadEffectiveItemValue(ddmid, devmode, printer_data, &type, &size, &v) != 0) return -1;
  return v.l;
}

BOOL IsUserPaperCode(WORD code) { return (code >= 262 && code <= 266) || (code >= 287 && code <= 301); }
BOOL IsUserOrCustomPaperCode(WORD code) { return code == 256 || IsUserPaperCode(code); }

WORD UserPaperSlotOfCode(WORD code) {
  if (code >= 262 && code <= 266) return static_cast<WORD>(code - 262);
  if (code >= 287 && code <= 301) return static_cast<WORD>(code - 287 + 5);
  return 0xFFFF;
}

WORD UserPaperCodeOfSlot(WORD slot) {
  if (slot <= 4) return static_cast<WORD>(262 + slot);
  if (slot <= 19) return static_cast<WORD>(287 + slot - 5);
  return 0xFFFF;
}

BOOL IsUserPaperId(WORD ddmid) { return ddmid >= 5889 && ddmid <= 5928; }

BOOL GetStoredCustomSize(void* devmode, void* printer_data, SHORT* width, SHORT* length) {
  if (!width || !length) return FALSE;
  WORD type = 0;
  DWORD size = 0;
  ItemValue w{}, l{};
  if (GetItemValue(1863, devmode, printer_data, &type, &size, &w) != kDdmOk) return FALSE;
  if (GetItemValue(1864, devmode, printer_data, &type, &size, &l) != kDdmOk) return FALSE;
  *width = w.s;
  *length = l.s;
  return TRUE;
}

BOOL CopyStoredCustomSize(WORD kind, void* devmode, void* printer_data) {
  if (!devmode || kind > 1) return FALSE;
  // Pairs {target, source} for kind 0; kind 1 copies the other way.
  constexpr WORD kPairs[2][2] = {{9, 1864}, {10, 1863}};
  for (const auto& pair : kPairs) {
    WORD to = kind == 0 ? pair[0] : pair[1];
    WORD from = kind == 0 ? pair[1] : pair[0];
    WORD type = 0;
    DWORD size = 0;
    ItemValue v{};
    if (GetItemValue(from, devmode, printer_data, &type, &size, &v) != kDdmOk) return FALSE;
    if (SetItemValueRaw(to, devmode, printer_data, type, size, &v.dw) != kDdmOk) return FALSE;
  }
  return TRUE;
}

DWORD ReadSetting5200(void* devmode, void* printer_data) {
  DWORD v = 0;
  return read_number(5200, devmode, printer_data, &v) ? v : 0;
}
