// Document and page control: the state of one document from its begin to
// its end, with sheets, logical pages, N-up cells and two-sided back faces.
#include "output/document_control.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "output/spool_stream.h"
#include "render/images.h"
#include "render/pdl_writer.h"
#include "settings/common/module_state.h"
#include "settings/gfx/gfx_ddd_accessors.h"
#include "win/memory.h"

namespace morva::gfx {

namespace {

constexpr DWORD kPdlVersionMin = 0x01010501;
constexpr DWORD kPdlVersionMax = 0x01020018;
constexpr BYTE kPaperCodeOwnSize = 0x51;

// The operator layer writes into a buffer of its own that goes to the
// spool stream whenever it fills and when the stream is flushed.
class SpoolStreamSink final : public render::PdlSink {
 public:
  explicit SpoolStreamSink(SpoolStream* stream) : stream_(stream) {
    cur_ = buffer_;
    end_ = buffer_ + sizeof buffer_;
  }
  // Hands every buffered byte to the stream; 0 or -1.
  int Drain() {
    DWORD n = static_cast<DWORD>(cur_ - buffer_);
    cur_ = buffer_;
    if (n == 0) return 0;
    return WriteSpoolStream(stream_, n, buffer_) == static_cast<INT>(n) ? 0 : -1;
  }

 protected:
  long Overflow(const BYTE* data, std::size_t n) override {
    if (Drain() != 0) return -1;
    if (n <= sizeof buffer_) {
      std::memcpy(cur_, data, n);
      cur_ += n;
      return static_cast<long>(n);
    }
    return WriteSpoolStream(stream_, static_cast<DWORD>(n), data) == static_cast<INT>(n) ? static_cast<long>(n) : -1;
  }

