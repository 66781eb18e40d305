#include "device_status.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "device_api/psw.h"

namespace morva::device_status {
namespace {

#define STATUS_FUNCTIONS(X)                                                                                 \
  X(PSWInit) X(PSWUnInit) X(PSWFindDeviceSNMP) X(PSWGetDeviceNext) X(PSWInitDevice) X(PSWRefreshOptions)    \
  X(PSWGetOptionValueBoolean) X(PSWGetOptionValueInteger) X(PSWGetOptionValueString)                       \
  X(PSWGetNumberOfDeviceInfo) X(PSWGetDeviceInfo) X(PSWGetPrinterInfo) X(PSWGetNumberOfInputTrayInfo)      \
  X(PSWGetInputTrayInfo) X(PSWGetNumberOfOutputTrayInfo) X(PSWGetOutputTrayInfo) X(PSWGetNumberOfTonerInfo) \
  X(PSWGetTonerInfo) X(PSWGetNumberOfAlertInfo) X(PSWGetAlertInfo) X(PSWGetNumberOfJobInfo) X(PSWGetJobInfo)

struct Api {
#define STATUS_MEMBER(name) decltype(&::name) name = nullptr;
  STATUS_FUNCTIONS(STATUS_MEMBER)
#undef STATUS_MEMBER
};

// Result codes as words.
std::string code_text(int32_t code) {
  struct Row {
    int32_t code;
    const char* text;
  };
  static const Row rows[] = {{-2, "refused (bad argument or unsupported device)"},
                             {-3, "out of memory"},
                             {-203, "no answer (timeout)"},
                             {-214, "SNMPv3 security failure"}};
  for (const Row& r : rows)
    if (r.code == code) return std::to_string(code) + ", " + r.text;
  return std::to_string(code);
}

std::string format(const char* f, auto... args) {
  const int n = std::snprintf(nullptr, 0, f, args...);
  if (n <= 0) return "";
  std::string text(static_cast<std::size_t>(n) + 1, '\0');
  std::snprintf(text.data(), text.size(), f, args...);
  text.pop_back();
  return text;
}

// hrPrinterStatus.
const char* printer_status_text(int32_t s) {
  static const char* const texts[] = {"?", "other", "unknown", "idle", "printing", "warming up"};
  return s >= 1 && s <= 5 ? texts[s] : "?";
}

// hrPrinterDetectedErrorState: the first octet is the low byte.
struct ErrorBit {
  uint32_t mask;
  const char* text;
};
constexpr ErrorBit kErrorBits[] = {
    {0x80, "low paper"},         {0x40, "no paper"},          {0x20, "low toner"},
    {0x10, "no toner"},          {0x08, "door open"},         {0x04, "jammed"},
    {0x02, "offline"},           {0x01, "service requested"}, {0x8000, "input tray missing"},
    {0x4000, "output tray missing"}, {0x2000, "supply missing"}, {0x1000, "output nearly full"},
    {0x0800, "output full"},     {0x0400, "input tray empty"}, {0x0200, "maintenance overdue"},
};

// hrDeviceStatus.
const char* device_status_text(int32_t s) {
  static const char* const texts[] = {"?", "unknown", "running", "warning", "testing", "down"};
  return s >= 1 && s <= 5 ? texts[s] : "?";
}

// prtAlertSeverityLevel and prtAlertGroup.
const char* severity_text(int32_t s) {
  switch (s) {
    case 3: return "critical";
    case 4: return "warning";
    case 5: return "notice";
    default: return "other";
  }
}
const char* alert_group_text(int32_t g) {
  struct Row {
    int32_t group;
    const char* text;
  };
  static const Row rows[] = {{5, "general"},   {6, "cover"},         {7, "localization"},
                             {8, "input"},     {9, "output"},        {10, "marker"},
                             {11, "supplies"}, {12, "colorant"},     {13, "media path"},
                             {14, "channel"},  {15, "interpreter"},  {30, "finisher"}};
  for (const Row& r : rows)
    if (r.group == g) return r.text;
  return "other";
}

// A tray's level: prtInputCurrentLevel -2 unknown, -3 some left.
std::string tray_level(const PSWInputTrayInfo& t) {
  const char* unit = t.capacity_unit == 8 ? "sheets" : "units";
  if (t.current_level == -3) return format("some paper left (holds %d %s)", t.max_capacity, unit);
  if (t.current_level < 0) return "level unknown";
  if (t.current_level == 0) return format("empty (holds %d %s)", t.max_capacity, unit);
  if (t.max_capacity > 0)
    return format("%d of %d %s (%d%%)", t.current_level, t.max_capacity, unit,
                  (t.current_level * 100 + t.max_capacity / 2) / t.max_capacity);
  return format("%d %s", t.current_level, unit);
}

std::string supply_level(const PSWTonerInfo& s) {
  if (s.level == -3) return "some left";
  if (s.level < 0) return "unknown";
  if (s.supply_unit == 19) return format("%d%%", s.level);  // percent
  if (s.max_capacity > 0) return format("%d%%", (s.level * 100 + s.max_capacity / 2) / s.max_capacity);
  return std::to_string(s.level);
}

std::string date_text(const PSWDateTime& d) {
  if (d.year == 0) return "-";
  return format("%04d-%02d-%02d %02d:%02d:%02d", d.year, d.month, d.day, d.hour, d.minutes, d.seconds);
}

// Installed options as they are named to the library and to a person.
struct NamedOption {
  const char* name;
  const char* label;
};
constexpr NamedOption kInstalled[] = {
    {"Scanner", "scanner"},
    {"Copier", "copier"},
    {"FAXUnit", "fax unit"},
    {"FAXISDNG4Kit", "ISDN G4 fax kit"},
    {"FAXLineSwitchKit", "fax line switch kit"},
    {"HardDisk", "hard disk"},
    {"DuplexModule", "duplex unit"},
    {"InTrayMSI", "manual feed tray"},
    {"InTrayExistHCF", "high-capacity feeder"},
    {"InTrayExistHCF2", "second high-capacity feeder"},
    {"InTrayExistTTM", "tandem tray module"},
    {"InTrayExistHCFA3", "A3 high-capacity feeder"},
    {"OutTraySide", "side output tray"},
    {"OutTrayOffsetCatch", "offset catch tray"},
    {"OffsetCatch", "offset stacking"},
    {"Finisher", "finisher"},
    {"FinisherStaple", "stapler"},
    {"FinisherPunch", "hole punch"},
    {"FinisherBooklet", "booklet maker"},
    {"FinisherFolder", "folder"},
};

class Session {
 public:
  Session(const Api& api, std::ostream& out) : api_(api), out_(out) {}

