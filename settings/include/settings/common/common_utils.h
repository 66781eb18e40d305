// Small services shared by the settings model, the job preparation and the
// user interface: number parsing, unit conversions, capability bits, legacy
// setting ids, locale defaults and the positional message formatter.
#pragma once

#include <cstdarg>

#include "win/types.h"

// ---- numbers -------------------------------------------------------------

// Leading blanks, an optional sign and decimal digits, as _wtoi; 0 when the
// text holds no number or is null.
INT WStrToInt(LPCWSTR text);
// Unsigned decimal digits, or "0x"/"0X" and hexadecimal digits; no sign, no
// blanks. TRUE and the value on success; FALSE for an empty text, "0x"
// alone, any other character or a value beyond 32 bits.
BOOL ParseNumberString(LPCWSTR text, DWORD* out);

// Size of the global block that `pointer` starts; 0 for null or unknown.
SIZE_T GetGlobalBlockSize(LPCVOID pointer);

// Buffer sizes of the protected-string steps, terminator included; -10 for
// a negative length.
INT Base64EncodedLength(INT bytes);
INT Base64DecodedLength(INT chars);

// ---- units ---------------------------------------------------------------

// Tenths of a millimetre to hundredths of an inch, rounded: b = |x| x 1000
// / 254 + 5 thousandths, result b / 10 with the sign of x; `remainder` (may
// be null) receives b mod 10.
LONG MetricToInch(LONG tenths_mm, LONG* remainder);
// Hundredths of an inch to tenths of a millimetre, rounded.
LONG InchToMetric(LONG hundredths_inch);
// whole = x / 100; fraction = x mod 100, or its tens digit with `tenths`.
void SplitHundredths(BOOL tenths, WORD x, WORD* whole, WORD* fraction);
// The value shown by an edit field of converted units: for DDMIDs 268,
// 269, 311, 324 and 1856 mode 1 multiplies by 10, any other mode divides by
// 10; for the power-of-two steps of DDMIDs 392-403 mode 1 turns a step
// into its amount, any other mode an amount into its step. The value is
// read as 32 bits for types 4 and 5, else as a signed 16-bit number. 1
// converted, 0 for another DDMID (out = the value).
INT ConvertSettingUnits(INT mode, WORD ddmid, WORD type, const void* value, LONG* out);
// MetricToInch of the value; for DDMIDs 268, 269 and 324 limited to -19..19.
LONG ClampAdjustmentStep(LONG value, WORD ddmid);

// ---- device capability bits ----------------------------------------------

struct DeviceCapabilityBits {
  DWORD words[3];
};
// An id 0xFFFF00nn names bit nn (0-95) of the three words; any other id is
// a mask tested against word 0 (TRUE when they share a bit).
BOOL TestCapabilityBit(const DeviceCapabilityBits* bits, DWORD id);

// ---- legacy setting ids ----------------------------------------------------

// Maps a setting id of an older stored format to the current DDMID.
// TRUE and the DDMID, or FALSE when the id is not mapped.
BOOL MapLegacyCode(WORD old_id, WORD* ddmid, DWORD format_version);

// ---- locale defaults -------------------------------------------------------

// Row of the country table: defaults of DDMIDs 4356 and 4358. FALSE when
// the country is not listed.
BOOL LookupCountryDefaults(INT country, BYTE* item_a, BYTE* item_b);
// 0 (letter paper) or 1 for a country code.
INT PaperFamilyOfCountry(INT country);

// ---- positional formatter --------------------------------------------------

// Formats `templ` into `out` (`size` characters with the terminator):
// "%1s".."%9s" / "%1d".."%9d" pick argument digit-1, "%s" / "%d" take the
// placeholder's own position as its argument number, "%%" is a percent
// sign, capital S or D take an argument but print nothing. Strings are
// LPCWSTR, numbers INT. Returns the length written.
INT FormatPositionalMessageV(LPWSTR out, INT size, LPCWSTR templ, va_list args);
INT FormatResourceMessage(LPWSTR out, INT size, LPCWSTR templ, ...);
// The same with the arguments in an array: argument k is args[k], its text
// or its number as the placeholders naming it ask; numbers beyond
// `arg_count` count as missing.
struct PositionalArg {
  LPCWSTR text;
  INT number;
};
INT FormatPositionalMessageArgs(LPWSTR out, INT size, LPCWSTR templ, const PositionalArg* args, INT arg_count);

// ---- code pages ------------------------------------------------------------

