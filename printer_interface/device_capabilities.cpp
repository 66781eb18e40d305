// What the device can do, as applications and the spooler ask it through
// DrvDeviceCapabilities: papers, trays, resolutions, extents, copies and
// the device's other features, answered from the device database, the
// printer's stored settings and a DEVMODE merged for the query. The tray
// list offers only the trays the constraint rules allow with the settings.
#include <algorithm>
#include <cstring>
#include <vector>

#include "ddm/ddmid.h"
#include "pi/printer_level.h"
#include "settings/common/common_utils.h"
#include "settings/common/export_shape.h"
#include "settings/constraints/conflict_check.h"
#include "settings/constraints/conflict_report.h"
#include "settings/database/capability_maps.h"
#include "settings/database/ddd_queries.h"
#include "settings/devmode/devmode_internal.h"
#include "settings/devmode/driver_devmode.h"
#include "settings/devmode/paper_size_list.h"
#include "settings/items/item_access.h"
#include "settings/stores/printer_settings.h"
#include "win/memory.h"
#include "win/resources.h"
#include "win/strings.h"

using devmode_detail::read_number;

namespace {

constexpr WORD kPaperSizeItem = 8;
constexpr WORD kPaperSourceItem = 13;
constexpr WORD kResolutionItem = 14;
constexpr WORD kTrayItem = 265;
constexpr WORD kCustomPaper = 256;
constexpr WORD kFirstUserPaperName = 5929;
constexpr WORD kShowAllPapers = 5200;
constexpr WORD kTrayMapSwitch = 5201;
constexpr DWORD kUnanswered = 0xFFFFFFFFu;  // GDI_ERROR

constexpr WORD kNeedsDatabase = 1;
constexpr WORD kNeedsDevmode = 2;
constexpr WORD kNeedsPrinterData = 4;
constexpr WORD kNeedsAll = kNeedsDatabase | kNeedsDevmode | kNeedsPrinterData;

// Everything one query has at hand.
struct CapabilityQuery {
  HANDLE printer;
  WORD capability;
  void* output;
  void* devmode;       // merged DEVMODE (flag 2)
  void* printer_data;  // stored settings (flag 4)
  DddHandle* database;  // flag 1
};

// ---- small readers ----------------------------------------------------------

// The first WORD of a choice's value, or 0.
WORD choice_word(const DddValue* choice) {
  const auto* c = static_cast<const DddChoice*>(choice);
  WORD w = 0;
  if (c->value.data && static_cast<DWORD>(c->value.element_size) * c->value.count >= sizeof w)
    std::memcpy(&w, c->value.data, sizeof w);
  return w;
}

// The first DWORD of a choice's value (shorter values zero-extended).
DWORD choice_dword(const DddValue* choice) {
  const auto* c = static_cast<const DddChoice*>(choice);
  DWORD d = 0;
  if (c->value.data)
    std::memcpy(&d, c->value.data, std::min<DWORD>(sizeof d, static_cast<DWORD>(c->value.element_size) * c->value.count));
  return d;
}

// Calls `visit(choice)` for every choice of an item in order; the count of
// choices, or -1 when one cannot be read.
template <typename Visit>
INT for_each_choice(DddHandle* database, WORD item, Visit&& visit) {
  INT count = 0;
  for (WORD n = 1;; ++n) {
    DddValue* choice = nullptr;
    DddStatus s = DddGetNthChoice(DDD_LOAD_HEADER, &database->main, &database->linked, item, n, nullptr, &choice);
    if (s == DDD_NOT_FOUND) return count;
    if (s != DDD_OK) return -1;
    const bool go_on = visit(choice);
    DddFreeValue(&choice, 0xFFFF);
    if (!go_on) return -1;
    ++count;
  }
}

// Copies at most `chars` - 1 characters and terminates.
void copy_name(WCHAR* slot, const WCHAR* name, INT chars) {
  INT i = 0;
  for (; name && name[i] && i < chars - 1; ++i) slot[i] = name[i];
  slot[i] = 0;
}

// The spooler's forms, read once per query.
struct FormList {
  FORM_INFO_1W* forms = nullptr;
  DWORD count = 0;
  ~FormList() {
    if (forms) GlobalFree(forms);
  }
  bool load(HANDLE printer) {
    DWORD bytes = 0;
    return AllocEnumForms(printer, &forms, &bytes, &count) == kFormsOk;
  }
  // 1-based position of the form named `name` (case ignored), 0 when none.
  DWORD position(const WCHAR* name) const {
    for (DWORD i = 0; name && i < count; ++i)
      if (forms[i].pName && lstrcmpiW(forms[i].pName, name) == 0) return i + 1;
    return 0;
  }
};

// ---- papers --------------------------------------------------------------------

// The user paper's entry: its name from the settings, its size and WORD from
// the spooler form of that name, shown as "<name> (<w> x <l> mm)" when the
// resource module has the text.
void fill_user_paper(const FormList& forms, void* devmode, void* printer_data, WORD code, CapabilityPaperEntry* e) {
  const WORD slot = UserPaperSlotOfCode(code);
  std::u16string name;
  WORD type = 0;
  DWORD size = 0;
  ItemValue value{};
  if (GetItemValue(static_cast<WORD>(kFirstUserPaperName + slot), devmode, printer_data, &type, &size, &value) ==
          morva::ddm::kDdmOk &&
      type == morva::ddm::kTypeString)
    name = ItemText(value, size);
  const DWORD position = forms.position(name.c_str());
  e->paper = static_cast<WORD>(position);
  if (position) {
    e->width = forms.forms[position - 1].Size.cx / 100;
    e->length = forms.forms[position - 1].Size.cy / 100;
  }
  WCHAR templ[128] = {};
  if (LoadStringW(GetResourceModule(), 5174, templ, 128) > 0) {
    WCHAR shown[CCHPAPERNAME * 2] = {};
    FormatResourceMessage(shown, CCHPAPERNAME * 2, templ, name.c_str(), e->width / 10, e->length / 10);
    copy_name(e->name, shown, CCHPAPERNAME);
  } else {
    copy_name(e->name, name.c_str(), CCHPAPERNAME);
  }
}

}  // namespace

