// Jobs: a document spooled on a printer handle. Its bytes go straight to a
// file in the spool folder, so that every byte a write accepted is on disk
// (and in the job's size) whatever happens later; the job record keeps the
// document name, user, pages and status in the machine database.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <mutex>

#include "spooler_internal.h"
#include "win/machine_root.h"
#include "win/machine_settings.h"

using namespace morva::platform::spooler;
namespace st = morva::platform::store;
using morva::platform::store::Stmt;

namespace {

std::mutex g_fault_lock;
struct {
  bool armed = false;
  morva::platform::SpoolFault kind = morva::platform::SpoolFault::disk_full;
  std::uint64_t limit = 0;
} g_fault;

DWORD error_from_errno(int e) {
  switch (e) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return ERROR_DISK_FULL;  // a file-size limit leaves no room either
    case EROFS: return ERROR_WRITE_PROTECT;
    case EACCES:
    case EPERM: return ERROR_ACCESS_DENIED;
    case ENOENT: return ERROR_PATH_NOT_FOUND;
    default: return ERROR_WRITE_FAULT;
  }
}

// User and machine recorded with a job: the machine's settings, as the
// system-information calls report them.
std::u16string job_user() { return st::from_utf8(morva::platform::machine_setting("user_name", "user")); }

std::u16string job_machine() {
  return u"\\\\" + st::from_utf8(morva::platform::machine_setting("computer_name", "MORVA-PC"));
}

SYSTEMTIME to_systemtime(std::int64_t filetime) {
  SYSTEMTIME t{};
  std::time_t secs = static_cast<std::time_t>((filetime - 116444736000000000LL) / 10000000LL);
  std::tm tm{};
  gmtime_r(&secs, &tm);
  t.wYear = static_cast<WORD>(tm.tm_year + 1900);
  t.wMonth = static_cast<WORD>(tm.tm_mon + 1);
  t.wDayOfWeek = static_cast<WORD>(tm.tm_wday);
  t.wDay = static_cast<WORD>(tm.tm_mday);
  t.wHour = static_cast<WORD>(tm.tm_hour);
  t.wMinute = static_cast<WORD>(tm.tm_min);
  t.wSecond = static_cast<WORD>(tm.tm_sec);
  t.wMilliseconds = static_cast<WORD>((filetime / 10000) % 1000);
  return t;
}

std::uint64_t file_size(const std::string& path) {
  struct stat sb {};
  return ::stat(path.c_str(), &sb) == 0 ? static_cast<std::uint64_t>(sb.st_size) : 0;
}

struct JobRow {
  DWORD id = 0;
  std::u16string printer, document, user, machine, datatype;
  DWORD status = 0, pages = 0, position = 0;
  std::int64_t submitted = 0;
  std::string spool_file;
};

constexpr const char* kJobColumns =
    "SELECT jobs.id, printers.name, document, user, machine, jobs.datatype, jobs.status, pages, submitted, "
    "spool_file FROM jobs JOIN printers ON printers.id = jobs.printer ";

JobRow job_from(const Stmt& s) {
  JobRow j;
  j.id = static_cast<DWORD>(s.i64(0));
  j.printer = st::from_utf8(s.text(1));
  j.document = st::from_utf8(s.text(2));
  j.user = st::from_utf8(s.text(3));
  j.machine = st::from_utf8(s.text(4));
  j.datatype = st::from_utf8(s.text(5));
  j.status = static_cast<DWORD>(s.i64(6));
  j.pages = static_cast<DWORD>(s.i64(7));
  j.submitted = s.i64(8);
  j.spool_file = s.text(9);
  return j;
}

void fill_job(const JobRow& j, Packer& pk, BYTE* slot) {
  JOB_INFO_1W r{};
  r.JobId = j.id;
  r.pPrinterName = pk.str(j.printer);
  r.pMachineName = pk.str(j.machine);
  r.pUserName = pk.str(j.user);
  r.pDocument = pk.str(j.document);
  r.pDatatype = pk.str(j.datatype);
  r.pStatus = nullptr;
  r.Status = j.status;
  r.Priority = 1;
  r.Position = j.position;
  r.TotalPages = j.pages;
  r.PagesPrinted = (j.status & JOB_STATUS_COMPLETE) ? j.pages : 0;
  r.Submitted = to_systemtime(j.submitted);
  if (slot) std::memcpy(slot, &r, sizeof r);
}

