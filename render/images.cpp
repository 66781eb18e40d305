// Images and brushes of the graphics driver.
#include "render/images.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "output/document_control.h"
#include "output/temp_spool_file.h"
#include "render/colour_context.h"
#include "render/drawing_core.h"
#include "render/glyph_compression.h"
#include "render/image_compression.h"
#include "render/image_transform.h"
#include "render/pdl_operators.h"
#include "render/run_length_code.h"
#include "settings/common/module_state.h"
#include "settings/gfx/graphics_module.h"
#include "win/codepage.h"
#include "win/memory.h"
#include "win/ddi_engine.h"
#include "win/errors.h"

namespace morva::gfx {

namespace {

using Bytes = std::vector<BYTE>;

// The image scratch space of the compressors kept in the document's image
// temp file, so that a page of large images does not hold them in memory.
class TempFileScratch final : public render::ImageScratch {
 public:
  explicit TempFileScratch(TempSpoolFile* file) : file_(file) {}
  bool Open() override { return IsTempSpoolFileOpen(file_) == 1 || CreateTempSpoolFile(file_) == 0; }
  bool Seek(DWORD position) override { return SeekTempSpoolFile(file_, position) == static_cast<LONG>(position); }
  bool Write(const BYTE* data, DWORD bytes) override {
    return WriteTempSpoolFile(file_, data, bytes) == static_cast<INT>(bytes);
  }
  DWORD Read(BYTE* data, DWORD bytes) override {
    INT n = ReadTempSpoolFile(file_, data, bytes);
    return n < 0 ? 0 : static_cast<DWORD>(n);
  }

