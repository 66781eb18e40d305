#include <string>

#include "output/channels.h"
#include "win/win.h"

namespace {
constexpr size_t kMaxNameChars = 255;

std::u16string limited(LPCWSTR text) {
  std::u16string s = text ? std::u16string(text) : std::u16string();
  if (s.size() > kMaxNameChars) s.resize(kMaxNameChars);
  return s;
}
}  // namespace

HANDLE OpenPrinterChannel(HANDLE job_printer, LPCWSTR document) {
  if (!job_printer) return nullptr;
  DWORD needed = 0;
  GetPrinterW(job_printer, 1, nullptr, 0, &needed);
  if (needed == 0) return nullptr;
  auto* info = static_cast<BYTE*>(GlobalAlloc(GPTR, needed));
  if (!info) return nullptr;
  std::u16string printer_name;
  if (GetPrinterW(job_printer, 1, info, needed, &needed))
    printer_name = limited(reinterpret_cast<PRINTER_INFO_1W*>(info)->pName);
  GlobalFree(info);
  HANDLE channel = nullptr;
  if (printer_name.empty() || !OpenPrinterW(printer_name.data(), &channel, nullptr)) return nullptr;
  std::u16string name = limited(document);
  std::u16string datatype = u"RAW";
  DOC_INFO_1W doc{};
  doc.pDocName = name.data();
  doc.pOutputFile = nullptr;
  doc.pDatatype = datatype.data();
  StartDocPrinterW(channel, 1, reinterpret_cast<LPBYTE>(&doc));
  StartPagePrinter(channel);
  return channel;
}

BOOL WritePrinterChunked(HANDLE printer, const void* bytes, DWORD length, DWORD* written) {
  if (written) *written = 0;
  if (!printer) return FALSE;
  if (length == 0) return TRUE;
  if (!bytes) return FALSE;
  auto* p = static_cast<BYTE*>(const_cast<void*>(bytes));
  DWORD left = length, sent = 0;
  while (left > kMaxWritePrinterBytes) {
    DWORD n = 0;
    if (!WritePrinter(printer, p + sent, kMaxWritePrinterBytes, &n) || n != kMaxWritePrinterBytes) return FALSE;
    sent += n;
    left -= n;
  }
  DWORD n = 0;
  BOOL ok = WritePrinter(printer, p + sent, left, &n);
  if (written) *written = sent + n;
  return ok;
}

BOOL ClosePrinterChannel(HANDLE printer) {
  BOOL page = EndPagePrinter(printer);
  BOOL doc = EndDocPrinter(printer);
  BOOL closed = ClosePrinter(printer);
  return page && doc && closed;
}
