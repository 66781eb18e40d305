// Layout of a resource container (".xrs"), the file that holds a module's
// resources: string tables, dialog templates, bitmaps, icons and raw typed
// data, each under a type, a name and a language as in a Windows module.
// All numbers are little-endian.
//
//   header (32 bytes)
//     0  char[4] magic "MXRS"
//     4  WORD    format version (1)
//     6  WORD    0
//     8  DWORD   entry count
//    12  DWORD   offset of the entry directory
//    16  DWORD   offset of the name pool
//    20  DWORD   size of the name pool in bytes
//    24  DWORD   size of the whole file
//    28  DWORD   0
//   entry (20 bytes each)
//     0  DWORD   type: an id below 0x10000, or kNamedResource | offset of a
//                NUL-terminated UTF-16 name in the name pool
//     4  DWORD   name: the same
//     8  WORD    language (LANGID)
//    10  WORD    0
//    12  DWORD   offset of the data
//    16  DWORD   size of the data in bytes
//
// Data blocks start on 8-byte boundaries. The data of each type has the
// layout the resource has in a Windows module: RT_STRING blocks of 16
// counted strings, RT_DIALOG a DLGTEMPLATE, RT_BITMAP a BMP file without its
// 14-byte file header, RT_ICON an icon image, RT_GROUP_ICON its directory.
#pragma once

#include <cstddef>
#include <cstdint>

namespace morva::xrs {

inline constexpr char kMagic[4] = {'M', 'X', 'R', 'S'};
inline constexpr std::uint16_t kVersion = 1;
inline constexpr std::size_t kHeaderSize = 32;
inline constexpr std::size_t kEntrySize = 20;
inline constexpr std::uint32_t kNamedResource = 0x80000000u;
inline constexpr std::size_t kDataAlignment = 8;

namespace header {
inline constexpr std::size_t magic = 0, version = 4, count = 8, directory = 12, names = 16, names_size = 20,
                             file_size = 24;
}
namespace entry {
inline constexpr std::size_t type = 0, name = 4, language = 8, offset = 12, size = 16;
}

}  // namespace morva::xrs
