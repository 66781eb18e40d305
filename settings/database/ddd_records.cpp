// Loading database records into DddValues and freeing them.
#include <cstring>
#include <iterator>
#include <type_traits>

#include "settings/database/ddd_host.h"
#include "settings/database/ddd_records.h"
#include "win/endian.h"
#include "win/memory.h"

namespace {

// The files one load works on: the record's file and the pair, for the
// records it pulls in.
struct Loader {
  WORD mode;
  DddFile* file;
  DddFile* main;
  DddFile* linked;
  bool full() const { return mode != DDD_LOAD_HEADER; }
  bool level(DWORD at_least) const { return file->level >= at_least; }
};

DWORD remaining(const DddFile* file) { return file->size - file->cursor; }

template <typename V>
V* alloc_value(DddFile* file, WORD kind) {
  static_assert(std::is_trivially_copyable_v<V> && std::is_trivially_destructible_v<V>);
  auto* v = static_cast<V*>(GlobalAlloc(GPTR, sizeof(V)));
  if (v) {
    v->kind = kind;
    v->file = file;
  }
  return v;
}

DddStatus skip(DddFile* file, DWORD n) {
  if (n > remaining(file)) return DDD_BAD;
  return DddSeek(file, TRUE, static_cast<LONG>(n));
}

// Skips the record's DWORD length and reads its WORD id.
DddStatus begin_record(DddFile* file, DddValue* v) {
  DddStatus s = skip(file, 4);
  if (!s) s = DddReadWord(file, &v->id);
  return s;
}

// WORD length and a database string; a length of 0 is an absent string.
DddStatus read_counted_string(DddFile* file, WCHAR** text, WORD* bytes) {
  WORD n = 0;
  DddStatus s = DddReadWord(file, &n);
  if (s || n == 0) return s;
  s = DddReadString(file, text, &n);
  if (!s) *bytes = n;
  return s;
}

void free_text(WCHAR*& text) {
  if (text) GlobalFree(text);
  text = nullptr;
}

// ---------------------------------------------------------------- typed values

DddStatus owned_dword(DddTypedValue* v, DWORD value) {
  auto* data = static_cast<BYTE*>(GlobalAlloc(GPTR, 4));
  if (!data) return DDD_NO_MEMORY;
  morva::store_le32(data, value);
  v->data = data;
  v->element_size = 4;
  v->count = 1;
  v->owned = TRUE;
  return DDD_OK;
}

// Reads a stored typed value. Types 1, 6 and 10 are owned copies, type 128
// becomes the table it names, other types point into the image (or are
// copied when `copy` is set).
DddStatus read_typed_value(const Loader& l, DddTypedValue* v, bool copy) {
  std::memset(v, 0, sizeof(*v));
  BYTE type = 0;
  WORD size = 0;
  DddStatus s = DddReadByte(l.file, &type);
  if (!s) s = DddReadWord(l.file, &size);
  if (s) return s;
  v->type = type;
  switch (type) {
    case DDD_TYPE_BOOL: {  // one stored byte whatever the size says
      BYTE b = 0;
      if ((s = DddReadByte(l.file, &b))) return s;
      return owned_dword(v, b ? 1 : 0);
    }
    case DDD_TYPE_LONG: {  // four stored bytes whatever the size says
      DWORD d = 0;
      if ((s = DddReadDword(l.file, &d))) return s;
      return owned_dword(v, d);
    }
    case DDD_TYPE_STRING: {
      if (size == 0) return DDD_OK;
      WCHAR* text = nullptr;
      WORD n = size;
      if ((s = DddReadString(l.file, &text, &n))) return s;
      v->data = text;
      v->element_size = n;
      v->count = 1;
      v->owned = TRUE;
      return DDD_OK;
    }
    case DDD_TYPE_TABLE_REF: {
      if (size < 2 || size > remaining(l.file)) return DDD_BAD;
      const BYTE* reference = l.file->image + l.file->cursor;
      if ((s = skip(l.file, size))) return s;
      if ((s = DddLoadRecordTable(l.file, l.main, l.linked, reference, size, v))) return s;
      if (copy && !v->owned && v->data) {
        DWORD bytes = static_cast<DWORD>(v->count) * v->element_size;
        void* data = GlobalAlloc(GPTR, bytes);
        if (!data) return DDD_NO_MEMORY;
        std::memcpy(data, v->data, bytes);
        v->data = data;
        v->owned = TRUE;
      }
      return DDD_OK;
    }
    default: {
      if (size > remaining(l.file)) return DDD_BAD;
      v->element_size = size;
      if (size == 0) return DDD_OK;
      const BYTE* at = l.file->image + l.file->cursor;
      if (copy) {
        void* data = GlobalAlloc(GPTR, size);
        if (!data) return DDD_NO_MEMORY;
        std::memcpy(data, at, size);
        v->data = data;
        v->owned = TRUE;
      } else {
        v->data = const_cast<BYTE*>(at);
      }
      v->count = 1;
      return skip(l.file, size);
    }
  }
}

// A bare typed value in a 4-byte slot.
DddStatus read_inline_value(const Loader& l, DddInlineValue* v) {
  BYTE type = 0;
  WORD size = 0;
  DddStatus s = DddReadByte(l.file, &type);
  if (!s) s = DddReadWord(l.file, &size);
  if (s) return s;
  v->type = type;
  switch (type) {
    case DDD_TYPE_BOOL: {
      BYTE b = 0;
      if ((s = DddReadByte(l.file, &b))) return s;
      v->inline_value[0] = b ? 1 : 0;
      v->size = 4;
      return DDD_OK;
    }
    case DDD_TYPE_LONG:
      v->size = 4;
      return DddRead(l.file, v->inline_value, 4);
    case DDD_TYPE_STRING: {
      if (size == 0) return DDD_OK;
      WORD n = size;
      if ((s = DddReadString(l.file, &v->text, &n))) return s;
      v->size = n;
      v->owned = TRUE;
      return DDD_OK;
    }
    default:
      // Values longer than the slot are outside the format.
      if (size > sizeof(v->inline_value)) return DDD_BAD;
      v->size = size;
      return size ? DddRead(l.file, v->inline_value, size) : DDD_OK;
  }
}

// ---------------------------------------------------------------- elements

void release(DddWordElement&) {}
void release(DddTripleElement&) {}
void release(DddStringElement& e) { free_text(e.text); }
void release(DddOperand& e) { DddReleaseTypedValue(&e.value); }
void release(DddCondition& e) { release(e.operand); }
void release(DddInlineValue& e) {
  if (e.owned) free_text(e.text);
  e.owned = FALSE;
}
void release(DddKeyedValue& e) { release(e.value); }

DddStatus read_element(const Loader& l, DddWordElement& e) { return DddReadWord(l.file, &e.value); }
DddStatus read_element(const Loader& l, DddTripleElement& e) {
  DddStatus s = DddReadWord(l.file, &e.first);
  if (!s) s = DddReadWord(l.file, &e.second);
  if (!s) s = DddReadWord(l.file, &e.third);
  return s;
}
DddStatus read_element(const Loader& l, DddStringElement& e) {
  return read_counted_string(l.file, &e.text, &e.bytes);
}
DddStatus read_element(const Loader& l, DddOperand& e) {
  DddStatus s = DddReadWord(l.file, &e.tag);
  if (!s) s = DddReadByte(l.file, &e.op);
  if (!s) s = DddReadWord(l.file, &e.ddmid);
  if (!s) s = read_typed_value(l, &e.value, false);
  return s;
}
DddStatus read_element(const Loader& l, DddCondition& e) {
  e.operand.kind = DDD_ELEM_OPERAND;
  e.operand.file = l.file;
  DddStatus s = read_element(l, e.operand);
  if (!s) s = DddReadByte(l.file, &e.connector);
  return s;
}
DddStatus read_element(const Loader& l, DddInlineValue& e) { return read_inline_value(l, &e); }
DddStatus read_element(const Loader& l, DddKeyedValue& e) {
  e.value.kind = DDD_ELEM_INLINE_VALUE;
  e.value.file = l.file;
  DddStatus s = DddReadWord(l.file, &e.key);
  if (!s) s = read_inline_value(l, &e.value);
  return s;
}

template <typename T>
void free_list(DddList<T>& list) {
  if (list.items) {
    for (WORD i = 0; i < list.count; ++i) release(list.items[i]);
    GlobalFree(list.items);
  }
  list.items = nullptr;
  list.count = 0;
}

// Reads `count` elements at the cursor. `min_stored` is the fewest bytes
// one element takes in the file, so that a count the file cannot hold is
// refused before anything is allocated.
template <typename T>
DddStatus read_elements(const Loader& l, WORD element_kind, WORD count, DWORD min_stored,
                        DddList<T>& list) {
  list.count = 0;
  list.items = nullptr;
  if (count == 0) return DDD_OK;
  if (static_cast<DWORD>(count) * min_stored > remaining(l.file)) return DDD_BAD;
  auto* items = static_cast<T*>(GlobalAlloc(GPTR, sizeof(T) * count));
  if (!items) return DDD_NO_MEMORY;
  list.items = items;
  for (WORD i = 0; i < count; ++i) {
    items[i].kind = element_kind;
    items[i].file = l.file;
    list.count = static_cast<WORD>(i + 1);
    DddStatus s = read_element(l, items[i]);
    if (s) {
      free_list(list);
      return s;
    }
  }
  return DDD_OK;
}

// A framed list: DWORD byte length (skipped), WORD count, the elements.
template <typename T>
DddStatus read_list(const Loader& l, WORD element_kind, DWORD min_stored, DddList<T>& list) {
  WORD count = 0;
  DddStatus s = skip(l.file, 4);
  if (!s) s = DddReadWord(l.file, &count);
  if (!s) s = read_elements(l, element_kind, count, min_stored, list);
  return s;
}

// Passes over a framed list by its length DWORD.
DddStatus skip_list(DddFile* file) {
  DWORD length = 0;
  DddStatus s = DddReadDword(file, &length);
  if (!s) s = skip(file, length);
  return s;
}

// Stored sizes of the smallest element of each kind.
constexpr DWORD kMinWord = 2, kMinTriple = 6, kMinString = 2, kMinOperand = 8, kMinCondition = 9,
                kMinInline = 3, kMinKeyed = 5;

// A list of counted strings stored as a WORD count, the WORD lengths, then
// the string bodies.
DddStatus read_string_bodies(const Loader& l, DddList<DddStringElement>& list) {
  WORD count = 0;
  DddStatus s = DddReadWord(l.file, &count);
  if (s || count == 0) return s;
  if (static_cast<DWORD>(count) * 2 > remaining(l.file)) return DDD_BAD;
  auto* items = static_cast<DddStringElement*>(GlobalAlloc(GPTR, sizeof(DddStringElement) * count));
  if (!items) return DDD_NO_MEMORY;
  list.items = items;
  list.count = count;
  for (WORD i = 0; i < count && !s; ++i) {
    items[i].kind = DDD_ELEM_STRING;
    items[i].file = l.file;
    s = DddReadWord(l.file, &items[i].bytes);
  }
  for (WORD i = 0; i < count && !s; ++i) {
    WORD n = items[i].bytes;
    items[i].bytes = 0;
    if (n == 0) continue;
    s = DddReadString(l.file, &items[i].text, &n);
    if (!s) items[i].bytes = n;
  }
  if (s) {
    for (WORD i = 0; i < count; ++i) items[i].bytes = 0;
    free_list(list);
  }
  return s;
}

// ---------------------------------------------------------------- free

void free_parts(DddValue* value);

void free_parts(DddHeaderValue* v) {
  free_text(v->title);
  free_text(v->model);
  free_text(v->linked_name);
}
void free_parts(DddItem* v) {
  free_text(v->name);
  free_text(v->name2);
  free_list(v->choices);
  free_list(v->rules);
  free_list(v->rules_alt);
}
void free_parts(DddRange* v) {
  free_text(v->name);
  free_text(v->name2);
  free_list(v->ddmids);
  free_list(v->second);
}
void free_parts(DddRule* v) {
  release(v->head);
  free_text(v->text);
  free_list(v->conditions);
  free_list(v->actions);
}
void free_parts(DddPictureRule* v) { free_list(v->conditions); }
void free_parts(DddPaper* v) { free_text(v->name); }
void free_parts(DddDeviceFont* v) {
  free_text(v->name);
  free_text(v->family);
  free_list(v->faces);
  free_list(v->second);
  free_list(v->values);
}
void free_parts(DddPicture* v) {
  if (v->bitmap) GlobalFree(v->bitmap);
  v->bitmap = nullptr;
}
void free_parts(DddChoice* v) {
  free_text(v->name);
  free_list(v->rules);
  free_list(v->rules_alt);
  DddReleaseTypedValue(&v->value);
}
void free_parts(DddPjlEntry* v) {
  free_list(v->conditions);
  free_text(v->command);
  free_text(v->text);
}
void free_parts(DddConditionalBytes* v) {
  free_list(v->conditions);
  if (v->bytes) GlobalFree(v->bytes);
  v->bytes = nullptr;
}
void free_parts(DddBlob* v) {
  if (v->data) GlobalFree(v->data);
  v->data = nullptr;
}
void free_parts(DddKind19* v) {
  free_text(v->text);
  free_text(v->text2);
}
void free_parts(DddKeyValueSet* v) {
  free_text(v->name);
  free_list(v->entries);
}
void free_parts(DddDeviceConfigKey* v) {
  free_list(v->strings);
  free_list(v->values);
}
void free_parts(DddConditionalTriples* v) {
  free_list(v->conditions);
  free_list(v->triples);
}
void free_parts(DddKind25* v) {
  free_text(v->text1);
  free_text(v->text2);
}
void free_parts(DddEntryCopy* v) {
  free_text(v->name);
  if (v->data) GlobalFree(v->data);
  v->data = nullptr;
  if (v->blob) {
    free_parts(v->blob);
    GlobalFree(v->blob);
    v->blob = nullptr;
  }
}

void free_parts(DddValue* value) {
  switch (value->kind) {
    case DDD_KIND_HEADER: return free_parts(static_cast<DddHeaderValue*>(value));
    case DDD_KIND_ITEM:
    case DDD_KIND_ITEM_ALT: return free_parts(static_cast<DddItem*>(value));
    case DDD_KIND_RANGE:
    case DDD_KIND_RANGE_ALT: return free_parts(static_cast<DddRange*>(value));
    case DDD_KIND_RULE:
    case DDD_KIND_RULE_ALT: return free_parts(static_cast<DddRule*>(value));
    case DDD_KIND_PICTURE_RULE: return free_parts(static_cast<DddPictureRule*>(value));
    case DDD_KIND_PAPER: return free_parts(static_cast<DddPaper*>(value));
    case DDD_KIND_DEVICE_FONT: return free_parts(static_cast<DddDeviceFont*>(value));
    case DDD_KIND_PICTURE: return free_parts(static_cast<DddPicture*>(value));
    case DDD_KIND_CHOICE:
    case DDD_KIND_CHOICE_ALT: return free_parts(static_cast<DddChoice*>(value));
    case DDD_KIND_PJL: return free_parts(static_cast<DddPjlEntry*>(value));
    case DDD_KIND_CONDITIONAL_BYTES: return free_parts(static_cast<DddConditionalBytes*>(value));
    case DDD_KIND_BLOB:
    case DDD_KIND_BLOB_DATA: return free_parts(static_cast<DddBlob*>(value));
    case DDD_KIND_19: return free_parts(static_cast<DddKind19*>(value));
    case DDD_KIND_KEY_VALUE:
    case DDD_KIND_KEY_VALUE_ALT: return free_parts(static_cast<DddKeyValueSet*>(value));
    case DDD_KIND_DEVICE_CONFIG: return free_parts(static_cast<DddDeviceConfigKey*>(value));
    case DDD_KIND_CONDITIONAL_TRIPLES: return free_parts(static_cast<DddConditionalTriples*>(value));
    case DDD_KIND_25: return free_parts(static_cast<DddKind25*>(value));
    case DDD_KIND_ENTRY_COPY: return free_parts(static_cast<DddEntryCopy*>(value));
    case DDD_ELEM_OPERAND: return release(*static_cast<DddOperand*>(value));
    case DDD_ELEM_CONDITION: return release(*static_cast<DddCondition*>(value));
    case DDD_ELEM_STRING: return release(*static_cast<DddStringElement*>(value));
    case DDD_ELEM_INLINE_VALUE: return release(*static_cast<DddInlineValue*>(value));
    default: return;  // a plain block
  }
}

template <typename V>
DddStatus finish(DddStatus s, V* v, DddValue** out) {
  if (s) {
    DddValue* value = v;
    DddFreeValue(&value, 0xFFFF);
    *out = nullptr;
    return s;
  }
  *out = v;
  return DDD_OK;
}

// ---------------------------------------------------------------- loaders

DddStatus load_dimensions(const Loader& l, WORD id, DddPair* first, DddPair* second) {
  return DddLoadDimensionRecord(l.main, l.linked, DDD_ROLE_MAIN, id, first, second);
}

DddStatus DddLoadItem(const Loader& l, WORD kind, DddValue** out) {
  auto* v = alloc_value<DddItem>(l.file, kind);
  if (!v) return DDD_NO_MEMORY;
  DddStatus s = begin_record(l.file, v);
  if (!s) s = read_counted_string(l.file, &v->name, &v->name_bytes);
  if (!s) s = DddReadByte(l.file, &v->flags);
  if (!s) s = DddReadWord(l.file, &v->default_choice);
  if (!s) s = DddReadWord(l.file, &v->dimension_id);
  if (!s) s = read_list(l, DDD_ELEM_WORD, kMinWord, v->choices);
  if (!s) s = read_list(l, DDD_ELEM_WORD, kMinWord, v->rules);
  if (!s) s = read_list(l, DDD_ELEM_WORD, kMinWord, v->rules_alt);
  if (!s) s = DddReadWord(l.file, &v->blob_id);
  if (!s && l.level(DDD_LEVEL_0x400)) s = read_counted_string(l.file, &v->name2, &v->name2_bytes);
  return finish(s, v, out);
}

DddStatus DddLoadRange(const Loader& l, WORD kind, DddValue** out) {
  auto* v = alloc_value<DddRange>(l.file, kind);
  if (!v) return DDD_NO_MEMORY;
  DddStatus s = begin_record(l.file, v);
  if (!s) s = read_counted_string(l.file, &v->name, &v->name_bytes);
  if (!s) s = DddReadWord(l.file, &v->dimension_id);
  if (!s) s = DddReadWord(l.file, &v->word);
  if (!s) s = read_list(l, DDD_ELEM_WORD, kMinWord, v->ddmids);
  if (!s) s = read_list(l, DDD_ELEM_WORD, kMinWord, v->second);
  if (!s && l.level(DDD_LEVEL_0x200)) s = DddReadByte(l.file, &v->byte);
  if (!s && l.level(DDD_LEVEL_0x400)) s = read_counted_string(l.file, &v->name2, &v->name2_bytes);
  if (!s) s = load_dimensions(l, v->dimension_id, &v->minimum, &v->maximum);
  return finish(s, v, out);
}

DddStatus DddLoadRule(const Loader& l, WORD kind, DddValue** out) {
  auto* v = alloc_value<DddRule>(l.file, kind);
  if (!v) return DDD_NO_MEMORY;
  v->head.kind = DDD_ELEM_OPERAND;
  v->head.file = l.file;
  DddStatus s = begin_record(l.file, v);
  if (!s) s = read_element(l, v->head);
  if (!s) s = DddReadWord(l.file, &v->flags);
  if (!s) s = read_counted_string(l.file, &v->text, &v->text_bytes);
  if (!s) s = read_list(l, DDD_ELEM_CONDITION, kMinCondition, v->conditions);
  if (!s) s = read_list(l, DDD_ELEM_OPERAND, kMinOperand, v->actions);
  return finish(s, v, out);
}

DddStatus DddLoadPictureRule(const Loader& l, WORD kind, DddValue** out) {
  auto* v = alloc_value<DddPictureRule>(l.file, kind);
  if (!v) return DDD_NO_MEMORY;
  v->picture.kind = DDD_ELEM_TRIPLE;
  v->picture.file = l.file;
  DddStatus s = begin_record(l.file, v);
  if (!s) s = read_list(l, DDD_ELEM_CONDITION, kMinCondition, v->conditions);
  if (!s) s = read_element(l, v->picture);
  return finish(s, v, out);
}

DddStatus DddLoadPaper(const Loader& l, WORD kind, DddValue** out) {
  auto* v = alloc_value<DddPaper>(l.file, kind);
  if (!v) return DDD_NO_MEMORY;
  DddStatus s = begin_record(l.file, v);
  if (!s) s = read_counted_string(l.file, &v->name, &v->name_bytes);
  if (!s) s = DddReadByte(l.file, &v->byte);
  if (!s) s = DddReadWord(l.file, &v->size_id);
  if (!s) s = DddReadWord(l.file, &v->area_id);
  if (!s) s = DddReadWord(l.file, &v->margin_id);
  if (!s) s = DddReadWord(l.file, &v->word1);
  if (!s) s = DddReadWord(l.file, &v->word2);
  if (!s && l.level(DDD_LEVEL_0x200)) {
    s = DddReadByte(l.file, &v->byte2);
    if (!s) s = DddReadWord(l.file, &v->fourth_id);
  }
  if (!s && l.level(DDD_LEVEL_0x500)) s = DddReadWord(l.file, &v->last_word);
  if (!s) s = load_dimensions(l, v->size_id, &v->size, &v->size_max);
  if (!s) s = load_dimensions(l, v->margin_id, &v->margin_lb, &v->margin_rt);
  if (!s) s = load_dimensions(l, v->area_id, &v->area, &v->area2);
  if (!s && v->fourth_id) s = load_dimensions(l, v->fourth_id, &v->fourth, &v->fourth2);
  return finish(s, v, out);
}

DddStatus DddLoadDeviceFont(const Loader& l, WORD kind, DddValue** out) {
  auto* v = alloc_value<DddDeviceFont>(l.file, kind);
  if (!v) return DDD_NO_MEMORY;
  DddStatus s = begin_record(l.file, v);
  if (!s) s = read_counted_string(l.file, &v->name, &v->name_bytes);
  if (!s) s = read_counted_string(l.file, &v->family, &v->family_bytes);
  if (!s) s = read_string_bodies(l, v->faces);
  if (!s) s = read_string_bodies(l, v->second);
  WORD skipped = 0;
  if (!s) s = DddReadWord(l.file, &skipped);
  if (!s) s = skip(l.file, skipped);
  if (!s) s = DddReadDword(l.file, &v->data_size);
  if (!s && v->data_size > remaining(l.file)) s = DDD_BAD;
  if (!s) {
    if (l.full() && v->data_size) v->data = l.file->image + l.file->cursor;
    s = skip(l.file, v->data_size);
  }
  if (!s) s = DddReadWord(l.file, &v->word);
  if (!s && l.level(DDD_LEVEL_0x400)) {
    WORD count = 0;
    s = DddReadWord(l.file, &count);
    if (!s) s = read_elements(l, DDD_ELEM_INLINE_VALUE, count, kMinInline, v->values);
  }
  return finish(s, v, out);
}

// Size of the bitmap file header that pictures store before BITMAPINFO.
constexpr DWORD kBitmapFileHeader = 14;

DddStatus DddLoadPicture(const Loader& l, WORD kind, DddValue** out) {
  auto* v = alloc_value<DddPicture>(l.file, kind);
  if (!v) return DDD_NO_MEMORY;
  DddStatus s = begin_record(l.file, v);
  if (!s) s = DddReadByte(l.file, &v->format);
  if (!s) s = DddReadWord(l.file, &v->word1);
  if (!s) s = DddReadWord(l.file, &v->word2);
  WORD skipped = 0;
  if (!s) s = DddReadWord(l.file, &skipped);
  if (!s) s = skip(l.file, skipped);
  if (!s && l.full()) {
    DWORD length = 0;
    if (v->format != 1 && v->format != 2) s = DDD_BAD;
    if (!s) s = DddReadDword(l.file, &length);
    if (!s && (length < kBitmapFileHeader || length > remaining(l.file))) s = DDD_BAD;
    if (!s) s = skip(l.file, kBitmapFileHeader);
    if (!s) {
      v->bitmap_size = length - kBitmapFileHeader;
      if (v->bitmap_size) {
        v->bitmap = static_cast<BYTE*>(GlobalAlloc(GPTR, v->bitmap_size));
        s = v->bitmap ? DddRead(l.file, v->bitmap, v->bitmap_size) : DDD_NO_MEMORY;
      }
    }
  }
  return finish(s, v, out);
}

DddStatus DddLoadChoice(const Loader& l, WORD kind, DddValue** out) {
  auto* v = alloc_value<DddChoice>(l.file, kind);
  if (!v) return DDD_NO_MEMORY;
  DddStatus s = begin_record(l.file, v);
  if (!s) s = read_counted_string(l.file, &v->name, &v->name_bytes);
  if (!s) s = DddReadWord(l.file, &v->target_kind);
  if (!s) s = DddReadWord(l.file, &v->target_id);
  if (l.full()) {
    if (!s) s = DddReadWord(l.file, &v->dimension_id);
    if (!s) s = read_list(l, DDD_ELEM_WORD, kMinWord, v->rules);
    if (!s) s = read_list(l, DDD_ELEM_WORD, kMinWord, v->rules_alt);
  } else {
    if (!s) s = skip(l.file, 2);
    if (!s) s = skip_list(l.file);
    if (!s) s = skip_list(l.file);
  }
  if (!s) s = read_typed_value(l, &v->value, false);
  if (!s) s = DddReadWord(l.file, &v->blob_id);
  return finish(s, v, out);
}

DddStatus DddLoadPjlEntry(const Loader& l, WORD kind, DddValue** out) {
  auto* v = alloc_value<DddPjlEntry>(l.file, kind);
  if (!v) return DDD_NO_MEMORY;
  DddStatus s = begin_record(l.file, v);
  if (!s) s = DddReadWord(l.file, &v->ddmid);
  if (!s) s = read_list(l, DDD_ELEM_CONDITION, kMinCondition, v->conditions);
  if (!s) s = read_counted_string(l.file, &v->command, &v->command_bytes);
  if (!s) s = read_counted_string(l.file, &v->text, &v->text_bytes);
  if (!s && l.level(DDD_LEVEL_0x500)) s = DddReadWord(l.file, &v->flags);
  return finish(s, v, out);
}

DddStatus read_owned_bytes(DddFile* file, WORD* size, BYTE** bytes) {
  DddStatus s = DddReadWord(file, size);
  if (s || *size == 0) return s;
  if (*size > remaining(file)) return DDD_BAD;
  *bytes = static_cast<BYTE*>(GlobalAlloc(GPTR, *size));
  if (!*bytes) return DDD_NO_MEMORY;
  return DddRead(file, *bytes, *size);
}

DddStatus DddLoadKind16(const Loader& l, WORD kind, DddValue** out) {
  auto* v = alloc_value<DddConditionalBytes>(l.file, kind);
  if (!v) return DDD_NO_MEMORY;
  DddStatus s = begin_record(l.file, v);
  if (!s) s = read_list(l, DDD_ELEM_CONDITION, kMinCondition, v->conditions);
  if (!s) s = DddReadByte(l.file, &v->byte1);
  if (!s) s = DddReadByte(l.file, &v->byte2);
  if (!s) s = read_owned_bytes(l.file, &v->size, &v->bytes);
  return finish(s, v, out);
}

DddStatus DddLoadDimensions(const Loader& l, WORD kind, DddValue** out) {
  auto* v = alloc_value<DddDimensions>(l.file, kind);
  if (!v) return DDD_NO_MEMORY;
  DddStatus s = begin_record(l.file, v);
  if (!s) s = DddReadWord(l.file, &v->first.first);
  if (!s) s = DddReadWord(l.file, &v->first.second);
  if (!s) s = DddReadWord(l.file, &v->second.first);
  if (!s) s = DddReadWord(l.file, &v->second.second);
  return finish(s, v, out);
}

DddStatus DddLoadBlob(const Loader& l, WORD, DddValue** out) {
  auto* v = alloc_value<DddBlob>(l.file, DDD_KIND_BLOB_DATA);
  if (!v) return DDD_NO_MEMORY;
  DddStatus s = begin_record(l.file, v);
  if (!s) s = read_owned_bytes(l.file, &v->size, &v->data);
  return finish(s, v, out);
}

DddStatus DddLoadKind19(const Loader& l, WORD kind, DddValue** out) {
  if (!l.level(DDD_LEVEL_0x200)) return DDD_BAD;
  auto* v = alloc_value<DddKind19>(l.file, kind);
  if (!v) return DDD_NO_MEMORY;
  DddStatus s = begin_record(l.file, v);
  if (!s) s = read_counted_string(l.file, &v->text, &v->text_bytes);
  if (!s) s = DddReadByte(l.file, &v->byte);
  if (!s && l.level(DDD_LEVEL_0x400)) s = read_counted_string(l.file, &v->text2, &v->text2_bytes);
  return finish(s, v, out);
}

DddStatus DddLoadTable(const Loader& l, WORD kind, DddValue** out) {
  auto* v = alloc_value<DddRecordTable>(l.file, kind);
  if (!v) return DDD_NO_MEMORY;
  DddStatus s = begin_record(l.file, v);
  if (!s) s = DddReadWord(l.file, &v->word);
  if (!s) s = DddReadByte(l.file, &v->value_type);
  if (!s) s = DddReadWord(l.file, &v->element_size);
  if (!s) s = skip(l.file, 4);
  if (!s) s = DddReadWord(l.file, &v->count);
  if (!s) {
    DWORD bytes = static_cast<DWORD>(v->count) * v->element_size;
    if (bytes > remaining(l.file)) {
      s = DDD_BAD;
    } else {
      v->elements = bytes ? l.file->image + l.file->cursor : nullptr;
      s = skip(l.file, bytes);
    }
  }
  return finish(s, v, out);
}

DddStatus DddLoadKeyValueSet(const Loader& l, WORD kind, DddValue** out) {
  auto* v = alloc_value<DddKeyValueSet>(l.file, kind);
  if (!v) return DDD_NO_MEMORY;
  DddStatus s = begin_record(l.file, v);
  if (!s) s = read_counted_string(l.file, &v->name, &v->name_bytes);
  if (!s) s = read_list(l, DDD_ELEM_INLINE_VALUE, kMinKeyed, v->entries);
  return finish(s, v, out);
}

DddStatus DddLoadDeviceConfigKey(const Loader& l, WORD kind, DddValue** out) {
  auto* v = alloc_value<DddDeviceConfigKey>(l.file, kind);
  if (!v) return DDD_NO_MEMORY;
  DddStatus s = begin_record(l.file, v);
  if (!s) s = DddReadWord(l.file, &v->word1);
  if (!s) s = DddReadWord(l.file, &v->word2);
  if (!s) s = DddReadByte(l.file, &v->value_type);
  if (!s) s = DddReadWord(l.file, &v->value_size);
  if (!s && v->value_type == DDD_TYPE_BOOL) v->value_size = 4;
  if (!s) s = DddReadByte(l.file, &v->byte);
  if (!s) s = DddReadWord(l.file, &v->word3);
  if (!s) s = DddReadWord(l.file, &v->word4);
  if (!s) s = read_list(l, DDD_ELEM_STRING, kMinString, v->strings);
  if (!s) s = read_list(l, DDD_ELEM_INLINE_VALUE, kMinInline, v->values);
  return finish(s, v, out);
}

DddStatus DddLoadKind23(const Loader& l, WORD kind, DddValue** out) {
  auto* v = alloc_value<DddConditionalTriples>(l.file, kind);
  if (!v) return DDD_NO_MEMORY;
  DddStatus s = begin_record(l.file, v);
  if (!s) s = read_list(l, DDD_ELEM_CONDITION, kMinCondition, v->conditions);
  if (!s) s = read_list(l, DDD_ELEM_WORD3, kMinTriple, v->triples);
  return finish(s, v, out);
}

DddStatus DddLoadKind25(const Loader& l, WORD kind, DddValue** out) {
  if (!l.level(DDD_LEVEL_0x2000)) return DDD_BAD;
  auto* v = alloc_value<DddKind25>(l.file, kind);
  if (!v) return DDD_NO_MEMORY;
  DddStatus s = begin_record(l.file, v);
  if (!s) s = read_counted_string(l.file, &v->text1, &v->text1_bytes);
  if (!s) s = read_counted_string(l.file, &v->text2, &v->text2_bytes);
  return finish(s, v, out);
}

using LoaderFn = DddStatus (*)(const Loader&, WORD, DddValue**);

// Loader of each record kind 3-25.
constexpr LoaderFn kLoaders[] = {
    DddLoadItem,        DddLoadItem,          DddLoadRange,   DddLoadRange,           // 3-6
    DddLoadRule,        DddLoadRule,          DddLoadPictureRule, DddLoadPaper,       // 7-10
    DddLoadDeviceFont,  DddLoadPicture,       DddLoadChoice,  DddLoadChoice,          // 11-14
    DddLoadPjlEntry,    DddLoadKind16,        DddLoadDimensions, DddLoadBlob,         // 15-18
    DddLoadKind19,      DddLoadTable,         DddLoadKeyValueSet, DddLoadDeviceConfigKey,  // 19-22
    DddLoadKind23,      DddLoadKeyValueSet,   DddLoadKind25,                          // 23-25
};
constexpr WORD kFirstLoaded = 3;
static_assert(std::size(kLoaders) == 25 - kFirstLoaded + 1);

// Fills in the pair from the file when the caller names only the file.
void complete_pair(DddFile* file, DddFile*& main, DddFile*& linked) {
  if (!main) main = file->role == DDD_ROLE_MAIN ? file : file->main;
  if (!linked && file->role == DDD_ROLE_LINKED) linked = file;
}

}  // namespace

