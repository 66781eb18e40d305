// The sheet records: creating, loading and freeing SheetState members and
// SheetContexts with their snapshots.
#include "property_sheets/sheet_records.h"

#include <cstring>
#include <utility>
#include <map>
#include <mutex>

#include "fax/fax_list.h"
#include "fax/key_list.h"
#include "settings/common/common_utils.h"
#include "settings/devmode/driver_devmode.h"
#include "settings/stores/printer_data_kinds.h"
#include "win/memory.h"
#include "win/spooler.h"
#include "win/sysinfo.h"
#include "win/window.h"

using namespace morva::fax;

namespace {

constexpr DWORD kDevmodeBytes = 5988;
constexpr DWORD kPrinterDataBytes = 7972;
constexpr DWORD kMetricCapability = 0x800000;

// The pages' DWL_USER, kept here until the pages are windows of the
// window system.
std::mutex g_contexts_lock;
std::map<HWND, SheetContext*>& contexts() {
  static std::map<HWND, SheetContext*> table;
  return table;
}

void* copy_block(const void* source, DWORD size) {
  if (!source || !size) return nullptr;
  void* copy = GlobalAlloc(GPTR, size);
  if (copy) std::memcpy(copy, source, size);
  return copy;
}

void free_snapshot(SheetSnapshot* s) {
  SafeGlobalFree(s->devmode);
  SafeGlobalFree(s->printer_data);
  SafeGlobalFree(s->marking);
  SafeGlobalFree(s->spinfo);
  if (s->fax_list) FaxList_Destroy(s->fax_list);
  *s = SheetSnapshot{};
}

// A deep copy of `source` into `target` (which starts empty).
bool copy_snapshot(SheetSnapshot* target, const SheetSnapshot* source) {
  target->devmode = GlobalAlloc(GPTR, kDevmodeBytes);
  target->printer_data = GlobalAlloc(GPTR, kPrinterDataBytes);
  target->fax_list = FaxList_Create();
  if (!target->devmode || !target->printer_data || !target->fax_list) return false;
  std::memcpy(target->devmode, source->devmode, kDevmodeBytes);
  std::memcpy(target->printer_data, source->printer_data, kPrinterDataBytes);
  if (source->marking && source->marking_size) {
    target->marking = static_cast<BYTE*>(copy_block(source->marking, source->marking_size));
    if (!target->marking) return false;
    target->marking_size = source->marking_size;
  }
  if (source->spinfo && source->spinfo_size) {
    target->spinfo = static_cast<BYTE*>(copy_block(source->spinfo, source->spinfo_size));
    if (!target->spinfo) return false;
    target->spinfo_size = source->spinfo_size;
  }
  return !source->fax_list || FaxList_Copy(target->fax_list, source->fax_list);
}

}  // namespace

HGLOBAL SafeGlobalFree(HGLOBAL block) { return block ? GlobalFree(block) : nullptr; }

SheetContext* GetSheetContext(HWND window) {
  if (!window) return nullptr;
  {
    std::lock_guard<std::mutex> hold(g_contexts_lock);
    const auto found = contexts().find(window);
    if (found != contexts().end()) return found->second;
  }
  // A page or engine dialog keeps its context in its DWL_USER.
  return IsWindow(window) ? reinterpret_cast<SheetContext*>(GetWindowLongPtrW(window, DWLP_USER)) : nullptr;
}

INT CopySnapshot(SheetSnapshot* target, const SheetSnapshot* source) {
  if (!target || !source || !source->devmode || !source->printer_data) return 0;
  SheetSnapshot copy{};
  if (!copy_snapshot(&copy, source)) {
    free_snapshot(&copy);
    return 0;
  }
  if (target->devmode && target->printer_data) {
    // The blocks stay where they are: open dialogs hold their addresses.
    std::memcpy(target->devmode, copy.devmode, kDevmodeBytes);
    std::memcpy(target->printer_data, copy.printer_data, kPrinterDataBytes);
    std::swap(copy.devmode, target->devmode);
    std::swap(copy.printer_data, target->printer_data);
  }
  free_snapshot(target);
  *target = copy;
  return 1;
}

void FreeSnapshot(SheetSnapshot* snapshot) {
  if (snapshot) free_snapshot(snapshot);
}

SheetState* GetSheetState(HWND window) {
  SheetContext* context = GetSheetContext(window);
  return context ? context->state : nullptr;
}

void SetSheetContext(HWND window, SheetContext* context) {
  if (!window) return;
  std::lock_guard<std::mutex> hold(g_contexts_lock);
  if (context)
    contexts()[window] = context;
  else
    contexts().erase(window);
}

SheetContext* CreateSheetContext(HWND sheet_window, SheetState* state, const SheetSnapshot* snapshot,
                                 const SheetSnapshot* third) {
  if (!state || !snapshot || !snapshot->devmode || !snapshot->printer_data) return nullptr;
  auto* context = static_cast<SheetContext*>(GlobalAlloc(GPTR, sizeof(SheetContext)));
  if (!context) return nullptr;
  context->state = state;
  context->sheet_window = sheet_window;
  bool ok = copy_snapshot(&context->current, snapshot) && copy_snapshot(&context->initial, snapshot);
  if (ok && third && third->devmode && third->printer_data) ok = copy_snapshot(&context->applied, third);
  for (int i = 0; ok && i < kSheetKeyListCount; ++i) ok = (context->lists[i] = KeyList_Create()) != nullptr;
  if (!ok) {
    DestroySheetContext(&context);
    return nullptr;
  }
  return context;
}

