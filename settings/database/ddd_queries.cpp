// Queries on an open device database.
#include "settings/database/ddd_queries.h"

#include <cstring>
#include <iterator>

#include "settings/common/common_utils.h"
#include "settings/common/module_state.h"
#include "settings/common/system_utils.h"
#include "win/endian.h"
#include "win/memory.h"
#include "win/strings.h"

namespace {

// ---------------------------------------------------------------- classification

inline constexpr WORD kIdIsIdentifier = 0;
inline constexpr WORD kIdIsKey = 0xFFFF;

struct IdClass {
  WORD first;
  WORD last;
  WORD kind;
  WORD id;  // kIdIsIdentifier, kIdIsKey or a fixed record id
};

// First matching row wins; anything else is a kind-4 item of its own id.
constexpr IdClass kIdClasses[] = {
    {4129, 4129, DDD_KIND_ITEM_ALT, kIdIsIdentifier},
    {4363, 4365, DDD_KIND_ITEM_ALT, kIdIsIdentifier},
    {4097, 4371, DDD_KIND_ITEM, kIdIsIdentifier},
    {1, 1, DDD_KIND_HEADER, kIdIsIdentifier},
    {259, 259, DDD_KIND_HEADER, kIdIsIdentifier},
    {274, 277, DDD_KIND_ITEM_ALT, 274},
    {278, 281, DDD_KIND_ITEM_ALT, 278},
    {282, 285, DDD_KIND_ITEM_ALT, 282},
    {0x8001, 0x8001, DDD_KIND_PAPER, kIdIsKey},
    {0x8002, 0x8002, DDD_KIND_RANGE, kIdIsKey},
    {0x8003, 0x8003, DDD_KIND_RANGE_ALT, kIdIsKey},
    {0x800B, 0x800B, DDD_KIND_19, kIdIsKey},
};

bool is_item(WORD kind) { return kind == DDD_KIND_ITEM || kind == DDD_KIND_ITEM_ALT; }
bool is_choice(WORD kind) { return kind == DDD_KIND_CHOICE || kind == DDD_KIND_CHOICE_ALT; }
WORD choice_kind_of(WORD item_kind) { return item_kind == DDD_KIND_ITEM ? DDD_KIND_CHOICE : DDD_KIND_CHOICE_ALT; }
bool keyed(WORD identifier) { return identifier >= 0x8001 && identifier <= 0x800B; }

WORD read_key(const void* key) {
  WORD k = 0;
  if (key) std::memcpy(&k, key, sizeof(k));
  return k;
}

void clear(WORD* kind, DddValue** out) {
  if (kind) *kind = 0;
  if (out) *out = nullptr;
}

// The file the value came from is the pair's main file or its linked file;
// an item read from the linked file keeps its choices in that file's tables.
WORD table_role_of(const DddValue* value) {
  return value->file_flag == DDD_ROLE_MAIN || value->file_flag == 0 ? DDD_ROLE_MAIN : DDD_ROLE_LINKED;
}

// Loads choice record `id` of an item through the tables of the item's file.
DddStatus load_choice_by_id(WORD mode, DddFile* main, DddFile* linked, const DddItem* item, WORD id,
                            DddValue** out) {
  WORD flag = 0;
  WORD kind = choice_kind_of(item->kind);
  DddStatus s = DddSeekRecord(FALSE, main, linked, table_role_of(item), kind, id, &flag);
  if (s) return s;
  s = DddLoadValueByKind(mode, DddFileForFlag(main, linked, flag), main, linked, kind, out);
  if (!s) (*out)->file_flag = flag;
  return s;
}

template <typename T>
bool read_at(const void* p, size_t have, T* out) {
  if (!p || have < sizeof(T)) return false;
  std::memcpy(out, p, sizeof(T));
  return true;
}

size_t wide_len(const WCHAR* s) {
  size_t n = 0;
  while (s[n]) ++n;
  return n;
}

// Compares a choice's value with the wanted one by the choice's type.
bool value_equals(const DddTypedValue& v, const void* wanted) {
  if (!wanted || !v.data) return false;
  size_t have = v.element_size;
  switch (v.type) {
    case 2:
    case 3: {
      WORD a = 0, b = 0;
      return read_at(v.data, have, &a) && read_at(wanted, 2, &b) && a == b;
    }
    case 1:
    case 4:
    case 5:
    case 10: {
      DWORD a = 0, b = 0;
      return read_at(v.data, have, &a) && read_at(wanted, 4, &b) && a == b;
    }
    case 6: {
      const auto* a = static_cast<const WCHAR*>(v.data);
      const auto* b = static_cast<const WCHAR*>(wanted);
      size_t n = wide_len(a);
      return n == wide_len(b) && std::memcmp(a, b, n * sizeof(WCHAR)) == 0;
    }
    case 7: {
      float a = 0, b = 0;
      return read_at(v.data, have, &a) && read_at(wanted, 4, &b) && a == b;
    }
    case 8: {
      BYTE a = 0, b = 0;
      return read_at(v.data, have, &a) && read_at(wanted, 1, &b) && a == b;
    }
    default:
      return false;
  }
}

WCHAR* copy_wide(const WCHAR* text, WORD* bytes = nullptr) {
  if (!text) return nullptr;
  size_t n = wide_len(text);
  auto* out = static_cast<WCHAR*>(GlobalAlloc(GPTR, (n + 1) * sizeof(WCHAR)));
  if (out) std::memcpy(out, text, n * sizeof(WCHAR));
  if (out && bytes) *bytes = static_cast<WORD>(n * 2 + 2);
  return out;
}

// ---------------------------------------------------------------- global fields

// Database string numbers: global field and element.
struct StringPlace {
  WORD field;  // 0: no such string
  WORD index;
};
constexpr StringPlace kDatabaseStrings[] = {
    {17, 0}, {18, 0}, {19, 0}, {20, 0}, {21, 0}, {22, 0},  // 0-5
    {36, 0}, {36, 1}, {36, 2}, {36, 3}, {36, 4}, {36, 5},  // 6-11
    {0, 0},  {0, 0},                                       // 12, 13
    {36, 6}, {36, 7}, {36, 8}, {36, 9}, {36, 10}, {36, 11}, {36, 12}, {36, 13}, {36, 14},  // 14-22
    {0, 0},                                                // 23
    {36, 15}, {36, 16},                                    // 24, 25
};

constexpr WORD kFieldMaxCopies = 4;
constexpr WORD kFieldColor = 5;
constexpr WORD kFieldFeatureFlags = 7;
constexpr WORD kFieldStandardOptions = 12;
constexpr WORD kFieldCapabilities = 26;
constexpr WORD kFieldProductKeys[] = {30, 33};

bool has_capability(DddFile* main, DddFile* linked, DWORD id) {
  DddHandle h{};
  h.main = *main;
  if (linked) h.linked = *linked;
  return HasDeviceCapability(&h, id) != FALSE;
}

// ---------------------------------------------------------------- level gates

struct LevelGate {
  WORD kind;
  DWORD level;
};
constexpr LevelGate kLevelWords[] = {
    {DDD_KIND_PAPER, 0x500},
    {DDD_KIND_DEVICE_FONT, 0x100},
    {DDD_KIND_PJL, 0x500},
    {DDD_KIND_DEVICE_CONFIG, 0x1000},
};
constexpr DWORD kKeyValueLevel = 0x1F00;

DWORD level_of(const DddValue* value) { return value && value->file ? value->file->level : 0; }

// Option identifiers with a bit in field 12.
struct OptionBitRange {
  WORD first;
  WORD last;
  INT first_bit;
};
constexpr OptionBitRange kOptionBits[] = {
    {4097, 4128, 0},
    {4129, 4160, 0},
    {4161, 4161, 14},
};

}  // namespace

