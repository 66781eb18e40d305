#include "utf_internal.h"
#include "win/codepage.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "win/errors.h"
#include "win/machine_settings.h"
#include "win/strings.h"


namespace {

constexpr char16_t kUnmapped = 0xFFFF;
constexpr std::uint16_t kNoBytes = 0xFFFF;

// iconv names of the code pages whose name is not simply "CP<number>".
struct CodePageName {
  UINT cp;
  const char* iconv_name;
};
constexpr CodePageName kCodePageNames[] = {
    {20127, "ASCII"},        {28591, "ISO-8859-1"},  {28592, "ISO-8859-2"}, {28593, "ISO-8859-3"},
    {28594, "ISO-8859-4"},   {28595, "ISO-8859-5"},  {28596, "ISO-8859-6"}, {28597, "ISO-8859-7"},
    {28598, "ISO-8859-8"},   {28599, "ISO-8859-9"},  {28605, "ISO-8859-15"}, {20866, "KOI8-R"},
    {21866, "KOI8-U"},       {10000, "MACINTOSH"},   {20932, "EUC-JP"},     {51932, "EUC-JP"},
    {51949, "EUC-KR"},       {54936, "GB18030"},
};

// Characters with no exact form in a code page that Windows writes as a
// similar one unless WC_NO_BEST_FIT_CHARS is given. The Latin
// Extended-A letters (U+0100..U+017F) lose their marks ('?' = none).
constexpr char kLatinExtABase[] =
    "AaAaAaCcCcCcCcDd"
    "DdEeEeEeEeEeGgGg"
    "GgGgHhHhIiIiIiIi"
    "Ii??JjKkkLlLlLlL"
    "lLlNnNnNnnNnOoOo"
    "Oo??RrRrRrSsSsSs"
    "SsTtTtTtUuUuUuUu"
    "UuUuWwYyYZzZzZzs";
static_assert(sizeof(kLatinExtABase) == 129);

struct BestFit {
  char16_t from;
  char16_t to;
};
constexpr BestFit kBestFit[] = {
    {0x00A0, u' '}, {0x00A5, u'\\'}, {0x2010, u'-'}, {0x2011, u'-'}, {0x2013, u'-'},  {0x2014, u'-'},
    {0x2018, u'\''}, {0x2019, u'\''}, {0x201A, u','}, {0x201C, u'"'}, {0x201D, u'"'}, {0x201E, u'"'},
    {0x2026, u'.'}, {0x2032, u'\''}, {0x203E, u'~'}, {0x2212, u'-'}, {0x3000, u' '},
};

char16_t best_fit_of(char16_t c) {
  if (c >= 0x0100 && c <= 0x017F) {
    char b = kLatinExtABase[c - 0x0100];
    return b == '?' ? kUnmapped : static_cast<char16_t>(b);
  }
  if (c >= 0xFF01 && c <= 0xFF5E) return static_cast<char16_t>(c - 0xFF01 + 0x21);  // full-width ASCII
  for (const auto& b : kBestFit)
    if (b.from == c) return b.to;
  return kUnmapped;
}

// The complete mapping of one code page, built once from iconv.
struct Table {
  UINT cp = 0;
  bool dbcs = false;
  std::array<char16_t, 256> single{};
  std::array<bool, 256> lead{};
  std::vector<char16_t> pairs;       // (lead << 8 | trail) -> unit, DBCS only
  std::vector<std::uint16_t> encode;  // unit -> byte or (lead << 8 | trail)
  char16_t unicode_default = u'?';  // what an undecodable byte becomes
};

std::mutex g_tables_lock;
// Built tables live until the process ends (never destroyed, so calls from
// exit handlers stay safe); a null entry marks a number that is no code page.
std::map<UINT, std::unique_ptr<Table>>& tables() {
  static auto* t = new std::map<UINT, std::unique_ptr<Table>>;
  return *t;
}

std::string iconv_name(UINT cp) {
  for (const auto& n : kCodePageNames)
    if (n.cp == cp) return n.iconv_name;
  return "CP" + std::to_string(cp);
}

// Decodes `len` bytes to exactly one UTF-16 unit; kUnmapped otherwise.
// *incomplete is set when iconv wants more bytes.
char16_t decode_one(iconv_t cd, const unsigned char* bytes, size_t len, bool* incomplete) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char in[2];
  std::memcpy(in, bytes, len);
  char out[8];
  char* ip = in;
  char* op = out;
  size_t il = len, ol = sizeof out;
  size_t r = iconv(cd, &ip, &il, &op, &ol);
  if (incomplete) *incomplete = (r == static_cast<size_t>(-1) && errno == EINVAL);
  if (r == static_cast<size_t>(-1) || il != 0 || op - out != 2) return kUnmapped;
  return static_cast<char16_t>(static_cast<unsigned char>(out[0]) | (static_cast<unsigned char>(out[1]) << 8));
}

