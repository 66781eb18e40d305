// The document's binding of the outside compression library.
#include "render/glyph_compression.h"

#include "output/document_control.h"
#include "output/job_settings.h"
#include "settings/gfx/graphics_module.h"
#include "win/memory.h"

namespace morva::gfx {

namespace {
constexpr DWORD kGlyphsFrom = 0x01010801;
constexpr DWORD kImagesFrom = 0x01010901;
constexpr WORD kCompressionLibraryString = 5;
}  // namespace

void BindDocumentCompression(PDEV* pdev) {
  DocumentControl* d = pdev ? pdev->document : nullptr;
  if (!d) return;
  UnbindDocumentCompression(pdev);
  const DWORD version = d->job.pdl_version;
  if (IsRenderPluginOn(pdev) || !IsVersionAtLeast(version, kGlyphsFrom)) return;
  LPWSTR path = BuildConfiguredDllPath(d->printer, kCompressionLibraryString);
  if (!path) return;
  render::CompressPlugin* binding = render::LoadCompressionPlugin(path);
  GlobalFree(path);
  if (!binding) return;
  d->compression = binding;
  d->compression_slots = IsVersionAtLeast(version, kImagesFrom) ? 3 : 1;
}

void UnbindDocumentCompression(PDEV* pdev) {
  DocumentControl* d = pdev ? pdev->document : nullptr;
  if (!d || !d->compression) return;
  render::UnloadCompressionPlugin(static_cast<render::CompressPlugin*>(d->compression));
  d->compression = nullptr;
  d->compression_slots = 0;
}

const render::CompressPlugin* DocumentCompressor(PDEV* pdev, int slot) {
  const DocumentControl* d = pdev ? pdev->document : nullptr;
  if (!d || !d->compression || slot < 0 || slot > 1 || !(d->compression_slots & (1u << slot))) return nullptr;
  return static_cast<const render::CompressPlugin*>(d->compression);
}

}  // namespace morva::gfx
