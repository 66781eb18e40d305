// The phonebook export and the run of the outside phonebook tool.
//
// Beyond the tool's own rules: each run works in a folder of its own made
// with a unique name under the temporary directory, removed when the run
// ends, and the tool's exit code decides whether the run failed.
#include "fax/fax_phonebook.h"

#include <cstring>
#include <string>

#include "fax/fax_temp_files.h"
#include "pi/scramble.h"
#include "settings/common/common_utils.h"
#include "settings/common/module_state.h"
#include "win/win.h"
#include "fax_text.h"

namespace morva::fax {
namespace {

using fax_text::text_of;
using fax_text::to_ansi;


constexpr char kCsvLine1[] = "\"SELMAR_QUILLAN_FAX_PHONEBOOK_TOOL\",\"0060000\"";
constexpr char kCsvLine2[] =
    "FPBID,FPBCN,FPBNICKNAME,FPBCOM,FPBADDRT,FPBFAX,FPBIPFAX,FPBDN,FPBVNUM,FPBEMAIL,FPBMEMO,FPBCMODE,FPBFCODE,"
    "FPBPCODE,FPBMBOXID,FPBMBOXPS,FPBRLYID,FPBRLYPRN,FPBRLYNUM01,FPBRLYNUM02,FPBRLYNUM03,FPBRLYNUM04,FPBRLYNUM05,"
    "FPBRLYNUM06,FPBRLYNUM07,FPBRLYNUM08,FPBRLYNUM09,FPBRLYNUM10,FPBRLYNUM11,FPBRLYNUM12,FPBRLYNUM13,FPBRLYNUM14,"
    "FPBRLYNUM15,FPBRLYNUM16,FPBRLYNUM17,FPBRLYNUM18,FPBRLYNUM19,FPBRLYNUM20";
constexpr char kCsvLine3[] = "FPBGID,FPBGCN,FPBGNICKNAME,FPBGMEMCOUNT,FPBGMEMID";
constexpr char kCsvFileName[] = "phonebook.csv";
constexpr char16_t kBackupFileName[] = u"phonebook.bak";
constexpr UINT kCaptionString = 265;
constexpr int kFolderAttempts = 100;

std::u16string load_string(HMODULE module, UINT id) {
  WCHAR buffer[1024] = {};
  const int n = module ? LoadStringW(module, id, buffer, 1024) : 0;
  return std::u16string(buffer, static_cast<size_t>(n > 0 ? n : 0));
}

std::u16string decimal(DWORD n) { return format_w(u"%lu", n); }

INT show(HWND owner, HMODULE resources, UINT id, UINT style) {
  const std::u16string text = load_string(resources, id);
  const std::u16string caption = load_string(resources, kCaptionString);
  return MessageBoxW(owner, text.c_str(), caption.c_str(), style);
}

// The temporary directory, else the Windows directory; with a backslash.
std::u16string temp_base() {
  WCHAR dir[MAX_PATH + 1] = {};
  DWORD n = GetTempPathW(MAX_PATH + 1, dir);
  if (n == 0 || n > MAX_PATH) n = GetWindowsDirectoryW(dir, MAX_PATH + 1);
  if (n == 0 || n > MAX_PATH) return {};
  std::u16string base(dir, n);
  if (base.back() != u'\\') base += u'\\';
  return base;
}

// A new folder whose name no other run (of any process) has: created
// atomically, retried under another name when it exists.
bool make_private_folder(std::u16string* folder) {
  static LONG counter = 0;
  const std::u16string base = temp_base();
  if (base.empty()) return false;
  for (int attempt = 0; attempt < kFolderAttempts; ++attempt) {
    const std::u16string name = base + format_w(u"CSV%lX_%lX_%lX", GetCurrentProcessId(),
                                                static_cast<DWORD>(InterlockedIncrement(&counter)), GetTickCount());
    if (CreateDirectoryW(name.c_str(), nullptr)) {
      *folder = name;
      return true;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

bool write_all(HANDLE file, const std::string& bytes) {
  DWORD written = 0;
  return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

bool file_exists(const std::u16string& path) {
  const DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool folder_of_exists(const std::u16string& path) {
  const size_t slash = path.find_last_of(u"\\/");
  if (slash == std::u16string::npos || slash == 0) return false;
  const DWORD a = GetFileAttributesW(path.substr(0, slash).c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

void record_file(const PhonebookRequest& request, const std::u16string& path) {
  if (request.database) PurgeDirectFaxTempFilesForWindow(request.database, request.owner, path.c_str());
}

}  // namespace

std::u16string EscapeCsvValue(const std::u16string& value) {
  if (value.find_first_of(u"\r\n,\"") == std::u16string::npos) return value;
  std::u16string out = u"\"";
  for (char16_t c : value) {
    if (c == u'"') out += u'"';
    out += c;
  }
  return out + u"\"";
}

std::u16string RotateLetters13(const std::u16string& text) {
  std::u16string out = text;
  for (char16_t& c : out) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(u'a' + (c - u'a' + 13) % 26);
    else if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(u'A' + (c - u'A' + 13) % 26);
  }
  return out;
}

std::u16string EncodePhonebookPassword(const std::u16string& password) {
  if (password.empty()) return {};
  std::string bytes;
  for (char16_t unit : password) {
    if (unit >= 0x100) bytes += static_cast<char>(unit >> 8);
    bytes += static_cast<char>(unit & 0xFF);
  }
  std::string base64(static_cast<size_t>(morva::pi::Base64EncodedLength(static_cast<int>(bytes.size()))), '\0');
  int written = 0;
  if (morva::pi::Base64Encode(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<int>(bytes.size()),
                              base64.data(), &written, static_cast<int>(base64.size())) != 0)
    return {};
  return RotateLetters13(std::u16string(base64.begin(), base64.begin() + written));
}

bool WritePhonebookCsvHeader(HMODULE resources, std::string* out) {
  if (!out) return false;
  *out = std::string(kCsvLine1) + "\r\n" + kCsvLine2 + "\r\n" + kCsvLine3 + "\r\n";
  const std::u16string title = load_string(resources ? resources : GetResourceModule(), kCsvTitleString);
  std::string ansi;
  if (title.empty() || !to_ansi(title, &ansi)) return false;
  *out += ansi + "\r\n";
  return true;
}

bool WritePhonebookCsvEntry(const FaxDestination* d, std::u16string* out) {
  if (!d || !out || d->Kind == kFaxKindSpeedDial || d->Kind > kFaxKindIpAddress || d->Line > 2) return false;
  static constexpr const char16_t* kLinePrefixes[] = {u"[None]", u"[Extension]", u"[Outside Line]"};
  const bool ip = d->Kind == kFaxKindIpAddress;
  const std::u16string number = EscapeCsvValue(text_of(d->Number));
  const std::u16string columns[] = {
      u"",                                                  // FPBID
      EscapeCsvValue(text_of(d->Name)),                     // FPBCN
      u"",                                                  // FPBNICKNAME
      EscapeCsvValue(text_of(d->Company)),                  // FPBCOM
      ip ? u"1" : u"0",                                     // FPBADDRT
      ip ? std::u16string() : kLinePrefixes[d->Line] + number,  // FPBFAX
      ip ? number : std::u16string(),                       // FPBIPFAX
      u"", u"", u"", u"",                                   // FPBDN, FPBVNUM, FPBEMAIL, FPBMEMO
      decimal(d->CommMode),                                 // FPBCMODE
      EscapeCsvValue(text_of(d->FCode)),                    // FPBFCODE
      EncodePhonebookPassword(text_of(d->FCodePassword)),   // FPBPCODE
      d->BoxMode == 1 ? decimal(d->MailboxId) : std::u16string(),                             // FPBMBOXID
      d->BoxMode == 1 ? EncodePhonebookPassword(text_of(d->MailboxPassword)) : std::u16string(),  // FPBMBOXPS
      d->BoxMode == 2 ? decimal(d->RelayId) : std::u16string(),                               // FPBRLYID
  };
  out->clear();
  for (const auto& c : columns) *out += c + u",";
  *out += decimal(d->RelayPrint);  // FPBRLYPRN
  if (d->BoxMode == 2) *out += u"," + text_of(d->RelayNumbers);
  return true;
}

bool ExportPhonebookCsv(HMODULE resources, const FaxDestination* destination, PhonebookExport* run) {
  if (!run) return false;
  *run = {};
  std::string header;
  std::u16string entry;
  std::string entry_ansi;
  if (!WritePhonebookCsvHeader(resources, &header) || !WritePhonebookCsvEntry(destination, &entry) ||
      !to_ansi(entry, &entry_ansi))
    return false;
  if (!make_private_folder(&run->Folder)) return false;
  run->CsvPath = run->Folder + u"\\" + std::u16string(kCsvFileName, kCsvFileName + sizeof(kCsvFileName) - 1);
  HANDLE file = CreateFileW(run->CsvPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    RemovePhonebookExport(run);
    return false;
  }
  const bool written = write_all(file, header) && write_all(file, entry_ansi);
  if (!CloseHandle(file) || !written) {
    RemovePhonebookExport(run);
    return false;
  }
  return true;
}

bool BackupPhonebookFile(LPCWSTR phonebook, PhonebookExport* run) {
  if (!phonebook || !run || run->Folder.empty()) return false;
  const std::u16string backup = run->Folder + u"\\" + kBackupFileName;
  if (!CopyFileW(phonebook, backup.c_str(), TRUE)) return false;
  run->BackupPath = backup;
  return true;
}

void RemovePhonebookExport(PhonebookExport* run) {
  if (!run) return;
  if (!run->CsvPath.empty()) DeleteFileW(run->CsvPath.c_str());
  if (!run->BackupPath.empty()) DeleteFileW(run->BackupPath.c_str());
  if (!run->Folder.empty()) RemoveDirectoryW(run->Folder.c_str());
  *run = {};
}

bool FindPhonebookTool(HMODULE resources, std::u16string* executable, DWORD* version) {
  if (!executable || !version) return false;
  if (!resources) resources = GetResourceModule();
  const std::u16string key_name = load_string(resources, kToolKeyString);
  const std::u16string dir_value = load_string(resources, kToolDirValueString);
  const std::u16string version_value = load_string(resources, kToolVersionValueString);
  const std::u16string file = load_string(resources, kToolFileString);
  if (key_name.empty() || dir_value.empty() || version_value.empty() || file.empty()) return false;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key_name.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  WCHAR dir[MAX_PATH + 1] = {};
  DWORD size = sizeof(dir) - sizeof(WCHAR);
  DWORD type = 0;
  bool ok = RegQueryValueExW(key, dir_value.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(dir), &size) ==
                ERROR_SUCCESS &&
            type == REG_SZ && dir[0];
  BYTE data[64] = {};
  DWORD data_size = sizeof(data) - sizeof(WCHAR);
  ok = ok && RegQueryValueExW(key, version_value.c_str(), nullptr, &type, data, &data_size) == ERROR_SUCCESS;
  RegCloseKey(key);
  if (!ok) return false;
  if (type == REG_DWORD && data_size == 4) std::memcpy(version, data, 4);
  else if (type == REG_SZ) *version = static_cast<DWORD>(WStrToInt(reinterpret_cast<const WCHAR*>(data)));
  else return false;
  std::u16string path = dir;
  if (path.back() != u'\\') path += u'\\';
  *executable = path + file;
  return true;
}

bool StartPhonebookTool(const std::u16string& executable, const std::u16string& csv, const std::u16string& phonebook,
                        PROCESS_INFORMATION* process) {
  if (!process) return false;
  std::u16string command = u"-I\"" + csv + u"\" -O\"" + phonebook + u"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  *process = {};
  return CreateProcessW(executable.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        process) != FALSE;
}

bool FinishPhonebookTool(PROCESS_INFORMATION* process, DWORD milliseconds) {
  if (!process || !process->hProcess) return false;
  DWORD code = STILL_ACTIVE;
  const bool ended = WaitForSingleObject(process->hProcess, milliseconds) == WAIT_OBJECT_0;
  if (ended) GetExitCodeProcess(process->hProcess, &code);
  // A tool still running after the wait is ended, so that it cannot write
  // the phonebook after the backup has been put back.
  else TerminateProcess(process->hProcess, 1);
  CloseHandle(process->hProcess);
  if (process->hThread) CloseHandle(process->hThread);
  *process = {};
  return ended && code == 0;
}

bool CheckPhonebookTool(HWND owner, HMODULE resources, std::u16string* executable) {
  if (!resources) resources = GetResourceModule();
  DWORD version = 0;
  if (!FindPhonebookTool(resources, executable, &version)) {
    show(owner, resources, kMsgToolMissing, MB_OK | MB_ICONWARNING);
    return false;
  }
  if (version < kPhonebookToolMinVersion) {
    show(owner, resources, kMsgToolTooOld, MB_OK | MB_ICONWARNING);
    return false;
  }
  return true;
}

bool LaunchPhonebookTool(HMODULE resources) {
  std::u16string executable;
  DWORD version = 0;
  if (!FindPhonebookTool(resources, &executable, &version)) return false;
  const HINSTANCE shown = ShellExecuteW(nullptr, u"open", executable.c_str(), nullptr, nullptr, SW_SHOW);
  return reinterpret_cast<INT_PTR>(shown) > 32;
}

PhonebookResult AddToPhonebook(const PhonebookRequest& request, const FaxDestination* destination) {
  HMODULE resources = request.resources ? request.resources : GetResourceModule();
  std::u16string executable;
  DWORD version = 0;
  if (!FindPhonebookTool(resources, &executable, &version)) return PhonebookResult::kToolMissing;
  if (version < kPhonebookToolMinVersion) return PhonebookResult::kToolTooOld;
  if (!destination || request.phonebook.empty() || !destination->Number[0]) return PhonebookResult::kFailed;
  PhonebookExport run;
  if (!ExportPhonebookCsv(resources, destination, &run)) return PhonebookResult::kFailed;
  record_file(request, run.CsvPath);
  if (!file_exists(request.phonebook)) {
    if (!folder_of_exists(request.phonebook) ||
        show(request.owner, resources, kMsgCreatePhonebook, MB_YESNO | MB_ICONQUESTION) != IDYES) {
      RemovePhonebookExport(&run);
      return PhonebookResult::kCancelled;
    }
  } else if (BackupPhonebookFile(request.phonebook.c_str(), &run)) {
    record_file(request, run.BackupPath);
  }
  PROCESS_INFORMATION process{};
  PhonebookResult result = PhonebookResult::kFailed;
  if (StartPhonebookTool(executable, run.CsvPath, request.phonebook, &process)) {
    const bool stopped = request.wait && request.wait(&process);
    if (FinishPhonebookTool(&process, request.wait ? 0 : request.toolTimeoutMs) && !stopped) {
      result = PhonebookResult::kAdded;
    } else {
      result = PhonebookResult::kToolFailed;
      if (!run.BackupPath.empty()) CopyFileW(run.BackupPath.c_str(), request.phonebook.c_str(), FALSE);
    }
  }
  RemovePhonebookExport(&run);
  if (request.database) PurgeDirectFaxTempFiles(request.database, nullptr, nullptr);
  return result;
}

INT IsBlankText(LPCWSTR text) {
  if (!text) return 0;
  for (; *text; ++text)
    if (*text != u' ' && *text != u'\u3000') return 0;
  return 1;
}

}  // namespace morva::fax