 private:
  TempSpoolFile* file_;
};

}  // namespace

namespace {
struct ImageJob;
}  // namespace

// An image queued for the page's batch colour conversion, with the clip it
// was drawn under.
struct QueuedImage {
  std::shared_ptr<ImageJob> job;
  StoredClip clip;
  RECTL bounds;  // the destination
  RECTL place;   // where the image lands
  bool grey;     // black and white output
};

struct ImageDocument {
  TempSpoolFile temp{};
  TempFileScratch scratch{&temp};
  DWORD requested_method = render::kCompressNone;
  DWORD colour_class = kColourClassNone;
  DWORD page_colour = 0;  // 0 undecided, 2 colour
  render::PageColourSet colour_set{};
  render::FlipBuffer* flip = nullptr;
  DWORD turn = 0;
  ColourContext* colour = nullptr;
  ImageBatchState batch{};
  std::vector<QueuedImage> queue;
};

namespace {

constexpr WORD kDdmidCompression = 330;
constexpr WORD kDdmidCropToClip = 1370;
constexpr WORD kDdmidReduce = 1302;
constexpr WORD kDdmidReduceTarget = 350;
constexpr WORD kDdmidResolutionX = 20;
constexpr WORD kDdmidResolutionY = 21;

ImageDocument* images(PDEV* pdev) { return pdev ? pdev->images : nullptr; }

ULONG bits_of(ULONG format) {
  switch (format) {
    case BMF_1BPP: return 1;
    case BMF_4BPP: return 4;
    case BMF_8BPP: return 8;
    case BMF_16BPP: return 16;
    case BMF_24BPP: return 24;
    case BMF_32BPP: return 32;
    default: return 0;
  }
}

const BYTE* scan(SURFOBJ* so, LONG y) {
  return static_cast<const BYTE*>(so->pvScan0) + static_cast<std::ptrdiff_t>(y) * so->lDelta;
}

DWORD index_at(const BYTE* row, LONG x, ULONG bits) {
  switch (bits) {
    case 1: return (row[x / 8] >> (7 - x % 8)) & 1;
    case 4: return (row[x / 2] >> (x % 2 ? 0 : 4)) & 0xF;
    default: return row[x];
  }
}

// Pixel x of a 16, 24 or 32-bit row as a device colour 0x00RRGGBB.
DWORD colour_at(const BYTE* row, LONG x, ULONG bits, XLATEOBJ* pxlo) {
  ULONG pixel;
  if (bits == 16) pixel = static_cast<ULONG>(row[2 * x]) | static_cast<ULONG>(row[2 * x + 1]) << 8;
  else if (bits == 24) pixel = static_cast<ULONG>(row[3 * x]) | static_cast<ULONG>(row[3 * x + 1]) << 8 |
                               static_cast<ULONG>(row[3 * x + 2]) << 16;
  else pixel = static_cast<ULONG>(row[4 * x]) | static_cast<ULONG>(row[4 * x + 1]) << 8 |
               static_cast<ULONG>(row[4 * x + 2]) << 16;
  return (pxlo ? XLATEOBJ_iXlate(pxlo, pixel) : pixel) & 0xFFFFFF;
}

bool trivial(XLATEOBJ* pxlo) { return !pxlo || (pxlo->flXlate & XO_TRIVIAL); }

// One 16 to 32-bit source row as RGB bytes, red first.
void translate_row(const BYTE* row, LONG x0, LONG width, ULONG bits, XLATEOBJ* pxlo, BYTE* out) {
  if (trivial(pxlo) && (bits == 24 || bits == 32)) {
    const ULONG n = bits / 8;
    const BYTE* p = row + static_cast<std::size_t>(x0) * n;
    for (LONG x = 0; x < width; ++x, p += n, out += 3) {
      out[0] = p[2];
      out[1] = p[1];
      out[2] = p[0];
    }
    return;
  }
  for (LONG x = 0; x < width; ++x, out += 3) {
    DWORD c = colour_at(row, x0 + x, bits, pxlo);
    out[0] = static_cast<BYTE>(c >> 16);
    out[1] = static_cast<BYTE>(c >> 8);
    out[2] = static_cast<BYTE>(c);
  }
}

// Indices of one row packed at `out_bits` from pixel x0 on (rows that do
// not start on a byte boundary are shifted to one).
void pack_indices(const BYTE* row, LONG x0, LONG width, ULONG bits, ULONG out_bits, BYTE* out) {
  if (bits == out_bits && (static_cast<ULONG>(x0) * bits) % 8 == 0) {
    std::size_t n = (static_cast<std::size_t>(width) * bits + 7) / 8;
    std::memcpy(out, row + static_cast<std::size_t>(x0) * bits / 8, n);
    if ((width * bits) % 8) out[n - 1] &= static_cast<BYTE>(0xFF << (8 - (width * bits) % 8));
    return;
  }
  std::memset(out, 0, (static_cast<std::size_t>(width) * out_bits + 7) / 8);
  for (LONG x = 0; x < width; ++x) {
    DWORD v = index_at(row, x0 + x, bits);
    if (out_bits == 8) out[x] = static_cast<BYTE>(v);
    else if (out_bits == 4) out[x / 2] |= static_cast<BYTE>(v << (x % 2 ? 0 : 4));
    else out[x / 8] |= static_cast<BYTE>(v << (7 - x % 8));
  }
}

std::vector<ULONG> palette_of(XLATEOBJ* pxlo) {
  std::vector<ULONG> p;
  if (!pxlo || !(pxlo->flXlate & XO_TABLE)) return p;
  p.resize(XLATEOBJ_cGetPalette(pxlo, XO_SRCPALETTE, 0, nullptr));
  if (!p.empty()) XLATEOBJ_cGetPalette(pxlo, XO_SRCPALETTE, static_cast<ULONG>(p.size()), p.data());
  for (ULONG& c : p) c &= 0xFFFFFF;
  return p;
}

bool black_or_white(DWORD c) { return c == 0 || c == 0xFFFFFF; }

// Every pixel of the source rectangle black or white after translation.
bool all_black_white(SURFOBJ* src, ULONG bits, XLATEOBJ* pxlo, const std::vector<ULONG>& palette, LONG x0, LONG y0,
                     LONG w, LONG h) {
  if (bits <= 8) {
    if (palette.empty()) return false;
    if (bits == 1) return palette.size() >= 2 && black_or_white(palette[0]) && black_or_white(palette[1]);
    for (LONG y = 0; y < h; ++y)
      for (LONG x = 0; x < w; ++x) {
        DWORD i = index_at(scan(src, y0 + y), x0 + x, bits);
        if (i >= palette.size() || !black_or_white(palette[i])) return false;
      }
    return true;
  }
  for (LONG y = 0; y < h; ++y)
    for (LONG x = 0; x < w; ++x)
      if (!black_or_white(colour_at(scan(src, y0 + y), x0 + x, bits, pxlo))) return false;
  return true;
}

// One image on its way out.
struct ImageJob {
  render::PdlImageHeader header{};
  Bytes palette;  // R, G, B per entry, or one grey byte per entry
  Bytes mask;
  Bytes data;
  DWORD bits = 0;  // 24 for RGB, else the index or grey depth
  bool widened = false;  // 4-bit indices sent as bytes
  bool keep_raw = false;  // coding was tried and did not make it smaller
};

void set_matrix(float m[6], float sx, float sy) {
  m[0] = sx;
  m[1] = m[2] = 0;
  m[3] = sy;
  m[4] = m[5] = 0;
}

INT classify(PDEV* pdev, ImageJob& job) {
  ImageDocument* doc = images(pdev);
  if (!doc) return 0;
  if (doc->page_colour != 0) {
    doc->colour_class = kColourClassNone;
    return 0;
  }
  const auto& h = job.header;
  INT r = ClassifyImageColour(&doc->colour_class, &doc->colour_set, true, job.data.data(),
                              static_cast<DWORD>(h.width), static_cast<DWORD>(h.height),
                              job.palette.empty() ? nullptr : job.palette.data(),
                              static_cast<DWORD>(h.entries), h.format, job.bits);
  if (r == 0 && doc->colour_class == kColourClassColour) doc->page_colour = 2;
  return r;
}

// Whether the page turns an image of this size.
bool turns(const ImageDocument* doc, std::size_t width, std::size_t height) {
  return doc && doc->turn && doc->flip && width > render::kTurnMinimumSide && height > render::kTurnMinimumSide;
}

// Quarter turn of an image wider and taller than 64 pixels, when the page
// turns images; a turn that cannot be made leaves the image upright.
void turn(PDEV* pdev, ImageJob& job, const RECTL& place) {
  ImageDocument* doc = images(pdev);
  auto& h = job.header;
  if (!turns(doc, h.width, h.height)) return;
  const DWORD bits = job.bits == 24 ? 24 : job.bits == 8 ? 8 : 0;
  BYTE* out = nullptr;
  if (!bits || render::TurnImage(doc->flip, static_cast<DWORD>(h.width), static_cast<DWORD>(h.height),
                                 static_cast<DWORD>(h.width) * bits / 8, bits, job.data.data(), 1, &out) != 0)
    return;
  std::memcpy(job.data.data(), out, job.data.size());
  std::swap(h.width, h.height);
  h.x = static_cast<float>(place.left);
  h.y = static_cast<float>(place.bottom);
  const float a = h.matrix[0], b = h.matrix[1], c = h.matrix[2], d = h.matrix[3];
  h.matrix[0] = -b;
  h.matrix[1] = a;
  h.matrix[2] = -d;
  h.matrix[3] = c;
  h.matrix[4] = h.matrix[5] = 0;
}

// RGB data as one inverted grey byte a pixel (black-and-white output).
void to_inverted_grey(ImageJob& job) {
  if (job.header.format != render::kImageRgb24) return;
  const std::size_t n = job.data.size() / 3;
  for (std::size_t i = 0; i < n; ++i) {
    const BYTE* p = job.data.data() + 3 * i;
    job.data[i] = static_cast<BYTE>(~((77 * p[0] + 151 * p[1] + 28 * p[2]) >> 8));
  }
  job.data.resize(n);
  job.header.format = render::kImageGrey8;
  job.bits = 8;
}

// Compression, then "AV"/"Cq", the mask rows and the data.
BOOL send_image(PDEV* pdev, ImageJob& job) {
  ImageDocument* doc = images(pdev);
  PdlWriter* w = pdev->writer;
  auto& h = job.header;
  h.data_bytes = static_cast<DWORD>(job.data.size());
  h.palette = job.palette.empty() ? nullptr : job.palette.data();
  h.palette_bytes = job.palette.size();
  render::ImageCompressionRecord rec{};
  rec.has_data = !job.data.empty();
  rec.bits_per_pixel = job.bits;
  rec.width = static_cast<WORD>(h.width);
  rec.height = static_cast<WORD>(h.height);
  rec.method = &h.method;
  rec.format = &h.format;
  rec.length = &h.data_bytes;
  rec.requested_method = doc && !job.keep_raw ? doc->requested_method : static_cast<DWORD>(render::kCompressNone);
  // A 4-bit image widened to bytes asks for the run-length code.
  if (job.widened) rec.requested_method = render::kCompressRunLength;
  rec.scratch = doc ? &doc->scratch : nullptr;
  PdlWriter_GetRasterOp(w, &rec.rop_kind, &rec.rop_code);
  rec.palette_entry_bits = h.entry_bits;
  rec.palette_entries = static_cast<DWORD>(h.entries);
  rec.palette = h.palette;
  // 1-bit images may go to the outside compression library bound for images.
  rec.plugin = DocumentCompressor(pdev, 1);
  if (render::CompressImage(&rec, job.data.data()) == render::kCompressScratchFailed) {
    SetLastError(ERROR_WRITE_FAULT);
    return FALSE;
  }
  // The JPEG path may have made an indexed grey image plain grey.
  if (h.format != render::kImageIndexedGrey && h.format != render::kImageIndexedRgb) {
    h.palette = nullptr;
    h.palette_bytes = 0;
    h.entries = 0;
    if (h.format == render::kImageGrey8 || h.format == render::kImageJpeg) h.bits_per_component = 8;
  }
  if (PdlWriter_BeginImage(w, &h) != 0) return FALSE;
  if (!job.mask.empty() && PdlWriter_WriteData(w, job.mask.data(), job.mask.size()) != 0) return FALSE;
  return PdlWriter_WriteData(w, job.data.data(), h.data_bytes) == 0;
}

// Colour classification of an image seen a band of RGB rows at a time;
// nothing is classified once the page's colour is decided.
class BandClassifier {
 public:
  explicit BandClassifier(ImageDocument* doc) : doc_(doc), active_(doc && doc->page_colour == 0) {
    if (doc && !active_) doc->colour_class = kColourClassNone;
  }
  bool Add(const BYTE* rgb, DWORD width, DWORD rows) {
    if (!active_ || (result_ == kColourClassColour && !doc_->colour_set.enabled)) return true;
    DWORD band;
    if (ClassifyImageColour(&band, &doc_->colour_set, true, rgb, width, rows, nullptr, 0, render::kImageRgb24, 24) != 0)
      return false;
    if (band == kColourClassColour) result_ = kColourClassColour;
    return true;
  }
  // Adds the band starting at row y unless it was added before.
  bool AddFrom(LONG y, const BYTE* rgb, DWORD width, DWORD rows) {
    if (y < rows_seen_) return true;
    rows_seen_ = y + static_cast<LONG>(rows);
    return Add(rgb, width, rows);
  }
  void Finish() {
    if (!active_) return;
    doc_->colour_class = result_;
    if (result_ == kColourClassColour) doc_->page_colour = 2;
  }

