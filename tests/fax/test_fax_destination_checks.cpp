// The fax page's destination rules: speed-dial numbers and units by mode,
// the limits on adding, duplicates, the single-destination restriction,
// broadcast options and the clean-up of a stored list.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ddm/ddmid.h"
#include "fax/fax_destination_checks.h"
#include "temp_root.h"
#include "win/win.h"

using namespace morva::fax;

namespace {

FaxDeviceRules rules(WORD mode, DWORD max, BOOL sip = FALSE, WORD max_destinations = 0) {
  FaxDeviceRules r{};
  r.Mode = mode;
  r.MaxSpeedDial = max;
  r.SipFax = sip;
  r.MaxDestinations = max_destinations;
  return r;
}

FaxDestination destination(WORD kind, const std::u16string& number, const std::u16string& name = u"") {
  FaxDestination d{};
  d.Kind = kind;
  std::memcpy(d.Number, number.c_str(), number.size() * 2);
  std::memcpy(d.Name, name.c_str(), name.size() * 2);
  return d;
}

class FaxChecks : public ::testing::Test {
 protected:
  morva::test::TempRoot root;
  FaxDestinationList* list = FaxList_Create();
  FaxLineSettings line{};
  void TearDown() override { FaxList_Destroy(list); }
  void add(const FaxDestination& d) { ASSERT_EQ(FaxList_Append(list, d), 1); }
};

TEST(FaxNumberRules, SpeedDialNumbersByMode) {
  struct Case {
    WORD mode;
    BOOL sip;
    DWORD max;
    const char* number;
    DWORD message;
  };
  const Case cases[] = {
      // four-digit mode (mode 2, or SIP fax on)
      {2, FALSE, 2000, "2000", 0},
      {2, FALSE, 2000, "2001", 5194},
      {2, FALSE, 2000, "199*", 0},
      {2, FALSE, 2000, "20**", 0},
      {2, FALSE, 2000, "21**", 5194},
      {2, FALSE, 2000, "0", 5194},
      {2, FALSE, 2000, "12", 0},  // padded to 0012
      {2, FALSE, 2000, "1*2*", 5194},
      {0, TRUE, 2000, "2001", 5194},
      {3, TRUE, 2000, "21**", 5194},
      // mode 0
      {0, FALSE, 200, "0", 5042},
      {0, FALSE, 200, "201", 5035},
      {0, FALSE, 200, "200", 0},
      {0, FALSE, 200, "***", 0},
      {0, FALSE, 200, "19*", 0},
      {0, FALSE, 200, "21*", 5035},
      {0, FALSE, 200, "a1*", 5042},
      // mode 1
      {1, FALSE, 200, "000", 5101},
      {1, FALSE, 200, "201", 5100},
      {1, FALSE, 200, "150", 0},
      // mode 3 without SIP fax: no check
      {3, FALSE, 200, "999", 0},
      {3, FALSE, 200, "x", 0},
  };
  for (const Case& c : cases) {
    DWORD message = 99;
    ASSERT_EQ(ValidateSpeedDialNumber(rules(c.mode, c.max, c.sip), c.number, &message), 1);
    EXPECT_EQ(message, c.message) << "mode " << c.mode << " sip " << c.sip << " " << c.number;
  }
  DWORD message = 0;
  EXPECT_EQ(ValidateSpeedDialNumber(rules(0, 1), nullptr, &message), 0);
}

TEST(FaxNumberRules, TheNumberEditRuleOfEachKindAndMode) {
  struct Case {
    WORD kind, mode;
    BOOL sip;
    WORD limit;
    UINT first, second, refused, message;
    bool checked;
  };
  const Case cases[] = {
      {0, 1, FALSE, 59, 9285, 0, 0, 5099, true},      {0, 0, FALSE, 128, 9235, 9220, 9238, 5242, true},
      {0, 2, FALSE, 128, 9235, 9220, 9238, 5242, true}, {0, 3, TRUE, 128, 9235, 9220, 9238, 5242, true},
      {2, 1, FALSE, 128, 9235, 9220, 0, 5208, true},  {1, 0, FALSE, 3, 9226, 9219, 0, 5042, true},
      {1, 1, FALSE, 3, 9219, 0, 0, 5101, true},       {1, 2, FALSE, 4, 9226, 9219, 0, 5194, true},
      {1, 3, TRUE, 4, 9226, 9219, 0, 5194, true},     {1, 3, FALSE, 4, 0, 0, 0, 0, false},
  };
  for (const Case& c : cases) {
    const FaxNumberRule r = GetFaxNumberRule(rules(c.mode, 0, c.sip), c.kind);
    EXPECT_EQ(r.limit, c.limit) << c.kind << "/" << c.mode;
    EXPECT_EQ(r.singleByte[0], c.first) << c.kind << "/" << c.mode;
    EXPECT_EQ(r.singleByte[1], c.second) << c.kind << "/" << c.mode;
    EXPECT_EQ(r.refused, c.refused) << c.kind << "/" << c.mode;
    EXPECT_EQ(r.message, c.message) << c.kind << "/" << c.mode;
    EXPECT_EQ(r.checked, c.checked) << c.kind << "/" << c.mode;
    EXPECT_EQ(r.doubleByte, c.checked ? 9233u : 0u);
  }
}

TEST(FaxNumberRules, UnitsByModeAndWildcard) {
  struct Case {
    WORD mode;
    BOOL sip;
    WORD kind;
    const char16_t* number;
    DWORD units;
  };
  const Case cases[] = {
      {2, FALSE, 0, u"0312345678", 1}, {3, FALSE, 2, u"fax@example.org", 1},
      {0, FALSE, 1, u"12", 1},         {1, FALSE, 1, u"12", 0},
      {3, FALSE, 1, u"12", 0},         {2, FALSE, 1, u"12", 1},
      {2, FALSE, 1, u"000*", 9},       {2, FALSE, 1, u"200*", 1},
      {2, FALSE, 1, u"050*", 10},      {2, FALSE, 1, u"00**", 99},
      {2, FALSE, 1, u"20**", 1},       {2, FALSE, 1, u"05**", 100},
      {0, TRUE, 1, u"5*", 10},         {2, FALSE, 1, u"1*23", 0},
  };
  for (const Case& c : cases) {
    const FaxDestination d = destination(c.kind, c.number);
    DWORD units = 0;
    ASSERT_EQ(CountDestinationUnits(rules(c.mode, 9999, c.sip), &d, &units), 1);
    EXPECT_EQ(units, c.units) << "mode " << c.mode << " kind " << c.kind;
  }
}

TEST(FaxNumberRules, ListModesAndRestriction) {
  struct Mode {
    WORD mode;
    BOOL sip;
    BYTE list;
  };
  for (const Mode& m : {Mode{0, FALSE, 2}, Mode{1, FALSE, 3}, Mode{2, FALSE, 1}, Mode{3, FALSE, 0}, Mode{3, TRUE, 1}})
    EXPECT_EQ(ListModeFromRules(rules(m.mode, 0, m.sip)), m.list) << m.mode;
  EXPECT_EQ(PageModeFromListMode(0), 3);
  EXPECT_EQ(PageModeFromListMode(1), 4);
  EXPECT_EQ(PageModeFromListMode(2), 0);
  EXPECT_EQ(PageModeFromListMode(3), 1);
  EXPECT_EQ(PageModeFromListMode(4), 0xFFFF);

  FaxDestination relay = destination(0, u"0312");
  relay.BoxMode = 2;
  struct Case {
    INT rows;
    FaxDestination d;
    INT result;
    WORD code;
  };
  const Case cases[] = {
      {1, destination(0, u"1"), 0, kFaxRestrictSecond},
      {0, relay, 0, kFaxRestrictRelay},
      {0, destination(1, u"12*"), 0, kFaxRestrictWildcard},
      {0, destination(1, u"123"), 1, 0},
  };
  for (const Case& c : cases) {
    WORD code = 0;
    EXPECT_EQ(CheckRestrictedDestination(c.rows, &c.d, &code), c.result);
    EXPECT_EQ(code, c.code);
  }
}

TEST_F(FaxChecks, AddingStopsAtTheListAndUnitLimits) {
  const FaxDeviceRules mode0 = rules(0, 999);
  for (int i = 0; i < 50; ++i) add(destination(0, u"03" + morva::format_w(u"%d", i)));
  WORD code = 0;
  FaxDestination next = destination(0, u"0999");
  EXPECT_EQ(CheckNewDestination(mode0, list, &next, &line, &code), 0);
  EXPECT_EQ(code, kFaxAddListFull);
  const FaxDeviceRules four = rules(2, 9999, FALSE, 60);
  EXPECT_EQ(CheckNewDestination(four, list, &next, &line, &code), 1);  // the database's 60 apply
  for (int i = 50; i < 60; ++i) add(destination(0, u"03" + morva::format_w(u"%d", i)));
  EXPECT_EQ(CheckNewDestination(four, list, &next, &line, &code), 0);
  EXPECT_EQ(code, kFaxAddDeviceListFull);

  // 590 units, then 00** (99 units) would pass 600.
  FaxList_Destroy(list);
  list = FaxList_Create();
  for (int i = 0; i < 5; ++i) add(destination(1, u"05**"));  // 500
  for (int i = 0; i < 9; ++i) add(destination(1, u"050*"));  // 90
  DWORD sum = 0;
  ASSERT_EQ(SumDestinationUnits(four, list, &sum), 1);
  EXPECT_EQ(sum, 590u);
  FaxDestination wide = destination(1, u"00**");
  EXPECT_EQ(CheckNewDestination(four, list, &wide, &line, &code), 0);
  EXPECT_EQ(code, kFaxAddTooManyUnits);
  FaxDestination one = destination(1, u"0123");
  EXPECT_EQ(CheckNewDestination(four, list, &one, &line, &code), 1);

  // A number whose job attribute is too long is refused first.
  FaxDestination too_long = destination(0, std::u16string(128, u'1'));
  too_long.BoxMode = 2;
  std::u16string relays = u"12";
  for (int i = 0; i < 18; ++i) relays += u",12";
  std::memcpy(too_long.RelayNumbers, relays.c_str(), relays.size() * 2);
  EXPECT_EQ(CheckNewDestination(four, list, &too_long, &line, &code), 0);
  EXPECT_EQ(code, kFaxAddTooLong);
}

TEST_F(FaxChecks, DuplicatesAreFoundByTheFieldsThatMatter) {
  const FaxDeviceRules four = rules(2, 9999, FALSE, 50);
  FaxDestination a = destination(0, u"0312345678", u"Ann");
  std::memcpy(a.FCode, u"11", 4);
  add(a);
  WORD code = 0;
  FaxDestination same = a;
  EXPECT_EQ(CheckNewDestination(four, list, &same, &line, &code), 0);
  EXPECT_EQ(code, kFaxAddDuplicate);
  FaxDestination other_fcode = a;
  other_fcode.FCode[1] = u'2';
  EXPECT_EQ(CheckNewDestination(four, list, &other_fcode, &line, &code), 1);  // both accepted

  // Speed-dial entries in four-digit mode: leading zeros do not count, and
  // other fields than number, name and company are not compared.
  FaxDestination s1 = destination(1, u"0012", u"Bo");
  FaxDestination s2 = destination(1, u"12", u"Bo");
  s2.CommMode = 1;
  EXPECT_EQ(IsDifferentDestination(four, &s1, &s2), 0);
  EXPECT_EQ(IsDifferentDestination(rules(0, 999), &s1, &s2), 1);
  FaxDestination m1 = destination(0, u"1");
  m1.BoxMode = 1;
  FaxDestination m2 = m1;
  m2.MailboxId = 7;
  EXPECT_EQ(IsDifferentDestination(four, &m1, &m2), 1);
  m2 = m1;
  m2.RelayId = 7;  // not compared without relay mode
  EXPECT_EQ(IsDifferentDestination(four, &m1, &m2), 0);
}

TEST_F(FaxChecks, ModeOneCountsTwelveUnitsUnlessEachDestinationGetsItsOwnCoverJob) {
  FaxDeviceRules mode1 = rules(1, 999);
  for (int i = 0; i < 12; ++i) add(destination(0, u"03" + morva::format_w(u"%d", i)));
  add(destination(1, u"123"));  // speed dial: no unit in mode 1
  WORD code = 0;
  FaxDestination next = destination(0, u"0999");
  EXPECT_EQ(CheckNewDestination(mode1, list, &next, &line, &code), 0);
  EXPECT_EQ(code, kFaxAddUnitLimit);
  FaxDestination speed = destination(1, u"124");
  EXPECT_EQ(CheckNewDestination(mode1, list, &speed, &line, &code), 1);
  EXPECT_EQ(CheckUnitLimit(mode1, list, &code), 1);  // 12 may be left
  add(next);
  EXPECT_EQ(CheckUnitLimit(mode1, list, &code), 0);
  mode1.CoverSheet = TRUE;  // one job per destination
  EXPECT_EQ(CheckUnitLimit(mode1, list, &code), 1);
  EXPECT_EQ(CheckNewDestination(mode1, list, &next, &line, &code), 0);
  EXPECT_EQ(code, kFaxAddDuplicate);
}

TEST_F(FaxChecks, BroadcastOptionsAskOrRefuse) {
  FaxDeviceRules r = rules(0, 999);
  FaxDestination a = destination(0, u"1");
  a.BoxMode = 1;
  add(a);
  EXPECT_EQ(CollectBroadcastOptions(r, list), 0u);  // a single destination
  FaxDestination b = destination(0, u"2");
  std::memcpy(b.FCodePassword, u"pw", 4);
  add(b);
  EXPECT_EQ(CollectBroadcastOptions(r, list), DWORD{kFaxOptMailbox | kFaxOptFCodePassword});
  morva::platform::reset_message_boxes();
  morva::platform::script_message_box_answers({IDCANCEL, IDOK});
  EXPECT_EQ(CheckBroadcastOptions(nullptr, nullptr, r, list), 0);
  EXPECT_EQ(CheckBroadcastOptions(nullptr, nullptr, r, list), 1);
  r.Mode = 1;
  EXPECT_EQ(CheckBroadcastOptions(nullptr, nullptr, r, list), 0);  // a warning only
  const auto log = morva::platform::message_box_log();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].style & MB_TYPEMASK, MB_OKCANCEL);
  EXPECT_EQ(log[2].style & MB_TYPEMASK, MB_OK);
  r.CoverSheet = TRUE;  // one job per destination: options do not matter
  EXPECT_EQ(CheckBroadcastOptions(nullptr, nullptr, r, list), 1);
}

