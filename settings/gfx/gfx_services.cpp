// Small services that only the graphics library has, and its variants of
// shared ones.
#include <algorithm>
#include <cstring>

#include "settings/common/common_utils.h"
#include "settings/database/ddd_file.h"
#include "settings/database/ddd_queries.h"
#include "settings/gfx/graphics_module.h"
#include "settings/common/module_state.h"
#include "settings/devmode/paper_size_list.h"
#include "settings/stores/printer_data_kinds.h"
#include "settings/common/system_utils.h"
#include "win/win.h"

namespace {

constexpr BYTE kCountryOptionUnknown = 254;
constexpr BYTE kCountryOptionNotAsked = 255;
BYTE g_country_option[2] = {kCountryOptionNotAsked, kCountryOptionNotAsked};  // under kSlotLocale

struct FontTableChoice {
  UINT index;
  UINT groups;
};
constexpr FontTableChoice kFontTables[] = {{0, 15}, {1, 7}};
FontTableChoice g_font_table = kFontTables[0];  // under kSlotFontTable

constexpr UINT kLanguageNumberId = 17;
constexpr SIZE_T kDevmodeHead = 1604;
constexpr SIZE_T kDevmodeExtension = 4384;

BYTE country_option(int which) {
  LockSlotGuard g(kSlotLocale);
  if (g_country_option[which] == kCountryOptionNotAsked) {
    WCHAR text[16] = {};
    BYTE a = 0, b = 0;
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_ICOUNTRY, text, 16) > 0 && text[0] &&
        LookupCountryDefaults(WStrToInt(text), &a, &b)) {
      g_country_option[0] = a;
      g_country_option[1] = b;
    } else {
      g_country_option[0] = g_country_option[1] = kCountryOptionUnknown;
    }
  }
  return g_country_option[which];
}

}  // namespace

INT GetPaperRegion(BOOL flag) { return GetLocalePaperFamily(flag); }
BOOL SetPaperRegion(INT region) { return SetLocalePaperFamily(region); }
BYTE GetCountryOptionA() { return country_option(0); }
BYTE GetCountryOptionB() { return country_option(1); }
BOOL IsOsVersion51OrLater() { return IsWindowsXPOrLater(); }
BOOL IsOsVersion60OrLater() { return IsWindowsVistaOrLater(); }

BOOL LoadResourceNumber(WORD* out) {
  if (!out) return FALSE;
  WCHAR text[5] = {};
  HMODULE resources = GetResourceModule();
  if (!resources || LoadStringW(resources, kLanguageNumberId, text, 5) <= 0) return FALSE;
  DWORD n = 0;
  for (const WCHAR* p = text; *p >= u'0' && *p <= u'9'; ++p) n = n * 10 + static_cast<DWORD>(*p - u'0');
  *out = static_cast<WORD>(n);
  return TRUE;
}

BOOL ProbeComServerStub(LPCWSTR clsid, BOOL* available) {
  if (!clsid || !available) return FALSE;
  *available = FALSE;
  return TRUE;
}

BOOL IsVersionAtLeast(DWORD a, DWORD b) { return a >= b; }

SIZE_T BoundedStrLen(const char* text, SIZE_T max) {
  if (!text) return 0;
  SIZE_T n = 0;
  while (n < max && text[n]) ++n;
  return n;
}

void* ResizeGlobalBlock(void* block, SIZE_T old_length, SIZE_T new_size) {
  void* grown = GlobalAlloc(GPTR, new_size);
  if (!grown) return nullptr;
  if (block) {
    std::memcpy(grown, block, std::min(old_length, new_size));
    GlobalFree(block);
  }
  return grown;
}

void CopyWideStringPadded(LPWSTR out, LPCWSTR in, SIZE_T chars) {
  if (!out || chars == 0) return;
  SIZE_T n = 0;
  if (in)
    for (; n + 1 < chars && in[n]; ++n) out[n] = in[n];
  std::fill(out + n, out + chars, u'\0');
}

