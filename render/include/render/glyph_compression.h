// The document's binding of the outside compression library: loaded when
// the document output opens (unless the render plug-in draws the sheets or
// the target PDL is older than 0x01010801) and held in two slots: glyph
// bitmaps use the first, from PDL version 0x01010801; images the second,
// from 0x01010901.
#pragma once

#include "render/compression_plugin.h"
#include "render/pdev.h"

namespace morva::gfx {

// Binds the library named by database string 5 in the driver's folder. A
// library that cannot be bound leaves both slots empty; never an error.
void BindDocumentCompression(PDEV* pdev);
void UnbindDocumentCompression(PDEV* pdev);
// The binding of a slot (0 glyphs, 1 images), or null.
const render::CompressPlugin* DocumentCompressor(PDEV* pdev, int slot);
inline const render::CompressPlugin* DocumentGlyphCompressor(PDEV* pdev) { return DocumentCompressor(pdev, 0); }

}  // namespace morva::gfx
