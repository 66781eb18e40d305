// Description format (JSON):
//
// {
//   "main":   { file description },
//   "linked": { file description },            (optional)
//   "string_libraries": { "NAME.DLL": { "<id>": "text", ... }, ... }
// }
//
// A file description:
//   "file": "DEMO.DDD", "title": "...", "version": "DDD:1.0.0",
//   "level": 1280 or "0x500", "model": "...",
//   "linked_name": "..."   (main only; defaults to the linked file's name)
//   "fields": { "<id>": value }  global fields 1-41; a number, a list of
//             numbers, a string or a list of strings as the field's shape
//             asks; field 0 is computed
//   "records": [ record, ... ]   the entries of this file's kind tables, in
//             order
//
// A record: "kind", optional "id" (default: its 1-based position in its
// kind's table), optional "in": "main"/"linked" (the file that stores it;
// default the file whose table lists it), optional "body_hex" (raw bytes
// after the id, for damaged fixtures), and the fields of its kind (see
// encode_record below). Level-gated fields are written only when the
// storing file's level reaches their level.
//
// An item's BYTE ("flags") is its control kind: 0 unusable, 1 and 2 choice
// lists, 4 and 6 values without a choice list. Without "flags" an item with
// choices is a choice list (1) and one without is unusable (0).
//
// A string is a JSON string (stored as inverted ANSI text), null or "" (no
// string), {"lib": k, "id": n, "text": "fallback"} (a reference into string
// library k with inverted fallback text) or {"hex": "..."} (stored bytes).
//
// A typed value: {"type": t, "value": ..., "size": stored size override,
// "hex": raw data, "table": n (type 128)}.
#include "ddd_builder.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "settings/database/ddd_file.h"
#include "settings/database/ddd_records.h"
#include "win/endian.h"
#include "xrs_compiler.h"

