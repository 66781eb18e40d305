// The PJL job header: entries, filter, conditions, value formats and
// encodings, the job-attribute block with the stand-in QJCL library, the
// printing-instruction block with the stand-in maker, and the trailer.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "../settings/ddd_fixture.h"
#include "ddm/ddmid.h"
#include "pi/pjl_header.h"
#include "fax/fax_blob.h"
#include "fax/fax_destination.h"
#include "pi/pjl_settings.h"
#include "settings/items/default_settings.h"
#include "settings/common/driver_locks.h"
#include "settings/items/item_access.h"
#include "settings/common/module_state.h"
#include "win/clock.h"
#include "win/machine_settings.h"
#include "win/win.h"
#include "test_printer.h"

namespace {

using morva::test::json;
using namespace morva::ddm;

const HANDLE kPrinter = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x5150));
constexpr DWORD kFull = kPjlCapFullForm;

json typed(int type, json value) { return {{"type", type}, {"value", value}}; }
json cond(int ddmid, int op, json value, int connector) {
  return {{"ddmid", ddmid}, {"op", op}, {"value", value}, {"connector", connector}};
}
json entry(int ddmid, const char* command, json text = nullptr, json conditions = json::array(), int flags = 0) {
  return {{"kind", 15}, {"ddmid", ddmid}, {"command", command}, {"text", text}, {"conditions", conditions},
          {"flags", flags}};
}
json marker() { return entry(0, "%JOBATTR", nullptr); }

// Windows form of the folder this test runs from (the build's bin folder,
// where the stand-in libraries lie).
std::u16string bin_directory() {
  char path[4096] = {};
  const ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
  std::string dir = n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
  dir = dir.substr(0, dir.rfind('/') + 1);
  std::u16string out = u"Z:";
  for (char ch : dir) out += ch == '/' ? u'\\' : static_cast<char16_t>(ch);
  return out;
}

class PjlHeaderTest : public morva::test::DddTest {
 protected:
  std::vector<BYTE> dm = std::vector<BYTE>(kPrivateDevmodeSize);
  std::vector<BYTE> pd = std::vector<BYTE>(kPrinterDataSize);
  JobHeaderRequest request{};
  std::string sp;  // printing instructions of the job

  void SetUp() override {
    InitDriverLock(kTimeLockId);
    request.settings = dm.data();
    request.printer_data = pd.data();
    request.printer = kPrinter;
    request.jobattr_switch = 1;
    unsetenv("MV_QJCL_REFUSE");
    unsetenv("MV_QPIF_MODE");
  }
  void TearDown() override {
    morva::settings::set_module_directory_for_test(nullptr);
    morva::platform::clear_test_clock();
    DddTest::TearDown();
  }
  static constexpr UINT kTimeLockId = 4;

  // A database with `records`, capability word `caps` and the two outside
  // libraries named.
  void make(json records, DWORD caps, json fields = json::object()) {
    json f = {{"2", 2000}, {"26", caps}, {"20", "mvqjcl.dll"}};
    json strings = json::array();
    for (int i = 0; i < 16; ++i) strings.push_back("s");
    strings.push_back("mvqpif.dll");
    f["36"] = strings;
    for (auto it = fields.begin(); it != fields.end(); ++it) f[it.key()] = it.value();
    if (handle) DddClose(handle);
    handle = nullptr;
    open(morva::test::one_file(records, 0x2000, f));
    morva::settings::set_module_directory_for_test(bin_directory().c_str());
  }

  void set(WORD ddmid, DWORD value) {
    const DdmidDescriptor* d = dma_Descriptor(ddmid);
    ASSERT_NE(d, nullptr) << ddmid;
    ASSERT_EQ(SetItemValueRaw(ddmid, dm.data(), pd.data(), d->type, dma_TypeSize(d->type), &value), kDdmOk) << ddmid;
  }
  void set_text(WORD ddmid, const char16_t* text) {
    const DWORD size = static_cast<DWORD>((std::char_traits<char16_t>::length(text) + 1) * 2);
    ASSERT_EQ(SetItemValueRaw(ddmid, dm.data(), pd.data(), kTypeString, size, &text), kDdmOk) << ddmid;
  }

  // Builds into a buffer of the bound's size (or `capacity`); the text, or
  // "#<code>" for a failure. The bytes past the capacity are checked.
  std::string build(DWORD capacity = 0) {
    const INT bound = GetPjlHeaderSize(kPrinter, dm.data(), pd.data(), handle,
                                       sp.empty() ? nullptr : reinterpret_cast<const BYTE*>(sp.data()),
                                       static_cast<DWORD>(sp.size()));
    if (bound < 0) return "#size" + std::to_string(bound);
    if (!capacity) capacity = static_cast<DWORD>(bound);
    std::vector<BYTE> buffer(capacity + 16, 0xEE);
    PjlOutput out{buffer.data(), capacity, 0};
    const INT r = BuildPjlJobHeader(handle, &request,
                                    sp.empty() ? nullptr : reinterpret_cast<const BYTE*>(sp.data()),
                                    static_cast<DWORD>(sp.size()), &out);
    for (DWORD i = capacity; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], 0xEE) << "written past the buffer at " << i;
    if (r < 0) return "#" + std::to_string(r);
    EXPECT_EQ(static_cast<DWORD>(r), out.used);
    EXPECT_LE(static_cast<DWORD>(r), static_cast<DWORD>(bound));
    EXPECT_EQ(buffer[r], 0);
    return std::string(reinterpret_cast<const char*>(buffer.data()), static_cast<size_t>(r));
  }
};

const std::string kUel = "\x1B%-12345X";

