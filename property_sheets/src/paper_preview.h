// The paper page's layout preview (kept apart from the engine's header,
// whose private message names the picture controls name as well).
#pragma once

#include "win/types.h"

namespace document_pages {

// Makes picture control `control_id` a preview picture; paints it again.
void AttachPreviewPicture(HWND dialog, UINT control_id);
void RedrawPreviewPicture(HWND dialog, UINT control_id);

}  // namespace document_pages
