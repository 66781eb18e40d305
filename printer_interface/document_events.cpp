// DrvDocumentEvent: one job context per printer DC, the DC DEVMODE that
// replaces the application's, the preparation of a document at STARTDOC
// and its transfer to the graphics library at STARTDOCPOST and after a
// ResetDC, and the page events.
//
// Sound behaviour kept beyond the plain event table:
// - a context is found by its DC, never by the printer handle alone, so two
//   DCs on one printer handle (on two threads at once) keep their own jobs,
//   and DELETEDC frees only the context of its DC;
// - a CREATEDCPRE that fails after making its context frees that context;
// - every pointer the per-document free releases is cleared with its size;
// - the STARTDOCPOST transfer sends every step even after one failed, so the
//   graphics library always sees the closing transfer mark.
#include "pi/document_events.h"
#include "pi/job_monitor.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "fax/fax_temp_files.h"
#include "pi/document_properties.h"
#include "pi/job_resend.h"
#include "pi/pjl_header.h"
#include "pi/print_prompt.h"
#include "pi/private_escapes.h"
#include "pi/stamp_drawing.h"
#include "pi/start_doc_steps.h"
#include "settings/common/common_utils.h"
#include "settings/common/driver_locks.h"
#include "settings/common/module_state.h"
#include "settings/common/system_utils.h"
#include "settings/common/trace_log.h"
#include "settings/database/ddd_file.h"
#include "settings/database/ddd_queries.h"
#include "settings/database/model_config.h"
#include "settings/devmode/driver_devmode.h"
#include "settings/devmode/paper_size_list.h"
#include "settings/items/item_access.h"
#include "settings/stores/printer_settings.h"
#include "win/clock.h"
#include "win/codepage.h"
#include "win/files.h"
#include "win/format.h"
#include "win/memory.h"
#include "win/modules.h"
#include "win/msgbox.h"
#include "win/resources.h"
#include "win/spooler.h"
#include "win/strings.h"
#include "win/sysinfo.h"
#include "win/window.h"

namespace morva::pi {
namespace {

constexpr DWORD kDevmodeBytes = kDriverDevmodeSize;    // 5988
constexpr DWORD kPrinterDataBytes = kSettingsBlockSize;  // 7972
constexpr DWORD kDcDevmodeBytes = 6012;
constexpr WORD kDcDevmodeExtra = 5792;
constexpr WORD kDcTailSize = 24;

// One printer DC's job. `dc` is null from CREATEDCPRE until the DC is
// known; `creator` is the thread that made the context.
struct JobContext {
  HANDLE printer;
  HDC dc;
  DWORD creator;
  HMODULE ownModule;
  DWORD documentStarted;
  DWORD faxJob;
  DWORD firstStart;
  DWORD warningConfirmed;
  BYTE devmode[kDevmodeBytes];
  BYTE printerData[kPrinterDataBytes];
  DddHandle* database;
  WCHAR documentName[261];
  WCHAR userName[257];
  BYTE headerInfo[kPrintHeaderInfoSize];
  BYTE* headerSet;  // GlobalAlloc'ed PjlHeaderSet
  DWORD headerSetSize;
  BYTE* copyIds;
  DWORD copyIdsSize;
  DWORD faxDataSize;
  BYTE* faxData;
  WCHAR faxFileName[262];
  BYTE jobBlock[kJobBlockSize];
  BYTE sealmarkSetup[kSealmarkSetupSize];
  DWORD sealmarkActive;
  INT sealmarkOutputs;
  DWORD sealmarkSettingsSize;
  BYTE* sealmarkSettings;
  DWORD sealmarkExtraSize;
  BYTE* sealmarkExtra;
  INT copyRecordsSize;
  BYTE* copyRecords;
  BYTE* spInfo;
  DWORD spInfoSize;
  JobContext* next;
};

JobContext* g_contexts = nullptr;  // guarded by kLockJobContexts

// ---- the context list -------------------------------------------------------------

HMODULE reload_own_module() {
  WCHAR path[262] = {};
  if (!GetModuleFileNameW(GetDriverModuleHandle(), path, 261)) return nullptr;
  return LoadLibraryW(path);
}

JobContext* create_job_context(HANDLE printer) {
  auto* c = static_cast<JobContext*>(GlobalAlloc(GPTR, sizeof(JobContext)));
  if (!c) return nullptr;
  c->printer = printer;
  c->creator = GetCurrentThreadId();
  {
    DriverLockGuard lock(kLockJobContexts);
    c->next = g_contexts;
    g_contexts = c;
  }
  c->ownModule = reload_own_module();
  return c;
}

void free_block(BYTE** block) {
  if (*block) GlobalFree(*block);
  *block = nullptr;
}

void free_job_context_data(JobContext* c) {
  free_block(&c->headerSet);
  c->headerSetSize = 0;
  free_block(&c->copyIds);
  c->copyIdsSize = 0;
  free_block(&c->faxData);
  c->faxDataSize = 0;
  // The address file was the job's own; the shared one stays.
  if (c->faxFileName[0] && lstrcmpiW(c->faxFileName, u"C:\\qzfaxaddress.tmp") != 0) DeleteFileW(c->faxFileName);
  c->faxFileName[0] = 0;
  free_block(&c->sealmarkSettings);
  c->sealmarkSettingsSize = 0;
  free_block(&c->sealmarkExtra);
  c->sealmarkExtraSize = 0;
  free_block(&c->copyRecords);
  c->copyRecordsSize = 0;
  free_block(&c->spInfo);
  c->spInfoSize = 0;
}

void reset_job_context(JobContext* c) {
  c->documentStarted = c->faxJob = c->firstStart = c->warningConfirmed = 0;
  c->documentName[0] = c->userName[0] = c->faxFileName[0] = 0;
  std::memset(c->headerInfo, 0, 4);
  std::memset(c->jobBlock, 0, sizeof c->jobBlock);
  std::memset(c->sealmarkSetup, 0, sizeof c->sealmarkSetup);
  c->sealmarkActive = 0;
  c->sealmarkOutputs = 0;
}

// Unlinks and frees one context.
void delete_job_context(JobContext* c) {
  {
    DriverLockGuard lock(kLockJobContexts);
    for (JobContext** p = &g_contexts; *p; p = &(*p)->next) {
      if (*p == c) {
        *p = c->next;
        break;
      }
    }
  }
  free_job_context_data(c);
  if (c->database) DddClose(c->database);
  if (c->ownModule) FreeLibrary(c->ownModule);
  GlobalFree(c);
}

// The context of a DC. A context still waiting for its DC, made on this
// thread for this printer, takes the DC now. The database is opened on
// first need.
JobContext* find_job_context(HANDLE printer, HDC dc) {
  DriverLockGuard lock(kLockJobContexts);
  JobContext* found = nullptr;
  for (JobContext* c = g_contexts; c && !found; c = c->next)
    if (dc && c->dc == dc && c->printer == printer) found = c;
  const DWORD self = GetCurrentThreadId();
  for (JobContext* c = g_contexts; c && !found; c = c->next) {
    if (!c->dc && c->printer == printer && c->creator == self) {
      c->dc = dc;
      found = c;
    }
  }
  if (found && !found->database) found->database = DddOpen(printer);
  return found;
}

// The context CREATEDCPRE made on this thread for this printer, still
// without a DC.
JobContext* find_pending_context(HANDLE printer) {
  DriverLockGuard lock(kLockJobContexts);
  const DWORD self = GetCurrentThreadId();
  for (JobContext* c = g_contexts; c; c = c->next)
    if (!c->dc && c->printer == printer && c->creator == self) return c;
  return nullptr;
}

// ---- settings helpers ---------------------------------------------------------------

LONG number(void* devmode, void* printer_data, WORD ddmid) { return ReadItemNumber(devmode, printer_data, ddmid); }

std::u16string text(void* devmode, void* printer_data, WORD ddmid) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue value{};
  if (GetItemValue(ddmid, devmode, printer_data, &type, &size, &value) != 0 || type != 6) return {};
  return ItemText(value, size);
}

INT send(HDC dc, WORD code, DWORD in_size, const void* in, DWORD out_size, void* out) {
  return ExtEscape(dc, code, static_cast<int>(in_size), static_cast<LPCSTR>(in), static_cast<int>(out_size),
                   static_cast<LPSTR>(out));
}

INT send_sender(void* dc, DWORD code, DWORD in_size, const void* in, DWORD out_size, void* out) {
  return send(static_cast<HDC>(dc), static_cast<WORD>(code), in_size, in, out_size, out);
}

std::u16string logon_user_name() {
  WCHAR name[1025] = {};
  DWORD size = 1025;
  if (GetLogonUserName(name, &size) < 0) return {};
  name[1024] = 0;
  return name;
}

void copy_text(WCHAR* out, std::size_t chars, const std::u16string& text) {
  std::size_t n = std::min(text.size(), chars - 1);
  std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n), out);
  out[n] = 0;
}

