// The value engine: dma_GetValue and dma_SetValue over the descriptor
// tables, with the settings that share storage or depend on each other.
#include <cstring>
#include <iterator>

#include "ddm/ddmid.h"
#include "win/endian.h"

using morva::load_le16;
using morva::load_le32;
using morva::store_le16;
using morva::store_le32;

namespace morva::ddm {
namespace {

// Public DEVMODE fields and private places the dependent rules touch.
constexpr DWORD kPrintQualityOffset = 90;
constexpr DWORD kYResolutionOffset = 96;
constexpr DWORD kFont1EscapementOffset = 596;   // DDMIDs 309 and 311
constexpr DWORD kFont1OrientationOffset = 600;  // DDMID 310
constexpr DWORD kFont2OrientationOffset = 828;  // DDMID 363

// Longest text DDMID 259 keeps: 31 characters and the NUL of its 64 bytes.
constexpr DWORD kModelNameChars = 31;

// DDMID 267 → DDMID 325.
constexpr WORD kLinkedCodes[] = {0, 3, 4, 3, 2, 1, 1, 4, 2};

// DDMID 325 → DDMID 267: the request giving the code when the page's
// orientation and DDMID 295 agree (same) and when they cross; code 0 holds
// on any page.
struct LinkedRequest {
  WORD same;
  WORD cross;
};
constexpr LinkedRequest kLinkedRequests[] = {{0, 0}, {6, 5}, {8, 4}, {1, 3}, {2, 7}};

constexpr bool linked_requests_invert_codes() {
  for (std::size_t code = 0; code < std::size(kLinkedRequests); ++code) {
    if (kLinkedCodes[kLinkedRequests[code].same] != code) return false;
    if (kLinkedCodes[kLinkedRequests[code].cross] != code) return false;
  }
  return true;
}
static_assert(linked_requests_invert_codes());

// Finishing positions by request: the position when the page's orientation
// and DDMID 295 agree (same), when they cross, and whether the value holds
// whatever the page.
struct PositionRule {
  WORD request;
  WORD same;
  WORD cross;
  bool anyPage;
};

constexpr PositionRule kStapleRules[] = {
    {0, 0, 0, true},            {1, 0x0303, 0x0202, false},  {2, 0x0103, 0x0203, false},
    {3, 0x0101, 0x0303, false}, {4, 0x0104, 0x0103, false},  {5, 0x0404, 0x0101, false},
    {6, 0x0204, 0x0104, false}, {7, 0x0202, 0x0404, false},  {8, 0x0203, 0x0204, false},
    {9, 0x0606, 0x0606, true},  {10, 0x0707, 0x0707, true},  {11, 0x0808, 0x0808, true},
    {12, 0x0B0B, 0x0A0A, false}, {13, 0x0909, 0x0B0B, false}, {14, 0x0C0C, 0x0909, false},
    {15, 0x0A0A, 0x0C0C, false},
};

constexpr PositionRule kPunchRules[] = {
    {0, 0, 0, true},            {1, 0x0303, 0x0202, false}, {2, 0x0101, 0x0303, false},
    {3, 0x0404, 0x0101, false}, {4, 0x0202, 0x0404, false}, {5, 0x0606, 0x0606, true},
};

constexpr WORD kStapleId = 320;
constexpr WORD kPunchId = 341;
constexpr WORD kStaplePositionId = 326;
constexpr WORD kPunchPositionId = 344;
constexpr WORD kPaperFeedId = 295;
constexpr WORD kOrientationId = 7;

const PositionRule* dma_LookupPositionRule(WORD ddmid, WORD request) {
  const PositionRule* rules = ddmid == kStapleId ? kStapleRules : kPunchRules;
  const std::size_t n = ddmid == kStapleId ? std::size(kStapleRules) : std::size(kPunchRules);
  for (std::size_t i = 0; i < n; ++i) {
    if (rules[i].request == request) return &rules[i];
  }
  return nullptr;
}

// Classes of DDMID 295 for the orientation rule.
int feed_class(DWORD v) {
  if (v == 1 || v == 4 || v == 16) return 1;
  if (v == 2 || v == 8 || v == 32) return 2;
  return 0;
}

// 1 when the page's orientation and DDMID 295 agree, 2 when they cross, 0
// for any other page.
int page_relation(SHORT orientation, DWORD value295) {
  const int cls = feed_class(value295);
  if (cls == 0 || (orientation != 1 && orientation != 2)) return 0;
  return cls == orientation ? 1 : 2;
}

const void* pointer_in(const void* value) {
  const void* p;
  std::memcpy(&p, value, sizeof p);
  return p;
}

}  // namespace

WORD dma_ComputeFinishingPosition(WORD ddmid, WORD request, SHORT orientation, DWORD value295) {
  const PositionRule* rule = dma_LookupPositionRule(ddmid, request);
  if (rule == nullptr) return 0;
  if (rule->anyPage) return rule->same;
  const int page = page_relation(orientation, value295);
  if (page == 0) return 0;
  return page == 1 ? rule->same : rule->cross;
}

bool dma_DeriveFinishingRequest(WORD ddmid, WORD code, SHORT orientation, DWORD value295, WORD* request) {
  if (request == nullptr || (ddmid != kStapleId && ddmid != kPunchId)) return false;
  const PositionRule* rules = ddmid == kStapleId ? kStapleRules : kPunchRules;
  const std::size_t n = ddmid == kStapleId ? std::size(kStapleRules) : std::size(kPunchRules);
  const int page = page_relation(orientation, value295);
  for (std::size_t i = 0; i < n; ++i) {
    const PositionRule& rule = rules[i];
    const bool match = rule.anyPage ? rule.same == code
                                    : (page == 1 && rule.same == code) || (page == 2 && rule.cross == code);
    if (match) {
      *request = rule.request;
      return true;
    }
  }
  return false;
}

bool dma_DeriveLinkedRequest(WORD code, SHORT orientation, DWORD value295, WORD* request) {
  if (request == nullptr || code >= std::size(kLinkedRequests)) return false;
  if (code == 0) {
    *request = 0;
    return true;
  }
  const int page = page_relation(orientation, value295);
  if (page == 0) return false;
  *request = page == 1 ? kLinkedRequests[code].same : kLinkedRequests[code].cross;
  return true;
}

bool dma_MapLinkedCode(WORD value, WORD* mapped) {
  if (value >= std::size(kLinkedCodes)) return false;
  *mapped = kLinkedCodes[value];
  return true;
}

}  // namespace morva::ddm