INT AnsiToWideBytes(LPWSTR out, INT bytes, LPCSTR in) {
  if (!out || !in || bytes < static_cast<INT>(sizeof(WCHAR))) return 0;
  int chars = MultiByteToWideChar(GetACP(), 0, in, -1, out, bytes / static_cast<INT>(sizeof(WCHAR)));
  return chars * static_cast<INT>(sizeof(WCHAR));
}

INT AnsiToWide(LPWSTR out, LPCSTR in, INT n) {
  if (!out || !in) return 0;
  INT chars = n > 0 ? n : static_cast<INT>(std::strlen(in)) + 1;
  INT written = MultiByteToWideChar(GetACP(), 0, in, -1, out, chars);
  if (written == 0) {
    // Too long for the buffer: convert what fits.
    INT bytes = static_cast<INT>(std::min<SIZE_T>(std::strlen(in), static_cast<SIZE_T>(chars)));
    written = MultiByteToWideChar(GetACP(), 0, in, bytes, out, chars);
  }
  out[chars - 1] = 0;
  return written;
}

INT GetFormByName(HANDLE printer, LPCWSTR name, FORM_INFO_1W** out) {
  if (!out) return kFormStatusBadArgument;
  *out = nullptr;
  if (!printer || !name) return kFormStatusBadArgument;
  LPWSTR form_name = const_cast<LPWSTR>(name);
  DWORD needed = 0;
  if (GetFormW(printer, form_name, 1, nullptr, 0, &needed)) return kFormStatusFailed;
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return kFormStatusNotFound;
  if (needed == 0) return kFormStatusFailed;
  auto* block = static_cast<BYTE*>(GlobalAlloc(GPTR, needed));
  if (!block) return kFormStatusBadArgument;
  if (!GetFormW(printer, form_name, 1, block, needed, &needed)) {
    GlobalFree(block);
    return kFormStatusFailed;
  }
  *out = reinterpret_cast<FORM_INFO_1W*>(block);
  return kFormStatusOk;
}

// The block: the entry followed by room for its name (the entry is 32
// bytes in the 32-bit record and wider here, with its pointer widened).
INT GetFormByIndex(HANDLE printer, DWORD index, FORM_INFO_1W** out) {
  if (!out) return kFormStatusBadArgument;
  *out = nullptr;
  if (!printer || index == 0) return kFormStatusBadArgument;
  FORM_INFO_1W* forms = nullptr;
  DWORD bytes = 0, count = 0;
  INT status = AllocEnumForms(printer, &forms, &bytes, &count);
  if (status != kFormsOk) return status;
  if (index > count) {
    if (forms) GlobalFree(forms);
    return kFormStatusNotFound;
  }
  auto* block = static_cast<BYTE*>(GlobalAlloc(GPTR, sizeof(FORM_INFO_1W) + kFormNameChars * sizeof(WCHAR)));
  if (!block) {
    GlobalFree(forms);
    return kFormStatusBadArgument;
  }
  auto* entry = reinterpret_cast<FORM_INFO_1W*>(block);
  *entry = forms[index - 1];
  auto* name = reinterpret_cast<LPWSTR>(block + sizeof(FORM_INFO_1W));
  CopyWideStringPadded(name, forms[index - 1].pName, kFormNameChars);
  entry->pName = name;
  GlobalFree(forms);
  *out = entry;
  return kFormStatusOk;
}

INT GetFormGeometry(HANDLE printer, LPCWSTR name, DWORD index, LONG geometry[6]) {
  if (!printer || !geometry || (!name && index == 0)) return kFormStatusBadArgument;
  FORM_INFO_1W* form = nullptr;
  INT status = name ? GetFormByName(printer, name, &form) : GetFormByIndex(printer, index, &form);
  if (status != kFormStatusOk) return status;
  // Thousandths of a millimetre to tenths.
  const LONG values[6] = {form->Size.cx, form->Size.cy, form->ImageableArea.left, form->ImageableArea.top,
                          form->ImageableArea.right, form->ImageableArea.bottom};
  for (int i = 0; i < 6; ++i) geometry[i] = values[i] / 100;
  GlobalFree(form);
  return kFormStatusOk;
}

