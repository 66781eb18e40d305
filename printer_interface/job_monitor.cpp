// The job-monitor client and the loader of its client library.
#include "pi/job_monitor.h"

#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "pi/pjl_header.h"
#include "settings/common/driver_locks.h"
#include "settings/common/module_state.h"
#include "settings/common/system_utils.h"
#include "settings/items/item_access.h"
#include "win/clock.h"
#include "win/codepage.h"
#include "win/errors.h"
#include "win/files.h"
#include "win/modules.h"
#include "win/registry.h"
#include "win/resources.h"
#include "win/spooler.h"

namespace morva::pi {

namespace {

constexpr DWORD kDllTag = 44;
constexpr DWORD kInfoBytes = 600 + sizeof(void*);

using LogFn = void (*)(const char*);
using SetLogFn = void (*)(LogFn);
using InitFn = void* (*)(DWORD);
using UninitFn = INT (*)(void*);
using ClientIdFn = const char* (*)(void*);
using JobIdFn = INT (*)(void*, char*, DWORD);
using SetFn = INT (*)(void*, const void*);
using SendFn = INT (*)(void*);

// The texts are not kept: the driver has no log of its own for them.
void ignore_log(const char*) {}

struct WQLibDll {
  DWORD tag = 0;
  DWORD kind = 0;
  HMODULE module = nullptr;
  SetLogFn set_log = nullptr;
  InitFn init = nullptr;
  UninitFn uninit = nullptr;
  ClientIdFn client_id = nullptr;
  JobIdFn job_id = nullptr;
  SetFn set = nullptr;
  SendFn send = nullptr;
  void* context = nullptr;
};

struct MonitorKey {
  const char16_t* key;
  const char16_t* value;
};
constexpr MonitorKey kKeys[] = {
    {u"SOFTWARE\\Orvanto\\OutputNexus", u"InstalledPath"},
    {u"SOFTWARE\\Orvanto\\JobTracer\\JbTrc", u"InstallDir"},
};

// The product's install folder: the first registry value that names an
// existing path; a file is reduced to its folder.
bool install_dir(DWORD kind, std::u16string* out) {
  if (kind > 1) return false;
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    for (REGSAM sam : {static_cast<REGSAM>(KEY_READ), static_cast<REGSAM>(KEY_READ | KEY_WOW64_64KEY)}) {
      HKEY key = nullptr;
      if (RegOpenKeyExW(root, kKeys[kind].key, 0, sam, &key) != ERROR_SUCCESS) continue;
      WCHAR buffer[261] = {};
      DWORD type = 0, size = sizeof buffer;
      LSTATUS s = RegQueryValueExW(key, kKeys[kind].value, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
      RegCloseKey(key);
      // A value of another type, empty, or filling the buffer is refused.
      if (s != ERROR_SUCCESS || type != REG_SZ || size < 2 * sizeof(WCHAR) || size >= sizeof buffer) continue;
      std::u16string path(buffer);
      const DWORD attributes = GetFileAttributesW(path.c_str());
      if (attributes == INVALID_FILE_ATTRIBUTES) continue;
      if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) path = path.substr(0, path.find_last_of(u"\\/") + 1);
      *out = path;
      return true;
    }
  }
  return false;
}

WQLibDll* load(DWORD kind) {
  std::u16string dir;
  if (!install_dir(kind, &dir)) return nullptr;
  if (dir.empty() || (dir.back() != u'\\' && dir.back() != u'/')) dir += u'\\';
  auto* dll = new WQLibDll;
  dll->kind = kind;
  dll->module = LoadLibraryW((dir + u"WQLib32.dll").c_str());
  if (dll->module) {
    auto find = [&](const char* name) { return GetProcAddress(dll->module, name); };
    dll->set_log = morva_proc_as<SetLogFn>(find("WQLib_SetLogMethodA"));
    dll->init = morva_proc_as<InitFn>(find("WQLib_Init"));
    dll->uninit = morva_proc_as<UninitFn>(find("WQLib_Uninit"));
    dll->client_id = morva_proc_as<ClientIdFn>(find("WQLib_GetClientIdA"));
    dll->job_id = morva_proc_as<JobIdFn>(find("WQLib_GetJobIdA"));
    dll->set = morva_proc_as<SetFn>(find("WQLib_SetA"));
    dll->send = morva_proc_as<SendFn>(find("WQLib_Send"));
  }
  if (!dll->module || !dll->set_log || !dll->init || !dll->uninit || !dll->client_id || !dll->job_id || !dll->set ||
      !dll->send) {
    if (dll->module) FreeLibrary(dll->module);
    delete dll;
    return nullptr;
  }
  dll->set_log(ignore_log);
  dll->tag = kDllTag;
  return dll;
}

WQLibDll* valid(void* handle) {
  auto* dll = static_cast<WQLibDll*>(handle);
  return dll && dll->tag == kDllTag && dll->module ? dll : nullptr;
}

void destroy(WQLibDll* dll) {
  if (!dll) return;
  if (dll->module) FreeLibrary(dll->module);
  dll->tag = 0;
  delete dll;
}

void put_text(BYTE* at, const char* text, std::size_t size) {
  if (text) std::strncpy(reinterpret_cast<char*>(at), text, size - 1);
}
void put_dword(BYTE* at, DWORD value) { std::memcpy(at, &value, 4); }

bool below(const char* text, std::size_t limit) { return !text || std::strlen(text) < limit; }

std::string ansi(const std::u16string& text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::u16string wide(const WCHAR* text) { return text ? std::u16string(text) : std::u16string(); }

// A numeric setting of any width (0 when it cannot be read).
LONG number(const JobMonitorRequest& r, WORD ddmid) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue value{};
  if (!r.devmode || GetItemValue(ddmid, r.devmode, r.printer_data, &type, &size, &value) != 0 || type == 6 ||
      type == 9)
    return 0;
  if (size == 1) return static_cast<BYTE>(value.dw);
  if (size == 2) return static_cast<SHORT>(value.dw);
  return static_cast<LONG>(value.dw);
}

std::u16string setting_text(const JobMonitorRequest& r, WORD ddmid) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue value{};
  if (GetItemValue(ddmid, r.devmode, r.printer_data, &type, &size, &value) != 0 || type != 6) return {};
  return ItemText(value, size);
}