namespace morva::ddd_build {
namespace {

using nlohmann::json;

[[noreturn]] void fail(const std::string& what) { throw BuildError(what); }

// ---------------------------------------------------------------- bytes

struct Bytes {
  std::string data;
  void u8(unsigned v) {
    if (v > 0xFF) fail("byte value out of range: " + std::to_string(v));
    data += static_cast<char>(v);
  }
  void u16(unsigned long v) {
    if (v > 0xFFFF) fail("word value out of range: " + std::to_string(v));
    char b[2];
    store_le16(b, static_cast<std::uint16_t>(v));
    data.append(b, 2);
  }
  void u32(unsigned long long v) {
    if (v > 0xFFFFFFFFull) fail("dword value out of range: " + std::to_string(v));
    char b[4];
    store_le32(b, static_cast<std::uint32_t>(v));
    data.append(b, 4);
  }
  void raw(const std::string& bytes) { data += bytes; }
  size_t size() const { return data.size(); }
};

unsigned long long number(const json& j, const std::string& what) {
  if (j.is_boolean()) return j.get<bool>() ? 1 : 0;
  if (j.is_number_unsigned()) return j.get<unsigned long long>();
  if (j.is_number_integer()) {
    long long v = j.get<long long>();
    // Negative numbers are stored in two's complement of 32 bits.
    if (v < 0 && v >= -0x80000000ll) return static_cast<std::uint32_t>(static_cast<std::int32_t>(v));
    if (v < 0) fail(what + ": negative number out of range");
    return static_cast<unsigned long long>(v);
  }
  if (j.is_string()) {
    const std::string s = j.get<std::string>();
    try {
      size_t used = 0;
      unsigned long long v = std::stoull(s, &used, 0);
      if (used == s.size()) return v;
    } catch (const std::exception&) {
    }
  }
  fail(what + ": not a number: " + j.dump());
}

unsigned long long field_or(const json& j, const char* key, unsigned long long fallback) {
  return j.contains(key) ? number(j[key], key) : fallback;
}

std::string from_hex(const std::string& hex, const std::string& what) {
  std::string out;
  int nibbles = 0;
  unsigned value = 0;
  for (char c : hex) {
    if (c == ' ' || c == '\n' || c == ':' || c == '-') continue;
    unsigned d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else fail(what + ": bad hex digit");
    value = value * 16 + d;
    if (++nibbles == 2) {
      out += static_cast<char>(value);
      nibbles = 0;
      value = 0;
    }
  }
  if (nibbles) fail(what + ": odd number of hex digits");
  return out;
}

std::string hex_of(const json& j, const char* key, const std::string& what) {
  if (!j.contains(key)) return {};
  if (!j[key].is_string()) fail(what + ": " + key + " must be a hex string");
  return from_hex(j[key].get<std::string>(), what);
}

// UTF-8 to the ANSI code page (Windows-1252).
std::string to_ansi(const std::string& utf8, const std::string& what) {
  iconv_t cd = iconv_open("WINDOWS-1252", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) fail("no Windows-1252 converter");
  std::string out(utf8.size() + 1, '\0');
  char* in = const_cast<char*>(utf8.data());
  size_t in_left = utf8.size();
  char* o = out.data();
  size_t out_left = out.size();
  size_t r = iconv(cd, &in, &in_left, &o, &out_left);
  iconv_close(cd);
  if (r == static_cast<size_t>(-1)) fail(what + ": text not representable in Windows-1252: " + utf8);
  out.resize(out.size() - out_left);
  return out;
}

// ---------------------------------------------------------------- strings

// Stored bytes of a database string (without its length WORD).
std::string string_body(const json& j, const std::string& what) {
  if (j.is_null()) return {};
  auto inverted = [&](const std::string& utf8) {
    std::string ansi = to_ansi(utf8, what);
    if (ansi.find('\0') != std::string::npos) fail(what + ": text holds a zero byte");
    ansi += '\0';
    for (char& c : ansi) c = static_cast<char>(~static_cast<unsigned char>(c));
    return ansi;
  };
  if (j.is_string()) {
    std::string text = j.get<std::string>();
    return text.empty() ? std::string() : inverted(text);
  }
  if (j.is_object() && j.contains("hex")) return hex_of(j, "hex", what);
  if (j.is_object() && j.contains("lib")) {
    std::string body = inverted(j.value("text", std::string()));
    Bytes ref;
    ref.u16(number(j["lib"], what + ".lib"));
    ref.u16(number(j["id"], what + ".id"));
    ref.u8(0);
    return body + ref.data;
  }
  fail(what + ": not a string: " + j.dump());
}

void counted_string(Bytes& out, const json& j, const std::string& what) {
  std::string body = string_body(j, what);
  out.u16(body.size());
  out.raw(body);
}

const json& member(const json& j, const char* key) {
  static const json null_json;
  return j.contains(key) ? j[key] : null_json;
}

// ---------------------------------------------------------------- values

void typed_value(Bytes& out, const json& j, const std::string& what) {
  if (!j.is_object() || !j.contains("type")) fail(what + ": a typed value needs a type");
  unsigned type = static_cast<unsigned>(number(j["type"], what + ".type"));
  std::string data;
  if (j.contains("hex")) {
    data = hex_of(j, "hex", what);
  } else {
    Bytes d;
    const json& v = member(j, "value");
    switch (type) {
      case DDD_TYPE_BOOL:
      case 8: d.u8(static_cast<unsigned>(number(v, what))); break;
      case 2:
      case 3: d.u16(number(v, what) & 0xFFFF); break;
      case 4:
      case 5:
      case DDD_TYPE_LONG: d.u32(number(v, what) & 0xFFFFFFFFull); break;
      case 7: {
        char b[4];
        store_le_float(b, v.get<float>());
        d.raw(std::string(b, 4));
        break;
      }
      case DDD_TYPE_STRING: d.raw(string_body(v, what)); break;
      case DDD_TYPE_TABLE_REF: d.u16(number(member(j, "table"), what + ".table")); break;
      default:
        if (!v.is_null()) fail(what + ": type " + std::to_string(type) + " needs hex data");
    }
    data = d.data;
  }
  out.u8(type);
  out.u16(field_or(j, "size", data.size()));
  out.raw(data);
}

void operand(Bytes& out, const json& j, const std::string& what) {
  out.u16(field_or(j, "tag", 0));
  out.u8(static_cast<unsigned>(field_or(j, "op", 0)));
  out.u16(field_or(j, "ddmid", 0));
  if (j.contains("value")) typed_value(out, j["value"], what + ".value");
  else typed_value(out, json{{"type", 3}, {"value", 0}}, what);
}

// A framed list: DWORD byte length of what follows, WORD count, elements.
template <typename F>
void framed_list(Bytes& out, const json& items, const std::string& what, F element) {
  if (!items.is_null() && !items.is_array()) fail(what + ": must be a list");
  Bytes body;
  size_t count = items.is_array() ? items.size() : 0;
  body.u16(count);
  for (size_t i = 0; i < count; ++i) element(body, items[i], what + "[" + std::to_string(i) + "]");
  out.u32(body.size());
  out.raw(body.data);
}

void word_list(Bytes& out, const json& items, const std::string& what) {
  framed_list(out, items, what, [](Bytes& b, const json& e, const std::string& w) { b.u16(number(e, w)); });
}

void condition_list(Bytes& out, const json& items, const std::string& what) {
  framed_list(out, items, what, [](Bytes& b, const json& e, const std::string& w) {
    operand(b, e, w);
    b.u8(static_cast<unsigned>(field_or(e, "connector", 0)));
  });
}

void words(Bytes& out, const json& j, size_t n, const std::string& what) {
  if (!j.is_array() || j.size() != n) fail(what + ": needs " + std::to_string(n) + " numbers");
  for (const auto& e : j) out.u16(number(e, what));
}

// WORD count, the WORD lengths, then the bodies.
void string_bodies(Bytes& out, const json& items, const std::string& what) {
  std::vector<std::string> bodies;
  if (items.is_array())
    for (size_t i = 0; i < items.size(); ++i) bodies.push_back(string_body(items[i], what));
  out.u16(bodies.size());
  for (const auto& b : bodies) out.u16(b.size());
  for (const auto& b : bodies) out.raw(b);
}

// ---------------------------------------------------------------- device fonts

// The data of a device-font record from a readable description:
//   "face", "family", "id" (hexadecimal text), "charset", "pitch_family",
//   "weight", "italic", "underscore", "strikeout", "ascender", "base_a",
//   "base_c", "aspect": [x, y], "average_width", "max_width", "first",
//   "last", "default", "break" (relative to first), "widths": [one per
//   character first..last] or "width" (every character), "metrics": [13
//   dwords], "kerning": [[c1, c2, kern]], and an extension of double-byte
//   widths: "ranges": [[first, last, width]], "range_arrays": [[first,
//   [widths]]], "pairs": [[code, width]] (sorted by code).
// Offsets in the data count from byte 6.
std::string font_blob(const json& f, const std::string& what) {
  std::string head(87, '\0');
  auto put16 = [&](size_t at, unsigned long v) { head[at] = static_cast<char>(v & 0xFF); head[at + 1] = static_cast<char>((v >> 8) & 0xFF); };
  auto put32 = [&](size_t at, unsigned long v) { put16(at, v & 0xFFFF); put16(at + 2, (v >> 16) & 0xFFFF); };
  auto n = [&](const char* key, unsigned long long fallback) { return field_or(f, key, fallback); };
  const json none = json::array();
  auto list = [&](const char* key) -> const json& { return f.contains(key) ? f[key] : none; };
  const unsigned long first = n("first", 32), last = n("last", 126);
  if (last < first || last > 255) fail(what + ": font first and last characters out of order");
  const json& aspect = list("aspect");
  put16(10, aspect.size() == 2 ? number(aspect[1], what) : 300);
  put16(12, aspect.size() == 2 ? number(aspect[0], what) : 300);
  put16(14, n("ascender", 800) & 0xFFFF);
  put16(16, n("base_a", 0) & 0xFFFF);
  put16(18, n("base_c", 0) & 0xFFFF);
  head[20] = static_cast<char>(n("italic", 0));
  head[21] = static_cast<char>(n("underscore", 0));
  head[22] = static_cast<char>(n("strikeout", 0));
  put16(23, n("weight", 400));
  head[25] = static_cast<char>(n("charset", 0));
  head[30] = static_cast<char>(n("pitch_family", 0));
  put16(31, n("average_width", 0));
  put16(33, n("max_width", 600));
  head[35] = static_cast<char>(first);
  head[36] = static_cast<char>(last);
  head[37] = static_cast<char>(n("default", 0));
  head[38] = static_cast<char>(n("break", 0));
  std::string body;  // from byte 87 on
  auto offset = [&]() { return static_cast<unsigned long>(87 + body.size() - 6); };
  auto w16 = [&](unsigned long v) { body += static_cast<char>(v & 0xFF); body += static_cast<char>((v >> 8) & 0xFF); };
  auto w32 = [&](unsigned long v) { w16(v & 0xFFFF); w16((v >> 16) & 0xFFFF); };
  put32(45, offset());
  body += to_ansi(f.value("face", std::string()), what) + '\0';
  body += to_ansi(f.value("family", f.value("face", std::string())), what) + '\0';
  put32(79, offset());
  body += f.value("id", std::string("0")) + '\0';
  if (f.contains("metrics")) {
    put32(59, offset());
    const json& m = f["metrics"];
    if (m.size() != 13) fail(what + ": metrics are 13 dwords");
    for (const auto& v : m) w32(number(v, what));
  }
  if (f.contains("widths") || f.contains("width")) {
    put32(63, offset());
    for (unsigned long c = first; c <= last; ++c) {
      const json& ws = list("widths");
      w16(f.contains("widths") ? (c - first < ws.size() ? number(ws[c - first], what) : 0) : n("width", 0));
    }
  }
  if (f.contains("kerning")) {
    put32(71, offset());
    w16(f["kerning"].size());
    for (const auto& k : f["kerning"]) {
      body += static_cast<char>(number(k.at(0), what));
      body += static_cast<char>(number(k.at(1), what));
      w16(number(k.at(2), what) & 0xFFFF);
    }
  }
  if (f.contains("ranges") || f.contains("range_arrays") || f.contains("pairs")) {
    const unsigned long ext = offset();
    put32(83, ext);
    std::string table(18, '\0');
    body += table;  // the extension header, filled below
    auto patch32 = [&](unsigned long at, unsigned long v) {
      for (int i = 0; i < 4; ++i) body[at + 6 - 87 + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    if (f.contains("ranges")) {
      patch32(ext + 6, offset());
      w16(f["ranges"].size());
      for (const auto& r : f["ranges"]) { w16(number(r.at(0), what)); w16(number(r.at(1), what)); w16(number(r.at(2), what)); }
    }
    if (f.contains("range_arrays")) {
      const json& ra = f["range_arrays"];
      std::vector<unsigned long> arrays;
      for (const auto& r : ra) {
        arrays.push_back(offset());
        for (const auto& v : r.at(1)) w16(number(v, what));
      }
      patch32(ext + 10, offset());
      w32(0);
      w16(ra.size());
      for (size_t i = 0; i < ra.size(); ++i) {
        const unsigned long lo = number(ra[i].at(0), what);
        w16(lo);
        w16(lo + ra[i].at(1).size() - 1);
        w32(arrays[i]);
      }
    }
    if (f.contains("pairs")) {
      patch32(ext + 14, offset());
      w16(f["pairs"].size());
      for (const auto& p : f["pairs"]) { w16(number(p.at(0), what)); w16(number(p.at(1), what)); }
    }
  }
  return head + body;
}

// ---------------------------------------------------------------- records

// Body of a record after its id.
std::string encode_record(const json& r, WORD kind, DWORD level, const std::string& what) {
  Bytes out;
  if (r.contains("body_hex")) return hex_of(r, "body_hex", what);
  auto w = [&](const char* key) { out.u16(field_or(r, key, 0)); };
  auto b = [&](const char* key) { out.u8(static_cast<unsigned>(field_or(r, key, 0))); };
  auto str = [&](const char* key) { counted_string(out, member(r, key), what + "." + key); };
  auto wl = [&](const char* key) { word_list(out, member(r, key), what + "." + key); };
  auto cl = [&](const char* key) { condition_list(out, member(r, key), what + "." + key); };
  switch (kind) {
    case DDD_KIND_ITEM:
    case DDD_KIND_ITEM_ALT:
      str("name");
      out.u8(static_cast<unsigned>(field_or(r, "flags", member(r, "choices").empty() ? 0 : 1)));
      w("default"); w("dimension");
      wl("choices"); wl("rules"); wl("rules_alt"); w("blob");
      if (level >= DDD_LEVEL_0x400) str("name2");
      break;
    case DDD_KIND_RANGE:
    case DDD_KIND_RANGE_ALT:
      str("name"); w("dimension"); w("word"); wl("ddmids"); wl("second");
      if (level >= DDD_LEVEL_0x200) b("byte");
      if (level >= DDD_LEVEL_0x400) str("name2");
      break;
    case DDD_KIND_RULE:
    case DDD_KIND_RULE_ALT:
      operand(out, member(r, "head"), what + ".head");
      w("flags"); str("text"); cl("conditions");
      framed_list(out, member(r, "actions"), what + ".actions", operand);
      break;
    case DDD_KIND_PICTURE_RULE:
      cl("conditions");
      words(out, member(r, "picture"), 3, what + ".picture");
      break;
    case DDD_KIND_PAPER:
      str("name"); b("byte"); w("size"); w("area"); w("margin"); w("word1"); w("word2");
      if (level >= DDD_LEVEL_0x200) { b("byte2"); w("fourth"); }
      if (level >= DDD_LEVEL_0x500) w("last_word");
      break;
    case DDD_KIND_DEVICE_FONT: {
      str("name"); str("family");
      string_bodies(out, member(r, "faces"), what + ".faces");
      string_bodies(out, member(r, "second"), what + ".second");
      std::string skipped = hex_of(r, "skipped", what);
      out.u16(skipped.size());
      out.raw(skipped);
      std::string data = r.contains("font") ? font_blob(r["font"], what + ".font") : hex_of(r, "data", what);
      out.u32(data.size());
      out.raw(data);
      w("word");
      if (level >= DDD_LEVEL_0x400) {
        const json& values = member(r, "values");
        out.u16(values.is_array() ? values.size() : 0);
        if (values.is_array())
          for (const auto& v : values) typed_value(out, v, what + ".values");
      }
      break;
    }
    case DDD_KIND_PICTURE: {
      b("format"); w("word1"); w("word2");
      std::string skipped = hex_of(r, "skipped", what);
      out.u16(skipped.size());
      out.raw(skipped);
      std::string bitmap = hex_of(r, "bitmap", what);
      if (r.contains("bitmap_file")) {
        std::ifstream f(r["bitmap_file"].get<std::string>(), std::ios::binary);
        if (!f) fail(what + ": cannot read bitmap_file");
        bitmap.assign(std::istreambuf_iterator<char>(f), {});
      }
      out.u32(bitmap.size());
      out.raw(bitmap);
      break;
    }
    case DDD_KIND_CHOICE:
    case DDD_KIND_CHOICE_ALT:
      str("name"); w("target_kind"); w("target_id"); w("dimension"); wl("rules"); wl("rules_alt");
      typed_value(out, r.contains("value") ? r["value"] : json{{"type", 3}, {"value", 0}}, what + ".value");
      w("blob");
      break;
    case DDD_KIND_PJL:
      w("ddmid"); cl("conditions"); str("command"); str("text");
      if (level >= DDD_LEVEL_0x500) w("flags");
      break;
    case DDD_KIND_CONDITIONAL_BYTES: {
      cl("conditions"); b("byte1"); b("byte2");
      std::string bytes = hex_of(r, "bytes", what);
      out.u16(bytes.size());
      out.raw(bytes);
      break;
    }
    case DDD_KIND_DIMENSIONS:
      words(out, member(r, "first"), 2, what + ".first");
      words(out, member(r, "second"), 2, what + ".second");
      break;
    case DDD_KIND_BLOB: {
      std::string bytes = hex_of(r, "bytes", what);
      out.u16(bytes.size());
      out.raw(bytes);
      break;
    }
    case DDD_KIND_19:
      str("text"); b("byte");
      if (level >= DDD_LEVEL_0x400) str("text2");
      break;
    case DDD_KIND_TABLE: {
      unsigned size = static_cast<unsigned>(field_or(r, "element_size", 2));
      std::string elements;
      if (r.contains("hex")) {
        elements = hex_of(r, "hex", what);
      } else {
        for (const auto& e : member(r, "elements")) {
          unsigned long long v = number(e, what + ".elements");
          for (unsigned i = 0; i < size; ++i) elements += static_cast<char>(i < 8 ? (v >> (8 * i)) & 0xFF : 0);
        }
      }
      if (size == 0 || elements.size() % size) fail(what + ": elements do not fit the element size");
      w("word"); b("type"); out.u16(size); out.u32(0); out.u16(elements.size() / size);
      out.raw(elements);
      break;
    }
    case DDD_KIND_KEY_VALUE:
    case DDD_KIND_KEY_VALUE_ALT:
      str("name");
      framed_list(out, member(r, "entries"), what + ".entries", [](Bytes& o, const json& e, const std::string& x) {
        o.u16(number(member(e, "key"), x + ".key"));
        typed_value(o, member(e, "value"), x + ".value");
      });
      break;
    case DDD_KIND_DEVICE_CONFIG:
      w("word1"); w("word2"); b("type"); w("size"); b("byte"); w("word3"); w("word4");
      framed_list(out, member(r, "strings"), what + ".strings", counted_string);
      framed_list(out, member(r, "values"), what + ".values", typed_value);
      break;
    case DDD_KIND_CONDITIONAL_TRIPLES:
      cl("conditions");
      framed_list(out, member(r, "triples"), what + ".triples",
                  [](Bytes& o, const json& e, const std::string& x) { words(o, e, 3, x); });
      break;
    case DDD_KIND_25:
      str("text1"); str("text2");
      break;
    default:
      fail(what + ": record kind " + std::to_string(kind) + " has no table");
  }
  return out.data;
}

// ---------------------------------------------------------------- files

struct Entry {
  WORD kind;
  WORD id;
  BYTE flag;       // 2 stored in the main file, else linked
  int store;       // 0 main, 1 linked
  size_t body;     // index into the storing file's bodies
};

struct FilePlan {
  json description;
  std::string name;
  DWORD level = 0;
  std::vector<Entry> entries;       // this file's kind tables
  std::vector<std::string> bodies;  // records stored in this file (length + id + body)
  std::vector<DWORD> offsets;       // of each body, after layout
};

DWORD parse_level(const json& f) {
  return static_cast<DWORD>(field_or(f, "level", 0x500));
}

std::string header_text(const std::string& utf8, size_t size, const std::string& what) {
  std::string ansi = to_ansi(utf8, what);
  if (ansi.size() >= size) fail(what + ": text longer than " + std::to_string(size - 1) + " bytes");
  ansi.resize(size, '\0');
  return ansi;
}

std::string global_area(const json& fields, const std::string& what) {
  if (!fields.is_null() && !fields.is_object()) fail(what + ": fields must be an object");
  for (auto it = fields.begin(); fields.is_object() && it != fields.end(); ++it) {
    int id = std::atoi(it.key().c_str());
    if (id < 1 || id >= DDD_GLOBAL_FIELD_COUNT || std::to_string(id) != it.key())
      fail(what + ": no global field " + it.key());
  }
  Bytes rest;
  for (WORD id = 1; id < DDD_GLOBAL_FIELD_COUNT; ++id) {
    const DddFieldShape& shape = kDddGlobalFields[id];
    std::string key = std::to_string(id);
    std::string w = what + ".fields." + key;
    json value = fields.is_object() && fields.contains(key) ? fields[key] : json();
    std::vector<json> elements;
    if (shape.count == 0) {
      if (!value.is_null() && !value.is_array()) fail(w + ": must be a list");
      if (value.is_array()) elements.assign(value.begin(), value.end());
      rest.u16(elements.size());
    } else {
      elements.push_back(value);
    }
    for (const auto& e : elements) {
      if (shape.size == 0) {
        counted_string(rest, e, w);
      } else {
        unsigned long long v = e.is_null() ? 0 : number(e, w);
        for (unsigned i = 0; i < shape.size; ++i) {
          if (i >= 8) rest.u8(0);
          else rest.u8(static_cast<unsigned>((v >> (8 * i)) & 0xFF));
        }
        if (shape.size < 8 && (v >> (8 * shape.size)) != 0) fail(w + ": value too large");
      }
    }
  }
  Bytes area;
  area.u32(rest.size());
  area.raw(rest.data);
  return area.data;
}

std::string record_bytes(WORD id, const std::string& body) {
  Bytes out;
  out.u32(body.size() + 2);
  out.u16(id);
  out.raw(body);
  return out.data;
}

std::string layout(FilePlan& plan, const std::string& linked_name) {
  const json& f = plan.description;
  const std::string what = plan.name;
  Bytes out;
  out.raw(header_text(f.value("title", std::string()), DDD_HEADER_TEXT_SIZE, what + ".title"));
  out.raw(header_text(f.value("version", std::string("DDD:1.0.0")), DDD_HEADER_VERSION_SIZE, what + ".version"));
  out.u32(0);
  char level[4];
  store_be32(level, plan.level);
  out.raw(std::string(level, 4));
  out.raw(header_text(f.value("model", std::string()), DDD_HEADER_TEXT_SIZE, what + ".model"));
  out.raw(header_text(linked_name, DDD_HEADER_TEXT_SIZE, what + ".linked_name"));
  out.raw(global_area(member(f, "fields"), what));

  // Directory, then one table per kind, then the record bodies.
  size_t directory = out.size();
  size_t tables = directory + 6 + DDD_KIND_TABLE_COUNT * DDD_DIRECTORY_ENTRY_SIZE;
  std::vector<std::string> table_bytes;
  std::vector<size_t> table_offsets;
  size_t at = tables;
  for (WORD kind : kDddKindOrder) {
    size_t n = 0;
    for (const auto& e : plan.entries) n += e.kind == kind;
    table_offsets.push_back(at);
    at += 6 + n * DDD_TABLE_ENTRY_SIZE;
  }
  plan.offsets.clear();
  for (const auto& b : plan.bodies) {
    plan.offsets.push_back(static_cast<DWORD>(at));
    at += b.size();
  }
  if (at > 0xFFFFFFFFull) fail(what + ": file too large");

  Bytes dir;
  dir.u32(DDD_KIND_TABLE_COUNT * DDD_DIRECTORY_ENTRY_SIZE + 2);
  dir.u16(DDD_KIND_TABLE_COUNT);
  for (size_t i = 0; i < DDD_KIND_TABLE_COUNT; ++i) {
    dir.u8(0); dir.u16(kDddKindOrder[i]);
    dir.u32(table_offsets[i]);
  }
  out.raw(dir.data);
  return out.data;  // tables and bodies are appended once all offsets are known
}

std::string tables_and_bodies(const FilePlan& plan, const std::vector<FilePlan*>& all) {
  Bytes out;
  for (WORD kind : kDddKindOrder) {
    Bytes entries;
    WORD n = 0;
    for (const auto& e : plan.entries) {
      if (e.kind != kind) continue;
      entries.u8(e.flag);
      entries.u16(e.id);
      entries.u32(all[e.store]->offsets[e.body]);
      ++n;
    }
    out.u32(entries.size() + 2);
    out.u16(n);
    out.raw(entries.data);
  }
  for (const auto& b : plan.bodies) out.raw(b);
  return out.data;
}

}  // namespace

Images build_images(const json& description) {
  if (!description.is_object() || !description.contains("main")) fail("the description needs a \"main\" file");
  FilePlan main_plan, linked_plan;
  main_plan.description = description["main"];
  main_plan.name = main_plan.description.value("file", std::string());
  bool has_linked = description.contains("linked");
  if (has_linked) {
    linked_plan.description = description["linked"];
    linked_plan.name = linked_plan.description.value("file", std::string());
    if (linked_plan.name.empty()) fail("linked: needs a file name");
  }
  if (main_plan.name.empty()) fail("main: needs a file name");
  std::vector<FilePlan*> plans{&main_plan, &linked_plan};
  for (int self = 0; self < (has_linked ? 2 : 1); ++self) {
    plans[self]->level = parse_level(plans[self]->description);
  }
  // Record bodies, stored in the file each record names.
  for (int self = 0; self < (has_linked ? 2 : 1); ++self) {
    FilePlan& plan = *plans[self];
    const json& records = member(plan.description, "records");
    std::map<WORD, WORD> positions;
    for (size_t i = 0; records.is_array() && i < records.size(); ++i) {
      const json& r = records[i];
      std::string what = plan.name + ".records[" + std::to_string(i) + "]";
      WORD kind = static_cast<WORD>(number(member(r, "kind"), what + ".kind"));
      WORD position = ++positions[kind];
      WORD id = static_cast<WORD>(field_or(r, "id", position));
      int store = self;
      if (r.contains("in")) {
        std::string in = r["in"].get<std::string>();
        if (in == "main") store = 0;
        else if (in == "linked") store = 1;
        else fail(what + ": \"in\" must be main or linked");
        if (store == 1 && !has_linked) fail(what + ": no linked file to store the record in");
      }
      FilePlan& holder = *plans[store];
      std::string body = encode_record(r, kind, holder.level, what);
      holder.bodies.push_back(record_bytes(id, body));
      BYTE flag = static_cast<BYTE>(field_or(r, "flag", store == 0 ? DDD_ROLE_MAIN : DDD_ROLE_LINKED));
      plan.entries.push_back(Entry{kind, id, flag, store, holder.bodies.size() - 1});
    }
  }
  Images images;
  std::string main_linked = main_plan.description.value("linked_name", has_linked ? linked_plan.name : std::string());
  std::string main_head = layout(main_plan, main_linked);
  std::string linked_head;
  if (has_linked) linked_head = layout(linked_plan, "");
  // Offsets were computed from the head sizes; both heads are final now.
  images[main_plan.name] = main_head + tables_and_bodies(main_plan, plans);
  if (has_linked) images[linked_plan.name] = linked_head + tables_and_bodies(linked_plan, plans);

  // String libraries are resource modules holding one string table.
  const json& libraries = member(description, "string_libraries");
  for (auto it = libraries.begin(); libraries.is_object() && it != libraries.end(); ++it) {
    json source = {{"strings", json::array({{{"table", it.value()}}})}};
    xrs::CompileResult compiled = xrs::compile_resource_text(source.dump(), ".");
    if (compiled.container.empty()) fail("string library " + it.key() + ": " + compiled.error);
    images[it.key()] = std::string(compiled.container.begin(), compiled.container.end());
  }
  return images;
}

void write_images(const Images& images, const std::string& directory) {
  std::filesystem::create_directories(directory);
  for (const auto& [name, bytes] : images) {
    std::ofstream f(directory + "/" + name, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!f) fail("cannot write " + directory + "/" + name);
  }
}

void build_file(const std::string& description_path, const std::string& directory) {
  std::ifstream in(description_path);
  if (!in) fail("cannot read " + description_path);
  json description;
  try {
    description = json::parse(in, nullptr, true, true);
  } catch (const json::exception& e) {
    fail(description_path + ": " + e.what());
  }
  write_images(build_images(description), directory);
}

}  // namespace morva::ddd_build