INT DestroySheetContext(SheetContext** context) {
  if (!context) return 0;
  SheetContext* c = *context;
  if (c) {
    free_snapshot(&c->current);
    free_snapshot(&c->initial);
    free_snapshot(&c->applied);
    for (KeyList*& list : c->lists)
      if (list) KeyList_Destroy(&list);
    GlobalFree(c);
  }
  *context = nullptr;
  return 1;
}

INT LoadDeviceOptions(SheetState* state, DddHandle* database) {
  if (!state || !database) return 0;
  return LoadCapabilityBits(database, &state->capabilities) ? 1 : 0;
}

INT LoadMeasurementSystem(SheetState* state) {
  if (!state) return 0;
  if (TestCapabilityBit(&state->capabilities, kMetricCapability)) {
    WCHAR text[4] = {};
    state->measurement = GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_IMEASURE, text, 4) > 0 && text[0] == u'1' ? 1 : 0;
  }
  return 1;
}

INT ResetChangeGuard(SheetState* state) {
  if (!state) return 0;
  state->change_guard = FALSE;
  return 1;
}

INT ResetStartupWarningFlag(SheetState* state) {
  if (!state) return 0;
  state->startup_warning_shown = FALSE;
  return 1;
}

INT LoadPromptComponentFlag(SheetState* state, DddHandle* database) {
  if (!state || !database) return 0;
  BOOL installed = FALSE;
  const BOOL result = ProbeComComponent(database, &installed);
  state->prompt_component_installed = installed;
  return result;
}

INT CachePortName(SheetState* state) {
  if (!state) return 0;
  if (state->port_name) return 1;
  LPCWSTR port = nullptr;
  BYTE* info = AllocGetPrinter(state->printer, 5);
  if (info) {
    port = reinterpret_cast<PRINTER_INFO_5W*>(info)->pPortName;
  } else if ((info = AllocGetPrinter(state->printer, 2)) != nullptr) {
    port = reinterpret_cast<PRINTER_INFO_2W*>(info)->pPortName;
  }
  if (port) {
    const size_t bytes = (std::char_traits<char16_t>::length(port) + 1) * sizeof(WCHAR);
    state->port_name = static_cast<LPWSTR>(copy_block(port, static_cast<DWORD>(bytes)));
  }
  SafeGlobalFree(info);
  return 0;
}

INT FreePortName(SheetState* state) {
  if (!state || !state->port_name) return 0;
  GlobalFree(state->port_name);
  state->port_name = nullptr;
  return 1;
}

void FreeSheetScratch(SheetState* state) {
  if (!state) return;
  SafeGlobalFree(state->scratch);
  state->scratch = nullptr;
}

INT FreePendingWarnings(PendingWarnings** holder) {
  if (!holder) return 0;
  if (*holder) {
    for (LPWSTR text : (*holder)->texts) SafeGlobalFree(text);
    GlobalFree(*holder);
    *holder = nullptr;
  }
  return 1;
}

INT FreeSummaryIconData(SheetState* state) {
  if (state) {
    SafeGlobalFree(state->summary_icons);
    state->summary_icons = nullptr;
  }
  return 1;
}

INT FreeStringArray(SheetState* state) {
  if (!state) return 0;
  if (state->page_titles) {
    for (LPWSTR* p = state->page_titles; *p; ++p) GlobalFree(*p);
    GlobalFree(state->page_titles);
    state->page_titles = nullptr;
  }
  return 1;
}

INT FreeDpiLayoutMetrics(SheetState* state) {
  if (!state) return 0;
  SafeGlobalFree(state->dpi_metrics);
  state->dpi_metrics = nullptr;
  return 1;
}

LPWSTR GetDriverHelpFile(HANDLE printer) {
  BYTE* info = AllocGetPrinterDriver(printer, 3);
  if (!info) return nullptr;
  LPCWSTR help = reinterpret_cast<DRIVER_INFO_3W*>(info)->pHelpFile;
  LPWSTR copy = nullptr;
  if (help) {
    const size_t bytes = (std::char_traits<char16_t>::length(help) + 1) * sizeof(WCHAR);
    copy = static_cast<LPWSTR>(copy_block(help, static_cast<DWORD>(bytes)));
  }
  GlobalFree(info);
  return copy;
}

INT LoadHelpFilePath(SheetState* state) {
  if (!state) return 0;
  LPWSTR help = GetDriverHelpFile(state->printer);
  if (!help) return 0;
  const size_t n = std::char_traits<char16_t>::length(help);
  const bool fits = n < sizeof state->help_file / sizeof(WCHAR);
  if (fits) std::memcpy(state->help_file, help, (n + 1) * sizeof(WCHAR));
  GlobalFree(help);
  return fits ? 1 : 0;
}
