// The job's settings turned into ready-made decisions (JobSettings) and the
// geometry and layout of the current logical page and sheet (PageState).
// Document and page control works from these two records alone while pages
// are produced. Every fill answers 0 or -1 and fills every field it can.
#pragma once

#include "render/pdev.h"
#include "settings/common/common_utils.h"
#include "win/types.h"

namespace morva::gfx {

struct JobSettings {
  DWORD pdl_version;  // target PDL version word
  WORD os_major, os_minor;
  DWORD colour_mode;  // 0 undecided, 1 monochrome, 2 colour
  DWORD setting_1289;
  DWORD device_colour_override;
  DWORD override_value;
  DWORD override_kind;
  WORD duplex;  // 1 one-sided, 2 two-sided
  WORD nup;     // 1, 2, 4, 8, 16 or 32 logical pages per sheet
  WORD recording_needed;
  DWORD setting_1334;
  DWORD tiling;
  WORD tiles_across, tiles_down;
  DWORD tiling_option;
  DWORD booklet;
  DWORD booklet_kind;
  DWORD booklet_value;
  DWORD booklet_page_order;
  DWORD booklet_cover_rule;
  DWORD booklet_staple;
  DWORD suppression_a, suppression_b;
  DWORD suppression_values[2];
  DWORD output_follows_page;
  DWORD per_page_sheet;
  DWORD zero_a;
  DWORD per_page_duplex;
  DWORD zero_b;
  LONG setting_1293, setting_1294;  // -1: not sent
  DWORD store_mode;
  DWORD annotation;
  DWORD banner;  // 0 none, 1 banner page from the banner tray, 2 banner sheet
  WORD banner_tray;
  DWORD print_header;
  DWORD booklet_header;
  WORD header_positions[6];  // 0xFFFF: item off
  DWORD image_queue;
  WORD finishing_positions[2];
  DWORD setting_383, setting_387;
  WORD copies;
  DWORD copies_by_playback;
  DWORD driver_collation;
  DWORD reverse_order;
  DWORD per_output_marking;
  DWORD store_warning_confirmed;
  DWORD capability_40000;
  DWORD collate;
  DWORD setting_1320;
  DWORD job_type;  // 1, 2 or 3, else 0
  DWORD secure_print_kind;
  DWORD marking_counts[2];
  DWORD banner_sheet;
  WORD banner_sheet_tray;
  DWORD page_list;
  WORD page_list_tray;
  WORD page_list_pages[20];
  DWORD render_plugin;
  DWORD quality;  // the job's print quality value (job start)
};

// Page or sheet geometry in tenths of a millimetre.
struct PageGeometry {
  WORD paper_code;
  WORD width, height;
  WORD printable_width, printable_height;
  WORD left_offset, top_offset;
  WORD zero[2];
  WORD left, right, top, bottom;  // margins
  DWORD flag;
};
static_assert(sizeof(PageGeometry) == 32);

struct PageState {
  PageGeometry page;
  DWORD orientation;  // 0 portrait, 1 landscape
  PageGeometry sheet;
  DWORD staple_kind;
  DWORD duplex_binding;
  DWORD finishing_position;
  WORD finishing_values[2];
  DWORD scaling;
  DWORD scale;  // percent
  DWORD setting_1283;
  WORD page_source;
  DWORD print_kind;
  DWORD nup;
  DWORD nup_rotated;
  WORD grid_columns, grid_rows;
  DWORD landscape;
  DWORD cells_rotated;
  WORD resolution_x, resolution_y;
  DWORD booklet_with_nup;
  DWORD booklet_cover;
  DWORD booklet_option;
  WORD booklet_cover_value;
  DWORD booklet_binding;
  WORD tiles_across, tiles_down;
  DWORD print_option;
  WORD user_margins[4];
  WORD page_paper_code;
  DWORD fold_kind;
  WORD fold_values[2];
  DWORD quarter_turn;
};

inline constexpr DWORD kPdlVersionMin = 0x01010501;
inline constexpr DWORD kPdlVersionMax = 0x01020018;
inline constexpr WORD kPaperFollowsPage = 267;
inline constexpr WORD kPaperCustom = 256;

// Setting 8205 held within 0x01010501..0x01020018.
DWORD GetTargetPdlVersion(PDEV* pdev);
// TRUE when the job's target version is at least `version`.
BOOL IsPdlVersionAtLeast(PDEV* pdev, DWORD version);
// Whether the device has capability `id` (a bit 0xFFFF00nn or a mask).
BOOL HasCapability(PDEV* pdev, DWORD id, BOOL* present);

INT FillJobSettings(PDEV* pdev, JobSettings* job);
INT FillPageLayout(PDEV* pdev, const JobSettings& job, PageState* page);
// The logical page's geometry from the PDEV's page paper record.
INT FillPageGeometry(PDEV* pdev, PageState* page);
// The output sheet's geometry from the PDEV's output paper record.
INT FillSheetGeometry(PDEV* pdev, PageState* page);
// The sheet orientation code (1-4) written with every page start.
DWORD SheetOrientationCode(const JobSettings& job, const PageState& page);
// Copies one setting's value (a number, or a string whole) from the
// settings copy `from` to `to`; a setting `from` does not hold is left.
void CopySettingValue(WORD ddmid, void* to, void* from, void* printer_data);

}  // namespace morva::gfx
