#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "temp_root.h"
#include "win/win.h"
#include "win/resource_container.h"
#include "win/dialog_template.h"
#include "win/modules.h"
#include "win/resources.h"
#include "xrs_compiler.h"

namespace {

using Bytes = std::vector<BYTE>;

void put16(Bytes& b, unsigned v) {
  b.push_back(static_cast<BYTE>(v));
  b.push_back(static_cast<BYTE>(v >> 8));
}
void put32(Bytes& b, unsigned v) {
  put16(b, v & 0xFFFF);
  put16(b, v >> 16);
}

Bytes info_header(int w, int h, int bits) {
  Bytes b;
  put32(b, 40);
  put32(b, static_cast<unsigned>(w));
  put32(b, static_cast<unsigned>(h));
  put16(b, 1);
  put16(b, static_cast<unsigned>(bits));
  for (int i = 0; i < 6; ++i) put32(b, 0);
  return b;
}

// A 4 x 3 24-bit BMP file with a recognisable pattern.
Bytes bmp_file() {
  Bytes dib = info_header(4, 3, 24);
  for (int i = 0; i < 36; ++i) dib.push_back(static_cast<BYTE>(i * 7));
  Bytes f = {'B', 'M'};
  put32(f, static_cast<unsigned>(14 + dib.size()));
  put32(f, 0);
  put32(f, 54);
  f.insert(f.end(), dib.begin(), dib.end());
  return f;
}

Bytes icon_image(int size) {
  Bytes b = info_header(size, size * 2, 32);
  b.resize(b.size() + size * size * 4 + ((size + 31) / 32) * 4 * size, static_cast<BYTE>(size));
  return b;
}

// An ICO file with a 16 x 16 and a 32 x 32 image.
Bytes ico_file() {
  Bytes a = icon_image(16), b = icon_image(32);
  Bytes f;
  put16(f, 0);
  put16(f, 1);
  put16(f, 2);
  unsigned offset = 6 + 32;
  for (const Bytes* img : {&a, &b}) {
    int size = img == &a ? 16 : 32;
    f.push_back(static_cast<BYTE>(size));
    f.push_back(static_cast<BYTE>(size));
    f.push_back(0);
    f.push_back(0);
    put16(f, 1);
    put16(f, 32);
    put32(f, static_cast<unsigned>(img->size()));
    put32(f, offset);
    offset += static_cast<unsigned>(img->size());
  }
  f.insert(f.end(), a.begin(), a.end());
  f.insert(f.end(), b.begin(), b.end());
  return f;
}

const char* kSource = R"json({
  "strings": [
    {"table": {"1": "One", "17": "Seventeen", "265": "Caption", "40000": "Last block"}},
    {"language": "0x0411", "table": {"265": "キャプション"}}
  ],
  "dialogs": [{
    "id": 100, "style": "WS_POPUP | WS_CAPTION | DS_MODALFRAME", "x": 1, "y": 2, "cx": 200, "cy": 120,
    "caption": "Paper", "font": {"size": 9, "face": "MS Shell Dlg"},
    "controls": [
      {"id": 1, "class": "button", "text": "OK", "style": "WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON | 0x20", "x": 5, "y": 6, "cx": 50, "cy": 14},
      {"id": 1001, "class": "SysListView32", "style": "WS_CHILD | LVS_REPORT", "x": 5, "y": 30, "cx": 190, "cy": 80},
      {"id": -1, "class": "STATIC", "text": 300, "style": "WS_CHILD | SS_ICON"}
    ]
  }],
  "bitmaps": [{"id": 200, "file": "pattern.bmp"}, {"id": "LOGO", "file": "pattern.bmp"}],
  "icons": [{"id": 300, "file": "printer.ico"}],
  "raw": [
    {"type": 260, "id": 6, "hex": "00 01 02 ff"},
    {"type": "GlyphSet", "id": "Sjis", "text": "abc"}
  ]
})json";