TEST_F(PjlHeaderTest, EntriesInDatabaseOrderWithGenericFormats) {
  make(json::array({entry(0, "@PJL SET RESOLUTION=", "600"), entry(18, "@PJL SET QTY="),
                    entry(16, "@PJL SET DUPLEX="), entry(5203, "@PJL SET OWNER="), entry(1831, "@PJL JOB NAME="),
                    entry(336, "@PJL SET OPT="), entry(8205, "@PJL SET PDL="), entry(0, "@PJL ENTER LANGUAGE=", "VQ")}),
       0);
  set(18, static_cast<DWORD>(-3));
  set(16, 2);
  set(5203, 1);
  set(8205, 0x01020018);
  set_text(1831, u"Report Ünïcode");
  set(335, 0);
  EXPECT_EQ(build(), kUel +
                         "@PJL SET RESOLUTION=600\n@PJL SET QTY=-3\n@PJL SET DUPLEX=2\n@PJL SET OWNER=ON\n"
                         "@PJL JOB NAME=Report \xC3\x9Cn\xC3\xAF" "code\n@PJL SET OPT=0\n@PJL SET PDL=16908312\n"
                         "@PJL ENTER LANGUAGE=VQ\n");
}

TEST_F(PjlHeaderTest, DatabaseWithoutEntriesGivesTheUelOnly) {
  make(json::array(), kFull);
  EXPECT_EQ(build(), kUel);
}

TEST_F(PjlHeaderTest, BoolValuesAreOnOrOff) {
  make(json::array({entry(5203, "A=")}), 0);
  for (DWORD v : {0u, 1u, 2u}) {
    set(5203, v);
    EXPECT_EQ(build(), kUel + (v == 1 ? "A=ON\n" : "A=OFF\n")) << v;
  }
}

TEST_F(PjlHeaderTest, FullFormQuotesStringsButNotSetting435) {
  make(json::array({entry(1831, "@PJL SET JOBNAME="), entry(435, "@PJL SET CODE="),
                    entry(18, "@PJL SET JOBATTR=", "@QTY="), entry(1831, "@PJL SET JOBATTR=", "@JONM=")}),
       kFull);
  set(335, 0);
  set_text(1831, u"Quarterly");
  set_text(435, u"0120");
  set(18, 3);
  EXPECT_EQ(build(), kUel +
                         "@PJL SET JOBNAME=\"Quarterly\"\n@PJL SET CODE=120\n@PJL SET JOBATTR=\"@QTY=3\"\n"
                         "@PJL SET JOBATTR=\"@JONM=Quarterly\"\n");
  // The simple form writes values bare and ignores the value text.
  make(json::array({entry(1831, "@PJL SET JOBNAME="), entry(18, "@PJL SET JOBATTR=", "@QTY=")}), 0);
  EXPECT_EQ(build(), kUel + "@PJL SET JOBNAME=Quarterly\n@PJL SET JOBATTR=3\n");
}

TEST_F(PjlHeaderTest, EntryErrorsEndTheHeader) {
  struct Case {
    json record;
    DWORD caps;
    INT code;
  };
  const Case cases[] = {
      {entry(0, "@PJL COMMENT", nullptr), 0, kPjlNoValue},
      {{{"kind", 15}, {"ddmid", 18}, {"command", nullptr}, {"text", nullptr}, {"conditions", json::array()}}, 0,
       kPjlNoCommand},
      {entry(9999, "X="), 0, kPjlSettingUndefined},  // no such setting
      {entry(8194, "X="), 0, kPjlSettingUnreadable},
      {entry(1831, "X="), 0, kPjlOutOfRange},            // setting 335 = 7
  };
  set(335, 7);
  for (const Case& c : cases) {
    make(json::array({entry(0, "@PJL A", "B"), c.record}), c.caps);
    EXPECT_EQ(build(), "#" + std::to_string(c.code)) << c.record.dump();
  }
  // In the full form an entry whose value cannot be written is left out.
  make(json::array({entry(1831, "X=", "@V="), entry(0, "@PJL A", "B")}), kFull);
  EXPECT_EQ(build(), kUel + "@PJL AB\n");
}

TEST_F(PjlHeaderTest, FilterWritesOnlyMarkedEntriesAndTheirRepeatsStayOut) {
  const json records = json::array({
      entry(0, "@PJL SET A=", "1", json::array(), 1),
      entry(0, "@PJL SET B=", "2", json::array(), 0),
      entry(0, "@PJL SET B=", "3", json::array(), 1),  // same command as the one suppressed
      entry(0, "@PJL SET JOBATTR=", "\"@JOX=1", json::array(), 0),
      entry(0, "@PJL SET JOBATTR=", "@JOX=2", json::array(), 1),  // same attribute key
      entry(0, "@PJL SET JOBATTR=", "@JOY=3", json::array(), 1),
      entry(0, "@PJL SET JOBATTR=", "NOKEY", json::array(), 1),
  });
  make(records, kFull);
  EXPECT_EQ(build(), kUel +
                         "@PJL SET A=1\n@PJL SET B=2\n@PJL SET B=3\n@PJL SET JOBATTR=\"@JOX=1\n"
                         "@PJL SET JOBATTR=@JOX=2\n@PJL SET JOBATTR=@JOY=3\n@PJL SET JOBATTR=NOKEY\n");
  set(336, 1);
  EXPECT_EQ(build(), kUel + "@PJL SET A=1\n@PJL SET JOBATTR=@JOY=3\n@PJL SET JOBATTR=NOKEY\n");
  // A database older than the entry flags has nothing marked.
  if (handle) DddClose(handle);
  handle = nullptr;
  open(morva::test::one_file(records, 0x400, json{{"2", 2000}, {"26", kFull}}));
  EXPECT_EQ(build(), kUel + "@PJL SET JOBATTR=NOKEY\n");
}

