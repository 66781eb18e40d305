#include "output/placed_image.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "output/document_control.h"
#include "output/recorded_pages.h"
#include "render/drawing_core.h"
#include "render/pdl_operators.h"
#include "render/pdl_writer.h"
#include "win/endian.h"

namespace morva::gfx {

namespace {

constexpr DWORD kRopCopy = 0xCC0020;
constexpr DWORD kPaletteOperatorVersion = 0x101FFFF;

// An item of the block by its offset; null for 0 or an offset whose
// `need` bytes do not lie inside a block of known size.
const BYTE* item_at(const BYTE* block, DWORD block_size, DWORD offset, DWORD need) {
  if (offset == 0) return nullptr;
  if (block_size && (offset > block_size || need > block_size - offset)) return nullptr;
  return block + offset;
}

PlacedImageProgress* progress(PDEV* pdev) {
  return pdev && pdev->document ? &pdev->document->rec.placed : nullptr;
}

}  // namespace

INT FlushPendingDrawing(PDEV* pdev, const void*) { return FlushQueuedImages(pdev, TRUE) == 0 ? 1 : -1; }

INT SetPlacedImageRotation(float m[6], float sx, float sy, WORD rotation, float w, float h) {
  if (!m) return -1;
  switch (rotation) {
    case 0: m[0] = sx, m[1] = 0, m[2] = 0, m[3] = sy, m[4] = 0, m[5] = 0; return 0;
    case 90: m[0] = 0, m[1] = -sy, m[2] = sx, m[3] = 0, m[4] = 0, m[5] = h; return 0;
    case 180: m[0] = -sx, m[1] = 0, m[2] = 0, m[3] = -sy, m[4] = w, m[5] = h; return 0;
    case 270: m[0] = 0, m[1] = sy, m[2] = -sx, m[3] = 0, m[4] = w, m[5] = 0; return 0;
    default: return -1;
  }
}

INT EmitPlacedImage(PDEV* pdev, const BYTE* data, DWORD total, WORD rotation, const BYTE* desc, const BYTE* bmi) {
  if (!pdev || !pdev->writer || !pdev->document || !desc || !bmi || !data) return -1;
  render::PdlImageHeader h{};
  WORD dw = load_le16(desc + kDescWidth), dh = load_le16(desc + kDescHeight);
  WORD iw = load_le16(desc + kDescImageWidth), ih = load_le16(desc + kDescImageHeight);
  float sx = 1, sy = 1;
  if (dw && dh) {
    sx = static_cast<float>(iw) / static_cast<float>(dw);
    sy = static_cast<float>(ih) / static_cast<float>(dh);
  }
  h.x = static_cast<float>(static_cast<SHORT>(load_le16(desc + kDescX)));
  h.y = static_cast<float>(static_cast<SHORT>(load_le16(desc + kDescY)));
  h.width = iw;
  h.height = ih;
  h.mask_kind = 1;
  h.source_kind = 2;
  h.bits_per_component = 8;
  h.data_bytes = total;
  DWORD compression = load_le32(bmi + 16);
  WORD bits = load_le16(bmi + 14);
  std::vector<BYTE> palette;
  if (compression == 4) {
    h.method = 4;
    h.format = 5;
  } else if (compression == 5 && bits == 24) {
    h.method = 8;
    h.format = 4;
  } else if (compression == 5 && bits == 8) {
    h.method = 8;
    h.format = 11;
    DWORD used = load_le32(bmi + 32);
    std::size_t entries = used >= 1 && used <= 255 ? used : 256;
    // Entries as they stand in the colour table: blue, green, red.
    palette.resize(3 * entries);
    for (std::size_t i = 0; i < entries; ++i) std::memcpy(&palette[3 * i], bmi + 40 + 4 * i, 3);
    h.entry_bits = 8;
    h.entries = entries;
    h.palette_bytes = palette.size();
    h.palette = palette.data();
  } else {
    return -1;
  }
  if (SetPlacedImageRotation(h.matrix, sx, sy, rotation, iw, ih) != 0) return -1;
  render::PdlSink* sink = pdev->document->sink;
  if (h.format == 11 && pdev->document->job.pdl_version > kPaletteOperatorVersion) {
    if (render::Pdl_OpPalette(sink, 4, h.entry_bits, h.entries, h.palette_bytes, h.palette) != 0) return -1;
    h.format = 15;
    h.entry_bits = 0;
    h.entries = 0;
    h.palette_bytes = 0;
    h.palette = nullptr;
  }
  return render::Pdl_OpImage(sink, h);
}

INT RenderPlacedObject(PDEV* pdev, const BYTE* block, DWORD block_size) {
  PlacedImageProgress* p = progress(pdev);
  if (!p || !block || !pdev->writer) return -1;
  if (block_size && block_size < kXferHeaderBytes) return -1;
  DWORD size = load_le32(block + kXferBlockSize);
  if (size == 0) size = block_size;
  const BYTE* desc = item_at(block, size, load_le32(block + kXferDescription), kDescBytes);
  if (!desc) return -5;
  const BYTE* bmi = item_at(block, size, load_le32(desc + kDescBitmapInfo), 40);
  if (!bmi) return -5;
  WORD rotation = load_le16(block + kXferRotation);
  if (load_le16(desc + kDescZero1) != 0 || load_le16(desc + kDescZero2) != 0) return -5;
  if (static_cast<LONG>(load_le32(bmi + 4)) != load_le16(desc + kDescImageWidth) ||
      static_cast<LONG>(load_le32(bmi + 8)) != load_le16(desc + kDescImageHeight))
    return -5;
  if (rotation != 0 && rotation != 90 && rotation != 180 && rotation != 270) return -5;
  DWORD compression = load_le32(bmi + 16);
  if (compression != 4 && compression != 5) return -1;

  DWORD total = load_le32(block + kXferTotal);
  DWORD offset = load_le32(block + kXferPieceOffset);
  DWORD length = load_le32(block + kXferPieceLength);
  const BYTE* data = item_at(block, size, load_le32(desc + kDescData), length);
  if (offset == 0) {
    // A new image while the last one still waits for bytes: the last one
    // can never be completed.
    if (p->active && (p->received != p->total || p->failed)) p->failed = 1;
    if (p->failed) return -1;
    *p = PlacedImageProgress{1, total, 0, 0};
    const BYTE* clip = item_at(block, size, load_le32(block + kXferClip), 8);
    INT r = 0;
    if (clip) {
      CLIPOBJ co{};
      co.iDComplexity = DC_RECT;
      co.rclBounds = {static_cast<SHORT>(load_le16(clip)), static_cast<SHORT>(load_le16(clip + 2)),
                      static_cast<SHORT>(load_le16(clip + 4)), static_cast<SHORT>(load_le16(clip + 6))};
      ApplyClip(pdev, &co, nullptr);
    } else {
      ApplyClip(pdev, nullptr, nullptr);
      PrintableArea area{};
      if (!ComputePrintableArea(pdev, FALSE, &area)) {
        r = -1;
      } else {
        LONG res = PdevResolution(pdev);
        LONG w = static_cast<LONG>(std::trunc(area.width * static_cast<double>(res) / 254.0));
        LONG h = static_cast<LONG>(std::trunc(area.height * static_cast<double>(res) / 254.0));
        CLIPOBJ co{};
        co.iDComplexity = DC_RECT;
        co.rclBounds = {0, 0, w + 1, h + 1};
        ApplyClip(pdev, &co, nullptr);
      }
    }
    if (r == 0) r = PdlWriter_SetRasterOp(pdev->writer, 2, load_le32(desc + kDescRop) >> 16);
    if (r == 0) r = EmitPlacedImage(pdev, data, total, rotation, desc, bmi);
    if (r != 0) {
      p->failed = 1;
      return -1;
    }
  } else if (!p->active || p->failed || offset != p->received) {
    // A piece without its image, or out of its place in the data.
    p->failed = 1;
    return -1;
  }
  // The header announced `total` bytes: a piece that cannot be sent whole
  // or would go past that total breaks the image and the job with it.
  if (length > kPlacedPieceMax || !data || length > p->total - p->received) {
    p->failed = 1;
    return -1;
  }
  if (length && pdev->document->sink->Write(data, length) != static_cast<long>(length)) {
    p->failed = 1;
    return -1;
  }
  p->received += length;
  if (p->received == p->total) p->active = 0;
  return 0;
}

INT CheckPlacedImagesComplete(PDEV* pdev) {
  PlacedImageProgress* p = progress(pdev);
  if (!p) return -1;
  bool broken = p->failed || (p->active && p->received != p->total);
  *p = PlacedImageProgress{};
  return broken ? -1 : 0;
}

// ---- tile marks ----------------------------------------------------------------------

INT SetMarkPen(PDEV* pdev, LONG wx, LONG wy) {
  PdlWriter* w = pdev->writer;
  LONG r = PdevResolution(pdev) & 0xFFFF;
  PdlWriter_SetLineWidth(w, static_cast<float>((wx + wy + 1) / 2));
  PdlWriter_SetLineJoin(w, 2);
  PdlWriter_SetLineCap(w, 2);
  const float dash[2] = {static_cast<float>(r * 40 / 600), static_cast<float>(r * 10 / 600)};
  PdlWriter_SetDash(w, 6, 0, 2, dash);
  PdlWriter_SetPaintMode(w, 1);
  PdlWriter_SetRasterOp(w, 1, 13);
  static constexpr BYTE kBlack[3] = {0, 0, 0};
  PdlWriter_SetColour(w, 1, render::kPdlSpaceRgb, kBlack);
  return 0;
}

INT DrawMarkLine(PDEV* pdev, LONG x1, LONG y1, LONG x2, LONG y2) {
  PdlWriter* w = pdev->writer;
  POINTFIX from{x1 * 16, y1 * 16}, to{x2 * 16, y2 * 16};
  INT r = PdlWriter_MoveTo(w, from);
  r |= PdlWriter_LineTo(w, 1, &to);
  r |= PdlWriter_PaintPath(w);
  return r ? -1 : 0;
}

INT DrawPageMarks(PDEV* pdev) {
  if (!pdev || !pdev->writer) return -1;
  PdlWriter* w = pdev->writer;
  DWORD cache = PdlWriter_EnableCache(w, 0);
  INT r = PdlWriter_ResetClip(w);
  PrintableArea area{};
  if (!ComputePrintableArea(pdev, FALSE, &area)) r = -1;
  float rx = static_cast<float>(PdevResolution(pdev)), ry = rx;
  auto dots = [](WORD tenths, float res) { return static_cast<SHORT>(std::trunc(tenths * res / 254.0f)); };
  SHORT W = dots(area.width, rx), H = dots(area.height, ry);
  const float k = 0.013888889f;
  float ux = rx * 0.25f * k, uy = ry * 0.25f * k;
  LONG wx = static_cast<LONG>(ux), wy = static_cast<LONG>(uy);
  SHORT hx = static_cast<SHORT>((ux + 1.999f) * 0.5f), hy = static_cast<SHORT>((uy + 1.999f) * 0.5f);
  SHORT M = dots(100, rx), N = dots(100, ry);
  SHORT W1 = static_cast<SHORT>(W - hx), H1 = static_cast<SHORT>(H - hy);
  SHORT X1 = static_cast<SHORT>(hx + M), X2 = static_cast<SHORT>(W1 - M);
  SHORT Y1 = static_cast<SHORT>(hy + N), Y2 = static_cast<SHORT>(H1 - N);
  SHORT CX1 = static_cast<SHORT>(W / 2 - M / 2), CX2 = static_cast<SHORT>(W / 2 + M / 2);
  SHORT CY1 = static_cast<SHORT>(H / 2 - N / 2), CY2 = static_cast<SHORT>(H / 2 + N / 2);
  SetMarkPen(pdev, wx, wy);
  const LONG lines[12][4] = {
      {hx, H1, X1, H1}, {hx, H1, hx, Y2}, {hx, hy, X1, hy}, {hx, hy, hx, Y1},
      {W1, H1, X2, H1}, {W1, H1, W1, Y2}, {W1, hy, X2, hy}, {W1, hy, W1, Y1},
      {CX1, H1, CX2, H1}, {CX1, hy, CX2, hy}, {hx, CY2, hx, CY1}, {W1, CY2, W1, CY1},
  };
  for (const auto& l : lines) r |= DrawMarkLine(pdev, l[0], l[1], l[2], l[3]);
  static constexpr float kIdentity[6] = {1, 0, 0, 1, 0, 0};
  r |= PdlWriter_SetMatrix(w, kIdentity);
  PdlWriter_EnableCache(w, cache);
  r |= PdlWriter_ResetForPage(w);
  return r ? -1 : 0;
}

INT DrawSheetTileMarks(PDEV* pdev) {
  RecordingControl* rc = pdev && pdev->document ? &pdev->document->rec : nullptr;
  if (!rc || !rc->job.tiling || !rc->job.tiling_option) return 0;
  // The marks are drawn in the dots of the whole sheet.
  PageLayout l;
  if (PageLayoutOfPdev(pdev, true, &l) != 0) return -1;
  Affine m;
  double res = rc->job.resolution;
  if (PlacementMatrix(&m, l, 0, 0, 0, res, res, true) != 0) return -1;
  float f[6];
  ToFloats(m, f);
  INT r = PdlWriter_SetMatrix(pdev->writer, f);
  return r | DrawPageMarks(pdev);
}

}  // namespace morva::gfx
