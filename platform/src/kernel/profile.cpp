#include "win/profile.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "win/codepage.h"
#include "win/errors.h"
#include "win/files.h"
#include "win/paths.h"
#include "win/strings.h"

namespace {

enum class Encoding { kAnsi, kUtf8, kUtf16le, kUtf16be };

struct Line {
  enum Kind { kOther, kComment, kSection, kEntry } kind = kOther;
  std::u16string name;   // section or key name, trimmed
  std::u16string value;  // entry value, trimmed (quotes kept)
  bool has_value = false;
  std::u16string raw;
};

struct Profile {
  bool exists = false;
  Encoding encoding = Encoding::kAnsi;
  std::vector<Line> lines;
};

bool blank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f'; }

std::u16string trim(std::u16string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && blank(s[b])) ++b;
  while (e > b && blank(s[e - 1])) --e;
  return std::u16string(s.substr(b, e - b));
}

std::string profile_path(LPCWSTR file) {
  std::u16string name(morva::u16view(file));
  if (name.find_first_of(u"\\/:") == std::u16string::npos) {
    WCHAR dir[MAX_PATH];
    UINT n = GetWindowsDirectoryW(dir, MAX_PATH);
    name = std::u16string(dir, n < MAX_PATH ? n : 0) + u"\\" + name;
  }
  std::string native;
  return morva::platform::native_path(name, &native) ? native : std::string();
}

Line parse_line(std::u16string raw) {
  Line l;
  l.raw = std::move(raw);
  std::u16string t = trim(l.raw);
  if (t.empty()) return l;
  if (t[0] == u';') {
    l.kind = Line::kComment;
  } else if (t[0] == u'[') {
    l.kind = Line::kSection;
    size_t close = t.find(u']');
    l.name = trim(std::u16string_view(t).substr(1, close == std::u16string::npos ? std::u16string::npos : close - 1));
  } else {
    l.kind = Line::kEntry;
    size_t eq = t.find(u'=');
    if (eq == std::u16string::npos) {
      l.name = t;
    } else {
      l.name = trim(std::u16string_view(t).substr(0, eq));
      l.value = trim(std::u16string_view(t).substr(eq + 1));
      l.has_value = true;
    }
  }
  return l;
}

Profile load(const std::string& path) {
  Profile p;
  std::ifstream in(path, std::ios::binary);
  if (!in) return p;
  p.exists = true;
  std::ostringstream s;
  s << in.rdbuf();
  std::string bytes = s.str();
  std::u16string text;
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
    p.encoding = Encoding::kUtf16le;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
      text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8));
  } else if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE &&
             static_cast<unsigned char>(bytes[1]) == 0xFF) {
    p.encoding = Encoding::kUtf16be;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
      text += static_cast<char16_t>((static_cast<unsigned char>(bytes[i]) << 8) | static_cast<unsigned char>(bytes[i + 1]));
  } else if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    p.encoding = Encoding::kUtf8;
    text = morva::utf8_to_u16(std::string_view(bytes).substr(3));
  } else {
    text = morva::ansi_to_u16(bytes);
  }
  size_t i = 0;
  while (i < text.size()) {
    size_t e = text.find_first_of(u"\r\n", i);
    if (e == std::u16string::npos) e = text.size();
    p.lines.push_back(parse_line(text.substr(i, e - i)));
    if (e < text.size() && text[e] == u'\r' && e + 1 < text.size() && text[e + 1] == u'\n') ++e;
    i = e + 1;
  }
  return p;
}

bool save(const std::string& path, const Profile& p) {
  std::u16string text;
  for (const auto& l : p.lines) text += l.raw + u"\r\n";
  std::string bytes;
  switch (p.encoding) {
    case Encoding::kUtf16le:
    case Encoding::kUtf16be: {
      bool le = p.encoding == Encoding::kUtf16le;
      bytes.push_back(le ? '\xFF' : '\xFE');
      bytes.push_back(le ? '\xFE' : '\xFF');
      for (char16_t c : text) {
        char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
        bytes += le ? lo : hi;
        bytes += le ? hi : lo;
      }
      break;
    }
    case Encoding::kUtf8:
      bytes = "\xEF\xBB\xBF" + morva::u16_to_utf8(text);
      break;
    case Encoding::kAnsi:
      bytes = morva::u16_to_ansi(text);
      break;
  }
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && !(st.st_mode & S_IWUSR)) {
    SetLastError(ERROR_ACCESS_DENIED);  // a read-only file stays as it is
    return false;
  }
  std::string tmp = path + ".tmp";
  FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = (std::fflush(f) == 0) && ok;
  ok = (std::fclose(f) == 0) && ok;
  if (!ok || std::rename(tmp.c_str(), path.c_str()) != 0) {
    std::remove(tmp.c_str());
    SetLastError(ERROR_WRITE_FAULT);
    return false;
  }
  return true;
}

