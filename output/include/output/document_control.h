// Document and page control under the driver's document and page entries:
// when the job output begins, when sheets and logical pages open and close,
// the comment events that mark them, abort, and the job's framing (PJL
// header, version lines, identification comments, job end and trailer).
// Every call answers 0 or -1.
#pragma once

#include "render/pdev.h"
#include "render/pdl_sink.h"
#include "win/types.h"

namespace morva::gfx {

// DocumentStateWord
inline constexpr DWORD kDocOpen = 0x1;
inline constexpr DWORD kDocOutputBegun = 0x2;
inline constexpr DWORD kDocSheetOpen = 0x4;
inline constexpr DWORD kDocPageOpen = 0x8;
inline constexpr DWORD kDocReset = 0x40;
inline constexpr DWORD kDocDrawn = 0x80;
inline constexpr DWORD kDocAborted = 0x8000;

// Geometry of the current page and sheet in device dots.
struct PageState {
  LONG page_width, page_height;
  LONG sheet_width, sheet_height;
  DWORD orientation;  // 1 portrait, 2 landscape
  WORD paper_code;    // the PDL media code; 0x51 for a size of its own
  float width_mm, height_mm;
};

// The decisions taken once per document from its settings.
struct JobSettings {
  DWORD pdl_version;
  DWORD colour;        // 1 when the job prints in colour
  DWORD store_mode;
  DWORD cells;         // logical pages per sheet
  DWORD duplex;        // 1 one-sided, 2 and 3 two-sided
  DWORD quality;
};

struct DocumentControl {
  DWORD state;
  WORD sheet_count;
  WORD logical_pages;
  WORD cells_on_sheet;
  WORD sides_on_sheet;
  DWORD suppressed;
  DWORD comment_clock;
  DWORD keep_page_state;
  JobSettings job;
  PageState page;
  PageState saved_page;
  DWORD has_saved_page;
  WCHAR document_name[261];
  HANDLE printer;
  render::PdlSink* sink;  // in front of the spool stream, owned
  BYTE header_devmode[kDriverDevmodeBytes];
};

// The target PDL version: setting 8205 clamped to 0x01010501..0x01020018.
DWORD GetTargetPdlVersion(PDEV* pdev);
// Fills JobSettings and PageState from the PDEV's settings and paper.
void FillJobSettings(PDEV* pdev, JobSettings* job);
void FillPageGeometry(PDEV* pdev, PageState* page);

INT BeginDocument(PDEV* pdev, HANDLE printer);
INT OpenDocumentOutput(PDEV* pdev, LPCWSTR document_name);
INT InitJobMonitorContext(PDEV* pdev, DWORD job_id);
INT EnsurePageStarted(PDEV* pdev);
INT EndPage(PDEV* pdev);
INT EndDocument(PDEV* pdev);
INT AbortDocument(PDEV* pdev);
void EndDocumentCleanup(PDEV* pdev);
BOOL IsJobOutputBegun(const PDEV* pdev);
BOOL IsDocumentAborted(const PDEV* pdev);
BOOL IsLogicalPageOpen(const PDEV* pdev);
// Output suppression set by private escape; refused (FALSE, flag unchanged)
// while a logical page is open or without a document.
BOOL SetOutputSuppression(PDEV* pdev, DWORD on);
// The keep-page-state flag: page ends put the page geometry saved at the
// job start back, so later pages keep it.
BOOL SetKeepPageState(PDEV* pdev, DWORD on);

// Job framing.
INT WriteJobStart(PDEV* pdev, UINT copy);
INT WriteJobEnd(PDEV* pdev);
INT WritePdlVersionHeader(PDEV* pdev);
// Comment events: 1 StartPage, 2 EndPage of Physical, 3 EndPage of Logical,
// 4 EndJob, 6 EndJob without EndPage, 7 EndJob with left Nup, 8 skip backface.
INT WriteEventComment(PDEV* pdev, int event);
// Flags: 0x1 resets the clock, 0x2 adds the elapsed part, 0x4 the time and
// the document and port part.
INT WritePdlComment(PDEV* pdev, LPCWSTR text, DWORD flags);

// Sends the images queued for the page (render/images.cpp); 0 or -1.
INT FlushQueuedImages(PDEV* pdev, BOOL page_end);
// Later pieces of the job path, each answering "nothing to do" until it is
// built: page recording, fax destinations, the render plug-in and device
// fonts.
BOOL IsPageRecordingNeeded(PDEV* pdev);
BOOL IsFaxPerDestination(PDEV* pdev);
BOOL IsRenderPluginOn(PDEV* pdev);
INT PlayRecordedPages(PDEV* pdev);
void ResetDeviceFontPageState(PDEV* pdev);

}  // namespace morva::gfx
