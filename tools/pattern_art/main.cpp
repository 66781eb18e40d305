// morva-pattern-art <directory>: draws the three sample pictures of the
// colour adjustment dialogs (brightness, saturation, contrast) and the icons
// of the pattern page's choices, and writes the resource source
// "pattern_art.json" listing them.
//
// The icons show the five fill patterns (none, dots, lines, diagonals,
// cross-hatch) twice: on a sheet of paper (picture 1645) and as a swatch
// (picture 1646), each in a blue and a grey variant.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "preview_art.h"

namespace {

using morva::preview_art::Canvas;
namespace art = morva::preview_art;

// The scene every sample shows: sky, sun, hill and a house.
void scene(Canvas& c, std::uint8_t sky, std::uint8_t sun, std::uint8_t hill, std::uint8_t wall,
           std::uint8_t roof) {
  c.fill(0, 0, c.width, c.height, sky);
  c.disc(c.width - 14, 11, 7, sun);
  for (int x = 0; x < c.width; ++x) {
    const int top = c.height * 2 / 3 - (x * (c.width - x)) / (c.width * 2);
    c.fill(x, top, 1, c.height - top, hill);
  }
  c.fill(12, 24, 16, 12, wall);
  for (int i = 0; i < 9; ++i) c.fill(11 + i, 24 - i, 18 - 2 * i, 1, roof);
  c.fill(18, 29, 4, 7, art::kBlack);
  c.frame(0, 0, c.width, c.height, art::kBlack);
}

Canvas brightness_sample() {
  Canvas c(64, 48, art::kWhite);
  scene(c, art::kPaleBlue, art::kYellow, art::kGreen, art::kWhite, art::kRed);
  // A ramp from dark to light along the foot.
  const std::uint8_t ramp[] = {art::kBlack, art::kDark, art::kGrey, art::kLight, art::kWhite};
  for (int i = 0; i < 5; ++i) c.fill(1 + i * 62 / 5, 41, 62 / 5 + 1, 6, ramp[i]);
  return c;
}

Canvas saturation_sample() {
  Canvas c(64, 48, art::kWhite);
  scene(c, art::kCyan, art::kOrange, art::kGreen, art::kYellow, art::kPurple);
  const std::uint8_t bars[] = {art::kRed, art::kOrange, art::kYellow, art::kGreen, art::kCyan, art::kBlue,
                               art::kPurple};
  for (int i = 0; i < 7; ++i) c.fill(1 + i * 62 / 7, 41, 62 / 7 + 1, 6, bars[i]);
  return c;
}

Canvas contrast_sample() {
  Canvas c(64, 48, art::kWhite);
  scene(c, art::kLight, art::kWhite, art::kGrey, art::kWhite, art::kBlack);
  // Black and white steps: the strongest contrast the picture holds.
  for (int i = 0; i < 8; ++i) c.fill(1 + i * 62 / 8, 41, 62 / 8 + 1, 6, i % 2 ? art::kWhite : art::kBlack);
  return c;
}

// Pattern n (0 none, 1 dots, 2 lines, 3 diagonals, 4 cross-hatch) inside a
// box.
void pattern(Canvas& c, int x, int y, int w, int h, int n, std::uint8_t ink) {
  for (int py = y; py < y + h; ++py)
    for (int px = x; px < x + w; ++px) {
      const int u = px - x, v = py - y;
      bool on = false;
      switch (n) {
        case 1: on = u % 4 == 1 && v % 4 == 1; break;
        case 2: on = v % 4 == 1; break;
        case 3: on = (u + v) % 5 == 0; break;
        case 4: on = (u + v) % 5 == 0 || (u - v + 100) % 5 == 0; break;
        default: break;
      }
      if (on) c.set(px, py, ink);
    }
}

// On a sheet with a folded corner.
Canvas sheet_icon(int n, std::uint8_t ink) {
  Canvas c(32, 32, art::kKey);
  c.fill(6, 2, 20, 28, art::kWhite);
  pattern(c, 8, 4, 16, 24, n, ink);
  c.frame(6, 2, 20, 28, art::kBlack);
  for (int i = 0; i < 6; ++i) c.fill(26 - 6 + i, 2 + i, 6 - i, 1, art::kKey);
  c.line(20, 2, 25, 7, art::kBlack);
  return c;
}

// As a square swatch.
Canvas swatch_icon(int n, std::uint8_t ink) {
  Canvas c(32, 32, art::kKey);
  c.fill(3, 3, 26, 26, art::kWhite);
  pattern(c, 4, 4, 24, 24, n, ink);
  c.frame(3, 3, 26, 26, art::kBlack);
  return c;
}

void write_file(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!f) throw std::runtime_error("cannot write " + path);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: morva-pattern-art <directory>\n");
    return 2;
  }
  try {
    const std::string dir = argv[1];
    std::filesystem::create_directories(dir);
    std::string json = "{\n  \"bitmaps\": [\n";
    const std::pair<unsigned, Canvas> samples[] = {
        {5138, brightness_sample()}, {5139, saturation_sample()}, {5140, contrast_sample()}};
    bool first = true;
    for (const auto& [id, canvas] : samples) {
      const std::string name = "b" + std::to_string(id) + ".bmp";
      write_file(dir + "/" + name, art::bmp_bytes(canvas, 8));
      json += std::string(first ? "" : ",\n") + "    {\"id\": " + std::to_string(id) + ", \"file\": \"" + name + "\"}";
      first = false;
    }
    json += "\n  ],\n  \"icons\": [\n";
    // Per pattern 0-4: the sheet icons (blue, grey), then the swatch icons
    // (blue, grey).
    const unsigned sheet_blue[] = {1003, 1001, 1004, 1002, 1005}, sheet_grey[] = {893, 875, 896, 890, 887};
    const unsigned swatch_blue[] = {892, 898, 895, 889, 886}, swatch_grey[] = {891, 897, 894, 888, 885};
    first = true;
    for (int n = 0; n < 5; ++n) {
      const std::pair<unsigned, Canvas> icons[] = {{sheet_blue[n], sheet_icon(n, art::kBlue)},
                                                   {sheet_grey[n], sheet_icon(n, art::kDark)},
                                                   {swatch_blue[n], swatch_icon(n, art::kBlue)},
                                                   {swatch_grey[n], swatch_icon(n, art::kDark)}};
      for (const auto& [id, canvas] : icons) {
        const std::string name = "i" + std::to_string(id) + ".ico";
        write_file(dir + "/" + name, art::ico_bytes(canvas));
        json += std::string(first ? "" : ",\n") + "    {\"id\": " + std::to_string(id) + ", \"file\": \"" + name + "\"}";
        first = false;
      }
    }
    json += "\n  ]\n}\n";
    std::ofstream j(dir + "/pattern_art.json");
    j << json;
    if (!j) throw std::runtime_error("cannot write pattern_art.json");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "morva-pattern-art: %s\n", e.what());
    return 1;
  }
  return 0;
}
