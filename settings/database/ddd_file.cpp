// The file layer of the device database: loading the pair, the cursor, the
// global field area and the kind tables.
#include <cstring>

#include "settings/database/ddd_file.h"
#include "settings/database/ddd_host.h"
#include "settings/database/ddd_records.h"
#include "settings/database/model_config.h"
#include "win/endian.h"
#include "win/errors.h"
#include "win/memory.h"
#include "win/spooler.h"

namespace {

// Level of the main file opened last; written and read under lock 0.
DWORD g_process_level = 0;

bool is_open(const DddFile* file) { return file && file->open && file->image; }

bool has_ddd_extension(LPCWSTR path) {
  const WCHAR* dot = nullptr;
  for (const WCHAR* p = path; *p; ++p)
    if (*p == u'.') dot = p;
  if (!dot) return false;
  static constexpr char16_t kExt[] = u"DDD";
  const WCHAR* e = dot + 1;
  for (int i = 0; i < 3; ++i) {
    WCHAR c = e[i];
    if (c >= u'a' && c <= u'z') c = static_cast<WCHAR>(c - u'a' + u'A');
    if (c != kExt[i]) return false;
  }
  return e[3] == 0;
}

size_t wide_length(LPCWSTR text) {
  size_t n = 0;
  while (text[n]) ++n;
  return n;
}

DddStringPool* create_pool() {
  auto* pool = static_cast<DddStringPool*>(GlobalAlloc(GPTR, sizeof(DddStringPool)));
  if (pool) pool->retry = TRUE;
  return pool;
}

void destroy_pool(DddStringPool* pool) {
  if (!pool) return;
  for (auto& slot : pool->slots)
    if (slot.buffer) GlobalFree(slot.buffer);
  if (pool->library) DddFreeStringLibrary(pool->library);
  GlobalFree(pool);
}

}  // namespace

DWORD DddGetProcessFormatLevel() {
  DddEnterLock();
  DWORD level = g_process_level;
  DddLeaveLock();
  return level;
}

// ---------------------------------------------------------------- cursor

DddStatus DddSeek(DddFile* file, BOOL relative, LONG offset) {
  if (!is_open(file)) return DDD_BAD;
  long long target = (relative ? static_cast<long long>(file->cursor) : 0) + offset;
  if (target < 0 || target > static_cast<long long>(file->size)) return DDD_BAD;
  file->cursor = static_cast<DWORD>(target);
  return DDD_OK;
}

DddStatus DddSeekBack(DddFile* file, DWORD n) {
  if (!is_open(file) || n > file->cursor) return DDD_BAD;
  file->cursor -= n;
  return DDD_OK;
}

DddStatus DddRead(DddFile* file, void* buffer, DWORD n) {
  if (!is_open(file) || !buffer || n == 0) return DDD_BAD;
  if (file->cursor > file->size || file->size - file->cursor < n) return DDD_BAD;
  std::memcpy(buffer, file->image + file->cursor, n);
  file->cursor += n;
  return DDD_OK;
}

DddStatus DddReadByte(DddFile* file, BYTE* out) { return DddRead(file, out, 1); }

DddStatus DddReadWord(DddFile* file, WORD* out) {
  BYTE b[2];
  DddStatus s = DddRead(file, b, 2);
  if (s == DDD_OK) *out = morva::load_le16(b);
  return s;
}

DddStatus DddReadDword(DddFile* file, DWORD* out) {
  BYTE b[4];
  DddStatus s = DddRead(file, b, 4);
  if (s == DDD_OK) *out = morva::load_le32(b);
  return s;
}

// ---------------------------------------------------------------- positioning

DddStatus DddSeekGlobalArea(DddFile* file, DWORD offset) {
  if (offset > 0x7FFFFFFFu - DDD_HEADER_SIZE) return DDD_BAD;
  return DddSeek(file, FALSE, static_cast<LONG>(DDD_HEADER_SIZE + offset));
}

namespace {

// Skips one element of a field at the cursor.
DddStatus skip_field_element(DddFile* file, const DddFieldShape& shape) {
  WORD size = shape.size;
  if (size == 0) {
    DddStatus s = DddReadWord(file, &size);
    if (s) return s;
  }
  return DddSeek(file, TRUE, size);
}

// Skips a whole field at its start.
DddStatus skip_field(DddFile* file, const DddFieldShape& shape) {
  WORD count = shape.count;
  if (count == 0) {
    DddStatus s = DddReadWord(file, &count);
    if (s) return s;
  }
  if (shape.size != 0) return DddSeek(file, TRUE, static_cast<LONG>(count) * shape.size);
  for (WORD i = 0; i < count; ++i) {
    DddStatus s = skip_field_element(file, shape);
    if (s) return s;
  }
  return DDD_OK;
}

}  // namespace