  void options(PSWHANDLE h) {
    char text[256] = {};
    long value = 0;
    out_ << "\nDevice\n";
    if (api_.PSWGetOptionValueString(h, "SysName", 0, text) == 0) out_ << "  name             " << text << "\n";
    if (api_.PSWGetOptionValueString(h, "PrinterRomVersion", 0, text) == 0)
      out_ << "  controller       " << text << "\n";
    if (api_.PSWGetOptionValueInteger(h, "MemorySizeInMByte", 0, &value) == 0)
      out_ << "  memory           " << value << " MB\n";
    if (api_.PSWGetOptionValueString(h, "NetWareSAPUnitName", 0, text) == 0 && text[0])
      out_ << "  NetWare name     " << text << "\n";

    std::string installed;
    for (const NamedOption& o : kInstalled) {
      PSWBOOL on = 0;
      if (api_.PSWGetOptionValueBoolean(h, o.name, 0, &on) == 0 && on)
        installed += (installed.empty() ? "" : ", ") + std::string(o.label);
    }
    out_ << "\nInstalled options\n  " << (installed.empty() ? "none" : wrap(installed, 2, 76)) << "\n";
    long fax_dials = 0, booklet = 0, min_password = 0;
    PSWBOOL fax = 0, has_booklet = 0;
    if (api_.PSWGetOptionValueBoolean(h, "FAXUnit", 0, &fax) == 0 && fax &&
        api_.PSWGetOptionValueInteger(h, "FAXMaxSpeedDial", 0, &fax_dials) == 0)
      out_ << "  fax speed dials: " << fax_dials << "\n";
    if (api_.PSWGetOptionValueBoolean(h, "FinisherBooklet", 0, &has_booklet) == 0 && has_booklet &&
        api_.PSWGetOptionValueInteger(h, "FinisherBookletImpression", 0, &booklet) == 0)
      out_ << "  booklets of up to " << booklet << " sheets\n";
    if (api_.PSWGetOptionValueInteger(h, "MinPasswordLength", 0, &min_password) == 0 && min_password)
      out_ << "  passwords of at least " << min_password << " characters\n";
  }

