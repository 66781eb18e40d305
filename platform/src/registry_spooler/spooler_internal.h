// Shared by the spooler's source files: printer handles, the packing of
// info records into caller buffers, and printer look-ups.
#pragma once

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "store.h"
#include "win/errors.h"
#include "win/spooler.h"

namespace morva::platform::spooler {

struct PrinterHandle {
  std::int64_t printer_id = 0;  // 0: the print server
  ACCESS_MASK access = 0;
  // The document being spooled on this handle.
  DWORD job_id = 0;
  int fd = -1;
  bool page_open = false;
  std::uint64_t job_bytes = 0;
};

std::shared_ptr<PrinterHandle> find_handle(HANDLE h);
bool is_admin(const PrinterHandle& h);
bool admin_denied();

// Lays out records and their strings in a caller buffer: records first,
// variable data after. Run once with a null buffer to measure, then again
// to fill.
class Packer {
 public:
  Packer(BYTE* buffer, std::size_t fixed) : buf_(buffer), pos_(fixed) {}
  bool filling() const { return buf_ != nullptr; }
  BYTE* slot(std::size_t offset) const { return buf_ ? buf_ + offset : nullptr; }
  LPWSTR str(const std::u16string& s) {
    align(alignof(WCHAR));
    std::size_t at = pos_;
    pos_ += (s.size() + 1) * sizeof(WCHAR);
    if (!buf_) return nullptr;
    auto* out = reinterpret_cast<LPWSTR>(buf_ + at);
    if (!s.empty()) std::memcpy(out, s.data(), s.size() * sizeof(WCHAR));
    out[s.size()] = 0;
    return out;
  }
  LPWSTR multi(const std::vector<std::u16string>& list) {
    std::u16string joined;
    for (const auto& s : list) {
      joined += s;
      joined += u'\0';
    }
    return str(joined);  // str adds the closing empty string's terminator
  }
  BYTE* bytes(const void* data, std::size_t size, std::size_t alignment) {
    align(alignment);
    std::size_t at = pos_;
    pos_ += size;
    if (!buf_) return nullptr;
    if (size) std::memcpy(buf_ + at, data, size);
    return buf_ + at;
  }
  std::size_t size() const { return pos_; }

 private:
  void align(std::size_t a) { pos_ = (pos_ + a - 1) / a * a; }
  BYTE* buf_;
  std::size_t pos_;
};

// Runs `fill` to measure, then again into `buffer` when it fits.
// `fill(Packer&)` returns nothing; the needed size goes to *needed.
template <typename Fill>
BOOL pack(std::size_t fixed, LPBYTE buffer, DWORD size, LPDWORD needed, Fill fill) {
  Packer measure(nullptr, fixed);
  fill(measure);
  if (needed) *needed = static_cast<DWORD>(measure.size());
  if (!buffer || size < measure.size()) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memset(buffer, 0, measure.size());
  Packer out(buffer, fixed);
  fill(out);
  return TRUE;
}

inline BOOL fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

struct PrinterRow {
  std::int64_t id = 0;
  std::u16string name, share, port, driver, comment, location, datatype, print_processor, parameters;
  DWORD attributes = 0, priority = 0, status = 0, jobs = 0;
  std::vector<BYTE> devmode;
};

// Reads one printer inside a store transaction; false when it is gone.
bool read_printer(sqlite3* db, std::int64_t id, PrinterRow& row);
std::vector<PrinterRow> read_printers(sqlite3* db);

// Key path of printer data as compared: parts folded, joined by backslashes.
std::string fold_key(const std::u16string& key);

constexpr const char16_t* kEnvironment = u"Windows x64";
constexpr const char16_t* kDriverDirectory = u"C:\\Windows\\System32\\spool\\DRIVERS\\x64";

}  // namespace morva::platform::spooler
