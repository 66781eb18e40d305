// Records of the device database loaded into DddValues: the element kinds
// lists are made of, typed values, one value layout per record kind, the
// loader that dispatches by kind and DddFreeValue.
#pragma once

#include "settings/database/ddd_file.h"

// Record kinds with a loader, and the kinds of in-memory objects.
enum DddRecordKind : WORD {
  DDD_KIND_HEADER = 1,
  DDD_KIND_ITEM = 3,
  DDD_KIND_ITEM_ALT = 4,
  DDD_KIND_RANGE = 5,
  DDD_KIND_RANGE_ALT = 6,
  DDD_KIND_RULE = 7,
  DDD_KIND_RULE_ALT = 8,
  DDD_KIND_PICTURE_RULE = 9,
  DDD_KIND_PAPER = 10,
  DDD_KIND_DEVICE_FONT = 11,
  DDD_KIND_PICTURE = 12,
  DDD_KIND_CHOICE = 13,
  DDD_KIND_CHOICE_ALT = 14,
  DDD_KIND_PJL = 15,
  DDD_KIND_CONDITIONAL_BYTES = 16,
  DDD_KIND_DIMENSIONS = 17,
  DDD_KIND_BLOB = 18,
  DDD_KIND_19 = 19,
  DDD_KIND_TABLE = 20,
  DDD_KIND_KEY_VALUE = 21,
  DDD_KIND_DEVICE_CONFIG = 22,
  DDD_KIND_CONDITIONAL_TRIPLES = 23,
  DDD_KIND_KEY_VALUE_ALT = 24,
  DDD_KIND_25 = 25,
  // Element kinds.
  DDD_ELEM_OPERAND = 517,
  DDD_ELEM_WORD = 515,
  DDD_ELEM_TRIPLE = 518,
  DDD_ELEM_PAIR = 519,
  DDD_ELEM_STRING = 520,
  DDD_ELEM_CONDITION = 521,
  DDD_ELEM_WORD3 = 526,
  DDD_ELEM_INLINE_VALUE = 527,
  // Objects made by the loaders and queries.
  DDD_KIND_BLOB_DATA = 522,
  DDD_KIND_ENTRY_COPY = 523,
};

// Format levels from which optional record fields exist.
inline constexpr DWORD DDD_LEVEL_0x200 = 0x200;
inline constexpr DWORD DDD_LEVEL_0x400 = 0x400;
inline constexpr DWORD DDD_LEVEL_0x500 = 0x500;
inline constexpr DWORD DDD_LEVEL_0x2000 = 0x2000;

// Load modes: a header load skips bitmaps, device-font data blocks and the
// dimension id and rule lists of choices.
inline constexpr WORD DDD_LOAD_HEADER = 0;
inline constexpr WORD DDD_LOAD_FULL = 1;

// Value types of typed values.
inline constexpr BYTE DDD_TYPE_BOOL = 1;
inline constexpr BYTE DDD_TYPE_STRING = 6;
inline constexpr BYTE DDD_TYPE_LONG = 10;
inline constexpr BYTE DDD_TYPE_TABLE_REF = 128;

// Every loaded value starts with this head.
struct DddValue {
  WORD id;         // record id as stored
  WORD kind;       // DddRecordKind
  WORD file_flag;  // 2 main, 1 linked (set by the queries)
  DddFile* file;   // the file the record was read from
};

// Every list element carries the same head as a value (its id is 0), so
// that DddFreeValue can release an element standing on its own.
struct DddElement : DddValue {};

template <typename T>
struct DddList {
  WORD count;
  T* items;  // GlobalAlloc'ed, null for count 0
};

// A loaded typed value. Types 1 and 10 and strings (6) are owned copies;
// other types point into the image; type 128 is replaced by the table it
// names.
struct DddTypedValue {
  WORD type;
  WORD element_size;
  void* data;
  WORD count;
  BOOL owned;
};

