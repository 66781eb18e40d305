#include "settings/stores/settings_migration.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "ddm/ddmid.h"
#include "settings/common/common_utils.h"
#include "settings/database/ddd_file.h"
#include "settings/database/ddd_queries.h"
#include "settings/items/default_settings.h"
#include "settings/devmode/devmode_internal.h"
#include "settings/devmode/driver_devmode.h"
#include "settings/items/item_access.h"
#include "settings/stores/printer_data_kinds.h"
#include "settings/stores/printer_settings.h"
#include "settings/stores/private_blobs.h"
#include "win/endian.h"
#include "win/gdi_types.h"
#include "win/memory.h"
#include "win/spooler.h"

using namespace morva::ddm;
using devmode_detail::read_number;
using devmode_detail::write_number;

namespace {

constexpr DWORD kHeadSize = 72;  // up to and including dmDriverExtra
constexpr DWORD kDmSizeOffset = 68;
constexpr DWORD kDmDriverExtraOffset = 70;
constexpr DWORD kPrivateNameOffset = 4;  // after the two private header words
constexpr DWORD kPrivateNameBytes = 64;
constexpr WCHAR kDummyPrinterName[] = u"DummyName";
static_assert(offsetof(DEVMODEW, dmSize) == kDmSizeOffset);
static_assert(offsetof(DEVMODEW, dmDriverExtra) == kDmDriverExtraOffset);

// ---- old DEVMODE layouts ---------------------------------------------------

// The public head has the same layout in every version.
constexpr LegacyDevmodeField kPublicHead[] = {
    {1, kTypeString, offsetof(DEVMODEW, dmDeviceName), 64},
    {2, kTypeWord, offsetof(DEVMODEW, dmSpecVersion), 0},
    {6, kTypeDword, offsetof(DEVMODEW, dmFields), 0},
    {7, kTypeShort, offsetof(DEVMODEW, dmOrientation), 0},
    {8, kTypeShort, offsetof(DEVMODEW, dmPaperSize), 0},
    {9, kTypeShort, offsetof(DEVMODEW, dmPaperLength), 0},
    {10, kTypeShort, offsetof(DEVMODEW, dmPaperWidth), 0},
    {11, kTypeShort, offsetof(DEVMODEW, dmScale), 0},
    {12, kTypeShort, offsetof(DEVMODEW, dmCopies), 0},
    {13, kTypeShort, offsetof(DEVMODEW, dmDefaultSource), 0},
    {20, kTypeShort, offsetof(DEVMODEW, dmPrintQuality), 0},
    {15, kTypeShort, offsetof(DEVMODEW, dmColor), 0},
    {16, kTypeShort, offsetof(DEVMODEW, dmDuplex), 0},
    {21, kTypeShort, offsetof(DEVMODEW, dmYResolution), 0},
    {17, kTypeShort, offsetof(DEVMODEW, dmTTOption), 0},
    {18, kTypeShort, offsetof(DEVMODEW, dmCollate), 0},
    {19, kTypeString, offsetof(DEVMODEW, dmFormName), 64},
    {22, kTypeDword, offsetof(DEVMODEW, dmICMMethod), 0},
    {23, kTypeDword, 192, 0},
    {24, kTypeDword, 196, 0},
    {25, kTypeDword, 200, 0},
};
static_assert(offsetof(DEVMODEW, dmOrientation) == 76 && offsetof(DEVMODEW, dmDefaultSource) == 88 &&
              offsetof(DEVMODEW, dmPrintQuality) == 90 && offsetof(DEVMODEW, dmYResolution) == 96 &&
              offsetof(DEVMODEW, dmCollate) == 100);

// Versions 256-16391: the private fields of each generation whose old
// places are known. Fields whose old place is not listed keep their
// defaults.
constexpr LegacyDevmodeField kF1v0100[] = {{294, kTypeByte, 1000, 0}, {1321, kTypeLong, 1004, 0}};
constexpr LegacyDevmodeField kF1v2000[] = {
    {1284, kTypeLong, 1008, 0}, {297, kTypeString, 1020, 66}, {1289, kTypeLong, 1332, 0}};
constexpr LegacyDevmodeField kF1v3000[] = {{320, kTypeByte, 1340, 0}, {1295, kTypeLong, 1436, 0}};
constexpr LegacyDevmodeField kF1v3002[] = {{1322, kTypeLong, 1444, 0}, {345, kTypeByte, 1792, 0}};
constexpr LegacyDevmodeField kF1v4000[] = {{1831, kTypeString, 1802, 50}};
constexpr LegacyDevmodeField kF1v4001[] = {{349, kTypeWord, 1860, 0}};
constexpr LegacyDevmodeField kF1v4003[] = {{404, kTypeByte, 1992, 0}, {1853, kTypeWord, 2052, 0}};
constexpr LegacyDevmodeField kF1v4004[] = {{1296, kTypeLong, 1876, 0}, {387, kTypeByte, 4918, 0}};
constexpr LegacyDevmodeField kF1v4005[] = {{435, kTypeString, 4924, 10}, {436, kTypeString, 4934, 10}};
// Versions 20480-20482.
constexpr LegacyDevmodeField kF2v5000[] = {{443, kTypeByte, 2614, 0}};
constexpr LegacyDevmodeField kF2v5002[] = {
    {444, kTypeByte, 2620, 0}, {445, kTypeByte, 2621, 0}, {446, kTypeByte, 2622, 0}, {447, kTypeByte, 2623, 0},
    {448, kTypeByte, 2624, 0}, {449, kTypeByte, 2625, 0}, {450, kTypeByte, 2626, 0}};

struct FieldTable {
  WORD lowest;
  const LegacyDevmodeField* rows;
  std::size_t count;
};
template <std::size_t N>
constexpr FieldTable table(WORD lowest, const LegacyDevmodeField (&rows)[N]) {
  return {lowest, rows, N};
}
constexpr FieldTable kFamily1Tables[] = {
    table(0x100, kPublicHead), table(0x100, kF1v0100), table(0x2000, kF1v2000), table(0x3000, kF1v3000),
    table(0x3002, kF1v3002),   table(0x4000, kF1v4000), table(0x4001, kF1v4001), table(0x4003, kF1v4003),
    table(0x4004, kF1v4004),   table(0x4005, kF1v4005),
};
constexpr FieldTable kFamily2Tables[] = {
    table(0x5000, kPublicHead), table(0x5000, kF2v5000), table(0x5002, kF2v5002)};

struct VersionRange {
  WORD low;
  WORD high;
  int family;
  const FieldTable* tables;
  std::size_t count;
};
constexpr VersionRange kVersionRanges[] = {
    {0x100, 0x4007, 1, kFamily1Tables, std::size(kFamily1Tables)},
    {0x5000, 0x5002, 2, kFamily2Tables, std::size(kFamily2Tables)},
};

const VersionRange* range_of(WORD version) {
  for (const VersionRange& r : kVersionRanges)
    if (version >= r.low && version <= r.high) return &r;
  return nullptr;
}

// ---- bounded view of an outside DEVMODE ------------------------------------

// A zero-padded copy of what may be read of an old DEVMODE: the value
// engine and the legacy steps read the copy, never the caller's buffer.
struct OldDevmode {
  std::vector<BYTE> bytes = std::vector<BYTE>(kPrivateDevmodeSize);
  DWORD extent = 0;  // bytes of the old DEVMODE held
  bool holds(DWORD offset, DWORD size) const { return offset + size <= extent; }
  WORD word(DWORD offset) const { return holds(offset, 2) ? morva::load_le16(&bytes[offset]) : 0; }
  DWORD dword(DWORD offset) const { return holds(offset, 4) ? morva::load_le32(&bytes[offset]) : 0; }
  void* data() { return bytes.data(); }
};

void take(OldDevmode* old, const void* source, DWORD extent) {
  old->extent = std::min<DWORD>(extent, kPrivateDevmodeSize);
  std::memcpy(old->bytes.data(), source, old->extent);
}

bool same_name(const WCHAR* a, const WCHAR* b) {
  auto lower = [](WCHAR c) { return c >= u'A' && c <= u'Z' ? static_cast<WCHAR>(c + (u'a' - u'A')) : c; };
  for (int i = 0; i < 32; ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
    if (!a[i]) return true;
  }
  return true;
}

// The identity of a DEVMODE held whole in a buffer of at least
// kPrivateDevmodeSize bytes.
BOOL identity_of(void* devmode, DevmodeIdentity* out) {
  LONG v[5] = {};
  const WORD ids[5] = {4, 2, 5, 257, 258};
  for (int i = 0; i < 5; ++i)
    if (!read_number(ids[i], devmode, nullptr, &v[i])) return FALSE;
  out->size = static_cast<WORD>(v[0]);
  out->spec_version = static_cast<WORD>(v[1]);
  out->driver_extra = static_cast<WORD>(v[2]);
  out->version = static_cast<WORD>(v[3]);
  out->layout = static_cast<WORD>(v[4]);
  const BYTE* name = static_cast<const BYTE*>(devmode) + kPublicDevmodeSize + kPrivateNameOffset;
  for (DWORD i = 0; i < 31 && i < kPrivateNameBytes / 2; ++i) out->name[i] = morva::load_le16(name + 2 * i);
  out->name[31] = 0;
  return out->driver_extra >= kMinimumDriverExtra;
}

// ---- scratch DEVMODEs --------------------------------------------------------

struct Scratch {
  std::vector<BYTE> bytes = std::vector<BYTE>(kPrivateDevmodeSize);
  void* data() { return bytes.data(); }
};

BOOL fill_defaults(DddHandle* database, Scratch* s, LPCWSTR printer_name) {
  return FillDefaultSettings(database, s->data(), nullptr, printer_name);
}

// Setting `from_id` of one settings pair into setting `to_id` of another;
// texts are copied as texts, numbers by their value.
BOOL copy_value(WORD from_id, void* from_dm, void* from_pd, WORD to_id, void* to_dm, void* to_pd) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (GetItemValue(from_id, from_dm, from_pd, &type, &size, &v) != kDdmOk) return FALSE;
  if (type == kTypeString) {
    std::u16string text = ItemText(v, size);
    const DdmidDescriptor* d = dma_Descriptor(to_id);
    if (!d || d->type != kTypeString || d->maxSize < 2) return FALSE;
    if (text.size() > d->maxSize / 2 - 1) text.resize(d->maxSize / 2 - 1);
    const WCHAR* p = text.c_str();
    return SetItemValueRaw(to_id, to_dm, to_pd, kTypeString, static_cast<DWORD>(2 * (text.size() + 1)), &p) ==
           kDdmOk;
  }
  if (type == kTypeLogFont) return FALSE;
  return write_number(to_id, to_dm, to_pd, GetTypedValue(type, &v));
}

