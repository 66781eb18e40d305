// The public setting id map.
#include <gtest/gtest.h>

#include <set>

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
