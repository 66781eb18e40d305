// The stamp page's re-send button: the job file stored earlier under the
// page's folder and file name goes to the printer again as a job of its
// own; a missing name or a file that cannot be opened is said, and the file
// name field gets the focus.
#include <string>

#include "control_handlers.h"
#include "pi/job_resend.h"
#include "property_sheets/document_pages.h"
#include "property_sheets/sheet_texts.h"
#include "settings/common/common_utils.h"
#include "settings/common/module_state.h"
#include "settings/items/item_info.h"
#include "settings/stores/printer_data_kinds.h"
#include "win/controls.h"
#include "win/memory.h"
#include "win/msgbox.h"
#include "win/resources.h"
#include "win/spooler.h"
#include "win/window.h"

// The job-file code is part of the library that holds the sheets (morvaui)
// but not of every program that links the sheets on their own; there the
// reference stays null and the button reports that nothing was sent.
namespace morva::pi {
[[gnu::weak]] INT ResendJobFile(DddHandle* database, void* devmode, void* printer_data, LPCWSTR file_name,
                                LPCWSTR printer_name, LPCWSTR port_name, INT prompt);
}

namespace {

constexpr WORD kTypeText = 6;
constexpr INT kCaptionText = 265;
constexpr WORD kFolder = 1829;
constexpr WORD kFileName = 338;
constexpr INT kFileNameField = 1542;
constexpr UINT kFileExtension = 451;
constexpr UINT kNameRange = 447;
constexpr UINT kCannotOpen = 458;

std::u16string read_text(ControlEvent* event, WORD ddmid) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue value{};
  if (GetItemValue(ddmid, event->devmode, event->printer_data, &type, &size, &value) != 0 || type != kTypeText)
    return {};
  return ItemText(value, size);
}

std::u16string resource_text(UINT id) {
  WCHAR text[64] = {};
  const INT n = LoadStringW(GetResourceModule(), id, text, 64);
  return n > 0 ? std::u16string(text, static_cast<size_t>(n)) : std::u16string();
}

void warn(ControlEvent* event, LPCWSTR text) {
  if (text) ShowResourceMessageBox(event->window, kCaptionText, nullptr, MB_OK | MB_ICONWARNING, kNone, text);
  SetFocus(GetDlgItem(event->window, kFileNameField));
}

// The file name's length range, as its field shows it.
void name_range(ControlEvent* event, LONG* low, LONG* high) {
  const ItemInfo* info = GetItemInfo(event->window, kFileName);
  if (info && info->count >= 2) {
    *low = GetTypedValue(3, ItemInfo_GetChoiceAt(info, 0));
    *high = GetTypedValue(3, ItemInfo_GetChoiceAt(info, 1));
  }
}

// 0 sent, -2 the file cannot be opened, -1 any other failure.
INT send(ControlEvent* event, const std::u16string& path) {
  if (!morva::pi::ResendJobFile) return -1;
  const SheetState* state = GetSheetState(event->window);
  BYTE* info = state ? AllocGetPrinter(state->printer, 1) : nullptr;
  LPCWSTR printer = info ? reinterpret_cast<PRINTER_INFO_1W*>(info)->pName : nullptr;
  // The re-sent job keeps the header of these settings; the user is asked
  // for the account first when the settings ask for it.
  const INT result =
      printer ? morva::pi::ResendJobFile(event->database, event->devmode, event->printer_data, path.c_str(), printer,
                                         nullptr, 1)
              : -1;
  SafeGlobalFree(info);
  return result;
}

}  // namespace

INT ResendStoredJobButton(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                          const ControlRecord* record, const void*) {
  const INT result = ChainDefaultHandler(event, message, wParam, lParam, record);
  if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return result;
  HCURSOR previous = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  const std::u16string name = read_text(event, kFileName);
  LPWSTR text = nullptr;
  if (name.empty()) {
    LONG low = 1, high = 8;
    name_range(event, &low, &high);
    if (FormatResourceStringV(&text, 0, kNameRange, static_cast<INT>(low), static_cast<INT>(high))) warn(event, text);
  } else {
    std::u16string path = read_text(event, kFolder);
    if (!path.empty() && path.back() != u'\\') path += u'\\';
    path += name + u"." + resource_text(kFileExtension);
    if (send(event, path) == -2 && FormatResourceStringV(&text, 0, kCannotOpen, path.c_str())) warn(event, text);
  }
  SafeGlobalFree(text);
  SetCursor(previous);
  return result;
}
