// Cover-sheet items: which rows appear for a destination, where long texts
// go and how they shrink, wrapping by bytes, and a block with room for the
// fullest wide layout.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "fax/fax_cover_sheet.h"
#include "settings/common/common_utils.h"
#include "settings/common/module_state.h"
#include "fax_test_util.h"
#include "temp_root.h"
#include "win/win.h"

using namespace morva::fax;

namespace {

using morva::test::put;
using morva::test::bin_directory;

class CoverSheet : public ::testing::Test {
 protected:
  morva::test::TempRoot root;
  CoverSheetDestination destination{};
  CoverSheetRecord record{};
  FaxLineSettings line{};
  DeviceCapabilityBits narrow{};
  DeviceCapabilityBits wide{{0, 0, 1}};  // bit 64: 0xFFFF0040

  void SetUp() override {
    morva::settings::set_module_directory_for_test(bin_directory().c_str());
    FaxDestination& d = destination.Destination;
    put(d.Name, u"Ann Example");
    put(d.Company, u"Acme");
    put(d.Number, u"0312345678");
    d.Line = 2;
    put(line.OutsideLinePrefix, u"9");
    put(record.Title, u"Memo");
    put(record.Recipient, u"All branches");
    put(record.Sender1820, u"Bo Sender");
    put(destination.Subject, u"Quarterly figures");
  }
  void TearDown() override { morva::settings::set_module_directory_for_test(nullptr); }

  std::vector<CoverSheetItem> build(const DeviceCapabilityBits& bits, INT layout = 0) {
    CoverSheetItem* items = nullptr;
    INT count = 0;
    EXPECT_EQ(BuildCoverSheetItems(&destination, &record, &line, &items, &count, layout, &bits), 1);
    std::vector<CoverSheetItem> out(items, items + count);
    GlobalFree(items);
    return out;
  }
  static const CoverSheetItem* find(const std::vector<CoverSheetItem>& items, const std::u16string& text) {
    for (const auto& i : items)
      if (std::u16string(i.Text) == text) return &i;
    return nullptr;
  }
};

TEST_F(CoverSheet, OneDestinationShowsItsRecipientAndNumber) {
  auto items = build(narrow);
  const CoverSheetItem* label = find(items, u"FAX");
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->X, 1750 - 52);  // ends at x: trunc(10 × 25.4/72 × 1.5 × 10) = 52
  EXPECT_EQ(label->Y, 518);
  ASSERT_NE(find(items, u"Ann Example"), nullptr);
  EXPECT_EQ(find(items, u"Ann Example")->Size, 145);
  ASSERT_NE(find(items, u"Acme"), nullptr);
  ASSERT_NE(find(items, u"0312345678"), nullptr);  // no prefix without the record's flag
  EXPECT_NE(find(items, u"Fax number:"), nullptr);
  EXPECT_NE(find(items, u"Quarterly figures"), nullptr);
  EXPECT_NE(find(items, u"Bo Sender"), nullptr);
  EXPECT_EQ(find(items, u"All branches"), nullptr);

  record.LinePrefix = 1;
  record.ChoiceA = 1;
  items = build(narrow);
  EXPECT_NE(find(items, u"90312345678"), nullptr);
  EXPECT_NE(find(items, u"For review"), nullptr);

  // One job for several destinations: the record's recipient text, no
  // company, choices or number.
  record.OneJob = 1;
  items = build(narrow);
  EXPECT_NE(find(items, u"All branches"), nullptr);
  EXPECT_EQ(find(items, u"Ann Example"), nullptr);
  EXPECT_EQ(find(items, u"Acme"), nullptr);
  EXPECT_EQ(find(items, u"For review"), nullptr);
  EXPECT_EQ(find(items, u"90312345678"), nullptr);
  EXPECT_EQ(find(items, u"Fax number:"), nullptr);

  record.OneJob = 0;
  destination.Destination.Kind = kFaxKindSpeedDial;
  items = build(narrow);
  EXPECT_EQ(find(items, u"Fax number:"), nullptr);
  EXPECT_EQ(find(items, u"90312345678"), nullptr);
  EXPECT_NE(find(items, u"Ann Example"), nullptr);
}

