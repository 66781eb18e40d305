#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "device_api/device_option.h"
#include "netns_test.h"
#include "snmp_agent.h"

namespace {

using morva::test::NetNamespace;
using morva::test::SnmpAgent;
using morva::test::SnmpAgentOptions;

// Opens the protected helpers and data to the tests.
class Probe : public CPSWDevCommOption {
 public:
  bool is_supported_OID(const char*) override { return true; }
  using CPSWDevCommOption::ConvertMediumLevel;
  using CPSWDevCommOption::MediaDimensionToMediumSize;
  void add_device(std::int32_t index, std::int32_t status = 2) {
    devices_[device_count_].index = index;
    devices_[device_count_++].status = status;
  }
  void add_tray(const char* name) {
    InputTrayRow& t = input_trays_[input_tray_count_];
    t.row = input_tray_count_ + 1;
    std::strcpy(t.name, name);
    ++input_tray_count_;
  }
  void set_memory(std::int32_t kb) { memory_size_ = kb; }
  const char* security_name() const { return v3_security_name_; }
  const char* auth_passphrase() const { return v3_auth_passphrase_; }
  std::int32_t security_level() const { return v3_security_level_; }
};

struct Usm {
  IPSWPluginUSM* p = psw_create_plugin_usm();
  ~Usm() { p->release(); }
};

TEST(DeviceOption, MediumSizeFromDimensions) {
  struct Case {
    std::int32_t unit, feed, xfeed, code, direction;
  };
  const Case cases[] = {
      {4, 297000, 210000, 25, 3}, {4, 210000, 297000, 25, 2}, {4, 150000, 150000, 10000, 1},
      {4, 299000, 208000, 25, 3}, {4, 299001, 210000, 10000, 1}, {3, 297000, 210000, 10000, 1},
      {4, -1, 210000, 10000, 1},  {4, 279400, 215900, 1, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.feed) + "x" + std::to_string(c.xfeed));
    std::int32_t code = 10000, direction = 1;
    Probe::MediaDimensionToMediumSize(c.unit, c.feed, c.xfeed, &code, &direction);
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(direction, c.direction);
  }
}

TEST(DeviceOption, LevelInPercent) {
  struct Case {
    std::int32_t unit, maximum, level, capacity, percent;
  };
  const Case cases[] = {
      {8, 500, 250, 500, 50}, {8, 500, -3, 500, -1}, {3, 500, 250, -1, -1}, {8, 0, 10, 0, -1},
      {8, 3, 1, 3, 50},       {8, 2000000000, 2000000000, 2000000000, 100},
  };
  for (const Case& c : cases) {
    std::int32_t capacity = -1, percent = -1;
    Probe::ConvertMediumLevel(c.unit, c.maximum, c.level, &capacity, &percent);
    EXPECT_EQ(capacity, c.capacity);
    EXPECT_EQ(percent, c.percent);
  }
}

TEST(DeviceOption, SupportedModelOids) {
  EXPECT_TRUE(psw_matches_model_oid("1.3.6.1.4.1.32473.2.1.11.93.1.37.24.21", SupportedModelTable[0].sys_object_id));
  EXPECT_TRUE(psw_matches_model_oid("1.3.6.1.4.1.32473.2.1.11.93.1.37.24.21.5", SupportedModelTable[0].sys_object_id));
  EXPECT_FALSE(psw_matches_model_oid("1.3.6.1.4.1.32473.2.1.11.93.1.37.24.211", SupportedModelTable[0].sys_object_id));
  EXPECT_STREQ(SupportedModelTable[11].model_name, "Tessaly M60");
}

TEST(DeviceOption, DerivedAnswers) {
  Probe o;
  long v = -1;
  bool b = true;
  o.set_memory(1536);
  ASSERT_EQ(o.get_option("MemorySizeInMByte", &v, 0), 0);
  EXPECT_EQ(v, 1);
  o.set_memory(1023);
  ASSERT_EQ(o.get_option("MemorySizeInMByte", &v, 0), 0);
  EXPECT_EQ(v, 0);

  ASSERT_EQ(o.get_option("FAXSIPStatus", &v, 0), 0);
  EXPECT_EQ(v, 0);
  ASSERT_EQ(o.get_option("FAXUnit", &b, 0), 0);
  EXPECT_FALSE(b);

  o.add_device(171);
  ASSERT_EQ(o.get_option("OutTrayCenter2", &b, 0), 0);
  EXPECT_TRUE(b);
  o.add_device(162);
  ASSERT_EQ(o.get_option("OutTrayCenter2", &b, 0), 0);
  EXPECT_FALSE(b);
  ASSERT_EQ(o.get_option("FinisherType", &v, 0), 0);
  EXPECT_EQ(v, 7);
  o.add_device(184);
  o.add_device(175);
  o.add_device(141, 5);
  ASSERT_EQ(o.get_option("FinisherType", &v, 0), 0);
  EXPECT_EQ(v, 9);
  ASSERT_EQ(o.get_option("FAXSIPStatus", &v, 0), 0);
  EXPECT_EQ(v, 5);
  ASSERT_EQ(o.get_option("Finisher", &b, 0), 0);
  EXPECT_TRUE(b);
}

