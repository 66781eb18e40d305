// The descriptor tables against the setting list they were written from:
// every DDMID's range, type, delivered type and size, the fixed places,
// the byte extents of each range, and that no two values share bytes unless
// they are meant to.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "ddm/ddmid.h"

using namespace morva::ddm;

namespace {

struct ExpectedRow {
  WORD selector;
  WORD lowest;
  WORD highest;
  int descriptors;
  DWORD firstByte;  // extent of the bytes the row's values use
  DWORD lastByte;
  const char* types;  // "id[-id] type[>delivered][/max]; ..."
};

// Rows 6, 8 and 10 hold bit flags; their extent is checked with the flags.
const ExpectedRow kRows[] = {
    {0, 257, 303, 45, 220, 587,
     "257-258 3; 259 6/64; 260-261 5; 262-263 3; 264 8>3; 265-266 3; 267 8>3; 268-269 3; 270 8>3; "
     "271 3; 272 8>3; 273 5; 274-285 2; 286-288 8>3; 291-295 8>3; 296 3; 297-298 6/66; 299 6/130; "
     "300 8>3; 301 5; 302 8>3; 303 3"},
    {0, 304, 351, 46, 588, 805,
     "304 9/92; 305 6/64; 306-307 10; 308 8; 309-311 10; 312-318 8; 319 10; 320-323 8>3; 324 3; "
     "325 8>3; 326-327 3; 328 8>3; 329 6/49; 330-332 8>3; 333 3; 334-336 8>3; 338 6/18; 339 8>3; "
     "340 6/18; 341-343 8>3; 344 3; 345 8>3; 346 8; 348-351 3"},
    {0, 352, 399, 47, 306, 1461,
     "352-356 3; 357 9/92; 358 6/64; 359-360 10; 361 8; 362-364 10; 365-371 8; 372 10; 373 5; "
     "374-375 6/258; 376-377 8>3; 379 8>3; 380 3; 381-383 8>3; 384-385 3; 386-387 8>3; 388-389 3; "
     "390-391 8>3; 392-399 5"},
    {0, 400, 447, 28, 364, 1492,
     "400-403 5; 404-406 8>3; 407-411 3; 412-413 8>3; 414 3; 435-436 6/10; 437-447 8"},
    {0, 448, 484, 36, 749, 1599,
     "448-452 8; 453 3; 454-455 8; 456 8>3; 457-459 8; 460-461 2; 462 5; 463-467 8; 468-470 3; "
     "471 8; 472 3; 473-474 8; 475 3; 476 8; 477 5; 478 3; 479-480 8; 481-482 3; 483 8>3"},
    {0, 1281, 1376, 96, 288, 1519,
     "1281-1283 1; 1284 1>5; 1285-1295 1; 1296-1302 1>8; 1303-1321 1; 1322 1>3; 1323-1331 1; "
     "1332 1>3; 1333-1376 1"},
    {1, 1793, 1897, 104, 0, 4379,
     "1793-1794 3; 1795 6/258; 1796 3; 1797 6/82; 1798 6/166; 1799 6/522; 1800-1804 3; 1805 6/10; "
     "1806 6/58; 1807-1812 3; 1813 6/10; 1814-1815 3; 1816 6/120; 1817-1818 6/42; 1819-1820 6/82; "
     "1821 6/418; 1822-1823 6/62; 1824 3; 1825-1828 4; 1829 6/256; 1830 6/258; 1831 6/50; "
     "1832-1833 6/258; 1834-1853 3; 1854 6/2; 1855 5; 1856 3; 1857 6/522; 1858 6/58; 1859-1860 3; "
     "1861-1862 8; 1863-1864 2; 1865 6/58; 1866-1867 3; 1868 6/62; 1869-1875 5; 1876 6/258; "
     "1877 6/50; 1878 2; 1879 5; 1880-1881 8; 1882-1890 3; 1891 1; 1892 5; 1893 1; 1894 6/50; "
     "1896 1; 1897 6/16"},
    {1, 2305, 2560, 256, 3960, 4263, "2305-2560 1"},
    {2, 4097, 4371, 84, 8, 6843,
     "4097-4161 1; 4353-4363 8; 4364-4366 3; 4367-4369 8; 4370-4371 3"},
    {2, 4609, 4640, 32, 3220, 3223, "4609-4640 1"},
    {2, 5121, 5215, 85, 16, 7953,
     "5121 6/66; 5123 3; 5126-5127 3; 5129 6/50; 5130 6/10; 5131-5132 3; 5134-5137 3; 5138 8; "
     "5141 6/12; 5142 3; 5143 6/12; 5144-5146 3; 5147-5148 6/258; 5149 8; 5150 6/66; 5152 6/258; "
     "5153 8; 5155-5157 3; 5159 6/34; 5160-5161 6/346; 5162-5165 8; 5166-5167 6/66; 5168-5173 1; "
     "5174 6/66; 5175 6/346; 5176 6/66; 5177 8; 5178 3; 5179-5180 6/50; 5181-5182 6/34; 5183 8; "
     "5184 6/50; 5185 6/34; 5186 1; 5187-5198 3; 5199-5201 1; 5202 8; 5203 1; 5204-5206 8; "
     "5207 6/26; 5208-5209 6/346; 5210 1; 5211 8; 5212 1; 5213-5215 6/130"},
    {2, 5633, 8225, 301, 0, 7969,
     "5633-5642 3; 5643-5647 6/30; 5648 1; 5649 3; 5650 1; 5651 3; 5652 8; 5653-5654 3; "
     "5889-5928 3; 5929-5948 6/64; 6145-6324 3; 6401-6420 6/50; 8201 1; 8202-8204 3; 8205 5; "
     "8206 1; 8207 5; 8208 3; 8209 6/44; 8210 3; 8211 8; 8212 6/66; 8213 6/84; 8214 8; 8215 3; "
     "8216 1; 8223 8; 8224-8225 3"},
    {0, 1, 25, 25, 0, 203,
     "1 6/64; 2-5 3; 6 5; 7-13 2; 14 5; 15-18 2; 19 6/64; 20-21 2; 22-25 5"},
};

struct Expected {
  WORD type, delivered;
  DWORD maxSize;
};

std::map<WORD, Expected> parse_types(const char* text) {
  std::map<WORD, Expected> out;
  static const std::regex entry(R"((\d+)(?:-(\d+))? (\d+)(?:>(\d+))?(?:/(\d+))?)");
  std::stringstream ss(text);
  std::string part;
  while (std::getline(ss, part, ';')) {
    part.erase(0, part.find_first_not_of(' '));
    std::smatch m;
    EXPECT_TRUE(std::regex_match(part, m, entry)) << part;
    const int first = std::stoi(m[1]);
    const int last = m[2].matched ? std::stoi(m[2]) : first;
    Expected e{static_cast<WORD>(std::stoi(m[3])),
               static_cast<WORD>(m[4].matched ? std::stoi(m[4]) : 0),
               static_cast<DWORD>(m[5].matched ? std::stoi(m[5]) : 0)};
    for (int id = first; id <= last; ++id) out[static_cast<WORD>(id)] = e;
  }
  return out;
}

DWORD width_of(const DdmidDescriptor& d) {
  return (d.type == kTypeString || d.type == kTypeLogFont) ? d.maxSize : dma_TypeSize(d.type);
}

DWORD store_size(WORD selector) {
  return selector == kStoreDevmode ? kShortDevmodeSize
         : selector == kStoreExtension ? kExtensionSize
                                       : kPrinterDataSize;
}

std::vector<const DdmidDescriptor*> list_of(const DdmidRange& r) {
  std::vector<const DdmidDescriptor*> v;
  for (const DdmidDescriptor* d = r.list; d->ddmid != 0; ++d) v.push_back(d);
  return v;
}

}  // namespace

