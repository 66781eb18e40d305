// Driving the headless window system as a user would, for tests and hosts:
// click, select, type, press keys, tab, drag a trackbar, close a dialog with
// OK or Cancel; read any control's state; script what the user does inside
// modal dialogs and property sheets; drain the posted queue and move the
// virtual clock that timers run on.
//
// Every action goes through the same messages the real input would send
// (mouse button and key messages, dispatched through IsDialogMessageW of
// the window's dialog) and drains the queue before it returns. An action on
// a hidden or disabled window does nothing and answers false.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "win/types.h"

namespace morva::platform::ui {

// --- the queue and the clock ---
// Dispatches posted messages (through the dialog manager) until the queue is
// empty, then fires the timers that are due; returns the count dispatched.
MORVA_WIN_API int pump();
// Moves the virtual clock on and fires the timers that fall due, in time order.
MORVA_WIN_API void advance_time(DWORD milliseconds);
MORVA_WIN_API DWORD now();

// --- actions ---
MORVA_WIN_API bool click(HWND control);
MORVA_WIN_API bool double_click(HWND control);
// By control id inside a dialog (or inside the current page of a sheet).
MORVA_WIN_API bool click(HWND dialog, INT id);
// Gives the focus as a click would, without clicking.
MORVA_WIN_API bool focus(HWND control);
// Types each character into the focus window (WM_CHAR).
MORVA_WIN_API bool type(const std::u16string& text);
// Sets the text of an edit (or editable combo box) as a user would: focus,
// select all, type the text.
MORVA_WIN_API bool enter_text(HWND control, const std::u16string& text);
// A key press (WM_KEYDOWN then WM_KEYUP) on the focus window; shift or
// control are held when asked.
MORVA_WIN_API bool press_key(UINT vk, bool shift = false, bool control = false);
MORVA_WIN_API bool tab(bool backwards = false);
// Selects an item as a user does with the mouse: a list box row, a
// drop-down's item (opens the list, picks, closes), a list view item or a
// tab (of a tab control or of a property sheet frame).
MORVA_WIN_API bool select(HWND control, INT index);
MORVA_WIN_API bool select_text(HWND control, const std::u16string& text);
// Drags a trackbar's thumb to a position, through the positions between.
MORVA_WIN_API bool drag_trackbar(HWND trackbar, INT position);
// Clicks an up-down control's up (true) or down arrow.
MORVA_WIN_API bool spin(HWND updown, bool up);
// Shows the tooltip of a tool window (hover); answers the tip text.
MORVA_WIN_API std::u16string hover(HWND control);
// Closes a dialog or property sheet as its OK / Cancel button (or Enter /
// Escape when it has no such button) would.
MORVA_WIN_API bool press_ok(HWND dialog);
MORVA_WIN_API bool press_cancel(HWND dialog);
// The Apply and Help buttons of a property sheet frame.
MORVA_WIN_API bool press_apply(HWND sheet);
MORVA_WIN_API bool press_help(HWND sheet);

// --- reading state ---
struct ControlState {
  std::u16string class_name;
  std::u16string text;
  INT id = 0;
  INT check = 0;        // BST_ of buttons
  INT selection = -1;   // list, combo, tab, list view; position of range controls
  INT count = 0;        // items of lists
  bool enabled = false;
  bool visible = false;
  bool focused = false;
};
MORVA_WIN_API ControlState state(HWND control);
MORVA_WIN_API std::u16string text(HWND control);
MORVA_WIN_API std::vector<std::u16string> items(HWND control);
// The control with this id in the dialog, or in the current page of a
// sheet frame; null when there is none.
MORVA_WIN_API HWND find(HWND dialog, INT id);
// The current page window of a sheet frame, and the frame of a page.
MORVA_WIN_API HWND current_page(HWND sheet);
// A top-level window by its title (the last one shown that matches).
MORVA_WIN_API HWND find_window(const std::u16string& title);

// --- pictures ---
// Draws a window (a dialog, a sheet frame, a page) with its visible
// children and writes it as a PNG file (native path).
MORVA_WIN_API bool write_png(HWND window, const std::string& native_path);

// --- modal scripts ---
// What the user does in the next modal dialogs and property sheets, first
// in first out: each script gets the dialog (or sheet frame) after it is
// shown and acts through this API. When a script returns and the dialog is
// still open, or when no script is queued, the dialog is closed as Escape
// would close it (IDCANCEL), and if it refuses, ended with IDCANCEL.
using ModalScript = std::function<void(HWND dialog)>;
MORVA_WIN_API void script_modal(ModalScript script);
MORVA_WIN_API void set_modal_handler(ModalScript handler);
struct ModalRecord {
  std::u16string title;
  INT_PTR result = 0;
  bool forced = false;  // ended by the window system, not by the dialog
};
MORVA_WIN_API std::vector<ModalRecord> modal_log();

// --- message tracing ---
// Every message delivered to a window (sent or dispatched), before its
// procedure runs.
struct Delivered {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  UINT notify_code;  // WM_COMMAND: HIWORD(wParam); WM_NOTIFY: NMHDR code
};
MORVA_WIN_API void trace_messages(std::function<void(const Delivered&)> tracer);

// Destroys every window, clears the queue, timers, focus, scripts and logs
// and sets the clock back to 0 (a fresh state for each test).
MORVA_WIN_API void reset();

}  // namespace morva::platform::ui