void DddClassifyId(WORD identifier, WORD key, WORD* kind, WORD* id) {
  WORD k = DDD_KIND_ITEM_ALT, i = identifier;
  for (const IdClass& c : kIdClasses) {
    if (identifier < c.first || identifier > c.last) continue;
    k = c.kind;
    i = c.id == kIdIsIdentifier ? identifier : c.id == kIdIsKey ? key : c.id;
    break;
  }
  if (kind) *kind = k;
  if (id) *id = i;
}

DddStatus DddLoadValueEx(WORD mode, DddFile* main, DddFile* linked, WORD kind, WORD id, WORD choice,
                         DddValue** out) {
  return DddLoadRecord(mode, main, linked, kind, id, choice, out);
}

DddStatus DddFindChoiceByValue(WORD mode, DddFile* main, DddFile* linked, const DddValue* item, const void* wanted,
                               WORD* out_kind, DddValue** out) {
  clear(out_kind, out);
  if (!main || !item || !wanted || !out || !is_item(item->kind)) return DDD_BAD;
  const auto* it = static_cast<const DddItem*>(item);
  for (WORD n = 0; n < it->choices.count; ++n) {
    DddValue* choice = nullptr;
    DddStatus s = load_choice_by_id(mode, main, linked, it, it->choices.items[n].value, &choice);
    if (s == DDD_NO_MEMORY) return s;
    if (s) continue;  // a broken choice does not hide the ones behind it
    if (value_equals(static_cast<DddChoice*>(choice)->value, wanted)) {
      if (out_kind) *out_kind = choice->kind;
      *out = choice;
      return DDD_OK;
    }
    DddFreeValue(&choice, 0xFFFF);
  }
  return DDD_NOT_FOUND;
}

DddStatus DddLoadItemChoice(WORD mode, BOOL by_default, DddFile* main, DddFile* linked, const DddValue* item,
                            WORD n, WORD* out_kind, DddValue** out) {
  clear(out_kind, out);
  if (!main || !item || !out || !is_item(item->kind)) return DDD_BAD;
  const auto* it = static_cast<const DddItem*>(item);
  if (by_default) n = it->default_choice;
  if (n == 0) return DDD_BAD;
  if (n > it->choices.count) return DDD_NOT_FOUND;
  DddStatus s = load_choice_by_id(mode, main, linked, it, it->choices.items[n - 1].value, out);
  if (!s && out_kind) *out_kind = (*out)->kind;
  return s;
}

DddStatus DddGetItemValue(WORD mode, DddFile* main, DddFile* linked, WORD identifier, const void* key,
                          WORD* out_kind, DddValue** out) {
  clear(out_kind, out);
  if (!main || !out) return DDD_BAD;
  WORD kind = 0, id = 0;
  DddClassifyId(identifier, keyed(identifier) ? read_key(key) : 0, &kind, &id);
  if (kind == DDD_KIND_HEADER) {
    if (identifier != 1 && identifier != 259) return DDD_NOT_FOUND;
    DddFile copy = *main;
    DddHeaderValue* header = nullptr;
    DddStatus s = DddReadHeader(&copy, &header);
    if (s) return s;
    header->file = main;
    header->file_flag = DDD_ROLE_MAIN;
    if (out_kind) *out_kind = DDD_KIND_HEADER;
    *out = header;
    return DDD_OK;
  }
  if (is_item(kind) && key) {
    DddValue* item = nullptr;
    DddStatus s = DddLoadRecord(DDD_LOAD_FULL, main, linked, kind, id, 0, &item);
    if (s) return s;
    s = DddFindChoiceByValue(mode, main, linked, item, key, out_kind, out);
    DddFreeValue(&item, 0xFFFF);
    return s;
  }
  DddStatus s = DddLoadRecord(mode, main, linked, kind, id, 0, out);
  if (!s && out_kind) *out_kind = kind;
  return s;
}

