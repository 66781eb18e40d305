// morva-choice-icons <directory>: draws the list icons of the sheets and
// the margin dialog's edge icons as ICO files (32-bit colour with alpha and
// an AND mask) and writes the resource source "icons.json" listing them.
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

using Pixel = std::uint32_t;  // 0xAARRGGBB
constexpr Pixel kInk = 0xFF202020;
constexpr Pixel kPaper = 0xFFFFFFFF;
constexpr Pixel kAccent = 0xFF1F5FBF;
constexpr Pixel kCells = 0xFF9FB8DF;

class Canvas {
 public:
  explicit Canvas(int size) : size_(size), pixels_(static_cast<size_t>(size * size), 0) {}
  int size() const { return size_; }
  void fill(int left, int top, int right, int bottom, Pixel colour) {
    for (int y = top; y < bottom; ++y)
      for (int x = left; x < right; ++x) put(x, y, colour);
  }
  void frame(int left, int top, int right, int bottom, Pixel colour) {
    fill(left, top, right, top + 1, colour);
    fill(left, bottom - 1, right, bottom, colour);
    fill(left, top, left + 1, bottom, colour);
    fill(right - 1, top, right, bottom, colour);
  }
  void put(int x, int y, Pixel colour) {
    if (x >= 0 && y >= 0 && x < size_ && y < size_) pixels_[static_cast<size_t>(y * size_ + x)] = colour;
  }
  // The ICO file: one 32-bit image, rows bottom-up, then the AND mask.
  std::vector<std::uint8_t> ico() const {
    std::vector<std::uint8_t> out;
    auto u16 = [&](unsigned v) { out.push_back(v & 0xFF); out.push_back((v >> 8) & 0xFF); };
    auto u32 = [&](std::uint32_t v) { u16(v & 0xFFFF); u16(v >> 16); };
    const int mask_stride = ((size_ + 31) / 32) * 4;
    const std::uint32_t image_bytes = 40 + static_cast<std::uint32_t>(size_ * size_ * 4 + mask_stride * size_);
    u16(0); u16(1); u16(1);
    out.push_back(static_cast<std::uint8_t>(size_)); out.push_back(static_cast<std::uint8_t>(size_));
    out.push_back(0); out.push_back(0);
    u16(1); u16(32); u32(image_bytes); u32(22);
    u32(40); u32(static_cast<std::uint32_t>(size_)); u32(static_cast<std::uint32_t>(size_ * 2));
    u16(1); u16(32); u32(0); u32(0); u32(0); u32(0); u32(0); u32(0);
    for (int y = size_ - 1; y >= 0; --y)
      for (int x = 0; x < size_; ++x) u32(pixels_[static_cast<size_t>(y * size_ + x)]);
    for (int y = size_ - 1; y >= 0; --y) {
      std::vector<std::uint8_t> row(static_cast<size_t>(mask_stride), 0);
      for (int x = 0; x < size_; ++x)
        if ((pixels_[static_cast<size_t>(y * size_ + x)] >> 24) == 0) row[static_cast<size_t>(x / 8)] |= 0x80 >> (x % 8);
      out.insert(out.end(), row.begin(), row.end());
    }
    return out;
  }

 private:
  int size_;
  std::vector<Pixel> pixels_;
};

// A sheet of paper, portrait or landscape, centred in the canvas; answers
// its inner rectangle.
struct Box {
  int left, top, right, bottom;
};
Box sheet(Canvas& c, bool landscape) {
  const int s = c.size();
  const int long_side = s - 2, short_side = s * 3 / 4;
  const int w = landscape ? long_side : short_side, h = landscape ? short_side : long_side;
  const Box b{(s - w) / 2, (s - h) / 2, (s - w) / 2 + w, (s - h) / 2 + h};
  c.fill(b.left, b.top, b.right, b.bottom, kPaper);
  c.frame(b.left, b.top, b.right, b.bottom, kInk);
  return {b.left + 2, b.top + 2, b.right - 2, b.bottom - 2};
}

