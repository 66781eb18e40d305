// The print-settings preview: which bitmap of each layer the settings call
// for, and the list of loaded bitmaps the preview control paints.
#include "property_sheets/preview.h"

#include "property_sheets/sheet_records.h"
#include "settings/common/common_utils.h"
#include "settings/common/module_state.h"

namespace {

using L = PreviewLayer;

// One index step: false when the input is a value the tables do not know.
class Index {
 public:
  explicit Index(const PreviewSettings& s, int start = 0) : s_(s), i_(start) {}
  int value() const { return i_; }
  bool digit(int radix, int d) {
    if (d < 0 || d >= radix) return false;
    i_ = i_ * radix + d;
    return true;
  }
  bool O() {
    if (s_.orientation != 1 && s_.orientation != 2) return false;
    return digit(2, s_.orientation == 2);
  }
  bool S() {
    if (s_.sheetOrientation != 1 && s_.sheetOrientation != 2) return false;
    return digit(2, s_.sheetOrientation == 2);
  }
  bool N() {
    const LONG n = s_.pagesPerSheet, turn = s_.documentTurn;
    const bool portrait = s_.orientation == 1;
    int t;
    switch (n) {
      case 1: t = !portrait; break;
      case 2: case 8: case 32: t = portrait ? turn != 2 : turn == 1; break;
      case 4: case 16: t = !portrait ? turn != 1 : turn == 2; break;
      default: return false;
    }
    return digit(2, t);
  }
  bool D() {
    i_ *= 2;
    switch (s_.documentTurn) {
      case 0: return true;
      case 1: case 2: i_ += s_.orientation == (s_.documentTurn == 1 ? 2 : 1); return true;
      default: return false;
    }
  }
  bool G() {
    switch (s_.pagesPerSheet) {
      case 1: return true;
      case 2: return (s_.order264 == 1 || s_.order264 == 2) && digit(2, s_.order264 == 2);
      default: return digit(4, s_.order264 - 3);
    }
  }
  bool F() {
    const bool by_turn = s_.pagesPerSheet != 1 && s_.documentTurn != 0;
    switch (s_.side437) {
      case 0: return digit(2, 0);
      case 3: return digit(2, 1);
      case 1: return digit(2, by_turn ? s_.documentTurn == 2 : s_.orientation == 2);
      case 2: return digit(2, by_turn ? s_.documentTurn == 1 : s_.orientation == 1);
      default: return false;
    }
  }
  bool B() {
    const LONG d = s_.duplex, sheet = s_.sheetOrientation;
    const LONG p320 = s_.position320, p341 = s_.position341;
    if ((d == 2 && sheet == 1) || (d == 3 && sheet == 2))
      return digit(2, p320 == 4 || p320 == 5 || p320 == 6 || p320 == 14 || p341 == 3);
    if ((d == 2 && sheet == 2) || (d == 3 && sheet == 1))
      return digit(2, p320 == 6 || p320 == 7 || p320 == 8 || p320 == 15 || p341 == 4);
    return false;
  }
  bool P() {
    if (s_.flag322 != 0 && s_.flag322 != 1) return false;
    return digit(2, s_.flag322);
  }
  bool Lay() {
    switch (s_.layoutCode) {
      case 258: return digit(4, 0);
      case 514: return digit(4, 1);
      case 771: return digit(4, 2);
      case 1028: return digit(4, 3);
      default: return false;
    }
  }

 private:
  const PreviewSettings& s_;
  int i_;
};

// Index of pages per sheet 2, 4, 8, 16, 32; -1 otherwise.
int many_pages_start(LONG n) {
  switch (n) {
    case 2: return 0;
    case 4: return 1;
    case 8: return 2;
    case 16: return 3;
    case 32: return 4;
    default: return -1;
  }
}

class Composer {
 public:
  Composer(const PreviewSettings& s, PreviewLayerEntry* out) : s_(s), out_(out) {}
  INT failure() const { return failure_; }
  INT count() const { return count_; }
  void clear_failure() { failure_ = 0; }

  // Adds row `index` of `layer` when every step held; bitmap-0 rows add
  // nothing.
  void add(L layer, bool steps_held, const Index& index) {
    if (!steps_held) {
      failure_ = 1;
      return;
    }
    const PreviewLayerTable& t = GetPreviewLayerTable(layer);
    const int i = index.value();
    if (i < 0 || static_cast<size_t>(i) >= t.count) {
      failure_ = 1;
      return;
    }
    if (t.rows[i].bitmap == 0) return;
    if (count_ < kPreviewMaxLayers) out_[count_++] = t.rows[i];
  }
  void fail() { failure_ = 1; }

