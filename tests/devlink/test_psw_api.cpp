// The PSW functions of libdevlink.so through dlopen/dlsym only, as an
// outside caller uses them: argument and state rules without a device, and
// the whole life of a handle against a real agent serving the demo device
// on 127.0.0.1:161 inside a namespace of the test's own.
#include <cxxabi.h>
#include <elf.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "devlink_library.h"
#include "netns_test.h"
#include "snmp_agent.h"
#include "snmp_wire.h"
#include "temp_root.h"

namespace {

using devlink_test::Devlink;
using morva::test::NetNamespace;
using morva::test::SnmpAgent;
using morva::test::SnmpAgentOptions;

constexpr const char* kAgent = "127.0.0.1";
constexpr const char* kFirstJobId = "JB000001";

// Defined symbols of the library's dynamic symbol table, demangled.
std::set<std::string> exported_symbols(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::set<std::string> names;
  if (file.size() < sizeof(Elf64_Ehdr)) return names;
  Elf64_Ehdr eh;
  std::memcpy(&eh, file.data(), sizeof eh);
  if (eh.e_shoff == 0 || eh.e_shentsize != sizeof(Elf64_Shdr) ||
      eh.e_shoff + std::size_t{eh.e_shnum} * sizeof(Elf64_Shdr) > file.size())
    return names;
  std::vector<Elf64_Shdr> sections(eh.e_shnum);
  std::memcpy(sections.data(), file.data() + eh.e_shoff, sections.size() * sizeof(Elf64_Shdr));
  for (const Elf64_Shdr& s : sections) {
    if (s.sh_type != SHT_DYNSYM || s.sh_link >= sections.size()) continue;
    const Elf64_Shdr& strtab = sections[s.sh_link];
    if (s.sh_offset + s.sh_size > file.size() || strtab.sh_offset + strtab.sh_size > file.size()) continue;
    for (std::size_t off = 0; off + sizeof(Elf64_Sym) <= s.sh_size; off += sizeof(Elf64_Sym)) {
      Elf64_Sym sym;
      std::memcpy(&sym, file.data() + s.sh_offset + off, sizeof sym);
      const unsigned bind = ELF64_ST_BIND(sym.st_info);
      if (sym.st_shndx == SHN_UNDEF || (bind != STB_GLOBAL && bind != STB_WEAK) || sym.st_name >= strtab.sh_size)
        continue;
      const char* raw = file.data() + strtab.sh_offset + sym.st_name;
      const std::string name(raw, strnlen(raw, strtab.sh_size - sym.st_name));
      int status = 0;
      char* demangled = abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status);
      names.insert(status == 0 && demangled ? demangled : name);
      std::free(demangled);
    }
  }
  return names;
}

class PswApi : public ::testing::Test {
 protected:
  morva::test::TempRoot root_;
  Devlink d_;
};

class PswDevice : public PswApi {
 protected:
  void SetUp() override {
    if (auto why = morva::test::snmp_environment_missing(); !why.empty()) GTEST_SKIP() << why;
    MORVA_SKIP_WITHOUT_NETNS();
  }

  // Runs the body with the demo device (plus fixture_text) on 127.0.0.1:161
  // and a fresh handle.
  void with_agent(const std::string& fixture_text, const std::function<void(SnmpAgent&, PSWHANDLE)>& body,
                  const std::string& read_community = morva::test::kReadCommunity) {
    morva::test::run_in_netns([&](NetNamespace&) {
      SnmpAgentOptions o;
      o.port = 161;
      o.fixture_text = fixture_text;
      o.read_community = read_community;
      SnmpAgent agent(o);
      PSWHANDLE h = nullptr;
      ASSERT_EQ(d_.PSWInit(&h), 0);
      body(agent, h);
      d_.PSWUnInit(h);
    });
  }
};

}  // namespace

TEST_F(PswApi, ExportsExactlyThePswFunctionsAndTheOptionClasses) {
  const std::set<std::string> names = exported_symbols(devlink_test::library_path());
  ASSERT_FALSE(names.empty());
  std::set<std::string> psw;
#define DEVLINK_NAME(name) psw.insert(#name);
  DEVLINK_FUNCTIONS(DEVLINK_NAME)
#undef DEVLINK_NAME
  ASSERT_EQ(psw.size(), 38u);
  for (const std::string& n : psw) EXPECT_TRUE(names.count(n)) << n;
  const std::string classes[] = {"CPSWDevCommOption", "CPSWRustmossOption"};
  for (const std::string& c : classes) {
    for (const char* what : {"vtable for ", "typeinfo for ", "typeinfo name for "})
      EXPECT_TRUE(names.count(what + c)) << what << c;
    for (const std::string& member : {c + "::" + c + "()", c + "::" + c + "(" + c + " const&)",
                                      c + "::~" + c + "()", c + "::operator=(" + c + " const&)"})
      EXPECT_TRUE(names.count(member)) << member;
  }
  EXPECT_TRUE(names.count("CPSWDevCommOption::refresh_options()"));
  EXPECT_TRUE(names.count("CPSWDevCommOption::destroy()"));
  EXPECT_TRUE(names.count("CPSWDevCommOption::parse_version_value()"));
  EXPECT_TRUE(names.count("CPSWRustmossOption::is_supported_OID(char const*)"));
  EXPECT_TRUE(names.count("CPSWRustmossOption::is_supported_device()"));
  EXPECT_TRUE(names.count("CPSWRustmossOption::get_option(char const*, unsigned long*, int) const"));
  // Nothing else: no engine internals, no helpers of the static libraries.
  for (const std::string& n : names) {
    bool allowed = psw.count(n) > 0;
    for (const std::string& c : classes) {
      allowed = allowed || n.rfind(c + "::", 0) == 0;
      for (const char* what : {"vtable for ", "typeinfo for ", "typeinfo name for "}) allowed = allowed || n == what + c;
    }
    EXPECT_TRUE(allowed) << "exported but not part of the interface: " << n;
  }
}

