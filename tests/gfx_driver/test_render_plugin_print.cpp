// Sheets sent as raster through the render plug-in: the demo printer's
// database names the stand-in plug-in of these tests, every ordinary sheet
// is rendered by it and goes out as one image, read back by the decoder.
// A plug-in that fails, answers a short raster or is missing fails the job
// and leaves no temp file behind.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "ddd_builder.h"
#include "gfx_demo.h"
#include "gfx_print_job.h"
#include "pdl_decode.h"
#include "print_job.h"
#include "temp_root.h"
#include "win/files.h"
#include "win/paths.h"
#include "win/spooler.h"

namespace {

using morva::tools::PdlItem;

class RenderPluginPrint : public morva::test::PrintTest {
 protected:
  void install(const std::string& plugin) {
    morva::test::InstallDemoPrinterWith(root_.path() + "/render_database", [&plugin](nlohmann::json& d) {
      d["main"]["fields"]["36"] = {"", "", "", "", "", "", plugin, "render.par"};
    });
    // The plug-in lives beside the installed graphics library.
    morva::test::CopyBesideDriver("libmvrender.so");
  }
  void SetUp() override {
    log_path_ = root_.file("render.log");
    setenv("MV_RENDER_LOG", log_path_.c_str(), 1);
    unsetenv("MV_RENDER_MODE");
  }
  void TearDown() override {
    unsetenv("MV_RENDER_LOG");
    unsetenv("MV_RENDER_MODE");
  }

  morva::print_host::PrintResult print(const std::string& settings) {
    return PrintPages("Raster",
                      {R"({"op": "rectangle", "rect": [100, 100, 900, 900]})",
                       R"({"op": "line", "from": [100, 100], "to": [400, 300]})"},
                      R"("ddmid": {"1343": 1, "270": 1)" + settings + "}");
  }
  std::vector<std::string> log() const {
    std::ifstream in(log_path_);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  // Temp files of the plug-in ("QZP" side and raster files) left anywhere
  // in the machine root.
  int leftover_temp_files() const {
    int n = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root_.path()))
      if (e.is_regular_file() && e.path().filename().string().rfind("QZP", 0) == 0) ++n;
    return n;
  }

  std::string log_path_;
};

TEST_F(RenderPluginPrint, EverySheetGoesOutAsThePluginsRaster) {
  install("mvrender.dll");
  auto r = print(R"(, "16": 2, "321": 2)");
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  ASSERT_TRUE(decoded_.ok) << decoded_.error << " at " << decoded_.error_offset;
  const auto calls = log();
  ASSERT_EQ(calls.size(), 2u);
  int width = 0, height = 0, components = 0;
  unsigned duplex = 0;
  ASSERT_EQ(std::sscanf(calls[0].c_str(), "call %d %d %d %u", &width, &height, &components, &duplex), 4);
  EXPECT_EQ(components, 1);  // a monochrome page comes back grey
  EXPECT_EQ(duplex, 3u);     // long-edge two-sided with setting 321 = 2
  // Each sheet: one grey image of the sheet's size in dots, uncompressed,
  // holding the plug-in's bytes; no drawing operator of the page is left.
  int images = 0;
  const auto& items = decoded_.items;
  for (std::size_t k = 0; k < items.size(); ++k) {
    const PdlItem& it = items[k];
    ASSERT_FALSE(it.kind == PdlItem::Operator && (it.text == "BR" || it.text == "BL")) << it.text;
    if (it.kind != PdlItem::Operator || it.text != "Cq") continue;
    ++images;
    EXPECT_EQ(it.operands.at(8).i, width);
    EXPECT_EQ(it.operands.at(9).i, height);
    const std::vector<unsigned char> data = data_after(k);
    ASSERT_EQ(data.size(), static_cast<std::size_t>(width) * height);
    bool same = true;
    for (int y = 0; y < height && same; y += 97)
      for (int x = 0; x < width && same; x += 31)
        same = data[static_cast<std::size_t>(y) * width + x] == (x + 3 * y) % 251;
    EXPECT_TRUE(same);
  }
  EXPECT_EQ(images, 2);
  EXPECT_EQ(leftover_temp_files(), 0);
}

TEST_F(RenderPluginPrint, ThePluginsPageIsMeasuredInDeviceDots) {
  // The page's transform as the plug-in gets it: the page's dots (at the
  // sheet's resolution) land one to one, y down from the sheet's top.
  install("mvrender.dll");
  auto r = print("");
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  const auto calls = log();
  ASSERT_EQ(calls.size(), 2u);
  for (const std::string& call : calls) {
    int width = 0, height = 0, components = 0;
    unsigned duplex = 0;
    float a = 0, d = 0, e = 0, f = 0;
    ASSERT_EQ(std::sscanf(call.c_str(), "call %d %d %d %u %f %f %f %f", &width, &height, &components, &duplex, &a, &d,
                          &e, &f),
              8);
    EXPECT_NEAR(a, 1.0, 0.01) << call;
    EXPECT_NEAR(d, 1.0, 0.01) << call;
    EXPECT_TRUE(e >= 0 && e < width / 4 && f >= 0 && f < height / 4) << call;
  }
}

TEST_F(RenderPluginPrint, AFailingOrMissingPluginFailsTheJob) {
  struct Case {
    const char* plugin;
    const char* mode;
    const char* settings;
  } cases[] = {
      {"mvrender.dll", "fail", ""},
      {"mvrender.dll", "short", ""},   // one row short of the sheet
      {"mvabsent.dll", "", ""},        // no such library
      {"mvrender.dll", "", R"(, "270": 3)"},  // a colour mode the plug-in has no value for
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.plugin) + " " + c.mode + " " + c.settings);
    install(c.plugin);
    setenv("MV_RENDER_MODE", c.mode, 1);
    auto r = print(c.settings);
    EXPECT_FALSE(r.ok);
    for (const auto& job : morva::platform::spool_jobs(morva::gfx_demo::kDemoPrinter))
      EXPECT_EQ(job.status & (JOB_STATUS_COMPLETE | JOB_STATUS_PRINTED), 0u) << job.id;
    EXPECT_EQ(leftover_temp_files(), 0);
  }
}

}  // namespace
