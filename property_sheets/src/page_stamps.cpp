// The stamp page of the document sheet and the dialogs that make and edit
// a stamp: the stored stamps are the choices of the stamp list, the
// selected stamp's fields live in the stamp settings, and New, Edit,
// Delete and the page's opening check keep the stamp store in line with
// the settings.
#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>

#include "control_handlers.h"
#include "property_sheets/document_pages.h"
#include "fax/key_list.h"
#include "document_pictures.h"
#include "pi/security_marking.h"
#include "property_sheets/sheet_fonts.h"
#include "property_sheets/sheet_texts.h"
#include "settings/common/common_utils.h"
#include "settings/common/module_state.h"
#include "settings/items/item_info.h"
#include "settings/items/stamp_defaults.h"
#include "settings/stores/printer_data_kinds.h"
#include "win/codepage.h"
#include "win/commdlg.h"
#include "win/controls.h"
#include "win/memory.h"
#include "win/msgbox.h"
#include "win/resources.h"
#include "win/spooler.h"
#include "win/strings.h"

namespace {

constexpr WORD kTypeNumber32 = 1;
constexpr WORD kTypeColour = 5;
constexpr WORD kTypeText = 6;
constexpr WORD kTypeBlock = 9;
constexpr INT kCaptionText = 265;

// Settings of a stamp.
constexpr WORD kStampName = 297;
constexpr WORD kStampList = 298;
constexpr WORD kStampText = 299;
constexpr WORD kStampColourChoice = 300;
constexpr WORD kStampColour = 301;
constexpr WORD kStampFrame = 302;
constexpr WORD kStampPlacement = 303;
constexpr WORD kStampFont = 304;
constexpr WORD kStampFace = 305;
constexpr WORD kStampSwitchA = 1287;
constexpr WORD kStampSwitchB = 1288;
constexpr WORD kCustomColour = 1855;
constexpr WORD kModelName = 259;
constexpr WORD kMarkingSwitch = 1339;
constexpr DWORD kNameBytes = 66;
constexpr DWORD kTextBytes = 130;

// Controls of the page.
constexpr INT kStampListBox = 1361;
constexpr INT kNewButton = 1358;
constexpr INT kEditButton = 1359;
constexpr INT kDeleteButton = 1360;
constexpr INT kStampSwitch = 1362;
constexpr INT kPagePreview = 1451;
// Controls of the dialogs.
constexpr INT kNameEdit = 1369;
constexpr INT kStampFaceList = 1371;
constexpr INT kReloadButton = 1406;
constexpr INT kDialogPreview = 1453;

// Messages of the store.
constexpr UINT kAskOverwriteStored = 429;
constexpr UINT kStoredNewStamp = 430;
constexpr UINT kCannotStoreStamp = 431;
constexpr UINT kAskDelete = 484;
constexpr UINT kNewStampCaption = 423;
constexpr UINT kEditStampCaption = 424;
constexpr UINT kAskReplaceNamed = 428;
constexpr UINT kStoreFull = 9427;
constexpr UINT kSaveFailed = 9428;

std::u16string read_text(void* devmode, void* printer_data, WORD ddmid) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue value{};
  if (GetItemValue(ddmid, devmode, printer_data, &type, &size, &value) != 0 || type != kTypeText) return {};
  return ItemText(value, size);
}

bool read_number(void* devmode, void* printer_data, WORD ddmid, LONG* out) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue value{};
  if (GetItemValue(ddmid, devmode, printer_data, &type, &size, &value) != 0 || type == kTypeText ||
      type == kTypeBlock)
    return false;
  *out = GetTypedValue(type, &value);
  return true;
}

bool write_text(void* devmode, void* printer_data, WORD ddmid, const std::u16string& text, DWORD bytes) {
  std::u16string room(bytes / sizeof(WCHAR), u'\0');
  std::memcpy(room.data(), text.data(), std::min(text.size(), room.size() - 1) * sizeof(WCHAR));
  const WCHAR* p = room.c_str();
  return SetItemValueRaw(ddmid, devmode, printer_data, kTypeText, bytes, &p) == 0;
}

// A number written in the type and size the setting stores.
bool write_number(void* devmode, void* printer_data, WORD ddmid, LONG number) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue value{};
  if (GetItemValue(ddmid, devmode, printer_data, &type, &size, &value) != 0) return false;
  ItemValue out{};
  if (size == 1)
    out.b = static_cast<BYTE>(number);
  else if (size == 2)
    out.w = static_cast<WORD>(number);
  else
    out.l = number;
  return SetItemValueRaw(ddmid, devmode, printer_data, type, size, &out) == 0;
}

// Appends settings to the event's changed list and asks for a refresh.
void add_changed(ControlEvent* event, const WORD* ids, INT count) {
  INT have = 0;
  if (event->changed)
    while (event->changed[have]) ++have;
  auto* list = static_cast<WORD*>(GlobalAlloc(GPTR, sizeof(WORD) * static_cast<SIZE_T>(have + count + 1)));
  if (!list) return;
  if (have) std::memcpy(list, event->changed, sizeof(WORD) * static_cast<SIZE_T>(have));
  std::memcpy(list + have, ids, sizeof(WORD) * static_cast<SIZE_T>(count));
  SetRefreshRequest(event, 1, list, event->refresh_record);
}

INT message_box(HWND owner, UINT type, UINT id, LPCWSTR name) {
  LPWSTR text = nullptr;
  if (!FormatResourceStringV(&text, 0, id, name ? name : u"") || !text) return -1;
  const INT answer = ShowResourceMessageBox(owner, kCaptionText, nullptr, type, kNone, text);
  GlobalFree(text);
  return answer;
}

