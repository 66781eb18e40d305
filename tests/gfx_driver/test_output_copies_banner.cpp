// Banner pages of a job whose pages the driver plays back (collated copies,
// reverse order): every copy gets its banner page from the banner tray, in
// front of its pages, or behind them when they come last first. Printed
// through the print host on the demo printer and read back from the decoded
// spool file.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "output_collating_printer.h"

namespace {

using morva::tools::PdlItem;

class CopiesBannerPrint : public morva::test::PrintTest {
 protected:
  void SetUp() override {
    // A version with blank pages of their own sheet value and banner pages.
    morva::test::InstallCollatingPrinter(root_.path() + "/collating_database", 0x01020000);
  }

  // Each side as {source byte, page name (-1 for none)}.
  std::vector<std::pair<int, int>> print(int pages, const std::string& ddmid) {
    std::vector<std::string> ops;
    for (int i = 0; i < pages; ++i)
      ops.push_back(R"({"op": "pen", "style": "solid", "width": 0},
          {"op": "rectangle", "rect": [)" + std::to_string(100 + 10 * i) + ", 1000, 3000, 3000]}");
    auto r = PrintPages("Banner", ops, R"("ddmid": {)" + ddmid + "}");
    EXPECT_TRUE(r.ok) << r.error << " " << r.failed_entry;
    EXPECT_TRUE(decoded_.ok) << decoded_.error << " at " << decoded_.error_offset;
    std::vector<std::pair<int, int>> sides;
    for (const PdlItem& i : decoded_.items) {
      if (i.kind != PdlItem::Operator) continue;
      if (i.text == "Ec") sides.push_back({static_cast<int>(operand(&i, 1)), -1});
      if (i.text == "CG" && !sides.empty()) sides.back().second = static_cast<int>((operand(&i, 0) - 100) / 10);
    }
    return sides;
  }
};

TEST_F(CopiesBannerPrint, EveryPlayedCopyHasItsBannerPage) {
  // The job's own tray is 2 (the application left the tray to the
  // driver), the banner tray 5 (banner kind 2).
  const std::string banner = R"("13": 15, "265": 2, "332": 2, "333": 5)";
  struct Case {
    const char* name;
    std::string ddmid;
    std::vector<std::pair<int, int>> sides;
  } cases[] = {
      {"collated copies", banner + R"(, "12": 2, "18": 1)", {{5, -1}, {2, 0}, {2, 1}, {5, -1}, {2, 0}, {2, 1}}},
      {"reverse order", banner + R"(, "1312": 1)", {{2, 1}, {2, 0}, {5, -1}}},
      {"collated copies, reverse order", banner + R"(, "12": 2, "18": 1, "1312": 1)",
       {{2, 1}, {2, 0}, {5, -1}, {2, 1}, {2, 0}, {5, -1}}},
      // Pages written as they come keep the one banner page of the job.
      {"one copy", banner, {{5, -1}, {2, 0}, {2, 1}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(print(2, c.ddmid), c.sides);
  }
}

}  // namespace