TEST_F(FaxChecks, AStoredListLosesWhatTheDeviceCanNoLongerTake) {
  auto fill = [&] {
    FaxList_Destroy(list);
    list = FaxList_Create();
    add(destination(0, u"0312345678"));
    add(destination(2, u"fax@example.org"));
    add(destination(1, u"9012"));
    add(destination(1, u"999"));
    FaxList_GetAt(list, 0)->CommMode = 2;
  };
  struct Case {
    const char* what;
    FaxDeviceRules r;
    BOOL marked;
    BYTE list_mode;
    WORD flags;
    std::u16string left;  // first characters of the numbers left, oldest first
  };
  FaxDeviceRules single = rules(2, 9999);
  single.SingleDestination = TRUE;
  FaxDeviceRules no_numbers = rules(2, 9999, TRUE);
  no_numbers.NoNumbers = TRUE;
  const Case cases[] = {
      {"four-digit page, list built in mode 0", rules(2, 9999), TRUE, 2, kFaxPendingDigitsChanged, u""},
      {"same, unmarked refresh", rules(2, 9999), FALSE, 2, 0, u"099"},
      {"mode 3: numbers and speed dials go", rules(3, 9999), TRUE, 0, kFaxPendingNumbersRemoved | kFaxPendingIpRemoved,
       u""},
      {"mode 0: the 4-digit speed dial is trimmed", rules(0, 9999), TRUE, 2, kFaxPendingIpRemoved, u"009"},
      {"SIP fax keeps IP-fax", rules(2, 9999, TRUE), TRUE, 1, 0, u"0f99"},
      {"single-destination restriction", single, TRUE, 1, kFaxPendingSingle, u""},
      {"numbers not allowed", no_numbers, TRUE, 1, kFaxPendingNoNumbers, u""},
  };
  for (const Case& c : cases) {
    fill();
    EXPECT_EQ(FilterStoredDestinations(c.r, list, c.marked, c.list_mode), c.flags) << c.what;
    std::u16string left;
    for (INT i = 0; i < FaxList_Count(list); ++i) left += FaxList_GetAt(list, i)->Number[0];
    EXPECT_EQ(left, c.left) << c.what;
    if (FaxList_Count(list) > 0 && FaxList_GetAt(list, 0)->Kind == kFaxKindNumber) {
      EXPECT_EQ(FaxList_GetAt(list, 0)->CommMode, 0) << c.what;
    }
  }
}

}  // namespace
