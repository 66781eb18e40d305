// Values of the PJL job header: the special encodings of individual
// settings (paper names, feed edges, page lists, times, user and document
// names, stored texts) and the job-attribute block at the JOBATTR marker
// (the @BKTP slot, the JOBATTR lines of the QJCL string library and the
// fax destination lines).
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ddm/ddmid.h"
#include "fax/fax_blob.h"
#include "fax/fax_job_attr.h"
#include "pi/pjl_header.h"
#include "pi/pjl_outside.h"
#include "pi/pjl_settings.h"
#include "settings/common/common_utils.h"
#include "settings/database/ddd_file.h"
#include "settings/database/ddd_queries.h"
#include "settings/common/driver_locks.h"
#include "settings/items/item_access.h"
#include "settings/common/module_state.h"
#include "settings/common/system_utils.h"
#include "win/win.h"

using namespace morva::ddm;

namespace {

constexpr char kJobAttrPrefix[] = "@PJL SET JOBATTR=\"";
constexpr WCHAR kUnknownUser[] = u"UnknownUser";
// Database string naming the QJCL string library.
constexpr WORD kQjclLibraryString = 3;
// The job-monitor lock guards the clock and the shared time values.
constexpr UINT kTimeLock = 4;

bool full_form(const PjlHeaderContext* c) { return (c->caps & kPjlCapFullForm) != 0; }
void* dm(const PjlHeaderContext* c) { return c->request->settings; }
void* pd(const PjlHeaderContext* c) { return c->request->printer_data; }

INT read_number(const PjlHeaderContext* c, WORD ddmid, LONG* value) { return PjlReadNumber(dm(c), pd(c), ddmid, value); }

// A setting that must read; 0 when it does not.
LONG number_or_zero(const PjlHeaderContext* c, WORD ddmid) {
  LONG v = 0;
  return read_number(c, ddmid, &v) ? 0 : v;
}

INT read_text(const PjlHeaderContext* c, WORD ddmid, std::u16string* text) {
  PjlSetting s;
  const INT r = PjlReadSetting(dm(c), pd(c), ddmid, &s);
  if (r) return r;
  if (s.type != kTypeString) return kPjlUnsupportedType;
  *text = ItemText(s.value, s.size);
  return 0;
}

// Writes prefix + text (wide, to UTF-8) or prefix + ANSI bytes; the bytes
// written, the output left as it was on failure.
INT write_wide(PjlOutput* out, const WCHAR* prefix, const std::u16string& text) {
  const DWORD start = out->used;
  INT r = PjlAppendUtf8(out, prefix);
  if (r >= 0) r = PjlAppendUtf8(out, text.c_str(), text.size());
  if (r < 0) {
    PjlTruncate(out, start);
    return r;
  }
  return static_cast<INT>(out->used - start);
}

INT write_ansi(PjlOutput* out, const WCHAR* prefix, const char* text, size_t length) {
  const DWORD start = out->used;
  INT r = PjlAppendUtf8(out, prefix);
  if (r >= 0) r = PjlAppendAnsi(out, text, length);
  if (r < 0) {
    PjlTruncate(out, start);
    return r;
  }
  return static_cast<INT>(out->used - start);
}

std::u16string ascii_wide(const char* text) { return std::u16string(text, text + std::strlen(text)); }

bool capability(const PjlHeaderContext* c, DWORD id) { return TestCapabilityBit(&c->bits, id) != FALSE; }

// Bit 42 with setting 334 = 3: the layout settings of N-up do not apply.
bool layout_suppressed(const PjlHeaderContext* c) {
  return capability(c, 0xFFFF002A) && number_or_zero(c, 334) == 3;
}

// ---------------------------------------------------------------- code pages

bool to_ansi(const std::u16string& text, std::string* out) {
  out->clear();
  if (text.empty()) return true;
  const int bytes = WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                        nullptr);
  if (bytes <= 0) return false;
  out->resize(static_cast<size_t>(bytes));
  return WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), out->data(), bytes, nullptr,
                             nullptr) == bytes;
}

bool from_ansi(const char* text, size_t length, std::u16string* out) {
  out->clear();
  if (!length) return true;
  const int chars = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0);
  if (chars <= 0) return false;
  out->resize(static_cast<size_t>(chars));
  return MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), out->data(), chars) == chars;
}

bool single_byte_ok(BYTE b) { return (b >= 0x20 && b <= 0x7E) || (b >= 0xA1 && b <= 0xDF); }

