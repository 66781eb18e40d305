// morva-fax-page-art <directory>: writes the fax page's row icons and
// pictures and the resource source "fax_page_art.json" listing them.
#include <cstdio>
#include <exception>
#include <filesystem>

#include "fax_page_art.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: morva-fax-page-art <directory>\n");
    return 2;
  }
  try {
    std::filesystem::create_directories(argv[1]);
    morva::fax_page_art::write_fax_page_art(argv[1], "fax_page_art.json");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "morva-fax-page-art: %s\n", e.what());
    return 1;
  }
  return 0;
}
