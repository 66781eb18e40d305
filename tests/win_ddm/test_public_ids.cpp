// The public setting id map.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <string>

#include "ddm/ddmid.h"
#include "ddm/public_ids.h"

using namespace morva::ddm;

TEST(PublicIds, MapHoldsEveryPairAndNamesOnlyKnownSettings) {
  int pairs = 0;
  std::set<int> ranges;
  for (const PublicIdRun* r = dma_PublicIdRuns(); r->range != 0xFF; ++r) {
    ranges.insert(r->range);
    for (DWORD id = r->firstPublic; id <= r->lastPublic; ++id) {
      ++pairs;
      WORD ddmid = 0;
      ASSERT_TRUE(dma_PublicToDdmid(static_cast<WORD>(id), &ddmid)) << id;
      EXPECT_EQ(ddmid, r->firstDdmid + (id - r->firstPublic));
      EXPECT_NE(dma_Descriptor(ddmid), nullptr) << "public id " << id << " names DDMID " << ddmid;
    }
  }
  EXPECT_EQ(pairs, 1143);
  EXPECT_EQ(ranges.size(), 16u);
}

// The map as the setting list writes it: runs "first-last → first-last".
const char* const kMapText[] = {
    "0x1-0x19 → 1-25",
    "0x101-0x120 → 257-288, 0x121-0x122 → 1832-1833, 0x123-0x12F → 291-303",
    "0x130-0x150 → 304-336, 0x151 → 1829, 0x152-0x15A → 338-346, 0x15B → 1831, 0x15C-0x15F → 348-351",
    "0x160-0x179 → 352-377, 0x17A → 1830, 0x17B-0x18F → 379-399",
    "0x190-0x19E → 400-414, 0x19F-0x1B2 → 1834-1853, 0x1B3-0x1BF → 435-447",
    "0x1001-0x1008 → 448-455, 0x1009-0x1021 → 458-482",
    "0x1C1-0x1CE → 1281-1294, 0x1CF → 4129, 0x1D0-0x1F3 → 1296-1331, 0x1F4-0x200 → 1335-1347",
    "0x3C1-0x3D4 → 1348-1367, 0x3D8-0x3D9 → 1371-1372",
    "0x201-0x224 → 1793-1828, 0x225-0x228 → 1855-1858, 0x229-0x238 → 1861-1876, 0x239 → 1878, "
    "0x23B-0x249 → 1880-1894, 0x24B → 1896",
    "0x901-0xA00 → 2305-2560",
    "0x301-0x320 → 4097-4128, 0x321-0x32A → 4353-4362, 0x32B-0x32C → 4366-4367, 0x32D-0x336 → 4130-4139, "
    "0x337 → 4368, 0x338-0x339 → 4140-4141, 0x33A → 4369, 0x33B-0x33D → 4142-4144, 0x33E-0x33F → 4370-4371",
    "0x381-0x3A0 → 4609-4640",
    "0x401 → 5121, 0x402 → 1333, 0x403 → 5123, 0x404 → 1332, 0x405 → 4365, 0x406-0x407 → 5126-5127, "
    "0x408 → 1334, 0x409-0x40C → 5129-5132, 0x40D → 456, 0x40E-0x412 → 5134-5138, 0x413-0x414 → 1859-1860, "
    "0x415-0x41E → 5141-5150, 0x41F → 457, 0x420-0x421 → 5152-5153, 0x422 → 4363, 0x423-0x425 → 5155-5157, "
    "0x426 → 4364, 0x427-0x45F → 5159-5215",
    "0x501 → 8201, 0x511-0x512 → 8202-8203, 0x51B-0x51E → 8204-8207, 0x51F-0x528 → 5889-5898, "
    "0x529-0x532 → 5909-5918, 0x533-0x53C → 5929-5938, 0x53D-0x587 → 6145-6219, 0x588-0x591 → 6401-6410, "
    "0x592-0x595 → 8208-8211, 0x596-0x59F → 5899-5908, 0x600-0x609 → 5919-5928, 0x60A-0x613 → 5939-5948, "
    "0x614 → 8212, 0x615-0x67D → 6220-6324, 0x67E-0x687 → 6411-6420, 0x688-0x68A → 8213-8215, "
    "0x68C → 8224, 0x68E → 8223, 0x68F → 8225",
    "0x9001-0x9003 → 5159-5161, 0x9004 → 5175, 0x9005 → 1858, 0x9006-0x9007 → 5181-5182, 0x9008 → 5185, "
    "0x9009-0x900A → 5208-5209",
    "0x202B → 1370",
};