DddStatus DddGetNthChoice(WORD mode, DddFile* main, DddFile* linked, WORD identifier, WORD n, WORD* out_kind,
                          DddValue** out) {
  clear(out_kind, out);
  if (!main || !out) return DDD_BAD;
  WORD kind = 0, id = 0;
  DddClassifyId(identifier, 0, &kind, &id);
  if (is_item(kind)) {
    DddValue* item = nullptr;
    DddStatus s = DddLoadRecord(DDD_LOAD_FULL, main, linked, kind, id, 0, &item);
    if (s) return s;
    s = DddLoadItemChoice(mode, FALSE, main, linked, item, n, out_kind, out);
    DddFreeValue(&item, 0xFFFF);
    return s;
  }
  if (kind == DDD_KIND_RANGE || kind == DDD_KIND_RANGE_ALT || kind == DDD_KIND_PAPER) {
    DddStatus s = DddLoadValue(mode, main, linked, kind, n, out);
    if (!s && out_kind) *out_kind = kind;
    return s;
  }
  return DDD_NOT_FOUND;
}

DddStatus DddLoadChoiceTarget(WORD mode, DddFile* main, DddFile* linked, const DddValue* choice, WORD* out_kind,
                              DddValue** out) {
  clear(out_kind, out);
  if (!main || !choice || !out || !is_choice(choice->kind)) return DDD_BAD;
  const auto* c = static_cast<const DddChoice*>(choice);
  if (c->target_kind < DDD_KIND_ITEM || c->target_kind > DDD_KIND_25) return DDD_BAD;
  DddStatus s = DddLoadRecord(mode, main, linked, c->target_kind, c->target_id, 0, out);
  if (!s && out_kind) *out_kind = c->target_kind;
  return s;
}

DddStatus DddGetDefaultChoiceValue(DddFile* main, DddFile* linked, WORD identifier, void** data, WORD* type,
                                   WORD* size) {
  if (data) *data = nullptr;
  if (type) *type = 0;
  if (size) *size = 0;
  if (!main || !data || !type) return DDD_BAD;
  WORD kind = 0, id = 0;
  DddClassifyId(identifier, 0, &kind, &id);
  if (!is_item(kind)) return DDD_BAD;
  if (id == 0) return DDD_NOT_FOUND;
  // Copies keep the caller's cursors where they were.
  DddFile m = *main;
  DddFile l{};
  if (linked) l = *linked;
  WORD flag = 0;
  DddStatus s = DddSeekRecord(FALSE, &m, &l, DDD_ROLE_MAIN, kind, id, &flag);
  if (s) return s;
  DddFile* f = DddFileForFlag(&m, &l, flag);
  WORD name = 0, def = 0, count = 0, ref = 0;
  if ((s = DddSeek(f, TRUE, 6)) || (s = DddReadWord(f, &name)) || (s = DddSeek(f, TRUE, name + 1)) ||
      (s = DddReadWord(f, &def)) || (s = DddSeek(f, TRUE, 2 + 4)) || (s = DddReadWord(f, &count)))
    return s;
  if (def == 0 || def > count) return DDD_BAD;
  if ((s = DddSeek(f, TRUE, (def - 1) * 2)) || (s = DddReadWord(f, &ref))) return s;
  WORD choice_flag = 0;
  if ((s = DddSeekRecord(FALSE, &m, &l, flag == DDD_ROLE_MAIN ? DDD_ROLE_MAIN : DDD_ROLE_LINKED,
                         choice_kind_of(kind), ref, &choice_flag)))
    return s;
  DddFile* c = DddFileForFlag(&m, &l, choice_flag);
  if ((s = DddSeek(c, TRUE, 6)) || (s = DddReadWord(c, &name)) || (s = DddSeek(c, TRUE, name + 6))) return s;
  for (int list = 0; list < 2; ++list) {
    DWORD length = 0;
    if ((s = DddReadDword(c, &length))) return s;
    if (length > c->size || (s = DddSeek(c, TRUE, static_cast<LONG>(length)))) return DDD_BAD;
  }
  DddTypedValue value{};
  if ((s = DddReadTypedValueCopy(c, &value, &m, &l))) return s;
  if (!value.data) return DDD_NOT_FOUND;  // a choice without a value has no default
  *data = value.data;
  *type = value.type;
  if (size) *size = static_cast<WORD>(value.element_size * (value.count ? value.count : 1));
  return DDD_OK;
}

DddStatus DddGetItemDefault(DddFile* main, DddFile* linked, WORD identifier, void** data, WORD* type, WORD* size) {
  WORD bytes = 0;
  DddStatus s = DddGetDefaultChoiceValue(main, linked, identifier, data, type, &bytes);
  if (size) *size = bytes;
  if (s || bytes == 0) return s;
  auto* b = static_cast<BYTE*>(*data);
  switch (identifier) {
    case 8:
    case 1824:
    case 327: {
      if (bytes < 2) break;
      BOOL flag = (DddGetFieldValue(main, kFieldCapabilities, 4, 0) >> 22) & 1;
      if (GetLocalePaperFamily(flag) == 1) morva::store_le16(b, identifier == 327 ? 3 : 1);
      break;
    }
    case 4356:
      if (has_capability(main, linked, 0xFFFF0020)) {
        BYTE v = GetCountryItemDefaultA(has_capability(main, linked, 0xFFFF0027));
        if (v != 254) b[0] = v;
      }
      break;
    case 4358:
      if (has_capability(main, linked, 0xFFFF0021)) {
        BYTE v = GetCountryItemDefaultB();
        if (v != 254) b[0] = v;
      }
      break;
    case 1804: {
      INT language = 0;
      if (ReadResourceNumber(&language) && language != 1041) b[0] = 1;
      break;
    }
    default:
      break;
  }
  return DDD_OK;
}

DddStatus DddGetItemString(DddFile* main, DddFile* linked, WORD identifier, const void* key, WCHAR** out) {
  if (out) *out = nullptr;
  if (!out) return DDD_BAD;
  DddValue* v = nullptr;
  DddStatus s = DddGetItemValue(DDD_LOAD_HEADER, main, linked, identifier, key, nullptr, &v);
  if (s) return s;
  const WCHAR* name = v->kind == DDD_KIND_HEADER ? static_cast<DddHeaderValue*>(v)->model : DddGetValueName(v);
  if (!name) s = DDD_NOT_FOUND;
  else if (!(*out = copy_wide(name))) s = DDD_NO_MEMORY;
  DddFreeValue(&v, 0xFFFF);
  return s;
}