// `ddmid` of `from` into `to` (both DEVMODEs), as a number.
BOOL copy_number(WORD ddmid, void* from, void* to) {
  LONG v = 0;
  return read_number(ddmid, from, nullptr, &v) && write_number(ddmid, to, nullptr, v);
}

// One old field into the scratch. Texts are cut to the setting's field.
BOOL copy_legacy_field(const LegacyDevmodeField& f, const OldDevmode& old, void* scratch) {
  const BYTE* at = old.bytes.data() + f.offset;
  switch (f.type) {
    case kTypeLong: case kTypeLong4: case kTypeDword: case kTypeLong10:
      return write_number(f.ddmid, scratch, nullptr, static_cast<LONG>(morva::load_le32(at)));
    case kTypeShort:
      return write_number(f.ddmid, scratch, nullptr, static_cast<SHORT>(morva::load_le16(at)));
    case kTypeWord:
      return write_number(f.ddmid, scratch, nullptr, morva::load_le16(at));
    case kTypeByte:
      return write_number(f.ddmid, scratch, nullptr, at[0]);
    case kTypeString: {
      const DdmidDescriptor* d = dma_Descriptor(f.ddmid);
      if (!d || d->maxSize < 2) return FALSE;
      const DWORD chars = std::min(f.size / 2, d->maxSize / 2 - 1);
      std::vector<WCHAR> text(chars + 1, 0);
      for (DWORD i = 0; i < chars; ++i) {
        text[i] = morva::load_le16(at + 2 * i);
        if (!text[i]) break;
      }
      const WCHAR* p = text.data();
      DWORD n = 0;
      while (p[n]) ++n;
      return SetItemValueRaw(f.ddmid, scratch, nullptr, kTypeString, 2 * (n + 1), &p) == kDdmOk;
    }
    case kTypeLogFont: {
      const BYTE* p = at;
      return SetItemValueRaw(f.ddmid, scratch, nullptr, kTypeLogFont, f.size, &p) == kDdmOk;
    }
    default:
      return FALSE;
  }
}