void grid(Canvas& c, Box b, int columns, int rows) {
  const int w = b.right - b.left, h = b.bottom - b.top;
  for (int i = 0; i < columns; ++i)
    for (int j = 0; j < rows; ++j) {
      const int l = b.left + w * i / columns, r = b.left + w * (i + 1) / columns;
      const int t = b.top + h * j / rows, d = b.top + h * (j + 1) / rows;
      c.fill(l + (i ? 1 : 0), t + (j ? 1 : 0), r, d, kCells);
    }
}

// The feed direction: an arrow pointing up at the sheet's leading edge.
void arrow(Canvas& c, Box b) {
  const int x = (b.left + b.right) / 2;
  for (int y = b.top + 1; y < b.bottom - 1; ++y) c.put(x, y, kAccent);
  for (int d = 0; d < 4; ++d) {
    c.put(x - d, b.top + 1 + d, kAccent);
    c.put(x + d, b.top + 1 + d, kAccent);
  }
}

struct Icon {
  int id;
  Canvas canvas;
};

void pages_per_sheet(std::vector<Icon>& out, int id, bool landscape, int pages) {
  Canvas c(24);
  const Box b = sheet(c, landscape);
  int columns = 1, rows = 1;
  for (int n = 1; n < pages; n *= 2) (columns <= rows ? columns : rows) *= 2;
  if (landscape != (columns > rows)) std::swap(columns, rows);
  grid(c, b, columns, rows);
  out.push_back({id, c});
}

