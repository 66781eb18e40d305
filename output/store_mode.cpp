// Store mode's document end and the folder of the store file.
#include "output/store_mode.h"

#include "output/document_control.h"
#include "output/page_recording.h"
#include "output/recorded_pages.h"
#include "output/spool_stream.h"
#include "render/pdl_operators.h"
#include "render/pdl_writer.h"
#include "settings/common/module_state.h"
#include "win/win.h"

namespace morva::gfx {

namespace {

constexpr char16_t kYen = 0x00A5;
constexpr std::size_t kMaxPath = 260;

bool is_separator(char16_t c) { return c == u'/' || c == u'\\' || c == kYen; }

std::u16string load_text(HMODULE resources, UINT id, INT max_chars) {
  std::u16string text(static_cast<std::size_t>(max_chars) + 1, u'\0');
  INT n = resources ? LoadStringW(resources, id, text.data(), max_chars + 1) : 0;
  text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return text;
}

// A warning box of the store file with OK and Cancel, or OK alone.
INT show_store_warning(HMODULE resources, UINT text_id, const std::u16string& detail, UINT buttons) {
  std::u16string text = load_text(resources, text_id, 255);
  if (!detail.empty()) text += u"\n\n" + detail;
  std::u16string caption = load_text(resources, kStoreCaptionId, 255);
  return MessageBoxW(GetActiveWindow(), text.c_str(), caption.c_str(), buttons | MB_ICONWARNING | MB_SETFOREGROUND);
}

std::u16string setting_text(PDEV* pdev, WORD ddmid) {
  const WCHAR* s = PdevGetString(pdev, ddmid);
  return s ? std::u16string(s) : std::u16string();
}

}  // namespace

std::vector<std::u16string> FolderTreeLevels(const std::u16string& path) {
  std::vector<std::u16string> levels;
  const std::size_t n = path.size();
  if (n == 0) return levels;
  std::size_t first_created = 1;  // the first separator index that creates a level
  if (n >= 2 && is_separator(path[0]) && is_separator(path[1])) {
    // \\server\share\: the separators after the server and the share name
    // create nothing.
    int skipped = 0;
    std::size_t i = 2;
    for (; i < n && skipped < 2; ++i)
      if (is_separator(path[i])) ++skipped;
    first_created = skipped == 2 ? i : n;
  } else if (n >= 3 && path[1] == u':' && is_separator(path[2])) {
    first_created = 3;  // never the drive's root
  }
  for (std::size_t i = first_created; i < n; ++i)
    if (is_separator(path[i]) && !is_separator(path[i - 1])) levels.push_back(path.substr(0, i));
  const bool unc_root_only = first_created >= n && n >= 2 && is_separator(path[0]) && is_separator(path[1]);
  if (!is_separator(path[n - 1]) && !unc_root_only) levels.push_back(path);
  return levels;
}

INT CreateFolderLevel(HMODULE resources, LPCWSTR path) {
  if (CreateDirectoryW(path, nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) return 0;
  return show_store_warning(resources, kStoreFolderTextId, path, MB_OKCANCEL) == IDOK ? -1 : -2;
}

INT CreateFolderTree(HMODULE resources, LPCWSTR path) {
  if (!path) return 0;
  for (const std::u16string& level : FolderTreeLevels(path))
    if (INT r = CreateFolderLevel(resources, level.c_str()); r != 0) return r;
  return 0;
}

std::u16string JoinStoreFilePath(const std::u16string& folder, const std::u16string& name,
                                 const std::u16string& extension) {
  std::u16string path = folder;
  if (path.empty() || !is_separator(path.back())) path += u'\\';
  path += name + u"." + extension.substr(0, 3);
  if (path.size() > kMaxPath) return {};
  return path;
}

INT BuildStoreFilePath(PDEV* pdev) {
  if (!pdev || !pdev->stream) return -1;
  HMODULE resources = GetResourceModule();
  const std::u16string folder = setting_text(pdev, 1829);
  switch (CreateFolderTree(resources, folder.c_str())) {
    case 0: break;
    case -1: return 0;  // the user chose to print without the file
    default: return -1;
  }
  // The short form of the folder just made; the folder as given when the
  // system has none for it.
  WCHAR short_folder[kMaxPath + 1] = {};
  DWORD n = folder.empty() ? 0 : GetShortPathNameW(folder.c_str(), short_folder, kMaxPath + 1);
  std::u16string base = n > 0 && n <= kMaxPath ? std::u16string(short_folder, n) : folder;
  const std::u16string path =
      JoinStoreFilePath(base, setting_text(pdev, 338), load_text(resources, kStoreExtensionId, 3));
  // The user asked for a saved file: a file that cannot be had fails the
  // job rather than printing it silently without the file.
  if (path.empty()) {
    show_store_warning(resources, kStoreOpenTextId, base + u"\\" + setting_text(pdev, 338), MB_OK);
    return -1;
  }
  pdev->stream->store_text_id = kStoreWriteTextId;
  if (AttachStoreFile(pdev->stream, path.c_str()) != 0) {
    show_store_warning(resources, kStoreOpenTextId, path, MB_OK);
    return -1;
  }
  return 0;
}

INT WriteStoreJob(PDEV* pdev) {
  if (!pdev || !pdev->document || !pdev->writer || !pdev->stream) return -1;
  INT r = WriteJobStart(pdev, 0);
  r |= PlayBackPage(pdev, pdev->stream->base_page, kHonourBegin, PlaybackCell{}, -1, 0xFFFF);
  r |= render::Pdl_OpStorePageEnd(pdev->document->sink);
  r |= WriteJobEnd(pdev);
  r |= DrainDocumentSink(pdev);
  return r == 0 ? 0 : -1;
}

INT DetachStoreFileOfJob(PDEV* pdev) {
  if (pdev && pdev->stream && pdev->stream->state == kStreamPrinterAndFile) DetachStoreFile(pdev->stream);
  return 0;
}

INT StoreModeOutput(PDEV* pdev) {
  DocumentControl* d = pdev ? pdev->document : nullptr;
  if (!d) return -1;
  INT r = 0;
  if (d->rec.word & kRecordPage) r |= EndRecordedPage(pdev, d->sheet_count);
  const bool to_file = !d->job.store_warning_confirmed;
  if (to_file && BuildStoreFilePath(pdev) != 0) {
    // No job is sent for a store file that failed.
    EndDocumentRecording(pdev);
    return -1;
  }
  r |= WriteStoreJob(pdev);
  if (to_file) {
    // A file whose last bytes did not land is not a saved job.
    if (pdev->stream->state == kStreamPrinterAndFile && DetachStoreFile(pdev->stream) != 0) r = -1;
    DetachStoreFileOfJob(pdev);
  }
  r |= EndDocumentRecording(pdev);
  return r == 0 ? 0 : -1;
}

}  // namespace morva::gfx