HANDLE sheet_printer(HWND window) {
  const SheetState* state = GetSheetState(window);
  return state ? state->printer : nullptr;
}

// Gives the stamp list (setting 298) the stored names again.
void rebuild_stamp_names(HWND window, ControlEvent* event) {
  SheetState* state = GetSheetState(window);
  KeyList* cache = state && state->dialog_tables ? state->dialog_tables->item_infos : nullptr;
  auto* entry = static_cast<CachedItem*>(KeyList_FindData(cache, kStampList, kKeyListAnyKey2));
  if (!entry) return;
  ItemInfoOptions options{};
  options.printer = state->printer;
  ItemInfo* info = BuildItemInfo(event->database, kStampList, event->devmode, event->printer_data,
                                 GetResourceModule(), &options);
  if (!info) return;
  ItemInfo_Free(entry->info);
  entry->info = info;
}

// The refresh is caused by `by` (a button or the page), so that the stamp
// list, which skips refreshes of its own changes, fills again.
void refresh_stamp_list(HWND window, ControlEvent* event, const ControlRecord* by) {
  event->refresh_record = by;
  rebuild_stamp_names(window, event);
  RequestStampRefresh(event);
  const WORD names[] = {kStampName, kStampList};
  add_changed(event, names, 2);
}

INT save_settings_stamp(ControlEvent* event) {
  StampRecord record{};
  if (!CaptureStampRecord(event->devmode, event->printer_data, &record)) return kStampRegistryError;
  return SaveStamp(sheet_printer(event->window), &record, event->database);
}

// The page's opening check: a stamp in the settings that the store does not
// have is stored (or, when it cannot be, replaced by the default stamp); one
// whose stored twin differs is stored or taken back as the user says.
void check_selected_stamp(ControlEvent* event, const ControlRecord* page) {
  StampRecord record{};
  if (!CaptureStampRecord(event->devmode, event->printer_data, &record) || !record.name[0]) return;
  HANDLE printer = sheet_printer(event->window);
  switch (CompareStoredStamp(printer, &record, event->database)) {
    case kStampNotStored:
      if (CheckNewStampName(printer, record.name, event->database) == kStampOk) {
        if (message_box(event->window, MB_OK | MB_ICONWARNING, kStoredNewStamp, record.name) == -1) return;
        if (SaveStamp(printer, &record, event->database) == kStampOk) refresh_stamp_list(event->window, event, page);
      } else {
        if (message_box(event->window, MB_OK | MB_ICONWARNING, kCannotStoreStamp, record.name) == -1) return;
        LoadStampIntoSettings(event->window, 0, printer, event->database, event->devmode, event->printer_data,
                              nullptr);
      }
      break;
    case kStampDiffers: {
      const INT answer = message_box(event->window, MB_OKCANCEL | MB_ICONWARNING, kAskOverwriteStored, record.name);
      if (answer == IDOK)
        SaveStamp(printer, &record, event->database);
      else if (answer == IDCANCEL)
        LoadStampIntoSettings(event->window, 1, printer, event->database, event->devmode, event->printer_data,
                              record.name);
      break;
    }
    default: break;
  }
}

void show_enabled(HWND window, INT id, bool on) {
  if (HWND control = GetDlgItem(window, id)) EnableWindow(control, on);
}

// The preview follows the stamp settings.
INT StampPreviewHandler(ControlEvent* event, UINT message, WPARAM, LPARAM lParam, const ControlRecord* record,
                        const void*) {
  if (message == WM_INITDIALOG) SubclassStampPreview(event->window, static_cast<UINT>(record->id));
  else if (ShowsAgain(message, lParam))
    InvalidateDocumentPicture(event->window, static_cast<UINT>(record->id));
  return 0;
}

// ---- the page ------------------------------------------------------------------------

// The store-to-file controls with the labels of its fields.
constexpr INT kStoreFileControls[] = {1364, 1537, 1539, 1542, 1544, 1546, 1540, 1375, 1538, 1541};
constexpr INT kLockedControls[] = {kStampListBox, kNewButton, kEditButton, kDeleteButton, kStampSwitch};

// The page's own record; it comes last, so that on activation and refresh
// it acts after the controls have shown their settings.
INT StampPageHandler(ControlEvent* event, UINT message, WPARAM, LPARAM lParam, const ControlRecord* record,
                     const void*) {
  if (message == WM_INITDIALOG) {
    check_selected_stamp(event, record);
    return 0;
  }
  if (!ShowsAgain(message, lParam)) return 0;
  const SheetState* state = GetSheetState(event->window);
  if (state && state->stamp_lock)
    for (INT id : kLockedControls) show_enabled(event->window, id, false);
  if (!HasDeviceCapability(event->database, 0x200))
    for (INT id : kStoreFileControls)
      if (HWND control = GetDlgItem(event->window, id)) ShowWindow(control, SW_HIDE);
  return 0;
}

INT StampListHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                     const void*) {
  if (message == WM_COMMAND && HIWORD(wParam) == LBN_DBLCLK) {
    HWND edit = GetDlgItem(event->window, kEditButton);
    if (edit && IsWindowEnabled(edit))
      PostMessageW(event->window, WM_COMMAND, MAKEWPARAM(kEditButton, BN_CLICKED), reinterpret_cast<LPARAM>(edit));
    return 0;
  }
  const INT result = ChainDefaultHandler(event, message, wParam, lParam, record);
  if ((message == WM_COMMAND || message == WM_VKEYTOITEM) && event->refresh == 1) {
    const std::u16string name = read_text(event->devmode, event->printer_data, kStampName);
    LoadStampIntoSettings(event->window, name.empty() ? 0 : 1, sheet_printer(event->window), event->database,
                          event->devmode, event->printer_data, name.empty() ? nullptr : name.c_str());
    RequestStampRefresh(event);
  }
  return result;
}

