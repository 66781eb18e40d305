#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "blobs_fixture.h"
#include "ddm/ddmid.h"
#include "fax/fax_blob.h"
#include "settings/stores/chunked_printer_data.h"
#include "settings/stores/private_blobs.h"
#include "settings/stores/printer_identity.h"
#include "win/endian.h"
#include "win/files.h"
#include "win/machine_store.h"
#include "win/memory.h"

namespace morva::test {
namespace {

using morva::ddm::kExtensionSize;
using morva::ddm::kLayoutVersion;
using namespace morva::settings;
using morva::load_le16;
using morva::load_le32;
using morva::store_le32;

// A fax book of `count` destinations in the current or the older layout.
std::vector<BYTE> fax_book(WORD count, bool old = false) {
  const DWORD entry = old ? fax::kFaxOldEntrySize : fax::kFaxEntrySize;
  std::vector<BYTE> book = pattern(fax::kFaxBookHeaderSize + count * entry, count + 5);
  fax::FaxBook_WriteTag(book.data(), old ? fax::kTagDfax001 : fax::kTagDfax002);
  fax::FaxBook_SetCount(book.data(), count);
  return book;
}

std::vector<BYTE> extension_block(unsigned seed = 3) {
  std::vector<BYTE> ext = pattern(kExtensionSize, seed);
  morva::store_le16(ext.data(), kLayoutVersion);
  return ext;
}

std::vector<BYTE> bytes_of(const BYTE* p, DWORD n) { return p ? std::vector<BYTE>(p, p + n) : std::vector<BYTE>(); }

// What a load handed out, freed at the end of the test.
struct Loaded {
  std::vector<BYTE> extension = std::vector<BYTE>(kExtensionSize, 0xEE);
  BYTE* fax = nullptr;
  BYTE* wpk = nullptr;
  DWORD wpk_size = 0;
  BYTE* sp = nullptr;
  DWORD sp_size = 0;
  ~Loaded() {
    for (BYTE* p : {fax, wpk, sp})
      if (p) GlobalFree(p);
  }
  BOOL load(HANDLE printer, DddHandle* db, LPCWSTR file, WORD kind, bool want_fax = true) {
    return LoadPrivateSettings(printer, db, file, kind, want_fax ? &fax : nullptr, extension.data(), &wpk, &wpk_size,
                               &sp, &sp_size);
  }
};

class PrivateBlobs : public PrinterTest {
 protected:
  void SetUp() override { install(); }
  void TearDown() override {
    platform::clear_store_faults();
    PrinterTest::TearDown();
  }

  std::vector<BYTE> ext = extension_block();
  std::vector<BYTE> wpk = pattern(300, 7);
  std::vector<BYTE> sp = pattern(41, 9);
  std::vector<BYTE> book = fax_book(3);

  // An existing, empty document-property file.
  std::u16string new_file(const char* name = "doc.prop") {
    write_file(root.file(std::string("drive_c/") + name), "");
    return u"C:\\" + std::u16string(name, name + std::strlen(name));
  }

  // The image of a document-property file written by WriteDocPropFile.
  std::vector<BYTE> image(const std::vector<BYTE>* fax) {
    std::u16string f = new_file("image.prop");
    EXPECT_TRUE(WriteDocPropFile(f.c_str(), fax ? fax->data() : nullptr, fax ? DWORD(fax->size()) : 0, ext.data(),
                                 kExtensionSize, wpk.data(), DWORD(wpk.size()), sp.data(), DWORD(sp.size())));
    std::string bytes = read_file(root.file("drive_c/image.prop"));
    return std::vector<BYTE>(bytes.begin(), bytes.end());
  }

  BOOL save(LPCWSTR file, WORD kind, const std::vector<BYTE>* fax) {
    return SavePrivateSettings(printer, handle, file, kind, fax ? fax->data() : nullptr, fax ? DWORD(fax->size()) : 0,
                               ext.data(), wpk.data(), DWORD(wpk.size()), sp.data(), DWORD(sp.size()));
  }

