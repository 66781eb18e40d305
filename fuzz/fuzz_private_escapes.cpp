// The readers of private escape payloads on arbitrary bytes: none reads past
// the stated size, and what a reader accepts writes back to what it read.
// The receiver's size checks of every code run on sizes taken from the
// input: an exact size it accepts is the table's.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "pi/private_escapes.h"

using namespace morva::pi;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return 0;
  // An exact copy, so the sanitizer sees any read past the end.
  std::vector<BYTE> bytes(data, data + size);
  const BYTE* p = bytes.empty() ? nullptr : bytes.data();
  const DWORD n = static_cast<DWORD>(size);

  WORD w;
  DWORD d;
  ReadEscapeWord(p, n, &w);
  ReadEscapeDword(p, n, &d);
  PageDrawInfo info;
  UnpackPageDrawInfo(p, n, &info);
  StampOffset offset;
  UnpackStampOffset(p, n, &offset);
  PagePaperRecord paper;
  UnpackPagePaperRecord(p, n, &paper);
  DcPaperRecord dcPaper;
  UnpackDcPaperRecord(p, n, &dcPaper);
  JobBlock job;
  UnpackJobBlock(p, n, &job);
  SealmarkCounts counts;
  UnpackSealmarkCounts(p, n, &counts);
  std::u16string name;
  UnpackDocumentName(p, n, &name);
  SealmarkSetup setup;
  UnpackSealmarkSetup(p, n, &setup);
  std::vector<CopyJobIdRecord> ids;
  UnpackCopyJobIds(p, n, &ids);
  PrintHeaderInfo header;
  UnpackPrintHeaderInfo(p, n, &header);

  std::vector<PjlHeader> headers;
  if (UnpackPjlHeaderSet(p, n, &headers)) {
    const DWORD blockSize = n >= 8 ? (p[4] | p[5] << 8 | p[6] << 16 | static_cast<DWORD>(p[7]) << 24) : 0;
    const std::vector<BYTE> rebuilt = BuildPjlHeaderSet(headers, blockSize);
    std::vector<PjlHeader> again;
    if (rebuilt.empty() || !UnpackPjlHeaderSet(rebuilt.data(), static_cast<DWORD>(rebuilt.size()), &again) ||
        again.size() != headers.size()) {
      abort();
    }
    for (std::size_t i = 0; i < again.size(); ++i) {
      if (again[i].text != headers[i].text || again[i].bookletOffset != headers[i].bookletOffset) abort();
    }
  }

  DWORD sizes[2] = {n, n / 2};
  if (n >= 8) {
    ReadEscapeDword(p, n, &sizes[0]);
    ReadEscapeDword(p + 4, n - 4, &sizes[1]);
  }
  for (const PrivateEscapeInfo& row : PrivateEscapeTable()) {
    for (DWORD in : {sizes[0], sizes[1], row.in.bytes, n}) {
      for (DWORD out : {sizes[1], sizes[0], row.out.bytes}) {
        if (!PrivateEscapeSizesAccepted(row.code, in, out)) continue;
        if ((row.in.rule == EscapeSize::kExactly && in != row.in.bytes) ||
            (row.out.rule == EscapeSize::kExactly && out != row.out.bytes)) {
          abort();
        }
      }
    }
    if (FindPrivateEscape(row.code) != &row) abort();
  }
  PrivateEscapeSizesAccepted(sizes[0] & 0xFFFF, sizes[1], n);
  FindPrivateEscape(sizes[0]);

  // The receiver's answer to a request that arrives as the first two bytes,
  // with the rest as the data it holds.
  if (size >= 2) {
    std::vector<BYTE> out(size);
    AnswerSealmarkDataRequest(p + 2, n - 2, 2, p, n - 2, out.data());
  }
  return 0;
}
