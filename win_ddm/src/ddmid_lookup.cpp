// Descriptor and bit-mask lookup over the constant tables.
//
// The tables keep the shape callers know (ranges scanned in order, lists
// ended by a zero DDMID), but lookups go through an index computed at
// compile time, so every DDMID costs the same and the answer equals the
// scan's.
#include <array>
#include <cstring>

#include "ddm/ddmid.h"

namespace morva::ddm {
namespace {

#include "ddmid_tables.inc"

constexpr DdmidRange kRanges[] = {
    {kStoreDevmode, 257, 303, kDdmidList01},
    {kStoreDevmode, 304, 351, kDdmidList02},
    {kStoreDevmode, 352, 399, kDdmidList03},
    {kStoreDevmode, 400, 447, kDdmidList04},
    {kStoreDevmode, 448, 484, kDdmidList05},
    {kStoreDevmode, 1281, 1376, kDdmidList06},
    {kStoreExtension, 1793, 1897, kDdmidList07},
    {kStoreExtension, 2305, 2560, kDdmidList08},
    {kStorePrinterData, 4097, 4371, kDdmidList09},
    {kStorePrinterData, 4609, 4640, kDdmidList10},
    {kStorePrinterData, 5121, 5215, kDdmidList11},
    {kStorePrinterData, 5633, 8225, kDdmidList12},
    {kStoreDevmode, 1, 25, kDdmidList13},
    {0, 0, 0, nullptr},
};

// Bit-mask tables. Each is given by its rule: DDMIDs first..last take bit
// (DDMID - first) mod 32; table C adds DDMID 4161, a second name of bit 14
// of the DWORD that holds 4097-4128.
struct MaskRule {
  WORD first;
  WORD last;
  WORD extraId;
  DWORD extraMask;
};

template <std::size_t N>
consteval std::array<DdmidBitMask, N> make_masks(MaskRule rule) {
  std::array<DdmidBitMask, N> rows{};
  std::size_t i = 0;
  for (DWORD id = rule.first; id <= rule.last; ++i, ++id) {
    rows[i] = {static_cast<WORD>(id), DWORD{1} << ((id - rule.first) % 32)};
  }
  if (rule.extraId != 0) rows[i++] = {rule.extraId, rule.extraMask};
  rows[i] = {0, 0};
  if (i + 1 != N) throw "mask table size";
  return rows;
}

constexpr auto kMaskA = make_masks<97>({1281, 1376, 0, 0});
constexpr auto kMaskB = make_masks<257>({2305, 2560, 0, 0});
constexpr auto kMaskC = make_masks<66>({4097, 4160, 4161, 0x4000});
constexpr auto kMaskD = make_masks<33>({4609, 4640, 0, 0});
constexpr const DdmidBitMask* kMaskTables[kBitMaskTableCount] = {
    kMaskA.data(), kMaskB.data(), kMaskC.data(), kMaskD.data()};

// Index over every DDMID up to the highest one in a range.
constexpr WORD kIndexLimit = 8226;
constexpr BYTE kNoRange = 0xFF;
constexpr WORD kNoDescriptor = 0xFFFF;

struct IndexSlot {
  BYTE range = kNoRange;
  DdmidAccess access = DdmidAccess::kPlain;
  WORD descriptor = kNoDescriptor;
  DWORD mask = 0;
};

constexpr bool is_flag_id(DWORD id) {
  return (id >= 1281 && id <= 1376) || (id >= 2305 && id <= 2560) || (id >= 4097 && id <= 4161) ||
         (id >= 4609 && id <= 4640);
}

consteval std::array<IndexSlot, kIndexLimit> build_index() {
  std::array<IndexSlot, kIndexLimit> index{};
  for (BYTE r = 0; kRanges[r].list != nullptr; ++r) {
    const DdmidRange& range = kRanges[r];
    if (range.highest >= kIndexLimit || range.lowest > range.highest) throw "range bounds";
    for (DWORD id = range.lowest; id <= range.highest; ++id) {
      if (index[id].range != kNoRange) throw "ranges overlap";
      index[id].range = r;
    }
    for (WORD d = 0; range.list[d].ddmid != 0; ++d) {
      const WORD id = range.list[d].ddmid;
      if (id < range.lowest || id > range.highest) throw "descriptor outside its range";
      // The scan stops at the first match; keep the first.
      if (index[id].descriptor == kNoDescriptor) index[id].descriptor = d;
    }
  }
  // Tables are scanned A, B, C, D; the first row that names a DDMID wins.
  for (int t = kBitMaskTableCount - 1; t >= 0; --t) {
    const DdmidBitMask* rows = kMaskTables[t];
    std::size_t n = 0;
    while (rows[n].ddmid != 0) ++n;
    for (std::size_t i = n; i-- > 0;) {
      if (rows[i].ddmid >= kIndexLimit) throw "mask outside the index";
      index[rows[i].ddmid].mask = rows[i].mask;
    }
  }
  for (DWORD id = 0; id < kIndexLimit; ++id) {
    IndexSlot& slot = index[id];
    if (slot.descriptor == kNoDescriptor) continue;
    const DdmidDescriptor& d = kRanges[slot.range].list[slot.descriptor];
    if (is_flag_id(id)) {
      // A flag without a mask keeps kFlag with mask 0: the engine refuses it.
      slot.access = id == 1284 ? DdmidAccess::kFlagInverted : DdmidAccess::kFlag;
    } else if (id >= 392 && id <= 403) {
      slot.access = DdmidAccess::kComponent;
      slot.mask = DWORD{0xFF} << (8 * ((id - 392) % 3));
    } else if (id == 14) {
      slot.access = DdmidAccess::kResolution;
    } else if (d.type == kTypeString || d.type == kTypeLogFont) {
      slot.access = DdmidAccess::kBlock;
    }
  }
  return index;
}

constexpr auto kIndex = build_index();

}  // namespace

const DdmidRange* dma_RangeTable() { return kRanges; }
const DdmidBitMask* const* dma_BitMaskTables() { return kMaskTables; }

DWORD dma_TypeSize(WORD type) {
  switch (type) {
    case kTypeLong: case kTypeLong4: case kTypeDword: case kTypeString:
    case kTypeLogFont: case kTypeLong10:
      return 4;
    case kTypeShort: case kTypeWord:
      return 2;
    case kTypeByte:
      return 1;
    default:
      return 0;
  }
}

WORD dma_FindDescriptor(WORD ddmid, void* devmode, void* printerData, DdmidLocation* out) {
  if (ddmid >= kIndexLimit || kIndex[ddmid].range == kNoRange) return kDdmNoRange;
  const IndexSlot& slot = kIndex[ddmid];
  const DdmidRange& range = kRanges[slot.range];
  out->selector = range.selector;
  if (slot.descriptor == kNoDescriptor) return kDdmFailed;
  const DdmidDescriptor& d = range.list[slot.descriptor];
  BYTE* base = nullptr;
  switch (range.selector) {
    case kStoreDevmode: base = static_cast<BYTE*>(devmode); break;
    case kStoreExtension:
      base = devmode ? static_cast<BYTE*>(devmode) + kExtensionOffset : nullptr;
      break;
    default: base = static_cast<BYTE*>(printerData); break;
  }
  if (base == nullptr) return kDdmFailed;
  const DWORD typeSize = dma_TypeSize(d.type);
  if (typeSize == 0) return kDdmFailed;
  out->descriptor = &d;
  out->type = d.type;
  out->delivered = d.delivered;
  out->typeSize = typeSize;
  out->maxSize = d.maxSize;
  out->offset = d.offset;
  out->address = base + d.offset;
  out->access = slot.access;
  out->mask = slot.mask;
  return kDdmOk;
}

const DdmidDescriptor* dma_Descriptor(WORD ddmid) {
  if (ddmid >= kIndexLimit || kIndex[ddmid].descriptor == kNoDescriptor) return nullptr;
  return &kRanges[kIndex[ddmid].range].list[kIndex[ddmid].descriptor];
}

bool dma_GetBitMask(WORD ddmid, DWORD* mask) {
  if (!dma_IsBitFlag(ddmid) || kIndex[ddmid].mask == 0) return false;
  *mask = kIndex[ddmid].mask;
  return true;
}

bool dma_IsBitFlag(WORD ddmid) { return is_flag_id(ddmid); }

DWORD dma_WcsNLen(const void* p, DWORD maxChars) {
  const auto* b = static_cast<const BYTE*>(p);
  DWORD n = 0;
  while (n < maxChars && (b[2 * n] | b[2 * n + 1]) != 0) ++n;
  return n;
}

}  // namespace morva::ddm
