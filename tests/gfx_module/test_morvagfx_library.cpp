// The graphics library as the spooler loads it, beside the printer-interface
// library: its entry runs, only its listed names are visible, and the
// common code inside each library keeps its own state.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>

#include "settings/common/driver_locks.h"
#include "win/modules.h"

TEST(MorvagfxLibrary, LoadsWithItsEntryExportsOnlyItAndKeepsItsOwnState) {
  HMODULE ui = LoadLibraryW(u"morvaui.dll");
  ASSERT_NE(ui, nullptr) << morva::platform::last_load_error();
  HMODULE gfx = LoadLibraryW(u"morvagfx.dll");
  ASSERT_NE(gfx, nullptr) << morva::platform::last_load_error();
  ASSERT_NE(gfx, ui);
  using Entry = BOOL (*)(HINSTANCE, DWORD, LPVOID);
  auto entry = morva_proc_as<Entry>(GetProcAddress(gfx, "DllMain"));
  ASSERT_NE(entry, nullptr);
  EXPECT_TRUE(entry(gfx, DLL_THREAD_ATTACH, nullptr));
  for (const char* hidden :
       {"DllInitialize", "_Z15InitDriverLocksv", "_Z12InitLockSloti", "_Z12InitLockSlotj", "_Z15LoadDataManagerP7HMODULE__",
        "_Z11GetDdmValuetPvS_PtPjPm", "dma_GetValue", "dma_SetValue"})
    EXPECT_EQ(GetProcAddress(gfx, hidden), nullptr) << hidden;
  // The graphics entry chose eight slots for its own copy of the lock
  // table; this program's copy and morvaui's keep the seven-lock layout.
  EXPECT_EQ(DriverLockSlotCount(), kDriverLockCount);
  EXPECT_TRUE(FreeLibrary(gfx));
  EXPECT_TRUE(FreeLibrary(ui));
}

// The dynamic symbol table holds exactly the DLL entry and the driver's
// functions: nothing of the static code it is built from leaks out.
TEST(MorvagfxLibrary, ExportsExactlyTheDriverFunctions) {
  std::string command = std::string("nm -D --defined-only ") + MORVA_BIN_DIR + "/libmorvagfx.so";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::set<std::string> exported;
  char line[512];
  while (std::fgets(line, sizeof line, pipe)) {
    char type = 0;
    char name[400] = {};
    if (std::sscanf(line, "%*s %c %399s", &type, name) == 2 && (type == 'T' || type == 'W' || type == 'D' ||
                                                                 type == 'B' || type == 'R' || type == 'V'))
      exported.insert(name);
  }
  ASSERT_EQ(pclose(pipe), 0);
  const std::set<std::string> expected = {
      "DllMain", "DrvEnableDriver", "DrvDisableDriver", "DrvQueryDriverInfo", "DrvEnablePDEV", "DrvResetPDEV",
      "DrvCompletePDEV", "DrvDisablePDEV", "DrvEnableSurface", "DrvDisableSurface", "DrvBitBlt", "DrvStretchBlt",
      "DrvCopyBits", "DrvTextOut", "DrvQueryFont", "DrvQueryFontTree", "DrvQueryFontData", "DrvQueryAdvanceWidths",
      "DrvSendPage", "DrvStrokePath", "DrvFillPath", "DrvStrokeAndFillPath", "DrvRealizeBrush", "DrvStartPage",
      "DrvStartDoc", "DrvEscape", "DrvEndDoc", "DrvGetGlyphMode", "DrvStretchBltROP"};
  EXPECT_EQ(exported, expected);
}