// Every rule that needs no device: null arguments, unknown commands,
// transports, the -8 of a handle without a device.
TEST_F(PswApi, ArgumentsAndStateWithoutADevice) {
  EXPECT_EQ(d_.PSWInit(nullptr), -2);
  PSWHANDLE h = nullptr;
  ASSERT_EQ(d_.PSWInit(&h), 0);
  ASSERT_NE(h, nullptr);

  const std::string exact(255, 'c'), too_long(256, 'c');
  struct CommandCase {
    PSWHANDLE handle;
    const char* command;
    const char* value;
    int32_t result;
  } commands[] = {
      {nullptr, "CmdSetCommunityFind", "x", -2},  {h, nullptr, "x", -2},
      {h, "CmdSetCommunityFind", nullptr, -2},    {h, "cmdsetcommunityfind", "x", -5},
      {h, "CmdSetCommunity", "x", -5},            {h, "CmdSetCommunityFind", exact.c_str(), 0},
      {h, "CmdSetCommunityGetOption", "public", 0}, {h, "CmdSetCommunityWrite", "private", 0},
      {h, "CmdSetCommunityWrite", too_long.c_str(), -2},
  };
  for (const auto& c : commands)
    EXPECT_EQ(d_.PSWCommandString(c.handle, c.command, c.value), c.result) << (c.command ? c.command : "null");
  int32_t value = 1;
  EXPECT_EQ(d_.PSWCommandInteger(nullptr, "x", &value), -2);
  EXPECT_EQ(d_.PSWCommandInteger(h, "x", nullptr), -2);
  EXPECT_EQ(d_.PSWCommandInteger(h, "CmdSetCommunityFind", &value), -5);
  EXPECT_EQ(d_.PSWCommandInteger(h, nullptr, &value), -5);

  EXPECT_EQ(d_.PSWFindAddFilter(nullptr, "1.3"), -2);
  EXPECT_EQ(d_.PSWFindAddFilter(h, nullptr), -2);
  EXPECT_EQ(d_.PSWFindAddFilter(h, std::string(64, '1').c_str()), -2) << "a cut filter would let more through";
  for (int i = 0; i < 51; ++i) EXPECT_EQ(d_.PSWFindAddFilter(h, "1.3.6.1.4.1.32473"), 0) << i;
  d_.PSWFindClearFilter(nullptr);
  d_.PSWFindClearFilter(h);

  int32_t count = 7;
  struct FindCase {
    PSWHANDLE handle;
    int32_t transport;
    int32_t* count;
    int32_t result;
  } finds[] = {{nullptr, 1, &count, -2}, {h, 1, nullptr, -2}, {h, 3, &count, -5}, {h, 4, &count, -2},
               {h, 6, &count, -2},       {h, 0, &count, -2},  {h, -1, &count, -2}};
  for (const auto& f : finds)
    EXPECT_EQ(d_.PSWFindDeviceSNMP(f.handle, nullptr, f.transport, 100, 0, f.count), f.result) << f.transport;
  EXPECT_EQ(d_.PSWFindDeviceSNMPEx(h, nullptr, 3, 2, PSWUsmParam{}, 100, 0, &count), -5);

  char a[64], m[64], r[64], s[64];
  EXPECT_EQ(d_.PSWGetDeviceNext(h, a, m, r, s), 0) << "before any discovery";
  EXPECT_EQ(d_.PSWGetDeviceNext(nullptr, a, m, r, s), 0);
  EXPECT_EQ(d_.PSWGetDeviceNext(h, a, m, nullptr, s), 0);
  d_.PSWFindResetPosition(nullptr);
  d_.PSWFindResetPosition(h);

  EXPECT_EQ(d_.PSWIsSupportedOID(nullptr, ""), 0xFFFE);
  EXPECT_EQ(d_.PSWIsSupportedOID(nullptr, nullptr), 0xFFFE);
  EXPECT_EQ(d_.PSWIsSupportedOID(h, ""), 0) << "no option object yet";

  // Before a device: -2 for null handles and outputs first, then -8.
  PSWBOOL b = 0;
  long l = 0;
  unsigned long ul = 0;
  char text[256];
  PSWStorageInfo storage;
  PSWDeviceInfo device;
  PSWInputTrayInfo tray;
  PSWInputTrayInfoEx tray_ex;
  PSWOutputTrayInfo out_tray;
  PSWTonerInfo toner;
  PSWAlertInfo alert;
  PSWJobInfo job;
  int32_t info[2];
  using Call = std::function<int32_t(PSWHANDLE, bool null_out)>;
  struct StateCase {
    const char* name;
    Call call;
  } calls[] = {
      {"RefreshOptions", [&](PSWHANDLE x, bool) { return d_.PSWRefreshOptions(x); }},
      {"Boolean", [&](PSWHANDLE x, bool n) { return d_.PSWGetOptionValueBoolean(x, "Scanner", 0, n ? nullptr : &b); }},
      {"Integer", [&](PSWHANDLE x, bool n) { return d_.PSWGetOptionValueInteger(x, "FAXType", 0, n ? nullptr : &l); }},
      {"UInteger", [&](PSWHANDLE x, bool n) { return d_.PSWGetOptionValueUInteger(x, "FAXType", 0, n ? nullptr : &ul); }},
      {"String", [&](PSWHANDLE x, bool n) { return d_.PSWGetOptionValueString(x, "SysName", 0, n ? nullptr : text); }},
      {"NumberOfStorage", [&](PSWHANDLE x, bool n) { return d_.PSWGetNumberOfStorageInfo(x, n ? nullptr : &count); }},
      {"Storage", [&](PSWHANDLE x, bool n) { return d_.PSWGetStorageInfo(x, 0, n ? nullptr : &storage); }},
      {"NumberOfDevice", [&](PSWHANDLE x, bool n) { return d_.PSWGetNumberOfDeviceInfo(x, n ? nullptr : &count); }},
      {"Device", [&](PSWHANDLE x, bool n) { return d_.PSWGetDeviceInfo(x, 0, n ? nullptr : &device); }},
      {"Printer", [&](PSWHANDLE x, bool n) { return d_.PSWGetPrinterInfo(x, n ? nullptr : info); }},
      {"NumberOfInputTray", [&](PSWHANDLE x, bool n) { return d_.PSWGetNumberOfInputTrayInfo(x, n ? nullptr : &count); }},
      {"InputTray", [&](PSWHANDLE x, bool n) { return d_.PSWGetInputTrayInfo(x, 0, n ? nullptr : &tray); }},
      {"NumberOfInputTrayEx",
       [&](PSWHANDLE x, bool n) { return d_.PSWGetNumberOfInputTrayInfoEx(x, n ? nullptr : &count); }},
      {"InputTrayEx", [&](PSWHANDLE x, bool n) { return d_.PSWGetInputTrayInfoEx(x, 0, n ? nullptr : &tray_ex); }},
      {"NumberOfOutputTray",
       [&](PSWHANDLE x, bool n) { return d_.PSWGetNumberOfOutputTrayInfo(x, n ? nullptr : &count); }},
      {"OutputTray", [&](PSWHANDLE x, bool n) { return d_.PSWGetOutputTrayInfo(x, 0, n ? nullptr : &out_tray); }},
      {"NumberOfToner", [&](PSWHANDLE x, bool n) { return d_.PSWGetNumberOfTonerInfo(x, n ? nullptr : &count); }},
      {"Toner", [&](PSWHANDLE x, bool n) { return d_.PSWGetTonerInfo(x, 0, n ? nullptr : &toner); }},
      {"NumberOfAlert", [&](PSWHANDLE x, bool n) { return d_.PSWGetNumberOfAlertInfo(x, n ? nullptr : &count); }},
      {"Alert", [&](PSWHANDLE x, bool n) { return d_.PSWGetAlertInfo(x, 0, n ? nullptr : &alert); }},
      {"NumberOfJob", [&](PSWHANDLE x, bool n) { return d_.PSWGetNumberOfJobInfo(x, 0, n ? nullptr : &count); }},
      {"Job", [&](PSWHANDLE x, bool n) { return d_.PSWGetJobInfo(x, 0, n ? nullptr : &job); }},
      {"CancelJob", [&](PSWHANDLE x, bool n) { return d_.PSWCancelJob(x, n ? nullptr : kFirstJobId); }},
      {"CharSet", [&](PSWHANDLE x, bool n) { return d_.PSWGetCharSet(x, 0, n ? nullptr : &count); }},
  };
  for (const auto& c : calls) {
    EXPECT_EQ(c.call(nullptr, false), -2) << c.name;
    if (std::string(c.name) != "RefreshOptions") {
      EXPECT_EQ(c.call(h, true), -2) << c.name;
    }
    EXPECT_EQ(c.call(h, false), -8) << c.name;
  }
  EXPECT_EQ(d_.PSWGetOptionValueBoolean(h, nullptr, 0, &b), -2);
  EXPECT_EQ(d_.PSWGetNumberOfJobInfo(h, 3, &count), -2) << "the class is checked first";
  EXPECT_EQ(d_.PSWGetNumberOfJobInfo(h, -1, &count), -2);
  EXPECT_EQ(d_.PSWGetCharSet(h, 2, &count), -2);

  EXPECT_EQ(d_.PSWInitDevice(nullptr, kAgent, 1, 100, 0), -2);
  EXPECT_EQ(d_.PSWInitDevice(h, nullptr, 1, 100, 0), -2);
  for (int32_t transport : {0, 4, 6, -1}) EXPECT_EQ(d_.PSWInitDevice(h, kAgent, transport, 100, 0), -2) << transport;
  EXPECT_EQ(d_.PSWIsSupportedOID(h, ""), 0) << "an invalid transport creates nothing";
  // Protocol 3 has no port: the option object refuses it and stays; the
  // reader is never made.
  EXPECT_EQ(d_.PSWInitDevice(h, kAgent, 3, 100, 0), -2);
  EXPECT_EQ(d_.PSWIsSupportedOID(h, ""), 1);
  EXPECT_EQ(d_.PSWGetOptionValueBoolean(h, "Scanner", 0, &b), 0) << "answers from cleared data";
  EXPECT_EQ(b, 0);
  EXPECT_EQ(d_.PSWGetNumberOfStorageInfo(h, &count), -8);

  for (int32_t transport : {0, 3, 4, 6, -1}) EXPECT_EQ(d_.PSWTransportAvailable(transport), 0) << transport;
  EXPECT_EQ(d_.PSWTransportAvailable(1), 1) << "IPv4 is usable here";

  d_.PSWUnInit(h);
  d_.PSWUnInit(nullptr);
}

