// The printer identity "PRNID": read, made once, stored once.
#include "settings/stores/printer_identity.h"

#include <cstring>

#include "win/clock.h"
#include "win/endian.h"
#include "win/errors.h"
#include "win/memory.h"
#include "win/registry.h"
#include "win/spooler.h"

namespace {

LPWSTR value_name() { return const_cast<LPWSTR>(u"PRNID"); }

// Seconds since 1970 of the system clock, cut to 32 bits as the C runtime's
// 32-bit time value is.
DWORD current_unix_time() {
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  constexpr ULONGLONG kUnixEpoch = 116444736000000000ull;  // 1970-01-01 in 100 ns since 1601
  const ULONGLONG ticks = morva::platform::from_filetime(now);
  return static_cast<DWORD>((ticks - kUnixEpoch) / 10000000ull);
}

}  // namespace

BOOL Md5Init(Md5Context* context) {
  if (context == nullptr) return FALSE;
  context->provider = 0;
  context->hash = 0;
  context->failed = TRUE;
  if (!CryptAcquireContextA(&context->provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) {
    context->provider = 0;
    return FALSE;
  }
  if (!CryptCreateHash(context->provider, CALG_MD5, 0, 0, &context->hash)) {
    context->hash = 0;
    return FALSE;
  }
  context->failed = FALSE;
  return TRUE;
}

BOOL Md5Update(Md5Context* context, const void* data, DWORD bytes) {
  if (context == nullptr || context->failed) return FALSE;
  if (bytes == 0) return TRUE;
  if (data == nullptr || !CryptHashData(context->hash, static_cast<const BYTE*>(data), bytes, 0)) {
    context->failed = TRUE;
    return FALSE;
  }
  return TRUE;
}

BOOL Md5Final(Md5Context* context, BYTE digest[16]) {
  if (context == nullptr) return FALSE;
  BOOL ok = !context->failed && digest != nullptr;
  if (ok) {
    DWORD length = 16;
    ok = CryptGetHashParam(context->hash, HP_HASHVAL, digest, &length, 0) && length == 16;
  }
  if (context->hash != 0) CryptDestroyHash(context->hash);
  if (context->provider != 0) CryptReleaseContext(context->provider, 0);
  context->hash = 0;
  context->provider = 0;
  context->failed = TRUE;
  return ok;
}

INT ReadPrinterId(HANDLE printer, BYTE id[16]) {
  if (id == nullptr) return 0;
  BYTE stored[kPrinterIdBytes] = {};
  DWORD type = 0;
  DWORD needed = 0;
  if (GetPrinterDataW(printer, value_name(), &type, stored, sizeof stored, &needed) != ERROR_SUCCESS) return 0;
  // A shorter value also reads without error; it is no identity.
  if (needed != kPrinterIdBytes) return 0;
  std::memcpy(id, stored, sizeof stored);
  return 1;
}

INT CreatePrinterId(HANDLE printer, BYTE id[16]) {
  if (id == nullptr) return 0;
  DWORD needed = 0;
  GetPrinterW(printer, 1, nullptr, 0, &needed);
  if (needed < sizeof(PRINTER_INFO_1W)) return 0;
  HGLOBAL buffer = GlobalAlloc(GPTR, needed);
  if (buffer == nullptr) return 0;
  INT result = 0;
  if (GetPrinterW(printer, 1, static_cast<LPBYTE>(buffer), needed, &needed)) {
    const auto* info = static_cast<const PRINTER_INFO_1W*>(buffer);
    DWORD nameBytes = 0;
    if (info->pName != nullptr) {
      while (info->pName[nameBytes / 2] != 0) nameBytes += 2;
    }
    BYTE time[4];
    morva::store_le32(time, current_unix_time());
    Md5Context md5;
    BYTE digest[16];
    const BOOL ok = Md5Init(&md5) && Md5Update(&md5, time, sizeof time) &&
                    Md5Update(&md5, info->pName, nameBytes);
    if (Md5Final(&md5, digest) && ok) {
      std::memcpy(id, digest, sizeof digest);
      result = 1;
    }
  }
  GlobalFree(buffer);
  return result;
}

INT WritePrinterId(HANDLE printer, const BYTE id[16]) {
  if (id == nullptr) return 0;
  DWORD type = 0;
  DWORD needed = 0;
  if (GetPrinterDataW(printer, value_name(), &type, nullptr, 0, &needed) == ERROR_MORE_DATA &&
      needed == kPrinterIdBytes) {
    return 1;
  }
  BYTE copy[kPrinterIdBytes];
  std::memcpy(copy, id, sizeof copy);
  return SetPrinterDataW(printer, value_name(), REG_BINARY, copy, sizeof copy) == ERROR_SUCCESS ? 1 : 0;
}

INT FormatPrinterIdHex(const BYTE id[16], LPWSTR destination, DWORD capacity) {
  if (id == nullptr || destination == nullptr || capacity == 0) return 0;
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  DWORD n = 0;
  for (DWORD i = 0; i < kPrinterIdBytes && n + 1 < capacity; ++i) {
    destination[n++] = kDigits[id[i] >> 4];
    if (n + 1 < capacity) destination[n++] = kDigits[id[i] & 0xF];
  }
  destination[n] = 0;
  return 1;
}
