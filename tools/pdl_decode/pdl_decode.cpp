#include "pdl_decode.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <iostream>
#include <iterator>
#include <ostream>
#include <string_view>

#include "render/pdl_catalogue.h"
#include "render/pdl_encoding.h"
#include "win/endian.h"

namespace morva::tools {

namespace {

using render::PdlFindOpcode;
using render::PdlOperatorInfo;

constexpr std::string_view kUel = "\x1b%-12345X";
constexpr std::string_view kInfoPrefix = "@PJL COMMENT QZJOBINFO ";

struct DecodeError {
  std::size_t offset;
  std::string message;
};

std::string Hex(std::uint64_t v) {
  char b[24];
  std::snprintf(b, sizeof b, "0x%llX", static_cast<unsigned long long>(v));
  return b;
}

class Decoder {
 public:
  Decoder(const std::uint8_t* data, std::size_t size, PdlDecodeOptions opt, PdlDecodeResult* r)
      : p_(data), size_(size), opt_(opt), r_(r) {}

  void File() {
    if (size_ == 0) throw DecodeError{0, "empty file"};
    while (pos_ < size_) Job();
  }

  void Operators() {
    while (pos_ < size_) Operator();
  }

 private:
  // ---- bytes ----
  void Need(std::size_t n, std::size_t at, const char* what) {
    if (n > size_ - pos_)
      throw DecodeError{at, std::string(what) + " runs past the end (" + std::to_string(n) + " bytes needed, " +
                                std::to_string(size_ - pos_) + " left)"};
  }
  bool At(std::string_view s) const {
    return s.size() <= size_ - pos_ && std::memcmp(p_ + pos_, s.data(), s.size()) == 0;
  }

  PdlItem& Add(PdlItem::Kind kind, std::size_t offset, std::size_t length, std::string text) {
    if (!opt_.keep_items) {
      scratch_ = PdlItem{kind, offset, length, std::move(text), {}};
      return scratch_;
    }
    r_->items.push_back(PdlItem{kind, offset, length, std::move(text), {}});
    return r_->items.back();
  }

  // ---- job framing ----

  // One line up to LF; the LF (and a CR before it) is not part of the text.
  std::string_view Line(const char* where) {
    std::size_t start = pos_;
    const void* lf = std::memchr(p_ + pos_, '\n', size_ - pos_);
    if (!lf) throw DecodeError{start, std::string(where) + " line without a line end"};
    std::size_t end = static_cast<std::size_t>(static_cast<const std::uint8_t*>(lf) - p_);
    pos_ = end + 1;
    if (end > start && p_[end - 1] == '\r') --end;
    for (std::size_t i = start; i < end; ++i)
      if (p_[i] < 0x20 && p_[i] != '\t')
        throw DecodeError{i, std::string("control byte ") + Hex(p_[i]) + " in a " + where + " line"};
    return {reinterpret_cast<const char*>(p_ + start), end - start};
  }

