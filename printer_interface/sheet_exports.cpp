// The exports through which the spooler, the printer folder and
// applications open the driver's property sheets: the document and device
// sheets run by the common property-sheet component, the sheet data they
// build and tear down, and what OK stores.
#include "pi/sheet_exports.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "fax/fax_list.h"
#include "fax/fax_store.h"
#include "fax/fax_temp_files.h"
#include "pi/document_properties.h"
#include "property_sheets/margin_checks.h"
#include "property_sheets/sheet_engine.h"
#include "settings/common/export_shape.h"
#include "settings/common/module_state.h"
#include "settings/database/ddd_file.h"
#include "settings/database/ddd_queries.h"
#include "settings/devmode/driver_devmode.h"
#include "settings/items/item_access.h"
#include "settings/stores/printer_data_kinds.h"
#include "settings/stores/printer_settings.h"
#include "settings/stores/private_blobs.h"
#include "settings/stores/user_setting_info.h"
#include "win/files.h"
#include "win/memory.h"
#include "win/modules.h"
#include "win/resources.h"
#include "win/spooler.h"
#include "win/window.h"

using namespace morva::fax;

namespace {

constexpr DWORD kPublicDevmode = 220;
constexpr DWORD kShortDevmode = 1604;
constexpr DWORD kFullDevmode = 5988;
constexpr WORD kDirectFax = 5177;
constexpr WORD kSettingsFile = 374;
constexpr WORD kPerUserSettings = 439;
constexpr WORD kStoredVersion = 8204;
constexpr UINT kTitleString = 5098;
constexpr ULONG_PTR kSheetIcon = 64082;

void free_state(SheetState* state) {
  if (!state) return;
  if (state->database) DddClose(state->database);
  SafeGlobalFree(state->printer_name);
  SafeGlobalFree(state->user_key_name);
  SafeGlobalFree(state->page_handles);
  FreePortName(state);
  FreeSheetScratch(state);
  FreeSummaryIconData(state);
  FreeStringArray(state);
  FreeDpiLayoutMetrics(state);
  FreePendingWarnings(&state->pending_warnings);
  GlobalFree(state);
}

LPWSTR copy_text(LPCWSTR text) {
  if (!text) return nullptr;
  const size_t bytes = (std::char_traits<char16_t>::length(text) + 1) * sizeof(WCHAR);
  auto* copy = static_cast<LPWSTR>(GlobalAlloc(GPTR, bytes));
  if (copy) std::memcpy(copy, text, bytes);
  return copy;
}

bool read_number(void* devmode, void* printer_data, WORD ddmid, LONG* out) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (GetItemValue(ddmid, devmode, printer_data, &type, &size, &v)) return false;
  *out = GetTypedValue(type, &v);
  return true;
}

}  // namespace