 private:
  ImageDocument* doc_;
  bool active_;
  DWORD result_ = kColourClassGrey;
  LONG rows_seen_ = 0;
};

// The rectangle of a 16 to 32-bit source read a band of rows at a time,
// each row translated to RGB (red first) into one buffer of about 1 MB, so
// that no copy of the whole image is made.
class SourceBands {
 public:
  SourceBands(SURFOBJ* src, POINTL origin, LONG width, LONG height, ULONG bits, XLATEOBJ* pxlo)
      : src_(src), origin_(origin), width_(width), height_(height), bits_(bits), pxlo_(pxlo),
        row_bytes_(static_cast<std::size_t>(width) * 3),
        band_rows_(static_cast<LONG>(std::clamp<std::size_t>((std::size_t{1} << 20) / row_bytes_, 1, height))) {}
  bool Allocate() {
    band_.reset(new (std::nothrow) BYTE[row_bytes_ * static_cast<std::size_t>(band_rows_)]);
    return band_ != nullptr;
  }
  std::size_t row_bytes() const { return row_bytes_; }
  // Translates the band starting at row y; answers its row count.
  LONG Read(LONG y) {
    const LONG n = std::min(band_rows_, height_ - y);
    for (LONG i = 0; i < n; ++i)
      translate_row(scan(src_, origin_.y + y + i), origin_.x, width_, bits_, pxlo_, band_.get() + row_bytes_ * i);
    return n;
  }
  const BYTE* band() const { return band_.get(); }

 private:
  SURFOBJ* src_;
  POINTL origin_;
  LONG width_, height_;
  ULONG bits_;
  XLATEOBJ* pxlo_;
  std::size_t row_bytes_;
  LONG band_rows_;
  std::unique_ptr<BYTE[]> band_;
};

// Classification of a 16 to 32-bit source read in place, a band at a time.
INT classify_source(PDEV* pdev, SURFOBJ* src, POINTL so, LONG width, LONG height, ULONG bits, XLATEOBJ* pxlo) {
  BandClassifier classifier(images(pdev));
  SourceBands bands(src, so, width, height, bits, pxlo);
  if (!bands.Allocate()) return -1;
  for (LONG y = 0; y < height;) {
    const LONG n = bands.Read(y);
    if (!classifier.AddFrom(y, bands.band(), static_cast<DWORD>(width), static_cast<DWORD>(n))) return -1;
    y += n;
  }
  classifier.Finish();
  return 0;
}

// Pieces in which coded data goes between the scratch space and the
// stream.
constexpr DWORD kScratchPiece = 4u << 20;

// Sends `bytes` coded bytes from the start of the scratch space, a piece at
// a time: 0, or -1 (a short read is a read fault).
int send_from_scratch(PDEV* pdev, render::ImageScratch* scratch, DWORD bytes, BYTE* piece, DWORD piece_bytes) {
  if (!scratch->Seek(0)) {
    SetLastError(ERROR_READ_FAULT);
    return -1;
  }
  for (DWORD done = 0; done < bytes;) {
    const DWORD n = std::min(piece_bytes, bytes - done);
    if (scratch->Read(piece, n) != n) {
      SetLastError(ERROR_READ_FAULT);
      return -1;
    }
    if (PdlWriter_WriteData(pdev->writer, piece, n) != 0) return -1;
    done += n;
  }
  return 0;
}

// The header of an RGB image sent from its source.
render::PdlImageHeader source_header(const RECTL& place, const float matrix[6], LONG width, LONG height) {
  render::PdlImageHeader h{};
  h.x = static_cast<float>(place.left);
  h.y = static_cast<float>(place.top);
  std::copy(matrix, matrix + 6, h.matrix);
  h.width = static_cast<std::size_t>(width);
  h.height = static_cast<std::size_t>(height);
  h.mask_kind = 1;
  h.source_kind = 2;
  h.format = render::kImageRgb24;
  h.bits_per_component = 8;
  h.method = render::kCompressNone;
  return h;
}

// A 24 or 32-bit source coded as JPEG straight from its rows, so that no
// copy of the whole image is made: 1 sent, 0 the coding did not make it
// smaller (the image goes out uncompressed), -1 failed.
int send_jpeg_from_source(PDEV* pdev, SURFOBJ* src, POINTL so, LONG width, LONG height, ULONG bits,
                          const RECTL& place, const float matrix[6]) {
  ImageDocument* doc = images(pdev);
  const render::JpegRows rows{scan(src, so.y) + static_cast<std::size_t>(so.x) * (bits / 8), src->lDelta,
                              bits == 24 ? render::JpegPixels::kBgr : render::JpegPixels::kBgrx};
  const std::size_t raw = static_cast<std::size_t>(width) * height * 3;
  DWORD coded = 0;
  if (!render::CodeJpegRows(&doc->scratch, static_cast<DWORD>(width), static_cast<DWORD>(height), rows, &coded) ||
      coded >= raw)
    return 0;
  const DWORD piece_bytes = std::min(coded, kScratchPiece);
  std::unique_ptr<BYTE[]> piece(new (std::nothrow) BYTE[piece_bytes]);
  if (!piece) return 0;
  render::PdlImageHeader h = source_header(place, matrix, width, height);
  h.format = render::kImageJpeg;
  h.method = render::kCompressJpeg;
  h.data_bytes = coded;
  if (PdlWriter_BeginImage(pdev->writer, &h) != 0) return -1;
  return send_from_scratch(pdev, &doc->scratch, coded, piece.get(), piece_bytes) == 0 ? 1 : -1;
}

// The mask rows of an image, packed to whole bytes a row, a band at a time.
int send_mask_rows(PDEV* pdev, SURFOBJ* mask, POINTL mo, DWORD width, DWORD height) {
  const std::size_t row_bytes = (width + 7) / 8;
  const DWORD band_rows = static_cast<DWORD>(std::clamp<std::size_t>((std::size_t{1} << 20) / row_bytes, 1, height));
  Bytes band(row_bytes * band_rows);
  for (DWORD y = 0; y < height;) {
    const DWORD n = std::min(band_rows, height - y);
    for (DWORD i = 0; i < n; ++i)
      pack_indices(scan(mask, mo.y + static_cast<LONG>(y + i)), mo.x, static_cast<LONG>(width), 1, 1,
                   band.data() + row_bytes * i);
    if (PdlWriter_WriteData(pdev->writer, band.data(), row_bytes * n) != 0) return -1;
    y += n;
  }
  return 0;
}

// A 16 to 32-bit source sent as RGB straight from its rows, uncompressed or
// run-length coded, when nothing changes its pixels: the rows are
// translated a band at a time, classified and coded or written. The coded
// rows collect in a piece of memory that goes to the scratch space
// whenever it fills, and follow the header once their length is known; a
// code that would not be smaller sends the rows as they are. 1 sent, -1
// failed.
struct SourceImage {
  SURFOBJ* src;
  POINTL origin;
  LONG width, height;
  ULONG bits;
  XLATEOBJ* pxlo;
  SURFOBJ* mask;  // null without one
  POINTL mask_origin;
};

// Run-length codes the rows into the scratch space (and memory); true with
// the coded length when the code is no longer than the rows.
bool run_length_code_source(ImageDocument* doc, const SourceImage& s, SourceBands& bands, BandClassifier& classifier,
                            Bytes& piece, DWORD* in_piece, DWORD* spilled) {
  const std::size_t raw = bands.row_bytes() * static_cast<std::size_t>(s.height);
  render::RunLengthCoder* coder =
      render::RunLengthCoder_Create(static_cast<DWORD>(s.width), static_cast<DWORD>(s.height), 24);
  if (!coder) return false;
  const DWORD room = static_cast<DWORD>(2 * bands.row_bytes() + 64);
  try {
    piece.resize(std::max<std::size_t>(kScratchPiece, 2 * room));
  } catch (const std::bad_alloc&) {
    render::RunLengthCoder_Finish(coder, nullptr, 0);
    return false;
  }
  DWORD used = 0, stored = 0;
  bool ok = true;
  // Room for the next row: a full piece goes to the scratch space.
  auto make_room = [&]() {
    if (piece.size() - used >= room) return true;
    if ((stored == 0 && (!doc->scratch.Open() || !doc->scratch.Seek(0))) || !doc->scratch.Write(piece.data(), used))
      return false;
    stored += used;
    used = 0;
    return true;
  };
  for (LONG y = 0; y < s.height && ok;) {
    const LONG n = bands.Read(y);
    if (!classifier.AddFrom(y, bands.band(), static_cast<DWORD>(s.width), static_cast<DWORD>(n))) ok = false;
    for (LONG i = 0; i < n && ok; ++i) {
      ok = make_room();
      const LONG coded = ok ? render::RunLengthCoder_EncodeRow(coder, bands.band() + bands.row_bytes() * i,
                                                               piece.data() + used, static_cast<DWORD>(piece.size() - used))
                            : -1;
      ok = coded >= 0 && std::size_t{stored} + used + static_cast<DWORD>(coded) < raw;
      if (ok) used += static_cast<DWORD>(coded);
    }
    y += n;
  }
  if (!ok || !make_room()) {
    render::RunLengthCoder_Finish(coder, nullptr, 0);
    return false;
  }
  const LONG last = render::RunLengthCoder_Finish(coder, piece.data() + used, static_cast<DWORD>(piece.size() - used));
  if (last < 0 || std::size_t{stored} + used + static_cast<DWORD>(last) > raw) return false;
  used += static_cast<DWORD>(last);
  // Once some went to the scratch space, all of it goes there: the piece
  // is then the buffer the code is read back through.
  if (stored) {
    if (!doc->scratch.Write(piece.data(), used)) return false;
    stored += used;
    used = 0;
  }
  *in_piece = used;
  *spilled = stored;
  return true;
}

int send_rgb_from_source(PDEV* pdev, const SourceImage& s, DWORD method, bool classify, const RECTL& place,
                         const float matrix[6]) {
  ImageDocument* doc = images(pdev);
  SourceBands bands(s.src, s.origin, s.width, s.height, s.bits, s.pxlo);
  if (!bands.Allocate()) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return -1;
  }
  BandClassifier classifier(classify ? doc : nullptr);
  render::PdlImageHeader h = source_header(place, matrix, s.width, s.height);
  const std::size_t raw = bands.row_bytes() * static_cast<std::size_t>(s.height);
  if (s.mask) {
    h.mask_kind = 2;
    h.mask_bytes = static_cast<DWORD>((static_cast<std::size_t>(s.width) + 7) / 8 * s.height);
  }
  Bytes piece;
  DWORD in_piece = 0, spilled = 0;
  // Rows classified while they were coded are not classified again when
  // the code is given up.
  const bool coded = method == render::kCompressRunLength && raw >= render::kCompressMinimumBytes &&
                     run_length_code_source(doc, s, bands, classifier, piece, &in_piece, &spilled);
  if (coded) classifier.Finish();
  else piece = Bytes();
  h.method = coded ? render::kCompressRunLength : render::kCompressNone;
  h.data_bytes = static_cast<DWORD>(coded ? std::size_t{spilled} + in_piece : raw);
  if (PdlWriter_BeginImage(pdev->writer, &h) != 0) return -1;
  if (s.mask && send_mask_rows(pdev, s.mask, s.mask_origin, static_cast<DWORD>(s.width), static_cast<DWORD>(s.height)) != 0)
    return -1;
  if (coded && spilled)
    return send_from_scratch(pdev, &doc->scratch, spilled, piece.data(), static_cast<DWORD>(piece.size())) == 0 ? 1 : -1;
  if (coded) return PdlWriter_WriteData(pdev->writer, piece.data(), in_piece) == 0 ? 1 : -1;
  for (LONG y = 0; y < s.height;) {
    const LONG n = bands.Read(y);
    if (!classifier.AddFrom(y, bands.band(), static_cast<DWORD>(s.width), static_cast<DWORD>(n))) {
      SetLastError(ERROR_INVALID_DATA);
      return -1;
    }
    if (PdlWriter_WriteData(pdev->writer, bands.band(), bands.row_bytes() * static_cast<std::size_t>(n)) != 0) return -1;
    y += n;
  }
  classifier.Finish();
  return 1;
}

}  // namespace

