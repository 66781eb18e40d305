// A DEVMODE changed within a fax document (ResetDC before the first page):
// the new settings take over the page, but the fax job's own settings (its
// address file, cover and destination count) stay the document's, so the
// job still goes to each destination. Printed through the print host's
// printer DC on the demo printer as a fax device; the spool files are read
// back by the decoder.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "fax/fax_list.h"
#include "fax_device_printer.h"
#include "pdl_decode.h"
#include "print_job.h"
#include "printer_dc.h"
#include "temp_root.h"
#include "win/memory.h"
#include "win/paths.h"
#include "win/spooler.h"

namespace {

using morva::tools::PdlItem;

class ResetCarryPrint : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(morva::test::install_fax_device_printer(root_.path(), false, &error)) << error;
    // Three destinations, packed by the fax list code.
    morva::fax::FaxDestinationList* list = morva::fax::FaxList_Create();
    ASSERT_NE(list, nullptr);
    for (const auto& [name, number] : {std::pair{u"Ann", u"0301"}, {u"Ben", u"0302"}, {u"Cid", u"0303"}}) {
      morva::fax::FaxDestination d{};
      std::u16string(name).copy(d.Name, 40);
      std::u16string(number).copy(d.Number, 128);
      ASSERT_EQ(morva::fax::FaxList_Append(list, d), 1);
    }
    BYTE* blob = nullptr;
    DWORD size = 0;
    ASSERT_EQ(morva::fax::FaxList_Pack(list, &blob, &size), 1);
    morva::test::write_file(morva::platform::native_path(u"C:\\fax\\addresses.tmp"),
                            std::string(reinterpret_cast<const char*>(blob), size));
    GlobalFree(blob);
    morva::fax::FaxList_Destroy(list);
  }

  std::vector<BYTE> devmode(const std::map<std::string, std::string>& fields, const std::map<WORD, std::string>& ddmid) {
    std::vector<BYTE> out;
    std::string error;
    EXPECT_TRUE(morva::print_host::build_devmode(morva::gfx_demo::kDemoPrinter, fields, ddmid, &out, &error)) << error;
    return out;
  }

  // The spool files of the jobs from `first` on, each decoded as one job.
  std::vector<std::string> jobs_from(DWORD first) const {
    std::vector<std::string> out;
    for (const auto& j : morva::platform::spool_jobs(morva::gfx_demo::kDemoPrinter)) {
      if (j.id < first) continue;
      auto decoded = morva::tools::DecodeSpoolFilePath(j.spool_file);
      EXPECT_TRUE(decoded.ok && decoded.summary.jobs == 1) << decoded.error << " at " << decoded.error_offset;
      out.push_back(morva::test::read_file(j.spool_file));
    }
    return out;
  }

  morva::test::TempRoot root_;
};

TEST_F(ResetCarryPrint, FaxSettingsOutliveADevmodeChangedBeforeTheFirstPage) {
  // A job per destination with a cover page; the DEVMODE of the reset is
  // the printer's default (no fax settings) turned to landscape.
  const auto start = devmode({}, {{375, "C:\\fax\\addresses.tmp"}, {376, "1"}, {377, "1"}, {379, "0"}, {380, "3"}});
  const auto changed = devmode({{"dmOrientation", "2"}}, {});
  std::string error;
  auto dc = morva::print_host::PrinterDc::create(morva::gfx_demo::kDemoPrinter,
                                                 reinterpret_cast<const DEVMODEW*>(start.data()), &error);
  ASSERT_NE(dc, nullptr) << error;
  ASSERT_TRUE(dc->start_doc(u"Fax")) << dc->failed_entry();
  const DWORD first = dc->job_id();
  ASSERT_TRUE(dc->reset_dc(changed)) << dc->failed_entry();
  // The new DEVMODE's orientation is the page's.
  EXPECT_GT(dc->page_size().cx, dc->page_size().cy);
  ASSERT_TRUE(dc->start_page()) << dc->failed_entry();
  ASSERT_TRUE(dc->rectangle({100, 100, 900, 900})) << dc->failed_entry();
  ASSERT_TRUE(dc->end_page()) << dc->failed_entry();
  ASSERT_TRUE(dc->end_doc()) << dc->failed_entry();

  const auto all = jobs_from(first);
  ASSERT_EQ(all.size(), 3u);
  const char* numbers[] = {"0301", "0302", "0303"};
  for (std::size_t i = 0; i < all.size(); ++i) {
    SCOPED_TRACE(i);
    auto decoded = morva::tools::DecodeSpoolFile(reinterpret_cast<const unsigned char*>(all[i].data()), all[i].size());
    // Each job addresses its own destination, and carries the cover page
    // beside the document's page.
    EXPECT_NE(all[i].find(std::string("@FANU=") + numbers[i]), std::string::npos);
    EXPECT_EQ(decoded.summary.pages, 2u);
  }
}

}  // namespace
