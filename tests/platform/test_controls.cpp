// Each control's messages and the notifications it sends, in order, for
// what a user does and for what a program does.
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <png.h>

#include "fixtures/ui_fixture.h"
#include "png_file.h"

namespace {

using namespace morva::test;
namespace ui = morva::platform::ui;

class Controls : public UiTest {
 protected:
  HWND open() {
    HWND d = open_test_dialog();
    for (const char16_t* p : {u"A4", u"Letter", u"Legal"}) SendDlgItemMessageW(d, kPaper, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(p));
    for (const char16_t* t : {u"Tray 1", u"Tray 2", u"Tray 3", u"Manual"})
      SendDlgItemMessageW(d, kTrays, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t));
    SendDlgItemMessageW(d, kCopiesSpin, UDM_SETRANGE32, 1, 5);
    SendDlgItemMessageW(d, kCopiesSpin, UDM_SETPOS32, 0, 4);
    return d;
  }
  // What the dialog heard from one control since the last clear.
  static std::vector<Seen> from(INT id) {
    std::vector<Seen> out;
    for (const Seen& s : seen())
      if (s.id == id && s.message != WM_INITDIALOG) out.push_back(s);
    return out;
  }
};

// User actions and programmatic changes, each with the notifications the
// control sends. Focus notifications are left out when the row starts with
// the focus already on the control.
struct Row {
  const char* name;
  INT id;
  std::function<void(HWND)> before;  // not recorded
  std::function<void(HWND)> act;
  std::vector<Seen> expected;
};

Seen cmd(UINT code, INT id) { return {WM_COMMAND, code, id}; }
Seen scroll(UINT message, UINT code, INT id) { return {message, code, id}; }

HWND item(HWND d, INT id) { return GetDlgItem(d, id); }