SheetContext* CreatePropertySheetData(HANDLE printer, const DEVMODEW* input, DWORD fMode) {
  DddHandle* database = DddOpen(printer);
  if (!database) return nullptr;
  SheetSnapshot snapshot{};
  snapshot.devmode = AllocPrivateDevmode(kDevmodeKindFull);
  snapshot.printer_data = GlobalAlloc(GPTR, kPrinterDataBlockSize);
  snapshot.fax_list = FaxList_Create();
  auto* state = static_cast<SheetState*>(GlobalAlloc(GPTR, sizeof(SheetState)));
  SheetContext* context = nullptr;
  bool ok = snapshot.devmode && snapshot.printer_data && snapshot.fax_list && state;
  if (ok) {
    DWORD size = kFullDevmode;
    BOOL converted = FALSE;
    PRINTER_INFO_2W* info = GetPrinterDefaultDevmode(printer, database, snapshot.devmode, &size, &converted);
    ok = info != nullptr;
    if (ok) state->printer_name = copy_text(info->pPrinterName);
    SafeGlobalFree(info);
    ok = ok && state->printer_name && ReadPrinterSettings(printer, snapshot.printer_data, database);
  }
  // An application's DEVMODE whose size the model accepts is merged in.
  if (ok && input && !(fMode & DM_USER_DEFAULT) && input->dmSize)
    ok = MergeDevmode(database, snapshot.devmode, input, snapshot.printer_data, printer, kMergeResolutionPair);
  if (ok) {
    state->printer = printer;
    state->database = database;
    state->active_page = -1;
    state->user_key_name = DddGetFieldString(&database->main, 30, 0);
    ok = state->user_key_name != nullptr;
    CachePortName(state);
  }
  if (ok) {
    // The private settings (extension block, fax list, blobs) of the
    // settings file the DEVMODE names, else of the printer.
    BYTE* extension = static_cast<BYTE*>(snapshot.devmode) + kShortDevmode;
    LONG per_user = 0;
    read_number(snapshot.devmode, snapshot.printer_data, kPerUserSettings, &per_user);
    WORD type = 0;
    DWORD size = 0;
    ItemValue file{};
    std::u16string file_name;
    if (!GetItemValue(kSettingsFile, snapshot.devmode, snapshot.printer_data, &type, &size, &file) && type == 6)
      file_name = ItemText(file, size);
    auto load = [&](LPCWSTR name, WORD kind) {
      if (LoadSettingsWithFaxList(printer, database, name, kind, snapshot.fax_list, extension, &snapshot.marking,
                                  &snapshot.marking_size, &snapshot.spinfo, &snapshot.spinfo_size))
        return true;
      snapshot.marking = nullptr, snapshot.spinfo = nullptr;
      snapshot.marking_size = snapshot.spinfo_size = 0;
      return false;
    };
    bool loaded = !file_name.empty() && load(file_name.c_str(), 2);
    if (!file_name.empty() && !loaded) {
      // A settings file that cannot be read is forgotten.
      const WCHAR* empty = u"";
      SetItemValueRaw(kSettingsFile, snapshot.devmode, snapshot.printer_data, 6, sizeof(WCHAR), &empty);
    }
    if (!loaded) loaded = load(nullptr, per_user == 1 ? 3 : 2);
    if (!loaded) GetCurrentDevmodeExtension(printer, extension);
    context = CreateSheetContext(nullptr, state, &snapshot, nullptr);
    ok = context != nullptr;
  }
  SafeGlobalFree(snapshot.devmode);
  SafeGlobalFree(snapshot.printer_data);
  SafeGlobalFree(snapshot.marking);
  SafeGlobalFree(snapshot.spinfo);
  if (snapshot.fax_list) FaxList_Destroy(snapshot.fax_list);
  if (!ok) {
    if (state && state->database == database) state->database = nullptr;
    free_state(state);
    DddClose(database);
    return nullptr;
  }
  return context;
}

void DestroyPropertySheetData(SheetContext* context) {
  if (!context) return;
  SheetState* state = context->state;
  DestroySheetContext(&context);
  free_state(state);
}

UINT PropertySheetPageCallback(HWND, UINT, PROPSHEETPAGEW*) { return 1; }

