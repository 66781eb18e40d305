// Picture controls: the replaced window procedure of static controls that
// paint positioned bitmaps, their background capture and invalidation.
#include "property_sheets/picture_control.h"

#include <map>
#include <mutex>

#include "settings/common/system_utils.h"

namespace {

// A copy of the parent's pixels under a control.
struct BackgroundCache {
  HDC dc = nullptr;
  HBITMAP bitmap = nullptr;
  HGDIOBJ old = nullptr;
  BOOL refresh = FALSE;
  BOOL erase_pending = FALSE;
};

struct PictureState {
  WNDPROC previous = nullptr;
  HMODULE module = nullptr;
  BackgroundCache* cache = nullptr;
};

std::recursive_mutex g_lock;
std::map<HWND, PictureState>& controls() {
  static std::map<HWND, PictureState> table;
  return table;
}

PictureState* state_of(HWND control) {
  auto it = controls().find(control);
  return it == controls().end() ? nullptr : &it->second;
}

void drop_cache(PictureState* s) {
  if (!s || !s->cache) return;
  if (s->cache->old) SelectObject(s->cache->dc, s->cache->old);
  if (s->cache->bitmap) DeleteObject(s->cache->bitmap);
  if (s->cache->dc) DeleteDC(s->cache->dc);
  delete s->cache;
  s->cache = nullptr;
}

const PictureKindData* kind_data(HWND control) {
  return static_cast<const PictureKindData*>(GetPropW(control, kPictureProperty));
}

LRESULT pass_on(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  WNDPROC previous = nullptr;
  {
    std::lock_guard<std::recursive_mutex> g(g_lock);
    if (PictureState* s = state_of(window)) previous = s->previous;
  }
  return previous ? CallWindowProcW(previous, window, message, wparam, lparam)
                  : DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

INT SubclassPictureControl(HWND dialog, UINT control_id, const PictureKindData* data, HMODULE module) {
  HWND control = GetDlgItem(dialog, static_cast<INT>(control_id));
  if (!control || !data) return 0;
  std::lock_guard<std::recursive_mutex> g(g_lock);
  SetPropW(control, kPictureProperty, const_cast<PictureKindData*>(data));
  PictureState& s = controls()[control];
  s.module = module;
  if (!s.previous)
    s.previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PictureWindowProc)));
  return 1;
}

INT PaintPictureControl(HWND control) {
  const PictureKindData* data = kind_data(control);
  if (!data) return 6;
  HMODULE module = nullptr;
  HDC cached = nullptr;
  {
    std::lock_guard<std::recursive_mutex> g(g_lock);
    if (PictureState* s = state_of(control)) {
      module = s->module;
      if (s->cache) cached = s->cache->dc;
    }
  }
  PAINTSTRUCT ps{};
  HDC dc = BeginPaint(control, &ps);
  if (!dc) return 6;
  RECT client{};
  GetClientRect(control, &client);
  PreviewImage* list = nullptr;
  HPALETTE palette = nullptr;
  HWND dialog = GetParent(control);
  const INT built = data->builder
                        ? data->builder(module, dialog, static_cast<UINT>(GetDlgCtrlID(control)), &list, &palette)
                        : LoadPictureBitmap(module, dialog, data->bitmap, &list, &palette);
  BOOL background = TRUE;
  COLORREF colour = GetSysColor(COLOR_BTNFACE);
  switch (data->background) {
    case kPictureBackgroundButtonFace: break;
    case kPictureBackgroundParent: colour = 0; break;
    case kPictureBackgroundPattern: colour = kPicturePatternColour; break;
    default: background = FALSE; break;
  }
  INT result = 0;
  if (built == 0 && list)
    result = DrawPreviewImages(module, control, dc, client.left, client.top, client.right, client.bottom, list,
                               palette, data->transparent, background, colour, cached) == 0
                 ? 0
                 : 6;
  if (palette) DeleteObject(palette);
  FreePreviewImages(list);
  EndPaint(control, &ps);
  return result;
}

