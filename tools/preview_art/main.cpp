// morva-preview-art <directory>: writes the preview and sheet bitmaps and
// the resource source "bitmaps.json" listing them.
#include <cstdio>
#include <exception>
#include <filesystem>

#include "preview_art.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: morva-preview-art <directory>\n");
    return 2;
  }
  try {
    std::filesystem::create_directories(argv[1]);
    morva::preview_art::write_art(argv[1], "bitmaps.json");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "morva-preview-art: %s\n", e.what());
    return 1;
  }
  return 0;
}