// A text through the ANSI code page into at most n bytes (plus its
// terminator); a text that needs more becomes empty.
std::u16string limit_to_ansi_bytes(std::size_t n, const std::u16string& text) {
  if (n >= 1024) return {};
  if (text.empty()) return {};
  int bytes = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0 || static_cast<std::size_t>(bytes) > n + 1) return {};
  return text;
}

// ---- DC DEVMODE ------------------------------------------------------------------------

BOOL merge_job_devmode(BYTE* dc, JobContext* c, void* printer_data, const DEVMODEW* app) {
  DWORD size = kDevmodeBytes;
  BOOL converted = FALSE;
  PRINTER_INFO_2W* info = GetPrinterDefaultDevmode(c->printer, c->database, dc, &size, &converted);
  if (!info) return FALSE;
  GlobalFree(info);
  const bool keep_depth = number(dc, printer_data, 1359) == 1;
  const LONG default_depth = number(dc, printer_data, 266);
  if (app && !MergeDevmodeLogged(c->database, dc, app, printer_data, c->printer, kMergeResolutionPair)) return FALSE;
  if (!LimitResolutionForPaper(dc)) return TRUE;
  const LONG asked = number(dc, printer_data, 266);
  if (keep_depth && asked != default_depth && default_depth >= 2 && default_depth <= 11 &&
      (asked == 1 || asked == 23 || (asked >= 2 && asked <= 11))) {
    SetItemNumber(dc, printer_data, 266, 0, static_cast<DWORD>(-1), static_cast<DWORD>(default_depth));
    SetItemNumber(dc, printer_data, 331, 0, static_cast<DWORD>(-1), 0);
  }
  if (GetTraceFlags() & 0x30000) {
    if (app) TraceDumpItemRange(0x30000, u"<INPUT  DEVMODE>", const_cast<DEVMODEW*>(app), printer_data);
    TraceDumpItemRange(0x30000, u"<OUTPUT DEVMODE>", dc, printer_data);
  }
  return TRUE;
}