// ---- colour context settings ------------------------------------------------------

void ReadColourSettings(PDEV* pdev, ColourSettings* s) {
  auto n = [pdev](WORD id) { return PdevGetEffective(pdev, id); };
  auto text = [pdev](WORD id) {
    const WCHAR* t = PdevGetString(pdev, id);
    return t ? std::u16string(t) : std::u16string();
  };
  s->colour_mode = n(270);
  s->per_object = n(1314);
  s->sets_on = n(273);
  for (int i = 0; i < 3; ++i) {
    s->set_a[i] = n(static_cast<WORD>(275 + 4 * i));
    s->set_b[i] = n(static_cast<WORD>(276 + 4 * i));
    s->set_c[i] = n(static_cast<WORD>(277 + 4 * i));
    s->common[i] = n(static_cast<WORD>(274 + 4 * i));
  }
  s->gain_a = n(1326);
  s->gain_b = n(1327);
  s->correction_kind = n(286);
  s->temperature = n(287);
  s->tone = n(288);
  s->profile1_on = n(1303);
  s->profile2_on = n(1304);
  s->profile2_same = n(1305);
  s->profile1_path = s->correction_kind == 2 ? text(1832) : std::u16string();
  s->profile2_path = s->correction_kind == 2 ? text(1833) : std::u16string();
  s->library_parameter = n(291) & 0xFF;
  s->single_colour_parts = n(454);
  s->grey_choice = n(455);
  s->same_depth_batches = PdevGetNumber(pdev, 1862);
  // The outside library and its data file come from the driver directory
  // and the device database; without them the library stays off.
  if (s->library_parameter) {
    if (LPWSTR path = BuildConfiguredDllPath(pdev->printer, 4)) {
      s->library_path = path;
      GlobalFree(path);
    }
    if (LPWSTR data = BuildConfiguredDllPath(pdev->printer, 1)) {
      int bytes = WideCharToMultiByte(CP_ACP, 0, data, -1, nullptr, 0, nullptr, nullptr);
      if (bytes > 0) {
        s->library_data_path.assign(static_cast<std::size_t>(bytes), '\0');
        WideCharToMultiByte(CP_ACP, 0, data, -1, s->library_data_path.data(), bytes, nullptr, nullptr);
        s->library_data_path.resize(std::strlen(s->library_data_path.c_str()));
      }
      GlobalFree(data);
    }
  }
}