// Index of the first section named `name`, or -1.
long find_section(const Profile& p, std::u16string_view name) {
  for (size_t i = 0; i < p.lines.size(); ++i)
    if (p.lines[i].kind == Line::kSection && morva::u16_iequal(p.lines[i].name, name)) return static_cast<long>(i);
  return -1;
}

// Lines of the section starting at `header` (exclusive) up to the next one.
size_t section_end(const Profile& p, long header) {
  size_t i = static_cast<size_t>(header) + 1;
  while (i < p.lines.size() && p.lines[i].kind != Line::kSection) ++i;
  return i;
}

long find_key(const Profile& p, long header, std::u16string_view key) {
  for (size_t i = static_cast<size_t>(header) + 1; i < section_end(p, header); ++i)
    if (p.lines[i].kind == Line::kEntry && morva::u16_iequal(p.lines[i].name, key)) return static_cast<long>(i);
  return -1;
}

std::u16string unquote(const std::u16string& v) {
  if (v.size() >= 2 && (v[0] == u'"' || v[0] == u'\'') && v.back() == v[0]) return v.substr(1, v.size() - 2);
  return v;
}

// Joins items as a 0-separated list (each item followed by its 0).
std::u16string join(const std::vector<std::u16string>& items) {
  std::u16string all;
  for (const auto& it : items) {
    all += it;
    all += u'\0';
  }
  return all;
}

// Writes a joined list ended by another 0, cut to `size` as Windows does:
// a list that does not fit ends with two 0s and size-2 is returned.
template <class C>
DWORD put_joined(const std::basic_string<C>& all, C* buffer, DWORD size) {
  if (!buffer || size == 0) return 0;
  if (size == 1) {
    buffer[0] = 0;
    return 0;
  }
  if (all.size() + 1 <= size) {
    std::memcpy(buffer, all.data(), all.size() * sizeof(C));
    buffer[all.size()] = 0;
    if (all.empty()) buffer[1] = 0;
    return static_cast<DWORD>(all.size());
  }
  std::memcpy(buffer, all.data(), (size - 2) * sizeof(C));
  buffer[size - 2] = 0;
  buffer[size - 1] = 0;
  return size - 2;
}

DWORD put_list(const std::vector<std::u16string>& items, LPWSTR buffer, DWORD size) {
  return put_joined(join(items), buffer, size);
}

// A single value, cut to size-1 characters and ended by a 0.
template <class C>
DWORD put_value(const std::basic_string<C>& value, C* buffer, DWORD size) {
  if (!buffer || size == 0) return 0;
  size_t n = value.size() < size - 1 ? value.size() : size - 1;
  std::memcpy(buffer, value.data(), n * sizeof(C));
  buffer[n] = 0;
  return static_cast<DWORD>(n);
}

}  // namespace

