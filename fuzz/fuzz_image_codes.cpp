// Image coding sees whatever pixels an application draws: the run-length
// coder and the method choice with its coders must stay inside the buffers
// they are given, for any pixels, sizes and output room.
//
// Input: a pixel-size byte (low two bits: 8, 24 or 32 bits; the next bits
// cut the coder's output room), the requested method byte, the width as a
// little-endian WORD, then the pixels, row after row (the height is what
// fits).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "render/image_compression.h"
#include "render/run_length_code.h"

using namespace morva::render;

namespace {

void run_length(const std::uint8_t* pixels, std::size_t size, DWORD width, DWORD bpp, DWORD room_cut) {
  const DWORD row_bytes = width * (bpp / 8);
  const DWORD height = std::min<DWORD>(static_cast<DWORD>(size / row_bytes), 64);
  RunLengthCoder* coder = RunLengthCoder_Create(width, std::max<DWORD>(height, 1), bpp);
  if (!coder) return;
  // Rows in buffers of exactly their size; output room from generous down
  // to nearly none.
  const DWORD room = std::max<DWORD>((row_bytes * 2 + 16) >> room_cut, 1);
  for (DWORD y = 0; y < height; ++y) {
    const std::vector<BYTE> row(pixels + y * row_bytes, pixels + (y + 1) * row_bytes);
    std::vector<BYTE> out(room);
    if (RunLengthCoder_EncodeRow(coder, row.data(), out.data(), room) < 0) break;
  }
  std::vector<BYTE> tail(room);
  RunLengthCoder_Finish(coder, tail.data(), room);
}

void compress(const std::uint8_t* pixels, std::size_t size, WORD width, DWORD bpp, DWORD requested) {
  const DWORD row_bytes = bpp == 1 ? (width + 7u) / 8 : width * (bpp / 8);
  if (row_bytes == 0) return;
  const WORD height = static_cast<WORD>(std::min<std::size_t>(size / row_bytes, 0xFFFF));
  std::vector<BYTE> data(pixels, pixels + std::size_t{row_bytes} * height);
  BYTE method = 0, format = bpp == 24 ? kImageRgb24 : bpp == 1 ? kImageIndexedGrey : kImageGrey8;
  DWORD length = static_cast<DWORD>(data.size());
  MemoryImageScratch scratch;
  ImageCompressionRecord record{};
  record.has_data = TRUE;
  record.bits_per_pixel = bpp;
  record.width = width;
  record.height = height;
  record.method = &method;
  record.format = &format;
  record.length = &length;
  record.requested_method = requested;
  record.scratch = &scratch;
  record.rop_kind = 2;
  record.rop_code = 0xCC;
  CompressImage(&record, data.data());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4 || size > 1 << 17) return 0;
  static const DWORD kBits[] = {8, 24, 32, 1};
  const DWORD bpp = kBits[data[0] & 3];
  const DWORD room_cut = (data[0] >> 2) & 7;
  const DWORD requested = data[1];
  const WORD width = static_cast<WORD>(data[2] | data[3] << 8);
  if (width == 0) return 0;
  const std::uint8_t* pixels = data + 4;
  const std::size_t count = size - 4;
  if (bpp != 1 && count >= width * (bpp / 8)) run_length(pixels, count, width, bpp, room_cut);
  compress(pixels, count, width, bpp == 32 ? 24 : bpp, requested);
  return 0;
}
