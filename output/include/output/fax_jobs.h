// Fax jobs of a fax device: the destination list the interface library
// sends, the cover page of a destination, and one job per destination
// (the first in the engine's own spooler job, the others as raw jobs named
// like the document), each repeating the recorded pages.
#pragma once

#include <vector>

#include "fax/fax_cover_sheet.h"
#include "output/job_settings.h"
#include "render/pdev.h"
#include "win/types.h"

namespace morva::gfx {

struct FaxJobSettings {
  DWORD fax_device;       // the device class is fax
  DWORD cover_only;       // setting 381: the job has no pages of its own
  DWORD cover_on;         // setting 376
  DWORD cover_kind;       // 0 off; 2 the document name (setting 377); 1 the cover file
  WORD count;             // setting 380
  DWORD per_destination;  // one job per destination
};

INT ReadFaxJobSettings(PDEV* pdev, FaxJobSettings* out);
// At a PDEV reset before the job output began: the fax job's own settings
// (the settings and address files, the cover, the destination count and
// cover only) go from the old settings copy to the new one, so that a
// DEVMODE changed within the document keeps the fax job it belongs to.
void CarryOverJobFileSettings(void* new_settings, void* old_settings, void* printer_data);
// A fax job of cover only (setting 381 on a fax device): its own pages are
// not printed and the cover page is its one logical page.
BOOL IsCoverOnlyFax(PDEV* pdev);
// A fax job with a cover page in the engine's own job (not one job per
// destination): the cover page for destination 0, written when the job
// output begins; 0 without a cover, else 0 or -1.
INT WriteJobCoverPage(PDEV* pdev);
// The paper of a cover sheet of its own: the database's paper 9 (size,
// printable area, centred offsets, margins) and its media code; -1 without
// that paper.
INT FillCoverGeometry(PDEV* pdev, PageGeometry* out, BYTE* media);
// At a fax document's end: the fax address file (setting 375) is deleted,
// never the fixed file the fax sheet shares.
void ForgetFaxAddressFile(PDEV* pdev);
// Receives the destination list (a "DFAX002" block) of the fax-address
// escape: 0 kept, -1 refused (the old list is then forgotten); 0 with
// nothing kept on a device that is no fax device.
INT ReplaceFaxJobContext(PDEV* pdev, const BYTE* block, DWORD size);
// The destination, subject and comment of destination `index`; -1 when the
// list has no such destination.
INT GetFaxDestinationRecord(PDEV* pdev, WORD index, fax::CoverSheetDestination* out);
// The cover page of one destination as a sheet of its own; 0 or -1.
INT WriteCoverPage(PDEV* pdev, const fax::CoverSheetDestination& destination);
// The document end of a job sent once per destination; 0 or -1 (a failed
// destination does not stop the others, but fails the document).
INT SendPerDestinationJobs(PDEV* pdev);
// The cover file (driver folder + the name of global field 28) copied into
// the job; -1 when it is missing.
INT WriteCoverFile(PDEV* pdev);

}  // namespace morva::gfx
