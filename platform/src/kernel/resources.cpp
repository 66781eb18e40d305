#include "win/resources.h"

#include <algorithm>
#include <filesystem>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "registry_spooler/store.h"
#include "win/endian.h"
#include "win/errors.h"
#include "win/machine_settings.h"
#include "win/modules.h"
#include "win/paths.h"
#include "win/resource_container.h"

namespace {

namespace st = morva::platform::store;
using morva::platform::ResourceImage;

struct Entry {
  std::uint32_t type = 0;  // id, or 0 when named
  std::u16string type_name;  // upper-cased
  std::uint32_t name = 0;
  std::u16string name_name;  // upper-cased
  WORD language = 0;
  std::uint32_t offset = 0;
  std::uint32_t size = 0;
  const BYTE* record = nullptr;  // the directory entry: the HRSRC
};

// The bytes of one container; the entries are read from them on every use,
// so that a handle (HRSRC) is simply the address of its directory entry.
struct Image {
  const BYTE* data = nullptr;
  std::size_t size = 0;
};

struct Container {
  std::vector<BYTE> bytes;
};

std::mutex g_lock;
std::set<Container*> g_containers;
std::map<HMODULE, Container*> g_attached;
std::map<std::string, std::unique_ptr<Container>> g_sidecars;  // by native path
std::set<ResourceImage*> g_images;

std::u16string upper(std::u16string s) {
  // Resource names compare as upper case, ASCII being what names use.
  for (auto& c : s)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
  return s;
}

// Reads a NUL-terminated UTF-16 name from the pool; false when it runs out.
bool pool_name(const Image& im, std::size_t pool, std::size_t pool_size, std::uint32_t offset, std::u16string& out) {
  if (offset >= pool_size || (offset & 1)) return false;
  for (std::size_t at = pool + offset; at + 1 < pool + pool_size; at += 2) {
    auto c = static_cast<char16_t>(morva::load_le16(im.data + at));
    if (c == 0) return !out.empty();
    out += c;
  }
  return false;
}

// Checks a container and reads its directory; ERROR_BAD_FORMAT when any
// part lies outside the bytes or is malformed.
DWORD read_directory(const Image& im, std::vector<Entry>* entries) {
  namespace h = morva::xrs::header;
  namespace e = morva::xrs::entry;
  const std::size_t n = im.size;
  const BYTE* b = im.data;
  if (!b || n < morva::xrs::kHeaderSize || std::memcmp(b, morva::xrs::kMagic, 4) != 0) return ERROR_BAD_FORMAT;
  if (morva::load_le16(b + h::version) != morva::xrs::kVersion) return ERROR_BAD_FORMAT;
  std::uint64_t count = morva::load_le32(b + h::count);
  std::uint64_t dir = morva::load_le32(b + h::directory);
  std::uint64_t pool = morva::load_le32(b + h::names);
  std::uint64_t pool_size = morva::load_le32(b + h::names_size);
  if (morva::load_le32(b + h::file_size) != n) return ERROR_BAD_FORMAT;
  if (dir > n || count > (n - dir) / morva::xrs::kEntrySize) return ERROR_BAD_FORMAT;
  if (pool > n || pool_size > n - pool) return ERROR_BAD_FORMAT;
  for (std::uint64_t i = 0; i < count; ++i) {
    const BYTE* p = b + dir + i * morva::xrs::kEntrySize;
    Entry en;
    en.record = p;
    std::uint32_t type = morva::load_le32(p + e::type);
    std::uint32_t name = morva::load_le32(p + e::name);
    if (type & morva::xrs::kNamedResource) {
      if (!pool_name(im, pool, pool_size, type & ~morva::xrs::kNamedResource, en.type_name)) return ERROR_BAD_FORMAT;
      en.type_name = upper(en.type_name);
    } else if (type == 0 || type > 0xFFFF) {
      return ERROR_BAD_FORMAT;
    } else {
      en.type = type;
    }
    if (name & morva::xrs::kNamedResource) {
      if (!pool_name(im, pool, pool_size, name & ~morva::xrs::kNamedResource, en.name_name)) return ERROR_BAD_FORMAT;
      en.name_name = upper(en.name_name);
    } else if (name == 0 || name > 0xFFFF) {
      return ERROR_BAD_FORMAT;
    } else {
      en.name = name;
    }
    en.language = morva::load_le16(p + e::language);
    en.offset = morva::load_le32(p + e::offset);
    en.size = morva::load_le32(p + e::size);
    if (en.offset > n || en.size > n - en.offset || (en.offset % morva::xrs::kDataAlignment)) return ERROR_BAD_FORMAT;
    if (entries) entries->push_back(std::move(en));
  }
  return ERROR_SUCCESS;
}

Image image_of(const Container* c) { return {c->bytes.data(), c->bytes.size()}; }

// The container of a code module: a file beside the library named like it
// with the extension ".xrs" (libmorvaui.so -> libmorvaui.xrs), opened once.
Container* sidecar_of(HMODULE module) {
  std::string path = morva::platform::module_native_path(module);
  if (path.empty()) return nullptr;
  std::string xrs = std::filesystem::path(path).replace_extension(".xrs").string();
  if (xrs == path) return nullptr;
  auto it = g_sidecars.find(xrs);
  if (it != g_sidecars.end()) return it->second.get();
  std::ifstream in(xrs, std::ios::binary);
  if (!in) return nullptr;
  auto c = std::make_unique<Container>();
  c->bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (read_directory(image_of(c.get()), nullptr) != ERROR_SUCCESS) return nullptr;
  return (g_sidecars[xrs] = std::move(c)).get();
}

// The container a module handle stands for: one opened here, one attached
// to a code module, a data-file module's bytes, or a code module's sidecar.
bool image_for(HMODULE module, Image& out) {
  auto* c = reinterpret_cast<Container*>(module);
  if (g_containers.count(c)) {
    out = image_of(c);
    return true;
  }
  auto it = g_attached.find(module);
  if (it != g_attached.end()) {
    out = image_of(it->second);
    return true;
  }
  const BYTE* data = nullptr;
  SIZE_T size = 0;
  if (morva::platform::module_image(module, &data, &size)) {
    out = {data, size};
    return read_directory(out, nullptr) == ERROR_SUCCESS;
  }
  if (Container* side = sidecar_of(module)) {
    out = image_of(side);
    return true;
  }
  return false;
}

// A type or name given as MAKEINTRESOURCE, "#123" or a string.
struct Key {
  std::uint32_t id = 0;
  std::u16string name;
};

bool make_key(LPCWSTR r, Key& k) {
  if (!r) return false;
  if (IS_INTRESOURCE(r)) {
    k.id = static_cast<std::uint32_t>(reinterpret_cast<ULONG_PTR>(r));
    return k.id != 0;
  }
  std::u16string s = st::wstr(r);
  if (s.size() > 1 && s[0] == u'#') {
    std::uint32_t v = 0;
    for (std::size_t i = 1; i < s.size(); ++i) {
      if (s[i] < u'0' || s[i] > u'9' || v > 0xFFFF) return false;
      v = v * 10 + (s[i] - u'0');
    }
    k.id = v;
    return v != 0 && v <= 0xFFFF;
  }
  k.name = upper(s);
  return !s.empty();
}

bool matches(std::uint32_t id, const std::u16string& name, const Key& k) {
  return k.id ? id == k.id : (id == 0 && name == k.name);
}

// Languages tried, best first, when the caller names none.
std::vector<WORD> language_preference() {
  auto user = static_cast<WORD>(morva::platform::machine_setting_number("lcid", 0x0409) & 0xFFFF);
  WORD primary = PRIMARYLANGID(user);
  return {user, MAKELANGID(primary, SUBLANG_NEUTRAL), MAKELANGID(primary, SUBLANG_DEFAULT),
          MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
          MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT)};
}

