// The layer tables of the print-settings preview: for every layer, the
// bitmap to draw for each index the settings give, and where to draw it.
// Plain data with no dependencies, so the bitmap generator of the resource
// module reads the same rows the preview does.
#pragma once

#include <cstddef>
#include <cstdint>

// One row of a layer table. Offsets are pixels from the top-left corner of
// the preview control. The source flag names the module the bitmap comes
// from: 1 and 3 the module handed to the builder, others the resource
// module (the preview control hands the resource module, so all are one).
// Rows with bitmap 0 draw nothing and have flag 0.
struct PreviewLayerEntry {
  std::uint32_t bitmap;
  std::uint8_t x;
  std::uint8_t y;
  std::uint8_t flag;
  std::uint8_t unused;
};
static_assert(sizeof(PreviewLayerEntry) == 8);

enum class PreviewLayer : int {
  kA1Sheet,
  kA2OnePage,
  kA2TwoPages,
  kA2FourToSixteen,
  kA2ThirtyTwo,
  kA3OnePage,
  kA3Others,
  kA4ThirtyTwoExtra,
  kA5OnePage,
  kA5Others,
  kA6OnePage,
  kA6Others,
  kA7Binding,
  kA8Staple,
  kA9Punch,
  kB1LayoutSheet,
  kB2LayoutOverlay,
  kB3WideLayout,
  kC1,
  kC2,
  kC3,
  kC4,
  kC5,
  kC6,
  kK1,
  kK2,
  kK3,
  kK3Masked,
  kK4,
  kK5,
  kK6,
  kCount
};
inline constexpr int kPreviewLayerCount = static_cast<int>(PreviewLayer::kCount);

struct PreviewLayerTable {
  const char* name;
  const PreviewLayerEntry* rows;
  std::size_t count;
};

const PreviewLayerTable& GetPreviewLayerTable(PreviewLayer layer);

// Geometry shared by the tables and the bitmaps drawn for them.
namespace preview_geometry {
inline constexpr int kControlWidth = 200;
inline constexpr int kControlHeight = 130;
// The sheet (A1) and its page area (A2) for a portrait and a landscape sheet.
struct Box {
  int x, y, width, height;
};
inline constexpr Box kSheetPortrait{95, 15, 72, 100};
inline constexpr Box kSheetLandscape{87, 27, 100, 76};
inline constexpr Box kPagesPortrait{104, 24, 54, 82};
inline constexpr Box kPagesLandscape{96, 36, 82, 58};
inline constexpr int kIconSize = 32;
}  // namespace preview_geometry
