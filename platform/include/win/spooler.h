// The print spooler of the machine root: printers and their drivers,
// printer data, forms and jobs. State lives in the machine database; each
// job's bytes go to a file in the root's spool folder.
//
// Info records are returned the Windows way: the records first, then the
// strings and blocks they point to, all inside the caller's buffer; a buffer
// too small fails with ERROR_INSUFFICIENT_BUFFER and reports the size needed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "win/gdi_types.h"
#include "win/types.h"

#define PRINTER_ACCESS_ADMINISTER 0x00000004u
#define PRINTER_ACCESS_USE 0x00000008u
#define PRINTER_ALL_ACCESS 0x000F000Cu
#define PRINTER_READ 0x00020008u
#define PRINTER_WRITE 0x00020008u
#define PRINTER_EXECUTE 0x00020008u
#define SERVER_ACCESS_ADMINISTER 0x00000001u
#define SERVER_ACCESS_ENUMERATE 0x00000002u
#define SERVER_ALL_ACCESS 0x000F0003u

#define PRINTER_ATTRIBUTE_QUEUED 0x00000001u
#define PRINTER_ATTRIBUTE_DIRECT 0x00000002u
#define PRINTER_ATTRIBUTE_DEFAULT 0x00000004u
#define PRINTER_ATTRIBUTE_SHARED 0x00000008u
#define PRINTER_ATTRIBUTE_NETWORK 0x00000010u
#define PRINTER_ATTRIBUTE_HIDDEN 0x00000020u
#define PRINTER_ATTRIBUTE_LOCAL 0x00000040u
#define PRINTER_ATTRIBUTE_ENABLE_DEVQ 0x00000080u
#define PRINTER_ATTRIBUTE_KEEPPRINTEDJOBS 0x00000100u
#define PRINTER_ATTRIBUTE_DO_COMPLETE_FIRST 0x00000200u
#define PRINTER_ATTRIBUTE_WORK_OFFLINE 0x00000400u
#define PRINTER_ATTRIBUTE_ENABLE_BIDI 0x00000800u
#define PRINTER_ATTRIBUTE_RAW_ONLY 0x00001000u
#define PRINTER_ATTRIBUTE_PUBLISHED 0x00002000u

#define PRINTER_STATUS_PAUSED 0x00000001u
#define PRINTER_STATUS_ERROR 0x00000002u
#define PRINTER_STATUS_PENDING_DELETION 0x00000004u

#define PRINTER_CONTROL_PAUSE 1u
#define PRINTER_CONTROL_RESUME 2u
#define PRINTER_CONTROL_PURGE 3u
#define PRINTER_CONTROL_SET_STATUS 4u

#define PRINTER_ENUM_DEFAULT 0x00000001u
#define PRINTER_ENUM_LOCAL 0x00000002u
#define PRINTER_ENUM_CONNECTIONS 0x00000004u
#define PRINTER_ENUM_NAME 0x00000008u

#define FORM_USER 0x00000000u
#define FORM_BUILTIN 0x00000001u
#define FORM_PRINTER 0x00000002u

#define JOB_STATUS_PAUSED 0x00000001u
#define JOB_STATUS_ERROR 0x00000002u
#define JOB_STATUS_DELETING 0x00000004u
#define JOB_STATUS_SPOOLING 0x00000008u
#define JOB_STATUS_PRINTING 0x00000010u
#define JOB_STATUS_OFFLINE 0x00000020u
#define JOB_STATUS_PAPEROUT 0x00000040u
#define JOB_STATUS_PRINTED 0x00000080u
#define JOB_STATUS_DELETED 0x00000100u
#define JOB_STATUS_COMPLETE 0x00001000u

struct PRINTER_DEFAULTSW {
  LPWSTR pDatatype;
  DEVMODEW* pDevMode;
  ACCESS_MASK DesiredAccess;
};
using LPPRINTER_DEFAULTSW = PRINTER_DEFAULTSW*;

struct PRINTER_INFO_1W {
  DWORD Flags;
  LPWSTR pDescription;
  LPWSTR pName;
  LPWSTR pComment;
};

struct PRINTER_INFO_2W {
  LPWSTR pServerName;
  LPWSTR pPrinterName;
  LPWSTR pShareName;
  LPWSTR pPortName;
  LPWSTR pDriverName;
  LPWSTR pComment;
  LPWSTR pLocation;
  DEVMODEW* pDevMode;
  LPWSTR pSepFile;
  LPWSTR pPrintProcessor;
  LPWSTR pDatatype;
  LPWSTR pParameters;
  PVOID pSecurityDescriptor;
  DWORD Attributes;
  DWORD Priority;
  DWORD DefaultPriority;
  DWORD StartTime;
  DWORD UntilTime;
  DWORD Status;
  DWORD cJobs;
  DWORD AveragePPM;
};

