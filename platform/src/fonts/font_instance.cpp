// A face at a size through FreeType: metrics, glyph bitmaps and outlines.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_SYNTHESIS_H

#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "fonts/fonts_internal.h"

namespace morva::platform::fonts {

FontInstance::~FontInstance() = default;

namespace {

constexpr double kPi = 3.14159265358979323846;
// The slant of simulated italics: x moves by this much of y.
constexpr double kItalicSlant = 0.2;

FT_Fixed to_16_16(double v) { return static_cast<FT_Fixed>(std::lround(v * 65536.0)); }

// Sets the size and the transform of a newly opened face.
bool prepare_face(FT_Face face, const FontMatch& match, const FontScale& scale) {
  const double height = scale.em_height > 0 ? scale.em_height : 1;
  const double width = scale.em_width > 0 ? scale.em_width : height;
  if (FT_Set_Char_Size(face, std::lround(width * 64), std::lround(height * 64), 72, 72) != 0) return false;
  // Rotation (counter-clockwise in the font's y-up space) after the slant.
  const double a = scale.angle / 10.0 * kPi / 180.0;
  const double c = std::cos(a), s = std::sin(a);
  const double slant = match.simulate_italic ? kItalicSlant : 0.0;
  FT_Matrix m;
  m.xx = to_16_16(c);
  m.xy = to_16_16(c * slant - s);
  m.yx = to_16_16(s);
  m.yy = to_16_16(s * slant + c);
  FT_Set_Transform(face, scale.angle != 0 || slant != 0 ? &m : nullptr, nullptr);
  return true;
}

class FreeTypeFont final : public FontInstance {
 public:
  FreeTypeFont(FontMatch match, FontScale scale, FT_Face face) : match_(std::move(match)), scale_(scale), face_(face) {}
  ~FreeTypeFont() override {
    std::lock_guard lock(freetype_lock());
    FT_Done_Face(face_);
  }

  const FontMatch& match() const override { return match_; }
  const FontScale& scale() const override { return scale_; }
  TEXTMETRICW text_metrics() const override { return text_metrics_for(match_, scale_); }

  UINT glyph_index(char32_t ch) const override {
    std::lock_guard lock(freetype_lock());
    FT_UInt glyph = FT_Get_Char_Index(face_, ch);
    // Symbol fonts keep their characters in the private area at 0xF000.
    if (!glyph && match_.face->symbol && ch <= 0xFF) glyph = FT_Get_Char_Index(face_, 0xF000 | ch);
    return glyph;
  }

  bool glyph_metrics(UINT glyph, GlyphMetrics* out) const override {
    std::lock_guard lock(freetype_lock());
    // Loading a glyph runs its hinting program: every glyph is measured
    // once per instance.
    if (auto it = metrics_.find(glyph); it != metrics_.end()) {
      *out = it->second;
      return true;
    }
    if (!load(glyph, FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP)) return false;
    FT_BBox box;
    FT_Outline_Get_CBox(&face_->glyph->outline, &box);
    out->advance_x = advance_x_;
    out->advance_y = advance_y_;
    out->box.left = static_cast<LONG>(std::floor(box.xMin / 64.0));
    out->box.right = static_cast<LONG>(std::ceil(box.xMax / 64.0));
    out->box.top = -static_cast<LONG>(std::ceil(box.yMax / 64.0));
    out->box.bottom = -static_cast<LONG>(std::floor(box.yMin / 64.0));
    metrics_.emplace(glyph, *out);
    return true;
  }

  bool render(UINT glyph, bool one_bit, GlyphBitmap* out) const override {
    std::lock_guard lock(freetype_lock());
    const auto key = std::make_pair(glyph, one_bit);
    if (auto it = bitmaps_.find(key); it != bitmaps_.end()) {
      *out = it->second;
      return true;
    }
    const FT_Int32 flags = FT_LOAD_NO_BITMAP | (one_bit ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL);
    if (!load(glyph, flags)) return false;
    if (FT_Render_Glyph(face_->glyph, one_bit ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) != 0) return false;
    const FT_Bitmap& bitmap = face_->glyph->bitmap;
    out->one_bit = one_bit;
    out->width = static_cast<LONG>(bitmap.width);
    out->height = static_cast<LONG>(bitmap.rows);
    out->left = face_->glyph->bitmap_left;
    out->top = face_->glyph->bitmap_top;
    out->pitch = one_bit ? (out->width + 7) / 8 : out->width;
    out->bits.assign(static_cast<size_t>(out->pitch) * out->height, 0);
    const int source_pitch = bitmap.pitch < 0 ? -bitmap.pitch : bitmap.pitch;
    for (LONG row = 0; row < out->height; ++row) {
      const unsigned char* source =
          bitmap.pitch < 0 ? bitmap.buffer + (out->height - 1 - row) * source_pitch : bitmap.buffer + row * source_pitch;
      std::memcpy(out->bits.data() + row * out->pitch, source, out->pitch);
    }
    // Rendered glyphs are kept up to a budget, so large sizes of many
    // glyphs do not pile up.
    if (bitmap_bytes_ + out->bits.size() <= kBitmapBudget) {
      bitmap_bytes_ += out->bits.size();
      bitmaps_.emplace(key, *out);
    }
    return true;
  }

