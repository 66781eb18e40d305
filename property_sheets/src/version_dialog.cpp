// The version information dialog's texts, fonts and logo mode.
#include "property_sheets/version_dialog.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>

#include "settings/common/common_utils.h"
#include "win/resources.h"

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
