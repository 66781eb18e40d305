// Printing a document or a plain-text file through a printer DC into the
// spooler: the DEVMODE is built from the printer's default and the
// document's settings, every page is played, and a failed driver entry
// aborts the job.
#pragma once

#include <string>

#include "document.h"

namespace morva::print_host {

struct PrintResult {
  bool ok = false;
  DWORD job_id = 0;
  std::string error;         // "file:line: ..." for a drawing call, else what failed
  std::string failed_entry;  // the driver entry that failed, if one did
};

PrintResult print_document(const Document& doc);

struct TextOptions {
  std::u16string printer;
  std::u16string document;          // the job's name; the file name when empty
  std::u16string face = u"DejaVu Sans Mono";
  double size_pt = 10;
  double margin_mm = 15;
  std::map<std::string, std::string> devmode;
};
// A UTF-8 text file paginated in a TrueType font: lines wrapped at the
// margins, tabs every 8 columns, a form feed starts a new page.
PrintResult print_text_file(const std::string& path, const TextOptions& options);

// The printer's default DEVMODE with DEVMODE fields and DDMID settings
// applied. False with the reason in *error.
bool build_devmode(const std::u16string& printer, const std::map<std::string, std::string>& fields,
                   const std::map<WORD, std::string>& ddmid, std::vector<BYTE>* out, std::string* error);

}  // namespace morva::print_host
