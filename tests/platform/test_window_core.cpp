// The window core: classes and windows, procedures and subclassing, the
// order of creation and destruction messages, sent and posted messages,
// data slots and properties, focus, enable and show, and timers on the
// virtual clock.
#include <gtest/gtest.h>

#include "win/win.h"

namespace {

namespace ui = morva::platform::ui;

struct Delivery {
  HWND window;
  UINT message;
  WPARAM wParam;
  bool operator==(const Delivery& o) const { return window == o.window && message == o.message && wParam == o.wParam; }
};
std::vector<Delivery> g_log;
HWND g_focus_during_kill = nullptr;

LRESULT CALLBACK logging_proc(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
    case WM_DESTROY:
    case WM_NCDESTROY:
    case WM_SETFOCUS:
    case WM_ENABLE:
    case WM_SHOWWINDOW:
    case WM_TIMER:
    case WM_USER:
    case WM_USER + 1:
      g_log.push_back({h, message, message == WM_SETFOCUS ? 0 : wParam});
      break;
    case WM_KILLFOCUS:
      g_focus_during_kill = GetFocus();
      g_log.push_back({h, message, 0});
      break;
    default: break;
  }
  if (message == WM_USER) return static_cast<LRESULT>(wParam) * 2;
  return DefWindowProcW(h, message, wParam, lParam);
}

WNDPROC g_original = nullptr;
LRESULT CALLBACK subclass_proc(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_USER) return CallWindowProcW(g_original, h, message, wParam + 1, lParam);
  return CallWindowProcW(g_original, h, message, wParam, lParam);
}

class WindowCore : public ::testing::Test {
 protected:
  void SetUp() override {
    ui::reset();
    g_log.clear();
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &logging_proc;
    wc.cbWndExtra = 2 * sizeof(LONG_PTR);
    wc.lpszClassName = u"MorvaTestWindow";
    atom_ = RegisterClassExW(&wc);
  }
  void TearDown() override {
    ui::reset();
    UnregisterClassW(u"MorvaTestWindow", nullptr);
  }
  HWND make(HWND parent = nullptr, INT id = 0, DWORD style = WS_VISIBLE) {
    return CreateWindowExW(0, u"morvatestwindow", u"w", style | (parent ? WS_CHILD : WS_POPUP), 10, 20, 100, 50, parent,
                           reinterpret_cast<HMENU>(static_cast<ULONG_PTR>(id)), nullptr, nullptr);
  }
  ATOM atom_ = 0;
};