DddStatus DddGetRecordName(DddFile* main, DddFile* linked, WORD kind, WORD id, WORD choice, WCHAR** out) {
  if (out) *out = nullptr;
  if (!main || !out) return DDD_BAD;
  DddFile m = *main;
  DddFile l{};
  if (linked) l = *linked;
  WORD flag = 0;
  DddStatus s = DddSeekRecordOrChoice(&m, &l, DDD_ROLE_MAIN, kind, id, choice, &flag);
  if (s) return s;
  if (choice) kind = choice_kind_of(kind);
  return DddLoadChoiceName(DddFileForFlag(&m, &l, flag), kind, out, nullptr);
}

DddStatus DddGetChoiceNameAndValue(DddFile* main, DddFile* linked, WORD identifier, WORD n, WCHAR** name,
                                   void** data, WORD* type) {
  if (name) *name = nullptr;
  if (data) *data = nullptr;
  if (type) *type = 0;
  if (!name || !data || !type) return DDD_BAD;
  DddValue* v = nullptr;
  DddStatus s = DddGetNthChoice(DDD_LOAD_HEADER, main, linked, identifier, n, nullptr, &v);
  if (s) return s;
  if (!is_choice(v->kind)) {
    DddFreeValue(&v, 0xFFFF);
    return DDD_BAD;
  }
  auto* c = static_cast<DddChoice*>(v);
  DWORD bytes = static_cast<DWORD>(c->value.element_size) * (c->value.count ? c->value.count : 1);
  if (c->name && !(*name = copy_wide(c->name))) s = DDD_NO_MEMORY;
  if (!s && c->value.data && bytes) {
    if ((*data = GlobalAlloc(GPTR, bytes))) std::memcpy(*data, c->value.data, bytes);
    else s = DDD_NO_MEMORY;
  }
  *type = c->value.type;
  DddFreeValue(&v, 0xFFFF);
  if (s) {
    if (*name) GlobalFree(*name);
    if (*data) GlobalFree(*data);
    *name = nullptr;
    *data = nullptr;
    *type = 0;
  }
  return s;
}

DddStatus DddLoadEntryBlob(DddFile* main, DddFile* linked, const DddValue* value, DddBlob** out) {
  if (out) *out = nullptr;
  if (!main || !value || !out) return DDD_BAD;
  WORD id = 0;
  if (is_item(value->kind)) id = static_cast<const DddItem*>(value)->blob_id;
  else if (is_choice(value->kind)) id = static_cast<const DddChoice*>(value)->blob_id;
  else return DDD_BAD;
  if (id == 0) return DDD_NOT_FOUND;
  DddValue* blob = nullptr;
  DddStatus s = DddLoadRecord(DDD_LOAD_FULL, main, linked, DDD_KIND_BLOB, id, 0, &blob);
  if (!s) *out = static_cast<DddBlob*>(blob);
  return s;
}

DddStatus DddGetEntryCopy(DddHandle* handle, WORD identifier, WORD n, DddEntryCopy** out) {
  if (out) *out = nullptr;
  if (!handle || !out) return DDD_BAD;
  DddFile* main = &handle->main;
  DddFile* linked = &handle->linked;
  DddValue* v = nullptr;
  DddStatus s = n ? DddGetNthChoice(DDD_LOAD_FULL, main, linked, identifier, n, nullptr, &v)
                  : DddGetItemValue(DDD_LOAD_FULL, main, linked, identifier, nullptr, nullptr, &v);
  if (s) return s;
  auto* copy = static_cast<DddEntryCopy*>(GlobalAlloc(GPTR, sizeof(DddEntryCopy)));
  if (!copy) {
    DddFreeValue(&v, 0xFFFF);
    return DDD_NO_MEMORY;
  }
  copy->id = v->id;
  copy->kind = DDD_KIND_ENTRY_COPY;
  copy->file_flag = v->file_flag;
  copy->file = v->file;
  const WCHAR* name = DddGetValueName(v);
  switch (v->kind) {
    case DDD_KIND_ITEM:
    case DDD_KIND_ITEM_ALT:
      break;
    case DDD_KIND_RANGE:
    case DDD_KIND_RANGE_ALT:
    case DDD_KIND_PAPER:
      if ((copy->data = GlobalAlloc(GPTR, 2))) {
        morva::store_le16(copy->data, v->id);
        copy->data_size = 2;
        copy->value_type = 3;
      } else {
        s = DDD_NO_MEMORY;
      }
      break;
    case DDD_KIND_CHOICE:
    case DDD_KIND_CHOICE_ALT: {
      const DddTypedValue& tv = static_cast<DddChoice*>(v)->value;
      DWORD bytes = static_cast<DWORD>(tv.element_size) * (tv.count ? tv.count : 1);
      copy->value_type = tv.type;
      if (tv.data && bytes && bytes <= 0xFFFF) {
        if ((copy->data = GlobalAlloc(GPTR, bytes))) {
          std::memcpy(copy->data, tv.data, bytes);
          copy->data_size = static_cast<WORD>(bytes);
        } else {
          s = DDD_NO_MEMORY;
        }
      }
      break;
    }
    default:
      s = DDD_BAD;
      break;
  }
  if (!s && name && !(copy->name = copy_wide(name, &copy->name_bytes))) s = DDD_NO_MEMORY;
  if (!s && v && (is_item(v->kind) || is_choice(v->kind))) {
    DddStatus b = DddLoadEntryBlob(main, linked, v, &copy->blob);
    if (b != DDD_NOT_FOUND) s = b;
  }
  if (v) DddFreeValue(&v, 0xFFFF);
  DddValue* result = copy;
  if (s) DddFreeValue(&result, 0xFFFF);
  else *out = copy;
  return s;
}