INT BuildCapabilityPaperList(HANDLE printer, void* devmode, void* printer_data, CapabilityPaperEntry* entries,
                             BOOL show_all, DddHandle* database) {
  if (!database) return -1;
  FormList forms;
  if (!forms.load(printer)) return -1;
  INT listed = 0;
  const INT walked = for_each_choice(database, kPaperSizeItem, [&](DddValue* choice) {
    const WORD code = choice_word(choice);
    if (code == 311 || code == 312) return true;
    // Counting and filling skip the custom size alike, so that a buffer
    // sized by the count always holds what the fill writes.
    if (code == kCustomPaper && !show_all) return true;
    CapabilityPaperEntry* e = entries ? &entries[listed] : nullptr;
    ++listed;
    if (!e) return true;
    *e = CapabilityPaperEntry{};
    if (IsUserPaperCode(code)) {
      fill_user_paper(forms, devmode, printer_data, code, e);
      return true;
    }
    DddValue* paper = nullptr;
    if (DddLoadChoiceTarget(DDD_LOAD_HEADER, &database->main, &database->linked, choice, nullptr, &paper) !=
        DDD_OK)
      return false;
    DddPair size{};
    if (DddGetPaperSize(paper, &size) == DDD_OK) {
      e->width = size.first;
      e->length = size.second;
    }
    if (code == kCustomPaper && DddGetDefaultPaperSize(database, kPaperSizeItem, &size)) {
      e->width = size.first;
      e->length = size.second;
    }
    const WCHAR* name = DddGetValueName(paper);
    copy_name(e->name, name, CCHPAPERNAME);
    e->paper = code == kCustomPaper ? kCustomPaper : static_cast<WORD>(forms.position(name));
    DddFreeValue(&paper, 0xFFFF);
    return true;
  });
  return walked < 0 ? -1 : listed;
}

