// The public setting id map as one table of runs, with compile-time
// indexes in both directions.
#include <array>

#include "ddm/public_ids.h"

namespace morva::ddm {
namespace {

constexpr PublicIdRun kRuns[] = {
    {0, 0x1, 0x19, 1},
    {1, 0x101, 0x120, 257}, {1, 0x121, 0x122, 1832}, {1, 0x123, 0x12F, 291},
    {2, 0x130, 0x150, 304}, {2, 0x151, 0x151, 1829}, {2, 0x152, 0x15A, 338}, {2, 0x15B, 0x15B, 1831},
    {2, 0x15C, 0x15F, 348},
    {3, 0x160, 0x179, 352}, {3, 0x17A, 0x17A, 1830}, {3, 0x17B, 0x18F, 379},
    {4, 0x190, 0x19E, 400}, {4, 0x19F, 0x1B2, 1834}, {4, 0x1B3, 0x1BF, 435},
    {5, 0x1001, 0x1008, 448}, {5, 0x1009, 0x1021, 458},
    {6, 0x1C1, 0x1CE, 1281}, {6, 0x1CF, 0x1CF, 4129}, {6, 0x1D0, 0x1F3, 1296}, {6, 0x1F4, 0x200, 1335},
    {7, 0x3C1, 0x3D4, 1348}, {7, 0x3D8, 0x3D9, 1371},
    {8, 0x201, 0x224, 1793}, {8, 0x225, 0x228, 1855}, {8, 0x229, 0x238, 1861}, {8, 0x239, 0x239, 1878},
    {8, 0x23B, 0x249, 1880}, {8, 0x24B, 0x24B, 1896},
    {9, 0x901, 0xA00, 2305},
    {10, 0x301, 0x320, 4097}, {10, 0x321, 0x32A, 4353}, {10, 0x32B, 0x32C, 4366}, {10, 0x32D, 0x336, 4130},
    {10, 0x337, 0x337, 4368}, {10, 0x338, 0x339, 4140}, {10, 0x33A, 0x33A, 4369}, {10, 0x33B, 0x33D, 4142},
    {10, 0x33E, 0x33F, 4370},
    {11, 0x381, 0x3A0, 4609},
    {12, 0x401, 0x401, 5121}, {12, 0x402, 0x402, 1333}, {12, 0x403, 0x403, 5123}, {12, 0x404, 0x404, 1332},
    {12, 0x405, 0x405, 4365}, {12, 0x406, 0x407, 5126}, {12, 0x408, 0x408, 1334}, {12, 0x409, 0x40C, 5129},
    {12, 0x40D, 0x40D, 456}, {12, 0x40E, 0x412, 5134}, {12, 0x413, 0x414, 1859}, {12, 0x415, 0x41E, 5141},
    {12, 0x41F, 0x41F, 457}, {12, 0x420, 0x421, 5152}, {12, 0x422, 0x422, 4363}, {12, 0x423, 0x425, 5155},
    {12, 0x426, 0x426, 4364}, {12, 0x427, 0x45F, 5159},
    {13, 0x501, 0x501, 8201}, {13, 0x511, 0x512, 8202}, {13, 0x51B, 0x51E, 8204}, {13, 0x51F, 0x528, 5889},
    {13, 0x529, 0x532, 5909}, {13, 0x533, 0x53C, 5929}, {13, 0x53D, 0x587, 6145}, {13, 0x588, 0x591, 6401},
    {13, 0x592, 0x595, 8208}, {13, 0x596, 0x59F, 5899}, {13, 0x600, 0x609, 5919}, {13, 0x60A, 0x613, 5939},
    {13, 0x614, 0x614, 8212}, {13, 0x615, 0x67D, 6220}, {13, 0x67E, 0x687, 6411}, {13, 0x688, 0x68A, 8213},
    {13, 0x68C, 0x68C, 8224}, {13, 0x68E, 0x68E, 8223}, {13, 0x68F, 0x68F, 8225},
    {14, 0x9001, 0x9003, 5159}, {14, 0x9004, 0x9004, 5175}, {14, 0x9005, 0x9005, 1858},
    {14, 0x9006, 0x9007, 5181}, {14, 0x9008, 0x9008, 5185}, {14, 0x9009, 0x900A, 5208},
    {15, 0x202B, 0x202B, 1370},
    {0xFF, 0, 0, 0},
};

constexpr DWORD kDdmidLimit = 8226;

struct Maps {
  std::array<WORD, 0x10000> toDdmid{};
  std::array<WORD, kDdmidLimit> toPublic{};
};

consteval Maps build_maps() {
  Maps m{};
  // Bounds of each range; an id inside the first range whose bounds hold
  // it is looked up in that range's pairs only.
  WORD low[kPublicIdRanges] = {}, high[kPublicIdRanges] = {};
  bool seen[kPublicIdRanges] = {};
  for (const PublicIdRun* r = kRuns; r->range != 0xFF; ++r) {
    if (!seen[r->range] || r->firstPublic < low[r->range]) low[r->range] = r->firstPublic;
    if (!seen[r->range] || r->lastPublic > high[r->range]) high[r->range] = r->lastPublic;
    seen[r->range] = true;
  }
  std::array<BYTE, 0x10000> owner{};
  for (auto& o : owner) o = 0xFF;
  for (int range = 0; range < kPublicIdRanges; ++range) {
    for (DWORD id = low[range]; id <= high[range]; ++id) {
      if (owner[id] == 0xFF) owner[id] = static_cast<BYTE>(range);
    }
  }
  for (int range = 0; range < kPublicIdRanges; ++range) {
    for (const PublicIdRun* r = kRuns; r->range != 0xFF; ++r) {
      if (r->range != range) continue;
      for (DWORD id = r->firstPublic; id <= r->lastPublic; ++id) {
        const DWORD ddmid = r->firstDdmid + (id - r->firstPublic);
        if (ddmid >= kDdmidLimit) throw "DDMID out of bounds";
        if (owner[id] == range && m.toDdmid[id] == 0) m.toDdmid[id] = static_cast<WORD>(ddmid);
        if (m.toPublic[ddmid] == 0) m.toPublic[ddmid] = static_cast<WORD>(id);
      }
    }
  }
  return m;
}

constexpr Maps kMaps = build_maps();

}  // namespace

const PublicIdRun* dma_PublicIdRuns() { return kRuns; }

bool dma_PublicToDdmid(WORD publicId, WORD* ddmid) {
  if (kMaps.toDdmid[publicId] == 0) return false;
  *ddmid = kMaps.toDdmid[publicId];
  return true;
}

bool dma_DdmidToPublic(WORD ddmid, WORD* publicId) {
  if (ddmid >= kDdmidLimit || kMaps.toPublic[ddmid] == 0) return false;
  *publicId = kMaps.toPublic[ddmid];
  return true;
}

}  // namespace morva::ddm
