// Whole spool files: job framing around the operator stream, several jobs
// in one file, malformed input rejected with its offset, and the command.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "glyph_fixtures.h"
#include "pdl_decode.h"
#include "render/pdl_operators.h"
#include "temp_root.h"

using namespace morva::render;
using morva::tools::DecodeSpoolFile;
using morva::tools::PdlDecodeMain;
using morva::tools::PdlDecodeOptions;
using morva::tools::PdlDecodeResult;
using morva::tools::PdlItem;
using morva::tools::PrintListing;

namespace {

using Bytes = std::vector<BYTE>;

void Append(Bytes& b, const std::string& text) { b.insert(b.end(), text.begin(), text.end()); }

const std::string kUel = "\x1b%-12345X";

std::string Header() {
  return kUel + "@PJL SET JOBATTR=\"@JOAU=user\"\n@PJL SET RESOLUTION=600\r\n" +
         "%QZVKM-1.5.1%\n%WINNT-a.0,VKMDRV-2907.1%\n";
}

std::string Trailer(bool info) {
  if (!info) return kUel + "@EOJO\n";
  return kUel + "@PJL COMMENT QZJOBINFO VERSION=1.2.0\n@PJL COMMENT QZJOBINFO BEGIN\n" +
         "@PJL COMMENT QZJOBINFO PAGEINFO=SIZE[210.0X297.0]:MODE[2]\n@PJL COMMENT QZJOBINFO END\n@PJL EOJ\n";
}

// The operators of a two-page job, as the job code writes them.
void WriteBody(MemorySink& s) {
  const float m[6] = {0.5f, 0, 0, 0.5f, 0, 0};
  ASSERT_EQ(Pdl_OpJobMode(&s, 0x90), 0);
  ASSERT_EQ(Pdl_OpSetValue(&s, 1, 600), 0);
  ASSERT_EQ(Pdl_OpComment(&s, "\"[2026,12,10,14:00:00][doc][port]\"", 0), 0);
  for (int page = 0; page < 2; ++page) {
    ASSERT_EQ(Pdl_OpFlagsFF(&s, 1), 0);
    ASSERT_EQ(Pdl_OpFlagAI(&s, 1), 0);
    ASSERT_EQ(Pdl_OpBeginPage(&s, 1, 7, 5, nullptr), 0);
    ASSERT_EQ(Pdl_OpOrientation(&s, 1), 0);
    ASSERT_EQ(Pdl_OpSetColour(&s, 2, 3, 0), 0);
    ASSERT_EQ(Pdl_OpRectangle(&s, {10, 10, 200, 100}), 0);
    PdlImageHeader h{};
    h.width = 4;
    h.height = 2;
    for (int i = 0; i < 6; ++i) h.matrix[i] = m[i];
    h.mask_kind = 1;
    h.source_kind = 2;
    h.format = 4;
    h.bits_per_component = 8;
    h.method = 1;
    h.data_bytes = 24;
    ASSERT_EQ(Pdl_OpImage(&s, h), 0);
    Bytes pixels(24, 0x80);
    ASSERT_EQ(Pdl_PutBytes(&s, pixels.data(), pixels.size()), 0);
    ASSERT_EQ(Pdl_OpDownloadGlyphShort(&s, 128), 0);
    ASSERT_EQ(morva::test::WriteBitmapGlyph(&s), 0);
    ASSERT_EQ(Pdl_OpDrawGlyphShort(&s, 50, 60, 128), 0);
    ASSERT_EQ(Pdl_OpEndPage(&s), 0);
    ASSERT_EQ(Pdl_OpSheetEnd(&s), 0);
  }
  ASSERT_EQ(Pdl_OpComment(&s, "\"[12ms]EndJob\"", 0), 0);
  ASSERT_EQ(Pdl_OpJobEnd(&s), 0);
}

// A job around the given body; *body_at is where the body starts.
Bytes Job(const Bytes& body, std::size_t* body_at = nullptr, bool info = true) {
  Bytes b;
  Append(b, Header());
  if (body_at) *body_at = b.size();
  b.insert(b.end(), body.begin(), body.end());
  Append(b, Trailer(info));
  return b;
}

Bytes Body() {
  MemorySink s;
  WriteBody(s);
  return {s.data(), s.data() + s.size()};
}

PdlDecodeResult Decode(const Bytes& b) { return DecodeSpoolFile(b.data(), b.size()); }

}  // namespace

