// The lowest output layer of the graphics library: files, temp-file names
// and a second raw spooler job on the printer of the current job.
#pragma once

#include "win/types.h"

// FileOpen flags.
inline constexpr DWORD kFileCreateAlways = 0x1;  // else open or create
inline constexpr DWORD kFileReadOnly = 0x2;      // else read and write

// No sharing. INVALID_HANDLE_VALUE on failure or for a null path.
HANDLE FileOpen(LPCWSTR path, DWORD flags);
BOOL FileClose(HANDLE file);
// A length of 0 succeeds without a call; a null buffer with a length fails.
// `moved` receives the bytes moved (0 on failure).
BOOL FileRead(HANDLE file, void* buffer, DWORD length, DWORD* moved);
BOOL FileWrite(HANDLE file, const void* bytes, DWORD length, DWORD* moved);
// Moves to `offset` from the start; FALSE on failure.
BOOL FileSeek(HANDLE file, DWORD offset);
// Moves to the end; the new position, -1 on failure.
LONGLONG FileSeekEnd(HANDLE file);
// Deletes a temp file; the fixed fax-address file "C:\qzfaxaddress.tmp" is
// never deleted and counts as deleted.
BOOL DeleteTempFile(LPCWSTR path);

inline constexpr DWORD kTempPathChars = 260;
// A new temp file's name in the first of the temp, Windows, system and
// current directories where one can be made ("QZP" when prefix is null);
// "c:\qzvkm.tmp" when none can. `out` holds 260 characters. FALSE only for
// a null output.
BOOL MakeTempFileName(LPWSTR out, LPCWSTR prefix);

// A new raw job, named `document`, on the printer of `job_printer`, with
// its page started; null when the printer cannot be opened.
HANDLE OpenPrinterChannel(HANDLE job_printer, LPCWSTR document);
inline constexpr DWORD kMaxWritePrinterBytes = 1000000;
// Sends `length` bytes in WritePrinter calls of at most 1,000,000 bytes;
// `written` = all bytes accepted, 0 when a full piece was refused or cut.
BOOL WritePrinterChunked(HANDLE printer, const void* bytes, DWORD length, DWORD* written);
// Ends the page and the job and closes the handle (all three always
// called); TRUE only when all three succeed.
BOOL ClosePrinterChannel(HANDLE printer);
