// The colour corrections of one document, as its settings ask for them:
// adjustment matrices, grey gain and offset, a colour-temperature preset
// and up to two ICC profiles. Images and brushes (and text) pass their
// colours through it; a named profile that cannot be used is reported to
// the user, who may print without it.
#pragma once

#include <vector>

#include "render/icc_transform.h"
#include "render/pdev.h"
#include "settings/devmode/placement_colour.h"

namespace morva::gfx {

// Correction bits: which parts the settings ask for (a bit stays set
// while its part is missing).
inline constexpr WORD kCorrectMatrixA = 0x1;
inline constexpr WORD kCorrectGainA = 0x2;
inline constexpr WORD kCorrectMatrixB = 0x4;
inline constexpr WORD kCorrectGainB = 0x8;
inline constexpr WORD kCorrectMatrixC = 0x10;
inline constexpr WORD kCorrectMatrixCommon = 0x20;
inline constexpr WORD kCorrectGainCommon = 0x40;
inline constexpr WORD kCorrectPreset = 0x80;
inline constexpr WORD kCorrectProfile1 = 0x100;
inline constexpr WORD kCorrectProfile2 = 0x200;
inline constexpr WORD kCorrectLibrary = 0x400;

// Image plan bits.
inline constexpr WORD kPlanMatrixC = 0x2;
inline constexpr WORD kPlanFirst = 0x8;
inline constexpr WORD kPlanSecondBefore = 0x10;
inline constexpr WORD kPlanInvertedGrey = 0x20;
inline constexpr WORD kPlanSecondAfter = 0x40;
inline constexpr WORD kPlanLibrary = 0x100;

// The settings the context is built from, as the job sees them.
struct ColourSettings {
  LONG colour_mode;                   // 270: 1 monochrome
  LONG per_object;                    // 1314
  LONG sets_on;                       // 273
  LONG set_a[3], set_b[3], set_c[3];  // brightness, saturation, contrast
  LONG common[3];
  LONG gain_a, gain_b;                // 1326, 1327
  LONG correction_kind;               // 286: 1 preset, 2 profiles
  LONG temperature, tone;             // 287, 288
  LONG profile1_on;                   // 1303
  LONG profile2_on, profile2_same;    // 1304, 1305
  std::u16string profile1_path, profile2_path;  // 1832, 1833
  LONG library_parameter;             // 291
  LONG single_colour_parts;           // 454
  LONG grey_choice;                   // 455
  LONG same_depth_batches;            // 1862 (low byte): equal depths make one batch
  // The outside colour-conversion library and the file it loads (from the
  // driver directory and the device database).
  std::u16string library_path;
  std::string library_data_path;
};

// The entry points of the outside colour-conversion library. Every call
// but the first answers 0 for success; KPE_CreateParam_End32 answers 1
// when the batch needs no conversion.
using KpeLoad = HANDLE (*)(LPCSTR data_path);
using KpeFree = INT (*)(HANDLE handle);
using KpeBegin = INT (*)(HANDLE handle, BYTE parameter);
using KpeParam = INT (*)(HANDLE handle, const BYTE* rgb, DWORD width, DWORD rows);
using KpeEnd = INT (*)(HANDLE handle);
using KpeDelete = INT (*)(HANDLE handle);
using KpeConvert = INT (*)(HANDLE handle, const BYTE* source, BYTE* destination, DWORD width, DWORD rows);

struct ColourLibrary {
  HMODULE module;
  HANDLE handle;  // from KPE_LoadKPE32; 0 leaves the library off
  KpeLoad load;
  KpeFree free;
  KpeBegin begin;
  KpeParam param;
  KpeEnd end;
  KpeDelete remove;
  KpeConvert convert;
};

// The batch the outside library analyses at once: the bands of one
// picture share their width or their height. A 0 in cw or ch marks a
// dimension that no longer has to match.
struct ImageBatchState {
  DWORD bits;
  DWORD w0, h0;
  DWORD cw, ch;
};
inline constexpr int kBatchNone = 0;      // the image goes without the library
inline constexpr int kBatchNew = 1;       // queued images go first, then a new batch
inline constexpr int kBatchContinue = 2;  // the batch goes on
int ImageBatchDecision(ImageBatchState* state, DWORD bits, DWORD width, DWORD height, DWORD source_kind, DWORD rop,
                       bool same_depth_continues);

struct ColourContext {
  WORD correction;
  WORD plan;
  ColourSettings settings;
  render::IccTransform transforms[2];
  const render::IccTransform* first;    // the preset or the first profile
  const render::IccTransform* profile1;
  const render::IccTransform* profile2;
  ColorAdjustMatrix matrices[3];
  const ColorAdjustMatrix* matrix_a;
  const ColorAdjustMatrix* matrix_b;
  const ColorAdjustMatrix* matrix_c;
  render::GainOffset gains[2];
  const render::GainOffset* gain_a;
  const render::GainOffset* gain_b;
  ColourLibrary library;
};

// The correction bits the settings ask for.
WORD BuildColourParams(const ColourSettings& s);
// Reads the settings through the PDEV (render/images.cpp).
void ReadColourSettings(PDEV* pdev, ColourSettings* out);

// 0; -1 arguments, -2 memory, -3 first profile refused by the user, -4
// second profile refused. On an error the context is destroyed and *out
// cleared. A profile that cannot be loaded is reported by a message box:
// OK goes on without that correction, Cancel keeps the error.
// ColourContext_Create reads the PDEV's settings (render/images.cpp).
INT ColourContext_Create(ColourContext** out, PDEV* pdev);
INT ColourContext_CreateFrom(ColourContext** out, const ColourSettings& settings, HMODULE resources);
INT ColourContext_Destroy(ColourContext** context);

// Converts rows of RGB pixels (red first) of a single colour or small data
// (line art, text, brushes): 1 RGB in dst (3 bytes a pixel), 2 grey (one
// byte a pixel); -1 bad arguments, -5 sizes above 0xFFFF. A missing
// context copies the pixels and answers 1.
INT ColourContext_ConvertRgb(const ColourContext* context, PDEV* pdev, const BYTE* src, BYTE* dst, DWORD width,
                             DWORD rows);
// The object a single colour belongs to: the colours of images (the
// stencil's paint) take adjustment set A and gain/offset A, line art and
// text set B.
inline constexpr DWORD kColourObjectImage = 0;
inline constexpr DWORD kColourObjectLineArt = 1;
// ColourContext_ConvertRgb for either object kind: grey eligibility from
// setting 455 (images 1 or 3, line art 2 or 3, never in monochrome), the
// white-or-black switch from 454 (images 1 or 3, line art 2 or 3). Another
// kind answers -1.
INT ColourContext_ConvertColour(const ColourContext* context, PDEV* pdev, const BYTE* src, BYTE* dst, DWORD width,
                                DWORD rows, DWORD object_kind);
// The plan for the next image; with the library loaded the batch decision
// is taken: *flush_first asks for the queued images to be sent first. The
// library bit (kPlanLibrary) of the plan means the image is queued.
WORD PrepareImageConversion(ColourContext* context, ImageBatchState* batch, DWORD bits, DWORD width, DWORD height,
                            DWORD source_kind, DWORD rop, bool* flush_first);
// 4 while the library is on for the current image, else 3.
INT ImageColourSpace(const ColourContext* context);

// One queued image's RGB data (3 bytes a pixel, red first).
struct QueuedImageData {
  std::vector<BYTE>* data;
  DWORD width, rows;
};
// Converts a page's queued images as one batch: the first transform and
// the second profile before the library, then the library's analysis of
// every image, its conversion of each, the second profile after it and
// matrix C. 0; -2 memory, -6 the library failed.
INT ColourContext_ConvertQueuedImages(ColourContext* context, std::vector<QueuedImageData>& images, BOOL use_library);

// Converts an image's data (format 4, RGB) or palette (format 11) in
// place: 1 unchanged form, 2 grey (one byte a pixel, or one byte a palette
// entry), negative on failure. An image that is not a plain copy whose
// palette is all black and white gets a grey palette.
INT ColourContext_ConvertImage(const ColourContext* context, PDEV* pdev, std::vector<BYTE>* data,
                               std::vector<BYTE>* palette, BYTE format, DWORD width, DWORD height, bool plain_copy);
// True when ColourContext_ConvertImage leaves RGB image data as it is, so
// that an image may be coded straight from its source.
bool ColourContext_KeepsRgbImages(const ColourContext* context);
// True when RGB image data comes out as one (inverted) grey byte a pixel.
bool ColourContext_RgbImagesBecomeGrey(const ColourContext* context);
// Converts a band of RGB image pixels (red first) in place, as
// ColourContext_ConvertImage converts RGB data: 1 RGB, 2 grey (one byte a
// pixel at the start of the band), -1 without pixels.
INT ColourContext_ConvertImageBand(const ColourContext* context, BYTE* rgb, DWORD pixels);

}  // namespace morva::gfx
