// Database strings: inverted ANSI text or references into string libraries,
// read through the pair's four-slot buffer pool.
#include <cstring>

#include "settings/database/ddd_file.h"
#include "settings/database/ddd_host.h"
#include "win/endian.h"
#include "win/memory.h"

namespace {

constexpr int kMaxLibraryString = 512;  // characters, terminator included
constexpr size_t kMaxPath = MAX_PATH;   // joined paths stay below this
constexpr WORD kDllNamesField = 35;

WCHAR* copy_wide(const WCHAR* text, int chars, WORD* bytes) {
  auto* out = static_cast<WCHAR*>(GlobalAlloc(GPTR, (static_cast<SIZE_T>(chars) + 1) * 2));
  if (!out) return nullptr;
  std::memcpy(out, text, static_cast<size_t>(chars) * 2);
  *bytes = static_cast<WORD>(chars * 2 + 2);
  return out;
}

// Reads element `index` of field 35 of `file` as plain text (a file name);
// the caller's cursor is kept. Names are never themselves references, so a
// reference cannot lead back to itself.
WCHAR* read_dll_name(const DddFile* file, WORD index) {
  DddFile copy = *file;
  WORD size = 0;
  if (DddSeekFieldElement(&copy, kDllNamesField, index, &size) || size == 0) return nullptr;
  if (DddSeek(&copy, TRUE, 2) || copy.size - copy.cursor < size) return nullptr;
  WCHAR* name = nullptr;
  WORD bytes = 0;
  if (DddDecodeString(copy.image + copy.cursor, size, &name, &bytes)) return nullptr;
  if (!name[0]) {
    GlobalFree(name);
    return nullptr;
  }
  return name;
}

// Module directory + name, when shorter than MAX_PATH characters.
bool join_module_path(const WCHAR* name, WCHAR (&path)[kMaxPath]) {
  WCHAR dir[kMaxPath] = {};
  if (!DddGetModuleDirectory(dir, sizeof(dir))) return false;
  size_t d = 0, n = 0;
  while (dir[d]) ++d;
  while (name[n]) ++n;
  if (d + n >= kMaxPath) return false;
  std::memcpy(path, dir, d * 2);
  std::memcpy(path + d, name, n * 2);
  path[d + n] = 0;
  return true;
}

HMODULE load_named_library(const WCHAR* name) {
  WCHAR path[kMaxPath];
  if (!name || !join_module_path(name, path)) return nullptr;
  return DddLoadStringLibrary(path);
}

// Loads string `id` of `library` into a pool buffer and returns a
// GlobalAlloc'ed copy (empty when the library lacks the string); null when
// no buffer or memory is left.
WCHAR* load_library_string(DddStringPool* pool, HMODULE library, UINT id, WORD* bytes) {
  BYTE* buffer = DddPoolTake(pool, kMaxLibraryString * 2);
  if (!buffer) return nullptr;
  auto* text = reinterpret_cast<WCHAR*>(buffer);
  int chars = DddLoadLibraryString(library, id, text, kMaxLibraryString);
  if (chars < 0) chars = 0;
  WCHAR* out = copy_wide(text, chars, bytes);
  DddPoolRelease(pool, buffer);
  return out;
}

}  // namespace

BYTE* DddPoolTake(DddStringPool* pool, DWORD size) {
  if (!pool || size > 0xFFFF) return nullptr;
  if (size < DDD_POOL_MIN_BUFFER) size = DDD_POOL_MIN_BUFFER;
  for (auto& slot : pool->slots) {
    if (slot.in_use) continue;
    if (!slot.buffer || slot.capacity < size) {
      if (slot.buffer) GlobalFree(slot.buffer);
      slot.buffer = static_cast<BYTE*>(GlobalAlloc(GPTR, size));
      slot.capacity = slot.buffer ? static_cast<WORD>(size) : 0;
      if (!slot.buffer) continue;
    }
    slot.in_use = TRUE;
    return slot.buffer;
  }
  return nullptr;
}