LRESULT PictureDefaultProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam, const PictureKindData* data) {
  switch (message) {
    case WM_DESTROY: {
      RemovePropW(window, kPictureProperty);
      const LRESULT r = pass_on(window, message, wparam, lparam);
      std::lock_guard<std::recursive_mutex> g(g_lock);
      drop_cache(state_of(window));
      controls().erase(window);
      return r;
    }
    case WM_PAINT:
      PaintPictureControl(window);
      return 0;
    case WM_ERASEBKGND:
      if (data && data->background == kPictureBackgroundParent) {
        RefreshBackground(window, data->erase);
        return 1;
      }
      break;
    case WM_SETCURSOR:
      if (data && data->click_command) {
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
      }
      break;
    case WM_LBUTTONDOWN:
      if (data && data->click_command) {
        PostMessageW(GetParent(window), UM_CYCLE_CHOICE, data->click_command, 0);
        return 0;
      }
      break;
    case WM_QUERYNEWPALETTE:
      InvalidateRect(window, nullptr, FALSE);
      return 0;
    case WM_PALETTECHANGED:
      // The control's own palette change would only come back here.
      if (reinterpret_cast<HWND>(wparam) != window) InvalidateRect(window, nullptr, FALSE);
      return 0;
    default:
      break;
  }
  return pass_on(window, message, wparam, lparam);
}

LRESULT CALLBACK PictureWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  const PictureKindData* data = kind_data(window);
  if (data && data->handler) return data->handler(window, message, wparam, lparam);
  if (!data) return pass_on(window, message, wparam, lparam);
  return PictureDefaultProc(window, message, wparam, lparam, data);
}

INT InvalidatePicture(HWND dialog, UINT control_id) {
  HWND control = GetDlgItem(dialog, static_cast<INT>(control_id));
  if (!control) return 6;
  bool refresh = false;
  if (IsWindowsXPOrLater()) {
    std::lock_guard<std::recursive_mutex> g(g_lock);
    PictureState* s = state_of(control);
    if (s && s->cache && s->cache->refresh) {
      s->cache->erase_pending = TRUE;
      s->cache->refresh = FALSE;
      refresh = true;
    }
  }
  if (refresh) {
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    InvalidateRect(dialog, &r, TRUE);
  } else {
    InvalidateRect(control, nullptr, FALSE);
  }
  return 0;
}

INT CaptureBackground(HWND control, BOOL flag, BOOL erase) {
  std::lock_guard<std::recursive_mutex> g(g_lock);
  PictureState* s = state_of(control);
  if (!s) return 6;
  if (s->cache || !IsWindowsXPOrLater()) return 0;
  RECT client{};
  GetClientRect(control, &client);
  HDC window_dc = GetDC(control);
  if (!window_dc) return 6;
  auto* cache = new BackgroundCache;
  cache->dc = CreateCompatibleDC(window_dc);
  cache->bitmap = cache->dc ? CreateCompatibleBitmap(window_dc, client.right, client.bottom) : nullptr;
  bool ok = cache->bitmap != nullptr;
  if (ok) {
    cache->old = SelectObject(cache->dc, cache->bitmap);
    ok = BitBlt(cache->dc, 0, 0, client.right, client.bottom, window_dc, 0, 0, SRCCOPY);
  }
  ReleaseDC(control, window_dc);
  cache->refresh = flag;
  cache->erase_pending = erase;
  s->cache = cache;
  if (!ok) {
    drop_cache(s);
    return 6;
  }
  return 0;
}

INT RefreshBackground(HWND control, BOOL erase) {
  BOOL flag = FALSE;
  {
    std::lock_guard<std::recursive_mutex> g(g_lock);
    PictureState* s = state_of(control);
    if (!s) return 6;
    if (s->cache) flag = !s->cache->erase_pending;
    drop_cache(s);
  }
  return CaptureBackground(control, flag, erase);
}