struct DddWordElement : DddElement {  // 515
  WORD value;
};
struct DddTripleElement : DddElement {  // 518 and 526
  WORD first;
  WORD second;
  WORD third;
};
struct DddPair {  // 519 inside dimension records
  WORD first;
  WORD second;
};
struct DddStringElement : DddElement {  // 520
  WCHAR* text;
  WORD bytes;
};
struct DddOperand : DddElement {  // 517
  WORD tag;
  BYTE op;
  WORD ddmid;
  DddTypedValue value;  // count 1 when it has data, else 0
};
struct DddCondition : DddElement {  // 521
  DddOperand operand;
  BYTE connector;
};
// A bare typed value held in a 4-byte slot (527): strings by pointer, other
// values of at most 4 bytes copied into `inline_value`.
struct DddInlineValue : DddElement {
  WORD type;
  WORD size;
  WCHAR* text;
  BYTE inline_value[4];
  BOOL owned;
};
struct DddKeyedValue : DddElement {
  WORD key;
  DddInlineValue value;
};

// Kind 1: the header.
struct DddHeaderValue : DddValue {
  WCHAR* title;
  WCHAR* model;
  WCHAR* linked_name;
  WORD major;
  WORD minor;
  WORD build;
  DWORD level;
};

// Kinds 3 and 4.
struct DddItem : DddValue {
  WCHAR* name;
  WORD name_bytes;
  BYTE flags;
  WORD default_choice;  // 1-based
  WORD dimension_id;    // kind 17, 0 none
  DddList<DddWordElement> choices;  // record ids of kind 13 (item 3) or 14 (item 4)
  DddList<DddWordElement> rules;      // kind-7 positions
  DddList<DddWordElement> rules_alt;  // kind-8 positions
  WORD blob_id;         // kind 18, 0 none
  WCHAR* name2;         // level 0x400
  WORD name2_bytes;
};

// Kinds 5 and 6.
struct DddRange : DddValue {
  WCHAR* name;
  WORD name_bytes;
  WORD dimension_id;
  WORD word;
  DddList<DddWordElement> ddmids;
  DddList<DddWordElement> second;
  BYTE byte;     // level 0x200
  WCHAR* name2;  // level 0x400
  WORD name2_bytes;
  DddPair minimum;  // first pair of the dimension record
  DddPair maximum;  // second pair
};

// Kinds 7 and 8.
struct DddRule : DddValue {
  DddOperand head;
  WORD flags;
  WCHAR* text;
  WORD text_bytes;
  DddList<DddCondition> conditions;
  DddList<DddOperand> actions;
};

// Kind 9.
struct DddPictureRule : DddValue {
  DddList<DddCondition> conditions;
  DddTripleElement picture;  // WORD, WORD, kind-12 picture id
};

// Kind 10. Lengths in tenths of a millimetre.
struct DddPaper : DddValue {
  WCHAR* name;
  WORD name_bytes;
  BYTE byte;
  WORD size_id;
  WORD area_id;
  WORD margin_id;
  WORD word1;
  WORD word2;
  BYTE byte2;      // level 0x200
  WORD fourth_id;  // level 0x200, 0 none
  WORD last_word;  // level 0x500
  DddPair size;        // width, length
  DddPair size_max;    // the largest size (custom paper)
  DddPair margin_lb;   // left, bottom
  DddPair margin_rt;   // right, top
  DddPair area;
  DddPair area2;
  DddPair fourth;
  DddPair fourth2;
};

// Kind 11.
struct DddDeviceFont : DddValue {
  WCHAR* name;
  WORD name_bytes;
  WCHAR* family;
  WORD family_bytes;
  DddList<DddStringElement> faces;
  DddList<DddStringElement> second;
  DWORD data_size;
  const BYTE* data;  // points into the image; null in a header load
  WORD word;
  DddList<DddInlineValue> values;  // level 0x400
};

// Kind 12.
struct DddPicture : DddValue {
  BYTE format;  // 1 or 2
  WORD word1;
  WORD word2;
  DWORD bitmap_size;
  BYTE* bitmap;  // BITMAPINFO and bits (file header dropped); owned
};

// Kinds 13 and 14.
struct DddChoice : DddValue {
  WCHAR* name;
  WORD name_bytes;
  WORD target_kind;
  WORD target_id;
  WORD dimension_id;
  DddList<DddWordElement> rules;
  DddList<DddWordElement> rules_alt;
  DddTypedValue value;
  WORD blob_id;
};

// Kind 15.
struct DddPjlEntry : DddValue {
  WORD ddmid;
  DddList<DddCondition> conditions;
  WCHAR* command;
  WORD command_bytes;
  WCHAR* text;
  WORD text_bytes;
  WORD flags;  // level 0x500
};

