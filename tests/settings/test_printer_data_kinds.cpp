#include <gtest/gtest.h>

#include <vector>

#include "blobs_fixture.h"
#include "settings/stores/printer_data_kinds.h"
#include "win/endian.h"
#include "win/machine_store.h"
#include "win/memory.h"

namespace morva::test {
namespace {

class PrinterDataKinds : public PrinterTest {
 protected:
  void SetUp() override { install(); }
  void TearDown() override {
    platform::clear_store_faults();
    PrinterTest::TearDown();
  }
};

TEST_F(PrinterDataKinds, NamesOfEveryKind) {
  const char16_t* expected[][2] = {{u"FontSubTableSize", u"FontSubTable"},
                                   {u"SysTTFontListSize", u"SysTTFontList"},
                                   {u"PrinterDataSize", u"PrinterData"},
                                   {u"UserSettingInfoSize", u"UserSettingInfo"},
                                   {u"PaperMarginArraySize", u"PaperMarginArray"}};
  for (DWORD kind = 0; kind < 5; ++kind) {
    const std::vector<BYTE> blob = pattern(100 + kind, kind);
    ASSERT_EQ(WritePrinterDataKind(printer, blob.data(), DWORD(blob.size()), kind), 1);
    EXPECT_EQ(morva::load_le32(value(expected[kind][0]).data()), blob.size());
    EXPECT_EQ(value(std::u16string(expected[kind][1]) + u"1"), blob);
  }
  const BYTE b = 0;
  DWORD size = 1;
  EXPECT_EQ(WritePrinterDataKind(printer, &b, 1, 5), 0);
  EXPECT_EQ(ReadPrinterDataKind(printer, 5, nullptr, &size), 0);
  EXPECT_EQ(DeletePrinterDataKind(printer, 5), 0);
}

// A PrinterData block takes eleven chunks, the last of 292 bytes; the
// buffer of a read must hold the whole blob.
TEST_F(PrinterDataKinds, PrinterDataBlock) {
  const std::vector<BYTE> block = pattern(7972);
  ASSERT_EQ(WritePrinterDataKind(printer, block.data(), 7972, kPrinterDataPrinterData), 1);
  EXPECT_EQ(morva::load_le32(value(u"PrinterDataSize").data()), 7972u);
  EXPECT_EQ(value(u"PrinterData1").size(), 768u);
  EXPECT_EQ(value(u"PrinterData11").size(), 292u);
  bool found = true;
  value(u"PrinterData12", &found);
  EXPECT_FALSE(found);

  DWORD size = 0;
  ASSERT_EQ(ReadPrinterDataKind(printer, kPrinterDataPrinterData, nullptr, &size), 1);
  EXPECT_EQ(size, 7972u);
  std::vector<BYTE> buffer(8000, 0xEE);
  size = 7971;
  EXPECT_EQ(ReadPrinterDataKind(printer, kPrinterDataPrinterData, buffer.data(), &size), 0);
  size = 8000;
  ASSERT_EQ(ReadPrinterDataKind(printer, kPrinterDataPrinterData, buffer.data(), &size), 1);
  EXPECT_EQ(size, 7972u);
  EXPECT_EQ(std::vector<BYTE>(buffer.begin(), buffer.begin() + 7972), block);
  EXPECT_EQ(buffer[7972], 0xEE);

  EXPECT_EQ(WritePrinterDataKind(printer, block.data(), 768, kPrinterDataPaperMarginArray), 1);
  value(u"PaperMarginArray2", &found);
  EXPECT_FALSE(found) << "768 bytes are one chunk";
  const std::vector<BYTE> over(76033);
  EXPECT_EQ(WritePrinterDataKind(printer, over.data(), 76033, kPrinterDataSysTTFontList), 0);
  value(u"SysTTFontListSize", &found);
  EXPECT_FALSE(found);
  size = 0;
  EXPECT_EQ(ReadPrinterDataKind(printer, kPrinterDataSysTTFontList, nullptr, &size), 0) << "nothing stored";
}

TEST_F(PrinterDataKinds, Delete) {
  EXPECT_EQ(DeletePrinterDataKind(printer, kPrinterDataUserSettingInfo), 1) << "nothing stored";
  const std::vector<BYTE> record = pattern(2096);
  ASSERT_EQ(WritePrinterDataKind(printer, record.data(), 2096, kPrinterDataUserSettingInfo), 1);
  ASSERT_EQ(DeletePrinterDataKind(printer, kPrinterDataUserSettingInfo), 1);
  for (const char16_t* name : {u"UserSettingInfoSize", u"UserSettingInfo1", u"UserSettingInfo3"}) {
    bool found = true;
    value(name, &found);
    EXPECT_FALSE(found);
  }

  // A stored size of 0, or of 100 chunks, deletes nothing.
  for (DWORD stored : {0u, 76033u}) {
    ASSERT_EQ(WritePrinterDataKind(printer, record.data(), 10, kPrinterDataPrinterData), 1);
    BYTE bytes[4];
    morva::store_le32(bytes, stored);
    set_value(u"PrinterDataSize", REG_DWORD, {bytes, bytes + 4});
    EXPECT_EQ(DeletePrinterDataKind(printer, kPrinterDataPrinterData), 0) << stored;
    bool found = false;
    value(u"PrinterData1", &found);
    EXPECT_TRUE(found);
  }

  // A failing deletion stops the walk and is reported.
  ASSERT_EQ(WritePrinterDataKind(printer, record.data(), 2096, kPrinterDataPrinterData), 1);
  platform::inject_store_fault(platform::StoreFault::access_denied, 1, 1);
  EXPECT_EQ(DeletePrinterDataKind(printer, kPrinterDataPrinterData), 0);
  platform::clear_store_faults();
  bool found = false;
  value(u"PrinterData1", &found);
  EXPECT_FALSE(found);
  value(u"PrinterData2", &found);
  EXPECT_TRUE(found);
  value(u"PrinterDataSize", &found);
  EXPECT_TRUE(found);
}

TEST_F(PrinterDataKinds, FailingWritesReported) {
  const std::vector<BYTE> block = pattern(7972);
  for (int skip = 0; skip < 12; ++skip) {
    platform::inject_store_fault(platform::StoreFault::write_failure, skip, 1);
    EXPECT_EQ(WritePrinterDataKind(printer, block.data(), 7972, kPrinterDataPrinterData), 0) << skip;
    platform::clear_store_faults();
  }
  // A handle without administrative access cannot write.
  HANDLE user = nullptr;
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"Test Printer"), &user, nullptr));
  EXPECT_EQ(WritePrinterDataKind(user, block.data(), 10, kPrinterDataPrinterData), 0);
  ClosePrinter(user);
}

TEST_F(PrinterDataKinds, AllocGetPrinter) {
  BYTE* info = AllocGetPrinter(printer, 1);
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(std::u16string(reinterpret_cast<PRINTER_INFO_1W*>(info)->pName), u"Test Printer");
  GlobalFree(info);
  EXPECT_EQ(AllocGetPrinter(printer, 77), nullptr);
  EXPECT_EQ(AllocGetPrinter(nullptr, 1), nullptr);
  BYTE* driver = AllocGetPrinterDriver(printer, 2);
  ASSERT_NE(driver, nullptr);
  EXPECT_EQ(std::u16string(reinterpret_cast<DRIVER_INFO_2W*>(driver)->pName), u"Test Driver");
  GlobalFree(driver);
  platform::inject_allocation_failure(0, 1);
  EXPECT_EQ(AllocGetPrinterDriver(printer, 3), nullptr);
  platform::inject_allocation_failure(0, 0);
}

}  // namespace
}  // namespace morva::test