TEST(DdmidTables, RangesAndDescriptorsMatchTheSettingList) {
  const DdmidRange* ranges = dma_RangeTable();
  int rows = 0;
  while (ranges[rows].list != nullptr) ++rows;
  ASSERT_EQ(rows, 13);
  int total = 0;
  for (int r = 0; r < rows; ++r) {
    SCOPED_TRACE("row " + std::to_string(r + 1));
    const ExpectedRow& want = kRows[r];
    EXPECT_EQ(ranges[r].selector, want.selector);
    EXPECT_EQ(ranges[r].lowest, want.lowest);
    EXPECT_EQ(ranges[r].highest, want.highest);
    const auto expected = parse_types(want.types);
    const auto list = list_of(ranges[r]);
    EXPECT_EQ(static_cast<int>(list.size()), want.descriptors);
    EXPECT_EQ(list.size(), expected.size());
    total += static_cast<int>(list.size());
    std::set<WORD> seen;
    DWORD first = ~0u, last = 0;
    for (const DdmidDescriptor* d : list) {
      SCOPED_TRACE("DDMID " + std::to_string(d->ddmid));
      EXPECT_TRUE(seen.insert(d->ddmid).second) << "listed twice";
      auto it = expected.find(d->ddmid);
      ASSERT_NE(it, expected.end()) << "not in the setting list";
      EXPECT_EQ(d->type, it->second.type);
      EXPECT_EQ(d->delivered, it->second.delivered);
      EXPECT_EQ(d->maxSize, it->second.maxSize);
      first = std::min(first, d->offset);
      last = std::max(last, d->offset + width_of(*d) - 1);
    }
    EXPECT_EQ(first, want.firstByte);
    EXPECT_EQ(last, want.lastByte);
  }
  EXPECT_EQ(total, 1185);
}