TEST_F(PjlHeaderTest, ConditionGroups) {
  // A: setting 16 = 2, B: setting 7 = 1 (WORD values of short settings).
  auto a = [](int connector) { return cond(16, 1, typed(2, 2), connector); };
  auto b = [](int connector) { return cond(7, 1, typed(2, 1), connector); };
  struct Case {
    json conditions;
    std::vector<bool> writes;  // for (A, B) = ff, ft, tf, tt
  };
  const Case cases[] = {
      {json::array({a(1), b(4)}), {false, false, false, true}},
      {json::array({a(2), b(3)}), {false, true, true, true}},
      {json::array({a(4)}), {false, false, true, true}},
      {json::array({a(6)}), {true, true, false, false}},
      {json::array({a(5), b(4)}), {false, true, false, false}},
      {json::array({a(5), b(3), a(4)}), {false, true, true, true}},
  };
  for (const Case& c : cases) {
    make(json::array({entry(0, "@PJL", " X", c.conditions)}), 0);
    for (int i = 0; i < 4; ++i) {
      set(16, (i & 2) ? 2 : 1);
      set(7, (i & 1) ? 1 : 2);
      EXPECT_EQ(build(), kUel + (c.writes[i] ? "@PJL X\n" : "")) << c.conditions.dump() << " case " << i;
    }
  }
}

TEST_F(PjlHeaderTest, ConditionOperatorsAndTypes) {
  set(16, 5);     // short
  set(296, 300);  // WORD
  set(5203, 1);   // BOOL
  set_text(1831, u"abc");
  struct Case {
    json condition;
    std::string result;  // "1", "0" or the failure
  };
  const Case cases[] = {
      {cond(16, 3, typed(2, 6), 4), "1"},   // 6 > 5
      {cond(16, 3, typed(2, 5), 4), "0"},
      {cond(16, 4, typed(2, 5), 4), "1"},   // 5 >= 5
      {cond(16, 5, typed(2, -1), 4), "1"},  // -1 < 5
      {cond(16, 5, typed(2, 5), 4), "0"},
      {cond(16, 6, typed(2, 5), 4), "1"},
      {cond(16, 2, typed(2, 5), 4), "0"},
      {cond(16, 12, typed(2, 5), 4), "1"},
      {cond(296, 5, typed(3, 200), 4), "1"},  // 200 < 300 unsigned
      {cond(16, 2, {{"type", 2}, {"hex", ""}}, 4), "0"},  // no value list
      {cond(16, 0, typed(2, 5), 4), "#-160"},
      {cond(16, 13, typed(2, 5), 4), "#-160"},
      {cond(16, 1, typed(3, 5), 4), "#-420"},
      {cond(5203, 1, typed(1, 1), 4), "1"},
      {cond(5203, 3, typed(1, 1), 4), "#-175"},
      {cond(1831, 1, typed(6, "abc"), 4), "1"},
      {cond(1831, 2, typed(6, "abc"), 4), "0"},
      {cond(1831, 4, typed(6, "abc"), 4), "#-175"},
      {cond(9999, 1, typed(3, 1), 4), "#-410"},
      {cond(16, 1, typed(2, 5), 9), "#-450"},
  };
  for (const Case& c : cases) {
    make(json::array({entry(0, "@PJL", " X", json::array({c.condition}))}), 0);
    const std::string expected = c.result == "1" ? kUel + "@PJL X\n" : c.result == "0" ? kUel : c.result;
    EXPECT_EQ(build(), expected) << c.condition.dump();
  }
}

TEST_F(PjlHeaderTest, ConditionOnATableOfValues) {
  const json table = {{"kind", 20}, {"id", 1}, {"type", 2}, {"element_size", 2}, {"elements", {1, 3, 5}}};
  make(json::array({table, entry(0, "@PJL", " IN", json::array({cond(16, 1, {{"type", 128}, {"table", 1}}, 4)})),
                    entry(0, "@PJL", " OUT", json::array({cond(16, 2, {{"type", 128}, {"table", 1}}, 4)}))}),
       0);
  set(16, 3);
  EXPECT_EQ(build(), kUel + "@PJL IN\n");
  set(16, 4);
  EXPECT_EQ(build(), kUel + "@PJL OUT\n");
}

TEST_F(PjlHeaderTest, BufferTooSmallNeverWritesPastIt) {
  make(json::array({entry(0, "@PJL SET A=", "1"), entry(18, "@PJL SET QTY=")}), 0);
  set(18, 12);
  const std::string whole = build();
  ASSERT_EQ(whole, kUel + "@PJL SET A=1\n@PJL SET QTY=12\n");
  for (DWORD capacity = 1; capacity <= whole.size(); ++capacity)
    EXPECT_EQ(build(capacity), "#" + std::to_string(kPjlNoRoom)) << capacity;
  EXPECT_EQ(build(static_cast<DWORD>(whole.size() + 1)), whole);
}

TEST_F(PjlHeaderTest, SizeBoundNeedsTheDatabaseBound) {
  make(json::array(), 0, json{{"2", 0}});
  EXPECT_EQ(GetPjlHeaderSize(kPrinter, dm.data(), pd.data(), handle, nullptr, 0), kPjlNoSizeRecords);
  make(json::array(), kFull | kPjlCapBktp | kPjlCapNup | kPjlCapHostAddress | kPjlCapHostName, json{{"2", 100}});
  EXPECT_EQ(GetPjlHeaderSize(kPrinter, dm.data(), pd.data(), handle, nullptr, 0),
            100 + 9 + 20 + 84 + 41 + 37 + 67 + 130 + 130 + 178 + 5);
  // A fax device adds its destination lines, and needs their bounds.
  make(json::array(), 0, json{{"2", 100}, {"23", 1}});
  EXPECT_EQ(GetPjlHeaderSize(kPrinter, dm.data(), pd.data(), handle, nullptr, 0), kPjlNoSizeRecords);
  make(json::array(), 0, json{{"2", 100}, {"23", 1}, {"24", 10}, {"25", 200}});
  EXPECT_EQ(GetPjlHeaderSize(kPrinter, dm.data(), pd.data(), handle, nullptr, 0),
            100 + 9 + 84 + 111 + 178 + 2000 + 21 + 5);
}

