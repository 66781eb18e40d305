#include "printer_install.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "win/errors.h"
#include "win/strings.h"
#include "win/paths.h"
#include "win/registry.h"
#include "win/spooler.h"

namespace morva::install {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kLinkedNameOffset = 160;  // in the database header
constexpr std::size_t kLinkedNameSize = 64;

}  // namespace

std::u16string from_utf8(const std::string& s) { return morva::utf8_to_u16(s); }

namespace {

InstallResult failed(InstallResult r, DWORD error, const std::string& message) {
  r.ok = false;
  r.error = error;
  r.message = message + " (error " + std::to_string(error) + ")";
  return r;
}

// Copies `from` into the driver folder as `name`; false when it cannot.
bool copy_in(const std::string& from, const fs::path& folder, const std::string& name, std::string& error) {
  std::error_code ec;
  fs::copy_file(from, folder / name, fs::copy_options::overwrite_existing, ec);
  if (ec) error = "cannot copy " + from + ": " + ec.message();
  return !ec;
}

}  // namespace

std::string linked_database_name(const std::string& main_file) {
  std::ifstream in(main_file, std::ios::binary);
  char name[kLinkedNameSize] = {};
  in.seekg(static_cast<std::streamoff>(kLinkedNameOffset));
  if (!in.read(name, kLinkedNameSize)) return {};
  std::string s(name, strnlen(name, kLinkedNameSize));
  // Only a plain file name in the same folder.
  if (s.find_first_of("/\\:") != std::string::npos) return {};
  return s;
}

bool parse_data_value(const std::string& text, PrinterDataValue& out, std::string& error) {
  auto eq = text.find('=');
  auto colon = eq == std::string::npos ? std::string::npos : text.find(':', eq);
  if (eq == std::string::npos || colon == std::string::npos || eq == 0) {
    error = "expected [key\\]name=type:value: " + text;
    return false;
  }
  std::string path = text.substr(0, eq), type = text.substr(eq + 1, colon - eq - 1), value = text.substr(colon + 1);
  auto slash = path.rfind('\\');
  out = PrinterDataValue{};
  if (slash != std::string::npos) {
    out.key = from_utf8(path.substr(0, slash));
    path = path.substr(slash + 1);
  }
  out.name = from_utf8(path);
  auto put_text = [&](const std::u16string& s) {
    for (char16_t c : s) {
      out.data.push_back(static_cast<BYTE>(c));
      out.data.push_back(static_cast<BYTE>(c >> 8));
    }
    out.data.push_back(0);
    out.data.push_back(0);
  };
  if (type == "dword") {
    out.type = REG_DWORD;
    char* end = nullptr;
    unsigned long v = std::strtoul(value.c_str(), &end, 0);
    if (value.empty() || *end || v > 0xFFFFFFFFul) {
      error = "not a DWORD: " + value;
      return false;
    }
    for (int i = 0; i < 4; ++i) out.data.push_back(static_cast<BYTE>(v >> (8 * i)));
  } else if (type == "sz") {
    out.type = REG_SZ;
    put_text(from_utf8(value));
  } else if (type == "multi_sz") {
    out.type = REG_MULTI_SZ;
    std::size_t start = 0;
    while (start <= value.size()) {
      auto end = value.find(';', start);
      if (end == std::string::npos) end = value.size();
      if (end > start) put_text(from_utf8(value.substr(start, end - start)));
      start = end + 1;
    }
    out.data.push_back(0);
    out.data.push_back(0);
  } else if (type == "binary") {
    out.type = REG_BINARY;
    if (value.size() % 2) {
      error = "odd number of hex digits: " + value;
      return false;
    }
    for (std::size_t i = 0; i < value.size(); i += 2) {
      char* end = nullptr;
      std::string pair = value.substr(i, 2);
      long v = std::strtol(pair.c_str(), &end, 16);
      if (*end) {
        error = "not hex: " + value;
        return false;
      }
      out.data.push_back(static_cast<BYTE>(v));
    }
  } else {
    error = "unknown type " + type;
    return false;
  }
  return true;
}