TEST_F(PswDevice, OptionsOfTheDemoDevice) {
  with_agent("", [&](SnmpAgent&, PSWHANDLE h) {
    ASSERT_EQ(d_.PSWInitDevice(h, kAgent, 1, 2000, 1), 0);
    // Before the refresh: the prefix tests already work (the sysObjectID
    // is read when the device is opened); the options are cleared.
    EXPECT_EQ(d_.PSWIsSupportedOID(h, ""), 1);
    EXPECT_EQ(d_.PSWIsSupportedOID(h, nullptr), 1);
    EXPECT_EQ(d_.PSWIsSupportedOID(h, "1.3.6.1.4.1.32473.2.1.11.93.1.37"), 1);
    EXPECT_EQ(d_.PSWIsSupportedOID(h, "1.3.6.1.4.1.32473.2.1.11.93.1.35"), 0);
    long memory = -1;
    EXPECT_EQ(d_.PSWGetOptionValueInteger(h, "MemorySizeInKByte", 0, &memory), 0);
    EXPECT_EQ(memory, 0);

    ASSERT_EQ(d_.PSWRefreshOptions(h), 0);
    const std::set<std::string> on = {"Scanner",          "Copier",        "FAXUnit",   "HardDisk",
                                      "DuplexModule",     "OffsetCatch",   "InTrayMSI", "InTrayExistHCF",
                                      "OutTrayOffsetCatch", "Finisher",    "FinisherStaple",
                                      "FinisherBooklet",  "FAXISDNG4Kit"};
    const char* booleans[] = {"Scanner", "Copier", "FAXUnit", "HardDisk", "DuplexModule", "OffsetCatch",
                              "InTrayMSI", "OutTraySide", "InTrayExistHCF", "InTrayExistHCF2", "InTrayExistTTM",
                              "InTrayExistHCFA3", "InTrayExistHCFPF35", "InTrayExistHCFPF31", "InTrayExistHCF21",
                              "OutTrayOffsetCatch", "OutTrayCenter2", "Finisher", "FinisherStaple",
                              "FinisherPunch", "FinisherPunchHole2", "FinisherPunchHole3", "FinisherPunchHole4",
                              "FinisherBooklet", "FinisherFolder", "FAXISDNG4Kit", "FAXLineSwitchKit"};
    for (const char* name : booleans) {
      PSWBOOL v = 7;
      ASSERT_EQ(d_.PSWGetOptionValueBoolean(h, name, 0, &v), 0) << name;
      EXPECT_EQ(v, on.count(name) ? 1 : 0) << name;
    }
    struct IntCase {
      const char* name;
      uint16_t index;
      long value;
    } integers[] = {
        {"MemorySizeInKByte", 0, 524288},
        {"MemorySizeInMByte", 0, 512},
        {"FAXMaxSpeedDial", 0, 200},
        {"FAXType", 0, 3},
        {"NumberOfInputTray", 0, 4},
        {"InputTrayIndex", 3, 4},
        {"InputTrayType", 3, 5},
        {"InputTrayMaxCapacityInSheets", 2, 1500},
        {"InputTrayCurrentLevelInPercent", 0, 50},
        {"InputTrayCurrentLevelInPercent", 1, -1},
        {"InputTrayMediaSize", 0, 25},
        {"InputTrayMediaSize", 1, 1},
        {"InputTrayMediaSize", 2, 24},
        {"InputTrayMediaDirection", 0, 3},
        {"InputTrayMediaDimFeedDirChosen", 0, 297000},
        {"InputTrayMediaDimXFeedDirChosen", 0, 210000},
        {"PrinterRomVersionMajor", 0, 2},
        {"PrinterRomVersionMinor", 0, 14},
        {"PrinterRomVersionRevision", 0, 3},
        {"PaperSizeGroupSetting", 0, 2},
        {"PaperSize8KSetting", 0, 1},
        {"FinisherBookletImpression", 0, 15},
        {"FinisherType", 0, 9},
        {"PrintLimitedColorSetting", 0, 0},
        {"UserPromptSetting", 0, 1},
        {"MinPasswordLength", 0, 6},
        {"FAXSIPStatus", 0, 5},
        {"UseEnvelopeAsPaperType", 0, 1},
        {"LongSizePrintDetection", 0, 0},
        {"MemorySizeInKByte", 65535, 524288},  // not indexed: the index is ignored
    };
    for (const auto& c : integers) {
      long v = -99;
      ASSERT_EQ(d_.PSWGetOptionValueInteger(h, c.name, c.index, &v), 0) << c.name << " " << c.index;
      EXPECT_EQ(v, c.value) << c.name << " " << c.index;
      unsigned long u = 0;
      EXPECT_EQ(d_.PSWGetOptionValueUInteger(h, c.name, c.index, &u), -5) << c.name;
    }
    struct TextCase {
      const char* name;
      uint16_t index;
      const char* value;
    } texts[] = {
        {"PrinterRomVersion", 0, "Printer Controller v2.14.3 - Processor"},
        {"SysName", 0, "corvane-m30-demo"},
        {"NetWareSAPUnitName", 0, "CORVANE_M30_DEMO"},
        {"InputTrayName", 3, "Bypass tray"},
        {"InputTrayDescription", 2, "High-capacity feeder (1500 sheets)"},
        {"InputTrayMediaType", 3, "cardstock"},
    };
    for (const auto& c : texts) {
      char buffer[256];
      std::memset(buffer, 'x', sizeof buffer);
      ASSERT_EQ(d_.PSWGetOptionValueString(h, c.name, c.index, buffer), 0) << c.name;
      EXPECT_STREQ(buffer, c.value);
    }
    // Indexed options past the last tray, unknown and null names.
    long v = 0;
    PSWBOOL b = 0;
    char buffer[256];
    unsigned long u = 0;
    EXPECT_EQ(d_.PSWGetOptionValueInteger(h, "InputTrayType", 4, &v), -11);
    EXPECT_EQ(d_.PSWGetOptionValueString(h, "InputTrayName", 4, buffer), -11);
    EXPECT_EQ(d_.PSWGetOptionValueInteger(h, "InputTrayType", 65535, &v), -11);
    EXPECT_EQ(d_.PSWGetOptionValueInteger(h, "fAXType", 0, &v), -5) << "names compare case-sensitively";
    EXPECT_EQ(d_.PSWGetOptionValueBoolean(h, "NoSuchOption", 0, &b), -5);
    EXPECT_EQ(d_.PSWGetOptionValueString(h, "Scanner", 0, buffer), -5) << "a boolean is not a text";
    EXPECT_EQ(d_.PSWGetOptionValueUInteger(h, nullptr, 0, &u), -2);
  });
}