// The preferred byte form of one unit according to iconv.
std::uint16_t encode_one(iconv_t cd, char16_t c) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char in[2] = {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  char out[8];
  char* ip = in;
  char* op = out;
  size_t il = 2, ol = sizeof out;
  if (iconv(cd, &ip, &il, &op, &ol) == static_cast<size_t>(-1)) return kNoBytes;
  size_t n = static_cast<size_t>(op - out);
  if (n == 1) return static_cast<unsigned char>(out[0]);
  if (n == 2) return static_cast<std::uint16_t>((static_cast<unsigned char>(out[0]) << 8) | static_cast<unsigned char>(out[1]));
  return kNoBytes;
}

std::unique_ptr<Table> build_table(UINT cp) {
  std::string name = iconv_name(cp);
  iconv_t dec = iconv_open("UTF-16LE", name.c_str());
  if (dec == reinterpret_cast<iconv_t>(-1)) return nullptr;
  iconv_t enc = iconv_open(name.c_str(), "UTF-16LE");
  if (enc == reinterpret_cast<iconv_t>(-1)) {
    iconv_close(dec);
    return nullptr;
  }
  auto t = std::make_unique<Table>();
  t->cp = cp;
  t->single.fill(kUnmapped);
  for (unsigned b = 0; b < 256; ++b) {
    unsigned char byte = static_cast<unsigned char>(b);
    bool incomplete = false;
    t->single[b] = decode_one(dec, &byte, 1, &incomplete);
    if (incomplete) t->lead[b] = t->dbcs = true;
  }
  // Windows 1252 maps its five undefined bytes to the C1 controls of the
  // same value, so every byte survives a round trip.
  if (cp == 1252)
    for (unsigned b : {0x81u, 0x8Du, 0x8Fu, 0x90u, 0x9Du})
      if (t->single[b] == kUnmapped) t->single[b] = static_cast<char16_t>(b);
  t->encode.assign(65536, kNoBytes);
  auto add = [&](char16_t c, std::uint16_t bytes) {
    if (c == kUnmapped) return;
    if (t->encode[c] == kNoBytes) {
      t->encode[c] = bytes;
    } else if (t->encode[c] != bytes) {
      // Several byte forms decode to c: keep iconv's choice.
      std::uint16_t preferred = encode_one(enc, c);
      if (preferred != kNoBytes) t->encode[c] = preferred;
    }
  };
  for (unsigned b = 0; b < 256; ++b)
    if (!t->lead[b]) add(t->single[b], static_cast<std::uint16_t>(b));
  if (t->dbcs) {
    t->pairs.assign(65536, kUnmapped);
    t->unicode_default = cp == 932 ? u'\x30FB' : u'?';
    for (unsigned l = 0; l < 256; ++l) {
      if (!t->lead[l]) continue;
      for (unsigned tr = 1; tr < 256; ++tr) {
        unsigned char two[2] = {static_cast<unsigned char>(l), static_cast<unsigned char>(tr)};
        char16_t c = decode_one(dec, two, 2, nullptr);
        t->pairs[(l << 8) | tr] = c;
        add(c, static_cast<std::uint16_t>((l << 8) | tr));
      }
    }
  }
  iconv_close(dec);
  iconv_close(enc);
  return t;
}

UINT resolve(UINT cp) {
  switch (cp) {
    case CP_ACP:
    case CP_THREAD_ACP:
      return GetACP();
    case CP_OEMCP:
      return GetOEMCP();
    case CP_MACCP:
      return 10000;
    default:
      return cp;
  }
}

// The table of a (resolved) code page; null when it is none we know.
const Table* table_for(UINT cp) {
  if (cp == CP_UTF8 || cp == CP_UTF7 || cp == CP_SYMBOL || cp == 1200 || cp == 1201) return nullptr;
  std::lock_guard<std::mutex> g(g_tables_lock);
  auto it = tables().find(cp);
  if (it == tables().end()) it = tables().emplace(cp, build_table(cp)).first;
  return it->second.get();
}

bool known_cp(UINT cp) { return cp == CP_UTF8 || table_for(cp) != nullptr; }

