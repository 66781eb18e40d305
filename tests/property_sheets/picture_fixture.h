// The built resource module opened as a module, and reading the pixels of
// pictures painted from it.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "property_sheets/pictures.h"
#include "win/gdi.h"
#include "win/resources.h"

namespace morva::test {

class ResourceModule {
 public:
  ResourceModule() { module_ = morva::platform::open_resource_container(std::string(MORVA_BIN_DIR) + "/morvares.xrs"); }
  ~ResourceModule() {
    if (module_) morva::platform::close_resource_container(module_);
  }
  HMODULE get() const { return module_; }

 private:
  HMODULE module_ = nullptr;
};

// The colour of one pixel of a bitmap.
inline COLORREF pixel(HBITMAP bitmap, int x, int y) {
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bitmap);
  const COLORREF c = GetPixel(dc, x, y);
  SelectObject(dc, old);
  DeleteDC(dc);
  return c;
}

// Whether any pixel of the bitmap inside the rectangle has the colour.
inline bool any_pixel(HBITMAP bitmap, RECT area, COLORREF colour) {
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bitmap);
  bool found = false;
  for (int y = area.top; y < area.bottom && !found; ++y)
    for (int x = area.left; x < area.right && !found; ++x) found = GetPixel(dc, x, y) == colour;
  SelectObject(dc, old);
  DeleteDC(dc);
  return found;
}

}  // namespace morva::test