namespace {

// The custom entry of DC_PAPERSIZE shows the DEVMODE's own size when the
// DEVMODE selects the custom size and that size lies within the model's
// limits.
bool devmode_custom_size(const CapabilityQuery& q, LONG* width, LONG* length) {
  LONG code = 0;
  if (!read_number(kPaperSizeItem, q.devmode, q.printer_data, &code) || code != kCustomPaper) return false;
  if (!read_number(10, q.devmode, q.printer_data, width) || !read_number(9, q.devmode, q.printer_data, length))
    return false;
  CustomSizeRange range{};
  return GetCustomSizeRange(q.database, &range) && IsWithinCustomSizeRange(range, *width, *length);
}

DWORD papers_from_list(const CapabilityQuery& q, BOOL show_all) {
  WORD count = 0;
  if (CountPaperSizes(q.database, &count, show_all ? kPaperCountAll : kPaperCountWithoutCustomPaper) != kPaperListOk)
    return kUnanswered;
  if (!q.output) return count;
  const INT kind = q.capability == DC_PAPERS       ? kPaperArrayWindowsNumbers
                   : q.capability == DC_PAPERSIZE ? kPaperArraySizes
                                                  : kPaperArrayNames;
  void* array = nullptr;
  DWORD bytes = 0;
  WORD custom = 0xFFFF;
  if (GetPaperSizeArray(q.database, kind, &array, &bytes, show_all, &custom) != kPaperListOk) return kUnanswered;
  const DWORD element = kind == kPaperArrayWindowsNumbers ? sizeof(WORD)
                        : kind == kPaperArraySizes        ? sizeof(PaperSizeTenths)
                                                          : CCHPAPERNAME * sizeof(WCHAR);
  const DWORD have = bytes / element;
  const DWORD n = std::min<DWORD>(count, have);
  std::memset(q.output, 0, static_cast<size_t>(count) * element);
  std::memcpy(q.output, array, static_cast<size_t>(n) * element);
  GlobalFree(array);
  if (custom < n) {
    if (kind == kPaperArrayWindowsNumbers) {
      static_cast<WORD*>(q.output)[custom] = kCustomPaper;
    } else if (kind == kPaperArraySizes) {
      LONG width = 0, length = 0;
      if (devmode_custom_size(q, &width, &length)) {
        auto* sizes = static_cast<PaperSizeTenths*>(q.output);
        sizes[custom].width = width;
        sizes[custom].length = length;
      }
    }
  }
  return count;
}

DWORD DcPapers(const CapabilityQuery& q) {
  if (!q.database || !q.devmode || !q.printer_data) return kUnanswered;
  const BOOL show_all = ReadSetting5200(q.devmode, q.printer_data) != 0;
  if (BuildPaperSizeList(q.printer, q.database, q.printer_data) != kPaperListOk) return kUnanswered;
  if (HasPaperSizeList(q.database)) {
    const DWORD answer = papers_from_list(q, show_all);
    FreePaperSizeList(q.database);
    return answer;
  }
  const INT count = BuildCapabilityPaperList(q.printer, q.devmode, q.printer_data, nullptr, show_all, q.database);
  if (count < 0) return kUnanswered;
  if (!q.output || count == 0) return static_cast<DWORD>(count);
  std::vector<CapabilityPaperEntry> entries(static_cast<size_t>(count));
  if (BuildCapabilityPaperList(q.printer, q.devmode, q.printer_data, entries.data(), show_all, q.database) != count)
    return kUnanswered;
  LONG custom_width = 0, custom_length = 0;
  const bool own_custom = q.capability == DC_PAPERSIZE && devmode_custom_size(q, &custom_width, &custom_length);
  for (INT i = 0; i < count; ++i) {
    const CapabilityPaperEntry& e = entries[static_cast<size_t>(i)];
    if (q.capability == DC_PAPERS) {
      static_cast<WORD*>(q.output)[i] = e.paper;
    } else if (q.capability == DC_PAPERSIZE) {
      POINT* p = &static_cast<POINT*>(q.output)[i];
      const bool custom = own_custom && e.paper == kCustomPaper;
      p->x = custom ? custom_width : e.width;
      p->y = custom ? custom_length : e.length;
    } else {
      WCHAR* slot = static_cast<WCHAR*>(q.output) + static_cast<size_t>(i) * CCHPAPERNAME;
      std::memcpy(slot, e.name, sizeof e.name);
    }
  }
  return static_cast<DWORD>(count);
}

DWORD DcExtent(const CapabilityQuery& q) {
  if (!q.database) return kUnanswered;
  const INT count = BuildCapabilityPaperList(q.printer, q.devmode, q.printer_data, nullptr, FALSE, q.database);
  if (count <= 0) return kUnanswered;
  std::vector<CapabilityPaperEntry> entries(static_cast<size_t>(count));
  if (BuildCapabilityPaperList(q.printer, q.devmode, q.printer_data, entries.data(), FALSE, q.database) != count)
    return kUnanswered;
  const bool largest = q.capability == DC_MAXEXTENT;
  INT width = largest ? 0 : 0x7FFFFFFF, length = width;
  for (const CapabilityPaperEntry& e : entries) {
    width = largest ? std::max(width, e.width) : std::min(width, e.width);
    length = largest ? std::max(length, e.length) : std::min(length, e.length);
  }
  return static_cast<DWORD>(MAKELONG(width, length));
}

DWORD DcEnumResolutions(const CapabilityQuery& q) {
  if (!q.database) return kUnanswered;
  INT index = 0;
  const INT count = for_each_choice(q.database, kResolutionItem, [&](DddValue* choice) {
    if (q.output) {
      const DWORD value = choice_dword(choice);
      LONG* pair = static_cast<LONG*>(q.output) + 2 * index;
      pair[0] = LOWORD(value);
      pair[1] = HIWORD(value);
    }
    ++index;
    return true;
  });
  return count <= 0 ? kUnanswered : static_cast<DWORD>(count);
}

DWORD DcMediaReady(const CapabilityQuery& q) {
  if (!q.database) return kUnanswered;
  INT index = 0;
  const INT count = for_each_choice(q.database, kPaperSizeItem, [&](DddValue* choice) {
    if (q.output) {
      DddValue* paper = nullptr;
      const WCHAR* name = DddGetValueName(choice);
      if (DddLoadChoiceTarget(DDD_LOAD_HEADER, &q.database->main, &q.database->linked, choice, nullptr, &paper) ==
              DDD_OK &&
          DddGetValueName(paper))
        name = DddGetValueName(paper);
      WCHAR* slot = static_cast<WCHAR*>(q.output) + static_cast<size_t>(index) * CCHPAPERNAME;
      std::memset(slot, 0, CCHPAPERNAME * sizeof(WCHAR));
      // A full slot keeps 64 characters without a terminator.
      for (INT i = 0; name && name[i] && i < CCHPAPERNAME; ++i) slot[i] = name[i];
      if (paper) DddFreeValue(&paper, 0xFFFF);
    }
    ++index;
    return true;
  });
  return count < 0 ? kUnanswered : static_cast<DWORD>(count);
}

}  // namespace