// New and Edit: the stamp dialog, then the stamp list again.
INT StampDialogButton(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                      const void* kind_data) {
  if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return ChainDefaultHandler(event, message, wParam, lParam, record);
  SheetState* state = GetSheetState(event->window);
  if (!state) return 1;
  state->page_scratch = 1;
  RunCommandItem(event, message, wParam, lParam, record, static_cast<const CommandItem*>(kind_data));
  SafeGlobalFree(state->stamp_initial_name);
  state->stamp_initial_name = nullptr;
  refresh_stamp_list(event->window, event, record);
  return 0;
}

INT StampDeleteButton(ControlEvent* event, UINT message, WPARAM wParam, LPARAM, const ControlRecord* record,
                      const void*) {
  if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return 0;
  const std::u16string name = read_text(event->devmode, event->printer_data, kStampName);
  HANDLE printer = sheet_printer(event->window);
  if (name.empty() || StampExists(printer, name.c_str(), event->database) != kStampOk) return 0;
  if (message_box(event->window, MB_OKCANCEL | MB_ICONWARNING, kAskDelete, name.c_str()) != IDOK) return 0;
  if (DeleteStamp(printer, name.c_str(), event->database) != kStampOk) return 0;
  LoadStampIntoSettings(event->window, 0, printer, event->database, event->devmode, event->printer_data, nullptr);
  refresh_stamp_list(event->window, event, record);
  SetFocus(GetDlgItem(event->window, kStampListBox));
  return 0;
}

// The file name and the option text are checked on leaving the page only
// while their store option is on and no stamp dialog is being opened.
INT store_field(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                WORD governing) {
  if (!IsNotifyCode(message, lParam, PSN_KILLACTIVE)) return ChainDefaultHandler(event, message, wParam, lParam, record);
  const SheetState* state = GetSheetState(event->window);
  LONG on = 0;
  if (state && state->page_scratch == 0 && read_number(event->devmode, event->printer_data, governing, &on) && on == 1)
    return ChainDefaultHandler(event, message, wParam, lParam, record);
  return 0;
}
INT StoreFileNameHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                         const void*) {
  return store_field(event, message, wParam, lParam, record, 336);
}
INT StoreOptionTextHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                           const ControlRecord* record, const void*) {
  const INT result = store_field(event, message, wParam, lParam, record, 339);
  if (IsNotifyCode(message, lParam, PSN_KILLACTIVE))
    if (SheetState* state = GetSheetState(event->window)) state->page_scratch = 0;
  return result;
}

// The security-marking plug-in's own settings dialog, for this printer
// and model; settings it returns replace the sheet's marking settings, and
// its answer says whether marking is on.
void run_marking_settings(ControlEvent* event) {
  SheetContext* context = GetSheetContext(event->window);
  if (!context || !context->state) return;
  BYTE* info = AllocGetPrinter(context->state->printer, 1);
  const std::u16string model = read_text(event->devmode, event->printer_data, kModelName);
  SealmarkSession* session = nullptr;
  if (info && Sealmark_OpenSession(reinterpret_cast<PRINTER_INFO_1W*>(info)->pName, model.c_str(), 0, &session) ==
                  kSealmarkOk) {
    SealmarkIdList list{};
    const bool passed = Sealmark_CollectDriverSettings(session, event->devmode, event->printer_data, &list) ==
                            kSealmarkOk &&
                        Sealmark_SetDriverSettings(session, &list) == kSealmarkOk;
    Sealmark_FreeIdList(&list);
    SheetSnapshot& now = context->current;
    const SealmarkSettings settings{now.marking_size, now.marking, 0, nullptr};
    DWORD size = 0;
    BYTE* blob = nullptr;
    BYTE flag = 0;
    if (passed && Sealmark_ShowSettingsUI(event->window, session, &settings, &size, &blob, &flag) == kSealmarkChanged) {
      auto* copy = static_cast<BYTE*>(GlobalAlloc(GPTR, size ? size : 1));
      if (copy) {
        std::memcpy(copy, blob, size);
        SafeGlobalFree(now.marking);
        now.marking = copy;
        now.marking_size = size;
        const DWORD on = flag == 1 ? 1 : 0;
        SetItemValueRaw(kMarkingSwitch, event->devmode, event->printer_data, kTypeNumber32, 4, &on);
      }
      delete[] blob;
    }
    Sealmark_CloseSession(session);
  }
  SafeGlobalFree(info);
}

INT SealmarkSettingsButton(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                           const ControlRecord* record, const void*) {
  if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) run_marking_settings(event);
  return ChainDefaultHandler(event, message, wParam, lParam, record);
}

// ---- the stamp dialogs -------------------------------------------------------------

bool is_face_choice(HWND window, const std::u16string& face) {
  const ItemInfo* info = GetItemInfo(window, kStampFace);
  for (LONG i = 0; info && i < info->count; ++i)
    if (LPCWSTR text = ItemInfo_GetChoiceText(info, i); text && face == text) return true;
  return false;
}

