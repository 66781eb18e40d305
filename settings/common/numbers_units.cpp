#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "settings/common/common_utils.h"
#include "win/memory.h"

namespace {
bool is_blank(WCHAR c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }
int hex_digit(WCHAR c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}
}  // namespace

INT WStrToInt(LPCWSTR text) {
  if (!text) return 0;
  while (is_blank(*text)) ++text;
  bool negative = false;
  if (*text == u'+' || *text == u'-') negative = *text++ == u'-';
  // Out-of-range values saturate, as the runtime routine does.
  std::int64_t value = 0;
  for (; *text >= u'0' && *text <= u'9'; ++text) {
    value = value * 10 + (*text - u'0');
    if (value > 0x80000000ll) value = 0x80000000ll;
  }
  if (negative) return static_cast<INT>(-value);
  return static_cast<INT>(value > 0x7FFFFFFFll ? 0x7FFFFFFFll : value);
}

BOOL ParseNumberString(LPCWSTR text, DWORD* out) {
  if (!text || !out || !*text) return FALSE;
  unsigned base = 10;
  if (text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
    base = 16;
    text += 2;
    if (!*text) return FALSE;
  }
  std::uint64_t value = 0;
  for (; *text; ++text) {
    int d = hex_digit(*text);
    if (d < 0 || static_cast<unsigned>(d) >= base) return FALSE;
    value = value * base + static_cast<unsigned>(d);
    if (value > 0xFFFFFFFFull) return FALSE;
  }
  *out = static_cast<DWORD>(value);
  return TRUE;
}

// The block's real size on every system: answering 0 would make callers
// that size copies by it lose the data.
SIZE_T GetGlobalBlockSize(LPCVOID pointer) {
  if (!pointer) return 0;
  HGLOBAL block = GlobalHandle(pointer);
  return block ? GlobalSize(block) : 0;
}

INT Base64EncodedLength(INT bytes) {
  if (bytes < 0) return -10;
  return static_cast<INT>((static_cast<std::int64_t>(bytes) + 2) / 3 * 4 + 1);
}

// The decoder asks for 3 x ((n + 3) / 4) bytes of room (it counts a final
// partial group as a whole one), so the buffer is sized for that, plus the
// terminator; n / 4 x 3 + 1 would be refused for any n not a multiple of 4.
INT Base64DecodedLength(INT chars) {
  if (chars < 0) return -10;
  return static_cast<INT>((static_cast<std::int64_t>(chars) + 3) / 4 * 3 + 1);
}

LONG MetricToInch(LONG tenths_mm, LONG* remainder) {
  std::int64_t b = std::llabs(static_cast<std::int64_t>(tenths_mm)) * 1000 / 254 + 5;
  if (remainder) *remainder = static_cast<LONG>(b % 10);
  std::int64_t r = b / 10;
  return static_cast<LONG>(tenths_mm < 0 ? -r : r);
}

LONG InchToMetric(LONG hundredths_inch) {
  std::int64_t r = (std::llabs(static_cast<std::int64_t>(hundredths_inch)) * 254 / 10 + 5) / 10;
  if (hundredths_inch < 0) r = -r;
  // Lengths beyond the 32-bit range saturate rather than wrap.
  if (r > INT32_MAX) return INT32_MAX;
  if (r < INT32_MIN) return INT32_MIN;
  return static_cast<LONG>(r);
}

void SplitHundredths(BOOL tenths, WORD x, WORD* whole, WORD* fraction) {
  if (whole) *whole = static_cast<WORD>(x / 100);
  if (fraction) *fraction = static_cast<WORD>(tenths ? (x % 100) / 10 : x % 100);
}

BOOL TestCapabilityBit(const DeviceCapabilityBits* bits, DWORD id) {
  if (!bits) return FALSE;
  if ((id & 0xFFFFFF00u) == 0xFFFF0000u) {
    DWORD n = id & 0xFFu;
    if (n >= 96) return FALSE;  // names no bit of the three words
    return (bits->words[n / 32] >> (n % 32)) & 1u;
  }
  return (bits->words[0] & id) != 0;
}

INT ConvertSettingUnits(INT mode, WORD ddmid, WORD type, const void* value, LONG* out) {
  if (!value || !out) return 0;
  LONG v;
  if (type == 4 || type == 5) {
    std::memcpy(&v, value, 4);
  } else {
    SHORT s;
    std::memcpy(&s, value, 2);
    v = s;
  }
  *out = v;
  switch (ddmid) {
    case 268:
    case 269:
    case 311:
    case 324:
    case 1856:
      *out = mode == 1 ? v * 10 : v / 10;
      return 1;
    default: break;
  }
  if (ddmid < 392 || ddmid > 403) return 0;
  // Three groups of steps: base 1, 256 and 65536, amount = base x 2^(step + 3).
  static constexpr LONG kBases[3] = {1, 256, 65536};
  const long long base = kBases[(ddmid - 392) % 3];
  if (mode == 1) {
    if (v < -3) {
      *out = static_cast<LONG>(base / 2);
    } else {
      const long long amount = base << std::min<LONG>(v + 3, 40);
      *out = static_cast<LONG>(std::min<long long>(amount, 0x7FFFFFFF));
    }
    return 1;
  }
  if (v < base) {
    *out = -4;
    return 1;
  }
  LONG k = -3;
  while ((base << (k + 3)) < v && k < 40) ++k;
  *out = k;
  return 1;
}

LONG ClampAdjustmentStep(LONG value, WORD ddmid) {
  LONG result = MetricToInch(value, nullptr);
  if (ddmid == 268 || ddmid == 269 || ddmid == 324) result = std::clamp<LONG>(result, -19, 19);
  return result;
}
