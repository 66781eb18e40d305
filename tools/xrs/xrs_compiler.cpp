#include "xrs_compiler.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <tuple>

#include "win/strings.h"
#include "win/endian.h"
#include "win/resource_container.h"

namespace morva::xrs {
namespace {

using json = nlohmann::json;
using Bytes = std::vector<std::uint8_t>;

struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A type or name: an id, or a name when id is 0.
struct Key {
  std::uint32_t id = 0;
  std::u16string name;
  bool operator<(const Key& o) const { return std::tie(id, name) < std::tie(o.id, o.name); }
  bool operator==(const Key& o) const { return id == o.id && name == o.name; }
};

struct Resource {
  Key type;
  Key name;
  std::uint16_t language;
  Bytes data;
};

// Window, dialog and control style names the sources may use.
struct StyleName {
  const char* name;
  std::uint32_t value;
};
constexpr StyleName kStyles[] = {
    {"WS_OVERLAPPED", 0x00000000}, {"WS_POPUP", 0x80000000}, {"WS_CHILD", 0x40000000},
    {"WS_MINIMIZE", 0x20000000}, {"WS_VISIBLE", 0x10000000}, {"WS_DISABLED", 0x08000000},
    {"WS_CLIPSIBLINGS", 0x04000000}, {"WS_CLIPCHILDREN", 0x02000000}, {"WS_MAXIMIZE", 0x01000000},
    {"WS_CAPTION", 0x00C00000}, {"WS_BORDER", 0x00800000}, {"WS_DLGFRAME", 0x00400000},
    {"WS_VSCROLL", 0x00200000}, {"WS_HSCROLL", 0x00100000}, {"WS_SYSMENU", 0x00080000},
    {"WS_THICKFRAME", 0x00040000}, {"WS_GROUP", 0x00020000}, {"WS_TABSTOP", 0x00010000},
    {"WS_MINIMIZEBOX", 0x00020000}, {"WS_MAXIMIZEBOX", 0x00010000},
    {"WS_EX_DLGMODALFRAME", 0x00000001}, {"WS_EX_NOPARENTNOTIFY", 0x00000004}, {"WS_EX_TOPMOST", 0x00000008},
    {"WS_EX_TRANSPARENT", 0x00000020}, {"WS_EX_TOOLWINDOW", 0x00000080}, {"WS_EX_WINDOWEDGE", 0x00000100},
    {"WS_EX_CLIENTEDGE", 0x00000200}, {"WS_EX_CONTEXTHELP", 0x00000400}, {"WS_EX_STATICEDGE", 0x00020000},
    {"WS_EX_CONTROLPARENT", 0x00010000},
    {"DS_ABSALIGN", 0x01}, {"DS_SYSMODAL", 0x02}, {"DS_LOCALEDIT", 0x20}, {"DS_SETFONT", 0x40},
    {"DS_MODALFRAME", 0x80}, {"DS_NOIDLEMSG", 0x100}, {"DS_SETFOREGROUND", 0x200}, {"DS_3DLOOK", 0x0004},
    {"DS_FIXEDSYS", 0x0008}, {"DS_NOFAILCREATE", 0x0010}, {"DS_CONTROL", 0x0400}, {"DS_CENTER", 0x0800},
    {"DS_CENTERMOUSE", 0x1000}, {"DS_CONTEXTHELP", 0x2000}, {"DS_SHELLFONT", 0x48},
    {"BS_PUSHBUTTON", 0x0}, {"BS_DEFPUSHBUTTON", 0x1}, {"BS_CHECKBOX", 0x2}, {"BS_AUTOCHECKBOX", 0x3},
    {"BS_RADIOBUTTON", 0x4}, {"BS_3STATE", 0x5}, {"BS_AUTO3STATE", 0x6}, {"BS_GROUPBOX", 0x7},
    {"BS_USERBUTTON", 0x8}, {"BS_AUTORADIOBUTTON", 0x9}, {"BS_OWNERDRAW", 0xB}, {"BS_LEFTTEXT", 0x20},
    {"BS_ICON", 0x40}, {"BS_BITMAP", 0x80}, {"BS_LEFT", 0x100}, {"BS_RIGHT", 0x200}, {"BS_CENTER", 0x300},
    {"BS_TOP", 0x400}, {"BS_BOTTOM", 0x800}, {"BS_VCENTER", 0xC00}, {"BS_PUSHLIKE", 0x1000},
    {"BS_MULTILINE", 0x2000}, {"BS_NOTIFY", 0x4000}, {"BS_FLAT", 0x8000},
    {"ES_LEFT", 0x0}, {"ES_CENTER", 0x1}, {"ES_RIGHT", 0x2}, {"ES_MULTILINE", 0x4}, {"ES_UPPERCASE", 0x8},
    {"ES_LOWERCASE", 0x10}, {"ES_PASSWORD", 0x20}, {"ES_AUTOVSCROLL", 0x40}, {"ES_AUTOHSCROLL", 0x80},
    {"ES_NOHIDESEL", 0x100}, {"ES_OEMCONVERT", 0x400}, {"ES_READONLY", 0x800}, {"ES_WANTRETURN", 0x1000},
    {"ES_NUMBER", 0x2000},
    {"SS_LEFT", 0x0}, {"SS_CENTER", 0x1}, {"SS_RIGHT", 0x2}, {"SS_ICON", 0x3}, {"SS_BLACKRECT", 0x4},
    {"SS_GRAYRECT", 0x5}, {"SS_WHITERECT", 0x6}, {"SS_BLACKFRAME", 0x7}, {"SS_GRAYFRAME", 0x8},
    {"SS_WHITEFRAME", 0x9}, {"SS_SIMPLE", 0xB}, {"SS_LEFTNOWORDWRAP", 0xC}, {"SS_OWNERDRAW", 0xD},
    {"SS_BITMAP", 0xE}, {"SS_ETCHEDHORZ", 0x10}, {"SS_ETCHEDVERT", 0x11}, {"SS_ETCHEDFRAME", 0x12},
    {"SS_NOPREFIX", 0x80}, {"SS_NOTIFY", 0x100}, {"SS_CENTERIMAGE", 0x200}, {"SS_SUNKEN", 0x1000},
    {"SS_ENDELLIPSIS", 0x4000}, {"SS_PATHELLIPSIS", 0x8000},
    {"CBS_SIMPLE", 0x1}, {"CBS_DROPDOWN", 0x2}, {"CBS_DROPDOWNLIST", 0x3}, {"CBS_OWNERDRAWFIXED", 0x10},
    {"CBS_OWNERDRAWVARIABLE", 0x20}, {"CBS_AUTOHSCROLL", 0x40}, {"CBS_OEMCONVERT", 0x80}, {"CBS_SORT", 0x100},
    {"CBS_HASSTRINGS", 0x200}, {"CBS_NOINTEGRALHEIGHT", 0x400}, {"CBS_DISABLENOSCROLL", 0x800},
    {"LBS_NOTIFY", 0x1}, {"LBS_SORT", 0x2}, {"LBS_NOREDRAW", 0x4}, {"LBS_MULTIPLESEL", 0x8},
    {"LBS_OWNERDRAWFIXED", 0x10}, {"LBS_HASSTRINGS", 0x40}, {"LBS_USETABSTOPS", 0x80},
    {"LBS_NOINTEGRALHEIGHT", 0x100}, {"LBS_WANTKEYBOARDINPUT", 0x400}, {"LBS_EXTENDEDSEL", 0x800},
    {"LBS_DISABLENOSCROLL", 0x1000}, {"LBS_NOSEL", 0x4000},
    {"SBS_HORZ", 0x0}, {"SBS_VERT", 0x1},
    {"UDS_WRAP", 0x1}, {"UDS_SETBUDDYINT", 0x2}, {"UDS_ALIGNRIGHT", 0x4}, {"UDS_ALIGNLEFT", 0x8},
    {"UDS_AUTOBUDDY", 0x10}, {"UDS_ARROWKEYS", 0x20}, {"UDS_HORZ", 0x40}, {"UDS_NOTHOUSANDS", 0x80},
    {"TBS_AUTOTICKS", 0x1}, {"TBS_VERT", 0x2}, {"TBS_HORZ", 0x0}, {"TBS_TOP", 0x4}, {"TBS_BOTH", 0x8},
    {"TBS_NOTICKS", 0x10},
    {"LVS_ICON", 0x0}, {"LVS_REPORT", 0x1}, {"LVS_SMALLICON", 0x2}, {"LVS_LIST", 0x3},
    {"LVS_SINGLESEL", 0x4}, {"LVS_SHOWSELALWAYS", 0x8}, {"LVS_SORTASCENDING", 0x10},
    {"LVS_SORTDESCENDING", 0x20}, {"LVS_SHAREIMAGELISTS", 0x40}, {"LVS_NOLABELWRAP", 0x80},
    {"LVS_AUTOARRANGE", 0x100}, {"LVS_EDITLABELS", 0x200}, {"LVS_OWNERDATA", 0x1000},
    {"LVS_NOSCROLL", 0x2000}, {"LVS_NOCOLUMNHEADER", 0x4000}, {"LVS_NOSORTHEADER", 0x8000},
    {"TVS_HASBUTTONS", 0x1}, {"TVS_HASLINES", 0x2}, {"TVS_LINESATROOT", 0x4}, {"TVS_SHOWSELALWAYS", 0x20},
};

// Predefined control classes, written as atoms.
struct ClassAtom {
  const char* name;
  std::uint16_t atom;
};
constexpr ClassAtom kClassAtoms[] = {
    {"BUTTON", 0x80}, {"EDIT", 0x81}, {"STATIC", 0x82}, {"LISTBOX", 0x83}, {"SCROLLBAR", 0x84}, {"COMBOBOX", 0x85},
};

// Resource sources must be valid UTF-8: the platform's conversion replaces
// what is not, so a text that does not convert back unchanged is refused.
std::u16string utf16(const std::string& s) {
  std::u16string out = morva::utf8_to_u16(s);
  if (morva::u16_to_utf8(out) != s) throw Failure("text is not UTF-8");
  return out;
}

std::string trim(const std::string& s) {
  auto b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return "";
  auto e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

std::int64_t parse_number(const std::string& text) {
  std::string t = trim(text);
  if (t.empty()) throw Failure("empty number");
  std::size_t used = 0;
  long long v;
  try {
    v = std::stoll(t, &used, 0);
  } catch (const std::exception&) {
    throw Failure("not a number: \"" + t + "\"");
  }
  if (used != t.size()) throw Failure("not a number: \"" + t + "\"");
  return v;
}

std::int64_t number(const json& v, const char* what) {
  if (v.is_number_integer()) return v.get<std::int64_t>();
  if (v.is_string()) return parse_number(v.get<std::string>());
  throw Failure(std::string(what) + " must be a number");
}

std::int64_t number_in(const json& obj, const char* key, std::int64_t fallback, std::int64_t lo, std::int64_t hi) {
  if (!obj.contains(key)) return fallback;
  std::int64_t v = number(obj[key], key);
  if (v < lo || v > hi) throw Failure(std::string(key) + " out of range: " + std::to_string(v));
  return v;
}

std::uint32_t style(const json& obj, const char* key) {
  if (!obj.contains(key)) return 0;
  const json& v = obj[key];
  if (v.is_number_integer()) return static_cast<std::uint32_t>(v.get<std::int64_t>());
  if (!v.is_string()) throw Failure(std::string(key) + " must be a number or style names");
  std::uint32_t out = 0;
  std::string s = v.get<std::string>();
  std::size_t start = 0;
  while (start <= s.size()) {
    auto end = s.find('|', start);
    if (end == std::string::npos) end = s.size();
    std::string part = trim(s.substr(start, end - start));
    if (part.empty()) throw Failure("empty part in style \"" + s + "\"");
    if (part[0] >= '0' && part[0] <= '9') {
      out |= static_cast<std::uint32_t>(parse_number(part));
    } else {
      auto it = std::find_if(std::begin(kStyles), std::end(kStyles), [&](const StyleName& n) { return part == n.name; });
      if (it == std::end(kStyles)) throw Failure("unknown style name " + part);
      out |= it->value;
    }
    start = end + 1;
  }
  return out;
}

Key key(const json& v, const char* what) {
  Key k;
  if (v.is_string() && v.get<std::string>().size() > 1 && v.get<std::string>()[0] == '#')
    return key(json(v.get<std::string>().substr(1)), what);
  if (v.is_string() && !v.get<std::string>().empty() && !(v.get<std::string>()[0] >= '0' && v.get<std::string>()[0] <= '9')) {
    for (char16_t c : utf16(v.get<std::string>())) k.name += (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c;
    return k;
  }
  std::int64_t id = number(v, what);
  if (id < 1 || id > 0xFFFF) throw Failure(std::string(what) + " out of range: " + std::to_string(id));
  k.id = static_cast<std::uint32_t>(id);
  return k;
}

void put16(Bytes& b, std::uint32_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(Bytes& b, std::uint32_t v) {
  put16(b, v & 0xFFFF);
  put16(b, v >> 16);
}
void put_text(Bytes& b, const std::u16string& s) {
  for (char16_t c : s) put16(b, c);
  put16(b, 0);
}
void align(Bytes& b, std::size_t a) {
  while (b.size() % a) b.push_back(0);
}

Bytes read_file(const std::filesystem::path& path, std::vector<std::string>& inputs) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Failure("cannot read " + path.string());
  inputs.push_back(path.string());
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class Compiler {
 public:
  explicit Compiler(std::vector<std::string>& inputs) : inputs_(inputs) {}

  void add_source(const json& doc, const std::filesystem::path& base) {
    if (!doc.is_object()) throw Failure("a source is one JSON object");
    base_ = base;
    language_ = static_cast<std::uint16_t>(number_in(doc, "language", 0x0409, 0, 0xFFFF));
    for (const auto& [k, v] : doc.items()) {
      if (k == "language") continue;
      static const char* const kSections[] = {"strings", "dialogs", "bitmaps", "icons", "raw"};
      if (std::find(std::begin(kSections), std::end(kSections), k) == std::end(kSections))
        throw Failure("unknown section \"" + k + "\"");
      if (!v.is_array()) throw Failure("\"" + k + "\" must be a list");
      for (const auto& item : v) {
        if (!item.is_object()) throw Failure("entries of \"" + k + "\" are objects");
        if (k == "strings") strings(item);
        else if (k == "dialogs") dialog(item);
        else if (k == "bitmaps") bitmap(item);
        else if (k == "icons") icon(item);
        else raw(item);
      }
    }
  }

  Bytes finish() {
    // String tables: blocks of 16, block n + 1 holding ids 16n .. 16n + 15.
    for (const auto& [lang, table] : strings_) {
      std::map<std::uint32_t, std::map<std::uint32_t, std::u16string>> blocks;
      for (const auto& [id, text] : table) blocks[(id >> 4) + 1][id & 15] = text;
      for (const auto& [block, texts] : blocks) {
        Bytes data;
        for (std::uint32_t i = 0; i < 16; ++i) {
          auto it = texts.find(i);
          std::u16string t = it == texts.end() ? std::u16string() : it->second;
          put16(data, static_cast<std::uint32_t>(t.size()));
          for (char16_t c : t) put16(data, c);
        }
        add({6, {}}, {block, {}}, lang, std::move(data));
      }
    }
    return layout();
  }

 private:
  std::uint16_t language_of(const json& item) {
    return static_cast<std::uint16_t>(number_in(item, "language", language_, 0, 0xFFFF));
  }

  void add(Key type, Key name, std::uint16_t lang, Bytes data) {
    for (const auto& r : resources_)
      if (r.type == type && r.name == name && r.language == lang)
        throw Failure("duplicate resource (type " + describe(type) + ", name " + describe(name) + ", language " +
                      std::to_string(lang) + ")");
    resources_.push_back({std::move(type), std::move(name), lang, std::move(data)});
  }

  static std::string describe(const Key& k) {
    if (k.id) return std::to_string(k.id);
    std::string s;
    for (char16_t c : k.name) s += c < 0x80 ? static_cast<char>(c) : '?';
    return s;
  }

  void strings(const json& item) {
    std::uint16_t lang = language_of(item);
    if (!item.contains("table") || !item["table"].is_object()) throw Failure("a string table needs \"table\"");
    auto& table = strings_[lang];
    for (const auto& [id_text, text] : item["table"].items()) {
      std::int64_t id = parse_number(id_text);
      if (id < 0 || id > 0xFFFF) throw Failure("string id out of range: " + id_text);
      if (!text.is_string()) throw Failure("string " + id_text + " must be text");
      std::u16string t = utf16(text.get<std::string>());
      if (t.empty() || t.size() > 0xFFFF) throw Failure("string " + id_text + " is empty or too long");
      if (!table.emplace(static_cast<std::uint32_t>(id), t).second)
        throw Failure("duplicate string " + id_text + " in language " + std::to_string(lang));
    }
  }

  // A menu, class or text field of a template: 0 for none, 0xFFFF and an
  // ordinal, or a string.
  static void put_name_or_ordinal(Bytes& b, const json& v) {
    if (v.is_null()) {
      put16(b, 0);
    } else if (v.is_number_integer()) {
      put16(b, 0xFFFF);
      put16(b, static_cast<std::uint32_t>(v.get<std::int64_t>()) & 0xFFFF);
    } else if (v.is_string()) {
      put_text(b, utf16(v.get<std::string>()));
    } else {
      throw Failure("a template field must be text or a number");
    }
  }

  void dialog(const json& d) {
    if (!d.contains("id")) throw Failure("a dialog needs \"id\"");
    Key name = key(d["id"], "dialog id");
    const json controls = d.value("controls", json::array());
    if (!controls.is_array()) throw Failure("\"controls\" must be a list");
    std::uint32_t st = style(d, "style");
    if (d.contains("font")) st |= 0x40;  // DS_SETFONT
    Bytes b;
    put32(b, st);
    put32(b, style(d, "ex_style"));
    put16(b, static_cast<std::uint32_t>(controls.size()));
    for (const char* f : {"x", "y", "cx", "cy"}) put16(b, static_cast<std::uint32_t>(number_in(d, f, 0, -32768, 32767)) & 0xFFFF);
    put_name_or_ordinal(b, d.contains("menu") ? d["menu"] : json());
    put_name_or_ordinal(b, d.contains("class") ? d["class"] : json());
    put_text(b, d.contains("caption") ? utf16(d["caption"].get<std::string>()) : std::u16string());
    if (st & 0x40) {
      const json font = d.value("font", json::object());
      put16(b, static_cast<std::uint32_t>(number_in(font, "size", 8, 1, 72)));
      put_text(b, utf16(font.value("face", std::string("MS Shell Dlg"))));
    }
    for (const auto& c : controls) {
      if (!c.is_object()) throw Failure("a control is an object");
      align(b, 4);
      put32(b, style(c, "style"));
      put32(b, style(c, "ex_style"));
      for (const char* f : {"x", "y", "cx", "cy"}) put16(b, static_cast<std::uint32_t>(number_in(c, f, 0, -32768, 32767)) & 0xFFFF);
      put16(b, static_cast<std::uint32_t>(number_in(c, "id", 0xFFFF, -1, 0xFFFF)) & 0xFFFF);
      if (!c.contains("class") || !c["class"].is_string()) throw Failure("a control needs \"class\"");
      std::string cls = c["class"].get<std::string>();
      std::string upper = cls;
      for (auto& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
      auto atom = std::find_if(std::begin(kClassAtoms), std::end(kClassAtoms), [&](const ClassAtom& a) { return upper == a.name; });
      if (atom != std::end(kClassAtoms)) {
        put16(b, 0xFFFF);
        put16(b, atom->atom);
      } else {
        put_text(b, utf16(cls));
      }
      put_name_or_ordinal(b, c.contains("text") ? c["text"] : json(""));
      put16(b, 0);  // no creation data
    }
    add({5, {}}, name, language_of(d), std::move(b));
  }

  void bitmap(const json& item) {
    if (!item.contains("id") || !item.contains("file")) throw Failure("a bitmap needs \"id\" and \"file\"");
    Bytes file = read_file(base_ / item["file"].get<std::string>(), inputs_);
    if (file.size() < 14 + 40 || file[0] != 'B' || file[1] != 'M') throw Failure("not a BMP file: " + item["file"].get<std::string>());
    add({2, {}}, key(item["id"], "bitmap id"), language_of(item), Bytes(file.begin() + 14, file.end()));
  }

  void icon(const json& item) {
    if (!item.contains("id") || !item.contains("file")) throw Failure("an icon needs \"id\" and \"file\"");
    std::string name = item["file"].get<std::string>();
    Bytes file = read_file(base_ / name, inputs_);
    if (file.size() < 6 || load_le16(&file[0]) != 0 || load_le16(&file[2]) != 1) throw Failure("not an ICO file: " + name);
    std::uint16_t count = load_le16(&file[4]);
    if (count == 0 || 6u + 16u * count > file.size()) throw Failure("bad icon directory: " + name);
    std::uint16_t lang = language_of(item);
    Bytes group;
    put16(group, 0);
    put16(group, 1);
    put16(group, count);
    for (std::uint16_t i = 0; i < count; ++i) {
      const std::uint8_t* e = &file[6 + 16 * i];
      std::uint32_t size = load_le32(e + 8), offset = load_le32(e + 12);
      if (offset > file.size() || size > file.size() - offset) throw Failure("icon image outside the file: " + name);
      std::uint16_t id = ++icon_ids_;
      add({3, {}}, {id, {}}, lang, Bytes(file.begin() + offset, file.begin() + offset + size));
      group.insert(group.end(), e, e + 12);
      put16(group, id);
    }
    add({14, {}}, key(item["id"], "icon id"), lang, std::move(group));
  }

  void raw(const json& item) {
    if (!item.contains("type") || !item.contains("id")) throw Failure("a raw resource needs \"type\" and \"id\"");
    Bytes data;
    if (item.contains("file")) {
      data = read_file(base_ / item["file"].get<std::string>(), inputs_);
    } else if (item.contains("hex")) {
      std::string hex;
      for (char c : item["hex"].get<std::string>())
        if (!std::isspace(static_cast<unsigned char>(c))) hex += c;
      if (hex.size() % 2) throw Failure("odd number of hex digits");
      for (std::size_t i = 0; i < hex.size(); i += 2) {
        if (!std::isxdigit(static_cast<unsigned char>(hex[i])) || !std::isxdigit(static_cast<unsigned char>(hex[i + 1])))
          throw Failure("not a hex digit in \"hex\"");
        data.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
      }
    } else if (item.contains("text")) {
      std::string t = item["text"].get<std::string>();
      data.assign(t.begin(), t.end());
    } else {
      throw Failure("a raw resource needs \"file\", \"hex\" or \"text\"");
    }
    add(key(item["type"], "raw type"), key(item["id"], "raw id"), language_of(item), std::move(data));
  }

  Bytes layout() {
    std::sort(resources_.begin(), resources_.end(), [](const Resource& a, const Resource& b) {
      return std::tie(a.type, a.name, a.language) < std::tie(b.type, b.name, b.language);
    });
    Bytes pool;
    std::map<std::u16string, std::uint32_t> pooled;
    auto pool_ref = [&](const Key& k) -> std::uint32_t {
      if (k.id) return k.id;
      auto it = pooled.find(k.name);
      if (it != pooled.end()) return kNamedResource | it->second;
      auto at = static_cast<std::uint32_t>(pool.size());
      put_text(pool, k.name);
      pooled[k.name] = at;
      return kNamedResource | at;
    };
    std::vector<std::pair<std::uint32_t, std::uint32_t>> refs;
    for (const auto& r : resources_) refs.emplace_back(pool_ref(r.type), pool_ref(r.name));

    Bytes out(kHeaderSize + kEntrySize * resources_.size(), 0);
    std::size_t pool_at = out.size();
    out.insert(out.end(), pool.begin(), pool.end());
    std::vector<std::uint32_t> offsets;
    for (const auto& r : resources_) {
      align(out, kDataAlignment);
      offsets.push_back(static_cast<std::uint32_t>(out.size()));
      out.insert(out.end(), r.data.begin(), r.data.end());
    }
    if (out.size() > 0xFFFFFFFFu) throw Failure("container larger than 4 GB");
    std::memcpy(&out[header::magic], kMagic, 4);
    store_le16(&out[header::version], kVersion);
    store_le32(&out[header::count], static_cast<std::uint32_t>(resources_.size()));
    store_le32(&out[header::directory], kHeaderSize);
    store_le32(&out[header::names], static_cast<std::uint32_t>(pool_at));
    store_le32(&out[header::names_size], static_cast<std::uint32_t>(pool.size()));
    store_le32(&out[header::file_size], static_cast<std::uint32_t>(out.size()));
    for (std::size_t i = 0; i < resources_.size(); ++i) {
      std::uint8_t* e = &out[kHeaderSize + i * kEntrySize];
      store_le32(e + entry::type, refs[i].first);
      store_le32(e + entry::name, refs[i].second);
      store_le16(e + entry::language, resources_[i].language);
      store_le32(e + entry::offset, offsets[i]);
      store_le32(e + entry::size, static_cast<std::uint32_t>(resources_[i].data.size()));
    }
    return out;
  }

  std::vector<std::string>& inputs_;
  std::filesystem::path base_;
  std::uint16_t language_ = 0x0409;
  std::uint16_t icon_ids_ = 0;
  std::map<std::uint16_t, std::map<std::uint32_t, std::u16string>> strings_;
  std::vector<Resource> resources_;
};

CompileResult run(const std::vector<std::pair<std::string, std::string>>& sources, bool from_files) {
  CompileResult result;
  Compiler compiler(result.inputs);
  std::string current;
  try {
    for (const auto& [name, text_or_base] : sources) {
      current = name;
      json doc;
      std::filesystem::path base;
      if (from_files) {
        Bytes bytes = read_file(name, result.inputs);
        doc = json::parse(bytes.begin(), bytes.end());
        base = std::filesystem::path(name).parent_path();
      } else {
        doc = json::parse(name);
        base = text_or_base;
        current = "<text>";
      }
      compiler.add_source(doc, base);
    }
    current.clear();
    result.container = compiler.finish();
  } catch (const std::exception& e) {
    result.container.clear();
    result.error = (current.empty() ? std::string() : current + ": ") + e.what();
  }
  return result;
}

}  // namespace

CompileResult compile_resources(const std::vector<std::string>& sources) {
  std::vector<std::pair<std::string, std::string>> s;
  for (const auto& p : sources) s.emplace_back(p, std::string());
  return run(s, true);
}

CompileResult compile_resource_text(const std::string& json_text, const std::string& base_dir) {
  return run({{json_text, base_dir}}, false);
}

}  // namespace morva::xrs