TEST(DeviceOption, IndexesNamesAndArguments) {
  Probe o;
  o.add_tray("A");
  o.add_tray("B");
  o.add_tray("C");
  const char* s = nullptr;
  long v = 0;
  bool b = false;
  unsigned long u = 0;
  ASSERT_EQ(o.get_option("InputTrayName", &s, 2), 0);
  EXPECT_STREQ(s, "C");
  EXPECT_EQ(o.get_option("InputTrayName", &s, 3), pms::kIndexOutOfRange);
  EXPECT_EQ(o.get_option("InputTrayIndex", &v, -1), pms::kIndexOutOfRange);
  ASSERT_EQ(o.get_option("NumberOfInputTray", &v, 99), 0);
  EXPECT_EQ(v, 3);
  EXPECT_EQ(o.get_option("MemorySizeInKByte", &u, 0), pms::kNotSupported);
  EXPECT_EQ(o.get_option("memorysizeinkbyte", &v, 0), pms::kNotSupported);
  EXPECT_EQ(o.get_option("Scanner", &v, 0), pms::kNotSupported);
  EXPECT_EQ(o.get_option(nullptr, &b, 0), pms::kBadArgument);
  EXPECT_EQ(o.get_option("Scanner", static_cast<bool*>(nullptr), 0), pms::kBadArgument);
  EXPECT_EQ(o.get_option("SysName", static_cast<const char**>(nullptr), 0), pms::kBadArgument);
}

// A later load of the parameter object (a discovery with other
// credentials) must not change the credentials an option object uses.
TEST(DeviceOption, KeepsItsOwnCopyOfTheCredentials) {
  Usm usm;
  PSWUsmParam p = {};
  std::strcpy(p.security_name, "shaaes");
  std::strcpy(p.auth_passphrase, "shaaes-auth-pass");
  p.security_level = 1;
  usm.p->load_param(2, p);
  Probe o;
  ASSERT_EQ(o.Init(IPmcNetworkAddress::kIPv4, "127.0.0.1", usm.p, 1000, 1, 0), 0);
  PSWUsmParam q = {};
  std::strcpy(q.security_name, "md5des");
  std::strcpy(q.auth_passphrase, "md5des-auth-pass");
  usm.p->load_param(2, q);
  EXPECT_STREQ(o.security_name(), "shaaes");
  EXPECT_STREQ(o.auth_passphrase(), "shaaes-auth-pass");
  EXPECT_EQ(o.security_level(), 1);
  Probe copy = o;
  EXPECT_STREQ(copy.security_name(), "shaaes");
  EXPECT_EQ(o.Init(static_cast<IPmcNetworkAddress::EProtocol>(3), "127.0.0.1", usm.p, 1000, 1, 0),
            pms::kBadArgument);
}

// ---- against the agent on 127.0.0.1:161 in a namespace of the test's own --

void with_agent(const std::string& fixture_text, const std::function<void(SnmpAgent&)>& body) {
  morva::test::run_in_netns([&](NetNamespace&) {
    SnmpAgentOptions o;
    o.port = 161;
    o.fixture_text = fixture_text;
    SnmpAgent agent(o);
    body(agent);
  });
}

class AgentOptions : public ::testing::Test {
 protected:
  void SetUp() override {
    if (auto why = morva::test::snmp_environment_missing(); !why.empty()) GTEST_SKIP() << why;
    MORVA_SKIP_WITHOUT_NETNS();
  }
  // A supported device's option object, initialised for SNMPv1.
  static long open(CPSWRustmossOption& o, Usm& usm) {
    usm.p->load_param(0, PSWUsmParam{});
    return o.Init(IPmcNetworkAddress::kIPv4, "127.0.0.1", usm.p, 1000, 1, 0);
  }
};

