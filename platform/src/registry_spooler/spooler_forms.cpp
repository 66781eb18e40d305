// Forms: the standard paper forms (seeded once per machine, in the order of
// their paper codes so that a form's 1-based position is its DMPAPER value)
// and the forms added by drivers and users after them.
#include "spooler_internal.h"

namespace morva::platform::store {

namespace {

struct StandardForm {
  const char* name;
  LONG cx;  // thousandths of a millimetre
  LONG cy;
};

// Position n (1-based) is paper code n. Codes 48 and 49 are reserved and
// keep their places so that the later codes line up.
constexpr StandardForm kStandardForms[] = {
    {"Letter", 215900, 279400},
    {"Letter Small", 215900, 279400},
    {"Tabloid", 279400, 431800},
    {"Ledger", 431800, 279400},
    {"Legal", 215900, 355600},
    {"Statement", 139700, 215900},
    {"Executive", 184150, 266700},
    {"A3", 297000, 420000},
    {"A4", 210000, 297000},
    {"A4 Small", 210000, 297000},
    {"A5", 148000, 210000},
    {"B4 (JIS)", 257000, 364000},
    {"B5 (JIS)", 182000, 257000},
    {"Folio", 215900, 330200},
    {"Quarto", 215000, 275000},
    {"10x14", 254000, 355600},
    {"11x17", 279400, 431800},
    {"Note", 215900, 279400},
    {"Envelope #9", 98425, 225425},
    {"Envelope #10", 104775, 241300},
    {"Envelope #11", 114300, 263525},
    {"Envelope #12", 120650, 279400},
    {"Envelope #14", 127000, 292100},
    {"C size sheet", 431800, 558800},
    {"D size sheet", 558800, 863600},
    {"E size sheet", 863600, 1117600},
    {"Envelope DL", 110000, 220000},
    {"Envelope C5", 162000, 229000},
    {"Envelope C3", 324000, 458000},
    {"Envelope C4", 229000, 324000},
    {"Envelope C6", 114000, 162000},
    {"Envelope C65", 114000, 229000},
    {"Envelope B4", 250000, 353000},
    {"Envelope B5", 176000, 250000},
    {"Envelope B6", 176000, 125000},
    {"Envelope", 110000, 230000},
    {"Envelope Monarch", 98425, 190500},
    {"6 3/4 Envelope", 92075, 165100},
    {"US Std Fanfold", 377825, 279400},
    {"German Std Fanfold", 215900, 304800},
    {"German Legal Fanfold", 215900, 330200},
    {"B4 (ISO)", 250000, 353000},
    {"Japanese Postcard", 100000, 148000},
    {"9x11", 228600, 279400},
    {"10x11", 254000, 279400},
    {"15x11", 381000, 279400},
    {"Envelope Invite", 220000, 220000},
    {"Reserved48", 1000, 1000},
    {"Reserved49", 1000, 1000},
    {"Letter Extra", 241300, 304800},
    {"Legal Extra", 241300, 381000},
    {"Tabloid Extra", 296926, 457200},
    {"A4 Extra", 235458, 322326},
    {"Letter Transverse", 215900, 279400},
    {"A4 Transverse", 210000, 297000},
    {"Letter Extra Transverse", 241300, 304800},
    {"Super A", 227000, 356000},
    {"Super B", 305000, 487000},
    {"Letter Plus", 215900, 322326},
    {"A4 Plus", 210000, 330000},
    {"A5 Transverse", 148000, 210000},
    {"B5 (JIS) Transverse", 182000, 257000},
    {"A3 Extra", 322000, 445000},
    {"A5 Extra", 174000, 235000},
    {"B5 (ISO) Extra", 201000, 276000},
    {"A2", 420000, 594000},
    {"A3 Transverse", 297000, 420000},
    {"A3 Extra Transverse", 322000, 445000},
    {"Japanese Double Postcard", 200000, 148000},
    {"A6", 105000, 148000},
    {"Japanese Envelope Kaku #2", 240000, 332000},
    {"Japanese Envelope Kaku #3", 216000, 277000},
    {"Japanese Envelope Chou #3", 120000, 235000},
    {"Japanese Envelope Chou #4", 90000, 205000},
    {"Letter Rotated", 279400, 215900},
    {"A3 Rotated", 420000, 297000},
    {"A4 Rotated", 297000, 210000},
    {"A5 Rotated", 210000, 148000},
    {"B4 (JIS) Rotated", 364000, 257000},
    {"B5 (JIS) Rotated", 257000, 182000},
    {"Japanese Postcard Rotated", 148000, 100000},
    {"Double Japan Postcard Rotated", 148000, 200000},
    {"A6 Rotated", 148000, 105000},
    {"Japan Envelope Kaku #2 Rotated", 332000, 240000},
    {"Japan Envelope Kaku #3 Rotated", 277000, 216000},
    {"Japan Envelope Chou #3 Rotated", 235000, 120000},
    {"Japan Envelope Chou #4 Rotated", 205000, 90000},
    {"B6 (JIS)", 128000, 182000},
    {"B6 (JIS) Rotated", 182000, 128000},
    {"12x11", 304800, 279400},
    {"Japan Envelope You #4", 105000, 235000},
    {"Japan Envelope You #4 Rotated", 235000, 105000},
    {"PRC 16K", 146000, 215000},
    {"PRC 32K", 97000, 151000},
    {"PRC 32K(Big)", 97000, 151000},
    {"PRC Envelope #1", 102000, 165000},
    {"PRC Envelope #2", 102000, 176000},
    {"PRC Envelope #3", 125000, 176000},
    {"PRC Envelope #4", 110000, 208000},
    {"PRC Envelope #5", 110000, 220000},
    {"PRC Envelope #6", 120000, 230000},
    {"PRC Envelope #7", 160000, 230000},
    {"PRC Envelope #8", 120000, 309000},
    {"PRC Envelope #9", 229000, 324000},
    {"PRC Envelope #10", 324000, 458000},
    {"PRC 16K Rotated", 215000, 146000},
    {"PRC 32K Rotated", 151000, 97000},
    {"PRC 32K(Big) Rotated", 151000, 97000},
    {"PRC Envelope #1 Rotated", 165000, 102000},
    {"PRC Envelope #2 Rotated", 176000, 102000},
    {"PRC Envelope #3 Rotated", 176000, 125000},
    {"PRC Envelope #4 Rotated", 208000, 110000},
    {"PRC Envelope #5 Rotated", 220000, 110000},
    {"PRC Envelope #6 Rotated", 230000, 120000},
    {"PRC Envelope #7 Rotated", 230000, 160000},
    {"PRC Envelope #8 Rotated", 309000, 120000},
    {"PRC Envelope #9 Rotated", 324000, 229000},
    {"PRC Envelope #10 Rotated", 458000, 324000},
};
static_assert(std::size(kStandardForms) == 118, "one form per paper code 1-118");

}  // namespace

void seed_standard_forms(sqlite3* db) {
  Stmt s(db,
         "INSERT INTO forms(id, name, fold, flags, cx, cy, left, top, right, bottom) "
         "VALUES (?, ?, ?, ?, ?, ?, 0, 0, ?, ?)");
  std::int64_t id = 1;
  for (const auto& f : kStandardForms) {
    s.reset();
    s.bind(1, id++).bind(2, std::string(f.name)).bind(3, fold(from_utf8(f.name)));
    s.bind(4, FORM_BUILTIN).bind(5, f.cx).bind(6, f.cy).bind(7, f.cx).bind(8, f.cy);
    s.run();
  }
}

}  // namespace morva::platform::store