// Finds an entry; `language` < 0 picks by preference. Sets the last error.
const Entry* find(const std::vector<Entry>& entries, const Key& type, const Key& name, int language) {
  std::vector<const Entry*> named;
  bool type_seen = false;
  for (const auto& e : entries) {
    if (!matches(e.type, e.type_name, type)) continue;
    type_seen = true;
    if (matches(e.name, e.name_name, name)) named.push_back(&e);
  }
  if (named.empty()) {
    SetLastError(type_seen ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
    return nullptr;
  }
  if (language >= 0) {
    for (const Entry* e : named)
      if (e->language == language) return e;
    SetLastError(ERROR_RESOURCE_LANG_NOT_FOUND);
    return nullptr;
  }
  for (WORD want : language_preference())
    for (const Entry* e : named)
      if (e->language == want) return e;
  return named.front();
}

// One lookup: the module's image and its directory, read afresh.
struct Lookup {
  Image image;
  std::vector<Entry> entries;
};

const Entry* locate(HMODULE module, LPCWSTR type, LPCWSTR name, int language, Lookup& l) {
  if (!image_for(module, l.image) || read_directory(l.image, &l.entries) != ERROR_SUCCESS) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  Key t, n;
  if (!make_key(type, t)) {
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return nullptr;
  }
  if (!make_key(name, n)) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  return find(l.entries, t, n, language);
}

// The entry an HRSRC of `module` stands for; false when it is not one of
// that module's directory entries.
bool entry_of(HMODULE module, HRSRC resource, Lookup& l, const Entry*& out) {
  if (!image_for(module, l.image) || read_directory(l.image, &l.entries) != ERROR_SUCCESS) return false;
  for (const auto& e : l.entries)
    if (e.record == reinterpret_cast<const BYTE*>(resource)) {
      out = &e;
      return true;
    }
  return false;
}

HANDLE keep_image(std::unique_ptr<ResourceImage> image) {
  ResourceImage* p = image.release();
  g_images.insert(p);
  return reinterpret_cast<HANDLE>(p);
}

// Checks a packed DIB (BITMAPINFOHEADER, colours, rows) and fills the
// image's size fields; `rows_factor` is 2 for icons (colour rows + mask).
bool read_dib(const BYTE* p, std::size_t size, int rows_factor, ResourceImage& img) {
  if (size < 40) return false;
  std::uint32_t header = morva::load_le32(p);
  if (header < 40 || header > size) return false;
  auto width = static_cast<std::int32_t>(morva::load_le32(p + 4));
  auto height = static_cast<std::int32_t>(morva::load_le32(p + 8));
  WORD bits = morva::load_le16(p + 14);
  std::uint32_t compression = morva::load_le32(p + 16);
  std::uint32_t used = morva::load_le32(p + 32);
  if (width <= 0 || width > 0x8000 || height == 0 || height < -0x8000 || height > 0x8000) return false;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
  std::uint64_t colours = bits <= 8 ? (used ? used : (1u << bits)) : (compression == 3 ? 3 : used);
  if (colours > 256 && bits <= 8) return false;
  std::uint64_t rows = static_cast<std::uint64_t>(height < 0 ? -height : height);
  std::uint64_t stride = ((static_cast<std::uint64_t>(width) * bits + 31) / 32) * 4;
  std::uint64_t need = header + colours * 4;
  if (compression == 0 || compression == 3) {
    if (rows_factor == 2) {
      std::uint64_t mask_stride = ((static_cast<std::uint64_t>(width) + 31) / 32) * 4;
      need += stride * rows / 2 + mask_stride * rows / 2;
    } else {
      need += stride * rows;
    }
  }
  if (need > size) return false;
  img.width = width;
  img.height = static_cast<INT>(rows / static_cast<std::uint64_t>(rows_factor));
  img.bit_count = bits;
  img.dib.assign(p, p + size);
  return true;
}

HANDLE load_bitmap_bytes(const BYTE* p, std::size_t size) {
  auto img = std::make_unique<ResourceImage>();
  img->type = IMAGE_BITMAP;
  if (!read_dib(p, size, 1, *img)) {
    SetLastError(ERROR_INVALID_DATA);
    return nullptr;
  }
  return keep_image(std::move(img));
}

// Chooses the icon of a group closest to the wanted size (32 by default).
HANDLE load_icon_group(const Lookup& l, const Entry* group, int cx, int cy) {
  const BYTE* p = l.image.data + group->offset;
  if (group->size < 6 || morva::load_le16(p + 2) != 1) {
    SetLastError(ERROR_INVALID_DATA);
    return nullptr;
  }
  WORD count = morva::load_le16(p + 4);
  if (count == 0 || 6u + count * 14u > group->size) {
    SetLastError(ERROR_INVALID_DATA);
    return nullptr;
  }
  int want_x = cx > 0 ? cx : 32, want_y = cy > 0 ? cy : 32;
  int best = -1;
  long best_score = 0;
  for (int i = 0; i < count; ++i) {
    const BYTE* d = p + 6 + i * 14;
    int w = d[0] ? d[0] : 256, h = d[1] ? d[1] : 256;
    long score = std::labs(w - want_x) + std::labs(h - want_y);
    if (best < 0 || score < best_score) {
      best = i;
      best_score = score;
    }
  }
  WORD id = morva::load_le16(p + 6 + best * 14 + 12);
  Key t{3, {}}, n{id, {}};
  const Entry* icon = find(l.entries, t, n, group->language);
  if (!icon) icon = find(l.entries, t, n, -1);
  if (!icon) return nullptr;
  auto img = std::make_unique<ResourceImage>();
  img->type = IMAGE_ICON;
  if (!read_dib(l.image.data + icon->offset, icon->size, 2, *img)) {
    SetLastError(ERROR_INVALID_DATA);
    return nullptr;
  }
  return keep_image(std::move(img));
}

// The stand-in of a system icon: a blank 32 x 32 icon.
HANDLE system_icon() {
  auto img = std::make_unique<ResourceImage>();
  img->type = IMAGE_ICON;
  img->width = img->height = 32;
  img->bit_count = 32;
  img->dib.assign(40 + 32 * 32 * 4 + 32 * 4, 0);
  morva::store_le32(&img->dib[0], 40);
  morva::store_le32(&img->dib[4], 32);
  morva::store_le32(&img->dib[8], 64);
  morva::store_le16(&img->dib[12], 1);
  morva::store_le16(&img->dib[14], 32);
  return keep_image(std::move(img));
}

HANDLE load_image_file(LPCWSTR name, UINT type) {
  std::string path;
  DWORD error = ERROR_FILE_NOT_FOUND;
  if (!morva::platform::native_path(st::wstr(name), &path, &error)) {
    SetLastError(error);
    return nullptr;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  std::vector<BYTE> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (type != IMAGE_BITMAP || bytes.size() < 14 || bytes[0] != 'B' || bytes[1] != 'M') {
    SetLastError(ERROR_INVALID_DATA);
    return nullptr;
  }
  return load_bitmap_bytes(bytes.data() + 14, bytes.size() - 14);
}

}  // namespace

extern "C" {

HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type) {
  std::lock_guard<std::mutex> g(g_lock);
  Lookup l;
  const Entry* e = locate(module, type, name, -1, l);
  return e ? reinterpret_cast<HRSRC>(const_cast<BYTE*>(e->record)) : nullptr;
}

HRSRC FindResourceExW(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language) {
  std::lock_guard<std::mutex> g(g_lock);
  // The neutral language asks for the usual choice.
  int lang = language == MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL) ? -1 : language;
  Lookup l;
  const Entry* e = locate(module, type, name, lang, l);
  return e ? reinterpret_cast<HRSRC>(const_cast<BYTE*>(e->record)) : nullptr;
}

