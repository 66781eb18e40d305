// Plain drawings of our own, in the preview canvas's palette, so that each
// row icon reads at 16 x 16: a dark outline, one colour per kind.
#include "fax_page_art.h"

#include <fstream>
#include <stdexcept>

namespace morva::fax_page_art {
namespace {

namespace art = preview_art;
using art::Canvas;

// A fax machine: a sheet coming out of the top, the body with its key
// rows and the handset on the left.
Canvas fax_machine(int size) {
  Canvas c(size, size, art::kKey);
  const int s = size / 16;
  c.fill(5 * s, 1 * s, 8 * s, 6 * s, art::kWhite);
  c.frame(5 * s, 1 * s, 8 * s, 6 * s, art::kDark);
  for (int y = 3; y < 6; y += 2) c.fill(6 * s, y * s, 6 * s, s, art::kGrey);
  c.fill(1 * s, 7 * s, 14 * s, 7 * s, art::kLight);
  c.frame(1 * s, 7 * s, 14 * s, 7 * s, art::kBlack);
  c.fill(2 * s, 8 * s, 3 * s, 5 * s, art::kDark);  // the handset
  for (int row = 0; row < 2; ++row)
    for (int k = 0; k < 3; ++k) c.fill((7 + 2 * k) * s, (9 + 2 * row) * s, s, s, art::kBlue);
  return c;
}

// A keypad of nine keys with one key lit: a number dialled by one press.
Canvas keypad() {
  Canvas c(16, 16, art::kKey);
  c.fill(1, 1, 14, 14, art::kLight);
  c.frame(1, 1, 14, 14, art::kBlack);
  for (int row = 0; row < 3; ++row)
    for (int k = 0; k < 3; ++k) c.fill(3 + 4 * k, 3 + 4 * row, 3, 3, row == 0 && k == 0 ? art::kOrange : art::kDark);
  return c;
}

// A globe: a blue disc with its equator and meridian.
Canvas globe() {
  Canvas c(16, 16, art::kKey);
  c.disc(7, 7, 7, art::kCyan);
  c.circle(7, 7, 7, art::kNavy);
  c.line(1, 7, 14, 7, art::kNavy);
  c.line(7, 1, 7, 14, art::kNavy);
  c.fill(3, 4, 3, 2, art::kGreen);
  c.fill(9, 9, 3, 3, art::kGreen);
  return c;
}

// A closed book with its spine on the left and a bookmark.
Canvas book(int size) {
  Canvas c(size, size, art::kKey);
  const int s = size / 16;
  c.fill(3 * s, 1 * s, 11 * s, 14 * s, art::kGreen);
  c.frame(3 * s, 1 * s, 11 * s, 14 * s, art::kBlack);
  c.fill(3 * s, 1 * s, 2 * s, 14 * s, art::kDark);
  c.fill(6 * s, 4 * s, 6 * s, 3 * s, art::kWhite);  // the label
  c.fill(10 * s, 1 * s, s, 5 * s, art::kRed);      // the bookmark
  return c;
}

// A cover sheet: a page with a coloured header band and text lines.
Canvas cover_sheet() {
  Canvas c(20, 20, art::kKey);
  c.fill(3, 1, 14, 18, art::kWhite);
  c.frame(3, 1, 14, 18, art::kDark);
  c.fill(5, 3, 10, 3, art::kNavy);
  for (int y = 8; y < 17; y += 3) c.fill(5, y, y == 14 ? 6 : 10, 1, art::kGrey);
  return c;
}

// A clock showing a set hour.
Canvas clock() {
  Canvas c(20, 20, art::kKey);
  c.disc(9, 10, 8, art::kWhite);
  c.circle(9, 10, 8, art::kBlack);
  for (int k = 0; k < 4; ++k) {
    const int dx[] = {0, 7, 0, -7}, dy[] = {-7, 0, 7, 0};
    c.set(9 + dx[k], 10 + dy[k], art::kDark);
  }
  c.line(9, 10, 9, 4, art::kBlack, 2);
  c.line(9, 10, 13, 12, art::kRed, 2);
  return c;
}

void write_file(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!f) throw std::runtime_error("cannot write " + path);
}

std::string listed(const std::string& kind, const std::vector<std::pair<unsigned, std::string>>& files) {
  std::string out = "  \"" + kind + "\": [\n";
  for (size_t i = 0; i < files.size(); ++i)
    out += "    {\"id\": " + std::to_string(files[i].first) + ", \"file\": \"" + files[i].second + "\"}" +
           (i + 1 < files.size() ? ",\n" : "\n");
  return out + "  ]";
}

}  // namespace

std::vector<std::pair<unsigned, Canvas>> row_icons() {
  return {{4521, fax_machine(16)}, {4522, keypad()}, {4523, globe()}, {4524, book(16)}};
}

std::vector<std::pair<unsigned, Canvas>> page_pictures() {
  Canvas address_book(20, 20, art::kKey);
  const Canvas small = book(16);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) address_book.set(x + 2, y + 2, small.pixels[static_cast<size_t>(y) * 16 + x]);
  return {{4026, address_book}, {4027, cover_sheet()}, {4028, clock()}};
}

void write_fax_page_art(const std::string& directory, const std::string& json_name) {
  std::vector<std::pair<unsigned, std::string>> icons, bitmaps;
  for (const auto& [id, canvas] : row_icons()) {
    icons.emplace_back(id, "i" + std::to_string(id) + ".ico");
    write_file(directory + "/" + icons.back().second, art::ico_bytes(canvas));
  }
  for (const auto& [id, canvas] : page_pictures()) {
    bitmaps.emplace_back(id, "b" + std::to_string(id) + ".bmp");
    write_file(directory + "/" + bitmaps.back().second, art::bmp_bytes(canvas, 8));
  }
  std::ofstream j(directory + "/" + json_name);
  j << "{\n" << listed("bitmaps", bitmaps) << ",\n" << listed("icons", icons) << "\n}\n";
  if (!j) throw std::runtime_error("cannot write " + json_name);
}

}  // namespace morva::fax_page_art