LPWSTR GetDriverDirectory(HANDLE printer) {
  BYTE* info = AllocGetPrinterDriver(printer, 2);
  if (!info) return nullptr;
  LPCWSTR path = reinterpret_cast<DRIVER_INFO_2W*>(info)->pDriverPath;
  LPWSTR result = nullptr;
  if (path) {
    SIZE_T length = 0;
    while (path[length]) ++length;
    SIZE_T dll = length;
    for (SIZE_T i = 0; i + 4 <= length; ++i) {
      if (path[i] == u'.' && (path[i + 1] | 0x20) == u'd' && (path[i + 2] | 0x20) == u'l' &&
          (path[i + 3] | 0x20) == u'l') {
        dll = i;
        break;
      }
    }
    SIZE_T slash = dll;
    while (slash > 0 && path[slash - 1] != u'\\') --slash;
    if (dll < length && slash > 0) {
      result = static_cast<LPWSTR>(GlobalAlloc(GPTR, (slash + 1) * sizeof(WCHAR)));
      if (result) std::memcpy(result, path, slash * sizeof(WCHAR));
    }
  }
  GlobalFree(info);
  return result;
}

BOOL CopyDevmodeExtension(void* destination, const void* source) {
  if (!destination || !source) return FALSE;
  std::memmove(static_cast<BYTE*>(destination) + kDevmodeHead, static_cast<const BYTE*>(source) + kDevmodeHead,
               kDevmodeExtension);
  return TRUE;
}

BYTE* ReduceToWhiteOrBlack24(const BYTE* in, BYTE* out, DWORD rows, DWORD pixels) {
  SIZE_T count = static_cast<SIZE_T>(rows) * pixels;
  for (SIZE_T i = 0; i < count; ++i, in += 3, out += 3) {
    BYTE v = in[0] == 0xFF && in[1] == 0xFF && in[2] == 0xFF ? 0xFF : 0x00;
    out[0] = out[1] = out[2] = v;
  }
  return out;
}

const BYTE* InvertPixelBytes(const BYTE* in, BYTE* out, DWORD rows, DWORD bytes) {
  SIZE_T count = static_cast<SIZE_T>(rows) * bytes;
  for (SIZE_T i = 0; i < count; ++i) *out++ = static_cast<BYTE>(~*in++);
  return in;
}

BOOL SelectFontSubstitutionTable(INT which) {
  if (which != 0 && which != 1) return FALSE;
  LockSlotGuard g(kSlotFontTable);
  g_font_table = kFontTables[which == 1 ? 0 : 1];
  return TRUE;
}

UINT CurrentFontSubstitutionTable(UINT* groups) {
  LockSlotGuard g(kSlotFontTable);
  if (groups) *groups = g_font_table.groups;
  return g_font_table.index;
}

LPWSTR BuildConfiguredDllPath(HANDLE printer, WORD string_id) {
  if (!printer) return nullptr;
  LPWSTR directory = GetDriverDirectory(printer);
  if (!directory) return nullptr;
  LPWSTR path = nullptr;
  DddHandle* database = DddOpen(printer);
  WCHAR* name = nullptr;
  if (database && DddGetDatabaseString(&database->main, string_id, &name) == 0 && name && name[0]) {
    SIZE_T a = static_cast<SIZE_T>(lstrlenW(directory)), b = static_cast<SIZE_T>(lstrlenW(name));
    path = static_cast<LPWSTR>(GlobalAlloc(GPTR, (a + b + 1) * sizeof(WCHAR)));
    if (path) {
      std::memcpy(path, directory, a * sizeof(WCHAR));
      std::memcpy(path + a, name, b * sizeof(WCHAR));
    }
  }
  if (name) GlobalFree(name);
  if (database) DddClose(database);
  GlobalFree(directory);
  return path;
}

namespace morva::gfx {
void reset_country_options_for_test() {
  LockSlotGuard g(kSlotLocale);
  g_country_option[0] = g_country_option[1] = kCountryOptionNotAsked;
}
}  // namespace morva::gfx
