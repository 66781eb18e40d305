// The document-property file and the one-time fax address file of the DMA_
// interface: written from section images, split back, damaged files
// refused without reading past them, write failures reported.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "ddm/ddmid.h"
#include "ddm/dma.h"
#include "ddm/dma_tables.h"
#include "fax/fax_blob.h"
#include "temp_root.h"
#include "win/endian.h"
#include "win/errors.h"
#include "win/files.h"

using namespace morva::ddm;
using Bytes = std::vector<BYTE>;

namespace {

constexpr WORD kDocPropNameId = 0x176;   // DDMID 374
constexpr WORD kOneTimeNameId = 0x177;   // DDMID 375

void put_tag(BYTE* at, const char16_t* tag) {
  std::memset(at, 0, 16);
  for (int i = 0; tag[i] != 0; ++i) morva::store_le16(at + 2 * i, tag[i]);
}

Bytes ndev_section(DWORD length, DWORD version = kLayoutVersion) {
  Bytes b(24 + length);
  put_tag(b.data(), u"NDEV001");
  morva::store_le32(b.data() + 16, version);
  morva::store_le32(b.data() + 20, length);
  for (DWORD i = 0; i < length; ++i) b[24 + i] = static_cast<BYTE>(i * 7);
  return b;
}

Bytes data_section(const char16_t* tag, DWORD length) {
  Bytes b(20 + length);
  put_tag(b.data(), tag);
  morva::store_le32(b.data() + 16, length);
  for (DWORD i = 0; i < length; ++i) b[20 + i] = static_cast<BYTE>(0xA0 + i);
  return b;
}

Bytes fax_book(const char16_t* tag, WORD count, DWORD entrySize) {
  Bytes b(1442 + std::size_t{count} * entrySize);
  put_tag(b.data(), tag);
  morva::store_le16(b.data() + 16, count);
  morva::store_le16(b.data() + 18, u'H');
  for (std::size_t i = 1442; i < b.size(); ++i) b[i] = static_cast<BYTE>(i);
  return b;
}

Bytes join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// Buffers the caller hands to the split, each `capacity` bytes of 0xEE.
struct Buffers {
  explicit Buffers(DWORD capacity) : ndev(capacity, 0xEE), wpk(capacity, 0xEE), fax(capacity, 0xEE), sp(capacity, 0xEE) {
    s = DmaSections{ndev.data(), capacity, wpk.data(), capacity, fax.data(), capacity, sp.data(), capacity};
  }
  Bytes ndev, wpk, fax, sp;
  DmaSections s;
};

bool starts_with(const Bytes& buffer, const Bytes& image) {
  return buffer.size() >= image.size() && std::equal(image.begin(), image.end(), buffer.begin());
}

class DocPropFile : public ::testing::Test {
 protected:
  morva::test::TempRoot root;
  Bytes dm = Bytes(kPrivateDevmodeSize);
  Bytes pd = Bytes(kPrinterDataSize);
  std::unique_ptr<DMA_CONTEXT> ctx = std::make_unique<DMA_CONTEXT>();
  Bytes ndev = ndev_section(kExtensionSize);
  Bytes wpk = data_section(u"WPKINFO", 5);
  Bytes sp = data_section(u"SPINFO", 0);
  Bytes book = fax_book(u"DFAX002", 2, 820);

