// The job-monitor client: jobs registered with an outside job-monitor
// product through its client library "WQLib32.dll", found in the product's
// install folder (registry). The client is optional: every failure gives a
// null client or a result code, and the job prints without registration.
#pragma once

#include <string>
#include <vector>

#include "win/types.h"

namespace morva::pi {

inline constexpr DWORD kJobMonitorRecordBytes = 824;
inline constexpr std::size_t kJobMonitorIdBytes = 48;

// Results of BuildJobMonitorRecord and SendJobMonitorRecord.
enum : INT {
  kMonitorOk = 1,
  kMonitorClientFailed = 3,
  kMonitorTooLong = 5,
  kMonitorMissingText = 6,
  kMonitorBadFaxForm = 7,
};

// The flat interface of the loader; a handle is an opaque client.
void* WQLibLoader_Init(DWORD kind);
INT WQLibLoader_Uninit(void* handle);
const char* WQLibLoader_GetClientId(void* handle);
INT WQLibLoader_GetJobId(void* handle, char* buffer, DWORD size);
INT WQLibLoader_Set(void* handle, const void* info);
INT WQLibLoader_Send(void* handle);

// 1 when a client of `kind` (0 or 1) can be started.
INT OpenJobMonitorClient(DWORD kind);

// What one registration carries (ANSI texts; null for none).
struct JobMonitorEntry {
  DWORD fax_form = 0;  // 0 or 1
  DWORD staple = 0;
  DWORD kind = 0;      // job kind of the record
  const char* port = nullptr;
  const char* document = nullptr;
  const char* job_text = nullptr;
  const char* printer = nullptr;
  const char* user = nullptr;
  const char* fax_name = nullptr;
  const char* fax_number = nullptr;
  WORD delay_time = 0;  // hour in the low byte, minute in the high byte
  DWORD monitor_kind = 1;
};

// Starts a client and hands it the registration (not yet sent). kMonitorOk
// with *client and the id ("client id.job id", below 48 characters) in
// `id`; otherwise a result code and no client. A document name of 260 bytes
// or more is cut at 259 bytes without splitting a double-byte character.
INT BuildJobMonitorRecord(void** client, char* id, const JobMonitorEntry& entry);
// 1 sent and released, 3 send or release failed (released anyway), 6 no
// client.
INT SendJobMonitorRecord(void* client);

// What a registration is made from (every pointer may be null).
struct JobMonitorRequest {
  HANDLE printer = nullptr;
  void* devmode = nullptr;
  void* printer_data = nullptr;
  DWORD fax = 0;
  const WCHAR* user = nullptr;
  const WCHAR* document = nullptr;
  const WCHAR* port = nullptr;
  const WCHAR* printer_name = nullptr;
  const BYTE* fax_list = nullptr;  // a "DFAX002" block
  DWORD fax_list_size = 0;
  WORD destination_index = 0;
  WORD destination_count = 0;
};

// Registers a job from its settings: its kind (fax, stored, delayed, ...),
// printer, port, user and document. The client (to send or release) with
// the id in `id` (48 bytes), or null when nothing was registered.
void* RegisterJobWithMonitor(const JobMonitorRequest& request, char* id);
// The fax destination texts of a registration (ANSI, at most 32 bytes
// each): the name, with the count of the other destinations when there are
// `count` > 1, and the number (marked when `kind` is a speed dial), with a
// mark that more destinations follow.
void FormatMonitorFaxTexts(const std::u16string& name, const std::u16string& number, WORD kind, WORD count,
                           std::string* name_out, std::string* number_out);
// The registrations a job makes as it starts, each sent to the monitor at
// once: one per fax destination sent alone, one per marked output, else
// one; nothing (1) unless the job asks for the monitor (settings 1321 and
// 1333), the database is open and the monitor can be started.
inline constexpr std::size_t kCopyIdBytes = 64;
inline constexpr std::size_t kCopyRecordBytes = 68;
struct CopyRegistration {
  JobMonitorRequest request;  // the job's settings, names and fax list
  bool database_open = false;
  DWORD marking_active = 0;
  INT marking_outputs = 0;
};
// 1 with `ids` (a WORD count, then a 64-byte id per registration) and, for
// marked outputs, `records` ({output number from 1, id} of 68 bytes each);
// -1 when a registration failed (neither is kept).
INT RegisterCopiesWithJobMonitor(const CopyRegistration& c, std::vector<BYTE>* ids, std::vector<BYTE>* records);
// Ends a client without sending: 1 released, 3 release failed, 6 none.
INT ReleaseJobMonitorClient(void* client);

// The first `limit` bytes of an ANSI text of `code_page`, or fewer so that
// no double-byte character is split.
std::string CutAnsiText(const std::string& text, std::size_t limit, UINT code_page);
// Seconds from now (hour:minute:second, local) to the next hour:minute. A
// start within the current minute counts as today, as the job header's
// delayed start does.
DWORD DelayedStartSeconds(int hour, int minute, int now_hour, int now_minute, int now_second);

}  // namespace morva::pi
