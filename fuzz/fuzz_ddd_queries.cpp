// Runs the database queries the settings code calls on mutated device
// databases: every item and choice query for each item the file holds (and
// for identifiers that name papers, ranges and the header), the global
// fields and strings, and the accessors on every loaded record. Input as
// for fuzz_ddd_open: the main file, optionally followed by kLinkedMark and
// the linked file. The seeds are the demo printer's database, whose string
// library lies beside the file.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "ddd_builder.h"
#include "fuzz_machine_root.h"
#include "settings/database/ddd_file.h"
#include "settings/database/ddd_host.h"
#include "settings/database/ddd_queries.h"
#include "settings/database/ddd_records.h"
#include "win/memory.h"

namespace {

constexpr std::string_view kLinkedMark = "\n--LINKED--\n";

void write(const std::string& name, std::string_view bytes) {
  if (!morva::fuzz::write_drive_c_file("q/" + name, bytes)) std::abort();
}

void free_text(WCHAR* text) {
  if (text) GlobalFree(text);
}

void free_value(DddValue*& v) {
  if (v) DddFreeValue(&v, 0xFFFF);
  v = nullptr;
}

// The accessors on one loaded value (each answers 1 for other kinds).
void read_value(const DddValue* v) {
  DddPair a{}, b{};
  WORD w = 0, type = 0, size = 0, key = 0;
  DWORD dsize = 0;
  const void* data = nullptr;
  DddGetValueName(v);
  DddGetValueRange(v, &a);
  DddGetValueRange2(v, &a);
  DddGetPaperSize(v, &a);
  DddGetPaperSizeAlt(v, &a);
  DddGetPaperMarginPairs(v, &a, &b);
  DddGetPaperArea(v, &a);
  DddGetPaperArea2(v, &a);
  DddGetDeviceFontData(v, &dsize);
  DddGetPjlCommandText(v);
  DddGetPjlValueText(v);
  DddGetLevelWord(v, &w);
  for (WORD n = 0; n <= 3; ++n) {
    DddGetRangeElement(v, n, &w);
    DddGetRangeWord(v, n, &w);
    DddGetFontFace(v, n);
    DddGetDeviceConfigString(v, n);
  }
  const WORD entries = DddGetEntryCount(v);
  for (WORD n = 0; n <= entries && n < 20; ++n) DddGetEntry(v, n, &type, &size, &data);
  const WORD pairs = DddGetKeyValueCount(v);
  for (WORD n = 0; n <= pairs && n < 20; ++n) DddGetKeyValueEntry(v, n, &key, &type, &size, &data);
}

// Every query by identifier, for an item (or paper, range, header) id.
void query_identifier(DddHandle* h, WORD identifier) {
  DddFile* m = &h->main;
  DddFile* l = &h->linked;
  WORD kind = 0, id = 0, type = 0, size = 0, out_kind = 0;
  DddClassifyId(identifier, 1, &kind, &id);
  const DWORD wanted_values[] = {0, 1, 2, 9};
  for (WORD mode : {DDD_LOAD_HEADER, DDD_LOAD_FULL}) {
    DddValue* v = nullptr;
    DddGetItemValue(mode, m, l, identifier, nullptr, &out_kind, &v);
    if (v) {
      read_value(v);
      DddValue* c = nullptr;
      for (WORD n = 1; n <= 3; ++n) {
        DddLoadItemChoice(mode, FALSE, m, l, v, n, &out_kind, &c);
        if (c) {
          read_value(c);
          DddValue* t = nullptr;
          DddLoadChoiceTarget(mode, m, l, c, &out_kind, &t);
          if (t) read_value(t);
          free_value(t);
          DddBlob* blob = nullptr;
          DddLoadEntryBlob(m, l, c, &blob);
          if (blob) DddFreeValue(reinterpret_cast<DddValue**>(&blob), 0xFFFF);
        }
        free_value(c);
      }
      DddLoadItemChoice(mode, TRUE, m, l, v, 0, &out_kind, &c);
      free_value(c);
      for (const DWORD& wanted : wanted_values) {
        DddFindChoiceByValue(mode, m, l, v, &wanted, &out_kind, &c);
        free_value(c);
      }
      WORD w1 = 0, w2 = 0;
      BYTE* bitmap = nullptr;
      DddLoadRulePicture(m, l, v, &w1, &w2, &bitmap);
      if (bitmap) GlobalFree(bitmap);
    }
    free_value(v);
    for (const DWORD& wanted : wanted_values) {
      DddGetItemValue(mode, m, l, identifier, &wanted, &out_kind, &v);
      if (v) read_value(v);
      free_value(v);
    }
    for (WORD n = 1; n <= 3; ++n) {
      DddGetNthChoice(mode, m, l, identifier, n, &out_kind, &v);
      if (v) read_value(v);
      free_value(v);
      DddLoadValueEx(mode, m, l, kind, id, n, &v);
      free_value(v);
    }
  }
  void* data = nullptr;
  if (DddGetDefaultChoiceValue(m, l, identifier, &data, &type, &size) == DDD_OK && data) GlobalFree(data);
  data = nullptr;
  if (DddGetItemDefault(m, l, identifier, &data, &type, &size) == DDD_OK && data) GlobalFree(data);
  WCHAR* text = nullptr;
  DddGetItemString(m, l, identifier, nullptr, &text);
  free_text(text);
  text = nullptr;
  for (WORD n = 0; n <= 2; ++n) {
    DddGetRecordName(m, l, kind, id, n, &text);
    free_text(text);
    text = nullptr;
    data = nullptr;
    DddGetChoiceNameAndValue(m, l, identifier, n, &text, &data, &type);
    free_text(text);
    text = nullptr;
    if (data) GlobalFree(data);
    DddEntryCopy* copy = nullptr;
    DddGetEntryCopy(h, identifier, n, &copy);
    if (copy) {
      const WCHAR* name = nullptr;
      const void* part = nullptr;
      const DddBlob* blob = nullptr;
      DddGetEntryCopyParts(copy, &name, &part, &size, &type, &blob);
      DddFreeEntryCopy(copy);
    }
  }
  DddTestOptionBit(m, l, identifier);
  for (const DWORD& wanted : wanted_values) {
    DddHasItemValue(h, identifier, &wanted);
    DddValue* t = nullptr;
    DddLoadItemValueTarget(h, identifier, &wanted, &t);
    free_value(t);
    DddPair s1{}, s2{};
    DddGetChoicePaperSize(h, identifier, &wanted, &s1, &s2);
  }
  DddPair paper{};
  DddGetDefaultPaperSize(h, identifier, &paper);
  for (WORD mode = 1; mode <= 3; ++mode) {
    const DddChoiceTargetQuery query{1, {2100, 2970}, u"a4"};
    DddChoiceTargetResult result{};
    if (DddFindChoiceTarget(h, identifier, mode, &query, &result) == 0) DddFreeChoiceTargetName(&result);
  }
  DWORD_PTR number = 0;
  INT error = 0;
  if (DddGetItemDefaultValue(h, identifier, &type, &number, &error)) DddFreeItemDefaultValue(type, number);
  data = nullptr;
  if (DddGetItemDefaultData(h, identifier, &data, &type, &size, &error)) DddFreeItemDefaultData(data);
  BYTE flags = 0;
  WORD choices = 0;
  const WCHAR* name = nullptr;
  if (DddItem* item = DddOpenItemRecord(h, identifier, &flags, &choices, &name, &error)) DddFreeRecord(item);
  free_text(DddGetDefaultTargetName(h, identifier));
}

void query_all(DddHandle* h) {
  DddFile* m = &h->main;
  DddFile* l = &h->linked;
  // Identifiers: the ids of the items the tables hold, then the header,
  // papers, ranges and kind 19 by their fixed identifiers.
  std::vector<WORD> identifiers = {1, 259, 0x8001, 0x8002, 0x8003, 0x800B, 8, 327, 1804, 1824, 4356, 4358};
  for (WORD kind : {DDD_KIND_ITEM, DDD_KIND_ITEM_ALT}) {
    const WORD count = DddGetRecordCount(m, kind);
    for (WORD n = 1; n <= count && n <= 40; ++n) {
      DddValue* v = nullptr;
      DddLoadValue(DDD_LOAD_HEADER, m, l, kind, n, &v);
      if (v) identifiers.push_back(v->id);
      free_value(v);
    }
  }
  for (WORD identifier : identifiers) query_identifier(h, identifier);
  // Every record of every kind through the value accessors.
  for (WORD kind : kDddKindOrder) {
    const WORD count = DddGetRecordCount(m, kind);
    for (WORD n = 1; n <= count && n <= 40; ++n) {
      DddValue* v = nullptr;
      DddLoadValue(DDD_LOAD_FULL, m, l, kind, n, &v);
      if (v) read_value(v);
      free_value(v);
    }
  }
  // Global fields and strings.
  for (WORD field = 0; field < DDD_GLOBAL_FIELD_COUNT; ++field) {
    const WORD elements = DddGetFieldCount(m, field);
    for (WORD index = 0; index < 3 && index <= elements; ++index) {
      BYTE buffer[8] = {};
      DddReadFixedField(m, field, kDddGlobalFields[field].size, index, buffer);
      DddGetFieldValue(m, field, kDddGlobalFields[field].size, index);
      free_text(DddGetFieldString(m, field, index));
    }
    WORD w1 = 0, w2 = 0;
    if (BYTE* bitmap = DddLoadPictureByField(m, l, field, &w1, &w2)) GlobalFree(bitmap);
  }
  for (WORD number = 0; number <= 10; ++number) {
    WCHAR* text = nullptr;
    DddGetDatabaseString(m, number, &text);
    free_text(text);
    text = nullptr;
    DddGetProductString(m, number, &text);
    free_text(text);
  }
  DddStatus status = 0;
  free_text(DddGetModelName(h, &status));
  DddGetMaxCopies(h);
  DddGetColorCapability(h);
  DddGetFeatureFlagByte(h);
}

void setup() {
  morva::fuzz::machine_root();
  morva::settings::ddd_set_module_directory(u"C:\\q\\");
  std::ifstream in(std::string(MORVA_SOURCE_DIR) + "/resources/demo_printer/database.json");
  for (const auto& [name, bytes] : morva::ddd_build::build_images(nlohmann::json::parse(in)))
    if (name.ends_with(".DLL")) write(name, bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static bool ready = (setup(), true);
  (void)ready;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t mark = input.find(kLinkedMark);
  write("T.DDD", input.substr(0, mark));
  write("L.DDD", mark == std::string_view::npos ? std::string_view() : input.substr(mark + kLinkedMark.size()));
  DddStatus status = 0;
  DddHandle* h = DddOpenPath(u"C:\\q\\T.DDD", &status);
  if (h) {
    query_all(h);
    DddClose(h);
  }
  return 0;
}
