#include "render/colour_context.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "win/codepage.h"
#include "win/modules.h"
#include "win/format.h"
#include "win/msgbox.h"
#include "win/resources.h"
#include "win/window.h"

namespace morva::gfx {

namespace {

constexpr DWORD kTemperatures[3] = {5000, 6500, 9300};
constexpr DWORD kToneTypes[5] = {0x0A, 0x0E, 0x12, 0x16, 0x1A};
constexpr char16_t kProfileWarning[] =
    u"ICCプロファイルが使用できません。\n色補正を実施せず印刷処理を続行します。";
constexpr char16_t kWarningCaption[] = u"警告";

bool any(const LONG v[3]) { return v[0] || v[1] || v[2]; }

std::string ansi(const std::u16string& s) {
  if (s.empty()) return {};
  int n = WideCharToMultiByte(CP_ACP, 0, s.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, s.c_str(), -1, out.data(), n, nullptr, nullptr);
  out.resize(std::strlen(out.c_str()));
  return out;
}

// Asks whether to print without the profile: true for OK.
bool warn_profile(HMODULE resources, const std::u16string& path) {
  std::u16string text = kProfileWarning;
  WCHAR format[512];
  if (resources && LoadStringW(resources, 1, format, 512) > 0) {
    WCHAR buffer[1024];
    if (wsprintfW(buffer, format, path.c_str()) > 0) text = buffer;
  }
  return MessageBoxW(GetActiveWindow(), text.c_str(), kWarningCaption, MB_ICONINFORMATION | MB_OKCANCEL) == IDOK;
}

void swap_rb(BYTE* p, DWORD pixels) {
  for (DWORD i = 0; i < pixels; ++i, p += 3) std::swap(p[0], p[2]);
}

// The transforms of the colour corrections, on RGB pixels in place.
void apply_transform(const render::IccTransform* t, BYTE* p, DWORD pixels) {
  if (!t || t->mode == render::kIccModeNone) return;
  swap_rb(p, pixels);
  render::ConvertPixelsGrid(t, p, p, pixels);
  swap_rb(p, pixels);
}

void apply_matrix(const ColorAdjustMatrix* m, BYTE* p, DWORD pixels) {
  if (!m) return;
  swap_rb(p, pixels);
  ApplyColorAdjustMatrix(m, p, p, pixels);
  swap_rb(p, pixels);
}

// Loads the outside library and binds its seven entry points; a library
// that is missing, lacks an entry point or gives no handle stays off.
void load_library(ColourLibrary* lib, const ColourSettings& s) {
  *lib = {};
  if (s.library_path.empty()) return;
  HMODULE module = LoadLibraryW(s.library_path.c_str());
  if (!module) return;
  ColourLibrary b{};
  b.module = module;
  b.load = morva_proc_as<KpeLoad>(GetProcAddress(module, "KPE_LoadKPE32"));
  b.free = morva_proc_as<KpeFree>(GetProcAddress(module, "KPE_FreeKPE32"));
  b.begin = morva_proc_as<KpeBegin>(GetProcAddress(module, "KPE_CreateParam_Begin32"));
  b.param = morva_proc_as<KpeParam>(GetProcAddress(module, "KPE_CreateParam32"));
  b.end = morva_proc_as<KpeEnd>(GetProcAddress(module, "KPE_CreateParam_End32"));
  b.remove = morva_proc_as<KpeDelete>(GetProcAddress(module, "KPE_DeleteParam32"));
  b.convert = morva_proc_as<KpeConvert>(GetProcAddress(module, "KPE_ColorConvert32"));
  if (b.load && b.free && b.begin && b.param && b.end && b.remove && b.convert) {
    b.handle = b.load(s.library_data_path.c_str());
    if (b.handle) {
      *lib = b;
      return;
    }
  }
  FreeLibrary(module);
}

BYTE inverted_grey(const BYTE* p) { return static_cast<BYTE>(~((77 * p[0] + 151 * p[1] + 28 * p[2]) >> 8)); }

}  // namespace

WORD BuildColourParams(const ColourSettings& s) {
  WORD bits = 0;
  const bool colour = s.colour_mode != 1;
  if (s.per_object == 1) {
    if ((s.sets_on & 0x1) && any(s.set_a)) bits |= kCorrectMatrixA | (colour && s.gain_a == 1 ? kCorrectGainA : 0);
    if ((s.sets_on & 0x2) && any(s.set_b)) bits |= kCorrectMatrixB | (colour && s.gain_b == 1 ? kCorrectGainB : 0);
    if ((s.sets_on & 0x4) && any(s.set_c)) bits |= kCorrectMatrixC;
  } else if ((s.sets_on & 0x7) && any(s.common)) {
    bits |= kCorrectMatrixCommon;
    if (colour && (s.gain_a == 1 || s.gain_b == 1)) bits |= kCorrectGainCommon;
  }
  if (s.correction_kind == 1 && s.temperature >= 0 && s.temperature <= 2 && s.tone >= 0 && s.tone <= 4)
    bits |= kCorrectPreset;
  if (s.correction_kind == 2) {
    if (s.profile1_on == 1 && !s.profile1_path.empty()) bits |= kCorrectProfile1;
    if (s.profile2_on == 1 && ((s.profile2_same == 1 && !s.profile1_path.empty()) ||
                               (s.profile2_same == 0 && !s.profile2_path.empty())))
      bits |= kCorrectProfile2;
  }
  if (s.library_parameter != 0) bits |= kCorrectLibrary;
  return static_cast<WORD>(bits);
}

INT ColourContext_CreateFrom(ColourContext** out, const ColourSettings& s, HMODULE resources) {
  if (!out) return -1;
  *out = nullptr;
  auto* c = new (std::nothrow) ColourContext{};
  if (!c) return -2;
  c->settings = s;
  render::InitIccTransform(&c->transforms[0]);
  render::InitIccTransform(&c->transforms[1]);
  WORD bits = BuildColourParams(s);
  auto matrix = [&](int i, const LONG v[3], const ColorAdjustMatrix** slot) {
    if (BuildColorAdjustMatrix(&c->matrices[i], v[0], v[1], v[2]) == 0) *slot = &c->matrices[i];
  };
  auto gain = [&](int i, const LONG v[3], const render::GainOffset** slot) {
    if (render::ColourGainOffset(&c->gains[i], v[0], v[2]) == 0) *slot = &c->gains[i];
  };
  if (bits & kCorrectMatrixA) matrix(0, s.set_a, &c->matrix_a);
  if (bits & kCorrectMatrixB) matrix(1, s.set_b, &c->matrix_b);
  if (bits & kCorrectMatrixC) matrix(2, s.set_c, &c->matrix_c);
  if (bits & kCorrectGainA) gain(0, s.set_a, &c->gain_a);
  if (bits & kCorrectGainB) gain(1, s.set_b, &c->gain_b);
  if (bits & kCorrectMatrixCommon) {
    matrix(0, s.common, &c->matrix_a);
    c->matrix_b = c->matrix_c = c->matrix_a;
  }
  if (bits & kCorrectGainCommon) {
    gain(0, s.common, &c->gain_a);
    c->gain_b = c->gain_a;
  }
  if (c->matrix_a) bits &= static_cast<WORD>(~(kCorrectMatrixA | kCorrectMatrixCommon));
  if (c->matrix_b) bits &= static_cast<WORD>(~kCorrectMatrixB);
  if (c->matrix_c) bits &= static_cast<WORD>(~kCorrectMatrixC);
  if (c->gain_a) bits &= static_cast<WORD>(~(kCorrectGainA | kCorrectGainCommon));
  if (c->gain_b) bits &= static_cast<WORD>(~kCorrectGainB);
  if ((bits & kCorrectPreset) &&
      render::SelectColourTemperature(&c->transforms[0], kTemperatures[s.temperature], kToneTypes[s.tone]) == 0) {
    c->first = &c->transforms[0];
    bits &= static_cast<WORD>(~kCorrectPreset);
  }
  bool first_failed = false;
  if (bits & kCorrectProfile1) {
    if (render::LoadIccProfile(&c->transforms[0], ansi(s.profile1_path).c_str()) == 0) {
      c->first = c->profile1 = &c->transforms[0];
      bits &= static_cast<WORD>(~kCorrectProfile1);
    } else {
      c->first = nullptr;
      first_failed = true;
      if (!warn_profile(resources, s.profile1_path)) {
        ColourContext_Destroy(&c);
        return -3;
      }
    }
  }
  if ((bits & kCorrectProfile2) && !first_failed) {
    if (s.profile2_same == 1) {
      c->profile2 = c->profile1;
      bits &= static_cast<WORD>(~kCorrectProfile2);
    } else if (render::LoadIccProfile(&c->transforms[1], ansi(s.profile2_path).c_str()) == 0) {
      c->profile2 = &c->transforms[1];
      bits &= static_cast<WORD>(~kCorrectProfile2);
    } else if (!warn_profile(resources, s.profile2_path)) {
      ColourContext_Destroy(&c);
      return -4;
    }
  }
  if (bits & kCorrectLibrary) {
    load_library(&c->library, s);
    if (c->library.handle) bits &= static_cast<WORD>(~kCorrectLibrary);
  }
  c->correction = bits;
  *out = c;
  return 0;
}

int ImageBatchDecision(ImageBatchState* st, DWORD bits, DWORD w, DWORD h, DWORD source_kind, DWORD rop,
                       bool same_depth_continues) {
  if ((bits != 16 && bits != 24 && bits != 32) || source_kind != 2 || rop != 0xCC) {
    *st = {};
    return kBatchNone;
  }
  auto start = [&] {
    *st = {bits, w, h, w, h};
    return kBatchNew;
  };
  if (st->bits != bits) return start();
  if (same_depth_continues) return kBatchContinue;
  if (st->cw && st->ch) {
    if (w == st->cw) {
      if (h != st->ch) st->ch = 0;
      return kBatchContinue;
    }
    if (h == st->ch) {
      st->cw = 0;
      return kBatchContinue;
    }
    return start();
  }
  if (st->cw ? w == st->cw : h == st->ch) return kBatchContinue;
  if (w == st->w0 || h == st->h0) {
    st->cw = w;
    st->ch = h;
    return kBatchContinue;
  }
  return start();
}

WORD PrepareImageConversion(ColourContext* c, ImageBatchState* batch, DWORD bits, DWORD width, DWORD height,
                            DWORD source_kind, DWORD rop, bool* flush_first) {
  if (flush_first) *flush_first = false;
  if (!c) return 0;
  WORD plan = static_cast<WORD>(c->plan & kPlanLibrary);
  if (c->matrix_c) plan |= kPlanMatrixC;
  if (c->first) plan |= kPlanFirst;
  if (c->profile2) plan |= kPlanSecondBefore;
  if (c->library.handle && c->settings.library_parameter != 0 && batch) {
    int d = ImageBatchDecision(batch, bits, width, height, source_kind, rop, (c->settings.same_depth_batches & 0xFF) == 1);
    if (d == kBatchContinue) {
      plan |= kPlanLibrary;
    } else {
      if (flush_first) *flush_first = true;
      plan = static_cast<WORD>(d == kBatchNew ? plan | kPlanLibrary : plan & ~kPlanLibrary);
    }
  }
  if (c->settings.colour_mode == 1) plan |= kPlanInvertedGrey;
  c->plan = plan;
  return plan;
}

INT ImageColourSpace(const ColourContext* c) { return c && (c->plan & kPlanLibrary) ? 4 : 3; }

INT ColourContext_ConvertQueuedImages(ColourContext* c, std::vector<QueuedImageData>& images, BOOL use_library) {
  if (!c) return 0;
  WORD plan = c->plan;
  if (!use_library) plan &= static_cast<WORD>(~kPlanLibrary);
  plan &= static_cast<WORD>(kPlanFirst | kPlanSecondBefore | kPlanSecondAfter | kPlanMatrixC | kPlanLibrary);
  if (!plan) return 0;
  const bool library_at_start = (plan & kPlanLibrary) && c->library.handle;
  bool library = library_at_start;
  const ColourLibrary& lib = c->library;
  if (library && lib.begin(lib.handle, static_cast<BYTE>(c->settings.library_parameter)) != 0) return -6;
  for (QueuedImageData& q : images) {
    DWORD pixels = q.width * q.rows;
    if (!q.data || q.data->size() < static_cast<std::size_t>(pixels) * 3) return -1;
    if (plan & kPlanFirst) apply_transform(c->first, q.data->data(), pixels);
    if (plan & kPlanSecondBefore) apply_transform(c->profile2, q.data->data(), pixels);
    if (library && lib.param(lib.handle, q.data->data(), q.width, q.rows) != 0) return -6;
  }
  if (library) {
    INT r = lib.end(lib.handle);
    if (r == 1) library = false;
    else if (r != 0) return -6;
  }
  for (QueuedImageData& q : images) {
    DWORD pixels = q.width * q.rows;
    if (library) {
      std::vector<BYTE> out;
      try {
        out.resize(static_cast<std::size_t>(pixels) * 3);
      } catch (const std::bad_alloc&) {
        return -2;
      }
      if (lib.convert(lib.handle, q.data->data(), out.data(), q.width, q.rows) != 0) return -6;
      q.data->swap(out);
    }
    if (plan & kPlanSecondAfter) apply_transform(c->profile2, q.data->data(), pixels);
    if (plan & kPlanMatrixC) apply_matrix(c->matrix_c, q.data->data(), pixels);
  }
  if (library_at_start && use_library) lib.remove(lib.handle);
  return 0;
}

INT ColourContext_Destroy(ColourContext** context) {
  if (!context || !*context) return 0;
  ColourContext* c = *context;
  render::FreeIccTransform(&c->transforms[0]);
  render::FreeIccTransform(&c->transforms[1]);
  if (c->library.handle) {
    c->library.remove(c->library.handle);
    c->library.free(c->library.handle);
  }
  if (c->library.module) FreeLibrary(c->library.module);
  delete c;
  *context = nullptr;
  return 0;
}

INT ColourContext_ConvertRgb(const ColourContext* c, PDEV* pdev, const BYTE* src, BYTE* dst, DWORD width, DWORD rows) {
  return ColourContext_ConvertColour(c, pdev, src, dst, width, rows, kColourObjectLineArt);
}

INT ColourContext_ConvertColour(const ColourContext* c, PDEV*, const BYTE* src, BYTE* dst, DWORD width, DWORD rows,
                                DWORD object_kind) {
  if (!src || !dst || (object_kind != kColourObjectImage && object_kind != kColourObjectLineArt)) return -1;
  if (width > 0xFFFF || rows > 0xFFFF) return -5;
  const DWORD pixels = width * rows;
  if (dst != src) std::memmove(dst, src, static_cast<std::size_t>(pixels) * 3);
  if (!c) return 1;
  const ColourSettings& s = c->settings;
  const bool mono = s.colour_mode == 1;
  // Grey-eligible outside monochrome for choice 3 or the kind's own choice
  // (images 1, line art and text 2); white-or-black likewise from the
  // parts choice.
  const bool image = object_kind == kColourObjectImage;
  const LONG own = image ? 1 : 2;
  const bool eligible = !mono && (s.grey_choice == own || s.grey_choice == 3);
  const bool white_or_black = s.single_colour_parts == own || s.single_colour_parts == 3;
  const render::GainOffset* gain = image ? c->gain_a : c->gain_b;
  const ColorAdjustMatrix* matrix = image ? c->matrix_a : c->matrix_b;
  bool grey = eligible;
  for (DWORD i = 0; i < pixels && grey; ++i) grey = dst[3 * i] == dst[3 * i + 1] && dst[3 * i + 1] == dst[3 * i + 2];
  if (grey) {
    RgbToGrayRow(dst, dst, pixels, 1);
    if (gain) render::ApplyGainOffsetGrey(gain, dst, dst, pixels);
    return 2;
  }
  if (!mono || !white_or_black) {
    apply_transform(c->first, dst, pixels);
    if (c->profile1 && c->profile1 != c->first) apply_transform(c->profile1, dst, pixels);
    apply_matrix(matrix, dst, pixels);
  }
  if (white_or_black)
    for (DWORD i = 0; i < pixels; ++i)
      if (!(dst[3 * i] == 0xFF && dst[3 * i + 1] == 0xFF && dst[3 * i + 2] == 0xFF)) dst[3 * i] = dst[3 * i + 1] = dst[3 * i + 2] = 0;
  return 1;
}

namespace {

// The steps every image's data or palette goes through.
WORD image_plan(const ColourContext* c) {
  WORD plan = 0;
  if (c) {
    if (c->matrix_c) plan |= kPlanMatrixC;
    if (c->first) plan |= kPlanFirst;
    if (c->profile2) plan |= kPlanSecondBefore;
    if (c->settings.colour_mode == 1) plan |= kPlanInvertedGrey;
  }
  return plan;
}

}  // namespace

bool ColourContext_KeepsRgbImages(const ColourContext* c) { return image_plan(c) == 0; }
bool ColourContext_RgbImagesBecomeGrey(const ColourContext* c) { return (image_plan(c) & kPlanInvertedGrey) != 0; }

INT ColourContext_ConvertImageBand(const ColourContext* c, BYTE* p, DWORD pixels) {
  if (!p) return -1;
  const WORD plan = image_plan(c);
  if (plan & kPlanFirst) apply_transform(c->first, p, pixels);
  if (plan & kPlanSecondBefore) apply_transform(c->profile2, p, pixels);
  if (plan & kPlanMatrixC) apply_matrix(c->matrix_c, p, pixels);
  if (!(plan & kPlanInvertedGrey)) return 1;
  // Pixel i's grey byte lands at i, never beyond the pixels still to read.
  for (DWORD i = 0; i < pixels; ++i) p[i] = inverted_grey(p + 3 * i);
  return 2;
}

INT ColourContext_ConvertImage(const ColourContext* c, PDEV*, std::vector<BYTE>* data, std::vector<BYTE>* palette,
                               BYTE format, DWORD width, DWORD height, bool plain_copy) {
  if (!data || !palette) return -1;
  if (width > 0xFFFF || height > 0xFFFF) return -5;
  const bool rgb = format == 4;
  if (!rgb && format != 11) return -1;
  WORD plan = image_plan(c);
  std::vector<BYTE>& v = rgb ? *data : *palette;
  const DWORD pixels = static_cast<DWORD>(v.size() / 3);
  if (!rgb && !plain_copy) {
    bool bw = true;
    for (DWORD i = 0; i < pixels && bw; ++i) {
      const BYTE* p = v.data() + 3 * i;
      bw = (p[0] == 0 && p[1] == 0 && p[2] == 0) || (p[0] == 0xFF && p[1] == 0xFF && p[2] == 0xFF);
    }
    if (bw) plan |= kPlanInvertedGrey;
  }
  if (!plan) return 1;
  if (plan & kPlanFirst) apply_transform(c->first, v.data(), pixels);
  if (plan & (kPlanSecondBefore | kPlanSecondAfter)) apply_transform(c->profile2, v.data(), pixels);
  if (plan & kPlanMatrixC) apply_matrix(c->matrix_c, v.data(), pixels);
  if (!(plan & kPlanInvertedGrey)) return 1;
  std::vector<BYTE> grey(pixels);
  for (DWORD i = 0; i < pixels; ++i) grey[i] = inverted_grey(v.data() + 3 * i);
  v.swap(grey);
  return 2;
}

}  // namespace morva::gfx
