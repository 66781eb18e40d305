// Binding of the outside compression library through the platform's module
// loader.

#include "render/compression_plugin.h"

#include <new>

#include "win/modules.h"

namespace morva::render {

CompressPlugin* LoadCompressionPlugin(LPCWSTR path) {
  if (path == nullptr || path[0] == 0) return nullptr;
  HMODULE module = LoadLibraryW(path);
  if (module == nullptr) return nullptr;
  CompressPlugin b{};
  b.module = module;
  b.load_compress = morva_proc_as<QzcmpLoadCompressProc>(GetProcAddress(module, "qzcmp_LoadCompress"));
  b.init_bitmap = morva_proc_as<QzcmpInitBitmapProc>(GetProcAddress(module, "qzcmp_InitBitmap"));
  b.compress_bitmap = morva_proc_as<QzcmpCompressBitmapProc>(GetProcAddress(module, "qzcmp_CompressBitmap"));
  b.get_bitmap = morva_proc_as<QzcmpGetBitmapProc>(GetProcAddress(module, "qzcmp_GetBitmap"));
  b.finish_bitmap = morva_proc_as<QzcmpFinishBitmapProc>(GetProcAddress(module, "qzcmp_FinishBitmap"));
  b.free_compress = morva_proc_as<QzcmpFreeCompressProc>(GetProcAddress(module, "qzcmp_FreeCompress"));
  if (b.load_compress && b.init_bitmap && b.compress_bitmap && b.get_bitmap && b.finish_bitmap && b.free_compress) {
    b.handle = b.load_compress();
    if (b.handle != nullptr) {
      auto* binding = new (std::nothrow) CompressPlugin(b);
      if (binding != nullptr) return binding;
      b.free_compress(b.handle);
    }
  }
  FreeLibrary(module);
  return nullptr;
}

INT UnloadCompressionPlugin(CompressPlugin* binding) {
  if (binding == nullptr) return 1;
  const INT result = binding->free_compress(binding->handle);
  FreeLibrary(binding->module);
  delete binding;
  return result;
}

INT CompressPlugin_Init(const CompressPlugin* binding, INT mode, INT width, INT height, INT row_bytes) {
  return binding ? binding->init_bitmap(binding->handle, mode, width, height, row_bytes) : 1;
}

INT CompressPlugin_Compress(const CompressPlugin* binding, const BYTE* data, INT rows, DWORD* size) {
  return binding ? binding->compress_bitmap(binding->handle, data, rows, size) : 1;
}

INT CompressPlugin_Get(const CompressPlugin* binding, BYTE* out) {
  return binding ? binding->get_bitmap(binding->handle, out) : 1;
}

INT CompressPlugin_Finish(const CompressPlugin* binding) {
  return binding ? binding->finish_bitmap(binding->handle) : 1;
}

}  // namespace morva::render
