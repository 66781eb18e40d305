// The device information reader against a real agent serving the demo
// device on 127.0.0.1:161 inside a namespace of the test's own.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "device_api/device_info_reader.h"
#include "netns_test.h"
#include "snmp_agent.h"
#include "snmp_wire.h"

namespace {

using morva::test::NetNamespace;
using morva::test::SnmpAgent;
using morva::test::SnmpAgentOptions;

struct Usm {
  IPSWPluginUSM* p = psw_create_plugin_usm();
  ~Usm() { p->release(); }
};

void with_agent(const std::string& fixture_text, const std::function<void(SnmpAgent&, CPSWDeviceInfoReader&)>& body) {
  morva::test::run_in_netns([&](NetNamespace&) {
    SnmpAgentOptions o;
    o.port = 161;
    o.fixture_text = fixture_text;
    SnmpAgent agent(o);
    Usm usm;
    usm.p->load_param(0, PSWUsmParam{});
    CPSWDeviceInfoReader reader;
    ASSERT_EQ(reader.Init(IPmcNetworkAddress::kIPv4, "127.0.0.1", usm.p, 1000, 1, 0), 0);
    body(agent, reader);
  });
}

class DeviceInfoReader : public ::testing::Test {
 protected:
  void SetUp() override {
    if (auto why = morva::test::snmp_environment_missing(); !why.empty()) GTEST_SKIP() << why;
    MORVA_SKIP_WITHOUT_NETNS();
  }
};

// A second job whose identifier holds a zero byte ("AB", 0, "CDEFG"), of the
// class marked 17; it can be cancelled like the first.
const char kSecondJob[] = R"(
1.3.6.1.4.1.32473.1.8.59.6.1.1.3.2 string 0002-B
1.3.6.1.4.1.32473.1.8.59.6.1.1.4.2 objectid 1.3.6.1.4.1.32473.1.8.58.2.13
1.3.6.1.4.1.32473.1.8.59.6.1.1.5.2 integer 11
1.3.6.1.4.1.32473.1.8.59.6.1.1.6.2 integer 12
1.3.6.1.4.1.32473.1.8.59.6.1.1.9.2 integer 17
1.3.6.1.4.1.32473.1.8.59.6.1.1.10.2 integer -5
1.3.6.1.4.1.32473.1.8.59.10.1.1.7.2.1.65.66.0.67.68.69.70.71 integer 13
1.3.6.1.4.1.32473.1.8.59.10.1.1.10.2.1.65.66.0.67.68.69.70.71 octet 07 E9
1.3.6.1.4.1.32473.1.8.59.16.1.1.4.2 octet 07 EA 01
1.3.6.1.4.1.32473.1.8.59.16.1.1.5.2 gauge 4000000000
1.3.6.1.4.1.32473.1.8.59.16.1.1.6.2 gauge 1
1.3.6.1.4.1.32473.1.8.59.16.1.1.7.2 octet 07 EA 0C 0A 0F
1.3.6.1.4.1.32473.1.8.76.3.2.1.1.101.8.65.66.0.67.68.69.70.71 integer 0
1.3.6.1.4.1.32473.1.8.51.5.1.1.4.2.11.106 string bob
1.3.6.1.4.1.32473.1.8.51.5.1.1.4.2.12.106 string Scan.tif
1.3.6.1.4.1.32473.1.8.51.5.1.1.4.2.13.106 string Held
)";

}  // namespace