  void Job() {
    std::size_t start = pos_;
    if (!At(kUel)) {
      // A printing-instruction block may precede the UEL; it holds no zero
      // byte (it is appended up to its first zero).
      std::size_t i = pos_;
      for (; i < size_; ++i) {
        if (p_[i] == 0) throw DecodeError{i, "zero byte before the job's UEL"};
        if (p_[i] == 0x1b && kUel.size() <= size_ - i && std::memcmp(p_ + i, kUel.data(), kUel.size()) == 0) break;
      }
      if (i == size_) throw DecodeError{start, "no UEL (ESC %-12345X) opens the job"};
      Add(PdlItem::Qpif, start, i - start, "printing-instruction block");
      pos_ = i;
    }
    Add(PdlItem::Uel, pos_, kUel.size(), "UEL");
    pos_ += kUel.size();

    // PJL job header lines up to the first header line.
    for (;;) {
      std::size_t at = pos_;
      if (pos_ == size_) throw DecodeError{at, "the PJL job header ends without the %QZVKM- line"};
      std::string_view line = Line("PJL header");
      if (line.substr(0, 7) == "%QZVKM-") {
        CheckVersionLine(line, at);
        Add(PdlItem::VersionLine, at, pos_ - at, std::string(line));
        break;
      }
      Add(PdlItem::HeaderLine, at, pos_ - at, std::string(line));
    }
    std::size_t at = pos_;
    if (pos_ == size_) throw DecodeError{at, "missing %WINNT- header line"};
    std::string_view second = Line("header");
    CheckSystemLine(second, at);
    Add(PdlItem::VersionLine, at, pos_ - at, std::string(second));

    while (pos_ < size_ && p_[pos_] != 0x1b) Operator();
    if (pos_ == size_) throw DecodeError{pos_, "the stream ends without the job trailer's UEL"};
    if (!At(kUel)) throw DecodeError{pos_, "ESC that does not begin a UEL"};
    Add(PdlItem::Uel, pos_, kUel.size(), "UEL");
    pos_ += kUel.size();

    for (;;) {
      std::size_t lat = pos_;
      if (pos_ == size_) throw DecodeError{lat, "the job trailer ends without an end-of-job line"};
      std::string_view line = Line("trailer");
      if (line.substr(0, kInfoPrefix.size()) == kInfoPrefix) {
        Add(PdlItem::InfoLine, lat, pos_ - lat, std::string(line));
        continue;
      }
      if (line == "@PJL EOJ" || line == "@EOJO") {
        Add(PdlItem::EojLine, lat, pos_ - lat, std::string(line));
        break;
      }
      throw DecodeError{lat, "unexpected line in the job trailer: " + std::string(line.substr(0, 60))};
    }
    ++r_->summary.jobs;
  }

  static bool Digits(std::string_view& s, bool hex) {
    std::size_t n = 0;
    while (n < s.size() && (hex ? std::isxdigit(static_cast<unsigned char>(s[n])) : std::isdigit(static_cast<unsigned char>(s[n]))))
      ++n;
    if (n == 0) return false;
    s.remove_prefix(n);
    return true;
  }
  static bool Lit(std::string_view& s, std::string_view lit) {
    if (s.substr(0, lit.size()) != lit) return false;
    s.remove_prefix(lit.size());
    return true;
  }

  void CheckVersionLine(std::string_view s, std::size_t at) {
    if (!(Lit(s, "%QZVKM-") && Digits(s, false) && Lit(s, ".") && Digits(s, false) && Lit(s, ".") &&
          Digits(s, false) && Lit(s, "%") && s.empty()))
      throw DecodeError{at, "malformed %QZVKM- header line"};
  }

  void CheckSystemLine(std::string_view s, std::size_t at) {
    if (!(Lit(s, "%WINNT-") && Digits(s, true) && Lit(s, ".") && Digits(s, true) && Lit(s, ",VKMDRV-") &&
          Digits(s, false) && Lit(s, ".") && Digits(s, false) && Lit(s, "%") && s.empty()))
      throw DecodeError{at, "expected the %WINNT- header line"};
  }

  // ---- operators ----

  struct OpState {
    const PdlOperatorInfo* info = nullptr;
    std::size_t start = 0;
    PdlItem* item = nullptr;
    int last_byte = -1;
    std::uint32_t words[2] = {0, 0};  // the last two unsigned words
    std::vector<std::uint32_t> deferred;
    bool glyph = false;
  };

  void Push(OpState& st, PdlValue v) {
    if (opt_.keep_items) st.item->operands.push_back(v);
  }

