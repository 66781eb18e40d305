// The DMA_ accessors over a caller's context: values, strings in code pages
// 1252 and 932, LOGFONTs, enumeration, attributes and the fax count.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ddm/ddmid.h"
#include "dma_context_fixture.h"
#include "ddm/dma.h"
#include "ddm/public_ids.h"
#include "fax/fax_blob.h"
#include "pi/scramble.h"
#include "temp_root.h"
#include "win/codepage.h"
#include "win/endian.h"

using namespace morva::ddm;

namespace {

class Dma : public morva::test::DmaContextTest {
 protected:
  void SetUp() override {
    DmaContextTest::SetUp();
    morva::fax::FaxBook_WriteTag(book.data(), morva::fax::kTagDfax002);
  }
  BYTE* field(WORD publicId) {
    WORD ddmid = 0;
    EXPECT_TRUE(dma_PublicToDdmid(publicId, &ddmid));
    DdmidLocation loc;
    EXPECT_EQ(dma_FindDescriptor(ddmid, dm.data(), pd.data(), &loc), kDdmOk);
    return loc.address;
  }
  std::string get_string(WORD id, DWORD size, LONG expected = DMA_OK) {
    std::vector<char> buf(size, '?');
    DWORD s = size;
    EXPECT_EQ(DMA_GetStringData(ctx.get(), id, buf.data(), &s), expected) << id;
    return std::string(buf.data(), strnlen(buf.data(), size));
  }
};

TEST_F(Dma, ValuesAndKinds) {
  morva::store_le16(dm.data() + 222, 8775);
  DWORD v = 0;
  EXPECT_EQ(DMA_GetValue(ctx.get(), 0x102, &v), DMA_OK);
  EXPECT_EQ(v, 8775u);
  EXPECT_EQ(DMA_GetValue(ctx.get(), 0x103, &v), DMA_ERR_IS_STRING);
  EXPECT_EQ(DMA_GetValue(ctx.get(), 0x130, &v), DMA_ERR_IS_LOGFONT);
  EXPECT_EQ(DMA_GetValue(ctx.get(), 0x9999, &v), DMA_ERR_UNMAPPED);
  EXPECT_EQ(DMA_GetValue(ctx.get(), 0xA001, &v), DMA_ERR_IS_STRING);
  EXPECT_EQ(DMA_GetValue(ctx.get(), 0x102, nullptr), DMA_ERR_FAILED);
  // Writes go through the engine, dependent settings included.
  EXPECT_EQ(DMA_SetValue(ctx.get(), 0x10B, 5), DMA_OK);  // DDMID 267
  ASSERT_EQ(DMA_GetValue(ctx.get(), 0x145, &v), DMA_OK);  // DDMID 325
  EXPECT_EQ(v, 1u);
  EXPECT_EQ(DMA_SetValue(ctx.get(), 0x10B, 9), DMA_ERR_FAILED);
  ctx->printerData = nullptr;
  EXPECT_EQ(DMA_GetValue(ctx.get(), 0x403, &v), DMA_ERR_FAILED);
  std::string s(16, '\0');
  DWORD size = 16;
  EXPECT_EQ(DMA_GetStringData(ctx.get(), 0x102, s.data(), &size), DMA_ERR_WRONG_KIND);
  EXPECT_EQ(DMA_GetStringData(ctx.get(), 0x130, s.data(), &size), DMA_ERR_IS_LOGFONT);
  EXPECT_EQ(DMA_GetLogFontData(ctx.get(), 0x103, nullptr, &size), DMA_ERR_IS_STRING);
  EXPECT_EQ(DMA_GetLogFontData(ctx.get(), 0x102, nullptr, &size), DMA_ERR_WRONG_KIND);
}

TEST_F(Dma, StringsInCodePage1252) {
  ASSERT_TRUE(morva::platform::set_ansi_code_page(1252));
  // 0x409 is DDMID 5129, a 50-byte field.
  ASSERT_EQ(DMA_SetStringData(ctx.get(), 0x409, "Caf\xE9 M\xFCller", 11), DMA_OK);
  EXPECT_EQ(morva::load_le16(field(0x409) + 6), 0xE9);
  EXPECT_EQ(get_string(0x409, 25), "Caf\xE9 M\xFCller");
  DWORD size = 0;
  EXPECT_EQ(DMA_GetStringData(ctx.get(), 0x409, nullptr, &size), DMA_ERR_BUFFER);
  EXPECT_EQ(size, 25u);
  size = 24;
  std::string small(24, '\0');
  EXPECT_EQ(DMA_GetStringData(ctx.get(), 0x409, small.data(), &size), DMA_ERR_BUFFER);
  EXPECT_EQ(DMA_SetStringData(ctx.get(), 0x409, "x", 26), DMA_ERR_TOO_LONG);
  // The actual-length pair.
  ASSERT_EQ(DMA_SetStringData_StrLength(ctx.get(), 0x409, "abcdefghij", 0), DMA_OK);
  size = 0;
  EXPECT_EQ(DMA_GetStringData_StrLength(ctx.get(), 0x409, nullptr, &size), DMA_ERR_BUFFER);
  EXPECT_EQ(size, 11u);
  std::string out(11, '\0');
  EXPECT_EQ(DMA_GetStringData_StrLength(ctx.get(), 0x409, out.data(), &size), DMA_OK);
  EXPECT_EQ(out, std::string("abcdefghij\0", 11));
  size = 10;
  EXPECT_EQ(DMA_GetStringData_StrLength(ctx.get(), 0x409, out.data(), &size), DMA_ERR_BUFFER);
  EXPECT_EQ(DMA_SetStringData_StrLength(ctx.get(), 0x409, std::string(25, 'y').c_str(), 0), DMA_ERR_TOO_LONG);
  EXPECT_EQ(DMA_SetStringData_StrLength(ctx.get(), 0x409, std::string(24, 'y').c_str(), 0), DMA_OK);
}

// Double-byte text is never cut inside a character, and a cut is reported.
TEST_F(Dma, DoubleByteTextInCodePage932) {
  ASSERT_TRUE(morva::platform::set_ansi_code_page(932));
  // 24 Japanese characters fill the 50-byte field of 0x409 but need 48
  // ANSI bytes, more than the 25 the field size promises.
  std::u16string wide(24, u'\u3042');
  std::string sjis;
  for (int i = 0; i < 24; ++i) sjis += "\x82\xA0";
  ASSERT_EQ(morva::u16_to_ansi(wide, 932), sjis);
  ASSERT_EQ(DMA_SetStringData(ctx.get(), 0x409, sjis.c_str(), 24), DMA_OK);
  std::vector<char> buf(25, '?');
  DWORD size = 25;
  EXPECT_EQ(DMA_GetStringData(ctx.get(), 0x409, buf.data(), &size), DMA_ERR_BUFFER);
  EXPECT_EQ(size, 49u);
  EXPECT_EQ(std::string(buf.data()), sjis.substr(0, 24));  // 12 whole characters
  buf.assign(49, '?');
  EXPECT_EQ(DMA_GetStringData(ctx.get(), 0x409, buf.data(), &size), DMA_OK);
  EXPECT_EQ(std::string(buf.data()), sjis);
  // Mixed text cut where a whole character no longer fits.
  std::string mixed = "a";
  mixed.append(sjis, 0, 26);
  ASSERT_EQ(DMA_SetStringData(ctx.get(), 0x409, mixed.c_str(), 14), DMA_OK);
  buf.assign(25, '?');
  size = 25;
  EXPECT_EQ(DMA_GetStringData(ctx.get(), 0x409, buf.data(), &size), DMA_ERR_BUFFER);
  EXPECT_EQ(std::string(buf.data()), mixed.substr(0, 23));
  // LOGFONT face names are cut between characters too.
  LOGFONTA lf{};
  std::memcpy(lf.lfFaceName, sjis.data(), 31);
  ASSERT_EQ(DMA_SetLogFontData(ctx.get(), 0x130, &lf, 60), DMA_OK);
  LOGFONTA back{};
  size = 60;
  ASSERT_EQ(DMA_GetLogFontData(ctx.get(), 0x130, &back, &size), DMA_OK);
  EXPECT_EQ(std::string(back.lfFaceName), sjis.substr(0, 30));
}

TEST_F(Dma, NarrowTextReadsOnlyTheCallersText) {
  // 0x149 is DDMID 329, 49 bytes of ANSI text. The caller's buffer holds
  // four bytes; nothing past its NUL is read.
  auto text = std::make_unique<char[]>(4);
  std::memcpy(text.get(), "abc", 4);
  ASSERT_EQ(DMA_SetStringData(ctx.get(), 0x149, text.get(), 3), DMA_OK);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(field(0x149))), "abc");
  DWORD size = 0;
  EXPECT_EQ(DMA_GetStringData(ctx.get(), 0x149, nullptr, &size), DMA_ERR_BUFFER);
  EXPECT_EQ(size, 49u);
  EXPECT_EQ(get_string(0x149, 49), "abc");
  EXPECT_EQ(DMA_SetStringData(ctx.get(), 0x149, "x", 50), DMA_ERR_TOO_LONG);
  ASSERT_EQ(DMA_SetStringData(ctx.get(), 0x149, std::string(60, 'n').c_str(), 49), DMA_OK);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(field(0x149))), std::string(48, 'n'));
  EXPECT_EQ(DMA_SetStringData_StrLength(ctx.get(), 0x149, std::string(49, 'n').c_str(), 0), DMA_ERR_TOO_LONG);
}