using namespace morva::platform::spooler;
namespace st = morva::platform::store;
using morva::platform::store::Stmt;

namespace {

struct FormRow {
  std::u16string name;
  DWORD flags;
  LONG cx, cy, left, top, right, bottom;
};

constexpr const char* kFormColumns = "SELECT name, flags, cx, cy, left, top, right, bottom FROM forms ";

FormRow form_from(const Stmt& s) {
  return {st::from_utf8(s.text(0)),          static_cast<DWORD>(s.i64(1)), static_cast<LONG>(s.i64(2)),
          static_cast<LONG>(s.i64(3)),       static_cast<LONG>(s.i64(4)),  static_cast<LONG>(s.i64(5)),
          static_cast<LONG>(s.i64(6)),       static_cast<LONG>(s.i64(7))};
}

void fill_form(const FormRow& f, Packer& pk, BYTE* slot) {
  FORM_INFO_1W r{};
  r.Flags = f.flags;
  r.pName = pk.str(f.name);
  r.Size = {f.cx, f.cy};
  r.ImageableArea = {f.left, f.top, f.right, f.bottom};
  if (slot) std::memcpy(slot, &r, sizeof r);
}

// Checks the handle and, for changes, its administrative right.
DWORD check(HANDLE printer, bool changing) {
  auto h = find_handle(printer);
  if (!h) return ERROR_INVALID_HANDLE;
  if (changing && (!is_admin(*h) || admin_denied())) return ERROR_ACCESS_DENIED;
  return ERROR_SUCCESS;
}

DWORD validate(const FORM_INFO_1W* f) {
  if (!f || st::wlen(f->pName) == 0) return ERROR_INVALID_FORM_NAME;
  if (st::wlen(f->pName) >= CCHFORMNAME * 2) return ERROR_INVALID_FORM_NAME;
  if (f->Size.cx <= 0 || f->Size.cy <= 0) return ERROR_INVALID_FORM_SIZE;
  const RECTL& a = f->ImageableArea;
  if (a.left < 0 || a.top < 0 || a.right <= a.left || a.bottom <= a.top || a.right > f->Size.cx ||
      a.bottom > f->Size.cy)
    return ERROR_INVALID_FORM_SIZE;
  return ERROR_SUCCESS;
}

}  // namespace

