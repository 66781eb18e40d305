// The layer tables of the print-settings preview. Most tables are a run of
// consecutive bitmaps placed by the sheet or by the orientation their row
// stands for; they are spelled out here as a base id, a row count and the
// rule that places a row, and expanded at compile time.
#include "property_sheets/preview_tables.h"

#include <array>

namespace {

using namespace preview_geometry;
using Entry = PreviewLayerEntry;

constexpr Entry at(std::uint32_t bitmap, int x, int y, int flag) {
  if (bitmap == 0) return Entry{0, 0, 0, 0, 0};
  return Entry{bitmap, static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), static_cast<std::uint8_t>(flag), 0};
}
constexpr Entry at(std::uint32_t bitmap, const Box& box, int flag) { return at(bitmap, box.x, box.y, flag); }

// Whether pages-per-sheet n prints on a portrait sheet for the orientation
// digit o (0 portrait, 1 landscape): 1, 4 and 16 keep the orientation.
constexpr bool portrait_sheet(int n, int o) {
  const bool keeps = n == 1 || n == 4 || n == 16;
  return keeps ? o == 0 : o == 1;
}
constexpr const Box& pages_box(bool portrait) { return portrait ? kPagesPortrait : kPagesLandscape; }
constexpr const Box& sheet_box(bool portrait) { return portrait ? kSheetPortrait : kSheetLandscape; }

template <std::size_t N, typename F>
constexpr std::array<Entry, N> rows(F row) {
  std::array<Entry, N> t{};
  for (std::size_t r = 0; r < N; ++r) t[r] = row(static_cast<int>(r));
  return t;
}

constexpr int kPagesOfStart[5] = {2, 4, 8, 16, 32};

// A1: S.
constexpr auto kA1 = rows<2>([](int r) { return at(7000 + r, sheet_box(r == 0), 1); });
// A2, one page: O, F.
constexpr auto kA2One = rows<4>([](int r) { return at(7002 + r, pages_box(portrait_sheet(1, r / 2)), 2); });
// A2, two pages: O, G, D, F.
constexpr auto kA2Two = rows<16>([](int r) { return at(7006 + r, pages_box(portrait_sheet(2, r / 8)), 2); });
// A2, 4, 8 and 16 pages: start 0-2, O, G (4), D, F.
constexpr auto kA2Many = rows<96>([](int r) {
  const int n = kPagesOfStart[1 + r / 32];
  return at(7022 + r, pages_box(portrait_sheet(n, (r / 16) % 2)), 2);
});
// A2, 32 pages: O, D, F.
constexpr auto kA2ThirtyTwo = rows<8>([](int r) { return at(7118 + r, pages_box(portrait_sheet(32, r / 4)), 2); });
// A3, one page: O, F; the header strip of the page, at its top or bottom.
constexpr std::array<Entry, 4> kA3One{at(7126, 104, 24, 1), at(7127, 104, 101, 1), at(7128, 96, 36, 1),
                                      at(7129, 96, 89, 1)};