  void expect_loaded(const Loaded& l, const std::vector<BYTE>* fax) {
    EXPECT_EQ(l.extension, ext);
    EXPECT_EQ(bytes_of(l.wpk, l.wpk_size), wpk);
    EXPECT_EQ(bytes_of(l.sp, l.sp_size), sp);
    if (fax) {
      EXPECT_EQ(bytes_of(l.fax, DWORD(fax->size())), *fax);
    } else {
      EXPECT_EQ(l.fax, nullptr);
    }
  }
};

// The layout of a document-property file, byte for byte.
TEST_F(PrivateBlobs, DocPropFileLayout) {
  std::vector<BYTE> img = image(&book);
  ASSERT_EQ(img.size(), 24 + kExtensionSize + 20 + wpk.size() + 20 + sp.size() + book.size());
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(img.data())), u"NDEV001");
  EXPECT_EQ(load_le16(img.data() + 14), 0);
  EXPECT_EQ(load_le32(img.data() + 16), kLayoutVersion);
  EXPECT_EQ(load_le32(img.data() + 20), kExtensionSize);
  EXPECT_EQ(0, std::memcmp(img.data() + 24, ext.data(), kExtensionSize));
  const BYTE* w = img.data() + 24 + kExtensionSize;
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(w)), u"WPKINFO");
  EXPECT_EQ(load_le32(w + 16), wpk.size());
  const BYTE* s = w + 20 + wpk.size();
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(s)), u"SPINFO");
  EXPECT_EQ(load_le16(s + 12) | load_le16(s + 14), 0);  // padding
  EXPECT_EQ(load_le32(s + 16), sp.size());
  EXPECT_EQ(0, std::memcmp(s + 20 + sp.size(), book.data(), book.size()));
}

// Every blob kind through each store, with and without the fax book.
TEST_F(PrivateBlobs, RoundTripThroughEveryStore) {
  const std::u16string file = new_file();
  struct Case {
    const char16_t* file;
    WORD kind;
  } cases[] = {{file.c_str(), 0}, {nullptr, kPrivateStorePrinterData}, {nullptr, kPrivateStoreUserRegistry}};
  for (const Case& c : cases) {
    for (const std::vector<BYTE>* fax : {static_cast<const std::vector<BYTE>*>(nullptr), static_cast<const std::vector<BYTE>*>(&book)}) {
      SCOPED_TRACE(testing::Message() << "kind " << c.kind << (c.file ? " file" : "") << (fax ? " fax" : ""));
      ASSERT_TRUE(save(c.file, c.kind, fax));
      Loaded l;
      ASSERT_TRUE(l.load(printer, handle, c.file, c.kind));
      expect_loaded(l, fax);
      // Not asking for the book still loads the rest.
      Loaded without;
      ASSERT_TRUE(without.load(printer, handle, c.file, c.kind, false));
      EXPECT_EQ(without.extension, ext);
    }
  }
  // The printer-data blobs are chunked NDEV001/WPKINFO/SPINFO sections.
  EXPECT_EQ(load_le32(value(u"N_DevSize").data()), 24 + kExtensionSize + book.size());
  EXPECT_EQ(value(u"WPKInfo1").size(), 20 + wpk.size());
  EXPECT_EQ(load_le32(value(u"SPInfoSize").data()), 20 + sp.size());
}

// Empty sections: a null pointer is an empty section, loaded as none.
TEST_F(PrivateBlobs, EmptySections) {
  for (WORD kind : {kPrivateStorePrinterData, kPrivateStoreUserRegistry}) {
    ASSERT_TRUE(SavePrivateSettings(printer, handle, nullptr, kind, nullptr, 0, ext.data(), nullptr, 0, nullptr, 0));
    Loaded l;
    ASSERT_TRUE(l.load(printer, handle, nullptr, kind));
    EXPECT_EQ(l.extension, ext);
    EXPECT_EQ(l.wpk, nullptr);
    EXPECT_EQ(l.wpk_size, 0u);
    EXPECT_EQ(l.sp, nullptr);
    EXPECT_EQ(l.fax, nullptr);
  }
}

