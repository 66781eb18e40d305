// The job-attribute line of one fax destination: items, limits, framing
// and the buffer contract.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "fax/fax_job_attr.h"
#include "temp_root.h"
#include "win/win.h"

namespace {

using namespace morva::fax;

template <size_t N>
void put(WCHAR (&field)[N], const std::u16string& text) {
  ASSERT_LT(text.size(), N);
  std::memset(field, 0, sizeof(field));
  std::memcpy(field, text.data(), text.size() * sizeof(WCHAR));
}

FaxDestination number_entry(const std::u16string& number) {
  FaxDestination d{};
  d.Kind = kFaxKindNumber;
  put(d.Number, number);
  return d;
}

FaxLineSettings line_settings() {
  FaxLineSettings s{};
  put(s.OutsideLinePrefix, u"9,");
  put(s.ExtensionPrefix, u"0");
  s.OutsideLineDial = 1;
  return s;
}

// The line written with a roomy buffer, "#<length out>" when refused.
std::string line(DWORD kind, const FaxDestination& d, BOOL pjl = FALSE, BYTE card = 0) {
  const FaxLineSettings s = line_settings();
  char buffer[600];
  LONG length = 12345;
  if (!BuildFaxJobAttr(kind, &d, &s, sizeof(buffer), pjl, nullptr, buffer, &length, card))
    return "#" + std::to_string(length);
  EXPECT_EQ(static_cast<size_t>(length), std::strlen(buffer));
  return buffer;
}

class FaxJobAttrTest : public ::testing::Test {
  morva::test::TempRoot root;
};

TEST_F(FaxJobAttrTest, ItemsOfOneDestination) {
  FaxDestination plain = number_entry(u"0123456");
  EXPECT_EQ(line(1, plain), "@FANU=0123456{20}{30}\r\n");
  EXPECT_EQ(line(1, plain, TRUE), "@PJL SET JOBATTR=\"@FANU=0123456{20}{30}\"\r\n");
  EXPECT_EQ(line(4, plain), "@SFNU=0123456{20}{30}\r\n");

  FaxDestination outside = number_entry(u"555");
  outside.Line = 2;
  outside.CommMode = 2;
  put(outside.FCode, u"77");
  put(outside.FCodePassword, u"pw");
  EXPECT_EQ(line(1, outside), "@FANU=9,555{21}{34}{577}{6pw}\r\n");

  FaxDestination relay = number_entry(u"1");
  relay.BoxMode = 2;
  relay.RelayId = 12;
  relay.RelayPrint = 1;
  put(relay.RelayNumbers, u"1,12,");
  EXPECT_EQ(line(1, relay), "@FANU=1{10012100010012}{20}{30}\r\n");
  for (const char16_t* bad : {u"1,,2", u"123"}) {
    put(relay.RelayNumbers, bad);
    EXPECT_EQ(line(1, relay), "#12345");
  }

  FaxDestination mailbox = number_entry(u"1");
  mailbox.BoxMode = 1;
  mailbox.MailboxId = 7;
  put(mailbox.MailboxPassword, u"1234");
  EXPECT_EQ(line(1, mailbox), "@FANU=1{400071234}{20}{30}\r\n");
  const std::string protected_line = line(2, mailbox);
  EXPECT_EQ(protected_line.rfind("@FAEN=1{40007", 0), 0u) << protected_line;
  EXPECT_EQ(protected_line.find("1234"), std::string::npos);

  FaxDestination speed{};
  speed.Kind = kFaxKindSpeedDial;
  put(speed.Number, u"12");
  EXPECT_EQ(line(1, speed), "@FANU='12'\r\n");
  EXPECT_EQ(line(1, speed, FALSE, 1), "@FANU='0012'\r\n");

  FaxDestination named = number_entry(u"1");
  put(named.Name, std::u16string(30, u'a'));  // only 18 characters are sent
  EXPECT_EQ(line(1, named), "@FANU=1{20}{30}{7YWFhYWFhYWFhYWFhYWFhYWFh}\r\n");

  FaxDestination bad_mode = number_entry(u"1");
  bad_mode.CommMode = 3;
  EXPECT_EQ(line(1, bad_mode), "#12345");
}

TEST_F(FaxJobAttrTest, LengthLimits) {
  FaxDestination ip{};
  ip.Kind = kFaxKindIpAddress;
  put(ip.Number, std::u16string(128, u'h'));
  EXPECT_EQ(line(1, ip), "@FANU=" + std::string(128, 'h') + "{22}{30}\r\n");
  // A fax number whose items reach 180 counted characters is refused.
  FaxDestination longer = number_entry(std::u16string(128, u'1'));
  longer.BoxMode = 2;
  put(longer.RelayNumbers, u"1,2,3,4,5,6,7,8,9,10");
  EXPECT_EQ(line(1, longer), "#-1");
  put(longer.RelayNumbers, u"1,2,3,4,5,6,7");
  EXPECT_NE(line(1, longer)[0], '#');
  FaxDestination sub = number_entry(u"1");
  put(sub.FCode, std::u16string(20, u'1'));
  put(sub.FCodePassword, std::u16string(20, u'2'));
  // The longest sub-address and password the fields hold count 46, within
  // the limit.
  EXPECT_EQ(line(1, sub), "@FANU=1{20}{30}{5" + std::string(20, '1') + "}{6" + std::string(20, '2') + "}\r\n");
}

TEST_F(FaxJobAttrTest, SizeQueryAndBufferContract) {
  const FaxDestination d = number_entry(u"0123456");
  const FaxLineSettings s = line_settings();
  LONG length = 0;
  EXPECT_TRUE(BuildFaxJobAttr(1, &d, &s, 0, FALSE, nullptr, nullptr, &length, 0));
  EXPECT_EQ(length, 7 + 4 + 4);
  const std::string whole = "@FANU=0123456{20}{30}\r\n";
  char buffer[64];
  std::memset(buffer, 'z', sizeof(buffer));
  EXPECT_FALSE(BuildFaxJobAttr(1, &d, &s, static_cast<DWORD>(whole.size()), FALSE, nullptr, buffer, &length, 0));
  EXPECT_EQ(length, 0);
  EXPECT_EQ(buffer[0], 'z');
  EXPECT_TRUE(BuildFaxJobAttr(1, &d, &s, static_cast<DWORD>(whole.size() + 1), FALSE, nullptr, buffer, &length, 0));
  EXPECT_EQ(buffer, whole);
  EXPECT_FALSE(BuildFaxJobAttr(1, nullptr, &s, 64, FALSE, nullptr, buffer, &length, 0));
  EXPECT_FALSE(BuildFaxJobAttr(1, &d, nullptr, 64, FALSE, nullptr, buffer, &length, 0));
}

}  // namespace