TEST_F(Controls, NotificationOrderTable) {
  const Row rows[] = {
      {"edit: WM_SETTEXT", kName, nullptr, [](HWND d) { SetDlgItemTextW(d, kName, u"x"); },
       {cmd(EN_UPDATE, kName), cmd(EN_CHANGE, kName)}},
      {"edit: typing", kName, nullptr, [](HWND) { ui::type(u"ab"); },
       {cmd(EN_UPDATE, kName), cmd(EN_CHANGE, kName), cmd(EN_UPDATE, kName), cmd(EN_CHANGE, kName)}},
      {"edit: typing past the limit", kName, [](HWND d) { SendDlgItemMessageW(d, kName, EM_LIMITTEXT, 1, 0); },
       [](HWND) { ui::type(u"ab"); }, {cmd(EN_UPDATE, kName), cmd(EN_CHANGE, kName), cmd(EN_MAXTEXT, kName)}},
      {"edit: read-only refuses typing", kName, [](HWND d) { SendDlgItemMessageW(d, kName, EM_SETREADONLY, TRUE, 0); },
       [](HWND) { ui::type(u"ab"); ui::press_key(VK_DELETE); }, {}},
      {"edit: focus leaves", kName, nullptr, [](HWND d) { ui::click(item(d, IDCANCEL)); }, {cmd(EN_KILLFOCUS, kName)}},
      {"check box: click", kDuplex, nullptr, [](HWND d) { ui::click(item(d, kDuplex)); }, {cmd(BN_CLICKED, kDuplex)}},
      {"check box: space", kDuplex, [](HWND d) { ui::focus(item(d, kDuplex)); }, [](HWND) { ui::press_key(VK_SPACE); },
       {cmd(BN_CLICKED, kDuplex)}},
      {"check box: BM_SETCHECK is silent", kDuplex, nullptr, [](HWND d) { CheckDlgButton(d, kDuplex, BST_CHECKED); }, {}},
      {"group box: a click does nothing", kGroup, nullptr, [](HWND d) { ui::click(item(d, kGroup)); }, {}},
      {"drop-down list: pick with the mouse", kPaper, [](HWND d) { ui::focus(item(d, kPaper)); },
       [](HWND d) { ui::select(item(d, kPaper), 1); },
       {cmd(CBN_DROPDOWN, kPaper), cmd(CBN_SELCHANGE, kPaper), cmd(CBN_SELENDOK, kPaper), cmd(CBN_CLOSEUP, kPaper)}},
      {"drop-down list: pick the same item", kPaper,
       [](HWND d) { ui::focus(item(d, kPaper)); SendDlgItemMessageW(d, kPaper, CB_SETCURSEL, 2, 0); },
       [](HWND d) { ui::select(item(d, kPaper), 2); },
       {cmd(CBN_DROPDOWN, kPaper), cmd(CBN_SELENDOK, kPaper), cmd(CBN_CLOSEUP, kPaper)}},
      {"drop-down list: open and Escape", kPaper, [](HWND d) { ui::focus(item(d, kPaper)); },
       [](HWND) { ui::press_key(VK_F4); ui::press_key(VK_DOWN); ui::press_key(VK_ESCAPE); },
       {cmd(CBN_DROPDOWN, kPaper), cmd(CBN_SELCHANGE, kPaper), cmd(CBN_SELENDCANCEL, kPaper), cmd(CBN_CLOSEUP, kPaper)}},
      {"drop-down list: arrow key while closed", kPaper, [](HWND d) { ui::focus(item(d, kPaper)); },
       [](HWND) { ui::press_key(VK_DOWN); }, {cmd(CBN_SELCHANGE, kPaper), cmd(CBN_SELENDOK, kPaper)}},
      {"drop-down list: focus comes and goes", kPaper, nullptr,
       [](HWND d) { ui::focus(item(d, kPaper)); ui::focus(item(d, kName)); },
       {cmd(CBN_SETFOCUS, kPaper), cmd(CBN_KILLFOCUS, kPaper)}},
      {"drop-down list: CB_SETCURSEL is silent", kPaper, nullptr,
       [](HWND d) { SendDlgItemMessageW(d, kPaper, CB_SETCURSEL, 1, 0); }, {}},
      {"list box: click a row", kTrays, [](HWND d) { ui::focus(item(d, kTrays)); },
       [](HWND d) { ui::select(item(d, kTrays), 2); }, {cmd(LBN_SELCHANGE, kTrays)}},
      {"list box: double click", kTrays, [](HWND d) { ui::select(item(d, kTrays), 1); },
       [](HWND d) { ui::double_click(item(d, kTrays)); }, {cmd(LBN_DBLCLK, kTrays)}},
      {"list box: keys move the selection", kTrays, [](HWND d) { ui::select(item(d, kTrays), 0); },
       [](HWND) { ui::press_key(VK_DOWN); ui::press_key(VK_END); ui::press_key(VK_END); },
       {cmd(LBN_SELCHANGE, kTrays), cmd(LBN_SELCHANGE, kTrays)}},
      {"list box: focus always notifies", kTrays, nullptr,
       [](HWND d) { ui::focus(item(d, kTrays)); ui::focus(item(d, kName)); },
       {cmd(LBN_SETFOCUS, kTrays), cmd(LBN_KILLFOCUS, kTrays)}},
      {"trackbar: drag", kDensity, [](HWND d) { ui::focus(item(d, kDensity)); },
       [](HWND d) { ui::drag_trackbar(item(d, kDensity), 3); },
       {scroll(WM_HSCROLL, TB_THUMBTRACK, kDensity), scroll(WM_HSCROLL, TB_THUMBTRACK, kDensity),
        scroll(WM_HSCROLL, TB_THUMBTRACK, kDensity), scroll(WM_HSCROLL, TB_THUMBPOSITION, kDensity),
        scroll(WM_HSCROLL, TB_ENDTRACK, kDensity)}},
      {"trackbar: keys", kDensity, [](HWND d) { ui::focus(item(d, kDensity)); },
       [](HWND) { ui::press_key(VK_RIGHT); ui::press_key(VK_NEXT); },
       {scroll(WM_HSCROLL, TB_LINEDOWN, kDensity), scroll(WM_HSCROLL, TB_ENDTRACK, kDensity),
        scroll(WM_HSCROLL, TB_PAGEDOWN, kDensity), scroll(WM_HSCROLL, TB_ENDTRACK, kDensity)}},
      {"trackbar: TBM_SETPOS is silent", kDensity, nullptr,
       [](HWND d) { SendDlgItemMessageW(d, kDensity, TBM_SETPOS, TRUE, 50); }, {}},
      {"up-down: up arrow", kCopiesSpin, nullptr, [](HWND d) { ui::spin(item(d, kCopiesSpin), true); },
       {{WM_NOTIFY, UDN_DELTAPOS, kCopiesSpin}, scroll(WM_VSCROLL, SB_THUMBPOSITION, kCopiesSpin),
        scroll(WM_VSCROLL, SB_ENDSCROLL, kCopiesSpin)}},
      {"up-down: at the top it still reports the position", kCopiesSpin,
       [](HWND d) { SendDlgItemMessageW(d, kCopiesSpin, UDM_SETPOS32, 0, 5); },
       [](HWND d) { ui::spin(item(d, kCopiesSpin), true); },
       {{WM_NOTIFY, UDN_DELTAPOS, kCopiesSpin}, scroll(WM_VSCROLL, SB_THUMBPOSITION, kCopiesSpin),
        scroll(WM_VSCROLL, SB_ENDSCROLL, kCopiesSpin)}},
      {"up-down: the buddy's text changes", kCopies, nullptr, [](HWND d) { ui::spin(item(d, kCopiesSpin), false); },
       {cmd(EN_UPDATE, kCopies), cmd(EN_CHANGE, kCopies)}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    HWND d = open();
    if (r.before) r.before(d);
    seen().clear();
    r.act(d);
    EXPECT_EQ(from(r.id), r.expected);
    DestroyWindow(d);
  }
}

TEST_F(Controls, EditLimitReadOnlyUndoAndNumberOnly) {
  HWND d = open();
  HWND e = item(d, kName);
  EXPECT_EQ(SendMessageW(e, EM_GETLIMITTEXT, 0, 0), 32767);
  SendMessageW(e, EM_LIMITTEXT, 3, 0);
  SetWindowTextW(e, u"longer than three");  // WM_SETTEXT ignores the limit
  EXPECT_EQ(ui::text(e), u"longer than three");
  EXPECT_FALSE(SendMessageW(e, EM_CANUNDO, 0, 0));
  ui::enter_text(e, u"abcd");
  EXPECT_EQ(ui::text(e), u"abc");
  EXPECT_TRUE(SendMessageW(e, EM_GETMODIFY, 0, 0));
  ui::type(u"\b");
  EXPECT_EQ(ui::text(e), u"ab");
  EXPECT_TRUE(SendMessageW(e, EM_UNDO, 0, 0));
  EXPECT_EQ(ui::text(e), u"abc");
  SendMessageW(e, EM_SETSEL, 0, 1);
  SendMessageW(e, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(u"XY"));  // cut to the limit
  EXPECT_EQ(ui::text(e), u"Xbc");
  DWORD start = 9, end = 9;
  SendMessageW(e, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, 1u);
  EXPECT_EQ(end, 1u);
  SendMessageW(e, EM_SETREADONLY, TRUE, 0);
  EXPECT_TRUE(GetWindowLongW(e, GWL_STYLE) & ES_READONLY);
  ui::type(u"q");
  EXPECT_EQ(ui::text(e), u"Xbc");
  SetWindowTextW(e, u"set");  // a program may still set the text
  EXPECT_EQ(ui::text(e), u"set");
  // ES_NUMBER keeps letters out.
  HWND n = item(d, kCopies);
  ui::enter_text(n, u"1a2");
  EXPECT_EQ(ui::text(n), u"12");
}

TEST_F(Controls, ListAndComboMessagesShareTheirRules) {
  HWND d = open();
  struct Kind {
    INT id;
    UINT add, insert, find, find_exact, select, count, cursel, setcursel, gettext, setdata, getdata, del;
  };
  const Kind kinds[] = {
      {kTrays, LB_ADDSTRING, LB_INSERTSTRING, LB_FINDSTRING, LB_FINDSTRINGEXACT, LB_SELECTSTRING, LB_GETCOUNT, LB_GETCURSEL,
       LB_SETCURSEL, LB_GETTEXT, LB_SETITEMDATA, LB_GETITEMDATA, LB_DELETESTRING},
      {kPaper, CB_ADDSTRING, CB_INSERTSTRING, CB_FINDSTRING, CB_FINDSTRINGEXACT, CB_SELECTSTRING, CB_GETCOUNT, CB_GETCURSEL,
       CB_SETCURSEL, CB_GETLBTEXT, CB_SETITEMDATA, CB_GETITEMDATA, CB_DELETESTRING},
  };
  for (const Kind& k : kinds) {
    SCOPED_TRACE(k.id);
    HWND c = item(d, k.id);
    SendMessageW(c, k.id == kTrays ? LB_RESETCONTENT : CB_RESETCONTENT, 0, 0);
    auto send = [&](UINT m, WPARAM w, const char16_t* s) { return SendMessageW(c, m, w, reinterpret_cast<LPARAM>(s)); };
    EXPECT_EQ(send(k.add, 0, u"beta"), 0);
    EXPECT_EQ(send(k.add, 0, u"alpha"), 1);  // not sorted: appended
    EXPECT_EQ(send(k.insert, 0, u"gamma"), 0);
    EXPECT_EQ(send(k.count, 0, nullptr), 3);
    EXPECT_EQ(send(k.cursel, 0, nullptr), -1);
    EXPECT_EQ(send(k.find, static_cast<WPARAM>(-1), u"AL"), 2);  // case-insensitive prefix
    EXPECT_EQ(send(k.find_exact, static_cast<WPARAM>(-1), u"al"), -1);
    EXPECT_EQ(send(k.find, 2, u"g"), 0);  // starts after 2 and wraps
    EXPECT_EQ(send(k.select, static_cast<WPARAM>(-1), u"be"), 1);
    EXPECT_EQ(send(k.cursel, 0, nullptr), 1);
    WCHAR buf[16];
    EXPECT_EQ(SendMessageW(c, k.gettext, 1, reinterpret_cast<LPARAM>(buf)), 4);
    EXPECT_EQ(std::u16string(buf), u"beta");
    SendMessageW(c, k.setdata, 2, 77);
    EXPECT_EQ(SendMessageW(c, k.getdata, 2, 0), 77);
    EXPECT_EQ(SendMessageW(c, k.del, 0, 0), 2);  // deleting before the selection moves it
    EXPECT_EQ(send(k.cursel, 0, nullptr), 0);
    EXPECT_EQ(SendMessageW(c, k.setcursel, 9, 0), -1);
    EXPECT_EQ(send(k.cursel, 0, nullptr), -1);
    EXPECT_EQ(SendMessageW(c, k.gettext, 5, reinterpret_cast<LPARAM>(buf)), -1);
  }
  // A drop-down list shows the selected item as its text.
  SendDlgItemMessageW(d, kPaper, CB_SETCURSEL, 1, 0);
  EXPECT_EQ(ui::text(item(d, kPaper)), u"alpha");
}

TEST_F(Controls, SortedListsPlaceNewStrings) {
  HWND parent = open();
  HWND lb = CreateWindowExW(0, WC_LISTBOXW, u"", WS_CHILD | WS_VISIBLE | LBS_SORT | LBS_NOTIFY, 0, 0, 100, 100, parent,
                            reinterpret_cast<HMENU>(77), nullptr, nullptr);
  for (const char16_t* s : {u"pear", u"Apple", u"fig"}) SendMessageW(lb, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
  EXPECT_EQ(ui::items(lb), (std::vector<std::u16string>{u"Apple", u"fig", u"pear"}));
  // INSERTSTRING never sorts.
  SendMessageW(lb, LB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(u"zebra"));
  EXPECT_EQ(ui::items(lb)[0], u"zebra");
}

TEST_F(Controls, EditableComboReportsTypingButNotProgrammaticText) {
  HWND parent = open();
  HWND cb = CreateWindowExW(0, WC_COMBOBOXW, u"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | CBS_DROPDOWN, 0, 0, 100, 100, parent,
                            reinterpret_cast<HMENU>(88), nullptr, nullptr);
  SendMessageW(cb, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"Letter"));
  SendMessageW(cb, CB_LIMITTEXT, 4, 0);
  seen().clear();
  SetWindowTextW(cb, u"preset");
  EXPECT_TRUE(from(88).empty());
  ui::enter_text(cb, u"abcdef");
  EXPECT_EQ(ui::text(cb), u"abcd");
  const std::vector<Seen> typing = {cmd(CBN_SETFOCUS, 88), cmd(CBN_EDITUPDATE, 88), cmd(CBN_EDITCHANGE, 88), cmd(CBN_EDITUPDATE, 88),
                                    cmd(CBN_EDITCHANGE, 88), cmd(CBN_EDITUPDATE, 88), cmd(CBN_EDITCHANGE, 88),
                                    cmd(CBN_EDITUPDATE, 88), cmd(CBN_EDITCHANGE, 88)};
  EXPECT_EQ(from(88), typing);
  SendMessageW(cb, CB_SETCURSEL, 0, 0);
  EXPECT_EQ(ui::text(cb), u"Letter");
  DWORD a = 0, b = 0;
  SendMessageW(cb, CB_GETEDITSEL, reinterpret_cast<WPARAM>(&a), reinterpret_cast<LPARAM>(&b));
  EXPECT_EQ(b, 6u);
  EXPECT_EQ(SendDlgItemMessageW(parent, kPaper, CB_SETEDITSEL, 0, 0), CB_ERR);  // a drop-down list has no edit field
}

TEST_F(Controls, ListBoxKeyboardInputAsksTheParentFirst) {
  HWND parent = open();
  HWND lb = CreateWindowExW(0, WC_LISTBOXW, u"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | LBS_NOTIFY | LBS_WANTKEYBOARDINPUT,
                            0, 0, 100, 100, parent, reinterpret_cast<HMENU>(99), nullptr, nullptr);
  for (const char16_t* s : {u"a", u"b", u"c"}) SendMessageW(lb, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
  ui::focus(lb);
  seen().clear();
  ui::press_key(VK_DOWN);
  // The recording dialog answers WM_VKEYTOITEM with 0: go to item 0.
  ASSERT_FALSE(seen().empty());
  EXPECT_EQ(seen()[0].message, static_cast<UINT>(WM_VKEYTOITEM));
  EXPECT_EQ(SendMessageW(lb, LB_GETCURSEL, 0, 0), 0);
}

TEST_F(Controls, RangeControlsClampAndReadTheirBuddy) {
  HWND d = open();
  HWND tb = item(d, kDensity);
  EXPECT_EQ(SendMessageW(tb, TBM_GETRANGEMAX, 0, 0), 100);
  EXPECT_EQ(SendMessageW(tb, TBM_GETPAGESIZE, 0, 0), 20);
  SendMessageW(tb, TBM_SETRANGE, TRUE, MAKELONG(10, 20));
  SendMessageW(tb, TBM_SETPOS, TRUE, 50);
  EXPECT_EQ(SendMessageW(tb, TBM_GETPOS, 0, 0), 20);
  ui::drag_trackbar(tb, 0);
  EXPECT_EQ(ui::state(tb).selection, 10);

  HWND ud = item(d, kCopiesSpin);
  HWND buddy = item(d, kCopies);
  EXPECT_EQ(ui::text(buddy), u"4");
  SetWindowTextW(buddy, u"2");
  EXPECT_EQ(LOWORD(SendMessageW(ud, UDM_GETPOS, 0, 0)), 2);  // read from the buddy
  SetWindowTextW(buddy, u"x");
  EXPECT_NE(HIWORD(SendMessageW(ud, UDM_GETPOS, 0, 0)), 0);  // an error in the high word
  SendMessageW(ud, UDM_SETPOS32, 0, 99);
  EXPECT_EQ(SendMessageW(ud, UDM_GETPOS32, 0, 0), 5);
  EXPECT_EQ(ui::text(buddy), u"5");
  // With UDS_WRAP the top wraps to the bottom.
  SetWindowLongW(ud, GWL_STYLE, GetWindowLongW(ud, GWL_STYLE) | UDS_WRAP);
  ui::spin(ud, true);
  EXPECT_EQ(ui::text(buddy), u"1");
  // A fresh up-down runs from 100 down to 0; its up arrow moves towards 0.
  HWND fresh = CreateWindowExW(0, UPDOWN_CLASSW, u"", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, d, nullptr, nullptr, nullptr);
  EXPECT_EQ(SendMessageW(fresh, UDM_GETRANGE, 0, 0), MAKELONG(0, 100));
  SendMessageW(fresh, UDM_SETPOS32, 0, 50);
  ui::spin(fresh, true);
  EXPECT_EQ(SendMessageW(fresh, UDM_GETPOS32, 0, 0), 49);

  // A scroll bar control only reports; its parent moves it.
  HWND sb = CreateWindowExW(0, WC_SCROLLBARW, u"", WS_CHILD | WS_VISIBLE | SBS_VERT, 0, 0, 10, 50, d,
                            reinterpret_cast<HMENU>(66), nullptr, nullptr);
  SetScrollRange(sb, SB_CTL, 0, 10, FALSE);
  EXPECT_EQ(SetScrollPos(sb, SB_CTL, 20, FALSE), 0);
  EXPECT_EQ(GetScrollPos(sb, SB_CTL), 10);
  ui::focus(sb);
  seen().clear();
  ui::press_key(VK_UP);
  EXPECT_EQ(from(66), (std::vector<Seen>{scroll(WM_VSCROLL, SB_LINEUP, 66), scroll(WM_VSCROLL, SB_ENDSCROLL, 66)}));
  EXPECT_EQ(GetScrollPos(sb, SB_CTL), 10);
}

TEST_F(Controls, ButtonStatesAndThreeStateCycle) {
  HWND d = open();
  HWND b = CreateWindowExW(0, WC_BUTTONW, u"3", WS_CHILD | WS_VISIBLE | BS_AUTO3STATE | BS_NOTIFY, 0, 0, 50, 10, d,
                           reinterpret_cast<HMENU>(55), nullptr, nullptr);
  std::vector<UINT> states;
  for (int i = 0; i < 4; ++i) {
    ui::click(b);
    states.push_back(static_cast<UINT>(SendMessageW(b, BM_GETCHECK, 0, 0)));
  }
  EXPECT_EQ(states, (std::vector<UINT>{BST_CHECKED, BST_INDETERMINATE, BST_UNCHECKED, BST_CHECKED}));
  EXPECT_EQ(from(55).front(), cmd(BN_SETFOCUS, 55));  // BS_NOTIFY reports the focus
  EXPECT_EQ(SendMessageW(b, BM_GETSTATE, 0, 0), BST_CHECKED | BST_FOCUS);
  // A disabled button takes no click, not even BM_CLICK.
  EnableWindow(b, FALSE);
  EXPECT_FALSE(ui::click(b));
  SendMessageW(b, BM_CLICK, 0, 0);
  EXPECT_EQ(SendMessageW(b, BM_GETCHECK, 0, 0), BST_CHECKED);
  // A plain check box turns an indeterminate state into checked.
  CheckDlgButton(d, kDuplex, BST_INDETERMINATE);
  EXPECT_EQ(IsDlgButtonChecked(d, kDuplex), BST_CHECKED);
}

TEST_F(Controls, ListViewReportsEveryStateChange) {
  HWND d = open();
  HWND lv = CreateWindowExW(0, WC_LISTVIEWW, u"", WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SINGLESEL, 0, 0, 100, 100, d,
                            reinterpret_cast<HMENU>(44), nullptr, nullptr);
  for (const char16_t* t : {u"one", u"two"}) {
    LVITEMW it{};
    it.mask = LVIF_TEXT;
    it.iItem = 99;
    it.pszText = const_cast<LPWSTR>(t);
    SendMessageW(lv, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&it));
  }
  EXPECT_EQ(ui::items(lv), (std::vector<std::u16string>{u"one", u"two"}));
  seen().clear();
  LVITEMW st{};
  st.state = st.stateMask = LVIS_SELECTED;
  SendMessageW(lv, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&st));
  ui::select(lv, 1);
  ui::double_click(lv);
  const std::vector<Seen> expected = {
      {WM_NOTIFY, LVN_ITEMCHANGING, 44}, {WM_NOTIFY, LVN_ITEMCHANGED, 44},  // the program selects 0
      {WM_NOTIFY, NM_SETFOCUS, 44},
      {WM_NOTIFY, LVN_ITEMCHANGING, 44}, {WM_NOTIFY, LVN_ITEMCHANGED, 44},  // the click deselects 0
      {WM_NOTIFY, LVN_ITEMCHANGING, 44}, {WM_NOTIFY, LVN_ITEMCHANGED, 44},  // and selects 1
      {WM_NOTIFY, NM_CLICK, 44},
      {WM_NOTIFY, NM_CLICK, 44},  {WM_NOTIFY, NM_DBLCLK, 44},
  };
  EXPECT_EQ(from(44), expected);
  EXPECT_EQ(ui::state(lv).selection, 1);
}

