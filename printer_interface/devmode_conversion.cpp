// The spooler's DEVMODE work without a document: DrvConvertDevMode brings
// a DEVMODE of any version of this driver into the current 1604-byte form
// or hands out the printer's defaults, and DevQueryPrintEx checks a queued
// job's DEVMODE before it prints.
#include <cstring>
#include <string>

#include "ddm/ddmid.h"
#include "pi/printer_level.h"
#include "settings/common/export_shape.h"
#include "settings/database/ddd_file.h"
#include "settings/devmode/driver_devmode.h"
#include "settings/items/default_settings.h"
#include "settings/stores/settings_migration.h"
#include "win/errors.h"
#include "win/format.h"
#include "win/memory.h"
#include "win/resources.h"
#include "win/strings.h"

namespace {

constexpr LONG kShortDevmode = static_cast<LONG>(morva::ddm::kShortDevmodeSize);

// The size rule of both modes: the output must hold the 1604-byte form.
bool take_size(LONG* size) {
  if (*size < kShortDevmode) {
    *size = kShortDevmode;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return false;
  }
  *size = kShortDevmode;
  return true;
}

}  // namespace

INT ConvertDevModeWorker(LPCWSTR printer_name, DddHandle* database, const DEVMODEW* in, DEVMODEW* out, LONG* size,
                         DWORD mode, DWORD readable) {
  if (!size) return kConvertFailed;
  if (mode == CDM_CONVERT) {
    if (!take_size(size)) return kConvertTooSmall;
    if (!in || !out) return kConvertFailed;
    switch (ConvertPrivateDevmode(in, out, printer_name, database, readable)) {
      case 0:
        return kConvertConverted;
      case 1:
        return kConvertCopied;
      case 2:
        return kConvertDefaults;
      default:
        return kConvertFailed;
    }
  }
  if (mode == CDM_DRIVER_DEFAULT) {
    if (!take_size(size)) return kConvertTooSmall;
    if (!out) return kConvertFailed;
    void* full = GlobalAlloc(GPTR, morva::ddm::kPrivateDevmodeSize);
    if (!full) return kConvertFailed;
    const bool filled = FillDefaultSettings(database, full, nullptr, printer_name) != FALSE;
    if (filled) std::memcpy(out, full, morva::ddm::kShortDevmodeSize);
    GlobalFree(full);
    return filled ? kConvertDefaults : kConvertFailed;
  }
  // Conversions to the old 3.51 form and every other mode are not offered.
  return kConvertFailed;
}

MORVA_EXPORT BOOL DrvConvertDevMode(LPWSTR printer_name, DEVMODEW* in, DEVMODEW* out, LONG* size, DWORD mode) {
  return RunExportFormatted(u"DrvConvertDevMode", u"%s RetValue = %d", [&]() -> BOOL {
    if (!printer_name || !size) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    if (*size < kShortDevmode) {
      *size = kShortDevmode;
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return FALSE;
    }
    HANDLE printer = nullptr;
    DddHandle* database = nullptr;
    if (OpenPrinterW(printer_name, &printer, nullptr)) {
      database = DddOpen(printer);
      ClosePrinter(printer);
    }
    if (!database) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    const INT result =
        ConvertDevModeWorker(printer_name, database, in, out, size, mode, kDevmodeSizeFromHeader);
    DddClose(database);
    return result >= kConvertConverted && result <= kConvertDefaults ? TRUE : FALSE;
  });
}

INT FormatDevQueryMessage(HMODULE module, LPWSTR buffer, DWORD size, DWORD* needed, LPCWSTR templ,
                          const DevQueryArg* args, INT arg_count) {
  std::u16string text;
  INT next = 0;
  auto arg = [&]() -> const DevQueryArg* { return next < arg_count && args ? &args[next++] : nullptr; };
  for (const WCHAR* p = templ; p && *p; ++p) {
    if (*p != u'%' || p[1] == 0) {
      text += *p;
      continue;
    }
    const WCHAR c = *++p;
    if (c == u's') {
      const DevQueryArg* a = arg();
      text += a && a->text ? std::u16string(a->text) : std::u16string(u" ");
    } else if (c == u'!') {
      // "%!<id>": a string of the module.
      UINT id = 0;
      while (p[1] >= u'0' && p[1] <= u'9') id = id * 10 + static_cast<UINT>(*++p - u'0');
      WCHAR loaded[257] = {};
      if (module) LoadStringW(module, id, loaded, 257);
      text += loaded;
    } else if (c == u'c') {
      const DevQueryArg* a = arg();
      if (a && a->number) text += static_cast<WCHAR>(a->number);
    } else if (c == u'd' || c == u'u' || c == u'x' || c == u'X') {
      const DevQueryArg* a = arg();
      const WCHAR format[] = {u'%', u'l', c, 0};
      WCHAR number[16] = {};
      wsprintfW(number, format, a ? a->number : 0);
      text += number;
    } else {
      text += c;
    }
  }
  if (needed) *needed = static_cast<DWORD>(text.size() + 1);
  if (!buffer || size == 0) return 0;
  const DWORD written = static_cast<DWORD>(text.size()) < size - 1 ? static_cast<DWORD>(text.size()) : size - 1;
  std::memcpy(buffer, text.data(), written * sizeof(WCHAR));
  buffer[written] = 0;
  return static_cast<INT>(written);
}

MORVA_EXPORT BOOL DevQueryPrintEx(DEVQUERYPRINT_INFO* info) {
  return RunExport(u"DevQueryPrintEx", [&]() -> BOOL {
    if (!info) return FALSE;
    if (info->pDevMode && !CheckDevmodeForPrinting(info->pDevMode)) {
      FormatDevQueryMessage(GetResourceModule(), info->pszErrorStr, info->cchErrorStr, &info->cchNeeded,
                            u"Invalid DEVMODE structure.", nullptr, 0);
      return FALSE;
    }
    return TRUE;
  });
}
