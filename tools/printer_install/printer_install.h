// Installs a printer into the current machine root, as a printer vendor's
// setup does on Windows: the driver's files go into the spooler's driver
// folder, the driver is registered, the printer is added on its port and
// receives its initial printer data.
#pragma once

#include <string>
#include <vector>

#include "win/types.h"

namespace morva::install {

struct PrinterDataValue {
  std::u16string key = u"PrinterDriverData";
  std::u16string name;
  DWORD type = 0;
  std::vector<BYTE> data;
};

struct PrinterSetup {
  std::u16string name;                            // the printer's name
  std::u16string port = u"IP_127.0.0.1";
  std::u16string driver_name = u"Morva Printer Driver";
  std::u16string comment;
  std::u16string location;
  // Native paths of the files to install; an empty path installs nothing
  // for that role (the name is still registered where the driver needs one).
  // The driver libraries go in with their own resource containers (the
  // ".xrs" file beside each library, when there is one).
  std::string graphics_driver;   // registered as "morvagfx.dll"
  std::string interface_driver;  // registered as "morvaui.dll"
  std::string database;          // the device database's main file: the driver's data file
  std::string model_config;      // installed as <linked database name>.cfg
  std::string resource_module;   // installed as "morvares.xrs"
  std::vector<std::string> files;  // further dependent files (string libraries, ...)
  std::vector<PrinterDataValue> data;
  bool replace = false;  // delete a printer of the same name first
};

struct InstallResult {
  bool ok = false;
  DWORD error = 0;        // the Windows error of the failing step
  std::string message;    // what failed, for people
  std::string driver_folder;  // native path of the driver folder
};

InstallResult install_printer(const PrinterSetup& setup);

// UTF-16 of UTF-8 text (command-line arguments, file names).
std::u16string from_utf8(const std::string& text);

// The file name of the database linked to a main database file (from its
// header), or empty when it names none.
std::string linked_database_name(const std::string& main_file);

// Parses "[key\]name=type:value" with type dword, sz, multi_sz (values
// separated by ';'), binary (hex digits) into a printer-data value.
bool parse_data_value(const std::string& text, PrinterDataValue& out, std::string& error);

}  // namespace morva::install
