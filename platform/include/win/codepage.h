// Code pages: conversions between UTF-16 and multi-byte text. The ANSI
// code page (CP_ACP) is a setting of the machine root ("acp", 1252 when
// unset; "oemcp" likewise, 437 by default or 932 with an ANSI code page of
// 932). Code-page tables come from glibc iconv.
#pragma once

#include "win/types.h"

#define CP_ACP 0u
#define CP_OEMCP 1u
#define CP_MACCP 2u
#define CP_THREAD_ACP 3u
#define CP_SYMBOL 42u
#define CP_UTF7 65000u
#define CP_UTF8 65001u

#define MB_PRECOMPOSED 0x00000001u
#define MB_COMPOSITE 0x00000002u
#define MB_USEGLYPHCHARS 0x00000004u
#define MB_ERR_INVALID_CHARS 0x00000008u

#define WC_COMPOSITECHECK 0x00000200u
#define WC_DISCARDNS 0x00000010u
#define WC_SEPCHARS 0x00000020u
#define WC_DEFAULTCHAR 0x00000040u
#define WC_ERR_INVALID_CHARS 0x00000080u
#define WC_NO_BEST_FIT_CHARS 0x00000400u

#define MAX_LEADBYTES 12
#define MAX_DEFAULTCHAR 2

struct CPINFO {
  UINT MaxCharSize;
  BYTE DefaultChar[MAX_DEFAULTCHAR];
  BYTE LeadByte[MAX_LEADBYTES];
};
using LPCPINFO = CPINFO*;
static_assert(sizeof(CPINFO) == 20);

extern "C" {
// Windows contracts: a source length of -1 means 0-ended (the 0 is
// converted and counted); a destination size of 0 asks for the needed
// size; a destination too small fails with ERROR_INSUFFICIENT_BUFFER.
MORVA_WIN_API int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR src, int srcBytes, LPWSTR dst, int dstChars);
MORVA_WIN_API int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR src, int srcChars, LPSTR dst, int dstBytes,
                                      LPCSTR defaultChar, LPBOOL usedDefaultChar);
MORVA_WIN_API BOOL GetCPInfo(UINT codePage, LPCPINFO info);
MORVA_WIN_API BOOL IsValidCodePage(UINT codePage);
MORVA_WIN_API BOOL IsDBCSLeadByteEx(UINT codePage, BYTE test);
MORVA_WIN_API BOOL IsDBCSLeadByte(BYTE test);
MORVA_WIN_API UINT GetACP();
MORVA_WIN_API UINT GetOEMCP();
MORVA_WIN_API LPSTR CharNextA(LPCSTR s);
}

#include <string>
#include <string_view>

namespace morva {

// Conversions through a code page for the system's own code (CP_ACP by
// default); unmappable characters become the code page's default.
MORVA_WIN_API std::u16string ansi_to_u16(std::string_view text, UINT codePage = CP_ACP);
MORVA_WIN_API std::string u16_to_ansi(std::u16string_view text, UINT codePage = CP_ACP);

}  // namespace morva

namespace morva::platform {
// Test and tool hook: sets the ANSI code page of the current machine root.
MORVA_WIN_API bool set_ansi_code_page(UINT codePage);
}  // namespace morva::platform
