// The graphics library's own job texts: the job-information block of a
// document, collected page by page and written at the job end between the
// trailer's UEL and its end-of-job line.
#include "output/job_texts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "output/document_control.h"
#include "pi/job_info.h"

namespace morva::gfx {

namespace {

// The page's paper source as the device's input tray number.
UINT input_tray(LONG source) {
  switch (source) {
    case 7: return 0;
    case 1: case 272: return 1;
    case 3: case 271: return 2;
    case 2: case 261: return 3;
    case 257: case 262: return 4;
    case 4: case 260: return 5;
    case 265: return 201;
    case 266: return 202;
    case 267: return 203;
    default: return 32768;
  }
}

// Two-sided printing of the settings as the block's duplex code.
INT duplex_code(PDEV* pdev) {
  switch (PdevGetNumber(pdev, 16)) {
    case 2: return 1;
    case 3: return 2;
    default: return 0;
  }
}

}  // namespace

INT JobInfo_Open(PDEV* pdev) {
  if (!pdev->job_info) {
    pdev->job_info = JobInfo_Create(100, 100);
    if (!pdev->job_info) return -1;
  }
  JobInfo_SetLineEnd(pdev->job_info, FALSE);
  return 0;
}

void JobInfo_Close(PDEV* pdev) {
  JobInfo_Destroy(pdev->job_info);
  pdev->job_info = nullptr;
}

INT JobInfo_AddPageGroup(PDEV* pdev, BOOL by_dimensions) {
  JobInfoWriter* w = pdev->job_info;
  DocumentControl* d = pdev->document;
  if (!w || !d) return -1;
  if (d->job.store_mode && d->sheet_count > 0) return 0;
  if (!JobInfo_AddPageGroupRecord(w)) return -1;
  const int a = static_cast<int>(d->page.sheet.width);
  const int b = static_cast<int>(d->page.sheet.height);
  const int s = std::min(a, b), l = std::max(a, b);
  char size[32];
  std::snprintf(size, sizeof size, "%s%d.%dX%d.%d", by_dimensions ? "*" : "", s / 10, s % 10, l / 10, l % 10);
  size[15] = 0;
  JobInfo_SetPageSize(w, size);
  const INT mode = d->job.colour_mode == 2 ? 1 : 2;
  JobInfo_SetPageMode(w, mode);
  JobInfo_SetPageColors(w, 0);
  JobInfo_SetPageInTray(w, input_tray(PdevGetNumber(pdev, 13)));
  JobInfo_SetPageDuplex(w, duplex_code(pdev));
  return 0;
}

void JobInfo_FillJobItems(PDEV* pdev) {
  JobInfoWriter* w = pdev->job_info;
  DocumentControl* d = pdev->document;
  if (!w || !d) return;
  const DWORD v = d->job.pdl_version;
  char version[32];
  std::snprintf(version, sizeof version, "%u.%u.%u", (v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
  JobInfo_SetPdlType(w, 1, version);
  const bool fax = pdev->device_class_flag != 0;
  JobInfo_SetJobType(w, d->job.store_mode ? 3 : (fax && PdevGetNumber(pdev, 381) != 1) ? 1 : 0);
  JobInfo_SetStoredJobType(w, fax && PdevGetNumber(pdev, 1800) == 1 ? 3 : 0);
  const INT copies = pdev->copies > 0 ? pdev->copies : 1;
  const bool collate = PdevGetNumber(pdev, 18) == 1;
  JobInfo_SetJobCopies(w, collate ? copies : 1);
  JobInfo_SetPageCopies(w, collate ? 1 : copies);
  JobInfo_SetDuplexType(w, duplex_code(pdev));
  JobInfo_SetNup(w, static_cast<INT>(d->job.nup ? d->job.nup : 1));
  JobInfo_SetPoster(w, 1);
  JobInfo_SetBookletType(w, 0, 1);
  JobInfo_SetPageOrder(w, 0);
  JobInfo_SetSlipSheet(w, 0);
  JobInfo_SetTonerSave(w, PdevGetNumber(pdev, 1320) ? 1 : 0);
  JobInfo_SetLogicalPages(w, d->logical_pages);
  const UINT sides_per_sheet = d->job.duplex >= 2 ? 2 : 1;
  const UINT sheets = (d->sheet_count + sides_per_sheet - 1) / sides_per_sheet;
  JobInfo_SetEstimatedSheets(w, d->job.store_mode ? 0 : static_cast<UINT>(copies) * sheets);
}

INT JobInfo_WritePiece(PDEV* pdev, char* buffer, DWORD* more) {
  if (!pdev->job_info || !buffer || !more) return -1;
  WORD status = 0;
  return static_cast<INT>(JobInfo_WriteLines(pdev->job_info, buffer, kJobInfoPieceSize, more, &status));
}

}  // namespace morva::gfx