class ResourceModule : public ::testing::Test {
 protected:
  void SetUp() override {
    morva::test::write_file(root_.file("src/pattern.bmp"), std::string(bmp.begin(), bmp.end()));
    morva::test::write_file(root_.file("src/printer.ico"), std::string(ico.begin(), ico.end()));
    auto result = morva::xrs::compile_resource_text(kSource, root_.file("src"));
    ASSERT_TRUE(result.error.empty()) << result.error;
    container_ = result.container;
    DWORD error = 0;
    module_ = morva::platform::open_resource_container(container_, &error);
    ASSERT_NE(module_, nullptr) << error;
  }
  void TearDown() override { morva::platform::close_resource_container(module_); }

  std::u16string string_of(UINT id) {
    WCHAR buf[128];
    int n = LoadStringW(module_, id, buf, 128);
    return std::u16string(buf, static_cast<std::size_t>(n));
  }

  morva::test::TempRoot root_;
  Bytes bmp = bmp_file(), ico = ico_file();
  Bytes container_;
  HMODULE module_ = nullptr;
};

TEST_F(ResourceModule, StringsByIdAndLanguage) {
  EXPECT_EQ(string_of(1), u"One");
  EXPECT_EQ(string_of(17), u"Seventeen");
  EXPECT_EQ(string_of(40000), u"Last block");
  EXPECT_EQ(string_of(2), u"");  // a gap in a block
  EXPECT_EQ(string_of(999), u"");  // no block

  WCHAR small[4];
  EXPECT_EQ(LoadStringW(module_, 17, small, 4), 3);
  EXPECT_EQ(std::u16string(small), u"Sev");
  const WCHAR* direct = nullptr;
  EXPECT_EQ(LoadStringW(module_, 17, reinterpret_cast<LPWSTR>(&direct), 0), 9);
  EXPECT_EQ(std::u16string(direct, 9), u"Seventeen");

  // The user's UI language wins where it has the string.
  EXPECT_EQ(string_of(265), u"Caption");
  ASSERT_TRUE(morva::platform::set_machine_setting("lcid", "0x0411"));
  EXPECT_EQ(string_of(265), u"キャプション");
  EXPECT_EQ(string_of(1), u"One");  // no Japanese block for it: English
  EXPECT_NE(FindResourceExW(module_, RT_STRING, MAKEINTRESOURCEW(17), 0x0411), nullptr);
  EXPECT_EQ(FindResourceExW(module_, RT_STRING, MAKEINTRESOURCEW(1), 0x0411), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_LANG_NOT_FOUND));
}

TEST_F(ResourceModule, DialogTemplateHasTheDocumentedLayout) {
  HRSRC r = FindResourceW(module_, MAKEINTRESOURCEW(100), RT_DIALOG);
  ASSERT_NE(r, nullptr);
  const auto* p = static_cast<const BYTE*>(LockResource(LoadResource(module_, r)));
  DWORD size = SizeofResource(module_, r);
  morva::platform::DialogTemplate t;
  ASSERT_TRUE(morva::platform::parse_dialog_template(p, size, t));
  EXPECT_FALSE(t.extended);
  EXPECT_EQ(t.style, 0x80C00080u | 0x40u);  // DS_SETFONT added for the font
  EXPECT_EQ(t.x, 1);
  EXPECT_EQ(t.cy, 120);
  EXPECT_TRUE(t.menu.empty());
  EXPECT_TRUE(t.class_name.empty());
  EXPECT_EQ(t.title, u"Paper");
  EXPECT_TRUE(t.has_font);
  EXPECT_EQ(t.point_size, 9);
  EXPECT_EQ(t.face, u"MS Shell Dlg");
  ASSERT_EQ(t.items.size(), 3u);
  struct Item { DWORD style; DWORD id; WORD atom; std::u16string cls; std::u16string title; WORD ordinal; };
  const Item items[] = {{0x50000021u, 1, 0x80, u"", u"OK", 0},
                        {0x40000001u, 1001, 0, u"SysListView32", u"", 0},
                        {0x40000003u, 0xFFFF, 0x82, u"", u"", 300}};
  for (std::size_t i = 0; i < 3; ++i) {
    const auto& got = t.items[i];
    EXPECT_EQ(got.style, items[i].style);
    EXPECT_EQ(got.id, items[i].id);
    EXPECT_EQ(got.class_name.is_ordinal, items[i].atom != 0);
    EXPECT_EQ(got.class_name.ordinal, items[i].atom);
    EXPECT_EQ(got.class_name.text, items[i].cls);
    EXPECT_EQ(got.title.is_ordinal, items[i].ordinal != 0);
    EXPECT_EQ(got.title.ordinal, items[i].ordinal);
    EXPECT_EQ(got.title.text, items[i].title);
  }
  EXPECT_EQ(t.items[0].x, 5);
  EXPECT_EQ(t.items[1].cx, 190);
  // The template ends with its last control: any shorter piece is refused.
  for (DWORD n = 0; n < size; ++n) {
    morva::platform::DialogTemplate cut;
    EXPECT_FALSE(morva::platform::parse_dialog_template(p, n, cut)) << n;
  }
}

