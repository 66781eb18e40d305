// The device picture with its installed options, the colour-mode picture
// and the position icons.
#include "property_sheets/device_pictures.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "property_sheets/sheet_records.h"
#include "settings/database/ddd_file.h"
#include "settings/database/ddd_queries.h"
#include "settings/database/ddd_records.h"
#include "settings/devmode/placement_colour.h"
#include "settings/items/item_access.h"
#include "win/memory.h"
#include "win/controls.h"
#include "win/resources.h"
#include "win/window.h"

namespace {

constexpr WORD kConnectorOr = 2;
bool ends_group(BYTE connector) { return connector == 3 || connector == 4; }

bool read_number(void* dm, void* pd, WORD ddmid, LONG* value) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (GetItemValue(ddmid, dm, pd, &type, &size, &v) != 0) return false;
  *value = GetTypedValue(type, &v);
  return true;
}


DWORD read_le(const BYTE* p, WORD bytes) {
  DWORD v = 0;
  for (WORD k = 0; k < bytes && k < 4; ++k) v |= static_cast<DWORD>(p[k]) << (8 * k);
  return v;
}

// Whether element `k` of the condition's values equals the setting.
bool equals(const DddTypedValue& values, WORD k, WORD type, const ItemValue& setting, DWORD size) {
  const BYTE* e = static_cast<const BYTE*>(values.data) + static_cast<size_t>(k) * values.element_size;
  switch (type) {
    case 1: case 4: case 5: return values.element_size >= 4 && read_le(e, 4) == setting.dw;
    case 2: case 3: return values.element_size >= 2 && (read_le(e, 2) & 0xFFFF) == setting.w;
    case 8: return values.element_size >= 1 && e[0] == setting.b;
    case 6: {
      const std::u16string text = ItemText(setting, size);
      const size_t chars = values.element_size / 2;
      std::u16string held(chars, u'\0');
      std::memcpy(held.data(), e, chars * 2);
      held.resize(std::char_traits<char16_t>::length(held.c_str()));
      return held == text;
    }
    default: return false;
  }
}

// Walks the records of kind 9 and appends the images of those drawn.
class DevicePicture {
 public:
  DevicePicture(HWND window, HPALETTE* palette) : window_(window), palette_(palette) {}
  ~DevicePicture() { FreePreviewImages(list_); }

  bool append(const BYTE* dib, WORD x, WORD y) {
    const auto* h = reinterpret_cast<const BITMAPINFOHEADER*>(dib);
    const DWORD colours = h->biClrUsed ? h->biClrUsed : (h->biBitCount <= 8 ? 1u << h->biBitCount : 0);
    const LONG rows = h->biHeight < 0 ? -h->biHeight : h->biHeight;
    const DWORD stride = ((static_cast<DWORD>(h->biWidth) * h->biBitCount + 31) / 32) * 4;
    const DWORD size = h->biSize + colours * 4 + stride * static_cast<DWORD>(rows);
    HBITMAP bitmap = nullptr;
    if (CreateBitmapFromDib(window_, h, size, palette_, &bitmap) != 0 || !bitmap) return true;  // skipped
    if (!grow()) {
      DeleteObject(bitmap);
      return false;
    }
    list_[count_++] = PreviewImage{bitmap, x, y};
    return true;
  }
  PreviewImage* take() {
    if (!list_ && !grow()) return nullptr;
    PreviewImage* l = list_;
    list_ = nullptr;
    return l;
  }

 private:
  bool grow() {
    if (list_ && count_ < room_) return true;
    const UINT room = room_ ? room_ + 5 : 10;
    PreviewImage* bigger = AllocPreviewImages(room);
    if (!bigger) return false;
    if (list_) {
      std::memcpy(bigger, list_, count_ * sizeof(PreviewImage));
      GlobalFree(list_);
    }
    list_ = bigger;
    room_ = room;
    return true;
  }
  HWND window_;
  HPALETTE* palette_;
  PreviewImage* list_ = nullptr;
  UINT count_ = 0, room_ = 0;
};

}  // namespace

BOOL PictureConditionApplies(WORD ddmid, UINT control_id, DWORD capability_word) {
  if (control_id == kInstalledOptionsPictureControl) return (ddmid >= 4097 && ddmid <= 4371) || ddmid == 5123;
  return !(ddmid == 4114 && (capability_word & kCapabilityHides4114));
}

