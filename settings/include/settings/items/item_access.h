// The setting access front end: every part of the settings model reads and
// writes settings through these calls over the value engine, never by
// offset.
#pragma once

#include <string>

#include "win/types.h"

// The value slot of a setting read. Scalars occupy its first 4 bytes and
// the rest stays zero; strings and LOGFONT blocks come back as a pointer
// into the caller's buffer. Widened from the engine's 32-bit slot so that a
// 64-bit pointer fits.
union ItemValue {
  DWORD dw;
  LONG l;
  WORD w;
  SHORT s;
  BYTE b;
  const void* ptr;
  ULONG_PTR raw;
};
static_assert(sizeof(ItemValue) == sizeof(void*));

// UI-only pseudo setting: always type 1, size 4, value 0.
inline constexpr WORD kPseudoSettingId = 36905;
// Status of ReadEffectiveItemValue when the value cannot be read.
inline constexpr WORD kEffectiveReadFailed = 3;

// Reads a setting (engine status). For types 6 and 9 `value->ptr` points
// into the DEVMODE, its extension block or the PrinterData block; stored
// texts may lie at odd offsets, so read them with ItemText, never as a
// char16_t pointer.

WORD GetItemValue(WORD ddmid, void* devmode, void* printer_data, WORD* type, DWORD* size, ItemValue* value);
// Writes a setting (engine status); `value` as dma_SetValue takes it (for
// types 6 and 9 a pointer to the pointer of the text or block).
// A copy of a text setting read by GetItemValue (`size` bytes as reported,
// terminator included); the text ends at its first NUL.
std::u16string ItemText(const ItemValue& value, DWORD size);

WORD SetItemValueRaw(WORD ddmid, void* devmode, void* printer_data, WORD type, DWORD size, const void* value);
// As SetItemValueRaw; a size of (DWORD)-1 is taken from the type. TRUE when
// written.
BOOL SetItemValue(WORD ddmid, void* devmode, void* printer_data, DWORD size, WORD type, const void* value);

// Bytes of a value of the type: 4, 2, 1 or 92; for type 6 with size -1 the
// bytes of the text at `value` (an LPCWSTR) with its terminator; otherwise
// `size`.
DWORD ValueSizeOfType(WORD type, const void* value, DWORD size);
// The value at `value` as a 32-bit number by its type; 0 for other types or
// null.
LONG GetTypedValue(WORD type, const void* value);
DWORD GetTypedValueUnsigned(WORD type, const void* value);
// Stores the value at `value` into the slot by its type (for type 6 the
// pointer itself). FALSE for other types or null arguments.
BOOL StoreTypedValue(WORD type, ItemValue* slot, const void* value);

// The value engine behind the common ways to read and write a setting
// (GetItemNumber, GetEffectiveItemValue, SetItemNumber). Without one they
// use the linked engine (morvaui); the graphics library puts its run-time
// binding to the data manager here at load, so its reads answer status 16
// while nothing is bound.
struct SettingsFrontEnd {
  WORD (*get)(WORD ddmid, void* devmode, void* printer_data, WORD* type, DWORD* size, ItemValue* value);
  WORD (*set)(WORD ddmid, void* devmode, void* printer_data, WORD type, DWORD size, const void* value);
};
// `front_end` must outlive its use; null goes back to the linked engine.
void UseSettingsFrontEnd(const SettingsFrontEnd* front_end);

// A setting as a number of the expected type; 0 on any failure. Widened to
// pointer size so that a string setting (type 6) returns its pointer whole.
DWORD_PTR GetItemNumber(void* devmode, void* printer_data, WORD ddmid, WORD expected_type);
// A number setting by the type the engine reports for it (signed for the
// signed types), for callers that test a setting whatever its width; 0 on
// any failure, without DEVMODE, and for strings and LOGFONT blocks.
LONG ReadItemNumber(void* devmode, void* printer_data, WORD ddmid);
// Writes a number; 0, or -1 without DEVMODE (the engine's status is not
// reported).
INT SetItemNumber(void* devmode, void* printer_data, WORD ddmid, WORD type, DWORD size, DWORD value);

// The effective value: 0 when a governing setting switches the setting off.
// 0 ok, kEffectiveReadFailed when it or its governing setting cannot be read.
WORD ReadEffectiveItemValue(WORD ddmid, void* devmode, void* printer_data, WORD* type, DWORD* size, ItemValue* value);
// The effective value as a number; -1 when it cannot be read.
LONG GetEffectiveItemValue(void* devmode, void* printer_data, WORD ddmid);

// User paper codes: 262-266 and 287-301 are the dmPaperSize codes of the
// 20 user paper slots.
BOOL IsUserPaperCode(WORD paper_code);
BOOL IsUserOrCustomPaperCode(WORD paper_code);  // also 256 (DMPAPER_USER)
WORD UserPaperSlotOfCode(WORD paper_code);      // 0-19, or 0xFFFF
WORD UserPaperCodeOfSlot(WORD slot);            // or 0xFFFF
// DDMIDs 5889-5928: width (5889+i) and length (5909+i) of user slot i.
BOOL IsUserPaperId(WORD ddmid);

// Stored custom size: DDMIDs 1863 (width) and 1864 (length).
BOOL GetStoredCustomSize(void* devmode, void* printer_data, SHORT* width, SHORT* length);
// kind 0: public paper length/width := stored size; kind 1: the reverse.
BOOL CopyStoredCustomSize(WORD kind, void* devmode, void* printer_data);
// DDMID 5200, or 0 when it cannot be read.
DWORD ReadSetting5200(void* devmode, void* printer_data);