DddStatus DddLoadRulePicture(DddFile* main, DddFile* linked, const DddValue* rule, WORD* word1, WORD* word2,
                             BYTE** bitmap) {
  if (bitmap) *bitmap = nullptr;
  if (!main || !rule || !bitmap || rule->kind != DDD_KIND_PICTURE_RULE) return DDD_BAD;
  WORD id = static_cast<const DddPictureRule*>(rule)->picture.third;
  DddValue* v = nullptr;
  DddStatus s = DddLoadRecord(DDD_LOAD_FULL, main, linked, DDD_KIND_PICTURE, id, 0, &v);
  if (s) return s;
  auto* p = static_cast<DddPicture*>(v);
  if (word1) *word1 = p->word1;
  if (word2) *word2 = p->word2;
  *bitmap = p->bitmap;
  p->bitmap = nullptr;
  DddFreeValue(&v, 0xFFFF);
  return DDD_OK;
}

BYTE* DddLoadPictureByField(DddFile* main, DddFile* linked, WORD field, WORD* word1, WORD* word2) {
  if (!main) return nullptr;
  WORD id = 0;
  if (DddReadFixedField(main, field, 2, 0, &id)) return nullptr;
  id = morva::load_le16(&id);
  DddValue* v = nullptr;
  if (DddLoadRecord(DDD_LOAD_FULL, main, linked, DDD_KIND_PICTURE, id, 0, &v)) return nullptr;
  auto* p = static_cast<DddPicture*>(v);
  if (word1) *word1 = p->word1;
  if (word2) *word2 = p->word2;
  BYTE* bitmap = p->bitmap;
  p->bitmap = nullptr;
  DddFreeValue(&v, 0xFFFF);
  return bitmap;
}

WORD DddGetRecordCount(DddFile* file, WORD kind) {
  if (!file) return 0;
  DddFile copy = *file;
  WORD count = 0;
  if (DddSeekKindTable(&copy, kind) || DddReadWord(&copy, &count)) return 0;
  return count;
}

DddStatus DddGetLevelWord(const DddValue* value, WORD* out) {
  if (out) *out = 0;
  if (!value || !out) return DDD_BAD;
  for (const LevelGate& g : kLevelWords) {
    if (g.kind != value->kind) continue;
    if (level_of(value) < g.level) return DDD_BAD;
    switch (value->kind) {
      case DDD_KIND_PAPER: *out = static_cast<const DddPaper*>(value)->last_word; break;
      case DDD_KIND_DEVICE_FONT: *out = static_cast<const DddDeviceFont*>(value)->word; break;
      case DDD_KIND_PJL: *out = static_cast<const DddPjlEntry*>(value)->flags; break;
      default: *out = static_cast<const DddDeviceConfigKey*>(value)->word3; break;
    }
    return DDD_OK;
  }
  return DDD_BAD;
}

INT ItemOptionBit(WORD identifier) {
  for (const OptionBitRange& r : kOptionBits)
    if (identifier >= r.first && identifier <= r.last) return r.first_bit + (identifier - r.first);
  return -1;
}

INT DddTestOptionBit(DddFile* main, DddFile*, WORD identifier) {
  if (!main || identifier < 4097 || identifier > 4371) return 1;
  INT bit = ItemOptionBit(identifier);
  if (bit < 0) return 1;
  DWORD word = DddGetFieldValue(main, kFieldStandardOptions, 4, 0);
  return (word >> bit) & 1 ? 0 : 1;
}

// ---------------------------------------------------------------- global fields

DddStatus DddReadFixedField(DddFile* file, WORD field, WORD element_size, WORD index, void* buffer) {
  if (!file || !buffer || element_size == 0 || field >= DDD_GLOBAL_FIELD_COUNT) return DDD_BAD;
  if (kDddGlobalFields[field].size != element_size) return DDD_BAD;
  DddFile copy = *file;
  WORD size = 0;
  DddStatus s = DddSeekFieldElement(&copy, field, index, &size);
  if (!s) s = DddRead(&copy, buffer, element_size);
  return s;
}

DWORD DddGetFieldValue(DddFile* file, WORD field, WORD element_size, WORD index) {
  BYTE b[4] = {};
  if (element_size > 4 || DddReadFixedField(file, field, element_size, index, b)) return 0;
  switch (element_size) {
    case 1: return b[0];
    case 2: return morva::load_le16(b);
    case 4: return morva::load_le32(b);
    default: return 0;
  }
}

WORD DddGetFieldCount(DddFile* file, WORD field) {
  if (!file || field >= DDD_GLOBAL_FIELD_COUNT) return 0;
  if (kDddGlobalFields[field].count) return kDddGlobalFields[field].count;
  DddFile copy = *file;
  WORD count = 0;
  if (DddSeekGlobalField(&copy, field) || DddReadWord(&copy, &count)) return 0;
  return count;
}

WCHAR* DddGetFieldString(DddFile* file, WORD field, WORD index) {
  if (!file) return nullptr;
  DddFile copy = *file;
  WCHAR* text = nullptr;
  if (DddReadFieldString(&copy, field, index, &text)) return nullptr;
  return text;
}

DddStatus DddGetDatabaseString(DddFile* file, WORD number, WCHAR** out) {
  if (out) *out = nullptr;
  if (!file || !out || number >= std::size(kDatabaseStrings) || kDatabaseStrings[number].field == 0)
    return DDD_BAD;
  DddFile copy = *file;
  return DddReadFieldString(&copy, kDatabaseStrings[number].field, kDatabaseStrings[number].index, out);
}

DddStatus DddReadVarRecord(DddFile* file, WORD record, WORD index, WCHAR** out) {
  if (out) *out = nullptr;
  if (!file || !out) return DDD_BAD;
  DddFile copy = *file;
  return DddReadFieldString(&copy, record, index, out);
}

DddStatus DddGetProductString(DddFile* file, WORD which, WCHAR** out) {
  if (out) *out = nullptr;
  if (!file || !out || which >= std::size(kFieldProductKeys)) return DDD_BAD;
  DddFile copy = *file;
  return DddReadFieldString(&copy, kFieldProductKeys[which], 0, out);
}

