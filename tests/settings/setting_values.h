// Reading and writing single settings of a settings pair in tests, with the
// value engine's own types and sizes.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "ddm/ddmid.h"
#include "settings/items/item_access.h"

namespace morva::test {

// The setting's value as a number (its own type widened).
inline LONG number(void* dm, void* pd, WORD ddmid) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  EXPECT_EQ(GetItemValue(ddmid, dm, pd, &type, &size, &v), morva::ddm::kDdmOk) << ddmid;
  return GetTypedValue(type, &v);
}

// Writes a number into the setting in its own type and size.
inline void put(void* dm, void* pd, WORD ddmid, LONG value) {
  using namespace morva::ddm;
  const DdmidDescriptor* d = dma_Descriptor(ddmid);
  ASSERT_NE(d, nullptr);
  ItemValue v{};
  switch (d->type) {
    case kTypeShort: case kTypeWord: v.w = static_cast<WORD>(value); break;
    case kTypeByte: v.b = static_cast<BYTE>(value); break;
    default: v.l = value; break;
  }
  ASSERT_EQ(SetItemValueRaw(ddmid, dm, pd, d->type, dma_TypeSize(d->type), &v), kDdmOk) << ddmid;
}

// A text setting's value.
inline std::u16string text(void* dm, void* pd, WORD ddmid) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  EXPECT_EQ(GetItemValue(ddmid, dm, pd, &type, &size, &v), morva::ddm::kDdmOk) << ddmid;
  return ItemText(v, size);
}

}  // namespace morva::test