// A3, others: start 0-4, O, D, F.
constexpr auto kA3Others = rows<40>([](int r) {
  const int n = kPagesOfStart[r / 8];
  return at(7130 + r, pages_box(portrait_sheet(n, (r / 4) % 2)), 1);
});
// A4: O, G, D, F for 32 pages.
constexpr auto kA4 = rows<32>([](int r) { return at(7170 + r, pages_box(portrait_sheet(32, r / 16)), 2); });
// A5, one page: start (duplex 2, 3), O, B, F; drawn over the whole sheet.
constexpr auto kA5One = rows<16>([](int r) {
  const std::uint32_t base = r < 8 ? 7202 : 7282;
  return at(base + r, sheet_box(portrait_sheet(1, (r / 4) % 2)), 1);
});
// A5, others: start 5 x (duplex 3) + 0-4, O, B, D, F.
constexpr auto kA5Others = rows<160>([](int r) {
  const std::uint32_t base = r < 80 ? 7210 : 7218;
  const int n = kPagesOfStart[(r / 16) % 5];
  return at(base + r, sheet_box(portrait_sheet(n, (r / 8) % 2)), 1);
});
// A6, one page: as A5. Rows whose back page is bound and turned draw
// nothing; an unturned back page of duplex 2 shares the A3 header strip.
constexpr auto kA6One = rows<16>([](int r) {
  const int d = r / 8, o = (r / 4) % 2, b = (r / 2) % 2, f = r % 2;
  if (b == 1 && f == 1) return at(0, 0, 0, 0);
  if (d == 0 && b == 0 && f == 0) return kA3One[o * 2];
  return at(7378 + o * 2 + f, pages_box(portrait_sheet(1, o)), 1);
});
// A6, others: as A5. Bound and turned back pages draw nothing (for 32
// pages only when the document is turned as well); unturned back pages of
// duplex 2 share the A3 frames; the rest hold 7382-7494 in row order.
constexpr int a6_kind(int r) {  // 0 nothing, 1 shared, 2 own
  const int s = r / 16, o = (r / 8) % 2, b = (r / 4) % 2, dt = (r / 2) % 2, f = r % 2;
  const int n = kPagesOfStart[s % 5];
  (void)o;
  if (b == 1 && f == 1 && (n != 32 || dt == 1)) return 0;
  if (s < 5 && b == 0 && f == 0 && (dt == 0 || (s == 0 && (r / 8) % 2 == 0))) return 1;
  return 2;
}
constexpr auto kA6Others = rows<160>([](int r) {
  const int s = r / 16, o = (r / 8) % 2, dt = (r / 2) % 2;
  switch (a6_kind(r)) {
    case 0: return at(0, 0, 0, 0);
    case 1: return kA3Others[s * 8 + o * 4 + dt * 2];
    default: break;
  }
  std::uint32_t own = 0;
  for (int k = 0; k < r; ++k) own += a6_kind(k) == 2;
  return at(7382 + own, pages_box(portrait_sheet(kPagesOfStart[s % 5], o)), 1);
});
// A7: start (duplex 2, 3), S, B.
constexpr auto kA7 = rows<8>([](int r) { return at(7495 + r, sheet_box((r / 2) % 2 == 0), 2); });
// A8: start 0-12 by staple position, S. Positions 11-15 (starts 8-12) are
// the centre staples: starts 9, 11 reuse start 8's portrait bitmap and 10,
// 12 its landscape one, each on one sheet only.
constexpr auto kA8 = rows<26>([](int r) {
  const int s = r / 2, sheet = r % 2;
  const Box& box = sheet_box(sheet == 0);
  if (r == 19 || r == 20 || r == 23 || r == 24) return at(0, 0, 0, 0);
  if (s <= 8) return at(7503 + r, box, 3);
  return at(7503 + 16 + sheet, box, 3);
});
// A9: start 0-3 (left, top, right, bottom edge), count 2-4 holes, S. The
// right and bottom edges reuse the left and top strips at the far edge.
constexpr auto kA9 = rows<24>([](int r) {
  const int s = r / 6, sheet = r % 2;
  const Box& box = sheet_box(sheet == 0);
  const std::uint32_t bitmap = 7521 + r % 12;
  switch (s) {
    case 0: return at(bitmap, box.x + 2, box.y, 3);
    case 1: return at(bitmap, box.x, box.y + 2, 3);
    case 2: return at(bitmap, box.x + box.width - 12, box.y, 3);
    default: return at(bitmap, box.x, box.y + box.height - 12, 3);
  }
});
// B1: start (colour 1), O, L, F.
constexpr auto kB1 = rows<32>([](int r) {
  const bool portrait = (r / 8) % 2 == 0;
  return at(7689 + r, portrait ? 93 : 86, portrait ? 14 : 28, 2);
});
// B2: O, L.
constexpr auto kB2 = rows<8>([](int r) {
  const bool portrait = r / 4 == 0;
  return at(7725 + r, portrait ? 94 : 87, portrait ? 15 : 29, 2);
});
// B3: O, layout 259 or 260.
constexpr auto kB3 = rows<4>([](int r) {
  const bool portrait = r / 2 == 0;
  return at(7721 + r, portrait ? 93 : 86, portrait ? 14 : 28, 2);
});
// Group C: N, P (and F).
constexpr std::array<Entry, 4> kC1{at(7533, 135, 42, 2), at(7534, 79, 42, 2), at(7535, 114, 64, 2),
                                   at(7536, 114, 3, 2)};