void fill_dc_paper_record(BYTE* dc, JobContext* c, void* printer_data, BYTE out[kDcPaperRecordSize]) {
  std::memset(out, 0, kDcPaperRecordSize);
  if (number(dc, printer_data, 387) == 0) return;
  const WORD paper_size = static_cast<WORD>(number(dc, printer_data, 8));
  LONG paper_id = 0;
  if (FindPaperByFormName(c->printer, dc, printer_data, paper_size, &paper_id) != kFormPaperFound) return;
  const std::int32_t margins[4] = {46, 46, 46, 46};
  PackDcPaperRecord(MakeDcPaperRecord(paper_size, static_cast<WORD>(paper_id), margins), out);
}

// The DC DEVMODE for an application's DEVMODE; 1 with *out set (or left
// untouched when the application's already is one), -1 on failure.
INT prepare_dc_devmode(JobContext* c, const DEVMODEW* app, DEVMODEW** out) {
  if (app && app->dmSize + app->dmDriverExtra == kDcDevmodeBytes) {
    WORD mark = 0;
    std::memcpy(&mark, reinterpret_cast<const BYTE*>(app) + kDevmodeBytes, 2);
    if (mark == kDcTailSize) return 1;
  }
  if (!c || !c->database) return -1;
  auto* printer_data = static_cast<BYTE*>(GlobalAlloc(GPTR, kPrinterDataBytes));
  if (!printer_data) return -1;
  INT result = -1;
  auto* dc = static_cast<BYTE*>(GlobalAlloc(GPTR, kDcDevmodeBytes));
  if (dc && ReadPrinterSettings(c->printer, printer_data, c->database) == 1 &&
      merge_job_devmode(dc, c, printer_data, app)) {
    BYTE* tail = dc + kDevmodeBytes;
    fill_dc_paper_record(dc, c, printer_data, tail + 2);
    const DWORD list_mode = GetPaperListMode(c->database, printer_data);
    const DWORD enforced = c->database->config && IsItemEnforced(270, c->database->config) ? 1 : 0;
    std::memcpy(tail + 16, &list_mode, 4);
    std::memcpy(tail + 20, &enforced, 4);
    std::memcpy(tail, &kDcTailSize, 2);
    reinterpret_cast<DEVMODEW*>(dc)->dmDriverExtra = kDcDevmodeExtra;
    *out = reinterpret_cast<DEVMODEW*>(dc);
    dc = nullptr;
    result = 1;
  }
  if (dc) GlobalFree(dc);
  GlobalFree(printer_data);
  return result;
}

void free_replacement(PVOID in) {
  if (!in) return;
  DEVMODEW* replacement = *static_cast<DEVMODEW**>(in);
  if (replacement) GlobalFree(replacement);
}

// ---- print header -------------------------------------------------------------------

std::u16string resource_string(UINT id, int max_chars) {
  std::vector<WCHAR> buffer(static_cast<std::size_t>(max_chars) + 1);
  int n = LoadStringW(GetResourceModule(), id, buffer.data(), max_chars + 1);
  return n > 0 ? std::u16string(buffer.data(), static_cast<std::size_t>(n)) : std::u16string();
}

std::u16string format_date(const SYSTEMTIME& t) {
  WCHAR order[5] = {};
  int idate = 2;
  if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_IDATE, order, 5) > 0) {
    idate = order[0] - u'0';
    if (idate < 0 || idate > 2 || order[1]) idate = 2;
  }
  std::u16string templ = resource_string(5179 + static_cast<UINT>(idate), 12);
  if (templ.empty()) return {};
  WCHAR month[8], day[8], out[12] = {};
  wsprintfW(month, u"%02d", t.wMonth);
  wsprintfW(day, u"%02d", t.wDay);
  const PositionalArg args[3] = {{nullptr, t.wYear}, {month, 0}, {day, 0}};
  if (FormatPositionalMessageArgs(out, 12, templ.c_str(), args, 3) < 0) return {};
  out[11] = 0;
  return out;
}

std::u16string format_time(const SYSTEMTIME& t) {
  std::u16string templ = resource_string(5178, 10);
  if (templ.empty()) return {};
  WCHAR out[32] = {};
  wsprintfW(out, templ.c_str(), t.wHour, t.wMinute);
  return std::u16string(out).substr(0, 6);
}

void build_print_header_info(JobContext* c) {
  void* dm = c->devmode;
  void* pd = c->printerData;
  PrintHeaderInfo info{};
  for (WORD& p : info.positions) p = kHeaderItemHidden;
  auto on = [&](int i) { return number(dm, pd, static_cast<WORD>(1296 + i)) == 1; };
  std::u16string user;
  if (on(0)) {
    user = logon_user_name();
    info.userName = limit_to_ansi_bytes(63, user);
  }
  if (on(1)) {
    if (user.empty()) user = logon_user_name();
    std::u16string owner = user;
    if (!HasDeviceCapability(c->database, 0x2000000)) {
      WCHAR computer[262] = {};
      DWORD size = 262;
      owner += u"\\";
      owner += GetComputerNameW(computer, &size) ? std::u16string(computer) : std::u16string(u"UnkownHost");
    }
    info.jobOwner = limit_to_ansi_bytes(31, owner);
  }
  if (on(2)) info.documentName = c->documentName;
  if (on(4) || on(5)) {
    SYSTEMTIME t{};
    GetLocalTime(&t);
    if (on(4)) info.date = format_date(t);
    if (on(5)) info.time = format_time(t);
  }
  // Positions come with the record, so a header drawn from it alone never
  // lands at a stale or zero position.
  for (int i = 0; i < 6; ++i) {
    if (!on(i)) continue;
    info.anyItemOn = 1;
    info.positions[i] = static_cast<WORD>(number(dm, pd, static_cast<WORD>(351 + i)));
  }
  PackPrintHeaderInfo(info, c->headerInfo);
}