TEST_F(DeviceInfoReader, EveryTableOfTheDemoDevice) {
  with_agent("", [](SnmpAgent&, CPSWDeviceInfoReader& r) {
    long n = -1;
    ASSERT_EQ(r.GetNumberOfStorageInfo(&n), 0);
    ASSERT_EQ(n, 3);
    PSWStorageInfo s;
    ASSERT_EQ(r.GetStorageInfo(1, &s), 0);
    EXPECT_EQ(s.type, 4);
    EXPECT_EQ(s.allocation_units, 4096);
    EXPECT_EQ(s.size, 39062500);
    EXPECT_STREQ(s.description, "Hard disk");
    EXPECT_EQ(r.GetStorageInfo(3, &s), -11);
    EXPECT_EQ(r.GetStorageInfo(-1, &s), -11);

    ASSERT_EQ(r.GetNumberOfDeviceInfo(&n), 0);
    ASSERT_EQ(n, 12);
    const std::pair<std::int32_t, std::int32_t> device_types[] = {{0, 5}, {1, 3}, {2, 6}, {3, 102}, {7, 151}, {9, 201}};
    for (auto [row, type] : device_types) {
      PSWDeviceInfo d;
      ASSERT_EQ(r.GetDeviceInfo(row, &d), 0);
      EXPECT_EQ(d.type, type) << row;
    }
    PSWDeviceInfo d;
    ASSERT_EQ(r.GetDeviceInfo(9, &d), 0);
    EXPECT_EQ(d.status, 5);
    EXPECT_STREQ(d.description, "Fax over SIP");

    long status = -1, error = -1;
    ASSERT_EQ(r.GetPrinterInfo(&status, &error), 0);
    EXPECT_EQ(status, 3);
    EXPECT_EQ(error, 128);

    ASSERT_EQ(r.GetNumberOfInputTrayInfo(&n), 0);
    ASSERT_EQ(n, 4);
    PSWInputTrayInfo t;
    ASSERT_EQ(r.GetInputTrayInfo(3, &t), 0);
    EXPECT_EQ(t.type, 5);
    EXPECT_STREQ(t.media_color, "blue");
    ASSERT_EQ(r.GetNumberOfInputTrayInfoEx(&n), 0);
    ASSERT_EQ(n, 4);
    const std::int32_t private_types[] = {1, 1, 2, 3};
    for (long i = 0; i < 4; ++i) {
      PSWInputTrayInfoEx e;
      ASSERT_EQ(r.GetInputTrayInfoEx(i, &e), 0);
      EXPECT_EQ(e.private_type, private_types[i]);
      EXPECT_EQ(e.tray.type, i == 3 ? 5 : 4);
    }

    ASSERT_EQ(r.GetNumberOfOutputTrayInfo(&n), 0);
    ASSERT_EQ(n, 2);
    PSWOutputTrayInfo o;
    ASSERT_EQ(r.GetOutputTrayInfo(1, &o), 0);
    EXPECT_STREQ(o.name, "Finisher tray");
    EXPECT_STREQ(o.description, "Finisher upper tray");

    // Four toners; the waste toner box is not kept.
    ASSERT_EQ(r.GetNumberOfTonerInfo(&n), 0);
    ASSERT_EQ(n, 4);
    PSWTonerInfo toner;
    ASSERT_EQ(r.GetTonerInfo(3, &toner), 0);
    EXPECT_EQ(toner.supply_unit, 19);
    EXPECT_EQ(toner.level, 95);
    EXPECT_STREQ(toner.description, "Black toner");

    ASSERT_EQ(r.GetNumberOfAlertInfo(&n), 0);
    ASSERT_EQ(n, 1);
    PSWAlertInfo a;
    ASSERT_EQ(r.GetAlertInfo(0, &a), 0);
    EXPECT_EQ(a.severity_level, 4);
    EXPECT_EQ(a.group, 8);
    EXPECT_EQ(a.group_index, 2);
    EXPECT_EQ(a.code, 808);
    EXPECT_STREQ(a.description, "Tray 2 is low on paper");

    long cs = 0;
    ASSERT_EQ(r.GetCharSet(0, &cs), 0);
    EXPECT_EQ(cs, 106);
    EXPECT_EQ(r.GetCharSet(2, &cs), -2);
  });
}

// A job whose text the device's text table lacks keeps an empty text; the
// other jobs are still listed.
TEST_F(DeviceInfoReader, MissingJobTextIsEmpty) {
  std::string fixture = kSecondJob;
  const std::string line = "1.3.6.1.4.1.32473.1.8.51.5.1.1.4.2.12.106 string Scan.tif\n";
  ASSERT_NE(fixture.find(line), std::string::npos);
  fixture.erase(fixture.find(line), line.size());
  with_agent(fixture, [](SnmpAgent&, CPSWDeviceInfoReader& r) {
    long n = -1;
    ASSERT_EQ(r.GetNumberOfJobInfo(0, &n), 0);
    ASSERT_EQ(n, 2);
    PSWJobInfo j;
    ASSERT_EQ(r.GetJobInfo(1, &j), 0);
    EXPECT_STREQ(j.text_j6_5, "bob");
    EXPECT_STREQ(j.text_j6_6, "");
    EXPECT_STREQ(j.text_j10_7, "Held");
  });
}