std::u16string table_decode(const Table& t, const unsigned char* s, size_t n, bool* invalid) {
  std::u16string out;
  out.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    unsigned char b = s[i];
    if (t.dbcs && t.lead[b]) {
      if (i + 1 < n && s[i + 1] != 0) {
        char16_t c = t.pairs[(b << 8) | s[i + 1]];
        if (c != kUnmapped) {
          out += c;
          ++i;
          continue;
        }
        *invalid = true;
        out += t.unicode_default;
        if (s[i + 1] >= 0x40) ++i;  // a trail byte belongs to the bad pair
        continue;
      }
      *invalid = true;
      out += t.unicode_default;
      continue;
    }
    char16_t c = t.single[b];
    if (c == kUnmapped) {
      *invalid = true;
      c = t.unicode_default;
    }
    out += c;
  }
  return out;
}

void put_bytes(std::string& out, std::uint16_t bytes) {
  if (bytes > 0xFF) out += static_cast<char>(bytes >> 8);
  out += static_cast<char>(bytes & 0xFF);
}

std::string table_encode(const Table& t, const char16_t* s, size_t n, bool best_fit, const char* default_char,
                         bool* used_default) {
  std::string dflt;
  if (default_char && default_char[0]) {
    dflt += default_char[0];
    if (t.dbcs && t.lead[static_cast<unsigned char>(default_char[0])] && default_char[1]) dflt += default_char[1];
  } else {
    dflt = "?";
  }
  std::string out;
  out.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    char16_t c = s[i];
    std::uint16_t bytes = (c >= 0xD800 && c <= 0xDFFF) ? kNoBytes : t.encode[c];
    if (bytes == kNoBytes && best_fit && !(c >= 0xD800 && c <= 0xDFFF)) {
      char16_t f = best_fit_of(c);
      if (f != kUnmapped) bytes = t.encode[f];
    }
    if (bytes != kNoBytes) {
      put_bytes(out, bytes);
      continue;
    }
    // A surrogate pair is one character and gets one default.
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) ++i;
    out += dflt;
    *used_default = true;
  }
  return out;
}

std::string utf8_encode(const char16_t* s, size_t n, bool* invalid) {
  return morva::platform::utf16_to_utf8(std::u16string_view(s, n), invalid);
}

template <class C>
int deliver(const std::basic_string<C>& result, C* dst, int dstSize) {
  if (result.size() > 0x7FFFFFFF) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  int need = static_cast<int>(result.size());
  if (dstSize == 0) return need;
  if (need > dstSize) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(dst, result.data(), result.size() * sizeof(C));
  return need;
}

bool overlaps(const void* a, size_t an, const void* b, size_t bn) {
  auto x = reinterpret_cast<uintptr_t>(a), y = reinterpret_cast<uintptr_t>(b);
  return x < y + bn && y < x + an;
}

}  // namespace