// ---------------------------------------------------------------- public

void DddReleaseTypedValue(DddTypedValue* value) {
  if (!value) return;
  if (value->owned && value->data) GlobalFree(value->data);
  value->data = nullptr;
  value->owned = FALSE;
}

DddStatus DddLoadRecordTable(DddFile* file, DddFile* main, DddFile* linked, const BYTE* reference,
                             WORD size, DddTypedValue* out) {
  if (!file || !reference || size < 2 || !out) return DDD_BAD;
  complete_pair(file, main, linked);
  // Copies keep the callers' cursors where they are.
  DddFile main_copy{}, linked_copy{};
  if (main) main_copy = *main;
  if (linked) linked_copy = *linked;
  WORD flag = 0;
  DddStatus s = DddSeekRecord(TRUE, &main_copy, &linked_copy, file->role, DDD_KIND_TABLE,
                              morva::load_le16(reference), &flag);
  if (s) return s;
  DddFile* holder = DddFileForFlag(&main_copy, &linked_copy, flag);
  Loader l{DDD_LOAD_FULL, holder, &main_copy, &linked_copy};
  DddValue* value = nullptr;
  if ((s = DddLoadTable(l, DDD_KIND_TABLE, &value))) return s;
  auto* table = static_cast<DddRecordTable*>(value);
  out->type = table->value_type;
  out->element_size = table->element_size;
  out->count = table->count;
  out->data = const_cast<BYTE*>(table->elements);
  out->owned = FALSE;
  if ((table->value_type == DDD_TYPE_BOOL || table->value_type == DDD_TYPE_LONG) && table->count) {
    // Widened into 4-byte values.
    auto* wide = static_cast<BYTE*>(GlobalAlloc(GPTR, static_cast<SIZE_T>(table->count) * 4));
    if (!wide) {
      DddFreeValue(&value, DDD_KIND_TABLE);
      return DDD_NO_MEMORY;
    }
    for (WORD i = 0; i < table->count; ++i) {
      const BYTE* e = table->elements + static_cast<size_t>(i) * table->element_size;
      DWORD v = 0;
      if (table->value_type == DDD_TYPE_BOOL) {
        v = table->element_size && e[0] ? 1 : 0;
      } else {
        for (WORD b = 0; b < table->element_size && b < 4; ++b) v |= static_cast<DWORD>(e[b]) << (8 * b);
      }
      morva::store_le32(wide + 4 * i, v);
    }
    out->data = wide;
    out->element_size = 4;
    out->owned = TRUE;
  }
  DddFreeValue(&value, DDD_KIND_TABLE);
  return DDD_OK;
}

