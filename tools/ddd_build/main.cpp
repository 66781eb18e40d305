// ddd-build <description.json> <output directory>
// Writes the device-database pair and string libraries a description makes.
#include <cstdio>
#include <exception>

#include "ddd_builder.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <description.json> <output directory>\n", argv[0]);
    return 2;
  }
  try {
    morva::ddd_build::build_file(argv[1], argv[2]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ddd-build: %s\n", e.what());
    return 1;
  }
  return 0;
}