WCHAR* DddGetModelName(DddHandle* handle, DddStatus* status) {
  DddStatus s = DDD_BAD;
  WCHAR* name = nullptr;
  if (handle && handle->main.open) {
    DddFile copy = handle->main;
    DddHeaderValue* header = nullptr;
    s = DddReadHeader(&copy, &header);
    if (!s) {
      if (!(name = copy_wide(header->model))) s = DDD_NO_MEMORY;
      DddValue* v = header;
      DddFreeValue(&v, 0xFFFF);
    }
  }
  if (status) *status = s;
  return name;
}

// ---------------------------------------------------------------- accessors

const WCHAR* DddGetValueName(const DddValue* v) {
  if (!v) return nullptr;
  switch (v->kind) {
    case DDD_KIND_ITEM:
    case DDD_KIND_ITEM_ALT: return static_cast<const DddItem*>(v)->name;
    case DDD_KIND_RANGE:
    case DDD_KIND_RANGE_ALT: return static_cast<const DddRange*>(v)->name;
    case DDD_KIND_PAPER: return static_cast<const DddPaper*>(v)->name;
    case DDD_KIND_DEVICE_FONT: return static_cast<const DddDeviceFont*>(v)->name;
    case DDD_KIND_CHOICE:
    case DDD_KIND_CHOICE_ALT: return static_cast<const DddChoice*>(v)->name;
    default: return nullptr;
  }
}

namespace {

template <typename V>
const V* as(const DddValue* v, WORD kind1, WORD kind2 = 0) {
  return v && (v->kind == kind1 || (kind2 && v->kind == kind2)) ? static_cast<const V*>(v) : nullptr;
}
const DddRange* as_range(const DddValue* v) { return as<DddRange>(v, DDD_KIND_RANGE, DDD_KIND_RANGE_ALT); }
const DddPaper* as_paper(const DddValue* v) { return as<DddPaper>(v, DDD_KIND_PAPER); }

DddStatus give_pair(const DddPair* from, DddPair* out) {
  if (!from || !out) return DDD_BAD;
  *out = *from;
  return DDD_OK;
}

template <typename T>
const T* nth(const DddList<T>& list, WORD n) {
  return n >= 1 && n <= list.count ? &list.items[n - 1] : nullptr;
}

DddStatus give_inline(const DddInlineValue& e, WORD* type, WORD* size, const void** data) {
  if (type) *type = e.type;
  if (size) *size = e.size;
  if (data) *data = e.type == DDD_TYPE_STRING ? static_cast<const void*>(e.text) : e.inline_value;
  return DDD_OK;
}

}  // namespace

DddStatus DddGetValueRange(const DddValue* v, DddPair* out) {
  const DddRange* r = as_range(v);
  return give_pair(r ? &r->minimum : nullptr, out);
}
DddStatus DddGetValueRange2(const DddValue* v, DddPair* out) {
  const DddRange* r = as_range(v);
  return give_pair(r ? &r->maximum : nullptr, out);
}
DddStatus DddGetRangeElement(const DddValue* v, WORD n, WORD* out) {
  const DddRange* r = as_range(v);
  if (!r || !out) return DDD_BAD;
  const DddWordElement* e = nth(r->ddmids, n);
  if (!e) return DDD_NOT_FOUND;
  *out = e->value;
  return DDD_OK;
}
DddStatus DddGetRangeWord(const DddValue* v, WORD n, WORD* out) {
  const DddRange* r = as_range(v);
  if (!r || !out) return DDD_BAD;
  const DddWordElement* e = nth(r->second, n);
  if (!e) return DDD_NOT_FOUND;
  *out = e->value;
  return DDD_OK;
}
DddStatus DddGetPaperSize(const DddValue* v, DddPair* out) {
  const DddPaper* p = as_paper(v);
  return give_pair(p ? &p->size : nullptr, out);
}
DddStatus DddGetPaperSizeAlt(const DddValue* v, DddPair* out) {
  const DddPaper* p = as_paper(v);
  return give_pair(p ? &p->size_max : nullptr, out);
}
DddStatus DddGetPaperMarginPairs(const DddValue* v, DddPair* left_bottom, DddPair* right_top) {
  const DddPaper* p = as_paper(v);
  if (!p || !left_bottom || !right_top) return DDD_BAD;
  *left_bottom = p->margin_lb;
  *right_top = p->margin_rt;
  return DDD_OK;
}
DddStatus DddGetPaperArea(const DddValue* v, DddPair* out) {
  const DddPaper* p = as_paper(v);
  return give_pair(p ? &p->area : nullptr, out);
}
DddStatus DddGetPaperArea2(const DddValue* v, DddPair* out) {
  const DddPaper* p = as_paper(v);
  return give_pair(p ? &p->area2 : nullptr, out);
}
const WCHAR* DddGetFontFace(const DddValue* v, WORD n) {
  const auto* f = as<DddDeviceFont>(v, DDD_KIND_DEVICE_FONT);
  const DddStringElement* e = f ? nth(f->faces, n) : nullptr;
  return e ? e->text : nullptr;
}
const BYTE* DddGetDeviceFontData(const DddValue* v, DWORD* size) {
  const auto* f = as<DddDeviceFont>(v, DDD_KIND_DEVICE_FONT);
  if (size) *size = f ? f->data_size : 0;
  return f ? f->data : nullptr;
}
WORD DddGetEntryCount(const DddValue* v) {
  if (const auto* f = as<DddDeviceFont>(v, DDD_KIND_DEVICE_FONT)) return f->values.count;
  if (const auto* k = as<DddDeviceConfigKey>(v, DDD_KIND_DEVICE_CONFIG)) return k->values.count;
  return 0;
}
DddStatus DddGetEntry(const DddValue* v, WORD n, WORD* type, WORD* size, const void** data) {
  const DddList<DddInlineValue>* list = nullptr;
  if (const auto* f = as<DddDeviceFont>(v, DDD_KIND_DEVICE_FONT)) list = &f->values;
  if (const auto* k = as<DddDeviceConfigKey>(v, DDD_KIND_DEVICE_CONFIG)) list = &k->values;
  if (!list) return DDD_BAD;
  const DddInlineValue* e = nth(*list, n);
  if (!e) return DDD_NOT_FOUND;
  return give_inline(*e, type, size, data);
}
const WCHAR* DddGetDeviceConfigString(const DddValue* v, WORD n) {
  const auto* k = as<DddDeviceConfigKey>(v, DDD_KIND_DEVICE_CONFIG);
  const DddStringElement* e = k ? nth(k->strings, n) : nullptr;
  return e ? e->text : nullptr;
}
const WCHAR* DddGetPjlCommandText(const DddValue* v) {
  const auto* p = as<DddPjlEntry>(v, DDD_KIND_PJL);
  return p ? p->command : nullptr;
}
const WCHAR* DddGetPjlValueText(const DddValue* v) {
  const auto* p = as<DddPjlEntry>(v, DDD_KIND_PJL);
  return p ? p->text : nullptr;
}
WORD DddGetKeyValueCount(const DddValue* v) {
  const auto* k = as<DddKeyValueSet>(v, DDD_KIND_KEY_VALUE_ALT);
  return k ? k->entries.count : 0;
}
DddStatus DddGetKeyValueEntry(const DddValue* v, WORD n, WORD* key, WORD* type, WORD* size, const void** data) {
  const auto* k = as<DddKeyValueSet>(v, DDD_KIND_KEY_VALUE_ALT);
  if (!k || level_of(v) < kKeyValueLevel) return DDD_BAD;
  const DddKeyedValue* e = nth(k->entries, n);
  if (!e) return DDD_NOT_FOUND;
  if (key) *key = e->key;
  return give_inline(e->value, type, size, data);
}

