// Putting one destination into a phonebook file of the outside phonebook
// tool: the destination is written as a small CSV file in the tool's import
// format, the tool is started with that file as input and the phonebook as
// output, and the phonebook is restored from a backup when the tool fails.
//
// Beyond the tool's own rules: the CSV file and the backup live in a
// private folder of their own with a unique name (never a fixed name that
// another process could be using at the same time), the folder is removed
// when the run ends, and a tool that exits with an error code counts as a
// failed run, like one that never finished.
#pragma once

#include <functional>
#include <string>

#include "fax/fax_destination.h"
#include "win/process.h"
#include "win/types.h"

struct DddHandle;

namespace morva::fax {

inline constexpr DWORD kPhonebookToolMinVersion = 60100;
inline constexpr UINT kToolKeyString = 4652;
inline constexpr UINT kToolDirValueString = 4654;
inline constexpr UINT kToolVersionValueString = 4655;
inline constexpr UINT kToolFileString = 4628;
inline constexpr UINT kCsvTitleString = 5228;
inline constexpr UINT kMsgToolMissing = 5226;
inline constexpr UINT kMsgToolTooOld = 5227;
inline constexpr UINT kMsgCreatePhonebook = 5229;
inline constexpr UINT kMsgToolNotLaunched = 4624;

// The quoting rule: a value holding CR, LF, a comma or a double quote goes
// in double quotes with its double quotes doubled; others stay as they are.
std::u16string EscapeCsvValue(const std::u16string& value);
// The letters of the text rotated by 13 within their case.
std::u16string RotateLetters13(const std::u16string& text);
// The exported form of a password: its UTF-16 units as bytes (below 0x100
// one byte, else two, high byte first), Base64, then ROT13. Empty for an
// empty password.
std::u16string EncodePhonebookPassword(const std::u16string& password);

// Lines 1 to 4 of the CSV file (each ended by CR LF), in the ANSI code
// page. False when resource string 5228 is missing or cannot be converted.
bool WritePhonebookCsvHeader(HMODULE resources, std::string* out);
// The destination's line (no line end). False for a speed-dial destination
// or a kind or line prefix out of range.
bool WritePhonebookCsvEntry(const FaxDestination* destination, std::u16string* out);

// One run's private folder and the files in it.
struct PhonebookExport {
  std::u16string Folder;  // unique, made for this run
  std::u16string CsvPath;
  std::u16string BackupPath;  // empty until a backup is made
};
// Makes the private folder under the temporary directory (else the Windows
// directory) and writes the CSV file into it. False (nothing left behind)
// when the folder or file cannot be made, the destination cannot be
// exported or a write fails.
bool ExportPhonebookCsv(HMODULE resources, const FaxDestination* destination, PhonebookExport* run);
// Copies the phonebook file into the run's folder. True when copied.
bool BackupPhonebookFile(LPCWSTR phonebook, PhonebookExport* run);
// Deletes the run's files and its folder.
void RemovePhonebookExport(PhonebookExport* run);

// The tool's executable and version from the registry (HKEY_LOCAL_MACHINE
// key string 4652: folder value 4654 + file string 4628, version value
// 4655 as a decimal number). False when a string, the key or a value is
// missing.
bool FindPhonebookTool(HMODULE resources, std::u16string* executable, DWORD* version);
// Starts the tool: -I "<csv>" -O "<phonebook>". True with the process.
bool StartPhonebookTool(const std::u16string& executable, const std::u16string& csv, const std::u16string& phonebook,
                        PROCESS_INFORMATION* process);
// Waits for the tool (up to `milliseconds`; a tool still running then is
// ended) and closes its handles. True when it ended with exit code 0; false
// when it failed or did not end in time.
bool FinishPhonebookTool(PROCESS_INFORMATION* process, DWORD milliseconds);

// What one "add to phonebook" needs besides the destination.
struct PhonebookRequest {
  HWND owner;
  HMODULE resources;          // null: the resource module
  DddHandle* database;        // for the temporary-file lists (may be null)
  std::u16string phonebook;   // the file the user chose
  DWORD toolTimeoutMs;
  // Waits for the running tool in place of the timed wait (the tool-wait
  // dialog); true when the user stopped the tool. A tool still running
  // afterwards is ended, and the run counts as failed.
  std::function<bool(PROCESS_INFORMATION* process)> wait = nullptr;
};
// Results of AddToPhonebook.
enum class PhonebookResult { kAdded, kToolMissing, kToolTooOld, kCancelled, kFailed, kToolFailed };
// The whole run after the file dialog: export, backup (or the question
// before a new phonebook), the tool, the restore after a failed tool run,
// and the removal of the run's files.
PhonebookResult AddToPhonebook(const PhonebookRequest& request, const FaxDestination* destination);
// Opens the tool with the shell (verb "open"); true when the shell
// reports success.
bool LaunchPhonebookTool(HMODULE resources);
// Shows the tool check's warnings; true when the tool may be used.
bool CheckPhonebookTool(HWND owner, HMODULE resources, std::u16string* executable);

// 1 when the text holds only U+0020 and U+3000 (an empty text included).
INT IsBlankText(LPCWSTR text);

}  // namespace morva::fax
