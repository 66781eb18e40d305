// The dialog manager with the test dialog UITEST_DIALOG, driven only
// through the user API: creation order, focus and tab order, radio groups,
// the default button, Escape and WM_CLOSE, and modal dialogs with scripts.
#include <png.h>

#include <filesystem>

#include "fixtures/ui_fixture.h"
#include "png_file.h"

namespace {

using namespace morva::test;
namespace ui = morva::platform::ui;

class Dialogs : public UiTest {};

TEST_F(Dialogs, CreationSendsFontAndMeasureBeforeInitThenFocusesFirstTabStop) {
  HWND d = open_test_dialog();
  ASSERT_NE(d, nullptr);
  const std::vector<Seen> expected = {
      {WM_SETFONT, 0, 0},
      {WM_MEASUREITEM, 0, kColours},  // selection field of the owner-drawn drop-down
      {WM_MEASUREITEM, 0, kColours},  // its list items
      {WM_INITDIALOG, 0, 0},
      {WM_COMMAND, EN_SETFOCUS, kName},
  };
  EXPECT_EQ(seen(), expected);
  EXPECT_EQ(GetFocus(), GetDlgItem(d, kName));
  EXPECT_EQ(SendDlgItemMessageW(d, kColours, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0), 20);
  EXPECT_EQ(ui::state(d).text, u"Window system test");
  // The updown took the edit before it as its buddy.
  EXPECT_EQ(reinterpret_cast<HWND>(SendDlgItemMessageW(d, kCopiesSpin, UDM_GETBUDDY, 0, 0)), GetDlgItem(d, kCopies));
}

TEST_F(Dialogs, TemplateUnitsMapThroughTheDialogFont) {
  HWND d = open_test_dialog();
  RECT r{4, 8, 8, 16};
  ASSERT_TRUE(MapDialogRect(d, &r));
  // An 8-point font has a character cell of 6 x 13 pixels.
  EXPECT_EQ(r.left, 6);
  EXPECT_EQ(r.top, 13);
  EXPECT_EQ(r.right, 12);
  EXPECT_EQ(r.bottom, 26);
  RECT edit;
  GetWindowRect(GetDlgItem(d, kName), &edit);
  POINT at{edit.left, edit.top};
  ScreenToClient(d, &at);
  EXPECT_EQ(at.x, 75);  // 50 units * 6 / 4
  EXPECT_EQ(at.y, 11);  // 7 units * 13 / 8, rounded
}

TEST_F(Dialogs, TabVisitsTabStopsInTemplateOrderBothWays) {
  HWND d = open_test_dialog();
  const std::vector<INT> order = {kDuplex, kPortrait, kPaper, kTrays, kDensity, kCopies, kColours, IDOK, IDCANCEL, kName};
  for (INT id : order) {
    ASSERT_TRUE(ui::tab());
    EXPECT_EQ(GetDlgCtrlID(GetFocus()), id);
  }
  for (auto it = order.rbegin() + 1; it != order.rend(); ++it) {
    ASSERT_TRUE(ui::tab(true));
    EXPECT_EQ(GetDlgCtrlID(GetFocus()), *it);
  }
  // A disabled control is skipped.
  EnableWindow(GetDlgItem(d, kDuplex), FALSE);
  ui::focus(GetDlgItem(d, kName));
  ui::tab();
  EXPECT_EQ(GetDlgCtrlID(GetFocus()), kPortrait);
}

// Records where the focus is when the edit says it lost it.
HWND g_focus_at_kill = nullptr;
INT_PTR CALLBACK focus_probe(HWND d, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND && HIWORD(wParam) == EN_KILLFOCUS) g_focus_at_kill = GetFocus();
  return recording_proc(d, message, wParam, lParam);
}

TEST_F(Dialogs, FocusHasMovedWhenTheEditReportsItsLoss) {
  HWND d = open_test_dialog(&focus_probe);
  seen().clear();
  ASSERT_TRUE(ui::click(GetDlgItem(d, kDuplex)));
  EXPECT_EQ(g_focus_at_kill, GetDlgItem(d, kDuplex));
  const std::vector<Seen> expected = {{WM_COMMAND, EN_KILLFOCUS, kName}, {WM_COMMAND, BN_CLICKED, kDuplex}};
  EXPECT_EQ(seen(), expected);
  EXPECT_EQ(IsDlgButtonChecked(d, kDuplex), BST_CHECKED);
}

