// demo-40-document-sheet <machine root>: opens the demo printer's document
// sheet through its interface library and the common property-sheet
// component, headless, and writes a PNG picture of the sheet with its
// first page.
#include <cstdio>
#include <string>
#include <vector>

#include "win/machine_root.h"
#include "win/win.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: demo-40-document-sheet <machine root>\n");
    return 2;
  }
  morva::platform::set_machine_root(argv[1]);
  const std::string png = std::string(argv[1]) + "/document-sheet.png";
  LPWSTR name = const_cast<LPWSTR>(u"Morva Demo Printer");
  HANDLE printer = nullptr;
  if (!OpenPrinterW(name, &printer, nullptr)) {
    std::fprintf(stderr, "demo-40-document-sheet: the demo printer is not installed\n");
    return 1;
  }
  HMODULE ui = LoadLibraryW(u"morvaui.dll");
  auto sheets = ui ? morva_proc_as<PFNPROPSHEETUI>(GetProcAddress(ui, "DrvDocumentPropertySheets")) : nullptr;
  if (!sheets) {
    std::fprintf(stderr, "demo-40-document-sheet: morvaui.dll has no document sheets\n");
    return 1;
  }
  std::vector<BYTE> devmode(1604);
  DOCUMENTPROPERTYHEADER header{sizeof header, 0, printer, name, nullptr,
                                reinterpret_cast<PDEVMODEW>(devmode.data()), 1604, DM_COPY | DM_PROMPT};
  bool written = false;
  std::u16string title;
  morva::platform::ui::script_modal([&](HWND sheet) {
    title = morva::platform::ui::text(sheet);
    written = morva::platform::ui::write_png(sheet, png);
    morva::platform::ui::press_cancel(sheet);
  });
  DWORD result = 0;
  const LONG answer = CommonPropertySheetUIW(nullptr, sheets, reinterpret_cast<LPARAM>(&header), &result);
  FreeLibrary(ui);
  ClosePrinter(printer);
  if (answer < 0 || !written) {
    std::fprintf(stderr, "demo-40-document-sheet: the sheet could not be shown (%ld)\n", static_cast<long>(answer));
    return 1;
  }
  std::string ascii(title.begin(), title.end());
  std::printf("document sheet \"%s\" shown headless; its first page: %s\n", ascii.c_str(), png.c_str());
  return 0;
}