InstallResult install_printer(const PrinterSetup& s) {
  InstallResult r;
  if (s.name.empty()) return failed(r, ERROR_INVALID_PRINTER_NAME, "no printer name");

  // The driver folder: GetPrinterDriverDirectory's folder, version 3.
  DWORD needed = 0;
  GetPrinterDriverDirectoryW(nullptr, nullptr, 1, nullptr, 0, &needed);
  std::u16string dir(needed / 2, u'\0');
  if (!GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(dir.data()), needed, &needed))
    return failed(r, GetLastError(), "no driver folder");
  dir.resize(dir.find(u'\0'));
  DWORD error = 0;
  std::string folder;
  if (!morva::platform::native_path(dir + u"\\3", &folder, &error))
    return failed(r, error, "the driver folder has no place in the machine root");
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) return failed(r, ERROR_ACCESS_DENIED, "cannot create " + folder + ": " + ec.message());
  r.driver_folder = folder;

  std::string message;
  std::vector<std::u16string> dependent;
  auto install = [&](const std::string& from, const std::string& name, bool is_dependent) {
    if (from.empty()) return true;
    if (!copy_in(from, folder, name, message)) return false;
    if (is_dependent) dependent.push_back(from_utf8(name));
    return true;
  };
  std::string database_name = s.database.empty() ? std::string("MORVA.DDD") : fs::path(s.database).filename().string();
  std::string linked = s.database.empty() ? std::string() : linked_database_name(s.database);
  std::string config_name =
      fs::path(linked.empty() ? database_name : linked).replace_extension(".cfg").filename().string();
  // A driver library's own resources travel with it.
  auto library = [&](const std::string& from, const std::string& name) {
    if (from.empty() || !install(from, name + ".so", false)) return from.empty();
    std::string own = fs::path(from).replace_extension(".xrs").string();
    return !fs::exists(own) || install(own, name + ".xrs", false);
  };
  bool copied = library(s.graphics_driver, "libmorvagfx") && library(s.interface_driver, "libmorvaui") &&
                install(s.database, database_name, false) &&
                (linked.empty() || install((fs::path(s.database).parent_path() / linked).string(), linked, true)) &&
                install(s.model_config, config_name, true) && install(s.resource_module, "morvares.xrs", true);
  for (const auto& f : s.files)
    copied = copied && install(f, fs::path(f).filename().string(), true);
  if (!copied) return failed(r, ERROR_FILE_NOT_FOUND, message);

  std::u16string deps;
  for (const auto& d : dependent) deps += d + u'\0';
  deps += u'\0';
  std::u16string name = s.driver_name, env = u"Windows x64", gfx = u"morvagfx.dll", ui = u"morvaui.dll",
                 data = from_utf8(database_name), help = u"morva.chm", datatype = u"RAW";
  DRIVER_INFO_3W d{};
  d.cVersion = 3;
  d.pName = name.data();
  d.pEnvironment = env.data();
  d.pDriverPath = gfx.data();
  d.pDataFile = data.data();
  d.pConfigFile = ui.data();
  d.pHelpFile = help.data();
  d.pDependentFiles = deps.data();
  d.pDefaultDataType = datatype.data();
  if (!AddPrinterDriverW(nullptr, 3, reinterpret_cast<LPBYTE>(&d))) return failed(r, GetLastError(), "AddPrinterDriverW failed");

  std::u16string printer = s.name, port = s.port, comment = s.comment, location = s.location;
  if (s.replace) {
    PRINTER_DEFAULTSW all{nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE old = nullptr;
    if (OpenPrinterW(printer.data(), &old, &all)) {
      BOOL deleted = DeletePrinter(old);
      DWORD e = GetLastError();
      ClosePrinter(old);
      if (!deleted) return failed(r, e, "cannot replace the existing printer");
    }
  }
  PRINTER_INFO_2W p{};
  p.pPrinterName = printer.data();
  p.pPortName = port.data();
  p.pDriverName = name.data();
  p.pComment = comment.data();
  p.pLocation = location.data();
  p.pDatatype = datatype.data();
  p.Attributes = PRINTER_ATTRIBUTE_QUEUED | PRINTER_ATTRIBUTE_LOCAL;
  HANDLE h = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&p));
  if (!h) return failed(r, GetLastError(), "AddPrinterW failed");
  for (const auto& v : s.data) {
    std::vector<BYTE> bytes = v.data;
    DWORD e = SetPrinterDataExW(h, v.key.c_str(), v.name.c_str(), v.type, bytes.data(), static_cast<DWORD>(bytes.size()));
    if (e != ERROR_SUCCESS) {
      ClosePrinter(h);
      return failed(r, e, "SetPrinterDataExW failed");
    }
  }
  ClosePrinter(h);
  r.ok = true;
  return r;
}

}  // namespace morva::install