DWORD update_job(std::int64_t id, const char* sql_set, std::int64_t value) {
  return st::write([&](sqlite3* db) -> DWORD {
    Stmt s(db, (std::string("UPDATE jobs SET ") + sql_set + " WHERE id = ?").c_str());
    s.bind(1, value).bind(2, id);
    s.run();
    return st::changes(db) ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
  });
}

std::shared_ptr<PrinterHandle> printer_handle(HANDLE printer) {
  auto h = find_handle(printer);
  return h && h->printer_id ? h : nullptr;
}

// Writes all of `size` bytes unless the disk or an injected fault stops it;
// returns the bytes that reached the file.
std::size_t write_all(int fd, const BYTE* data, std::size_t size, DWORD& error) {
  std::size_t done = 0;
  error = ERROR_SUCCESS;
  while (done < size) {
    ssize_t n = ::write(fd, data + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      error = error_from_errno(errno);
      break;
    }
    if (n == 0) {
      error = ERROR_WRITE_FAULT;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  return done;
}

}  // namespace

extern "C" {

DWORD StartDocPrinterW(HANDLE printer, DWORD level, LPBYTE doc_info) {
  auto h = printer_handle(printer);
  if (!h) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  if (level != 1) {
    SetLastError(ERROR_INVALID_LEVEL);
    return 0;
  }
  if (!doc_info) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (h->job_id) {
    SetLastError(ERROR_INVALID_PRINTER_STATE);
    return 0;
  }
  const auto* d = reinterpret_cast<const DOC_INFO_1W*>(doc_info);
  std::u16string datatype = st::wstr(d->pDatatype);
  if (datatype.empty()) datatype = u"RAW";
  if (st::fold(datatype) != "RAW") {
    SetLastError(ERROR_INVALID_DATATYPE);
    return 0;
  }
  if (d->pOutputFile && *d->pOutputFile) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return 0;
  }
  std::string folder = morva::platform::spool_folder();
  if (folder.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return 0;
  }
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  std::int64_t id = 0;
  std::string path;
  int fd = -1;
  DWORD err = st::write([&](sqlite3* db) -> DWORD {
    Stmt s(db,
           "INSERT INTO jobs(printer, document, user, machine, datatype, status, pages, size, submitted, spool_file) "
           "VALUES (?, ?, ?, ?, 'RAW', ?, 0, 0, ?, '')");
    s.bind(1, h->printer_id).bind(2, st::to_utf8(st::wstr(d->pDocName))).bind(3, st::to_utf8(job_user()));
    s.bind(4, st::to_utf8(job_machine())).bind(5, JOB_STATUS_SPOOLING).bind(6, st::filetime_now());
    s.run();
    id = st::last_insert_id(db);
    path = morva::platform::job_spool_file(static_cast<DWORD>(id));
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return error_from_errno(errno);
    Stmt f(db, "UPDATE jobs SET spool_file = ? WHERE id = ?");
    f.bind(1, path).bind(2, id);
    f.run();
    return ERROR_SUCCESS;
  });
  if (err != ERROR_SUCCESS) {
    if (fd >= 0) {
      ::close(fd);
      ::unlink(path.c_str());
    }
    SetLastError(err);
    return 0;
  }
  h->job_id = static_cast<DWORD>(id);
  h->fd = fd;
  h->page_open = false;
  h->job_bytes = 0;
  return h->job_id;
}

BOOL StartPagePrinter(HANDLE printer) {
  auto h = printer_handle(printer);
  if (!h) return fail(ERROR_INVALID_HANDLE);
  if (!h->job_id) return fail(ERROR_SPL_NO_STARTDOC);
  h->page_open = true;
  return TRUE;
}

BOOL WritePrinter(HANDLE printer, LPVOID data, DWORD size, LPDWORD written) {
  if (written) *written = 0;
  auto h = printer_handle(printer);
  if (!h) return fail(ERROR_INVALID_HANDLE);
  if (!written || (!data && size)) return fail(ERROR_INVALID_PARAMETER);
  if (!h->job_id || h->fd < 0) return fail(ERROR_SPL_NO_STARTDOC);
  std::size_t accept = size;
  DWORD fault_error = ERROR_SUCCESS;
  {
    std::lock_guard<std::mutex> g(g_fault_lock);
    if (g_fault.armed && h->job_bytes + size > g_fault.limit) {
      accept = g_fault.limit > h->job_bytes ? static_cast<std::size_t>(g_fault.limit - h->job_bytes) : 0;
      if (g_fault.kind == morva::platform::SpoolFault::short_write) {
        g_fault.armed = false;
      } else {
        fault_error = ERROR_DISK_FULL;
      }
    }
  }
  DWORD error;
  std::size_t done = write_all(h->fd, static_cast<const BYTE*>(data), accept, error);
  h->job_bytes += done;
  *written = static_cast<DWORD>(done);
  if (error == ERROR_SUCCESS) error = fault_error;
  return error == ERROR_SUCCESS ? TRUE : fail(error);
}

BOOL EndPagePrinter(HANDLE printer) {
  auto h = printer_handle(printer);
  if (!h) return fail(ERROR_INVALID_HANDLE);
  if (!h->job_id) return fail(ERROR_SPL_NO_STARTDOC);
  h->page_open = false;
  DWORD err = update_job(h->job_id, "pages = pages + ?", 1);
  return err == ERROR_SUCCESS ? TRUE : fail(err);
}

BOOL EndDocPrinter(HANDLE printer) {
  auto h = printer_handle(printer);
  if (!h) return fail(ERROR_INVALID_HANDLE);
  if (!h->job_id) return fail(ERROR_SPL_NO_STARTDOC);
  DWORD error = ERROR_SUCCESS;
  if (h->fd >= 0) {
    if (::fsync(h->fd) != 0) error = error_from_errno(errno);
    if (::close(h->fd) != 0 && error == ERROR_SUCCESS) error = error_from_errno(errno);
    h->fd = -1;
  }
  DWORD id = h->job_id;
  h->job_id = 0;
  h->page_open = false;
  std::uint64_t bytes = h->job_bytes;
  DWORD err = st::write([&](sqlite3* db) -> DWORD {
    Stmt s(db, "UPDATE jobs SET status = ?, size = ? WHERE id = ?");
    s.bind(1, error == ERROR_SUCCESS ? JOB_STATUS_COMPLETE : JOB_STATUS_ERROR);
    s.bind(2, static_cast<std::int64_t>(bytes)).bind(3, id);
    s.run();
    return ERROR_SUCCESS;
  });
  if (error == ERROR_SUCCESS) error = err;
  return error == ERROR_SUCCESS ? TRUE : fail(error);
}

BOOL AbortPrinter(HANDLE printer) {
  auto h = printer_handle(printer);
  if (!h) return fail(ERROR_INVALID_HANDLE);
  if (!h->job_id) return fail(ERROR_SPL_NO_STARTDOC);
  if (h->fd >= 0) ::close(h->fd);
  h->fd = -1;
  DWORD id = h->job_id;
  h->job_id = 0;
  h->page_open = false;
  ::unlink(morva::platform::job_spool_file(id).c_str());
  DWORD err = st::write([&](sqlite3* db) -> DWORD {
    Stmt s(db, "DELETE FROM jobs WHERE id = ?");
    s.bind(1, id);
    s.run();
    return ERROR_SUCCESS;
  });
  return err == ERROR_SUCCESS ? TRUE : fail(err);
}

BOOL GetJobW(HANDLE printer, DWORD job_id, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed) {
  auto h = printer_handle(printer);
  if (!h) return fail(ERROR_INVALID_HANDLE);
  if (level != 1) return fail(ERROR_INVALID_LEVEL);
  JobRow job;
  DWORD err = st::read([&](sqlite3* db) -> DWORD {
    Stmt s(db, (std::string(kJobColumns) + "WHERE jobs.id = ? AND jobs.printer = ?").c_str());
    s.bind(1, job_id).bind(2, h->printer_id);
    if (!s.step()) return ERROR_INVALID_PARAMETER;
    job = job_from(s);
    Stmt pos(db, "SELECT count(*) FROM jobs WHERE printer = ? AND id <= ?");
    pos.bind(1, h->printer_id).bind(2, job_id);
    job.position = pos.step() ? static_cast<DWORD>(pos.i64(0)) : 0;
    return ERROR_SUCCESS;
  });
  if (err != ERROR_SUCCESS) return fail(err);
  return pack(sizeof(JOB_INFO_1W), buffer, size, needed, [&](Packer& pk) { fill_job(job, pk, pk.slot(0)); });
}

BOOL EnumJobsW(HANDLE printer, DWORD first, DWORD count, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
               LPDWORD returned) {
  if (returned) *returned = 0;
  auto h = printer_handle(printer);
  if (!h) return fail(ERROR_INVALID_HANDLE);
  if (level != 1) return fail(ERROR_INVALID_LEVEL);
  std::vector<JobRow> jobs;
  DWORD err = st::read([&](sqlite3* db) -> DWORD {
    Stmt s(db, (std::string(kJobColumns) + "WHERE jobs.printer = ? ORDER BY jobs.id").c_str());
    s.bind(1, h->printer_id);
    DWORD position = 0;
    while (s.step()) {
      ++position;
      if (position <= first || jobs.size() >= count) continue;
      jobs.push_back(job_from(s));
      jobs.back().position = position;
    }
    return ERROR_SUCCESS;
  });
  if (err != ERROR_SUCCESS) return fail(err);
  if (jobs.empty()) {
    if (needed) *needed = 0;
    return TRUE;
  }
  BOOL ok = pack(jobs.size() * sizeof(JOB_INFO_1W), buffer, size, needed, [&](Packer& pk) {
    for (std::size_t i = 0; i < jobs.size(); ++i) fill_job(jobs[i], pk, pk.slot(i * sizeof(JOB_INFO_1W)));
  });
  if (ok && returned) *returned = static_cast<DWORD>(jobs.size());
  return ok;
}

}  // extern "C"