TEST_F(AgentOptions, EveryOptionOfTheDemoDevice) {
  with_agent("", [](SnmpAgent&) {
    Usm usm;
    CPSWRustmossOption o;
    ASSERT_EQ(open(o, usm), 0);
    EXPECT_STREQ(o.sys_object_id(), "1.3.6.1.4.1.32473.2.1.11.93.1.37.24.8");
    EXPECT_TRUE(o.is_supported_OID("1.3.6.1.4.1.32473.2.1.11.93.1.37"));
    EXPECT_TRUE(o.is_supported_OID(nullptr));
    EXPECT_FALSE(o.is_supported_OID("1.3.6.1.4.1.32473.2.1.11.93.1.35"));
    ASSERT_EQ(o.refresh_options(), 0);

    const std::pair<const char*, bool> bools[] = {
        {"Scanner", true},         {"Copier", true},           {"FAXUnit", true},
        {"HardDisk", true},        {"DuplexModule", true},     {"OffsetCatch", true},
        {"InTrayMSI", true},       {"OutTraySide", false},     {"InTrayExistHCF", true},
        {"InTrayExistHCF2", false}, {"InTrayExistTTM", false}, {"InTrayExistHCFA3", false},
        {"InTrayExistHCFPF35", false}, {"InTrayExistHCFPF31", false}, {"InTrayExistHCF21", false},
        {"OutTrayOffsetCatch", true}, {"OutTrayCenter2", false}, {"Finisher", true},
        {"FinisherStaple", true},  {"FinisherPunch", false},   {"FinisherPunchHole2", false},
        {"FinisherPunchHole3", false}, {"FinisherPunchHole4", false}, {"FinisherBooklet", true},
        {"FinisherFolder", false}, {"FAXISDNG4Kit", true},     {"FAXLineSwitchKit", false},
    };
    for (auto [name, expected] : bools) {
      bool b = !expected;
      EXPECT_EQ(o.get_option(name, &b, 0), 0) << name;
      EXPECT_EQ(b, expected) << name;
    }
    const std::pair<const char*, long> ints[] = {
        {"MemorySizeInKByte", 524288}, {"MemorySizeInMByte", 512}, {"FAXMaxSpeedDial", 200}, {"FAXType", 3},
        {"NumberOfInputTray", 4},      {"PrinterRomVersionMajor", 2}, {"PrinterRomVersionMinor", 14},
        {"PrinterRomVersionRevision", 3}, {"PaperSizeGroupSetting", 2}, {"PaperSize8KSetting", 1},
        {"FinisherBookletImpression", 15}, {"FinisherType", 9}, {"PrintLimitedColorSetting", 0},
        {"UserPromptSetting", 1},      {"MinPasswordLength", 6},   {"FAXSIPStatus", 5},
        {"UseEnvelopeAsPaperType", 1}, {"LongSizePrintDetection", 0},
    };
    for (auto [name, expected] : ints) {
      long v = -12345;
      EXPECT_EQ(o.get_option(name, &v, 0), 0) << name;
      EXPECT_EQ(v, expected) << name;
    }
    // Per tray: index, type, capacity, percent, size code, direction, feed, cross-feed.
    const long trays[4][8] = {
        {1, 4, 500, 50, 25, 3, 297000, 210000},
        {2, 4, 500, -1, 1, 3, 279400, 215900},
        {3, 4, 1500, 100, 24, 3, 420000, 297000},
        {4, 5, 100, 0, 26, 2, 148000, 210000},
    };
    const char* tray_ints[] = {"InputTrayIndex", "InputTrayType", "InputTrayMaxCapacityInSheets",
                               "InputTrayCurrentLevelInPercent", "InputTrayMediaSize", "InputTrayMediaDirection",
                               "InputTrayMediaDimFeedDirChosen", "InputTrayMediaDimXFeedDirChosen"};
    for (int t = 0; t < 4; ++t) {
      for (int k = 0; k < 8; ++k) {
        long v = -12345;
        EXPECT_EQ(o.get_option(tray_ints[k], &v, t), 0);
        EXPECT_EQ(v, trays[t][k]) << tray_ints[k] << " of tray " << t;
      }
    }
    const std::pair<const char*, const char*> texts[] = {
        {"PrinterRomVersion", "Printer Controller v2.14.3 - Processor"},
        {"SysName", "corvane-m30-demo"},
        {"NetWareSAPUnitName", "CORVANE_M30_DEMO"},
    };
    for (auto [name, expected] : texts) {
      const char* s = nullptr;
      EXPECT_EQ(o.get_option(name, &s, 0), 0) << name;
      EXPECT_STREQ(s, expected) << name;
    }
    const char* s = nullptr;
    ASSERT_EQ(o.get_option("InputTrayName", &s, 3), 0);
    EXPECT_STREQ(s, "Bypass tray");
    ASSERT_EQ(o.get_option("InputTrayDescription", &s, 2), 0);
    EXPECT_STREQ(s, "High-capacity feeder (1500 sheets)");
    ASSERT_EQ(o.get_option("InputTrayMediaType", &s, 0), 0);
    EXPECT_STREQ(s, "stationery");
    EXPECT_EQ(o.get_option("InputTrayMediaType", &s, 4), pms::kIndexOutOfRange);
  });
}

