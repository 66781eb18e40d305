// Page-recording storage. While a page is recorded the spool stream writes
// into a temp file instead of the spooler; a page is a run of raw PDL bytes
// interleaved with typed records (an 8-byte head and its data). Two tables
// find each recorded page: one entry of the caller's own layout per page,
// and the page's span in the file. Every call answers 0 (or a count) on
// success and -1 on failure.
#pragma once

#include "output/spool_stream.h"
#include "win/types.h"

// The head of a typed record, native byte order (the file is private to
// the job).
struct PageRecordHead {
  WORD kind;
  WORD length;     // data bytes after the head
  DWORD distance;  // to the next head of the same page; 0 for the last
};
static_assert(sizeof(PageRecordHead) == 8);

// ReadRecordHead's answer at the end of the page.
inline constexpr INT kRecordPageEnd = 3;

// Empty tables of `capacity` entries (page records of `entry_size` bytes)
// and a new recording file. When the file cannot be made both tables are
// freed.
INT BeginDocumentRecordingTables(SpoolStream* stream, WORD base_page, WORD entry_size, WORD capacity);
// Page n must be the next page (base + recorded count). The stream's
// buffered bytes go to their old destination first; then it writes into
// the recording file.
INT BeginPageRecording(SpoolStream* stream, WORD page);
INT WritePageRecord(SpoolStream* stream, WORD kind, WORD length, const void* data);
// Ends the page (its span gets the end and first head offsets), counts it
// and sends the stream back to the printer.
INT EndPageRecording(SpoolStream* stream);
INT PutPageRecord(SpoolStream* stream, WORD page, WORD entry_size, const void* data);
INT GetPageRecord(SpoolStream* stream, WORD page, WORD entry_size, void* data);
// Starts reading recorded page n.
INT BeginPagePlayback(SpoolStream* stream, WORD page);
// Raw bytes up to the next head (never past it); 0 when a head is next.
INT ReadRecordedRaw(SpoolStream* stream, DWORD length, void* buffer);
// The next head; kRecordPageEnd (and the cursor idle) at the page end.
INT ReadRecordHead(SpoolStream* stream, PageRecordHead* head);
INT ReadRecordData(SpoolStream* stream, DWORD length, void* buffer);
// 1 when the recording file is open and usable.
INT IsRecordingOpen(SpoolStream* stream);
// Frees the tables and deletes the recording file with its registry record.
INT EndDocumentRecordingTables(SpoolStream* stream);
// Frees the tables and forgets the file without deleting it.
void ClearRecordingTables(SpoolStream* stream);