// The header record of a job whose STARTDOC left it empty, from the
// spooler's record of the job, for a graphics library that holds none; a
// filled record only takes the current number. False without a job record.
bool build_header_from_spooler_job(JobContext* c, HDC dc) {
  void* dm = c->devmode;
  PrintHeaderInfo info{};
  auto header_number = [&]() -> WORD {
    BYTE word[4] = {};
    DWORD n = 0;
    if (send(dc, DRVESC_GET_HEADER_WORD, 0, nullptr, 4, word) > 0) ReadEscapeDword(word, 4, &n);
    return static_cast<WORD>(n);
  };
  if (UnpackPrintHeaderInfo(c->headerInfo, kPrintHeaderInfoSize, &info) && info.anyItemOn) {
    if (number(dm, c->printerData, 1299) == 1) info.headerNumber = header_number();
    PackPrintHeaderInfo(info, c->headerInfo);
    return true;
  }
  BYTE id[4] = {};
  DWORD job_id = 0;
  if (send(dc, DRVESC_GET_JOB_ID, 0, nullptr, 4, id) <= 0 || !ReadEscapeDword(id, 4, &job_id)) return false;
  DWORD needed = 0;
  if (GetJobW(c->printer, job_id, 1, nullptr, 0, &needed) || GetLastError() != ERROR_INSUFFICIENT_BUFFER || !needed)
    return false;
  std::vector<BYTE> buffer(needed);
  if (!GetJobW(c->printer, job_id, 1, buffer.data(), needed, &needed)) return false;
  const auto* job = reinterpret_cast<const JOB_INFO_1W*>(buffer.data());
  auto str = [](LPCWSTR p) { return p ? std::u16string(p) : std::u16string(); };
  info = PrintHeaderInfo{};
  for (WORD& p : info.positions) p = kHeaderItemHidden;
  auto on = [&](int i) { return number(dm, c->printerData, static_cast<WORD>(1296 + i)) == 1; };
  auto place = [&](int i) {
    info.positions[i] = static_cast<WORD>(number(dm, c->printerData, static_cast<WORD>(351 + i)));
    info.anyItemOn = 1;
  };
  if (on(0)) {
    info.userName = limit_to_ansi_bytes(63, str(job->pUserName));
    place(0);
  }
  std::vector<BYTE> pd(kPrinterDataBytes);
  if (on(1) && send(dc, DRVESC_GET_SETTINGS_BLOCK, 0, nullptr, kPrinterDataBytes, pd.data()) > 0) {
    // A job owner the settings name stands in for the job's user.
    const bool alt = number(dm, pd.data(), 5163) != 0;
    std::u16string owner;
    if (HasDeviceCapability(c->database, 0x2000000)) {
      if (number(dm, pd.data(), alt ? 5165 : 5164) == 1) owner = text(dm, pd.data(), 5174);
      else if (number(dm, pd.data(), alt ? 5178 : 5127) == 7) owner = text(dm, pd.data(), alt ? 5150 : 5121);
      if (owner.empty()) owner = str(job->pUserName);
    } else if (number(dm, pd.data(), alt ? 5178 : 5127) == 7) {
      owner = text(dm, pd.data(), alt ? 5150 : 5121);
    } else {
      owner = str(job->pUserName) + u"\\" + str(job->pMachineName);
    }
    info.jobOwner = limit_to_ansi_bytes(31, owner);
    place(1);
  }
  if (on(2)) {
    info.documentName = str(job->pDocument).substr(0, 260);
    place(2);
  }
  if (on(3)) {
    info.headerNumber = header_number();
    place(3);
  }
  if (on(4) || on(5)) {
    // The submission time is kept in UTC.
    FILETIME utc{}, local{};
    SYSTEMTIME t = job->Submitted;
    if (SystemTimeToFileTime(&job->Submitted, &utc) && FileTimeToLocalFileTime(&utc, &local))
      FileTimeToSystemTime(&local, &t);
    if (on(4)) {
      info.date = format_date(t);
      place(4);
    }
    if (on(5)) {
      info.time = format_time(t);
      place(5);
    }
  }
  PackPrintHeaderInfo(info, c->headerInfo);
  return true;
}

// ---- STARTDOC ---------------------------------------------------------------------------

bool is_usable_file_name(const std::u16string& name) { return IsUsableFileName(name.c_str()); }

