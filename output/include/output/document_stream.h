// The document's spool stream as the PDEV holds it: creation, opening on the
// job's printer, writes once the job output has begun, store files and a
// second raw job on the same printer. Every call answers 0 (or a byte
// count) on success and -1 on failure; a null PDEV always fails.
#pragma once

#include "render/pdev.h"
#include "win/types.h"

namespace morva::gfx {

INT CreateDocumentStream(PDEV* pdev);
INT DestroyDocumentStream(PDEV* pdev);
// Sends to the printer handle given to the document begin.
INT OpenDocumentStream(PDEV* pdev);
// Closes an open stream; a stream whose last bytes did not reach the
// spooler answers -1.
INT CloseDocumentStream(PDEV* pdev, BOOL success);
// Refused before the job output has begun.
INT WriteDocumentBytes(PDEV* pdev, DWORD length, const void* bytes);
INT OpenDocumentStoreFile(PDEV* pdev, LPCWSTR path, DWORD* size, DWORD flags);
INT CloseDocumentStoreFile(PDEV* pdev, DWORD* size);
// A new raw job named like the document becomes the output.
INT OpenDocumentChannel(PDEV* pdev);
// Ends the output: the engine's job is only closed, a job of its own is
// ended as well.
INT CloseDocumentJob(PDEV* pdev, BOOL success);

}  // namespace morva::gfx