// `cp` when the platform knows it, else the ANSI code page.
UINT ResolveCodePage(UINT cp);
// Allocate (GlobalAlloc) and convert. `length` receives the narrow length
// without the terminator / the wide length with it. TRUE on success.
BOOL WideToMultiByteAlloc(LPCWSTR text, LPSTR* out, INT* length, UINT cp);
BOOL MultiByteToWideAlloc(LPCSTR text, LPWSTR* out, INT* length, UINT cp);
// Characters of a multibyte text (a lead byte and its trail count once; cp
// 0 is the ANSI code page). With size > 0 the text is also converted into
// `out` (size characters with the terminator), cut at a character boundary.
INT CountMultiByteChars(UINT cp, LPWSTR out, LPCSTR text, INT size);
// Bytes of the multibyte form of a wide text, each character (a surrogate
// pair counts as one) converted alone. With size 0: that count + 1. Else
// converts into `out` (size bytes with the terminator), never cutting a
// character, and returns the bytes written.
INT WideToMultiByteCounted(UINT cp, LPCWSTR text, LPSTR out, INT size);
// Allocating forms of the two above; `out` is GlobalAlloc'ed and
// terminated. TRUE on success.
BOOL WideToMultiByteAllocCP(UINT cp, LPCWSTR text, LPSTR* out);
BOOL MultiByteToWideAllocCP(UINT cp, LPCSTR text, LPWSTR* out);

// ---- setting rules shared by several callers -------------------------------

// Bytes a = DDMID 5204, b = DDMID 4367: (a != 0 or b != 3), and with
// `strict` also a != 1 and b != 3. FALSE when an item cannot be read.
BOOL CheckOptionItemPair(void* devmode, void* printer_data, BOOL strict);
// Lowers the resolution (DDMIDs 20 and 21) so that the longest paper side
// stays within 28000 device pixels. FALSE when the paper size cannot be
// read or no resolution of 200 dpi or more fits.
BOOL LimitResolutionForPaper(void* devmode);
// 1, 2 or 3 by DDMIDs 8211, 4099, 8205 and the capability masks 0x20000
// and 0x10000; 0 when an argument is missing.
INT GetDeviceDataLevel(void* devmode, void* printer_data, const DeviceCapabilityBits* bits);

// ---- capability bits from the device database -------------------------------

struct DddHandle;
// Word 0 = global field 26; words 1 and 2 = elements 0 and 1 of global
// field 39 when the database's format level is above 5631 and the field
// holds them (else 0). FALSE without database or bits.
BOOL LoadCapabilityBits(DddHandle* database, DeviceCapabilityBits* bits);
// TestCapabilityBit over the database's bits; FALSE without database.
BOOL HasDeviceCapability(DddHandle* database, DWORD id);

// Device class 1-4 from global field 23 (stored 0-3); 0 otherwise or
// without database.
INT GetDeviceClass(DddHandle* database);
BOOL IsDeviceClass3or4(DddHandle* database);
// Class 2, or class 4 with DDMID 334 equal to 5.
BOOL IsDeviceColorCapable(DddHandle* database, void* devmode);

// ---- database rules ------------------------------------------------------------

// Out = TRUE when the outside print-time prompt component can be created
// (its primary class, else its secondary class; the object is released at
// once). Models without capability 0xFFFF002B do not look for it and COM is
// then left alone. TRUE, FALSE only without `out`.
BOOL ProbeComComponent(DddHandle* database, BOOL* out);
// With capability 0xFFFF003E in `bits`: when DDMID 4365 is below the WORD
// default of database item 32794, *limit becomes 999. TRUE when done or
// not applicable; FALSE when a value cannot be read.
BOOL AdjustCopiesLimit(void* devmode, void* printer_data, DddHandle* database, const DeviceCapabilityBits* bits,
                       DWORD* limit);

// ---- protected strings -------------------------------------------------------

// Scrambles `length` bytes and Base64-encodes them into a GlobalAlloc'ed,
// terminated text. Returns the text's length, or a negative code (-10 out
// of memory or a negative length, else the codec's code).
INT ScrambleEncodeBytes(const BYTE* data, INT length, LPSTR* out);
// Base64-decodes `length` characters and unscrambles them into a
// GlobalAlloc'ed block (terminated with a zero byte). Returns the byte
// count, or a negative code as above.
INT UnscrambleDecodeBytes(LPCSTR text, INT length, BYTE** out);
// Mode 1: text -> ANSI bytes -> scrambled -> Base64 -> UTF-16. Other modes:
// the reverse. `out` is GlobalAlloc'ed. TRUE on success.
BOOL ConvertProtectedString(INT mode, LPCWSTR text, LPWSTR* out);
// Length check of the secure-print code: minimum DDMID 4366; the code is
// DDMID 5130 (maximum 4) or, with `protected_code`, DDMID 5159 decoded
// (maximum 12). TRUE when minimum <= length <= maximum; both bounds are
// reported (either pointer may be null).
BOOL CheckCodeLength(void* devmode, void* printer_data, BOOL protected_code, INT* maximum, INT* minimum);