namespace {

// The sheet's pages added to the component; false when one is refused.
bool add_pages(PROPSHEETUI_INFO* info, SheetContext* context, INT kind, BOOL insert_fax) {
  SheetState* state = context->state;
  const INT device_class = GetDeviceClass(state->database);
  INT count = 0;
  const DialogDescriptor** list = AllocatePageList(kind, state, &count, insert_fax, device_class);
  if (!list) return false;
  bool ok = CollectSheetDialogs(kind, state, list, insert_fax, device_class) != 0;
  INT pages = 0;
  PROPSHEETPAGEW* records = ok ? BuildPropertyPages(list, state, count, &pages) : nullptr;
  ok = ok && records;
  if (ok) {
    state->page_handles = static_cast<HANDLE*>(GlobalAlloc(GPTR, sizeof(HANDLE) * static_cast<SIZE_T>(pages)));
    ok = state->page_handles != nullptr;
  }
  for (INT i = 0; ok && i < pages; ++i) {
    PROPSHEETPAGEW& p = records[i];
    p.dwFlags |= PSP_USECALLBACK;
    p.hInstance = GetResourceModule();
    p.pfnCallback = PropertySheetPageCallback;
    p.lParam = reinterpret_cast<LPARAM>(context);
    HPROPSHEETPAGE page = CreatePropertySheetPageW(&p);
    ok = page && info->pfnComPropSheet(info->hComPropSheet, CPSFUNC_ADD_HPROPSHEETPAGE,
                                       reinterpret_cast<LPARAM>(page), 0) != 0;
    if (!ok && page) DestroyPropertySheetPage(page);
    if (ok) state->page_handles[state->page_count++] = page;
  }
  if (ok) {
    LoadHelpFilePath(state);
    state->dialog_tables = CreateDialogTables(list, count);
    ok = state->dialog_tables != nullptr;
  }
  SafeGlobalFree(records);
  GlobalFree(list);
  return ok;
}

LONG init_sheet(INT kind, PROPSHEETUI_INFO* info) {
  HANDLE printer = nullptr;
  const DEVMODEW* input = nullptr;
  DWORD fMode = 0;
  BOOL editable = TRUE;
  if (kind == kSheetTypeDevice) {
    const auto* header = reinterpret_cast<const DEVICEPROPERTYHEADER*>(info->lParamInit);
    if (!header) return -1;
    printer = header->hPrinter;
    editable = !(header->Flags & DPS_NOPERMISSION);
  } else {
    const auto* header = reinterpret_cast<const DOCUMENTPROPERTYHEADER*>(info->lParamInit);
    if (!header) return -1;
    printer = header->hPrinter;
    input = header->pdmIn;
    fMode = header->fMode;
    editable = !(fMode & DM_NOPERMISSION);
  }
  SheetContext* context = CreatePropertySheetData(printer, input, fMode);
  if (!context) return -1;
  SheetState* state = context->state;
  LoadResourceModule();
  state->compstui_callback = reinterpret_cast<void*>(info->pfnComPropSheet);
  state->compstui_handle = info->hComPropSheet;
  state->can_edit = editable;
  state->mode = kind == kSheetTypeDevice ? kSheetModeDevice
                : kind == kSheetTypeFax ? kSheetModeFaxOnly
                : (fMode & DM_USER_DEFAULT) ? kSheetModeUserDefault
                                            : kSheetModeDocument;
  LoadDeviceOptions(state, state->database);
  LoadMeasurementSystem(state);
  ResetChangeGuard(state);
  ResetStartupWarningFlag(state);
  SetSheetHostClassifier(ClassifyHostWindow);
  LoadPromptComponentFlag(state, state->database);
  // The fax page belongs to models with direct fax on, and never to the
  // sheet of the user's default settings.
  LONG direct_fax = 0;
  read_number(context->current.devmode, context->current.printer_data, kDirectFax, &direct_fax);
  const BOOL insert_fax = direct_fax != 0 && !(kind == kSheetTypeDocument && (fMode & DM_USER_DEFAULT));
  if (!add_pages(info, context, kind, insert_fax)) {
    DestroyDialogTables(state->dialog_tables);
    state->dialog_tables = nullptr;
    DestroyPropertySheetData(context);
    ReleaseResourceModule();
    return -1;
  }
  info->UserData = reinterpret_cast<ULONG_PTR>(context);
  info->Result = 0;
  return 1;
}

}  // namespace

