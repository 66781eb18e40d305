// Document and page control: the state of one document from its begin to
// its end, with sheets, logical pages, N-up cells and two-sided back faces.
#include "output/document_control.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "output/document_stream.h"
#include "output/fax_jobs.h"
#include "output/job_monitor_jobs.h"
#include "output/sheet_control.h"
#include "output/job_texts.h"
#include "output/spool_stream.h"
#include "output/store_mode.h"
#include "render/pdl_operators.h"
#include "render/glyph_compression.h"
#include "render/images.h"
#include "render/pdl_writer.h"
#include "render/render_plugin.h"
#include "settings/database/ddd_queries.h"
#include "settings/gfx/graphics_module.h"
#include "win/memory.h"

namespace morva::gfx {

namespace {


// The operator layer writes into a buffer of its own that goes to the
// spool stream whenever it fills and when the stream is flushed.
class SpoolStreamSink final : public render::PdlSink {
 public:
  explicit SpoolStreamSink(DocumentControl* document) : document_(document) {
    cur_ = buffer_;
    end_ = buffer_ + sizeof buffer_;
  }
  // Hands every buffered byte to the stream; 0 or -1.
  int Drain() {
    DWORD n = static_cast<DWORD>(cur_ - buffer_);
    cur_ = buffer_;
    if (n == 0) return 0;
    return WriteDocumentBytes(document_->owner, n, buffer_) == static_cast<INT>(n) ? 0 : -1;
  }

 protected:
  long Overflow(const BYTE* data, std::size_t n) override {
    if (Drain() != 0) return -1;
    if (n <= sizeof buffer_) {
      std::memcpy(cur_, data, n);
      cur_ += n;
      return static_cast<long>(n);
    }
    return WriteDocumentBytes(document_->owner, static_cast<DWORD>(n), data) == static_cast<INT>(n)
               ? static_cast<long>(n)
               : -1;
  }

