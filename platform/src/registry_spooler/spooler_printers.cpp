#include <atomic>
#include <mutex>
#include <unordered_map>
#include <unistd.h>

#include "spooler_driver_calls.h"
#include "spooler_internal.h"
#include "win/printer_ui.h"

namespace morva::platform::spooler {

using store::Stmt;
namespace st = store;

namespace {

std::mutex g_handles_lock;
std::unordered_map<std::uintptr_t, std::shared_ptr<PrinterHandle>> g_handles;
std::uintptr_t g_next_handle = 0x2000;
std::atomic<bool> g_admin_denied{false};

constexpr DWORD kAdminRights = PRINTER_ACCESS_ADMINISTER | 0x00010000u /* DELETE */ | 0x00040000u /* WRITE_DAC */ |
                               0x00080000u /* WRITE_OWNER */;

ACCESS_MASK normalise_access(ACCESS_MASK a) {
  if (a == 0) return PRINTER_ACCESS_USE;
  if (a & 0x80000000u) a |= PRINTER_READ;      // GENERIC_READ
  if (a & 0x40000000u) a |= PRINTER_WRITE;     // GENERIC_WRITE
  if (a & 0x20000000u) a |= PRINTER_EXECUTE;   // GENERIC_EXECUTE
  if (a & 0x10000000u) a |= PRINTER_ALL_ACCESS;  // GENERIC_ALL
  if (a & 0x02000000u) a |= g_admin_denied ? PRINTER_ACCESS_USE : PRINTER_ALL_ACCESS;  // MAXIMUM_ALLOWED
  return a;
}

HANDLE new_handle(std::int64_t printer_id, ACCESS_MASK access) {
  auto h = std::make_shared<PrinterHandle>();
  h->printer_id = printer_id;
  h->access = access;
  std::lock_guard<std::mutex> g(g_handles_lock);
  std::uintptr_t v = g_next_handle;
  g_next_handle += 8;
  g_handles[v] = h;
  return reinterpret_cast<HANDLE>(v);
}

// "Name,LocalOnly" and similar suffixes name the same printer.
std::u16string base_printer_name(const std::u16string& name) {
  auto comma = name.find(u',');
  return comma == std::u16string::npos ? name : name.substr(0, comma);
}

std::int64_t find_printer(sqlite3* db, const std::u16string& name) {
  Stmt s(db, "SELECT id FROM printers WHERE fold = ?");
  s.bind(1, st::fold(name));
  return s.step() ? s.i64(0) : 0;
}

void fill_printer(DWORD level, const PrinterRow& p, Packer& pk, BYTE* slot) {
  switch (level) {
    case 1: {
      PRINTER_INFO_1W r{};
      r.Flags = 0x00800000u;  // PRINTER_ENUM_ICON8: a printer
      r.pDescription = pk.str(p.name + u"," + p.driver + u"," + p.location);
      r.pName = pk.str(p.name);
      r.pComment = pk.str(p.comment);
      if (slot) std::memcpy(slot, &r, sizeof r);
      break;
    }
    case 2: {
      PRINTER_INFO_2W r{};
      r.pServerName = nullptr;
      r.pPrinterName = pk.str(p.name);
      r.pShareName = pk.str(p.share);
      r.pPortName = pk.str(p.port);
      r.pDriverName = pk.str(p.driver);
      r.pComment = pk.str(p.comment);
      r.pLocation = pk.str(p.location);
      r.pDevMode = p.devmode.empty() ? nullptr
                                     : reinterpret_cast<DEVMODEW*>(pk.bytes(p.devmode.data(), p.devmode.size(), 8));
      r.pSepFile = pk.str(u"");
      r.pPrintProcessor = pk.str(p.print_processor);
      r.pDatatype = pk.str(p.datatype);
      r.pParameters = pk.str(p.parameters);
      r.Attributes = p.attributes;
      r.Priority = p.priority;
      r.DefaultPriority = 0;
      r.Status = p.status;
      r.cJobs = p.jobs;
      if (slot) std::memcpy(slot, &r, sizeof r);
      break;
    }
    case 4: {
      PRINTER_INFO_4W r{};
      r.pPrinterName = pk.str(p.name);
      r.pServerName = nullptr;
      r.Attributes = p.attributes;
      if (slot) std::memcpy(slot, &r, sizeof r);
      break;
    }
    case 5: {
      PRINTER_INFO_5W r{};
      r.pPrinterName = pk.str(p.name);
      r.pPortName = pk.str(p.port);
      r.Attributes = p.attributes;
      r.DeviceNotSelectedTimeout = 15000;
      r.TransmissionRetryTimeout = 45000;
      if (slot) std::memcpy(slot, &r, sizeof r);
      break;
    }
    default: break;
  }
}

std::size_t printer_record_size(DWORD level) {
  switch (level) {
    case 1: return sizeof(PRINTER_INFO_1W);
    case 2: return sizeof(PRINTER_INFO_2W);
    case 4: return sizeof(PRINTER_INFO_4W);
    case 5: return sizeof(PRINTER_INFO_5W);
    default: return 0;
  }
}

std::vector<BYTE> devmode_bytes(const DEVMODEW* dm) {
  if (!dm || dm->dmSize < offsetof(DEVMODEW, dmFields)) return {};
  std::size_t size = static_cast<std::size_t>(dm->dmSize) + dm->dmDriverExtra;
  const auto* p = reinterpret_cast<const BYTE*>(dm);
  return std::vector<BYTE>(p, p + size);
}

struct DriverRow {
  DWORD version = 3;
  std::u16string name, environment, driver_path, data_file, config_file, help_file, monitor, datatype;
  std::vector<std::u16string> dependent;
};

std::vector<std::u16string> split_lines(const std::string& s) {
  std::vector<std::u16string> out;
  std::size_t start = 0;
  while (start < s.size()) {
    auto end = s.find('\n', start);
    if (end == std::string::npos) end = s.size();
    if (end > start) out.push_back(st::from_utf8(s.substr(start, end - start)));
    start = end + 1;
  }
  return out;
}

// A bare file name lives in the driver directory of its version.
std::u16string driver_file_path(const std::u16string& file) {
  if (file.empty() || file.find(u'\\') != std::u16string::npos) return file;
  return std::u16string(kDriverDirectory) + u"\\3\\" + file;
}

}  // namespace

std::shared_ptr<PrinterHandle> find_handle(HANDLE h) {
  std::lock_guard<std::mutex> g(g_handles_lock);
  auto it = g_handles.find(reinterpret_cast<std::uintptr_t>(h));
  return it == g_handles.end() ? nullptr : it->second;
}

bool is_admin(const PrinterHandle& h) { return (h.access & PRINTER_ACCESS_ADMINISTER) != 0; }
bool admin_denied() { return g_admin_denied; }

bool read_printer(sqlite3* db, std::int64_t id, PrinterRow& r) {
  Stmt s(db,
         "SELECT id, name, share, port, driver, comment, location, datatype, print_processor, parameters, "
         "attributes, priority, status, devmode, (SELECT count(*) FROM jobs WHERE jobs.printer = printers.id) "
         "FROM printers WHERE id = ?");
  s.bind(1, id);
  if (!s.step()) return false;
  r.id = s.i64(0);
  std::u16string* fields[] = {&r.name, &r.share, &r.port, &r.driver, &r.comment,
                              &r.location, &r.datatype, &r.print_processor, &r.parameters};
  for (int i = 0; i < 9; ++i) *fields[i] = st::from_utf8(s.text(i + 1));
  r.attributes = static_cast<DWORD>(s.i64(10));
  r.priority = static_cast<DWORD>(s.i64(11));
  r.status = static_cast<DWORD>(s.i64(12));
  r.devmode = s.is_null(13) ? std::vector<BYTE>() : s.blob(13);
  r.jobs = static_cast<DWORD>(s.i64(14));
  return true;
}

std::vector<PrinterRow> read_printers(sqlite3* db) {
  std::vector<std::int64_t> ids;
  Stmt s(db, "SELECT id FROM printers ORDER BY id");
  while (s.step()) ids.push_back(s.i64(0));
  std::vector<PrinterRow> out;
  for (auto id : ids) {
    PrinterRow r;
    if (read_printer(db, id, r)) out.push_back(std::move(r));
  }
  return out;
}

std::string fold_key(const std::u16string& key) {
  std::u16string out;
  std::size_t start = 0;
  while (start <= key.size()) {
    auto end = key.find(u'\\', start);
    if (end == std::u16string::npos) end = key.size();
    if (end > start) {
      if (!out.empty()) out += u'\\';
      out += key.substr(start, end - start);
    }
    start = end + 1;
  }
  return st::fold(out);
}

}  // namespace morva::platform::spooler

