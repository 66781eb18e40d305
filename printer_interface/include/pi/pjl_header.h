// The PJL job header written in front of every job and its trailer: the
// printing-instruction block of the outside maker library, the universal
// exit language sequence, one line per PJL command entry of the device
// database (filtered and conditioned by the current settings) and, at the
// marked place, the job-attribute block (job_attributes.cpp).
//
// Every text goes into a caller-owned buffer: each append writes its text
// and a terminating zero, returns the text's bytes and never writes past
// the buffer's capacity (kPjlNoRoom when the text and its zero do not fit).
#pragma once

#include "settings/common/common_utils.h"
#include "settings/database/ddd_records.h"
#include "win/types.h"

struct DddHandle;

// Negative results; returned unchanged through every caller.
enum : INT {
  kPjlEntryLoadFailed = -110,
  kPjlNoCommand = -120,
  kPjlNoValue = -130,
  kPjlNoSizeRecords = -140,
  kPjlBadOperator = -160,
  kPjlUnsupportedType = -170,
  kPjlOperatorNotAllowed = -175,
  kPjlSettingUnreadable = -210,
  kPjlUnknownType = -220,
  kPjlSizeMismatch = -230,
  kPjlNoRoom = -310,  // the text and its terminating zero do not fit
  kPjlLengthFailed = -320,
  kPjlConversionFailed = -340,
  kPjlNoMemory = -350,
  kPjlSettingUndefined = -410,
  kPjlTypesDiffer = -420,
  kPjlNoPrinterOrClock = -440,
  kPjlBadConnector = -450,
  kPjlNoCapabilities = -460,
  kPjlQjclFailed = -510,
  kPjlMissing = -610,
  kPjlOutOfRange = -620,
  kPjlQpifOptionsFailed = -720,
  kPjlQpifFailed = -730,
};

// Capability bits of global field 26 used by the header.
inline constexpr DWORD kPjlCapFullForm = 0x40000;
inline constexpr DWORD kPjlCapNup = 0x4;
inline constexpr DWORD kPjlCapHostAddress = 0x8;
inline constexpr DWORD kPjlCapHostName = 0x200000;
inline constexpr DWORD kPjlCapBktp = 0x4000000;
inline constexpr DWORD kPjlCapOwnerOverride = 0x2000000;
inline constexpr DWORD kPjlCapTrayOrder = 0x10;
inline constexpr DWORD kPjlCapDoubleByteNames = 0x2;
inline constexpr DWORD kPjlCapFaxEntryKeys = 0x40000000;

// The destinations of a direct-fax job this header is for. `list` is the
// stored destination list ("DFAX002" blob) of `list_size` bytes; the size
// is carried so the reader never leaves the blob.
struct PjlFaxRange {
  WORD first;
  WORD last;
  const BYTE* list;
  DWORD list_size;
};

// One header request per copy set; the builder writes `bktp_offset` back.
struct JobHeaderRequest {
  void* settings;      // the driver DEVMODE
  void* printer_data;  // the PrinterData block
  DWORD job_monitor_available;
  CHAR job_monitor_id[50];
  WCHAR job_user_name[65];  // filled by the graphics library's job start
  const WCHAR* document_name;
  DWORD jobattr_switch;
  const PjlFaxRange* fax_range;  // null unless a direct-fax job
  HANDLE printer;
  WORD bktp_value;    // 0 while not yet known
  DWORD bktp_offset;  // out: offset of the blank slot
};

// The output buffer of one header.
struct PjlOutput {
  BYTE* data;
  DWORD capacity;
  DWORD used;  // text bytes written (the zero after them is not counted)
};

// Appends: text bytes written or a negative code; the buffer is left as it
// was on failure.
INT PjlAppendAnsi(PjlOutput* out, const char* text, size_t length);
INT PjlAppendAnsi(PjlOutput* out, const char* text);
INT PjlAppendUtf8(PjlOutput* out, const WCHAR* text);
INT PjlAppendUtf8(PjlOutput* out, const WCHAR* text, size_t length);
// Puts the output back to `used` bytes (the zero follows them).
void PjlTruncate(PjlOutput* out, DWORD used);

// The line end of header and trailer: L"\n".
const WCHAR* GetPjlLineEnd();

INT WriteUel(PjlOutput* out);
INT GetUelSize();

// Upper bound in bytes of one header, or a negative code.
INT GetPjlHeaderSize(HANDLE printer, void* settings, void* printer_data, DddHandle* database, const BYTE* sp_block,
                     DWORD sp_size);