LONG PropertySheetWorker(INT kind, PROPSHEETUI_INFO* info, LPARAM lParam) {
  if (!info) return -1;
  if (info->Reason == PROPSHEETUI_REASON_INIT) return init_sheet(kind, info);
  auto* context = reinterpret_cast<SheetContext*>(info->UserData);
  if (!context) return -1;
  SheetState* state = context->state;
  switch (info->Reason) {
    case PROPSHEETUI_REASON_GET_INFO_HEADER: {
      auto* header = reinterpret_cast<PROPSHEETUI_INFO_HEADER*>(lParam);
      if (!header) return -1;
      header->Flags = kind == kSheetTypeFax ? (PSUIHDRF_NOAPPLYNOW | PSUIHDRF_USEHICON)
                                            : (PSUIHDRF_NOAPPLYNOW | PSUIHDRF_PROPTITLE);
      header->IconID = kind == kSheetTypeFax ? 0 : kSheetIcon;
      header->hInst = GetResourceModule();
      WCHAR prefix[256] = {};
      LoadStringW(GetResourceModule(), kTitleString, prefix, 256);
      // The caller's printer name titles the sheet (the fax sheet of a job
      // gives the document's name there); without one, the printer's.
      LPCWSTR name = state->printer_name;
      if (kind == kSheetTypeDevice) {
        const auto* device = reinterpret_cast<const DEVICEPROPERTYHEADER*>(info->lParamInit);
        if (device && device->pszPrinterName) name = device->pszPrinterName;
      } else if (const auto* document = reinterpret_cast<const DOCUMENTPROPERTYHEADER*>(info->lParamInit);
                 document && document->pszPrinterName) {
        name = document->pszPrinterName;
      }
      std::u16string title = std::u16string(prefix) + (name ? name : u"");
      title.resize(std::min<size_t>(title.size(), 127));
      std::memcpy(state->title, title.c_str(), (title.size() + 1) * sizeof(WCHAR));
      header->pTitle = state->title;
      return 1;
    }
    case PROPSHEETUI_REASON_DESTROY:
      DestroyDialogTables(state->dialog_tables);
      state->dialog_tables = nullptr;
      FreeSheetScratch(state);
      DestroyPropertySheetData(context);
      info->UserData = 0;
      ReleaseResourceModule();
      return 1;
    case PROPSHEETUI_REASON_SET_RESULT: return 0;
    default: return -1;
  }
}

namespace {

// What OK of a document sheet stores: the private settings and the user's
// record, where the sheet's host window says they belong. An application's
// sheet keeps them in the settings file its DEVMODE names; a preferences
// window keeps them per user; any other printer-folder window stores the
// printer's own. 1, -1 on failure.
LONG store_document_result(SheetContext* context, DOCUMENTPROPERTYHEADER* header) {
  SheetState* state = context->state;
  SheetSnapshot& s = context->current;
  // The caller's DEVMODE gets no more than its buffer holds.
  const DWORD out_size = std::min(kShortDevmode, header->cbOut ? header->cbOut : kShortDevmode);
  std::memcpy(header->pdmOut, s.devmode, out_size);
  const INT host = ClassifyHostWindow(context->sheet_window, state->printer_name, state->mode);
  const WORD save_mode = host == 1 ? 1 : host == 0 ? 2 : 3;
  const DWORD record_mode = host == 0 ? (kUserRecordMachineWide | 2) : 2;
  WCHAR name[MAX_PATH] = {};
  if (host == 1) {
    WORD type = 0;
    DWORD size = 0;
    ItemValue file{};
    if (!GetItemValue(kSettingsFile, s.devmode, s.printer_data, &type, &size, &file) && type == 6)
      ItemText(file, size).substr(0, MAX_PATH - 1).copy(name, MAX_PATH - 1);
    if (!name[0]) {
      MakeSheetTempFileName(name, 2);
      LPCWSTR text = name;
      const DWORD bytes = static_cast<DWORD>((std::char_traits<char16_t>::length(name) + 1) * sizeof(WCHAR));
      SetItemValueRaw(kSettingsFile, s.devmode, s.printer_data, 6, bytes, &text);
    }
  }
  // The per-user switch is written at its own width.
  const DWORD per_user = host == 0 ? 0 : 1;
  WORD per_user_type = 0;
  DWORD per_user_size = 0;
  ItemValue current{};
  if (GetItemValue(kPerUserSettings, s.devmode, s.printer_data, &per_user_type, &per_user_size, &current) ||
      !SetItemValue(kPerUserSettings, s.devmode, s.printer_data, static_cast<DWORD>(-1), per_user_type, &per_user))
    return -1;
  HANDLE printer = nullptr;
  PRINTER_DEFAULTSW all{nullptr, nullptr, PRINTER_ALL_ACCESS};
  if (!OpenPrinterW(state->printer_name, &printer, host == 0 ? &all : nullptr)) return -1;
  SaveSettingsWithFaxList(printer, state->database, name[0] ? name : nullptr, save_mode, s.fax_list,
                          static_cast<const BYTE*>(s.devmode) + kShortDevmode, s.marking, s.marking_size, s.spinfo,
                          s.spinfo_size);
  if (name[0]) {
    HWND top = context->sheet_window ? GetAncestor(context->sheet_window, GA_ROOT) : nullptr;
    PurgeAndRecordFaxTempFile(state->database, top, name, nullptr);
  }
  BYTE record[kUserRecordSize] = {};
  if (FillUserSettingInfoFromSettings(printer, state->database, s.printer_data, record))
    WriteUserSettingInfo(printer, state->database, record, record_mode);
  ClosePrinter(printer);
  std::memcpy(header->pdmOut, s.devmode, out_size);
  return 1;
}

}  // namespace