bool file_exists(const std::u16string& name) {
  return GetFileAttributesW(name.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The fax address file of a fax job: the one the settings name, or the
// shared one when it holds a destination list. Without a file the job
// goes on only when the settings say the cover sheet alone is sent.
INT prepare_fax_address_file(JobContext* c) {
  std::u16string name = text(c->devmode, c->printerData, 375);
  const std::u16string shared = u"C:\\qzfaxaddress.tmp";
  HANDLE f = CreateFileW(shared.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f != INVALID_HANDLE_VALUE) {
    BYTE head[13] = {};
    DWORD read = 0;
    if (ReadFile(f, head, 13, &read, nullptr) && read == 13 && std::memcmp(head, u"DFAX001", 13) == 0) name = shared;
    CloseHandle(f);
  }
  if (!is_usable_file_name(name) || !file_exists(name)) name.clear();
  const WCHAR* value = name.c_str();
  SetItemValue(375, c->devmode, c->printerData, static_cast<DWORD>(-1), 6, &value);
  if (!name.empty()) return 1;
  if (number(c->devmode, c->printerData, 381) == 1) return 1;
  // The fax sheet collects the destinations; its OK gives the job the
  // sheet's settings with the file of destinations it wrote.
  std::vector<BYTE> copy(c->devmode, c->devmode + kDevmodeBytes);
  const LONG r = RunFaxSheet(GetActiveWindow(), c->printer, c->documentName, reinterpret_cast<DEVMODEW*>(copy.data()),
                             reinterpret_cast<DEVMODEW*>(c->devmode), DM_COPY | DM_PROMPT | DM_MODIFY);
  if (r != CPSUI_OK) return -1;
  std::memcpy(c->devmode, copy.data(), kDevmodeBytes);
  return 1;
}

void fill_sealmark_identity(JobContext* c, bool* ok) {
  SealmarkSetup setup;
  WCHAR computer[262] = {};
  DWORD size = 261;
  if (!GetComputerNameW(computer, &size)) *ok = false;
  setup.computerName = computer;
  setup.documentName = c->documentName;
  setup.userName = logon_user_name().substr(0, 256);
  DWORD needed = 0;
  GetPrinterW(c->printer, 1, nullptr, 0, &needed);
  std::vector<BYTE> buffer(needed);
  if (!needed || !GetPrinterW(c->printer, 1, buffer.data(), needed, &needed)) {
    *ok = false;
  } else if (const WCHAR* name = reinterpret_cast<PRINTER_INFO_1W*>(buffer.data())->pName) {
    setup.printerName = name;
  }
  PackSealmarkSetup(setup, c->sealmarkSetup);
}

BYTE* copy_to_global(const std::vector<BYTE>& bytes) {
  if (bytes.empty()) return nullptr;
  auto* p = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, bytes.size()));
  if (p) std::memcpy(p, bytes.data(), bytes.size());
  return p;
}

INT on_start_doc(HANDLE printer, HDC dc, PVOID in) {
  JobContext* c = dc ? find_job_context(printer, dc) : nullptr;
  if (!c || !c->database) return -1;
  free_job_context_data(c);
  reset_job_context(c);
  c->documentStarted = 1;
  BYTE announce[4];
  WriteEscapeDword(announce, c->documentStarted);
  if (send(dc, DRVESC_ANNOUNCE_DOCUMENT, 4, announce, 0, nullptr) <= 0) return -1;
  if (send(dc, DRVESC_GET_DEVMODE, 0, nullptr, kDevmodeBytes, c->devmode) <= 0) return -1;
  const DOCINFOW* info = in ? *static_cast<DOCINFOW* const*>(in) : nullptr;
  copy_text(c->documentName, 261, info && info->lpszDocName ? std::u16string(info->lpszDocName) : std::u16string());
  if (info) {
    bool ok = true;
    fill_sealmark_identity(c, &ok);
    if (!ok) return -1;
  }
  CleanUpProtectedModeSettings(printer, c->database);
  if (ReadPrinterSettings(printer, c->printerData, c->database) != 1) return -1;
  // A saved job the settings name goes out first as a job of its own; the
  // current job does not depend on it.
  ResendSavedJobIfRequested(printer, c->devmode, c->printerData, c->database);
  copy_text(c->userName, 257, logon_user_name());
  if (send(dc, DRVESC_GET_JOB_BLOCK, 0, nullptr, kJobBlockSize, c->jobBlock) <= 0) return -1;
  std::vector<BYTE> extra;
  if (FetchSealmarkData(send_sender, dc, &extra) == 1 && !extra.empty()) {
    c->sealmarkExtra = copy_to_global(extra);
    c->sealmarkExtraSize = c->sealmarkExtra ? static_cast<DWORD>(extra.size()) : 0;
  }
  INT result = 1;
  morva::fax::PurgeDirectFaxTempFiles(c->database, nullptr, nullptr);
  const bool marking = c->sealmarkExtra || number(c->devmode, c->printerData, 1339) != 0;
  ReloadJobPrivateSettings(printer, c->database, c->devmode, c->printerData, marking, &c->sealmarkSettings,
                           &c->sealmarkSettingsSize, &c->spInfo, &c->spInfoSize);
  if (marking) {
    if (!c->sealmarkSettings && c->sealmarkExtra) {
      c->sealmarkSettings = copy_to_global(std::vector<BYTE>(c->sealmarkExtra, c->sealmarkExtra + c->sealmarkExtraSize));
      if (c->sealmarkSettings) c->sealmarkSettingsSize = c->sealmarkExtraSize;
      else result = -1;
    }
    if (PrepareSealmarkCounts(printer, c->database, c->devmode, c->printerData, c->sealmarkSettings,
                              c->sealmarkSettingsSize, c->sealmarkExtra, c->sealmarkExtraSize, &c->sealmarkActive,
                              &c->sealmarkOutputs) < 0)
      return -1;
  }
  BYTE fax[4] = {};
  if (send(dc, DRVESC_QUERY_FAX_JOB, 0, nullptr, 4, fax) <= 0) return -1;
  ReadEscapeDword(fax, 4, &c->faxJob);
  if (c->faxJob && prepare_fax_address_file(c) == -1) result = -1;
  if (result == 1 && !CheckSecureCodeBeforePrint(c->devmode, c->printerData, c->database)) result = -1;
  if (result == 1 && !PrintTimePrompt(printer, c->devmode, c->printerData, c->database, 1)) result = -1;
  if (send(dc, DRVESC_SET_DEVMODE, kDevmodeBytes, c->devmode, 0, nullptr) <= 0) result = -1;
  build_print_header_info(c);
  return result;
}

// ---- STARTDOCPOST ------------------------------------------------------------------------