TEST_F(PjlHeaderTest, Trailers) {
  std::vector<BYTE> buffer(64);
  for (DWORD caps : {kFull, 0u}) {
    make(json::array(), caps);
    const std::string eoj = caps ? "@PJL EOJ" : "@EOJO";
    PjlOutput out{buffer.data(), 64, 0};
    ASSERT_EQ(WritePjlTrailer(handle, &out), static_cast<INT>(10 + eoj.size()));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.data()), out.used), kUel + eoj + "\n");
    EXPECT_LE(static_cast<INT>(out.used), GetPjlTrailerSize(handle));
    PjlOutput parts{buffer.data(), 64, 0};
    EXPECT_EQ(WriteTrailerUel(&parts), 9);
    EXPECT_EQ(WriteEojLine(handle, &parts), static_cast<INT>(eoj.size() + 1));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer.data()), parts.used), kUel + eoj + "\n");
    PjlOutput tiny{buffer.data(), 9, 0};
    EXPECT_EQ(WritePjlTrailer(handle, &tiny), kPjlNoRoom);
  }
}

// ---------------------------------------------------------------- encodings

TEST_F(PjlHeaderTest, PaperNamesAndFeedEdges) {
  make(json::array({entry(410, "P="), entry(411, "Q="), entry(412, "E="), entry(438, "F=")}), 0);
  struct Case {
    WORD paper;
    const char* name;
  };
  for (const Case& c : {Case{8, "A3"}, Case{1, "INCH85_11"}, Case{258, "16KAI"}, Case{43, "HAGAKI"}}) {
    set(410, c.paper);
    set(411, 9);
    set(438, 2);
    EXPECT_EQ(build(), kUel + "P=" + c.name + "\nQ=A4\nE=SEF\nF=SEF\n");
  }
  // Setting 412 decides the edge only when a source pair points at it.
  set(438, 1);
  set(412, 2);
  EXPECT_EQ(build(), kUel + "P=HAGAKI\nQ=A4\nE=LEF\nF=LEF\n");
  set(405, 1);
  set(408, 4);
  EXPECT_EQ(build(), kUel + "P=HAGAKI\nQ=A4\nE=SEF\nF=LEF\n");
  set(410, 4);  // not in the table
  EXPECT_EQ(build(), "#" + std::to_string(kPjlMissing));
}

TEST_F(PjlHeaderTest, PageListIsSortedWithoutRepeats) {
  make(json::array({entry(1834, "@PJL SET INSERT=")}), 0);
  EXPECT_EQ(build(), kUel);  // nothing in the list
  set(1834, 5);
  set(1835, 3);
  set(1836, 5);
  set(1837, 1);
  set(1838, 12000);
  set(1853, 9998);
  EXPECT_EQ(build(), kUel + "@PJL SET INSERT=3:5:9998\n");
}

TEST_F(PjlHeaderTest, StoredTextIsConsumedOnce) {
  make(json::array({entry(329, "@PJL COMMENT ")}), 0);
  set_text(329, u"hello");
  set(1321, 1);
  EXPECT_EQ(build(), kUel);
  set(1321, 0);
  EXPECT_EQ(build(), kUel + "@PJL COMMENT hello\n");
  EXPECT_EQ(build(), kUel);
}

TEST_F(PjlHeaderTest, JobMonitorIdAndCopies) {
  make(json::array({entry(1321, "@PJL SET JMID="), entry(12, "@PJL SET COPIES=")}), 0);
  set(12, 4);
  std::strcpy(request.job_monitor_id, "JM-0042");
  EXPECT_EQ(build(), kUel + "@PJL SET COPIES=4\n");
  request.job_monitor_available = 1;
  EXPECT_EQ(build(), kUel + "@PJL SET JMID=JM-0042\n@PJL SET COPIES=4\n");
}

TEST_F(PjlHeaderTest, DocumentNameRules) {
  make(json::array({entry(36902, "@PJL SET DOC=")}), 0);
  struct Case {
    const char16_t* name;
    DWORD caps;
    const char* written;  // null: nothing
  };
  const Case cases[] = {
      {u"Twelve chars", 0, "Twelve chars"},
      {u"Thirteen char", 0, nullptr},
      {u"Thirteen char", kPjlCapDoubleByteNames, "Thirteen char"},
      {u"   ", 0, nullptr},
      {u"", 0, nullptr},
      {u"tab\there", 0, nullptr},
      {u"\u00dcBER \u00c4", 0, "\xC3\x9C" "BER \xC3\x84"},  // accepted in the 0xA1-0xDF range
      {u"caf\u00e9", 0, nullptr},                          // 0xE9 is not
  };
  for (const Case& c : cases) {
    make(json::array({entry(36902, "@PJL SET DOC=")}), c.caps);
    request.document_name = c.name;
    EXPECT_EQ(build(), kUel + (c.written ? std::string("@PJL SET DOC=") + c.written + "\n" : ""))
        << std::string(c.name, c.name + std::char_traits<char16_t>::length(c.name));
  }
  // A long name is cut to 64 characters with capability 0x2.
  make(json::array({entry(36902, "D=")}), kPjlCapDoubleByteNames);
  const std::u16string long_name(70, u'x');
  request.document_name = long_name.c_str();
  EXPECT_EQ(build(), kUel + "D=" + std::string(64, 'x') + "\n");
}

