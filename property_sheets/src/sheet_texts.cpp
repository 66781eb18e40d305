// Text and message helpers of the property sheets.
#include "property_sheets/sheet_texts.h"

#include <cstring>
#include <string>

#include "property_sheets/sheet_records.h"
#include "settings/common/common_utils.h"
#include "settings/common/module_state.h"
#include "settings/constraints/conflict_messages.h"
#include "win/codepage.h"
#include "win/memory.h"
#include "win/msgbox.h"
#include "win/resources.h"

namespace {

constexpr INT kCaptionChars = 128;
constexpr INT kTextChars = 512;
constexpr INT kLiteralId = -3;
constexpr DWORD kInchCapability = 0xFFFF0022;
constexpr DWORD kTenthsCapability = 0xFFFF0023;

}  // namespace

INT ShowResourceMessageBox(HWND owner, INT caption_id, LPCWSTR caption, UINT type, INT text_id, LPCWSTR text) {
  HMODULE module = GetResourceModule();
  WCHAR caption_buffer[kCaptionChars] = {};
  WCHAR text_buffer[kTextChars] = {};
  if (caption_id != kLiteralId) {
    if (!module || LoadStringW(module, static_cast<UINT>(caption_id), caption_buffer, kCaptionChars) <= 0) return -1;
    caption = caption_buffer;
  }
  if (text_id != kLiteralId) {
    if (!module || LoadStringW(module, static_cast<UINT>(text_id), text_buffer, kTextChars) <= 0) return -1;
    text = text_buffer;
  }
  if (!text) return -1;
  return MessageBoxW(owner, text, caption, type);
}

INT FormatResourceStringVA(LPWSTR* out, INT maximum, UINT id, va_list args) {
  if (!out) return 0;
  *out = nullptr;
  if (maximum <= 0) maximum = kTextChars;
  HMODULE module = GetResourceModule();
  std::u16string templ(static_cast<size_t>(maximum) + 1, u'\0');
  const INT loaded = module ? LoadStringW(module, id, templ.data(), maximum) : 0;
  if (loaded <= 0) return 0;
  templ.resize(static_cast<size_t>(loaded));
  // One character more than the room shows a text that does not fit.
  std::u16string work(static_cast<size_t>(maximum) + 1, u'\0');
  va_list copy;
  va_copy(copy, args);
  FormatPositionalMessageV(work.data(), maximum + 1, templ.c_str(), copy);
  va_end(copy);
  const size_t length = std::char_traits<char16_t>::length(work.c_str());
  if (length > static_cast<size_t>(maximum - 1)) return 0;
  auto* text = static_cast<LPWSTR>(GlobalAlloc(GPTR, static_cast<SIZE_T>(maximum) * sizeof(WCHAR)));
  if (!text) return 0;
  std::memcpy(text, work.c_str(), (length + 1) * sizeof(WCHAR));
  *out = text;
  return 1;
}

INT FormatResourceStringV(LPWSTR* out, INT maximum, UINT id, ...) {
  va_list args;
  va_start(args, id);
  const INT made = FormatResourceStringVA(out, maximum, id, args);
  va_end(args);
  return made;
}

LPCWSTR GetFileNamePart(LPCWSTR path) {
  if (!path) return nullptr;
  LPCWSTR part = path;
  for (LPCWSTR p = path; *p; ++p)
    if (*p == u'\\') part = p + 1;
  return part;
}

INT GetConflictMessageOptions(const SheetState* state, ConflictMessageOptions* options) {
  if (!state || !options) return 0;
  options->inches = TestCapabilityBit(&state->capabilities, kInchCapability) && state->measurement != 0 ? 1 : 0;
  options->tenths = TestCapabilityBit(&state->capabilities, kTenthsCapability) ? 1 : 0;
  return 1;
}

INT WideToMultiByteStrict(LPCWSTR text, LPSTR* out, INT* length) {
  if (!text || !out) return 0;
  *out = nullptr;
  const UINT cp = ResolveCodePage(CP_ACP);
  BOOL used_default = FALSE;
  const INT needed = WideCharToMultiByte(cp, WC_NO_BEST_FIT_CHARS, text, -1, nullptr, 0, nullptr, &used_default);
  if (needed <= 0 || used_default) return 0;
  auto* buffer = static_cast<LPSTR>(GlobalAlloc(GPTR, static_cast<SIZE_T>(needed)));
  if (!buffer) return 0;
  used_default = FALSE;
  if (WideCharToMultiByte(cp, WC_NO_BEST_FIT_CHARS, text, -1, buffer, needed, nullptr, &used_default) <= 0 ||
      used_default) {
    GlobalFree(buffer);
    return 0;
  }
  *out = buffer;
  if (length) *length = needed - 1;
  return 1;
}
