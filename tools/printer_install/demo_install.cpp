// demo-10-install-printer <machine root>: the first step of scripts/demo.
// Installs the demo printer from the build's outputs (device database pair
// and string libraries, model configuration, resource module, the driver
// libraries that exist) and reports what the spooler now holds.
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "printer_install.h"
#include "win/endian.h"
#include "win/errors.h"
#include "win/machine_root.h"
#include "win/registry.h"
#include "win/spooler.h"

namespace fs = std::filesystem;

namespace {

std::string narrow(const WCHAR* s) {
  std::string out;
  for (; s && *s; ++s) out += *s < 0x80 ? static_cast<char>(*s) : '?';
  return out;
}

std::string exists_or_empty(const fs::path& p) { return fs::exists(p) ? p.string() : std::string(); }

// Machine-wide paper margins (tenths of a millimetre, stored order) that
// every new user of the demo printer starts from: under the database's
// machine-wide key (global field 30) + "Paper Margin", one 20-byte value
// {DWORD paper id, four margins} per paper, named by the paper id.
struct DemoMargins {
  const char16_t* name;
  DWORD paper;
  LONG margins[4];
};
constexpr DemoMargins kDemoMargins[] = {{u"9", 9, {50, 50, 60, 60}}, {u"1", 1, {64, 64, 64, 64}}};
constexpr char16_t kDemoMarginKey[] = u"Software\\Morva\\Demo Printer\\Paper Margin";

bool write_demo_margins() {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kDemoMarginKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return false;
  bool ok = true;
  for (const DemoMargins& m : kDemoMargins) {
    BYTE value[20];
    morva::store_le32(value, m.paper);
    for (int i = 0; i < 4; ++i) morva::store_le32(value + 4 + 4 * i, static_cast<DWORD>(m.margins[i]));
    ok = RegSetValueExW(key, m.name, 0, REG_BINARY, value, sizeof value) == ERROR_SUCCESS && ok;
  }
  RegCloseKey(key);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: demo-10-install-printer <machine root>\n");
    return 2;
  }
  morva::platform::set_machine_root(argv[1]);
  fs::path bin = fs::canonical("/proc/self/exe").parent_path();
  fs::path demo = bin.parent_path() / "demo_printer";
  fs::path sources = fs::path(MORVA_SOURCE_DIR) / "resources" / "demo_printer";

  morva::install::PrinterSetup s;
  s.name = u"Morva Demo Printer";
  s.port = u"IP_127.0.0.1";
  s.comment = u"demo printer";
  s.graphics_driver = exists_or_empty(bin / "libmorvagfx.so");
  s.interface_driver = exists_or_empty(bin / "libmorvaui.so");
  s.database = (demo / "MVDEMO.DDD").string();
  s.resource_module = (bin / "morvares.xrs").string();
  s.replace = true;
  std::string linked = morva::install::linked_database_name(s.database);
  for (const auto& e : fs::directory_iterator(demo)) {
    std::string name = e.path().filename().string();
    if (name == "MVDEMO.DDD" || name == linked || name == "database.stamp") continue;
    s.files.push_back(e.path().string());
  }
  // The data manager that the graphics driver loads from its own folder.
  if (fs::exists(bin / "libmorvadat.so")) s.files.push_back((bin / "libmorvadat.so").string());
  for (const auto& e : fs::directory_iterator(sources))
    if (e.path().extension() == ".cfg") s.model_config = e.path().string();

  auto r = morva::install::install_printer(s);
  if (!r.ok) {
    std::fprintf(stderr, "demo-10-install-printer: %s\n", r.message.c_str());
    return 1;
  }

  if (!write_demo_margins()) {
    std::fprintf(stderr, "demo-10-install-printer: the machine-wide paper margins cannot be written\n");
    return 1;
  }

  HANDLE h = nullptr;
  if (!OpenPrinterW(const_cast<LPWSTR>(u"Morva Demo Printer"), &h, nullptr)) return 1;
  DWORD needed = 0;
  GetPrinterDriverW(h, nullptr, 3, nullptr, 0, &needed);
  std::vector<BYTE> buf(needed);
  if (!GetPrinterDriverW(h, nullptr, 3, buf.data(), needed, &needed)) return 1;
  const auto* d = reinterpret_cast<DRIVER_INFO_3W*>(buf.data());
  std::printf("printer \"Morva Demo Printer\" on port IP_127.0.0.1, driver \"%s\"\n", narrow(d->pName).c_str());
  std::printf("  graphics driver  %s%s\n", narrow(d->pDriverPath).c_str(), s.graphics_driver.empty() ? " (not built yet)" : "");
  std::printf("  interface driver %s%s\n", narrow(d->pConfigFile).c_str(), s.interface_driver.empty() ? " (not built yet)" : "");
  std::printf("  data file        %s\n", narrow(d->pDataFile).c_str());
  for (const WCHAR* p = d->pDependentFiles; p && *p; p += std::char_traits<char16_t>::length(p) + 1)
    std::printf("  dependent file   %s\n", narrow(p).c_str());
  DWORD forms = 0;
  EnumFormsW(h, 1, nullptr, 0, &needed, &forms);
  buf.assign(needed, 0);
  EnumFormsW(h, 1, buf.data(), needed, &needed, &forms);
  std::printf("  forms            %u\n", static_cast<unsigned>(forms));
  std::printf("  paper margins    %u papers, machine-wide\n", static_cast<unsigned>(std::size(kDemoMargins)));
  ClosePrinter(h);
  std::printf("driver folder: %s\n", r.driver_folder.c_str());
  return 0;
}