DddStatus DddSeekGlobalField(DddFile* file, WORD field) {
  if (field >= DDD_GLOBAL_FIELD_COUNT) return DDD_BAD;
  DddStatus s = DddSeekGlobalArea(file, 0);
  for (WORD id = 0; s == DDD_OK && id < field; ++id) s = skip_field(file, kDddGlobalFields[id]);
  return s;
}

DddStatus DddSeekFieldElement(DddFile* file, WORD field, WORD index, WORD* element_size) {
  DddStatus s = DddSeekGlobalField(file, field);
  if (s) return s;
  const DddFieldShape& shape = kDddGlobalFields[field];
  WORD count = shape.count;
  if (count == 0 && (s = DddReadWord(file, &count))) return s;
  if (index >= count) return DDD_NOT_FOUND;
  if (shape.size != 0) {
    if (element_size) *element_size = shape.size;
    return DddSeek(file, TRUE, static_cast<LONG>(index) * shape.size);
  }
  for (WORD i = 0; i < index; ++i)
    if ((s = skip_field_element(file, shape))) return s;
  WORD size = 0;
  if ((s = DddReadWord(file, &size)) || (s = DddSeekBack(file, 2))) return s;
  if (element_size) *element_size = size;
  return DDD_OK;
}

DddStatus DddSeekDirectory(DddFile* file) {
  DWORD length = 0;
  DddStatus s = DddSeekGlobalArea(file, 0);
  if (!s) s = DddReadDword(file, &length);
  if (!s) s = length > 0x7FFFFFFFu ? DDD_BAD : DddSeek(file, TRUE, static_cast<LONG>(length));
  return s;
}

DddStatus DddSeekKindTable(DddFile* file, WORD kind) {
  DddStatus s = DddSeekDirectory(file);
  WORD count = 0;
  if (!s) s = DddSeek(file, TRUE, 4);
  if (!s) s = DddReadWord(file, &count);
  if (s) return s;
  WORD position = DDD_KIND_TABLE_COUNT;
  for (WORD i = 0; i < DDD_KIND_TABLE_COUNT; ++i)
    if (kDddKindOrder[i] == kind) position = i;
  if (position == DDD_KIND_TABLE_COUNT) return DDD_NOT_FOUND;
  DWORD offset = 0;
  s = DddSeek(file, TRUE, static_cast<LONG>(position * DDD_DIRECTORY_ENTRY_SIZE + 3));
  if (!s) s = DddReadDword(file, &offset);
  if (!s) s = offset > 0x7FFFFFFBu ? DDD_BAD : DddSeek(file, FALSE, static_cast<LONG>(offset + 4));
  return s;
}

DddStatus DddFindRecordById(DddFile* file, WORD kind, WORD id) {
  WORD count = 0;
  DddStatus s = DddSeekKindTable(file, kind);
  if (!s) s = DddReadWord(file, &count);
  if (s) return s;
  for (WORD i = 0; i < count; ++i) {
    WORD entry_id = 0;
    if ((s = DddSeek(file, TRUE, 1)) || (s = DddReadWord(file, &entry_id))) return s;
    if (entry_id == id) return DddSeekBack(file, 3);
    if ((s = DddSeek(file, TRUE, 4))) return s;
  }
  return DDD_NOT_FOUND;
}

DddStatus DddFindRecordByIndex(DddFile* file, WORD kind, WORD n) {
  WORD count = 0;
  DddStatus s = DddSeekKindTable(file, kind);
  if (!s) s = DddReadWord(file, &count);
  if (s) return s;
  // Positions are 1-based: 0 names no record.
  if (n == 0 || n > count) return DDD_NOT_FOUND;
  return DddSeek(file, TRUE, static_cast<LONG>((n - 1) * DDD_TABLE_ENTRY_SIZE));
}

DddFile* DddFileForFlag(DddFile* main, DddFile* linked, WORD flag) {
  return flag == DDD_ROLE_MAIN ? main : linked;
}

DddStatus DddSeekRecord(BOOL by_index, DddFile* main, DddFile* linked, WORD table_role, WORD kind,
                        WORD key, WORD* out_flag) {
  DddFile* table = table_role == DDD_ROLE_MAIN ? main : linked;
  if (!is_open(table)) return DDD_BAD;
  DddStatus s = by_index ? DddFindRecordByIndex(table, kind, key) : DddFindRecordById(table, kind, key);
  if (s) return s;
  BYTE flag = 0;
  WORD id = 0;
  DWORD offset = 0;
  if ((s = DddReadByte(table, &flag)) || (s = DddReadWord(table, &id)) ||
      (s = DddReadDword(table, &offset)))
    return s;
  WORD role = flag == DDD_ROLE_MAIN ? DDD_ROLE_MAIN : DDD_ROLE_LINKED;
  DddFile* holder = DddFileForFlag(main, linked, role);
  if (!is_open(holder) || offset > 0x7FFFFFFFu) return DDD_BAD;
  if ((s = DddSeek(holder, FALSE, static_cast<LONG>(offset)))) return s;
  if (out_flag) *out_flag = role;
  return DDD_OK;
}