// The stamp's face, when it is none of the faces listed, gives way to a
// usable one, with the font settings that go with it.
void substitute_missing_face(ControlEvent* event) {
  const std::u16string face = read_text(event->devmode, event->printer_data, kStampFace);
  if (is_face_choice(event->window, face)) return;
  WORD* changed = nullptr;
  INT count = 0;
  if (ApplyFontSelection(event, &changed, &count, 1)) GlobalFree(changed);
}

constexpr INT kLabelFontControls[2] = {1435, 1436};

// The stamp settings of the dialog are taken from the built-in stamps for a
// new stamp; the name it starts with is kept to follow the text. An edited
// stamp whose face is not installed gets a substitute.
INT StampDialogHandler(ControlEvent* event, UINT message, WPARAM, LPARAM lParam, const ControlRecord*, const void*) {
  if (IsNotifyCode(message, lParam, PSN_SETACTIVE)) {
    SetupLabelFonts(event->window, kLabelFontControls);
    return 0;
  }
  if (IsNotifyCode(message, lParam, PSN_KILLACTIVE) || IsNotifyCode(message, lParam, PSN_APPLY) ||
      IsNotifyCode(message, lParam, PSN_RESET) || message == WM_DESTROY) {
    ReleaseLabelFonts(event->window);
    if (message == WM_DESTROY) LetGoDialogFontLists(event->window);
    return 0;
  }
  if (message != WM_INITDIALOG) return 0;
  SheetState* state = GetSheetState(event->window);
  if (!state) return 0;
  // The page lets its font lists go on Apply though it stays open; the
  // dialog then holds them itself, so that its face list is never empty.
  HoldDialogFontLists(event->window, event->kind, kStampFaceList, kStampFace);
  const bool new_stamp = event->kind == 18;
  WCHAR caption[128] = {};
  if (LoadStringW(GetResourceModule(), new_stamp ? kNewStampCaption : kEditStampCaption, caption, 128) > 0)
    SetWindowTextW(event->window, caption);
  if (!new_stamp) {
    substitute_missing_face(event);
    return 0;
  }
  if (LoadStampIntoSettings(event->window, 2, state->printer, event->database, event->devmode, event->printer_data,
                            nullptr) != 0)
    return 0;
  const std::u16string name = read_text(event->devmode, event->printer_data, kStampName);
  SafeGlobalFree(state->stamp_initial_name);
  state->stamp_initial_name = static_cast<LPWSTR>(GlobalAlloc(GPTR, 33 * sizeof(WCHAR)));
  if (state->stamp_initial_name)
    std::memcpy(state->stamp_initial_name, name.data(), std::min<size_t>(name.size(), 32) * sizeof(WCHAR));
  return 0;
}

// The text's first 32 bytes in the ANSI code page, never ending inside a
// double-byte character.
std::u16string name_from_text(const std::u16string& text) {
  std::string bytes(text.size() * 2 + 1, '\0');
  const INT n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<INT>(text.size()), bytes.data(),
                                    static_cast<INT>(bytes.size()), nullptr, nullptr);
  if (n <= 0) return {};
  bytes.resize(static_cast<size_t>(n));
  if (bytes.size() > 32) {
    size_t cut = 0;
    while (cut < 32) {
      const size_t step = IsDBCSLeadByte(static_cast<BYTE>(bytes[cut])) ? 2 : 1;
      if (cut + step > 32) break;
      cut += step;
    }
    bytes.resize(cut);
  }
  std::u16string out(bytes.size() + 1, u'\0');
  const INT w = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<INT>(bytes.size()), out.data(),
                                    static_cast<INT>(out.size()));
  out.resize(w > 0 ? static_cast<size_t>(w) : 0);
  return out;
}

bool lists(LPARAM changed, WORD ddmid) {
  for (const WORD* p = reinterpret_cast<const WORD*>(changed); p && *p; ++p)
    if (*p == ddmid) return true;
  return false;
}

// While a new stamp keeps the name it started with, the name follows the
// text.
INT StampTextHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                     const void*) {
  if (message == UM_REFRESH_CONTROLS && !lists(lParam, kStampText)) return 0;
  const INT result = ChainDefaultHandler(event, message, wParam, lParam, record);
  // The field stores what is typed at once; the name follows when the
  // field is left after an accepted change.
  static HWND changed_in = nullptr;
  if (message != WM_COMMAND) return result;
  if (HIWORD(wParam) == EN_CHANGE && event->refresh == 1) changed_in = event->window;
  if (HIWORD(wParam) != EN_KILLFOCUS) return result;
  const bool changed = changed_in == event->window || event->refresh == 1;
  changed_in = nullptr;
  if (!changed) return result;
  if (GetFocus() == GetDlgItem(event->window, kReloadButton)) return result;
  const SheetState* state = GetSheetState(event->window);
  if (!state || !state->stamp_initial_name) return result;
  if (read_text(event->devmode, event->printer_data, kStampName) != state->stamp_initial_name) return result;
  const std::u16string name = name_from_text(read_text(event->devmode, event->printer_data, kStampText));
  if (write_text(event->devmode, event->printer_data, kStampName, name, kNameBytes)) {
    const WORD changed[] = {kStampName};
    add_changed(event, changed, 1);
  }
  return result;
}

// A new face brings the font settings that go with it.
INT StampFontHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                     const void*) {
  if (message == UM_REFRESH_CONTROLS && !lists(lParam, kStampFace)) return 0;
  const INT result = ChainDefaultHandler(event, message, wParam, lParam, record);
  if (message != WM_COMMAND || event->refresh != 1) return result;
  WORD* changed = nullptr;
  INT count = 0;
  if (!ApplyFontSelection(event, &changed, &count, 1)) return result;
  add_changed(event, changed, count);
  GlobalFree(changed);
  return result;
}

