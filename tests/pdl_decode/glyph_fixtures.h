// Small glyph records written as typed values, for tests that need a
// download or inline glyph operator followed by its record.
#pragma once

#include "render/pdl_encoding.h"

namespace morva::test {

// A bitmap record of an 8 x 3 glyph: 24 bytes.
inline int WriteBitmapGlyph(render::PdlSink* s) {
  using render::Pdl_PutTypedValue;
  const DWORD header = 0x400000 | 24;
  const float ox = 1.0f, oy = -2.0f;
  const WORD height = 3, width = 8;
  const BYTE row = 1, one = 1;
  const BYTE bits[3] = {0xFF, 0x81, 0xFF};
  const BYTE pad[3] = {0x11, 0x11, 0x11};
  int r = Pdl_PutTypedValue(s, 14, &header, 0);
  r |= Pdl_PutTypedValue(s, 3, &ox, 0);
  r |= Pdl_PutTypedValue(s, 3, &oy, 0);
  r |= Pdl_PutTypedValue(s, 4, &height, 0);
  r |= Pdl_PutTypedValue(s, 5, &width, 0);
  r |= Pdl_PutTypedValue(s, 6, &row, 0);
  r |= Pdl_PutTypedValue(s, 7, &one, 0);
  r |= Pdl_PutTypedValue(s, 8, bits, 3);
  r |= Pdl_PutTypedValue(s, 8, pad, 3);
  return r;
}

// An outline record of 5 points and 7 commands in word coordinates: 32 bytes.
inline int WriteOutlineGlyph(render::PdlSink* s) {
  using render::Pdl_PutTypedValue;
  const DWORD header = 32;
  const WORD points = 5, commands = 7;
  int r = Pdl_PutTypedValue(s, 14, &header, 0);
  r |= Pdl_PutTypedValue(s, 9, &points, 0);
  r |= Pdl_PutTypedValue(s, 10, &commands, 0);
  for (WORD i = 0; i < 10; ++i) {
    WORD c = static_cast<WORD>(i * 64);
    r |= Pdl_PutTypedValue(s, 13, &c, 0);
  }
  const BYTE cmds[4] = {0x12, 0x22, 0x25, 0x60};
  for (BYTE c : cmds) r |= Pdl_PutTypedValue(s, 12, &c, 0);
  return r;
}

}  // namespace morva::test
