// The settings each paper source (tray) has of its own: for a source value,
// its copies of settings 1743, 1744, 1741 and 5055, and the two settings
// shown as the size of choice 275 of its first setting.
#pragma once

#include "win/types.h"

inline constexpr int kPaperSourceRows = 20;
inline constexpr int kPaperSourceIds = 6;

// 1 with the six ids of the source; 0 when the source has none or `ids` is
// null.
BOOL GetSourceSettingIds(WORD source, WORD* ids);
// 1 with ids 5 and 6 of the source whose id 1 is `first_id`; 0 when no
// source has it or an output is null.
BOOL GetSourceSizeSettingIds(WORD first_id, WORD* width_id, WORD* length_id);