TEST_F(PrivateBlobs, SaveArgumentsRefused) {
  const std::vector<BYTE> long_book = [&] {
    std::vector<BYTE> b = book;
    b.push_back(0);
    return b;
  }();
  const std::vector<BYTE> old_book = fax_book(1, true);
  struct Case {
    const char* what;
    const BYTE* ext;
    const BYTE* fax;
    DWORD fax_size;
    const BYTE* wpk;
    DWORD wpk_size;
    const BYTE* sp;
    DWORD sp_size;
    WORD kind;
  } cases[] = {
      {"no extension", nullptr, nullptr, 0, nullptr, 0, nullptr, 0, 2},
      {"WPKINFO of size 0", ext.data(), nullptr, 0, wpk.data(), 0, nullptr, 0, 2},
      {"SPINFO of size 0", ext.data(), nullptr, 0, nullptr, 0, sp.data(), 0, 2},
      {"fax book of size 0", ext.data(), book.data(), 0, nullptr, 0, nullptr, 0, 2},
      {"fax book one byte long", ext.data(), long_book.data(), DWORD(long_book.size()), nullptr, 0, nullptr, 0, 2},
      {"fax book one byte short", ext.data(), book.data(), DWORD(book.size() - 1), nullptr, 0, nullptr, 0, 2},
      {"older fax book", ext.data(), old_book.data(), DWORD(old_book.size()), nullptr, 0, nullptr, 0, 2},
      {"unknown store kind", ext.data(), nullptr, 0, nullptr, 0, nullptr, 0, 4},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(SavePrivateSettings(printer, handle, nullptr, c.kind, c.fax, c.fax_size, c.ext, c.wpk, c.wpk_size,
                                     c.sp, c.sp_size))
        << c.what;
    bool found = true;
    value(u"N_DevSize", &found);
    EXPECT_FALSE(found) << c.what << ": nothing is written";
  }
  // Loading needs the extension buffer and a size output for each section.
  Loaded l;
  EXPECT_FALSE(LoadPrivateSettings(printer, handle, nullptr, 2, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
  EXPECT_FALSE(LoadPrivateSettings(printer, handle, nullptr, 2, nullptr, l.extension.data(), &l.wpk, nullptr, nullptr,
                                   nullptr));
  EXPECT_FALSE(l.load(printer, handle, nullptr, 5));
  EXPECT_FALSE(l.load(printer, handle, nullptr, 2));  // nothing stored
}

// Every truncation of a file image is refused without reading past it,
// except the one that ends where the sections end (the book is optional).
TEST_F(PrivateBlobs, TruncatedImagesRefused) {
  const std::vector<BYTE> full = image(&book);
  const std::size_t sections = full.size() - book.size();
  for (std::size_t n = 0; n <= full.size(); ++n) {
    std::vector<BYTE> cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));  // exact size for ASan
    std::vector<BYTE> ext_out(kExtensionSize, 0xEE);
    BYTE *fax = nullptr, *w = nullptr, *s = nullptr;
    DWORD ws = 0, ss = 0;
    PrivateSectionOutputs out{ext_out.data(), &fax, &w, &ws, &s, &ss};
    const BOOL ok = ParseDocPropImage(cut.data(), DWORD(n), out, printer, GetCurrentDevmodeExtension);
    ASSERT_EQ(ok != FALSE, n == sections || n == full.size()) << n;
    if (!ok) {
      ASSERT_TRUE(fax == nullptr && w == nullptr && s == nullptr) << n;
      ASSERT_EQ(ext_out, std::vector<BYTE>(kExtensionSize, 0xEE)) << "a refused image leaves the buffer, " << n;
    }
    for (BYTE* p : {fax, w, s})
      if (p) GlobalFree(p);
  }
}