TEST_F(PjlHeaderTest, JapaneseNamesUnderCodePage932) {
  ASSERT_TRUE(morva::platform::set_machine_setting("acp", "932"));
  ASSERT_TRUE(morva::platform::set_machine_setting("user_name", "\xE5\xB1\xB1\xE7\x94\xB0 \xEF\xBD\xB1"));
  make(json::array({entry(36902, "D="), entry(8193, "U=")}), kPjlCapDoubleByteNames);
  request.document_name = u"\u65e5\u672c\uff71";  // two double-byte characters and a half-width one
  EXPECT_EQ(build(), kUel + "D=\xE6\x97\xA5\xE6\x9C\xAC\xEF\xBD\xB1\nU=\xE5\xB1\xB1\xE7\x94\xB0 \xEF\xBD\xB1\n");
  // Without double-byte names the document name is refused.
  make(json::array({entry(36902, "D=")}), 0);
  EXPECT_EQ(build(), kUel);
}

TEST_F(PjlHeaderTest, LogonUserName) {
  make(json::array({entry(8193, "@PJL SET USERNAME=")}), 0);
  struct Case {
    const char* user;
    const char* written;
  };
  const Case cases[] = {
      {"alice", "alice"},
      {"\xC3\x89lise", "\xC3\x89lise"},  // 0xC9 accepted
      {"M\xC3\xBCller", "M"},             // the leading run before 0xFC remains
      {"\xC3\xBC" "ber", "UnknownUser"},  // first character refused
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(morva::platform::set_machine_setting("user_name", c.user));
    EXPECT_EQ(build(), kUel + "@PJL SET USERNAME=" + c.written + "\n") << c.user;
  }
}

TEST_F(PjlHeaderTest, DelayedStartAndScheduledTimes) {
  ASSERT_TRUE(morva::platform::set_machine_setting("utc_offset_minutes", "0"));
  SYSTEMTIME now{2026, 12, 0, 31, 9, 15, 0, 0};
  FILETIME ft{};
  ASSERT_TRUE(SystemTimeToFileTime(&now, &ft));
  morva::platform::set_test_clock(morva::platform::from_filetime(ft), 0);
  make(json::array({entry(32784, "@PJL SET START=")}), 0);
  set(451, 8);
  set(452, 0);
  EXPECT_EQ(build(), kUel + "@PJL SET START=2027:01:01:08:00\n");  // tomorrow, into the next year
  set(451, 9);
  set(452, 15);
  EXPECT_EQ(build(), kUel + "@PJL SET START=2026:12:31:09:15\n");

  // On a fax device 1800 and 4369 are the scheduled time when it is on.
  make(json::array({entry(1800, "T="), entry(4369, "S=")}), 0, json{{"23", 1}, {"24", 1}, {"25", 1}});
  set(1801, 7);
  set(1802, 5);
  set(4369, 3);
  EXPECT_EQ(build(), kUel + "T=0\nS=3\n");
  set(1800, 1);
  EXPECT_EQ(build(), kUel + "T=07:05\nS=2027:01:01:07:05\n");
}

// ---------------------------------------------------------------- job attributes

TEST_F(PjlHeaderTest, BktpSlotAndItsOffset) {
  make(json::array({entry(0, "@PJL A", "B"), marker(), entry(0, "@PJL C", "D")}), kFull | kPjlCapBktp);
  set(321, 2);
  set(446, 1);
  set(1328, 1);
  request.jobattr_switch = 0;
  const std::string head = kUel + "@PJL AB\n";
  EXPECT_EQ(build(), head + std::string(38, ' ') + "\n@PJL CD\n");
  EXPECT_EQ(request.bktp_offset, head.size());
  request.bktp_value = 42;
  EXPECT_EQ(build(), head + "@PJL SET JOBATTR=\"@BKTP=42\"\n@PJL CD\n");
  EXPECT_EQ(request.bktp_offset, 0u);

  make(json::array({marker()}), kPjlCapBktp);
  request.bktp_value = 0;
  EXPECT_EQ(build(), kUel + std::string(20, ' ') + "\n");
  request.bktp_value = 7;
  EXPECT_EQ(build(), kUel + "@BKTP=7\n");
  set(1328, 0);  // the gate is closed
  request.bktp_offset = 99;
  EXPECT_EQ(build(), kUel);
  EXPECT_EQ(request.bktp_offset, 99u);
}

// The graphics library writes the booklet's sheet count into the blank slot
// of a header it received: the text's bytes only, the rest of the slot
// stays blank; a slot that is not blank or not wholly inside the header is
// left alone.
TEST_F(PjlHeaderTest, TheBlankBktpSlotTakesTheSheetCount) {
  set(321, 2);
  set(446, 1);
  set(1328, 1);
  request.jobattr_switch = 0;
  struct Case {
    DWORD caps;
    std::string patched;
  } cases[] = {
      {kPjlCapBktp, "@BKTP=12" + std::string(12, ' ')},
      {kFull | kPjlCapBktp, "@PJL SET JOBATTR=\"@BKTP=12\"" + std::string(11, ' ')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.caps);
    make(json::array({marker(), entry(0, "@PJL C", "D")}), c.caps);
    request.bktp_value = 0;
    std::string header = build();
    const DWORD at = request.bktp_offset;
    ASSERT_EQ(at, kUel.size());
    const auto size = static_cast<DWORD>(header.size());
    EXPECT_EQ(PatchBktpSlot(handle, 12, header.data(), size, at), 1);
    EXPECT_EQ(header, kUel + c.patched + "\n@PJL CD\n");
    const std::string once = header;
    EXPECT_EQ(PatchBktpSlot(handle, 13, header.data(), size, at), 0);  // no longer blank
    EXPECT_EQ(PatchBktpSlot(handle, 12, header.data(), size, size - 4), 0);  // past the end
    EXPECT_EQ(PatchBktpSlot(handle, 12, header.data(), size, 0xFFFFFFF0u), 0);
    EXPECT_EQ(header, once);
    EXPECT_EQ(PatchBktpSlot(handle, 12, nullptr, 0, at), 1);
  }
}