TEST(DdmidTables, FixedPlaces) {
  struct Place { WORD ddmid; DWORD offset; };
  // Places other records, readers and older files depend on.
  const Place places[] = {
      {1, 0}, {2, 64}, {3, 66}, {4, 68}, {5, 70}, {6, 72}, {7, 76}, {8, 78}, {9, 80},
      {10, 82}, {11, 84}, {12, 86}, {13, 88}, {14, 90}, {15, 92}, {16, 94}, {17, 98},
      {18, 100}, {19, 102}, {20, 90}, {21, 96}, {22, 188}, {23, 192}, {24, 196}, {25, 200},
      {257, 220}, {258, 222}, {259, 224}, {260, 288}, {261, 292}, {462, 1516},
      {1281, 288}, {1312, 288}, {1313, 292}, {1344, 292}, {1345, 1516}, {1376, 1516},
      {304, 588}, {306, 588}, {319, 592}, {309, 596}, {310, 600}, {311, 596}, {307, 604},
      {308, 608}, {312, 609}, {313, 610}, {314, 611}, {315, 612}, {316, 613}, {317, 614},
      {318, 615}, {305, 616},
      {357, 816}, {359, 816}, {372, 820}, {362, 824}, {363, 828}, {364, 824}, {360, 832},
      {361, 836}, {365, 837}, {366, 838}, {367, 839}, {368, 840}, {369, 841}, {370, 842},
      {371, 843}, {358, 844},
      {392, 356}, {393, 356}, {394, 356}, {395, 360}, {396, 360}, {397, 360},
      {398, 364}, {399, 364}, {400, 364}, {401, 368}, {402, 368}, {403, 368},
      {297, 382}, {298, 382}, {335, 749}, {483, 749}, {1831, 2586}, {1877, 2586},
      {329, 693}, {374, 930}, {375, 1188}, {295, 379}, {267, 308}, {325, 686},
      {326, 688}, {344, 794}, {380, 1450},
      {1793, 0}, {2305, 3960}, {2336, 3960}, {2337, 3964}, {2528, 3984}, {2529, 4260},
      {2560, 4260}, {1869, 3960}, {1870, 3964}, {1875, 3984}, {1879, 4260},
      {8202, 0}, {8204, 2}, {8203, 4}, {8216, 7960}, {4097, 8}, {4128, 8}, {4161, 8},
      {4129, 5844}, {4160, 5844}, {4609, 3220}, {4640, 3220},
  };
  for (const Place& p : places) {
    DdmidLocation loc;
    std::vector<BYTE> dm(kPrivateDevmodeSize), pd(kPrinterDataSize);
    ASSERT_EQ(dma_FindDescriptor(p.ddmid, dm.data(), pd.data(), &loc), kDdmOk) << p.ddmid;
    EXPECT_EQ(loc.offset, p.offset) << "DDMID " << p.ddmid;
  }
}

