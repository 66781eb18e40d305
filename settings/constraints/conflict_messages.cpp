// Number texts and resource templates of the conflict messages.

#include "settings/constraints/conflict_messages.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "settings/common/common_utils.h"
#include "settings/constraints/constraint_rules.h"
#include "settings/items/item_access.h"
#include "settings/common/module_state.h"
#include "win/memory.h"
#include "win/resources.h"

namespace {

// Copies `text` into `out` (kConflictTextChars with the terminator); 0 when
// it does not fit.
INT put_text(LPWSTR out, const std::u16string& text) {
  if (!out || text.size() + 1 > static_cast<size_t>(kConflictTextChars)) return 0;
  std::memcpy(out, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
  return 1;
}

std::u16string number_text(unsigned long long v) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%llu", v);
  return std::u16string(buffer, buffer + std::strlen(buffer));
}

// Decimal digits of v (0 counts as one).
INT digit_count(unsigned long long v) {
  INT n = 1;
  while (v >= 10) {
    v /= 10;
    ++n;
  }
  return n;
}

bool is_unsigned_type(WORD type) { return type == 3 || type == 5; }
bool is_signed_type(WORD type) { return type == 2 || type == 4 || type == 10 || type == 8; }

// The number at `value` widened: signed types by sign, the others as they are.
long long read_number(WORD type, const void* value) {
  switch (type) {
    case 2: {
      SHORT s;
      std::memcpy(&s, value, 2);
      return s;
    }
    case 3: {
      WORD w;
      std::memcpy(&w, value, 2);
      return w;
    }
    case 4:
    case 10: {
      LONG l;
      std::memcpy(&l, value, 4);
      return l;
    }
    case 5: {
      DWORD d;
      std::memcpy(&d, value, 4);
      return d;
    }
    case 8: return *static_cast<const BYTE*>(value);
    default: return 0;
  }
}

std::u16string signed_text(long long v) {
  return v < 0 ? u"-" + number_text(static_cast<unsigned long long>(-v)) : number_text(static_cast<unsigned long long>(v));
}

std::u16string copy_string(const void* value) {
  // Texts may lie unaligned inside a settings block.
  std::u16string text;
  const BYTE* p = static_cast<const BYTE*>(value);
  for (;; p += 2) {
    char16_t c;
    std::memcpy(&c, p, 2);
    if (!c) break;
    text.push_back(c);
    if (text.size() > static_cast<size_t>(kConflictTextChars)) break;
  }
  return text;
}

std::u16string decimal_separator(HMODULE module) {
  if (!module) module = GetResourceModule();
  WCHAR buffer[2] = {};
  if (!module || LoadStringW(module, 9241, buffer, 2) <= 0) return u"";
  return std::u16string(buffer, 1);
}

}  // namespace

INT FormatResourceString(HMODULE module, LPWSTR* out, INT size, UINT id, ...) {
  if (!out) return 0;
  *out = nullptr;
  if (size <= 0) size = kConflictMessageChars;
  std::u16string templ(static_cast<size_t>(size) + 1, u'\0');
  const INT loaded = module ? LoadStringW(module, id, templ.data(), size) : 0;
  if (loaded <= 0) return 0;
  templ.resize(static_cast<size_t>(loaded));
  auto* text = static_cast<LPWSTR>(GlobalAlloc(GPTR, static_cast<SIZE_T>(size) * sizeof(WCHAR)));
  if (!text) return 0;
  // One character more than allowed shows a text that was cut.
  std::u16string work(static_cast<size_t>(size) + 1, u'\0');
  va_list args;
  va_start(args, id);
  FormatPositionalMessageV(work.data(), size + 1, templ.c_str(), args);
  va_end(args);
  const size_t length = std::char_traits<char16_t>::length(work.c_str());
  if (length > static_cast<size_t>(size - 2)) {
    GlobalFree(text);
    return 0;
  }
  std::memcpy(text, work.c_str(), (length + 1) * sizeof(WCHAR));
  *out = text;
  return 1;
}

LPWSTR ZeroPadding(DWORD fraction, LONG divisor) {
  if (divisor <= 0) return nullptr;
  const INT places = digit_count(static_cast<unsigned long long>(divisor)) - 1;
  const INT zeros = places - digit_count(fraction);
  if (zeros <= 0) return nullptr;
  auto* text = static_cast<LPWSTR>(GlobalAlloc(GPTR, static_cast<SIZE_T>(zeros + 1) * sizeof(WCHAR)));
  if (!text) return nullptr;
  for (INT i = 0; i < zeros; ++i) text[i] = u'0';
  return text;
}