TEST_F(PjlHeaderTest, JobAttrLinesFromTheQjclLibrary) {
  make(json::array({marker()}), kFull | kPjlCapNup | kPjlCapHostAddress | kPjlCapHostName);
  set(5203, 1);
  set(295, 4);
  set(5127, 0);
  EXPECT_EQ(build(), kUel +
                         "@PJL SET JOBATTR=\"@NUP=2\"\n@PJL SET JOBATTR=\"@JOHA=127.0.0.1\"\n"
                         "@PJL SET JOBATTR=\"@JOAU=user\"\n@PJL SET JOBATTR=\"@JOHN=host32.0\"\n");
  // The host address is left out when the library refuses it; the others
  // fail the header.
  setenv("MV_QJCL_REFUSE", "HostAddress", 1);
  EXPECT_EQ(build(), kUel + "@PJL SET JOBATTR=\"@NUP=2\"\n@PJL SET JOBATTR=\"@JOAU=user\"\n"
                            "@PJL SET JOBATTR=\"@JOHN=host32.0\"\n");
  setenv("MV_QJCL_REFUSE", "Nup", 1);
  EXPECT_EQ(build(), "#" + std::to_string(kPjlQjclFailed));
  unsetenv("MV_QJCL_REFUSE");
  // Without the library every line it makes fails the header.
  make(json::array({marker()}), kPjlCapNup, json{{"20", "absent.dll"}});
  EXPECT_EQ(build(), "#" + std::to_string(kPjlQjclFailed));
  // Simple form: bare attributes; N-up codes and poster codes.
  make(json::array({marker()}), kPjlCapNup);
  set(5203, 0);
  struct Case {
    WORD layout, poster, pages;
    const char* line;
  };
  for (const Case& c : {Case{0, 0, 16, "@NUP=6\n"}, Case{2, 0, 1, "@NUP=1\n"}, Case{1, 0x303, 1, "@NUP=10\n"},
                        Case{1, 0x999, 32, "@NUP=12\n"}, Case{0, 0, 3, ""}}) {
    set(321, c.layout);
    set(296, c.poster);
    set(295, c.pages);
    EXPECT_EQ(build(), kUel + c.line) << c.layout << " " << c.poster << " " << c.pages;
  }
}

TEST_F(PjlHeaderTest, JobOwnerKindsAndModes) {
  make(json::array({marker()}), 0);
  EXPECT_EQ(build(), kUel);  // setting 5203 off: no owner line
  set(5203, 1);
  set(295, 2);
  set(265, 3);  // output code 2
  struct Case {
    WORD mode;
    const char* line;
  };
  set_text(5121, u"Ken");
  set_text(5150, u"Akiko");
  for (const Case& c : {Case{0, "@JOKD=3,2,2@JOAU=hostuser\n"}, Case{1, "@JOKD=3,2,2@JOAU=Ken\n"},
                        Case{4, "@JOKD=4,2,2@JOAU=Ken\n"}, Case{6, "@JOKD=4,2,2@JOAU=Akiko\n"},
                        Case{7, "@JOKD=3,2,2@JOAU=Ken\n"}, Case{2, ""}}) {
    set(5127, c.mode);
    EXPECT_EQ(build(), kUel + c.line) << c.mode;
  }
  // Setting 5163 switches to the second mode setting, and mode 7 to 5150.
  set(5163, 1);
  set(5178, 7);
  EXPECT_EQ(build(), kUel + "@JOKD=3,2,2@JOAU=Akiko\n");
}

TEST_F(PjlHeaderTest, OwnerTextReachesTheHeaderWhateverTheLibraryRefuses) {
  make(json::array({marker()}), kPjlCapOwnerOverride);
  set(5203, 1);
  set(5164, 1);
  set(5204, 2);
  set(5127, 1);
  set(295, 1);
  set(321, 1);  // pages 100
  set(265, 258);
  set(13, 7);  // output code 0
  set_text(5174, u"O'Brien & \u00c4rzte");
  EXPECT_EQ(build(), kUel + "@JOKD=3,100,0@JOAU=O'Brien & \xC3\x84rzte\n");
  set(5183, 1);
  EXPECT_EQ(build(), kUel + "@JOKD=3,100,0@JOAU=UnknownUser\n");
  set(5183, 0);
  set(5204, 1);
  EXPECT_EQ(build(), kUel + "@JOKD=3,100,0@JOAU=UnknownUser\n");
}

TEST_F(PjlHeaderTest, OutputTrayCodes) {
  make(json::array({marker()}), 0);
  set(5203, 1);
  set(5127, 1);
  set(295, 1);
  set_text(5121, u"K");
  struct Case {
    WORD tray, source, finisher;
    DWORD code;
  };
  for (const Case& c : {Case{7, 0, 0, 0}, Case{265, 0, 0, 3}, Case{257, 0, 0, 7}, Case{99, 0, 0, 11},
                        Case{4, 0, 3, 9}, Case{260, 0, 8, 10}, Case{4, 0, 5, 8}, Case{258, 2, 0, 6}}) {
    set(265, c.tray);
    set(13, c.source);
    set(388, c.finisher);
    EXPECT_EQ(build(), kUel + "@JOKD=3,1,"+ std::to_string(c.code) + "@JOAU=K\n") << c.tray;
  }
  // With capability 0x10 the paper source comes first.
  make(json::array({marker()}), kPjlCapTrayOrder);
  set(13, 1);
  set(265, 7);
  EXPECT_EQ(build(), kUel + "@JOKD=3,1,1@JOAU=K\n");
  set(13, 15);
  EXPECT_EQ(build(), kUel + "@JOKD=3,1,0@JOAU=K\n");
}