// A colour choice sets the stamp's colour: one of the seven fixed colours
// or, for choice 8, the user's own.
INT StampColourChoiceHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                             const ControlRecord* record, const void*) {
  const INT result = ChainDefaultHandler(event, message, wParam, lParam, record);
  if (message != WM_COMMAND || event->refresh != 1) return result;
  LONG choice = 0;
  if (!read_number(event->devmode, event->printer_data, kStampColourChoice, &choice)) return result;
  DWORD colour = 0;
  LONG custom = 0;
  if (choice == 8) {
    if (!read_number(event->devmode, event->printer_data, kCustomColour, &custom)) return result;
    colour = static_cast<DWORD>(custom);
  } else if (!LookupKeyedConstant(choice, &colour, -1)) {
    return result;
  }
  if (SetItemValueRaw(kStampColour, event->devmode, event->printer_data, kTypeColour, 4, &colour) == 0) {
    const WORD changed[] = {kStampColour};
    add_changed(event, changed, 1);
  }
  return result;
}

// The custom colour: the dialog's fields are checked first, then the
// colour chooser starts from the custom colour; the colour chosen becomes
// the custom colour and the stamp's colour.
INT StampColourButtonHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                             const ControlRecord* record, const void*) {
  if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return ChainDefaultHandler(event, message, wParam, lParam, record);
  const ControlSet* set = GetDialogControlSet(event->window, event->kind);
  if (!set) return 0;
  const INT refused = DispatchToControls(event, UM_VALIDATE_CONTROLS, wParam, 0, set->records, set->count, 0);
  if (event->refresh == 1) {
    event->refresh = 0;
    RefreshPageControls(event, event->changed);
    SafeGlobalFree(event->changed);
    event->changed = nullptr;
  }
  if (refused) return 0;
  LONG custom = 0;
  if (!read_number(event->devmode, event->printer_data, kCustomColour, &custom)) return 0;
  COLORREF customs[16];
  std::fill(std::begin(customs), std::end(customs), COLORREF{0xFFFFFF});
  customs[0] = static_cast<COLORREF>(custom);
  CHOOSECOLORW chooser{};
  chooser.lStructSize = sizeof chooser;
  chooser.hwndOwner = event->window;
  chooser.rgbResult = static_cast<COLORREF>(custom);
  chooser.lpCustColors = customs;
  chooser.Flags = CC_RGBINIT | CC_FULLOPEN;
  if (!ChooseColorW(&chooser)) return 0;
  const DWORD colour = chooser.rgbResult;
  if (!write_number(event->devmode, event->printer_data, kCustomColour, static_cast<LONG>(colour)) ||
      SetItemValueRaw(kStampColour, event->devmode, event->printer_data, kTypeColour, 4, &colour) != 0)
    return 0;
  event->refresh_record = record;
  const WORD changed[] = {kStampColour};
  add_changed(event, changed, 1);
  return 0;
}

// The frame and labels of the nine positions follow the group's state.
INT StampPositionHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam,
                         const ControlRecord* record, const void*) {
  const INT result = ChainDefaultHandler(event, message, wParam, lParam, record);
  if (!ShowsAgain(message, lParam) || !event->permission) return result;
  const INT kind = GetSettingAvailability(event->window, kStampPlacement);
  for (INT id : {1385, 1367, 1386, 1387, 1365}) {
    HWND control = GetDlgItem(event->window, id);
    if (!control) continue;
    ShowWindow(control, kind == 6 ? SW_HIDE : SW_SHOW);
    EnableWindow(control, kind != 1 && kind != 6 && kind != 15);
  }
  return result;
}

// Reload: the built-in values again, under the name typed.
INT StampReloadButton(ControlEvent* event, UINT message, WPARAM wParam, LPARAM, const ControlRecord* record,
                      const void*) {
  if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return 0;
  SetFocus(GetDlgItem(event->window, kReloadButton));
  std::u16string name = read_text(event->devmode, event->printer_data, kStampName);
  if (name.size() > 32) name.resize(32);
  const SheetState* state = GetSheetState(event->window);
  if (LoadStampIntoSettings(event->window, 2, state ? state->printer : nullptr, event->database, event->devmode,
                            event->printer_data, event->kind == 19 && !name.empty() ? name.c_str() : nullptr) != 0)
    return 0;
  write_text(event->devmode, event->printer_data, kStampName, name, kNameBytes);
  event->refresh_record = record;
  RequestStampRefresh(event);
  return 0;
}

INT refuse(ControlEvent* event) {
  SetFocus(GetDlgItem(event->window, kNameEdit));
  return 1;
}

// Storing the stamp of the dialog; a store that fails is said, and the
// dialog stays open so that nothing typed is lost.
INT store_dialog_stamp(ControlEvent* event, const std::u16string& name) {
  if (save_settings_stamp(event) == kStampOk) return 0;
  message_box(event->window, MB_OK | MB_ICONWARNING, kSaveFailed, name.c_str());
  return refuse(event);
}

