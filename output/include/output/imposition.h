// Imposition: where each logical page goes on an output sheet. N-up cell
// orders and cell rectangles, the page transform of a cell, booklet
// signatures, sheet sides and page pairs, the placement of a booklet page on
// its half sheet, and the tile grid of a poster. Pure arithmetic: nothing
// here reads settings or writes output.
//
// Matrices are (a, b, c, d, e, f) applied to row vectors: (x, y) becomes
// (a x + c y + e, b x + d y + f). Sheet coordinates run upward from the
// bottom of the sheet.
#pragma once

#include <vector>

#include "win/types.h"

namespace morva::gfx {

struct Affine {
  double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
  bool operator==(const Affine&) const = default;
};

inline constexpr Affine kIdentityAffine{};
// The matrix that applies `first`, then `second`.
Affine Then(const Affine& first, const Affine& second);
Affine Translation(double x, double y);
void ToFloats(const Affine& m, float out[6]);
Affine FromFloats(const float m[6]);
// Tenths of a millimetre to device dots; a resolution of 0 gives 0.
double TenthMmToDots(double tenths, double resolution);

// One logical page on one sheet, in device dots.
struct PageLayout {
  double page_width = 0, page_height = 0;
  double printable_left = 0, printable_bottom = 0, printable_right = 0, printable_top = 0;
  double sheet_width = 0, sheet_height = 0;
  double area_left = 0, area_bottom = 0, area_right = 0, area_top = 0;
  BYTE half_turn_kind = 0;  // the staple kind
  DWORD fixed_scale = 0;
  WORD scale_percent = 100;
  DWORD landscape = 0;
  DWORD area_axes_swapped = 0;
  DWORD cell_turn_direction = 0;
  DWORD gutter_mode = 0;  // the duplex binding: 0, 1 or 2
  DWORD nup_order = 0;    // the print kind
  WORD pages_per_sheet = 1;
  DWORD halving = 0;      // N-up rotated (2, 8 and 32 pages per sheet)
  WORD columns = 1, rows = 1;
  DWORD cells_turned = 0;
  DWORD gutter_edge_kind = 0;  // 0-4
  double gutter_front = 0, gutter_back = 0;
  DWORD gutter_shrinks = 0;
  DWORD alignment = 0;  // 0-4
  double margin_left = 0, margin_right = 0, margin_top = 0, margin_bottom = 0;
  DWORD binding_shift = 0;
  double shift1 = 0, shift2 = 0;
};

// The grid of an N-up value: 2 -> 1 x 2, 4 -> 2 x 2, 8 -> 2 x 4,
// 16 -> 4 x 4, 32 -> 4 x 8, anything else 1 x 1 (columns x rows).
void NupGrid(DWORD nup, WORD* columns, WORD* rows);

// Reading orders of the cells (0-7) and the column and row of page index
// `index` (taken modulo the cell count).
int CellOrderFromLayout(WORD pages_per_sheet, bool cells_turned, DWORD kind, int previous);
void CellPosition(int order, int columns, int rows, int index, int* column, int* row);
struct CellBox {
  double left, bottom, right, top;
};
// The cell of page index `index`; row 0 lies at the area's top value.
CellBox CellRect(const PageLayout& l, int order, int index);
double CellFitScale(const PageLayout& l, const CellBox& cell);
int MapAlignmentForBackSide(int alignment, DWORD gutter_mode, bool cells_turned);

// The transform of cell `cell` (from 1) on side `side` (from 1; even sides
// are back sides); the cell rectangle measured from the sheet's top when
// `rect` is given. The layout is not changed.
void ComputePlacementMatrix(Affine* out, const PageLayout& layout, int cell, int side, CellBox* rect);

// The page transform of a cell 0-31 on side 0 (front) or 1 (back), with a
// quarter-turn request (0 none, 1, 2), turned into the transform of the
// logical page's dots (origin at the printable area's top left, y down) to
// 1/72 inch of the sheet. -1 for a cell above 31 or another side.
INT PlacementMatrix(Affine* out, const PageLayout& layout, int cell, int side, int quarter_turn, double res_x,
                    double res_y, bool page_transform);

// ---- booklets (pages counted from 0) ----

struct Signature {
  WORD first, last;
};
// Booklet signatures of `pages` pages with `per` sheets per signature. The
// count, and in *second the base sheet count per signature ((per + sheets
// - 1) mod per without entries). With `reverse` the signature holding page
// 0 comes last. -1 for per = 0.
INT SplitIntoSignatures(int pages, bool reverse, int per, std::vector<Signature>* entries, int* second);
// 1 when pages first..last fill `sheets` sheets (the cover rule lets the
// first range be two pages short), 2 otherwise.
INT SheetFitsSignature(int first, int last, int sheets, bool cover_rule);
INT SignatureSideCount(int first, int last, bool cover_rule);
inline constexpr int kBlankSlot = -100;
// The page of half `half` of sheet side `slot`, or kBlankSlot.
int BookletPageForSlot(int first, int last, int slot, int binding, int half, bool reverse, bool cover_rule);
// The sets of a booklet printed in sets of `c` pages from page `base`:
// contiguous ranges that together hold every page. With the cover rule the
// set at page 0 is two pages short (the cover takes its outer side).
std::vector<Signature> SplitIntoBookletSets(int base, int pages, int c, bool cover_rule);

// ---- booklet page placement ----

struct BookletPlacementRequest {
  double page_width, page_height;
  double page_left, page_top, page_right, page_bottom;  // printable area
  DWORD page_orientation;  // 1 landscape
  double sheet_width, sheet_height;
  double sheet_left, sheet_top, sheet_right, sheet_bottom;  // printable area
  DWORD landscape;
  double margin_left, margin_right, margin_top, margin_bottom;
  DWORD cell_code;  // alignment
  WORD res_x, res_y;
  double cover_value;
  DWORD position;  // 0: the page goes on the first half of the sheet
  DWORD binding_is_2;
  DWORD staple_kind;
  DWORD option;
  DWORD fold_kind;
  double fold1, fold2;
  DWORD nup;
};
// The transform of a booklet page on its half sheet, in the sheet's dots.
void ComputeBookletPlacement(Affine* out, const BookletPlacementRequest& r);

// ---- booklet of N-up pages ----

// A sheet or page in tenths of a millimetre: its size and its four margins.
struct GeometryTenths {
  double width, height;
  double margin_left, margin_right, margin_top, margin_bottom;
};
// The page the N-up cells of a booklet page are laid on: a half sheet of
// `g` enlarged to the sheet's own scale, in dots. `rect` is its printable
// area (the cells' area) from (left, top), and (*origin_x, *origin_y) the
// page size it lies on (the margins added). A width offset above 0 (the
// booklet cover) is taken off its right edge. -1 for a resolution of 0 or
// an empty sheet, the outputs then unset.
INT ComputeSheetPlacement(double resolution, const GeometryTenths& g, double left, double top, double width_offset,
                          CellBox* rect, double* origin_x, double* origin_y);
// The page transform of a booklet N-up page's raw placement `m` (dots to
// dots) put through its cell: moved by (ty1, ty2), turned upside down about
// `tx` (y becomes tx - y), placed by `m`, and scaled to 1/72 inch.
Affine BookletCellMatrix(double res_x, double res_y, const Affine& m, double tx, double ty1, double ty2);

// ---- tiles ----

struct TileLayout {
  int across = 1, down = 1;
  Affine base;
  double scale_x = 0, scale_y = 0;  // tile width and height, 1/72 inch
  int first_x = 0, first_y = 0, step_x = 1, step_y = 1;
  int row_by_row = 1;
};
// Steps of the tile walk for the base matrix; -1 unless the matrix is
// axis-aligned (one non-zero value in each of (a, b) and (c, d)).
INT SetTileSteps(TileLayout* t);
// The base matrix: the page placed, as one cell, on a sheet `across` x
// `down` times the size of `layout`'s sheet printable area (2 x 1 tiles
// turn the page a quarter). -1 when the steps cannot be set.
INT ComputeTileGrid(const PageLayout& layout, int across, int down, double res_x, double res_y, TileLayout* out);
// The transform of tile n; -1 for n outside the grid or a walk that does
// not reach the tile's offsets.
INT ComputeTileTransform(const TileLayout& t, int n, Affine* out);

}  // namespace morva::gfx
