#include <gtest/gtest.h>

#include <cstdlib>
#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>

#include "temp_root.h"
#include "win/errors.h"
#include "win/modules.h"
#include "win/winsock.h"
#include "win/strings.h"

namespace {

using morva::test::write_file;

class Modules : public ::testing::Test {
 protected:
  void SetUp() override { unsetenv("MODTEST_EVENTS"); }
  static std::string events() {
    const char* e = std::getenv("MODTEST_EVENTS");
    return e ? e : "";
  }
  morva::test::TempRoot root_;
};

TEST_F(Modules, ReferenceCountsAndEntryPoint) {
  HMODULE a = LoadLibraryW(u"modtest.dll");
  ASSERT_NE(a, nullptr) << morva::platform::last_load_error();
  HMODULE b = LoadLibraryW(u"MODTEST.DLL");
  EXPECT_EQ(a, b);
  EXPECT_EQ(events(), "A");
  EXPECT_EQ(GetModuleHandleW(u"modtest.dll"), a);
  EXPECT_EQ(GetModuleHandleW(u"libmodtest.so"), a);
  EXPECT_TRUE(FreeLibrary(a));
  EXPECT_EQ(GetModuleHandleW(u"modtest"), a);  // one reference left
  EXPECT_EQ(events(), "A");
  EXPECT_TRUE(FreeLibrary(a));
  EXPECT_EQ(events(), "AD");
  EXPECT_EQ(GetModuleHandleW(u"modtest.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  HMODULE c = LoadLibraryExW(u"modtest", nullptr, 0);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(events(), "ADA");
  EXPECT_TRUE(FreeLibrary(c));
}

TEST_F(Modules, ExportsAndFileNames) {
  HMODULE h = LoadLibraryW(u"modtest.dll");
  ASSERT_NE(h, nullptr);
  FARPROC p = GetProcAddress(h, "modtest_answer");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(morva_proc_as<int (*)()>(p)(), 42);
  EXPECT_EQ(morva::platform::module_from_address(reinterpret_cast<const void*>(p)), h);
  EXPECT_EQ(GetProcAddress(h, "missing"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  EXPECT_EQ(GetProcAddress(h, "malloc"), nullptr);  // a dependency's export is not the module's
  EXPECT_EQ(GetProcAddress(h, reinterpret_cast<LPCSTR>(1)), nullptr);

  WCHAR name[MAX_PATH];
  DWORD n = GetModuleFileNameW(h, name, MAX_PATH);
  ASSERT_GT(n, 0u);
  std::u16string file(name, n);
  EXPECT_EQ(file.rfind(u"Z:\\", 0), 0u);
  EXPECT_EQ(file.substr(file.size() - 14), u"\\libmodtest.so");
  EXPECT_EQ(GetModuleFileNameW(h, name, 5), 5u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(std::u16string(name), file.substr(0, 4));
  // The platform library itself, linked at start-up.
  HMODULE self = morva::platform::module_from_address(reinterpret_cast<const void*>(&LoadLibraryW));
  EXPECT_EQ(GetModuleHandleW(u"morvawin.dll"), self);
  EXPECT_EQ(GetProcAddress(self, "LoadLibraryW"), morva_proc(&LoadLibraryW));
  EXPECT_GT(GetModuleFileNameW(nullptr, name, MAX_PATH), 0u);  // the program
  // A library finding itself from one of its addresses holds a reference.
  HMODULE found = nullptr;
  ASSERT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(p), &found));
  EXPECT_EQ(found, h);
  FreeLibrary(h);
  EXPECT_EQ(GetModuleHandleW(u"modtest.dll"), h);
  FreeLibrary(h);
  EXPECT_EQ(GetModuleHandleW(u"modtest.dll"), nullptr);
}

TEST_F(Modules, BareNameFindsTheLoadedCopy) {
  // An installed copy in the machine root, loaded by its path.
  HMODULE built = LoadLibraryW(u"modtest.dll");
  ASSERT_NE(built, nullptr);
  std::string source = morva::platform::module_native_path(built);
  FreeLibrary(built);
  std::filesystem::create_directories(root_.file("drive_c/drv"));
  std::filesystem::copy_file(source, root_.file("drive_c/drv/libmodtest.so"));
  HMODULE installed = LoadLibraryExW(u"C:\\drv\\modtest.dll", nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  ASSERT_NE(installed, nullptr);
  EXPECT_EQ(morva::platform::module_native_path(installed), root_.file("drive_c/drv/libmodtest.so"));
  // A bare name now means that copy, not the one in the build folder.
  HMODULE again = LoadLibraryW(u"modtest.dll");
  EXPECT_EQ(again, installed);
  FreeLibrary(again);
  FreeLibrary(installed);
  EXPECT_EQ(GetModuleHandleW(u"modtest.dll"), nullptr);
}

TEST_F(Modules, LoadFailures) {
  EXPECT_EQ(LoadLibraryW(u"nosuch.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  write_file(root_.file("drive_c/x/fake.dll"), "MZ not a shared library");
  EXPECT_EQ(LoadLibraryW(u"C:\\X\\FAKE.DLL"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
  EXPECT_FALSE(FreeLibrary(reinterpret_cast<HMODULE>(0x1234)));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(Modules, DataFileLoads) {
  write_file(root_.file("drive_c/res/morvares.xrs"), "XRS\x01payload");
  HMODULE a = LoadLibraryExW(u"c:\\RES\\morvares.xrs", nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(reinterpret_cast<UINT_PTR>(a) & 1, 1u);
  const BYTE* data = nullptr;
  SIZE_T size = 0;
  ASSERT_TRUE(morva::platform::module_image(a, &data, &size));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(data), size), std::string("XRS\x01payload"));
  // A resource module loaded the way a driver loads its resource file.
  HMODULE b = LoadLibraryExW(u"C:\\res\\morvares.xrs", nullptr, DONT_RESOLVE_DLL_REFERENCES | LOAD_WITH_ALTERED_SEARCH_PATH);
  EXPECT_EQ(a, b);
  EXPECT_EQ(GetProcAddress(a, "anything"), nullptr);
  EXPECT_EQ(GetModuleHandleW(u"morvares.xrs"), nullptr);  // data files are not modules
  WCHAR name[MAX_PATH];
  ASSERT_GT(GetModuleFileNameW(a, name, MAX_PATH), 0u);
  EXPECT_EQ(std::u16string(name), u"C:\\res\\morvares.xrs");
  EXPECT_TRUE(FreeLibrary(a));
  EXPECT_TRUE(morva::platform::module_image(a, &data, &size));
  EXPECT_TRUE(FreeLibrary(b));
  EXPECT_FALSE(morva::platform::module_image(a, &data, &size));
  // Bare names are also looked for in the machine's system folder.
  write_file(root_.file("drive_c/Windows/System32/other.xrs"), "x");
  HMODULE c = LoadLibraryExW(u"other.xrs", nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(c, nullptr);
  FreeLibrary(c);
}

int fake_socket() { return 7; }

TEST_F(Modules, BuiltinModules) {
  // The WinSock stand-in registers itself at start-up; this test uses the
  // name for a module of its own and puts the stand-in back at the end.
  morva::platform::unregister_builtin_module(u"ws2_32.dll");
  EXPECT_EQ(LoadLibraryW(u"ws2_32.dll"), nullptr);
  morva::platform::winsock_register_modules();
  morva::platform::register_builtin_module(u"ws2_32.dll", {{"socket", morva_proc(&fake_socket)}});
  HMODULE h = LoadLibraryW(u"WS2_32.DLL");
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(GetModuleHandleW(u"ws2_32"), h);
  EXPECT_EQ(morva_proc_as<int (*)()>(GetProcAddress(h, "socket"))(), 7);
  EXPECT_EQ(GetProcAddress(h, "bind"), nullptr);
  WCHAR name[MAX_PATH];
  GetModuleFileNameW(h, name, MAX_PATH);
  EXPECT_EQ(std::u16string(name), u"C:\\Windows\\System32\\ws2_32.dll");
  EXPECT_TRUE(FreeLibrary(h));
  morva::platform::unregister_builtin_module(u"ws2_32.dll");
  EXPECT_EQ(LoadLibraryW(u"ws2_32.dll"), nullptr);

  // KERNEL32's loader functions, as callers bind them at run time.
  HMODULE k = GetModuleHandleA("KERNEL32");
  ASSERT_NE(k, nullptr);
  auto load = morva_proc_as<HMODULE (*)(LPCSTR, HANDLE, DWORD)>(GetProcAddress(k, "LoadLibraryExA"));
  ASSERT_NE(load, nullptr);
  HMODULE m = load("modtest.dll", nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  EXPECT_NE(m, nullptr);
  FreeLibrary(m);
}

}  // namespace

namespace {

// Several threads loading, using and freeing the same library at once, as
// the spooler's threads do with a driver.
TEST(ModulesThreads, ConcurrentLoadsKeepCountsRight) {
  morva::test::TempRoot root;
  unsetenv("MODTEST_EVENTS");
  std::vector<std::thread> threads;
  std::atomic<int> answers{0};
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 50; ++i) {
        HMODULE h = LoadLibraryW(u"modtest.dll");
        if (!h) continue;
        if (auto f = morva_proc_as<int (*)()>(GetProcAddress(h, "modtest_answer")); f && f() == 42) ++answers;
        FreeLibrary(h);
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(answers.load(), 400);
  EXPECT_EQ(GetModuleHandleW(u"modtest.dll"), nullptr);
  std::string events = std::getenv("MODTEST_EVENTS") ? std::getenv("MODTEST_EVENTS") : "";
  // Every attach was matched by a detach, in order.
  ASSERT_FALSE(events.empty());
  for (size_t i = 0; i < events.size(); ++i) EXPECT_EQ(events[i], i % 2 ? 'D' : 'A') << events;
}

}  // namespace
