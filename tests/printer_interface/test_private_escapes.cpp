// The private escape protocol: the table's sizes, the byte layouts of the
// payloads, the readers' length checks and the two-step transfer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "pi/private_escapes.h"
#include "win/endian.h"

namespace {

using namespace morva::pi;

std::u16string repeat(char16_t c, std::size_t n) { return std::u16string(n, c); }

TEST(PrivateEscapeTable, CodesOfTheProtocol) {
  const WORD codes[] = {0x5001, 0x5002, 0x5003, 0x5004, 0x5005, 0x5006, 0x5007, 0x5008, 0x5009, 0x500B, 0x500C,
                        0x500D, 0x5010, 0x5020, 0x5021, 0x5023, 0x5024, 0x5025, 0x5028, 0x5029, 0x502A, 0x502B,
                        0x502C, 0x502D, 0x502E, 0x502F, 0x5030, 0x5031, 0x5032, 0x5043, 0x5044, 0x5100};
  ASSERT_EQ(PrivateEscapeTable().size(), std::size(codes));
  for (WORD code : codes) {
    const PrivateEscapeInfo* e = FindPrivateEscape(code);
    ASSERT_NE(e, nullptr) << std::hex << code;
    EXPECT_EQ(e->code, code);
    // A push has no answer, a query no input.
    if (e->direction == EscapeDirection::kPush) {
      EXPECT_EQ(e->out.rule, EscapeSize::kNone) << e->name;
    } else if (e->direction == EscapeDirection::kQuery) {
      EXPECT_EQ(e->in.rule, EscapeSize::kNone) << e->name;
    }
  }
  // Codes that the graphics DLL answers but this side never sends.
  for (DWORD code : {0x500Au, 0x5040u, 0x5041u, 0x5042u, 0x1071u, 0x5000u, 0x15001u}) {
    EXPECT_EQ(FindPrivateEscape(code), nullptr) << std::hex << code;
  }
}

TEST(PrivateEscapeTable, EnforcedSizes) {
  struct Case {
    WORD code;
    DWORD in, out;
    BOOL accepted;
  };
  const Case cases[] = {
      {DRVESC_GET_DEVMODE, 0, 5988, TRUE},          {DRVESC_GET_DEVMODE, 0, 13960, FALSE},
      {DRVESC_SET_DEVMODE, 5988, 0, TRUE},          {DRVESC_SET_DEVMODE, 13960, 0, FALSE},
      {DRVESC_SET_DEVMODE, 1604, 0, FALSE},         {DRVESC_GET_PAGE_INFO, 4, 44, TRUE},
      {DRVESC_GET_PAGE_INFO, 0, 44, TRUE},          {DRVESC_GET_PAGE_INFO, 4, 48, FALSE},
      {DRVESC_SET_HEADER_INFO, 768, 0, TRUE},       {DRVESC_GET_HEADER_INFO, 0, 767, FALSE},
      {DRVESC_SET_SETTINGS_BLOCK, 7972, 0, TRUE},   {DRVESC_GET_SETTINGS_BLOCK, 0, 7971, FALSE},
      {DRVESC_SET_PAGE_PAPER, 12, 0, FALSE},        {DRVESC_SET_PAGE_PAPER, 10, 0, TRUE},
      {DRVESC_QUERY_FAX_JOB, 0, 3, FALSE},          {DRVESC_QUERY_FAX_JOB, 0, 8, TRUE},
      {DRVESC_SET_PJL_HEADERS, 15, 0, FALSE},       {DRVESC_SET_PJL_HEADERS, 16, 0, TRUE},
      {DRVESC_GET_JOB_BLOCK, 0, 12, TRUE},          {DRVESC_SET_JOB_BLOCK, 10, 0, FALSE},
      {DRVESC_QUERY_FIRST_START, 0, 8, FALSE},      {DRVESC_SET_WARNING_CONFIRMED, 2, 0, FALSE},
      {DRVESC_SET_SEALMARK_SETUP, 2112, 0, TRUE},   {DRVESC_SET_SEALMARK_SETUP, 2114, 0, FALSE},
      {DRVESC_GET_SEALMARK_DATA, 2, 4, TRUE},       {DRVESC_GET_SEALMARK_DATA, 4, 4, FALSE},
      {DRVESC_SET_COPY_JOB_IDS, 136, 0, TRUE},      {DRVESC_SET_COPY_JOB_IDS, 100, 0, FALSE},
      {DRVESC_SET_COPY_JOB_IDS, 0, 0, FALSE},       {DRVESC_SET_SEALMARK_COUNTS, 8, 0, TRUE},
      {DRVESC_SET_SEALMARK_COUNTS, 4, 0, FALSE},    {DRVESC_SET_SPINFO, 12345, 0, TRUE},
      {DRVESC_SET_FAX_ADDRESS_DATA, 1442, 0, TRUE}, {DRVESC_STAMP_OFFSET, 12, 0, TRUE},  // not insisted on
      {0x500A, 0, 4, FALSE},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PrivateEscapeSizesAccepted(c.code, c.in, c.out), c.accepted)
        << std::hex << c.code << std::dec << " in " << c.in << " out " << c.out;
  }
}