// The accepted leading run of a name in its ANSI form: single-byte
// characters of the printable and katakana ranges, double-byte characters
// with lead 0x81-0xFC (as `is_lead` decides) and trail 0x40-0xFC, at most
// `limit` characters. Empty when the first character is refused or the run
// is blanks only.
std::string accepted_run(const std::string& ansi, size_t limit, bool (*is_lead)(BYTE)) {
  size_t i = 0, chars = 0;
  bool blanks_only = true;
  while (i < ansi.size() && chars < limit) {
    const BYTE b = static_cast<BYTE>(ansi[i]);
    if (is_lead(b)) {
      if (i + 1 >= ansi.size()) break;
      const BYTE t = static_cast<BYTE>(ansi[i + 1]);
      if (b < 0x81 || b > 0xFC || t < 0x40 || t > 0xFC) break;
      if (!(b == 0x81 && t == 0x40)) blanks_only = false;
      i += 2;
    } else {
      if (!single_byte_ok(b)) break;
      if (b != 0x20) blanks_only = false;
      ++i;
    }
    ++chars;
  }
  if (i == 0 || blanks_only) return {};
  return ansi.substr(0, i);
}

bool acp_lead(BYTE b) { return IsDBCSLeadByteEx(CP_ACP, b) != FALSE; }
bool cp932_lead(BYTE b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// A user name under the user-name rules, as wide text; "UnknownUser" when
// the name is refused.
std::u16string filter_user_name(const std::u16string& name, size_t limit, bool (*is_lead)(BYTE)) {
  std::string ansi;
  if (!to_ansi(name, &ansi)) return kUnknownUser;
  const std::string run = accepted_run(ansi, limit, is_lead);
  std::u16string wide;
  if (run.empty() || !from_ansi(run.data(), run.size(), &wide)) return kUnknownUser;
  return wide;
}

// Name rules of the document name: every character must be accepted
// (double-byte ones only with capability 0x2); not empty, not blanks only.
// The character count comes back.
bool check_name_characters(const std::string& ansi, bool double_byte, size_t* chars) {
  *chars = 0;
  bool blanks_only = true;
  for (size_t i = 0; i < ansi.size(); ++(*chars)) {
    const BYTE b = static_cast<BYTE>(ansi[i]);
    if (acp_lead(b)) {
      if (!double_byte || i + 1 >= ansi.size()) return false;
      const WORD pair = static_cast<WORD>(b << 8 | static_cast<BYTE>(ansi[i + 1]));
      if (pair < 0x8140 || pair > 0xFCFC) return false;
      if (pair != 0x8140) blanks_only = false;
      i += 2;
    } else {
      if (!single_byte_ok(b)) return false;
      if (b != 0x20) blanks_only = false;
      ++i;
    }
  }
  return *chars && !blanks_only;
}

// The first `chars` characters of an ANSI text.
std::string first_chars(const std::string& ansi, size_t chars) {
  size_t i = 0;
  for (size_t n = 0; i < ansi.size() && n < chars; ++n) i += acp_lead(static_cast<BYTE>(ansi[i])) ? 2 : 1;
  return ansi.substr(0, std::min(i, ansi.size()));
}

// ---------------------------------------------------------------- encodings

struct PaperName {
  WORD code;
  const char* name;
};
constexpr PaperName kPaperNames[] = {
    {8, "A3"},          {9, "A4"},          {11, "A5"},         {70, "A6"},        {12, "B4"},
    {13, "B5"},         {1, "INCH85_11"},   {14, "INCH85_13"},  {5, "INCH85_14"},  {3, "INCH11_17"},
    {6, "INCH55_85"},   {259, "INCH8_10"},  {260, "INCH12_18"}, {261, "SRA3"},     {257, "8KAI"},
    {258, "16KAI"},     {43, "HAGAKI"},
};

INT format_paper_name(PjlHeaderContext* c, const WCHAR* p, WORD ddmid, PjlOutput* out) {
  LONG code = 0;
  INT r = read_number(c, ddmid, &code);
  if (r) return r;
  if (IsUserPaperCode(static_cast<WORD>(code))) {
    WCHAR name[64] = {};
    if (FormatUserPaperName(UserPaperSlotOfCode(static_cast<WORD>(code)), name, 64) <= 0) return kPjlMissing;
    DWORD needed = 0;
    GetFormW(c->request->printer, name, 1, nullptr, 0, &needed);
    if (!needed) return kPjlMissing;
    std::vector<BYTE> form(needed);
    if (!GetFormW(c->request->printer, name, 1, form.data(), needed, &needed)) return kPjlMissing;
    FORM_INFO_1W info;
    std::memcpy(&info, form.data(), sizeof(info));
    const unsigned w = static_cast<unsigned>((info.Size.cx / 100 + 5) / 10);
    const unsigned h = static_cast<unsigned>((info.Size.cy / 100 + 5) / 10);
    LONG layout = 0;
    if ((r = read_number(c, 409, &layout))) return r;
    WORD feed_id = layout == 4 ? 412 : layout == 264 ? 413 : 0;
    if (!feed_id) return kPjlMissing;
    LONG feed = 0;
    if ((r = read_number(c, feed_id, &feed))) return r;
    char text[32];
    std::snprintf(text, sizeof(text), "UNFIXED:%hu:%hu", static_cast<unsigned short>(feed == 2 ? w : h),
                  static_cast<unsigned short>(feed == 2 ? h : w));
    return write_ansi(out, p, text, std::strlen(text));
  }
  for (const PaperName& row : kPaperNames)
    if (row.code == code) return write_ansi(out, p, row.name, std::strlen(row.name));
  return kPjlMissing;
}

INT format_feed_edge(PjlHeaderContext* c, const WCHAR* p, WORD ddmid, PjlOutput* out) {
  WORD feed_id = 438;
  if (ddmid == 412) {
    static constexpr WORD kPairs[3][2] = {{404, 407}, {405, 408}, {406, 409}};
    for (const auto& pair : kPairs) {
      LONG a = 0, b = 0;
      INT r = read_number(c, pair[0], &a);
      if (!r) r = read_number(c, pair[1], &b);
      if (r) return r;
      if (a == 1 && b == 4) {
        feed_id = 412;
        break;
      }
    }
  }
  LONG feed = 0;
  const INT r = read_number(c, feed_id, &feed);
  if (r) return r;
  return write_ansi(out, p, feed == 2 ? "SEF" : "LEF", 3);
}

INT format_page_list(PjlHeaderContext* c, const WCHAR* p, PjlOutput* out) {
  std::vector<WORD> pages;
  for (WORD id = 1834; id <= 1853; ++id) {
    LONG v = 0;
    const INT r = read_number(c, id, &v);
    if (r) return r;
    const WORD w = static_cast<WORD>(v);
    if (w >= 2 && w <= 9998) pages.push_back(w);
  }
  if (pages.empty()) return 0;
  std::sort(pages.begin(), pages.end());
  pages.erase(std::unique(pages.begin(), pages.end()), pages.end());
  std::string text;
  for (WORD w : pages) {
    if (!text.empty()) text += ':';
    text += std::to_string(w);
  }
  return write_ansi(out, p, text.data(), text.size());
}

INT format_logon_user(const WCHAR* p, PjlOutput* out) {
  WCHAR buffer[300] = {};
  DWORD size = 300;
  std::u16string name = kUnknownUser;
  if (GetLogonUserName(buffer, &size) > 0) name = filter_user_name(buffer, 255, acp_lead);
  return write_wide(out, p, name);
}

INT format_document_name(PjlHeaderContext* c, const WCHAR* p, PjlOutput* out) {
  const WCHAR* name = c->request->document_name;
  if (!name) return 0;
  std::string ansi;
  if (!to_ansi(name, &ansi)) return kPjlConversionFailed;
  const bool wide_names = (c->caps & kPjlCapDoubleByteNames) != 0;
  size_t chars = 0;
  if (!check_name_characters(ansi, wide_names, &chars)) return 0;
  const size_t limit = wide_names ? 64 : 12;
  if (chars > limit) {
    if (!wide_names) return 0;
    ansi = first_chars(ansi, 64);
  }
  std::u16string text;
  if (!from_ansi(ansi.data(), ansi.size(), &text)) return kPjlConversionFailed;
  return write_wide(out, p, text);
}

// The next time the clock shows hour:minute (today, or tomorrow when that
// time has passed). FALSE when the date cannot be moved on.
BOOL next_time_of_day(LONG hour, LONG minute, SYSTEMTIME* when) {
  DriverLockGuard lock(kTimeLock);
  SYSTEMTIME now{};
  GetLocalTime(&now);
  *when = now;
  if (hour * 100 + minute < now.wHour * 100 + now.wMinute) {
    FILETIME t{};
    if (!SystemTimeToFileTime(&now, &t)) return FALSE;
    t = morva::platform::to_filetime(morva::platform::from_filetime(t) + 864000000000ull);
    if (!FileTimeToSystemTime(&t, when)) return FALSE;
  }
  when->wHour = static_cast<WORD>(hour);
  when->wMinute = static_cast<WORD>(minute);
  return TRUE;
}

INT write_date_time(const WCHAR* p, const SYSTEMTIME& t, PjlOutput* out) {
  char text[40];
  std::snprintf(text, sizeof(text), "%04d:%02d:%02d:%02d:%02d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute);
  return write_ansi(out, p, text, std::strlen(text));
}

INT format_delayed_start(PjlHeaderContext* c, const WCHAR* p, PjlOutput* out) {
  LONG hour = 0, minute = 0;
  INT r = read_number(c, 451, &hour);
  if (!r) r = read_number(c, 452, &minute);
  if (r) return r;
  SYSTEMTIME when{};
  if (!next_time_of_day(hour, minute, &when)) return 0;
  return write_date_time(p, when, out);
}

INT format_scheduled_time(PjlHeaderContext* c, const WCHAR* p, WORD ddmid, PjlOutput* out) {
  if (GetEffectiveItemValue(dm(c), pd(c), 1800) != 1) return 0;
  LONG hour = 0, minute = 0;
  INT r = read_number(c, 1801, &hour);
  if (!r) r = read_number(c, 1802, &minute);
  if (r) return r;
  if (ddmid == 1800) {
    char text[16];
    std::snprintf(text, sizeof(text), "%02d:%02d", static_cast<int>(hour), static_cast<int>(minute));
    return write_ansi(out, p, text, std::strlen(text));
  }
  SYSTEMTIME when{};
  if (!next_time_of_day(hour, minute, &when)) return kPjlNoPrinterOrClock;
  return write_date_time(p, when, out);
}

}  // namespace

INT FormatPjlEntryValue(PjlHeaderContext* c, const WCHAR* p, WORD ddmid, PjlOutput* out) {
  switch (ddmid) {
    case 12:
      if (GetEffectiveItemValue(dm(c), pd(c), 18) == 1 && GetDeviceDataLevel(dm(c), pd(c), &c->bits) == 2)
        return write_ansi(out, p, "1", 1);
      break;
    case 329: {
      LONG monitor = 0;
      INT r = read_number(c, 1321, &monitor);
      if (r) return r;
      std::u16string text;
      if ((r = read_text(c, 329, &text))) return r;
      std::string ansi;
      if (monitor != 0 || !to_ansi(text, &ansi) || ansi.empty()) return 0;
      r = write_ansi(out, p, ansi.data(), ansi.size());
      // The text is for this header only.
      const WCHAR* empty = u"";
      if (r > 0) SetItemValueRaw(329, dm(c), pd(c), kTypeString, 2, &empty);
      return r;
    }
    case 410:
    case 411: return format_paper_name(c, p, ddmid, out);
    case 412:
    case 438: return format_feed_edge(c, p, ddmid, out);
    case 435: {
      std::u16string text;
      const INT r = read_text(c, 435, &text);
      if (r) return r;
      if (text.empty()) return 0;
      const size_t first = text.find_first_not_of(u'0');
      // A value of zeros only is the number 0.
      return write_wide(out, p, first == std::u16string::npos ? std::u16string(u"0") : text.substr(first));
    }
    case 1321: {
      if (c->request->job_monitor_available != 1) return 0;
      const char* id = c->request->job_monitor_id;
      const void* zero = std::memchr(id, 0, sizeof(c->request->job_monitor_id));
      const size_t length = zero ? static_cast<size_t>(static_cast<const char*>(zero) - id)
                                 : sizeof(c->request->job_monitor_id);
      return write_ansi(out, p, id, length);
    }
    case 1831: {
      LONG kind = 0;
      const INT r = read_number(c, 335, &kind);
      if (r) return r;
      if (kind == 0) {
        const INT g = FormatSettingValue(c, p, 1831, out);
        return (g == kPjlSettingUndefined || g == kPjlSettingUnreadable) ? kPjlMissing : g;
      }
      if (kind == 1) return format_document_name(c, p, out);
      return kPjlOutOfRange;
    }
    case 1834: return format_page_list(c, p, out);
    case 8193: return format_logon_user(p, out);
    case 32784: return format_delayed_start(c, p, out);
    case 36902: return format_document_name(c, p, out);
    case 1800:
    case 4369:
      if (GetDeviceClass(c->database) == 2) {
        const INT r = format_scheduled_time(c, p, ddmid, out);
        if (r != 0) return r;
      }
      break;
    default: break;
  }
  return FormatSettingValue(c, p, ddmid, out);
}

// ---------------------------------------------------------------- @BKTP slot

INT WriteBktpSlot(PjlHeaderContext* c, PjlOutput* out) {
  if (layout_suppressed(c)) return 0;
  const bool full = full_form(c);
  char text[64];
  if (c->request->bktp_value) {
    std::snprintf(text, sizeof(text), "%s@BKTP=%d%s", full ? kJobAttrPrefix : "", c->request->bktp_value,
                  full ? "\"" : "");
  } else {
    const size_t blanks = full ? 38 : 20;
    std::memset(text, ' ', blanks);
    text[blanks] = 0;
  }
  return PjlAppendAnsi(out, text);
}

// ---------------------------------------------------------------- JOBATTR lines

namespace {

FARPROC qjcl_proc(PjlHeaderContext* c, const char* name) {
  if (!c->qjcl) {
    WCHAR directory[MAX_PATH] = {};
    WCHAR* file = nullptr;
    if (!GetModuleDirectory(directory, sizeof(directory))) return nullptr;
    if (DddGetDatabaseString(&c->database->main, kQjclLibraryString, &file) != DDD_OK || !file) return nullptr;
    const std::u16string path = std::u16string(directory) + file;
    const bool named = file[0] != 0;
    GlobalFree(file);
    if (!named) return nullptr;
    c->qjcl = LoadLibraryW(path.c_str());
    if (!c->qjcl) return nullptr;
  }
  return GetProcAddress(c->qjcl, name);
}

// A QJCL answer of at most `size` bytes, cut at its first zero.
struct Answer {
  std::vector<char> buffer;
  DWORD size;
  DWORD status = 0;
  explicit Answer(DWORD capacity) : buffer(capacity + 1, '\0'), size(capacity) {}
  std::string text() const {
    const size_t cap = buffer.size() - 1;
    const void* zero = std::memchr(buffer.data(), 0, cap);
    return std::string(buffer.data(), zero ? static_cast<const char*>(zero) - buffer.data() : cap);
  }
};

// Converts an ANSI answer to wide, wraps it in the full form and appends it
// with the line end.
INT write_attr_line(PjlHeaderContext* c, PjlOutput* out, const std::string& ansi, const WCHAR* line_end) {
  std::u16string text;
  if (!from_ansi(ansi.data(), ansi.size(), &text)) return kPjlConversionFailed;
  if (full_form(c)) text = ascii_wide(kJobAttrPrefix) + text + u"\"";
  const DWORD start = out->used;
  INT r = PjlAppendUtf8(out, text.c_str(), text.size());
  if (r > 0) r = PjlAppendUtf8(out, line_end);
  if (r < 0) {
    PjlTruncate(out, start);
    return r;
  }
  return static_cast<INT>(out->used - start);
}

struct CodeRow {
  WORD from;
  DWORD code;
};
constexpr CodeRow kNupCodes[] = {{1, 0}, {2, 1}, {4, 2}, {8, 4}, {16, 6}, {32, 12}};
constexpr CodeRow kPosterCodes[] = {{0x102, 7}, {0x103, 13}, {0x104, 8}, {0x202, 8}, {0x303, 10}, {0x404, 11}};
constexpr CodeRow kTrayCodes[] = {{7, 0}, {1, 1}, {3, 2}, {265, 3}, {266, 4}, {267, 5}, {2, 6}, {257, 7}};

bool find_code(const CodeRow* rows, size_t count, LONG from, DWORD* code) {
  for (size_t i = 0; i < count; ++i)
    if (rows[i].from == from) {
      *code = rows[i].code;
      return true;
    }
  return false;
}

INT write_nup_line(PjlHeaderContext* c, PjlOutput* out, const WCHAR* line_end) {
  LONG layout = 0;
  INT r = read_number(c, 321, &layout);
  if (r) return r;
  DWORD code = 0;
  LONG poster = 0;
  if (layout == 2 && !layout_suppressed(c)) {
    code = 1;
  } else if (layout == 1 && !read_number(c, 296, &poster) &&
             find_code(kPosterCodes, std::size(kPosterCodes), poster, &code)) {
  } else {
    LONG pages = 0;
    if ((r = read_number(c, 295, &pages))) return r;
    if (!find_code(kNupCodes, std::size(kNupCodes), pages, &code)) return 0;
  }
  auto nup = morva_proc_as<QjclNupFn>(qjcl_proc(c, "DHGetQJCLStringOfNup"));
  Answer a(18);
  if (!nup || !nup(code, a.buffer.data(), &a.size, &a.status)) return kPjlQjclFailed;
  return write_attr_line(c, out, a.text(), line_end);
}

INT write_host_address_line(PjlHeaderContext* c, PjlOutput* out, const WCHAR* line_end) {
  auto host = morva_proc_as<QjclHostAddressFn>(qjcl_proc(c, "DHGetQJCLStringOfHostAddress"));
  Answer a(48);
  if (!host || !host(a.buffer.data(), &a.size, &a.status)) return 0;  // the line is left out
  return write_attr_line(c, out, a.text(), line_end);
}

INT write_host_name_line(PjlHeaderContext* c, PjlOutput* out, const WCHAR* line_end) {
  auto host = morva_proc_as<QjclHostNameFn>(qjcl_proc(c, "DHGetQJCLStringOfHostNameEx"));
  Answer a(111);
  if (!host || !host(32, a.buffer.data(), &a.size, 0, &a.status)) return kPjlQjclFailed;
  return write_attr_line(c, out, a.text(), line_end);
}

}  // namespace

// The output code of the job owner's tray for the QJCL library.
INT GetOutputTrayCode(PjlHeaderContext* c, DWORD* code) {
  LONG a = 0;
  INT r;
  if (c->caps & kPjlCapTrayOrder) {
    if ((r = read_number(c, 13, &a))) return r;
    if (a == 15 && (r = read_number(c, 265, &a))) return r;
  } else {
    if ((r = read_number(c, 265, &a))) return r;
    if (a == 258 && (r = read_number(c, 13, &a))) return r;
  }
  if (a == 4 || a == 260) {
    LONG finisher = 0;
    if ((r = read_number(c, 388, &finisher))) return r;
    *code = finisher == 3 ? 9 : (finisher == 1 || finisher == 2 || finisher == 7 || finisher == 8) ? 10 : 8;
    return 0;
  }
  if (!find_code(kTrayCodes, std::size(kTrayCodes), a, code)) *code = 11;
  return 0;
}

// "@JOAU=" and the process's user name under code page 932 rules, with
// the QJCL library's buffer contract.
BOOL BuildLocalOwnerString(LPSTR buffer, DWORD* size, DWORD* status) {
  WCHAR name[300] = {};
  DWORD chars = 300;
  std::u16string user = kUnknownUser;
  if (GetLogonUserName(name, &chars) > 0) user = filter_user_name(name, 32, cp932_lead);
  std::string ansi;
  if (!to_ansi(user, &ansi)) ansi = "UnknownUser";
  const std::string text = "@JOAU=" + ansi;
  if (!size) return FALSE;
  if (!buffer || *size < text.size() + 1) {
    if (status) *status = kQjclBufferTooSmall;
    *size = static_cast<DWORD>(text.size() + 1);
    return FALSE;
  }
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  *size = static_cast<DWORD>(text.size() + 1);
  if (status) *status = 0;
  return TRUE;
}

namespace {

INT write_job_owner_line(PjlHeaderContext* c, PjlOutput* out, const WCHAR* line_end) {
  LONG enabled = 0;
  INT r = read_number(c, 5203, &enabled);
  if (r) return r;
  if (enabled != 1) return 0;
  LONG v = 0;
  if ((r = read_number(c, 5163, &v))) return r;

  bool have_owner = false;
  std::u16string owner;
  if (c->caps & kPjlCapOwnerOverride) {
    LONG use = 0;
    if ((r = read_number(c, v ? 5165 : 5164, &use))) return r;
    if (use == 1) {
      LONG unknown = 0;
      if ((r = read_number(c, 5183, &unknown))) return r;
      if (unknown == 1) owner = kUnknownUser;
      else if ((r = read_text(c, 5174, &owner))) return r;
      have_owner = true;
      LONG hide = 0, colour = 0;
      if (!read_number(c, 5204, &hide) && !read_number(c, 4367, &colour)) {
        if (hide == 1 || (hide == 0 && colour == 3) || (IsDeviceColorCapable(c->database, dm(c)) && colour == 3))
          owner = kUnknownUser;
      }
    }
  }
  LONG mode = 0;
  if ((r = read_number(c, v ? 5178 : 5127, &mode))) return r;

  DWORD kind = 0, pages = 0, tray = 0;
  if (c->caps & (kPjlCapNup | kPjlCapHostAddress)) {
    kind = (c->caps & kPjlCapHostName) ? 5 : 1;
  } else {
    LONG n = 0, layout = 0;
    if ((r = read_number(c, 295, &n)) || (r = read_number(c, 321, &layout))) return r;
    if (n == 1 && layout == 1) n = 100;
    else if (n == 1 && layout == 2 && !layout_suppressed(c)) n = 2;
    pages = static_cast<DWORD>(n);
    if ((r = GetOutputTrayCode(c, &tray))) return r;
    switch (mode) {
      case 0: case 1: case 5: case 7: kind = 3; break;
      case 3: case 4: case 6: kind = 4; break;
      default: return 0;
    }
  }
  if (mode < 0 || mode == 2 || mode > 7) return 0;

  if (!have_owner) {
    WORD source = 0;
    switch (mode) {
      case 0:
      case 3: {
        Answer a(111);
        if (kind == 5) {
          if (!BuildLocalOwnerString(a.buffer.data(), &a.size, &a.status)) return kPjlQjclFailed;
        } else {
          auto ask = morva_proc_as<QjclOwnerFromUserHostFn>(
              qjcl_proc(c, "DHGetQJCLStringOfJobOwnerStringFromUserHostName"));
          if (!ask || !ask(kind, pages, tray, a.buffer.data(), &a.size, &a.status)) return kPjlQjclFailed;
        }
        return write_attr_line(c, out, a.text(), line_end);
      }
      case 1: case 4: source = 5121; break;
      case 5: case 6: source = 5150; break;
      default: source = v ? 5150 : 5121; break;
    }
    if ((r = read_text(c, source, &owner))) return r;
  }

  // The library sees a placeholder only, so that any owner text reaches the
  // header whatever characters the library would refuse.
  static constexpr char kPlaceholder[] = "DummyString";
  auto ask = morva_proc_as<QjclOwnerFromInputFn>(qjcl_proc(c, "DHGetQJCLStringOfJobOwnerFromInputA"));
  Answer a(111);
  if (!ask || !ask(kind, kPlaceholder, pages, tray, a.buffer.data(), &a.size, &a.status)) return kPjlQjclFailed;
  std::string owner_ansi;
  if (!to_ansi(owner, &owner_ansi)) return kPjlConversionFailed;
  std::string text = a.text();
  const size_t placeholder = std::strlen(kPlaceholder);
  for (size_t at = text.find(kPlaceholder); at != std::string::npos;
       at = text.find(kPlaceholder, at + owner_ansi.size())) {
    text.replace(at, placeholder, owner_ansi);
  }
  return write_attr_line(c, out, text, line_end);
}

}  // namespace

INT WriteJobAttrLines(PjlHeaderContext* c, PjlOutput* out, const WCHAR* line_end) {
  const DWORD start = out->used;
  INT r = 0;
  if (c->caps & kPjlCapNup) r = write_nup_line(c, out, line_end);
  if (r >= 0 && (c->caps & kPjlCapHostAddress)) r = write_host_address_line(c, out, line_end);
  if (r >= 0) r = write_job_owner_line(c, out, line_end);
  if (r >= 0 && (c->caps & kPjlCapHostName)) r = write_host_name_line(c, out, line_end);
  if (r < 0) {
    PjlTruncate(out, start);
    return r;
  }
  return static_cast<INT>(out->used - start);
}

// ---------------------------------------------------------------- the block

INT WritePjlJobAttrBlock(PjlHeaderContext* c, PjlOutput* out, const WCHAR* line_end) {
  LONG layout = 0, slot_on = 0, gate = 0;
  bool due = !read_number(c, 321, &layout) && layout == 2 && (c->caps & kPjlCapBktp) &&
             !read_number(c, 446, &slot_on) && slot_on == 1;
  if (due) {
    if (capability(c, 0xFFFF002D)) due = !read_number(c, 465, &gate) && gate == 2;
    else due = !read_number(c, 1328, &gate) && gate == 1;
  }
  if (due) {
    const DWORD before = out->used;
    INT r = WriteBktpSlot(c, out);
    if (r < 0) return r;
    if (r > 0) {
      c->request->bktp_offset = c->request->bktp_value ? 0 : before;
      if ((r = PjlAppendUtf8(out, line_end)) < 0) return r;
    }
  }
  if (c->request->jobattr_switch) {
    const INT r = WriteJobAttrLines(c, out, line_end);
    if (r < 0) return r;
  }
  if (GetDeviceClass(c->database) == 2) {
    const INT r = WriteFaxAttributes(c, out);
    if (r < 0) return r;
  }
  return 0;
}

// ---------------------------------------------------------------- fax lines

INT GetFaxAttributesSize(DddHandle* database) {
  if (!database) return kPjlNoSizeRecords;
  const DWORD a = DddGetFieldValue(&database->main, 24, 2, 0) & 0xFFFF;
  const DWORD b = DddGetFieldValue(&database->main, 25, 2, 0) & 0xFFFF;
  if (!a || !b) return kPjlNoSizeRecords;
  const bool full = (DddGetFieldValue(&database->main, 26, 4, 0) & kPjlCapFullForm) != 0;
  return static_cast<INT>(a * b + (full ? 91 : 21));
}

bool FaxHeaderRange(bool per_destination, bool cover_only, WORD index, LONG count, const BYTE* list,
                    DWORD list_size, PjlFaxRange* out) {
  if (!out || !list) return false;
  if (cover_only) {
    morva::fax::FaxBookView book;
    if (!morva::fax::FaxBook_Parse(list, list_size, &book)) return false;
    count = book.count;
  }
  if (count <= 0 || (per_destination && index >= count)) return false;
  *out = {static_cast<WORD>(per_destination ? index : 0),
          static_cast<WORD>(per_destination ? index : count - 1), list, list_size};
  return true;
}

INT WriteFaxAttributes(PjlHeaderContext* c, PjlOutput* out) {
  const PjlFaxRange* range = c->request->fax_range;
  if (!range) return 0;
  const LONG count_setting = GetEffectiveItemValue(dm(c), pd(c), 380);
  LONG count = count_setting < 0 ? 0 : count_setting;
  // A cover-only job (a test fax) keeps the sheet's destination count for
  // its cover text, but its list holds only the destinations it goes to:
  // the lines follow the list.
  if (GetEffectiveItemValue(dm(c), pd(c), 381) == 1 && range->list) {
    morva::fax::FaxBookView book;
    if (morva::fax::FaxBook_Parse(range->list, range->list_size, &book)) count = book.count;
  }
  DWORD last = range->last;
  if (range->last < range->first || range->last >= count) return kPjlMissing;

  // The line settings, read in the order the line builder takes them.
  morva::fax::FaxLineSettings line{};
  std::u16string outside, extension;
  auto word = [&](WORD ddmid, WORD* field) {
    LONG v = 0;
    const INT r = read_number(c, ddmid, &v);
    *field = static_cast<WORD>(v);
    return r;
  };
  INT r = word(4111, &line.Word4111);
  if (!r) r = read_text(c, 5141, &outside);
  if (!r) r = word(5142, &line.OutsideLineDial);
  if (!r) r = read_text(c, 5143, &extension);
  if (!r) r = word(5144, &line.ExtensionDial);
  if (!r) r = word(5145, &line.DirectDial);
  if (!r) r = word(4142, &line.Word4142);
  if (r) return r;
  std::memcpy(line.OutsideLinePrefix, outside.c_str(), std::min<size_t>(outside.size(), 5) * sizeof(WCHAR));
  std::memcpy(line.ExtensionPrefix, extension.c_str(), std::min<size_t>(extension.size(), 5) * sizeof(WCHAR));

  morva::fax::FaxBookView book;
  BYTE header[morva::fax::kFaxBookHeaderSize];
  if (!range->list || !morva::fax::FaxBook_Parse(range->list, range->list_size, &book) ||
      !morva::fax::CopyFaxSendListHeader(book, header))
    return kPjlMissing;

  std::u16string address_file;
  read_text(c, 375, &address_file);
  if (address_file == u"C:\\qzfaxaddress.tmp") {
    // The fixed address file holds at most 100 destinations.
    if (count > 100) {
      count = 100;
      last = std::min<DWORD>(last, 99);
    }
  } else if (book.count != count) {
    return 0;
  }

  LONG card = 0;
  read_number(c, 4369, &card);
  const bool fax_keys = (c->caps & kPjlCapFaxEntryKeys) != 0;
  const DWORD start = out->used;
  for (DWORD i = range->first; i <= last; ++i) {
    BYTE stored[morva::fax::kFaxEntrySize] = {};
    if (!morva::fax::GetFaxSendListEntry(book, i, stored)) {
      PjlTruncate(out, start);
      return kPjlMissing;
    }
    morva::fax::FaxDestination entry;
    morva::fax::FaxDestination_Decode(stored, &entry);
    const bool sender_keys = line.Word4142 != 0 && entry.Kind == 2;
    const DWORD kind = fax_keys ? (sender_keys ? 5 : 2) : (sender_keys ? 4 : 1);
    char text[513] = {};
    LONG size = 0;
    if (!morva::fax::BuildFaxJobAttr(kind, &entry, &line, 512, full_form(c), nullptr, text, &size,
                                     static_cast<BYTE>(card))) {
      PjlTruncate(out, start);
      return kPjlMissing;
    }
    const INT a = PjlAppendAnsi(out, text, std::strlen(text));
    if (a < 0) {
      PjlTruncate(out, start);
      return a;
    }
  }
  return static_cast<INT>(out->used - start);
}
