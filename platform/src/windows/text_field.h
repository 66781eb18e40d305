// The text being edited in an edit control or in an editable combo box:
// text, selection, limit and one level of undo.
#pragma once

#include <algorithm>
#include <string>

#include "win/types.h"

namespace morva::platform::win {

struct TextField {
  std::u16string text;
  std::size_t sel_start = 0;  // anchor
  std::size_t sel_end = 0;    // caret
  std::size_t limit = 0x7FFFFFFE;
  std::u16string undo_text;
  bool can_undo = false;
  bool modified = false;

  std::size_t lo() const { return std::min(sel_start, sel_end); }
  std::size_t hi() const { return std::max(sel_start, sel_end); }

  void set_selection(LONG start, LONG end) {
    // -1 as start removes the selection (caret at its end); -1 as end
    // means the end of the text.
    std::size_t n = text.size();
    if (start < 0) {
      sel_start = sel_end = hi();
      return;
    }
    sel_start = std::min<std::size_t>(static_cast<std::size_t>(start), n);
    sel_end = end < 0 ? n : std::min<std::size_t>(static_cast<std::size_t>(end), n);
  }

  // Replaces the whole text (no limit applies, as for WM_SETTEXT).
  void reset(std::u16string value) {
    text = std::move(value);
    sel_start = sel_end = 0;
    can_undo = false;
    undo_text.clear();
    modified = false;
  }

  // Replaces the selection with `insert`, cut to the room the limit
  // leaves. Answers false when nothing fits (the text is full).
  bool replace_selection(std::u16string insert, bool keep_undo, bool* truncated = nullptr) {
    std::size_t room = limit > text.size() - (hi() - lo()) ? limit - (text.size() - (hi() - lo())) : 0;
    if (truncated) *truncated = insert.size() > room;
    if (insert.size() > room) insert.resize(room);
    if (insert.empty() && lo() == hi()) return false;
    if (keep_undo) {
      undo_text = text;
      can_undo = true;
    }
    std::size_t at = lo();
    text.replace(at, hi() - at, insert);
    sel_start = sel_end = at + insert.size();
    modified = true;
    return true;
  }

  bool undo() {
    if (!can_undo) return false;
    std::swap(text, undo_text);
    sel_start = sel_end = text.size();
    modified = true;
    return true;
  }
};

}  // namespace morva::platform::win
