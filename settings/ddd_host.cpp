#include "settings/ddd_host.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <mutex>

#include "win/endian.h"
#include "win/machine_root.h"
#include "win/memory.h"

namespace {

std::recursive_mutex g_database_lock;
std::mutex g_directory_lock;
std::u16string g_directory_override;

// Windows-1252 for 0x80-0x9F; the rest of the code page is Latin-1. Bytes
// with no character map to the control character of the same value, as the
// system's own conversion does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::string to_utf8(std::u16string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// A Windows path "X:\a\b" lies under the machine root as drive_x/a/b; any
// other path is taken as a native one.
std::string native_path(LPCWSTR path) {
  std::u16string_view view(path);
  std::string out;
  if (view.size() >= 3 && view[1] == u':' && (view[2] == u'\\' || view[2] == u'/') &&
      ((view[0] >= u'A' && view[0] <= u'Z') || (view[0] >= u'a' && view[0] <= u'z'))) {
    char drive = static_cast<char>(view[0] | 0x20);
    out = morva::platform::machine_root() + "/drive_" + drive;
    view.remove_prefix(2);
  }
  out += to_utf8(view);
  for (char& c : out)
    if (c == '\\') c = '/';
  return out;
}

// The interim string library in memory.
struct StringLibrary {
  std::vector<std::pair<UINT, std::u16string>> strings;
};

}  // namespace

void DddEnterLock() { g_database_lock.lock(); }
void DddLeaveLock() { g_database_lock.unlock(); }

BOOL DddGetModuleDirectory(WCHAR* buffer, DWORD bytes) {
  if (!buffer || bytes < 2) return FALSE;
  std::u16string dir;
  {
    std::lock_guard<std::mutex> g(g_directory_lock);
    dir = g_directory_override;
  }
  if (dir.empty()) {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&DddGetModuleDirectory), &info) || !info.dli_fname)
      return FALSE;
    std::string file = info.dli_fname;
    size_t slash = file.rfind('/');
    if (slash == std::string::npos) return FALSE;
    for (size_t i = 0; i <= slash; ++i) dir += static_cast<char16_t>(static_cast<unsigned char>(file[i]));
  }
  if (dir.back() != u'\\' && dir.back() != u'/') dir += dir.find(u'\\') != std::u16string::npos ? u'\\' : u'/';
  DWORD chars = bytes / 2;
  if (dir.size() + 1 > chars) return FALSE;
  std::memcpy(buffer, dir.data(), dir.size() * 2);
  buffer[dir.size()] = 0;
  return TRUE;
}

WCHAR* DddAnsiToWide(const char* text, DWORD length, DWORD* chars) {
  auto* out = static_cast<WCHAR*>(GlobalAlloc(GPTR, (static_cast<SIZE_T>(length) + 1) * 2));
  if (!out) return nullptr;
  DWORD n = 0;
  for (; n < length && text[n]; ++n) {
    auto b = static_cast<unsigned char>(text[n]);
    out[n] = (b >= 0x80 && b < 0xA0) ? kCp1252High[b - 0x80] : static_cast<WCHAR>(b);
  }
  out[n] = 0;
  if (chars) *chars = n;
  return out;
}

WORD DddReadWholeFile(LPCWSTR path, BYTE** image, DWORD* size) {
  *image = nullptr;
  *size = 0;
  std::FILE* f = std::fopen(native_path(path).c_str(), "rb");
  if (!f) return 1;
  WORD status = 1;
  if (std::fseek(f, 0, SEEK_END) == 0) {
    long length = std::ftell(f);
    // An image is addressed with 32-bit offsets.
    if (length >= 0 && static_cast<unsigned long>(length) <= 0x7FFFFFFFul &&
        std::fseek(f, 0, SEEK_SET) == 0) {
      auto* block = static_cast<BYTE*>(GlobalAlloc(GPTR, length > 0 ? length : 1));
      if (!block) {
        status = 4;
      } else if (std::fread(block, 1, length, f) == static_cast<size_t>(length)) {
        *image = block;
        *size = static_cast<DWORD>(length);
        status = 0;
      } else {
        GlobalFree(block);
      }
    }
  }
  std::fclose(f);
  return status;
}

HMODULE DddLoadStringLibrary(LPCWSTR path) {
  BYTE* image = nullptr;
  DWORD size = 0;
  if (!path || DddReadWholeFile(path, &image, &size) != 0) return nullptr;
  StringLibrary* library = nullptr;
  if (size >= 12 && std::memcmp(image, "MVSTRLIB", 8) == 0) {
    library = new StringLibrary;
    DWORD count = morva::load_le32(image + 8);
    DWORD at = 12;
    for (DWORD i = 0; i < count; ++i) {
      if (size - at < 6) break;
      UINT id = morva::load_le32(image + at);
      WORD chars = morva::load_le16(image + at + 4);
      at += 6;
      if ((size - at) / 2 < chars) break;
      std::u16string text(chars, u'\0');
      for (WORD c = 0; c < chars; ++c) text[c] = morva::load_le16(image + at + 2 * c);
      at += 2u * chars;
      library->strings.emplace_back(id, std::move(text));
    }
  }
  GlobalFree(image);
  return reinterpret_cast<HMODULE>(library);
}

int DddLoadLibraryString(HMODULE library, UINT id, WCHAR* buffer, int chars) {
  if (!library || !buffer || chars <= 0) return 0;
  buffer[0] = 0;
  for (const auto& [key, text] : reinterpret_cast<StringLibrary*>(library)->strings) {
    if (key != id) continue;
    int n = static_cast<int>(text.size()) < chars - 1 ? static_cast<int>(text.size()) : chars - 1;
    std::memcpy(buffer, text.data(), static_cast<size_t>(n) * 2);
    buffer[n] = 0;
    return n;
  }
  return 0;
}

void DddFreeStringLibrary(HMODULE library) { delete reinterpret_cast<StringLibrary*>(library); }

namespace morva::settings {

void ddd_set_module_directory(const std::u16string& directory) {
  std::lock_guard<std::mutex> g(g_directory_lock);
  g_directory_override = directory;
}

std::string ddd_string_library_image(const std::vector<std::pair<UINT, std::u16string>>& strings) {
  std::string out = "MVSTRLIB";
  char word[4];
  morva::store_le32(word, static_cast<std::uint32_t>(strings.size()));
  out.append(word, 4);
  for (const auto& [id, text] : strings) {
    morva::store_le32(word, id);
    out.append(word, 4);
    morva::store_le16(word, static_cast<std::uint16_t>(text.size()));
    out.append(word, 2);
    for (char16_t c : text) {
      morva::store_le16(word, c);
      out.append(word, 2);
    }
  }
  return out;
}

}  // namespace morva::settings
