#include "settings/common/trace_log.h"

#include <cstdarg>
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "settings/common/common_utils.h"
#include "settings/items/item_access.h"
#include "settings/common/module_state.h"
#include "win/win.h"

namespace {

constexpr int kMaxNameChars = 508;
constexpr size_t kMaxTraceDdmids = 128;
constexpr int kMaxDdmidKeys = 256;
constexpr char16_t kDdmidKey[] = u"LOGOUT.DDMID=";
constexpr size_t kDdmidKeyLength = sizeof(kDdmidKey) / sizeof(kDdmidKey[0]) - 1;

// Trace globals. One lock guards them and every write, so concurrent
// exports never race on the file handle or its user count and each line
// reaches the file whole.
struct TraceState {
  std::recursive_mutex lock;
  bool settings_read = false;
  DWORD flags = 0;
  std::vector<WORD> ddmids;
  std::u16string file_name = u"DDI_FAXUI_TRACE_LOG.txt";
  std::u16string path;  // cached Windows path of the log file
  HANDLE file = INVALID_HANDLE_VALUE;
  int extra_users = 0;
};

TraceState& state() {
  static TraceState s;
  return s;
}

std::u16string vformat(LPCWSTR format, va_list args) {
  return format ? morva::vformat_w(format, args) : std::u16string();
}

std::u16string format(LPCWSTR fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::u16string s = vformat(fmt, args);
  va_end(args);
  return s;
}

bool config_path(std::u16string* out) {
  WCHAR dir[MAX_PATH + 1] = {};
  if (!GetModuleDirectory(dir, sizeof(dir))) return false;
  *out = std::u16string(dir) + u"morva.cfg";
  return true;
}

void read_ddmid_list(TraceState& s, const std::u16string& cfg) {
  s.ddmids.clear();
  std::vector<WCHAR> section(32767);
  DWORD n = GetPrivateProfileSectionW(u"LOG", section.data(), static_cast<DWORD>(section.size()), cfg.c_str());
  int keys = 0;
  for (DWORD i = 0; i < n && section[i];) {
    std::u16string_view line(&section[i]);
    i += static_cast<DWORD>(line.size()) + 1;
    if (line.substr(0, kDdmidKeyLength) != kDdmidKey) continue;
    if (++keys > kMaxDdmidKeys) break;
    std::u16string value(line.substr(kDdmidKeyLength));
    DWORD id = 0;
    // A setting id is 16 bits: larger numbers name no setting.
    if (!ParseNumberString(value.c_str(), &id) || id > 0xFFFF) continue;
    bool seen = false;
    for (WORD known : s.ddmids) seen = seen || known == id;
    if (!seen) s.ddmids.push_back(static_cast<WORD>(id));
    if (s.ddmids.size() >= kMaxTraceDdmids) break;
  }
}

void reload_locked(TraceState& s) {
  s.flags = 0;
  s.ddmids.clear();
  std::u16string cfg;
  if (config_path(&cfg)) {
    WCHAR text[261] = {};
    DWORD n = GetPrivateProfileStringW(u"LOG", u"Log", u"0", text, 261, cfg.c_str());
    DWORD value = 0;
    if (n > 0 && n <= 10 && ParseNumberString(text, &value)) {
      s.flags = value;
      read_ddmid_list(s, cfg);
    }
  }
  s.settings_read = true;
}

DWORD flags_locked(TraceState& s) {
  if (!s.settings_read) reload_locked(s);
  return s.flags;
}

bool prepare_directory(std::u16string* out) {
  WCHAR windir[MAX_PATH + 1] = {};
  UINT n = GetWindowsDirectoryW(windir, MAX_PATH);
  if (n == 0 || n > MAX_PATH) return false;
  std::u16string dir(windir, n);
  size_t slash = dir.find(u'\\');
  if (slash != std::u16string::npos) dir.resize(slash);
  for (const char16_t* part : {u"\\DEBUG_LOG", u"\\WIN2000"}) {
    dir += part;
    if (GetFileAttributesW(dir.c_str()) == INVALID_FILE_ATTRIBUTES && !CreateDirectoryW(dir.c_str(), nullptr) &&
        GetLastError() != ERROR_ALREADY_EXISTS)
      return false;
  }
  *out = dir;
  return true;
}

bool path_locked(TraceState& s) {
  if (!s.path.empty()) return true;
  std::u16string dir;
  if (!prepare_directory(&dir)) return false;
  s.path = dir + u"\\" + s.file_name;
  return true;
}

HANDLE open_file(const std::u16string& path) {
  return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool acquire_locked(TraceState& s) {
  DWORD flags = flags_locked(s);
  if (!(flags & kTraceOn) || (flags & kTraceToDebugger)) return false;
  if (!path_locked(s)) return false;
  if (s.file != INVALID_HANDLE_VALUE) {
    ++s.extra_users;
    return true;
  }
  HANDLE h = open_file(s.path);
  if (h == INVALID_HANDLE_VALUE) {
    // The debug directory may have gone since the path was cached.
    std::u16string dir;
    if (!prepare_directory(&dir)) return false;
    h = open_file(s.path);
    if (h == INVALID_HANDLE_VALUE) return false;
  }
  if (SetFilePointer(h, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) {
    CloseHandle(h);
    return false;
  }
  s.file = h;
  return true;
}

void release_locked(TraceState& s) {
  if (s.extra_users > 0) {
    --s.extra_users;
  } else if (s.file != INVALID_HANDLE_VALUE) {
    CloseHandle(s.file);
    s.file = INVALID_HANDLE_VALUE;
  }
}

INT write_line_locked(TraceState& s, std::u16string_view line) {
  if (line.size() >= static_cast<size_t>(kTraceMaxLine)) return 0;
  DWORD flags = flags_locked(s);
  if (!(flags & kTraceOn)) return 0;
  if (flags & kTraceToDebugger) {
    std::u16string text(line);
    text += u'\n';
    OutputDebugStringW(text.c_str());
    return 1;
  }
  // The ANSI form is sized for the whole line: a double-byte code page may
  // need up to two bytes a character, more than a fixed 520-byte buffer.
  std::string bytes;
  if (!line.empty()) {
    int n = WideCharToMultiByte(CP_ACP, 0, line.data(), static_cast<int>(line.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return 0;
    bytes.resize(static_cast<size_t>(n));
    WideCharToMultiByte(CP_ACP, 0, line.data(), static_cast<int>(line.size()), bytes.data(), n, nullptr, nullptr);
  }
  bytes += '\n';
  if (!acquire_locked(s)) return 0;
  DWORD written = 0;
  BOOL ok = WriteFile(s.file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  release_locked(s);
  return ok && written == bytes.size();
}

// Holds the file open for a dump (the lock is taken per line).
class DumpScope {
 public:
  DumpScope() {
    std::lock_guard<std::recursive_mutex> g(state().lock);
    held_ = acquire_locked(state());
  }
  ~DumpScope() {
    if (!held_) return;
    std::lock_guard<std::recursive_mutex> g(state().lock);
    release_locked(state());
  }
  DumpScope(const DumpScope&) = delete;
  DumpScope& operator=(const DumpScope&) = delete;

 private:
  bool held_ = false;
};

void line(const std::u16string& text) { WriteTraceLine(text.c_str()); }

// A fixed-size text field of a DEVMODE, terminated even when full.
std::u16string field_text(const WCHAR* field, size_t chars) {
  size_t n = 0;
  while (n < chars && field[n]) ++n;
  return std::u16string(field, n);
}

// Public DEVMODE fields in dump order.
enum class FieldKind : BYTE { Text, Short, Word, Dword, Hex };
struct PublicField {
  const char16_t* name;  // padded to 19 characters
  size_t offset;
  FieldKind kind;
};
#define PF(label, member, kind) {label, offsetof(DEVMODEW, member), FieldKind::kind}
constexpr PublicField kPublicFields[] = {
    PF(u"dmDeviceName       ", dmDeviceName, Text),   PF(u"dmSpecVersion      ", dmSpecVersion, Word),
    PF(u"dmDriverVersion    ", dmDriverVersion, Word), PF(u"dmSize             ", dmSize, Word),
    PF(u"dmDriverExtra      ", dmDriverExtra, Word),  PF(u"dmFields           ", dmFields, Hex),
    PF(u"dmOrientation      ", dmOrientation, Short), PF(u"dmPaperSize        ", dmPaperSize, Short),
    PF(u"dmPaperLength      ", dmPaperLength, Short), PF(u"dmPaperWidth       ", dmPaperWidth, Short),
    PF(u"dmScale            ", dmScale, Short),       PF(u"dmCopies           ", dmCopies, Short),
    PF(u"dmDefaultSource    ", dmDefaultSource, Short), PF(u"dmPrintQuality     ", dmPrintQuality, Short),
    PF(u"dmColor            ", dmColor, Short),       PF(u"dmDuplex           ", dmDuplex, Short),
    PF(u"dmYResolution      ", dmYResolution, Short), PF(u"dmTTOption         ", dmTTOption, Short),
    PF(u"dmCollate          ", dmCollate, Short),     PF(u"dmFormName         ", dmFormName, Text),
    PF(u"dmLogPixels        ", dmLogPixels, Word),    PF(u"dmBitsPerPel       ", dmBitsPerPel, Dword),
    PF(u"dmPelsWidth        ", dmPelsWidth, Dword),   PF(u"dmPelsHeight       ", dmPelsHeight, Dword),
    PF(u"dmDisplayFlags     ", dmDisplayFlags, Dword), PF(u"dmDisplayFrequency ", dmDisplayFrequency, Dword),
    PF(u"dmICMMethod        ", dmICMMethod, Dword),   PF(u"dmICMIntent        ", dmICMIntent, Dword),
    PF(u"dmMediaType        ", dmMediaType, Dword),   PF(u"dmDitherType       ", dmDitherType, Dword),
    PF(u"dmReserved1        ", dmReserved1, Dword),   PF(u"dmReserved2        ", dmReserved2, Dword),
    PF(u"dmPanningWidth     ", dmPanningWidth, Dword), PF(u"dmPanningHeight    ", dmPanningHeight, Dword),
};
#undef PF

size_t field_width(FieldKind kind) {
  switch (kind) {
    case FieldKind::Text: return 2 * CCHDEVICENAME;  // both text fields hold 32 characters
    case FieldKind::Short: case FieldKind::Word: return 2;
    default: return 4;
  }
}

// dmFields bits in dump order, names as the log has always spelt them.
struct FieldBit {
  const char16_t* name;
  DWORD bit;
};
constexpr FieldBit kDmFieldBits[] = {
    {u"dmOrientation", 0x1},          {u"dmPaperSize", 0x2},         {u"dmPaperLength", 0x4},
    {u"dmPaperWidth", 0x8},           {u"dmScale", 0x10},            {u"dmPosition", 0x20},
    {u"dmNup", 0x40},                 {u"dmCopies", 0x100},          {u"dmDefaultSource", 0x200},
    {u"dmPrintQuality", 0x400},       {u"dmColor", 0x800},           {u"dmDuplex", 0x1000},
    {u"dmYResolution", 0x2000},       {u"dmTTOption", 0x4000},       {u"dmCollate", 0x8000},
    {u"dmFormName", 0x10000},         {u"dmLogPixels", 0x20000},     {u"dmBitsPerPel", 0x40000},
    {u"dmPelsWidth", 0x80000},        {u"dmPelsheight", 0x100000},   {u"dmDisplayFlags", 0x200000},
    {u"dmDisplayFrequen", 0x400000},  {u"dmICMMetHod", 0x800000},    {u"dmICMintent", 0x1000000},
    {u"dmMediaType", 0x2000000},      {u"dmDitherType", 0x4000000},  {u"dmPanningWidth", 0x8000000},
    {u"dmPanningHeight", 0x10000000},
};
static_assert(sizeof(kDmFieldBits) / sizeof(kDmFieldBits[0]) == 28);

const std::u16string kDashes(69, u'-');

}  // namespace

BOOL IsTraceEnabled() {
  std::lock_guard<std::recursive_mutex> g(state().lock);
  return (flags_locked(state()) & kTraceOn) != 0;
}

void ReadTraceSettings() {
  std::lock_guard<std::recursive_mutex> g(state().lock);
  flags_locked(state());
}

void ReloadTraceSettings() {
  std::lock_guard<std::recursive_mutex> g(state().lock);
  reload_locked(state());
}

DWORD GetTraceFlags() {
  std::lock_guard<std::recursive_mutex> g(state().lock);
  return flags_locked(state());
}

INT WriteTraceLine(LPCWSTR text) {
  if (!text) return 0;
  std::lock_guard<std::recursive_mutex> g(state().lock);
  return write_line_locked(state(), morva::u16view(text));
}

INT TraceEnter(LPCWSTR name) {
  if (!name || morva::u16len(name) > static_cast<size_t>(kMaxNameChars)) return 0;
  if ((GetTraceFlags() & (kTraceOn | kTraceCalls)) == (kTraceOn | kTraceCalls))
    line(u"IN <<" + std::u16string(name));
  return 1;
}

INT TraceLeave(LPCWSTR fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::u16string text = vformat(fmt, args);
  va_end(args);
  if (text.size() > static_cast<size_t>(kMaxNameChars)) return 0;
  if ((GetTraceFlags() & (kTraceOn | kTraceCalls)) == (kTraceOn | kTraceCalls)) line(u"OUT>>" + text + u"\n");
  return 1;
}

INT TracePrintf(LPCWSTR fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::u16string text = vformat(fmt, args);
  va_end(args);
  if (text.size() >= static_cast<size_t>(kTraceMaxLine)) return 0;
  return WriteTraceLine(text.c_str());
}

BOOL AcquireTraceLog() {
  std::lock_guard<std::recursive_mutex> g(state().lock);
  return acquire_locked(state());
}

void ReleaseTraceLog() {
  std::lock_guard<std::recursive_mutex> g(state().lock);
  release_locked(state());
}

BOOL PrepareDebugLogDirectory(LPWSTR buffer, DWORD chars) {
  std::u16string dir;
  if (!buffer || !prepare_directory(&dir) || dir.size() >= chars) return FALSE;
  lstrcpynW(buffer, dir.c_str(), static_cast<int>(chars));
  return TRUE;
}

BOOL GetTraceLogPath(LPWSTR buffer, DWORD chars) {
  std::lock_guard<std::recursive_mutex> g(state().lock);
  TraceState& s = state();
  if (!buffer || !path_locked(s) || s.path.size() >= chars) return FALSE;
  lstrcpynW(buffer, s.path.c_str(), static_cast<int>(chars));
  return TRUE;
}

BOOL GetModuleConfigFilePath(LPWSTR buffer, DWORD chars) {
  std::u16string cfg;
  if (!buffer || !config_path(&cfg) || cfg.size() >= chars) return FALSE;
  lstrcpynW(buffer, cfg.c_str(), static_cast<int>(chars));
  return TRUE;
}

void SetTraceLogFileName(LPCWSTR file_name) {
  if (!file_name) return;
  std::lock_guard<std::recursive_mutex> g(state().lock);
  state().file_name = file_name;
  state().path.clear();
}

void TraceDumpPublicDevmode(LPCWSTR title, const DEVMODEW* devmode) {
  if (!(GetTraceFlags() & kTraceOn) || !(GetTraceFlags() & kTraceDevmode)) return;
  DumpScope scope;
  if (!devmode) {
    line(u"lpdevmode = NULL");
    return;
  }
  line(title ? title : u"\n<PublicDevmode>");
  const auto* base = reinterpret_cast<const BYTE*>(devmode);
  size_t size = devmode->dmSize;
  for (const PublicField& f : kPublicFields) {
    size_t width = field_width(f.kind);
    if (f.offset + width > size) break;  // an older, shorter DEVMODE
    const BYTE* p = base + f.offset;
    std::u16string name(f.name);
    switch (f.kind) {
      case FieldKind::Text: line(format(u"%s=%s", name.c_str(), field_text(reinterpret_cast<const WCHAR*>(p), CCHDEVICENAME).c_str())); break;
      case FieldKind::Short: line(format(u"%s=%d", name.c_str(), static_cast<INT>(static_cast<SHORT>(morva::load_le16(p))))); break;
      case FieldKind::Word: line(format(u"%s=%d", name.c_str(), static_cast<INT>(morva::load_le16(p)))); break;
      case FieldKind::Dword: line(format(u"%s=%d", name.c_str(), static_cast<INT>(morva::load_le32(p)))); break;
      case FieldKind::Hex: line(format(u"%s=%X", name.c_str(), morva::load_le32(p))); break;
    }
  }
}

void TraceDumpPrivateItem(LPCWSTR title, void* devmode, WORD ddmid) {
  if (!(GetTraceFlags() & kTraceOn) || !(GetTraceFlags() & kTraceDevmode)) return;
  DumpScope scope;
  if (!devmode) {
    line(u"lpdevmode = NULL");
    return;
  }
  line(title ? title : u"\n<PrivateDevmode>");
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (GetItemValue(ddmid, devmode, nullptr, &type, &size, &v) != 0) return;
  if (type == 6)
    line(format(u"FunctionID:%d(0x%X)       = %s", static_cast<INT>(ddmid), static_cast<UINT>(ddmid),
                ItemText(v, size).c_str()));
  else
    line(format(u"FunctionID:%d(0x%X)       = %d", static_cast<INT>(ddmid), static_cast<UINT>(ddmid), v.l));
}

void TraceDumpDmFields(LPCWSTR title, const DEVMODEW* devmode) {
  if (!(GetTraceFlags() & kTraceOn) || !(GetTraceFlags() & kTraceDmFields)) return;
  DumpScope scope;
  if (!devmode) {
    line(u"lpDevmode = NULL");
    return;
  }
  line(title ? title : u"\n<dmFields>");
  for (const FieldBit& f : kDmFieldBits)
    line(format(u"%s = %s", f.name, (devmode->dmFields & f.bit) ? u"ON" : u"OFF"));
}

void TraceDumpItemRange(DWORD category, LPCWSTR title, void* devmode, void* printer_data) {
  if (!devmode && !printer_data) return;
  DWORD flags = GetTraceFlags();
  if (!(flags & kTraceOn)) return;
  std::vector<WORD> ddmids;
  {
    std::lock_guard<std::recursive_mutex> g(state().lock);
    ddmids = state().ddmids;
  }
  if (!(flags & (kTracePublicIds | kTraceItemIds)) && ddmids.empty()) return;
  DWORD mask = flags & kTraceCategoryMask;
  if (mask && !(mask & category)) return;
  DumpScope scope;
  if (title) line(title);
  line(kDashes);
  if (flags & kTracePublicIds)
    for (WORD id = 1; id <= 25; ++id) TraceDumpItemValue(devmode, printer_data, id);
  if (flags & kTraceItemIds)
    for (WORD id = 257; id <= 484; ++id) TraceDumpItemValue(devmode, printer_data, id);
  for (WORD id : ddmids) TraceDumpItemValue(devmode, printer_data, id);
  line(kDashes);
}

INT TraceDumpItemValue(void* devmode, void* printer_data, WORD ddmid) {
  if (ddmid == 0) return 0;
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (GetItemValue(ddmid, devmode, printer_data, &type, &size, &v) != 0) return 0;
  INT id = ddmid;
  switch (type) {
    case 1: case 10: return WriteTraceLine(format(u"[0x%04x] = [%d]", id, v.l).c_str());
    case 2: return WriteTraceLine(format(u"[0x%04x] = [%d]", id, static_cast<INT>(v.s)).c_str());
    case 3: return WriteTraceLine(format(u"[0x%04x] = [0x%02x]", id, static_cast<UINT>(v.w)).c_str());
    case 4: return WriteTraceLine(format(u"[0x%04x] = [%ld]", id, v.l).c_str());
    case 5: return WriteTraceLine(format(u"[0x%04x] = [0x%04x]", id, v.dw).c_str());
    case 6:
      return WriteTraceLine(format(u"[0x%04x] = [%s]", id, ItemText(v, size).c_str()).c_str());
    case 8: return WriteTraceLine(format(u"[0x%04x] = [0x%x]", id, static_cast<UINT>(v.b)).c_str());
    default: return WriteTraceLine(u"???");
  }
}

namespace morva::settings {
void reset_trace_for_test() {
  std::lock_guard<std::recursive_mutex> g(state().lock);
  TraceState& s = state();
  if (s.file != INVALID_HANDLE_VALUE) CloseHandle(s.file);
  s.file = INVALID_HANDLE_VALUE;
  s.extra_users = 0;
  s.settings_read = false;
  s.flags = 0;
  s.ddmids.clear();
  s.path.clear();
}
const WORD* trace_ddmids_for_test(int* count) {
  std::lock_guard<std::recursive_mutex> g(state().lock);
  *count = static_cast<int>(state().ddmids.size());
  return state().ddmids.data();
}
}  // namespace morva::settings
