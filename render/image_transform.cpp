#include "render/image_transform.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "win/memory.h"

namespace morva::render {

FlipBuffer* CreateFlipBuffer() { return static_cast<FlipBuffer*>(GlobalAlloc(GPTR, sizeof(FlipBuffer))); }

void FreeFlipBuffer(FlipBuffer* buffer) {
  if (!buffer) return;
  if (buffer->buffer) GlobalFree(buffer->buffer);
  GlobalFree(buffer);
}

INT EnsureFlipBuffer(DWORD bytes, FlipBuffer* buffer) {
  if (!buffer) return 1;
  if (buffer->buffer && buffer->size >= bytes) return 0;
  auto* grown = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, bytes ? bytes : 1));
  if (!grown) return 1;
  if (buffer->buffer) GlobalFree(buffer->buffer);
  buffer->buffer = grown;
  buffer->size = bytes;
  return 0;
}

INT TurnImage(FlipBuffer* buffer, DWORD width, DWORD height, DWORD row_bytes, DWORD bits, const BYTE* data,
              DWORD alignment, BYTE** out) {
  if (!buffer || !data || !out || (bits != 8 && bits != 16 && bits != 24 && bits != 32)) return 1;
  const DWORD n = bits / 8;
  if (alignment == 0) alignment = 1;
  const ULONGLONG new_row = (static_cast<ULONGLONG>(height) * n + alignment - 1) / alignment * alignment;
  const ULONGLONG total = new_row * width;
  if (total > 0xFFFFFFFFull || EnsureFlipBuffer(static_cast<DWORD>(total), buffer) != 0) return 1;
  BYTE* turned = buffer->buffer;
  std::memset(turned, 0, static_cast<std::size_t>(total));
  for (DWORD j = 0; j < height; ++j) {
    const BYTE* src = data + static_cast<std::size_t>(j) * row_bytes;
    const std::size_t column = static_cast<std::size_t>(height - 1 - j) * n;
    for (DWORD i = 0; i < width; ++i) std::memcpy(turned + i * new_row + column, src + i * n, n);
  }
  *out = turned;
  return 0;
}

std::vector<ReduceWeight> ImageReducer_BuildWeights(DWORD m, DWORD n) {
  std::vector<ReduceWeight> w(n);
  DWORD r = 0, s = 0;
  for (DWORD i = 0; i < n; ++i) {
    w[i].start = static_cast<WORD>(s);
    w[i].start_weight = static_cast<WORD>(256 - (r * 256) / n);
    r += m;
    while (r >= n) {
      r -= n;
      ++s;
    }
  }
  for (DWORD i = 0; i + 1 < n; ++i) {
    if (w[i + 1].start_weight == 256) {
      w[i].end = static_cast<WORD>(w[i + 1].start - 1);
      w[i].end_weight = 256;
    } else {
      w[i].end = w[i + 1].start;
      w[i].end_weight = static_cast<WORD>(256 - w[i + 1].start_weight);
    }
  }
  if (n) {
    w[n - 1].end = static_cast<WORD>(m - 1);
    w[n - 1].end_weight = 256;
  }
  return w;
}

struct ImageReducer {
  DWORD mode = 0;
  WORD x_dpi = 0, y_dpi = 0, target = 0;
  WORD src_w = 0, src_h = 0, out_w = 0, out_h = 0;
  std::vector<ReduceWeight> hw, vw;
  std::vector<std::vector<BYTE>> rows;  // buffered rows, already reduced across
  DWORD first_row = 0;                  // source index of rows[0]
  DWORD received = 0, done = 0;
  std::vector<BYTE> output;
};

ImageReducer* ImageReducer_Create() { return new (std::nothrow) ImageReducer; }
void ImageReducer_Destroy(ImageReducer* reducer) { delete reducer; }

INT ImageReducer_Init(ImageReducer* reducer, DWORD mode, DWORD x_dpi, DWORD y_dpi, DWORD target) {
  if (!reducer || mode != 1 || !x_dpi || !y_dpi || !target || x_dpi > 0xFFFF || y_dpi > 0xFFFF || target > 0xFFFF)
    return 0;
  *reducer = ImageReducer{};
  reducer->mode = 1;
  reducer->x_dpi = static_cast<WORD>(x_dpi);
  reducer->y_dpi = static_cast<WORD>(y_dpi);
  reducer->target = static_cast<WORD>(target);
  return 1;
}

namespace {

DWORD axis_output(DWORD src, DWORD dst, DWORD dpi, DWORD target) {
  DWORD out = static_cast<DWORD>(static_cast<ULONGLONG>(target) * dst / dpi);
  if (out < 1) out = 1;
  if (src / out > kReduceMaxRatio) out = src / kReduceMaxRatio + 1;
  return std::min(out, src);
}

// The weighted mean of one byte over a weight entry; `at(i)` gives the
// byte of source pixel i.
template <typename At>
BYTE average(const ReduceWeight& w, At at) {
  DWORD sum = at(w.start) * w.start_weight, total = w.start_weight;
  if (w.end != w.start) {
    for (DWORD i = static_cast<DWORD>(w.start) + 1; i < w.end; ++i) {
      sum += at(i) * 256u;
      total += 256;
    }
    sum += at(w.end) * w.end_weight;
    total += w.end_weight;
  }
  return static_cast<BYTE>((sum + total / 2) / total);
}

}  // namespace