INT ColourContext_Create(ColourContext** out, PDEV* pdev) {
  if (!out || !pdev) return -1;
  ColourSettings s{};
  ReadColourSettings(pdev, &s);
  return ColourContext_CreateFrom(out, s, GetResourceModule());
}

// ---- document state ---------------------------------------------------------------

INT OpenImageDocument(PDEV* pdev) {
  if (!pdev) return -1;
  CloseImageDocument(pdev);
  auto* doc = new (std::nothrow) ImageDocument;
  if (!doc) return -1;
  ResetTempSpoolFile(&doc->temp, FALSE, GetResourceModule());
  doc->requested_method = render::CompressionMethodFromSetting(static_cast<DWORD>(PdevGetNumber(pdev, kDdmidCompression)));
  doc->flip = render::CreateFlipBuffer();
  render::PageColourSet_Init(&doc->colour_set, 1, render::kPageColourSetMaxCapacity, 0);
  pdev->images = doc;
  if (!doc->flip) return -1;
  if (ColourContext_Create(&doc->colour, pdev) != 0) return -1;
  return 0;
}

void CloseImageDocument(PDEV* pdev) {
  ImageDocument* doc = images(pdev);
  if (!doc) return;
  ColourContext_Destroy(&doc->colour);
  if (doc->temp.file && doc->temp.file != INVALID_HANDLE_VALUE) DeleteTempSpoolFile(&doc->temp);
  render::FreeFlipBuffer(doc->flip);
  delete doc;
  pdev->images = nullptr;
}

void DisablePageColourSet(PDEV* pdev) {
  if (ImageDocument* doc = images(pdev)) render::PageColourSet_Disable(&doc->colour_set);
}

DWORD ShouldTurnImages(PDEV* pdev) {
  const DocumentControl* d = pdev ? pdev->document : nullptr;
  if (!d) return 0;
  // The paper the page is printed on, and the direction the job's two tray
  // feed words give it.
  const PageState& page = d->page;
  const WORD paper = page.sheet.paper_code == kPaperFollowsPage ? page.page.paper_code : page.sheet.paper_code;
  const DWORD feed =
      render::FeedDirectionFromTrayWords(d->job.finishing_positions[0], d->job.finishing_positions[1], paper);
  // Booklets lay their pages out as two-up sheets.
  const DWORD layout = d->job.booklet ? 2 : page.nup;
  return render::ShouldTurnImagesFor(feed, render::WantedFeedDirection(layout, page.orientation ? 2 : 1));
}

void BeginImagePage(PDEV* pdev) {
  ImageDocument* doc = images(pdev);
  if (!doc) return;
  doc->colour_class = kColourClassNone;
  doc->page_colour = 0;
  render::PageColourSet_Init(&doc->colour_set, 1, render::kPageColourSetMaxCapacity, 0);
  doc->turn = pdev->document && pdev->document->job.image_queue ? ShouldTurnImages(pdev) : 0;
}

ImageDocument* ImageDocumentOf(PDEV* pdev) { return images(pdev); }
DWORD ImageColourClass(PDEV* pdev) { return images(pdev) ? images(pdev)->colour_class : kColourClassNone; }
const render::PageColourSet* PageColourSetOf(PDEV* pdev) { return images(pdev) ? &images(pdev)->colour_set : nullptr; }
BOOL IsImagePageColour(PDEV* pdev) { return images(pdev) && images(pdev)->page_colour == 2; }
void SetImageTurn(PDEV* pdev, BOOL on) {
  if (images(pdev)) images(pdev)->turn = on ? 1 : 0;
}

INT FlushQueuedImages(PDEV* pdev, BOOL use_library) {
  ImageDocument* doc = images(pdev);
  if (!doc || doc->queue.empty()) return 0;
  std::vector<QueuedImage> queue;
  queue.swap(doc->queue);
  std::vector<QueuedImageData> data;
  for (QueuedImage& q : queue)
    data.push_back({&q.job->data, static_cast<DWORD>(q.job->header.width), static_cast<DWORD>(q.job->header.height)});
  if (ColourContext_ConvertQueuedImages(doc->colour, data, use_library) != 0) return -1;
  for (QueuedImage& q : queue) {
    ImageJob& job = *q.job;
    if (PdlWriter_SetRasterOp(pdev->writer, 2, 0xCC) != 0) return -1;
    if (!ApplyStoredClip(pdev, q.clip, &q.bounds)) return -1;
    if (q.grey) to_inverted_grey(job);
    turn(pdev, job, q.place);
    if (!send_image(pdev, job)) return -1;
  }
  return 0;
}

// ---- colour classification ----------------------------------------------------------

bool IsNearGrey(BYTE r, BYTE g, BYTE b) {
  if (r == g && g == b) return true;
  const int m = (r + g + b) / 3;
  static constexpr int kTolerance[4] = {5, 5, 5, 2};
  const int t = kTolerance[m / 64];
  return m - t <= std::min({r, g, b}) && m + t >= std::max({r, g, b});
}

INT ClassifyImageColour(DWORD* class_word, render::PageColourSet* set, bool exact, const BYTE* pixels, DWORD width,
                        DWORD height, const BYTE* palette, DWORD entries, BYTE format, DWORD bits) {
  if (!class_word) return -1;
  *class_word = kColourClassNone;
  auto grey = [exact](const BYTE* p) { return exact ? (p[0] == p[1] && p[1] == p[2]) : IsNearGrey(p[0], p[1], p[2]); };
  const DWORD grey_class = exact ? kColourClassGrey : kColourClassNearGrey;
  DWORD result = grey_class;
  if (format == render::kImageRgb24 && bits == 24 && pixels) {
    for (std::size_t i = 0; i < static_cast<std::size_t>(width) * height && result == grey_class; ++i)
      if (!grey(pixels + 3 * i)) result = kColourClassColour;
    *class_word = result;
    if (set && set->enabled) render::PageColourSet_AddRows(set, pixels, width, height, 24, TRUE, nullptr);
    return 0;
  }
  if (format == render::kImageIndexedRgb && (bits == 1 || bits == 4 || bits == 8) && palette && pixels) {
    bool all = true;
    for (DWORD i = 0; i < entries && all; ++i) all = grey(palette + 3 * i);
    if (!all) {
      const DWORD stride = (width * bits + 7) / 8;
      for (DWORD y = 0; y < height && result == grey_class; ++y)
        for (DWORD x = 0; x < width; ++x) {
          DWORD i = index_at(pixels + static_cast<std::size_t>(y) * stride, static_cast<LONG>(x), bits);
          if (i >= entries || !grey(palette + 3 * i)) {
            result = kColourClassColour;
            break;
          }
        }
    }
    *class_word = result;
    if (set && set->enabled) render::PageColourSet_AddRows(set, pixels, width, height, bits, TRUE, palette);
    return 0;
  }
  return -1;
}

// ---- brushes ---------------------------------------------------------------------

namespace {
// The colour context of the document; none while output is suppressed
// (stamps and headers keep their own colours).
const ColourContext* colour_context(PDEV* pdev) {
  ImageDocument* doc = images(pdev);
  return doc && !IsOutputSuppressed(pdev) ? doc->colour : nullptr;
}
}  // namespace