// A report list view keeps its column widths and paints every column's
// text within its own width.
TEST_F(Controls, ListViewPaintsEveryColumnInItsWidth) {
  HWND d = open();
  HWND lv = CreateWindowExW(0, WC_LISTVIEWW, u"", WS_CHILD | WS_VISIBLE | LVS_REPORT, 0, 0, 200, 40, d,
                            reinterpret_cast<HMENU>(45), nullptr, nullptr);
  for (INT c : {0, 1, 2}) {
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH | LVCF_TEXT;
    column.cx = c == 2 ? 10 : 60;
    column.pszText = const_cast<LPWSTR>(u"Head");
    EXPECT_EQ(SendMessageW(lv, LVM_INSERTCOLUMNW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&column)), c);
  }
  LVITEMW it{};
  it.mask = LVIF_TEXT;
  it.pszText = const_cast<LPWSTR>(u"MMMMMMMMMMMMMMMMMMMM");  // wider than its column
  SendMessageW(lv, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&it));
  it.iSubItem = 1;
  it.pszText = const_cast<LPWSTR>(u"MMM");
  SendMessageW(lv, LVM_SETITEMTEXTW, 0, reinterpret_cast<LPARAM>(&it));
  EXPECT_EQ(SendMessageW(lv, LVM_GETCOLUMNWIDTH, 1, 0), 60);
  EXPECT_EQ(SendMessageW(lv, LVM_GETCOLUMNWIDTH, 3, 0), 0) << "no such column";
  EXPECT_TRUE(SendMessageW(lv, LVM_SETCOLUMNWIDTH, 2, MAKELPARAM(LVSCW_AUTOSIZE_USEHEADER, 0)));
  RECT client{};
  GetClientRect(lv, &client);
  EXPECT_GE(SendMessageW(lv, LVM_GETCOLUMNWIDTH, 2, 0), client.right - 120) << "the last column fills the row";
  EXPECT_TRUE(SendMessageW(lv, LVM_SETCOLUMNWIDTH, 2, MAKELPARAM(30, 0)));
  EXPECT_EQ(SendMessageW(lv, LVM_GETCOLUMNWIDTH, 2, 0), 30);

  std::filesystem::create_directories(std::string(MORVA_BIN_DIR) + "/pictures");
  const std::string path = std::string(MORVA_BIN_DIR) + "/pictures/uitest_list_view_columns.png";
  ASSERT_TRUE(ui::write_png(lv, path));
  png_image image{};
  std::vector<BYTE> grey;
  ASSERT_TRUE(morva::test::read_png_file(path, PNG_FORMAT_GRAY, &image, &grey));
  // Ink of the first row between two x positions of the list's client area.
  auto ink = [&](INT from, INT to) {
    POINT origin{0, 0};
    MapWindowPoints(lv, nullptr, &origin, 1);
    RECT window{};
    GetWindowRect(lv, &window);
    const INT dx = origin.x - window.left, dy = origin.y - window.top;
    INT dark = 0;
    for (INT y = dy + 2; y < dy + 15 && y < static_cast<INT>(image.height); ++y)
      for (INT x = dx + from; x < dx + to && x < static_cast<INT>(image.width); ++x)
        dark += grey[static_cast<std::size_t>(y) * image.width + static_cast<std::size_t>(x)] < 128;
    return dark;
  };
  EXPECT_GT(ink(2, 58), 0) << "the item's text";
  EXPECT_GT(ink(62, 118), 0) << "the subitem's text in the second column";
  EXPECT_EQ(ink(122, 150), 0) << "the third column is empty; the first column's text stops at its edge";
}