DddStatus DddReadTypedValueCopy(DddFile* file, DddTypedValue* out, DddFile* main, DddFile* linked) {
  if (!file || !out || !file->open) return DDD_BAD;
  complete_pair(file, main, linked);
  Loader l{DDD_LOAD_FULL, file, main, linked};
  DddStatus s = read_typed_value(l, out, true);
  if (s) DddReleaseTypedValue(out);
  return s;
}

DddStatus DddLoadDimensionRecord(DddFile* main, DddFile* linked, WORD table_role, WORD id,
                                 DddPair* first, DddPair* second) {
  if (!main) return DDD_BAD;
  DddFile main_copy = *main;
  DddFile linked_copy{};
  if (linked) linked_copy = *linked;
  WORD flag = 0;
  DddStatus s = DddSeekRecord(FALSE, &main_copy, &linked_copy, table_role, DDD_KIND_DIMENSIONS, id, &flag);
  if (s) return s;
  DddFile* holder = DddFileForFlag(&main_copy, &linked_copy, flag);
  Loader l{DDD_LOAD_FULL, holder, &main_copy, &linked_copy};
  DddValue* value = nullptr;
  if ((s = DddLoadDimensions(l, DDD_KIND_DIMENSIONS, &value))) return s;
  auto* d = static_cast<DddDimensions*>(value);
  if (first) *first = d->first;
  if (second) *second = d->second;
  DddFreeValue(&value, DDD_KIND_DIMENSIONS);
  return DDD_OK;
}

