// Image lists: icons of one size that list views and other controls draw
// by index.
//
// Rules kept from the real platform:
// - An added icon is copied: the caller may destroy its own icon at once.
// - ImageList_ReplaceIcon with index -1 appends and answers the new index;
//   an index past the end fails with -1.
// - Drawing stretches nothing the caller asked for: the image is drawn in
//   the list's size at (x, y), its transparent parts leaving the target.
// - Destroying the list destroys its copies.
#include <algorithm>
#include <mutex>
#include <set>
#include <vector>

#include "win/controls.h"
#include "win/errors.h"
#include "win/gdi.h"
#include "win/resources.h"

struct IMAGELIST_ {
  INT cx = 0, cy = 0;
  std::vector<HICON> icons;
};

namespace {

std::mutex g_lists_lock;
std::set<IMAGELIST_*> g_lists;

IMAGELIST_* live(HIMAGELIST list) {
  std::lock_guard<std::mutex> g(g_lists_lock);
  return g_lists.count(list) ? list : nullptr;
}

}  // namespace

extern "C" {

HIMAGELIST ImageList_Create(INT cx, INT cy, UINT, INT initial, INT) {
  if (cx <= 0 || cy <= 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto* list = new IMAGELIST_;
  list->cx = cx;
  list->cy = cy;
  list->icons.reserve(static_cast<std::size_t>(std::max(initial, 0)));
  std::lock_guard<std::mutex> g(g_lists_lock);
  g_lists.insert(list);
  return list;
}

BOOL ImageList_Destroy(HIMAGELIST list) {
  {
    std::lock_guard<std::mutex> g(g_lists_lock);
    if (!g_lists.erase(list)) return FALSE;
  }
  for (HICON icon : list->icons) DestroyIcon(icon);
  delete list;
  return TRUE;
}

INT ImageList_ReplaceIcon(HIMAGELIST list, INT index, HICON icon) {
  IMAGELIST_* l = live(list);
  if (!l || index < -1 || index >= static_cast<INT>(l->icons.size())) return -1;
  HICON copy = icon ? CopyIcon(icon) : nullptr;
  if (!copy) return -1;
  if (index == -1) {
    l->icons.push_back(copy);
    return static_cast<INT>(l->icons.size()) - 1;
  }
  DestroyIcon(l->icons[static_cast<std::size_t>(index)]);
  l->icons[static_cast<std::size_t>(index)] = copy;
  return index;
}

INT ImageList_GetImageCount(HIMAGELIST list) {
  IMAGELIST_* l = live(list);
  return l ? static_cast<INT>(l->icons.size()) : 0;
}

BOOL ImageList_GetIconSize(HIMAGELIST list, INT* cx, INT* cy) {
  IMAGELIST_* l = live(list);
  if (!l || !cx || !cy) return FALSE;
  *cx = l->cx;
  *cy = l->cy;
  return TRUE;
}

BOOL ImageList_Draw(HIMAGELIST list, INT index, HDC dc, INT x, INT y, UINT) {
  IMAGELIST_* l = live(list);
  if (!l || index < 0 || index >= static_cast<INT>(l->icons.size())) return FALSE;
  return DrawIconEx(dc, x, y, l->icons[static_cast<std::size_t>(index)], l->cx, l->cy, 0, nullptr, DI_NORMAL);
}

}  // extern "C"