 private:
  SpoolStream* stream_;
  BYTE buffer_[4096];
};

DocumentControl* doc(PDEV* pdev) { return pdev ? pdev->document : nullptr; }

int drain(PDEV* pdev) {
  DocumentControl* d = doc(pdev);
  if (!d || !d->sink) return -1;
  return static_cast<SpoolStreamSink*>(d->sink)->Drain();
}

INT sheet_setup(PDEV* pdev);
INT end_sheet(PDEV* pdev);

INT write_page_begin(PDEV* pdev) {
  DocumentControl* d = doc(pdev);
  PdlWriter* w = pdev->writer;
  const PageState& p = d->page;
  BYTE colour = d->job.colour ? 3 : 1;
  BYTE source = static_cast<BYTE>(PdevGetNumber(pdev, 13));
  INT r = PdlWriter_BeginPage(w, colour, source, static_cast<BYTE>(p.paper_code), p.width_mm, p.height_mm);
  static constexpr float kIdentity[6] = {1, 0, 0, 1, 0, 0};
  r |= PdlWriter_SetMatrix(w, kIdentity);
  return r;
}

INT begin_job_output(PDEV* pdev) {
  DocumentControl* d = doc(pdev);
  if (!d || (d->state & kDocAborted) || !(d->state & kDocOpen) || (d->state & kDocOutputBegun)) return -1;
  d->state |= kDocOutputBegun;
  std::memcpy(d->header_devmode, pdev->settings, kDriverDevmodeBytes);
  // The geometry every later page goes back to when the printer interface
  // asks for page state to be kept.
  d->saved_page = d->page;
  d->has_saved_page = 1;
  PdlWriter_SetMode(pdev->writer, 1, IsPageRecordingNeeded(pdev) ? 1 : 0);
  if (PdlWriter_ResetForPage(pdev->writer) != 0) return -1;
  if (d->job.store_mode || IsPageRecordingNeeded(pdev) || IsFaxPerDestination(pdev)) return 0;
  return WriteJobStart(pdev, 0);
}

INT logical_page_start(PDEV* pdev) {
  DocumentControl* d = doc(pdev);
  if (d->state & kDocPageOpen) return -1;
  d->state |= kDocPageOpen;
  BeginImagePage(pdev);
  return WriteEventComment(pdev, 1);
}

INT emit_page_start(PDEV* pdev) {
  DocumentControl* d = doc(pdev);
  if (!d || (d->state & kDocAborted) || !pdev->writer || !(d->state & kDocOpen) || (d->state & kDocPageOpen))
    return -1;
  INT r = 0;
  if (!(d->state & kDocOutputBegun)) {
    r = begin_job_output(pdev);
    if (r != 0 || (d->state & kDocAborted)) {
      AbortDocument(pdev);
      return -1;
    }
  }
  if (d->state & kDocReset) FillPageGeometry(pdev, &d->page);
  if (!(d->state & kDocSheetOpen)) r |= sheet_setup(pdev);
  if (r == 0) r = logical_page_start(pdev);
  if (r != 0) AbortDocument(pdev);
  return r;
}

INT sheet_setup(PDEV* pdev) {
  DocumentControl* d = doc(pdev);
  d->state |= kDocSheetOpen;
  d->cells_on_sheet = 0;
  if (PdlWriter_ResetForPage(pdev->writer) != 0) return -1;
  return write_page_begin(pdev);
}

// A blank page on the back of a two-sided sheet that has one printed side.
INT fill_blank_back_face(PDEV* pdev) {
  DocumentControl* d = doc(pdev);
  if (d->job.duplex < 2 || d->sides_on_sheet != 1) return 0;
  INT r = PdlWriter_ResetForPage(pdev->writer);
  r |= write_page_begin(pdev);
  r |= PdlWriter_PutFB(pdev->writer);
  r |= PdlWriter_EndPage(pdev->writer);
  r |= WriteEventComment(pdev, 8);
  d->sides_on_sheet = 0;
  return r;
}

INT end_sheet(PDEV* pdev) {
  DocumentControl* d = doc(pdev);
  if (d->state & kDocPageOpen) return -1;
  INT r = 0;
  if (!d->job.store_mode) r |= PdlWriter_PutFB(pdev->writer);
  r |= PdlWriter_EndPage(pdev->writer);
  r |= WriteEventComment(pdev, 2);
  ++d->sheet_count;
  d->sides_on_sheet = static_cast<WORD>(d->job.duplex >= 2 ? (d->sides_on_sheet + 1) % 2 : 0);
  d->cells_on_sheet = 0;
  d->state &= ~(kDocSheetOpen | kDocDrawn);
  return r;
}

INT end_logical_page(PDEV* pdev) {
  DocumentControl* d = doc(pdev);
  if (!(d->state & kDocPageOpen)) {
    DWORD drawn = d->state & kDocDrawn;
    if (EnsurePageStarted(pdev) != 0) return -1;
    d->state = (d->state & ~kDocDrawn) | drawn;
    if (!(d->state & kDocPageOpen)) return 0;  // output suppressed
  }
  INT r = WriteEventComment(pdev, 3);
  d->state &= ~(kDocPageOpen | kDocReset);
  ++d->logical_pages;
  ++d->cells_on_sheet;
  if (d->cells_on_sheet >= std::max<DWORD>(1, d->job.cells)) r |= end_sheet(pdev);
  return r;
}

}  // namespace

DWORD GetTargetPdlVersion(PDEV* pdev) {
  DWORD v = static_cast<DWORD>(PdevGetNumber(pdev, 8205));
  if (v > kPdlVersionMax) return kPdlVersionMax;
  if (v <= 0x01010500) return kPdlVersionMin;
  return v;
}

void FillJobSettings(PDEV* pdev, JobSettings* job) {
  std::memset(job, 0, sizeof *job);
  job->pdl_version = GetTargetPdlVersion(pdev);
  job->colour = PdevGetNumber(pdev, 15) == 2 ? 1 : 0;
  job->store_mode = PdevGetNumber(pdev, 336) == 1 ? 1 : 0;
  job->cells = 1;
  LONG duplex = PdevGetNumber(pdev, 16);
  job->duplex = duplex >= 1 && duplex <= 3 ? static_cast<DWORD>(duplex) : 1;
  LONG quality = PdevGetNumber(pdev, PdevGetNumber(pdev, 386) == 1 ? 14 : 348);
  job->quality = quality > 0 ? static_cast<DWORD>(quality) : 200;
}

void FillPageGeometry(PDEV* pdev, PageState* page) {
  std::memset(page, 0, sizeof *page);
  const PaperRecord& r = pdev->page_paper;
  LONG dpi = PdevResolution(pdev);
  page->page_width = static_cast<LONG>(static_cast<ULONGLONG>(static_cast<DWORD>(r.width)) * dpi / 18432);
  page->page_height = static_cast<LONG>(static_cast<ULONGLONG>(static_cast<DWORD>(r.height)) * dpi / 18432);
  page->sheet_width = page->page_width;
  page->sheet_height = page->page_height;
  page->orientation = r.rotated ? 2 : 1;
  WORD code = 0;
  if (!r.paper || GetPaperObjectMediaCode(r.paper, &code) != DDD_OK || code == 0 || code > 0xFF)
    code = kPaperCodeOwnSize;
  page->paper_code = code;
  // The sheet as it goes through the printer: portrait.
  LONG w = r.rotated ? r.height : r.width, h = r.rotated ? r.width : r.height;
  page->width_mm = static_cast<float>(static_cast<DWORD>(w)) * 25.4f / 18432.0f;
  page->height_mm = static_cast<float>(static_cast<DWORD>(h)) * 25.4f / 18432.0f;
}

INT BeginDocument(PDEV* pdev, HANDLE printer) {
  if (!IsValidPdev(pdev)) return -1;
  EndDocumentCleanup(pdev);
  auto* d = static_cast<DocumentControl*>(GlobalAlloc(GPTR, sizeof(DocumentControl)));
  if (!d) return -1;
  pdev->document = d;
  FillJobSettings(pdev, &d->job);
  FillPageGeometry(pdev, &d->page);
  d->printer = printer;
  pdev->stream = CreateSpoolStream(GetResourceModule());
  return pdev->stream ? 0 : -1;
}

INT OpenDocumentOutput(PDEV* pdev, LPCWSTR name) {
  DocumentControl* d = doc(pdev);
  if (!d || !pdev->stream) return -1;
  d->state &= ~kDocAborted;
  d->sink = new (std::nothrow) SpoolStreamSink(pdev->stream);
  if (!d->sink) return -1;
  pdev->writer = PdlWriter_Create(d->sink, d->job.pdl_version, static_cast<DWORD>(PdevGetNumber(pdev, 1343)), 0);
  if (!pdev->writer) return -1;
  if (OpenImageDocument(pdev) != 0) return -1;
  WritePdlComment(pdev, nullptr, 0x1);
  d->state = kDocOpen;
  std::memset(d->document_name, 0, sizeof d->document_name);
  for (int i = 0; name && name[i] && i < 260; ++i) d->document_name[i] = name[i];
  return OpenSpoolStream(pdev->stream, d->printer);
}

// The job-monitor client of this library comes with the job texts; a
// document without it has nothing to register.
INT InitJobMonitorContext(PDEV*, DWORD) { return 0; }

INT EnsurePageStarted(PDEV* pdev) {
  DocumentControl* d = doc(pdev);
  if (!d || (d->state & kDocAborted) || !(d->state & kDocOpen)) return -1;
  d->state |= kDocDrawn;
  if (d->suppressed) return 0;
  if (!(d->state & kDocPageOpen) && emit_page_start(pdev) != 0) {
    pdev->flags |= kPdevDocFailed;
    return -1;
  }
  return (d->state & kDocPageOpen) ? 0 : -1;
}

INT EndPage(PDEV* pdev) {
  DocumentControl* d = doc(pdev);
  if (!d || (d->state & kDocAborted) || !pdev->writer) return -1;
  INT r = FlushQueuedImages(pdev, TRUE);
  r |= end_logical_page(pdev);
  if (d->keep_page_state && d->has_saved_page) d->page = d->saved_page;
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
  }
  if (d->state & kDocOutputBegun) r |= fill_blank_back_face(pdev);
  if (!(d->state & kDocOutputBegun)) r |= begin_job_output(pdev);
  r |= PlayRecordedPages(pdev);
  r |= WriteJobEnd(pdev);
  r |= drain(pdev);
  BOOL ok = r == 0;
  if (FlushSpoolStream(pdev->stream) != 0) ok = FALSE;
  if (CloseSpoolStream(pdev->stream, ok) != 0) ok = FALSE;
  d->state = 0;
  return ok ? 0 : -1;
}