TEST_F(Controls, TabControlAsksBeforeChanging) {
  HWND d = open();
  HWND tc = CreateWindowExW(0, WC_TABCONTROLW, u"", WS_CHILD | WS_VISIBLE, 0, 0, 100, 20, d, reinterpret_cast<HMENU>(33),
                            nullptr, nullptr);
  for (const char16_t* t : {u"A", u"B"}) {
    TCITEMW it{};
    it.mask = TCIF_TEXT;
    it.pszText = const_cast<LPWSTR>(t);
    SendMessageW(tc, TCM_INSERTITEMW, 9, reinterpret_cast<LPARAM>(&it));
  }
  EXPECT_EQ(SendMessageW(tc, TCM_GETCURSEL, 0, 0), 0);
  seen().clear();
  EXPECT_EQ(SendMessageW(tc, TCM_SETCURSEL, 1, 0), 0);
  EXPECT_TRUE(from(33).empty());
  ui::select(tc, 0);
  EXPECT_EQ(from(33), (std::vector<Seen>{{WM_NOTIFY, TCN_SELCHANGING, 33}, {WM_NOTIFY, TCN_SELCHANGE, 33}}));
}

// Answers tooltip text requests with a fixed text.
INT_PTR CALLBACK tip_proc(HWND d, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NOTIFY && reinterpret_cast<NMHDR*>(lParam)->code == TTN_GETDISPINFOW) {
    auto* di = reinterpret_cast<NMTTDISPINFOW*>(lParam);
    di->lpszText = const_cast<LPWSTR>(u"asked");
    return TRUE;
  }
  return recording_proc(d, message, wParam, lParam);
}