// The name and number of the fax destination `index` of a "DFAX002" list.
bool fax_texts(const JobMonitorRequest& r, std::string* name, std::string* number) {
  constexpr std::size_t kHead = 1442, kEntry = 820;
  if (!r.fax_list || r.fax_list_size < kHead) return false;
  const WORD count = static_cast<WORD>(r.fax_list[16] | (r.fax_list[17] << 8));
  if (r.destination_index >= count || kHead + (std::size_t{r.destination_index} + 1) * kEntry > r.fax_list_size)
    return false;
  const BYTE* e = r.fax_list + kHead + std::size_t{r.destination_index} * kEntry;
  auto text_at = [&](std::size_t at, std::size_t chars) {
    std::u16string t;
    for (std::size_t i = 0; i < chars; ++i) {
      const char16_t c = static_cast<char16_t>(e[at + 2 * i] | (e[at + 2 * i + 1] << 8));
      if (!c) break;
      t += c;
    }
    return t;
  };
  const WORD kind = static_cast<WORD>(e[0] | (e[1] << 8));
  FormatMonitorFaxTexts(text_at(262, 41), text_at(2, 129), kind, r.destination_count, name, number);
  return true;
}

std::u16string resource_text(UINT id) {
  WCHAR buffer[64] = {};
  const int n = LoadStringW(GetResourceModule(), id, buffer, 64);
  return n > 0 ? std::u16string(buffer, static_cast<std::size_t>(n)) : std::u16string();
}

// A text with its "%d" replaced by `value`.
std::u16string with_count(std::u16string text, unsigned value) {
  const std::size_t at = text.find(u"%d");
  if (at == std::u16string::npos) return text;
  const std::string digits = std::to_string(value);
  return text.replace(at, 2, std::u16string(digits.begin(), digits.end()));
}

}  // namespace

