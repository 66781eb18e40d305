// The command items of push buttons: OK and Cancel of engine dialogs,
// restoring a dialog's defaults, child dialogs and nested property sheets
// on a copy of the settings, help, choosing a file whose path goes into
// the settings, opening a document with the shell, and ending a dialog
// with code 11.
#include <cstring>
#include <string>

#include "control_handlers.h"
#include "property_sheets/dialog_helpers.h"
#include "property_sheets/sheet_controls.h"
#include "property_sheets/sheet_engine.h"
#include "property_sheets/sheet_texts.h"
#include "settings/common/module_state.h"
#include "settings/constraints/conflict_boxes.h"
#include "settings/constraints/conflict_check.h"
#include "settings/constraints/conflict_report.h"
#include "settings/constraints/constraint_rules.h"
#include "settings/constraints/settings_validation.h"
#include "settings/database/ddd_file.h"
#include "settings/database/ddd_queries.h"
#include "settings/items/default_check.h"
#include "settings/items/default_settings.h"
#include "settings/items/item_access.h"
#include "settings/items/setting_items.h"
#include "settings/stores/printer_settings.h"
#include "win/commdlg.h"
#include "win/files.h"
#include "win/memory.h"
#include "win/msgbox.h"
#include "win/resources.h"

namespace {

constexpr SIZE_T kDevmodeBytes = 5988;
constexpr INT kMessageCaption = 265;
// Restoring defaults gives up when the self-check keeps asking for more
// changes than the database has settings.
constexpr INT kMaxDefaultRounds = 1000;

DialogEventFrame dialog_frame(ControlEvent* event) {
  DialogEventFrame frame{event, nullptr, 0, event->type};
  if (const ControlSet* set = GetDialogControlSet(event->window, event->kind)) {
    frame.records = set->records;
    frame.count = set->count;
  }
  return frame;
}

// A growing zero-ended DDMID list in GlobalAlloc'ed memory.
struct DdmidList {
  WORD* ids = nullptr;
  INT count = 0;
  INT room = 0;
  bool add(WORD ddmid) {
    if (count + 1 >= room) {
      const INT grown = room ? room * 2 : 32;
      auto* bigger = static_cast<WORD*>(GlobalAlloc(GPTR, sizeof(WORD) * static_cast<SIZE_T>(grown)));
      if (!bigger) return false;
      if (ids) {
        std::memcpy(bigger, ids, sizeof(WORD) * static_cast<SIZE_T>(count));
        GlobalFree(ids);
      }
      ids = bigger;
      room = grown;
    }
    ids[count++] = ddmid;
    ids[count] = 0;
    return true;
  }
  bool has(WORD ddmid) const {
    for (INT i = 0; i < count; ++i)
      if (ids[i] == ddmid) return true;
    return false;
  }
  WORD* release() {
    WORD* out = ids;
    ids = nullptr;
    count = room = 0;
    return out;
  }
  ~DdmidList() { SafeGlobalFree(ids); }
};

bool same_value(WORD ddmid, void* devmode_a, void* data_a, void* devmode_b, void* data_b) {
  WORD type_a = 0, type_b = 0;
  DWORD size_a = 0, size_b = 0;
  ItemValue a{}, b{};
  if (GetItemValue(ddmid, devmode_a, data_a, &type_a, &size_a, &a) ||
      GetItemValue(ddmid, devmode_b, data_b, &type_b, &size_b, &b))
    return false;
  return type_a == type_b && GetTypeCompare(type_a, &a, &b) == 0;
}

// ---- OK and Cancel -----------------------------------------------------------------

void run_ok(ControlEvent* event, WPARAM wParam, DialogEventFrame* frame) {
  if (DispatchToControls(event, UM_VALIDATE_CONTROLS, wParam, 0, frame->records, frame->count, 0)) {
    event->refresh = 0;
    RefreshPageControls(event, event->changed);
    return;
  }
  NMHDR leave{event->window, 0, PSN_KILLACTIVE};
  DispatchToControls(event, WM_NOTIFY, wParam, reinterpret_cast<LPARAM>(&leave), frame->records, frame->count, 0);
  PSHNOTIFY apply{{event->window, 0, PSN_APPLY}, TRUE};
  CommitSheet(event, event->window, WM_NOTIFY, wParam, &apply, frame->records, frame->count, kDialogTypeCommit);
  EndDialog(event->window, 1);
}

void run_cancel(ControlEvent* event, WPARAM wParam, DialogEventFrame* frame) {
  DispatchToControls(event, UM_RESTORE_CONTROLS, wParam, 0, frame->records, frame->count, 0);
  NMHDR leave{event->window, 0, PSN_KILLACTIVE};
  DispatchToControls(event, WM_NOTIFY, wParam, reinterpret_cast<LPARAM>(&leave), frame->records, frame->count, 0);
  NMHDR reset{event->window, 0, PSN_RESET};
  ResetSheet(event, event->window, WM_NOTIFY, wParam, &reset, frame->records, frame->count, kDialogTypeCommit);
  EndDialog(event->window, 2);
}

// ---- restoring defaults --------------------------------------------------------------

// Resets every setting of the dialog's records (but the dialog record and
// records flagged to keep theirs) and lists those reset.
bool collect_default_changes(ControlEvent* event, DdmidList* list) {
  const DialogEventFrame frame = dialog_frame(event);
  for (INT r = 0; r < frame.count; ++r) {
    const ControlRecord& record = frame.records[r];
    if (record.id == kDialogRecordId || (record.flags && (*record.flags & kFlagNoDefaults))) continue;
    for (INT i = 0; i < record.setting_count; ++i) {
      const WORD ddmid = RefDdmid(record.settings[i]);
      if (ddmid >= kPseudoSettingBase || list->has(ddmid)) continue;
      if (!ResetItemToDefault(event->database, event->devmode, ddmid, event->printer_data)) return false;
      if (!list->add(ddmid)) return false;
    }
  }
  return true;
}

// Runs the database's self-check until it passes, resetting what it names;
// the settings it changed go to `changed`. False when the check fails,
// answers something else, or never settles.
bool settle_defaults(ControlEvent* event, const SheetState* state, DdmidList* changed) {
  DefaultCheckEntry table[kDefaultCheckEntries] = {};
  WORD last = 0;
  for (INT round = 0; round < kMaxDefaultRounds; ++round) {
    WORD* names = nullptr;
    const INT answer = CheckDefaultSettings(GetResourceModule(), state->printer, event->database, event->devmode,
                                            event->printer_data, &names, event->window, table, &last);
    if (answer == 1) {
      SafeGlobalFree(names);
      return true;
    }
    if (answer != 2 || !names) {
      SafeGlobalFree(names);
      return false;
    }
    bool ok = true;
    for (const WORD* p = names; ok && *p; ++p) {
      if (*p >= 4097 && *p <= 4371) continue;
      WORD type = 0;
      DWORD size = 0;
      ItemValue before{};
      const bool had = GetItemValue(*p, event->devmode, event->printer_data, &type, &size, &before) == 0;
      if (!ResetItemToDefault(event->database, event->devmode, *p, event->printer_data)) ok = false;
      WORD type_after = 0;
      DWORD size_after = 0;
      ItemValue after{};
      const bool now = GetItemValue(*p, event->devmode, event->printer_data, &type_after, &size_after, &after) == 0;
      if (ok && had && now && GetTypeCompare(type, &before, &after) != 0 && !changed->has(*p)) ok = changed->add(*p);
    }
    GlobalFree(names);
    if (!ok) return false;
  }
  return false;
}

void restore_settings(ControlEvent* event, const SheetSnapshot& backup) {
  std::memcpy(event->devmode, backup.devmode, kDevmodeBytes);
  std::memcpy(event->printer_data, backup.printer_data, kPrinterDataBlockSize);
}

INT run_restore_defaults(ControlEvent* event, const ControlRecord* record) {
  if (record && record->id != kDialogRecordId) SetFocus(GetDlgItem(event->window, record->id));
  SheetContext* context = GetSheetContext(event->window);
  SheetState* state = context ? context->state : nullptr;
  event->command_result = 0;
  if (!state || !event->devmode || !event->printer_data) return -1;
  state->current_measurement = state->measurement;
  SheetSnapshot backup{};
  if (!CopySnapshot(&backup, &context->current)) return -1;
  DdmidList defaults;
  DdmidList changed;
  bool ok = collect_default_changes(event, &defaults) && settle_defaults(event, state, &changed) &&
            CheckOutputTrayRules(event->database, event->devmode, event->printer_data);
  bool declined = false;
  if (ok && changed.count) {
    // What the self-check changed beyond the dialog's own defaults is shown
    // to the user for confirmation.
    DdmidList shown;
    for (INT i = 0; ok && i < changed.count; ++i) {
      const WORD ddmid = changed.ids[i];
      if (!defaults.has(ddmid) ||
          !same_value(ddmid, event->devmode, event->printer_data, backup.devmode, backup.printer_data))
        ok = shown.add(ddmid);
    }
    if (ok && shown.count) {
      const INT answer = ConfirmSettingChange(event->window, event->database, event->devmode, event->printer_data,
                                              shown.ids, static_cast<WORD>(shown.count));
      if (answer == 8)
        declined = true;
      else if (answer != 0)
        ok = false;
    }
  }
  if (!ok || declined) {
    restore_settings(event, backup);
    FreeSnapshot(&backup);
    if (declined) SetRefreshRequest(event, 1, nullptr, record);
    event->command_result = ok ? 0 : -1;
    return event->command_result;
  }
  FreeSnapshot(&backup);
  for (INT i = 0; i < changed.count; ++i)
    if (!defaults.has(changed.ids[i])) defaults.add(changed.ids[i]);
  state->commit_flag = FALSE;
  SetRefreshRequest(event, 1, defaults.release(), record);
  return 0;
}

// ---- child dialogs and nested sheets ---------------------------------------------------

// The check of the setting a child dialog is about, before it opens:
// false when it must not open.
bool child_may_open(ControlEvent* event, WORD ddmid) {
  const SheetState* state = GetSheetState(event->window);
  ConflictReport* report = NewConflictReport();
  if (!state || !report) {
    FreeConflictReport(report);
    return false;
  }
  INT code = 1;
  if (!CheckSettingChange(kCheckModeAll, state->printer, event->database, event->devmode, event->printer_data,
                          nullptr, ddmid, 0, nullptr, report, nullptr, 0)) {
    WORD* changed = nullptr;
    code = ResolveSettingChange(event->window, state->printer, FALSE, event->database, event->devmode,
                                event->printer_data, ddmid, 0, nullptr, &changed, report);
    SafeGlobalFree(changed);
    if (!CheckOutputTrayRules(event->database, event->devmode, event->printer_data)) code = 1;
  }
  FreeConflictReport(report);
  return code != 10 && code != 1;
}

LPWSTR nested_caption(ControlEvent* event, const NestedSheetCommand* command) {
  auto* caption = static_cast<LPWSTR>(GlobalAlloc(GPTR, 129 * sizeof(WCHAR)));
  if (!caption) return nullptr;
  if (command->caption_text_id && event->database) {
    WCHAR* text = nullptr;
    if (DddGetItemString(&event->database->main, &event->database->linked, command->caption_text_id, nullptr,
                         &text) == 0 &&
        text)
      AppendTextBounded(caption, text, 129);
    if (text) GlobalFree(text);
    if (caption[0]) return caption;
  }
  if (command->caption_id != kNone &&
      LoadStringW(GetResourceModule(), static_cast<UINT>(command->caption_id), caption, 129) > 0)
    return caption;
  GlobalFree(caption);
  return nullptr;
}

// PropertySheetW's answer as a command result: 1 OK, 2 Cancel, -1 error.
INT run_nested_sheet(ControlEvent* event, const NestedSheetCommand* command, SheetContext* child) {
  LPWSTR caption = nested_caption(event, command);
  if (!caption || command->page_count <= 0) {
    SafeGlobalFree(caption);
    return -1;
  }
  auto* pages = static_cast<PROPSHEETPAGEW*>(
      GlobalAlloc(GPTR, sizeof(PROPSHEETPAGEW) * static_cast<SIZE_T>(command->page_count)));
  if (!pages) {
    GlobalFree(caption);
    return -1;
  }
  UINT start = 0;
  for (INT i = 0; i < command->page_count; ++i) {
    const ChildDialogTemplate& t = command->templates[i];
    pages[i].dwSize = sizeof(PROPSHEETPAGEW);
    pages[i].dwFlags = PSP_HASHELP;
    pages[i].hInstance = GetResourceModule();
    pages[i].pszTemplate = MAKEINTRESOURCEW(t.resource & 0xFFFF);
    pages[i].pfnDlgProc = t.proc;
    pages[i].lParam = reinterpret_cast<LPARAM>(child);
    if (command->start_page != kNone && static_cast<INT>(t.resource) == command->start_page)
      start = static_cast<UINT>(i);
  }
  PROPSHEETHEADERW header{};
  header.dwSize = sizeof header;
  header.dwFlags = PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW;
  header.hwndParent = event->window;
  header.hInstance = GetResourceModule();
  header.pszCaption = caption;
  header.nPages = static_cast<UINT>(command->page_count);
  header.nStartPage = start;
  header.ppsp = pages;
  const INT_PTR answer = PropertySheetW(&header);
  GlobalFree(pages);
  GlobalFree(caption);
  return answer == 1 ? 1 : answer == 0 ? 2 : -1;
}

// Opens a child dialog (type 4) or a nested sheet (type 5) on a copy of the
// settings, and takes the copy back when it closes. The child's Cancel has
// restored its own copy, so the opener then stays as it was.
INT open_child(ControlEvent* event, INT type, const void* data) {
  SheetContext* opener = GetSheetContext(event->window);
  if (!opener || !data) return -1;
  const ChildDialogTemplate* templates = nullptr;
  if (type == kCommandChildDialog) {
    const auto* command = static_cast<const ChildDialogCommand*>(data);
    templates = command->templates;
    if (command->test_first == 1 && !child_may_open(event, static_cast<WORD>(command->ddmid))) return 0;
  } else {
    templates = static_cast<const NestedSheetCommand*>(data)->templates;
  }
  if (!templates) return -1;
  SheetSnapshot start = opener->current;
  start.devmode = event->devmode;
  start.printer_data = event->printer_data;
  SheetContext* child = CreateSheetContext(event->window, opener->state, &start, nullptr);
  if (!child) return -1;
  if (templates[0].title_text_id) opener->state->dialog_title_id = templates[0].title_text_id;
  DialogEventFrame frame = dialog_frame(event);
  NMHDR leave{event->window, 0, PSN_KILLACTIVE};
  if (DeactivateDialog(event->window, 0, reinterpret_cast<LPARAM>(&leave), &frame)) {
    opener->state->dialog_title_id = 0;
    DestroySheetContext(&child);
    return 0;
  }
  INT result = 0;
  if (type == kCommandChildDialog) {
    const INT_PTR answer = DialogBoxParamW(GetResourceModule(), MAKEINTRESOURCEW(templates[0].resource & 0xFFFF),
                                           event->window, templates[0].proc, reinterpret_cast<LPARAM>(child));
    result = answer == -1 ? -1 : static_cast<INT>(answer);
  } else {
    result = run_nested_sheet(event, static_cast<const NestedSheetCommand*>(data), child);
  }
  opener->state->dialog_title_id = 0;
  opener->state->commit_flag = FALSE;
  // A dialog that could not be made leaves the opener's settings alone.
  bool copied = false;
  if (result != -1) {
    copied = CopySnapshot(&opener->current, &child->current) != 0;
    if (copied && child->applied.devmode && child->applied.printer_data) CopySnapshot(&opener->applied, &child->applied);
  }
  DestroySheetContext(&child);
  if (copied) {
    event->devmode = opener->current.devmode;
    event->printer_data = opener->current.printer_data;
    NMHDR again{event->window, 0, PSN_SETACTIVE};
    ActivateDialog(event->window, 0, reinterpret_cast<LPARAM>(&again), &frame);
    if (event->type == kDialogTypePage)
      SendMessageW(GetParent(event->window), PSM_CHANGED, reinterpret_cast<WPARAM>(event->window), 0);
  }
  return result;
}

// ---- file dialogs ------------------------------------------------------------------------

std::u16string load_string(INT id, INT room = 260) {
  if (id == kNone || id <= 0) return {};
  std::u16string text(static_cast<size_t>(room) + 1, u'\0');
  const INT n = LoadStringW(GetResourceModule(), static_cast<UINT>(id), text.data(), room + 1);
  text.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return text;
}

std::u16string setting_text(ControlEvent* event, WORD ddmid) {
  if (!ddmid) return {};
  WORD type = 0;
  DWORD size = 0;
  ItemValue value{};
  if (GetItemValue(ddmid, event->devmode, event->printer_data, &type, &size, &value) || type != 6 || !value.ptr)
    return {};
  return ItemText(value, size);
}

// Expands "%NAME%" at the start of a folder string: the text before the
// first "%" stays, the name is replaced and what follows is dropped.
bool expand_folder(const std::u16string& text, std::u16string* out) {
  const size_t open = text.find(u'%');
  if (open == std::u16string::npos) {
    *out = text;
    return true;
  }
  const size_t close = text.find(u'%', open + 1);
  if (close == std::u16string::npos) return false;
  const std::u16string name = text.substr(open + 1, close - open - 1);
  WCHAR system[260] = {};
  if (!GetSystemDirectoryW(system, 260)) return false;
  std::u16string expanded = system;
  if (name == u"ICM")
    expanded += u"\\Spool\\Drivers\\Color";
  else if (name == u"DRIVER")
    expanded += u"\\Spool\\Drivers\\w32x86\\3";
  else if (name != u"SYSTEM")
    return false;
  *out = text.substr(0, open) + expanded;
  return true;
}

bool folder_accessible(const std::u16string& folder) {
  if (folder.empty()) return false;
  const DWORD attributes = GetFileAttributesW(folder.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::u16string initial_folder(ControlEvent* event, const FileDialogCommand* c, const std::u16string& file) {
  if (c->folder_ddmid) {
    const std::u16string folder = setting_text(event, c->folder_ddmid);
    if (folder_accessible(folder)) return folder;
  }
  if (c->initial_folder_id == kNone) {
    if (!c->initial_folder_text_id) {
      const size_t cut = file.rfind(u'\\');
      return cut == std::u16string::npos ? std::u16string() : file.substr(0, cut);
    }
    WCHAR* text = nullptr;
    std::u16string folder;
    if (event->database && DddGetItemString(&event->database->main, &event->database->linked,
                                            c->initial_folder_text_id, nullptr, &text) == 0 && text)
      folder = text;
    if (text) GlobalFree(text);
    return folder;
  }
  std::u16string folder;
  return expand_folder(load_string(c->initial_folder_id), &folder) ? folder : std::u16string();
}

INT ansi_length(const std::u16string& text) {
  LPSTR bytes = nullptr;
  INT length = 0;
  if (!WideToMultiByteStrict(text.c_str(), &bytes, &length)) return -1;
  GlobalFree(bytes);
  return length;
}

// The message of a refused choice: 0 when the path may be stored.
INT check_chosen_path(ControlEvent* event, const FileDialogCommand* c, const OPENFILENAMEW& ofn, std::u16string* folder,
                      std::u16string* name, std::u16string* full) {
  *full = ofn.lpstrFile;
  *folder = full->substr(0, ofn.nFileOffset ? ofn.nFileOffset - 1 : 0);
  *name = full->substr(ofn.nFileOffset);
  if ((c->check_flags & kFileCutExtension) && ofn.nFileExtension > ofn.nFileOffset) {
    const size_t dot = static_cast<size_t>(ofn.nFileExtension - ofn.nFileOffset);
    *name = name->substr(0, dot ? dot - 1 : 0);
  }
  auto too_long = [](const std::u16string& text, INT maximum) {
    const INT n = ansi_length(text);
    return n < 0 || n > maximum;
  };
  if (((c->check_flags & kFileCheckNameLength) && too_long(*name, c->name_max)) ||
      ((c->check_flags & kFileCheckFolderLength) && too_long(*folder, c->folder_max)) ||
      ((c->check_flags & kFileCheckPathLength) && too_long(*full, c->path_max)))
    return c->too_long_id;
  if (c->check && !c->check(full->c_str(), event, full->c_str(), ofn.nFileOffset, ofn.nFileExtension))
    return c->refused_id == kNone ? -1 : c->refused_id;
  return 0;
}

void show_file_message(ControlEvent* event, const FileDialogCommand* c, INT id, const std::u16string& full) {
  if (id == kNone || id == -1 || id == 0) return;
  LPWSTR text = nullptr;
  if (id == 448)
    FormatResourceStringV(&text, 512, 448, 1, c->folder_max, c->folder_max, c->folder_max / 2, c->name_max);
  else if (id == 4716)
    FormatResourceStringV(&text, 512, 4716, full.c_str());
  if (text) {
    ShowResourceMessageBox(event->window, kMessageCaption, nullptr, MB_ICONWARNING | MB_OK, kNone, text);
    GlobalFree(text);
  } else {
    ShowResourceMessageBox(event->window, kMessageCaption, nullptr, MB_ICONWARNING | MB_OK, id, nullptr);
  }
}

bool store_text(ControlEvent* event, WORD ddmid, const std::u16string& text, INT maximum) {
  if (!ddmid) return true;
  std::u16string value = text;
  value.resize(static_cast<size_t>(maximum > 0 ? maximum : 260) + 1, u'\0');
  LPCWSTR pointer = value.c_str();
  return SetItemValue(ddmid, event->devmode, event->printer_data, static_cast<DWORD>(maximum + 1) * sizeof(WCHAR), 6,
                      &pointer) != 0;
}

INT run_file_dialog(ControlEvent* event, const ControlRecord* record, INT type, const FileDialogCommand* c) {
  if (!c) return -1;
  const std::u16string filter_text = load_string(c->filter_id, 512);
  // Filters are pairs separated by "|" in the string table.
  std::u16string filter = filter_text;
  for (char16_t& ch : filter)
    if (ch == u'|') ch = 0;
  filter.push_back(0);
  const std::u16string title = load_string(c->title_id);
  const std::u16string extension = load_string(c->extension_id);
  const std::u16string start_file = setting_text(event, c->initial_file_ddmid);
  const std::u16string folder_start = initial_folder(event, c, start_file);
  INT result = 0;
  for (;;) {
    WCHAR file[261] = {};
    AppendTextBounded(file, start_file.c_str(), 261);
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = event->window;
    ofn.hInstance = GetResourceModule();
    ofn.lpstrFilter = filter_text.empty() ? nullptr : filter.c_str();
    ofn.nFilterIndex = static_cast<DWORD>(c->filter_index);
    ofn.lpstrFile = file;
    ofn.nMaxFile = 261;
    ofn.lpstrInitialDir = folder_start.empty() ? nullptr : folder_start.c_str();
    ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
    ofn.Flags = c->flags == -1 ? (OFN_READONLY | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NONETWORKBUTTON)
                               : static_cast<DWORD>(c->flags);
    ofn.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
    const BOOL chosen = type == kCommandOpenFile ? GetOpenFileNameW(&ofn) : GetSaveFileNameW(&ofn);
    if (!chosen) {
      result = CommDlgExtendedError() ? -1 : 2;
      break;
    }
    std::u16string folder, name, full;
    const INT refused = check_chosen_path(event, c, ofn, &folder, &name, &full);
    if (refused) {
      show_file_message(event, c, refused, full);
      continue;
    }
    if (!store_text(event, c->name_ddmid, name, c->name_max) || !store_text(event, c->folder_ddmid, folder, c->folder_max) ||
        !store_text(event, c->path_ddmid, full, c->path_max))
      continue;
    result = 1;
    break;
  }
  event->command_result = result;
  if (result == 1) {
    WORD* changed = static_cast<WORD*>(GlobalAlloc(GPTR, 3 * sizeof(WORD)));
    INT n = 0;
    if (changed && c->folder_ddmid) changed[n++] = c->folder_ddmid;
    if (changed && c->name_ddmid) changed[n++] = c->name_ddmid;
    if (n)
      SetRefreshRequest(event, 1, changed, record);
    else
      SafeGlobalFree(changed);
  }
  if (record && record->id != kDialogRecordId) SetFocus(GetDlgItem(event->window, record->id));
  return result;
}

// ---- shell -------------------------------------------------------------------------------

// The database's text record that names the model's web site.
constexpr WORD kWebSiteRecord = 29;

void run_shell_open(ControlEvent* event, const ShellOpenCommand* c) {
  if (!c) return;
  std::u16string text;
  if (c->string_id == kNone) {
    WCHAR* record = nullptr;
    if (event->database && DddReadVarRecord(&event->database->main, kWebSiteRecord, 0, &record) == 0 && record)
      text = record;
    if (record) GlobalFree(record);
  } else {
    text = load_string(c->string_id, 259);
  }
  if (text.empty()) return;
  ShellExecuteW(nullptr, u"open", text.c_str(), u"", u"", SW_SHOW);
}

}  // namespace

INT RunCommandItem(ControlEvent* event, UINT, WPARAM wParam, LPARAM, const ControlRecord* record,
                   const CommandItem* item) {
  if (!item) return 1;
  event->command = item->type;
  DialogEventFrame frame = dialog_frame(event);
  switch (item->type) {
    case kCommandOk: run_ok(event, wParam, &frame); break;
    case kCommandCancel: run_cancel(event, wParam, &frame); break;
    case kCommandDefaults: run_restore_defaults(event, record); break;
    case kCommandChildDialog:
    case kCommandNestedSheet: event->command_result = open_child(event, item->type, item->data); break;
    case kCommandHelp:
      // Context help goes where the dialog's help request goes; the help
      // viewer is not part of this system.
      break;
    case kCommandOpenFile:
    case kCommandSaveFile:
      run_file_dialog(event, record, item->type, static_cast<const FileDialogCommand*>(item->data));
      break;
    case kCommandShellOpen: run_shell_open(event, static_cast<const ShellOpenCommand*>(item->data)); break;
    case kCommandEnd11: EndDialog(event->window, 11); break;
    default: break;
  }
  event->command = 0;
  return 0;
}