  std::int64_t ReadInt(OpState& st, char c) {
    std::size_t at = pos_;
    std::int64_t v = 0;
    switch (c) {
      case 'b': Need(1, at, "byte operand"); v = p_[pos_]; pos_ += 1; st.last_byte = static_cast<int>(v); break;
      case 's': Need(1, at, "byte operand"); v = static_cast<std::int8_t>(p_[pos_]); pos_ += 1; st.last_byte = p_[at]; break;
      case 'w': Need(2, at, "word operand"); v = static_cast<std::int16_t>(load_be16(p_ + pos_)); pos_ += 2; break;
      case 'W':
        Need(2, at, "word operand");
        v = load_be16(p_ + pos_);
        pos_ += 2;
        st.words[0] = st.words[1];
        st.words[1] = static_cast<std::uint32_t>(v);
        break;
      case 't': Need(3, at, "triple operand"); v = (p_[pos_] << 16) | (p_[pos_ + 1] << 8) | p_[pos_ + 2]; pos_ += 3; break;
      case 'd': Need(4, at, "double-word operand"); v = load_be32(p_ + pos_); pos_ += 4; break;
      case 'v': {
        LONG x;
        std::size_t n = render::PdlDecodeVarNumber(p_ + pos_, size_ - pos_, &x);
        if (n == 0) {
          // Either the bytes end inside the number or it is malformed.
          std::size_t k = 0;
          while (pos_ + k < size_ && (p_[pos_ + k] & 0x80) && k < render::kPdlVarNumberMax) ++k;
          if (pos_ + k == size_) throw DecodeError{at, "variable-length number runs past the end"};
          throw DecodeError{at, "malformed variable-length number"};
        }
        pos_ += n;
        v = x;
        break;
      }
      default: throw DecodeError{st.start, std::string("catalogue layout letter '") + c + "' not understood"};
    }
    Push(st, PdlValue{PdlValue::Int, v, 0, at});
    return v;
  }

  float ReadReal(OpState& st) {
    std::size_t at = pos_;
    Need(4, at, "real operand");
    std::uint32_t bits = load_be32(p_ + pos_);
    pos_ += 4;
    float f;
    std::memcpy(&f, &bits, 4);
    Push(st, PdlValue{PdlValue::Real, 0, f, at});
    return f;
  }

  void ReadBytes(OpState& st, std::size_t n) {
    std::size_t at = pos_;
    Need(n, at, "byte run");
    pos_ += n;
    Push(st, PdlValue{PdlValue::Bytes, static_cast<std::int64_t>(n), 0, at});
  }

  static long Number(const char*& p) {
    long n = 0;
    bool neg = *p == '-';
    if (neg) ++p;
    while (*p >= '0' && *p <= '9') n = n * 10 + (*p++ - '0');
    return neg ? -n : n;
  }

  // The group that starts at p (just after its '('); answers the position
  // after its ')'.
  static const char* GroupEnd(const char* p) {
    int depth = 1;
    for (; *p; ++p) {
      if (*p == '(') ++depth;
      if (*p == ')' && --depth == 0) return p + 1;
    }
    return p;
  }

