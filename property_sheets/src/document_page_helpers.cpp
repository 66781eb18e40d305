// What the document sheet's pages and dialogs share: warning boxes, opening
// the printer for changes, and lengths shown and typed in millimetres or
// inches.
#include <cstdio>
#include <string>

#include "property_sheets/document_pages.h"
#include "property_sheets/sheet_records.h"
#include "property_sheets/sheet_texts.h"
#include "settings/common/common_utils.h"
#include "settings/common/module_state.h"
#include "settings/items/item_access.h"
#include "win/msgbox.h"
#include "win/resources.h"
#include "win/spooler.h"

namespace document_pages {

namespace {
constexpr INT kCaption = 265;
constexpr UINT kDecimalSeparator = 9241;

std::u16string separator() {
  WCHAR text[8] = {};
  if (LoadStringW(GetResourceModule(), kDecimalSeparator, text, 8) <= 0) return u".";
  return text;
}
}  // namespace

void Warn(HWND owner, UINT text_id, LPCWSTR text) {
  ShowResourceMessageBox(owner, kCaption, nullptr, MB_ICONWARNING | MB_OK, text ? kNone : static_cast<INT>(text_id),
                         text);
}

HANDLE OpenPrinterForChanges(const SheetState* state) {
  if (!state || !state->printer_name) return nullptr;
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
  HANDLE printer = nullptr;
  if (!OpenPrinterW(state->printer_name, &printer, &defaults)) return nullptr;
  return printer;
}

void FormatLength(LONG tenths_mm, BOOL inch, LPWSTR out, INT chars) {
  char number[32];
  const std::u16string sep = separator();
  std::u16string text;
  if (inch) {
    const LONG hundredths = MetricToInch(tenths_mm, nullptr);
    std::snprintf(number, sizeof number, "%ld", static_cast<long>(hundredths / 100));
    text = std::u16string(number, number + std::char_traits<char>::length(number)) + sep;
    std::snprintf(number, sizeof number, "%02ld", static_cast<long>(hundredths % 100));
  } else {
    std::snprintf(number, sizeof number, "%ld", static_cast<long>(tenths_mm / 10));
    text = std::u16string(number, number + std::char_traits<char>::length(number)) + sep;
    std::snprintf(number, sizeof number, "%ld", static_cast<long>(tenths_mm % 10));
  }
  text += std::u16string(number, number + std::char_traits<char>::length(number));
  if (chars <= 0) return;
  const size_t n = std::min(text.size(), static_cast<size_t>(chars - 1));
  text.copy(out, n);
  out[n] = 0;
}

BOOL ParseLength(LPCWSTR text, BOOL inch, LONG* tenths_mm) {
  if (!text || !tenths_mm) return FALSE;
  const std::u16string sep = separator();
  const int places = inch ? 2 : 1;
  LONG whole = 0, fraction = 0;
  int digits = 0, fraction_digits = 0;
  bool after = false;
  for (LPCWSTR p = text; *p;) {
    if (!after && !sep.empty() && std::u16string(p).rfind(sep, 0) == 0) {
      after = true;
      p += sep.size();
      continue;
    }
    if (*p < u'0' || *p > u'9') return FALSE;
    if (after) {
      if (++fraction_digits > places) return FALSE;
      fraction = fraction * 10 + (*p - u'0');
    } else {
      if (++digits > 6) return FALSE;
      whole = whole * 10 + (*p - u'0');
    }
    ++p;
  }
  if (digits == 0 && fraction_digits == 0) return FALSE;
  for (int i = fraction_digits; i < places; ++i) fraction *= 10;
  if (inch) {
    *tenths_mm = InchToMetric(whole * 100 + fraction);
  } else {
    *tenths_mm = whole * 10 + fraction;
  }
  return TRUE;
}

BOOL SetNumberSetting(void* devmode, void* printer_data, WORD ddmid, LONG value) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue current{};
  if (GetItemValue(ddmid, devmode, printer_data, &type, &size, &current) != 0) return FALSE;
  if (size == 1) {
    const BYTE b = static_cast<BYTE>(value);
    return SetItemValueRaw(ddmid, devmode, printer_data, type, 1, &b) == 0;
  }
  if (size == 2) {
    const SHORT s = static_cast<SHORT>(value);
    return SetItemValueRaw(ddmid, devmode, printer_data, type, 2, &s) == 0;
  }
  return SetItemValueRaw(ddmid, devmode, printer_data, type, 4, &value) == 0;
}

}  // namespace document_pages
