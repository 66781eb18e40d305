// The private escape protocol: its table, the payload layouts and their
// readers and writers.
#include "pi/private_escapes.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "win/endian.h"

namespace morva::pi {
namespace {

using morva::load_le16;
using morva::load_le32;
using morva::store_le16;
using morva::store_le32;

constexpr EscapePayload kNoPayload{EscapeSize::kNone, 0};
constexpr EscapePayload exactly(DWORD n) { return {EscapeSize::kExactly, n}; }
constexpr EscapePayload fixed(DWORD n) { return {EscapeSize::kFixed, n}; }
constexpr EscapePayload at_least(DWORD n) { return {EscapeSize::kAtLeast, n}; }
constexpr EscapePayload sender_sized() { return {EscapeSize::kSenderSized, 0}; }

// ---- layouts ---------------------------------------------------------------
// Byte offsets of every field; each record's fields tile it exactly.

namespace page_draw_info {
constexpr DWORD kSheetStamp = 0, kPageStamp = 4, kHeader = 8, kRects = 12;
static_assert(kRects + 8 * 4 == kPageDrawInfoSize);
}  // namespace page_draw_info

namespace page_paper {
constexpr DWORD kPaperId = 0, kMargins = 2;
static_assert(kMargins + 4 * 2 == kPagePaperRecordSize);
}  // namespace page_paper

namespace dc_paper {
constexpr DWORD kPaperSize = 0, kPaperId = 2, kMargins = 4;
static_assert(kMargins + 4 * 2 == kDcPaperRecordSize);
}  // namespace dc_paper

namespace job_block {
constexpr DWORD kProtocol = 0, kImageMode = 4, kSubMode = 8, kPad = 10;
static_assert(kPad + 2 == kJobBlockSize);
}  // namespace job_block

namespace sealmark_setup {
constexpr DWORD kComputer = 0, kComputerChars = 261;
constexpr DWORD kDocument = 522, kDocumentChars = 277, kDocumentUsed = 260;
constexpr DWORD kUser = 1076, kUserChars = 257;
constexpr DWORD kPrinter = 1590, kPrinterChars = 261;
static_assert(kComputer + 2 * kComputerChars == kDocument);
static_assert(kDocument + 2 * kDocumentChars == kUser);
static_assert(kUser + 2 * kUserChars == kPrinter);
static_assert(kPrinter + 2 * kPrinterChars == kSealmarkSetupSize);
}  // namespace sealmark_setup

namespace copy_job_id {
constexpr DWORD kCopy = 0, kJobId = 4;
static_assert(kJobId + kCopyJobIdBytes == kCopyJobIdRecordSize);
}  // namespace copy_job_id

namespace header_info {
constexpr DWORD kAnyOn = 0, kPositions = 4;
constexpr DWORD kUser = 16, kUserChars = 64;
constexpr DWORD kOwner = 144, kOwnerChars = 32;
constexpr DWORD kDocument = 208, kDocumentChars = 261;
constexpr DWORD kNumber = 730;
constexpr DWORD kDate = 732, kDateChars = 11;
constexpr DWORD kTime = 754, kTimeChars = 7;
static_assert(kPositions + 6 * 2 == kUser);
static_assert(kUser + 2 * kUserChars == kOwner);
static_assert(kOwner + 2 * kOwnerChars == kDocument);
static_assert(kDocument + 2 * kDocumentChars == kNumber);
static_assert(kNumber + 2 == kDate);
static_assert(kDate + 2 * kDateChars == kTime);
static_assert(kTime + 2 * kTimeChars == kPrintHeaderInfoSize);
}  // namespace header_info

namespace pjl_set {
constexpr DWORD kCount = 0, kBlockSize = 4, kBlocksRef = 8, kTableRef = 12, kBlocks = 16;
static_assert(kBlocks == kPjlHeaderSetHeadSize);
}  // namespace pjl_set

namespace stamp_offset {
constexpr DWORD kX = 0, kY = 4;
static_assert(kY + 4 == kStampOffsetSize);
}  // namespace stamp_offset

namespace sealmark_counts {
constexpr DWORD kActive = 0, kOutputs = 4;
static_assert(kOutputs + 4 == kSealmarkCountsSize);
}  // namespace sealmark_counts

// ---- text fields -----------------------------------------------------------

// Writes at most `used` characters and zero-fills the field of `chars`.
void put_text(BYTE* field, DWORD chars, DWORD used, const std::u16string& text) {
  std::memset(field, 0, 2 * static_cast<std::size_t>(chars));
  const std::size_t n = std::min<std::size_t>({text.size(), used, chars - 1});
  for (std::size_t i = 0; i < n && text[i] != 0; ++i) store_le16(field + 2 * i, text[i]);
}

// Reads up to the terminator, never more than `chars` characters.
std::u16string get_text(const BYTE* field, DWORD chars) {
  std::u16string text;
  for (DWORD i = 0; i < chars; ++i) {
    const char16_t c = load_le16(field + 2 * i);
    if (c == 0) break;
    text.push_back(c);
  }
  return text;
}

float load_float(const BYTE* p) {
  const std::uint32_t bits = load_le32(p);
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

void store_float(BYTE* p, float f) {
  std::uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  store_le32(p, bits);
}

}  // namespace

// ---- the table -----------------------------------------------------------------

namespace {

constexpr PrivateEscapeInfo kPrivateEscapes[] = {
    {DRVESC_GET_PAGE_INFO, "DRVESC_GET_PAGE_INFO", EscapeDirection::kExchange, fixed(4), exactly(kPageDrawInfoSize)},
    {DRVESC_GET_DEVMODE, "DRVESC_GET_DEVMODE", EscapeDirection::kQuery, kNoPayload, exactly(kDriverDevmodeSize)},
    {DRVESC_STAMP_DRAW_MODE, "DRVESC_STAMP_DRAW_MODE", EscapeDirection::kExchange, fixed(4), fixed(4)},
    {DRVESC_STAMP_OFFSET, "DRVESC_STAMP_OFFSET", EscapeDirection::kPush, fixed(kStampOffsetSize), kNoPayload},
    {DRVESC_SET_DEVMODE, "DRVESC_SET_DEVMODE", EscapeDirection::kPush, exactly(kDriverDevmodeSize), kNoPayload},
    {DRVESC_GET_HEADER_INFO, "DRVESC_GET_HEADER_INFO", EscapeDirection::kQuery, kNoPayload,
     exactly(kPrintHeaderInfoSize)},
    {DRVESC_SET_HEADER_INFO, "DRVESC_SET_HEADER_INFO", EscapeDirection::kPush, exactly(kPrintHeaderInfoSize),
     kNoPayload},
    {DRVESC_HEADER_DRAW_MODE, "DRVESC_HEADER_DRAW_MODE", EscapeDirection::kExchange, fixed(4), fixed(4)},
    {DRVESC_QUERY_FAX_JOB, "DRVESC_QUERY_FAX_JOB", EscapeDirection::kQuery, kNoPayload, at_least(4)},
    {DRVESC_SET_SETTINGS_BLOCK, "DRVESC_SET_SETTINGS_BLOCK", EscapeDirection::kPush, exactly(kSettingsBlockSize),
     kNoPayload},
    {DRVESC_GET_SETTINGS_BLOCK, "DRVESC_GET_SETTINGS_BLOCK", EscapeDirection::kQuery, kNoPayload,
     exactly(kSettingsBlockSize)},
    {DRVESC_GET_HEADER_WORD, "DRVESC_GET_HEADER_WORD", EscapeDirection::kQuery, kNoPayload, fixed(4)},
    {DRVESC_SET_PAGE_PAPER, "DRVESC_SET_PAGE_PAPER", EscapeDirection::kPush, exactly(kPagePaperRecordSize),
     kNoPayload},
    {DRVESC_ANNOUNCE_DOCUMENT, "DRVESC_ANNOUNCE_DOCUMENT", EscapeDirection::kPush, fixed(4), kNoPayload},
    {DRVESC_TRANSFER_MARK, "DRVESC_TRANSFER_MARK", EscapeDirection::kPush, fixed(2), kNoPayload},
    {DRVESC_SET_DOC_NAME, "DRVESC_SET_DOC_NAME", EscapeDirection::kPush, fixed(kDocNameSize), kNoPayload},
    {DRVESC_SET_FAX_ADDRESS_DATA, "DRVESC_SET_FAX_ADDRESS_DATA", EscapeDirection::kPush, sender_sized(),
     kNoPayload},
    {DRVESC_SET_PJL_HEADERS, "DRVESC_SET_PJL_HEADERS", EscapeDirection::kPush, at_least(kPjlHeaderSetHeadSize),
     kNoPayload},
    {DRVESC_GET_JOB_BLOCK, "DRVESC_GET_JOB_BLOCK", EscapeDirection::kQuery, kNoPayload, exactly(kJobBlockSize)},
    {DRVESC_SET_JOB_BLOCK, "DRVESC_SET_JOB_BLOCK", EscapeDirection::kPush, exactly(kJobBlockSize), kNoPayload},
    {DRVESC_QUERY_FIRST_START, "DRVESC_QUERY_FIRST_START", EscapeDirection::kQuery, kNoPayload, exactly(4)},
    {DRVESC_SET_WARNING_CONFIRMED, "DRVESC_SET_WARNING_CONFIRMED", EscapeDirection::kPush, exactly(4),
     kNoPayload},
    {DRVESC_SET_SEALMARK_SETUP, "DRVESC_SET_SEALMARK_SETUP", EscapeDirection::kPush, exactly(kSealmarkSetupSize),
     kNoPayload},
    {DRVESC_SET_SEALMARK_SETTINGS, "DRVESC_SET_SEALMARK_SETTINGS", EscapeDirection::kPush, sender_sized(),
     kNoPayload},
    // The output is 4 bytes for the size query and the reported size for
    // the data (AnswerSealmarkDataRequest).
    {DRVESC_GET_SEALMARK_DATA, "DRVESC_GET_SEALMARK_DATA", EscapeDirection::kExchange, exactly(2),
     sender_sized()},
    {DRVESC_SET_COPY_JOB_IDS, "DRVESC_SET_COPY_JOB_IDS", EscapeDirection::kPush,
     {EscapeSize::kMultipleOf, kCopyJobIdRecordSize}, kNoPayload},
    {DRVESC_SET_SEALMARK_COUNTS, "DRVESC_SET_SEALMARK_COUNTS", EscapeDirection::kPush,
     exactly(kSealmarkCountsSize), kNoPayload},
    {DRVESC_SET_SEALMARK_EXTRA, "DRVESC_SET_SEALMARK_EXTRA", EscapeDirection::kPush, sender_sized(), kNoPayload},
    {DRVESC_SET_SPINFO, "DRVESC_SET_SPINFO", EscapeDirection::kPush, sender_sized(), kNoPayload},
    {DRVESC_GET_JOB_ID, "DRVESC_GET_JOB_ID", EscapeDirection::kQuery, kNoPayload, fixed(4)},
    {DRVESC_ADDED_PAGE_MARK, "DRVESC_ADDED_PAGE_MARK", EscapeDirection::kPush, fixed(4), kNoPayload},
    {DRVESC_SET_PAPER_FAMILY, "DRVESC_SET_PAPER_FAMILY", EscapeDirection::kPush, fixed(2), kNoPayload},
};

constexpr bool table_in_code_order() {
  for (std::size_t i = 1; i < std::size(kPrivateEscapes); ++i) {
    if (kPrivateEscapes[i - 1].code >= kPrivateEscapes[i].code) return false;
  }
  return true;
}
static_assert(table_in_code_order());

bool size_accepted(const EscapePayload& rule, DWORD size) {
  switch (rule.rule) {
    case EscapeSize::kExactly: return size == rule.bytes;
    case EscapeSize::kAtLeast: return size >= rule.bytes;
    case EscapeSize::kMultipleOf: return size > 0 && size % rule.bytes == 0;
    default: return true;
  }
}
}  // namespace

std::span<const PrivateEscapeInfo> PrivateEscapeTable() { return kPrivateEscapes; }

const PrivateEscapeInfo* FindPrivateEscape(DWORD code) {
  const auto* end = std::end(kPrivateEscapes);
  const auto* it = std::lower_bound(kPrivateEscapes, end, code,
                                    [](const PrivateEscapeInfo& e, DWORD c) { return e.code < c; });
  return it != end && it->code == code ? it : nullptr;
}

BOOL PrivateEscapeSizesAccepted(DWORD code, DWORD inSize, DWORD outSize) {
  const PrivateEscapeInfo* e = FindPrivateEscape(code);
  if (e == nullptr) return FALSE;
  return size_accepted(e->in, inSize) && size_accepted(e->out, outSize);
}

// ---- scalars -----------------------------------------------------------------

BOOL ReadEscapeWord(const void* bytes, DWORD size, WORD* value) {
  if (bytes == nullptr || value == nullptr || size < 2) return FALSE;
  *value = load_le16(bytes);
  return TRUE;
}

BOOL ReadEscapeDword(const void* bytes, DWORD size, DWORD* value) {
  if (bytes == nullptr || value == nullptr || size < 4) return FALSE;
  *value = load_le32(bytes);
  return TRUE;
}

void WriteEscapeWord(void* bytes, WORD value) { store_le16(bytes, value); }
void WriteEscapeDword(void* bytes, DWORD value) { store_le32(bytes, value); }

// ---- records -------------------------------------------------------------------

void PackPageDrawInfo(const PageDrawInfo& info, BYTE out[kPageDrawInfoSize]) {
  using namespace page_draw_info;
  store_le32(out + kSheetStamp, info.sheetStampDue);
  store_le32(out + kPageStamp, info.pageStampDue);
  store_le32(out + kHeader, info.headerDue);
  for (int i = 0; i < 8; ++i) store_float(out + kRects + 4 * i, info.rects[i]);
}

BOOL UnpackPageDrawInfo(const void* bytes, DWORD size, PageDrawInfo* out) {
  using namespace page_draw_info;
  if (bytes == nullptr || out == nullptr || size != kPageDrawInfoSize) return FALSE;
  const auto* p = static_cast<const BYTE*>(bytes);
  out->sheetStampDue = load_le32(p + kSheetStamp);
  out->pageStampDue = load_le32(p + kPageStamp);
  out->headerDue = load_le32(p + kHeader);
  for (int i = 0; i < 8; ++i) out->rects[i] = load_float(p + kRects + 4 * i);
  return TRUE;
}

void PackStampOffset(const StampOffset& offset, BYTE out[kStampOffsetSize]) {
  store_le32(out + stamp_offset::kX, static_cast<DWORD>(offset.x));
  store_le32(out + stamp_offset::kY, static_cast<DWORD>(offset.y));
}

BOOL UnpackStampOffset(const void* bytes, DWORD size, StampOffset* out) {
  if (bytes == nullptr || out == nullptr || size != kStampOffsetSize) return FALSE;
  const auto* p = static_cast<const BYTE*>(bytes);
  out->x = static_cast<std::int32_t>(load_le32(p + stamp_offset::kX));
  out->y = static_cast<std::int32_t>(load_le32(p + stamp_offset::kY));
  return TRUE;
}

void PackPagePaperRecord(const PagePaperRecord& record, BYTE out[kPagePaperRecordSize]) {
  store_le16(out + page_paper::kPaperId, record.paperId);
  for (int i = 0; i < 4; ++i) store_le16(out + page_paper::kMargins + 2 * i, record.margins[i]);
}

BOOL UnpackPagePaperRecord(const void* bytes, DWORD size, PagePaperRecord* out) {
  if (bytes == nullptr || out == nullptr || size != kPagePaperRecordSize) return FALSE;
  const auto* p = static_cast<const BYTE*>(bytes);
  out->paperId = load_le16(p + page_paper::kPaperId);
  for (int i = 0; i < 4; ++i) out->margins[i] = load_le16(p + page_paper::kMargins + 2 * i);
  return TRUE;
}

DcPaperRecord MakeDcPaperRecord(WORD dmPaperSize, WORD paperId, const std::int32_t paperMargin[4]) {
  DcPaperRecord r{dmPaperSize, paperId, {}};
  static constexpr int kOrder[4] = {2, 3, 0, 1};
  for (int i = 0; i < 4; ++i) r.margins[i] = static_cast<WORD>(paperMargin[kOrder[i]]);
  return r;
}

void PackDcPaperRecord(const DcPaperRecord& record, BYTE out[kDcPaperRecordSize]) {
  store_le16(out + dc_paper::kPaperSize, record.dmPaperSize);
  store_le16(out + dc_paper::kPaperId, record.paperId);
  for (int i = 0; i < 4; ++i) store_le16(out + dc_paper::kMargins + 2 * i, record.margins[i]);
}

BOOL UnpackDcPaperRecord(const void* bytes, DWORD size, DcPaperRecord* out) {
  if (bytes == nullptr || out == nullptr || size != kDcPaperRecordSize) return FALSE;
  const auto* p = static_cast<const BYTE*>(bytes);
  out->dmPaperSize = load_le16(p + dc_paper::kPaperSize);
  out->paperId = load_le16(p + dc_paper::kPaperId);
  for (int i = 0; i < 4; ++i) out->margins[i] = load_le16(p + dc_paper::kMargins + 2 * i);
  return TRUE;
}

void PackJobBlock(const JobBlock& block, BYTE out[kJobBlockSize]) {
  store_le32(out + job_block::kProtocol, block.protocolSwitch);
  store_le32(out + job_block::kImageMode, block.imageMode);
  store_le16(out + job_block::kSubMode, block.imageSubMode);
  store_le16(out + job_block::kPad, 0);
}

BOOL UnpackJobBlock(const void* bytes, DWORD size, JobBlock* out) {
  if (bytes == nullptr || out == nullptr || size != kJobBlockSize) return FALSE;
  const auto* p = static_cast<const BYTE*>(bytes);
  out->protocolSwitch = load_le32(p + job_block::kProtocol);
  out->imageMode = load_le32(p + job_block::kImageMode);
  out->imageSubMode = load_le16(p + job_block::kSubMode);
  return TRUE;
}

void PackSealmarkCounts(const SealmarkCounts& counts, BYTE out[kSealmarkCountsSize]) {
  store_le32(out + sealmark_counts::kActive, counts.active);
  store_le32(out + sealmark_counts::kOutputs, counts.outputs);
}

BOOL UnpackSealmarkCounts(const void* bytes, DWORD size, SealmarkCounts* out) {
  if (bytes == nullptr || out == nullptr || size != kSealmarkCountsSize) return FALSE;
  const auto* p = static_cast<const BYTE*>(bytes);
  out->active = load_le32(p + sealmark_counts::kActive);
  out->outputs = load_le32(p + sealmark_counts::kOutputs);
  return TRUE;
}

void PackDocumentName(LPCWSTR name, BYTE out[kDocNameSize]) {
  put_text(out, kDocNameChars, kDocNameChars - 1, name ? std::u16string(name) : std::u16string());
}

BOOL UnpackDocumentName(const void* bytes, DWORD size, std::u16string* name) {
  if (bytes == nullptr || name == nullptr || size == 0) return FALSE;
  *name = get_text(static_cast<const BYTE*>(bytes), std::min<DWORD>(size / 2, kDocNameChars - 1));
  return TRUE;
}

void PackSealmarkSetup(const SealmarkSetup& setup, BYTE out[kSealmarkSetupSize]) {
  using namespace sealmark_setup;
  put_text(out + kComputer, kComputerChars, kComputerChars - 1, setup.computerName);
  put_text(out + kDocument, kDocumentChars, kDocumentUsed, setup.documentName);
  put_text(out + kUser, kUserChars, kUserChars - 1, setup.userName);
  put_text(out + kPrinter, kPrinterChars, kPrinterChars - 1, setup.printerName);
}

BOOL UnpackSealmarkSetup(const void* bytes, DWORD size, SealmarkSetup* out) {
  using namespace sealmark_setup;
  if (bytes == nullptr || out == nullptr || size != kSealmarkSetupSize) return FALSE;
  const auto* p = static_cast<const BYTE*>(bytes);
  out->computerName = get_text(p + kComputer, kComputerChars);
  out->documentName = get_text(p + kDocument, kDocumentChars);
  out->userName = get_text(p + kUser, kUserChars);
  out->printerName = get_text(p + kPrinter, kPrinterChars);
  return TRUE;
}

std::vector<BYTE> PackCopyJobIds(const std::vector<CopyJobIdRecord>& records) {
  std::vector<BYTE> out(records.size() * kCopyJobIdRecordSize);
  for (std::size_t i = 0; i < records.size(); ++i) {
    BYTE* r = out.data() + i * kCopyJobIdRecordSize;
    store_le32(r + copy_job_id::kCopy, records[i].copyNumber);
    std::memcpy(r + copy_job_id::kJobId, records[i].jobId, kCopyJobIdBytes);
  }
  return out;
}

BOOL UnpackCopyJobIds(const void* bytes, DWORD size, std::vector<CopyJobIdRecord>* out) {
  if (bytes == nullptr || out == nullptr || size == 0 || size % kCopyJobIdRecordSize != 0) return FALSE;
  const auto* p = static_cast<const BYTE*>(bytes);
  out->assign(size / kCopyJobIdRecordSize, CopyJobIdRecord{});
  for (std::size_t i = 0; i < out->size(); ++i) {
    const BYTE* r = p + i * kCopyJobIdRecordSize;
    (*out)[i].copyNumber = load_le32(r + copy_job_id::kCopy);
    std::memcpy((*out)[i].jobId, r + copy_job_id::kJobId, kCopyJobIdBytes);
  }
  return TRUE;
}

void PackPrintHeaderInfo(const PrintHeaderInfo& info, BYTE out[kPrintHeaderInfoSize]) {
  using namespace header_info;
  store_le32(out + kAnyOn, info.anyItemOn);
  for (int i = 0; i < 6; ++i) store_le16(out + kPositions + 2 * i, info.positions[i]);
  put_text(out + kUser, kUserChars, kUserChars - 1, info.userName);
  put_text(out + kOwner, kOwnerChars, kOwnerChars - 1, info.jobOwner);
  put_text(out + kDocument, kDocumentChars, kDocumentChars - 1, info.documentName);
  store_le16(out + kNumber, info.headerNumber);
  put_text(out + kDate, kDateChars, kDateChars - 1, info.date);
  put_text(out + kTime, kTimeChars, kTimeChars - 1, info.time);
}

BOOL UnpackPrintHeaderInfo(const void* bytes, DWORD size, PrintHeaderInfo* out) {
  using namespace header_info;
  if (bytes == nullptr || out == nullptr || size != kPrintHeaderInfoSize) return FALSE;
  const auto* p = static_cast<const BYTE*>(bytes);
  out->anyItemOn = load_le32(p + kAnyOn);
  for (int i = 0; i < 6; ++i) out->positions[i] = load_le16(p + kPositions + 2 * i);
  out->userName = get_text(p + kUser, kUserChars);
  out->jobOwner = get_text(p + kOwner, kOwnerChars);
  out->documentName = get_text(p + kDocument, kDocumentChars);
  out->headerNumber = load_le16(p + kNumber);
  out->date = get_text(p + kDate, kDateChars);
  out->time = get_text(p + kTime, kTimeChars);
  return TRUE;
}

// ---- PJL header set ----------------------------------------------------------------

namespace {

// (block size + 4) x count + 16, or 0 when it does not fit 32 bits.
std::uint64_t pjl_set_size(std::uint64_t count, std::uint64_t blockSize) {
  constexpr std::uint64_t kLimit = 0xFFFFFFFFull;
  // Checked by division: the product of two 33-bit numbers can wrap.
  if (count != 0 && blockSize + 4 > (kLimit - kPjlHeaderSetHeadSize) / count) return 0;
  return (blockSize + 4) * count + kPjlHeaderSetHeadSize;
}

}  // namespace

std::vector<BYTE> BuildPjlHeaderSet(const std::vector<PjlHeader>& headers, DWORD blockSize) {
  using namespace pjl_set;
  if (headers.size() > 0xFFFFFFFFull) return {};
  const std::uint64_t size = pjl_set_size(headers.size(), blockSize);
  if (size == 0) return {};
  for (const PjlHeader& h : headers) {
    if (blockSize < 4 || h.text.size() > blockSize - 4 || h.bookletOffset > h.text.size()) return {};
  }
  std::vector<BYTE> set(static_cast<std::size_t>(size));
  const DWORD count = static_cast<DWORD>(headers.size());
  const DWORD table = kBlocks + count * blockSize;
  store_le32(set.data() + kCount, count);
  store_le32(set.data() + kBlockSize, blockSize);
  store_le32(set.data() + kBlocksRef, kBlocks);
  store_le32(set.data() + kTableRef, table);
  for (DWORD i = 0; i < count; ++i) {
    BYTE* block = set.data() + kBlocks + static_cast<std::size_t>(i) * blockSize;
    store_le32(block, static_cast<DWORD>(headers[i].text.size()));
    std::memcpy(block + 4, headers[i].text.data(), headers[i].text.size());
    store_le32(set.data() + table + 4 * i, headers[i].bookletOffset);
  }
  return set;
}

BOOL UnpackPjlHeaderSet(const void* bytes, DWORD size, std::vector<PjlHeader>* out) {
  using namespace pjl_set;
  if (bytes == nullptr || out == nullptr || size < kPjlHeaderSetHeadSize) return FALSE;
  const auto* p = static_cast<const BYTE*>(bytes);
  const DWORD count = load_le32(p + kCount);
  const DWORD blockSize = load_le32(p + kBlockSize);
  // The set's own fields say how long it is; they must not reach past what
  // was received.
  const std::uint64_t need = pjl_set_size(count, blockSize);
  if (need == 0 || need > size) return FALSE;
  if (count > 0 && blockSize < 4) return FALSE;
  const std::size_t table = kBlocks + static_cast<std::size_t>(count) * blockSize;
  std::vector<PjlHeader> headers(count);
  for (DWORD i = 0; i < count; ++i) {
    const BYTE* block = p + kBlocks + static_cast<std::size_t>(i) * blockSize;
    const DWORD length = load_le32(block);
    if (length > blockSize - 4) return FALSE;
    headers[i].text.assign(reinterpret_cast<const char*>(block + 4), length);
    headers[i].bookletOffset = load_le32(p + table + 4 * static_cast<std::size_t>(i));
    if (headers[i].bookletOffset > length) return FALSE;
  }
  *out = std::move(headers);
  return TRUE;
}

// ---- marking data ------------------------------------------------------------------

INT FetchSealmarkData(PrivateEscapeSender send, void* context, std::vector<BYTE>* data) {
  if (send == nullptr || data == nullptr) return -1;
  data->clear();
  BYTE request[2];
  BYTE answer[4] = {};
  WriteEscapeWord(request, 0);
  INT rc = send(context, DRVESC_GET_SEALMARK_DATA, sizeof request, request, sizeof answer, answer);
  if (rc <= 0) return rc;
  const DWORD size = load_le32(answer);
  if (size == 0) return 1;
  std::vector<BYTE> buffer(size);
  WriteEscapeWord(request, 1);
  rc = send(context, DRVESC_GET_SEALMARK_DATA, sizeof request, request, size, buffer.data());
  if (rc <= 0) return rc;
  *data = std::move(buffer);
  return 1;
}

INT AnswerSealmarkDataRequest(const void* held, DWORD heldSize, DWORD inSize, const void* in, DWORD outSize,
                              void* out) {
  WORD request = 0;
  if (inSize != 2 || !ReadEscapeWord(in, inSize, &request) || out == nullptr) return -1;
  if (held == nullptr) heldSize = 0;
  if (request == 0) {
    if (outSize != 4) return -1;
    WriteEscapeDword(out, heldSize);
    return 1;
  }
  if (request == 1) {
    if (heldSize == 0 || outSize != heldSize) return -1;
    std::memcpy(out, held, heldSize);
    return 1;
  }
  return -1;
}

}  // namespace morva::pi
