// Re-send of a saved job file as a spooler job of its own.
#include "pi/job_resend.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "pi/job_info.h"
#include "pi/job_monitor.h"
#include "pi/pjl_header.h"
#include "pi/print_prompt.h"
#include "pi/private_escapes.h"
#include "settings/database/ddd_file.h"
#include "settings/database/ddd_queries.h"
#include "settings/common/system_utils.h"
#include "settings/items/item_access.h"
#include "win/codepage.h"
#include "win/files.h"
#include "win/spooler.h"

namespace morva::pi {

namespace {

constexpr std::size_t kLineLimit = 1024;
constexpr std::size_t kPiece = 512;
constexpr std::string_view kUel = "\x1B%-12345X";
constexpr std::string_view kJobInfoEnd = "@PJL COMMENT QZJOBINFO END";

bool seek(HANDLE file, std::uint64_t at) {
  LARGE_INTEGER d{};
  d.QuadPart = static_cast<LONGLONG>(at);
  return SetFilePointerEx(file, d, nullptr, FILE_BEGIN) != 0;
}

// Reads up to n bytes at `at`; the bytes read.
std::size_t read_at(HANDLE file, std::uint64_t at, BYTE* out, std::size_t n) {
  DWORD got = 0;
  if (!seek(file, at) || !ReadFile(file, out, static_cast<DWORD>(n), &got, nullptr)) return 0;
  return got;
}

bool write_all(HANDLE printer, const void* bytes, DWORD n) {
  auto* p = static_cast<const BYTE*>(bytes);
  while (n > 0) {
    DWORD written = 0;
    if (!WritePrinter(printer, const_cast<BYTE*>(p), n, &written) || written == 0 || written > n) return false;
    p += written;
    n -= written;
  }
  return true;
}

std::u16string setting_text(void* devmode, void* printer_data, WORD ddmid) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue value{};
  if (GetItemValue(ddmid, devmode, printer_data, &type, &size, &value) != 0 || type != 6) return {};
  return ItemText(value, size);
}

LONG number_setting(void* devmode, void* printer_data, WORD ddmid) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue value{};
  if (GetItemValue(ddmid, devmode, printer_data, &type, &size, &value) != 0 || type == 6 || type == 9) return 0;
  return size == 1 ? static_cast<BYTE>(value.dw) : size == 2 ? static_cast<SHORT>(value.dw) : static_cast<LONG>(value.dw);
}

bool starts_with(const std::string& line, std::string_view prefix) {
  return line.size() >= prefix.size() && std::string_view(line).substr(0, prefix.size()) == prefix;
}

// Writes every job-information line of a re-sent job's end; the bytes
// written or -1.
INT write_resend_job_info(HANDLE printer) {
  JobInfoWriter* w = JobInfo_Create(4, 4);
  if (!w) return -1;
  JobInfo_SetLineEnd(w, FALSE);
  JobInfo_SetPdlType(w, 1, "1.8.2");
  JobInfo_SetJobType(w, 3);
  char buffer[1025];
  DWORD more = 1;
  INT total = 0;
  while (more) {
    WORD status = 0;
    DWORD n = JobInfo_WriteLines(w, buffer, sizeof buffer, &more, &status);
    if (n == 0 && more) break;
    if (n > 0 && !write_all(printer, buffer, n)) {
      total = -1;
      break;
    }
    total += static_cast<INT>(n);
  }
  JobInfo_Destroy(w);
  return total;
}

INT write_pjl_text(HANDLE printer, INT size, INT (*fill)(DddHandle*, PjlOutput*), DddHandle* database) {
  if (size < 0) return 0;
  std::vector<BYTE> text(static_cast<std::size_t>(size) + 1);
  PjlOutput out{text.data(), static_cast<DWORD>(text.size()), 0};
  if (fill(database, &out) < 0) return 0;
  return write_all(printer, text.data(), out.used) ? 1 : 0;
}

}  // namespace

