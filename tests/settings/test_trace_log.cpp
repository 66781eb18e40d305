#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ddm/ddmid.h"
#include "settings/items/item_access.h"
#include "settings/common/module_state.h"
#include "settings/common/trace_log.h"
#include "temp_root.h"
#include "win/codepage.h"
#include "win/debug.h"

namespace {

using morva::test::read_file;
using morva::test::write_file;

class TraceLog : public ::testing::Test {
 protected:
  morva::test::TempRoot root;

  void SetUp() override {
    morva::settings::set_module_directory_for_test(u"C:\\driver\\");
    morva::settings::reset_trace_for_test();
  }
  void TearDown() override {
    morva::settings::reset_trace_for_test();
    morva::settings::set_module_directory_for_test(nullptr);
    morva::platform::capture_debug_output(false);
  }

  void config(const std::string& text) {
    write_file(root.file("drive_c/driver/morva.cfg"), text);
    ReloadTraceSettings();
  }
  std::string log_path() const { return root.file("drive_c/DEBUG_LOG/WIN2000/DDI_FAXUI_TRACE_LOG.txt"); }
  std::string log() const { return read_file(log_path()); }
  static std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
  }
};

}  // namespace

TEST_F(TraceLog, EntryAndResultLines) {
  config("[LOG]\r\nLog=0x3\r\n");
  EXPECT_TRUE(IsTraceEnabled());
  EXPECT_EQ(TraceEnter(u"DrvDocumentEvent"), 1);
  EXPECT_EQ(TraceLeave(u"DrvDocumentEvent RetValue = %d", 1), 1);
  DEVMODEW dm{};
  dm.dmSize = sizeof(dm);
  TraceDumpPublicDevmode(nullptr, &dm);  // needs bit 0x4
  TraceDumpDmFields(nullptr, &dm);       // needs bit 0x8
  EXPECT_EQ(log(), "IN <<DrvDocumentEvent\nOUT>>DrvDocumentEvent RetValue = 1\n\n");
  // Too long a name is refused.
  EXPECT_EQ(TraceEnter(std::u16string(509, u'x').c_str()), 0);
  EXPECT_EQ(TraceEnter(std::u16string(508, u'x').c_str()), 1);
}

TEST_F(TraceLog, DebuggerModeCreatesNoFile) {
  morva::platform::capture_debug_output(true);
  config("[LOG]\nLog=0x80000003\n");
  TraceEnter(u"DrvDeviceCapabilities");
  TraceLeave(u"DrvDeviceCapabilities RetValue = %d", 5);
  EXPECT_EQ(morva::platform::take_debug_output(),
            u"IN <<DrvDeviceCapabilities\nOUT>>DrvDeviceCapabilities RetValue = 5\n\n");
  EXPECT_EQ(log(), "");
  EXPECT_FALSE(AcquireTraceLog());
}

TEST_F(TraceLog, InvalidOrMissingSwitchMeansOff) {
  for (const char* cfg : {"[LOG]\nLog=0x000000003\n", "[LOG]\nLog=3x\n", "[LOG]\nLog=\n", "[OTHER]\nLog=3\n"}) {
    config(cfg);
    EXPECT_EQ(GetTraceFlags(), 0u) << cfg;
    TraceEnter(u"X");
    TracePrintf(u"line %d", 1);
  }
  morva::settings::reset_trace_for_test();
  std::remove(root.file("drive_c/driver/morva.cfg").c_str());
  EXPECT_FALSE(IsTraceEnabled());
  EXPECT_EQ(log(), "");
  config("[LOG]\nLog=4294967295\n");  // ten digits, valid
  EXPECT_EQ(GetTraceFlags(), 0xFFFFFFFFu);
}

TEST_F(TraceLog, RangeDumpWithExtraIds) {
  config("[LOG]\nLog=0x31\nLOGOUT.DDMID=0x1450\nLOGOUT.DDMID=0x1450\nLOGOUT.DDMID=70000\nLOGOUT.DDMID=zz\nLOGOUT.DDMID=8205\n");
  int count = 0;
  const WORD* ids = morva::settings::trace_ddmids_for_test(&count);
  ASSERT_EQ(count, 2);  // duplicates, numbers beyond 16 bits and junk are skipped
  EXPECT_EQ(ids[0], 0x1450);
  EXPECT_EQ(ids[1], 8205);
  std::vector<BYTE> dm(morva::ddm::kPrivateDevmodeSize), pd(morva::ddm::kPrinterDataSize);
  DWORD value = 42;
  ASSERT_EQ(SetItemValueRaw(0x1450, dm.data(), pd.data(), 1, 4, &value), 0);
  TraceDumpItemRange(kTraceCategoryDcMerge, u"<merge>", dm.data(), pd.data());
  std::vector<std::string> l = lines(log());
  ASSERT_GE(l.size(), 4u);
  EXPECT_EQ(l[0], "<merge>");
  EXPECT_EQ(l[1], std::string(69, '-'));
  EXPECT_EQ(l.back(), std::string(69, '-'));
  auto has = [&](const std::string& prefix) {
    return std::count_if(l.begin(), l.end(), [&](const std::string& s) { return s.rfind(prefix, 0) == 0; });
  };
  EXPECT_EQ(has("[0x0001] = "), 1);
  EXPECT_EQ(has("[0x0019] = "), 1);  // 25
  EXPECT_EQ(has("[0x0101] = "), 1);  // 257
  EXPECT_EQ(has("[0x0103] = []"), 1);  // 259, an empty text
  EXPECT_EQ(has("[0x001a] = "), 0);  // 26 is in no dump range
  EXPECT_EQ(has("[0x1450] = [42]"), 1);
  EXPECT_EQ(has("[0x200d] = [0x0000]"), 1);  // 8205, an unsigned 32-bit value
}

