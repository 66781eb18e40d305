// The printer-level entries of libmorvaui.so as the spooler and GDI call
// them: the library loaded by file name and its exports found by name, the
// demo printer installed with the build's libraries.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "ddm/ddmid.h"
#include "ddd_builder.h"
#include "gfx_demo.h"
#include "printer_install.h"
#include "settings/database/ddd_file.h"
#include "settings/items/default_settings.h"
#include "settings/items/item_access.h"
#include "settings/stores/font_substitution.h"
#include "settings/stores/printer_data_kinds.h"
#include "settings/stores/printer_identity.h"
#include "settings/stores/printer_settings.h"
#include "settings/stores/private_blobs.h"
#include "settings/stores/user_registry_values.h"
#include "temp_root.h"
#include "win/errors.h"
#include "win/memory.h"
#include "win/modules.h"
#include "win/printer_ui.h"
#include "win/registry.h"
#include "win/spooler.h"

namespace {

using morva::gfx_demo::kDemoPrinter;
constexpr DWORD kNoAnswer = 0xFFFFFFFFu;
constexpr LONG kShort = static_cast<LONG>(morva::ddm::kShortDevmodeSize);

class PrinterLevel : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(morva::gfx_demo::install_demo_printer(MORVA_BIN_DIR, &error)) << error;
    ui_ = LoadLibraryW(u"morvaui.dll");
    ASSERT_NE(ui_, nullptr) << morva::platform::last_load_error();
    caps_ = proc<PFN_DrvDeviceCapabilities>("DrvDeviceCapabilities");
    convert_ = proc<PFN_DrvConvertDevMode>("DrvConvertDevMode");
    event_ = proc<PFN_DrvPrinterEvent>("DrvPrinterEvent");
    upgrade_ = proc<PFN_DrvUpgradePrinter>("DrvUpgradePrinter");
    profile_ = proc<PFN_DrvQueryColorProfile>("DrvQueryColorProfile");
    query_ = proc<PFN_DevQueryPrintEx>("DevQueryPrintEx");
    for (void* p : {reinterpret_cast<void*>(caps_), reinterpret_cast<void*>(convert_), reinterpret_cast<void*>(event_),
                    reinterpret_cast<void*>(upgrade_), reinterpret_cast<void*>(profile_),
                    reinterpret_cast<void*>(query_)})
      ASSERT_NE(p, nullptr);
    printer_ = open_printer();
    ASSERT_NE(printer_, nullptr);
  }
  void TearDown() override {
    if (printer_) ClosePrinter(printer_);
    if (ui_) FreeLibrary(ui_);
  }

  template <typename F>
  F proc(const char* name) {
    return morva_proc_as<F>(GetProcAddress(ui_, name));
  }
  static HANDLE open_printer() {
    std::u16string name = kDemoPrinter;
    PRINTER_DEFAULTSW all{nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE h = nullptr;
    return OpenPrinterW(name.data(), &h, &all) ? h : nullptr;
  }
  DWORD caps(WORD index, void* output = nullptr, DEVMODEW* devmode = nullptr) {
    std::u16string name = kDemoPrinter;
    return caps_(printer_, name.data(), index, output, devmode);
  }
  // The printer's defaults as DrvConvertDevMode hands them out.
  std::vector<BYTE> driver_default() {
    std::vector<BYTE> out(kShort, 0);
    LONG size = kShort;
    std::u16string name = kDemoPrinter;
    EXPECT_TRUE(convert_(name.data(), nullptr, reinterpret_cast<DEVMODEW*>(out.data()), &size, CDM_DRIVER_DEFAULT));
    return out;
  }

  morva::test::TempRoot root_;
  HMODULE ui_ = nullptr;
  HANDLE printer_ = nullptr;
  PFN_DrvDeviceCapabilities caps_ = nullptr;
  PFN_DrvConvertDevMode convert_ = nullptr;
  PFN_DrvPrinterEvent event_ = nullptr;
  PFN_DrvUpgradePrinter upgrade_ = nullptr;
  PFN_DrvQueryColorProfile profile_ = nullptr;
  PFN_DevQueryPrintEx query_ = nullptr;
};

std::u16string slot_text(const WCHAR* slot, size_t chars) {
  std::u16string s(slot, chars);
  return s.substr(0, s.find(u'\0'));
}

// ---- device capabilities -----------------------------------------------------

