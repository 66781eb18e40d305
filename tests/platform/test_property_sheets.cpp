// Property sheets of three test pages through OK, Apply, Cancel and Help,
// and the common property-sheet component with a driver-style callback.
#include <filesystem>
#include <functional>

#include "fixtures/ui_fixture.h"

namespace {

using namespace morva::test;
namespace ui = morva::platform::ui;

enum : INT { kPageEdit = 2001, kCollate = 2002, kSizeCombo = 2101, kLevel = 2201, kTonerSave = 2202 };
constexpr UINT kInit = 0x10000;  // the log's code for WM_INITDIALOG
constexpr UINT kCallback = 0x20000;

struct Event {
  INT page;
  UINT code;     // PSN_ code, kInit, or kCallback + PSPCB_ reason
  LPARAM param;  // PSHNOTIFY.lParam
  bool operator==(const Event& o) const { return page == o.page && code == o.code && param == o.param; }
};
std::ostream& operator<<(std::ostream& os, const Event& e) {
  return os << "{" << e.page << ", " << static_cast<INT>(e.code) << ", " << e.param << "}";
}

// What each page does, by page number (its PROPSHEETPAGEW.lParam).
struct PageScript {
  LRESULT kill = 0;        // PSN_KILLACTIVE answer
  LRESULT apply = 0;       // PSN_APPLY answer
  LRESULT query_cancel = 0;
};
std::vector<Event> g_events;
PageScript g_pages[3];
HANDLE g_com_sheet = nullptr;
PFNCOMPROPSHEET g_com_function = nullptr;

INT page_of(HWND page) {
  auto* psp = reinterpret_cast<PROPSHEETPAGEW*>(GetWindowLongPtrW(page, DWLP_USER));
  return psp ? static_cast<INT>(psp->lParam) : -1;
}

INT_PTR CALLBACK page_proc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      SetWindowLongPtrW(page, DWLP_USER, lParam);
      g_events.push_back({page_of(page), kInit, 0});
      return TRUE;
    }
    case WM_COMMAND:
      // Any edit of the page's controls marks the page changed.
      if (HIWORD(wParam) == EN_CHANGE || HIWORD(wParam) == BN_CLICKED)
        SendMessageW(GetParent(page), PSM_CHANGED, reinterpret_cast<WPARAM>(page), 0);
      return TRUE;
    case WM_NOTIFY: {
      auto* n = reinterpret_cast<PSHNOTIFY*>(lParam);
      INT i = page_of(page);
      LRESULT answer = 0;
      switch (n->hdr.code) {
        case PSN_SETACTIVE:
        case PSN_RESET:
        case PSN_HELP: break;
        case PSN_KILLACTIVE: answer = g_pages[i].kill; break;
        case PSN_APPLY:
          answer = g_pages[i].apply;
          if (g_com_function && answer == PSNRET_NOERROR)
            g_com_function(g_com_sheet, CPSFUNC_SET_RESULT, reinterpret_cast<LPARAM>(page), CPSUI_OK);
          break;
        case PSN_QUERYCANCEL: answer = g_pages[i].query_cancel; break;
        default: return FALSE;
      }
      EXPECT_EQ(n->hdr.hwndFrom, GetParent(page));
      g_events.push_back({i, n->hdr.code, n->lParam});
      SetWindowLongPtrW(page, DWLP_MSGRESULT, answer);
      return TRUE;
    }
    default: return FALSE;
  }
}

UINT CALLBACK page_callback(HWND, UINT reason, PROPSHEETPAGEW* psp) {
  g_events.push_back({static_cast<INT>(psp->lParam), kCallback + reason, 0});
  return 1;
}

class PropertySheets : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    g_events.clear();
    for (PageScript& p : g_pages) p = PageScript{};
    g_com_sheet = nullptr;
    g_com_function = nullptr;
  }
  std::vector<HPROPSHEETPAGE> make_pages(bool callbacks = false, DWORD help_page_flags = 0) {
    std::vector<HPROPSHEETPAGE> pages;
    const char16_t* names[] = {u"UITEST_PAGE1", u"UITEST_PAGE2", u"UITEST_PAGE3"};
    for (INT i = 0; i < 3; ++i) {
      PROPSHEETPAGEW psp{};
      psp.dwSize = sizeof psp;
      psp.dwFlags = (callbacks ? PSP_USECALLBACK : 0) | (i == 0 ? help_page_flags : 0);
      psp.hInstance = module_;
      psp.pszTemplate = names[i];
      psp.pfnDlgProc = &page_proc;
      psp.lParam = i;
      psp.pfnCallback = &page_callback;
      pages.push_back(CreatePropertySheetPageW(&psp));
    }
    return pages;
  }
  INT_PTR run(std::vector<HPROPSHEETPAGE> pages, DWORD flags = 0) {
    PROPSHEETHEADERW h{};
    h.dwSize = sizeof h;
    h.dwFlags = flags;
    h.hInstance = module_;
    h.pszCaption = u"Test sheet";
    h.nPages = static_cast<UINT>(pages.size());
    h.phpage = pages.data();
    return PropertySheetW(&h);
  }
  // The PSN_ notifications only (callbacks and init left out).
  static std::vector<Event> notifications() {
    std::vector<Event> out;
    for (const Event& e : g_events)
      if (e.code >= PSN_QUERYCANCEL && e.code <= PSN_SETACTIVE) out.push_back(e);
    return out;
  }
};