INT ConvertSolidColour(PDEV* pdev, DWORD rgb, BYTE* space, DWORD* packed) {
  BYTE px[3] = {static_cast<BYTE>(rgb >> 16), static_cast<BYTE>(rgb >> 8), static_cast<BYTE>(rgb)};
  BYTE out[3];
  INT r = ColourContext_ConvertRgb(colour_context(pdev), pdev, px, out, 1, 1);
  if (r < 0) return -1;
  if (r == 2 || (out[0] == out[1] && out[1] == out[2])) {
    *space = render::kPdlSpaceGrey;
    *packed = out[0];
  } else {
    *space = render::kPdlSpaceRgb;
    *packed = static_cast<DWORD>(out[0]) << 16 | static_cast<DWORD>(out[1]) << 8 | out[2];
  }
  return 0;
}

namespace {

int set_solid(PDEV* pdev, BYTE target, DWORD rgb) {
  BYTE space;
  DWORD packed;
  if (ConvertSolidColour(pdev, rgb, &space, &packed) != 0) return -1;
  BYTE bytes[3] = {static_cast<BYTE>(packed >> 16), static_cast<BYTE>(packed >> 8), static_cast<BYTE>(packed)};
  if (space == render::kPdlSpaceGrey) bytes[0] = static_cast<BYTE>(packed);
  return PdlWriter_SetColour(pdev->writer, target, space, bytes);
}

// The background of hatch and monochrome pattern brushes: transparent when
// the raster operation leaves the destination where the pattern is clear.
int set_background(PDEV* pdev, BYTE target, DWORD rgb, ROP4 rop4) {
  if (rop4 != kBrushRopNotGiven && Rop3ToBinaryRop(static_cast<BYTE>(rop4 >> 8)) == 11)
    return PdlWriter_SetBrushBackground(pdev->writer, target, 2, render::kPdlSpaceGrey, 0);
  BYTE space;
  DWORD packed;
  if (ConvertSolidColour(pdev, rgb, &space, &packed) != 0) return -1;
  return PdlWriter_SetBrushBackground(pdev->writer, target, 1, space, packed);
}

// While stamps are drawn with suppression data, every solid brush becomes
// the stamp colour (setting 301, a COLORREF) as a transparent 8 x 8
// pattern of the third target: the page colour detection sees the colour.
constexpr WORD kDdmidStampColour = 301;
constexpr BYTE kSuppressedPattern[8] = {0xBB, 0xBB, 0xEE, 0xEE, 0xBB, 0xBB, 0xEE, 0xEE};

int set_suppressed_solid(PDEV* pdev) {
  const DWORD ref = static_cast<DWORD>(PdevGetNumber(pdev, kDdmidStampColour));
  const BYTE rgb[3] = {static_cast<BYTE>(ref), static_cast<BYTE>(ref >> 8), static_cast<BYTE>(ref >> 16)};
  if (ImageDocument* doc = images(pdev)) {
    BandClassifier classifier(doc);
    if (!classifier.Add(rgb, 1, 1)) return -1;
    classifier.Finish();
  }
  const DWORD packed = static_cast<DWORD>(rgb[0]) << 16 | static_cast<DWORD>(rgb[1]) << 8 | rgb[2];
  if (PdlWriter_SetBrushBackground(pdev->writer, 3, 2, render::kPdlSpaceGrey, 0) != 0) return -1;
  return PdlWriter_SetMaskBrush(pdev->writer, POINTL{0, 0}, 3, render::kPdlSpaceRgb, packed, 8, 8, kSuppressedPattern);
}

// The layout DrvRealizeBrush leaves: width, height, format, flags, palette
// entries, palette offset, hatch index; the rows (4-byte aligned) at 28.
struct Realized {
  DWORD width, height, format, flags, entries, palette_offset, hatch;
};

}  // namespace

BOOL SetBrush(PDEV* pdev, BYTE target, const POINTL* brush_origin, BRUSHOBJ* pbo, ROP4 rop4) {
  PdlWriter* w = pdev->writer;
  if (!pbo) {
    // Without a brush only the inversion of the destination can be drawn.
    if ((rop4 & 0xFFFF) != 0x5555) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    return PdlWriter_SetRasterOp(w, 1, 6) == 0;
  }
  if (rop4 != kBrushRopNotGiven && PdlWriter_SetRasterOp(w, 1, Rop3ToBinaryRop(static_cast<BYTE>(rop4))) != 0)
    return FALSE;
  if (pbo->iSolidColor != 0xFFFFFFFF) {
    if (IsOutputSuppressed(pdev) && GetSuppressionData(pdev)) return set_suppressed_solid(pdev) == 0;
    return set_solid(pdev, target, pbo->iSolidColor & 0xFFFFFF) == 0;
  }
  auto* block = static_cast<const BYTE*>(BRUSHOBJ_pvGetRbrush(pbo));
  if (!block) return FALSE;
  Realized rb;
  std::memcpy(&rb, block, sizeof rb);
  std::vector<DWORD> palette(rb.entries);
  if (rb.entries) std::memcpy(palette.data(), block + rb.palette_offset, 4 * rb.entries);
  for (DWORD& c : palette) c &= 0xFFFFFF;
  const POINTL origin = brush_origin ? *brush_origin : POINTL{0, 0};
  const BYTE* rows = block + 28;
  if (rb.hatch < HS_DDI_MAX) {
    if (palette.size() < 2) return FALSE;
    BYTE space;
    DWORD packed;
    if (set_background(pdev, target, palette[0], rop4) != 0 || ConvertSolidColour(pdev, palette[1], &space, &packed) != 0)
      return FALSE;
    return PdlWriter_SetHatchBrush(w, origin, target, space, static_cast<BYTE>(rb.hatch + 2), packed) == 0;
  }
  if (rb.width == 0 || rb.height == 0 || rb.width > 0xFFFF || rb.height > 0xFFFF) return FALSE;
  if (rb.format == BMF_1BPP) {
    if (palette.size() < 2) return FALSE;
    // Pattern pixels of entry 0 take the foreground colour: the printer
    // paints set bits, so the rows go out inverted.
    const DWORD stride = (rb.width + 31) / 32 * 4, out_row = (rb.width + 7) / 8;
    Bytes bits(static_cast<std::size_t>(out_row) * rb.height);
    for (DWORD y = 0; y < rb.height; ++y)
      for (DWORD i = 0; i < out_row; ++i) bits[y * out_row + i] = static_cast<BYTE>(~rows[y * stride + i]);
    if (rb.width % 8)
      for (DWORD y = 0; y < rb.height; ++y) bits[y * out_row + out_row - 1] &= static_cast<BYTE>(0xFF << (8 - rb.width % 8));
    BYTE space;
    DWORD packed;
    if (set_background(pdev, target, palette[1], rop4) != 0 || ConvertSolidColour(pdev, palette[0], &space, &packed) != 0)
      return FALSE;
    return PdlWriter_SetMaskBrush(w, origin, target, space, packed, rb.width, rb.height, bits.data()) == 0;
  }
  const ULONG bits = rb.format == BMF_4BPP ? 4 : rb.format == BMF_8BPP ? 8 : rb.format == BMF_24BPP ? 24 : 0;
  if (!bits || (bits < 24 && palette.empty())) return FALSE;
  const DWORD stride = (rb.width * bits + 31) / 32 * 4;
  // The block holds (24 / bits) x the aligned row length x height bytes:
  // the RGB rows first, zeros after them.
  const DWORD length = 24 / bits * stride * rb.height;
  Bytes rgb(std::max<std::size_t>(length, static_cast<std::size_t>(rb.width) * rb.height * 3), 0);
  BYTE* out = rgb.data();
  for (DWORD y = 0; y < rb.height; ++y) {
    const BYTE* row = rows + static_cast<std::size_t>(y) * stride;
    for (DWORD x = 0; x < rb.width; ++x, out += 3) {
      DWORD c;
      if (bits == 24) c = static_cast<DWORD>(row[3 * x + 2]) << 16 | static_cast<DWORD>(row[3 * x + 1]) << 8 | row[3 * x];
      else {
        DWORD i = index_at(row, static_cast<LONG>(x), bits);
        c = i < palette.size() ? palette[i] : 0;
      }
      out[0] = static_cast<BYTE>(c >> 16);
      out[1] = static_cast<BYTE>(c >> 8);
      out[2] = static_cast<BYTE>(c);
    }
  }
  const DWORD pixels = rb.width * rb.height;
  Bytes converted(static_cast<std::size_t>(pixels) * 3);
  INT r = ColourContext_ConvertRgb(colour_context(pdev), pdev, rgb.data(), converted.data(), rb.width, rb.height);
  if (r < 0) return FALSE;
  BYTE space = render::kPdlSpaceRgb;
  DWORD n = length;
  if (r == 2) {
    space = render::kPdlSpaceGrey;
    n = length / 3;
  }
  std::fill(rgb.begin(), rgb.end(), 0);
  std::memcpy(rgb.data(), converted.data(), r == 2 ? pixels : static_cast<std::size_t>(pixels) * 3);
  return PdlWriter_SetPatternBrush(w, origin, target, space, rb.width, rb.height, n, rgb.data()) == 0;
}