INT EvaluatePictureCondition(const DddCondition* condition, void* devmode, void* printer_data) {
  if (!condition || (!devmode && !printer_data)) return -2;
  const DddOperand& op = condition->operand;
  WORD type = 0;
  DWORD size = 0;
  ItemValue setting{};
  if (GetItemValue(op.ddmid, devmode, printer_data, &type, &size, &setting) != 0) return -1;
  const DddTypedValue& values = op.value;
  const bool none_of = op.op == 2;
  // A list that still names its table, or has entries without data, could
  // not be read: nothing can be compared, so the condition cannot hold.
  if (values.type == DDD_TYPE_TABLE_REF || (values.count && !values.data)) return -1;
  if (values.count == 0) return none_of ? 0 : 1;
  for (WORD k = 0; k < values.count; ++k)
    if (equals(values, k, type, setting, size)) return none_of ? 1 : 0;
  return none_of ? 0 : 1;
}

INT PictureRecordIsDrawn(const DddCondition* conditions, WORD count, UINT control_id, DWORD capability_word,
                         void* devmode, void* printer_data) {
  if (count == 0) return 1;
  if (!conditions) return -2;
  bool satisfied = false;
  WORD i = 0;
  while (i < count) {
    const DddCondition& c = conditions[i];
    if (!PictureConditionApplies(c.operand.ddmid, control_id, capability_word)) {
      satisfied = false;
    } else {
      const INT r = EvaluatePictureCondition(&c, devmode, printer_data);
      if (r < 0) return r;
      satisfied = r == 0;
    }
    if (satisfied) {
      if (ends_group(c.connector)) return 1;
      if (c.connector == kConnectorOr) {
        // The other alternatives and the condition closing them are skipped.
        WORD j = static_cast<WORD>(i + 1);
        while (j < count && conditions[j].connector == kConnectorOr) ++j;
        if (j >= count || ends_group(conditions[j].connector)) return 1;
        i = static_cast<WORD>(j + 1);
        continue;
      }
      ++i;
      continue;
    }
    if (c.connector == kConnectorOr) {
      ++i;
      continue;
    }
    WORD j = i;
    while (j < count && !ends_group(conditions[j].connector)) ++j;
    i = j < count ? static_cast<WORD>(j + 1) : static_cast<WORD>(i + 1);
  }
  return satisfied ? 1 : 0;
}

INT BuildDeviceOptionPictureFor(DddHandle* database, void* devmode, void* printer_data, HWND window, UINT control_id,
                                PreviewImage** out, HPALETTE* palette) {
  if (!out) return 1;
  *out = nullptr;
  if (!database || !printer_data || !palette) return 1;
  const DWORD capability_word = DddGetFieldValue(&database->main, 26, 4, 4);
  DevicePicture picture(window, palette);
  for (WORD position = 1;; ++position) {
    DddValue* value = nullptr;
    const DddStatus s = DddLoadValue(DDD_LOAD_FULL, &database->main, &database->linked, DDD_KIND_PICTURE_RULE,
                                     position, &value);
    if (s == DDD_NOT_FOUND || (s && position > DddGetRecordCount(&database->main, DDD_KIND_PICTURE_RULE))) break;
    if (s) return 4;
    const auto* rule = static_cast<const DddPictureRule*>(value);
    const INT drawn = PictureRecordIsDrawn(rule->conditions.items, rule->conditions.count, control_id,
                                           capability_word, devmode, printer_data);
    if (drawn < 0) {
      DddFreeValue(&value, 0xFFFF);
      return drawn == -1 ? 3 : 1;
    }
    if (drawn == 1) {
      WORD x = 0, y = 0;
      BYTE* dib = nullptr;
      const DddStatus loaded = DddLoadRulePicture(&database->main, &database->linked, value, &x, &y, &dib);
      DddFreeValue(&value, 0xFFFF);
      if (loaded != DDD_OK || !dib) return 4;
      const bool kept = picture.append(dib, x, y);
      GlobalFree(dib);
      if (!kept) return 2;
      continue;
    }
    DddFreeValue(&value, 0xFFFF);
  }
  *out = picture.take();
  return *out ? 0 : 2;
}