TEST(PrivateEscapeScalars, ReadOnlyWhatWasSent) {
  const BYTE bytes[4] = {0x34, 0x12, 0x78, 0x56};
  WORD w = 0;
  DWORD d = 0;
  EXPECT_TRUE(ReadEscapeWord(bytes, 2, &w));
  EXPECT_EQ(w, 0x1234);
  EXPECT_FALSE(ReadEscapeWord(bytes, 1, &w));
  EXPECT_FALSE(ReadEscapeWord(nullptr, 2, &w));
  EXPECT_TRUE(ReadEscapeDword(bytes, 4, &d));
  EXPECT_EQ(d, 0x56781234u);
  EXPECT_FALSE(ReadEscapeDword(bytes, 3, &d));
  BYTE out[4] = {};
  WriteEscapeDword(out, 0xA1B2C3D4u);
  EXPECT_EQ(std::memcmp(out, "\xD4\xC3\xB2\xA1", 4), 0);
}

TEST(PrivateEscapeRecords, PageDrawInfo) {
  PageDrawInfo info{1, 0, 1, {1.5f, 2, 3, 4, -5, 6, 7, 8}};
  BYTE bytes[kPageDrawInfoSize];
  PackPageDrawInfo(info, bytes);
  EXPECT_EQ(morva::load_le32(bytes + 0), 1u);
  EXPECT_EQ(morva::load_le32(bytes + 8), 1u);
  EXPECT_EQ(morva::load_le32(bytes + 12), 0x3FC00000u);  // 1.5f
  EXPECT_EQ(morva::load_le32(bytes + 28), 0xC0A00000u);  // -5.0f
  EXPECT_EQ(morva::load_le32(bytes + 40), 0x41000000u);  // 8.0f
  PageDrawInfo back{};
  ASSERT_TRUE(UnpackPageDrawInfo(bytes, sizeof bytes, &back));
  EXPECT_EQ(back.headerDue, 1u);
  EXPECT_EQ(back.rects[4], -5.0f);
  for (DWORD size : {0u, 43u, 45u, 88u}) EXPECT_FALSE(UnpackPageDrawInfo(bytes, size, &back)) << size;
}

