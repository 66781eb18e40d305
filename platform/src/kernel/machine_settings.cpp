#include "win/machine_settings.h"

#include <sys/stat.h>

#include <charconv>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include "win/machine_root.h"

namespace morva::platform {
namespace {

std::mutex g_lock;
// Parsed settings file, reread when the root or the file's stamp changes.
struct Cache {
  std::string root;
  struct timespec mtime {};
  off_t size = -1;
  bool valid = false;
  std::map<std::string, std::string, std::less<>> values;
};
// Never destroyed, so calls from exit handlers stay safe.
Cache& g_cache = *new Cache;

std::string settings_path(const std::string& root) { return root + "/machine.cfg"; }

std::string trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
  return std::string(s.substr(b, e - b));
}

std::map<std::string, std::string, std::less<>> parse(const std::string& text) {
  std::map<std::string, std::string, std::less<>> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    std::string t = trim(line);
    if (t.empty() || t[0] == '#') continue;
    size_t eq = t.find('=');
    if (eq == std::string::npos) continue;
    out[trim(std::string_view(t).substr(0, eq))] = trim(std::string_view(t).substr(eq + 1));
  }
  return out;
}

// Brings the cache up to date; called with g_lock held.
void refresh() {
  std::string root = machine_root();
  struct stat st {};
  bool exists = !root.empty() && ::stat(settings_path(root).c_str(), &st) == 0;
  if (g_cache.valid && g_cache.root == root) {
    if (!exists && g_cache.size == -1) return;
    if (exists && g_cache.size == st.st_size && g_cache.mtime.tv_sec == st.st_mtim.tv_sec &&
        g_cache.mtime.tv_nsec == st.st_mtim.tv_nsec)
      return;
  }
  g_cache = Cache{};
  g_cache.root = root;
  g_cache.valid = true;
  if (!exists) return;
  g_cache.size = st.st_size;
  g_cache.mtime = st.st_mtim;
  std::ifstream in(settings_path(root), std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  g_cache.values = parse(s.str());
}

}  // namespace

std::string machine_setting(std::string_view key, std::string_view fallback) {
  std::lock_guard<std::mutex> g(g_lock);
  refresh();
  auto it = g_cache.values.find(key);
  return it == g_cache.values.end() ? std::string(fallback) : it->second;
}

long long machine_setting_number(std::string_view key, long long fallback) {
  std::string v = machine_setting(key);
  if (v.empty()) return fallback;
  int base = 10;
  std::string_view digits = v;
  bool neg = false;
  if (!digits.empty() && digits[0] == '-') {
    neg = true;
    digits.remove_prefix(1);
  }
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    base = 16;
    digits.remove_prefix(2);
  }
  long long n = 0;
  auto [p, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n, base);
  if (ec != std::errc() || p != digits.data() + digits.size()) return fallback;
  return neg ? -n : n;
}

bool set_machine_setting(std::string_view key, std::string_view value) {
  std::lock_guard<std::mutex> g(g_lock);
  std::string root = machine_root();
  if (root.empty()) return false;
  refresh();
  auto values = g_cache.values;
  if (value.empty())
    values.erase(std::string(key));
  else
    values[std::string(key)] = std::string(value);
  std::string path = settings_path(root);
  std::string tmp = path + ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    for (const auto& [k, v] : values) out << k << '=' << v << '\n';
    out.flush();
    if (!out) return false;
  }
  if (std::rename(tmp.c_str(), path.c_str()) != 0) return false;
  g_cache.valid = false;  // reread on next use
  return true;
}

}  // namespace morva::platform
