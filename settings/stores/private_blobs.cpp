// The private settings blobs in their three stores: chunked printer data,
// per-user registry values and the document-property file.
#include "settings/stores/private_blobs.h"

#include <cstring>
#include <vector>

#include "ddm/ddmid.h"
#include "settings/stores/chunked_printer_data.h"
#include "settings/database/ddd_file.h"
#include "settings/items/default_settings.h"
#include "settings/stores/user_registry_values.h"
#include "win/endian.h"
#include "win/files.h"
#include "win/memory.h"
#include "win/registry.h"

using namespace morva::settings;
using morva::ddm::kExtensionOffset;
using morva::ddm::kExtensionSize;
using morva::ddm::kLayoutVersion;
using morva::ddm::kPrivateDevmodeSize;
using morva::store_le32;

namespace {

void put_tag(std::vector<BYTE>& out, const char16_t* tag) {
  const std::size_t at = out.size();
  out.resize(at + kSectionTagBytes, 0);
  for (DWORD i = 0; i < kSectionTagBytes / 2 && tag[i] != 0; ++i) morva::store_le16(&out[at + 2 * i], tag[i]);
}

void put_dword(std::vector<BYTE>& out, DWORD value) {
  const std::size_t at = out.size();
  out.resize(at + 4);
  store_le32(&out[at], value);
}

void put_bytes(std::vector<BYTE>& out, const BYTE* data, DWORD size) {
  if (size) out.insert(out.end(), data, data + size);
}

std::vector<BYTE> ndev_section(const BYTE* extension, DWORD size) {
  std::vector<BYTE> out;
  put_tag(out, kTagNdev);
  put_dword(out, kLayoutVersion);
  put_dword(out, size);
  put_bytes(out, extension, size);
  return out;
}

// A null pointer is an empty section.
std::vector<BYTE> data_section(const char16_t* tag, const BYTE* data, DWORD size) {
  if (data == nullptr) size = 0;
  std::vector<BYTE> out;
  put_tag(out, tag);
  put_dword(out, size);
  put_bytes(out, data, size);
  return out;
}

// The argument checks shared by the file and the store writers.
bool sections_acceptable(const BYTE* fax, DWORD fax_size, const BYTE* wpk, DWORD wpk_size, const BYTE* sp,
                         DWORD sp_size) {
  if ((wpk && wpk_size == 0) || (sp && sp_size == 0)) return false;
  // A damaged book would make the whole set unreadable later: refuse it now.
  if (fax && !IsWholeFaxBook(fax, fax_size)) return false;
  return true;
}

struct BlobName {
  const char16_t* name;
  const char16_t* size_name;
};
constexpr BlobName kExtensionBlob{kBlobExtension, kBlobExtensionSize};
constexpr BlobName kWpkBlob{kBlobWpk, kBlobWpkSize};
constexpr BlobName kSpBlob{kBlobSp, kBlobSpSize};

BOOL write_blob(HANDLE printer, DddHandle* database, WORD store_kind, const BlobName& blob,
                const std::vector<BYTE>& bytes) {
  const DWORD size = static_cast<DWORD>(bytes.size());
  switch (store_kind) {
    case kPrivateStorePrinterData:
      return WriteChunkedPrinterData(printer, bytes.data(), size, blob.name, blob.size_name);
    case kPrivateStoreUserRegistry: {
      BYTE size_bytes[4];
      store_le32(size_bytes, size);
      return WriteUserRegistryValue(printer, database, size_bytes, sizeof size_bytes, REG_DWORD, nullptr,
                                    blob.size_name) &&
             WriteUserRegistryValue(printer, database, bytes.data(), size, REG_BINARY, nullptr, blob.name);
    }
    default:
      return FALSE;
  }
}

// A new global block with the blob's bytes. The per-user value must agree
// with its size value.
BOOL read_blob(HANDLE printer, DddHandle* database, WORD store_kind, const BlobName& blob, BYTE** data,
               DWORD* size) {
  *data = nullptr;
  *size = 0;
  switch (store_kind) {
    case kPrivateStorePrinterData:
      return ReadChunkedPrinterData(printer, data, size, blob.name, blob.size_name);
    case kPrivateStoreUserRegistry: {
      BYTE* size_value = nullptr;
      DWORD size_bytes = 0;
      if (ReadUserRegistryValueAlloc(printer, &size_value, &size_bytes, REG_DWORD, nullptr, blob.size_name,
                                     database) != 0) {
        return FALSE;
      }
      const bool size_ok = size_bytes == 4;
      const DWORD expected = size_ok ? morva::load_le32(size_value) : 0;
      GlobalFree(size_value);
      if (!size_ok) return FALSE;
      BYTE* value = nullptr;
      DWORD value_size = 0;
      if (ReadUserRegistryValueAlloc(printer, &value, &value_size, REG_BINARY, nullptr, blob.name, database) != 0) {
        return FALSE;
      }
      if (value_size != expected) {
        GlobalFree(value);
        return FALSE;
      }
      *data = value;
      *size = value_size;
      return TRUE;
    }
    default:
      return FALSE;
  }
}

void free_out(BYTE** p) {
  if (p && *p) {
    GlobalFree(*p);
    *p = nullptr;
  }
}

}  // namespace