TEST_F(PswDevice, RecordsOfEveryTableAndACancelledJob) {
  with_agent("", [&](SnmpAgent& agent, PSWHANDLE h) {
    ASSERT_EQ(d_.PSWInitDevice(h, kAgent, 1, 2000, 1), 0);
    int32_t n = -1;

    ASSERT_EQ(d_.PSWGetNumberOfStorageInfo(h, &n), 0);
    EXPECT_EQ(n, 3);
    PSWStorageInfo storage;
    ASSERT_EQ(d_.PSWGetStorageInfo(h, 1, &storage), 0);
    EXPECT_EQ(storage.type, 4);
    EXPECT_EQ(storage.size, 39062500);
    EXPECT_STREQ(storage.description, "Hard disk");

    ASSERT_EQ(d_.PSWGetNumberOfDeviceInfo(h, &n), 0);
    EXPECT_EQ(n, 12);
    PSWDeviceInfo device;
    ASSERT_EQ(d_.PSWGetDeviceInfo(h, 3, &device), 0);
    EXPECT_EQ(device.type, 102);
    EXPECT_EQ(device.status, 2);
    EXPECT_STREQ(device.description, "Colour scanner");

    int32_t info[2] = {-1, -1};
    ASSERT_EQ(d_.PSWGetPrinterInfo(h, info), 0);
    EXPECT_EQ(info[0], 3);
    EXPECT_EQ(info[1], 128);

    ASSERT_EQ(d_.PSWGetNumberOfInputTrayInfo(h, &n), 0);
    EXPECT_EQ(n, 4);
    PSWInputTrayInfo tray;
    ASSERT_EQ(d_.PSWGetInputTrayInfo(h, 3, &tray), 0);
    EXPECT_EQ(tray.type, 5);
    EXPECT_EQ(tray.max_capacity, 100);
    EXPECT_STREQ(tray.name, "Bypass tray");
    EXPECT_STREQ(tray.media_name, "ISO A5");
    EXPECT_STREQ(tray.media_color, "blue");

    ASSERT_EQ(d_.PSWGetNumberOfInputTrayInfoEx(h, &n), 0);
    EXPECT_EQ(n, 4);
    const int32_t private_types[] = {1, 1, 2, 3};
    for (int32_t i = 0; i < 4; ++i) {
      PSWInputTrayInfoEx ex;
      ASSERT_EQ(d_.PSWGetInputTrayInfoEx(h, i, &ex), 0);
      EXPECT_EQ(ex.private_type, private_types[i]) << i;
    }

    ASSERT_EQ(d_.PSWGetNumberOfOutputTrayInfo(h, &n), 0);
    EXPECT_EQ(n, 2);
    PSWOutputTrayInfo out_tray;
    ASSERT_EQ(d_.PSWGetOutputTrayInfo(h, 1, &out_tray), 0);
    EXPECT_STREQ(out_tray.name, "Finisher tray");

    ASSERT_EQ(d_.PSWGetNumberOfTonerInfo(h, &n), 0);
    EXPECT_EQ(n, 4) << "the waste toner box is not a toner";
    PSWTonerInfo toner;
    ASSERT_EQ(d_.PSWGetTonerInfo(h, 3, &toner), 0);
    EXPECT_EQ(toner.level, 95);
    EXPECT_STREQ(toner.description, "Black toner");

    ASSERT_EQ(d_.PSWGetNumberOfAlertInfo(h, &n), 0);
    EXPECT_EQ(n, 1);
    PSWAlertInfo alert;
    ASSERT_EQ(d_.PSWGetAlertInfo(h, 0, &alert), 0);
    EXPECT_EQ(alert.code, 808);
    EXPECT_STREQ(alert.description, "Tray 2 is low on paper");

    int32_t charset = 0;
    ASSERT_EQ(d_.PSWGetCharSet(h, 0, &charset), 0);
    EXPECT_EQ(charset, 106);
    ASSERT_EQ(d_.PSWGetNumberOfJobInfo(h, 2, &n), 0);
    EXPECT_EQ(n, 0) << "the job is not of the class marked 17";
    ASSERT_EQ(d_.PSWGetNumberOfJobInfo(h, 0, &n), 0);
    EXPECT_EQ(n, 1);
    PSWJobInfo job;
    ASSERT_EQ(d_.PSWGetJobInfo(h, 0, &job), 0);
    EXPECT_EQ(job.state, 5);
    EXPECT_STREQ(job.text_j6_5, "alice");
    EXPECT_STREQ(job.text_j6_6, "Quarterly report.pdf");
    EXPECT_STREQ(job.job_id, kFirstJobId);
    EXPECT_EQ(job.time_j10_10.year, 2026);
    EXPECT_EQ(job.time_j10_10.seconds, 30);

    // Every row function past the last row and at -1.
    using Row = std::function<int32_t(int32_t)>;
    struct RowCase {
      const char* name;
      int32_t count;
      Row row;
    } rows[] = {
        {"Storage", 3, [&](int32_t i) { return d_.PSWGetStorageInfo(h, i, &storage); }},
        {"Device", 12, [&](int32_t i) { return d_.PSWGetDeviceInfo(h, i, &device); }},
        {"InputTray", 4, [&](int32_t i) { return d_.PSWGetInputTrayInfo(h, i, &tray); }},
        {"InputTrayEx", 4,
         [&](int32_t i) {
           PSWInputTrayInfoEx ex;
           return d_.PSWGetInputTrayInfoEx(h, i, &ex);
         }},
        {"OutputTray", 2, [&](int32_t i) { return d_.PSWGetOutputTrayInfo(h, i, &out_tray); }},
        {"Toner", 4, [&](int32_t i) { return d_.PSWGetTonerInfo(h, i, &toner); }},
        {"Alert", 1, [&](int32_t i) { return d_.PSWGetAlertInfo(h, i, &alert); }},
        {"Job", 1, [&](int32_t i) { return d_.PSWGetJobInfo(h, i, &job); }},
    };
    for (const auto& r : rows) {
      EXPECT_EQ(r.row(r.count - 1), 0) << r.name;
      EXPECT_EQ(r.row(r.count), -11) << r.name;
      EXPECT_EQ(r.row(-1), -11) << r.name;
    }

    EXPECT_EQ(d_.PSWCancelJob(h, nullptr), -2);
    ASSERT_EQ(d_.PSWCancelJob(h, job.job_id), 0);
    const auto sets = agent.sets();
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(morva::test::wire::oid_text(sets[0].oid), "1.3.6.1.4.1.32473.1.8.76.3.2.1.1.101.8.74.66.48.48.48.48.48.49");
    EXPECT_EQ(sets[0].value, "1414");
  });
}

