// The private settings that travel beside the public DEVMODE: the 4384-byte
// extension block, the security-marking information (WPKINFO), the SP
// information (SPINFO) and the direct-fax address book. They are kept as
// chunked printer data, as per-user registry values, or together in a
// document-property file.
//
// Sections (little-endian; a tag is UTF-16 text padded with NULs to 16
// bytes):
//   NDEV001  tag, DWORD version (21072) at 16, DWORD length L at 20, L bytes
//   WPKINFO  tag, DWORD length L at 16, L bytes
//   SPINFO   tag, DWORD length L at 16, L bytes
// A document-property file holds NDEV001, WPKINFO and SPINFO in this order,
// optionally followed by a fax address book ("DFAX002", or the older
// "DFAX001" when reading). The extension blob of a store is a NDEV001
// section, optionally followed by a fax address book.
#pragma once

#include <cstddef>

#include "win/types.h"

struct DddHandle;

namespace morva::settings {

inline constexpr DWORD kSectionTagBytes = 16;
inline constexpr DWORD kNdevVersionOffset = 16;
inline constexpr DWORD kNdevLengthOffset = 20;
inline constexpr DWORD kNdevHeaderSize = 24;
inline constexpr DWORD kDataSectionLengthOffset = 16;
inline constexpr DWORD kDataSectionHeaderSize = 20;

// The headers as stored (for their sizes and offsets; bytes are read and
// written with the little-endian helpers).
struct NdevSectionHeader {
  WCHAR tag[8];
  DWORD version;
  DWORD length;
};
struct DataSectionHeader {
  WCHAR tag[8];
  DWORD length;
};
static_assert(sizeof(NdevSectionHeader) == kNdevHeaderSize);
static_assert(offsetof(NdevSectionHeader, version) == kNdevVersionOffset);
static_assert(offsetof(NdevSectionHeader, length) == kNdevLengthOffset);
static_assert(sizeof(DataSectionHeader) == kDataSectionHeaderSize);
static_assert(offsetof(DataSectionHeader, length) == kDataSectionLengthOffset);

inline constexpr char16_t kTagNdev[] = u"NDEV001";
inline constexpr char16_t kTagWpk[] = u"WPKINFO";
inline constexpr char16_t kTagSp[] = u"SPINFO";

// Store kinds of SavePrivateSettings / LoadPrivateSettings.
inline constexpr WORD kPrivateStorePrinterData = 2;
inline constexpr WORD kPrivateStoreUserRegistry = 3;

// Value names of the blobs (the size value is the name followed by "Size").
inline constexpr char16_t kBlobExtension[] = u"N_Dev";
inline constexpr char16_t kBlobExtensionSize[] = u"N_DevSize";
inline constexpr char16_t kBlobWpk[] = u"WPKInfo";
inline constexpr char16_t kBlobWpkSize[] = u"WPKInfoSize";
inline constexpr char16_t kBlobSp[] = u"SPInfo";
inline constexpr char16_t kBlobSpSize[] = u"SPInfoSize";
inline constexpr char16_t kBlobFaxSendList[] = u"FaxSendList";
inline constexpr char16_t kBlobFaxSendListSize[] = u"FaxSendListSize";

// Fills a 4384-byte buffer with the default extension block of a printer.
using ExtensionDefaultsFn = BOOL (*)(HANDLE printer, BYTE* extension);

// What a reader of private sections wants. Null outputs are not wanted;
// `wpk_size` / `sp_size` go with `wpk` / `sp`.
struct PrivateSectionOutputs {
  BYTE* extension = nullptr;  // 4384 bytes, required
  BYTE** fax = nullptr;
  BYTE** wpk = nullptr;
  DWORD* wpk_size = nullptr;
  BYTE** sp = nullptr;
  DWORD* sp_size = nullptr;
};

// Reads a NDEV001 section at *pos of `image` into the 4384-byte
// `extension`: the tag must match, the version must not be above 21072,
// and header and data must lie inside the image. An older version gets the
// defaults (through `defaults`) under the stored bytes. At most 4384 bytes
// are taken; the block's version word becomes 21072. *pos moves past the
// section.
BOOL ReadNdevSection(const BYTE* image, DWORD size, DWORD* pos, BYTE* extension, HANDLE printer,
                     ExtensionDefaultsFn defaults);
// Reads a WPKINFO or SPINFO section (by `tag`) at *pos: its data go into a
// new global block (none for length 0) when `out` is given.
BOOL ReadDataSection(const BYTE* image, DWORD size, DWORD* pos, const char16_t* tag, BYTE** out,
                     DWORD* out_size);
// Reads the fax address book that fills image[pos, size) exactly: a
// "DFAX002" book is copied, a "DFAX001" book converted (a refused
// conversion leaves *out null and succeeds). Another tag or size: FALSE.
BOOL ReadFaxSection(const BYTE* image, DWORD size, DWORD pos, BYTE** out);
// The sections of a document-property file image. On failure every block
// handed out is freed, the outputs are null and the extension buffer is
// left as it was.
BOOL ParseDocPropImage(const BYTE* image, DWORD size, const PrivateSectionOutputs& out, HANDLE printer,
                       ExtensionDefaultsFn defaults);
// The extension blob of a store: NDEV001, then the fax book when wanted and
// present. Same failure rules as above.
BOOL ParseExtensionBlob(const BYTE* blob, DWORD size, BYTE* extension, BYTE** fax, HANDLE printer,
                        ExtensionDefaultsFn defaults);

// TRUE when `book` is a "DFAX002" book of exactly `size` bytes.
BOOL IsWholeFaxBook(const BYTE* book, DWORD size);

}  // namespace morva::settings

