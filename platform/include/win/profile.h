// Private-profile (INI) files. A file name without a folder is taken from
// the Windows folder. Files may be ANSI (CP_ACP), UTF-8 with a byte-order
// mark or UTF-16 with a byte-order mark; writes keep the file's encoding.
//
// Rules: section and key names compare ignoring case; blanks around names
// and values are dropped; lines starting with ';' are comments; a line
// without '=' is a key without a value; one pair of matching quotes around
// a value is removed; the first of duplicate sections or keys is the one
// read, while the name lists show every occurrence.
#pragma once

#include "win/types.h"

extern "C" {
// With section NULL the buffer gets the section names, with key NULL the
// key names of the section, each 0-ended and the list ended by another 0;
// a list that does not fit is cut, ended by two 0s and size-2 returned.
// A single value that does not fit is cut and size-1 returned.
MORVA_WIN_API DWORD GetPrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR defaultValue, LPWSTR buffer,
                                             DWORD size, LPCWSTR fileName);
MORVA_WIN_API DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer,
                                             DWORD size, LPCSTR fileName);
// The decimal number at the start of the value (a sign allowed); the
// default when the key is missing or empty.
MORVA_WIN_API UINT GetPrivateProfileIntW(LPCWSTR section, LPCWSTR key, INT defaultValue, LPCWSTR fileName);
// Every "key=value" line of the section (comments left out), as a list.
MORVA_WIN_API DWORD GetPrivateProfileSectionW(LPCWSTR section, LPWSTR buffer, DWORD size, LPCWSTR fileName);
MORVA_WIN_API DWORD GetPrivateProfileSectionNamesW(LPWSTR buffer, DWORD size, LPCWSTR fileName);
// key NULL deletes the section, value NULL deletes the key; the file is
// replaced whole, so a failed write leaves the old file.
MORVA_WIN_API BOOL WritePrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR value, LPCWSTR fileName);
}