TEST_F(WindowCore, ClassesAreFoundByNameOrAtomAndRegisteredOnce) {
  ASSERT_NE(atom_, 0);
  WNDCLASSEXW again{};
  again.cbSize = sizeof again;
  again.lpfnWndProc = &logging_proc;
  again.lpszClassName = u"MORVATESTWINDOW";
  EXPECT_EQ(RegisterClassExW(&again), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
  HWND by_atom = CreateWindowExW(0, MAKEINTRESOURCEW(atom_), u"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  EXPECT_NE(by_atom, nullptr);
  EXPECT_EQ(CreateWindowExW(0, u"NoSuchClass", u"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
  WCHAR name[32];
  EXPECT_EQ(GetClassNameW(by_atom, name, 32), 15);
  EXPECT_EQ(std::u16string(name), u"MorvaTestWindow");
  EXPECT_FALSE(UnregisterClassW(u"MorvaTestWindow", nullptr));  // still in use
}

TEST_F(WindowCore, DestructionReachesParentsFirstAndFinalMessagesChildrenFirst) {
  HWND top = make();
  HWND child = make(top, 5);
  HWND grandchild = make(child, 6);
  g_log.clear();
  ASSERT_TRUE(DestroyWindow(top));
  const std::vector<Delivery> expected = {
      {top, WM_DESTROY, 0},          {child, WM_DESTROY, 0},     {grandchild, WM_DESTROY, 0},
      {grandchild, WM_NCDESTROY, 0}, {child, WM_NCDESTROY, 0},  {top, WM_NCDESTROY, 0},
  };
  EXPECT_EQ(g_log, expected);
  EXPECT_FALSE(IsWindow(child));
  EXPECT_FALSE(DestroyWindow(top));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(WindowCore, SubclassingChainsThroughCallWindowProc) {
  HWND w = make();
  EXPECT_EQ(SendMessageW(w, WM_USER, 20, 0), 40);
  g_original = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&subclass_proc)));
  EXPECT_EQ(g_original, &logging_proc);
  EXPECT_EQ(SendMessageW(w, WM_USER, 20, 0), 42);
  SetWindowLongPtrW(w, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_original));
  EXPECT_EQ(SendMessageW(w, WM_USER, 20, 0), 40);
}

TEST_F(WindowCore, SentMessagesRunAtOncePostedOnesWhenTheQueueIsDrained) {
  HWND w = make();
  g_log.clear();
  PostMessageW(w, WM_USER + 1, 1, 0);
  SendMessageW(w, WM_USER + 1, 2, 0);
  PostMessageW(w, WM_USER + 1, 3, 0);
  EXPECT_EQ(g_log, (std::vector<Delivery>{{w, WM_USER + 1, 2}}));
  MSG m;
  EXPECT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(m.wParam, 1u);
  EXPECT_EQ(ui::pump(), 2);
  EXPECT_EQ(g_log.size(), 3u);
  EXPECT_EQ(g_log[2].wParam, 3u);
  // An empty queue ends a message loop instead of waiting for ever.
  EXPECT_EQ(GetMessageW(&m, nullptr, 0, 0), FALSE);
  // Messages for a window that is gone are dropped.
  PostMessageW(w, WM_USER + 1, 4, 0);
  DestroyWindow(w);
  EXPECT_FALSE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(WindowCore, DataSlotsAndPropertiesBelongToTheWindow) {
  HWND w = make(nullptr, 0);
  HWND c = make(w, 77);
  EXPECT_EQ(GetWindowLongPtrW(c, GWLP_ID), 77);
  EXPECT_EQ(GetDlgCtrlID(c), 77);
  SetWindowLongPtrW(w, GWLP_USERDATA, 1234);
  EXPECT_EQ(GetWindowLongPtrW(w, GWLP_USERDATA), 1234);
  EXPECT_EQ(SetWindowLongPtrW(w, sizeof(LONG_PTR), 99), 0);
  EXPECT_EQ(GetWindowLongPtrW(w, sizeof(LONG_PTR)), 99);
  EXPECT_EQ(GetWindowLongPtrW(w, 2 * sizeof(LONG_PTR)), 0);  // past the extra bytes
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_INDEX));
  int value = 5;
  EXPECT_TRUE(SetPropW(w, u"Item", &value));
  EXPECT_EQ(GetPropW(w, u"ITEM"), &value);  // names compare without case
  EXPECT_EQ(RemovePropW(w, u"item"), &value);
  EXPECT_EQ(GetPropW(w, u"Item"), nullptr);
  EXPECT_EQ(GetParent(c), w);
  EXPECT_TRUE(IsChild(w, c));
  SetWindowTextW(w, u"Title");
  EXPECT_EQ(GetWindowTextLengthW(w), 5);
  WCHAR buf[3];
  EXPECT_EQ(GetWindowTextW(w, buf, 3), 2);  // cut to the buffer
  EXPECT_EQ(std::u16string(buf), u"Ti");
}