// Records the check state of the clicked radio button when BN_CLICKED arrives.
UINT g_checked_at_click = 99;
INT_PTR CALLBACK radio_probe(HWND d, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) g_checked_at_click = IsDlgButtonChecked(d, LOWORD(wParam));
  return recording_proc(d, message, wParam, lParam);
}

TEST_F(Dialogs, RadioGroupIsCheckedBeforeTheClickIsReportedAndArrowsMoveWithinIt) {
  HWND d = open_test_dialog(&radio_probe);
  ASSERT_TRUE(ui::click(GetDlgItem(d, kPortrait)));
  EXPECT_EQ(g_checked_at_click, BST_CHECKED);
  ASSERT_TRUE(ui::press_key(VK_DOWN));
  EXPECT_EQ(GetDlgCtrlID(GetFocus()), kLandscape);
  EXPECT_EQ(IsDlgButtonChecked(d, kLandscape), BST_CHECKED);
  EXPECT_EQ(IsDlgButtonChecked(d, kPortrait), BST_UNCHECKED);
  EXPECT_EQ(g_checked_at_click, BST_CHECKED);
  // Only the checked button of the group is a tab stop now.
  EXPECT_FALSE(GetWindowLongW(GetDlgItem(d, kPortrait), GWL_STYLE) & WS_TABSTOP);
  EXPECT_TRUE(GetWindowLongW(GetDlgItem(d, kLandscape), GWL_STYLE) & WS_TABSTOP);
  // The arrow wraps within the group and never leaves it.
  ui::press_key(VK_DOWN);
  EXPECT_EQ(GetDlgCtrlID(GetFocus()), kPortrait);
}

TEST_F(Dialogs, EnterClicksTheDefaultOrFocusedButtonAndEscapeCancels) {
  HWND d = open_test_dialog();
  EXPECT_EQ(SendMessageW(d, DM_GETDEFID, 0, 0), MAKELONG(IDOK, DC_HASDEFID));
  struct Case {
    INT focus;    // control with the focus
    INT def;      // DM_SETDEFID before, 0 = keep
    UINT key;
    INT clicked;  // expected WM_COMMAND id, 0 for none
  };
  const Case cases[] = {
      {kName, 0, VK_RETURN, IDOK},
      {IDCANCEL, 0, VK_RETURN, IDCANCEL},  // a focused push button is the one pressed
      {kName, IDCANCEL, VK_RETURN, IDCANCEL},
      {kName, 0, VK_ESCAPE, IDCANCEL},
  };
  for (const Case& c : cases) {
    if (c.def) SendMessageW(d, DM_SETDEFID, static_cast<WPARAM>(c.def), 0);
    ui::focus(GetDlgItem(d, c.focus));
    seen().clear();
    ui::press_key(c.key);
    std::vector<Seen> clicks;
    for (const Seen& s : seen())
      if (s.message == WM_COMMAND && s.code == BN_CLICKED) clicks.push_back(s);
    ASSERT_EQ(clicks.size(), 1u) << "focus " << c.focus << " key " << c.key;
    EXPECT_EQ(clicks[0].id, c.clicked);
  }
  // DM_SETDEFID moved the default style too.
  EXPECT_EQ(GetWindowLongW(GetDlgItem(d, IDOK), GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);
  EXPECT_EQ(GetWindowLongW(GetDlgItem(d, IDCANCEL), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
  // A disabled Cancel button keeps Escape and WM_CLOSE from cancelling.
  EnableWindow(GetDlgItem(d, IDCANCEL), FALSE);
  ui::focus(GetDlgItem(d, kName));
  seen().clear();
  ui::press_key(VK_ESCAPE);
  SendMessageW(d, WM_CLOSE, 0, 0);
  ui::pump();
  EXPECT_TRUE(seen().empty());
  EnableWindow(GetDlgItem(d, IDCANCEL), TRUE);
  SendMessageW(d, WM_CLOSE, 0, 0);
  ui::pump();
  EXPECT_EQ(seen().back(), (Seen{WM_COMMAND, BN_CLICKED, IDCANCEL}));
}

INT g_help_control = 0;
INT_PTR CALLBACK help_probe(HWND d, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_HELP) g_help_control = reinterpret_cast<const HELPINFO*>(lParam)->iCtrlId;
  return recording_proc(d, message, wParam, lParam);
}

TEST_F(Dialogs, F1AsksTheDialogForHelpOnTheFocusedControl) {
  HWND d = open_test_dialog(&help_probe);
  ui::focus(GetDlgItem(d, kTrays));
  ui::press_key(VK_F1);
  EXPECT_EQ(g_help_control, kTrays);
}

// A dialog that keeps what the user chose when OK ends it.
struct Choice {
  std::u16string name;
  UINT duplex = 0;
  INT paper = -1;
  INT density = -1;
  UINT copies = 0;
  bool owner_disabled = false;
};

INT_PTR CALLBACK choice_proc(HWND d, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      SetWindowLongPtrW(d, DWLP_USER, lParam);
      for (const char16_t* p : {u"A4", u"Letter", u"Legal"}) SendDlgItemMessageW(d, kPaper, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(p));
      SendDlgItemMessageW(d, kCopiesSpin, UDM_SETRANGE32, 1, 99);
      SendDlgItemMessageW(d, kCopiesSpin, UDM_SETPOS32, 0, 1);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        auto* c = reinterpret_cast<Choice*>(GetWindowLongPtrW(d, DWLP_USER));
        if (LOWORD(wParam) == IDOK) {
          WCHAR buf[64];
          GetDlgItemTextW(d, kName, buf, 64);
          c->name = buf;
          c->duplex = IsDlgButtonChecked(d, kDuplex);
          c->paper = static_cast<INT>(SendDlgItemMessageW(d, kPaper, CB_GETCURSEL, 0, 0));
          c->density = static_cast<INT>(SendDlgItemMessageW(d, kDensity, TBM_GETPOS, 0, 0));
          BOOL ok = FALSE;
          c->copies = GetDlgItemInt(d, kCopies, &ok, FALSE);
        }
        EndDialog(d, LOWORD(wParam));
        return TRUE;
      }
      return FALSE;
    default: return FALSE;
  }
}

