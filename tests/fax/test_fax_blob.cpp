// Reading the header and entries of direct-fax blobs of known size.
#include <gtest/gtest.h>

#include <vector>

#include "fax/fax_blob.h"
#include "win/endian.h"

using namespace morva::fax;

namespace {

std::vector<BYTE> make_book(const char16_t (&tag)[8], WORD count, DWORD entrySize, DWORD extra = 0) {
  std::vector<BYTE> b(kFaxBookHeaderSize + count * entrySize + extra);
  FaxBook_WriteTag(b.data(), tag);
  FaxBook_SetCount(b.data(), count);
  for (WORD i = 0; i < count; ++i) b[kFaxBookHeaderSize + i * entrySize] = static_cast<BYTE>(i + 1);
  return b;
}

TEST(FaxBlob, ParsesBothTagsAndReadsEntries) {
  auto book = make_book(kTagDfax002, 3, kFaxEntrySize);
  FaxBookView view;
  ASSERT_TRUE(FaxBook_Parse(book.data(), book.size(), &view));
  EXPECT_EQ(view.kind, FaxBookKind::kDfax002);
  EXPECT_EQ(view.count, 3);
  EXPECT_EQ(view.size, kFaxBookHeaderSize + 3 * kFaxEntrySize);
  std::vector<BYTE> entry(kFaxEntrySize), header(kFaxBookHeaderSize);
  ASSERT_EQ(GetFaxSendListEntry(view, 2, entry.data()), 1);
  EXPECT_EQ(entry[0], 3);
  EXPECT_EQ(GetFaxSendListEntry(view, 3, entry.data()), 0);
  ASSERT_EQ(CopyFaxSendListHeader(view, header.data()), 1);
  EXPECT_EQ(morva::load_le16(header.data() + 16), 3);

  auto old = make_book(kTagDfax001, 2, kFaxOldEntrySize);
  ASSERT_TRUE(FaxBook_Parse(old.data(), old.size(), &view));
  EXPECT_EQ(view.kind, FaxBookKind::kDfax001);
  EXPECT_EQ(view.entrySize, kFaxOldEntrySize);
}

TEST(FaxBlob, RefusesWhatDoesNotFitOrIsNotABook) {
  FaxBookView view;
  auto book = make_book(kTagDfax002, 2, kFaxEntrySize);
  EXPECT_FALSE(FaxBook_Parse(book.data(), book.size() - 1, &view));  // count claims more than there is
  EXPECT_EQ(view.kind, FaxBookKind::kNone);
  EXPECT_FALSE(FaxBook_Parse(book.data(), kFaxBookHeaderSize - 1, &view));
  EXPECT_FALSE(FaxBook_Parse(nullptr, 5000, &view));
  FaxBook_WriteTag(book.data(), u"DFAX003");
  EXPECT_FALSE(FaxBook_Parse(book.data(), book.size(), &view));
  EXPECT_EQ(GetFaxSendListEntry(view, 0, book.data()), 0);
}

TEST(FaxBlob, HeaderTextsStayInsideTheirFields) {
  auto book = make_book(kTagDfax002, 0, kFaxEntrySize);
  for (DWORD i = kFaxText1Offset; i < kFaxBookHeaderSize; ++i) book[i] = 'x';
  EXPECT_EQ(FaxBook_TextLength(book.data(), kFaxText1Offset, kFaxText1Bytes), 41u);
  EXPECT_EQ(FaxBook_TextLength(book.data(), kFaxText2Offset, kFaxText2Bytes), 671u);
}

}  // namespace
