// The window system's own records, shared by the core, the dialog manager,
// the controls and the property sheets.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "win/controls.h"
#include "win/window.h"

namespace morva::platform::win {

// State a control class keeps per window (the real controls keep it in
// their window's extra bytes).
struct ControlData {
  virtual ~ControlData() = default;
};

struct WindowClass {
  std::u16string name;  // as registered
  UINT style = 0;
  WNDPROC proc = nullptr;
  INT wnd_extra = 0;
  HINSTANCE instance = nullptr;
  HCURSOR cursor = nullptr;
  HBRUSH background = nullptr;
  bool system = false;  // a standard class: instance-independent
};

// Font of a dialog: what WM_SETFONT hands its controls.
struct FontInfo {
  std::u16string face;
  INT point_size = 8;
  INT weight = 400;
  bool italic = false;
};

struct Window {
  HWND handle = nullptr;
  const WindowClass* cls = nullptr;
  WNDPROC proc = nullptr;
  DWORD style = 0;
  DWORD ex_style = 0;
  HWND parent = nullptr;  // child windows
  HWND owner = nullptr;   // top-level windows
  std::vector<HWND> children;  // z-order, first on top (template order)
  RECT rect{};  // in the parent's client area (screen for top-level)
  std::u16string text;
  LONG_PTR id = 0;
  LONG_PTR user_data = 0;
  HINSTANCE instance = nullptr;
  std::vector<BYTE> extra;  // cbWndExtra bytes (dialog slots for dialogs)
  std::map<std::u16string, HANDLE> props;
  HFONT font = nullptr;
  std::unique_ptr<ControlData> data;
  bool destroying = false;
  // Dialogs.
  bool is_dialog = false;
  bool modal_ended = false;
  INT_PTR modal_result = 0;
  HWND saved_focus = nullptr;  // focus to restore when the dialog is activated
  INT base_x = 6, base_y = 13;  // dialog base units in pixels
  INT scroll_min[2] = {0, 0}, scroll_max[2] = {100, 100}, scroll_pos[2] = {0, 0};
  UINT scroll_page[2] = {0, 0};
};

Window* find(HWND window);  // null for an unknown or destroyed window
Window* find_class_window(HWND window, const char16_t* class_name);  // only when of that class
bool is_class(HWND window, const char16_t* class_name);

// Registers a standard class of the layer (once); the window procedure
// gets the window's ControlData through data<T>(window).
void register_system_class(const char16_t* name, WNDPROC proc, UINT style = 0);
void ensure_system_classes();

template <class T>
T* data(HWND window) {
  Window* w = find(window);
  return w ? dynamic_cast<T*>(w->data.get()) : nullptr;
}
template <class T>
T* data_or_create(HWND window) {
  Window* w = find(window);
  if (!w) return nullptr;
  if (!w->data) w->data = std::make_unique<T>();
  return dynamic_cast<T*>(w->data.get());
}

// Notifications to the parent: WM_COMMAND (id, code, control) and
// WM_NOTIFY with an NMHDR at the head of `header`.
LRESULT notify_command(HWND control, UINT code);
LRESULT notify_parent(HWND control, NMHDR* header, UINT code);

// Text helpers for the WM_GETTEXT family.
LRESULT copy_text_out(const std::u16string& text, WPARAM size, LPARAM buffer);
std::u16string text_of(LPCWSTR text);

// Dialog manager pieces the controls and sheets use.
HWND create_dialog_window(HINSTANCE instance, DWORD style, DWORD ex_style, const RECT& pixels,
                          const std::u16string& title, HWND parent, DLGPROC proc, LPARAM param);
HWND dialog_of(HWND window);  // the nearest ancestor (or self) that is a dialog and not DS_CONTROL
INT_PTR run_modal(HWND dialog);  // the modal loop with its script
void click_radio_in_group(HWND button);  // unchecks the other automatic radio buttons of the group
void set_key_state(UINT vk, bool down);
HWND top_level(HWND window);
INT scale(INT value, INT num, INT den);  // value * num / den, rounded half away from zero

// The property sheet frame's own routing for the driver.
bool is_sheet_frame(HWND window);
HWND sheet_current_page(HWND frame);
HWND sheet_tab(HWND frame);
bool sheet_select_page(HWND frame, INT index);

// Drawing: the default WM_ERASEBKGND and WM_PAINT of dialogs and of the
// standard classes (true when handled); window DCs for GetDC.
bool paint_standard(HWND window, UINT message, WPARAM wParam);
void install_window_dcs();

// Tooltip lookup for hover.
std::u16string tooltip_hover(HWND control);

}  // namespace morva::platform::win
