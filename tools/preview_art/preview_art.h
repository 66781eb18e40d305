// Draws the bitmaps of the print-settings preview and the sheet pictures
// as plain BMP files with a resource source listing them, for the resource
// module.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace morva::preview_art {

// An image of palette indices (the fixed palette of kPalette).
struct Canvas {
  int width = 0, height = 0;
  std::vector<std::uint8_t> pixels;
  Canvas(int w, int h, std::uint8_t fill);
  void set(int x, int y, std::uint8_t c);
  void fill(int x, int y, int w, int h, std::uint8_t c);
  void frame(int x, int y, int w, int h, std::uint8_t c);
  void line(int x0, int y0, int x1, int y1, std::uint8_t c, int thickness = 1);
  void disc(int cx, int cy, int r, std::uint8_t c);
  void circle(int cx, int cy, int r, std::uint8_t c);
  // Digits and a few capitals of a 3x5 pixel font, scaled.
  void text(int x, int y, const std::string& s, std::uint8_t c, int scale = 1);
};

// Palette indices.
enum Colour : std::uint8_t {
  kKey, kWhite, kBlack, kDark, kGrey, kLight, kBlue, kPaleBlue, kRed, kOrange, kGreen, kYellow, kNavy, kCyan,
  kPurple, kShadow
};

// A BMP file of the canvas: 8 bits with a 256-entry colour table, or 4 bits.
std::vector<std::uint8_t> bmp_bytes(const Canvas& canvas, int bits);

// One bitmap: its resource id and picture, or the whole BMP file when the
// picture has a colour table of its own.
struct Art {
  unsigned id;
  Canvas canvas;
  int bits;  // 8 or 4
  std::vector<std::uint8_t> file = {};
};

// Palette entries of the colour sample (bitmap 373): 2-97 a ring of hues,
// 98-113 warm tones, 114-127 greys; the chart shows each once.
std::vector<std::uint8_t> colour_sample_bmp();

// The background pictures of the fax cover-sheet preview (5060, 5061, 5065).
std::vector<Art> fax_cover_art();

// Every bitmap of the preview layers and the sheet pictures.
std::vector<Art> all_art();

// An ICO file of the canvas: one 32-bit image with alpha, the key colour
// transparent, and its AND mask.
std::vector<std::uint8_t> ico_bytes(const Canvas& canvas);

// One icon of the sheets' position pictures.
struct Icon {
  unsigned id;
  Canvas canvas;
};
// The position icons: the binding edge of the sheet (with or without
// staples, as a bar or as the margin), and the booklet with or without its
// cover, bound at the left or at the right.
std::vector<Icon> position_icons();

// The demo model's logo for the version dialog: a pale banner with a
// navy foot and, at the right, a printer giving out a sheet; the dialog's
// texts stand on its empty left part.
inline constexpr int kDemoLogoWidth = 400, kDemoLogoHeight = 150;
Canvas demo_logo();

// Writes b<id>.bmp for every bitmap, i<id>.ico for every icon and
// `json_name` listing them into `directory`. Throws std::runtime_error when a file cannot be written.
void write_art(const std::string& directory, const std::string& json_name);

}  // namespace morva::preview_art
