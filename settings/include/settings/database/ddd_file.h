// The device-description database: a read-only pair of ".DDD" files (the
// main file named by the printer driver's data file and the linked file it
// names), read whole into memory and walked with a cursor. This header holds
// the file layer: opening and closing, the cursor, the global field area,
// the kind directory and tables, and database strings.
#pragma once

#include "win/types.h"

// Result of every reader call: 0 success, 1 bad argument / not open /
// unsupported kind / malformed data, 2 not found or index out of range,
// 4 out of memory.
using DddStatus = WORD;
inline constexpr DddStatus DDD_OK = 0;
inline constexpr DddStatus DDD_BAD = 1;
inline constexpr DddStatus DDD_NOT_FOUND = 2;
inline constexpr DddStatus DDD_NO_MEMORY = 4;

// File roles, also the file flags of kind-table entries (2 main, any other
// value the linked file).
inline constexpr WORD DDD_ROLE_MAIN = 2;
inline constexpr WORD DDD_ROLE_LINKED = 1;

// Header layout (224 bytes, then the global field area).
inline constexpr DWORD DDD_HEADER_SIZE = 224;
inline constexpr DWORD DDD_HEADER_TITLE = 0;        // 64 bytes ANSI
inline constexpr DWORD DDD_HEADER_VERSION = 64;     // 24 bytes ANSI "x:1.2.3"
inline constexpr DWORD DDD_HEADER_RESERVED = 88;    // 4 bytes
inline constexpr DWORD DDD_HEADER_LEVEL = 92;       // 4 bytes, big-endian
inline constexpr DWORD DDD_HEADER_MODEL = 96;       // 64 bytes ANSI
inline constexpr DWORD DDD_HEADER_LINKED = 160;     // 64 bytes ANSI
inline constexpr DWORD DDD_HEADER_TEXT_SIZE = 64;
inline constexpr DWORD DDD_HEADER_VERSION_SIZE = 24;
static_assert(DDD_HEADER_LINKED + DDD_HEADER_TEXT_SIZE == DDD_HEADER_SIZE);
static_assert(DDD_HEADER_VERSION + DDD_HEADER_VERSION_SIZE == DDD_HEADER_RESERVED);
static_assert(DDD_HEADER_LEVEL + 4 == DDD_HEADER_MODEL);

// Global fields 0-41. A count or size of 0 means "stored in the file": a
// count of 0 puts a WORD count at the field's start, a size of 0 puts a
// WORD byte size before every element (the element is a database string).
struct DddFieldShape {
  BYTE count;
  BYTE size;
};
inline constexpr WORD DDD_GLOBAL_FIELD_COUNT = 42;
inline constexpr DddFieldShape kDddGlobalFields[DDD_GLOBAL_FIELD_COUNT] = {
    {1, 4}, {1, 2}, {1, 4}, {0, 2}, {1, 2}, {1, 1}, {1, 4}, {1, 1},  // 0-7
    {1, 4}, {1, 4}, {1, 2}, {1, 4}, {1, 4}, {1, 0}, {0, 1}, {1, 4},  // 8-15
    {1, 2}, {1, 0}, {1, 0}, {1, 0}, {1, 0}, {1, 0}, {1, 0}, {1, 1},  // 16-23
    {1, 2}, {1, 2}, {1, 4}, {0, 2}, {0, 0}, {1, 0}, {1, 0}, {1, 0},  // 24-31
    {1, 0}, {1, 0}, {0, 2}, {0, 0}, {0, 0}, {1, 0}, {1, 0}, {0, 4},  // 32-39
    {1, 2}, {1, 2},                                                  // 40-41
};

// Record kinds that have a table, in the order of the kind directory.
inline constexpr WORD DDD_KIND_TABLE_COUNT = 23;
inline constexpr WORD kDddKindOrder[DDD_KIND_TABLE_COUNT] = {
    3, 4, 5, 6, 17, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 18, 19, 20, 21, 22, 23, 24, 25};
inline constexpr DWORD DDD_DIRECTORY_ENTRY_SIZE = 7;  // 3 bytes unused, DWORD offset
inline constexpr DWORD DDD_TABLE_ENTRY_SIZE = 7;      // BYTE flag, WORD id, DWORD offset

// The four reusable string buffers of one database pair and the pair's
// string library (DatabaseStringLibrary).
inline constexpr int DDD_POOL_SLOTS = 4;
inline constexpr DWORD DDD_POOL_MIN_BUFFER = 1024;
struct DddStringPool {
  struct Slot {
    WORD capacity;
    BYTE* buffer;
    BOOL in_use;
  };
  Slot slots[DDD_POOL_SLOTS];
  BOOL retry;        // references may still be resolved (1 at creation)
  HMODULE library;   // DatabaseStringLibrary, loaded on first use
};