// Kind 16.
struct DddConditionalBytes : DddValue {
  DddList<DddCondition> conditions;
  BYTE byte1;
  BYTE byte2;
  WORD size;
  BYTE* bytes;  // owned copy
};

// Kind 17.
struct DddDimensions : DddValue {
  DddPair first;
  DddPair second;
};

// Kind 18 loads into a kind-522 object.
struct DddBlob : DddValue {
  WORD size;
  BYTE* data;  // owned
};

// Kind 19 (level 0x200 and later).
struct DddKind19 : DddValue {
  WCHAR* text;
  WORD text_bytes;
  BYTE byte;
  WCHAR* text2;  // level 0x400
  WORD text2_bytes;
};

// Kind 20.
struct DddRecordTable : DddValue {
  WORD word;
  BYTE value_type;
  WORD element_size;
  WORD count;
  const BYTE* elements;  // in the image
};

// Kinds 21 and 24.
struct DddKeyValueSet : DddValue {
  WCHAR* name;
  WORD name_bytes;
  DddList<DddKeyedValue> entries;
};

// Kind 22.
struct DddDeviceConfigKey : DddValue {
  WORD word1;
  WORD word2;
  BYTE value_type;
  WORD value_size;  // 4 when the type is 1
  BYTE byte;
  WORD word3;
  WORD word4;
  DddList<DddStringElement> strings;
  DddList<DddInlineValue> values;
};

// Kind 23.
struct DddConditionalTriples : DddValue {
  DddList<DddCondition> conditions;
  DddList<DddTripleElement> triples;
};

// Kind 25 (level 0x2000 and later).
struct DddKind25 : DddValue {
  WCHAR* text1;
  WORD text1_bytes;
  WCHAR* text2;
  WORD text2_bytes;
};

// Kind 523: an owned copy of an item's or choice's parts.
struct DddEntryCopy : DddValue {
  WCHAR* name;
  WORD name_bytes;
  void* data;  // owned value data
  WORD data_size;
  WORD value_type;
  DddBlob* blob;  // owned kind-522 copy, or null
};

// Reads the header of `file` into a kind-1 value.
DddStatus DddReadHeader(DddFile* file, DddHeaderValue** out);

// Loads the record at the cursor of `file` (found with DddSeekRecord) as
// `kind`. `main` and `linked` serve the records it pulls in (dimension
// records, tables). On failure *out is null and nothing is kept.
DddStatus DddLoadValueByKind(WORD mode, DddFile* file, DddFile* main, DddFile* linked, WORD kind,
                             DddValue** out);

// Seeks record `id` of `kind` through the main file's kind tables (choice n
// of an item when n is not 0) and loads it; the value's file flag is set.
DddStatus DddLoadRecord(WORD mode, DddFile* main, DddFile* linked, WORD kind, WORD id, WORD choice,
                        DddValue** out);
// Loads the n-th record (1-based) of `kind` through the main file's tables.
DddStatus DddLoadValue(WORD mode, DddFile* main, DddFile* linked, WORD kind, WORD position,
                       DddValue** out);

// Loads the kind-17 record `id` and copies its two pairs.
DddStatus DddLoadDimensionRecord(DddFile* main, DddFile* linked, WORD table_role, WORD id,
                                 DddPair* first, DddPair* second);
// Reads only the name of the record at the cursor (kinds 3-6, 10, 11, 13, 14).
DddStatus DddLoadChoiceName(DddFile* file, WORD kind, WCHAR** out, WORD* bytes);
// Reads a stored typed value at the cursor as an owned copy of its data.
// `main` and `linked` serve a table reference (type 128); when null they are
// taken from `file`.
DddStatus DddReadTypedValueCopy(DddFile* file, DddTypedValue* out, DddFile* main = nullptr,
                                DddFile* linked = nullptr);
// Replaces a table reference (type 128) by the kind-20 table it names.
DddStatus DddLoadRecordTable(DddFile* file, DddFile* main, DddFile* linked, const BYTE* reference,
                             WORD size, DddTypedValue* out);
void DddReleaseTypedValue(DddTypedValue* value);

// Frees a value and clears *value. kind 0xFFFF takes the value's own kind.
// 0 when freed; 1 when there is no value or the kind does not match
// (nothing freed, the pointer cleared all the same).
WORD DddFreeValue(DddValue** value, WORD kind);