INT FindPdlBody(HANDLE file, PdlBody* out) {
  if (!file || file == INVALID_HANDLE_VALUE || !out) return 0;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file, &size)) return 0;
  const std::uint64_t total = static_cast<std::uint64_t>(size.QuadPart);
  *out = PdlBody{};
  out->total = total;

  // Forwards: the line that switches to the page description language.
  std::uint64_t at = 0;
  INT kind = 0;
  std::vector<BYTE> chunk(4096);
  while (kind == 0) {
    std::string line;
    bool ended = false;
    while (!ended && line.size() < kLineLimit) {
      const std::size_t n = read_at(file, at, chunk.data(), std::min<std::size_t>(chunk.size(), kLineLimit - line.size()));
      if (n == 0) return 0;  // end of file without the switch
      std::size_t i = 0;
      while (i < n && chunk[i] != '\n') ++i;
      ended = i < n;
      line.append(reinterpret_cast<const char*>(chunk.data()), i);
      at += i + (ended ? 1 : 0);
    }
    if (!ended) {
      // A line of the full length must end right there.
      BYTE next[2] = {};
      const std::size_t n = read_at(file, at, next, 2);
      if (n >= 1 && next[0] == '\n') {
        at += 1;
      } else if (n == 2 && next[0] == '\r' && next[1] == '\n') {
        at += 2;
      } else {
        return 0;
      }
    }
    if (starts_with(line, "@PL>")) kind = kTrailerPlain;
    if (starts_with(line, "@PJL ENTER LANGUAGE=")) kind = kTrailerEnterLanguage;
  }
  const std::uint64_t start = at;

  // Backwards from the end through the job end's text to the universal exit.
  std::uint64_t pos = total;
  std::string tail;  // the bytes after the current position, nearest first
  while (pos > start) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), pos - start));
    pos -= n;
    if (read_at(file, pos, chunk.data(), n) != n) return 0;
    for (std::size_t k = n; k-- > 0;) {
      const char c = static_cast<char>(chunk[k]);
      if (c == '\0') return 0;
      tail.insert(tail.begin(), c);
      if (tail.size() > kJobInfoEnd.size() + 1) tail.pop_back();
      if (c == '\n' && std::string_view(tail).substr(1).substr(0, kJobInfoEnd.size()) == kJobInfoEnd)
        kind = kTrailerJobInfo;
      if (c == '\x1B' && tail.size() >= kUel.size() && std::string_view(tail).substr(0, kUel.size()) == kUel) {
        out->start = start;
        out->end = pos + k;
        out->kind = kind;
        return 1;
      }
    }
  }
  return 0;
}

namespace {

std::string ansi(const std::u16string& text, std::size_t limit) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return CutAnsiText(out, limit, GetACP());
}

}  // namespace

void* RegisterResentJob(char* id, void* devmode, void* printer_data, LPCWSTR printer_name, LPCWSTR port_name) {
  // A saved job is registered as stored output under its store name.
  const std::u16string name = setting_text(devmode, printer_data, 338);
  if (!id || name.empty()) return nullptr;
  WCHAR logon[65] = {};
  DWORD chars = 65;
  std::u16string user;
  if (GetLogonUserName(logon, &chars) >= 0) user = logon;
  const std::string port = ansi(port_name ? port_name : u"", 259), document = ansi(name, 259),
                    text = ansi(name, 80), printer = ansi(printer_name ? printer_name : u"", 256),
                    user_a = ansi(user, 64);
  JobMonitorEntry e;
  e.kind = 7;
  e.port = port.c_str();
  e.document = document.c_str();
  e.job_text = text.c_str();
  e.printer = printer.c_str();
  e.user = user_a.c_str();
  void* client = nullptr;
  return BuildJobMonitorRecord(&client, id, e) == kMonitorOk ? client : nullptr;
}

INT ExpectedTrailerKind(DddHandle* database) {
  const DWORD caps = database ? DddGetFieldValue(&database->main, 26, 4, 0) : 0;
  return (caps & kPjlCapFullForm) ? kTrailerJobInfo : kTrailerPlain;
}

INT WriteResendFrame(void* devmode, HANDLE printer, INT mode, INT kind, void* printer_data, DddHandle* database,
                     const char* monitor_id) {
  if (mode == 0) {
    const INT bound = GetPjlHeaderSize(printer, devmode, printer_data, database, nullptr, 0);
    if (bound < 0) return 0;
    // The saved job is stored output: the header says so, one-sided flags
    // aside.
    std::vector<BYTE> copy(static_cast<const BYTE*>(devmode), static_cast<const BYTE*>(devmode) + kDriverDevmodeSize);
    SetItemNumber(copy.data(), printer_data, 336, 0, static_cast<DWORD>(-1), 1);
    SetItemNumber(copy.data(), printer_data, 321, 0, static_cast<DWORD>(-1), 0);
    SetItemNumber(copy.data(), printer_data, 295, 0, static_cast<DWORD>(-1), 1);
    JobHeaderRequest request{};
    request.settings = copy.data();
    request.printer_data = printer_data;
    request.printer = printer;
    if (monitor_id) {
      request.job_monitor_available = 1;
      std::strncpy(request.job_monitor_id, monitor_id, kJobMonitorIdBytes - 1);
    }
    std::vector<BYTE> text(static_cast<std::size_t>(bound) + 1);
    PjlOutput out{text.data(), static_cast<DWORD>(text.size()), 0};
    if (BuildPjlJobHeader(database, &request, nullptr, 0, &out) < 0) return 0;
    return write_all(printer, text.data(), out.used) ? 1 : 0;
  }
  if (kind == kTrailerJobInfo) {
    if (!write_all(printer, kUel.data(), static_cast<DWORD>(kUel.size()))) return 0;
    if (write_resend_job_info(printer) < 0) return 0;
    return write_pjl_text(printer, GetEojLineSize(database), WriteEojLine, database);
  }
  return write_pjl_text(printer, GetPjlTrailerSize(database), WritePjlTrailer, database);
}