// ---- the printer ---------------------------------------------------------------

// The printer, opened with full access when the user has it (the
// conversion then also stores what moved into the printer's settings), else
// with the user's own access, which still reads them.
class OpenedPrinter {
 public:
  explicit OpenedPrinter(LPCWSTR name) {
    if (!name || !*name) return;
    PRINTER_DEFAULTSW full{nullptr, nullptr, PRINTER_ALL_ACCESS};
    if (OpenPrinterW(const_cast<LPWSTR>(name), &handle_, &full)) {
      writable_ = true;
      return;
    }
    PRINTER_DEFAULTSW use{nullptr, nullptr, PRINTER_ACCESS_USE};
    if (!OpenPrinterW(const_cast<LPWSTR>(name), &handle_, &use)) handle_ = nullptr;
  }
  ~OpenedPrinter() {
    if (handle_) ClosePrinter(handle_);
  }
  OpenedPrinter(const OpenedPrinter&) = delete;
  OpenedPrinter& operator=(const OpenedPrinter&) = delete;
  HANDLE get() const { return handle_; }
  // Full access: the printer's stored settings may be written.
  bool writable() const { return writable_; }

 private:
  HANDLE handle_ = nullptr;
  bool writable_ = false;
};

// The printer's private settings with `fax` as its address book stored
// back (store kind 2); the WPKINFO and SPINFO data stay as they were.
// `extension` (4384 bytes) is what is stored; it is read first when
// `load_extension` is set.
BOOL store_private_settings(HANDLE printer, DddHandle* database, BYTE* extension, bool load_extension,
                            const BYTE* fax, DWORD fax_size) {
  std::vector<BYTE> loaded(extension, extension + kExtensionSize);
  BYTE* old_fax = nullptr;
  BYTE* wpk = nullptr;
  BYTE* sp = nullptr;
  DWORD wpk_size = 0, sp_size = 0;
  const BOOL have = LoadPrivateSettings(printer, database, nullptr, morva::settings::kPrivateStorePrinterData,
                                        &old_fax, loaded.data(), &wpk, &wpk_size, &sp, &sp_size);
  if (have && load_extension) std::memcpy(extension, loaded.data(), kExtensionSize);
  if (!fax && old_fax) {
    fax = old_fax;
    fax_size = static_cast<DWORD>(GetGlobalBlockSize(old_fax));
  }
  // A section that was empty is stored empty again.
  const BOOL ok = SavePrivateSettings(printer, database, nullptr, morva::settings::kPrivateStorePrinterData,
                                      fax_size ? fax : nullptr, fax_size, extension, wpk_size ? wpk : nullptr,
                                      wpk_size, sp_size ? sp : nullptr, sp_size);
  for (BYTE* p : {old_fax, wpk, sp})
    if (p) GlobalFree(p);
  return ok;
}

// ---- DEVMODE field conversion ------------------------------------------------------

