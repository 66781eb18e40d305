// The records of one property sheet: the per-sheet SheetState and the
// per-page SheetContext with its settings snapshots, and the calls that
// create, load and free them.
#pragma once

#include "settings/common/common_utils.h"
#include "win/types.h"

struct DddHandle;
struct KeyList;
namespace morva::fax {
struct FaxDestinationList;
}
struct DialogTableSet;

// Sheet modes (SheetState::mode); bit 0x10 marks the printer-folder context.
inline constexpr WORD kSheetModeDevice = 18;
inline constexpr WORD kSheetModeDocument = 33;
inline constexpr WORD kSheetModeUserDefault = 17;
inline constexpr WORD kSheetModeFaxOnly = 4;
inline constexpr WORD kSheetModePrinterFolder = 0x10;

// Up to two warning texts queued for showing when the sheet opens.
struct PendingWarnings {
  LPWSTR texts[2];
};

// The per-sheet record, allocated zeroed; owned members are freed by the
// Free* calls below. In memory only.
struct SheetState {
  LPWSTR printer_name;              // owned
  HANDLE printer;
  DddHandle* database;              // owned while the sheet lives
  BOOL job_monitor_available;
  LPWSTR port_name;                 // owned (CachePortName)
  LPWSTR user_key_name;             // owned: global field 30 of the database
  BOOL protected_mode;
  void* compstui_callback;
  HANDLE compstui_handle;
  BOOL can_edit;
  WORD mode;                        // kSheetMode*
  HANDLE* page_handles;             // owned
  DeviceCapabilityBits capabilities;
  WORD measurement;                 // LOCALE_IMEASURE: 0 metric, 1 U.S.
  BOOL change_guard;                // re-entrancy flag of the value-change path
  BOOL startup_warning_shown;       // the start-up warnings were shown once
  BOOL prompt_component_installed;
  WCHAR help_file[260];
  DialogTableSet* dialog_tables;
  LPWSTR* page_titles;              // owned, zero-ended
  void* dpi_metrics;                // owned
  void* scratch;                    // owned
  void* summary_icons;              // owned
  PendingWarnings* pending_warnings;  // owned
  void* memory_dcs;                 // owned (the previews' memory DCs)
  WORD current_measurement;         // the measurement the numeric fields use now
  BOOL commit_flag;                 // this cycle's commit or reset has run
  BOOL result_flag;                 // CPSUI_OK was reported
  INT active_page;                  // dialog kind of the last activated page, -1 none
  UINT dialog_title_id;             // database text id the next engine dialog shows as caption
  HWND page_tooltip;
  HWND dialog_tooltip;
  LONG_PTR page_scratch;            // cleared on every page activation
  INT page_count;                   // entries of page_handles
  WCHAR title[128];                 // the sheet's title
  BOOL stamp_lock;                  // the stamp controls are shown disabled
  LPWSTR stamp_initial_name;        // owned while a new-stamp dialog runs
};

// One settings snapshot of a sheet.
struct SheetSnapshot {
  void* devmode;        // 5988 bytes
  void* printer_data;   // 7972 bytes
  morva::fax::FaxDestinationList* fax_list;
  DWORD marking_size;   // security-marking settings blob
  BYTE* marking;
  BYTE* spinfo;         // SPInfo blob
  DWORD spinfo_size;
};

inline constexpr int kSheetKeyListCount = 5;

// The record every page keeps (its DWL_USER) and gets as its lParam.
struct SheetContext {
  SheetState* state;
  SheetSnapshot current;
  SheetSnapshot initial;
  SheetSnapshot applied;  // empty until the first Apply
  HWND sheet_window;
  KeyList* lists[kSheetKeyListCount];
};

// The SheetState of a page or dialog window; null when it holds none.
SheetState* GetSheetState(HWND window);
// The SheetContext a page or dialog window holds; null when none.
SheetContext* GetSheetContext(HWND window);
// Gives the window its context (what the page keeps in DWL_USER); a null
// context takes it away. Until the pages are real windows the records are
// kept in a process-wide table keyed by the window handle; a window not in
// the table answers its DWL_USER.
void SetSheetContext(HWND window, SheetContext* context);

// A new context for `state` with current and initial snapshots deep-copied
// from `snapshot` (DEVMODE, PrinterData, both blobs, fax list), the applied
// one from `third` when it has a DEVMODE and PrinterData, and five empty keyed
// lists. Null on a missing argument or no memory (nothing left allocated).
SheetContext* CreateSheetContext(HWND sheet_window, SheetState* state, const SheetSnapshot* snapshot,
                                 const SheetSnapshot* third);
// Replaces `target` by a deep copy of `source`; 0 (target unchanged) on a
// missing argument or no memory.
INT CopySnapshot(SheetSnapshot* target, const SheetSnapshot* source);
void FreeSnapshot(SheetSnapshot* snapshot);
// Frees the snapshots, the lists and the context and clears *context; 0
// only for a null pointer argument, else 1. The SheetState stays.
INT DestroySheetContext(SheetContext** context);

// The model's capability bits into the state; 0 when an argument is missing.
INT LoadDeviceOptions(SheetState* state, DddHandle* database);
// With capability mask 0x800000, the user locale's measurement system into
// the state. 1, 0 without a state.
INT LoadMeasurementSystem(SheetState* state);
// Clears the re-entrancy flag of the value-change path. 1, 0 without state.
INT ResetChangeGuard(SheetState* state);
// Clears the flag that the start-up warnings were shown. 1, 0 without state.
INT ResetStartupWarningFlag(SheetState* state);
// Whether the model's prompt component can be created, into the state:
// ProbeComComponent's result, 0 when an argument is missing.
INT LoadPromptComponentFlag(SheetState* state, DddHandle* database);
// Copies the printer's port name into the state when it holds none and
// answers 0 (also when it cannot be read); 1 when one was held already.
INT CachePortName(SheetState* state);
// 1 when a port name was freed, else 0.
INT FreePortName(SheetState* state);
void FreeSheetScratch(SheetState* state);
// Frees the holder and its texts, clears the pointer; 0 for null argument.
INT FreePendingWarnings(PendingWarnings** holder);
INT FreeSummaryIconData(SheetState* state);
INT FreeStringArray(SheetState* state);
INT FreeDpiLayoutMetrics(SheetState* state);
// A new wide copy of the driver's help file (DRIVER_INFO_3W), or null.
LPWSTR GetDriverHelpFile(HANDLE printer);
// Copies the help file into the state; 0 when there is none.
INT LoadHelpFilePath(SheetState* state);
// Frees a global block when not null; GlobalFree's answer.
HGLOBAL SafeGlobalFree(HGLOBAL block);
