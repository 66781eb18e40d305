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
#include "pdl_decode.h"
#include "print_job.h"
#include "temp_root.h"
#include "win/files.h"
#include "win/paths.h"
#include "win/spooler.h"

namespace {

using morva::tools::PdlItem;

class RenderPluginPrint : public ::testing::Test {
 protected:
  void install(const std::string& plugin) {
    std::ifstream in(std::string(MORVA_SOURCE_DIR) + "/resources/demo_printer/database.json");
    nlohmann::json d = nlohmann::json::parse(in);
    d["main"]["fields"]["36"] = {"", "", "", "", "", "", plugin, "render.par"};
    const std::string folder = root_.path() + "/render_database";
    std::filesystem::create_directories(folder);
    morva::ddd_build::write_images(morva::ddd_build::build_images(d), folder);
    std::string error;
    ASSERT_TRUE(morva::gfx_demo::install_demo_printer(MORVA_BIN_DIR, &error, folder)) << error;
    ASSERT_TRUE(morva::gfx_demo::make_dc_devmode_default(morva::gfx_demo::kDemoPrinter, &error)) << error;
    // The plug-in lives beside the installed graphics library.
    WCHAR dir[MAX_PATH] = {};
    DWORD needed = 0;
    ASSERT_TRUE(GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(dir), sizeof dir, &needed));
    const std::string target = morva::platform::native_path(std::u16string(dir) + u"\\3\\libmvrender.so");
    std::filesystem::copy_file(std::string(MORVA_BIN_DIR) + "/libmvrender.so", target,
                               std::filesystem::copy_options::overwrite_existing);
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
    std::string json = R"({"printer": "Morva Demo Printer", "document": "Raster", "units": "px",
        "ddmid": {"1343": 1, "270": 1)" + settings + R"(},
        "pages": [{"ops": [{"op": "rectangle", "rect": [100, 100, 900, 900]}]},
                  {"ops": [{"op": "line", "from": [100, 100], "to": [400, 300]}]}]})";
    morva::print_host::Document doc;
    std::string error;
    EXPECT_TRUE(morva::print_host::parse_document(json, "doc.json", root_.path(), &doc, &error)) << error;
    return morva::print_host::print_document(doc);
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

  morva::test::TempRoot root_;
  std::string log_path_;
};

TEST_F(RenderPluginPrint, EverySheetGoesOutAsThePluginsRaster) {
  install("mvrender.dll");
  auto r = print(R"(, "16": 2, "321": 2)");
  ASSERT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  const std::string path = morva::platform::job_spool_file(r.job_id);
  const std::string spool = morva::test::read_file(path);
  auto decoded = morva::tools::DecodeSpoolFilePath(path);
  ASSERT_TRUE(decoded.ok) << decoded.error << " at " << decoded.error_offset;
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
  const auto& items = decoded.items;
  for (std::size_t k = 0; k < items.size(); ++k) {
    const PdlItem& it = items[k];
    ASSERT_FALSE(it.kind == PdlItem::Operator && (it.text == "BR" || it.text == "BL")) << it.text;
    if (it.kind != PdlItem::Operator || it.text != "Cq") continue;
    ++images;
    EXPECT_EQ(it.operands.at(8).i, width);
    EXPECT_EQ(it.operands.at(9).i, height);
    std::string data;
    for (std::size_t j = k + 1; j < items.size() && items[j].kind == PdlItem::Data; ++j)
      data += spool.substr(items[j].offset, items[j].length);
    ASSERT_EQ(data.size(), static_cast<std::size_t>(width) * height);
    bool same = true;
    for (int y = 0; y < height && same; y += 97)
      for (int x = 0; x < width && same; x += 31)
        same = static_cast<unsigned char>(data[static_cast<std::size_t>(y) * width + x]) == (x + 3 * y) % 251;
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
