#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ddd_fixture.h"
#include "paper_fixture.h"
#include "settings/devmode/driver_devmode.h"
#include "settings/items/item_database.h"
#include "settings/common/module_state.h"
#include "settings/devmode/paper_selection.h"
#include "settings/devmode/paper_size_list.h"

namespace morva::test {
namespace {

using namespace morva::ddm;

constexpr DWORD kDimensions = DM_PAPERLENGTH | DM_PAPERWIDTH;

struct Paper {
  LONG code;
  LONG width;
  LONG length;
  std::u16string name;
};

class PaperSelectionTest : public PaperPrinterTest {
 protected:
  std::vector<BYTE> app = std::vector<BYTE>(kPrivateDevmodeSize);

  void SetUp() override {
    install(paper_database());
    reset();
  }

  // Fresh settings; the driver DEVMODE starts on Letter.
  void reset() {
    std::fill(dm.begin(), dm.end(), 0);
    std::fill(app.begin(), app.end(), 0);
    std::fill(pd.begin(), pd.end(), 0);
    auto* d = reinterpret_cast<DEVMODEW*>(dm.data());
    d->dmSize = 220;
    d->dmFields = DM_PAPERSIZE | DM_ORIENTATION;
    set_paper(d, 1, 2159, 2794, u"Letter");
  }

  static void set_paper(DEVMODEW* d, SHORT code, SHORT width, SHORT length, const char16_t* name) {
    d->dmPaperSize = code;
    d->dmPaperWidth = width;
    d->dmPaperLength = length;
    std::fill(std::begin(d->dmFormName), std::end(d->dmFormName), u'\0');
    if (name) std::u16string(name).copy(d->dmFormName, CCHFORMNAME - 1);
  }

  DEVMODEW* request(DWORD fields, SHORT code, SHORT width, SHORT length, const char16_t* name = nullptr) {
    auto* a = reinterpret_cast<DEVMODEW*>(app.data());
    a->dmSize = 220;
    a->dmFields = fields;
    set_paper(a, code, width, length, name);
    return a;
  }

  // The driver's own private part in `devmode`, with DDMID 1353 := custom_first.
  void make_own(std::vector<BYTE>& devmode, LONG custom_first) {
    auto* d = reinterpret_cast<DEVMODEW*>(devmode.data());
    d->dmSpecVersion = 1025;
    d->dmSize = 220;
    d->dmDriverExtra = 1384;
    set_number(257, 21072, devmode.data());
    WCHAR signature[64] = {};
    ASSERT_TRUE(ItemDbSignatureText(handle, signature, 64));
    const WCHAR* p = signature;
    ASSERT_TRUE(SetItemValue(259, devmode.data(), pd.data(), static_cast<DWORD>(-1), kTypeString, &p));
    set_number(1353, custom_first, devmode.data());
    ASSERT_TRUE(IsOwnPrivatePart(handle, devmode.data()));
  }

  static Paper paper_of(std::vector<BYTE>& devmode) {
    const auto* d = reinterpret_cast<const DEVMODEW*>(devmode.data());
    return {d->dmPaperSize, d->dmPaperWidth, d->dmPaperLength, std::u16string(d->dmFormName)};
  }
  DWORD fields_of(std::vector<BYTE>& devmode) { return reinterpret_cast<DEVMODEW*>(devmode.data())->dmFields; }