  void status(PSWHANDLE h) {
    int32_t info[2] = {};
    if (api_.PSWGetPrinterInfo(h, info) == 0) {
      std::string errors;
      for (const ErrorBit& b : kErrorBits)
        if (static_cast<uint32_t>(info[1]) & b.mask) errors += (errors.empty() ? "" : ", ") + std::string(b.text);
      out_ << "\nStatus\n  " << printer_status_text(info[0]) << (errors.empty() ? "" : "; " + errors) << "\n";
    }

    int32_t n = 0;
    if (api_.PSWGetNumberOfDeviceInfo(h, &n) == 0 && n > 0) {
      out_ << "\nUnits and their state\n";
      for (int32_t i = 0; i < n; ++i) {
        PSWDeviceInfo d{};
        if (api_.PSWGetDeviceInfo(h, i, &d) == 0)
          out_ << format("  %-40s %s\n", d.description, device_status_text(d.status));
      }
    }

    long trays = 0;
    api_.PSWGetOptionValueInteger(h, "NumberOfInputTray", 0, &trays);
    if (api_.PSWGetNumberOfInputTrayInfo(h, &n) == 0) {
      out_ << "\nInput trays\n";
      for (int32_t i = 0; i < n; ++i) {
        PSWInputTrayInfo t{};
        if (api_.PSWGetInputTrayInfo(h, i, &t) != 0) continue;
        std::string paper = t.media_name;
        if (t.dim_unit == 4 && t.feed_dir_chosen > 0 && t.xfeed_dir_chosen > 0)
          paper += format(" (%d x %d mm)", (t.xfeed_dir_chosen + 500) / 1000, (t.feed_dir_chosen + 500) / 1000);
        out_ << format("  %-12s %-24s %-10s %s\n", t.name, paper.c_str(), t.media_type, tray_level(t).c_str());
      }
      if (n == 0) out_ << "  none\n";
    }

    if (api_.PSWGetNumberOfOutputTrayInfo(h, &n) == 0) {
      out_ << "\nOutput trays\n";
      for (int32_t i = 0; i < n; ++i) {
        PSWOutputTrayInfo t{};
        if (api_.PSWGetOutputTrayInfo(h, i, &t) == 0) out_ << format("  %-16s %s\n", t.name, t.description);
      }
      if (n == 0) out_ << "  none\n";
    }

    if (api_.PSWGetNumberOfTonerInfo(h, &n) == 0) {
      out_ << "\nToner\n";
      for (int32_t i = 0; i < n; ++i) {
        PSWTonerInfo s{};
        if (api_.PSWGetTonerInfo(h, i, &s) == 0)
          out_ << format("  %-16s %5s  %s\n", s.description, supply_level(s).c_str(), bar(s).c_str());
      }
      if (n == 0) out_ << "  none\n";
    }

    if (api_.PSWGetNumberOfAlertInfo(h, &n) == 0) {
      out_ << "\nAlerts\n";
      for (int32_t i = 0; i < n; ++i) {
        PSWAlertInfo a{};
        if (api_.PSWGetAlertInfo(h, i, &a) == 0)
          out_ << format("  %-8s %s (%s, code %d)\n", severity_text(a.severity_level), a.description,
                         alert_group_text(a.group), a.code);
      }
      if (n == 0) out_ << "  none\n";
    }

    if (api_.PSWGetNumberOfJobInfo(h, 0, &n) == 0) {
      out_ << "\nJobs\n";
      for (int32_t i = 0; i < n; ++i) {
        PSWJobInfo j{};
        if (api_.PSWGetJobInfo(h, i, &j) != 0) continue;
        out_ << format("  %s  \"%s\" from %s: %s, since %s\n", j.job_id, j.text_j6_6, j.text_j6_5, j.text_j10_7,
                       date_text(j.time_j10_10).c_str());
      }
      if (n == 0) out_ << "  none\n";
    }
  }