// Step 9 of the field conversion: printer settings that moved into the
// DEVMODE. Without a printer to read them from they keep their defaults;
// the converted DEVMODE is kept either way. The stored block is written
// back only with full access, and a failed write-back does not undo the
// user's converted settings.
BOOL take_printer_items(LPCWSTR printer_name, DddHandle* database, Scratch* dest) {
  OpenedPrinter printer(printer_name);
  if (!printer.get()) return TRUE;
  std::vector<BYTE> block(kPrinterDataSize);
  if (!ReadPrinterSettings(printer.get(), block.data(), database)) return FALSE;
  BYTE* extension = dest->bytes.data() + kExtensionOffset;
  // The printer's stored extension block, or the current one when it has
  // none, goes with the DEVMODE while the items are written.
  static constexpr WORD kFrom[] = {5651, 5652, 5649, 5648, 5650, 5653, 5654};
  static constexpr WORD kTo[] = {456, 457, 1332, 1333, 1334, 1859, 1860};
  std::vector<BYTE> stored(extension, extension + kExtensionSize);
  BYTE* fax = nullptr;
  if (LoadPrivateSettings(printer.get(), database, nullptr, morva::settings::kPrivateStorePrinterData, &fax,
                          stored.data(), nullptr, nullptr, nullptr, nullptr))
    std::memcpy(extension, stored.data(), kExtensionSize);
  if (fax) GlobalFree(fax);
  for (std::size_t i = 0; i < std::size(kFrom); ++i) {
    if (!copy_value(kFrom[i], nullptr, block.data(), kTo[i], dest->data(), nullptr)) return FALSE;
  }
  if (printer.writable()) store_private_settings(printer.get(), database, extension, false, nullptr, 0);
  return TRUE;
}

LONG number(void* devmode, WORD ddmid, bool* ok) {
  LONG v = 0;
  if (!read_number(ddmid, devmode, nullptr, &v)) *ok = false;
  return v;
}

// The steps of the field conversion, reading `old` and writing `dest`.
BOOL run_devmode_steps(WORD version, DddHandle* database, LPCWSTR printer_name, void* old, Scratch* dest,
                       void* defaults, WORD default_model) {
  void* d = dest->data();
  bool ok = true;
  auto set = [&](WORD ddmid, LONG value) {
    if (!write_number(ddmid, d, nullptr, value)) ok = false;
  };
  auto reset = [&](WORD ddmid) {
    if (!copy_value(ddmid, defaults, nullptr, ddmid, d, nullptr)) ok = false;
  };
  const WORD family = default_model >> 4;
  // 1, 2
  if (family == 0x20) reset(271);
  if (number(old, 350, &ok) == 0) reset(350);
  // 3, 4
  if (version <= 20484) {
    auto pair = [&](WORD a, WORD b) -> LONG {
      const bool x = number(old, a, &ok) == 1, y = number(old, b, &ok) == 1;
      return x && y ? 3 : x ? 1 : y ? 2 : 0;
    };
    set(454, pair(1308, 1311));
    set(455, pair(1306, 1309));
  }
  // 5
  if (version < 20544 && HasDeviceCapability(database, 0xFFFF002D)) {
    const LONG staple = number(old, 321, &ok);
    if (staple == 2 && number(old, 1328, &ok) != 0) {
      set(1328, 0);
      set(320, 11);
      set(448, 5);
      set(465, 2);
    } else if (staple != 2) {
      set(1328, 0);
    }
  }
  // 6
  if (version == 20768 && default_model >= 1040 && default_model <= 1055)
    for (WORD id : {WORD{13}, WORD{265}})
      if (number(old, id, &ok) == 273) set(id, 274);
  // 7
  if (version < 20992 && number(old, 1354, &ok) != 0) set(473, 3);
  // 8
  if (version <= 20799 && number(old, 448, &ok) == 1) {
    const LONG staple = number(old, 320, &ok);
    if (staple == 9 || staple == 10 || number(old, 341, &ok) == 5) set(448, 6);
    else set(1329, 0);
  }
  // 9
  if (ok && version < 20485 && !take_printer_items(printer_name, database, dest)) ok = false;
  return ok;
}

// The current identity's own header fields back into `dest`.
BOOL restore_identity(Scratch* dest, void* defaults) {
  for (WORD id : {WORD{3}, WORD{4}, WORD{5}, WORD{257}, WORD{258}})
    if (!copy_number(id, defaults, dest->data())) return FALSE;
  return TRUE;
}

// 0 converted, 2 defaults (the destination then holds them).
INT convert_devmode_fields(LPCWSTR printer_name, DddHandle* database, OldDevmode* old, const DevmodeIdentity& old_id,
                           const DevmodeIdentity& current, Scratch* defaults, Scratch* dest, WORD default_model) {
  dest->bytes = defaults->bytes;
  const DWORD public_bytes = std::min<DWORD>(old_id.size, current.size);
  const DWORD private_bytes = std::min<DWORD>(old_id.driver_extra, current.driver_extra);
  const DWORD old_total = static_cast<DWORD>(old_id.size) + old_id.driver_extra;
  if (public_bytes + private_bytes < old_total) return 2;
  std::memcpy(dest->data(), old->data(), public_bytes);
  std::memcpy(dest->bytes.data() + current.size, old->bytes.data() + old_id.size, private_bytes);
  if (!restore_identity(dest, defaults->data()) ||
      !run_devmode_steps(old_id.version, database, printer_name, old->data(), dest, defaults->data(),
                         default_model)) {
    dest->bytes = defaults->bytes;
    return 2;
  }
  return 0;
}

