// The graphics driver's escape receiver: DrvEscape's standard escapes, the
// private protocol of outside programs (0x1071, 0x1073, 0x1074, 0x1078) and
// every private escape the printer-interface library sends on the DC (the
// codes of pi/private_escapes.h). What the interface library pushes is kept
// per PDEV in an EscapeReceiver, carried to the new PDEV by a ResetDC.
#pragma once

#include <string>
#include <vector>

#include "render/pdev.h"
#include "win/types.h"

namespace morva::gfx {

struct EscapeReceiver;

// The received PJL header of copy `copy` (0-based; the last header serves
// later copies) with the offset of its booklet-count slot (0 for none).
// FALSE when the interface library sent no header set.
BOOL GetReceivedPjlHeader(PDEV* pdev, UINT copy, std::string* text, DWORD* bktp_offset);

// The paper the interface library named for the next page (0x5010):
// paper id and the four margins. FALSE when none was sent.
BOOL GetReceivedPagePaper(PDEV* pdev, WORD* paper_id, WORD margins[4]);

// The fax destination list (a "DFAX002" block) the interface library sent,
// or null; KeepFaxAddresses replaces it (null block: forgets it).
const std::vector<BYTE>* GetReceivedFaxAddresses(PDEV* pdev);
BOOL KeepFaxAddresses(PDEV* pdev, const BYTE* block, DWORD size);

// The DrvEscape worker.
ULONG ReceiveEscape(SURFOBJ* pso, ULONG code, ULONG in_size, PVOID in, ULONG out_size, PVOID out);

// The receiver's state moves to the PDEV that a ResetDC puts in place.
void CarryEscapeReceiver(PDEV* old_pdev, PDEV* new_pdev);
// Frees the PDEV's receiver state (PDEV disable).
void FreeEscapeReceiver(PDEV* pdev);

}  // namespace morva::gfx