  bool outline(UINT glyph, GlyphOutline* out) const override {
    std::lock_guard lock(freetype_lock());
    if (!load(glyph, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP)) return false;
    if (face_->glyph->format != FT_GLYPH_FORMAT_OUTLINE) return false;
    out->points.clear();
    out->types.clear();
    FT_Outline_Funcs funcs{};
    funcs.move_to = [](const FT_Vector* to, void* user) {
      auto* o = static_cast<Builder*>(user);
      o->close();
      o->add(*to, PT_MOVETO);
      o->last = *to;
      return 0;
    };
    funcs.line_to = [](const FT_Vector* to, void* user) {
      auto* o = static_cast<Builder*>(user);
      o->add(*to, PT_LINETO);
      o->last = *to;
      return 0;
    };
    funcs.conic_to = [](const FT_Vector* control, const FT_Vector* to, void* user) {
      // A quadratic curve is the cubic with controls two thirds of the way
      // from each end toward the quadratic control point.
      auto* o = static_cast<Builder*>(user);
      FT_Vector c1{o->last.x + (control->x - o->last.x) * 2 / 3, o->last.y + (control->y - o->last.y) * 2 / 3};
      FT_Vector c2{to->x + (control->x - to->x) * 2 / 3, to->y + (control->y - to->y) * 2 / 3};
      o->add(c1, PT_BEZIERTO);
      o->add(c2, PT_BEZIERTO);
      o->add(*to, PT_BEZIERTO);
      o->last = *to;
      return 0;
    };
    funcs.cubic_to = [](const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user) {
      auto* o = static_cast<Builder*>(user);
      o->add(*c1, PT_BEZIERTO);
      o->add(*c2, PT_BEZIERTO);
      o->add(*to, PT_BEZIERTO);
      o->last = *to;
      return 0;
    };
    Builder builder{out, {0, 0}};
    if (FT_Outline_Decompose(&face_->glyph->outline, &funcs, &builder) != 0) return false;
    builder.close();
    return true;
  }

 private:
  struct Builder {
    GlyphOutline* out;
    FT_Vector last;
    void add(const FT_Vector& v, BYTE type) {
      out->points.push_back({static_cast<LONG>(v.x), static_cast<LONG>(-v.y)});
      out->types.push_back(type);
    }
    // FreeType contours are always closed.
    void close() {
      if (!out->types.empty() && out->types.back() != PT_MOVETO) out->types.back() |= PT_CLOSEFIGURE;
    }
  };

  // Loads a glyph into the slot with the simulations applied; the advance
  // in device orientation is kept.
  bool load(UINT glyph, FT_Int32 flags) const {
    if (FT_Load_Glyph(face_, glyph, flags) != 0) return false;
    FT_GlyphSlot slot = face_->glyph;
    if (match_.simulate_bold && slot->format == FT_GLYPH_FORMAT_OUTLINE) {
      const long strength = embolden_strength(scale_.em_height);
      FT_Outline_EmboldenXY(&slot->outline, strength, 0);
      // The bolder glyph takes that much more room along the baseline.
      const double a = scale_.angle / 10.0 * kPi / 180.0;
      slot->advance.x += std::lround(strength * std::cos(a));
      slot->advance.y += std::lround(strength * std::sin(a));
    }
    advance_x_ = static_cast<LONG>(slot->advance.x);
    advance_y_ = static_cast<LONG>(-slot->advance.y);
    return true;
  }

  static constexpr std::size_t kBitmapBudget = std::size_t{4} << 20;

  FontMatch match_;
  FontScale scale_;
  FT_Face face_;
  mutable LONG advance_x_ = 0, advance_y_ = 0;
  mutable std::unordered_map<UINT, GlyphMetrics> metrics_;
  mutable std::map<std::pair<UINT, bool>, GlyphBitmap> bitmaps_;
  mutable std::size_t bitmap_bytes_ = 0;
};

}  // namespace

std::shared_ptr<FontInstance> open_font(const FontMatch& match, const FontScale& scale) {
  if (!match.face) return nullptr;
  FT_Face face = nullptr;
  {
    std::lock_guard lock(freetype_lock());
    FT_Library library = freetype_library();
    if (!library || FT_New_Face(library, match.face->file.c_str(), match.face->index, &face) != 0) return nullptr;
    FT_Select_Charmap(face, match.face->symbol ? FT_ENCODING_MS_SYMBOL : FT_ENCODING_UNICODE);
    if (!prepare_face(face, match, scale)) {
      FT_Done_Face(face);
      return nullptr;
    }
  }
  return std::make_shared<FreeTypeFont>(match, scale, face);
}

}  // namespace morva::platform::fonts
