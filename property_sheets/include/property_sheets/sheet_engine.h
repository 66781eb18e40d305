// The engine of the property sheets: the dialog and control tables, the
// building of a sheet's pages, the routing of window messages to the
// controls, the binding of controls to settings with the change flow, and
// the commit and reset of a sheet.
#pragma once

#include "property_sheets/sheet_records.h"
#include "settings/items/item_access.h"
#include "win/prsht.h"
#include "win/types.h"
#include "win/window.h"

struct ItemInfo;
struct ConflictReport;
struct ControlEvent;
struct ControlRecord;

// ---- tables ------------------------------------------------------------------

inline constexpr INT kDialogKindCount = 61;
inline constexpr INT kNoKind = -4;
inline constexpr INT kDialogRecordId = -3;
inline constexpr INT kNone = -3;
inline constexpr WORD kPseudoSettingBase = 0x9000;
inline constexpr WORD kEmptyPseudoSetting = 36923;

// Dialog types handed to the engine.
inline constexpr WORD kDialogTypePage = 1;
inline constexpr WORD kDialogTypeCommit = 2;
inline constexpr WORD kDialogTypeNestedPage = 3;
inline constexpr WORD kDialogTypeDialog = 4;

// Sheet types.
inline constexpr INT kSheetTypeDevice = 1;
inline constexpr INT kSheetTypeDocument = 2;
inline constexpr INT kSheetTypeFax = 4;

// SettingRef: low word the DDMID, high word the re-check flags.
using SettingRef = DWORD;
inline constexpr WORD kRecheckOnActivate = 0x1;
inline constexpr WORD kRecheckOnChange = 0x2;
constexpr SettingRef Bound(WORD ddmid, WORD flags = 3) { return (static_cast<DWORD>(flags) << 16) | ddmid; }
inline WORD RefDdmid(SettingRef ref) { return static_cast<WORD>(ref & 0xFFFF); }
inline WORD RefFlags(SettingRef ref) { return static_cast<WORD>(ref >> 16); }

// Control kinds.
inline constexpr INT kControlDropDown = 1;
inline constexpr INT kControlListBox = 2;
inline constexpr INT kControlEdit = 4;
inline constexpr INT kControlRadioGroup = 5;
inline constexpr INT kControlCommand = 6;
inline constexpr INT kControlCheckBox = 7;
inline constexpr INT kControlStatic = 10;
inline constexpr INT kControlScrollBar = 8;
inline constexpr INT kControlUpDown = 9;
inline constexpr INT kControlTrackbar = 12;
inline constexpr INT kControlTitle = 11;
inline constexpr INT kControlChoiceIcon = 13;
inline constexpr INT kControlAvailability = 15;

// Flags words of control records.
inline constexpr WORD kFlagKeepEnabled = 0x1;
inline constexpr WORD kFlagNoDefaults = 0x2;
inline constexpr WORD kFlagFollowControl = 0x4;

using ControlHandler = INT (*)(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                               const ControlRecord* record, const void* kind_data);

struct ControlRecord {
  INT id;                   // dialog item id, or kDialogRecordId
  INT setting_count;
  const SettingRef* settings;
  INT kind;                 // control kind, 0 and 3: no default handler
  ControlHandler handler;   // replaces the kind's default handler, or null
  const void* kind_data;
  INT label_id;             // kNone: no label
  INT access_key_id;        // kNone: none
  const WORD* flags;        // null: none
};

struct ControlSet {
  const ControlRecord* records;
  INT count;
  INT help_id;
  const INT* help_table;  // {control id, help id} pairs ended by {0, 0}
  const INT* read_only;   // control ids ended by kNone, or null
  INT rebuild;            // 0 in the tables; run-time rebuild flag of a sheet's copy
};

struct DialogDescriptor;
struct PageTemplate {
  UINT resource;
  DLGPROC proc;
  INT kind;
  INT title_id;         // string id, or -3: the database text title_text_id
  UINT title_text_id;
  const DialogDescriptor* const* children;
  WORD child_count;
};