  void SetUp() override {
    ctx->devmode = dm.data();
    ctx->printerData = pd.data();
    std::filesystem::create_directories(root.file("drive_c"));
  }
  void name_file(WORD id, const char* name) {
    ASSERT_EQ(DMA_SetStringData(ctx.get(), id, name, static_cast<DWORD>(std::strlen(name))), DMA_OK);
  }
  DmaSections images() { return DmaSections{ndev.data(), static_cast<DWORD>(ndev.size()), wpk.data(),
                                            static_cast<DWORD>(wpk.size()), book.data(),
                                            static_cast<DWORD>(book.size()), sp.data(),
                                            static_cast<DWORD>(sp.size())}; }
  Bytes native(const std::string& relative) {
    const std::string s = morva::test::read_file(root.file(relative));
    return Bytes(s.begin(), s.end());
  }
  void put_native(const std::string& relative, const Bytes& b) {
    morva::test::write_file(root.file(relative), std::string(b.begin(), b.end()));
  }
};

TEST_F(DocPropFile, WrittenAndSplitBack) {
  name_file(kDocPropNameId, "C:\\props.bin");
  const DmaSections in = images();
  ASSERT_EQ(DMA_ExtractDocPropEx(ctx.get(), &in), DMA_OK);
  EXPECT_EQ(native("drive_c/props.bin"), join({ndev, wpk, sp, book}));

  Buffers out(6000);
  ASSERT_EQ(DMA_ReplaceDocProp(ctx.get(), &out.s), DMA_OK);
  EXPECT_TRUE(starts_with(out.ndev, ndev));
  EXPECT_TRUE(starts_with(out.wpk, wpk));
  EXPECT_TRUE(starts_with(out.sp, sp));
  EXPECT_TRUE(starts_with(out.fax, book));
  EXPECT_EQ(out.s.ndevSize, ndev.size());
  EXPECT_EQ(out.s.wpkSize, wpk.size());
  EXPECT_EQ(out.s.spSize, sp.size());
  EXPECT_EQ(out.s.faxSize, book.size());

  // The argument form writes the same file; a section without size is left
  // out, and an existing file is replaced.
  ASSERT_EQ(DMA_ExtractDocProp(ctx.get(), ndev.data(), static_cast<DWORD>(ndev.size()), wpk.data(),
                               static_cast<DWORD>(wpk.size()), book.data(), 0, sp.data(),
                               static_cast<DWORD>(sp.size())),
            DMA_OK);
  EXPECT_EQ(native("drive_c/props.bin"), join({ndev, wpk, sp}));
  Buffers again(6000);
  ASSERT_EQ(DMA_ReplaceDocProp(ctx.get(), &again.s), DMA_OK);
  EXPECT_EQ(again.s.faxSize, 0u);
  EXPECT_EQ(again.fax, Bytes(6000, 0xEE));
}

TEST_F(DocPropFile, NullBuffersAskForTheSizes) {
  name_file(kDocPropNameId, "C:\\props.bin");
  put_native("drive_c/props.bin", join({ndev, wpk, sp, book}));
  DmaSections sizes{};
  EXPECT_EQ(DMA_ReplaceDocProp(ctx.get(), &sizes), DMA_ERR_BUFFER);
  EXPECT_EQ(sizes.ndevSize, ndev.size());
  EXPECT_EQ(sizes.wpkSize, wpk.size());
  EXPECT_EQ(sizes.faxSize, book.size());
  EXPECT_EQ(sizes.spSize, sp.size());
  // One buffer a byte short is enough to refuse, and nothing is copied.
  Buffers out(6000);
  out.s.faxSize = static_cast<DWORD>(book.size() - 1);
  EXPECT_EQ(DMA_ReplaceDocProp(ctx.get(), &out.s), DMA_ERR_BUFFER);
  EXPECT_EQ(out.s.faxSize, book.size());
  EXPECT_EQ(out.ndev, Bytes(6000, 0xEE));
}

TEST_F(DocPropFile, EmptyNameTouchesNoFile) {
  const DmaSections in = images();
  EXPECT_EQ(DMA_ExtractDocPropEx(ctx.get(), &in), DMA_OK);
  EXPECT_EQ(DMA_ExtractOneTimeEx(ctx.get(), &in), DMA_OK);
  Buffers out(16);
  EXPECT_EQ(DMA_ReplaceDocProp(ctx.get(), &out.s), DMA_OK);
  EXPECT_EQ(out.ndev, Bytes(16, 0xEE));
  EXPECT_TRUE(std::filesystem::is_empty(root.file("drive_c")));
}

TEST_F(DocPropFile, ArgumentChecks) {
  DmaSections in = images();
  EXPECT_EQ(DMA_ExtractDocPropEx(nullptr, &in), DMA_ERR_FAILED);
  EXPECT_EQ(DMA_ExtractDocPropEx(ctx.get(), nullptr), DMA_ERR_FAILED);
  EXPECT_EQ(DMA_ReplaceDocProp(ctx.get(), nullptr), DMA_ERR_FAILED);
  EXPECT_EQ(DMA_ExtractOneTimeEx(ctx.get(), nullptr), DMA_ERR_FAILED);
  for (BYTE* DmaSections::*field : {&DmaSections::ndev, &DmaSections::wpk, &DmaSections::sp}) {
    DmaSections missing = images();
    missing.*field = nullptr;
    EXPECT_EQ(DMA_ExtractDocPropEx(ctx.get(), &missing), DMA_ERR_FAILED);
  }
  in.fax = nullptr;
  EXPECT_EQ(DMA_ExtractDocPropEx(ctx.get(), &in), DMA_OK);  // the fax book is optional here
  EXPECT_EQ(DMA_ExtractOneTimeEx(ctx.get(), &in), DMA_ERR_FAILED);
  // Without the DEVMODE the file names cannot be read.
  ctx->devmode = nullptr;
  in = images();
  EXPECT_EQ(DMA_ExtractDocPropEx(ctx.get(), &in), DMA_ERR_FAILED);
  EXPECT_EQ(DMA_ExtractOneTimeEx(ctx.get(), &in), DMA_ERR_FAILED);
  Buffers out(16);
  EXPECT_EQ(DMA_ReplaceDocProp(ctx.get(), &out.s), DMA_ERR_FAILED);
}

TEST_F(DocPropFile, OneTimeFileHoldsTheFaxBookOnly) {
  name_file(kOneTimeNameId, "C:\\once.tmp");
  const DmaSections in = images();
  ASSERT_EQ(DMA_ExtractOneTime(ctx.get(), ndev.data(), static_cast<DWORD>(ndev.size()), wpk.data(),
                               static_cast<DWORD>(wpk.size()), book.data(), static_cast<DWORD>(book.size()),
                               sp.data(), static_cast<DWORD>(sp.size())),
            DMA_OK);
  EXPECT_EQ(native("drive_c/once.tmp"), book);
  // A book of size 0 leaves an empty file.
  DmaSections empty = in;
  empty.faxSize = 0;
  ASSERT_EQ(DMA_ExtractOneTimeEx(ctx.get(), &empty), DMA_OK);
  EXPECT_TRUE(std::filesystem::exists(root.file("drive_c/once.tmp")));
  EXPECT_TRUE(native("drive_c/once.tmp").empty());
}

TEST_F(DocPropFile, OpenAndWriteFailures) {
  const DmaSections in = images();
  name_file(kDocPropNameId, "C:\\missing\\props.bin");
  name_file(kOneTimeNameId, "C:\\missing\\once.tmp");
  EXPECT_EQ(DMA_ExtractDocPropEx(ctx.get(), &in), DMA_ERR_FILE_OPEN);
  EXPECT_EQ(DMA_ExtractOneTimeEx(ctx.get(), &in), DMA_ERR_ONE_TIME_OPEN);
  Buffers out(6000);
  EXPECT_EQ(DMA_ReplaceDocProp(ctx.get(), &out.s), DMA_ERR_FILE_OPEN);

  // A write that fails midway leaves no truncated file behind.
  name_file(kDocPropNameId, "C:\\props.bin");
  name_file(kOneTimeNameId, "C:\\once.tmp");
  morva::platform::inject_file_write_failure(ERROR_DISK_FULL, 2, 1);
  EXPECT_EQ(DMA_ExtractDocPropEx(ctx.get(), &in), DMA_ERR_FILE_WRITE);
  EXPECT_FALSE(std::filesystem::exists(root.file("drive_c/props.bin")));
  morva::platform::inject_file_write_failure(ERROR_DISK_FULL, 0, 1);
  EXPECT_EQ(DMA_ExtractOneTimeEx(ctx.get(), &in), DMA_ERR_ONE_TIME_WRITE);
  EXPECT_FALSE(std::filesystem::exists(root.file("drive_c/once.tmp")));
  // The failure was used up: the next writes succeed.
  EXPECT_EQ(DMA_ExtractDocPropEx(ctx.get(), &in), DMA_OK);
  EXPECT_EQ(DMA_ExtractOneTimeEx(ctx.get(), &in), DMA_OK);
}

// The split on its own, over images of exactly their size (a read past one
// is caught by the address sanitizer).
struct SplitCase {
  const char* what;
  Bytes image;
  LONG result;
};

TEST(DocPropSplit, DamagedFilesRefused) {
  const Bytes n = ndev_section(8), w = data_section(u"WPKINFO", 4), s = data_section(u"SPINFO", 2);
  Bytes badTag = n;
  put_tag(badTag.data(), u"NDEV002");
  Bytes longNdev = n;
  morva::store_le32(longNdev.data() + 20, 9);
  Bytes hugeNdev = n;
  morva::store_le32(hugeNdev.data() + 20, 0xFFFFFFF0u);
  Bytes longSp = s;
  morva::store_le32(longSp.data() + 16, 3);
  Bytes bigCount = fax_book(u"DFAX002", 1, 820);
  morva::store_le16(bigCount.data() + 16, 2);
  const SplitCase cases[] = {
      {"NDEV001 tag", join({badTag, w, s}), DMA_ERR_FILE_FORMAT},
      {"NDEV001 version 21071", join({ndev_section(8, kLayoutVersion - 1), w, s}), DMA_ERR_FILE_FORMAT},
      {"NDEV001 version 21073", join({ndev_section(8, kLayoutVersion + 1), w, s}), DMA_ERR_FILE_FORMAT},
      {"NDEV001 past the end", longNdev, DMA_ERR_FILE_FORMAT},
      {"NDEV001 length wraps", hugeNdev, DMA_ERR_FILE_FORMAT},
      {"sections out of order", join({n, s, w}), DMA_ERR_FILE_FORMAT},
      {"SPINFO past the end", join({n, w, longSp}), DMA_ERR_FILE_FORMAT},
      {"fax book of another tag", join({n, w, s, fax_book(u"DFAX003", 0, 820)}), DMA_ERR_FILE_FORMAT},
      {"fax book shorter than its count", join({n, w, s, bigCount}), DMA_ERR_FILE_FORMAT},
      {"ten bytes", Bytes(10, 0x33), DMA_OK},
      {"no file at all", Bytes(), DMA_OK},
      {"three sections", join({n, w, s}), DMA_OK},
      {"a short tail is ignored", join({n, w, s, Bytes(19, 1)}), DMA_OK},
      {"only NDEV001 and a short tail", join({n, Bytes(12, 1)}), DMA_OK},
      {"fax book with bytes after it", join({n, w, s, fax_book(u"DFAX002", 1, 820), Bytes(3, 9)}), DMA_OK},
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(c.what);
    Buffers out(4000);
    auto image = std::make_unique<BYTE[]>(c.image.size());
    if (!c.image.empty()) std::memcpy(image.get(), c.image.data(), c.image.size());
    const BYTE* data = c.image.empty() ? nullptr : image.get();
    EXPECT_EQ(dma_SplitDocPropFile(data, static_cast<DWORD>(c.image.size()), &out.s), c.result);
    if (c.result != DMA_OK) {
      EXPECT_EQ(out.ndev, Bytes(4000, 0xEE));
    }
  }
  // Ten bytes split into empty sections.
  Buffers out(16);
  const Bytes ten(10, 0x33);
  ASSERT_EQ(dma_SplitDocPropFile(ten.data(), 10, &out.s), DMA_OK);
  EXPECT_EQ(out.s.ndevSize + out.s.wpkSize + out.s.spSize + out.s.faxSize, 0u);
  // ... but still need the three section buffers.
  DmaSections none{};
  EXPECT_EQ(dma_SplitDocPropFile(ten.data(), 10, &none), DMA_ERR_BUFFER);
}

TEST(DocPropSplit, OlderFaxBookConverted) {
  const Bytes n = ndev_section(8), w = data_section(u"WPKINFO", 0), s = data_section(u"SPINFO", 0);
  const Bytes old = fax_book(u"DFAX001", 2, 768);
  Buffers out(4000);
  ASSERT_EQ(dma_SplitDocPropFile(join({n, w, s, old}).data(), static_cast<DWORD>(n.size() + w.size() + s.size() + old.size()),
                                 &out.s),
            DMA_OK);
  ASSERT_EQ(out.s.faxSize, 1442u + 2 * 820);
  EXPECT_TRUE(morva::fax::FaxBook_HasTag(out.fax.data(), morva::fax::kTagDfax002));
  EXPECT_EQ(morva::load_le16(out.fax.data() + 16), 2);
  EXPECT_EQ(0, std::memcmp(out.fax.data() + 1442 + 820, old.data() + 1442 + 768, 768));
  // The converted entry carries its 16-byte value as Base64 text too.
  EXPECT_NE(morva::load_le16(out.fax.data() + 1442 + 768), 0);

  // The book needs the converted size, even though the file holds less.
  Buffers small(3000);
  const Bytes file = join({n, w, s, old});
  EXPECT_EQ(dma_SplitDocPropFile(file.data(), static_cast<DWORD>(file.size()), &small.s), DMA_ERR_BUFFER);
  EXPECT_EQ(small.s.faxSize, 1442u + 2 * 820);

  // An old book that does not end the file is not converted; the split
  // still succeeds and leaves the fax buffer alone.
  Buffers kept(4000);
  const Bytes longer = join({n, w, s, old, Bytes(1, 0)});
  ASSERT_EQ(dma_SplitDocPropFile(longer.data(), static_cast<DWORD>(longer.size()), &kept.s), DMA_OK);
  EXPECT_EQ(kept.s.faxSize, 0u);
  EXPECT_EQ(kept.fax, Bytes(4000, 0xEE));
  EXPECT_EQ(kept.s.ndevSize, n.size());
}

}  // namespace