INT BuildDeviceOptionPicture(HMODULE, HWND dialog, UINT control_id, PreviewImage** out, HPALETTE* palette) {
  if (!out) return 1;
  *out = nullptr;
  const SheetContext* context = GetSheetContext(dialog);
  if (!context || !context->state || !context->state->database) return 6;
  return BuildDeviceOptionPictureFor(context->state->database, context->current.devmode,
                                     context->current.printer_data, dialog, control_id, out, palette);
}

INT BuildModelPicture(HMODULE, HWND dialog, UINT, PreviewImage** out, HPALETTE* palette) {
  if (!out) return 1;
  *out = nullptr;
  const SheetContext* context = GetSheetContext(dialog);
  if (!context || !context->state || !context->state->database) return 6;
  DddHandle* database = context->state->database;
  BYTE* dib = DddLoadPictureByField(&database->main, &database->linked, 1, nullptr, nullptr);
  if (!dib) return 5;
  DevicePicture picture(dialog, palette);
  const bool kept = picture.append(dib, 0, 0);
  GlobalFree(dib);
  if (!kept) return 2;
  *out = picture.take();
  return *out ? 0 : 5;
}

// ---- colour-mode picture ----

namespace {

struct ModeRow {
  LONG values[4];  // DDMID 271 values of the row, 0-ended
  WORD ids[8];
};

// Colour mode 2 with DDMID 293 = 2, columns by DDMID 390: 0, 1, 2, 4, 6, 8.
constexpr LONG kColourColumns[] = {0, 1, 2, 4, 6, 8};
constexpr ModeRow kColourRows[] = {
    {{1, 257}, {906, 912, 936, 943, 931, 922}},
    {{8, 769}, {905, 911, 935, 942, 932, 921}},
    {{1032}, {907, 913, 937, 944, 930, 923}},
};
// Colour modes 0 and 3 with DDMID 293 = 2, columns 0, 1, 2, 3, 4, 6, 8, 9.
constexpr LONG kAutoColumns[] = {0, 1, 2, 3, 4, 6, 8, 9};
constexpr ModeRow kAutoRows[] = {
    {{1, 264}, {900, 909, 926, 1333, 940, 947, 925, 1015}},
    {{8, 769, 776, 1288}, {898, 908, 919, 1332, 939, 946, 918, 1014}},
    {{257, 513}, {897, 0, 924, 1331, 938, 945, 0, 1013}},
    {{1032}, {899, 910, 948, 0, 941, 933, 920, 0}},
};
// Colour mode 1 (grey) by DDMID 271.
constexpr LONG kGreyKeys[] = {1, 8, 257, 264, 513, 769, 776, 1288};
constexpr WORD kGreyIds[] = {903, 902, 901, 903, 901, 902, 902, 902};

template <size_t R, size_t C>
WORD lookup(const ModeRow (&rows)[R], const LONG (&columns)[C], LONG v271, LONG v390) {
  for (const ModeRow& row : rows)
    for (LONG key : row.values) {
      if (key == 0) break;
      if (key != v271) continue;
      for (size_t c = 0; c < C; ++c)
        if (columns[c] == v390) return row.ids[c];
      return 0;
    }
  return 0;
}

WORD by_293(LONG v293, WORD one, WORD three, WORD four) {
  switch (v293) {
    case 1: return one;
    case 3: return three;
    case 4: return four;
    default: return 0;
  }
}

}  // namespace

WORD ColourModeBitmapId(LONG v270, LONG v271, LONG v390, LONG v293, BOOL offers_colour_choice) {
  if (v270 == 1) {
    for (size_t k = 0; k < std::size(kGreyKeys); ++k)
      if (kGreyKeys[k] == v271) return kGreyIds[k];
    return 0;
  }
  const bool automatic = v270 == 0 || v270 == 3;
  if (v293 == 2) {
    if (v270 == 2) return lookup(kColourRows, kColourColumns, v271, v390);
    if (automatic) return lookup(kAutoRows, kAutoColumns, v271, v390);
    return 0;
  }
  if (automatic && offers_colour_choice) return by_293(v293, 895, 914, 916);
  if (automatic || v270 == 2) return by_293(v293, 896, 915, 917);
  return 0;
}

