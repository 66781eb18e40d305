// The printer-level exports of the printer-interface library, which the
// spooler and GDI call without a document: device capabilities and the
// colour profile, DEVMODE conversion and the check of a queued job's
// DEVMODE, printer events and the driver upgrade; with the internal steps
// that tests and the fuzz target reach directly.
#pragma once

#include "win/printer_ui.h"
#include "win/spooler.h"
#include "win/types.h"

struct DddHandle;

MORVA_EXPORT DWORD DrvDeviceCapabilities(HANDLE printer, LPWSTR device_name, WORD capability, PVOID output,
                                         DEVMODEW* devmode);
MORVA_EXPORT BOOL DrvQueryColorProfile(HANDLE printer, DEVMODEW* devmode, ULONG query_mode, PVOID profile,
                                       ULONG* profile_size, ULONG* profile_flags);
MORVA_EXPORT BOOL DrvConvertDevMode(LPWSTR printer_name, DEVMODEW* in, DEVMODEW* out, LONG* size, DWORD mode);
MORVA_EXPORT BOOL DevQueryPrintEx(DEVQUERYPRINT_INFO* info);
MORVA_EXPORT BOOL DrvPrinterEvent(LPWSTR printer_name, INT event, DWORD flags, LPARAM lparam);
MORVA_EXPORT BOOL DrvUpgradePrinter(DWORD level, LPBYTE info);

// ---- device capabilities --------------------------------------------------

// One paper of the capability answers: the paper's WORD (the spooler
// form's 1-based position, 256 for the custom size), its name and its size
// in tenths of a millimetre.
struct CapabilityPaperEntry {
  WORD paper;
  WCHAR name[CCHPAPERNAME];
  INT width;
  INT length;
};

// The papers of the paper-size item in database order, without papers 311
// and 312 and, unless `show_all`, without the custom size 256. With
// `entries` (room for the count a call without them answered) they are
// filled. The count, or -1 when the database or the forms cannot be read.
INT BuildCapabilityPaperList(HANDLE printer, void* devmode, void* printer_data, CapabilityPaperEntry* entries,
                             BOOL show_all, DddHandle* database);

// One tray of the bin answers.
struct CapabilityTrayEntry {
  WORD id;
  WCHAR name[CCHBINNAME + 1];
};
// The trays of the paper-source item that the constraint rules allow with
// the settings, with the model's tray mapping applied: the count, and the
// entries in a GlobalAlloc'ed array (null for none; GlobalFree it). -1 on
// failure.
INT BuildBinList(HANDLE printer, void* devmode, void* printer_data, DddHandle* database,
                 CapabilityTrayEntry** entries);

// The DEVMODE a capability query answers from: the printer's default with
// the caller's DEVMODE merged in and its paper size, width and length taken
// unchanged. A GlobalAlloc'ed 5988-byte block, or null.
void* BuildCapabilitiesDevmode(HANDLE printer, DddHandle* database, void* printer_data, const DEVMODEW* caller);

// ---- DEVMODE conversion ---------------------------------------------------

// Results of ConvertDevModeWorker: 1 converted from an older version, 2
// copied from the same version, 3 replaced by the defaults; -1 the output
// is too small (*size then holds the size needed); -2 failure.
inline constexpr INT kConvertConverted = 1;
inline constexpr INT kConvertCopied = 2;
inline constexpr INT kConvertDefaults = 3;
inline constexpr INT kConvertTooSmall = -1;
inline constexpr INT kConvertFailed = -2;

// The work of DrvConvertDevMode on an open database. `readable` bounds what
// is read of `in` beside its own dmSize + dmDriverExtra (the spooler hands
// a whole DEVMODE; a fuzzer hands bytes of a known length).
INT ConvertDevModeWorker(LPCWSTR printer_name, DddHandle* database, const DEVMODEW* in, DEVMODEW* out, LONG* size,
                         DWORD mode, DWORD readable);

// Formats a message for the spooler into `buffer` (`size` characters with
// the terminator): "%s" takes the next string argument (a missing one is a
// blank), "%!" followed by a number reads that resource string of `module`
// (at most 256 characters), "%c" a character, "%d" "%u" "%x" "%X" numbers;
// any other character after "%" is copied. *needed receives the length the
// whole message needs with its terminator, also when it is cut. The
// characters written.
struct DevQueryArg {
  LPCWSTR text;
  LONG number;
};
INT FormatDevQueryMessage(HMODULE module, LPWSTR buffer, DWORD size, DWORD* needed, LPCWSTR templ,
                          const DevQueryArg* args, INT arg_count);

// ---- printer events and upgrade -----------------------------------------

// Opens the printer with the rights of the interactive user (for an
// upgrade run by an account the spooler refuses). 1 with the handle; 0
// when no such user's rights can be taken, which on this machine, without
// user sessions, is always.
INT OpenPrinterAsShellUser(LPCWSTR printer_name, HANDLE* printer, PRINTER_DEFAULTSW* defaults);

// Adds a printer form for every paper of the database that the spooler
// lacks. 1 when every paper has its form, 0 when one could not be added.
INT AddMissingPaperForms(HANDLE printer, DddHandle* database);

// Without `migrate` only makes sure the font substitution table exists.
// With it the printer's stored settings, private blobs and fax list are
// read (converted from older layouts) and stored again in the current
// layout, the prompt-component switch is published and the font table
// ensured. 1 done, 0 failure.
INT MigratePrinterSettings(HANDLE printer, DddHandle* database, BOOL migrate);

// Makes sure the printer has its identity ("PRNID"). 1 when it has one.
INT EnsurePrinterIdentity(HANDLE printer);
