// What the fax page and its dialogs share inside the library: the words a
// sheet keeps for them, setting access by DDMID and the message boxes.
#pragma once

#include <string>

#include "fax/fax_destination.h"
#include "fax/fax_job_attr.h"
#include "property_sheets/fax_pages.h"
#include "property_sheets/sheet_engine.h"
#include "win/process.h"

namespace fax_ui {

// The words a sheet keeps for its fax page and dialogs while it lives.
struct FaxSheetWords {
  morva::fax::FaxDestination default_entry{};
  BOOL has_default = FALSE;
  WORD pending = 0;          // messages the next 2534 shows
  BOOL refresh_mark = FALSE;  // the next list refresh reports removed fax numbers and IP-fax addresses
  PROCESS_INFORMATION tool{};  // the phonebook tool while it runs
  BOOL tool_failed = FALSE;    // the tool-wait dialog ended the tool
  BOOL button_flag = FALSE;  // a button is opening a child dialog
  WORD sender_prompt = 0;    // 1 open the sender dialog, 2 open it in Edit mode
  WORD cover_word = 0;
  WORD confirmed = 0;        // the number was confirmed in dialog 3910
  WORD address_book_result = 0;  // 1 when the last address-book run ended as the library wanted
  WORD line_prefix = 0;      // the recipient details opened without a line prefix
  WORD sender_mask = 0x20;   // editable sender fields
  LONG_PTR preview_proc = 0; // the preview control's own window procedure
  BOOL reload_history = FALSE;  // the number history is read again at the next activation
  std::u16string accepted_number;  // the number text last accepted by the entry kind's character check
  HWND status_tip = nullptr;  // the tooltip of the page's phonebook status text
};

// The words of the sheet a window belongs to (made on first use, dropped
// with ForgetSheetWords); null without a sheet.
FaxSheetWords* SheetWords(HWND window);
void ForgetSheetWords(HWND window);

// Settings of the window's current snapshot.
bool ReadNumber(HWND window, WORD ddmid, LONG* value);
LONG NumberOr(HWND window, WORD ddmid, LONG fallback);
bool ReadText(HWND window, WORD ddmid, std::u16string* text);
bool WriteNumber(HWND window, WORD ddmid, WORD type, DWORD size, LONG value);
bool WriteText(HWND window, WORD ddmid, const std::u16string& text, DWORD max_bytes);

// The line settings of the fax lines (4111, 5141-5145, 4142).
bool ReadLineSettings(HWND window, morva::fax::FaxLineSettings* line);
// The direct-fax mode of the window's settings (0 when unreadable).
WORD FaxMode(HWND window);
BOOL SipFaxOn(HWND window);

// The user's key of the printer's fax lists: the product's user key
// followed by resource string `tail_id`; empty without one.
std::u16string FaxUserKey(HWND window, UINT tail_id);

// Resource strings and message boxes with the sheets' caption.
std::u16string ResourceText(UINT id);
INT Warn(HWND owner, UINT id);
INT Ask(HWND owner, UINT id, UINT buttons);
INT AskText(HWND owner, const std::u16string& text, UINT buttons);

// The tool-wait dialog: it ends when the phonebook tool ends or when the
// user stops the tool.
INT_PTR ToolWaitProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// A dialog item's text.
std::u16string ItemText(HWND window, INT id);

// The engine's validation over the records of the event's dialog; the
// refusing record's answer, 0 when all agree.
INT ValidateDialog(ControlEvent* event);
// Asks the engine to show the given settings again (zero-ended list).
void RequestRefresh(ControlEvent* event, const WORD* settings);

}  // namespace fax_ui