TEST_F(Controls, TooltipsShowTextOfWindowAndRectangleTools) {
  HWND d = open_test_dialog(&tip_proc);
  HWND tip = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, d, nullptr, nullptr, nullptr);
  EXPECT_EQ(SendMessageW(tip, TTM_SETMAXTIPWIDTH, 0, 256), -1);
  EXPECT_EQ(SendMessageW(tip, TTM_GETMAXTIPWIDTH, 0, 0), 256);
  TOOLINFOW ti{};
  ti.cbSize = sizeof ti;
  ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  ti.hwnd = d;
  ti.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(d, kDuplex));
  ti.lpszText = const_cast<LPWSTR>(u"Print on both sides");
  EXPECT_TRUE(SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti)));
  // A rectangle tool over the paper list, with its text asked for.
  TOOLINFOW rect{};
  rect.cbSize = sizeof rect;
  rect.hwnd = d;
  rect.uId = 7000;
  rect.lpszText = LPSTR_TEXTCALLBACKW;
  SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&rect));
  GetWindowRect(GetDlgItem(d, kTrays), &rect.rect);
  MapWindowPoints(nullptr, d, reinterpret_cast<POINT*>(&rect.rect), 2);
  SendMessageW(tip, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&rect));
  EXPECT_EQ(ui::hover(GetDlgItem(d, kDuplex)), u"Print on both sides");
  EXPECT_EQ(ui::hover(GetDlgItem(d, kTrays)), u"asked");
  EXPECT_EQ(ui::hover(GetDlgItem(d, kName)), u"");
  ti.lpszText = const_cast<LPWSTR>(u"Duplex");
  SendMessageW(tip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));
  EXPECT_EQ(ui::hover(GetDlgItem(d, kDuplex)), u"Duplex");
  EXPECT_EQ(SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0), 2);
  SendMessageW(tip, TTM_ACTIVATE, FALSE, 0);
  EXPECT_EQ(ui::hover(GetDlgItem(d, kDuplex)), u"");
}

}  // namespace