constexpr std::array<Entry, 4> kC2{at(7537, 133, 65, 1), at(7538, 132, 65, 1), at(7539, 138, 62, 1),
                                   at(7540, 137, 56, 1)};
constexpr std::array<Entry, 4> kC3{at(7541, 100, 13, 2), at(7542, 114, 13, 2), at(7543, 85, 29, 2),
                                   at(7544, 85, 38, 2)};
constexpr std::array<Entry, 8> kC4{at(0, 0, 0, 0), at(7549, 104, 22, 1), at(0, 0, 0, 0), at(7550, 139, 22, 1),
                                   at(0, 0, 0, 0), at(7551, 90, 34, 1),  at(0, 0, 0, 0), at(7552, 94, 64, 1)};
constexpr std::array<Entry, 8> kC5{at(7657, 104, 22, 1), at(7658, 104, 56, 1), at(7659, 139, 22, 1),
                                   at(7660, 139, 56, 1), at(7661, 104, 34, 1), at(7662, 93, 56, 1),
                                   at(7663, 94, 64, 1),  at(7664, 105, 86, 1)};
constexpr std::array<Entry, 4> kC6{at(7537, 98, 36, 1), at(7538, 167, 36, 1), at(7539, 108, 27, 1),
                                   at(7540, 108, 91, 1)};
// The common icons down the left edge.
constexpr auto kK1 = rows<8>([](int r) { return at(7856 + r, 2, 0, 2); });
constexpr auto kK2 = rows<2>([](int r) { return at(7864 + r, 2, 32, 2); });
constexpr auto kK3 = rows<18>([](int r) { return at(r == 0 ? 0 : 7872 + r, 2, 64, 1); });
// K3 with mask 0x08000000: option (3), value406, value405, value404 (3),
// value458. Rows without the two extra digits hold the K3 entry of the same
// option digit, with the value404 digit in place of value332.
constexpr int k3_masked_own(int r) {
  const int extra = (r / 6) % 4;  // value406, value405
  return extra != 0;
}
constexpr auto kK3Masked = rows<72>([](int r) {
  const int option = r / 24, v404 = (r / 2) % 3, v458 = r % 2;
  if (!k3_masked_own(r)) return kK3[(option * 3 + v404) * 2 + v458];
  std::uint32_t own = 0;
  for (int k = 0; k < r; ++k) own += k3_masked_own(k);
  return at(7890 + own, 2, 64, 1);
});
constexpr auto kK4 = rows<8>([](int r) { return at(r == 0 ? 0 : 7865 + r, 2, 96, 2); });
constexpr auto kK5 = rows<2>([](int r) { return at(7944 + r, 36, 0, 2); });
constexpr auto kK6 = rows<9>([](int r) { return at(7946 + r, 36, 32, 2); });

template <std::size_t N>
constexpr PreviewLayerTable table(const char* name, const std::array<Entry, N>& t) {
  return PreviewLayerTable{name, t.data(), N};
}

const PreviewLayerTable kTables[kPreviewLayerCount] = {
    table("A1", kA1),        table("A2/1", kA2One),    table("A2/2", kA2Two),       table("A2/4-16", kA2Many),
    table("A2/32", kA2ThirtyTwo), table("A3/1", kA3One), table("A3/n", kA3Others), table("A4", kA4),
    table("A5/1", kA5One),   table("A5/n", kA5Others), table("A6/1", kA6One),       table("A6/n", kA6Others),
    table("A7", kA7),        table("A8", kA8),         table("A9", kA9),            table("B1", kB1),
    table("B2", kB2),        table("B3", kB3),         table("C1", kC1),            table("C2", kC2),
    table("C3", kC3),        table("C4", kC4),         table("C5", kC5),            table("C6", kC6),
    table("K1", kK1),        table("K2", kK2),         table("K3", kK3),            table("K3'", kK3Masked),
    table("K4", kK4),        table("K5", kK5),         table("K6", kK6),
};

}  // namespace

const PreviewLayerTable& GetPreviewLayerTable(PreviewLayer layer) { return kTables[static_cast<int>(layer)]; }