TEST_F(PrinterLevel, EveryCapabilityIndexHasItsAnswerForTheDemoPrinter) {
  // The demo printer: A4 and Letter, three trays, no resolution list, 999
  // copies, a colour device, no print rate in its database.
  struct Case {
    WORD index;
    DWORD answer;
  } cases[] = {
      {DC_PAPERS, 2},           {DC_PAPERSIZE, 2},    {DC_PAPERNAMES, 2},    {DC_BINS, 3},
      {DC_BINNAMES, 3},         {DC_MEDIAREADY, 2},   {DC_ENUMRESOLUTIONS, kNoAnswer},
      {DC_TRUETYPE, DCTT_DOWNLOAD | DCTT_SUBDEV},     {DC_VERSION, DM_SPECVERSION},
      {DC_DRIVER, kPrinterDataCurrentLayout},         {DC_SIZE, 220},        {DC_EXTRA, 1384},
      {DC_COPIES, 999},         {DC_DUPLEX, 0},       {DC_ORIENTATION, 90},  {DC_FILEDEPENDENCIES, 0},
      {DC_MINEXTENT, static_cast<DWORD>(MAKELONG(2100, 2794))},
      {DC_MAXEXTENT, static_cast<DWORD>(MAKELONG(2159, 2970))},
      {DC_COLLATE, 1},          {DC_COLORDEVICE, 1},  {DC_PRINTRATE, 0},     {DC_PRINTRATEPPM, 0},
      {DC_PRINTRATEUNIT, PRINTRATEUNIT_PPM},          {DC_STAPLE, 0},
      // Indexes the driver does not know.
      {0, kNoAnswer},           {19, kNoAnswer},      {28, kNoAnswer},       {33, kNoAnswer},
  };
  for (const Case& c : cases) EXPECT_EQ(caps(c.index), c.answer) << "index " << c.index;
  // dmFields of the printer's own DEVMODE.
  std::vector<BYTE> dm = driver_default();
  EXPECT_EQ(caps(DC_FIELDS), reinterpret_cast<DEVMODEW*>(dm.data())->dmFields);
  EXPECT_NE(caps(DC_FIELDS) & DM_PAPERSIZE, 0u);
}

TEST_F(PrinterLevel, ListAnswersFillExactlyWhatTheCountOnlyCallAnnounced) {
  struct Case {
    WORD index;
    size_t element;  // bytes per entry
  } cases[] = {{DC_PAPERS, 2},  {DC_PAPERSIZE, 8}, {DC_PAPERNAMES, 128},
               {DC_BINS, 2},    {DC_BINNAMES, 48}, {DC_MEDIAREADY, 128}};
  for (const Case& c : cases) {
    const DWORD count = caps(c.index);
    ASSERT_NE(count, kNoAnswer) << c.index;
    ASSERT_GT(count, 0u) << c.index;
    std::vector<BYTE> out(count * c.element + 32, 0xEE);
    EXPECT_EQ(caps(c.index, out.data()), count) << c.index;
    for (size_t i = count * c.element; i < out.size(); ++i) ASSERT_EQ(out[i], 0xEE) << c.index << " byte " << i;
  }
}

TEST_F(PrinterLevel, PapersAndTraysNameTheDatabaseEntries) {
  WORD papers[2] = {};
  ASSERT_EQ(caps(DC_PAPERS, papers), 2u);
  EXPECT_EQ(papers[0], 9);  // the A4 form's position, which is its paper code
  EXPECT_EQ(papers[1], 1);
  POINT sizes[2] = {};
  ASSERT_EQ(caps(DC_PAPERSIZE, sizes), 2u);
  EXPECT_EQ(sizes[0].x, 2100);
  EXPECT_EQ(sizes[0].y, 2970);
  EXPECT_EQ(sizes[1].x, 2159);
  EXPECT_EQ(sizes[1].y, 2794);
  for (WORD index : {WORD{DC_PAPERNAMES}, WORD{DC_MEDIAREADY}}) {
    WCHAR names[2][CCHPAPERNAME] = {};
    ASSERT_EQ(caps(index, names), 2u);
    EXPECT_EQ(slot_text(names[0], CCHPAPERNAME), u"A4") << index;
    EXPECT_EQ(slot_text(names[1], CCHPAPERNAME), u"Letter") << index;
  }
  WORD bins[3] = {};
  WCHAR bin_names[3][CCHBINNAME] = {};
  ASSERT_EQ(caps(DC_BINS, bins), 3u);
  ASSERT_EQ(caps(DC_BINNAMES, bin_names), 3u);
  EXPECT_EQ(bins[0], 7);
  EXPECT_EQ(bins[1], 1);
  EXPECT_EQ(bins[2], 4);
  EXPECT_EQ(slot_text(bin_names[0], CCHBINNAME), u"Automatic");
  EXPECT_EQ(slot_text(bin_names[1], CCHBINNAME), u"Tray 1");
  EXPECT_EQ(slot_text(bin_names[2], CCHBINNAME), u"Manual Feed");
  // The file dependencies are an empty list.
  WCHAR deps[4] = {u'x', u'x', u'x', u'x'};
  EXPECT_EQ(caps(DC_FILEDEPENDENCIES, deps), 0u);
  EXPECT_EQ(deps[0], 0);
}

