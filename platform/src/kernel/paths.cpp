#include "win/paths.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstring>
#include <mutex>
#include <vector>

#include "win/errors.h"
#include "win/machine_root.h"
#include "win/strings.h"

namespace morva::platform {
namespace {

std::mutex g_cwd_lock;
std::u16string& g_cwd = *new std::u16string(u"C:\\");  // never destroyed: safe at exit

bool is_letter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

bool valid_name(std::u16string_view name) {
  for (char16_t c : name)
    if (c < 32 || c == u'<' || c == u'>' || c == u'"' || c == u'|' || c == u'?' || c == u'*' || c == u':') return false;
  return true;
}

std::vector<std::u16string> split(std::u16string_view s) {
  std::vector<std::u16string> parts;
  size_t i = 0;
  while (i <= s.size()) {
    size_t j = s.find(u'\\', i);
    if (j == std::u16string_view::npos) j = s.size();
    if (j > i) parts.emplace_back(s.substr(i, j - i));
    i = j + 1;
  }
  return parts;
}

std::u16string current_dir() {
  std::lock_guard<std::mutex> g(g_cwd_lock);
  return g_cwd;
}

// Looks `name` up in native folder `dir`: the exact name, else the first
// entry equal to it ignoring case; empty when neither exists.
std::string find_entry(const std::string& dir, const std::string& name) {
  struct stat st {};
  std::string exact = dir + "/" + name;
  if (::lstat(exact.c_str(), &st) == 0) return name;
  DIR* d = ::opendir(dir.empty() ? "/" : dir.c_str());
  if (!d) return {};
  std::u16string want = utf8_to_u16(name);
  std::string found;
  while (dirent* e = ::readdir(d)) {
    if (u16_iequal(utf8_to_u16(e->d_name), want)) {
      found = e->d_name;
      break;
    }
  }
  ::closedir(d);
  return found;
}

}  // namespace

bool full_windows_path(std::u16string_view in, std::u16string* out, DWORD* error) {
  DWORD dummy;
  if (!error) error = &dummy;
  std::u16string p(in);
  for (auto& c : p)
    if (c == u'/') c = u'\\';
  if (p.empty()) {
    *error = ERROR_PATH_NOT_FOUND;
    return false;
  }
  if (p.rfind(u"\\\\?\\UNC\\", 0) == 0)
    p = u"\\\\" + p.substr(8);
  else if (p.rfind(u"\\\\?\\", 0) == 0 || p.rfind(u"\\\\.\\", 0) == 0)
    p = p.substr(4);

  std::u16string root;  // "C:" or "\\server\share"
  std::u16string rest;
  if (p.size() >= 2 && p[0] == u'\\' && p[1] == u'\\') {
    auto parts = split(std::u16string_view(p).substr(2));
    if (parts.size() < 2) {
      *error = ERROR_BAD_PATHNAME;
      return false;
    }
    root = u"\\\\" + parts[0] + u"\\" + parts[1];
    for (size_t i = 2; i < parts.size(); ++i) rest += u"\\" + parts[i];
  } else if (p.size() >= 2 && is_letter(p[0]) && p[1] == u':') {
    root = std::u16string(1, u16_upper(p[0])) + u":";
    if (p.size() > 2 && p[2] == u'\\') {
      rest = p.substr(2);
    } else {
      std::u16string cwd = current_dir();
      rest = (u16_upper(cwd[0]) == root[0] ? cwd.substr(2) : std::u16string()) + u"\\" + p.substr(2);
    }
  } else {
    std::u16string cwd = current_dir();
    root = cwd.substr(0, 2);
    rest = p[0] == u'\\' ? p : cwd.substr(2) + u"\\" + p;
  }
  bool trailing = !rest.empty() && rest.back() == u'\\' && rest.size() > 1;
  std::vector<std::u16string> kept;
  for (auto& part : split(rest)) {
    if (part == u".") continue;
    if (part == u"..") {
      if (!kept.empty()) kept.pop_back();
      continue;
    }
    // Windows drops trailing dots and blanks of every name.
    while (!part.empty() && (part.back() == u'.' || part.back() == u' ')) part.pop_back();
    if (part.empty()) continue;
    if (!valid_name(part)) {
      *error = ERROR_INVALID_NAME;
      return false;
    }
    kept.push_back(part);
  }
  std::u16string result = root;
  for (const auto& k : kept) result += u"\\" + k;
  if (kept.empty() || trailing) result += u"\\";
  *out = result;
  return true;
}

bool native_path(std::u16string_view path, std::string* out, DWORD* error) {
  DWORD dummy;
  if (!error) error = &dummy;
  std::u16string full;
  if (!full_windows_path(path, &full, error)) return false;
  std::string base;
  std::vector<std::u16string> parts;
  if (full[0] == u'\\') {
    auto all = split(std::u16string_view(full).substr(2));
    std::string root = machine_root();
    if (root.empty()) {
      *error = ERROR_BAD_NETPATH;
      return false;
    }
    base = root + "/unc";
    parts = all;
  } else {
    char16_t drive = full[0];
    parts = split(std::u16string_view(full).substr(2));
    if (drive != u'Z') {
      std::string root = machine_root();
      if (root.empty()) {
        *error = ERROR_PATH_NOT_FOUND;
        return false;
      }
      base = root + "/drive_" + static_cast<char>(u16_lower(drive));
    }
  }
  bool looking = true;
  for (const auto& part : parts) {
    std::string name = u16_to_utf8(part);
    if (looking) {
      std::string found = find_entry(base, name);
      if (found.empty())
        looking = false;
      else
        name = found;
    }
    base += "/" + name;
  }
  if (base.empty()) base = "/";
  *out = base;
  return true;
}

std::string native_path(std::u16string_view path) {
  std::string out;
  return native_path(path, &out) ? out : std::string();
}

std::u16string windows_path(const std::string& native) {
  std::string root = machine_root();
  if (!root.empty() && native.size() >= root.size() + 8 && native.compare(0, root.size(), root) == 0 &&
      native.compare(root.size(), 7, "/drive_") == 0) {
    char letter = native[root.size() + 7];
    size_t after = root.size() + 8;
    if (letter >= 'a' && letter <= 'y' && (native.size() == after || native[after] == '/')) {
      std::u16string out(1, static_cast<char16_t>(letter - 'a' + 'A'));
      out += u":";
      std::u16string tail = utf8_to_u16(native.substr(after));
      for (auto& c : tail)
        if (c == u'/') c = u'\\';
      out += tail.empty() ? u"\\" : tail;
      return out;
    }
  }
  std::u16string tail = utf8_to_u16(native);
  for (auto& c : tail)
    if (c == u'/') c = u'\\';
  return u"Z:" + tail;
}

DWORD copy_out_string(std::u16string_view text, LPWSTR buffer, DWORD size) {
  if (!buffer || size < text.size() + 1) return static_cast<DWORD>(text.size() + 1);
  std::memcpy(buffer, text.data(), text.size() * sizeof(char16_t));
  buffer[text.size()] = 0;
  return static_cast<DWORD>(text.size());
}

}  // namespace morva::platform