  void RunLayout(OpState& st, const char* p) {
    while (*p && *p != ')') {
      char c = *p++;
      switch (c) {
        case 'b': case 's': case 'w': case 'W': case 't': case 'd': case 'v': {
          std::size_t at = pos_;
          std::int64_t v = ReadInt(st, c);
          if (*p == '=') {
            ++p;
            long want = Number(p);
            if (v != want)
              throw DecodeError{at, std::string(st.info->name) + " operand is " + std::to_string(v) + ", expected " +
                                        std::to_string(want)};
          }
          break;
        }
        case 'f': {
          std::size_t at = pos_;
          float v = ReadReal(st);
          if (*p == '=') {
            ++p;
            long want = Number(p);
            if (v != static_cast<float>(want))
              throw DecodeError{at, std::string(st.info->name) + " real operand differs from " + std::to_string(want)};
          }
          break;
        }
        case 'C': case 'R': {
          std::size_t at = pos_;
          Need(1, at, "colour space");
          BYTE space = p_[pos_++];
          Push(st, PdlValue{PdlValue::Int, space, 0, at});
          if (space != render::kPdlSpaceGrey && space != render::kPdlSpaceRgb)
            throw DecodeError{at, "colour space " + std::to_string(space) + " is neither grey (3) nor RGB (4)"};
          int n = space == render::kPdlSpaceRgb ? 3 : 1;
          for (int i = 0; i < n; ++i) {
            if (c == 'C') {
              std::size_t bat = pos_;
              Need(1, bat, "colour component");
              Push(st, PdlValue{PdlValue::Int, p_[pos_++], 0, bat});
            } else {
              ReadReal(st);
            }
          }
          break;
        }
        case '*': {
          char k = *p++;
          std::size_t at = pos_;
          std::int64_t count = ReadInt(st, k == 'b' ? 'b' : 'W');
          std::int64_t times = count;
          if (k == '3') times = 3 * count;
          if (k == 'h') {
            if (count % 2) throw DecodeError{at, "odd byte count " + std::to_string(count) + " of 16-bit codes"};
            times = count / 2;
          }
          if (k == 'F') times = (st.last_byte & 3) ? count : 0;
          const char* group = p + 1;  // after '('
          for (std::int64_t i = 0; i < times; ++i) RunLayout(st, group);
          p = GroupEnd(group);
          break;
        }
        case '$': {
          char k = *p++;
          std::int64_t n = ReadInt(st, k == 'b' ? 'b' : k == 'w' ? 'W' : 'd');
          ReadBytes(st, static_cast<std::size_t>(n));
          break;
        }
        case 'P': {
          std::size_t n = (static_cast<std::size_t>(st.words[0]) + 7) / 8 * st.words[1];
          ReadBytes(st, n);
          break;
        }
        case '?': {
          bool holds;
          if (*p == '&') {
            ++p;
            holds = st.last_byte >= 0 && (st.last_byte & Number(p)) != 0;
          } else {
            long lo = Number(p), hi = lo;
            if (*p == '-') {
              ++p;
              hi = Number(p);
            }
            holds = st.last_byte >= lo && st.last_byte <= hi;
          }
          const char* group = p + 1;
          if (holds) RunLayout(st, group);
          p = GroupEnd(group);
          break;
        }
        case '%': {
          std::int64_t n = ReadInt(st, 'd');
          st.deferred.push_back(static_cast<std::uint32_t>(n));
          break;
        }
        case 'G':
          st.glyph = true;
          break;
        default:
          throw DecodeError{st.start, std::string("catalogue layout letter '") + c + "' not understood"};
      }
    }
  }

  void Operator() {
    std::size_t start = pos_;
    Need(2, start, "opcode");
    std::uint16_t opcode = load_be16(p_ + pos_);
    const PdlOperatorInfo* info = PdlFindOpcode(opcode);
    if (!info) throw DecodeError{start, "unknown opcode " + Hex(opcode)};
    pos_ += 2;
    PdlItem& item = Add(PdlItem::Operator, start, 0, info->name);
    std::size_t index = opt_.keep_items ? r_->items.size() - 1 : 0;
    OpState st;
    st.info = info;
    st.start = start;
    st.item = &item;
    RunLayout(st, info->layout);
    if (opt_.keep_items) r_->items[index].length = pos_ - start;

    PdlSummary& sum = r_->summary;
    ++sum.operators;
    ++sum.op_counts[info->name];
    if (opcode == render::PdlOperator(render::PdlOp::Ec).opcode) ++sum.pages;

    if (st.glyph) GlyphRecord();
    bool image = opcode == render::PdlOperator(render::PdlOp::Cq).opcode ||
                 opcode == render::PdlOperator(render::PdlOp::Cp).opcode;
    for (std::uint32_t n : st.deferred) {
      std::size_t at = pos_;
      Need(n, at, (std::string(info->name) + " data").c_str());
      Add(PdlItem::Data, at, n, "data");
      pos_ += n;
      if (image) sum.image_bytes += n;
    }
  }

