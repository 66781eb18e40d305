// The graphics driver's record of one printer device context (PDEV), its
// call-state word, paper records and the services the entries share.
#pragma once

#include <cstddef>

#include "render/pdl_writer.h"
#include "settings/database/ddd_file.h"
#include "settings/database/ddd_records.h"
#include "win/ddi.h"
#include "win/types.h"

#ifndef ERROR_BAD_DRIVER_LEVEL
#define ERROR_BAD_DRIVER_LEVEL 119L
#endif

struct SpoolStream;
struct JobInfoWriter;

namespace morva::gfx {

inline constexpr DWORD kPdevSignature = 0x564B4D44;  // "VKMD"
inline constexpr std::size_t kDriverDevmodeBytes = 5988;
inline constexpr std::size_t kDcDevmodeBytes = 6012;
inline constexpr WORD kDcDevmodeExtra = 5792;
inline constexpr WORD kDriverDevmodeExtra = 1384;
inline constexpr WORD kDcTailMark = 24;
inline constexpr std::size_t kPrinterDataBytes = 7972;

// PdevFlags: the call state kept by the document and page entries.
inline constexpr DWORD kPdevDocStarted = 0x4;
inline constexpr DWORD kPdevDocFailed = 0x8;
inline constexpr DWORD kPdevPageBeforeOutput = 0x4000;
inline constexpr DWORD kPdevPageOpen = 0x8000;
inline constexpr DWORD kPdevCarriedOver = 0x100000;
inline constexpr DWORD kPdevSuperseded = 0x80000000;

// 12 bytes in the tail of the DC DEVMODE: margins in tenths of a millimetre.
struct DcPaperRecord {
  WORD paper_size;
  WORD paper_id;
  WORD left, right, top, bottom;
};
static_assert(sizeof(DcPaperRecord) == 12);

// Page or output-sheet geometry in 1/18432 inch.
struct PaperRecord {
  WCHAR form_name[48];
  LONG left, top, right, bottom;  // imageable area
  LONG width, height;
  DWORD rotated;
  DWORD custom;
  DddValue* paper;  // the database paper (kind 10) it was built from, owned
};

// Printable area in tenths of a millimetre.
struct PrintableArea {
  WORD width, height;            // printable
  WORD phys_width, phys_height;  // the sheet
  WORD left, top;                // offsets of the printable area
};

struct DocumentControl;
struct EscapeReceiver;
struct ImageDocument;

struct PDEV {
  DWORD signature;
  DWORD job_id;
  BYTE settings[kDriverDevmodeBytes];
  BYTE* printer_data;
  HANDLE heap;
  HANDLE printer;
  LONG logical_dpi;
  LONG copies;
  HDEV hdev;
  HSURF surface;
  HPALETTE palette;
  DWORD flags;
  PaperRecord page_paper;
  PaperRecord output_paper;
  DddHandle* database;
  DcPaperRecord margins[2];
  DWORD paper_list_mode;
  DWORD colour_enforced;
  DWORD device_class_flag;
  DWORD announced;
  DocumentControl* document;   // per-document objects (document control)
  PdlWriter* writer;           // the document's operator layer
  SpoolStream* stream;         // the document's spool stream
  // Page drawing state of the drawing core.
  DWORD clip_state;
  RECTL clip_rect;
  void* clip_path;
  std::size_t clip_path_bytes;
  ULONG clip_path_records;
  DWORD font_page_state[2];
  // Device fonts and font substitution (render/device_fonts.cpp).
  struct DeviceFontSet* device_fonts;
  BYTE snapshot[kDriverDevmodeBytes];
  // Escape receiver: what DrvEscape received for this DC (escape_receiver.cpp).
  EscapeReceiver* escapes;
  // Job texts: the document's job-information writer (job_texts.cpp).
  ::JobInfoWriter* job_info;
  // Images and brushes: the document's image state (images.h).
  ImageDocument* images;
  DWORD signature_end;
};

BOOL IsValidPdev(const PDEV* pdev);
PDEV* PdevOf(SURFOBJ* pso);

LONG PdevGetNumber(PDEV* pdev, WORD ddmid);
LONG PdevGetEffective(PDEV* pdev, WORD ddmid);
const WCHAR* PdevGetString(PDEV* pdev, WORD ddmid);
LONG PdevResolution(PDEV* pdev);

// Tenths of a millimetre to device dots, halves rounded up.
LONG MulDivHalfUp(LONG a, LONG b, LONG c);
BOOL ComputePrintableArea(PDEV* pdev, BOOL use_second_margins, PrintableArea* out);

}  // namespace morva::gfx
