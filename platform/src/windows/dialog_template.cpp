#include "win/dialog_template.h"

#include "win/endian.h"

namespace morva::platform {
namespace {

constexpr DWORD kSetFont = 0x40;  // DS_SETFONT; DS_SHELLFONT includes it

// A cursor that never leaves the template's bytes.
class Reader {
 public:
  Reader(const BYTE* p, std::size_t n) : p_(p), n_(n) {}
  bool word(WORD& v) {
    if (at_ + 2 > n_) return false;
    v = load_le16(p_ + at_);
    at_ += 2;
    return true;
  }
  bool dword(DWORD& v) {
    if (at_ + 4 > n_) return false;
    v = load_le32(p_ + at_);
    at_ += 4;
    return true;
  }
  bool sword(SHORT& v) {
    WORD w;
    if (!word(w)) return false;
    v = static_cast<SHORT>(w);
    return true;
  }
  bool byte(BYTE& v) {
    if (at_ + 1 > n_) return false;
    v = p_[at_++];
    return true;
  }
  bool text(std::u16string& s) {
    s.clear();
    for (WORD c;;) {
      if (!word(c)) return false;
      if (c == 0) return true;
      s += static_cast<char16_t>(c);
    }
  }
  bool name(TemplateName& t) {
    WORD first;
    if (at_ + 2 > n_) return false;
    first = load_le16(p_ + at_);
    if (first == 0xFFFF) {
      at_ += 2;
      t.is_ordinal = true;
      return word(t.ordinal);
    }
    return text(t.text);
  }
  bool bytes(std::size_t count, std::vector<BYTE>& out) {
    if (count > n_ - at_) return false;
    out.assign(p_ + at_, p_ + at_ + count);
    at_ += count;
    return true;
  }
  void align4() { at_ = (at_ + 3) & ~std::size_t{3}; }
  bool at_end() const { return at_ >= n_; }

 private:
  const BYTE* p_;
  std::size_t n_;
  std::size_t at_ = 0;
};

bool read_rect(Reader& r, SHORT& x, SHORT& y, SHORT& cx, SHORT& cy) {
  return r.sword(x) && r.sword(y) && r.sword(cx) && r.sword(cy);
}

}  // namespace

bool parse_dialog_template(const void* data, std::size_t size, DialogTemplate& out) {
  out = DialogTemplate{};
  if (!data) return false;
  Reader r(static_cast<const BYTE*>(data), size);
  WORD count = 0;
  if (size >= 4 && load_le16(static_cast<const BYTE*>(data)) == 1 &&
      load_le16(static_cast<const BYTE*>(data) + 2) == 0xFFFF) {
    out.extended = true;
    WORD version, signature;
    if (!r.word(version) || !r.word(signature) || !r.dword(out.help_id) || !r.dword(out.ex_style) ||
        !r.dword(out.style) || !r.word(count))
      return false;
  } else if (!r.dword(out.style) || !r.dword(out.ex_style) || !r.word(count)) {
    return false;
  }
  if (!read_rect(r, out.x, out.y, out.cx, out.cy) || !r.name(out.menu) || !r.name(out.class_name) ||
      !r.text(out.title))
    return false;
  if (out.style & kSetFont) {
    out.has_font = true;
    if (!r.word(out.point_size)) return false;
    if (out.extended && !(r.word(out.weight) && r.byte(out.italic) && r.byte(out.charset))) return false;
    if (!r.text(out.face)) return false;
  }
  for (WORD i = 0; i < count; ++i) {
    r.align4();
    DialogItemTemplate item;
    WORD extra = 0;
    if (out.extended) {
      if (!r.dword(item.help_id) || !r.dword(item.ex_style) || !r.dword(item.style) ||
          !read_rect(r, item.x, item.y, item.cx, item.cy) || !r.dword(item.id))
        return false;
    } else {
      WORD id;
      if (!r.dword(item.style) || !r.dword(item.ex_style) || !read_rect(r, item.x, item.y, item.cx, item.cy) ||
          !r.word(id))
        return false;
      item.id = id;
    }
    if (!r.name(item.class_name) || !r.name(item.title) || !r.word(extra)) return false;
    // In the standard layout the count includes its own WORD.
    std::size_t data_size = out.extended ? extra : (extra >= 2 ? extra - 2u : 0u);
    if (data_size && !r.bytes(data_size, item.creation_data)) return false;
    out.items.push_back(std::move(item));
  }
  return true;
}

}  // namespace morva::platform