TEST(SpoolFile, WholeJobIsReadWithItsFraming) {
  Bytes file = Job(Body());
  PdlDecodeResult r = Decode(file);
  ASSERT_TRUE(r.ok) << r.error << " at " << r.error_offset;
  EXPECT_EQ(r.summary.jobs, 1u);
  EXPECT_EQ(r.summary.pages, 2u);
  EXPECT_EQ(r.summary.image_bytes, 48u);
  EXPECT_EQ(r.summary.glyph_records, 2u);
  EXPECT_EQ(r.summary.op_counts["Cq"], 2u);
  EXPECT_EQ(r.summary.op_counts["EP"], 2u);

  std::vector<PdlItem::Kind> framing;
  for (const PdlItem& it : r.items)
    if (it.kind != PdlItem::Operator && it.kind != PdlItem::Data && it.kind != PdlItem::Glyph)
      framing.push_back(it.kind);
  EXPECT_EQ(framing, (std::vector<PdlItem::Kind>{PdlItem::Uel, PdlItem::HeaderLine, PdlItem::HeaderLine,
                                                 PdlItem::VersionLine, PdlItem::VersionLine, PdlItem::Uel,
                                                 PdlItem::InfoLine, PdlItem::InfoLine, PdlItem::InfoLine,
                                                 PdlItem::InfoLine, PdlItem::EojLine}));
  // Every byte of the file belongs to exactly one item, in order.
  std::size_t at = 0;
  for (const PdlItem& it : r.items) {
    EXPECT_EQ(it.offset, at) << it.text;
    at = it.offset + it.length;
  }
  EXPECT_EQ(at, file.size());

  std::ostringstream listing;
  PrintListing(r, file.data(), listing);
  EXPECT_NE(listing.str().find("HDR   %QZVKM-1.5.1%"), std::string::npos);
  EXPECT_NE(listing.str().find("Ec  1 7 5"), std::string::npos);
  EXPECT_NE(listing.str().find("INFO  PAGEINFO=SIZE[210.0X297.0]:MODE[2]"), std::string::npos);
}

TEST(SpoolFile, SeveralJobsWithBlockBeforeTheUelAndPlainTrailer) {
  Bytes file = Job(Body());
  Append(file, "QPIF-BLOCK");
  Bytes second = Job(Body(), nullptr, false);
  file.insert(file.end(), second.begin(), second.end());
  PdlDecodeResult r = Decode(file);
  ASSERT_TRUE(r.ok) << r.error << " at " << r.error_offset;
  EXPECT_EQ(r.summary.jobs, 2u);
  EXPECT_EQ(r.summary.pages, 4u);
  std::size_t blocks = 0, eoj = 0;
  for (const PdlItem& it : r.items) {
    blocks += it.kind == PdlItem::Qpif;
    eoj += it.kind == PdlItem::EojLine;
  }
  EXPECT_EQ(blocks, 1u);
  EXPECT_EQ(eoj, 2u);
}

