// The device-configuration query: option keys and their value maps, the
// condition lists of the tray rules, paper and media matching of a device
// tray, and the whole query against a real SNMP agent through a
// device-configuration library built on libdevlink.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "ddd_builder.h"
#include "netns_test.h"
#include "property_sheets/device_query.h"
#include "settings/database/ddd_file.h"
#include "snmp_agent.h"
#include "temp_root.h"

namespace {

using nlohmann::json;

// Answers of a device, by value name.
DeviceValueReader answers(std::map<std::u16string, DWORD> numbers, std::vector<std::u16string>* asked = nullptr) {
  return [numbers, asked](WORD, const std::u16string& name, DWORD, DWORD* number, std::u16string*) -> BOOL {
    if (asked) asked->push_back(name);
    const auto it = numbers.find(name);
    if (it == numbers.end() || !number) return FALSE;
    *number = it->second;
    return TRUE;
  };
}

OptionKey mapped(DWORD flags, std::vector<std::u16string> names, std::vector<std::pair<DWORD, DWORD>> rows,
                 WORD device_type = 4) {
  OptionKey k;
  k.ddmid = 4355;
  k.type = 3;
  k.size = 2;
  k.source = kSourceMapped;
  k.flags = flags;
  k.names = std::move(names);
  for (auto [d, s] : rows) k.map.push_back({d, device_type, s, 3});
  k.map_valid = true;
  return k;
}

TEST(OptionKeys, MappedAnswersBecomeSettingValues) {
  struct Case {
    const char* what;
    OptionKey key;
    std::map<std::u16string, DWORD> device;
    bool has_record;
    DWORD value;
  };
  const std::vector<Case> cases = {
      // 1.2.3 packs to 66051; the first row must be greater.
      {"version threshold", mapped(kKeyVersionThreshold, {u"a", u"b", u"c"}, {{66051, 1}, {70000, 2}}),
       {{u"a", 1}, {u"b", 2}, {u"c", 3}}, true, 2},
      {"version above every row takes the last",
       mapped(kKeyVersionThreshold, {u"a", u"b", u"c"}, {{10, 1}, {20, 2}}), {{u"a", 9}, {u"b", 0}, {u"c", 0}},
       true, 2},
      {"version needs three names", mapped(kKeyVersionThreshold, {u"a"}, {{1, 1}}), {{u"a", 1}}, false, 0},
      {"exact word", mapped(kKeyExactWord, {u"m"}, {{256, 1}, {512, 2}}), {{u"m", 512}}, true, 2},
      {"exact word without a row", mapped(kKeyExactWord, {u"m"}, {{256, 1}, {512, 2}}), {{u"m", 300}}, false, 0},
      {"at least", mapped(kKeyAtLeast, {u"m"}, {{256, 1}, {512, 2}, {1024, 3}}), {{u"m", 300}}, true, 2},
      {"at least, above every row", mapped(kKeyAtLeast, {u"m"}, {{256, 1}, {512, 2}}), {{u"m", 4096}}, true, 2},
      {"exact byte", mapped(kKeyExactByte, {u"m"}, {{7, 0x1FF}}), {{u"m", 7}}, true, 0xFF},
      {"flag set", mapped(kKeyFlagSet, {u"x", u"y", u"z"}, {{1, 4}, {3, 5}}), {{u"x", 1}, {u"y", 1}, {u"z", 0}},
       true, 5},
      {"flag set without a row gives 0", mapped(kKeyFlagSet, {u"x", u"y"}, {{1, 4}}), {{u"x", 0}, {u"y", 1}}, true,
       0},
      {"masked by type", mapped(kKeyMasked, {u"b"}, {{1, 9}, {0, 8}}, 1), {{u"b", 0}}, true, 8},
      {"masked bit test, bit clear", mapped(kKeyMasked | kKeyBitTest, {u"u"}, {{0x4, 0}}, 5), {{u"u", 0x3}}, true,
       1},
      {"masked bit test, bit set", mapped(kKeyMasked | kKeyBitTest, {u"u"}, {{0x4, 0}}, 5), {{u"u", 0x6}}, true, 0},
      {"masked with a string row type", mapped(kKeyMasked, {u"b"}, {{1, 9}}, 6), {{u"b", 1}}, false, 0},
      {"no mapping flag", mapped(0, {u"m"}, {{1, 1}}), {{u"m", 1}}, false, 0},
      {"unanswered value", mapped(kKeyExactWord, {u"m"}, {{1, 1}}), {}, false, 0},
  };
  for (const Case& c : cases) {
    SettingValueRecord r;
    const BOOL got = EvaluateOptionKey(c.key, kQueryReadConfiguration, answers(c.device), nullptr, &r);
    EXPECT_EQ(got != FALSE, c.has_record) << c.what;
    if (got && c.has_record) {
      EXPECT_EQ(r.value, c.value) << c.what;
      EXPECT_EQ(r.ddmid, 4355) << c.what;
    }
  }
}

TEST(OptionKeys, DirectAnswersAndModes) {
  OptionKey k;
  k.ddmid = 4099;
  k.type = 1;
  k.size = 4;
  k.source = kDeviceValueBoolean;
  k.names = {u"HardDisk"};
  std::vector<std::u16string> asked;
  SettingValueRecord r;
  ASSERT_TRUE(EvaluateOptionKey(k, kQueryReadConfiguration, answers({{u"HardDisk", 1}}, &asked), nullptr, &r));
  EXPECT_EQ(r.value, 1u);
  EXPECT_EQ(r.size, 4u);
  k.flags = kKeyNoValue;
  ASSERT_TRUE(EvaluateOptionKey(k, kQueryReadConfiguration, answers({{u"HardDisk", 1}}), nullptr, &r));
  EXPECT_EQ(r.value, 0u) << "the answer is not taken as the value";
  // Locating the device asks no option at all.
  asked.clear();
  EXPECT_FALSE(EvaluateOptionKey(k, kQueryLocateByAddress, answers({{u"HardDisk", 1}}, &asked), nullptr, &r));
  EXPECT_TRUE(asked.empty());
  k.names.push_back(u"second");
  EXPECT_FALSE(EvaluateOptionKey(k, kQueryReadConfiguration, answers({{u"HardDisk", 1}}), nullptr, &r))
      << "a direct answer needs exactly one name";
}

SettingValueRecord option(WORD ddmid, WORD type, DWORD value) {
  SettingValueRecord r;
  r.ddmid = ddmid;
  r.type = type;
  r.value = value;
  return r;
}

OptionCondition condition(BYTE op, WORD ddmid, WORD type, DWORD value, BYTE connector = 0) {
  OptionCondition c;
  c.op = op;
  c.ddmid = ddmid;
  c.type = type;
  c.value.resize(4);
  std::memcpy(c.value.data(), &value, 4);
  c.connector = connector;
  return c;
}

TEST(TrayRules, ConditionLists) {
  const std::vector<SettingValueRecord> options = {option(4368, 8, 1), option(4099, 1, 0), option(4355, 3, 2),
                                                   option(4103, 4, static_cast<DWORD>(-5))};
  struct Case {
    const char* what;
    std::vector<OptionCondition> conditions;
    int expect;  // 1 true, 0 false, -1 error
  };
  const std::vector<Case> cases = {
      {"empty list", {}, 1},
      {"equal", {condition(1, 4368, 8, 1)}, 1},
      {"not equal", {condition(2, 4368, 8, 1)}, 0},
      {"and both", {condition(1, 4368, 8, 1), condition(4, 4355, 3, 2)}, 1},
      {"and one false", {condition(1, 4368, 8, 1), condition(3, 4355, 3, 1)}, 0},
      {"or, second true", {condition(1, 4368, 8, 0, 2), condition(1, 4355, 3, 2)}, 1},
      {"or, first true skips the run", {condition(1, 4368, 8, 1, 2), condition(1, 4355, 3, 9)}, 1},
      {"false group, next group true", {condition(1, 4368, 8, 0, 3), condition(1, 4355, 3, 2)}, 1},
      {"signed compare", {condition(5, 4103, 4, 0)}, 0},  // 0 < -5 is false
      {"signed compare the other way", {condition(3, 4103, 4, 0)}, 1},
      {"boolean equality", {condition(1, 4099, 1, 0)}, 1},
      {"boolean order is an error", {condition(3, 4099, 1, 0)}, -1},
      {"unreported option", {condition(1, 4111, 8, 1)}, -1},
      {"type mismatch", {condition(1, 4368, 3, 1)}, -1},
      {"unknown operator", {condition(9, 4368, 8, 1)}, -1},
  };
  for (const Case& c : cases) {
    const INT r = EvaluateConditionList(c.conditions, options);
    EXPECT_EQ(r > 0 ? 1 : r < 0 ? -1 : 0, c.expect) << c.what;
  }
  OptionCondition no_value = condition(1, 4368, 8, 1);
  no_value.value.clear();
  EXPECT_EQ(EvaluateConditionList({no_value}, options), 0) << "a condition without value is false";

  // The rule search: an error stops it; a true rule without the key goes on.
  const std::vector<TrayMapRule> rules = {{{condition(1, 4368, 8, 1)}, {{1, 5}}},
                                          {{}, {{2, 6}, {3, 7}}},
                                          {{condition(1, 4111, 8, 1)}, {{4, 8}}},
                                          {{}, {{4, 9}}}};
  EXPECT_EQ(ResolveDeviceTrayNumber(rules, 1, options), 5);
  EXPECT_EQ(ResolveDeviceTrayNumber(rules, 3, options), 7);
  EXPECT_EQ(ResolveDeviceTrayNumber(rules, 4, options), 0) << "the unreported option stops the search";
}

TEST(TrayRules, PaperOfALoadedTray) {
  const std::vector<PaperSizeEntry> papers = {{9, 2100, 2970}, {1, 2159, 2794}, {8, 2970, 4200}, {263, 1000, 1500}};
  TrayRule rule;
  rule.papers = {9, 1};
  rule.min_short = 900;
  rule.min_long = 1480;
  rule.max_short = 3048;
  rule.max_long = 4320;
  const std::vector<UserPaperSlot> slots = {{287, 1000, 1500}, {288, 1820, 2570}};
  struct Case {
    const char* what;
    LONG first, second;
    TrayPaperMatch expect;
  };
  const std::vector<Case> cases = {
      {"A4 long side first", 297000, 210000, {9, 2100, 2970}},
      {"A4 short side first", 210000, 297000, {9, 2100, 2970}},
      {"within the tolerance", 210900, 296500, {9, 2109, 2965}},
      {"A3 fits but is not allowed; no slot", 297000, 420000, {275, 2970, 4200}},
      {"a user slot", 182000, 257000, {288, 1820, 2570}},
      {"user papers of the database are skipped", 100000, 150000, {287, 1000, 1500}},
      {"custom within the tray's range", 148000, 210000, {275, 1480, 2100}},
      {"outside the range", 50000, 90000, {273, 500, 900}},
      {"negative size", -1, 210000, {273, 0, 0}},
  };
  for (const Case& c : cases) {
    DeviceTrayEntry tray;
    tray.first = c.first;
    tray.second = c.second;
    const TrayPaperMatch m = MatchTrayPaper(tray, papers, slots, rule);
    EXPECT_EQ(m.paper, c.expect.paper) << c.what;
    EXPECT_EQ(m.short_side, c.expect.short_side) << c.what;
    EXPECT_EQ(m.long_side, c.expect.long_side) << c.what;
  }
  // An allowed paper beaten by a not-allowed one that also fits within the
  // tolerance: the database search ends at the first fit.
  rule.papers = {1};
  DeviceTrayEntry near_a4;
  near_a4.first = 215000;
  near_a4.second = 290000;
  EXPECT_EQ(MatchTrayPaper(near_a4, {{9, 2100, 2970}, {1, 2159, 2794}}, {}, rule).paper, 275);
}

TEST(TrayRules, MediaNames) {
  const std::vector<MediaNameEntry> table = {{1, u"stationery", false}, {2, u"recycled", false},
                                             {13, u"Special", true}, {14, u"Coated", true}};
  struct Case {
    const char* what;
    std::u16string name;
    bool second;
    WORD expect;
    std::u16string custom;
  };
  const std::vector<Case> cases = {
      {"plain", u"recycled", false, 2, u""},
      {"custom with its name", u"Special(Heavy (1))", false, 13, u"Heavy (1)"},
      {"custom, empty brackets", u"Coated()", false, 14, u""},
      {"custom without a closing bracket", u"Special(Heavy", false, 28, u""},
      {"bare custom name: media type", u"Special", false, 28, u""},
      {"bare custom name: second attribute", u"Special", true, 13, u""},
      {"other character after the name", u"Specials", false, 28, u""},
      {"unknown", u"vellum", false, 28, u""},
      {"unknown second attribute", u"vellum", true, 17, u""},
  };
  for (const Case& c : cases) {
    std::u16string custom = u"old";
    EXPECT_EQ(MatchMediaName(c.name, table, c.second, &custom), c.expect) << c.what;
    EXPECT_EQ(custom, c.custom) << c.what;
  }
  EXPECT_EQ(MediaCustomNameId(13), 6401);
  EXPECT_EQ(MediaCustomNameId(12), kNoSettingId);
  EXPECT_EQ(SecondCustomNameId(15), 6415);
}

TEST(DeviceWebPage, OnlyHostNamesAndAddressesMakeALink) {
  EXPECT_EQ(DeviceWebPageUrl("192.0.2.7"), L"http://192.0.2.7/");
  EXPECT_EQ(DeviceWebPageUrl("printer-3.example"), L"http://printer-3.example/");
  EXPECT_EQ(DeviceWebPageUrl("[fe80::1]"), L"http://[fe80::1]/");
  for (const char* bad : {"", "evil.example/x", "a@b", "host:8080", "-x", "[fe80::1", "a b", "javascript:x",
                          "host?q", "host#f"})
    EXPECT_EQ(DeviceWebPageUrl(bad), L"") << bad;
}

// ---------------------------------------------------------------- device

// A database with option keys, papers, media names, trays and tray rules.
json device_database() {
  auto typed = [](int type, long value) { return json{{"type", type}, {"value", value}}; };
  json records = json::array({
      {{"kind", 17}, {"id", 1}, {"first", {2100, 2970}}, {"second", {2100, 2970}}},
      {{"kind", 17}, {"id", 2}, {"first", {2159, 2794}}, {"second", {2159, 2794}}},
      {{"kind", 17}, {"id", 3}, {"first", {2970, 4200}}, {"second", {2970, 4200}}},
      {{"kind", 17}, {"id", 4}, {"first", {900, 1480}}, {"second", {3048, 4320}}},
      {{"kind", 17}, {"id", 5}, {"first", {42, 42}}, {"second", {42, 42}}},
      {{"kind", 10}, {"id", 9}, {"name", "A4"}, {"size", 1}, {"area", 1}, {"margin", 5}},
      {{"kind", 10}, {"id", 1}, {"name", "Letter"}, {"size", 2}, {"area", 2}, {"margin", 5}},
      {{"kind", 10}, {"id", 8}, {"name", "A3"}, {"size", 3}, {"area", 3}, {"margin", 5}},
      {{"kind", 19}, {"id", 1}, {"text", "stationery"}},
      {{"kind", 19}, {"id", 2}, {"text", "recycled"}},
      {{"kind", 19}, {"id", 13}, {"text", "Special"}},
      {{"kind", 25}, {"id", 1}, {"text1", "white"}},
      {{"kind", 25}, {"id", 2}, {"text1", "blue"}},
      // Driver trays 1-4 by their keys, with the papers they take.
      {{"kind", 5}, {"id", 1}, {"name", "Tray 1"}, {"dimension", 4}, {"ddmids", {9, 1, 8}}},
      {{"kind", 5}, {"id", 2}, {"name", "Tray 2"}, {"dimension", 4}, {"ddmids", {9, 1}}},
      {{"kind", 5}, {"id", 3}, {"name", "HCF"}, {"dimension", 4}, {"ddmids", {9, 8}}},
      {{"kind", 5}, {"id", 257}, {"name", "Bypass"}, {"dimension", 4}, {"ddmids", {9}}},
      // The high-capacity feeder is device tray 3 only when the device has it.
      {{"kind", 23},
       {"conditions", json::array({{{"op", 1}, {"ddmid", 4368}, {"value", typed(8, 1)}}})},
       {"triples", json::array({{3, 3, 0}})}},
      {{"kind", 23}, {"conditions", json::array()}, {"triples", json::array({{1, 1, 0}, {2, 2, 0}, {257, 4, 0}})}},
      // Option keys: word1 list, word2 setting, byte source, word4 flags.
      {{"kind", 22}, {"word1", 3}, {"word2", 4099}, {"type", 1}, {"size", 4}, {"byte", 1},
       {"strings", {"HardDisk"}}, {"values", json::array()}},
      {{"kind", 22}, {"word1", 3}, {"word2", 4368}, {"type", 8}, {"size", 1}, {"byte", 0x81}, {"word4", 0x0800},
       {"strings", {"InTrayExistHCF"}}, {"values", {typed(1, 1), typed(8, 1), typed(1, 0), typed(8, 0)}}},
      {{"kind", 22}, {"word1", 1}, {"word2", 4355}, {"type", 3}, {"size", 2}, {"byte", 0x81}, {"word4", 0x0100},
       {"strings", {"MemorySizeInMByte"}},
       {"values", {typed(4, 256), typed(3, 1), typed(4, 512), typed(3, 2), typed(4, 1024), typed(3, 3)}}},
      {{"kind", 22}, {"word1", 1}, {"word2", 4103}, {"type", 3}, {"size", 2}, {"byte", 0x81}, {"word4", 0x0040},
       {"strings", {"PrinterRomVersionMajor", "PrinterRomVersionMinor", "PrinterRomVersionRevision"}},
       {"values", {typed(4, 0x020E00), typed(3, 1), typed(4, 0x030000), typed(3, 2)}}},
      {{"kind", 22}, {"word1", 1}, {"word2", 4098}, {"type", 3}, {"size", 2}, {"byte", 0x81}, {"word4", 0x0080},
       {"strings", {"MemorySizeInMByte"}}, {"values", {typed(4, 100), typed(3, 1)}}},
      {{"kind", 22}, {"word1", 1}, {"word2", 4359}, {"type", 8}, {"size", 1}, {"byte", 0x81}, {"word4", 0x0400},
       {"strings", {"Finisher", "FinisherStaple", "FinisherPunch"}},
       {"values", {typed(4, 3), typed(8, 5), typed(4, 1), typed(8, 4)}}},
  });
  return {{"main",
           {{"file", "DEVQ.DDD"},
            {"title", "device query"},
            {"version", "Q:1.0.0"},
            {"level", 0x2000},
            {"model", "Query Model"},
            {"fields", json::object()},
            {"records", records}}}};
}

const SettingValueRecord* find(const std::vector<SettingValueRecord>& records, WORD ddmid) {
  for (const auto& r : records)
    if (r.ddmid == ddmid) return &r;
  return nullptr;
}

class DeviceQuery : public ::testing::Test {
 protected:
  void SetUp() override {
    if (auto why = morva::test::snmp_environment_missing(); !why.empty()) GTEST_SKIP() << why;
    MORVA_SKIP_WITHOUT_NETNS();
    morva::ddd_build::write_images(morva::ddd_build::build_images(device_database()), root_.file("drive_c/drivers"));
    DddStatus status = 0;
    database_ = DddOpenPath(u"C:\\drivers\\DEVQ.DDD", &status);
    ASSERT_NE(database_, nullptr) << status;
  }
  void TearDown() override {
    if (database_) DddClose(database_);
  }