extern "C" {

DWORD GetPrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR defaultValue, LPWSTR buffer, DWORD size,
                               LPCWSTR fileName) {
  if (!fileName) fileName = u"win.ini";
  std::string path = profile_path(fileName);
  Profile p = load(path);
  if (!p.exists) SetLastError(ERROR_FILE_NOT_FOUND);
  if (!section) {
    std::vector<std::u16string> names;
    for (const auto& l : p.lines)
      if (l.kind == Line::kSection) names.push_back(l.name);
    return put_list(names, buffer, size);
  }
  long header = find_section(p, morva::u16view(section));
  if (!key) {
    std::vector<std::u16string> names;
    if (header >= 0)
      for (size_t i = static_cast<size_t>(header) + 1; i < section_end(p, header); ++i)
        if (p.lines[i].kind == Line::kEntry) names.push_back(p.lines[i].name);
    return put_list(names, buffer, size);
  }
  long at = header >= 0 ? find_key(p, header, morva::u16view(key)) : -1;
  if (at >= 0) {
    if (p.exists) SetLastError(ERROR_SUCCESS);
    return put_value(unquote(p.lines[static_cast<size_t>(at)].value), buffer, size);
  }
  // The default loses its trailing blanks.
  std::u16string dflt(morva::u16view(defaultValue));
  while (!dflt.empty() && dflt.back() == u' ') dflt.pop_back();
  if (p.exists) SetLastError(ERROR_FILE_NOT_FOUND);
  return put_value(dflt, buffer, size);
}

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer, DWORD size,
                               LPCSTR fileName) {
  auto wide = [](LPCSTR s) { return s ? morva::ansi_to_u16(s) : std::u16string(); };
  std::u16string ws = wide(section), wk = wide(key), wd = wide(defaultValue), wf = wide(fileName);
  // Read everything in wide form, then cut the ANSI text by the ANSI rules.
  std::vector<WCHAR> out(1 << 16);
  DWORD n = GetPrivateProfileStringW(section ? ws.c_str() : nullptr, key ? wk.c_str() : nullptr,
                                     defaultValue ? wd.c_str() : nullptr, out.data(), static_cast<DWORD>(out.size()),
                                     fileName ? wf.c_str() : nullptr);
  std::string bytes = n ? morva::u16_to_ansi(std::u16string_view(out.data(), n)) : std::string();
  if (!section || !key) return put_joined(bytes, buffer, size);
  return put_value(bytes, buffer, size);
}

UINT GetPrivateProfileIntW(LPCWSTR section, LPCWSTR key, INT defaultValue, LPCWSTR fileName) {
  WCHAR buf[64];
  if (!section || !key) return static_cast<UINT>(defaultValue);
  DWORD n = GetPrivateProfileStringW(section, key, u"", buf, 64, fileName);
  if (n == 0) return static_cast<UINT>(defaultValue);
  return static_cast<UINT>(static_cast<INT>(morva::u16_to_integer(std::u16string_view(buf, n), 10)));
}

DWORD GetPrivateProfileSectionW(LPCWSTR section, LPWSTR buffer, DWORD size, LPCWSTR fileName) {
  if (!section) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  Profile p = load(profile_path(fileName ? fileName : u"win.ini"));
  std::vector<std::u16string> lines;
  long header = find_section(p, morva::u16view(section));
  if (header >= 0)
    for (size_t i = static_cast<size_t>(header) + 1; i < section_end(p, header); ++i) {
      const Line& l = p.lines[i];
      if (l.kind == Line::kEntry) lines.push_back(l.has_value ? l.name + u"=" + l.value : l.name);
    }
  return put_list(lines, buffer, size);
}

DWORD GetPrivateProfileSectionNamesW(LPWSTR buffer, DWORD size, LPCWSTR fileName) {
  return GetPrivateProfileStringW(nullptr, nullptr, nullptr, buffer, size, fileName);
}

BOOL WritePrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR value, LPCWSTR fileName) {
  if (!section || !fileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::string path = profile_path(fileName);
  if (path.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return FALSE;
  }
  Profile p = load(path);
  long header = find_section(p, morva::u16view(section));
  if (!key) {
    if (header < 0) return TRUE;
    p.lines.erase(p.lines.begin() + header, p.lines.begin() + static_cast<long>(section_end(p, header)));
    return save(path, p) ? TRUE : FALSE;
  }
  long at = header >= 0 ? find_key(p, header, morva::u16view(key)) : -1;
  if (!value) {
    if (at < 0) return TRUE;
    p.lines.erase(p.lines.begin() + at);
    return save(path, p) ? TRUE : FALSE;
  }
  Line entry = parse_line(trim(morva::u16view(key)) + u"=" + std::u16string(morva::u16view(value)));
  if (at >= 0) {
    p.lines[static_cast<size_t>(at)] = entry;
  } else if (header >= 0) {
    // After the section's last entry, before any blank lines that follow it.
    size_t pos = section_end(p, header);
    while (pos > static_cast<size_t>(header) + 1 && p.lines[pos - 1].kind == Line::kOther) --pos;
    p.lines.insert(p.lines.begin() + static_cast<long>(pos), entry);
  } else {
    if (!p.lines.empty() && p.lines.back().kind != Line::kOther) p.lines.push_back(parse_line(u""));
    p.lines.push_back(parse_line(u"[" + std::u16string(morva::u16view(section)) + u"]"));
    p.lines.push_back(entry);
  }
  return save(path, p) ? TRUE : FALSE;
}

}  // extern "C"