// Communities, failed opening and a device that is not supported.
TEST_F(PswDevice, CommunitiesAndDevicesThatCannotBeOpened) {
  const std::string unsupported = "1.3.6.1.2.1.1.2.0 objectid 1.3.6.1.4.1.32473.2.1.11.93.1.37.24.211\n";
  with_agent(unsupported, [&](SnmpAgent&, PSWHANDLE h) {
    EXPECT_EQ(d_.PSWInitDevice(h, kAgent, 1, 2000, 1), -2) << "not one of the supported models";
    int32_t n = 0;
    EXPECT_EQ(d_.PSWGetNumberOfStorageInfo(h, &n), -8) << "no reader after a refused device";
    EXPECT_EQ(d_.PSWIsSupportedOID(h, ""), 1) << "the option object stays";
    EXPECT_EQ(d_.PSWInitDevice(h, "::1", 1, 2000, 1), -2) << "an IPv6 address on the IPv4 transport";
  });
  with_agent("", [&](SnmpAgent& agent, PSWHANDLE h) {
    ASSERT_EQ(d_.PSWCommandString(h, "CmdSetCommunityGetOption", morva::test::kWrongCommunity), 0);
    EXPECT_EQ(d_.PSWInitDevice(h, kAgent, 1, 200, 0), -203);
    EXPECT_EQ(d_.PSWRefreshOptions(h), -203) << "the option object stays after a failed Init";
    int32_t n = 0;
    EXPECT_EQ(d_.PSWGetNumberOfAlertInfo(h, &n), -8);

    // The right community opens it; a wrong write community refuses the
    // cancel, the right one (also the default) carries it.
    ASSERT_EQ(d_.PSWCommandString(h, "CmdSetCommunityGetOption", "public"), 0);
    ASSERT_EQ(d_.PSWCommandString(h, "CmdSetCommunityWrite", "public"), 0);
    ASSERT_EQ(d_.PSWInitDevice(h, kAgent, 1, 2000, 0), 0);
    ASSERT_EQ(d_.PSWGetNumberOfJobInfo(h, 1, &n), 0);
    ASSERT_EQ(n, 1);
    EXPECT_NE(d_.PSWCancelJob(h, kFirstJobId), 0);
    EXPECT_TRUE(agent.sets().empty());
    ASSERT_EQ(d_.PSWCommandString(h, "CmdSetCommunityWrite", "private"), 0);
    EXPECT_NE(d_.PSWCancelJob(h, kFirstJobId), 0) << "communities apply when the device is opened";
    ASSERT_EQ(d_.PSWInitDevice(h, kAgent, 1, 2000, 1), 0);
    EXPECT_EQ(d_.PSWCancelJob(h, kFirstJobId), 0);
    EXPECT_EQ(agent.sets().size(), 1u);
  });
}

