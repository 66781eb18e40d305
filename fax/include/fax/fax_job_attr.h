// The job-attribute line that tells the device one direct-fax destination:
// numbered items encoded from the destination and the job's line settings,
// behind the attribute name the caller chooses.
#pragma once

#include "fax/fax_destination.h"
#include "win/types.h"

namespace morva::fax {

// The job's line settings, in the order the job header reads them.
struct FaxLineSettings {
  WORD Word4111;                 // carried, not read here
  WCHAR OutsideLinePrefix[6];    // put before the number of a Line 2 entry
  WORD OutsideLineDial;
  WCHAR ExtensionPrefix[6];      // put before the number of a Line 1 entry
  WORD ExtensionDial;
  WORD DirectDial;
  WORD Word4142;                 // carried, not read here
};

// Attribute kinds: 1 "@FANU=", 2 "@FAEN=", 5 "@SFEN=", any other "@SFNU=";
// kinds 2 and 5 send the passwords in their protected form.
//
// Without `buffer`: 1 and *length = the counted item length (a size
// query). With it: 1 and *length = the bytes of the line written (one
// zero-terminated ANSI line ending in CR LF, framed as a PJL JOBATTR
// command with `with_pjl`), or 0 with *length 0 when `capacity` is not
// larger than the line. A length limit reached gives 0 with *length -1;
// any other failure 0 (nothing stored without destination, settings or
// length).
BOOL BuildFaxJobAttr(DWORD kind, const FaxDestination* destination, const FaxLineSettings* settings,
                     DWORD capacity, BOOL with_pjl, void* reserved, LPSTR buffer, LONG* length, BYTE card_type);

}  // namespace morva::fax