// One file of the pair.
struct DddFile {
  BOOL open;          // non-zero while an image is loaded
  BYTE loaded;
  BYTE* image;        // GlobalAlloc'ed copy of the whole file
  DWORD size;
  DWORD cursor;
  WORD role;          // DDD_ROLE_MAIN or DDD_ROLE_LINKED
  DWORD version;      // major << 24 | minor << 16 | build
  DWORD level;        // DddFormatLevel
  DddFile* main;      // set in the linked file only
  DddStringPool* pool;  // shared by both files of the pair
};

struct ConfigOptionSet;
struct CapabilityValueMap;
struct PaperSizeList;

// An open database pair.
struct DddHandle {
  DddFile main;
  DddFile linked;
  ConfigOptionSet* config;           // model configuration, may be absent
  CapabilityValueMap* capabilities;  // capability overrides, may be absent
  PaperSizeList* papers;             // absent until built; freed by its builder
  WCHAR* main_path;                  // the main file's path (names the configuration file
                                     // of a database without a linked file)
};

// Opening and closing.
// Opens the database pair of a printer: the main file is the data file of
// the printer's driver. Null on failure. The model configuration and the
// capability overrides are added by their own readers.
DddHandle* DddOpen(HANDLE printer);
// Opens the pair whose main file is `path` (a ".DDD" path) into a new handle;
// null on failure. `status` (may be null) receives the reason.
DddHandle* DddOpenPath(LPCWSTR path, DddStatus* status);
// Closes both files and frees the handle; 1 when both files had been open.
BOOL DddClose(DddHandle* handle);
DddStatus DddOpenFile(LPCWSTR path, DddFile* main, DddFile* linked);
DddStatus DddLoadFile(LPCWSTR path, DddFile* file, DddFile* other);
void DddCloseFiles(DddFile* main, DddFile* linked);
void DddCloseFile(DddFile* file);

// Cursor. Every call answers DDD_BAD when the file is not open or the move
// or read would leave the image.
DddStatus DddSeek(DddFile* file, BOOL relative, LONG offset);
DddStatus DddSeekBack(DddFile* file, DWORD n);
DddStatus DddRead(DddFile* file, void* buffer, DWORD n);
DddStatus DddReadByte(DddFile* file, BYTE* out);
DddStatus DddReadWord(DddFile* file, WORD* out);
DddStatus DddReadDword(DddFile* file, DWORD* out);

// Positioning.
DddStatus DddSeekGlobalArea(DddFile* file, DWORD offset);
DddStatus DddSeekGlobalField(DddFile* file, WORD field);
// Positions the cursor at element `index` of a global field: at the value of
// a fixed-size element, at the WORD byte size of a variable-size one.
// `element_size` receives the element's size (stored size for variable ones).
DddStatus DddSeekFieldElement(DddFile* file, WORD field, WORD index, WORD* element_size);
DddStatus DddSeekDirectory(DddFile* file);
DddStatus DddSeekKindTable(DddFile* file, WORD kind);
DddStatus DddFindRecordById(DddFile* file, WORD kind, WORD id);
DddStatus DddFindRecordByIndex(DddFile* file, WORD kind, WORD n);
DddStatus DddSeekRecord(BOOL by_index, DddFile* main, DddFile* linked, WORD table_role, WORD kind,
                        WORD key, WORD* out_flag);
DddStatus DddSeekRecordOrChoice(DddFile* main, DddFile* linked, WORD table_role, WORD kind, WORD id,
                                WORD choice, WORD* out_flag);
// The file a table entry's flag names (2 main, else linked).
DddFile* DddFileForFlag(DddFile* main, DddFile* linked, WORD flag);

// Strings. `length` holds the stored byte length on entry and the byte size
// of the GlobalAlloc'ed UTF-16 result (characters x 2 + 2) on return.
DddStatus DddReadString(DddFile* file, WCHAR** out, WORD* length);
DddStatus DddDecodeString(const BYTE* stored, WORD n, WCHAR** out, WORD* length);
// Reads element `index` of a string field as a database string.
DddStatus DddReadFieldString(DddFile* file, WORD field, WORD index, WCHAR** out);
BYTE* DddPoolTake(DddStringPool* pool, DWORD size);
void DddPoolRelease(DddStringPool* pool, const BYTE* buffer);

// Header and version.
BOOL DddParseVersion(const char* text, DWORD size, WORD* major, WORD* minor, WORD* build);
DWORD DddPackVersion(WORD major, WORD minor, WORD build);
DWORD DddReadBigEndian32(const BYTE* bytes);
DddStatus DddCheckHeader(DddFile* file);
// Format level of the main file opened last in this process.
DWORD DddGetProcessFormatLevel();