// A community of the full 255 characters reaches the agent whole.
TEST_F(PswDevice, LongestCommunityIsKeptWhole) {
  std::string community;
  for (int i = 0; i < 255; ++i) community += static_cast<char>('a' + i % 26);
  with_agent(
      "",
      [&](SnmpAgent&, PSWHANDLE h) {
        EXPECT_EQ(d_.PSWInitDevice(h, kAgent, 1, 300, 0), -203) << "the default community is refused";
        ASSERT_EQ(d_.PSWCommandString(h, "CmdSetCommunityGetOption", community.c_str()), 0);
        ASSERT_EQ(d_.PSWCommandString(h, "CmdSetCommunityFind", community.c_str()), 0);
        EXPECT_EQ(d_.PSWInitDevice(h, kAgent, 1, 2000, 1), 0);
        int32_t n = 0;
        EXPECT_EQ(d_.PSWGetNumberOfTonerInfo(h, &n), 0);
        EXPECT_EQ(n, 4);
        EXPECT_EQ(d_.PSWFindDeviceSNMP(h, kAgent, 1, 1000, 0, &n), 0);
        EXPECT_EQ(n, 1);
      },
      community);
}

// Discovery of the agent by its own address, with filters and the cursor.
TEST_F(PswDevice, DiscoveryFiltersAndCursor) {
  with_agent("", [&](SnmpAgent&, PSWHANDLE h) {
    int32_t n = -1;
    ASSERT_EQ(d_.PSWFindDeviceSNMP(h, kAgent, 1, 500, 0, &n), 0);
    ASSERT_EQ(n, 1);
    char a[64], m[64], r[64] = "x", s[64];
    for (int round = 0; round < 2; ++round) {
      ASSERT_EQ(d_.PSWGetDeviceNext(h, a, m, r, s), 1) << round;
      EXPECT_STREQ(a, kAgent);
      EXPECT_STREQ(m, "Corvane M30");
      EXPECT_STREQ(r, "");
      EXPECT_STREQ(s, "1.3.6.1.4.1.32473.2.1.11.93.1.37.24.8");
      EXPECT_EQ(d_.PSWGetDeviceNext(h, a, m, r, s), 0);
      EXPECT_EQ(d_.PSWGetDeviceNext(h, a, m, r, s), 0) << "stays at the end";
      d_.PSWFindResetPosition(h);
    }
    ASSERT_EQ(d_.PSWFindAddFilter(h, "1.3.6.1.4.1.32473.2.1.11.93.1.35"), 0);
    ASSERT_EQ(d_.PSWFindDeviceSNMP(h, kAgent, 1, 500, 0, &n), 0);
    EXPECT_EQ(n, 0) << "filtered out";
    EXPECT_EQ(d_.PSWGetDeviceNext(h, a, m, r, s), 0);
    ASSERT_EQ(d_.PSWFindAddFilter(h, "1.3.6.1.4.1.32473.2.1.11.93.1.37"), 0);
    ASSERT_EQ(d_.PSWFindDeviceSNMP(h, kAgent, 1, 500, 0, &n), 0);
    EXPECT_EQ(n, 1) << "any filter may match";
    d_.PSWFindClearFilter(h);
    // A find community the agent ignores finds nothing; set back to empty,
    // the default community is used again.
    ASSERT_EQ(d_.PSWCommandString(h, "CmdSetCommunityFind", morva::test::kWrongCommunity), 0);
    ASSERT_EQ(d_.PSWFindDeviceSNMP(h, kAgent, 1, 300, 0, &n), 0);
    EXPECT_EQ(n, 0);
    ASSERT_EQ(d_.PSWCommandString(h, "CmdSetCommunityFind", ""), 0);
    ASSERT_EQ(d_.PSWFindDeviceSNMP(h, kAgent, 1, 500, 0, &n), 0);
    EXPECT_EQ(n, 1);
  });
}