HGLOBAL LoadResource(HMODULE module, HRSRC resource) {
  std::lock_guard<std::mutex> g(g_lock);
  Lookup l;
  const Entry* e = nullptr;
  if (!entry_of(module, resource, l, e)) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  return const_cast<BYTE*>(l.image.data + e->offset);
}

LPVOID LockResource(HGLOBAL data) { return data; }

DWORD SizeofResource(HMODULE module, HRSRC resource) {
  std::lock_guard<std::mutex> g(g_lock);
  Lookup l;
  const Entry* e = nullptr;
  if (!entry_of(module, resource, l, e)) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return 0;
  }
  return e->size;
}

BOOL FreeResource(HGLOBAL) { return FALSE; }

INT LoadStringW(HINSTANCE module, UINT id, LPWSTR buffer, INT max_chars) {
  if (!buffer || max_chars < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (max_chars > 0) buffer[0] = 0;
  std::lock_guard<std::mutex> g(g_lock);
  Lookup l;
  const Entry* e = locate(module, RT_STRING, MAKEINTRESOURCEW((id >> 4) + 1), -1, l);
  if (!e) return 0;
  const BYTE* p = l.image.data + e->offset;
  std::size_t at = 0;
  for (UINT i = 0; i < (id & 15); ++i) {
    if (at + 2 > e->size) return 0;
    at += 2 + std::size_t{morva::load_le16(p + at)} * 2;
  }
  if (at + 2 > e->size) return 0;
  std::size_t len = morva::load_le16(p + at);
  at += 2;
  if (len == 0 || at + len * 2 > e->size) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return 0;
  }
  const auto* text = reinterpret_cast<const WCHAR*>(p + at);
  if (max_chars == 0) {
    *reinterpret_cast<const WCHAR**>(buffer) = text;
    return static_cast<INT>(len);
  }
  std::size_t n = std::min<std::size_t>(len, static_cast<std::size_t>(max_chars) - 1);
  std::memcpy(buffer, text, n * sizeof(WCHAR));
  buffer[n] = 0;
  return static_cast<INT>(n);
}

