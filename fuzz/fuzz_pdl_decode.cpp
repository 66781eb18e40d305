// Spool-file decoder on arbitrary bytes: as a whole spool file and as a bare
// operator stream, listing included (it reads operand bytes back by offset).
#include <cstddef>
#include <cstdint>
#include <sstream>

#include "pdl_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace morva::tools;
  PdlDecodeResult file = DecodeSpoolFile(data, size);
  std::ostringstream out;
  PrintListing(file, data, out);
  PrintSummary(file, out);
  PdlDecodeResult ops = DecodeOperators(data, size);
  PrintListing(ops, data, out);
  return 0;
}