WORD PositionIconId(UINT control_id, LONG side437, LONG position267, LONG v1291, LONG v322) {
  if (control_id == 1199 || control_id == 1205) {
    // Rows by DDMID 267; columns: 1199 first, 1199 second, 1205 first, 1205 second.
    static const struct {
      LONG a, b;
      WORD ids[4];
    } rows[] = {{0, 0, {363, 363, 363, 363}},
                {1, 3, {359, 999, 364, 369}},
                {2, 7, {360, 997, 365, 370}},
                {4, 8, {361, 996, 366, 372}},
                {5, 6, {362, 998, 367, 371}}};
    const bool second = control_id == 1199 ? (side437 == 2 || side437 == 3) : (side437 == 1 || side437 == 3);
    const int column = (control_id == 1199 ? 0 : 2) + (second ? 1 : 0);
    for (const auto& r : rows)
      if (position267 == r.a || position267 == r.b) return r.ids[column];
    return 0;
  }
  if (control_id == 1508 || control_id == 1531) {
    const bool on = v1291 != 0, flag = v322 != 0;
    static const WORD ids[2][2][2] = {{{806, 807}, {805, 801}}, {{804, 808}, {803, 802}}};
    return ids[on][flag][control_id == 1508 ? 0 : 1];
  }
  return 0;
}

INT SetPositionIcon(HMODULE module, HWND dialog, UINT control_id, void* devmode, void* printer_data) {
  HWND control = GetDlgItem(dialog, static_cast<INT>(control_id));
  if (!control) return 6;
  LONG a = 0, b = 0;
  const bool binding = control_id == 1199 || control_id == 1205;
  if (!read_number(devmode, printer_data, binding ? 437 : 1291, &a) ||
      !read_number(devmode, printer_data, binding ? 267 : 322, &b))
    return 3;
  const WORD id = binding ? PositionIconId(control_id, a, b, 0, 0) : PositionIconId(control_id, 0, 0, a, b);
  HICON icon = id ? static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_ICON, 0, 0, 0)) : nullptr;
  if (id && !icon) return 5;
  // The control keeps the icon it shows; the one it showed before goes.
  if (HICON old = reinterpret_cast<HICON>(SendMessageW(control, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0)))
    DestroyIcon(old);
  InvalidateRect(control, nullptr, TRUE);
  return id ? 0 : 1;
}

void ClearPositionIcon(HWND dialog, UINT control_id) {
  if (HWND control = GetDlgItem(dialog, static_cast<INT>(control_id)))
    if (HICON old = reinterpret_cast<HICON>(SendMessageW(control, STM_SETICON, 0, 0))) DestroyIcon(old);
}

// ---- colour sample ----

INT LoadColourSample(HMODULE module, ColourSampleRecord** out) {
  if (!out) return 2;
  *out = nullptr;
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(kColourSampleBitmap), MAKEINTRESOURCEW(2));
  HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
  const auto* dib = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
  const DWORD size = found ? SizeofResource(module, found) : 0;
  if (!dib || size < sizeof(BITMAPINFOHEADER) ||
      !IsPaletteDib(reinterpret_cast<const BITMAPINFOHEADER*>(dib))) {
    if (loaded) FreeResource(loaded);
    return 5;
  }
  auto* record = static_cast<ColourSampleRecord*>(GlobalAlloc(GPTR, sizeof(ColourSampleRecord)));
  BYTE* copy = record ? static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, size)) : nullptr;
  if (!copy) {
    if (record) GlobalFree(record);
    FreeResource(loaded);
    return 2;
  }
  std::memcpy(copy, dib, size);
  FreeResource(loaded);
  record->dib = copy;
  record->size = size;
  *out = record;
  return 0;
}

void FreeColourSample(ColourSampleRecord** record) {
  if (!record || !*record) return;
  if ((*record)->dib) GlobalFree((*record)->dib);
  GlobalFree(*record);
  *record = nullptr;
}

namespace {

struct ColourPatch {
  int type, first, last;
};
// The three adjustments of each patch type: brightness, saturation, contrast.
constexpr WORD kPatchSettings[4][3] = {{275, 279, 283}, {276, 280, 284}, {277, 281, 285}, {274, 278, 282}};
constexpr ColourPatch kSplitPatches[] = {{2, 2, 97}, {0, 98, 113}, {1, 114, 127}};
constexpr ColourPatch kWholePatch[] = {{3, 2, 127}};

}  // namespace

namespace {
constexpr char16_t kColourSampleProperty[] = u"MorvaColourSample";
}

INT LoadDialogColourSample(HMODULE module, HWND dialog) {
  if (GetPropW(dialog, kColourSampleProperty)) return 0;
  ColourSampleRecord* record = nullptr;
  const INT result = LoadColourSample(module, &record);
  if (result == 0) SetPropW(dialog, kColourSampleProperty, record);
  return result;
}