INT check_shared_printer_warning(HANDLE printer, HDC dc) {
  JobContext* c = find_job_context(printer, dc);
  if (!c || !c->documentStarted) return -1;
  BYTE answer[4] = {};
  if (send(dc, DRVESC_QUERY_FIRST_START, 0, nullptr, 4, answer) <= 0) return -1;
  ReadEscapeDword(answer, 4, &c->firstStart);
  if (!c->firstStart || number(c->devmode, c->printerData, 336) != 1) return 1;
  DWORD needed = 0;
  GetPrinterW(printer, 5, nullptr, 0, &needed);
  std::vector<BYTE> buffer(needed);
  if (!needed || !GetPrinterW(printer, 5, buffer.data(), needed, &needed)) return 1;
  const DWORD attributes = reinterpret_cast<PRINTER_INFO_5W*>(buffer.data())->Attributes;
  if ((attributes & 0x18) != 0x18) return 1;
  std::u16string message = resource_string(3, 260);
  std::u16string caption = text(c->devmode, c->printerData, 1);
  INT answer_box = MessageBoxW(GetActiveWindow(), message.c_str(), caption.c_str(), MB_OKCANCEL | MB_ICONEXCLAMATION);
  c->warningConfirmed = 1;
  return answer_box == IDCANCEL ? -1 : 1;
}

INT load_fax_address_data(HANDLE printer, HDC dc) {
  JobContext* c = find_job_context(printer, dc);
  if (!c) return -1;
  if (!c->faxJob) return 1;
  std::u16string name = text(c->devmode, c->printerData, 375);
  if (!is_usable_file_name(name)) return -1;
  HANDLE f = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return -1;
  const DWORD size = GetFileSize(f, nullptr);
  INT result = -1;
  auto* data = size && size != INVALID_FILE_SIZE ? static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, size)) : nullptr;
  DWORD read = 0;
  if (data && ReadFile(f, data, size, &read, nullptr) && read == size) {
    free_block(&c->faxData);
    c->faxData = data;
    c->faxDataSize = size;
    copy_text(c->faxFileName, 262, name);
    data = nullptr;
    result = 1;
  }
  if (data) GlobalFree(data);
  CloseHandle(f);
  return result;
}

// The job's registrations with the job monitor, made and sent now.
INT register_copies_with_job_monitor(HANDLE printer, HDC dc) {
  JobContext* c = find_job_context(printer, dc);
  if (!c) return -1;
  CopyRegistration r;
  r.request = {c->printer, c->devmode, c->printerData, c->faxJob, c->userName, c->documentName, nullptr, nullptr,
               c->faxData, c->faxDataSize, 0, 0};
  r.database_open = c->database != nullptr;
  r.marking_active = c->sealmarkActive;
  r.marking_outputs = c->sealmarkOutputs;
  std::vector<BYTE> ids, records;
  const INT result = RegisterCopiesWithJobMonitor(r, &ids, &records);
  free_block(&c->copyIds);
  c->copyIdsSize = 0;
  if (!ids.empty() && (c->copyIds = copy_to_global(ids)) != nullptr) c->copyIdsSize = static_cast<DWORD>(ids.size());
  if (!records.empty()) {
    free_block(&c->copyRecords);
    c->copyRecordsSize = 0;
    if ((c->copyRecords = copy_to_global(records)) != nullptr) c->copyRecordsSize = static_cast<INT>(records.size());
  }
  return result;
}

// The PJL headers of the job, built here so that the graphics library
// sends what this library decided: one per destination of a fax job sent
// to each destination alone, otherwise one (a fax job's names all its
// destinations). Each carries the job-monitor id registered for it.
INT build_pjl_header_set(JobContext* c, HDC dc) {
  if (number(c->devmode, c->printerData, 1333) == 0) return 1;
  BYTE fax[4] = {};
  if (send(dc, DRVESC_QUERY_FAX_JOB, 0, nullptr, 4, fax) <= 0) return 1;
  DWORD fax_job = 0;
  ReadEscapeDword(fax, 4, &fax_job);
  const INT bound = GetPjlHeaderSize(c->printer, c->devmode, c->printerData, c->database, c->spInfo, c->spInfoSize);
  if (bound < 0) return 1;
  const LONG destinations = fax_job ? std::max<LONG>(0, number(c->devmode, c->printerData, 380)) : 0;
  const bool cover_only = number(c->devmode, c->printerData, 381) == 1;
  // As many headers as the graphics library sends jobs.
  const bool per_destination =
      fax_job && FaxJobPerDestination(number(c->devmode, c->printerData, 376),
                                      number(c->devmode, c->printerData, 379), destinations, cover_only ? 1 : 0);
  const DWORD count = per_destination ? static_cast<DWORD>(destinations) : 1;
  const DWORD ids = c->copyIds && c->copyIdsSize >= 2 ? (c->copyIds[0] | (c->copyIds[1] << 8)) : 0;
  free_block(&c->headerSet);
  c->headerSetSize = 0;
  std::vector<PjlHeader> headers;
  for (DWORD i = 0; i < count; ++i) {
    std::vector<BYTE> text(static_cast<std::size_t>(bound) + 1);
    PjlFaxRange range{};
    const bool addressed = fax_job && FaxHeaderRange(per_destination, cover_only, static_cast<WORD>(i), destinations,
                                                     c->faxData, c->faxDataSize, &range);
    JobHeaderRequest request{};
    request.settings = c->devmode;
    request.printer_data = c->printerData;
    request.document_name = c->documentName;
    request.printer = c->printer;
    request.fax_range = addressed ? &range : nullptr;
    copy_text(request.job_user_name, 65, c->userName);
    if (i < ids && 2 + (i + 1) * kCopyIdBytes <= c->copyIdsSize) {
      request.job_monitor_available = 1;
      std::memcpy(request.job_monitor_id, c->copyIds + 2 + i * kCopyIdBytes, sizeof request.job_monitor_id - 1);
    }
    PjlOutput out{text.data(), static_cast<DWORD>(text.size()), 0};
    if (BuildPjlJobHeader(c->database, &request, c->spInfo, c->spInfoSize, &out) < 0) return -1;
    // Each block holds the text's length before the text itself.
    headers.push_back({std::string(reinterpret_cast<const char*>(text.data()), out.used), request.bktp_offset});
  }
  std::vector<BYTE> set = BuildPjlHeaderSet(headers, static_cast<DWORD>(bound) + 4);
  if (set.empty()) return -1;
  c->headerSet = copy_to_global(set);
  if (!c->headerSet) return -1;
  c->headerSetSize = static_cast<DWORD>(set.size());
  return 1;
}

