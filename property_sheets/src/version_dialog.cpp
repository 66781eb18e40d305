// The version information dialog's texts, fonts and logo mode.
#include "property_sheets/version_dialog.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>

#include "property_sheets/margin_checks.h"
#include "property_sheets/picture_handlers.h"
#include "property_sheets/pictures.h"
#include "property_sheets/sheet_engine.h"
#include "property_sheets/sheet_records.h"
#include "settings/common/common_utils.h"
#include "settings/common/module_state.h"
#include "settings/database/ddd_file.h"
#include "settings/database/ddd_queries.h"
#include "settings/database/model_config.h"
#include "win/controls.h"
#include "win/memory.h"
#include "win/resources.h"
#include "win/window.h"

namespace {

std::u16string text_of(HMODULE module, UINT id, INT max_chars = 255) {
  WCHAR buffer[256] = {};
  const INT n = LoadStringW(module, id, buffer, std::min(256, max_chars + 1));
  return std::u16string(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

INT copy_out(const std::u16string& s, LPWSTR out, INT chars) {
  if (!out || chars <= 0) return 0;
  const size_t n = std::min(s.size(), static_cast<size_t>(chars - 1));
  std::memcpy(out, s.data(), n * sizeof(WCHAR));
  out[n] = 0;
  return static_cast<INT>(n);
}

// Double-byte charsets keep the template's.
bool single_byte_high(BYTE charset) {
  return charset > 127 && charset != 128 && charset != 129 && charset != 134 && charset != 136;
}

std::mutex g_lock;
AboutDialogState g_state{};

}  // namespace

DWORD DisplayedVersionNumber(DWORD word) { return (word & 0xFFFF0000u) == 0x02090000u ? word & 0xFFFF : word; }

INT BuildAboutVersionLine(HMODULE module, DWORD version_word, INT host_class, BOOL logo, LPWSTR out, INT chars) {
  const std::u16string templ = text_of(module, logo ? 494 : 490);
  if (templ.empty() || !out || chars <= 0) return 0;
  const std::u16string language = text_of(module, 5146);
  WCHAR line[512] = {};
  FormatResourceMessage(line, 512, templ.c_str(), 2, 9, 7, 1, static_cast<INT>(DisplayedVersionNumber(version_word)),
                        language.c_str(), host_class, u"02080101");
  std::u16string s = line;
  if (host_class == 0) s += u".";
  copy_out(s, out, chars);
  return 1;
}

INT BuildAboutVersionBlock(HMODULE module, LPCWSTR name, LPCWSTR version_line, LPCWSTR notice, BOOL logo,
                           LPWSTR out, INT chars) {
  if (!out || chars <= 0) return 0;
  const std::u16string n = name ? name : u"", v = version_line ? version_line : u"";
  const std::u16string rights = text_of(module, 444);
  const std::u16string block = logo ? n + u"\n" + v + u"\n" + rights
                                    : n + u" " + v + u"\n" + rights + u"\n\n" + (notice ? notice : u"");
  copy_out(block, out, chars);
  return 1;
}

INT BuildAboutComment(HMODULE module, LPCWSTR config_comment, LPWSTR out) {
  if (!out) return 0;
  out[0] = 0;
  const std::u16string heading = text_of(module, 491, 128);
  const std::u16string comment = config_comment ? config_comment : u"";
  if (heading.empty() && comment.empty()) return 0;
  std::u16string s = heading;
  if (!heading.empty() && !comment.empty()) s += u"\r\n";
  s += comment;
  if (s.size() > static_cast<size_t>(kAboutCommentShown)) s = s.substr(0, kAboutCommentShown - 3) + u"...";
  return copy_out(s, out, kAboutCommentChars);
}

BOOL MakeAboutLogFont(HMODULE module, AboutFont which, BYTE dialog_charset, BOOL logo, BOOL logo_first,
                      INT screen_dpi, LOGFONTW* out) {
  if (!out) return FALSE;
  LOGFONTW lf{};
  lf.lfHeight = 12;
  lf.lfWeight = FW_NORMAL;
  lf.lfCharSet = ANSI_CHARSET;
  const char16_t arial[] = u"Arial";
  std::memcpy(lf.lfFaceName, arial, sizeof arial);
  if (single_byte_high(dialog_charset)) lf.lfCharSet = dialog_charset;
  UINT face_id, size_id;
  INT points, dpi = screen_dpi > 0 ? screen_dpi : 96;
  switch (which) {
    case AboutFont::kTitle:
      face_id = 5182;
      size_id = 5183;
      points = 18;
      lf.lfWeight = logo_first ? FW_NORMAL : FW_BOLD;
      {
        const std::u16string charset = text_of(module, 1790);
        if (!charset.empty() && charset.size() < 4 &&
            charset.find_first_not_of(u"0123456789") == std::u16string::npos) {
          const INT value = std::stoi(std::string(charset.begin(), charset.end()));
          if (value != 128) lf.lfCharSet = static_cast<BYTE>(value);
        }
      }
      break;
    case AboutFont::kVersion:
      face_id = logo ? 5329 : 5185;
      size_id = logo ? 5330 : 5186;
      points = 14;
      if (logo) dpi = 96;
      break;
    default:
      face_id = 5329;
      size_id = 5330;
      points = 9;
      dpi = 96;
      break;
  }
  const std::u16string face = text_of(module, face_id, LF_FACESIZE - 1);
  if (!face.empty()) {
    std::memset(lf.lfFaceName, 0, sizeof lf.lfFaceName);
    std::memcpy(lf.lfFaceName, face.data(), face.size() * sizeof(WCHAR));
  }
  const std::u16string size = text_of(module, size_id, 8);
  if (!size.empty() && size.find_first_not_of(u"0123456789") == std::u16string::npos)
    points = std::stoi(std::string(size.begin(), size.end()));
  lf.lfHeight = -MulDiv(points, dpi, 72);
  *out = lf;
  return TRUE;
}

AboutDialogState* GetAboutDialogState() { return &g_state; }

INT AboutDialogInit(HMODULE module, BYTE dialog_charset, BOOL has_logo_control, INT screen_dpi) {
  std::lock_guard<std::mutex> g(g_lock);
  // Each dialog decides the mode from its own template.
  g_state.logo_mode = has_logo_control;
  auto make = [&](HFONT* font, AboutFont which, BOOL logo_first) {
    if (*font) return true;
    LOGFONTW lf{};
    if (!MakeAboutLogFont(module, which, dialog_charset, has_logo_control, logo_first, screen_dpi, &lf)) return false;
    *font = CreateFontIndirectW(&lf);
    return *font != nullptr;
  };
  bool ok = make(&g_state.title, AboutFont::kTitle, has_logo_control) && make(&g_state.version, AboutFont::kVersion, FALSE);
  if (ok && has_logo_control) ok = make(&g_state.small, AboutFont::kSmall, FALSE);
  return ok ? 1 : 0;
}

void AboutDialogDestroy() {
  std::lock_guard<std::mutex> g(g_lock);
  if (g_state.title) DeleteObject(g_state.title);
  if (g_state.version) DeleteObject(g_state.version);
  g_state.title = nullptr;
  g_state.version = nullptr;
}

BOOL AboutAnswersStaticColour(BOOL logo_shown) { return g_state.logo_mode && logo_shown; }

// ---- the dialog ----

namespace {

constexpr INT kTitle = 1215, kBlock = 1213, kLogoTitle = 1219, kLogoBlock = 1220, kLogoNotice = 1222,
              kPaintNotice = 1223, kDevicePicture = 1217, kLogoPlaceholder = 3280, kWebSiteButton = 1353, kOk = 1092;
// The global field naming the model's logo picture.
constexpr WORD kLogoPictureField = 1;
// The database's text records: the driver's name, its notice, the title.
constexpr WORD kNameRecord = 31, kNoticeRecord = 32, kTitleRecord = 38;
constexpr DWORD kDevicePictureOption = 0xFFFF003C;
constexpr char16_t kLogoPaletteProperty[] = u"PROP_LOGOBMP_PALHNDL";

std::u16string database_text(DddHandle* database, WORD record) {
  if (!database) return {};
  WCHAR* text = nullptr;
  DddReadVarRecord(&database->main, record, 0, &text);
  std::u16string s = text ? text : u"";
  if (text) GlobalFree(text);
  return s;
}

struct AboutTexts {
  std::u16string title, block, notice;
};

AboutTexts about_texts(HMODULE module, HWND dialog, BOOL logo) {
  AboutTexts t;
  const SheetContext* context = GetSheetContext(dialog);
  DddHandle* database = context && context->state ? context->state->database : nullptr;
  t.title = database_text(database, kTitleRecord);
  t.notice = database_text(database, kNoticeRecord);
  WCHAR line[512] = {}, block[1024] = {};
  if (BuildAboutVersionLine(module, database ? database->main.version : 0, SheetHostClass(context), logo, line, 512)) {
    const std::u16string name = database_text(database, kNameRecord);
    if (BuildAboutVersionBlock(module, name.c_str(), line, t.notice.c_str(), logo, block, 1024)) t.block = block;
    // Without a driver name the block starts with the version line.
    if (!logo && name.empty() && !t.block.empty() && t.block[0] == u' ') t.block.erase(0, 1);
  }
  return t;
}

// A missing text leaves the control's own; the font is set when there is one.
void show_text(HWND dialog, INT id, HFONT font, const std::u16string& text) {
  HWND control = GetDlgItem(dialog, id);
  if (!control) return;
  if (font && reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)) != font)
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  if (text.empty()) return;
  WCHAR shown[1024] = {};
  GetWindowTextW(control, shown, 1024);
  if (text != shown) SetWindowTextW(control, text.c_str());
}

void show_texts(HMODULE module, HWND dialog, bool painting) {
  const AboutDialogState* s = GetAboutDialogState();
  const BOOL logo = s->logo_mode;
  const AboutTexts t = about_texts(module, dialog, logo);
  if (!logo || painting) {
    show_text(dialog, kTitle, s->title, t.title);
    show_text(dialog, kBlock, s->version, t.block);
  }
  if (logo) {
    if (!painting) {
      show_text(dialog, kLogoTitle, s->title, t.title);
      show_text(dialog, kLogoBlock, s->version, t.block);
    }
    show_text(dialog, painting ? kPaintNotice : kLogoNotice, s->small, t.notice);
  }
}

BYTE dialog_charset(HWND dialog) {
  LOGFONTW lf{};
  HFONT font = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
  return font && GetObjectW(font, sizeof lf, &lf) == static_cast<INT>(sizeof lf) ? lf.lfCharSet : ANSI_CHARSET;
}

INT screen_dpi() {
  HDC screen = GetDC(nullptr);
  const INT dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

RECT rect_in(HWND dialog, HWND control) {
  RECT r{};
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// The model's logo in control 1221 with its own palette. The picture
// control takes the logo's size; the dialog grows to hold it, the buttons
// move with the growth, and the placeholder and the comment give way.
void show_logo(HWND dialog, DddHandle* database) {
  HWND logo = GetDlgItem(dialog, static_cast<INT>(kAboutLogoControl));
  if (!logo || !database) return;
  BYTE* dib = DddLoadPictureByField(&database->main, &database->linked, kLogoPictureField, nullptr, nullptr);
  if (!dib) return;
  HPALETTE palette = nullptr;
  HBITMAP bitmap = nullptr;
  CreateBitmapFromDib(dialog, reinterpret_cast<const BITMAPINFOHEADER*>(dib), static_cast<DWORD>(GlobalSize(dib)),
                      &palette, &bitmap);
  GlobalFree(dib);
  if (palette) SetPropW(logo, kLogoPaletteProperty, palette);
  if (!bitmap) return;
  SendMessageW(logo, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap));
  BITMAP shape{};
  GetObjectW(bitmap, sizeof shape, &shape);
  RECT client{};
  GetClientRect(dialog, &client);
  const INT wider = shape.bmWidth > client.right ? shape.bmWidth - client.right : 0;
  HWND placeholder = GetDlgItem(dialog, kLogoPlaceholder);
  const INT taller = placeholder ? rect_in(dialog, logo).bottom - rect_in(dialog, placeholder).bottom : 0;
  RECT outer{};
  GetWindowRect(dialog, &outer);
  SetWindowPos(dialog, nullptr, 0, 0, outer.right - outer.left + wider, outer.bottom - outer.top + taller,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  // The texts over the logo keep their size in pixels of a 96-dpi screen.
  const INT dpi = screen_dpi();
  for (INT id : {kLogoTitle, kLogoBlock, kLogoNotice, static_cast<INT>(kAboutCommentControl)}) {
    if (HWND control = GetDlgItem(dialog, id)) {
      const RECT r = rect_in(dialog, control);
      SetWindowPos(control, nullptr, 0, 0, MulDiv(r.right - r.left, 96, dpi), MulDiv(r.bottom - r.top, 96, dpi),
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
  for (INT id : {kWebSiteButton, kOk}) {
    if (HWND control = GetDlgItem(dialog, id)) {
      const RECT r = rect_in(dialog, control);
      SetWindowPos(control, nullptr, r.left + wider, r.top + taller, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
  for (INT id : {kLogoPlaceholder, static_cast<INT>(kAboutCommentControl)})
    if (HWND control = GetDlgItem(dialog, id)) ShowWindow(control, SW_HIDE);
}

void about_init(HMODULE module, HWND dialog) {
  const SheetContext* context = GetSheetContext(dialog);
  DddHandle* database = context && context->state ? context->state->database : nullptr;
  // The model configuration's comment under its heading.
  WCHAR* comment = nullptr;
  if (database) {
    WCHAR* path = GetConfigFilePath(database);
    DddStatus status = 0;
    WCHAR* model = DddGetModelName(database, &status);
    if (path && model) comment = ReadConfigComment(model, path);
    if (path) GlobalFree(path);
    if (model) GlobalFree(model);
  }
  WCHAR text[kAboutCommentChars] = {};
  const INT length = BuildAboutComment(module, comment, text);
  if (comment) GlobalFree(comment);
  if (HWND control = GetDlgItem(dialog, static_cast<INT>(kAboutCommentControl))) {
    if (length > 0) SetWindowTextW(control, text);
    else ShowWindow(control, SW_HIDE);
  }
  if (!HasDeviceCapability(database, kDevicePictureOption))
    if (HWND picture = GetDlgItem(dialog, kDevicePicture)) ShowWindow(picture, SW_HIDE);
  const BOOL logo = GetDlgItem(dialog, static_cast<INT>(kAboutLogoControl)) != nullptr;
  AboutDialogInit(module, dialog_charset(dialog), logo, screen_dpi());
  show_texts(module, dialog, false);
  if (logo) show_logo(dialog, database);
}

void about_destroy(HWND dialog) {
  AboutDialogDestroy();
  if (HWND logo = GetDlgItem(dialog, static_cast<INT>(kAboutLogoControl))) {
    if (HGDIOBJ bitmap = reinterpret_cast<HGDIOBJ>(SendMessageW(logo, STM_SETIMAGE, IMAGE_BITMAP, 0)))
      DeleteObject(bitmap);
    if (HANDLE palette = RemovePropW(logo, kLogoPaletteProperty)) DeleteObject(palette);
  }
}

void about_palette(HWND dialog, UINT message, WPARAM wParam) {
  HWND logo = GetDlgItem(dialog, static_cast<INT>(kAboutLogoControl));
  if (!GetAboutDialogState()->logo_mode || !logo) return;
  if (message == WM_PALETTECHANGED && reinterpret_cast<HWND>(wParam) == logo) return;
  auto palette = static_cast<HPALETTE>(GetPropW(logo, kLogoPaletteProperty));
  if (!palette) return;
  HDC dc = GetDC(logo);
  HPALETTE old = SelectPalette(dc, palette, FALSE);
  RealizePalette(dc);
  SelectPalette(dc, old, FALSE);
  ReleaseDC(logo, dc);
  InvalidateRect(dialog, nullptr, TRUE);
}

constexpr ShellOpenCommand kWebSite{kNone};
constexpr CommandItem kWebSiteCommand{kCommandShellOpen, &kWebSite};
constexpr ControlRecord kVersionRecords[] = {
    {1353, 0, nullptr, kControlCommand, nullptr, &kWebSiteCommand, kNone, kNone, nullptr},
    {kDevicePicture, 0, nullptr, 0, PicturePageHandler, nullptr, kNone, kNone, nullptr},
};
constexpr INT kVersionHelp[] = {1353, 10000, 1092, 99010, 0, 0};

}  // namespace

const ControlSet kVersionDialogControls{kVersionRecords, static_cast<INT>(std::size(kVersionRecords)), 9999,
                                        kVersionHelp, nullptr, 0};

INT_PTR VersionDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  HMODULE module = GetResourceModule();
  switch (message) {
    case WM_INITDIALOG: {
      const INT_PTR result = RunEngineDialog(dialog, message, wParam, lParam, kVersionDialogKind, kDialogTypeDialog);
      about_init(module, dialog);
      return result;
    }
    case WM_PAINT: {
      PAINTSTRUCT paint{};
      BeginPaint(dialog, &paint);
      show_texts(module, dialog, true);
      EndPaint(dialog, &paint);
      break;
    }
    case WM_DESTROY: about_destroy(dialog); break;
    case WM_QUERYNEWPALETTE:
    case WM_PALETTECHANGED: about_palette(dialog, message, wParam); break;
    case WM_CTLCOLORSTATIC: {
      HWND logo = GetDlgItem(dialog, static_cast<INT>(kAboutLogoControl));
      if (AboutAnswersStaticColour(logo && SendMessageW(logo, STM_GETIMAGE, IMAGE_BITMAP, 0) != 0)) {
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, RGB(0, 0, 0));
        SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
      }
      break;
    }
    default: break;
  }
  return RunEngineDialog(dialog, message, wParam, lParam, kVersionDialogKind, kDialogTypeDialog);
}