BOOL GetCurrentDevmodeExtension(HANDLE printer, BYTE* extension) {
  if (printer == nullptr || extension == nullptr) return FALSE;
  DddHandle* database = DddOpen(printer);
  if (database == nullptr) return FALSE;
  BOOL ok = FALSE;
  if (auto* devmode = static_cast<BYTE*>(GlobalAlloc(GPTR, kPrivateDevmodeSize))) {
    if (FillDefaultSettings(database, devmode, nullptr, u"DummyName")) {
      std::memcpy(extension, devmode + kExtensionOffset, kExtensionSize);
      ok = TRUE;
    }
    GlobalFree(devmode);
  }
  DddClose(database);
  return ok;
}

BOOL ReadWholeFile(HANDLE file, BYTE** data, DWORD* size) {
  if (data) *data = nullptr;
  if (size) *size = 0;
  if (file == nullptr || file == INVALID_HANDLE_VALUE || data == nullptr || size == nullptr) return FALSE;
  DWORD high = 0;
  const DWORD low = GetFileSize(file, &high);
  if ((low == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS) || high != 0) return FALSE;
  auto* block = static_cast<BYTE*>(GlobalAlloc(GPTR, low ? low : 1));
  if (block == nullptr) return FALSE;
  DWORD done = 0;
  while (done < low) {
    DWORD got = 0;
    if (!ReadFile(file, block + done, low - done, &got, nullptr) || got == 0) {
      GlobalFree(block);
      return FALSE;
    }
    done += got;
  }
  *data = block;
  *size = low;
  return TRUE;
}

