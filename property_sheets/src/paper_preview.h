// The paper page's layout preview (kept apart from the engine's header,
// whose private message names the picture controls name as well).
#pragma once

#include "win/types.h"

struct ControlEvent;
struct ControlRecord;

namespace document_pages {

// Item handler of the preview control 1186: at WM_INITDIALOG it makes the
// preview window over the placeholder 3620 (or takes the template's own
// control) and gives it the preview picture and the summary icons; it
// paints the picture again and refreshes the icons whenever the page shows
// its settings again and on palette changes.
INT PreviewFrameHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                        const void* kind_data);

}  // namespace document_pages
