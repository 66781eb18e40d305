// Protected texts: scrambled with the fixed key, then Base64, and back.
#include <string>

#include "pi/scramble.h"
#include "settings/common/common_utils.h"
#include "settings/items/item_access.h"
#include "win/win.h"

namespace {

constexpr INT kNoMemory = -10;
constexpr INT kPlainCodeMax = 4;
constexpr INT kProtectedCodeMax = 12;

}  // namespace

INT ScrambleEncodeBytes(const BYTE* data, INT length, LPSTR* out) {
  if (!out) return morva::pi::kCodecNullArgument;
  *out = nullptr;
  INT text_size = Base64EncodedLength(length);
  if (text_size < 0) return kNoMemory;
  auto* scrambled = static_cast<BYTE*>(GlobalAlloc(GPTR, static_cast<SIZE_T>(length) + 1));
  auto* text = static_cast<LPSTR>(GlobalAlloc(GPTR, static_cast<SIZE_T>(text_size)));
  INT result = kNoMemory;
  if (scrambled && text) {
    int n = 0, written = 0;
    result = length == 0 ? 0 : morva::pi::ScrambleBytes(data, length, scrambled, &n, length + 1);
    if (result == 0 && length > 0) result = morva::pi::Base64Encode(scrambled, n, text, &written, text_size);
    if (result == 0) {
      text[written] = 0;
      *out = text;
      text = nullptr;
      result = written;
    }
  }
  if (scrambled) GlobalFree(scrambled);
  if (text) GlobalFree(text);
  return result;
}

INT UnscrambleDecodeBytes(LPCSTR text, INT length, BYTE** out) {
  if (!out) return morva::pi::kCodecNullArgument;
  *out = nullptr;
  INT size = Base64DecodedLength(length);
  if (size < 0) return kNoMemory;
  auto* bytes = static_cast<BYTE*>(GlobalAlloc(GPTR, static_cast<SIZE_T>(size)));
  if (!bytes) return kNoMemory;
  int written = 0;
  int result = length == 0 ? 0 : morva::pi::Base64Decode(text, length, bytes, &written, size - 1);
  if (result == 0 && written > 0) {
    int n = 0;
    result = morva::pi::ScrambleBytes(bytes, written, bytes, &n, size - 1);
  }
  if (result != 0) {
    GlobalFree(bytes);
    return result;
  }
  bytes[written] = 0;
  *out = bytes;
  return written;
}

BOOL ConvertProtectedString(INT mode, LPCWSTR text, LPWSTR* out) {
  if (!text || !out) return FALSE;
  *out = nullptr;
  std::string narrow = morva::u16_to_ansi(morva::u16view(text));
  std::u16string result;
  if (mode == 1) {
    LPSTR encoded = nullptr;
    INT n = ScrambleEncodeBytes(reinterpret_cast<const BYTE*>(narrow.data()), static_cast<INT>(narrow.size()), &encoded);
    if (n < 0) return FALSE;
    result = morva::ansi_to_u16(std::string_view(encoded, static_cast<size_t>(n)));
    GlobalFree(encoded);
  } else {
    BYTE* decoded = nullptr;
    INT n = UnscrambleDecodeBytes(narrow.c_str(), static_cast<INT>(narrow.size()), &decoded);
    if (n < 0) return FALSE;
    result = morva::ansi_to_u16(std::string_view(reinterpret_cast<const char*>(decoded), static_cast<size_t>(n)));
    GlobalFree(decoded);
  }
  auto* block = static_cast<LPWSTR>(GlobalAlloc(GPTR, (result.size() + 1) * sizeof(WCHAR)));
  if (!block) return FALSE;
  result.copy(block, result.size());
  *out = block;
  return TRUE;
}

BOOL CheckCodeLength(void* devmode, void* printer_data, BOOL protected_code, INT* maximum, INT* minimum) {
  INT max_len = protected_code ? kProtectedCodeMax : kPlainCodeMax;
  INT min_len = static_cast<INT>(GetItemNumber(devmode, printer_data, 4366, 3));
  if (maximum) *maximum = max_len;
  if (minimum) *minimum = min_len;
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (GetItemValue(protected_code ? 5159 : 5130, devmode, printer_data, &type, &size, &v) != 0) return FALSE;
  std::u16string code = ItemText(v, size);
  INT length = static_cast<INT>(code.size());
  if (protected_code) {
    LPWSTR plain = nullptr;
    if (!ConvertProtectedString(0, code.c_str(), &plain)) return FALSE;
    length = static_cast<INT>(morva::u16len(plain));
    GlobalFree(plain);
  }
  return min_len <= length && length <= max_len;
}