TEST_F(PrinterLevel, TheCallersDevmodeIsMergedWithinItsOwnSize) {
  // The printer's own DEVMODE, and a header too short to carry settings:
  // both leave the answers as the printer's settings give them.
  std::vector<BYTE> dm = driver_default();
  std::vector<BYTE> stub(dm.begin(), dm.begin() + 72);
  reinterpret_cast<DEVMODEW*>(stub.data())->dmSize = 72;
  reinterpret_cast<DEVMODEW*>(stub.data())->dmDriverExtra = 0;
  for (std::vector<BYTE>* caller : {&dm, &stub}) {
    auto* d = reinterpret_cast<DEVMODEW*>(caller->data());
    EXPECT_EQ(caps(DC_PAPERS, nullptr, d), 2u);
    EXPECT_EQ(caps(DC_BINS, nullptr, d), 3u);
    EXPECT_EQ(caps(DC_SIZE, nullptr, d), 220u);
    EXPECT_EQ(caps(DC_MAXEXTENT, nullptr, d), static_cast<DWORD>(MAKELONG(2159, 2970)));
  }
}

TEST_F(PrinterLevel, GdisDeviceCapabilitiesReachesTheDriver) {
  std::u16string name = kDemoPrinter;
  EXPECT_EQ(DeviceCapabilitiesW(name.c_str(), u"IP_127.0.0.1", DC_PAPERS, nullptr, nullptr), 2);
  WCHAR names[2][CCHPAPERNAME] = {};
  EXPECT_EQ(DeviceCapabilitiesW(name.c_str(), nullptr, DC_PAPERNAMES, names[0], nullptr), 2);
  EXPECT_EQ(slot_text(names[1], CCHPAPERNAME), u"Letter");
  EXPECT_EQ(DeviceCapabilitiesW(name.c_str(), nullptr, DC_COPIES, nullptr, nullptr), 999);
  EXPECT_EQ(DeviceCapabilitiesW(u"No Such Printer", nullptr, DC_PAPERS, nullptr, nullptr), -1);
  EXPECT_EQ(DeviceCapabilitiesW(name.c_str(), nullptr, 19, nullptr, nullptr), -1);
}

TEST_F(PrinterLevel, ColourProfileQueryWithoutAProfileAnswersNone) {
  std::vector<BYTE> dm = driver_default();
  WCHAR buffer[64] = {};
  ULONG size = sizeof buffer, flags = 0;
  auto* d = reinterpret_cast<DEVMODEW*>(dm.data());
  // The device database names no profile; the source profile is never
  // offered and missing arguments are refused.
  EXPECT_FALSE(profile_(printer_, d, QCP_DEVICEPROFILE, buffer, &size, &flags));
  EXPECT_FALSE(profile_(printer_, d, QCP_SOURCEPROFILE, buffer, &size, &flags));
  EXPECT_FALSE(profile_(printer_, d, QCP_DEVICEPROFILE, buffer, nullptr, &flags));
  EXPECT_FALSE(profile_(nullptr, d, QCP_DEVICEPROFILE, buffer, &size, &flags));
  EXPECT_EQ(flags, 0u);
}

// ---- DEVMODE conversion ---------------------------------------------------------