DddStatus DddLoadValueByKind(WORD mode, DddFile* file, DddFile* main, DddFile* linked, WORD kind,
                             DddValue** out) {
  if (!out) return DDD_BAD;
  *out = nullptr;
  if (!file || !file->open || kind < kFirstLoaded || kind > 25) return DDD_BAD;
  complete_pair(file, main, linked);
  Loader l{mode, file, main, linked};
  return kLoaders[kind - kFirstLoaded](l, kind, out);
}

DddStatus DddLoadRecord(WORD mode, DddFile* main, DddFile* linked, WORD kind, WORD id, WORD choice,
                        DddValue** out) {
  if (!out) return DDD_BAD;
  *out = nullptr;
  WORD flag = 0;
  DddStatus s = DddSeekRecordOrChoice(main, linked, DDD_ROLE_MAIN, kind, id, choice, &flag);
  if (s) return s;
  if (choice) kind = kind == DDD_KIND_ITEM ? DDD_KIND_CHOICE : DDD_KIND_CHOICE_ALT;
  s = DddLoadValueByKind(mode, DddFileForFlag(main, linked, flag), main, linked, kind, out);
  if (!s) (*out)->file_flag = flag;
  return s;
}

DddStatus DddLoadValue(WORD mode, DddFile* main, DddFile* linked, WORD kind, WORD position,
                       DddValue** out) {
  if (!out) return DDD_BAD;
  *out = nullptr;
  WORD flag = 0;
  DddStatus s = DddSeekRecord(TRUE, main, linked, DDD_ROLE_MAIN, kind, position, &flag);
  if (s) return s;
  s = DddLoadValueByKind(mode, DddFileForFlag(main, linked, flag), main, linked, kind, out);
  if (!s) (*out)->file_flag = flag;
  return s;
}