  BOOL select(DWORD fields) {
    return SelectPaperFromDevmode(handle, dm.data(), app.data(), pd.data(), printer, fields);
  }
};

void expect_paper(const Paper& got, const Paper& want, const std::string& what) {
  EXPECT_EQ(got.code, want.code) << what;
  EXPECT_EQ(got.width, want.width) << what;
  EXPECT_EQ(got.length, want.length) << what;
  EXPECT_EQ(got.name, want.name) << what;
}

const Paper kLetter{1, 2159, 2794, u"Letter"};
const Paper kA4{9, 2100, 2970, u"A4"};
const Paper kA5{11, 1480, 2100, u"A5"};

// Requests without the custom-first flag and without DDMID 5200. The
// custom size range is 100 x 150 mm to 300 x 500 mm.
TEST_F(PaperSelectionTest, RequestsTurnIntoPapersTheDriverKnows) {
  struct Case {
    const char* what;
    DWORD fields;
    SHORT code, width, length;
    const char16_t* name;
    Paper want;  // a custom size keeps the driver's previous form name
  };
  const Case cases[] = {
      {"A4 by size", kDimensions, 0, 2100, 2970, nullptr, kA4},
      {"A4 by size, landscape", kDimensions, 0, 2970, 2100, nullptr, kA4},
      {"A4 by size within 1 mm", kDimensions, 0, 2108, 2962, nullptr, kA4},
      {"Letter by size", kDimensions, 0, 2159, 2794, nullptr, kLetter},
      {"no form of the size, in range: custom", kDimensions, 0, 2000, 3000, nullptr, {256, 2000, 3000, u"Letter"}},
      {"by code", DM_PAPERSIZE, 11, 0, 0, nullptr, kA5},
      {"by code, the form unknown to the database but of a known size", DM_PAPERSIZE, 2, 0, 0, nullptr, kLetter},
      {"by code, unknown form in range: custom", DM_PAPERSIZE, 16, 0, 0, nullptr, {256, 2540, 3556, u"Letter"}},
      {"by form name, any case", DM_FORMNAME, 0, 0, 0, u"a5", kA5},
      {"by form name, the form unknown to the database", DM_FORMNAME, 0, 0, 0, u"A4 Small", kA4},
      {"code 256 with a size and no DDMID 5200: by size", DM_PAPERSIZE | kDimensions, 256, 2100, 2970, nullptr,
       kA4},
      {"size first: a matching size wins over the code", DM_PAPERSIZE | DM_FORMNAME | kDimensions, 11, 2100, 2970,
       u"A5", kA4},
  };
  for (const Case& c : cases) {
    reset();
    request(c.fields, c.code, c.width, c.length, c.name);
    ASSERT_TRUE(select(c.fields)) << c.what;
    expect_paper(paper_of(dm), c.want, c.what);
    const DWORD f = fields_of(dm);
    if (c.want.code == 256) {
      EXPECT_EQ(f & DM_FORMNAME, 0u) << c.what;
      EXPECT_EQ(f & kDimensions, kDimensions) << c.what;
    } else {
      EXPECT_EQ(f & kDimensions, 0u) << c.what;
      EXPECT_EQ(f & (DM_PAPERSIZE | DM_FORMNAME), DM_PAPERSIZE | (c.fields & DM_FORMNAME)) << c.what;
    }
  }
}

// What the driver cannot select leaves its DEVMODE as it was, and the
// selection still succeeds.
TEST_F(PaperSelectionTest, PapersThePrinterLacksLeaveTheDriverPaper) {
  struct Case {
    const char* what;
    DWORD fields;
    SHORT code, width, length;
    const char16_t* name;
  };
  const Case cases[] = {
      {"size beyond the custom range", kDimensions, 0, 3500, 6000, nullptr},
      {"no paper fields", DM_ORIENTATION, 9, 2100, 2970, u"A4"},
      {"size without a length", kDimensions, 0, 2100, 0, nullptr},
      {"form name the spooler lacks", DM_FORMNAME, 0, 0, 0, u"Imperial Folio"},
      {"empty form name", DM_FORMNAME, 0, 0, 0, nullptr},
      {"form beyond the custom range", DM_PAPERSIZE, 24, 0, 0, nullptr},
      {"code without a form", DM_PAPERSIZE, 400, 0, 0, nullptr},
      // The size is tried first and ends the search: neither the code nor
      // the name is tried.
      {"size first, outside the range", DM_PAPERSIZE | DM_FORMNAME | kDimensions, 11, 3500, 6000, u"A5"},
  };
  for (const Case& c : cases) {
    reset();
    request(c.fields, c.code, c.width, c.length, c.name);
    const std::vector<BYTE> before = dm;
    EXPECT_TRUE(select(c.fields)) << c.what;
    EXPECT_EQ(dm, before) << c.what;
  }
}

TEST_F(PaperSelectionTest, CustomFirstTriesTheCodeAndNameBeforeTheSize) {
  request(DM_PAPERSIZE | DM_FORMNAME | kDimensions, 11, 3500, 6000, u"A5");
  make_own(app, 1);
  ASSERT_TRUE(select(DM_PAPERSIZE | DM_FORMNAME | kDimensions));
  expect_paper(paper_of(dm), kA5, "by code");
  // The flag also sets DM_PAPERLENGTH | DM_PAPERWIDTH in the driver's fields.
  EXPECT_EQ(fields_of(dm) & (kDimensions | DM_PAPERSIZE | DM_FORMNAME), kDimensions | DM_PAPERSIZE | DM_FORMNAME);

  // The flag comes from the driver's DEVMODE when the application's private
  // part is not the driver's own; DDMID 1331 stands in for 1353.
  reset();
  make_own(dm, 0);
  set_number(1331, 1, dm.data());
  request(DM_FORMNAME | kDimensions, 0, 3500, 6000, u"a4");
  ASSERT_TRUE(select(DM_FORMNAME | kDimensions));
  expect_paper(paper_of(dm), kA4, "by name");

  BOOL flag = TRUE;
  set_number(1331, 0, dm.data());
  ASSERT_TRUE(GetCustomFirstFlag(handle, dm.data(), app.data(), pd.data(), &flag));
  EXPECT_FALSE(flag);
}

TEST_F(PaperSelectionTest, Setting5200TakesACustomSizeAsItStands) {
  set_number(5200, 1);
  // A size the forms know is still taken as the custom size.
  request(DM_PAPERSIZE | kDimensions, 256, 2100, 2970);
  ASSERT_TRUE(select(DM_PAPERSIZE | kDimensions | DM_FORMNAME));
  expect_paper(paper_of(dm), {256, 2100, 2970, u"Letter"}, "custom");
  EXPECT_EQ(fields_of(dm) & (DM_FORMNAME | kDimensions), kDimensions);

  // Without both dimension bits only the code is searched; code 256 names
  // no form, so the size is taken all the same.
  reset();
  set_number(5200, 1);
  request(DM_PAPERSIZE | DM_PAPERWIDTH, 256, 5000, 7000);
  ASSERT_TRUE(select(DM_PAPERSIZE | DM_PAPERWIDTH));
  expect_paper(paper_of(dm), {256, 5000, 7000, u"Letter"}, "custom beyond the range");

  // ... but not without a length.
  reset();
  set_number(5200, 1);
  request(DM_PAPERSIZE | kDimensions, 256, 2100, 0);
  const std::vector<BYTE> before = dm;
  ASSERT_TRUE(select(DM_PAPERSIZE | kDimensions));
  EXPECT_EQ(dm, before);
}

TEST_F(PaperSelectionTest, ANameBeginningWithAUserPaperNameIsNotPickedBySize) {
  FORM_INFO_1W forms[] = {form(u"Letter Small", 215900, 279400), form(u"Letter", 215900, 279400)};
  const DWORD positions[] = {0, 1};
  PaperSelection req{0, 2159, 2794, const_cast<WCHAR*>(u"letter")};
  PaperSelection out{};
  EXPECT_TRUE(PickFormAmongMatches(handle, app.data(), pd.data(), forms, positions, 2, kPaperByName, &req, &out));
  EXPECT_EQ(out.code, 2);
  EXPECT_EQ(std::u16string(out.name), u"Letter");
  FreePaperSelectionName(&out);

  // User slot 3 is stored as "Let": "letter" does not begin with it (the
  // comparison is case-sensitive), "Letter" does.
  const WCHAR* slot_name = u"Let";
  ASSERT_TRUE(SetItemValue(5929 + 3, nullptr, pd.data(), static_cast<DWORD>(-1), kTypeString, &slot_name));
  EXPECT_TRUE(PickFormAmongMatches(handle, app.data(), pd.data(), forms, positions, 2, kPaperByName, &req, &out));
  FreePaperSelectionName(&out);
  req.name = const_cast<WCHAR*>(u"Letter");
  EXPECT_FALSE(PickFormAmongMatches(handle, app.data(), pd.data(), forms, positions, 2, kPaperByName, &req, &out));
  EXPECT_EQ(out.name, nullptr);

  // By code a candidate the database does not know ends the pick.
  req.code = 1;
  EXPECT_FALSE(PickFormAmongMatches(handle, app.data(), pd.data(), forms, positions, 2, kPaperByCode, &req, &out));
  req.code = 2;
  EXPECT_TRUE(PickFormAmongMatches(handle, app.data(), pd.data(), forms, positions, 2, kPaperByCode, &req, &out));
  FreePaperSelectionName(&out);
}

TEST_F(PaperSelectionTest, UserPaperSlots) {
  const WCHAR* stored = u"Stored Name";
  ASSERT_TRUE(SetItemValue(5929 + 5, nullptr, pd.data(), static_cast<DWORD>(-1), kTypeString, &stored));
  set_number(5889 + 5, 1234);
  set_number(5909 + 5, 2345);
  WCHAR default_name[kUserPaperNameChars] = {};
  FormatUserPaperName(5, default_name, kUserPaperNameChars);

  const WORD code = 287;  // slot 5
  UserPaperRecord record{};
  WCHAR name[kUserPaperNameChars] = {};
  ASSERT_TRUE(UserPaperSlotDdmids(dm.data(), pd.data(), &code, kTypeWord, &record, name));
  EXPECT_EQ(record.ids.width, 5894);
  EXPECT_EQ(record.ids.length, 5914);
  EXPECT_EQ(record.ids.name, 5934);
  EXPECT_EQ(record.width, 1234);
  EXPECT_EQ(record.length, 2345);
  EXPECT_EQ(std::u16string(record.name), u"Stored Name");
  EXPECT_EQ(std::u16string(name), default_name);
  const DWORD wide_code = 287;
  EXPECT_TRUE(FindUserPaperSlot(&wide_code, kTypeDword, nullptr, nullptr));
  for (WORD other : {WORD{256}, WORD{267}, WORD{286}, WORD{302}})
    EXPECT_FALSE(FindUserPaperSlot(&other, kTypeWord, nullptr, nullptr)) << other;

  EXPECT_TRUE(FindUserPaperName(kUserPaperStoredNames, dm.data(), pd.data(), u"Stored Name 2"));
  EXPECT_FALSE(FindUserPaperName(kUserPaperStoredNames, dm.data(), pd.data(), u"stored name"));
  EXPECT_TRUE(FindUserPaperName(kUserPaperDefaultNames, dm.data(), pd.data(), default_name));
  EXPECT_FALSE(FindUserPaperName(kUserPaperDefaultNames, dm.data(), pd.data(), u"Stored Name"));
}

TEST_F(PaperSelectionTest, SyncFormNameFollowsThePaperCode) {
  // A database paper: its name, then the paper selected by that name.
  auto* d = reinterpret_cast<DEVMODEW*>(dm.data());
  set_paper(d, 11, 0, 0, u"Whatever");
  ASSERT_TRUE(SyncFormName(handle, printer, dm.data(), pd.data()));
  expect_paper(paper_of(dm), kA5, "A5");

  // A user paper: the slot's default name, not the stored one. The form of
  // that name is unknown to the database and its size lies in the custom
  // range, so it becomes the custom size.
  WCHAR default_name[kUserPaperNameChars] = {};
  FormatUserPaperName(0, default_name, kUserPaperNameChars);
  add_form(default_name, 200000, 250000);
  const WCHAR* stored = u"My Paper";
  ASSERT_TRUE(SetItemValue(5929, nullptr, pd.data(), static_cast<DWORD>(-1), kTypeString, &stored));
  set_paper(d, 262, 0, 0, nullptr);
  ASSERT_TRUE(SyncFormName(handle, printer, dm.data(), pd.data()));
  expect_paper(paper_of(dm), {256, 2000, 2500, default_name}, "user paper");

  // With a paper-size list the name comes from the list.
  add_form(u"Custom Range", 120000, 170000);
  enable_paper_list();
  ASSERT_EQ(BuildPaperSizeList(printer, handle, pd.data()), kPaperListOk);
  ASSERT_NE(handle->papers, nullptr);
  lstrcpynW(handle->papers->entries[0].name, u"a4", kPaperNameChars);  // A4 under another spelling
  set_paper(d, 9, 0, 0, nullptr);
  ASSERT_TRUE(SyncFormName(handle, printer, dm.data(), pd.data()));
  expect_paper(paper_of(dm), kA4, "from the list");

  EXPECT_FALSE(SyncFormName(nullptr, printer, dm.data(), pd.data()));
  set_paper(d, 77, 0, 0, nullptr);  // a code the database lacks
  EXPECT_FALSE(SyncFormName(handle, printer, dm.data(), pd.data()));
}

// An allocation failing at any step of a selection leaves the driver's
// paper either as it was or wholly selected, and nothing allocated behind.
TEST_F(PaperSelectionTest, AllocationFailuresSelectWhollyOrNotAtAll) {
  struct Case {
    DWORD fields;
    SHORT code, width, length;
    const char16_t* name;
    Paper want;
  };
  const Case cases[] = {
      {kDimensions | DM_FORMNAME | DM_PAPERSIZE, 0, 2970, 2100, u"A4", kA4},
      {DM_PAPERSIZE, 2, 0, 0, nullptr, kLetter},
      {DM_FORMNAME, 0, 0, 0, u"a5", kA5},
  };
  for (const Case& c : cases) {
    bool failed_once = false;
    for (int skip = 0; skip < 300; ++skip) {
      reset();
      if (c.want.code == kLetter.code) set_paper(reinterpret_cast<DEVMODEW*>(dm.data()), 9, 2100, 2970, u"A4");
      request(c.fields, c.code, c.width, c.length, c.name);
      const std::vector<BYTE> before = dm;
      morva::platform::inject_allocation_failure(skip, 1);
      const BOOL ok = select(c.fields);
      morva::platform::inject_allocation_failure(0, 0);
      if (dm == before) {
        failed_once = true;
        continue;
      }
      EXPECT_TRUE(ok) << skip;
      expect_paper(paper_of(dm), c.want, "after skipping " + std::to_string(skip));
    }
    EXPECT_TRUE(failed_once);
  }
}

// An unselectable paper without a driver DEVMODE falls back to the
// printer's default paper.
TEST_F(PaperSelectionTest, WithoutADriverDevmodeTheDefaultPaperIsTaken) {
  request(DM_FORMNAME, 0, 0, 0, u"Imperial Folio");
  ASSERT_TRUE(SelectPaperFromDevmode(handle, nullptr, app.data(), pd.data(), printer, DM_FORMNAME));
  expect_paper(paper_of(app), kA4, "default paper");

  request(DM_FORMNAME, 0, 0, 0, u"Imperial Folio");
  EXPECT_FALSE(SelectPaperFromDevmode(handle, nullptr, app.data(), pd.data(), nullptr, DM_FORMNAME));
}

// The merge selects the paper of an application DEVMODE cut short after
// its public head. (The merge takes the paper when DM_PAPERSIZE or
// DM_FORMNAME is set; the selection then sees all of the fields.)
TEST_F(PaperSelectionTest, TheMergeSelectsFromAShortDevmode) {
  std::vector<BYTE> short_app(220);
  auto* a = reinterpret_cast<DEVMODEW*>(short_app.data());
  a->dmSize = 220;
  a->dmFields = DM_PAPERSIZE | kDimensions;
  a->dmPaperWidth = 1480;
  a->dmPaperLength = 2100;
  make_own(dm, 0);
  ASSERT_TRUE(MergeDevmode(handle, dm.data(), short_app.data(), pd.data(), printer, kMergeResolutionPair));
  expect_paper(paper_of(dm), kA5, "merged");
}

// The demo printer's custom size range is that of its custom paper.
TEST_F(DddTest, DemoPrinterCustomSizeRange) {
  ddd_build::build_file(std::string(MORVA_SOURCE_DIR) + "/resources/demo_printer/database.json", dir());
  handle = DddOpenPath(u"C:\\drivers\\MVDEMO.DDD", nullptr);
  ASSERT_NE(handle, nullptr);
  CustomSizeRange range{};
  ASSERT_TRUE(GetCustomSizeRange(handle, &range));
  EXPECT_EQ(range.min_width, 900);
  EXPECT_EQ(range.min_length, 1480);
  EXPECT_EQ(range.max_width, 3048);
  EXPECT_EQ(range.max_length, 12000);
  EXPECT_TRUE(IsWithinCustomSizeRange(range, 900, 12000));
  EXPECT_FALSE(IsWithinCustomSizeRange(range, 899, 2000));
  EXPECT_FALSE(IsWithinCustomSizeRange(range, 2000, 12001));
}

}  // namespace
}  // namespace morva::test
