// Word breaking of multi-line edits: the procedure an edit asks where a
// line may break. It answers WB_LEFT and WB_RIGHT with the break position
// and WB_ISDELIMITER with TRUE or FALSE.
#pragma once

#include "win/types.h"

#define EM_SETWORDBREAKPROC 0x00D0
#define EM_GETWORDBREAKPROC 0x00D1
#define WB_LEFT 0
#define WB_RIGHT 1
#define WB_ISDELIMITER 2
using EDITWORDBREAKPROCW = INT (*)(LPWSTR text, INT position, INT length, INT action);
