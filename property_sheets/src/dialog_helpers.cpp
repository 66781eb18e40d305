// Small helpers of the pages and dialogs, and the one formatter of the
// sheets' message texts with its table of argument lists.
#include "property_sheets/dialog_helpers.h"

#include <cstring>
#include <string>

#include "settings/common/module_state.h"
#include "settings/items/item_access.h"
#include "win/memory.h"
#include "win/resources.h"
#include "win/window.h"

namespace {

constexpr INT kMessageChars = 512;

struct MessageRow {
  UINT id;
  const char* arguments;
};

// Each message id with the one argument list every caller uses. Ids whose
// callers wanted different lists are split: the name-first forms of 425,
// 447 and 743 are 9425, 9447 and 9743.
constexpr MessageRow kMessages[] = {
    {265, ""},        // caption of the sheets' message boxes
    {427, ""},        // the range note of an entry check
    {3904, ""},       // security marking switched off
    {5098, ""},       // title prefix of a sheet
    {4623, ""},       // title of the device settings page
    {700, "sss"},     // name, lowest, highest (numbers already formatted)
    {425, "dddd"},    // minimum, maximum, maximum, half the maximum
    {9425, "sdddd"},  // field name, minimum, maximum, maximum, half the maximum
    {447, "dd"},      // minimum, maximum
    {9447, "sdd"},    // name, minimum, maximum
    {743, "dd"},      // minimum, maximum
    {9743, "sdd"},    // name, minimum, maximum
};

constexpr UINT kMessageIds[] = {265, 427, 3904, 5098, 4623, 700, 425, 9425, 447, 9447, 743, 9743};
static_assert(sizeof kMessageIds / sizeof kMessageIds[0] == sizeof kMessages / sizeof kMessages[0]);

// Positional placeholders: "%Ns" / "%Nd" name argument N (1-9), "%s" /
// "%d" the placeholder's own position; "%%" is a percent sign. False when
// a placeholder names a missing argument or one of the other kind.
bool format_positional(const std::u16string& templ, const MessageArg* args, INT count, std::u16string* out) {
  INT position = 0;
  for (size_t i = 0; i < templ.size(); ++i) {
    const char16_t c = templ[i];
    if (c != u'%' || i + 1 >= templ.size()) {
      out->push_back(c);
      continue;
    }
    if (templ[i + 1] == u'%') {
      out->push_back(u'%');
      ++i;
      continue;
    }
    size_t j = i + 1;
    INT index = position;
    if (templ[j] >= u'1' && templ[j] <= u'9') index = templ[j++] - u'1';
    if (j >= templ.size() || (templ[j] != u's' && templ[j] != u'd')) {
      out->push_back(c);
      continue;
    }
    ++position;
    const bool text = templ[j] == u's';
    if (index >= count || args[index].is_text != text) return false;
    if (text)
      *out += args[index].text ? std::u16string(args[index].text) : std::u16string();
    else {
      const std::string digits = std::to_string(args[index].number);
      out->append(digits.begin(), digits.end());
    }
    i = j;
  }
  return true;
}

}  // namespace

const char* MessageArgumentList(UINT id) {
  for (const MessageRow& row : kMessages)
    if (row.id == id) return row.arguments;
  return nullptr;
}

const UINT* SheetMessageIds(INT* count) {
  if (count) *count = static_cast<INT>(sizeof kMessageIds / sizeof kMessageIds[0]);
  return kMessageIds;
}

LPWSTR FormatSheetMessage(UINT id, const MessageArg* args, INT count) {
  const char* list = MessageArgumentList(id);
  if (!list || static_cast<INT>(std::strlen(list)) != count) return nullptr;
  for (INT i = 0; i < count; ++i)
    if (args[i].is_text != (list[i] == 's')) return nullptr;
  WCHAR templ[kMessageChars] = {};
  const INT loaded = LoadStringW(GetResourceModule(), id, templ, kMessageChars);
  if (loaded <= 0) return nullptr;
  std::u16string text;
  if (!format_positional(std::u16string(templ, static_cast<size_t>(loaded)), args, count, &text) ||
      text.size() >= static_cast<size_t>(kMessageChars))
    return nullptr;
  auto* out = static_cast<LPWSTR>(GlobalAlloc(GPTR, (text.size() + 1) * sizeof(WCHAR)));
  if (out) std::memcpy(out, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
  return out;
}

INT ParseDecimalText(const char* text, INT* value) {
  if (!text || !value) return 0;
  const char* p = text;
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  const size_t digits = std::strlen(p);
  if (digits == 0 || digits > 10) return 0;
  for (size_t i = 0; i < digits; ++i)
    if (p[i] < '0' || p[i] > '9') return 0;
  if (digits == 10 && std::strcmp(p, negative ? "2147483648" : "4294967295") > 0) return 0;
  // Accumulated in 64 bits: the bounds above keep it within 32.
  long long magnitude = 0;
  for (size_t i = 0; i < digits; ++i) magnitude = magnitude * 10 + (p[i] - '0');
  const long long signed_value = negative ? -magnitude : magnitude;
  *value = static_cast<INT>(static_cast<DWORD>(static_cast<unsigned long long>(signed_value) & 0xFFFFFFFFu));
  return 1;
}

INT FormatFixedPoint(LPWSTR* out, INT decimals, BOOL is_signed, WORD flags, LONG value) {
  if (!out) return 0;
  *out = nullptr;
  if (!(flags & 0x40) || decimals < 0 || decimals > 9) return 0;
  std::string text;
  unsigned long long magnitude = static_cast<DWORD>(value);
  if (is_signed && value < 0) {
    text = "-";
    magnitude = static_cast<unsigned long long>(-static_cast<long long>(value));
  }
  unsigned long long divisor = 1;
  for (INT i = 0; i < decimals; ++i) divisor *= 10;
  const unsigned long long whole = magnitude / divisor;
  const unsigned long long fraction = magnitude % divisor;
  text += std::to_string(whole);
  if (decimals > 0 && !((flags & 0x100) && fraction == 0)) {
    WCHAR separator[8] = {};
    LoadStringW(GetResourceModule(), 9241, separator, 8);
    text += separator[0] ? static_cast<char>(separator[0]) : '.';
    std::string digits = std::to_string(fraction);
    text += std::string(static_cast<size_t>(decimals) - digits.size(), '0') + digits;
  }
  auto* buffer = static_cast<LPWSTR>(GlobalAlloc(GPTR, (text.size() + 1) * sizeof(WCHAR)));
  if (!buffer) return 0;
  for (size_t i = 0; i < text.size(); ++i) buffer[i] = static_cast<WCHAR>(text[i]);
  *out = buffer;
  return 1;
}

INT FindControlHelpTopic(const INT* table, HWND control) {
  if (!table || !control) return 0;
  HWND parent = GetParent(control);
  for (const INT* p = table; p[0]; p += 2)
    if (parent && GetDlgItem(parent, p[0]) == control) return p[1];
  return 0;
}

INT AppendTextBounded(LPWSTR dest, LPCWSTR text, INT limit) {
  if (!dest || !text || limit <= 0) return 0;
  const size_t have = std::char_traits<char16_t>::length(dest);
  const size_t add = std::char_traits<char16_t>::length(text);
  if (have >= static_cast<size_t>(limit)) return 1;
  const size_t room = static_cast<size_t>(limit) - have - 1;
  const size_t n = add < room ? add : room;
  std::memcpy(dest + have, text, n * sizeof(WCHAR));
  dest[have + n] = 0;
  return 1;
}