// ---- trays ---------------------------------------------------------------------

namespace {

struct Tray {
  WORD id;
  std::u16string name;
  bool listed;   // also a choice of the tray item 265
  bool allowed;
};

// The trays of an item, each name cut at its first carriage return (and a
// separator blank before it dropped).
bool load_trays(DddHandle* database, WORD item, std::vector<Tray>* out) {
  WCHAR separator[4] = {};
  LoadStringW(GetResourceModule(), 2009, separator, 4);
  const INT n = for_each_choice(database, item, [&](DddValue* choice) {
    std::u16string name;
    if (const WCHAR* text = DddGetValueName(choice)) name = text;
    const auto cr = name.find(u'\r');
    if (cr != std::u16string::npos) {
      size_t end = cr;
      if (end > 0 && separator[0] && name[end - 1] == separator[0]) --end;
      name.resize(end);
    }
    out->push_back(Tray{choice_word(choice), name, false, false});
    return true;
  });
  return n >= 0;
}

// Whether the rules allow `ddmid` to take `id` with the settings.
bool tray_allowed(HANDLE printer, DddHandle* database, void* devmode, void* printer_data, WORD ddmid, WORD id,
                  bool* failed) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue current{};
  if (GetItemValue(ddmid, devmode, printer_data, &type, &size, &current) != morva::ddm::kDdmOk) {
    *failed = true;
    return false;
  }
  ItemValue wanted{};
  wanted.w = id;
  ConflictReport* report = NewConflictReport();
  if (!report) {
    *failed = true;
    return false;
  }
  const INT status = CheckSettingChange(kCheckModeChange, printer, database, devmode, printer_data, nullptr, ddmid,
                                        type, &wanted, report, nullptr, 0);
  const bool allowed = status == 0 && report->kind != 1 && report->kind != 6;
  if (status != 0) *failed = true;
  FreeConflictReport(report);
  return allowed;
}

}  // namespace

