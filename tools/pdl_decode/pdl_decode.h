// Reader of a whole spool file as the printer reads it: the optional
// printing-instruction block, the PJL job header from the UEL, the two
// header lines, every VANTIQ operator with its operands (by the operator
// catalogue), the data behind images and glyph downloads, the
// job-information lines and the end-of-job line. Several jobs may follow
// one another. Anything it does not understand, and any operand that runs
// past the end, stops it with the byte offset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

namespace morva::tools {

struct PdlValue {
  enum Kind : std::uint8_t { Int, Real, Bytes };
  Kind kind = Int;
  std::int64_t i = 0;      // Int; for Bytes the byte count
  float f = 0;             // Real
  std::size_t offset = 0;  // where the operand (or the bytes) begin
};

struct PdlItem {
  enum Kind : std::uint8_t {
    Qpif,         // bytes before the first UEL
    Uel,          // ESC "%-12345X"
    HeaderLine,   // a line of the PJL job header
    VersionLine,  // %QZVKM-...% and %WINNT-...%
    Operator,     // text = the operator's name
    Data,         // raw data counted by the operator before it
    Glyph,        // a glyph record after a download or inline glyph operator
    InfoLine,     // @PJL COMMENT QZJOBINFO ...
    EojLine,      // @PJL EOJ or @EOJO
  };
  Kind kind = Operator;
  std::size_t offset = 0;
  std::size_t length = 0;
  std::string text;
  std::vector<PdlValue> operands;
};

struct PdlSummary {
  std::size_t jobs = 0;
  std::size_t pages = 0;          // page begins ("Ec")
  std::size_t operators = 0;
  std::size_t image_bytes = 0;    // data behind "Cq" and "Cp"
  std::size_t glyph_records = 0;
  std::map<std::string, std::size_t> op_counts;
};

struct PdlDecodeResult {
  bool ok = false;
  std::size_t error_offset = 0;
  std::string error;
  std::vector<PdlItem> items;  // empty unless items were asked for
  PdlSummary summary;
};

struct PdlDecodeOptions {
  bool keep_items = true;
};

// A whole spool file: one or more jobs.
PdlDecodeResult DecodeSpoolFile(const std::uint8_t* data, std::size_t size, PdlDecodeOptions opt = {});
// A bare operator stream, without job framing (what the writers produce).
PdlDecodeResult DecodeOperators(const std::uint8_t* data, std::size_t size, PdlDecodeOptions opt = {});

// The same for a file on disk; a file that cannot be read answers a result
// that is not ok, with the error "cannot read" and offset 0.
PdlDecodeResult DecodeSpoolFilePath(const std::string& path, PdlDecodeOptions opt = {});

void PrintListing(const PdlDecodeResult& r, const std::uint8_t* data, std::ostream& out);
void PrintSummary(const PdlDecodeResult& r, std::ostream& out);

// The command: pdl_decode [--summary] [--operators] FILE. Answers 0 when
// every byte was understood, 1 on a decoding error, 2 on a usage or file
// error.
int PdlDecodeMain(int argc, char** argv, std::ostream& out, std::ostream& err);

}  // namespace morva::tools
