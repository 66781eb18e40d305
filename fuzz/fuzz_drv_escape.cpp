// DrvEscape payloads are outside input: any application can send any code
// with any bytes through ExtEscape on a printer DC. This target installs the
// demo printer once, then for each input opens a DC on it through the real
// libraries, starts a document (and a page when the input asks) and sends
// the input's escapes, each with input and output buffers of exactly the
// sizes it names, so a read or write outside them is caught.
//
// Input: one flag byte (bit 0: begin a page with a drawing before the
// escapes; bit 1: switch the private protocol of outside programs on
// first), then records of a WORD code, a WORD output size, a WORD input
// size and that many input bytes (cut to what is left), up to the input's
// end. At most 32 records are sent.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_machine_root.h"
#include "gfx_demo.h"
#include "printer_dc.h"
#include "win/endian.h"

namespace {

bool installed() {
  static const bool ok = [] {
    morva::fuzz::machine_root();
    std::error_code ignored;
    const std::string bin = std::filesystem::canonical("/proc/self/exe", ignored).parent_path().string();
    std::string error;
    return morva::gfx_demo::install_demo_printer(bin, &error) &&
           morva::gfx_demo::make_dc_devmode_default(morva::gfx_demo::kDemoPrinter, &error);
  }();
  return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 1 << 16 || !installed()) return 0;
  std::string error;
  auto dc = morva::print_host::PrinterDc::create(morva::gfx_demo::kDemoPrinter, nullptr, &error);
  if (!dc || !dc->start_doc(u"Escapes")) return 0;
  const BYTE flags = data[0];
  if (flags & 1) {
    if (!dc->start_page() || !dc->line_to({100, 100})) return 0;
  }
  if (flags & 2) {
    BYTE on[8] = {8, 0, 0, 0, 1, 0, 0, 0};
    dc->escape(0x1071, 8, on, 0, nullptr);
  }
  std::size_t at = 1;
  for (int sent = 0; sent < 32 && size - at >= 6; ++sent) {
    const WORD code = morva::load_le16(data + at);
    const WORD out_size = morva::load_le16(data + at + 2);
    const std::size_t in_size = std::min<std::size_t>(morva::load_le16(data + at + 4), size - at - 6);
    at += 6;
    // Heap blocks of exactly the stated sizes; an empty one is passed as null.
    std::unique_ptr<BYTE[]> in(in_size ? new BYTE[in_size] : nullptr);
    std::copy(data + at, data + at + in_size, in.get());
    at += in_size;
    std::unique_ptr<BYTE[]> out(out_size ? new BYTE[out_size]() : nullptr);
    dc->escape(code, static_cast<int>(in_size), in.get(), out_size, out.get());
  }
  if (dc->document_open()) {
    if (!(flags & 1) || dc->end_page()) dc->end_doc();
  }
  return 0;
}
