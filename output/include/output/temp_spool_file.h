// One temporary file of a print job (recorded pages, image data), recorded
// in the registry while it exists so that files left by a job that died
// are deleted at the start of a later one.
#pragma once

#include <string>

#include "output/channels.h"
#include "win/types.h"

struct TempSpoolFile {
  HMODULE owner;   // string table of the write-failure box
  HANDLE file;     // INVALID_HANDLE_VALUE when closed
  WCHAR path[kTempPathChars];
  DWORD size;      // highest position ever written
  DWORD position;  // current position as the record knows it
  BOOL usable;     // cleared when the user gives up after a write failure
};

// Every operation fails with -1 for a null record or a closed file unless
// said otherwise.
// Closed, owner stored, no path, sizes 0, not usable; with `purge`, stale
// files of earlier jobs are deleted first. Closes and deletes nothing.
void ResetTempSpoolFile(TempSpoolFile* record, BOOL purge, HMODULE owner);
// A new "QZP" temp file, open for reading and writing, recorded in the
// registry (an earlier file of the record is deleted first).
INT CreateTempSpoolFile(TempSpoolFile* record);
// Closes and deletes the file, removes its registry record once the file is
// gone, and resets the record keeping its owner.
INT DeleteTempSpoolFile(TempSpoolFile* record);
// Bytes written or -1. A failed write asks the user: OK retries the bytes
// not yet written, anything else makes the file unusable.
INT WriteTempSpoolFile(TempSpoolFile* record, const void* bytes, DWORD length);
// Bytes read or -1; reading past the written size fails and moves nothing.
INT ReadTempSpoolFile(TempSpoolFile* record, void* buffer, DWORD length);
// Position or -1; offset 0 to the written size.
LONG SeekTempSpoolFile(TempSpoolFile* record, DWORD offset);
LONG SeekTempSpoolFileEnd(TempSpoolFile* record);
LONG GetTempSpoolFileSize(TempSpoolFile* record);
// 1 when open and usable, else -1.
INT IsTempSpoolFileOpen(TempSpoolFile* record);
INT MarkTempSpoolFileUnusable(TempSpoolFile* record);
// The write-failure box; IDCANCEL for a null record.
INT ShowTempFileWriteBox(const TempSpoolFile* record);

// Registry bookkeeping under HKEY_LOCAL_MACHINE: <key base>TempFile\<path
// with "/" for "\">, default value the creation time.
inline constexpr char16_t kDefaultTempFileKeyBase[] = u"Software\\Orvanto\\VKM Printer Driver\\";
void SetTempFileKeyBase(LPCWSTR base);
INT RecordTempFileInRegistry(LPCWSTR path);
INT DeleteTempFileRecord(LPCWSTR path);
// Deletes the files of every record that can be deleted and the records of
// files that are gone. 0 done, -1 on a registry failure.
INT PurgeStaleTempFiles();

namespace morva::output {
// The record key of a temp file (test view).
std::u16string temp_file_record_key(LPCWSTR path);
}  // namespace morva::output