namespace morva::platform {

void inject_spool_fault(SpoolFault fault, std::uint64_t limit) {
  std::lock_guard<std::mutex> g(g_fault_lock);
  g_fault.armed = true;
  g_fault.kind = fault;
  g_fault.limit = limit;
}

void clear_spool_faults() {
  std::lock_guard<std::mutex> g(g_fault_lock);
  g_fault.armed = false;
}

std::string spool_folder() {
  std::string root = machine_root();
  return root.empty() ? std::string() : root + "/spool";
}

std::string job_spool_file(DWORD job_id) {
  char name[32];
  std::snprintf(name, sizeof name, "/%05u.SPL", static_cast<unsigned>(job_id));
  std::string folder = spool_folder();
  return folder.empty() ? std::string() : folder + name;
}

std::vector<SpoolJob> spool_jobs(const std::u16string& printer) {
  std::vector<SpoolJob> out;
  st::read([&](sqlite3* db) -> DWORD {
    std::string sql = std::string(kJobColumns) + (printer.empty() ? "" : "WHERE printers.fold = ? ") + "ORDER BY jobs.id";
    Stmt s(db, sql.c_str());
    if (!printer.empty()) s.bind(1, st::fold(printer));
    while (s.step()) {
      JobRow j = job_from(s);
      out.push_back({j.id, j.printer, j.document, j.user, j.status, j.pages, file_size(j.spool_file), j.spool_file});
    }
    return ERROR_SUCCESS;
  });
  return out;
}

}  // namespace morva::platform