void FormatMonitorFaxTexts(const std::u16string& name, const std::u16string& number, WORD kind, WORD count,
                           std::string* name_out, std::string* number_out) {
  const UINT cp = GetACP();
  // The name, and how many more destinations the job has: at its end, or
  // over the tail of a long name.
  std::string n = CutAnsiText(ansi(name), 31, cp);
  if (count > 1) {
    if (n.size() < 25)
      n += ansi(with_count(resource_text(5140), count - 1u));
    else
      n = CutAnsiText(n, 20, cp) + ansi(with_count(resource_text(5139), count - 1u));
    n = CutAnsiText(n, 32, cp);
  }
  // The number (a speed dial marked as such), and a mark that more follow.
  std::string m = CutAnsiText(ansi((kind == 1 ? resource_text(5143) : std::u16string()) + number), 32, cp);
  if (count > 1) {
    if (m.size() >= 29)
      m = CutAnsiText(m, 25, cp) + ansi(resource_text(5141));
    else
      m += ansi(resource_text(5142));
    m = CutAnsiText(m, 32, cp);
  }
  if (name_out) *name_out = n;
  if (number_out) *number_out = m;
}

void* RegisterJobWithMonitor(const JobMonitorRequest& r, char* id) {
  if (!id) return nullptr;
  std::u16string printer_name = wide(r.printer_name), port = wide(r.port);
  if ((printer_name.empty() || port.empty()) && r.printer) {
    DWORD needed = 0;
    GetPrinterW(r.printer, 5, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed);
    if (needed && GetPrinterW(r.printer, 5, buffer.data(), needed, &needed)) {
      const auto* info = reinterpret_cast<PRINTER_INFO_5W*>(buffer.data());
      if (printer_name.empty()) printer_name = wide(info->pPrinterName);
      if (port.empty()) port = wide(info->pPortName);
    }
  }
  // The owner the job is registered for.
  std::u16string user;
  switch (number(r, 5127)) {
    case 1: case 4: user = setting_text(r, 5121); break;
    case 5: case 6: user = setting_text(r, 5150); break;
    default:
      if (r.user) {
        user = r.user;
      } else {
        WCHAR logon[65] = {};
        DWORD chars = 65;
        if (GetLogonUserName(logon, &chars) >= 0) user = logon;
      }
  }
  JobMonitorEntry e;
  const std::string printer_a = CutAnsiText(ansi(printer_name), 256, GetACP());
  const std::string port_a = CutAnsiText(ansi(port), 259, GetACP());
  const std::string user_a = CutAnsiText(ansi(user), 64, GetACP());
  const std::string document_a = ansi(wide(r.document));
  std::string job_text, fax_name, fax_number;
  e.printer = printer_a.c_str();
  e.port = port_a.c_str();
  e.user = user_a.c_str();
  e.document = document_a.c_str();
  if (r.fax && number(r, 381) != 1) {
    e.fax_form = 1;
    e.kind = number(r, 1800) == 1 ? 5 : 1;
    if (!fax_texts(r, &fax_name, &fax_number)) return nullptr;
    e.fax_name = fax_name.c_str();
    e.fax_number = fax_number.c_str();
  } else if (number(r, 336) == 1) {
    e.kind = 7;
    job_text = CutAnsiText(ansi(setting_text(r, 338)), 80, GetACP());
  } else {
    switch (number(r, 334)) {
      case 1: e.kind = 2; break;
      case 2: e.kind = 3; break;
      case 3: e.kind = 8; break;
      case 4: e.kind = 4; break;
      default: e.kind = 0;
    }
    if (e.kind == 4)
      e.delay_time = static_cast<WORD>((number(r, 451) & 0xFF) | ((number(r, 452) & 0xFF) << 8));
    e.staple = number(r, 320) != 0 ? 1 : 0;
    // The job's own text is its document name, as far as the record takes it.
    job_text = CutAnsiText(document_a, 80, GetACP());
  }
  if (!e.fax_form) e.job_text = job_text.c_str();
  void* client = nullptr;
  return BuildJobMonitorRecord(&client, id, e) == kMonitorOk ? client : nullptr;
}

