// Store mode: at the end of the document one job carrying the store name
// and the first recorded sheet, optionally saved as a file in the folder the
// settings name (created on the way).
#pragma once

#include <string>
#include <vector>

#include "render/pdev.h"
#include "win/types.h"

namespace morva::gfx {

// Resource strings of the store file.
inline constexpr UINT kStoreFolderTextId = 2;     // a folder level could not be created
inline constexpr UINT kStoreOpenTextId = 9451;      // the store file could not be opened
inline constexpr UINT kStoreWriteTextId = 4;      // the store file's disk is full
inline constexpr UINT kStoreCaptionId = 6;
inline constexpr UINT kStoreExtensionId = 451;

// The folder levels CreateFolderTree creates for `path`, in order. "/",
// backslash and the yen sign separate; a drive's root and the server and
// share of a UNC name are never created.
std::vector<std::u16string> FolderTreeLevels(const std::u16string& path);
// Creates every level of `path`: 0 when all exist now, otherwise the result
// of the first level that failed (see CreateFolderLevel).
INT CreateFolderTree(HMODULE resources, LPCWSTR path);
// CreateDirectoryW; an existing folder is fine (0). Otherwise a warning box
// asks: OK answers -1 (go on without the file), Cancel -2.
INT CreateFolderLevel(HMODULE resources, LPCWSTR path);
// folder + separator + name + "." + extension; empty when the whole path
// would reach 261 characters.
std::u16string JoinStoreFilePath(const std::u16string& folder, const std::u16string& name,
                                 const std::u16string& extension);

// The store file of the job attached to the stream: 0 with the file attached
// or when the user chose to go on without it; -1 when the user cancelled,
// the path is too long or the file cannot be opened (the user is told).
INT BuildStoreFilePath(PDEV* pdev);
// Job start, the first recorded sheet, EF and the job end.
INT WriteStoreJob(PDEV* pdev);
INT DetachStoreFileOfJob(PDEV* pdev);
// The document end of a store-mode job; 0 or -1.
INT StoreModeOutput(PDEV* pdev);

}  // namespace morva::gfx
