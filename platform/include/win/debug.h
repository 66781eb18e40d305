// Debugger output. There is no debugger here: the text is dropped unless a
// test captures it.
#pragma once

#include <string>

#include "win/types.h"

extern "C" {
MORVA_WIN_API void OutputDebugStringW(LPCWSTR text);
MORVA_WIN_API void OutputDebugStringA(LPCSTR text);  // converted through CP_ACP
}

namespace morva::platform {
// Test hook: starts (true) or stops (false) recording debugger output; the
// record is emptied either way.
MORVA_WIN_API void capture_debug_output(bool on);
// Returns what was recorded since the last call and empties the record.
MORVA_WIN_API std::u16string take_debug_output();
}  // namespace morva::platform