struct PRINTER_INFO_4W {
  LPWSTR pPrinterName;
  LPWSTR pServerName;
  DWORD Attributes;
};

struct PRINTER_INFO_5W {
  LPWSTR pPrinterName;
  LPWSTR pPortName;
  DWORD Attributes;
  DWORD DeviceNotSelectedTimeout;
  DWORD TransmissionRetryTimeout;
};

struct DRIVER_INFO_2W {
  DWORD cVersion;
  LPWSTR pName;
  LPWSTR pEnvironment;
  LPWSTR pDriverPath;
  LPWSTR pDataFile;
  LPWSTR pConfigFile;
};

struct DRIVER_INFO_3W {
  DWORD cVersion;
  LPWSTR pName;
  LPWSTR pEnvironment;
  LPWSTR pDriverPath;
  LPWSTR pDataFile;
  LPWSTR pConfigFile;
  LPWSTR pHelpFile;
  LPWSTR pDependentFiles;  // file names, each NUL-terminated, then an empty one
  LPWSTR pMonitorName;
  LPWSTR pDefaultDataType;
};

struct FORM_INFO_1W {
  DWORD Flags;
  LPWSTR pName;
  SIZEL Size;            // thousandths of a millimetre
  RECTL ImageableArea;
};

struct DOC_INFO_1W {
  LPWSTR pDocName;
  LPWSTR pOutputFile;
  LPWSTR pDatatype;
};

struct JOB_INFO_1W {
  DWORD JobId;
  LPWSTR pPrinterName;
  LPWSTR pMachineName;
  LPWSTR pUserName;
  LPWSTR pDocument;
  LPWSTR pDatatype;
  LPWSTR pStatus;
  DWORD Status;
  DWORD Priority;
  DWORD Position;
  DWORD TotalPages;
  DWORD PagesPrinted;
  SYSTEMTIME Submitted;
};

struct PRINTER_ENUM_VALUESW {
  LPWSTR pValueName;
  DWORD cbValueName;  // bytes, with the terminator
  DWORD dwType;
  LPBYTE pData;
  DWORD cbData;
};