using namespace morva::ddm;

WORD dma_GetValue(WORD ddmid, void* devmode, void* printerData, WORD* type, DWORD* size,
                  void* value, WORD* selector) {
  if (type == nullptr || size == nullptr || value == nullptr) return kDdmFailed;
  DdmidLocation loc;
  const WORD rc = dma_FindDescriptor(ddmid, devmode, printerData, &loc);
  if (rc != kDdmOk) return rc;
  const BYTE* dm = static_cast<const BYTE*>(devmode);

  if (ddmid == 311 && load_le32(dm + kFont1EscapementOffset) != load_le32(dm + kFont1OrientationOffset)) {
    return kDdmFailed;
  }

  DWORD source = 0;
  DWORD storedWidth = loc.typeSize;
  switch (loc.access) {
    case DdmidAccess::kResolution: {
      const auto quality = static_cast<DWORD>(static_cast<SHORT>(load_le16(dm + kPrintQualityOffset)));
      const auto yres = static_cast<DWORD>(static_cast<SHORT>(load_le16(dm + kYResolutionOffset)));
      source = (quality << 16) + yres;
      break;
    }
    case DdmidAccess::kComponent:
      source = load_le32(loc.address) & loc.mask;
      break;
    case DdmidAccess::kFlag:
    case DdmidAccess::kFlagInverted: {
      if (loc.mask == 0) return kDdmFailed;
      const bool set = (load_le32(loc.address) & loc.mask) != 0;
      source = (loc.access == DdmidAccess::kFlagInverted) ? !set : set;
      storedWidth = 4;
      break;
    }
    case DdmidAccess::kBlock:
      source = loc.offset;
      storedWidth = 4;
      break;
    case DdmidAccess::kPlain:
      source = loc.typeSize == 4 ? load_le32(loc.address)
               : loc.typeSize == 2 ? load_le16(loc.address)
                                   : loc.address[0];
      break;
  }

  WORD reportedType = loc.type;
  DWORD reportedWidth = loc.typeSize;
  if (loc.delivered != 0) {
    reportedType = loc.delivered;
    reportedWidth = dma_TypeSize(loc.delivered);
    if (reportedWidth == 0) return kDdmFailed;
  }

  // The caller's slot is 32 bits: clear the reported width, then copy the
  // stored width, as callers of the delivered types expect.
  auto* slot = static_cast<BYTE*>(value);
  std::memset(slot, 0, reportedWidth);
  for (DWORD i = 0; i < storedWidth; ++i) slot[i] = static_cast<BYTE>(source >> (8 * i));

  if (loc.type == kTypeString) {
    *size = 2 * dma_WcsNLen(loc.address, loc.maxSize / 2) + 2;
  } else if (loc.type == kTypeLogFont) {
    *size = kLogFontWSize;
  } else {
    *size = reportedWidth;
  }
  *type = reportedType;
  if (selector != nullptr) *selector = loc.selector;
  return kDdmOk;
}

