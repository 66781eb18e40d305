// The version information dialog: its texts (driver name, version line,
// notices, the model configuration comment), its fonts and its logo mode.
#pragma once

#include "win/gdi.h"
#include "win/types.h"

// Controls of the dialog.
inline constexpr UINT kAboutLogoControl = 1221;
inline constexpr UINT kAboutCommentControl = 1761;
// The comment is assembled in 393 characters: at most 391 are shown.
inline constexpr INT kAboutCommentChars = 393;
inline constexpr INT kAboutCommentShown = 391;

// The version word as shown: a word 0x0209xxxx shows its low 16 bits.
DWORD DisplayedVersionNumber(DWORD word);
// The version line: string 490 (494 with the logo) with 2, 9, 7, 1, the
// shown version number, the language text (string 5146), the host class
// and "02080101"; "." follows when the host class is 0. 1 or 0.
INT BuildAboutVersionLine(HMODULE module, DWORD version_word, INT host_class, BOOL logo, LPWSTR out, INT chars);
// The version block: with the logo "name\nversion\nnotice", else
// "name version\nrights\n\nnotice" (rights: string 444). 1 or 0.
INT BuildAboutVersionBlock(HMODULE module, LPCWSTR name, LPCWSTR version_line, LPCWSTR notice, BOOL logo,
                           LPWSTR out, INT chars);
// The comment: string 491 and, after "\r\n", the model configuration's
// comment; a text longer than the control shows is cut and ends in "...".
// The length written into `out` (kAboutCommentChars characters); 0 when
// both parts are missing (the control is hidden).
INT BuildAboutComment(HMODULE module, LPCWSTR config_comment, LPWSTR out);

enum class AboutFont { kTitle, kVersion, kSmall };
// The LOGFONTW of a font of the dialog: the "Arial" 12-pixel template with
// the face and point size of the font's strings, the dialog's charset when
// it is a single-byte one above 127, weight 700 for the title (400 when the
// logo initialisation made it first). `screen_dpi` sizes the title and the
// plain version font; the logo fonts are sized at 96 dpi.
BOOL MakeAboutLogFont(HMODULE module, AboutFont which, BYTE dialog_charset, BOOL logo, BOOL logo_first,
                      INT screen_dpi, LOGFONTW* out);

// The fonts and logo mode the dialogs share.
struct AboutDialogState {
  BOOL logo_mode;  // the dialog now open has the logo picture
  HFONT title;
  HFONT version;
  HFONT small;     // logo mode only; kept between dialogs
};
AboutDialogState* GetAboutDialogState();
// Initialisation of one dialog: the logo mode follows this dialog's
// template, and every font that is missing (never made, or deleted when
// the last dialog closed) is made. 1, or 0 when a font cannot be made.
INT AboutDialogInit(HMODULE module, BYTE dialog_charset, BOOL has_logo_control, INT screen_dpi);
// The dialog closes: the title and version fonts are deleted and
// forgotten, so the next dialog makes them again.
void AboutDialogDestroy();
// Whether the dialog paints its static texts itself (black on a
// transparent background): only in logo mode with the logo shown.
BOOL AboutAnswersStaticColour(BOOL logo_shown);

struct ControlSet;
// The dialog kind of the version information dialog and its controls: the
// web-site button (1353) and the device picture (1217).
inline constexpr INT kVersionDialogKind = 8;
extern const ControlSet kVersionDialogControls;
// The dialog's procedure: its texts, fonts and logo are set around the
// engine's own handling.
INT_PTR VersionDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