BOOL PaperSizesMatch(WORD w1, WORD l1, WORD w2, WORD l2) {
  bool same = (w1 <= l1) == (w2 <= l2);
  auto close = [](WORD a, WORD b) { return (a > b ? a - b : b - a) <= 10; };
  return same ? close(w1, w2) && close(l1, l2) : close(w1, l2) && close(l1, w2);
}

// ---------------------------------------------------------------- handle level

INT DddMapStatus(DddStatus status) {
  switch (status) {
    case DDD_OK: return 0;
    case DDD_NOT_FOUND: return 2;
    case DDD_NO_MEMORY: return 3;
    default: return 1;
  }
}

INT DddGetMaxCopies(DddHandle* handle) {
  return handle ? static_cast<INT>(DddGetFieldValue(&handle->main, kFieldMaxCopies, 2, 0)) : 0;
}

INT DddGetColorCapability(DddHandle* handle) {
  BYTE b = 0;
  if (!handle || DddReadFixedField(&handle->main, kFieldColor, 1, 0, &b)) return -1;
  return b == 0 ? -1 : b == 2 ? 2 : 1;
}

INT DddGetFeatureFlagByte(DddHandle* handle) {
  BYTE b = 0;
  if (!handle || DddReadFixedField(&handle->main, kFieldFeatureFlags, 1, 0, &b)) return -1;
  return b;
}

BOOL DddHasItemValue(DddHandle* handle, WORD identifier, const void* wanted) {
  if (!handle || !wanted) return FALSE;
  DddValue* v = nullptr;
  if (DddGetItemValue(DDD_LOAD_HEADER, &handle->main, &handle->linked, identifier, wanted, nullptr, &v)) return FALSE;
  BOOL found = is_choice(v->kind);
  DddFreeValue(&v, 0xFFFF);
  return found;
}

DddStatus DddLoadItemValueTarget(DddHandle* handle, WORD identifier, const void* wanted, DddValue** out) {
  if (out) *out = nullptr;
  if (!handle || !wanted || !out) return DDD_BAD;
  DddValue* choice = nullptr;
  DddStatus s = DddGetItemValue(DDD_LOAD_HEADER, &handle->main, &handle->linked, identifier, wanted, nullptr, &choice);
  if (s) return s;
  if (!is_choice(choice->kind)) s = DDD_BAD;
  else s = DddLoadChoiceTarget(DDD_LOAD_HEADER, &handle->main, &handle->linked, choice, nullptr, out);
  DddFreeValue(&choice, 0xFFFF);
  return s;
}

BOOL DddGetDefaultPaperSize(DddHandle* handle, WORD identifier, DddPair* size) {
  if (!handle || !size) return FALSE;
  WORD kind = 0, id = 0;
  DddClassifyId(identifier, 0, &kind, &id);
  DddValue* item = nullptr;
  if (!is_item(kind) || DddLoadRecord(DDD_LOAD_FULL, &handle->main, &handle->linked, kind, id, 0, &item))
    return FALSE;
  DddValue* choice = nullptr;
  DddValue* target = nullptr;
  BOOL ok = !DddLoadItemChoice(DDD_LOAD_HEADER, TRUE, &handle->main, &handle->linked, item, 0, nullptr, &choice) &&
            !DddLoadChoiceTarget(DDD_LOAD_HEADER, &handle->main, &handle->linked, choice, nullptr, &target) &&
            !DddGetPaperSize(target, size);
  if (target) DddFreeValue(&target, 0xFFFF);
  if (choice) DddFreeValue(&choice, 0xFFFF);
  DddFreeValue(&item, 0xFFFF);
  return ok;
}

INT DddFindChoiceTarget(DddHandle* handle, WORD identifier, WORD mode, const DddChoiceTargetQuery* query,
                        DddChoiceTargetResult* out) {
  if (out) *out = {};
  if (!handle || !query || !out || mode < 1 || mode > 3 || (mode == 3 && !query->name)) return 1;
  WORD kind = 0, id = 0;
  DddClassifyId(identifier, 0, &kind, &id);
  if (!is_item(kind)) return 1;
  DddValue* item = nullptr;
  DddStatus s = DddLoadRecord(DDD_LOAD_FULL, &handle->main, &handle->linked, kind, id, 0, &item);
  if (s) return DddMapStatus(s);
  const auto* it = static_cast<const DddItem*>(item);
  INT result = 2;
  for (WORD n = 1; n <= it->choices.count && result == 2; ++n) {
    DddValue* choice = nullptr;
    DddValue* target = nullptr;
    if (DddLoadItemChoice(DDD_LOAD_HEADER, FALSE, &handle->main, &handle->linked, item, n, nullptr, &choice) ||
        DddLoadChoiceTarget(DDD_LOAD_HEADER, &handle->main, &handle->linked, choice, nullptr, &target)) {
      if (choice) DddFreeValue(&choice, 0xFFFF);
      continue;
    }
    DddPair size{};
    DddGetPaperSize(target, &size);
    const WCHAR* name = DddGetValueName(target);
    bool match = false;
    if (mode == 1) match = target->id == query->id;
    else if (mode == 2) match = PaperSizesMatch(size.first, size.second, query->size.first, query->size.second);
    else match = name && lstrcmpiW(name, query->name) == 0;
    if (match) {
      out->id = target->id;
      out->size = size;
      out->name = copy_wide(name);
      result = name && !out->name ? 3 : 0;
    }
    DddFreeValue(&target, 0xFFFF);
    DddFreeValue(&choice, 0xFFFF);
  }
  DddFreeValue(&item, 0xFFFF);
  return result;
}