TEST_F(PjlHeaderTest, LocalOwnerStringForKindFive) {
  make(json::array({marker()}), kPjlCapHostAddress | kPjlCapHostName);
  setenv("MV_QJCL_REFUSE", "HostAddress", 1);
  set(5203, 1);
  set(5127, 3);
  ASSERT_TRUE(morva::platform::set_machine_setting("user_name", std::string(40, 'n')));
  EXPECT_EQ(build(), kUel + "@JOAU=" + std::string(32, 'n') + "\n@JOHN=host32.0\n");
}

// ---------------------------------------------------------------- QPIF block

TEST_F(PjlHeaderTest, PrintingInstructionBlock) {
  const json fields = {{"39", {1u << 29, 0u}}};  // capability bit 61
  make(json::array({entry(0, "@PJL A", "B")}), 0, fields);
  sp = "SP-DATA";
  set(321, 2);
  const std::string block = "@PJL COMMENT QPIF 1,1 SP-DATA\n";
  EXPECT_EQ(build(), block + kUel + "@PJL AB\n");
  set(321, 0);
  EXPECT_EQ(build(), "@PJL COMMENT QPIF 1,0 SP-DATA\n" + kUel + "@PJL AB\n");
  struct Case {
    const char* mode;
    std::string result;
  };
  for (const Case& c : {Case{"no_init", kUel + "@PJL AB\n"}, Case{"empty", kUel + "@PJL AB\n"},
                        Case{"no_size", "#size-720"}, Case{"fail_get", "#-730"}}) {
    setenv("MV_QPIF_MODE", c.mode, 1);
    EXPECT_EQ(build(), c.result) << c.mode;
  }
  unsetenv("MV_QPIF_MODE");
  // Without the capability bit or instructions no block is made; a missing
  // library fails the header.
  make(json::array(), 0);
  EXPECT_EQ(build(), kUel);
  make(json::array(), 0, json{{"39", {1u << 29, 0u}}, {"36", json::array({"a", "b", "c", "d", "e", "f", "g", "h", "i",
                                                                          "j", "k", "l", "m", "n", "o", "p",
                                                                          "none.dll"})}});
  EXPECT_EQ(build(), "#size" + std::to_string(kPjlMissing));
  sp.clear();
  EXPECT_EQ(build(), kUel);
}

}  // namespace

namespace {

// ---------------------------------------------------------------- fax lines

// A stored destination list of fax numbers; a number starting with "ip:"
// is an IP-fax destination.
std::vector<BYTE> fax_list(const std::vector<std::u16string>& numbers) {
  using namespace morva::fax;
  std::vector<BYTE> blob(kFaxBookHeaderSize + kFaxEntrySize * numbers.size());
  FaxBook_WriteTag(blob.data(), kTagDfax002);
  FaxBook_SetCount(blob.data(), static_cast<WORD>(numbers.size()));
  for (size_t i = 0; i < numbers.size(); ++i) {
    FaxDestination d{};
    std::u16string number = numbers[i];
    if (number.rfind(u"ip:", 0) == 0) {
      d.Kind = kFaxKindIpAddress;
      number = number.substr(3);
    }
    std::memcpy(d.Number, number.data(), number.size() * sizeof(WCHAR));
    FaxDestination_Encode(d, blob.data() + kFaxBookHeaderSize + kFaxEntrySize * i);
  }
  return blob;
}

TEST_F(PjlHeaderTest, FaxLinesPerDestination) {
  const json fax_device = {{"23", 1}, {"24", 3}, {"25", 120}};
  make(json::array({marker(), entry(0, "@PJL A", "B")}), 0, fax_device);
  const std::vector<BYTE> list = fax_list({u"111", u"ip:10.0.0.9", u"333"});
  PjlFaxRange range{1, 2, list.data(), static_cast<DWORD>(list.size())};
  request.fax_range = &range;
  request.jobattr_switch = 0;
  set(380, 3);
  EXPECT_EQ(build(), kUel + "@FANU=10.0.0.9{22}{30}\r\n@FANU=333{20}{30}\r\n@PJL AB\n");
  // Sender keys for IP destinations with setting 4142; fax entry keys with
  // capability 0x40000000; the full form frames each line.
  set(4142, 1);
  EXPECT_EQ(build(), kUel + "@SFNU=10.0.0.9{22}{30}\r\n@FANU=333{20}{30}\r\n@PJL AB\n");
  make(json::array({marker()}), kFull | kPjlCapFaxEntryKeys, fax_device);
  EXPECT_EQ(build(), kUel + "@PJL SET JOBATTR=\"@SFEN=10.0.0.9{22}{30}\"\r\n"
                            "@PJL SET JOBATTR=\"@FAEN=333{20}{30}\"\r\n");
  // A list that does not match the destination count gives no lines; a
  // range outside the count fails the header.
  set(380, 4);
  EXPECT_EQ(build(), kUel);
  range.last = 4;
  EXPECT_EQ(build(), "#" + std::to_string(kPjlMissing));
  range = {2, 1, list.data(), static_cast<DWORD>(list.size())};
  EXPECT_EQ(build(), "#" + std::to_string(kPjlMissing));
  // The fixed address file is not compared with the count; a destination
  // missing from the list fails the header.
  set_text(375, u"C:\\qzfaxaddress.tmp");
  range = {0, 0, list.data(), static_cast<DWORD>(list.size())};
  EXPECT_EQ(build(), kUel + "@PJL SET JOBATTR=\"@FAEN=111{20}{30}\"\r\n");
  range = {2, 3, list.data(), static_cast<DWORD>(list.size())};
  EXPECT_EQ(build(), "#" + std::to_string(kPjlMissing));
  // A list cut short is refused before any entry is read.
  range = {0, 0, list.data(), static_cast<DWORD>(list.size() - 1)};
  EXPECT_EQ(build(), "#" + std::to_string(kPjlMissing));
}

}  // namespace

