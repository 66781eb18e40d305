// The demo printer's document sheet as an application opens it, with a
// model that offers the custom paper size: the custom size dialog opened
// from the paper list, sizes entered in millimetres and in inches, sides
// out of range and turned, and what the caller's DEVMODE carries back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gfx_demo.h"
#include "sheet_picture_host.h"
#include "temp_root.h"
#include "win/win.h"

namespace {

namespace ui = morva::platform::ui;
using morva::gfx_demo::kDemoPrinter;

constexpr DWORD kShortDevmode = 1604;
constexpr INT kPaperSize = 1006, kCustomSizeButton = 1816, kSummary = 3838;
constexpr INT kWidth = 3791, kHeight = 3792, kInch = 3805, kWidthRange = 3795, kOk = 1092, kCancel = 1091;

std::string png_path(const std::string& name) { return std::string(MORVA_BIN_DIR) + "/" + name; }

void choose(HWND sheet, INT id, const std::u16string& prefix) {
  HWND list = ui::find(sheet, id);
  ASSERT_NE(list, nullptr) << id;
  const auto items = ui::items(list);
  for (size_t i = 0; i < items.size(); ++i)
    if (items[i].rfind(prefix, 0) == 0) {
      ui::select(list, static_cast<INT>(i));
      return;
    }
  ADD_FAILURE() << "no such item in control " << id;
}

class DocumentPages : public ::testing::Test {
 protected:
  void SetUp() override {
    // The demo model with the custom paper among its paper sizes.
    nlohmann::json d = morva::sheet_pictures::demo_model();
    auto& records = d["main"]["records"];
    int choices = 0;
    for (const auto& r : records) choices += r.value("kind", 0) == 14 ? 1 : 0;
    records[0]["choices"].push_back(choices + 1);
    records.push_back({{"kind", 14},
                       {"name", "Custom Size"},
                       {"target_kind", 10},
                       {"target_id", 256},
                       {"value", {{"type", 3}, {"value", 256}}}});
    // The margin settings: the switch, the paper list and four margins
    // of 0 to 150 mm.
    auto choice = [&](const std::string& name, nlohmann::json value) {
      records.push_back({{"kind", 14}, {"name", name}, {"value", value}});
      return ++choices;
    };
    ++choices;  // the custom paper's choice above
    const int off = choice("Off", {{"type", 8}, {"value", 0}}), on = choice("On", {{"type", 8}, {"value", 1}});
    records.push_back({{"kind", 4}, {"id", 387}, {"name", "Own Margins"}, {"default", 1}, {"choices", {off, on}}});
    std::vector<int> papers;
    for (auto [name, id] : {std::pair{"A4", 9}, {"Letter", 1}, {"Custom Size", 256}}) {
      records.push_back({{"kind", 14}, {"name", name}, {"target_kind", 10}, {"target_id", id},
                         {"value", {{"type", 3}, {"value", id}}}});
      papers.push_back(++choices);
    }
    records.push_back({{"kind", 4}, {"id", 1824}, {"name", "Margin Paper"}, {"default", 1}, {"choices", papers}});
    const int lowest = choice("0", {{"type", 4}, {"value", 0}}), highest = choice("150", {{"type", 4}, {"value", 1500}});
    for (int id = 1825; id <= 1828; ++id)
      records.push_back({{"kind", 4}, {"id", id}, {"name", "Margin"}, {"flags", 4}, {"default", 1},
                         {"choices", {lowest, highest}}});
    // The output paper, the zoom and the layout of pages on the sheet.
    auto item = [&](int id, const std::string& name, std::vector<std::pair<std::string, nlohmann::json>> list,
                    int flags = 0) {
      std::vector<int> ids;
      for (auto& [text, value] : list) ids.push_back(choice(text, value));
      nlohmann::json r{{"kind", 4}, {"id", id}, {"name", name}, {"default", 1}, {"choices", ids}};
      if (flags) r["flags"] = flags;
      records.push_back(r);
    };
    item(1281, "Fixed Zoom", {{"Off", {{"type", 1}, {"value", 0}}}, {"On", {{"type", 1}, {"value", 1}}}});
    item(263, "Zoom", {{"25", {{"type", 3}, {"value", 25}}}, {"400", {{"type", 3}, {"value", 400}}}}, 4);
    {
      std::vector<int> outputs;
      for (auto [name, id] : {std::pair{"A4", 9}, {"Letter", 1}}) {
        records.push_back({{"kind", 14}, {"name", name}, {"target_kind", 10}, {"target_id", id},
                           {"value", {{"type", 3}, {"value", id}}}});
        outputs.push_back(++choices);
      }
      outputs.insert(outputs.begin(), choice("Same as Paper Size", {{"type", 3}, {"value", 267}}));
      records.push_back({{"kind", 4}, {"id", 262}, {"name", "Output Paper"}, {"default", 1}, {"choices", outputs}});
    }
    item(295, "Pages per Sheet", {{"1", {{"type", 8}, {"value", 1}}}, {"2", {{"type", 8}, {"value", 2}}},
                                  {"4", {{"type", 8}, {"value", 4}}}});
    item(264, "Page Order", {{"Across", {{"type", 8}, {"value", 1}}}, {"Down", {{"type", 8}, {"value", 2}}}});
    item(294, "Page Borders", {{"None", {{"type", 8}, {"value", 0}}}, {"Thin", {{"type", 8}, {"value", 1}}}});
    item(437, "Binding Side", {{"Left", {{"type", 8}, {"value", 1}}}, {"Top", {{"type", 8}, {"value", 2}}}});
    // The detail page's switch with its required text, and the copies
    // detail with its count.
    item(5146, "Secure Print", {{"Off", {{"type", 3}, {"value", 0}}}, {"On", {{"type", 3}, {"value", 1}}}});
    records.push_back({{"kind", 4}, {"id", 5147}, {"name", "PIN"}, {"flags", 6}, {"choices", {52}}, {"default", 1}});
    item(1324, "Copies by Driver", {{"Off", {{"type", 1}, {"value", 0}}}, {"On", {{"type", 1}, {"value", 1}}}});
    item(11, "Copies", {{"1", {{"type", 2}, {"value", 1}}}, {"999", {{"type", 2}, {"value", 999}}}}, 4);
    const std::string folder = root_.file("custom_model");
    ASSERT_EQ(morva::sheet_pictures::write_model(d, folder), "");
    std::string error;
    ASSERT_TRUE(morva::gfx_demo::install_demo_printer(MORVA_BIN_DIR, &error, folder)) << error;
    ui::reset();
    morva::platform::reset_message_boxes();
    // An administrator's application: the per-user stores of the printer
    // get the printer's identity on first use.
    ASSERT_TRUE(host_.open(kDemoPrinter, &error)) << error;
  }
  void TearDown() override {
    ui::reset();
    morva::platform::reset_message_boxes();
    host_.close();
  }