extern "C" {

BOOL EnumFormsW(HANDLE printer, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned) {
  if (returned) *returned = 0;
  if (DWORD e = check(printer, false)) return fail(e);
  if (level != 1) return fail(ERROR_INVALID_LEVEL);
  std::vector<FormRow> forms;
  DWORD err = st::read([&](sqlite3* db) -> DWORD {
    Stmt s(db, (std::string(kFormColumns) + "ORDER BY id").c_str());
    while (s.step()) forms.push_back(form_from(s));
    return ERROR_SUCCESS;
  });
  if (err != ERROR_SUCCESS) return fail(err);
  BOOL ok = pack(forms.size() * sizeof(FORM_INFO_1W), buffer, size, needed, [&](Packer& pk) {
    for (std::size_t i = 0; i < forms.size(); ++i) fill_form(forms[i], pk, pk.slot(i * sizeof(FORM_INFO_1W)));
  });
  if (ok && returned) *returned = static_cast<DWORD>(forms.size());
  return ok;
}

BOOL GetFormW(HANDLE printer, LPWSTR name, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed) {
  if (DWORD e = check(printer, false)) return fail(e);
  if (level != 1) return fail(ERROR_INVALID_LEVEL);
  FormRow form{};
  DWORD err = st::read([&](sqlite3* db) -> DWORD {
    Stmt s(db, (std::string(kFormColumns) + "WHERE fold = ?").c_str());
    s.bind(1, st::fold(st::wstr(name)));
    if (!s.step()) return ERROR_INVALID_FORM_NAME;
    form = form_from(s);
    return ERROR_SUCCESS;
  });
  if (err != ERROR_SUCCESS) return fail(err);
  return pack(sizeof(FORM_INFO_1W), buffer, size, needed, [&](Packer& pk) { fill_form(form, pk, pk.slot(0)); });
}

BOOL AddFormW(HANDLE printer, DWORD level, LPBYTE form) {
  if (DWORD e = check(printer, true)) return fail(e);
  if (level != 1) return fail(ERROR_INVALID_LEVEL);
  const auto* f = reinterpret_cast<const FORM_INFO_1W*>(form);
  if (DWORD e = validate(f)) return fail(e);
  std::u16string name = st::wstr(f->pName);
  DWORD err = st::write([&](sqlite3* db) -> DWORD {
    Stmt exists(db, "SELECT 1 FROM forms WHERE fold = ?");
    exists.bind(1, st::fold(name));
    if (exists.step()) return ERROR_FILE_EXISTS;
    Stmt s(db, "INSERT INTO forms(name, fold, flags, cx, cy, left, top, right, bottom) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
    s.bind(1, st::to_utf8(name)).bind(2, st::fold(name)).bind(3, f->Flags & FORM_PRINTER);
    s.bind(4, f->Size.cx).bind(5, f->Size.cy).bind(6, f->ImageableArea.left).bind(7, f->ImageableArea.top);
    s.bind(8, f->ImageableArea.right).bind(9, f->ImageableArea.bottom);
    s.run();
    return ERROR_SUCCESS;
  });
  return err == ERROR_SUCCESS ? TRUE : fail(err);
}

BOOL SetFormW(HANDLE printer, LPWSTR name, DWORD level, LPBYTE form) {
  if (DWORD e = check(printer, true)) return fail(e);
  if (level != 1) return fail(ERROR_INVALID_LEVEL);
  const auto* f = reinterpret_cast<const FORM_INFO_1W*>(form);
  if (!f) return fail(ERROR_INVALID_PARAMETER);
  FORM_INFO_1W checked = *f;
  checked.pName = name;
  if (DWORD e = validate(&checked)) return fail(e);
  DWORD err = st::write([&](sqlite3* db) -> DWORD {
    Stmt cur(db, "SELECT flags FROM forms WHERE fold = ?");
    cur.bind(1, st::fold(st::wstr(name)));
    if (!cur.step()) return ERROR_INVALID_FORM_NAME;
    // The standard forms are fixed.
    if (cur.i64(0) & FORM_BUILTIN) return ERROR_INVALID_PARAMETER;
    Stmt s(db, "UPDATE forms SET flags = ?, cx = ?, cy = ?, left = ?, top = ?, right = ?, bottom = ? WHERE fold = ?");
    s.bind(1, f->Flags & FORM_PRINTER).bind(2, f->Size.cx).bind(3, f->Size.cy).bind(4, f->ImageableArea.left);
    s.bind(5, f->ImageableArea.top).bind(6, f->ImageableArea.right).bind(7, f->ImageableArea.bottom);
    s.bind(8, st::fold(st::wstr(name)));
    s.run();
    return ERROR_SUCCESS;
  });
  return err == ERROR_SUCCESS ? TRUE : fail(err);
}

BOOL DeleteFormW(HANDLE printer, LPWSTR name) {
  if (DWORD e = check(printer, true)) return fail(e);
  DWORD err = st::write([&](sqlite3* db) -> DWORD {
    Stmt cur(db, "SELECT flags FROM forms WHERE fold = ?");
    cur.bind(1, st::fold(st::wstr(name)));
    if (!cur.step()) return ERROR_INVALID_FORM_NAME;
    if (cur.i64(0) & FORM_BUILTIN) return ERROR_INVALID_PARAMETER;
    Stmt s(db, "DELETE FROM forms WHERE fold = ?");
    s.bind(1, st::fold(st::wstr(name)));
    s.run();
    return ERROR_SUCCESS;
  });
  return err == ERROR_SUCCESS ? TRUE : fail(err);
}

}  // extern "C"
