// Whole-settings validation over any DEVMODE and PrinterData pair: it reads
// only within the two blocks (each an exact-size heap buffer), and the pair
// it repairs is a fixed point: validating it again changes nothing and
// answers 3, and the conflict check of the rule items finds no conflict.
// Input: records of four bytes {WORD selector, WORD value} applied to the
// demo printer's defaults; a selector with the high bit writes the value
// at byte (selector & 0x7FFF) of the DEVMODE followed by the PrinterData,
// any other selector sets a setting of the table below to the value.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ddm/ddmid.h"
#include "fuzz_demo_database.h"
#include "settings/constraints/conflict_check.h"
#include "settings/constraints/settings_validation.h"
#include "settings/items/default_settings.h"
#include "settings/items/item_access.h"
#include "win/memory.h"
#include "win/modules.h"

namespace {

using namespace morva::ddm;

constexpr WORD kSettings[] = {8, 16, 13, 7, 18, 270, 12, 262, 265, 14, 6, 334, 1354, 1321, 5200, 1863, 1864, 4359, 444};
constexpr WORD kRuleItems[] = {8, 16, 13, 7, 18, 270};
const HANDLE kPrinter = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x5150));

// The resource module beside this program, loaded as data.
HMODULE resources() {
  static HMODULE module = [] {
    char path[4096] = {};
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return static_cast<HMODULE>(nullptr);
    std::string dir(path, static_cast<size_t>(n));
    dir.resize(dir.rfind('/') + 1);
    std::u16string name = u"Z:";
    for (char c : dir + "morvares.xrs") name += c == '/' ? u'\\' : static_cast<char16_t>(c);
    return LoadLibraryExW(name.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  }();
  return module;
}

INT validate(std::vector<std::uint8_t>& dm, std::vector<std::uint8_t>& pd) {
  LPWSTR text = nullptr;
  const INT r = ValidateSettings(FALSE, resources(), kPrinter, morva::fuzz::demo_database(), dm.data(), pd.data(), 714,
                                 nullptr, &text);
  if (text) GlobalFree(text);
  return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 4096 || !resources()) return 0;
  static const std::vector<std::uint8_t> default_dm = [] {
    std::vector<std::uint8_t> d(kPrivateDevmodeSize);
    FillDefaultSettings(morva::fuzz::demo_database(), d.data(), nullptr, u"Fuzz");
    return d;
  }();
  static const std::vector<std::uint8_t> default_pd = [] {
    std::vector<std::uint8_t> dm(kPrivateDevmodeSize), pd(kPrinterDataSize);
    FillDefaultSettings(morva::fuzz::demo_database(), dm.data(), pd.data(), u"Fuzz");
    return pd;
  }();
  std::vector<std::uint8_t> dm = default_dm, pd = default_pd;
  for (std::size_t i = 0; i + 4 <= size; i += 4) {
    const WORD selector = static_cast<WORD>(data[i] | (data[i + 1] << 8));
    const WORD value = static_cast<WORD>(data[i + 2] | (data[i + 3] << 8));
    if (selector & 0x8000) {
      std::size_t at = (selector & 0x7FFF) % (dm.size() + pd.size() - 1);
      std::uint8_t* p = at < dm.size() ? &dm[at] : &pd[at - dm.size()];
      if (at + 1 == dm.size()) p = &dm[at - 1];  // both bytes in one block
      std::memcpy(p, &value, 2);
    } else {
      const WORD ddmid = kSettings[selector % std::size(kSettings)];
      const DdmidDescriptor* d = dma_Descriptor(ddmid);
      if (!d || d->type == kTypeString || d->type == kTypeLogFont) continue;
      const DWORD wide = value;
      SetItemValueRaw(ddmid, dm.data(), pd.data(), d->type, dma_TypeSize(d->type), &wide);
    }
  }
  dm.shrink_to_fit();
  pd.shrink_to_fit();
  const INT first = validate(dm, pd);
  if (first == 0) return 0;  // no output destination: nothing after it ran
  const std::vector<std::uint8_t> dm_after = dm, pd_after = pd;
  const INT second = validate(dm, pd);
  if (first != 1 && (second != 3 || dm != dm_after || pd != pd_after)) std::abort();
  if (first == 1) return 0;
  ConflictReport* report = NewConflictReport();
  for (WORD ddmid : kRuleItems) {
    ResetConflictReport(report);
    if (CheckSettingChange(kCheckModeView, kPrinter, morva::fuzz::demo_database(), dm.data(), pd.data(), nullptr, ddmid,
                           2, nullptr, report, nullptr, 0) == 0 &&
        report->kind != 0)
      std::abort();
  }
  FreeConflictReport(report);
  return 0;
}