  std::vector<BYTE> document_sheet(ui::ModalScript script, LONG* answer = nullptr) {
    return host_.document_sheet(std::move(script), nullptr, kShortDevmode, answer);
  }

  morva::test::TempRoot root_;
  morva::sheet_pictures::SheetHost host_;
};

const DEVMODEW* dm(const std::vector<BYTE>& b) { return reinterpret_cast<const DEVMODEW*>(b.data()); }

// The custom size dialog opens when the custom paper is chosen; sizes are
// typed in millimetres or in inches.
TEST_F(DocumentPages, CustomSizeEnteredInMillimetresAndInches) {
  struct Case {
    bool inches;
    std::u16string width, height;
    SHORT dm_width, dm_length;
    std::u16string shown;
  } const cases[] = {{false, u"150", u"200.5", 1500, 2005, u"Custom Size (150 x 200 mm)"},
                     {true, u"5", u"7.5", 1270, 1905, u"Custom Size (127 x 190 mm)"}};
  for (const Case& c : cases) {
    ui::reset();
    bool opened = false;
    LONG answer = 0;
    const auto devmode = document_sheet(
        [&](HWND sheet) {
          EXPECT_FALSE(ui::state(ui::find(sheet, kCustomSizeButton)).visible);
          ui::script_modal([&](HWND dialog) {
            opened = true;
            if (c.inches) {
              ASSERT_TRUE(ui::click(ui::find(dialog, kInch)));
              EXPECT_EQ(ui::text(ui::find(dialog, kWidthRange)), u"&Width (3.54 to 12.00):");
            } else {
              EXPECT_EQ(ui::text(ui::find(dialog, kWidthRange)), u"&Width (90.0 to 304.8):");
            }
            ASSERT_TRUE(ui::enter_text(ui::find(dialog, kWidth), c.width));
            ASSERT_TRUE(ui::enter_text(ui::find(dialog, kHeight), c.height));
            if (!c.inches) {
              EXPECT_TRUE(ui::write_png(dialog, png_path("custom-size-dialog.png")));
            }
            EXPECT_TRUE(ui::click(ui::find(dialog, kOk)));
          });
          choose(sheet, kPaperSize, u"Custom Size");
          EXPECT_TRUE(opened);
          EXPECT_EQ(ui::text(ui::find(sheet, kPaperSize)), c.shown);
          EXPECT_TRUE(ui::state(ui::find(sheet, kCustomSizeButton)).visible);
          EXPECT_TRUE(ui::press_ok(sheet));
        },
        &answer);
    EXPECT_EQ(answer, CPSUI_OK);
    EXPECT_TRUE(morva::platform::message_box_log().empty());
    EXPECT_EQ(dm(devmode)->dmPaperSize, 256);
    EXPECT_EQ(dm(devmode)->dmPaperWidth, c.dm_width) << c.inches;
    EXPECT_EQ(dm(devmode)->dmPaperLength, c.dm_length) << c.inches;
  }
}

// Out of range, wider than high: each is said once, the dialog stays open
// and the sides it keeps are the ones that passed.
TEST_F(DocumentPages, CustomSizeRefusesWhatDoesNotFit) {
  const auto devmode = document_sheet([&](HWND sheet) {
    ui::script_modal([&](HWND dialog) {
      ASSERT_TRUE(ui::enter_text(ui::find(dialog, kWidth), u"50"));
      ui::focus(ui::find(dialog, kHeight));
      ASSERT_EQ(morva::platform::message_box_log().size(), 1u);
      EXPECT_EQ(morva::platform::message_box_log()[0].text, u"Width must lie between 90.0 and 304.8.");
      EXPECT_NE(ui::text(ui::find(dialog, kWidth)), u"50");
      ASSERT_TRUE(ui::enter_text(ui::find(dialog, kWidth), u"300"));
      ASSERT_TRUE(ui::enter_text(ui::find(dialog, kHeight), u"200"));
      ui::click(ui::find(dialog, kOk));
      ASSERT_EQ(morva::platform::message_box_log().size(), 2u);
      EXPECT_EQ(morva::platform::message_box_log()[1].text,
                u"The width is greater than the height: the two sides are exchanged.");
      EXPECT_EQ(ui::text(ui::find(dialog, kWidth)), u"200.0");
      EXPECT_EQ(ui::text(ui::find(dialog, kHeight)), u"300.0");
      EXPECT_TRUE(ui::click(ui::find(dialog, kOk)));
    });
    choose(sheet, kPaperSize, u"Custom Size");
    // The button opens the dialog again; Cancel there keeps the size.
    ui::script_modal([&](HWND dialog) {
      EXPECT_EQ(ui::text(ui::find(dialog, kWidth)), u"200.0");
      ASSERT_TRUE(ui::enter_text(ui::find(dialog, kWidth), u"250"));
      EXPECT_TRUE(ui::click(ui::find(dialog, kCancel)));
    });
    ASSERT_TRUE(ui::click(ui::find(sheet, kCustomSizeButton)));
    EXPECT_FALSE(ui::text(ui::find(sheet, kSummary)).empty());
    EXPECT_TRUE(ui::press_ok(sheet));
  });
  EXPECT_EQ(dm(devmode)->dmPaperSize, 256);
  EXPECT_EQ(dm(devmode)->dmPaperWidth, 2000);
  EXPECT_EQ(dm(devmode)->dmPaperLength, 3000);
}

// Margins kept per paper: typed margins are checked against the range and
// against the paper, and OK keeps them for the next time.
TEST_F(DocumentPages, MarginsOutsideThePaperAreRefusedWithAWarning) {
  constexpr INT kMargins = 1354, kOwn = 1658, kLeft = 1666, kRight = 1681, kTop = 1676;
  document_sheet([&](HWND sheet) {
    ui::script_modal([&](HWND dialog) {
      EXPECT_EQ(ui::state(ui::find(dialog, kOwn)).check, BST_UNCHECKED);
      EXPECT_EQ(ui::text(ui::find(dialog, 1361)), u"A4");
      ASSERT_TRUE(ui::click(ui::find(dialog, kOwn)));
      EXPECT_EQ(ui::text(ui::find(dialog, kLeft)), u"4.6");
      ASSERT_TRUE(ui::enter_text(ui::find(dialog, kLeft), u"120"));
      ASSERT_TRUE(ui::focus(ui::find(dialog, kTop)));
      EXPECT_TRUE(morva::platform::message_box_log().empty());
      // Beyond the range, then inside it but with no room left on A4.
      const std::pair<std::u16string, std::u16string> refused[] = {
          {u"151", u"Right margin must lie between 0.0 and 150.0."},
          {u"100", u"These margins leave no room for printing on the paper."}};
      for (const auto& [typed, message] : refused) {
        morva::platform::reset_message_boxes();
        ASSERT_TRUE(ui::enter_text(ui::find(dialog, kRight), typed));
        ui::focus(ui::find(dialog, kTop));
        ASSERT_EQ(morva::platform::message_box_log().size(), 1u);
        EXPECT_EQ(morva::platform::message_box_log()[0].text, message);
        EXPECT_EQ(ui::text(ui::find(dialog, kRight)), u"4.6");
      }
      // Each entry's edge is shown by its icon.
      for (INT icon : {1661, 1662, 1663, 1664})
        EXPECT_NE(SendMessageW(ui::find(dialog, icon), STM_GETICON, 0, 0), 0) << icon;
      EXPECT_TRUE(ui::write_png(dialog, png_path("paper-margin-dialog.png")));
      morva::platform::reset_message_boxes();
      EXPECT_TRUE(ui::click(ui::find(dialog, 1092)));
      EXPECT_TRUE(morva::platform::message_box_log().empty());
    });
    ASSERT_TRUE(ui::click(ui::find(sheet, kMargins)));
    ui::script_modal([&](HWND dialog) {
      EXPECT_EQ(ui::state(ui::find(dialog, kOwn)).check, BST_CHECKED);
      EXPECT_EQ(ui::text(ui::find(dialog, kLeft)), u"120.0");
      ui::click(ui::find(dialog, 1091));
    });
    ASSERT_TRUE(ui::click(ui::find(sheet, kMargins)));
    EXPECT_TRUE(ui::press_ok(sheet));
  });
}

// Without the fixed zoom the zoom is the one that fits the paper onto the
// output paper; switching the fixed zoom on starts it at 100 % in the edit.
TEST_F(DocumentPages, ZoomFollowsTheOutputPaperUntilFixed) {
  constexpr INT kOutput = 1008, kZoom = 1010, kFixed = 1184, kPagesPerSheet = 1351;
  document_sheet([&](HWND sheet) {
    EXPECT_EQ(ui::text(ui::find(sheet, kZoom)), u"100");
    // A4 onto Letter: the shorter paper takes the page at 94 %.
    choose(sheet, kOutput, u"Letter");
    EXPECT_EQ(ui::text(ui::find(sheet, kZoom)), u"94");
    choose(sheet, kOutput, u"Same as Paper Size");
    EXPECT_EQ(ui::text(ui::find(sheet, kZoom)), u"100");
    choose(sheet, kOutput, u"Letter");
    ASSERT_TRUE(ui::click(ui::find(sheet, kFixed)));
    EXPECT_EQ(ui::text(ui::find(sheet, kZoom)), u"100");
    EXPECT_TRUE(ui::state(ui::find(sheet, kZoom)).focused);
    ASSERT_TRUE(ui::enter_text(ui::find(sheet, kZoom), u"150"));
    ASSERT_TRUE(ui::focus(ui::find(sheet, kPagesPerSheet)));
    EXPECT_EQ(ui::text(ui::find(sheet, kZoom)), u"150");
    EXPECT_EQ(ui::items(ui::find(sheet, kPagesPerSheet)), (std::vector<std::u16string>{u"1", u"2", u"4"}));
    choose(sheet, kPagesPerSheet, u"2");
    EXPECT_TRUE(ui::write_png(sheet, png_path("paper-page.png")));
    EXPECT_TRUE(ui::press_ok(sheet));
  });
  EXPECT_TRUE(morva::platform::message_box_log().empty());
}

// Choosing a job type that needs details opens its detail dialog; the
// button beside the list opens it again and hides for a job type without.
TEST_F(DocumentPages, JobTypeOpensItsDetailDialog) {
  constexpr INT kJobType = 3846, kDetails = 3848, kHeading = 1555, kIdentifier = 1549;
  struct Case {
    std::u16string job_type;
    std::u16string heading;
  } const cases[] = {{u"Locked Print", u"Locked print: enter the identifier and its code."},
                     {u"Timed Print", u"Timed print: enter the hour and minute."}};
  for (const Case& c : cases) {
    ui::reset();
    int opened = 0;
    std::u16string heading;
    document_sheet([&](HWND sheet) {
      EXPECT_FALSE(ui::state(ui::find(sheet, kDetails)).visible);
      auto details = [&](HWND dialog) {
        ++opened;
        heading = ui::text(ui::find(dialog, kHeading));
        if (HWND identifier = ui::find(dialog, kIdentifier)) ui::enter_text(identifier, u"A17");
        EXPECT_TRUE(ui::click(ui::find(dialog, kOk)));
      };
      ui::script_modal(details);
      choose(sheet, kJobType, c.job_type);
      EXPECT_EQ(opened, 1);
      EXPECT_TRUE(ui::state(ui::find(sheet, kDetails)).visible);
      ui::script_modal(details);
      ASSERT_TRUE(ui::click(ui::find(sheet, kDetails)));
      EXPECT_EQ(opened, 2);
      choose(sheet, kJobType, u"Normal Print");
      EXPECT_EQ(opened, 2);
      EXPECT_FALSE(ui::state(ui::find(sheet, kDetails)).visible);
      EXPECT_TRUE(ui::press_ok(sheet));
    });
    EXPECT_EQ(heading, c.heading);
  }
}

// The switch's text must be entered before the page is left or a dialog
// opens; the copies count is kept within its range.
TEST_F(DocumentPages, DetailPageKeepsTheRequiredTextAndTheCopiesRange) {
  constexpr INT kDetailsTab = 3, kSwitch = 3292, kText = 3294, kUnitButton = 3313, kSelector = 3300, kCopies = 1010;
  const std::u16string required = u"Secure Print is switched on, so PIN must be entered.";
  document_sheet([&](HWND sheet) {
    HWND tabs = GetDlgItem(sheet, IDC_PS_TABCONTROL);
    ASSERT_TRUE(ui::select(tabs, kDetailsTab));
    EXPECT_FALSE(ui::state(ui::find(sheet, kText)).enabled);
    ASSERT_TRUE(ui::click(ui::find(sheet, kSwitch)));
    EXPECT_TRUE(ui::state(ui::find(sheet, kText)).enabled);
    // Neither another page nor the size-unit dialog while the text is empty.
    ui::select(tabs, 0);
    ui::click(ui::find(sheet, kUnitButton));
    ASSERT_EQ(morva::platform::message_box_log().size(), 2u);
    for (const auto& box : morva::platform::message_box_log()) EXPECT_EQ(box.text, required);
    EXPECT_TRUE(ui::state(ui::find(sheet, kText)).focused);
    EXPECT_TRUE(ui::state(ui::find(sheet, kSelector)).visible);
    ASSERT_TRUE(ui::enter_text(ui::find(sheet, kText), u"4711"));
    ui::focus(ui::find(sheet, kSelector));
    EXPECT_EQ(ui::text(ui::find(sheet, kText)), u"4711");
    // The copies count shows with its detail; beyond its range it is said
    // with whole-number bounds and not kept.
    HWND selector = ui::find(sheet, kSelector);
    const auto rows = ui::items(selector);
    for (size_t i = 0; i < rows.size(); ++i)
      if (rows[i].rfind(u"Copies by Driver", 0) == 0) ui::select(selector, static_cast<INT>(i));
    ASSERT_TRUE(ui::state(ui::find(sheet, kCopies)).visible);
    EXPECT_FALSE(ui::state(ui::find(sheet, kCopies)).enabled);
    choose(sheet, 3303, u"On");
    ASSERT_TRUE(ui::state(ui::find(sheet, kCopies)).enabled);
    morva::platform::reset_message_boxes();
    ASSERT_TRUE(ui::enter_text(ui::find(sheet, kCopies), u"1000"));
    ui::focus(selector);
    ASSERT_EQ(morva::platform::message_box_log().size(), 1u);
    EXPECT_EQ(morva::platform::message_box_log()[0].text, u"Copies must lie between 1 and 999.");
    EXPECT_EQ(ui::text(ui::find(sheet, kCopies)), u"1");
    EXPECT_TRUE(ui::write_png(sheet, png_path("detail-page-required-text.png")));
    morva::platform::reset_message_boxes();
    EXPECT_EQ(ui::text(ui::find(sheet, kText)), u"4711");
    ASSERT_TRUE(ui::select(tabs, 0));
    EXPECT_TRUE(morva::platform::message_box_log().empty());
    EXPECT_TRUE(ui::press_ok(sheet));
  });
}

// The detail page's selector lists the model's detail settings with their
// values; the drop-down beside it edits the one selected.
TEST_F(DocumentPages, DetailSelectorEditsTheSelectedSetting) {
  constexpr INT kDetailsTab = 3, kSelector = 3300, kSelected = 3303, kSelectedLabel = 3304;
  LONG answer = 0;
  document_sheet(
      [&](HWND sheet) {
        ASSERT_TRUE(ui::select(GetDlgItem(sheet, IDC_PS_TABCONTROL), kDetailsTab));
        HWND selector = ui::find(sheet, kSelector);
        const std::vector<std::u16string> rows = {u"Copies by Driver\tOff", u"Image Compression\tNone",
                                                  u"Crop Images to Clip\tOff"};
        EXPECT_EQ(ui::items(selector), rows);
        EXPECT_FALSE(ui::state(ui::find(sheet, kSelected)).visible);
        ASSERT_TRUE(ui::select(selector, 1));
        EXPECT_TRUE(ui::state(ui::find(sheet, kSelected)).visible);
        EXPECT_EQ(ui::text(ui::find(sheet, kSelectedLabel)), u"Image Compression:");
        EXPECT_EQ(ui::items(ui::find(sheet, kSelected)), (std::vector<std::u16string>{u"None", u"Run Length", u"JPEG"}));
        choose(sheet, kSelected, u"JPEG");
        EXPECT_EQ(ui::items(selector)[1], u"Image Compression\tJPEG");
        ASSERT_TRUE(ui::select(selector, 2));
        EXPECT_EQ(ui::text(ui::find(sheet, kSelected)), u"Off");
        EXPECT_TRUE(ui::write_png(sheet, png_path("detail-settings-page.png")));
        EXPECT_TRUE(ui::press_ok(sheet));
      },
      &answer);
  EXPECT_EQ(answer, CPSUI_OK);
}

}  // namespace
