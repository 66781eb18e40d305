// Queries on an open device database: setting identifiers classified into
// records, items and their choices (by number, by value, the default),
// global fields and the numbered database strings, option bits, and small
// accessors into loaded values.
//
// Choice references of an item are record ids of kind 13 (item kind 3) or
// 14 (item kind 4), looked up in the kind tables of the file that holds the
// item. Every query here reads them that way, the search by value included,
// so a database whose choice ids differ from their table positions still
// finds the choice the item names.
//
// Level-gated fields are read by the format level of the file the value
// came from, never by the level of whichever database the process opened
// last: two printers of different generations in one process each read
// their own fields.
#pragma once

#include "settings/database/ddd_records.h"

// Classifies a setting identifier into a record kind and record id.
// `key` is the record id for papers (0x8001), range items (0x8002, 0x8003)
// and kind 19 (0x800B). Kind 1 is the header.
void DddClassifyId(WORD identifier, WORD key, WORD* kind, WORD* id);

// Loads what an identifier names. Identifiers 1 and 259 give the kind-1
// header value (its `model` is the model name). An item (kind 3 or 4) with
// a non-null `key` is searched for the choice whose value equals *key (out
// kind 13 or 14); papers, ranges and kind 19 take *key as a WORD record id;
// anything else loads the record itself.
DddStatus DddGetItemValue(WORD mode, DddFile* main, DddFile* linked, WORD identifier, const void* key,
                          WORD* out_kind, DddValue** out);
// n-th choice (1-based) of an item, or the n-th record of kind 5, 6 or 10.
DddStatus DddGetNthChoice(WORD mode, DddFile* main, DddFile* linked, WORD identifier, WORD n, WORD* out_kind,
                          DddValue** out);
DddStatus DddLoadValueEx(WORD mode, DddFile* main, DddFile* linked, WORD kind, WORD id, WORD choice,
                         DddValue** out);
// The item's n-th choice, or with `by_default` its default choice.
DddStatus DddLoadItemChoice(WORD mode, BOOL by_default, DddFile* main, DddFile* linked, const DddValue* item,
                            WORD n, WORD* out_kind, DddValue** out);
// The first choice of the item whose value equals `wanted`: types 2 and 3
// compare 16 bits, 1, 4, 5 and 10 32 bits, 6 wide strings (exact), 7 single
// floats, 8 one byte; other types never match.
DddStatus DddFindChoiceByValue(WORD mode, DddFile* main, DddFile* linked, const DddValue* item, const void* wanted,
                               WORD* out_kind, DddValue** out);
// The record (target kind, target id) a choice stands for.
DddStatus DddLoadChoiceTarget(WORD mode, DddFile* main, DddFile* linked, const DddValue* choice, WORD* out_kind,
                              DddValue** out);
// Owned (GlobalAlloc'ed) copy of the default choice's value, read straight
// from the images. `size` (may be null) receives the data's byte size.
DddStatus DddGetDefaultChoiceValue(DddFile* main, DddFile* linked, WORD identifier, void** data, WORD* type,
                                   WORD* size = nullptr);
// The same with the locale and country adjustments of identifiers 8, 1824,
// 327, 4356, 4358 and 1804.
DddStatus DddGetItemDefault(DddFile* main, DddFile* linked, WORD identifier, void** data, WORD* type,
                            WORD* size = nullptr);
// GlobalAlloc'ed name of what DddGetItemValue finds (key as there).
DddStatus DddGetItemString(DddFile* main, DddFile* linked, WORD identifier, const void* key, WCHAR** out);
// GlobalAlloc'ed name of record `id` of `kind` (choice n of an item when n
// is not 0), read without loading the record.
DddStatus DddGetRecordName(DddFile* main, DddFile* linked, WORD kind, WORD id, WORD choice, WCHAR** out);
DddStatus DddGetChoiceNameAndValue(DddFile* main, DddFile* linked, WORD identifier, WORD n, WCHAR** name,
                                   void** data, WORD* type);
