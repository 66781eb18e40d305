// Print tests on the demo printer through the print host and the real
// graphics driver: the printer installed (with the demo database or a
// changed copy of it, and libraries the tests built beside its driver),
// documents of drawing calls printed, and the job's spool file read whole
// and decoded.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "ddd_builder.h"
#include "gfx_demo.h"
#include "job_monitor_registry.h"
#include "pdl_decode.h"
#include "print_job.h"
#include "temp_root.h"
#include "win/paths.h"
#include "win/spooler.h"

namespace morva::test {

// Installs the demo printer and makes its DC DEVMODE the default; with a
// folder the printer uses the database images built there.
inline void InstallDemoPrinter(const std::string& database_folder = {}) {
  std::string error;
  ASSERT_TRUE(gfx_demo::install_demo_printer(MORVA_BIN_DIR, &error, database_folder)) << error;
  ASSERT_TRUE(gfx_demo::make_dc_devmode_default(gfx_demo::kDemoPrinter, &error)) << error;
}

// Installs the demo printer with its database changed by `change`, built
// into `folder`.
inline void InstallDemoPrinterWith(const std::string& folder, const std::function<void(nlohmann::json&)>& change) {
  std::ifstream in(std::string(MORVA_SOURCE_DIR) + "/resources/demo_printer/database.json");
  nlohmann::json d = nlohmann::json::parse(in);
  change(d);
  std::filesystem::create_directories(folder);
  ddd_build::write_images(ddd_build::build_images(d), folder);
  InstallDemoPrinter(folder);
}

// Copies a library built with the tests into the installed driver's folder,
// where the driver looks for the outside libraries its database names.
inline void CopyBesideDriver(const std::string& library) {
  WCHAR dir[MAX_PATH] = {};
  DWORD needed = 0;
  ASSERT_TRUE(GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(dir), sizeof dir, &needed));
  std::filesystem::copy_file(std::string(MORVA_BIN_DIR) + "/" + library,
                             platform::native_path(std::u16string(dir) + u"\\3\\" +
                                                   std::u16string(library.begin(), library.end())),
                             std::filesystem::copy_options::overwrite_existing);
}

// Prints a document given as print-host JSON (its files relative to
// `folder`); a document that does not parse fails the test.
inline print_host::PrintResult PrintJson(const std::string& json, const std::string& folder) {
  print_host::Document doc;
  std::string error;
  EXPECT_TRUE(print_host::parse_document(json, "doc.json", folder, &doc, &error)) << error;
  return print_host::print_document(doc);
}

// The decoded spool file of a printed job; a job that failed (nothing
// decoded then) or whose spool file does not decode fails the test.
inline tools::PdlDecodeResult DecodeJob(const print_host::PrintResult& r) {
  EXPECT_TRUE(r.ok) << r.error << " " << r.failed_entry;
  if (!r.ok) return {};
  tools::PdlDecodeResult decoded = tools::DecodeSpoolFilePath(platform::job_spool_file(r.job_id));
  EXPECT_TRUE(decoded.ok) << decoded.error << " at " << decoded.error_offset;
  return decoded;
}

// The members of a document's "ddmid" object: "id": value, ...
inline std::string DdmidMembers(const std::map<int, long>& settings) {
  std::string out;
  for (auto [id, v] : settings) out += (out.empty() ? "\"" : ", \"") + std::to_string(id) + "\": " + std::to_string(v);
  return out;
}

// The job-monitor switch (setting 1321, off and on) as an item of the
// database, and a job header line, before the language switch, that
// carries the registration's id.
inline void AddJobMonitorHeaderLine(nlohmann::json& d) {
  auto& records = d["main"]["records"];
  records.push_back(
      {{"kind", 4}, {"id", 1321}, {"name", "Job Monitor"}, {"default", 1}, {"choices", {18, 19}}, {"name2", "Job Monitor"}});
  nlohmann::json line = nlohmann::json::object();
  line["kind"] = 15;
  line["ddmid"] = 1321;
  line["command"] = "@PJL SET JOBID=";
  line["flags"] = 1;
  for (std::size_t i = 0; i < records.size(); ++i)
    if (records[i].value("command", "") == "@PJL ENTER LANGUAGE=") {
      records.insert(records.begin() + static_cast<std::ptrdiff_t>(i), line);
      break;
    }
}