void DddFreeChoiceTargetName(DddChoiceTargetResult* result) {
  if (result && result->name) {
    GlobalFree(result->name);
    result->name = nullptr;
  }
}

BOOL DddGetItemDefaultData(DddHandle* handle, WORD identifier, void** data, WORD* type, WORD* size, INT* error) {
  DddStatus s = handle ? DddGetItemDefault(&handle->main, &handle->linked, identifier, data, type, size) : DDD_BAD;
  if (error) *error = DddMapStatus(s);
  return s == DDD_OK;
}

void DddFreeItemDefaultData(void* data) {
  if (data) GlobalFree(data);
}

BOOL DddGetItemDefaultValue(DddHandle* handle, WORD identifier, WORD* type, DWORD_PTR* value, INT* error) {
  if (value) *value = 0;
  if (type) *type = 0;
  void* data = nullptr;
  WORD t = 0, size = 0;
  if (!type || !value) {
    if (error) *error = 1;
    return FALSE;
  }
  if (!DddGetItemDefaultData(handle, identifier, &data, &t, &size, error)) return FALSE;
  *type = t;
  if (t == DDD_TYPE_STRING) {
    *value = reinterpret_cast<DWORD_PTR>(data);  // the owned copy passes to the caller
    return TRUE;
  }
  const auto* b = static_cast<const BYTE*>(data);
  DWORD number = 0;
  switch (t) {
    case 2: number = size >= 2 ? static_cast<DWORD>(static_cast<INT>(static_cast<SHORT>(morva::load_le16(b)))) : 0; break;
    case 3: number = size >= 2 ? morva::load_le16(b) : 0; break;
    case 8: number = size >= 1 ? b[0] : 0; break;
    default: number = size >= 4 ? morva::load_le32(b) : 0; break;
  }
  *value = number;
  GlobalFree(data);
  return TRUE;
}

void DddFreeItemDefaultValue(WORD type, DWORD_PTR value) {
  if (type == DDD_TYPE_STRING && value) GlobalFree(reinterpret_cast<void*>(value));
}

DddItem* DddOpenItemRecord(DddHandle* handle, WORD identifier, BYTE* flags, WORD* choices, const WCHAR** name,
                           INT* error) {
  if (flags) *flags = 0;
  if (choices) *choices = 0;
  if (name) *name = nullptr;
  WORD kind = 0, id = 0;
  DddClassifyId(identifier, 0, &kind, &id);
  DddValue* v = nullptr;
  DddStatus s = !handle ? DDD_BAD
                : !is_item(kind) ? DDD_BAD
                                 : DddLoadRecord(DDD_LOAD_FULL, &handle->main, &handle->linked, kind, id, 0, &v);
  if (error) *error = DddMapStatus(s);
  if (s) return nullptr;
  auto* item = static_cast<DddItem*>(v);
  if (flags) *flags = item->flags;
  if (choices) *choices = item->choices.count;
  if (name) *name = item->name;
  return item;
}

void DddFreeRecord(DddValue* value) {
  if (value) DddFreeValue(&value, 0xFFFF);
}

void DddFreeEntryCopy(DddEntryCopy* copy) {
  DddValue* v = copy;
  if (v) DddFreeValue(&v, DDD_KIND_ENTRY_COPY);
}

BOOL DddGetEntryCopyParts(const DddEntryCopy* copy, const WCHAR** name, const void** data, WORD* size, WORD* type,
                          const DddBlob** blob) {
  if (!copy || copy->kind != DDD_KIND_ENTRY_COPY) return FALSE;
  if (name) *name = copy->name;
  if (data) *data = copy->data;
  if (size) *size = copy->data_size;
  if (type) *type = copy->value_type;
  if (blob) *blob = copy->blob;
  return TRUE;
}

BOOL DddGetChoicePaperSize(DddHandle* handle, WORD identifier, const void* wanted, DddPair* size, DddPair* size_max) {
  DddValue* target = nullptr;
  if (DddLoadItemValueTarget(handle, identifier, wanted, &target)) return FALSE;
  BOOL ok = !DddGetPaperSize(target, size) && !DddGetPaperSizeAlt(target, size_max);
  DddFreeValue(&target, 0xFFFF);
  return ok;
}

WCHAR* DddGetDefaultTargetName(DddHandle* handle, WORD identifier) {
  DddItem* item = DddOpenItemRecord(handle, identifier, nullptr, nullptr, nullptr, nullptr);
  if (!item) return nullptr;
  DddValue* choice = nullptr;
  DddValue* target = nullptr;
  WCHAR* name = nullptr;
  if (!DddLoadItemChoice(DDD_LOAD_HEADER, TRUE, &handle->main, &handle->linked, item, 0, nullptr, &choice) &&
      !DddLoadChoiceTarget(DDD_LOAD_HEADER, &handle->main, &handle->linked, choice, nullptr, &target))
    name = copy_wide(DddGetValueName(target));
  if (target) DddFreeValue(&target, 0xFFFF);
  if (choice) DddFreeValue(&choice, 0xFFFF);
  DddFreeRecord(item);
  return name;
}