// Bytes of one store may be shared only by values the layout names as one
// place: a LOGFONT block and its fields, the components of a DWORD,
// aliases, DDMID 14 over the public resolution fields, and a flag DWORD
// with its flags and its whole-DWORD DDMID.
TEST(DdmidTables, ValuesStayInsideTheirStoreAndOverlapOnlyWhereNamed) {
  auto group = [](const DdmidRange& r, const DdmidDescriptor& d) -> long {
    const WORD id = d.ddmid;
    if (dma_IsBitFlag(id) || id == 260 || id == 261 || id == 462 || (id >= 1869 && id <= 1875) ||
        id == 1879) {
      return 100000L + r.selector * 10000L + d.offset;
    }
    if (id >= 304 && id <= 319) return 304;
    if (id >= 357 && id <= 372) return 357;
    if (id >= 392 && id <= 403) return 392 + 3 * ((id - 392) / 3);
    if (id == 298) return 297;
    if (id == 483) return 335;
    if (id == 1877) return 1831;
    if (id == 15 || id == 20) return 14;
    return id;
  };
  std::map<WORD, std::vector<std::vector<long>>> owners;
  for (WORD s = 0; s < 3; ++s) owners[s].resize(store_size(s));
  for (const DdmidRange* r = dma_RangeTable(); r->list != nullptr; ++r) {
    for (const DdmidDescriptor* d : list_of(*r)) {
      const DWORD w = width_of(*d);
      ASSERT_GT(w, 0u) << d->ddmid;
      ASSERT_LE(d->offset + w, store_size(r->selector)) << "DDMID " << d->ddmid;
      if (d->type == kTypeString && d->ddmid != 329) {
        EXPECT_EQ(d->offset % 2, 0u) << "wide text at an odd offset: " << d->ddmid;
      }
      for (DWORD i = 0; i < w; ++i) owners[r->selector][d->offset + i].push_back(group(*r, *d));
    }
  }
  int shared = 0;
  for (auto& [selector, bytes] : owners) {
    for (DWORD i = 0; i < bytes.size(); ++i) {
      std::set<long> groups(bytes[i].begin(), bytes[i].end());
      EXPECT_LE(groups.size(), 1u) << "store " << selector << " byte " << i;
      if (bytes[i].size() > 1) ++shared;
    }
  }
  EXPECT_GT(shared, 0);
}

TEST(DdmidTables, BitMaskTablesFollowTheirRules) {
  struct MaskRange { WORD first, last; int rows; };
  const MaskRange ranges[] = {{1281, 1376, 96}, {2305, 2560, 256}, {4097, 4161, 65}, {4609, 4640, 32}};
  const DdmidBitMask* const* tables = dma_BitMaskTables();
  for (int t = 0; t < kBitMaskTableCount; ++t) {
    int n = 0;
    for (const DdmidBitMask* m = tables[t]; m->ddmid != 0; ++m, ++n) {
      EXPECT_EQ(m->ddmid, ranges[t].first + n);
      const DWORD expected = m->ddmid == 4161 ? 0x4000u : 1u << ((m->ddmid - ranges[t].first) % 32);
      EXPECT_EQ(m->mask, expected) << m->ddmid;
    }
    EXPECT_EQ(n, ranges[t].rows);
  }
  // 4161 is a second name of flag 4111.
  DWORD a = 0, b = 0;
  ASSERT_TRUE(dma_GetBitMask(4161, &a));
  ASSERT_TRUE(dma_GetBitMask(4111, &b));
  EXPECT_EQ(a, b);
}

