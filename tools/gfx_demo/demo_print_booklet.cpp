// demo-31-print-booklet <machine root>: prints the sample vector document
// as a booklet and as a 4-up job on the demo printer through the print host
// and its real graphics driver, and shows the decoder's summary of each
// spool file.
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "gfx_demo.h"
#include "pdl_decode.h"
#include "print_job.h"
#include "win/machine_root.h"
#include "win/spooler.h"

namespace {

bool print_as(const char* title, const std::string& settings, int pages) {
  using namespace morva::gfx_demo;
  std::string json = sample_vector_document(kDemoPrinter, pages);
  // The layout settings go in front of the pages.
  json.insert(json.find("\"pages\""), "\"ddmid\": {" + settings + "}, ");
  morva::print_host::Document doc;
  std::string error;
  if (!morva::print_host::parse_document(json, "sample.json", ".", &doc, &error)) {
    std::fprintf(stderr, "demo-31-print-booklet: %s\n", error.c_str());
    return false;
  }
  auto result = morva::print_host::print_document(doc);
  if (!result.ok) {
    std::fprintf(stderr, "demo-31-print-booklet: printing failed: %s %s\n", result.error.c_str(),
                 result.failed_entry.c_str());
    return false;
  }
  std::string spool = morva::platform::job_spool_file(result.job_id);
  std::printf("printed \"Vector sample\" (%d pages) %s on \"Morva Demo Printer\" as job %u: %s (%ju bytes)\n", pages,
              title, static_cast<unsigned>(result.job_id), spool.c_str(),
              static_cast<uintmax_t>(std::filesystem::file_size(spool)));
  auto decoded = morva::tools::DecodeSpoolFilePath(spool, {false});
  morva::tools::PrintSummary(decoded, std::cout);
  return decoded.ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: demo-31-print-booklet <machine root>\n");
    return 2;
  }
  morva::platform::set_machine_root(argv[1]);
  std::string error;
  if (!morva::gfx_demo::make_dc_devmode_default(morva::gfx_demo::kDemoPrinter, &error)) {
    std::fprintf(stderr, "demo-31-print-booklet: %s\n", error.c_str());
    return 1;
  }
  // A booklet: 8 pages on two sheets, four sides of two pages each.
  bool ok = print_as("as a booklet", "\"321\": 2", 8);
  // Four pages to a sheet, read in rows from the top left.
  ok = print_as("4-up", "\"295\": 4, \"264\": 3", 6) && ok;
  return ok ? 0 : 1;
}