TEST_F(PropertySheets, OkAppliesOnlyToPagesThatWereShown) {
  ui::script_modal([](HWND sheet) {
    EXPECT_EQ(ui::items(sheet), (std::vector<std::u16string>{u"General", u"Paper", u"Advanced"}));
    EXPECT_EQ(ui::text(sheet), u"Test sheet");
    EXPECT_FALSE(ui::state(GetDlgItem(sheet, ID_APPLY_NOW)).enabled);
    EXPECT_TRUE(ui::select(sheet, 2));
    ui::drag_trackbar(ui::find(sheet, kLevel), 5);
    ui::click(ui::find(sheet, kTonerSave));  // PSM_CHANGED
    // A picture of the sheet, kept in the build folder for a person to look at.
    std::filesystem::create_directories(std::string(MORVA_BIN_DIR) + "/pictures");
    EXPECT_TRUE(ui::write_png(sheet, std::string(MORVA_BIN_DIR) + "/pictures/uitest_sheet.png"));
    EXPECT_TRUE(ui::state(GetDlgItem(sheet, ID_APPLY_NOW)).enabled);
    ui::press_ok(sheet);
  });
  EXPECT_EQ(run(make_pages(true)), 1);
  const std::vector<Event> expected = {
      {0, kCallback + PSPCB_ADDREF, 0}, {1, kCallback + PSPCB_ADDREF, 0}, {2, kCallback + PSPCB_ADDREF, 0},
      {0, kCallback + PSPCB_CREATE, 0}, {0, kInit, 0},           {0, PSN_SETACTIVE, 0},
      {0, PSN_KILLACTIVE, 0},     {2, kCallback + PSPCB_CREATE, 0}, {2, kInit, 0}, {2, PSN_SETACTIVE, 0},
      {2, PSN_KILLACTIVE, 0},     {0, PSN_APPLY, TRUE},      {2, PSN_APPLY, TRUE},
      {0, kCallback + PSPCB_RELEASE, 0}, {1, kCallback + PSPCB_RELEASE, 0}, {2, kCallback + PSPCB_RELEASE, 0},
  };
  EXPECT_EQ(g_events, expected);
}

TEST_F(PropertySheets, ApplyThenCancelKeepsTheAppliedResult) {
  ui::script_modal([](HWND sheet) {
    HWND apply = GetDlgItem(sheet, ID_APPLY_NOW);
    ui::enter_text(ui::find(sheet, kPageEdit), u"x");  // PSM_CHANGED
    EXPECT_TRUE(ui::state(apply).enabled);
    EXPECT_TRUE(ui::press_apply(sheet));
    EXPECT_FALSE(ui::state(apply).enabled);
    EXPECT_TRUE(IsWindow(sheet));
    SendMessageW(sheet, PSM_CHANGED, reinterpret_cast<WPARAM>(ui::current_page(sheet)), 0);
    SendMessageW(sheet, PSM_UNCHANGED, reinterpret_cast<WPARAM>(ui::current_page(sheet)), 0);
    EXPECT_FALSE(ui::state(apply).enabled);
    ui::press_cancel(sheet);
  });
  EXPECT_EQ(run(make_pages()), 1);
  const std::vector<Event> expected = {
      {0, PSN_SETACTIVE, 0}, {0, PSN_KILLACTIVE, 0}, {0, PSN_APPLY, FALSE}, {0, PSN_QUERYCANCEL, 0}, {0, PSN_RESET, FALSE},
  };
  EXPECT_EQ(notifications(), expected);
}

