#include "win/machine_root.h"

#include <cstdlib>
#include <mutex>

namespace morva::platform {
namespace {
std::mutex g_root_lock;
std::string g_root_override;
}  // namespace

std::string machine_root() {
  std::lock_guard<std::mutex> g(g_root_lock);
  std::string root = g_root_override;
  if (root.empty()) {
    const char* env = std::getenv("MORVA_ROOT");
    if (env) root = env;
  }
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  return root;
}

void set_machine_root(const std::string& path) {
  std::lock_guard<std::mutex> g(g_root_lock);
  g_root_override = path;
}

}  // namespace morva::platform