extern "C" {
// A null name opens the local print server (forms, drivers). Without
// defaults, or with DesiredAccess 0, the handle has PRINTER_ACCESS_USE.
MORVA_WIN_API BOOL OpenPrinterW(LPWSTR name, HANDLE* printer, LPPRINTER_DEFAULTSW defaults);
MORVA_WIN_API BOOL ClosePrinter(HANDLE printer);
MORVA_WIN_API HANDLE AddPrinterW(LPWSTR server, DWORD level, LPBYTE info);
MORVA_WIN_API BOOL DeletePrinter(HANDLE printer);
// A connection of the current user to a printer of this machine, named as
// the printer is; the driver is told (DrvPrinterEvent) of each.
MORVA_WIN_API BOOL AddPrinterConnectionW(LPWSTR name);
MORVA_WIN_API BOOL DeletePrinterConnectionW(LPWSTR name);
MORVA_WIN_API BOOL GetPrinterW(HANDLE printer, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed);
MORVA_WIN_API BOOL SetPrinterW(HANDLE printer, DWORD level, LPBYTE info, DWORD command);
MORVA_WIN_API BOOL EnumPrintersW(DWORD flags, LPWSTR name, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                                 LPDWORD returned);

MORVA_WIN_API BOOL AddPrinterDriverW(LPWSTR server, DWORD level, LPBYTE info);
MORVA_WIN_API BOOL GetPrinterDriverW(HANDLE printer, LPWSTR environment, DWORD level, LPBYTE buffer, DWORD size,
                                     LPDWORD needed);
MORVA_WIN_API BOOL GetPrinterDriverDirectoryW(LPWSTR server, LPWSTR environment, DWORD level, LPBYTE buffer,
                                              DWORD size, LPDWORD needed);

// Printer data: the plain forms use the key "PrinterDriverData". They return
// a Windows error code; a buffer too small gives ERROR_MORE_DATA.
MORVA_WIN_API DWORD GetPrinterDataW(HANDLE printer, LPWSTR name, LPDWORD type, LPBYTE data, DWORD size,
                                    LPDWORD needed);
MORVA_WIN_API DWORD SetPrinterDataW(HANDLE printer, LPWSTR name, DWORD type, LPBYTE data, DWORD size);
MORVA_WIN_API DWORD DeletePrinterDataW(HANDLE printer, LPWSTR name);
MORVA_WIN_API DWORD GetPrinterDataExW(HANDLE printer, LPCWSTR key, LPCWSTR name, LPDWORD type, LPBYTE data,
                                      DWORD size, LPDWORD needed);
MORVA_WIN_API DWORD SetPrinterDataExW(HANDLE printer, LPCWSTR key, LPCWSTR name, DWORD type, LPBYTE data,
                                      DWORD size);
MORVA_WIN_API DWORD DeletePrinterDataExW(HANDLE printer, LPCWSTR key, LPCWSTR name);
MORVA_WIN_API DWORD EnumPrinterDataExW(HANDLE printer, LPCWSTR key, LPBYTE buffer, DWORD size, LPDWORD needed,
                                       LPDWORD returned);
MORVA_WIN_API DWORD DeletePrinterKeyW(HANDLE printer, LPCWSTR key);

// Forms are shared by all printers. The standard forms come first, in the
// order of their paper codes (a standard form's 1-based position is its
// DMPAPER value), then the added forms in the order they were added.
MORVA_WIN_API BOOL EnumFormsW(HANDLE printer, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                              LPDWORD returned);
MORVA_WIN_API BOOL GetFormW(HANDLE printer, LPWSTR name, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed);
MORVA_WIN_API BOOL AddFormW(HANDLE printer, DWORD level, LPBYTE form);
MORVA_WIN_API BOOL SetFormW(HANDLE printer, LPWSTR name, DWORD level, LPBYTE form);
MORVA_WIN_API BOOL DeleteFormW(HANDLE printer, LPWSTR name);

// Jobs: only the "RAW" data type. Returns the job id, 0 on failure.
MORVA_WIN_API DWORD StartDocPrinterW(HANDLE printer, DWORD level, LPBYTE doc_info);
MORVA_WIN_API BOOL StartPagePrinter(HANDLE printer);
// Every byte reported in `written` is in the job's spool file, also when the
// call fails part way.
MORVA_WIN_API BOOL WritePrinter(HANDLE printer, LPVOID data, DWORD size, LPDWORD written);
MORVA_WIN_API BOOL EndPagePrinter(HANDLE printer);
MORVA_WIN_API BOOL EndDocPrinter(HANDLE printer);
// Deletes the document being spooled on this handle with its bytes.
MORVA_WIN_API BOOL AbortPrinter(HANDLE printer);
MORVA_WIN_API BOOL GetJobW(HANDLE printer, DWORD job_id, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed);
MORVA_WIN_API BOOL EnumJobsW(HANDLE printer, DWORD first, DWORD count, DWORD level, LPBYTE buffer, DWORD size,
                             LPDWORD needed, LPDWORD returned);
}

namespace morva::platform {

// While on, opening a printer with administrative rights (or adding,
// changing or deleting printers, drivers and forms) is refused with
// ERROR_ACCESS_DENIED, as for a user without those rights.
MORVA_WIN_API void inject_printer_access_denied(bool on);

enum class SpoolFault {
  short_write,  // one WritePrinter call stops at the limit and reports fewer bytes
  disk_full,    // from the limit on, writes fail with ERROR_DISK_FULL
};
// Arms a fault on the bytes of every job: `limit` is the job size at which
// it strikes. Cleared by clear_spool_faults (a short write also clears
// itself after striking once).
MORVA_WIN_API void inject_spool_fault(SpoolFault fault, std::uint64_t limit);
MORVA_WIN_API void clear_spool_faults();

// Native path of the spool folder and of one job's spool file.
MORVA_WIN_API std::string spool_folder();
MORVA_WIN_API std::string job_spool_file(DWORD job_id);

// One job as the spooler records it.
struct SpoolJob {
  DWORD id = 0;
  std::u16string printer;
  std::u16string document;
  std::u16string user;
  DWORD status = 0;
  DWORD pages = 0;
  std::uint64_t size = 0;  // bytes in the spool file
  std::string spool_file;  // native path
};
// The jobs of a printer (all printers for an empty name), oldest first.
MORVA_WIN_API std::vector<SpoolJob> spool_jobs(const std::u16string& printer);

}  // namespace morva::platform