// Damaged and foreign sections.
TEST_F(PrivateBlobs, DamagedSectionsRefused) {
  const std::vector<BYTE> full = image(&book);
  const std::size_t wpk_at = 24 + kExtensionSize;
  const std::size_t sp_at = wpk_at + 20 + wpk.size();
  const std::size_t fax_at = sp_at + 20 + sp.size();
  struct Case {
    const char* what;
    std::size_t offset;
    std::vector<BYTE> bytes;  // written at offset
    bool extra_byte;
  } cases[] = {
      {"NDEV tag", 0, {'X', 0}, false},
      {"NDEV version 21073", 16, {0x51, 0x52, 0, 0}, false},
      {"NDEV length past the end", 20, {0xFF, 0xFF, 0xFF, 0xFF}, false},
      {"WPKINFO tag", wpk_at + 2, {'Q', 0}, false},
      {"WPKINFO length past the end", wpk_at + 16, {0xF0, 0xFF, 0xFF, 0xFF}, false},
      {"SPINFO tag", sp_at + 10, {'X', 0}, false},
      {"SPINFO tag text too long", sp_at + 12, {'X', 0}, false},
      {"SPINFO length one too long", sp_at + 16, {BYTE(sp.size() + 1), 0, 0, 0}, false},
      {"fax book tag", fax_at + 12, {'3', 0}, false},
      {"fax book count too high", fax_at + 16, {4, 0}, false},
      {"fax book with one extra byte", 0, {}, true},
  };
  for (const Case& c : cases) {
    std::vector<BYTE> img = full;
    std::copy(c.bytes.begin(), c.bytes.end(), img.begin() + static_cast<std::ptrdiff_t>(c.offset));
    if (c.extra_byte) img.push_back(0);
    std::vector<BYTE> ext_out(kExtensionSize);
    BYTE* fax = nullptr;
    PrivateSectionOutputs out{ext_out.data(), &fax, nullptr, nullptr, nullptr, nullptr};
    EXPECT_FALSE(ParseDocPropImage(img.data(), DWORD(img.size()), out, printer, GetCurrentDevmodeExtension)) << c.what;
    EXPECT_EQ(fax, nullptr);
  }
  // The same bytes through a file and through the store's extension blob.
  std::vector<BYTE> img = full;
  img.push_back(0);
  write_file(root.file("drive_c/damaged.prop"), std::string(img.begin(), img.end()));
  Loaded l;
  EXPECT_FALSE(l.load(printer, handle, u"C:\\damaged.prop", 0));
  EXPECT_EQ(l.extension, std::vector<BYTE>(kExtensionSize, 0xEE));
  std::vector<BYTE> blob(full.begin(), full.begin() + 24 + kExtensionSize);
  blob.insert(blob.end(), book.begin(), book.end() - 1);
  ASSERT_TRUE(SavePrivateSettings(printer, handle, nullptr, 2, nullptr, 0, ext.data(), nullptr, 0, nullptr, 0));
  ASSERT_TRUE(WriteChunkedPrinterData(printer, blob.data(), DWORD(blob.size()), u"N_Dev", u"N_DevSize"));
  EXPECT_FALSE(l.load(printer, handle, nullptr, 2));
  EXPECT_TRUE(l.load(printer, handle, nullptr, 2, false)) << "the book is read only when asked for";
}

// An older NDEV001 section lies over the defaults; a newer one is refused.
TEST_F(PrivateBlobs, OlderExtensionOverDefaults) {
  std::vector<BYTE> defaults(kExtensionSize);
  ASSERT_TRUE(GetCurrentDevmodeExtension(printer, defaults.data()));
  EXPECT_EQ(load_le16(defaults.data()), kLayoutVersion);

  std::vector<BYTE> img = image(nullptr);
  // Version 21071 holding only the first 100 bytes.
  std::vector<BYTE> older(img.begin(), img.begin() + 24 + 100);
  store_le32(older.data() + 16, kLayoutVersion - 1);
  store_le32(older.data() + 20, 100);
  older.insert(older.end(), img.begin() + 24 + kExtensionSize, img.end());
  write_file(root.file("drive_c/older.prop"), std::string(older.begin(), older.end()));
  Loaded l;
  ASSERT_TRUE(l.load(printer, handle, u"C:\\older.prop", 0));
  EXPECT_EQ(load_le16(l.extension.data()), kLayoutVersion);
  EXPECT_EQ(0, std::memcmp(l.extension.data() + 2, ext.data() + 2, 98));
  EXPECT_EQ(0, std::memcmp(l.extension.data() + 100, defaults.data() + 100, kExtensionSize - 100));
  EXPECT_EQ(bytes_of(l.sp, l.sp_size), sp);

  // A longer section than the block: the block's bytes are taken, the rest
  // skipped.
  std::vector<BYTE> longer(img.begin(), img.begin() + 24 + kExtensionSize);
  store_le32(longer.data() + 20, kExtensionSize + 6);
  longer.insert(longer.end(), 6, 0xAB);
  longer.insert(longer.end(), img.begin() + 24 + kExtensionSize, img.end());
  write_file(root.file("drive_c/longer.prop"), std::string(longer.begin(), longer.end()));
  Loaded l2;
  ASSERT_TRUE(l2.load(printer, handle, u"C:\\longer.prop", 0));
  EXPECT_EQ(l2.extension, ext);
  EXPECT_EQ(bytes_of(l2.wpk, l2.wpk_size), wpk);

  // Without a database for the defaults an older section is refused.
  Loaded l3;
  EXPECT_FALSE(l3.load(nullptr, nullptr, u"C:\\older.prop", 0));
}