void DddPoolRelease(DddStringPool* pool, const BYTE* buffer) {
  if (!pool || !buffer) return;
  for (auto& slot : pool->slots)
    if (slot.buffer == buffer) slot.in_use = FALSE;
}

DddStatus DddDecodeString(const BYTE* stored, WORD n, WCHAR** out, WORD* length) {
  *out = nullptr;
  char text[0x10000];
  WORD end = n;
  for (WORD i = 0; i < n; ++i) {
    text[i] = static_cast<char>(~stored[i]);
    if (text[i] == 0 && end == n) end = i;
  }
  // A text must hold its terminator within the stored bytes.
  if (end == n) return DDD_BAD;
  DWORD chars = 0;
  WCHAR* wide = DddAnsiToWide(text, end, &chars);
  if (!wide) return DDD_NO_MEMORY;
  *out = wide;
  *length = static_cast<WORD>(chars * 2 + 2);
  return DDD_OK;
}

namespace {

// Resolves a string reference; null when the bytes are not a resolvable
// reference (the caller then decodes them as text).
WCHAR* DddResolveStringReference(DddFile* file, const BYTE* stored, WORD n, WORD* bytes) {
  if (n <= 5 || stored[n - 1] != 0) return nullptr;
  WORD library_number = morva::load_le16(stored + n - 5);
  WORD id = morva::load_le16(stored + n - 3);
  if (library_number == 0 || id == 0) return nullptr;
  DddStringPool* pool = file->pool;
  if (library_number == 1) {
    // DatabaseStringLibrary: loaded once per pair; a failure stops every
    // later reference of the pair.
    if (!pool->library) {
      const DddFile* main = file->main ? file->main : file;
      WCHAR* name = read_dll_name(main, 0);
      pool->library = load_named_library(name);
      if (name) GlobalFree(name);
      if (!pool->library) {
        pool->retry = FALSE;
        return nullptr;
      }
    }
    return load_library_string(pool, pool->library, id, bytes);
  }
  WCHAR* name = read_dll_name(file, static_cast<WORD>(library_number - 1));
  HMODULE library = load_named_library(name);
  if (name) GlobalFree(name);
  if (!library) return nullptr;
  WCHAR* out = load_library_string(pool, library, id, bytes);
  DddFreeStringLibrary(library);
  return out;
}

}  // namespace

DddStatus DddReadString(DddFile* file, WCHAR** out, WORD* length) {
  if (!out || !length) return DDD_BAD;
  *out = nullptr;
  if (!file || !file->open || !file->pool || *length == 0) return DDD_BAD;
  WORD n = *length;
  BYTE* stored = DddPoolTake(file->pool, n);
  if (!stored) return DDD_NO_MEMORY;
  DddStatus s = DddRead(file, stored, n);
  if (!s && file->pool->retry) {
    WORD bytes = 0;
    if (WCHAR* text = DddResolveStringReference(file, stored, n, &bytes)) {
      *out = text;
      *length = bytes;
      DddPoolRelease(file->pool, stored);
      return DDD_OK;
    }
  }
  if (!s) {
    WORD bytes = 0;
    s = DddDecodeString(stored, n, out, &bytes);
    if (!s) *length = bytes;
  }
  DddPoolRelease(file->pool, stored);
  return s;
}

DddStatus DddReadFieldString(DddFile* file, WORD field, WORD index, WCHAR** out) {
  if (!out) return DDD_BAD;
  *out = nullptr;
  if (field >= DDD_GLOBAL_FIELD_COUNT || kDddGlobalFields[field].size != 0) return DDD_BAD;
  WORD size = 0;
  DddStatus s = DddSeekFieldElement(file, field, index, &size);
  if (!s) s = DddSeek(file, TRUE, 2);
  if (s) return s;
  if (size == 0) return DDD_NOT_FOUND;
  return DddReadString(file, out, &size);
}