TEST_F(PrinterLevel, ConvertRefusesBadCallsWithTheirErrors) {
  std::vector<BYTE> in = driver_default(), out(kShort);
  auto* i = reinterpret_cast<DEVMODEW*>(in.data());
  auto* o = reinterpret_cast<DEVMODEW*>(out.data());
  std::u16string name = kDemoPrinter, other = u"No Such Printer";
  struct Case {
    const char* what;
    LPWSTR printer;
    bool with_size;
    LONG size;
    DWORD mode;
    DWORD error;
    LONG size_after;
  } cases[] = {
      {"no printer name", nullptr, true, kShort, CDM_CONVERT, ERROR_INVALID_PARAMETER, kShort},
      {"no size", name.data(), false, 0, CDM_CONVERT, ERROR_INVALID_PARAMETER, 0},
      {"output one byte short", name.data(), true, kShort - 1, CDM_CONVERT, ERROR_INSUFFICIENT_BUFFER, kShort},
      {"public-sized output", name.data(), true, 220, CDM_DRIVER_DEFAULT, ERROR_INSUFFICIENT_BUFFER, kShort},
      {"unknown printer", other.data(), true, kShort, CDM_CONVERT, ERROR_INVALID_PARAMETER, kShort},
  };
  for (const Case& c : cases) {
    LONG size = c.size;
    SetLastError(0);
    EXPECT_FALSE(convert_(c.printer, i, o, c.with_size ? &size : nullptr, c.mode)) << c.what;
    EXPECT_EQ(GetLastError(), c.error) << c.what;
    EXPECT_EQ(size, c.size_after) << c.what;
  }
  // Modes the driver does not offer, and a conversion without its input.
  for (DWORD mode : {DWORD{CDM_CONVERT351}, DWORD{0}, DWORD{8}}) {
    LONG size = kShort;
    EXPECT_FALSE(convert_(name.data(), i, o, &size, mode)) << mode;
  }
  LONG size = kShort;
  EXPECT_FALSE(convert_(name.data(), nullptr, o, &size, CDM_CONVERT));
}

TEST_F(PrinterLevel, ConvertBringsEveryVersionIntoTheCurrentForm) {
  std::vector<BYTE> defaults = driver_default();
  const auto* def = reinterpret_cast<const DEVMODEW*>(defaults.data());
  EXPECT_EQ(def->dmSize, 220);
  EXPECT_EQ(def->dmDriverExtra, 1384);
  EXPECT_EQ(slot_text(def->dmDeviceName, CCHDEVICENAME), kDemoPrinter);

  // The user's choice of landscape in the current form, and in the same
  // DEVMODE marked as written by an older driver version.
  std::vector<BYTE> current = defaults;
  reinterpret_cast<DEVMODEW*>(current.data())->dmOrientation = DMORIENT_LANDSCAPE;
  std::vector<BYTE> older(morva::ddm::kPrivateDevmodeSize, 0);
  std::memcpy(older.data(), current.data(), current.size());
  ASSERT_TRUE(SetItemNumber(older.data(), nullptr, 257, morva::ddm::kTypeWord, 2, 20483) == 0);
  older.resize(kShort);
  // A public DEVMODE alone, and one of another driver.
  std::vector<BYTE> public_only(current.begin(), current.begin() + 220);
  reinterpret_cast<DEVMODEW*>(public_only.data())->dmDriverExtra = 0;
  std::vector<BYTE> foreign = current;
  std::memset(foreign.data() + 224, 0, 64);
  std::memcpy(foreign.data() + 224, u"Other Driver", 24);

  struct Case {
    const char* what;
    const std::vector<BYTE>* in;
    SHORT orientation;  // in the output
  } cases[] = {
      {"the current form", &current, DMORIENT_LANDSCAPE},
      {"an older driver version", &older, DMORIENT_LANDSCAPE},
      {"public fields only", &public_only, def->dmOrientation},
      {"another driver's DEVMODE", &foreign, def->dmOrientation},
  };
  std::u16string name = kDemoPrinter;
  for (const Case& c : cases) {
    std::vector<BYTE> in = *c.in;
    std::vector<BYTE> out(kShort + 16, 0xEE);
    LONG size = kShort + 16;
    ASSERT_TRUE(convert_(name.data(), reinterpret_cast<DEVMODEW*>(in.data()), reinterpret_cast<DEVMODEW*>(out.data()),
                         &size, CDM_CONVERT))
        << c.what;
    EXPECT_EQ(size, kShort) << c.what;
    const auto* o = reinterpret_cast<const DEVMODEW*>(out.data());
    EXPECT_EQ(o->dmSize, 220) << c.what;
    EXPECT_EQ(o->dmDriverExtra, 1384) << c.what;
    EXPECT_EQ(o->dmOrientation, c.orientation) << c.what;
    EXPECT_EQ(GetItemNumber(out.data(), nullptr, 257, morva::ddm::kTypeWord),
              GetItemNumber(defaults.data(), nullptr, 257, morva::ddm::kTypeWord))
        << c.what;
    for (size_t b = kShort; b < out.size(); ++b) ASSERT_EQ(out[b], 0xEE) << c.what;
  }
}