WORD dma_SetValue(WORD ddmid, void* devmode, void* printerData, WORD type, DWORD size,
                  const void* value) {
  if (value == nullptr) return kDdmFailed;
  DdmidLocation loc;
  const WORD rc = dma_FindDescriptor(ddmid, devmode, printerData, &loc);
  if (rc != kDdmOk) return rc;
  auto* dm = static_cast<BYTE*>(devmode);
  const auto* in = static_cast<const BYTE*>(value);

  // DDMID 259 (the model name) accepts any size and keeps at most 31
  // characters; the field always ends with a NUL so that readers stop in it.
  if (ddmid == 259) {
    if (type != kTypeString) return kDdmBadType;
    const void* text = pointer_in(value);
    if (text == nullptr) return kDdmFailed;
    DWORD chars = dma_WcsNLen(text, loc.maxSize / 2);
    if (chars > kModelNameChars) chars = kModelNameChars;
    std::memcpy(loc.address, text, 2 * chars);
    store_le16(loc.address + 2 * chars, 0);
    return kDdmOk;
  }

  const bool flag = loc.access == DdmidAccess::kFlag || loc.access == DdmidAccess::kFlagInverted;
  if (flag && loc.delivered == 0) size = 4;

  // Type and size checks.
  DWORD expected = loc.typeSize;
  if (type != loc.type) {
    if (loc.delivered == 0 || type != loc.delivered) return kDdmBadType;
    expected = dma_TypeSize(loc.delivered);
  }
  const void* block = nullptr;
  DWORD textBytes = 0;
  if (type == kTypeString) {
    block = pointer_in(value);
    if (block == nullptr) return kDdmFailed;
    textBytes = 2 * dma_WcsNLen(block, loc.maxSize / 2) + 2;
    if (loc.delivered == 0 &&
        (size > loc.maxSize || textBytes > loc.maxSize || textBytes > size)) {
      return kDdmTooLong;
    }
  } else if (type == kTypeLogFont) {
    block = pointer_in(value);
    if (block == nullptr) return kDdmFailed;
    if (loc.delivered == 0 && size > loc.maxSize) return kDdmTooLong;
  } else if (size != expected) {
    return kDdmBadSize;
  }

  // Dependent settings that could fail are checked before anything is
  // written, so a refused write leaves the stores as they were.
  // Only the settings with dependants look at the requested code; read no
  // more of the caller's value than it holds (a 1-byte setting is one byte).
  WORD request = 0;
  if (ddmid == 267 || ddmid == kStapleId || ddmid == kPunchId)
    request = size >= 2 ? load_le16(in) : (size == 1 ? in[0] : 0);
  WORD linked = 0;
  if (ddmid == 267 && !dma_MapLinkedCode(request, &linked)) return kDdmFailed;
  WORD position = 0;
  if (ddmid == kStapleId || ddmid == kPunchId) {
    WORD t;
    DWORD s;
    DWORD feed = 0;
    DWORD orientation = 0;
    if (dma_GetValue(kPaperFeedId, devmode, printerData, &t, &s, &feed, nullptr) != kDdmOk) {
      return kDdmFailed;
    }
    const WORD orc = dma_GetValue(kOrientationId, devmode, printerData, &t, &s, &orientation, nullptr);
    if (orc != kDdmOk) return orc;
    position = dma_ComputeFinishingPosition(ddmid, request, static_cast<SHORT>(orientation), feed);
  }

  // Build the bytes to store.
  BYTE scalar[4] = {};
  const BYTE* source = scalar;
  BYTE* target = loc.address;
  DWORD count = loc.typeSize;
  switch (loc.access) {
    case DdmidAccess::kResolution:
      store_le16(scalar, static_cast<WORD>(load_le32(in) >> 16));
      target = dm + kPrintQualityOffset;
      count = 2;
      break;
    case DdmidAccess::kComponent:
      store_le32(scalar, (load_le32(loc.address) & ~loc.mask) | (load_le32(in) & loc.mask));
      break;
    case DdmidAccess::kFlag:
    case DdmidAccess::kFlagInverted: {
      if (loc.mask == 0) return kDdmFailed;
      const bool set = loc.access == DdmidAccess::kFlagInverted ? (in[0] & 1) == 0 : in[0] != 0;
      const DWORD word = load_le32(loc.address);
      store_le32(scalar, set ? (word | loc.mask) : (word & ~loc.mask));
      break;
    }
    case DdmidAccess::kBlock:
      source = static_cast<const BYTE*>(block);
      count = loc.type == kTypeString ? textBytes : loc.maxSize;
      break;
    case DdmidAccess::kPlain:
      source = in;
      break;
  }
  std::memmove(target, source, count);

  // Dependent settings.
  switch (ddmid) {
    case 14:
      store_le16(dm + kYResolutionOffset, static_cast<WORD>(load_le32(in)));
      break;
    case 311:
      std::memmove(dm + kFont1OrientationOffset, loc.address, 4);
      break;
    case 364:
      std::memmove(dm + kFont2OrientationOffset, loc.address, 4);
      break;
    case 267: {
      const DWORD v = linked;
      return dma_SetValue(325, devmode, printerData, kTypeWord, 2, &v);
    }
    case kStapleId:
    case kPunchId: {
      const DWORD v = position;
      return dma_SetValue(ddmid == kStapleId ? kStaplePositionId : kPunchPositionId, devmode,
                          printerData, kTypeWord, 2, &v);
    }
    default:
      break;
  }
  return kDdmOk;
}