 private:
  static std::string bar(const PSWTonerInfo& s) {
    if (s.supply_unit != 19 || s.level < 0) return "";
    const int filled = (s.level > 100 ? 100 : s.level) / 5;
    return "[" + std::string(static_cast<std::size_t>(filled), '#') + std::string(20 - static_cast<std::size_t>(filled), '.') + "]";
  }

  // Breaks a comma list into lines of at most `width` characters.
  static std::string wrap(const std::string& text, std::size_t indent, std::size_t width) {
    std::string out, line;
    std::size_t start = 0;
    while (start < text.size()) {
      std::size_t end = text.find(", ", start);
      std::string word = text.substr(start, end == std::string::npos ? std::string::npos : end - start + 1);
      start = end == std::string::npos ? text.size() : end + 2;
      if (!line.empty() && indent + line.size() + 1 + word.size() > width) {
        out += line + "\n" + std::string(indent, ' ');
        line.clear();
      }
      line += (line.empty() ? "" : " ") + word;
    }
    return out + line;
  }

  const Api& api_;
  std::ostream& out_;
};

}  // namespace

std::string library_beside_program() {
  char path[PATH_MAX] = {};
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  std::string p(path, n > 0 ? static_cast<std::size_t>(n) : 0);
  return p.substr(0, p.rfind('/') + 1) + "libdevlink.so";
}

int report(const Request& request, std::ostream& out, std::ostream& err) {
  void* lib = ::dlopen(request.library.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (!lib) {
    err << "cannot load " << request.library << ": " << ::dlerror() << "\n";
    return 1;
  }
  Api api;
  bool bound = true;
#define STATUS_BIND(name)                                                       \
  api.name = reinterpret_cast<decltype(&::name)>(::dlsym(lib, #name));          \
  if (!api.name) {                                                              \
    err << request.library << " does not export " #name "\n";                   \
    bound = false;                                                              \
  }
  STATUS_FUNCTIONS(STATUS_BIND)
#undef STATUS_BIND
  if (!bound) {
    ::dlclose(lib);
    return 1;
  }

  PSWHANDLE h = nullptr;
  int result = 1;
  if (int32_t r = api.PSWInit(&h)) {
    err << "PSWInit failed: " << code_text(r) << "\n";
  } else {
    // Ask the address itself first: it names the model.
    int32_t found = 0;
    char address[64] = {}, model[64] = {}, reserved[64] = {}, oid[64] = {};
    if (api.PSWFindDeviceSNMP(h, request.address.c_str(), request.transport, request.timeout_ms, request.retries,
                              &found) == 0 &&
        api.PSWGetDeviceNext(h, address, model, reserved, oid))
      out << model << " at " << address << " (sysObjectID " << oid << ")\n";
    else
      out << "Device at " << request.address << " (no supported model answered the search)\n";

    if (int32_t r = api.PSWInitDevice(h, request.address.c_str(), request.transport, request.timeout_ms,
                                      request.retries)) {
      err << "cannot open the device at " << request.address << ": " << code_text(r) << "\n";
    } else if (int32_t r2 = api.PSWRefreshOptions(h)) {
      err << "cannot read the device's options: " << code_text(r2) << "\n";
    } else {
      Session s(api, out);
      s.options(h);
      s.status(h);
      result = 0;
    }
    api.PSWUnInit(h);
  }
  ::dlclose(lib);
  return result;
}

}  // namespace morva::device_status