INT ResendJobFile(DddHandle* database, void* devmode, void* printer_data, LPCWSTR file_name, LPCWSTR printer_name,
                  LPCWSTR port_name, INT prompt) {
  if (!file_name) return -2;
  HANDLE file = CreateFileW(file_name, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return -2;
  HANDLE printer = nullptr;
  std::u16string name = printer_name ? printer_name : u"";
  if (!OpenPrinterW(name.data(), &printer, nullptr)) {
    CloseHandle(file);
    return -1;
  }
  bool started = false;
  void* monitor = nullptr;
  auto fail = [&]() {
    // An aborted job is not reported to the monitor.
    if (monitor) ReleaseJobMonitorClient(monitor);
    if (started) AbortPrinter(printer);
    ClosePrinter(printer);
    CloseHandle(file);
    return -1;
  };
  // The user may be asked for the account of the re-sent job; a cancelled
  // prompt sends nothing.
  if (prompt && PrintTimePrompt(printer, devmode, printer_data, database, 0) != 1) return fail();
  std::u16string path = file_name;
  std::u16string document = path.substr(path.find_last_of(u'\\') == std::u16string::npos ? 0 : path.find_last_of(u'\\') + 1);
  DOC_INFO_1W info{document.data(), nullptr, nullptr};
  if (StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&info)) == 0) return fail();
  started = true;
  if (!StartPagePrinter(printer)) return fail();
  const INT expected = ExpectedTrailerKind(database);
  PdlBody body;
  if (FindPdlBody(file, &body) != 1) return fail();
  char id[kJobMonitorIdBytes] = {};
  if (number_setting(devmode, printer_data, 1321) != 0 && OpenJobMonitorClient(1))
    monitor = RegisterResentJob(id, devmode, printer_data, printer_name, port_name);
  if (WriteResendFrame(devmode, printer, 0, expected, printer_data, database, monitor ? id : nullptr) != 1)
    return fail();
  const std::uint64_t end = body.kind == expected ? body.total : body.end;
  BYTE piece[kPiece];
  for (std::uint64_t at = body.start; at < end;) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, end - at));
    const std::size_t got = read_at(file, at, piece, want);
    if (got != want || !write_all(printer, piece, static_cast<DWORD>(got))) return fail();
    at += got;
  }
  if (body.kind != expected && WriteResendFrame(devmode, printer, 1, expected, printer_data, database) != 1)
    return fail();
  if (!EndPagePrinter(printer) || !EndDocPrinter(printer)) return fail();
  ClosePrinter(printer);
  CloseHandle(file);
  if (monitor) SendJobMonitorRecord(monitor);
  return 0;
}

INT ResendSavedJobIfRequested(HANDLE printer, void* devmode, void* printer_data, DddHandle* database) {
  const std::u16string file = setting_text(devmode, printer_data, 1830);
  if (file.empty()) return 1;
  std::u16string printer_name, port_name;
  for (DWORD level : {5u, 2u}) {
    DWORD needed = 0;
    GetPrinterW(printer, level, nullptr, 0, &needed);
    if (!needed) continue;
    std::vector<BYTE> buffer(needed);
    if (!GetPrinterW(printer, level, buffer.data(), needed, &needed)) continue;
    const WCHAR* name = level == 5 ? reinterpret_cast<PRINTER_INFO_5W*>(buffer.data())->pPrinterName
                                   : reinterpret_cast<PRINTER_INFO_2W*>(buffer.data())->pPrinterName;
    const WCHAR* port = level == 5 ? reinterpret_cast<PRINTER_INFO_5W*>(buffer.data())->pPortName
                                   : reinterpret_cast<PRINTER_INFO_2W*>(buffer.data())->pPortName;
    if (!name) continue;
    printer_name = name;
    port_name = port ? port : u"";
    break;
  }
  if (printer_name.empty()) return -1;
  return ResendJobFile(database, devmode, printer_data, file.c_str(), printer_name.c_str(), port_name.c_str(), 0) == 0
             ? 1
             : -1;
}

}  // namespace morva::pi