BYTE paper_family(JobContext* c) {
  const DWORD caps = c->database ? DddGetFieldValue(&c->database->main, 26, 4, 0) : 0;
  return static_cast<BYTE>(GetLocalePaperFamily((caps & 0x400000) != 0));
}

// The transfer in the order the graphics library relies on. Every step is
// sent; any failed one makes the result -1.
INT send_job_data_to_graphics(HANDLE printer, HDC dc) {
  JobContext* c = find_job_context(printer, dc);
  if (!c) return -1;
  if (!c->documentStarted) return 1;
  send(dc, DRVESC_GET_DEVMODE, 0, nullptr, kDevmodeBytes, c->devmode);
  INT result = build_pjl_header_set(c, dc);
  auto step = [&](WORD code, DWORD size, const void* in) {
    if (send(dc, code, size, in, 0, nullptr) <= 0) result = -1;
  };
  BYTE mark[2];
  WriteEscapeWord(mark, 0);
  step(DRVESC_TRANSFER_MARK, 2, mark);
  if (c->database) {
    BYTE family[2] = {paper_family(c), 0};
    step(DRVESC_SET_PAPER_FAMILY, 2, family);
  } else {
    result = -1;
  }
  BYTE name[kDocNameSize];
  PackDocumentName(c->documentName, name);
  step(DRVESC_SET_DOC_NAME, kDocNameSize, name);
  step(DRVESC_SET_DEVMODE, kDevmodeBytes, c->devmode);
  step(DRVESC_SET_SETTINGS_BLOCK, kPrinterDataBytes, c->printerData);
  step(DRVESC_SET_HEADER_INFO, kPrintHeaderInfoSize, c->headerInfo);
  step(DRVESC_SET_JOB_BLOCK, kJobBlockSize, c->jobBlock);
  if (c->warningConfirmed) {
    BYTE one[4];
    WriteEscapeDword(one, 1);
    step(DRVESC_SET_WARNING_CONFIRMED, 4, one);
  }
  if (c->faxJob) step(DRVESC_SET_FAX_ADDRESS_DATA, c->faxDataSize, c->faxData);
  if (c->headerSet) step(DRVESC_SET_PJL_HEADERS, c->headerSetSize, c->headerSet);
  step(DRVESC_SET_SEALMARK_SETUP, kSealmarkSetupSize, c->sealmarkSetup);
  if (c->sealmarkActive && c->sealmarkSettings) {
    step(DRVESC_SET_SEALMARK_SETTINGS, c->sealmarkSettingsSize, c->sealmarkSettings);
    if (c->sealmarkExtra) step(DRVESC_SET_SEALMARK_EXTRA, c->sealmarkExtraSize, c->sealmarkExtra);
    BYTE counts[kSealmarkCountsSize];
    PackSealmarkCounts({c->sealmarkActive, static_cast<DWORD>(c->sealmarkOutputs)}, counts);
    step(DRVESC_SET_SEALMARK_COUNTS, kSealmarkCountsSize, counts);
    if (c->copyRecords && c->copyRecordsSize > 0)
      step(DRVESC_SET_COPY_JOB_IDS, static_cast<DWORD>(c->copyRecordsSize), c->copyRecords);
  }
  if (c->spInfo) step(DRVESC_SET_SPINFO, c->spInfoSize, c->spInfo);
  WriteEscapeWord(mark, 1);
  step(DRVESC_TRANSFER_MARK, 2, mark);
  return result;
}

INT on_start_doc_post(HANDLE printer, HDC dc) {
  if (!dc) return -1;
  INT r = check_shared_printer_warning(printer, dc);
  if (r == 1) r = load_fax_address_data(printer, dc);
  if (r == 1) {
    register_copies_with_job_monitor(printer, dc);
    r = send_job_data_to_graphics(printer, dc);
  }
  return r;
}

// ---- pages ----------------------------------------------------------------------------------

INT on_start_page(HANDLE printer, HDC dc) {
  if (!dc) return -1;
  std::vector<BYTE> devmode(kDevmodeBytes);
  if (send(dc, DRVESC_GET_DEVMODE, 0, nullptr, kDevmodeBytes, devmode.data()) <= 0) return -1;
  JobContext* c = find_job_context(printer, dc);
  if (!c || !c->database) return -1;
  std::vector<BYTE> printer_data(kPrinterDataBytes);
  if (ReadPrinterSettings(printer, printer_data.data(), c->database) != 1) return -1;
  PagePaperRecord record{kUnmatchedPaperId, {kDefaultPaperMargin, kDefaultPaperMargin, kDefaultPaperMargin,
                                             kDefaultPaperMargin}};
  LONG paper_id = 0;
  const WORD paper_size = static_cast<WORD>(number(devmode.data(), printer_data.data(), 8));
  if (FindPaperByFormName(printer, devmode.data(), printer_data.data(), paper_size, &paper_id) == kFormPaperFound)
    record.paperId = static_cast<WORD>(paper_id);
  BYTE payload[kPagePaperRecordSize];
  PackPagePaperRecord(record, payload);
  return send(dc, DRVESC_SET_PAGE_PAPER, kPagePaperRecordSize, payload, 0, nullptr) > 0 ? 1 : -1;
}

