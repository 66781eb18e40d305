// A transfer block of the private image protocol, as outside programs send
// it through the image-transfer escape: for the placed-image tests.
#pragma once

#include <cstring>
#include <vector>

#include "win/endian.h"
#include "win/types.h"

namespace morva::test {

using morva::store_le16;
using morva::store_le32;

struct Image {
  WORD rotation = 0;
  WORD dest_w = 100, dest_h = 50;
  WORD image_w = 100, image_h = 50;
  WORD zero1 = 0, zero2 = 0;
  LONG bi_w = 100, bi_h = 50;
  WORD bits = 24;
  DWORD compression = 4;
  DWORD clr_used = 0;
  bool clip = false;
};

// One transfer block: header, description, BITMAPINFO with a colour table
// of 300 entries, clip rectangle, then the piece's data.
inline std::vector<BYTE> block(const Image& im, DWORD total, DWORD offset, DWORD length, BYTE fill = 0xAB) {
  constexpr DWORD kDesc = 40, kBmi = 72, kClip = kBmi + 40 + 4 * 300, kData = kClip + 8;
  std::vector<BYTE> b(kData + length, 0);
  store_le32(&b[0], static_cast<DWORD>(b.size()));
  store_le32(&b[8], kDesc);
  store_le32(&b[12], total);
  store_le32(&b[16], offset);
  store_le32(&b[20], length);
  store_le16(&b[26], im.rotation);
  store_le32(&b[36], im.clip ? kClip : 0);
  store_le16(&b[kDesc + 4], 10);
  store_le16(&b[kDesc + 6], 20);
  store_le16(&b[kDesc + 8], im.dest_w);
  store_le16(&b[kDesc + 10], im.dest_h);
  store_le16(&b[kDesc + 12], im.zero1);
  store_le16(&b[kDesc + 14], im.zero2);
  store_le16(&b[kDesc + 16], im.image_w);
  store_le16(&b[kDesc + 18], im.image_h);
  store_le32(&b[kDesc + 20], kData);
  store_le32(&b[kDesc + 24], kBmi);
  store_le32(&b[kDesc + 28], 0xCC0020);
  store_le32(&b[kBmi], 40);
  store_le32(&b[kBmi + 4], static_cast<DWORD>(im.bi_w));
  store_le32(&b[kBmi + 8], static_cast<DWORD>(im.bi_h));
  store_le16(&b[kBmi + 14], im.bits);
  store_le32(&b[kBmi + 16], im.compression);
  store_le32(&b[kBmi + 32], im.clr_used);
  for (int i = 0; i < 300; ++i) {
    b[kBmi + 40 + 4 * i] = static_cast<BYTE>(i);         // blue
    b[kBmi + 40 + 4 * i + 1] = static_cast<BYTE>(i + 1);  // green
    b[kBmi + 40 + 4 * i + 2] = static_cast<BYTE>(i + 2);  // red
  }
  store_le16(&b[kClip], 5);
  store_le16(&b[kClip + 2], 6);
  store_le16(&b[kClip + 4], 700);
  store_le16(&b[kClip + 6], 800);
  std::memset(&b[kData], fill, length);
  return b;
}

}  // namespace morva::test
