// The address-book dialog of the fax page: the source (an address-book file
// or the device's own address book), the file, and the button that runs the
// outside address-book library over the destination list.
#include "fax/fax_address_book.h"
#include "fax/fax_list.h"
#include "fax/fax_phonebook.h"
#include "fax_dialogs.h"
#include "property_sheets/fax_pages.h"
#include "settings/common/common_utils.h"
#include "win/controls.h"
#include "win/win.h"

using namespace morva::fax;
using namespace fax_ui;

namespace {

constexpr INT kDeviceSource = 4910, kFileSource = 4911, kFile = 4008, kFileLabel = 4050, kRun = 4005;

bool wants_display(UINT message, LPARAM lParam) {
  return IsNotifyCode(message, lParam, PSN_SETACTIVE) || message == UM_REFRESH_CONTROLS ||
         message == UM_RESTORE_CONTROLS;
}
bool clicked(UINT message, WPARAM wParam) { return message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED; }

// Which controls the source leaves usable.
void apply_source(HWND window) {
  const LONG source = NumberOr(window, 1890, 0);
  const bool no_files = NumberOr(window, 5211, 0) == 1;
  const bool file = source != 0 && !no_files;
  EnableWindow(GetDlgItem(window, kFileLabel), file);
  EnableWindow(GetDlgItem(window, kFile), file);
  std::u16string path;
  ReadText(window, 1799, &path);
  EnableWindow(GetDlgItem(window, kRun), source == 0 || (file && !path.empty() && !IsBlankText(path.c_str())));
}

INT AddressBookDialogHandler(ControlEvent* event, UINT message, WPARAM, LPARAM lParam, const ControlRecord*,
                             const void*) {
  HWND window = event->window;
  SheetState* state = GetSheetState(window);
  if (message == WM_INITDIALOG && state && state->mode == kSheetModeUserDefault) {
    // The sheet of the user's defaults has no device to ask.
    ShowWindow(GetDlgItem(window, kDeviceSource), SW_HIDE);
    ShowWindow(GetDlgItem(window, kFileSource), SW_HIDE);
  }
  if (message == WM_INITDIALOG || wants_display(message, lParam)) apply_source(window);
  return 0;
}

INT SourceHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord*,
                  const void*) {
  HWND window = event->window;
  if (wants_display(message, lParam)) {
    const LONG source = NumberOr(window, 1890, 0);
    CheckDlgButton(window, kDeviceSource, source == 1 ? BST_UNCHECKED : BST_CHECKED);
    CheckDlgButton(window, kFileSource, source == 1 ? BST_CHECKED : BST_UNCHECKED);
    return 0;
  }
  SheetState* state = GetSheetState(window);
  if (clicked(message, wParam) && !(state && state->mode == kSheetModeUserDefault)) {
    WriteNumber(window, 1890, 3, 2, LOWORD(wParam) == kFileSource ? 1 : 0);
    apply_source(window);
  }
  return 0;
}

INT FileHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord*, const void*) {
  HWND window = event->window;
  if (message == WM_INITDIALOG || wants_display(message, lParam)) {
    std::u16string path;
    ReadText(window, 1799, &path);
    if (ItemText(window, kFile) != path) SetDlgItemTextW(window, kFile, path.c_str());
    return 0;
  }
  if (message == WM_COMMAND && (HIWORD(wParam) == CBN_EDITCHANGE || HIWORD(wParam) == EN_CHANGE)) {
    WriteText(window, 1799, ItemText(window, kFile), 522);
    apply_source(window);
  }
  return 0;
}

constexpr CommandItem kOkCommand{kCommandOk, nullptr};

INT RunButton(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
              const void*) {
  if (!clicked(message, wParam)) return 0;
  HWND window = event->window;
  SheetContext* c = GetSheetContext(window);
  if (!c || !c->state) return 0;
  const bool file = NumberOr(window, 1890, 0) == 1;
  std::u16string path;
  if (file) {
    if (ValidateDialog(event)) return 0;
    ReadText(window, 1799, &path);
    if (!path.empty() && path[0] == u':') path.erase(0, 1);  // the colon is not part of the name
  }
  AddressBookRequest request{{window, c->state->database, c->state->port_name, c->current.devmode,
                              c->current.printer_data, c->current.fax_list},
                             file ? path.c_str() : nullptr,
                             c->state->help_file[0] ? c->state->help_file : nullptr,
                             TestCapabilityBit(&c->state->capabilities, 0xFFFF0029),
                             TestCapabilityBit(&c->state->capabilities, 0xFFFF0040),
                             nullptr};
  INT closes = 1;
  const INT ran = RunAddressBook(request, &closes);
  if (FaxSheetWords* words = SheetWords(window)) words->address_book_result = ran == 1 ? 1 : 0;
  if (!closes && !file) SetFocus(GetDlgItem(window, kFile));
  if (closes) RunCommandItem(event, message, wParam, lParam, record, &kOkCommand);
  return 0;
}

constexpr ControlRecord kAddressBookRecords[] = {
    {kDialogRecordId, 0, nullptr, 0, AddressBookDialogHandler, nullptr, kNone, kNone, nullptr},
    {kDeviceSource, 0, nullptr, kControlRadioGroup, SourceHandler, nullptr, kNone, kNone, nullptr},
    {kFileSource, 0, nullptr, kControlRadioGroup, SourceHandler, nullptr, kNone, kNone, nullptr},
    {kFile, 0, nullptr, kControlDropDown, FileHandler, nullptr, kFileLabel, kNone, nullptr},
    {kRun, 0, nullptr, kControlCommand, RunButton, nullptr, kNone, kNone, nullptr},
};
constexpr INT kAddressBookHelp[] = {kDeviceSource, 50400, kFileSource, 50500, kFile, 30150, kFileLabel, 30150,
                                    4009, 30160, kRun, 50600, 0, 0};

}  // namespace

const ControlSet kAddressBookSet{kAddressBookRecords,
                                 static_cast<INT>(sizeof kAddressBookRecords / sizeof kAddressBookRecords[0]), 0,
                                 kAddressBookHelp, nullptr, 0};
