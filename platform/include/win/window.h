// The headless window system: window classes, windows with procedures and
// subclassing, synchronous SendMessageW, a posted-message queue that tests
// and hosts drain, properties, focus, show and enable, text, rectangles,
// timers on a virtual clock, cursors, system metrics and colours; and the
// dialog manager that builds dialogs from RT_DIALOG templates.
//
// The window system belongs to one thread at a time (the UI thread of the
// test or host), as a thread's windows and queue do on the real platform.
#pragma once

#include "win/gdi.h"
#include "win/types.h"

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
using DLGPROC = INT_PTR (*)(HWND, UINT, WPARAM, LPARAM);
using TIMERPROC = void (*)(HWND, UINT, UINT_PTR, DWORD);

struct WNDCLASSEXW {
  UINT cbSize;
  UINT style;
  WNDPROC lpfnWndProc;
  INT cbClsExtra;
  INT cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  LPCWSTR lpszMenuName;
  LPCWSTR lpszClassName;
  HICON hIconSm;
};

struct CREATESTRUCTW {
  LPVOID lpCreateParams;
  HINSTANCE hInstance;
  HMENU hMenu;
  HWND hwndParent;
  INT cy;
  INT cx;
  INT y;
  INT x;
  LONG style;
  LPCWSTR lpszName;
  LPCWSTR lpszClass;
  DWORD dwExStyle;
};

struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
};
using LPMSG = MSG*;

struct NMHDR {
  HWND hwndFrom;
  UINT_PTR idFrom;
  UINT code;
};
using LPNMHDR = NMHDR*;

struct MEASUREITEMSTRUCT {
  UINT CtlType;
  UINT CtlID;
  UINT itemID;
  UINT itemWidth;
  UINT itemHeight;
  ULONG_PTR itemData;
};
using LPMEASUREITEMSTRUCT = MEASUREITEMSTRUCT*;

struct DRAWITEMSTRUCT {
  UINT CtlType;
  UINT CtlID;
  UINT itemID;
  UINT itemAction;
  UINT itemState;
  HWND hwndItem;
  HDC hDC;
  RECT rcItem;
  ULONG_PTR itemData;
};
using LPDRAWITEMSTRUCT = DRAWITEMSTRUCT*;

struct HELPINFO {
  UINT cbSize;
  INT iContextType;
  INT iCtrlId;
  HANDLE hItemHandle;
  DWORD_PTR dwContextId;
  POINT MousePos;
};
using LPHELPINFO = HELPINFO*;

struct PAINTSTRUCT {
  HDC hdc;
  BOOL fErase;
  RECT rcPaint;
  BOOL fRestore;
  BOOL fIncUpdate;
  BYTE rgbReserved[32];
};
using LPPAINTSTRUCT = PAINTSTRUCT*;

struct WINDOWPOS {
  HWND hwnd;
  HWND hwndInsertAfter;
  INT x;
  INT y;
  INT cx;
  INT cy;
  UINT flags;
};

// Window messages.
#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_MOVE 0x0003
#define WM_SIZE 0x0005
#define WM_ACTIVATE 0x0006
#define WM_SETFOCUS 0x0007
#define WM_KILLFOCUS 0x0008
#define WM_ENABLE 0x000A
#define WM_SETREDRAW 0x000B
#define WM_SETTEXT 0x000C
#define WM_GETTEXT 0x000D
#define WM_GETTEXTLENGTH 0x000E
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_ERASEBKGND 0x0014
#define WM_SHOWWINDOW 0x0018
#define WM_SETCURSOR 0x0020
#define WM_MEASUREITEM 0x002C
#define WM_DRAWITEM 0x002B
#define WM_VKEYTOITEM 0x002E
#define WM_CHARTOITEM 0x002F
#define WM_SETFONT 0x0030
#define WM_GETFONT 0x0031
#define WM_COMPAREITEM 0x0039
#define WM_WINDOWPOSCHANGED 0x0047
#define WM_NOTIFY 0x004E
#define WM_HELP 0x0053
#define WM_CONTEXTMENU 0x007B
#define WM_NCCREATE 0x0081
#define WM_NCDESTROY 0x0082
#define WM_GETDLGCODE 0x0087
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_CHAR 0x0102
#define WM_SYSKEYDOWN 0x0104
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_SYSCOMMAND 0x0112
#define WM_TIMER 0x0113
#define WM_HSCROLL 0x0114
#define WM_VSCROLL 0x0115
#define WM_CTLCOLOREDIT 0x0133
#define WM_CTLCOLORLISTBOX 0x0134
#define WM_CTLCOLORBTN 0x0135
#define WM_CTLCOLORDLG 0x0136
#define WM_CTLCOLORSTATIC 0x0138
#define WM_MOUSEMOVE 0x0200
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
#define WM_LBUTTONDBLCLK 0x0203
#define WM_PARENTNOTIFY 0x0210
#define WM_NEXTDLGCTL 0x0028
#define WM_UNDO 0x0304
#define WM_QUERYNEWPALETTE 0x030F
#define WM_PALETTECHANGED 0x0311
#define WM_USER 0x0400
#define WM_APP 0x8000