BOOL WriteDocPropFile(LPCWSTR file_name, const BYTE* fax, DWORD fax_size, const BYTE* extension,
                      DWORD extension_size, const BYTE* wpk, DWORD wpk_size, const BYTE* sp, DWORD sp_size) {
  if (file_name == nullptr || extension == nullptr || extension_size != kExtensionSize) return FALSE;
  if (!sections_acceptable(fax, fax_size, wpk, wpk_size, sp, sp_size)) return FALSE;
  std::vector<BYTE> image = ndev_section(extension, extension_size);
  const std::vector<BYTE> w = data_section(kTagWpk, wpk, wpk_size);
  const std::vector<BYTE> s = data_section(kTagSp, sp, sp_size);
  image.insert(image.end(), w.begin(), w.end());
  image.insert(image.end(), s.begin(), s.end());
  if (fax) put_bytes(image, fax, fax_size);

  HANDLE file = CreateFileW(file_name, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return FALSE;
  DWORD written = 0;
  BOOL ok = WriteFile(file, image.data(), static_cast<DWORD>(image.size()), &written, nullptr) &&
            written == image.size();
  if (!CloseHandle(file)) ok = FALSE;
  return ok;
}

BOOL ReadDocPropFile(HANDLE printer, LPCWSTR file_name, BYTE** fax, BYTE* extension, BYTE** wpk, DWORD* wpk_size,
                     BYTE** sp, DWORD* sp_size) {
  if (fax) *fax = nullptr;
  if (wpk) *wpk = nullptr;
  if (sp) *sp = nullptr;
  if (file_name == nullptr || extension == nullptr) return FALSE;
  HANDLE file = CreateFileW(file_name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return FALSE;
  BYTE* image = nullptr;
  DWORD size = 0;
  const BOOL read = ReadWholeFile(file, &image, &size);
  CloseHandle(file);
  if (!read) return FALSE;
  PrivateSectionOutputs out;
  out.extension = extension;
  out.fax = fax;
  out.wpk = wpk;
  out.wpk_size = wpk_size;
  out.sp = sp;
  out.sp_size = sp_size;
  const BOOL ok = ParseDocPropImage(image, size, out, printer, GetCurrentDevmodeExtension);
  GlobalFree(image);
  return ok;
}

BOOL SavePrivateSettings(HANDLE printer, DddHandle* database, LPCWSTR file_name, WORD store_kind, const BYTE* fax,
                         DWORD fax_size, const BYTE* extension, const BYTE* wpk, DWORD wpk_size, const BYTE* sp,
                         DWORD sp_size) {
  if (extension == nullptr) return FALSE;
  if (fax && fax_size == 0) return FALSE;
  if (!sections_acceptable(fax, fax_size, wpk, wpk_size, sp, sp_size)) return FALSE;
  if (file_name) {
    return WriteDocPropFile(file_name, fax, fax_size, extension, kExtensionSize, wpk, wpk_size, sp, sp_size);
  }
  if (store_kind != kPrivateStorePrinterData && store_kind != kPrivateStoreUserRegistry) return FALSE;
  std::vector<BYTE> ext = ndev_section(extension, kExtensionSize);
  if (fax) put_bytes(ext, fax, fax_size);
  return write_blob(printer, database, store_kind, kExtensionBlob, ext) &&
         write_blob(printer, database, store_kind, kWpkBlob, data_section(kTagWpk, wpk, wpk_size)) &&
         write_blob(printer, database, store_kind, kSpBlob, data_section(kTagSp, sp, sp_size));
}

BOOL LoadPrivateSettings(HANDLE printer, DddHandle* database, LPCWSTR file_name, WORD store_kind, BYTE** fax,
                         BYTE* extension, BYTE** wpk, DWORD* wpk_size, BYTE** sp, DWORD* sp_size) {
  if (fax) *fax = nullptr;
  if (wpk) *wpk = nullptr;
  if (sp) *sp = nullptr;
  if (wpk_size) *wpk_size = 0;
  if (sp_size) *sp_size = 0;
  if (extension == nullptr || (wpk && !wpk_size) || (sp && !sp_size)) return FALSE;
  if (file_name) return ReadDocPropFile(printer, file_name, fax, extension, wpk, wpk_size, sp, sp_size);
  if (store_kind != kPrivateStorePrinterData && store_kind != kPrivateStoreUserRegistry) return FALSE;

  // Each blob is parsed into locals; the caller's outputs are set only when
  // all three were read.
  std::vector<BYTE> ext(extension, extension + kExtensionSize);
  BYTE* book = nullptr;
  BYTE* w = nullptr;
  BYTE* s = nullptr;
  DWORD w_size = 0, s_size = 0;
  BYTE* blob = nullptr;
  DWORD size = 0;
  bool ok = read_blob(printer, database, store_kind, kExtensionBlob, &blob, &size) &&
            ParseExtensionBlob(blob, size, ext.data(), fax ? &book : nullptr, printer, GetCurrentDevmodeExtension);
  free_out(&blob);
  if (ok) {
    DWORD pos = 0;
    ok = read_blob(printer, database, store_kind, kWpkBlob, &blob, &size) &&
         ReadDataSection(blob, size, &pos, kTagWpk, wpk ? &w : nullptr, &w_size);
    free_out(&blob);
  }
  if (ok) {
    DWORD pos = 0;
    ok = read_blob(printer, database, store_kind, kSpBlob, &blob, &size) &&
         ReadDataSection(blob, size, &pos, kTagSp, sp ? &s : nullptr, &s_size);
    free_out(&blob);
  }
  if (!ok) {
    free_out(&book);
    free_out(&w);
    free_out(&s);
    return FALSE;
  }
  std::memcpy(extension, ext.data(), kExtensionSize);
  if (fax) *fax = book;
  if (wpk) {
    *wpk = w;
    *wpk_size = w_size;
  }
  if (sp) {
    *sp = s;
    *sp_size = s_size;
  }
  return TRUE;
}

BOOL WriteFaxSendList(HANDLE printer, const BYTE* data, DWORD size) {
  if (printer == nullptr || data == nullptr) return FALSE;
  return WriteChunkedPrinterData(printer, data, size, kBlobFaxSendList, kBlobFaxSendListSize);
}

BOOL ReadFaxSendList(HANDLE printer, BYTE** data, DWORD* size) {
  return ReadChunkedPrinterData(printer, data, size, kBlobFaxSendList, kBlobFaxSendListSize);
}