using namespace morva::platform::spooler;
namespace st = morva::platform::store;
using morva::platform::store::Stmt;

extern "C" {

BOOL OpenPrinterW(LPWSTR name, HANDLE* printer, LPPRINTER_DEFAULTSW defaults) {
  if (!printer) return fail(ERROR_INVALID_PARAMETER);
  *printer = nullptr;
  ACCESS_MASK access = normalise_access(defaults ? defaults->DesiredAccess : 0);
  if ((access & kAdminRights) && g_admin_denied) return fail(ERROR_ACCESS_DENIED);
  if (!name || !*name) {
    *printer = new_handle(0, access);
    return TRUE;
  }
  std::u16string n = base_printer_name(st::wstr(name));
  std::int64_t id = 0;
  DWORD err = st::read([&](sqlite3* db) -> DWORD {
    id = find_printer(db, n);
    return id ? ERROR_SUCCESS : ERROR_INVALID_PRINTER_NAME;
  });
  if (err != ERROR_SUCCESS) return fail(err);
  *printer = new_handle(id, access);
  return TRUE;
}

BOOL ClosePrinter(HANDLE printer) {
  auto h = find_handle(printer);
  if (!h) return fail(ERROR_INVALID_HANDLE);
  // A document left open keeps what it accepted.
  if (h->job_id) EndDocPrinter(printer);
  std::lock_guard<std::mutex> g(g_handles_lock);
  g_handles.erase(reinterpret_cast<std::uintptr_t>(printer));
  return TRUE;
}

HANDLE AddPrinterW(LPWSTR, DWORD level, LPBYTE info) {
  if (level != 2 || !info) {
    SetLastError(level != 2 ? ERROR_INVALID_LEVEL : ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (g_admin_denied) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  const auto* p = reinterpret_cast<const PRINTER_INFO_2W*>(info);
  std::u16string name = st::wstr(p->pPrinterName);
  if (name.empty() || name.find_first_of(u",\\!") != std::u16string::npos) {
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return nullptr;
  }
  if (st::wlen(p->pPortName) == 0) {
    SetLastError(ERROR_UNKNOWN_PORT);
    return nullptr;
  }
  std::vector<BYTE> dm = devmode_bytes(p->pDevMode);
  std::int64_t id = 0;
  DWORD err = st::write([&](sqlite3* db) -> DWORD {
    if (find_printer(db, name)) return ERROR_PRINTER_ALREADY_EXISTS;
    Stmt drv(db, "SELECT 1 FROM drivers WHERE fold = ?");
    drv.bind(1, st::fold(st::wstr(p->pDriverName)));
    if (!drv.step()) return ERROR_UNKNOWN_PRINTER_DRIVER;
    std::u16string datatype = st::wstr(p->pDatatype);
    std::u16string processor = st::wstr(p->pPrintProcessor);
    Stmt s(db,
           "INSERT INTO printers(name, fold, share, port, driver, comment, location, datatype, print_processor, "
           "parameters, attributes, priority, status, devmode, created) "
           "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 0, ?, ?)");
    s.bind(1, st::to_utf8(name)).bind(2, st::fold(name)).bind(3, st::to_utf8(st::wstr(p->pShareName)));
    s.bind(4, st::to_utf8(st::wstr(p->pPortName))).bind(5, st::to_utf8(st::wstr(p->pDriverName)));
    s.bind(6, st::to_utf8(st::wstr(p->pComment))).bind(7, st::to_utf8(st::wstr(p->pLocation)));
    s.bind(8, datatype.empty() ? std::string("RAW") : st::to_utf8(datatype));
    s.bind(9, processor.empty() ? std::string("winprint") : st::to_utf8(processor));
    s.bind(10, st::to_utf8(st::wstr(p->pParameters)));
    s.bind(11, static_cast<std::int64_t>((p->Attributes & ~PRINTER_ATTRIBUTE_NETWORK) | PRINTER_ATTRIBUTE_LOCAL));
    s.bind(12, p->Priority ? p->Priority : 1);
    if (dm.empty()) s.bind_null(13); else s.bind_blob(13, dm.data(), dm.size());
    s.bind(14, st::filetime_now());
    s.run();
    id = st::last_insert_id(db);
    return ERROR_SUCCESS;
  });
  if (err != ERROR_SUCCESS) {
    SetLastError(err);
    return nullptr;
  }
  HANDLE handle = new_handle(id, PRINTER_ALL_ACCESS);
  // The driver sets up its new printer, then takes the printer's DEVMODE
  // into its own form.
  send_printer_event(handle, name, PRINTER_EVENT_INITIALIZE);
  if (!dm.empty()) {
    const std::vector<BYTE> converted = convert_for_driver(handle, name, dm);
    if (converted != dm)
      st::write([&](sqlite3* db) -> DWORD {
        Stmt s(db, "UPDATE printers SET devmode = ? WHERE id = ?");
        s.bind_blob(1, converted.data(), converted.size()).bind(2, id);
        s.run();
        return ERROR_SUCCESS;
      });
  }
  return handle;
}

BOOL DeletePrinter(HANDLE printer) {
  auto h = find_handle(printer);
  if (!h || !h->printer_id) return fail(ERROR_INVALID_HANDLE);
  if (!(h->access & (0x00010000u | PRINTER_ACCESS_ADMINISTER))) return fail(ERROR_ACCESS_DENIED);
  // The driver cleans up while the printer is still there.
  PrinterRow row;
  if (st::read([&](sqlite3* db) -> DWORD {
        return read_printer(db, h->printer_id, row) ? ERROR_SUCCESS : ERROR_PRINTER_DELETED;
      }) == ERROR_SUCCESS)
    send_printer_event(printer, row.name, PRINTER_EVENT_DELETE);
  DWORD err = st::write([&](sqlite3* db) -> DWORD {
    Stmt p(db, "DELETE FROM printers WHERE id = ?");
    p.bind(1, h->printer_id);
    p.run();
    if (st::changes(db) == 0) return ERROR_PRINTER_DELETED;
    Stmt d(db, "DELETE FROM printer_data WHERE printer = ?");
    d.bind(1, h->printer_id);
    d.run();
    return ERROR_SUCCESS;
  });
  return err == ERROR_SUCCESS ? TRUE : fail(err);
}

BOOL GetPrinterW(HANDLE printer, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed) {
  auto h = find_handle(printer);
  if (!h || !h->printer_id) return fail(ERROR_INVALID_HANDLE);
  std::size_t fixed = printer_record_size(level);
  if (!fixed) return fail(ERROR_INVALID_LEVEL);
  PrinterRow row;
  DWORD err = st::read([&](sqlite3* db) -> DWORD {
    return read_printer(db, h->printer_id, row) ? ERROR_SUCCESS : ERROR_PRINTER_DELETED;
  });
  if (err != ERROR_SUCCESS) return fail(err);
  return pack(fixed, buffer, size, needed, [&](Packer& pk) { fill_printer(level, row, pk, pk.slot(0)); });
}

BOOL SetPrinterW(HANDLE printer, DWORD level, LPBYTE info, DWORD command) {
  auto h = find_handle(printer);
  if (!h || !h->printer_id) return fail(ERROR_INVALID_HANDLE);
  if (!is_admin(*h)) return fail(ERROR_ACCESS_DENIED);
  DWORD err;
  if (level == 0) {
    std::int64_t status;
    switch (command) {
      case PRINTER_CONTROL_PAUSE: status = PRINTER_STATUS_PAUSED; break;
      case PRINTER_CONTROL_RESUME: status = 0; break;
      case PRINTER_CONTROL_SET_STATUS: status = info ? *reinterpret_cast<const DWORD*>(info) : 0; break;
      case PRINTER_CONTROL_PURGE: status = -1; break;
      default: return fail(ERROR_INVALID_PRINTER_COMMAND);
    }
    err = st::write([&](sqlite3* db) -> DWORD {
      if (status < 0) {
        Stmt s(db, "DELETE FROM jobs WHERE printer = ?");
        s.bind(1, h->printer_id);
        s.run();
        return ERROR_SUCCESS;
      }
      Stmt s(db, "UPDATE printers SET status = ? WHERE id = ?");
      s.bind(1, status).bind(2, h->printer_id);
      s.run();
      return st::changes(db) ? ERROR_SUCCESS : ERROR_PRINTER_DELETED;
    });
  } else if (level == 2) {
    if (!info) return fail(ERROR_INVALID_PARAMETER);
    const auto* p = reinterpret_cast<const PRINTER_INFO_2W*>(info);
    std::u16string name = st::wstr(p->pPrinterName);
    std::vector<BYTE> dm = devmode_bytes(p->pDevMode);
    err = st::write([&](sqlite3* db) -> DWORD {
      PrinterRow cur;
      if (!read_printer(db, h->printer_id, cur)) return ERROR_PRINTER_DELETED;
      if (!name.empty() && st::fold(name) != st::fold(cur.name)) {
        if (find_printer(db, name)) return ERROR_PRINTER_ALREADY_EXISTS;
        cur.name = name;
      }
      if (p->pPortName && *p->pPortName) cur.port = st::wstr(p->pPortName);
      if (p->pDriverName && *p->pDriverName) cur.driver = st::wstr(p->pDriverName);
      if (p->pShareName) cur.share = st::wstr(p->pShareName);
      if (p->pComment) cur.comment = st::wstr(p->pComment);
      if (p->pLocation) cur.location = st::wstr(p->pLocation);
      if (!dm.empty()) cur.devmode = dm;
      Stmt s(db,
             "UPDATE printers SET name = ?, fold = ?, share = ?, port = ?, driver = ?, comment = ?, location = ?, "
             "attributes = ?, priority = ?, devmode = ? WHERE id = ?");
      s.bind(1, st::to_utf8(cur.name)).bind(2, st::fold(cur.name)).bind(3, st::to_utf8(cur.share));
      s.bind(4, st::to_utf8(cur.port)).bind(5, st::to_utf8(cur.driver)).bind(6, st::to_utf8(cur.comment));
      s.bind(7, st::to_utf8(cur.location));
      s.bind(8, static_cast<std::int64_t>((p->Attributes & ~PRINTER_ATTRIBUTE_NETWORK) | PRINTER_ATTRIBUTE_LOCAL));
      s.bind(9, p->Priority ? p->Priority : cur.priority);
      if (cur.devmode.empty()) s.bind_null(10); else s.bind_blob(10, cur.devmode.data(), cur.devmode.size());
      s.bind(11, h->printer_id);
      s.run();
      return ERROR_SUCCESS;
    });
  } else {
    return fail(ERROR_INVALID_LEVEL);
  }
  return err == ERROR_SUCCESS ? TRUE : fail(err);
}

BOOL EnumPrintersW(DWORD flags, LPWSTR, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned) {
  if (returned) *returned = 0;
  std::size_t fixed = printer_record_size(level);
  if (!fixed) return fail(ERROR_INVALID_LEVEL);
  std::vector<PrinterRow> rows;
  // Every printer of the machine root is local; there are no connections.
  if (flags & (PRINTER_ENUM_LOCAL | PRINTER_ENUM_NAME | PRINTER_ENUM_DEFAULT)) {
    DWORD err = st::read([&](sqlite3* db) -> DWORD {
      rows = read_printers(db);
      return ERROR_SUCCESS;
    });
    if (err != ERROR_SUCCESS) return fail(err);
    if (flags == PRINTER_ENUM_DEFAULT) {
      std::vector<PrinterRow> def;
      for (auto& r : rows)
        if (r.attributes & PRINTER_ATTRIBUTE_DEFAULT) def.push_back(r);
      if (def.empty() && !rows.empty()) def.push_back(rows.front());
      rows = def;
    }
  }
  BOOL ok = pack(fixed * rows.size(), buffer, size, needed, [&](Packer& pk) {
    for (std::size_t i = 0; i < rows.size(); ++i) fill_printer(level, rows[i], pk, pk.slot(i * fixed));
  });
  if (ok && returned) *returned = static_cast<DWORD>(rows.size());
  if (!ok && rows.empty() && needed) *needed = 0;
  return rows.empty() ? TRUE : ok;
}

BOOL AddPrinterDriverW(LPWSTR, DWORD level, LPBYTE info) {
  if ((level != 2 && level != 3) || !info) return fail(level < 2 || level > 3 ? ERROR_INVALID_LEVEL : ERROR_INVALID_PARAMETER);
  if (g_admin_denied) return fail(ERROR_ACCESS_DENIED);
  const auto* d2 = reinterpret_cast<const DRIVER_INFO_2W*>(info);
  const auto* d3 = level == 3 ? reinterpret_cast<const DRIVER_INFO_3W*>(info) : nullptr;
  std::u16string name = st::wstr(d2->pName);
  if (name.empty() || !d2->pDriverPath || !d2->pDataFile || !d2->pConfigFile) return fail(ERROR_INVALID_PARAMETER);
  std::string dependent;
  if (d3 && d3->pDependentFiles) {
    for (const WCHAR* f = d3->pDependentFiles; *f; f += st::wlen(f) + 1) {
      dependent += st::to_utf8(driver_file_path(st::wstr(f)));
      dependent += '\n';
    }
  }
  std::u16string env = st::wstr(d2->pEnvironment);
  DWORD err = st::write([&](sqlite3* db) -> DWORD {
    Stmt s(db,
           "INSERT INTO drivers(name, fold, environment, version, driver_path, data_file, config_file, help_file, "
           "dependent_files, monitor, default_datatype) VALUES (?, ?, ?, 3, ?, ?, ?, ?, ?, ?, ?) "
           "ON CONFLICT(fold) DO UPDATE SET name = excluded.name, environment = excluded.environment, "
           "driver_path = excluded.driver_path, data_file = excluded.data_file, config_file = excluded.config_file, "
           "help_file = excluded.help_file, dependent_files = excluded.dependent_files, monitor = excluded.monitor, "
           "default_datatype = excluded.default_datatype");
    s.bind(1, st::to_utf8(name)).bind(2, st::fold(name)).bind(3, st::to_utf8(env.empty() ? kEnvironment : env));
    s.bind(4, st::to_utf8(driver_file_path(st::wstr(d2->pDriverPath))));
    s.bind(5, st::to_utf8(driver_file_path(st::wstr(d2->pDataFile))));
    s.bind(6, st::to_utf8(driver_file_path(st::wstr(d2->pConfigFile))));
    s.bind(7, st::to_utf8(d3 ? driver_file_path(st::wstr(d3->pHelpFile)) : std::u16string()));
    s.bind(8, dependent);
    s.bind(9, st::to_utf8(d3 ? st::wstr(d3->pMonitorName) : std::u16string()));
    s.bind(10, st::to_utf8(d3 ? st::wstr(d3->pDefaultDataType) : std::u16string()));
    s.run();
    return ERROR_SUCCESS;
  });
  return err == ERROR_SUCCESS ? TRUE : fail(err);
}

BOOL GetPrinterDriverW(HANDLE printer, LPWSTR environment, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed) {
  auto h = find_handle(printer);
  if (!h || !h->printer_id) return fail(ERROR_INVALID_HANDLE);
  if (level != 2 && level != 3) return fail(ERROR_INVALID_LEVEL);
  DriverRow d;
  DWORD err = st::read([&](sqlite3* db) -> DWORD {
    PrinterRow p;
    if (!read_printer(db, h->printer_id, p)) return ERROR_PRINTER_DELETED;
    Stmt s(db,
           "SELECT name, environment, version, driver_path, data_file, config_file, help_file, dependent_files, "
           "monitor, default_datatype FROM drivers WHERE fold = ?");
    s.bind(1, st::fold(p.driver));
    if (!s.step()) return ERROR_UNKNOWN_PRINTER_DRIVER;
    d.name = st::from_utf8(s.text(0));
    d.environment = st::from_utf8(s.text(1));
    d.version = static_cast<DWORD>(s.i64(2));
    d.driver_path = st::from_utf8(s.text(3));
    d.data_file = st::from_utf8(s.text(4));
    d.config_file = st::from_utf8(s.text(5));
    d.help_file = st::from_utf8(s.text(6));
    d.dependent = split_lines(s.text(7));
    d.monitor = st::from_utf8(s.text(8));
    d.datatype = st::from_utf8(s.text(9));
    return ERROR_SUCCESS;
  });
  if (err != ERROR_SUCCESS) return fail(err);
  if (environment && *environment && st::fold(st::wstr(environment)) != st::fold(d.environment))
    return fail(ERROR_UNKNOWN_PRINTER_DRIVER);
  std::size_t fixed = level == 2 ? sizeof(DRIVER_INFO_2W) : sizeof(DRIVER_INFO_3W);
  return pack(fixed, buffer, size, needed, [&](Packer& pk) {
    DRIVER_INFO_3W r{};
    r.cVersion = d.version;
    r.pName = pk.str(d.name);
    r.pEnvironment = pk.str(d.environment);
    r.pDriverPath = pk.str(d.driver_path);
    r.pDataFile = pk.str(d.data_file);
    r.pConfigFile = pk.str(d.config_file);
    if (level == 3) {
      r.pHelpFile = pk.str(d.help_file);
      r.pDependentFiles = pk.multi(d.dependent);
      r.pMonitorName = pk.str(d.monitor);
      r.pDefaultDataType = pk.str(d.datatype);
    }
    if (pk.filling()) std::memcpy(pk.slot(0), &r, fixed);
  });
}

BOOL GetPrinterDriverDirectoryW(LPWSTR, LPWSTR environment, DWORD level, LPBYTE buffer, DWORD size,
                                LPDWORD needed) {
  if (level != 1) return fail(ERROR_INVALID_LEVEL);
  if (environment && *environment && st::fold(st::wstr(environment)) != st::fold(kEnvironment))
    return fail(ERROR_INVALID_ENVIRONMENT);
  return pack(0, buffer, size, needed, [&](Packer& pk) { pk.str(kDriverDirectory); });
}

}  // extern "C"

namespace morva::platform {
void inject_printer_access_denied(bool on) { spooler::g_admin_denied = on; }
}  // namespace morva::platform
