// The ANSI registry calls: names and string data converted through the
// ANSI code page around the UTF-16 calls.
#include <cstring>
#include <string>
#include <vector>

#include "win/codepage.h"
#include "win/errors.h"
#include "win/registry.h"

namespace {

bool is_text(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// A null name stays null.
struct WideName {
  explicit WideName(LPCSTR s) : null(s == nullptr), text(s ? morva::ansi_to_u16(s) : std::u16string()) {}
  LPCWSTR get() const { return null ? nullptr : text.c_str(); }
  bool null;
  std::u16string text;
};

std::u16string text_to_wide(const BYTE* data, DWORD size) {
  return morva::ansi_to_u16(std::string_view(reinterpret_cast<const char*>(data), size));
}

std::string text_to_ansi(const std::vector<BYTE>& data) {
  std::u16string w(data.size() / 2, u'\0');
  if (!w.empty()) std::memcpy(w.data(), data.data(), w.size() * 2);
  return morva::u16_to_ansi(w);
}

LSTATUS copy_ansi_name(const std::u16string& w, LPSTR out, LPDWORD chars) {
  std::string a = morva::u16_to_ansi(w);
  if (*chars < a.size() + 1) return ERROR_MORE_DATA;
  std::memcpy(out, a.c_str(), a.size() + 1);
  *chars = static_cast<DWORD>(a.size());
  return ERROR_SUCCESS;
}

}  // namespace

extern "C" {

LSTATUS RegCreateKeyExA(HKEY key, LPCSTR sub_key, DWORD reserved, LPSTR, DWORD options, REGSAM sam,
                        const SECURITY_ATTRIBUTES* security, PHKEY result, LPDWORD disposition) {
  WideName sub(sub_key);
  return RegCreateKeyExW(key, sub.get(), reserved, nullptr, options, sam, security, result, disposition);
}

LSTATUS RegCreateKeyA(HKEY key, LPCSTR sub_key, PHKEY result) {
  WideName sub(sub_key);
  return RegCreateKeyW(key, sub.get(), result);
}

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR sub_key, DWORD options, REGSAM sam, PHKEY result) {
  WideName sub(sub_key);
  return RegOpenKeyExW(key, sub.get(), options, sam, result);
}

LSTATUS RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
  if (data && !size) return ERROR_INVALID_PARAMETER;
  WideName n(name);
  DWORD wtype = 0, wsize = 0;
  LSTATUS rc = RegQueryValueExW(key, n.get(), nullptr, &wtype, nullptr, &wsize);
  if (rc != ERROR_SUCCESS) return rc;
  std::vector<BYTE> wide(wsize);
  rc = RegQueryValueExW(key, n.get(), nullptr, &wtype, wide.data(), &wsize);
  if (rc != ERROR_SUCCESS) return rc;
  wide.resize(wsize);
  if (type) *type = wtype;
  std::vector<BYTE> out = wide;
  if (is_text(wtype)) {
    std::string a = text_to_ansi(wide);
    out.assign(a.begin(), a.end());
  }
  if (!size) return ERROR_SUCCESS;
  auto needed = static_cast<DWORD>(out.size());
  if (!data) {
    *size = needed;
    return ERROR_SUCCESS;
  }
  if (*size < needed) {
    *size = needed;
    return ERROR_MORE_DATA;
  }
  if (needed) std::memcpy(data, out.data(), needed);
  *size = needed;
  return ERROR_SUCCESS;
}

LSTATUS RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size) {
  if (!data && size) return ERROR_NOACCESS;
  WideName n(name);
  if (!is_text(type) || !data) return RegSetValueExW(key, n.get(), reserved, type, data, size);
  std::u16string w = text_to_wide(data, size);
  return RegSetValueExW(key, n.get(), reserved, type, reinterpret_cast<const BYTE*>(w.data()),
                        static_cast<DWORD>(w.size() * sizeof(WCHAR)));
}

LSTATUS RegDeleteValueA(HKEY key, LPCSTR name) {
  WideName n(name);
  return RegDeleteValueW(key, n.get());
}

LSTATUS RegDeleteKeyA(HKEY key, LPCSTR sub_key) {
  WideName sub(sub_key);
  return RegDeleteKeyW(key, sub.get());
}

LSTATUS RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD name_chars, LPDWORD, LPSTR class_name,
                      LPDWORD class_chars, FILETIME* last_write) {
  if (!name || !name_chars) return ERROR_INVALID_PARAMETER;
  WCHAR wide[256];
  DWORD chars = 256;
  LSTATUS rc = RegEnumKeyExW(key, index, wide, &chars, nullptr, nullptr, nullptr, last_write);
  if (rc != ERROR_SUCCESS) return rc;
  if (class_name && class_chars && *class_chars) class_name[0] = 0;
  if (class_chars) *class_chars = 0;
  return copy_ansi_name(std::u16string(wide, chars), name, name_chars);
}

LSTATUS RegQueryInfoKeyA(HKEY key, LPSTR class_name, LPDWORD class_chars, LPDWORD reserved, LPDWORD sub_keys,
                         LPDWORD max_sub_key_len, LPDWORD max_class_len, LPDWORD values,
                         LPDWORD max_value_name_len, LPDWORD max_value_len, LPDWORD security_descriptor,
                         FILETIME* last_write) {
  if (class_name && class_chars && *class_chars) class_name[0] = 0;
  return RegQueryInfoKeyW(key, nullptr, class_chars, reserved, sub_keys, max_sub_key_len, max_class_len, values,
                          max_value_name_len, max_value_len, security_descriptor, last_write);
}

}  // extern "C"