DddStatus DddSeekRecordOrChoice(DddFile* main, DddFile* linked, WORD table_role, WORD kind, WORD id,
                                WORD choice, WORD* out_flag) {
  WORD flag = 0;
  DddStatus s = DddSeekRecord(FALSE, main, linked, table_role, kind, id, &flag);
  if (s) return s;
  if (out_flag) *out_flag = flag;
  if (choice == 0) return DDD_OK;
  if (kind != DDD_KIND_ITEM && kind != DDD_KIND_ITEM_ALT) return DDD_BAD;
  DddFile* item = DddFileForFlag(main, linked, flag);
  WORD name_length = 0, count = 0, choice_id = 0;
  if ((s = DddSeek(item, TRUE, 6)) || (s = DddReadWord(item, &name_length)) ||
      (s = DddSeek(item, TRUE, static_cast<LONG>(name_length) + 9)) || (s = DddReadWord(item, &count)))
    return s;
  if (count < choice) return DDD_NOT_FOUND;
  if ((s = DddSeek(item, TRUE, static_cast<LONG>(choice - 1) * 2)) || (s = DddReadWord(item, &choice_id)))
    return s;
  WORD choice_kind = kind == DDD_KIND_ITEM ? DDD_KIND_CHOICE : DDD_KIND_CHOICE_ALT;
  return DddSeekRecordOrChoice(main, linked, flag, choice_kind, choice_id, 0, out_flag);
}

// ---------------------------------------------------------------- header

DWORD DddReadBigEndian32(const BYTE* bytes) {
  // The four bytes are unsigned: a byte of 0x80 or more is part of the
  // number, not a negative step.
  return morva::load_be32(bytes);
}

DWORD DddPackVersion(WORD major, WORD minor, WORD build) {
  return (static_cast<DWORD>(major) << 24) | (static_cast<DWORD>(minor) << 16) | build;
}

BOOL DddParseVersion(const char* text, DWORD size, WORD* major, WORD* minor, WORD* build) {
  DWORD i = 0;
  while (i < size && text[i] && text[i] != ':') ++i;
  if (i >= size || text[i] != ':') return FALSE;
  ++i;
  auto digits = [&](DWORD limit, WORD* out) {
    DWORD value = 0;
    while (i < size && text[i] >= '0' && text[i] <= '9') {
      value = value * 10 + static_cast<DWORD>(text[i] - '0');
      if (value > limit) return false;
      ++i;
    }
    *out = static_cast<WORD>(value);
    return true;
  };
  if (!digits(255, major)) return FALSE;
  if (i >= size || !text[i]) return FALSE;
  ++i;
  if (!digits(255, minor)) return FALSE;
  if (i >= size || !text[i]) return FALSE;
  ++i;
  return digits(65535, build) ? TRUE : FALSE;
}

DddStatus DddCheckHeader(DddFile* file) {
  DddHeaderValue* header = nullptr;
  DddStatus s = DddReadHeader(file, &header);
  if (s) return s;
  file->version = DddPackVersion(header->major, header->minor, header->build);
  file->level = header->level;
  DddValue* value = header;
  DddFreeValue(&value, DDD_KIND_HEADER);
  return DDD_OK;
}

// ---------------------------------------------------------------- open and close

DddStatus DddLoadFile(LPCWSTR path, DddFile* file, DddFile* other) {
  if (!path || !path[0] || !file) return DDD_BAD;
  std::memset(file, 0, sizeof(*file));
  file->main = other;
  if (other) {
    file->pool = other->pool;
  } else {
    file->pool = create_pool();
    if (!file->pool) return DDD_NO_MEMORY;
  }
  DddEnterLock();
  BYTE* image = nullptr;
  DWORD size = 0;
  WORD s = DddReadWholeFile(path, &image, &size);
  DddLeaveLock();
  if (s) {
    if (!other) destroy_pool(file->pool);
    file->pool = nullptr;
    return s == 4 ? DDD_NO_MEMORY : DDD_BAD;
  }
  file->image = image;
  file->size = size;
  file->cursor = 0;
  file->open = TRUE;
  file->loaded = 1;
  return DDD_OK;
}

