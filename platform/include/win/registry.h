// The registry: HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER of the machine
// root, kept in the machine database. Key and value names compare without
// regard to case and keep the case they were created with. Sub-keys
// enumerate in name order, values in the order they were first set.
// HKEY_CURRENT_USER is the hive of the machine's current user ("user_name"
// in machine.cfg), so each user of the machine sees keys of their own.
#pragma once

#include "win/types.h"

using REGSAM = DWORD;
using LSTATUS = LONG;

#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000000u)))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000001u)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000002u)))
#define HKEY_USERS (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000003u)))

#define REG_NONE 0u
#define REG_SZ 1u
#define REG_EXPAND_SZ 2u
#define REG_BINARY 3u
#define REG_DWORD 4u
#define REG_DWORD_LITTLE_ENDIAN 4u
#define REG_DWORD_BIG_ENDIAN 5u
#define REG_LINK 6u
#define REG_MULTI_SZ 7u
#define REG_QWORD 11u

#define DELETE 0x00010000u
#define READ_CONTROL 0x00020000u
#define SYNCHRONIZE 0x00100000u
#define STANDARD_RIGHTS_READ READ_CONTROL
#define STANDARD_RIGHTS_WRITE READ_CONTROL
#define STANDARD_RIGHTS_REQUIRED 0x000F0000u

#define KEY_QUERY_VALUE 0x0001u
#define KEY_SET_VALUE 0x0002u
#define KEY_CREATE_SUB_KEY 0x0004u
#define KEY_ENUMERATE_SUB_KEYS 0x0008u
#define KEY_NOTIFY 0x0010u
#define KEY_CREATE_LINK 0x0020u
#define KEY_WOW64_64KEY 0x0100u
#define KEY_WOW64_32KEY 0x0200u
#define KEY_READ 0x00020019u
#define KEY_WRITE 0x00020006u
#define KEY_EXECUTE KEY_READ
#define KEY_ALL_ACCESS 0x000F003Fu

#define REG_OPTION_NON_VOLATILE 0x0u
#define REG_OPTION_VOLATILE 0x1u
#define REG_CREATED_NEW_KEY 1u
#define REG_OPENED_EXISTING_KEY 2u

extern "C" {
MORVA_WIN_API LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR sub_key, DWORD reserved, LPWSTR class_name,
                                      DWORD options, REGSAM sam, const SECURITY_ATTRIBUTES* security,
                                      PHKEY result, LPDWORD disposition);
MORVA_WIN_API LSTATUS RegCreateKeyW(HKEY key, LPCWSTR sub_key, PHKEY result);
MORVA_WIN_API LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR sub_key, DWORD options, REGSAM sam, PHKEY result);
MORVA_WIN_API LSTATUS RegOpenKeyW(HKEY key, LPCWSTR sub_key, PHKEY result);
MORVA_WIN_API LSTATUS RegCloseKey(HKEY key);
MORVA_WIN_API LSTATUS RegFlushKey(HKEY key);

// data null with a size pointer: the size is reported. A buffer too small:
// ERROR_MORE_DATA with the needed size.
MORVA_WIN_API LSTATUS RegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type,
                                       LPBYTE data, LPDWORD size);
MORVA_WIN_API LSTATUS RegSetValueExW(HKEY key, LPCWSTR name, DWORD reserved, DWORD type,
                                     const BYTE* data, DWORD size);
// Sets the unnamed value (REG_SZ only) of sub_key, creating the key.
MORVA_WIN_API LSTATUS RegSetValueW(HKEY key, LPCWSTR sub_key, DWORD type, LPCWSTR data, DWORD size);
MORVA_WIN_API LSTATUS RegDeleteValueW(HKEY key, LPCWSTR name);
// Deletes a key without sub-keys (ERROR_ACCESS_DENIED when it has some).
MORVA_WIN_API LSTATUS RegDeleteKeyW(HKEY key, LPCWSTR sub_key);
// Deletes sub_key with its whole tree; with a null sub_key, everything
// below `key` (values and sub-keys) but not the key itself.
MORVA_WIN_API LSTATUS RegDeleteTreeW(HKEY key, LPCWSTR sub_key);

MORVA_WIN_API LSTATUS RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD name_chars,
                                    LPDWORD reserved, LPWSTR class_name, LPDWORD class_chars,
                                    FILETIME* last_write);
MORVA_WIN_API LSTATUS RegEnumKeyW(HKEY key, DWORD index, LPWSTR name, DWORD name_chars);
MORVA_WIN_API LSTATUS RegEnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD name_chars,
                                    LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size);
MORVA_WIN_API LSTATUS RegQueryInfoKeyW(HKEY key, LPWSTR class_name, LPDWORD class_chars, LPDWORD reserved,
                                       LPDWORD sub_keys, LPDWORD max_sub_key_len, LPDWORD max_class_len,
                                       LPDWORD values, LPDWORD max_value_name_len, LPDWORD max_value_len,
                                       LPDWORD security_descriptor, FILETIME* last_write);

// ANSI forms: names and string data (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ)
// go through the ANSI code page; the registry keeps them as UTF-16.
MORVA_WIN_API LSTATUS RegCreateKeyExA(HKEY key, LPCSTR sub_key, DWORD reserved, LPSTR class_name, DWORD options,
                                      REGSAM sam, const SECURITY_ATTRIBUTES* security, PHKEY result,
                                      LPDWORD disposition);
MORVA_WIN_API LSTATUS RegCreateKeyA(HKEY key, LPCSTR sub_key, PHKEY result);
MORVA_WIN_API LSTATUS RegOpenKeyExA(HKEY key, LPCSTR sub_key, DWORD options, REGSAM sam, PHKEY result);
MORVA_WIN_API LSTATUS RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                       LPDWORD size);
MORVA_WIN_API LSTATUS RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data,
                                     DWORD size);
MORVA_WIN_API LSTATUS RegDeleteValueA(HKEY key, LPCSTR name);
MORVA_WIN_API LSTATUS RegDeleteKeyA(HKEY key, LPCSTR sub_key);
MORVA_WIN_API LSTATUS RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD name_chars, LPDWORD reserved,
                                    LPSTR class_name, LPDWORD class_chars, FILETIME* last_write);
MORVA_WIN_API LSTATUS RegQueryInfoKeyA(HKEY key, LPSTR class_name, LPDWORD class_chars, LPDWORD reserved,
                                       LPDWORD sub_keys, LPDWORD max_sub_key_len, LPDWORD max_class_len,
                                       LPDWORD values, LPDWORD max_value_name_len, LPDWORD max_value_len,
                                       LPDWORD security_descriptor, FILETIME* last_write);
}