TEST(PrivateEscapeRecords, PaperRecords) {
  // A stored PaperMargin's third, fourth, first and second values, cut to 16 bits.
  const std::int32_t margin[4] = {11, 22, 0x12345, -1};
  const DcPaperRecord dc = MakeDcPaperRecord(9, 257, margin);
  BYTE bytes[kDcPaperRecordSize];
  PackDcPaperRecord(dc, bytes);
  const BYTE expected[kDcPaperRecordSize] = {9, 0, 1, 1, 0x45, 0x23, 0xFF, 0xFF, 11, 0, 22, 0};
  EXPECT_EQ(std::memcmp(bytes, expected, sizeof bytes), 0);
  DcPaperRecord back{};
  ASSERT_TRUE(UnpackDcPaperRecord(bytes, sizeof bytes, &back));
  EXPECT_EQ(back.margins[1], 0xFFFF);
  EXPECT_FALSE(UnpackDcPaperRecord(bytes, 10, &back));

  const PagePaperRecord page{kUnmatchedPaperId, {kDefaultPaperMargin, kDefaultPaperMargin, 1, 2}};
  BYTE paper[kPagePaperRecordSize];
  PackPagePaperRecord(page, paper);
  const BYTE expectedPaper[kPagePaperRecordSize] = {0, 1, 46, 0, 46, 0, 1, 0, 2, 0};
  EXPECT_EQ(std::memcmp(paper, expectedPaper, sizeof paper), 0);
  PagePaperRecord pageBack{};
  ASSERT_TRUE(UnpackPagePaperRecord(paper, sizeof paper, &pageBack));
  EXPECT_EQ(pageBack.margins[3], 2);
  EXPECT_FALSE(UnpackPagePaperRecord(paper, 12, &pageBack));
}

TEST(PrivateEscapeRecords, SmallFixedRecords) {
  BYTE job[kJobBlockSize];
  std::memset(job, 0xEE, sizeof job);
  PackJobBlock({1, 0x01020304, 2}, job);
  const BYTE expectedJob[kJobBlockSize] = {1, 0, 0, 0, 4, 3, 2, 1, 2, 0, 0, 0};
  EXPECT_EQ(std::memcmp(job, expectedJob, sizeof job), 0);
  JobBlock jb{};
  ASSERT_TRUE(UnpackJobBlock(job, sizeof job, &jb));
  EXPECT_EQ(jb.imageMode, 0x01020304u);
  EXPECT_EQ(jb.imageSubMode, 2);
  EXPECT_FALSE(UnpackJobBlock(job, 10, &jb));

  BYTE offset[kStampOffsetSize];
  PackStampOffset({-2, 300}, offset);
  StampOffset so{};
  ASSERT_TRUE(UnpackStampOffset(offset, sizeof offset, &so));
  EXPECT_EQ(so.x, -2);
  EXPECT_EQ(so.y, 300);
  EXPECT_EQ(offset[0], 0xFE);
  EXPECT_FALSE(UnpackStampOffset(offset, 4, &so));

  BYTE counts[kSealmarkCountsSize];
  PackSealmarkCounts({1, 3}, counts);
  SealmarkCounts sc{};
  ASSERT_TRUE(UnpackSealmarkCounts(counts, sizeof counts, &sc));
  EXPECT_EQ(sc.outputs, 3u);
  EXPECT_FALSE(UnpackSealmarkCounts(counts, 7, &sc));
}

