// Sheets: which tray feeds each one, banner and blank pages, the empty back
// face of a two-sided sheet, and the operators for a paper or duplex value
// that changes from one page to the next.
#include "output/sheet_control.h"

#include "output/job_texts.h"
#include "render/pdl_operators.h"
#include "settings/gfx/gfx_ddd_accessors.h"
#include "settings/gfx/graphics_module.h"

namespace morva::gfx {

namespace {

constexpr BYTE kPaperCodeOwnSize = 0x51;
constexpr WORD kSourceFromPublic = 15;
constexpr WORD kSourcePrivateDefers = 258;
constexpr DWORD kVersionSheetChange = 0x01010903;
constexpr DWORD kVersionBlankValue = 0x01020000;
constexpr DWORD kVersionOrientation = 0x01020006;
constexpr BYTE kBlankSheetEndValue = 17;

DocumentControl* doc(PDEV* pdev) { return pdev ? pdev->document : nullptr; }
render::PdlSink* sink(PDEV* pdev) { return pdev->writer ? pdev->writer->sink : nullptr; }

// The PDL media code of the output sheet; a custom size has its own code.
BYTE sheet_media_code(PDEV* pdev) {
  const PaperRecord& r = pdev->output_paper;
  WORD code = 0;
  if (r.custom || !r.paper || GetPaperObjectMediaCode(r.paper, &code) != DDD_OK || code == 0 || code > 0xFF)
    return kPaperCodeOwnSize;
  return static_cast<BYTE>(code);
}

INT page_begin(PDEV* pdev, BYTE colour, WORD source) {
  DocumentControl* d = doc(pdev);
  const PageGeometry& g = d->page.sheet;
  const BYTE media = sheet_media_code(pdev);
  INT r = RecordOrWritePageBegin(pdev, colour, static_cast<BYTE>(source), media, static_cast<float>(g.width) / 10.0f,
                                 static_cast<float>(g.height) / 10.0f);
  r |= JobInfo_AddPageGroup(pdev, media == kPaperCodeOwnSize);
  // How the sheet is turned, for printers that take it.
  if (IsVersionAtLeast(d->job.pdl_version, kVersionOrientation) && d->sheet_orientation >= 1 &&
      d->sheet_orientation <= 4)
    r |= PdlWriter_SetOrientation(pdev->writer, static_cast<int>(d->sheet_orientation));
  static constexpr float kIdentity[6] = {1, 0, 0, 1, 0, 0};
  r |= PdlWriter_SetMatrix(pdev->writer, kIdentity);
  return r;
}

// The duplex value of the page about to start: 1 one-sided, 2 two-sided.
DWORD page_duplex(PDEV* pdev) {
  LONG v = PdevGetNumber(pdev, 16);
  return v == 2 || v == 3 ? 2 : 1;
}

INT put_duplex(PDEV* pdev) {
  BYTE a = 0, b = 0;
  if (!render::Pdl_DuplexToFH(static_cast<DWORD>(PdevGetNumber(pdev, 16)), &a, &b)) return -1;
  return render::Pdl_OpPageDuplex(sink(pdev), a, b);
}

bool per_page_changes(const DocumentControl* d) { return d->job.per_page_duplex && !d->job.copies_by_playback; }

}  // namespace

BYTE SheetMediaCode(PDEV* pdev) { return sheet_media_code(pdev); }

BYTE BlankPageColour(const JobSettings& job) { return job.colour_mode ? 3 : 1; }

BOOL IsBannerTrayUsable(PDEV* pdev) {
  DocumentControl* d = doc(pdev);
  return d && d->job.banner_tray != 0;
}

INT SelectPageSource(PDEV* pdev, WORD* out) {
  DocumentControl* d = doc(pdev);
  if (!d || !out) return -1;
  JobSettings& job = d->job;
  BOOL bit = FALSE;
  HasCapability(pdev, 0xFFFF0010, &bit);
  WORD public_source = static_cast<WORD>(PdevGetNumber(pdev, 13));
  WORD private_source = static_cast<WORD>(PdevGetNumber(pdev, 265));
  WORD source;
  bool is_public;
  if (bit && (PdevGetNumber(pdev, 457) & 0xFF) != 2) {
    is_public = public_source != kSourceFromPublic;
    source = is_public ? public_source : private_source;
  } else {
    // A device without a tray setting of its own leaves it 0.
    is_public = private_source == kSourcePrivateDefers || private_source == 0;
    source = is_public ? public_source : private_source;
  }
  // A tray the application chose leaves no room for a banner tray.
  if (is_public) job.banner = 0;
  if (d->sheet_number == 0) {
    d->first_source = source;
    // Booklet playback gives the banner tray to the sides of the first
    // pages, after the banner itself was switched off.
    d->rec.job.banner_kind = job.banner;
    d->rec.job.banner_tray = job.banner_tray;
  } else if (job.booklet || job.nup > 1)
    source = d->first_source;
  if (job.banner == 1) {
    if (d->sheet_number == 0) {
      source = job.banner_tray;
    } else if (job.duplex == 2 && d->sheet_number == 1) {
      if (IsBannerTrayUsable(pdev))
        source = job.banner_tray;
      else
        job.booklet_cover_rule = 1;
    } else if (job.duplex == 2 && d->sheet_number >= 2) {
      job.banner = 0;
    }
  }
  *out = source;
  return 0;
}

BOOL NeedsBackFaceFill(PDEV* pdev, int mode) {
  DocumentControl* d = doc(pdev);
  if (!d || d->job.duplex != 2) return FALSE;
  if (mode == 2) return IsBannerTrayUsable(pdev);
  if (d->sides_on_sheet != 1 || d->job.booklet) return FALSE;
  if (d->job.reverse_order) return TRUE;
  return mode == 1 && d->job.driver_collation && !IsVersionAtLeast(d->job.pdl_version, kVersionSheetChange);
}

void CountSheet(PDEV* pdev, BOOL skipped) {
  DocumentControl* d = doc(pdev);
  ++d->sheet_count;
  ++d->sheet_number;
  if (!skipped) ++d->printed_sides;
  // With per-page duplex the sheet just printed has a value of its own.
  const bool two_sided = d->duplex_value ? d->duplex_value == 2 : d->job.duplex == 2;
  d->sides_on_sheet = static_cast<WORD>(two_sided ? (d->sides_on_sheet + 1) % 2 : 0);
}

INT WriteBlankPage(PDEV* pdev, WORD source) {
  DocumentControl* d = doc(pdev);
  if (!d || !pdev->writer) return -1;
  d->state |= kDocSheetOpen;
  INT r = 0;
  if (per_page_changes(d) && d->duplex_value == 0) {
    d->duplex_value = page_duplex(pdev);
    r |= put_duplex(pdev);
  }
  // A blank page has nothing of colour on it: an automatic colour job
  // sends it grey, whatever the page before it was.
  if (d->job.colour_mode == 0 || d->job.device_colour_override) d->page_colour_mode = 1;
  r |= RecordSheetStart(pdev);
  r |= page_begin(pdev, BlankPageColour(d->job), source);
  if (IsVersionAtLeast(d->job.pdl_version, kVersionBlankValue))
    r |= render::Pdl_OpSheetEndValue(sink(pdev), kBlankSheetEndValue);
  else
    r |= RecordOrWriteFB(pdev);
  r |= RecordOrWritePageEnd(pdev);
  r |= RecordSheetEnd(pdev);
  d->state &= ~kDocSheetOpen;
  return r;
}

INT FinishSpecialSheet(PDEV* pdev, WORD source, int mode) {
  DocumentControl* d = doc(pdev);
  if (!d) return -1;
  if (IsVersionAtLeast(d->job.pdl_version, kVersionSheetChange)) return render::Pdl_OpSheetChange(sink(pdev));
  if (mode == 2 && NeedsBackFaceFill(pdev, 2)) return WriteBlankPage(pdev, source);
  return 0;
}

INT FillBlankBackFace(PDEV* pdev, BOOL force) {
  DocumentControl* d = doc(pdev);
  // Booklet and tile sheets are laid out by their playback.
  if (!d || d->sides_on_sheet != 1 || IsBookletJob(pdev) || IsTilingJob(pdev)) return 0;
  INT r = 0;
  if (d->job.reverse_order || force) {
    r |= ResetWriterForPage(pdev, FALSE);
    r |= WriteBlankPage(pdev, d->page_source);
  }
  r |= WriteEventComment(pdev, 8);
  CountSheet(pdev, TRUE);
  return r;
}

INT DetectPageChanges(PDEV* pdev) {
  DocumentControl* d = doc(pdev);
  WORD source = d->page_source;
  INT r = SelectPageSource(pdev, &source);
  const bool first = d->sheet_number == 0;
  const PageGeometry& g = d->page.sheet;
  const bool new_source = !first && source != d->page_source;
  const bool new_paper = !first && d->job.output_follows_page &&
                         (g.paper_code != d->sheet_paper_code || g.width != d->sheet_width || g.height != d->sheet_height);
  DWORD duplex = d->job.per_page_duplex ? page_duplex(pdev) : d->duplex_value;
  const bool new_duplex = d->job.per_page_duplex && duplex != d->duplex_value;
  // A change starts a new sheet: the back of the open one stays empty.
  if ((new_source || new_paper || (new_duplex && d->duplex_value != 0)) && d->job.duplex == 2)
    r |= FillBlankBackFace(pdev, FALSE);
  d->page_source = source;
  if (per_page_changes(d)) {
    if (new_paper && d->duplex_value != 0) r |= render::Pdl_OpSheetChange(sink(pdev));
    if (new_duplex) r |= put_duplex(pdev);
  }
  if (d->job.per_page_duplex) d->duplex_value = duplex;
  d->sheet_paper_code = g.paper_code;
  d->sheet_width = g.width;
  d->sheet_height = g.height;
  return r;
}

INT WriteSheetStart(PDEV* pdev) {
  DocumentControl* d = doc(pdev);
  const bool mono = PdevGetNumber(pdev, 15) != 2 || d->job.colour_mode == 1 || d->page_colour_mode == 1;
  return page_begin(pdev, mono ? 1 : 3, d->page_source);
}

}  // namespace morva::gfx