struct DialogDescriptor {
  INT kind;
  const ControlSet* controls;
  const PageTemplate* page;  // null for child dialogs
};

// The first five fields of a PageTemplate, for the dialogs command items open.
struct ChildDialogTemplate {
  UINT resource;
  DLGPROC proc;
  INT kind;
  INT title_id;
  UINT title_text_id;
};

// Command items of push buttons.
inline constexpr INT kCommandNone = 0;
inline constexpr INT kCommandOk = 1;
inline constexpr INT kCommandCancel = 2;
inline constexpr INT kCommandDefaults = 3;
inline constexpr INT kCommandChildDialog = 4;
inline constexpr INT kCommandHelp = 6;
inline constexpr INT kCommandNestedSheet = 5;
inline constexpr INT kCommandOpenFile = 8;
inline constexpr INT kCommandSaveFile = 9;
inline constexpr INT kCommandShellOpen = 10;
inline constexpr INT kCommandEnd11 = 11;

struct ChildDialogCommand {
  const ChildDialogTemplate* templates;
  INT test_first;  // 1: the setting `ddmid` is checked before the dialog opens
  INT ddmid;
};

// A nested property sheet: one page per template.
struct NestedSheetCommand {
  const ChildDialogTemplate* templates;
  INT page_count;
  INT start_page;      // resource id of the first page shown, kNone: the first
  INT unused[2];
  INT caption_id;      // string id, kNone: none
  WORD caption_text_id;  // database text id, 0: none (wins over caption_id)
};

// Checks a chosen file: (full path, event, full path, file offset,
// extension offset) -> 0 refuses.
using FileCheckCallback = INT (*)(LPCWSTR path, ControlEvent* event, LPCWSTR full, INT file_offset,
                                  INT extension_offset);

// Check flags of a file command.
inline constexpr WORD kFileCheckFolderRule = 0x1;
inline constexpr WORD kFileCheckNameRule = 0x2;
inline constexpr WORD kFileCheckFolderLength = 0x4;
inline constexpr WORD kFileCheckNameLength = 0x8;
inline constexpr WORD kFileCheckPathLength = 0x10;
inline constexpr WORD kFileCutExtension = 0x20;

struct FileDialogCommand {
  INT filter_id;
  INT unused_id;
  INT filter_index;
  INT name_max, folder_max, path_max;  // ANSI bytes
  INT too_long_id;
  INT refused_id;                      // kNone: none
  WORD initial_file_ddmid;             // 0: none
  INT initial_folder_id;               // kNone: see initial_folder_text_id
  WORD initial_folder_text_id;         // 0: from the initial file
  INT title_id;
  INT flags;                           // -1: the usual open flags
  INT extension_id;
  FileCheckCallback check;
  WORD folder_ddmid, name_ddmid, path_ddmid;  // 0: not stored
  WORD check_flags;
  const INT* folder_rule;  // character-class rules (string ids ended by 0), or null
  const INT* name_rule;
  INT unused;
};

// Opens a text with the shell: a string id, or kNone for the database's
// variable record 29.
struct ShellOpenCommand {
  INT string_id;
};

struct CommandItem {
  INT type;
  const void* data;
};

// Per sheet: a private copy of each dialog kind's ControlSet and the
// shared ItemInfos.
struct DialogTableSet {
  ControlSet* sets[kDialogKindCount];
  KeyList* item_infos;
};

// The page lists of the three sheets and the control set of a kind
// (constant tables).
const DialogDescriptor* const* SheetPageList(INT sheet_type, INT* count);
const DialogDescriptor* FindDialogDescriptor(INT kind);
ControlHandler FindControlKindHandler(INT kind);
const ControlRecord* CommonControlRecords(INT* count);

// ---- building a sheet ----------------------------------------------------------

// Room for every dialog the sheet collects; null for an unknown sheet type
// or too many pages (a message box says so).
const DialogDescriptor** AllocatePageList(INT sheet_type, SheetState* state, INT* count, BOOL insert_pages,
                                          INT device_class);