// An older "DFAX001" book in a file is converted; one that cannot be
// converted is dropped without failing the load.
TEST_F(PrivateBlobs, OlderFaxBookConverted) {
  std::vector<BYTE> img = image(nullptr);
  const std::vector<BYTE> old_book = fax_book(2, true);
  std::vector<BYTE> with_old = img;
  with_old.insert(with_old.end(), old_book.begin(), old_book.end());
  write_file(root.file("drive_c/old.prop"), std::string(with_old.begin(), with_old.end()));
  Loaded l;
  ASSERT_TRUE(l.load(printer, handle, u"C:\\old.prop", 0));
  ASSERT_NE(l.fax, nullptr);
  EXPECT_EQ(GlobalSize(l.fax), fax::kFaxBookHeaderSize + 2 * fax::kFaxEntrySize);
  EXPECT_TRUE(fax::FaxBook_HasTag(l.fax, fax::kTagDfax002));
  EXPECT_EQ(fax::FaxBook_GetCount(l.fax), 2);
  EXPECT_EQ(0, std::memcmp(l.fax + fax::kFaxBookHeaderSize + fax::kFaxEntrySize,
                           old_book.data() + fax::kFaxBookHeaderSize + fax::kFaxOldEntrySize, fax::kFaxOldEntrySize));

  with_old.push_back(0);  // one byte too many: not convertible
  write_file(root.file("drive_c/old.prop"), std::string(with_old.begin(), with_old.end()));
  Loaded dropped;
  ASSERT_TRUE(dropped.load(printer, handle, u"C:\\old.prop", 0));
  EXPECT_EQ(dropped.fax, nullptr);
  EXPECT_EQ(dropped.extension, ext);
}

