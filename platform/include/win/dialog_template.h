// Reading dialog templates (RT_DIALOG resources): the standard DLGTEMPLATE
// and the extended DLGTEMPLATEEX layouts, with their controls, as the
// window system needs them to build a dialog.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "win/types.h"

namespace morva::platform {

// A menu, class or title field: absent, an ordinal (0xFFFF then a WORD),
// or a string.
struct TemplateName {
  bool is_ordinal = false;
  WORD ordinal = 0;
  std::u16string text;
  bool empty() const { return !is_ordinal && text.empty(); }
};

struct DialogItemTemplate {
  DWORD help_id = 0;  // extended templates only
  DWORD style = 0;
  DWORD ex_style = 0;
  SHORT x = 0, y = 0, cx = 0, cy = 0;
  DWORD id = 0;           // a WORD in standard templates
  TemplateName class_name;  // ordinal 0x80-0x85: BUTTON, EDIT, STATIC, LISTBOX, SCROLLBAR, COMBOBOX
  TemplateName title;
  std::vector<BYTE> creation_data;
};

struct DialogTemplate {
  bool extended = false;
  DWORD help_id = 0;
  DWORD style = 0;
  DWORD ex_style = 0;
  SHORT x = 0, y = 0, cx = 0, cy = 0;
  TemplateName menu;
  TemplateName class_name;
  std::u16string title;
  bool has_font = false;  // DS_SETFONT (or DS_SHELLFONT)
  WORD point_size = 0;
  WORD weight = 0;        // extended templates only
  BYTE italic = 0;
  BYTE charset = 0;
  std::u16string face;
  std::vector<DialogItemTemplate> items;
};

// Parses a template of `size` bytes; false when it is malformed or runs
// past its end.
MORVA_WIN_API bool parse_dialog_template(const void* data, std::size_t size, DialogTemplate& out);

}  // namespace morva::platform