// Window styles.
#define WS_OVERLAPPED 0x00000000L
#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_MINIMIZE 0x20000000L
#define WS_VISIBLE 0x10000000L
#define WS_DISABLED 0x08000000L
#define WS_CLIPSIBLINGS 0x04000000L
#define WS_CLIPCHILDREN 0x02000000L
#define WS_CAPTION 0x00C00000L
#define WS_BORDER 0x00800000L
#define WS_DLGFRAME 0x00400000L
#define WS_VSCROLL 0x00200000L
#define WS_HSCROLL 0x00100000L
#define WS_SYSMENU 0x00080000L
#define WS_THICKFRAME 0x00040000L
#define WS_GROUP 0x00020000L
#define WS_TABSTOP 0x00010000L
#define WS_OVERLAPPEDWINDOW 0x00CF0000L
#define WS_EX_DLGMODALFRAME 0x00000001L
#define WS_EX_NOPARENTNOTIFY 0x00000004L
#define WS_EX_TOPMOST 0x00000008L
#define WS_EX_CLIENTEDGE 0x00000200L
#define WS_EX_CONTEXTHELP 0x00000400L
#define WS_EX_CONTROLPARENT 0x00010000L
#define WS_EX_STATICEDGE 0x00020000L
#define CW_USEDEFAULT (static_cast<INT>(0x80000000))

// Dialog styles.
#define DS_ABSALIGN 0x01L
#define DS_SYSMODAL 0x02L
#define DS_LOCALEDIT 0x20L
#define DS_SETFONT 0x40L
#define DS_MODALFRAME 0x80L
#define DS_3DLOOK 0x0004L
#define DS_FIXEDSYS 0x0008L
#define DS_NOFAILCREATE 0x0010L
#define DS_CONTROL 0x0400L
#define DS_CENTER 0x0800L
#define DS_CONTEXTHELP 0x2000L
#define DS_SHELLFONT (DS_SETFONT | DS_FIXEDSYS)

// Window data slots. The dialog slots are pointer-sized on this 64-bit
// build; DWL_MSGRESULT and DWL_USER name the same slots.
#define GWLP_WNDPROC (-4)
#define GWLP_HINSTANCE (-6)
#define GWLP_HWNDPARENT (-8)
#define GWLP_ID (-12)
#define GWL_STYLE (-16)
#define GWL_EXSTYLE (-20)
#define GWLP_USERDATA (-21)
#define GWL_HINSTANCE GWLP_HINSTANCE
#define GWL_ID GWLP_ID
#define GWL_USERDATA GWLP_USERDATA
#define DWLP_MSGRESULT 0
#define DWLP_DLGPROC (DWLP_MSGRESULT + static_cast<INT>(sizeof(LRESULT)))
#define DWLP_USER (DWLP_DLGPROC + static_cast<INT>(sizeof(DLGPROC)))
#define DWL_MSGRESULT DWLP_MSGRESULT
#define DWL_USER DWLP_USER
#define DLGWINDOWEXTRA (DWLP_USER + static_cast<INT>(sizeof(LONG_PTR)))

// ShowWindow
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_NORMAL 1
#define SW_SHOW 5
#define SW_SHOWNA 8
#define SW_RESTORE 9

// SetWindowPos
#define SWP_NOSIZE 0x0001
#define SWP_NOMOVE 0x0002
#define SWP_NOZORDER 0x0004
#define SWP_NOREDRAW 0x0008
#define SWP_NOACTIVATE 0x0010
#define SWP_SHOWWINDOW 0x0040
#define SWP_HIDEWINDOW 0x0080
#define HWND_TOP (reinterpret_cast<HWND>(0))
#define HWND_BOTTOM (reinterpret_cast<HWND>(1))
#define HWND_DESKTOP (reinterpret_cast<HWND>(0))

