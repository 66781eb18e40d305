// Images and brushes of the graphics driver.
#include "render/images.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
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
  bool page_decided = false;  // the job fixes the page's colour mode
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

// An image kept whole: a queued image waiting for the page's colour
// conversion, or a 1-bit image for the outside compression library.
struct ImageJob {
  render::PdlImageHeader header{};
  Bytes palette;  // R, G, B per entry, or one grey byte per entry
  Bytes data;
  DWORD bits = 0;  // 24 for RGB, else the index or grey depth
};

void set_matrix(float m[6], float sx, float sy) {
  m[0] = sx;
  m[1] = m[2] = 0;
  m[3] = sy;
  m[4] = m[5] = 0;
}

// Whether the page turns an image of this size.
bool turns(const ImageDocument* doc, std::size_t width, std::size_t height) {
  return doc && doc->turn && doc->flip && width > render::kTurnMinimumSide && height > render::kTurnMinimumSide;
}

// A quarter turn of the header: width and height swap, the image lands at
// the destination's bottom-left corner and the matrix turns with it.
void turn_header(render::PdlImageHeader& h, const RECTL& place) {
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

// The mask of an image drawn with one: its surface and origin.
struct SourceMask {
  SURFOBJ* surface;  // null without a mask
  POINTL origin;
};

// The mask rows of an image, packed to whole bytes a row, a band at a time.
int send_mask_rows(PDEV* pdev, const SourceMask& mask, DWORD width, DWORD height) {
  if (!mask.surface) return 0;
  const std::size_t row_bytes = (width + 7) / 8;
  const DWORD band_rows = static_cast<DWORD>(std::clamp<std::size_t>((std::size_t{1} << 20) / row_bytes, 1, height));
  Bytes band(row_bytes * band_rows);
  for (DWORD y = 0; y < height;) {
    const DWORD n = std::min(band_rows, height - y);
    for (DWORD i = 0; i < n; ++i)
      pack_indices(scan(mask.surface, mask.origin.y + static_cast<LONG>(y + i)), mask.origin.x,
                   static_cast<LONG>(width), 1, 1, band.data() + row_bytes * i);
    if (PdlWriter_WriteData(pdev->writer, band.data(), row_bytes * n) != 0) return -1;
    y += n;
  }
  return 0;
}

// The compression record of an image header, for choosing and running the
// method.
render::ImageCompressionRecord compression_record(PDEV* pdev, render::PdlImageHeader& h, DWORD bits,
                                                  DWORD requested) {
  ImageDocument* doc = images(pdev);
  render::ImageCompressionRecord rec{};
  rec.has_data = h.data_bytes > 0;
  rec.bits_per_pixel = bits;
  rec.width = static_cast<WORD>(h.width);
  rec.height = static_cast<WORD>(h.height);
  rec.method = &h.method;
  rec.format = &h.format;
  rec.length = &h.data_bytes;
  rec.requested_method = requested;
  rec.scratch = doc ? &doc->scratch : nullptr;
  PdlWriter_GetRasterOp(pdev->writer, &rec.rop_kind, &rec.rop_code);
  rec.palette_entry_bits = h.entry_bits;
  rec.palette_entries = static_cast<DWORD>(h.entries);
  rec.palette = h.palette;
  // 1-bit images may go to the outside compression library bound for images.
  rec.plugin = DocumentCompressor(pdev, 1);
  return rec;
}

// A header whose data is no longer indexed drops its palette.
void drop_palette_unless_indexed(render::PdlImageHeader& h) {
  if (h.format == render::kImageIndexedGrey || h.format == render::kImageIndexedRgb) return;
  h.palette = nullptr;
  h.palette_bytes = 0;
  h.entries = 0;
  if (h.format == render::kImageGrey8 || h.format == render::kImageJpeg) h.bits_per_component = 8;
}

// A whole image: compression, then "AV"/"Cq", the mask rows and the data.
BOOL send_image(PDEV* pdev, ImageJob& job, DWORD requested, const SourceMask& mask) {
  auto& h = job.header;
  h.data_bytes = static_cast<DWORD>(job.data.size());
  h.palette = job.palette.empty() ? nullptr : job.palette.data();
  h.palette_bytes = job.palette.size();
  const render::ImageCompressionRecord rec = compression_record(pdev, h, job.bits, requested);
  if (render::CompressImage(&rec, job.data.data()) == render::kCompressScratchFailed) {
    SetLastError(ERROR_WRITE_FAULT);
    return FALSE;
  }
  drop_palette_unless_indexed(h);
  if (PdlWriter_BeginImage(pdev->writer, &h) != 0) return FALSE;
  if (send_mask_rows(pdev, mask, static_cast<DWORD>(h.width), static_cast<DWORD>(h.height)) != 0) return FALSE;
  return PdlWriter_WriteData(pdev->writer, job.data.data(), h.data_bytes) == 0;
}

// Colour classification of an image seen a band of rows at a time;
// nothing is classified once the page's colour is decided, though the
// page colour set goes on counting the colours while it is on.
class BandClassifier {
 public:
  explicit BandClassifier(ImageDocument* doc)
      : doc_(doc), active_(doc && doc->page_colour == 0 && !doc->page_decided) {
    if (doc && !active_) doc->colour_class = kColourClassNone;
  }
  // Rows of RGB (format 4, 24 bits) or indexed data (format 11 with its
  // RGB palette).
  bool Add(const BYTE* pixels, DWORD width, DWORD rows, BYTE format = render::kImageRgb24, DWORD bits = 24,
           const BYTE* palette = nullptr, DWORD entries = 0) {
    if (!doc_ || !doc_->colour_set.enabled) {
      if (!active_ || result_ == kColourClassColour) return true;
    } else if (!active_) {
      // The page's colour is decided, but the set still counts its colours.
      DWORD ignored;
      ClassifyImageColour(&ignored, &doc_->colour_set, true, pixels, width, rows, palette, entries, format, bits);
      return true;
    }
    DWORD band;
    if (ClassifyImageColour(&band, &doc_->colour_set, true, pixels, width, rows, palette, entries, format, bits) != 0)
      return false;
    if (band == kColourClassColour) result_ = kColourClassColour;
    return true;
  }
  // Adds the band starting at row y unless it was added before.
  bool AddFrom(LONG y, const BYTE* pixels, DWORD width, DWORD rows, BYTE format = render::kImageRgb24,
               DWORD bits = 24, const BYTE* palette = nullptr, DWORD entries = 0) {
    if (y < rows_seen_) return true;
    rows_seen_ = y + static_cast<LONG>(rows);
    return Add(pixels, width, rows, format, bits, palette, entries);
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

// ---- image rows, a band at a time ------------------------------------------------
//
// Images are read from the program's bitmap a band of about 1 MB at a
// time, and each band is classified, converted, coded and written before
// the next is read, so that no copy of the whole image is made. Only the
// page's queue, a reduced image that is also turned, and 1-bit images for
// the outside compression library are held whole.

constexpr std::size_t kBandBytes = std::size_t{1} << 20;

LONG band_rows_for(std::size_t row_bytes, DWORD height) {
  return static_cast<LONG>(std::clamp<std::size_t>(kBandBytes / std::max<std::size_t>(row_bytes, 1), 1,
                                                   std::max<DWORD>(height, 1)));
}

// Rows of an upright image, readable in any order from any pixel on: what
// a turn needs to read a band of columns.
class UprightRows {
 public:
  virtual ~UprightRows() = default;
  // Pixels x0 .. x0 + n - 1 of row y, packed from the first byte of out.
  virtual void Read(LONG y, LONG x0, LONG n, BYTE* out) const = 0;
};

// RGB rows (red first) translated from a 16 to 32-bit source.
class SourceRgbRows final : public UprightRows {
 public:
  SourceRgbRows(SURFOBJ* src, POINTL origin, ULONG bits, XLATEOBJ* pxlo)
      : src_(src), origin_(origin), bits_(bits), pxlo_(pxlo) {}
  void Read(LONG y, LONG x0, LONG n, BYTE* out) const override {
    translate_row(scan(src_, origin_.y + y), origin_.x + x0, n, bits_, pxlo_, out);
  }

 private:
  SURFOBJ* src_;
  POINTL origin_;
  ULONG bits_;
  XLATEOBJ* pxlo_;
};

// Palette indices of a 1 to 8-bit source, packed at `out_bits`.
class SourceIndexRows final : public UprightRows {
 public:
  SourceIndexRows(SURFOBJ* src, POINTL origin, ULONG bits, ULONG out_bits)
      : src_(src), origin_(origin), bits_(bits), out_bits_(out_bits) {}
  void Read(LONG y, LONG x0, LONG n, BYTE* out) const override {
    pack_indices(scan(src_, origin_.y + y), origin_.x + x0, n, bits_, out_bits_, out);
  }

 private:
  SURFOBJ* src_;
  POINTL origin_;
  ULONG bits_, out_bits_;
};

// Rows of whole bytes a pixel held in memory.
class MemoryRows final : public UprightRows {
 public:
  MemoryRows(const BYTE* data, std::size_t row_bytes, DWORD pixel_bytes)
      : data_(data), row_bytes_(row_bytes), pixel_bytes_(pixel_bytes) {}
  void Read(LONG y, LONG x0, LONG n, BYTE* out) const override {
    std::memcpy(out, data_ + row_bytes_ * static_cast<std::size_t>(y) + std::size_t{pixel_bytes_} * x0,
                std::size_t{pixel_bytes_} * n);
  }

 private:
  const BYTE* data_;
  std::size_t row_bytes_;
  DWORD pixel_bytes_;
};

// An image's rows in the order they go out, a band at a time.
class BandSource {
 public:
  BandSource(DWORD width, DWORD height, std::size_t row_bytes)
      : width_(width), height_(height), row_bytes_(row_bytes), band_rows_(band_rows_for(row_bytes, height)) {}
  virtual ~BandSource() = default;
  // Back to the first row; false when memory is short.
  bool Start() {
    if (!band_) band_.reset(new (std::nothrow) BYTE[row_bytes_ * static_cast<std::size_t>(band_rows_)]);
    next_ = 0;
    return band_ && Restart();
  }
  // The next band into band(): its rows, 0 after the last, -1 failed.
  LONG Next() {
    if (next_ >= static_cast<LONG>(height_)) return 0;
    const LONG n = Make(next_, std::min(band_rows_, static_cast<LONG>(height_) - next_));
    if (n > 0) next_ += n;
    return n;
  }
  BYTE* band() const { return band_.get(); }
  DWORD width() const { return width_; }
  DWORD height() const { return height_; }
  std::size_t row_bytes() const { return row_bytes_; }
  LONG band_rows() const { return band_rows_; }

 protected:
  virtual bool Restart() { return true; }
  // Makes rows y .. y + n - 1 into the band: n, or -1.
  virtual LONG Make(LONG y, LONG n) = 0;

 private:
  DWORD width_, height_;
  std::size_t row_bytes_;
  LONG band_rows_;
  std::unique_ptr<BYTE[]> band_;
  LONG next_ = 0;
};

// Upright rows as they are.
class UprightBands final : public BandSource {
 public:
  UprightBands(const UprightRows& rows, DWORD width, DWORD height, std::size_t row_bytes)
      : BandSource(width, height, row_bytes), rows_(rows) {}

 protected:
  LONG Make(LONG y, LONG n) override {
    for (LONG i = 0; i < n; ++i) rows_.Read(y + i, 0, static_cast<LONG>(width()), band() + row_bytes() * i);
    return n;
  }

 private:
  const UprightRows& rows_;
};

// An upright image of whole-byte pixels turned a quarter clockwise: row i
// is upright column i read from the bottom row up. A band of rows is a
// band of upright columns, read across every upright row.
class TurnedBands final : public BandSource {
 public:
  TurnedBands(const UprightRows& rows, DWORD upright_width, DWORD upright_height, DWORD pixel_bytes)
      : BandSource(upright_height, upright_width, std::size_t{upright_height} * pixel_bytes),
        rows_(rows), pixel_(pixel_bytes) {}

 protected:
  bool Restart() override {
    if (segment_.empty()) {
      try {
        segment_.resize(std::size_t{pixel_} * static_cast<std::size_t>(band_rows()));
      } catch (const std::bad_alloc&) {
        return false;
      }
    }
    return true;
  }
  LONG Make(LONG i0, LONG n) override {
    const DWORD upright_height = width();
    for (DWORD j = 0; j < upright_height; ++j) {
      rows_.Read(static_cast<LONG>(j), i0, n, segment_.data());
      BYTE* out = band() + std::size_t{upright_height - 1 - j} * pixel_;
      for (LONG t = 0; t < n; ++t) std::memcpy(out + row_bytes() * t, segment_.data() + std::size_t{pixel_} * t, pixel_);
    }
    return n;
  }

 private:
  const UprightRows& rows_;
  DWORD pixel_;
  Bytes segment_;
};

// RGB rows reduced in resolution: source rows go through the reducer until
// a band of output rows is complete.
class ReducedBands final : public BandSource {
 public:
  ReducedBands(const UprightRows& source, DWORD src_w, DWORD src_h, render::ImageReducer* reducer, DWORD out_w,
               DWORD out_h)
      : BandSource(out_w, out_h, std::size_t{out_w} * 3), source_(source), src_w_(src_w), src_h_(src_h),
        reducer_(reducer) {}

 protected:
  bool Restart() override {
    if (row_.empty()) {
      try {
        row_.resize(std::size_t{src_w_} * 3);
      } catch (const std::bad_alloc&) {
        return false;
      }
    }
    next_source_ = 0;
    return render::ImageReducer_SetSizes(reducer_, src_w_, src_h_, width(), height()) != 0;
  }
  LONG Make(LONG, LONG n) override {
    LONG done = 0;
    while (done < n && next_source_ < src_h_) {
      source_.Read(static_cast<LONG>(next_source_++), 0, static_cast<LONG>(src_w_), row_.data());
      const INT r = render::ImageReducer_PutRow(reducer_, row_.data(), static_cast<DWORD>(row_.size()), 24);
      if (r < 0) return -1;
      if (r > 0) render::ImageReducer_GetRow(reducer_, band() + row_bytes() * done++);
    }
    return done == n ? n : -1;
  }

 private:
  const UprightRows& source_;
  DWORD src_w_, src_h_;
  render::ImageReducer* reducer_;
  Bytes row_;
  DWORD next_source_ = 0;
};

// What the bands of an image are before they go out: RGB (format 4) or
// palette indices (format 11) at `bits`, and whether they are classified
// and colour converted on the way.
struct BandFormat {
  BYTE format;
  DWORD bits;
  const BYTE* palette;  // the RGB palette of indexed bands, for classification
  DWORD entries;
  bool classify;
  bool convert;
};

// Bands classified, then colour converted (RGB bands may become one grey
// byte a pixel).
class OutputBands {
 public:
  OutputBands(BandSource& source, ImageDocument* doc, const BandFormat& format)
      : source_(source), format_(format), colour_(doc ? doc->colour : nullptr),
        classifier_(format.classify ? doc : nullptr),
        grey_(format.format == render::kImageRgb24 && format.convert &&
              ColourContext_RgbImagesBecomeGrey(colour_)) {}
  bool Start() {
    y_ = 0;
    return source_.Start();
  }
  LONG Next() {
    const LONG n = source_.Next();
    if (n <= 0) return n;
    BYTE* band = source_.band();
    if (!classifier_.AddFrom(y_, band, width(), static_cast<DWORD>(n), format_.format, format_.bits, format_.palette,
                             format_.entries)) {
      SetLastError(ERROR_INVALID_DATA);
      return -1;
    }
    y_ += n;
    if (format_.format == render::kImageRgb24 && format_.convert &&
        ColourContext_ConvertImageBand(colour_, band, width() * static_cast<DWORD>(n)) < 0)
      return -1;
    return n;
  }
  // Every row was seen: the classification stands.
  void Finish() { classifier_.Finish(); }
  BYTE* band() const { return source_.band(); }
  DWORD width() const { return source_.width(); }
  DWORD height() const { return source_.height(); }
  bool grey() const { return grey_; }
  // The format and depth the bands go out in.
  BYTE out_format() const { return grey_ ? static_cast<BYTE>(render::kImageGrey8) : format_.format; }
  DWORD out_bits() const { return grey_ ? 8 : format_.bits; }
  std::size_t row_bytes() const { return grey_ ? width() : source_.row_bytes(); }
  std::size_t max_band_bytes() const { return source_.row_bytes() * static_cast<std::size_t>(source_.band_rows()); }

 private:
  BandSource& source_;
  BandFormat format_;
  const ColourContext* colour_;
  BandClassifier classifier_;
  bool grey_;
  LONG y_ = 0;
};

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

// The header of an image sent from its source.
render::PdlImageHeader source_header(const RECTL& place, const float matrix[6], DWORD width, DWORD height) {
  render::PdlImageHeader h{};
  h.x = static_cast<float>(place.left);
  h.y = static_cast<float>(place.top);
  std::copy(matrix, matrix + 6, h.matrix);
  h.width = width;
  h.height = height;
  h.mask_kind = 1;
  h.source_kind = 2;
  h.format = render::kImageRgb24;
  h.bits_per_component = 8;
  h.method = render::kCompressNone;
  return h;
}

// Sends the coded bytes after the header and the mask rows: from the
// scratch space when some went there, else from the piece.
int send_coded(PDEV* pdev, render::PdlImageHeader& h, const SourceMask& mask, Bytes& piece, DWORD in_piece,
               DWORD spilled) {
  ImageDocument* doc = images(pdev);
  if (PdlWriter_BeginImage(pdev->writer, &h) != 0) return -1;
  if (send_mask_rows(pdev, mask, static_cast<DWORD>(h.width), static_cast<DWORD>(h.height)) != 0) return -1;
  if (spilled)
    return send_from_scratch(pdev, &doc->scratch, spilled, piece.data(), static_cast<DWORD>(piece.size())) == 0 ? 1
                                                                                                                : -1;
  return PdlWriter_WriteData(pdev->writer, piece.data(), in_piece) == 0 ? 1 : -1;
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
  render::PdlImageHeader h =
      source_header(place, matrix, static_cast<DWORD>(width), static_cast<DWORD>(height));
  h.format = render::kImageJpeg;
  h.method = render::kCompressJpeg;
  h.data_bytes = coded;
  if (PdlWriter_BeginImage(pdev->writer, &h) != 0) return -1;
  return send_from_scratch(pdev, &doc->scratch, coded, piece.get(), piece_bytes) == 0 ? 1 : -1;
}

// Run-length codes the bands into memory, a piece going to the scratch
// space whenever it fills; true with the coded length when the code is
// shorter than the rows. Once some went to the scratch space, all of it
// goes there: the piece is then the buffer it is read back through.
bool run_length_code(ImageDocument* doc, OutputBands& bands, std::size_t raw, Bytes& piece, DWORD* in_piece,
                     DWORD* spilled) {
  if (!bands.Start()) return false;
  render::RunLengthCoder* coder = render::RunLengthCoder_Create(bands.width(), bands.height(), bands.out_bits());
  if (!coder) return false;
  const DWORD room = static_cast<DWORD>(2 * bands.row_bytes() + 64);
  try {
    piece.resize(std::max<std::size_t>(kScratchPiece, 2 * room));
  } catch (const std::bad_alloc&) {
    render::RunLengthCoder_Finish(coder, nullptr, 0);
    return false;
  }
  DWORD used = 0, stored = 0;
  auto make_room = [&]() {
    if (piece.size() - used >= room) return true;
    if ((stored == 0 && (!doc->scratch.Open() || !doc->scratch.Seek(0))) || !doc->scratch.Write(piece.data(), used))
      return false;
    stored += used;
    used = 0;
    return true;
  };
  bool ok = true;
  for (LONG n; ok && (n = bands.Next()) != 0;) {
    ok = n > 0;
    for (LONG i = 0; i < n && ok; ++i) {
      ok = make_room();
      const LONG coded = ok ? render::RunLengthCoder_EncodeRow(coder, bands.band() + bands.row_bytes() * i,
                                                               piece.data() + used, static_cast<DWORD>(piece.size() - used))
                            : -1;
      ok = coded >= 0 && std::size_t{stored} + used + static_cast<DWORD>(coded) < raw;
      if (ok) used += static_cast<DWORD>(coded);
    }
  }
  if (!ok || !make_room()) {
    render::RunLengthCoder_Finish(coder, nullptr, 0);
    return false;
  }
  const LONG last = render::RunLengthCoder_Finish(coder, piece.data() + used, static_cast<DWORD>(piece.size() - used));
  if (last < 0 || std::size_t{stored} + used + static_cast<DWORD>(last) >= raw) return false;
  used += static_cast<DWORD>(last);
  if (stored) {
    if (!doc->scratch.Write(piece.data(), used)) return false;
    stored += used;
    used = 0;
  }
  *in_piece = used;
  *spilled = stored;
  return true;
}

// JPEG codes the bands into the scratch space; grey data goes in as its
// complement, indexed grey data through its palette. True with the coded
// length when the code is shorter than the rows.
bool jpeg_code(ImageDocument* doc, OutputBands& bands, const render::PdlImageHeader& h, std::size_t raw,
               DWORD* coded) {
  if (!bands.Start()) return false;
  const bool rgb = h.format == render::kImageRgb24;
  const bool indexed = h.format == render::kImageIndexedGrey;
  const auto next = [&](DWORD* rows) -> const BYTE* {
    const LONG n = bands.Next();
    if (n <= 0) return nullptr;
    BYTE* band = bands.band();
    if (!rgb) {
      const std::size_t count = bands.row_bytes() * static_cast<std::size_t>(n);
      for (std::size_t i = 0; i < count; ++i) {
        if (indexed) {
          if (band[i] >= h.entries) return nullptr;
          band[i] = h.palette[band[i]];
        }
        band[i] = static_cast<BYTE>(255 - band[i]);
      }
    }
    *rows = static_cast<DWORD>(n);
    return band;
  };
  return render::CodeJpegBands(&doc->scratch, bands.width(), bands.height(),
                               rgb ? render::JpegPixels::kRgb : render::JpegPixels::kGrey, next, coded) &&
         *coded < raw;
}

// Sends an image whose rows come a band at a time: the method is chosen for
// its data as for a whole image, the rows are coded (or written) as they
// come, and a code that would not be smaller leaves the rows as they are.
// 1 sent, -1 failed.
int send_bands(PDEV* pdev, render::PdlImageHeader h, OutputBands& bands, DWORD requested, const SourceMask& mask) {
  ImageDocument* doc = images(pdev);
  const std::size_t raw = bands.row_bytes() * bands.height();
  // The data length is a 32-bit field of the image header.
  if (raw > 0xFFFFFFFFu) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  h.width = bands.width();
  h.height = bands.height();
  // RGB bands decide their format (grey after conversion); indexed ones
  // keep the header's (grey when their palette became grey).
  if (bands.out_format() != render::kImageIndexedRgb) h.format = bands.out_format();
  h.method = render::kCompressNone;
  h.data_bytes = static_cast<DWORD>(raw);
  if (bands.grey()) h.bits_per_component = 8;
  if (mask.surface) {
    h.mask_kind = 2;
    h.mask_bytes = static_cast<DWORD>((std::size_t{bands.width()} + 7) / 8 * bands.height());
  }
  // The method chosen as for a whole image.
  render::PdlImageHeader choice = h;
  const render::ImageCompressionRecord rec = compression_record(pdev, choice, bands.out_bits(), requested);
  DWORD method = render::kCompressNone;
  const BYTE any = 0;
  if (!doc || render::SelectCompression(&rec, &any, &method) != 0) method = render::kCompressNone;
  if (method == render::kCompressPluginMode1 || method == render::kCompressPluginMode2) {
    // The outside library codes a whole 1-bit image at once.
    ImageJob job;
    job.header = h;
    job.bits = bands.out_bits();
    job.palette.assign(h.palette, h.palette + h.palette_bytes);
    try {
      job.data.resize(raw);
    } catch (const std::bad_alloc&) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return -1;
    }
    if (!bands.Start()) return -1;
    std::size_t at = 0;
    for (LONG n; (n = bands.Next()) != 0; at += bands.row_bytes() * static_cast<std::size_t>(n)) {
      if (n < 0) return -1;
      std::memcpy(job.data.data() + at, bands.band(), bands.row_bytes() * static_cast<std::size_t>(n));
    }
    bands.Finish();
    return send_image(pdev, job, requested, mask) ? 1 : -1;
  }
  if (method == render::kCompressRunLength) {
    Bytes piece;
    DWORD in_piece = 0, spilled = 0;
    if (run_length_code(doc, bands, raw, piece, &in_piece, &spilled)) {
      bands.Finish();
      h.method = render::kCompressRunLength;
      h.data_bytes = spilled + in_piece;
      return send_coded(pdev, h, mask, piece, in_piece, spilled);
    }
  } else if (method == render::kCompressJpeg) {
    DWORD coded = 0;
    if (jpeg_code(doc, bands, h, raw, &coded)) {
      bands.Finish();
      h.format = render::kImageJpeg;
      h.method = render::kCompressJpeg;
      h.data_bytes = coded;
      drop_palette_unless_indexed(h);
      Bytes piece(std::min(coded, kScratchPiece));
      return send_coded(pdev, h, mask, piece, 0, coded);
    }
  }
  // As the rows are.
  if (!bands.Start()) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return -1;
  }
  if (PdlWriter_BeginImage(pdev->writer, &h) != 0) return -1;
  if (send_mask_rows(pdev, mask, bands.width(), bands.height()) != 0) return -1;
  for (LONG n; (n = bands.Next()) != 0;) {
    if (n < 0) return -1;
    if (PdlWriter_WriteData(pdev->writer, bands.band(), bands.row_bytes() * static_cast<std::size_t>(n)) != 0)
      return -1;
  }
  bands.Finish();
  return 1;
}

// Classification of a 16 to 32-bit source read in place, a band at a time.
INT classify_source(PDEV* pdev, SURFOBJ* src, POINTL so, LONG width, LONG height, ULONG bits, XLATEOBJ* pxlo) {
  const SourceRgbRows rows(src, so, bits, pxlo);
  UprightBands bands(rows, static_cast<DWORD>(width), static_cast<DWORD>(height), static_cast<std::size_t>(width) * 3);
  OutputBands out(bands, images(pdev), BandFormat{render::kImageRgb24, 24, nullptr, 0, true, false});
  if (!out.Start()) return -1;
  for (LONG n; (n = out.Next()) != 0;)
    if (n < 0) return -1;
  out.Finish();
  return 0;
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
  // Off and empty until a page starts it.
  render::PageColourSet_Init(&doc->colour_set, 0, 0, 0);
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
  // feed words give it. A device without an output-paper setting leaves the
  // sheet's code 0: its sheet is the page's paper, as when it follows the page.
  const PageState& page = d->page;
  const WORD sheet = page.sheet.paper_code;
  const WORD paper = sheet == kPaperFollowsPage || sheet == 0 ? page.page.paper_code : sheet;
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
  const DocumentControl* d = pdev->document;
  // The colour of a sheet is decided over all its cells: only its first
  // page starts it again. The colour set counts while the job asks the
  // device for a colour count (the device colour override, with its
  // limit and kind); otherwise, or with a limit it cannot hold, it is off.
  if (!d || d->cells_on_sheet == 0) {
    doc->page_colour = 0;
    // A job of a fixed colour mode has nothing to classify.
    doc->page_decided = d && d->page_colour_mode != 0;
    const JobSettings* job = d ? &d->job : nullptr;
    if (!job || render::PageColourSet_Init(&doc->colour_set, job->device_colour_override, job->override_value,
                                           job->override_kind) != 0)
      render::PageColourSet_Disable(&doc->colour_set);
  }
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
    // Each queued image goes out from its own rows, turned when the page
    // turns images; it was classified when it was queued.
    const DWORD width = static_cast<DWORD>(job.header.width), height = static_cast<DWORD>(job.header.height);
    const DWORD pixel = job.bits / 8;
    const MemoryRows rows(job.data.data(), std::size_t{width} * pixel, pixel);
    const BandFormat format{job.header.format, job.bits, nullptr, 0, false, false};
    render::PdlImageHeader h = job.header;
    int sent;
    if (turns(doc, width, height)) {
      turn_header(h, q.place);
      TurnedBands turning(rows, width, height, pixel);
      OutputBands bands(turning, doc, format);
      sent = send_bands(pdev, h, bands, doc->requested_method, SourceMask{nullptr, {}});
    } else {
      UprightBands upright(rows, width, height, std::size_t{width} * pixel);
      OutputBands bands(upright, doc, format);
      sent = send_bands(pdev, h, bands, doc->requested_method, SourceMask{nullptr, {}});
    }
    if (sent <= 0) return -1;
    // The image's rows are freed as soon as it is out.
    job.data = Bytes();
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

INT DetectSolidColour(PDEV* pdev, DWORD rgb) {
  ImageDocument* doc = images(pdev);
  if (!doc) return 0;
  const BYTE px[3] = {static_cast<BYTE>(rgb >> 16), static_cast<BYTE>(rgb >> 8), static_cast<BYTE>(rgb)};
  BandClassifier classifier(doc);
  if (!classifier.Add(px, 1, 1)) return -1;
  classifier.Finish();
  return 0;
}

INT ConvertSolidColour(PDEV* pdev, DWORD rgb, BYTE* space, DWORD* packed, DWORD object_kind) {
  if (DetectSolidColour(pdev, rgb) != 0) return -1;
  BYTE px[3] = {static_cast<BYTE>(rgb >> 16), static_cast<BYTE>(rgb >> 8), static_cast<BYTE>(rgb)};
  BYTE out[3];
  INT r = ColourContext_ConvertColour(colour_context(pdev), pdev, px, out, 1, 1, object_kind);
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

INT ConvertTextColour(PDEV* pdev, DWORD rgb, BYTE* space, DWORD* packed) {
  if (!space || !packed) return -1;
  if (!IsOutputSuppressed(pdev)) return ConvertSolidColour(pdev, rgb, space, packed, kColourObjectLineArt);
  if (DetectSolidColour(pdev, rgb) != 0) return -1;
  *space = render::kPdlSpaceRgb;
  *packed = rgb & 0xFFFFFF;
  return 0;
}

namespace {

int set_solid(PDEV* pdev, BYTE target, DWORD rgb, DWORD object_kind = kColourObjectLineArt) {
  BYTE space;
  DWORD packed;
  if (ConvertSolidColour(pdev, rgb, &space, &packed, object_kind) != 0) return -1;
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
  const DWORD packed = static_cast<DWORD>(rgb[0]) << 16 | static_cast<DWORD>(rgb[1]) << 8 | rgb[2];
  if (DetectSolidColour(pdev, packed) != 0) return -1;
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
  if (ImageDocument* doc = images(pdev)) {
    BandClassifier classifier(doc);
    if (!classifier.Add(rgb.data(), rb.width, rb.height)) return FALSE;
    classifier.Finish();
  }
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
    // The stencil paints the image's colour.
    if (set_solid(pdev, 2, pbo->iSolidColor & 0xFFFFFF, kColourObjectImage) != 0) return FALSE;
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
    // A set bit marks a white pixel; the rows go out a band at a time.
    const std::size_t row_bytes = (static_cast<std::size_t>(src_w) + 7) / 8;
    BYTE polarity = rop_code == 0xB8 ? 1 : 0;
    if (bits == 1 && palette[0] != 0) polarity ^= 1;
    float m[6];
    set_matrix(m, static_cast<float>(src_w) / dst_w, static_cast<float>(src_h) / dst_h);
    if (PdlWriter_PutStencil(w, static_cast<float>(place.left), static_cast<float>(place.top), static_cast<std::size_t>(src_w),
                             static_cast<std::size_t>(src_h), polarity, m,
                             static_cast<DWORD>(row_bytes * static_cast<std::size_t>(src_h))) != 0)
      return FALSE;
    const LONG band_rows = band_rows_for(row_bytes, static_cast<DWORD>(src_h));
    Bytes band(row_bytes * static_cast<std::size_t>(band_rows));
    for (LONG y0 = 0; y0 < src_h; y0 += band_rows) {
      const LONG n = std::min(band_rows, src_h - y0);
      std::fill(band.begin(), band.end(), 0);
      for (LONG i = 0; i < n; ++i) {
        BYTE* out = band.data() + row_bytes * static_cast<std::size_t>(i);
        const BYTE* row = scan(src, so.y + y0 + i);
        if (bits == 1) {
          pack_indices(row, so.x, src_w, 1, 1, out);
          continue;
        }
        for (LONG x = 0; x < src_w; ++x) {
          DWORD c = bits <= 8 ? palette[index_at(row, so.x + x, bits)] : colour_at(row, so.x + x, bits, pxlo);
          if (c == 0xFFFFFF) out[x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
        }
      }
      if (PdlWriter_WriteData(w, band.data(), row_bytes * static_cast<std::size_t>(n)) != 0) return FALSE;
    }
    return TRUE;
  }

  // Resolution reduction of plain copies of deep sources.
  std::unique_ptr<render::ImageReducer, void (*)(render::ImageReducer*)> reducer(nullptr, render::ImageReducer_Destroy);
  DWORD out_w = static_cast<DWORD>(src_w), out_h = static_cast<DWORD>(src_h);
  if (rop_kind == 2 && rop_code == 0xCC && bits >= 16 && PdevGetNumber(pdev, kDdmidReduce) &&
      PdevGetNumber(pdev, kDdmidReduceTarget) > 0) {
    reducer.reset(render::ImageReducer_Create());
    // A printer whose settings hold no resolution prints at the PDEV's.
    auto resolution = [pdev](WORD id) {
      const LONG dpi = PdevGetNumber(pdev, id);
      return static_cast<DWORD>(dpi > 0 ? dpi : PdevResolution(pdev));
    };
    DWORD ow, oh;
    if (reducer &&
        render::ImageReducer_Init(reducer.get(), 1, resolution(kDdmidResolutionX), resolution(kDdmidResolutionY),
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
  if (out_w > 0xFFFF || out_h > 0xFFFF) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  float matrix[6];
  set_matrix(matrix, static_cast<float>(out_w) / dst_w, static_cast<float>(out_h) / dst_h);

  // A photo asked for as JPEG is coded straight from the source when
  // nothing else changes its pixels.
  bool classified = false;
  DWORD requested = doc ? doc->requested_method : static_cast<DWORD>(render::kCompressNone);
  if (!reducer && !queue && doc && doc->requested_method == render::kCompressJpeg && rop_kind == 2 &&
      rop_code == 0xCC && (bits == 24 || bits == 32) && trivial(pxlo) && ColourContext_KeepsRgbImages(doc->colour) &&
      !turns(doc, out_w, out_h) && std::size_t{out_w} * out_h * 3 >= render::kCompressMinimumBytes) {
    if (classify_source(pdev, src, so, src_w, src_h, bits, pxlo) != 0) {
      SetLastError(ERROR_INVALID_DATA);
      return FALSE;
    }
    classified = true;
    const int sent = send_jpeg_from_source(pdev, src, so, src_w, src_h, bits, place, matrix);
    if (sent != 0) return sent > 0;
    requested = render::kCompressNone;
  }
  const bool with_mask = rop_kind == 3 && mask && mask->pvScan0 && mask->iBitmapFormat == BMF_1BPP;
  const SourceMask source_mask{with_mask ? mask : nullptr, mo};
  // An image drawn with a mask is never turned.
  const bool turned = !with_mask && turns(doc, out_w, out_h);
  render::PdlImageHeader h = source_header(place, matrix, out_w, out_h);

  if (bits >= 16) {
    const SourceRgbRows upright(src, so, bits, pxlo);
    UprightBands plain(upright, static_cast<DWORD>(src_w), static_cast<DWORD>(src_h), static_cast<std::size_t>(src_w) * 3);
    std::optional<ReducedBands> reduced;
    if (reducer)
      reduced.emplace(upright, static_cast<DWORD>(src_w), static_cast<DWORD>(src_h), reducer.get(), out_w, out_h);
    BandSource& upright_bands = reduced ? static_cast<BandSource&>(*reduced) : plain;
    // The page's colour conversion needs the queued image whole; without
    // memory for it the queue goes out and the image is drawn directly.
    std::shared_ptr<ImageJob> job;
    if (queue) {
      try {
        job = std::make_shared<ImageJob>();
        job->data.resize(std::size_t{out_w} * 3 * out_h);
      } catch (const std::bad_alloc&) {
        job.reset();
        if (FlushQueuedImages(pdev, FALSE) != 0 || !ApplyClip(pdev, pco, &bounds)) return FALSE;
      }
    }
    if (job) {
      job->header = h;
      job->bits = 24;
      OutputBands bands(upright_bands, doc, BandFormat{render::kImageRgb24, 24, nullptr, 0, true, false});
      if (!bands.Start()) return FALSE;
      std::size_t at = 0;
      for (LONG n; (n = bands.Next()) != 0; at += bands.row_bytes() * static_cast<std::size_t>(n)) {
        if (n < 0) return FALSE;
        std::memcpy(job->data.data() + at, bands.band(), bands.row_bytes() * static_cast<std::size_t>(n));
      }
      bands.Finish();
      QueuedImage q{};
      q.job = std::move(job);
      q.clip = std::move(clip);
      q.bounds = bounds;
      q.place = place;
      q.grey = (plan & kPlanInvertedGrey) != 0;
      doc->queue.push_back(std::move(q));
      return TRUE;
    }
    const BandFormat format{render::kImageRgb24, 24, nullptr, 0, !classified, true};
    if (!turned) {
      OutputBands bands(upright_bands, doc, format);
      return send_bands(pdev, h, bands, requested, source_mask) > 0;
    }
    turn_header(h, place);
    if (!reduced) {
      TurnedBands turning(upright, out_w, out_h, 3);
      OutputBands bands(turning, doc, format);
      return send_bands(pdev, h, bands, requested, source_mask) > 0;
    }
    // A reduced image is turned from one whole copy of its reduced rows:
    // the reducer gives its rows only in order.
    Bytes whole;
    try {
      whole.resize(std::size_t{out_w} * 3 * out_h);
    } catch (const std::bad_alloc&) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return FALSE;
    }
    if (!reduced->Start()) return FALSE;
    std::size_t at = 0;
    for (LONG n; (n = reduced->Next()) != 0; at += reduced->row_bytes() * static_cast<std::size_t>(n)) {
      if (n < 0) return FALSE;
      std::memcpy(whole.data() + at, reduced->band(), reduced->row_bytes() * static_cast<std::size_t>(n));
    }
    const MemoryRows held(whole.data(), std::size_t{out_w} * 3, 3);
    TurnedBands turning(held, out_w, out_h, 3);
    OutputBands bands(turning, doc, format);
    return send_bands(pdev, h, bands, requested, source_mask) > 0;
  }

  // Indexed sources: 4-bit indices are widened to bytes when compression is
  // requested, and then ask for the run-length code.
  const bool widened = bits == 4 && requested != render::kCompressNone;
  const DWORD out_bits = widened ? 8 : bits;
  if (widened) requested = render::kCompressRunLength;
  Bytes rgb_palette, out_palette;
  for (ULONG c : palette)
    rgb_palette.insert(rgb_palette.end(), {static_cast<BYTE>(c >> 16), static_cast<BYTE>(c >> 8), static_cast<BYTE>(c)});
  out_palette = rgb_palette;
  h.format = render::kImageIndexedRgb;
  h.entry_bits = 8;
  h.entries = palette.size();
  h.bits_per_component = static_cast<BYTE>(out_bits);
  // Colour conversion of the palette: a grey answer makes it one byte an
  // entry.
  const bool plain_copy = rop_kind == 2 && rop_code == 0xCC && !with_mask;
  Bytes no_data;
  const INT cr = ColourContext_ConvertImage(doc ? doc->colour : nullptr, pdev, &no_data, &out_palette,
                                            render::kImageIndexedRgb, out_w, out_h, plain_copy);
  if (cr < 0) return FALSE;
  if (cr == 2) h.format = render::kImageIndexedGrey;
  h.palette = out_palette.data();
  h.palette_bytes = out_palette.size();
  const BandFormat format{render::kImageIndexedRgb, out_bits, rgb_palette.data(), static_cast<DWORD>(palette.size()),
                          true, false};
  const SourceIndexRows upright(src, so, bits, out_bits);
  if (turned && out_bits == 8) {
    turn_header(h, place);
    TurnedBands turning(upright, out_w, out_h, 1);
    OutputBands bands(turning, doc, format);
    return send_bands(pdev, h, bands, requested, source_mask) > 0;
  }
  UprightBands plain(upright, out_w, out_h, (std::size_t{out_w} * out_bits + 7) / 8);
  OutputBands bands(plain, doc, format);
  return send_bands(pdev, h, bands, requested, source_mask) > 0;
}

}  // namespace morva::gfx