TEST_F(PrinterLevel, QueuedJobsWithABrokenDevmodeAreHeldWithAMessage) {
  std::vector<BYTE> dm = driver_default();
  DEVQUERYPRINT_INFO info{};
  info.cbSize = sizeof info;
  info.Level = 1;
  info.hPrinter = printer_;
  info.pDevMode = reinterpret_cast<DEVMODEW*>(dm.data());
  WCHAR message[64] = {};
  info.pszErrorStr = message;
  info.cchErrorStr = 64;
  EXPECT_TRUE(query_(&info));
  EXPECT_FALSE(query_(nullptr));
  info.pDevMode->dmSize = 100;
  EXPECT_FALSE(query_(&info));
  EXPECT_EQ(std::u16string(message), u"Invalid DEVMODE structure.");
  EXPECT_EQ(info.cchNeeded, 27u);
  // A short buffer gets what fits and still learns the length needed.
  WCHAR small[8] = {};
  info.pszErrorStr = small;
  info.cchErrorStr = 8;
  info.cchNeeded = 0;
  EXPECT_FALSE(query_(&info));
  EXPECT_EQ(std::u16string(small), u"Invalid");
  EXPECT_EQ(info.cchNeeded, 27u);
}

// ---- printer events and upgrade -------------------------------------------------

bool has_printer_value(HANDLE printer, const char16_t* name) {
  std::u16string n = name;
  DWORD type = 0, needed = 0;
  const DWORD rc = GetPrinterDataW(printer, n.data(), &type, nullptr, 0, &needed);
  return rc == ERROR_MORE_DATA || rc == ERROR_SUCCESS;
}