// Family 1 (versions 256-16391).
bool upgrade_family1(WORD version, const OldDevmode& old, void* s, void* defaults, DddHandle* database,
                     WORD default_model, HANDLE printer) {
  bool ok = true;
  auto set = [&](WORD ddmid, LONG value) {
    if (!write_number(ddmid, s, nullptr, value)) ok = false;
  };
  auto reset = [&](WORD ddmid) {
    if (!copy_value(ddmid, defaults, nullptr, ddmid, s, nullptr)) ok = false;
  };
  if (version == 256) {
    const WORD feed = old.word(308);
    set(295, feed == 0 ? 1 : feed <= 2 ? 2 : feed <= 6 ? 4 : 1);
    if (old.word(342) == 2) set(270, 0);
  }
  if (version == 8192) {
    const WORD stamp = old.word(1014);
    set(321, stamp != 0 ? 1 : 0);
    set(296, stamp != 0 ? stamp : 514);
  }
  if (version <= 12290) {
    auto tens = [](WORD v) { return static_cast<LONG>((v + 5) / 10 * 10); };
    set(268, tens(old.word(324)));
    set(269, tens(old.word(326)));
    set(324, tens(old.word(1364)));
    set(331, old.dword(316) != 0 ? 1 : 0);
    set(291, 0);
    const WORD quality = old.word(346);
    set(390, quality == 3 || quality == 5 ? 0 : quality);
    const WORD res = old.word(344);
    if (res == 1) set(348, 150);
    else if (res == 8) set(348, 200);
    else ok = false;
  }
  if (version >= 16384 && version <= 16387 && old.word(offsetof(DEVMODEW, dmDefaultSource)) == 263) set(13, 15);
  if (version < 16389) set(18, old.dword(304) != 0 ? 1 : 0);
  if (version >= 16384 && version <= 16386) {
    const WORD colour = old.word(342);
    set(270, colour == 3 ? 0 : colour);
    set(1289, 0);
  }
  if ((version == 16388 && old.word(kPublicDevmodeSize + 2) < 6154) || (version < 16391 && version != 16388))
    reset(1324);
  if (version < 16384 || version == 16387) {
    reset(13);
    if (old.word(310) == 258) reset(265);
  }
  const WORD family = default_model >> 4;
  if (family == 0x10) reset(1302);
  if (family == 0x30 && old.word(344) == 257) set(271, 1);
  if (!ok) return false;
  // Without the printer the two settings it holds keep their defaults.
  if (!printer) return true;
  std::vector<BYTE> block(kPrinterDataSize);
  if (!ReadPrinterSettings(printer, block.data(), database)) return false;
  LONG a = 0, b = 0;
  return read_number(5135, nullptr, block.data(), &a) && read_number(5132, nullptr, block.data(), &b) &&
         write_number(440, s, nullptr, a) && write_number(438, s, nullptr, b);
}

// 1 upgraded into `scratch` (version 20483), 0 failure.
BOOL upgrade_devmode_legacy(const DevmodeIdentity& old_id, const OldDevmode& old, const DevmodeIdentity& target,
                            Scratch* scratch, Scratch* defaults, DddHandle* database, LPCWSTR printer_name,
                            WORD default_model) {
  const VersionRange* range = range_of(old_id.version);
  if (!range) return 0;
  scratch->bytes = defaults->bytes;
  void* s = scratch->data();
  for (std::size_t t = 0; t < range->count; ++t) {
    const FieldTable& ft = range->tables[t];
    if (ft.lowest > old_id.version) continue;
    for (std::size_t i = 0; i < ft.count; ++i) {
      const LegacyDevmodeField& f = ft.rows[i];
      const DWORD bytes = f.size ? f.size : dma_TypeSize(f.type);
      // A field the old DEVMODE does not hold keeps its default.
      if (!old.holds(f.offset, bytes)) continue;
      if (!copy_legacy_field(f, old, s)) return 0;
    }
  }
  if (!write_number(4, s, nullptr, target.size) || !write_number(5, s, nullptr, target.driver_extra) ||
      !write_number(257, s, nullptr, target.version))
    return 0;

  OpenedPrinter printer(printer_name);
  const WORD v = old_id.version;
  if (range->family == 1 && !upgrade_family1(v, old, s, defaults->data(), database, default_model, printer.get())) return 0;

  // Both families.
  bool ok = true;
  if (v < 20481 && !write_number(3, s, nullptr, v)) ok = false;
  if (v < 20482) {
    const bool flag = range->family == 1 ? old.word(1348) != 0 : (old.word(288) & 0x200) != 0;
    const WORD limit = range->family == 1 ? old.word(1352) : old.word(1203);
    const WORD code = range->family == 1 ? old.word(312) : old.word(304);
    if (!write_number(446, s, nullptr, flag ? 2 : 0)) ok = false;
    if (limit >= 21 && !write_number(323, s, nullptr, 20)) ok = false;
    static constexpr WORD kCodeMap[][2] = {{2, 3},   {3, 4},   {4, 5},   {5, 6},   {6, 7},
                                           {7, 8},   {8, 9},   {9, 10},  {10, 11}, {11, 12},
                                           {12, 15}, {13, 16}, {15, 2},  {18, 17}, {19, 1}};
    for (const auto& m : kCodeMap)
      if (m[0] == code && !write_number(444, s, nullptr, m[1])) ok = false;
  }
  if (!ok) return 0;
  // The printer's fax address book joins its private settings, when the
  // user may write them.
  if (!printer.writable()) return 1;
  BYTE* book = nullptr;
  DWORD book_size = 0;
  if (!ReadFaxSendList(printer.get(), &book, &book_size)) return 1;  // no book to store
  std::vector<BYTE> extension(scratch->bytes.begin() + kExtensionOffset, scratch->bytes.end());
  const BOOL stored = book_size ? store_private_settings(printer.get(), database, extension.data(), true, book,
                                                         book_size)
                                : TRUE;
  if (book) GlobalFree(book);
  return stored ? 1 : 0;
}

}  // namespace