// Kind-523 copy of a record (n = 0) or of an item's n-th choice.
DddStatus DddGetEntryCopy(DddHandle* handle, WORD identifier, WORD n, DddEntryCopy** out);
// Kind-522 copy of the blob an item or choice names; 2 when its id is 0.
DddStatus DddLoadEntryBlob(DddFile* main, DddFile* linked, const DddValue* value, DddBlob** out);
// Picture (kind 12) named by a kind-9 value; the bitmap (BITMAPINFO and
// bits, GlobalAlloc'ed) passes to the caller.
DddStatus DddLoadRulePicture(DddFile* main, DddFile* linked, const DddValue* rule, WORD* word1, WORD* word2,
                             BYTE** bitmap);
// Bitmap of the picture whose id is the WORD of a global field, or null.
BYTE* DddLoadPictureByField(DddFile* main, DddFile* linked, WORD field, WORD* word1, WORD* word2);
WORD DddGetRecordCount(DddFile* file, WORD kind);
// The level-gated WORD of a paper (from 0x500), device font (0x100), PJL
// entry (0x500) or device-configuration key (0x1000).
DddStatus DddGetLevelWord(const DddValue* value, WORD* out);
// Bit of global field 12 for an option identifier, or -1.
INT ItemOptionBit(WORD identifier);
// 0 when the option's bit is set in field 12, else 1.
INT DddTestOptionBit(DddFile* main, DddFile* linked, WORD identifier);

// Global fields and strings. None of these moves the caller's cursor.
DddStatus DddReadFixedField(DddFile* file, WORD field, WORD element_size, WORD index, void* buffer);
DWORD DddGetFieldValue(DddFile* file, WORD field, WORD element_size, WORD index);
WORD DddGetFieldCount(DddFile* file, WORD field);
WCHAR* DddGetFieldString(DddFile* file, WORD field, WORD index);
DddStatus DddGetDatabaseString(DddFile* file, WORD number, WCHAR** out);
DddStatus DddGetProductString(DddFile* file, WORD which, WCHAR** out);
// Element `index` of the database's text record `record` (the string global
// fields: 29 the web site, 30 the key base, 31 the driver name, 32 the
// notice, 37 the device selection, 38 the version dialog's title) as a new
// GlobalAlloc'ed string; DDD_BAD for a record that holds no texts.
DddStatus DddReadVarRecord(DddFile* file, WORD record, WORD index, WCHAR** out);
WCHAR* DddGetModelName(DddHandle* handle, DddStatus* status);

// Accessors on loaded values: 1 (or null / 0) for a value of another kind,
// 2 when n (1-based) is above the count.
const WCHAR* DddGetValueName(const DddValue* value);
DddStatus DddGetValueRange(const DddValue* value, DddPair* out);
DddStatus DddGetValueRange2(const DddValue* value, DddPair* out);
DddStatus DddGetRangeElement(const DddValue* value, WORD n, WORD* out);
DddStatus DddGetRangeWord(const DddValue* value, WORD n, WORD* out);
DddStatus DddGetPaperSize(const DddValue* value, DddPair* out);
DddStatus DddGetPaperSizeAlt(const DddValue* value, DddPair* out);
DddStatus DddGetPaperMarginPairs(const DddValue* value, DddPair* left_bottom, DddPair* right_top);
DddStatus DddGetPaperArea(const DddValue* value, DddPair* out);
DddStatus DddGetPaperArea2(const DddValue* value, DddPair* out);
const WCHAR* DddGetFontFace(const DddValue* value, WORD n);
const BYTE* DddGetDeviceFontData(const DddValue* value, DWORD* size);
WORD DddGetEntryCount(const DddValue* value);
// Type, size and a pointer to the text (type 6) or to the inline value.
DddStatus DddGetEntry(const DddValue* value, WORD n, WORD* type, WORD* size, const void** data);
const WCHAR* DddGetDeviceConfigString(const DddValue* value, WORD n);
const WCHAR* DddGetPjlCommandText(const DddValue* value);
const WCHAR* DddGetPjlValueText(const DddValue* value);
// Key/value sets (kind 24) are read only from files of level 0x1F00 on.
WORD DddGetKeyValueCount(const DddValue* value);
DddStatus DddGetKeyValueEntry(const DddValue* value, WORD n, WORD* key, WORD* type, WORD* size, const void** data);

