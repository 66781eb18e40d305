// Re-sending a job file saved earlier (a whole job of PJL lines and page
// data) to the printer as a spooler job of its own, with a fresh job header
// in front of the saved page data and, where the device expects another
// job end than the file has, a fresh job end.
#pragma once

#include <cstdint>

#include "win/types.h"

struct DddHandle;

namespace morva::pi {

// How a saved job ends (or, for kind 2, how its page data began).
enum ResendTrailerKind : INT {
  kTrailerPlain = 1,       // UEL and the end-of-job line
  kTrailerEnterLanguage = 2,  // the page data followed "@PJL ENTER LANGUAGE="
  kTrailerJobInfo = 3,     // the job end carries job-information lines
};

struct PdlBody {
  std::uint64_t total = 0;
  std::uint64_t start = 0;  // the first byte after the line that switches language
  std::uint64_t end = 0;    // the universal exit that begins the job end
  INT kind = 0;
};

// Locates the page data of an open job file: 1 when found, 0 otherwise.
// Lines before the data are at most 1024 bytes; the job end is searched
// backwards from the end of the file through text (a zero byte stops it),
// however long its job-information block is.
INT FindPdlBody(HANDLE file, PdlBody* out);

// The job end the device expects: job information with capability bit
// 0x40000, else plain.
INT ExpectedTrailerKind(DddHandle* database);

// Mode 0 writes a new job header for the settings, mode 1 the job end of
// `kind`. 1 on success, 0 on failure.
INT WriteResendFrame(void* devmode, HANDLE printer, INT mode, INT kind, void* printer_data, DddHandle* database,
                     const char* monitor_id = nullptr);
// The job-monitor registration of a re-sent job (stored output under the
// store name, setting 338), not yet sent; the id in `id` (48 bytes). Null
// when nothing was registered.
void* RegisterResentJob(char* id, void* devmode, void* printer_data, LPCWSTR printer_name, LPCWSTR port_name);

// 0 sent, -2 the file cannot be opened, -1 any other failure (the spooler
// job is then aborted).
INT ResendJobFile(DddHandle* database, void* devmode, void* printer_data, LPCWSTR file_name, LPCWSTR printer_name,
                  LPCWSTR port_name, INT prompt);

// At STARTDOC: the saved job of setting 1830, when one is named. 1 when
// nothing was to be sent or the send succeeded, -1 otherwise.
INT ResendSavedJobIfRequested(HANDLE printer, void* devmode, void* printer_data, DddHandle* database);

}  // namespace morva::pi