TEST(DialogTemplates, ExtendedLayout) {
  // DLGTEMPLATEEX with a font and one control carrying creation data.
  Bytes b;
  put16(b, 1);
  put16(b, 0xFFFF);
  put32(b, 77);           // help id
  put32(b, 0x100);        // ex style
  put32(b, 0x80C80048u);  // style with DS_SHELLFONT
  put16(b, 1);
  for (int v : {0, 0, 100, 50}) put16(b, static_cast<unsigned>(v));
  put16(b, 0);  // menu
  put16(b, 0);  // class
  for (char16_t c : std::u16string(u"Ex")) put16(b, c);
  put16(b, 0);
  put16(b, 8);
  put16(b, 400);
  b.push_back(0);
  b.push_back(1);
  for (char16_t c : std::u16string(u"Tahoma")) put16(b, c);
  put16(b, 0);
  while (b.size() % 4) b.push_back(0);
  put32(b, 5);           // help id
  put32(b, 0);
  put32(b, 0x50010000u);
  for (int v : {1, 2, 30, 12}) put16(b, static_cast<unsigned>(v));
  put32(b, 70000);       // a DWORD id
  for (char16_t c : std::u16string(u"msctls_updown32")) put16(b, c);
  put16(b, 0);
  put16(b, 0xFFFF);
  put16(b, 12);
  put16(b, 2);           // two bytes of creation data
  b.push_back(0xAB);
  b.push_back(0xCD);
  morva::platform::DialogTemplate t;
  ASSERT_TRUE(morva::platform::parse_dialog_template(b.data(), b.size(), t));
  EXPECT_TRUE(t.extended);
  EXPECT_EQ(t.help_id, 77u);
  EXPECT_EQ(t.weight, 400);
  EXPECT_EQ(t.charset, 1);
  EXPECT_EQ(t.face, u"Tahoma");
  ASSERT_EQ(t.items.size(), 1u);
  EXPECT_EQ(t.items[0].id, 70000u);
  EXPECT_EQ(t.items[0].class_name.text, u"msctls_updown32");
  EXPECT_EQ(t.items[0].title.ordinal, 12);
  EXPECT_EQ(t.items[0].creation_data, (Bytes{0xAB, 0xCD}));
  b.pop_back();
  EXPECT_FALSE(morva::platform::parse_dialog_template(b.data(), b.size(), t));
}

