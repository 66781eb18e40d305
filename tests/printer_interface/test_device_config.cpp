// The device-configuration binding: the library name fixed once per
// process, every wrapper's missing answer without the library, without the
// export and without the loader, and with the stand-in library each call's
// arguments and answers passed through and the library freed after every
// call.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "pi/device_config.h"
#include "win/modules.h"

namespace {

const HANDLE kDevice = reinterpret_cast<HANDLE>(UINT_PTR{0x5100});
const HWND kOwner = reinterpret_cast<HWND>(UINT_PTR{0x77});

// Calls every wrapper except the open once; returns their answers in order.
std::vector<DWORD> call_all_but_open() {
  DWORD number = 0;
  INT integer = 0;
  char text[kDeviceValueStringSize] = {};
  std::vector<BYTE> tray(kDeviceTrayInfoSize);
  const DWORD attribute = 1;
  return {DevConfig_CloseDevice(kDevice),
          DevConfig_SelectDevice(kDevice, kOwner, "port", "model", "sel"),
          DevConfig_SetAttribute(kDevice, "_REDORE_Mode", &attribute),
          DevConfig_GetValueBoolean(kDevice, "b", 0, &number),
          DevConfig_GetValueInteger(kDevice, "i", 0, &integer),
          DevConfig_GetValueUInteger(kDevice, "u", 0, &number),
          DevConfig_GetValueString(kDevice, "s", 0, text),
          DevConfig_GetNumberOfInputTrayInfo(kDevice, &number),
          DevConfig_GetInputTrayInfo(kDevice, 0, tray.data())};
}

class DeviceConfigTest : public ::testing::Test {
 protected:
  std::string log_path;

  void SetUp() override {
    morva::pi::reset_device_config_for_test();
    char name[] = "/tmp/devcfg_log_XXXXXX";
    const int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    close(fd);
    log_path = name;
    setenv("MV_DEVCFG_LOG", name, 1);
  }
  void TearDown() override {
    unsetenv("MV_DEVCFG_LOG");
    unlink(log_path.c_str());
    morva::pi::reset_device_config_for_test();
  }

