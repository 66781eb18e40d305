// Files that the fax user interface leaves behind (the settings file of a
// fax sheet, the phonebook export and its backup) and their per-user
// registry lists. Each file is listed with the top-level window that owns
// it; a sweep deletes the files whose owner is gone and which have not been
// written for seven days.
//
// Two lists under HKEY_CURRENT_USER: the database's per-user base 30
// followed by "DirectFax\TempFile", and base 33 followed by "TempFile".
// Both are swept; new files go into the second. Values are named
// "DFaxInfo_" and a number from 1 and hold a FaxTempFileRecord.
//
// Several processes of the user sweep and register at once, so every sweep
// and registration runs under one machine-wide mutex: a sweep never deletes
// a value that another process has just written under a number it freed,
// and two registrations never pick the same free number.
#pragma once

#include <cstddef>

#include "win/registry.h"
#include "win/types.h"

struct DddHandle;

namespace morva::fax {

inline constexpr char16_t kFaxTempValuePrefix[] = u"DFaxInfo_";
inline constexpr char16_t kFaxTempKeyTail30[] = u"DirectFax\\TempFile";
inline constexpr char16_t kFaxTempKeyTail33[] = u"TempFile";
// The job's fixed fax address file, which is never deleted.
inline constexpr char16_t kFixedFaxAddressFile[] = u"C:\\qzfaxaddress.tmp";
// A listed file is old enough to delete after seven days.
inline constexpr DWORD kFaxTempFileAgeSeconds = 604800;
inline constexpr DWORD kFaxTempKeyChars = 260;

// One list value, REG_BINARY of 532 bytes. Window and instance are the
// low 32 bits of the handles, which the window system keeps within 32 bits.
struct FaxTempFileRecord {
  WCHAR Path[262];  // zero-terminated
  DWORD Window;     // top-level window owning the file
  DWORD Instance;   // its GWL_HINSTANCE at registration
};
static_assert(sizeof(FaxTempFileRecord) == 532);
static_assert(offsetof(FaxTempFileRecord, Window) == 524);
static_assert(offsetof(FaxTempFileRecord, Instance) == 528);

// 1 when the name starts with exactly "DFaxInfo_" (case-sensitive).
int IsFaxTempValueName(LPCWSTR name);

// `out` (capacity characters) = database string 30 (which 0) or 33
// (which 1) followed by `suffix` (may be null). 0 without output or
// database, when the string cannot be read or the path does not fit.
int GetFaxTempKeyPath(DddHandle* database, int which, LPCWSTR suffix, LPWSTR out, DWORD capacity);

// Lists the file under the key (created when missing) for the window and
// instance, unless the same path (ignoring case), window and instance is
// listed already; the value takes the lowest free number. The registry
// result: ERROR_SUCCESS when listed, or the error of the step that failed.
LSTATUS RegisterFaxTempFile(LPCWSTR keyPath, LPCWSTR filePath, HWND window, HINSTANCE instance);

// Sweeps the list under an existing key: a value whose file cannot be
// opened for reading is deleted (the file kept); a file whose window still
// exists with the recorded instance is kept; any other file at least seven
// days old is deleted with its value. The registry result (the open error
// when the key does not exist).
LSTATUS PurgeFaxTempFiles(LPCWSTR keyPath);

// Sweeps both lists. A given base replaces the database string (base 1 +
// "DirectFax\TempFile", base 2 + "TempFile"); without a database both
// bases must be given. The result of sweeping the second list; 0 when a
// key path cannot be built.
LONG PurgeDirectFaxTempFiles(DddHandle* database, LPCWSTR base1, LPCWSTR base2);

// Sweeps both lists of the database and lists the file under the second for
// the window's top-level window and its instance. 0 when a key path cannot
// be built, else the registration's result.
LONG PurgeDirectFaxTempFilesForWindow(DddHandle* database, HWND window, LPCWSTR filePath);
// The same, as the document property-sheet code calls it; `unused` is not
// read.
LONG PurgeAndRecordFaxTempFile(DddHandle* database, HWND window, LPCWSTR filePath, void* unused);

// Deletes the file unless it is exactly "C:\qzfaxaddress.tmp"
// (case-sensitive). The result of the deletion; 1 for the fixed name.
BOOL DeleteFaxAddressFile(LPCWSTR path);

}  // namespace morva::fax