// ---- identities -------------------------------------------------------------------

BOOL ReadDevmodeHeaderInfo(const void* devmode, DWORD available, DevmodeIdentity* out) {
  if (!devmode || !out || available < kHeadSize) return FALSE;
  const auto* head = static_cast<const BYTE*>(devmode);
  const DWORD extent = static_cast<DWORD>(morva::load_le16(head + kDmSizeOffset)) +
                       morva::load_le16(head + kDmDriverExtraOffset);
  if (available != kDevmodeSizeFromHeader && extent > available) return FALSE;
  OldDevmode copy;
  take(&copy, devmode, extent);
  return identity_of(copy.data(), out);
}

BOOL ReadPrinterDataIdentity(const void* block, const PrinterDataIdentity* current, PrinterDataIdentity* out) {
  if (!block || !out) return FALSE;
  void* b = const_cast<void*>(block);
  LONG v[3] = {};
  const WORD ids[3] = {8203, 8204, 8202};
  for (int i = 0; i < 3; ++i)
    if (!read_number(ids[i], nullptr, b, &v[i])) return FALSE;
  out->layout = static_cast<WORD>(v[0]);
  out->version = static_cast<WORD>(v[1]);
  out->size = static_cast<WORD>(v[2]);
  // Blocks of these generations kept another value where the model code
  // is now; the current model code stands in for it.
  const WORD model = current ? current->model : 0;
  const bool borrowed = current && ((out->version == 16389 && model == 115) ||
                                    (out->version == 0x5100 && model >= 0x350 && model <= 0x35F) ||
                                    out->version < 16387);
  if (borrowed) {
    out->model = model;
    return TRUE;
  }
  LONG m = 0;
  if (!read_number(5137, nullptr, b, &m)) return FALSE;
  out->model = static_cast<WORD>(m);
  return TRUE;
}

INT ComparePrivateDevmodeHeader(const DevmodeIdentity& current, const DevmodeIdentity& source) {
  if (source.size != current.size || source.spec_version != current.spec_version ||
      !same_name(source.name, current.name) || source.version > current.version)
    return 1;
  if (source.version == current.version) return 2;
  return source.version >= kDevmodeFieldStepVersion ? 3 : 4;
}

// ---- DEVMODE ---------------------------------------------------------------------

INT ConvertPrivateDevmode(const void* source, void* destination, LPCWSTR printer_name, DddHandle* database,
                          DWORD source_size) {
  if (!destination) return -1;
  Scratch defaults;
  if (!fill_defaults(database, &defaults, printer_name)) return -1;
  const auto give_defaults = [&] {
    std::memcpy(destination, defaults.data(), kShortDevmodeSize);
    return 2;
  };
  DevmodeIdentity current, old_id;
  if (!identity_of(defaults.data(), &current) || !source || !ReadDevmodeHeaderInfo(source, source_size, &old_id))
    return give_defaults();
  // The model code is a printer setting: its default comes from the
  // database, not from the DEVMODE.
  ItemValue model{};
  WORD model_type = 0;
  DWORD model_size = 0;
  const WORD default_model =
      GetItemDefault(database, 5137, &model, &model_type, &model_size) == 1
          ? static_cast<WORD>(GetTypedValue(model_type, &model))
          : 0;

  OldDevmode old;
  take(&old, source, static_cast<DWORD>(old_id.size) + old_id.driver_extra);
  Scratch dest;
  INT result = 2;
  switch (ComparePrivateDevmodeHeader(current, old_id)) {
    case 2:
      // The same layout: taken as it is, with the current item 258. A
      // DEVMODE cut short of the first private block is not taken.
      if (old.extent < kShortDevmodeSize) return give_defaults();
      dest.bytes = old.bytes;
      if (old_id.layout != current.layout && !write_number(258, dest.data(), nullptr, current.layout))
        return give_defaults();
      // Only the first 1604 bytes are taken: a larger private part must
      // not be announced beyond them.
      if (old_id.driver_extra != current.driver_extra &&
          !write_number(5, dest.data(), nullptr, current.driver_extra))
        return give_defaults();
      std::memcpy(destination, dest.data(), kShortDevmodeSize);
      return 1;
    case 3:
      result = convert_devmode_fields(printer_name, database, &old, old_id, current, &defaults, &dest,
                                      default_model);
      break;
    case 4: {
      DevmodeIdentity target = current;
      target.version = kDevmodeFieldStepVersion;
      Scratch upgraded;
      if (!upgrade_devmode_legacy(old_id, old, target, &upgraded, &defaults, database, printer_name,
                                  default_model))
        return give_defaults();
      OldDevmode from;
      from.bytes = upgraded.bytes;
      from.extent = static_cast<DWORD>(target.size) + target.driver_extra;
      result = convert_devmode_fields(printer_name, database, &from, target, current, &defaults, &dest,
                                      default_model);
      break;
    }
    default:
      return give_defaults();
  }
  if (result != 0) return give_defaults();
  std::memcpy(destination, dest.data(), kShortDevmodeSize);
  return 0;
}