std::vector<Icon> draw_icons() {
  std::vector<Icon> icons;
  for (int id : {1011, 1012}) {  // long edge, short edge first
    Canvas c(14);
    arrow(c, sheet(c, id == 1011));
    icons.push_back({id, c});
  }
  const int pages[] = {1, 2, 4, 8, 16, 32};
  const int portrait[] = {2357, 2358, 2360, 2362, 2364, 2366};
  const int landscape[] = {2357, 2359, 2361, 2363, 2365, 2367};
  for (int i = 0; i < 6; ++i) {
    pages_per_sheet(icons, portrait[i], false, pages[i]);
    if (landscape[i] != portrait[i]) pages_per_sheet(icons, landscape[i], true, pages[i]);
  }
  // Page order: four cells and the path through them.
  for (int id = 2368; id <= 2375; ++id) {
    Canvas c(24);
    const Box b = sheet(c, id == 2370 || id == 2371);
    grid(c, b, 2, 2);
    const int step = id - 2368;
    for (int x = b.left + 2; x < b.right - 2; ++x) c.put(x, (step % 2) ? b.bottom - 3 : b.top + 3, kAccent);
    for (int y = b.top + 3; y < b.bottom - 2; ++y) c.put((step / 2 % 2) ? b.right - 3 : b.left + 3, y, kAccent);
    icons.push_back({id, c});
  }
  // Colour modes: black and white, colour, grey.
  const Pixel modes[3][2] = {{kInk, kPaper}, {0xFFD02020, 0xFF20A040}, {0xFF808080, 0xFFC0C0C0}};
  for (int i = 0; i < 3; ++i) {
    Canvas c(24);
    const Box b = sheet(c, false);
    const int mid = (b.top + b.bottom) / 2;
    c.fill(b.left, b.top, b.right, mid, modes[i][0]);
    c.fill(b.left, mid, b.right, b.bottom, i == 1 ? 0xFF2050D0 : modes[i][1]);
    icons.push_back({2376 + i, c});
  }
  // Finishing marks at the sheet's edges.
  for (int i = 0; i < 5; ++i) {
    Canvas c(24);
    const Box b = sheet(c, false);
    if (i >= 1) c.fill(b.left, b.top, b.left + 4, b.top + 2, kAccent);
    if (i >= 2) c.fill(b.left, b.bottom - 2, b.left + 4, b.bottom, kAccent);
    if (i >= 3) c.fill(b.left, (b.top + b.bottom) / 2 - 1, b.left + 2, (b.top + b.bottom) / 2 + 1, kInk);
    if (i >= 4) c.fill(b.right - 4, b.top, b.right, b.top + 2, kAccent);
    icons.push_back({2400 + i, c});
  }
  // Layouts by the sheet's orientation: one, two and three bands.
  for (int i = 0; i < 3; ++i)
    for (bool turned : {false, true}) {
      Canvas c(24);
      const Box b = sheet(c, turned);
      grid(c, b, turned ? i + 1 : 1, turned ? 1 : i + 1);
      icons.push_back({(turned ? 2405 : 2354) + i, c});
    }
  // The margin dialog's edges: a sheet with lines of text and the edge a
  // margin entry sets marked. In landscape the paper's edges turn with the
  // page: its left edge lies at the bottom, its top edge at the left.
  enum Edge { kLeft, kRight, kTop, kBottom };
  struct EdgeIcon {
    int id;
    bool landscape;
    Edge edge;
  };
  const EdgeIcon edges[] = {{876, false, kLeft},   {900, true, kBottom}, {882, false, kRight}, {881, true, kTop},
                            {884, false, kTop},    {883, true, kLeft},   {880, false, kBottom}, {879, true, kRight}};
  for (const EdgeIcon& e : edges) {
    Canvas c(32);
    const Box b = sheet(c, e.landscape);
    for (int y = b.top + 4; y < b.bottom - 4; y += 3) c.fill(b.left + 4, y, b.right - 4, y + 1, kCells);
    switch (e.edge) {
      case kLeft: c.fill(b.left - 2, b.top - 2, b.left + 2, b.bottom + 2, kAccent); break;
      case kRight: c.fill(b.right - 2, b.top - 2, b.right + 2, b.bottom + 2, kAccent); break;
      case kTop: c.fill(b.left - 2, b.top - 2, b.right + 2, b.top + 2, kAccent); break;
      case kBottom: c.fill(b.left - 2, b.bottom - 2, b.right + 2, b.bottom + 2, kAccent); break;
    }
    icons.push_back({e.id, c});
  }
  // The margins as a whole: every edge of the portrait (877) and the
  // landscape (878) sheet marked.
  for (const auto& [id, landscape] : {std::pair{877, false}, std::pair{878, true}}) {
    Canvas c(32);
    const Box b = sheet(c, landscape);
    for (int y = b.top + 4; y < b.bottom - 4; y += 3) c.fill(b.left + 4, y, b.right - 4, y + 1, kCells);
    c.fill(b.left - 2, b.top - 2, b.left + 2, b.bottom + 2, kAccent);
    c.fill(b.right - 2, b.top - 2, b.right + 2, b.bottom + 2, kAccent);
    c.fill(b.left - 2, b.top - 2, b.right + 2, b.top + 2, kAccent);
    c.fill(b.left - 2, b.bottom - 2, b.right + 2, b.bottom + 2, kAccent);
    icons.push_back({id, c});
  }
  return icons;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: morva-choice-icons <directory>\n");
    return 2;
  }
  try {
    const std::string folder = argv[1];
    std::filesystem::create_directories(folder);
    std::string json = "{\n  \"icons\": [\n";
    bool first = true;
    for (const Icon& icon : draw_icons()) {
      const std::string name = "icon_" + std::to_string(icon.id) + ".ico";
      const auto bytes = icon.canvas.ico();
      std::ofstream file(folder + "/" + name, std::ios::binary);
      file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
      if (!file) throw std::runtime_error("cannot write " + name);
      json += std::string(first ? "" : ",\n") + "    {\"id\": " + std::to_string(icon.id) + ", \"file\": \"" + name + "\"}";
      first = false;
    }
    json += "\n  ]\n}\n";
    std::ofstream list(folder + "/icons.json");
    list << json;
    if (!list) throw std::runtime_error("cannot write icons.json");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "morva-choice-icons: %s\n", e.what());
    return 1;
  }
  return 0;
}
