// The spooler stand-in calls the demo printer's driver as a spooler does:
// a new printer is set up by its driver and its DEVMODE stored in the
// driver's form, a user's connection registers the driver and its removal
// cleans up the user's keys, and a deleted printer leaves no user keys
// behind for a later printer of the same name.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "gfx_demo.h"
#include "settings/database/ddd_file.h"
#include "settings/stores/printer_identity.h"
#include "settings/stores/user_registry_values.h"
#include "temp_root.h"
#include "win/errors.h"
#include "win/spooler.h"

namespace {

using morva::gfx_demo::kDemoPrinter;

HANDLE open_printer(const std::u16string& printer) {
  std::u16string name = printer;
  PRINTER_DEFAULTSW all{nullptr, nullptr, PRINTER_ALL_ACCESS};
  HANDLE h = nullptr;
  return OpenPrinterW(name.data(), &h, &all) ? h : nullptr;
}

bool has_printer_value(HANDLE printer, const char16_t* name) {
  std::u16string n = name;
  DWORD type = 0, needed = 0;
  const DWORD rc = GetPrinterDataW(printer, n.data(), &type, nullptr, 0, &needed);
  return rc == ERROR_MORE_DATA || rc == ERROR_SUCCESS;
}

// Writes (or reads back) the user's probe value of the printer; the read
// answers 0 when the value is there.
INT probe(const std::u16string& printer, bool write) {
  HANDLE h = open_printer(printer);
  if (!h) return -1;
  std::unique_ptr<DddHandle, BOOL (*)(DddHandle*)> database(DddOpen(h), DddClose);
  DWORD value = 1;
  const INT result = !database ? -1
                     : write   ? WriteUserRegistryValue(h, database.get(), &value, 4, REG_DWORD, nullptr, u"Probe")
                               : ReadUserRegistryValue(h, database.get(), &value, 4, REG_DWORD, nullptr, u"Probe");
  ClosePrinter(h);
  return result;
}

class SpoolerEvents : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(morva::gfx_demo::install_demo_printer(MORVA_BIN_DIR, &error)) << error;
    printer_ = open_printer(kDemoPrinter);
    ASSERT_NE(printer_, nullptr);
    DWORD needed = 0;
    GetPrinterW(printer_, 2, nullptr, 0, &needed);
    info_.resize(needed);
    ASSERT_TRUE(GetPrinterW(printer_, 2, info_.data(), needed, &needed));
  }
  void TearDown() override {
    if (printer_) ClosePrinter(printer_);
  }
  // Adds a printer of the demo printer's driver and port.
  HANDLE add_printer(const std::u16string& name, DEVMODEW* devmode) {
    PRINTER_INFO_2W p = *reinterpret_cast<const PRINTER_INFO_2W*>(info_.data());
    std::u16string n = name;
    p.pPrinterName = n.data();
    p.pShareName = nullptr;
    p.pDevMode = devmode;
    return AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&p));
  }

  morva::test::TempRoot root_;
  HANDLE printer_ = nullptr;
  std::vector<BYTE> info_;
};

TEST_F(SpoolerEvents, ANewPrinterIsSetUpByItsDriver) {
  // Nobody but the spooler told the driver of the demo printer.
  BYTE id[16] = {};
  EXPECT_EQ(ReadPrinterId(printer_, id), 1);
  EXPECT_TRUE(has_printer_value(printer_, u"SPLUserModePrinterDriver"));

  // A DEVMODE of public fields only is stored in the driver's form.
  std::vector<BYTE> given(sizeof(DEVMODEW), 0);
  auto* dm = reinterpret_cast<DEVMODEW*>(given.data());
  dm->dmSize = sizeof(DEVMODEW);
  dm->dmSpecVersion = 0x401;
  dm->dmFields = DM_ORIENTATION;
  dm->dmOrientation = DMORIENT_LANDSCAPE;
  HANDLE added = add_printer(u"Demo Copy", dm);
  ASSERT_NE(added, nullptr) << GetLastError();
  DWORD needed = 0;
  GetPrinterW(added, 2, nullptr, 0, &needed);
  std::vector<BYTE> stored(needed);
  ASSERT_TRUE(GetPrinterW(added, 2, stored.data(), needed, &needed));
  const DEVMODEW* kept = reinterpret_cast<const PRINTER_INFO_2W*>(stored.data())->pDevMode;
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(kept->dmSize, 220);
  EXPECT_EQ(kept->dmDriverExtra, 1384) << "the driver's private part was added";
  EXPECT_EQ(ReadPrinterId(added, id), 1);
  EXPECT_TRUE(DeletePrinter(added));
  ClosePrinter(added);
}

TEST_F(SpoolerEvents, ConnectionsRegisterTheDriverAndCleanUpTheUsersKeys) {
  std::u16string name = kDemoPrinter, mode_value = u"SPLUserModePrinterDriver";
  DeletePrinterDataW(printer_, mode_value.data());
  ASSERT_FALSE(has_printer_value(printer_, u"SPLUserModePrinterDriver"));
  EXPECT_TRUE(AddPrinterConnectionW(name.data()));
  EXPECT_TRUE(has_printer_value(printer_, u"SPLUserModePrinterDriver"));

  ASSERT_EQ(probe(kDemoPrinter, true), 1);
  ASSERT_EQ(probe(kDemoPrinter, false), 0);
  EXPECT_TRUE(DeletePrinterConnectionW(name.data()));
  EXPECT_EQ(probe(kDemoPrinter, false), 1) << "the user's key went with the connection";

  // Refusals: a connection that is not there, a printer that is not there.
  std::u16string other = u"No Such Printer";
  const struct {
    BOOL (*call)(LPWSTR);
    std::u16string* name;
  } refused[] = {{DeletePrinterConnectionW, &name}, {AddPrinterConnectionW, &other}, {DeletePrinterConnectionW, &other}};
  for (const auto& r : refused) {
    SetLastError(0);
    EXPECT_FALSE(r.call(r.name->data()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
  }
}

TEST_F(SpoolerEvents, ADeletedPrinterLeavesNoUserKeysBehind) {
  HANDLE added = add_printer(u"Demo Copy", nullptr);
  ASSERT_NE(added, nullptr);
  ASSERT_EQ(probe(u"Demo Copy", true), 1);
  ASSERT_EQ(probe(u"Demo Copy", false), 0);
  EXPECT_TRUE(DeletePrinter(added));
  ClosePrinter(added);
  // A later printer of the same name starts without the old user's keys.
  added = add_printer(u"Demo Copy", nullptr);
  ASSERT_NE(added, nullptr);
  EXPECT_EQ(probe(u"Demo Copy", false), 1);
  EXPECT_TRUE(DeletePrinter(added));
  ClosePrinter(added);
}

}  // namespace
