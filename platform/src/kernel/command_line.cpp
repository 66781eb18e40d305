#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

#include "win/command_line.h"
#include "win/errors.h"
#include "win/memory.h"
#include "win/modules.h"
#include "win/paths.h"
#include "win/strings.h"

namespace {

bool is_blank(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string quote(const std::u16string& arg) {
  if (!arg.empty() && arg.find_first_of(u" \t\"") == std::u16string::npos) return arg;
  std::u16string out = u"\"";
  size_t backslashes = 0;
  for (char16_t c : arg) {
    if (c == u'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == u'"' ? 2 * backslashes + 1 : backslashes, u'\\');
    backslashes = 0;
    out += c;
  }
  out.append(2 * backslashes, u'\\');
  return out + u"\"";
}

std::u16string build_command_line() {
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> args;
  for (size_t start = 0; start < raw.size();) {
    size_t end = raw.find('\0', start);
    if (end == std::string::npos) end = raw.size();
    args.push_back(raw.substr(start, end - start));
    start = end + 1;
  }
  // The program by its Windows path, as the system starts it.
  std::u16string line = quote(morva::platform::windows_path(morva::platform::module_native_path(nullptr)));
  for (size_t i = 1; i < args.size(); ++i) line += u" " + quote(morva::utf8_to_u16(args[i]));
  return line;
}

}  // namespace

LPWSTR GetCommandLineW() {
  static std::u16string line = build_command_line();
  return line.data();
}

LPWSTR* CommandLineToArgvW(LPCWSTR command_line, int* argc) {
  if (!argc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::vector<std::u16string> args;
  const char16_t* p = command_line ? command_line : u"";
  // The program name: no escapes, quotes only group.
  {
    std::u16string name;
    if (*p == u'"') {
      for (++p; *p && *p != u'"'; ++p) name += *p;
      if (*p) ++p;
    } else {
      for (; *p && !is_blank(*p); ++p) name += *p;
    }
    args.push_back(name);
  }
  for (;;) {
    while (is_blank(*p)) ++p;
    if (!*p) break;
    std::u16string arg;
    bool quoted = false;
    while (*p && (quoted || !is_blank(*p))) {
      if (*p == u'\\') {
        size_t n = 0;
        while (*p == u'\\') ++n, ++p;
        if (*p == u'"') {
          arg.append(n / 2, u'\\');
          if (n % 2) {
            arg += u'"';
            ++p;
          }
        } else {
          arg.append(n, u'\\');
        }
      } else if (*p == u'"') {
        if (quoted && p[1] == u'"') {
          arg += u'"';
          p += 2;
        } else {
          quoted = !quoted;
          ++p;
        }
      } else {
        arg += *p++;
      }
    }
    args.push_back(arg);
  }
  size_t chars = 0;
  for (const auto& a : args) chars += a.size() + 1;
  size_t table = (args.size() + 1) * sizeof(LPWSTR);
  auto* block = static_cast<BYTE*>(LocalAlloc(LPTR, table + chars * sizeof(WCHAR)));
  if (!block) return nullptr;
  auto** argv = reinterpret_cast<LPWSTR*>(block);
  auto* text = reinterpret_cast<WCHAR*>(block + table);
  for (size_t i = 0; i < args.size(); ++i) {
    argv[i] = text;
    std::memcpy(text, args[i].data(), args[i].size() * sizeof(WCHAR));
    text += args[i].size() + 1;
  }
  *argc = static_cast<int>(args.size());
  return argv;
}