INT BuildBinList(HANDLE printer, void* devmode, void* printer_data, DddHandle* database,
                 CapabilityTrayEntry** entries) {
  if (entries) *entries = nullptr;
  if (!database || !devmode || !printer_data || !entries) return -1;
  std::vector<Tray> trays, listed;
  if (!load_trays(database, kPaperSourceItem, &trays) || !load_trays(database, kTrayItem, &listed)) return -1;
  for (Tray& t : trays)
    t.listed = std::any_of(listed.begin(), listed.end(), [&](const Tray& l) { return l.id == t.id; });
  std::vector<const Tray*> allowed;
  for (Tray& t : trays) {
    bool failed = false;
    t.allowed = tray_allowed(printer, database, devmode, printer_data, t.listed ? kTrayItem : kPaperSourceItem, t.id,
                             &failed);
    if (failed) return -1;
    if (t.allowed) allowed.push_back(&t);
  }
  // The model's tray mapping: pairs {tray id, id reported for it}.
  std::vector<std::pair<INT, INT>> pairs;
  LONG mapping = 0;
  if (database->capabilities && read_number(kTrayMapSwitch, devmode, printer_data, &mapping) && mapping != 0) {
    WORD count = 0;
    INT* raw = nullptr;
    if (GetCapabilityMapEntries(database->capabilities, kCapBin, &count, &raw) == 1) {
      for (WORD i = 0; i < count; ++i) pairs.emplace_back(raw[2 * i], raw[2 * i + 1]);
      if (raw) GlobalFree(raw);
    }
  }
  std::vector<CapabilityTrayEntry> out;
  auto add = [&](const Tray* t, WORD id) {
    CapabilityTrayEntry e{};
    e.id = id;
    if (t) copy_name(e.name, t->name.c_str(), CCHBINNAME + 1);
    out.push_back(e);
  };
  for (const Tray* t : allowed) {
    const bool renamed = std::any_of(pairs.begin(), pairs.end(), [&](const auto& p) { return p.second == t->id; });
    if (!renamed) add(t, t->id);
  }
  for (const auto& p : pairs) {
    auto it = std::find_if(allowed.begin(), allowed.end(), [&](const Tray* t) { return t->id == p.first; });
    if (it != allowed.end()) add(*it, static_cast<WORD>(p.second));
    else {
      // A pair without an allowed tray keeps its place, empty.
      const bool also_tray = std::any_of(allowed.begin(), allowed.end(), [&](const Tray* t) { return t->id == p.second; });
      if (!also_tray) add(nullptr, 0);
    }
  }
  if (out.empty()) return 0;
  auto* block = static_cast<CapabilityTrayEntry*>(GlobalAlloc(GPTR, out.size() * sizeof(CapabilityTrayEntry)));
  if (!block) return -1;
  std::copy(out.begin(), out.end(), block);
  *entries = block;
  return static_cast<INT>(out.size());
}