TEST_F(Dma, EncodedWriteOnlyTexts) {
  DWORD size = 0;
  EXPECT_EQ(DMA_GetStringData(ctx.get(), 0x9002, nullptr, &size), DMA_ERR_BUFFER);
  EXPECT_EQ(size, 129u);
  std::string buf(200, '\0');
  size = 200;
  EXPECT_EQ(DMA_GetStringData(ctx.get(), 0x9002, buf.data(), &size), DMA_ERR_FAILED);
  EXPECT_EQ(DMA_SetStringData(ctx.get(), 0x9001, "12345678901234", 14), DMA_ERR_TOO_LONG);
  // The stored form is the Base64 text of the scrambled bytes.
  ASSERT_EQ(DMA_SetStringData(ctx.get(), 0x9001, "PIN-4711", 8), DMA_OK);
  std::string stored;
  for (const BYTE* p = field(0x9001); morva::load_le16(p) != 0; p += 2) stored.push_back(static_cast<char>(*p));
  BYTE decoded[16];
  int n = 0;
  ASSERT_EQ(morva::pi::Base64Decode(stored.c_str(), static_cast<int>(stored.size()), decoded, &n, 16), 0);
  ASSERT_EQ(morva::pi::ScrambleBytes(decoded, n, decoded, &n, 16), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(decoded), static_cast<std::size_t>(n)), "PIN-4711");
  // 13 bytes are within the stated limit but their encoded form (20
  // characters) does not fit the 17-character field: refused, field kept.
  EXPECT_EQ(DMA_SetStringData(ctx.get(), 0x9001, "1234567890123", 13), DMA_ERR_TOO_LONG);
  EXPECT_EQ(morva::load_le16(field(0x9001)), static_cast<WORD>(stored[0]));
  ASSERT_EQ(DMA_SetStringData(ctx.get(), 0x9001, "", 0), DMA_OK);
  EXPECT_EQ(morva::load_le16(field(0x9001)), 0);
}

