// Builds device-database pairs (".DDD" files) and their string libraries
// from a readable JSON description. The format of a description is given in
// ddd_builder.cpp and shown by resources/demo_printer/database.json.
#pragma once

#include <map>
#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

namespace morva::ddd_build {

// An invalid description: says what and where.
struct BuildError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// File name -> bytes of every file the description makes (main database,
// linked database, string libraries).
using Images = std::map<std::string, std::string>;

Images build_images(const nlohmann::json& description);

// Writes the images into `directory` (created when missing).
void write_images(const Images& images, const std::string& directory);

// Reads a description file, builds it and writes the files.
void build_file(const std::string& description_path, const std::string& directory);

}  // namespace morva::ddd_build
