// The job-monitor client and the loader of its client library.
#include "pi/job_monitor.h"

#include <cstring>
#include <ctime>
#include <string>

#include "settings/common/driver_locks.h"
#include "win/clock.h"
#include "win/codepage.h"
#include "win/errors.h"
#include "win/files.h"
#include "win/modules.h"
#include "win/registry.h"

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

}  // namespace

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
