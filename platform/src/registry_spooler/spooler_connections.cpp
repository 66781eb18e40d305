// Printer connections. The machine serves only its own printers, so a
// connection names one of them; it is kept for the one user of the machine
// and the printer's driver is told when it comes and goes.
#include "spooler_driver_calls.h"
#include "spooler_internal.h"
#include "win/printer_ui.h"

using namespace morva::platform::spooler;
namespace st = morva::platform::store;
using morva::platform::store::Stmt;

namespace {

// A printer handle for `name` when the printer exists.
HANDLE open_named(LPWSTR name) {
  HANDLE printer = nullptr;
  return name && *name && OpenPrinterW(name, &printer, nullptr) ? printer : nullptr;
}

}  // namespace

extern "C" {

BOOL AddPrinterConnectionW(LPWSTR name) {
  HANDLE printer = open_named(name);
  if (!printer) return fail(ERROR_INVALID_PRINTER_NAME);
  const std::u16string n = st::wstr(name);
  bool added = false;
  const DWORD err = st::write([&](sqlite3* db) -> DWORD {
    Stmt s(db, "INSERT OR IGNORE INTO connections(fold, name) VALUES (?, ?)");
    s.bind(1, st::fold(n)).bind(2, st::to_utf8(n));
    s.run();
    added = st::changes(db) != 0;
    return ERROR_SUCCESS;
  });
  if (err == ERROR_SUCCESS && added) send_printer_event(printer, n, PRINTER_EVENT_ADD_CONNECTION);
  ClosePrinter(printer);
  return err == ERROR_SUCCESS ? TRUE : fail(err);
}

BOOL DeletePrinterConnectionW(LPWSTR name) {
  if (!name || !*name) return fail(ERROR_INVALID_PRINTER_NAME);
  const std::u16string n = st::wstr(name);
  bool known = false;
  DWORD err = st::read([&](sqlite3* db) -> DWORD {
    Stmt s(db, "SELECT 1 FROM connections WHERE fold = ?");
    s.bind(1, st::fold(n));
    known = s.step();
    return ERROR_SUCCESS;
  });
  if (err != ERROR_SUCCESS) return fail(err);
  if (!known) return fail(ERROR_INVALID_PRINTER_NAME);
  // The driver cleans up while the printer can still be opened.
  if (HANDLE printer = open_named(name)) {
    send_printer_event(printer, n, PRINTER_EVENT_DELETE_CONNECTION);
    ClosePrinter(printer);
  }
  err = st::write([&](sqlite3* db) -> DWORD {
    Stmt s(db, "DELETE FROM connections WHERE fold = ?");
    s.bind(1, st::fold(n));
    s.run();
    return ERROR_SUCCESS;
  });
  return err == ERROR_SUCCESS ? TRUE : fail(err);
}

}  // extern "C"