// OK checks the name against the store before the dialog closes: 0 lets it
// close with the stamp stored, 1 keeps it open.
INT StampOkCheck(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                 const void* kind_data) {
  if (message != UM_VALIDATE_CONTROLS) return CommandButtonHandler(event, message, wParam, lParam, record, kind_data);
  if (event->command != kCommandOk) return 0;
  const std::u16string name = read_text(event->devmode, event->printer_data, kStampName);
  const INT check = CheckNewStampName(sheet_printer(event->window), name.c_str(), event->database);
  if (check == kStampOk) return store_dialog_stamp(event, name);
  if (check == kStampNameTaken) {
    const SheetContext* context = GetSheetContext(event->window);
    const bool unchanged = event->kind == 19 && context &&
                           read_text(context->initial.devmode, context->initial.printer_data, kStampName) == name;
    if (!unchanged &&
        message_box(event->window, MB_OKCANCEL | MB_ICONWARNING, kAskReplaceNamed, name.c_str()) != IDOK)
      return refuse(event);
    return store_dialog_stamp(event, name);
  }
  if (check == kStampStoreFull) {
    message_box(event->window, MB_OK | MB_ICONWARNING, kStoreFull, name.c_str());
    return refuse(event);
  }
  // No key, a registry error or no memory: nothing was stored, so the
  // dialog must not close as if it had been.
  message_box(event->window, MB_OK | MB_ICONWARNING, kSaveFailed, name.c_str());
  return refuse(event);
}

// ---- tables ---------------------------------------------------------------------------

constexpr WORD kKeepEnabled = kFlagKeepEnabled;
constexpr INT kRadio = kControlRadioGroup;
constexpr INT kTrackbarKind = 12;
constexpr INT kUpDownKind = 9;

constexpr DWORD kValidateAlways = kValidateOnKillActive | kValidateOnKillFocus | kValidateOnCommand;
// The angle is stored in tenths of a degree and shown in degrees.
constexpr UnitRecord kDegrees{0, 1};
constexpr UpDownData kDegreesSpin{1};
constexpr TrackbarData kDegreesBar{15, 0, 1};
constexpr EditFieldData kFolderField{kEditText | kEditLenient, 127, nullptr, nullptr, kValidateAlways, nullptr};
constexpr EditFieldData kShortTextField{kEditText, 8, nullptr, nullptr, kValidateAlways, nullptr};
constexpr EditFieldData kNameField{kEditText | kEditLenient, 32, nullptr, nullptr, kValidateAlways, nullptr};
constexpr EditFieldData kTextField{kEditText | kEditLenient, 64, nullptr, nullptr, kValidateAlways, nullptr};
constexpr EditFieldData kAngleField{kEditNumeric, 4, nullptr, &kDegrees, kValidateAlways, nullptr};

constexpr SettingRef kStampListRef[] = {Bound(kStampList)};
constexpr SettingRef kNewRef[] = {Bound(36865)};
constexpr SettingRef kEditRef[] = {Bound(36866)};
constexpr SettingRef kDeleteRef[] = {Bound(36867)};
constexpr SettingRef kSwitchRef[] = {Bound(1286)};
constexpr SettingRef kStoreRef[] = {Bound(336)};
constexpr SettingRef kFolderRef[] = {Bound(1829)};
constexpr SettingRef kFileRef[] = {Bound(338)};
constexpr SettingRef kOptionRef[] = {Bound(339)};
constexpr SettingRef kOptionTextRef[] = {Bound(340)};
constexpr SettingRef kSealRef[] = {Bound(36903)};
constexpr SettingRef kPageRecordRef[] = {Bound(kStampText, 0)};

constexpr ChildDialogCommand kOpenNew{kNewStampDialog, 0, 0};
constexpr ChildDialogCommand kOpenEdit{kEditStampDialog, 0, 0};
constexpr CommandItem kNewCommand{kCommandChildDialog, &kOpenNew};
constexpr CommandItem kEditCommand{kCommandChildDialog, &kOpenEdit};

constexpr ControlRecord kPageRecords[] = {
    {kStampListBox, 1, kStampListRef, kControlListBox, StampListHandler, nullptr, 1363, kNone, nullptr},
    {kNewButton, 1, kNewRef, kControlCommand, StampDialogButton, &kNewCommand, kNone, kNone, nullptr},
    {kEditButton, 1, kEditRef, kControlCommand, StampDialogButton, &kEditCommand, kNone, kNone, nullptr},
    {kDeleteButton, 1, kDeleteRef, kControlCommand, StampDeleteButton, nullptr, kNone, kNone, nullptr},
    {kStampSwitch, 1, kSwitchRef, kControlCheckBox, nullptr, nullptr, 1362, 9143, nullptr},
    {1537, 1, kStoreRef, kControlCheckBox, nullptr, nullptr, 1537, 9144, nullptr},
    {1539, 1, kFolderRef, kControlEdit, nullptr, &kFolderField, 1538, 9145, nullptr},
    {1542, 1, kFileRef, kControlEdit, StoreFileNameHandler, &kShortTextField, 1541, 9146, nullptr},
    {1544, 1, kOptionRef, kControlCheckBox, nullptr, nullptr, 1544, 9147, nullptr},
    {1546, 1, kOptionTextRef, kControlEdit, StoreOptionTextHandler, &kShortTextField, 1545, 9148, nullptr},
    {1543, 0, nullptr, kControlCommand, ResendStoredJobButton, nullptr, kNone, kNone, nullptr},
    {1547, 1, kSealRef, kControlCommand, SealmarkSettingsButton, nullptr, kNone, kNone, nullptr},
    {kPagePreview, 0, nullptr, 0, StampPreviewHandler, nullptr, kNone, kNone, nullptr},
    {kDialogRecordId, 1, kPageRecordRef, 0, StampPageHandler, nullptr, kNone, kNone, nullptr},
};
constexpr INT kPageHelp[] = {1361, 7020, 1358, 7030, 1359, 7040, 1360, 7050, 1362, 7060, 1537, 70000, 1539, 70010,
                             1542, 70020, 1544, 70030, 1546, 70040, 1540, 70050, 1543, 70060, 1364, 70070,
                             1375, 70090, 1451, 7010, 1091, 70080, 1547, 70100, 0, 0};