namespace {

// ---------------------------------------------------------------- demo printer

// The demo printer's database with its default settings gives this header.
TEST_F(PjlHeaderTest, DemoPrinterDefaultHeader) {
  morva::ddd_build::build_file(std::string(MORVA_SOURCE_DIR) + "/resources/demo_printer/database.json", dir());
  morva::settings::ddd_set_module_directory(u"C:\\drivers\\");
  DddStatus status = 0;
  handle = DddOpenPath(u"C:\\drivers\\MVDEMO.DDD", &status);
  ASSERT_NE(handle, nullptr) << status;
  ASSERT_TRUE(morva::platform::set_machine_setting("user_name", "Ana Lima"));
  ASSERT_TRUE(FillDefaultSettings(handle, dm.data(), pd.data(), u"Demo Printer"));
  request.document_name = u"Invoice 7";
  WORD type = 0;
  DWORD size = 0;
  ItemValue paper{};
  ASSERT_EQ(GetItemValue(8, dm.data(), pd.data(), &type, &size, &paper), kDdmOk);
  const std::string paper_name = paper.s == 9 ? "A4" : "LETTER";
  EXPECT_EQ(build(), kUel +
                         "@PJL JOB NAME=Invoice 7\n"
                         "@PJL SET JOBATTR=\"@JOAU=Ana Lima\"\n"
                         "@PJL SET COPIES=1\n"
                         "@PJL SET PAPER=" + paper_name + "\n"
                         "@PJL SET ORIENTATION=PORTRAIT\n"
                         "@PJL SET MEDIASOURCE=AUTO\n"
                         "@PJL SET DUPLEX=OFF\n"
                         "@PJL SET RENDERMODE=COLOR\n"
                         "@PJL ENTER LANGUAGE=VANTIQ\n");
  // Two-sided on the long edge, black and white, uncollated.
  set(16, 2);
  set(270, 1);
  set(18, 0);
  EXPECT_EQ(build(), kUel +
                         "@PJL JOB NAME=Invoice 7\n"
                         "@PJL SET JOBATTR=\"@JOAU=Ana Lima\"\n"
                         "@PJL SET COPIES=1\n"
                         "@PJL SET QTY=1\n"
                         "@PJL SET PAPER=" + paper_name + "\n"
                         "@PJL SET ORIENTATION=PORTRAIT\n"
                         "@PJL SET MEDIASOURCE=AUTO\n"
                         "@PJL SET DUPLEX=ON\n"
                         "@PJL SET BINDING=LONGEDGE\n"
                         "@PJL SET RENDERMODE=GRAYSCALE\n"
                         "@PJL ENTER LANGUAGE=VANTIQ\n");
  std::vector<BYTE> trailer(32);
  PjlOutput out{trailer.data(), 32, 0};
  ASSERT_GT(WritePjlTrailer(handle, &out), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(trailer.data()), out.used), kUel + "@PJL EOJ\n");
}

}  // namespace

namespace {

// A user-defined paper is sent with its size from the printer's form of
// that slot, in millimetres, in the order of its feed edge.
TEST_F(PjlHeaderTest, UserDefinedPaperSize) {
  HANDLE printer = morva::test::add_test_printer(u"Pjl Printer", u"Pjl Driver", u"T.DDD", u"IP_127.0.0.1");
  ASSERT_NE(printer, nullptr) << GetLastError();
  WCHAR name[64] = {};
  ASSERT_GT(FormatUserPaperName(2, name, 64), 0);
  FORM_INFO_1W form{};
  form.pName = name;
  form.Size = {210400, 296600};  // rounds to 210 x 297 mm
  form.ImageableArea = {0, 0, 210400, 296600};
  ASSERT_TRUE(AddFormW(printer, 1, reinterpret_cast<LPBYTE>(&form))) << GetLastError();
  request.printer = printer;

  make(json::array({entry(410, "@PJL SET PAPER=")}), 0);
  set(410, 264);  // user paper slot 2
  set(409, 4);
  set(412, 2);
  EXPECT_EQ(build(), kUel + "@PJL SET PAPER=UNFIXED:210:297\n");
  set(412, 1);
  EXPECT_EQ(build(), kUel + "@PJL SET PAPER=UNFIXED:297:210\n");
  set(409, 264);
  set(413, 2);
  EXPECT_EQ(build(), kUel + "@PJL SET PAPER=UNFIXED:210:297\n");
  set(409, 1);
  EXPECT_EQ(build(), "#" + std::to_string(kPjlMissing));
  set(409, 4);
  set(410, 265);  // slot 3 has no form
  EXPECT_EQ(build(), "#" + std::to_string(kPjlMissing));
  ClosePrinter(printer);
}

}  // namespace

namespace {

// Collated copies made by a device of data level 2 are sent as one copy.
TEST_F(PjlHeaderTest, CollatedCopiesOnLevelTwoDevices) {
  make(json::array({entry(12, "@PJL SET COPIES=")}), 0x20000 | 0x10000);
  set(12, 5);
  set(18, 1);
  set(8205, 0x01010903);
  EXPECT_EQ(build(), kUel + "@PJL SET COPIES=1\n");
  set(8205, 0x01010902);  // level 3
  EXPECT_EQ(build(), kUel + "@PJL SET COPIES=5\n");
  set(8205, 0x01010903);
  set(18, 0);
  EXPECT_EQ(build(), kUel + "@PJL SET COPIES=5\n");
}

}  // namespace