  // A glyph record: a bitmap record (header bit 0x400000) or an outline
  // record. The size in its header counts every byte of the record.
  void GlyphRecord() {
    std::size_t start = pos_;
    Need(4, start, "glyph record header");
    std::uint32_t header = load_be32(p_ + pos_);
    OpState st;
    st.start = start;
    PdlItem& item = Add(PdlItem::Glyph, start, 0, "");
    std::size_t index = opt_.keep_items ? r_->items.size() - 1 : 0;
    st.item = &item;
    ReadInt(st, 'd');
    std::string kind;
    if (header & 0x400000) {
      std::size_t size = header & 0x3FFFFF;
      kind = header & 0x2000000 ? "bitmap glyph, compressed" : "bitmap glyph";
      if (size < 18) throw DecodeError{start, "bitmap glyph record of " + std::to_string(size) + " bytes"};
      ReadReal(st);
      ReadReal(st);
      std::int64_t height = ReadInt(st, 'W');
      ReadInt(st, 'W');
      std::int64_t row = ReadInt(st, 'b');
      std::size_t one_at = pos_;
      if (ReadInt(st, 'b') != 1) throw DecodeError{one_at, "bitmap glyph record without its 1 byte"};
      if (!(header & 0x2000000) && static_cast<std::size_t>(row * height) > size - 18)
        throw DecodeError{start, "bitmap glyph bits do not fit the record size"};
      ReadBytes(st, size - 18);
    } else {
      std::size_t size = header & 0x3FFFF;
      std::size_t coord = header & 0x200000 ? 8 : 4;
      kind = coord == 8 ? "outline glyph, real points" : "outline glyph, word points";
      if (header & 0x1000000) kind += ", thin line";
      if ((header & 0x38000000) == 0x38000000) kind += ", bold bounds";
      if (size < 8) throw DecodeError{start, "outline glyph record of " + std::to_string(size) + " bytes"};
      std::int64_t points = ReadInt(st, 'W');
      std::int64_t commands = ReadInt(st, 'W');
      if (static_cast<std::size_t>(points) * coord + static_cast<std::size_t>(commands + 1) / 2 + 8 > size)
        throw DecodeError{start, "outline glyph points and commands do not fit the record size"};
      ReadBytes(st, size - 8);
    }
    if (opt_.keep_items) {
      r_->items[index].text = kind;
      r_->items[index].length = pos_ - start;
    }
    ++r_->summary.glyph_records;
  }

  const std::uint8_t* p_;
  std::size_t size_;
  std::size_t pos_ = 0;
  PdlDecodeOptions opt_;
  PdlDecodeResult* r_;
  PdlItem scratch_;
};

template <typename Run>
PdlDecodeResult Decode(const std::uint8_t* data, std::size_t size, PdlDecodeOptions opt, Run run) {
  PdlDecodeResult r;
  Decoder d(data, size, opt, &r);
  try {
    run(d);
    r.ok = true;
  } catch (const DecodeError& e) {
    r.ok = false;
    r.error_offset = e.offset;
    r.error = e.message;
  }
  return r;
}

}  // namespace

PdlDecodeResult DecodeSpoolFile(const std::uint8_t* data, std::size_t size, PdlDecodeOptions opt) {
  return Decode(data, size, opt, [](Decoder& d) { d.File(); });
}

PdlDecodeResult DecodeOperators(const std::uint8_t* data, std::size_t size, PdlDecodeOptions opt) {
  return Decode(data, size, opt, [](Decoder& d) { d.Operators(); });
}

namespace {

bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>* bytes) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  bytes->assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  return !f.bad();
}

}  // namespace

PdlDecodeResult DecodeSpoolFilePath(const std::string& path, PdlDecodeOptions opt) {
  std::vector<std::uint8_t> bytes;
  if (!ReadWholeFile(path, &bytes)) {
    PdlDecodeResult r;
    r.error = "cannot read " + path;
    return r;
  }
  return DecodeSpoolFile(bytes.data(), bytes.size(), opt);
}

namespace {

void PrintValue(const PdlValue& v, const std::uint8_t* data, std::ostream& out) {
  char b[48];
  switch (v.kind) {
    case PdlValue::Int:
      out << v.i;
      return;
    case PdlValue::Real:
      std::snprintf(b, sizeof b, "%.7g", static_cast<double>(v.f));
      out << b << 'f';
      return;
    case PdlValue::Bytes: {
      std::size_t n = static_cast<std::size_t>(v.i);
      bool text = n > 0 && n <= 96;
      for (std::size_t i = 0; text && i < n; ++i) text = data[v.offset + i] >= 0x20 && data[v.offset + i] < 0x7F;
      if (text)
        out << '"' << std::string_view(reinterpret_cast<const char*>(data + v.offset), n) << '"';
      else
        out << '<' << n << " bytes>";
      return;
    }
  }
}

}  // namespace

