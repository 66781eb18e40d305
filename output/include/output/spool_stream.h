// The byte sink of one document: a 2048-byte buffer in front of the spooler,
// a store file, both, or the page-recording temp file.
#pragma once

#include "output/temp_spool_file.h"
#include "win/types.h"

enum SpoolStreamState : WORD {
  kStreamClosed = 0,          // every write fails
  kStreamPrinter = 1,         // the spooler
  kStreamPageRecord = 2,      // the end of the page-recording temp file
  kStreamFile = 3,            // the store file only
  kStreamPrinterAndFile = 4,  // the spooler, then the store file
  kStreamSideFile = 5,        // the store file only (the plug-in's side file)
};

inline constexpr DWORD kSpoolBufferBytes = 2048;
inline constexpr UINT kStoreBoxCaptionId = 6;
inline constexpr INT kStoreBoxCaptionChars = 32;
inline constexpr INT kStoreBoxTextChars = 512;

// Page recording: a growable table of fixed-size entries in a zeroed
// global block.
struct RecordTable {
  WORD capacity;
  WORD entry_size;
  WORD growth;  // the initial capacity
  BYTE* entries;
};

// Where one recorded page lies in the recording file.
struct PageSpan {
  LONG start;       // file size when the page began
  LONG end;         // file size when it ended
  LONG first_head;  // -1 when the page has no typed record
};

// The reader or writer of the recording file.
struct PageRecordCursor {
  WORD mode;  // 0 idle, 1 reading, 2 writing
  LONG first_head, last_head;
  LONG next_head;  // reading
  LONG end;        // writing: the end of the file; reading: the end of the page
  LONG read_position;
};

// One per document, in a zeroed global block; it lives only in this
// process, so it has no fixed layout.
struct SpoolStream {
  WORD state;
  HANDLE output;  // spooler printer handle; null when closed
  DWORD buffered;
  BYTE buffer[kSpoolBufferBytes];
  TempSpoolFile page_file;  // page recording
  HMODULE resources;        // texts of the store-file write box
  HANDLE store_file;        // INVALID_HANDLE_VALUE when none
  UINT store_text_id;       // text of the store-file write box; 0 until set
  // Page recording (output/page_recording.h).
  WORD base_page;
  WORD recorded_pages;
  RecordTable page_records;
  RecordTable page_spans;
  PageRecordCursor cursor;
};

// Every call answers 0 (or a byte count) on success and -1 on failure; a
// null stream always fails.
SpoolStream* CreateSpoolStream(HMODULE resources);
void DestroySpoolStream(SpoolStream* stream);
// Purges stale temp files of earlier jobs, then sends to `printer`.
INT OpenSpoolStream(SpoolStream* stream, HANDLE printer);
// A new raw job on the printer of `job_printer` becomes the output.
INT OpenSpoolStreamOnPrinter(SpoolStream* stream, HANDLE job_printer, LPCWSTR document);
// 1 with an output handle, 0 without.
INT IsSpoolStreamOpen(const SpoolStream* stream);
// Buffers what fits; otherwise flushes and sends the bytes at once.
INT WriteSpoolStream(SpoolStream* stream, DWORD length, const void* bytes);
INT FlushSpoolStream(SpoolStream* stream);
// Flushes in the old state, then switches; the flush's answer.
INT SetSpoolStreamState(SpoolStream* stream, WORD state);
// Opens the store file (flags as FileOpen), answers its old size and sends
// to it alone (kStreamFile).
INT OpenStoreFile(SpoolStream* stream, LPCWSTR path, DWORD* size, DWORD flags);
// Flushes, answers the file's size, closes it and returns to the printer.
INT CloseStoreFile(SpoolStream* stream, DWORD* size);
INT OpenStoreFileAs(SpoolStream* stream, LPCWSTR path, DWORD* size, DWORD flags, WORD state);
INT CloseStoreFileAs(SpoolStream* stream, DWORD* size, WORD state);
// Printer only: a new store file gets a copy of every byte from now on.
INT AttachStoreFile(SpoolStream* stream, LPCWSTR path);
INT DetachStoreFile(SpoolStream* stream);
// Closes a store file, flushes and forgets the output (the job's printer
// handle stays open: GDI ends that job).
INT CloseSpoolStream(SpoolStream* stream, BOOL success);
// Flushes and ends the raw job opened by OpenSpoolStreamOnPrinter.
INT CloseSpoolStreamOnPrinter(SpoolStream* stream, BOOL success);
