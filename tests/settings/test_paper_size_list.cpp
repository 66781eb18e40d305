#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "paper_fixture.h"
#include "settings/devmode/paper_size_list.h"

namespace morva::test {
namespace {

// Range 195 x 295 mm to 205 x 305 mm: no standard spooler form lies in it.
PaperDbOptions narrow_range(unsigned capacity = 10) {
  PaperDbOptions o;
  o.capacity = capacity;
  o.range_first = {1850, 2850};
  o.range_second = {1950, 2950};
  return o;
}

class PaperSizeListTest : public PaperPrinterTest {
 protected:
  // Installs, adds the form that paper 262 is named after, turns the list on
  // and builds it.
  void build(const PaperDbOptions& o = narrow_range()) {
    install(paper_database(o));
    add_form(u"Custom Range", 120000, 170000);
    enable_paper_list();
  }
  WORD count(INT kind) {
    WORD n = 0xFFFF;
    EXPECT_EQ(CountPaperSizes(handle, &n, kind), kPaperListOk);
    return n;
  }
  std::u16string name_of(WORD driver_id) {
    const WCHAR* name = nullptr;
    EXPECT_EQ(FindPaperSize(handle, kPaperKeyDriverId, driver_id, kPaperResultName, &name), kPaperListOk);
    return name ? std::u16string(name) : std::u16string();
  }
};

TEST_F(PaperSizeListTest, BuiltOnlyWhenTheModelAndTheSettingsAskForIt) {
  install(paper_database(narrow_range()));
  add_form(u"Custom Range", 120000, 170000);
  EXPECT_EQ(BuildPaperSizeList(printer, nullptr, pd.data()), kPaperListNoHandle);
  // No capability map.
  set_number(5201, 1);
  EXPECT_EQ(BuildPaperSizeList(printer, handle, pd.data()), kPaperListOk);
  EXPECT_EQ(HasPaperSizeList(handle), 0);
  // Map says formdb.mode 1 but DDMID 5201 is 0.
  enable_paper_list(0);
  EXPECT_EQ(GetPaperListMode(handle, pd.data()), 0u);
  EXPECT_EQ(BuildPaperSizeList(printer, handle, pd.data()), kPaperListOk);
  EXPECT_EQ(HasPaperSizeList(handle), 0);
  WORD n = 0;
  EXPECT_EQ(CountPaperSizes(handle, &n, kPaperCountAll), kPaperListNoList);
  EXPECT_EQ(CountPaperSizes(nullptr, &n, kPaperCountAll), kPaperListNoHandle);
  // Both: built.
  set_number(5201, 3);
  EXPECT_EQ(GetPaperListMode(handle, pd.data()), 3u);
  EXPECT_EQ(BuildPaperSizeList(printer, handle, pd.data()), kPaperListOk);
  EXPECT_EQ(HasPaperSizeList(handle), 1);
  EXPECT_EQ(FreePaperSizeList(handle), kPaperListOk);
  EXPECT_EQ(HasPaperSizeList(handle), 0);
  EXPECT_EQ(FreePaperSizeList(nullptr), kPaperListNoHandle);
}

TEST_F(PaperSizeListTest, DatabasePapersTakeTheirSpoolerForms) {
  build();
  add_form(u"User 200x300", 200000, 300000, 1000);
  add_form(u"User 201x301", 201000, 301000);
  ASSERT_EQ(BuildPaperSizeList(printer, handle, pd.data()), kPaperListOk);
  EXPECT_EQ(count(kPaperCountStandard), 5);
  EXPECT_EQ(count(kPaperCountCustom), 2);
  EXPECT_EQ(count(kPaperCountAll), 7);
  EXPECT_EQ(count(kPaperCountWithoutCustomPaper), 6);
  WORD n = 0;
  EXPECT_EQ(CountPaperSizes(handle, &n, 5), kPaperListFailed);

  // Windows numbers are the forms' positions: the standard forms' paper
  // codes, the added ones after the 118 standard forms.
  struct Row {
    WORD driver_id;
    WORD windows_number;
    const char16_t* name;
    LONG width, length;  // tenths of a millimetre
  };
  const Row rows[] = {
      {9, 9, u"A4", 2100, 2970},          {1, 1, u"Letter", 2159, 2794},
      {11, 11, u"A5", 1480, 2100},        {256, 0, u"Custom Size", 2100, 2970},
      {262, 119, u"Custom Range", 1200, 1700}, {512, 120, u"User 200x300", 2000, 3000},
      {513, 121, u"User 201x301", 2010, 3010},
  };
  for (WORD i = 0; i < std::size(rows); ++i) {
    const Row& r = rows[i];
    WORD id = 0, number = 0xFFFF;
    PaperSizeTenths size{};
    EXPECT_EQ(FindPaperSizeByIndex(handle, i, kPaperResultDriverId, &id), kPaperListOk);
    EXPECT_EQ(id, r.driver_id) << i;
    EXPECT_EQ(FindPaperSize(handle, kPaperKeyDriverId, r.driver_id, kPaperResultWindowsNumber, &number),
              kPaperListOk);
    EXPECT_EQ(number, r.windows_number) << i;
    EXPECT_EQ(name_of(r.driver_id), r.name);
    EXPECT_EQ(FindPaperSize(handle, kPaperKeyName, reinterpret_cast<DWORD_PTR>(r.name), kPaperResultSize, &size),
              kPaperListOk);
    EXPECT_EQ(size.width, r.width) << i;
    EXPECT_EQ(size.length, r.length) << i;
  }
  WORD id = 0;
  EXPECT_EQ(FindPaperSizeByIndex(handle, 7, kPaperResultDriverId, &id), kPaperListNotFound);
  // Names are matched exactly, case included.
  EXPECT_EQ(FindPaperSize(handle, kPaperKeyName, reinterpret_cast<DWORD_PTR>(u"a4"), kPaperResultDriverId, &id),
            kPaperListNotFound);
  EXPECT_EQ(FindPaperSize(handle, kPaperKeyWindowsNumber, 120, kPaperResultDriverId, &id), kPaperListOk);
  EXPECT_EQ(id, 512);
  EXPECT_EQ(FindPaperSize(handle, 4, 9, kPaperResultDriverId, &id), kPaperListFailed);
  EXPECT_EQ(FindPaperSize(handle, kPaperKeyDriverId, 9, 5, &id), kPaperListFailed);
}

TEST_F(PaperSizeListTest, AddedFormsStopAtTheCapacityAndSkipDatabaseNames) {
  install(paper_database(narrow_range(7)));  // room for two added forms
  // Paper 262's form lies within the range but stands for a database
  // paper already: not added again.
  add_form(u"custom range", 200000, 300000);
  enable_paper_list();
  add_form(u"Too Wide", 206000, 300000);
  add_form(u"Too Long", 200000, 306000);
  add_form(u"First", 195000, 295000);
  add_form(u"Second", 205000, 305000);
  add_form(u"Third", 200000, 300000);
  ASSERT_EQ(BuildPaperSizeList(printer, handle, pd.data()), kPaperListOk);
  EXPECT_EQ(count(kPaperCountCustom), 2);
  EXPECT_EQ(name_of(512), u"First");
  EXPECT_EQ(name_of(513), u"Second");
}

TEST_F(PaperSizeListTest, BuildFailsWithoutAFormOrRoomForTheDatabasePapers) {
  install(paper_database(narrow_range()));
  enable_paper_list();
  // Paper 262 has no spooler form of its name.
  EXPECT_EQ(BuildPaperSizeList(printer, handle, pd.data()), kPaperListFailed);
  EXPECT_EQ(HasPaperSizeList(handle), 0);
}

TEST_F(PaperSizeListTest, CapacityBelowThePaperCountFails) {
  build(narrow_range(4));
  EXPECT_EQ(BuildPaperSizeList(printer, handle, pd.data()), kPaperListFailed);
  EXPECT_EQ(HasPaperSizeList(handle), 0);
}

TEST_F(PaperSizeListTest, WithoutACustomRangeNoFormsAreAdded) {
  PaperDbOptions o = narrow_range();
  o.with_range = false;
  install(paper_database(o));
  add_form(u"User 200x300", 200000, 300000);
  enable_paper_list();
  ASSERT_EQ(BuildPaperSizeList(printer, handle, pd.data()), kPaperListOk);
  EXPECT_EQ(count(kPaperCountStandard), 4);
  EXPECT_EQ(count(kPaperCountCustom), 0);
}

// An allocation failing at any step leaves either no list or the whole
// list, and nothing allocated behind (the leak checker sees to that).
TEST_F(PaperSizeListTest, AllocationFailuresLeaveNoPartialList) {
  build();
  add_form(u"User 200x300", 200000, 300000);
  bool failed_once = false;
  for (int skip = 0; skip < 400; ++skip) {
    morva::platform::inject_allocation_failure(skip, 1);
    const INT rc = BuildPaperSizeList(printer, handle, pd.data());
    morva::platform::inject_allocation_failure(0, 0);
    if (rc == kPaperListFailed) {
      failed_once = true;
      EXPECT_EQ(HasPaperSizeList(handle), 0) << skip;
      continue;
    }
    ASSERT_EQ(rc, kPaperListOk) << skip;
    EXPECT_EQ(count(kPaperCountAll), 6) << skip;
    EXPECT_EQ(name_of(512), u"User 200x300") << skip;
  }
  EXPECT_TRUE(failed_once);
}

TEST_F(PaperSizeListTest, Geometry) {
  build();
  ASSERT_EQ(BuildPaperSizeList(printer, handle, pd.data()), kPaperListOk);
  // A4 from a form with an imageable area of 4.2 mm on each side.
  handle->papers->entries[0].imageable_left = 4200;
  handle->papers->entries[0].imageable_top = 4200;
  handle->papers->entries[0].imageable_right = 205800;
  handle->papers->entries[0].imageable_bottom = 292800;
  PaperLengths size{}, printable{}, lb{}, rt{};
  ASSERT_EQ(GetPaperGeometry(handle, 9, &size, &printable, &lb, &rt), kPaperListOk);
  EXPECT_EQ(size.first, 2100);
  EXPECT_EQ(size.second, 2970);
  EXPECT_EQ(printable.first, 2016);
  EXPECT_EQ(printable.second, 2886);
  EXPECT_EQ(lb.first, 42);
  EXPECT_EQ(lb.second, 42);
  EXPECT_EQ(rt.first, 42);
  EXPECT_EQ(rt.second, 42);
  // The custom paper: the default paper's size and its own margins.
  ASSERT_EQ(GetPaperGeometry(handle, 256, &size, &printable, &lb, &rt), kPaperListOk);
  EXPECT_EQ(size.first, 2100);
  EXPECT_EQ(printable.first, 2016);
  EXPECT_EQ(printable.second, 2886);
  EXPECT_EQ(GetPaperGeometry(handle, 4, &size, &printable, &lb, &rt), kPaperListNotFound);
}

TEST_F(PaperSizeListTest, Arrays) {
  build();
  add_form(u"User 200x300", 200000, 300000);
  ASSERT_EQ(BuildPaperSizeList(printer, handle, pd.data()), kPaperListOk);
  void* array = nullptr;
  DWORD bytes = 0;
  WORD position = 0;

  ASSERT_EQ(GetPaperSizeArray(handle, kPaperArrayDriverIds, &array, &bytes, FALSE, &position), kPaperListOk);
  ASSERT_EQ(bytes, 5 * sizeof(WORD));
  const auto* ids = static_cast<const WORD*>(array);
  EXPECT_EQ(std::vector<WORD>(ids, ids + 5), (std::vector<WORD>{9, 1, 11, 262, 512}));
  EXPECT_EQ(position, 0xFFFF);
  GlobalFree(array);

  ASSERT_EQ(GetPaperSizeArray(handle, kPaperArrayWindowsNumbers, &array, &bytes, TRUE, &position), kPaperListOk);
  ASSERT_EQ(bytes, 6 * sizeof(WORD));
  const auto* numbers = static_cast<const WORD*>(array);
  EXPECT_EQ(std::vector<WORD>(numbers, numbers + 6), (std::vector<WORD>{9, 1, 11, 0, 119, 120}));
  EXPECT_EQ(position, 3);
  GlobalFree(array);

  ASSERT_EQ(GetPaperSizeArray(handle, kPaperArrayNames, &array, &bytes, TRUE, &position), kPaperListOk);
  ASSERT_EQ(bytes, 6 * kPaperNameChars * sizeof(WCHAR));
  const auto* names = static_cast<const WCHAR*>(array);
  EXPECT_EQ(std::u16string(names + 3 * kPaperNameChars), u"Custom Size");
  EXPECT_EQ(std::u16string(names + 5 * kPaperNameChars), u"User 200x300");
  GlobalFree(array);

  ASSERT_EQ(GetPaperSizeArray(handle, kPaperArraySizes, &array, &bytes, FALSE, nullptr), kPaperListOk);
  ASSERT_EQ(bytes, 5 * sizeof(PaperSizeTenths));
  const auto* sizes = static_cast<const PaperSizeTenths*>(array);
  EXPECT_EQ(sizes[4].width, 2000);
  EXPECT_EQ(sizes[4].length, 3000);
  GlobalFree(array);

  EXPECT_EQ(GetPaperSizeArray(handle, 5, &array, &bytes, FALSE, nullptr), kPaperListFailed);
  EXPECT_EQ(array, nullptr);
}

TEST_F(PaperSizeListTest, LongNamesAreCutAndTerminated) {
  PaperDbOptions o = narrow_range();
  o.custom_name = "A custom paper name well beyond the sixty-four characters of an entry";
  build(o);
  ASSERT_EQ(BuildPaperSizeList(printer, handle, pd.data()), kPaperListOk);
  EXPECT_EQ(name_of(256), std::u16string(u"A custom paper name well beyond the sixty-four characters of an entry")
                              .substr(0, kPaperNameChars - 1));
}

TEST_F(PaperSizeListTest, SpoolerForms) {
  install(paper_database());
  add_form(u"Added", 100000, 100000);
  FORM_INFO_1W* forms = nullptr;
  DWORD bytes = 0, count = 0;
  ASSERT_EQ(AllocEnumForms(printer, &forms, &bytes, &count), kFormsOk);
  EXPECT_EQ(count, 119u);
  EXPECT_GE(bytes, count * sizeof(FORM_INFO_1W));
  EXPECT_EQ(std::u16string(forms[8].pName), u"A4");
  GlobalFree(forms);
  EXPECT_EQ(AllocEnumForms(nullptr, &forms, &bytes, &count), kFormsFailed);
  EXPECT_EQ(forms, nullptr);

  for (auto [n, name] : {std::pair<DWORD, const char16_t*>{1, u"Letter"}, {9, u"A4"}, {119, u"Added"},
                         {0, nullptr}, {120, nullptr}}) {
    WCHAR* got = GetFormName(printer, n);
    EXPECT_EQ(got != nullptr, name != nullptr) << n;
    if (got && name) {
      EXPECT_EQ(std::u16string(got), name);
    }
    if (got) GlobalFree(got);
  }
}

TEST_F(PaperSizeListTest, PaperChoiceByFormName) {
  install(paper_database());
  add_form(u"Not In Database", 100000, 100000);
  struct Case {
    WORD form;
    INT status;
    LONG value;
  };
  // Forms 9 (A4), 1 (Letter), 11 (A5) are named like papers of the item;
  // 2 (Letter Small) and the added form are not.
  const Case cases[] = {{9, 1, 9}, {1, 1, 1}, {11, 1, 11}, {2, 2, 0}, {119, 2, 0}, {500, 10, 0}};
  for (const Case& c : cases) {
    LONG value = -7;
    EXPECT_EQ(FindPaperByFormName(printer, dm.data(), pd.data(), c.form, &value), c.status) << c.form;
    EXPECT_EQ(value, c.value) << c.form;
  }
  // Form 256 is the custom size itself when DDMID 5200 is set and dmFields
  // holds DM_PAPERLENGTH and DM_PAPERWIDTH; without DM_PAPERWIDTH it is a
  // form number like any other (there is no form 256).
  set_number(5200, 1);
  set_number(6, DM_PAPERLENGTH | DM_PAPERWIDTH, dm.data());
  LONG value = 0;
  EXPECT_EQ(FindPaperByFormName(printer, dm.data(), pd.data(), 256, &value), 1);
  EXPECT_EQ(value, 256);
  set_number(6, DM_PAPERLENGTH, dm.data());
  EXPECT_EQ(FindPaperByFormName(printer, dm.data(), pd.data(), 256, &value), 10);
  EXPECT_EQ(value, 0);
}

}  // namespace
}  // namespace morva::test
