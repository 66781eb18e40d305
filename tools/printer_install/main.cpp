// morva-install-printer: installs a printer into a machine root.
//   morva-install-printer --root <dir> --name <printer> [--port <port>]
//     [--driver-name <name>] [--gfx <libmorvagfx.so>] [--ui <libmorvaui.so>]
//     [--database <main .DDD>] [--config <model .cfg>] [--resources <morvares.xrs>]
//     [--file <dependent file>]... [--data <[key\]name=type:value>]... [--replace]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "printer_install.h"
#include "win/machine_root.h"

int main(int argc, char** argv) {
  morva::install::PrinterSetup s;
  std::string root;
  auto u16 = [](const char* a) { return morva::install::from_utf8(a); };
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
    auto take = [&]() -> const char* {
      if (!v) {
        std::fprintf(stderr, "morva-install-printer: %s needs a value\n", a.c_str());
        std::exit(2);
      }
      ++i;
      return v;
    };
    if (a == "--root") root = take();
    else if (a == "--name") s.name = u16(take());
    else if (a == "--port") s.port = u16(take());
    else if (a == "--driver-name") s.driver_name = u16(take());
    else if (a == "--gfx") s.graphics_driver = take();
    else if (a == "--ui") s.interface_driver = take();
    else if (a == "--database") s.database = take();
    else if (a == "--config") s.model_config = take();
    else if (a == "--resources") s.resource_module = take();
    else if (a == "--file") s.files.push_back(take());
    else if (a == "--replace") s.replace = true;
    else if (a == "--data") {
      morva::install::PrinterDataValue value;
      std::string error;
      if (!morva::install::parse_data_value(take(), value, error)) {
        std::fprintf(stderr, "morva-install-printer: %s\n", error.c_str());
        return 2;
      }
      s.data.push_back(value);
    } else {
      std::fprintf(stderr, "morva-install-printer: unknown argument %s\n", a.c_str());
      return 2;
    }
  }
  if (s.name.empty()) {
    std::fprintf(stderr, "usage: morva-install-printer [--root <dir>] --name <printer> [options]\n");
    return 2;
  }
  if (!root.empty()) morva::platform::set_machine_root(root);
  auto r = morva::install::install_printer(s);
  if (!r.ok) {
    std::fprintf(stderr, "morva-install-printer: %s\n", r.message.c_str());
    return 1;
  }
  std::printf("installed printer in %s\n", morva::platform::machine_root().c_str());
  std::printf("driver files in %s\n", r.driver_folder.c_str());
  return 0;
}