// Each malformed file is refused at the offset of what went wrong.
TEST(SpoolFile, MalformedInputIsRefusedWithItsOffset) {
  const Bytes body = Body();
  struct Case {
    const char* what;
    std::function<Bytes(std::size_t* expect)> make;
    const char* message;
  };
  auto body_with = [](const std::function<void(MemorySink&)>& tail, std::size_t* tail_at) {
    MemorySink s;
    WriteBody(s);
    *tail_at = s.size();
    tail(s);
    return Bytes(s.data(), s.data() + s.size());
  };
  const Case cases[] = {
      {"unknown opcode",
       [&](std::size_t* expect) {
         std::size_t at, tail;
         Bytes b = body_with([](MemorySink& s) { Pdl_PutWord(&s, 0x5A5A); }, &tail);
         Bytes f = Job(b, &at);
         *expect = at + tail;
         return f;
       },
       "unknown opcode 0x5A5A"},
      {"operand cut by the end of the file",
       [&](std::size_t* expect) {
         std::size_t at, tail;
         Bytes b = body_with([](MemorySink& s) { Pdl_OpRectangle(&s, {1, 2, 3, 4}); }, &tail);
         Bytes f = Job(b, &at);
         f.resize(at + tail + 5);  // opcode, one word and half of the next
         *expect = at + tail + 4;
         return f;
       },
       "runs past the end"},
      {"image data past the end",
       [&](std::size_t* expect) {
         std::size_t at, tail;
         Bytes b = body_with(
             [](MemorySink& s) {
               PdlImageHeader h{};
               h.width = 100;
               h.height = 100;
               h.mask_kind = 1;
               h.source_kind = 2;
               h.format = 3;
               h.bits_per_component = 8;
               h.method = 1;
               h.data_bytes = 10000;
               Pdl_OpImage(&s, h);
             },
             &tail);
         Bytes f = Job(b, &at);
         f.resize(at + b.size() + 100);
         *expect = at + b.size();
         return f;
       },
       "Cq data runs past the end"},
      {"colour space 5",
       [&](std::size_t* expect) {
         std::size_t at, tail;
         Bytes b = body_with([](MemorySink& s) { Pdl_PutWord(&s, 0x414D); Pdl_PutByte(&s, 2); Pdl_PutByte(&s, 5); },
                             &tail);
         Bytes f = Job(b, &at);
         *expect = at + tail + 3;
         return f;
       },
       "colour space 5"},
      {"odd byte count of codes",
       [&](std::size_t* expect) {
         std::size_t at, tail;
         Bytes b = body_with(
             [](MemorySink& s) {
               Pdl_PutWord(&s, 0x4258); Pdl_PutByte(&s, 1); Pdl_PutWord(&s, 9); Pdl_PutWord(&s, 3);
               Pdl_PutBytes(&s, "abc", 3);
             },
             &tail);
         Bytes f = Job(b, &at);
         *expect = at + tail + 5;
         return f;
       },
       "odd byte count"},
      {"text run kind byte wrong",
       [&](std::size_t* expect) {
         std::size_t at, tail;
         Bytes b = body_with([](MemorySink& s) { Pdl_PutWord(&s, 0x4258); Pdl_PutByte(&s, 2); }, &tail);
         Bytes f = Job(b, &at);
         *expect = at + tail + 2;
         return f;
       },
       "expected 1"},
      {"glyph record too small",
       [&](std::size_t* expect) {
         std::size_t at, tail;
         Bytes b = body_with([](MemorySink& s) { Pdl_OpDownloadGlyph(&s, 0); Pdl_PutDword(&s, 0x400000 | 10); },
                             &tail);
         Bytes f = Job(b, &at);
         *expect = at + tail + 6;
         return f;
       },
       "bitmap glyph record of 10 bytes"},
      {"no trailer",
       [&](std::size_t* expect) {
         std::size_t at;
         Bytes f = Job(body, &at);
         f.resize(at + body.size());
         *expect = f.size();
         return f;
       },
       "without the job trailer"},
      {"unexpected trailer line",
       [&](std::size_t* expect) {
         std::size_t at;
         Bytes f = Job(body, &at, false);
         f.resize(at + body.size() + kUel.size());
         *expect = f.size();
         Append(f, "@PJL SET X=1\n");
         return f;
       },
       "unexpected line in the job trailer"},
      {"malformed version line",
       [&](std::size_t* expect) {
         Bytes f;
         Append(f, kUel + "@PJL X\n%QZVKM-1.x.1%\n");
         *expect = kUel.size() + 7;
         return f;
       },
       "malformed %QZVKM-"},
      {"second header line missing",
       [&](std::size_t* expect) {
         Bytes f;
         Append(f, kUel + "%QZVKM-1.5.1%\n%WINNT-a.0%\n");
         *expect = kUel.size() + 14;
         return f;
       },
       "%WINNT-"},
      {"zero byte before the UEL",
       [&](std::size_t* expect) {
         Bytes f;
         Append(f, "QPIF");
         f.push_back(0);
         Append(f, Header());
         *expect = 4;
         return f;
       },
       "zero byte"},
      {"no UEL at all",
       [&](std::size_t* expect) {
         Bytes f;
         Append(f, "%QZVKM-1.5.1%\n");
         *expect = 0;
         return f;
       },
       "no UEL"},
      {"control byte in the PJL header",
       [&](std::size_t* expect) {
         Bytes f;
         Append(f, kUel + "@PJL \x01\n");
         *expect = kUel.size() + 5;
         return f;
       },
       "control byte"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::size_t expect = 0;
    Bytes f = c.make(&expect);
    PdlDecodeResult r = Decode(f);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error_offset, expect) << r.error;
    EXPECT_NE(r.error.find(c.message), std::string::npos) << r.error;
  }
}