INT ImageReducer_OutputSize(const ImageReducer* reducer, DWORD src_w, DWORD src_h, DWORD dst_w, DWORD dst_h,
                            DWORD* out_w, DWORD* out_h) {
  if (!reducer || reducer->mode != 1 || !src_w || !src_h || !out_w || !out_h) return 0;
  *out_w = axis_output(src_w, dst_w, reducer->x_dpi, reducer->target);
  *out_h = axis_output(src_h, dst_h, reducer->y_dpi, reducer->target);
  return 1;
}

INT ImageReducer_SetSizes(ImageReducer* reducer, DWORD src_w, DWORD src_h, DWORD out_w, DWORD out_h) {
  if (!reducer || reducer->mode != 1 || !src_w || !src_h || !out_w || !out_h || out_w > src_w || out_h > src_h ||
      src_w > 0xFFFF || src_h > 0xFFFF || src_w / out_w > kReduceMaxRatio || src_h / out_h > kReduceMaxRatio)
    return 0;
  reducer->src_w = static_cast<WORD>(src_w);
  reducer->src_h = static_cast<WORD>(src_h);
  reducer->out_w = static_cast<WORD>(out_w);
  reducer->out_h = static_cast<WORD>(out_h);
  reducer->hw = ImageReducer_BuildWeights(src_w, out_w);
  reducer->vw = ImageReducer_BuildWeights(src_h, out_h);
  reducer->rows.clear();
  reducer->first_row = reducer->received = reducer->done = 0;
  reducer->output.assign(static_cast<std::size_t>(out_w) * 3, 0);
  return 1;
}

INT ImageReducer_PutRow(ImageReducer* reducer, const BYTE* row, DWORD bytes, DWORD bits) {
  if (!reducer || !row || bits != 24 || reducer->out_w == 0 || bytes < reducer->src_w * 3u ||
      reducer->done >= reducer->out_h)
    return -1;
  if (reducer->rows.size() >= kReduceMaxRows) return -1;
  std::vector<BYTE> across(static_cast<std::size_t>(reducer->out_w) * 3);
  if (reducer->out_w == reducer->src_w) {
    std::memcpy(across.data(), row, across.size());
  } else {
    for (DWORD i = 0; i < reducer->out_w; ++i)
      for (DWORD c = 0; c < 3; ++c)
        across[3 * i + c] = average(reducer->hw[i], [&](DWORD k) { return static_cast<DWORD>(row[3 * k + c]); });
  }
  if (reducer->rows.empty()) reducer->first_row = reducer->received;
  reducer->rows.push_back(std::move(across));
  ++reducer->received;
  const ReduceWeight& v = reducer->vw[reducer->done];
  if (reducer->received - 1 < v.end) return 0;
  if (reducer->out_h == reducer->src_h) {
    reducer->output = reducer->rows.front();
  } else {
    for (std::size_t b = 0; b < reducer->output.size(); ++b)
      reducer->output[b] = average(v, [&](DWORD k) { return static_cast<DWORD>(reducer->rows[k - reducer->first_row][b]); });
  }
  ++reducer->done;
  // A last row shared with the next output row stays as the first one.
  if (v.end_weight < 256) {
    std::vector<BYTE> last = std::move(reducer->rows.back());
    reducer->rows.clear();
    reducer->rows.push_back(std::move(last));
    reducer->first_row = v.end;
  } else {
    reducer->rows.clear();
  }
  return static_cast<INT>(reducer->output.size());
}

void ImageReducer_GetRow(const ImageReducer* reducer, BYTE* out) {
  if (reducer && out) std::memcpy(out, reducer->output.data(), reducer->output.size());
}

DWORD ImageReducer_OutputWidth(const ImageReducer* reducer) { return reducer ? reducer->out_w : 0; }
DWORD ImageReducer_OutputHeight(const ImageReducer* reducer) { return reducer ? reducer->out_h : 0; }

namespace {

DWORD direction_of_word(WORD word, WORD paper) {
  switch (word) {
    case 0x0101: case 0x0202: return 1;
    case 0x0303: case 0x0404: return 2;
    case 0x0606:
      switch (paper) {
        case 1: case 9: case 13: case 258: case 283: return 2;
        case 3: case 8: case 12: case 257: case 282: return 1;
        default: return 0;
      }
    default: return 0;
  }
}

}  // namespace

DWORD FeedDirectionFromTrayWords(WORD first, WORD second, WORD paper_code) {
  DWORD d = direction_of_word(first, paper_code);
  return d ? d : direction_of_word(second, paper_code);
}

DWORD FeedDirectionFromDatabase(DWORD feed_value, DWORD paper_source, DWORD setting_438) {
  if (feed_value == 1 || feed_value == 2) return feed_value;
  if (feed_value == 3) return paper_source == 4 ? (setting_438 == 1 ? 2 : 1) : 2;
  return 0;
}

DWORD WantedFeedDirection(DWORD layout_kind, DWORD orientation) {
  const DWORD portrait = orientation == 1 ? 1 : 2, other = orientation == 1 ? 2 : 1;
  return layout_kind == 2 || layout_kind == 8 ? portrait : other;
}

DWORD ShouldTurnImagesFor(DWORD feed, DWORD wanted) { return feed != 0 && feed != wanted ? 1 : 0; }

}  // namespace morva::render
