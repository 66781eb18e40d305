// The graphics library's own small services.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "../settings/ddd_fixture.h"
#include "settings/gfx/graphics_module.h"
#include "settings/common/module_state.h"
#include "settings/devmode/paper_size_list.h"
#include "settings/stores/printer_data_kinds.h"
#include "temp_root.h"
#include "win/win.h"
#include "test_printer.h"

namespace {

class InstalledPrinter : public ::testing::Test {
 protected:
  void install(const char16_t* driver_path) {
    printer_ = morva::test::add_test_printer(u"Gfx Printer", u"Gfx Driver", u"T.DDD", u"FILE:", driver_path);
    ASSERT_NE(printer_, nullptr) << GetLastError();
  }
  void TearDown() override {
    if (printer_) ClosePrinter(printer_);
  }
  morva::test::TempRoot root_;
  HANDLE printer_ = nullptr;
};

std::u16string take(LPWSTR block) {
  std::u16string s = block ? std::u16string(block) : std::u16string(u"(null)");
  if (block) GlobalFree(block);
  return s;
}

}  // namespace

TEST_F(InstalledPrinter, DriverDirectoryEndsAtTheBackslashBeforeTheDll) {
  ASSERT_NO_FATAL_FAILURE(install(u"morvagfx.Dll"));
  BYTE* info = AllocGetPrinterDriver(printer_, 2);
  ASSERT_NE(info, nullptr);
  std::u16string path = reinterpret_cast<DRIVER_INFO_2W*>(info)->pDriverPath;
  GlobalFree(info);
  std::u16string expected = path.substr(0, path.rfind(u'\\') + 1);
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(take(GetDriverDirectory(printer_)), expected);
  EXPECT_EQ(GetDriverDirectory(nullptr), nullptr);
}

// Driver directory + a database string: the compression and colour
// libraries' paths.
TEST_F(InstalledPrinter, ConfiguredLibraryPathFromTheDatabase) {
  ASSERT_NO_FATAL_FAILURE(install(u"morvagfx.dll"));
  nlohmann::json fields = {{"21", "colour.dll"}, {"22", "qzcmp.dll"}};
  morva::ddd_build::write_images(morva::ddd_build::build_images(morva::test::one_file(nlohmann::json::array(), 0x500, fields)),
                          root_.file("drive_c/Windows/System32/spool/DRIVERS/x64/3"));
  std::u16string directory = take(GetDriverDirectory(printer_));
  EXPECT_EQ(take(BuildConfiguredDllPath(printer_, 5)), directory + u"qzcmp.dll");
  EXPECT_EQ(take(BuildConfiguredDllPath(printer_, 4)), directory + u"colour.dll");
  EXPECT_EQ(BuildConfiguredDllPath(printer_, 12), nullptr);  // no such string
  EXPECT_EQ(BuildConfiguredDllPath(nullptr, 5), nullptr);
}

TEST_F(InstalledPrinter, FormsByNameAndIndexWithTheirGeometry) {
  ASSERT_NO_FATAL_FAILURE(install(u"morvagfx.dll"));
  FORM_INFO_1W f{};
  f.pName = const_cast<LPWSTR>(u"Gfx Test Form With A Rather Long Name");
  f.Size = {210000, 297000};
  f.ImageableArea = {4200, 4250, 205800, 292799};
  ASSERT_TRUE(AddFormW(printer_, 1, reinterpret_cast<LPBYTE>(&f))) << GetLastError();
  FORM_INFO_1W* forms = nullptr;
  DWORD bytes = 0, count = 0;
  ASSERT_EQ(AllocEnumForms(printer_, &forms, &bytes, &count), kFormsOk);
  DWORD index = 0;
  for (DWORD i = 0; i < count; ++i)
    if (std::u16string(forms[i].pName) == f.pName) index = i + 1;
  GlobalFree(forms);
  ASSERT_NE(index, 0u);

  LONG g[6] = {};
  ASSERT_EQ(GetFormGeometry(printer_, f.pName, 0, g), kFormStatusOk);
  const LONG tenths[6] = {2100, 2970, 42, 42, 2058, 2927};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(g[i], tenths[i]) << i;
  std::memset(g, 0, sizeof g);
  ASSERT_EQ(GetFormGeometry(printer_, nullptr, index, g), kFormStatusOk);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(g[i], tenths[i]) << i;

  FORM_INFO_1W* one = nullptr;
  ASSERT_EQ(GetFormByIndex(printer_, index, &one), kFormStatusOk);
  auto* block = reinterpret_cast<BYTE*>(one);
  auto* name = reinterpret_cast<BYTE*>(one->pName);
  EXPECT_GE(name, block + sizeof(FORM_INFO_1W));  // the name lives in the block
  EXPECT_EQ(std::u16string(one->pName), std::u16string(f.pName).substr(0, kFormNameChars - 1));
  GlobalFree(one);

  EXPECT_EQ(GetFormGeometry(printer_, nullptr, 0, g), kFormStatusBadArgument);
  EXPECT_EQ(GetFormGeometry(printer_, nullptr, count + 1, g), kFormStatusNotFound);
  EXPECT_EQ(GetFormByName(printer_, u"No Such Form", &one), kFormStatusNotFound);
  EXPECT_EQ(one, nullptr);
}

