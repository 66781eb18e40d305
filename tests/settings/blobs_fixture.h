// A printer whose driver data file is a small device database, for the
// tests of the stored private settings, printer-data kinds and font
// substitution.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ddd_fixture.h"
#include "win/errors.h"
#include "win/registry.h"
#include "win/spooler.h"
#include "test_printer.h"

namespace morva::test {

inline constexpr char16_t kUserBase[] = u"Software\\Morva Test\\Users\\";

class PrinterTest : public DddTest {
 protected:
  HANDLE printer = nullptr;

  // Installs the database as the driver's data file, adds a printer that
  // uses it and opens the database through the printer.
  void install(json records = json::array(), json fields = json::object()) {
    fields["33"] = "Software\\Morva Test\\Users\\";
    ddd_build::write_images(ddd_build::build_images(one_file(records, 0x2000, fields)),
                            root.file("drive_c/Windows/System32/spool/DRIVERS/x64/3"));
    printer = morva::test::add_test_printer(u"Test Printer", u"Test Driver", u"T.DDD", u"IP_127.0.0.1");
    ASSERT_NE(printer, nullptr) << GetLastError();
    handle = DddOpen(printer);
    ASSERT_NE(handle, nullptr);
  }

  void TearDown() override {
    if (printer) ClosePrinter(printer);
    DddTest::TearDown();
  }

  // A raw printer-data value, or an empty vector with `found` false.
  std::vector<BYTE> value(const std::u16string& name, bool* found = nullptr, DWORD* type = nullptr) {
    DWORD needed = 0, t = 0;
    std::u16string n = name;
    DWORD err = GetPrinterDataW(printer, n.data(), &t, nullptr, 0, &needed);
    if (found) *found = err == ERROR_SUCCESS || err == ERROR_MORE_DATA;
    std::vector<BYTE> out(needed);
    if (needed) GetPrinterDataW(printer, n.data(), &t, out.data(), needed, &needed);
    if (type) *type = t;
    return out;
  }
  void set_value(const std::u16string& name, DWORD type, std::vector<BYTE> bytes) {
    std::u16string n = name;
    ASSERT_EQ(SetPrinterDataW(printer, n.data(), type, bytes.data(), static_cast<DWORD>(bytes.size())),
              static_cast<DWORD>(ERROR_SUCCESS));
  }
};

// `n` bytes of a recognisable pattern.
inline std::vector<BYTE> pattern(std::size_t n, unsigned seed = 1) {
  std::vector<BYTE> out(n);
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<BYTE>((i * 7 + seed * 13 + i / 251) & 0xFF);
  return out;
}

}  // namespace morva::test
