#include <gtest/gtest.h>

#include "win/modules.h"

// The library as the spooler loads it: its entry runs on load and unload,
// only its listed exports are visible, and the common code inside keeps to
// itself.
TEST(MorvauiLibrary, LoadsWithItsEntryAndExportsOnlyItsNames) {
  HMODULE lib = LoadLibraryW(u"morvaui.dll");
  ASSERT_NE(lib, nullptr) << morva::platform::last_load_error();
  using Entry = BOOL (*)(HINSTANCE, DWORD, LPVOID);
  auto entry = morva_proc_as<Entry>(GetProcAddress(lib, "DllInitialize"));
  ASSERT_NE(entry, nullptr);
  EXPECT_NE(GetProcAddress(lib, "DllMain"), nullptr);
  // The spooler asks the library for a printer's settings block on a driver upgrade.
  using Upgrade = BOOL (*)(HANDLE, BYTE*, DWORD*);
  auto upgrade = morva_proc_as<Upgrade>(GetProcAddress(lib, "GetUpgradedPrinterData"));
  ASSERT_NE(upgrade, nullptr);
  DWORD size = 0;
  EXPECT_TRUE(upgrade(nullptr, nullptr, &size));
  EXPECT_EQ(size, 7972u);
  EXPECT_TRUE(entry(lib, DLL_THREAD_ATTACH, nullptr));
  for (const char* hidden : {"_Z15InitDriverLocksv", "_Z16EnterDriverLockj", "dma_GetValue", "dma_SetValue",
                             "_Z12GetItemValuetPvS_PtPjP9ItemValue"})
    EXPECT_EQ(GetProcAddress(lib, hidden), nullptr) << hidden;
  EXPECT_TRUE(FreeLibrary(lib));
}