INT AbortDocument(PDEV* pdev) {
  DocumentControl* d = doc(pdev);
  if (!d) return -1;
  if (d->state & kDocOpen) d->state |= kDocAborted;
  if (pdev->stream && pdev->stream->output) CloseSpoolStream(pdev->stream, FALSE);
  return 0;
}

void EndDocumentCleanup(PDEV* pdev) {
  if (!pdev) return;
  CloseImageDocument(pdev);
  if (pdev->writer) PdlWriter_Destroy(pdev->writer);
  pdev->writer = nullptr;
  if (pdev->stream) DestroySpoolStream(pdev->stream);
  pdev->stream = nullptr;
  if (DocumentControl* d = pdev->document) {
    delete static_cast<SpoolStreamSink*>(d->sink);
    GlobalFree(d);
  }
  pdev->document = nullptr;
}

BOOL IsJobOutputBegun(const PDEV* pdev) { return pdev->document && (pdev->document->state & kDocOutputBegun); }
BOOL IsDocumentAborted(const PDEV* pdev) { return pdev->document && (pdev->document->state & kDocAborted); }
BOOL IsLogicalPageOpen(const PDEV* pdev) { return pdev->document && (pdev->document->state & kDocPageOpen); }

BOOL SetOutputSuppression(PDEV* pdev, DWORD on) {
  DocumentControl* d = doc(pdev);
  if (!d || (d->state & kDocPageOpen)) return FALSE;
  d->suppressed = on ? 1 : 0;
  return TRUE;
}

BOOL SetKeepPageState(PDEV* pdev, DWORD on) {
  DocumentControl* d = doc(pdev);
  if (!d) return FALSE;
  d->keep_page_state = on ? 1 : 0;
  return TRUE;
}

// ---- later pieces ----------------------------------------------------------------

BOOL IsPageRecordingNeeded(PDEV*) { return FALSE; }
BOOL IsFaxPerDestination(PDEV*) { return FALSE; }
BOOL IsRenderPluginOn(PDEV*) { return FALSE; }
INT PlayRecordedPages(PDEV*) { return 0; }
void ResetDeviceFontPageState(PDEV* pdev) { pdev->font_page_state[0] = pdev->font_page_state[1] = 0; }

}  // namespace morva::gfx