// The job-monitor client's stand-in built with the tests, found by the
// driver through the install folder the registry names; it logs its calls
// to `log_path`.
inline void RegisterJobMonitorClient(const std::string& log_path) {
  setenv("MV_WQLIB_LOG", log_path.c_str(), 1);
  unsetenv("MV_WQLIB_REFUSE");
  std::u16string dir = u"Z:";
  for (char ch : std::string(MORVA_BIN_DIR) + "/") dir += ch == '/' ? u'\\' : static_cast<char16_t>(ch);
  InstallJobMonitorLibrary(dir);
}

// A test that prints documents: the last job's spool bytes and their
// decoding, and the operators found in it.
class PrintTest : public ::testing::Test {
 protected:
  using PdlItem = tools::PdlItem;

  // Prints pages of drawing calls (device pixels); `members` are further
  // members of the document ("ddmid": {...}, "devmode": {...}).
  print_host::PrintResult PrintPages(const std::string& document, const std::vector<std::string>& pages,
                                     const std::string& members = {}) {
    std::string json = R"({"printer": "Morva Demo Printer", "document": ")" + document + R"(", "units": "px", )";
    if (!members.empty()) json += members + ", ";
    json += R"("pages": [)";
    for (std::size_t i = 0; i < pages.size(); ++i) json += std::string(i ? "," : "") + R"({"ops": [)" + pages[i] + "]}";
    json += "]}";
    auto r = PrintJson(json, root_.path());
    spool_.clear();
    decoded_ = {};
    if (r.ok) {
      std::ifstream f(platform::job_spool_file(r.job_id), std::ios::binary);
      spool_.assign(std::istreambuf_iterator<char>(f), {});
      decoded_ = tools::DecodeSpoolFile(spool_.data(), spool_.size());
    }
    return r;
  }

  std::vector<const PdlItem*> ops(const std::string& name) const {
    std::vector<const PdlItem*> out;
    for (const PdlItem& i : decoded_.items)
      if (i.kind == PdlItem::Operator && i.text == name) out.push_back(&i);
    return out;
  }
  std::size_t count(const std::string& name) const { return ops(name).size(); }
  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (const PdlItem& i : decoded_.items)
      if (i.kind == PdlItem::Operator) out.push_back(i.text);
    return out;
  }
  // Operand n as a number (-1 when the operator has fewer operands).
  static std::int64_t operand(const PdlItem* item, std::size_t n) {
    return n < item->operands.size() ? item->operands[n].i : -1;
  }
  static double num(const PdlItem* item, std::size_t n) {
    const auto& v = item->operands.at(n);
    return v.kind == tools::PdlValue::Real ? v.f : static_cast<double>(v.i);
  }
  // The bytes of a byte-run operand.
  std::vector<unsigned char> bytes_of(const tools::PdlValue& v) const {
    return {spool_.begin() + static_cast<long>(v.offset), spool_.begin() + static_cast<long>(v.offset + v.i)};
  }
  // The data following item k (an image's mask and pixel bytes).
  std::vector<unsigned char> data_after(std::size_t k) const {
    std::vector<unsigned char> all;
    const auto& items = decoded_.items;
    for (std::size_t j = k + 1; j < items.size() && items[j].kind == PdlItem::Data; ++j)
      all.insert(all.end(), spool_.begin() + static_cast<long>(items[j].offset),
                 spool_.begin() + static_cast<long>(items[j].offset + items[j].length));
    return all;
  }

  TempRoot root_;
  std::vector<unsigned char> spool_;
  tools::PdlDecodeResult decoded_;
};

}  // namespace morva::test