TEST_F(TraceLog, CategoryMaskSelectsRangeDumps) {
  config("[LOG]\nLog=0x40031\n");
  std::vector<BYTE> dm(morva::ddm::kPrivateDevmodeSize), pd(morva::ddm::kPrinterDataSize);
  TraceDumpItemRange(kTraceCategoryDcMerge, u"suppressed", dm.data(), pd.data());
  EXPECT_EQ(log(), "");
  TraceDumpItemRange(kTraceCategoryDocProperties, u"written", dm.data(), pd.data());
  EXPECT_EQ(lines(log()).at(0), "written");
  // Without any stores nothing is dumped.
  TraceDumpItemRange(kTraceCategoryDocProperties, u"none", nullptr, nullptr);
  EXPECT_EQ(lines(log()).at(0), "written");
}

TEST_F(TraceLog, DevmodeDumpsStayInsideDmSize) {
  config("[LOG]\nLog=0xF\n");
  DEVMODEW dm{};
  std::u16string name(32, u'N');  // fills the field without a terminator
  std::copy(name.begin(), name.end(), dm.dmDeviceName);
  dm.dmSize = 72;  // an old, short DEVMODE: ends before dmFields' value
  dm.dmFields = 0x3;
  TraceDumpPublicDevmode(nullptr, &dm);
  TraceDumpDmFields(u"<f>", &dm);
  TraceDumpPublicDevmode(nullptr, nullptr);
  std::vector<std::string> l = lines(log());
  ASSERT_GE(l.size(), 7u);
  EXPECT_EQ(l[0], "");
  EXPECT_EQ(l[1], "<PublicDevmode>");
  EXPECT_EQ(l[2], "dmDeviceName       =" + std::string(32, 'N'));
  EXPECT_EQ(l[5], "dmSize             =72");
  EXPECT_EQ(l[6], "dmDriverExtra      =0");
  EXPECT_EQ(l[7], "<f>");
  EXPECT_EQ(l[8], "dmOrientation = ON");
  EXPECT_EQ(l[9], "dmPaperSize = ON");
  EXPECT_EQ(l[10], "dmPaperLength = OFF");
  EXPECT_EQ(l.size(), 8u + 28u + 1u);
  EXPECT_EQ(l.back(), "lpdevmode = NULL");
}

TEST_F(TraceLog, DoubleByteLinesAreWrittenWhole) {
  ASSERT_TRUE(morva::platform::set_ansi_code_page(932));
  config("[LOG]\nLog=1\n");
  // 400 characters: under the line limit, but 800 bytes in Shift-JIS.
  std::u16string text(400, u'日');
  EXPECT_EQ(WriteTraceLine(text.c_str()), 1);
  std::string expected;
  for (int i = 0; i < 400; ++i) expected += "\x93\xfa";
  EXPECT_EQ(log(), expected + "\n");
  EXPECT_EQ(WriteTraceLine(std::u16string(514, u'a').c_str()), 0);
  EXPECT_EQ(WriteTraceLine(std::u16string(513, u'a').c_str()), 1);
}

TEST_F(TraceLog, ConcurrentWritersProduceWholeLines) {
  config("[LOG]\nLog=0x3\n");
  auto writer = [](const char16_t* name) {
    for (int i = 0; i < 300; ++i) {
      TraceEnter(name);
      TracePrintf(u"%s step %d of a longer line to widen the window", name, i);
    }
  };
  std::thread a(writer, u"ThreadA"), b(writer, u"ThreadB");
  // A dump holds the file open while the others write.
  std::thread c([] {
    for (int i = 0; i < 50; ++i) {
      AcquireTraceLog();
      TracePrintf(u"dump %d", i);
      ReleaseTraceLog();
    }
  });
  a.join();
  b.join();
  c.join();
  std::vector<std::string> l = lines(log());
  EXPECT_EQ(l.size(), 2u * 600u + 50u);
  for (const std::string& s : l) {
    bool whole = s == "IN <<ThreadA" || s == "IN <<ThreadB" || s.rfind("dump ", 0) == 0 ||
                 ((s.rfind("ThreadA step ", 0) == 0 || s.rfind("ThreadB step ", 0) == 0) &&
                  s.ends_with(" of a longer line to widen the window"));
    EXPECT_TRUE(whole) << s;
  }
}