// GetWindow
#define GW_HWNDFIRST 0
#define GW_HWNDLAST 1
#define GW_HWNDNEXT 2
#define GW_HWNDPREV 3
#define GW_OWNER 4
#define GW_CHILD 5
#define GA_PARENT 1
#define GA_ROOT 2

// PeekMessage
#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001

// WM_GETDLGCODE answers.
#define DLGC_WANTARROWS 0x0001
#define DLGC_WANTTAB 0x0002
#define DLGC_WANTALLKEYS 0x0004
#define DLGC_WANTMESSAGE 0x0004
#define DLGC_HASSETSEL 0x0008
#define DLGC_DEFPUSHBUTTON 0x0010
#define DLGC_UNDEFPUSHBUTTON 0x0020
#define DLGC_RADIOBUTTON 0x0040
#define DLGC_WANTCHARS 0x0080
#define DLGC_STATIC 0x0100
#define DLGC_BUTTON 0x2000

// Dialog messages.
#define DM_GETDEFID (WM_USER + 0)
#define DM_SETDEFID (WM_USER + 1)
#define DM_REPOSITION (WM_USER + 2)
#define DC_HASDEFID 0x534B

// Virtual keys.
#define VK_BACK 0x08
#define VK_TAB 0x09
#define VK_RETURN 0x0D
#define VK_SHIFT 0x10
#define VK_CONTROL 0x11
#define VK_MENU 0x12
#define VK_ESCAPE 0x1B
#define VK_SPACE 0x20
#define VK_PRIOR 0x21
#define VK_NEXT 0x22
#define VK_END 0x23
#define VK_HOME 0x24
#define VK_LEFT 0x25
#define VK_UP 0x26
#define VK_RIGHT 0x27
#define VK_DOWN 0x28
#define VK_DELETE 0x2E
#define VK_F1 0x70
#define VK_F4 0x73

// Mouse key flags.
#define MK_LBUTTON 0x0001
#define MK_SHIFT 0x0004
#define MK_CONTROL 0x0008

// Help contexts of HELPINFO.
#define HELPINFO_WINDOW 0x0001

// Cursors.
#define IDC_ARROW MAKEINTRESOURCEW(32512)
#define IDC_IBEAM MAKEINTRESOURCEW(32513)
#define IDC_WAIT MAKEINTRESOURCEW(32514)
#define IDC_CROSS MAKEINTRESOURCEW(32515)
#define IDC_HAND MAKEINTRESOURCEW(32649)
#ifndef MAKEINTRESOURCEW
#define MAKEINTRESOURCEW(i) (reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(i))))
#endif

// System metrics.
#define SM_CXSCREEN 0
#define SM_CYSCREEN 1
#define SM_CXVSCROLL 2
#define SM_CYHSCROLL 3
#define SM_CYCAPTION 4
#define SM_CXBORDER 5
#define SM_CYBORDER 6
#define SM_CXDLGFRAME 7
#define SM_CYDLGFRAME 8
#define SM_CXICON 11
#define SM_CYICON 12
#define SM_CXCURSOR 13
#define SM_CYCURSOR 14
#define SM_CYMENU 15
#define SM_CXDOUBLECLK 36
#define SM_CYDOUBLECLK 37
#define SM_CXEDGE 45
#define SM_CYEDGE 46
#define SM_CXSMICON 49
#define SM_CYSMICON 50
#define SM_CXMENUCHECK 71
#define SM_CYMENUCHECK 72

// System colours (COLOR_) and RGB come from win/gdi.h.

#define MAKEWPARAM(l, h) (static_cast<WPARAM>(static_cast<DWORD>(MAKELONG(l, h))))
#define MAKELPARAM(l, h) (static_cast<LPARAM>(static_cast<DWORD>(MAKELONG(l, h))))
#define GET_WM_COMMAND_ID(w, l) LOWORD(w)