TEST_F(ResourceModule, BitmapsAndIconsKeepTheirPixels) {
  for (LPCWSTR name : std::initializer_list<LPCWSTR>{MAKEINTRESOURCEW(200), u"logo", u"#200"}) {
    HBITMAP bm = LoadBitmapW(module_, name);
    ASSERT_NE(bm, nullptr);
    const auto* img = morva::platform::resource_image(bm);
    ASSERT_NE(img, nullptr);
    EXPECT_EQ(img->width, 4);
    EXPECT_EQ(img->height, 3);
    EXPECT_EQ(img->bit_count, 24);
    EXPECT_EQ(img->dib, Bytes(bmp.begin() + 14, bmp.end()));
    EXPECT_TRUE(morva::platform::release_resource_image(bm));
  }
  HICON icon = LoadIconW(module_, MAKEINTRESOURCEW(300));
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(morva::platform::resource_image(icon)->width, 32);
  EXPECT_TRUE(DestroyIcon(icon));
  EXPECT_FALSE(DestroyIcon(icon));
  HANDLE small = LoadImageW(module_, MAKEINTRESOURCEW(300), IMAGE_ICON, 16, 16, 0);
  ASSERT_NE(small, nullptr);
  const auto* img = morva::platform::resource_image(small);
  EXPECT_EQ(img->width, 16);
  EXPECT_EQ(img->dib, icon_image(16));
  morva::platform::release_resource_image(small);
  HICON system = LoadIconW(nullptr, IDI_WARNING);
  EXPECT_NE(system, nullptr);
  DestroyIcon(system);
}

TEST_F(ResourceModule, RawTypedResources) {
  struct Case { LPCWSTR type; LPCWSTR name; Bytes data; } cases[] = {
      {MAKEINTRESOURCEW(260), MAKEINTRESOURCEW(6), {0, 1, 2, 0xff}},
      {u"#260", u"#6", {0, 1, 2, 0xff}},
      {u"glyphset", u"SJIS", {'a', 'b', 'c'}},
  };
  for (const auto& c : cases) {
    HRSRC r = FindResourceW(module_, c.name, c.type);
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(SizeofResource(module_, r), c.data.size());
    const auto* p = static_cast<const BYTE*>(LockResource(LoadResource(module_, r)));
    EXPECT_EQ(Bytes(p, p + c.data.size()), c.data);
  }
  EXPECT_EQ(FindResourceW(module_, MAKEINTRESOURCEW(7), MAKEINTRESOURCEW(260)), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
  EXPECT_EQ(FindResourceW(module_, MAKEINTRESOURCEW(6), MAKEINTRESOURCEW(261)), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND));
  // A handle of one module is not a resource of another.
  HMODULE other = morva::platform::open_resource_container(container_);
  HRSRC r = FindResourceW(module_, MAKEINTRESOURCEW(6), MAKEINTRESOURCEW(260));
  EXPECT_EQ(SizeofResource(other, r), 0u);
  morva::platform::close_resource_container(other);
  // A code module reaches the container attached to it.
  auto* code = reinterpret_cast<HMODULE>(0x5000);
  morva::platform::attach_module_resources(code, module_);
  EXPECT_NE(FindResourceW(code, MAKEINTRESOURCEW(6), MAKEINTRESOURCEW(260)), nullptr);
  morva::platform::attach_module_resources(code, nullptr);
  EXPECT_EQ(FindResourceW(code, MAKEINTRESOURCEW(6), MAKEINTRESOURCEW(260)), nullptr);
}

TEST_F(ResourceModule, DamagedContainersAreRefused) {
  // Every truncation fails cleanly.
  for (std::size_t n = 0; n < container_.size(); ++n) {
    DWORD error = 0;
    Bytes cut(container_.begin(), container_.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_EQ(morva::platform::open_resource_container(cut, &error), nullptr) << n;
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_BAD_FORMAT));
  }
  namespace x = morva::xrs;
  auto first_entry = [](std::size_t field) { return x::kHeaderSize + field; };
  struct Damage { std::size_t at; DWORD value; } damages[] = {
      {x::header::version, 2},
      {x::header::count, 0x10000000},
      {x::header::names_size, 0xFFFFFFF0u},
      {first_entry(x::entry::offset), 0xFFFFFF00u},
      {first_entry(x::entry::size), 0x7FFFFFFFu},
      {first_entry(x::entry::type), 0},
  };
  for (const auto& d : damages) {
    Bytes bad = container_;
    morva::store_le32(&bad[d.at], d.value);
    EXPECT_EQ(morva::platform::open_resource_container(bad), nullptr) << d.at;
  }
}