// Two handles on two threads at once, each with its own device reads.
TEST_F(PswDevice, SecondThreadWithItsOwnHandle) {
  with_agent("", [&](SnmpAgent&, PSWHANDLE first) {
    auto work = [&](PSWHANDLE h, std::vector<int32_t>* seen) {
      for (int round = 0; round < 3; ++round) {
        if (d_.PSWInitDevice(h, kAgent, 1, 2000, 2) != 0 || d_.PSWRefreshOptions(h) != 0) {
          seen->push_back(-1);
          continue;
        }
        long trays = 0;
        int32_t toners = 0, alerts = 0;
        d_.PSWGetOptionValueInteger(h, "NumberOfInputTray", 0, &trays);
        d_.PSWGetNumberOfTonerInfo(h, &toners);
        d_.PSWGetNumberOfAlertInfo(h, &alerts);
        seen->push_back(static_cast<int32_t>(trays) * 100 + toners * 10 + alerts);
      }
    };
    PSWHANDLE second = nullptr;
    ASSERT_EQ(d_.PSWInit(&second), 0);
    std::vector<int32_t> a, b;
    std::thread other(work, second, &b);
    work(first, &a);
    other.join();
    d_.PSWUnInit(second);
    EXPECT_EQ(a, (std::vector<int32_t>{441, 441, 441}));
    EXPECT_EQ(b, (std::vector<int32_t>{441, 441, 441}));
  });
}