INT CollectSheetDialogs(INT sheet_type, SheetState* state, const DialogDescriptor** list, BOOL insert_pages,
                        INT device_class);
// One PROPSHEETPAGEW per page of the list (GlobalAlloc'ed); the titles
// taken from the database go to the state's title array.
PROPSHEETPAGEW* BuildPropertyPages(const DialogDescriptor* const* list, SheetState* state, INT count,
                                   INT* page_count);
DialogTableSet* CreateDialogTables(const DialogDescriptor* const* list, INT count);
void DestroyDialogTables(DialogTableSet* tables);

// ---- table lookups ---------------------------------------------------------------

ControlSet* GetDialogControlSet(HWND window, INT kind);
const ControlRecord* GetDialogControls(HWND window, INT kind);
INT GetDialogControlCount(HWND window, INT kind);
const ControlRecord* FindControlById(HWND window, INT kind, INT id);
BOOL FindSettingRefIndex(const ControlRecord* record, WORD ddmid, INT* index);

// ---- events --------------------------------------------------------------------

// Private messages of the engine.
inline constexpr UINT UM_REFRESH_CONTROLS = 2524;
inline constexpr UINT UM_VALIDATE_CONTROLS = 2526;
inline constexpr UINT UM_RESTORE_CONTROLS = 2527;
inline constexpr UINT UM_SHOW_WARNINGS = 2528;
inline constexpr UINT UM_QUERY_DIALOG_KIND = 2529;
inline constexpr UINT UM_GET_KIND_DATA = 2530;
inline constexpr UINT UM_CYCLE_CHOICE = 2532;

struct ControlEvent {
  UINT message;
  INT command_result;
  HWND window;
  HWND owner;
  INT permission;
  INT kind;
  INT refresh;
  WORD* changed;  // zero-ended, GlobalAlloc'ed, owned
  ControlHandler default_handler;
  const ControlRecord* refresh_record;
  INT command;
  DddHandle* database;
  void* devmode;
  void* printer_data;
  WORD type;
};

struct DialogEventFrame {
  ControlEvent* event;
  const ControlRecord* records;
  INT count;
  WORD type;
};

using EventHandler = INT (*)(HWND window, UINT message, WPARAM wParam, LPARAM lParam, INT kind,
                             DialogEventFrame* frame);

// 0 when the message is not one the engine handles.
INT FindDialogHandler(UINT message, WPARAM wParam, LPARAM lParam, WORD type, EventHandler* handler, INT* event);
INT_PTR DispatchDialogMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, INT kind, WORD type,
                              EventHandler handler);
// The whole dialog procedure of a dialog kind with no code of its own.
INT_PTR RunEngineDialog(HWND window, UINT message, WPARAM wParam, LPARAM lParam, INT kind, WORD type);
template <INT Kind, WORD Type>
INT_PTR EngineDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return RunEngineDialog(window, message, wParam, lParam, Kind, Type);
}

INT DispatchToControls(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                       const ControlRecord* records, INT count, INT initial);
INT ActivateDialog(HWND window, WPARAM wParam, LPARAM lParam, DialogEventFrame* frame);
INT DeactivateDialog(HWND window, WPARAM wParam, LPARAM lParam, DialogEventFrame* frame);
void SetRefreshRequest(ControlEvent* event, INT flag, WORD* list, const ControlRecord* record);

// True for a WM_NOTIFY message whose code is `code`.
inline bool IsNotifyCode(UINT message, LPARAM lParam, UINT code) {
  return message == WM_NOTIFY && lParam && reinterpret_cast<const NMHDR*>(lParam)->code == code;
}
// True for the messages after which a control shows its setting again.
inline bool ShowsAgain(UINT message, LPARAM lParam) {
  return IsNotifyCode(message, lParam, PSN_SETACTIVE) || message == UM_REFRESH_CONTROLS;
}
// Passes a message on to the kind's default handler of the record; 0 when
// the kind has none.
inline INT ChainDefaultHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                               const ControlRecord* record) {
  return event->default_handler ? event->default_handler(event, message, wParam, lParam, record, record->kind_data)
                                : 0;
}