TEST_F(PrivateBlobs, DocPropFileMustExist) {
  EXPECT_FALSE(WriteDocPropFile(u"C:\\missing.prop", nullptr, 0, ext.data(), kExtensionSize, nullptr, 0, nullptr, 0));
  EXPECT_EQ(GetFileAttributesW(u"C:\\missing.prop"), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(save(u"C:\\missing.prop", 0, nullptr));
  Loaded l;
  EXPECT_FALSE(l.load(printer, handle, u"C:\\missing.prop", 0));

  // An existing longer file is truncated to what is written.
  write_file(root.file("drive_c/old.prop"), std::string(20000, 'x'));
  ASSERT_TRUE(save(u"C:\\old.prop", 0, nullptr));
  EXPECT_EQ(read_file(root.file("drive_c/old.prop")).size(), 24 + kExtensionSize + 40 + wpk.size() + sp.size());
  EXPECT_FALSE(WriteDocPropFile(u"C:\\old.prop", nullptr, 0, ext.data(), kExtensionSize - 1, nullptr, 0, nullptr, 0));
}

// Failing writes are reported, wherever they strike: a save that answers
// TRUE under an armed fault must load back exactly what it saved.
TEST_F(PrivateBlobs, InjectedFaultsReported) {
  for (WORD kind : {kPrivateStorePrinterData, kPrivateStoreUserRegistry}) {
    int failed = 0;
    for (int skip = 0; skip < 16; ++skip) {
      ext = extension_block(100 + skip);  // new data each time, so stale data shows
      book = fax_book(WORD(skip % 4 + 1));
      platform::inject_store_fault(platform::StoreFault::disk_full, skip, 1);
      const BOOL saved = save(nullptr, kind, &book);
      platform::clear_store_faults();
      if (!saved) {
        ++failed;
        continue;
      }
      Loaded l;
      ASSERT_TRUE(l.load(printer, handle, nullptr, kind)) << "kind " << kind << " skip " << skip;
      expect_loaded(l, &book);
    }
    // Every write of the save (at least the three sizes and three blobs)
    // was struck once.
    EXPECT_GE(failed, 6) << "kind " << kind;
    EXPECT_FALSE(save(nullptr, 7, &book));
  }
  const std::u16string file = new_file();
  platform::inject_file_write_failure(ERROR_DISK_FULL, 0, 1);
  EXPECT_FALSE(save(file.c_str(), 0, &book));
  platform::inject_file_write_failure(ERROR_SUCCESS, 0, 0);
  Loaded l;
  EXPECT_FALSE(l.load(printer, handle, file.c_str(), 0)) << "the emptied file is refused";
}

// A load that runs out of memory hands nothing out (and leaks nothing).
TEST_F(PrivateBlobs, AllocationFailuresDuringLoad) {
  const std::u16string file = new_file();
  ASSERT_TRUE(save(file.c_str(), 0, &book));
  ASSERT_TRUE(save(nullptr, kPrivateStorePrinterData, &book));
  for (const char16_t* f : {file.c_str(), static_cast<const char16_t*>(nullptr)}) {
    int failures = 0;
    for (int skip = 0; skip < 10; ++skip) {
      platform::inject_allocation_failure(skip, 1);
      Loaded l;
      const BOOL ok = l.load(printer, handle, f, kPrivateStorePrinterData);
      platform::inject_allocation_failure(0, 0);
      if (ok) {
        expect_loaded(l, &book);
      } else {
        ++failures;
        EXPECT_TRUE(l.fax == nullptr && l.wpk == nullptr && l.sp == nullptr);
        EXPECT_EQ(l.extension, std::vector<BYTE>(kExtensionSize, 0xEE));
      }
    }
    EXPECT_GT(failures, 0);
  }
}

// The per-user store: under the printer's identity, with a size value that
// must agree.
TEST_F(PrivateBlobs, PerUserValues) {
  BYTE id[16];
  EXPECT_FALSE(ReadPrinterId(printer, id));
  Loaded none;
  EXPECT_FALSE(none.load(printer, handle, nullptr, kPrivateStoreUserRegistry)) << "no identity, nothing stored";
  ASSERT_TRUE(save(nullptr, kPrivateStoreUserRegistry, &book));
  ASSERT_TRUE(ReadPrinterId(printer, id)) << "the write made the identity";
  WCHAR hex[33];
  FormatPrinterIdHex(id, hex, 33);
  const std::u16string path = std::u16string(kUserBase) + hex;
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  DWORD type = 0, size = 0;
  ASSERT_EQ(RegQueryValueExW(key, u"N_Dev", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_BINARY);
  EXPECT_EQ(size, 24 + kExtensionSize + book.size());
  BYTE attributes[4];
  size = 4;
  ASSERT_EQ(RegQueryValueExW(key, nullptr, nullptr, &type, attributes, &size), ERROR_SUCCESS);
  EXPECT_TRUE(load_le32(attributes) & PRINTER_ATTRIBUTE_LOCAL);

  BYTE wrong[4];
  store_le32(wrong, 20 + DWORD(sp.size()) + 1);
  ASSERT_EQ(RegSetValueExW(key, u"SPInfoSize", 0, REG_DWORD, wrong, 4), ERROR_SUCCESS);
  Loaded l;
  EXPECT_FALSE(l.load(printer, handle, nullptr, kPrivateStoreUserRegistry)) << "size value disagrees";
  ASSERT_EQ(RegDeleteValueW(key, u"SPInfoSize"), ERROR_SUCCESS);
  EXPECT_FALSE(l.load(printer, handle, nullptr, kPrivateStoreUserRegistry)) << "size value missing";
  RegCloseKey(key);
}

// The printer's fax address book as chunked printer data.
TEST_F(PrivateBlobs, FaxSendList) {
  BYTE* data = nullptr;
  DWORD size = 0;
  EXPECT_FALSE(ReadFaxSendList(printer, &data, &size));
  const std::vector<BYTE> big = fax_book(40);
  ASSERT_TRUE(WriteFaxSendList(printer, big.data(), DWORD(big.size())));
  ASSERT_TRUE(ReadFaxSendList(printer, &data, &size));
  EXPECT_EQ(bytes_of(data, size), big);
  GlobalFree(data);
  EXPECT_EQ(load_le32(value(u"FaxSendListSize").data()), big.size());
  EXPECT_FALSE(WriteFaxSendList(nullptr, big.data(), DWORD(big.size())));
  EXPECT_FALSE(WriteFaxSendList(printer, nullptr, 10));
}

// Chunk boundaries, stale chunks and damaged chunks of the printer data.
TEST_F(PrivateBlobs, ChunkedPrinterData) {
  struct Case {
    DWORD size;
    DWORD chunks;
    DWORD last;
  } cases[] = {{0, 0, 0}, {1, 1, 1}, {768, 1, 768}, {769, 2, 1}, {7972, 11, 292}, {76032, 99, 768}};
  for (const Case& c : cases) {
    const std::vector<BYTE> blob = pattern(c.size, c.size);
    ASSERT_TRUE(WriteChunkedPrinterData(printer, blob.data(), c.size, u"Blob", u"BlobSize")) << c.size;
    if (c.chunks) {
      EXPECT_EQ(value(ChunkValueName(u"Blob", c.chunks)).size(), c.last);
    }
    BYTE* data = nullptr;
    DWORD size = 99;
    ASSERT_TRUE(ReadChunkedPrinterData(printer, &data, &size, u"Blob", u"BlobSize")) << c.size;
    EXPECT_EQ(bytes_of(data, size), blob);
    GlobalFree(data);
  }
  // Chunk 99 of the largest blob stays; the size value decides.
  EXPECT_EQ(value(u"Blob99").size(), 768u);
  const std::vector<BYTE> over = pattern(76033);
  ASSERT_TRUE(WriteChunkedPrinterData(printer, over.data(), 1, u"Blob", u"BlobSize"));
  EXPECT_FALSE(WriteChunkedPrinterData(printer, over.data(), 76033, u"Blob", u"BlobSize"));
  EXPECT_EQ(load_le32(value(u"BlobSize").data()), 1u) << "a refused blob writes nothing";

  // Damage: a short chunk, a missing chunk, a size of the wrong type, a
  // size beyond 99 chunks.
  const std::vector<BYTE> blob = pattern(1000);
  auto read = [&] {
    BYTE* data = nullptr;
    DWORD size = 0;
    const BOOL ok = ReadChunkedPrinterData(printer, &data, &size, u"Blob", u"BlobSize");
    EXPECT_EQ(ok == FALSE, data == nullptr);
    if (data) GlobalFree(data);
    return ok;
  };
  ASSERT_TRUE(WriteChunkedPrinterData(printer, blob.data(), 1000, u"Blob", u"BlobSize"));
  set_value(u"Blob2", REG_BINARY, pattern(231));
  EXPECT_FALSE(read()) << "chunk 2 one byte short";
  set_value(u"Blob2", REG_BINARY, pattern(233));
  EXPECT_FALSE(read()) << "chunk 2 one byte long";
  set_value(u"Blob2", REG_SZ, pattern(232));
  EXPECT_FALSE(read()) << "chunk 2 of another type";
  set_value(u"Blob2", REG_BINARY, pattern(232));
  EXPECT_TRUE(read());
  ASSERT_EQ(DeletePrinterDataW(printer, const_cast<LPWSTR>(u"Blob2")), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_FALSE(read()) << "chunk 2 missing";
  set_value(u"BlobSize", REG_BINARY, {1, 0, 0, 0});
  EXPECT_FALSE(read()) << "size of another type";
  set_value(u"BlobSize", REG_DWORD, {0x01, 0x29, 0x01, 0x00});  // 76033
  EXPECT_FALSE(read()) << "size beyond 99 chunks";
  // Sizes near 4 GiB must not wrap the chunk count back under the limit.
  for (DWORD huge : {0xFFFFFFFFu, 0xFFFFFFF0u, 0xFFFFFD01u}) {
    set_value(u"BlobSize", REG_DWORD, {BYTE(huge), BYTE(huge >> 8), BYTE(huge >> 16), BYTE(huge >> 24)});
    EXPECT_FALSE(read()) << huge;
    EXPECT_GT(ChunkCount(huge), kPrinterDataMaxChunks) << huge;
  }
}

}  // namespace
}  // namespace morva::test
