// Fax jobs: one job per destination with its cover page.
#include "output/fax_jobs.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "fax/fax_blob.h"
#include "fax/fax_temp_files.h"
#include "output/channels.h"
#include "output/cover_text.h"
#include "output/document_control.h"
#include "output/document_stream.h"
#include "output/job_monitor_jobs.h"
#include "output/recorded_pages.h"
#include "output/sheet_control.h"
#include "pi/pjl_header.h"
#include "render/escape_receiver.h"
#include "render/pdl_operators.h"
#include "render/pdl_writer.h"
#include "settings/common/common_utils.h"
#include "settings/common/module_state.h"
#include "settings/database/ddd_queries.h"
#include "settings/gfx/gfx_ddd_accessors.h"
#include "settings/gfx/graphics_module.h"
#include "win/memory.h"

namespace morva::gfx {

namespace {

constexpr DWORD kCapWideCover = 0xFFFF0040;
constexpr WORD kCoverPaper = 9;
constexpr BYTE kPaperCodeOwnSize = 0x51;

template <std::size_t N>
void copy_setting(PDEV* pdev, WORD ddmid, WCHAR (&out)[N]) {
  std::memset(out, 0, sizeof out);
  const WCHAR* s = PdevGetString(pdev, ddmid);
  for (std::size_t i = 0; s && s[i] && i + 1 < N; ++i) out[i] = s[i];
}

WORD word_setting(PDEV* pdev, WORD ddmid) { return static_cast<WORD>(PdevGetNumber(pdev, ddmid)); }

void fill_cover_record(PDEV* pdev, WORD count, fax::CoverSheetRecord* r) {
  std::memset(r, 0, sizeof *r);
  r->Variant = word_setting(pdev, 1804);
  copy_setting(pdev, 1805, r->Title);
  r->OneJob = count < 2 ? 0 : word_setting(pdev, 379);
  copy_setting(pdev, 1806, r->Recipient);
  r->ChoiceA = word_setting(pdev, 1807);
  r->ChoiceB = word_setting(pdev, 1808);
  r->LinePrefix = word_setting(pdev, 1809);
  copy_setting(pdev, 1820, r->Sender1820);
  copy_setting(pdev, 1821, r->Sender1821);
  copy_setting(pdev, 1822, r->Sender1822);
  copy_setting(pdev, 1823, r->Sender1823);
  copy_setting(pdev, 1876, r->Sender1876);
}

void fill_line_settings(PDEV* pdev, fax::FaxLineSettings* l) {
  std::memset(l, 0, sizeof *l);
  l->Word4111 = word_setting(pdev, 4111);
  copy_setting(pdev, 5141, l->OutsideLinePrefix);
  l->OutsideLineDial = word_setting(pdev, 5142);
  copy_setting(pdev, 5143, l->ExtensionPrefix);
  l->ExtensionDial = word_setting(pdev, 5144);
  l->DirectDial = word_setting(pdev, 5145);
  l->Word4142 = word_setting(pdev, 4142);
}

// The cover sheet's text items of a destination.
INT write_cover_text(PDEV* pdev, const fax::CoverSheetDestination& destination, DWORD cover_kind, WORD count) {
  fax::CoverSheetRecord record;
  fill_cover_record(pdev, count, &record);
  fax::FaxLineSettings line;
  fill_line_settings(pdev, &line);
  DeviceCapabilityBits bits{};
  const bool have_bits = pdev->database && LoadCapabilityBits(pdev->database, &bits);
  fax::CoverSheetItem* items = nullptr;
  INT n = 0;
  if (!fax::BuildCoverSheetItems(&destination, &record, &line, &items, &n, static_cast<INT>(cover_kind),
                                 have_bits ? &bits : nullptr, GetResourceModule()))
    return -1;
  std::vector<CoverTextItem> texts;
  for (INT i = 0; i < n; ++i)
    texts.push_back({items[i].X, items[i].Y, items[i].Size, items[i].Style, std::u16string(items[i].Text)});
  GlobalFree(items);
  // The wide layout is measured from the sheet's edge, the others from the
  // printable area.
  LONG left = 0;
  if (have_bits && TestCapabilityBit(&bits, kCapWideCover) && cover_kind != 1 && pdev->document) {
    const auto& sheet = pdev->document->page.sheet;
    const LONG res = PdevGetNumber(pdev, 20) > 0 ? PdevGetNumber(pdev, 20) : PdevResolution(pdev);
    left = static_cast<LONG>(sheet.left_offset) * res / 254;
  }
  return WriteCoverText(pdev, texts, left);
}

}  // namespace

INT ReadFaxJobSettings(PDEV* pdev, FaxJobSettings* out) {
  if (!pdev || !out) return -1;
  *out = FaxJobSettings{};
  out->fax_device = pdev->device_class_flag ? 1 : 0;
  out->cover_only = PdevGetNumber(pdev, 381) == 1;
  out->cover_on = PdevGetNumber(pdev, 376) == 1;
  out->cover_kind = !out->cover_on ? 0 : PdevGetNumber(pdev, 377) != 0 ? 2 : 1;
  out->count = word_setting(pdev, 380);
  out->per_destination =
      FaxJobPerDestination(PdevGetNumber(pdev, 376), PdevGetNumber(pdev, 379), out->count, PdevGetNumber(pdev, 381))
          ? 1
          : 0;
  return 0;
}

void CarryOverJobFileSettings(void* new_settings, void* old_settings, void* printer_data) {
  static constexpr WORD kJobFileSettings[] = {374, 375, 376, 377, 379, 380, 381};
  for (WORD id : kJobFileSettings) CopySettingValue(id, new_settings, old_settings, printer_data);
}

INT ReplaceFaxJobContext(PDEV* pdev, const BYTE* block, DWORD size) {
  if (!pdev) return -1;
  if (!pdev->device_class_flag) return 0;
  fax::FaxBookView view;
  if (!block || !size || !fax::FaxBook_Parse(block, size, &view) || view.kind != fax::FaxBookKind::kDfax002) {
    KeepFaxAddresses(pdev, nullptr, 0);
    return -1;
  }
  return KeepFaxAddresses(pdev, block, view.size) ? 0 : -1;
}

BOOL IsFaxPerDestination(PDEV* pdev) {
  FaxJobSettings f;
  if (ReadFaxJobSettings(pdev, &f) != 0 || !f.fax_device || !f.per_destination) return FALSE;
  const std::vector<BYTE>* list = GetReceivedFaxAddresses(pdev);
  fax::FaxBookView view;
  // Without a list of that many destinations there is nobody to send to.
  return list && fax::FaxBook_Parse(list->data(), list->size(), &view) && view.count >= f.count;
}

INT GetFaxDestinationRecord(PDEV* pdev, WORD index, fax::CoverSheetDestination* out) {
  const std::vector<BYTE>* list = GetReceivedFaxAddresses(pdev);
  fax::FaxBookView view;
  if (!out || !list || !fax::FaxBook_Parse(list->data(), list->size(), &view) || index >= view.count ||
      view.entrySize != fax::kFaxEntrySize)
    return -1;
  std::memset(out, 0, sizeof *out);
  std::memcpy(&out->Destination, view.data + fax::kFaxBookHeaderSize + std::size_t{index} * fax::kFaxEntrySize,
              fax::kFaxEntrySize);
  std::memcpy(out->Subject, view.data + fax::kFaxText1Offset, sizeof out->Subject - sizeof(WCHAR));
  std::memcpy(out->Comment, view.data + fax::kFaxText2Offset, sizeof out->Comment - sizeof(WCHAR));
  return 0;
}

INT WriteCoverFile(PDEV* pdev) {
  if (!pdev || !pdev->database) return -1;
  LPWSTR dir = GetDriverDirectory(pdev->printer);
  if (!dir) return -1;
  std::u16string path = dir;
  GlobalFree(dir);
  WCHAR* name = DddGetFieldString(&pdev->database->main, 28, 0);
  const bool named = name && *name;
  if (named) path += name;
  if (name) GlobalFree(name);
  if (!named) return -1;
  HANDLE f = FileOpen(path.c_str(), 0);
  if (f == INVALID_HANDLE_VALUE) return -1;
  INT r = 0;
  BYTE piece[16384];
  for (;;) {
    DWORD got = 0;
    // Read in steps of 512 bytes into the piece.
    while (got < sizeof piece) {
      DWORD n = 0;
      if (!FileRead(f, piece + got, 512, &n) || n == 0) break;
      got += n;
    }
    if (got == 0) break;
    if (r == 0 && WriteDocumentBytes(pdev, got, piece) != static_cast<INT>(got)) r = -1;
    if (got < sizeof piece) break;
  }
  FileClose(f);
  return r;
}

INT FillCoverGeometry(PDEV* pdev, PageGeometry* out, BYTE* media) {
  if (!pdev || !pdev->database || !out || !media) return -1;
  DddValue* paper = nullptr;
  if (DddLoadValueEx(DDD_LOAD_FULL, &pdev->database->main, &pdev->database->linked, DDD_KIND_PAPER, kCoverPaper, 0,
                     &paper) != DDD_OK ||
      !paper) {
    if (paper) DddFreeValue(&paper, 0xFFFF);
    return -1;
  }
  DddPair size{}, area{}, left_bottom{}, right_top{};
  INT r = -1;
  if (DddGetPaperSize(paper, &size) == DDD_OK && DddGetPaperArea(paper, &area) == DDD_OK && size.first &&
      size.second) {
    PageGeometry g{};
    g.paper_code = kCoverPaper;
    g.width = size.first;
    g.height = size.second;
    g.printable_width = std::min(area.first, size.first);
    g.printable_height = std::min(area.second, size.second);
    g.left_offset = static_cast<WORD>((g.width - g.printable_width + 1) / 2);
    g.top_offset = static_cast<WORD>((g.height - g.printable_height + 1) / 2);
    if (DddGetPaperMarginPairs(paper, &left_bottom, &right_top) == DDD_OK) {
      g.left = left_bottom.first;
      g.bottom = left_bottom.second;
      g.right = right_top.first;
      g.top = right_top.second;
    }
    g.flag = 1;
    // A paper without a media code of its own goes by its size.
    WORD code = 0;
    *media = GetPaperObjectMediaCode(paper, &code) == DDD_OK && code && code <= 0xFF ? static_cast<BYTE>(code)
                                                                                       : kPaperCodeOwnSize;
    *out = g;
    r = 0;
  }
  DddFreeValue(&paper, 0xFFFF);
  return r;
}

INT WriteCoverPage(PDEV* pdev, const fax::CoverSheetDestination& destination) {
  DocumentControl* d = pdev ? pdev->document : nullptr;
  if (!d || !pdev->writer) return -1;
  FaxJobSettings f;
  ReadFaxJobSettings(pdev, &f);
  PdlWriter* w = pdev->writer;
  const PageState saved = d->page;
  // The cover's paper: a sheet of its own for a cover-only job or a cover
  // with the document name; per destination the job's sheets (the latest
  // page begin); else the job's output sheet.
  BYTE code = 0;
  float width_mm = 0, height_mm = 0, sheet_height_mm = 0;
  if (f.cover_only || f.cover_kind == 2) {
    PageGeometry g{};
    if (FillCoverGeometry(pdev, &g, &code) != 0) return -1;
    d->page.page = d->page.sheet = g;
    d->page.orientation = 0;
    sheet_height_mm = static_cast<float>(g.height) / 10.0f;
    if (code == kPaperCodeOwnSize) {
      width_mm = static_cast<float>(g.width) / 10.0f;
      height_mm = sheet_height_mm;
    }
  } else if (f.per_destination && d->rec.has_begin) {
    const PageBeginRecord& b = d->rec.last_begin;
    code = b.paper_code;
    width_mm = b.width_mm;
    sheet_height_mm = height_mm = b.height_mm;
  } else {
    code = SheetMediaCode(pdev);
    width_mm = static_cast<float>(d->page.sheet.width) / 10.0f;
    sheet_height_mm = height_mm = static_cast<float>(d->page.sheet.height) / 10.0f;
  }
  INT r = PdlWriter_BeginPage(w, 1, 0, code, width_mm, height_mm);
  if (d->job.setting_1293 >= 0 && d->job.setting_1294 >= 0) {
    r |= render::Pdl_OpFlagsFF(d->sink,
                               static_cast<BYTE>((d->job.setting_1293 ? 0x1 : 0) | (d->job.setting_1294 ? 0x4 : 0)));
    r |= render::Pdl_OpFlagAI(d->sink, d->job.setting_1293 ? 1 : 0);
  }
  r |= WriteEventComment(pdev, 1);
  if (f.cover_kind == 2) r |= WriteDocumentNameBlock(pdev);
  if (f.cover_kind == 1) r |= WriteCoverFile(pdev);
  // Device dots from the sheet's top left.
  const LONG res = PdevGetNumber(pdev, 20) > 0 ? PdevGetNumber(pdev, 20) : PdevResolution(pdev);
  const float dots = res > 0 ? 72.0f / static_cast<float>(res) : 1.0f;
  const float m[6] = {dots, 0, 0, -dots, 0, sheet_height_mm * 72.0f / 25.4f};
  r |= PdlWriter_SetMatrix(w, m);
  if (r == 0) r = write_cover_text(pdev, destination, f.cover_kind, f.count);
  r |= WriteEventComment(pdev, 3);
  r |= PdlWriter_PutFB(w);
  r |= PdlWriter_EndPage(w);
  r |= WriteEventComment(pdev, 2);
  r |= PdlWriter_ResetForPage(w);
  d->page = saved;
  return r == 0 ? 0 : -1;
}

BOOL IsCoverOnlyFax(PDEV* pdev) {
  FaxJobSettings f;
  return ReadFaxJobSettings(pdev, &f) == 0 && f.fax_device && f.cover_only;
}

INT WriteJobCoverPage(PDEV* pdev) {
  FaxJobSettings f;
  if (ReadFaxJobSettings(pdev, &f) != 0 || !f.fax_device || !f.cover_on) return 0;
  fax::CoverSheetDestination destination{};
  if (GetFaxDestinationRecord(pdev, 0, &destination) != 0) return -1;
  if (WriteCoverPage(pdev, destination) != 0) return -1;
  // A cover-only job has no other page: the cover is what it prints.
  if (f.cover_only) ++pdev->document->logical_pages;
  return 0;
}

void ForgetFaxAddressFile(PDEV* pdev) {
  if (!pdev || !pdev->device_class_flag) return;
  const WCHAR* name = PdevGetString(pdev, 375);
  if (name && *name) fax::DeleteFaxAddressFile(name);
}

INT SendPerDestinationJobs(PDEV* pdev) {
  DocumentControl* d = pdev ? pdev->document : nullptr;
  if (!d || !pdev->writer) return -1;
  FaxJobSettings f;
  ReadFaxJobSettings(pdev, &f);
  const DWORD cache = PdlWriter_EnableCache(pdev->writer, 0);
  INT result = 0;
  for (WORD i = 0; i < f.count; ++i) {
    fax::CoverSheetDestination destination{};
    INT r = f.cover_on ? GetFaxDestinationRecord(pdev, i, &destination) : 0;
    // The first destination goes into the engine's own job.
    if (i > 0 && OpenDocumentChannel(pdev) != 0) {
      result = -1;
      continue;
    }
    if (r == 0) r = WriteJobStart(pdev, i);
    if (r == 0 && f.cover_on) r = WriteCoverPage(pdev, destination);
    if (r == 0) r = PlayBackCopies(pdev);
    if (r == 0) r = WriteJobEnd(pdev);
    if (DrainDocumentSink(pdev) != 0) r = -1;
    if (r != 0) result = -1;
    // A destination whose job is incomplete is not reported as printed.
    if (CloseDocumentJob(pdev, result == 0) != 0) result = -1;
    CompleteJobMonitor(pdev, result == 0);
  }
  PdlWriter_EnableCache(pdev->writer, cache);
  if (EndDocumentRecording(pdev) != 0) result = -1;
  return result;
}

}  // namespace morva::gfx