TEST(PrivateEscapeRecords, PrintHeaderInfoLayout) {
  PrintHeaderInfo info{};
  info.anyItemOn = 1;
  const WORD positions[6] = {0, 1, kHeaderItemHidden, 3, 4, 5};
  std::memcpy(info.positions, positions, sizeof positions);
  info.userName = u"user";
  info.jobOwner = repeat(u'o', 40);  // longer than its 32-character field
  info.documentName = u"doc";
  info.headerNumber = 0x0102;
  info.date = u"2026/12/10";
  info.time = u"17:25:59";  // cut to 6 characters and the terminator
  BYTE bytes[kPrintHeaderInfoSize];
  std::memset(bytes, 0xEE, sizeof bytes);
  PackPrintHeaderInfo(info, bytes);
  EXPECT_EQ(morva::load_le32(bytes + 0), 1u);
  EXPECT_EQ(morva::load_le16(bytes + 8), 0xFFFF);
  EXPECT_EQ(morva::load_le16(bytes + 16), u'u');
  EXPECT_EQ(morva::load_le16(bytes + 144), u'o');
  EXPECT_EQ(morva::load_le16(bytes + 144 + 2 * 31), 0);  // owner terminated inside its field
  EXPECT_EQ(morva::load_le16(bytes + 208), u'd');
  EXPECT_EQ(morva::load_le16(bytes + 730), 0x0102);
  EXPECT_EQ(morva::load_le16(bytes + 732), u'2');
  EXPECT_EQ(morva::load_le16(bytes + 754), u'1');
  EXPECT_EQ(morva::load_le16(bytes + 766), 0);
  PrintHeaderInfo back{};
  ASSERT_TRUE(UnpackPrintHeaderInfo(bytes, sizeof bytes, &back));
  EXPECT_EQ(back.jobOwner, repeat(u'o', 31));
  EXPECT_EQ(back.documentName, u"doc");
  EXPECT_EQ(back.time, u"17:25:");
  EXPECT_EQ(back.positions[2], kHeaderItemHidden);

  // Texts without terminators stay inside their fields.
  std::memset(bytes, 0x41, sizeof bytes);
  ASSERT_TRUE(UnpackPrintHeaderInfo(bytes, sizeof bytes, &back));
  EXPECT_EQ(back.userName.size(), 64u);
  EXPECT_EQ(back.jobOwner.size(), 32u);
  EXPECT_EQ(back.documentName.size(), 261u);
  EXPECT_EQ(back.time.size(), 7u);
  EXPECT_FALSE(UnpackPrintHeaderInfo(bytes, 767, &back));
}

TEST(PrivateEscapeRecords, NamesAndMarkingSetup) {
  BYTE name[kDocNameSize];
  PackDocumentName(repeat(u'n', 300).c_str(), name);
  std::u16string text;
  ASSERT_TRUE(UnpackDocumentName(name, sizeof name, &text));
  EXPECT_EQ(text, repeat(u'n', 260));
  EXPECT_EQ(morva::load_le16(name + 520), 0);
  // A shorter name payload is read only as far as it goes.
  const BYTE shortName[5] = {'a', 0, 'b', 0, 'c'};
  ASSERT_TRUE(UnpackDocumentName(shortName, sizeof shortName, &text));
  EXPECT_EQ(text, u"ab");
  EXPECT_FALSE(UnpackDocumentName(shortName, 0, &text));

  SealmarkSetup setup{u"HOST", repeat(u'd', 300), u"alice", u"Printer 1"};
  BYTE area[kSealmarkSetupSize];
  PackSealmarkSetup(setup, area);
  EXPECT_EQ(morva::load_le16(area + 0), u'H');
  EXPECT_EQ(morva::load_le16(area + 522), u'd');
  EXPECT_EQ(morva::load_le16(area + 522 + 2 * 260), 0);  // at most 260 characters used
  EXPECT_EQ(morva::load_le16(area + 1076), u'a');
  EXPECT_EQ(morva::load_le16(area + 1590), u'P');
  SealmarkSetup back;
  ASSERT_TRUE(UnpackSealmarkSetup(area, sizeof area, &back));
  EXPECT_EQ(back.documentName.size(), 260u);
  EXPECT_EQ(back.printerName, u"Printer 1");
  EXPECT_FALSE(UnpackSealmarkSetup(area, 2111, &back));
}

TEST(PrivateEscapeRecords, CopyJobIds) {
  std::vector<CopyJobIdRecord> records(2);
  records[0].copyNumber = 1;
  records[1].copyNumber = 2;
  std::memset(records[0].jobId, 'a', kCopyJobIdBytes);
  std::memset(records[1].jobId, 'b', kCopyJobIdBytes);
  const std::vector<BYTE> bytes = PackCopyJobIds(records);
  ASSERT_EQ(bytes.size(), 136u);
  EXPECT_EQ(morva::load_le32(bytes.data() + 68), 2u);
  EXPECT_EQ(bytes[72], 'b');
  std::vector<CopyJobIdRecord> back;
  ASSERT_TRUE(UnpackCopyJobIds(bytes.data(), 136, &back));
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[1].jobId[63], 'b');
  for (DWORD size : {0u, 67u, 69u, 135u}) EXPECT_FALSE(UnpackCopyJobIds(bytes.data(), size, &back)) << size;
}

