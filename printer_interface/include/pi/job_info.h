// The job-information block: PJL comment lines at the end of a job that
// tell the device what the job was ("@PJL COMMENT QZJOBINFO " + item).
// A JobInfoWriter collects the values while the job runs (one page-group
// record per page) and writes the lines on demand, as many whole lines as
// fit the caller's buffer, resuming where it stopped.
#pragma once

#include <cstddef>

#include "win/types.h"

// A page group: what one page (or group of like pages) was printed on.
struct PageGroupRecord {
  INT mode;         // 0 UNKNOWN, 1 COLOR, 2 MONOCHROME, 3 EMPTY
  INT colors;
  UINT intray;
  INT duplex;       // 0 SIMPLEX, 1 DUPLEX, 2 TUMBLE
  INT orientation;  // 0-4
  UINT pos;
  CHAR size[16];    // at most 15 characters
};
static_assert(sizeof(PageGroupRecord) == 40);

// Fixed-size records kept in chunks of at most 64000 bytes; records never
// move once appended, except when the last chunk is enlarged by copying.
struct ChunkList;
ChunkList* ChunkList_Create(DWORD records, DWORD record_size, DWORD growth);
void ChunkList_Free(ChunkList* list);
// Adds a zeroed record and selects it; null when out of memory (the list
// stays as it was).
void* ChunkList_Append(ChunkList* list);
// Selects record n (1-based): n, or 0 when n is beyond the records in use.
DWORD ChunkList_Seek(ChunkList* list, DWORD n);
void* ChunkList_Current(ChunkList* list);
DWORD ChunkList_Count(const ChunkList* list);
DWORD ChunkList_Position(const ChunkList* list);
BOOL ChunkList_CopyCurrent(ChunkList* list, void* out);

struct JobInfoWriter;

// Items 1 (VERSION), 2 (BEGIN) and 26 (END) enabled, LF line ends; null
// when out of memory.
JobInfoWriter* JobInfo_Create(DWORD initial_records, DWORD growth);
void JobInfo_Destroy(JobInfoWriter* writer);
void JobInfo_SetLineEnd(JobInfoWriter* writer, BOOL crlf);

// Setters: each stores its value and enables its item.
void JobInfo_SetPdlType(JobInfoWriter* writer, INT code, const char* version);
void JobInfo_SetJobType(JobInfoWriter* writer, INT type);
void JobInfo_SetStoredJobType(JobInfoWriter* writer, INT type);
void JobInfo_SetJobCopies(JobInfoWriter* writer, INT copies);
void JobInfo_SetPageCopies(JobInfoWriter* writer, INT copies);
void JobInfo_SetDuplexType(JobInfoWriter* writer, INT type);
void JobInfo_SetNup(JobInfoWriter* writer, INT nup);
void JobInfo_SetPoster(JobInfoWriter* writer, INT tiles);
void JobInfo_SetBookletType(JobInfoWriter* writer, INT type, INT threshold);
void JobInfo_SetOutTray(JobInfoWriter* writer, INT tray, INT bin);
void JobInfo_SetPageOrder(JobInfoWriter* writer, INT order);
void JobInfo_SetStaple(JobInfoWriter* writer, INT staple);
void JobInfo_SetPunch(JobInfoWriter* writer, INT holes, INT position);
void JobInfo_SetFold(JobInfoWriter* writer, INT fold);
void JobInfo_SetSlipSheet(JobInfoWriter* writer, INT choice);
void JobInfo_SetTonerSave(JobInfoWriter* writer, INT on);
void JobInfo_SetLogicalPages(JobInfoWriter* writer, UINT pages);
void JobInfo_SetEstimatedSheets(JobInfoWriter* writer, UINT sheets);
void JobInfo_SetPassThrough(JobInfoWriter* writer, INT on);

// A new page group, selected; FALSE when out of memory.
BOOL JobInfo_AddPageGroupRecord(JobInfoWriter* writer);
// Sub-item setters on the selected page group (each enables PAGEINFO and
// its sub-item); FALSE without a selected group.
BOOL JobInfo_SetPageSize(JobInfoWriter* writer, const char* size);
BOOL JobInfo_SetPageMode(JobInfoWriter* writer, INT mode);
BOOL JobInfo_SetPageColors(JobInfoWriter* writer, INT colors);
BOOL JobInfo_SetPageInTray(JobInfoWriter* writer, UINT tray);
BOOL JobInfo_SetPageDuplex(JobInfoWriter* writer, INT duplex);

// Status word bit 0: the block lacks an item its job type requires.
inline constexpr WORD kJobInfoIncomplete = 0x1;

// Writes as many whole lines as fit `capacity`; *more = 1 when lines
// remain (call again), 0 when the block is complete. Bytes written. A line
// longer than a whole empty buffer is left out rather than stopping the
// block, so every call makes progress.
DWORD JobInfo_WriteLines(JobInfoWriter* writer, char* buffer, DWORD capacity, DWORD* more, WORD* status);
