// The per-document wrappers over the spool stream.
#include "output/document_stream.h"

#include "output/document_control.h"
#include "output/spool_stream.h"
#include "settings/common/module_state.h"

namespace morva::gfx {

namespace {
void clear_page_record_word(PDEV* pdev) {
  if (pdev->document) pdev->document->page_record_word = 0;
}
}  // namespace

INT CreateDocumentStream(PDEV* pdev) {
  if (!pdev) return -1;
  clear_page_record_word(pdev);
  pdev->stream = CreateSpoolStream(GetResourceModule());
  return pdev->stream ? 0 : -1;
}

INT DestroyDocumentStream(PDEV* pdev) {
  if (!pdev) return -1;
  clear_page_record_word(pdev);
  DestroySpoolStream(pdev->stream);
  pdev->stream = nullptr;
  return 0;
}

INT OpenDocumentStream(PDEV* pdev) {
  if (!pdev || !pdev->document) return -1;
  clear_page_record_word(pdev);
  return OpenSpoolStream(pdev->stream, pdev->document->printer);
}

INT CloseDocumentStream(PDEV* pdev, BOOL success) {
  if (!pdev) return -1;
  if (IsSpoolStreamOpen(pdev->stream) != 1) return 0;
  return CloseSpoolStream(pdev->stream, success);
}

INT WriteDocumentBytes(PDEV* pdev, DWORD length, const void* bytes) {
  if (!pdev || !pdev->document || !(pdev->document->state & kDocOutputBegun)) return -1;
  return WriteSpoolStream(pdev->stream, length, bytes);
}

INT OpenDocumentStoreFile(PDEV* pdev, LPCWSTR path, DWORD* size, DWORD flags) {
  if (!pdev) return -1;
  return OpenStoreFile(pdev->stream, path, size, flags);
}

INT CloseDocumentStoreFile(PDEV* pdev, DWORD* size) {
  if (!pdev) return -1;
  return CloseStoreFile(pdev->stream, size);
}

INT OpenDocumentChannel(PDEV* pdev) {
  if (!pdev || !pdev->document) return -1;
  return OpenSpoolStreamOnPrinter(pdev->stream, pdev->printer, pdev->document->document_name);
}

INT CloseDocumentJob(PDEV* pdev, BOOL success) {
  if (!pdev || !pdev->stream) return -1;
  if (pdev->stream->output == pdev->printer) return CloseSpoolStream(pdev->stream, success);
  return CloseSpoolStreamOnPrinter(pdev->stream, success);
}

}  // namespace morva::gfx