constexpr INT kPageReadOnly[] = {1363, 1364, kNone};

constexpr SettingRef kNameRef[] = {Bound(kStampName)};
constexpr SettingRef kTextRef[] = {Bound(kStampText)};
constexpr SettingRef kFaceRef[] = {Bound(kStampFace)};
constexpr SettingRef kSizeRef[] = {Bound(306)};
constexpr SettingRef kBoldRef[] = {Bound(307)};
constexpr SettingRef kItalicRef[] = {Bound(308)};
constexpr SettingRef kSwitchBRef[] = {Bound(kStampSwitchB)};
constexpr SettingRef kSwitchARef[] = {Bound(kStampSwitchA)};
constexpr SettingRef kColourChoiceRef[] = {Bound(kStampColourChoice)};
constexpr SettingRef kColourRef[] = {Bound(kStampColour)};
constexpr SettingRef kFrameRef[] = {Bound(kStampFrame)};
constexpr SettingRef kAngleRef[] = {Bound(311)};
constexpr SettingRef kPositionRef[] = {Bound(kStampPlacement)};

constexpr RadioGroupData kFrameButtons{3, {1398, 1373, 1392}};
constexpr RadioGroupData kPositionButtons{9, {1437, 1438, 1439, 1440, 1441, 1442, 1443, 1444, 1445}};
constexpr CommandItem kOkItem{kCommandOk, nullptr};

#define MORVA_POSITION(id) {id, 1, kPositionRef, kRadio, nullptr, &kPositionButtons, kNone, kNone, nullptr}
constexpr ControlRecord kDialogRecords[] = {
    {kDialogRecordId, 0, nullptr, 0, StampDialogHandler, nullptr, kNone, kNone, nullptr},
    {kNameEdit, 1, kNameRef, kControlEdit, nullptr, &kNameField, 1370, 9032, nullptr},
    {1388, 1, kTextRef, kControlEdit, StampTextHandler, &kTextField, 1389, 9033, nullptr},
    {kStampFaceList, 1, kFaceRef, kControlDropDown, StampFontHandler, nullptr, 1393, kNone, nullptr},
    {1390, 1, kSizeRef, kControlDropDown, nullptr, nullptr, 1394, 9202, nullptr},
    {1435, 1, kBoldRef, kControlCheckBox, nullptr, nullptr, kNone, kNone, nullptr},
    {1436, 1, kItalicRef, kControlCheckBox, nullptr, nullptr, kNone, kNone, nullptr},
    {1405, 1, kSwitchBRef, kControlCheckBox, nullptr, nullptr, 1405, 9035, nullptr},
    {1368, 1, kSwitchARef, kControlCheckBox, nullptr, nullptr, 1368, 9036, nullptr},
    {1372, 1, kColourChoiceRef, kControlDropDown, StampColourChoiceHandler, nullptr, 1447, 9037, nullptr},
    {1424, 1, kColourRef, kControlCommand, StampColourButtonHandler, nullptr, kNone, kNone, nullptr},
    {1398, 1, kFrameRef, kRadio, nullptr, &kFrameButtons, kNone, kNone, nullptr},
    {1373, 1, kFrameRef, kRadio, nullptr, &kFrameButtons, kNone, kNone, nullptr},
    {1392, 1, kFrameRef, kRadio, nullptr, &kFrameButtons, kNone, kNone, nullptr},
    {1383, 1, kAngleRef, kTrackbarKind, nullptr, &kDegreesBar, kNone, kNone, nullptr},
    {1399, 1, kAngleRef, kUpDownKind, nullptr, &kDegreesSpin, kNone, kNone, nullptr},
    {1397, 1, kAngleRef, kControlEdit, nullptr, &kAngleField, kNone, kNone, nullptr},
    {1437, 1, kPositionRef, kRadio, StampPositionHandler, &kPositionButtons, kNone, kNone, nullptr},
    MORVA_POSITION(1438), MORVA_POSITION(1439), MORVA_POSITION(1440), MORVA_POSITION(1441),
    MORVA_POSITION(1442), MORVA_POSITION(1443), MORVA_POSITION(1444), MORVA_POSITION(1445),
    {1408, 0, nullptr, kControlCommand, StampOkCheck, &kOkItem, kNone, kNone, &kKeepEnabled},
    {kReloadButton, 0, nullptr, kControlCommand, StampReloadButton, nullptr, kNone, kNone, nullptr},
    {kDialogPreview, 0, nullptr, 0, StampPreviewHandler, nullptr, kNone, kNone, nullptr},
};
#undef MORVA_POSITION
constexpr INT kDialogHelp[] = {1369, 7120, 1370, 7120, 1388, 7125, 1389, 7125, 1371, 7135, 1393, 7135, 1390, 7140,
                               1394, 7140, 1435, 7145, 1436, 7150, 1405, 7115, 1368, 7200, 1372, 7260, 1447, 7260,
                               1424, 7195, 1398, 7210, 1373, 7220, 1392, 7215, 1383, 7225, 1399, 7225, 1397, 7225,
                               1437, 7105, 1365, 7105, 1367, 7105, 1385, 7105, 1386, 7105, 1387, 7105, 1408, 1520,
                               1406, 1580, 1453, 7100, 1374, 7130, 1426, 7205, 1384, 7225, 1395, 7225, 1396, 7225,
                               1454, 7225, 1091, 1530, 1341, 7777, 0, 0};