TEST(SpoolFile, CommandExitsWithTheOffsetOfAnError) {
  morva::test::TempRoot root;
  std::string good = root.path() + "/good.prn";
  std::string bad = root.path() + "/bad.prn";
  Bytes file = Job(Body());
  std::ofstream(good, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), file.size());
  Bytes cut(file.begin(), file.end() - 3);
  std::ofstream(bad, std::ios::binary).write(reinterpret_cast<const char*>(cut.data()), cut.size());

  auto run = [](std::vector<std::string> args, std::string* out, std::string* err) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    std::ostringstream o, e;
    int rc = PdlDecodeMain(static_cast<int>(argv.size()), argv.data(), o, e);
    *out = o.str();
    *err = e.str();
    return rc;
  };
  std::string out, err;
  EXPECT_EQ(run({"pdl_decode", good}, &out, &err), 0);
  EXPECT_NE(out.find("EOJ   @PJL EOJ"), std::string::npos);
  EXPECT_EQ(run({"pdl_decode", "--summary", good}, &out, &err), 0);
  EXPECT_NE(out.find("pages: 2"), std::string::npos);
  EXPECT_NE(out.find("image bytes: 48"), std::string::npos);
  EXPECT_EQ(run({"pdl_decode", bad}, &out, &err), 1);
  std::size_t eoj_line = file.size() - std::string("@PJL EOJ\n").size();
  EXPECT_NE(err.find("error at offset " + std::to_string(eoj_line)), std::string::npos) << err;
  EXPECT_EQ(run({"pdl_decode", root.path() + "/missing.prn"}, &out, &err), 2);
  EXPECT_TRUE(morva::tools::DecodeSpoolFilePath(good).ok);
  EXPECT_EQ(morva::tools::DecodeSpoolFilePath(good).summary.pages, 2u);
  EXPECT_FALSE(morva::tools::DecodeSpoolFilePath(root.path() + "/missing.prn").ok);
  EXPECT_EQ(run({"pdl_decode"}, &out, &err), 2);

  // The installed program behaves the same.
  std::string cmd = std::string(MORVA_BIN_DIR) + "/pdl_decode --summary " + good + " > /dev/null";
  EXPECT_EQ(std::system(cmd.c_str()), 0);
  cmd = std::string(MORVA_BIN_DIR) + "/pdl_decode " + bad + " > /dev/null 2>&1";
  int status = std::system(cmd.c_str());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
}
