// The graphics library's job texts: the job-information writer of a
// document (created when the job output starts, fed at every page begin,
// filled and written at the job end, destroyed with the document).
#pragma once

#include "render/pdev.h"
#include "win/types.h"

namespace morva::gfx {

inline constexpr DWORD kJobInfoPieceSize = 513;

// 0, or -1 when the writer cannot be made.
INT JobInfo_Open(PDEV* pdev);
void JobInfo_Close(PDEV* pdev);
// A page group for the page now beginning; `by_dimensions` when the page
// gives its paper by size. 0, or -1 without writer or memory.
INT JobInfo_AddPageGroup(PDEV* pdev, BOOL by_dimensions);
// The job's items, at its end.
void JobInfo_FillJobItems(PDEV* pdev);
// The next piece of lines into `buffer` (kJobInfoPieceSize bytes): bytes
// written, *more = 1 while lines remain; -1 without writer or buffer.
INT JobInfo_WritePiece(PDEV* pdev, char* buffer, DWORD* more);

}  // namespace morva::gfx
