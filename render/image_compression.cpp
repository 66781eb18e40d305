// Image compression: method choice, the run-length and JPEG coders over the
// image scratch space, and the outside library's coder.

#include "render/image_compression.h"

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <new>

#include "render/run_length_code.h"
#include "win/memory.h"

// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>
#include <jerror.h>

namespace morva::render {

// ---- the scratch space in memory ----------------------------------------------

MemoryImageScratch::~MemoryImageScratch() { delete[] data_; }

bool MemoryImageScratch::Open() {
  if (fail_open) return false;
  open_ = true;
  return true;
}

bool MemoryImageScratch::Seek(DWORD position) {
  if (!open_) return false;
  position_ = position;
  return true;
}

bool MemoryImageScratch::Write(const BYTE* data, DWORD bytes) {
  if (!open_ || data == nullptr) return false;
  const std::uint64_t end = std::uint64_t{position_} + bytes;
  const DWORD fits = end > write_limit ? (position_ < write_limit ? write_limit - position_ : 0) : bytes;
  const DWORD new_end = position_ + fits;
  if (new_end > capacity_) {
    const DWORD capacity = std::max<DWORD>(new_end, capacity_ * 2 > capacity_ ? capacity_ * 2 : new_end);
    BYTE* grown = new (std::nothrow) BYTE[capacity];
    if (grown == nullptr) return false;
    if (data_ != nullptr) std::memcpy(grown, data_, size_);
    delete[] data_;
    data_ = grown;
    capacity_ = capacity;
  }
  if (position_ > size_) std::memset(data_ + size_, 0, position_ - size_);
  if (fits > 0) std::memcpy(data_ + position_, data, fits);
  position_ = new_end;
  size_ = std::max(size_, new_end);
  return fits == bytes;
}

DWORD MemoryImageScratch::Read(BYTE* data, DWORD bytes) {
  if (!open_ || data == nullptr || position_ >= size_) return 0;
  const DWORD n = std::min({bytes, size_ - position_, read_limit});
  std::memcpy(data, data_ + position_, n);
  position_ += n;
  return n;
}

// ---- choice ------------------------------------------------------------------------

namespace {

bool is_format(BYTE format, std::initializer_list<BYTE> formats) {
  return std::find(formats.begin(), formats.end(), format) != formats.end();
}

// Bytes of one packed row, 0 for a depth the coders do not take.
DWORD row_bytes(const ImageCompressionRecord* r) {
  switch (r->bits_per_pixel) {
    case 24: return DWORD{r->width} * 3;
    case 8: return r->width;
    case 1: return (DWORD{r->width} + 7) / 8;
    default: return 0;
  }
}

// The record's data holds every row it claims.
bool rows_present(const ImageCompressionRecord* r) {
  const DWORD row = row_bytes(r);
  return row > 0 && r->height > 0 && std::uint64_t{row} * r->height <= *r->length;
}

bool SuitableForRunLength(const ImageCompressionRecord* r) {
  const BYTE f = *r->format;
  return (f == kImageRgb24 && r->bits_per_pixel == 24) ||
         (is_format(f, {kImageGrey8, kImageIndexedGrey, kImageIndexedRgb}) && r->bits_per_pixel == 8);
}

bool SuitableForJpeg(const ImageCompressionRecord* r) {
  const BYTE f = *r->format;
  const bool data = (f == kImageRgb24 && r->bits_per_pixel == 24) ||
                    (is_format(f, {kImageGrey8, kImageIndexedGrey}) && r->bits_per_pixel == 8);
  // Only a plain source copy may be coded lossily.
  return data && r->rop_kind == 2 && r->rop_code == 0xCC;
}

bool SuitableForPlugin(const ImageCompressionRecord* r) {
  return r->plugin != nullptr && is_format(*r->format, {kImageIndexedGrey, kImageIndexedRgb}) &&
         r->bits_per_pixel == 1;
}

}  // namespace

DWORD CompressionMethodFromSetting(DWORD value) {
  switch (value) {
    case 1: return kCompressRunLength;
    case 2: return kCompressJpeg;
    default: return kCompressNone;
  }
}

INT SelectCompression(const ImageCompressionRecord* record, const BYTE* data, DWORD* method) {
  if (record == nullptr || method == nullptr) return -1;
  *method = kCompressNone;
  const DWORD requested = record->requested_method;
  if (!record->has_data || data == nullptr || record->method == nullptr || record->format == nullptr ||
      record->length == nullptr || *record->length < kCompressMinimumBytes || !rows_present(record)) {
    return 0;
  }
  switch (requested) {
    case kCompressRunLength:
      if (SuitableForRunLength(record)) {
        *method = kCompressRunLength;
      } else if (SuitableForPlugin(record)) {
        *method = kCompressPluginMode1;
      }
      break;
    case kCompressJpeg:
      if (SuitableForJpeg(record)) {
        *method = kCompressJpeg;
      } else if (SuitableForRunLength(record)) {
        *method = kCompressRunLength;
      } else if (SuitableForPlugin(record)) {
        *method = kCompressPluginMode1;
      }
      break;
    case kCompressPluginMode1:
    case kCompressPluginMode2:
      if (SuitableForPlugin(record)) *method = requested;
      break;
    default:
      break;
  }
  return 0;
}

// ---- run length ----------------------------------------------------------------------

INT EncodeRunLength(const ImageCompressionRecord* record, BYTE* data) {
  if (record == nullptr || data == nullptr || !rows_present(record)) return kCompressKept;
  const bool rgb = *record->format == kImageRgb24;
  const DWORD row = rgb ? DWORD{record->width} * 3 : record->width;
  if (std::uint64_t{row} * record->height > *record->length) return kCompressKept;
  RunLengthCoder* coder = RunLengthCoder_Create(record->width, record->height, rgb ? 24 : 8);
  if (coder == nullptr) return kCompressKept;
  const DWORD input = *record->length;

  HGLOBAL out_memory = GlobalAlloc(GMEM_FIXED, input);
  if (out_memory != nullptr) {
    auto* out = static_cast<BYTE*>(out_memory);
    DWORD total = 0;
    for (DWORD y = 0; y < record->height; ++y) {
      const LONG n = RunLengthCoder_EncodeRow(coder, data + std::size_t{y} * row, out + total, input - total);
      if (n < 0) {
        RunLengthCoder_Finish(coder, nullptr, 0);
        GlobalFree(out_memory);
        return kCompressKept;
      }
      total += static_cast<DWORD>(n);
    }
    const LONG n = RunLengthCoder_Finish(coder, out + total, input - total);
    if (n < 0) {
      GlobalFree(out_memory);
      return kCompressKept;
    }
    total += static_cast<DWORD>(n);
    std::memcpy(data, out, total);
    GlobalFree(out_memory);
    *record->length = total;
    *record->method = kCompressRunLength;
    return kCompressDone;
  }

  // No memory for the whole output: code row by row through the scratch
  // space, giving up once the coded data is no smaller than the input.
  ImageScratch* scratch = record->scratch;
  const DWORD room = 2 * row;
  BYTE* buffer = new (std::nothrow) BYTE[room];
  if (scratch == nullptr || buffer == nullptr || !scratch->Open() || !scratch->Seek(0)) {
    RunLengthCoder_Finish(coder, nullptr, 0);
    delete[] buffer;
    return kCompressKept;
  }
  std::uint64_t total = 0;
  for (DWORD y = 0; y < record->height; ++y) {
    const LONG n = RunLengthCoder_EncodeRow(coder, data + std::size_t{y} * row, buffer, room);
    if (n < 0 || !scratch->Write(buffer, static_cast<DWORD>(n)) || (total += static_cast<DWORD>(n)) >= input) {
      RunLengthCoder_Finish(coder, nullptr, 0);
      delete[] buffer;
      return kCompressKept;
    }
  }
  const LONG last = RunLengthCoder_Finish(coder, buffer, room);
  INT result = kCompressKept;
  if (last >= 0 && total + static_cast<DWORD>(last) < input) {
    const auto stored = static_cast<DWORD>(total);
    if (!scratch->Seek(0) || scratch->Read(data, stored) != stored) {
      result = kCompressScratchFailed;
    } else {
      std::memcpy(data + stored, buffer, static_cast<DWORD>(last));
      *record->length = stored + static_cast<DWORD>(last);
      *record->method = kCompressRunLength;
      result = kCompressDone;
    }
  }
  delete[] buffer;
  return result;
}

// ---- JPEG ----------------------------------------------------------------------------

namespace {

constexpr DWORD kJpegBlock = 4096;

// Destination manager writing 4096-byte blocks into the scratch space.
struct JpegDest {
  jpeg_destination_mgr pub;
  ImageScratch* scratch;
  JOCTET* buffer;
  DWORD position;  // where the next block goes
  DWORD total;     // bytes coded so far
};

// libjpeg must not go on after an error: the error exit leaves the coder
// through this jump and the image stays uncompressed.
struct JpegError {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

void JpegError_Exit(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1); }
void JpegError_Silent(j_common_ptr) {}

bool JpegDest_Write(JpegDest* dest, DWORD bytes) {
  return dest->scratch->Seek(dest->position) && dest->scratch->Write(dest->buffer, bytes);
}

void JpegDest_Init(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<JpegDest*>(cinfo->dest);
  dest->buffer = static_cast<JOCTET*>(
      (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE, kJpegBlock));
  dest->pub.next_output_byte = dest->buffer;
  dest->pub.free_in_buffer = kJpegBlock;
  dest->position = 0;
  dest->total = 0;
}

boolean JpegDest_EmptyBuffer(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<JpegDest*>(cinfo->dest);
  if (!JpegDest_Write(dest, kJpegBlock)) {
    cinfo->err->msg_code = JERR_FILE_WRITE;
    (*cinfo->err->error_exit)(reinterpret_cast<j_common_ptr>(cinfo));
  }
  dest->position += kJpegBlock;
  dest->total += kJpegBlock;
  dest->pub.next_output_byte = dest->buffer;
  dest->pub.free_in_buffer = kJpegBlock;
  return TRUE;
}

void JpegDest_Term(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<JpegDest*>(cinfo->dest);
  const auto filled = static_cast<DWORD>(kJpegBlock - dest->pub.free_in_buffer);
  if (filled > 0 && !JpegDest_Write(dest, filled)) {
    cinfo->err->msg_code = JERR_FILE_WRITE;
    (*cinfo->err->error_exit)(reinterpret_cast<j_common_ptr>(cinfo));
  }
  dest->position += filled;
  dest->total += filled;
}

void JpegDest_Attach(j_compress_ptr cinfo, JpegDest* dest, ImageScratch* scratch) {
  std::memset(dest, 0, sizeof *dest);
  dest->scratch = scratch;
  dest->pub.init_destination = JpegDest_Init;
  dest->pub.empty_output_buffer = JpegDest_EmptyBuffer;
  dest->pub.term_destination = JpegDest_Term;
  cinfo->dest = &dest->pub;
}

struct JpegJob {
  jpeg_compress_struct cinfo;
  JpegError error;
  JpegDest dest;
  bool created;
  JpegRows rows;
  const JpegBands* bands;  // rows come from here when set
  DWORD width, height;
};

void jpeg_write_all(JpegJob* job) {
  jpeg_create_compress(&job->cinfo);
  job->created = true;
  JpegDest_Attach(&job->cinfo, &job->dest, job->dest.scratch);
  job->cinfo.image_width = job->width;
  job->cinfo.image_height = job->height;
  switch (job->rows.pixels) {
    case JpegPixels::kRgb: job->cinfo.in_color_space = JCS_RGB; break;
    case JpegPixels::kBgr: job->cinfo.in_color_space = JCS_EXT_BGR; break;
    case JpegPixels::kBgrx: job->cinfo.in_color_space = JCS_EXT_BGRX; break;
    case JpegPixels::kGrey: job->cinfo.in_color_space = JCS_GRAYSCALE; break;
  }
  const bool grey = job->rows.pixels == JpegPixels::kGrey;
  job->cinfo.input_components = grey ? 1 : job->rows.pixels == JpegPixels::kBgrx ? 4 : 3;
  // The coded data is YCbCr (or grey) whatever order the rows came in.
  jpeg_set_defaults(&job->cinfo);
  job->cinfo.dct_method = JDCT_IFAST;
  jpeg_set_quality(&job->cinfo, kJpegQuality, TRUE);
  jpeg_start_compress(&job->cinfo, TRUE);
  // Rows go to the coder a batch at a time.
  constexpr DWORD kBatch = 16;
  JSAMPROW lines[kBatch];
  if (job->bands) {
    const std::size_t stride = std::size_t{job->width} * job->cinfo.input_components;
    for (DWORD y = 0; y < job->height;) {
      DWORD n = 0;
      const BYTE* band = (*job->bands)(&n);
      if (band == nullptr || n == 0 || n > job->height - y) {
        job->cinfo.err->msg_code = JERR_INPUT_EMPTY;
        (*job->cinfo.err->error_exit)(reinterpret_cast<j_common_ptr>(&job->cinfo));
      }
      for (DWORD done = 0; done < n;) {
        const DWORD k = std::min(kBatch, n - done);
        for (DWORD i = 0; i < k; ++i) lines[i] = const_cast<BYTE*>(band + (done + i) * stride);
        done += jpeg_write_scanlines(&job->cinfo, lines, k);
      }
      y += n;
    }
    jpeg_finish_compress(&job->cinfo);
    return;
  }
  for (DWORD y = 0; y < job->height;) {
    const DWORD n = std::min(kBatch, job->height - y);
    for (DWORD i = 0; i < n; ++i)
      lines[i] = const_cast<BYTE*>(job->rows.first + static_cast<std::ptrdiff_t>(y + i) * job->rows.stride);
    y += jpeg_write_scanlines(&job->cinfo, lines, n);
  }
  jpeg_finish_compress(&job->cinfo);
}

// True when the whole image was coded into the scratch space.
bool jpeg_run(JpegJob* job) {
  if (setjmp(job->error.jump) != 0) return false;
  jpeg_write_all(job);
  return true;
}

}  // namespace

namespace {

bool code_jpeg(ImageScratch* scratch, DWORD width, DWORD height, const JpegRows& rows, const JpegBands* bands,
               DWORD* coded) {
  if (scratch == nullptr || coded == nullptr || width == 0 || height == 0 || !scratch->Open()) return false;
  auto* job = new (std::nothrow) JpegJob{};
  if (job == nullptr) return false;
  job->cinfo.err = jpeg_std_error(&job->error.pub);
  job->error.pub.error_exit = JpegError_Exit;
  job->error.pub.output_message = JpegError_Silent;
  job->dest.scratch = scratch;
  job->rows = rows;
  job->bands = bands;
  job->width = width;
  job->height = height;
  const bool done = jpeg_run(job);
  *coded = job->dest.total;
  if (job->created) jpeg_destroy_compress(&job->cinfo);
  delete job;
  return done;
}

}  // namespace

bool CodeJpegRows(ImageScratch* scratch, DWORD width, DWORD height, const JpegRows& rows, DWORD* coded) {
  return rows.first != nullptr && code_jpeg(scratch, width, height, rows, nullptr, coded);
}

bool CodeJpegBands(ImageScratch* scratch, DWORD width, DWORD height, JpegPixels pixels, const JpegBands& next,
                   DWORD* coded) {
  if ((pixels != JpegPixels::kRgb && pixels != JpegPixels::kGrey) || !next) return false;
  return code_jpeg(scratch, width, height, JpegRows{nullptr, 0, pixels}, &next, coded);
}

INT EncodeJpeg(const ImageCompressionRecord* record, BYTE* data) {
  if (record == nullptr || data == nullptr || !rows_present(record)) return kCompressKept;
  const bool rgb = *record->format == kImageRgb24;
  const JpegRows rows{data, static_cast<LONG>(rgb ? DWORD{record->width} * 3 : record->width),
                      rgb ? JpegPixels::kRgb : JpegPixels::kGrey};
  DWORD total = 0;
  ImageScratch* scratch = record->scratch;
  if (!CodeJpegRows(scratch, record->width, record->height, rows, &total) || total >= *record->length)
    return kCompressKept;
  if (!scratch->Seek(0) || scratch->Read(data, total) != total) return kCompressScratchFailed;
  *record->length = total;
  *record->format = kImageJpeg;
  *record->method = kCompressJpeg;
  return kCompressDone;
}

// ---- the outside library ----------------------------------------------------------

INT EncodeWithPlugin(const ImageCompressionRecord* record, BYTE* data, DWORD method) {
  if (record == nullptr || data == nullptr || record->plugin == nullptr || !rows_present(record) ||
      record->bits_per_pixel != 1) {
    return kCompressKept;
  }
  const CompressPlugin* plugin = record->plugin;
  const INT mode = method == kCompressPluginMode1 ? 1 : 2;
  const INT row = static_cast<INT>((DWORD{record->width} + 7) / 8);
  DWORD size = 0;
  if (CompressPlugin_Init(plugin, mode, record->width, record->height, row) != 0 ||
      CompressPlugin_Compress(plugin, data, record->height, &size) != 0) {
    return kCompressKept;
  }
  if (size > *record->length) {
    CompressPlugin_Finish(plugin);
    return kCompressKept;
  }
  // The coded bytes land in a buffer of their own and replace the data only
  // when both calls succeed, so that a failure never leaves coded bytes
  // behind data that is declared uncompressed.
  HGLOBAL coded = GlobalAlloc(GMEM_FIXED, size == 0 ? 1 : size);
  if (coded == nullptr) {
    CompressPlugin_Finish(plugin);
    return kCompressKept;
  }
  const INT got = CompressPlugin_Get(plugin, static_cast<BYTE*>(coded));
  const INT finished = CompressPlugin_Finish(plugin);
  if (got != 0 || finished != 0) {
    GlobalFree(coded);
    return kCompressKept;
  }
  std::memcpy(data, coded, size);
  GlobalFree(coded);
  *record->length = size;
  *record->method = static_cast<BYTE>(method);
  return kCompressDone;
}

// ---- running -------------------------------------------------------------------------

INT RunCompression(const ImageCompressionRecord* record, BYTE* data, DWORD method) {
  if (record == nullptr || data == nullptr || record->method == nullptr || record->format == nullptr ||
      record->length == nullptr) {
    return kCompressKept;
  }
  INT result = kCompressKept;
  switch (method) {
    case kCompressRunLength:
      result = EncodeRunLength(record, data);
      break;
    case kCompressJpeg: {
      const DWORD pixels = DWORD{record->width} * record->height;
      bool grey = false;
      if (record->bits_per_pixel == 8 && rows_present(record)) {
        if (*record->format == kImageIndexedGrey) {
          // Indexes become their grey palette bytes; an index beyond the
          // palette leaves the image as it is.
          if (record->palette == nullptr ||
              std::any_of(data, data + pixels, [&](BYTE i) { return i >= record->palette_entries; })) {
            break;
          }
          for (DWORD i = 0; i < pixels; ++i) data[i] = record->palette[data[i]];
          *record->format = kImageGrey8;
        }
        if (*record->format == kImageGrey8) {
          grey = true;
          for (DWORD i = 0; i < pixels; ++i) data[i] = static_cast<BYTE>(255 - data[i]);
        }
      }
      result = EncodeJpeg(record, data);
      if (result == kCompressKept && grey) {
        for (DWORD i = 0; i < pixels; ++i) data[i] = static_cast<BYTE>(255 - data[i]);
      }
      break;
    }
    case kCompressPluginMode1:
    case kCompressPluginMode2:
      result = EncodeWithPlugin(record, data, method);
      break;
    default:
      break;
  }
  if (result == kCompressKept) *record->method = kCompressNone;
  return result;
}

INT CompressImage(const ImageCompressionRecord* record, BYTE* data) {
  DWORD method = kCompressNone;
  if (SelectCompression(record, data, &method) != 0) return kCompressKept;
  if (method == kCompressNone) {
    if (record->method != nullptr) *record->method = kCompressNone;
    return kCompressKept;
  }
  return RunCompression(record, data, method);
}

}  // namespace morva::render