BOOL SaveDeviceSheetSettings(SheetContext* context) {
  if (!context || !context->state) return FALSE;
  SheetState* state = context->state;
  HANDLE printer = state->printer;
  HANDLE opened = nullptr;
  if (BYTE* info = AllocGetPrinter(state->printer, 1)) {
    PRINTER_DEFAULTSW all{nullptr, nullptr, PRINTER_ALL_ACCESS};
    if (OpenPrinterW(reinterpret_cast<PRINTER_INFO_1W*>(info)->pName, &opened, &all)) printer = opened;
    GlobalFree(info);
  }
  BOOL stored = TRUE;
  // A newer driver's stored block is left alone.
  std::string stored_block(kPrinterDataBlockSize, '\0');
  DWORD size = kPrinterDataBlockSize;
  LONG sheet_version = 0;
  read_number(nullptr, context->current.printer_data, kStoredVersion, &sheet_version);
  LONG stored_version = 0;
  const bool newer = ReadPrinterDataKind(printer, 2, stored_block.data(), &size) &&
                     read_number(nullptr, stored_block.data(), kStoredVersion, &stored_version) &&
                     stored_version > sheet_version;
  if (!newer) {
    BOOL changed = FALSE;
    SyncUserSettingsFromPrinter(printer, state->database, context->current.printer_data, &changed);
    BYTE record[kUserRecordSize] = {};
    if (!FillUserSettingInfoFromSettings(printer, state->database, context->current.printer_data, record) ||
        !WriteUserSettingInfo(printer, state->database, record, changed ? 5 : 1))
      stored = FALSE;
    // A store that fails is reported, not passed over.
    if (state->can_edit &&
        !InitializePrinterSettings(printer, context->current.printer_data, state->database, TRUE))
      stored = FALSE;
    PublishDsDriverCapabilities(printer, context->current.printer_data);
  }
  if (opened) ClosePrinter(opened);
  return stored;
}