TEST_F(Dma, FaxBookTexts) {
  ASSERT_EQ(DMA_SetStringData(ctx.get(), 0xA001, "Sender", 6), DMA_OK);
  EXPECT_EQ(get_string(0xA001, 7), "Sender");
  DWORD size = 3;
  std::string small(3, '\0');
  EXPECT_EQ(DMA_GetStringData(ctx.get(), 0xA001, small.data(), &size), DMA_ERR_BUFFER);
  EXPECT_EQ(size, 7u);
  EXPECT_EQ(DMA_SetStringData(ctx.get(), 0xA001, std::string(41, 'a').c_str(), 41), DMA_ERR_TOO_LONG);
  EXPECT_EQ(DMA_SetStringData(ctx.get(), 0xA002, std::string(670, 'b').c_str(), 670), DMA_OK);
  EXPECT_EQ(DMA_GetStringData_StrLength(ctx.get(), 0xA001, nullptr, &size), DMA_ERR_UNMAPPED);
  ctx->faxBook = nullptr;
  EXPECT_EQ(DMA_SetStringData(ctx.get(), 0xA001, "x", 1), DMA_ERR_UNMAPPED);
}

TEST_F(Dma, LogFontConversion) {
  LOGFONTA lf{};
  lf.lfHeight = 70000;
  lf.lfWidth = -5;
  lf.lfWeight = 700;
  lf.lfItalic = 1;
  lf.lfCharSet = 128;
  lf.lfPitchAndFamily = 0x31;
  std::strcpy(lf.lfFaceName, "Arial");
  ASSERT_EQ(DMA_SetLogFontData(ctx.get(), 0x130, &lf, 60), DMA_OK);  // DDMID 304
  EXPECT_EQ(morva::load_le32(dm.data() + 588), 4464u);
  EXPECT_EQ(static_cast<LONG>(morva::load_le32(dm.data() + 592)), -5);
  EXPECT_EQ(morva::load_le16(dm.data() + 616), u'A');
  EXPECT_EQ(DMA_SetLogFontData(ctx.get(), 0x130, &lf, 61), DMA_ERR_TOO_LONG);
  DWORD size = 0;
  EXPECT_EQ(DMA_GetLogFontData(ctx.get(), 0x130, nullptr, &size), DMA_ERR_BUFFER);
  EXPECT_EQ(size, 60u);
  LOGFONTA back{};
  size = 59;
  EXPECT_EQ(DMA_GetLogFontData(ctx.get(), 0x130, &back, &size), DMA_ERR_BUFFER);
  size = 60;
  ASSERT_EQ(DMA_GetLogFontData(ctx.get(), 0x130, &back, &size), DMA_OK);
  EXPECT_EQ(back.lfHeight, 4464);
  EXPECT_EQ(back.lfWeight, 700);
  EXPECT_EQ(back.lfItalic, 1);
  EXPECT_EQ(back.lfCharSet, 128);
  EXPECT_EQ(back.lfPitchAndFamily, 0x31);
  EXPECT_STREQ(back.lfFaceName, "Arial");
}

