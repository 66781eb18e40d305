#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "child_process.h"
#include "printer_install.h"
#include "temp_root.h"
#include "win/paths.h"
#include "win/resources.h"
#include "win/win.h"

namespace {

namespace fs = std::filesystem;
const std::string kBin = MORVA_BIN_DIR;
const std::string kDemo = kBin + "/../demo_printer";

std::u16string s16(const WCHAR* s) { return s ? std::u16string(s) : std::u16string(); }

template <typename Call>
std::vector<BYTE> fetch(Call call) {
  DWORD needed = 0;
  call(nullptr, 0, &needed);
  std::vector<BYTE> buf(needed);
  EXPECT_TRUE(call(buf.data(), needed, &needed)) << GetLastError();
  return buf;
}

class PrinterInstall : public ::testing::Test {
 protected:
  void SetUp() override {
    morva::test::write_file(root_.file("build/libmorvagfx.so"), "graphics driver stand-in");
    morva::test::write_file(root_.file("build/libmorvaui.so"), "interface driver stand-in");
    morva::test::write_file(root_.file("build/libmorvaui.xrs"), "its resources");
    morva::test::write_file(root_.file("build/model.cfg"), "[default]\r\n");
  }
  std::vector<std::string> tool_args(const std::string& name) {
    return {kBin + "/morva-install-printer", "--root", root_.path(), "--name", name,
            "--gfx", root_.file("build/libmorvagfx.so"), "--ui", root_.file("build/libmorvaui.so"),
            "--database", kDemo + "/MVDEMO.DDD", "--file", kDemo + "/MVDEMOSTR.DLL",
            "--config", root_.file("build/model.cfg"), "--resources", kBin + "/morvares.xrs",
            "--data", "PRNID=binary:00112233445566778899aabbccddeeff",
            "--data", "DsDriver\\printDuplexSupported=dword:1"};
  }
  morva::test::TempRoot root_;
};

// The tool runs in its own process; this one sees the printer it made.
TEST_F(PrinterInstall, ToolInstallsAPrinterOthersCanUse) {
  ASSERT_EQ(morva::test::run_program(tool_args("Demo Printer")), 0);

  HANDLE h = nullptr;
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"Demo Printer"), &h, nullptr)) << GetLastError();
  auto buf = fetch([&](LPBYTE b, DWORD n, LPDWORD need) { return GetPrinterDriverW(h, nullptr, 3, b, n, need); });
  const auto* d = reinterpret_cast<DRIVER_INFO_3W*>(buf.data());
  // The data file is the installed database, byte for byte.
  std::string data_file = morva::platform::native_path(s16(d->pDataFile));
  ASSERT_FALSE(data_file.empty());
  EXPECT_EQ(morva::test::read_file(data_file), morva::test::read_file(kDemo + "/MVDEMO.DDD"));
  EXPECT_EQ(fs::path(data_file).filename(), "MVDEMO.DDD");
  // "x.dll" is the module loader's name of the library "libx.so" beside it.
  auto library = [](const WCHAR* dll) {
    fs::path p = morva::platform::native_path(s16(dll));
    return (p.parent_path() / ("lib" + p.stem().string() + ".so")).string();
  };
  EXPECT_EQ(fs::path(morva::platform::native_path(s16(d->pDriverPath))).filename(), "morvagfx.dll");
  EXPECT_EQ(morva::test::read_file(library(d->pDriverPath)), "graphics driver stand-in");
  EXPECT_EQ(morva::test::read_file(library(d->pConfigFile)), "interface driver stand-in");
  EXPECT_EQ(morva::test::read_file(fs::path(library(d->pConfigFile)).replace_extension(".xrs")), "its resources");
  std::vector<std::u16string> deps;
  for (const WCHAR* p = d->pDependentFiles; *p; p += deps.back().size() + 1) deps.push_back(p);
  ASSERT_EQ(deps.size(), 3u);
  EXPECT_EQ(fs::path(morva::platform::native_path(deps[0])).filename(), "MVDEMO.cfg");
  EXPECT_EQ(fs::path(morva::platform::native_path(deps[1])).filename(), "morvares.xrs");
  EXPECT_EQ(fs::path(morva::platform::native_path(deps[2])).filename(), "MVDEMOSTR.DLL");

  // The installed resource module reads.
  HMODULE res = morva::platform::open_resource_container(morva::platform::native_path(deps[1]));
  ASSERT_NE(res, nullptr);
  WCHAR caption[64];
  EXPECT_GT(LoadStringW(res, 265, caption, 64), 0);
  morva::platform::close_resource_container(res);

  BYTE id[16];
  DWORD type = 0, needed = 0;
  ASSERT_EQ(GetPrinterDataW(h, const_cast<LPWSTR>(u"PRNID"), &type, id, 16, &needed), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(type, REG_BINARY);
  EXPECT_EQ(id[15], 0xff);
  DWORD duplex = 0;
  ASSERT_EQ(GetPrinterDataExW(h, u"DsDriver", u"printDuplexSupported", &type, reinterpret_cast<LPBYTE>(&duplex), 4, &needed),
            static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(duplex, 1u);

  DWORD forms = 0;
  fetch([&](LPBYTE b, DWORD n, LPDWORD need) { return EnumFormsW(h, 1, b, n, need, &forms); });
  EXPECT_EQ(forms, 118u);
  ClosePrinter(h);
}

TEST_F(PrinterInstall, ReinstallNeedsReplace) {
  ASSERT_EQ(morva::test::run_program(tool_args("Twice")), 0);
  EXPECT_EQ(morva::test::run_program(tool_args("Twice")), 1);
  auto args = tool_args("Twice");
  args.erase(args.end() - 4, args.end());  // no initial data this time
  args.push_back("--replace");
  ASSERT_EQ(morva::test::run_program(args), 0);
  HANDLE h = nullptr;
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"Twice"), &h, nullptr));
  DWORD type = 0, needed = 0;
  EXPECT_EQ(GetPrinterDataW(h, const_cast<LPWSTR>(u"PRNID"), &type, nullptr, 0, &needed),
            static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  ClosePrinter(h);
}