  DeviceQueryInput input() const {
    DeviceQueryInput in;
    in.database = database_;
    in.names = {"IP_127.0.0.1", "Query Model", "Office printer", "mvredore.dll", "open1", "open2", "selection"};
    in.flags.second_names = true;
    in.language = 1033;
    return in;
  }

  morva::test::TempRoot root_;
  DddHandle* database_ = nullptr;
};

// The demo device with its trays measured in micrometres and a custom
// media name in the bypass tray.
constexpr const char* kTrayFixture =
    "1.3.6.1.2.1.43.8.2.1.3.1.1 integer 3\n"
    "1.3.6.1.2.1.43.8.2.1.3.1.2 integer 3\n"
    "1.3.6.1.2.1.43.8.2.1.3.1.3 integer 3\n"
    "1.3.6.1.2.1.43.8.2.1.3.1.4 integer 3\n"
    "1.3.6.1.2.1.43.8.2.1.21.1.4 string Special(Heavy 1)\n";

TEST_F(DeviceQuery, ReadsOptionsAndTraysOfARealDevice) {
  morva::test::run_in_netns([&](morva::test::NetNamespace&) {
    morva::test::SnmpAgentOptions o;
    o.port = 161;
    o.fixture_text = kTrayFixture;
    morva::test::SnmpAgent agent(o);

    DeviceQueryResult result;
    ASSERT_TRUE(QueryDeviceConfiguration(input(), &result));
    EXPECT_EQ(result.address.ddmid, kNetworkAddressId);
    EXPECT_EQ(result.address.text, u"127.0.0.1");
    EXPECT_EQ(result.community.ddmid, 0) << "not asked without the capability";

    // Kind-3 keys first, the others in the second list.
    ASSERT_EQ(result.first_options.size(), 2u);
    EXPECT_EQ(result.first_options[0].ddmid, 4099);
    EXPECT_EQ(result.first_options[0].value, 1u) << "the demo device has a hard disk";
    EXPECT_EQ(result.first_options[1].ddmid, 4368);
    EXPECT_EQ(result.first_options[1].value, 1u) << "and a high-capacity feeder";
    const auto* memory = find(result.other_options, 4355);
    ASSERT_NE(memory, nullptr);
    EXPECT_EQ(memory->value, 2u) << "512 MB: the first row of at least 512";
    const auto* version = find(result.other_options, 4103);
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->value, 2u) << "ROM 2.14.3 lies above 2.14.0";
    EXPECT_EQ(find(result.other_options, 4098), nullptr) << "an exact key without a matching row";
    const auto* finisher = find(result.other_options, 4359);
    ASSERT_NE(finisher, nullptr);
    EXPECT_EQ(finisher->value, 5u) << "finisher and stapler, no punch";

    // Each driver tray's settings are those of its paper source; source 3
    // (the feeder) comes before source 2 among them.
    struct TrayCase {
      WORD key;
      WORD paper_id;  // the tray's paper setting
      WORD paper, short_side, long_side, feed, media, second;
    };
    const TrayCase trays[] = {
        {1, 6145, 9, 2100, 2970, 1, 1, 1},      // A4, long side first, stationery, white
        {2, 6147, 1, 2159, 2794, 1, 1, 1},      // Letter
        {3, 6146, 8, 2970, 4200, 1, 2, 1},      // A3 in the feeder, recycled
        {257, 6148, 275, 1480, 2100, 2, 13, 2},  // A5 is no database paper; custom media, blue
    };
    for (const TrayCase& t : trays) {
      TrayColumns c{};
      ASSERT_TRUE(TrayColumnIds(t.key, &c));
      EXPECT_EQ(c.paper, t.paper_id) << "tray " << t.key;
      const WORD want[][2] = {{c.paper, t.paper},   {c.short_side, t.short_side}, {c.long_side, t.long_side},
                              {c.feed, t.feed},     {c.media, t.media},           {c.second, t.second}};
      for (const auto& [ddmid, value] : want) {
        const auto* r = find(result.trays, ddmid);
        ASSERT_NE(r, nullptr) << "tray " << t.key << " setting " << ddmid;
        EXPECT_EQ(r->value, value) << "tray " << t.key << " setting " << ddmid;
      }
    }
    const auto* custom = find(result.trays, 6401);
    ASSERT_NE(custom, nullptr);
    EXPECT_EQ(custom->text, u"Heavy 1");
    EXPECT_EQ(custom->size, 2u * 7 + 2);

    // The web-page button's lookup by the stored address.
    std::string address;
    DeviceQueryInput locate = input();
    locate.address = "127.0.0.1";
    ASSERT_TRUE(QueryPrinterAddress(locate, &address));
    EXPECT_EQ(address, "127.0.0.1");
    locate.address.clear();
    EXPECT_FALSE(QueryPrinterAddress(locate, &address)) << "no stored address, no lookup";
  });
}