// ---- PJL header set ----------------------------------------------------------

TEST(PjlHeaderSet, LayoutAndRoundTrip) {
  const std::vector<PjlHeader> headers = {{"\x1b%-12345X@PJL\n@PJL SET BOOKLET=ON\n", 14}, {"copy 2", 0}};
  const std::vector<BYTE> set = BuildPjlHeaderSet(headers, 64);
  ASSERT_EQ(set.size(), (64u + 4) * 2 + 16);
  EXPECT_EQ(morva::load_le32(set.data() + 0), 2u);
  EXPECT_EQ(morva::load_le32(set.data() + 4), 64u);
  EXPECT_EQ(morva::load_le32(set.data() + 8), 16u);
  EXPECT_EQ(morva::load_le32(set.data() + 12), 16u + 2 * 64);
  EXPECT_EQ(morva::load_le32(set.data() + 16), headers[0].text.size());
  EXPECT_EQ(std::memcmp(set.data() + 20, headers[0].text.data(), headers[0].text.size()), 0);
  EXPECT_EQ(morva::load_le32(set.data() + 80), 6u);
  EXPECT_EQ(morva::load_le32(set.data() + 144), 14u);
  EXPECT_EQ(morva::load_le32(set.data() + 148), 0u);

  std::vector<PjlHeader> back;
  ASSERT_TRUE(UnpackPjlHeaderSet(set.data(), static_cast<DWORD>(set.size()), &back));
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[0].text, headers[0].text);
  EXPECT_EQ(back[0].bookletOffset, 14u);
  EXPECT_EQ(back[1].text, "copy 2");

  // An empty set is its 16-byte head.
  const std::vector<BYTE> empty = BuildPjlHeaderSet({}, 64);
  ASSERT_EQ(empty.size(), 16u);
  ASSERT_TRUE(UnpackPjlHeaderSet(empty.data(), 16, &back));
  EXPECT_TRUE(back.empty());

  // Texts that do not fit their block, or booklet offsets past the text.
  EXPECT_TRUE(BuildPjlHeaderSet({{"12345", 0}}, 8).empty());
  EXPECT_TRUE(BuildPjlHeaderSet({{"1234", 5}}, 8).empty());
  EXPECT_TRUE(BuildPjlHeaderSet({{"", 0}}, 2).empty());
  EXPECT_EQ(BuildPjlHeaderSet({{"1234", 4}}, 8).size(), 28u);
}

// The set's own count and block size may not reach past the bytes that
// arrived, and every length inside must fit.
TEST(PjlHeaderSet, ReceivedSetsAreChecked) {
  const std::vector<BYTE> good = BuildPjlHeaderSet({{"abc", 1}, {"defg", 0}}, 16);
  ASSERT_EQ(good.size(), 56u);
  std::vector<PjlHeader> back;
  EXPECT_FALSE(UnpackPjlHeaderSet(good.data(), 15, &back));
  EXPECT_FALSE(UnpackPjlHeaderSet(good.data(), 55, &back));
  EXPECT_TRUE(UnpackPjlHeaderSet(good.data(), 56, &back));

  struct Patch {
    const char* what;
    DWORD offset, value;
  };
  const Patch patches[] = {
      {"more headers than sent", 0, 3},
      {"larger blocks than sent", 4, 17},
      {"count that overflows", 0, 0xFFFFFFFF},
      {"block size that overflows", 4, 0xFFFFFFFC},
      {"block too small for its length", 4, 3},
      {"text longer than its block", 16, 13},
      {"booklet offset past its text", 48, 4},
  };
  for (const Patch& p : patches) {
    std::vector<BYTE> bad = good;
    bad.resize(bad.size() + 64);  // room that the set's own fields must not claim unchecked
    morva::store_le32(bad.data() + p.offset, p.value);
    const DWORD size = std::string(p.what).find("than sent") != std::string::npos ? 56 : static_cast<DWORD>(bad.size());
    EXPECT_FALSE(UnpackPjlHeaderSet(bad.data(), size, &back)) << p.what;
  }
  // (0xFFFFFFFF + 4) x 0xFFFFFFFD + 16 wraps to 7 in 64-bit arithmetic.
  std::vector<BYTE> wrapping(good.size());
  morva::store_le32(wrapping.data(), 0xFFFFFFFD);
  morva::store_le32(wrapping.data() + 4, 0xFFFFFFFF);
  EXPECT_FALSE(UnpackPjlHeaderSet(wrapping.data(), static_cast<DWORD>(wrapping.size()), &back));
}

