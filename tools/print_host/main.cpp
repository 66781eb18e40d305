// morva-print-host: prints a JSON document, or a plain-text file, on an
// installed printer of a machine root; the job lands in the spooler.
//   morva-print-host [--root DIR] DOCUMENT.json
//   morva-print-host [--root DIR] --printer NAME [--font FACE] [--size PT] [--margin MM] --text FILE
#include <cstdio>
#include <cstring>
#include <string>

#include "print_job.h"
#include "printer_dc.h"
#include "win/machine_root.h"
#include "win/strings.h"

int main(int argc, char** argv) {
  using namespace morva::print_host;
  std::string document, text_file;
  TextOptions options;
  install_printer_dc_maker();
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "morva-print-host: %s needs a value\n", arg.c_str());
        std::exit(2);
      }
      return argv[++i];
    };
    if (arg == "--root") morva::platform::set_machine_root(value());
    else if (arg == "--printer") options.printer = morva::utf8_to_u16(value());
    else if (arg == "--font") options.face = morva::utf8_to_u16(value());
    else if (arg == "--size") options.size_pt = std::stod(value());
    else if (arg == "--margin") options.margin_mm = std::stod(value());
    else if (arg == "--text") text_file = value();
    else if (!arg.empty() && arg[0] != '-' && document.empty()) document = arg;
    else {
      std::fprintf(stderr,
                   "usage: morva-print-host [--root DIR] DOCUMENT.json\n"
                   "       morva-print-host [--root DIR] --printer NAME [--font FACE] [--size PT] [--margin MM] "
                   "--text FILE\n");
      return 2;
    }
  }
  PrintResult result;
  if (!text_file.empty()) {
    if (options.printer.empty()) {
      std::fprintf(stderr, "morva-print-host: --text needs --printer\n");
      return 2;
    }
    result = print_text_file(text_file, options);
  } else if (!document.empty()) {
    Document doc;
    std::string error;
    if (!read_document(document, &doc, &error)) {
      std::fprintf(stderr, "morva-print-host: %s\n", error.c_str());
      return 1;
    }
    result = print_document(doc);
  } else {
    std::fprintf(stderr, "morva-print-host: no document\n");
    return 2;
  }
  if (!result.ok) {
    std::fprintf(stderr, "morva-print-host: %s\n", result.error.c_str());
    return 1;
  }
  std::printf("job %u spooled\n", result.job_id);
  return 0;
}