INT FormatScaledNumber(const void* value, LONG divisor, WORD type, BOOL integer_only, LPWSTR out, HMODULE module) {
  if (!value || !out) return 0;
  if (type == 6) return put_text(out, copy_string(value));
  if (!is_unsigned_type(type) && !is_signed_type(type)) return 0;
  const long long v = read_number(type, value);
  if (divisor == 1) return put_text(out, is_unsigned_type(type) ? number_text(static_cast<unsigned long long>(v)) : signed_text(v));
  if (divisor <= 0) return 0;
  const auto d = static_cast<unsigned long long>(divisor);
  const bool negative = v < 0;
  const auto magnitude = static_cast<unsigned long long>(negative ? -v : v);
  if (integer_only) return put_text(out, (negative && magnitude / d ? u"-" : u"") + number_text(magnitude / d));
  const unsigned long long fraction = magnitude % d;
  std::u16string text = negative ? u"-" : u"";
  text += number_text(magnitude / d) + decimal_separator(module);
  if (LPWSTR zeros = ZeroPadding(static_cast<DWORD>(fraction), divisor)) {
    text += zeros;
    GlobalFree(zeros);
  }
  text += number_text(fraction);
  return put_text(out, text);
}

INT FormatRangeValue(BOOL integer_only, LPWSTR out, LONG divisor, WORD type, const void* value) {
  if (!value || !out) return 0;
  if (divisor == 1 || type == 6) return FormatScaledNumber(value, 1, type, TRUE, out);
  if (!is_unsigned_type(type) && !is_signed_type(type)) return 0;
  if (divisor <= 0) return 0;
  const long long v = read_number(type, value);
  const auto d = static_cast<unsigned long long>(divisor);
  const bool negative = v < 0;
  const auto magnitude = static_cast<unsigned long long>(negative ? -v : v);
  std::u16string text = negative && (!integer_only || magnitude / d) ? u"-" : u"";
  text += number_text(magnitude / d);
  if (!integer_only) text += u"." + number_text(magnitude % d);
  return put_text(out, text);
}

INT AddToDdmidList(WORD ddmid, WORD* list, WORD room) {
  if (!list || !room) return 0;
  WORD used = 0;
  while (used < room && list[used]) {
    if (list[used] == ddmid) return 0;
    ++used;
  }
  if (used + 1 >= room) return 0;
  list[used] = ddmid;
  list[used + 1] = 0;
  return 1;
}

namespace {

constexpr WORD kCustomPaper = 256;
constexpr WORD kUserPaperWidthBase = 5889;
constexpr WORD kUserPaperLengthBase = 5909;
constexpr WORD kCustomWidth = 1863;
constexpr WORD kCustomLength = 1864;
constexpr UINT kMillimetreTemplate = 703;
constexpr UINT kInchTemplate = 9247;

bool read_word_setting(const SettingsTarget* target, WORD ddmid, WORD* out) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue value{};
  if (GetItemValue(ddmid, target->devmode, target->printer_data, &type, &size, &value) != 0) return false;
  *out = static_cast<WORD>(GetTypedValueUnsigned(type, &value));
  return true;
}

}  // namespace

INT FormatPaperSizeText(WORD paper, const SettingsTarget* target, HMODULE module, LPWSTR out,
                        const ConflictMessageOptions* options) {
  if (!out) return 0;
  out[0] = 0;
  if (!target) return 0;
  WORD width = 0, length = 0;
  if (paper == kCustomPaper) {
    if (!read_word_setting(target, kCustomWidth, &width) || !read_word_setting(target, kCustomLength, &length))
      return 0;
  } else if (IsUserPaperCode(paper)) {
    const WORD slot = UserPaperSlotOfCode(paper);
    if (slot == 0xFFFF || !read_word_setting(target, static_cast<WORD>(kUserPaperWidthBase + slot), &width) ||
        !read_word_setting(target, static_cast<WORD>(kUserPaperLengthBase + slot), &length))
      return 0;
  } else {
    return 0;
  }
  WCHAR width_text[kConflictTextChars] = {}, length_text[kConflictTextChars] = {};
  UINT templ = kMillimetreTemplate;
  if (options && options->inches) {
    LONG divisor = 100;
    DWORD w = static_cast<DWORD>(MetricToInch(width, nullptr));
    DWORD l = static_cast<DWORD>(MetricToInch(length, nullptr));
    if (options->tenths) {
      w /= 10;
      l /= 10;
      divisor = 10;
    }
    if (!FormatScaledNumber(&w, divisor, 5, FALSE, width_text, module) ||
        !FormatScaledNumber(&l, divisor, 5, FALSE, length_text, module))
      return 0;
    templ = kInchTemplate;
  } else if (!FormatScaledNumber(&width, 10, 3, TRUE, width_text, module) ||
             !FormatScaledNumber(&length, 10, 3, TRUE, length_text, module)) {
    return 0;
  }
  LPWSTR text = nullptr;
  if (!FormatResourceString(module, &text, kConflictTextChars, templ, width_text, length_text)) return 0;
  std::memcpy(out, text, (std::char_traits<char16_t>::length(text) + 1) * sizeof(WCHAR));
  GlobalFree(text);
  return 1;
}