TEST_F(AgentOptions, SupportedModelCheck) {
  with_agent("1.3.6.1.2.1.1.2.0 objectid 1.3.6.1.4.1.32473.2.1.11.93.1.37.24.21.5\n", [](SnmpAgent&) {
    Usm usm;
    CPSWRustmossOption o;
    EXPECT_EQ(open(o, usm), 0);
    CPSWRustmossOption bad_protocol;
    usm.p->load_param(0, PSWUsmParam{});
    EXPECT_EQ(bad_protocol.Init(IPmcNetworkAddress::kIPv6, "127.0.0.1", usm.p, 1000, 1, 0), pms::kBadArgument);
  });
  with_agent("1.3.6.1.2.1.1.2.0 objectid 1.3.6.1.4.1.32473.2.1.11.93.1.37.24.211\n", [](SnmpAgent&) {
    Usm usm;
    CPSWRustmossOption o;
    EXPECT_EQ(open(o, usm), pms::kBadArgument);
  });
}

// An odd ROM version text costs the version numbers, not the refresh; a
// device without a fax unit skips the fax objects.
TEST_F(AgentOptions, OddVersionTextAndNoFaxUnit) {
  with_agent(
      "1.3.6.1.2.1.25.3.2.1.3.10 string Controller firmware 2.14\n"
      "@delete 1.3.6.1.2.1.25.3.2.1.1.104\n@delete 1.3.6.1.2.1.25.3.2.1.2.104\n"
      "@delete 1.3.6.1.2.1.25.3.2.1.3.104\n@delete 1.3.6.1.2.1.25.3.2.1.5.104\n"
      "@delete 1.3.6.1.4.1.32473.1.8.64.4.2.1.5\n"
      "@delete 1.3.6.1.4.1.32473.1.8.53.13.2.1.6.104\n"
      "1.3.6.1.2.1.25.2.2.0 integer 1536\n",
      [](SnmpAgent&) {
        Usm usm;
        CPSWRustmossOption o;
        ASSERT_EQ(open(o, usm), 0);
        ASSERT_EQ(o.refresh_options(), 0);
        long v = -1;
        bool b = true;
        const char* s = nullptr;
        ASSERT_EQ(o.get_option("PrinterRomVersion", &s, 0), 0);
        EXPECT_STREQ(s, "Controller firmware 2.14");
        ASSERT_EQ(o.get_option("PrinterRomVersionMajor", &v, 0), 0);
        EXPECT_EQ(v, 0);
        ASSERT_EQ(o.get_option("MemorySizeInMByte", &v, 0), 0);
        EXPECT_EQ(v, 1);
        ASSERT_EQ(o.get_option("FAXISDNG4Kit", &b, 0), 0);
        EXPECT_FALSE(b);
        ASSERT_EQ(o.get_option("FAXType", &v, 0), 0);
        EXPECT_EQ(v, 0);
        ASSERT_EQ(o.get_option("FinisherBookletImpression", &v, 0), 0);
        EXPECT_EQ(v, 15);
      });
}

TEST_F(AgentOptions, SilentDeviceStopsTheRefresh) {
  with_agent("", [](SnmpAgent& agent) {
    Usm usm;
    CPSWRustmossOption o;
    ASSERT_EQ(open(o, usm), 0);
    agent.pause();
    EXPECT_EQ(o.refresh_options(), pms::kTimeout);
    agent.resume();
    long v = -1;
    ASSERT_EQ(o.get_option("NumberOfInputTray", &v, 0), 0);
    EXPECT_EQ(v, 0);
  });
}

}  // namespace