// ---- binding ---------------------------------------------------------------------

struct SettingSlot {
  INT choice;  // index among the item's choices, -1 none
  WORD ddmid;
  WORD type;
  DWORD size;
  ItemValue value;
};

struct ControlState {
  INT id;
  INT current;  // index of the current SettingRef, -6 none
  SettingSlot* slots;
};

inline constexpr INT kNoCurrent = -6;

INT CreateControlStates(HWND window, ControlEvent* event, const ControlRecord* records, INT count);
void ReleaseControlStates(ControlEvent* event, const ControlRecord* records, INT count);
ControlState* FindControlState(HWND window, const ControlRecord* record);
ItemInfo* GetItemInfo(HWND window, WORD ddmid);
// Builds the sheet's cached ItemInfo of the setting again from the current
// settings (choice texts that show stored sizes change with them). 1, 0
// when none is cached or it cannot be built.
INT RebuildItemInfo(ControlEvent* event, WORD ddmid);
// The setting report of a DDMID and of one of its choices.
ConflictReport* GetSettingReport(HWND window, WORD ddmid);
ConflictReport* GetChoiceReport(HWND window, WORD ddmid, INT choice);
// The availability (conflict kind) of the setting, with the model
// configuration's overrides; -1 when unknown.
INT GetSettingAvailability(HWND window, WORD ddmid);
INT GetCurrentRefIndex(HWND window, const ControlRecord* record);
SettingSlot* GetCurrentSlot(HWND window, const ControlRecord* record);

INT ReloadControlValues(ControlEvent* event, const ControlRecord* records, INT count);
INT SelectCurrentChoices(ControlEvent* event, const ControlRecord* records, INT count);
INT RecheckControlConstraints(ControlEvent* event, const ControlRecord* records, INT count, WORD flag);
INT RefreshPageControls(ControlEvent* event, const WORD* changed);

// 1 stored, 2 refused, 3 unchanged, -1 error; *changed gets the
// zero-ended list of what changed (GlobalAlloc'ed) for 1.
INT OnControlValueChanged(ControlEvent* event, const ControlRecord* record, const SettingSlot* slot, WORD type,
                          const void* value, WORD** changed);

// ---- resolution ------------------------------------------------------------------

INT GetResolutionPolicy(WORD* flags, WORD ddmid, BOOL value_given);
INT ResolveSettingChange(HWND window, HANDLE printer, BOOL default_mode, DddHandle* database, void* devmode,
                         void* printer_data, WORD ddmid, WORD type, const void* value, WORD** changed,
                         ConflictReport* report);
// The same without the check for an unchanged value: a setting's current
// value is checked and resolved again.
INT ResolveConflict(HWND window, HANDLE printer, BOOL default_mode, DddHandle* database, void* devmode,
                    void* printer_data, WORD ddmid, WORD type, const void* value, WORD** changed,
                    ConflictReport* report);

// ---- commit and reset ------------------------------------------------------------

INT CommitSheet(ControlEvent* event, HWND window, UINT message, WPARAM wParam, PSHNOTIFY* notify,
                const ControlRecord* records, INT count, WORD type);
void ResetSheet(ControlEvent* event, HWND window, UINT message, WPARAM wParam, NMHDR* notify,
                const ControlRecord* records, INT count, WORD type);
INT FinalizeSettings(HWND window, void* devmode, void* printer_data);
INT RestoreCurrentSnapshot(SheetContext* context, BOOL use_opening);
INT SaveAppliedSnapshot(SheetContext* context);

// ---- command items ---------------------------------------------------------------

INT RunCommandItem(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                   const CommandItem* item);

// Kind data of the list, edit and range controls.
#include "property_sheets/control_data.h"