std::size_t CollectLegacyDevmodeFields(WORD version, LegacyDevmodeField* out, std::size_t capacity) {
  const VersionRange* range = range_of(version);
  if (!range) return 0;
  std::size_t n = 0;
  for (std::size_t t = 0; t < range->count; ++t) {
    if (range->tables[t].lowest > version) continue;
    for (std::size_t i = 0; i < range->tables[t].count; ++i) {
      if (out && n < capacity) out[n] = range->tables[t].rows[i];
      ++n;
    }
  }
  return n;
}

// ---- PrinterData ------------------------------------------------------------------

namespace {

BOOL block_defaults(DddHandle* database, void* block) {
  Scratch devmode;
  return FillDefaultSettings(database, devmode.data(), block, kDummyPrinterName);
}

BOOL write_block_identity(void* block, const PrinterDataIdentity& id) {
  return write_number(8203, nullptr, block, id.layout) && write_number(8204, nullptr, block, id.version) &&
         write_number(8202, nullptr, block, id.size) && write_number(5137, nullptr, block, id.model);
}

BOOL run_block_steps(WORD version, DddHandle* database, void* b, void* defaults, WORD model) {
  bool ok = true;
  auto get = [&](WORD ddmid) {
    LONG v = 0;
    if (!read_number(ddmid, nullptr, b, &v)) ok = false;
    return v;
  };
  auto set = [&](WORD ddmid, LONG value) {
    if (!write_number(ddmid, nullptr, b, value)) ok = false;
  };
  auto reset = [&](WORD ddmid) {
    if (!copy_value(ddmid, nullptr, defaults, ddmid, nullptr, b)) ok = false;
  };
  const WORD family = model >> 4;
  // 1
  if (version == 20482 && get(4364) == 0) reset(4364);
  // 2
  if (version < 20497 && get(4101) != 0) {
    switch (family) {
      case 0x20: set(4359, 4); break;
      case 0x30: case 0x40: case 0xA0: case 0x110: set(4359, 1); break;
      case 0x190: set(4359, 2); break;
      default: ok = false; break;
    }
  }
  // 3
  if (version <= 20484) {
    const WORD c = get(4104) != 0 && model != 55 ? 2 : 1;
    const WORD index = static_cast<WORD>(c + (get(4117) != 0 ? 1 : 0));
    WCHAR* name = nullptr;
    void* data = nullptr;
    WORD type = 0;
    if (!database ||
        DddGetChoiceNameAndValue(&database->main, &database->linked, 4355, index, &name, &data, &type) != DDD_OK ||
        !data) {
      ok = false;
    } else {
      set(4355, static_cast<const BYTE*>(data)[0]);
    }
    if (name) GlobalFree(name);
    if (data) GlobalFree(data);
  }
  // 4
  if (version < 20496 && model >= 48 && model <= 63)
    set(4357, model == 55 ? 2 : get(4107) ? 3 : get(4106) ? 2 : get(4105) ? 1 : 0);
  // 5
  if (version < 20496) {
    const LONG mode = get(5127);
    set(5163, mode == 5 || mode == 6 ? 1 : 0);
    if (mode == 1) set(5127, 7);
    if (mode == 5) {
      reset(5127);
      set(5178, 7);
    }
  }
  // 6
  reset(5153);
  reset(4129);
  // 7
  if (version <= 20543) set(4362, get(4097) != 0 ? 1 : 0);
  // 8
  if (version < 20768 && HasDeviceCapability(database, 0x2000000)) set(5204, 2);
  // 9
  if (version == 20768 && model >= 1040 && model <= 1055) {
    if (!copy_value(4623, nullptr, b, 4624, nullptr, b)) ok = false;
    set(4623, 0);
  }
  // 10
  if (version < 20800 && !copy_value(8209, nullptr, b, 8213, nullptr, b)) ok = false;
  // 11
  if (version == 20800 && family == 0x540) reset(4365);
  // 12
  if (version < 21016) reset(4125);
  return ok;
}

// 0 converted, 2 defaults; `destination` holds the result.
INT convert_printer_data_fields(void* destination, const PrinterDataIdentity& old_id, const BYTE* old,
                                DWORD old_available, const PrinterDataIdentity& current, DddHandle* database,
                                const std::vector<BYTE>& defaults) {
  std::memcpy(destination, defaults.data(), kPrinterDataSize);
  if (old_id.size > current.size || old_id.size > old_available) return 2;
  std::memcpy(destination, old, std::min<DWORD>(old_id.size, kPrinterDataSize));
  if (!write_block_identity(destination, current) ||
      !run_block_steps(old_id.version, database, destination, const_cast<BYTE*>(defaults.data()), current.model)) {
    std::memcpy(destination, defaults.data(), kPrinterDataSize);
    return 2;
  }
  return 0;
}

BOOL user_paper(void* b, DWORD slot, WORD width, WORD length, const BYTE* name, DWORD name_bytes) {
  std::vector<WCHAR> text(name_bytes / 2 + 1, 0);
  for (DWORD i = 0; i < name_bytes / 2; ++i) {
    text[i] = morva::load_le16(name + 2 * i);
    if (!text[i]) break;
  }
  const WCHAR* p = text.data();
  DWORD n = 0;
  while (p[n]) ++n;
  return write_number(static_cast<WORD>(5889 + slot), nullptr, b, width) &&
         write_number(static_cast<WORD>(5909 + slot), nullptr, b, length) &&
         SetItemValueRaw(static_cast<WORD>(5929 + slot), nullptr, b, kTypeString, 2 * (n + 1), &p) == kDdmOk;
}

// 1 upgraded into `scratch`, 0 failure.
BOOL upgrade_printer_data_legacy(const PrinterDataIdentity& old_id, const BYTE* old, DWORD old_available,
                                 const PrinterDataIdentity& target, BYTE* scratch, DddHandle* database,
                                 const std::vector<BYTE>& defaults) {
  std::memcpy(scratch, defaults.data(), kPrinterDataSize);
  const WORD v = old_id.version;
  if (v < 16390) {
    if (old_id.size > kPrinterDataSize || old_id.size > old_available) return 0;
    std::memcpy(scratch, old, old_id.size);
  } else {
    constexpr DWORD kHead = kLegacyUserPaperRowsOffset;
    constexpr DWORD kRows = kLegacyUserPaperRowCount * sizeof(LegacyUserPaperRow);
    if (old_available < kHead + kRows) return 0;
    std::memcpy(scratch, old, kHead);
    for (DWORD n = 0; n < kLegacyUserPaperRowCount; ++n) {
      const BYTE* row = old + kHead + n * sizeof(LegacyUserPaperRow);
      if (!user_paper(scratch, n, morva::load_le16(row), morva::load_le16(row + 2),
                      row + offsetof(LegacyUserPaperRow, name), sizeof(LegacyUserPaperRow::name)))
        return 0;
    }
  }
  if (!write_number(8202, nullptr, scratch, target.size)) return 0;
  bool ok = true;
  auto set = [&](WORD ddmid, LONG value) {
    if (!write_number(ddmid, nullptr, scratch, value)) ok = false;
  };
  LONG value = 0;
  if (v == 256) {
    ItemValue d{};
    WORD type = 0;
    DWORD size = 0;
    if (database && GetItemDefault(database, 4103, &d, &type, &size) == 1) set(4103, 1);
  }
  if (v == 16385 || v == 16386 || (v == 16389 && target.model == 115)) set(5137, target.model);
  if (v <= 12288 && (target.model >> 4) == 0x10) {
    if (!read_number(4365, nullptr, scratch, &value)) ok = false;
    else if (value == 0) set(8205, 0x01010501);
    else if (value == 1) set(8205, 0x01010702);
  }
  if (v < 16389 && !copy_value(8206, nullptr, const_cast<BYTE*>(defaults.data()), 8206, nullptr, scratch)) ok = false;
  if (v < 16390) {
    const BYTE* slots = old + kLegacyUserPaperOffset;
    if (old_available < kLegacyUserPaperOffset + sizeof(LegacyUserPaperSlots)) return 0;
    for (DWORD n = 0; n < 5 && ok; ++n)
      if (!user_paper(scratch, n, morva::load_le16(slots + 2 * n),
                      morva::load_le16(slots + offsetof(LegacyUserPaperSlots, length) + 2 * n),
                      slots + offsetof(LegacyUserPaperSlots, name) + 30 * n, 30))
        ok = false;
  }
  return ok ? 1 : 0;
}

}  // namespace

