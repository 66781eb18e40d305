// Playback of recorded pages: raw bytes copied into the job, typed records
// turned back into operators (changed or dropped as the layout needs), and
// the three layouts built on it: copies made by the driver, tiles and
// booklets.
#include <algorithm>
#include <cstring>

#include "output/document_control.h"
#include "output/page_recording.h"
#include "output/recorded_pages.h"
#include "output/sheet_control.h"
#include "output/spool_stream.h"
#include "render/pdl_operators.h"
#include "render/pdl_writer.h"
#include "render/render_plugin.h"

namespace morva::gfx {

namespace {

constexpr DWORD kPieceBytes = 1024;
constexpr DWORD kVersionSheetChange = 0x01010903;
constexpr WORD kNoOverride = 0xFFFF;

RecordingControl* rec(PDEV* pdev) { return pdev && pdev->document ? &pdev->document->rec : nullptr; }

// A matrix of device dots taken to 1/72 inch: the same placement for
// points.
Affine in_points(const Affine& m, double res) {
  Affine up{res / 72.0, 0, 0, res / 72.0, 0, 0}, down{72.0 / res, 0, 0, 72.0 / res, 0, 0};
  return Then(Then(up, m), down);
}

BYTE playback_colour(PDEV* pdev, DWORD colour_mode) {
  if (pdev->document->job.colour_mode == 2) return 3;
  return colour_mode == 2 ? 2 : 1;
}

INT replay_page_begin(PDEV* pdev, const PageRecordHead& h, DWORD honoured, WORD source_override, BYTE colour) {
  PageBeginRecord b{};
  if (h.length != sizeof b || ReadRecordData(pdev->stream, sizeof b, &b) != static_cast<INT>(sizeof b)) return -1;
  if (!(honoured & kHonourBegin)) return 0;
  BYTE source = source_override != kNoOverride ? static_cast<BYTE>(source_override) : b.source;
  // An ordinary page of a render plug-in job goes to the plug-in.
  if (b.page_kind == 2 && RenderPluginBlock(pdev, 1)) return RenderPageBegin(pdev, b, colour, source);
  return PdlWriter_BeginPage(pdev->writer, colour, source, b.paper_code, b.width_mm, b.height_mm);
}

INT replay_transform(PDEV* pdev, const PageRecordHead& h, DWORD honoured, const PlaybackCell& cell) {
  TransformRecord t{};
  if (h.length != sizeof t || ReadRecordData(pdev->stream, sizeof t, &t) != static_cast<INT>(sizeof t)) return -1;
  if (!(honoured & kHonourTransform)) return 0;
  Affine m = FromFloats(t.matrix);
  const bool plugin = IsRenderPageOpen(pdev);
  if (cell.placed && (t.flags[1] || t.flags[2])) {
    // A raw placement on the booklet page of N-up cells (the stamp's or
    // the header's): through its cell on the half sheet, then made a page
    // transform about the booklet page's height.
    const double res = rec(pdev)->job.resolution;
    const double offset = TenthMmToDots(t.page.left_offset, res);
    m = BookletCellMatrix(res, res, Then(m, t.flags[2] ? cell.header : cell.stamp), cell.turn_height, offset, offset);
  } else if (plugin && t.flags[0]) {
    // A transform the plug-in's page takes as it stands.
  } else if (cell.present) {
    m = cell.replaces ? cell.m : Then(m, cell.m);
  }
  float f[6];
  ToFloats(m, f);
  // The plug-in's page is measured in device dots.
  if (plugin) ToRenderDeviceMatrix(pdev, f);
  return PdlWriter_SetMatrix(pdev->writer, f);
}

INT put_bytes(PDEV* pdev, const void* bytes, DWORD n) {
  return pdev->document->sink->Write(bytes, n) == static_cast<long>(n) ? 0 : -1;
}

// A side with nothing on it: the latest page begin (in a blank page's
// colour), the identity, the sheet end and the page end.
INT write_blank_page(PDEV* pdev) {
  RecordingControl* r = rec(pdev);
  PdlWriter* w = pdev->writer;
  const PageBeginRecord& b = r->last_begin;
  INT result =
      PdlWriter_BeginPage(w, BlankPageColour(pdev->document->job), b.source, b.paper_code, b.width_mm, b.height_mm);
  static constexpr float kIdentity[6] = {1, 0, 0, 1, 0, 0};
  result |= PdlWriter_SetMatrix(w, kIdentity);
  if (pdev->document->job.pdl_version >= 0x01020000)
    result |= render::Pdl_OpSheetEndValue(pdev->document->sink, 17);
  else
    result |= PdlWriter_PutFB(w);
  result |= PdlWriter_EndPage(w);
  return result;
}

RecordedPage page_entry(PDEV* pdev, WORD page) {
  RecordedPage e{};
  GetPageRecord(pdev->stream, page, sizeof e, &e);
  return e;
}

}  // namespace

BYTE ComputePlaybackColour(PDEV* pdev, WORD page, int partner) {
  RecordedPage e = page_entry(pdev, page);
  if (partner >= 0) {
    // Two pages on one side: their colours together, colour when either is.
    const RecordedPage p = page_entry(pdev, static_cast<WORD>(partner));
    render::PageColourSet_AddList(&e.colour_set, &p.colour_set);
    // A partner that stopped counting had more colours than it could hold
    // (or colours it never saw): the side cannot be counted either.
    if (!p.colour_set.enabled) render::PageColourSet_Disable(&e.colour_set);
    e.colour_mode = e.colour_mode == 2 || p.colour_mode == 2 ? 2 : 1;
  }
  BYTE colour = playback_colour(pdev, e.colour_mode);
  render::PageColourSet_GetColourMode(&e.colour_set, colour, &colour);
  if (RecordingControl* r = rec(pdev)) r->page_colour_mode = e.colour_mode;
  return colour;
}

INT PlayBackPageRecords(PDEV* pdev, WORD page, DWORD honoured, WORD source_override, const PlaybackCell& cell,
                        BYTE colour) {
  if (!pdev || !pdev->writer || IsRecordingOpen(pdev->stream) != 1) return -1;
  if (BeginPagePlayback(pdev->stream, page) != 0) return -1;
  DWORD cache = PdlWriter_EnableCache(pdev->writer, 0);
  INT result = 0;
  BYTE buffer[kPieceBytes];
  for (;;) {
    INT n = ReadRecordedRaw(pdev->stream, kPieceBytes, buffer);
    if (n < 0 || (n > 0 && put_bytes(pdev, buffer, static_cast<DWORD>(n)) != 0)) {
      result = -1;
      break;
    }
    if (n == static_cast<INT>(kPieceBytes)) continue;
    PageRecordHead h{};
    INT got = ReadRecordHead(pdev->stream, &h);
    if (got == kRecordPageEnd) break;
    if (got != 0) {
      result = -1;
      break;
    }
    switch (h.kind) {
      case kRecPageBegin: result = replay_page_begin(pdev, h, honoured, source_override, colour); break;
      case kRecFB: result = h.length ? -1 : (honoured & kHonourFB) ? PdlWriter_PutFB(pdev->writer) : 0; break;
      case kRecPageEnd:
        result = h.length                    ? -1
                 : !(honoured & kHonourEnd)  ? 0
                 : IsRenderPageOpen(pdev)    ? RenderPageEnd(pdev)
                                             : PdlWriter_EndPage(pdev->writer);
        break;
      case kRecTransform: result = replay_transform(pdev, h, honoured, cell); break;
      case kRecClipReset:
        result = h.length ? -1 : (honoured & kHonourClipReset) ? PdlWriter_ResetClip(pdev->writer) : 0;
        break;
      default: result = -1; break;
    }
    if (result != 0) break;
  }
  // A reader stopped early would block every later playback.
  if (pdev->stream->cursor.mode == 1) pdev->stream->cursor = PageRecordCursor{0, -1, -1, -1, -1, -1};
  PdlWriter_EnableCache(pdev->writer, cache);
  return result;
}

INT PlayBackPage(PDEV* pdev, WORD page, DWORD honoured, const PlaybackCell& cell, int partner, WORD source_override) {
  if (!IsJobOutputBegun(pdev)) return -1;
  RecordingControl* r = rec(pdev);
  if (!r || !(r->word & kRecordOpen)) return 0;
  if (partner == page) return -1;
  return PlayBackPageRecords(pdev, page, honoured, source_override, cell, ComputePlaybackColour(pdev, page, partner));
}

INT PlayBackAllPages(PDEV* pdev) {
  SpoolStream* s = pdev->stream;
  RecordingControl* r = rec(pdev);
  INT result = 0;
  int n = s->recorded_pages;
  for (int i = 0; i < n; ++i) {
    WORD page = static_cast<WORD>(s->base_page + (r->job.reverse_order ? n - 1 - i : i));
    if (r->job.tiling)
      result |= PlayBackTiledPage(pdev, page);
    else
      result |= PlayBackPage(pdev, page, kHonourBegin | (IsRenderPluginOn(pdev) ? kHonourEnd | kHonourTransform : 0),
                             PlaybackCell{}, -1, kNoOverride);
  }
  return result;
}

INT PlayBackCopies(PDEV* pdev) {
  RecordingControl* r = rec(pdev);
  if (!r || !(r->word & kRecordOpen) || IsRecordingOpen(pdev->stream) != 1) return -1;
  int copies = r->job.driver_collation ? std::max<int>(r->job.copies, 1) : 1;
  DocumentControl* d = pdev->document;
  const JobSettings& job = d->job;
  // Each copy has its own banner page (kind 2): in front of its pages, or
  // behind them when they are played last first. It is written as it
  // stands, not recorded.
  const bool banner = job.banner == 2;
  DWORD cache = PdlWriter_EnableCache(pdev->writer, 0);
  INT result = 0;
  r->playing = 1;
  for (int copy = 0; copy < copies; ++copy) {
    // A new copy starts on a sheet of its own.
    if (copy > 0) result |= FinishSpecialSheet(pdev, d->page_source, 1);
    if (banner && !r->job.reverse_order) {
      result |= WriteBlankPage(pdev, job.banner_tray);
      result |= FinishSpecialSheet(pdev, job.banner_tray, 2);
    }
    result |= r->job.booklet ? PlayBackBooklet(pdev) : PlayBackAllPages(pdev);
    if (banner && r->job.reverse_order) {
      result |= WriteBlankPage(pdev, job.banner_tray);
      if (job.pdl_version < kVersionSheetChange && NeedsBackFaceFill(pdev, 2))
        result |= WriteBlankPage(pdev, job.banner_tray);
    }
  }
  r->playing = 0;
  PdlWriter_EnableCache(pdev->writer, cache);
  return result;
}

INT PlayBackTiledPage(PDEV* pdev, WORD page) {
  RecordingControl* r = rec(pdev);
  if (!r) return -1;
  RecordedPage e = page_entry(pdev, page);
  double res = r->job.resolution;
  PageLayout l;
  l.page_width = e.page_width;
  l.page_height = e.page_height;
  l.printable_left = e.printable_left;
  l.printable_top = e.printable_top;
  l.printable_right = e.printable_right;
  l.printable_bottom = e.printable_bottom;
  l.sheet_width = e.page_width;
  l.sheet_height = e.page_height;
  l.area_left = e.printable_left;
  l.area_top = e.printable_top;
  l.area_right = e.printable_right;
  l.area_bottom = e.printable_bottom;
  l.margin_left = e.printable_left;
  l.margin_top = e.printable_top;
  l.margin_right = e.page_width - e.printable_right;
  l.margin_bottom = e.page_height - e.printable_bottom;
  TileLayout t;
  if (ComputeTileGrid(l, r->job.tiles_across, r->job.tiles_down, res, res, &t) != 0) return -1;
  INT result = 0;
  int tiles = t.across * t.down;
  for (int i = 0; i < tiles; ++i) {
    int n = r->job.reverse_order ? tiles - 1 - i : i;
    PlaybackCell cell;
    if (ComputeTileTransform(t, n, &cell.m) != 0) {
      result = -1;
      continue;
    }
    cell.present = true;
    cell.replaces = true;
    result |= PlayBackPage(pdev, page, kHonourBegin | kHonourTransform, cell, -1, kNoOverride);
  }
  result |= PdlWriter_ResetForPage(pdev->writer);
  return result;
}

INT PlayBackBooklet(PDEV* pdev) {
  RecordingControl* r = rec(pdev);
  if (!r || !r->job.booklet || r->job.tiling || !IsJobOutputBegun(pdev)) return -1;
  if (!(r->word & kRecordOpen)) return 0;
  return PlayBackBookletSets(pdev);
}

INT PlayBackBookletSets(PDEV* pdev) {
  if (!IsJobOutputBegun(pdev)) return -1;
  RecordingControl* r = rec(pdev);
  SpoolStream* s = pdev->stream;
  int pages = s->recorded_pages, b = s->base_page;
  if (pages == 0) return 0;
  const ImpositionJob& j = r->job;
  bool cover = BookletCoverRule(pdev);
  std::vector<Signature> ranges;
  if (j.booklet_kind == 2 && j.copies_by_playback) {
    int c = static_cast<int>(static_cast<WORD>(4 * j.booklet_value));
    ranges = SplitIntoBookletSets(b, pages, c, cover);
    if (j.reverse_order) std::reverse(ranges.begin(), ranges.end());
  } else if (j.booklet_kind == 1) {
    std::vector<Signature> split;
    if (SplitIntoSignatures(pages, j.reverse_order != 0, static_cast<int>(j.booklet_value), &split, nullptr) <= 0)
      return -1;
    for (const Signature& g : split)
      ranges.push_back(Signature{static_cast<WORD>(b + g.first), static_cast<WORD>(b + g.last)});
  } else {
    ranges.push_back(Signature{static_cast<WORD>(b), static_cast<WORD>(b + pages - 1)});
  }
  // Every range is played; a failure of any of them fails the call, so
  // a booklet that lost a range is not reported as printed.
  INT result = 0;
  for (const Signature& g : ranges) {
    if (g.last < g.first) return -1;
    result |= PlayBackBookletRange(pdev, g.first, g.last);
  }
  return result;
}

namespace {

// The transform of a booklet page on its half sheet, for points.
PlaybackCell booklet_cell(PDEV* pdev, WORD page, DWORD position) {
  RecordingControl* r = rec(pdev);
  RecordedPage e = page_entry(pdev, page);
  BookletPlacementRequest q{};
  q.page_width = e.page_width;
  q.page_height = e.page_height;
  q.page_left = e.printable_left;
  q.page_top = e.printable_top;
  q.page_right = e.printable_right;
  q.page_bottom = e.printable_bottom;
  // The sheet is the page's paper, turned for two pages side by side. A
  // booklet page of N-up cells is the enlarged half sheet: its sheet is the
  // job's paper.
  bool landscape = e.landscape != 0;
  q.sheet_width = landscape ? e.page_height : e.page_width;
  q.sheet_height = landscape ? e.page_width : e.page_height;
  q.sheet_left = landscape ? e.printable_top : e.printable_left;
  q.sheet_top = landscape ? e.printable_left : e.printable_top;
  q.sheet_right = q.sheet_left + (landscape ? e.printable_bottom - e.printable_top : e.printable_right - e.printable_left);
  q.sheet_bottom = q.sheet_top + (landscape ? e.printable_right - e.printable_left : e.printable_bottom - e.printable_top);
  GeometryTenths paper;
  double left, top, width, height;
  const bool cells = r->job.nup > 1;
  if (cells && UprightSheetOfPdev(pdev, &paper, &left, &top, &width, &height) == 0) {
    const double res = r->job.resolution;
    q.sheet_width = TenthMmToDots(paper.width, res);
    q.sheet_height = TenthMmToDots(paper.height, res);
    q.sheet_left = TenthMmToDots(left, res);
    q.sheet_top = TenthMmToDots(top, res);
    q.sheet_right = q.sheet_left + TenthMmToDots(width, res);
    q.sheet_bottom = q.sheet_top + TenthMmToDots(height, res);
  }
  q.margin_left = e.printable_left;
  q.margin_top = e.printable_top;
  q.margin_right = e.page_width - e.printable_right;
  q.margin_bottom = e.page_height - e.printable_bottom;
  q.res_x = q.res_y = static_cast<WORD>(r->job.resolution);
  q.position = position;
  q.binding_is_2 = r->job.booklet_binding == 2;
  q.nup = 1;
  PlaybackCell cell;
  Affine dots;
  ComputeBookletPlacement(&dots, q);
  cell.present = true;
  cell.m = in_points(dots, r->job.resolution);
  if (cells) {
    // The stamp and the header of a booklet page go on its half with it.
    cell.placed = true;
    cell.stamp = cell.header = dots;
    cell.turn_height = r->job.cells_turned ? e.page_width : e.page_height;
  }
  return cell;
}

}  // namespace

INT PlayBackBookletRange(PDEV* pdev, int first, int last) {
  RecordingControl* r = rec(pdev);
  if (!r || first < 0 || last < first) return -1;
  const ImpositionJob& j = r->job;
  bool cover = BookletCoverRule(pdev);
  bool reverse = j.reverse_order != 0;
  int sides = SignatureSideCount(first, last, cover);
  // Page numbers of the signature counted from its first page.
  int base = first;
  INT result = 0;
  for (int s = 0; s < sides; ++s) {
    int p0 = BookletPageForSlot(0, last - base, s, static_cast<int>(j.booklet_binding), 0, reverse, cover && base == 0);
    int p1 = BookletPageForSlot(0, last - base, s, static_cast<int>(j.booklet_binding), 1, reverse, cover && base == 0);
    if (p0 != kBlankSlot) p0 += base;
    if (p1 != kBlankSlot) p1 += base;
    if (p0 == kBlankSlot && p1 == kBlankSlot) {
      bool option = (j.booklet_order_option != 0) != reverse;
      if (!option && r->has_begin) result |= write_blank_page(pdev);
      continue;
    }
    // The banner page's tray feeds the side of the first page (and of the
    // second, unless the banner became the cover).
    auto holds = [&](int page) { return p0 == page || p1 == page; };
    const WORD source = j.banner_kind == 1 && (holds(0) || (!cover && holds(1))) ? j.banner_tray : kNoOverride;
    if (p0 != kBlankSlot && p1 != kBlankSlot) {
      // The higher page begins the side; the other one ends it.
      int hi = std::max(p0, p1), lo = std::min(p0, p1);
      DWORD hi_position = hi == p0 ? 0 : 1;
      result |= PlayBackPage(pdev, static_cast<WORD>(hi), kHonourBegin | kHonourTransform,
                             booklet_cell(pdev, static_cast<WORD>(hi), hi_position), lo, source);
      result |= PlayBackPage(pdev, static_cast<WORD>(lo), kHonourFB | kHonourEnd | kHonourTransform,
                             booklet_cell(pdev, static_cast<WORD>(lo), 1 - hi_position), hi, source);
    } else {
      int p = p0 != kBlankSlot ? p0 : p1;
      result |= PlayBackPage(pdev, static_cast<WORD>(p), 0x1F, booklet_cell(pdev, static_cast<WORD>(p), p == p0 ? 0 : 1),
                             -1, source);
    }
  }
  if (j.driver_collation && first == last && pdev->document->job.pdl_version < kVersionSheetChange && r->has_begin)
    result |= write_blank_page(pdev);
  result |= PdlWriter_ResetForPage(pdev->writer);
  return result;
}

INT PlayRecordedPages(PDEV* pdev) {
  RecordingControl* r = rec(pdev);
  if (!r || !(r->word & kRecordOpen)) return 0;
  INT result = 0;
  if (r->job.recording_needed) result |= WriteJobStart(pdev, 0);
  if (r->job.copies_by_playback)
    result |= PlayBackCopies(pdev);
  else if (r->job.booklet)
    result |= PlayBackBooklet(pdev);
  else
    result = -1;
  result |= EndDocumentRecording(pdev);
  return result;
}

}  // namespace morva::gfx
