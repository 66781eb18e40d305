// The per-user record (versions 1-4) and the DFAX001 → DFAX002 conversion.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ddm/ddmid.h"
#include "ddm/dma.h"
#include "fax/fax_blob.h"
#include "temp_root.h"
#include "win/endian.h"

using namespace morva::ddm;
using morva::load_le16;
using morva::store_le16;

namespace {

void put_text(BYTE* p, const std::u16string& s) {
  for (std::size_t i = 0; i < s.size(); ++i) store_le16(p + 2 * i, s[i]);
}
std::u16string text_at(const BYTE* p, std::size_t maxChars) {
  std::u16string s;
  for (std::size_t i = 0; i < maxChars && load_le16(p + 2 * i) != 0; ++i) s.push_back(load_le16(p + 2 * i));
  return s;
}

// Where each field of a version-4 record comes from in versions 1-3
// (0: absent), and a distinct text or byte for it.
struct FieldSource {
  DWORD v4, size, v1, v2, v3;
  bool text;
};
const FieldSource kFields[] = {
    {76, 50, 396, 74, 74, true},      {126, 10, 446, 124, 124, true},  {136, 2, 456, 134, 134, false},
    {138, 258, 458, 136, 136, true},  {396, 34, 0, 394, 394, true},    {432, 66, 72, 430, 432, true},
    {498, 258, 138, 496, 498, true},  {756, 346, 0, 754, 756, true},   {1102, 66, 0, 0, 1102, true},
    {1168, 130, 0, 0, 1168, true},    {1298, 1, 0, 0, 1298, false},    {1300, 4, 0, 0, 1300, false},
    {1312, 2, 0, 0, 1312, false},     {1314, 50, 0, 0, 1922, true},    {1364, 34, 0, 0, 1972, true},
    {1402, 66, 0, 0, 1314, true},     {1468, 346, 0, 0, 1380, true},   {1814, 66, 0, 0, 1726, true},
    {1880, 130, 0, 0, 1792, true},    {2010, 50, 0, 0, 2008, true},    {2060, 34, 0, 0, 2058, true},
    {2094, 1, 0, 0, 2006, false},
};

// The distinct text of field i: "F" and a letter.
std::u16string field_text(std::size_t i) {
  std::u16string s = u"F";
  s.push_back(static_cast<char16_t>(u'a' + i));
  return s;
}

std::vector<BYTE> old_record(WORD version, DWORD size) {
  std::vector<BYTE> r(size);
  store_le16(r.data(), version);
  for (std::size_t i = 0; i < std::size(kFields); ++i) {
    const FieldSource& f = kFields[i];
    const DWORD at = version == 1 ? f.v1 : version == 2 ? f.v2 : f.v3;
    if (at == 0) continue;
    if (f.text) {
      put_text(r.data() + at, field_text(i));
    } else {
      r[at] = static_cast<BYTE>(0x40 + i);
    }
  }
  return r;
}

TEST(UserSettingInfo, OlderVersionsConvertWithFieldsInPlace) {
  const std::pair<WORD, DWORD> versions[] = {{1, 716}, {2, 1100}, {3, 2092}};
  for (auto [version, size] : versions) {
    SCOPED_TRACE("version " + std::to_string(version));
    const auto src = old_record(version, size);
    std::vector<BYTE> dst(kUserSettingInfoSize);
    ASSERT_EQ(dma_ConvertUserSettingInfo(src.data(), size, dst.data(), FALSE), 1);
    for (std::size_t i = 0; i < std::size(kFields); ++i) {
      const FieldSource& f = kFields[i];
      const DWORD at = version == 1 ? f.v1 : version == 2 ? f.v2 : f.v3;
      if (at == 0) {
        EXPECT_EQ(dst[f.v4], 0) << f.v4;
      } else if (f.text) {
        EXPECT_EQ(text_at(dst.data() + f.v4, f.size / 2), field_text(i)) << f.v4;
      } else {
        EXPECT_EQ(dst[f.v4], 0x40 + i) << f.v4;
      }
    }
    EXPECT_EQ(load_le16(dst.data()), 0);  // the header is the caller's
    // A record shorter than its version holds is refused.
    EXPECT_EQ(dma_ConvertUserSettingInfo(src.data(), size - 1, dst.data(), FALSE), 0);
  }
  std::vector<BYTE> v4(kUserSettingInfoSize, 0x5A), dst(kUserSettingInfoSize);
  store_le16(v4.data(), 4);
  ASSERT_EQ(dma_ConvertUserSettingInfo(v4.data(), kUserSettingInfoSize, dst.data(), TRUE), 1);
  EXPECT_EQ(dst, v4);
  store_le16(v4.data(), 5);
  EXPECT_EQ(dma_ConvertUserSettingInfo(v4.data(), kUserSettingInfoSize, dst.data(), FALSE), 0);
}

TEST(UserSettingInfo, AccountFlagSetsTheAccountWordOfOldRecords) {
  std::vector<BYTE> dst(kUserSettingInfoSize);
  auto v1 = old_record(1, 716);
  ASSERT_EQ(dma_ConvertUserSettingInfo(v1.data(), 716, dst.data(), TRUE), 1);
  EXPECT_EQ(load_le16(dst.data() + 1312), 7);
  std::fill(dst.begin(), dst.end(), 0);
  ASSERT_EQ(dma_ConvertUserSettingInfo(v1.data(), 716, dst.data(), FALSE), 1);
  EXPECT_EQ(load_le16(dst.data() + 1312), 0);
  auto v3 = old_record(3, 2092);
  store_le16(v3.data() + 1312, 3);
  ASSERT_EQ(dma_ConvertUserSettingInfo(v3.data(), 2092, dst.data(), TRUE), 1);
  EXPECT_EQ(load_le16(dst.data() + 1312), 3);
}

class UserRecord : public ::testing::Test {
 protected:
  morva::test::TempRoot root;
  std::vector<BYTE> dm = std::vector<BYTE>(kPrivateDevmodeSize);
  std::vector<BYTE> pd = std::vector<BYTE>(kPrinterDataSize);
  std::unique_ptr<DMA_CONTEXT> ctx = std::make_unique<DMA_CONTEXT>();
  void SetUp() override {
    ctx->devmode = dm.data();
    ctx->printerData = pd.data();
    std::strcpy(ctx->name, "Jane Operator");
  }
  void set_text(WORD ddmid, const std::u16string& s) {
    const char16_t* p = s.c_str();
    ASSERT_EQ(dma_SetValue(ddmid, nullptr, pd.data(), kTypeString, static_cast<DWORD>(2 * s.size() + 2), &p), 0);
  }
  void set(WORD ddmid, WORD type, DWORD size, DWORD v) {
    ASSERT_EQ(dma_SetValue(ddmid, nullptr, pd.data(), type, size, &v), 0);
  }
};

TEST_F(UserRecord, BuildAndApply) {
  DWORD size = 100;
  EXPECT_EQ(DMA_GetUserSettingInfo(ctx.get(), nullptr, &size), DMA_ERR_FAILED);
  size = 0;
  EXPECT_EQ(DMA_GetUserSettingInfo(ctx.get(), nullptr, &size), DMA_ERR_BUFFER);
  EXPECT_EQ(size, kUserSettingInfoSize);

  set(8203, kTypeWord, 2, 8775);
  set(8204, kTypeWord, 2, 21072);
  set(5137, kTypeWord, 2, 9);
  set_text(5129, u"Account A");
  set_text(5175, std::u16string(172, u'q'));
  set(5169, kTypeLong, 4, 0x12345678);
  set(5183, kTypeByte, 1, 3);
  std::vector<BYTE> record(kUserSettingInfoSize, 0xEE);
  size = kUserSettingInfoSize;
  ASSERT_EQ(DMA_GetUserSettingInfo(ctx.get(), record.data(), &size), DMA_OK);
  EXPECT_EQ(load_le16(record.data()), 4);
  EXPECT_EQ(load_le16(record.data() + 2), 8775);
  EXPECT_EQ(load_le16(record.data() + 4), 21072);
  EXPECT_EQ(load_le16(record.data() + 6), 9);
  EXPECT_EQ(text_at(record.data() + 8, 32), u"Jane Operator");
  EXPECT_EQ(load_le16(record.data() + 72), 7);
  EXPECT_EQ(text_at(record.data() + 76, 25), u"Account A");
  EXPECT_EQ(text_at(record.data() + 1468, 173), std::u16string(172, u'q'));
  EXPECT_EQ(morva::load_le32(record.data() + 1300), 0x12345678u);
  EXPECT_EQ(record[2094], 3);
  EXPECT_EQ(record[2095], 0);

  // Apply it to an empty PrinterData.
  std::vector<BYTE> pd2(kPrinterDataSize);
  ctx->printerData = pd2.data();
  ASSERT_EQ(DMA_SetUserSettingInfo(ctx.get(), record.data(), 0), DMA_OK);
  std::vector<BYTE> again(kUserSettingInfoSize);
  ASSERT_EQ(DMA_GetUserSettingInfo(ctx.get(), again.data(), &size), DMA_OK);
  // Lists A-C came back; the header list is not applied.
  EXPECT_TRUE(std::equal(record.begin() + 76, record.end(), again.begin() + 76));
  EXPECT_EQ(load_le16(again.data() + 6), 0);
}

TEST_F(UserRecord, UnknownVersionWritesNothing) {
  std::vector<BYTE> record(kUserSettingInfoSize);
  store_le16(record.data(), 5);
  put_text(record.data() + 76, u"x");
  const auto before = pd;
  EXPECT_EQ(DMA_SetUserSettingInfo(ctx.get(), record.data(), 0), DMA_ERR_FAILED);
  EXPECT_EQ(pd, before);
  EXPECT_EQ(DMA_SetUserSettingInfo(ctx.get(), nullptr, 0), DMA_ERR_FAILED);
}

TEST_F(UserRecord, OldRecordGetsAccountWordWhenAccountModeIsOn) {
  set(5163, kTypeByte, 1, 1);  // "AccountMode"
  auto v1 = old_record(1, 716);
  ASSERT_EQ(DMA_SetUserSettingInfo(ctx.get(), v1.data(), 0), DMA_OK);
  WORD type;
  DWORD size, v = 0;
  ASSERT_EQ(dma_GetValue(5178, nullptr, pd.data(), &type, &size, &v, nullptr), 0);
  EXPECT_EQ(v, 7u);
}

std::vector<BYTE> dfax001(WORD count) {
  std::vector<BYTE> b(morva::fax::kFaxBookHeaderSize + count * morva::fax::kFaxOldEntrySize);
  morva::fax::FaxBook_WriteTag(b.data(), morva::fax::kTagDfax001);
  morva::fax::FaxBook_SetCount(b.data(), count);
  put_text(b.data() + 18, u"From");
  for (WORD i = 0; i < count; ++i) {
    BYTE* e = b.data() + morva::fax::kFaxBookHeaderSize + i * morva::fax::kFaxOldEntrySize;
    put_text(e + 2, u"Dest");
    for (int k = 0; k < 16; ++k) e[752 + k] = static_cast<BYTE>(i * 16 + k);
  }
  return b;
}

TEST(FaxBookConversion, Dfax001BecomesDfax002) {
  const auto src = dfax001(2);
  ASSERT_EQ(src.size(), 1442u + 1536u);
  std::vector<BYTE> dst(1442 + 1640, 0xCC);
  BYTE* d = dst.data();
  const BYTE* s = src.data();
  ASSERT_EQ(dma_ConvertFaxAddressBook(&d, &s, static_cast<DWORD>(dst.size()), static_cast<DWORD>(src.size())), 1);
  EXPECT_TRUE(morva::fax::FaxBook_HasTag(dst.data(), morva::fax::kTagDfax002));
  EXPECT_EQ(text_at(dst.data() + 18, 41), u"From");
  const std::u16string keys[] = {u"AAECAwQFBgcICQoLDA0ODw==", u"EBESExQVFhcYGRobHB0eHw=="};
  for (int i = 0; i < 2; ++i) {
    const BYTE* e = dst.data() + 1442 + 820 * i;
    EXPECT_EQ(text_at(e + 2, 129), u"Dest");
    EXPECT_EQ(e[752], i * 16);
    EXPECT_EQ(text_at(e + 768, 25), keys[i]);
    EXPECT_EQ(load_le16(e + 768 + 48), 0);
  }
}

TEST(FaxBookConversion, Refusals) {
  auto src = dfax001(2);
  std::vector<BYTE> dst(1442 + 1640, 0xCC);
  const auto untouched = dst;
  BYTE* d = dst.data();
  const BYTE* s = src.data();
  const DWORD size = static_cast<DWORD>(src.size());
  EXPECT_EQ(dma_ConvertFaxAddressBook(&d, &s, 1442 + 1639, size), 0);       // destination too small
  EXPECT_EQ(dma_ConvertFaxAddressBook(&d, &s, 1442 + 1640, size + 1), 0);   // one byte more
  EXPECT_EQ(dma_ConvertFaxAddressBook(&d, &s, 1442 + 1640, size - 1), 0);
  EXPECT_EQ(dma_ConvertFaxAddressBook(&d, nullptr, 1442 + 1640, size), 0);
  morva::fax::FaxBook_WriteTag(src.data(), morva::fax::kTagDfax002);
  EXPECT_EQ(dma_ConvertFaxAddressBook(&d, &s, 1442 + 1640, size), 0);
  EXPECT_EQ(dst, untouched);
}

}  // namespace