TEST_F(Dialogs, ModalScriptActsInsideTheLoopAndOkEndsIt) {
  HWND owner = open_test_dialog();
  Choice choice;
  ui::script_modal([&](HWND d) {
    choice.owner_disabled = !IsWindowEnabled(owner);
    ui::enter_text(ui::find(d, kName), u"Ada");
    ui::click(d, kDuplex);
    ui::select_text(ui::find(d, kPaper), u"Letter");
    ui::drag_trackbar(ui::find(d, kDensity), 40);
    ui::spin(ui::find(d, kCopiesSpin), true);
    ui::spin(ui::find(d, kCopiesSpin), true);
    ui::press_ok(d);
  });
  INT_PTR r = DialogBoxParamW(module_, u"UITEST_DIALOG", owner, &choice_proc, reinterpret_cast<LPARAM>(&choice));
  EXPECT_EQ(r, IDOK);
  EXPECT_EQ(choice.name, u"Ada");
  EXPECT_EQ(choice.duplex, BST_CHECKED);
  EXPECT_EQ(choice.paper, 1);
  EXPECT_EQ(choice.density, 40);
  EXPECT_EQ(choice.copies, 3u);
  EXPECT_TRUE(choice.owner_disabled);
  EXPECT_TRUE(IsWindowEnabled(owner));
  // The owner's focus came back.
  EXPECT_EQ(GetFocus(), GetDlgItem(owner, kName));
  ASSERT_EQ(ui::modal_log().size(), 1u);
  EXPECT_EQ(ui::modal_log()[0].result, IDOK);
  EXPECT_FALSE(ui::modal_log()[0].forced);
}

INT_PTR CALLBACK stubborn_proc(HWND, UINT message, WPARAM, LPARAM) {
  return message == WM_INITDIALOG || message == WM_COMMAND;  // ignores every button
}

TEST_F(Dialogs, UnscriptedModalDialogsAreCancelledAndStubbornOnesEnded) {
  Choice choice;
  EXPECT_EQ(DialogBoxParamW(module_, u"UITEST_DIALOG", nullptr, &choice_proc, reinterpret_cast<LPARAM>(&choice)), IDCANCEL);
  EXPECT_EQ(DialogBoxParamW(module_, u"UITEST_DIALOG", nullptr, &stubborn_proc, 0), IDCANCEL);
  auto log = ui::modal_log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_FALSE(log[0].forced);
  EXPECT_TRUE(log[1].forced);
  EXPECT_EQ(DialogBoxParamW(module_, u"NO_SUCH_DIALOG", nullptr, &choice_proc, 0), -1);
  EXPECT_EQ(FindWindowW(nullptr, u"Window system test"), nullptr);  // every modal dialog is gone
}

