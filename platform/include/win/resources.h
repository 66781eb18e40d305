// Resources of a module: string tables, dialog templates, bitmaps, icons and
// raw typed data, read from the module's resource container (".xrs", see
// win/resource_container.h). A data-file load of a container gives a
// module handle for it; a code module "libx.so" has the container "libx.xrs"
// beside it, or one attached with attach_module_resources.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "win/types.h"

#define MAKEINTRESOURCEW(i) (reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(i))))
#define IS_INTRESOURCE(r) ((reinterpret_cast<ULONG_PTR>(r) >> 16) == 0)

#define RT_CURSOR MAKEINTRESOURCEW(1)
#define RT_BITMAP MAKEINTRESOURCEW(2)
#define RT_ICON MAKEINTRESOURCEW(3)
#define RT_MENU MAKEINTRESOURCEW(4)
#define RT_DIALOG MAKEINTRESOURCEW(5)
#define RT_STRING MAKEINTRESOURCEW(6)
#define RT_FONTDIR MAKEINTRESOURCEW(7)
#define RT_FONT MAKEINTRESOURCEW(8)
#define RT_ACCELERATOR MAKEINTRESOURCEW(9)
#define RT_RCDATA MAKEINTRESOURCEW(10)
#define RT_MESSAGETABLE MAKEINTRESOURCEW(11)
#define RT_GROUP_CURSOR MAKEINTRESOURCEW(12)
#define RT_GROUP_ICON MAKEINTRESOURCEW(14)
#define RT_VERSION MAKEINTRESOURCEW(16)

#ifndef LANG_NEUTRAL
#define LANG_NEUTRAL 0x00
#define LANG_ENGLISH 0x09
#define LANG_JAPANESE 0x11
#define SUBLANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#endif

#define IMAGE_BITMAP 0u
#define IMAGE_ICON 1u
#define IMAGE_CURSOR 2u
#define LR_DEFAULTCOLOR 0x00000000u
#define LR_MONOCHROME 0x00000001u
#define LR_LOADFROMFILE 0x00000010u
#define LR_LOADTRANSPARENT 0x00000020u
#define LR_DEFAULTSIZE 0x00000040u
#define LR_CREATEDIBSECTION 0x00002000u
#define LR_SHARED 0x00008000u

#define IDI_APPLICATION MAKEINTRESOURCEW(32512)
#define IDI_HAND MAKEINTRESOURCEW(32513)
#define IDI_QUESTION MAKEINTRESOURCEW(32514)
#define IDI_EXCLAMATION MAKEINTRESOURCEW(32515)
#define IDI_ASTERISK MAKEINTRESOURCEW(32516)
#define IDI_WARNING IDI_EXCLAMATION
#define IDI_ERROR IDI_HAND
#define IDI_INFORMATION IDI_ASTERISK

extern "C" {
// Without a language, the user's UI language is preferred, then the
// neutral and English resources, then any.
MORVA_WIN_API HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type);
MORVA_WIN_API HRSRC FindResourceExW(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language);
MORVA_WIN_API HGLOBAL LoadResource(HMODULE module, HRSRC resource);
MORVA_WIN_API LPVOID LockResource(HGLOBAL data);
MORVA_WIN_API DWORD SizeofResource(HMODULE module, HRSRC resource);
MORVA_WIN_API BOOL FreeResource(HGLOBAL data);
// With max_chars 0, *(LPCWSTR*)buffer receives the read-only text (not
// terminated) and the result is its length.
MORVA_WIN_API INT LoadStringW(HINSTANCE module, UINT id, LPWSTR buffer, INT max_chars);
MORVA_WIN_API HBITMAP LoadBitmapW(HINSTANCE module, LPCWSTR name);
MORVA_WIN_API HICON LoadIconW(HINSTANCE module, LPCWSTR name);
MORVA_WIN_API HANDLE LoadImageW(HINSTANCE module, LPCWSTR name, UINT type, INT cx, INT cy, UINT flags);
MORVA_WIN_API BOOL DestroyIcon(HICON icon);
// A new icon with the same image; the copy is the caller's to destroy.
MORVA_WIN_API HICON CopyIcon(HICON icon);
}

namespace morva::platform {

// Opens a resource container file (native path) as a module handle.
// Null with *error (ERROR_FILE_NOT_FOUND, ERROR_BAD_FORMAT, ...) on failure.
MORVA_WIN_API HMODULE open_resource_container(const std::string& native_path, DWORD* error = nullptr);
// The same over bytes in memory (copied).
MORVA_WIN_API HMODULE open_resource_container(const std::vector<BYTE>& bytes, DWORD* error = nullptr);
// Closes a handle from open_resource_container; false for any other handle.
MORVA_WIN_API bool close_resource_container(HMODULE container);
MORVA_WIN_API bool is_resource_container(HMODULE module);
// Makes `container` the resources of a code module (null: the program's
// own); a null container detaches. The container stays owned by the caller.
MORVA_WIN_API void attach_module_resources(HMODULE module, HMODULE container);

// A bitmap or icon loaded from resources, kept as a packed DIB: a
// BITMAPINFOHEADER, its colour table and the pixel rows (for an icon, the
// colour rows followed by the AND mask, with the header's height doubled as
// in the icon resource).
struct ResourceImage {
  UINT type = IMAGE_BITMAP;  // IMAGE_BITMAP or IMAGE_ICON
  INT width = 0;
  INT height = 0;            // of the image, not doubled
  WORD bit_count = 0;
  std::vector<BYTE> dib;
};
// The image behind a handle from LoadBitmapW, LoadIconW or LoadImageW;
// null for other handles.
MORVA_WIN_API const ResourceImage* resource_image(HANDLE image);
// Frees such an image (what DeleteObject and DestroyIcon do with it).
MORVA_WIN_API bool release_resource_image(HANDLE image);

}  // namespace morva::platform