extern "C" {

LONG DrvDocumentPropertySheets(PROPSHEETUI_INFO* info, LPARAM lParam) {
  return RunExport(u"DrvDocumentPropertySheets", [&]() -> LONG {
    if (!info) {
      auto* header = reinterpret_cast<DOCUMENTPROPERTYHEADER*>(lParam);
      return header ? QueryDocumentDevmode(header) : -1;
    }
    if (info->Reason != PROPSHEETUI_REASON_SET_RESULT) return PropertySheetWorker(kSheetTypeDocument, info, lParam);
    auto* context = reinterpret_cast<SheetContext*>(info->UserData);
    const auto* result = reinterpret_cast<const SETRESULT_INFO*>(lParam);
    if (!context || !result) return -1;
    auto* header = reinterpret_cast<DOCUMENTPROPERTYHEADER*>(info->lParamInit);
    if (result->Result == CPSUI_OK && header && (header->fMode & (DM_UPDATE | DM_COPY))) {
      if (!header->pdmOut) return -1;
      if (store_document_result(context, header) < 0) return -1;
    }
    info->Result = static_cast<ULONG_PTR>(result->Result);
    return 1;
  });
}

LONG DrvDevicePropertySheets(PROPSHEETUI_INFO* info, LPARAM lParam) {
  return RunExport(u"DrvDevicePropertySheets", [&]() -> LONG {
    if (!info) return -1;
    if (info->Reason != PROPSHEETUI_REASON_SET_RESULT) return PropertySheetWorker(kSheetTypeDevice, info, lParam);
    auto* context = reinterpret_cast<SheetContext*>(info->UserData);
    const auto* result = reinterpret_cast<const SETRESULT_INFO*>(lParam);
    if (!context || !result) return -1;
    info->Result = static_cast<ULONG_PTR>(result->Result);
    if (result->Result == CPSUI_OK && !SaveDeviceSheetSettings(context)) return -1;
    return 1;
  });
}

}  // extern "C"

LONG QueryDocumentDevmode(DOCUMENTPROPERTYHEADER* header) {
  if (!header) return -1;
  const DWORD wanted = header->cbOut;
  header->cbOut = kShortDevmode;
  if (header->fMode == 0 || !header->pdmOut) return kShortDevmode;
  if (!(header->fMode & (DM_UPDATE | DM_COPY))) return -1;
  DddHandle* database = DddOpen(header->hPrinter);
  if (!database) return -1;
  void* devmode = AllocPrivateDevmode(kDevmodeKindFull);
  void* printer_data = GlobalAlloc(GPTR, kPrinterDataBlockSize);
  DWORD size = kFullDevmode;
  BOOL converted = FALSE;
  PRINTER_INFO_2W* info = devmode && printer_data ? GetPrinterDefaultDevmode(header->hPrinter, database, devmode, &size,
                                                                             &converted)
                                                  : nullptr;
  bool ok = info && ReadPrinterSettings(header->hPrinter, printer_data, database) &&
            UpdateCollateFieldBit(database, devmode, printer_data);
  if (ok && header->pdmIn && !(header->fMode & DM_USER_DEFAULT))
    ok = MergeDevmode(database, devmode, header->pdmIn, printer_data, header->hPrinter, kMergeResolutionPair);
  // A caller that gave a DEVMODE of the public fields alone gets the same
  // form back: its buffer need not hold the driver's part.
  const bool public_only = header->pdmIn && !(header->fMode & DM_USER_DEFAULT) &&
                           header->pdmIn->dmSize == kPublicDevmode && header->pdmIn->dmDriverExtra == 0;
  const DWORD out_size = public_only ? kPublicDevmode : kShortDevmode;
  if (ok) {
    std::memcpy(header->pdmOut, devmode, std::min(out_size, wanted ? wanted : out_size));
    if (public_only) {
      header->pdmOut->dmSize = static_cast<WORD>(kPublicDevmode);
      header->pdmOut->dmDriverExtra = 0;
    }
  }
  SafeGlobalFree(info);
  SafeGlobalFree(devmode);
  SafeGlobalFree(printer_data);
  DddClose(database);
  return ok ? 1 : -1;
}
