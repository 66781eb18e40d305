// Printing on the demo printer through its real DLLs: the demo printer
// installed from the build's outputs, the DC DEVMODE that the graphics
// driver accepts made the printer's default (a default with its driver
// part, which documents apply their settings to; the interface library's
// document events build a DC DEVMODE from any DEVMODE), and a sample
// document of vector drawing.
#pragma once

#include <string>

namespace morva::gfx_demo {

inline constexpr char16_t kDemoPrinter[] = u"Morva Demo Printer";

// Installs the demo printer with the libraries of `bin` (the build's bin
// folder) into the current machine root, with the device database of
// `database` (the build's demo_printer folder when empty). False with the
// reason.
bool install_demo_printer(const std::string& bin, std::string* error, const std::string& database = {});
// The same under another printer name with another graphics DLL (a path),
// beside the demo's interface library.
bool install_demo_printer_as(const std::string& bin, const std::u16string& name, const std::string& graphics_driver,
                             std::string* error, const std::string& database = {});

// Builds the DC DEVMODE of `printer` from its default settings (the
// 5988-byte driver DEVMODE with the 24-byte tail: the tail's size word,
// an empty paper record, paper-list mode 0, no enforced colour) and stores
// it as the printer's default DEVMODE.
bool make_dc_devmode_default(const std::u16string& printer, std::string* error);

// A JSON print document of `pages` pages of lines, curves, rectangles,
// ellipses, polygons and fills under several clips, for `printer`.
std::string sample_vector_document(const std::u16string& printer, int pages);

// A JSON print document of one page of text: the printer's resident fonts,
// TrueType faces (downloaded glyphs), bold, italic and rotated text,
// Japanese text, and a page in which TrueType faces are replaced by the
// resident fonts.
std::string sample_text_document(const std::u16string& printer);

}  // namespace morva::gfx_demo