extern "C" {
// Classes and windows.
MORVA_WIN_API ATOM RegisterClassExW(const WNDCLASSEXW* wc);
MORVA_WIN_API BOOL UnregisterClassW(LPCWSTR name, HINSTANCE instance);
MORVA_WIN_API BOOL GetClassInfoExW(HINSTANCE instance, LPCWSTR name, WNDCLASSEXW* out);
MORVA_WIN_API INT GetClassNameW(HWND window, LPWSTR buffer, INT size);
MORVA_WIN_API HWND CreateWindowExW(DWORD ex_style, LPCWSTR class_name, LPCWSTR title, DWORD style, INT x, INT y,
                                   INT cx, INT cy, HWND parent, HMENU menu_or_id, HINSTANCE instance, LPVOID param);
MORVA_WIN_API BOOL DestroyWindow(HWND window);
MORVA_WIN_API BOOL IsWindow(HWND window);
MORVA_WIN_API HWND GetParent(HWND window);
MORVA_WIN_API HWND SetParent(HWND child, HWND parent);
MORVA_WIN_API HWND GetAncestor(HWND window, UINT flags);
MORVA_WIN_API HWND GetWindow(HWND window, UINT relation);
MORVA_WIN_API BOOL IsChild(HWND parent, HWND window);
MORVA_WIN_API HWND GetDesktopWindow();
MORVA_WIN_API HWND GetActiveWindow();
MORVA_WIN_API HWND SetActiveWindow(HWND window);
MORVA_WIN_API HWND GetForegroundWindow();
MORVA_WIN_API BOOL SetForegroundWindow(HWND window);
MORVA_WIN_API HWND FindWindowW(LPCWSTR class_name, LPCWSTR title);

// Procedures and data slots.
MORVA_WIN_API LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
MORVA_WIN_API LRESULT CallWindowProcW(WNDPROC proc, HWND window, UINT message, WPARAM wParam, LPARAM lParam);
MORVA_WIN_API LONG_PTR GetWindowLongPtrW(HWND window, INT index);
MORVA_WIN_API LONG_PTR SetWindowLongPtrW(HWND window, INT index, LONG_PTR value);
MORVA_WIN_API LONG GetWindowLongW(HWND window, INT index);
MORVA_WIN_API LONG SetWindowLongW(HWND window, INT index, LONG value);
MORVA_WIN_API BOOL SetPropW(HWND window, LPCWSTR name, HANDLE data);
MORVA_WIN_API HANDLE GetPropW(HWND window, LPCWSTR name);
MORVA_WIN_API HANDLE RemovePropW(HWND window, LPCWSTR name);

// Messages.
MORVA_WIN_API LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
MORVA_WIN_API BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
MORVA_WIN_API void PostQuitMessage(INT exit_code);
// The queue never blocks: GetMessageW on an empty queue (after due timers)
// answers 0 as for WM_QUIT, since nothing else could ever arrive; a host's
// message loop then ends instead of waiting for ever.
MORVA_WIN_API BOOL PeekMessageW(LPMSG msg, HWND window, UINT first, UINT last, UINT remove);
MORVA_WIN_API BOOL GetMessageW(LPMSG msg, HWND window, UINT first, UINT last);
MORVA_WIN_API BOOL TranslateMessage(const MSG* msg);
MORVA_WIN_API LRESULT DispatchMessageW(const MSG* msg);
MORVA_WIN_API BOOL InSendMessage();

// State.
MORVA_WIN_API BOOL ShowWindow(HWND window, INT command);
MORVA_WIN_API BOOL IsWindowVisible(HWND window);
MORVA_WIN_API BOOL EnableWindow(HWND window, BOOL enable);
MORVA_WIN_API BOOL IsWindowEnabled(HWND window);
MORVA_WIN_API HWND SetFocus(HWND window);
MORVA_WIN_API HWND GetFocus();
MORVA_WIN_API SHORT GetKeyState(INT key);
MORVA_WIN_API BOOL SetWindowTextW(HWND window, LPCWSTR text);
MORVA_WIN_API INT GetWindowTextW(HWND window, LPWSTR buffer, INT size);
MORVA_WIN_API INT GetWindowTextLengthW(HWND window);
MORVA_WIN_API BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase);
MORVA_WIN_API BOOL UpdateWindow(HWND window);
// While a window is drawn (ui::write_png), BeginPaint answers the DC to draw
// it with; at other times there is nothing to paint and it answers NULL.
MORVA_WIN_API HDC BeginPaint(HWND window, LPPAINTSTRUCT ps);
MORVA_WIN_API BOOL EndPaint(HWND window, const PAINTSTRUCT* ps);

