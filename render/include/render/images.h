// Images and brushes: the engine's source bitmaps become stencils ("Cp")
// or images ("Cq") in RGB, grey or indexed form, after colour
// classification, optional resolution reduction and quarter turn, and
// compression; brushes become a solid colour, a hatch, a monochrome
// pattern or a colour pattern. The per-document state (the image temp
// file, the requested compression, the colour class, the page colour set,
// the flip buffer, the image queue and the colour context) lives in one
// ImageDocument hung on the PDEV.
#pragma once

#include "render/pdev.h"
#include "render/page_colour_set.h"
#include "win/ddi.h"

namespace morva::gfx {

struct ImageDocument;
struct ColourContext;

// The colour class of the last classified image.
inline constexpr DWORD kColourClassColour = 1;
inline constexpr DWORD kColourClassGrey = 2;
inline constexpr DWORD kColourClassNearGrey = 3;
inline constexpr DWORD kColourClassNone = 4;

// Opened with the document output, closed at its end (the image temp file
// is deleted then). 0 or -1.
INT OpenImageDocument(PDEV* pdev);
void CloseImageDocument(PDEV* pdev);
// At every logical page start: classification starts again (the page
// colour and the page colour set at the first page of a sheet), and the
// page decides whether its images are turned.
void BeginImagePage(PDEV* pdev);
// 1 when the page's paper runs through the printer in the other direction
// than its layout needs (the job's tray feed words against the page's
// orientation and layout), so that its images go out turned.
DWORD ShouldTurnImages(PDEV* pdev);
// The page colour set stops counting: the page is taken as colour.
void DisablePageColourSet(PDEV* pdev);

// Image operators for a blt with a source. rop_kind 2 takes the low byte of
// the raster operation, 3 (with a mask) the whole of it. 1 or 0.
BOOL RenderImage(PDEV* pdev, CLIPOBJ* pco, SURFOBJ* psoSrc, SURFOBJ* psoMask, LONG src_width, LONG src_height,
                 POINTL src_origin, POINTL mask_origin, const RECTL* prclDst, const RECTL& dst, XLATEOBJ* pxlo,
                 BRUSHOBJ* pbo, const POINTL* brush_origin, BYTE rop_kind, DWORD rop_code);

// The brush of target 1 (pen) or 2 (fill) under a raster operation (none
// written for kBrushRopNotGiven): 1 or 0.
inline constexpr ROP4 kBrushRopNotGiven = 0xFFFFFFFF;
BOOL SetBrush(PDEV* pdev, BYTE target, const POINTL* brush_origin, BRUSHOBJ* pbo, ROP4 rop4);

// A single colour (0x00RRGGBB) as the printer gets it, after the page
// colour detection: colour space 3 with one grey byte, or 4 with the
// packed RGB; 0 or -1. Object kind 0 is the
// colour of an image (a stencil's paint), 1 line art and text.
INT ConvertSolidColour(PDEV* pdev, DWORD rgb, BYTE* space, DWORD* packed, DWORD object_kind = 1);

// The page colour detection of one colour (text, pens, brushes): a colour
// that is not grey marks the page as colour while its colour is still
// open, and the colour joins the page colour set. 0, or -1.
INT DetectSolidColour(PDEV* pdev, DWORD rgb);
// The text colour as the printer gets it: detected for the page colour;
// while output is suppressed (stamps, headers) it goes out as RGB as it
// stands, else converted as line art and text. 0 or -1.
INT ConvertTextColour(PDEV* pdev, DWORD rgb, BYTE* space, DWORD* packed);

// 1 when the pixels are grey within the tolerance of classification.
bool IsNearGrey(BYTE r, BYTE g, BYTE b);
// Classifies image data (format 4 RGB at 24 bits, or 11 indexed at 1, 4
// or 8 bits with an RGB palette) into *class_word; 0, or -1 when the data
// cannot be classified. `exact` asks for r = g = b.
INT ClassifyImageColour(DWORD* class_word, render::PageColourSet* set, bool exact, const BYTE* pixels, DWORD width,
                        DWORD height, const BYTE* palette, DWORD entries, BYTE format, DWORD bits);

// The document's state (test view).
ImageDocument* ImageDocumentOf(PDEV* pdev);
DWORD ImageColourClass(PDEV* pdev);
const render::PageColourSet* PageColourSetOf(PDEV* pdev);
// TRUE once an image of the current page was found to be in colour.
BOOL IsImagePageColour(PDEV* pdev);
// The page's image turn switch (set by page control).
void SetImageTurn(PDEV* pdev, BOOL on);

}  // namespace morva::gfx