void PrintListing(const PdlDecodeResult& r, const std::uint8_t* data, std::ostream& out) {
  char off[24];
  for (const PdlItem& it : r.items) {
    std::snprintf(off, sizeof off, "%08zX  ", it.offset);
    out << off;
    switch (it.kind) {
      case PdlItem::Qpif: out << "QPIF  " << it.length << " bytes"; break;
      case PdlItem::Uel: out << "UEL"; break;
      case PdlItem::HeaderLine: out << "PJL   " << it.text; break;
      case PdlItem::VersionLine: out << "HDR   " << it.text; break;
      case PdlItem::InfoLine: out << "INFO  " << it.text.substr(kInfoPrefix.size()); break;
      case PdlItem::EojLine: out << "EOJ   " << it.text; break;
      case PdlItem::Data: out << "      data " << it.length << " bytes"; break;
      case PdlItem::Glyph:
      case PdlItem::Operator: {
        out << (it.kind == PdlItem::Glyph ? "      " + it.text + ":" : it.text + " ");
        for (std::size_t i = 0; i < it.operands.size(); ++i) {
          out << ' ';
          if (it.kind == PdlItem::Glyph && i == 0) {
            out << Hex(static_cast<std::uint64_t>(it.operands[0].i));  // the record header
            continue;
          }
          PrintValue(it.operands[i], data, out);
        }
        break;
      }
    }
    out << '\n';
  }
  if (!r.ok) {
    std::snprintf(off, sizeof off, "%08zX  ", r.error_offset);
    out << off << "ERROR " << r.error << '\n';
  }
}

void PrintSummary(const PdlDecodeResult& r, std::ostream& out) {
  const PdlSummary& s = r.summary;
  out << "jobs: " << s.jobs << "\npages: " << s.pages << "\noperators: " << s.operators
      << "\nimage bytes: " << s.image_bytes << "\nglyph records: " << s.glyph_records << '\n';
  auto sum = [&s](std::initializer_list<const char*> names) {
    std::size_t n = 0;
    for (const char* name : names) {
      auto it = s.op_counts.find(name);
      if (it != s.op_counts.end()) n += it->second;
    }
    return n;
  };
  out << "text runs: " << sum({"DC", "Dc", "DD", "Dd", "BX", "BY"}) << "\nfont selections: " << sum({"DA"})
      << "\nglyph downloads: " << sum({"DH", "DL"}) << "\ncached glyph draws: " << sum({"DI", "DM", "Di", "Dm"})
      << "\ninline glyphs: " << sum({"DE", "De", "DF", "Df"}) << '\n';
  for (const auto& [name, n] : s.op_counts) out << "  " << name << ' ' << n << '\n';
}

int PdlDecodeMain(int argc, char** argv, std::ostream& out, std::ostream& err) {
  bool summary = false, operators = false;
  const char* path = nullptr;
  for (int i = 1; i < argc; ++i) {
    std::string_view a = argv[i];
    if (a == "--summary") summary = true;
    else if (a == "--operators") operators = true;
    else if (!path && !a.empty() && a[0] != '-') path = argv[i];
    else path = nullptr, i = argc;
  }
  if (!path) {
    err << "usage: pdl_decode [--summary] [--operators] FILE\n"
           "  lists every item of a spool file (--operators: a bare operator stream);\n"
           "  --summary prints jobs, pages, operator counts and image bytes instead\n";
    return 2;
  }
  std::vector<std::uint8_t> bytes;
  if (!ReadWholeFile(path, &bytes)) {
    err << "pdl_decode: cannot open " << path << '\n';
    return 2;
  }
  PdlDecodeOptions opt;
  opt.keep_items = !summary;
  PdlDecodeResult r = operators ? DecodeOperators(bytes.data(), bytes.size(), opt)
                                : DecodeSpoolFile(bytes.data(), bytes.size(), opt);
  if (summary)
    PrintSummary(r, out);
  else
    PrintListing(r, bytes.data(), out);
  if (!r.ok) {
    err << "pdl_decode: " << path << ": error at offset " << r.error_offset << " (" << Hex(r.error_offset)
        << "): " << r.error << '\n';
    return 1;
  }
  return 0;
}

}  // namespace morva::tools