 private:
  DocumentControl* document_;  // its owner PDEV changes at a reset
  BYTE buffer_[4096];
};


DocumentControl* doc(PDEV* pdev) { return pdev ? pdev->document : nullptr; }

constexpr DWORD kRenderPluginPdlVersion = 0x01010901;


// The job's settings and the first page's layout, read again when the
// output begins.
INT prepare_job_output(PDEV* pdev) {
  DocumentControl* d = doc(pdev);
  INT r = FillJobSettings(pdev, &d->job);
  r |= FillPageGeometry(pdev, &d->page);
  r |= FillSheetGeometry(pdev, &d->page);
  r |= FillPageLayout(pdev, d->job, &d->page);
  d->sheet_count = d->sheet_number = 0;
  d->sides_on_sheet = 0;
  d->printed_sides = 1;
  d->sheet_orientation = SheetOrientationCode(d->job, d->page);
  return r;
}

INT begin_job_output(PDEV* pdev) {
  DocumentControl* d = doc(pdev);
  if (!d || (d->state & kDocAborted) || !(d->state & kDocOpen) || (d->state & kDocOutputBegun)) return -1;
  d->state |= kDocOutputBegun;
  if (JobInfo_Open(pdev) != 0) return -1;
  INT r = prepare_job_output(pdev);
  std::memcpy(d->header_devmode, pdev->settings, kDriverDevmodeBytes);
  // The geometry every later page goes back to when the printer interface
  // asks for page state to be kept.
  d->saved_page = d->page;
  d->has_saved_page = 1;
  PrepareImposition(pdev);
  // Every sheet of a job for the render plug-in is recorded and played.
  if (d->job.render_plugin) d->rec.job.copies_by_playback = 1;
  r |= ResetWriterForPage(pdev, TRUE);
  if (r != 0) return r;
  if (d->job.store_mode || IsFaxPerDestination(pdev)) {
    // Every sheet is recorded; the job is written at the document end.
    d->job.copies_by_playback = d->rec.job.copies_by_playback = 1;
    return 0;
  }
  if (!IsPageRecordingNeeded(pdev)) r |= WriteJobStart(pdev, 0);
  if (r == 0) r = WriteJobCoverPage(pdev);
  if (d->job.banner == 2 && !d->job.copies_by_playback) {
    r |= WriteBlankPage(pdev, d->job.banner_tray);
    r |= FinishSpecialSheet(pdev, d->job.banner_tray, 2);
  }
  return r;
}

INT logical_page_start(PDEV* pdev) {
  DocumentControl* d = doc(pdev);
  if (d->state & kDocPageOpen) return -1;
  d->state |= kDocPageOpen;
  BeginImagePage(pdev);
  INT r = WriteEventComment(pdev, 1);
  r |= SetCellTransform(pdev);
  if (d->job.annotation) {
    static constexpr float kIdentity[6] = {1, 0, 0, 1, 0, 0};
    const WCHAR* text = PdevGetString(pdev, 340);
    std::size_t n = 0;
    while (text && text[n]) ++n;
    r |= PdlWriter_PutTextEg(pdev->writer, n, text, kIdentity, 0, 0, 0, 0);
  }
  // The two job flags, for printers that know them.
  if (d->job.setting_1293 >= 0 && d->job.setting_1294 >= 0) {
    r |= render::Pdl_OpFlagsFF(pdev->writer->sink,
                               static_cast<BYTE>((d->job.setting_1293 ? 0x1 : 0) | (d->job.setting_1294 ? 0x4 : 0)));
    r |= render::Pdl_OpFlagAI(pdev->writer->sink, d->job.setting_1293 ? 1 : 0);
  }
  return r;
}

INT sheet_setup(PDEV* pdev) {
  DocumentControl* d = doc(pdev);
  d->sheet_orientation = SheetOrientationCode(d->job, d->page);
  INT r = DetectPageChanges(pdev);
  d->state |= kDocSheetOpen;
  d->cells_on_sheet = 0;
  r |= ResetWriterForPage(pdev, FALSE);
  // An automatic colour mode is decided page by page.
  d->page_colour_mode = d->job.device_colour_override ? 0 : d->job.colour_mode;
  if (RecordSheetStart(pdev) != 0) return -1;
  // The render plug-in reads sheets of an older version of the language.
  if (d->job.render_plugin && pdev->writer->pdl_version > kRenderPluginPdlVersion)
    PdlWriter_SetPdlVersion(pdev->writer, kRenderPluginPdlVersion);
  return r | WriteSheetStart(pdev);
}

INT emit_page_start(PDEV* pdev) {
  DocumentControl* d = doc(pdev);
  if (!d || (d->state & kDocAborted) || !pdev->writer || !(d->state & kDocOpen) || (d->state & kDocPageOpen))
    return -1;
  if (!(d->state & kDocOutputBegun)) {
    if (begin_job_output(pdev) != 0 || (d->state & kDocAborted)) {
      AbortDocument(pdev);
      return -1;
    }
  }
  // A cover-only fax prints none of the application's pages.
  if (IsCoverOnlyFax(pdev)) return 0;
  INT r = 0;
  if (d->state & kDocReset) {
    // A new DEVMODE since the last page: its paper and orientation.
    r |= FillPageGeometry(pdev, &d->page);
    if (d->job.output_follows_page) r |= FillSheetGeometry(pdev, &d->page);
  }
  if (!(d->state & kDocSheetOpen)) r |= sheet_setup(pdev);
  if (r == 0) r = logical_page_start(pdev);
  if (r != 0) AbortDocument(pdev);
  return r;
}

INT end_sheet(PDEV* pdev) {
  DocumentControl* d = doc(pdev);
  if (d->state & kDocPageOpen) return -1;
  INT r = DrawSheetTileMarks(pdev);
  if (!d->job.store_mode) r |= RecordOrWriteFB(pdev);
  r |= RecordOrWritePageEnd(pdev);
  r |= WriteEventComment(pdev, 2);
  if (d->job.render_plugin) PdlWriter_SetPdlVersion(pdev->writer, GetTargetPdlVersion(pdev));
  r |= RecordSheetEnd(pdev);
  CountSheet(pdev, FALSE);
  d->cells_on_sheet = 0;
  d->state &= ~(kDocSheetOpen | kDocDrawn);
  return r;
}

INT end_logical_page(PDEV* pdev) {
  DocumentControl* d = doc(pdev);
  if (!(d->state & kDocPageOpen)) {
    if (d->job.setting_1334) return 0;
    DWORD drawn = d->state & kDocDrawn;
    if (EnsurePageStarted(pdev) != 0) return -1;
    d->state = (d->state & ~kDocDrawn) | drawn;
    if (!(d->state & kDocPageOpen)) return 0;  // output suppressed
  }
  INT r = WriteEventComment(pdev, 3);
  d->state &= ~(kDocPageOpen | kDocReset);
  ++d->logical_pages;
  ++d->cells_on_sheet;
  if (d->cells_on_sheet >= std::max<WORD>(1, d->job.nup)) r |= end_sheet(pdev);
  return r;
}

}  // namespace

INT BeginDocument(PDEV* pdev, HANDLE printer) {
  if (!IsValidPdev(pdev)) return -1;
  EndDocumentCleanup(pdev);
  auto* d = static_cast<DocumentControl*>(GlobalAlloc(GPTR, sizeof(DocumentControl)));
  if (!d) return -1;
  pdev->document = d;
  d->owner = pdev;
  INT r = FillJobSettings(pdev, &d->job);
  d->printer = printer;
  // The font-substitution table the device's fonts were made for.
  BOOL fonts_a = FALSE, fonts_b = FALSE;
  HasCapability(pdev, 0x800, &fonts_a);
  HasCapability(pdev, 0x1000, &fonts_b);
  SelectFontSubstitutionTable(fonts_a || !fonts_b ? 1 : 0);
  r |= CreateDocumentStream(pdev);
  r |= SetPageColourMode(pdev, 2);
  return r == 0 ? 0 : -1;
}

INT OpenDocumentOutput(PDEV* pdev, LPCWSTR name) {
  DocumentControl* d = doc(pdev);
  if (!d || !pdev->stream) return -1;
  d->state &= ~kDocAborted;
  d->sink = new (std::nothrow) SpoolStreamSink(d);
  if (!d->sink) return -1;
  // The printer's glyph memory (global field 6); none in store mode.
  const DWORD glyph_memory =
      d->job.store_mode || !pdev->database ? 0 : DddGetFieldValue(&pdev->database->main, 6, 4, 0);
  pdev->writer =
      PdlWriter_Create(d->sink, d->job.pdl_version, static_cast<DWORD>(PdevGetNumber(pdev, 1343)), glyph_memory);
  if (!pdev->writer) return -1;
  if (OpenImageDocument(pdev) != 0) return -1;
  BindDocumentCompression(pdev);
  WritePdlComment(pdev, nullptr, 0x1);
  d->state = kDocOpen;
  d->page_record_word = 0;
  std::memset(d->document_name, 0, sizeof d->document_name);
  for (int i = 0; name && name[i] && i < 260; ++i) d->document_name[i] = name[i];
  return OpenDocumentStream(pdev);
}

INT EnsurePageStarted(PDEV* pdev) {
  DocumentControl* d = doc(pdev);
  if (!d || (d->state & kDocAborted) || !(d->state & kDocOpen)) return -1;
  d->state |= kDocDrawn;
  if (IsOutputSuppressed(pdev)) return 0;
  if (!(d->state & kDocPageOpen) && emit_page_start(pdev) != 0) {
    pdev->flags |= kPdevDocFailed;
    return -1;
  }
  // A cover-only fax starts no page of its own: nothing to draw on, and no
  // failure.
  if (d->state & kDocPageOpen) {
    // A page recorded only to decide its colour is written out as soon as
    // the colour is known.
    if (ResumeAfterColourDecision(pdev) == 0) return 0;
    pdev->flags |= kPdevDocFailed;
    return -1;
  }
  return IsCoverOnlyFax(pdev) ? 0 : -1;
}

INT EndPage(PDEV* pdev) {
  DocumentControl* d = doc(pdev);
  if (!d || (d->state & kDocAborted) || !pdev->writer) return -1;
  if (IsCoverOnlyFax(pdev)) {
    // Its one page is the cover, written as the job output begins.
    if (d->logical_pages == 0 && !(d->state & kDocOutputBegun) &&
        (begin_job_output(pdev) != 0 || (d->state & kDocAborted))) {
      AbortDocument(pdev);
      return -1;
    }
    return 0;
  }
  INT r = FlushQueuedImages(pdev, TRUE);
  r |= end_logical_page(pdev);
  if (d->keep_page_state) {
    d->job.copies_by_playback = 1;
    if (d->has_saved_page) d->page = d->saved_page;
  }
  if (r != 0) AbortDocument(pdev);
  return r;
}

INT EndDocument(PDEV* pdev) {
  DocumentControl* d = doc(pdev);
  if (!d || (d->state & kDocAborted) || !(d->state & kDocOpen)) return -1;
  INT r = 0;
  if (d->state & kDocPageOpen) {
    r |= FlushQueuedImages(pdev, TRUE);
    r |= WriteEventComment(pdev, 6);
    r |= end_logical_page(pdev);
    if (d->state & kDocPageOpen) return -1;
  }
  if (d->state & kDocSheetOpen) {
    r |= WriteEventComment(pdev, 7);
    r |= end_sheet(pdev);
    if (d->state & kDocSheetOpen) return -1;
  }
  if (NeedsBackFaceFill(pdev, 1)) r |= FillBlankBackFace(pdev, TRUE);
  // Without a counted page the job output never began: nothing to end.
  if ((d->state & kDocOutputBegun) && d->job.store_mode) {
    r |= StoreModeOutput(pdev);
  } else if ((d->state & kDocOutputBegun) && IsFaxPerDestination(pdev)) {
    r |= SendPerDestinationJobs(pdev);
  } else if ((d->state & kDocOutputBegun) && IsRenderPluginOn(pdev) && LoadRenderPlugin(pdev) != 0) {
    // Without its plug-in the job cannot be rendered: nothing is played.
    EndDocumentRecording(pdev);
    r = -1;
  } else if (d->state & kDocOutputBegun) {
    r |= PlayRecordedPages(pdev);
    if (d->job.banner_sheet) {
      // The banner sheet closes the job, from its own tray.
      r |= ResetWriterForPage(pdev, TRUE);
      if (d->page_source == d->job.banner_sheet_tray) r |= FinishSpecialSheet(pdev, d->job.banner_sheet_tray, 1);
      r |= WriteBlankPage(pdev, d->job.banner_sheet_tray);
    }
    r |= WriteJobEnd(pdev);
    r |= DrainDocumentSink(pdev);
  }
  ForgetFaxAddressFile(pdev);
  // A job whose last bytes did not reach the spooler did not print.
  if (CloseDocumentStream(pdev, r == 0) != 0) r = -1;
  CompleteJobMonitor(pdev, r == 0);
  UnloadRenderPlugin(pdev);
  d->state &= ~(kDocOpen | kDocOutputBegun);
  return r == 0 ? 0 : -1;
}

INT AbortDocument(PDEV* pdev) {
  DocumentControl* d = doc(pdev);
  if (!d || (d->state & kDocAborted) || !(d->state & kDocOpen)) return -1;
  d->state |= kDocAborted;
  CloseDocumentStream(pdev, FALSE);
  CompleteJobMonitor(pdev, FALSE);
  d->state &= ~(kDocOpen | kDocOutputBegun);
  return 0;
}

void EndDocumentCleanup(PDEV* pdev) {
  if (!pdev) return;
  CloseImageDocument(pdev);
  if (pdev->writer) PdlWriter_Destroy(pdev->writer);
  pdev->writer = nullptr;
  DestroyDocumentStream(pdev);
  JobInfo_Close(pdev);
  CompleteJobMonitor(pdev, FALSE);
  UnloadRenderPlugin(pdev);
  UnbindDocumentCompression(pdev);
  if (DocumentControl* d = pdev->document) {
    delete static_cast<SpoolStreamSink*>(d->sink);
    GlobalFree(d);
  }
  pdev->document = nullptr;
}

INT DrainDocumentSink(PDEV* pdev) {
  DocumentControl* d = doc(pdev);
  if (!d || !d->sink) return -1;
  return static_cast<SpoolStreamSink*>(d->sink)->Drain();
}

BOOL IsJobOutputBegun(const PDEV* pdev) {
  return pdev->document && (pdev->document->state & (kDocOpen | kDocOutputBegun)) == (kDocOpen | kDocOutputBegun);
}
BOOL IsDocumentAborted(const PDEV* pdev) { return pdev->document && (pdev->document->state & kDocAborted); }
BOOL IsLogicalPageOpen(const PDEV* pdev) { return pdev->document && (pdev->document->state & kDocPageOpen); }

INT SetOutputSuppression(PDEV* pdev, DWORD on, DWORD second) {
  DocumentControl* d = doc(pdev);
  constexpr DWORD kNeeded = kDocOpen | kDocOutputBegun | kDocSheetOpen;
  if (!d || (d->state & kNeeded) != kNeeded) return -1;
  // Nothing to suppress with: the request is refused and changes nothing.
  if (on && !d->job.suppression_a && !d->job.suppression_b && !d->job.print_header) return -1;
  d->suppressed = on ? 1 : 0;
  d->second_suppressed = second;
  return 0;
}

BOOL IsOutputSuppressed(PDEV* pdev) {
  DocumentControl* d = doc(pdev);
  if (!d) return FALSE;
  if (d->suppressed) return d->job.suppression_a || d->job.suppression_b;
  return d->second_suppressed != 0;
}

BOOL IsObjectOutputSuppressed(PDEV* pdev) {
  DocumentControl* d = doc(pdev);
  if (!d) return FALSE;
  if (d->suppressed && !d->job.suppression_a && !d->job.suppression_b) return FALSE;
  if (d->second_suppressed) return !d->job.booklet_header;
  return d->suppressed && d->job.suppression_a;
}

DWORD GetSuppressionData(PDEV* pdev) {
  DocumentControl* d = doc(pdev);
  if (!d || !d->suppressed || !(d->job.suppression_a || d->job.suppression_b)) return 0;
  return d->job.suppression_values[1];
}

BOOL SetKeepPageState(PDEV* pdev, DWORD on) {
  DocumentControl* d = doc(pdev);
  if (!d) return FALSE;
  d->keep_page_state = on ? 1 : 0;
  return TRUE;
}

INT SetPageColourMode(PDEV* pdev, DWORD mode) {
  DocumentControl* d = doc(pdev);
  if (!d || mode > 3) return -1;
  d->page_colour_mode = mode;
  return 0;
}

BOOL IsPageColourKnown(PDEV* pdev) {
  DocumentControl* d = doc(pdev);
  if (!d) return FALSE;
  if (d->page_colour_mode == 0 && IsImagePageColour(pdev)) MarkPageColour(pdev);
  return d->page_colour_mode != 0;
}

BOOL NeedsPageColourCheck(PDEV* pdev) {
  DocumentControl* d = doc(pdev);
  return d && (d->state & kDocPageOpen) && !IsPageColourKnown(pdev);
}

INT MarkPageColour(PDEV* pdev) { return SetPageColourMode(pdev, 2); }

INT MarkPdevReset(PDEV* old_pdev, PDEV* new_pdev) {
  DocumentControl* o = doc(old_pdev);
  DocumentControl* n = doc(new_pdev);
  if (n && (n->state & kDocAborted)) return -1;
  if (!o) return 0;
  if (o->state & (kDocAborted | kDocPageOpen)) return -1;
  o->state |= kDocReset;
  return 0;
}

INT ResetWriterForPage(PDEV* pdev, BOOL full) {
  DocumentControl* d = doc(pdev);
  if (!d || !pdev->writer) return -1;
  // Pages played out of their order must not rely on page-level state of
  // the page before them.
  if (full || d->job.annotation)
    PdlWriter_SetMode(pdev->writer, 1,
                      IsPageRecordingNeeded(pdev) || d->job.tiling || d->job.booklet || d->job.reverse_order ? 1 : 0);
  return PdlWriter_ResetForPage(pdev->writer) == 0 ? 0 : -1;
}

// ---- later pieces ----------------------------------------------------------------

void ResetDeviceFontPageState(PDEV* pdev) { pdev->font_page_state[0] = pdev->font_page_state[1] = 0; }

}  // namespace morva::gfx