// The defaults of the printer's device database (settings for the printer
// name "DummyName") copied from byte 1604 of the DEVMODE into the 4384-byte
// buffer. TRUE when built and copied.
BOOL GetCurrentDevmodeExtension(HANDLE printer, BYTE* extension);
// Reads an open file whole into a new zeroed global block.
BOOL ReadWholeFile(HANDLE file, BYTE** data, DWORD* size);

// Writes an existing document-property file (a missing one is not
// created): NDEV001 (the 4384-byte extension), WPKINFO, SPINFO, then the
// fax book when given. WPKINFO/SPINFO data given with a size of 0 are
// refused; null data is an empty section. The fax book must be a whole
// "DFAX002" book.
BOOL WriteDocPropFile(LPCWSTR file_name, const BYTE* fax, DWORD fax_size, const BYTE* extension,
                      DWORD extension_size, const BYTE* wpk, DWORD wpk_size, const BYTE* sp, DWORD sp_size);
// Reads a document-property file. `printer` supplies the default extension
// block for an older NDEV001 section. Each wanted output is a new global
// block (or null when the file has no such data); on failure nothing is
// handed out.
BOOL ReadDocPropFile(HANDLE printer, LPCWSTR file_name, BYTE** fax, BYTE* extension, BYTE** wpk, DWORD* wpk_size,
                     BYTE** sp, DWORD* sp_size);

// Saves the private settings: with a file name into that document-property
// file, else as three blobs (extension with the fax book appended, WPKINFO,
// SPINFO) into the store kind given (2 printer data, 3 per-user registry),
// stopping at the first failure. The extension block is required; a
// section or fax book given with a size of 0 is refused; a null pointer
// stands for an empty section.
BOOL SavePrivateSettings(HANDLE printer, DddHandle* database, LPCWSTR file_name, WORD store_kind, const BYTE* fax,
                         DWORD fax_size, const BYTE* extension, const BYTE* wpk, DWORD wpk_size, const BYTE* sp,
                         DWORD sp_size);
// Loads them back. The extension buffer is required and each wanted output
// needs its size output. Blocks handed out are the caller's (GlobalFree);
// on failure nothing is handed out and the extension buffer is unchanged.
BOOL LoadPrivateSettings(HANDLE printer, DddHandle* database, LPCWSTR file_name, WORD store_kind, BYTE** fax,
                         BYTE* extension, BYTE** wpk, DWORD* wpk_size, BYTE** sp, DWORD* sp_size);

// The printer's direct-fax address book as chunked printer data
// "FaxSendList". Non-zero when done; reading hands out a new global block.
BOOL WriteFaxSendList(HANDLE printer, const BYTE* data, DWORD size);
BOOL ReadFaxSendList(HANDLE printer, BYTE** data, DWORD* size);