  void group_a() {
    const LONG n = s_.pagesPerSheet;
    const int many = many_pages_start(n);
    {  // A1 sheet
      Index i(s_);
      add(L::kA1Sheet, i.S(), i);
    }
    {  // A2 pages
      if (n == 1) {
        Index i(s_);
        add(L::kA2OnePage, i.O() && i.F(), i);
      } else if (n == 2) {
        Index i(s_);
        add(L::kA2TwoPages, i.O() && i.G() && i.D() && i.F(), i);
      } else if (n == 4 || n == 8 || n == 16) {
        Index i(s_, many - 1);
        add(L::kA2FourToSixteen, i.O() && i.G() && i.D() && i.F(), i);
      } else if (n == 32) {
        Index i(s_);
        add(L::kA2ThirtyTwo, i.O() && i.D() && i.F(), i);
      } else {
        fail();
      }
    }
    if (s_.mode270 != 1) {  // A3 page frames
      if (n == 1) {
        Index i(s_);
        add(L::kA3OnePage, i.O() && i.F(), i);
      } else if (many >= 0) {
        Index i(s_, many);
        add(L::kA3Others, i.O() && i.D() && i.F(), i);
      } else {
        fail();
      }
    }
    if (n == 32) {  // A4
      Index i(s_);
      add(L::kA4ThirtyTwoExtra, i.O() && i.G() && i.D() && i.F(), i);
    }
    duplex_layer(L::kA5OnePage, L::kA5Others);
    if (s_.mode270 != 1) duplex_layer(L::kA6OnePage, L::kA6Others);
    if (s_.duplex == 2 || s_.duplex == 3) {  // A7 binding
      Index i(s_, s_.duplex == 3);
      add(L::kA7Binding, i.S() && i.B(), i);
    }
    staple_layer();
    punch_layer();
  }

  void group_b() {
    if (s_.layoutCode == 259 || s_.layoutCode == 260) {
      group_a();
    } else {  // B1
      Index i(s_, s_.mode270 != 1);
      add(L::kB1LayoutSheet, i.O() && i.Lay() && i.F(), i);
    }
    if (s_.option1285 != 0) {
      Index i(s_);
      add(L::kB2LayoutOverlay, i.O() && i.Lay(), i);
    }
    if (s_.layoutCode == 259 || s_.layoutCode == 260) {
      Index i(s_);
      add(L::kB3WideLayout, i.O() && i.digit(2, s_.layoutCode == 260), i);
    }
  }

  void group_c() {
    auto np = [&](L layer) {
      Index i(s_);
      add(layer, i.N() && i.P(), i);
    };
    auto npf = [&](L layer) {
      Index i(s_);
      add(layer, i.N() && i.P() && i.F(), i);
    };
    if (s_.option446 != 0) np(L::kC1);
    if (s_.option446 != 0 && s_.option56 != 0) np(L::kC2);
    np(L::kC3);
    npf(L::kC4);
    if (s_.mode270 != 1) npf(L::kC5);
    if (s_.option56 != 0) np(L::kC6);
  }

  void common() {
    {  // K1
      Index i(s_);
      add(L::kK1, i.O() && i.digit(4, s_.side437), i);
    }
    if (!s_.colourCapable) {  // K2
      Index i(s_, s_.flag18 != 0);
      add(L::kK2, true, i);
    }
    if (!s_.colourCapable) {  // K3 / K3'
      const int option = s_.option1313 != 0 ? (s_.kind441 == 1 ? 2 : 1) : 0;
      const bool v458_known = s_.value458 >= 0 && s_.value458 <= 2;
      Index i(s_, option);
      if (!s_.optionMask08000000) {
        add(L::kK3, i.digit(3, s_.value332) && v458_known && i.digit(2, s_.value458 == 1), i);
      } else {
        const int v404 = s_.value404 == 0 ? 0 : 1 + (s_.value1340 == 0);
        add(L::kK3Masked, i.digit(2, s_.value406) && i.digit(2, s_.value405) && i.digit(3, v404) && v458_known &&
                              i.digit(2, s_.value458 == 1),
            i);
      }
    }
    {  // K4
      Index i(s_, 2 * (s_.firstOf1296 != 0) + (s_.hasText297 ? 1 : 0));
      add(L::kK4, i.digit(2, s_.value339 == 1), i);
    }
    if (s_.value1330 != 0 || s_.position320 == 9 || s_.position320 == 10 || s_.position341 == 5 ||
        s_.kind448 == 6) {  // K5
      Index i(s_);
      add(L::kK5, i.O(), i);
    }
    if (!s_.colourCapable && s_.kind448 != 0) {  // K6
      int b = -1, extra = 0;
      bool known = true;
      switch (s_.kind448) {
        case 1: case 6: b = 0; extra = s_.value449; known = extra == 0 || extra == 1; break;
        case 2: b = 1; extra = s_.value450; break;
        case 3: b = 2; extra = s_.value450; break;
        case 4: b = 3; extra = s_.value450; break;
        case 5: b = 4; break;
        default: known = false; break;
      }
      if (b >= 1 && b <= 3) known = extra == 0 || extra == 1;
      Index i(s_, 2 * (b < 0 ? 0 : b) + (known ? extra : 0));
      add(L::kK6, known, i);
    }
  }