void FreeDialogColourSample(HWND dialog) {
  auto* record = static_cast<ColourSampleRecord*>(RemovePropW(dialog, kColourSampleProperty));
  FreeColourSample(&record);
}

INT BuildColourSamplePicture(HMODULE, HWND dialog, UINT, PreviewImage** out, HPALETTE* palette) {
  const SheetContext* context = GetSheetContext(dialog);
  const auto* record = static_cast<const ColourSampleRecord*>(GetPropW(dialog, kColourSampleProperty));
  if (!context || !record) return 6;
  return BuildColourSample(record, context->current.devmode, context->current.printer_data, dialog, out, palette);
}

INT BuildColourSample(const ColourSampleRecord* record, void* devmode, void* printer_data, HWND window,
                      PreviewImage** out, HPALETTE* palette) {
  if (!out || !palette) return 6;
  *out = nullptr;
  if (!record || !record->dib) return 6;
  LONG split = 0;
  if (!read_number(devmode, printer_data, 1314, &split)) return 3;
  auto* copy = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, record->size));
  if (!copy) return 2;
  std::memcpy(copy, record->dib, record->size);
  auto* header = reinterpret_cast<BITMAPINFOHEADER*>(copy);
  auto* table = reinterpret_cast<RGBQUAD*>(copy + header->biSize);
  const UINT colours = header->biClrUsed ? header->biClrUsed : 256;
  const bool split_patches = split == 1;
  const ColourPatch* patches = split_patches ? kSplitPatches : kWholePatch;
  const size_t patch_count = split_patches ? std::size(kSplitPatches) : std::size(kWholePatch);
  for (size_t p = 0; p < patch_count; ++p) {
    LONG adjust[3] = {}, mode = 0, model = 0;
    bool ok = read_number(devmode, printer_data, 270, &mode) && read_number(devmode, printer_data, 271, &model);
    for (int k = 0; k < 3 && ok; ++k) ok = read_number(devmode, printer_data, kPatchSettings[patches[p].type][k], &adjust[k]);
    if (!ok) {
      GlobalFree(copy);
      return 3;
    }
    if (mode == 1) adjust[1] = 0;
    const int first = patches[p].first, last = std::min<int>(patches[p].last, static_cast<int>(colours) - 1);
    if (last < first) continue;
    const DWORD n = static_cast<DWORD>(last - first + 1);
    std::vector<BYTE> rgb(n * 3);
    for (DWORD i = 0; i < n; ++i) {
      rgb[i * 3] = table[first + i].rgbRed;
      rgb[i * 3 + 1] = table[first + i].rgbGreen;
      rgb[i * 3 + 2] = table[first + i].rgbBlue;
    }
    if (adjust[0] || adjust[1] || adjust[2]) {
      ColorAdjustMatrix matrix{};
      BuildColorAdjustMatrix(&matrix, adjust[0], adjust[1], adjust[2]);
      ApplyColorAdjustMatrix(&matrix, rgb.data(), rgb.data(), n);
    }
    if (mode == 1) {
      std::vector<BYTE> grey(n);
      RgbToGrayRow(rgb.data(), grey.data(), n, 1);
      for (DWORD i = 0; i < n; ++i) rgb[i * 3] = rgb[i * 3 + 1] = rgb[i * 3 + 2] = grey[i];
    }
    for (DWORD i = 0; i < n; ++i) {
      table[first + i].rgbRed = rgb[i * 3];
      table[first + i].rgbGreen = rgb[i * 3 + 1];
      table[first + i].rgbBlue = rgb[i * 3 + 2];
    }
  }
  INT result = 0;
  PreviewImage* list = AllocPreviewImages(1);
  HPALETTE made = CreateDibPalette(header);
  HBITMAP bitmap = made ? CreatePaletteBitmap(window, header, made) : nullptr;
  if (!list) result = 2;
  else if (!bitmap) result = 6;
  GlobalFree(copy);
  if (result != 0) {
    if (bitmap) DeleteObject(bitmap);
    if (made) DeleteObject(made);
    if (list) GlobalFree(list);
    return result;
  }
  list[0] = PreviewImage{bitmap, 0, 0};
  *out = list;
  *palette = made;
  return 0;
}
