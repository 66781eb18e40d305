#include "document.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "win/strings.h"

namespace morva::print_host {

namespace {

using nlohmann::json;

// The line of a document error; thrown by the readers below.
struct BadDocument {
  int line;
  std::string reason;
};

// Objects carry the line they begin on under this key, set while parsing.
constexpr const char* kLineKey = "\x01line";

int line_of(const json& j, int fallback) {
  if (j.is_object()) {
    auto it = j.find(kLineKey);
    if (it != j.end()) return it->get<int>();
  }
  return fallback;
}

[[noreturn]] void bad(int line, const std::string& reason) { throw BadDocument{line, reason}; }

const json& field(const json& j, const char* name, int line) {
  auto it = j.find(name);
  if (it == j.end()) bad(line, std::string("\"") + name + "\" is missing");
  return *it;
}

double number(const json& j, const char* what, int line) {
  if (!j.is_number()) bad(line, std::string(what) + " is not a number");
  return j.get<double>();
}

Point point(const json& j, int line) {
  if (!j.is_array() || j.size() != 2) bad(line, "a point is [x, y]");
  return {number(j[0], "x", line), number(j[1], "y", line)};
}

std::vector<Point> points(const json& j, int line, size_t minimum) {
  if (!j.is_array()) bad(line, "points are a list of [x, y]");
  std::vector<Point> out;
  for (const json& p : j) out.push_back(point(p, line));
  if (out.size() < minimum) bad(line, "at least " + std::to_string(minimum) + " points are needed");
  return out;
}

std::array<double, 4> rect(const json& j, int line) {
  if (!j.is_array() || j.size() != 4) bad(line, "a rectangle is [left, top, right, bottom]");
  return {number(j[0], "left", line), number(j[1], "top", line), number(j[2], "right", line),
          number(j[3], "bottom", line)};
}

COLORREF color(const json& j, int line) {
  if (j.is_string()) {
    const std::string s = j.get<std::string>();
    unsigned r, g, b;
    if (s.size() == 7 && s[0] == '#' && std::sscanf(s.c_str() + 1, "%2x%2x%2x", &r, &g, &b) == 3)
      return r | (g << 8) | (b << 16);
  } else if (j.is_array() && j.size() == 3) {
    int c[3];
    for (int i = 0; i < 3; ++i) {
      c[i] = static_cast<int>(number(j[i], "a colour component", line));
      if (c[i] < 0 || c[i] > 255) bad(line, "colour components lie in 0-255");
    }
    return c[0] | (c[1] << 8) | (c[2] << 16);
  }
  bad(line, "a colour is \"#RRGGBB\" or [r, g, b]");
}

int choice(const json& j, int line, const char* what, std::initializer_list<std::pair<const char*, int>> names) {
  if (j.is_string()) {
    for (const auto& n : names)
      if (j.get<std::string>() == n.first) return n.second;
  }
  std::string list;
  for (const auto& n : names) list += std::string(list.empty() ? "" : ", ") + n.first;
  bad(line, std::string(what) + " is one of " + list);
}

bool boolean(const json& j, const char* name, bool fallback, int line) {
  auto it = j.find(name);
  if (it == j.end()) return fallback;
  if (!it->is_boolean()) bad(line, std::string("\"") + name + "\" is true or false");
  return it->get<bool>();
}

std::u16string text(const json& j, const char* name, int line) {
  const json& v = field(j, name, line);
  if (!v.is_string()) bad(line, std::string("\"") + name + "\" is not a string");
  return utf8_to_u16(v.get<std::string>());
}

std::shared_ptr<Image> image_file(const json& j, int line, const std::string& base) {
  const json& f = field(j, "file", line);
  if (!f.is_string()) bad(line, "\"file\" is not a string");
  std::string path = f.get<std::string>();
  if (!path.empty() && path[0] != '/') path = base + "/" + path;
  auto image = std::make_shared<Image>();
  std::string error;
  if (!load_image(path, image.get(), &error)) bad(line, error);
  return image;
}

int bits(const json& j, int line, int fallback) {
  auto it = j.find("bpp");
  if (it == j.end()) return fallback;
  const int bpp = static_cast<int>(number(*it, "\"bpp\"", line));
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
    bad(line, "\"bpp\" is 1, 4, 8, 16, 24 or 32");
  return bpp;
}

std::vector<PathStep> path_steps(const json& j, int line) {
  if (!j.is_array() || j.empty()) bad(line, "a path is a list of steps");
  std::vector<PathStep> steps;
  bool started = false;
  for (const json& step : j) {
    const int at = line_of(step, line);
    if (!step.is_object()) bad(at, "a path step is {\"move\": ...}, {\"line\": ...}, {\"bezier\": ...} or {\"close\": true}");
    if (step.contains("move")) {
      steps.push_back({PathStep::kMove, {point(step["move"], at)}});
      started = true;
    } else if (step.contains("line")) {
      if (!started) bad(at, "a path begins with a move");
      steps.push_back({PathStep::kLine, points(step["line"], at, 1)});
    } else if (step.contains("bezier")) {
      if (!started) bad(at, "a path begins with a move");
      auto pts = points(step["bezier"], at, 3);
      if (pts.size() % 3) bad(at, "Bezier points come in threes");
      steps.push_back({PathStep::kBezier, pts});
    } else if (step.contains("close")) {
      steps.push_back({PathStep::kClose, {}});
    } else {
      bad(at, "unknown path step");
    }
  }
  return steps;
}

Op read_op(const json& j, int page_line, const std::string& base) {
  const int line = line_of(j, page_line);
  if (!j.is_object()) bad(line, "a drawing call is an object with \"op\"");
  const json& kind = field(j, "op", line);
  if (!kind.is_string()) bad(line, "\"op\" is not a string");
  const std::string op = kind.get<std::string>();
  Op o;
  o.line = line;
  if (op == "pen") {
    o.kind = Op::kPen;
    if (j.contains("style"))
      o.pen.style = choice(j["style"], line, "a pen style",
                           {{"solid", PS_SOLID}, {"dash", PS_DASH}, {"dot", PS_DOT}, {"dashdot", PS_DASHDOT},
                            {"dashdotdot", PS_DASHDOTDOT}, {"null", PS_NULL}});
    if (j.contains("width")) o.pen.width = number(j["width"], "\"width\"", line);
    if (o.pen.width < 0) bad(line, "a pen width is not negative");
    if (j.contains("color")) o.pen.color = color(j["color"], line);
    o.pen.geometric = boolean(j, "geometric", false, line);
    if (j.contains("join"))
      o.pen.join = static_cast<ULONG>(
          choice(j["join"], line, "a join", {{"round", JOIN_ROUND}, {"bevel", JOIN_BEVEL}, {"miter", JOIN_MITER}}));
    if (j.contains("cap"))
      o.pen.cap = static_cast<ULONG>(choice(j["cap"], line, "a cap",
                                            {{"round", ENDCAP_ROUND}, {"square", ENDCAP_SQUARE}, {"flat", ENDCAP_BUTT}}));
  } else if (op == "brush") {
    o.kind = Op::kBrush;
    o.brush.kind = static_cast<Brush::Kind>(
        choice(j.contains("style") ? j["style"] : json("solid"), line, "a brush style",
               {{"solid", Brush::kSolid}, {"hatch", Brush::kHatch}, {"pattern", Brush::kPattern}, {"null", Brush::kNull}}));
    if (j.contains("color")) o.brush.color = color(j["color"], line);
    if (o.brush.kind == Brush::kHatch)
      o.brush.hatch = choice(field(j, "hatch", line), line, "a hatch",
                             {{"horizontal", HS_HORIZONTAL}, {"vertical", HS_VERTICAL}, {"fdiagonal", HS_FDIAGONAL},
                              {"bdiagonal", HS_BDIAGONAL}, {"cross", HS_CROSS}, {"diagcross", HS_DIAGCROSS}});
    if (o.brush.kind == Brush::kPattern) {
      o.brush.pattern = *image_file(j, line, base);
      o.brush.pattern_bpp = bits(j, line, 24);
    }
  } else if (op == "font") {
    o.kind = Op::kFont;
    if (j.contains("face")) o.font.face = text(j, "face", line);
    if (j.contains("size")) o.font.size_pt = number(j["size"], "\"size\"", line);
    if (o.font.size_pt <= 0 || o.font.size_pt > 1000) bad(line, "a font size lies above 0 and up to 1000 points");
    if (j.contains("weight")) o.font.weight = static_cast<LONG>(number(j["weight"], "\"weight\"", line));
    o.font.italic = boolean(j, "italic", false, line);
    o.font.underline = boolean(j, "underline", false, line);
    o.font.strikeout = boolean(j, "strikeout", false, line);
    if (j.contains("charset")) o.font.charset = static_cast<BYTE>(number(j["charset"], "\"charset\"", line));
    if (j.contains("escapement"))
      o.font.escapement = static_cast<LONG>(number(j["escapement"], "\"escapement\"", line));
  } else if (op == "text_color" || op == "bk_color") {
    o.kind = op == "text_color" ? Op::kTextColor : Op::kBkColor;
    o.color = color(field(j, "color", line), line);
  } else if (op == "bk_mode") {
    o.kind = Op::kBkMode;
    o.flag = choice(field(j, "mode", line), line, "a background mode", {{"opaque", 1}, {"transparent", 0}}) != 0;
  } else if (op == "rop2") {
    o.kind = Op::kRop2;
    o.value = static_cast<int>(number(field(j, "mode", line), "\"mode\"", line));
    if (o.value < R2_BLACK || o.value > R2_WHITE) bad(line, "a mix mode lies in 1-16");
  } else if (op == "fill_mode") {
    o.kind = Op::kFillMode;
    o.flag = choice(field(j, "mode", line), line, "a fill mode", {{"winding", 1}, {"alternate", 0}}) != 0;
  } else if (op == "brush_origin") {
    o.kind = Op::kBrushOrigin;
    o.points = {point(field(j, "at", line), line)};
  } else if (op == "text") {
    o.kind = Op::kText;
    o.points = {{number(field(j, "x", line), "\"x\"", line), number(field(j, "y", line), "\"y\"", line)}};
    o.text = text(j, "text", line);
    // A string of glyph indices: the engine hands the driver no text.
    o.flag = boolean(j, "glyph_index", false, line);
  } else if (op == "line") {
    o.kind = Op::kLine;
    o.points = {point(field(j, "from", line), line), point(field(j, "to", line), line)};
  } else if (op == "polyline" || op == "polygon") {
    o.kind = op == "polyline" ? Op::kPolyline : Op::kPolygon;
    o.points = points(field(j, "points", line), line, 2);
  } else if (op == "bezier") {
    o.kind = Op::kBezier;
    o.points = points(field(j, "points", line), line, 4);
    if ((o.points.size() - 1) % 3) bad(line, "a Bezier line is a start point and 3 points per curve");
  } else if (op == "rectangle" || op == "ellipse" || op == "fill") {
    o.kind = op == "rectangle" ? Op::kRectangle : op == "ellipse" ? Op::kEllipse : Op::kFill;
    o.rects = {rect(field(j, "rect", line), line)};
  } else if (op == "path") {
    o.kind = Op::kPath;
    o.steps = path_steps(field(j, "steps", line), line);
    o.stroke = boolean(j, "stroke", true, line);
    o.fill = boolean(j, "fill", false, line);
  } else if (op == "image") {
    o.kind = Op::kImage;
    o.image = image_file(j, line, base);
    o.rects = {rect(field(j, "rect", line), line)};
    o.bpp = bits(j, line, 24);
    o.mask = boolean(j, "mask", false, line);
    if (j.contains("rop")) {
      const json& r = j["rop"];
      if (r.is_string()) o.rop = static_cast<ROP4>(std::stoul(r.get<std::string>(), nullptr, 16));
      else o.rop = static_cast<ROP4>(number(r, "\"rop\"", line));
      if (o.rop > 0xFFFF) bad(line, "a raster operation is 16 bits");
    }
  } else if (op == "clip") {
    if (j.contains("rect")) {
      o.kind = Op::kClipRects;
      o.rects = {rect(j["rect"], line)};
    } else if (j.contains("rects")) {
      o.kind = Op::kClipRects;
      if (!j["rects"].is_array()) bad(line, "\"rects\" is a list of rectangles");
      for (const json& r : j["rects"]) o.rects.push_back(rect(r, line));
    } else if (j.contains("path")) {
      o.kind = Op::kClipPath;
      o.steps = path_steps(j["path"], line);
      o.flag = j.contains("mode") &&
               choice(j["mode"], line, "a fill mode", {{"winding", 1}, {"alternate", 0}}) != 0;
    } else {
      o.kind = Op::kClipNone;
    }
  } else if (op == "escape") {
    o.kind = Op::kEscape;
    o.value = static_cast<int>(number(field(j, "code", line), "\"code\"", line));
    if (j.contains("data")) {
      const json& d = j["data"];
      if (!d.is_string() || d.get<std::string>().size() % 2) bad(line, "\"data\" is hexadecimal bytes");
      const std::string hex = d.get<std::string>();
      for (size_t i = 0; i < hex.size(); i += 2) {
        unsigned b;
        if (std::sscanf(hex.c_str() + i, "%2x", &b) != 1) bad(line, "\"data\" is hexadecimal bytes");
        o.data.push_back(static_cast<BYTE>(b));
      }
    }
  } else {
    bad(line, "unknown drawing call \"" + op + "\"");
  }
  return o;
}

std::map<std::string, std::string> devmode_fields(const json& dm, int line) {
  if (!dm.is_object()) bad(line, "\"devmode\" is an object of DEVMODE fields");
  std::map<std::string, std::string> out;
  for (const auto& [key, value] : dm.items()) {
    if (key == kLineKey) continue;
    if (!value.is_number_integer() && !value.is_string())
      bad(line_of(dm, line), "DEVMODE field " + key + " is a number or a string");
    out[key] = value.is_string() ? value.get<std::string>() : std::to_string(value.get<long long>());
  }
  return out;
}

// The line of every '{' outside strings, in order: the parser's object
// events come in the same order.
std::vector<int> object_lines(const std::string& text) {
  std::vector<int> lines;
  int line = 1;
  bool in_string = false, escaped = false;
  for (char c : text) {
    if (c == '\n') ++line;
    if (in_string) {
      if (escaped) escaped = false;
      else if (c == '\\') escaped = true;
      else if (c == '"') in_string = false;
    } else if (c == '"') {
      in_string = true;
    } else if (c == '{') {
      lines.push_back(line);
    }
  }
  return lines;
}

}  // namespace

bool parse_document(const std::string& source, const std::string& file, const std::string& base_folder,
                    Document* out, std::string* error) {
  const std::vector<int> lines = object_lines(source);
  size_t next_object = 0;
  std::vector<int> open;
  json root;
  try {
    root = json::parse(source, [&](int, json::parse_event_t event, json& parsed) {
      if (event == json::parse_event_t::object_start) {
        open.push_back(next_object < lines.size() ? lines[next_object] : 0);
        ++next_object;
      } else if (event == json::parse_event_t::object_end) {
        if (parsed.is_object()) parsed[kLineKey] = open.empty() ? 0 : open.back();
        if (!open.empty()) open.pop_back();
      }
      return true;
    });
  } catch (const json::parse_error& e) {
    int line = 1;
    for (size_t i = 0; i < e.byte && i < source.size(); ++i)
      if (source[i] == '\n') ++line;
    std::string what = e.what();
    const size_t colon = what.find("parse error");
    *error = file + ":" + std::to_string(line) + ": " + (colon == std::string::npos ? what : what.substr(colon));
    return false;
  }
  try {
    Document doc;
    doc.file = file;
    if (!root.is_object()) bad(1, "a document is an object");
    const int top = line_of(root, 1);
    doc.printer = text(root, "printer", top);
    doc.name = root.contains("document") ? text(root, "document", top) : u"Print host document";
    if (root.contains("units")) {
      const int u = choice(root["units"], top, "the units", {{"pt", 0}, {"px", 1}, {"mm", 2}});
      doc.units = u == 0 ? "pt" : u == 1 ? "px" : "mm";
    }
    if (root.contains("devmode")) doc.devmode = devmode_fields(root["devmode"], top);
    if (root.contains("ddmid")) {
      const json& ids = root["ddmid"];
      if (!ids.is_object()) bad(top, "\"ddmid\" is an object of setting ids");
      for (const auto& [key, value] : ids.items()) {
        if (key == kLineKey) continue;
        char* end = nullptr;
        const unsigned long id = std::strtoul(key.c_str(), &end, 10);
        if (!end || *end || id == 0 || id > 0xFFFF) bad(line_of(ids, top), "\"" + key + "\" is not a setting id");
        if (!value.is_number_integer() && !value.is_string())
          bad(line_of(ids, top), "setting " + key + " is a number or a string");
        doc.ddmid[static_cast<WORD>(id)] =
            value.is_string() ? value.get<std::string>() : std::to_string(value.get<long long>());
      }
    }
    if (root.contains("batches")) {
      const json& b = root["batches"];
      const int at = line_of(b, top);
      if (b.contains("path")) doc.path_batch = static_cast<ULONG>(number(b["path"], "\"path\"", at));
      if (b.contains("glyphs")) doc.glyph_batch = static_cast<ULONG>(number(b["glyphs"], "\"glyphs\"", at));
    }
    const json& pages = field(root, "pages", top);
    if (!pages.is_array() || pages.empty()) bad(top, "\"pages\" is a list of at least one page");
    for (const json& page : pages) {
      const int page_line = line_of(page, top);
      if (!page.is_object()) bad(page_line, "a page is an object with \"ops\"");
      Page p;
      p.line = page_line;
      auto it = page.find("ops");
      if (it != page.end()) {
        if (!it->is_array()) bad(page_line, "\"ops\" is a list of drawing calls");
        for (const json& op : *it) p.ops.push_back(read_op(op, page_line, base_folder));
      }
      if (page.contains("devmode")) p.devmode = devmode_fields(page["devmode"], page_line);
      doc.pages.push_back(std::move(p));
    }
    *out = std::move(doc);
    return true;
  } catch (const BadDocument& e) {
    *error = file + ":" + std::to_string(e.line) + ": " + e.reason;
    return false;
  }
}

bool read_document(const std::string& path, Document* out, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = path + ": cannot be read";
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  const size_t slash = path.find_last_of('/');
  const std::string base = slash == std::string::npos ? "." : path.substr(0, slash);
  return parse_document(text.str(), path, base, out, error);
}

}  // namespace morva::print_host
