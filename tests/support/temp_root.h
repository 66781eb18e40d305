// A fresh machine root in a temporary folder for one test, removed after.
#pragma once

#include <string>

namespace morva::test {

class TempRoot {
 public:
  TempRoot();  // creates the folder and makes it the process's machine root
  ~TempRoot();
  TempRoot(const TempRoot&) = delete;
  TempRoot& operator=(const TempRoot&) = delete;

  const std::string& path() const { return path_; }
  // Native path of a file under the root.
  std::string file(const std::string& relative) const { return path_ + "/" + relative; }

 private:
  std::string path_;
};

// Writes bytes to a native path, creating parent folders.
void write_file(const std::string& path, const std::string& bytes);
// Reads a whole native file; empty when missing.
std::string read_file(const std::string& path);

}  // namespace morva::test
