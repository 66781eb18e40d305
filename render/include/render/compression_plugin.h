// The binding of the outside compression library, which codes 1-bit images
// in two modes (compression methods 7 and 6). The library is optional: it
// is loaded by path, and without it such images go out uncompressed.
#pragma once

#include "win/types.h"

namespace morva::render {

// The library's entry points, as it exports them by name.
using QzcmpLoadCompressProc = HANDLE (*)();
using QzcmpInitBitmapProc = INT (*)(HANDLE handle, INT mode, INT width, INT height, INT row_bytes);
// Codes `rows` rows of the bitmap; the coded size comes back in `size`.
using QzcmpCompressBitmapProc = INT (*)(HANDLE handle, const BYTE* data, INT rows, DWORD* size);
// Copies the coded bytes (as many as the size reported) to `out`.
using QzcmpGetBitmapProc = INT (*)(HANDLE handle, BYTE* out);
using QzcmpFinishBitmapProc = INT (*)(HANDLE handle);
using QzcmpFreeCompressProc = INT (*)(HANDLE handle);

struct CompressPlugin {
  HMODULE module;
  HANDLE handle;  // from qzcmp_LoadCompress
  QzcmpLoadCompressProc load_compress;
  QzcmpInitBitmapProc init_bitmap;
  QzcmpCompressBitmapProc compress_bitmap;
  QzcmpGetBitmapProc get_bitmap;
  QzcmpFinishBitmapProc finish_bitmap;
  QzcmpFreeCompressProc free_compress;
};

// Loads the library and resolves its six entry points; null (the library
// unloaded again) when it cannot be loaded, an entry point is missing, or
// qzcmp_LoadCompress gives no handle.
CompressPlugin* LoadCompressionPlugin(LPCWSTR path);
// Frees the library's handle, unloads it and frees the binding; answers
// what qzcmp_FreeCompress answered (1 without a binding).
INT UnloadCompressionPlugin(CompressPlugin* binding);

// Calls through the binding; each answers 1 when there is no binding.
INT CompressPlugin_Init(const CompressPlugin* binding, INT mode, INT width, INT height, INT row_bytes);
INT CompressPlugin_Compress(const CompressPlugin* binding, const BYTE* data, INT rows, DWORD* size);
INT CompressPlugin_Get(const CompressPlugin* binding, BYTE* out);
INT CompressPlugin_Finish(const CompressPlugin* binding);

}  // namespace morva::render