  std::vector<std::string> log() const {
    std::ifstream in(log_path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
};

TEST_F(DeviceConfigTest, LibraryNameIsFixedByTheFirstCall) {
  EXPECT_FALSE(DevConfig_SetLibraryName(nullptr));
  EXPECT_FALSE(DevConfig_SetLibraryName(""));  // an empty name fixes nothing
  EXPECT_TRUE(DevConfig_SetLibraryName("mvdevcfg.dll"));
  EXPECT_TRUE(DevConfig_SetLibraryName("mvdevcfg.dll"));
  EXPECT_FALSE(DevConfig_SetLibraryName("MVDEVCFG.DLL"));  // case-sensitive
  EXPECT_FALSE(DevConfig_SetLibraryName("other.dll"));
  EXPECT_FALSE(DevConfig_SetLibraryName(nullptr));
  // The first name stays in use.
  EXPECT_EQ(DevConfig_OpenDevice("a", "b", 0), kDevice);
}

TEST_F(DeviceConfigTest, LongNameIsCutAndComparedOverTheStoredPart) {
  const std::string stored(259, 'n');
  EXPECT_TRUE(DevConfig_SetLibraryName((stored + "tail").c_str()));
  EXPECT_TRUE(DevConfig_SetLibraryName(stored.c_str()));
  EXPECT_TRUE(DevConfig_SetLibraryName((stored + "other").c_str()));
  EXPECT_FALSE(DevConfig_SetLibraryName(stored.substr(0, 258).c_str()));
}

TEST_F(DeviceConfigTest, MissingLibraryOrExportGivesFixedAnswers) {
  const std::vector<DWORD> failed(9, 1);
  // No name set yet.
  EXPECT_EQ(DevConfig_OpenDevice("a", "b", 0), nullptr);
  EXPECT_EQ(call_all_but_open(), failed);

  // A name with no file behind it.
  ASSERT_TRUE(DevConfig_SetLibraryName("mvdevcfg_absent.dll"));
  EXPECT_EQ(DevConfig_OpenDevice("a", "b", 0), nullptr);
  EXPECT_EQ(call_all_but_open(), failed);

  // A library that exports only the open.
  morva::pi::reset_device_config_for_test();
  ASSERT_TRUE(DevConfig_SetLibraryName("mvdevcfg_open.dll"));
  EXPECT_EQ(DevConfig_OpenDevice("a", "b", 0), kDevice);
  EXPECT_EQ(call_all_but_open(), failed);
  // Every call loaded and freed the library, also those without an export.
  const std::vector<std::string> lines = log();
  ASSERT_FALSE(lines.empty());
  size_t attach = 0, detach = 0, open = 0;
  for (const std::string& line : lines) {
    attach += line == "attach";
    detach += line == "detach";
    open += line.rfind("open ", 0) == 0;
  }
  EXPECT_EQ(open, 1u);
  EXPECT_EQ(attach, 10u);
  EXPECT_EQ(detach, 10u);
}

TEST_F(DeviceConfigTest, MissingLoaderGivesFixedAnswers) {
  // KERNEL32 without FreeLibrary: none of the loader functions is used.
  HMODULE kernel = GetModuleHandleA("KERNEL32.DLL");
  ASSERT_NE(kernel, nullptr);
  const char* names[] = {"LoadLibraryA",       "LoadLibraryW",       "LoadLibraryExA", "LoadLibraryExW",
                         "FreeLibrary",        "GetProcAddress",     "GetModuleHandleA", "GetModuleHandleW",
                         "GetModuleFileNameA", "GetModuleFileNameW", "GetVersionExA",  "GetVersionExW",
                         "GetLastError",       "SetLastError"};
  std::vector<morva::platform::BuiltinExport> all, partial;
  for (const char* name : names) {
    if (FARPROC proc = GetProcAddress(kernel, name)) {
      all.push_back({name, proc});
      if (std::strcmp(name, "FreeLibrary") != 0) partial.push_back({name, proc});
    }
  }
  morva::platform::register_builtin_module(u"kernel32.dll", partial);

  ASSERT_TRUE(DevConfig_SetLibraryName("mvdevcfg.dll"));
  EXPECT_FALSE(DevConfig_BindLoader());
  EXPECT_EQ(DevConfig_OpenDevice("a", "b", 0), nullptr);
  EXPECT_EQ(call_all_but_open(), std::vector<DWORD>(9, 1));
  morva::platform::register_builtin_module(u"kernel32.dll", all);
  // Bound once: the loader stays missing for the process.
  EXPECT_EQ(DevConfig_OpenDevice("a", "b", 0), nullptr);
  EXPECT_TRUE(log().empty());
}

TEST_F(DeviceConfigTest, ArgumentsAndAnswersPassThrough) {
  ASSERT_TRUE(DevConfig_SetLibraryName("mvdevcfg.dll"));
  EXPECT_EQ(DevConfig_OpenDevice("refuse", "x", 0), nullptr);
  EXPECT_EQ(DevConfig_OpenDevice("name1", "name2", 0), kDevice);
  EXPECT_EQ(DevConfig_SelectDevice(kDevice, kOwner, "IP_1", "Model 9", "sel"), 8u);
  const DWORD mode = 2;
  EXPECT_EQ(DevConfig_SetAttribute(kDevice, "_REDORE_Mode", &mode), 0u);
  EXPECT_EQ(DevConfig_SetAttribute(kDevice, "_REDORE_EWSTryAddress", "127.0.0.1"), 0u);

  DWORD flag = 7;
  EXPECT_EQ(DevConfig_GetValueBoolean(kDevice, "opt", 3, &flag), 0u);
  EXPECT_EQ(flag, 1u);
  INT integer = 0;
  EXPECT_EQ(DevConfig_GetValueInteger(kDevice, "num", 5, &integer), 8u);
  EXPECT_EQ(integer, -105);
  DWORD unsigned_value = 0;
  EXPECT_EQ(DevConfig_GetValueUInteger(kDevice, "unum", 2, &unsigned_value), 0u);
  EXPECT_EQ(unsigned_value, 0xFFFF0002u);

  char text[kDeviceValueStringSize];
  EXPECT_EQ(DevConfig_GetValueString(kDevice, "name", 4, text), 0u);
  EXPECT_STREQ(text, "name#4");
  EXPECT_EQ(DevConfig_GetValueString(kDevice, "_unknown", 0, text), 5u);
  // A text filling the whole buffer ends at the buffer's last byte.
  EXPECT_EQ(DevConfig_GetValueString(kDevice, "_long", 0, text), 0u);
  EXPECT_EQ(std::strlen(text), kDeviceValueStringSize - 1);

  DWORD trays = 0;
  EXPECT_EQ(DevConfig_GetNumberOfInputTrayInfo(kDevice, &trays), 0u);
  EXPECT_EQ(trays, 3u);
  std::vector<BYTE> tray(kDeviceTrayInfoSize);
  EXPECT_EQ(DevConfig_GetInputTrayInfo(kDevice, 1, tray.data()), 0u);
  EXPECT_EQ(tray.front(), 0xA1);
  EXPECT_EQ(tray.back(), 0xA1);
  EXPECT_EQ(DevConfig_GetInputTrayInfo(kDevice, 3, tray.data()), 5u);
  EXPECT_EQ(DevConfig_CloseDevice(kDevice), 0u);

  // Each call between one attach and one detach, with its arguments.
  const std::vector<std::string> calls = {"open refuse x 0",
                                          "open name1 name2 0",
                                          "select 5100 77 IP_1 Model 9 sel",
                                          "set 5100 _REDORE_Mode 2",
                                          "set 5100 _REDORE_EWSTryAddress 127.0.0.1",
                                          "bool 5100 opt 3",
                                          "int 5100 num 5",
                                          "uint 5100 unum 2",
                                          "string 5100 name 4",
                                          "string 5100 _unknown 0",
                                          "string 5100 _long 0",
                                          "traycount 5100",
                                          "tray 5100 1",
                                          "tray 5100 3",
                                          "close 5100"};
  std::vector<std::string> expected;
  for (const std::string& call : calls) expected.insert(expected.end(), {"attach", call, "detach"});
  EXPECT_EQ(log(), expected);
}

}  // namespace