TEST_F(Dma, Enumeration) {
  int named = 0;
  for (const DdmidRange* r = dma_RangeTable(); r->list != nullptr; ++r) {
    for (const DdmidDescriptor* d = r->list; d->ddmid != 0; ++d) {
      WORD p;
      named += dma_DdmidToPublic(d->ddmid, &p);
    }
  }
  WORD count = 0;
  EXPECT_EQ(DMA_EnumDMAID_ByTargetInfo(ctx.get(), 1, &count, nullptr), DMA_ERR_BUFFER);
  EXPECT_EQ(count, named);
  // Attribute words are written whole, whatever the buffer held.
  std::vector<DWORD> pairs(2 * count, 0xFFFFFFFFu);
  ASSERT_EQ(DMA_EnumDMAID_ByTargetInfo(ctx.get(), 1, &count, pairs.data()), DMA_OK);
  EXPECT_EQ(pairs[0], 0x101u);  // DDMID 257, first of the first range
  EXPECT_EQ(pairs[1], 0u);
  for (WORD i = 0; i < count; ++i) EXPECT_LE(pairs[2 * i + 1], 2u);
  WORD few = 3;
  EXPECT_EQ(DMA_EnumDMAID_ByTargetInfo(ctx.get(), 1, &few, pairs.data()), DMA_ERR_BUFFER);
  // A structure's fields: the fax destination has 17 with public ids.
  count = 100;
  ASSERT_EQ(DMA_EnumDMAID_ByTargetInfo(ctx.get(), 5, &count, pairs.data()), DMA_OK);
  EXPECT_EQ(count, 17);
  EXPECT_EQ(DMA_EnumDMAID_ByTargetInfo(ctx.get(), 6, &count, pairs.data()), DMA_ERR_UNKNOWN_STRUCT);
}