// ---- images ---------------------------------------------------------------------

BOOL RenderImage(PDEV* pdev, CLIPOBJ* pco, SURFOBJ* src, SURFOBJ* mask, LONG src_w, LONG src_h, POINTL so,
                 POINTL mo, const RECTL* prclDst, const RECTL& dst_in, XLATEOBJ* pxlo, BRUSHOBJ* pbo,
                 const POINTL* brush_origin, BYTE rop_kind, DWORD rop_code) {
  PdlWriter* w = pdev->writer;
  ImageDocument* doc = images(pdev);
  if (!src || !src->pvScan0) {
    // A blt with a mask but no source image draws nothing.
    return TRUE;
  }
  const ULONG bits = bits_of(src->iBitmapFormat);
  // The source rectangle: a negative origin moves to 0 and shortens it; the
  // size is cut to the surface.
  if (so.x < 0) {
    src_w += so.x;
    mo.x -= so.x;
    so.x = 0;
  }
  if (so.y < 0) {
    src_h += so.y;
    mo.y -= so.y;
    so.y = 0;
  }
  src_w = std::min(src_w, src->sizlBitmap.cx - so.x);
  src_h = std::min(src_h, src->sizlBitmap.cy - so.y);
  if (src_w <= 0 || src_h <= 0) return TRUE;
  if (!bits || (!pxlo && bits != 24) || (bits <= 8 && palette_of(pxlo).empty())) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const std::vector<ULONG> palette = bits <= 8 ? palette_of(pxlo) : std::vector<ULONG>{};
  const bool solid_brush = pbo && pbo->iSolidColor != 0xFFFFFFFF;
  const bool stencil = rop_kind == 2 && (rop_code == 0xB8 || rop_code == 0xE2) && solid_brush &&
                       all_black_white(src, bits, pxlo, palette, so.x, so.y, src_w, src_h);

  RECTL place = *prclDst;  // as given: a mirrored destination keeps its order
  RECTL bounds = dst_in;
  // Cropping an unscaled image to a one-rectangle clip: only the visible
  // part is sent, placed where it was drawn at the same scale.
  const bool unscaled = place.right - place.left == src_w && place.bottom - place.top == src_h;
  if (PdevGetNumber(pdev, kDdmidCropToClip) && unscaled && pco && pco->iDComplexity == DC_RECT) {
    const RECTL& c = pco->rclBounds;
    RECTL v{std::max(place.left, c.left), std::max(place.top, c.top), std::min(place.right, c.right),
            std::min(place.bottom, c.bottom)};
    if (v.left >= v.right || v.top >= v.bottom) return TRUE;
    so.x += v.left - place.left;
    so.y += v.top - place.top;
    mo.x += v.left - place.left;
    mo.y += v.top - place.top;
    src_w = v.right - v.left;
    src_h = v.bottom - v.top;
    place = v;
    bounds = v;
  }

  int r = stencil ? PdlWriter_SetRasterOp(w, 1, 13) : PdlWriter_SetRasterOp(w, rop_kind, rop_code);
  if (r != 0) return FALSE;
  if (stencil) {
    if (set_solid(pdev, 2, pbo->iSolidColor & 0xFFFFFF) != 0) return FALSE;
  } else if (pbo && !SetBrush(pdev, 2, brush_origin, pbo, kBrushRopNotGiven)) {
    return FALSE;
  }
  // The colour context plans the image; with the outside library on it is
  // queued for the page and its clip travels with it.
  bool flush_first = false;
  const WORD plan = PrepareImageConversion(doc ? doc->colour : nullptr, doc ? &doc->batch : nullptr,
                                           stencil ? 1 : bits, static_cast<DWORD>(src_w), static_cast<DWORD>(src_h),
                                           rop_kind == 3 ? 3 : 2, rop_kind == 2 ? rop_code : 0, &flush_first);
  if (flush_first && FlushQueuedImages(pdev, TRUE) != 0) return FALSE;
  // Its clip (a rectangle or a path) travels with a queued image.
  StoredClip clip;
  bool queue = !stencil && (plan & kPlanLibrary) && doc && bits >= 16 && StoreClip(pco, &clip);
  if (!queue && doc && !doc->queue.empty() && FlushQueuedImages(pdev, FALSE) != 0) return FALSE;
  if (!queue && !ApplyClip(pdev, pco, &bounds)) return FALSE;

  const float dst_w = static_cast<float>(place.right - place.left), dst_h = static_cast<float>(place.bottom - place.top);
  if (stencil) {
    const DWORD row_bytes = (static_cast<DWORD>(src_w) + 7) / 8;
    Bytes rows(static_cast<std::size_t>(row_bytes) * src_h, 0);
    for (LONG y = 0; y < src_h; ++y) {
      BYTE* out = rows.data() + static_cast<std::size_t>(y) * row_bytes;
      const BYTE* row = scan(src, so.y + y);
      if (bits == 1) {
        pack_indices(row, so.x, src_w, 1, 1, out);
        continue;
      }
      for (LONG x = 0; x < src_w; ++x) {
        DWORD c = bits <= 8 ? palette[index_at(row, so.x + x, bits)] : colour_at(row, so.x + x, bits, pxlo);
        if (c == 0xFFFFFF) out[x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
      }
    }
    BYTE polarity = rop_code == 0xB8 ? 1 : 0;
    if (bits == 1 && palette[0] != 0) polarity ^= 1;
    float m[6];
    set_matrix(m, static_cast<float>(src_w) / dst_w, static_cast<float>(src_h) / dst_h);
    if (PdlWriter_PutStencil(w, static_cast<float>(place.left), static_cast<float>(place.top), static_cast<std::size_t>(src_w),
                             static_cast<std::size_t>(src_h), polarity, m, static_cast<DWORD>(rows.size())) != 0)
      return FALSE;
    return PdlWriter_WriteData(w, rows.data(), rows.size()) == 0;
  }

  // Resolution reduction of plain copies of deep sources.
  std::unique_ptr<render::ImageReducer, void (*)(render::ImageReducer*)> reducer(nullptr, render::ImageReducer_Destroy);
  DWORD out_w = static_cast<DWORD>(src_w), out_h = static_cast<DWORD>(src_h);
  if (rop_kind == 2 && rop_code == 0xCC && bits >= 16 && PdevGetNumber(pdev, kDdmidReduce) &&
      PdevGetNumber(pdev, kDdmidReduceTarget) > 0) {
    reducer.reset(render::ImageReducer_Create());
    DWORD ow, oh;
    if (reducer &&
        render::ImageReducer_Init(reducer.get(), 1, static_cast<DWORD>(PdevGetNumber(pdev, kDdmidResolutionX)),
                                  static_cast<DWORD>(PdevGetNumber(pdev, kDdmidResolutionY)),
                                  static_cast<DWORD>(PdevGetNumber(pdev, kDdmidReduceTarget))) &&
        render::ImageReducer_OutputSize(reducer.get(), out_w, out_h,
                                        static_cast<DWORD>(std::abs(place.right - place.left)),
                                        static_cast<DWORD>(std::abs(place.bottom - place.top)), &ow, &oh) &&
        (ow < out_w || oh < out_h) && render::ImageReducer_SetSizes(reducer.get(), out_w, out_h, ow, oh)) {
      out_w = ow;
      out_h = oh;
    } else {
      reducer.reset();
    }
  }

  auto shared = std::make_shared<ImageJob>();
  ImageJob& job = *shared;
  auto& h = job.header;
  h.x = static_cast<float>(place.left);
  h.y = static_cast<float>(place.top);
  set_matrix(h.matrix, static_cast<float>(out_w) / dst_w, static_cast<float>(out_h) / dst_h);

  // A photo asked for as JPEG is coded straight from the source when
  // nothing else changes its pixels.
  bool classified = false;
  if (!reducer && !queue && doc && doc->requested_method == render::kCompressJpeg && rop_kind == 2 &&
      rop_code == 0xCC && (bits == 24 || bits == 32) && trivial(pxlo) && ColourContext_KeepsRgbImages(doc->colour) &&
      !turns(doc, out_w, out_h) && std::size_t{out_w} * out_h * 3 >= render::kCompressMinimumBytes &&
      out_w <= 0xFFFF && out_h <= 0xFFFF) {
    if (classify_source(pdev, src, so, src_w, src_h, bits, pxlo) != 0) {
      SetLastError(ERROR_INVALID_DATA);
      return FALSE;
    }
    classified = true;
    const int sent = send_jpeg_from_source(pdev, src, so, src_w, src_h, bits, place, h.matrix);
    if (sent != 0) return sent > 0;
    job.keep_raw = true;
  }
  const bool with_mask = rop_kind == 3 && mask && mask->pvScan0 && mask->iBitmapFormat == BMF_1BPP;
  // Other deep sources that nothing changes go out a band of rows at a
  // time, as they are or run-length coded.
  if (!reducer && !queue && doc && bits >= 16 && ColourContext_KeepsRgbImages(doc->colour) &&
      (with_mask || !turns(doc, out_w, out_h)) && out_w <= 0xFFFF && out_h <= 0xFFFF) {
    DWORD method = job.keep_raw ? static_cast<DWORD>(render::kCompressNone) : doc->requested_method;
    // JPEG is for plain copies only; other images take the run-length code.
    if (method == render::kCompressJpeg && !(rop_kind == 2 && rop_code == 0xCC)) method = render::kCompressRunLength;
    if (method != render::kCompressJpeg) {
      const SourceImage s{src, so, src_w, src_h, bits, pxlo, with_mask ? mask : nullptr, mo};
      return send_rgb_from_source(pdev, s, method, !classified, place, h.matrix) > 0;
    }
  }
  h.width = out_w;
  h.height = out_h;
  h.source_kind = 2;
  h.method = render::kCompressNone;
  if (bits <= 8) {
    job.widened = bits == 4 && doc && doc->requested_method != render::kCompressNone;
    job.bits = job.widened ? 8 : bits;
    h.format = render::kImageIndexedRgb;
    h.entry_bits = 8;
    h.entries = palette.size();
    h.bits_per_component = static_cast<BYTE>(job.bits);
    for (ULONG c : palette) job.palette.insert(job.palette.end(), {static_cast<BYTE>(c >> 16), static_cast<BYTE>(c >> 8), static_cast<BYTE>(c)});
    const std::size_t row_bytes = (out_w * job.bits + 7) / 8;
    job.data.assign(row_bytes * out_h, 0);
    for (DWORD y = 0; y < out_h; ++y)
      pack_indices(scan(src, so.y + static_cast<LONG>(y)), so.x, src_w, bits, job.bits, job.data.data() + y * row_bytes);
  } else {
    job.bits = 24;
    h.format = render::kImageRgb24;
    h.bits_per_component = 8;
    const std::size_t row_bytes = static_cast<std::size_t>(out_w) * 3;
    job.data.assign(row_bytes * out_h, 0);
    if (reducer) {
      Bytes row(static_cast<std::size_t>(src_w) * 3);
      DWORD done = 0;
      for (LONG y = 0; y < src_h && done < out_h; ++y) {
        translate_row(scan(src, so.y + y), so.x, src_w, bits, pxlo, row.data());
        INT n = render::ImageReducer_PutRow(reducer.get(), row.data(), static_cast<DWORD>(row.size()), 24);
        if (n < 0) return FALSE;
        if (n > 0) render::ImageReducer_GetRow(reducer.get(), job.data.data() + row_bytes * done++);
      }
      if (done != out_h) return FALSE;
    } else {
      for (DWORD y = 0; y < out_h; ++y)
        translate_row(scan(src, so.y + static_cast<LONG>(y)), so.x, src_w, bits, pxlo, job.data.data() + y * row_bytes);
    }
  }
  if (with_mask) {
    const std::size_t row_bytes = (out_w + 7) / 8;
    job.mask.assign(row_bytes * out_h, 0);
    for (DWORD y = 0; y < out_h; ++y)
      pack_indices(scan(mask, mo.y + static_cast<LONG>(y)), mo.x, static_cast<LONG>(out_w), 1, 1, job.mask.data() + y * row_bytes);
    h.mask_kind = 2;
    h.mask_bytes = static_cast<DWORD>(job.mask.size());
  } else {
    h.mask_kind = 1;
  }

  if (!classified && classify(pdev, job) != 0) {
    SetLastError(ERROR_INVALID_DATA);
    return FALSE;
  }
  if (queue) {
    QueuedImage q{};
    q.job = shared;
    q.clip = std::move(clip);
    q.bounds = bounds;
    q.place = place;
    q.grey = (plan & kPlanInvertedGrey) != 0;
    doc->queue.push_back(std::move(q));
    return TRUE;
  }
  // Colour conversion: a grey answer makes RGB data grey bytes and an RGB
  // palette a grey one.
  const bool plain_copy = rop_kind == 2 && rop_code == 0xCC && !with_mask;
  INT cr = ColourContext_ConvertImage(doc ? doc->colour : nullptr, pdev, &job.data, &job.palette, h.format,
                                      static_cast<DWORD>(h.width), static_cast<DWORD>(h.height), plain_copy);
  if (cr < 0) return FALSE;
  if (cr == 2) {
    if (h.format == render::kImageRgb24) {
      h.format = render::kImageGrey8;
      job.bits = 8;
    } else {
      h.format = render::kImageIndexedGrey;
    }
  }
  // An image drawn with a mask is never turned.
  if (!with_mask) turn(pdev, job, place);
  return send_image(pdev, job);
}

}  // namespace morva::gfx