using namespace morva::platform;

extern "C" {

DWORD GetCurrentDirectoryW(DWORD size, LPWSTR buffer) {
  std::u16string cwd = [] {
    std::lock_guard<std::mutex> g(g_cwd_lock);
    return g_cwd;
  }();
  // The current directory carries no trailing backslash except at a root.
  if (cwd.size() > 3 && cwd.back() == u'\\') cwd.pop_back();
  return copy_out_string(cwd, buffer, size);
}

BOOL SetCurrentDirectoryW(LPCWSTR path) {
  if (!path) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::u16string full;
  std::string native;
  DWORD error = 0;
  if (!full_windows_path(morva::u16view(path), &full, &error) || !native_path(full, &native, &error)) {
    SetLastError(error);
    return FALSE;
  }
  struct stat st {};
  if (::stat(native.c_str(), &st) != 0) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  if (!S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_DIRECTORY);
    return FALSE;
  }
  if (full.back() != u'\\') full += u'\\';
  std::lock_guard<std::mutex> g(g_cwd_lock);
  g_cwd = full;
  return TRUE;
}

DWORD GetFullPathNameW(LPCWSTR path, DWORD size, LPWSTR buffer, LPWSTR* filePart) {
  if (!path || !*path) {
    SetLastError(ERROR_INVALID_NAME);
    return 0;
  }
  std::u16string full;
  DWORD error = 0;
  if (!full_windows_path(morva::u16view(path), &full, &error)) {
    SetLastError(error);
    return 0;
  }
  DWORD n = copy_out_string(full, buffer, size);
  if (filePart) {
    *filePart = nullptr;
    if (n == full.size() && full.back() != u'\\') *filePart = buffer + full.rfind(u'\\') + 1;
  }
  return n;
}

}  // extern "C"