// ---- two-step transfer ---------------------------------------------------------

struct Receiver {
  std::vector<BYTE> held;
  std::vector<BYTE> heldOnSecondAsk;  // when not empty: the data changes between the two steps
  int calls = 0;
  INT failFirst = 0;
};

INT deliver(void* context, DWORD code, DWORD inSize, const void* in, DWORD outSize, void* out) {
  auto* r = static_cast<Receiver*>(context);
  ++r->calls;
  if (code != DRVESC_GET_SEALMARK_DATA) return 0;
  if (r->calls == 1 && r->failFirst != 0) return r->failFirst;
  const std::vector<BYTE>& data = r->calls > 1 && !r->heldOnSecondAsk.empty() ? r->heldOnSecondAsk : r->held;
  return AnswerSealmarkDataRequest(data.data(), static_cast<DWORD>(data.size()), inSize, in, outSize, out);
}

TEST(SealmarkData, TwoStepTransfer) {
  Receiver r;
  for (int i = 0; i < 300; ++i) r.held.push_back(static_cast<BYTE>(i));
  std::vector<BYTE> data;
  ASSERT_EQ(FetchSealmarkData(deliver, &r, &data), 1);
  EXPECT_EQ(data, r.held);
  EXPECT_EQ(r.calls, 2);

  // Nothing held: the size query alone, and no data.
  Receiver none;
  data.assign(3, 1);
  ASSERT_EQ(FetchSealmarkData(deliver, &none, &data), 1);
  EXPECT_TRUE(data.empty());
  EXPECT_EQ(none.calls, 1);

  // The size changes between the steps: the second answer fails.
  Receiver changed;
  changed.held.assign(10, 7);
  changed.heldOnSecondAsk.assign(11, 7);
  EXPECT_EQ(FetchSealmarkData(deliver, &changed, &data), -1);
  EXPECT_TRUE(data.empty());

  Receiver failing;
  failing.held.assign(4, 1);
  failing.failFirst = -1;
  EXPECT_EQ(FetchSealmarkData(deliver, &failing, &data), -1);
  EXPECT_EQ(failing.calls, 1);
}

TEST(SealmarkData, ReceiverAnswers) {
  const BYTE held[5] = {1, 2, 3, 4, 5};
  BYTE ask[2];
  BYTE out[8] = {};
  struct Case {
    WORD request;
    DWORD inSize, outSize;
    INT result;
  };
  const Case cases[] = {
      {0, 2, 4, 1}, {0, 2, 8, -1}, {0, 4, 4, -1}, {1, 2, 5, 1}, {1, 2, 4, -1}, {1, 2, 6, -1}, {2, 2, 4, -1},
  };
  for (const Case& c : cases) {
    WriteEscapeWord(ask, c.request);
    EXPECT_EQ(AnswerSealmarkDataRequest(held, 5, c.inSize, ask, c.outSize, out), c.result)
        << c.request << " " << c.inSize << " " << c.outSize;
  }
  WriteEscapeWord(ask, 0);
  ASSERT_EQ(AnswerSealmarkDataRequest(held, 5, 2, ask, 4, out), 1);
  EXPECT_EQ(morva::load_le32(out), 5u);
  WriteEscapeWord(ask, 1);
  EXPECT_EQ(AnswerSealmarkDataRequest(nullptr, 0, 2, ask, 0, out), -1);
}

}  // namespace