// The loader's modules reach their resources: a data-file load of a
// container, as the driver loads its resource module, and a code module's
// container beside it.
TEST_F(ResourceModule, ThroughTheModuleLoader) {
  morva::test::write_file(root_.file("drive_c/Driver/morvares.xrs"), std::string(container_.begin(), container_.end()));
  for (DWORD flags : {DONT_RESOLVE_DLL_REFERENCES | LOAD_WITH_ALTERED_SEARCH_PATH, LOAD_LIBRARY_AS_DATAFILE}) {
    HMODULE m = LoadLibraryExW(u"C:\\Driver\\morvares.xrs", nullptr, flags);
    ASSERT_NE(m, nullptr) << morva::platform::last_load_error();
    WCHAR text[32];
    EXPECT_EQ(LoadStringW(m, 17, text, 32), 9);
    HRSRC r = FindResourceW(m, MAKEINTRESOURCEW(6), MAKEINTRESOURCEW(260));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(SizeofResource(m, r), 4u);
    EXPECT_EQ(static_cast<const BYTE*>(LockResource(LoadResource(m, r)))[3], 0xff);
    EXPECT_TRUE(FreeLibrary(m));
  }
  // A module that is no container has no resources.
  morva::test::write_file(root_.file("drive_c/Driver/plain.bin"), "not a container at all, just bytes");
  HMODULE plain = LoadLibraryExW(u"C:\\Driver\\plain.bin", nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(plain, nullptr);
  WCHAR text[8];
  EXPECT_EQ(LoadStringW(plain, 17, text, 8), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
  FreeLibrary(plain);

  std::filesystem::copy_file(std::string(MORVA_BIN_DIR) + "/libmodtest.so", root_.file("drive_c/Driver/libmodtest.so"));
  morva::test::write_file(root_.file("drive_c/Driver/libmodtest.xrs"), std::string(container_.begin(), container_.end()));
  HMODULE code = LoadLibraryW(u"C:\\Driver\\modtest.dll");
  ASSERT_NE(code, nullptr) << morva::platform::last_load_error();
  WCHAR own[32];
  EXPECT_EQ(LoadStringW(code, 1, own, 32), 3);
  EXPECT_EQ(std::u16string(own), u"One");
  FreeLibrary(code);
}

TEST(ResourceCompiler, ReportsFaultySources) {
  struct Case { const char* json; const char* message; } cases[] = {
      {R"({"strings": [{"table": {"5": "a"}}, {"table": {"5": "b"}}]})", "duplicate string 5"},
      {R"({"strings": [{"table": {"70000": "a"}}]})", "out of range"},
      {R"({"dialogs": [{"id": 1, "style": "WS_NOPE"}]})", "unknown style name WS_NOPE"},
      {R"({"dialogs": [{"id": 1}, {"id": 1}]})", "duplicate resource"},
      {R"({"bitmaps": [{"id": 1, "file": "missing.bmp"}]})", "cannot read"},
      {R"({"raw": [{"type": 260, "id": 1, "hex": "0g"}]})", "hex digit"},
      {R"({"pictures": []})", "unknown section"},
      {R"({"strings": [)", "parse"},
  };
  for (const auto& c : cases) {
    auto r = morva::xrs::compile_resource_text(c.json, "/nonexistent");
    EXPECT_TRUE(r.container.empty()) << c.json;
    EXPECT_NE(r.error.find(c.message), std::string::npos) << r.error;
  }
}

TEST(ResourceCompiler, BuildMakesTheResourceModule) {
  DWORD error = 0;
  HMODULE m = morva::platform::open_resource_container(std::string(MORVA_BIN_DIR) + "/morvares.xrs", &error);
  ASSERT_NE(m, nullptr) << error;
  WCHAR caption[64];
  EXPECT_GT(LoadStringW(m, 265, caption, 64), 0);
  morva::platform::close_resource_container(m);
}

}  // namespace