INT RegisterCopiesWithJobMonitor(const CopyRegistration& c, std::vector<BYTE>* ids, std::vector<BYTE>* records) {
  if (ids) ids->clear();
  if (records) records->clear();
  JobMonitorRequest r = c.request;
  if (number(r, 1321) == 0 || !c.database_open || number(r, 1333) == 0 || !OpenJobMonitorClient(1)) return 1;
  // One registration per fax destination sent alone, one for a fax to all
  // destinations at once, one per marked output, else one.
  const WORD destinations = static_cast<WORD>(number(r, 380));
  const bool per_destination =
      r.fax && FaxJobPerDestination(number(r, 376), number(r, 379), destinations, number(r, 381));
  const bool marked = !r.fax && number(r, 1339) != 0 && c.marking_active && c.marking_outputs > 0;
  const std::size_t count = per_destination ? destinations : marked ? static_cast<std::size_t>(c.marking_outputs) : 1;
  if (count == 0) return 1;
  std::vector<BYTE> list(count * kCopyIdBytes + 2, 0);
  list[0] = static_cast<BYTE>(count & 0xFF);
  list[1] = static_cast<BYTE>(count >> 8);
  std::vector<BYTE> copies(marked ? count * kCopyRecordBytes : 0, 0);
  for (std::size_t i = 0; i < count; ++i) {
    r.destination_index = per_destination ? static_cast<WORD>(i) : 0;
    r.destination_count = per_destination ? 1 : destinations;
    char id[kJobMonitorIdBytes] = {};
    void* client = RegisterJobWithMonitor(r, id);
    // Each registration goes to the monitor at once.
    if (!client || SendJobMonitorRecord(client) != kMonitorOk) return -1;
    std::memcpy(list.data() + 2 + i * kCopyIdBytes, id, sizeof id);
    if (marked) {
      put_dword(copies.data() + i * kCopyRecordBytes, static_cast<DWORD>(i + 1));
      std::memcpy(copies.data() + i * kCopyRecordBytes + 4, id, sizeof id);
    }
  }
  if (ids) *ids = std::move(list);
  if (records) *records = std::move(copies);
  return 1;
}

INT ReleaseJobMonitorClient(void* client) {
  if (!client) return kMonitorMissingText;
  return WQLibLoader_Uninit(client) ? kMonitorOk : kMonitorClientFailed;
}

void* WQLibLoader_Init(DWORD kind) {
  WQLibDll* dll = load(kind);
  if (!dll) return nullptr;
  dll->context = dll->init(kind);
  if (!dll->context) {
    destroy(dll);
    return nullptr;
  }
  return dll;
}

INT WQLibLoader_Uninit(void* handle) {
  WQLibDll* dll = valid(handle);
  if (!dll) return 0;
  const INT ok = dll->uninit(dll->context) != 0 ? 1 : 0;
  dll->context = nullptr;
  destroy(dll);
  return ok;
}

const char* WQLibLoader_GetClientId(void* handle) {
  WQLibDll* dll = valid(handle);
  return dll ? dll->client_id(dll->context) : nullptr;
}

INT WQLibLoader_GetJobId(void* handle, char* buffer, DWORD size) {
  WQLibDll* dll = valid(handle);
  return dll && buffer && dll->job_id(dll->context, buffer, size) != 0 ? 1 : 0;
}

INT WQLibLoader_Set(void* handle, const void* info) {
  WQLibDll* dll = valid(handle);
  return dll && info && dll->set(dll->context, info) != 0 ? 1 : 0;
}

INT WQLibLoader_Send(void* handle) {
  WQLibDll* dll = valid(handle);
  return dll && dll->send(dll->context) != 0 ? 1 : 0;
}

INT OpenJobMonitorClient(DWORD kind) {
  void* client = WQLibLoader_Init(kind);
  if (!client) return 0;
  WQLibLoader_Uninit(client);
  return 1;
}

std::string CutAnsiText(const std::string& text, std::size_t limit, UINT code_page) {
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t step = IsDBCSLeadByteEx(code_page, static_cast<BYTE>(text[at])) ? 2 : 1;
    if (at + step > limit) break;
    at += step;
  }
  return text.substr(0, std::min(at, text.size()));
}