TEST_F(Dma, Attributes) {
  WORD ids[] = {0x102, 0x103, 0x130, 0xA001, 0x9002};
  DmaAttribute attrs[5];
  WORD count = 5;
  ASSERT_EQ(DMA_QueryAttributes(ctx.get(), &count, ids, attrs), DMA_OK);
  EXPECT_EQ(attrs[0].kind, 0u);
  EXPECT_EQ(attrs[0].size, 4u);
  EXPECT_EQ(attrs[1].kind, 1u);
  EXPECT_EQ(attrs[1].size, 32u);
  EXPECT_EQ(attrs[2].kind, 2u);
  EXPECT_EQ(attrs[2].size, 60u);
  EXPECT_EQ(attrs[3].kind, 1u);
  EXPECT_EQ(attrs[3].size, 1u);
  EXPECT_EQ(attrs[4].size, 129u);
  WORD bad[] = {0x9999};
  count = 1;
  EXPECT_EQ(DMA_QueryAttributes(ctx.get(), &count, bad, attrs), DMA_ERR_UNMAPPED);

  // Every accessible id: ask for the count, then for the records. A larger
  // count gets exactly the ids found.
  count = 0;
  ASSERT_EQ(DMA_QueryAttributes(ctx.get(), &count, nullptr, nullptr), DMA_ERR_BUFFER);
  const WORD n = count;
  EXPECT_EQ(n, 1143 + 2);  // every mapped id and the two fax-book texts
  std::vector<DmaAttribute> all(n + 5);
  count = static_cast<WORD>(n + 5);
  ASSERT_EQ(DMA_QueryAttributes(ctx.get(), &count, nullptr, all.data()), DMA_OK);
  EXPECT_EQ(count, n);
  EXPECT_EQ(all[0].publicId, 1);
  EXPECT_EQ(all[n - 1].publicId, 0xA002);
}

TEST_F(Dma, SupportInfo) {
  EXPECT_EQ(DMA_QuerySWSupportInfo(ctx.get(), 2, 0), DMA_ERR_UNKNOWN_KIND);
  EXPECT_EQ(DMA_QuerySWSupportInfo(ctx.get(), 1, 0), DMA_ERR_NOT_SUPPORTED);
  morva::store_le32(pd.data() + 7960, 1);
  EXPECT_EQ(DMA_QuerySWSupportInfo(ctx.get(), 1, 0), DMA_OK);
  ctx->printerData = nullptr;
  EXPECT_EQ(DMA_QuerySWSupportInfo(ctx.get(), 1, 0), DMA_ERR_UNREADABLE);
}

TEST_F(Dma, FaxDestinationCount) {
  DWORD v = 0;
  ASSERT_EQ(DMA_SetFaxAddressNum(ctx.get(), 2, FALSE), DMA_OK);
  WORD count = 0;
  ASSERT_EQ(DMA_GetFaxAddressNum(book.data(), &count), DMA_OK);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(DMA_SetFaxAddressNum(ctx.get(), -3, TRUE), DMA_ERR_FAILED);
  ASSERT_EQ(DMA_GetValue(ctx.get(), 0x17B + (380 - 379), &v), DMA_OK);  // DDMID 380
  EXPECT_EQ(v, 2u);
  ASSERT_EQ(DMA_SetFaxAddressNum(ctx.get(), 3, TRUE), DMA_OK);
  ASSERT_EQ(DMA_GetFaxAddressNum(book.data(), &count), DMA_OK);
  EXPECT_EQ(count, 5);
  // Without a fax book the count is left alone in both places.
  ctx->faxBook = nullptr;
  EXPECT_EQ(DMA_SetFaxAddressNum(ctx.get(), 9, FALSE), DMA_ERR_FAILED);
  ASSERT_EQ(DMA_GetValue(ctx.get(), 0x17C, &v), DMA_OK);
  EXPECT_EQ(v, 5u);
  book[0] = 'X';
  EXPECT_EQ(DMA_GetFaxAddressNum(book.data(), &count), DMA_ERR_FAILED);
}

}  // namespace