DddStatus DddLoadChoiceName(DddFile* file, WORD kind, WCHAR** out, WORD* bytes) {
  if (!out) return DDD_BAD;
  *out = nullptr;
  bool named = (kind >= DDD_KIND_ITEM && kind <= DDD_KIND_RANGE_ALT) || kind == DDD_KIND_PAPER ||
               kind == DDD_KIND_DEVICE_FONT || kind == DDD_KIND_CHOICE || kind == DDD_KIND_CHOICE_ALT;
  if (!file || !named) return DDD_BAD;
  WORD n = 0;
  DddStatus s = skip(file, 6);
  if (!s) s = read_counted_string(file, out, &n);
  if (!s && !*out) s = DDD_NOT_FOUND;
  if (!s && bytes) *bytes = n;
  return s;
}

DddStatus DddReadHeader(DddFile* file, DddHeaderValue** out) {
  if (!out) return DDD_BAD;
  *out = nullptr;
  if (!file || !file->open) return DDD_BAD;
  BYTE header[DDD_HEADER_SIZE];
  DddStatus s = DddSeek(file, FALSE, 0);
  if (!s) s = DddRead(file, header, sizeof(header));
  if (s) return s;
  auto text = [&](DWORD offset, DWORD size) -> const char* {
    const char* t = reinterpret_cast<const char*>(header + offset);
    return std::memchr(t, 0, size) ? t : nullptr;  // must end within its field
  };
  const char* title = text(DDD_HEADER_TITLE, DDD_HEADER_TEXT_SIZE);
  const char* model = text(DDD_HEADER_MODEL, DDD_HEADER_TEXT_SIZE);
  const char* linked = text(DDD_HEADER_LINKED, DDD_HEADER_TEXT_SIZE);
  if (!title || !model || !linked) return DDD_BAD;
  auto* v = alloc_value<DddHeaderValue>(file, DDD_KIND_HEADER);
  if (!v) return DDD_NO_MEMORY;
  if (!DddParseVersion(reinterpret_cast<const char*>(header + DDD_HEADER_VERSION),
                       DDD_HEADER_VERSION_SIZE, &v->major, &v->minor, &v->build))
    s = DDD_BAD;
  v->level = DddReadBigEndian32(header + DDD_HEADER_LEVEL);
  if (!s && !(v->title = DddAnsiToWide(title, DDD_HEADER_TEXT_SIZE, nullptr))) s = DDD_NO_MEMORY;
  if (!s && !(v->model = DddAnsiToWide(model, DDD_HEADER_TEXT_SIZE, nullptr))) s = DDD_NO_MEMORY;
  if (!s && !(v->linked_name = DddAnsiToWide(linked, DDD_HEADER_TEXT_SIZE, nullptr))) s = DDD_NO_MEMORY;
  DddValue* value = nullptr;
  s = finish(s, v, &value);
  *out = static_cast<DddHeaderValue*>(value);
  return s;
}

WORD DddFreeValue(DddValue** value, WORD kind) {
  if (!value || !*value) return 1;
  DddValue* v = *value;
  *value = nullptr;
  // A kind-18 record loads into a kind-522 object: either kind frees it.
  bool blob = (kind == DDD_KIND_BLOB || kind == DDD_KIND_BLOB_DATA) &&
              (v->kind == DDD_KIND_BLOB || v->kind == DDD_KIND_BLOB_DATA);
  if (kind != 0xFFFF && kind != v->kind && !blob) return 1;
  free_parts(v);
  GlobalFree(v);
  return 0;
}