TEST_F(Dialogs, ItemIntegersRoundTripAndRejectWhatIsNotANumber) {
  HWND d = open_test_dialog();
  struct Case {
    const char16_t* text;
    BOOL is_signed;
    UINT value;
    BOOL ok;
  };
  const Case cases[] = {
      {u"42", FALSE, 42, TRUE},     {u" 7 ", FALSE, 7, TRUE},     {u"-5", TRUE, static_cast<UINT>(-5), TRUE},
      {u"-5", FALSE, 0, FALSE},     {u"12a", FALSE, 0, FALSE},    {u"", FALSE, 0, FALSE},
      {u"4294967295", FALSE, 4294967295u, TRUE}, {u"4294967296", FALSE, 0, FALSE}, {u"2147483648", TRUE, 0, FALSE},
  };
  for (const Case& c : cases) {
    SetDlgItemTextW(d, kName, c.text);
    BOOL ok = 2;
    EXPECT_EQ(GetDlgItemInt(d, kName, &ok, c.is_signed), c.value) << morva::u16_to_utf8(c.text);
    EXPECT_EQ(ok, c.ok) << morva::u16_to_utf8(c.text);
  }
  SetDlgItemInt(d, kName, static_cast<UINT>(-12), TRUE);
  EXPECT_EQ(ui::text(GetDlgItem(d, kName)), u"-12");
}

// The picture of the test dialog, kept in the build folder for a person to
// look at; its pixels show the controls where the template puts them.
TEST_F(Dialogs, DrawsItsControlsWhereTheTemplatePutsThem) {
  HWND d = open_test_dialog();
  ASSERT_NE(d, nullptr);
  for (const char16_t* p : {u"A4", u"Letter"}) SendDlgItemMessageW(d, kPaper, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(p));
  for (const char16_t* t : {u"Tray 1", u"Tray 2", u"Manual"}) SendDlgItemMessageW(d, kTrays, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t));
  ui::enter_text(ui::find(d, kName), u"Ada");
  ui::click(d, kDuplex);
  ui::click(d, kLandscape);
  ui::select(ui::find(d, kTrays), 1);
  ui::select(ui::find(d, kPaper), 1);
  ui::drag_trackbar(ui::find(d, kDensity), 70);
  std::filesystem::create_directories(std::string(MORVA_BIN_DIR) + "/pictures");
  std::string path = std::string(MORVA_BIN_DIR) + "/pictures/uitest_dialog.png";
  ASSERT_TRUE(ui::write_png(d, path));
  png_image image{};
  std::vector<BYTE> rgb;
  ASSERT_TRUE(morva::test::read_png_file(path, PNG_FORMAT_RGB, &image, &rgb));
  EXPECT_EQ(image.width, 330u);   // 220 units * 6 / 4
  EXPECT_EQ(image.height, 244u);  // 150 units * 13 / 8
  auto pixel = [&](POINT p) {
    const BYTE* at = &rgb[(static_cast<std::size_t>(p.y) * image.width + static_cast<std::size_t>(p.x)) * 3];
    return RGB(at[0], at[1], at[2]);
  };
  auto inside = [&](INT id, INT dx, INT dy) {  // a point of a control, from its top-left or (negative) bottom-right
    RECT r;
    GetWindowRect(GetDlgItem(d, id), &r);
    MapWindowPoints(nullptr, d, reinterpret_cast<POINT*>(&r), 2);
    return POINT{dx >= 0 ? r.left + dx : r.right + dx, dy >= 0 ? r.top + dy : r.bottom + dy};
  };
  EXPECT_EQ(pixel(POINT{2, 2}), GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(pixel(inside(kName, -4, 5)), GetSysColor(COLOR_WINDOW));  // the edit's field, right of its text
  EXPECT_EQ(pixel(inside(IDOK, 0, 0)), RGB(0, 0, 0));                // the default button's frame
  EXPECT_EQ(pixel(inside(kTrays, -4, 2 + 13 + 4)), GetSysColor(COLOR_HIGHLIGHT));  // row 1 selected
  EXPECT_EQ(pixel(inside(kTrays, -4, 2 + 4)), GetSysColor(COLOR_WINDOW));          // row 0 not
}

}  // namespace