TEST_F(PrinterLevel, InitializeGivesANewPrinterItsIdentityStoresAndForms) {
  for (const char16_t* n : {u"PRNID", u"SPLUserModePrinterDriver", u"SupportJobOwnerTool"}) {
    std::u16string v = n;
    DeletePrinterDataW(printer_, v.data());
    ASSERT_FALSE(has_printer_value(printer_, n));
  }
  ASSERT_EQ(DeletePrinterDataKind(printer_, kPrinterDataPrinterData), 1);
  std::u16string name = kDemoPrinter;
  EXPECT_TRUE(event_(name.data(), PRINTER_EVENT_INITIALIZE, 0, 0));
  BYTE id[16] = {};
  EXPECT_EQ(ReadPrinterId(printer_, id), 1);
  EXPECT_TRUE(has_printer_value(printer_, u"SPLUserModePrinterDriver"));
  DWORD type = 0, needed = 0, prompt = 7;
  std::u16string tool = u"SupportJobOwnerTool";
  EXPECT_EQ(GetPrinterDataW(printer_, tool.data(), &type, reinterpret_cast<LPBYTE>(&prompt), 4, &needed),
            static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(prompt, 0u);  // the demo printer has no print-time prompt component
  DWORD stored = 0;
  EXPECT_EQ(ReadPrinterDataKind(printer_, kPrinterDataPrinterData, nullptr, &stored), 1);
  EXPECT_EQ(stored, kPrinterDataBlockSize);
  WCHAR* table = ReadStoredFontSubstitutionTable(printer_);
  EXPECT_NE(table, nullptr);
  if (table) GlobalFree(table);
  // Every paper of the database has its form now: the user paper slot of
  // the custom range gets a printer form of A4 size under its own name.
  DWORD bytes = 0, count = 0;
  EnumFormsW(printer_, 1, nullptr, 0, &bytes, &count);
  std::vector<BYTE> forms(bytes);
  ASSERT_TRUE(EnumFormsW(printer_, 1, forms.data(), bytes, &bytes, &count));
  const auto* form = reinterpret_cast<const FORM_INFO_1W*>(forms.data());
  bool user_form = false;
  for (DWORD i = 0; i < count; ++i)
    user_form = user_form || (form[i].Flags == FORM_PRINTER && form[i].Size.cx == 210000 &&
                              form[i].Size.cy == 297000 && std::u16string(form[i].pName) != u"A4");
  EXPECT_TRUE(user_form);
  // The identity is made once: a second event keeps it.
  BYTE again[16] = {};
  EXPECT_TRUE(event_(name.data(), PRINTER_EVENT_INITIALIZE, 0, 0));
  ASSERT_EQ(ReadPrinterId(printer_, again), 1);
  EXPECT_EQ(std::memcmp(id, again, 16), 0);
}

TEST_F(PrinterLevel, ConnectionAndDeleteEventsRegisterAndCleanUp) {
  std::u16string name = kDemoPrinter, mode_value = u"SPLUserModePrinterDriver";
  DeletePrinterDataW(printer_, mode_value.data());
  EXPECT_TRUE(event_(name.data(), PRINTER_EVENT_ADD_CONNECTION, 0, 0));
  EXPECT_TRUE(has_printer_value(printer_, u"SPLUserModePrinterDriver"));

  // The user's own key of the printer goes with the printer.
  std::unique_ptr<DddHandle, BOOL (*)(DddHandle*)> held(DddOpen(printer_), DddClose);
  DddHandle* database = held.get();
  ASSERT_NE(database, nullptr);
  for (INT event : {PRINTER_EVENT_DELETE, PRINTER_EVENT_DELETE_CONNECTION}) {
    const DWORD one = 1;
    ASSERT_EQ(WriteUserRegistryValue(printer_, database, &one, 4, REG_DWORD, nullptr, u"Probe"), 1);
    DWORD read = 0;
    ASSERT_EQ(ReadUserRegistryValue(printer_, database, &read, 4, REG_DWORD, nullptr, u"Probe"), 0);
    EXPECT_TRUE(event_(name.data(), event, 0, 0));
    EXPECT_EQ(ReadUserRegistryValue(printer_, database, &read, 4, REG_DWORD, nullptr, u"Probe"), 1) << event;
  }
  // Events the driver has nothing to do for, and a printer that is not
  // there, are taken without complaint.
  std::u16string other = u"No Such Printer";
  for (INT event : {PRINTER_EVENT_CACHE_REFRESH, PRINTER_EVENT_ATTRIBUTES_CHANGED, 99})
    EXPECT_TRUE(event_(name.data(), event, 0, 0)) << event;
  for (INT event : {PRINTER_EVENT_ADD_CONNECTION, PRINTER_EVENT_INITIALIZE, PRINTER_EVENT_DELETE})
    EXPECT_TRUE(event_(other.data(), event, 0, 0)) << event;
}

TEST_F(PrinterLevel, UpgradeKeepsTheUsersSettings) {
  std::unique_ptr<DddHandle, BOOL (*)(DddHandle*)> held(DddOpen(printer_), DddClose);
  DddHandle* database = held.get();
  ASSERT_NE(database, nullptr);
  // The user installed the duplex unit on the device sheet and changed a
  // private document default.
  std::vector<BYTE> block(kPrinterDataBlockSize);
  ASSERT_EQ(ReadPrinterSettings(printer_, block.data(), database), 1);
  std::vector<BYTE> devmode(morva::ddm::kPrivateDevmodeSize);
  ASSERT_EQ(SetItemNumber(devmode.data(), block.data(), 4103, morva::ddm::kTypeLong, 4, 1), 0);
  ASSERT_EQ(InitializePrinterSettings(printer_, block.data(), database, TRUE), 1);
  std::vector<BYTE> extension(4384);
  ASSERT_TRUE(GetCurrentDevmodeExtension(printer_, extension.data()));
  extension[300] ^= 0x5A;
  ASSERT_TRUE(SavePrivateSettings(printer_, database, nullptr, morva::settings::kPrivateStorePrinterData, nullptr, 0,
                                  extension.data(), nullptr, 0, nullptr, 0));
  std::u16string prnid = u"PRNID";
  DeletePrinterDataW(printer_, prnid.data());
  ASSERT_EQ(caps(DC_DUPLEX), 1u);

  std::u16string name = kDemoPrinter;
  DRIVER_UPGRADE_INFO_1W info{name.data(), nullptr};
  SetLastError(0);
  ASSERT_TRUE(upgrade_(1, reinterpret_cast<LPBYTE>(&info))) << GetLastError();

  std::vector<BYTE> after(kPrinterDataBlockSize);
  ASSERT_EQ(ReadPrinterSettings(printer_, after.data(), database), 1);
  EXPECT_EQ(GetItemNumber(devmode.data(), after.data(), 4103, morva::ddm::kTypeLong), 1u);
  EXPECT_EQ(caps(DC_DUPLEX), 1u);
  std::vector<BYTE> loaded(4384);
  ASSERT_TRUE(LoadPrivateSettings(printer_, database, nullptr, morva::settings::kPrivateStorePrinterData, nullptr,
                                  loaded.data(), nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(loaded, extension);
  BYTE id[16] = {};
  EXPECT_EQ(ReadPrinterId(printer_, id), 1);
  EXPECT_TRUE(has_printer_value(printer_, u"SupportJobOwnerTool"));
}

TEST_F(PrinterLevel, UpgradeRefusesOtherLevelsAndUnknownPrinters) {
  std::u16string name = kDemoPrinter, other = u"No Such Printer";
  DRIVER_UPGRADE_INFO_1W good{name.data(), nullptr}, unknown{other.data(), nullptr}, unnamed{nullptr, nullptr};
  struct Case {
    const char* what;
    DWORD level;
    DRIVER_UPGRADE_INFO_1W* info;
    DWORD error;
  } cases[] = {
      {"level 2", 2, &good, ERROR_INVALID_PARAMETER},
      {"no record", 1, nullptr, ERROR_INVALID_PARAMETER},
      {"no printer name", 1, &unnamed, ERROR_INVALID_PARAMETER},
      {"unknown printer", 1, &unknown, ERROR_INVALID_PRINTER_NAME},
  };
  for (const Case& c : cases) {
    SetLastError(0);
    EXPECT_FALSE(upgrade_(c.level, reinterpret_cast<LPBYTE>(c.info))) << c.what;
    EXPECT_EQ(GetLastError(), c.error) << c.what;
  }
  // Without administrative rights the printer cannot be opened for the
  // upgrade.
  morva::platform::inject_printer_access_denied(true);
  SetLastError(0);
  EXPECT_FALSE(upgrade_(1, reinterpret_cast<LPBYTE>(&good)));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  morva::platform::inject_printer_access_denied(false);
}

}  // namespace

// ---- a model with more to tell ----------------------------------------------------

// The demo printer's database with a resolution list, a print rate and a
// rule that keeps Letter paper out of tray 1, installed as a printer of a
// driver of its own.
class RicherModel : public PrinterLevel {
 protected:
  static constexpr char16_t kPrinter[] = u"Richer Model";

  void SetUp() override {
    PrinterLevel::SetUp();
    if (HasFatalFailure()) return;
    std::ifstream in(std::string(MORVA_SOURCE_DIR) + "/resources/demo_printer/database.json");
    nlohmann::json d = nlohmann::json::parse(in);
    auto& main = d["main"];
    main["file"] = "MVRICH.DDD";
    main["fields"]["16"] = 24;
    auto& records = main["records"];
    // The sixth choice record is tray 1; the seventh rule is the new one.
    records[8]["rules"] = {7};
    // Choices are numbered from 1 among the choice records (kind 14): the two
    // appended below come after those of the demo printer.
    int choice_records = 0;
    for (const auto& r : records) choice_records += r.value("kind", 0) == 14 ? 1 : 0;
    records.push_back({{"kind", 4},
                       {"id", 14},
                       {"name", "Resolution"},
                       {"default", 1},
                       {"choices", {choice_records + 1, choice_records + 2}}});
    records.push_back({{"kind", 14}, {"name", "600 dpi"}, {"value", {{"type", 5}, {"value", 600 | (600 << 16)}}}});
    records.push_back({{"kind", 14}, {"name", "1200 x 600 dpi"}, {"value", {{"type", 5}, {"value", 1200 | (600 << 16)}}}});
    records.push_back({{"kind", 7},
                       {"head", {{"op", 0}, {"value", {{"type", 3}, {"hex", ""}}}}},
                       {"flags", 1},
                       {"text", "Letter paper does not fit tray 1"},
                       {"conditions", {{{"ddmid", 8}, {"op", 1}, {"value", {{"type", 2}, {"value", 1}}}, {"connector", 4}}}},
                       {"actions", {{{"ddmid", 13}, {"value", {{"type", 2}, {"value", 7}}}}}}});
    const std::string folder = root_.file("rich");
    morva::ddd_build::write_images(morva::ddd_build::build_images(d), folder);
    morva::install::PrinterSetup s;
    s.name = kPrinter;
    s.driver_name = u"Morva Richer Driver";
    s.interface_driver = std::string(MORVA_BIN_DIR) + "/libmorvaui.so";
    s.resource_module = std::string(MORVA_BIN_DIR) + "/morvares.xrs";
    s.database = folder + "/MVRICH.DDD";
    for (const auto& e : std::filesystem::directory_iterator(folder))
      if (e.path().filename() != "MVRICH.DDD") s.files.push_back(e.path().string());
    const auto r = morva::install::install_printer(s);
    ASSERT_TRUE(r.ok) << r.message;
    std::u16string name = kPrinter;
    PRINTER_DEFAULTSW all{nullptr, nullptr, PRINTER_ALL_ACCESS};
    ASSERT_TRUE(OpenPrinterW(name.data(), &rich_, &all));
  }
  void TearDown() override {
    if (rich_) ClosePrinter(rich_);
    PrinterLevel::TearDown();
  }
  DWORD rich_caps(WORD index, void* output = nullptr, DEVMODEW* devmode = nullptr) {
    std::u16string name = kPrinter;
    return caps_(rich_, name.data(), index, output, devmode);
  }
  HANDLE rich_ = nullptr;
};

TEST_F(RicherModel, ResolutionsAndPrintRateComeFromTheDatabase) {
  ASSERT_EQ(rich_caps(DC_ENUMRESOLUTIONS), 2u);
  LONG pairs[5] = {-1, -1, -1, -1, -1};
  ASSERT_EQ(rich_caps(DC_ENUMRESOLUTIONS, pairs), 2u);
  EXPECT_EQ(pairs[0], 600);
  EXPECT_EQ(pairs[1], 600);
  EXPECT_EQ(pairs[2], 1200);
  EXPECT_EQ(pairs[3], 600);
  EXPECT_EQ(pairs[4], -1);
  for (WORD index : {WORD{DC_PRINTRATE}, WORD{DC_PRINTRATEPPM}}) EXPECT_EQ(rich_caps(index), 24u) << index;
  EXPECT_EQ(rich_caps(DC_PRINTRATEUNIT), static_cast<DWORD>(PRINTRATEUNIT_PPM));
}

TEST_F(RicherModel, TraysTheRulesForbidAreLeftOutOfBothBinAnswers) {
  std::vector<BYTE> letter = driver_default();
  reinterpret_cast<DEVMODEW*>(letter.data())->dmPaperSize = 1;
  std::vector<BYTE> a4 = driver_default();
  struct Case {
    const char* what;
    DEVMODEW* devmode;
    std::vector<WORD> bins;
  } cases[] = {
      {"the printer's settings", nullptr, {7, 1, 4}},
      {"A4 paper", reinterpret_cast<DEVMODEW*>(a4.data()), {7, 1, 4}},
      {"Letter paper", reinterpret_cast<DEVMODEW*>(letter.data()), {7, 4}},
  };
  for (const Case& c : cases) {
    const DWORD count = rich_caps(DC_BINS, nullptr, c.devmode);
    ASSERT_EQ(count, c.bins.size()) << c.what;
    EXPECT_EQ(rich_caps(DC_BINNAMES, nullptr, c.devmode), count) << c.what;
    std::vector<WORD> bins(count);
    std::vector<WCHAR> names(count * CCHBINNAME);
    ASSERT_EQ(rich_caps(DC_BINS, bins.data(), c.devmode), count) << c.what;
    ASSERT_EQ(rich_caps(DC_BINNAMES, names.data(), c.devmode), count) << c.what;
    EXPECT_EQ(bins, c.bins) << c.what;
    const bool tray1 = std::find(bins.begin(), bins.end(), WORD{1}) != bins.end();
    bool named = false;
    for (DWORD i = 0; i < count; ++i) named = named || slot_text(&names[i * CCHBINNAME], CCHBINNAME) == u"Tray 1";
    EXPECT_EQ(named, tray1) << c.what;
  }
}
