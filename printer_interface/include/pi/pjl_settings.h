// Setting reads shared by the header framework and the job-attribute
// writers, with the header's result codes.
#pragma once

#include "pi/pjl_header.h"
#include "settings/items/item_access.h"

struct PjlSetting {
  WORD type = 0;
  DWORD size = 0;
  ItemValue value{};
};

// 0, or -410 (no such setting) / -210 (unreadable).
INT PjlReadSetting(void* settings, void* printer_data, WORD ddmid, PjlSetting* out);
// A scalar setting as a number by its type; 0 or a negative code.
INT PjlReadNumber(void* settings, void* printer_data, WORD ddmid, LONG* value);

// The block at the JOBATTR marker: the @BKTP slot when due (with its line
// end), the JOBATTR lines when the request asks for them and, on a fax
// device, the fax attribute lines. 0 or a negative code.
INT WritePjlJobAttrBlock(PjlHeaderContext* context, PjlOutput* out, const WCHAR* line_end);