TEST_F(WindowCore, FocusHasMovedWhenTheOldWindowHearsOfIt) {
  HWND top = make();
  HWND a = make(top, 1);
  HWND b = make(top, 2);
  SetFocus(a);
  g_log.clear();
  EXPECT_EQ(SetFocus(b), a);
  EXPECT_EQ(g_focus_during_kill, b);
  EXPECT_EQ(g_log, (std::vector<Delivery>{{a, WM_KILLFOCUS, 0}, {b, WM_SETFOCUS, 0}}));
  // Disabling the focus window takes the focus away; hiding keeps enable state.
  g_log.clear();
  EXPECT_FALSE(EnableWindow(b, FALSE));
  EXPECT_EQ(GetFocus(), nullptr);
  EXPECT_EQ(g_log, (std::vector<Delivery>{{b, WM_KILLFOCUS, 0}, {b, WM_ENABLE, FALSE}}));
  EXPECT_TRUE(EnableWindow(b, TRUE));
  EXPECT_FALSE(EnableWindow(b, TRUE));  // no change, no message
  ShowWindow(top, SW_HIDE);
  EXPECT_FALSE(IsWindowVisible(a));  // hidden with its parent
  EXPECT_TRUE(GetWindowLongW(a, GWL_STYLE) & WS_VISIBLE);
}

TEST_F(WindowCore, GeometryIsRelativeToTheParent) {
  HWND top = make();
  HWND child = make(top, 1);
  RECT r;
  GetWindowRect(child, &r);
  EXPECT_EQ(r.left, 20);  // 10 + 10
  EXPECT_EQ(r.top, 40);
  GetClientRect(child, &r);
  EXPECT_EQ(r.right, 100);
  EXPECT_EQ(r.bottom, 50);
  POINT p{0, 0};
  ClientToScreen(child, &p);
  EXPECT_EQ(p.x, 20);
  MoveWindow(child, 0, 0, 30, 30, TRUE);
  EXPECT_EQ(WindowFromPoint(POINT{15, 25}), child);
  EXPECT_EQ(WindowFromPoint(POINT{100, 60}), top);
}

void CALLBACK timer_proc(HWND h, UINT, UINT_PTR id, DWORD time) { g_log.push_back({h, 0xFFFF, id + time * 0}); }

TEST_F(WindowCore, TimersFireOnTheVirtualClockWhenTheQueueIsEmpty) {
  HWND w = make();
  g_log.clear();
  EXPECT_EQ(SetTimer(w, 7, 100, nullptr), 7u);
  UINT_PTR callback_timer = SetTimer(nullptr, 0, 250, &timer_proc);
  EXPECT_NE(callback_timer, 0u);
  ui::pump();
  EXPECT_TRUE(g_log.empty());
  ui::advance_time(99);
  EXPECT_TRUE(g_log.empty());
  ui::advance_time(1);
  EXPECT_EQ(g_log, (std::vector<Delivery>{{w, WM_TIMER, 7}}));
  g_log.clear();
  ui::advance_time(200);  // to 300: the window timer at 200 and 300, the callback at 250
  EXPECT_EQ(g_log, (std::vector<Delivery>{{w, WM_TIMER, 7}, {nullptr, 0xFFFF, callback_timer}, {w, WM_TIMER, 7}}));
  EXPECT_TRUE(KillTimer(w, 7));
  EXPECT_FALSE(KillTimer(w, 7));
  g_log.clear();
  ui::advance_time(1000);
  EXPECT_EQ(g_log.size(), 4u);  // only the callback timer is left
  EXPECT_EQ(ui::now(), 1300u);
}

TEST_F(WindowCore, MetricsColoursAndCursorsHaveTheirStandardValues) {
  EXPECT_EQ(GetSystemMetrics(SM_CXICON), 32);
  EXPECT_EQ(GetSystemMetrics(SM_CYSMICON), 16);
  EXPECT_EQ(GetSystemMetrics(9999), 0);
  EXPECT_EQ(GetSysColor(COLOR_WINDOW), RGB(255, 255, 255));
  EXPECT_EQ(GetSysColor(COLOR_WINDOWTEXT), RGB(0, 0, 0));
  HCURSOR hand = LoadCursorW(nullptr, IDC_HAND);
  ASSERT_NE(hand, nullptr);
  EXPECT_EQ(LoadCursorW(nullptr, IDC_HAND), hand);  // shared
  EXPECT_EQ(SetCursor(hand), nullptr);
  EXPECT_EQ(GetCursor(), hand);
  EXPECT_EQ(LoadCursorW(nullptr, MAKEINTRESOURCEW(1)), nullptr);
}

}  // namespace