// Without an address, discovery broadcasts: 255.255.255.255 on the IPv4
// transport, the all-nodes group ff02::1 on the IPv6 one. One agent on the
// namespace's LAN answers each.
TEST_F(PswDevice, DiscoveryWithoutAddressBroadcasts) {
  morva::test::run_in_netns([&](NetNamespace& ns) {
    ns.add_lan("10.77.0.1/24", "fd77::1/64");
    SnmpAgentOptions o;
    o.lan_address = "10.77.0.2/24";
    o.lan_address6 = "fd77::2/64";
    SnmpAgent agent(o);
    PSWHANDLE h = nullptr;
    ASSERT_EQ(d_.PSWInit(&h), 0);
    struct Case {
      int32_t transport;
      char address_mark;
    } cases[] = {{1, '.'}, {5, ':'}};
    for (const auto& c : cases) {
      int32_t n = 0;
      // The segment may still be settling (IPv6 addresses): ask again.
      for (int attempt = 0; attempt < 6 && n < 1; ++attempt)
        ASSERT_EQ(d_.PSWFindDeviceSNMP(h, nullptr, c.transport, 1500, 0, &n), 0) << c.transport;
      ASSERT_EQ(n, 1) << c.transport;
      char a[64], m[64], r[64], s[64];
      ASSERT_EQ(d_.PSWGetDeviceNext(h, a, m, r, s), 1);
      EXPECT_STREQ(m, "Corvane M30");
      EXPECT_NE(std::string(a).find(c.address_mark), std::string::npos) << a;
    }
    d_.PSWUnInit(h);
  });
}
