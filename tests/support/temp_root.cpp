#include "temp_root.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "win/machine_root.h"

namespace morva::test {

TempRoot::TempRoot() {
  std::string templ = (std::filesystem::temp_directory_path() / "morva-root-XXXXXX").string();
  if (!mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
  path_ = templ;
  std::filesystem::create_directories(path_ + "/drive_c");
  platform::set_machine_root(path_);
  setenv("MORVA_ROOT", path_.c_str(), 1);
}

TempRoot::~TempRoot() {
  platform::set_machine_root("");
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

void write_file(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace morva::test