INT ConvertPrinterDataBlock(const void* stored, DWORD stored_size, void* destination, DddHandle* database) {
  if (!destination) return -1;
  std::vector<BYTE> defaults(kPrinterDataSize);
  if (!block_defaults(database, defaults.data())) return -1;
  const auto give_defaults = [&] {
    std::memcpy(destination, defaults.data(), kPrinterDataSize);
    return 2;
  };
  // The stored block is read through a zero-padded copy of what is there.
  const DWORD available = stored ? stored_size : 0;
  std::vector<BYTE> old(std::max<DWORD>(available, kPrinterDataSize));
  if (available) std::memcpy(old.data(), stored, available);
  PrinterDataIdentity current, old_id;
  if (!ReadPrinterDataIdentity(defaults.data(), nullptr, &current) || available < 8 ||
      !ReadPrinterDataIdentity(old.data(), &current, &old_id))
    return give_defaults();
  if (old_id.model != current.model || old_id.version > current.version) return give_defaults();
  if (old_id.version == current.version) {
    if (available < kPrinterDataSize) return give_defaults();
    std::memcpy(destination, old.data(), kPrinterDataSize);
    if (old_id.layout != current.layout && !write_number(8203, nullptr, destination, current.layout))
      return give_defaults();
    return 1;
  }
  if (old_id.version >= kPrinterDataFieldStepVersion)
    return convert_printer_data_fields(destination, old_id, old.data(), available, current, database, defaults);
  PrinterDataIdentity target = current;
  target.version = kPrinterDataFieldStepVersion;
  std::vector<BYTE> scratch(kPrinterDataSize);
  if (!upgrade_printer_data_legacy(old_id, old.data(), available, target, scratch.data(), database, defaults))
    return give_defaults();
  return convert_printer_data_fields(destination, target, scratch.data(), kPrinterDataSize, current, database,
                                     defaults);
}