TEST_F(DeviceQuery, TraysFollowTheReportedOptions) {
  // Without the feeder, tray rule 1 is false and device tray 3 maps to no
  // driver tray.
  morva::test::run_in_netns([&](morva::test::NetNamespace&) {
    morva::test::SnmpAgentOptions o;
    o.port = 161;
    o.fixture_text = std::string(kTrayFixture) +
                     "@delete 1.3.6.1.2.1.25.3.2.1.1.107\n@delete 1.3.6.1.2.1.25.3.2.1.2.107\n"
                     "@delete 1.3.6.1.2.1.25.3.2.1.3.107\n@delete 1.3.6.1.2.1.25.3.2.1.5.107\n";
    morva::test::SnmpAgent agent(o);
    DeviceQueryResult result;
    ASSERT_TRUE(QueryDeviceConfiguration(input(), &result));
    const auto* feeder = find(result.first_options, 4368);
    ASSERT_NE(feeder, nullptr);
    EXPECT_EQ(feeder->value, 0u);
    EXPECT_EQ(find(result.trays, 6146), nullptr) << "the feeder (source 3)";
    EXPECT_NE(find(result.trays, 6148), nullptr) << "the bypass tray (source 257)";
    EXPECT_FALSE(TrayColumnIds(4, nullptr));
    TrayColumns none{};
    EXPECT_FALSE(TrayColumnIds(4, &none)) << "source 4 has no tray settings";
  });
}

TEST_F(DeviceQuery, NoDeviceNoResult) {
  morva::test::run_in_netns([&](morva::test::NetNamespace&) {
    DeviceQueryResult result;
    result.first_options.resize(1);
    EXPECT_FALSE(QueryDeviceConfiguration(input(), &result));
    EXPECT_TRUE(result.first_options.empty());
    EXPECT_TRUE(result.address.text.empty());
  });
}

}  // namespace
