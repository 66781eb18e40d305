// The render plug-in: loading, the side file of a sheet and the raster the
// plug-in makes of it.
#include "render/render_plugin.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "output/channels.h"
#include "output/document_control.h"
#include "output/spool_stream.h"
#include "render/pdl_operators.h"
#include "render/pdl_writer.h"
#include "settings/common/module_state.h"
#include "settings/database/ddd_queries.h"
#include "win/win.h"

namespace morva::gfx {

struct RenderPluginArea {
  std::u16string dll_name, parameter_name;
  HMODULE module = nullptr;
  RenderPluginEntry entry = nullptr;
  WORD saved_state = 0;
  HANDLE saved_store = INVALID_HANDLE_VALUE;
  BYTE colour = 0, source = 0, paper_code = 0;
  float width = 0, height = 0;  // the page begin's paper size
  DWORD width_dots = 0, height_dots = 0;
  std::u16string side_path, output_path;
  std::vector<BYTE> block1, block2, work, block3;
  bool page_open = false;
};

namespace {

RenderPluginArea* area(PDEV* pdev) {
  return pdev && pdev->document ? static_cast<RenderPluginArea*>(pdev->document->render_plugin) : nullptr;
}

void put32(std::vector<BYTE>& b, std::size_t at, DWORD v) { std::memcpy(b.data() + at, &v, 4); }
void put16(std::vector<BYTE>& b, std::size_t at, WORD v) { std::memcpy(b.data() + at, &v, 2); }

std::string ansi(const std::u16string& text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::u16string module_directory() {
  WCHAR dir[300] = {};
  return GetModuleDirectory(dir, sizeof dir) ? std::u16string(dir) : std::u16string();
}

LONG resolution(PDEV* pdev) {
  const LONG r = PdevGetNumber(pdev, 20);
  return r > 0 ? r : PdevResolution(pdev);
}

DWORD dots(DWORD tenths_mm, LONG res) { return static_cast<DWORD>((tenths_mm * static_cast<DWORD>(res) + 127) / 254); }

bool fill_blocks(PDEV* pdev, RenderPluginArea* a) {
  a->block1.assign(kRenderBlock1Bytes, 0);
  put32(a->block1, 0, kRenderBlock1Bytes);
  const LONG colour = PdevGetNumber(pdev, 270);
  if (colour < 0 || colour > 2) return false;
  put32(a->block1, 4, static_cast<DWORD>(colour));
  static constexpr DWORD kFixed[] = {0, 1, 0, 0, 2, 4, 2, 1, 8, 0, 0, 1, 0, 0, 8, 0, 2, 3, 0, 1, 8192, 0xFF000000};
  std::size_t at = 8;
  for (DWORD v : kFixed) put32(a->block1, at, v), at += 4;
  at += 128;
  put32(a->block1, at, 2);
  a->block2.assign(kRenderBlock2Bytes, 0);
  put32(a->block2, 0, kRenderBlock2Bytes);
  a->work.assign(kRenderWorkBytes, 0);

  a->block3.assign(kRenderBlock3Bytes, 0);
  put32(a->block3, 0, kRenderBlock3Bytes);
  put32(a->block3, 4, 0x1000000);
  put32(a->block3, 8, 0x800000);
  put32(a->block3, 12, 0x800000);
  const LONG res = resolution(pdev);
  for (int i = 0; i < 6; ++i) put16(a->block3, 16 + 2 * i, static_cast<WORD>(res));
  DddValue* paper = nullptr;
  DddPair size{};
  if (DddLoadValueEx(DDD_LOAD_FULL, &pdev->database->main, &pdev->database->linked, DDD_KIND_PAPER, 262, 0, &paper) !=
          DDD_OK ||
      !paper || DddGetPaperSize(paper, &size) != DDD_OK) {
    if (paper) DddFreeValue(&paper, 0xFFFF);
    return false;
  }
  DddFreeValue(&paper, 0xFFFF);
  put16(a->block3, 28, static_cast<WORD>(dots(size.first, res)));
  put16(a->block3, 30, static_cast<WORD>(dots(std::max<DWORD>(size.second, 9000), res)));
  WCHAR temp[kTempPathChars + 1] = {};
  MakeTempFileName(temp, nullptr);
  DeleteFileW(temp);
  std::u16string folder(temp);
  folder = folder.substr(0, folder.find_last_of(u"\\/") + 1);
  const std::string folder_a = ansi(folder).substr(0, 259);
  std::memcpy(a->block3.data() + 32, folder_a.data(), folder_a.size());
  const LONG duplex = PdevGetNumber(pdev, 16);
  const DWORD kind = duplex == 2 ? (PdevGetNumber(pdev, 321) == 2 ? 3 : 2) : duplex == 3 ? 3 : 1;
  put32(a->block3, kRenderBlock3Bytes - 4, kind);
  return true;
}

void delete_file(std::u16string* path) {
  if (!path->empty()) DeleteFileW(path->c_str());
  path->clear();
}

// The raster file as one image, streamed piece by piece; it must hold
// exactly width x height x components bytes.
INT insert_render_output(PDEV* pdev, RenderPluginArea* a) {
  HANDLE f = FileOpen(a->output_path.c_str(), 0);
  if (f == INVALID_HANDLE_VALUE) return -1;
  const DWORD components = a->colour == 2 ? 3 : 1;
  const std::uint64_t expected = std::uint64_t{a->width_dots} * a->height_dots * components;
  const LONGLONG size = FileSeekEnd(f);
  INT r = size >= 0 && static_cast<std::uint64_t>(size) == expected && expected > 0 && expected <= 0xFFFFFFFFu &&
                  FileSeek(f, 0)
              ? 0
              : -1;
  if (r == 0) {
    render::PdlImageHeader h{};
    h.x = h.y = 0;
    const float unit[6] = {1, 0, 0, 1, 0, 0};
    std::memcpy(h.matrix, unit, sizeof unit);
    h.width = a->width_dots;
    h.height = a->height_dots;
    h.mask_kind = 1;
    h.source_kind = 2;
    h.format = a->colour == 2 ? 4 : 3;
    h.bits_per_component = 8;
    h.method = 1;  // the raster is not compressed
    h.data_bytes = static_cast<DWORD>(expected);
    r = PdlWriter_BeginImage(pdev->writer, &h) == 0 ? 0 : -1;
    std::vector<BYTE> piece(32768);
    std::uint64_t left = expected;
    while (r == 0 && left > 0) {
      DWORD got = 0;
      const DWORD want = static_cast<DWORD>(std::min<std::uint64_t>(piece.size(), left));
      if (!FileRead(f, piece.data(), want, &got) || got != want) r = -1;
      else if (PdlWriter_WriteData(pdev->writer, piece.data(), got) != 0) r = -1;
      left -= got;
    }
  }
  FileClose(f);
  return r;
}

}  // namespace

INT LoadRenderPlugin(PDEV* pdev) {
  DocumentControl* d = pdev ? pdev->document : nullptr;
  if (!d) return -1;
  UnloadRenderPlugin(pdev);
  if (!pdev->database) return 0;
  auto* a = new RenderPluginArea;
  WCHAR* dll = nullptr;
  WCHAR* parameters = nullptr;
  bool ok = fill_blocks(pdev, a) && DddGetDatabaseString(&pdev->database->main, 14, &dll) == DDD_OK && dll && *dll &&
            DddGetDatabaseString(&pdev->database->main, 15, &parameters) == DDD_OK && parameters && *parameters;
  if (ok) {
    a->dll_name = dll;
    a->parameter_name = parameters;
  }
  if (dll) GlobalFree(dll);
  if (parameters) GlobalFree(parameters);
  if (ok) {
    a->module = LoadLibraryExW((module_directory() + a->dll_name).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    a->entry = a->module ? morva_proc_as<RenderPluginEntry>(GetProcAddress(a->module, "_callHB@28")) : nullptr;
    ok = a->entry != nullptr;
  }
  if (!ok) {
    if (a->module) FreeLibrary(a->module);
    delete a;
    return -1;
  }
  d->render_plugin = a;
  return 0;
}

void UnloadRenderPlugin(PDEV* pdev) {
  RenderPluginArea* a = area(pdev);
  if (!a) return;
  // A page left in its side file (playback stopped): the file is closed
  // and the stream goes back to where it was.
  if (a->page_open && pdev->stream) {
    CloseStoreFile(pdev->stream, nullptr);
    pdev->stream->store_file = a->saved_store;
    pdev->stream->state = a->saved_state;
    a->page_open = false;
  }
  delete_file(&a->side_path);
  delete_file(&a->output_path);
  if (a->module) FreeLibrary(a->module);
  delete a;
  pdev->document->render_plugin = nullptr;
}

const BYTE* RenderPluginBlock(PDEV* pdev, int which) {
  RenderPluginArea* a = area(pdev);
  if (!a) return nullptr;
  switch (which) {
    case 1: return a->block1.data();
    case 2: return a->block2.data();
    case 3: return a->block3.data();
    default: return nullptr;
  }
}

BOOL IsRenderPluginOn(PDEV* pdev) { return pdev && pdev->document && pdev->document->job.render_plugin; }

BOOL IsRenderPageOpen(PDEV* pdev) {
  RenderPluginArea* a = area(pdev);
  return a && a->page_open;
}

void ToRenderDeviceMatrix(PDEV* pdev, float m[6]) {
  RenderPluginArea* a = area(pdev);
  if (!a || !m) return;
  const float rx = static_cast<float>(resolution(pdev)) / 72.0f, ry = rx;
  m[0] *= rx;
  m[2] *= rx;
  m[4] *= rx;
  m[1] *= -ry;
  m[3] *= -ry;
  m[5] = static_cast<float>(a->height_dots) - ry * m[5];
}

INT RenderPageBegin(PDEV* pdev, const PageBeginRecord& b, BYTE colour, BYTE source) {
  RenderPluginArea* a = area(pdev);
  SpoolStream* s = pdev ? pdev->stream : nullptr;
  if (!a || !s || a->page_open) return -1;
  const LONG res = resolution(pdev);
  a->colour = colour;
  a->source = source;
  a->paper_code = b.paper_code;
  a->width = b.width_mm;
  a->height = b.height_mm;
  // The page begin's size is in millimetres.
  a->width_dots = static_cast<DWORD>(std::lround(b.width_mm * static_cast<float>(res) / 25.4f));
  a->height_dots = static_cast<DWORD>(std::lround(b.height_mm * static_cast<float>(res) / 25.4f));
  if (a->width_dots == 0 || a->height_dots == 0) return -1;
  // From here on the page's bytes go to the side file alone.
  if (DrainDocumentSink(pdev) != 0) return -1;
  WCHAR path[kTempPathChars + 1] = {};
  if (!MakeTempFileName(path, u"QZP")) return -1;
  a->saved_state = s->state;
  a->saved_store = s->store_file;
  s->store_file = INVALID_HANDLE_VALUE;
  DWORD size = 0;
  if (OpenStoreFileAs(s, path, &size, kFileCreateAlways, kStreamSideFile) != 0) {
    s->store_file = a->saved_store;
    s->state = a->saved_state;
    DeleteFileW(path);
    return -1;
  }
  a->side_path = path;
  a->page_open = true;
  return PdlWriter_BeginPage(pdev->writer, colour, source, kRenderPaperCode, static_cast<float>(a->width_dots),
                             static_cast<float>(a->height_dots));
}

INT RenderPageEnd(PDEV* pdev) {
  RenderPluginArea* a = area(pdev);
  SpoolStream* s = pdev ? pdev->stream : nullptr;
  if (!a || !s || !a->page_open) return -1;
  INT r = PdlWriter_EndPage(pdev->writer);
  if (DrainDocumentSink(pdev) != 0) r = -1;
  if (CloseStoreFile(s, nullptr) != 0) r = -1;
  s->store_file = a->saved_store;
  s->state = a->saved_state;
  a->page_open = false;
  if (r == 0) {
    WCHAR out[kTempPathChars + 1] = {};
    if (!MakeTempFileName(out, u"QZP")) r = -1;
    a->output_path = out;
    const std::string side = ansi(a->side_path), output = ansi(a->output_path);
    const std::string parameters = ansi(module_directory() + a->parameter_name);
    if (r == 0 && a->entry(side.c_str(), output.c_str(), a->block1.data(), a->block2.data(), a->block3.data(),
                           a->work.data(), parameters.c_str()) == 0)
      r = -1;
  }
  if (r == 0) {
    // The page as the raster the plug-in made: its own page begin, the
    // image over the whole sheet in points, the sheet end.
    PdlWriter* w = pdev->writer;
    r |= PdlWriter_ResetForPage(w);
    r |= PdlWriter_BeginPage(w, a->colour, a->source, a->paper_code, a->width, a->height);
    const LONG res = resolution(pdev);
    const float m[6] = {72.0f / static_cast<float>(res), 0, 0, -72.0f / static_cast<float>(res), 0,
                        static_cast<float>(a->height_dots) * 72.0f / static_cast<float>(res)};
    r |= PdlWriter_SetMatrix(w, m);
    if (r == 0) r = insert_render_output(pdev, a);
    if (!pdev->document->job.store_mode) r |= PdlWriter_PutFB(w);
    r |= PdlWriter_EndPage(w);
  }
  // Neither file outlives the page, whatever happened.
  delete_file(&a->side_path);
  delete_file(&a->output_path);
  return r == 0 ? 0 : -1;
}

}  // namespace morva::gfx
