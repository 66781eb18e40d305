// The framing of one job: PJL job header, the two version lines, the
// opening operators and identification comments before the first page; the
// end event, the end operator and the PJL trailer after the last. And the
// comment events that mark document and page events in the stream.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "output/document_control.h"
#include "output/job_monitor_jobs.h"
#include "output/job_texts.h"
#include "pi/pjl_header.h"
#include "render/escape_receiver.h"
#include "render/pdl_writer.h"
#include "settings/common/system_utils.h"
#include "win/clock.h"
#include "win/codepage.h"
#include "win/memory.h"
#include "win/spooler.h"
#include "win/sysinfo.h"

namespace morva::gfx {

namespace {

constexpr std::size_t kCommentPiece = 255;

std::string utf8(const WCHAR* text, std::size_t max_bytes) {
  if (!text || !*text) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
  out.resize(std::strlen(out.c_str()));
  if (out.size() + 1 > max_bytes) out.resize(max_bytes - 1);
  return out;
}

std::string port_name(HANDLE printer) {
  DWORD needed = 0;
  GetPrinterW(printer, 5, nullptr, 0, &needed);
  if (!needed) return {};
  std::vector<BYTE> buffer(needed);
  if (!GetPrinterW(printer, 5, buffer.data(), needed, &needed)) return {};
  return utf8(reinterpret_cast<PRINTER_INFO_5W*>(buffer.data())->pPortName, 261);
}

bool os_version(OSVERSIONINFOW* v) {
  std::memset(v, 0, sizeof *v);
  v->dwOSVersionInfoSize = sizeof *v;
  return GetVersionExW(v) != FALSE;
}

INT write_text(PDEV* pdev, const std::string& text) {
  return PdlWriter_WriteText(pdev->writer, text.size(), text.data());
}

// The job header: the one the printer-interface library sent for this copy
// goes first; without it the graphics library builds its own.
INT write_job_header_start(PDEV* pdev, UINT copy) {
  DocumentControl* d = pdev->document;
  std::string received;
  DWORD bktp_offset = 0;
  // The header the interface library built for this job (it registered the
  // job with the monitor already, and a fax job's header names its
  // destinations) goes out unchanged.
  if (GetReceivedPjlHeader(pdev, copy, &received, &bktp_offset)) {
    // A stapled booklet is recorded whole before its header goes out, so
    // its sheet count (four pages a sheet) is known now.
    if (d->job.booklet_staple && bktp_offset)
      PatchBktpSlot(pdev->database, static_cast<WORD>((d->logical_pages + 3) / 4), received.data(),
                    static_cast<DWORD>(received.size()), bktp_offset);
    return write_text(pdev, received) == 0 ? 0 : -1;
  }
  // Without it the header is built here; a fax job's names this copy's
  // destination alone when each destination gets a job of its own, else all
  // of them.
  const std::vector<BYTE>* fax = pdev->device_class_flag ? GetReceivedFaxAddresses(pdev) : nullptr;
  PjlFaxRange range{};
  const bool addressed =
      fax && FaxHeaderRange(IsFaxPerDestination(pdev), PdevGetNumber(pdev, 381) == 1, static_cast<WORD>(copy),
                            PdevGetNumber(pdev, 380), fax->data(), static_cast<DWORD>(fax->size()), &range);
  INT size = GetPjlHeaderSize(pdev->printer, d->header_devmode, pdev->printer_data, pdev->database, nullptr, 0);
  if (size < 0) return -1;
  auto* block = static_cast<BYTE*>(HeapAlloc(pdev->heap, HEAP_ZERO_MEMORY, static_cast<SIZE_T>(size) + 1));
  if (!block) return -1;
  JobHeaderRequest request{};
  request.settings = d->header_devmode;
  request.printer_data = pdev->printer_data;
  request.printer = pdev->printer;
  request.document_name = d->document_name;
  request.fax_range = addressed ? &range : nullptr;
  DWORD chars = 65;
  GetLogonUserName(request.job_user_name, &chars);
  request.job_user_name[64] = 0;
  RegisterHeaderJob(pdev, &request, range.first);
  PjlOutput out{block, static_cast<DWORD>(size) + 1, 0};
  INT r = BuildPjlJobHeader(pdev->database, &request, nullptr, 0, &out);
  if (r >= 0) r = PdlWriter_WriteText(pdev->writer, out.used, reinterpret_cast<const char*>(block));
  HeapFree(pdev->heap, 0, block);
  return r < 0 ? -1 : 0;
}

// The trailer: the UEL, the job-information lines, the end-of-job line.
INT write_job_header_end(PDEV* pdev) {
  BYTE uel[16] = {};
  PjlOutput out{uel, sizeof uel, 0};
  if (WriteTrailerUel(&out) < 0 || PdlWriter_WriteText(pdev->writer, out.used, reinterpret_cast<const char*>(uel)) != 0)
    return -1;
  INT r = 0;
  if (pdev->job_info) {
    JobInfo_FillJobItems(pdev);
    char piece[kJobInfoPieceSize];
    DWORD more = 1;
    while (more && r == 0) {
      const INT n = JobInfo_WritePiece(pdev, piece, &more);
      if (n < 0) return -1;
      r = PdlWriter_WriteText(pdev->writer, static_cast<std::size_t>(n), piece);
    }
  }
  INT size = GetEojLineSize(pdev->database);
  if (size < 0) return -1;
  auto* block = static_cast<BYTE*>(HeapAlloc(pdev->heap, HEAP_ZERO_MEMORY, static_cast<SIZE_T>(size) + 1));
  if (!block) return -1;
  out = {block, static_cast<DWORD>(size) + 1, 0};
  INT e = WriteEojLine(pdev->database, &out);
  if (e >= 0) e = PdlWriter_WriteText(pdev->writer, out.used, reinterpret_cast<const char*>(block));
  HeapFree(pdev->heap, 0, block);
  return r != 0 || e < 0 ? -1 : 0;
}

std::string database_file_name(PDEV* pdev) {
  DWORD needed = 0;
  GetPrinterDriverW(pdev->printer, nullptr, 3, nullptr, 0, &needed);
  if (!needed) return {};
  std::vector<BYTE> buffer(needed);
  if (!GetPrinterDriverW(pdev->printer, nullptr, 3, buffer.data(), needed, &needed)) return {};
  const WCHAR* path = reinterpret_cast<DRIVER_INFO_3W*>(buffer.data())->pDataFile;
  if (!path) return {};
  const WCHAR* slash = nullptr;
  for (const WCHAR* p = path; *p; ++p)
    if (*p == u'\\') slash = p;
  return slash ? utf8(slash + 1, 261) : std::string();
}

INT write_driver_id_comments(PDEV* pdev) {
  INT r = WritePdlComment(pdev, u"", 0x4);
  std::string file = database_file_name(pdev);
  OSVERSIONINFOW v;
  if (file.empty() || !os_version(&v)) return r;
  DWORD main_word = 0, linked_word = 0;
  if (pdev->database) {
    DddFile* files[2] = {&pdev->database->main, &pdev->database->linked};
    DWORD* words[2] = {&main_word, &linked_word};
    for (int i = 0; i < 2; ++i)
      if (files[i]->image && files[i]->size >= 28) std::memcpy(words[i], files[i]->image + 24, 4);
  }
  char text[600];
  std::snprintf(text, sizeof text, "[%s:%lx:%lx][%lx:%lx:%lx:%lx:%s][%lx]", file.c_str(),
                static_cast<unsigned long>(main_word), static_cast<unsigned long>(linked_word),
                static_cast<unsigned long>(v.dwMajorVersion), static_cast<unsigned long>(v.dwMinorVersion),
                static_cast<unsigned long>(v.dwBuildNumber), static_cast<unsigned long>(v.dwPlatformId),
                utf8(v.szCSDVersion, 261).c_str(), static_cast<unsigned long>(PdevGetNumber(pdev, 8205)));
  std::u16string wide(text, text + std::strlen(text));
  r = WritePdlComment(pdev, wide.c_str(), 0x2);
  r |= WritePdlComment(pdev, u"[PF02080101][DRV-WIN2000]", 0x2);
  return r;
}

}  // namespace

INT WritePdlVersionHeader(PDEV* pdev) {
  DWORD v = GetTargetPdlVersion(pdev);
  char line[64];
  std::snprintf(line, sizeof line, "%sQZVKM-%d.%d.%d%s%c", "%", static_cast<int>((v >> 16) & 0xFF),
                static_cast<int>((v >> 8) & 0xFF), static_cast<int>(v & 0xFF), "%", '\n');
  if (write_text(pdev, line) != 0) return -1;
  OSVERSIONINFOW os;
  DWORD major = 5, minor = 0;
  if (os_version(&os)) {
    major = os.dwMajorVersion;
    minor = os.dwMinorVersion;
  }
  std::snprintf(line, sizeof line, "%s%s%x.%x,%s%d%d%02d.%d%s%c", "%", "WINNT-", static_cast<unsigned>(major),
                static_cast<unsigned>(minor), "VKMDRV-", 2, 9, 7, 1, "%", '\n');
  return write_text(pdev, line);
}

INT WriteJobStart(PDEV* pdev, UINT copy) {
  DocumentControl* d = pdev->document;
  PdlWriter* w = pdev->writer;
  if (!d || !w) return -1;
  if (write_job_header_start(pdev, copy) != 0) return -1;
  if (WritePdlVersionHeader(pdev) != 0) return -1;
  if (PdlWriter_PutEA(w, 2, 1, 0) != 0) return -1;
  auto first_nine = [](const WCHAR* text) {
    std::size_t n = 0;
    while (text && text[n] && n < 9) ++n;
    return n;
  };
  if (d->job.store_mode) {
    const WCHAR* name = PdevGetString(pdev, 338);
    if (PdlWriter_PutTextEE(w, first_nine(name), name) != 0) return -1;
  }
  if (d->job.annotation && IsPdlVersionAtLeast(pdev, 0x01010902)) {
    const WCHAR* text = PdevGetString(pdev, 340);
    if (PdlWriter_PutTextEH(w, first_nine(text), text) != 0) return -1;
  }
  if (!d->job.store_mode && PdlWriter_SetFA(w, 1, static_cast<WORD>(d->job.quality)) != 0) return -1;
  return write_driver_id_comments(pdev);
}

INT WriteJobEnd(PDEV* pdev) {
  if (!pdev->writer) return -1;
  WriteEventComment(pdev, 4);
  INT r = PdlWriter_PutEB(pdev->writer);
  r |= write_job_header_end(pdev);
  return r;
}

INT WritePdlComment(PDEV* pdev, LPCWSTR text, DWORD flags) {
  if (!pdev || !pdev->writer || !pdev->document) return -1;
  DocumentControl* d = pdev->document;
  if (flags & 0x1) d->comment_clock = GetTickCount();
  if (!text) return 0;
  std::string body = "\"";
  if (flags & 0x4) {
    SYSTEMTIME t{};
    GetLocalTime(&t);
    char part[64];
    std::snprintf(part, sizeof part, "[%04d,%02d/%02d,%02d:%02d:%02d]", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                  t.wSecond);
    body += part;
    std::string names = "[" + utf8(d->document_name, 261) + "]";
    std::string port = port_name(pdev->printer);
    if (!port.empty() && names.size() + port.size() + 2 < 261) names += "[" + port + "]";
    body += names;
  }
  if (flags & 0x2) {
    char part[32];
    std::snprintf(part, sizeof part, "[%ldms]", static_cast<long>(GetTickCount() - d->comment_clock));
    body += part;
  }
  body += utf8(text, 261);
  body += "\"";
  INT r = 0;
  for (std::size_t at = 0; at < body.size(); at += kCommentPiece) {
    std::size_t n = std::min(kCommentPiece, body.size() - at);
    r |= PdlWriter_PutComment(pdev->writer, static_cast<BYTE>(n), body.data() + at);
  }
  return r;
}

INT WriteEventComment(PDEV* pdev, int event) {
  static const WCHAR* const kEvents[] = {nullptr, u"StartPage", u"EndPage of Physical", u"EndPage of Logical",
                                         u"EndJob", nullptr, u"EndJob without EndPage", u"EndJob with left Nup",
                                         u"skip backface of duplex"};
  if (event < 1 || event > 8 || !kEvents[event]) return -1;
  return WritePdlComment(pdev, kEvents[event], 0x2);
}

}  // namespace morva::gfx
