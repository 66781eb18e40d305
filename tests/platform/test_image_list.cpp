// Image lists and a list view's small images: added icons are copies, the
// list view draws each row's image before the first column's text, and it
// destroys the lists it was given unless they are shared.
#include <gtest/gtest.h>
#include <png.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fixtures/ui_fixture.h"
#include "png_file.h"
#include "temp_root.h"
#include "preview_art.h"
#include "xrs_compiler.h"

namespace {

using namespace morva::test;
namespace ui = morva::platform::ui;
namespace art = morva::preview_art;

class ImageLists : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    // A 16 x 16 icon: a red square with a transparent frame of 4 pixels.
    art::Canvas icon(16, 16, art::kKey);
    icon.fill(4, 4, 8, 8, art::kRed);
    const std::vector<std::uint8_t> bytes = art::ico_bytes(icon);
    write_file(root_.file("src/red.ico"), std::string(bytes.begin(), bytes.end()));
    auto result = morva::xrs::compile_resource_text(R"({"icons": [{"id": 300, "file": "red.ico"}]})",
                                                    root_.file("src"));
    ASSERT_TRUE(result.error.empty()) << result.error;
    icons_ = morva::platform::open_resource_container(result.container, nullptr);
    ASSERT_NE(icons_, nullptr);
  }
  void TearDown() override {
    morva::platform::close_resource_container(icons_);
    UiTest::TearDown();
  }
  // A list of the red icon, the caller's icon destroyed at once.
  HIMAGELIST red_list() {
    HIMAGELIST list = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 1, 1);
    HICON icon = LoadIconW(icons_, MAKEINTRESOURCEW(300));
    EXPECT_NE(icon, nullptr);
    EXPECT_EQ(ImageList_AddIcon(list, icon), 0);
    EXPECT_TRUE(DestroyIcon(icon));
    return list;
  }
  HWND list_view(HWND parent, DWORD style) {
    return CreateWindowExW(0, WC_LISTVIEWW, u"", WS_CHILD | WS_VISIBLE | LVS_REPORT | style, 0, 0, 200, 40, parent,
                           reinterpret_cast<HMENU>(46), nullptr, nullptr);
  }

  TempRoot root_;
  HMODULE icons_ = nullptr;
};

TEST_F(ImageLists, IconsAreCopiesAddedByIndex) {
  HIMAGELIST list = red_list();
  EXPECT_EQ(ImageList_GetImageCount(list), 1);
  HICON icon = LoadIconW(icons_, MAKEINTRESOURCEW(300));
  EXPECT_EQ(ImageList_ReplaceIcon(list, 3, icon), -1) << "past the end";
  EXPECT_EQ(ImageList_ReplaceIcon(list, 0, icon), 0);
  EXPECT_EQ(ImageList_ReplaceIcon(list, -1, nullptr), -1);
  DestroyIcon(icon);
  EXPECT_EQ(ImageList_GetImageCount(list), 1);
  INT cx = 0, cy = 0;
  EXPECT_TRUE(ImageList_GetIconSize(list, &cx, &cy));
  EXPECT_EQ(cx, 16);
  EXPECT_EQ(cy, 16);
  // The copy draws after the caller's icon is gone.
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bm = CreateCompatibleBitmap(screen, 16, 16);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(dc, bm);
  PatBlt(dc, 0, 0, 16, 16, WHITENESS);
  EXPECT_TRUE(ImageList_Draw(list, 0, dc, 0, 0, ILD_TRANSPARENT));
  EXPECT_FALSE(ImageList_Draw(list, 1, dc, 0, 0, ILD_TRANSPARENT));
  EXPECT_EQ(GetPixel(dc, 8, 8), RGB(210, 40, 40));
  EXPECT_EQ(GetPixel(dc, 1, 1), RGB(255, 255, 255)) << "the frame is transparent";
  SelectObject(dc, old);
  DeleteObject(bm);
  DeleteDC(dc);
  EXPECT_TRUE(ImageList_Destroy(list));
  EXPECT_FALSE(ImageList_Destroy(list));
}

TEST_F(ImageLists, ListViewDrawsTheRowImageAndOwnsItsLists) {
  HWND d = open_test_dialog();
  HWND lv = list_view(d, 0);
  HIMAGELIST first = red_list(), second = red_list();
  EXPECT_EQ(SendMessageW(lv, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(first)), 0);
  EXPECT_EQ(SendMessageW(lv, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(second)),
            reinterpret_cast<LRESULT>(first));
  EXPECT_EQ(SendMessageW(lv, LVM_GETIMAGELIST, LVSIL_SMALL, 0), reinterpret_cast<LRESULT>(second));
  LVCOLUMNW column{};
  column.mask = LVCF_WIDTH;
  column.cx = 120;
  SendMessageW(lv, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
  LVITEMW item{};
  item.mask = LVIF_TEXT | LVIF_IMAGE;
  item.pszText = const_cast<LPWSTR>(u"MMMM");
  item.iImage = 0;
  SendMessageW(lv, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));

  std::filesystem::create_directories(std::string(MORVA_BIN_DIR) + "/pictures");
  const std::string path = std::string(MORVA_BIN_DIR) + "/pictures/uitest_list_view_images.png";
  ASSERT_TRUE(ui::write_png(lv, path));
  png_image image{};
  std::vector<BYTE> rgb;
  ASSERT_TRUE(morva::test::read_png_file(path, PNG_FORMAT_RGB, &image, &rgb));
  POINT origin{0, 0};
  MapWindowPoints(lv, nullptr, &origin, 1);
  RECT window{};
  GetWindowRect(lv, &window);
  const INT dx = origin.x - window.left, dy = origin.y - window.top;
  // Red pixels and dark text pixels of the first row, by x range.
  auto count = [&](INT from, INT to, bool red) {
    INT n = 0;
    for (INT y = dy; y < dy + 17 && y < static_cast<INT>(image.height); ++y)
      for (INT x = dx + from; x < dx + to && x < static_cast<INT>(image.width); ++x) {
        const BYTE* p = &rgb[(static_cast<std::size_t>(y) * image.width + static_cast<std::size_t>(x)) * 3];
        n += red ? (p[0] > 180 && p[1] < 80 && p[2] < 80) : (p[0] < 100 && p[1] < 100 && p[2] < 100);
      }
    return n;
  };
  EXPECT_GE(count(2, 18, true), 64) << "the row's image leads the first column";
  EXPECT_EQ(count(2, 18, false), 0) << "no text under the image";
  EXPECT_GT(count(20, 80, false), 0) << "the text follows the image";

  // The list view destroys the list it holds with itself; a shared one
  // stays its owner's.
  HWND shared = list_view(d, LVS_SHAREIMAGELISTS);
  SendMessageW(shared, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(first));
  DestroyWindow(lv);
  DestroyWindow(shared);
  EXPECT_FALSE(ImageList_Destroy(second)) << "gone with its list view";
  EXPECT_TRUE(ImageList_Destroy(first));
  DestroyWindow(d);
}

}  // namespace