namespace {

DWORD DcBins(const CapabilityQuery& q) {
  CapabilityTrayEntry* trays = nullptr;
  const INT count = BuildBinList(q.printer, q.devmode, q.printer_data, q.database, &trays);
  if (count < 0) return kUnanswered;
  for (INT i = 0; q.output && i < count; ++i) {
    if (q.capability == DC_BINS) {
      static_cast<WORD*>(q.output)[i] = trays[i].id;
    } else {
      WCHAR* slot = static_cast<WCHAR*>(q.output) + static_cast<size_t>(i) * CCHBINNAME;
      std::memset(slot, 0, CCHBINNAME * sizeof(WCHAR));
      copy_name(slot, trays[i].name, CCHBINNAME);
    }
  }
  if (trays) GlobalFree(trays);
  return static_cast<DWORD>(count);
}

// A setting of the merged DEVMODE, or `fallback` without one.
DWORD devmode_setting(const CapabilityQuery& q, WORD ddmid, DWORD fallback) {
  LONG value = 0;
  if (!q.devmode) return fallback;
  return read_number(ddmid, q.devmode, q.printer_data, &value) ? static_cast<DWORD>(value) : kUnanswered;
}

DWORD DcVersion(const CapabilityQuery& q) { return devmode_setting(q, 2, 1280); }
DWORD DcDriver(const CapabilityQuery& q) { return devmode_setting(q, 258, kPrinterDataCurrentLayout); }
DWORD DcSize(const CapabilityQuery& q) { return devmode_setting(q, 4, morva::ddm::kPublicDevmodeSize); }
DWORD DcExtra(const CapabilityQuery& q) {
  return devmode_setting(q, 5, morva::ddm::kShortDevmodeSize - morva::ddm::kPublicDevmodeSize);
}
DWORD DcFields(const CapabilityQuery& q) { return q.devmode ? devmode_setting(q, 6, 0) : kUnanswered; }

DWORD DcTrueType(const CapabilityQuery&) { return DCTT_DOWNLOAD | DCTT_SUBDEV; }
DWORD DcOrientation(const CapabilityQuery&) { return 90; }
DWORD DcCollate(const CapabilityQuery&) { return 1; }

DWORD DcFileDependencies(const CapabilityQuery& q) {
  if (q.output) *static_cast<WCHAR*>(q.output) = 0;
  return 0;
}

DWORD DcCopies(const CapabilityQuery& q) {
  if (!q.database) return kUnanswered;
  DWORD limit = static_cast<WORD>(DddGetMaxCopies(q.database));
  DeviceCapabilityBits bits{};
  if (LoadCapabilityBits(q.database, &bits)) {
    DWORD raised = limit;
    if (AdjustCopiesLimit(q.devmode, q.printer_data, q.database, &bits, &raised)) limit = raised;
  }
  return limit;
}

DWORD DcDuplex(const CapabilityQuery& q) {
  if (!q.database || !q.printer_data) return kUnanswered;
  LONG value = 0;
  if (!read_number(4103, nullptr, q.printer_data, &value)) return kUnanswered;
  return value != 0 ? 1 : 0;
}

DWORD DcStaple(const CapabilityQuery& q) {
  if (!q.devmode || !q.printer_data) return kUnanswered;
  LONG staple = 0, finisher = 0;
  if (!read_number(4101, q.devmode, q.printer_data, &staple) || !read_number(5134, q.devmode, q.printer_data, &finisher))
    return kUnanswered;
  return staple == 1 && finisher == 1 ? 1 : 0;
}

DWORD DcColorDevice(const CapabilityQuery& q) {
  BYTE kind = 0;
  if (!q.database || DddReadFixedField(&q.database->main, 5, 1, 0, &kind) != DDD_OK) return kUnanswered;
  if (kind == 1) return 0;
  if (kind == 2 || kind == 18) return 1;
  return kUnanswered;
}

DWORD DcPrintRate(const CapabilityQuery& q) {
  if (q.capability == DC_PRINTRATEUNIT) return PRINTRATEUNIT_PPM;
  if (!q.database) return kUnanswered;
  return static_cast<WORD>(DddGetFieldValue(&q.database->main, 16, 2, 0));
}

struct CapabilityRow {
  WORD code;
  DWORD (*handler)(const CapabilityQuery&);
  WORD flags;
};

constexpr CapabilityRow kDeviceCapabilityTable[] = {
    {DC_PAPERNAMES, DcPapers, kNeedsAll},
    {DC_PAPERSIZE, DcPapers, kNeedsAll},
    {DC_PAPERS, DcPapers, kNeedsAll},
    {DC_BINS, DcBins, kNeedsAll},
    {DC_BINNAMES, DcBins, kNeedsAll},
    {DC_ENUMRESOLUTIONS, DcEnumResolutions, kNeedsDatabase},
    {DC_TRUETYPE, DcTrueType, 0},
    {DC_VERSION, DcVersion, kNeedsAll},
    {DC_DRIVER, DcDriver, kNeedsAll},
    {DC_SIZE, DcSize, kNeedsAll},
    {DC_EXTRA, DcExtra, kNeedsAll},
    {DC_FIELDS, DcFields, kNeedsAll},
    {DC_COPIES, DcCopies, kNeedsDatabase},
    {DC_DUPLEX, DcDuplex, kNeedsDatabase | kNeedsPrinterData},
    {DC_ORIENTATION, DcOrientation, 0},
    {DC_FILEDEPENDENCIES, DcFileDependencies, 0},
    {DC_MINEXTENT, DcExtent, kNeedsAll},
    {DC_MAXEXTENT, DcExtent, kNeedsAll},
    {DC_COLLATE, DcCollate, 0},
    {DC_COLORDEVICE, DcColorDevice, kNeedsDatabase},
    {DC_MEDIAREADY, DcMediaReady, kNeedsDatabase},
    {DC_PRINTRATE, DcPrintRate, kNeedsDatabase},
    {DC_PRINTRATEPPM, DcPrintRate, kNeedsDatabase},
    {DC_PRINTRATEUNIT, DcPrintRate, kNeedsDatabase},
    {DC_STAPLE, DcStaple, kNeedsAll},
};

DWORD DeviceCapabilitiesWorker(HANDLE printer, WORD capability, void* output, const DEVMODEW* devmode) {
  const CapabilityRow* row = nullptr;
  for (const CapabilityRow& r : kDeviceCapabilityTable)
    if (r.code == capability) row = &r;
  if (!row) return kUnanswered;
  CapabilityQuery q{printer, capability, output, nullptr, nullptr, nullptr};
  DWORD answer = kUnanswered;
  bool ready = true;
  if (row->flags & kNeedsDatabase) ready = (q.database = DddOpen(printer)) != nullptr;
  if (ready && (row->flags & kNeedsPrinterData)) {
    q.printer_data = GlobalAlloc(GPTR, morva::ddm::kPrinterDataSize);
    ready = q.printer_data && q.database && ReadPrinterSettings(printer, q.printer_data, q.database) == 1;
  }
  if (ready && (row->flags & kNeedsDevmode))
    ready = (q.devmode = BuildCapabilitiesDevmode(printer, q.database, q.printer_data, devmode)) != nullptr;
  if (ready) answer = row->handler(q);
  if (q.devmode) GlobalFree(q.devmode);
  if (q.printer_data) GlobalFree(q.printer_data);
  if (q.database) DddClose(q.database);
  return answer;
}

}  // namespace