// Builds one header into `out`: bytes written, or a negative code (the
// partial text is then worthless).
INT BuildPjlJobHeader(DddHandle* database, JobHeaderRequest* request, const BYTE* sp_block, DWORD sp_size,
                      PjlOutput* out);

// The printing-instruction block (without `out`: its size).
INT AppendQpifBlock(DddHandle* database, HANDLE printer, void* settings, void* printer_data, const BYTE* sp_block,
                    DWORD sp_size, PjlOutput* out);

// Trailer without job information: UEL, EOJ text, LF.
INT GetPjlTrailerSize(DddHandle* database);
INT WritePjlTrailer(DddHandle* database, PjlOutput* out);
// Trailer around the job-information lines: the UEL, then (after them) the
// EOJ line.
INT WriteTrailerUel(PjlOutput* out);
INT GetEojLineSize(DddHandle* database);
INT WriteEojLine(DddHandle* database, PjlOutput* out);

// ---- pieces, for the job-attribute writers and tests -------------------------

// What one header knows while it is built.
struct PjlHeaderContext {
  JobHeaderRequest* request;
  DddHandle* database;
  HMODULE qjcl;  // the QJCL string library, loaded on first use
  DWORD caps;    // capability word (global field 26)
  DeviceCapabilityBits bits;
};

struct PjlHeaderFilterState {
  DWORD armed;
  WCHAR last_command[128];
  WCHAR last_key[128];
  WORD options;  // bit 0: setting 336 is 1
};

// 1 to leave the entry out.
INT FilterPjlEntry(PjlHeaderFilterState* state, DWORD caps, const DddPjlEntry* entry);
// 1 write, 0 skip, or a negative code.
INT EvaluatePjlEntryConditions(HANDLE printer, DddHandle* database, void* settings, void* printer_data,
                               const DddList<DddCondition>& conditions);
INT EvaluatePjlCondition(HANDLE printer, DddHandle* database, void* settings, void* printer_data,
                         const DddCondition* condition);
// Listed value L against the setting's value V: 1 holds, 0 not, or negative.
INT ComparePjlConditionValue(BYTE op, WORD listed_type, const void* listed, WORD setting_type, DWORD setting_size,
                             const void* setting);
// One entry's text (without line end): bytes, 0, or a negative code.
INT WritePjlEntryLine(PjlHeaderContext* context, const DddPjlEntry* entry, PjlOutput* out);
// Prefix, then the setting's value by its type.
INT FormatSettingValue(PjlHeaderContext* context, const WCHAR* prefix, WORD ddmid, PjlOutput* out);

// ---- job attributes (job_attributes.cpp) ----------------------------------

// Prefix and the value of `ddmid` with the special encodings of individual
// settings; bytes, 0 for nothing, or a negative code.
INT FormatPjlEntryValue(PjlHeaderContext* context, const WCHAR* prefix, WORD ddmid, PjlOutput* out);
INT WriteBktpSlot(PjlHeaderContext* context, PjlOutput* out);
// Writes "@BKTP=" and the booklet's sheet count (wrapped as a JOBATTR line
// in the full form) over the blank slot at `offset` of a header built before
// the count was known, without a terminating zero. 1 patched or no header,
// 0 when the slot is not a blank slot within the header or the text would
// not fit it.
INT PatchBktpSlot(DddHandle* database, WORD sheets, char* header, DWORD header_size, DWORD offset);
INT WriteJobAttrLines(PjlHeaderContext* context, PjlOutput* out, const WCHAR* line_end);
INT WriteFaxAttributes(PjlHeaderContext* context, PjlOutput* out);
// Whether a fax job goes out as one job per destination (each with its own
// header and job-monitor registration): settings 379 = 0 (not one job for
// all), more than one destination (380), the cover on (376 = 1) and not a
// cover-only job (381 = 1). Both libraries decide by this one rule.
inline bool FaxJobPerDestination(LONG cover_on, LONG one_job, LONG count, LONG cover_only) {
  return one_job == 0 && count > 1 && cover_on == 1 && cover_only != 1;
}
// The destinations the header of job `index` of a fax job addresses:
// destination `index` alone when each destination gets a job of its own,
// else all `count`; a cover-only job (a test fax, whose list holds just the
// destination it goes to) addresses the destinations its list holds. False
// when there is nothing to address.
bool FaxHeaderRange(bool per_destination, bool cover_only, WORD index, LONG count, const BYTE* list,
                    DWORD list_size, PjlFaxRange* out);
INT GetFaxAttributesSize(DddHandle* database);
