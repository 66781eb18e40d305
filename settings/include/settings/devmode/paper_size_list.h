// The paper-size list: the device database's papers joined with the
// spooler's forms, built into an open DddHandle when the model allows it
// and the printer's settings ask for it. Each database paper takes the size
// and imageable area of the spooler form of the same name; user-defined
// spooler forms within the model's custom size limits are added after them.
// Also the small spooler-form helpers the paper code shares.
#pragma once

#include "win/spooler.h"
#include "win/types.h"

struct DddHandle;

inline constexpr int kPaperNameChars = 64;

// One paper of the list. Sizes and the imageable rectangle are in
// thousandths of a millimetre, as in FORM_INFO_1.
struct PaperSizeEntry {
  WORD windows_number;  // 1-based position of the spooler form; 0 for the custom paper
  WCHAR name[kPaperNameChars];  // always terminated (at most 63 characters)
  LONG width;
  LONG length;
  WORD driver_paper_id;  // the database paper's record id; 512, 513, ... for added forms
  LONG imageable_left;
  LONG imageable_top;
  LONG imageable_right;
  LONG imageable_bottom;
};

// The list hangs in DddHandle::papers. Standard entries (the database's
// papers) come first, then the added custom entries.
struct PaperSizeList {
  PaperSizeEntry* entries;  // GlobalAlloc'ed, room for `capacity`
  WORD capacity;            // global field 41
  WORD standard_count;
  WORD custom_count;
};

// Driver paper ids of the forms added as custom entries start here.
inline constexpr WORD kFirstAddedPaperId = 512;

// Results of the list functions.
inline constexpr INT kPaperListOk = 1;
inline constexpr INT kPaperListNoHandle = -1;
inline constexpr INT kPaperListNoList = -2;
inline constexpr INT kPaperListNotFound = -3;
inline constexpr INT kPaperListFailed = -100;  // build failure, or a bad kind

// Builds the list into the handle (any list there is freed first). 1 built,
// or not needed (paper-list mode 0); -1 without handle; -100 failure, and
// then no list.
INT BuildPaperSizeList(HANDLE printer, DddHandle* handle, void* printer_data);
// Frees the list and clears the handle's pointer; -1 without handle, else 1.
INT FreePaperSizeList(DddHandle* handle);
// 1 when the handle holds a list, else 0.
INT HasPaperSizeList(const DddHandle* handle);
// DDMID 5201 of `printer_data` when the model's capability map enables the
// paper list (formdb.mode 1), else 0 (also when it cannot be read).
DWORD GetPaperListMode(const DddHandle* handle, void* printer_data);

// Count kinds.
inline constexpr INT kPaperCountStandard = 1;
inline constexpr INT kPaperCountCustom = 2;
inline constexpr INT kPaperCountAll = 3;
inline constexpr INT kPaperCountWithoutCustomPaper = 4;  // all but one entry with Windows number 0
INT CountPaperSizes(const DddHandle* handle, WORD* count, INT kind);

// Key kinds and result kinds of the lookups.
inline constexpr INT kPaperKeyDriverId = 1;
inline constexpr INT kPaperKeyWindowsNumber = 2;
inline constexpr INT kPaperKeyName = 3;  // exact, case-sensitive
inline constexpr INT kPaperResultDriverId = 1;       // out: WORD
inline constexpr INT kPaperResultWindowsNumber = 2;  // out: WORD
inline constexpr INT kPaperResultName = 3;           // out: const WCHAR* into the list
inline constexpr INT kPaperResultSize = 4;           // out: PaperSizeTenths
// Width and length in tenths of a millimetre.
struct PaperSizeTenths {
  LONG width;
  LONG length;
};
// `key` is the WORD value for key kinds 1 and 2 and an LPCWSTR for kind 3.
// 1 found, -1 no handle, -2 no list, -3 not found, -100 a bad kind or a
// missing key or out pointer.
INT FindPaperSize(const DddHandle* handle, INT key_kind, DWORD_PTR key, INT result_kind, void* out);
// The same by 0-based position in the list; -3 beyond it.
INT FindPaperSizeByIndex(const DddHandle* handle, WORD index, INT result_kind, void* out);

// Array kinds of GetPaperSizeArray: element WORD driver paper ids, WORD
// Windows numbers, 64-WCHAR names, PaperSizeTenths.
inline constexpr INT kPaperArrayDriverIds = 1;
inline constexpr INT kPaperArrayWindowsNumbers = 2;
inline constexpr INT kPaperArrayNames = 3;
inline constexpr INT kPaperArraySizes = 4;
// A GlobalAlloc'ed array over the list in order. Entries with Windows
// number 0 (the custom paper) are left out unless `include` is set; then
// `position` (may be null) receives the index of the last such element
// (0xFFFF when there is none). 1 ok; -1, -2; -100 a bad kind, no out
// pointers or out of memory.
INT GetPaperSizeArray(const DddHandle* handle, INT kind, void** array, DWORD* bytes, BOOL include, WORD* position);

// A pair of lengths in tenths of a millimetre.
struct PaperLengths {
  LONG first;
  LONG second;
};
// The geometry of the paper with `driver_paper_id`: size (width, length),
// printable size, margins (left, bottom) and (right, top); -3 when absent.
INT GetPaperGeometry(const DddHandle* handle, WORD driver_paper_id, PaperLengths* size, PaperLengths* printable,
                     PaperLengths* left_bottom, PaperLengths* right_top);

// Spooler forms.
inline constexpr INT kFormsOk = 1;
inline constexpr INT kFormsFailed = 3;
inline constexpr INT kFormsNoMemory = 10;
// EnumFormsW level 1 into a GlobalAlloc'ed block (null with no forms), its
// byte size and the form count. 1 ok, 3 spooler failure, 10 out of memory.
INT AllocEnumForms(HANDLE printer, FORM_INFO_1W** forms, DWORD* bytes, DWORD* count);
// GlobalAlloc'ed copy of the name of form n (1-based), or null.
WCHAR* GetFormNameByNumber(HANDLE printer, DWORD number);
WCHAR* GetFormName(HANDLE printer, DWORD number);

// Status of FindPaperByFormName: 1 found; 10 the form has no name or the
// database cannot be opened; otherwise the walk over the choices ended (2
// when the choices ran out, 1 or 4 when one could not be read, 0 when a
// choice's paper could not be loaded or has no name).
inline constexpr INT kFormPaperFound = 1;
inline constexpr INT kFormPaperNoForm = 10;
// The paper-size choice value (dmPaperSize item) whose paper is named like
// spooler form `form_number`, sign-extended from its first WORD; *value is
// 0 unless found. Form 256 with DDMID 5200 set and dmFields holding
// DM_PAPERLENGTH and DM_PAPERWIDTH is the custom size itself (256).
INT FindPaperByFormName(HANDLE printer, void* devmode, void* printer_data, WORD form_number, LONG* value);

// Custom size range of the model (tenths of a millimetre), from database
// paper record 262: the first and second area pairs plus both margin pairs.
struct CustomSizeRange {
  LONG min_width;
  LONG min_length;
  LONG max_width;
  LONG max_length;
};
// FALSE when the record or one of its parts is missing.
BOOL GetCustomSizeRange(DddHandle* database, CustomSizeRange* range);
// min <= value <= max for both the width and the length.
BOOL IsWithinCustomSizeRange(const CustomSizeRange& range, LONG width, LONG length);