TEST_F(DeviceInfoReader, JobsByClassAndCancelByTheirIdentifiers) {
  with_agent(kSecondJob, [](SnmpAgent& agent, CPSWDeviceInfoReader& r) {
    long n = -1;
    ASSERT_EQ(r.GetNumberOfJobInfo(0, &n), 0);
    ASSERT_EQ(n, 2);
    PSWJobInfo j;
    ASSERT_EQ(r.GetJobInfo(0, &j), 0);
    EXPECT_EQ(j.state, 5);
    EXPECT_EQ(j.j6_9, 1);
    EXPECT_EQ(j.j6_10, 3);
    EXPECT_EQ(j.j16_5, 12u);
    EXPECT_EQ(j.j16_6, 4u);
    EXPECT_STREQ(j.text_j6_5, "alice");
    EXPECT_STREQ(j.text_j6_6, "Quarterly report.pdf");
    EXPECT_STREQ(j.text_j10_7, "Printing");
    EXPECT_STREQ(j.job_id, "JB000001");
    EXPECT_STREQ(j.j6_3, "0001-A");
    EXPECT_EQ(j.time_j10_10.year, 2026);
    EXPECT_EQ(j.time_j10_10.month, 12);
    EXPECT_EQ(j.time_j10_10.seconds, 30);
    EXPECT_EQ(j.time_j16_4.seconds, 45);
    EXPECT_EQ(j.time_j16_7.minutes, 7);

    ASSERT_EQ(r.GetJobInfo(1, &j), 0);
    EXPECT_EQ(j.state, 0);  // outside the state table
    EXPECT_EQ(j.j6_10, -5);
    EXPECT_EQ(j.j16_5, 4000000000u);
    EXPECT_STREQ(j.job_id, "AB");
    EXPECT_STREQ(j.text_j6_5, "bob");
    EXPECT_STREQ(j.text_j10_7, "Held");
    EXPECT_EQ(j.time_j10_10.year, 2025);
    EXPECT_EQ(j.time_j10_10.month, 0);
    EXPECT_EQ(j.time_j16_7.hour, 15);
    EXPECT_EQ(r.GetJobInfo(2, &j), -11);

    ASSERT_EQ(r.GetNumberOfJobInfo(1, &n), 0);
    EXPECT_EQ(n, 1);
    ASSERT_EQ(r.GetNumberOfJobInfo(2, &n), 0);
    ASSERT_EQ(n, 1);
    ASSERT_EQ(r.GetJobInfo(0, &j), 0);
    EXPECT_STREQ(j.job_id, "AB");
    EXPECT_EQ(r.GetNumberOfJobInfo(3, &n), -2);

    // The identifier's text stops at the zero byte; the cancel still
    // reaches that job's object, not a two-byte identifier.
    ASSERT_EQ(r.CancelJob(j.job_id), 0);
    ASSERT_EQ(r.CancelJob("JB000001"), 0);
    const auto sets = agent.sets();
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_EQ(morva::test::wire::oid_text(sets[0].oid),
              "1.3.6.1.4.1.32473.1.8.76.3.2.1.1.101.8.65.66.0.67.68.69.70.71");
    EXPECT_EQ(sets[0].value, "1414");
    EXPECT_EQ(morva::test::wire::oid_text(sets[1].oid),
              "1.3.6.1.4.1.32473.1.8.76.3.2.1.1.101.8.74.66.48.48.48.48.48.49");
  });
}

TEST_F(DeviceInfoReader, InputTrayExWithoutThePrivateColumnOrWithoutTrays) {
  with_agent("@delete 1.3.6.1.4.1.32473.2.2.9999\n1.3.6.1.2.1.25.3.5.1.2.1 octet 00 80\n",
             [](SnmpAgent&, CPSWDeviceInfoReader& r) {
               long n = -1;
               ASSERT_EQ(r.GetNumberOfInputTrayInfoEx(&n), 0);
               ASSERT_EQ(n, 4);
               for (long i = 0; i < n; ++i) {
                 PSWInputTrayInfoEx e;
                 ASSERT_EQ(r.GetInputTrayInfoEx(i, &e), 0);
                 EXPECT_EQ(e.private_type, -1);
               }
               long status = 0, error = 0;
               ASSERT_EQ(r.GetPrinterInfo(&status, &error), 0);
               EXPECT_EQ(error, 32768);
             });
  with_agent("@delete 1.3.6.1.2.1.43.8\n", [](SnmpAgent&, CPSWDeviceInfoReader& r) {
    long n = -1;
    EXPECT_EQ(r.GetNumberOfInputTrayInfoEx(&n), -1);
    EXPECT_EQ(n, 0);
  });
}

TEST_F(DeviceInfoReader, AnIgnoredReadCommunityFailsTheCountWithoutRows) {
  with_agent("", [](SnmpAgent&, CPSWDeviceInfoReader& r) {
    long n = -1;
    ASSERT_EQ(r.GetNumberOfAlertInfo(&n), 0);
    ASSERT_EQ(n, 1);
    r.SetReadCommunity(morva::test::kWrongCommunity);
    EXPECT_EQ(r.GetNumberOfAlertInfo(&n), pms::kTimeout);
    EXPECT_EQ(n, 0);
    PSWAlertInfo a;
    EXPECT_EQ(r.GetAlertInfo(0, &a), -11);
    r.SetReadCommunity("public");
    EXPECT_EQ(r.GetNumberOfAlertInfo(&n), 0);
    EXPECT_EQ(n, 1);
  });
}