extern "C" {

UINT GetACP() {
  auto cp = static_cast<UINT>(morva::platform::machine_setting_number("acp", 1252));
  return (cp == CP_UTF8 || table_for(cp)) ? cp : 1252;
}

UINT GetOEMCP() {
  UINT acp = GetACP();
  auto cp = static_cast<UINT>(morva::platform::machine_setting_number("oemcp", acp == 932 ? 932 : 437));
  return (cp == CP_UTF8 || table_for(cp)) ? cp : 437;
}

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR src, int srcBytes, LPWSTR dst, int dstChars) {
  if (!src || srcBytes == 0 || srcBytes < -1 || dstChars < 0 || (dstChars > 0 && !dst)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  UINT cp = resolve(codePage);
  if (flags & ~(MB_PRECOMPOSED | MB_COMPOSITE | MB_USEGLYPHCHARS | MB_ERR_INVALID_CHARS) ||
      (cp == CP_UTF8 && (flags & ~MB_ERR_INVALID_CHARS))) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  size_t n = srcBytes == -1 ? std::strlen(src) + 1 : static_cast<size_t>(srcBytes);
  if (dstChars > 0 && overlaps(src, n, dst, static_cast<size_t>(dstChars) * 2)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const auto* bytes = reinterpret_cast<const unsigned char*>(src);
  bool invalid = false;
  std::u16string out;
  if (cp == CP_UTF8) {
    out = morva::platform::utf8_to_utf16(bytes, n, &invalid);
  } else if (const Table* t = table_for(cp)) {
    out = table_decode(*t, bytes, n, &invalid);
  } else {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (invalid && (flags & MB_ERR_INVALID_CHARS)) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
  }
  return deliver(out, dst, dstChars);
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR src, int srcChars, LPSTR dst, int dstBytes,
                        LPCSTR defaultChar, LPBOOL usedDefaultChar) {
  if (!src || srcChars == 0 || srcChars < -1 || dstBytes < 0 || (dstBytes > 0 && !dst)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  UINT cp = resolve(codePage);
  size_t n = srcChars == -1 ? morva::u16len(src) + 1 : static_cast<size_t>(srcChars);
  if (dstBytes > 0 && overlaps(src, n * 2, dst, static_cast<size_t>(dstBytes))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string out;
  if (cp == CP_UTF8) {
    if (defaultChar || usedDefaultChar) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    if (flags & ~WC_ERR_INVALID_CHARS) {
      SetLastError(ERROR_INVALID_FLAGS);
      return 0;
    }
    bool invalid = false;
    out = utf8_encode(src, n, &invalid);
    if (invalid && (flags & WC_ERR_INVALID_CHARS)) {
      SetLastError(ERROR_NO_UNICODE_TRANSLATION);
      return 0;
    }
  } else if (const Table* t = table_for(cp)) {
    if (flags & ~(WC_COMPOSITECHECK | WC_DISCARDNS | WC_SEPCHARS | WC_DEFAULTCHAR | WC_NO_BEST_FIT_CHARS)) {
      SetLastError(ERROR_INVALID_FLAGS);
      return 0;
    }
    bool used = false;
    out = table_encode(*t, src, n, !(flags & WC_NO_BEST_FIT_CHARS), defaultChar, &used);
    if (usedDefaultChar) *usedDefaultChar = used ? TRUE : FALSE;
  } else {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return deliver(out, dst, dstBytes);
}

BOOL GetCPInfo(UINT codePage, LPCPINFO info) {
  if (!info) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  UINT cp = resolve(codePage);
  std::memset(info, 0, sizeof *info);
  info->DefaultChar[0] = '?';
  if (cp == CP_UTF8) {
    info->MaxCharSize = 4;
    return TRUE;
  }
  const Table* t = table_for(cp);
  if (!t) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  info->MaxCharSize = t->dbcs ? 2 : 1;
  // Lead-byte ranges as pairs, ended by a 0 pair (at most 5 ranges).
  int k = 0;
  for (unsigned b = 0; b < 256 && k + 2 < MAX_LEADBYTES;) {
    if (!t->lead[b]) {
      ++b;
      continue;
    }
    unsigned e = b;
    while (e + 1 < 256 && t->lead[e + 1]) ++e;
    info->LeadByte[k++] = static_cast<BYTE>(b);
    info->LeadByte[k++] = static_cast<BYTE>(e);
    b = e + 1;
  }
  return TRUE;
}

BOOL IsValidCodePage(UINT codePage) {
  if (codePage == CP_ACP || codePage == CP_OEMCP || codePage == CP_MACCP || codePage == CP_THREAD_ACP) return FALSE;
  return known_cp(codePage) ? TRUE : FALSE;
}

BOOL IsDBCSLeadByteEx(UINT codePage, BYTE test) {
  const Table* t = table_for(resolve(codePage));
  if (!t) {
    if (resolve(codePage) != CP_UTF8) SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return t->lead[test] ? TRUE : FALSE;
}

BOOL IsDBCSLeadByte(BYTE test) { return IsDBCSLeadByteEx(CP_ACP, test); }

LPSTR CharNextA(LPCSTR s) {
  if (!s || !*s) return const_cast<LPSTR>(s);
  if (IsDBCSLeadByte(static_cast<BYTE>(*s)) && s[1]) return const_cast<LPSTR>(s + 2);
  return const_cast<LPSTR>(s + 1);
}

}  // extern "C"

namespace morva {

std::u16string ansi_to_u16(std::string_view text, UINT codePage) {
  if (text.empty()) return {};
  UINT cp = resolve(codePage);
  bool invalid = false;
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  if (cp == CP_UTF8) return morva::platform::utf8_to_utf16(bytes, text.size(), &invalid);
  const Table* t = table_for(cp);
  if (!t) t = table_for(1252);
  return t ? table_decode(*t, bytes, text.size(), &invalid) : utf8_to_u16(text);
}

std::string u16_to_ansi(std::u16string_view text, UINT codePage) {
  if (text.empty()) return {};
  UINT cp = resolve(codePage);
  bool flag = false;
  if (cp == CP_UTF8) return utf8_encode(text.data(), text.size(), &flag);
  const Table* t = table_for(cp);
  if (!t) t = table_for(1252);
  return t ? table_encode(*t, text.data(), text.size(), true, nullptr, &flag) : u16_to_utf8(text);
}

}  // namespace morva

namespace morva::platform {
bool set_ansi_code_page(UINT codePage) {
  if (codePage != CP_UTF8 && !table_for(codePage)) return false;
  return set_machine_setting("acp", std::to_string(codePage));
}
}  // namespace morva::platform
