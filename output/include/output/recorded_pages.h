// Recorded pages of a document: what decides that a sheet is recorded
// (copies made by the driver, booklet, tiling), the typed records that
// stand in for the operators playback must change or drop, the N-up cell
// transform of each logical page, and the playback of recorded pages for
// copies, tiles and booklets. Calls answer 0 or -1.
#pragma once

#include "output/imposition.h"
#include "render/page_colour_set.h"
#include "win/types.h"

namespace morva::gfx {

struct PDEV;

// PageRecordWord
inline constexpr DWORD kRecordOpen = 0x8000;
inline constexpr DWORD kRecordPage = 0x0001;
inline constexpr DWORD kRecordKeep = 0x0002;
inline constexpr DWORD kRecordBegin = 0x0004;
inline constexpr DWORD kRecordFB = 0x0008;
inline constexpr DWORD kRecordEnd = 0x0010;
inline constexpr DWORD kRecordTransform = 0x0020;
inline constexpr DWORD kKindsCopies = 0x06;
inline constexpr DWORD kKindsColour = 0x04;
inline constexpr DWORD kKindsTiling = 0x26;
inline constexpr DWORD kKindsBooklet = 0x3E;

// Record kinds.
inline constexpr WORD kRecPageBegin = 0;
inline constexpr WORD kRecFB = 1;
inline constexpr WORD kRecPageEnd = 2;
inline constexpr WORD kRecTransform = 3;
inline constexpr WORD kRecClipReset = 4;

// Honoured kinds of a playback.
inline constexpr DWORD kHonourBegin = 0x01;
inline constexpr DWORD kHonourFB = 0x02;
inline constexpr DWORD kHonourEnd = 0x04;
inline constexpr DWORD kHonourTransform = 0x08;
inline constexpr DWORD kHonourClipReset = 0x10;

// Page or sheet geometry, tenths of a millimetre.
struct RecordedGeometry {
  WORD paper_code;
  WORD width, height;
  WORD printable_width, printable_height;
  WORD left_offset, top_offset;
  WORD zero[2];
  WORD margin_left, margin_right, margin_top, margin_bottom;
  DWORD flag;
};
static_assert(sizeof(RecordedGeometry) == 32);

// Data of a page-begin record.
#pragma pack(push, 1)
struct PageBeginRecord {
  BYTE colour, source, paper_code, reserved;
  float width_mm, height_mm;
  RecordedGeometry sheet;
  WORD source_value, reserved2;
  DWORD page_kind;
  DWORD orientation_code;
  DWORD page_duplex;
};
static_assert(sizeof(PageBeginRecord) == 60);

// Data of a transform record.
struct TransformRecord {
  float matrix[6];
  DWORD flags[3];
  RecordedGeometry page;
  DWORD orientation;
};
static_assert(sizeof(TransformRecord) == 72);
#pragma pack(pop)

// One entry per recorded page: its geometry in device dots (as drawn, the
// printable area's origin at its top left), its colour set and its colour
// mode.
struct RecordedPage {
  float page_width, page_height;
  float printable_left, printable_top, printable_right, printable_bottom;
  DWORD landscape;
  render::PageColourSet colour_set;
  DWORD colour_mode;
};

// The job's layout decisions, taken when the job output begins.
struct ImpositionJob {
  DWORD nup;  // logical pages per sheet
  WORD columns, rows;
  DWORD print_kind;
  DWORD landscape;  // logical pages are landscape
  DWORD cells_turned;
  DWORD tiling;
  WORD tiles_across, tiles_down;
  DWORD tiling_option;  // marks on every tile
  DWORD booklet;
  DWORD booklet_kind;   // 0, 1 or 2
  DWORD booklet_value;  // sheets per signature or set
  DWORD booklet_binding;  // 1 or 2
  DWORD booklet_order_option;
  WORD copies;
  DWORD driver_collation;
  DWORD reverse_order;
  DWORD copies_by_playback;
  DWORD recording_needed;
  LONG resolution;
  DWORD banner_kind;  // the banner of the first sheet: 1 a page from the banner tray
  WORD banner_tray;
};

// The placed image being received (output/placed_image.h): its announced
// length and the bytes sent so far.
struct PlacedImageProgress {
  DWORD active;
  DWORD total;
  DWORD received;
  DWORD failed;  // a piece was refused: the image (and the job) is broken
};

struct RecordingControl {
  DWORD word;  // PageRecordWord
  ImpositionJob job;
  DWORD page_colour_mode;
  PageBeginRecord last_begin;  // the latest page begin, for blank sides
  DWORD has_begin;
  PlacedImageProgress placed;
  DWORD playing;  // recorded pages are being played: sheets are written, not recorded
};

// Takes the layout decisions from the PDEV's settings and sets the cells
// per sheet of the document control.
void PrepareImposition(PDEV* pdev);
BOOL IsBookletJob(PDEV* pdev);
// The booklet's cover rule: set by the first sheets' tray choice when the
// banner page cannot come from its own tray and so becomes the cover.
bool BookletCoverRule(PDEV* pdev);
BOOL IsTilingJob(PDEV* pdev);

// Record-or-write operators: each writes the operator unless the
// PageRecordWord asks for its record.
INT RecordOrWritePageBegin(PDEV* pdev, BYTE colour, BYTE source, BYTE paper_code, float width_mm, float height_mm);
INT RecordOrWriteFB(PDEV* pdev);
INT RecordOrWritePageEnd(PDEV* pdev);
INT RecordOrSetPageTransform(PDEV* pdev, const float m[6]);
INT RecordOrEmitAR(PDEV* pdev);

// Document recording on the PDEV.
INT BeginDocumentRecording(PDEV* pdev, WORD base_page, WORD capacity);
INT BeginRecordedPage(DWORD kinds, PDEV* pdev, WORD page, DWORD colour_mode);
INT EndRecordedPage(PDEV* pdev, WORD page);
INT EndDocumentRecording(PDEV* pdev);

// Hooks of the document control: a sheet (or blank side) about to begin
// is recorded when the job's layout needs it; at its end the recording of
// the sheet is closed and, for tiles and complete booklet sets, played.
INT RecordSheetStart(PDEV* pdev);
INT RecordSheetEnd(PDEV* pdev);
// A page recorded only to decide its colour, once its colour is decided
// and the colour set has stopped collecting: the recorded part is played
// with the decided colour, the recording ended, and the rest of the page
// written directly. 0 when there is nothing to do.
INT ResumeAfterColourDecision(PDEV* pdev);
// The tile marks of a sheet when the tiling option asks for them.
INT DrawSheetTileMarks(PDEV* pdev);
// The layout of the PDEV's page as one cell; on a sheet of its own, or on
// the job's N-up sheet.
INT PageLayoutOfPdev(PDEV* pdev, bool own_sheet, PageLayout* out);
// The PDEV's paper turned upright (tenths of a millimetre): its size and
// margins, the printable area's offsets and, when asked, its size.
INT UprightSheetOfPdev(PDEV* pdev, GeometryTenths* g, double* left, double* top, double* width, double* height);
// The cell transform of the logical page about to start (cell index =
// pages already on the sheet).
INT SetCellTransform(PDEV* pdev);

// Playback.
struct PlaybackCell {
  bool present = false;
  bool replaces = false;  // the cell is the whole page transform
  Affine m;
  // A booklet page of N-up cells: the placements, in dots, for transforms
  // recorded as raw placements of the stamp (flag 0x80) and of the header
  // (0x100), and the page height their y is turned about.
  bool placed = false;
  Affine stamp, header;
  double turn_height = 0;
};
INT PlayBackPageRecords(PDEV* pdev, WORD page, DWORD honoured, WORD source_override, const PlaybackCell& cell,
                        BYTE colour);
INT PlayBackPage(PDEV* pdev, WORD page, DWORD honoured, const PlaybackCell& cell, int partner, WORD source_override);
// The colour byte of a played page begin: the page's (and its partner's)
// recorded colour mode, and for a colour side its colour count while its
// colour set still collects. The side's colour mode is kept on the PDEV.
BYTE ComputePlaybackColour(PDEV* pdev, WORD page, int partner);
INT PlayBackCopies(PDEV* pdev);
INT PlayBackAllPages(PDEV* pdev);
INT PlayBackTiledPage(PDEV* pdev, WORD page);
INT PlayBackBooklet(PDEV* pdev);
INT PlayBackBookletSets(PDEV* pdev);
INT PlayBackBookletRange(PDEV* pdev, int first, int last);

}  // namespace morva::gfx