// The index must answer exactly what a scan of the tables in order answers.
TEST(DdmidTables, IndexedLookupEqualsTheScan) {
  std::vector<BYTE> dm(kPrivateDevmodeSize), pd(kPrinterDataSize);
  for (DWORD id = 0; id <= 0xFFFF; ++id) {
    const WORD ddmid = static_cast<WORD>(id);
    WORD scanRc = kDdmNoRange;
    const DdmidDescriptor* scanDesc = nullptr;
    WORD scanSelector = 0;
    for (const DdmidRange* r = dma_RangeTable(); r->list != nullptr; ++r) {
      if (r->lowest <= ddmid && ddmid <= r->highest) {
        scanRc = kDdmFailed;
        scanSelector = r->selector;
        for (const DdmidDescriptor* d = r->list; d->ddmid != 0; ++d) {
          if (d->ddmid == ddmid) { scanDesc = d; scanRc = kDdmOk; break; }
        }
        break;
      }
    }
    DdmidLocation loc;
    ASSERT_EQ(dma_FindDescriptor(ddmid, dm.data(), pd.data(), &loc), scanRc) << id;
    if (scanRc == kDdmOk) {
      ASSERT_EQ(loc.descriptor, scanDesc);
      ASSERT_EQ(loc.selector, scanSelector);
      BYTE* base = scanSelector == 0 ? dm.data() : scanSelector == 1 ? dm.data() + 1604 : pd.data();
      ASSERT_EQ(loc.address, base + scanDesc->offset);
    }
    DWORD scanMask = 0;
    bool scanFound = false;
    for (int t = 0; t < kBitMaskTableCount && !scanFound; ++t) {
      for (const DdmidBitMask* m = dma_BitMaskTables()[t]; m->ddmid != 0; ++m) {
        if (m->ddmid == ddmid) { scanMask = m->mask; scanFound = true; break; }
      }
    }
    DWORD mask = 0;
    ASSERT_EQ(dma_GetBitMask(ddmid, &mask), scanFound) << id;
    if (scanFound) {
      ASSERT_EQ(mask, scanMask);
    }
    ASSERT_EQ(dma_IsBitFlag(ddmid), scanFound) << id;
  }
}

TEST(DdmidTables, OutOfRangeAndMissingDescriptors) {
  std::vector<BYTE> dm(kPrivateDevmodeSize), pd(kPrinterDataSize);
  const std::pair<DWORD, DWORD> noRange[] = {
      {0, 0}, {26, 256}, {485, 1280}, {1377, 1792}, {1898, 2304}, {2561, 4096},
      {4372, 4608}, {4641, 5120}, {8226, 65535}};
  const std::pair<DWORD, DWORD> noDescriptor[] = {
      {289, 290}, {337, 337}, {347, 347}, {378, 378}, {415, 434}, {484, 484}, {1895, 1895},
      {4162, 4352}, {5122, 5122}, {5124, 5125}, {5128, 5128}, {5133, 5133}, {5139, 5140},
      {5151, 5151}, {5154, 5154}, {5158, 5158}, {5655, 5888}, {6325, 6400}, {6421, 8200},
      {8217, 8222}};
  DdmidLocation loc;
  for (auto [a, b] : noRange) {
    for (DWORD id = a; id <= b; ++id) {
      ASSERT_EQ(dma_FindDescriptor(static_cast<WORD>(id), dm.data(), pd.data(), &loc), kDdmNoRange) << id;
    }
  }
  for (auto [a, b] : noDescriptor) {
    for (DWORD id = a; id <= b; ++id) {
      ASSERT_EQ(dma_FindDescriptor(static_cast<WORD>(id), dm.data(), pd.data(), &loc), kDdmFailed) << id;
    }
  }
}
