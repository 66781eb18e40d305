// The graphics driver's entry as GDI meets it: DrvEnableDriver and its
// function table, the driver-information query, and the argument checks of
// the drawing entries.
#include <gtest/gtest.h>

#include <vector>

#include "win/ddi.h"
#include "win/errors.h"
#include "win/modules.h"

namespace {

class DriverEntry : public ::testing::Test {
 protected:
  void SetUp() override {
    gfx_ = LoadLibraryW(u"morvagfx.dll");
    ASSERT_NE(gfx_, nullptr) << morva::platform::last_load_error();
    enable_ = morva_proc_as<PFN_DrvEnableDriver>(GetProcAddress(gfx_, "DrvEnableDriver"));
    disable_ = morva_proc_as<PFN_DrvDisableDriver>(GetProcAddress(gfx_, "DrvDisableDriver"));
    ASSERT_NE(enable_, nullptr);
    ASSERT_NE(disable_, nullptr);
  }
  void TearDown() override {
    if (gfx_) FreeLibrary(gfx_);
  }
  template <typename F>
  F proc(const char* name) {
    return morva_proc_as<F>(GetProcAddress(gfx_, name));
  }
  HMODULE gfx_ = nullptr;
  PFN_DrvEnableDriver enable_ = nullptr;
  PFN_DrvDisableDriver disable_ = nullptr;
};

TEST_F(DriverEntry, TableNamesTheTwentyFiveFunctionsInOrderAndSurvivesDisableAndEnable) {
  const std::vector<ULONG> order = {
      INDEX_DrvEnablePDEV,  INDEX_DrvResetPDEV,        INDEX_DrvCompletePDEV,      INDEX_DrvDisablePDEV,
      INDEX_DrvEnableSurface, INDEX_DrvDisableSurface, INDEX_DrvBitBlt,            INDEX_DrvStretchBlt,
      INDEX_DrvCopyBits,    INDEX_DrvTextOut,          INDEX_DrvQueryFont,         INDEX_DrvQueryFontTree,
      INDEX_DrvQueryFontData, INDEX_DrvQueryAdvanceWidths, INDEX_DrvSendPage,      INDEX_DrvStrokePath,
      INDEX_DrvFillPath,    INDEX_DrvStrokeAndFillPath, INDEX_DrvRealizeBrush,     INDEX_DrvStartPage,
      INDEX_DrvStartDoc,    INDEX_DrvEscape,           INDEX_DrvEndDoc,            INDEX_DrvGetGlyphMode,
      INDEX_DrvStretchBltROP};
  const char* names[] = {"DrvEnablePDEV", "DrvResetPDEV", "DrvCompletePDEV", "DrvDisablePDEV", "DrvEnableSurface",
                         "DrvDisableSurface", "DrvBitBlt", "DrvStretchBlt", "DrvCopyBits", "DrvTextOut",
                         "DrvQueryFont", "DrvQueryFontTree", "DrvQueryFontData", "DrvQueryAdvanceWidths",
                         "DrvSendPage", "DrvStrokePath", "DrvFillPath", "DrvStrokeAndFillPath", "DrvRealizeBrush",
                         "DrvStartPage", "DrvStartDoc", "DrvEscape", "DrvEndDoc", "DrvGetGlyphMode",
                         "DrvStretchBltROP"};
  for (int round = 0; round < 2; ++round) {
    DRVENABLEDATA ded{};
    ASSERT_TRUE(enable_(DDI_DRIVER_VERSION_NT5, sizeof ded, &ded));
    EXPECT_EQ(ded.iDriverVersion, 0x20000u);
    ASSERT_EQ(ded.c, order.size());
    for (ULONG i = 0; i < ded.c; ++i) {
      EXPECT_EQ(ded.pdrvfn[i].iFunc, order[i]) << i;
      // Every entry of the table is the export of the same name.
      EXPECT_EQ(reinterpret_cast<void*>(ded.pdrvfn[i].pfn), reinterpret_cast<void*>(GetProcAddress(gfx_, names[i])))
          << names[i];
    }
    disable_();
  }
}

TEST_F(DriverEntry, TooOldAnEngineOrTooShortARecordFillsNothing) {
  struct Case {
    ULONG version;
    ULONG size;
  } cases[] = {{0x1FFFF, sizeof(DRVENABLEDATA)}, {DDI_DRIVER_VERSION_NT5, 8}};
  for (const Case& c : cases) {
    DRVENABLEDATA ded{};
    ded.c = 77;
    SetLastError(0);
    EXPECT_FALSE(enable_(c.version, c.size, &ded));
    EXPECT_EQ(GetLastError(), 119u);  // ERROR_BAD_DRIVER_LEVEL
    EXPECT_EQ(ded.c, 77u);
    EXPECT_EQ(ded.pdrvfn, nullptr);
  }
}

TEST_F(DriverEntry, DriverInformationAndGlyphMode) {
  auto query = proc<PFN_DrvQueryDriverInfo>("DrvQueryDriverInfo");
  ASSERT_NE(query, nullptr);
  DWORD value = 0, needed = 0;
  SetLastError(0);
  EXPECT_FALSE(query(DRVQUERY_USERMODE, &value, 3, &needed));
  EXPECT_EQ(needed, 4u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_TRUE(query(DRVQUERY_USERMODE, &value, 4, &needed));
  EXPECT_EQ(value, 1u);
  EXPECT_FALSE(query(2, &value, 4, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  auto glyph_mode = proc<PFN_DrvGetGlyphMode>("DrvGetGlyphMode");
  EXPECT_EQ(glyph_mode(nullptr, nullptr), static_cast<ULONG>(FO_GLYPHBITS));
}

TEST_F(DriverEntry, DrawingEntriesRefuseMissingArgumentsAndForeignPdevs) {
  auto stroke = proc<PFN_DrvStrokePath>("DrvStrokePath");
  auto start_page = proc<PFN_DrvStartPage>("DrvStartPage");
  SURFOBJ surface{};
  PATHOBJ path{};
  LINEATTRS geometric{};
  geometric.fl = LA_GEOMETRIC;
  SetLastError(0);
  // A geometric pen needs the world transform.
  EXPECT_FALSE(stroke(&surface, &path, nullptr, nullptr, nullptr, nullptr, &geometric, 0x0D0D));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  // A surface whose PDEV is not the driver's.
  DWORD not_a_pdev[4] = {1, 2, 3, 4};
  surface.dhpdev = reinterpret_cast<DHPDEV>(not_a_pdev);
  SetLastError(0);
  EXPECT_FALSE(start_page(&surface));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(start_page(nullptr));
}

}  // namespace