constexpr INT kDialogReadOnly[] = {1374, 1400, 1401, 1402, 1403, 1404, 1385, 1367, 1386, 1387, 1365, kNone};

}  // namespace

const ControlSet kStampPageControls{kPageRecords, static_cast<INT>(std::size(kPageRecords)), 9999, kPageHelp,
                                    kPageReadOnly, 0};
const ControlSet kStampDialogControls{kDialogRecords, static_cast<INT>(std::size(kDialogRecords)), 7250, kDialogHelp,
                                      kDialogReadOnly, 0};
const ChildDialogTemplate kNewStampDialog[] = {{525, EngineDialogProc<18, kDialogTypeDialog>, 18, kNone, 0}};
const ChildDialogTemplate kEditStampDialog[] = {{525, EngineDialogProc<19, kDialogTypeDialog>, 19, kNone, 0}};

INT CaptureStampRecord(void* devmode, void* printer_data, StampRecord* record) {
  if (!record) return 0;
  *record = StampRecord{};
  WORD type = 0;
  DWORD size = 0;
  ItemValue value{};
  for (WORD ddmid : {kStampName, kStampText}) {
    if (GetItemValue(ddmid, devmode, printer_data, &type, &size, &value) != 0 || type != kTypeText) return 0;
    const std::u16string text = ItemText(value, size);
    WCHAR* out = ddmid == kStampName ? record->name : record->text;
    const size_t room = ddmid == kStampName ? 32 : 64;
    std::memcpy(out, text.data(), std::min(text.size(), room) * sizeof(WCHAR));
  }
  LONG n = 0;
  if (!read_number(devmode, printer_data, kStampColour, &n)) return 0;
  record->colour = static_cast<DWORD>(n);
  if (!read_number(devmode, printer_data, kStampColourChoice, &record->field200)) return 0;
  if (!read_number(devmode, printer_data, kStampSwitchA, &record->field204)) return 0;
  if (!read_number(devmode, printer_data, kStampFrame, &n)) return 0;
  record->frame = static_cast<WORD>(n);
  if (!read_number(devmode, printer_data, kStampPlacement, &n)) return 0;
  record->placement = static_cast<WORD>(n);
  if (!read_number(devmode, printer_data, kStampSwitchB, &record->field212)) return 0;
  if (GetItemValue(kStampFont, devmode, printer_data, &type, &size, &value) != 0 || !value.ptr ||
      size < sizeof(LOGFONTW))
    return 0;
  std::memcpy(&record->font, value.ptr, sizeof(LOGFONTW));
  return 1;
}

INT ApplyStampRecord(void* devmode, void* printer_data, const StampRecord* record) {
  if (!record) return 0;
  const LOGFONTW* font = &record->font;
  return write_text(devmode, printer_data, kStampName, record->name, kNameBytes) &&
         write_text(devmode, printer_data, kStampText, record->text, kTextBytes) &&
         write_number(devmode, printer_data, kStampColour, static_cast<LONG>(record->colour)) &&
         write_number(devmode, printer_data, kStampColourChoice, record->field200) &&
         write_number(devmode, printer_data, kStampSwitchA, record->field204) &&
         write_number(devmode, printer_data, kStampFrame, record->frame) &&
         write_number(devmode, printer_data, kStampPlacement, record->placement) &&
         write_number(devmode, printer_data, kStampSwitchB, record->field212) &&
         SetItemValueRaw(kStampFont, devmode, printer_data, kTypeBlock, sizeof(LOGFONTW), &font) == 0;
}

INT LoadStampIntoSettings(HWND, INT mode, HANDLE printer, DddHandle* database, void* devmode, void* printer_data,
                          LPCWSTR name) {
  StampRecord record{};
  if (ReadStamp(printer, name && *name ? name : nullptr, &record, mode == 2, database) != kStampOk) return -3;
  if (mode == 0) {
    std::memset(record.name, 0, sizeof record.name);
    std::memset(record.text, 0, sizeof record.text);
  }
  return ApplyStampRecord(devmode, printer_data, &record) ? 0 : -1;
}

void RequestStampRefresh(ControlEvent* event) {
  if (!event) return;
  static constexpr WORD kStampSettings[] = {297, 299, 301, 1855, 1287, 302, 303, 1288, 300, 304, 300, 305, 306,
                                            307, 308, 309, 310, 311, 312, 313, 314, 315, 316, 317, 318, 319};
  add_changed(event, kStampSettings, static_cast<INT>(std::size(kStampSettings)));
}

INT_PTR CALLBACK StampPageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  constexpr INT kKind = 17;
  if (message == WM_DESTROY) {
    ReleaseStampFontLists(window);
    return RunEngineDialog(window, message, wParam, lParam, kKind, kDialogTypePage);
  }
  if (message != WM_NOTIFY || !lParam) return RunEngineDialog(window, message, wParam, lParam, kKind, kDialogTypePage);
  const UINT code = reinterpret_cast<const NMHDR*>(lParam)->code;
  if (code == PSN_SETACTIVE) BuildStampFontLists(window);
  const INT_PTR result = RunEngineDialog(window, message, wParam, lParam, kKind, kDialogTypePage);
  // The lists go when the page is let go (or the sheet cancelled).
  if (((code == PSN_KILLACTIVE || code == PSN_APPLY) && GetWindowLongPtrW(window, DWLP_MSGRESULT) == 0) ||
      code == PSN_RESET)
    ReleaseStampFontLists(window);
  return result;
}
