// The predictive run-length bit code of image rows (compression method 8).
//
// The coder sees rows of 1-byte pixels (8-bit data) or 4-byte pixels (24-bit
// pixels in 4-byte slots, or 32-bit pixels). A token is either a literal
// pixel (per-byte deltas to the left neighbour) or a run saying that the
// next pixels each equal a reference pixel (left, above-left, above,
// above-right, or a fifth neighbour); recently used references get the
// short codes. Fields are written most significant bit first and the bit
// stream runs on across rows without byte alignment.
#pragma once

#include "win/types.h"

namespace morva::render {

struct RunLengthCoder;

// A coder for `height` rows of `width` pixels of 8, 24 or 32 bits; null
// when the sizes are out of range (row bytes + 20 above 65535, no pixels)
// or memory is short.
RunLengthCoder* RunLengthCoder_Create(DWORD width, DWORD height, DWORD bits_per_pixel);

// Codes the next row (width x 1, 3 or 4 bytes) into `out`: answers the
// whole bytes completed by this row, or -1 when they do not fit `room`, a
// row beyond the height is given, or an argument is missing. After -1 the
// coder can only be finished to free it.
LONG RunLengthCoder_EncodeRow(RunLengthCoder* coder, const BYTE* row, BYTE* out, DWORD room);

// Writes the run still pending and the end marker into `out`, answering the
// bytes of this last part, or -1 (no buffer, no room, or fewer rows coded
// than the height). Frees the coder in every case.
LONG RunLengthCoder_Finish(RunLengthCoder* coder, BYTE* out, DWORD room);

// The longest run one token carries.
inline constexpr DWORD kRunLengthMaxRun = 17057;

}  // namespace morva::render