void DddCloseFile(DddFile* file) {
  if (!file) return;
  if (file->image) GlobalFree(file->image);
  file->image = nullptr;
  file->open = FALSE;
  file->loaded = 0;
  file->size = 0;
  file->cursor = 0;
  if (!file->main) destroy_pool(file->pool);
  file->pool = nullptr;
}

void DddCloseFiles(DddFile* main, DddFile* linked) {
  if (linked && linked->open) DddCloseFile(linked);
  if (main && main->open) DddCloseFile(main);
}

DddStatus DddOpenFile(LPCWSTR path, DddFile* main, DddFile* linked) {
  if (!path || !main || !linked || !has_ddd_extension(path)) return DDD_BAD;
  std::memset(linked, 0, sizeof(*linked));
  DddStatus s = DddLoadFile(path, main, nullptr);
  if (s) return s;
  main->role = DDD_ROLE_MAIN;
  s = DddCheckHeader(main);
  char name[DDD_HEADER_TEXT_SIZE];
  if (!s && !(s = DddSeek(main, FALSE, DDD_HEADER_LINKED)))
    s = DddRead(main, name, sizeof(name));
  if (s) {
    DddCloseFiles(main, linked);
    return s;
  }
  linked->role = DDD_ROLE_LINKED;
  if (name[0]) {
    // The linked file lies beside the main file.
    size_t length = wide_length(path);
    size_t dir = 0;
    for (size_t i = 0; i < length; ++i)
      if (path[i] == u'\\' || path[i] == u'/') dir = i + 1;
    DWORD chars = 0;
    WCHAR* wide = DddAnsiToWide(name, sizeof(name), &chars);
    auto* linked_path =
        wide ? static_cast<WCHAR*>(GlobalAlloc(GPTR, (dir + chars + 1) * sizeof(WCHAR))) : nullptr;
    if (!linked_path) {
      if (wide) GlobalFree(wide);
      DddCloseFiles(main, linked);
      return DDD_NO_MEMORY;
    }
    std::memcpy(linked_path, path, dir * sizeof(WCHAR));
    std::memcpy(linked_path + dir, wide, chars * sizeof(WCHAR));
    GlobalFree(wide);
    s = DddLoadFile(linked_path, linked, main);
    GlobalFree(linked_path);
    if (!s) {
      linked->role = DDD_ROLE_LINKED;
      s = DddCheckHeader(linked);
    }
    if (s) {
      DddCloseFiles(main, linked);
      return s;
    }
  }
  DddEnterLock();
  g_process_level = main->level;
  DddLeaveLock();
  return DDD_OK;
}

namespace {

// The printer driver's data file (DRIVER_INFO_2 pDataFile), GlobalAlloc'ed.
WCHAR* driver_data_file(HANDLE printer) {
  DWORD needed = 0;
  if (GetPrinterDriverW(printer, nullptr, 2, nullptr, 0, &needed) || GetLastError() != ERROR_INSUFFICIENT_BUFFER ||
      needed < sizeof(DRIVER_INFO_2W))
    return nullptr;
  auto* info = static_cast<BYTE*>(GlobalAlloc(GPTR, needed));
  if (!info) return nullptr;
  WCHAR* path = nullptr;
  if (GetPrinterDriverW(printer, nullptr, 2, info, needed, &needed)) {
    const WCHAR* data = reinterpret_cast<DRIVER_INFO_2W*>(info)->pDataFile;
    if (data) {
      size_t n = wide_length(data);
      path = static_cast<WCHAR*>(GlobalAlloc(GPTR, (n + 1) * sizeof(WCHAR)));
      if (path) std::memcpy(path, data, n * sizeof(WCHAR));
    }
  }
  GlobalFree(info);
  return path;
}

}  // namespace

DddHandle* DddOpen(HANDLE printer) {
  WCHAR* path = driver_data_file(printer);
  if (!path) return nullptr;
  DddHandle* handle = DddOpenPath(path, nullptr);
  GlobalFree(path);
  return handle;
}

DddHandle* DddOpenPath(LPCWSTR path, DddStatus* status) {
  auto* handle = static_cast<DddHandle*>(GlobalAlloc(GPTR, sizeof(DddHandle)));
  DddStatus s = handle ? DddOpenFile(path, &handle->main, &handle->linked) : DDD_NO_MEMORY;
  if (status) *status = s;
  if (s) {
    if (handle) GlobalFree(handle);
    return nullptr;
  }
  DddLoadModelSettings(handle, path);
  return handle;
}

BOOL DddClose(DddHandle* handle) {
  if (!handle) return FALSE;
  BOOL both = handle->main.open && handle->linked.open;
  DddFreeModelSettings(handle);
  DddCloseFiles(&handle->main, &handle->linked);
  GlobalFree(handle);
  return both;
}
