// Item handlers of the pages' picture controls.
#pragma once

#include "win/types.h"

struct ControlEvent;
struct ControlRecord;

// The built-in pictures of a page: the device picture with its installed
// options (controls 1187 and 1310). Other records are left alone.
INT PicturePageHandler(ControlEvent* event, UINT message, WPARAM wParam, LPARAM lParam, const ControlRecord* record,
                       const void* kind_data);