// Geometry (pixels; window rectangles in screen coordinates).
MORVA_WIN_API BOOL GetWindowRect(HWND window, RECT* rect);
MORVA_WIN_API BOOL GetClientRect(HWND window, RECT* rect);
MORVA_WIN_API BOOL MoveWindow(HWND window, INT x, INT y, INT cx, INT cy, BOOL repaint);
MORVA_WIN_API BOOL SetWindowPos(HWND window, HWND after, INT x, INT y, INT cx, INT cy, UINT flags);
MORVA_WIN_API BOOL ClientToScreen(HWND window, POINT* point);
MORVA_WIN_API BOOL ScreenToClient(HWND window, POINT* point);
MORVA_WIN_API INT MapWindowPoints(HWND from, HWND to, POINT* points, UINT count);
MORVA_WIN_API HWND WindowFromPoint(POINT point);
MORVA_WIN_API HWND ChildWindowFromPoint(HWND parent, POINT point);
MORVA_WIN_API BOOL SetRect(RECT* rect, INT left, INT top, INT right, INT bottom);
MORVA_WIN_API BOOL SetRectEmpty(RECT* rect);
MORVA_WIN_API BOOL IsRectEmpty(const RECT* rect);
MORVA_WIN_API BOOL PtInRect(const RECT* rect, POINT point);
MORVA_WIN_API BOOL OffsetRect(RECT* rect, INT dx, INT dy);
MORVA_WIN_API BOOL InflateRect(RECT* rect, INT dx, INT dy);
MORVA_WIN_API BOOL IntersectRect(RECT* out, const RECT* a, const RECT* b);
MORVA_WIN_API BOOL UnionRect(RECT* out, const RECT* a, const RECT* b);
MORVA_WIN_API BOOL EqualRect(const RECT* a, const RECT* b);
MORVA_WIN_API BOOL CopyRect(RECT* out, const RECT* in);

// Timers; they fire on the window system's virtual clock (see
// morva::platform::ui::advance_time), as WM_TIMER when the queue is drained.
MORVA_WIN_API UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC proc);
MORVA_WIN_API BOOL KillTimer(HWND window, UINT_PTR id);

// Cursors, metrics, colours.
MORVA_WIN_API HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name);
MORVA_WIN_API HCURSOR SetCursor(HCURSOR cursor);
MORVA_WIN_API HCURSOR GetCursor();
MORVA_WIN_API BOOL GetCursorPos(POINT* point);
MORVA_WIN_API BOOL SetCursorPos(INT x, INT y);
MORVA_WIN_API INT GetSystemMetrics(INT index);
MORVA_WIN_API DWORD GetSysColor(INT index);

// Dialogs.
MORVA_WIN_API HWND CreateDialogParamW(HINSTANCE instance, LPCWSTR name, HWND parent, DLGPROC proc, LPARAM param);
MORVA_WIN_API INT_PTR DialogBoxParamW(HINSTANCE instance, LPCWSTR name, HWND parent, DLGPROC proc, LPARAM param);
MORVA_WIN_API BOOL EndDialog(HWND dialog, INT_PTR result);
MORVA_WIN_API LRESULT DefDlgProcW(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
MORVA_WIN_API HWND GetDlgItem(HWND dialog, INT id);
MORVA_WIN_API INT GetDlgCtrlID(HWND window);
MORVA_WIN_API LRESULT SendDlgItemMessageW(HWND dialog, INT id, UINT message, WPARAM wParam, LPARAM lParam);
MORVA_WIN_API BOOL SetDlgItemTextW(HWND dialog, INT id, LPCWSTR text);
MORVA_WIN_API UINT GetDlgItemTextW(HWND dialog, INT id, LPWSTR buffer, INT size);
MORVA_WIN_API BOOL SetDlgItemInt(HWND dialog, INT id, UINT value, BOOL is_signed);
MORVA_WIN_API UINT GetDlgItemInt(HWND dialog, INT id, BOOL* translated, BOOL is_signed);
MORVA_WIN_API BOOL CheckDlgButton(HWND dialog, INT id, UINT check);
MORVA_WIN_API UINT IsDlgButtonChecked(HWND dialog, INT id);
MORVA_WIN_API BOOL CheckRadioButton(HWND dialog, INT first, INT last, INT check);
MORVA_WIN_API HWND GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous);
MORVA_WIN_API HWND GetNextDlgGroupItem(HWND dialog, HWND control, BOOL previous);
MORVA_WIN_API BOOL IsDialogMessageW(HWND dialog, LPMSG msg);
MORVA_WIN_API BOOL MapDialogRect(HWND dialog, RECT* rect);
MORVA_WIN_API LONG GetDialogBaseUnits();
}