DWORD DelayedStartSeconds(int hour, int minute, int now_hour, int now_minute, int now_second) {
  const LONG target = hour * 3600 + minute * 60;
  const LONG now = now_hour * 3600 + now_minute * 60 + now_second;
  if (hour * 100 + minute < now_hour * 100 + now_minute) return static_cast<DWORD>(target - now + 86400);
  return static_cast<DWORD>(target > now ? target - now : 0);
}

INT BuildJobMonitorRecord(void** client, char* id, const JobMonitorEntry& e) {
  if (!client || !id) return kMonitorMissingText;
  *client = nullptr;
  if (e.fax_form > 1) return kMonitorBadFaxForm;
  if (!e.port || !e.document || !e.printer || !e.user) return kMonitorMissingText;
  if (e.fax_form ? (!e.fax_name || !e.fax_number) : !e.job_text) return kMonitorMissingText;
  // A long document name is cut rather than losing the registration.
  const std::string document = CutAnsiText(e.document, 259, GetACP());
  if (!below(e.port, 260) || !below(e.printer, 257) || !below(e.user, 65)) return kMonitorTooLong;
  if (e.fax_form ? !below(e.fax_name, 33) || !below(e.fax_number, 33) : !below(e.job_text, 81)) return kMonitorTooLong;
  if (e.monitor_kind > 1) return kMonitorClientFailed;
  void* c = WQLibLoader_Init(e.monitor_kind);
  if (!c) return kMonitorClientFailed;
  const char* client_id = WQLibLoader_GetClientId(c);
  char job_id[65] = {};
  if (!client_id || std::strlen(client_id) >= 65 || !WQLibLoader_GetJobId(c, job_id, sizeof job_id) ||
      std::strlen(job_id) >= 65) {
    WQLibLoader_Uninit(c);
    return kMonitorClientFailed;
  }
  const std::string joined = std::string(client_id) + "." + job_id;
  if (joined.size() >= kJobMonitorIdBytes) {
    WQLibLoader_Uninit(c);
    return kMonitorTooLong;
  }
  std::memcpy(id, joined.c_str(), joined.size() + 1);

  static BYTE record[kJobMonitorRecordBytes];  // shared module data, under the lock
  BYTE info[kInfoBytes] = {};
  {
    DriverLockGuard lock(kLockJobMonitor);
    std::memset(record, 0, sizeof record);
    put_dword(record, kJobMonitorRecordBytes);
    put_text(record + 4, joined.c_str(), 65);
    put_text(record + 69, document.c_str(), 261);
    if (e.fax_form) {
      put_text(record + 411, e.fax_name, 33);
      put_text(record + 444, e.fax_number, 33);
    } else {
      put_text(record + 330, e.job_text, 81);
    }
    put_dword(record + 480, e.kind);
    const std::time_t now = std::time(nullptr);
    put_dword(record + 484, static_cast<DWORD>(now));
    if (e.kind == 4) {
      SYSTEMTIME local{};
      GetLocalTime(&local);
      put_dword(record + 488, DelayedStartSeconds(e.delay_time & 0xFF, e.delay_time >> 8, local.wHour, local.wMinute,
                                                  local.wSecond));
    }
    put_dword(record + 492, e.staple);
    put_text(record + 496, e.port, 260);
    put_dword(info, kInfoBytes);
    put_text(info + 4, e.printer, 257);
    put_text(info + 261, e.port, 257);
    put_text(info + 522, e.user, 65);
    put_dword(info + 588, 2);
    put_dword(info + 592, 1);
    put_dword(info + 596, 1);
    const BYTE* pointer = record;
    std::memcpy(info + 600, &pointer, sizeof pointer);
    if (!WQLibLoader_Set(c, info)) {
      WQLibLoader_Uninit(c);
      return kMonitorClientFailed;
    }
  }
  *client = c;
  return kMonitorOk;
}

INT SendJobMonitorRecord(void* client) {
  if (!client) return kMonitorMissingText;
  const INT sent = WQLibLoader_Send(client);
  const INT released = WQLibLoader_Uninit(client);
  return sent && released ? kMonitorOk : kMonitorClientFailed;
}

}  // namespace morva::pi
