// Opens mutated device databases and loads every record of every kind.
// Input: the main file, optionally followed by kLinkedMark and the linked
// file (which the main header names "L.DDD"). A string library "S1.DLL"
// with strings 1-9 lies beside them.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "ddd_builder.h"
#include "settings/database/ddd_file.h"
#include "settings/database/ddd_host.h"
#include "settings/database/ddd_records.h"
#include "fuzz_machine_root.h"
#include "win/memory.h"

namespace {

constexpr std::string_view kLinkedMark = "\n--LINKED--\n";

void write(const std::string& name, std::string_view bytes) {
  if (!morva::fuzz::write_drive_c_file("f/" + name, bytes)) std::abort();
}

void setup() {
  morva::fuzz::machine_root();
  morva::settings::ddd_set_module_directory(u"C:\\f\\");
  nlohmann::json d = {{"main", {{"file", "X.DDD"}}},
                      {"string_libraries", {{"S1.DLL", {{"1", "one"}, {"2", "two"}, {"7", "seven"}}},
                                            {"S2.DLL", {{"1", "other"}}}}}};
  for (const auto& [name, bytes] : morva::ddd_build::build_images(d))
    if (name != "X.DDD") write(name, bytes);
}

void load_all(DddHandle* h) {
  for (WORD kind : kDddKindOrder) {
    WORD count = 0;
    DddFile copy = h->main;
    if (DddSeekKindTable(&copy, kind) == DDD_OK) DddReadWord(&copy, &count);
    if (count > 40) count = 40;
    for (WORD n = 1; n <= count + 1; ++n) {
      for (WORD mode : {DDD_LOAD_HEADER, DDD_LOAD_FULL}) {
        DddValue* v = nullptr;
        DddLoadValue(mode, &h->main, &h->linked, kind, n, &v);
        if (v && (kind == DDD_KIND_ITEM || kind == DDD_KIND_ITEM_ALT)) {
          WORD id = v->id;
          DddFreeValue(&v, 0xFFFF);
          for (WORD choice = 1; choice <= 3; ++choice) {
            DddLoadRecord(mode, &h->main, &h->linked, kind, id, choice, &v);
            DddFreeValue(&v, 0xFFFF);
          }
        }
        DddFreeValue(&v, 0xFFFF);
      }
    }
  }
  for (WORD field = 0; field < DDD_GLOBAL_FIELD_COUNT; ++field) {
    if (kDddGlobalFields[field].size != 0) continue;
    for (WORD index = 0; index < 3; ++index) {
      WCHAR* text = nullptr;
      DddReadFieldString(&h->main, field, index, &text);
      if (text) GlobalFree(text);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static bool ready = (setup(), true);
  (void)ready;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t mark = input.find(kLinkedMark);
  write("T.DDD", input.substr(0, mark));
  write("L.DDD", mark == std::string_view::npos ? std::string_view() : input.substr(mark + kLinkedMark.size()));
  DddStatus status = 0;
  DddHandle* h = DddOpenPath(u"C:\\f\\T.DDD", &status);
  if (h) {
    load_all(h);
    DddClose(h);
  }
  return 0;
}
