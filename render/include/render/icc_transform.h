// Colour transforms of the graphics driver: 8-bit device RGB pixels (blue
// byte first, as GDI hands them) to 8-bit sRGB pixels for the printer.
//
// A transform comes from an ICC profile file (a scanner profile with an
// A2B0 lookup table, or a monitor profile with colorants, tone curves and a
// white point) or from one of three colour-temperature presets with a gamma.
// Every transform yields 12-bit linear values 0..4095 per channel, which a
// 4096-entry table of the sRGB transfer function turns into bytes.
#pragma once

#include <cstdint>

#include "win/types.h"

namespace morva::render {

inline constexpr int kIccGridPoints = 17;
inline constexpr std::size_t kIccGridEntries =
    static_cast<std::size_t>(kIccGridPoints) * kIccGridPoints * kIccGridPoints * 3;

enum IccTransformMode : INT {
  kIccModeNone = -1,    // pixels are copied
  kIccModeMatrix = 0,   // curves, then the matrix
  kIccModeGrid = 1,     // curves, then the 17-point grid
};

struct IccTransform {
  // Red, green, blue; indexed by the 8-bit input value; 0..65535.
  WORD input_curves[3][256];
  // 16.16, row by row: row 0 gives red, 1 green, 2 blue; column 0 takes
  // red, 1 green, 2 blue.
  std::int32_t matrix[9];
  // 17 x 17 x 17 entries of (red, green, blue), red index outermost, blue
  // innermost; locked global memory, null when not built.
  WORD* grid;
  INT mode;  // IccTransformMode
  // Matrix mode with the near-white flag: the 16-bit outputs of the eight
  // corners of the top cell (component 0xEFFF or 0xFFFF), corner index
  // (red << 2) | (green << 1) | blue, three channels each.
  DWORD near_white[24];
  INT near_white_flag;
};

// A transform that copies (mode -1, no grid). Call before first use.
void InitIccTransform(IccTransform* transform);

// Presets 5000, 6500 and 9300 (kelvin) with tone type 0x0A, 0x0E, 0x12,
// 0x16 or 0x1A (gamma 1.0 to 2.6). 0, or -1 for anything else (mode -1,
// near-white flag 0). Frees a grid the transform held.
INT SelectColourTemperature(IccTransform* transform, DWORD temperature, DWORD tone_type);

// Builds the transform from a profile file (ANSI path). 0 on success (mode 0
// or 1); -1 no transform or a pipe path; -2 cannot be opened; -3 read or
// seek failure, or a tag reaching past the end of the file; -4 cannot be
// closed; -5 signature not "acsp"/"nicc"; -6 colour space not "RGB "; -7
// connection space, class, or the tags needed missing or malformed; -8 out
// of memory. Mode -1 and near-white flag 0 while loading and after any
// failure, with nothing left allocated.
INT LoadIccProfile(IccTransform* transform, LPCSTR path);

// Converts `count` 3-byte pixels (blue, green, red). Source and destination
// may be the same buffer. Without a transform, or in mode -1, copies.
void ConvertPixelsGrid(const IccTransform* transform, const BYTE* source, BYTE* destination, DWORD count);

// Frees the grid; mode -1, near-white flag 0.
void FreeIccTransform(IccTransform* transform);

// ---- single-channel brightness and contrast ---------------------------------

struct GainOffset {
  std::int32_t gain;    // 16.16
  std::int32_t offset;  // 16.16
};

// Brightness and contrast, each clamped to -100..100: gain = 1 + 0.003
// contrast, offset = (1 - gain) 255 + 0.5 brightness. -1 without `out`.
INT ColourGainOffset(GainOffset* out, INT brightness, INT contrast);
// Applies gain and offset to `count` grey bytes (source and destination may
// be the same); without gain and offset the bytes are copied.
void ApplyGainOffsetGrey(const GainOffset* gain_offset, const BYTE* source, BYTE* destination, DWORD count);

// ---- pieces, exposed for tests --------------------------------------------

// A profile curve of `count` big-endian 16-bit entries as 256 values:
// count 0 the identity, 1 a gamma (u8.8 exponent), 256 a copy, else linear
// resampling.
void CurveToTable(const BYTE* entries, DWORD count, WORD out[256]);
// The matrix that takes XYZ relative to white `w` to linear sRGB (row
// major, 3 x 3). For the D65 white this is the plain XYZ-to-sRGB matrix.
// False for a white whose chromaticity cannot be formed.
bool WhiteAdaptationMatrix(const double w[3], double out[9]);
// 12-bit linear value to its sRGB byte.
BYTE EncodeSrgb12(DWORD value);

}  // namespace morva::render