void* BuildCapabilitiesDevmode(HANDLE printer, DddHandle* database, void* printer_data, const DEVMODEW* caller) {
  if (!database || !printer_data) return nullptr;
  void* devmode = AllocPrivateDevmode(kDevmodeKindFull);
  if (!devmode) return nullptr;
  DWORD size = morva::ddm::kPrivateDevmodeSize;
  BOOL converted = FALSE;
  PRINTER_INFO_2W* info = GetPrinterDefaultDevmode(printer, database, devmode, &size, &converted);
  bool ok = info != nullptr;
  if (info) GlobalFree(info);
  if (ok && caller) {
    ok = MergeDevmode(database, devmode, caller, printer_data, printer, kMergeResolutionQuality) != FALSE;
    // The caller's paper fields stand as given, when its DEVMODE holds them.
    constexpr DWORD kPaperFieldsEnd = offsetof(DEVMODEW, dmPaperWidth) + sizeof(SHORT);
    if (ok && caller->dmSize >= kPaperFieldsEnd) {
      const LONG fields[][2] = {{10, caller->dmPaperWidth}, {9, caller->dmPaperLength}, {8, caller->dmPaperSize}};
      for (const auto& f : fields)
        ok = ok && devmode_detail::write_number(static_cast<WORD>(f[0]), devmode, printer_data, f[1]);
    }
  }
  if (!ok) {
    GlobalFree(devmode);
    return nullptr;
  }
  return devmode;
}

MORVA_EXPORT DWORD DrvDeviceCapabilities(HANDLE printer, LPWSTR, WORD capability, PVOID output, DEVMODEW* devmode) {
  return RunExportFormatted(u"DrvDeviceCapabilities", u"%s RetValue = 0x%08lX",
                            [&] { return DeviceCapabilitiesWorker(printer, capability, output, devmode); });
}

MORVA_EXPORT BOOL DrvQueryColorProfile(HANDLE printer, DEVMODEW* devmode, ULONG query_mode, PVOID profile,
                                       ULONG* profile_size, ULONG* profile_flags) {
  return RunExport(u"DrvQueryColorProfile", [&]() -> BOOL {
    if (!printer || !devmode || !profile || !profile_size || !profile_flags || query_mode != QCP_DEVICEPROFILE)
      return FALSE;
    DddHandle* database = DddOpen(printer);
    if (!database) return FALSE;
    WCHAR* name = nullptr;
    BOOL answer = FALSE;
    if (DddGetDatabaseString(&database->main, 13, &name) == DDD_OK && name) {
      const ULONG needed = static_cast<ULONG>((lstrlenW(name) + 1) * sizeof(WCHAR));
      if (*profile_size < needed) {
        *profile_size = needed;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
      } else {
        std::memcpy(profile, name, needed);
        *profile_flags = QCP_PROFILEDISK;
        answer = TRUE;
      }
    }
    if (name) GlobalFree(name);
    DddClose(database);
    return answer;
  });
}