TEST(GfxServices, SmallFunctions) {
  EXPECT_TRUE(IsVersionAtLeast(0x01020018, 0x01010501));
  EXPECT_TRUE(IsVersionAtLeast(0x80000000, 0x7FFFFFFF));  // unsigned
  EXPECT_FALSE(IsVersionAtLeast(0x01010500, 0x01010501));

  EXPECT_EQ(BoundedStrLen("abc", 10), 3u);
  EXPECT_EQ(BoundedStrLen("abcdef", 4), 4u);
  EXPECT_EQ(BoundedStrLen(nullptr, 4), 0u);

  WCHAR padded[6];
  std::fill(std::begin(padded), std::end(padded), u'x');
  CopyWideStringPadded(padded, u"ab", 6);
  EXPECT_EQ(std::u16string(padded, 6), std::u16string(u"ab\0\0\0\0", 6));
  CopyWideStringPadded(padded, u"abcdefgh", 6);
  EXPECT_EQ(std::u16string(padded, 6), std::u16string(u"abcde\0", 6));
  padded[0] = u'z';
  CopyWideStringPadded(padded, u"q", 0);
  EXPECT_EQ(padded[0], u'z');

  WCHAR wide[4];
  EXPECT_EQ(AnsiToWide(wide, "abcdef", 4), 4);
  EXPECT_EQ(std::u16string(wide), u"abc");
  EXPECT_EQ(AnsiToWide(wide, "ab", 0), 3);
  EXPECT_EQ(std::u16string(wide), u"ab");
  EXPECT_EQ(AnsiToWideBytes(wide, sizeof wide, "xy"), 6);
  EXPECT_EQ(std::u16string(wide), u"xy");

  BOOL available = TRUE;
  EXPECT_TRUE(ProbeComServerStub(u"{0}", &available));
  EXPECT_FALSE(available);
  EXPECT_FALSE(ProbeComServerStub(nullptr, &available));
}

TEST(GfxServices, ResizeGlobalBlockKeepsTheOldBlockWhenOutOfMemory) {
  auto* block = static_cast<BYTE*>(GlobalAlloc(GPTR, 4));
  ASSERT_NE(block, nullptr);
  std::memcpy(block, "abcd", 4);
  auto* grown = static_cast<BYTE*>(ResizeGlobalBlock(block, 4, 8));
  ASSERT_NE(grown, nullptr);
  EXPECT_EQ(std::memcmp(grown, "abcd\0\0\0\0", 8), 0);
  auto* shrunk = static_cast<BYTE*>(ResizeGlobalBlock(grown, 8, 2));
  ASSERT_NE(shrunk, nullptr);
  EXPECT_EQ(std::memcmp(shrunk, "ab", 2), 0);
  morva::platform::inject_allocation_failure(0, 1);
  EXPECT_EQ(ResizeGlobalBlock(shrunk, 2, 16), nullptr);
  EXPECT_EQ(std::memcmp(shrunk, "ab", 2), 0);  // still ours
  GlobalFree(shrunk);
}

TEST(GfxServices, PixelConversions) {
  const BYTE rgb[] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0, 0, 0, 0x10, 0x20, 0x30};
  BYTE out[sizeof rgb];
  EXPECT_EQ(ReduceToWhiteOrBlack24(rgb, out, 2, 2), out + sizeof out);
  const BYTE reduced[] = {0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(out, reduced, sizeof out), 0);
  const BYTE bytes[] = {0x00, 0xFF, 0x5A, 0x01};
  BYTE inverted[4];
  EXPECT_EQ(InvertPixelBytes(bytes, inverted, 2, 2), bytes + 4);
  const BYTE expected[] = {0xFF, 0x00, 0xA5, 0xFE};
  EXPECT_EQ(std::memcmp(inverted, expected, 4), 0);

  std::vector<BYTE> a(5988, 0x11), b(5988, 0x22);
  ASSERT_TRUE(CopyDevmodeExtension(a.data(), b.data()));
  EXPECT_EQ(a[1603], 0x11);
  EXPECT_EQ(a[1604], 0x22);
  EXPECT_EQ(a[5987], 0x22);
  EXPECT_FALSE(CopyDevmodeExtension(nullptr, b.data()));
}

// The country options are read once per process from the user's locale.
TEST(GfxServices, CountryOptionsFromTheLocaleOnce) {
  morva::test::TempRoot root;
  struct Case {
    const char* lcid;
    BYTE a, b;
  } cases[] = {{"0x0411", 1, 0}, {"0x0804", 2, 1}, {"0x0409", 4, 0}};
  for (const Case& c : cases) {
    morva::gfx::reset_country_options_for_test();
    morva::platform::set_machine_setting("lcid", c.lcid);
    EXPECT_EQ(GetCountryOptionA(), c.a) << c.lcid;
    EXPECT_EQ(GetCountryOptionB(), c.b) << c.lcid;
  }
  morva::platform::set_machine_setting("lcid", "0x0411");
  EXPECT_EQ(GetCountryOptionA(), 4);  // still the cached answer
  morva::gfx::reset_country_options_for_test();
}

TEST(GfxServices, ResourceLanguageNumber) {
  WORD language = 0;
  ASSERT_TRUE(LoadResourceNumber(&language));
  EXPECT_TRUE(language == 1033 || language == 1041) << language;
  EXPECT_FALSE(LoadResourceNumber(nullptr));
  ReleaseResourceModule();
}