// 1 when the two sizes (tenths of a millimetre) agree within 10 in either
// orientation.
BOOL PaperSizesMatch(WORD w1, WORD l1, WORD w2, WORD l2);

// Handle-level wrappers: statuses become 1 bad argument or other, 2 not
// found, 3 out of memory.
INT DddMapStatus(DddStatus status);
INT DddGetMaxCopies(DddHandle* handle);
// 0 gives -1, 2 gives 2, any other stored value 1 (-1 when missing too).
INT DddGetColorCapability(DddHandle* handle);
INT DddGetFeatureFlagByte(DddHandle* handle);
// 1 when the item has a choice with the value *wanted.
BOOL DddHasItemValue(DddHandle* handle, WORD identifier, const void* wanted);
// Header load of the target record of the choice with the value *wanted.
DddStatus DddLoadItemValueTarget(DddHandle* handle, WORD identifier, const void* wanted, DddValue** out);
// Size pair 1 of the target paper of the default choice.
BOOL DddGetDefaultPaperSize(DddHandle* handle, WORD identifier, DddPair* size);
// Walks the item's choices for a target that matches: mode 1 by record id,
// 2 by paper size (PaperSizesMatch), 3 by name ignoring case. The target's
// id, size pair 1 and a GlobalAlloc'ed copy of its name come back.
// Answers 0 found, 1 bad argument, 2 no match, 3 out of memory.
struct DddChoiceTargetQuery {
  WORD id;
  DddPair size;
  const WCHAR* name;
};
struct DddChoiceTargetResult {
  WORD id;
  DddPair size;
  WCHAR* name;
};
INT DddFindChoiceTarget(DddHandle* handle, WORD identifier, WORD mode, const DddChoiceTargetQuery* query,
                        DddChoiceTargetResult* out);
void DddFreeChoiceTargetName(DddChoiceTargetResult* result);

// Default value of an item: a text (type 6) as a pointer to an owned copy,
// freed by DddFreeItemDefaultValue; other types as a number (16-bit type 2
// and 8-bit type 8 sign- and zero-extended as their types say). 1 on
// success; `error` (may be null) receives the DddMapStatus code.
BOOL DddGetItemDefaultValue(DddHandle* handle, WORD identifier, WORD* type, DWORD_PTR* value, INT* error);
void DddFreeItemDefaultValue(WORD type, DWORD_PTR value);
// Owned default value data, freed by DddFreeItemDefaultData.
BOOL DddGetItemDefaultData(DddHandle* handle, WORD identifier, void** data, WORD* type, WORD* size, INT* error);
void DddFreeItemDefaultData(void* data);
// Full load of an item with its BYTE, choice count and name (pointers into
// the record); freed by DddFreeRecord.
DddItem* DddOpenItemRecord(DddHandle* handle, WORD identifier, BYTE* flags, WORD* choices, const WCHAR** name,
                           INT* error);
void DddFreeRecord(DddValue* value);
void DddFreeEntryCopy(DddEntryCopy* copy);
// Parts of an entry copy; pointers stay owned by the copy.
BOOL DddGetEntryCopyParts(const DddEntryCopy* copy, const WCHAR** name, const void** data, WORD* size, WORD* type,
                          const DddBlob** blob);
// Both size pairs of the target paper of the choice with the value *wanted.
BOOL DddGetChoicePaperSize(DddHandle* handle, WORD identifier, const void* wanted, DddPair* size, DddPair* size_max);
// GlobalAlloc'ed name of the default choice's target record, or null.
WCHAR* DddGetDefaultTargetName(DddHandle* handle, WORD identifier);