 private:
  void duplex_layer(L one, L others) {
    if (s_.duplex == 1) return;
    if (s_.duplex != 2 && s_.duplex != 3) {
      fail();
      return;
    }
    const int d = s_.duplex == 3;
    const LONG n = s_.pagesPerSheet;
    if (n == 1) {
      Index i(s_, d);
      add(one, i.O() && i.B() && i.F(), i);
      return;
    }
    const int many = many_pages_start(n);
    if (many < 0) {
      fail();
      return;
    }
    Index i(s_, 5 * d + many);
    add(others, i.O() && i.B() && i.D() && i.F(), i);
  }

  void staple_layer() {
    const LONG p = s_.position320;
    int start;
    if (p == 0) return;
    if (p == 1 || p == 10) start = 0;
    else if (p == 2 || p == 9) start = 1;
    else if (p >= 3 && p <= 8) start = p - 1;
    else if (p >= 11 && p <= 15) start = p - 3;
    else {
      fail();
      return;
    }
    Index i(s_, start);
    add(L::kA8Staple, i.S(), i);
  }

  void punch_layer() {
    const LONG p = s_.position341;
    int start;
    switch (p) {
      case 0: return;
      case 1: case 5: start = 0; break;
      case 2: start = 1; break;
      case 3: start = 2; break;
      case 4: start = 3; break;
      default: fail(); return;
    }
    Index i(s_, start);
    add(L::kA9Punch, i.digit(3, s_.count445) && i.S(), i);
  }

  const PreviewSettings& s_;
  PreviewLayerEntry* out_;
  INT count_ = 0;
  INT failure_ = 0;
};

}  // namespace

LONG DeriveSheetOrientation(LONG orientation, LONG pagesPerSheet) {
  const bool keeps = pagesPerSheet == 1 || pagesPerSheet == 4 || pagesPerSheet == 16;
  if (orientation == 1) return keeps ? 1 : 2;
  return keeps ? 2 : 1;
}

INT CollectPreviewLayers(const PreviewSettings* settings, PreviewLayerEntry out[kPreviewMaxLayers], INT* count) {
  if (!settings || !out || !count) return 1;
  *count = 0;
  Composer c(*settings, out);
  switch (settings->layoutMode) {
    case 0: c.group_a(); break;
    case 1: c.group_b(); break;
    case 2: c.group_c(); break;
    default: return 3;
  }
  if (c.failure()) return c.failure();
  c.common();
  if (c.failure()) return c.failure();
  *count = c.count();
  return 0;
}

INT ComposePreviewLayers(const PreviewSettings* settings, HMODULE module, HWND window, PreviewImage** out,
                         HPALETTE* palette) {
  if (!out) return 1;
  *out = nullptr;
  PreviewLayerEntry entries[kPreviewMaxLayers];
  INT count = 0;
  INT result = CollectPreviewLayers(settings, entries, &count);
  if (result != 0) return result;
  PreviewImage* list = AllocPreviewImages(static_cast<UINT>(count));
  if (!list) return 2;
  INT loaded = 0;
  for (INT k = 0; k < count; ++k) {
    HBITMAP bitmap = nullptr;
    if (LoadPaletteBitmap(module, window, static_cast<WORD>(entries[k].bitmap), palette, &bitmap) != 0) {
      result = 5;
      continue;
    }
    list[loaded++] = PreviewImage{bitmap, entries[k].x, entries[k].y};
  }
  if (loaded == 0) {
    FreePreviewImages(list);
    list = nullptr;
  }
  *out = list;
  return result;
}

INT SelectPreviewImages(HMODULE module, HWND dialog, UINT control_id, PreviewImage** out, HPALETTE* palette) {
  (void)control_id;
  if (!out || !palette) return 1;
  *out = nullptr;
  const SheetContext* context = GetSheetContext(dialog);
  if (!context || !context->state) return 6;
  if (IsDeviceClass3or4(context->state->database)) return 5;
  PreviewSettings settings;
  switch (ReadPreviewSettings(context, &settings)) {
    case 0: break;
    case 2: return 1;
    default: return 3;
  }
  return ComposePreviewLayers(&settings, module ? module : GetResourceModule(), dialog, out, palette);
}
