// Document and page control under the driver's document and page entries:
// when the job output begins, when sheets and logical pages open and close,
// the comment events that mark them, abort, and the job's framing (PJL
// header, version lines, identification comments, job end and trailer).
// Every call answers 0 or -1.
#pragma once

#include "output/recorded_pages.h"
#include "render/pdev.h"
#include "output/job_settings.h"
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

struct DocumentControl {
  DWORD state;
  DWORD page_record_word;
  DWORD page_colour_mode;  // 0 undecided, 1 monochrome, 2 colour, 3 as set
  WORD sheet_count;
  WORD sheet_number;
  WORD logical_pages;
  WORD cells_on_sheet;
  WORD sides_on_sheet;  // printed sides of the open two-sided sheet
  DWORD suppressed;
  DWORD suppression_data;
  DWORD comment_clock;
  DWORD second_suppressed;
  DWORD nonstandard_paper;
  WORD page_begin_colour;
  WORD page_source;
  WORD first_source;  // the first page's source, for booklet and N-up jobs
  WORD printed_sides;  // counter of printed sides, from 1
  DWORD sheet_orientation;
  DWORD duplex_value;  // per-page duplex: 0 none yet, 1 one-sided, 2 two-sided
  WORD sheet_paper_code;  // the sheet's paper at the last sheet start
  WORD sheet_width, sheet_height;
  DWORD keep_page_state;
  DWORD page_option;
  JobSettings job;
  PageState page;
  PageState saved_page;
  DWORD has_saved_page;
  WCHAR document_name[261];
  HANDLE printer;
  PDEV* owner;            // the PDEV that holds the document now
  render::PdlSink* sink;  // in front of the spool stream, owned
  BYTE header_devmode[kDriverDevmodeBytes];
  // Page recording, playback and N-up placement (output/recorded_pages.h).
  RecordingControl rec;
  // The job-monitor registration of the job being written
  // (output/job_monitor_jobs.h).
  DWORD monitor_job_id;
  void* monitor_client;
  void* render_plugin;  // the loaded render plug-in (render/render_plugin.h)
  // The outside compression library and the slots it serves
  // (render/glyph_compression.h).
  void* compression;
  DWORD compression_slots;
};

INT BeginDocument(PDEV* pdev, HANDLE printer);
INT OpenDocumentOutput(PDEV* pdev, LPCWSTR document_name);
INT InitJobMonitorContext(PDEV* pdev, DWORD job_id);
INT EnsurePageStarted(PDEV* pdev);
INT EndPage(PDEV* pdev);
INT EndDocument(PDEV* pdev);
INT AbortDocument(PDEV* pdev);
// Hands what the operator layer holds to the spool stream.
INT DrainDocumentSink(PDEV* pdev);
void EndDocumentCleanup(PDEV* pdev);
BOOL IsJobOutputBegun(const PDEV* pdev);
BOOL IsDocumentAborted(const PDEV* pdev);
BOOL IsLogicalPageOpen(const PDEV* pdev);
// Output suppression set by private escape: only while a sheet is open.
// Switching it on without a suppression mode or print header is refused
// (-1) and leaves the flag as it was. `second` is the second flag.
INT SetOutputSuppression(PDEV* pdev, DWORD on, DWORD second = 0);
BOOL IsOutputSuppressed(PDEV* pdev);
BOOL IsObjectOutputSuppressed(PDEV* pdev);
DWORD GetSuppressionData(PDEV* pdev);
// The keep-page-state flag: page ends put the page geometry saved at the
// job start back, so later pages keep it.
BOOL SetKeepPageState(PDEV* pdev, DWORD on);
// Colour mode of the next pages: 0-3; -1 for any other value.
INT SetPageColourMode(PDEV* pdev, DWORD mode);
// The page's colour mode is decided (a colour image on an undecided page
// decides it as colour).
BOOL IsPageColourKnown(PDEV* pdev);
// A page is being drawn and its colour is still open.
BOOL NeedsPageColourCheck(PDEV* pdev);
// The page is a colour page.
INT MarkPageColour(PDEV* pdev);
// Refused (-1) when the new PDEV's document is aborted, or the old one's is
// aborted or has a logical page open; otherwise marks the reset.
INT MarkPdevReset(PDEV* old_pdev, PDEV* new_pdev);
// With full set or the annotation on the page cache is forgotten too.
INT ResetWriterForPage(PDEV* pdev, BOOL full);

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
