// The printer's stored data and the user's registry record are outside
// input: another driver version, a damaged registry or a user may have
// written them. This target installs the demo printer once, then for each
// input sets printer-data values and the user's record from the input and
// runs every reader of them: chunked printer data, the printer-data kinds,
// the printer's identity, the stored printer settings (and the spooler's
// upgrade callback over them), the stored font substitution table (read,
// searched and edited) and the per-user settings record.
//
// Input: one flag byte (bit 0: start from what a fresh printer stores, so
// that values set after it damage a sound state; bits 1-2: the per-user
// record read's flags), then records of a name byte (an index into
// kValueNames, the user's record last), a type byte, a WORD length and the
// value's bytes, up to the input's end.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "ddm/ddmid.h"
#include "ddd_builder.h"
#include "fuzz_machine_root.h"
#include "printer_install.h"
#include "settings/database/ddd_file.h"
#include "settings/items/default_settings.h"
#include "settings/stores/chunked_printer_data.h"
#include "settings/stores/font_substitution.h"
#include "settings/stores/printer_data_kinds.h"
#include "settings/stores/printer_identity.h"
#include "settings/stores/printer_settings.h"
#include "settings/stores/user_registry_values.h"
#include "settings/stores/user_setting_info.h"
#include "win/endian.h"
#include "win/machine_store.h"
#include "win/memory.h"
#include "win/spooler.h"

