// demo-30-print-vector <machine root>: prints a sample vector document on
// the demo printer through the print host and both of its DLLs (the
// interface library's document events prepare the job, its PJL header and
// print header, and push them into the graphics library), and shows the
// decoder's summary of the spool file.
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "gfx_demo.h"
#include "pdl_decode.h"
#include "print_job.h"
#include "win/machine_root.h"
#include "win/spooler.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: demo-30-print-vector <machine root>\n");
    return 2;
  }
  morva::platform::set_machine_root(argv[1]);
  using namespace morva::gfx_demo;
  std::string error;
  // A default DEVMODE with its driver part, which the document's settings
  // are applied to.
  if (!make_dc_devmode_default(kDemoPrinter, &error)) {
    std::fprintf(stderr, "demo-30-print-vector: %s\n", error.c_str());
    return 1;
  }
  morva::print_host::Document doc;
  // The job header comes from the interface library (setting 1333); every
  // page carries a "DRAFT" stamp at its centre and the print header names
  // the document at the top left.
  std::string json = sample_vector_document(kDemoPrinter, 3);
  json.insert(1, R"("ddmid": {"1333": 1, "297": "Mark", "299": "DRAFT", "1288": 0, "1286": 0, "303": 514,)"
                 R"( "1298": 1, "353": 257}, )");
  if (!morva::print_host::parse_document(json, "sample.json", ".", &doc, &error)) {
    std::fprintf(stderr, "demo-30-print-vector: %s\n", error.c_str());
    return 1;
  }
  auto result = morva::print_host::print_document(doc);
  if (!result.ok) {
    std::fprintf(stderr, "demo-30-print-vector: printing failed: %s %s\n", result.error.c_str(),
                 result.failed_entry.c_str());
    return 1;
  }
  std::string spool = morva::platform::job_spool_file(result.job_id);
  std::printf("printed \"Vector sample\" (3 pages, stamped, with a print header) on \"Morva Demo Printer\" through morvaui and morvagfx as job %u: %s (%ju bytes)\n",
              static_cast<unsigned>(result.job_id), spool.c_str(),
              static_cast<uintmax_t>(std::filesystem::file_size(spool)));
  auto decoded = morva::tools::DecodeSpoolFilePath(spool, {false});
  morva::tools::PrintSummary(decoded, std::cout);
  return decoded.ok ? 0 : 1;
}