TEST_F(CoverSheet, LongNumbersAndSenderFieldsShrinkToTheirWidth) {
  struct Case {
    const DeviceCapabilityBits* bits;
    size_t chars;
    SHORT size;
    size_t shown;
  };
  const Case cases[] = {
      {&narrow, 50, 120, 50},
      {&narrow, 51, static_cast<SHORT>(107 * 2 * 72 / (2.54 * 51)), 51},
      {&narrow, 70, 86, 70},
      {&narrow, 120, static_cast<SHORT>(107 * 2 * 72 / (2.54 * 120)), 103},  // cut to 100 and "..."
      {&wide, 51, 120, 51},
      {&wide, 52, static_cast<SHORT>(107 * 2 * 72 / (2.54 * 52)), 52},
      {&wide, 120, static_cast<SHORT>(107 * 2 * 72 / (2.54 * 120)), 120},
  };
  for (const Case& c : cases) {
    put(destination.Destination.Number, std::u16string(c.chars, u'5'));
    const auto items = build(*c.bits);
    const CoverSheetItem* number = nullptr;
    for (const auto& i : items)
      if (i.Text[0] == u'5') number = &i;
    ASSERT_NE(number, nullptr) << c.chars;
    EXPECT_EQ(number->Size, c.size) << c.chars;
    EXPECT_EQ(std::u16string(number->Text).size(), c.shown) << c.chars;
  }
  put(record.Sender1876, std::u16string(70, u'7'));
  const auto items = build(wide);
  const CoverSheetItem* sender = find(items, std::u16string(70, u'7'));
  ASSERT_NE(sender, nullptr);
  EXPECT_EQ(sender->Size, static_cast<SHORT>(137 * 2 * 72 / (2.54 * 70)));
  EXPECT_EQ(sender->X, 530);
  EXPECT_EQ(find(build(wide, 1), std::u16string(70, u'7')), nullptr);  // the caller asked for narrow
}

TEST_F(CoverSheet, CommentsWrapAndTheFullestLayoutFitsItsBlock) {
  std::u16string comment;
  for (int i = 0; i < 20; ++i) comment += u"line " + morva::format_w(u"%d", i) + u"\r\n";
  put(destination.Comment, comment);
  auto items = build(narrow);
  int lines = 0;
  SHORT last_y = 0;
  for (const auto& i : items)
    if (std::u16string(i.Text).rfind(u"line ", 0) == 0) {
      ++lines;
      last_y = i.Y;
    }
  EXPECT_EQ(lines, 16);
  EXPECT_EQ(last_y, 1744 + 15 * 49);

  // Every field filled, the wide layout: all 42 items have room.
  put(destination.Destination.Company, u"Acme Corporation\r\nTokyo Branch");
  put(record.Sender1821, std::u16string(200, u'c'));
  put(record.Sender1822, u"+81 3 1111");
  put(record.Sender1823, u"+81 3 2222");
  put(record.Sender1876, u"bo@example.org");
  record.ChoiceA = 2;
  record.ChoiceB = 3;
  items = build(wide);
  EXPECT_GE(kCoverSheetItemCapacity, 42);
  EXPECT_EQ(items.size(), 42u);
  EXPECT_NE(find(items, u"bo@example.org"), nullptr);
  EXPECT_EQ(find(items, u"line 15")->Y, 1744 + 15 * 49);
  EXPECT_EQ(find(items, u"E-mail:")->X, 200);
  EXPECT_EQ(find(items, u"Ann Example")->X, 530);
}

TEST_F(CoverSheet, TextsSplitByBytesWithoutBreakingACharacter) {
  morva::platform::set_machine_setting("acp", "932");
  std::vector<std::u16string> lines;
  ASSERT_TRUE(SplitTextLines(u"ab\u3042\u3044cd", 3, 5, &lines));  // the two kana are two bytes each
  EXPECT_EQ(lines, (std::vector<std::u16string>{u"ab", u"\u3042", u"\u3044c", u"d"}));
  ASSERT_TRUE(SplitTextLines(u"one\r\ntwo\r\nthree", 40, 2, &lines));
  EXPECT_EQ(lines, (std::vector<std::u16string>{u"one", u"two"}));
}

}  // namespace
