// Image compression before the pixel data of an image follows its "Cq"
// header: choosing the method, running the coder, and keeping the data as
// it is whenever coding fails or would not save space.
//
// Methods: 1 none, 4 baseline JPEG (libjpeg), 6 and 7 the two modes of the
// outside compression library, 8 the run-length bit code.
#pragma once

#include <functional>

#include "render/compression_plugin.h"
#include "win/types.h"

namespace morva::render {

// Scratch space of a document's images: JPEG output, and run-length output
// when no memory buffer can be had. It is created on first use and reused
// by every image, each image overwriting it from position 0. The graphics
// driver keeps it in the document's image temp file (render/images.cpp);
// MemoryImageScratch keeps it in memory, with faults for tests.
class ImageScratch {
 public:
  virtual ~ImageScratch() = default;
  // Creates the scratch space when it is not open yet; false when it cannot.
  virtual bool Open() = 0;
  virtual bool Seek(DWORD position) = 0;
  // Writes at the position and advances it; false unless every byte went.
  virtual bool Write(const BYTE* data, DWORD bytes) = 0;
  // Reads at the position and advances it; answers the bytes read.
  virtual DWORD Read(BYTE* data, DWORD bytes) = 0;
};

// The scratch space in memory, with faults that tests can ask for.
class MemoryImageScratch final : public ImageScratch {
 public:
  MemoryImageScratch() = default;
  MemoryImageScratch(const MemoryImageScratch&) = delete;
  MemoryImageScratch& operator=(const MemoryImageScratch&) = delete;
  ~MemoryImageScratch() override;

  bool Open() override;
  bool Seek(DWORD position) override;
  bool Write(const BYTE* data, DWORD bytes) override;
  DWORD Read(BYTE* data, DWORD bytes) override;

  bool is_open() const { return open_; }
  DWORD size() const { return size_; }
  const BYTE* data() const { return data_; }

  // Faults: opening fails; the file holds at most `limit` bytes (writes
  // beyond fall short); reads give at most `limit` bytes each.
  bool fail_open = false;
  DWORD write_limit = 0xFFFFFFFFu;
  DWORD read_limit = 0xFFFFFFFFu;

 private:
  bool open_ = false;
  BYTE* data_ = nullptr;
  DWORD size_ = 0, capacity_ = 0, position_ = 0;
};

// Compression methods and image formats of the image tail.
enum : BYTE {
  kCompressNone = 1,
  kCompressJpeg = 4,
  kCompressPluginMode2 = 6,
  kCompressPluginMode1 = 7,
  kCompressRunLength = 8,
};
enum : BYTE {
  kImageGrey8 = 3,
  kImageRgb24 = 4,
  kImageJpeg = 5,
  kImageIndexedGrey = 10,
  kImageIndexedRgb = 11,
};

// Results of CompressImage and RunCompression.
inline constexpr INT kCompressDone = 0;
inline constexpr INT kCompressKept = 1;
inline constexpr INT kCompressScratchFailed = 4096;

// The data under this many bytes is sent as it is.
inline constexpr DWORD kCompressMinimumBytes = 1024;

// One image, as the image code fills it in. Rows are packed without
// padding: width x 3 bytes for RGB, width bytes at 8 bits, (width + 7) / 8
// at 1 bit.
struct ImageCompressionRecord {
  BOOL has_data;
  DWORD bits_per_pixel;  // 24 for RGB, else the bits per component
  WORD width;
  WORD height;
  BYTE* method;          // the image tail's method byte
  BYTE* format;          // its format byte
  DWORD* length;         // its data length: the bytes of `data`
  DWORD requested_method;
  ImageScratch* scratch;  // the document's image scratch space; may be null
  BYTE rop_kind;          // the cached raster operation
  DWORD rop_code;
  BYTE palette_entry_bits;
  DWORD palette_entries;
  const BYTE* palette;
  const CompressPlugin* plugin;  // null when the library is not bound
};

// The requested method from setting 330: 1 gives 8, 2 gives 4, else 1.
DWORD CompressionMethodFromSetting(DWORD value);

// Chooses the method, then (unless none) runs it: 0 the data was replaced
// by coded data (method, format and length updated), 1 the data stays (the
// method byte becomes 1), 4096 the scratch space failed while reading the
// coded data back (the image has failed).
INT CompressImage(const ImageCompressionRecord* record, BYTE* data);

// 0 with the method in `method` (1 when nothing suits), -1 without a record.
INT SelectCompression(const ImageCompressionRecord* record, const BYTE* data, DWORD* method);
INT RunCompression(const ImageCompressionRecord* record, BYTE* data, DWORD method);

// The coders, each 0 coded, 1 kept, 4096 read-back failure.
INT EncodeRunLength(const ImageCompressionRecord* record, BYTE* data);
INT EncodeJpeg(const ImageCompressionRecord* record, BYTE* data);
INT EncodeWithPlugin(const ImageCompressionRecord* record, BYTE* data, DWORD method);

// The quality JPEG coding uses.
inline constexpr int kJpegQuality = 83;

// Rows the JPEG coder reads in place: row y starts at first + y * stride
// (a bottom-up bitmap has a negative stride), in the given pixel order.
enum class JpegPixels { kRgb, kBgr, kBgrx, kGrey };
struct JpegRows {
  const BYTE* first;
  LONG stride;
  JpegPixels pixels;
};

// Codes width x height pixels into the scratch space from position 0;
// true with the coded bytes in *coded when the whole image was coded.
bool CodeJpegRows(ImageScratch* scratch, DWORD width, DWORD height, const JpegRows& rows, DWORD* coded);

// Rows handed to the JPEG coder a band at a time: the next band's first
// byte with its row count in *rows (packed rows, at most the rows still
// to come); null stops the coding.
using JpegBands = std::function<const BYTE*(DWORD* rows)>;
// Codes width x height pixels (kRgb or kGrey) from the bands into the
// scratch space from position 0; true with the coded bytes in *coded when
// the whole image was coded.
bool CodeJpegBands(ImageScratch* scratch, DWORD width, DWORD height, JpegPixels pixels, const JpegBands& next,
                   DWORD* coded);

}  // namespace morva::render