TEST(PublicIds, EveryPublicIdAgreesWithTheSettingList) {
  std::map<int, int> expected;
  static const std::regex run(R"((0x[0-9A-F]+)(?:-(0x[0-9A-F]+))? → (\d+)(?:-(\d+))?)");
  for (const char* line : kMapText) {
    const std::string text = line;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), run); it != std::sregex_iterator(); ++it) {
      const auto& m = *it;
      const int first = std::stoi(m[1], nullptr, 16);
      const int last = m[2].matched ? std::stoi(m[2], nullptr, 16) : first;
      const int ddmid = std::stoi(m[3]);
      const int ddmidLast = m[4].matched ? std::stoi(m[4]) : ddmid;
      ASSERT_EQ(last - first, ddmidLast - ddmid) << m[0];
      for (int id = first; id <= last; ++id) expected[id] = ddmid + (id - first);
    }
  }
  ASSERT_EQ(expected.size(), 1143u);
  for (DWORD id = 0; id <= 0xFFFF; ++id) {
    WORD ddmid = 0;
    const bool mapped = dma_PublicToDdmid(static_cast<WORD>(id), &ddmid);
    auto it = expected.find(static_cast<int>(id));
    ASSERT_EQ(mapped, it != expected.end()) << std::hex << id;
    if (mapped) {
      ASSERT_EQ(ddmid, it->second) << std::hex << id;
    }
  }
}

TEST(PublicIds, Lookups) {
  struct Pair { WORD publicId, ddmid; };
  const Pair pairs[] = {{0x1, 1},       {0x19, 25},     {0x102, 258},   {0x121, 1832}, {0x151, 1829},
                        {0x15B, 1831},  {0x17A, 1830},  {0x19F, 1834},  {0x1CF, 4129}, {0x1F4, 1335},
                        {0x3D9, 1372},  {0x24B, 1896},  {0xA00, 2560},  {0x33F, 4371}, {0x402, 1333},
                        {0x45F, 5215},  {0x68F, 8225},  {0x9005, 1858}, {0x900A, 5209}, {0x202B, 1370}};
  for (const Pair& p : pairs) {
    WORD ddmid = 0;
    ASSERT_TRUE(dma_PublicToDdmid(p.publicId, &ddmid)) << p.publicId;
    EXPECT_EQ(ddmid, p.ddmid);
  }
  const WORD unmapped[] = {0, 0x1A, 0x100, 0x3D5, 0x23A, 0x24A, 0x502, 0x68B, 0x68D, 0x9999, 0xA001, 0xFFFF};
  for (WORD id : unmapped) {
    WORD ddmid = 0;
    EXPECT_FALSE(dma_PublicToDdmid(id, &ddmid)) << id;
  }
  // A DDMID named twice is known by its first public id.
  WORD publicId = 0;
  ASSERT_TRUE(dma_DdmidToPublic(5159, &publicId));
  EXPECT_EQ(publicId, 0x427);
  ASSERT_TRUE(dma_DdmidToPublic(1858, &publicId));
  EXPECT_EQ(publicId, 0x228);
  EXPECT_FALSE(dma_DdmidToPublic(1897, &publicId));
  EXPECT_FALSE(dma_DdmidToPublic(1895, &publicId));
}