namespace {

constexpr char16_t kPrinterName[] = u"Fuzz Printer";
constexpr DWORD kChunksPerKind = 11;  // the PrinterData block's 7972 bytes

// Every value a reader looks at: each kind's size value and chunks, then
// the identity.
const std::vector<std::u16string>& value_names() {
  static const std::vector<std::u16string> names = [] {
    std::vector<std::u16string> n;
    for (DWORD kind = 0; kind <= kPrinterDataPaperMarginArray; ++kind) {
      const PrinterDataKindNames* k = GetPrinterDataKindNames(kind);
      n.push_back(k->size_name);
      for (DWORD i = 1; i <= kChunksPerKind; ++i) n.push_back(morva::settings::ChunkValueName(k->prefix, i));
    }
    n.push_back(u"PRNID");
    return n;
  }();
  return names;
}

struct Printer {
  HANDLE handle = nullptr;
  DddHandle* database = nullptr;
  std::vector<BYTE> devmode, printer_data;
};

const Printer& printer() {
  static const Printer p = [] {
    Printer out;
    const std::string built = morva::fuzz::machine_root() + "/build";
    morva::platform::use_in_memory_store(true);
    morva::ddd_build::build_file(std::string(MORVA_SOURCE_DIR) + "/resources/demo_printer/database.json", built);
    morva::install::PrinterSetup setup;
    setup.name = kPrinterName;
    setup.database = built + "/MVDEMO.DDD";
    setup.files.push_back(built + "/MVDEMOSTR.DLL");
    if (!morva::install::install_printer(setup).ok) std::abort();
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    std::u16string name = kPrinterName;
    if (!OpenPrinterW(name.data(), &out.handle, &defaults)) std::abort();
    out.database = DddOpen(out.handle);
    if (!out.database) std::abort();
    out.devmode.resize(morva::ddm::kPrivateDevmodeSize);
    out.printer_data.resize(morva::ddm::kPrinterDataSize);
    FillDefaultSettings(out.database, out.devmode.data(), out.printer_data.data(), kPrinterName);
    return out;
  }();
  return p;
}

void clear(const Printer& p) {
  for (const auto& name : value_names()) {
    std::u16string n = name;
    DeletePrinterDataW(p.handle, n.data());
  }
  DeleteUserSettingInfoValue(p.handle, p.database);
}

// What a fresh printer stores: its settings block, a machine-wide and a
// per-user record, the font substitution table and its identity.
void store_defaults(const Printer& p) {
  std::vector<BYTE> block = p.printer_data;
  WritePrinterDataKind(p.handle, block.data(), static_cast<DWORD>(block.size()), kPrinterDataPrinterData);
  std::vector<BYTE> record(kUserRecordSize);
  if (FillUserSettingInfoFromDatabase(p.handle, p.database, record.data())) {
    WriteUserSettingInfo(p.handle, p.database, record.data(), kUserRecordMachineWide | kUserSectionsAll);
    WriteUserSettingInfo(p.handle, p.database, record.data(), kUserSectionsAll);
  }
  if (WCHAR* table = BuildFontSubstitutionTable(p.database)) {
    WriteFontSubstitutionTable(p.handle, table);
    GlobalFree(table);
  }
  BYTE id[kPrinterIdBytes];
  if (CreatePrinterId(p.handle, id)) WritePrinterId(p.handle, id);
}

void read_all(const Printer& p, DWORD user_flags) {
  for (DWORD kind = 0; kind <= kPrinterDataPaperMarginArray; ++kind) {
    const PrinterDataKindNames* k = GetPrinterDataKindNames(kind);
    BYTE* data = nullptr;
    DWORD size = 0;
    if (ReadChunkedPrinterData(p.handle, &data, &size, k->prefix, k->size_name) && data) GlobalFree(data);
    size = 0;
    if (ReadPrinterDataKind(p.handle, kind, nullptr, &size) && size <= morva::settings::kPrinterDataMaxBlob) {
      std::vector<BYTE> buffer(size);
      ReadPrinterDataKind(p.handle, kind, buffer.data(), &size);
    }
  }
  BYTE id[kPrinterIdBytes];
  if (ReadPrinterId(p.handle, id)) {
    WCHAR text[kPrinterIdTextChars];
    FormatPrinterIdHex(id, text, kPrinterIdTextChars);
  }
  std::vector<BYTE> block(kPrinterDataBlockSize);
  ReadPrinterSettings(p.handle, block.data(), p.database);
  DWORD size = kPrinterDataBlockSize;
  GetUpgradedPrinterData(p.handle, block.data(), &size);
  if (WCHAR* table = ReadStoredFontSubstitutionTable(p.handle)) GlobalFree(table);
  if (WCHAR* table = GetFontSubstitutionTable(p.handle)) {
    // The pairs looked up and edited as the property sheets do, by the
    // table's first font and by one it may lack.
    const std::u16string first(table);
    for (const WCHAR* key : {first.c_str(), u"Arial"}) {
      FindMultiSzPairValue(table, key);
      if (WCHAR* edited = EditMultiSzPairList(table, key, u"Helvetica")) GlobalFree(edited);
      if (WCHAR* removed = EditMultiSzPairList(table, key, nullptr)) GlobalFree(removed);
    }
    GlobalFree(table);
  }
  EnsureFontSubstitutionTable(p.handle, p.database);
  std::vector<BYTE> record(kUserRecordSize);
  ReadUserSettingInfo(p.handle, p.database, record.data(), user_flags, TRUE);
  ReadUserSettingInfo(p.handle, p.database, record.data(), user_flags | kUserRecordMachineWide, FALSE);
  ReadLegacyUserSettingInfo(p.handle, p.database);
  std::vector<BYTE> settings = p.printer_data;
  BOOL changed = FALSE;
  SyncUserSettingsFromPrinter(p.handle, p.database, settings.data(), &changed);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Printer& p = printer();
  if (size < 1) return 0;
  clear(p);
  if (data[0] & 1) store_defaults(p);
  const DWORD user_flags = (data[0] >> 1) & 3;
  const auto& names = value_names();
  for (std::size_t at = 1; at + 4 <= size;) {
    const std::size_t which = data[at] % (names.size() + 1);
    const DWORD type = data[at + 1] % 5;  // REG_NONE to REG_DWORD
    const std::size_t length = std::min<std::size_t>(morva::load_le16(data + at + 2), size - at - 4);
    std::vector<BYTE> value(data + at + 4, data + at + 4 + length);
    at += 4 + length;
    if (which == names.size()) {
      WriteUserRegistryValue(p.handle, p.database, value.data(), static_cast<DWORD>(value.size()), type, nullptr,
                             u"UserSettingInfo");
    } else {
      std::u16string name = names[which];
      SetPrinterDataW(p.handle, name.data(), type, value.data(), static_cast<DWORD>(value.size()));
    }
  }
  read_all(p, user_flags);
  return 0;
}