TEST_F(PrinterInstall, FailuresAddNoPrinter) {
  morva::install::PrinterSetup s;
  s.name = u"Broken";
  s.database = root_.file("missing.DDD");
  auto r = morva::install::install_printer(s);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

  s.database = kDemo + "/MVDEMO.DDD";
  morva::platform::inject_printer_access_denied(true);
  r = morva::install::install_printer(s);
  morva::platform::inject_printer_access_denied(false);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, static_cast<DWORD>(ERROR_ACCESS_DENIED));

  HANDLE h = nullptr;
  EXPECT_FALSE(OpenPrinterW(const_cast<LPWSTR>(u"Broken"), &h, nullptr));
  EXPECT_EQ(morva::install::install_printer(s).ok, true);
}

TEST(PrinterDataArguments, Parse) {
  struct Case {
    const char* text;
    bool ok;
    const char16_t* key;
    const char16_t* name;
    DWORD type;
    std::vector<BYTE> data;
  } cases[] = {
      {"Permission=dword:0x10", true, u"PrinterDriverData", u"Permission", REG_DWORD, {0x10, 0, 0, 0}},
      {"DsDriver\\printStaplingSupported=dword:0", true, u"DsDriver", u"printStaplingSupported", REG_DWORD, {0, 0, 0, 0}},
      {"Name=sz:ab", true, u"PrinterDriverData", u"Name", REG_SZ, {'a', 0, 'b', 0, 0, 0}},
      {"List=multi_sz:a;b", true, u"PrinterDriverData", u"List", REG_MULTI_SZ, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}},
      {"Blob=binary:00ff10", true, u"PrinterDriverData", u"Blob", REG_BINARY, {0, 0xff, 0x10}},
      {"Blob=binary:0f0", false, u"", u"", 0, {}},
      {"Blob=binary:zz", false, u"", u"", 0, {}},
      {"N=dword:4294967296", false, u"", u"", 0, {}},
      {"N=qword:1", false, u"", u"", 0, {}},
      {"no value", false, u"", u"", 0, {}},
  };
  for (const auto& c : cases) {
    morva::install::PrinterDataValue v;
    std::string error;
    ASSERT_EQ(morva::install::parse_data_value(c.text, v, error), c.ok) << c.text;
    if (!c.ok) {
      EXPECT_FALSE(error.empty());
      continue;
    }
    EXPECT_EQ(v.key, c.key);
    EXPECT_EQ(v.name, c.name);
    EXPECT_EQ(v.type, c.type);
    EXPECT_EQ(v.data, c.data);
  }
}

}  // namespace
