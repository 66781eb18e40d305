// morva-rc: compiles resource sources into a resource container.
//   morva-rc -o <out.xrs> [--depfile <file>] <source.json>...
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "xrs_compiler.h"

int main(int argc, char** argv) {
  std::string out, depfile;
  std::vector<std::string> sources;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "-o" && i + 1 < argc) out = argv[++i];
    else if (a == "--depfile" && i + 1 < argc) depfile = argv[++i];
    else sources.push_back(a);
  }
  if (out.empty() || sources.empty()) {
    std::fprintf(stderr, "usage: morva-rc -o <out.xrs> [--depfile <file>] <source.json>...\n");
    return 2;
  }
  auto result = morva::xrs::compile_resources(sources);
  if (!result.error.empty()) {
    std::fprintf(stderr, "morva-rc: %s\n", result.error.c_str());
    return 1;
  }
  std::ofstream f(out, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(result.container.data()), static_cast<std::streamsize>(result.container.size()));
  f.close();
  if (!f) {
    std::fprintf(stderr, "morva-rc: cannot write %s\n", out.c_str());
    return 1;
  }
  if (!depfile.empty()) {
    std::ofstream d(depfile, std::ios::trunc);
    d << out << ":";
    for (const auto& in : result.inputs) {
      d << " ";
      for (char c : in) {
        if (c == ' ') d << '\\';
        d << c;
      }
    }
    d << "\n";
  }
  return 0;
}
