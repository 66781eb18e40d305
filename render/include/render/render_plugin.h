// The render plug-in: an outside component (a library named by database
// string 14, in the driver's folder) that turns one sheet written as PDL
// into a side file into raster data; the sheet is then sent as a page that
// holds that raster as one image. Absent unless the settings switch it on.
#pragma once

#include <cstdint>

#include "output/recorded_pages.h"
#include "render/pdev.h"
#include "win/types.h"

namespace morva::gfx {

// The entry point "_callHB@28": side file, output file (ANSI paths), the
// three parameter blocks, the work area and the parameter file's path.
// Non-zero when the output file holds the sheet's raster.
using RenderPluginEntry = INT (*)(const char* side_path, const char* output_path, void* block1, void* block2,
                                  void* block3, void* work, const char* parameter_path);

inline constexpr DWORD kRenderBlock1Bytes = 236;
inline constexpr DWORD kRenderBlock2Bytes = 540;
inline constexpr DWORD kRenderWorkBytes = 14380;
inline constexpr DWORD kRenderBlock3Bytes = 296;
inline constexpr BYTE kRenderPaperCode = 0x51;

// Loads the plug-in at the document end: 0 loaded, or nothing to load
// without a database; -1 (nothing kept) for a missing library, entry
// point, parameter or paper.
INT LoadRenderPlugin(PDEV* pdev);
void UnloadRenderPlugin(PDEV* pdev);
// The parameter blocks as the plug-in gets them (null before a load).
const BYTE* RenderPluginBlock(PDEV* pdev, int which);

// Playback hooks: an ordinary page (kind 2) begins in a side file; at its
// end the plug-in renders it and the raster goes out as the page. A page
// of another kind (blank banner or separator) is played as PDL.
BOOL IsRenderPageOpen(PDEV* pdev);
// A replayed page transform (to 1/72 inch, y up) made one to the device
// dots of the plug-in's page (y down from the sheet's top).
void ToRenderDeviceMatrix(PDEV* pdev, float m[6]);
INT RenderPageBegin(PDEV* pdev, const PageBeginRecord& begin, BYTE colour, BYTE source);
INT RenderPageEnd(PDEV* pdev);

}  // namespace morva::gfx