TEST_F(PropertySheets, PagesCanKeepTheSheetFromChangingApplyingOrCancelling) {
  using Script = std::function<void(HWND)>;
  struct Case {
    const char* name;
    PageScript page0, page1;
    Script script;  // what the user does; the modal loop then presses Escape
    std::vector<Event> expected;
    INT current_after_script;
    INT_PTR result;
    bool forced;
  };
  const Case cases[] = {
      {"a page refuses to be left", {1, 0, 0}, {},
       [](HWND sheet) { ui::select(sheet, 1); ui::press_ok(sheet); },
       {{0, PSN_SETACTIVE, 0}, {0, PSN_KILLACTIVE, 0}, {0, PSN_KILLACTIVE, 0}, {0, PSN_QUERYCANCEL, 0}, {0, PSN_RESET, FALSE}},
       0, 0, false},
      {"an invalid apply moves to that page", {}, {0, PSNRET_INVALID, 0},
       [](HWND sheet) { ui::select(sheet, 1); ui::select(sheet, 0); ui::press_ok(sheet); },
       {{0, PSN_SETACTIVE, 0}, {0, PSN_KILLACTIVE, 0}, {1, PSN_SETACTIVE, 0}, {1, PSN_KILLACTIVE, 0},
        {0, PSN_SETACTIVE, 0}, {0, PSN_KILLACTIVE, 0}, {0, PSN_APPLY, TRUE}, {1, PSN_APPLY, TRUE},
        {1, PSN_SETACTIVE, 0}, {1, PSN_QUERYCANCEL, 0}, {0, PSN_RESET, FALSE}, {1, PSN_RESET, FALSE}},
       1, 0, false},
      {"a page refuses to cancel", {0, 0, 1}, {},
       [](HWND sheet) { ui::press_cancel(sheet); },
       {{0, PSN_SETACTIVE, 0}, {0, PSN_QUERYCANCEL, 0}, {0, PSN_QUERYCANCEL, 0}},
       0, IDCANCEL, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    g_events.clear();
    g_pages[0] = c.page0;
    g_pages[1] = c.page1;
    INT current = -1;
    ui::script_modal([&](HWND sheet) {
      c.script(sheet);
      current = ui::state(sheet).selection;
      EXPECT_TRUE(IsWindow(sheet));
    });
    EXPECT_EQ(run(make_pages()), c.result);
    EXPECT_EQ(notifications(), c.expected);
    EXPECT_EQ(current, c.current_after_script);
    EXPECT_EQ(ui::modal_log().back().forced, c.forced);
  }
}

TEST_F(PropertySheets, HelpGoesToTheCurrentPageWhenItHasHelp) {
  ui::script_modal([](HWND sheet) {
    HWND help = GetDlgItem(sheet, IDHELP);
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(ui::state(help).enabled);
    ui::press_help(sheet);
    ui::select(sheet, 1);
    EXPECT_FALSE(ui::state(help).enabled);
    EXPECT_FALSE(ui::press_help(sheet));
    ui::press_cancel(sheet);
  });
  EXPECT_EQ(run(make_pages(false, PSP_HASHELP)), 0);
  EXPECT_EQ(notifications()[1], (Event{0, PSN_HELP, 0}));
}

TEST_F(PropertySheets, RecordsCarryTheirCallersDataAndKeyboardReachesThePages) {
  // A record with the caller's own data after it, as drivers append.
  struct PageWithData {
    PROPSHEETPAGEW psp;
    INT extra;
  } rec{};
  rec.psp.dwSize = sizeof rec;
  rec.psp.hInstance = module_;
  rec.psp.pszTemplate = u"UITEST_PAGE1";
  rec.psp.pfnDlgProc = &page_proc;
  rec.extra = 4242;
  INT extra_seen = 0;
  ui::script_modal([&](HWND sheet) {
    HWND page = ui::current_page(sheet);
    extra_seen = reinterpret_cast<PageWithData*>(GetWindowLongPtrW(page, DWLP_USER))->extra;
    // Focus starts on the page; Tab goes on through the page into the frame.
    EXPECT_EQ(GetFocus(), ui::find(sheet, kPageEdit));
    ui::tab();
    EXPECT_EQ(GetFocus(), ui::find(sheet, kCollate));
    ui::press_key(VK_SPACE);
    EXPECT_EQ(ui::state(ui::find(sheet, kCollate)).check, BST_CHECKED);
    ui::tab();
    EXPECT_EQ(GetDlgCtrlID(GetFocus()), IDOK);
    ui::focus(ui::find(sheet, kPageEdit));
    ui::press_key(VK_RETURN);  // the frame's default button
  });
  PROPSHEETHEADERW h{};
  h.dwSize = sizeof h;
  h.dwFlags = PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW;
  h.hInstance = module_;
  h.pszCaption = u"One";
  h.nPages = 1;
  h.ppsp = &rec.psp;
  EXPECT_EQ(PropertySheetW(&h), 1);
  EXPECT_EQ(extra_seen, 4242);
}

// A driver-style PFNPROPSHEETUI over the three test pages.
struct DriverLog {
  std::vector<WORD> reasons;
  std::vector<LRESULT> set_results;
  LONG init_answer = 1;
  HMODULE module = nullptr;
  WCHAR title[64] = u"Driver sheet";
};
DriverLog* g_driver = nullptr;

LONG CALLBACK driver_sheet(PROPSHEETUI_INFO* info, LPARAM lParam) {
  g_driver->reasons.push_back(info->Reason);
  switch (info->Reason) {
    case PROPSHEETUI_REASON_INIT: {
      if (g_driver->init_answer <= 0) return g_driver->init_answer;
      g_com_sheet = info->hComPropSheet;
      g_com_function = info->pfnComPropSheet;
      const char16_t* names[] = {u"UITEST_PAGE1", u"UITEST_PAGE2", u"UITEST_PAGE3"};
      for (INT i = 0; i < 3; ++i) {
        PROPSHEETPAGEW psp{};
        psp.dwSize = sizeof psp;
        psp.hInstance = g_driver->module;
        psp.pszTemplate = names[i];
        psp.pfnDlgProc = &page_proc;
        psp.lParam = i;
        HPROPSHEETPAGE h = CreatePropertySheetPageW(&psp);
        if (!info->pfnComPropSheet(info->hComPropSheet, CPSFUNC_ADD_HPROPSHEETPAGE, reinterpret_cast<LPARAM>(h), 0))
          return -1;
      }
      info->UserData = 1;
      info->Result = 0;
      return 1;
    }
    case PROPSHEETUI_REASON_GET_INFO_HEADER: {
      auto* header = reinterpret_cast<PROPSHEETUI_INFO_HEADER*>(lParam);
      header->Flags = PSUIHDRF_NOAPPLYNOW;
      header->pTitle = g_driver->title;
      header->hInst = g_driver->module;
      return 1;
    }
    case PROPSHEETUI_REASON_SET_RESULT:
      g_driver->set_results.push_back(reinterpret_cast<SETRESULT_INFO*>(lParam)->Result);
      info->Result = static_cast<ULONG_PTR>(reinterpret_cast<SETRESULT_INFO*>(lParam)->Result);
      return 1;
    case PROPSHEETUI_REASON_DESTROY: return 1;
    default: return -1;
  }
}

TEST_F(PropertySheets, CommonComponentRunsTheDriverCallbackThroughItsReasons) {
  HMODULE compstui = LoadLibraryW(u"compstui.dll");
  ASSERT_NE(compstui, nullptr);
  auto common = reinterpret_cast<LONG (*)(HWND, PFNPROPSHEETUI, LPARAM, LPDWORD)>(
      reinterpret_cast<void (*)()>(GetProcAddress(compstui, "CommonPropertySheetUIW")));
  ASSERT_NE(common, nullptr);
  struct Case {
    const char* name;
    bool ok;
    LONG init_answer;
    LONG answer;
    DWORD result;
    std::vector<WORD> reasons;
    std::vector<LRESULT> set_results;
  };
  const Case cases[] = {
      {"OK", true, 1, CPSUI_OK, CPSUI_OK,
       {PROPSHEETUI_REASON_INIT, PROPSHEETUI_REASON_GET_INFO_HEADER, PROPSHEETUI_REASON_SET_RESULT,
        PROPSHEETUI_REASON_DESTROY},
       {CPSUI_OK}},
      {"Cancel", false, 1, CPSUI_CANCEL, CPSUI_CANCEL,
       {PROPSHEETUI_REASON_INIT, PROPSHEETUI_REASON_GET_INFO_HEADER, PROPSHEETUI_REASON_DESTROY}, {}},
      {"failed INIT", true, -1, ERR_CPSUI_GETLASTERROR, CPSUI_CANCEL, {PROPSHEETUI_REASON_INIT}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DriverLog log;
    log.init_answer = c.init_answer;
    log.module = module_;
    g_driver = &log;
    std::u16string caption;
    ui::script_modal([&](HWND sheet) {
      caption = ui::text(sheet);
      EXPECT_EQ(GetDlgItem(sheet, ID_APPLY_NOW), nullptr);
      c.ok ? ui::press_ok(sheet) : ui::press_cancel(sheet);
    });
    DWORD result = 99;
    EXPECT_EQ(common(nullptr, &driver_sheet, 0, &result), c.answer);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(log.reasons, c.reasons);
    EXPECT_EQ(log.set_results, c.set_results);
    if (c.init_answer > 0) {
      EXPECT_EQ(caption, u"Driver sheet");
    }
    g_com_function = nullptr;
    ui::reset();
  }
  FreeLibrary(compstui);
}

}  // namespace