INT on_page_end(HANDLE printer, HDC dc, DWORD end_of_document) {
  BYTE flag[4];
  WriteEscapeDword(flag, end_of_document);
  BYTE answer[kPageDrawInfoSize] = {};
  PageDrawInfo info{};
  if (send(dc, DRVESC_GET_PAGE_INFO, 4, flag, kPageDrawInfoSize, answer) <= 0 ||
      !UnpackPageDrawInfo(answer, kPageDrawInfoSize, &info))
    return 1;
  if (!info.sheetStampDue && !info.pageStampDue && !info.headerDue) return 1;
  std::vector<BYTE> devmode(kDevmodeBytes);
  if (send(dc, DRVESC_GET_DEVMODE, 0, nullptr, kDevmodeBytes, devmode.data()) <= 0) return 1;
  JobContext* c = find_job_context(printer, dc);
  void* pd = c ? c->printerData : nullptr;
  INT result = 1;
  bool added = false;
  auto begin_added = [&]() {
    if (added || !end_of_document) return true;
    if (StartPage(dc) <= 0) return false;
    added = true;
    BYTE one[4];
    WriteEscapeDword(one, 1);
    return send(dc, DRVESC_ADDED_PAGE_MARK, 4, one, 0, nullptr) > 0;
  };
  // A failed drawing step keeps the event failed; later steps still run.
  auto keep = [&](INT step) {
    if (step == -1) result = -1;
  };
  bool go = true;
  if (info.pageStampDue) keep(DrawPageStamps(dc, info, devmode.data(), pd));
  if (info.sheetStampDue) {
    go = begin_added();
    if (go) keep(DrawPageStamps(dc, info, devmode.data(), pd));
  }
  if (go && info.headerDue) {
    go = begin_added();
    // The record a graphics library without header parts falls back on.
    const bool prepared = c && build_header_from_spooler_job(c, dc);
    if (go) keep(DrawPrintHeader(dc, info, devmode.data(), pd, end_of_document, prepared ? c->headerInfo : nullptr));
  }
  if (added) {
    EndPage(dc);
    BYTE zero[4];
    WriteEscapeDword(zero, 0);
    send(dc, DRVESC_ADDED_PAGE_MARK, 4, zero, 0, nullptr);
  }
  return result;
}

INT dispatch(HANDLE printer, HDC dc, INT event, PVOID in, PVOID out) {
  switch (event) {
    case DOCUMENTEVENT_CREATEDCPRE: {
      JobContext* c = create_job_context(printer);
      if (!c) return -1;
      {
        DriverLockGuard lock(kLockJobContexts);
        c->database = DddOpen(printer);
      }
      const auto* pre = static_cast<const DOCEVENT_CREATEDCPRE*>(in);
      INT r = prepare_dc_devmode(c, pre ? pre->pdm : nullptr, static_cast<DEVMODEW**>(out));
      if (r != 1) delete_job_context(c);
      return r;
    }
    case DOCUMENTEVENT_CREATEDCPOST:
      free_replacement(in);
      // No DC came of it: the context made for it goes.
      if (!dc) {
        if (JobContext* c = find_pending_context(printer)) delete_job_context(c);
      } else {
        find_job_context(printer, dc);
      }
      return 1;
    case DOCUMENTEVENT_RESETDCPRE: {
      JobContext* c = find_job_context(printer, dc);
      const DEVMODEW* app = in ? *static_cast<DEVMODEW* const*>(in) : nullptr;
      return prepare_dc_devmode(c, app, static_cast<DEVMODEW**>(out));
    }
    case DOCUMENTEVENT_RESETDCPOST:
      free_replacement(in);
      return send_job_data_to_graphics(printer, dc);
    case DOCUMENTEVENT_STARTDOC: return on_start_doc(printer, dc, in);
    case DOCUMENTEVENT_STARTPAGE: return on_start_page(printer, dc);
    case DOCUMENTEVENT_ENDPAGE:
    case DOCUMENTEVENT_ENDDOC:
      if (!dc) return -1;
      return on_page_end(printer, dc, event == DOCUMENTEVENT_ENDDOC ? 1 : 0);
    case DOCUMENTEVENT_DELETEDC:
      if (JobContext* c = find_job_context(printer, dc)) delete_job_context(c);
      return 1;
    case DOCUMENTEVENT_STARTDOCPOST: return on_start_doc_post(printer, dc);
    default: return 0;
  }
}

}  // namespace

UINT CountJobContexts() {
  DriverLockGuard lock(kLockJobContexts);
  UINT n = 0;
  for (JobContext* c = g_contexts; c; c = c->next) ++n;
  return n;
}

}  // namespace morva::pi

MORVA_EXPORT INT DrvDocumentEvent(HANDLE hPrinter, HDC hdc, INT iEsc, ULONG, PVOID pvIn, ULONG, PVOID pvOut) {
  TraceEnter(u"DrvDocumentEvent");
  if (!hPrinter) return -1;
  ResourceModuleRef resources;
  INT r = morva::pi::dispatch(hPrinter, hdc, iEsc, pvIn, pvOut);
  TraceLeave(u"DrvDocumentEvent RetValue = %d", r);
  return r;
}