HBITMAP LoadBitmapW(HINSTANCE module, LPCWSTR name) {
  return reinterpret_cast<HBITMAP>(LoadImageW(module, name, IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
}

HICON LoadIconW(HINSTANCE module, LPCWSTR name) {
  return reinterpret_cast<HICON>(LoadImageW(module, name, IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
}

HANDLE LoadImageW(HINSTANCE module, LPCWSTR name, UINT type, INT cx, INT cy, UINT flags) {
  std::lock_guard<std::mutex> g(g_lock);
  if (flags & LR_LOADFROMFILE) return load_image_file(name, type);
  if (type == IMAGE_ICON && !module && IS_INTRESOURCE(name) &&
      reinterpret_cast<ULONG_PTR>(name) >= 32512 && reinterpret_cast<ULONG_PTR>(name) <= 32518)
    return system_icon();
  Lookup l;
  if (type == IMAGE_BITMAP) {
    const Entry* e = locate(module, RT_BITMAP, name, -1, l);
    return e ? load_bitmap_bytes(l.image.data + e->offset, e->size) : nullptr;
  }
  if (type == IMAGE_ICON) {
    const Entry* e = locate(module, RT_GROUP_ICON, name, -1, l);
    return e ? load_icon_group(l, e, cx, cy) : nullptr;
  }
  SetLastError(ERROR_INVALID_PARAMETER);
  return nullptr;
}

HICON CopyIcon(HICON icon) {
  std::lock_guard<std::mutex> g(g_lock);
  auto* p = reinterpret_cast<ResourceImage*>(icon);
  if (!g_images.count(p) || p->type != IMAGE_ICON) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return reinterpret_cast<HICON>(keep_image(std::make_unique<ResourceImage>(*p)));
}

BOOL DestroyIcon(HICON icon) {
  if (!morva::platform::release_resource_image(icon)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

}  // extern "C"

namespace morva::platform {

HMODULE open_resource_container(const std::vector<BYTE>& bytes, DWORD* error) {
  auto c = std::make_unique<Container>();
  c->bytes = bytes;
  DWORD e = read_directory(image_of(c.get()), nullptr);
  if (error) *error = e;
  if (e != ERROR_SUCCESS) return nullptr;
  std::lock_guard<std::mutex> g(g_lock);
  Container* p = c.release();
  g_containers.insert(p);
  return reinterpret_cast<HMODULE>(p);
}

HMODULE open_resource_container(const std::string& native_path, DWORD* error) {
  std::ifstream in(native_path, std::ios::binary);
  if (!in) {
    if (error) *error = ERROR_FILE_NOT_FOUND;
    return nullptr;
  }
  std::vector<BYTE> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return open_resource_container(bytes, error);
}

bool close_resource_container(HMODULE container) {
  std::lock_guard<std::mutex> g(g_lock);
  auto* c = reinterpret_cast<Container*>(container);
  if (!g_containers.erase(c)) return false;
  for (auto it = g_attached.begin(); it != g_attached.end();) {
    if (it->second == c) it = g_attached.erase(it); else ++it;
  }
  delete c;
  return true;
}

bool is_resource_container(HMODULE module) {
  std::lock_guard<std::mutex> g(g_lock);
  return g_containers.count(reinterpret_cast<Container*>(module)) != 0;
}

void attach_module_resources(HMODULE module, HMODULE container) {
  std::lock_guard<std::mutex> g(g_lock);
  auto* c = reinterpret_cast<Container*>(container);
  if (c && g_containers.count(c)) g_attached[module] = c;
  else g_attached.erase(module);
}

const ResourceImage* resource_image(HANDLE image) {
  std::lock_guard<std::mutex> g(g_lock);
  auto* p = reinterpret_cast<ResourceImage*>(image);
  return g_images.count(p) ? p : nullptr;
}

bool release_resource_image(HANDLE image) {
  std::lock_guard<std::mutex> g(g_lock);
  auto* p = reinterpret_cast<ResourceImage*>(image);
  if (!g_images.erase(p)) return false;
  delete p;
  return true;
}

}  // namespace morva::platform
